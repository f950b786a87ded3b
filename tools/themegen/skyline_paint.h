// Anti-aliased drawing into TskBitmap frames for the theme generator.
//
// Shapes are signed distance functions sampled at pixel centres: a pixel's
// coverage is how far its centre lies inside the outline, clamped to one
// pixel, which gives smooth edges without supersampling. Colours are
// composited "over" with straight (not premultiplied) alpha, so that frames
// keep real partial alpha at their rounded edges.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "graphics/sk_bitmap.h"

namespace themegen {

struct TRgba {
  double R = 0, G = 0, B = 0, A = 1;  // components 0..255, alpha 0..1
};
constexpr TRgba Rgb(int r, int g, int b, double a = 1) { return TRgba{double(r), double(g), double(b), a}; }
TRgba Mix(const TRgba& a, const TRgba& b, double t);

// Signed distance from a point to a shape's outline: negative inside.
using TShape = std::function<double(double x, double y)>;
// Colour at a point (for gradients).
using TPaint = std::function<TRgba(double x, double y)>;

TShape RoundRect(double left, double top, double right, double bottom, double radius);
TShape Circle(double cx, double cy, double radius);
// A stroked polyline of the given width with round joins and caps.
using TPoints = std::vector<std::pair<double, double>>;
TShape Stroke(TPoints points, double width);
// The outline of shape drawn width wide, centred on it.
TShape Ring(TShape shape, double width);
TShape Union(TShape a, TShape b);

TPaint Solid(const TRgba& colour);
// From top at y = top to bottom at y = bottom.
TPaint VerticalGradient(const TRgba& top, const TRgba& bottom, double y0, double y1);
TPaint HorizontalGradient(const TRgba& left, const TRgba& right, double x0, double x1);

// Composites paint over the pixels of bitmap inside shape, limited to clip.
void Draw(TskBitmap& bitmap, const TRect& clip, const TShape& shape, const TPaint& paint);
void FillRectOpaque(TskBitmap& bitmap, const TRect& rect, const TRgba& colour);

// A rounded box with a one-pixel (or width) border: the border colour fills
// the outer outline and the fill the outline inset by width, so edges are
// blended once.
void Box(TskBitmap& bitmap, const TRect& frame, double inset, double radius, const TRgba& border,
         const TPaint& fill, double width = 1);

// Fully transparent pixels become the key value; the flags say how the
// bitmap draws (AlphaBlend when partial alpha remains, Transparent when key
// pixels exist).
void Finish(TskBitmap& bitmap);

}  // namespace themegen

#include "tools/themegen/skyline_paint.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace themegen {

TRgba Mix(const TRgba& a, const TRgba& b, double t) {
  return TRgba{a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t, a.A + (b.A - a.A) * t};
}

TShape RoundRect(double left, double top, double right, double bottom, double radius) {
  const double cx = (left + right) / 2, cy = (top + bottom) / 2;
  const double hx = (right - left) / 2, hy = (bottom - top) / 2;
  radius = std::min({radius, hx, hy});
  return [=](double x, double y) {
    const double qx = std::abs(x - cx) - hx + radius;
    const double qy = std::abs(y - cy) - hy + radius;
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
  };
}

TShape Circle(double cx, double cy, double radius) {
  return [=](double x, double y) { return std::hypot(x - cx, y - cy) - radius; };
}

TShape Stroke(TPoints p, double width) {
  return [p, width](double x, double y) {
    double best = 1e9;
    for (size_t i = 0; i + 1 < p.size(); ++i) {
      const double ax = p[i].first, ay = p[i].second;
      const double bx = p[i + 1].first, by = p[i + 1].second;
      const double dx = bx - ax, dy = by - ay;
      const double len = dx * dx + dy * dy;
      const double t = len == 0 ? 0 : std::clamp(((x - ax) * dx + (y - ay) * dy) / len, 0.0, 1.0);
      best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
    }
    return best - width / 2;
  };
}

TShape Ring(TShape shape, double width) {
  return [shape, width](double x, double y) { return std::abs(shape(x, y)) - width / 2; };
}

TShape Union(TShape a, TShape b) {
  return [a, b](double x, double y) { return std::min(a(x, y), b(x, y)); };
}

TPaint Solid(const TRgba& colour) {
  return [colour](double, double) { return colour; };
}

TPaint VerticalGradient(const TRgba& top, const TRgba& bottom, double y0, double y1) {
  return [=](double, double y) { return Mix(top, bottom, std::clamp((y - y0) / (y1 - y0), 0.0, 1.0)); };
}

TPaint HorizontalGradient(const TRgba& left, const TRgba& right, double x0, double x1) {
  return [=](double x, double) { return Mix(left, right, std::clamp((x - x0) / (x1 - x0), 0.0, 1.0)); };
}

namespace {

void Over(TskBitmap& bitmap, int32_t x, int32_t y, const TRgba& colour, double coverage) {
  const TskPixel d = bitmap.PixelAt(x, y);
  const double sa = std::clamp(colour.A * coverage, 0.0, 1.0);
  if (sa <= 0) return;
  const double da = PixelAlpha(d) / 255.0;
  const double oa = sa + da * (1 - sa);
  auto channel = [&](double s, int dc) { return (s * sa + dc * da * (1 - sa)) / oa; };
  const int r = static_cast<int>(std::lround(channel(colour.R, PixelRed(d))));
  const int g = static_cast<int>(std::lround(channel(colour.G, PixelGreen(d))));
  const int b = static_cast<int>(std::lround(channel(colour.B, PixelBlue(d))));
  bitmap.SetPixelAt(x, y, MakePixel(r, g, b, static_cast<int>(std::lround(oa * 255))));
}

}  // namespace

void Draw(TskBitmap& bitmap, const TRect& clip, const TShape& shape, const TPaint& paint) {
  const TRect area = IntersectRects(clip, bitmap.Bounds());
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    for (int32_t x = area.Left; x < area.Right; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      const double coverage = std::clamp(0.5 - shape(px, py), 0.0, 1.0);
      if (coverage > 0) Over(bitmap, x, y, paint(px, py), coverage);
    }
  }
}

void FillRectOpaque(TskBitmap& bitmap, const TRect& rect, const TRgba& colour) {
  bitmap.FillRect(rect, MakePixel(static_cast<int>(colour.R), static_cast<int>(colour.G),
                                  static_cast<int>(colour.B), static_cast<int>(std::lround(colour.A * 255))));
}

void Box(TskBitmap& bitmap, const TRect& frame, double inset, double radius, const TRgba& border,
         const TPaint& fill, double width) {
  const double l = frame.Left + inset, t = frame.Top + inset;
  const double r = frame.Right - inset, b = frame.Bottom - inset;
  Draw(bitmap, frame, RoundRect(l, t, r, b, radius), Solid(border));
  Draw(bitmap, frame, RoundRect(l + width, t + width, r - width, b - width, std::max(0.0, radius - width)), fill);
}

void Finish(TskBitmap& bitmap) {
  bool keyed = false;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      if (PixelAlpha(bitmap.PixelAt(x, y)) == 0) {
        bitmap.SetPixelAt(x, y, kKeyPixel);
        keyed = true;
      }
    }
  }
  bitmap.DetectAlpha();
  bitmap.Transparent = keyed;
}

}  // namespace themegen

#include "tools/bookc/default_art.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "graphics/sk_bitmap.h"
#include "tools/themegen/skyline_paint.h"

using namespace themegen;

namespace {

// Skyline's palette (tools/themegen/skyline.cpp).
const TRgba kAccent = Rgb(43, 108, 212);
const TRgba kAccentHot = Rgb(70, 136, 234);
const TRgba kAccentPressed = Rgb(29, 84, 172);
const TRgba kInk = Rgb(31, 41, 55);
const TRgba kLine = Rgb(196, 204, 216);
const TRgba kHoverFill = Rgb(222, 232, 248);
const TRgba kWhite = Rgb(255, 255, 255);
const TRgba kCloseRed = Rgb(226, 62, 62);
const TRgba kCloseRedDark = Rgb(188, 40, 40);

constexpr double kPi = 3.14159265358979323846;

// A filled polygon: the distance to its nearest edge, negative inside (even
// and odd crossings).
TShape Polygon(TPoints points) {
  return [points](double x, double y) {
    double best = 1e9;
    bool inside = false;
    for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const auto [ax, ay] = points[j];
      const auto [bx, by] = points[i];
      const double dx = bx - ax, dy = by - ay;
      const double length = dx * dx + dy * dy;
      const double t = length == 0 ? 0 : std::clamp(((x - ax) * dx + (y - ay) * dy) / length, 0.0, 1.0);
      best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
      if ((ay > y) != (by > y) && x < ax + (y - ay) * dx / dy) inside = !inside;
    }
    return inside ? -best : best;
  };
}

// Points along a circle from angle `from` to `to` (degrees, counter-clockwise
// from the right, y pointing down as on screen).
TPoints Arc(double cx, double cy, double radius, double from, double to) {
  TPoints points;
  const int steps = 48;
  for (int i = 0; i <= steps; ++i) {
    const double angle = (from + (to - from) * i / steps) * kPi / 180;
    points.emplace_back(cx + radius * std::cos(angle), cy - radius * std::sin(angle));
  }
  return points;
}

// Scales every drawing made through it, so that one drawing serves every
// icon size.
struct TScaled {
  TskBitmap& Bitmap;
  double Scale;
  void Fill(const TShape& shape, const TPaint& paint) const {
    const double s = Scale;
    Draw(Bitmap, Bitmap.Bounds(), [shape, s](double x, double y) { return shape(x / s, y / s) * s; }, paint);
  }
  void Fill(const TShape& shape, const TRgba& colour) const { Fill(shape, Solid(colour)); }
};

void DrawArrow(const TScaled& g, bool back) {
  const double tip = back ? 5.5 : 18.5;
  const double tail = back ? 19 : 5;
  const double wing = back ? 11.5 : 12.5;
  g.Fill(Stroke({{tail, 12}, {tip + (back ? 1 : -1), 12}}, 2.6), kAccent);
  g.Fill(Stroke({{wing, 5.5}, {tip, 12}, {wing, 18.5}}, 2.6), kAccent);
}

void DrawRefresh(const TScaled& g) {
  // Three quarters of a circle, turning clockwise, and a head where it
  // ends, pointing the way it turns.
  constexpr double kEnd = 62 * kPi / 180;
  g.Fill(Stroke(Arc(12, 12.5, 7, 56, 330), 2.5), kAccent);
  const double ex = 12 + 7 * std::cos(kEnd), ey = 12.5 - 7 * std::sin(kEnd);
  const double dx = std::sin(kEnd), dy = std::cos(kEnd);   // along the turn
  const double nx = std::cos(kEnd), ny = -std::sin(kEnd);  // outward
  g.Fill(Polygon({{ex + 4.2 * dx, ey + 4.2 * dy},
                  {ex + 3.9 * nx - 0.8 * dx, ey + 3.9 * ny - 0.8 * dy},
                  {ex - 3.9 * nx - 0.8 * dx, ey - 3.9 * ny - 0.8 * dy}}),
         kAccent);
}

void DrawStop(const TScaled& g) {
  // The idiom of Skyline's close button: red, with a white cross.
  g.Fill(Circle(12, 12, 9.5), kCloseRedDark);
  g.Fill(Circle(12, 12, 8.5), kCloseRed);
  g.Fill(Stroke({{8.4, 8.4}, {15.6, 15.6}}, 2.3), kWhite);
  g.Fill(Stroke({{15.6, 8.4}, {8.4, 15.6}}, 2.3), kWhite);
}

void DrawPrint(const TScaled& g) {
  g.Fill(RoundRect(6.5, 3, 17.5, 10, 1), kInk);  // the paper going in
  g.Fill(RoundRect(7.7, 4.2, 16.3, 10, 0.3), kWhite);
  g.Fill(RoundRect(3, 8.5, 21, 17.5, 2.5), kAccent);  // the body
  g.Fill(RoundRect(3, 8.5, 21, 11, 1.5), kAccentHot);
  g.Fill(Circle(17.8, 11.6, 0.9), kWhite);
  g.Fill(RoundRect(6.5, 13.5, 17.5, 21.5, 1), kInk);  // the printed page
  g.Fill(RoundRect(7.7, 14.7, 16.3, 20.3, 0.3), kWhite);
  g.Fill(RoundRect(9.2, 16.2, 14.8, 17.2, 0.4), kAccent);
  g.Fill(RoundRect(9.2, 18.2, 13.2, 19.2, 0.4), kAccent);
}

void DrawSearch(const TScaled& g) {
  g.Fill(Circle(10, 10, 5.6), kHoverFill);
  g.Fill(Ring(Circle(10, 10, 5.8), 2.4), kAccent);
  g.Fill(Stroke({{14.6, 14.6}, {19.8, 19.8}}, 3.4), kAccentPressed);
}

void DrawAbout(const TScaled& g) {
  g.Fill(Circle(12, 12, 9.5), kAccent);
  g.Fill(Circle(12, 7.4, 1.6), kWhite);
  g.Fill(RoundRect(10.7, 10.2, 13.3, 17.6, 1), kWhite);
}

void DrawHome(const TScaled& g) {
  g.Fill(RoundRect(5.5, 10.5, 18.5, 20.5, 1.5), kAccent);
  g.Fill(RoundRect(7.3, 11, 16.7, 18.7, 0.5), kHoverFill);
  g.Fill(RoundRect(10.2, 14, 13.8, 20.5, 0.8), kAccent);
  g.Fill(Stroke({{3.2, 12.2}, {12, 4.2}, {20.8, 12.2}}, 2.6), kAccentPressed);
}

// The book of the window icon, drawn on a 32-unit square.
void DrawBook(const TScaled& g) {
  g.Fill(RoundRect(9, 4.5, 28, 29.5, 2), kLine);  // the pages' edge
  g.Fill(RoundRect(9, 5.5, 27, 28.5, 1.5), kWhite);
  g.Fill(RoundRect(4, 2.5, 24, 29.5, 2.5), VerticalGradient(kAccentHot, kAccentPressed, 2.5, 29.5));
  g.Fill(RoundRect(4, 2.5, 7.5, 29.5, 2), kAccentPressed);  // the spine
  g.Fill(RoundRect(10.5, 8.5, 20.5, 10.5, 1), kWhite);      // the title
  g.Fill(RoundRect(10.5, 13, 17.5, 14.5, 0.75), kHoverFill);
  g.Fill(Polygon({{16.5, 2.5}, {20.5, 2.5}, {20.5, 11.5}, {18.5, 9.5}, {16.5, 11.5}}), kCloseRed);
}

using TDrawing = std::function<void(const TScaled&)>;

const TDrawing kGlyphs[8] = {
    [](const TScaled& g) { DrawArrow(g, true); },
    [](const TScaled& g) { DrawArrow(g, false); },
    DrawRefresh,
    DrawStop,
    DrawPrint,
    DrawSearch,
    DrawAbout,
    DrawHome,
};

void PutLe16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

// BITMAPINFOHEADER without compression.
void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, uint32_t imageBytes) {
  PutLe32(out, 40);
  PutLe32(out, static_cast<uint32_t>(width));
  PutLe32(out, static_cast<uint32_t>(height));
  PutLe16(out, 1);
  PutLe16(out, static_cast<uint32_t>(bits));
  PutLe32(out, 0);
  PutLe32(out, imageBytes);
  PutLe32(out, 2835);  // 72 dots per inch
  PutLe32(out, 2835);
  PutLe32(out, 0);
  PutLe32(out, 0);
}

}  // namespace

std::vector<uint8_t> DefaultGlyphFile(int index) {
  TskBitmap bitmap;
  bitmap.SetSize(kDefaultGlyphSize, kDefaultGlyphSize);
  bitmap.Fill(0);
  kGlyphs[std::clamp(index, 0, 7)](TScaled{bitmap, 1.0});

  const int size = kDefaultGlyphSize;
  const uint32_t rowBytes = (static_cast<uint32_t>(size) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(size);
  std::vector<uint8_t> file;
  file.push_back('B');
  file.push_back('M');
  PutLe32(file, 54 + imageBytes);
  PutLe32(file, 0);
  PutLe32(file, 54);
  PutInfoHeader(file, size, size, 24, imageBytes);
  const double faceR = (kDefaultGlyphFace >> 16) & 0xFF, faceG = (kDefaultGlyphFace >> 8) & 0xFF,
               faceB = kDefaultGlyphFace & 0xFF;
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const TskPixel p = bitmap.PixelAt(x, y);
      const double a = PixelAlpha(p) / 255.0;
      // Hardly covered pixels are left out rather than drawn as a faint
      // halo on toolbars of another colour.
      uint32_t rgb = kDefaultGlyphKey;
      if (a >= 0.12) {
        auto mix = [a](int c, double face) { return static_cast<uint32_t>(std::lround(c * a + face * (1 - a))); };
        rgb = mix(PixelRed(p), faceR) << 16 | mix(PixelGreen(p), faceG) << 8 | mix(PixelBlue(p), faceB);
        if (rgb == kDefaultGlyphKey) rgb ^= 1;
      }
      file.push_back(static_cast<uint8_t>(rgb));
      file.push_back(static_cast<uint8_t>(rgb >> 8));
      file.push_back(static_cast<uint8_t>(rgb >> 16));
    }
    file.resize(file.size() + (rowBytes - static_cast<uint32_t>(size) * 3), 0);
  }
  return file;
}

std::vector<uint8_t> DefaultIconFile() {
  static constexpr int kSizes[] = {16, 24, 32, 48};
  std::vector<std::vector<uint8_t>> images;
  for (int size : kSizes) {
    TskBitmap bitmap;
    bitmap.SetSize(size, size);
    bitmap.Fill(0);
    DrawBook(TScaled{bitmap, size / 32.0});
    // Hard outer edges: the viewer's skinned caption draws the small icon
    // onto its key colour, where the partly covered pixels of a soft edge
    // would show as a purple fringe. Inside, the shapes stay blended.
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        const TskPixel p = bitmap.PixelAt(x, y);
        bitmap.SetPixelAt(x, y, PixelAlpha(p) < 128 ? 0 : (p | 0xFF000000u));
      }
    const uint32_t maskRow = ((static_cast<uint32_t>(size) + 31) / 32) * 4;
    const uint32_t colourBytes = static_cast<uint32_t>(size * size * 4);
    std::vector<uint8_t> image;
    // The height counts the colour image and the mask below it.
    PutInfoHeader(image, size, 2 * size, 32, colourBytes + maskRow * static_cast<uint32_t>(size));
    for (int y = size - 1; y >= 0; --y) {
      for (int x = 0; x < size; ++x) {
        const TskPixel p = bitmap.PixelAt(x, y);
        image.push_back(static_cast<uint8_t>(PixelBlue(p)));
        image.push_back(static_cast<uint8_t>(PixelGreen(p)));
        image.push_back(static_cast<uint8_t>(PixelRed(p)));
        image.push_back(static_cast<uint8_t>(PixelAlpha(p)));
      }
    }
    for (int y = size - 1; y >= 0; --y) {
      std::vector<uint8_t> row(maskRow, 0);
      for (int x = 0; x < size; ++x)
        if (PixelAlpha(bitmap.PixelAt(x, y)) == 0) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
      image.insert(image.end(), row.begin(), row.end());
    }
    images.push_back(std::move(image));
  }
  std::vector<uint8_t> file;
  PutLe16(file, 0);
  PutLe16(file, 1);
  PutLe16(file, static_cast<uint32_t>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<uint8_t>(kSizes[i]));
    file.push_back(static_cast<uint8_t>(kSizes[i]));
    file.push_back(0);  // colours in a palette: none
    file.push_back(0);
    PutLe16(file, 1);   // planes
    PutLe16(file, 32);  // bits per pixel
    PutLe32(file, static_cast<uint32_t>(images[i].size()));
    PutLe32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  return file;
}

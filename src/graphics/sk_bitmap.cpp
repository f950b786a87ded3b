#include "graphics/sk_bitmap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "runtime/ansi.h"
#include "graphics/sk_bitmap_memory.h"

// Stream records store pixels as blue, green, red, alpha: exactly the
// in-memory form of a TskPixel on the processors this library targets.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr const char* kStreamReadError = "Stream read error";
constexpr TskPixel kColourMask = 0x00FFFFFF;
// Never counted as non-opaque by CheckTransparency.
constexpr TskPixel kSentinelPixel = 0x33333333;

int ClampComponent(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, 0, 255)); }

// Round to nearest, ties to even, then into 0..255 (NaN gives 0).
int RoundComponent(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= 0)) return 0;
  if (rounded > 255) return 255;
  return static_cast<int>(rounded);
}

TskPixel PackPixel(int red, int green, int blue, uint32_t alpha) {
  return (alpha << 24) | (static_cast<TskPixel>(red) << 16) | (static_cast<TskPixel>(green) << 8) |
         static_cast<TskPixel>(blue);
}

// Every bitmap that has pixel memory, by the device context that draws into
// it. Lookups come from painting code that only holds a device context.
class TBitmapRegistry {
 public:
  void Add(const void* dc, TskBitmap* bitmap) {
    std::lock_guard guard(lock_);
    byDc_[dc] = bitmap;
  }
  void Remove(const void* dc) {
    std::lock_guard guard(lock_);
    byDc_.erase(dc);
  }
  TskBitmap* Find(const void* dc) {
    std::lock_guard guard(lock_);
    const auto it = byDc_.find(dc);
    return it == byDc_.end() ? nullptr : it->second;
  }

 private:
  std::mutex lock_;
  std::unordered_map<const void*, TskBitmap*> byDc_;
};

// Every TskBitmap constructor touches the registry first, so the registry is
// constructed before, and destroyed after, any bitmap with static storage.
TBitmapRegistry& Registry() {
  static TBitmapRegistry registry;
  return registry;
}

enum class TDrawMode { Copy, Key, Blend };

// Nearest-neighbour position inside a source span of sourceCount pixels
// starting at sourceStart, for offset i of a destination span of
// destinationCount pixels. i × (S − 1) stays below 2^62: S ≤ kMaxPixels and
// i < 2^33.
int64_t MapPosition(int64_t i, int64_t destinationCount, int64_t sourceStart, int64_t sourceCount) {
  if (destinationCount < 2) return (sourceStart + sourceStart + sourceCount - 1) / 2;
  return sourceStart + i * (sourceCount - 1) / (destinationCount - 1);
}

// Draws the source span (srcLeft, srcTop, srcWidth × srcHeight) of pixels
// with the given row stride onto target's destination rectangle (left, top,
// width × height, all 64-bit so that no caller's sum can overflow), clipped
// to the target. The source span is inside the source memory.
void DrawSpan(const TskPixelBuffer& target, int64_t left, int64_t top, int64_t width, int64_t height,
              const TskPixel* source, int64_t stride, int64_t srcLeft, int64_t srcTop, int64_t srcWidth,
              int64_t srcHeight, TDrawMode mode) {
  if (width <= 0 || height <= 0) return;
  const int64_t clipLeft = std::max<int64_t>(left, 0);
  const int64_t clipTop = std::max<int64_t>(top, 0);
  const int64_t clipRight = std::min<int64_t>(left + width, target.Width);
  const int64_t clipBottom = std::min<int64_t>(top + height, target.Height);
  if (clipLeft >= clipRight || clipTop >= clipBottom) return;

  const TskPixelRoutines& routines = PixelRoutines();
  void (*rowRoutine)(TskPixel*, const TskPixel*, size_t) =
      mode == TDrawMode::Blend ? routines.BlendRow : mode == TDrawMode::Key ? routines.KeyCopyRow : routines.CopyRow;
  const size_t count = static_cast<size_t>(clipRight - clipLeft);
  auto targetRow = [&](int64_t y) {
    const int64_t row = target.BottomUp ? target.Height - 1 - y : y;
    return target.Bits + row * target.Width + clipLeft;
  };

  if (width == srcWidth && height == srcHeight) {
    for (int64_t y = clipTop; y < clipBottom; ++y) {
      const TskPixel* from = source + (srcTop + y - top) * stride + srcLeft + (clipLeft - left);
      rowRoutine(targetRow(y), from, count);
    }
    return;
  }

  // Source column of every visible destination column, computed once.
  const bool sameWidth = width == srcWidth;
  std::vector<int64_t> columns(sameWidth ? 0 : count);
  for (size_t k = 0; k < columns.size(); ++k) {
    columns[k] = MapPosition(clipLeft + static_cast<int64_t>(k) - left, width, srcLeft, srcWidth);
  }
  std::vector<TskPixel> gathered(sameWidth ? 0 : count);
  int64_t previousSourceRow = -1;
  for (int64_t y = clipTop; y < clipBottom; ++y) {
    const int64_t sourceRow = MapPosition(y - top, height, srcTop, srcHeight);
    // A copied row that repeats the previous source row is the previous
    // destination row again. Keyed and blended rows are not: their result
    // depends on what this destination row held.
    if (mode == TDrawMode::Copy && sourceRow == previousSourceRow) {
      routines.CopyRow(targetRow(y), targetRow(y - 1), count);
      continue;
    }
    previousSourceRow = sourceRow;
    const TskPixel* from = source + sourceRow * stride;
    if (sameWidth) {
      rowRoutine(targetRow(y), from + srcLeft + (clipLeft - left), count);
    } else {
      for (size_t k = 0; k < count; ++k) gathered[k] = from[columns[k]];
      rowRoutine(targetRow(y), gathered.data(), count);
    }
  }
}

}  // namespace

// ---- colour helpers --------------------------------------------------------

TColor ColorToRGB(TColor colour) {
  if (colour < 0) return static_cast<TColor>(SystemColorRgb(colour & 0xFF));
  return colour;
}

TColor RgbColor(int red, int green, int blue) {
  return static_cast<TColor>(static_cast<uint32_t>(ClampComponent(red)) |
                             (static_cast<uint32_t>(ClampComponent(green)) << 8) |
                             (static_cast<uint32_t>(ClampComponent(blue)) << 16));
}

TskPixel ColorToPixel(TColor colour, uint8_t alpha) {
  const auto rgb = static_cast<uint32_t>(ColorToRGB(colour));
  return PackPixel(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                   static_cast<int>((rgb >> 16) & 0xFF), alpha);
}

TColor PixelToColor(TskPixel pixel) { return RgbColor(PixelRed(pixel), PixelGreen(pixel), PixelBlue(pixel)); }

TskPixel MakePixel(int red, int green, int blue, int alpha) {
  return PackPixel(ClampComponent(red), ClampComponent(green), ClampComponent(blue),
                   static_cast<uint32_t>(alpha) & 0xFF);
}

TskHsl RgbToHsl(TskPixel pixel) {
  const double r = PixelRed(pixel) / 255.0;
  const double g = PixelGreen(pixel) / 255.0;
  const double b = PixelBlue(pixel) / 255.0;
  const double maxC = std::max({r, g, b});
  const double minC = std::min({r, g, b});
  TskHsl hsl;
  hsl.Lightness = (maxC + minC) / 2;
  if (maxC == minC) return hsl;
  const double d = maxC - minC;
  hsl.Saturation = hsl.Lightness < 0.5 ? d / (maxC + minC) : d / (2 - maxC - minC);
  double hue;
  if (maxC == r) {
    hue = (g - b) / d;
  } else if (maxC == g) {
    hue = (b - r) / d + 2;
  } else {
    hue = (r - g) / d + 4;
  }
  hue /= 6;
  if (hue < 0) hue += 1;
  hsl.Hue = hue;
  return hsl;
}

TskPixel HslToRgb(double hue, double saturation, double lightness) {
  if (saturation == 0) {
    const int v = RoundComponent(lightness * 255);
    return MakePixel(v, v, v, 255);
  }
  const double q = lightness <= 0.5 ? lightness * (1 + saturation) : lightness + saturation - lightness * saturation;
  const double p = 2 * lightness - q;
  auto channel = [&](double t) {
    const double f = t - std::floor(t);
    const double sixF = 6 * f;
    double v;
    if (sixF < 1) {
      v = p + (q - p) * sixF;
    } else if (2 * f < 1) {
      v = q;
    } else if (3 * f < 2) {
      v = p + (q - p) * (2.0 / 3.0 - f) * 6;
    } else {
      v = p;
    }
    return RoundComponent(v * 255);
  };
  return MakePixel(channel(hue + 1.0 / 3.0), channel(hue), channel(hue - 1.0 / 3.0), 255);
}

TskPixel ShiftHue(TskPixel pixel, int delta) {
  const TskHsl hsl = RgbToHsl(pixel);
  // A full turn is 255 steps. Deltas beyond one turn need no further wrap:
  // HslToRgb only looks at the hue's fractional part.
  int64_t h = RoundComponent(hsl.Hue * 255) + int64_t{delta};
  if (h >= 256) h -= 255;
  if (h < 0) h += 255;
  return HslToRgb(static_cast<double>(h) / 255, hsl.Saturation, hsl.Lightness);
}

TskPixel ShiftBrightness(TskPixel pixel, int16_t delta) {
  return MakePixel(PixelRed(pixel) + delta, PixelGreen(pixel) + delta, PixelBlue(pixel) + delta, 255);
}

TskPixel AddToChannels(TskPixel pixel, int deltaRed, int deltaGreen, int deltaBlue, int deltaAlpha) {
  const uint32_t alpha = (static_cast<uint32_t>(PixelAlpha(pixel)) + static_cast<uint32_t>(deltaAlpha)) & 0xFF;
  return PackPixel(ClampComponent(int64_t{PixelRed(pixel)} + deltaRed),
                   ClampComponent(int64_t{PixelGreen(pixel)} + deltaGreen),
                   ClampComponent(int64_t{PixelBlue(pixel)} + deltaBlue), alpha);
}

TskPixel Lighten(TskPixel pixel, int delta) { return AddToChannels(pixel, delta, delta, delta, 0); }

TColor LightenColor(TColor colour, int delta) { return PixelToColor(Lighten(ColorToPixel(colour, 0), delta)); }

// ---- TskBitmap -------------------------------------------------------------

TskBitmap::TskBitmap() { Registry(); }

TskBitmap::~TskBitmap() { ReleasePixels(); }

TskPixel* TskBitmap::Bits() const { return memory_ ? memory_->Bits() : nullptr; }

const void* TskBitmap::DeviceContext() const { return memory_ ? memory_->DeviceContext() : nullptr; }

TskBitmap* TskBitmap::FromDeviceContext(const void* deviceContext) {
  return deviceContext == nullptr ? nullptr : Registry().Find(deviceContext);
}

void TskBitmap::ReleasePixels() {
  if (memory_) Registry().Remove(memory_->DeviceContext());
  memory_.reset();
  width_ = 0;
  height_ = 0;
}

void TskBitmap::SetSize(int32_t width, int32_t height) {
  // |INT32_MIN| does not fit in 32 bits; it is simply too large.
  const int64_t w = std::abs(int64_t{width});
  const int64_t h = std::abs(int64_t{height});
  if (w == 0 || h == 0) return;
  if (memory_ && w == width_ && h == height_) return;
  ReleasePixels();
  if (w * h > kMaxPixels) throw ESkBitmapError("Can't allocate the DIB handle");
  memory_ = std::make_unique<TskPixelMemory>(static_cast<int32_t>(w), static_cast<int32_t>(h));
  width_ = static_cast<int32_t>(w);
  height_ = static_cast<int32_t>(h);
  Registry().Add(memory_->DeviceContext(), this);
}

void TskBitmap::Fill(TskPixel pixel) {
  if (IsEmpty()) return;
  PixelRoutines().FillPixels(Bits(), static_cast<size_t>(int64_t{width_} * height_), pixel);
}

void TskBitmap::FillRect(const TRect& rect, TskPixel pixel) {
  const TRect r = IntersectRects(rect, Bounds());
  if (IsEmpty() || IsRectEmpty(r)) return;
  const TskPixelRoutines& routines = PixelRoutines();
  const auto count = static_cast<size_t>(RectWidth(r));
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    TskPixel* row = PixelAddress(r.Left, y);
    if (AlphaBlend) {
      for (size_t i = 0; i < count; ++i) row[i] = routines.BlendPixel(pixel, row[i]);
    } else {
      routines.FillPixels(row, count, pixel);
    }
  }
}

void TskBitmap::SetAlpha(uint8_t alpha) {
  if (IsEmpty()) return;
  PixelRoutines().SetAlphaPixels(Bits(), static_cast<size_t>(int64_t{width_} * height_), alpha);
}

void TskBitmap::SetAlphaRect(uint8_t alpha, const TRect& rect) {
  const TRect r = IntersectRects(rect, Bounds());
  if (IsEmpty() || IsRectEmpty(r)) return;
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    PixelRoutines().SetAlphaPixels(PixelAddress(r.Left, y), static_cast<size_t>(RectWidth(r)), alpha);
  }
}

void TskBitmap::DetectAlpha() {
  AlphaBlend = false;
  if (IsEmpty()) return;
  const TskPixel* bits = Bits();
  const int64_t count = int64_t{width_} * height_;
  for (int64_t i = 0; i < count; ++i) {
    const int alpha = PixelAlpha(bits[i]);
    if (alpha != 0 && alpha != 255) {
      AlphaBlend = true;
      return;
    }
  }
}

void TskBitmap::KeyOutColor(TColor colour) {
  Transparent = false;
  if (IsEmpty()) return;
  const TskPixel key = ColorToPixel(colour, 0);
  auto within = [](int a, int b) { return std::abs(a - b) < 6; };
  TskPixel* bits = Bits();
  const int64_t count = int64_t{width_} * height_;
  for (int64_t i = 0; i < count; ++i) {
    const TskPixel p = bits[i];
    if (within(PixelRed(p), PixelRed(key)) && within(PixelGreen(p), PixelGreen(key)) &&
        within(PixelBlue(p), PixelBlue(key))) {
      bits[i] = kKeyPixel;
      Transparent = true;
    }
  }
}

void TskBitmap::ShiftBitmapBrightness(int16_t delta) {
  if (delta == 0 || IsEmpty()) return;
  TskPixel* bits = Bits();
  const int64_t count = int64_t{width_} * height_;
  for (int64_t i = 0; i < count; ++i) {
    const TskPixel p = bits[i];
    if ((p >> 24) != 0) bits[i] = (ShiftBrightness(p, delta) & kColourMask) | (p & ~kColourMask);
  }
}

void TskBitmap::ShiftBitmapHue(int delta) {
  if (delta == 0 || IsEmpty()) return;
  TskPixel* bits = Bits();
  const int64_t count = int64_t{width_} * height_;
  // Theme images hold few distinct colours: remember the last conversion.
  TskPixel lastIn = 0;
  TskPixel lastOut = ShiftHue(0, delta);
  for (int64_t i = 0; i < count; ++i) {
    const TskPixel p = bits[i];
    if ((p >> 24) == 0) continue;
    const TskPixel colour = p & kColourMask;
    if (colour != lastIn) {
      lastIn = colour;
      lastOut = ShiftHue(colour, delta);
    }
    bits[i] = (lastOut & kColourMask) | (p & ~kColourMask);
  }
}

TskPixel TskBitmap::PixelAt(int32_t x, int32_t y) const {
  if (IsEmpty() || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return *PixelAddress(x, y);
}

void TskBitmap::SetPixelAt(int32_t x, int32_t y, TskPixel value) {
  if (IsEmpty() || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  *PixelAddress(x, y) = value;
}

void TskBitmap::Assign(const TskBitmap& source) {
  if (&source == this) return;
  if (source.IsEmpty()) {
    ReleasePixels();
  } else {
    SetSize(source.width_, source.height_);
    std::memcpy(Bits(), source.Bits(), static_cast<size_t>(int64_t{width_} * height_) * sizeof(TskPixel));
  }
  Name = source.Name;
  AlphaBlend = source.AlphaBlend;
  Transparent = source.Transparent;
}

void TskBitmap::FlipVertical() {
  if (IsEmpty()) return;
  for (int32_t top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(Row(top), Row(top) + width_, Row(bottom));
  }
}

void TskBitmap::LoadFromStream(TStream& stream) {
  Name = ReadStreamString(stream);
  const int32_t width = ReadInt32(stream);
  const int32_t height = ReadInt32(stream);
  // The writer never stores a negative width; a reader that accepted one
  // would read no pixels and leave the stream out of step for whatever
  // record follows.
  if (width < 0) throw EReadError(kStreamReadError);
  const int64_t rows = std::abs(int64_t{height});
  if (width == 0 || rows == 0) {
    ReleasePixels();
    return;
  }
  if (int64_t{width} * rows > kMaxPixels) throw ESkBitmapError("Can't allocate the DIB handle");
  std::vector<TskPixel> pixels;
  ReadGrowing(stream, pixels, int64_t{width} * rows);
  SetSize(width, static_cast<int32_t>(rows));
  std::memcpy(Bits(), pixels.data(), pixels.size() * sizeof(TskPixel));
  if (height < 0) FlipVertical();
}

void TskBitmap::SaveToStream(TStream& stream) const {
  WriteStreamString(stream, Name);
  WriteInt32(stream, width_);
  WriteInt32(stream, height_);
  if (!IsEmpty()) {
    stream.WriteBuffer(Bits(), int64_t{width_} * height_ * static_cast<int64_t>(sizeof(TskPixel)));
  }
}

void TskBitmap::DrawToPixels(const TskPixelBuffer& target, const TRect& destination, const TRect& source) const {
  if (IsEmpty() || target.Bits == nullptr || target.Width <= 0 || target.Height <= 0) return;
  if (IsRectEmpty(source) || !Contains(source, Bounds()) || IsRectEmpty(destination)) return;
  const TDrawMode mode = AlphaBlend ? TDrawMode::Blend : Transparent ? TDrawMode::Key : TDrawMode::Copy;

  const TskPixel* from = Bits();
  int64_t stride = width_;
  int64_t srcLeft = source.Left;
  int64_t srcTop = source.Top;
  // Drawing a bitmap onto itself reads from a copy of the source rectangle,
  // so that rows already written are never read again as source.
  std::vector<TskPixel> staged;
  if (target.Bits == Bits()) {
    stride = RectWidth(source);
    staged.resize(static_cast<size_t>(stride * RectHeight(source)));
    for (int64_t y = 0; y < RectHeight(source); ++y) {
      std::memcpy(staged.data() + y * stride, PixelAddress(source.Left, static_cast<int32_t>(source.Top + y)),
                  static_cast<size_t>(stride) * sizeof(TskPixel));
    }
    from = staged.data();
    srcLeft = 0;
    srcTop = 0;
  }
  DrawSpan(target, destination.Left, destination.Top, RectWidth(destination), RectHeight(destination), from, stride,
           srcLeft, srcTop, RectWidth(source), RectHeight(source), mode);
}

void TskBitmap::DrawOnto(TskBitmap& target, const TRect& destination, const TRect& source) const {
  DrawToPixels(target.PixelBuffer(), destination, source);
}

void TskBitmap::DrawOnto(TskBitmap& target, int32_t x, int32_t y) const { DrawOnto(target, x, y, Bounds()); }

void TskBitmap::DrawOnto(TskBitmap& target, int32_t x, int32_t y, const TRect& source) const {
  // An unscaled draw whose far edge would pass the 32-bit range lies wholly
  // outside any bitmap; clamping the edge then changes nothing visible.
  const auto edge = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX)); };
  const TRect destination{x, y, edge(int64_t{x} + RectWidth(source)), edge(int64_t{y} + RectHeight(source))};
  if (RectWidth(destination) != RectWidth(source) || RectHeight(destination) != RectHeight(source)) return;
  DrawOnto(target, destination, source);
}

void TskBitmap::Tile(TskBitmap& target, const TRect& destination, const TRect& source, const TRect& clip) const {
  // Without a clip, tiles outside the target would draw nothing: the walk
  // is limited to the target. A clip keeps its meaning (a tile that touches
  // it is drawn whole), so it is passed unchanged.
  const TRect limit = IsRectEmpty(clip) ? target.Bounds() : clip;
  if (IsRectEmpty(limit)) return;
  ForEachTile(destination, source, limit, [&](const TRect& d, const TRect& s) { DrawOnto(target, d, s); });
}

void TskBitmap::MergeUnder(const TskBitmap& source, int32_t x, int32_t y, const TRect& sourceRect) {
  if (IsEmpty() || source.IsEmpty()) return;
  const TRect s = IntersectRects(sourceRect, source.Bounds());
  if (IsRectEmpty(s)) return;
  // Destination positions outside this bitmap are skipped; they never wrap
  // into the next row or reach before the first.
  const int64_t dx = int64_t{x} - sourceRect.Left;
  const int64_t dy = int64_t{y} - sourceRect.Top;
  const int64_t left = std::max<int64_t>(s.Left, -dx);
  const int64_t right = std::min<int64_t>(s.Right, width_ - dx);
  const int64_t top = std::max<int64_t>(s.Top, -dy);
  const int64_t bottom = std::min<int64_t>(s.Bottom, height_ - dy);
  if (left >= right || top >= bottom) return;

  TskBitmap copy;
  const TskBitmap* under = &source;
  if (&source == this) {
    copy.Assign(source);
    under = &copy;
  }
  const TskPixelRoutines& routines = PixelRoutines();
  for (int64_t sy = top; sy < bottom; ++sy) {
    const TskPixel* from = under->Row(static_cast<int32_t>(sy));
    TskPixel* to = Row(static_cast<int32_t>(sy + dy));
    for (int64_t sx = left; sx < right; ++sx) {
      TskPixel& d = to[sx + dx];
      const int alpha = PixelAlpha(d);
      if (alpha == 0) {
        d = from[sx];
      } else if (alpha != 255) {
        d = routines.BlendPixel(d, from[sx]);
      }
    }
  }
}

std::unique_ptr<TskBitmapLink> TskBitmap::MakeLink(const TRect& rect) {
  auto link = std::make_unique<TskBitmapLink>();
  link->Bitmap = this;
  link->Rect = rect;
  link->Name = Name;
  return link;
}

void ForEachTile(const TRect& destination, const TRect& source, const TRect& clip,
                 const std::function<void(const TRect&, const TRect&)>& draw) {
  const int64_t w = RectWidth(source);
  const int64_t h = RectHeight(source);
  if (w <= 0 || h <= 0 || IsRectEmpty(destination)) return;
  const bool clipped = !IsRectEmpty(clip);
  int64_t firstX = destination.Left;
  int64_t firstY = destination.Top;
  int64_t endX = destination.Right;
  int64_t endY = destination.Bottom;
  if (clipped) {
    // Start at the first column and row that can reach the clip.
    if (clip.Left > destination.Left) firstX += (int64_t{clip.Left} - destination.Left) / w * w;
    if (clip.Top > destination.Top) firstY += (int64_t{clip.Top} - destination.Top) / h * h;
    endX = std::min<int64_t>(endX, clip.Right);
    endY = std::min<int64_t>(endY, clip.Bottom);
  }
  for (int64_t x = firstX; x < endX; x += w) {
    for (int64_t y = firstY; y < endY; y += h) {
      const TRect piece{static_cast<int32_t>(x), static_cast<int32_t>(y),
                        static_cast<int32_t>(std::min<int64_t>(x + w, destination.Right)),
                        static_cast<int32_t>(std::min<int64_t>(y + h, destination.Bottom))};
      if (clipped && IsRectEmpty(IntersectRects(piece, clip))) continue;
      const TRect part{source.Left, source.Top, static_cast<int32_t>(source.Left + RectWidth(piece)),
                       static_cast<int32_t>(source.Top + RectHeight(piece))};
      draw(piece, part);
    }
  }
}

// ---- TskBitmapLink ---------------------------------------------------------

void TskBitmapLink::CheckTransparency(const TRect& margins) {
  EdgesTransparent = false;
  CornersTransparent = false;
  CenterTransparent = false;
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return;
  const TRect area = IntersectRects(Rect, Bitmap->Bounds());
  if (IsRectEmpty(area)) return;
  auto nonOpaque = [](TskPixel p) { return p != kSentinelPixel && PixelAlpha(p) != 255; };

  if (margins == TRect{}) {
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
      const TskPixel* row = Bitmap->Row(y);
      for (int32_t x = area.Left; x < area.Right; ++x) {
        if (nonOpaque(row[x])) {
          CenterTransparent = true;
          return;
        }
      }
    }
    return;
  }

  const int64_t width = RectWidth(Rect);
  const int64_t height = RectHeight(Rect);
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    const int64_t py = int64_t{y} - Rect.Top;
    const bool vertical = py < margins.Top || py >= height - margins.Bottom;
    const TskPixel* row = Bitmap->Row(y);
    for (int32_t x = area.Left; x < area.Right; ++x) {
      if (!nonOpaque(row[x])) continue;
      const int64_t px = int64_t{x} - Rect.Left;
      const bool horizontal = px < margins.Left || px >= width - margins.Right;
      if (horizontal && vertical) {
        CornersTransparent = true;
      } else if (horizontal || vertical) {
        EdgesTransparent = true;
      } else {
        CenterTransparent = true;
      }
      if (CornersTransparent && EdgesTransparent && CenterTransparent) return;
    }
  }
}

// ---- TskBitmapList ---------------------------------------------------------

TskBitmap* TskBitmapList::Add(std::unique_ptr<TskBitmap> bitmap) {
  items_.push_back(std::move(bitmap));
  return items_.back().get();
}

TskBitmap* TskBitmapList::Item(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<size_t>(index)].get();
}

TskBitmap* TskBitmapList::FindByName(std::string_view name) const {
  const std::string wanted = AnsiUpperCase(name);
  for (const auto& item : items_) {
    if (item && AnsiUpperCase(item->Name) == wanted) return item.get();
  }
  return nullptr;
}

std::unique_ptr<TskBitmapLink> TskBitmapList::LinkByName(std::string_view name, const TRect& rect) const {
  TskBitmap* bitmap = FindByName(name);
  return bitmap ? bitmap->MakeLink(rect) : nullptr;
}

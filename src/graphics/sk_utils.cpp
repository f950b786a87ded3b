#include "graphics/sk_utils.h"

#include <algorithm>

#include "graphics/sk_bitmap.h"

namespace {

int32_t Clamp32(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

}  // namespace

bool Contains(const TRect& inner, const TRect& outer) {
  return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
         inner.Bottom <= outer.Bottom;
}

TRect IntersectRects(const TRect& a, const TRect& b) {
  const TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                std::min(a.Bottom, b.Bottom)};
  return IsRectEmpty(r) ? TRect{} : r;
}

TRect Inset(const TRect& rect, const TRect& margins) {
  return TRect{Clamp32(int64_t{rect.Left} + margins.Left), Clamp32(int64_t{rect.Top} + margins.Top),
               Clamp32(int64_t{rect.Right} - margins.Right), Clamp32(int64_t{rect.Bottom} - margins.Bottom)};
}

TRect OffsetRect(const TRect& rect, int32_t dx, int32_t dy) {
  return TRect{Clamp32(int64_t{rect.Left} + dx), Clamp32(int64_t{rect.Top} + dy), Clamp32(int64_t{rect.Right} + dx),
               Clamp32(int64_t{rect.Bottom} + dy)};
}

TRect CentreRect(const TRect& inner, const TRect& outer) {
  const int64_t left = outer.Left + (RectWidth(outer) - RectWidth(inner)) / 2;
  const int64_t top = outer.Top + (RectHeight(outer) - RectHeight(inner)) / 2;
  return TRect{Clamp32(left), Clamp32(top), Clamp32(left + RectWidth(inner)), Clamp32(top + RectHeight(inner))};
}

std::vector<TRect> OpaqueRuns(const TskBitmap& bitmap, int32_t x, int32_t y) {
  std::vector<TRect> runs;
  for (int32_t row = 0; row < bitmap.Height(); ++row) {
    const TskPixel* pixels = bitmap.Row(row);
    int32_t column = 0;
    while (column < bitmap.Width()) {
      while (column < bitmap.Width() && (pixels[column] & 0x00FFFFFF) == kKeyColor) ++column;
      const int32_t start = column;
      while (column < bitmap.Width() && (pixels[column] & 0x00FFFFFF) != kKeyColor) ++column;
      if (column > start) {
        runs.push_back(TRect{Clamp32(int64_t{x} + start), Clamp32(int64_t{y} + row), Clamp32(int64_t{x} + column),
                             Clamp32(int64_t{y} + row + 1)});
      }
    }
  }
  return runs;
}

std::wstring EllipsizeText(std::wstring_view text, int width, const std::function<int(std::wstring_view)>& measure) {
  if (measure(text) <= width) return std::wstring(text);
  constexpr std::wstring_view kDots = L"...";
  auto fits = [&](size_t length) {
    std::wstring candidate(text.substr(0, length));
    candidate += kDots;
    return measure(candidate) <= width;
  };
  // The longest prefix shorter than the whole text that fits with the dots;
  // measure grows with length, so a binary search finds it.
  size_t low = 0;
  size_t high = text.empty() ? 0 : text.size() - 1;
  while (low < high) {
    const size_t middle = low + (high - low + 1) / 2;
    if (fits(middle)) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  std::wstring result(text.substr(0, low));
  result += kDots;
  return result;
}

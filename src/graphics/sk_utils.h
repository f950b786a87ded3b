// Rectangles and the small drawing utilities the theme kinds and controls
// share. The rectangle arithmetic and the parts of region building and text
// ellipsis that are pure computation are portable; the functions that paint
// on a device context exist on Windows only (sk_utils_gdi.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
// The handle types of the platform, declared the way its headers do, so that
// this header does not pull the whole platform API into portable code.
struct HDC__;
struct HRGN__;
typedef struct HDC__* HDC;
typedef struct HRGN__* HRGN;
#endif

class TskBitmap;

// Left/Top inclusive, Right/Bottom exclusive. A rectangle whose width or
// height is not positive is empty.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  friend bool operator==(const TRect&, const TRect&) = default;
};

// 32-bit colour values of the platform: 0x00BBGGRR, or a negative value whose
// low byte names a system colour (resolved by the colour helpers of sk_bitmap).
using TColor = int32_t;

// Widths and heights are computed in 64 bits: coordinates span the whole
// 32-bit range, so their difference may not fit in 32 bits.
inline int64_t RectWidth(const TRect& r) { return int64_t{r.Right} - r.Left; }
inline int64_t RectHeight(const TRect& r) { return int64_t{r.Bottom} - r.Top; }
inline bool IsRectEmpty(const TRect& r) { return RectWidth(r) <= 0 || RectHeight(r) <= 0; }

// True when inner lies entirely inside outer.
bool Contains(const TRect& inner, const TRect& outer);
// The intersection; empty (all zero) when the two do not overlap.
TRect IntersectRects(const TRect& a, const TRect& b);
// rect shrunk by margins (left, top, right, bottom widths).
TRect Inset(const TRect& rect, const TRect& margins);
TRect OffsetRect(const TRect& rect, int32_t dx, int32_t dy);
// inner moved so that it is centred in outer; odd remainders are dropped
// (the offset is rounded toward zero).
TRect CentreRect(const TRect& inner, const TRect& outer);

// Every maximal horizontal run of pixels whose colour part is not the key
// colour, row by row, as one-pixel-high rectangles offset by (x, y). This is
// the shape of a window region cut out of a bitmap.
std::vector<TRect> OpaqueRuns(const TskBitmap& bitmap, int32_t x, int32_t y);

// The text when measure(text) fits width; otherwise the longest prefix p for
// which measure(p + "...") fits, followed by "..." (an empty prefix when none
// fits). measure must grow with the length of its argument.
std::wstring EllipsizeText(std::wstring_view text, int width,
                           const std::function<int(std::wstring_view)>& measure);

#ifdef _WIN32
// The region of every non-key pixel of bitmap, offset by (x, y); nullptr for
// an empty bitmap. The caller owns the region.
HRGN RegionFromBitmap(const TskBitmap& bitmap, int32_t x, int32_t y);
// One of the platform's frame-control glyphs (glyphType and glyphState are
// the platform's DrawFrameControl type and state flags) in a single colour,
// drawn with key transparency at rect's top-left.
void DrawFrameGlyph(HDC dc, const TRect& rect, unsigned glyphType, TColor colour, unsigned glyphState);
// EllipsizeText measured with the device context's current font.
std::wstring EllipsizeText(HDC dc, std::wstring_view text, int width);

// Plain drawing in one colour.
void FillRectColor(HDC dc, const TRect& rect, TColor colour);
void FrameRectColor(HDC dc, const TRect& rect, TColor colour);
void Edge3D(HDC dc, const TRect& rect, TColor topLeftColour, TColor bottomRightColour);
// Rounded rectangles; radius is the corner ellipse's width and height.
void RoundFrame(HDC dc, const TRect& rect, TColor colour, int radius);
void RoundFill(HDC dc, const TRect& rect, TColor colour, int radius);
#endif

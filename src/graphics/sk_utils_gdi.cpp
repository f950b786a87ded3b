// The device-context side of the drawing utilities. Windows only.
#include <windows.h>

#include <cstring>
#include <vector>

#include "graphics/sk_bitmap.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"

namespace {

RECT ToRect(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

// A solid brush of one colour for the duration of a call.
TGdiBrush BrushOf(TColor colour) { return SolidBrush(static_cast<COLORREF>(ColorToRGB(colour))); }

void FillStrip(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
  if (right <= left || bottom <= top) return;
  const RECT r{left, top, right, bottom};
  FillRect(dc, &r, brush);
}

void RoundRectangle(HDC dc, const TRect& rect, TColor colour, int radius, bool filled) {
  const TGdiPen pen = SolidPen(static_cast<COLORREF>(ColorToRGB(colour)));
  const TGdiBrush brush = BrushOf(colour);
  const TSelectObject selectPen(dc, pen.Get());
  const TSelectObject selectBrush(dc, filled ? static_cast<HGDIOBJ>(brush.Get()) : GetStockObject(NULL_BRUSH));
  RoundRect(dc, rect.Left, rect.Top, rect.Right, rect.Bottom, radius, radius);
}

}  // namespace

HRGN RegionFromBitmap(const TskBitmap& bitmap, int32_t x, int32_t y) {
  if (bitmap.IsEmpty()) return nullptr;
  const std::vector<TRect> runs = OpaqueRuns(bitmap, x, y);
  std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
  RGNDATAHEADER header{};
  header.dwSize = sizeof header;
  header.iType = RDH_RECTANGLES;
  header.nCount = static_cast<DWORD>(runs.size());
  header.nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
  // The bounds hint covers the rectangles where they really are, at (x, y).
  header.rcBound = RECT{x, y, x + bitmap.Width(), y + bitmap.Height()};
  std::memcpy(data.data(), &header, sizeof header);
  for (size_t i = 0; i < runs.size(); ++i) {
    const RECT r = ToRect(runs[i]);
    std::memcpy(data.data() + sizeof header + i * sizeof(RECT), &r, sizeof r);
  }
  return ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
}

void DrawFrameGlyph(HDC dc, const TRect& rect, unsigned glyphType, TColor colour, unsigned glyphState) {
  if (IsRectEmpty(rect)) return;
  const int width = static_cast<int>(RectWidth(rect));
  const int height = static_cast<int>(RectHeight(rect));
  TskBitmap glyph;
  glyph.SetSize(width, height);
  // White first: only what the platform paints black is the glyph.
  glyph.Fill(0xFFFFFFFF);
  RECT area{0, 0, width, height};
  DrawFrameControl(glyph.DC(), &area, glyphType, glyphState);
  GdiFlush();
  const TskPixel ink = ColorToPixel(colour, 255);
  TskPixel* bits = glyph.Bits();
  for (int64_t i = 0; i < int64_t{width} * height; ++i) bits[i] = (bits[i] & 0x00FFFFFF) == 0 ? ink : kKeyPixel;
  glyph.Transparent = true;
  glyph.Draw(dc, rect.Left, rect.Top);
}

std::wstring EllipsizeText(HDC dc, std::wstring_view text, int width) {
  return EllipsizeText(text, width, [dc](std::wstring_view part) {
    SIZE size{};
    GetTextExtentPoint32W(dc, part.data(), static_cast<int>(part.size()), &size);
    return static_cast<int>(size.cx);
  });
}

void FillRectColor(HDC dc, const TRect& rect, TColor colour) {
  const TGdiBrush brush = BrushOf(colour);
  const RECT r = ToRect(rect);
  FillRect(dc, &r, brush.Get());
}

void FrameRectColor(HDC dc, const TRect& rect, TColor colour) {
  const TGdiBrush brush = BrushOf(colour);
  const RECT r = ToRect(rect);
  FrameRect(dc, &r, brush.Get());
}

void Edge3D(HDC dc, const TRect& rect, TColor topLeftColour, TColor bottomRightColour) {
  const TGdiBrush topLeft = BrushOf(topLeftColour);
  const TGdiBrush bottomRight = BrushOf(bottomRightColour);
  // Top and left lines stop one short of the far corners, which belong to
  // the bottom and right lines.
  FillStrip(dc, rect.Left, rect.Top, rect.Right - 1, rect.Top + 1, topLeft.Get());
  FillStrip(dc, rect.Left, rect.Top, rect.Left + 1, rect.Bottom - 1, topLeft.Get());
  FillStrip(dc, rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom, bottomRight.Get());
  FillStrip(dc, rect.Right - 1, rect.Top, rect.Right, rect.Bottom, bottomRight.Get());
}

void RoundFrame(HDC dc, const TRect& rect, TColor colour, int radius) { RoundRectangle(dc, rect, colour, radius, false); }

void RoundFill(HDC dc, const TRect& rect, TColor colour, int radius) { RoundRectangle(dc, rect, colour, radius, true); }

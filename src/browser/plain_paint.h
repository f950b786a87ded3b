// The plain browser's last stage: its layout painted with GDI, and text
// measured with the same fonts for the layout. Windows only. The same code
// paints the window (a screen device context) and prints (a printer's,
// mapped so that a logical unit is a pixel at 96 dots per inch).
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <unordered_map>

#include "browser/plain_layout.h"
#include "graphics/sk_bitmap.h"

// The fonts of a layout's font keys, made on first use and owned:
// proportional text in Arial, fixed-pitch in Courier New. A zoom other than
// 100 percent makes every font that much larger: the layout stays in the
// page's own pixels, and the measurer and painting scale between the two.
class TPlainFonts {
 public:
  TPlainFonts() = default;
  ~TPlainFonts();
  TPlainFonts(const TPlainFonts&) = delete;
  TPlainFonts& operator=(const TPlainFonts&) = delete;
  HFONT Font(const TFontKey& key);
  int Zoom() const { return zoom_; }
  // Percent; the fonts made so far are let go when it changes.
  void SetZoom(int percent);
  // A length of the page in pixels of the zoomed view, and back (the page
  // length that reaches at least that far).
  int Scale(int length) const { return MulDiv(length, zoom_, 100); }
  int Unscale(int length) const { return zoom_ == 100 ? length : (length * 100 + zoom_ - 1) / zoom_; }

 private:
  void Clear();
  std::unordered_map<int, HFONT> fonts_;
  int zoom_ = 100;
};

// Measures text in a device context's current mapping. Character widths are
// asked once per font and block of 256 characters: a large page measures
// hundreds of thousands of words. With zoomed fonts the widths are summed in
// the zoomed font's own units and brought back to the page's pixels once per
// text, rounded up, so that zoomed text never runs into what follows it.
class TGdiMeasurer final : public TTextMeasurer {
 public:
  TGdiMeasurer(HDC dc, TPlainFonts& fonts) : dc_(dc), fonts_(fonts) {}
  int TextWidth(const TFontKey& font, std::wstring_view text) override;
  TFontMetrics Metrics(const TFontKey& font) override;

 private:
  struct TFontCache {
    TFontMetrics Metrics;
    std::array<std::unique_ptr<std::array<int, 256>>, 256> Blocks;
  };
  TFontCache& Cache(const TFontKey& font);
  HDC dc_;
  TPlainFonts& fonts_;
  std::unordered_map<int, std::unique_ptr<TFontCache>> caches_;
  int selected_ = -1;
};

// The bitmap of a box picture (TBoxTree::Pictures index), nullptr while it
// has none.
using TPictureLookup = std::function<const TskBitmap*(int boxPicture)>;

// Paints the items of the layout between y top and bottom of the page as
// the fonts' zoom shows it (page pixels scaled by the zoom), that view's
// (0, top) at the device context's (originX, originY). The background is
// the caller's (white).
void PaintPlainLayout(HDC dc, const TPageLayout& layout, const TPictureLookup& pictures, TPlainFonts& fonts,
                      int originX, int originY, int top, int bottom);

// The colours the painting uses, for tests that read painted pixels.
inline constexpr COLORREF kPlainTextColor = RGB(0, 0, 0);
inline constexpr COLORREF kPlainLinkColor = RGB(0, 0, 238);
inline constexpr COLORREF kPlainHighlightColor = RGB(255, 255, 0);
inline constexpr COLORREF kPlainAlternativeColor = RGB(96, 96, 96);

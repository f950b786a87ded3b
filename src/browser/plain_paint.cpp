#include "browser/plain_paint.h"

#include <algorithm>

#include "graphics/sk_guards_gdi.h"

TPlainFonts::~TPlainFonts() { Clear(); }

void TPlainFonts::Clear() {
  for (const auto& [index, font] : fonts_) {
    if (font != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font);
  }
  fonts_.clear();
}

void TPlainFonts::SetZoom(int percent) {
  if (percent == zoom_) return;
  Clear();
  zoom_ = percent;
}

HFONT TPlainFonts::Font(const TFontKey& key) {
  const auto found = fonts_.find(key.Index());
  if (found != fonts_.end()) return found->second;
  HFONT font = CreateFontW(-std::max(1, Scale(key.Size)), 0, 0, 0, key.Bold ? FW_BOLD : FW_NORMAL, key.Italic ? TRUE : FALSE,
                           FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           key.Mono ? (FIXED_PITCH | FF_MODERN) : (VARIABLE_PITCH | FF_SWISS),
                           key.Mono ? L"Courier New" : L"Arial");
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_.emplace(key.Index(), font);
  return font;
}

TGdiMeasurer::TFontCache& TGdiMeasurer::Cache(const TFontKey& font) {
  const int index = font.Index();
  if (selected_ != index) {
    SelectObject(dc_, fonts_.Font(font));
    selected_ = index;
  }
  auto& cache = caches_[index];
  if (!cache) {
    cache = std::make_unique<TFontCache>();
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc_, &metrics);
    cache->Metrics = TFontMetrics{fonts_.Unscale(static_cast<int>(metrics.tmAscent)),
                                  fonts_.Unscale(static_cast<int>(metrics.tmDescent))};
  }
  return *cache;
}

int TGdiMeasurer::TextWidth(const TFontKey& font, std::wstring_view text) {
  TFontCache& cache = Cache(font);
  const bool surrogates = std::any_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; });
  if (surrogates || sizeof(wchar_t) != 2) {
    SIZE size{};
    GetTextExtentPoint32W(dc_, text.data(), static_cast<int>(text.size()), &size);
    return fonts_.Unscale(size.cx);
  }
  int width = 0;
  for (wchar_t c : text) {
    const unsigned code = static_cast<unsigned>(c) & 0xFFFF;
    auto& block = cache.Blocks[code >> 8];
    if (!block) {
      block = std::make_unique<std::array<int, 256>>();
      const UINT first = code & 0xFF00;
      if (!GetCharWidth32W(dc_, first, first + 255, block->data())) {
        for (UINT k = 0; k < 256; ++k) {
          const wchar_t one = static_cast<wchar_t>(first + k);
          SIZE size{};
          GetTextExtentPoint32W(dc_, &one, 1, &size);
          (*block)[k] = size.cx;
        }
      }
    }
    width += (*block)[code & 0xFF];
  }
  return fonts_.Unscale(width);
}

TFontMetrics TGdiMeasurer::Metrics(const TFontKey& font) { return Cache(font).Metrics; }

namespace {

void Line(HDC dc, int left, int right, int y, int thickness, HBRUSH brush) {
  RECT r{left, y, right, y + thickness};
  FillRect(dc, &r, brush);
}

void PaintPicture(HDC dc, const TskBitmap& bitmap, const RECT& to) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = bitmap.Width();
  info.bmiHeader.biHeight = -bitmap.Height();  // rows top to bottom
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const bool scaled = to.right - to.left != bitmap.Width() || to.bottom - to.top != bitmap.Height();
  const int oldMode = SetStretchBltMode(dc, scaled ? HALFTONE : COLORONCOLOR);
  POINT oldOrigin{};
  if (scaled) SetBrushOrgEx(dc, 0, 0, &oldOrigin);
  GdiFlush();
  StretchDIBits(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, 0, 0, bitmap.Width(), bitmap.Height(),
                bitmap.Bits(), &info, DIB_RGB_COLORS, SRCCOPY);
  if (scaled) SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
  SetStretchBltMode(dc, oldMode);
}

}  // namespace

void PaintPlainLayout(HDC dc, const TPageLayout& layout, const TPictureLookup& pictures, TPlainFonts& fonts,
                      int originX, int originY, int top, int bottom) {
  const TSavedDC saved(dc);
  SetBkMode(dc, TRANSPARENT);
  SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
  const TGdiBrush highlight = SolidBrush(kPlainHighlightColor);
  const TGdiBrush linkInk = SolidBrush(kPlainLinkColor);
  const TGdiBrush textInk = SolidBrush(kPlainTextColor);
  const TGdiBrush alternativeInk = SolidBrush(kPlainAlternativeColor);
  const TGdiBrush ruleDark = SolidBrush(RGB(160, 160, 160));
  const TGdiBrush ruleLight = SolidBrush(RGB(224, 224, 224));
  const TGdiBrush frameInk = SolidBrush(RGB(192, 192, 192));
  // Items are placed in page pixels; the view scales them by the zoom.
  const auto [first, last] = layout.ItemsBetween(top * 100 / fonts.Zoom(), fonts.Unscale(bottom));
  const int dx = originX;
  const int dy = originY - top;
  for (size_t i = first; i < last; ++i) {
    const TLayoutItem& item = layout.Items[i];
    RECT r{fonts.Scale(item.X) + dx, fonts.Scale(item.Y) + dy, fonts.Scale(item.X + item.Width) + dx,
           fonts.Scale(item.Y + item.Height) + dy};
    switch (item.Kind) {
      case TLayoutItem::kText:
      case TLayoutItem::kMarker: {
        const bool link = item.Style.Link >= 0 && item.Kind == TLayoutItem::kText;
        const bool alternative = item.Style.Has(kTextAlternative);
        if (item.Style.Has(kTextHighlight) && item.Kind == TLayoutItem::kText) FillRect(dc, &r, highlight.Get());
        SelectObject(dc, fonts.Font(TFontKey::Of(item.Style)));
        SetTextColor(dc, link ? kPlainLinkColor : alternative ? kPlainAlternativeColor : kPlainTextColor);
        TextOutW(dc, r.left, r.top, item.Text.data(), static_cast<int>(item.Text.size()));
        const int size = fonts.Scale(item.Style.Size);
        const int thickness = std::max(1, size / 14);
        const HBRUSH ink = link ? linkInk.Get() : alternative ? alternativeInk.Get() : textInk.Get();
        const int baseline = fonts.Scale(item.Baseline) + dy;
        if (link || item.Style.Has(kTextUnderline)) Line(dc, r.left, r.right, baseline + 1, thickness, ink);
        if (item.Style.Has(kTextStrike)) Line(dc, r.left, r.right, baseline - size * 3 / 10, thickness, ink);
        break;
      }
      case TLayoutItem::kPicture: {
        const TskBitmap* bitmap = pictures ? pictures(item.Picture) : nullptr;
        if (bitmap != nullptr && !bitmap->IsEmpty()) PaintPicture(dc, *bitmap, r);
        break;
      }
      case TLayoutItem::kRule:
        Line(dc, r.left, r.right, r.top, 1, ruleDark.Get());
        Line(dc, r.left, r.right, r.top + 1, 1, ruleLight.Get());
        break;
      case TLayoutItem::kFrame:
        FrameRect(dc, &r, frameInk.Get());
        break;
    }
  }
}

#include "forms/std_components.h"

#include <commdlg.h>

#include <algorithm>

#include "forms/forms.h"
#include "forms/forms_internal.h"

// ---- TLabel ------------------------------------------------------------------

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
  SetControlStyle(ControlStyle() | csOpaque);
  SetParentColor(true);
  SetBounds(0, 0, 65, 17);
  AdjustBounds();
}

UINT LabelTextFlags(TAlignment alignment, bool wordWrap, bool showAccelChar) {
  UINT flags = DT_EXPANDTABS;
  flags |= wordWrap ? DT_WORDBREAK : 0;
  switch (alignment) {
    case taLeftJustify: flags |= DT_LEFT; break;
    case taRightJustify: flags |= DT_RIGHT; break;
    case taCenter: flags |= DT_CENTER; break;
  }
  if (!showAccelChar) flags |= DT_NOPREFIX;
  return flags;
}

TSize MeasureLabelText(const std::wstring& text, HFONT font, UINT flags, int wrapWidth) {
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return TSize{};
  RECT r{0, 0, (flags & DT_WORDBREAK) != 0 ? wrapWidth : 0, 0};
  {
    const TSelectObject selectFont(dc, font);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags | DT_CALCRECT);
  }
  ReleaseDC(nullptr, dc);
  return TSize{r.right, r.bottom};
}

UINT TLabel::TextFlags() const { return LabelTextFlags(alignment_, wordWrap_, showAccelChar_); }

void TLabel::SetAlignment(TAlignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  Invalidate();
}

void TLabel::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  AdjustBounds();
}

void TLabel::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  SetControlStyle(value ? (ControlStyle() & ~csOpaque) : (ControlStyle() | csOpaque));
  Invalidate();
}

void TLabel::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  wordWrap_ = value;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetShowAccelChar(bool value) {
  if (value == showAccelChar_) return;
  showAccelChar_ = value;
  AdjustBounds();
  Invalidate();
}

void TLabel::AdjustBounds() {
  if (!autoSize_ || IsLoading() || IsDestroying()) return;
  std::wstring text = Caption();
  if (text.empty() || (showAccelChar_ && text == L"&")) text += L' ';
  const TSize size = MeasureLabelText(text, Font().Handle(), TextFlags(), Width());
  int left = Left();
  if (alignment_ == taRightJustify) left += Width() - size.Width;
  SetBounds(left, Top(), size.Width, size.Height);
}

void TLabel::Paint() {
  TCanvas& canvas = Canvas();
  TRect rect = ClientRect();
  if (!transparent_) {
    canvas.Brush().SetColor(Color());
    canvas.FillRect(rect);
  }
  const std::wstring& text = Caption();
  const UINT flags = TextFlags();
  if (Enabled()) {
    canvas.DrawText(text, rect, flags);
    return;
  }
  // Disabled: embossed, a highlight one pixel down and right under a shadow.
  const TColor colour = canvas.Font().Color();
  TRect shifted = OffsetRect(rect, 1, 1);
  canvas.Font().SetColor(clBtnHighlight);
  canvas.DrawText(text, shifted, flags);
  canvas.Font().SetColor(clBtnShadow);
  canvas.DrawText(text, rect, flags);
  canvas.Font().SetColor(colour);
}

void TLabel::WndProc(TMessage& message) {
  TGraphicControl::WndProc(message);
  if (message.Msg == CM_TEXTCHANGED || message.Msg == CM_FONTCHANGED) AdjustBounds();
}

void TLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

// ---- TTimer ------------------------------------------------------------------

TTimer::TTimer(TComponent* owner) : TComponent(owner) { UpdateTimer(); }

TTimer::~TTimer() {
  if (id_ != 0) StopUtilityTimer(id_);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned interval) {
  if (interval == interval_) return;
  interval_ = interval;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (id_ != 0) {
    StopUtilityTimer(id_);
    id_ = 0;
  }
  if (enabled_ && interval_ > 0) id_ = StartUtilityTimer(this, interval_, [this] { Timer(); });
}

void TTimer::Timer() {
  // Called through a copy: the handler may free this timer.
  if (TNotifyEvent handler = OnTimer) handler(this);
}

// ---- TImageList --------------------------------------------------------------

// One image: its colours with the transparent pixels black, and a one-bit
// mask that is set where the image is transparent, so that drawing is an AND
// of the mask followed by an OR of the colours.
struct TImageList::TImage {
  TBitmap Colors;
  HBITMAP Mask = nullptr;
  ~TImage() {
    if (Mask != nullptr) DeleteObject(Mask);
  }
};

namespace {

void DrawImage(HDC dc, int x, int y, int width, int height, const TBitmap& colors, HBITMAP mask) {
  HDC source = CreateCompatibleDC(nullptr);
  if (source == nullptr) return;
  const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
  {
    // The colours replace the mask in the context; the guard puts back what
    // was there before either.
    const TSelectObject selectMask(source, mask);
    BitBlt(dc, x, y, width, height, source, 0, 0, SRCAND);
    SelectObject(source, colors.Handle());
    BitBlt(dc, x, y, width, height, source, 0, 0, SRCPAINT);
  }
  DeleteDC(source);
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
}

}  // namespace

TImageList::TImageList(TComponent* owner) : TComponent(owner) {}

TImageList::~TImageList() = default;

void TImageList::SetSize(int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  Clear();
}

void TImageList::Clear() { images_.clear(); }

int TImageList::AddMasked(const TBitmap& bitmap, TColor maskColor) {
  const int count = bitmap.Empty() ? 0 : bitmap.Width() / width_;
  if (count == 0) return -1;
  const COLORREF key = ColorRef(maskColor);
  const uint32_t keyPixel = ((key & 0xFF) << 16) | (key & 0xFF00) | ((key >> 16) & 0xFF);
  const int rows = std::min(height_, bitmap.Height());
  // CreateBitmap takes rows padded to 16 bits.
  const int maskStride = ((width_ + 15) / 16) * 2;
  const int first = Count();
  for (int i = 0; i < count; ++i) {
    auto image = std::make_unique<TImage>();
    image->Colors.SetSize(width_, height_);
    std::vector<uint8_t> maskBits(static_cast<size_t>(maskStride) * static_cast<size_t>(height_), 0xFF);
    uint32_t* pixels = image->Colors.Pixels();
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const uint32_t pixel = y < rows ? bitmap.PixelAt(i * width_ + x, y) : keyPixel;
        const bool transparent = y >= rows || (pixel & 0xFFFFFF) == keyPixel;
        pixels[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] =
            transparent ? 0xFF000000u : (pixel | 0xFF000000u);
        if (!transparent) {
          maskBits[static_cast<size_t>(y * maskStride + x / 8)] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
        }
      }
    }
    image->Mask = CreateBitmap(width_, height_, 1, 1, maskBits.data());
    if (image->Mask == nullptr) throw EOutOfResources("Out of system resources");
    images_.push_back(std::move(image));
  }
  return first;
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index) const {
  if (index < 0 || index >= Count()) return;
  const TImage& image = *images_[static_cast<size_t>(index)];
  canvas.WithHandle([&](HDC dc) { DrawImage(dc, x, y, width_, height_, image.Colors, image.Mask); });
}

void TImageList::GetBitmap(int index, TBitmap& target) const {
  if (index < 0 || index >= Count()) return;
  if (target.Width() != width_ || target.Height() != height_) target.SetSize(width_, height_);
  Draw(target.Canvas(), 0, 0, index);
}

// ---- TPrintDialog ------------------------------------------------------------

TPrintDialog::TPrintDialog(TComponent* owner) : TComponent(owner) {}

TPrintDialog::~TPrintDialog() {
  if (devMode_ != nullptr) GlobalFree(devMode_);
  if (devNames_ != nullptr) GlobalFree(devNames_);
}

bool TPrintDialog::Execute() {
  PRINTDLGW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetActiveWindow();
  if (dialog.hwndOwner == nullptr) dialog.hwndOwner = Application->Handle();
  dialog.hDevMode = devMode_;
  dialog.hDevNames = devNames_;
  dialog.Flags = PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE;
  if (Collate) dialog.Flags |= PD_COLLATE;
  if (MinPage == 0 && MaxPage == 0) {
    dialog.Flags |= PD_NOPAGENUMS;
  } else {
    dialog.nMinPage = static_cast<WORD>(MinPage);
    dialog.nMaxPage = static_cast<WORD>(MaxPage);
    dialog.nFromPage = static_cast<WORD>(std::clamp(FromPage, MinPage, MaxPage));
    dialog.nToPage = static_cast<WORD>(std::clamp(ToPage, MinPage, MaxPage));
    if (PrintRange == prPageNums) dialog.Flags |= PD_PAGENUMS;
  }
  dialog.nCopies = static_cast<WORD>(std::max(Copies, 1));
  const BOOL accepted = PrintDlgW(&dialog);
  // The dialog may have replaced the printer's blocks, accepted or not.
  devMode_ = dialog.hDevMode;
  devNames_ = dialog.hDevNames;
  if (dialog.hDC != nullptr) DeleteDC(dialog.hDC);
  if (!accepted) return false;
  Copies = dialog.nCopies;
  Collate = (dialog.Flags & PD_COLLATE) != 0;
  PrintRange = (dialog.Flags & PD_PAGENUMS) ? prPageNums : (dialog.Flags & PD_SELECTION) ? prSelection : prAllPages;
  if (PrintRange == prPageNums) {
    FromPage = dialog.nFromPage;
    ToPage = dialog.nToPage;
  }
  return true;
}

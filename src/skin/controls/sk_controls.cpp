#include "skin/controls/sk_controls.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <memory>
#include <type_traits>

#include "runtime/scope_exit.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"

namespace {

// The parents whose background the library paints for transparent
// children: every windowed skinned control. The class descriptor lives as
// long as the program; the registration is made again after the theme
// library was freed (its painters go with it).
const std::shared_ptr<const TskControlClass>& SkControlClass() {
  static const std::shared_ptr<const TskControlClass> descriptor = std::make_shared<TskControlClassOf<TSkControl>>();
  return descriptor;
}

void EnsureBackgroundPainter() {
  ThemeManager();  // creates the manager (and its painter list) when needed
  if (IsBackgroundPainterRegistered(*SkControlClass())) return;
  // A transparent child asks its skinned parent to paint frame and content
  // behind it: the library's own background-erase request, told apart from
  // the platform's by its second parameter.
  RegisterBackgroundPainter(SkControlClass(), [](TCanvas& canvas, const TskBackgroundInfo& info) {
    canvas.WithHandle([&](HDC dc) { info.Parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 1); });
  });
}

// Whether the theme-change code asks for a reaction (codes 1 and 2 bracket
// a change whose content arrives as 0, 3 or 4).
bool ReactsTo(WPARAM code) {
  return code == tcReplaced || code == tcSet || code == tcRemoved || code == tcColors;
}

// Paints through a buffering mode: draw receives a device context whose
// origin is the control's top-left; the result lands on target at (0, 0).
template <class Draw>
void PaintBuffered(TSkPerformance performance, HDC target, int width, int height, bool windowed, Draw&& draw) {
  if (width <= 0 || height <= 0) return;
  switch (performance) {
    case qvpNoBuffer:
      draw(target);
      return;
    case qvpSharedBuffer: {
      TskBitmap& buffer = SharedBuffer();
      HDC dc = buffer.DC();
      {
        const TSavedDC saved(dc);
        if (windowed) FillRectColor(dc, TRect{0, 0, width, height}, kSkBufferKeyColor);
        draw(dc);
      }
      GdiFlush();
      BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
      return;
    }
    case qvpDoubleBuffer: {
      // 32-bit pixels when the screen has 24 or 32 bits; otherwise a bitmap
      // the screen can take as it is.
      HDC screen = GetDC(nullptr);
      const int depth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
      if (depth >= 24) {
        ReleaseDC(nullptr, screen);
        TskBitmap buffer;
        buffer.SetSize(width, height);
        draw(buffer.DC());
        GdiFlush();
        BitBlt(target, 0, 0, width, height, buffer.DC(), 0, 0, SRCCOPY);
        return;
      }
      const TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen, width, height));
      HDC dc = CreateCompatibleDC(screen);
      ReleaseDC(nullptr, screen);
      const TScopeExit freeDc([dc] { DeleteDC(dc); });
      const TSelectObject selected(dc, bitmap.Get());
      draw(dc);
      BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
      return;
    }
  }
}

int CutCount(TSkBevelCut inner, TSkBevelCut outer) { return (inner != kbvNone ? 1 : 0) + (outer != kbvNone ? 1 : 0); }

}  // namespace

// ---- font options -------------------------------------------------------------

void TSkFontOptions::ApplyTo(TFont& font) const {
  TFontStyles style = font.Style();
  if (bold_) style |= fsBold;
  if (italic_) style |= fsItalic;
  if (underline_) style |= fsUnderline;
  if (strikeOut_) style |= fsStrikeOut;
  font.SetStyle(style);
  if (sizeDelta_ != 0) font.SetSize(font.Size() + sizeDelta_);
  if (!fontName_.empty()) font.SetName(fontName_);
  if (fontColor_ != kSkNoFontColor) font.SetColor(fontColor_);
}

void TSkFontOptions::Assign(const TSkFontOptions& source) {
  bold_ = source.bold_;
  italic_ = source.italic_;
  underline_ = source.underline_;
  strikeOut_ = source.strikeOut_;
  sizeDelta_ = source.sizeDelta_;
  fontName_ = source.fontName_;
  fontColor_ = source.fontColor_;
  if (OnChange) OnChange();
}

// ---- shared buffer ------------------------------------------------------------

TskBitmap& SharedBuffer() {
  static TskBitmap buffer;
  if (buffer.IsEmpty()) {
    buffer.SetSize(GetSystemMetrics(SM_CXSCREEN) + 500, GetSystemMetrics(SM_CYSCREEN) + 500);
  }
  return buffer;
}

// ---- TSkThemedControl -------------------------------------------------------------

template <class TBase>
TSkThemedControl<TBase>::TSkThemedControl(TComponent* owner) : TBase(owner) {
  this->SetControlStyle(this->ControlStyle() | csOpaque);
  this->SetColor(clBtnFace);
  this->SetBounds(0, 0, 100, 30);
  EnsureBackgroundPainter();
  ThemeManager().RegisterClient(this);
}

template <class TBase>
TSkThemedControl<TBase>::~TSkThemedControl() {
  UnregisterThemeClient(this);
}

template <class TBase>
void TSkThemedControl<TBase>::SetThemeObject(const std::string& value) {
  if (themeObject_ == value) return;
  themeObject_ = value;
  this->Invalidate();
}

template <class TBase>
void TSkThemedControl<TBase>::SetThemeLink(TskCustomThemeLink* link) {
  if (themeLink_ == link) return;
  themeLink_ = link;
  this->Invalidate();
}

template <class TBase>
void TSkThemedControl<TBase>::Notification(TComponent* component, TOperation operation) {
  TBase::Notification(component, operation);
  if (operation == opRemove && component == themeLink_) {
    themeLink_ = nullptr;
    this->Invalidate();
  }
}

template <class TBase>
void TSkThemedControl<TBase>::Paint() {
  // A windowed control's shared buffer starts in the key colour, so that
  // what its frame and content leave unpainted is told apart.
  constexpr bool windowed = std::is_base_of_v<TWinControl, TBase>;
  PaintBuffered(performance_, this->Canvas().Handle(), this->Width(), this->Height(), windowed,
                [this](HDC dc) { PaintInto(dc); });
}

template <class TBase>
void TSkThemedControl<TBase>::MouseEnter() {
  mouseInControl_ = true;
  if (OnMouseEnter) OnMouseEnter(this);
  this->Invalidate();
}

template <class TBase>
void TSkThemedControl<TBase>::MouseLeave() {
  mouseInControl_ = false;
  if (OnMouseLeave) OnMouseLeave(this);
  this->Invalidate();
}

template <class TBase>
void TSkThemedControl<TBase>::WndProc(TMessage& message) {
  switch (message.Msg) {
    case SKM_THEMECHANGE:
      if (ReactsTo(message.WParam)) ThemeChanged(static_cast<TskThemeChange>(message.WParam));
      return;
    case CM_MOUSEENTER:
      if (message.LParam == 0 || message.LParam == reinterpret_cast<LPARAM>(this)) MouseEnter();
      break;
    case CM_MOUSELEAVE:
      if (message.LParam == 0 || message.LParam == reinterpret_cast<LPARAM>(this)) MouseLeave();
      break;
    default:
      break;
  }
  TBase::WndProc(message);
}

template class TSkThemedControl<TGraphicControl>;
template class TSkThemedControl<TCustomControl>;

// ---- TSkGraphicControl ----------------------------------------------------------

void TSkGraphicControl::PaintInto(HDC dc) {
  PaintFont().Assign(Font());
  TSkBorrowedCanvas canvas(dc);
  canvas.Font().Assign(PaintFont());
  canvas.Brush().SetColor(Color());
  PaintContent(canvas);
}

// ---- TSkControl -------------------------------------------------------------------

// The content rectangle moved: aligned children follow it.
void TSkControl::FrameChanged() {
  Realign();
  Invalidate();
}

void TSkControl::SetBorderWidth(int value) {
  value = std::max(value, 0);
  if (borderWidth_ == value) return;
  borderWidth_ = value;
  FrameChanged();
}

void TSkControl::SetBevelSides(TSkBevelSides value) {
  value &= kbsAll;
  if (bevelSides_ == value) return;
  bevelSides_ = value;
  FrameChanged();
}

void TSkControl::SetBevelInner(TSkBevelCut value) {
  bevelKind_ = kbkNone;
  if (bevelInner_ == value) return;
  bevelInner_ = value;
  FrameChanged();
}

void TSkControl::SetBevelOuter(TSkBevelCut value) {
  bevelKind_ = kbkNone;
  if (bevelOuter_ == value) return;
  bevelOuter_ = value;
  FrameChanged();
}

void TSkControl::SetBevelKind(TSkBevelKind value) {
  bevelKind_ = value;
  switch (value) {
    case kbkSingle:
    case kbkTile:
    case kbkSoft:
      bevelInner_ = bevelOuter_ = kbvLowered;
      break;
    case kbkBorder:
      bevelInner_ = bevelOuter_ = kbvBorder;
      break;
    case kbkFlat:
      bevelInner_ = bevelOuter_ = kbvFlatBorder;
      break;
    case kbkNone:
      break;
  }
  FrameChanged();
}

void TSkControl::SetBevelWidth(int value) {
  value = std::max(value, 0);
  if (bevelWidth_ == value) return;
  bevelWidth_ = value;
  FrameChanged();
}

void TSkControl::SetEditFrameStyle(bool value) {
  if (editFrameStyle_ == value) return;
  editFrameStyle_ = value;
  Invalidate();
}

TRect TSkControl::ContentRect() const {
  TRect rect{0, 0, Width(), Height()};
  rect = Inset(rect, TRect{borderWidth_, borderWidth_, borderWidth_, borderWidth_});
  const int bevel = bevelWidth_ * CutCount(bevelInner_, bevelOuter_);
  if (bevelSides_ & kbsLeft) rect.Left += bevel;
  if (bevelSides_ & kbsTop) rect.Top += bevel;
  if (bevelSides_ & kbsRight) rect.Right -= bevel;
  if (bevelSides_ & kbsBottom) rect.Bottom -= bevel;
  const TSize bars = ScrollBarRoom();
  rect.Right -= bars.Width;
  rect.Bottom -= bars.Height;
  if (rect.Right < rect.Left) rect.Right = rect.Left;
  if (rect.Bottom < rect.Top) rect.Bottom = rect.Top;
  return rect;
}

void TSkControl::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.Style &= ~static_cast<DWORD>(WS_HSCROLL | WS_VSCROLL);
}

void TSkControl::BoundsChanged(bool sizeChanged) {
  TCustomControl::BoundsChanged(sizeChanged);
  if (sizeChanged) Invalidate();
}

void TSkControl::PaintFrame(TCanvas& canvas) {
  HDC dc = canvas.Handle();
  const TRect bounds{0, 0, Width(), Height()};
  const TRect content = ContentRect();
  const TSize bars = ScrollBarRoom();
  const bool styled = VisualStylesActive() && editFrameStyle_;

  if (bars.Width > 0 && bars.Height > 0) {
    const TRect corner{content.Right, content.Bottom, content.Right + bars.Width, content.Bottom + bars.Height};
    if (!styled || !DrawVisualStylePart(dc, L"Edit", EP_EDITTEXT, ETS_NORMAL, corner)) {
      FillRectColor(dc, corner, Color());
    }
  }
  // The frame ends where the bars begin: they take part of the content's
  // side of the frame, not of the frame itself.
  TRect inner = content;
  inner.Right += bars.Width;
  inner.Bottom += bars.Height;
  if (inner == bounds) return;

  if (styled) {
    int state = ETS_NORMAL;
    if (!Enabled()) {
      state = ETS_DISABLED;
    } else if (focused_) {
      state = ETS_FOCUSED;
    } else if (MouseInControl()) {
      state = ETS_HOT;
    }
    const TSavedDC saved(dc);
    ExcludeClipRect(dc, inner.Left, inner.Top, inner.Right, inner.Bottom);
    if (DrawVisualStylePart(dc, L"Edit", EP_EDITTEXT, state, bounds)) return;
  }

  TRect ring = bounds;
  auto drawCut = [&](TSkBevelCut cut, bool outer) {
    if (cut == kbvNone) return;
    const TSkBevelColors colours = outer ? BevelOuterColors(cut) : BevelInnerColors(cut);
    for (int i = 0; i < bevelWidth_; ++i) {
      DrawBevelRing(dc, ring, colours.TopLeft, colours.BottomRight, bevelSides_);
      if (bevelSides_ & kbsLeft) ++ring.Left;
      if (bevelSides_ & kbsTop) ++ring.Top;
      if (bevelSides_ & kbsRight) --ring.Right;
      if (bevelSides_ & kbsBottom) --ring.Bottom;
    }
  };
  if (bevelWidth_ > 0) {
    drawCut(bevelOuter_, true);
    drawCut(bevelInner_, false);
  }
  for (int i = 0; i < borderWidth_; ++i) {
    DrawBevelRing(dc, ring, Color(), Color(), kbsAll);
    ring = Inset(ring, TRect{1, 1, 1, 1});
  }
}

void TSkControl::PaintContent(TCanvas& canvas) {
  canvas.WithHandle([&](HDC dc) { FillRectColor(dc, ContentRect(), Color()); });
}

void TSkControl::PaintInto(HDC dc) {
  PaintFont().Assign(Font());
  TSkBorrowedCanvas canvas(dc);
  canvas.Font().Assign(PaintFont());
  canvas.Brush().SetColor(Color());
  const TRect content = ContentRect();
  {
    const TSavedDC saved(dc);
    ExcludeClipRect(dc, content.Left, content.Top, content.Right, content.Bottom);
    PaintFrame(canvas);
  }
  const TSavedDC saved(dc);
  const TSize bars = ScrollBarRoom();
  if (bars.Width > 0 && bars.Height > 0) IntersectClipRect(dc, content.Left, content.Top, content.Right, content.Bottom);
  PaintContent(canvas);
}

void TSkControl::FocusChanged(bool focused) {
  focused_ = focused;
  Invalidate();
}

void TSkControl::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_ERASEBKGND:
      // Only the library's own request (second parameter set) paints; the
      // platform's erase would only flicker under the buffered paint.
      if (message.LParam != 0 && message.WParam != 0) PaintInto(reinterpret_cast<HDC>(message.WParam));
      message.Result = 1;
      return;
    case WM_SETFOCUS:
      TCustomControl::WndProc(message);
      FocusChanged(true);
      return;
    case WM_KILLFOCUS:
      TCustomControl::WndProc(message);
      FocusChanged(false);
      return;
    default:
      break;
  }
  // Theme notifications and the pointer's entering and leaving.
  TSkThemedControl::WndProc(message);
}

// ---- drawing helpers --------------------------------------------------------------

TSkBevelColors BevelOuterColors(TSkBevelCut cut) {
  switch (cut) {
    case kbvLowered:
      return {clBtnShadow, clBtnHighlight};
    case kbvRaised:
      return {clBtnHighlight, cl3DDkShadow};
    case kbvSpace:
      return {clBtnFace, clBtnFace};
    case kbvBorder:
      return {cl3DDkShadow, cl3DDkShadow};
    case kbvFlatBorder:
      return {clBtnShadow, clBtnShadow};
    case kbvNone:
      break;
  }
  return {clBtnFace, clBtnFace};
}

TSkBevelColors BevelInnerColors(TSkBevelCut cut) {
  switch (cut) {
    case kbvLowered:
      return {cl3DDkShadow, clBtnFace};
    case kbvRaised:
      return {clBtnShadow, clBtnShadow};
    case kbvSpace:
      return {clBtnFace, clBtnFace};
    case kbvBorder:
      return {clWindow, clWindow};
    case kbvFlatBorder:
      return {clBtnFace, clBtnFace};
    case kbvNone:
      break;
  }
  return {clBtnFace, clBtnFace};
}

void DrawBevelRing(HDC dc, const TRect& rect, TColor topLeft, TColor bottomRight, TSkBevelSides sides) {
  if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
  if (sides & kbsLeft) FillRectColor(dc, TRect{rect.Left, rect.Top, rect.Left + 1, rect.Bottom}, topLeft);
  if (sides & kbsTop) FillRectColor(dc, TRect{rect.Left, rect.Top, rect.Right, rect.Top + 1}, topLeft);
  if (sides & kbsRight) FillRectColor(dc, TRect{rect.Right - 1, rect.Top, rect.Right, rect.Bottom}, bottomRight);
  if (sides & kbsBottom) FillRectColor(dc, TRect{rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom}, bottomRight);
}

bool DrawVisualStylePart(HDC dc, const wchar_t* className, int part, int state, const TRect& rect,
                         const TRect* clip) {
  if (!VisualStylesActive()) return false;
  const TskVisualStyleFunctions styles = VisualStyles();
  if (styles.OpenThemeData == nullptr || styles.DrawThemeBackground == nullptr || styles.CloseThemeData == nullptr) {
    return false;
  }
  HTHEME theme = styles.OpenThemeData(nullptr, className);
  if (theme == nullptr) return false;
  const TScopeExit close([&] { styles.CloseThemeData(theme); });
  const RECT r{rect.Left, rect.Top, rect.Right, rect.Bottom};
  RECT c{};
  if (clip != nullptr) c = RECT{clip->Left, clip->Top, clip->Right, clip->Bottom};
  return SUCCEEDED(styles.DrawThemeBackground(theme, dc, part, state, &r, clip != nullptr ? &c : nullptr));
}

void DrawClassicText(TCanvas& canvas, const std::wstring& text, TRect rect, UINT format, bool enabled) {
  canvas.Brush().SetStyle(bsClear);
  if (enabled) {
    canvas.DrawText(text, rect, format);
    return;
  }
  const TColor colour = canvas.Font().Color();
  TRect shifted = OffsetRect(rect, 1, 1);
  canvas.Font().SetColor(clBtnHighlight);
  canvas.DrawText(text, shifted, format);
  canvas.Font().SetColor(clBtnShadow);
  canvas.DrawText(text, rect, format);
  canvas.Font().SetColor(colour);
}

TSize CaptionExtent(TCanvas& canvas, const std::wstring& text) {
  if (text.empty()) return TSize{0, 0};
  return TSize{canvas.TextWidth(text), canvas.TextHeight(L"Pq")};
}

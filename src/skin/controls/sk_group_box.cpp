#include "skin/controls/sk_group_box.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <utility>

#include "runtime/scope_exit.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"

namespace {

// The size of text in font, measured on a memory context so that layout
// can ask outside of painting.
TSize MeasureText(const TFont& font, const std::wstring& text) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return TSize{0, 0};
  const TScopeExit freeDc([dc] { DeleteDC(dc); });
  TSkBorrowedCanvas canvas(dc);
  canvas.Font().Assign(font);
  return canvas.TextExtent(text);
}

}  // namespace

// ---- TSkGroupBox ---------------------------------------------------------------

TSkGroupBox::TSkGroupBox(TComponent* owner) : TSkControl(owner) {
  SetBounds(Left(), Top(), 185, 105);
  SetColor(clBtnFace);
}

void TSkGroupBox::SetCaptionMargin(int value) {
  if (captionMargin_ == value) return;
  captionMargin_ = value;
  PlaceCheckBox();
  Invalidate();
}

void TSkGroupBox::SetUseCheckBox(bool value) {
  if (value == UseCheckBox()) return;
  if (value) {
    checkBox_ = CreateComponent<TSkCheckBox>(this);
    checkBox_->SetCaption(Caption());
    checkBox_->SetChecked(checked_);
    checkBox_->SetEnabled(Enabled());
    checkBox_->SetParent(this);
    checkBox_->OnClick = [this](TObject*) { SetChecked(checkBox_->Checked()); };
    PlaceCheckBox();
    ApplyChecked();
  } else {
    delete std::exchange(checkBox_, nullptr);
    for (int i = 0; i < ControlCount(); ++i) Controls(i)->SetEnabled(Enabled());
  }
  Realign();
  Invalidate();
}

void TSkGroupBox::SetChecked(bool value) {
  if (checked_ == value) return;
  checked_ = value;
  if (checkBox_ == nullptr) return;
  // The check box's own click arrives here with the value it already has.
  checkBox_->SetChecked(value);
  ApplyChecked();
}

void TSkGroupBox::ApplyChecked() {
  for (int i = 0; i < ControlCount(); ++i) {
    if (Controls(i) != checkBox_) Controls(i)->SetEnabled(checked_);
  }
}

void TSkGroupBox::PlaceCheckBox() {
  if (checkBox_ == nullptr) return;
  const TFont& font = DefinesCheckBoxObject(ckCheckBox, checkBox_->ThemeObject(), checkBox_->ThemeLink())
                          ? Theme()->Fonts().FontFor(fiCheckBoxTextNormal, kDefaultObjectName)
                          : checkBox_->Font();
  const TSize text = MeasureText(font, Caption().empty() ? std::wstring(L"Tg") : Caption());
  const int box = static_cast<int>(RectWidth(checkBox_->BoxRect()));
  // Two pixels more for the focus rectangle around the caption.
  const int width = box + checkBox_->Spacing() + (Caption().empty() ? 0 : text.Width) + 2;
  const int height = std::max(text.Height, static_cast<int>(RectHeight(checkBox_->BoxRect())));
  checkBox_->SetBounds(captionMargin_, 0, width, height);
}

void TSkGroupBox::Notification(TComponent* component, TOperation operation) {
  TSkControl::Notification(component, operation);
  if (operation == opRemove && component == checkBox_) checkBox_ = nullptr;
}

void TSkGroupBox::SetTransparent(bool value) {
  if (transparent_ == value) return;
  transparent_ = value;
  Invalidate();
}

void TSkGroupBox::SetEnabled(bool enabled) {
  TSkControl::SetEnabled(enabled);
  if (checkBox_ != nullptr) {
    checkBox_->SetEnabled(enabled);
    ApplyChecked();
  } else {
    // Always given on, even when the box's own value did not change: a
    // child disabled on its own follows the box again.
    for (int i = 0; i < ControlCount(); ++i) Controls(i)->SetEnabled(enabled);
  }
  Invalidate();
}

bool TSkGroupBox::Themed() const { return DefinesGroupBoxObject(0, ThemeObject(), ThemeLink()); }

const TFont& TSkGroupBox::CaptionFont() const {
  if (Themed()) {
    return Theme()->Fonts().FontFor(Enabled() ? fiGroupBoxTextNormal : fiGroupBoxTextDisabled, ThemeObject());
  }
  return Font();
}

TSize TSkGroupBox::CaptionSize() const {
  if (checkBox_ != nullptr) return TSize{checkBox_->Width(), checkBox_->Height()};
  const TFont& font = CaptionFont();
  if (Caption().empty()) return TSize{0, MeasureText(font, L"Tg").Height};
  return MeasureText(font, Caption());
}

TRect TSkGroupBox::CaptionRect() const {
  if (checkBox_ != nullptr) return checkBox_->BoundsRect();
  if (Caption().empty()) return TRect{0, 0, 0, 0};
  const TSize size = CaptionSize();
  return TRect{captionMargin_, 0, captionMargin_ + size.Width, size.Height};
}

TRect TSkGroupBox::FrameRect() const {
  const int captionHeight = CaptionSize().Height;
  return TRect{3, captionHeight / 2 + 1, Width() - 2, Height() - 2};
}

TRect TSkGroupBox::ContentRect() const {
  const int captionHeight = CaptionSize().Height;
  TRect rect{12, captionHeight, Width() - 12, Height() - 8};
  // A box smaller than its margins has an empty client area, not an
  // inverted one.
  rect.Right = std::max(rect.Right, rect.Left);
  rect.Bottom = std::max(rect.Bottom, rect.Top);
  return rect;
}

void TSkGroupBox::ThemeChanged(TskThemeChange code) {
  // The caption's font, and with it the client area, may have changed.
  PlaceCheckBox();
  Realign();
  TSkControl::ThemeChanged(code);
}

void TSkGroupBox::WndProc(TMessage& message) {
  TSkControl::WndProc(message);
  switch (message.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
    case CM_ENABLEDCHANGED:
      // The caption's size (its text, its font, or the theme's font for the
      // enabled state) sets the client area.
      if (checkBox_ != nullptr) {
        checkBox_->SetCaption(Caption());
        PlaceCheckBox();
      }
      Realign();
      break;
    default:
      break;
  }
}

void TSkGroupBox::PaintContent(TCanvas& canvas) {
  const TRect bounds{0, 0, Width(), Height()};
  const TRect frame = FrameRect();
  const TRect caption = CaptionRect();
  const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  const bool themed = Themed();
  TskTheme* theme = themed ? Theme() : nullptr;

  canvas.WithHandle([&](HDC dc) {
    if (transparent_ || (themed && theme->GroupBoxTransparent(0, ThemeObject()))) {
      PaintParentBackground(this, dc);
    } else {
      FillRectColor(dc, bounds, Color());
    }
  });

  // With a caption check box the group counts as enabled; the check box
  // draws the caption.
  const bool enabled = Enabled() || checkBox_ != nullptr;
  const bool ownCaption = !Caption().empty() && checkBox_ == nullptr;
  if (themed) {
    const uint8_t state = enabled ? 0 : 1;
    theme->PaintGroupBox(0, canvas, kDefaultObjectName, TskGroupBoxRecord{frame, caption, state});
    if (!ownCaption) return;
    canvas.Font().Assign(CaptionFont());
    theme->PaintGroupBoxText(0, canvas, ThemeObject(), MakeTextInfo(caption, Caption(), format),
                             MakeStateRecord(caption, state));
    return;
  }

  bool styled = false;
  canvas.WithHandle([&](HDC dc) {
    const TSavedDC saved(dc);
    if (!IsRectEmpty(caption)) ExcludeClipRect(dc, caption.Left, caption.Top, caption.Right, caption.Bottom);
    styled = DrawVisualStylePart(dc, L"Button", BP_GROUPBOX, enabled ? GBS_NORMAL : GBS_DISABLED, frame);
    if (styled) return;
    // Etched: a highlight ring one pixel down and right, a shadow ring over
    // it, the caption's place left open.
    DrawBevelRing(dc, TRect{frame.Left + 1, frame.Top + 1, frame.Right, frame.Bottom}, clBtnHighlight,
                  clBtnHighlight, kbsAll);
    DrawBevelRing(dc, TRect{frame.Left, frame.Top, frame.Right - 1, frame.Bottom - 1}, clBtnShadow, clBtnShadow,
                  kbsAll);
  });
  if (!ownCaption) return;
  if (styled) {
    const TskVisualStyleFunctions styles = VisualStyles();
    bool drawn = false;
    if (styles.OpenThemeData != nullptr && styles.DrawThemeText != nullptr && styles.CloseThemeData != nullptr) {
      canvas.WithHandle([&](HDC dc) {
        HTHEME data = styles.OpenThemeData(nullptr, L"Button");
        if (data == nullptr) return;
        const TScopeExit close([&] { styles.CloseThemeData(data); });
        const RECT r{caption.Left, caption.Top, caption.Right, caption.Bottom};
        drawn = SUCCEEDED(styles.DrawThemeText(data, dc, BP_GROUPBOX, enabled ? GBS_NORMAL : GBS_DISABLED,
                                               Caption().c_str(), static_cast<int>(Caption().size()), format, 0,
                                               &r));
      });
    }
    if (drawn) return;
  }
  DrawClassicText(canvas, Caption(), caption, format, enabled);
}

// ---- TSkPanel ---------------------------------------------------------------------

TSkPanel::TSkPanel(TComponent* owner) : TSkControl(owner) {
  SetBounds(Left(), Top(), 185, 41);
  SetColor(clBtnFace);
  SetBevelOuter(kbvRaised);
  SetBevelInner(kbvNone);
  SetBevelWidth(1);
}

void TSkPanel::SetAlignment(TAlignment value) {
  if (alignment_ == value) return;
  alignment_ = value;
  Invalidate();
}

bool TSkPanel::Themed() const { return DefinesPanelObject(PanelKind(), ThemeObject(), ThemeLink()); }

uint8_t TSkPanel::PanelKind() const { return BevelOuter() == kbvLowered ? pkSunken : pkRaised; }

TRect TSkPanel::ContentRect() const {
  if (Themed()) return Theme()->PanelContentRect(PanelKind(), TRect{0, 0, Width(), Height()}, ThemeObject());
  return TSkControl::ContentRect();
}

const TFont& TSkPanel::CaptionFont() const {
  if (Themed()) {
    return Theme()->Fonts().FontFor(Enabled() ? fiPanelTextNormal : fiPanelTextDisabled, ThemeObject());
  }
  return Font();
}

TRect TSkPanel::CaptionRect() const {
  const TRect content = ContentRect();
  const int height = MeasureText(CaptionFont(), L"W").Height;
  const int top = content.Top + (static_cast<int>(RectHeight(content)) - height) / 2;
  return TRect{content.Left, top, content.Right, top + height};
}

UINT TSkPanel::TextFormat() const {
  UINT format = DT_TOP | DT_SINGLELINE;
  switch (alignment_) {
    case taLeftJustify: format |= DT_LEFT; break;
    case taRightJustify: format |= DT_RIGHT; break;
    case taCenter: format |= DT_CENTER; break;
  }
  return format;
}

void TSkPanel::ThemeChanged(TskThemeChange code) {
  // The content rectangle is the theme's: the children are placed anew.
  Realign();
  TSkControl::ThemeChanged(code);
}

void TSkPanel::PaintFrame(TCanvas& canvas) {
  // A themed panel paints its whole area itself.
  if (!Themed()) TSkControl::PaintFrame(canvas);
}

void TSkPanel::PaintContent(TCanvas& canvas) {
  const TRect bounds{0, 0, Width(), Height()};
  if (Themed()) {
    TskTheme* theme = Theme();
    const uint8_t kind = PanelKind();
    canvas.WithHandle([&](HDC dc) {
      if (theme->PanelTransparent(kind, ThemeObject())) PaintParentBackground(this, dc);
    });
    const TskStateRecord record = MakeStateRecord(bounds, 0);
    theme->PaintPanel(kind, canvas, ThemeObject(), record);
    if (Caption().empty()) return;
    canvas.Font().Assign(CaptionFont());
    theme->PaintPanelText(kind, canvas, ThemeObject(), MakeTextInfo(CaptionRect(), Caption(), TextFormat()),
                          record);
    return;
  }
  TSkControl::PaintContent(canvas);
  if (!Caption().empty()) DrawClassicText(canvas, Caption(), CaptionRect(), TextFormat(), Enabled());
}

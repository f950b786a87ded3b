#include "skin/controls/sk_label.h"

#include <cwctype>

#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"

TSkLabel::TSkLabel(TComponent* owner) : TSkGraphicControl(owner) {
  SetControlStyle(ControlStyle() & ~csOpaque);
  SetBounds(0, 0, 65, 17);
  AdjustBounds();
}

UINT TSkLabel::TextFlags() const { return LabelTextFlags(alignment_, wordWrap_, showAccelChar_); }

void TSkLabel::SetAlignment(TAlignment value) {
  if (alignment_ == value) return;
  alignment_ = value;
  Invalidate();
}

void TSkLabel::SetLayout(TSkTextLayout value) {
  if (layout_ == value) return;
  layout_ = value;
  Invalidate();
}

void TSkLabel::SetAutoSize(bool value) {
  if (autoSize_ == value) return;
  autoSize_ = value;
  AdjustBounds();
}

void TSkLabel::SetWordWrap(bool value) {
  if (wordWrap_ == value) return;
  wordWrap_ = value;
  AdjustBounds();
  Invalidate();
}

void TSkLabel::SetShowAccelChar(bool value) {
  if (showAccelChar_ == value) return;
  showAccelChar_ = value;
  AdjustBounds();
  Invalidate();
}

void TSkLabel::SetTransparent(bool value) {
  if (transparent_ == value) return;
  transparent_ = value;
  SetControlStyle(value ? (ControlStyle() & ~csOpaque) : (ControlStyle() | csOpaque));
  Invalidate();
}

void TSkLabel::SetFocusControl(TWinControl* control) { focusControl_ = control; }

void TSkLabel::Notification(TComponent* component, TOperation operation) {
  TSkGraphicControl::Notification(component, operation);
  if (operation == opRemove && component == focusControl_) focusControl_ = nullptr;
}

bool TSkLabel::ThemeDefinesLabel() const { return DefinesLabelObject(0, ThemeObject(), ThemeLink()); }

void TSkLabel::ChooseFont(TFont& font) const {
  font.Assign(Font());
  if (!ThemeDefinesLabel()) return;
  if (TskTheme* theme = Theme()) {
    font.Assign(theme->Fonts().FontFor(Enabled() ? fiStaticTextNormal : fiStaticTextDisabled, ThemeObject()));
  }
}

void TSkLabel::AdjustBounds() {
  if (!autoSize_ || IsLoading() || IsDestroying()) return;
  std::wstring text = Caption();
  // An empty caption (or a lone accelerator mark, which shows nothing)
  // still takes the height of a line.
  if (text.empty() || (showAccelChar_ && text == L"&")) text = L" ";
  TFont font;
  ChooseFont(font);
  const TSize size = MeasureLabelText(text, font.Handle(), TextFlags(), Width());
  int left = Left();
  // A right-aligned label grows and shrinks to the left.
  if (alignment_ == taRightJustify) left += Width() - size.Width;
  SetBounds(left, Top(), size.Width, size.Height);
}

void TSkLabel::PaintContent(TCanvas& canvas) {
  const TRect bounds{0, 0, Width(), Height()};
  const bool themed = ThemeDefinesLabel();
  TskTheme* theme = themed ? Theme() : nullptr;
  const bool seeThrough = transparent_ || (theme != nullptr && theme->LabelTransparent(0, ThemeObject()));
  canvas.WithHandle([&](HDC dc) {
    if (seeThrough) {
      PaintParentBackground(this, dc);
    } else {
      FillRectColor(dc, bounds, Color());
    }
  });

  ChooseFont(canvas.Font());
  const std::wstring& text = Caption();
  const UINT flags = TextFlags();
  // Layout moves the text box inside the label; the box is measured the
  // way the text will be drawn.
  TRect rect = bounds;
  if (layout_ != tlTop) {
    TRect measured = bounds;
    canvas.DrawText(text.empty() ? L" " : text, measured, flags | DT_CALCRECT);
    const int spare = bounds.Bottom - measured.Bottom;
    rect.Top += layout_ == tlCenter ? spare / 2 : spare;
  }

  if (theme != nullptr) {
    const TskTextInfo info = MakeTextInfo(rect, text, flags);
    theme->PaintLabelText(Enabled() ? 0 : 2, canvas, ThemeObject(), info);
    return;
  }
  DrawClassicText(canvas, text, rect, flags, Enabled());
}

void TSkLabel::ThemeChanged(TskThemeChange code) {
  // The theme's font may have another size: take it again on a new or a
  // removed theme; a recolouring only repaints.
  if (code != tcColors) AdjustBounds();
  Invalidate();
}

bool TSkLabel::IsAccelerator(wchar_t key) const {
  const std::wstring& text = Caption();
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != L'&') continue;
    if (text[i + 1] == L'&') {
      ++i;  // "&&" is a literal ampersand
      continue;
    }
    return std::towupper(text[i + 1]) == std::towupper(key);
  }
  return false;
}

void TSkLabel::WndProc(TMessage& message) {
  if (message.Msg == CM_DIALOGCHAR) {
    const auto key = static_cast<wchar_t>(message.WParam);
    if (showAccelChar_ && Enabled() && focusControl_ != nullptr && IsAccelerator(key) && focusControl_->CanFocus()) {
      focusControl_->SetFocus();
      message.Result = 1;
      return;
    }
  }
  TSkGraphicControl::WndProc(message);
  if (message.Msg == CM_TEXTCHANGED || message.Msg == CM_FONTCHANGED) AdjustBounds();
}

void TSkLabel::Loaded() {
  TSkGraphicControl::Loaded();
  AdjustBounds();
}

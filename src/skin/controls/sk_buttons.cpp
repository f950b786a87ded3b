#include "skin/controls/sk_buttons.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cmath>

#include "forms/forms.h"
#include "graphics/sk_utils.h"

namespace {

constexpr TSize kClassicCheckBoxSize{13, 13};

int ButtonFontIndex(uint8_t state) {
  switch (state) {
    case btsDisabled: return fiButtonTextDisabled;
    case btsPressed: return fiButtonTextPressed;
    case btsHot: return fiButtonTextHot;
    case btsFocused: return fiButtonTextFocused;
    default: return fiButtonTextNormal;
  }
}

// The push button's visual-style state for a TskButtonState.
int ButtonVisualState(uint8_t state) {
  switch (state) {
    case btsDisabled: return PBS_DISABLED;
    case btsPressed: return PBS_PRESSED;
    case btsHot: return PBS_HOT;
    case btsFocused:
    case btsDefault: return PBS_DEFAULTED;
    default: return PBS_NORMAL;
  }
}

// Text drawn directly in rect, vertically centred: the platform centres only
// single lines, so wrapped text is measured and its box centred first.
void DrawCentredText(TCanvas& canvas, const std::wstring& text, const TRect& rect, UINT format, bool enabled) {
  if ((format & DT_SINGLELINE) != 0 || text.empty()) {
    DrawClassicText(canvas, text, rect, format, enabled);
    return;
  }
  const UINT topFormat = format & ~static_cast<UINT>(DT_VCENTER);
  TRect measured = rect;
  canvas.DrawText(text, measured, topFormat | DT_CALCRECT);
  const int height = static_cast<int>(RectHeight(measured));
  const int top = rect.Top + (static_cast<int>(RectHeight(rect)) - height) / 2;
  DrawClassicText(canvas, text, TRect{rect.Left, top, rect.Right, top + height}, topFormat, enabled);
}

// One line, or broken into words that fit the width.
UINT LineFormat(bool wordWrap) { return wordWrap ? DT_WORDBREAK : DT_SINGLELINE; }

}  // namespace

// ---- TSkPressControl ---------------------------------------------------------------

TSkPressControl::TSkPressControl(TComponent* owner) : TSkControl(owner) {
  // The press is tracked here: the framework's own click (any release
  // inside after a press) would not know about Space or the pressed look.
  SetControlStyle((ControlStyle() | csCaptureMouse) & ~csClickEvents);
  SetTabStop(true);
}

void TSkPressControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TSkControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !Enabled()) return;
  // A pressed button takes the focus, as the platform's buttons do.
  if (!Focused() && CanFocus()) SetFocus();
  mouseHeld_ = true;
  mouseInside_ = Inside(x, y);
  Invalidate();
}

void TSkPressControl::MouseMove(TShiftState shift, int x, int y) {
  TSkControl::MouseMove(shift, x, y);
  if (!mouseHeld_) return;
  const bool inside = Inside(x, y);
  if (inside == mouseInside_) return;
  mouseInside_ = inside;
  Invalidate();
}

void TSkPressControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && mouseHeld_) {
    mouseHeld_ = false;
    mouseInside_ = false;
    Invalidate();
    if (Inside(x, y) && Enabled()) PressCompleted();
  }
  TSkControl::MouseUp(button, shift, x, y);
}

void TSkPressControl::KeyDown(WORD& key, TShiftState shift) {
  TSkControl::KeyDown(key, shift);
  if (key != VK_SPACE || !Enabled()) return;
  // Auto-repeat sends further key-downs; the press is already on.
  if (!spaceHeld_) {
    spaceHeld_ = true;
    Invalidate();
  }
  key = 0;
}

void TSkPressControl::KeyUp(WORD& key, TShiftState shift) {
  TSkControl::KeyUp(key, shift);
  if (key != VK_SPACE || !spaceHeld_) return;
  spaceHeld_ = false;
  Invalidate();
  key = 0;
  if (Enabled()) PressCompleted();
}

void TSkPressControl::CancelPress() {
  if (!mouseHeld_ && !spaceHeld_) return;
  mouseHeld_ = false;
  mouseInside_ = false;
  spaceHeld_ = false;
  Invalidate();
}

void TSkPressControl::FocusChanged(bool focused) {
  // Space released after the focus went elsewhere is no press of this one.
  if (!focused) spaceHeld_ = false;
  TSkControl::FocusChanged(focused);
}

void TSkPressControl::WndProc(TMessage& message) {
  switch (message.Msg) {
    case CM_ENABLEDCHANGED:
      CancelPress();
      break;
    case WM_CAPTURECHANGED:
      // Another window took the mouse: the release will not come here. (Our
      // own release of the capture, before the button-up is handled, names
      // no window.)
      if (message.LParam != 0 && reinterpret_cast<HWND>(message.LParam) != Handle()) {
        mouseHeld_ = false;
        mouseInside_ = false;
        Invalidate();
      }
      break;
    default:
      break;
  }
  TSkControl::WndProc(message);
}

// ---- TSkButton ---------------------------------------------------------------------------

TSkButton::TSkButton(TComponent* owner) : TSkPressControl(owner) {
  SetBounds(Left(), Top(), 75, 25);
  SetPerformance(qvpDoubleBuffer);
  SetParentFont(true);
  fontOptions_.OnChange = [this] { Invalidate(); };
}

void TSkButton::SetAlignment(TAlignment value) {
  if (alignment_ == value) return;
  alignment_ = value;
  Invalidate();
}

void TSkButton::SetGlyph(const TBitmap& value) {
  glyph_.Assign(value);
  if (!glyph_.Empty() && glyph_.Height() > 0 && glyph_.Width() % glyph_.Height() == 0) {
    const int count = glyph_.Width() / glyph_.Height();
    numGlyphs_ = count < 5 ? std::max(count, 1) : 1;
  }
  Invalidate();
}

void TSkButton::SetNumGlyphs(int value) {
  value = std::clamp(value, 1, 4);
  if (numGlyphs_ == value) return;
  numGlyphs_ = value;
  Invalidate();
}

void TSkButton::SetLayout(TSkButtonLayout value) {
  if (layout_ == value) return;
  layout_ = value;
  Invalidate();
}

void TSkButton::SetMargin(int value) {
  if (margin_ == value) return;
  margin_ = value;
  Invalidate();
}

void TSkButton::SetSpacing(int value) {
  if (spacing_ == value) return;
  spacing_ = value;
  Invalidate();
}

void TSkButton::SetImages(TImageList* value) {
  if (images_ == value) return;
  images_ = value;
  Invalidate();
}

void TSkButton::SetImageIndex(int value) {
  if (imageIndex_ == value) return;
  imageIndex_ = value;
  Invalidate();
}

void TSkButton::Notification(TComponent* component, TOperation operation) {
  TSkPressControl::Notification(component, operation);
  if (operation == opRemove && component == images_) {
    images_ = nullptr;
    Invalidate();
  }
}

const TBitmap* TSkButton::WorkingPicture(TBitmap& scratch, int& count, uint32_t& key) const {
  if (!glyph_.Empty()) {
    count = numGlyphs_;
    const TColor transparent = glyph_.TransparentColor();
    key = static_cast<uint32_t>(GetRValue(transparent)) << 16 | static_cast<uint32_t>(GetGValue(transparent)) << 8 |
          GetBValue(transparent);
    return &glyph_;
  }
  if (images_ == nullptr || imageIndex_ < 0 || imageIndex_ >= images_->Count()) return nullptr;
  // The list draws its image over what the bitmap holds: magenta shows
  // where the image is transparent.
  constexpr uint32_t kMagenta = 0xFF00FF;
  scratch.SetSize(images_->Width(), images_->Height());
  if (scratch.Empty()) return nullptr;
  std::fill_n(scratch.Pixels(), static_cast<size_t>(scratch.Width()) * static_cast<size_t>(scratch.Height()),
              0xFF000000u | kMagenta);
  images_->GetBitmap(imageIndex_, scratch);
  count = 1;
  key = kMagenta;
  return &scratch;
}

std::unique_ptr<TskBitmap> TSkButton::StateGlyph() const {
  TBitmap scratch;
  int count = 1;
  uint32_t key = 0;
  const TBitmap* picture = WorkingPicture(scratch, count, key);
  if (picture == nullptr) return nullptr;
  const int width = picture->Width() / count;
  const int height = picture->Height();
  if (width <= 0 || height <= 0) return nullptr;
  int index = 0;
  if (!Enabled() && count > 1) {
    index = 1;
  } else if (Enabled() && Pressed() && count > 2) {
    index = 2;
  }
  const bool grey = !Enabled() && count == 1;
  auto result = std::make_unique<TskBitmap>();
  result->SetSize(width, height);
  result->Fill(kKeyPixel);
  result->Transparent = true;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = picture->PixelAt(index * width + x, y) & 0x00FFFFFFu;
      if (pixel == key) continue;
      TskPixel out = pixel | 0xFF000000u;
      if (grey) {
        // Halves round to even, the platform's default rounding.
        const int g = 160 + static_cast<int>(std::nearbyint(RgbToHsl(out).Lightness * 50));
        out = MakePixel(g, g, g, 255);
      }
      result->SetPixelAt(x, y, out);
    }
  }
  return result;
}

void TSkButton::LayoutGlyphAndCaption(TSize caption, TRect& glyphRect, TRect& captionRect) const {
  const int width = Width();
  const int height = Height();
  TSize glyph{0, 0};
  if (!glyph_.Empty()) {
    glyph = TSize{glyph_.Width() / numGlyphs_, glyph_.Height()};
  } else if (images_ != nullptr && imageIndex_ >= 0 && imageIndex_ < images_->Count()) {
    glyph = TSize{images_->Width(), images_->Height()};
  }
  const bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
  // Along the layout's axis: the room, the glyph's and the caption's extent.
  const int room = horizontal ? width : height;
  const int glyphSize = horizontal ? glyph.Width : glyph.Height;
  const int captionSize = horizontal ? caption.Width : caption.Height;
  int glyphPos = 0;
  int captionPos = 0;
  if (glyphSize == 0 || captionSize == 0) {
    // One of them alone is centred (or put at the margin).
    const int size = glyphSize + captionSize;
    const int pos = margin_ >= 0 ? margin_ : (room - size) / 2;
    glyphPos = pos;
    captionPos = pos;
  } else if (spacing_ < 0) {
    const int gap = (room - glyphSize - captionSize) / 3;
    glyphPos = margin_ >= 0 ? margin_ : gap;
    captionPos = glyphPos + glyphSize + gap;
  } else {
    glyphPos = margin_ >= 0 ? margin_ : (room - glyphSize - spacing_ - captionSize) / 2;
    captionPos = glyphPos + glyphSize + spacing_;
  }
  // Glyph right or bottom: mirrored along the axis.
  if (layout_ == blGlyphRight || layout_ == blGlyphBottom) {
    glyphPos = room - glyphPos - glyphSize;
    captionPos = room - captionPos - captionSize;
  }
  if (horizontal) {
    const int glyphTop = (height - glyph.Height) / 2;
    glyphRect = TRect{glyphPos, glyphTop, glyphPos + glyph.Width, glyphTop + glyph.Height};
    captionRect = TRect{captionPos, 0, captionPos + caption.Width, height};
  } else {
    const int glyphLeft = (width - glyph.Width) / 2;
    glyphRect = TRect{glyphLeft, glyphPos, glyphLeft + glyph.Width, glyphPos + glyph.Height};
    captionRect = TRect{0, captionPos, width, captionPos + caption.Height};
  }
}

void TSkButton::SetDefault(bool value) {
  if (default_ == value) return;
  default_ = value;
  Invalidate();
}

bool TSkButton::IsActiveDefault() const {
  if (!default_) return false;
  const TForm* form = GetParentForm(this);
  if (form == nullptr) return false;
  const TWinControl* active = form->ActiveControl();
  return active != nullptr && dynamic_cast<const TSkButton*>(active) == nullptr;
}

uint8_t TSkButton::ButtonState() const {
  if (!Enabled()) return btsDisabled;
  if (Pressed()) return btsPressed;
  if (MouseInControl()) return btsHot;
  if (HasFocus()) return btsFocused;
  if (IsActiveDefault()) return btsDefault;
  return btsNormal;
}

void TSkButton::KeyDown(WORD& key, TShiftState shift) {
  if (Enabled() && (key == VK_RETURN || (key == VK_ESCAPE && cancel_))) {
    key = 0;
    Click();
    return;
  }
  TSkPressControl::KeyDown(key, shift);
}

// The form's dialog keys, whichever of its controls has the focus: Enter
// goes to the focused button or else the active default, Escape to a cancel
// button. A button the reader cannot see or use takes neither.
void TSkButton::WndProc(TMessage& message) {
  if (message.Msg == CM_DIALOGKEY && Enabled() && Showing()) {
    const WPARAM key = message.WParam;
    if ((key == VK_RETURN && (HasFocus() || IsActiveDefault())) || (key == VK_ESCAPE && cancel_)) {
      message.Result = 1;
      Click();
      return;
    }
  }
  TSkPressControl::WndProc(message);
}

void TSkButton::SetWordWrap(bool value) {
  if (wordWrap_ == value) return;
  wordWrap_ = value;
  Invalidate();
}

UINT TSkButton::TextFormat() const {
  UINT format = DT_VCENTER | LineFormat(wordWrap_);
  switch (alignment_) {
    case taLeftJustify: format |= DT_LEFT; break;
    case taRightJustify: format |= DT_RIGHT; break;
    case taCenter: format |= DT_CENTER; break;
  }
  return format;
}

void TSkButton::PaintFace(TCanvas& canvas, TskTheme* theme, const TskStateRecord& record, int shift) {
  const TRect bounds{0, 0, Width(), Height()};
  std::unique_ptr<TskBitmap> glyph = StateGlyph();
  if (!glyph) {
    // The caption alone, aligned by Alignment.
    const TRect text = OffsetRect(bounds, shift, shift);
    if (theme != nullptr) {
      theme->PaintButtonText(bkPushButton, canvas, ThemeObject(), MakeTextInfo(text, Caption(), TextFormat()),
                             record);
    } else {
      DrawCentredText(canvas, Caption(), text, TextFormat(), Enabled());
    }
    return;
  }
  TRect glyphRect;
  TRect captionRect;
  LayoutGlyphAndCaption(CaptionExtent(canvas, Caption()), glyphRect, captionRect);
  glyphRect = OffsetRect(glyphRect, shift, shift);
  captionRect = OffsetRect(captionRect, shift, shift);
  const UINT format = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
  if (theme != nullptr) {
    theme->PaintButtonGlyph(bkPushButton, canvas, ThemeObject(), MakeGlyphRecord(glyphRect, glyph.get(), gkBitmap),
                            record);
    if (!Caption().empty()) {
      theme->PaintButtonText(bkPushButton, canvas, ThemeObject(), MakeTextInfo(captionRect, Caption(), format),
                             record);
    }
    return;
  }
  canvas.WithHandle([&](HDC dc) { glyph->Draw(dc, glyphRect.Left, glyphRect.Top); });
  if (!Caption().empty()) DrawClassicText(canvas, Caption(), captionRect, format, Enabled());
}

void TSkButton::PaintContent(TCanvas& canvas) {
  const TRect bounds{0, 0, Width(), Height()};
  const uint8_t state = ButtonState();
  const TskStateRecord record = MakeStateRecord(bounds, state);
  if (DefinesButtonObject(bkPushButton, ThemeObject(), ThemeLink())) {
    TskTheme* theme = Theme();
    canvas.WithHandle([&](HDC dc) {
      if (theme->ButtonTransparent(bkPushButton, ThemeObject())) PaintParentBackground(this, dc);
    });
    theme->PaintButton(bkPushButton, canvas, ThemeObject(), record);
    canvas.Font().Assign(theme->Fonts().FontFor(ButtonFontIndex(state), ThemeObject()));
    fontOptions_.ApplyTo(canvas.Font());
    PaintFace(canvas, theme, record, 0);
    return;
  }
  fontOptions_.ApplyTo(canvas.Font());
  bool styled = false;
  canvas.WithHandle([&](HDC dc) {
    styled = DrawVisualStylePart(dc, L"Button", BP_PUSHBUTTON, ButtonVisualState(state), bounds);
  });
  if (styled) {
    PaintFace(canvas, nullptr, record, 0);
    return;
  }
  PaintClassic(canvas, state);
}

void TSkButton::PaintClassic(TCanvas& canvas, uint8_t state) {
  const TRect bounds{0, 0, Width(), Height()};
  const bool pressed = state == btsPressed;
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, bounds, Color());
    TRect ring = bounds;
    if (HasFocus() || IsActiveDefault()) {
      DrawBevelRing(dc, ring, clBlack, clBlack, kbsAll);
      ring = Inset(ring, TRect{1, 1, 1, 1});
    }
    if (pressed) {
      DrawBevelRing(dc, ring, clBtnShadow, clBtnShadow, kbsAll);
    } else {
      DrawBevelRing(dc, ring, clBtnHighlight, cl3DDkShadow, kbsAll);
      ring = Inset(ring, TRect{1, 1, 1, 1});
      DrawBevelRing(dc, ring, cl3DLight, clBtnShadow, kbsAll);
    }
  });
  // The face's content moves with it while pressed.
  PaintFace(canvas, nullptr, MakeStateRecord(bounds, state), pressed ? 1 : 0);
  if (HasFocus()) {
    canvas.WithHandle([&](HDC dc) {
      const TRect focus = Inset(bounds, TRect{4, 4, 4, 4});
      if (IsRectEmpty(focus)) return;
      const RECT r{focus.Left, focus.Top, focus.Right, focus.Bottom};
      SetTextColor(dc, RGB(0, 0, 0));
      SetBkColor(dc, RGB(255, 255, 255));
      DrawFocusRect(dc, &r);
    });
  }
}

// ---- TSkCheckBox -----------------------------------------------------------------------

TSkCheckBox::TSkCheckBox(TComponent* owner) : TSkPressControl(owner) {
  SetBounds(Left(), Top(), 98, 20);
  SetPerformance(qvpDoubleBuffer);
}

void TSkCheckBox::SetState(TSkCheckBoxState value) {
  if (state_ == value) return;
  state_ = value;
  Invalidate();
  if (!IsLoading()) Click();
}

void TSkCheckBox::Toggle() {
  switch (state_) {
    case kcbsUnChecked: SetState(allowGrayed_ ? kcbsMixed : kcbsChecked); break;
    case kcbsChecked: SetState(kcbsUnChecked); break;
    case kcbsMixed: SetState(kcbsChecked); break;
  }
}

void TSkCheckBox::SetAlignment(TSkLeftRight value) {
  if (alignment_ == value) return;
  alignment_ = value;
  Invalidate();
}

void TSkCheckBox::SetWordWrap(bool value) {
  if (wordWrap_ == value) return;
  wordWrap_ = value;
  Invalidate();
}

void TSkCheckBox::SetSpacing(int value) {
  if (spacing_ == value) return;
  spacing_ = value;
  Invalidate();
}

void TSkCheckBox::SetTransparent(bool value) {
  if (transparent_ == value) return;
  transparent_ = value;
  Invalidate();
}

int TSkCheckBox::PressOffset() const {
  if (!Enabled()) return 3;
  if (Pressed()) return 2;
  if (MouseInControl()) return 1;
  return 0;
}

bool TSkCheckBox::Themed() const { return DefinesCheckBoxObject(ckCheckBox, ThemeObject(), ThemeLink()); }

TSize TSkCheckBox::BoxSize() const {
  if (Themed()) return Theme()->CheckBoxSize(ckCheckBox);
  return kClassicCheckBoxSize;
}

TRect TSkCheckBox::BoxRect() const {
  const TSize size = BoxSize();
  const int top = (Height() - size.Height) / 2;
  const int left = alignment_ == kalLeftJustify ? 0 : Width() - size.Width;
  return TRect{left, top, left + size.Width, top + size.Height};
}

TRect TSkCheckBox::CaptionRect() const {
  const TRect box = BoxRect();
  // Never inverted when the control is narrower than box and spacing.
  if (alignment_ == kalLeftJustify) {
    const int left = box.Right + spacing_;
    return TRect{left, 0, std::max(Width(), left), Height()};
  }
  return TRect{0, 0, std::max(0, box.Left - spacing_), Height()};
}

uint8_t TSkCheckBox::CheckState() const {
  // Checked states are 0..3, unchecked 5..8, mixed 10..13: normal, hot,
  // pressed, disabled.
  int base = chsCheckedNormal;
  if (state_ == kcbsUnChecked) base = chsUncheckedNormal;
  if (state_ == kcbsMixed) base = chsMixedNormal;
  return static_cast<uint8_t>(base + PressOffset());
}

void TSkCheckBox::PaintContent(TCanvas& canvas) {
  const TRect bounds{0, 0, Width(), Height()};
  const TRect box = BoxRect();
  const TRect caption = CaptionRect();
  const UINT format = DT_VCENTER | LineFormat(wordWrap_) | (alignment_ == kalLeftJustify ? DT_LEFT : DT_RIGHT);
  const bool themed = Themed();
  TskTheme* theme = themed ? Theme() : nullptr;

  canvas.WithHandle([&](HDC dc) {
    if (transparent_ || (themed && theme->CheckBoxTransparent(ckCheckBox, ThemeObject()))) {
      PaintParentBackground(this, dc);
    } else {
      FillRectColor(dc, bounds, Color());
    }
  });

  if (themed) {
    const uint8_t state = CheckState();
    const TskStateRecord record = MakeStateRecord(box, state);
    theme->PaintCheckBox(ckCheckBox, canvas, ThemeObject(), record);
    int font = fiCheckBoxTextNormal;
    if (!Enabled()) {
      font = fiCheckBoxTextDisabled;
    } else if (Pressed()) {
      font = fiCheckBoxTextPressed;
    } else if (MouseInControl()) {
      font = fiCheckBoxTextHot;
    } else if (HasFocus()) {
      font = fiCheckBoxTextFocused;
    }
    canvas.Font().Assign(theme->Fonts().FontFor(font, kDefaultObjectName));
    theme->PaintCheckBoxText(ckCheckBox, canvas, kDefaultObjectName, MakeTextInfo(caption, Caption(), format),
                             record);
  } else {
    bool styled = false;
    canvas.WithHandle([&](HDC dc) {
      // The visual style has four states (normal, hot, pressed, disabled)
      // for each of unchecked, checked and mixed, in that order.
      int styleState = CBS_UNCHECKEDNORMAL;
      if (state_ == kcbsChecked) styleState = CBS_CHECKEDNORMAL;
      if (state_ == kcbsMixed) styleState = CBS_MIXEDNORMAL;
      styleState += PressOffset();
      styled = DrawVisualStylePart(dc, L"Button", BP_CHECKBOX, styleState, box);
      if (styled) return;
      UINT flags = DFCS_BUTTONCHECK;
      if (state_ == kcbsChecked) flags |= DFCS_CHECKED;
      if (state_ == kcbsMixed) flags = DFCS_BUTTON3STATE | DFCS_CHECKED;
      if (Pressed()) flags |= DFCS_PUSHED;
      if (!Enabled()) flags |= DFCS_INACTIVE;
      RECT r{box.Left, box.Top, box.Right, box.Bottom};
      DrawFrameControl(dc, &r, DFC_BUTTON, flags);
    });
    DrawCentredText(canvas, Caption(), caption, format, styled || Enabled());
  }

  if (HasFocus() && !Caption().empty()) {
    canvas.WithHandle([&](HDC dc) {
      // Around the caption's text, not the whole caption area.
      RECT measured{caption.Left, caption.Top, caption.Right, caption.Bottom};
      ::DrawTextW(dc, Caption().c_str(), static_cast<int>(Caption().size()), &measured,
                  DT_CALCRECT | LineFormat(wordWrap_));
      const int width = measured.right - measured.left;
      const int height = measured.bottom - measured.top;
      const int top = caption.Top + (static_cast<int>(RectHeight(caption)) - height) / 2;
      const int left = alignment_ == kalLeftJustify ? caption.Left : caption.Right - width;
      RECT focus{left - 1, top - 1, left + width + 1, top + height + 1};
      SetTextColor(dc, RGB(0, 0, 0));
      SetBkColor(dc, RGB(255, 255, 255));
      DrawFocusRect(dc, &focus);
    });
  }
}

// The skinned push button and check box.
//
// Both are windowed controls that take the focus and track a press the
// same way: the left button held with the mouse inside makes the pressed
// look, and the look follows the mouse on every move while the button is
// held, so a press dragged out and brought back is pressed again. The
// action (a click, or a change of the check state) happens only when the
// left button is released inside, or when Space, pressed while focused, is
// released.
//
// Each paints at three levels: through the current theme when it defines
// the element for the control's ThemeObject, else through the platform's
// visual style "Button" class, else in its classic look in system colours.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "forms/std_components.h"
#include "skin/controls/sk_controls.h"


// What the push button and the check box share: the press of the left
// mouse button or of Space, and the end of it.
class TSkPressControl : public TSkControl {
 public:
  explicit TSkPressControl(TComponent* owner);

  // The pressed look: the left button held with the mouse inside, or Space
  // held while focused.
  bool Pressed() const { return (mouseHeld_ && mouseInside_) || spaceHeld_; }

 protected:
  // A completed press (left release inside, or Space released).
  virtual void PressCompleted() = 0;

  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void KeyUp(WORD& key, TShiftState shift) override;
  void FocusChanged(bool focused) override;
  void WndProc(TMessage& message) override;

 private:
  bool Inside(int x, int y) const { return x >= 0 && x < Width() && y >= 0 && y < Height(); }
  void CancelPress();

  bool mouseHeld_ = false;
  bool mouseInside_ = false;
  bool spaceHeld_ = false;
};

class TSkButton : public TSkPressControl {
 public:
  explicit TSkButton(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  // Enter clicks the default button while the focus is on a control of its
  // form that is not a button; it is drawn as the default then.
  bool Default() const { return default_; }
  void SetDefault(bool value);
  // Escape clicks a cancel button, wherever the focus is on its form.
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  TSkFontOptions& FontOptions() { return fontOptions_; }
  // The caption (without a glyph) breaks into lines that fit the width.
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);

  // The picture beside the caption: NumGlyphs equal sub-pictures side by
  // side (normal, disabled, pressed). Setting it copies the picture; when
  // its width is a multiple of its height, NumGlyphs becomes width ÷ height
  // if that is below 5, else 1. Pixels of the colour of its bottom-left
  // pixel are transparent.
  const TBitmap& Glyph() const { return glyph_; }
  void SetGlyph(const TBitmap& value);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int value);
  // Without a Glyph the button shows image ImageIndex of Images (−1: none);
  // its pixels left out by the list are transparent.
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* value);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value);
  TSkButtonLayout Layout() const { return layout_; }
  void SetLayout(TSkButtonLayout value);
  // Distance of the glyph from its edge; −1 centres glyph and caption
  // together.
  int Margin() const { return margin_; }
  void SetMargin(int value);
  // Pixels between glyph and caption; −1 divides the free room into equal
  // gaps.
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);

  // The sub-picture for the current state as a key-transparent 32-bit
  // bitmap (a single glyph drawn grey when disabled); nullptr without a
  // glyph.
  std::unique_ptr<TskBitmap> StateGlyph() const;
  // Where glyph and caption go for a caption of the given size (zero
  // without a caption), in the control's coordinates.
  void LayoutGlyphAndCaption(TSize caption, TRect& glyphRect, TRect& captionRect) const;

  // Default is set and the focus is on a control of the form that is not a
  // button (the focused button itself takes Enter otherwise).
  bool IsActiveDefault() const;
  // The TskButtonState the button paints in.
  uint8_t ButtonState() const;

 protected:
  void PressCompleted() override { Click(); }
  void KeyDown(WORD& key, TShiftState shift) override;
  void WndProc(TMessage& message) override;
  void PaintContent(TCanvas& canvas) override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  // The working picture: the Glyph, else the image of the list (copied into
  // scratch over magenta, its transparent colour); nullptr when neither.
  // count and key receive the number of sub-pictures and the transparent
  // colour (0xRRGGBB).
  const TBitmap* WorkingPicture(TBitmap& scratch, int& count, uint32_t& key) const;
  // Caption (and glyph) in the canvas's font: the theme's text operations
  // when theme is given, else drawn directly (embossed when disabled).
  void PaintFace(TCanvas& canvas, TskTheme* theme, const TskStateRecord& record, int shift);
  void PaintClassic(TCanvas& canvas, uint8_t state);
  UINT TextFormat() const;

  TAlignment alignment_ = taCenter;
  bool default_ = false;
  bool cancel_ = false;
  bool wordWrap_ = false;
  TSkFontOptions fontOptions_;
  TBitmap glyph_;
  int numGlyphs_ = 1;
  TImageList* images_ = nullptr;
  int imageIndex_ = -1;
  TSkButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  int spacing_ = 4;
};

class TSkCheckBox : public TSkPressControl {
 public:
  explicit TSkCheckBox(TComponent* owner);

  TSkCheckBoxState State() const { return state_; }
  // A change repaints and, unless the control is being loaded, calls
  // OnClick.
  void SetState(TSkCheckBoxState value);
  // True only for kcbsChecked; writing sets checked or unchecked.
  bool Checked() const { return state_ == kcbsChecked; }
  void SetChecked(bool value) { SetState(value ? kcbsChecked : kcbsUnChecked); }
  // Whether the cycle passes through the mixed state.
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool value) { allowGrayed_ = value; }
  // kalLeftJustify: the box at the left edge, the caption right of it (the
  // viewer's case check box); kalRightJustify: the box at the right edge,
  // the caption left of it.
  TSkLeftRight Alignment() const { return alignment_; }
  void SetAlignment(TSkLeftRight value);
  // The caption breaks into lines that fit beside the box.
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  // Pixels between box and caption.
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  // The parent's background shows instead of a fill in the control's colour.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);

  // Unchecked → checked (→ mixed first with AllowGrayed), checked →
  // unchecked, mixed → checked.
  void Toggle();

  // Where box and caption go, in the control's coordinates.
  TRect BoxRect() const;
  TRect CaptionRect() const;
  // The TskCheckState the box paints in.
  uint8_t CheckState() const;

 protected:
  void PressCompleted() override { Toggle(); }
  void PaintContent(TCanvas& canvas) override;

 private:
  TSize BoxSize() const;
  bool Themed() const;
  // 0 normal, 1 hot, 2 pressed, 3 disabled: the step within one check
  // state's run of theme and visual-style states.
  int PressOffset() const;

  TSkCheckBoxState state_ = kcbsUnChecked;
  bool allowGrayed_ = false;
  TSkLeftRight alignment_ = kalLeftJustify;
  int spacing_ = 5;
  bool transparent_ = true;
  bool wordWrap_ = false;
};

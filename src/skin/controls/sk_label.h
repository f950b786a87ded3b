// The themed label: a caption painted over its parent's background, in the
// theme's static-text look when the theme defines the label element, else
// as classic text (embossed when disabled). With AutoSize it takes the size
// of its caption; its accelerator character focuses FocusControl.
#pragma once

#include <windows.h>

#include <string>

#include "forms/std_components.h"
#include "skin/controls/sk_controls.h"

enum TSkTextLayout : uint8_t { tlTop, tlCenter, tlBottom };

class TSkLabel : public TSkGraphicControl {
 public:
  explicit TSkLabel(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TSkTextLayout Layout() const { return layout_; }
  void SetLayout(TSkTextLayout value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  // With it "&x" shows x underlined and Alt+x focuses FocusControl; "&&"
  // shows one "&".
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool value);
  // Transparent: the parent's background shows behind the caption; else the
  // label fills its area with its colour.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* control);

  // Takes the caption's size now (AutoSize only).
  void AdjustBounds();

 protected:
  void PaintContent(TCanvas& canvas) override;
  void ThemeChanged(TskThemeChange code) override;
  void WndProc(TMessage& message) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  UINT TextFlags() const;
  bool ThemeDefinesLabel() const;
  // The font the caption is drawn and measured in: the theme's static-text
  // font for the state, else the control's own.
  void ChooseFont(TFont& font) const;
  bool IsAccelerator(wchar_t key) const;

  TAlignment alignment_ = taLeftJustify;
  TSkTextLayout layout_ = tlTop;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool showAccelChar_ = true;
  bool transparent_ = true;
  TWinControl* focusControl_ = nullptr;
};

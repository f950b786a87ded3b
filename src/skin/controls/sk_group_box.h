// The skinned containers: the group box (a captioned, etched frame around
// related controls) and the panel (a bevelled area with an optional
// caption, such as the viewer's toolbar).
//
// With UseCheckBox the group box shows a check box (a TSkCheckBox child it
// owns) in place of its caption; the other children are then enabled
// exactly while the box is checked.
//
// Both lay out their aligned children in their client rectangle, which
// ContentRect gives: for the group box the area inside its frame below the
// caption, for the panel the theme's panel content rectangle or, without
// one, the area inside its bevels.
#pragma once

#include <windows.h>

#include <string>

#include "forms/std_components.h"
#include "skin/controls/sk_buttons.h"
#include "skin/controls/sk_controls.h"

class TSkGroupBox : public TSkControl {
 public:
  explicit TSkGroupBox(TComponent* owner);

  // Distance of the caption from the left edge.
  int CaptionMargin() const { return captionMargin_; }
  void SetCaptionMargin(int value);
  // The parent's background shows instead of a fill in the control's colour.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);

  // Stores the value, then gives it to every child control: disabling the
  // box disables all of its controls, and enabling it enables all of them
  // again, including those that had been disabled one by one. With
  // UseCheckBox the check box takes the value and the other children keep
  // following Checked.
  void SetEnabled(bool enabled) override;

  // A check box replaces the caption. Turning it off frees the check box
  // and gives the children the box's Enabled again.
  bool UseCheckBox() const { return checkBox_ != nullptr; }
  void SetUseCheckBox(bool value);
  // The caption check box's state (kept while there is none); with
  // UseCheckBox the other children are enabled exactly while it is set.
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  // The caption check box, nullptr without UseCheckBox.
  TSkCheckBox* CheckBox() const { return checkBox_; }

  // (CaptionMargin, 0, CaptionMargin + caption width, caption height);
  // empty without a caption. With UseCheckBox, the check box's bounds.
  TRect CaptionRect() const;
  // (3, caption height div 2 + 1, width − 2, height − 2).
  TRect FrameRect() const;
  // (12, caption height, width − 12, height − 8).
  TRect ContentRect() const override;

 protected:
  void PaintFrame(TCanvas& canvas) override {}
  void PaintContent(TCanvas& canvas) override;
  void ThemeChanged(TskThemeChange code) override;
  void WndProc(TMessage& message) override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  bool Themed() const;
  // Sizes the check box to its box and caption and puts it at the
  // caption's place.
  void PlaceCheckBox();
  // The children other than the check box follow Checked.
  void ApplyChecked();
  // The font the caption is drawn (and measured) in.
  const TFont& CaptionFont() const;
  // The caption's size; with no caption the height is that of "Tg" and the
  // width 0.
  TSize CaptionSize() const;

  int captionMargin_ = 12;
  bool transparent_ = true;
  bool checked_ = true;
  TSkCheckBox* checkBox_ = nullptr;
};

class TSkPanel : public TSkControl {
 public:
  explicit TSkPanel(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);

  // The theme's panel content rectangle when the theme defines the panel,
  // else the area inside border and bevels.
  TRect ContentRect() const override;
  // Where the caption is drawn: the content's width, as high as "W" in the
  // caption's font, centred vertically in the content.
  TRect CaptionRect() const;

 protected:
  void PaintFrame(TCanvas& canvas) override;
  void PaintContent(TCanvas& canvas) override;
  void ThemeChanged(TskThemeChange code) override;

 private:
  bool Themed() const;
  // A raised panel unless its outer bevel is lowered.
  uint8_t PanelKind() const;
  const TFont& CaptionFont() const;
  UINT TextFormat() const;

  TAlignment alignment_ = taCenter;
};

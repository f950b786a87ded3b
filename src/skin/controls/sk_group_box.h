// The skinned containers: the group box (a captioned, etched frame around
// related controls) and the panel (a bevelled area with an optional
// caption, such as the viewer's toolbar).
//
// Both lay out their aligned children in their client rectangle, which
// ContentRect gives: for the group box the area inside its frame below the
// caption, for the panel the theme's panel content rectangle or, without
// one, the area inside its bevels.
#pragma once

#include <windows.h>

#include <string>

#include "forms/std_components.h"
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
  // again, including those that had been disabled one by one.
  void SetEnabled(bool enabled) override;

  // (CaptionMargin, 0, CaptionMargin + caption width, caption height);
  // empty without a caption.
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

 private:
  bool Themed() const;
  // The font the caption is drawn (and measured) in.
  const TFont& CaptionFont() const;
  // The caption's size; with no caption the height is that of "Tg" and the
  // width 0.
  TSize CaptionSize() const;

  int captionMargin_ = 12;
  bool transparent_ = true;
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

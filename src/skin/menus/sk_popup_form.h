// The face of one open pop-up: its frame and background, painted by the
// theme's menu family or in platform colours, and what the menu's pop-up
// options ask for: translucency, a drop shadow right of and below it, and
// an opening animation played on the screen before the pop-up appears.
//
// A pop-up never moves while it is open, so shadow and translucency are
// composed with what the screen showed under it just before it appeared.
//
// Window thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "graphics/sk_bitmap.h"
#include "graphics/sk_effect.h"
#include "skin/menus/sk_menus.h"
#include "skin/sk_blending.h"

class TSkPopupForm {
 public:
  // Takes blending and shadow from the item's pop-up options, and their
  // animation when `animate` (only some levels of a menu animate).
  TSkPopupForm(TSkItem* item, bool animate);

  // The shadow band's width (0 when off).
  int ShadowSize() const { return shadow_; }
  // Whether the animation has played.
  bool Animated() const { return animated_; }
  // Whether the face is mixed with the screen behind it.
  bool Composed() const { return blending_.Enabled() || shadow_ > 0; }
  // The frame's widths around the item area.
  TRect FrameMargins() const;
  // The picture of what the screen showed under the window (nullptr before
  // BeforeShow, or when nothing needs it).
  const TskBitmap* Background() const { return background_.get(); }

  using TDrawItems = std::function<void(TCanvas&)>;
  // Gives the window the region of its face (face: the pop-up's own size,
  // the window is larger by the shadow) and the shadow band.
  void ApplyRegion(HWND window, TSize face) const;
  // Just before the window at screenBounds appears: keeps what the screen
  // shows there and plays the animation when the pop-up has one.
  void BeforeShow(const TRect& screenBounds, TSize face, const TDrawItems& drawItems);
  // Paints the frame, background and items (window coordinates), composed
  // with the kept background when blending or shadow are on.
  void Paint(HDC dc, TSize face, const TDrawItems& drawItems) const;

 private:
  void PaintFace(TCanvas& canvas, TSize face) const;
  // The whole window's picture, composed with the background.
  void ComposePicture(TskBitmap& picture, TSize face, const TDrawItems& drawItems) const;

  TSkItem* item_;
  TSkBlending blending_;
  int shadow_ = 0;
  bool animates_ = false;
  bool animated_ = false;
  TskAnimationRec animation_;
  std::unique_ptr<TskBitmap> background_;
};

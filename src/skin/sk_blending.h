// The translucency and the drop shadow of a skinned window: the frame of a
// form and the pop-ups of a menu share the settings and their composition
// with the screen behind the window.
#pragma once

#include <windows.h>

#include <functional>

#include "graphics/sk_bitmap.h"
#include "graphics/sk_utils.h"

class TSkBlending {
 public:
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (OnChange) OnChange();
  }
  int Value() const { return value_; }
  // Below 0 gives 0, 256 and above 255.
  void SetValue(int value) {
    value = value < 0 ? 0 : value >= 256 ? 255 : value;
    if (value == value_) return;
    value_ = value;
    if (OnChange) OnChange();
  }
  // The owner measures and repaints its frame again.
  std::function<void()> OnChange;

 private:
  bool enabled_ = false;
  int value_ = 150;
};

class TSkShadow {
 public:
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (OnChange) OnChange();
  }
  int Size() const { return size_; }
  // Above 20 gives 20; 0 or less switches the shadow off.
  void SetSize(int value) {
    if (value <= 0) {
      SetEnabled(false);
      return;
    }
    value = value > 20 ? 20 : value;
    if (value == size_) return;
    size_ = value;
    if (enabled_ && OnChange) OnChange();
  }
  // The owner measures and repaints its frame again.
  std::function<void()> OnChange;

 private:
  bool enabled_ = false;
  int size_ = 4;
};

// a over b with a's weight out of 255, per channel; the result is opaque.
TskPixel MixPixels(TskPixel a, TskPixel b, int weight);

// The pixel of a captured background at x, y; opaque black where the
// picture is missing or does not reach.
TskPixel BackgroundPixel(const TskBitmap* background, int x, int y);

// Copies what the screen shows in screenBounds into picture, sized to it.
// False when the screen cannot be read or the area is empty.
bool CaptureScreen(TskBitmap& picture, const TRect& screenBounds);

// Composes a window's picture with the screen behind it (background, in the
// window's coordinates; black where it is missing). The window is its shape,
// shapeWidth x shapeHeight at the top left of buffer, and the shadow band
// right of and below it. With blending on, the shape's pixels outside
// `opaque` are mixed with the background by the blending's value. With a
// shadow size, the band, starting that many pixels in, is dark grey laid
// over the background at half strength, fading in over its first pixels.
void ComposeShadowAndBlending(TskBitmap& buffer, const TskBitmap* background, int shapeWidth, int shapeHeight,
                              const TRect& opaque, const TSkBlending& blending, int shadow);

// The window region for a shape and its shadow: the shape joined with
// itself moved by the shadow size. A null shape stands for its rectangle.
// Takes the shape; the caller owns the result.
HRGN RegionWithShadow(HRGN shape, int shapeWidth, int shapeHeight, int shadow);

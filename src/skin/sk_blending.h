// The translucency and the drop shadow of a skinned window: the frame of a
// form and the pop-ups of a menu share them.
#pragma once

#include <functional>

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

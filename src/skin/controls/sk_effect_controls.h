// The effect speed button: a speed button whose change of look when the
// mouse enters or leaves it is animated by the transition effects, and
// which can play wave sounds on leaving (and, with the library-wide sound
// switch on, on entering and clicking).
//
// Hand-off to the effect engine on entry and exit: stop what runs in the
// button's slot, paint the old look into the before picture, flip the hot
// flag, paint the new look into the after picture, and start the effect
// with those two pictures, drawing onto the button's window at its place.
// The press state does not change in this path: a button pressed and
// dragged out keeps its pressed state until the release.
//
// The button reserves an animation slot for its whole life, so 201 buttons
// at most animate in their own slots; a button created when none was free
// animates in whatever unreserved slot the engine finds.
#pragma once

#include <cstdint>
#include <memory>

#include "skin/controls/sk_speed_button.h"
#include "graphics/sk_effect.h"
#include "graphics/sk_wave.h"

enum TSkExtraSoundOption : uint8_t { esoIgnoreGlobalOptions };
// A set of TSkExtraSoundOption, one bit per option.
using TSkExtraSoundOptions = unsigned;
constexpr TSkExtraSoundOptions SoundOptionBit(TSkExtraSoundOption option) { return 1u << option; }

// The platform's bit-button kinds.
enum TSkBitBtnKind : uint8_t { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };

// The library-wide sound settings: a switch (off), the indexes of the click,
// entry and exit sounds in the library-wide wave list (-1 each) and the mask
// of events that sound (bit 2: button sounds).
struct TSkSoundSettings {
  static constexpr uint32_t kButtonSounds = 2;
  bool Enabled = false;
  int32_t ClickIndex = -1;
  int32_t EnterIndex = -1;
  int32_t LeaveIndex = -1;
  uint32_t EventMask = 29;
};
TSkSoundSettings& GlobalSoundSettings();

// Draws animation frames onto a control's pixels in its host window, at the
// control's place and clipped to its area; nothing while the control has no
// shown window.
class TSkControlEffectCanvas final : public TskEffectCanvas {
 public:
  explicit TSkControlEffectCanvas(TControl& control) : control_(control) {}
  void DrawFrame(const TskBitmap& frame, int32_t x, int32_t y) override;

 private:
  TControl& control_;
};

class TSkEffectSpeedButton : public TSkSpeedButton {
 public:
  explicit TSkEffectSpeedButton(TComponent* owner);
  ~TSkEffectSpeedButton() override;

  TSkAdvancedAnimation& Animation() { return animation_; }
  // The slot reserved at creation (-1 when none was free).
  int32_t EffectSlot() const { return reservedSlot_; }
  // Whether one of this button's animations is running.
  bool Animating() const;

  TSkExtraSoundOptions SoundOptions() const { return soundOptions_; }
  void SetSoundOptions(TSkExtraSoundOptions value) { soundOptions_ = value; }
  // Not owned. Removing the list resets the entry and exit indexes.
  TSkExtraWaveList* WaveList() const { return waveList_; }
  void SetWaveList(TSkExtraWaveList* value);
  // Each index is stored as -1 when negative or when no list with sounds
  // is assigned, otherwise limited to the last sound.
  int32_t WaveClickIndex() const { return waveClickIndex_; }
  void SetWaveClickIndex(int32_t value) { waveClickIndex_ = ClampWaveIndex(waveList_, value); }
  int32_t WaveInIndex() const { return waveInIndex_; }
  void SetWaveInIndex(int32_t value) { waveInIndex_ = ClampWaveIndex(waveList_, value); }
  int32_t WaveOutIndex() const { return waveOutIndex_; }
  void SetWaveOutIndex(int32_t value) { waveOutIndex_ = ClampWaveIndex(waveList_, value); }

  TSkBitBtnKind Kind() const { return kind_; }
  void SetKind(TSkBitBtnKind value) { kind_ = value; }
  // Kept for the form: the framework's forms have no modal result to set.
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int value) { modalResult_ = value; }

  void Click() override;
  // A change of look ends a running fade first, so its later frames cannot
  // paint over the new look.
  void Invalidate() override;

 protected:
  void MouseEnter() override;
  void MouseLeave() override;

 private:
  // The animated change of look; false when the button does not animate now.
  bool AnimateHotChange(bool entering);
  void StopAnimation();
  void PaintLook(TskBitmap& picture);
  bool UsesGlobalSounds() const;

  TSkAdvancedAnimation animation_;
  int32_t reservedSlot_ = -1;
  // The slot the last animation was started in (the reserved one, or one the
  // engine lent).
  int32_t runningSlot_ = -1;
  std::unique_ptr<TskBitmap> before_;
  std::unique_ptr<TskBitmap> after_;
  TSkControlEffectCanvas effectCanvas_;
  bool handingOff_ = false;

  TSkExtraSoundOptions soundOptions_ = 0;
  TSkExtraWaveList* waveList_ = nullptr;
  int32_t waveClickIndex_ = -1;
  int32_t waveInIndex_ = -1;
  int32_t waveOutIndex_ = -1;
  TSkBitBtnKind kind_ = bkCustom;
  int modalResult_ = 0;
};

#include "skin/controls/sk_effect_controls.h"

#include "runtime/scope_exit.h"

TSkSoundSettings& GlobalSoundSettings() {
  static TSkSoundSettings settings;
  return settings;
}

// ---- TSkControlEffectCanvas ---------------------------------------------------------

void TSkControlEffectCanvas::DrawFrame(const TskBitmap& frame, int32_t x, int32_t y) {
  TPoint offset{0, 0};
  TWinControl* host = control_.HostWindow(&offset);
  if (host == nullptr || !host->HandleAllocated() || !control_.Showing()) return;
  HWND window = host->Handle();
  HDC dc = GetDC(window);
  if (dc == nullptr) return;
  const TScopeExit release([window, dc] { ReleaseDC(window, dc); });
  IntersectClipRect(dc, offset.X, offset.Y, offset.X + control_.Width(), offset.Y + control_.Height());
  frame.Draw(dc, offset.X + x, offset.Y + y);
}

// ---- TSkEffectSpeedButton -------------------------------------------------------------

TSkEffectSpeedButton::TSkEffectSpeedButton(TComponent* owner)
    : TSkSpeedButton(owner),
      before_(std::make_unique<TskBitmap>()),
      after_(std::make_unique<TskBitmap>()),
      effectCanvas_(*this) {
  animation_.SetEnabled(true);
  animation_.SetResolution(10);
  reservedSlot_ = ReserveEffectSlot();
}

TSkEffectSpeedButton::~TSkEffectSpeedButton() {
  // The engine refers to the pictures and the canvas until the animation
  // ends: end it before they go.
  StopAnimation();
  if (reservedSlot_ >= 0) ReleaseEffectSlot(reservedSlot_);
}

bool TSkEffectSpeedButton::Animating() const {
  if (runningSlot_ < 0 || !EffectRunning(runningSlot_)) return false;
  // A lent slot may since serve another owner.
  return EffectEngine().Slot(runningSlot_).Canvas == &effectCanvas_;
}

void TSkEffectSpeedButton::StopAnimation() {
  if (Animating()) StopEffect(runningSlot_);
  runningSlot_ = -1;
}

void TSkEffectSpeedButton::Invalidate() {
  if (!handingOff_) StopAnimation();
  TSkSpeedButton::Invalidate();
}

void TSkEffectSpeedButton::SetWaveList(TSkExtraWaveList* value) {
  waveList_ = value;
  if (value == nullptr) {
    waveInIndex_ = -1;
    waveOutIndex_ = -1;
  }
}

bool TSkEffectSpeedButton::UsesGlobalSounds() const {
  return (soundOptions_ & SoundOptionBit(esoIgnoreGlobalOptions)) == 0;
}

void TSkEffectSpeedButton::PaintLook(TskBitmap& picture) {
  picture.SetSize(Width(), Height());
  picture.Transparent = false;
  picture.AlphaBlend = false;
  PaintInto(picture.DC());
  GdiFlush();
}

bool TSkEffectSpeedButton::AnimateHotChange(bool entering) {
  if (!Enabled() || !animation_.Enabled()) return false;
  handingOff_ = true;
  const TScopeExit done([this] { handingOff_ = false; });
  if (entering) {
    if (OnMouseEnter) OnMouseEnter(this);
  } else {
    if (OnMouseLeave) OnMouseLeave(this);
  }
  StopAnimation();
  PaintLook(*before_);
  SetMouseInControl(entering);
  PaintLook(*after_);
  TskAnimationRec& settings = animation_.AnimationRec();
  settings.SetEffect(entering ? animation_.EffectMouseEnter() : animation_.EffectMouseLeave());
  runningSlot_ = StartEffect(&effectCanvas_, 0, 0, before_.get(), after_.get(), settings, reservedSlot_);
  // An effect that did not start (none free, unknown name, no area) must
  // still show the new look.
  if (!Animating()) {
    runningSlot_ = -1;
    handingOff_ = false;
    TSkSpeedButton::Invalidate();
  }
  return true;
}

void TSkEffectSpeedButton::MouseEnter() {
  const TSkSoundSettings& sounds = GlobalSoundSettings();
  if (sounds.Enabled && UsesGlobalSounds() && (sounds.EventMask & TSkSoundSettings::kButtonSounds) != 0) {
    PlayWave(LibraryWaveList(), sounds.EnterIndex);
  }
  if (!AnimateHotChange(true)) TSkSpeedButton::MouseEnter();
}

void TSkEffectSpeedButton::MouseLeave() {
  const TSkSoundSettings& sounds = GlobalSoundSettings();
  if (UsesGlobalSounds() && sounds.Enabled) {
    PlayWave(LibraryWaveList(), sounds.LeaveIndex);
  } else {
    PlayWave(waveList_, waveOutIndex_);
  }
  if (!AnimateHotChange(false)) TSkSpeedButton::MouseLeave();
}

void TSkEffectSpeedButton::Click() {
  if (PressState() == kPressChevron) return;
  const TSkSoundSettings& sounds = GlobalSoundSettings();
  if (sounds.Enabled && UsesGlobalSounds() && (sounds.EventMask & TSkSoundSettings::kButtonSounds) != 0) {
    PlayWave(LibraryWaveList(), sounds.ClickIndex);
  }
  TSkSpeedButton::Click();
}

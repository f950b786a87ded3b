// Settings, registry and engine of the transition effects. Frame composition
// is in sk_effect_frames.cpp, the effect procedures in sk_effect_procs.cpp,
// the platform hosts in sk_effect_win.cpp / sk_effect_posix.cpp.
#include "graphics/sk_effect.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "runtime/ansi.h"
#include "graphics/sk_effect_procs.h"

// ---- arithmetic --------------------------------------------------------------

int32_t Near(double value) {
  if (std::isnan(value)) return 0;
  // The default rounding mode rounds halves to the even neighbour.
  const double rounded = std::nearbyint(value);
  if (rounded >= 2147483647.0) return INT32_MAX;
  if (rounded <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(rounded);
}

int32_t MulDiv64(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = int64_t{a} * b;
  int64_t quotient = product / c;
  const int64_t remainder = product % c;
  // |remainder| < |c| ≤ 2^31, so doubling it cannot overflow.
  const int64_t twice = 2 * (remainder < 0 ? -remainder : remainder);
  if (twice >= (c < 0 ? -int64_t{c} : int64_t{c})) quotient += (product < 0) != (c < 0) ? -1 : 1;
  if (quotient > INT32_MAX || quotient < INT32_MIN) return -1;
  return static_cast<int32_t>(quotient);
}

int32_t TskRandom::Next(int32_t range) {
  state_ = state_ * 1664525u + 1013904223u;
  if (range <= 0) return 0;
  // The high bits of the state are the well-mixed ones: scale them.
  return static_cast<int32_t>((uint64_t{state_} * static_cast<uint32_t>(range)) >> 32);
}

// ---- settings ------------------------------------------------------------------

TskRotation DirectionToRotation(TSkDirection direction) {
  switch (direction) {
    case kdRotate90: return krRotate90;
    case kdRotate180: return krRotate180;
    case kdRotate270: return krRotate270;
    default: return krNone;
  }
}

TSkDirection RotationToDirection(TskRotation rotation) {
  switch (rotation) {
    case krRotate90: return kdRotate90;
    case krRotate180: return kdRotate180;
    case krRotate270: return kdRotate270;
    default: return kdNone;
  }
}

TskAnimationRec::TskAnimationRec() : effect_(kRandomEffectName) {}

void TskAnimationRec::SetResolution(int32_t value) {
  resolution_ = value;
  if (resolution_ <= 0) resolution_ = 1;
  if (resolution_ > kMaxResolution) resolution_ = kMaxResolution;
}

void TskAnimationRec::SetTileCount(int32_t value) {
  tileCount_ = value;
  if (tileCount_ <= 0) tileCount_ = 1;
  if (tileCount_ > kMaxTileCount) tileCount_ = kMaxTileCount;
}

void TskAnimationRec::SetTime(int32_t value) {
  time_ = value;
  if (time_ <= kMinTime) time_ = kMinTime;
  if (time_ > kMaxTime) time_ = kMaxTime;
}

void TskAnimationRec::Assign(const TskAnimationRec& source) {
  if (&source == this) return;
  bitmap_.Assign(source.bitmap_);
  effect_ = source.effect_;
  enabled_ = source.enabled_;
  resolution_ = source.resolution_;
  rotation_ = source.rotation_;
  tileCount_ = source.tileCount_;
  time_ = source.time_;
}

void TSkAdvancedAnimation::SetTime(int32_t value) {
  TSkExtAnimation::SetTime(value);
  AnimationRec().SetTime(std::clamp(AnimationRec().Time(), TskAnimationRec::kMinTime, kMaxTime));
}

void TSkAdvancedAnimation::Assign(const TSkExtAnimation& source) {
  TSkExtAnimation::Assign(source);
  if (const auto* advanced = dynamic_cast<const TSkAdvancedAnimation*>(&source)) {
    effectMouseEnter_ = advanced->effectMouseEnter_;
    effectMouseLeave_ = advanced->effectMouseLeave_;
  }
}

// ---- registry --------------------------------------------------------------------

namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AnsiUpperChar(a[i]) != AnsiUpperChar(b[i])) return false;
  }
  return true;
}

// The registry and the name list are made together, once: the list shows
// what was registered at start-up.
struct TEffectCatalogue {
  TskProcList list;
  std::vector<std::string> names;

  TEffectCatalogue() {
    RegisterStandardEffects(list);
    names.emplace_back(kRandomEffectName);
    names.emplace_back(kBitmapEffectName);
    for (int32_t i = 0; i < list.Count(); ++i) names.push_back(list.Item(i).Name);
  }
};

TEffectCatalogue& Catalogue() {
  static TEffectCatalogue catalogue;
  return catalogue;
}

}  // namespace

std::string_view EffectPrefix(uint8_t kind) {
  switch (kind) {
    case kMaskEffect: return "[ FADE ] - ";
    case kDisplacementEffect: return "[ SLIDE ] - ";
    case kDirectEffect: return "[ MANUAL ] - ";
    default: return {};
  }
}

bool TskProcItem::HasProcedure() const {
  return std::visit(
      [](auto procedure) {
        if constexpr (std::is_same_v<decltype(procedure), std::monostate>) {
          return false;
        } else {
          return procedure != nullptr;
        }
      },
      Procedure);
}

std::string_view TskProcItem::BaseName() const {
  const std::string_view name = Name;
  const std::string_view prefix = EffectPrefix(Kind);
  return name.starts_with(prefix) ? name.substr(prefix.size()) : name;
}

const TskProcItem& TskProcList::Register(std::string_view baseName, uint8_t kind, TskEffectProc procedure) {
  const std::string_view prefix = EffectPrefix(kind);
  if (prefix.empty()) throw std::invalid_argument("unknown effect kind");
  if (procedure.index() != 0 && procedure.index() != size_t{kind} + 1u) {
    throw std::invalid_argument("effect procedure does not match its kind");
  }
  auto item = std::make_unique<TskProcItem>();
  item->Kind = kind;
  item->Procedure = procedure;
  item->Name = std::string(prefix) + std::string(baseName);
  const bool comparable = item->HasProcedure();
  for (const auto& existing : items_) {
    if (SameText(existing->Name, item->Name) || (comparable && existing->Procedure == procedure)) {
      throw EProcItemError(Format("Effect procedute %s already exists in list", std::string(baseName).c_str()));
    }
  }
  items_.push_back(std::move(item));
  return *items_.back();
}

const TskProcItem* TskProcList::Find(std::string_view name) const {
  for (const auto& item : items_) {
    if (SameText(item->Name, name)) return item.get();
  }
  for (const auto& item : items_) {
    if (SameText(item->BaseName(), name)) return item.get();
  }
  return nullptr;
}

TskProcList& EffectList() { return Catalogue().list; }

void RegisterEffect(std::string_view name, uint8_t kind, TskEffectProc procedure) {
  EffectList().Register(name, kind, procedure);
}

const TskProcItem* FindEffect(std::string_view name) { return EffectList().Find(name); }

const std::vector<std::string>& EffectNameList() { return Catalogue().names; }

// ---- stopwatch ---------------------------------------------------------------------

TskTimer::TskTimer() {
  frequency_ = std::max<int64_t>(PerformanceFrequency(), 1);
  const int64_t first = PerformanceCounter();
  const int64_t second = PerformanceCounter();
  overhead_ = second - first;
}

void TskTimer::Start() { start_ = PerformanceCounter(); }

void TskTimer::Stop() { stop_ = PerformanceCounter(); }

double TskTimer::Elapsed() const {
  // A reading shorter than the measured overhead would be negative and turn
  // an animation's clock back.
  const int64_t ticks = std::max<int64_t>(stop_ - start_ - overhead_, 0);
  return static_cast<double>(ticks) / static_cast<double>(frequency_);
}

// ---- engine ------------------------------------------------------------------------

namespace {

// The old picture as the start of a frame. Both images have the same size
// by the caller's contract; copying only the common part keeps a caller
// that broke it from making the engine read or write past either.
void CopyOldPicture(const TskBitmap& oldImage, TskBitmap& work) {
  const int32_t width = std::min(oldImage.Width(), work.Width());
  const int32_t height = std::min(oldImage.Height(), work.Height());
  if (width <= 0 || height <= 0) return;
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(work.Row(y), oldImage.Row(y), static_cast<size_t>(width) * sizeof(TskPixel));
  }
}

}  // namespace

TskEffectEngine::TskEffectEngine(TskEffectHost& host, uint32_t randomSeed, const TskProcList& effects)
    : host_(&host), effects_(effects), random_(randomSeed) {
  // Work images are bitmaps freed by this engine: the bitmap library's
  // registry must outlive it, so it is made before the engine is complete.
  TskBitmap ensureBitmapRegistry;
}

TskEffectEngine::TskEffectEngine()
    : ownedHost_(CreatePlatformEffectHost(*this)),
      host_(ownedHost_.get()),
      effects_(EffectList()),
      random_(static_cast<uint32_t>(PerformanceCounter())) {
  TskBitmap ensureBitmapRegistry;
}

TskEffectEngine::~TskEffectEngine() {
  if (timerEnabled_) host_->SetTimerEnabled(false);
}

void TskEffectEngine::UpdateTimer() {
  const bool anyActive = std::any_of(slots_.begin(), slots_.end(), [](const auto& s) { return s.Active; });
  if (anyActive == timerEnabled_) return;
  timerEnabled_ = anyActive;
  host_->SetTimerEnabled(anyActive);
}

int32_t TskEffectEngine::ReserveSlot() {
  for (int32_t i = 0; i < kSlotCount; ++i) {
    TskEffectSlot& slot = slots_[static_cast<size_t>(i)];
    if (!slot.Active && !slot.Reserved) {
      slot.Reserved = true;
      return i;
    }
  }
  return -1;
}

void TskEffectEngine::ReleaseSlot(int32_t slot) {
  if (slot >= 0 && slot < kSlotCount) slots_[static_cast<size_t>(slot)].Reserved = false;
}

int32_t TskEffectEngine::Start(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage,
                               TskBitmap* newImage, const TskAnimationRec& settings, int32_t slot) {
  int32_t index = slot;
  if (index == -1) {
    for (int32_t i = 0; i < kSlotCount && index == -1; ++i) {
      const TskEffectSlot& candidate = slots_[static_cast<size_t>(i)];
      if (!candidate.Active && !candidate.Reserved) index = i;
    }
    if (index == -1) return -1;
  } else if (index < 0 || index >= kSlotCount) {
    return -1;
  }
  TskEffectSlot& s = slots_[static_cast<size_t>(index)];
  // A new animation in a slot that still runs one replaces it; its buffers
  // and work image belong to the old pictures.
  if (s.Active) StopSlot(s);
  s.Canvas = canvas;
  s.X = x;
  s.Y = y;
  s.OldImage = oldImage;
  s.NewImage = newImage;
  s.AnimationRec = &settings;
  s.Item = nullptr;
  s.BitmapEffect = false;
  if (oldImage == nullptr || newImage == nullptr || oldImage->IsEmpty() || newImage->IsEmpty()) return index;

  // The random choice is made only for the exact text; the same text in
  // other letter case is an ordinary name that no effect has.
  std::string_view name = settings.Effect();
  if (name == kRandomEffectName && effects_.Count() > 0) name = effects_.Item(random_.Next(effects_.Count())).Name;
  if (name == kBitmapEffectName) {
    s.BitmapEffect = true;
  } else {
    s.Item = effects_.Find(name);
    if (s.Item == nullptr || !s.Item->HasProcedure()) return index;
  }

  PrepareEffectFrames(s);
  s.Clock = 0.01f;
  s.Active = true;
  s.Busy = false;
  UpdateTimer();
  return index;
}

void TskEffectEngine::StopSlot(TskEffectSlot& slot) {
  ReleaseEffectFrames(slot);
  slot.Active = false;
  UpdateTimer();
}

void TskEffectEngine::Stop(int32_t slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  TskEffectSlot& s = slots_[static_cast<size_t>(slot)];
  if (!s.Active || s.NewImage == nullptr || s.OldImage == nullptr) return;
  StopSlot(s);
}

bool TskEffectEngine::Running(int32_t slot) const {
  return slot >= 0 && slot < kSlotCount && slots_[static_cast<size_t>(slot)].Active;
}

void TskEffectEngine::Run(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage,
                          TskBitmap* newImage, const TskAnimationRec& settings) {
  const int32_t slot = Start(canvas, x, y, oldImage, newImage, settings, -1);
  while (Running(slot)) {
    if (!host_->ProcessMessages()) {
      // The application is ending: nobody will see the rest.
      Stop(slot);
      return;
    }
  }
}

void TskEffectEngine::Play(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage,
                           TskBitmap* newImage, const TskAnimationRec& settings) {
  const int32_t slot = Start(canvas, x, y, oldImage, newImage, settings, -1);
  auto next = std::chrono::steady_clock::now();
  while (Running(slot)) {
    next += std::chrono::milliseconds(kTickInterval);
    std::this_thread::sleep_until(next);
    next = std::max(next, std::chrono::steady_clock::now());
    try {
      Tick();
    } catch (...) {
      // Nobody waits for the rest, and the canvas may not outlive the call.
      Stop(slot);
      throw;
    }
  }
}

void TskEffectEngine::Tick() {
  host_->StartStopwatch();
  for (TskEffectSlot& slot : slots_) {
    if (slot.NewImage == nullptr || slot.OldImage == nullptr || slot.WorkImage == nullptr || !slot.Active) continue;
    slot.Clock += static_cast<float>(kTickInterval);
    // A frame of this slot is being drawn further up the stack.
    if (slot.Busy) continue;
    slot.Busy = true;
    try {
      int32_t percentage = Near(static_cast<double>(slot.Clock) / slot.AnimationRec->Time() * 100.0);
      percentage = std::clamp(percentage, 0, 100);
      CopyOldPicture(*slot.OldImage, *slot.WorkImage);
      ComposeEffectFrame(slot, percentage);
      if (slot.Canvas != nullptr) slot.Canvas->DrawFrame(*slot.WorkImage, slot.X, slot.Y);
      if (percentage == 100) StopSlot(slot);
    } catch (...) {
      // The slot stays active: the next tick tries again.
      slot.Busy = false;
      throw;
    }
    slot.Busy = false;
  }
  const auto drawingMs = static_cast<float>(host_->StopStopwatch() * 1000.0);
  for (TskEffectSlot& slot : slots_) slot.Clock += drawingMs;
}

// ---- the process's engine -----------------------------------------------------------

TskEffectEngine& EffectEngine() {
  static TskEffectEngine engine;
  return engine;
}

int32_t ReserveEffectSlot() { return EffectEngine().ReserveSlot(); }

void ReleaseEffectSlot(int32_t slot) { EffectEngine().ReleaseSlot(slot); }

int32_t StartEffect(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
                    const TskAnimationRec& settings, int32_t slot) {
  return EffectEngine().Start(canvas, x, y, oldImage, newImage, settings, slot);
}

void StopEffect(int32_t slot) { EffectEngine().Stop(slot); }

bool EffectRunning(int32_t slot) { return EffectEngine().Running(slot); }

void RunEffect(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
               const TskAnimationRec& settings) {
  EffectEngine().Run(canvas, x, y, oldImage, newImage, settings);
}

void PlayEffect(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
                const TskAnimationRec& settings) {
  EffectEngine().Play(canvas, x, y, oldImage, newImage, settings);
}

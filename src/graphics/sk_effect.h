// Transition effects: a change of look from an old picture to a new picture
// of the same size, shown as a sequence of frames drawn onto a canvas.
//
// The unit has three layers:
//   - settings: TskAnimationRec and the persistent wrappers controls carry;
//   - effect procedures: pure functions that draw one frame's pattern (a
//     byte mask, a displacement grid, or the frame itself) for a percentage,
//     kept in a registry under display names;
//   - the engine: a fixed table of 201 slots advanced by one shared 20 ms
//     timer. Each tick adds 20 ms plus the tick's own measured drawing time
//     to every running animation's clock, so an animation's length does not
//     depend on how late the platform delivers its ticks.
//
// Everything but the platform host (timer, stopwatch counter, message pump,
// device-context canvas) is portable and runs natively; the engine reaches
// the platform only through TskEffectHost and TskEffectCanvas.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/exceptions.h"
#include "graphics/sk_bitmap.h"

// Raised by RegisterEffect for a name or procedure that is already registered.
EBOOK_DECLARE_EXCEPTION(EProcItemError, Exception);

inline constexpr std::string_view kRandomEffectName = "[ RANDOM ] - Random selection";
inline constexpr std::string_view kBitmapEffectName = "[ BITMAP ] - Bitmap Animation";
inline constexpr std::string_view kFadeEffectName = "[ FADE ] - Fade";

// ---- arithmetic of the effects ---------------------------------------------

// The integer nearest to value, halves going to the even neighbour; 0 for NaN,
// saturated at the 32-bit range.
int32_t Near(double value);
// a · b / c with the product in 64 bits, rounded to nearest with halves away
// from zero. -1 when c is 0 or the result does not fit in 32 bits.
int32_t MulDiv64(int32_t a, int32_t b, int32_t c);

// The pseudo-random generator of the effects: a 32-bit linear congruential
// sequence. Next(range) is in 0 … range - 1 (0 for range ≤ 0).
class TskRandom {
 public:
  explicit TskRandom(uint32_t seed) : state_(seed) {}
  int32_t Next(int32_t range);

 private:
  uint32_t state_;
};

// ---- settings ---------------------------------------------------------------

enum TskRotation : uint8_t { krNone, krRotate90, krRotate180, krRotate270 };
enum TSkDirection : uint8_t { kdNone, kdNoRotate, kdRotate90, kdRotate180, kdRotate270 };

// kdNoRotate has no rotation of its own: it maps to krNone, which reads back
// as kdNone.
TskRotation DirectionToRotation(TSkDirection direction);
TSkDirection RotationToDirection(TskRotation rotation);

// The settings of one animation. Every setter stores its value and then
// clamps it into the property's range.
class TskAnimationRec {
 public:
  static constexpr int32_t kMinTime = 50, kMaxTime = 9000, kDefaultTime = 400;
  static constexpr int32_t kMaxResolution = 10;
  static constexpr int32_t kMaxTileCount = 20;

  TskAnimationRec();
  TskAnimationRec(const TskAnimationRec&) = delete;
  TskAnimationRec& operator=(const TskAnimationRec&) = delete;

  // Grey-level map of the BITMAP effect; assignment copies the pixels.
  const TskBitmap& Bitmap() const { return bitmap_; }
  void SetBitmap(const TskBitmap& value) { bitmap_.Assign(value); }
  const std::string& Effect() const { return effect_; }
  void SetEffect(std::string_view value) { effect_ = value; }
  // Whether the owner animates at all; the engine itself never looks at it.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  // Edge of one mask cell in pixels, 1 … 10.
  int32_t Resolution() const { return resolution_; }
  void SetResolution(int32_t value);
  TskRotation Rotation() const { return rotation_; }
  void SetRotation(TskRotation value) { rotation_ = value; }
  // The pattern is repeated TileCount × TileCount times, 1 … 20.
  int32_t TileCount() const { return tileCount_; }
  void SetTileCount(int32_t value);
  // Nominal duration in milliseconds, 50 … 9000.
  int32_t Time() const { return time_; }
  void SetTime(int32_t value);

  void Assign(const TskAnimationRec& source);

 private:
  TskBitmap bitmap_;
  std::string effect_;
  bool enabled_ = false;
  int32_t resolution_ = 1;
  TskRotation rotation_ = krNone;
  int32_t tileCount_ = 1;
  int32_t time_ = kDefaultTime;
};

// The persistent form of the settings on a control that picks its effect by
// name. Every property forwards to the owned record.
class TSkAnimation {
 public:
  TskAnimationRec& AnimationRec() { return rec_; }
  const TskAnimationRec& AnimationRec() const { return rec_; }

  TSkDirection Direction() const { return RotationToDirection(rec_.Rotation()); }
  void SetDirection(TSkDirection value) { rec_.SetRotation(DirectionToRotation(value)); }
  const std::string& EffectKind() const { return rec_.Effect(); }
  void SetEffectKind(std::string_view value) { rec_.SetEffect(value); }
  bool Enabled() const { return rec_.Enabled(); }
  void SetEnabled(bool value) { rec_.SetEnabled(value); }
  int32_t Resolution() const { return rec_.Resolution(); }
  void SetResolution(int32_t value) { rec_.SetResolution(value); }
  int32_t TileCount() const { return rec_.TileCount(); }
  void SetTileCount(int32_t value) { rec_.SetTileCount(value); }
  int32_t Time() const { return rec_.Time(); }
  void SetTime(int32_t value) { rec_.SetTime(value); }

  void Assign(const TSkAnimation& source) { rec_.Assign(source.rec_); }

 private:
  TskAnimationRec rec_;
};

// As TSkAnimation without the effect name: the owner decides the effect.
class TSkExtAnimation {
 public:
  virtual ~TSkExtAnimation() = default;

  TskAnimationRec& AnimationRec() { return rec_; }
  const TskAnimationRec& AnimationRec() const { return rec_; }

  TSkDirection Direction() const { return RotationToDirection(rec_.Rotation()); }
  void SetDirection(TSkDirection value) { rec_.SetRotation(DirectionToRotation(value)); }
  bool Enabled() const { return rec_.Enabled(); }
  void SetEnabled(bool value) { rec_.SetEnabled(value); }
  int32_t Resolution() const { return rec_.Resolution(); }
  void SetResolution(int32_t value) { rec_.SetResolution(value); }
  int32_t TileCount() const { return rec_.TileCount(); }
  void SetTileCount(int32_t value) { rec_.SetTileCount(value); }
  int32_t Time() const { return rec_.Time(); }
  virtual void SetTime(int32_t value) { rec_.SetTime(value); }

  virtual void Assign(const TSkExtAnimation& source) { rec_.Assign(source.rec_); }

 private:
  TskAnimationRec rec_;
};

// The settings of a control with one effect for the mouse entering and one
// for it leaving. Its animations are short: Time is at most 3000 ms.
class TSkAdvancedAnimation : public TSkExtAnimation {
 public:
  static constexpr int32_t kMaxTime = 3000;

  const TskBitmap& Bitmap() const { return AnimationRec().Bitmap(); }
  void SetBitmap(const TskBitmap& value) { AnimationRec().SetBitmap(value); }
  const std::string& EffectMouseEnter() const { return effectMouseEnter_; }
  void SetEffectMouseEnter(std::string_view value) { effectMouseEnter_ = value; }
  const std::string& EffectMouseLeave() const { return effectMouseLeave_; }
  void SetEffectMouseLeave(std::string_view value) { effectMouseLeave_ = value; }

  void SetTime(int32_t value) override;
  void Assign(const TSkExtAnimation& source) override;

 private:
  std::string effectMouseEnter_{kFadeEffectName};
  std::string effectMouseLeave_{kFadeEffectName};
};

// ---- effect procedures and their registry -----------------------------------

// The kind of an effect decides what its procedure receives and how the
// engine turns that into a frame.
inline constexpr uint8_t kMaskEffect = 0;          // "[ FADE ] - "
inline constexpr uint8_t kDisplacementEffect = 1;  // "[ SLIDE ] - "
inline constexpr uint8_t kDirectEffect = 2;        // "[ MANUAL ] - "

// One cell of a displacement grid: the low byte of Alpha is the cell's alpha
// (the high byte is ignored), SourceX/SourceY the cell of the new picture it
// shows.
struct TskDisplacement {
  uint16_t Alpha = 0;
  uint16_t SourceX = 0;
  uint16_t SourceY = 0;
};
static_assert(sizeof(TskDisplacement) == 6);

// Procedures get a cleared buffer of width × height cells (row-major) and
// the percentage 0 … 100. A direct procedure draws the frame into the work
// image, which holds the old picture when it is called.
using TskMaskProc = void (*)(std::span<uint8_t> mask, int32_t width, int32_t height, int32_t percentage);
using TskDisplacementProc = void (*)(std::span<TskDisplacement> grid, int32_t width, int32_t height,
                                     int32_t percentage);
using TskDirectProc = void (*)(TskBitmap& work, const TskBitmap& newImage, const TskAnimationRec& settings,
                               int32_t percentage);
// The alternative held matches the item's kind; monostate is an item
// without procedure.
using TskEffectProc = std::variant<std::monostate, TskMaskProc, TskDisplacementProc, TskDirectProc>;

struct TskProcItem {
  uint8_t Kind = kMaskEffect;
  TskEffectProc Procedure;
  std::string Name;  // the display name: the kind's prefix and the base name

  bool HasProcedure() const;
  // Name without the kind's prefix.
  std::string_view BaseName() const;
};

// "[ FADE ] - ", "[ SLIDE ] - " or "[ MANUAL ] - "; empty for other kinds.
std::string_view EffectPrefix(uint8_t kind);

// Items keep their addresses for the life of the list: running animations
// refer to them.
class TskProcList {
 public:
  // Appends kind's prefix + baseName. Raises EProcItemError "Effect
  // procedute %s already exists in list" (with the base name) when the
  // display name is registered already, ignoring case, or the procedure is.
  // A procedure that does not match kind raises std::invalid_argument.
  const TskProcItem& Register(std::string_view baseName, uint8_t kind, TskEffectProc procedure);
  // First pass: the first item whose display name equals name ignoring case;
  // second pass: the first whose base name does.
  const TskProcItem* Find(std::string_view name) const;
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  const TskProcItem& Item(int32_t index) const { return *items_.at(static_cast<size_t>(index)); }

 private:
  std::vector<std::unique_ptr<TskProcItem>> items_;
};

// The process's registry, holding the standard effects in their fixed order
// from first use on.
TskProcList& EffectList();
void RegisterEffect(std::string_view name, uint8_t kind, TskEffectProc procedure);
const TskProcItem* FindEffect(std::string_view name);
// The names offered to whoever lets a user choose an effect: the random and
// the BITMAP pseudo-effects, then the standard effects in registration order.
const std::vector<std::string>& EffectNameList();

// ---- frames -------------------------------------------------------------------

// Where the frames of an animation are drawn.
class TskEffectCanvas {
 public:
  virtual ~TskEffectCanvas() = default;
  virtual void DrawFrame(const TskBitmap& frame, int32_t x, int32_t y) = 0;
};

// Draws frames into a bitmap (a plain copy: the work image has no flags).
class TskBitmapCanvas final : public TskEffectCanvas {
 public:
  explicit TskBitmapCanvas(TskBitmap& target) : target_(target) {}
  void DrawFrame(const TskBitmap& frame, int32_t x, int32_t y) override { frame.DrawOnto(target_, x, y); }

 private:
  TskBitmap& target_;
};

#ifdef _WIN32
// Draws frames into a device context (a window's, the screen's, a bitmap's).
class TskDcCanvas final : public TskEffectCanvas {
 public:
  explicit TskDcCanvas(HDC dc) : dc_(dc) {}
  void DrawFrame(const TskBitmap& frame, int32_t x, int32_t y) override { frame.Draw(dc_, x, y); }

 private:
  HDC dc_;
};
#endif

// One animation slot. The references are the caller's (images, settings,
// canvas) or the registry's (Item); the slot owns its buffers and WorkImage.
struct TskEffectSlot {
  int32_t CellsX = 0;
  int32_t CellsY = 0;
  int32_t BufferSize = 0;  // bytes of each buffer allocated at start
  std::vector<uint8_t> Mask;
  // The procedure's pattern when it is turned; the BITMAP effect's map.
  std::vector<uint8_t> RotatedMask;
  std::vector<TskDisplacement> Displacement;
  bool Active = false;
  bool Busy = false;
  bool Reserved = false;
  float Clock = 0;  // elapsed animation time, ms
  const TskAnimationRec* AnimationRec = nullptr;
  TskBitmap* NewImage = nullptr;
  const TskBitmap* OldImage = nullptr;
  std::unique_ptr<TskBitmap> WorkImage;
  const TskProcItem* Item = nullptr;  // none for the BITMAP effect
  TskEffectCanvas* Canvas = nullptr;
  int32_t X = 0;
  int32_t Y = 0;
  // The geometry the buffers were sized for, taken from the settings at
  // start: a caller changing its settings mid-animation cannot make a frame
  // read past a buffer.
  bool BitmapEffect = false;
  int32_t Resolution = 1;
  int32_t TileCount = 1;
  TskRotation Rotation = krNone;
};

// Sizes the buffers and WorkImage for the slot's OldImage, AnimationRec and
// Item (or BitmapEffect). Allocation failures propagate; the slot is then
// released.
void PrepareEffectFrames(TskEffectSlot& slot);
// Composes the frame for percentage into WorkImage, which holds the old
// picture. Mask and direct effects set the alpha of NewImage's key-colour
// pixels to 0, and mask effects overwrite the alpha of all its other pixels.
void ComposeEffectFrame(TskEffectSlot& slot, int32_t percentage);
void ReleaseEffectFrames(TskEffectSlot& slot);

// Turns a procedure's pattern (CellsY × CellsX for the quarter turns, else
// CellsX × CellsY) into the mask of cellsX × cellsY cells.
void OrientMask(std::span<const uint8_t> pattern, std::span<uint8_t> mask, int32_t cellsX, int32_t cellsY,
                TskRotation rotation);
// The displacement entry for cell (x, y) of the grid, read from the
// procedure's pattern with its source cell turned alike.
TskDisplacement OrientedEntry(std::span<const TskDisplacement> pattern, int32_t cellsX, int32_t cellsY,
                              TskRotation rotation, int32_t x, int32_t y);

// ---- engine ---------------------------------------------------------------------

// A stopwatch over the platform's high-resolution counter. It measures its
// own overhead once (two back-to-back reads) and takes it off every reading.
class TskTimer {
 public:
  TskTimer();
  void Start();
  void Stop();
  // Seconds between Start and Stop; never negative.
  double Elapsed() const;

 private:
  int64_t frequency_ = 1;
  int64_t overhead_ = 0;
  int64_t start_ = 0;
  int64_t stop_ = 0;
};

// The platform's high-resolution counter and its ticks per second.
int64_t PerformanceCounter();
int64_t PerformanceFrequency();

// What the engine needs from the platform.
class TskEffectHost {
 public:
  virtual ~TskEffectHost() = default;
  // Starts or stops the shared 20 ms timer; each firing calls the engine's
  // Tick on the GUI thread.
  virtual void SetTimerEnabled(bool enabled) = 0;
  // Measures the drawing time of one tick.
  virtual void StartStopwatch() = 0;
  virtual double StopStopwatch() = 0;  // seconds since StartStopwatch
  // Processes the pending messages once; false when the application is
  // ending (a blocking animation then stops waiting).
  virtual bool ProcessMessages() = 0;
};

class TskEffectEngine {
 public:
  static constexpr int32_t kSlotCount = 201;
  static constexpr int32_t kTickInterval = 20;  // ms

  // An engine on the given host with its own generator (tests).
  TskEffectEngine(TskEffectHost& host, uint32_t randomSeed, const TskProcList& effects = EffectList());
  // An engine on the platform's host, its generator seeded from the clock.
  TskEffectEngine();
  ~TskEffectEngine();
  TskEffectEngine(const TskEffectEngine&) = delete;
  TskEffectEngine& operator=(const TskEffectEngine&) = delete;

  // The first slot that is neither active nor reserved, now reserved; -1 when
  // there is none.
  int32_t ReserveSlot();
  void ReleaseSlot(int32_t slot);
  // Starts an animation in slot (a reserved index, or -1 for the first free
  // unreserved slot, which stays unreserved) and returns the slot used, or -1
  // when none is free. A missing or empty image, or an effect that is not
  // registered, leaves the slot inactive. Frames follow on timer ticks.
  int32_t Start(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
                const TskAnimationRec& settings, int32_t slot = -1);
  // Ends the slot's animation without drawing.
  void Stop(int32_t slot);
  bool Running(int32_t slot) const;
  // Blocking: starts in a free unreserved slot and processes messages until
  // the animation has ended (or did not start).
  void Run(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
           const TskAnimationRec& settings);
  // Blocking like Run, but without handling the thread's messages: the
  // engine ticks itself every interval until the animation has ended. For
  // callers that must not let the application run in between (a menu that
  // is about to take over the thread's messages).
  void Play(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
            const TskAnimationRec& settings);
  // One firing of the shared timer.
  void Tick();

  const TskEffectSlot& Slot(int32_t index) const { return slots_.at(static_cast<size_t>(index)); }
  bool TimerEnabled() const { return timerEnabled_; }

 private:
  void UpdateTimer();
  void StopSlot(TskEffectSlot& slot);

  std::unique_ptr<TskEffectHost> ownedHost_;
  TskEffectHost* host_ = nullptr;
  const TskProcList& effects_;
  TskRandom random_;
  std::array<TskEffectSlot, kSlotCount> slots_;
  bool timerEnabled_ = false;
};

// The platform's host for engine (sk_effect_win.cpp / sk_effect_posix.cpp).
std::unique_ptr<TskEffectHost> CreatePlatformEffectHost(TskEffectEngine& engine);

// The process's engine, created on first use.
TskEffectEngine& EffectEngine();

int32_t ReserveEffectSlot();
void ReleaseEffectSlot(int32_t slot);
int32_t StartEffect(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
                    const TskAnimationRec& settings, int32_t slot);
void StopEffect(int32_t slot);
bool EffectRunning(int32_t slot);
void RunEffect(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
               const TskAnimationRec& settings);
void PlayEffect(TskEffectCanvas* canvas, int32_t x, int32_t y, const TskBitmap* oldImage, TskBitmap* newImage,
                const TskAnimationRec& settings);

#ifdef _WIN32
// Receives what a frame drawn on a timer tick raised (nothing may escape
// into the platform's timer dispatch). Without a handler the message is
// shown in an error message box.
void SetEffectExceptionHandler(std::function<void(const std::exception&)> handler);
#endif

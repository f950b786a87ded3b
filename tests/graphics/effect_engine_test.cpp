// Settings, registry and engine of the transition effects: clamps, the
// registry's names and order, slots, and the clock rules of a tick, run on a
// host whose timer and stopwatch the test drives.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "graphics/sk_effect.h"
#include "graphics/pixel_helpers.h"

namespace {

class TFakeHost final : public TskEffectHost {
 public:
  bool Timer = false;
  int TimerChanges = 0;
  double DrawingSeconds = 0;  // what the stopwatch reads for every tick

  void SetTimerEnabled(bool enabled) override {
    Timer = enabled;
    ++TimerChanges;
  }
  void StartStopwatch() override {}
  double StopStopwatch() override { return DrawingSeconds; }
  int MessageRounds = 0;
  bool ProcessMessages() override {
    ++MessageRounds;
    return true;
  }
};

class TRecordingCanvas final : public TskEffectCanvas {
 public:
  explicit TRecordingCanvas(TskBitmap& target) : target_(target) {}
  int Draws = 0;
  std::function<void()> OnDraw;

  void DrawFrame(const TskBitmap& frame, int32_t x, int32_t y) override {
    ++Draws;
    if (OnDraw) OnDraw();
    frame.DrawOnto(target_, x, y);
  }

 private:
  TskBitmap& target_;
};

struct EngineOnFakeHost : testing::Test {
  TFakeHost host;
  TskEffectEngine engine{host, 12345};
  TskBitmap oldImage, newImage, screen;
  TRecordingCanvas canvas{screen};
  TskAnimationRec settings;

  EngineOnFakeHost() {
    oldImage.SetSize(100, 36);
    oldImage.Fill(0xFF000000);
    newImage.SetSize(100, 36);
    for (int32_t y = 0; y < 36; ++y) {
      for (int32_t x = 0; x < 100; ++x) newImage.SetPixelAt(x, y, Argb(255, x, y, 200));
    }
    screen.SetSize(120, 50);
    settings.SetEffect("Fade");
  }

  int32_t Start(int32_t slot = -1) { return engine.Start(&canvas, 10, 5, &oldImage, &newImage, settings, slot); }

  bool ScreenShowsNewPicture() const {
    for (int32_t y = 0; y < 36; ++y) {
      for (int32_t x = 0; x < 100; ++x) {
        if (screen.PixelAt(x + 10, y + 5) != Argb(255, x, y, 200)) return false;
      }
    }
    return true;
  }
};

}  // namespace

TEST(EffectSettings, SettersStoreThenClamp) {
  using TSetter = void (TskAnimationRec::*)(int32_t);
  using TGetter = int32_t (TskAnimationRec::*)() const;
  const auto check = [](TSetter set, TGetter get, std::initializer_list<std::pair<int32_t, int32_t>> cases) {
    for (auto [value, expected] : cases) {
      TskAnimationRec rec;
      (rec.*set)(value);
      EXPECT_EQ((rec.*get)(), expected) << "set " << value;
    }
  };
  check(&TskAnimationRec::SetTime, &TskAnimationRec::Time, {{10, 50}, {51, 51}, {20000, 9000}});
  check(&TskAnimationRec::SetResolution, &TskAnimationRec::Resolution, {{0, 1}, {-3, 1}, {10, 10}, {11, 10}});
  check(&TskAnimationRec::SetTileCount, &TskAnimationRec::TileCount, {{0, 1}, {20, 20}, {25, 20}});

  TskAnimationRec defaults;
  EXPECT_TRUE(defaults.Effect() == kRandomEffectName && !defaults.Enabled() && defaults.Time() == 400 &&
              defaults.Resolution() == 1 && defaults.TileCount() == 1 && defaults.Rotation() == krNone);
  TSkAdvancedAnimation advanced;
  EXPECT_EQ(advanced.EffectMouseEnter(), kFadeEffectName);
  EXPECT_EQ(advanced.EffectMouseLeave(), kFadeEffectName);
  for (auto [value, expected] : {std::pair{5000, 3000}, {10, 50}, {2999, 2999}, {20000, 3000}}) {
    advanced.SetTime(value);
    EXPECT_EQ(advanced.Time(), expected);
  }
  TSkAnimation wrapper;  // forwards to the record's clamps
  wrapper.SetResolution(11);
  EXPECT_EQ(wrapper.AnimationRec().Resolution(), 10);
}

TEST(EffectSettings, DirectionMapsOntoRotation) {
  struct {
    TSkDirection set;
    TskRotation rotation;
    TSkDirection read;
  } cases[] = {{kdNone, krNone, kdNone},
               {kdNoRotate, krNone, kdNone},
               {kdRotate90, krRotate90, kdRotate90},
               {kdRotate180, krRotate180, kdRotate180},
               {kdRotate270, krRotate270, kdRotate270}};
  for (const auto& c : cases) {
    TSkAnimation animation;
    animation.SetDirection(c.set);
    EXPECT_EQ(animation.AnimationRec().Rotation(), c.rotation);
    EXPECT_EQ(animation.Direction(), c.read);
  }
}

TEST(EffectRegistry, HoldsEveryStandardEffectInItsOrder) {
  const std::vector<std::string> order = {
      "SmoothDiagonal", "SmoothDiagonalIn", "SmoothDiagonalOut", "SmoothDown", "SmoothIn", "SmoothOut",
      "SmoothCrossOut", "SmoothCrossIn", "SmoothRectIn", "SmoothRectOut", "SlideDiagonal", "SlideDiagonalIn",
      "SlideDiagonalOut", "SlideDown", "SlideIn", "SlideOut", "SlideCrossOut", "SlideCrossIn", "SlideRectOut",
      "SlideRectIn", "Fade", "FadeDiagonal", "FadeDiagonalIn", "FadeDiagonalOut", "FadeDown", "FadeIn", "FadeOut",
      "FadeCrossOut", "FadeCrossIn", "FadeRectOut", "FadeRectIn", "Pixel", "Pixel fade", "Pixel line",
      "CircleSlideOut", "CircleFadeOut", "CircleSmoothOut", "CircleSlideIn", "CircleFadeIn", "CircleSmoothIn",
      "CircleSlide", "CircleFade", "CircleSmooth", "DiamondSlideIn", "DiamondFadeIn", "DiamondSmoothIn",
      "DiamondSlideOut", "DiamondFadeOut", "DiamondSmoothOut", "RotateSlide", "RotateFade", "RotateSmooth",
      "Stream", "Plasma", "Interlace", "Corner", "Slide", "Push"};
  ASSERT_EQ(EffectList().Count(), 58);
  const std::vector<std::string>& names = EffectNameList();
  ASSERT_EQ(names.size(), 60u);
  EXPECT_EQ(names[0], kRandomEffectName);
  EXPECT_EQ(names[1], kBitmapEffectName);
  for (int32_t i = 0; i < 58; ++i) {
    const TskProcItem& item = EffectList().Item(i);
    const uint8_t kind = i < 54 ? kMaskEffect : i < 56 ? kDisplacementEffect : kDirectEffect;
    EXPECT_EQ(item.Kind, kind) << order[i];
    EXPECT_EQ(item.Name, std::string(EffectPrefix(kind)) + order[i]);
    EXPECT_TRUE(item.HasProcedure());
    EXPECT_EQ(names[i + 2], item.Name);
  }
  EXPECT_EQ(EffectList().Item(20).Name, kFadeEffectName);
}

TEST(EffectRegistry, FindEffectIgnoresCaseThenThePrefix) {
  const TskProcItem* fade = &EffectList().Item(20);
  for (const char* name : {"Fade", "fade", "FADE", "[ FADE ] - Fade", "[ fade ] - fADE"}) {
    EXPECT_EQ(FindEffect(name), fade) << name;
  }
  // A base name that is also the start of others finds only itself.
  EXPECT_EQ(FindEffect("slide")->Name, "[ MANUAL ] - Slide");
  EXPECT_EQ(FindEffect("[ slide ] - interlace")->Name, "[ SLIDE ] - Interlace");
  for (const char* name : {"[ RANDOM ] - Random selection", "[ random ] - random selection",
                           "[ BITMAP ] - Bitmap Animation", "[ SLIDE ] - Fade", "", "Fade "}) {
    EXPECT_EQ(FindEffect(name), nullptr) << name;
  }
}

TEST(EffectRegistry, RefusesARegisteredNameOrProcedure) {
  const TskEffectProc fadeProcedure = FindEffect("Fade")->Procedure;
  const TskMaskProc other = [](std::span<uint8_t>, int32_t, int32_t, int32_t) {};
  const auto message = [](std::string_view name, TskEffectProc procedure) {
    try {
      RegisterEffect(name, kMaskEffect, procedure);
    } catch (const EProcItemError& e) {
      return e.Message;
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("Fade", other), "Effect procedute Fade already exists in list");
  EXPECT_EQ(message("fADE", other), "Effect procedute fADE already exists in list");
  EXPECT_EQ(message("Fade again", fadeProcedure), "Effect procedute Fade again already exists in list");
  EXPECT_EQ(EffectList().Count(), 58);

  // The same base name under another kind is another display name.
  TskProcList list;
  list.Register("Fade", kMaskEffect, other);
  EXPECT_NO_THROW(list.Register("Fade", kDisplacementEffect, TskEffectProc{}));
  EXPECT_THROW(list.Register("Odd", kDirectEffect, other), std::invalid_argument);
}

TEST_F(EngineOnFakeHost, FadeAdvancesFivePercentPerTickAndEndsOnTheNewPicture) {
  const int32_t slot = Start();
  ASSERT_EQ(slot, 0);
  ASSERT_TRUE(engine.Running(slot));
  EXPECT_TRUE(host.Timer);
  EXPECT_FLOAT_EQ(engine.Slot(slot).Clock, 0.01f);
  // The mask of a Fade frame holds Near(p / 100 × 255) in every cell.
  std::vector<int> alphas;
  canvas.OnDraw = [&] { alphas.push_back(engine.Slot(slot).Mask[0]); };
  for (int tick = 1; tick <= 19; ++tick) {
    engine.Tick();
    ASSERT_TRUE(engine.Running(slot)) << tick;
    EXPECT_NEAR(engine.Slot(slot).Clock, 0.01 + 20.0 * tick, 1e-3);
  }
  EXPECT_FALSE(ScreenShowsNewPicture());
  engine.Tick();
  EXPECT_FALSE(engine.Running(slot));
  EXPECT_FALSE(host.Timer);
  EXPECT_EQ(engine.Slot(slot).WorkImage, nullptr);
  ASSERT_EQ(alphas.size(), 20u);
  for (int tick = 1; tick <= 20; ++tick) EXPECT_EQ(alphas[tick - 1], Near(5 * tick / 100.0 * 255)) << tick;
  EXPECT_TRUE(ScreenShowsNewPicture());
  engine.Tick();  // nothing left to draw
  EXPECT_EQ(canvas.Draws, 20);
}

TEST_F(EngineOnFakeHost, MeasuredDrawingTimeAdvancesTheClock) {
  // 5 ms of drawing per tick: the clock reads 0.01 + 20k + 5(k-1) when tick
  // k draws, 98.75 % at tick 16 and past 100 % at tick 17.
  host.DrawingSeconds = 0.005;
  const int32_t slot = Start();
  int ticks = 0;
  while (engine.Running(slot) && ticks < 30) {
    engine.Tick();
    ++ticks;
  }
  EXPECT_EQ(ticks, 17);
  EXPECT_TRUE(ScreenShowsNewPicture());
}

TEST_F(EngineOnFakeHost, CellCountsFollowResolutionAndTiles) {
  struct {
    int32_t resolution, tiles, cellsX, cellsY;
  } cases[] = {{10, 1, 11, 4}, {1, 1, 101, 37}, {10, 2, 6, 2}, {3, 20, 2, 1}};
  for (const auto& c : cases) {
    settings.SetResolution(c.resolution);
    settings.SetTileCount(c.tiles);
    const int32_t slot = Start();
    EXPECT_EQ(engine.Slot(slot).CellsX, c.cellsX);
    EXPECT_EQ(engine.Slot(slot).CellsY, c.cellsY);
    EXPECT_EQ(engine.Slot(slot).BufferSize, c.cellsX * c.cellsY);
    engine.Stop(slot);
  }
}

TEST_F(EngineOnFakeHost, SlotsAreTakenLowestFirst) {
  for (int32_t i = 0; i < TskEffectEngine::kSlotCount; ++i) ASSERT_EQ(engine.ReserveSlot(), i);
  EXPECT_EQ(engine.ReserveSlot(), -1);
  // Nothing free and unreserved: an owner without a slot cannot animate, one
  // with its reserved slot can.
  EXPECT_EQ(Start(-1), -1);
  EXPECT_EQ(Start(42), 42);
  EXPECT_TRUE(engine.Running(42));
  engine.ReleaseSlot(7);
  engine.ReleaseSlot(3);
  EXPECT_EQ(Start(-1), 3);
  EXPECT_FALSE(engine.Slot(3).Reserved);
  // An active slot is not free for reservation either.
  EXPECT_EQ(engine.ReserveSlot(), 7);
  EXPECT_EQ(Start(-1), -1);
  EXPECT_EQ(Start(201), -1);
  EXPECT_EQ(Start(-2), -1);
}

TEST_F(EngineOnFakeHost, NothingStartsWithoutPicturesOrARegisteredEffect) {
  TskBitmap empty;
  EXPECT_EQ(engine.Start(&canvas, 0, 0, &empty, &newImage, settings, -1), 0);
  EXPECT_EQ(engine.Start(&canvas, 0, 0, &oldImage, nullptr, settings, -1), 0);
  for (const char* name : {"[ random ] - random selection", "No such effect", "[ FADE ] - Push"}) {
    settings.SetEffect(name);
    EXPECT_EQ(Start(), 0) << name;
  }
  EXPECT_FALSE(engine.Running(0));
  EXPECT_EQ(host.TimerChanges, 0);
  EXPECT_EQ(engine.Slot(0).WorkImage, nullptr);
}

TEST_F(EngineOnFakeHost, StopEndsWithoutDrawingAndTheTimerFollowsActivity) {
  const int32_t first = Start();
  const int32_t second = Start();
  EXPECT_EQ(second, 1);
  EXPECT_EQ(host.TimerChanges, 1);
  engine.Stop(first);
  EXPECT_TRUE(host.Timer);
  engine.Stop(second);
  EXPECT_FALSE(host.Timer);
  EXPECT_EQ(canvas.Draws, 0);
  for (int32_t slot : {-1, 0, 500}) {
    engine.Stop(slot);
    EXPECT_FALSE(engine.Running(slot));
  }
  // A new animation in a running slot replaces the old one.
  settings.SetEffect("Pixel");
  Start(5);
  settings.SetEffect("Corner");
  settings.SetRotation(krRotate90);
  Start(5);
  EXPECT_EQ(engine.Slot(5).Item->Name, "[ SLIDE ] - Corner");
  EXPECT_TRUE(engine.Slot(5).Mask.empty());
  while (engine.Running(5)) engine.Tick();
  EXPECT_TRUE(ScreenShowsNewPicture());
}

TEST_F(EngineOnFakeHost, BusySlotIsNotRedrawnFromInsideItsOwnFrame) {
  const int32_t slot = Start();
  int nested = 0;
  canvas.OnDraw = [&] {
    if (nested++ == 0) engine.Tick();  // a tick delivered while drawing
  };
  engine.Tick();
  EXPECT_EQ(canvas.Draws, 1);
  // Both ticks advanced the clock.
  EXPECT_NEAR(engine.Slot(slot).Clock, 40.01, 1e-3);
  EXPECT_FALSE(engine.Slot(slot).Busy);
}

TEST_F(EngineOnFakeHost, FailedFrameLeavesTheSlotForTheNextTick) {
  const int32_t first = Start();
  TskBitmap otherScreen;
  otherScreen.SetSize(120, 50);
  TRecordingCanvas other(otherScreen);
  engine.Start(&other, 0, 0, &oldImage, &newImage, settings, -1);
  bool fail = true;
  canvas.OnDraw = [&] {
    if (std::exchange(fail, false)) throw Exception("drawing failed");
  };
  EXPECT_THROW(engine.Tick(), Exception);
  EXPECT_TRUE(engine.Running(first));
  EXPECT_FALSE(engine.Slot(first).Busy);
  EXPECT_EQ(other.Draws, 0);  // the rest of that tick was not drawn
  engine.Tick();
  EXPECT_EQ(canvas.Draws, 2);
  EXPECT_EQ(other.Draws, 1);
}

TEST_F(EngineOnFakeHost, PlayTicksItselfWithoutHandlingMessagesAndStopsOnAFailedFrame) {
  settings.SetTime(TskAnimationRec::kMinTime);
  engine.Play(&canvas, 10, 5, &oldImage, &newImage, settings);
  EXPECT_EQ(host.MessageRounds, 0);
  EXPECT_GE(canvas.Draws, 2);
  EXPECT_TRUE(ScreenShowsNewPicture());
  EXPECT_FALSE(engine.Running(0));

  // A frame that fails ends the animation: the caller's canvas does not
  // outlive the call.
  canvas.OnDraw = [] { throw Exception("drawing failed"); };
  EXPECT_THROW(engine.Play(&canvas, 10, 5, &oldImage, &newImage, settings), Exception);
  EXPECT_FALSE(engine.Running(0));
}

TEST_F(EngineOnFakeHost, RandomSelectionDrawsFromEveryRegisteredEffect) {
  settings.SetEffect(kRandomEffectName);
  std::set<std::string> chosen;
  for (int i = 0; i < 58 * 40; ++i) {
    const int32_t slot = Start();
    ASSERT_TRUE(engine.Running(slot));
    chosen.insert(engine.Slot(slot).Item->Name);
    engine.Stop(slot);
  }
  EXPECT_EQ(chosen.size(), 58u);
}

// The effects' platform side on Windows: the shared thread timer delivered
// through the message loop, frames drawn into a device context, and a frame
// that fails on a timer tick.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "graphics/sk_effect.h"
#include "graphics/pixel_helpers.h"

namespace {

struct TPictures {
  TskBitmap oldImage, newImage, screen;
  TskAnimationRec settings;

  TPictures() {
    oldImage.SetSize(40, 24);
    oldImage.Fill(0xFF000000);
    newImage.SetSize(40, 24);
    for (int32_t y = 0; y < 24; ++y) {
      for (int32_t x = 0; x < 40; ++x) newImage.SetPixelAt(x, y, Argb(255, 90, x, y));
    }
    screen.SetSize(60, 40);
    settings.SetTime(200);
  }

  bool ScreenShowsNewPicture(int32_t left, int32_t top) const {
    GdiFlush();
    for (int32_t y = 0; y < 24; ++y) {
      for (int32_t x = 0; x < 40; ++x) {
        if (screen.PixelAt(left + x, top + y) != Argb(255, 90, x, y)) return false;
      }
    }
    return true;
  }
};

class TThrowingCanvas final : public TskEffectCanvas {
 public:
  int Draws = 0;
  void DrawFrame(const TskBitmap&, int32_t, int32_t) override {
    if (++Draws == 1) throw Exception("frame failed");
  }
};

}  // namespace

TEST(EffectWin32, RunEffectAnimatesOnTheThreadTimerIntoADeviceContext) {
  for (const char* effect : {"Fade", "Interlace", "Push"}) {
    SCOPED_TRACE(effect);
    TPictures pictures;
    pictures.settings.SetEffect(effect);
    TskDcCanvas canvas(pictures.screen.DC());
    TskTimer timer;
    timer.Start();
    RunEffect(&canvas, 7, 9, &pictures.oldImage, &pictures.newImage, pictures.settings);
    timer.Stop();
    EXPECT_TRUE(pictures.ScreenShowsNewPicture(7, 9));
    EXPECT_FALSE(EffectRunning(0));
    EXPECT_FALSE(EffectEngine().TimerEnabled());
    // Ten ticks of 20 ms at most; the measured drawing time only shortens it.
    EXPECT_GT(timer.Elapsed(), 0.05);
    EXPECT_LT(timer.Elapsed(), 10.0);
  }
}

TEST(EffectWin32, FailedFrameGoesToTheHandlerAndTheNextTickGoesOn) {
  TPictures pictures;
  pictures.settings.SetEffect("Fade");
  TThrowingCanvas canvas;
  std::string reported;
  SetEffectExceptionHandler([&](const std::exception& failure) { reported = failure.what(); });
  RunEffect(&canvas, 0, 0, &pictures.oldImage, &pictures.newImage, pictures.settings);
  SetEffectExceptionHandler(nullptr);
  EXPECT_EQ(reported, "frame failed");
  EXPECT_GE(canvas.Draws, 10);  // every later tick drew its frame
}

TEST(EffectWin32, RunEffectStopsWaitingWhenTheApplicationQuits) {
  TPictures pictures;
  pictures.settings.SetEffect("Fade");
  pictures.settings.SetTime(9000);
  TskDcCanvas canvas(pictures.screen.DC());
  PostQuitMessage(3);
  RunEffect(&canvas, 0, 0, &pictures.oldImage, &pictures.newImage, pictures.settings);
  EXPECT_FALSE(EffectRunning(0) || EffectEngine().TimerEnabled());
  // The quit message is left for the application's own loop.
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3u);
}

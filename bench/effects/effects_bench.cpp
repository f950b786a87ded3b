// Time to compose one frame of a transition effect on a 792 × 600 picture,
// against a plain per-pixel alpha blend of the two pictures in the same run.
// A frame is what one timer tick does for a slot before drawing: the old
// picture copied into the work image, then the effect composed over it. The
// figures are the mean over the 20 frames of an animation (5 %, 10 %, … 100 %)
// and the slowest of those frames, each as a share of the 20 ms tick.
// A second figure is one frame of a toolbar button's hover fade at the
// viewer's button size, copied onto a target as the tick draws it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_util.h"
#include "graphics/sk_effect.h"

namespace {

constexpr int32_t kWidth = 792, kHeight = 600;
constexpr double kTickMs = TskEffectEngine::kTickInterval;

void Paint(TskBitmap& image, int seed) {
  image.SetSize(kWidth, kHeight);
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      image.SetPixelAt(x, y, 0xFF000000u | static_cast<TskPixel>(((x + seed) & 255) << 16 | ((y * 3) & 255) << 8 |
                                                                  ((x ^ y ^ seed) & 255)));
    }
  }
}

// The peer: work = old and new mixed at alpha a, one pass, per component.
void PlainBlend(const TskBitmap& oldImage, const TskBitmap& newImage, TskBitmap& work, uint32_t alpha) {
  const size_t count = static_cast<size_t>(kWidth) * kHeight;
  const TskPixel* o = oldImage.Bits();
  const TskPixel* n = newImage.Bits();
  TskPixel* w = work.Bits();
  for (size_t i = 0; i < count; ++i) {
    TskPixel mixed = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t a = (n[i] >> shift) & 255, b = (o[i] >> shift) & 255;
      mixed |= ((a * alpha + b * (255 - alpha)) / 255) << shift;
    }
    w[i] = mixed;
  }
}

struct TFigures {
  double meanMs;
  double worstMs;
};

TFigures TimeEffect(const char* name, int32_t resolution, const TskBitmap& oldImage, const TskBitmap& picture) {
  TskBitmap newImage;
  newImage.Assign(picture);
  TskAnimationRec settings;
  settings.SetResolution(resolution);
  TskEffectSlot slot;
  slot.OldImage = &oldImage;
  slot.NewImage = &newImage;
  slot.AnimationRec = &settings;
  slot.Item = FindEffect(name);
  PrepareEffectFrames(slot);
  TskBitmap& work = *slot.WorkImage;
  const size_t bytes = static_cast<size_t>(kWidth) * kHeight * sizeof(TskPixel);
  TFigures figures{0, 0};
  for (int32_t p = 5; p <= 100; p += 5) {
    const double seconds = BestSeconds(7, [&] {
      std::memcpy(work.Bits(), oldImage.Bits(), bytes);
      ComposeEffectFrame(slot, p);
    });
    figures.meanMs += seconds * 1000 / 20;
    figures.worstMs = std::max(figures.worstMs, seconds * 1000);
  }
  ReleaseEffectFrames(slot);
  return figures;
}

// One tick's work for a toolbar button fading between two looks: the old
// look copied into the work image, the Fade composed at Resolution 10 as the
// button animates, and the frame drawn onto the button's pixels.
TFigures TimeButtonFade() {
  constexpr int32_t kButtonWidth = 78, kButtonHeight = 36;
  TskBitmap oldImage, newImage, target;
  oldImage.SetSize(kButtonWidth, kButtonHeight);
  newImage.SetSize(kButtonWidth, kButtonHeight);
  target.SetSize(kButtonWidth, kButtonHeight);
  for (int32_t y = 0; y < kButtonHeight; ++y) {
    for (int32_t x = 0; x < kButtonWidth; ++x) {
      oldImage.SetPixelAt(x, y, 0xFFD4D0C8u ^ static_cast<TskPixel>(x * 3 + y));
      newImage.SetPixelAt(x, y, 0xFF316AC5u ^ static_cast<TskPixel>(x + y * 5));
    }
  }
  TskAnimationRec settings;
  settings.SetResolution(10);
  settings.SetEffect(kFadeEffectName);
  TskEffectSlot slot;
  slot.OldImage = &oldImage;
  slot.NewImage = &newImage;
  slot.AnimationRec = &settings;
  slot.Item = FindEffect(kFadeEffectName);
  PrepareEffectFrames(slot);
  TskBitmapCanvas canvas(target);
  TFigures figures{0, 0};
  for (int32_t p = 5; p <= 100; p += 5) {
    const double seconds = BestSeconds(7, [&] {
      oldImage.DrawOnto(*slot.WorkImage, 0, 0);
      ComposeEffectFrame(slot, p);
      canvas.DrawFrame(*slot.WorkImage, 0, 0);
    });
    figures.meanMs += seconds * 1000 / 20;
    figures.worstMs = std::max(figures.worstMs, seconds * 1000);
  }
  ReleaseEffectFrames(slot);
  return figures;
}

}  // namespace

int main() {
  TskBitmap oldImage, newImage, work;
  Paint(oldImage, 17);
  Paint(newImage, 101);
  work.SetSize(kWidth, kHeight);

  double blendMs = 0;
  for (uint32_t alpha = 13; alpha <= 255; alpha += 13) {
    blendMs += BestSeconds(7, [&] { PlainBlend(oldImage, newImage, work, alpha); }) * 1000 / 19;
  }
  std::printf("effects: one frame of %d x %d, TileCount 1, share of the %.0f ms tick\n", kWidth, kHeight, kTickMs);
  std::printf("  plain per-pixel alpha blend    %7.3f ms  %5.1f %%\n", blendMs, blendMs / kTickMs * 100);
  std::printf("  %-16s %-4s %9s %7s %9s %7s %9s\n", "effect", "res", "mean ms", "tick", "worst ms", "tick",
              "/blend");
  for (const char* name : {"Fade", "SmoothDiagonal", "Pixel", "Interlace", "Push"}) {
    for (int32_t resolution : {10, 1}) {
      const TFigures f = TimeEffect(name, resolution, oldImage, newImage);
      std::printf("  %-16s %-4d %9.3f %6.1f%% %9.3f %6.1f%% %9.2f\n", name, resolution, f.meanMs,
                  f.meanMs / kTickMs * 100, f.worstMs, f.worstMs / kTickMs * 100, f.meanMs / blendMs);
    }
  }
  std::printf("  goal: every effect below 25 %% of the tick at Resolution 10, below 100 %% at Resolution 1\n");
  const TFigures button = TimeButtonFade();
  std::printf("toolbar button fade, one frame of 78 x 36 (Fade, Resolution 10): mean %.4f ms, worst %.4f ms\n",
              button.meanMs, button.worstMs);
  std::printf("  goal: below 2 ms per frame\n");
  return 0;
}

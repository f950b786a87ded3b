// Two figures of the skin's start and its painting:
//  - the time from the viewer's stored theme value to a current theme with
//    DeltaBrightness 10: the value read, the style-file data inflated, the
//    description parsed, the images decoded and keyed out, the theme objects
//    built, then every colour table and image shifted;
//  - DrawRect's throughput (the portable pixel path behind it) when it
//    stretches an opaque image and when it blends an image with partial
//    alpha, in Mpixel/s, against a straightforward per-pixel loop doing the
//    same work in the same run.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "bench_util.h"
#include "graphics/sk_bitmap.h"
#include "graphics/sk_engine_stream.h"
#include "graphics/theme_msux_data.h"
#include "tools/themegen/skyline.h"

namespace {

constexpr int32_t kRounds = 9;

// ---- the stored theme to a current one -----------------------------------------

// What the viewer does from its stored value on: the list item reads the
// value, the style-file kind recognises and unpacks the data and builds its
// objects (taking its pristine copy), then the driver's DeltaBrightness 10
// rebuilds it from that copy with every colour and image shifted.
struct TLoadTimes {
  double value = 0, unpack = 0, build = 0, shift = 0;
  double Total() const { return value + unpack + build + shift; }
};

TLoadTimes LoadOnce(const std::vector<uint8_t>& stored) {
  using Clock = std::chrono::steady_clock;
  const auto seconds = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
  };
  TLoadTimes times;
  const auto t0 = Clock::now();
  TReadOnlyMemoryStream stream(stored);
  std::string name;
  TMemoryStream data;
  ReadThemeStreamValue(stream, name, data);
  const auto t1 = Clock::now();
  TmsuxThemeData theme;
  data.SetPosition(0);
  if (!TmsuxThemeData::CanLoadStream(data)) throw Exception("the stored theme is not a style-file theme");
  data.SetPosition(0);
  theme.ReadStoredForm(data);
  const auto t2 = Clock::now();
  theme.Build(0, 0);
  const auto t3 = Clock::now();
  theme.Build(0, 10);
  const auto t4 = Clock::now();
  times.value = seconds(t0, t1);
  times.unpack = seconds(t1, t2);
  times.build = seconds(t2, t3);
  times.shift = seconds(t3, t4);
  return times;
}

void BenchThemeLoad() {
  TmsuxThemeData source;
  themegen::BuildSkyline(source);
  const std::vector<uint8_t> stored = themegen::ThemeStreamValue(source);

  TLoadTimes best;
  best.value = best.unpack = best.build = best.shift = 1e9;
  double bestTotal = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const TLoadTimes t = LoadOnce(stored);
    if (t.Total() < bestTotal) {
      bestTotal = t.Total();
      best = t;
    }
  }

  // The peer: inflating the stored form's zlib stream alone, the floor of
  // any loader of this format.
  const size_t magic = TmsuxThemeData::kMagic.size();
  const size_t head = 1 + 4 + source.Name.size() + 8;
  std::vector<uint8_t> inflated(64u << 20);
  uLongf inflatedSize = 0;
  const double inflateSeconds = BestSeconds(kRounds, [&] {
    inflatedSize = static_cast<uLongf>(inflated.size());
    uncompress(inflated.data(), &inflatedSize, stored.data() + head + magic,
               static_cast<uLong>(stored.size() - head - magic));
  });

  std::printf("theme: stored value (%zu bytes, %d images, %lu bytes inflated) to a current theme with "
              "DeltaBrightness 10 (best of %d)\n",
              stored.size(), source.Images.Count(), static_cast<unsigned long>(inflatedSize), kRounds);
  std::printf("  %-44s %8.3f ms\n", "value read", best.value * 1000);
  std::printf("  %-44s %8.3f ms\n", "recognise, inflate, decode images", best.unpack * 1000);
  std::printf("  %-44s %8.3f ms\n", "parse description, build objects, pristine", best.build * 1000);
  std::printf("  %-44s %8.3f ms\n", "DeltaBrightness 10: rebuild and shift", best.shift * 1000);
  std::printf("  %-44s %8.3f ms  (goal < 30 ms)\n", "total", bestTotal * 1000);
  std::printf("  %-44s %8.3f ms  total / inflate %.1fx\n", "peer: inflate the stored form alone",
              inflateSeconds * 1000, bestTotal / inflateSeconds);
}

// ---- DrawRect --------------------------------------------------------------

void Paint(TskBitmap& image, int32_t width, int32_t height, bool partialAlpha) {
  image.SetSize(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t alpha = partialAlpha ? static_cast<uint32_t>((x * 7 + y * 3) % 256) : 255;
      image.SetPixelAt(x, y, alpha << 24 | static_cast<TskPixel>((x & 255) << 16 | ((y * 5) & 255) << 8 | ((x ^ y) & 255)));
    }
  }
  image.AlphaBlend = partialAlpha;
}

// The peer: for every destination pixel, the nearest source pixel, then the
// blend formula per component (or a copy for an opaque image).
void ReferenceDraw(const TskBitmap& source, TskBitmap& target, int32_t width, int32_t height, bool blend) {
  const int32_t sw = source.Width(), sh = source.Height();
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const TskPixel s = source.PixelAt(static_cast<int32_t>(int64_t{x} * sw / width),
                                        static_cast<int32_t>(int64_t{y} * sh / height));
      if (!blend) {
        target.SetPixelAt(x, y, s);
        continue;
      }
      const uint32_t a = s >> 24;
      if (a == 0) continue;
      const TskPixel d = target.PixelAt(x, y);
      TskPixel mixed = 0xFF000000u;
      for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t sc = (s >> shift) & 255, dc = (d >> shift) & 255;
        mixed |= ((sc * a + dc * (255 - a)) / 255) << shift;
      }
      target.SetPixelAt(x, y, mixed);
    }
  }
}

struct TDrawCase {
  const char* what;
  int32_t sourceWidth, sourceHeight;
  bool partialAlpha;
};

void BenchDraw() {
  constexpr int32_t kWidth = 792, kHeight = 600;
  const double mpixels = double{kWidth} * kHeight / 1e6;
  std::printf("DrawRect into %d x %d, Mpixel/s (best of %d)\n", kWidth, kHeight, kRounds);
  std::printf("  %-30s %10s %10s %7s\n", "case", "DrawRect", "reference", "ratio");
  for (const TDrawCase& c : {TDrawCase{"stretch opaque 29 x 145", 29, 145, false},
                             TDrawCase{"stretch opaque 1000 x 700", 1000, 700, false},
                             TDrawCase{"blend unscaled", kWidth, kHeight, true},
                             TDrawCase{"blend stretched 29 x 145", 29, 145, true}}) {
    TskBitmap source, target, reference;
    Paint(source, c.sourceWidth, c.sourceHeight, c.partialAlpha);
    Paint(target, kWidth, kHeight, false);
    Paint(reference, kWidth, kHeight, false);
    const TRect whole{0, 0, kWidth, kHeight};
    // Blending converges to the source after a few rounds either way; both
    // sides run the same number of rounds on the same start.
    const double ours = BestSeconds(kRounds, [&] { source.DrawOnto(target, whole, source.Bounds()); });
    const double peer = BestSeconds(kRounds, [&] { ReferenceDraw(source, reference, kWidth, kHeight, c.partialAlpha); });
    std::printf("  %-30s %10.1f %10.1f %6.2fx\n", c.what, mpixels / ours, mpixels / peer, peer / ours);
  }
  std::printf("  goal: blend at least 3x the reference\n");
}

}  // namespace

int main() {
  BenchThemeLoad();
  BenchDraw();
  return 0;
}

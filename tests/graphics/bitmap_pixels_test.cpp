// Colour helpers, HSL conversion, the pixel routine tables and the pixel
// operations of TskBitmap.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "graphics/pixel_helpers.h"

namespace {

// Every routine table this build and processor offer.
std::vector<const TskPixelRoutines*> AllRoutineTables() {
  std::vector<const TskPixelRoutines*> tables = {&PlainPixelRoutines()};
  if (ExtensionPixelRoutines() != nullptr) tables.push_back(ExtensionPixelRoutines());
  return tables;
}

int PlainBlendComponent(int s, int d, int a) { return (s * a + d * (255 - a)) / 256; }

}  // namespace

TEST(ColourHelpers, PackClampAndWrap) {
  struct {
    TskPixel actual, expected;
  } cases[] = {
      {MakePixel(300, -5, 128, 0x80), Argb(0x80, 255, 0, 128)},
      {MakePixel(1, 2, 3, 256 + 7), Argb(7, 1, 2, 3)},  // alpha is taken as its low byte
      {ColorToPixel(RgbColor(1, 2, 3), 0x40), Argb(0x40, 1, 2, 3)},
      {AddToChannels(Argb(0x10, 255, 0, 16), 10, -20, -30, 0xF5), Argb(0x05, 255, 0, 0)},
      {AddToChannels(Argb(0xFF, 1, 2, 3), INT_MAX, INT_MIN, 0, 1), Argb(0, 255, 0, 3)},
      {Lighten(Argb(0x80, 0x10, 0x20, 0xF0), -30), Argb(0x80, 0, 2, 0xD2)},
      {ShiftBrightness(Argb(0x12, 250, 0, 128), 10), Argb(255, 255, 10, 138)},
      {ShiftBrightness(Argb(0x12, 250, 0, 128), -300), Argb(255, 0, 0, 0)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << std::hex << c.actual;
  EXPECT_EQ(PixelToColor(Argb(0x40, 1, 2, 3)), 0x030201);
  EXPECT_EQ(LightenColor(RgbColor(250, 0, 128), -30), RgbColor(220, 0, 98));
  EXPECT_EQ(RgbColor(-1, 256, 7), 0x0007FF00);
}

TEST(Hsl, HslToRgbRoundsHalvesToEvenAndRoundTrips) {
  const TskHsl pink = RgbToHsl(Argb(0, 255, 128, 128));  // lightness above one half
  EXPECT_DOUBLE_EQ(pink.Saturation, 1);
  EXPECT_DOUBLE_EQ(pink.Lightness, 383.0 / 510);
  EXPECT_DOUBLE_EQ(RgbToHsl(Argb(0, 255, 0, 255)).Hue, 5.0 / 6);  // a negative hue wraps
  // (m + 0.5) / 255 × 255 is exactly m + 0.5 in doubles.
  EXPECT_EQ(HslToRgb(0.7, 0, 2.5 / 255), Argb(255, 2, 2, 2));
  EXPECT_EQ(HslToRgb(0.7, 0, 3.5 / 255), Argb(255, 4, 4, 4));
  EXPECT_EQ(HslToRgb(1.0 / 3, 1, 0.25), Argb(255, 0, 128, 0));  // q = 0.5 → 127.5 → 128
  EXPECT_EQ(HslToRgb(2.0, 1, 0.5), HslToRgb(0, 1, 0.5));       // only the hue's fraction counts
  for (int r = 0; r < 256; r += 3) {
    for (int g = 0; g < 256; g += 5) {
      for (int b = 0; b < 256; b += 7) {
        const TskHsl hsl = RgbToHsl(Argb(0x20, r, g, b));
        ASSERT_EQ(HslToRgb(hsl.Hue, hsl.Saturation, hsl.Lightness), Argb(255, r, g, b)) << r << "," << g << "," << b;
      }
    }
  }
}

TEST(Hsl, ShiftHue) {
  const TskPixel red = Argb(0x40, 255, 0, 0);
  EXPECT_EQ(ShiftHue(red, 255), Argb(255, 255, 0, 0));  // a full turn
  EXPECT_EQ(ShiftHue(red, 85), Argb(255, 0, 255, 0));
  EXPECT_EQ(ShiftHue(red, -85), Argb(255, 0, 0, 255));
  EXPECT_EQ(ShiftHue(Argb(0x80, 100, 100, 100), 50), Argb(255, 100, 100, 100));
  // (255, 0, 1) has a hue that rounds to step 255; +10 passes 256 and wraps
  // to step 10, the same as pure red shifted by 10.
  EXPECT_EQ(ShiftHue(Argb(0, 255, 0, 1), 10), Argb(255, 255, 60, 0));
  EXPECT_EQ(ShiftHue(red, 10), Argb(255, 255, 60, 0));
  EXPECT_EQ(ShiftHue(red, 1000), ShiftHue(red, 1000 - 4 * 255));
}

TEST(PixelRoutines, PlainBlendFollowsTheFormulaExactly) {
  std::vector<TskPixel> row(256), source(256);
  for (int a = 1; a < 255; ++a) {
    for (int s = 0; s < 256; ++s) {
      for (int d = 0; d < 256; ++d) {
        row[d] = Argb(d, d, 255 - d, d / 2);
        source[d] = Argb(a, s, s, 255 - s);
      }
      PlainPixelRoutines().BlendRow(row.data(), source.data(), row.size());
      for (int d = 0; d < 256; ++d) {
        const TskPixel expected = Argb(255, PlainBlendComponent(s, d, a), PlainBlendComponent(s, 255 - d, a),
                                       PlainBlendComponent(255 - s, d / 2, a));
        ASSERT_EQ(row[d], expected) << "a=" << a << " s=" << s << " d=" << d;
      }
    }
  }
}

TEST(PixelRoutines, EveryTableStaysWithinOneStepOfThePlainFormula) {
  auto withinOneStep = [](TskPixel actual, TskPixel plain) {
    return PixelAlpha(actual) == PixelAlpha(plain) && std::abs(PixelRed(actual) - PixelRed(plain)) <= 1 &&
           std::abs(PixelGreen(actual) - PixelGreen(plain)) <= 1 && std::abs(PixelBlue(actual) - PixelBlue(plain)) <= 1;
  };
  for (const TskPixelRoutines* routines : AllRoutineTables()) {
    SCOPED_TRACE(routines->Name);
    // 255 pixels a row: the last three go through the routine's tail.
    std::vector<TskPixel> row(255), source(255);
    for (int a = 0; a < 256; ++a) {
      for (int s = 0; s < 256; ++s) {
        for (int d = 0; d < 255; ++d) {
          row[d] = Argb(d, d, 255 - d, s);
          source[d] = Argb(a, s, d, 255 - d);
        }
        routines->BlendRow(row.data(), source.data(), row.size());
        for (int d = 0; d < 255; ++d) {
          const TskPixel dest = Argb(d, d, 255 - d, s), src = Argb(a, s, d, 255 - d);
          const TskPixel plain = PlainPixelRoutines().BlendPixel(src, dest);
          const bool exact = a == 0 || a == 255;  // kept and copied, never approximated
          if (!(exact ? row[d] == plain : withinOneStep(row[d], plain)) || routines->BlendPixel(src, dest) != row[d]) {
            FAIL() << "a=" << a << " s=" << s << " d=" << d << std::hex << " row " << row[d] << " plain " << plain;
          }
        }
      }
    }
  }
}

TEST(PixelRoutines, KeyCopySkipsKeyColourWhateverItsAlpha) {
  for (const TskPixelRoutines* routines : AllRoutineTables()) {
    const std::vector<TskPixel> source = {kKeyPixel, Argb(255, 127, 0, 127), Argb(0, 1, 2, 3),
                                          Argb(0x80, 127, 0, 126), kKeyPixel};
    std::vector<TskPixel> row(source.size(), Argb(0x11, 5, 5, 5));
    routines->KeyCopyRow(row.data(), source.data(), row.size());
    EXPECT_EQ(row, (std::vector<TskPixel>{Argb(0x11, 5, 5, 5), Argb(0x11, 5, 5, 5), Argb(255, 1, 2, 3),
                                          Argb(255, 127, 0, 126), Argb(0x11, 5, 5, 5)}))
        << routines->Name;
  }
}

TEST(Bitmap, SetSize) {
  TskBitmap bitmap;
  EXPECT_TRUE(bitmap.IsEmpty());
  bitmap.SetSize(-10, 5);
  EXPECT_EQ(bitmap.Width(), 10);
  EXPECT_EQ(bitmap.Height(), 5);
  bitmap.SetPixelAt(3, 3, 0x12345678);
  bitmap.SetSize(0, 5);    // ignored
  bitmap.SetSize(10, -5);  // unchanged: pixels kept
  EXPECT_EQ(bitmap.PixelAt(3, 3), 0x12345678u);
  bitmap.SetSize(4, 4);  // new pixels are zero
  EXPECT_EQ(bitmap.PixelAt(3, 3), 0u);
  for (auto size : {std::pair{65536, 65536}, std::pair{INT_MIN, 1}, std::pair{INT_MAX, 2}}) {
    try {
      bitmap.SetSize(size.first, size.second);
      FAIL() << size.first << "x" << size.second;
    } catch (const ESkBitmapError& e) {
      EXPECT_EQ(e.Message, "Can't allocate the DIB handle");
    }
    EXPECT_TRUE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.Width(), 0);
    bitmap.SetSize(4, 4);
  }
}

TEST(Bitmap, PixelAccessOutsideIsIgnored) {
  TskBitmap bitmap;
  EXPECT_EQ(bitmap.PixelAt(0, 0), 0u);
  bitmap.SetPixelAt(0, 0, 1);  // no pixel memory: ignored
  bitmap.SetSize(3, 2);
  bitmap.Fill(0xAABBCCDD);
  for (auto [x, y] : {std::pair{3, 0}, std::pair{0, 2}, std::pair{-1, 0}, std::pair{0, -1}}) {
    bitmap.SetPixelAt(x, y, 1);
    EXPECT_EQ(bitmap.PixelAt(x, y), 0u) << x << "," << y;
  }
  for (int i = 0; i < 6; ++i) EXPECT_EQ(bitmap.Bits()[i], 0xAABBCCDDu);
}

TEST(Bitmap, FillAndAlphaRectanglesAreClipped) {
  TskBitmap bitmap;
  bitmap.SetSize(4, 3);
  bitmap.Fill(Argb(255, 0, 0, 0));
  bitmap.FillRect(TRect{-5, 1, 2, 99}, Argb(255, 9, 9, 9));
  bitmap.FillRect(TRect{2, 2, 2, 3}, Argb(255, 7, 7, 7));  // empty
  bitmap.SetAlphaRect(0, TRect{3, -1, 9, 2});
  EXPECT_EQ(bitmap.PixelAt(0, 0), Argb(255, 0, 0, 0));
  EXPECT_EQ(bitmap.PixelAt(1, 2), Argb(255, 9, 9, 9));
  EXPECT_EQ(bitmap.PixelAt(2, 2), Argb(255, 0, 0, 0));
  EXPECT_EQ(bitmap.PixelAt(3, 1), Argb(0, 0, 0, 0));
  EXPECT_EQ(bitmap.PixelAt(3, 2), Argb(255, 0, 0, 0));

  bitmap.AlphaBlend = true;  // now the value is blended over each pixel
  bitmap.FillRect(TRect{0, 2, 1, 3}, Argb(128, 255, 255, 255));
  EXPECT_EQ(PixelAlpha(bitmap.PixelAt(0, 2)), 255);
  EXPECT_NEAR(PixelRed(bitmap.PixelAt(0, 2)), (255 * 128 + 9 * 127) / 256, 1);

  TskBitmap one;
  one.SetSize(1, 1);
  one.SetPixelAt(0, 0, Argb(0, 1, 2, 3));
  one.SetAlpha(77);
  EXPECT_EQ(one.PixelAt(0, 0), Argb(77, 1, 2, 3));
}

TEST(Bitmap, DetectAlphaAndKeyOutColour) {
  TskBitmap bitmap;
  bitmap.SetSize(4, 1);
  bitmap.SetPixelAt(0, 0, Argb(255, 250, 5, 250));
  bitmap.SetPixelAt(1, 0, Argb(255, 249, 0, 255));
  bitmap.SetPixelAt(2, 0, Argb(0x40, 255, 0, 255));
  bitmap.SetPixelAt(3, 0, Argb(255, 255, 6, 255));
  bitmap.DetectAlpha();
  EXPECT_TRUE(bitmap.AlphaBlend);
  bitmap.KeyOutColor(RgbColor(255, 0, 255));
  EXPECT_TRUE(bitmap.Transparent);
  EXPECT_EQ(bitmap.PixelAt(0, 0), kKeyPixel);
  EXPECT_EQ(bitmap.PixelAt(1, 0), Argb(255, 249, 0, 255));
  EXPECT_EQ(bitmap.PixelAt(2, 0), kKeyPixel);
  EXPECT_EQ(bitmap.PixelAt(3, 0), Argb(255, 255, 6, 255));
  bitmap.DetectAlpha();  // alpha 0 and 255 only: no blending
  EXPECT_FALSE(bitmap.AlphaBlend);
  bitmap.KeyOutColor(RgbColor(0, 255, 0));  // nothing near: the flag drops
  EXPECT_FALSE(bitmap.Transparent);
}

TEST(Bitmap, ShiftsKeepAlphaAndSkipClearPixels) {
  TskBitmap bitmap;
  bitmap.SetSize(3, 1);
  bitmap.SetPixelAt(0, 0, Argb(0x80, 250, 0, 128));
  bitmap.SetPixelAt(1, 0, kKeyPixel);
  bitmap.SetPixelAt(2, 0, Argb(255, 255, 0, 0));
  bitmap.ShiftBitmapBrightness(10);
  EXPECT_EQ(bitmap.PixelAt(0, 0), Argb(0x80, 255, 10, 138));
  EXPECT_EQ(bitmap.PixelAt(1, 0), kKeyPixel);
  EXPECT_EQ(bitmap.PixelAt(2, 0), Argb(255, 255, 10, 10));
  bitmap.SetPixelAt(2, 0, Argb(0x33, 255, 0, 0));
  bitmap.ShiftBitmapHue(85);
  EXPECT_EQ(bitmap.PixelAt(1, 0), kKeyPixel);
  EXPECT_EQ(bitmap.PixelAt(2, 0), Argb(0x33, 0, 255, 0));
  EXPECT_EQ(bitmap.PixelAt(0, 0), (ShiftHue(Argb(0, 255, 10, 138), 85) & 0xFFFFFF) | 0x80000000);
}

TEST(Bitmap, AssignCopiesEverythingAndEmptySourceEmpties) {
  TskBitmap source;
  source.SetSize(2, 3);
  source.SetPixelAt(1, 2, 0x01020304);
  source.Name = "BLUE_BUTTON_BMP";
  source.AlphaBlend = true;
  TskBitmap copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Width(), 2);
  EXPECT_EQ(copy.Height(), 3);
  EXPECT_EQ(copy.PixelAt(1, 2), 0x01020304u);
  EXPECT_EQ(copy.Name, "BLUE_BUTTON_BMP");
  EXPECT_TRUE(copy.AlphaBlend);
  EXPECT_NE(copy.Bits(), source.Bits());
  TskBitmap empty;
  empty.Transparent = true;
  copy.Assign(empty);
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(copy.Width(), 0);
  EXPECT_TRUE(copy.Transparent);
}

TEST(Bitmap, FlipVertical) {
  for (int height : {1, 2, 3, 4}) {
    TskBitmap bitmap;
    bitmap.SetSize(2, height);
    for (int y = 0; y < height; ++y) bitmap.SetPixelAt(1, y, static_cast<TskPixel>(y + 1));
    bitmap.FlipVertical();
    for (int y = 0; y < height; ++y) EXPECT_EQ(bitmap.PixelAt(1, y), static_cast<TskPixel>(height - y)) << height;
  }
}

TEST(Bitmap, RegistryFindsBitmapsByDeviceContext) {
  const void* context;
  {
    TskBitmap bitmap;
    EXPECT_EQ(bitmap.DeviceContext(), nullptr);
    bitmap.SetSize(2, 2);
    bitmap.SetSize(3, 3);
    context = bitmap.DeviceContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(TskBitmap::FromDeviceContext(context), &bitmap);
  }
  EXPECT_EQ(TskBitmap::FromDeviceContext(context), nullptr);
  EXPECT_EQ(TskBitmap::FromDeviceContext(nullptr), nullptr);
}

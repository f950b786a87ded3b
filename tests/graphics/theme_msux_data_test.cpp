// The style-file theme's portable core: value forms, image names, the
// description, theme objects and their painting into bitmaps, the stored
// form, the build with its pristine copy, and the theme Skyline.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/conversions.h"
#include "graphics/sk_compress.h"
#include "graphics/pixel_helpers.h"
#include "graphics/theme_msux_data.h"
#include "tools/themegen/skyline.h"

namespace {

constexpr TColor kMagenta = 0x00FF00FF;

// A bitmap of frames stacked vertically, frame i filled with colours[i].
std::unique_ptr<TskBitmap> FramesBitmap(const std::string& name, int32_t width, int32_t frameHeight,
                                        const std::vector<TskPixel>& colours) {
  auto bitmap = std::make_unique<TskBitmap>();
  bitmap->SetSize(width, frameHeight * static_cast<int32_t>(colours.size()));
  for (size_t i = 0; i < colours.size(); ++i) {
    const int32_t top = static_cast<int32_t>(i) * frameHeight;
    bitmap->FillRect(TRect{0, top, width, top + frameHeight}, colours[i]);
  }
  bitmap->Name = name;
  return bitmap;
}

// Images by name from a list the test fills beforehand; unknown names get
// an empty bitmap, as a theme without the image does.
struct TImages {
  TskBitmapList List;
  TmsuxImageSource Source() {
    return [this](const std::string& name) {
      if (TskBitmap* found = List.FindByName(name)) return found;
      auto bitmap = std::make_unique<TskBitmap>();
      bitmap->Name = name;
      return List.Add(std::move(bitmap));
    };
  }
};

TmsuxDescription Describe(const std::string& text) {
  TmsuxDescription description;
  description.SetText(text);
  return description;
}

// A bitmap to paint into, filled with one value, and its surface.
struct TTarget {
  TTarget(int32_t width, int32_t height, TskPixel fill = 0xFF000000u) {
    Bitmap.SetSize(width, height);
    Bitmap.Fill(fill);
  }
  TskPixel PixelAt(int32_t x, int32_t y) const { return Bitmap.PixelAt(x, y); }
  TRect Bounds() const { return Bitmap.Bounds(); }
  TskBitmap Bitmap;
  TmsuxBitmapSurface Surface{Bitmap};
};

}  // namespace

// ---- value forms -----------------------------------------------------------------

TEST(MsuxValues, Booleans) {
  for (const char* yes : {"true", "TRUE", "1", "Yes", " yes "}) EXPECT_TRUE(MsuxBoolean(yes)) << yes;
  for (const char* no : {"false", "0", "no", "", "2", "truely"}) EXPECT_FALSE(MsuxBoolean(no)) << no;
}

TEST(MsuxValues, IntegerListsAcceptEverySeparator) {
  EXPECT_EQ(MsuxIntegers("1 2  3"), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(MsuxIntegers("(4, 5);6:7=8"), (std::vector<int32_t>{4, 5, 6, 7, 8}));
  EXPECT_EQ(MsuxIntegers("-3,\t$10"), (std::vector<int32_t>{-3, 16}));
  EXPECT_TRUE(MsuxIntegers("  ").empty());
  EXPECT_THROW(MsuxIntegers("1 x 3"), EConvertError);
  EXPECT_THROW(MsuxInteger("12px"), EConvertError);
  EXPECT_EQ(MsuxInteger(" 25 "), 25);
}

TEST(MsuxValues, Colours) {
  struct {
    const char* text;
    TColor expected;
  } cases[] = {
      {"255 0 128", RgbColor(255, 0, 128)},
      {"10 20", RgbColor(10, 20, 0)},  // missing components count as 0
      {"7", RgbColor(7, 0, 0)},
      {"", RgbColor(0, 0, 0)},
      {"1, 2, 3", RgbColor(1, 2, 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(MsuxColor(c.text), c.expected) << c.text;
  EXPECT_THROW(MsuxColor("12 green 3"), EConvertError);
}

TEST(MsuxValues, MarginsAreLeftRightTopBottomOrZero) {
  EXPECT_EQ(MsuxMargins("1, 2, 3, 4"), (TmsuxMargins{1, 2, 3, 4}));
  EXPECT_EQ(MsuxMargins("4 4 4 4"), (TmsuxMargins{4, 4, 4, 4}));
  EXPECT_EQ(MsuxMargins("1, 2, 3"), TmsuxMargins{});
  EXPECT_EQ(MsuxMargins("a, b, c, d"), TmsuxMargins{});
  EXPECT_EQ(MsuxMargins(""), TmsuxMargins{});
}

TEST(MsuxValues, FontsSetStylesByPosition) {
  EXPECT_EQ(MsuxFont("Tahoma, 8"), (TmsuxFont{"Tahoma", 8, false, false, false, false}));
  EXPECT_EQ(MsuxFont("Segoe UI, 9, bold"), (TmsuxFont{"Segoe UI", 9, true, false, false, false}));
  // Whatever the field says, its position decides the style.
  EXPECT_EQ(MsuxFont("Arial, 10, , italic"), (TmsuxFont{"Arial", 10, false, true, false, false}));
  EXPECT_EQ(MsuxFont("Arial,10,b,i,u,s"), (TmsuxFont{"Arial", 10, true, true, true, true}));
}

TEST(MsuxValues, ImageNames) {
  struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"Blue\\BUTTON.bmp", "Blue_BUTTON_bmp"},
      {"  Blue\\Sub\\X.BMP ", "Blue_Sub_X_BMP"},
      {"a.b", "a.b"},      // a "b" needs one more character after it
      {"x.bm", "x_bm"},
      {"pic.png", "pic.png"},
      {"v1.0.bmp", "v1.0_bmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(MsuxImageName(c.path), c.name) << c.path;
}

// ---- description ------------------------------------------------------------------

TEST(MsuxDescription, ReadsSectionsAndWritesThemBack) {
  const TmsuxDescription d = Describe(
      "stray=before any section\r\n"
      "[Button.Pushbutton]\r\n"
      "  ImageFile = Blue\\BUTTON.bmp \r\n"
      "; a comment\n"
      "\n"
      "ImageCount=5\r"
      "[Other]\nflag\n"
      "[button.PUSHBUTTON]\nTextColor = 1 2 3\n");
  ASSERT_EQ(d.Sections().size(), 2u);
  // The repeated section replaced the first one, under its first name.
  const TmsuxDescription::TSection* button = d.Section("BUTTON.pushbutton");
  ASSERT_NE(button, nullptr);
  ASSERT_EQ(button->Lines.size(), 1u);
  EXPECT_EQ(button->Lines[0].Key, "TextColor");
  EXPECT_EQ(button->Lines[0].Value, "1 2 3");
  EXPECT_EQ(d.ReadString("other", "flag", "none"), "none");
  EXPECT_EQ(d.Text(), "[Button.Pushbutton]\r\nTextColor=1 2 3\r\n\r\n[Other]\r\nflag\r\n\r\n");
  EXPECT_EQ(Describe(d.Text()).Text(), d.Text());

  const TmsuxDescription metrics = Describe("[SysMetrics]\nBorderWidth=4\nborderwidth = 6\n");
  EXPECT_EQ(metrics.ReadString("sysmetrics", "BORDERWIDTH", "0"), "6");
  EXPECT_EQ(metrics.ReadString("sysmetrics", "CaptionBarHeight", "25"), "25");
}

// ---- theme objects ----------------------------------------------------------------

TEST(MsuxObject, ParsesEveryPropertyOfTheTable) {
  TImages images;
  const TmsuxDescription d = Describe(
      "[obj]\n"
      "BgType=BorderFill\nFillColorHint=1 2 3\nFillColor=4 5 6\nTextColor=7 8 9\nBorderColor=10 11 12\n"
      "TransparentColor=0 255 0\nTransparent=yes\nBorderSize=3\nImageSelectType=DPI, x\nImageCount=4\n"
      "ImageLayout=Vertical\nSizingType=TrueSize\nSizingMargins=1, 2, 3, 4\nGlyphTransparent=1\n"
      "GlyphType=ImageGlyph\nContentAlignment=Right\nContentMargins=5 6 7 8\nCaptionMargins=9,10,11,12\n"
      "TextShadowType=Single\nTextShadowColor=20 30 40\nTextShadowOffset=2, -1\nUnknownKey=kept\n");
  const TmsuxThemeObject o(d, "OBJ", images.Source());
  EXPECT_EQ(o.BackgroundType, TmsuxBackground::BorderFill);
  EXPECT_EQ(o.FillColorHint, RgbColor(1, 2, 3));
  EXPECT_EQ(o.FillColor, RgbColor(4, 5, 6));
  EXPECT_EQ(o.TextColor, RgbColor(7, 8, 9));
  EXPECT_EQ(o.BorderColor, RgbColor(10, 11, 12));
  EXPECT_EQ(o.TransparentColor, RgbColor(0, 255, 0));
  EXPECT_TRUE(o.Transparent);
  EXPECT_EQ(o.BorderSize, 3);
  EXPECT_EQ(o.ImageSelectType, 1);
  EXPECT_EQ(o.ImageCount, 4);
  EXPECT_FALSE(o.HorizontalLayout);
  EXPECT_EQ(o.SizingType, TmsuxSizing::TrueSize);
  EXPECT_EQ(o.SizingMargins, (TmsuxMargins{1, 2, 3, 4}));
  EXPECT_TRUE(o.GlyphTransparent);
  EXPECT_TRUE(o.GlyphIsImage);
  EXPECT_EQ(o.ContentAlignment, 2);
  EXPECT_EQ(o.ContentMargins, (TmsuxMargins{5, 6, 7, 8}));
  EXPECT_EQ(o.CaptionMargins, (TmsuxMargins{9, 10, 11, 12}));
  EXPECT_EQ(o.TextShadowType, 1);
  EXPECT_EQ(o.TextShadowColor, RgbColor(20, 30, 40));
  EXPECT_EQ(o.TextShadowOffsetX, 2);
  EXPECT_EQ(o.TextShadowOffsetY, -1);
  ASSERT_NE(o.PropertyNamed("UNKNOWNKEY"), nullptr);
  EXPECT_EQ(*o.PropertyNamed("unknownkey"), "kept");
  EXPECT_EQ(o.Properties.front().Name, "bgtype");
  EXPECT_EQ(o.Properties.size(), 22u);
}

TEST(MsuxObject, DefaultsAndUnknownEnumerations) {
  TImages images;
  const TmsuxThemeObject missing(Describe("[x]\na=1\n"), "absent", images.Source());
  EXPECT_FALSE(missing.HasProperties());
  EXPECT_EQ(missing.FillColor, kMsuxNoColor);
  EXPECT_EQ(missing.TransparentColor, kMagenta);
  EXPECT_EQ(missing.TextShadowColor, RgbColor(40, 40, 40));
  EXPECT_EQ(missing.SizingType, TmsuxSizing::Stretch);
  EXPECT_EQ(missing.ImageCount, 1);
  EXPECT_TRUE(missing.HorizontalLayout);

  const TmsuxThemeObject odd(
      Describe("[x]\nbgtype=gradient\nsizingtype=diagonal\nimagelayout=grid\ncontentalignment=middle\n"), "x",
      images.Source());
  EXPECT_EQ(odd.BackgroundType, TmsuxBackground::Unset);
  EXPECT_EQ(odd.SizingType, TmsuxSizing::Tile);
  EXPECT_FALSE(odd.HorizontalLayout);
  EXPECT_EQ(odd.ContentAlignment, 0);

  // A repeated key replaces its value in place; keys past the 51st are
  // dropped from Properties.
  std::string many = "[m]\nTextColor=1 1 1\n";
  for (int i = 0; i < 60; ++i) many += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  many += "textcolor=2 2 2\n";
  const TmsuxThemeObject capped(Describe(many), "m", images.Source());
  EXPECT_EQ(capped.Properties.size(), 51u);
  EXPECT_EQ(capped.Properties[0].Value, "2 2 2");
  EXPECT_EQ(capped.TextColor, RgbColor(2, 2, 2));
  EXPECT_EQ(capped.PropertyNamed("key50"), nullptr);

  EXPECT_THROW(TmsuxThemeObject(Describe("[b]\nbordersize=wide\n"), "b", images.Source()), EConvertError);
}

TEST(MsuxObject, ImagesAreKeyedOutAndSetTheTransparencyMode) {
  TImages images;
  auto keyed = FramesBitmap("A_BMP", 2, 2, {Argb(255, 255, 0, 255)});
  keyed->SetPixelAt(0, 0, Argb(255, 10, 20, 30));
  images.List.Add(std::move(keyed));
  images.List.Add(FramesBitmap("B_BMP", 2, 2, {Argb(255, 1, 2, 3)}));
  auto alpha = FramesBitmap("C_BMP", 2, 2, {Argb(128, 1, 2, 3)});
  alpha->AlphaBlend = true;
  images.List.Add(std::move(alpha));

  const TmsuxThemeObject a(Describe("[o]\nimagefile=a.bmp\n"), "o", images.Source());
  EXPECT_EQ(a.BackgroundType, TmsuxBackground::ImageFile);
  EXPECT_TRUE(a.Transparent);
  EXPECT_EQ(a.TransparencyMode, TmsuxThemeObject::kOwnTransparency);
  EXPECT_EQ(a.Image.Bitmap->PixelAt(1, 1), kKeyPixel);
  EXPECT_EQ(a.Image.Bitmap->PixelAt(0, 0), Argb(255, 10, 20, 30));
  EXPECT_EQ(a.Image.Rect, (TRect{0, 0, 2, 2}));

  const TmsuxThemeObject b(Describe("[o]\nimagefile=b.bmp\n"), "o", images.Source());
  EXPECT_FALSE(b.Transparent);
  EXPECT_EQ(b.TransparencyMode, TmsuxThemeObject::kOpaque);

  const TmsuxThemeObject c(Describe("[o]\nimagefile=c.bmp\n"), "o", images.Source());
  EXPECT_TRUE(c.Transparent);
  EXPECT_EQ(c.TransparencyMode, TmsuxThemeObject::kOwnTransparency);

  // A name the theme does not hold gives an empty image, painted as nothing.
  const TmsuxThemeObject missing(Describe("[o]\nimagefile=nothere.bmp\n"), "o", images.Source());
  ASSERT_NE(missing.Image.Bitmap, nullptr);
  EXPECT_TRUE(missing.Image.Bitmap->IsEmpty());
  TTarget canvas(4, 4);
  missing.PaintObject(canvas.Surface, canvas.Bounds(), 1, TRect{});
  EXPECT_EQ(canvas.PixelAt(1, 1), 0xFF000000u);
}

// ---- painting -------------------------------------------------------------------

TEST(MsuxPaint, FramesAreChosenByImageIndex) {
  // Five stacked frames of 4 × 3, as a push button's image is laid out.
  TImages images;
  images.List.Add(FramesBitmap("BTN_BMP", 4, 3, {0xFF000001u, 0xFF000002u, 0xFF000003u, 0xFF000004u, 0xFF000005u}));
  const TmsuxThemeObject o(Describe("[o]\nimagefile=btn.bmp\nimagecount=5\nimagelayout=vertical\n"), "o",
                           images.Source());
  EXPECT_EQ(o.FrameRect(*o.Image.Bitmap, 3), (TRect{0, 6, 4, 9}));
  EXPECT_EQ(o.FrameRect(*o.Image.Bitmap, 0), (TRect{0, 0, 4, 15}));
  for (int index = 1; index <= 5; ++index) {
    TTarget canvas(8, 6);
    o.PaintObject(canvas.Surface, canvas.Bounds(), index, TRect{});
    EXPECT_EQ(canvas.PixelAt(0, 0), 0xFF000000u | static_cast<TskPixel>(index)) << index;
    EXPECT_EQ(canvas.PixelAt(7, 5), 0xFF000000u | static_cast<TskPixel>(index)) << index;
  }
  // An index past the frames paints nothing.
  TTarget canvas(8, 6);
  o.PaintObject(canvas.Surface, canvas.Bounds(), 6, TRect{});
  EXPECT_EQ(canvas.PixelAt(3, 3), 0xFF000000u);
}

namespace {

// A 6 × 6 frame whose nine parts (margins 2 everywhere) have distinct
// values: corners 1..4, edges 5..8, a 2 × 2 centre with a pattern.
std::unique_ptr<TskBitmap> NinePartBitmap() {
  auto bitmap = std::make_unique<TskBitmap>();
  bitmap->SetSize(6, 6);
  bitmap->Name = "NINE_BMP";
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      const int col = x < 2 ? 0 : x < 4 ? 1 : 2;
      const int row = y < 2 ? 0 : y < 4 ? 1 : 2;
      static constexpr int kPart[3][3] = {{1, 5, 2}, {7, 0, 8}, {3, 6, 4}};
      TskPixel value = 0xFF000000u | static_cast<TskPixel>(kPart[row][col] << 8);
      if (kPart[row][col] == 5) value |= static_cast<TskPixel>(x - 2);
      if (kPart[row][col] == 0) value = 0xFF000000u | static_cast<TskPixel>(0x10 + (x - 2) + 2 * (y - 2));
      bitmap->SetPixelAt(x, y, value);
    }
  }
  return bitmap;
}

}  // namespace

TEST(MsuxPaint, NinePartSizingStretchesOrTilesByType) {
  struct {
    const char* sizing;
    bool tiledCentre;
    bool tiledEdges;
  } cases[] = {
      {"stretch", false, false},
      {"tile", true, true},
      {"bordertileclientstretch", false, true},
      {"borderstretchclienttile", true, false},
  };
  for (const auto& c : cases) {
    TImages images;
    images.List.Add(NinePartBitmap());
    const TmsuxThemeObject o(Describe(std::string("[o]\nimagefile=nine.bmp\nsizingmargins=2,2,2,2\nsizingtype=") +
                                      c.sizing + "\n"),
                             "o", images.Source());
    TTarget canvas(10, 9);
    o.PaintObject(canvas.Surface, canvas.Bounds(), 1, TRect{});
    SCOPED_TRACE(c.sizing);
    // Corners unscaled.
    EXPECT_EQ(canvas.PixelAt(0, 0), 0xFF000100u);
    EXPECT_EQ(canvas.PixelAt(9, 0), 0xFF000200u);
    EXPECT_EQ(canvas.PixelAt(0, 8), 0xFF000300u);
    EXPECT_EQ(canvas.PixelAt(9, 8), 0xFF000400u);
    EXPECT_EQ(canvas.PixelAt(2, 0), 0xFF000500u);  // top edge, its first column
    EXPECT_EQ(canvas.PixelAt(9, 4), 0xFF000800u);  // right edge
    // Centre: 6 × 5 pixels from a 2 × 2 source. Tiled, column 4 repeats
    // column 2 (value 0x10); stretched, it maps to source column
    // trunc(2 × 1 / 5) = 0 as well, but column 5 differs: tiled source
    // column 1, stretched trunc(3 × 1 / 5) = 0.
    EXPECT_EQ(canvas.PixelAt(4, 2), 0xFF000010u);
    EXPECT_EQ(canvas.PixelAt(5, 2), c.tiledCentre ? 0xFF000011u : 0xFF000010u);
    // The top edge's second source column: tiled at x = 5, stretched only
    // at the last column.
    EXPECT_EQ(canvas.PixelAt(5, 0), c.tiledEdges ? 0xFF000501u : 0xFF000500u);
    EXPECT_EQ(canvas.PixelAt(7, 1), 0xFF000501u);
  }
}

TEST(MsuxPaint, TrueSizeIsCentredUnscaledAndClipSelectsParts) {
  TImages images;
  images.List.Add(NinePartBitmap());
  const TmsuxThemeObject o(Describe("[o]\nimagefile=nine.bmp\nsizingtype=truesize\nsizingmargins=9,9,9,9\n"), "o",
                           images.Source());
  // Smaller than the frame (and its margins): still painted, centred.
  TTarget small(4, 4);
  o.PaintObject(small.Surface, small.Bounds(), 1, TRect{});
  // The 6 × 6 frame starts one pixel before the 4 × 4 rectangle.
  EXPECT_EQ(small.PixelAt(0, 0), 0xFF000100u);
  EXPECT_EQ(small.PixelAt(3, 3), 0xFF000400u);
  TTarget large(10, 10);
  o.PaintObject(large.Surface, large.Bounds(), 1, TRect{});
  EXPECT_EQ(large.PixelAt(2, 2), 0xFF000100u);
  EXPECT_EQ(large.PixelAt(1, 1), 0xFF000000u);

  // Margins larger than the frame paint nothing for the other types.
  const TmsuxThemeObject tooSmall(Describe("[o]\nimagefile=nine.bmp\nsizingmargins=4,4,0,0\n"), "o", images.Source());
  TTarget canvas(10, 10);
  tooSmall.PaintObject(canvas.Surface, canvas.Bounds(), 1, TRect{});
  EXPECT_EQ(canvas.PixelAt(0, 0), 0xFF000000u);

  // A clip inside the centre lets only the centre be painted.
  const TmsuxThemeObject nine(Describe("[o]\nimagefile=nine.bmp\nsizingmargins=2,2,2,2\n"), "o", images.Source());
  TTarget clipped(10, 10);
  nine.PaintObject(clipped.Surface, clipped.Bounds(), 1, TRect{3, 3, 5, 5});
  EXPECT_EQ(clipped.PixelAt(0, 0), 0xFF000000u);
  EXPECT_EQ(clipped.PixelAt(5, 0), 0xFF000000u);
  EXPECT_NE(clipped.PixelAt(4, 4), 0xFF000000u);
}

TEST(MsuxPaint, TransparencyModes) {
  TImages images;
  auto bitmap = FramesBitmap("K_BMP", 2, 1, {Argb(255, 255, 0, 255)});
  bitmap->SetPixelAt(0, 0, Argb(255, 9, 9, 9));
  images.List.Add(std::move(bitmap));
  TmsuxThemeObject o(Describe("[o]\nimagefile=k.bmp\n"), "o", images.Source());
  ASSERT_EQ(o.TransparencyMode, TmsuxThemeObject::kOwnTransparency);
  TTarget canvas(2, 1, 0xFF123456u);
  o.PaintObject(canvas.Surface, canvas.Bounds(), 1, TRect{});
  EXPECT_EQ(canvas.PixelAt(0, 0), Argb(255, 9, 9, 9));
  EXPECT_EQ(canvas.PixelAt(1, 0), 0xFF123456u);  // key pixel skipped

  // Mode 0 copies the key pixel too, and leaves the bitmap's flags as they were.
  o.TransparencyMode = TmsuxThemeObject::kOpaque;
  o.PaintObject(canvas.Surface, canvas.Bounds(), 1, TRect{});
  EXPECT_EQ(canvas.PixelAt(1, 0), kKeyPixel);
  EXPECT_TRUE(o.Image.Bitmap->Transparent);
}

TEST(MsuxPaint, FillsBordersAndNoColour) {
  TImages images;
  const TmsuxThemeObject border(
      Describe("[o]\nbgtype=borderfill\nbordersize=2\nbordercolor=255 0 0\nfillcolor=0 0 255\n"), "o",
      images.Source());
  TTarget canvas(6, 6);
  border.PaintObject(canvas.Surface, canvas.Bounds(), 1, TRect{});
  EXPECT_EQ(canvas.PixelAt(0, 3), 0xFFFF0000u);
  EXPECT_EQ(canvas.PixelAt(1, 3), 0xFFFF0000u);
  EXPECT_EQ(canvas.PixelAt(2, 3), 0xFF0000FFu);
  // A derived state paints the base with another fill.
  border.PaintObject(canvas.Surface, canvas.Bounds(), 1, TRect{}, RgbColor(0, 255, 0));
  EXPECT_EQ(canvas.PixelAt(3, 3), 0xFF00FF00u);

  // Unset background without a colour, and "none", paint nothing.
  for (const char* text : {"[o]\ntextcolor=1 1 1\n", "[o]\nbgtype=none\nfillcolor=1 2 3\n"}) {
    const TmsuxThemeObject o(Describe(text), "o", images.Source());
    TTarget blank(3, 3);
    o.PaintObject(blank.Surface, blank.Bounds(), 1, TRect{});
    EXPECT_EQ(blank.PixelAt(1, 1), 0xFF000000u) << text;
  }
  const TmsuxThemeObject filled(Describe("[o]\nfillcolor=1 2 3\n"), "o", images.Source());
  TTarget fill(3, 3);
  filled.PaintObject(fill.Surface, fill.Bounds(), 1, TRect{});
  EXPECT_EQ(fill.PixelAt(1, 1), 0xFF010203u);
}

TEST(MsuxPaint, GlyphsAreCentredFramesAndImagesAreChosenBySize) {
  TImages images;
  images.List.Add(FramesBitmap("BACK_BMP", 8, 8, {0xFF000001u, 0xFF000002u}));
  images.List.Add(FramesBitmap("GLYPH_BMP", 2, 2, {0xFF0000A1u, 0xFF0000A2u}));
  const TmsuxThemeObject o(Describe("[o]\nimagefile=back.bmp\nimagecount=2\nimagelayout=vertical\n"
                                    "glyphtype=imageglyph\nglyphimagefile=glyph.bmp\n"),
                           "o", images.Source());
  TTarget canvas(8, 8);
  o.PaintObject(canvas.Surface, canvas.Bounds(), 2, TRect{});
  EXPECT_EQ(canvas.PixelAt(0, 0), 0xFF000002u);
  EXPECT_EQ(canvas.PixelAt(3, 3), 0xFF0000A2u);
  EXPECT_EQ(canvas.PixelAt(4, 4), 0xFF0000A2u);
  EXPECT_EQ(canvas.PixelAt(5, 5), 0xFF000002u);

  // "dpi": the last of Image2, Image3 narrower than the rectangle less the
  // content margins wins over Image1.
  images.List.Add(FramesBitmap("I1_BMP", 2, 2, {0xFF0000B1u}));
  images.List.Add(FramesBitmap("I2_BMP", 4, 4, {0xFF0000B2u}));
  images.List.Add(FramesBitmap("I3_BMP", 8, 8, {0xFF0000B3u}));
  const TmsuxThemeObject dpi(Describe("[o]\nimageselecttype=dpi\nimagefile1=i1.bmp\nimagefile2=i2.bmp\n"
                                      "imagefile3=i3.bmp\ncontentmargins=1,1,0,0\n"),
                             "o", images.Source());
  for (auto [width, expected] : {std::pair{6, 0xFF0000B1u}, std::pair{9, 0xFF0000B2u}, std::pair{11, 0xFF0000B3u},
                                 std::pair{5, 0xFF0000B1u}}) {
    TTarget target(width, 8);
    dpi.PaintObject(target.Surface, target.Bounds(), 1, TRect{});
    EXPECT_EQ(target.PixelAt(0, 0), expected) << width;
  }
}

// ---- stored form and build ----------------------------------------------------------

namespace {

void FillSmallTheme(TmsuxThemeData& data) {
  data.Name = "Small";
  data.Description.SetText(
      "[Button.Pushbutton]\nImageFile=Blue\\BUTTON.bmp\nImageCount=2\nImageLayout=Vertical\nTextColor=10 20 30\n"
      "FillColorHint=1 2 3\n"
      "[listview]\nFillColor=100 110 120\n"
      "[SysMetrics]\nCaptionBarHeight=30\nBorderWidth=5\n");
  auto button = FramesBitmap("BLUE_BUTTON_BMP", 3, 2, {Argb(255, 100, 150, 200), Argb(255, 255, 0, 255)});
  button->SetPixelAt(1, 0, Argb(0, 1, 2, 3));
  data.Images.Add(std::move(button));
  auto radio = FramesBitmap("BLUE_RADIO_BMP", 2, 2, {Argb(128, 250, 250, 250)});
  radio->AlphaBlend = true;
  data.Images.Add(std::move(radio));
}

std::vector<TskPixel> Pixels(const TskBitmap& bitmap) {
  return std::vector<TskPixel>(bitmap.Bits(), bitmap.Bits() + bitmap.Width() * bitmap.Height());
}

}  // namespace

TEST(MsuxStoredForm, RoundTripKeepsNameTextImagesAndFlags) {
  TmsuxThemeData data;
  FillSmallTheme(data);
  data.Images.Item(0)->Transparent = true;
  TMemoryStream stream;
  data.WriteStoredForm(stream);
  ASSERT_GT(stream.Size(), 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 7), "QVMSSTL");
  // A zlib header of the fastest level.
  EXPECT_EQ(stream.Memory()[7], 0x78);
  EXPECT_EQ(stream.Memory()[8], 0x01);

  TmsuxThemeData copy;
  stream.SetPosition(0);
  EXPECT_TRUE(TmsuxThemeData::CanLoadStream(stream));
  stream.SetPosition(0);
  ASSERT_TRUE(copy.ReadStoredForm(stream));
  EXPECT_EQ(copy.Name, "Small");
  EXPECT_EQ(copy.Description.Text(), data.Description.Text());
  ASSERT_EQ(copy.Images.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    const TskBitmap& a = *data.Images.Item(i);
    const TskBitmap& b = *copy.Images.Item(i);
    EXPECT_EQ(b.Name, a.Name);
    EXPECT_EQ(b.Width(), a.Width());
    EXPECT_EQ(Pixels(b), Pixels(a));
    EXPECT_EQ(b.Transparent, a.Transparent);
    EXPECT_EQ(b.AlphaBlend, a.AlphaBlend);
  }

  // The compressed part decompresses on its own into the documented fields.
  stream.SetPosition(7);
  TDecompressionStream unpacked(stream);
  EXPECT_EQ(ReadStreamString(unpacked), "Small");
  EXPECT_EQ(ReadStreamString(unpacked), data.Description.Text());
}

TEST(MsuxStoredForm, ForeignDataIsNotClaimedAndChangesNothing) {
  TmsuxThemeData data;
  FillSmallTheme(data);
  const std::string text = data.Description.Text();
  TMemoryStream other;
  other.WriteString("QVLZ and something else");
  other.SetPosition(0);
  EXPECT_FALSE(TmsuxThemeData::CanLoadStream(other));
  other.SetPosition(0);
  EXPECT_FALSE(data.ReadStoredForm(other));
  EXPECT_EQ(data.Description.Text(), text);
  EXPECT_EQ(data.Images.Count(), 2);

  TMemoryStream shortStream;
  shortStream.WriteString("QVMS");
  shortStream.SetPosition(0);
  EXPECT_FALSE(TmsuxThemeData::CanLoadStream(shortStream));

  // A stored form cut short raises and keeps the theme as it was.
  TMemoryStream full;
  data.WriteStoredForm(full);
  TMemoryStream cut;
  cut.WriteBuffer(full.Memory(), full.Size() / 2);
  cut.SetPosition(0);
  EXPECT_THROW(data.ReadStoredForm(cut), EStreamError);
  EXPECT_EQ(data.Images.Count(), 2);
  EXPECT_EQ(data.Description.Text(), text);
}

TEST(MsuxBuild, ReadsMetricsAndTakesThePristineCopy) {
  TmsuxThemeData data;
  FillSmallTheme(data);
  data.Build(0, 0);
  EXPECT_EQ(data.CaptionBarHeight, 30);
  EXPECT_EQ(data.BorderWidth, 5);
  EXPECT_EQ(data.SmallCaptionBarHeight, 17);
  EXPECT_EQ(data.SmallBorderWidth, 3);
  EXPECT_TRUE(data.HoldsData());
  EXPECT_GT(data.Pristine.Size(), 7);
  // Every listed section has an object, described or not.
  EXPECT_FALSE(data.Object(TmsuxObjectId::Caption).HasProperties());
  EXPECT_EQ(data.Object(TmsuxObjectId::ListView).FillColor, RgbColor(100, 110, 120));
  // The push button's magenta frame was keyed out by the build.
  const TmsuxThemeObject& button = data.Object(TmsuxObjectId::PushButton);
  EXPECT_TRUE(button.Transparent);
  EXPECT_EQ(button.Image.Bitmap->PixelAt(0, 2), kKeyPixel);
}

TEST(MsuxBuild, ShiftsStartFromThePristineImagesEveryTime) {
  TmsuxThemeData data;
  FillSmallTheme(data);
  data.Build(0, 0);
  data.Build(0, 10);
  const TskBitmap* button = data.Images.FindByName("BLUE_BUTTON_BMP");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->PixelAt(0, 0), Argb(255, 110, 160, 210));
  EXPECT_EQ(button->PixelAt(1, 0), Argb(0, 1, 2, 3));  // alpha 0 untouched
  EXPECT_EQ(button->PixelAt(0, 2), kKeyPixel);
  const std::vector<TskPixel> once = Pixels(*button);
  const TColor text = data.Object(TmsuxObjectId::PushButton).TextColor;
  EXPECT_EQ(text, RgbColor(20, 30, 40));
  // An object without a fill colour is shifted as white.
  EXPECT_EQ(data.Object(TmsuxObjectId::PushButton).FillColor, RgbColor(255, 255, 255));

  data.Build(0, 10);
  button = data.Images.FindByName("BLUE_BUTTON_BMP");
  EXPECT_EQ(Pixels(*button), once);
  EXPECT_EQ(data.Object(TmsuxObjectId::PushButton).TextColor, text);
  // Partial alpha keeps its alpha and brightens too.
  EXPECT_EQ(data.Images.FindByName("BLUE_RADIO_BMP")->PixelAt(0, 0), Argb(128, 255, 255, 255));

  data.Build(0, 0);
  EXPECT_EQ(data.Images.FindByName("BLUE_BUTTON_BMP")->PixelAt(0, 0), Argb(255, 100, 150, 200));
  EXPECT_EQ(data.Object(TmsuxObjectId::PushButton).TextColor, RgbColor(10, 20, 30));

  // Objects without properties keep their colours.
  data.Build(0, 10);
  EXPECT_EQ(data.Object(TmsuxObjectId::Caption).FillColor, kMsuxNoColor);
}

TEST(MsuxBuild, MissingImagesAreLoadedOnDemandOnce) {
  TmsuxThemeData data;
  data.Description.SetText("[edit]\nimagefile=Blue\\EDIT.bmp\n[combobox]\nimagefile=blue\\edit.BMP\n");
  std::vector<std::string> asked;
  data.LoadImage = [&](TskBitmap& bitmap, const std::string& name) {
    asked.push_back(name);
    bitmap.SetSize(2, 2);
    bitmap.Fill(0xFF010101u);
  };
  data.Build(0, 0);
  EXPECT_EQ(asked, std::vector<std::string>{"BLUE_EDIT_BMP"});
  EXPECT_EQ(data.Object(TmsuxObjectId::Edit).Image.Bitmap, data.Object(TmsuxObjectId::ComboBox).Image.Bitmap);
}

// ---- family mapping ----------------------------------------------------------------

TEST(MsuxMapping, StatesToImages) {
  // Push buttons: normal, hot, pressed, disabled, focused, and the variants.
  const int button[] = {1, 2, 3, 4, 5, 2, 5, 2, 3, 4, 3, 3};
  for (int state = 0; state < 12; ++state) EXPECT_EQ(MsuxButtonImage(state), button[state]) << state;
  EXPECT_EQ(MsuxButtonImage(12), -1);
  const int check[] = {5, 6, 7, 8, 5, 1, 2, 3, 4, 1, 9, 10, 11, 12, 9};
  for (int state = 0; state < 15; ++state) EXPECT_EQ(MsuxCheckImage(state), check[state]) << state;
  EXPECT_EQ(MsuxCheckImage(15), -1);
  // Scroll arrows: base by the high byte, direction groups of four by part.
  EXPECT_EQ(MsuxScrollArrowImage(0x0000), 1);
  EXPECT_EQ(MsuxScrollArrowImage(0x0101), 7);
  EXPECT_EQ(MsuxScrollArrowImage(0x0204), 10);
  EXPECT_EQ(MsuxScrollArrowImage(0x0305), 16);
  EXPECT_EQ(MsuxScrollArrowImage(0x0002), -1);
  EXPECT_EQ(MsuxScrollArrowImage(0x0400), -1);
  EXPECT_EQ(MsuxHeaderSectionImage(0x0100), 3);
  EXPECT_EQ(MsuxHeaderSectionImage(0x0400), 2);
  EXPECT_EQ(MsuxHeaderSectionImage(0x0600), 1);
  EXPECT_EQ(MsuxHeaderSectionImage(1792), 0);
  EXPECT_EQ(MsuxTabImage(0x0200), 4);
  EXPECT_EQ(MsuxTabImage(0x0300), 3);
  EXPECT_EQ(MsuxTabImage(1536), 0);
  EXPECT_EQ(MsuxTabScrollImage(1, 2), 6);
  EXPECT_EQ(MsuxTabScrollImage(3, 4), 16);
  EXPECT_EQ(MsuxToolItemImage(7), 3);
  EXPECT_EQ(MsuxToolItemImage(9), 0);
  EXPECT_EQ(MsuxEditButtonImage(3), 1);
  EXPECT_EQ(MsuxEditButtonImage(5), -1);
  EXPECT_EQ(MsuxMdiButtonImage(2), 2);
  EXPECT_EQ(MsuxMdiButtonImage(3), 3);
  EXPECT_EQ(MsuxWindowButtonImage(3), 4);
  EXPECT_EQ(MsuxButtonObject(6), TmsuxObjectId::SpinUpHorz);
  EXPECT_EQ(MsuxCheckObject(1), TmsuxObjectId::RadioButton);
  EXPECT_EQ(MsuxTrackThumbObject(5), static_cast<int>(TmsuxObjectId::TrackBarThumbTop));
  EXPECT_EQ(MsuxProgressObject(4), static_cast<int>(TmsuxObjectId::ProgressChunkVert));
  EXPECT_EQ(MsuxToolItemObject(14), static_cast<int>(TmsuxObjectId::RebarGripperVert));
  EXPECT_EQ(MsuxToolItemObject(2), -1);
}

// ---- Skyline ----------------------------------------------------------------------

TEST(Skyline, DescribesEveryObjectAndItsImagesExist) {
  TmsuxThemeData data;
  themegen::BuildSkyline(data);
  for (std::string_view section : kMsuxObjectSections) {
    EXPECT_NE(data.Description.Section(section), nullptr) << section;
  }
  ASSERT_NE(data.Description.Section("SysMetrics"), nullptr);
  std::vector<std::string> missing;
  data.LoadImage = [&](TskBitmap&, const std::string& name) { missing.push_back(name); };
  data.Build(0, 0);
  EXPECT_EQ(missing, std::vector<std::string>{});
  for (int i = 0; i < kMsuxObjectCount; ++i) {
    const TmsuxThemeObject& o = data.Object(static_cast<TmsuxObjectId>(i));
    EXPECT_TRUE(o.HasProperties()) << o.Name;
    if (o.Image.Bitmap != nullptr) {
      EXPECT_FALSE(o.Image.Bitmap->IsEmpty()) << o.Name;
    }
  }
  const TskBitmap* button = data.Images.FindByName("BLUE_BUTTON_BMP");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->Width(), 29);
  EXPECT_EQ(button->Height(), 145);
  EXPECT_TRUE(data.Images.FindByName("BLUE_RADIOBUTTON13_BMP")->AlphaBlend);
  EXPECT_TRUE(data.Images.FindByName("BLUE_CHECKBOX13_BMP")->Transparent ||
              data.Images.FindByName("BLUE_CHECKBOX13_BMP")->AlphaBlend);
  // The caption is drawn for the metrics it declares.
  EXPECT_EQ(data.Object(TmsuxObjectId::Caption).Image.Bitmap->Height(),
            2 * (data.CaptionBarHeight + data.BorderWidth));
}

TEST(Skyline, ThemeStreamValueLayout) {
  TmsuxThemeData data;
  themegen::BuildSkyline(data);
  const std::vector<uint8_t> value = themegen::ThemeStreamValue(data);
  ASSERT_GT(value.size(), 20u);
  EXPECT_EQ(value[0], 2);
  int32_t nameLength = 0;
  std::memcpy(&nameLength, &value[1], 4);
  EXPECT_EQ(nameLength, 7);
  EXPECT_EQ(std::string(value.begin() + 5, value.begin() + 12), "Skyline");
  uint32_t low = 0, high = 0;
  std::memcpy(&low, &value[12], 4);
  std::memcpy(&high, &value[16], 4);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(low, value.size() - 20);
  EXPECT_EQ(std::string(value.begin() + 20, value.begin() + 27), "QVMSSTL");

  TReadOnlyMemoryStream stored(std::span<const uint8_t>(value).subspan(20));
  TmsuxThemeData loaded;
  ASSERT_TRUE(loaded.ReadStoredForm(stored));
  EXPECT_EQ(loaded.Name, "Skyline");
  EXPECT_EQ(loaded.Images.Count(), data.Images.Count());
  EXPECT_EQ(loaded.Description.Text(), data.Description.Text());
}

// The style-file theme kind on Windows: the viewer's stored theme "Skyline"
// read from this program's own resource and from a style-file module, and
// painted into bitmap device contexts through the element families.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "runtime/streams.h"
#include "graphics/pixel_helpers.h"
#include "skin/theme_msux.h"

namespace {

// The stored form inside the theme-list value: after the format byte, the
// name and the 64-bit size.
std::span<const uint8_t> StoredForm() {
  const std::span<const uint8_t> value = StoredThemeResource();
  return value.size() > 20 ? value.subspan(20) : std::span<const uint8_t>{};
}

std::unique_ptr<TSkThemeMsStyles> LoadSkyline() {
  auto theme = std::make_unique<TSkThemeMsStyles>();
  TReadOnlyMemoryStream stream(StoredForm());
  EXPECT_TRUE(theme->LoadFromStream(stream));
  return theme;
}

// A bitmap with a canvas on its device context, filled with one value.
struct TTarget {
  TTarget(int32_t width, int32_t height, TskPixel fill) {
    Bitmap.SetSize(width, height);
    Bitmap.Fill(fill);
    Canvas.SetHandle(Bitmap.DC());
  }
  ~TTarget() { Canvas.SetHandle(nullptr); }
  TskPixel At(int32_t x, int32_t y) {
    GdiFlush();
    return Bitmap.PixelAt(x, y);
  }
  // The colour part only: the platform's fills leave alpha as they like.
  TColor ColourAt(int32_t x, int32_t y) { return PixelToColor(At(x, y)); }
  TskBitmap Bitmap;
  TCanvas Canvas;
};

const TskBitmap& Image(TSkThemeMsStyles& theme, const char* name) {
  const TskBitmap* bitmap = theme.Data().Images.FindByName(name);
  EXPECT_NE(bitmap, nullptr) << name;
  static TskBitmap empty;
  return bitmap != nullptr ? *bitmap : empty;
}

// Every opaque pixel of frame `frame` (1-based, frames stacked) of image
// equals the target's pixel at (left, top) + its position.
void ExpectFrameAt(TTarget& target, const TskBitmap& image, int frames, int frame, int32_t left, int32_t top) {
  const int32_t h = image.Height() / frames;
  int compared = 0;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < image.Width(); ++x) {
      const TskPixel p = image.PixelAt(x, (frame - 1) * h + y);
      if (PixelAlpha(p) != 255) continue;
      ASSERT_EQ(target.At(left + x, top + y), p) << "frame " << frame << " at " << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

class MsStylesTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeThemeLibrary(); }
  void TearDown() override { FreeThemeLibrary(); }
};

}  // namespace

TEST_F(MsStylesTest, StoredThemeResourceHoldsSkyline) {
  const std::span<const uint8_t> value = StoredThemeResource();
  ASSERT_GT(value.size(), 27u);
  EXPECT_EQ(value[0], 2);
  int32_t nameLength = 0;
  std::memcpy(&nameLength, value.data() + 1, 4);
  EXPECT_EQ(nameLength, 7);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.data() + 5), 7), "Skyline");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.data() + 20), 7), "QVMSSTL");

  auto theme = LoadSkyline();
  EXPECT_EQ(theme->Name, "Skyline");
  EXPECT_EQ(theme->SourceName, "Skyline");
  EXPECT_TRUE(theme->Loaded());
  const TskBitmap& button = Image(*theme, "BLUE_BUTTON_BMP");
  EXPECT_EQ(button.Width(), 29);
  EXPECT_EQ(button.Height(), 145);
  EXPECT_TRUE(theme->DefinesWindow(wkStandard, kDefaultObjectName));
  EXPECT_TRUE(theme->DefinesButton(bkPushButton, kDefaultObjectName));
  EXPECT_TRUE(theme->DefinesEdit(0, kDefaultObjectName));
  EXPECT_TRUE(theme->DefinesStatusBar(0, kDefaultObjectName));
  EXPECT_TRUE(theme->CheckBoxTransparent(ckCheckBox, kDefaultObjectName));
}

TEST_F(MsStylesTest, KindIsRegisteredAndRecognisesItsStreams) {
  RegisterMsStylesThemeKind();
  RegisterMsStylesThemeKind();
  int ours = 0;
  for (int i = 0; i < ThemeManager().KindCount(); ++i) ours += ThemeManager().KindAt(i) == &TSkThemeMsStyles::Class();
  EXPECT_EQ(ours, 1);
  EXPECT_EQ(ThemeManager().FindKindForFile("C:\\x\\Blue.MSSTYLES"), &TSkThemeMsStyles::Class());
  EXPECT_EQ(ThemeManager().FindKindForFile("saved.theme"), &TSkThemeMsStyles::Class());
  EXPECT_EQ(TSkThemeMsStyles::Class().KindName, "Microsoft msstyles");
  EXPECT_EQ(TSkThemeMsStyles::Class().Config.DefaultExt, "msstyles");

  TReadOnlyMemoryStream stream(StoredForm());
  std::unique_ptr<TskTheme> theme = ThemeManager().LoadThemeFromStream(stream);
  ASSERT_NE(theme, nullptr);
  EXPECT_EQ(&theme->ClassType(), &TSkThemeMsStyles::Class());
  EXPECT_EQ(theme->Name, "Skyline");

  // Anything else is not claimed, and a direct load reports failure.
  const uint8_t foreign[] = {'Q', 'V', 'L', 'Z', 0, 0, 0, 0};
  TReadOnlyMemoryStream other(foreign);
  EXPECT_EQ(ThemeManager().LoadThemeFromStream(other), nullptr);
  EXPECT_EQ(other.Position(), 0);
  TSkThemeMsStyles direct;
  other.SetPosition(0);
  EXPECT_FALSE(direct.LoadFromStream(other));
  EXPECT_FALSE(direct.Loaded());
  EXPECT_FALSE(direct.DefinesButton(bkPushButton, kDefaultObjectName));
}

TEST_F(MsStylesTest, LoadsFromAStyleFileModule) {
  TSkThemeMsStyles theme;
  ASSERT_TRUE(theme.LoadFromFile(SKYLINE_MODULE_FILE));
  EXPECT_EQ(theme.Name, "skyline");
  EXPECT_EQ(theme.ModuleFile, SKYLINE_MODULE_FILE);
  ASSERT_TRUE(theme.Loaded());
  // The same description, and images loaded from the module's bitmaps that
  // match the stored theme's pixel for pixel.
  auto stored = LoadSkyline();
  EXPECT_EQ(theme.Data().Description.Text(), stored->Data().Description.Text());
  for (const char* name : {"BLUE_BUTTON_BMP", "BLUE_RADIOBUTTON13_BMP", "BLUE_FRAMECAPTION_BMP"}) {
    const TskBitmap& a = Image(theme, name);
    const TskBitmap& b = Image(*stored, name);
    ASSERT_EQ(a.Width(), b.Width()) << name;
    ASSERT_EQ(a.Height(), b.Height()) << name;
    EXPECT_EQ(std::memcmp(a.Bits(), b.Bits(), size_t(a.Width()) * a.Height() * 4), 0) << name;
    EXPECT_EQ(a.AlphaBlend, b.AlphaBlend) << name;
  }
  EXPECT_EQ(theme.Data().CaptionBarHeight, stored->Data().CaptionBarHeight);

  // Not a module, a missing file, a module without the name lists.
  const std::string text = (std::filesystem::temp_directory_path() / "msux_not_a_module.msstyles").string();
  WriteWholeFile(text, std::vector<uint8_t>{'M', 'Z', 0, 0});
  TSkThemeMsStyles other;
  EXPECT_FALSE(other.LoadFromFile(text));
  EXPECT_FALSE(other.LoadFromFile("Z:\\nowhere\\missing.msstyles"));
  std::filesystem::remove(text);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  EXPECT_FALSE(other.LoadFromFile(self));
  EXPECT_FALSE(other.Loaded());
}

TEST_F(MsStylesTest, SavedThemeFileLoadsBackUnshifted) {
  auto theme = LoadSkyline();
  const std::vector<TskPixel> original(Image(*theme, "BLUE_BUTTON_BMP").Bits(),
                                       Image(*theme, "BLUE_BUTTON_BMP").Bits() + 29 * 145);
  theme->SetDeltaBrightness(10);
  const std::string file = (std::filesystem::temp_directory_path() / "msux_saved.msstyles").string();
  theme->SaveToFile(file);  // written as .theme
  const std::string saved = (std::filesystem::temp_directory_path() / "msux_saved.theme").string();
  TSkThemeMsStyles loaded;
  ASSERT_TRUE(loaded.LoadFromFile(saved));
  std::filesystem::remove(saved);
  EXPECT_EQ(loaded.Name, "Skyline");
  EXPECT_EQ(loaded.FileName, saved);
  const TskBitmap& button = Image(loaded, "BLUE_BUTTON_BMP");
  EXPECT_EQ(std::vector<TskPixel>(button.Bits(), button.Bits() + 29 * 145), original);
}

TEST_F(MsStylesTest, BrightnessShiftsImagesAndTablesOnce) {
  auto theme = LoadSkyline();
  const TskBitmap* button = &Image(*theme, "BLUE_BUTTON_BMP");
  const TskPixel centre = button->PixelAt(14, 14);
  ASSERT_EQ(PixelAlpha(centre), 255);
  EXPECT_EQ(theme->SysColors().Lookup(clBtnFace), RgbColor(243, 245, 249));
  EXPECT_EQ(theme->Colors()[ciButtonNormal], RgbColor(241, 244, 249));
  EXPECT_EQ(theme->Fonts().Font(fiCaptionTextNormal).Color(), RgbColor(31, 41, 55));
  EXPECT_EQ(theme->Fonts().Font(fiButtonTextNormal).Color(), theme->Object(TmsuxObjectId::PushButton).TextColor);
  EXPECT_EQ(theme->Fonts().Font(fiButtonTextDisabled).Color(), RgbColor(160, 166, 176));

  theme->SetDeltaBrightness(10);
  button = &Image(*theme, "BLUE_BUTTON_BMP");
  const TskPixel brighter = button->PixelAt(14, 14);
  EXPECT_EQ(brighter, MakePixel(PixelRed(centre) + 10, PixelGreen(centre) + 10, PixelBlue(centre) + 10, 255));
  EXPECT_EQ(theme->SysColors().Lookup(clBtnFace), RgbColor(253, 255, 255));
  EXPECT_EQ(theme->Colors()[ciButtonNormal], RgbColor(251, 254, 255));
  EXPECT_EQ(theme->Fonts().Font(fiCaptionTextNormal).Color(), RgbColor(41, 51, 65));
  EXPECT_EQ(theme->MenuColor, RgbColor(255, 255, 255));

  // Another change starts from the pristine images again.
  theme->SetDeltaHueAndBrightness(0, 20);
  theme->SetDeltaBrightness(10);
  EXPECT_EQ(Image(*theme, "BLUE_BUTTON_BMP").PixelAt(14, 14), brighter);
  theme->SetDeltaBrightness(0);
  EXPECT_EQ(Image(*theme, "BLUE_BUTTON_BMP").PixelAt(14, 14), centre);
}

TEST_F(MsStylesTest, PushButtonsPaintTheFrameOfTheirState) {
  auto theme = LoadSkyline();
  const TskBitmap& button = Image(*theme, "BLUE_BUTTON_BMP");
  // hot → 2, pressed → 3, disabled → 4, default → 5, and a variant of hot.
  const std::pair<uint8_t, int> cases[] = {{btsNormal, 1}, {btsHot, 2},     {btsPressed, 3},
                                           {btsDisabled, 4}, {btsDefault, 5}, {7, 2}};
  for (auto [state, frame] : cases) {
    TTarget target(29, 29, 0xFF808080u);
    theme->PaintButton(bkPushButton, target.Canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 29, 29}, state));
    SCOPED_TRACE(int(state));
    ExpectFrameAt(target, button, 5, frame, 0, 0);
  }
  TTarget none(29, 29, 0xFF808080u);
  theme->PaintButton(bkPushButton, none.Canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 29, 29}, 12));
  EXPECT_EQ(none.At(14, 14), 0xFF808080u);
}

TEST_F(MsStylesTest, NinePartsStretchAroundUnscaledCorners) {
  auto theme = LoadSkyline();
  const TskBitmap& button = Image(*theme, "BLUE_BUTTON_BMP");
  TTarget target(90, 40, 0xFF808080u);
  theme->PaintButton(bkPushButton, target.Canvas, kDefaultObjectName, MakeStateRecord(TRect{5, 6, 85, 32}, btsPressed));
  // Frame 3 (pressed) is rows 58 to 86. Margins are 5: each corner is the
  // frame's corner, unscaled, at the rectangle's corner.
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      const TskPixel tl = button.PixelAt(x, 58 + y);
      const TskPixel br = button.PixelAt(24 + x, 58 + 24 + y);
      if (PixelAlpha(tl) == 255) {
        EXPECT_EQ(target.At(5 + x, 6 + y), tl);
      }
      if (PixelAlpha(br) == 255) {
        EXPECT_EQ(target.At(80 + x, 27 + y), br);
      }
    }
  }
  // The edges are stretched: the top edge's second row is the same colour
  // all along.
  ASSERT_EQ(PixelAlpha(button.PixelAt(14, 59)), 255);
  EXPECT_EQ(target.At(20, 7), button.PixelAt(14, 59));
  EXPECT_EQ(target.At(70, 7), button.PixelAt(14, 59));
  // Outside the rectangle nothing changed, nor under the transparent corner.
  EXPECT_EQ(target.At(4, 6), 0xFF808080u);
  ASSERT_EQ(PixelAlpha(button.PixelAt(0, 58)), 0);
  EXPECT_EQ(target.At(5, 6), 0xFF808080u);
}

TEST_F(MsStylesTest, CheckBoxesAndTransparencyModes) {
  auto theme = LoadSkyline();
  const TskBitmap& check = Image(*theme, "BLUE_CHECKBOX13_BMP");
  ASSERT_EQ(check.Height(), 12 * 13);
  struct {
    uint8_t state;
    int frame;
  } cases[] = {{chsCheckedNormal, 5}, {chsCheckedHot, 6}, {chsUncheckedPressed, 3}, {chsMixedDisabled, 12},
               {chsChecked4, 5}};
  for (const auto& c : cases) {
    TTarget target(13, 13, 0xFFFF0000u);
    theme->PaintCheckBox(ckCheckBox, target.Canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 13, 13}, c.state));
    SCOPED_TRACE(int(c.state));
    ExpectFrameAt(target, check, 12, c.frame, 0, 0);
  }
  // The box's fully transparent corner keeps the background under it ...
  ASSERT_EQ(PixelAlpha(check.PixelAt(0, 0)), 0);
  TTarget keep(13, 13, 0xFFFF0000u);
  theme->PaintCheckBox(ckCheckBox, keep.Canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 13, 13}, 5));
  EXPECT_EQ(keep.At(0, 0), 0xFFFF0000u);
  // ... unless the object draws its images opaque.
  theme->Data().Object(TmsuxObjectId::CheckBox).TransparencyMode = TmsuxThemeObject::kOpaque;
  TTarget opaque(13, 13, 0xFFFF0000u);
  theme->PaintCheckBox(ckCheckBox, opaque.Canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 13, 13}, 5));
  EXPECT_EQ(opaque.At(0, 0) & 0xFFFFFF, kKeyColor);
  // A radio button is centred unscaled in a larger box.
  const TskBitmap& radio = Image(*theme, "BLUE_RADIOBUTTON13_BMP");
  TTarget large(21, 21, 0xFFFFFFFFu);
  theme->PaintCheckBox(ckRadioButton, large.Canvas, kDefaultObjectName,
                       MakeStateRecord(TRect{0, 0, 21, 21}, chsCheckedNormal));
  ExpectFrameAt(large, radio, 8, 5, 4, 4);
}

TEST_F(MsStylesTest, WindowFrameGeometryAndFramesByState) {
  auto theme = LoadSkyline();
  TskWindowInfo info;
  info.Rect = TRect{0, 0, 300, 200};
  info.Active = 1;
  info.Buttons = WindowButtonBit(wbClose) | WindowButtonBit(wbMaximize) | WindowButtonBit(wbMinimize) |
                 WindowButtonBit(wbSysMenu);
  const std::string& name = kDefaultObjectName;
  EXPECT_EQ(theme->WindowContentRect(wkStandard, info, name), (TRect{4, 32, 296, 196}));
  EXPECT_EQ(theme->WindowContentRect(wkDialog, info, name), (TRect{4, 32, 296, 196}));
  EXPECT_EQ(theme->WindowContentRect(wkToolWindow, info, name), (TRect{3, 23, 297, 197}));
  EXPECT_EQ(theme->WindowContentRect(wkNone, info, name), info.Rect);
  // Caption: content top as bottom, the top border, the caption margins
  // (8 each side) and room for the system-menu icon.
  EXPECT_EQ(theme->WindowCaptionRect(wkStandard, info, name), (TRect{4 + 8 + 28, 4, 296 - 8, 32}));
  // Buttons: s = 28 - 4 = 24, boxes 26 apart from the right.
  EXPECT_EQ(theme->WindowButtonRect(wkStandard, info, name, wbClose), (TRect{271, 5, 295, 29}));
  EXPECT_EQ(theme->WindowButtonRect(wkStandard, info, name, wbMaximize), (TRect{245, 5, 269, 29}));
  EXPECT_EQ(theme->WindowButtonRect(wkStandard, info, name, wbMinimize), (TRect{219, 5, 243, 29}));
  EXPECT_EQ(theme->WindowButtonRect(wkStandard, info, name, wbHelp), TRect{});
  EXPECT_EQ(theme->WindowButtonRect(wkStandard, info, name, wbSysMenu), (TRect{4, 5, 28, 29}));
  // A tool window has only its small close button.
  EXPECT_EQ(theme->WindowButtonRect(wkToolWindow, info, name, wbClose), (TRect{278, 4, 296, 22}));
  EXPECT_EQ(theme->WindowButtonRect(wkToolWindow, info, name, wbMaximize), TRect{});
  EXPECT_EQ(theme->WindowHitTest(wkStandard, info, name, 150, 10), hcCaption);
  EXPECT_EQ(theme->WindowHitTest(wkStandard, info, name, 280, 15), hcClose);
  EXPECT_EQ(theme->WindowHitTest(wkStandard, info, name, 150, 1), hcTop);
  EXPECT_EQ(theme->WindowHitTest(wkStandard, info, name, 150, 100), hcClient);

  // Active and inactive windows take frames 1 and 2 of every frame image.
  const TskBitmap& caption = Image(*theme, "BLUE_FRAMECAPTION_BMP");
  const TskBitmap& left = Image(*theme, "BLUE_FRAMELEFT_BMP");
  for (int active = 1; active >= 0; --active) {
    info.Active = static_cast<uint8_t>(active);
    TTarget target(300, 200, 0xFF000000u);
    theme->PaintWindow(wkStandard, target.Canvas, name, info);
    const int frame = active ? 1 : 2;
    EXPECT_EQ(target.At(150, 0), caption.PixelAt(20, (frame - 1) * 32));
    EXPECT_EQ(target.At(0, 100), left.PixelAt(0, (frame - 1) * 8));
    EXPECT_EQ(target.At(150, 100), 0xFF000000u);  // the client area is left alone
    EXPECT_EQ(target.At(150, 199), Image(*theme, "BLUE_FRAMEBOTTOM_BMP").PixelAt(8, frame * 4 - 1));
  }
  EXPECT_NE(caption.PixelAt(20, 0), caption.PixelAt(20, 32));

  // The region of an opaque frame is the whole window.
  HRGN region = theme->WindowRegion(wkStandard, TRect{0, 0, 300, 200}, name);
  ASSERT_NE(region, nullptr);
  RECT box;
  GetRgnBox(region, &box);
  EXPECT_EQ(box.right, 300);
  EXPECT_EQ(box.bottom, 200);
  DeleteObject(region);
}

TEST_F(MsStylesTest, FamiliesPaintThroughTheMappingTable) {
  auto theme = LoadSkyline();
  // A disabled edit paints the edit object with the fill of its derived
  // state; a read-only one with its own.
  TTarget edit(40, 20, 0xFF000000u);
  theme->PaintEdit(0, edit.Canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 40, 20}, 4));
  EXPECT_EQ(edit.ColourAt(20, 10), RgbColor(244, 245, 247));
  EXPECT_EQ(edit.ColourAt(0, 10), RgbColor(185, 195, 210));
  theme->PaintEdit(0, edit.Canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 40, 20}, 5));
  EXPECT_EQ(edit.ColourAt(20, 10), RgbColor(248, 249, 251));
  theme->PaintEdit(0, edit.Canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 40, 20}, 0));
  EXPECT_EQ(edit.ColourAt(20, 10), RgbColor(255, 255, 255));

  // Scroll-bar arrows: high byte 1 (base image 3) and part 1 (+4) is frame 7.
  const TskBitmap& arrowBack = Image(*theme, "BLUE_SCROLLARROWBACK_BMP");
  TTarget arrow(17, 17, 0xFF000000u);
  theme->PaintScrollBarPart(0, arrow.Canvas, kDefaultObjectName, MakeCodedRecord(TRect{0, 0, 17, 17}, 1, 1));
  EXPECT_EQ(arrow.At(1, 8), arrowBack.PixelAt(1, 6 * 17 + 8));
  EXPECT_NE(arrowBack.PixelAt(1, 6 * 17 + 8), arrowBack.PixelAt(1, 8));

  // Menu items: highlighted states fill with the menu highlight colour.
  TTarget menu(60, 20, 0xFF000000u);
  theme->PaintMenuItem(0, menu.Canvas, kDefaultObjectName, MakeCodedRecord(TRect{0, 0, 60, 20}, 0, 1));
  EXPECT_EQ(menu.ColourAt(30, 10), theme->MenuHighlightColor);
  theme->PaintMenuItem(0, menu.Canvas, kDefaultObjectName, MakeCodedRecord(TRect{0, 0, 60, 20}, 0, 0));
  EXPECT_EQ(menu.ColourAt(30, 10), theme->MenuColor);
  EXPECT_NE(theme->MenuColor, theme->MenuHighlightColor);

  // A separator (15 high, as the menus measure it) is one thin line across
  // the middle, inset at the sides, neither the selection's tint nor the
  // menu's own colour: every other row is the menu's.
  TTarget separator(60, 15, 0xFF000000u);
  theme->PaintMenuItem(1, separator.Canvas, kDefaultObjectName, MakeCodedRecord(TRect{0, 0, 60, 15}, 1, 0));
  int lineRows = 0;
  for (int y = 0; y < 15; ++y) {
    if (separator.ColourAt(30, y) == theme->MenuColor) continue;
    ++lineRows;
    EXPECT_EQ(y, 7) << "the line lies across the middle";
    EXPECT_NE(separator.ColourAt(30, y), theme->MenuHighlightColor) << "not in the selection's tint";
  }
  EXPECT_EQ(lineRows, 1);
  EXPECT_EQ(separator.ColourAt(2, 7), theme->MenuColor) << "inset at the sides";

  // List items: selected in the highlight colour, normal in the window's.
  TTarget list(30, 10, 0xFF000000u);
  theme->PaintListItem(0, list.Canvas, kDefaultObjectName, MakeCodedRecord(TRect{0, 0, 30, 10}, 2, 0));
  EXPECT_EQ(list.ColourAt(5, 5), RgbColor(204, 222, 250));
  theme->PaintListItem(0, list.Canvas, kDefaultObjectName, MakeCodedRecord(TRect{0, 0, 30, 10}, 0, 0));
  EXPECT_EQ(list.ColourAt(5, 5), RgbColor(255, 255, 255));

  // Tabs: state 2 takes frame 4, state 3 frame 3.
  const TskBitmap& tab = Image(*theme, "BLUE_TABITEM_BMP");
  TTarget tabs(16, 22, 0xFF000000u);
  theme->PaintTab(0, tabs.Canvas, kDefaultObjectName, MakeCodedRecord(TRect{0, 0, 16, 22}, 0, 2));
  EXPECT_EQ(tabs.At(8, 12), tab.PixelAt(8, 3 * 22 + 12));
  theme->PaintTab(0, tabs.Canvas, kDefaultObjectName, MakeCodedRecord(TRect{0, 0, 16, 22}, 0, 3));
  EXPECT_EQ(tabs.At(8, 12), tab.PixelAt(8, 2 * 22 + 12));

  // The client of a window in the theme's button face.
  TTarget client(10, 10, 0xFF000000u);
  theme->PaintWindowClient(wkStandard, client.Canvas, kDefaultObjectName, TRect{0, 0, 10, 10});
  EXPECT_EQ(client.ColourAt(5, 5), RgbColor(243, 245, 249));
}

TEST_F(MsStylesTest, GroupBoxFrameLeavesAGapBehindItsCaption) {
  auto theme = LoadSkyline();
  TTarget target(100, 60, 0xFFFF0000u);
  TskGroupBoxRecord record;
  record.Rect = TRect{0, 0, 100, 60};
  record.CaptionRect = TRect{10, 0, 50, 12};
  theme->PaintGroupBox(0, target.Canvas, kDefaultObjectName, record);
  const TColor line = PixelToColor(Image(*theme, "BLUE_GROUPBOX_BMP").PixelAt(8, 0));
  EXPECT_EQ(target.ColourAt(70, 0), line);
  EXPECT_EQ(target.ColourAt(30, 0), PixelToColor(0xFFFF0000u));
  EXPECT_EQ(target.ColourAt(0, 30), line);
  EXPECT_EQ(target.ColourAt(50, 30), PixelToColor(0xFFFF0000u));  // the inside is transparent
}

TEST_F(MsStylesTest, CaptionTextStopsBeforeTheButtons) {
  auto theme = LoadSkyline();
  TskWindowInfo info;
  info.Rect = TRect{0, 0, 300, 40};
  info.Active = 1;
  info.Buttons = WindowButtonBit(wbClose) | WindowButtonBit(wbMaximize) | WindowButtonBit(wbMinimize);
  info.Caption = std::wstring(80, L'W');
  TTarget target(300, 40, 0xFFFFFFFFu);
  const TRect caption = theme->WindowCaptionRect(wkStandard, info, kDefaultObjectName);
  theme->PaintWindowCaption(wkStandard, target.Canvas, kDefaultObjectName, caption, info);
  // Three buttons of the caption bar's height leave 300 - 2 × 4 - 3 × 28.
  const int32_t limit = 300 - 8 - 3 * 28;
  int inside = 0, beyond = 0;
  for (int32_t y = 0; y < 40; ++y) {
    for (int32_t x = 0; x < 300; ++x) {
      if (target.ColourAt(x, y) == RgbColor(255, 255, 255)) continue;
      (x < limit ? inside : beyond)++;
    }
  }
  EXPECT_GT(inside, 50);
  EXPECT_EQ(beyond, 0);
}

// Metrics and margins come from the description and may be any 32-bit
// values: the frame geometry saturates instead of wrapping round.
TEST_F(MsStylesTest, FrameGeometryOfExtremeMetricsDoesNotWrap) {
  TmsuxThemeData stored;
  stored.Name = "Extreme";
  stored.Description.SetText(
      "[SysMetrics]\r\nCaptionBarHeight=2147483647\r\nBorderWidth=2147483647\r\n"
      "SMCaptionBarHeight=-2147483648\r\nSMBorderWidth=2147483647\r\n"
      "[Window.Caption]\r\ncaptionmargins=2147483647, 2147483647, 0, 0\r\n");
  TMemoryStream stream;
  stored.WriteStoredForm(stream);
  stream.SetPosition(0);
  TSkThemeMsStyles theme;
  ASSERT_TRUE(theme.LoadFromStream(stream));

  TskWindowInfo info;
  info.Rect = TRect{0, 0, 300, 200};
  info.Buttons = WindowButtonBit(wbClose) | WindowButtonBit(wbMaximize) | WindowButtonBit(wbSysMenu);
  const std::string& name = kDefaultObjectName;
  const TRect content = theme.WindowContentRect(wkStandard, info, name);
  EXPECT_EQ(content, (TRect{INT32_MAX, INT32_MAX, 300 - INT32_MAX, 200 - INT32_MAX}));
  const TRect caption = theme.WindowCaptionRect(wkStandard, info, name);
  EXPECT_EQ(caption, (TRect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX}));
  // s = 0: the boxes lie below the top border, never above the window.
  const TRect close = theme.WindowButtonRect(wkStandard, info, name, wbClose);
  EXPECT_EQ(close.Top, INT32_MAX);
  EXPECT_EQ(close.Left, 300 - INT32_MAX - 1);
  const TRect maximize = theme.WindowButtonRect(wkStandard, info, name, wbMaximize);
  EXPECT_EQ(maximize.Right, close.Right - 2);
  // A tool window whose small caption is far negative: s - 2 must not wrap
  // to a huge box.
  const TRect toolClose = theme.WindowButtonRect(wkToolWindow, info, name, wbClose);
  EXPECT_TRUE(IsRectEmpty(toolClose));
  EXPECT_EQ(toolClose.Top, INT32_MAX);
  // No point of the window falls on a button or the caption.
  for (int y : {0, 2, 100, 199}) {
    for (int x : {0, 150, 290, 299}) {
      const TskHitCode code = theme.WindowHitTest(wkStandard, info, name, x, y);
      EXPECT_TRUE(code >= hcLeft && code <= hcBottomRight) << x << "," << y << ": " << int{code};
    }
  }
}

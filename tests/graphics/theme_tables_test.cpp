// The theme's data: colour names and text forms, colour shifting, the
// system-colour table, font defaults and their text form, text layout
// geometry and the base frame geometry with its hit test.
#include <gtest/gtest.h>

#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "graphics/sk_bitmap.h"
#include "graphics/sk_theme_tables.h"
#include "graphics/pixel_helpers.h"

namespace {

constexpr TColor kBtnFace = SkSystemColor(sciBtnFace);

TEST(ThemeColorText, NamesHexAndInverse) {
  struct Case {
    TColor Colour;
    const char* Text;
  };
  const Case cases[] = {{0x000000, "clBlack"},         {0x0000FF, "clRed"},          {0xFF0000, "clBlue"},
                        {kBtnFace, "clBtnFace"},       {kSkNoColor, "clNone"},       {kSkDefaultColor, "clDefault"},
                        {0x00123456, "$00123456"},     {0x00ABCDEF, "$00ABCDEF"},    {SkSystemColor(sci3DLight), "cl3DLight"}};
  for (const Case& c : cases) {
    EXPECT_EQ(SkColorToString(c.Colour), c.Text);
    EXPECT_EQ(SkStringToColor(c.Text), c.Colour) << c.Text;
  }
  EXPECT_EQ(SkStringToColor("CLBTNFACE"), kBtnFace);
  EXPECT_EQ(SkStringToColor("255"), 255);
  EXPECT_THROW(SkStringToColor("clNoSuchColour"), EConvertError);
}

TEST(ThemeColorShift, ZeroDeltasKeepIdentifiersOthersResolve) {
  EXPECT_EQ(ShiftThemeColor(kBtnFace, 0, 0), kBtnFace);
  const TColor face = ColorToRGB(kBtnFace);
  const TColor brighter = ShiftThemeColor(kBtnFace, 0, 10);
  EXPECT_GE(brighter, 0);
  EXPECT_EQ(brighter, RgbColor((face & 0xFF) + 10, ((face >> 8) & 0xFF) + 10, ((face >> 16) & 0xFF) + 10));
  // Components clamp at 255 and 0.
  EXPECT_EQ(ShiftThemeColor(RgbColor(250, 5, 128), 0, 10), RgbColor(255, 15, 138));
  EXPECT_EQ(ShiftThemeColor(RgbColor(250, 5, 128), 0, -10), RgbColor(240, 0, 118));
  // A third of the colour circle turns red into green.
  EXPECT_EQ(ShiftThemeColor(RgbColor(255, 0, 0), 85, 0), RgbColor(0, 255, 0));
  // Hue first, then brightness.
  EXPECT_EQ(ShiftThemeColor(RgbColor(255, 0, 0), 85, -5), RgbColor(0, 250, 0));
}

TEST(ThemeColorShift, FontColoursAlwaysBecomePlainRgb) {
  EXPECT_EQ(ShiftFontColor(kBtnFace, 0, 0), ColorToRGB(kBtnFace));
  EXPECT_EQ(ShiftFontColor(0x808080, 0, 0), 0x808080);
  EXPECT_EQ(ShiftFontColor(0xFFFFFF, 0, 0), 0xFFFFFF);
  // The hue 0.0556 of this colour is not on a 1/255 step: it rounds to 14/255
  // and green drops by one.
  EXPECT_EQ(ShiftFontColor(RgbColor(200, 100, 50), 0, 0), RgbColor(200, 99, 50));
}

TEST(ThemeColorTable, DefaultsAndShift) {
  TskThemeColors colors(nullptr);
  colors[ciBorder] = 0x123456;
  colors.SetDefaults();
  EXPECT_EQ(colors[ciCaptionNormal], 0xFF0000);
  EXPECT_EQ(colors[ciCaptionInactive], 0xC0C0C0);
  EXPECT_EQ(colors[ciWindowBorder], 0x808080);
  EXPECT_EQ(colors[ciBorder], 0x123456);  // not a default of its own
  EXPECT_EQ(colors[ciButtonHot], kBtnFace);
  EXPECT_EQ(colors[ciEditNormal], SkSystemColor(sciWindow));
  EXPECT_EQ(colors[ciEditSelection], SkSystemColor(sciHighlight));
  EXPECT_EQ(colors[ciHint], SkSystemColor(sciInfoBk));
  colors.Shift(0, 0);
  EXPECT_EQ(colors[ciButtonHot], kBtnFace);
  colors.Shift(0, 10);
  for (int i = 0; i < kThemeColorCount; ++i) EXPECT_GE(colors[i], 0) << kThemeColorNames[static_cast<size_t>(i)];
  EXPECT_EQ(colors[ciCaptionNormal], RgbColor(10, 10, 255));
}

// Border has no default of its own, yet a theme rebuilds its table from the
// defaults at every adjustment: the shifts must not add up on it.
TEST(ThemeColorTable, BorderShiftsStartFromItsUnshiftedValue) {
  TskThemeColors colors(nullptr);
  colors[ciBorder] = RgbColor(100, 100, 100);
  for (int brightness : {10, 20, 0, -30}) {
    colors.SetDefaults();
    colors.Shift(0, brightness);
    EXPECT_EQ(colors[ciBorder], RgbColor(100 + brightness, 100 + brightness, 100 + brightness)) << brightness;
  }
  // A value written after a shift is the table's new value.
  colors[ciBorder] = 0x123456;
  colors.SetDefaults();
  EXPECT_EQ(colors[ciBorder], 0x123456);
  TskThemeColors copy(nullptr);
  colors.Shift(0, 5);
  copy.Assign(colors);
  copy.SetDefaults();
  EXPECT_EQ(copy[ciBorder], 0x123456);
}

TEST(ThemeColorTable, TextFormLayoutAndRoundTrip) {
  TskThemeColors colors(nullptr);
  colors.SetDefaults();
  colors[ciBorder] = 0x00ABCDEF;
  TMemoryStream stream;
  colors.WriteToStream(stream);
  stream.SetPosition(0);
  uint8_t countLess1 = 0;
  stream.ReadBuffer(&countLess1, 1);
  EXPECT_EQ(countLess1, 21);
  EXPECT_EQ(ReadStreamString(stream), "CaptionNormal");
  EXPECT_EQ(ReadStreamString(stream), ":");
  EXPECT_EQ(ReadStreamString(stream), "clBlue");

  stream.SetPosition(0);
  TskThemeColors read(nullptr);
  read.ReadFromStream(stream);
  for (int i = 0; i < kThemeColorCount; ++i) EXPECT_EQ(read[i], colors[i]);
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(ThemeColorTable, ReadingIsByPositionAndTruncatedStreamsFail) {
  TMemoryStream stream;
  const uint8_t countLess1 = 0;
  stream.WriteBuffer(&countLess1, 1);
  WriteStreamString(stream, "Grid");  // the name does not matter
  WriteStreamString(stream, ":");
  WriteStreamString(stream, "clRed");
  stream.SetPosition(0);
  TskThemeColors colors(nullptr);
  colors.SetDefaults();
  colors.ReadFromStream(stream);
  EXPECT_EQ(colors[ciCaptionNormal], 0x0000FF);
  EXPECT_EQ(colors[ciGrid], SkSystemColor(sciWindow));

  TMemoryStream shortStream;
  const uint8_t five = 5;
  shortStream.WriteBuffer(&five, 1);
  shortStream.SetPosition(0);
  EXPECT_THROW(colors.ReadFromStream(shortStream), EReadError);
}

TEST(ThemeSysColors, LookupStoreAndShift) {
  TskThemeSysColors table(nullptr);
  EXPECT_EQ(table.Lookup(SkSystemColor(sciBtnFace)), ColorToRGB(kBtnFace));
  EXPECT_EQ(table.Lookup(SkSystemColor(sciWindowText)), kSkNoColor);
  EXPECT_EQ(table.Lookup(0x0000FF), kSkNoColor);

  // The active caption has two entries; the first one answers and takes
  // stores.
  table.Store(SkSystemColor(sciActiveCaption), 0x010203);
  EXPECT_EQ(table.Entry(1), 0x010203);
  EXPECT_EQ(table.Entry(10), ColorToRGB(SkSystemColor(sciActiveCaption)));
  EXPECT_EQ(table.Lookup(SkSystemColor(sciActiveCaption)), 0x010203);
  table.Store(SkSystemColor(sciWindowText), 0x0);  // not held: ignored
  EXPECT_EQ(table.Lookup(SkSystemColor(sciWindowText)), kSkNoColor);

  // Shifts are rebuilt from the unshifted values, never added up.
  table.Shift(0, 10);
  EXPECT_EQ(table.Lookup(SkSystemColor(sciActiveCaption)), 0x0B0C0D);
  table.Shift(0, 20);
  EXPECT_EQ(table.Lookup(SkSystemColor(sciActiveCaption)), 0x151617);
  table.Shift(0, 0);
  EXPECT_EQ(table.Lookup(SkSystemColor(sciActiveCaption)), 0x010203);
}

TEST(ThemeSysColors, TextFormRoundTrip) {
  TskThemeSysColors table(nullptr);
  table.Store(SkSystemColor(sciMenu), 0x00FEDCBA);
  TMemoryStream stream;
  table.WriteToStream(stream);
  stream.SetPosition(0);
  int32_t count = 0;
  stream.ReadBuffer(&count, 4);
  EXPECT_EQ(count, 26);
  EXPECT_EQ(ReadStreamString(stream), "clActiveBorder");
  stream.SetPosition(0);
  TskThemeSysColors read(nullptr);
  read.Store(SkSystemColor(sciMenu), 0);
  read.ReadFromStream(stream);
  for (int i = 0; i < kThemeSysColorCount; ++i) EXPECT_EQ(read.Entry(i), table.Entry(i)) << i;
}

TEST(ThemeFonts, Defaults) {
  struct Case {
    int Index;
    int Size;
    TColor Colour;
    unsigned Style;
  };
  const TColor shadow = SkSystemColor(sciBtnShadow);
  const TColor construction = SkSystemColor(sciWindowText);
  const Case cases[] = {{0, 10, 0xFFFFFF, fstBold}, {1, 10, 0xC0C0C0, fstBold}, {2, 8, 0xFFFFFF, fstBold},
                        {3, 8, 0xC0C0C0, fstBold},  {4, 8, 0x000000, 0},        {7, 8, 0x000000, 0},
                        {8, 8, construction, 0},   {9, 8, construction, 0},    {14, 8, shadow, 0},
                        {25, 8, 0x000000, 0},       {26, 8, shadow, 0},         {27, 8, 0x000000, 0},
                        {32, 8, shadow, 0},         {33, 8, 0xFFFFFF, 0},       {34, 8, construction, 0},
                        {46, 8, 0x000000, 0},       {47, 8, construction, 0},   {65, 8, shadow, 0}};
  for (const Case& c : cases) {
    const TskFontRecord font = DefaultThemeFont(c.Index);
    EXPECT_EQ(font.Face, "Tahoma") << c.Index;
    EXPECT_EQ(font.Size, c.Size) << c.Index;
    EXPECT_EQ(font.Color, c.Colour) << c.Index;
    EXPECT_EQ(font.Style, c.Style) << c.Index;
  }
  EXPECT_STREQ(kThemeFontNames[fiEditBoxTextSelected], "EditBoxTextSelected");
  EXPECT_STREQ(kThemeFontNames[65], "PopupMenuItemTextDisabled");
}

TEST(ThemeFonts, TextForm) {
  TskFontRecord font;
  font.Face = "Verdana";
  font.Size = 11;
  font.Charset = 238;
  font.Color = RgbColor(1, 2, 3);
  font.Style = fstBold | fstUnderline;
  EXPECT_EQ(FontToText(font), "Verdana,11,238,1,2,3,bold,underline");

  // Every combination of styles reads back as written.
  for (unsigned style = 0; style < 16; ++style) {
    font.Style = style;
    const TskFontRecord read = FontFromText(FontToText(font), TskFontRecord{});
    EXPECT_EQ(read.Style, style) << FontToText(font);
    EXPECT_EQ(read.Face, "Verdana");
    EXPECT_EQ(read.Size, 11);
    EXPECT_EQ(read.Color, RgbColor(1, 2, 3));
  }
  // A system colour is written as its current RGB value.
  font.Color = kBtnFace;
  font.Style = 0;
  const TColor face = ColorToRGB(kBtnFace);
  EXPECT_EQ(FontToText(font), "Verdana,11,238," + std::to_string(face & 0xFF) + "," +
                                  std::to_string((face >> 8) & 0xFF) + "," + std::to_string((face >> 16) & 0xFF));

  // ";" separates too; the character set is not read; any non-empty style
  // field that names no style sets the style of its place.
  TskFontRecord base;
  base.Charset = 7;
  const TskFontRecord read = FontFromText("Arial;9;0;10;20;30;x;;1;", base);
  EXPECT_EQ(read.Face, "Arial");
  EXPECT_EQ(read.Size, 9);
  EXPECT_EQ(read.Charset, 7);
  EXPECT_EQ(read.Color, RgbColor(10, 20, 30));
  EXPECT_EQ(read.Style, fstBold | fstUnderline);
  // Missing fields keep the base.
  const TskFontRecord partial = FontFromText("Courier", base);
  EXPECT_EQ(partial.Face, "Courier");
  EXPECT_EQ(partial.Size, base.Size);
  EXPECT_EQ(partial.Color, base.Color);
}

TEST(ThemeFonts, TableRoundTrip) {
  std::vector<TskFontRecord> fonts;
  for (int i = 0; i < kThemeFontCount; ++i) {
    TskFontRecord font = DefaultThemeFont(i);
    font.Color = ColorToRGB(font.Color);
    fonts.push_back(font);
  }
  fonts[5].Style = fstItalic;
  TMemoryStream stream;
  WriteFontTable(stream, fonts);
  stream.SetPosition(0);
  uint8_t countLess1 = 0;
  stream.ReadBuffer(&countLess1, 1);
  EXPECT_EQ(countLess1, 65);
  EXPECT_EQ(ReadStreamString(stream), "CaptionTextNormal");
  stream.SetPosition(0);
  const std::vector<TskFontRecord> read = ReadFontTable(stream, std::vector<TskFontRecord>(kThemeFontCount));
  for (int i = 0; i < kThemeFontCount; ++i) {
    TskFontRecord expected = fonts[static_cast<size_t>(i)];
    expected.Charset = 1;  // not part of what is read
    EXPECT_EQ(read[static_cast<size_t>(i)], expected) << i;
  }
}

TEST(ThemeText, MakeTextInfoAlignment) {
  struct Case {
    unsigned Flags;
    uint8_t Align;
  };
  const Case cases[] = {{0, talTopLeft},
                        {kDtCenter, talTopCenter},
                        {kDtRight, talTopRight},
                        {kDtVCenter, talMiddleLeft},
                        {kDtVCenter | kDtCenter, talCenter},
                        {kDtVCenter | kDtRight, talMiddleRight},
                        {kDtBottom, talBottomLeft},
                        {kDtBottom | kDtCenter, talBottomCenter},
                        {kDtBottom | kDtRight, talBottomRight}};
  for (const Case& c : cases) EXPECT_EQ(MakeTextInfo(TRect{}, L"", c.Flags).Align, c.Align) << c.Flags;
  const TskTextInfo info =
      MakeTextInfo(TRect{1, 2, 3, 4}, L"Hi", kDtRtlReading | kDtNoPrefix | kDtSingleLine | kDtWordBreak);
  EXPECT_EQ(info.Options, txoRtlReading | txoNoPrefix | txoSingleLine | txoWordBreak);
  EXPECT_EQ(info.Text, L"Hi");
  EXPECT_EQ(info.Rect, (TRect{1, 2, 3, 4}));
  EXPECT_EQ(info.Orientation, torHorizontal);
}

TEST(ThemeText, AlignedBoxes) {
  const TRect rect{10, 20, 110, 71};  // 100 x 51
  struct Case {
    uint8_t Align;
    TRect Box;
  };
  const Case cases[] = {{talTopLeft, rect},
                        {talMiddleLeft, {10, 40, 40, 50}},
                        {talBottomLeft, {10, 61, 40, 71}},
                        {talTopCenter, {45, 20, 75, 30}},
                        {talCenter, {45, 40, 75, 50}},
                        {talBottomCenter, {45, 61, 75, 71}},
                        {talTopRight, {80, 20, 110, 30}},
                        {talMiddleRight, {80, 40, 110, 50}},
                        {talBottomRight, {80, 61, 110, 71}}};
  for (const Case& c : cases) EXPECT_EQ(AlignTextBox(rect, 30, 10, c.Align), c.Box) << int{c.Align};
  // Text larger than the rectangle: the half difference rounds toward zero.
  EXPECT_EQ(AlignTextBox(TRect{0, 0, 10, 10}, 15, 13, talCenter), (TRect{-2, -1, 13, 12}));
  // Rotated text: the transposed box centred, 2 more at top and bottom.
  EXPECT_EQ(CentreRotatedTextBox(TRect{0, 0, 20, 100}, 41, 10), (TRect{5, 27, 15, 72}));
}

TEST(ThemeText, RotatedPixels) {
  // Horizontal text 4 wide, 3 high, turned into a 3 x 4 target.
  TskBitmap source;
  source.SetSize(4, 3);
  source.Fill(kKeyPixel);
  source.SetPixelAt(0, 0, Argb(255, 1, 0, 0));
  source.SetPixelAt(1, 0, Argb(255, 2, 0, 0));
  source.SetPixelAt(3, 2, Argb(255, 3, 0, 0));
  TskBitmap down;
  down.SetSize(3, 4);
  down.Fill(kKeyPixel);
  RotateTextPixels(source, down, torDownward);
  // (x, y) -> (W - y, x): the first row lands at x = 3, outside; the last
  // row's pixel (3, 2) lands at (1, 3).
  EXPECT_EQ(down.PixelAt(1, 3), Argb(255, 3, 0, 0));
  int drawn = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x) drawn += (down.PixelAt(x, y) & 0xFFFFFF) != kKeyColor;
  EXPECT_EQ(drawn, 1);

  TskBitmap up;
  up.SetSize(3, 4);
  up.Fill(kKeyPixel);
  RotateTextPixels(source, up, torUpward);
  // (x, y) -> (y, H - x): (0, 0) would land at (0, 4), outside; (1, 0) at
  // (0, 3); (3, 2) at (2, 1).
  EXPECT_EQ(up.PixelAt(0, 3), Argb(255, 2, 0, 0));
  EXPECT_EQ(up.PixelAt(2, 1), Argb(255, 3, 0, 0));
}

TEST(ThemeFrame, BaseRectangles) {
  const TRect window{0, 0, 300, 200};
  const TRect content = BaseWindowContentRect(window);
  EXPECT_EQ(content, (TRect{4, 22, 296, 196}));
  EXPECT_EQ(BaseWindowCaptionRect(content), (TRect{4, 3, 296, 22}));
  const TRect close{273, 4, 295, 21};
  auto bit = [](TskWindowButton b) { return WindowButtonBit(b); };
  const TskWindowButtons all = bit(wbSysMenu) | bit(wbClose) | bit(wbHelp) | bit(wbMinimize) | bit(wbMaximize) |
                               bit(wbRollUp) | bit(wbTray);
  struct Case {
    TskWindowButtons Shown;
    TskWindowButton Button;
    int Slots;  // boxes to the left of the close box; -1 the system-menu box
  };
  const Case cases[] = {{all, wbClose, 0},
                        {all, wbMaximize, 1},
                        {all, wbMinimize, 2},
                        {all, wbRollUp, 3},
                        {all, wbTray, 4},
                        {all, wbHelp, 5},
                        {all, wbSysMenu, -1},
                        {bit(wbHelp), wbHelp, 0},
                        {bit(wbClose) | bit(wbRestoreMax) | bit(wbRestoreMin), wbRestoreMin, 2},
                        {bit(wbClose) | bit(wbHelp), wbHelp, 1},
                        {bit(wbMinimize) | bit(wbRollDown), wbRollDown, 1},
                        {bit(wbClose), wbMaximize, 0}};  // not shown: the close box
  for (const Case& c : cases) {
    const TRect expected = c.Slots < 0 ? TRect{4, 4, 26, 21} : OffsetRect(close, -22 * c.Slots, 0);
    EXPECT_EQ(BaseWindowButtonRect(content, c.Shown, c.Button), expected) << int{c.Button} << " " << c.Shown;
  }
}

TEST(ThemeFrame, HitTest) {
  TskFrameGeometry geometry;
  geometry.Window = TRect{0, 0, 300, 200};
  geometry.Content = BaseWindowContentRect(geometry.Window);
  geometry.Caption = BaseWindowCaptionRect(geometry.Content);
  geometry.Buttons = WindowButtonBit(wbClose) | WindowButtonBit(wbMaximize) | WindowButtonBit(wbMinimize);
  geometry.ButtonRect = [&](TskWindowButton b) { return BaseWindowButtonRect(geometry.Content, geometry.Buttons, b); };
  struct Case {
    int X, Y;
    TskHitCode Code;
  };
  const Case cases[] = {{150, 100, hcClient}, {1, 100, hcLeft},      {150, 1, hcTop},       {298, 100, hcRight},
                        {150, 198, hcBottom}, {1, 1, hcTopLeft},     {299, 0, hcTopRight},  {0, 199, hcBottomLeft},
                        {299, 199, hcBottomRight}, {150, 10, hcCaption}, {280, 10, hcClose}, {258, 10, hcMaximize},
                        {236, 10, hcMinimize},
                        // The caption's left end and the system-menu box: no
                        // icon is shown, so it is caption.
                        {10, 10, hcCaption},
                        // Caption starts at y = 3; above it is the top edge.
                        {150, 2, hcTop}};
  for (const Case& c : cases) EXPECT_EQ(HitTestFrame(wkStandard, geometry, c.X, c.Y), c.Code) << c.X << "," << c.Y;
  for (uint8_t kind : {wkDialog, wkSingle, wkToolWindow}) EXPECT_EQ(HitTestFrame(kind, geometry, 1, 100), hcLeft);
  EXPECT_EQ(HitTestFrame(wkNone, geometry, 1, 100), hcClient);
  EXPECT_EQ(HitTestFrame(3, geometry, 280, 10), hcClient);

  // A button the frame does not show is never hit, even where a theme puts
  // it on a shown one.
  geometry.Buttons = WindowButtonBit(wbClose);
  EXPECT_EQ(HitTestFrame(wkStandard, geometry, 280, 10), hcClose);
  geometry.Buttons |= WindowButtonBit(wbSysMenu);
  EXPECT_EQ(HitTestFrame(wkStandard, geometry, 10, 10), hcSysMenu);
}

}  // namespace

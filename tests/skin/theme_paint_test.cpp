// The base theme painted into bitmap device contexts: placeholder shapes
// per family, the window frame, text at every alignment, fonts and resets.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "forms/std_components.h"
#include "skin/sk_theme.h"

namespace {

const std::string kDefault = "default";

// A white bitmap with a canvas on its device context.
class TSurface {
 public:
  TSurface(int width, int height) {
    bitmap_.SetSize(width, height);
    bitmap_.Fill(0xFFFFFFFF);
    canvas_.SetHandle(bitmap_.DC());
  }
  ~TSurface() { canvas_.SetHandle(nullptr); }
  TCanvas& Canvas() { return canvas_; }
  TColor At(int x, int y) {
    GdiFlush();
    return PixelToColor(bitmap_.PixelAt(x, y));
  }
  // The bounding box of the pixels that are not white; empty when none.
  TRect Ink() {
    GdiFlush();
    TRect box{bitmap_.Width(), bitmap_.Height(), 0, 0};
    for (int y = 0; y < bitmap_.Height(); ++y) {
      for (int x = 0; x < bitmap_.Width(); ++x) {
        if ((bitmap_.PixelAt(x, y) & 0xFFFFFF) == 0xFFFFFF) continue;
        box.Left = std::min(box.Left, x);
        box.Top = std::min(box.Top, y);
        box.Right = std::max(box.Right, x + 1);
        box.Bottom = std::max(box.Bottom, y + 1);
      }
    }
    return IsRectEmpty(box) ? TRect{} : box;
  }

 private:
  TskBitmap bitmap_;
  TCanvas canvas_;
};

TEST(ThemePaint, PlaceholderShapes) {
  TskTheme theme;
  const TRect r{5, 5, 35, 25};
  const TskStateRecord state{r, 0};
  using TPaint = std::function<void(TCanvas&)>;
  struct Case {
    const char* Name;
    TPaint Paint;
    TColor Fill;
    TColor Outline;
  };
  const Case cases[] = {
      {"Spare1", [&](TCanvas& c) { theme.PaintSpare1(0, c, kDefault, state); }, clYellow, clRed},
      {"Spare2", [&](TCanvas& c) { theme.PaintSpare2(0, c, kDefault, state); }, clYellow, clRed},
      {"Spare3", [&](TCanvas& c) { theme.PaintSpare3(0, c, kDefault, state); }, clYellow, clRed},
      {"Edit", [&](TCanvas& c) { theme.PaintEdit(0, c, kDefault, state); }, clBlue, clRed},
      {"EditButton", [&](TCanvas& c) { theme.PaintEditButton(0, c, kDefault, state); }, clGreen, clYellow},
      {"ComboBox", [&](TCanvas& c) { theme.PaintComboBox(0, c, kDefault, state); }, clBlue, clRed},
      {"Menu", [&](TCanvas& c) { theme.PaintMenu(0, c, kDefault, state); }, clWhite, clRed},
      {"MenuItemHot", [&](TCanvas& c) { theme.PaintMenuItem(0, c, kDefault, MakeCodedRecord(r, 0, 1)); }, clYellow,
       clRed},
      {"MenuItemPressed", [&](TCanvas& c) { theme.PaintMenuItem(0, c, kDefault, MakeCodedRecord(r, 0, 2)); },
       clGray, clRed},
      {"TrackBar", [&](TCanvas& c) { theme.PaintTrackBar(0, c, kDefault, state); }, clBlue, clRed},
      {"TrackBarThumb", [&](TCanvas& c) { theme.PaintTrackBarThumb(0, c, kDefault, MakeCodedRecord(r, 0, 0)); },
       clYellow, clBlue},
      {"Header", [&](TCanvas& c) { theme.PaintHeader(0, c, kDefault, state); }, clWhite, clBlack},
      {"StatusBar", [&](TCanvas& c) { theme.PaintStatusBar(0, c, kDefault, state); }, clSilver, clBlack},
      {"StatusPanel", [&](TCanvas& c) { theme.PaintStatusPanel(0, c, kDefault, MakeCodedRecord(r, 0, 0)); },
       clGray, clBlack},
      {"TabPane", [&](TCanvas& c) { theme.PaintTabPane(0, c, kDefault, state); }, clSilver, clYellow},
      {"TabScroll", [&](TCanvas& c) { theme.PaintTabScrollButton(0, c, kDefault, MakeCodedRecord(r, 0, 0)); },
       clYellow, clRed},
      {"GroupHead", [&](TCanvas& c) { theme.PaintExplorerGroupHead(0, c, kDefault, state); }, clGreen, clBlack},
      {"Grid", [&](TCanvas& c) { theme.PaintGrid(0, c, kDefault, state); }, clWhite, clRed},
      {"ScrollArrow", [&](TCanvas& c) { theme.PaintScrollBarPart(0, c, kDefault, MakeCodedRecord(r, 0, 1)); },
       clBlue, clBlack},
      {"ScrollThumb", [&](TCanvas& c) { theme.PaintScrollBarPart(0, c, kDefault, MakeCodedRecord(r, 0, 2)); },
       clRed, clBlack},
      {"ScrollTrack", [&](TCanvas& c) { theme.PaintScrollBarTrack(0, c, kDefault, MakeCodedRecord(r, 0, 9)); },
       clGray, clBlack},
      {"ListItemSelected", [&](TCanvas& c) { theme.PaintListItem(0, c, kDefault, MakeCodedRecord(r, 2, 0)); },
       clNavy, clBlue},
      {"ListItemHot", [&](TCanvas& c) { theme.PaintListItem(0, c, kDefault, MakeCodedRecord(r, 1, 0)); }, clYellow,
       clBlue},
      {"List", [&](TCanvas& c) { theme.PaintList(0, c, kDefault, state); }, ColorToRGB(clWindow), clRed},
      {"WindowClient", [&](TCanvas& c) { theme.PaintWindowClient(0, c, kDefault, r); }, clSilver, clSilver},
      {"PanelRaised", [&](TCanvas& c) { theme.PaintPanel(0, c, kDefault, state); }, clSilver,
       ColorToRGB(clBtnHighlight)},
      {"PanelSunken", [&](TCanvas& c) { theme.PaintPanel(1, c, kDefault, state); }, clSilver, clBlack},
  };
  for (const Case& c : cases) {
    TSurface surface(40, 30);
    c.Paint(surface.Canvas());
    EXPECT_EQ(surface.At(20, 12), c.Fill) << c.Name;
    EXPECT_EQ(surface.At(5, 5), c.Outline) << c.Name;
    EXPECT_EQ(surface.At(2, 2), clWhite) << c.Name;
    EXPECT_EQ(surface.At(35, 25), clWhite) << c.Name;
  }
}

TEST(ThemePaint, FamiliesTheBasePaintsNothingFor) {
  TskTheme theme;
  const TRect r{5, 5, 35, 25};
  const TskStateRecord state{r, 0};
  TSurface surface(40, 30);
  TCanvas& c = surface.Canvas();
  theme.PaintCheckBox(0, c, kDefault, state);
  theme.PaintProgressBar(0, c, kDefault, MakeCodedRecord(r, 0, 0));
  theme.PaintDock(0, c, kDefault, state);
  theme.PaintExplorerBar(0, c, kDefault, state);
  theme.PaintComboBoxButton(0, c, kDefault, state);
  theme.PaintPanelPart(0, c, kDefault, MakeCodedRecord(r, 0, 0));
  theme.PaintTrackBarTrack(0, c, kDefault, state);
  theme.PaintListPart(0, c, kDefault, MakeCodedRecord(r, 0, 0));
  EXPECT_EQ(surface.Ink(), TRect{});
}

TEST(ThemePaint, AnswersAndRectangles) {
  TskTheme theme;
  const std::string n = kDefault;
  for (int kind : {0, 1, 6}) {
    EXPECT_FALSE(theme.DefinesWindow(kind, n));
    EXPECT_FALSE(theme.DefinesButton(kind, n));
    EXPECT_FALSE(theme.DefinesCheckBox(kind, n));
    EXPECT_FALSE(theme.DefinesEdit(kind, n));
    EXPECT_FALSE(theme.DefinesMenu(kind, n));
    EXPECT_FALSE(theme.DefinesList(kind, n));
    EXPECT_FALSE(theme.DefinesGrid(kind, n));
  }
  EXPECT_TRUE(theme.LabelTransparent(0, n));
  EXPECT_TRUE(theme.CheckBoxTransparent(0, n));
  EXPECT_TRUE(theme.TrackBarTransparent(0, n));
  EXPECT_TRUE(theme.GroupBoxTransparent(0, n));
  EXPECT_TRUE(theme.TabTransparent(0, n));
  EXPECT_FALSE(theme.ButtonTransparent(0, n));
  EXPECT_FALSE(theme.ComboBoxQuery1(0, n));
  EXPECT_EQ(theme.WindowRegion(0, TRect{0, 0, 10, 10}, n), nullptr);

  const TRect r{10, 20, 110, 70};
  EXPECT_EQ(theme.Spare1ContentRect(0, r, n), (TRect{20, 33, 100, 57}));
  EXPECT_EQ(theme.StatusBarContentRect(0, r, n), (TRect{15, 22, 105, 68}));
  EXPECT_EQ(theme.EditContentRect(0, r, n), (TRect{13, 23, 107, 67}));
  EXPECT_EQ(theme.MenuContentRect(0, r, n), (TRect{13, 25, 107, 65}));
  EXPECT_EQ(theme.ListContentRect(0, r, n), (TRect{14, 25, 106, 65}));
  EXPECT_EQ(theme.GridContentRect(0, r, n), (TRect{12, 22, 108, 68}));
  EXPECT_EQ(theme.Spare3ContentRect(0, r, n), (TRect{13, 23, 107, 67}));
  EXPECT_EQ(theme.PanelContentRect(0, r, n), r);
  EXPECT_EQ(theme.ScrollBarContentRect(0, r, n), r);
  EXPECT_EQ(theme.ComboBoxButtonRect(0, r, n), r);
  EXPECT_EQ(theme.CheckBoxSize(0), (TSize{13, 13}));
  EXPECT_EQ(theme.KindName(), "Default");
  EXPECT_FALSE(theme.KindConfig().CanSave);
  TMemoryStream stream;
  EXPECT_FALSE(theme.LoadFromStream(stream));
  EXPECT_FALSE(theme.SaveToStream(stream));
}

TEST(ThemePaint, WindowFrame) {
  TskTheme theme;
  TskWindowInfo info;
  info.Rect = TRect{0, 0, 200, 120};
  info.Active = 1;
  {
    TSurface surface(200, 120);
    theme.PaintWindow(wkStandard, surface.Canvas(), kDefault, info);
    EXPECT_EQ(surface.At(0, 0), clBlack);
    EXPECT_EQ(surface.At(199, 119), clBlack);
    EXPECT_EQ(surface.At(100, 10), clBlue);     // caption strip
    EXPECT_EQ(surface.At(3, 60), clGray);       // left border
    EXPECT_EQ(surface.At(100, 117), clGray);    // bottom border
    EXPECT_EQ(surface.At(100, 60), clWhite);    // the client is left alone
  }
  info.Active = 0;
  {
    TSurface surface(200, 120);
    theme.PaintWindow(wkStandard, surface.Canvas(), kDefault, info);
    EXPECT_EQ(surface.At(100, 10), clSilver);
  }
  // Repainting only below the caption leaves the caption strip alone.
  info.PaintRect = TRect{0, 30, 200, 120};
  {
    TSurface surface(200, 120);
    theme.PaintWindow(wkStandard, surface.Canvas(), kDefault, info);
    EXPECT_EQ(surface.At(100, 10), clWhite);
    EXPECT_EQ(surface.At(3, 60), clGray);
  }
}

TEST(ThemePaint, WindowButtons) {
  TskTheme theme;
  theme.Colors()[ciButtonHot] = clRed;
  const TRect r{10, 10, 32, 27};
  auto paint = [&](uint8_t part, uint8_t state, TSurface& surface) {
    theme.PaintWindowButton(wkStandard, surface.Canvas(), kDefault, MakePartRecord(r, part, state));
  };
  {
    TSurface surface(40, 40);
    paint(wbClose, btsNormal, surface);
    EXPECT_EQ(surface.At(12, 12), ColorToRGB(clBtnFace));
    // The frame: a 3-D edge lightened and darkened from the face.
    EXPECT_EQ(surface.At(r.Left, r.Top), LightenColor(ColorToRGB(clBtnFace), 100));
    EXPECT_EQ(surface.At(r.Right - 1, r.Bottom - 1), LightenColor(ColorToRGB(clBtnFace), -100));
  }
  {
    // Pressed: the edge is reversed.
    TSurface surface(40, 40);
    paint(wbMaximize, btsPressed, surface);
    EXPECT_EQ(surface.At(r.Left, r.Top), LightenColor(ColorToRGB(clBtnFace), -100));
  }
  {
    TSurface surface(40, 40);
    paint(wbClose, btsHot, surface);
    EXPECT_EQ(surface.At(12, 12), clRed);
  }
  {
    TSurface surface(40, 40);
    paint(wbTray, btsNormal, surface);
    EXPECT_EQ(surface.At(r.Right - 6, r.Bottom - 6), clBlack);
    EXPECT_EQ(surface.At(r.Right - 8, r.Bottom - 6), ColorToRGB(clBtnFace));
  }
  {
    // A roll-up triangle points up: wider at its bottom than at its top.
    TSurface surface(40, 40);
    paint(wbRollUp, btsNormal, surface);
    auto width = [&](int y) {
      int n = 0;
      for (int x = r.Left; x < r.Right; ++x) n += surface.At(x, y) == clBlack;
      return n;
    };
    EXPECT_GT(width(r.Bottom - 7), width(r.Top + 6));
  }
  {
    // The system-menu icon is the record's bitmap, centred.
    TskBitmap icon;
    icon.SetSize(4, 4);
    icon.Fill(0xFF00FF00);
    TSurface surface(40, 40);
    theme.PaintWindowButton(wkStandard, surface.Canvas(), kDefault, MakePartRecord(r, wbSysMenu, 0, &icon));
    EXPECT_EQ(surface.Ink(), (TRect{19, 16, 23, 20}));
    EXPECT_EQ(surface.At(20, 17), clLime);
  }
}

// A theme whose frame is 10 pixels wide: the base hit test follows the
// rectangles of the kind.
class TWideFrameTheme : public TskTheme {
 public:
  TRect WindowContentRect(int, const TskWindowInfo& info, const std::string&) override {
    return TRect{info.Rect.Left + 10, info.Rect.Top + 30, info.Rect.Right - 10, info.Rect.Bottom - 10};
  }
};

TEST(ThemePaint, HitTestUsesTheKindsRectangles) {
  TskWindowInfo info;
  info.Rect = TRect{0, 0, 300, 200};
  info.Buttons = WindowButtonBit(wbClose);
  TskTheme base;
  TWideFrameTheme wide;
  EXPECT_EQ(base.WindowHitTest(wkStandard, info, kDefault, 7, 100), hcClient);
  EXPECT_EQ(wide.WindowHitTest(wkStandard, info, kDefault, 7, 100), hcLeft);
  EXPECT_EQ(wide.WindowHitTest(wkStandard, info, kDefault, 150, 20), hcCaption);
  // The close box sits in the wide theme's caption: right edge 290 - 1.
  EXPECT_EQ(wide.WindowButtonRect(wkStandard, info, kDefault, wbClose), (TRect{267, 4, 289, 29}));
  EXPECT_EQ(wide.WindowHitTest(wkStandard, info, kDefault, 280, 20), hcClose);
  EXPECT_EQ(wide.WindowHitTest(wkNone, info, kDefault, 280, 20), hcClient);
}

class ThemeTextDraw : public ::testing::Test {
 protected:
  TRect Draw(const TskTextInfo& info, int width = 200, int height = 100) {
    TSurface surface(width, height);
    surface.Canvas().Font().SetName(L"Tahoma");
    surface.Canvas().Font().SetSize(10);
    surface.Canvas().Font().SetColor(clBlack);
    theme_.DrawText(surface.Canvas(), info);
    return surface.Ink();
  }
  TskTheme theme_;
};

TEST_F(ThemeTextDraw, HorizontalAlignments) {
  const TRect rect{0, 0, 200, 100};
  for (uint8_t align = 0; align <= 8; ++align) {
    TskTextInfo info;
    info.Rect = rect;
    info.Text = L"Ab";
    info.Align = align;
    info.Options = txoSingleLine;
    const TRect ink = Draw(info);
    ASSERT_FALSE(IsRectEmpty(ink)) << int{align};
    const int row = align % 3;
    const int column = align / 3;
    const int64_t middleY = (ink.Top + ink.Bottom) / 2;
    const int64_t middleX = (ink.Left + ink.Right) / 2;
    if (row == 0) {
      EXPECT_LT(ink.Top, 20) << int{align};
    }
    if (row == 1) {
      EXPECT_NEAR(middleY, 50, 8) << int{align};
    }
    if (row == 2) {
      EXPECT_GT(ink.Bottom, 85) << int{align};
    }
    if (column == 0) {
      EXPECT_LT(ink.Left, 10) << int{align};
    }
    if (column == 1) {
      EXPECT_NEAR(middleX, 100, 8) << int{align};
    }
    if (column == 2) {
      EXPECT_GT(ink.Right, 185) << int{align};
    }
  }
}

TEST_F(ThemeTextDraw, RightToLeftMovesLeftAlignmentsRight) {
  TskTextInfo info;
  info.Rect = TRect{0, 0, 200, 100};
  info.Text = L"Ab";
  info.Align = talMiddleLeft;
  info.Options = txoSingleLine | txoRtlReading;
  const TRect ink = Draw(info);
  EXPECT_GT(ink.Right, 185);
  EXPECT_NEAR((ink.Top + ink.Bottom) / 2, 50, 8);
}

TEST_F(ThemeTextDraw, RotatedText) {
  TskTextInfo info;
  info.Rect = TRect{0, 0, 40, 160};
  info.Text = L"Rotated";
  info.Options = txoSingleLine;
  const TRect horizontalInk = [&] {
    TskTextInfo flat = info;
    flat.Rect = TRect{0, 0, 160, 40};
    return Draw(flat, 160, 40);
  }();
  for (uint8_t orientation : {torDownward, torUpward}) {
    info.Orientation = orientation;
    info.Align = talCenter;
    const TRect ink = Draw(info, 40, 160);
    ASSERT_FALSE(IsRectEmpty(ink)) << int{orientation};
    // The text's length now runs down the rectangle.
    EXPECT_NEAR(RectHeight(ink), RectWidth(horizontalInk), 3) << int{orientation};
    EXPECT_NEAR(RectWidth(ink), RectHeight(horizontalInk), 3) << int{orientation};
    EXPECT_NEAR((ink.Top + ink.Bottom) / 2, 80, 6) << int{orientation};
    EXPECT_NEAR((ink.Left + ink.Right) / 2, 20, 6) << int{orientation};

    // At alignment 0 the text starts at the rectangle's start: downward
    // text at the top with the letters' tops facing right, upward text at
    // the bottom with their tops facing left.
    info.Align = talTopLeft;
    const TRect start = Draw(info, 40, 160);
    if (orientation == torDownward) {
      EXPECT_LT(start.Top, 10);
      EXPECT_GT(start.Right, 30);
    } else {
      EXPECT_GT(start.Bottom, 150);
      EXPECT_LT(start.Left, 10);
    }

    // Other alignments of rotated text draw nothing.
    info.Align = talBottomRight;
    EXPECT_EQ(Draw(info, 40, 160), TRect{}) << int{orientation};
  }
}

// A theme that gives every named object other than "default" a red font.
class TObjectFontTheme : public TskTheme {
 public:
  void GetObjectFont(TFont& font, int fontIndex, const std::string& objectName) override {
    TskTheme::GetObjectFont(font, fontIndex, objectName);
    font.SetColor(clRed);
  }
};

TEST(ThemeFontsWin, FontForDefaultIsTheStoredFont) {
  TObjectFontTheme theme;
  TskThemeFonts& fonts = theme.Fonts();
  EXPECT_EQ(&fonts.FontFor(fiButtonTextNormal, "default"), &fonts.Font(fiButtonTextNormal));
  TFont& other = fonts.FontFor(fiButtonTextNormal, "Default");
  EXPECT_NE(&other, &fonts.Font(fiButtonTextNormal));
  EXPECT_EQ(other.Color(), clRed);
  EXPECT_EQ(other.Name(), L"Tahoma");
  EXPECT_EQ(fonts.Font(fiButtonTextNormal).Color(), clBlack);
}

TEST(ThemeFontsWin, ResetRebuildsFromDefaults) {
  TskTheme theme;
  EXPECT_EQ(theme.Fonts().Font(fiCaptionTextNormal).Style(), fsBold);
  EXPECT_EQ(theme.Fonts().Font(fiCaptionTextNormal).Size(), 10);
  for (int i = 0; i < kThemeFontCount; ++i) EXPECT_GE(theme.Fonts().Font(i).Color(), 0) << i;
  EXPECT_EQ(theme.Colors()[ciButtonNormal], clBtnFace);

  EXPECT_TRUE(theme.SetDeltaBrightness(10));
  EXPECT_FALSE(theme.SetDeltaBrightness(10));
  EXPECT_EQ(theme.Colors()[ciCaptionNormal], RgbColor(10, 10, 255));
  EXPECT_EQ(theme.Fonts().Font(fiStaticTextNormal).Color(), RgbColor(10, 10, 10));
  EXPECT_EQ(theme.Fonts().Font(fiPanelTextNormal).Color(), ShiftFontColor(clWindowText, 0, 10));
  theme.SysColors().Store(clMenu, RgbColor(100, 110, 120));

  EXPECT_TRUE(theme.SetDeltaBrightness(20));
  EXPECT_EQ(theme.Fonts().Font(fiStaticTextNormal).Color(), RgbColor(20, 20, 20));
  EXPECT_EQ(theme.Fonts().Font(fiPanelTextNormal).Color(), ShiftFontColor(clWindowText, 0, 20));
  EXPECT_EQ(theme.SysColors().Lookup(clBtnFace), ShiftThemeColor(clBtnFace, 0, 20));
  // A stored value is shifted from itself each time, not from the last shift.
  EXPECT_EQ(theme.SysColors().Lookup(clMenu), RgbColor(120, 130, 140));

  EXPECT_TRUE(theme.SetDeltaBrightness(0));
  EXPECT_EQ(theme.Colors()[ciCaptionNormal], 0xFF0000);
  EXPECT_EQ(theme.Colors()[ciButtonNormal], clBtnFace);
  EXPECT_EQ(theme.Fonts().Font(fiStaticTextNormal).Color(), clBlack);
  EXPECT_EQ(theme.SysColors().Lookup(clBtnFace), ColorToRGB(clBtnFace));
  EXPECT_EQ(theme.SysColors().Lookup(clMenu), RgbColor(100, 110, 120));
}

TEST(ThemeFontsWin, AssignAndTextForm) {
  TskTheme source;
  source.Name = "Source";
  source.Colors()[ciHint] = clFuchsia;
  source.Fonts().Font(fiHeaderSectionTextHot).SetColor(clMaroon);
  source.Options().Option2 = true;
  TskTheme copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Name, "Source");
  EXPECT_EQ(copy.Colors()[ciHint], clFuchsia);
  EXPECT_EQ(copy.Fonts().Font(fiHeaderSectionTextHot).Color(), clMaroon);
  EXPECT_TRUE(copy.Options().Option2);

  TMemoryStream stream;
  source.Fonts().Font(fiTabTextActiveHot).SetStyle(fsItalic | fsStrikeOut);
  source.Fonts().WriteToStream(stream);
  stream.SetPosition(0);
  TskTheme read;
  read.Fonts().ReadFromStream(stream);
  EXPECT_EQ(read.Fonts().Font(fiTabTextActiveHot).Style(), fsItalic | fsStrikeOut);
  EXPECT_EQ(read.Fonts().Font(fiHeaderSectionTextHot).Color(), clMaroon);
  EXPECT_EQ(read.Fonts().Font(fiCaptionTextNormal).Size(), 10);
}

TEST(ThemeGlyphs, ImageListEntryBecomesAGlyphRecord) {
  TImageList list(nullptr);
  list.SetSize(8, 8);
  TBitmap picture;
  picture.SetSize(16, 8);
  picture.Canvas().Brush().SetColor(clRed);
  picture.Canvas().FillRect(TRect{0, 0, 8, 8});
  picture.Canvas().Brush().SetColor(clBlue);
  picture.Canvas().FillRect(TRect{8, 0, 16, 8});
  ASSERT_EQ(list.AddMasked(picture, clFuchsia), 0);
  const TRect r{1, 2, 3, 4};
  const TskGlyphRecord second = MakeImageListGlyphRecord(r, list, 1, true, 7);
  ASSERT_NE(second.Bitmap, nullptr);
  EXPECT_EQ(second.Rect, r);
  EXPECT_EQ(second.State, 7);
  EXPECT_EQ(second.Kind, gkBitmap);
  EXPECT_TRUE(second.Bitmap->Transparent);
  EXPECT_EQ(second.Bitmap->Width(), 8);
  EXPECT_EQ(PixelToColor(second.Bitmap->PixelAt(4, 4)), clBlue);
  EXPECT_EQ(MakeImageListGlyphRecord(r, list, 2, false).Bitmap, nullptr);

  // The menu glyph of kind "bitmap" draws it centred.
  const TskGlyphRecord first = MakeImageListGlyphRecord(TRect{0, 0, 20, 20}, list, 0, false);
  TskTheme theme;
  TSurface surface(20, 20);
  theme.PaintMenuItemGlyph(0, surface.Canvas(), kDefault, first, MakeCodedRecord(TRect{}, 0, 0));
  EXPECT_EQ(surface.Ink(), (TRect{6, 6, 14, 14}));
  EXPECT_EQ(surface.At(10, 10), clRed);
}

TEST(ThemeGlyphs, ListCheckBoxes) {
  TskTheme theme;
  const TRect r{0, 0, 30, 30};
  struct Case {
    uint8_t Kind;
    TColor Inside;
  };
  for (const Case& c : {Case{0, clBlack}, Case{1, clRed}, Case{2, clGray}}) {
    TSurface surface(30, 30);
    theme.PaintListItemCheck(0, surface.Canvas(), kDefault, MakeGlyphRecord(r, nullptr, c.Kind),
                             MakeCodedRecord(r, 0, 0));
    EXPECT_EQ(surface.Ink(), (TRect{7, 7, 23, 23})) << int{c.Kind};
    EXPECT_EQ(surface.At(7, 7), clBlack) << int{c.Kind};
    EXPECT_EQ(surface.At(8, 8), clRed) << int{c.Kind};
    EXPECT_EQ(surface.At(15, 15), c.Inside) << int{c.Kind};
  }
}

}  // namespace

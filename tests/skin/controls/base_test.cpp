// The themed controls' common ground: the bevelled frame and the content
// rectangle, the buffering modes, the theme notifications a control reacts
// to, and the background a transparent child gets from its skinned parent.
#include <gtest/gtest.h>

#include <vector>

#include "skin/controls/controls_support.h"
#include "skin/controls/sk_controls.h"

namespace {

// A windowed control that paints only what the base paints and counts the
// theme changes it reacts to.
class TPlainSkControl : public TSkControl {
 public:
  using TSkControl::TSkControl;
  std::vector<TskThemeChange> Reactions;

 protected:
  void ThemeChanged(TskThemeChange code) override {
    Reactions.push_back(code);
    TSkControl::ThemeChanged(code);
  }
};

// A graphic control that asks its parent for the background and then draws
// a 2 × 2 mark in its top-left corner.
class TSeeThrough : public TSkGraphicControl {
 public:
  using TSkGraphicControl::TSkGraphicControl;

 protected:
  void PaintContent(TCanvas& canvas) override {
    canvas.WithHandle([&](HDC dc) {
      PaintParentBackground(this, dc);
      FillRectColor(dc, TRect{0, 0, 2, 2}, clRed);
    });
  }
};

class ControlsBaseTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeThemeLibrary(); }
  void TearDown() override {
    host_.reset();
    FreeThemeLibrary();
  }
  TPlainSkControl* MakeControl(int width = 60, int height = 40) {
    auto* control = CreateComponent<TPlainSkControl>(&host_->Form());
    control->SetBounds(10, 10, width, height);
    control->SetParent(&host_->Form());
    return control;
  }
  std::unique_ptr<TControlsHost> host_ = std::make_unique<TControlsHost>();
};

TEST_F(ControlsBaseTest, BevelsAndBorderShrinkTheContentAndDrawTheirRingsInTheTableColours) {
  TPlainSkControl* control = MakeControl();
  control->SetEditFrameStyle(false);
  control->SetColor(clWhite);
  EXPECT_EQ(control->ContentRect(), (TRect{0, 0, 60, 40}));

  // Raised outside, lowered inside, one ring each, then a border of 2.
  control->SetBevelWidth(1);
  control->SetBevelOuter(kbvRaised);
  control->SetBevelInner(kbvLowered);
  control->SetBorderWidth(2);
  EXPECT_EQ(control->ContentRect(), (TRect{4, 4, 56, 36}));
  auto pixels = RenderControl(*control);
  EXPECT_EQ(Rgb(*pixels, 0, 20), SysRgb(COLOR_BTNHIGHLIGHT));   // outer ring, left
  EXPECT_EQ(Rgb(*pixels, 59, 20), SysRgb(COLOR_3DDKSHADOW));    // outer ring, right
  EXPECT_EQ(Rgb(*pixels, 1, 20), SysRgb(COLOR_3DDKSHADOW));     // inner ring, left
  EXPECT_EQ(Rgb(*pixels, 58, 20), SysRgb(COLOR_BTNFACE));       // inner ring, right
  EXPECT_EQ(Rgb(*pixels, 2, 20), 0xFFFFFFu);                    // border in the control's colour
  EXPECT_EQ(Rgb(*pixels, 30, 20), 0xFFFFFFu);                   // content

  // Sides: only the top keeps its bevel; a kind sets both cuts at once, and
  // setting one cut directly drops the kind.
  control->SetBevelSides(kbsTop);
  EXPECT_EQ(control->ContentRect(), (TRect{2, 4, 58, 38}));
  control->SetBevelKind(kbkFlat);
  EXPECT_EQ(control->BevelInner(), kbvFlatBorder);
  EXPECT_EQ(control->BevelOuter(), kbvFlatBorder);
  control->SetBevelInner(kbvNone);
  EXPECT_EQ(control->BevelKind(), kbkNone);
  EXPECT_EQ(control->ContentRect(), (TRect{2, 3, 58, 38}));
}

TEST_F(ControlsBaseTest, EveryBufferingModePaintsTheSamePixels) {
  TPlainSkControl* control = MakeControl(50, 30);
  control->SetEditFrameStyle(false);
  control->SetBevelWidth(2);
  control->SetBorderWidth(1);
  control->SetColor(clYellow);
  std::vector<std::unique_ptr<TskBitmap>> renders;
  for (TSkPerformance mode : {qvpNoBuffer, qvpSharedBuffer, qvpDoubleBuffer}) {
    control->SetPerformance(mode);
    renders.push_back(RenderControl(*control));
  }
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 50; ++x) {
      ASSERT_EQ(Rgb(*renders[0], x, y), Rgb(*renders[1], x, y)) << x << "," << y;
      ASSERT_EQ(Rgb(*renders[0], x, y), Rgb(*renders[2], x, y)) << x << "," << y;
    }
  }
  EXPECT_EQ(Rgb(*renders[0], 25, 15), 0xFFFF00u);  // yellow
}

TEST_F(ControlsBaseTest, ReactsToSetReplacedRemovedAndColoursButNotToTheBrackets) {
  TPlainSkControl* control = MakeControl();
  UseSkylineTheme();   // set: changing, set, changed
  UseSkylineTheme();   // replaced: changing, replaced, changed
  SetThemeBrightness(20);
  ClearTheme();        // removed: changing, removed, changed
  EXPECT_EQ(control->Reactions, (std::vector<TskThemeChange>{tcSet, tcReplaced, tcColors, tcRemoved}));
  // A destroyed control is no client any more.
  const int clients = ThemeManager().ClientCount();
  delete control;
  EXPECT_EQ(ThemeManager().ClientCount(), clients - 1);
}

TEST_F(ControlsBaseTest, TransparentChildShowsItsSkinnedParentsFrameAndContentBehindIt) {
  TPlainSkControl* parent = MakeControl(80, 50);
  parent->SetEditFrameStyle(false);
  parent->SetColor(clBlue);
  parent->SetBevelWidth(1);
  parent->SetBevelOuter(kbvBorder);
  parent->SetBevelInner(kbvNone);
  auto* child = CreateComponent<TSeeThrough>(&host_->Form());
  child->SetBounds(0, 0, 20, 20);
  child->SetParent(parent);
  auto pixels = RenderControl(*parent);
  EXPECT_EQ(Rgb(*pixels, 0, 0), 0xFF0000u);                 // the child's mark (red)
  EXPECT_EQ(Rgb(*pixels, 0, 10), SysRgb(COLOR_3DDKSHADOW));  // the parent's frame behind the child
  EXPECT_EQ(Rgb(*pixels, 10, 10), 0x0000FFu);                // the parent's content behind the child
}

TEST(ControlsFontOptions, AddStylesGrowTheSizeAndReplaceNameAndColourOnlyWhenGiven) {
  TFont font;
  font.SetName(L"Arial");
  font.SetSize(9);
  font.SetStyle(fsItalic);
  font.SetColor(clGreen);
  TSkFontOptions options;
  int changes = 0;
  options.OnChange = [&] { ++changes; };
  options.SetBold(true);
  options.SetSizeDelta(-1);
  options.SetSizeDelta(-1);  // no change, no notification
  options.ApplyTo(font);
  EXPECT_EQ(font.Style(), fsBold | fsItalic);
  EXPECT_EQ(font.Size(), 8);
  EXPECT_EQ(font.Name(), L"Arial");
  EXPECT_EQ(font.Color(), clGreen);
  options.SetFontName(L"Tahoma");
  options.SetFontColor(clRed);
  options.ApplyTo(font);
  EXPECT_EQ(font.Name(), L"Tahoma");
  EXPECT_EQ(font.Color(), clRed);
  EXPECT_EQ(changes, 4);
}

}  // namespace

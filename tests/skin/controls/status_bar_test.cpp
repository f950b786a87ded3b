// The status bar: panel layout by width, view and stretch priority, hosted
// controls, shortening of texts, and painting without a theme.
#include <gtest/gtest.h>

#include "forms/std_components.h"
#include "skin/controls/controls_support.h"
#include "skin/controls/sk_status_bar.h"

namespace {

class StatusBarTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeThemeLibrary(); }
  void TearDown() override {
    host_.reset();
    FreeThemeLibrary();
  }
  TSkStatusBar* MakeBar(int width) {
    host_ = std::make_unique<TControlsHost>(width, 200);
    auto* bar = CreateComponent<TSkStatusBar>(&host_->Form());
    bar->SetParent(&host_->Form());
    return bar;
  }
  TSkStatusPanel* AddPanel(TSkStatusBar* bar, int width, int view = 100, int stretch = 0) {
    TSkStatusPanel* panel = bar->Panels().Add();
    panel->SetWidth(width);
    panel->SetViewPriority(view);
    panel->SetStretchPriority(stretch);
    return panel;
  }
  std::unique_ptr<TControlsHost> host_;
};

TEST_F(StatusBarTest, ViewersBarPlacesTwoPanelsAndTheirLabelsWithoutATheme) {
  TSkStatusBar* bar = MakeBar(792);
  EXPECT_EQ(bar->Width(), 792);
  EXPECT_EQ(bar->Height(), 22);
  EXPECT_EQ(bar->Top(), 200 - 22);  // aligned to the bottom
  TLabel* labels[2];
  for (TLabel*& label : labels) {
    label = CreateComponent<TLabel>(&host_->Form());
    TSkStatusPanel* panel = AddPanel(bar, 350);
    panel->SetControl(label);
  }
  EXPECT_EQ(bar->Panels().Count(), 2);  // hosting a label made no panel of its own
  EXPECT_EQ(bar->Panels().Items(0)->Rect(), (TRect{2, 2, 352, 20}));
  EXPECT_EQ(bar->Panels().Items(1)->Rect(), (TRect{352, 2, 702, 20}));
  EXPECT_EQ(labels[0]->BoundsRect(), (TRect{3, 3, 349, 19}));
  EXPECT_EQ(labels[1]->BoundsRect(), (TRect{353, 3, 699, 19}));
  EXPECT_EQ(labels[0]->Parent(), bar);
}

TEST_F(StatusBarTest, LowPriorityPanelsGiveWayAndStretchingPanelsShareTheRest) {
  TSkStatusBar* bar = MakeBar(304);  // content 300 wide
  TSkStatusPanel* a = AddPanel(bar, 150, 100);
  TSkStatusPanel* b = AddPanel(bar, 100, 50);
  TSkStatusPanel* c = AddPanel(bar, 100, 80);
  // 350 > 300: the lowest view priority (b) goes; 250 remain.
  EXPECT_TRUE(a->Showing());
  EXPECT_FALSE(b->Showing());
  EXPECT_TRUE(c->Showing());
  EXPECT_EQ(b->Rect(), TRect{});
  EXPECT_EQ(c->Rect(), (TRect{152, 2, 252, 20}));

  // The free 50 go to the panel of the highest stretch priority, up to its
  // maximum; the rest to the next one, which as the last panel reaches the
  // right edge.
  a->SetStretchPriority(90);
  a->SetMaxWidth(170);
  c->SetStretchPriority(10);
  EXPECT_EQ(a->Rect(), (TRect{2, 2, 172, 20}));
  EXPECT_EQ(c->Rect(), (TRect{172, 2, 302, 20}));

  // A view priority of 0 hides a panel whatever the room; a panel of
  // priority 100 never gives way, even when it no longer fits.
  c->SetViewPriority(0);
  EXPECT_FALSE(c->Showing());
  b->SetViewPriority(100);
  b->SetWidth(400);
  EXPECT_TRUE(a->Showing());
  EXPECT_TRUE(b->Showing());
  EXPECT_EQ(b->Rect().Right, 302);  // cut at the content's edge
}

TEST_F(StatusBarTest, HostedControlsFollowTheirPanelAndTheBarRefusesItsOwnParents) {
  TSkStatusBar* bar = MakeBar(400);
  auto* label = CreateComponent<TLabel>(&host_->Form());
  TSkStatusPanel* first = AddPanel(bar, 100);
  TSkStatusPanel* second = AddPanel(bar, 100);
  first->SetControl(label);
  EXPECT_EQ(label->Left(), 3);
  // Moved to another panel: the first no longer hosts it.
  second->SetControl(label);
  EXPECT_EQ(first->Control(), nullptr);
  EXPECT_EQ(label->Left(), 103);
  // Hidden with its panel.
  second->SetViewPriority(0);
  EXPECT_FALSE(label->Visible());
  second->SetViewPriority(100);
  EXPECT_TRUE(label->Visible());

  try {
    first->SetControl(&host_->Form());
    FAIL() << "the form was accepted";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message, "Can't insert own parent");
  }
  EXPECT_THROW(first->SetControl(bar), EInvalidOperation);

  // A control put on the bar gets a panel; taking it off removes the panel.
  auto* extra = CreateComponent<TLabel>(&host_->Form());
  extra->SetParent(bar);
  ASSERT_EQ(bar->Panels().Count(), 3);
  EXPECT_EQ(bar->Panels().Items(2)->Control(), extra);
  extra->SetParent(&host_->Form());
  EXPECT_EQ(bar->Panels().Count(), 2);
}

TEST_F(StatusBarTest, ClassicPaintingFramesPanelsAndShortensTextsWithAnEllipsis) {
  TSkStatusBar* bar = MakeBar(304);
  TSkStatusPanel* panel = AddPanel(bar, 60);
  panel->SetText(L"A long status text that cannot fit");
  bar->SetColor(clWhite);
  auto pixels = RenderControl(*bar);
  // Sunken frame of the panel (shadow top-left, highlight bottom-right,
  // ending two pixels before the panel's right edge).
  EXPECT_EQ(Rgb(*pixels, 2, 10), SysRgb(COLOR_BTNSHADOW));
  EXPECT_EQ(Rgb(*pixels, 59, 10), SysRgb(COLOR_BTNHIGHLIGHT));
  // Nothing is drawn beyond the panel: the text was cut.
  for (int x = 62; x < 280; ++x) ASSERT_EQ(Rgb(*pixels, x, 10), 0xFFFFFFu) << x;

  TCanvas& canvas = host_->Form().Canvas();
  canvas.Font().Assign(bar->Font());
  const std::wstring shortened = ShortenWithEllipsis(canvas, panel->Text(), 56);
  EXPECT_EQ(shortened.substr(shortened.size() - 3), L"...");
  EXPECT_LE(canvas.TextWidth(shortened), 56);
  EXPECT_EQ(ShortenWithEllipsis(canvas, L"ok", 56), L"ok");
}

}  // namespace

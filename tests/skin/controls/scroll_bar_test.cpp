// The scroll bar on its own: the range a page leaves, the thumb's share of
// the track, the codes it reports for each action, and the parts and states
// it asks the theme for (or draws classically without one).
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "skin/controls/controls_support.h"
#include "graphics/sk_api_win.h"
#include "skin/controls/sk_scroll_bar.h"

namespace {

// A theme with a scroll-bar element that records each part's code.
class TScrollRecordingTheme : public TskTheme {
 public:
  std::vector<uint16_t> Parts;
  std::vector<uint16_t> Tracks;

  bool DefinesScrollBar(int, const std::string&) override { return true; }
  void PaintScrollBarPart(int, TCanvas&, const std::string&, const TskCodedRecord& record) override {
    Parts.push_back(record.Code);
  }
  void PaintScrollBarTrack(int, TCanvas&, const std::string&, const TskCodedRecord& record) override {
    Tracks.push_back(record.Code);
  }
};

// The classic looks are checked with the platform's visual styles off (the
// level between theme and classic drawing); they are loaded again after.
class ScrollBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeThemeLibrary();
    visualStyleLoads_ = VisualStylesLoadCount();
    ReleaseAllVisualStyles();
  }
  void TearDown() override {
    host_.reset();
    FreeThemeLibrary();
    ReleaseAllVisualStyles();
    for (int i = 0; i < visualStyleLoads_; ++i) LoadVisualStyles();
  }
  int visualStyleLoads_ = 0;
  TSkScrollBar* MakeBar(TSkScrollBarKind kind) {
    auto* bar = CreateComponent<TSkScrollBar>(&host_->Form());
    bar->SetKind(kind);
    const int breadth = GetSystemMetrics(SM_CXVSCROLL);
    if (kind == sbVertical) {
      bar->SetBounds(20, 20, breadth, 200);
    } else {
      bar->SetBounds(20, 20, 200, breadth);
    }
    bar->SetParent(&host_->Form());
    bar->OnScroll = [this](TObject*, int code, int position) { events_.emplace_back(code, position); };
    return bar;
  }

  std::unique_ptr<TControlsHost> host_ = std::make_unique<TControlsHost>();
  std::vector<std::pair<int, int>> events_;
};

TEST_F(ScrollBarTest, APageEndsTheRangeAndSizesTheThumb) {
  TSkScrollBar* bar = MakeBar(sbVertical);
  bar->SetParams(0, 0, 99);
  bar->SetPageSize(25);
  EXPECT_EQ(bar->MaxPosition(), 75);
  bar->SetPosition(90);
  EXPECT_EQ(bar->Position(), 75);
  const TRect track = bar->TrackRect();
  const TRect thumb = bar->ThumbRect();
  // A quarter of the range shows as a quarter of the track, at its end.
  EXPECT_EQ(RectHeight(thumb), RectHeight(track) / 4);
  EXPECT_EQ(thumb.Bottom, track.Bottom);
  bar->SetPosition(0);
  EXPECT_EQ(bar->ThumbRect().Top, track.Top);
  // A page as large as the range leaves nothing to scroll: no thumb.
  bar->SetPageSize(100);
  EXPECT_EQ(bar->MaxPosition(), 0);
  EXPECT_TRUE(IsRectEmpty(bar->ThumbRect()));
  // A huge range keeps a thumb one can still grab.
  bar->SetParams(0, 0, 1000000);
  bar->SetPageSize(1);
  EXPECT_GE(RectHeight(bar->ThumbRect()), 8);
}

TEST_F(ScrollBarTest, ReportsLinePageThumbAndEndCodesWithTheNewPosition) {
  TSkScrollBar* bar = MakeBar(sbHorizontal);
  bar->SetParams(5, 0, 20);
  bar->SetPageSize(5);
  const int middle = bar->Height() / 2;
  const TRect left = bar->ArrowRect(true);
  Click(*bar, (left.Left + left.Right) / 2, middle);
  const TRect thumb = bar->ThumbRect();
  Click(*bar, thumb.Right + 2, middle);
  EXPECT_EQ(events_, (std::vector<std::pair<int, int>>{
                         {SB_LINEUP, 4}, {SB_ENDSCROLL, 4}, {SB_PAGEDOWN, 9}, {SB_ENDSCROLL, 9}}));

  events_.clear();
  const TRect from = bar->ThumbRect();
  MouseDown(*bar, from.Left + 1, middle);
  MouseMove(*bar, bar->Width() + 30, middle, MK_LBUTTON);  // dragged past the end
  MouseUp(*bar, bar->Width() + 30, middle);
  EXPECT_EQ(events_, (std::vector<std::pair<int, int>>{
                         {SB_THUMBTRACK, 16}, {SB_THUMBPOSITION, 16}, {SB_ENDSCROLL, 16}}));
  EXPECT_EQ(bar->ThumbRect().Right, bar->TrackRect().Right);

  // Nothing moves at the end: no step is reported.
  events_.clear();
  const TRect right = bar->ArrowRect(false);
  Click(*bar, (right.Left + right.Right) / 2, middle);
  EXPECT_EQ(events_, (std::vector<std::pair<int, int>>{{SB_ENDSCROLL, 16}}));

  // Setting the position from code reports nothing; a disabled bar takes no
  // clicks.
  events_.clear();
  bar->SetPosition(3);
  bar->SetEnabled(false);
  Click(*bar, (right.Left + right.Right) / 2, middle);
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(bar->Position(), 3);
}

TEST_F(ScrollBarTest, AsksTheThemeForArrowsThumbAndTrackWithTheirStates) {
  auto owned = std::make_unique<TScrollRecordingTheme>();
  TScrollRecordingTheme* theme = owned.get();
  ThemeManager().SetCurrentTheme(std::move(owned));
  TSkScrollBar* bar = MakeBar(sbVertical);
  bar->SetParams(0, 0, 10);
  bar->SetPageSize(2);
  const TRect down = bar->ArrowRect(false);
  MouseMove(*bar, 2, (down.Top + down.Bottom) / 2);  // hot
  theme->Parts.clear();
  RenderControl(*bar);
  // Low byte the part (0 up, 1 down, 9 vertical thumb), high byte the state.
  EXPECT_EQ(theme->Tracks, (std::vector<uint16_t>{0}));
  EXPECT_EQ(theme->Parts, (std::vector<uint16_t>{0x0000, 0x0101, 0x0009}));

  const TRect thumb = bar->ThumbRect();
  MouseDown(*bar, 2, thumb.Top + 1);  // the thumb held: pressed
  theme->Parts.clear();
  RenderControl(*bar);
  EXPECT_EQ(theme->Parts, (std::vector<uint16_t>{0x0000, 0x0001, 0x0209}));
  MouseUp(*bar, 2, thumb.Top + 1);

  bar->SetKind(sbHorizontal);
  bar->SetBounds(20, 20, 200, GetSystemMetrics(SM_CYHSCROLL));
  bar->SetEnabled(false);
  theme->Parts.clear();
  theme->Tracks.clear();
  RenderControl(*bar);
  EXPECT_EQ(theme->Tracks, (std::vector<uint16_t>{1}));
  EXPECT_EQ(theme->Parts, (std::vector<uint16_t>{0x0304, 0x0305, 0x0308}));
}

TEST_F(ScrollBarTest, ClassicBarShowsAButtonFaceThumbOnTheScrollBarTrack) {
  TSkScrollBar* bar = MakeBar(sbVertical);
  bar->SetParams(0, 0, 9);
  bar->SetPageSize(5);
  auto pixels = RenderControl(*bar);
  const TRect track = bar->TrackRect();
  const TRect thumb = bar->ThumbRect();
  const int x = bar->Width() / 2;
  EXPECT_EQ(Rgb(*pixels, x, (thumb.Top + thumb.Bottom) / 2), SysRgb(COLOR_BTNFACE));
  EXPECT_EQ(Rgb(*pixels, x, track.Bottom - 2), SysRgb(COLOR_SCROLLBAR));
}

TEST_F(ScrollBarTest, WithVisualStylesTheBarPaintsThePlatformsScrollbarParts) {
  TSkScrollBar* bar = MakeBar(sbVertical);
  bar->SetParams(0, 0, 9);
  bar->SetPageSize(5);
  const auto classic = RenderControl(*bar);
  if (!LoadVisualStyles() || !VisualStylesActive()) GTEST_SKIP() << "no visual styles on this platform";
  const auto styled = RenderControl(*bar);
  int differing = 0;
  for (int y = 0; y < bar->Height(); ++y) {
    for (int x = 0; x < bar->Width(); ++x) differing += Rgb(*classic, x, y) != Rgb(*styled, x, y) ? 1 : 0;
  }
  EXPECT_GT(differing, bar->Width() * 10);
}

}  // namespace

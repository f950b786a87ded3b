// The list box in a real window: selection by mouse and keys with the
// clicks they report, the scroll bar child that appears when the items
// overflow and scrolls the list, the reaction to item changes, and the
// painting with and without a theme's list element.
#include <gtest/gtest.h>

#include <windowsx.h>

#include <string>
#include <vector>

#include "skin/controls/controls_support.h"
#include "graphics/sk_api_win.h"
#include "skin/controls/sk_list_box.h"

namespace {

// A theme whose list element records the state every item is painted in and
// the font each item's text gets; items are filled with one colour per state.
class TListRecordingTheme : public TskTheme {
 public:
  std::vector<uint8_t> ItemStates;
  std::vector<TColor> TextColours;

  bool DefinesList(int, const std::string&) override { return true; }
  void PaintList(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) override {
    canvas.WithHandle([&](HDC dc) { FillRectColor(dc, record.Rect, clBlack); });
  }
  void PaintListItem(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) override {
    ItemStates.push_back(record.Low());
    canvas.WithHandle([&](HDC dc) { FillRectColor(dc, record.Rect, clLime); });
  }
  void PaintListItemText(int, TCanvas& canvas, const std::string&, const TskTextInfo&,
                         const TskCodedRecord&) override {
    TextColours.push_back(canvas.Font().Color());
  }
};

// The classic looks are checked with the platform's visual styles off (the
// level between theme and classic drawing); they are loaded again after.
class ListBoxTest : public ::testing::Test {
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
  TSkListBox* MakeList(int count) {
    auto* list = CreateComponent<TSkListBox>(&host_->Form());
    list->SetBounds(10, 10, 121, 97);
    list->SetParent(&host_->Form());
    for (int i = 0; i < count; ++i) list->Items().Add(L"Item " + std::to_wstring(i));
    list->OnClick = [this](TObject*) { ++clicks_; };
    return list;
  }
  // The middle of an item's row as the list shows it now.
  static TPoint RowPoint(TSkListBox& list, int index) {
    const TRect row = list.ItemRect(index);
    return TPoint{(row.Left + row.Right) / 2, (row.Top + row.Bottom) / 2};
  }
  // A left click with modifier keys in the message, as the platform sends it.
  static void ClickWithKeys(TControl& control, TPoint at, WPARAM keys) {
    POINT p{at.X, at.Y};
    HWND window = MouseTarget(control, p);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(p.x, p.y));
    SendMessageW(window, WM_LBUTTONUP, keys, MAKELPARAM(p.x, p.y));
  }

  std::unique_ptr<TControlsHost> host_ = std::make_unique<TControlsHost>();
  int clicks_ = 0;
};

TEST_F(ListBoxTest, StartsWithTheListDefaults) {
  TSkListBox* list = MakeList(0);
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_EQ(list->ItemHeight(), 16);
  EXPECT_TRUE(list->TabStop());
  EXPECT_EQ(list->Color(), clWindow);
  EXPECT_EQ(list->BevelKind(), kbkSingle);
  // One lowered ring outside and one inside leave 93 pixels: five whole rows.
  EXPECT_EQ(list->ContentRect(), (TRect{2, 2, 119, 95}));
  EXPECT_EQ(list->VisibleRows(), 5);
}

TEST_F(ListBoxTest, ClickFocusesAndSelectsTheItemUnderTheMouseAndCallsOnClick) {
  TSkListBox* list = MakeList(20);
  const TPoint third = RowPoint(*list, 2);
  Click(*list, third.X, third.Y);
  EXPECT_EQ(list->ItemIndex(), 2);
  EXPECT_TRUE(list->Focused());
  EXPECT_EQ(clicks_, 1);

  // Scrolled down, the first row shows another item.
  list->SetTopIndex(7);
  const TPoint firstRow = RowPoint(*list, 7);
  Click(*list, firstRow.X, firstRow.Y);
  EXPECT_EQ(list->ItemIndex(), 7);
  EXPECT_TRUE(list->Selected(7));
  EXPECT_FALSE(list->Selected(2));
  EXPECT_EQ(clicks_, 2);

  // Held down, the button carries the selection along; the release clicks.
  const TPoint start = RowPoint(*list, 8);
  const TPoint end = RowPoint(*list, 10);
  MouseDown(*list, start.X, start.Y);
  MouseMove(*list, end.X, end.Y, MK_LBUTTON);
  EXPECT_EQ(list->ItemIndex(), 10);
  EXPECT_EQ(clicks_, 2);
  MouseUp(*list, end.X, end.Y);
  EXPECT_EQ(clicks_, 3);
}

TEST_F(ListBoxTest, ArrowPageHomeAndEndKeysMoveTheIndexKeepItVisibleAndCallOnClick) {
  TSkListBox* list = MakeList(20);
  list->SetFocus();
  PressKey(*list, VK_DOWN);  // from no item to the first
  EXPECT_EQ(list->ItemIndex(), 0);
  PressKey(*list, VK_DOWN);
  EXPECT_EQ(list->ItemIndex(), 1);
  PressKey(*list, VK_NEXT);  // a page is the visible rows less one
  EXPECT_EQ(list->ItemIndex(), 1 + list->VisibleRows() - 1);
  PressKey(*list, VK_END);
  EXPECT_EQ(list->ItemIndex(), 19);
  EXPECT_EQ(list->TopIndex(), 20 - list->VisibleRows());
  PressKey(*list, VK_UP);
  EXPECT_EQ(list->ItemIndex(), 18);
  PressKey(*list, VK_HOME);
  EXPECT_EQ(list->ItemIndex(), 0);
  EXPECT_EQ(list->TopIndex(), 0);
  EXPECT_EQ(clicks_, 6);
}

TEST_F(ListBoxTest, KeysThatCannotMoveLeaveTheIndexAndCallNoOnClick) {
  TSkListBox* list = MakeList(4);
  list->SetFocus();
  list->SetItemIndex(3);
  PressKey(*list, VK_DOWN);
  PressKey(*list, VK_END);
  PressKey(*list, VK_NEXT);
  EXPECT_EQ(list->ItemIndex(), 3);
  list->SetItemIndex(0);
  PressKey(*list, VK_UP);
  PressKey(*list, VK_HOME);
  EXPECT_EQ(list->ItemIndex(), 0);
  EXPECT_EQ(clicks_, 0);
}

TEST_F(ListBoxTest, ScrollBarAppearsWhenItemsOverflowWithAPageOfTheVisibleRows) {
  TSkListBox* list = MakeList(5);
  TSkScrollBar& bar = list->ScrollBar();
  const int fullWidth = list->ContentRect().Right;
  EXPECT_FALSE(bar.Visible());

  list->Items().Add(L"one more");
  EXPECT_TRUE(bar.Visible());
  EXPECT_TRUE(bar.Enabled());
  EXPECT_EQ(bar.PageSize(), list->VisibleRows());
  EXPECT_EQ(bar.Max(), 5);
  // The bar takes its room from the content, beside the frame.
  EXPECT_EQ(list->ContentRect().Right, fullWidth - GetSystemMetrics(SM_CXVSCROLL));
  EXPECT_EQ(bar.Left(), list->ContentRect().Right);
  EXPECT_EQ(bar.Height(), RectHeight(list->ContentRect()));
  // The bar paints over the list, its track just above the lower arrow.
  auto pixels = RenderControl(*list);
  EXPECT_EQ(Rgb(*pixels, bar.Left() + bar.Width() / 2, bar.Top() + bar.ArrowRect(false).Top - 2),
            SysRgb(COLOR_SCROLLBAR));

  // A wider border moves the bar along with the content.
  list->SetBorderWidth(3);
  EXPECT_EQ(bar.Left(), list->ContentRect().Right);
  EXPECT_EQ(bar.Top(), list->ContentRect().Top);
  list->SetBorderWidth(0);

  list->Items().Delete(5);
  EXPECT_FALSE(bar.Visible());
  EXPECT_EQ(list->ContentRect().Right, fullWidth);

  // Always shown, with nothing to scroll it stays disabled.
  list->SetAlwaysShowScrlBar(true);
  EXPECT_TRUE(bar.Visible());
  EXPECT_FALSE(bar.Enabled());
}

TEST_F(ListBoxTest, ArrowTrackThumbAndWheelScrollTheList) {
  TSkListBox* list = MakeList(20);
  TSkScrollBar& bar = list->ScrollBar();
  const int middle = bar.Width() / 2;

  const TRect down = bar.ArrowRect(false);
  Click(bar, middle, (down.Top + down.Bottom) / 2);
  EXPECT_EQ(list->TopIndex(), 1);
  EXPECT_EQ(bar.Position(), 1);

  // Below the thumb, the track pages down by the visible rows.
  const TRect thumb = bar.ThumbRect();
  Click(bar, middle, thumb.Bottom + 2);
  EXPECT_EQ(list->TopIndex(), 1 + list->VisibleRows());

  // The thumb dragged to the end and back to the start, and to the middle.
  const TRect now = bar.ThumbRect();
  const TRect track = bar.TrackRect();
  MouseDown(bar, middle, now.Top + 1);
  MouseMove(bar, middle, track.Bottom + 40, MK_LBUTTON);
  EXPECT_EQ(list->TopIndex(), 15);
  MouseMove(bar, middle, track.Top - 40, MK_LBUTTON);
  EXPECT_EQ(list->TopIndex(), 0);
  const int freeLength = static_cast<int>(RectHeight(track) - RectHeight(now));
  MouseMove(bar, middle, track.Top + 1 + freeLength / 2, MK_LBUTTON);
  MouseUp(bar, middle, track.Top + 1 + freeLength / 2);
  EXPECT_NEAR(list->TopIndex(), 7.5, 1.0);

  // One wheel notch toward the user scrolls the platform's wheel lines.
  list->SetTopIndex(0);
  UINT lines = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  SendMessageW(list->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(list->TopIndex(), std::min<int>(static_cast<int>(lines), 15));
  // Half notches add up.
  SendMessageW(list->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 0);
  const int afterHalf = list->TopIndex();
  SendMessageW(list->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 0);
  EXPECT_EQ(afterHalf, std::min<int>(static_cast<int>(lines), 15));
  EXPECT_EQ(list->TopIndex(), 0);

  // The platform's scroll messages scroll it the same way.
  SendMessageW(list->Handle(), WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(list->TopIndex(), 1);
  SendMessageW(list->Handle(), WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  EXPECT_EQ(list->TopIndex(), 15);
  EXPECT_EQ(bar.Position(), 15);
  SendMessageW(list->Handle(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 4), 0);
  EXPECT_EQ(list->TopIndex(), 4);
  EXPECT_EQ(clicks_, 0);  // scrolling is no click on an item
}

TEST_F(ListBoxTest, InColumnsItemsRunDownThenAcrossAndAHorizontalBarScrollsThem) {
  TSkListBox* list = MakeList(10);
  list->SetColumns(2);
  TSkScrollBar& bar = list->ScrollBar();
  // Ten items fill two columns of the five rows: nothing to scroll.
  EXPECT_FALSE(bar.Visible());
  EXPECT_EQ(list->ItemRect(5).Left, list->ContentRect().Left + list->ColumnWidth());
  EXPECT_EQ(list->ItemRect(5).Top, list->ContentRect().Top);

  // One more needs the bar, which takes a row away from each column.
  list->Items().Add(L"Item 10");
  EXPECT_TRUE(bar.Visible());
  EXPECT_EQ(bar.Kind(), sbHorizontal);
  const int rows = list->VisibleRows();
  EXPECT_LT(rows, 5);
  EXPECT_EQ(bar.Top(), list->ContentRect().Bottom);
  EXPECT_EQ(bar.PageSize(), 2);
  EXPECT_EQ(bar.Max(), list->ColumnCount() - 1);

  // A click in the second column, second row.
  const TPoint second = RowPoint(*list, rows + 1);
  Click(*list, second.X, second.Y);
  EXPECT_EQ(list->ItemIndex(), rows + 1);
  const TRect selected = list->ItemRect(rows + 1);
  auto pixels = RenderControl(*list);
  EXPECT_EQ(Rgb(*pixels, selected.Right - 3, selected.Top + 2), SysRgb(COLOR_HIGHLIGHT));
  EXPECT_EQ(Rgb(*pixels, selected.Left - 3, selected.Top + 2), SysRgb(COLOR_WINDOW));
  // Right goes a column across, out of view: the list follows by a column.
  list->SetFocus();
  PressKey(*list, VK_RIGHT);
  EXPECT_EQ(list->ItemIndex(), 2 * rows + 1);
  EXPECT_EQ(list->TopIndex(), rows);
  EXPECT_EQ(bar.Position(), 1);
  // The bar's left arrow scrolls back a column.
  const TRect left = bar.ArrowRect(true);
  Click(bar, (left.Left + left.Right) / 2, bar.Height() / 2);
  EXPECT_EQ(list->TopIndex(), 0);
  EXPECT_EQ(clicks_, 2);
}

TEST_F(ListBoxTest, HoldingTheArrowRepeatsItsStep) {
  TSkListBox* list = MakeList(40);
  TSkScrollBar& bar = list->ScrollBar();
  const TRect down = bar.ArrowRect(false);
  const int y = (down.Top + down.Bottom) / 2;
  MouseDown(bar, bar.Width() / 2, y);
  EXPECT_EQ(list->TopIndex(), 1);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 900) {
    Application->ProcessMessages();
    Sleep(10);
  }
  MouseUp(bar, bar.Width() / 2, y);
  const int held = list->TopIndex();
  EXPECT_GT(held, 2);
  // Released, it stops.
  const DWORD after = GetTickCount();
  while (GetTickCount() - after < 300) {
    Application->ProcessMessages();
    Sleep(10);
  }
  EXPECT_EQ(list->TopIndex(), held);
}

TEST_F(ListBoxTest, ItemChangesRepaintAndClampTheIndex) {
  TSkListBox* list = MakeList(5);
  list->SetItemIndex(4);
  list->Update();
  HWND window = list->Handle();
  ASSERT_FALSE(GetUpdateRect(window, nullptr, FALSE));
  list->Items().Delete(4);
  EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));
  EXPECT_EQ(list->ItemIndex(), 3);
  list->Update();
  list->Items().SetStrings(0, L"renamed");
  EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));
  list->Items().Clear();
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_THROW(list->Items().Delete(0), EListError);
}

TEST_F(ListBoxTest, MultiSelectTogglesWithCtrlAndExtendsWithShift) {
  TSkListBox* list = MakeList(10);
  list->SetMultiSelect(true);
  Click(*list, RowPoint(*list, 1).X, RowPoint(*list, 1).Y);
  ClickWithKeys(*list, RowPoint(*list, 3), MK_SHIFT);
  EXPECT_EQ(list->SelCount(), 3);
  EXPECT_TRUE(list->Selected(2));
  ClickWithKeys(*list, RowPoint(*list, 2), MK_CONTROL);
  EXPECT_FALSE(list->Selected(2));
  EXPECT_TRUE(list->Selected(1));
  EXPECT_TRUE(list->Selected(3));
  EXPECT_EQ(list->ItemIndex(), 2);
  // A plain click starts over.
  Click(*list, RowPoint(*list, 4).X, RowPoint(*list, 4).Y);
  EXPECT_EQ(list->SelCount(), 1);
  EXPECT_EQ(clicks_, 4);
}

TEST_F(ListBoxTest, SpaceAndEnterToggleTheCurrentItemsCheckBox) {
  TSkListBox* list = MakeList(3);
  int checks = 0;
  list->OnClickCheck = [&](TObject*) { ++checks; };
  list->SetFocus();
  list->SetItemIndex(1);
  PressKey(*list, VK_SPACE);
  EXPECT_FALSE(list->Checked(1));  // without check boxes Space does nothing
  list->SetShowCheckBoxes(true);
  PressKey(*list, VK_SPACE);
  EXPECT_TRUE(list->Checked(1));
  list->SetState(2, kcbsMixed);
  list->SetItemIndex(2);
  PressKey(*list, VK_RETURN);
  EXPECT_EQ(list->State(2), kcbsChecked);
  PressKey(*list, VK_RETURN);
  EXPECT_EQ(list->State(2), kcbsUnChecked);
  EXPECT_EQ(checks, 3);

  // A click on an item's box toggles it too; a click on its text only
  // selects it.
  const TRect box = list->CheckRect(list->ItemRect(0));
  Click(*list, (box.Left + box.Right) / 2, (box.Top + box.Bottom) / 2);
  EXPECT_TRUE(list->Checked(0));
  EXPECT_EQ(list->ItemIndex(), 0);
  Click(*list, box.Right + 30, (box.Top + box.Bottom) / 2);
  EXPECT_TRUE(list->Checked(0));
  EXPECT_EQ(checks, 4);
}

TEST_F(ListBoxTest, WithoutAThemeTheSelectedItemIsDrawnInTheHighlightColours) {
  ClearTheme();
  TSkListBox* list = MakeList(4);
  list->Items().SetStrings(1, L"WWWWWW");
  list->SetItemIndex(1);
  auto pixels = RenderControl(*list);
  const TRect selected = list->ItemRect(1);
  const TRect other = list->ItemRect(2);
  EXPECT_EQ(Rgb(*pixels, selected.Right - 3, selected.Top + 1), SysRgb(COLOR_HIGHLIGHT));
  EXPECT_EQ(Rgb(*pixels, other.Right - 3, other.Top + 1), SysRgb(COLOR_WINDOW));
  EXPECT_EQ(Rgb(*pixels, 0, 40), SysRgb(COLOR_BTNSHADOW));  // the lowered frame
  int textPixels = 0;
  for (int y = selected.Top; y < selected.Bottom; ++y) {
    for (int x = selected.Left; x < selected.Left + 50; ++x) {
      if (Rgb(*pixels, x, y) == SysRgb(COLOR_HIGHLIGHTTEXT)) ++textPixels;
    }
  }
  EXPECT_GT(textPixels, 10);
}

TEST_F(ListBoxTest, TheViewersThemeFillsTheSelectedRowUnlikeTheOthers) {
  UseSkylineTheme();
  TSkListBox* list = MakeList(4);
  list->SetItemIndex(1);
  auto pixels = RenderControl(*list);
  const TRect selected = list->ItemRect(1);
  const TRect other = list->ItemRect(2);
  EXPECT_NE(Rgb(*pixels, selected.Right - 3, selected.Top + 2), Rgb(*pixels, other.Right - 3, other.Top + 2));
  EXPECT_NE(Rgb(*pixels, selected.Right - 3, selected.Top + 2), SysRgb(COLOR_HIGHLIGHT));
}

TEST_F(ListBoxTest, ThemedItemsGetTheirStateAndTheStatesFont) {
  auto owned = std::make_unique<TListRecordingTheme>();
  TListRecordingTheme* theme = owned.get();
  theme->Fonts().Font(fiListItemTextNormal).SetColor(clGreen);
  theme->Fonts().Font(fiListItemTextSelected).SetColor(clRed);
  theme->Fonts().Font(fiListItemTextHot).SetColor(clBlue);
  ThemeManager().SetCurrentTheme(std::move(owned));
  TSkListBox* list = MakeList(4);
  list->SetItemIndex(1);
  MouseMove(*list, RowPoint(*list, 3).X, RowPoint(*list, 3).Y);
  theme->ItemStates.clear();
  theme->TextColours.clear();
  auto pixels = RenderControl(*list);
  EXPECT_EQ(theme->ItemStates, (std::vector<uint8_t>{lisNormal, lisSelected, lisNormal, lisHot}));
  EXPECT_EQ(theme->TextColours, (std::vector<TColor>{clGreen, clRed, clGreen, clBlue}));
  // The theme's list covers the whole bounds, frame included.
  EXPECT_EQ(Rgb(*pixels, 0, 0), 0x000000u);
  EXPECT_EQ(Rgb(*pixels, 60, list->ItemRect(0).Top + 1), 0x00FF00u);

  theme->ItemStates.clear();
  list->SetEnabled(false);
  RenderControl(*list);
  EXPECT_EQ(theme->ItemStates, (std::vector<uint8_t>(4, lisDisabled)));
}

}  // namespace

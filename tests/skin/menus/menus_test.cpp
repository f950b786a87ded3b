// The skinned menus in real windows. The tracking loops are modal, so each
// case posts its first messages and then lets a thread timer run the next
// step from inside whatever loop is running.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../controls/controls_support.h"
#include "forms/forms.h"
#include "skin/controls/sk_edit.h"
#include "graphics/sk_api_win.h"
#include "skin/menus/sk_menu_views.h"
#include "skin/menus/sk_menus.h"

namespace {

void PostKeyToFocus(HWND window, WORD key) { PostMessageW(window, WM_KEYDOWN, key, 1); }

std::wstring SelectedCaption() {
  TSkItemView* view = TSkItemView::Innermost();
  return view != nullptr && view->Selected() != nullptr ? view->Selected()->Caption() : L"";
}

TSkItem* AddItem(TComponent* owner, TSkItem* parent, const wchar_t* caption) {
  auto* item = CreateComponent<TSkItem>(owner);
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

POINT ScreenCentre(TSkItemView& view, TSkItem* item) {
  POINT point{(item->ItemRect.Left + item->ItemRect.Right) / 2, (item->ItemRect.Top + item->ItemRect.Bottom) / 2};
  ClientToScreen(view.Window(), &point);
  return point;
}

class MenusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCursorPos(0, 0);
    bar = CreateComponent<TSkMenuBar>(&host.Form());
    bar->SetParent(&host.Form());
    bar->SetAlign(alTop);
    ebook = AddItem(&host.Form(), bar->Items(), L"&eBook");
    newWindow = AddItem(&host.Form(), ebook, L"New window");
    AddItem(&host.Form(), ebook, L"-");
    startPage = AddItem(&host.Form(), ebook, L"Show start page");
    AddItem(&host.Form(), ebook, L"-");
    close = AddItem(&host.Form(), ebook, L"Close");
    close->OnClick = [this](TObject*) {
      closeClicks++;
      closeClickedInLoop = TSkItemView::Innermost() != nullptr;
    };
    bar->Relayout();
    host.Form().Update();
  }
  void TearDown() override { FreeThemeLibrary(); }

  void OpenWithAltE() { PostMessageW(host.Form().Handle(), WM_SYSCHAR, L'e', 1 << 29); }

  TControlsHost host;
  TSkMenuBar* bar = nullptr;
  TSkItem* ebook = nullptr;
  TSkItem* newWindow = nullptr;
  TSkItem* startPage = nullptr;
  TSkItem* close = nullptr;
  int closeClicks = 0;
  bool closeClickedInLoop = true;
};

TEST(MenuItemTreeTest, InsertionNotificationAndRemoval) {
  TSkItem root(nullptr);
  std::vector<std::wstring> changes;
  root.OnChange = [&](TSkItem* item) { changes.push_back(item->Caption()); };
  auto* parent = new TSkItem(nullptr);
  parent->SetCaption(L"parent");
  root.Add(parent);
  auto* child = new TSkItem(nullptr);
  child->SetCaption(L"child");
  parent->Add(child);
  // The root hears of changes deep in its tree.
  child->SetEnabled(false);
  EXPECT_EQ(changes.back(), L"child");
  EXPECT_EQ(child->MenuIndex(), 0);
  EXPECT_EQ(child->Root(), &root);

  TSkItem other(nullptr);
  try {
    other.Add(child);
    FAIL() << "an item with a parent was inserted again";
  } catch (const EQvItemError& error) {
    EXPECT_EQ(error.Message, "Toolbar item already inserted");
  }
  EXPECT_THROW(child->Add(&root), EQvItemError);  // no cycles either

  parent->Remove(child);
  EXPECT_EQ(parent->Count(), 0);
  EXPECT_EQ(child->Parent(), nullptr);
  other.Add(child);
  EXPECT_EQ(other.IndexOf(child), 0);
  other.Clear();
  EXPECT_FALSE(TSkItem::IsLiveItem(child));
  root.Delete(0);
  EXPECT_EQ(root.Count(), 0);
}

TEST(MenuItemTreeTest, AcceleratorAndShortCutText) {
  TSkItem item(nullptr);
  item.SetCaption(L"Save &&Exit &x");
  EXPECT_EQ(item.Accelerator(), L'X');
  item.SetCaption(L"None");
  EXPECT_EQ(item.Accelerator(), 0);
  EXPECT_EQ(ShortCutToText('S' | kSkShortCutCtrl | kSkShortCutShift), L"Ctrl+Shift+S");
  EXPECT_EQ(ShortCutToText(VK_F5), L"F5");
}

TEST_F(MenusTest, AltLetterOpensTheMenuAndArrowsSkipSeparators) {
  std::vector<std::wstring> seen;
  TScript script({
      [&] { seen.push_back(SelectedCaption()); },
      [&] { PostKeyToFocus(host.Form().Handle(), VK_DOWN); },
      [&] { seen.push_back(SelectedCaption()); PostKeyToFocus(host.Form().Handle(), VK_DOWN); },
      [&] { seen.push_back(SelectedCaption()); PostKeyToFocus(host.Form().Handle(), VK_DOWN); },
      [&] { seen.push_back(SelectedCaption()); PostKeyToFocus(host.Form().Handle(), VK_UP); },
      [&] { seen.push_back(SelectedCaption()); PostKeyToFocus(host.Form().Handle(), VK_UP); },
      [&] {
        seen.push_back(SelectedCaption());
        // Escape closes the pop-up only: the bar still tracks.
        PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
      },
      [&] {
        ASSERT_NE(TSkItemView::Innermost(), nullptr);
        EXPECT_TRUE(TSkItemView::Innermost()->Horizontal());
        PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
      },
      [&] { EXPECT_EQ(TSkItemView::Innermost(), nullptr); },
  });
  script.Run([&] { OpenWithAltE(); });
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"New window", L"Show start page", L"Close", L"New window", L"Close",
                                             L"Show start page"}));
  EXPECT_FALSE(bar->View().InLoop());
}

TEST_F(MenusTest, EnterEndsTheMenusBeforeTheClickRuns) {
  TScript script({
      [&] { PostKeyToFocus(host.Form().Handle(), VK_UP); },
      [&] {
        EXPECT_EQ(SelectedCaption(), L"Close");
        PostKeyToFocus(host.Form().Handle(), VK_RETURN);
      },
      [&] {},
  });
  script.Run([&] { OpenWithAltE(); });
  EXPECT_EQ(closeClicks, 1);
  EXPECT_FALSE(closeClickedInLoop);
}

// A hidden 50 x 50 pop-up window of its own class.
HWND MakePlainWindow(const wchar_t* className, WNDPROC procedure, int x, int y) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, className, L"", WS_POPUP, x, y, 50, 50, nullptr, nullptr, windowClass.hInstance,
                         nullptr);
}

// A plain window beside the menus that records the presses it gets.
int targetPresses = 0;
LRESULT CALLBACK TargetWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_LBUTTONDOWN) ++targetPresses;
  return DefWindowProcW(window, msg, wParam, lParam);
}

TEST_F(MenusTest, ClickOnTheBarOpensBelowAndAClickOutsideReachesItsTarget) {
  targetPresses = 0;
  HWND target = MakePlainWindow(L"MenusTestTarget", TargetWindowProc, 600, 500);
  ShowWindow(target, SW_SHOWNOACTIVATE);
  RECT barRect{};
  TScript script({
      [&] {
        TSkItemView* view = TSkItemView::Innermost();
        ASSERT_NE(view, nullptr);
        ASSERT_FALSE(view->Horizontal());
        RECT popup{};
        GetWindowRect(view->Window(), &popup);
        GetWindowRect(bar->Handle(), &barRect);
        POINT corner{ebook->ItemRect.Left, ebook->ItemRect.Bottom};
        ClientToScreen(bar->Handle(), &corner);
        EXPECT_EQ(popup.left, corner.x);
        EXPECT_EQ(popup.top, corner.y);
        // The pointer onto "Close" selects it; back onto the bar item keeps
        // the pop-up open.
        const POINT onClose = ScreenCentre(*view, close);
        SetCursorPos(onClose.x, onClose.y);
      },
      [&] {
        EXPECT_EQ(SelectedCaption(), L"Close");
        const POINT onBar = ScreenCentre(bar->View(), ebook);
        SetCursorPos(onBar.x, onBar.y);
      },
      [&] {
        ASSERT_NE(TSkItemView::Innermost(), nullptr);
        EXPECT_FALSE(TSkItemView::Innermost()->Horizontal());
        // A real click: the menus hold the mouse, so the system hands it to
        // their window, not to the target under the pointer.
        SendClick(POINT{625, 525});
      },
      [&] {
        if (TSkItemView::Innermost() != nullptr || targetPresses == 0) TScript::Again();
      },
  });
  script.Run([&] {
    const POINT onBar = ScreenCentre(bar->View(), ebook);
    SetCursorPos(onBar.x, onBar.y);
    MouseDown(*bar, ebook->ItemRect.Left + 3, ebook->ItemRect.Top + 3);
  });
  EXPECT_EQ(TSkItemView::Innermost(), nullptr);
  EXPECT_EQ(targetPresses, 1) << "exactly one press reached the window under the pointer";
  EXPECT_EQ(closeClicks, 0);

  // The same press as the platform addresses it while the menus hold the
  // mouse: to the window holding it, at that window's coordinates.
  targetPresses = 0;
  TScript again({
      [&] {
        if (TSkItemView::Innermost() == nullptr) return TScript::Again();
        HWND holder = GetCapture();
        ASSERT_NE(holder, nullptr);
        POINT at{625, 525};
        ScreenToClient(holder, &at);
        PostMessageW(holder, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
      },
      [&] {
        if (TSkItemView::Innermost() != nullptr || targetPresses == 0) TScript::Again();
      },
  });
  again.Run([&] { OpenWithAltE(); });
  EXPECT_EQ(targetPresses, 1) << "handed on to the window under the point";
  DestroyWindow(target);
  SetCursorPos(0, 0);
}

TEST_F(MenusTest, APressPostedToAWindowOfItsOwnStaysQueuedForIt) {
  targetPresses = 0;
  HWND target = MakePlainWindow(L"MenusTestTarget", TargetWindowProc, 600, 500);
  TScript script({
      [&] {
        ASSERT_NE(TSkItemView::Innermost(), nullptr);
        PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
      },
      [&] { EXPECT_EQ(TSkItemView::Innermost(), nullptr); },
  });
  script.Run([&] { OpenWithAltE(); });
  EXPECT_EQ(targetPresses, 1);
  DestroyWindow(target);
}

TEST_F(MenusTest, MovingOrSizingTheOwnerEndsTheMenus) {
  for (bool size : {false, true}) {
    SCOPED_TRACE(size ? "sized" : "moved");
    const TRect before = host.Form().BoundsRect();
    TScript script({
        [&] {
          if (TSkItemView::Innermost() == nullptr) return TScript::Again();
          const TRect r = host.Form().BoundsRect();
          if (size) {
            SetWindowPos(host.Form().Handle(), nullptr, 0, 0, RectWidth(r) + 40, RectHeight(r), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
          } else {
            SetWindowPos(host.Form().Handle(), nullptr, r.Left + 30, r.Top + 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
          }
        },
        [&] { EXPECT_EQ(TSkItemView::Innermost(), nullptr) << "the menus ended with the move"; },
    });
    script.Run([&] { OpenWithAltE(); });
    EXPECT_FALSE(bar->View().InLoop());
    host.Form().SetBoundsRect(before);
  }
}

TEST_F(MenusTest, RestingOnTheBarAfterEscapeReopensItsMenu) {
  std::vector<std::function<void()>> steps{
      [&] {
        ASSERT_NE(TSkItemView::Innermost(), nullptr);
        ASSERT_FALSE(TSkItemView::Innermost()->Horizontal());
        PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
      },
      [&] {
        ASSERT_NE(TSkItemView::Innermost(), nullptr);
        EXPECT_TRUE(TSkItemView::Innermost()->Horizontal()) << "Escape closed the menu, the bar tracks on";
      }};
  for (int i = 0; i < 14; ++i) steps.push_back([] {});  // more than 500 ms of rest on "eBook"
  steps.push_back([&] {
    ASSERT_NE(TSkItemView::Innermost(), nullptr);
    EXPECT_FALSE(TSkItemView::Innermost()->Horizontal()) << "the rest opened the menu again";
    EXPECT_EQ(TSkItemView::Innermost()->Item(), ebook);
    PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
    PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
  });
  steps.push_back([] { EXPECT_EQ(TSkItemView::Innermost(), nullptr); });
  TScript script(std::move(steps));
  script.Run([&] {
    const POINT onBar = ScreenCentre(bar->View(), ebook);
    SetCursorPos(onBar.x, onBar.y);
    MouseDown(*bar, ebook->ItemRect.Left + 3, ebook->ItemRect.Top + 3);
  });
  SetCursorPos(0, 0);
}

TEST_F(MenusTest, RestingOnAnEntryOpensItsSubmenu) {
  TSkPopupMenu menu(&host.Form());
  AddItem(&host.Form(), menu.Items(), L"First");
  TSkItem* more = AddItem(&host.Form(), menu.Items(), L"More");
  AddItem(&host.Form(), more, L"Inner");
  TSkItemView* outer = nullptr;
  std::vector<std::function<void()>> steps{[&] {
    outer = TSkItemView::Innermost();
    ASSERT_NE(outer, nullptr);
    const POINT onMore = ScreenCentre(*outer, more);
    SetCursorPos(onMore.x, onMore.y);
  }};
  for (int i = 0; i < 14; ++i) steps.push_back([] {});  // more than 500 ms of rest
  steps.push_back([&] {
    TSkItemView* inner = TSkItemView::Innermost();
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(inner, outer);
    EXPECT_EQ(inner->Item(), more);
    EXPECT_EQ(inner->ParentView(), outer);
    SetCursorPos(0, 0);
    PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
    PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
  });
  steps.push_back([] { EXPECT_EQ(TSkItemView::Innermost(), nullptr); });
  TScript script(std::move(steps));
  script.Run([&] { menu.Popup(200, 200); });
}

TEST_F(MenusTest, PopupsStayInsideTheWorkArea) {
  const RECT work = WorkAreaAt(POINT{0, 0}, true);
  TSkPopupMenu menu(&host.Form());
  AddItem(&host.Form(), menu.Items(), L"One entry");
  AddItem(&host.Form(), menu.Items(), L"Another entry");
  RECT shown{};
  TScript script({
      [&] {
        GetWindowRect(TSkItemView::Innermost()->Window(), &shown);
        PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
      },
      [] {},
  });
  script.Run([&] { menu.Popup(work.right - 5, work.bottom - 5); });
  // Moved left by its width and up by its height.
  EXPECT_EQ(shown.right, work.right - 5);
  EXPECT_EQ(shown.bottom, work.bottom - 5);
}

TSkPopupWindow* InnermostPopup() {
  auto* view = dynamic_cast<TSkPopupView*>(TSkItemView::Innermost());
  return view != nullptr ? view->PopupWindow() : nullptr;
}

// Opens a menu whose second entry "More" has a submenu, goes down to it with
// the keys (posted to keys), opens it with Right and closes both; tells
// whether the first and the second level played their animation.
std::pair<bool, bool> AnimatedLevels(HWND keys, TSkItem* more, const std::function<void()>& open) {
  bool outer = false, inner = false;
  TScript script({
      [&] {
        // The pop-up's tracking starts once its animation has played.
        if (InnermostPopup() == nullptr) return TScript::Again();
        outer = InnermostPopup()->Form().Animated();
      },
      [&] {
        if (SelectedCaption() != L"More") {
          PostKeyToFocus(keys, VK_DOWN);
          return TScript::Again();
        }
        PostKeyToFocus(keys, VK_RIGHT);
      },
      [&] {
        if (InnermostPopup() == nullptr || InnermostPopup()->Item() != more) return TScript::Again();
        inner = InnermostPopup()->Form().Animated();
        PostKeyToFocus(keys, VK_ESCAPE);
        PostKeyToFocus(keys, VK_ESCAPE);
      },
      [] {},
  });
  script.Run(open);
  return {outer, inner};
}

TEST_F(MenusTest, PopupShadowAndTranslucencyAreMixedWithTheScreenBehind) {
  TSkPopupMenu menu(&host.Form());
  AddItem(&host.Form(), menu.Items(), L"One entry");
  AddItem(&host.Form(), menu.Items(), L"Another entry");
  menu.PopupMenuOptions().Shadow().SetSize(6);
  menu.PopupMenuOptions().Shadow().SetEnabled(true);
  menu.PopupMenuOptions().Blending().SetValue(100);
  menu.PopupMenuOptions().Blending().SetEnabled(true);
  TScript script({
      [&] {
        TSkPopupWindow* popup = InnermostPopup();
        ASSERT_NE(popup, nullptr);
        const TSize face = popup->FaceSize();
        RECT bounds{};
        GetWindowRect(popup->Handle(), &bounds);
        EXPECT_EQ(bounds.right - bounds.left, face.Width + 6);
        EXPECT_EQ(bounds.bottom - bounds.top, face.Height + 6);
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(popup->Handle(), region), ERROR);
        EXPECT_FALSE(PtInRegion(region, face.Width + 2, 2)) << "the band starts 6 pixels down";
        EXPECT_TRUE(PtInRegion(region, face.Width + 2, 10));
        EXPECT_FALSE(PtInRegion(region, 2, face.Height + 2));
        EXPECT_TRUE(PtInRegion(region, 10, face.Height + 2));
        DeleteObject(region);
        const TskBitmap* behind = popup->Form().Background();
        ASSERT_NE(behind, nullptr);
        const int bandX = face.Width + 3, bandY = face.Height / 2;
        EXPECT_EQ(ScreenRgb(popup->Handle(), bandX, bandY), Mix(0x3F3F3F, Rgb(*behind, bandX, bandY), 128));
        // The outer ring of the face in the platform's 3D light colour,
        // mixed with what lay behind by 100 of 255.
        EXPECT_EQ(ScreenRgb(popup->Handle(), 0, 5), Mix(SysRgb(COLOR_3DLIGHT), Rgb(*behind, 0, 5), 100));
        // The shadow is no part of the menu: a press there closes it.
        PostMessageW(popup->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(bandX, bandY));
      },
      [] { EXPECT_EQ(TSkItemView::Innermost(), nullptr); },
  });
  script.Run([&] { menu.Popup(200, 200); });
}

// Records the frame-paint notices a menu's owner window gets, with whether
// the innermost pop-up was visible at that moment, and whether a menu's
// loop was running when the probe message arrived.
constexpr UINT kProbeMessage = WM_APP + 1;
std::vector<std::pair<WPARAM, bool>> ownerNotices;
bool probeInMenuLoop = false;
LRESULT CALLBACK OwnerWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kProbeMessage) {
    probeInMenuLoop = TSkItemView::Innermost() != nullptr;
    return 0;
  }
  if (msg == SkSuspendFramePaintMessage()) {
    // The newest pop-up is the topmost one of its class.
    HWND newest = FindWindowW(L"TSkPopupWindow", nullptr);
    ownerNotices.emplace_back(wParam, newest != nullptr && IsWindowVisible(newest));
    return 1;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

TEST_F(MenusTest, EveryLevelOfATreeOpenedDirectlyAnimatesAndItsOwnerIsToldAroundShowing) {
  ownerNotices.clear();
  HWND owner = MakePlainWindow(L"MenusTestOwner", OwnerWindowProc, 40, 40);
  TSkPopupMenuOptions options;
  options.Animation().SetEnabled(true);
  options.Animation().SetTime(TskAnimationRec::kMinTime);
  TSkItem root(nullptr);
  AddItem(nullptr, &root, L"First");
  TSkItem* more = AddItem(nullptr, &root, L"More");
  AddItem(nullptr, more, L"Inner");
  root.SetPopupOptionsTree(&options);
  root.SetOwnerWindowTree(owner);
  probeInMenuLoop = false;
  const auto [outerAnimated, innerAnimated] = AnimatedLevels(owner, more, [&] {
    PostMessageW(owner, kProbeMessage, 0, 0);
    root.PopupSubmenu(nullptr, 200, 200, TRect{0, 0, 0, 0});
  });
  EXPECT_TRUE(outerAnimated);
  EXPECT_TRUE(innerAnimated) << "not from a menu bar or pop-up menu: every level animates";
  EXPECT_TRUE(probeInMenuLoop) << "the animation handed a queued message to the application";
  const std::vector<std::pair<WPARAM, bool>> expected{{1, false}, {0, true}, {1, false}, {0, true}};
  EXPECT_EQ(ownerNotices, expected) << "before the pop-up shows, and after";
  DestroyWindow(owner);
}

TEST_F(MenusTest, OnlyTheFirstLevelOfAPopupMenuAnimates) {
  TSkPopupMenu menu(&host.Form());
  AddItem(&host.Form(), menu.Items(), L"First");
  TSkItem* more = AddItem(&host.Form(), menu.Items(), L"More");
  AddItem(&host.Form(), more, L"Inner");
  menu.PopupMenuOptions().Animation().SetEnabled(true);
  menu.PopupMenuOptions().Animation().SetTime(TskAnimationRec::kMinTime);
  const auto [outerAnimated, innerAnimated] =
      AnimatedLevels(host.Form().Handle(), more, [&] { menu.Popup(200, 200); });
  EXPECT_TRUE(outerAnimated);
  EXPECT_FALSE(innerAnimated);
}

TEST_F(MenusTest, ScrolledPopupShowsItsWindowAndTwoBands) {
  TSkItem root(nullptr);
  root.SetScrolled(true);
  root.SetScrollCount(3);
  for (int i = 0; i < 10; ++i) AddItem(nullptr, &root, (L"Entry " + std::to_wstring(i)).c_str());
  TSkPopupWindow window(&root, false);
  window.View().SetOrigin(TPoint{3, 3});
  window.View().Layout();
  int shown = 0;
  for (int i = 0; i < root.Count(); ++i) shown += IsRectEmpty(root.Items(i)->ItemRect) ? 0 : 1;
  EXPECT_EQ(shown, 3);
  const int itemHeight = static_cast<int>(RectHeight(root.Items(0)->ItemRect));
  EXPECT_EQ(root.Items(0)->ItemRect.Top, 3 + 10);
  EXPECT_EQ(window.View().ContentSize().Height, 3 * itemHeight + 20);
  EXPECT_EQ(window.View().ScrollBandAt(POINT{10, 5}), 1);
  EXPECT_EQ(window.View().ScrollBandAt(POINT{10, 3 + 3 * itemHeight + 15}), 2);
  // Following the selection down past the window scrolls it.
  window.View().Select(root.Items(2));
  window.View().SelectNext();
  EXPECT_EQ(root.FirstVisible, 1);
  EXPECT_EQ(window.View().Selected(), root.Items(3));
}

TEST(MenuSelectionTest, NothingSelectableLeavesTheSelectionAlone) {
  TSkItem root(nullptr);
  for (int i = 0; i < 3; ++i) AddItem(nullptr, &root, L"-");
  TSkItem* hidden = AddItem(nullptr, &root, L"Hidden");
  hidden->SetVisible(false);
  TSkPopupWindow window(&root, false);
  window.View().SelectNext();  // must return
  window.View().SelectPrevious();
  EXPECT_EQ(window.View().Selected(), nullptr);
}

TEST_F(MenusTest, ShortCutsClickAncestorsFromTheRootDown) {
  std::vector<std::wstring> order;
  TSkItem* sub = AddItem(&host.Form(), newWindow->Parent(), L"Sub");
  TSkItem* leaf = AddItem(&host.Form(), sub, L"Leaf");
  leaf->SetShortCut('K' | kSkShortCutCtrl);
  for (TSkItem* item : {ebook, sub, leaf}) {
    item->OnClick = [&order](TObject* sender) { order.push_back(static_cast<TSkItem*>(sender)->Caption()); };
  }
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  MSG message{host.Form().Handle(), WM_KEYDOWN, 'K', 1, 0, {}};
  EXPECT_TRUE(bar->IsShortCut(message));
  message.wParam = 'J';
  EXPECT_FALSE(bar->IsShortCut(message));
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  EXPECT_EQ(order, (std::vector<std::wstring>{L"&eBook", L"Sub", L"Leaf"}));
}

// ---- the edit's right-click menu --------------------------------------------

class EditMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCursorPos(0, 0);
    edit = CreateComponent<TSkEdit>(&host.Form());
    edit->SetParent(&host.Form());
    edit->SetBounds(10, 40, 150, 21);
    edit->SetText(L"hello world");
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
  }
  void TearDown() override { FreeThemeLibrary(); }

  // The enabled state of every entry while the menu is open.
  std::vector<bool> EnabledEntries() {
    std::vector<bool> enabled;
    TScript script({
        [&] {
          TSkItemView* view = TSkItemView::Innermost();
          ASSERT_NE(view, nullptr);
          for (int i = 0; i < view->Item()->Count(); ++i) enabled.push_back(view->Item()->Items(i)->Enabled());
          PostKeyToFocus(host.Form().Handle(), VK_ESCAPE);
        },
        [] {},
    });
    script.Run([&] { PostMessageW(edit->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(5, 5)); });
    return enabled;
  }

  TControlsHost host;
  TSkEdit* edit = nullptr;
};

TEST_F(EditMenuTest, EntriesFollowTheEditsState) {
  // Undo, -, Cut, Copy, Paste, Delete, -, Select All
  edit->SetSelStart(0);
  edit->SetSelLength(0);
  EXPECT_EQ(EnabledEntries(), (std::vector<bool>{false, true, false, false, false, false, true, true}));
  ASSERT_NE(edit->ContextMenu(), nullptr);
  EXPECT_EQ(edit->ContextMenu()->Items()->Items(7)->Caption(), L"Select All");

  edit->SetSelLength(5);
  EXPECT_EQ(EnabledEntries(), (std::vector<bool>{false, true, true, true, false, true, true, true}));

  edit->SetReadOnly(true);
  edit->SelectAll();
  EXPECT_EQ(EnabledEntries(), (std::vector<bool>{false, true, false, true, false, false, true, false}));

  edit->SetReadOnly(false);
  edit->SetPasswordKind(pkStar);
  edit->SetSelStart(0);
  edit->SetSelLength(3);
  EXPECT_EQ(EnabledEntries(), (std::vector<bool>{false, true, false, false, false, true, true, true}));
}

TEST_F(EditMenuTest, SelectAllThroughTheMenuWithKeys) {
  edit->SetSelStart(0);
  edit->SetSelLength(0);
  TScript script({
      [&] { PostKeyToFocus(host.Form().Handle(), VK_UP); },  // wraps to the last entry
      [&] {
        EXPECT_EQ(SelectedCaption(), L"Select All");
        PostKeyToFocus(host.Form().Handle(), VK_RETURN);
      },
      [] {},
  });
  script.Run([&] { PostMessageW(edit->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(5, 5)); });
  EXPECT_EQ(edit->SelLength(), 11);
}

}  // namespace

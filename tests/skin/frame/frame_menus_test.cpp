// The frame with the skin's controls: the skinned system menu the frame
// builds for its state, the keyboard menu command handed to the menu bar,
// and the size grip of a skinned status bar. The menus' loops are modal, so
// those cases act from a timer script.
#include <gtest/gtest.h>

#include <functional>

#include "skin/controls/controls_support.h"
#include "skin/controls/sk_status_bar.h"
#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menu_views.h"
#include "skin/menus/sk_menus.h"

namespace {

std::vector<std::wstring> OpenCaptions() {
  std::vector<std::wstring> captions;
  if (TSkItemView* view = TSkItemView::Innermost()) {
    for (int i = 0; i < view->Item()->Count(); ++i) captions.push_back(view->Item()->Items(i)->Caption());
  }
  return captions;
}

class FrameMenusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = CreateComponent<TForm>(Application);
    form_->LoadComponents([&] {
      frame_ = CreateComponent<TSkForm>(form_);
      bar_ = CreateComponent<TSkMenuBar>(form_);
      bar_->SetParent(form_);
      bar_->SetAlign(alTop);
      book_ = AddItem(bar_->Items(), L"&eBook");
      newWindow_ = AddItem(book_, L"&New window");
      frame_->SetMenuBar(bar_);
    });
    form_->SetBorderStyle(bsNone);
    form_->SetBounds(100, 120, 500, 400);
    ShowWindow(form_->Handle(), SW_SHOWNOACTIVATE);
    form_->SetVisible(true);
    Application->ProcessMessages();
  }
  void TearDown() override {
    delete form_;
    FreeThemeLibrary();
  }
  TSkItem* AddItem(TSkItem* parent, const wchar_t* caption) {
    auto* item = CreateComponent<TSkItem>(form_);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
  }
  void PostKey(WORD key) { PostMessageW(form_->Handle(), WM_KEYDOWN, key, 1); }

  TForm* form_ = nullptr;
  TSkForm* frame_ = nullptr;
  TSkMenuBar* bar_ = nullptr;
  TSkItem* book_ = nullptr;
  TSkItem* newWindow_ = nullptr;
};

TEST_F(FrameMenusTest, AltOpensTheSkinnedSystemMenuBuiltForTheStateAndItsEntriesAct) {
  const TRect normal = form_->BoundsRect();
  std::vector<std::wstring> shown;
  TScript normalMenu({
      [&] {
        shown = OpenCaptions();
        // Up from the first entry wraps to "&Close", then skips the
        // separator to "Minimize to &Tray" and goes on to "Ro&llup".
        PostKey(VK_UP);
        PostKey(VK_UP);
        PostKey(VK_UP);
      },
      [&] { PostKey(VK_RETURN); },
      [] {},
  });
  normalMenu.Run([&] { PostMessageW(form_->Handle(), WM_SYSCOMMAND, SC_KEYMENU, 0); });
  std::vector<std::wstring> expected;
  for (const TSkSystemMenuEntry& entry : SystemMenuEntries(kwsNormal, frame_->BorderIcons())) {
    expected.push_back(entry.Caption);
  }
  EXPECT_EQ(shown, expected);
  ASSERT_EQ(shown.size(), 6u);
  EXPECT_EQ(shown[2], L"Ro&llup");
  EXPECT_EQ(frame_->WindowState(), kwsRollup) << "the chosen entry ran once the menu had closed";
  EXPECT_EQ(frame_->SystemMenu()->Items()->Items(5)->ShortCut(), kSkShortCutAlt | VK_F4);

  // Rolled up, the menu offers "&Restore" first; choosing it restores.
  TScript rolledMenu({
      [&] {
        shown = OpenCaptions();
        PostKey(VK_RETURN);
      },
      [] {},
  });
  rolledMenu.Run([&] { PostMessageW(form_->Handle(), WM_SYSCOMMAND, SC_KEYMENU, 0); });
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0], L"&Restore");
  EXPECT_EQ(frame_->WindowState(), kwsNormal);
  EXPECT_EQ(form_->BoundsRect(), normal);
}

TEST_F(FrameMenusTest, ALinkedMenuReplacesTheSystemMenuOrJoinsItFirstOrLast) {
  auto* link = CreateComponent<TSkPopupMenu>(form_);
  TSkItem* about = AddItem(link->Items(), L"&About");
  int aboutClicks = 0;
  about->OnClick = [&](TObject*) { ++aboutClicks; };
  frame_->SetSystemMenuLink(link);
  std::vector<std::wstring> system;
  for (const TSkSystemMenuEntry& entry : SystemMenuEntries(kwsNormal, frame_->BorderIcons())) {
    system.push_back(entry.Caption);
  }
  // Opens the system menu with Alt, records what it shows and chooses the
  // first entry.
  auto open = [&] {
    std::vector<std::wstring> shown;
    TScript script({[&] {
                      shown = OpenCaptions();
                      PostKey(VK_RETURN);
                    },
                    [] {}});
    script.Run([&] { PostMessageW(form_->Handle(), WM_SYSCOMMAND, SC_KEYMENU, 0); });
    return shown;
  };

  EXPECT_EQ(open(), std::vector<std::wstring>{L"&About"}) << "not merged: the linked menu instead";
  EXPECT_EQ(aboutClicks, 1);

  frame_->SetSystemMenuLinkMerge(true);
  frame_->SetSystemMenuLinkMergeAtFirst(true);
  std::vector<std::wstring> expected{L"&About"};
  expected.insert(expected.end(), system.begin(), system.end());
  EXPECT_EQ(open(), expected);
  EXPECT_EQ(aboutClicks, 2) << "the copy's click runs the linked item's";
  ASSERT_NE(frame_->SystemMenu(), nullptr);
  ASSERT_NE(frame_->SystemMenu()->Images(), nullptr);
  EXPECT_EQ(frame_->SystemMenu()->Images()->Count(), 6) << "the system menu's own pictures";

  frame_->SetSystemMenuLinkMergeAtFirst(false);
  expected = system;
  expected.push_back(L"&About");
  const std::vector<std::wstring> shown = open();  // chooses Minimize
  EXPECT_EQ(shown, expected);
  frame_->RestoreForm();
}

TEST_F(FrameMenusTest, AKeyboardMenuCommandWithALetterOpensThatMenuOfTheBar) {
  int clicks = 0;
  newWindow_->OnClick = [&](TObject*) { ++clicks; };
  std::vector<std::wstring> shown;
  LRESULT result = 0;
  TScript script({
      [&] {
        shown = OpenCaptions();
        PostKey(VK_RETURN);
      },
      [] {},
  });
  script.Run([&] { result = SendMessageW(form_->Handle(), WM_SYSCOMMAND, SC_KEYMENU, L'e'); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(shown, std::vector<std::wstring>{L"&New window"}) << "the letter opened \"eBook\"";
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(frame_->SystemMenu(), nullptr) << "no system menu after the bar's tracking";
}

TEST_F(FrameMenusTest, RightAndLeftInTheBarsOnlyMenuOpenItAgain) {
  std::vector<std::vector<std::wstring>> shown;
  TScript script({
      [&] {
        shown.push_back(OpenCaptions());
        PostKey(VK_RIGHT);
      },
      [&] {
        shown.push_back(OpenCaptions());
        PostKey(VK_LEFT);
      },
      [&] {
        shown.push_back(OpenCaptions());
        PostKey(VK_ESCAPE);
        PostKey(VK_ESCAPE);
      },
      [] {},
  });
  script.Run([&] { SendMessageW(form_->Handle(), WM_SYSCOMMAND, SC_KEYMENU, L'e'); });
  const std::vector<std::wstring> menu{L"&New window"};
  EXPECT_EQ(shown, (std::vector<std::vector<std::wstring>>{menu, menu, menu}));
  EXPECT_EQ(TSkItemView::Innermost(), nullptr) << "Escape closed the menu, then the bar";
}

TEST_F(FrameMenusTest, TheMenuBarSeesTheFormsShortcutsFirst) {
  int clicks = 0;
  newWindow_->SetShortCut(kSkShortCutCtrl | 'N');
  newWindow_->OnClick = [&](TObject*) { ++clicks; };
  MSG message{form_->Handle(), WM_KEYDOWN, 'N', 1, 0, {}};
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  BYTE held[256];
  std::copy(std::begin(keys), std::end(keys), std::begin(held));
  held[VK_CONTROL] = 0x80;
  SetKeyboardState(held);
  const bool taken = form_->IsShortCut(message);
  SetKeyboardState(keys);
  EXPECT_TRUE(taken);
  for (int i = 0; i < 5 && clicks == 0; ++i) {
    Application->ProcessMessages();
    Sleep(20);
  }
  EXPECT_EQ(clicks, 1);
}

TEST_F(FrameMenusTest, AStatusBarsGripSizesTheWindowOnlyWhenTheFrameIsSizeable) {
  auto* status = CreateComponent<TSkStatusBar>(form_);
  status->SetParent(form_);
  status->SetAlign(alBottom);
  Application->ProcessMessages();
  const TPoint grip = status->ClientToScreen(TPoint{status->Width() - 4, status->Height() - 4});
  const LPARAM at = MAKELPARAM(static_cast<WORD>(grip.X), static_cast<WORD>(grip.Y));

  ASSERT_TRUE(frame_->Dragging().Sizeable);
  EXPECT_TRUE(status->SizeGripShown());
  EXPECT_EQ(SendMessageW(status->Handle(), WM_NCHITTEST, 0, at), HTTRANSPARENT) << "the bar lets the frame answer";
  EXPECT_EQ(SendMessageW(form_->Handle(), WM_NCHITTEST, 0, at), HTBOTTOMRIGHT);

  // Not sizeable, or maximised: no grip, and the corner is the bar's.
  frame_->Dragging().Sizeable = false;
  EXPECT_FALSE(status->SizeGripShown());
  EXPECT_NE(SendMessageW(status->Handle(), WM_NCHITTEST, 0, at), HTTRANSPARENT);
  EXPECT_EQ(SendMessageW(form_->Handle(), WM_NCHITTEST, 0, at), HTCLIENT);
  frame_->Dragging().Sizeable = true;
  frame_->MaximizeForm();
  EXPECT_FALSE(status->SizeGripShown());
  frame_->RestoreForm();
  EXPECT_TRUE(status->SizeGripShown());
}

// ---- a close while a menu is open ----------------------------------------------

// Its destruction says the form that owns it is gone.
class TGoneWitness : public TComponent {
 public:
  TGoneWitness(TComponent* owner, bool* gone) : TComponent(owner), gone_(gone) {}
  ~TGoneWitness() override { *gone_ = true; }

 private:
  bool* gone_;
};

// A skinned form with a menu bar that frees itself when it is closed, as the
// viewer's windows do.
TForm* MakeClosingForm(bool* gone, TSkForm*& frame) {
  auto* form = CreateComponent<TForm>(Application);
  form->LoadComponents([&] {
    frame = CreateComponent<TSkForm>(form);
    auto* bar = CreateComponent<TSkMenuBar>(form);
    bar->SetParent(form);
    bar->SetAlign(alTop);
    auto* book = CreateComponent<TSkItem>(form);
    book->SetCaption(L"&eBook");
    bar->Items()->Add(book);
    auto* item = CreateComponent<TSkItem>(form);
    item->SetCaption(L"&New window");
    book->Add(item);
    frame->SetMenuBar(bar);
    CreateComponent<TGoneWitness>(form, gone);
  });
  form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  form->SetBorderStyle(bsNone);
  form->SetBounds(100, 120, 500, 400);
  ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
  form->SetVisible(true);
  Application->ProcessMessages();
  return form;
}

TEST(CloseUnderAMenuTest, TheMenusEndFirstAndTheFormIsFreedOnceTheyHaveUnwound) {
  struct TCase {
    const char* Name;
    std::function<void(HWND, TSkForm&)> Open;
  };
  const TCase cases[] = {
      {"the system menu (Alt)", [](HWND window, TSkForm&) { PostMessageW(window, WM_SYSCOMMAND, SC_KEYMENU, 0); }},
      // Alt+E reaches the bar through the form's own key handling.
      {"the bar's menu (Alt+E)", [](HWND window, TSkForm&) { PostMessageW(window, WM_SYSKEYDOWN, 'E', 1 << 29); }},
      {"the tray menu",
       [](HWND, TSkForm& frame) {
         frame.MinimizeToTray();
         PostMessageW(frame.TrayIconData().hWnd, kSkMsgTrayCallback, 0, WM_RBUTTONUP);
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    bool gone = false;
    TSkForm* frame = nullptr;
    TForm* form = MakeClosingForm(&gone, frame);
    HWND window = form->Handle();
    bool opened = false;
    TScript script({
        [&] {
          if (TSkItemView::Innermost() == nullptr) return TScript::Again();
          opened = true;
          // As a page's script, the host or another program would.
          PostMessageW(window, WM_CLOSE, 0, 0);
        },
        [&] {
          if (TSkItemView::Innermost() != nullptr || !gone) TScript::Again();
        },
    });
    script.Run([&] { c.Open(window, *frame); });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(gone) << "the form was freed";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(TSkItemView::Innermost(), nullptr) << "no menu stayed open";
    if (!gone) delete form;
    FreeThemeLibrary();
  }
}

TEST_F(FrameMenusTest, ADoubleClickOnTheSystemMenuIconClosesTheWindowThroughItsMenu) {
  RECT bounds{};
  GetWindowRect(form_->Handle(), &bounds);
  const TRect icon = frame_->ButtonRect(1);
  ASSERT_FALSE(IsRectEmpty(icon));
  const POINT onIcon{bounds.left + (icon.Left + icon.Right) / 2, bounds.top + (icon.Top + icon.Bottom) / 2};
  // The second press as real input, and as the platform addresses a press
  // while the menu holds the mouse: to the window holding it.
  for (bool real : {true, false}) {
    SCOPED_TRACE(real ? "real input" : "addressed to the menu's window");
    form_->SetVisible(true);
    bool opened = false;
    TScript script({
        [&] {
          // The first click opened the system menu; the second lands on the
          // icon again while the menu holds the mouse.
          if (TSkItemView::Innermost() == nullptr) return TScript::Again();
          opened = true;
          if (real) {
            SendClick(onIcon);
          } else {
            HWND holder = GetCapture();
            POINT at = onIcon;
            ScreenToClient(holder, &at);
            PostMessageW(holder, WM_LBUTTONDOWN, MK_LBUTTON,
                         MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
          }
        },
        [&] {
          if (IsWindowVisible(form_->Handle())) TScript::Again();
        },
    });
    script.Run([&] { SendClick(onIcon); });
    EXPECT_TRUE(opened);
    EXPECT_FALSE(IsWindowVisible(form_->Handle())) << "closed (hidden, its close action)";
    EXPECT_EQ(TSkItemView::Innermost(), nullptr);
    // Far apart from the next case's first click.
    Sleep(GetDoubleClickTime() + 50);
  }
  SetCursorPos(0, 0);
}

}  // namespace

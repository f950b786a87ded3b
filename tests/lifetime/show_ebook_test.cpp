// ShowEbook in-process, end to end: a book archive in memory, the real book
// manager on port 5055, real viewer windows and their browsers, closed with
// real messages. While ShowEbook runs its message loop, a thread timer of the
// test drives a scenario: one step after the other, each repeated until it
// reports that it is done.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "archive/book_file.h"
#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "forms/forms.h"
#include "forms/forms_support.h"
#include "lifetime/show_ebook.h"
#include "lifetime/show_ebook_support.h"
#include "runtime/ansi.h"
#include "runtime/sockets.h"
#include "server/ebook_manager.h"
#include "skin/controls/sk_effect_controls.h"
#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menu_views.h"
#include "skin/menus/sk_menus.h"
#include "skin/sk_theme.h"
#include "viewer/viewer_form.h"

namespace {

// The user-agent value the browser host registers while a viewer window
// exists (the key's default value).
bool UserAgentValueExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  const bool exists = RegQueryValueExW(key, L"", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return exists;
}

TEST_F(ShowEbookTest, OneWindowFromOpeningToClose) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\nResizable=0\r\n"));
  TForm1* window = nullptr;
  scenario_.Run(block, host_,
                {[&] {
                   window = Window(0);
                   return ShowsPage(window, L"Start");
                 },
                 [&] {
                   EXPECT_EQ(BookManager->Port, 5055);
                   EXPECT_EQ(window->WebBrowser1->LocationURL(), Url("/index.htm")) << "the start page";
                   EXPECT_EQ(window->Caption(), L"Test Book");
                   HWND handle = window->Handle();
                   RECT bounds;
                   GetWindowRect(handle, &bounds);
                   EXPECT_EQ(bounds.right - bounds.left, 640);
                   EXPECT_EQ(bounds.bottom - bounds.top, 480);
                   EXPECT_TRUE(IsWindowVisible(handle));
                   // The skinned frame sizes and draws the caption buttons,
                   // not the window's style.
                   EXPECT_FALSE(window->SkForm1->Dragging().Sizeable) << "not resizable";
                   EXPECT_FALSE(window->SkForm1->HasIcon(kbiMaximize)) << "no maximise icon when not resizable";
                   EXPECT_TRUE(window->SkForm1->HasIcon(kbiMinimize));
                   // The host's window is never shown: the viewer window is a
                   // top-level window of its own, with a taskbar button.
                   EXPECT_EQ(GetWindow(handle, GW_OWNER), nullptr) << "not owned by the hidden host window";
                   EXPECT_EQ(GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
                   EXPECT_NE(SendMessageW(host_, WM_GETICON, ICON_BIG, 0), 0) << "the book's icon on the host";
                   EXPECT_NE(SendMessageW(handle, WM_GETICON, ICON_BIG, 0), 0);
                   // A button is its caption's width in the window's font
                   // (MS Sans Serif, 11 pixels high) plus 50.
                   EXPECT_EQ(window->ToolbarButtonWidth(L""), 50) << "an empty caption";
                   for (const wchar_t* caption : {L"Home", L"Home page", L"Back"}) {
                     EXPECT_EQ(window->ToolbarButtonWidth(caption), CaptionWidth(caption) + 50) << caption;
                   }
                   // The layout's stored theme is the skin's current theme.
                   const TskTheme* theme = ThemeManager().CurrentTheme();
                   EXPECT_NE(theme, nullptr);
                   if (theme != nullptr) {
                     EXPECT_EQ(theme->Name, "Skyline");
                     EXPECT_EQ(theme->DeltaBrightness(), 10);
                   }
                   PostMessageW(handle, WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_EQ(ViewerWindows, nullptr);
  EXPECT_EQ(BookManager, nullptr);
  EXPECT_EQ(ErrorVariable(), L"");
  EXPECT_TRUE(PortFree(5055)) << "the server is stopped when ShowEbook returns";
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(ShowEbookTest, NewWindowKeepsTheLoopUntilTheLastWindowCloses) {
  const std::vector<uint8_t> block = Book(Config("Resolution=700x500\r\nResizable=1\r\n"));
  TForm1* first = nullptr;
  TForm1* second = nullptr;
  scenario_.Run(block, nullptr,
                {[&] { return ShowsPage(first = Window(0), L"Start"); },
                 [&] {
                   // Without a host window the viewer windows have no owner.
                   EXPECT_EQ(GetWindow(first->Handle(), GW_OWNER), nullptr);
                   EXPECT_TRUE(first->SkForm1->HasIcon(kbiMaximize));
                   first->WebBrowser1->Navigate(Url("/second.htm"));
                   return true;
                 },
                 [&] { return ShowsPage(first, L"Second"); },
                 [&] {
                   first->Newwindow1_oldClick(first);
                   second = Window(1);
                   return second != nullptr;
                 },
                 [&] {
                   // The new window opens on the start page and is then sent to
                   // the page the first one shows.
                   return ShowsPage(second, L"Second") && second->WebBrowser1->LocationURL() == Url("/second.htm");
                 },
                 [&] {
                   EXPECT_EQ(second->Width(), first->Width()) << "every window is set up alike";
                   EXPECT_EQ(second->Height(), first->Height());
                   first->Close1_oldClick(first);
                   return true;
                 },
                 [&] {
                   EXPECT_NE(ViewerWindows, nullptr) << "one window is still open";
                   return ViewerWindows->size() == 1 && (*ViewerWindows)[0] == second;
                 },
                 [&] {
                   PostMessageW(second->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_EQ(ViewerWindows, nullptr);
  EXPECT_TRUE(PortFree(5055));
}

TEST_F(ShowEbookTest, StatusLineAndNavigationCommands) {
  // No Home entry in the toolbar: the first page is the navigation page.
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n", false));
  TForm1* window = nullptr;
  scenario_.Run(
      block, host_,
      {[&] {
         window = Window(0);
         return window != nullptr && window->WebBrowser1->LocationURL() == Url("/navigation_bar/navigate.h");
       },
       [&] {
         window->WebBrowser1->Navigate(Url("/second.htm"));
         return true;
       },
       [&] { return ShowsPage(window, L"Second"); },
       [&] {
         window->WebBrowser1->Navigate(Url("/untitled.htm"));
         return true;
       },
       [&] { return window->WebBrowser1->LocationURL() == Url("/untitled.htm"); },
       [&] {
         // A page without a title keeps the previous one in the status line.
         EXPECT_EQ(window->StPanel1->Caption(), L"Second");
         TSearchState search = BookManager->SearchState();
         search.HighlightActive = true;
         BookManager->SetSearchState(search);
         window->SpeedButton7Click(window);  // About
         return true;
       },
       [&] { return window->WebBrowser1->LocationURL() == Url("/navigation_bar/about.h"); },
       [&] {
         EXPECT_FALSE(BookManager->SearchState().HighlightActive) << "a completed page ends the highlighting";
         window->SpeedButton1Click(window);  // Back
         return true;
       },
       [&] { return window->WebBrowser1->LocationURL() == Url("/untitled.htm"); },
       [&] {
         window->SpeedButton8Click(window);  // Home
         return true;
       },
       [&] { return ShowsPage(window, L"Start"); },
       [&] {
         window->Navigationpage1Click(window);  // Show start page
         return true;
       },
       [&] { return window->WebBrowser1->LocationURL() == Url("/navigation_bar/navigate.h"); },
       [&] {
         window->Close1_oldClick(window);
         return true;
       }});
  EXPECT_EQ(ViewerWindows, nullptr);
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(ShowEbookTest, BackButtonFollowsTheHistory) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  TForm1* window = nullptr;
  TControl* back = nullptr;
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(window = Window(0), L"Start"); },
                 [&] {
                   back = window->SpeedButton1;
                   EXPECT_NE(back, nullptr);
                   EXPECT_EQ(window->SpeedButton2, nullptr) << "the book has no Forward button";
                   if (back == nullptr) return true;
                   window->WebBrowser1CommandStateChange(window, 2, false);
                   EXPECT_FALSE(back->Enabled());
                   window->WebBrowser1CommandStateChange(window, 7, true);
                   EXPECT_FALSE(back->Enabled()) << "other commands are ignored";
                   window->WebBrowser1CommandStateChange(window, 1, true);  // Forward: no button
                   window->WebBrowser1->Navigate(Url("/second.htm"));
                   return true;
                 },
                 [&] { return ShowsPage(window, L"Second"); },
                 [&] {
                   EXPECT_TRUE(back->Enabled()) << "the browser reported an earlier page";
                   window->Close();
                   return true;
                 }});
  EXPECT_EQ(ViewerWindows, nullptr);
}

TEST_F(ShowEbookTest, PageAskingToCloseClosesTheViewerWindow) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  TForm1* window = nullptr;
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(window = Window(0), L"Start"); },
                 [&] {
                   window->WebBrowser1->Navigate(Url("/links.htm"));
                   return true;
                 },
                 [&] { return ShowsPage(window, L"Links"); },
                 [&] {
                   // A script closing its window: the browser's own window is
                   // asked to close, and the viewer window closes instead.
                   ClickLink(window, 1);
                   return true;
                 }});
  EXPECT_EQ(ViewerWindows, nullptr);
}

TEST_F(ShowEbookTest, PopUpWindowRequestedByThePage) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  TForm1* first = nullptr;
  TForm1* popup = nullptr;
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(first = Window(0), L"Start"); },
                 [&] {
                   first->WebBrowser1->Navigate(Url("/links.htm"));
                   return true;
                 },
                 [&] { return ShowsPage(first, L"Links"); },
                 [&] {
                   // A link with a target window: the browser asks for a new
                   // window and loads the page there.
                   ClickLink(first, 0);
                   popup = Window(1);
                   return popup != nullptr;
                 },
                 [&] {
                   // It first opens on the start page, which the link's page
                   // then replaces.
                   return ShowsPage(popup, L"Second") && popup->WebBrowser1->LocationURL() == Url("/second.htm");
                 },
                 [&] {
                   EXPECT_EQ(first->WebBrowser1->LocationURL(), Url("/links.htm")) << "the first window stays";
                   first->Close();
                   return true;
                 },
                 [&] { return ViewerWindows != nullptr && ViewerWindows->size() == 1; },
                 [&] {
                   popup->Close();
                   return true;
                 }});
  EXPECT_EQ(ViewerWindows, nullptr);
}

TEST_F(ShowEbookTest, FailingSetUpStillOpensTheWindow) {
  const std::vector<uint8_t> block = Book(Config("Resolution=wide x480\r\nResizable=1\r\n"));
  scenario_.Run(block, host_,
                {[&] { return Window(0) != nullptr && IsWindowVisible(Window(0)->Handle()); },
                 [&] {
                   TForm1* window = Window(0);
                   EXPECT_EQ(errors_, std::vector<std::string>{"'wide ' is not a valid integer value"});
                   EXPECT_EQ(window->Caption(), L"Test Book") << "the steps before the failure took effect";
                   EXPECT_EQ(window->ClientWidth(), 792) << "the stored size stays";
                   EXPECT_EQ(window->ClientHeight(), 573);
                   EXPECT_EQ(window->StPanel1->Caption(), L"") << "no first page";
                   window->Close();
                   return true;
                 }});
  EXPECT_EQ(ViewerWindows, nullptr);
}

TEST_F(ShowEbookTest, StartUpFailureIsReportedAndLeavesNothingRunning) {
  TArchiveBuilder builder;
  builder.AddRaw("config.ini", {'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'});
  const std::vector<uint8_t> block = builder.Build();
  const int windowsBefore = ViewerWindowCount();
  ShowEbook(block.data(), host_);
  EXPECT_NE(ErrorVariable(), L"") << "the host learns that the start failed";
  EXPECT_EQ(ViewerWindows, nullptr);
  EXPECT_TRUE(PortFree(5055));
  EXPECT_EQ(ViewerWindowCount(), windowsBefore) << "no window was opened";

  // The next call starts from scratch: probing begins at 5055 again.
  const std::vector<uint8_t> good = Book(Config("Resolution=640x480\r\n"));
  scenario_.Run(good, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   EXPECT_EQ(BookManager->Port, 5055);
                   EXPECT_EQ(ErrorVariable(), L"") << "cleared at the start of every call";
                   Window(0)->Close();
                   return true;
                 }});
  EXPECT_EQ(ErrorVariable(), L"");
}

TEST_F(ShowEbookTest, SecondCallInTheSameProcess) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  for (int call = 0; call < 2; ++call) {
    scenario_.Run(block, host_,
                  {[&] { return ShowsPage(Window(0), L"Start"); },
                   [&] {
                     EXPECT_EQ(BookManager->Port, 5055) << "call " << call;
                     PostMessageW(Window(0)->Handle(), WM_CLOSE, 0, 0);
                     return true;
                   }});
    EXPECT_EQ(ViewerWindows, nullptr);
    EXPECT_TRUE(PortFree(5055));
  }
}

TEST_F(ShowEbookTest, AVisibleHostWindowOwnsTheViewerWindows) {
  // A host with a window of its own on the screen: the viewer windows stay
  // above it and go with it.
  SetWindowPos(host_, nullptr, 10, 10, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(host_, SW_SHOWNOACTIVATE);
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   EXPECT_EQ(GetWindow(Window(0)->Handle(), GW_OWNER), host_);
                   PostMessageW(Window(0)->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  ShowWindow(host_, SW_HIDE);
  EXPECT_EQ(ViewerWindows, nullptr);
}

TEST_F(ShowEbookTest, TheTaskbarMinimizesAndRestoresTheViewerWindow) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  HWND handle = nullptr;
  RECT normal{};
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   handle = Window(0)->Handle();
                   GetWindowRect(handle, &normal);
                   // Minimizing through the frame hands the window to the
                   // platform, which keeps it on its taskbar button.
                   Window(0)->SkForm1->MinimizeForm();
                   return true;
                 },
                 [&] { return IsIconic(handle) != FALSE; },
                 [&] {
                   EXPECT_EQ(Window(0)->SkForm1->WindowState(), kwsMinimized);
                   // A click on the taskbar button.
                   PostMessageW(handle, WM_SYSCOMMAND, SC_RESTORE, 0);
                   return true;
                 },
                 [&] { return !IsIconic(handle) && IsWindowVisible(handle); },
                 [&] {
                   RECT now{};
                   GetWindowRect(handle, &now);
                   EXPECT_TRUE(EqualRect(&now, &normal)) << "back at its place and size";
                   EXPECT_EQ(Window(0)->SkForm1->WindowState(), kwsNormal);
                   PostMessageW(handle, WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_EQ(ViewerWindows, nullptr);
}

// A page's script, the host or another program closes the window while one
// of its menus is open: the menu ends, the window goes and ShowEbook
// returns as usual.
TEST_F(ShowEbookTest, ClosingTheLastWindowUnderItsMenusEndsTheCall) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  struct TOpener {
    const char* Name;
    std::function<void(TForm1&)> Open;
  };
  const TOpener openers[] = {
      {"system menu", [](TForm1& w) { PostMessageW(w.Handle(), WM_SYSCOMMAND, SC_KEYMENU, 0); }},
      {"menu bar",
       [](TForm1& w) {
         PostMessageW(w.SkMenuBar1->Handle(), WM_LBUTTONDOWN, MK_LBUTTON,
                      MAKELPARAM(w.eBook1->ItemRect.Left + 3, w.eBook1->ItemRect.Top + 3));
       }},
  };
  for (const TOpener& opener : openers) {
    SCOPED_TRACE(opener.Name);
    bool opened = false;
    scenario_.Run(block, host_,
                  {[&] { return ShowsPage(Window(0), L"Start"); },
                   [&] {
                     opener.Open(*Window(0));
                     return true;
                   },
                   [&] {
                     if (TSkItemView::Innermost() == nullptr) return false;
                     opened = true;
                     PostMessageW(Window(0)->Handle(), WM_CLOSE, 0, 0);
                     return true;
                   }});
    EXPECT_TRUE(opened);
    EXPECT_EQ(ViewerWindows, nullptr);
    EXPECT_EQ(TSkItemView::Innermost(), nullptr);
    EXPECT_EQ(ErrorVariable(), L"");
    EXPECT_TRUE(PortFree(5055));
  }
}

TEST_F(ShowEbookTest, ACallWhileOneRunsIsRefusedAndLeavesTheRunningOneAlone) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  std::wstring nestedError, threadError;
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   // From the host's own window procedure, say: the same thread.
                   ShowEbook(block.data(), host_);
                   nestedError = ErrorVariable();
                   // And from another thread.
                   std::thread other([&] {
                     ShowEbook(block.data(), nullptr);
                     threadError = ErrorVariable();
                   });
                   other.join();
                   EXPECT_EQ(ViewerWindows->size(), 1u) << "no second viewer";
                   EXPECT_EQ(BookManager->Port, 5055) << "the running one's server";
                   PostMessageW(Window(0)->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_EQ(nestedError, L"The e-book viewer is already running");
  EXPECT_EQ(threadError, L"The e-book viewer is already running");
  EXPECT_EQ(ErrorVariable(), L"") << "the successful run leaves the variable empty";
  EXPECT_TRUE(PortFree(5055));
}

TEST_F(ShowEbookTest, OleIsTheCallersForTheLengthOfEachCallOnItsThread) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  // A first call on this thread, then one on another thread.
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   Window(0)->Close();
                   return true;
                 }});
  HRESULT during = E_FAIL, after = E_FAIL;
  std::atomic<bool> otherDone{false};
  std::thread other([&] {
    TScenario scenario;
    scenario.Run(block, nullptr,
                 {[&] { return ShowsPage(Window(0), L"Start"); },
                  [&] {
                    // Already initialised for the call: a further request
                    // on the thread only counts up.
                    during = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
                    if (SUCCEEDED(during)) CoUninitialize();
                    Window(0)->Close();
                    return true;
                  }});
    // Balanced when the call ended: the thread may choose its apartment.
    after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(after)) CoUninitialize();
    otherDone = true;
  });
  // This thread keeps answering its windows' messages meanwhile, as a
  // host's window thread does (the call adopts no window of it, yet lets
  // go of the one adopted before, which is this thread's).
  while (!otherDone) PumpFor(20);
  other.join();
  EXPECT_EQ(during, S_FALSE) << "OLE was initialised on the calling thread";
  EXPECT_EQ(after, S_OK) << "and uninitialised when the call ended";
  EXPECT_EQ(ViewerWindows, nullptr);
}

TEST_F(ShowEbookTest, TheUserAgentValueIsGoneAfterANormalEndAndAFailedStart) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  bool during = false;
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   during = UserAgentValueExists();
                   Window(0)->Close();
                   return true;
                 }});
  EXPECT_TRUE(during) << "the value is there while a window is";
  EXPECT_FALSE(UserAgentValueExists()) << "after a normal end";

  // A start that fails (a damaged book): nothing stays either.
  TArchiveBuilder builder;
  builder.AddRaw("config.ini", {'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'});
  const std::vector<uint8_t> broken = builder.Build();
  ShowEbook(broken.data(), host_);
  EXPECT_NE(ErrorVariable(), L"");
  EXPECT_FALSE(UserAgentValueExists()) << "after a failed start";
}

}  // namespace

// ShowEbook in-process, end to end: a book archive in memory, the real book
// manager on port 5055, real viewer windows and their browsers, closed with
// real messages. While ShowEbook runs its message loop, a thread timer of the
// test drives a scenario: one step after the other, each repeated until it
// reports that it is done.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/book_file.h"
#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "forms/forms.h"
#include "lifetime/show_ebook.h"
#include "runtime/ansi.h"
#include "runtime/sockets.h"
#include "server/ebook_manager.h"
#include "skin/sk_theme.h"
#include "viewer/viewer_form.h"

namespace {

// A valid icon file: one 32 x 32 image with 32-bit pixels.
std::string IconFile() {
  std::string ico(6 + 16, '\0');
  ico[2] = 1;  // type: icon
  ico[4] = 1;  // one image
  const uint32_t pixels = 32 * 32 * 4, mask = 32 * 4, size = 40 + pixels + mask, offset = 22;
  uint8_t entry[16] = {32, 32, 0, 0, 1, 0, 32, 0};
  std::memcpy(entry + 8, &size, 4);
  std::memcpy(entry + 12, &offset, 4);
  std::memcpy(&ico[6], entry, 16);
  BITMAPINFOHEADER header{};
  header.biSize = 40;
  header.biWidth = 32;
  header.biHeight = 64;  // image and mask
  header.biPlanes = 1;
  header.biBitCount = 32;
  ico.append(reinterpret_cast<const char*>(&header), sizeof header);
  for (uint32_t i = 0; i < 32 * 32; ++i) ico.append("\x20\x80\xE0\xFF", 4);
  ico.append(mask, '\0');
  return ico;
}

std::string Hex(const std::string& bytes) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string Config(const std::string& params, bool home = true) {
  std::string config = "[params]\r\ntitle=Test Book\r\nstart=index.htm\r\n" + params + "[Icon]\r\nBitmap=" +
                       Hex(IconFile()) + "\r\n[Toolbar]\r\ntbBack=00\r\neBack=Back\r\n";
  if (home) config += "tbRegister=00\r\neRegister=Home\r\n";
  return config;
}

std::vector<uint8_t> Book(const std::string& config) {
  TArchiveBuilder builder;
  builder.Add("config.ini", config);
  builder.Add("index.htm", "<html><head><title>Start</title></head><body><p>Welcome</p></body></html>");
  builder.Add("second.htm", "<html><head><title>Second</title></head><body><p>Two</p></body></html>");
  builder.Add("untitled.htm", "<html><body><p>No title here</p></body></html>");
  builder.Add("links.htm",
              "<html><head><title>Links</title></head><body><p><a href=\"second.htm\" target=\"_blank\">Open</a></p>"
              "<p><a href=\"javascript:window.close()\">Close</a></p></body></html>");
  return builder.Build();
}

std::wstring ErrorVariable() {
  const DWORD length = GetEnvironmentVariableW(kErrorVariable, nullptr, 0);
  if (length == 0) return L"";
  std::wstring value(length, L'\0');
  GetEnvironmentVariableW(kErrorVariable, value.data(), length);
  value.resize(length - 1);
  return value;
}

// True when nothing listens on the port any more.
bool PortFree(int port) {
  try {
    TSocket listener = TSocket::Listen("127.0.0.1", static_cast<uint16_t>(port), TListenOptions{1});
    return true;
  } catch (const ESocketError&) {
    return false;
  }
}

// Viewer windows of this thread that exist, shown or not.
BOOL CALLBACK CountViewerWindow(HWND window, LPARAM data) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (std::wstring(name) == L"EbookForm") ++*reinterpret_cast<int*>(data);
  return TRUE;
}

int ViewerWindowCount() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CountViewerWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

TForm1* Window(size_t index) {
  return ViewerWindows != nullptr && index < ViewerWindows->size() ? (*ViewerWindows)[index] : nullptr;
}

std::wstring Url(const std::string& path) { return AnsiToWide("http://127.0.0.1:" + BookManager->PortText + path); }

// A window whose page has completed and whose status line shows title.
bool ShowsPage(TForm1* window, const std::wstring& title) {
  return window != nullptr && window->StPanel1->Caption() == title;
}

// A real click on a link of the page the window's plain browser shows.
void ClickLink(TForm1* window, int index) {
  TPlainBrowser* browser = window->WebBrowser1->PlainBrowser();
  ASSERT_NE(browser, nullptr) << "the test clicks links in the built-in browser";
  const RECT r = browser->LinkRect(index);
  ASSERT_LT(r.left, r.right) << "link " << index << " is not laid out";
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(browser->Window(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(browser->Window(), WM_LBUTTONUP, 0, at);
}

// Runs ShowEbook while the steps run, one after the other, from a thread
// timer inside its message loop. A scenario that does not finish in time
// fails and closes every window so that ShowEbook still returns.
class TScenario {
 public:
  using TStep = std::function<bool()>;

  void Run(const std::vector<uint8_t>& block, HWND host, std::vector<TStep> steps) {
    steps_ = std::move(steps);
    next_ = 0;
    started_ = std::chrono::steady_clock::now();
    current_ = this;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &TScenario::Tick);
    ShowEbook(block.data(), host);
    KillTimer(nullptr, timer);
    current_ = nullptr;
    EXPECT_EQ(next_, steps_.size()) << "ShowEbook returned before the scenario ended";
  }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    TScenario* self = current_;
    if (self == nullptr || self->busy_) return;
    self->busy_ = true;
    try {
      self->Step();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "step " << self->next_ << " failed: " << e.what();
      self->Abandon();
    }
    self->busy_ = false;
  }

  void Step() {
    if (next_ >= steps_.size()) return;
    if (std::chrono::steady_clock::now() - started_ > std::chrono::seconds(30)) {
      ADD_FAILURE() << "step " << next_ << " did not finish in time";
      Abandon();
      return;
    }
    if (steps_[next_]()) ++next_;
  }

  void Abandon() {
    next_ = steps_.size() + 1;
    if (ViewerWindows == nullptr) return;
    const std::vector<TForm1*> windows = *ViewerWindows;
    for (TForm1* window : windows) PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
  }

  static inline TScenario* current_ = nullptr;
  std::vector<TStep> steps_;
  size_t next_ = 0;
  bool busy_ = false;
  std::chrono::steady_clock::time_point started_;
};

class ShowEbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->OnException = [this](TObject*, const std::string& message) { errors_.push_back(message); };
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ShowEbookTestHost";
    RegisterClassW(&windowClass);
    host_ = CreateWindowExW(0, L"ShowEbookTestHost", L"host", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(ViewerWindowCount(), 0) << "closed windows are destroyed by the time ShowEbook returns";
    Application->OnException = nullptr;
    Application->SetHandle(nullptr);
    DestroyWindow(host_);
  }

  HWND host_ = nullptr;
  std::vector<std::string> errors_;
  TScenario scenario_;
};

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
                   const LONG style = GetWindowLongW(handle, GWL_STYLE);
                   EXPECT_TRUE(IsWindowVisible(handle));
                   EXPECT_EQ(style & WS_THICKFRAME, 0) << "not resizable";
                   EXPECT_EQ(style & WS_MAXIMIZEBOX, 0) << "no maximise icon when not resizable";
                   EXPECT_NE(style & WS_MINIMIZEBOX, 0);
                   EXPECT_EQ(GetWindow(handle, GW_OWNER), host_) << "owned by the host's window";
                   EXPECT_NE(SendMessageW(host_, WM_GETICON, ICON_BIG, 0), 0) << "the book's icon on the host";
                   EXPECT_NE(SendMessageW(handle, WM_GETICON, ICON_BIG, 0), 0);
                   EXPECT_EQ(window->ToolbarButtonWidth(L""), 50) << "an empty caption";
                   const int home = window->ToolbarButtonWidth(L"Home");
                   EXPECT_GT(home, 50);
                   EXPECT_GT(window->ToolbarButtonWidth(L"Home page"), home) << "wider for a longer caption";
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
                   EXPECT_NE(GetWindowLongW(first->Handle(), GWL_STYLE) & WS_MAXIMIZEBOX, 0);
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
  TLabel* back = nullptr;
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(window = Window(0), L"Start"); },
                 [&] {
                   // Any control stands in for the Back button here.
                   back = CreateComponent<TLabel>(window);
                   window->SpeedButton1 = back;
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

}  // namespace

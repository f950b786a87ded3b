// The viewer window's keys and zoom, end to end inside ShowEbook: key
// presses posted to the window that has the focus (the page, the search
// edit, the result list) and delivered by the application's loop, with the
// modifiers held in the thread's key state as a reader's keyboard holds
// them; a key the platform's control sees itself, through the browser's
// accelerator hook; Ctrl with the wheel.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "archive/book_file.h"
#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "lifetime/show_ebook_support.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_effect_controls.h"
#include "skin/controls/sk_group_box.h"
#include "skin/controls/sk_list_box.h"
#include "skin/controls/controls_support.h"

namespace {

std::string ToolbarOf(const std::vector<std::string>& entries) {
  std::string config = "[params]\r\ntitle=Test Book\r\nstart=index.htm\r\nResolution=800x600\r\n[Icon]\r\nBitmap=" +
                       Hex(IconFile()) + "\r\n[Toolbar]\r\n";
  for (const std::string& entry : entries) config += "tb" + entry + "=" + Hex(GlyphFile(16, 16)) + "\r\n";
  return config;
}

const std::vector<std::string> kWholeToolbar = {"Back",  "Forward", "Refresh", "Stop",
                                                "Print", "Search",  "About",   "Register"};

std::vector<uint8_t> KeysBook(const std::string& config) {
  TArchiveBuilder builder;
  builder.Add("config.ini", config);
  builder.Add("index.htm", "<html><head><title>Start</title></head><body><p>Welcome</p></body></html>");
  builder.Add("one.htm", "<html><head><title>One</title></head><body><p>a needle here</p></body></html>");
  builder.Add("two.htm", "<html><head><title>Two</title></head><body><p>nothing</p></body></html>");
  builder.Add("three.htm", "<html><head><title>Three</title></head><body><p>NEEDLE loud</p></body></html>");
  return builder.Build();
}

HWND PageOf(TForm1* w) { return w->WebBrowser1->PlainBrowser()->Window(); }

// The window shows the book's page at path, fully loaded.
bool At(TForm1* w, const std::string& path) {
  return w != nullptr && w->WebBrowser1->LocationURL() == Url(path) && !w->WebBrowser1->PlainBrowser()->Loading();
}

bool Busy(TForm1* w) {
  VARIANT_BOOL busy = VARIANT_FALSE;
  w->WebBrowser1->DefaultInterface()->get_Busy(&busy);
  return busy != VARIANT_FALSE;
}

// Holds the modifiers in the thread's key state (as the keyboard does
// while they are down) until Release.
void HoldModifiers(TShiftState shift) {
  BYTE state[256] = {};
  GetKeyboardState(state);
  auto set = [&](int key, bool down) { state[key] = down ? 0x80 : 0; };
  set(VK_CONTROL, (shift & ssCtrl) != 0);
  set(VK_LCONTROL, (shift & ssCtrl) != 0);
  set(VK_SHIFT, (shift & ssShift) != 0);
  set(VK_LSHIFT, (shift & ssShift) != 0);
  set(VK_MENU, (shift & ssAlt) != 0);
  set(VK_LMENU, (shift & ssAlt) != 0);
  SetKeyboardState(state);
}
void ReleaseModifiers() { HoldModifiers(0); }

// Posts a key's press and release to the window (an Alt combination as the
// system key it is) without waiting for them.
void PostKey(HWND window, WORD key, TShiftState shift) {
  const bool alt = (shift & ssAlt) != 0;
  const LPARAM down = 1 | (alt ? (1L << 29) : 0);
  PostMessageW(window, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
  PostMessageW(window, alt ? WM_SYSKEYUP : WM_KEYUP, key, down | static_cast<LPARAM>(0xC0000000u));
}

// A key press delivered by the application's loop now.
void Press(HWND window, WORD key, TShiftState shift = 0) {
  HoldModifiers(shift);
  PostKey(window, key, shift);
  Application->ProcessMessages();
  ReleaseModifiers();
}

void Type(HWND window, const std::wstring& text) {
  for (wchar_t c : text) PostMessageW(window, WM_CHAR, c, 1);
  Application->ProcessMessages();
}

// Wheel notches (positive: away from the reader) with Ctrl held.
void CtrlWheel(HWND window, int notches) {
  PostMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(notches * WHEEL_DELTA)), 0);
  Application->ProcessMessages();
}

BOOL CALLBACK CollectShownDialog(HWND window, LPARAM data) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
  }
  return TRUE;
}

std::vector<HWND> ShownDialogs() {
  std::vector<HWND> dialogs;
  EnumThreadWindows(GetCurrentThreadId(), &CollectShownDialog, reinterpret_cast<LPARAM>(&dialogs));
  return dialogs;
}

std::vector<std::wstring> Items(const TSkListBox& list) {
  std::vector<std::wstring> items;
  for (int i = 0; i < list.Items().Count(); ++i) items.push_back(list.Items().Strings(i));
  return items;
}

// A loopback port that takes connections and never answers: a page asked
// of it stays on its way until the browser stops.
class TSilentPort {
 public:
  TSilentPort() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (socket_ == INVALID_SOCKET || bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(socket_, 4) != 0 || getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~TSilentPort() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (started_) WSACleanup();
  }
  int Port() const { return port_; }

 private:
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

using ViewerKeysTest = ShowEbookTest;

TEST_F(ViewerKeysTest, KeysRunTheCommandsFromThePageTheSearchEditAndTheResultList) {
  const std::vector<uint8_t> block = KeysBook(ToolbarOf(kWholeToolbar));
  TSilentPort silent;
  ASSERT_NE(silent.Port(), 0) << "no loopback port to wait on";
  int completions = 0;
  int completionsBefore = 0;
  int cancelled = 0;
  int quietTicks = 0;
  scenario_.Run(
      block, host_,
      {[&] { return ShowsPage(Window(0), L"Start"); },
       [&] {
         TForm1* w = Window(0);
         auto viewer = w->WebBrowser1->OnDocumentComplete;
         w->WebBrowser1->OnDocumentComplete = [&completions, viewer](TObject* sender) {
           ++completions;
           viewer(sender);
         };
         w->WebBrowser1->Navigate(Url("/one.htm"));
         return true;
       },
       // History through the page's window: Alt+Left, Alt+Right,
       // Backspace, Alt+Home, F5.
       [&] { return At(Window(0), "/one.htm") && (Press(PageOf(Window(0)), VK_LEFT, ssAlt), true); },
       [&] { return At(Window(0), "/index.htm") && (Press(PageOf(Window(0)), VK_RIGHT, ssAlt), true); },
       [&] { return At(Window(0), "/one.htm") && (Press(PageOf(Window(0)), VK_BACK), true); },
       [&] {
         TForm1* w = Window(0);
         if (!At(w, "/index.htm")) return false;
         // A key the browser control sees itself goes to the viewer through
         // its accelerator hook first: Alt+Right goes forward.
         const auto active = TComPtr<IDispatch>::Adopt(w->WebBrowser1->Application())
                                 .Query<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
         EXPECT_TRUE(static_cast<bool>(active));
         if (!active) return true;
         MSG other{PageOf(w), WM_KEYDOWN, 'Q', 1, 0, {}};
         EXPECT_EQ(active->TranslateAccelerator(&other), S_FALSE) << "no key of the viewer";
         MSG key{PageOf(w), WM_SYSKEYDOWN, VK_RIGHT, 1 | (1L << 29), 0, {}};
         EXPECT_EQ(active->TranslateAccelerator(&key), S_OK);
         return true;
       },
       [&] { return At(Window(0), "/one.htm") && (Press(PageOf(Window(0)), VK_HOME, ssAlt), true); },
       [&] {
         if (!At(Window(0), "/index.htm")) return false;
         completionsBefore = completions;
         Press(PageOf(Window(0)), VK_F5);
         return true;
       },
       [&] {
         TForm1* w = Window(0);
         if (completions == completionsBefore || !At(w, "/index.htm")) return false;
         // A page on its way, and the search area by Ctrl+F with the caret
         // in its edit.
         w->WebBrowser1->Navigate(L"http://127.0.0.1:" + std::to_wstring(silent.Port()) + L"/slow.htm");
         EXPECT_TRUE(Busy(w));
         Press(PageOf(w), 'F', ssCtrl);
         EXPECT_TRUE(w->GroupBox1->Visible());
         EXPECT_EQ(GetFocus(), w->LabeledEdit1->Handle());
         Type(w->LabeledEdit1->Handle(), L"needle");
         // Backspace in the edit erases, and is no Back.
         Press(w->LabeledEdit1->Handle(), VK_BACK);
         EXPECT_EQ(w->LabeledEdit1->Text(), L"needl");
         EXPECT_TRUE(Busy(w)) << "the page on its way was not replaced";
         // Esc in the search area stops the page and does nothing else.
         Press(w->LabeledEdit1->Handle(), VK_ESCAPE);
         EXPECT_FALSE(Busy(w));
         EXPECT_TRUE(w->GroupBox1->Visible());
         EXPECT_EQ(w->LabeledEdit1->Text(), L"needl");
         EXPECT_EQ(w->WebBrowser1->LocationURL(), Url("/index.htm"));
         // Enter in the edit searches.
         Type(w->LabeledEdit1->Handle(), L"e");
         Press(w->LabeledEdit1->Handle(), VK_RETURN);
         EXPECT_EQ(Items(*w->ListBox1), (std::vector<std::wstring>{L"one.htm", L"three.htm"}));
         EXPECT_FALSE(w->SpeedButton10->Enabled()) << "showing results";
         // Enter on the focused result opens it.
         w->ListBox1->SetFocus();
         w->ListBox1->SetItemIndex(1);
         EXPECT_FALSE(At(w, "/three.htm"));
         Press(w->ListBox1->Handle(), VK_RETURN);
         return true;
       },
       [&] {
         TForm1* w = Window(0);
         if (!At(w, "/three.htm")) return false;
         // Zoom: Ctrl+plus in the page, Ctrl and the wheel, Ctrl+minus in the
         // result list, Ctrl+0; the levels end at 50 and 300 percent.
         HWND page = PageOf(w);
         Press(page, VK_OEM_PLUS, ssCtrl);
         EXPECT_EQ(w->Zoom(), 110);
         EXPECT_EQ(w->WebBrowser1->PlainBrowser()->Zoom(), 110);
         EXPECT_EQ(w->StPanel1->Caption(), L"Zoom: 110%");
         CtrlWheel(page, 1);
         EXPECT_EQ(w->Zoom(), 125);
         Press(w->ListBox1->Handle(), VK_OEM_MINUS, ssCtrl);
         EXPECT_EQ(w->Zoom(), 110);
         Press(page, '0', ssCtrl);
         EXPECT_EQ(w->Zoom(), 100);
         for (int i = 0; i < 15; ++i) Press(page, VK_ADD, ssCtrl);
         EXPECT_EQ(w->Zoom(), 300);
         EXPECT_EQ(w->StPanel1->Caption(), L"Zoom: 300%");
         for (int i = 0; i < 15; ++i) Press(page, VK_SUBTRACT, ssCtrl);
         EXPECT_EQ(w->Zoom(), 50);
         Press(page, '0', ssCtrl);
         CtrlWheel(page, 3);
         EXPECT_EQ(w->Zoom(), 150);
         CtrlWheel(page, -1);
         EXPECT_EQ(w->Zoom(), 125);
         EXPECT_EQ(w->WebBrowser1->PlainBrowser()->Zoom(), 125);
         // The zoom holds on the next page.
         Press(page, VK_HOME, ssAlt);
         return true;
       },
       [&] {
         TForm1* w = Window(0);
         if (!At(w, "/index.htm")) return false;
         EXPECT_EQ(w->Zoom(), 125);
         EXPECT_EQ(w->WebBrowser1->PlainBrowser()->Zoom(), 125);
         Press(PageOf(w), VK_NUMPAD0, ssCtrl);
         EXPECT_EQ(w->StPanel1->Caption(), L"Zoom: 100%");
         return true;
       },
       // The note goes after a moment and the title shows again.
       [&] { return ShowsPage(Window(0), L"Start"); },
       [&] {
         Press(PageOf(Window(0)), 'N', ssCtrl);
         return true;
       },
       [&] {
         if (!At(Window(1), "/index.htm")) return false;
         EXPECT_EQ(Window(1)->Zoom(), 100) << "a new window starts at the normal size";
         Press(PageOf(Window(1)), 'W', ssCtrl);
         return true;
       },
       [&] {
         if (ViewerWindowCount() != 1) return false;
         // Ctrl+P prints: its dialogs are modal, so the key is left to the
         // loop with Ctrl held, and the next step answers them.
         HoldModifiers(ssCtrl);
         PostKey(PageOf(Window(0)), 'P', ssCtrl);
         return true;
       },
       [&] {
         ReleaseModifiers();
         const std::vector<HWND> dialogs = ShownDialogs();
         for (HWND dialog : dialogs) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
         cancelled += static_cast<int>(dialogs.size());
         quietTicks = dialogs.empty() ? quietTicks + 1 : 0;
         return cancelled > 0 && quietTicks > 25;
       },
       [&] {
         EXPECT_EQ(Window(0)->WebBrowser1->PlainBrowser()->PrintCount(), 0) << "cancelled";
         Press(PageOf(Window(0)), 'W', ssCtrl);
         return true;
       }});
  ReleaseModifiers();
  EXPECT_EQ(ViewerWindows, nullptr) << "Ctrl+W closed the last window";
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

// A book without Back, Forward, Refresh, Print and Search buttons: their
// keys do nothing, from the page or elsewhere, while Home still works.
TEST_F(ViewerKeysTest, KeysOfRemovedButtonsDoNothing) {
  const std::vector<uint8_t> block = KeysBook(ToolbarOf({"Stop", "About", "Register"}));
  int completions = 0;
  int completionsBefore = 0;
  int quietTicks = 0;
  scenario_.Run(
      block, host_,
      {[&] { return ShowsPage(Window(0), L"Start"); },
       [&] {
         TForm1* w = Window(0);
         EXPECT_EQ(w->SpeedButton1, nullptr);
         auto viewer = w->WebBrowser1->OnDocumentComplete;
         w->WebBrowser1->OnDocumentComplete = [&completions, viewer](TObject* sender) {
           ++completions;
           viewer(sender);
         };
         w->WebBrowser1->Navigate(Url("/one.htm"));
         return true;
       },
       [&] {
         TForm1* w = Window(0);
         if (!At(w, "/one.htm")) return false;
         completionsBefore = completions;
         HWND page = PageOf(w);
         Press(page, VK_LEFT, ssAlt);
         Press(page, VK_BACK);
         Press(page, VK_F5);
         Press(page, 'F', ssCtrl);
         Press(page, VK_F3);
         HoldModifiers(ssCtrl);
         PostKey(page, 'P', ssCtrl);
         return true;
       },
       [&] {
         ReleaseModifiers();
         TForm1* w = Window(0);
         EXPECT_TRUE(ShownDialogs().empty()) << "no print dialog";
         EXPECT_EQ(completions, completionsBefore) << "no Back, no Refresh";
         EXPECT_EQ(w->WebBrowser1->LocationURL(), Url("/one.htm"));
         EXPECT_FALSE(w->GroupBox1->Visible()) << "no search area";
         return ++quietTicks > 25;
       },
       [&] {
         Press(PageOf(Window(0)), VK_HOME, ssAlt);
         return true;
       },
       [&] {
         if (!At(Window(0), "/index.htm")) return false;
         Press(PageOf(Window(0)), 'W', ssCtrl);
         return true;
       }});
  ReleaseModifiers();
  EXPECT_EQ(ViewerWindows, nullptr);
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

}  // namespace


// The browser host with real windows, a real page server on loopback and
// the plain browser (this machine's Wine has no HTML engine), driven through
// the same container code the platform's browser would see.
#include <gtest/gtest.h>

#include <olectl.h>
#include <winspool.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "forms/forms_support.h"
#include "runtime/ansi.h"
#include "server/http_test_helpers.h"
#include "browser/browser_support.h"

namespace {

// The browser host runs in the single-threaded apartment of the thread that
// made it; the program sets that up, as ShowEbook does for its call.
class TOleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override { OleUninitialize(); }
};
const auto* const oleEnvironment = ::testing::AddGlobalTestEnvironment(new TOleEnvironment);

template <class I>
struct TComPtr {
  I* P = nullptr;
  ~TComPtr() {
    if (P != nullptr) P->Release();
  }
  I* operator->() const { return P; }
  void** Out() { return reinterpret_cast<void**>(&P); }
};

class BrowserHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_FALSE(PlatformBrowserRenders()) << "these tests drive the plain browser"; }
};

TEST_F(BrowserHost, ContainerAnswersWithoutHandlers) {
  TBrowserWindow w;
  ASSERT_TRUE(w.Browser->UsesPlainBrowser());
  TComPtr<IOleClientSite> site;
  site.P = w.Browser->ClientSite();
  ASSERT_NE(site.P, nullptr);

  TComPtr<IDocHostUIHandler2> ui;
  ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler2, ui.Out()), S_OK);
  DOCHOSTUIINFO info{};
  info.dwDoubleClick = 77;
  EXPECT_EQ(ui->GetHostInfo(&info), S_OK);
  // The structure's own size on each architecture: 20 bytes for the 32-bit
  // library, more where its two string pointers are 8 bytes wide.
  EXPECT_EQ(info.cbSize, sizeof(DOCHOSTUIINFO));
  if constexpr (sizeof(void*) == 4) EXPECT_EQ(info.cbSize, 20u);
  EXPECT_EQ(info.dwFlags, 0x2000u);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  POINT point{1, 1};
  EXPECT_EQ(ui->ShowContextMenu(0, &point, nullptr, nullptr), S_FALSE);
  EXPECT_EQ(ui->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_FALSE);
  EXPECT_EQ(ui->HideUI(), S_FALSE);
  EXPECT_EQ(ui->UpdateUI(), S_FALSE);
  EXPECT_EQ(ui->EnableModeless(TRUE), S_FALSE);
  EXPECT_EQ(ui->OnDocWindowActivate(TRUE), S_FALSE);
  EXPECT_EQ(ui->OnFrameWindowActivate(TRUE), S_FALSE);
  EXPECT_EQ(ui->ResizeBorder(nullptr, nullptr, TRUE), S_FALSE);
  MSG msg{};
  EXPECT_EQ(ui->TranslateAccelerator(&msg, nullptr, 0), S_FALSE);
  LPWSTR translated = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(ui->TranslateUrl(0, const_cast<LPWSTR>(L"http://x/"), &translated), S_FALSE);
  LPOLESTR key = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(ui->GetOptionKeyPath(&key, 0), S_FALSE);
  key = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(ui->GetOverrideKeyPath(&key, 0), S_OK);
  EXPECT_EQ(key, nullptr);
  IDropTarget* drop = reinterpret_cast<IDropTarget*>(1);
  EXPECT_EQ(ui->GetDropTarget(nullptr, &drop), S_OK);
  EXPECT_EQ(drop, nullptr);
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(ui->GetExternal(&external), S_FALSE);
  EXPECT_EQ(external, nullptr);
  IDataObject* data = reinterpret_cast<IDataObject*>(1);
  EXPECT_EQ(ui->FilterDataObject(nullptr, &data), S_FALSE);
  EXPECT_EQ(data, nullptr);

  TComPtr<IDocHostShowUI> show;
  ASSERT_EQ(site->QueryInterface(IID_IDocHostShowUI, show.Out()), S_OK);
  LRESULT result = 0;
  EXPECT_EQ(show->ShowMessage(nullptr, const_cast<LPOLESTR>(L"text"), const_cast<LPOLESTR>(L"caption"), MB_OK, nullptr,
                              0, &result),
            S_FALSE);
  EXPECT_EQ(show->ShowHelp(nullptr, nullptr, HELP_CONTEXT, 0, point, nullptr), S_FALSE);

  TComPtr<IOleCommandTarget> commands;
  ASSERT_EQ(site->QueryInterface(IID_IOleCommandTarget, commands.Out()), S_OK);
  OLECMD cmd{OLECMDID_REFRESH, 0};
  EXPECT_EQ(commands->QueryStatus(nullptr, 1, &cmd, nullptr), S_OK);
  EXPECT_EQ(cmd.cmdf, 0u);
  EXPECT_EQ(commands->Exec(nullptr, OLECMDID_REFRESH, 0, nullptr, nullptr), OLECMDERR_E_UNKNOWNGROUP);
  for (DWORD id : {OLECMDID_SHOWSCRIPTERROR, OLECMDID_REFRESH, OLECMDID_ONUNLOAD, OLECMDID_SHOWPAGESETUP}) {
    EXPECT_EQ(commands->Exec(&CGID_DocHostCommandHandler, id, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED) << id;
  }

  TComPtr<IServiceProvider> services;
  ASSERT_EQ(site->QueryInterface(IID_IServiceProvider, services.Out()), S_OK);
  void* service = reinterpret_cast<void*>(1);
  EXPECT_EQ(services->QueryService(IID_IWebBrowserApp, IID_IWebBrowser2, &service), E_NOINTERFACE);
  EXPECT_EQ(service, nullptr);

  TComPtr<IDispatch> ambient;
  ASSERT_EQ(site->QueryInterface(IID_IDispatch, ambient.Out()), S_OK);
  VARIANT value;
  VariantInit(&value);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(ambient->Invoke(kDispidAmbientDlControl, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(value.vt, VT_I4);
  EXPECT_EQ(value.lVal, 0x70);
  EXPECT_EQ(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(value.vt, VT_BOOL);
  EXPECT_EQ(value.boolVal, VARIANT_TRUE);
  EXPECT_EQ(ambient->Invoke(12345, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  UINT count = 9;
  EXPECT_EQ(ambient->GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(count, 0u);
  ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(ambient->GetTypeInfo(0, 0, &typeInfo), E_NOTIMPL);
  EXPECT_EQ(typeInfo, nullptr);
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(L"x");
  EXPECT_EQ(ambient->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);

  // The browser asked the same questions when it was set up.
  EXPECT_EQ(w.Plain().DownloadControl(), 0x70u);
  EXPECT_EQ(w.Plain().HostFlags(), 0x2000u);
}

TEST_F(BrowserHost, HandlersReplaceTheDefaultAnswers) {
  TBrowserWindow w;
  TComPtr<IOleClientSite> site;
  site.P = w.Browser->ClientSite();
  TComPtr<IDocHostUIHandler2> ui;
  ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler2, ui.Out()), S_OK);
  int menus = 0;
  w.Browser->OnShowContextMenu = [&](DWORD, POINT*, IUnknown*, IDispatch*) {
    ++menus;
    return S_OK;
  };
  POINT point{};
  EXPECT_EQ(ui->ShowContextMenu(0, &point, nullptr, nullptr), S_OK);
  EXPECT_EQ(menus, 1);
  // A handler that fails is reported and the default answer stands.
  TExceptionCapture capture;
  w.Browser->OnShowContextMenu = [](DWORD, POINT*, IUnknown*, IDispatch*) -> HRESULT { throw Exception("menu broke"); };
  EXPECT_EQ(ui->ShowContextMenu(0, &point, nullptr, nullptr), S_FALSE);
  EXPECT_EQ(capture.Messages, std::vector<std::string>{"menu broke"});

  // A changed download set reaches the browser through the ambient
  // property notification.
  w.Browser->SetDownloadOptions(kDefaultDownloadOptions | TDownloadControlOption::NO_SCRIPTS);
  EXPECT_EQ(w.Browser->DownloadControlValue(), 0xF0u);
  EXPECT_EQ(w.Plain().DownloadControl(), 0xF0u);
  w.Browser->SetUserInterfaceOptions(TUserInterfaceOption::NO3DBORDER | TUserInterfaceOption::DIALOG);
  DOCHOSTUIINFO info{};
  EXPECT_EQ(ui->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x5u);
}

TEST_F(BrowserHost, NavigatesWithHistoryAndEvents) {
  TPageServer server({
      {"/a.htm", {200, "<html><head><title>Page A</title></head><body><h1>A</h1><p>Go to <a href=\"sub/b.htm\">B</a>"
                       "</p></body></html>"}},
      {"/sub/b.htm", {200, "<p>No title, <span style=\"background:yellow\">marked</span> <a href=\"../a.htm\">back</a>"}},
  });
  TBrowserWindow w;
  std::vector<std::wstring> titles;
  w.Browser->OnTitleChange = [&](TObject*, const std::wstring& title) { titles.push_back(title); };
  ASSERT_TRUE(w.Open(server.Url("/a.htm")));
  EXPECT_EQ(w.Browser->LocationName(), L"Page A");
  EXPECT_EQ(w.Browser->LocationURL(), server.Url("/a.htm"));
  EXPECT_EQ(w.Plain().PageText(), L"A\nGo to B");
  EXPECT_EQ(w.States, (std::vector<std::pair<long, bool>>{{1, false}, {2, false}}));

  w.States.clear();
  int before = w.Completed;
  w.ClickLink(0);
  ASSERT_TRUE(w.WaitForPage(before));
  // Without a title the name is the address.
  EXPECT_EQ(w.Browser->LocationName(), server.Url("/sub/b.htm"));
  EXPECT_EQ(w.Browser->LocationURL(), server.Url("/sub/b.htm"));
  EXPECT_EQ(w.States, (std::vector<std::pair<long, bool>>{{1, false}, {2, true}}));

  w.States.clear();
  before = w.Completed;
  w.Browser->GoBack();
  ASSERT_TRUE(w.WaitForPage(before));
  EXPECT_EQ(w.Browser->LocationURL(), server.Url("/a.htm"));
  EXPECT_EQ(w.States, (std::vector<std::pair<long, bool>>{{1, true}, {2, false}}));
  // Nothing further back: the refusal is an error.
  EXPECT_THROW(w.Browser->GoBack(), EOleSysError);

  before = w.Completed;
  w.Browser->GoForward();
  ASSERT_TRUE(w.WaitForPage(before));
  EXPECT_EQ(w.Browser->LocationURL(), server.Url("/sub/b.htm"));
  EXPECT_THROW(w.Browser->GoForward(), EOleSysError);
  EXPECT_EQ(titles, (std::vector<std::wstring>{L"Page A", server.Url("/sub/b.htm"), L"Page A", server.Url("/sub/b.htm")}));

  // A new page drops the forward history.
  w.Browser->GoBack();
  ASSERT_TRUE(w.WaitForPage(w.Completed));
  ASSERT_TRUE(w.Open(server.Url("/missing.htm")));
  EXPECT_THROW(w.Browser->GoForward(), EOleSysError);
  // Any status shows its body.
  EXPECT_EQ(w.Plain().PageText(), L"Nothing at /missing.htm");

  IDispatch* document = w.Browser->Document();
  ASSERT_NE(document, nullptr);
  document->Release();
  IDispatch* application = w.Browser->Application();
  ASSERT_NE(application, nullptr);
  application->Release();
}

TEST_F(BrowserHost, StopEndsAFetchAndKeepsThePage) {
  TPageServer server({{"/fast.htm", {200, "<title>Fast</title>fast"}}, {"/slow.htm", {200, "<title>Slow</title>", 1500}}});
  TBrowserWindow w;
  ASSERT_TRUE(w.Open(server.Url("/fast.htm")));
  const int before = w.Completed;
  w.Browser->Navigate(server.Url("/slow.htm"));
  w.Browser->Stop();
  PumpFor(2500);
  EXPECT_EQ(w.Completed, before);
  EXPECT_EQ(w.Browser->LocationName(), L"Fast");
}

TEST_F(BrowserHost, DocumentBeforeAnyPageIsNullAndCommandsDoNothing) {
  TBrowserWindow w;
  EXPECT_EQ(w.Browser->Document(), nullptr);
  TEmbeddedWB::SetPageSetupPending(false);
  w.Browser->PrintDocument();
  w.Browser->ApplyPageSetup(false);
  EXPECT_EQ(w.Plain().PageSetup().Confirmed, 0);
  EXPECT_EQ(w.Plain().PrintCount(), 0);
}

TEST_F(BrowserHost, EventHandlerFailuresAreReported) {
  TPageServer server({{"/a.htm", {200, "<title>A</title>a"}}});
  TBrowserWindow w;
  TExceptionCapture capture;
  w.Browser->OnCommandStateChange = [](TObject*, long, bool) { throw Exception("state handler"); };
  ASSERT_TRUE(w.Open(server.Url("/a.htm")));
  EXPECT_EQ(capture.Messages, (std::vector<std::string>{"state handler", "state handler"}));
  EXPECT_EQ(capture.Senders.at(0), w.Browser);
}

TEST_F(BrowserHost, TargetedLinkOpensInTheBrowserTheHostHandsBack) {
  TPageServer server({
      {"/a.htm", {200, "<title>A</title><a href=\"b.htm\" target=\"_blank\">pop</a> <a href=b.htm target=_self>here</a>"
                       " <a href=\"b.htm\" target=\"other\">named</a>"}},
      {"/b.htm", {200, "<title>B</title>b"}},
  });
  TBrowserWindow first;
  TBrowserWindow second;
  int asked = 0;
  first.Browser->OnNewWindow2 = [&](TObject*, IDispatch** ppDisp, bool& cancel) {
    ++asked;
    *ppDisp = second.Browser->Application();
    cancel = false;
  };
  ASSERT_TRUE(first.Open(server.Url("/a.htm")));
  first.ClickLink(0);
  ASSERT_TRUE(second.WaitForPage(0));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(second.Browser->LocationName(), L"B");
  EXPECT_EQ(first.Browser->LocationName(), L"A");

  // A named target asks too; a refused window opens nothing.
  first.Browser->OnNewWindow2 = [&](TObject*, IDispatch**, bool& cancel) {
    ++asked;
    cancel = true;
  };
  first.ClickLink(2);
  PumpFor(300);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(first.Completed, 1);

  // _self is no new window.
  first.ClickLink(1);
  ASSERT_TRUE(first.WaitForPage(1));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(first.Browser->LocationName(), L"B");
}

// Posts a key message to the browser's window and lets the framework
// dispatch it.
void PressKey(HWND window, UINT msg, WPARAM key, bool extended) {
  LPARAM data = 1 | (static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), 0)) << 16);
  if (extended) data |= 1L << 24;
  PostMessageW(window, msg, key, data);
  Application->ProcessMessages();
}

TEST_F(BrowserHost, KeysAreOfferedToTheBrowserExceptTheExcludedOnes) {
  std::string longPage = "<title>Long</title>";
  for (int i = 0; i < 200; ++i) longPage += "<p>line " + std::to_string(i) + "</p>";
  TPageServer server({{"/long.htm", {200, longPage}}});
  TBrowserWindow w;
  ASSERT_TRUE(w.Open(server.Url("/long.htm")));
  std::vector<std::pair<UINT, WPARAM>> offered;
  bool consume = false;
  w.Browser->OnTranslateAccelerator = [&](MSG* message, const GUID*, DWORD) {
    offered.emplace_back(message->message, message->wParam);
    EXPECT_EQ(message->hwnd, w.Browser->ControlWindow());
    return consume ? S_OK : S_FALSE;
  };
  HWND window = w.Plain().Window();
  PressKey(window, WM_KEYDOWN, VK_BACK, false);
  PressKey(window, WM_KEYDOWN, VK_RETURN, false);
  PressKey(window, WM_KEYDOWN, VK_LEFT, true);
  PressKey(window, WM_KEYDOWN, VK_RIGHT, true);
  PressKey(window, WM_SYSKEYDOWN, 'F', false);
  EXPECT_TRUE(offered.empty());

  PressKey(window, WM_KEYDOWN, VK_LEFT, false);  // the keypad's arrow
  PressKey(window, WM_KEYUP, 'C', false);
  PressKey(window, WM_CHAR, 'c', false);
  EXPECT_EQ(offered, (std::vector<std::pair<UINT, WPARAM>>{{WM_KEYDOWN, VK_LEFT}, {WM_KEYUP, 'C'}, {WM_CHAR, 'c'}}));

  // Not taken by the host: the browser's own accelerators scroll.
  EXPECT_EQ(w.Plain().ScrollPosition(), 0);
  PressKey(window, WM_KEYDOWN, VK_DOWN, true);
  EXPECT_GT(w.Plain().ScrollPosition(), 0);
  // Taken by the host: nothing else sees the key.
  const int position = w.Plain().ScrollPosition();
  consume = true;
  PressKey(window, WM_KEYDOWN, VK_DOWN, true);
  EXPECT_EQ(w.Plain().ScrollPosition(), position);
}

TEST_F(BrowserHost, CloseRequestsGoToOnCloseQuery) {
  TPageServer server({{"/a.htm", {200, "<title>A</title><a href=\"javascript:window.close()\">close</a>"}}});
  TBrowserWindow w;
  ASSERT_TRUE(w.Open(server.Url("/a.htm")));
  int asked = 0;
  bool allow = false;
  w.Browser->OnCloseQuery = [&](TObject* sender, bool& canClose) {
    EXPECT_EQ(sender, w.Browser);
    EXPECT_TRUE(canClose);
    ++asked;
    canClose = allow;
  };
  HWND window = w.Plain().Window();
  w.ClickLink(0);
  PumpUntil([&] { return asked > 0; });
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(IsWindow(window));  // refused: dropped

  allow = true;
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(IsWindow(window));  // allowed: the browser's own handling closed it
  EXPECT_EQ(w.Browser->ControlWindow(), nullptr);
}

TEST(BrowserMarginText, ConvertsForTheLocale) {
  const struct {
    double Millimetres;
    bool Inches;
    wchar_t Separator;
    const wchar_t* Expected;
  } cases[] = {
      {19.05, false, L'.', L"19.05"}, {19.05, true, L'.', L"0.75"},  {25.4, true, L',', L"1"},
      {10, false, L',', L"10"},       {12.345, false, L',', L"12,345"}, {0, true, L'.', L"0"},
      {1.0 / 3, false, L'.', L"0.333333333333333"}, {254, true, L'.', L"10"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TEmbeddedWB::MarginText(c.Millimetres, c.Inches, c.Separator), c.Expected) << c.Millimetres;
  }
}

// Sets the user's measurement system for the lifetime of the guard.
class TMeasureGuard {
 public:
  explicit TMeasureGuard(const wchar_t* value) {
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, previous_, 8);
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, value);
  }
  ~TMeasureGuard() { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, previous_); }

 private:
  wchar_t previous_[8] = {};
};

BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
  wchar_t name[80] = {};
  GetClassNameW(window, name, 80);
  if (std::wstring(name) == L"#32770") PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

// Cancels the thread's dialogs if they are still open after a while, so
// that a dialog nobody confirms fails the test instead of hanging it.
class TDialogWatchdog {
 public:
  explicit TDialogWatchdog(int milliseconds) : thread_(GetCurrentThreadId()) {
    worker_ = std::thread([this, milliseconds] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (done_cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return done_; })) return;
      fired_ = true;
      EnumThreadWindows(thread_, &CancelDialog, 0);
    });
  }
  ~TDialogWatchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    worker_.join();
  }
  bool Fired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fired_;
  }

 private:
  DWORD thread_;
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  bool fired_ = false;
  std::thread worker_;
};

class PageSetup : public BrowserHost, public ::testing::WithParamInterface<const wchar_t*> {};

bool okClicked = false;

INT_PTR CALLBACK RecordingDialog(HWND, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) okClicked = true;
  return FALSE;
}

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[64] = {};
  GetDlgItemTextW(dialog, id, text, 64);
  return text;
}

// A dialog with the page-setup dialog's fields, activated over the viewer
// window while a fill is pending: the owner filter fills and confirms it.
TEST_P(PageSetup, PendingFillReachesTheNextActivatedDialog) {
  TMeasureGuard measure(GetParam());
  const bool inches = std::wstring(GetParam()) == L"1";
  TBrowserWindow w;
  w.Browser->PrintOptions().Orientation = poLandscape;
  w.Browser->PrintOptions().Header = "Head";
  SetActiveWindow(w.Form->Handle());
  HWND dialog = CreateWindowExW(0, L"#32770", L"Page Setup", WS_POPUP | WS_CAPTION, 40, 40, 320, 240,
                                w.Form->Handle(), nullptr, nullptr, nullptr);
  ASSERT_NE(dialog, nullptr);
  SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&RecordingDialog));
  auto child = [&](const wchar_t* cls, DWORD style, int id, int y) {
    CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 10, y, 120, 20, dialog,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  };
  child(L"Button", BS_GROUPBOX, 1072, 0);  // a group box comes first, as in the platform's dialog
  child(L"Button", BS_AUTORADIOBUTTON | WS_GROUP, 1056, 10);
  child(L"Button", BS_AUTORADIOBUTTON, 1057, 30);
  int y = 50;
  for (int id : {8147, 8149, 1155, 1156, 1157, 1158}) child(L"Edit", 0, id, y += 22);
  child(L"Button", BS_DEFPUSHBUTTON, IDOK, y + 22);
  okClicked = false;
  TEmbeddedWB::SetPageSetupPending(true);
  ShowWindow(dialog, SW_SHOW);
  SetActiveWindow(dialog);
  EXPECT_TRUE(PumpUntil([] { return okClicked; }));
  EXPECT_FALSE(TEmbeddedWB::PageSetupPending());
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1057), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1056), BST_UNCHECKED);
  EXPECT_EQ(ItemText(dialog, 8147), L"Head");
  EXPECT_EQ(ItemText(dialog, 8149), L"");
  wchar_t separator[4] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4);
  const std::wstring margin = inches ? std::wstring(L"0") + separator + L"75" : std::wstring(L"19") + separator + L"05";
  for (int id : {1155, 1156, 1157, 1158}) EXPECT_EQ(ItemText(dialog, id), margin) << id;
  DestroyWindow(dialog);

  // Consumed: the next dialog is left alone.
  okClicked = false;
  HWND second = CreateWindowExW(0, L"#32770", L"Other", WS_POPUP | WS_CAPTION, 40, 40, 200, 100, w.Form->Handle(),
                                nullptr, nullptr, nullptr);
  SetWindowLongPtrW(second, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&RecordingDialog));
  CreateWindowExW(0, L"Button", L"OK", WS_CHILD | WS_VISIBLE, 10, 10, 60, 20, second,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
  SetActiveWindow(w.Form->Handle());
  ShowWindow(second, SW_SHOW);
  SetActiveWindow(second);
  PumpFor(300);
  EXPECT_FALSE(okClicked);
  DestroyWindow(second);
}

// Printing a window that shows no page: the page-setup request cannot be
// applied and is dropped, and the print dialog that follows is the
// reader's to confirm. A request standing all the same fills only the
// page-setup dialog, never another one.
TEST_F(BrowserHost, APageSetupRequestWithoutADocumentLeavesTheNextDialogToTheReader) {
  TBrowserWindow w;
  ASSERT_EQ(w.Browser->Document(), nullptr);
  w.Browser->ApplyPageSetup(true);
  EXPECT_FALSE(TEmbeddedWB::PageSetupPending()) << "dropped: no page-setup dialog opened";
  auto openPlainDialog = [&] {
    HWND dialog = CreateWindowExW(0, L"#32770", L"Print", WS_POPUP | WS_CAPTION, 40, 40, 200, 100, w.Form->Handle(),
                                  nullptr, nullptr, nullptr);
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&RecordingDialog));
    CreateWindowExW(0, L"Button", L"OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 10, 10, 60, 20, dialog,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
    SetActiveWindow(w.Form->Handle());
    ShowWindow(dialog, SW_SHOW);
    SetActiveWindow(dialog);
    return dialog;
  };
  okClicked = false;
  HWND print = openPlainDialog();
  PumpFor(300);
  EXPECT_FALSE(okClicked) << "the print dialog waits for the reader";
  DestroyWindow(print);

  TEmbeddedWB::SetPageSetupPending(true);
  okClicked = false;
  HWND other = openPlainDialog();
  PumpFor(300);
  EXPECT_FALSE(okClicked) << "a dialog without the margin fields is not filled";
  EXPECT_TRUE(TEmbeddedWB::PageSetupPending());
  DestroyWindow(other);
  TEmbeddedWB::SetPageSetupPending(false);
}

bool HasPrinter() {
  DWORD needed = 0;
  DWORD count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count);
  return needed > 0;
}

// End to end through the browser's page-setup command and the platform's
// page-setup dialog, which only opens where a printer is installed.
TEST_P(PageSetup, DialogIsFilledAndConfirmed) {
  if (!HasPrinter()) GTEST_SKIP() << "no printer installed: the platform's page-setup dialog does not open";
  TMeasureGuard measure(GetParam());
  TPageServer server({{"/a.htm", {200, "<title>A</title>text"}}});
  TBrowserWindow w;
  EXPECT_EQ(w.Browser->MeasuresInInches(), std::wstring(GetParam()) == L"1");
  ASSERT_TRUE(w.Open(server.Url("/a.htm")));
  w.Browser->PrintOptions().Header = "Head";
  w.Browser->PrintOptions().Footer = "Foot";
  w.Browser->PrintOptions().Margins = TMargins{19.05, 12.7, 25.4, 6.35};
  // The viewer window is the active one when the user prints.
  SetActiveWindow(w.Form->Handle());
  ASSERT_EQ(GetActiveWindow(), w.Form->Handle());
  // The dialog is modal: the call returns once it was confirmed (or, when
  // the filling failed, once the watchdog cancelled it).
  TDialogWatchdog watchdog(kPatienceMs);
  w.Browser->ApplyPageSetup(true);
  EXPECT_FALSE(watchdog.Fired());
  EXPECT_FALSE(TEmbeddedWB::PageSetupPending());
  const TPlainPageSetup& setup = w.Plain().PageSetup();
  ASSERT_EQ(setup.Confirmed, 1);
  EXPECT_NEAR(setup.Left, 19.05, 0.01);
  EXPECT_NEAR(setup.Right, 12.7, 0.01);
  EXPECT_NEAR(setup.Top, 25.4, 0.01);
  EXPECT_NEAR(setup.Bottom, 6.35, 0.01);
  EXPECT_EQ(setup.Header, L"Head");
  EXPECT_EQ(setup.Footer, L"Foot");
}

INSTANTIATE_TEST_SUITE_P(Locales, PageSetup, ::testing::Values(L"0", L"1"));

bool UserAgentValueExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, TEmbeddedWB::kUserAgentKey + 1, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  wchar_t data[16] = {L'x'};
  DWORD size = sizeof data;
  DWORD type = 0;
  const bool exists = RegQueryValueExW(key, L"", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (exists) {
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data[0], L'\0');
  }
  return exists;
}

TEST_F(BrowserHost, UserAgentValueLivesWithTheHosts) {
  {
    TBrowserWindow w;
    EXPECT_TRUE(UserAgentValueExists());
  }
  EXPECT_FALSE(UserAgentValueExists());
  // Both hosts write and delete the same value: the first to go takes it.
  auto first = std::make_unique<TBrowserWindow>();
  auto second = std::make_unique<TBrowserWindow>();
  EXPECT_TRUE(UserAgentValueExists());
  first.reset();
  EXPECT_FALSE(UserAgentValueExists());
  second.reset();
  EXPECT_FALSE(UserAgentValueExists());
}

TEST_F(BrowserHost, OwnerWindowProcedureIsRestored) {
  TBrowserWindow w;
  HWND form = w.Form->Handle();
  const LONG_PTR hooked = GetWindowLongPtrW(form, GWLP_WNDPROC);
  FreeComponent(w.Browser);
  EXPECT_NE(GetWindowLongPtrW(form, GWLP_WNDPROC), hooked);
  // The form still works through its own procedure.
  w.Form->SetCaption(L"still here");
  wchar_t text[32] = {};
  GetWindowTextW(form, text, 32);
  EXPECT_STREQ(text, L"still here");
}

TEST_F(BrowserHost, FpExceptionsSwitchesTheControlWord) {
  TBrowserWindow w;
  EXPECT_TRUE(w.Browser->fpExceptions());
  EXPECT_EQ(CurrentFpuControlWord(), SavedFpuControlWord());
  w.Browser->SetfpExceptions(false);
  // The reserved bit 6 always reads as set.
  EXPECT_EQ(CurrentFpuControlWord() & ~0x40, 0x133F);
  w.Browser->SetfpExceptions(true);
  EXPECT_EQ(CurrentFpuControlWord(), SavedFpuControlWord());
}

}  // namespace

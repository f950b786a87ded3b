// Forms, the application object and timers: creation, closing with each
// close action, deferred release, adoption of the host's window, message
// pumping and error reporting.
#include "forms/forms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "forms/forms_support.h"
#include "forms/std_components.h"

namespace {

// A form that tells when it is gone.
class TWatchedForm : public TForm {
 public:
  TWatchedForm(TComponent* owner, bool& gone) : TForm(owner), gone_(gone) { gone_ = false; }
  ~TWatchedForm() override { gone_ = true; }

 private:
  bool& gone_;
};

TEST(Forms, OnCreateRunsAfterTheLayoutAndItsFailureIsReportedNotFatal) {
  TExceptionCapture capture;
  TForm form(nullptr);
  TLabel* label = nullptr;
  bool labelLoadedAtCreate = false;
  form.CreateLayout([&] {
    label = new TLabel(&form);
    label->SetName("Label1");
    label->SetParent(&form);
    form.OnCreate = [&](TObject*) {
      labelLoadedAtCreate = !label->IsLoading() && !form.IsLoading();
      label->SetCaption(L"set up");
      throw EConvertError("'80O' is not a valid integer value");
    };
  });
  EXPECT_TRUE(labelLoadedAtCreate);
  EXPECT_EQ(capture.Messages, (std::vector<std::string>{"'80O' is not a valid integer value"}));
  EXPECT_EQ(capture.Senders, (std::vector<TObject*>{&form}));
  EXPECT_EQ(label->Caption(), L"set up") << "what the handler did before failing stays";
  EXPECT_FALSE(form.HandleAllocated() && IsWindowVisible(form.Handle())) << "not shown by creation";
}

// The one test that shows a form the way the viewer does (activated).
TEST(Forms, ShownFormHasItsStateIconsClientSizeAndPlace) {
  TForm form(nullptr);
  form.SetClientSize(792, 573);
  form.SetPosition(poScreenCenter);
  form.SetWindowState(wsMaximized);
  form.Show();
  EXPECT_TRUE(IsZoomed(form.Handle())) << "the state applies when the form is shown";

  TBytesStream icon(IconFile({16, 32, 48}, 0x00FF00));
  form.Icon().LoadFromStream(icon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_BIG, 0)), form.Icon().Handle());
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_SMALL, 0)), form.Icon().SmallHandle());

  form.SetWindowState(wsNormal);
  EXPECT_FALSE(IsZoomed(form.Handle()));
  RECT client{};
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, 792);
  EXPECT_EQ(client.bottom, 573);
  RECT window{};
  GetWindowRect(form.Handle(), &window);
  EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2);
  EXPECT_EQ(form.Left(), window.left);
  EXPECT_EQ(form.Width(), window.right - window.left);
}

struct TCloseCase {
  TCloseAction Action;
  bool Visible;     // after the close
  bool GoneAtOnce;  // destroyed before the message loop ran
  bool GoneLater;   // destroyed after it ran
};

class FormCloseTest : public ::testing::TestWithParam<TCloseCase> {};

TEST_P(FormCloseTest, WmCloseFromOutsideAppliesTheCloseAction) {
  const TCloseCase& c = GetParam();
  bool gone = false;
  auto* form = new TWatchedForm(Application, gone);
  form->OnClose = [&](TObject*, TCloseAction& action) {
    EXPECT_EQ(action, caHide) << "hiding is the default";
    action = c.Action;
  };
  ShowWithoutActivating(*form);
  HWND window = form->Handle();
  ASSERT_TRUE(IsWindowVisible(window));
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(gone, c.GoneAtOnce);
  if (!gone) {
    EXPECT_EQ(IsWindowVisible(window) != FALSE, c.Visible);
    if (c.Action == caMinimize) {
      EXPECT_EQ(form->WindowState(), wsMinimized);
    }
  }
  Application->ProcessMessages();
  EXPECT_EQ(gone, c.GoneLater);
  EXPECT_EQ(IsWindow(window) != FALSE, !c.GoneLater);
  if (!gone) delete form;
}

INSTANTIATE_TEST_SUITE_P(Actions, FormCloseTest,
                         ::testing::Values(TCloseCase{caNone, true, false, false},
                                           TCloseCase{caHide, false, false, false},
                                           TCloseCase{caMinimize, true, false, false},
                                           TCloseCase{caFree, false, false, true}));

TEST(Forms, CloseQueryCanRefuse) {
  TForm form(nullptr);
  bool closeCalled = false;
  form.OnCloseQuery = [](TObject*, bool& canClose) { canClose = false; };
  form.OnClose = [&](TObject*, TCloseAction&) { closeCalled = true; };
  ShowWithoutActivating(form);
  PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
  Application->ProcessMessages();
  EXPECT_FALSE(closeCalled);
  EXPECT_TRUE(IsWindowVisible(form.Handle()));
}

// The viewer's search pumps messages inside a click handler; a release of
// the form meanwhile must wait until that handler has returned.
TEST(Forms, ReleaseWaitsForEveryHandlerOfTheFormEvenAcrossNestedLoops) {
  bool gone = false;
  auto* form = new TWatchedForm(Application, gone);
  ShowWithoutActivating(*form);
  auto* panel = new TCustomControl(form);
  panel->SetParent(form);
  panel->SetBounds(0, 0, 100, 100);
  bool aliveAfterNestedLoop = false;
  panel->OnClick = [&](TObject*) {
    form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
    form->Close();
    PumpFor(50);  // the release message is dispatched in here
    aliveAfterNestedLoop = !gone;
  };
  SendMessageW(panel->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(panel->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(aliveAfterNestedLoop);
  EXPECT_TRUE(gone) << "destroyed as soon as the outermost handler returned";
  EXPECT_EQ(Application->ComponentCount(), 0);
}

void RegisterHostClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.lpszClassName = L"FormsTestHost";
  RegisterClassExW(&windowClass);
}

TEST(Application, AdoptsTheHostWindowOnlyByTheRules) {
  RegisterHostClass();
  HWND host = CreateWindowExW(0, L"FormsTestHost", L"Host title", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                              nullptr, nullptr);
  HWND other = CreateWindowExW(0, L"FormsTestHost", L"Other", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(host, nullptr);
  const ULONG_PTR classIcon = GetClassLongPtrW(host, GCLP_HICON);

  Application->SetHandle(host);
  EXPECT_EQ(Application->Handle(), host);
  EXPECT_EQ(Application->Title(), L"Host title");
  TForm owned(nullptr);
  EXPECT_EQ(GetWindow(owned.Handle(), GW_OWNER), host) << "forms are owned by the adopted window";

  TBytesStream icon(IconFile({32, 16}, 0x336699));
  Application->Icon().LoadFromStream(icon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(host, WM_GETICON, ICON_BIG, 0)), Application->Icon().Handle());
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(host, GCLP_HICON)), Application->Icon().Handle());
  Application->SetHandle(host);  // the same window: nothing is released
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(host, WM_GETICON, ICON_BIG, 0)), Application->Icon().Handle());

  Application->SetHandle(other);  // the previous window is released first
  EXPECT_EQ(Application->Handle(), other);
  EXPECT_EQ(SendMessageW(host, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_EQ(GetClassLongPtrW(host, GCLP_HICON), classIcon);

  Application->SetHandle(nullptr);
  EXPECT_EQ(Application->Handle(), nullptr);
  TForm unowned(nullptr);
  EXPECT_EQ(GetWindow(unowned.Handle(), GW_OWNER), nullptr);

  Application->CreateHandle();  // a main window of its own: nothing is adopted
  HWND own = Application->Handle();
  Application->SetHandle(host);
  EXPECT_EQ(Application->Handle(), own);
  Application->DestroyHandle();
  Application->Icon().Clear();
  EXPECT_EQ(Application->Handle(), nullptr);
  DestroyWindow(host);
  DestroyWindow(other);
}

TEST(Application, ExceptionMessagesAreTheMessageText) {
  auto message = [](auto thrower) {
    try {
      thrower();
    } catch (...) {
      return TApplication::ExceptionMessage(std::current_exception());
    }
    return std::string("nothing thrown");
  };
  EXPECT_EQ(message([] { throw EReadError("Stream read error"); }), "Stream read error");
  EXPECT_EQ(message([] { throw std::runtime_error("plain"); }), "plain");
  EXPECT_EQ(message([] { throw 42; }), "Unknown exception");
}

TEST(Timers, FireOnTheMessageLoopStopAndReportFailures) {
  TExceptionCapture capture;
  TComponent owner(nullptr);
  auto* fast = new TTimer(&owner);
  auto* other = new TTimer(&owner);
  int fastTicks = 0, otherTicks = 0;
  fast->OnTimer = [&](TObject*) { ++fastTicks; };
  other->OnTimer = [&](TObject*) { ++otherTicks; };
  fast->SetInterval(10);
  other->SetInterval(15);
  EXPECT_TRUE(PumpUntil([&] { return fastTicks >= 3 && otherTicks >= 2; }));

  fast->SetEnabled(false);
  const int stopped = fastTicks;
  PumpFor(60);
  EXPECT_EQ(fastTicks, stopped);

  // A timer may free itself in its own handler; a failure is reported with
  // the timer as sender.
  other->OnTimer = [&](TObject*) {
    ++otherTicks;
    FreeComponent(other);
    throw Exception("timer failed");
  };
  EXPECT_TRUE(PumpUntil([&] { return other == nullptr; }));
  PumpFor(40);
  EXPECT_EQ(capture.Messages, (std::vector<std::string>{"timer failed"}));
  EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST(Application, RunUntilKeepsAQuitForTheHostsLoop) {
  TComponent owner(nullptr);
  auto* timer = new TTimer(&owner);
  timer->SetInterval(10);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) {
    if (++ticks == 1) PostQuitMessage(7);
  };
  Application->RunUntil([&] { return ticks >= 3; });
  EXPECT_EQ(ticks, 3) << "the loop went on after the quit";
  timer->SetEnabled(false);
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
}

// What came up in the first dialog or message box of this thread since
// seen was cleared; the dialog is then cancelled.
struct TSeenDialog {
  HWND Window = nullptr;
  std::wstring Caption;
  std::vector<std::wstring> Texts;
  HICON Icon = nullptr;
} seen;

BOOL CALLBACK NoteChild(HWND child, LPARAM) {
  wchar_t text[512] = {};
  GetWindowTextW(child, text, 512);
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    seen.Icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
  } else if (text[0] != 0) {
    seen.Texts.push_back(text);
  }
  return TRUE;
}

// Read once the dialog has set itself up (it is activated before that).
void CALLBACK ReadAndCancel(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  wchar_t caption[512] = {};
  GetWindowTextW(seen.Window, caption, 512);
  seen.Caption = caption;
  EnumChildWindows(seen.Window, NoteChild, 0);
  PostMessageW(seen.Window, WM_COMMAND, IDCANCEL, 0);
}

LRESULT CALLBACK CancelDialogs(int code, WPARAM wParam, LPARAM lParam) {
  wchar_t name[16] = {};
  if (code == HCBT_ACTIVATE && seen.Window == nullptr && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16) > 0 &&
      std::wstring(name) == L"#32770") {
    seen.Window = reinterpret_cast<HWND>(wParam);
    SetTimer(nullptr, 0, 20, ReadAndCancel);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(Dialogs, ErrorBoxShowsTheMessageUnderTheApplicationTitle) {
  seen = TSeenDialog{};
  HHOOK hook = SetWindowsHookExW(WH_CBT, CancelDialogs, nullptr, GetCurrentThreadId());
  Application->SetTitle(L"My eBook");
  Application->ShowException("'12x' is not a valid integer value");
  Application->SetTitle(L"");
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(seen.Caption, L"My eBook");
  EXPECT_NE(std::find(seen.Texts.begin(), seen.Texts.end(), L"'12x' is not a valid integer value"), seen.Texts.end());
  EXPECT_EQ(seen.Icon, LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_ERROR)));
}

TEST(Dialogs, PrintDialogReportsCancel) {
  seen = TSeenDialog{};
  HHOOK hook = SetWindowsHookExW(WH_CBT, CancelDialogs, nullptr, GetCurrentThreadId());
  TPrintDialog dialog(nullptr);
  EXPECT_FALSE(dialog.Execute());
  UnhookWindowsHookEx(hook);
}

}  // namespace

#include "forms/forms.h"

#include <algorithm>
#include <map>
#include <new>
#include <vector>

#include "forms/forms_internal.h"
#include "runtime/ansi.h"
#include "runtime/scope_exit.h"

namespace {

HINSTANCE FindModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&FindModuleInstance), &module);
  return module;
}

LRESULT CALLBACK UtilityWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// The window classes the framework registered and its one hidden message
// window (timers). Defined before the application object, so it is destroyed
// after it: components freed with the application still stop their timers.
class TFrameworkWindows {
 public:
  TFrameworkWindows() = default;
  // The units whose handlers are registered may be gone by now (static
  // objects end in the reverse order of their making): only the
  // framework's own window and classes are released here.
  ~TFrameworkWindows() {
    releaseHandlers_.clear();
    Release();
  }
  TFrameworkWindows(const TFrameworkWindows&) = delete;
  TFrameworkWindows& operator=(const TFrameworkWindows&) = delete;

  void Register(const std::wstring& name, UINT style, WNDPROC procedure) {
    if (std::find(classes_.begin(), classes_.end(), name) != classes_.end()) return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ModuleInstance();
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = name.c_str();
    // A class left registered by an earlier load of this module at the same
    // address has the same procedure; it is used as it is.
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      throw EOutOfResources("Out of system resources");
    }
    classes_.push_back(name);
  }

  UINT_PTR StartTimer(TObject* sender, unsigned interval, std::function<void()> tick) {
    HWND window = Utility();
    const UINT_PTR id = nextTimer_++;
    if (SetTimer(window, id, interval, nullptr) == 0) throw EOutOfResources("Not enough timers available");
    timers_[id] = TTimerEntry{sender, std::move(tick)};
    return id;
  }

  void AddReleaseHandler(std::function<void()> release) { releaseHandlers_.push_back(std::move(release)); }

  void Release() {
    // A handler may make nothing new, but one may register again while the
    // others run: the list is taken first.
    std::vector<std::function<void()>> handlers = std::move(releaseHandlers_);
    releaseHandlers_.clear();
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
      try {
        (*it)();
      } catch (...) {
        // Releasing goes on whatever one unit does.
      }
    }
    timers_.clear();
    if (utility_ != nullptr) {
      DestroyWindow(utility_);
      utility_ = nullptr;
    }
    for (const std::wstring& name : classes_) UnregisterClassW(name.c_str(), ModuleInstance());
    classes_.clear();
  }

  void StopTimer(UINT_PTR id) {
    if (timers_.erase(id) != 0 && utility_ != nullptr) KillTimer(utility_, id);
  }

  void Tick(UINT_PTR id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    // A copy: the tick may stop or free its own timer.
    TTimerEntry entry = it->second;
    EnterDispatch();
    try {
      entry.Tick();
    } catch (...) {
      Application->HandleException(entry.Sender);
    }
    LeaveDispatch();
  }

 private:
  struct TTimerEntry {
    TObject* Sender = nullptr;
    std::function<void()> Tick;
  };

  HWND Utility() {
    if (utility_ == nullptr) {
      Register(L"EbookUtilityWindow", 0, UtilityWindowProc);
      utility_ = CreateWindowExW(0, L"EbookUtilityWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(),
                                 nullptr);
      if (utility_ == nullptr) throw EOutOfResources("Out of system resources");
    }
    return utility_;
  }

  std::vector<std::wstring> classes_;
  std::vector<std::function<void()>> releaseHandlers_;
  HWND utility_ = nullptr;
  std::map<UINT_PTR, TTimerEntry> timers_;
  UINT_PTR nextTimer_ = 1;
};

TFrameworkWindows frameworkWindows;
TApplication applicationObject;

LRESULT CALLBACK UtilityWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER) {
    frameworkWindows.Tick(wParam);
    return 0;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

// The platform styles of a form's frame.
void FormStyles(TFormBorderStyle border, TBorderIcons icons, DWORD& style, DWORD& exStyle) {
  style = WS_CLIPCHILDREN;
  exStyle = 0;
  switch (border) {
    case bsNone: style |= WS_POPUP; return;
    case bsSingle: style |= WS_CAPTION; break;
    case bsSizeable: style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
      style |= WS_POPUP | WS_CAPTION;
      exStyle |= WS_EX_DLGMODALFRAME;
      break;
  }
  if (icons & biSystemMenu) {
    style |= WS_SYSMENU;
    if (border != bsDialog) {
      if (icons & biMinimize) style |= WS_MINIMIZEBOX;
      if (icons & biMaximize) style |= WS_MAXIMIZEBOX;
    }
  }
}

constexpr DWORD kFrameStyles =
    WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_BORDER | WS_DLGFRAME;

}  // namespace

TApplication* Application = &applicationObject;

namespace {

std::map<HWND, TKeyFilter>& KeyFilters() {
  static std::map<HWND, TKeyFilter> filters;
  return filters;
}

// The filter of the nearest window up from the message's target that has
// one decides; a copy runs, so that it may remove itself.
bool OfferToKeyFilter(MSG& message) {
  const UINT msg = message.message;
  if (msg != WM_KEYDOWN && msg != WM_KEYUP && msg != WM_CHAR && msg != WM_DEADCHAR) return false;
  auto& filters = KeyFilters();
  if (filters.empty()) return false;
  for (HWND window = message.hwnd; window != nullptr; window = GetAncestor(window, GA_PARENT)) {
    auto found = filters.find(window);
    if (found != filters.end()) {
      TKeyFilter filter = found->second;
      return filter(message);
    }
  }
  return false;
}

}  // namespace

void SetKeyFilter(HWND window, TKeyFilter filter) {
  if (filter) {
    KeyFilters()[window] = std::move(filter);
  } else {
    KeyFilters().erase(window);
  }
}

HINSTANCE ModuleInstance() {
  static const HINSTANCE instance = FindModuleInstance();
  return instance;
}

void RegisterFrameworkClass(const std::wstring& name, UINT style, WNDPROC procedure) {
  frameworkWindows.Register(name, style, procedure);
}

void AddReleaseHandler(std::function<void()> release) { frameworkWindows.AddReleaseHandler(std::move(release)); }

void ReleaseFrameworkResources() { frameworkWindows.Release(); }

UINT_PTR StartUtilityTimer(TObject* sender, unsigned interval, std::function<void()> tick) {
  return frameworkWindows.StartTimer(sender, interval, std::move(tick));
}

void StopUtilityTimer(UINT_PTR id) { frameworkWindows.StopTimer(id); }

// ---- TForm -------------------------------------------------------------------

TForm::TForm(TComponent* owner) : TCustomControl(owner) {
  SetVisible(false);
  SetBounds(0, 0, 320, 240);
  icon_.OnChange = [this](TObject*) { ApplyIcons(); };
}

TForm::~TForm() {
  // The components may still reach the form's own parts while they go.
  Destroying();
  DestroyComponents();
}

void TForm::CreateLayout(const std::function<void()>& create) {
  LoadComponents(create);
  if (!OnCreate) return;
  try {
    OnCreate(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

void TForm::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  DWORD style, exStyle;
  FormStyles(borderStyle_, borderIcons_, style, exStyle);
  if (!Enabled()) style |= WS_DISABLED;
  params.Style = style;
  params.ExStyle = exStyle;
  HWND owner = Application->Handle();
  params.WndParent = (owner != nullptr && IsWindow(owner)) ? owner : nullptr;
  params.ClassName = L"EbookForm";
}

void TForm::HandleCreated() { ApplyIcons(); }

TRect TForm::ClientRect() const {
  if (HandleAllocated()) return TCustomControl::ClientRect();
  DWORD style, exStyle;
  FormStyles(borderStyle_, borderIcons_, style, exStyle);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  return TRect{0, 0, std::max(0, Width() - static_cast<int>(frame.right - frame.left)),
               std::max(0, Height() - static_cast<int>(frame.bottom - frame.top))};
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  if (style == borderStyle_) return;
  borderStyle_ = style;
  ApplyStyle();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
  if (icons == borderIcons_) return;
  borderIcons_ = icons;
  ApplyStyle();
}

// The frame is changed in place: the window (and what hooks it) stays.
void TForm::ApplyStyle() {
  if (!HandleAllocated()) return;
  DWORD style, exStyle;
  FormStyles(borderStyle_, borderIcons_, style, exStyle);
  HWND window = Handle();
  const DWORD oldStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  const DWORD oldExStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
  SetWindowLongW(window, GWL_STYLE, static_cast<LONG>((oldStyle & ~kFrameStyles) | style));
  SetWindowLongW(window, GWL_EXSTYLE, static_cast<LONG>((oldExStyle & ~WS_EX_DLGMODALFRAME) | exStyle));
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::ApplyIcons() {
  if (!HandleAllocated()) return;
  HICON large = icon_.Handle();
  HICON small = icon_.SmallHandle();
  if (large == nullptr) {
    large = Application->Icon().Handle();
    small = Application->Icon().SmallHandle();
  }
  if (large == nullptr) large = small = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void TForm::SetVisible(bool visible) {
  if (!visible) {
    TControl::SetVisible(false);
    if (HandleAllocated()) ShowWindow(Handle(), SW_HIDE);
    return;
  }
  HWND window = Handle();
  if (!positioned_) {
    positioned_ = true;
    if (position_ == poScreenCenter) {
      SetBounds((GetSystemMetrics(SM_CXSCREEN) - Width()) / 2, (GetSystemMetrics(SM_CYSCREEN) - Height()) / 2, Width(),
                Height());
    }
  }
  TControl::SetVisible(true);
  if (!IsWindowVisible(window)) {
    ShowWindow(window, windowState_ == wsMaximized   ? SW_SHOWMAXIMIZED
                       : windowState_ == wsMinimized ? SW_SHOWMINIMIZED
                                                     : SW_SHOWNORMAL);
  }
}

void TForm::Show() {
  SetVisible(true);
  BringWindowToTop(Handle());
}

void TForm::SetWindowState(TWindowState state) {
  if (state == windowState_) return;
  windowState_ = state;
  if (HandleAllocated() && Visible()) {
    ShowWindow(Handle(), state == wsMaximized ? SW_MAXIMIZE : state == wsMinimized ? SW_MINIMIZE : SW_RESTORE);
  }
}

void TForm::Close() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  switch (action) {
    case caNone: break;
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
  }
}

void TForm::Release() {
  // Gone from the screen now; the object goes when the message arrives.
  Hide();
  PostMessageW(Handle(), CM_RELEASE, 0, 0);
}

void TForm::SetActiveControl(TWinControl* control) {
  activeControl_ = control;
  if (control != nullptr && Showing() && control->CanFocus()) control->SetFocus();
}

void TForm::ForgetControl(TWinControl* control) {
  for (TControl* c = activeControl_; c != nullptr; c = c->Parent()) {
    if (c == control) {
      activeControl_ = nullptr;
      return;
    }
  }
}

bool TForm::IsShortCut(const MSG& message) {
  bool handled = false;
  if (OnShortCut) OnShortCut(message, handled);
  return handled;
}

void TForm::Paint() {}

void TForm::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_CLOSE:
      // Closing is the form's decision (OnCloseQuery, OnClose); the window
      // is never destroyed by the platform's default handling.
      Close();
      message.Result = 0;
      return;
    case WM_SIZE:
      if (Visible()) {
        if (message.WParam == SIZE_MAXIMIZED) windowState_ = wsMaximized;
        if (message.WParam == SIZE_MINIMIZED) windowState_ = wsMinimized;
        if (message.WParam == SIZE_RESTORED) windowState_ = wsNormal;
      }
      break;
    case WM_SETFOCUS:
      if (activeControl_ != nullptr && activeControl_ != this && activeControl_->CanFocus()) {
        activeControl_->SetFocus();
        return;
      }
      break;
  }
  TCustomControl::WndProc(message);
}

// ---- TApplication ------------------------------------------------------------

TApplication::TApplication() : TComponent(nullptr) {
  icon_.OnChange = [this](TObject*) { ApplyIcon(); };
}

TApplication::~TApplication() {
  Destroying();
  DestroyComponents();
  ReleaseAdopted();
  DestroyHandle();
}

void TApplication::SetHandle(HWND handle) {
  if (ownHandle_ || handle == handle_) return;
  ReleaseAdopted();
  handle_ = handle;
}

void TApplication::ReleaseAdopted() {
  if (ownHandle_ || handle_ == nullptr) return;
  if (iconApplied_ && IsWindow(handle_)) {
    SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(previousBigIcon_));
    SetClassLongPtrW(handle_, GCLP_HICON, static_cast<LONG_PTR>(previousClassIcon_));
  }
  iconApplied_ = false;
  handle_ = nullptr;
}

void TApplication::CreateHandle() {
  if (ownHandle_) return;
  ReleaseAdopted();
  RegisterFrameworkClass(L"EbookApplication", 0, DefWindowProcW);
  const std::wstring title = Title();
  handle_ = CreateWindowExW(0, L"EbookApplication", title.c_str(),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, nullptr,
                            nullptr, ModuleInstance(), nullptr);
  if (handle_ == nullptr) throw EOutOfResources("Out of system resources");
  ownHandle_ = true;
  ApplyIcon();
}

void TApplication::DestroyHandle() {
  if (!ownHandle_) return;
  DestroyWindow(handle_);
  handle_ = nullptr;
  ownHandle_ = false;
}

std::wstring TApplication::Title() const {
  if (!title_.empty()) return title_;
  if (handle_ != nullptr) {
    const int length = GetWindowTextLengthW(handle_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(handle_, text.data(), length + 1)));
    if (!text.empty()) return text;
  }
  // The program's file name without its extension.
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name = path;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  const size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

void TApplication::SetTitle(std::wstring_view title) {
  title_ = title;
  // An adopted window keeps its own caption.
  if (ownHandle_) SetWindowTextW(handle_, title_.c_str());
}

void TApplication::ApplyIcon() {
  if (handle_ == nullptr || !IsWindow(handle_)) return;
  HICON large = icon_.Handle();
  if (large == nullptr) {
    // Cleared: the window shows what it had before.
    if (iconApplied_) {
      SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(previousBigIcon_));
      SetClassLongPtrW(handle_, GCLP_HICON, static_cast<LONG_PTR>(previousClassIcon_));
      iconApplied_ = false;
    }
    return;
  }
  if (!ownHandle_ && !iconApplied_) {
    previousBigIcon_ = reinterpret_cast<HICON>(SendMessageW(handle_, WM_GETICON, ICON_BIG, 0));
    previousClassIcon_ = GetClassLongPtrW(handle_, GCLP_HICON);
    iconApplied_ = true;
  }
  SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  SetClassLongPtrW(handle_, GCLP_HICON, reinterpret_cast<LONG_PTR>(large));
}

bool TApplication::ProcessMessage(MSG& message) {
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    terminated_ = true;
    quitCode_ = message.wParam;
    return true;
  }
  // The whole handling of one message counts as a handler of the
  // framework, whoever's window procedure or key handling runs in it: a
  // form released meanwhile (a menu's loop dispatched its close, say) is
  // destroyed once everything that may still use it has returned.
  EnterDispatch();
  const TScopeExit leave([] { LeaveDispatch(); });
  bool handled = false;
  try {
    if (OnMessage) OnMessage(message, handled);
    if (!handled) handled = IsKeyMessage(message);
    if (!handled) handled = IsWheelMessage(message);
    if (!handled) handled = OfferToKeyFilter(message);
  } catch (...) {
    HandleException(this);
    handled = true;
  }
  if (!handled) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

namespace {

// The form a message is aimed at: the form of the nearest window up from
// its target that the framework made, so that a window it did not make (an
// embedded control's) counts for the form around it.
TForm* FormOfMessage(const MSG& message) {
  TWinControl* control = nullptr;
  for (HWND window = message.hwnd; window != nullptr && control == nullptr; window = GetAncestor(window, GA_PARENT)) {
    control = FindControl(window);
  }
  return control != nullptr ? GetParentForm(control) : nullptr;
}

}  // namespace

// A key press inside a form, even in a window the framework did not make
// (an embedded control's), is offered to the form's shortcuts first.
bool TApplication::IsKeyMessage(const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  TForm* form = FormOfMessage(message);
  return form != nullptr && form->IsShortCut(message);
}

bool TApplication::IsWheelMessage(const MSG& message) {
  if (message.message != WM_MOUSEWHEEL) return false;
  TForm* form = FormOfMessage(message);
  if (form == nullptr || !form->OnMouseWheelShortCut) return false;
  bool handled = false;
  form->OnMouseWheelShortCut(message, handled);
  return handled;
}

void TApplication::ProcessMessages() {
  MSG message;
  while (ProcessMessage(message)) {
  }
}

void TApplication::HandleMessage() {
  MSG message;
  if (!ProcessMessage(message)) WaitMessage();
}

void TApplication::RunUntil(const std::function<bool()>& finished) {
  terminated_ = false;
  for (;;) {
    ProcessMessages();
    if (finished()) break;
    WaitMessage();
  }
  if (terminated_) PostQuitMessage(static_cast<int>(quitCode_));
}

std::string TApplication::ExceptionMessage(std::exception_ptr exception) {
  try {
    std::rethrow_exception(exception);
  } catch (const Exception& e) {
    return e.Message;
  } catch (const std::bad_alloc&) {
    return "Out of memory";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

void TApplication::HandleException(TObject* sender) {
  std::exception_ptr exception = std::current_exception();
  if (!exception) return;
  // Reporting must not fail into the platform either.
  try {
    const std::string message = ExceptionMessage(exception);
    if (OnException) {
      OnException(sender, message);
    } else {
      ShowException(message);
    }
  } catch (...) {
  }
}

void TApplication::ShowException(const std::string& message) {
  HWND owner = GetActiveWindow();
  if (owner == nullptr) owner = handle_;
  const std::wstring text = AnsiToWide(message);
  const std::wstring title = Title();
  UINT flags = MB_OK | MB_ICONERROR;
  if (owner == nullptr) flags |= MB_TASKMODAL;
  MessageBoxW(owner, text.c_str(), title.c_str(), flags);
}

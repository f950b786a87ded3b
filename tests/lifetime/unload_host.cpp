// A host that loads the viewer library itself, shows a book, unloads the
// library and looks at what is left in its process: no window and no
// window class of the library may outlive the call, nor its unloading. Then
// it loads the library again and shows the book once more, which must work
// as the first time.
//
// The first run opens the "eBook" menu of the bar and chooses "Close", so
// that every window the library makes on demand (the pop-up, the menus'
// click handler) has existed; the second closes the window from outside.
//
//   unload_host            exit 0 when both runs ended normally and left
//                          nothing behind; the findings go to stderr
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "archive/book_file.h"
#include "lifetime/book_files.h"

namespace {

using TShowEbook = void(WINAPI*)(const void*, HWND);

int failures = 0;

void Fail(const std::string& text) {
  std::fprintf(stderr, "FAIL: %s\n", text.c_str());
  ++failures;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
  reinterpret_cast<std::set<HWND>*>(data)->insert(window);
  return TRUE;
}

// Every top-level and message-only window of this process.
std::set<HWND> ProcessWindows() {
  std::set<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window != nullptr;
       window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) windows.insert(window);
  }
  return windows;
}

// A window made meanwhile whose class comes from the library or from this
// program (where the library might have registered one under the host's
// instance) is the library's. Windows of the platform's own modules (the
// OLE apartment's, the input method's) are not: the platform keeps them as
// it sees fit.
void ExpectNoneLeft(const std::set<HWND>& before, HINSTANCE library, const char* when) {
  for (HWND window : ProcessWindows()) {
    if (before.count(window) != 0) continue;
    const auto module = reinterpret_cast<HINSTANCE>(GetClassLongPtrW(window, GCLP_HMODULE));
    if (module != library && module != GetModuleHandleW(nullptr)) {
      std::fprintf(stderr, "%s: the platform's window of class %s is left to the platform\n", when,
                   Narrow(ClassOf(window)).c_str());
      continue;
    }
    Fail(std::string(when) + ": a window of class " + Narrow(ClassOf(window)) + " remains");
  }
}

// The classes the library registers for its windows.
const wchar_t* const kLibraryClasses[] = {L"EbookForm",        L"EbookControl",      L"EbookBrowserHost",
                                          L"EbookPlainBrowser", L"EbookUtilityWindow", L"EbookSkHookList",
                                          L"TSkPopupWindow",   L"TSkMenuClickHandler", L"TskThemeManagerWindow"};

void ExpectNoClassLeft(HINSTANCE library, const char* when) {
  for (const wchar_t* name : kLibraryClasses) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    if (GetClassInfoExW(library, name, &info) || GetClassInfoExW(GetModuleHandleW(nullptr), name, &info)) {
      Fail(std::string(when) + ": the class " + Narrow(name) + " is still registered");
    }
  }
}

// ---- driving the viewer from a thread timer inside ShowEbook's loop ----------

struct TDriver {
  bool UseMenu = false;
  int Step = 0;
  DWORD Started = 0;
  bool TimedOut = false;
};
TDriver driver;

struct TFind {
  const wchar_t* Name;
  HWND Found;
};

BOOL CALLBACK FindByClass(HWND window, LPARAM data) {
  auto* find = reinterpret_cast<TFind*>(data);
  if (ClassOf(window) == find->Name && IsWindowVisible(window)) {
    find->Found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindVisible(const wchar_t* className) {
  TFind find{className, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &FindByClass, reinterpret_cast<LPARAM>(&find));
  return find.Found;
}

// The menu bar: the viewer window's first child whose height is a menu
// bar's, at the top of the client area.
HWND FindMenuBar(HWND viewer) {
  for (HWND child = GetWindow(viewer, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    POINT origin{0, 0};
    ClientToScreen(viewer, &origin);
    if (r.top == origin.y && r.bottom - r.top < 40 && IsWindowVisible(child)) return child;
  }
  return nullptr;
}

void CALLBACK Drive(HWND, UINT, UINT_PTR, DWORD) {
  if (GetTickCount() - driver.Started > 60000) {
    // Stuck: the window is closed from outside so that the call ends.
    if (!driver.TimedOut) {
      driver.TimedOut = true;
      if (HWND viewer = FindVisible(L"EbookForm")) PostMessageW(viewer, WM_CLOSE, 0, 0);
    }
    return;
  }
  HWND viewer = FindVisible(L"EbookForm");
  switch (driver.Step) {
    case 0:
      if (viewer == nullptr) return;
      if (!driver.UseMenu) {
        PostMessageW(viewer, WM_CLOSE, 0, 0);
        driver.Step = 3;
        return;
      }
      if (HWND bar = FindMenuBar(viewer)) {
        RECT r{};
        GetClientRect(bar, &r);
        // "eBook", the bar's first entry.
        PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, r.bottom / 2));
        driver.Step = 1;
      }
      return;
    case 1:
      if (FindVisible(L"TSkPopupWindow") == nullptr) return;
      // Up wraps from the first entry to the last, "Close"; Enter chooses it.
      PostMessageW(viewer, WM_KEYDOWN, VK_UP, 1);
      PostMessageW(viewer, WM_KEYDOWN, VK_RETURN, 1);
      driver.Step = 2;
      return;
    default: return;
  }
}

bool RunOnce(const std::wstring& libraryPath, const std::vector<uint8_t>& book, HWND host, bool useMenu,
             HINSTANCE& instance) {
  HMODULE library = LoadLibraryW(libraryPath.c_str());
  if (library == nullptr) {
    Fail("the library cannot be loaded");
    return false;
  }
  instance = library;
  auto show = reinterpret_cast<TShowEbook>(reinterpret_cast<void*>(GetProcAddress(library, "ShowEbook")));
  if (show == nullptr) {
    Fail("no ShowEbook");
    FreeLibrary(library);
    return false;
  }
  driver = TDriver{useMenu, 0, GetTickCount(), false};
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &Drive);
  SetEnvironmentVariableW(L"EBOOKVIEW_ERROR", nullptr);
  show(book.data(), host);
  KillTimer(nullptr, timer);
  if (driver.TimedOut) Fail(useMenu ? "the window was not closed through its menu" : "the window did not close");
  if (useMenu && driver.Step < 2) Fail("the menu was not opened");
  wchar_t error[512] = {};
  if (GetEnvironmentVariableW(L"EBOOKVIEW_ERROR", error, 512) > 0) Fail("ShowEbook reported: " + Narrow(error));
  if (!FreeLibrary(library)) Fail("FreeLibrary failed");
  return true;
}

}  // namespace

int main() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder = self;
  folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
  const std::wstring libraryPath = folder + L"ebookview.dll";

  TArchiveBuilder builder;
  builder.Add("config.ini", "[params]\r\ntitle=Unload Test\r\nstart=index.htm\r\nResolution=640x480\r\n[Icon]\r\nBitmap=" +
                                Hex(IconFile()) + "\r\n");
  builder.Add("index.htm", "<html><head><title>Start</title></head><body><p>Welcome</p></body></html>");
  const std::vector<uint8_t> book = builder.Build();

  WNDCLASSW hostClass{};
  hostClass.lpfnWndProc = DefWindowProcW;
  hostClass.hInstance = GetModuleHandleW(nullptr);
  hostClass.lpszClassName = L"UnloadTestHost";
  RegisterClassW(&hostClass);
  HWND host = CreateWindowExW(0, L"UnloadTestHost", L"host", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  const std::set<HWND> before = ProcessWindows();

  for (int run = 0; run < 2; ++run) {
    const char* when = run == 0 ? "after the first run" : "after the second run";
    HINSTANCE instance = nullptr;
    if (!RunOnce(libraryPath, book, host, run == 0, instance)) break;
    ExpectNoneLeft(before, instance, when);
    // OLE was balanced: the thread may choose another apartment now.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (apartment != S_OK) Fail(std::string(when) + ": OLE is still initialised on the thread");
    if (SUCCEEDED(apartment)) CoUninitialize();
    ExpectNoClassLeft(instance, when);
  }
  DestroyWindow(host);
  if (failures == 0) std::fprintf(stderr, "both runs ended and left nothing behind\n");
  return failures == 0 ? 0 : 1;
}

#include "graphics/sk_api_win.h"

#include <mutex>

namespace {

template <typename T>
T Bind(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The one lock of the skin library: it guards loading, counting and freeing
// of the visual-style library and the entry points bound from it.
struct TVisualStyleState {
  std::mutex Lock;
  HMODULE Module = nullptr;
  int Count = 0;
  bool Active = false;
  TskVisualStyleFunctions Functions;
};

TVisualStyleState& VisualStyleState() {
  static TVisualStyleState state;
  return state;
}

bool ComputeActive(const TskVisualStyleFunctions& functions) {
  return functions.IsAppThemed != nullptr && functions.IsThemeActive != nullptr && functions.IsAppThemed() &&
         functions.IsThemeActive();
}

RECT WholeScreen() {
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

RECT SingleMonitorArea(bool workAreaWanted) {
  RECT area{};
  if (workAreaWanted && SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return area;
  return WholeScreen();
}

RECT MonitorArea(HMONITOR monitor, bool workAreaWanted) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor == nullptr || !PlatformFunctions().GetMonitorInfoA(monitor, &info)) {
    return SingleMonitorArea(workAreaWanted);
  }
  return workAreaWanted ? info.rcWork : info.rcMonitor;
}

TskPlatformFunctions BindPlatformFunctions() {
  TskPlatformFunctions f;
  const DWORD version = GetVersion();
  f.IsNT = (version & 0x80000000u) == 0;
  f.IsVersion4 = (version & 0xFF) == 4;

  HMODULE user32 = GetModuleHandleA("user32.dll");
  f.SetLayeredWindowAttributes = Bind<decltype(f.SetLayeredWindowAttributes)>(user32, "SetLayeredWindowAttributes");
  f.UpdateLayeredWindow = Bind<decltype(f.UpdateLayeredWindow)>(user32, "UpdateLayeredWindow");
  f.LayeredWindows = f.SetLayeredWindowAttributes != nullptr;
  f.MonitorFromRect = Bind<decltype(f.MonitorFromRect)>(user32, "MonitorFromRect");
  f.MonitorFromPoint = Bind<decltype(f.MonitorFromPoint)>(user32, "MonitorFromPoint");
  f.MonitorFromWindow = Bind<decltype(f.MonitorFromWindow)>(user32, "MonitorFromWindow");
  f.GetMonitorInfoA = Bind<decltype(f.GetMonitorInfoA)>(user32, "GetMonitorInfoA");
  f.MultiMonitor = GetSystemMetrics(SM_CMONITORS) > 1 && f.MonitorFromRect && f.MonitorFromPoint &&
                   f.MonitorFromWindow && f.GetMonitorInfoA;
  f.GetScrollBarInfo = Bind<decltype(f.GetScrollBarInfo)>(user32, "GetScrollBarInfo");

  const bool visualStyles = LoadVisualStyles();
  if (!f.IsVersion4 && (f.IsNT || f.LayeredWindows || visualStyles)) {
    // Kept loaded for the life of the process, like the other bound modules.
    f.TransparentBlt = Bind<decltype(f.TransparentBlt)>(LoadLibraryA("msimg32.dll"), "TransparentBlt");
  }
  HDC screen = GetDC(nullptr);
  const int bitsPerPixel = screen ? GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  f.UseTransparentBlt = f.TransparentBlt != nullptr && bitsPerPixel >= 24;
  return f;
}

}  // namespace

const TskPlatformFunctions& PlatformFunctions() {
  static const TskPlatformFunctions functions = BindPlatformFunctions();
  return functions;
}

bool LoadVisualStyles() {
  TVisualStyleState& state = VisualStyleState();
  std::lock_guard guard(state.Lock);
  if (state.Count == 0) {
    state.Module = LoadLibraryA("uxtheme.dll");
    if (state.Module != nullptr) {
#define SK_BIND_VISUAL_STYLE(name) \
  state.Functions.name = Bind<decltype(state.Functions.name)>(state.Module, #name);
      SK_VISUAL_STYLE_FUNCTIONS(SK_BIND_VISUAL_STYLE)
#undef SK_BIND_VISUAL_STYLE
    }
  }
  if (state.Module == nullptr) return false;
  ++state.Count;
  state.Active = ComputeActive(state.Functions);
  return true;
}

void ReleaseVisualStyles() {
  TVisualStyleState& state = VisualStyleState();
  std::lock_guard guard(state.Lock);
  if (state.Count == 0) return;
  if (--state.Count == 0) {
    FreeLibrary(state.Module);
    state.Module = nullptr;
    state.Functions = TskVisualStyleFunctions{};
    state.Active = false;
  }
}

void ReleaseAllVisualStyles() {
  while (VisualStylesLoadCount() > 0) ReleaseVisualStyles();
}

int VisualStylesLoadCount() {
  TVisualStyleState& state = VisualStyleState();
  std::lock_guard guard(state.Lock);
  return state.Count;
}

TskVisualStyleFunctions VisualStyles() {
  TVisualStyleState& state = VisualStyleState();
  std::lock_guard guard(state.Lock);
  return state.Functions;
}

bool VisualStylesActive() {
  TVisualStyleState& state = VisualStyleState();
  std::lock_guard guard(state.Lock);
  return state.Active;
}

void UpdateVisualStylesActive() {
  TVisualStyleState& state = VisualStyleState();
  std::lock_guard guard(state.Lock);
  state.Active = state.Module != nullptr && ComputeActive(state.Functions);
}

RECT WorkAreaAt(POINT point, bool workAreaWanted) {
  const TskPlatformFunctions& f = PlatformFunctions();
  if (!f.MultiMonitor) return SingleMonitorArea(workAreaWanted);
  return MonitorArea(f.MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), workAreaWanted);
}

RECT WorkAreaAt(HWND window, bool workAreaWanted) {
  const TskPlatformFunctions& f = PlatformFunctions();
  if (!f.MultiMonitor) return SingleMonitorArea(workAreaWanted);
  return MonitorArea(f.MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), workAreaWanted);
}

bool ScrollBarInfo(HWND window, LONG objectId, SCROLLBARINFO& info) {
  const TskPlatformFunctions& f = PlatformFunctions();
  if (f.GetScrollBarInfo != nullptr && f.GetScrollBarInfo(window, objectId, &info)) return true;
  if (f.GetScrollBarInfo == nullptr) info.rgstate[0] = STATE_SYSTEM_INVISIBLE;
  return false;
}

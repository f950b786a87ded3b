// The skinned window frame and menus against the platform's own, in the same
// run under the same window system:
//   frame: one paint of the non-client area of a 792 x 600 window, the
//          skinned frame with the viewer's theme against the platform's
//          caption and borders;
//   menu:  from the press on the menu bar's "eBook" to the painted pop-up,
//          against the platform's pop-up menu with the same entries from its
//          opening call to its painted window.
// Both print the time per operation (best of several rounds, so a passing
// hiccup of the machine does not count) and the ratio skinned / platform.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_util.h"
#include "forms/forms.h"
#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menus.h"
#include "skin/sk_engine.h"

namespace {

constexpr int kPaints = 200;
constexpr int kOpenings = 30;
constexpr int kRounds = 5;

// ---- the moment a pop-up has been painted ----------------------------------

// Set by the hook when the first paint of a pop-up window of the watched
// class has returned; the hook then ends the menu.
LARGE_INTEGER paintedAt{};
const wchar_t* watchedClass = nullptr;
bool painted = false;

LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && message->message == WM_PAINT && watchedClass != nullptr && !painted) {
    wchar_t name[64] = {};
    GetClassNameW(message->hwnd, name, 64);
    if (std::wstring(name) == watchedClass) {
      QueryPerformanceCounter(&paintedAt);
      painted = true;
      // Alt ends every level of the skinned menus; the platform's menu
      // ends on its own call.
      PostMessageW(message->hwnd, WM_KEYDOWN, VK_MENU, 0);
      EndMenu();
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs open() (which returns once its menu has ended) and gives the time
// from its start to the first painted pop-up of the class.
template <typename F>
double TimeToPaintedPopup(const wchar_t* popupClass, F&& open) {
  watchedClass = popupClass;
  painted = false;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  open();
  Application->ProcessMessages();
  watchedClass = nullptr;
  if (!painted) {
    std::fprintf(stderr, "frame_menu_bench: no pop-up of class %ls was painted\n", popupClass);
    std::exit(1);
  }
  return Seconds(start, paintedAt);
}

TSkItem* AddItem(TComponent* owner, TSkItem* parent, const wchar_t* caption) {
  auto* item = CreateComponent<TSkItem>(owner);
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

const wchar_t* const kEntries[] = {L"New window", L"-", L"Show start page", L"-", L"Close"};

// The viewer's stored theme made current as the viewer shows it.
void UseViewerTheme() {
  TSkThemeList list(nullptr);
  LoadViewerThemeList(list);
  std::unique_ptr<TskTheme> theme = list.Themes().Items(0)->LoadTheme();
  if (!theme) {
    std::fprintf(stderr, "frame_menu_bench: the stored theme did not load\n");
    std::exit(1);
  }
  theme->SetDeltaBrightness(10);
  ThemeManager().SetCurrentTheme(std::move(theme));
}

}  // namespace

int main() {
  UseViewerTheme();
  const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterMessage, nullptr, GetCurrentThreadId());

  // The skinned window: the viewer's frame settings and menu bar.
  TForm skinned(nullptr);
  TSkMenuBar* bar = nullptr;
  TSkItem* book = nullptr;
  skinned.LoadComponents([&] {
    auto* frame = CreateComponent<TSkForm>(&skinned);
    frame->Dragging().Sizeable = false;
    frame->Dragging().DragMode = kfdmBorder;
    bar = CreateComponent<TSkMenuBar>(&skinned);
    bar->SetParent(&skinned);
    bar->SetAlign(alTop);
    frame->SetMenuBar(bar);
    book = AddItem(&skinned, bar->Items(), L"eBook");
    for (const wchar_t* entry : kEntries) AddItem(&skinned, book, entry);
  });
  skinned.SetBounds(40, 40, 792, 600);
  skinned.Show();
  Application->ProcessMessages();

  // The platform's window of the same size and its pop-up menu.
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.lpszClassName = L"FrameMenuBenchPlain";
  RegisterClassW(&windowClass);
  HWND plain = CreateWindowExW(0, L"FrameMenuBenchPlain", L"eBook", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 792,
                               600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HMENU platformMenu = CreatePopupMenu();
  for (const wchar_t* entry : kEntries) {
    AppendMenuW(platformMenu, entry == std::wstring(L"-") ? MF_SEPARATOR : MF_STRING, 1, entry);
  }
  Application->ProcessMessages();

  // Frame painting.
  const double skinnedPaint = BestSeconds(kRounds, [&] {
    for (int i = 0; i < kPaints; ++i) SendMessageW(skinned.Handle(), WM_NCPAINT, 1, 0);
    GdiFlush();
  }) / kPaints;
  const double platformPaint = BestSeconds(kRounds, [&] {
    for (int i = 0; i < kPaints; ++i) SendMessageW(plain, WM_NCPAINT, 1, 0);
    GdiFlush();
  }) / kPaints;
  std::printf("frame paint, 792 x 600: skinned %.3f ms, platform %.3f ms, ratio %.2f (goal: under 2 ms)\n",
              skinnedPaint * 1e3, platformPaint * 1e3, skinnedPaint / platformPaint);

  // Opening the menu.
  const TRect item = book->ItemRect;
  POINT at{(item.Left + item.Right) / 2, (item.Top + item.Bottom) / 2};
  HWND barWindow = bar->Handle();
  double skinnedOpen = 1e9;
  double platformOpen = 1e9;
  for (int i = 0; i < kOpenings; ++i) {
    skinnedOpen = std::min(skinnedOpen, TimeToPaintedPopup(L"TSkPopupWindow", [&] {
      SendMessageW(barWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    }));
    SendMessageW(barWindow, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    platformOpen = std::min(platformOpen, TimeToPaintedPopup(L"#32768", [&] {
      TrackPopupMenu(platformMenu, TPM_LEFTALIGN | TPM_TOPALIGN, 100, 100, 0, plain, nullptr);
    }));
  }
  std::printf("menu opening, click to painted pop-up: skinned %.3f ms, platform %.3f ms, ratio %.2f (goal: under "
              "16 ms)\n",
              skinnedOpen * 1e3, platformOpen * 1e3, skinnedOpen / platformOpen);

  DestroyMenu(platformMenu);
  DestroyWindow(plain);
  UnhookWindowsHookEx(hook);
  return 0;
}

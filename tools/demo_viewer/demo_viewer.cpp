// The viewer driven as a reader drives it, for the screenshots of
// scripts/demo: opens a book file with ShowEbook (the viewer library linked
// in) and then, with real mouse and keyboard messages,
//   search: shows the search area with the toolbar's Search button, types
//           the text into the edit, presses Search and clicks the first
//           result;
//   menu:   clicks "eBook" on the menu bar so that its menu opens.
// When the picture is ready it creates the ready file, waits until the stop
// file exists (the caller takes its screenshot in between), then closes
// what it opened and the window.
//
//   demo_viewer search BOOK.bin TEXT READY-FILE STOP-FILE
//   demo_viewer menu BOOK.bin READY-FILE STOP-FILE
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "forms/forms.h"
#include "lifetime/show_ebook.h"
#include "runtime/ansi.h"
#include "runtime/streams.h"
#include "server/ebook_manager.h"
#include "skin/controls/sk_buttons.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_effect_controls.h"
#include "skin/controls/sk_list_box.h"
#include "skin/menus/sk_menus.h"
#include "viewer/viewer_form.h"

namespace {

bool menuDemo = false;
std::wstring text;
std::wstring readyFile;
std::wstring stopFile;
int step = 0;
DWORD waitStarted = 0;

void Click(TControl& control, int x, int y) {
  TPoint offset{0, 0};
  TWinControl* host = control.HostWindow(&offset);
  const LPARAM at = MAKELPARAM(static_cast<WORD>(x + offset.X), static_cast<WORD>(y + offset.Y));
  SendMessageW(host->Handle(), WM_MOUSEMOVE, 0, at);
  SendMessageW(host->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(host->Handle(), WM_LBUTTONUP, 0, at);
}

bool FileExists(const std::wstring& name) { return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Fail(TForm1* window, const char* why) {
  std::fprintf(stderr, "demo_viewer: %s\n", why);
  PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
  step = 100;
}

bool driving = false;

// The menu scenario. The menu's tracking loop runs modally inside the
// dispatch of the posted click and dispatches this timer like any other
// message, so the steps go on while the menu is open.
void DriveMenu(TForm1* window) {
  switch (step) {
    case 0: {  // the first page is shown: click "eBook", the bar's first item
      if (window->StPanel1->Caption().empty()) return;
      if (window->SkMenuBar1 == nullptr) return Fail(window, "the window has no menu bar");
      TPoint offset{0, 0};
      TWinControl* host = window->SkMenuBar1->HostWindow(&offset);
      const LPARAM at = MAKELPARAM(static_cast<WORD>(offset.X + 12), static_cast<WORD>(offset.Y + 8));
      PostMessageW(host->Handle(), WM_MOUSEMOVE, 0, at);
      PostMessageW(host->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
      step = 1;
      waitStarted = GetTickCount();
      return;
    }
    case 1:  // the pop-up has been shown and painted
      if (GetTickCount() - waitStarted < 1500) return;
      CloseHandle(CreateFileW(readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      step = 2;
      return;
    case 2:
      if (!FileExists(stopFile)) return;
      // Alt ends every level of the menu; the close follows once the loops
      // have unwound.
      PostMessageW(window->Handle(), WM_KEYDOWN, VK_MENU, 0);
      PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
      step = 100;
      return;
    default:
      return;
  }
}

void CALLBACK Drive(HWND, UINT, UINT_PTR, DWORD) {
  // The search processes messages, this timer's among them: one step at a
  // time.
  if (driving || ViewerWindows == nullptr || ViewerWindows->empty() || step >= 100) return;
  driving = true;
  struct TDone {
    ~TDone() { driving = false; }
  } done;
  TForm1* window = ViewerWindows->front();
  if (menuDemo) return DriveMenu(window);
  switch (step) {
    case 0:  // the first page is shown
      if (window->StPanel1->Caption().empty()) return;
      if (window->SpeedButton6 == nullptr) return Fail(window, "the book has no Search button");
      Click(*window->SpeedButton6, 10, 10);
      Click(*window->LabeledEdit1, 5, 5);
      for (wchar_t c : text) SendMessageW(window->LabeledEdit1->Handle(), WM_CHAR, c, 1);
      Click(*window->SpeedButton10, 5, 5);  // the search runs inside this click
      if (window->ListBox1->Items().Count() == 0) return Fail(window, "nothing found");
      Click(*window->ListBox1, 20, 8);
      step = 1;
      waitStarted = GetTickCount();
      return;
    case 1:  // the result's page has completed and been drawn
      if (BookManager->SearchState().HighlightActive || GetTickCount() - waitStarted < 1500) return;
      CloseHandle(CreateFileW(readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      step = 2;
      return;
    case 2:
      if (!FileExists(stopFile)) return;
      PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
      step = 100;
      return;
    default:
      return;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring scenario = argc > 1 ? argv[1] : L"";
  int arg = 2;
  if (scenario == L"search" && argc == 6) {
    text = argv[3];
    arg = 4;
  } else if (scenario == L"menu" && argc == 5) {
    menuDemo = true;
    arg = 3;
  } else {
    std::fprintf(stderr,
                 "usage: demo_viewer search BOOK.bin TEXT READY-FILE STOP-FILE\n"
                 "       demo_viewer menu BOOK.bin READY-FILE STOP-FILE\n");
    return 2;
  }
  readyFile = argv[arg];
  stopFile = argv[arg + 1];
  Application->OnException = [](TObject*, const std::string& message) {
    std::fprintf(stderr, "demo_viewer: %s\n", message.c_str());
  };
  std::vector<uint8_t> book;
  try {
    book = ReadWholeFile(WideToAnsi(argv[2]), "book file");
  } catch (const Exception& e) {
    std::fprintf(stderr, "demo_viewer: %s\n", e.Message.c_str());
    return 1;
  }
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"DemoViewerHost";
  RegisterClassW(&windowClass);
  HWND host = CreateWindowExW(0, L"DemoViewerHost", L"host", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  SetTimer(nullptr, 0, 50, &Drive);
  ShowEbook(book.data(), host);
  DestroyWindow(host);
  return step == 100 && FileExists(readyFile) ? 0 : 1;
}

// Closes viewer windows from outside, as a user clicking their close box
// would: posts WM_CLOSE to every top-level viewer window whose caption is
// the one given. Waits up to 60 s for one to appear.
//
//   close_window TITLE     exit 0 when at least one window was asked to close
#include <windows.h>

#include <string>

#include "runtime/ansi.h"
#include "runtime/process.h"

namespace {

struct TSearch {
  std::wstring Title;
  int Closed = 0;
};

BOOL CALLBACK CloseIfViewer(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TSearch*>(data);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  const int length = GetWindowTextLengthW(window);
  std::wstring caption(length + 1, L'\0');
  GetWindowTextW(window, caption.data(), length + 1);
  caption.resize(length);
  if (std::wstring(className) == L"EbookForm" && caption == search->Title && IsWindowVisible(window)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    ++search->Closed;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const auto args = CommandLineArguments(argc, argv);
  if (args.size() != 1) return 2;
  TSearch search{Utf8ToWide(args[0])};
  for (int attempt = 0; attempt < 600 && search.Closed == 0; ++attempt) {
    EnumWindows(&CloseIfViewer, reinterpret_cast<LPARAM>(&search));
    if (search.Closed == 0) Sleep(100);
  }
  return search.Closed > 0 ? 0 : 1;
}

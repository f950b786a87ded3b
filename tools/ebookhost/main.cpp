// The e-book host: a book is this program with its archive block appended
// (and a trailer after it). It loads the block into memory, loads the viewer
// library from its own folder and hands the block to ShowEbook, which returns
// when the reader has closed the last viewer window.
//
//   book.exe            reads the archive appended to its own file
//   book.exe FILE       reads FILE instead (an archive block or another e-book)
//
// Start-up failures of the library come back through the process environment:
// the library sets EBOOKVIEW_ERROR to the failure's message before ShowEbook
// returns. Errors are shown in a message box (printed to standard error
// instead when EBOOKHOST_QUIET is set, for unattended runs) and give exit
// status 1.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "archive/book_file.h"
#include "tools/common/book_image.h"
#include "ebookview.h"
#include "runtime/ansi.h"
#include "runtime/exceptions.h"
#include "runtime/process.h"

namespace {

constexpr const wchar_t* kLibraryName = L"ebookview.dll";
constexpr const wchar_t* kErrorVariable = EBOOKVIEW_ERROR_VARIABLE;
constexpr const wchar_t* kQuietVariable = L"EBOOKHOST_QUIET";
constexpr const wchar_t* kWindowClass = L"EBookHostApplication";


std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool Quiet() { return GetEnvironmentVariableW(kQuietVariable, nullptr, 0) > 0; }

int Fail(const std::wstring& title, const std::wstring& message) {
  if (Quiet()) {
    const std::string text = WideToUtf8(title + L": " + message + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    MessageBoxW(nullptr, message.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
  }
  return 1;
}

std::wstring LastErrorText(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result = text ? text : L"";
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
    result.pop_back();
  return result.empty() ? L"error " + std::to_wstring(code) : result;
}

// The host's application window: never shown, it only owns the viewer's
// windows so that they share one taskbar identity.
HWND CreateHostWindow(const std::wstring& title) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);
  return CreateWindowExW(0, kWindowClass, title.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::wstring self = Utf8ToWide(ExecutablePath());
  const std::vector<std::string> args = CommandLineArguments(argc, argv);
  const std::wstring title = L"eBook";
  if (args.size() > 1) return Fail(title, L"Usage: the e-book program takes at most one argument, an archive file.");
  const std::string bookFile = args.empty() ? WideToUtf8(self) : args[0];

  // The block stays in this buffer, unchanged, for the whole ShowEbook call.
  std::unique_ptr<uint64_t[]> block;
  try {
    const TBookImage image = LoadBookFile(bookFile);
    block = std::make_unique<uint64_t[]>(image.Block.size() / 8 + 1);
    std::memcpy(block.get(), image.Block.data(), image.Block.size());
  } catch (const Exception& e) {
    return Fail(title, L"This e-book cannot be opened: " + Utf8ToWide(e.Message));
  }

  const std::wstring libraryPath = FolderOf(self) + kLibraryName;
  HMODULE library = LoadLibraryW(libraryPath.c_str());
  if (library == nullptr)
    return Fail(title, L"The viewer library " + libraryPath + L" cannot be loaded: " + LastErrorText(GetLastError()));
  const auto showEbook = reinterpret_cast<ShowEbookProc>(reinterpret_cast<void*>(GetProcAddress(library, "ShowEbook")));
  if (showEbook == nullptr) {
    FreeLibrary(library);
    return Fail(title, L"The viewer library " + libraryPath + L" has no ShowEbook entry point.");
  }

  HWND hostWindow = CreateHostWindow(title);
  SetEnvironmentVariableW(kErrorVariable, nullptr);
  showEbook(block.get(), hostWindow);

  std::wstring error(GetEnvironmentVariableW(kErrorVariable, nullptr, 0), L'\0');
  if (!error.empty()) {
    GetEnvironmentVariableW(kErrorVariable, error.data(), static_cast<DWORD>(error.size()));
    error.resize(error.size() - 1);
  }
  if (hostWindow) DestroyWindow(hostWindow);
  FreeLibrary(library);
  if (!error.empty()) return Fail(title, L"The e-book could not be started: " + error);
  return 0;
}

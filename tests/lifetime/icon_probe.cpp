// Asks Windows itself for the icon of a program file, as Explorer does:
// the number of icons ExtractIconExW finds, and the first icon group loaded
// with LoadImageW from the file opened as a resource module.
//
//   icon_probe FILE     exit 0 when both find an icon; prints what it found
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "runtime/ansi.h"
#include "runtime/process.h"

int main(int argc, char** argv) {
  const auto args = CommandLineArguments(argc, argv);
  if (args.size() != 1) return 2;
  const std::wstring file = Utf8ToWide(args[0]);
  const UINT count = ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0);
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  HANDLE icon = nullptr;
  if (module != nullptr) icon = LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0);
  std::printf("icons %u, group 1 %s\n", count, icon != nullptr ? "loads" : "does not load");
  if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
  if (module != nullptr) FreeLibrary(module);
  return count > 0 && icon != nullptr ? 0 : 1;
}

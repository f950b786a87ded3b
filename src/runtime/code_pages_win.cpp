#include <windows.h>

#include "runtime/code_pages.h"

unsigned AnsiCodePage() { return GetACP(); }

bool CodePageToWide(unsigned codePage, std::string_view bytes, std::wstring& out) {
  if (!IsValidCodePage(codePage)) return false;
  if (bytes.empty()) {
    out.clear();
    return true;
  }
  // Long texts go in pieces that end on a byte the code page cannot
  // continue (ASCII), so no character is cut in two. The platform replaces
  // invalid sequences with U+FFFD (or a best-fit character) by itself.
  std::wstring result;
  size_t at = 0;
  constexpr size_t kPiece = 1 << 24;
  while (at < bytes.size()) {
    size_t end = bytes.size();
    if (end - at > kPiece) {
      end = at + kPiece;
      while (end < bytes.size() && static_cast<unsigned char>(bytes[end - 1]) >= 0x80) ++end;
    }
    const int length = static_cast<int>(end - at);
    const int n = MultiByteToWideChar(codePage, 0, bytes.data() + at, length, nullptr, 0);
    if (n <= 0) return false;
    const size_t before = result.size();
    result.resize(before + static_cast<size_t>(n));
    MultiByteToWideChar(codePage, 0, bytes.data() + at, length, result.data() + before, n);
    at = end;
  }
  out = std::move(result);
  return true;
}

// Without a system code page the ANSI code page is Windows-1252.
#include "runtime/ansi.h"

#include "runtime/exceptions.h"

const std::array<uint8_t, 256>& AnsiUpperTable() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
    for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<uint8_t>(c - 0x20);
    t[0x9A] = 0x8A;  // s caron
    t[0x9C] = 0x8C;  // oe ligature
    t[0x9E] = 0x8E;  // z caron
    t[0xFF] = 0x9F;  // y diaeresis
    for (int c = 0xE0; c <= 0xFE; ++c)
      if (c != 0xF7) t[c] = static_cast<uint8_t>(c - 0x20);  // 0xF7 is the division sign
    return t;
  }();
  return table;
}

std::wstring AnsiToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (char c : text) out += static_cast<wchar_t>(Cp1252ToCodePoint(static_cast<uint8_t>(c)));
  return out;
}

std::string WideToAnsi(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    const auto cp = static_cast<char32_t>(w);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (int b = 0x80; b < 0xA0; ++b)
      if (Cp1252ToCodePoint(static_cast<uint8_t>(b)) == cp && cp != 0xFFFD) mapped = static_cast<char>(b);
    out += mapped;
  }
  return out;
}

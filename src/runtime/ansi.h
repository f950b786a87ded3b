// Text in the platform's ANSI code page. On Windows the mappings come from the
// system; elsewhere the code page is Windows-1252, the western default that
// books are written in.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The system's upper-case mapping of single ANSI bytes, built once.
const std::array<uint8_t, 256>& AnsiUpperTable();
inline char AnsiUpperChar(char c) {
  return static_cast<char>(AnsiUpperTable()[static_cast<uint8_t>(c)]);
}
std::string AnsiUpperCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);

// ANSI <-> wide conversion with the system code page.
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// Windows-1252 <-> UTF-8, used by the tools for file names on hosts whose
// file names are UTF-8. Utf8ToCp1252 fails with EConvertError when the text
// is not valid UTF-8 or holds a character Windows-1252 cannot represent.
std::string Utf8ToCp1252(std::string_view text);
std::string Cp1252ToUtf8(std::string_view text);

// UTF-8 -> UTF-16/32 wide text (invalid sequences become U+FFFD). File names
// are UTF-8 throughout the runtime; on Windows they are opened by their wide
// form.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// Unicode code point of a Windows-1252 byte; 0xFFFD for the five unassigned
// bytes.
char32_t Cp1252ToCodePoint(uint8_t byte);

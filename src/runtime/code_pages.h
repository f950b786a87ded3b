// Text in any code page the platform converts, to wide text: Windows through
// its own conversions (MultiByteToWideChar), elsewhere through the C
// library's iconv. Windows code-page numbers name the encodings on both.
#pragma once

#include <string>
#include <string_view>

inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageUtf16Le = 1200;
inline constexpr unsigned kCodePageUtf16Be = 1201;
inline constexpr unsigned kCodePageWindows1252 = 1252;

// The system's ANSI code page (Windows-1252 outside Windows).
unsigned AnsiCodePage();

// Converts bytes in codePage to wide text; bytes that are not valid in it
// become U+FFFD and the conversion goes on after them. False (and out
// untouched) when the platform has no conversion for codePage.
bool CodePageToWide(unsigned codePage, std::string_view bytes, std::wstring& out);

#include "runtime/ansi.h"

#include "runtime/exceptions.h"

namespace {

// 0x80..0x9F of Windows-1252; the rest of the code page equals Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

char32_t Cp1252ToCodePoint(uint8_t byte) {
  if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
  return byte;
}

std::string AnsiUpperCase(std::string_view text) {
  const auto& table = AnsiUpperTable();
  std::string result(text);
  for (char& c : result) c = static_cast<char>(table[static_cast<uint8_t>(c)]);
  return result;
}

std::string AsciiUpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(out, Cp1252ToCodePoint(static_cast<uint8_t>(c)));
  return out;
}

namespace {

// Decodes one UTF-8 sequence at text[i]; false when it is not valid.
bool DecodeUtf8(std::string_view text, size_t& i, char32_t& cp) {
  const auto lead = static_cast<uint8_t>(text[i]);
  size_t length;
  if (lead < 0x80) {
    cp = lead;
    length = 1;
  } else if ((lead & 0xE0) == 0xC0) {
    cp = lead & 0x1F;
    length = 2;
  } else if ((lead & 0xF0) == 0xE0) {
    cp = lead & 0x0F;
    length = 3;
  } else if ((lead & 0xF8) == 0xF0) {
    cp = lead & 0x07;
    length = 4;
  } else {
    return false;
  }
  if (i + length > text.size()) return false;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<uint8_t>(text[i + k]);
    if ((next & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (next & 0x3F);
  }
  i += length;
  return true;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    char32_t cp;
    if (!DecodeUtf8(text, i, cp)) {
      cp = 0xFFFD;
      ++i;
    }
    if constexpr (sizeof(wchar_t) == 2) {
      if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        continue;
      }
    }
    out += static_cast<wchar_t>(cp);
  }
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    auto cp = static_cast<char32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
      const auto low = static_cast<char32_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char32_t cp;
    if (!DecodeUtf8(text, i, cp)) throw EConvertError("Text is not valid UTF-8");
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    bool found = false;
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] != 0xFFFD && kCp1252High[k] == cp) {
        out += static_cast<char>(0x80 + k);
        found = true;
        break;
      }
    }
    if (!found) throw EConvertError(Format("Character U+%04X has no Windows-1252 form", static_cast<unsigned>(cp)));
  }
  return out;
}

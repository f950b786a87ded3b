#include "browser/plain_decode.h"

#include <algorithm>
#include <array>
#include <utility>

#include "runtime/ansi.h"
#include "runtime/code_pages.h"

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Encoding labels as browsers read them (several names for one encoding;
// ISO-8859-1 and ASCII are read as Windows-1252, as every browser does).
// Sorted by label for the binary search.
constexpr std::array<std::pair<std::string_view, unsigned>, 96> kLabels = {{
    {"866", 866},
    {"ansi_x3.4-1968", 1252},
    {"arabic", 28596},
    {"ascii", 1252},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"cp1250", 1250},
    {"cp1251", 1251},
    {"cp1252", 1252},
    {"cp1253", 1253},
    {"cp1254", 1254},
    {"cp1255", 1255},
    {"cp1256", 1256},
    {"cp1257", 1257},
    {"cp1258", 1258},
    {"cp819", 1252},
    {"cp866", 866},
    {"cp936", 936},
    {"csbig5", 950},
    {"cseuckr", 949},
    {"cseucpkdfmtjapanese", 20932},
    {"csgb2312", 936},
    {"csibm866", 866},
    {"csiso2022jp", 50220},
    {"csisolatin1", 1252},
    {"csisolatin2", 28592},
    {"csisolatin9", 28605},
    {"csisolatincyrillic", 28595},
    {"cskoi8r", 20866},
    {"csshiftjis", 932},
    {"dos-874", 874},
    {"euc-jp", 20932},
    {"euc-kr", 949},
    {"gb18030", 54936},
    {"gb2312", 936},
    {"gb_2312-80", 936},
    {"gbk", 936},
    {"greek", 28597},
    {"hebrew", 28598},
    {"ibm819", 1252},
    {"ibm866", 866},
    {"iso-2022-jp", 50220},
    {"iso-8859-1", 1252},
    {"iso-8859-10", 28600},
    {"iso-8859-11", 874},
    {"iso-8859-13", 28603},
    {"iso-8859-14", 28604},
    {"iso-8859-15", 28605},
    {"iso-8859-16", 28606},
    {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-8-i", 28598},
    {"iso-8859-9", 1254},
    {"iso8859-1", 1252},
    {"iso8859-15", 28605},
    {"iso8859-2", 28592},
    {"iso8859-5", 28595},
    {"iso_8859-1", 1252},
    {"iso_8859-15", 28605},
    {"iso_8859-2", 28592},
    {"koi8", 20866},
    {"koi8-r", 20866},
    {"koi8-ru", 21866},
    {"koi8-u", 21866},
    {"ks_c_5601-1987", 949},
    {"l1", 1252},
    {"l2", 28592},
    {"latin1", 1252},
    {"latin2", 28592},
    {"latin9", 28605},
    {"mac", 10000},
    {"macintosh", 10000},
    {"ms932", 932},
    {"ms_kanji", 932},
    {"shift-jis", 932},
    {"shift_jis", 932},
    {"sjis", 932},
    {"tis-620", 874},
    {"unicode-1-1-utf-8", kCodePageUtf8},
    {"us-ascii", 1252},
    {"utf-16", kCodePageUtf16Le},
    {"utf-16be", kCodePageUtf16Be},
    {"utf-16le", kCodePageUtf16Le},
    {"utf-8", kCodePageUtf8},
    {"utf8", kCodePageUtf8},
    {"windows-1250", 1250},
    {"windows-1251", 1251},
    {"windows-1252", 1252},
    {"windows-874", 874},
    {"windows-949", 949},
    {"x-mac-cyrillic", 10007},
}};

constexpr bool LabelsSorted() {
  for (size_t i = 1; i < kLabels.size(); ++i) {
    if (!(kLabels[i - 1].first < kLabels[i].first)) return false;
  }
  return true;
}
static_assert(LabelsSorted(), "kLabels must stay sorted for the binary search");

// The windows-125x labels not listed above (1253 to 1258) follow one
// pattern.
unsigned WindowsLabel(std::string_view label) {
  if (label.size() != 12 || label.substr(0, 8) != "windows-") return 0;
  unsigned number = 0;
  for (char c : label.substr(8)) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number >= 1250 && number <= 1258 ? number : 0;
}

// Skips to the end of a quoted or bare value starting at bytes[i].
std::string_view ReadAttributeValue(std::string_view bytes, size_t& i) {
  if (i >= bytes.size()) return {};
  if (bytes[i] == '"' || bytes[i] == '\'') {
    const char quote = bytes[i++];
    const size_t start = i;
    while (i < bytes.size() && bytes[i] != quote) ++i;
    const std::string_view value = bytes.substr(start, i - start);
    if (i < bytes.size()) ++i;
    return value;
  }
  const size_t start = i;
  while (i < bytes.size() && !IsBlank(bytes[i]) && bytes[i] != '>') ++i;
  return bytes.substr(start, i - start);
}

// The charset named in a <meta content="text/html; charset=..."> value.
std::string_view CharsetInMetaContent(std::string_view content) {
  std::string lower(content);
  for (char& c : lower) c = LowerAscii(c);
  size_t at = 0;
  while ((at = lower.find("charset", at)) != std::string::npos) {
    size_t i = at + 7;
    while (i < lower.size() && IsBlank(lower[i])) ++i;
    if (i >= lower.size() || lower[i] != '=') {
      at = i;
      continue;
    }
    ++i;
    while (i < lower.size() && IsBlank(lower[i])) ++i;
    if (i >= lower.size()) return {};
    if (lower[i] == '"' || lower[i] == '\'') {
      const char quote = lower[i];
      const size_t end = lower.find(quote, i + 1);
      if (end == std::string::npos) return {};
      return content.substr(i + 1, end - i - 1);
    }
    size_t end = i;
    while (end < lower.size() && !IsBlank(lower[end]) && lower[end] != ';') ++end;
    return content.substr(i, end - i);
  }
  return {};
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char32_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  };
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const char32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00) {
      const char32_t low = i + 3 < bytes.size() ? unit(i + 2) : 0;
      if (low >= 0xDC00 && low < 0xE000) {
        if constexpr (sizeof(wchar_t) == 2) {
          out.push_back(static_cast<wchar_t>(u));
          out.push_back(static_cast<wchar_t>(low));
        } else {
          out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
        }
        i += 2;
        continue;
      }
      out.push_back(L'\xFFFD');
    } else if (u >= 0xDC00 && u < 0xE000) {
      out.push_back(L'\xFFFD');
    } else {
      out.push_back(static_cast<wchar_t>(u));
    }
  }
  if (i < bytes.size()) out.push_back(L'\xFFFD');  // an odd byte at the end
  return out;
}

bool Decode(unsigned codePage, std::string_view bytes, std::wstring& out) {
  switch (codePage) {
    case kCodePageUtf8:
      out = Utf8ToWide(bytes);
      return true;
    case kCodePageUtf16Le:
      out = DecodeUtf16(bytes, false);
      return true;
    case kCodePageUtf16Be:
      out = DecodeUtf16(bytes, true);
      return true;
    default:
      return CodePageToWide(codePage, bytes, out);
  }
}

}  // namespace

unsigned CodePageForLabel(std::string_view label) {
  label = TrimBlanks(label);
  if (label.empty() || label.size() > 40) return 0;
  std::string lower(label);
  for (char& c : lower) c = LowerAscii(c);
  const auto found = std::lower_bound(kLabels.begin(), kLabels.end(), std::string_view(lower),
                                      [](const auto& entry, std::string_view key) { return entry.first < key; });
  if (found != kLabels.end() && found->first == lower) return found->second;
  return WindowsLabel(lower);
}

std::string CharsetOfContentType(std::string_view contentType) {
  size_t at = contentType.find(';');
  while (at != std::string_view::npos) {
    std::string_view parameter = contentType.substr(at + 1);
    const size_t next = parameter.find(';');
    if (next != std::string_view::npos) parameter = parameter.substr(0, next);
    const size_t equals = parameter.find('=');
    if (equals != std::string_view::npos) {
      std::string name(TrimBlanks(parameter.substr(0, equals)));
      for (char& c : name) c = LowerAscii(c);
      if (name == "charset") {
        std::string_view value = TrimBlanks(parameter.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
          value = value.substr(1, value.size() - 2);
        }
        return std::string(value);
      }
    }
    at = next == std::string_view::npos ? next : at + 1 + next;
  }
  return {};
}

unsigned MetaCodePage(std::string_view bytes) {
  bytes = bytes.substr(0, 1024);
  size_t i = 0;
  while (i < bytes.size()) {
    if (bytes.compare(i, 4, "<!--") == 0) {
      const size_t end = bytes.find("-->", i + 4);
      if (end == std::string_view::npos) return 0;
      i = end + 3;
      continue;
    }
    if (bytes[i] != '<') {
      ++i;
      continue;
    }
    // "<meta" followed by a blank or "/".
    const bool meta = i + 5 < bytes.size() && LowerAscii(bytes[i + 1]) == 'm' && LowerAscii(bytes[i + 2]) == 'e' &&
                      LowerAscii(bytes[i + 3]) == 't' && LowerAscii(bytes[i + 4]) == 'a' &&
                      (IsBlank(bytes[i + 5]) || bytes[i + 5] == '/');
    if (!meta) {
      // Past the tag's name and attributes, minding quotes.
      ++i;
      while (i < bytes.size() && bytes[i] != '>') {
        if (bytes[i] == '"' || bytes[i] == '\'') {
          const size_t end = bytes.find(bytes[i], i + 1);
          if (end == std::string_view::npos) return 0;
          i = end;
        }
        ++i;
      }
      continue;
    }
    i += 5;
    bool httpEquivContentType = false;
    std::string_view content;
    std::string_view charset;
    bool hasCharset = false;
    while (i < bytes.size() && bytes[i] != '>') {
      if (IsBlank(bytes[i]) || bytes[i] == '/') {
        ++i;
        continue;
      }
      const size_t nameStart = i;
      while (i < bytes.size() && !IsBlank(bytes[i]) && bytes[i] != '=' && bytes[i] != '>' && bytes[i] != '/') ++i;
      std::string name(bytes.substr(nameStart, i - nameStart));
      for (char& c : name) c = LowerAscii(c);
      while (i < bytes.size() && IsBlank(bytes[i])) ++i;
      std::string_view value;
      if (i < bytes.size() && bytes[i] == '=') {
        ++i;
        while (i < bytes.size() && IsBlank(bytes[i])) ++i;
        value = ReadAttributeValue(bytes, i);
      }
      if (name == "charset" && !hasCharset) {
        charset = value;
        hasCharset = true;
      } else if (name == "http-equiv") {
        std::string lower(TrimBlanks(value));
        for (char& c : lower) c = LowerAscii(c);
        httpEquivContentType = lower == "content-type";
      } else if (name == "content" && content.empty()) {
        content = value;
      }
    }
    std::string_view label;
    if (hasCharset) {
      label = charset;
    } else if (httpEquivContentType) {
      label = CharsetInMetaContent(content);
    }
    if (!label.empty()) {
      unsigned codePage = CodePageForLabel(label);
      if (codePage == kCodePageUtf16Le || codePage == kCodePageUtf16Be) codePage = kCodePageUtf8;
      if (codePage != 0) return codePage;
    }
  }
  return 0;
}

TDecodedText DecodeAnswerText(std::string_view body, std::string_view contentType, bool html,
                              unsigned defaultCodePage) {
  TDecodedText result;
  std::string_view bytes = body;
  unsigned codePage = 0;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    codePage = kCodePageUtf8;
    bytes.remove_prefix(3);
  } else if (bytes.substr(0, 2) == "\xFF\xFE") {
    codePage = kCodePageUtf16Le;
    bytes.remove_prefix(2);
  } else if (bytes.substr(0, 2) == "\xFE\xFF") {
    codePage = kCodePageUtf16Be;
    bytes.remove_prefix(2);
  }
  if (codePage != 0) {
    result.Source = TEncodingSource::kByteOrderMark;
  } else if (const std::string label = CharsetOfContentType(contentType);
             !label.empty() && (codePage = CodePageForLabel(label)) != 0) {
    result.Source = TEncodingSource::kHttp;
  } else if (html && (codePage = MetaCodePage(bytes)) != 0) {
    result.Source = TEncodingSource::kMeta;
  }
  if (codePage == 0 || !Decode(codePage, bytes, result.Text)) {
    codePage = defaultCodePage;
    result.Source = TEncodingSource::kDefault;
    if (!Decode(codePage, bytes, result.Text)) {
      codePage = AnsiCodePage();
      result.Text = AnsiToWide(bytes);
    }
  }
  result.CodePage = codePage;
  return result;
}

#include <errno.h>
#include <iconv.h>

#include <cstring>

#include "runtime/code_pages.h"
#include "runtime/scope_exit.h"

namespace {

// The C library's name for a Windows code page; nullptr for none.
const char* IconvName(unsigned codePage) {
  switch (codePage) {
    case kCodePageUtf8: return "UTF-8";
    case kCodePageUtf16Le: return "UTF-16LE";
    case kCodePageUtf16Be: return "UTF-16BE";
    case 437: return "CP437";
    case 850: return "CP850";
    case 852: return "CP852";
    case 866: return "CP866";
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 10000: return "MACINTOSH";
    case 10007: return "MAC-CYRILLIC";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20932: return "EUC-JP";
    case 50220: return "ISO-2022-JP";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28593: return "ISO-8859-3";
    case 28594: return "ISO-8859-4";
    case 28595: return "ISO-8859-5";
    case 28596: return "ISO-8859-6";
    case 28597: return "ISO-8859-7";
    case 28598: return "ISO-8859-8";
    case 28599: return "ISO-8859-9";
    case 28600: return "ISO-8859-10";
    case 28601: return "ISO-8859-11";
    case 28603: return "ISO-8859-13";
    case 28604: return "ISO-8859-14";
    case 28605: return "ISO-8859-15";
    case 28606: return "ISO-8859-16";
    default: return nullptr;
  }
}

// The wide characters as iconv writes them on this system.
constexpr const char* kWideName = sizeof(wchar_t) == 4 ? "WCHAR_T" : "UTF-16LE";

}  // namespace

unsigned AnsiCodePage() { return kCodePageWindows1252; }

bool CodePageToWide(unsigned codePage, std::string_view bytes, std::wstring& out) {
  const char* name = IconvName(codePage);
  if (name == nullptr) return false;
  iconv_t converter = iconv_open(kWideName, name);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  const TScopeExit close([converter] { iconv_close(converter); });
  std::wstring result;
  result.reserve(bytes.size());
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  wchar_t buffer[4096];
  for (;;) {
    char* to = reinterpret_cast<char*>(buffer);
    size_t toLeft = sizeof buffer;
    // A null input flushes the converter's state at the end.
    const size_t done = inLeft > 0 ? iconv(converter, &in, &inLeft, &to, &toLeft)
                                   : iconv(converter, nullptr, nullptr, &to, &toLeft);
    const int error = done == static_cast<size_t>(-1) ? errno : 0;
    result.append(buffer, static_cast<size_t>(reinterpret_cast<wchar_t*>(to) - buffer));
    if (error == E2BIG) continue;
    if (error == EILSEQ || error == EINVAL) {
      // An invalid or cut-off sequence: one replacement, then on after its
      // first byte.
      result.push_back(L'\xFFFD');
      ++in;
      --inLeft;
      continue;
    }
    if (error != 0) return false;
    if (inLeft == 0) {
      char* flushTo = reinterpret_cast<char*>(buffer);
      size_t flushLeft = sizeof buffer;
      iconv(converter, nullptr, nullptr, &flushTo, &flushLeft);
      result.append(buffer, static_cast<size_t>(reinterpret_cast<wchar_t*>(flushTo) - buffer));
      break;
    }
  }
  out = std::move(result);
  return true;
}

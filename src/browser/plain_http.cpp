#include "browser/plain_http.h"

#include <algorithm>
#include <cwctype>

#include "runtime/ansi.h"
#include "runtime/conversions.h"

namespace {

std::wstring Lower(std::wstring_view text) {
  std::wstring result(text);
  for (wchar_t& c : result) c = static_cast<wchar_t>(std::towlower(c));
  return result;
}

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f'; }

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// "scheme:" at the start: letters, digits, "+", "-", "." after a letter.
size_t SchemeLength(std::wstring_view url) {
  if (url.empty() || !std::iswalpha(url[0])) return 0;
  for (size_t i = 1; i < url.size(); ++i) {
    const wchar_t c = url[i];
    if (c == L':') return i;
    if (!(std::iswalnum(c) || c == L'+' || c == L'-' || c == L'.')) return 0;
  }
  return 0;
}

// Removes "." and ".." segments from a path that starts with "/".
std::wstring NormalisePath(std::wstring_view path) {
  std::vector<std::wstring> segments;
  size_t i = 1;
  bool trailingSlash = false;
  while (i <= path.size()) {
    size_t end = path.find(L'/', i);
    if (end == std::wstring_view::npos) end = path.size();
    std::wstring segment(path.substr(i, end - i));
    trailingSlash = end < path.size() || segment == L"." || segment == L"..";
    if (segment == L"..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != L"." && !(segment.empty() && end < path.size())) {
      if (!segment.empty()) segments.push_back(segment);
    }
    i = end + 1;
  }
  std::wstring result;
  for (const std::wstring& segment : segments) result += L"/" + segment;
  if (result.empty() || trailingSlash) result += L"/";
  return result;
}

}  // namespace

std::wstring ResolveUrl(std::wstring_view base, std::wstring_view href) {
  if (href.empty()) return std::wstring(base.substr(0, base.find(L'#')));
  if (SchemeLength(href) > 0) return std::wstring(href);
  const size_t schemeEnd = SchemeLength(base);
  if (schemeEnd == 0 || base.substr(schemeEnd, 3) != L"://") return std::wstring(href);
  const std::wstring_view scheme = base.substr(0, schemeEnd + 1);  // "http:"
  if (href.substr(0, 2) == L"//") return std::wstring(scheme) + std::wstring(href);
  const size_t authorityStart = schemeEnd + 3;
  size_t pathStart = base.find_first_of(L"/?#", authorityStart);
  if (pathStart == std::wstring_view::npos) pathStart = base.size();
  const std::wstring_view origin = base.substr(0, pathStart);
  std::wstring_view rest = base.substr(pathStart);
  const std::wstring_view withoutFragment = rest.substr(0, rest.find(L'#'));
  if (href[0] == L'#') return std::wstring(origin) + std::wstring(withoutFragment) + std::wstring(href);
  const std::wstring_view path = withoutFragment.substr(0, withoutFragment.find(L'?'));
  if (href[0] == L'?') return std::wstring(origin) + (path.empty() ? L"/" : std::wstring(path)) + std::wstring(href);
  // Split off the query and fragment of href; only its path is normalised.
  const size_t hrefPathEnd = std::min(href.find(L'?'), href.find(L'#'));
  const std::wstring_view hrefPath = href.substr(0, hrefPathEnd);
  const std::wstring_view hrefTail = hrefPathEnd == std::wstring_view::npos ? std::wstring_view() : href.substr(hrefPathEnd);
  std::wstring merged;
  if (hrefPath.empty()) {
    merged = path.empty() ? L"/" : std::wstring(path);
  } else if (hrefPath[0] == L'/') {
    merged = std::wstring(hrefPath);
  } else {
    const size_t slash = path.rfind(L'/');
    merged = (slash == std::wstring_view::npos ? std::wstring(L"/") : std::wstring(path.substr(0, slash + 1))) +
             std::wstring(hrefPath);
  }
  return std::wstring(origin) + NormalisePath(merged) + std::wstring(hrefTail);
}

bool ParseHttpUrl(std::wstring_view url, bool utf8, THttpUrl& result) {
  if (Lower(url.substr(0, 7)) != L"http://") return false;
  std::wstring_view rest = url.substr(7);
  rest = rest.substr(0, rest.find(L'#'));
  const size_t pathStart = std::min(rest.find(L'/'), rest.find(L'?'));
  std::wstring_view authority = rest.substr(0, pathStart);
  std::wstring_view path = pathStart == std::wstring_view::npos ? std::wstring_view() : rest.substr(pathStart);
  if (const size_t at = authority.rfind(L'@'); at != std::wstring_view::npos) authority.remove_prefix(at + 1);
  result.Port = 80;
  if (const size_t colon = authority.find(L':'); colon != std::wstring_view::npos) {
    unsigned long port = 0;
    for (wchar_t c : authority.substr(colon + 1)) {
      if (c < L'0' || c > L'9') return false;
      port = port * 10 + static_cast<unsigned long>(c - L'0');
      if (port > 65535) return false;
    }
    if (port == 0) return false;
    result.Port = static_cast<uint16_t>(port);
    authority = authority.substr(0, colon);
  }
  if (authority.empty()) return false;
  result.Host = WideToAnsi(authority);
  const std::string bytes = utf8 ? WideToUtf8(path) : WideToAnsi(path);
  static const char hex[] = "0123456789ABCDEF";
  result.Path.clear();
  if (bytes.empty() || bytes[0] != '/') result.Path.push_back('/');
  for (unsigned char c : bytes) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>') {
      result.Path += '%';
      result.Path += hex[c >> 4];
      result.Path += hex[c & 15];
    } else {
      result.Path += static_cast<char>(c);
    }
  }
  return true;
}

bool ParseHttpAnswer(std::string_view bytes, THttpAnswer& answer) {
  size_t headEnd = bytes.find("\r\n\r\n");
  size_t bodyStart = headEnd == std::string_view::npos ? std::string_view::npos : headEnd + 4;
  if (headEnd == std::string_view::npos) {
    headEnd = bytes.find("\n\n");
    bodyStart = headEnd == std::string_view::npos ? bytes.size() : headEnd + 2;
    if (headEnd == std::string_view::npos) headEnd = bytes.size();
  }
  const std::string_view head = bytes.substr(0, headEnd);
  size_t lineEnd = head.find('\n');
  std::string_view statusLine = head.substr(0, lineEnd);
  if (statusLine.substr(0, 5) != "HTTP/") return false;
  const size_t space = statusLine.find(' ');
  if (space == std::string_view::npos) return false;
  int code = 0;
  size_t k = space + 1;
  for (; k < statusLine.size() && statusLine[k] >= '0' && statusLine[k] <= '9'; ++k) code = code * 10 + (statusLine[k] - '0');
  if (k == space + 1) return false;
  answer.StatusCode = code;
  size_t contentLength = std::string_view::npos;
  while (lineEnd != std::string_view::npos && lineEnd < head.size()) {
    const size_t start = lineEnd + 1;
    lineEnd = head.find('\n', start);
    std::string_view line = head.substr(start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = AsciiUpperCase(line.substr(0, colon));
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    if (name == "CONTENT-TYPE") {
      answer.ContentType = std::string(value);
    } else if (name == "LOCATION") {
      answer.Location = std::string(value);
    } else if (name == "CONTENT-LENGTH") {
      size_t n = 0;
      bool digits = !value.empty();
      for (char c : value) {
        if (c < '0' || c > '9') {
          digits = false;
          break;
        }
        n = n * 10 + static_cast<size_t>(c - '0');
      }
      if (digits) contentLength = n;
    }
  }
  std::string_view body = bodyStart <= bytes.size() ? bytes.substr(bodyStart) : std::string_view();
  if (contentLength != std::string_view::npos && contentLength < body.size()) body = body.substr(0, contentLength);
  answer.Body = std::string(body);
  return true;
}

bool IsWindowCloseScript(std::wstring_view url) {
  std::wstring text = Lower(Trim(url));
  std::wstring compact;
  for (wchar_t c : text) {
    if (!IsSpace(c)) compact.push_back(c);
  }
  while (!compact.empty() && compact.back() == L';') compact.pop_back();
  return compact == L"javascript:window.close()" || compact == L"javascript:self.close()" ||
         compact == L"javascript:top.close()";
}

#include "browser/plain_html.h"

#include <algorithm>
#include <cwctype>
#include <map>

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

// Character references; an unknown one stays as written.
std::wstring DecodeEntities(std::wstring_view text) {
  static const std::map<std::wstring, wchar_t> named = {
      {L"amp", L'&'},     {L"lt", L'<'},      {L"gt", L'>'},     {L"quot", L'"'},   {L"apos", L'\''},
      {L"nbsp", 0xA0},    {L"copy", 0xA9},    {L"reg", 0xAE},    {L"laquo", 0xAB},  {L"raquo", 0xBB},
      {L"mdash", 0x2014}, {L"ndash", 0x2013}, {L"hellip", 0x2026}, {L"middot", 0xB7}, {L"bull", 0x2022},
  };
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'&') {
      out.push_back(text[i]);
      continue;
    }
    const size_t end = text.find(L';', i + 1);
    if (end == std::wstring_view::npos || end - i > 10) {
      out.push_back(L'&');
      continue;
    }
    std::wstring_view name = text.substr(i + 1, end - i - 1);
    if (!name.empty() && name[0] == L'#') {
      unsigned long code = 0;
      bool ok = name.size() > 1;
      const bool hex = name.size() > 1 && (name[1] == L'x' || name[1] == L'X');
      for (size_t k = hex ? 2 : 1; k < name.size() && ok; ++k) {
        const wchar_t c = name[k];
        unsigned digit;
        if (c >= L'0' && c <= L'9') {
          digit = static_cast<unsigned>(c - L'0');
        } else if (hex && std::iswxdigit(c)) {
          digit = static_cast<unsigned>(std::towlower(c) - L'a' + 10);
        } else {
          ok = false;
          break;
        }
        code = code * (hex ? 16 : 10) + digit;
        if (code > 0xFFFF) ok = false;
      }
      if (ok && (!hex || name.size() > 2) && code != 0) {
        out.push_back(static_cast<wchar_t>(code));
        i = end;
        continue;
      }
    } else if (auto found = named.find(Lower(name)); found != named.end()) {
      out.push_back(found->second);
      i = end;
      continue;
    }
    out.push_back(L'&');
  }
  return out;
}

struct TTag {
  std::wstring Name;  // lower case
  bool Closing = false;
  std::map<std::wstring, std::wstring> Attributes;  // lower-case names, decoded values
};

// Reads the tag starting at html[at] == '<'; returns the index after it.
size_t ReadTag(std::wstring_view html, size_t at, TTag& tag) {
  size_t i = at + 1;
  if (i < html.size() && html[i] == L'/') {
    tag.Closing = true;
    ++i;
  }
  const size_t nameStart = i;
  while (i < html.size() && !IsSpace(html[i]) && html[i] != L'>' && html[i] != L'/') ++i;
  tag.Name = Lower(html.substr(nameStart, i - nameStart));
  while (i < html.size() && html[i] != L'>') {
    while (i < html.size() && (IsSpace(html[i]) || html[i] == L'/')) ++i;
    if (i >= html.size() || html[i] == L'>') break;
    const size_t attrStart = i;
    while (i < html.size() && !IsSpace(html[i]) && html[i] != L'=' && html[i] != L'>') ++i;
    std::wstring name = Lower(html.substr(attrStart, i - attrStart));
    while (i < html.size() && IsSpace(html[i])) ++i;
    std::wstring value;
    if (i < html.size() && html[i] == L'=') {
      ++i;
      while (i < html.size() && IsSpace(html[i])) ++i;
      if (i < html.size() && (html[i] == L'"' || html[i] == L'\'')) {
        const wchar_t quote = html[i++];
        const size_t valueStart = i;
        while (i < html.size() && html[i] != quote) ++i;
        value = DecodeEntities(html.substr(valueStart, i - valueStart));
        if (i < html.size()) ++i;
      } else {
        const size_t valueStart = i;
        while (i < html.size() && !IsSpace(html[i]) && html[i] != L'>') ++i;
        value = DecodeEntities(html.substr(valueStart, i - valueStart));
      }
    }
    if (!name.empty()) tag.Attributes.emplace(std::move(name), std::move(value));
  }
  return i < html.size() ? i + 1 : i;
}

class THtmlBuilder {
 public:
  THtmlPage Page;
  int Bold = 0;
  int Heading = 0;
  int Link = -1;
  std::vector<bool> Spans;  // per open span: whether it highlights
  int Highlight = 0;
  bool Preformatted = false;

  void AddText(std::wstring_view text) {
    std::wstring collapsed;
    if (Preformatted) {
      for (wchar_t c : text) {
        if (c == L'\n') {
          Flush(collapsed);
          Break(THtmlItem::kLineBreak);
        } else if (c != L'\r') {
          collapsed.push_back(c == L'\t' ? L' ' : c);
        }
      }
      Flush(collapsed);
      return;
    }
    for (wchar_t c : text) {
      if (IsSpace(c)) {
        if (!collapsed.empty() && collapsed.back() == L' ') continue;
        if (collapsed.empty() && PreviousEndsInSpace()) continue;
        collapsed.push_back(L' ');
      } else {
        collapsed.push_back(c);
      }
    }
    Flush(collapsed);
  }

  void Break(THtmlItem::TKind kind) {
    THtmlItem item;
    item.Kind = kind;
    // Consecutive paragraph breaks make one.
    if (kind == THtmlItem::kParagraph && !Page.Items.empty() && Page.Items.back().Kind == THtmlItem::kParagraph) return;
    Page.Items.push_back(std::move(item));
  }

 private:
  bool PreviousEndsInSpace() const {
    if (Page.Items.empty()) return true;
    const THtmlItem& last = Page.Items.back();
    return last.Kind != THtmlItem::kText || (!last.Text.empty() && last.Text.back() == L' ');
  }

  void Flush(std::wstring& text) {
    if (text.empty()) return;
    std::wstring decoded = DecodeEntities(text);
    text.clear();
    const bool bold = Bold > 0 || Heading > 0;
    if (!Page.Items.empty()) {
      THtmlItem& last = Page.Items.back();
      if (last.Kind == THtmlItem::kText && last.Bold == bold && last.Heading == Heading && last.Link == Link &&
          last.Highlight == (Highlight > 0)) {
        last.Text += decoded;
        return;
      }
    }
    THtmlItem item;
    item.Text = std::move(decoded);
    item.Bold = bold;
    item.Heading = Heading;
    item.Link = Link;
    item.Highlight = Highlight > 0;
    Page.Items.push_back(std::move(item));
  }
};

bool IsBlockTag(const std::wstring& name) {
  static const wchar_t* const blocks[] = {L"p",     L"div",   L"table", L"tr",         L"ul",  L"ol",
                                          L"dl",    L"dt",    L"dd",    L"blockquote", L"pre", L"center",
                                          L"hr",    L"form",  L"body",  L"address",    L"h1",  L"h2",
                                          L"h3",    L"h4",    L"h5",    L"h6"};
  for (const wchar_t* block : blocks) {
    if (name == block) return true;
  }
  return false;
}

}  // namespace

THtmlPage ParseHtml(std::wstring_view html) {
  THtmlBuilder b;
  size_t i = 0;
  while (i < html.size()) {
    if (html[i] != L'<') {
      const size_t next = html.find(L'<', i);
      const size_t end = next == std::wstring_view::npos ? html.size() : next;
      b.AddText(html.substr(i, end - i));
      i = end;
      continue;
    }
    if (html.substr(i, 4) == L"<!--") {
      const size_t end = html.find(L"-->", i + 4);
      i = end == std::wstring_view::npos ? html.size() : end + 3;
      continue;
    }
    if (i + 1 < html.size() && html[i + 1] == L'!') {  // doctype and the like
      const size_t end = html.find(L'>', i);
      i = end == std::wstring_view::npos ? html.size() : end + 1;
      continue;
    }
    if (i + 1 >= html.size() || !(std::iswalpha(html[i + 1]) || html[i + 1] == L'/')) {
      b.AddText(html.substr(i, 1));  // a lone "<" is text
      ++i;
      continue;
    }
    TTag tag;
    i = ReadTag(html, i, tag);
    const std::wstring& name = tag.Name;
    if (!tag.Closing && (name == L"script" || name == L"style" || name == L"title")) {
      // Raw content up to the matching end tag.
      const std::wstring lowerRest = Lower(html.substr(i));
      const size_t end = lowerRest.find(L"</" + name);
      const std::wstring_view content = html.substr(i, end == std::wstring::npos ? html.size() - i : end);
      if (name == L"title") b.Page.Title = std::wstring(Trim(DecodeEntities(content)));
      i = end == std::wstring::npos ? html.size() : i + end;
      const size_t close = html.find(L'>', i);
      i = close == std::wstring_view::npos ? html.size() : close + 1;
      continue;
    }
    if (IsBlockTag(name)) b.Break(THtmlItem::kParagraph);
    if (name.size() == 2 && name[0] == L'h' && name[1] >= L'1' && name[1] <= L'6') {
      b.Heading = tag.Closing ? 0 : name[1] - L'0';
    } else if (name == L"b" || name == L"strong") {
      b.Bold = tag.Closing ? std::max(0, b.Bold - 1) : b.Bold + 1;
    } else if (name == L"pre") {
      b.Preformatted = !tag.Closing;
    } else if (name == L"br" && !tag.Closing) {
      b.Break(THtmlItem::kLineBreak);
    } else if (name == L"li" && !tag.Closing) {
      b.Break(THtmlItem::kLineBreak);
      b.AddText(L"\x2022 ");
    } else if ((name == L"td" || name == L"th") && !tag.Closing) {
      b.AddText(L" ");
    } else if (name == L"a") {
      if (tag.Closing) {
        b.Link = -1;
      } else if (auto href = tag.Attributes.find(L"href"); href != tag.Attributes.end()) {
        THtmlLink link;
        link.Href = std::wstring(Trim(href->second));
        if (auto target = tag.Attributes.find(L"target"); target != tag.Attributes.end()) link.Target = target->second;
        b.Page.Links.push_back(std::move(link));
        b.Link = static_cast<int>(b.Page.Links.size()) - 1;
      }
    } else if (name == L"span") {
      if (tag.Closing) {
        if (!b.Spans.empty()) {
          if (b.Spans.back()) --b.Highlight;
          b.Spans.pop_back();
        }
      } else {
        auto style = tag.Attributes.find(L"style");
        const bool highlight = style != tag.Attributes.end() && Lower(style->second).find(L"background") != std::wstring::npos;
        b.Spans.push_back(highlight);
        if (highlight) ++b.Highlight;
      }
    } else if (name == L"img" && !tag.Closing) {
      if (auto alt = tag.Attributes.find(L"alt"); alt != tag.Attributes.end() && !alt->second.empty()) {
        b.AddText(alt->second);
      }
    }
    if (IsBlockTag(name) && tag.Closing) b.Break(THtmlItem::kParagraph);
  }
  return std::move(b.Page);
}

THtmlPage PlainTextPage(std::wstring_view text) {
  THtmlPage page;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring_view::npos) end = text.size();
    std::wstring line(text.substr(start, end - start));
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (!line.empty()) {
      THtmlItem item;
      item.Text = std::move(line);
      page.Items.push_back(std::move(item));
    }
    if (end >= text.size()) break;
    THtmlItem br;
    br.Kind = THtmlItem::kLineBreak;
    page.Items.push_back(br);
    start = end + 1;
  }
  return page;
}

namespace {

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

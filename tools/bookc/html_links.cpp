#include "tools/bookc/html_links.h"

#include <cstdint>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (AsciiLower(text[at + i]) != prefix[i]) return false;
  return true;
}

// A cursor over the page that keeps the line number of its position.
class TCursor {
 public:
  explicit TCursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  size_t Pos() const { return pos_; }
  int Line() const { return line_; }
  char Peek(size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }
  std::string_view Text() const { return text_; }

  void Advance() {
    const char c = text_[pos_++];
    // CR LF counts once: at the LF.
    if (c == '\n' || (c == '\r' && Peek() != '\n')) ++line_;
  }
  // Moves to the first occurrence of what (or to the end) and past it.
  void SkipPast(std::string_view what, bool noCase = false) {
    while (!AtEnd()) {
      if (noCase ? StartsWithNoCase(text_, pos_, what) : text_.substr(pos_, what.size()) == what) {
        for (size_t i = 0; i < what.size(); ++i) Advance();
        return;
      }
      Advance();
    }
  }
  void SkipSpaces() {
    while (!AtEnd() && IsSpace(Peek())) Advance();
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string DecodeCharacterReferences(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      result += text[i];
      continue;
    }
    const std::string_view rest = text.substr(i + 1);
    bool done = false;
    for (const auto& [name, c] : kNamed) {
      if (rest.substr(0, name.size()) == name) {
        result += c;
        i += name.size();
        done = true;
        break;
      }
    }
    if (done) continue;
    if (!rest.empty() && rest[0] == '#') {
      const bool hex = rest.size() > 1 && AsciiLower(rest[1]) == 'x';
      size_t j = hex ? 2 : 1;
      uint32_t value = 0;
      size_t digits = 0;
      for (; j < rest.size() && digits < 8; ++j, ++digits) {
        const int d = HexValue(rest[j]);
        if (d < 0 || (!hex && d > 9)) break;
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
      }
      if (digits > 0 && j < rest.size() && rest[j] == ';' && value > 0 && value < 256) {
        result += static_cast<char>(value);
        i += j + 1;
        continue;
      }
    }
    result += '&';
  }
  return result;
}

std::vector<THtmlLink> ScanHtmlLinks(std::string_view page) {
  std::vector<THtmlLink> links;
  TCursor cur(page);
  while (!cur.AtEnd()) {
    if (cur.Peek() != '<') {
      cur.Advance();
      continue;
    }
    if (StartsWithNoCase(page, cur.Pos(), "<!--")) {
      cur.SkipPast("-->");
      continue;
    }
    const char next = cur.Peek(1);
    if (next == '!' || next == '?' || next == '/') {
      cur.SkipPast(">");
      continue;
    }
    if (!IsAsciiLetter(next)) {  // a "<" in text
      cur.Advance();
      continue;
    }
    cur.Advance();
    std::string tag;
    while (!cur.AtEnd() && !IsSpace(cur.Peek()) && cur.Peek() != '>' && cur.Peek() != '/') {
      tag += AsciiLower(cur.Peek());
      cur.Advance();
    }
    bool selfClosed = false;
    // Attributes up to the end of the tag.
    while (!cur.AtEnd()) {
      cur.SkipSpaces();
      if (cur.AtEnd()) break;
      if (cur.Peek() == '>') {
        cur.Advance();
        break;
      }
      if (cur.Peek() == '/') {
        selfClosed = cur.Peek(1) == '>';
        cur.Advance();
        continue;
      }
      const int line = cur.Line();
      std::string name;
      // A name runs to a blank, "=", "/" or ">"; its first character may be
      // "=" (browsers take it as part of the name).
      do {
        name += AsciiLower(cur.Peek());
        cur.Advance();
      } while (!cur.AtEnd() && !IsSpace(cur.Peek()) && cur.Peek() != '=' && cur.Peek() != '>' &&
               cur.Peek() != '/');
      cur.SkipSpaces();
      if (cur.Peek() != '=') continue;  // an attribute without a value
      cur.Advance();
      cur.SkipSpaces();
      std::string value;
      const char quote = cur.Peek();
      if (quote == '"' || quote == '\'') {
        cur.Advance();
        while (!cur.AtEnd() && cur.Peek() != quote) {
          value += cur.Peek();
          cur.Advance();
        }
        if (!cur.AtEnd()) cur.Advance();
      } else {
        while (!cur.AtEnd() && !IsSpace(cur.Peek()) && cur.Peek() != '>') {
          value += cur.Peek();
          cur.Advance();
        }
      }
      if (name == "href" || name == "src") links.push_back({line, name, DecodeCharacterReferences(value)});
    }
    // Script and style hold text that is not markup, up to their end tag.
    if (!selfClosed && (tag == "script" || tag == "style")) cur.SkipPast("</" + tag, true);
  }
  return links;
}

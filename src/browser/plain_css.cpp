#include "browser/plain_css.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <unordered_map>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }
wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
bool IsNameChar(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' || c == L'_' ||
         c >= 0x80;
}

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::wstring Lower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = LowerAscii(c);
  return out;
}

std::string LowerNarrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(LowerAscii(c)) : '?');
  return out;
}

// Removes comments; strings keep what looks like one.
std::wstring StripComments(std::wstring_view css) {
  std::wstring out;
  out.reserve(css.size());
  for (size_t i = 0; i < css.size(); ++i) {
    const wchar_t c = css[i];
    if (c == L'"' || c == L'\'') {
      const size_t end = css.find(c, i + 1);
      const size_t stop = end == std::wstring_view::npos ? css.size() : end + 1;
      out.append(css.substr(i, stop - i));
      i = stop - 1;
      continue;
    }
    if (c == L'/' && i + 1 < css.size() && css[i + 1] == L'*') {
      const size_t end = css.find(L"*/", i + 2);
      i = end == std::wstring_view::npos ? css.size() : end + 1;
      out.push_back(L' ');
      continue;
    }
    out.push_back(c);
  }
  return out;
}

// Index of the first of stops at depth 0 (outside strings, (), []) from
// at; npos for none.
size_t FindAtTop(std::wstring_view text, size_t at, std::wstring_view stops) {
  int depth = 0;
  for (size_t i = at; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'"' || c == L'\'') {
      const size_t end = text.find(c, i + 1);
      if (end == std::wstring_view::npos) return std::wstring_view::npos;
      i = end;
      continue;
    }
    if (c == L'\\') {
      ++i;
      continue;
    }
    if (depth == 0 && stops.find(c) != std::wstring_view::npos) return i;
    if (c == L'(' || c == L'[') ++depth;
    if ((c == L')' || c == L']') && depth > 0) --depth;
  }
  return std::wstring_view::npos;
}

// The index after the block whose "{" is at text[open].
size_t BlockEnd(std::wstring_view text, size_t open) {
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'"' || c == L'\'') {
      const size_t end = text.find(c, i + 1);
      if (end == std::wstring_view::npos) return text.size();
      i = end;
      continue;
    }
    if (c == L'\\') {
      ++i;
      continue;
    }
    if (c == L'{') ++depth;
    if (c == L'}' && --depth == 0) return i + 1;
  }
  return text.size();
}

// What lies between the "{" at text[open] and its "}" before end (or the
// text's end, for a block the sheet never closes).
std::wstring_view BlockContent(std::wstring_view text, size_t open, size_t end) {
  const size_t close = end > open + 1 && text[end - 1] == L'}' ? end - 1 : end;
  return text.substr(open + 1, close - open - 1);
}

std::vector<std::wstring_view> SplitAtTop(std::wstring_view text, wchar_t separator) {
  std::vector<std::wstring_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = FindAtTop(text, start, std::wstring_view(&separator, 1));
    if (at == std::wstring_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

// ---- media queries

// A length in CSS pixels; false when it is not one.
bool ParseLength(std::wstring_view text, double& pixels) {
  text = Trim(text);
  size_t i = 0;
  std::string number;
  while (i < text.size() && ((text[i] >= L'0' && text[i] <= L'9') || text[i] == L'.' || text[i] == L'-' ||
                             text[i] == L'+')) {
    number.push_back(static_cast<char>(text[i]));
    ++i;
  }
  if (number.empty() || number.size() > 20) return false;
  char* end = nullptr;
  const double value = std::strtod(number.c_str(), &end);
  if (end == number.c_str()) return false;
  const std::wstring unit = Lower(text.substr(i));
  if (unit == L"px" || (unit.empty() && value == 0)) {
    pixels = value;
  } else if (unit == L"em" || unit == L"rem") {
    pixels = value * 16;
  } else if (unit == L"pt") {
    pixels = value * 96 / 72;
  } else if (unit == L"cm") {
    pixels = value * 96 / 2.54;
  } else if (unit == L"mm") {
    pixels = value * 96 / 25.4;
  } else if (unit == L"in") {
    pixels = value * 96;
  } else {
    return false;
  }
  return true;
}

// One feature in parentheses, without them: "max-width: 1023px",
// "width >= 600px", "hover". Unknown features do not hold.
bool FeatureHolds(std::wstring_view feature, int width) {
  const std::wstring text = Lower(Trim(feature));
  const size_t colon = text.find(L':');
  auto compareWidth = [width](const std::wstring& op, double pixels) {
    if (op == L">=") return width >= pixels;
    if (op == L"<=") return width <= pixels;
    if (op == L">") return width > pixels;
    if (op == L"<") return width < pixels;
    if (op == L"=") return width == pixels;
    return false;
  };
  if (colon != std::wstring::npos) {
    const std::wstring name(Trim(std::wstring_view(text).substr(0, colon)));
    const std::wstring value(Trim(std::wstring_view(text).substr(colon + 1)));
    double pixels = 0;
    if (name == L"width" || name == L"device-width") return ParseLength(value, pixels) && compareWidth(L"=", pixels);
    if (name == L"min-width" || name == L"min-device-width") return ParseLength(value, pixels) && width >= pixels;
    if (name == L"max-width" || name == L"max-device-width") return ParseLength(value, pixels) && width <= pixels;
    if (name == L"orientation") return value == L"landscape";
    if (name == L"prefers-color-scheme") return value == L"light";
    if (name == L"prefers-reduced-motion" || name == L"prefers-contrast") return value == L"no-preference";
    if (name == L"hover" || name == L"any-hover") return value == L"hover";
    if (name == L"pointer" || name == L"any-pointer") return value == L"fine";
    if (name == L"scripting") return value == L"none";
    if (name == L"min-resolution" || name == L"min-device-pixel-ratio" || name == L"-webkit-min-device-pixel-ratio") {
      return value == L"1" || value == L"1dppx" || value == L"96dpi" || value == L"0";
    }
    if (name == L"max-resolution" || name == L"max-device-pixel-ratio" || name == L"-webkit-max-device-pixel-ratio") {
      return true;
    }
    return false;
  }
  if (text == L"color" || text == L"hover" || text == L"pointer" || text == L"grid") return text != L"grid";
  // Range form: "width >= 600px" or "600px <= width".
  for (const wchar_t* op : {L">=", L"<=", L">", L"<", L"="}) {
    const size_t at = text.find(op);
    if (at == std::wstring::npos) continue;
    const std::wstring left(Trim(std::wstring_view(text).substr(0, at)));
    const std::wstring right(Trim(std::wstring_view(text).substr(at + std::wstring_view(op).size())));
    double pixels = 0;
    if (left == L"width" && ParseLength(right, pixels)) return compareWidth(op, pixels);
    if (right == L"width" && ParseLength(left, pixels)) {
      // "600px < width" is "width > 600px".
      const std::wstring mirrored = op == std::wstring_view(L">=") ? L"<="
                                    : op == std::wstring_view(L"<=") ? L">="
                                    : op == std::wstring_view(L">")  ? L"<"
                                    : op == std::wstring_view(L"<")  ? L">"
                                                                     : L"=";
      return compareWidth(mirrored, pixels);
    }
    return false;
  }
  return false;
}

bool QueryHolds(std::wstring_view query, int width) {
  const std::wstring text = Lower(Trim(query));
  if (text.empty()) return false;
  // Words and parenthesised features, joined by "and".
  bool negate = false;
  bool first = true;
  bool holds = true;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size()) break;
    if (text[i] == L'(') {
      const size_t close = FindAtTop(text, i + 1, L")");
      if (close == std::wstring::npos) return false;
      const std::wstring_view inner = std::wstring_view(text).substr(i + 1, close - i - 1);
      bool value;
      if (Trim(inner).substr(0, 4) == L"not ") {
        value = !FeatureHolds(Trim(inner).substr(4), width);
      } else if (!Trim(inner).empty() && Trim(inner).front() == L'(') {
        value = QueryHolds(inner, width);
      } else {
        value = FeatureHolds(inner, width);
      }
      holds = holds && value;
      i = close + 1;
      first = false;
      continue;
    }
    size_t end = i;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != L'(') ++end;
    const std::wstring word = text.substr(i, end - i);
    i = end;
    if (word == L"and") continue;
    if (word == L"or") return false;  // not worth the general grammar
    if (first && word == L"not") {
      negate = true;
      continue;
    }
    if (first && word == L"only") continue;
    if (word == L"all" || word == L"screen") {
      first = false;
      continue;
    }
    holds = false;  // print, speech, an unknown type or word
    first = false;
  }
  return negate ? !holds : holds;
}

// ---- declarations

struct TDeclaration {
  std::wstring Name;
  std::wstring Value;
  bool Important = false;
};

std::vector<TDeclaration> SplitDeclarations(std::wstring_view block) {
  std::vector<TDeclaration> result;
  for (std::wstring_view part : SplitAtTop(block, L';')) {
    const size_t colon = part.find(L':');
    if (colon == std::wstring_view::npos) continue;
    TDeclaration d;
    d.Name = Lower(Trim(part.substr(0, colon)));
    std::wstring value = Lower(Trim(part.substr(colon + 1)));
    const size_t bang = value.rfind(L'!');
    if (bang != std::wstring::npos && Trim(std::wstring_view(value).substr(bang + 1)) == L"important") {
      d.Important = true;
      value = std::wstring(Trim(std::wstring_view(value).substr(0, bang)));
    }
    d.Value = std::move(value);
    result.push_back(std::move(d));
  }
  return result;
}

// ---- selectors

enum class TCombinator : uint8_t { kDescendant, kChild, kNext, kLater };

struct TAttributeTest {
  std::string Name;
  wchar_t Op = 0;  // 0: present; '=', '~', '|', '^', '$', '*'
  std::wstring Value;
  bool IgnoreCase = false;
};

enum class TPseudoKind : uint8_t {
  kFirstChild, kLastChild, kOnlyChild, kFirstOfType, kLastOfType, kOnlyOfType, kRoot, kEmpty, kLink,
  kNot, kIs, kNthChild, kNthLastChild, kNthOfType, kNthLastOfType,
};

struct TPseudo {
  TPseudoKind Kind;
  std::vector<std::shared_ptr<const TSelector>> Arguments;
  int A = 0;
  int B = 0;
};

struct TCompound {
  bool AnyType = true;
  TTag Tag = TTag::kUnknown;
  std::string TypeName;  // for unknown tags
  std::vector<std::wstring> Ids;
  std::vector<std::wstring> Classes;
  std::vector<TAttributeTest> Attributes;
  std::vector<TPseudo> Pseudos;
};

}  // namespace

struct TSelector {
  std::vector<TCompound> Compounds;
  std::vector<TCombinator> Combinators;  // Combinators[i] joins Compounds[i] and Compounds[i + 1]
};

namespace {

constexpr size_t kMaxCompounds = 16;

std::wstring ReadIdentifier(std::wstring_view text, size_t& i) {
  std::wstring out;
  while (i < text.size()) {
    if (text[i] == L'\\' && i + 1 < text.size()) {
      // An escape: a hexadecimal code point or the next character as it is.
      size_t k = i + 1;
      char32_t code = 0;
      size_t digits = 0;
      while (k < text.size() && digits < 6 && std::iswxdigit(text[k])) {
        const wchar_t c = LowerAscii(text[k]);
        code = code * 16 + static_cast<char32_t>(c <= L'9' ? c - L'0' : c - L'a' + 10);
        ++k;
        ++digits;
      }
      if (digits > 0) {
        if (k < text.size() && IsBlank(text[k])) ++k;
        AppendCodePoint(out, code == 0 || code > 0x10FFFF ? 0xFFFD : code);
        i = k;
      } else {
        out.push_back(text[i + 1]);
        i += 2;
      }
      continue;
    }
    if (!IsNameChar(text[i])) break;
    out.push_back(text[i++]);
  }
  return out;
}

// "an+b" of :nth-child(); false when it is not one.
bool ParseNth(std::wstring_view text, int& a, int& b) {
  std::wstring t;
  for (wchar_t c : text) {
    if (!IsBlank(c)) t.push_back(LowerAscii(c));
  }
  if (t == L"odd") {
    a = 2;
    b = 1;
    return true;
  }
  if (t == L"even") {
    a = 2;
    b = 0;
    return true;
  }
  const size_t n = t.find(L'n');
  auto number = [](std::wstring_view s, int& value) {
    if (s.empty() || s.size() > 6) return false;
    size_t i = 0;
    bool negative = false;
    if (s[0] == L'+' || s[0] == L'-') {
      negative = s[0] == L'-';
      ++i;
    }
    if (i >= s.size()) return false;
    int v = 0;
    for (; i < s.size(); ++i) {
      if (s[i] < L'0' || s[i] > L'9') return false;
      v = v * 10 + (s[i] - L'0');
    }
    value = negative ? -v : v;
    return true;
  };
  if (n == std::wstring::npos) {
    a = 0;
    return number(t, b);
  }
  const std::wstring_view coefficient = std::wstring_view(t).substr(0, n);
  if (coefficient.empty() || coefficient == L"+") a = 1;
  else if (coefficient == L"-") a = -1;
  else if (!number(coefficient, a)) return false;
  const std::wstring_view rest = std::wstring_view(t).substr(n + 1);
  b = 0;
  return rest.empty() || number(rest, b);
}

std::shared_ptr<const TSelector> ParseSelector(std::wstring_view text, uint32_t& specificity, int nesting = 0);

// A selector list as an argument of :not() or :is(); false when any part
// cannot be read.
bool ParseArguments(std::wstring_view text, std::vector<std::shared_ptr<const TSelector>>& arguments,
                    uint32_t& specificity, int nesting) {
  specificity = 0;
  for (std::wstring_view part : SplitAtTop(text, L',')) {
    uint32_t s = 0;
    auto selector = ParseSelector(part, s, nesting + 1);
    if (!selector) return false;
    specificity = std::max(specificity, s);
    arguments.push_back(std::move(selector));
  }
  return !arguments.empty();
}

// nullptr when the selector cannot be read or can never match here.
std::shared_ptr<const TSelector> ParseSelector(std::wstring_view text, uint32_t& specificity, int nesting) {
  if (nesting > 4) return nullptr;
  text = Trim(text);
  if (text.empty()) return nullptr;
  auto selector = std::make_shared<TSelector>();
  uint32_t ids = 0, classes = 0, types = 0;
  size_t i = 0;
  TCompound compound;
  bool compoundStarted = false;
  auto finishCompound = [&]() {
    selector->Compounds.push_back(std::move(compound));
    compound = TCompound();
    compoundStarted = false;
  };
  while (i < text.size()) {
    const wchar_t c = text[i];
    if (IsBlank(c) || c == L'>' || c == L'+' || c == L'~') {
      // A combinator between compounds.
      TCombinator combinator = TCombinator::kDescendant;
      while (i < text.size() && (IsBlank(text[i]) || text[i] == L'>' || text[i] == L'+' || text[i] == L'~')) {
        if (text[i] == L'>') combinator = TCombinator::kChild;
        else if (text[i] == L'+') combinator = TCombinator::kNext;
        else if (text[i] == L'~') combinator = TCombinator::kLater;
        ++i;
      }
      if (!compoundStarted || i >= text.size()) return nullptr;
      finishCompound();
      if (selector->Compounds.size() >= kMaxCompounds) return nullptr;
      selector->Combinators.push_back(combinator);
      continue;
    }
    compoundStarted = true;
    if (c == L'*') {
      ++i;
      continue;
    }
    if (c == L'#' || c == L'.') {
      ++i;
      std::wstring name = ReadIdentifier(text, i);
      if (name.empty()) return nullptr;
      if (c == L'#') {
        compound.Ids.push_back(std::move(name));
        ++ids;
      } else {
        compound.Classes.push_back(std::move(name));
        ++classes;
      }
      continue;
    }
    if (c == L'[') {
      const size_t close = FindAtTop(text, i + 1, L"]");
      if (close == std::wstring_view::npos) return nullptr;
      std::wstring_view inner = Trim(text.substr(i + 1, close - i - 1));
      i = close + 1;
      TAttributeTest test;
      size_t k = 0;
      test.Name = LowerNarrow(ReadIdentifier(inner, k));
      if (test.Name.empty()) return nullptr;
      while (k < inner.size() && IsBlank(inner[k])) ++k;
      if (k < inner.size()) {
        if (inner[k] == L'=') {
          test.Op = L'=';
          ++k;
        } else if (k + 1 < inner.size() && inner[k + 1] == L'=' && std::wstring_view(L"~|^$*").find(inner[k]) != std::wstring_view::npos) {
          test.Op = inner[k];
          k += 2;
        } else {
          return nullptr;
        }
        while (k < inner.size() && IsBlank(inner[k])) ++k;
        if (k < inner.size() && (inner[k] == L'"' || inner[k] == L'\'')) {
          const wchar_t quote = inner[k];
          const size_t end = inner.find(quote, k + 1);
          if (end == std::wstring_view::npos) return nullptr;
          test.Value = std::wstring(inner.substr(k + 1, end - k - 1));
          k = end + 1;
        } else {
          test.Value = ReadIdentifier(inner, k);
        }
        while (k < inner.size() && IsBlank(inner[k])) ++k;
        if (k < inner.size() && LowerAscii(inner[k]) == L'i') {
          test.IgnoreCase = true;
          ++k;
        } else if (k < inner.size() && LowerAscii(inner[k]) == L's') {
          ++k;
        }
        if (k != inner.size()) return nullptr;
      }
      compound.Attributes.push_back(std::move(test));
      ++classes;
      continue;
    }
    if (c == L':') {
      if (i + 1 < text.size() && text[i + 1] == L':') return nullptr;  // a pseudo-element
      ++i;
      const std::wstring name = Lower(ReadIdentifier(text, i));
      std::wstring_view argument;
      bool hasArgument = false;
      if (i < text.size() && text[i] == L'(') {
        const size_t close = FindAtTop(text, i + 1, L")");
        if (close == std::wstring_view::npos) return nullptr;
        argument = text.substr(i + 1, close - i - 1);
        hasArgument = true;
        i = close + 1;
      }
      TPseudo pseudo{};
      if (!hasArgument) {
        if (name == L"first-child") pseudo.Kind = TPseudoKind::kFirstChild;
        else if (name == L"last-child") pseudo.Kind = TPseudoKind::kLastChild;
        else if (name == L"only-child") pseudo.Kind = TPseudoKind::kOnlyChild;
        else if (name == L"first-of-type") pseudo.Kind = TPseudoKind::kFirstOfType;
        else if (name == L"last-of-type") pseudo.Kind = TPseudoKind::kLastOfType;
        else if (name == L"only-of-type") pseudo.Kind = TPseudoKind::kOnlyOfType;
        else if (name == L"root") pseudo.Kind = TPseudoKind::kRoot;
        else if (name == L"empty") pseudo.Kind = TPseudoKind::kEmpty;
        else if (name == L"link" || name == L"any-link") pseudo.Kind = TPseudoKind::kLink;
        else return nullptr;  // states (:hover, :checked, ...) and the old pseudo-elements never match
        ++classes;
      } else if (name == L"not" || name == L"is" || name == L"where" || name == L"matches" || name == L"-webkit-any") {
        uint32_t s = 0;
        if (!ParseArguments(argument, pseudo.Arguments, s, nesting)) {
          if (name != L"not") return nullptr;
          // :not() of something never matching always holds.
          continue;
        }
        pseudo.Kind = name == L"not" ? TPseudoKind::kNot : TPseudoKind::kIs;
        if (name != L"where") {
          ids += s >> 20;
          classes += (s >> 10) & 0x3FF;
          types += s & 0x3FF;
        }
      } else if (name == L"nth-child" || name == L"nth-last-child" || name == L"nth-of-type" ||
                 name == L"nth-last-of-type") {
        if (!ParseNth(argument, pseudo.A, pseudo.B)) return nullptr;
        pseudo.Kind = name == L"nth-child"        ? TPseudoKind::kNthChild
                      : name == L"nth-last-child" ? TPseudoKind::kNthLastChild
                      : name == L"nth-of-type"    ? TPseudoKind::kNthOfType
                                                  : TPseudoKind::kNthLastOfType;
        ++classes;
      } else {
        return nullptr;
      }
      compound.Pseudos.push_back(std::move(pseudo));
      continue;
    }
    if (IsNameChar(c) || c == L'\\') {
      const std::string name = LowerNarrow(ReadIdentifier(text, i));
      if (name.empty()) return nullptr;
      compound.AnyType = false;
      compound.Tag = TagForName(name);
      if (compound.Tag == TTag::kUnknown) compound.TypeName = name;
      ++types;
      continue;
    }
    return nullptr;  // "|" namespaces, "&" nesting and anything else
  }
  if (!compoundStarted) return nullptr;
  finishCompound();
  specificity = std::min<uint32_t>(ids, 0x3FF) << 20 | std::min<uint32_t>(classes, 0x3FF) << 10 |
                std::min<uint32_t>(types, 0x3FF);
  return selector;
}

// ---- style sheets

class TSheetParser {
 public:
  explicit TSheetParser(TStyleSheet& sheet) : sheet_(sheet) {}

  void Parse(std::wstring_view css, int media, int depth) {
    if (depth > 8) return;
    size_t i = 0;
    while (i < css.size()) {
      while (i < css.size() && (IsBlank(css[i]) || css[i] == L';')) ++i;
      if (i >= css.size()) break;
      if (css.compare(i, 4, L"<!--") == 0) {
        i += 4;
        continue;
      }
      if (css.compare(i, 3, L"-->") == 0) {
        i += 3;
        continue;
      }
      if (css[i] == L'}') {  // a stray one
        ++i;
        continue;
      }
      if (css[i] == L'@') {
        i = AtRule(css, i, media, depth);
        continue;
      }
      const size_t open = FindAtTop(css, i, L"{");
      if (open == std::wstring_view::npos) break;
      const size_t end = BlockEnd(css, open);
      const std::wstring_view prelude = css.substr(i, open - i);
      const std::wstring_view block = BlockContent(css, open, end);
      Rule(prelude, block, media);
      i = end;
    }
  }

 private:
  size_t AtRule(std::wstring_view css, size_t i, int media, int depth) {
    size_t k = i + 1;
    const std::wstring name = Lower(ReadIdentifier(css, k));
    const size_t stop = FindAtTop(css, k, L";{");
    if (stop == std::wstring_view::npos) return css.size();
    const std::wstring_view prelude = Trim(css.substr(k, stop - k));
    if (css[stop] == L';') {
      if (name == L"import" && sheet_.Rules.empty()) Import(prelude, media);
      return stop + 1;
    }
    const size_t end = BlockEnd(css, stop);
    const std::wstring_view block = BlockContent(css, stop, end);
    if (name == L"media") {
      Parse(block, WithMedia(media, std::wstring(prelude)), depth + 1);
    } else if (name == L"supports" || name == L"layer" || name == L"document" || name == L"-moz-document" ||
               name == L"container" || name == L"scope") {
      // Their rules apply here as they do in a current browser (mostly).
      Parse(block, media, depth + 1);
    }
    return end;
  }

  void Import(std::wstring_view prelude, int media) {
    std::wstring_view rest = prelude;
    std::wstring href;
    if (Lower(rest.substr(0, 4)) == L"url(") {
      const size_t close = rest.find(L')');
      if (close == std::wstring_view::npos) return;
      std::wstring_view inner = Trim(rest.substr(4, close - 4));
      if (inner.size() >= 2 && (inner.front() == L'"' || inner.front() == L'\'') && inner.back() == inner.front()) {
        inner = inner.substr(1, inner.size() - 2);
      }
      href = inner;
      rest = rest.substr(close + 1);
    } else if (!rest.empty() && (rest.front() == L'"' || rest.front() == L'\'')) {
      const size_t close = rest.find(rest.front(), 1);
      if (close == std::wstring_view::npos) return;
      href = rest.substr(1, close - 1);
      rest = rest.substr(close + 1);
    } else {
      return;
    }
    TStyleImport import;
    import.Href = std::move(href);
    import.Media = std::wstring(Trim(rest));
    if (media >= 0) {
      // An import inside @media is not allowed; an import's own media list
      // is what it has.
      return;
    }
    sheet_.Imports.push_back(std::move(import));
  }

  int WithMedia(int media, std::wstring list) {
    std::vector<std::wstring> conditions;
    if (media >= 0) conditions = sheet_.Media[static_cast<size_t>(media)];
    conditions.push_back(std::move(list));
    sheet_.Media.push_back(std::move(conditions));
    return static_cast<int>(sheet_.Media.size()) - 1;
  }

  void Rule(std::wstring_view prelude, std::wstring_view block, int media) {
    const TStyleDeclarations declarations = ParseDeclarations(block);
    if (!declarations.Any()) return;
    for (std::wstring_view part : SplitAtTop(prelude, L',')) {
      uint32_t specificity = 0;
      auto selector = ParseSelector(part, specificity);
      if (!selector) continue;
      TStyleRule rule;
      rule.Selector = std::move(selector);
      rule.Specificity = specificity;
      rule.Declarations = declarations;
      rule.Media = media;
      sheet_.Rules.push_back(std::move(rule));
    }
  }

  TStyleSheet& sheet_;
};

// ---- matching

enum class TMatch { kMatches, kFailsLocally, kFailsAllSiblings, kFailsCompletely };

class TMatcher {
 public:
  explicit TMatcher(const TDomDocument& document) : doc_(document) {}

  bool Matches(const TSelector& selector, int element) const {
    return Match(selector, static_cast<int>(selector.Compounds.size()) - 1, element) == TMatch::kMatches;
  }

 private:
  int ParentElement(int element) const {
    const int parent = doc_.Nodes[element].Parent;
    return parent > 0 ? parent : -1;
  }
  int PreviousElement(int element) const {
    int node = doc_.Nodes[element].PreviousSibling;
    while (node >= 0 && doc_.Nodes[node].IsText) node = doc_.Nodes[node].PreviousSibling;
    return node;
  }
  int NextElement(int element) const {
    int node = doc_.Nodes[element].NextSibling;
    while (node >= 0 && doc_.Nodes[node].IsText) node = doc_.Nodes[node].NextSibling;
    return node;
  }
  bool SameType(int a, int b) const {
    const TDomNode& x = doc_.Nodes[a];
    const TDomNode& y = doc_.Nodes[b];
    return x.Tag == y.Tag && (x.Tag != TTag::kUnknown || x.Name == y.Name);
  }
  // 1-based position among siblings (of the same type when ofType), from
  // the start or the end.
  int Position(int element, bool ofType, bool fromEnd) const {
    int position = 1;
    for (int node = fromEnd ? NextElement(element) : PreviousElement(element); node >= 0;
         node = fromEnd ? NextElement(node) : PreviousElement(node)) {
      if (!ofType || SameType(node, element)) ++position;
    }
    return position;
  }
  static bool NthHolds(int a, int b, int position) {
    if (a == 0) return position == b;
    const int diff = position - b;
    return diff % a == 0 && diff / a >= 0;
  }

  static bool HasToken(const std::wstring& list, const std::wstring& token) {
    size_t i = 0;
    while (i < list.size()) {
      while (i < list.size() && IsBlank(list[i])) ++i;
      size_t end = i;
      while (end < list.size() && !IsBlank(list[end])) ++end;
      if (end - i == token.size() && list.compare(i, end - i, token) == 0) return true;
      i = end;
    }
    return false;
  }

  bool AttributeHolds(const TAttributeTest& test, int element) const {
    const std::wstring* value = doc_.Attribute(element, test.Name);
    if (value == nullptr) return false;
    if (test.Op == 0) return true;
    const std::wstring actual = test.IgnoreCase ? Lower(*value) : *value;
    const std::wstring wanted = test.IgnoreCase ? Lower(test.Value) : test.Value;
    switch (test.Op) {
      case L'=': return actual == wanted;
      case L'~': return !wanted.empty() && HasToken(actual, wanted);
      case L'|': return actual == wanted || actual.rfind(wanted + L"-", 0) == 0;
      case L'^': return !wanted.empty() && actual.rfind(wanted, 0) == 0;
      case L'$': return !wanted.empty() && actual.size() >= wanted.size() &&
                        actual.compare(actual.size() - wanted.size(), wanted.size(), wanted) == 0;
      case L'*': return !wanted.empty() && actual.find(wanted) != std::wstring::npos;
      default: return false;
    }
  }

  bool PseudoHolds(const TPseudo& pseudo, int element) const {
    switch (pseudo.Kind) {
      case TPseudoKind::kFirstChild: return PreviousElement(element) < 0;
      case TPseudoKind::kLastChild: return NextElement(element) < 0;
      case TPseudoKind::kOnlyChild: return PreviousElement(element) < 0 && NextElement(element) < 0;
      case TPseudoKind::kFirstOfType: return Position(element, true, false) == 1;
      case TPseudoKind::kLastOfType: return Position(element, true, true) == 1;
      case TPseudoKind::kOnlyOfType: return Position(element, true, false) == 1 && Position(element, true, true) == 1;
      case TPseudoKind::kRoot: return ParentElement(element) < 0;
      case TPseudoKind::kEmpty: {
        for (int child = doc_.Nodes[element].FirstChild; child >= 0; child = doc_.Nodes[child].NextSibling) {
          if (!doc_.Nodes[child].IsText || !doc_.Nodes[child].Text.empty()) return false;
        }
        return true;
      }
      case TPseudoKind::kLink:
        return (doc_.Nodes[element].Tag == TTag::kA || doc_.Nodes[element].Tag == TTag::kArea) &&
               doc_.HasAttribute(element, "href");
      case TPseudoKind::kNot:
        for (const auto& argument : pseudo.Arguments) {
          if (Matches(*argument, element)) return false;
        }
        return true;
      case TPseudoKind::kIs:
        for (const auto& argument : pseudo.Arguments) {
          if (Matches(*argument, element)) return true;
        }
        return false;
      case TPseudoKind::kNthChild: return NthHolds(pseudo.A, pseudo.B, Position(element, false, false));
      case TPseudoKind::kNthLastChild: return NthHolds(pseudo.A, pseudo.B, Position(element, false, true));
      case TPseudoKind::kNthOfType: return NthHolds(pseudo.A, pseudo.B, Position(element, true, false));
      case TPseudoKind::kNthLastOfType: return NthHolds(pseudo.A, pseudo.B, Position(element, true, true));
    }
    return false;
  }

  bool CompoundHolds(const TCompound& compound, int element) const {
    const TDomNode& node = doc_.Nodes[element];
    if (!compound.AnyType) {
      if (node.Tag != compound.Tag) return false;
      if (compound.Tag == TTag::kUnknown && node.Name != compound.TypeName) return false;
    }
    if (!compound.Ids.empty()) {
      const std::wstring* id = doc_.Attribute(element, "id");
      if (id == nullptr) return false;
      for (const std::wstring& wanted : compound.Ids) {
        if (*id != wanted) return false;
      }
    }
    if (!compound.Classes.empty()) {
      const std::wstring* classes = doc_.Attribute(element, "class");
      if (classes == nullptr) return false;
      for (const std::wstring& wanted : compound.Classes) {
        if (!HasToken(*classes, wanted)) return false;
      }
    }
    for (const TAttributeTest& test : compound.Attributes) {
      if (!AttributeHolds(test, element)) return false;
    }
    for (const TPseudo& pseudo : compound.Pseudos) {
      if (!PseudoHolds(pseudo, element)) return false;
    }
    return true;
  }

  // Matching from the right, giving up early the way browsers do: once an
  // ancestor chain cannot match, no other ancestor can either.
  TMatch Match(const TSelector& selector, int index, int element) const {
    if (!CompoundHolds(selector.Compounds[static_cast<size_t>(index)], element)) return TMatch::kFailsLocally;
    if (index == 0) return TMatch::kMatches;
    switch (selector.Combinators[static_cast<size_t>(index - 1)]) {
      case TCombinator::kDescendant:
        for (int a = ParentElement(element); a >= 0; a = ParentElement(a)) {
          const TMatch m = Match(selector, index - 1, a);
          if (m == TMatch::kMatches || m == TMatch::kFailsCompletely) return m;
        }
        return TMatch::kFailsCompletely;
      case TCombinator::kChild: {
        const int parent = ParentElement(element);
        if (parent < 0) return TMatch::kFailsCompletely;
        const TMatch m = Match(selector, index - 1, parent);
        return m == TMatch::kFailsAllSiblings ? TMatch::kFailsLocally : m;
      }
      case TCombinator::kNext: {
        const int previous = PreviousElement(element);
        if (previous < 0) return TMatch::kFailsAllSiblings;
        return Match(selector, index - 1, previous);
      }
      case TCombinator::kLater:
        for (int s = PreviousElement(element); s >= 0; s = PreviousElement(s)) {
          const TMatch m = Match(selector, index - 1, s);
          if (m != TMatch::kFailsLocally) return m;
        }
        return TMatch::kFailsAllSiblings;
    }
    return TMatch::kFailsLocally;
  }

  const TDomDocument& doc_;
};

// The key a rule is filed under: its rightmost compound's id, else a
// class, else its tag; rules with none are tried for every element.
struct TRuleKey {
  enum TKind { kAny, kId, kClass, kTag, kTypeName } Kind = kAny;
  std::wstring Name;
  TTag Tag = TTag::kUnknown;
};

TRuleKey KeyOf(const TSelector& selector) {
  const TCompound& last = selector.Compounds.back();
  TRuleKey key;
  if (!last.Ids.empty()) {
    key.Kind = TRuleKey::kId;
    key.Name = last.Ids.front();
  } else if (!last.Classes.empty()) {
    key.Kind = TRuleKey::kClass;
    key.Name = last.Classes.front();
  } else if (!last.AnyType && last.Tag != TTag::kUnknown) {
    key.Kind = TRuleKey::kTag;
    key.Tag = last.Tag;
  }
  return key;
}

}  // namespace

TStyleDeclarations ParseDeclarations(std::wstring_view block) {
  TStyleDeclarations result;
  for (const TDeclaration& d : SplitDeclarations(block)) {
    if (d.Name == L"display") {
      if (d.Value.empty()) continue;
      result.Display = d.Value == L"none" ? TDisplayValue::kNone : TDisplayValue::kShown;
      result.DisplayImportant = d.Important;
    } else if (d.Name == L"visibility") {
      if (d.Value == L"hidden" || d.Value == L"collapse") {
        result.Visibility = TVisibilityValue::kHidden;
      } else if (d.Value == L"visible") {
        result.Visibility = TVisibilityValue::kVisible;
      } else {
        continue;
      }
      result.VisibilityImportant = d.Important;
    } else if (d.Name == L"background" || d.Name == L"background-color") {
      result.Background = !d.Value.empty() && d.Value != L"none" && d.Value != L"transparent" &&
                          d.Value != L"inherit" && d.Value != L"initial" && d.Value != L"unset";
    }
  }
  return result;
}

bool MediaMatches(std::wstring_view mediaList, int viewportWidth) {
  mediaList = Trim(mediaList);
  if (mediaList.empty()) return true;
  for (std::wstring_view query : SplitAtTop(mediaList, L',')) {
    if (QueryHolds(query, viewportWidth)) return true;
  }
  return false;
}

TStyleSheet ParseStyleSheet(std::wstring_view css) {
  TStyleSheet sheet;
  const std::wstring text = StripComments(css);
  TSheetParser(sheet).Parse(text, -1, 0);
  return sheet;
}

struct TStyleResolver::TCandidates {
  std::unordered_map<std::wstring, std::vector<size_t>> ById;
  std::unordered_map<std::wstring, std::vector<size_t>> ByClass;
  std::vector<std::vector<size_t>> ByTag = std::vector<std::vector<size_t>>(256);
  std::vector<size_t> Any;
};

TStyleResolver::TStyleResolver(const TDomDocument& document, const std::vector<TAppliedSheet>& sheets,
                               int viewportWidth)
    : document_(document), sheets_(sheets), candidates_(std::make_unique<TCandidates>()) {
  auto holds = [&](const std::wstring& list) {
    const auto found = std::find(conditions_.begin(), conditions_.end(), list);
    if (found != conditions_.end()) return static_cast<bool>(conditionResults_[static_cast<size_t>(found - conditions_.begin())]);
    const bool result = MediaMatches(list, viewportWidth);
    conditions_.push_back(list);
    conditionResults_.push_back(result);
    return result;
  };
  uint32_t order = 0;
  for (const TAppliedSheet& applied : sheets_) {
    if (!applied.Sheet) continue;
    bool sheetHolds = true;
    for (const std::wstring& list : applied.Media) sheetHolds = holds(list) && sheetHolds;
    std::vector<bool> mediaHolds;
    for (const auto& conditions : applied.Sheet->Media) {
      bool all = true;
      for (const std::wstring& list : conditions) all = holds(list) && all;
      mediaHolds.push_back(all);
    }
    for (const TStyleRule& rule : applied.Sheet->Rules) {
      ++order;
      if (!sheetHolds || (rule.Media >= 0 && !mediaHolds[static_cast<size_t>(rule.Media)])) continue;
      const size_t index = rules_.size();
      rules_.push_back({&rule, order});
      const TRuleKey key = KeyOf(*rule.Selector);
      switch (key.Kind) {
        case TRuleKey::kId: candidates_->ById[key.Name].push_back(index); break;
        case TRuleKey::kClass: candidates_->ByClass[key.Name].push_back(index); break;
        case TRuleKey::kTag: candidates_->ByTag[static_cast<size_t>(key.Tag)].push_back(index); break;
        default: candidates_->Any.push_back(index); break;
      }
    }
  }
}

TStyleResolver::~TStyleResolver() = default;

bool TStyleResolver::SameMediaAt(int viewportWidth) const {
  for (size_t i = 0; i < conditions_.size(); ++i) {
    if (MediaMatches(conditions_[i], viewportWidth) != conditionResults_[i]) return false;
  }
  return true;
}

TElementStyle TStyleResolver::StyleOf(int element) const {
  TElementStyle style;
  const TDomNode& node = document_.Nodes[element];
  if (node.IsText || element == 0) return style;
  // Ranks: important before normal, the style attribute before sheets,
  // then specificity, then order.
  uint64_t displayRank = 0;
  uint64_t visibilityRank = 0;
  auto consider = [&](const TStyleDeclarations& d, bool inlineStyle, uint32_t specificity, uint32_t order) {
    auto rank = [&](bool important) {
      return (uint64_t{important} << 63) | (uint64_t{inlineStyle} << 62) | (uint64_t{specificity} << 30) | order;
    };
    if (d.Display != TDisplayValue::kUnset) {
      const uint64_t r = rank(d.DisplayImportant) | (uint64_t{1} << 61);
      if (r > displayRank) {
        displayRank = r;
        style.Display = d.Display;
      }
    }
    if (d.Visibility != TVisibilityValue::kUnset) {
      const uint64_t r = rank(d.VisibilityImportant) | (uint64_t{1} << 61);
      if (r > visibilityRank) {
        visibilityRank = r;
        style.Visibility = d.Visibility;
      }
    }
  };
  if (!rules_.empty()) {
    const TMatcher matcher(document_);
    auto tryRules = [&](const std::vector<size_t>& indices) {
      for (size_t index : indices) {
        const TActiveRule& active = rules_[index];
        if (matcher.Matches(*active.Rule->Selector, element)) {
          consider(active.Rule->Declarations, false, active.Rule->Specificity, active.Order);
        }
      }
    };
    tryRules(candidates_->Any);
    tryRules(candidates_->ByTag[static_cast<size_t>(node.Tag)]);
    if (const std::wstring* id = document_.Attribute(element, "id")) {
      const auto found = candidates_->ById.find(*id);
      if (found != candidates_->ById.end()) tryRules(found->second);
    }
    if (const std::wstring* classes = document_.Attribute(element, "class")) {
      std::vector<std::wstring> seen;
      size_t i = 0;
      while (i < classes->size()) {
        while (i < classes->size() && IsBlank((*classes)[i])) ++i;
        size_t end = i;
        while (end < classes->size() && !IsBlank((*classes)[end])) ++end;
        if (end > i) {
          std::wstring name = classes->substr(i, end - i);
          if (std::find(seen.begin(), seen.end(), name) == seen.end()) {
            const auto found = candidates_->ByClass.find(name);
            if (found != candidates_->ByClass.end()) tryRules(found->second);
            seen.push_back(std::move(name));
          }
        }
        i = end;
      }
    }
  }
  if (const std::wstring* inlineStyle = document_.Attribute(element, "style")) {
    const TStyleDeclarations d = ParseDeclarations(*inlineStyle);
    consider(d, true, 0, 0);
    style.Background = d.Background;
  }
  return style;
}

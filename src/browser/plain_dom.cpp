#include "browser/plain_dom.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "runtime/ansi.h"

namespace {

constexpr std::array<std::pair<std::string_view, TTag>, 134> kTagNames = {{
    {"a", TTag::kA},
    {"abbr", TTag::kAbbr},
    {"address", TTag::kAddress},
    {"applet", TTag::kApplet},
    {"area", TTag::kArea},
    {"article", TTag::kArticle},
    {"aside", TTag::kAside},
    {"audio", TTag::kAudio},
    {"b", TTag::kB},
    {"base", TTag::kBase},
    {"basefont", TTag::kBasefont},
    {"bdi", TTag::kBdi},
    {"bdo", TTag::kBdo},
    {"bgsound", TTag::kBgsound},
    {"big", TTag::kBig},
    {"blockquote", TTag::kBlockquote},
    {"body", TTag::kBody},
    {"br", TTag::kBr},
    {"button", TTag::kButton},
    {"canvas", TTag::kCanvas},
    {"caption", TTag::kCaption},
    {"center", TTag::kCenter},
    {"cite", TTag::kCite},
    {"code", TTag::kCode},
    {"col", TTag::kCol},
    {"colgroup", TTag::kColgroup},
    {"data", TTag::kData},
    {"datalist", TTag::kDatalist},
    {"dd", TTag::kDd},
    {"del", TTag::kDel},
    {"details", TTag::kDetails},
    {"dfn", TTag::kDfn},
    {"dialog", TTag::kDialog},
    {"dir", TTag::kDir},
    {"div", TTag::kDiv},
    {"dl", TTag::kDl},
    {"dt", TTag::kDt},
    {"em", TTag::kEm},
    {"embed", TTag::kEmbed},
    {"fieldset", TTag::kFieldset},
    {"figcaption", TTag::kFigcaption},
    {"figure", TTag::kFigure},
    {"font", TTag::kFont},
    {"footer", TTag::kFooter},
    {"form", TTag::kForm},
    {"frame", TTag::kFrame},
    {"frameset", TTag::kFrameset},
    {"h1", TTag::kH1},
    {"h2", TTag::kH2},
    {"h3", TTag::kH3},
    {"h4", TTag::kH4},
    {"h5", TTag::kH5},
    {"h6", TTag::kH6},
    {"head", TTag::kHead},
    {"header", TTag::kHeader},
    {"hgroup", TTag::kHgroup},
    {"hr", TTag::kHr},
    {"html", TTag::kHtml},
    {"i", TTag::kI},
    {"iframe", TTag::kIframe},
    {"img", TTag::kImg},
    {"input", TTag::kInput},
    {"ins", TTag::kIns},
    {"kbd", TTag::kKbd},
    {"keygen", TTag::kKeygen},
    {"label", TTag::kLabel},
    {"legend", TTag::kLegend},
    {"li", TTag::kLi},
    {"link", TTag::kLink},
    {"listing", TTag::kListing},
    {"main", TTag::kMain},
    {"map", TTag::kMap},
    {"mark", TTag::kMark},
    {"marquee", TTag::kMarquee},
    {"math", TTag::kMath},
    {"menu", TTag::kMenu},
    {"meta", TTag::kMeta},
    {"meter", TTag::kMeter},
    {"nav", TTag::kNav},
    {"nobr", TTag::kNobr},
    {"noembed", TTag::kNoembed},
    {"noframes", TTag::kNoframes},
    {"noscript", TTag::kNoscript},
    {"object", TTag::kObject},
    {"ol", TTag::kOl},
    {"optgroup", TTag::kOptgroup},
    {"option", TTag::kOption},
    {"output", TTag::kOutput},
    {"p", TTag::kP},
    {"param", TTag::kParam},
    {"picture", TTag::kPicture},
    {"plaintext", TTag::kPlaintext},
    {"pre", TTag::kPre},
    {"progress", TTag::kProgress},
    {"q", TTag::kQ},
    {"rp", TTag::kRp},
    {"rt", TTag::kRt},
    {"ruby", TTag::kRuby},
    {"s", TTag::kS},
    {"samp", TTag::kSamp},
    {"script", TTag::kScript},
    {"search", TTag::kSearch},
    {"section", TTag::kSection},
    {"select", TTag::kSelect},
    {"slot", TTag::kSlot},
    {"small", TTag::kSmall},
    {"source", TTag::kSource},
    {"span", TTag::kSpan},
    {"strike", TTag::kStrike},
    {"strong", TTag::kStrong},
    {"style", TTag::kStyle},
    {"sub", TTag::kSub},
    {"summary", TTag::kSummary},
    {"sup", TTag::kSup},
    {"svg", TTag::kSvg},
    {"table", TTag::kTable},
    {"tbody", TTag::kTbody},
    {"td", TTag::kTd},
    {"template", TTag::kTemplate},
    {"textarea", TTag::kTextarea},
    {"tfoot", TTag::kTfoot},
    {"th", TTag::kTh},
    {"thead", TTag::kThead},
    {"time", TTag::kTime},
    {"title", TTag::kTitle},
    {"tr", TTag::kTr},
    {"track", TTag::kTrack},
    {"tt", TTag::kTt},
    {"u", TTag::kU},
    {"ul", TTag::kUl},
    {"var", TTag::kVar},
    {"video", TTag::kVideo},
    {"wbr", TTag::kWbr},
    {"xmp", TTag::kXmp},
}};

struct TEntity {
  const char* Name;
  char32_t First;
  char32_t Second;
  bool WithoutSemicolon;
};

constexpr TEntity kEntities[] = {
#include "browser/plain_entities_table.inc"
};

bool IsAsciiAlpha(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsAsciiAlnum(wchar_t c) { return IsAsciiAlpha(c) || (c >= L'0' && c <= L'9'); }
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }
wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// The entity named exactly name (without ";"); nullptr for none.
const TEntity* FindEntity(std::string_view name) {
  const auto end = std::end(kEntities);
  const auto found = std::lower_bound(std::begin(kEntities), end, name,
                                      [](const TEntity& entity, std::string_view key) { return entity.Name < key; });
  return found != end && found->Name == name ? found : nullptr;
}

// A numeric reference's code point as browsers map it: nothing, beyond
// Unicode or a surrogate becomes U+FFFD; 0x80-0x9F are read as the
// Windows-1252 characters pages meant by them.
char32_t NumericReferenceValue(char32_t value) {
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
  if (value >= 0x80 && value <= 0x9F) {
    const char32_t mapped = Cp1252ToCodePoint(static_cast<uint8_t>(value));
    return mapped == 0xFFFD ? value : mapped;
  }
  return value;
}

// Decodes the reference at text[at] == '&' into out; returns the index
// after it, or at when nothing is decoded there.
size_t DecodeReferenceAt(std::wstring_view text, size_t at, bool inAttribute, std::wstring& out) {
  size_t i = at + 1;
  if (i < text.size() && text[i] == L'#') {
    ++i;
    const bool hex = i < text.size() && (text[i] == L'x' || text[i] == L'X');
    if (hex) ++i;
    const size_t digitsStart = i;
    char32_t value = 0;
    for (; i < text.size(); ++i) {
      const wchar_t c = text[i];
      unsigned digit;
      if (c >= L'0' && c <= L'9') {
        digit = static_cast<unsigned>(c - L'0');
      } else if (hex && c >= L'a' && c <= L'f') {
        digit = static_cast<unsigned>(c - L'a' + 10);
      } else if (hex && c >= L'A' && c <= L'F') {
        digit = static_cast<unsigned>(c - L'A' + 10);
      } else {
        break;
      }
      value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + digit;
    }
    if (i == digitsStart) return at;
    if (i < text.size() && text[i] == L';') ++i;
    AppendCodePoint(out, NumericReferenceValue(value));
    return i;
  }
  // The longest alphanumeric run that could be a name (names are at most 32
  // characters).
  size_t end = i;
  while (end < text.size() && end - i < 32 && IsAsciiAlnum(text[end])) ++end;
  if (end == i) return at;
  std::string name;
  for (size_t k = i; k < end; ++k) name.push_back(static_cast<char>(text[k]));
  if (end < text.size() && text[end] == L';') {
    if (const TEntity* entity = FindEntity(name)) {
      AppendCodePoint(out, entity->First);
      if (entity->Second != 0) AppendCodePoint(out, entity->Second);
      return end + 1;
    }
  }
  // Without ";": the longest prefix that is one of the old names valid
  // without it ("&copy2023" reads as "©2023").
  for (size_t length = name.size(); length > 0; --length) {
    const TEntity* entity = FindEntity(std::string_view(name).substr(0, length));
    if (entity == nullptr || !entity->WithoutSemicolon) continue;
    const size_t after = i + length;
    if (inAttribute && after < text.size() && (text[after] == L'=' || IsAsciiAlnum(text[after]))) return at;
    AppendCodePoint(out, entity->First);
    if (entity->Second != 0) AppendCodePoint(out, entity->Second);
    return after;
  }
  return at;
}

bool IsVoid(TTag tag) {
  switch (tag) {
    case TTag::kArea: case TTag::kBase: case TTag::kBasefont: case TTag::kBgsound: case TTag::kBr:
    case TTag::kCol: case TTag::kEmbed: case TTag::kFrame: case TTag::kHr: case TTag::kImg:
    case TTag::kInput: case TTag::kKeygen: case TTag::kLink: case TTag::kMeta: case TTag::kParam:
    case TTag::kSource: case TTag::kTrack: case TTag::kWbr:
      return true;
    default:
      return false;
  }
}

// Blocks whose start closes an open paragraph.
bool ClosesParagraph(TTag tag) {
  switch (tag) {
    case TTag::kAddress: case TTag::kArticle: case TTag::kAside: case TTag::kBlockquote:
    case TTag::kCenter: case TTag::kDetails: case TTag::kDialog: case TTag::kDir: case TTag::kDiv:
    case TTag::kDl: case TTag::kFieldset: case TTag::kFigcaption: case TTag::kFigure: case TTag::kFooter:
    case TTag::kHeader: case TTag::kHgroup: case TTag::kMain: case TTag::kMenu: case TTag::kNav:
    case TTag::kOl: case TTag::kP: case TTag::kSearch: case TTag::kSection: case TTag::kSummary:
    case TTag::kUl: case TTag::kH1: case TTag::kH2: case TTag::kH3: case TTag::kH4: case TTag::kH5:
    case TTag::kH6: case TTag::kPre: case TTag::kListing: case TTag::kForm: case TTag::kPlaintext:
    case TTag::kTable: case TTag::kHr: case TTag::kXmp: case TTag::kLi: case TTag::kDd: case TTag::kDt:
      return true;
    default:
      return false;
  }
}

bool IsHeading(TTag tag) { return tag >= TTag::kH1 && tag <= TTag::kH6; }

bool IsFormatting(TTag tag) {
  switch (tag) {
    case TTag::kA: case TTag::kB: case TTag::kBig: case TTag::kCode: case TTag::kEm: case TTag::kFont:
    case TTag::kI: case TTag::kNobr: case TTag::kS: case TTag::kSmall: case TTag::kStrike:
    case TTag::kStrong: case TTag::kTt: case TTag::kU:
      return true;
    default:
      return false;
  }
}

// Elements that an end tag of another element does not reach across.
bool IsScopeBoundary(TTag tag) {
  switch (tag) {
    case TTag::kApplet: case TTag::kCaption: case TTag::kHtml: case TTag::kTable: case TTag::kTd:
    case TTag::kTh: case TTag::kMarquee: case TTag::kObject: case TTag::kTemplate: case TTag::kSvg:
    case TTag::kMath:
      return true;
    default:
      return false;
  }
}

// The elements an unknown end tag never closes on its way to its own.
bool IsSpecial(TTag tag) {
  return ClosesParagraph(tag) || IsScopeBoundary(tag) || tag == TTag::kBody || tag == TTag::kTr ||
         tag == TTag::kTbody || tag == TTag::kThead || tag == TTag::kTfoot || tag == TTag::kSelect ||
         tag == TTag::kButton || tag == TTag::kTextarea || tag == TTag::kIframe;
}

bool IsTableSection(TTag tag) { return tag == TTag::kTbody || tag == TTag::kThead || tag == TTag::kTfoot; }

bool IsTableContext(TTag tag) { return tag == TTag::kTable || IsTableSection(tag) || tag == TTag::kTr; }

enum class TContent { kNormal, kRawText, kEscapedText, kPlainText };

TContent ContentKind(TTag tag) {
  switch (tag) {
    case TTag::kScript: case TTag::kStyle: case TTag::kXmp: case TTag::kIframe: case TTag::kNoembed:
    case TTag::kNoframes: case TTag::kNoscript:
      return TContent::kRawText;
    case TTag::kTitle: case TTag::kTextarea:
      return TContent::kEscapedText;
    case TTag::kPlaintext:
      return TContent::kPlainText;
    default:
      return TContent::kNormal;
  }
}

bool BelongsInHead(TTag tag) {
  switch (tag) {
    case TTag::kBase: case TTag::kBasefont: case TTag::kBgsound: case TTag::kLink: case TTag::kMeta:
    case TTag::kTitle: case TTag::kStyle: case TTag::kScript: case TTag::kNoscript: case TTag::kTemplate:
      return true;
    default:
      return false;
  }
}

std::wstring CollapseBlanks(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (IsBlank(c)) {
      if (!out.empty() && out.back() != L' ') out.push_back(L' ');
    } else {
      out.push_back(c);
    }
  }
  if (!out.empty() && out.back() == L' ') out.pop_back();
  return out;
}

struct TToken {
  std::string Name;  // lower case
  bool End = false;
  bool SelfClosing = false;
  std::vector<TDomAttribute> Attributes;
};

class TTreeBuilder {
 public:
  explicit TTreeBuilder(std::wstring_view input) {
    // Line ends become "\n" before anything else reads the text.
    source_.reserve(input.size());
    for (size_t i = 0; i < input.size(); ++i) {
      const wchar_t c = input[i];
      if (c == L'\r') {
        source_.push_back(L'\n');
        if (i + 1 < input.size() && input[i + 1] == L'\n') ++i;
      } else {
        source_.push_back(c);
      }
    }
    doc_.Nodes.reserve(source_.size() / 24 + 16);
    doc_.Nodes.emplace_back();  // the document
    stack_.push_back(0);
  }

  TDomDocument Run() {
    size_t i = 0;
    const std::wstring_view s = source_;
    while (i < s.size()) {
      if (s[i] != L'<') {
        const size_t next = s.find(L'<', i);
        const size_t end = next == std::wstring_view::npos ? s.size() : next;
        Text(DecodeCharacterReferences(s.substr(i, end - i)));
        i = end;
        continue;
      }
      i = Markup(s, i);
    }
    EnsureBody();  // a page without content still has its body
    return std::move(doc_);
  }

 private:
  // Reads what starts at s[i] == '<'; returns the index after it.
  size_t Markup(std::wstring_view s, size_t i) {
    if (s.compare(i, 4, L"<!--") == 0) {
      size_t end = s.find(L"-->", i + 4);
      const size_t bang = s.find(L"--!>", i + 4);
      if (bang < end) return bang + 4;
      if (s.compare(i + 4, 1, L">") == 0) return i + 5;  // "<!-->"
      if (s.compare(i + 4, 2, L"->") == 0) return i + 6;  // "<!--->"
      return end == std::wstring_view::npos ? s.size() : end + 3;
    }
    if (i + 1 < s.size() && (s[i + 1] == L'!' || s[i + 1] == L'?')) {
      const size_t end = s.find(L'>', i + 2);
      return end == std::wstring_view::npos ? s.size() : end + 1;
    }
    if (i + 1 < s.size() && s[i + 1] == L'/') {
      if (i + 2 < s.size() && s[i + 2] == L'>') return i + 3;  // "</>"
      if (i + 2 >= s.size() || !IsAsciiAlpha(s[i + 2])) {
        if (i + 2 >= s.size()) {
          Text(L"</");
          return s.size();
        }
        const size_t end = s.find(L'>', i + 2);  // a bogus comment
        return end == std::wstring_view::npos ? s.size() : end + 1;
      }
    } else if (i + 1 >= s.size() || !IsAsciiAlpha(s[i + 1])) {
      Text(L"<");
      return i + 1;
    }
    TToken token;
    const size_t after = ReadTag(s, i, token);
    if (after == std::wstring_view::npos) return s.size();  // a tag cut off by the end is dropped
    if (token.End) {
      EndTag(token);
      return after;
    }
    const bool newlineIsMarkup = foreign_ == 0 && (token.Name == "pre" || token.Name == "listing");
    const int element = StartTag(token);
    // A newline right after <pre> or <listing> is not content.
    if (newlineIsMarkup && after < s.size() && s[after] == L'\n') return after + 1;
    if (element < 0) return after;
    const TContent content = foreign_ > 0 ? TContent::kNormal : ContentKind(doc_.Nodes[element].Tag);
    if (content == TContent::kNormal) return after;
    size_t contentStart = after;
    if (doc_.Nodes[element].Tag == TTag::kTextarea && contentStart < s.size() && s[contentStart] == L'\n') {
      ++contentStart;
    }
    size_t contentEnd = s.size();
    size_t resume = s.size();
    if (content != TContent::kPlainText) {
      const std::string name = token.Name;
      for (size_t k = s.find(L"</", contentStart); k != std::wstring_view::npos; k = s.find(L"</", k + 2)) {
        size_t n = 0;
        while (n < name.size() && k + 2 + n < s.size() &&
               LowerAscii(s[k + 2 + n]) == static_cast<wchar_t>(name[n])) {
          ++n;
        }
        const size_t following = k + 2 + n;
        if (n == name.size() &&
            (following >= s.size() || IsBlank(s[following]) || s[following] == L'/' || s[following] == L'>')) {
          contentEnd = k;
          const size_t close = s.find(L'>', following);
          resume = close == std::wstring_view::npos ? s.size() : close + 1;
          break;
        }
      }
    }
    const std::wstring_view raw = s.substr(contentStart, contentEnd - contentStart);
    std::wstring text = content == TContent::kEscapedText ? DecodeCharacterReferences(raw) : std::wstring(raw);
    if (doc_.Nodes[element].Tag == TTag::kTitle && doc_.Title.empty()) doc_.Title = CollapseBlanks(text);
    if (!text.empty()) AppendText(element, std::move(text));
    Pop(element);
    return resume;
  }

  // Reads a start or end tag at s[i] == '<'; npos when the text ends inside it.
  static size_t ReadTag(std::wstring_view s, size_t i, TToken& token) {
    ++i;
    if (s[i] == L'/') {
      token.End = true;
      ++i;
    }
    while (i < s.size() && !IsBlank(s[i]) && s[i] != L'/' && s[i] != L'>') {
      const wchar_t c = LowerAscii(s[i]);
      if (c < 0x80) token.Name.push_back(static_cast<char>(c));
      else token.Name.push_back('?');  // no known name holds such characters
      ++i;
    }
    for (;;) {
      while (i < s.size() && (IsBlank(s[i]) || s[i] == L'/')) {
        if (s[i] == L'/' && i + 1 < s.size() && s[i + 1] == L'>') token.SelfClosing = true;
        ++i;
      }
      if (i >= s.size()) return std::wstring_view::npos;
      if (s[i] == L'>') return i + 1;
      const size_t nameStart = i;
      ++i;  // the first character may be "="
      while (i < s.size() && !IsBlank(s[i]) && s[i] != L'/' && s[i] != L'>' && s[i] != L'=') ++i;
      std::string name;
      for (size_t k = nameStart; k < i; ++k) {
        const wchar_t c = LowerAscii(s[k]);
        name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
      }
      size_t j = i;
      while (j < s.size() && IsBlank(s[j])) ++j;
      std::wstring value;
      if (j < s.size() && s[j] == L'=') {
        i = j + 1;
        while (i < s.size() && IsBlank(s[i])) ++i;
        if (i >= s.size()) return std::wstring_view::npos;
        if (s[i] == L'"' || s[i] == L'\'') {
          const wchar_t quote = s[i++];
          const size_t end = s.find(quote, i);
          if (end == std::wstring_view::npos) return std::wstring_view::npos;
          value = DecodeCharacterReferences(s.substr(i, end - i), true);
          i = end + 1;
        } else {
          const size_t start = i;
          while (i < s.size() && !IsBlank(s[i]) && s[i] != L'>') ++i;
          value = DecodeCharacterReferences(s.substr(start, i - start), true);
        }
      }
      const bool duplicate = std::any_of(token.Attributes.begin(), token.Attributes.end(),
                                         [&](const TDomAttribute& a) { return a.Name == name; });
      if (!duplicate && !token.End) token.Attributes.push_back({std::move(name), std::move(value)});
    }
  }

  int Current() const { return stack_.back(); }
  // Inside a <template>: its content stays where it is, whatever it holds.
  bool InTemplate() const {
    return std::any_of(stack_.begin() + 1, stack_.end(),
                       [this](int node) { return doc_.Nodes[node].Tag == TTag::kTemplate; });
  }
  TTag CurrentTag() const { return stack_.size() > 1 ? doc_.Nodes[stack_.back()].Tag : TTag::kUnknown; }

  int NewNode(int parent, int before = -1) {
    const int index = static_cast<int>(doc_.Nodes.size());
    doc_.Nodes.emplace_back();
    TDomNode& node = doc_.Nodes.back();
    node.Parent = parent;
    TDomNode& p = doc_.Nodes[parent];
    if (before < 0) {
      node.PreviousSibling = p.LastChild;
      if (p.LastChild >= 0) doc_.Nodes[p.LastChild].NextSibling = index;
      else p.FirstChild = index;
      p.LastChild = index;
    } else {
      TDomNode& next = doc_.Nodes[before];
      node.NextSibling = before;
      node.PreviousSibling = next.PreviousSibling;
      if (next.PreviousSibling >= 0) doc_.Nodes[next.PreviousSibling].NextSibling = index;
      else p.FirstChild = index;
      doc_.Nodes[before].PreviousSibling = index;
    }
    return index;
  }

  int NewElement(int parent, TTag tag, const std::string& name, std::vector<TDomAttribute> attributes) {
    const int index = NewNode(parent);
    TDomNode& node = doc_.Nodes[index];
    node.Tag = tag;
    if (tag == TTag::kUnknown) node.Name = name;
    node.Attributes = std::move(attributes);
    return index;
  }

  void AppendText(int parent, std::wstring text, int before = -1) {
    const TDomNode& p = doc_.Nodes[parent];
    const int previous = before < 0 ? p.LastChild : doc_.Nodes[before].PreviousSibling;
    if (previous >= 0 && doc_.Nodes[previous].IsText) {
      doc_.Nodes[previous].Text += text;
      return;
    }
    const int index = NewNode(parent, before);
    doc_.Nodes[index].IsText = true;
    doc_.Nodes[index].Text = std::move(text);
  }

  // Pops the stack down to and including node (when it is open).
  void Pop(int node) {
    const auto found = std::find(stack_.begin(), stack_.end(), node);
    if (found == stack_.end()) return;
    for (auto it = found; it != stack_.end(); ++it) {
      if (doc_.Nodes[*it].Tag == TTag::kSvg || doc_.Nodes[*it].Tag == TTag::kMath) --foreign_;
    }
    stack_.erase(found, stack_.end());
  }

  // The open element nearest the top with this tag, not beyond a scope
  // boundary (boundaries themselves are found); -1 for none.
  int InScope(TTag tag, bool buttonScope = false, bool listScope = false, bool tableScope = false) const {
    for (size_t k = stack_.size(); k-- > 1;) {
      const TTag t = doc_.Nodes[stack_[k]].Tag;
      if (t == tag) return stack_[k];
      if (tableScope) {
        if (t == TTag::kTable || t == TTag::kHtml || t == TTag::kTemplate) return -1;
        continue;
      }
      if (IsScopeBoundary(t) || (buttonScope && t == TTag::kButton) ||
          (listScope && (t == TTag::kOl || t == TTag::kUl))) {
        return -1;
      }
    }
    return -1;
  }

  void CloseParagraph() {
    const int p = InScope(TTag::kP, true);
    if (p >= 0) Pop(p);
  }

  void EnsureHtml() {
    if (doc_.Html >= 0) return;
    doc_.Html = NewElement(0, TTag::kHtml, "html", {});
    stack_.push_back(doc_.Html);
  }

  // Makes the body the place for content: closes the head, creates the body.
  void EnsureBody() {
    EnsureHtml();
    if (doc_.Body >= 0) return;
    if (doc_.Head >= 0) Pop(doc_.Head);
    doc_.Body = NewElement(doc_.Html, TTag::kBody, "body", {});
    stack_.resize(1);
    stack_.push_back(doc_.Html);
    stack_.push_back(doc_.Body);
  }

  void MergeAttributes(int node, std::vector<TDomAttribute>& attributes) {
    for (TDomAttribute& a : attributes) {
      if (!doc_.HasAttribute(node, a.Name)) doc_.Nodes[node].Attributes.push_back(std::move(a));
    }
  }

  // Inserts an element at the current place; returns it, pushed unless it
  // is void or the tree is too deep.
  int Insert(TTag tag, TToken& token, bool push) {
    const int element = NewElement(Current(), tag, token.Name, std::move(token.Attributes));
    if (push && stack_.size() < kMaxDomDepth) {
      stack_.push_back(element);
      if (tag == TTag::kSvg || tag == TTag::kMath) ++foreign_;
    } else if (push && ContentKind(tag) != TContent::kNormal) {
      stack_.push_back(element);  // raw text is read and popped at once
    }
    return element;
  }

  // Returns the element created (for raw-text content), or -1.
  int StartTag(TToken& token) {
    TTag tag = TagForName(token.Name);
    if (token.Name == "image") tag = TTag::kImg;
    if (foreign_ > 0) {
      // Inside SVG or MathML every element may close itself; none is HTML.
      Insert(tag == TTag::kSvg || tag == TTag::kMath ? tag : TTag::kUnknown, token, !token.SelfClosing);
      return -1;
    }
    if (tag == TTag::kHtml) {
      EnsureHtml();
      MergeAttributes(doc_.Html, token.Attributes);
      return -1;
    }
    if (tag == TTag::kHead) {
      EnsureHtml();
      if (doc_.Head < 0 && doc_.Body < 0) {
        doc_.Head = NewElement(doc_.Html, TTag::kHead, "head", std::move(token.Attributes));
        stack_.push_back(doc_.Head);
      }
      return -1;
    }
    if (tag == TTag::kBody || tag == TTag::kFrameset) {
      if (doc_.Body >= 0) {
        MergeAttributes(doc_.Body, token.Attributes);
        return -1;
      }
      EnsureBody();
      MergeAttributes(doc_.Body, token.Attributes);
      return -1;
    }
    if (doc_.Body < 0 && !InTemplate()) {
      if (BelongsInHead(tag)) {
        EnsureHtml();
        if (doc_.Head < 0) {
          doc_.Head = NewElement(doc_.Html, TTag::kHead, "head", {});
          stack_.push_back(doc_.Head);
        } else if (std::find(stack_.begin(), stack_.end(), doc_.Head) == stack_.end()) {
          stack_.push_back(doc_.Head);  // after </head>, still before the body
        }
        if (tag == TTag::kBase && doc_.BaseHref.empty()) {
          for (const TDomAttribute& a : token.Attributes) {
            if (a.Name == "href") doc_.BaseHref = a.Value;
          }
        }
        const bool push = !IsVoid(tag);
        const int element = Insert(tag, token, push);
        return push ? element : -1;
      }
      EnsureBody();
    }
    if (tag == TTag::kBase && doc_.BaseHref.empty()) {
      for (const TDomAttribute& a : token.Attributes) {
        if (a.Name == "href") doc_.BaseHref = a.Value;
      }
    }

    // Table parts close the open cell, row or section they cannot sit in;
    // outside a table they are ignored.
    if (tag == TTag::kTd || tag == TTag::kTh || tag == TTag::kTr || IsTableSection(tag) || tag == TTag::kCaption ||
        tag == TTag::kColgroup || tag == TTag::kCol) {
      if (InScope(TTag::kTable, false, false, true) < 0) return -1;
      CloseTablePartsFor(tag);
      if ((tag == TTag::kTd || tag == TTag::kTh) && CurrentTag() != TTag::kTr) {
        TToken row;
        row.Name = "tr";
        Insert(TTag::kTr, row, true);
      }
      Insert(tag, token, !IsVoid(tag));
      return -1;
    }
    if (ClosesParagraph(tag)) {
      if (tag == TTag::kLi) CloseListItem(TTag::kLi, TTag::kLi);
      if (tag == TTag::kDd || tag == TTag::kDt) CloseListItem(TTag::kDd, TTag::kDt);
      CloseParagraph();
      if (IsHeading(tag) && IsHeading(CurrentTag())) Pop(Current());
      if (tag == TTag::kHr) {
        Insert(tag, token, false);
        return -1;
      }
      const int element = Insert(tag, token, true);
      return ContentKind(tag) != TContent::kNormal ? element : -1;
    }
    if (tag == TTag::kA) {
      const int open = InScope(TTag::kA);
      if (open >= 0) Pop(open);
    } else if (tag == TTag::kButton) {
      const int open = InScope(TTag::kButton);
      if (open >= 0) Pop(open);
    } else if (tag == TTag::kOption || tag == TTag::kOptgroup) {
      if (CurrentTag() == TTag::kOption) Pop(Current());
    } else if (tag == TTag::kNobr) {
      const int open = InScope(TTag::kNobr);
      if (open >= 0) Pop(open);
    }
    const bool push = !IsVoid(tag);
    const int element = Insert(tag, token, push);
    return push && ContentKind(tag) != TContent::kNormal ? element : -1;
  }

  // Pops the elements above stack_[k].
  void PopAbove(size_t k) {
    if (k + 1 < stack_.size()) Pop(stack_[k + 1]);
  }

  // Cells close cells; rows close cells and rows; sections, captions and
  // column groups close everything up to the table. Elements left open
  // inside a cell go with it.
  void CloseTablePartsFor(TTag tag) {
    const bool cell = tag == TTag::kTd || tag == TTag::kTh;
    const bool row = tag == TTag::kTr;
    for (size_t k = stack_.size(); k-- > 1;) {
      const TTag t = doc_.Nodes[stack_[k]].Tag;
      if (t == TTag::kTable || t == TTag::kHtml || t == TTag::kTemplate || (t == TTag::kTr && cell) ||
          (IsTableSection(t) && (cell || row))) {
        PopAbove(k);
        return;
      }
    }
  }

  // A new list item closes the open one of its kind (li: within its list;
  // dd, dt: either).
  void CloseListItem(TTag first, TTag second) {
    for (size_t k = stack_.size(); k-- > 1;) {
      const TTag t = doc_.Nodes[stack_[k]].Tag;
      if (t == first || t == second) {
        Pop(stack_[k]);
        return;
      }
      if (IsSpecial(t) && t != TTag::kAddress && t != TTag::kDiv && t != TTag::kP) return;
    }
  }

  void EndTag(const TToken& token) {
    const TTag tag = TagForName(token.Name);
    if (foreign_ > 0) {
      for (size_t k = stack_.size(); k-- > 1;) {
        const TDomNode& node = doc_.Nodes[stack_[k]];
        if (doc_.ElementName(stack_[k]) == token.Name) {
          Pop(stack_[k]);
          return;
        }
        if (node.Tag == TTag::kSvg || node.Tag == TTag::kMath) break;
      }
      if (tag != TTag::kP && tag != TTag::kBr) return;
    }
    switch (tag) {
      case TTag::kHtml:
      case TTag::kBody:
        return;
      case TTag::kHead:
        if (doc_.Head >= 0) Pop(doc_.Head);
        return;
      case TTag::kBr: {
        TToken br;
        br.Name = "br";
        StartTag(br);
        return;
      }
      case TTag::kP: {
        const int p = InScope(TTag::kP, true);
        if (p >= 0) {
          Pop(p);
        } else {
          // A "</p>" with no paragraph open stands for an empty one.
          TToken empty;
          empty.Name = "p";
          Pop(Insert(TTag::kP, empty, true));
        }
        return;
      }
      case TTag::kLi: {
        const int li = InScope(TTag::kLi, false, true);
        if (li >= 0) Pop(li);
        return;
      }
      case TTag::kH1: case TTag::kH2: case TTag::kH3: case TTag::kH4: case TTag::kH5: case TTag::kH6: {
        for (size_t k = stack_.size(); k-- > 1;) {
          const TTag t = doc_.Nodes[stack_[k]].Tag;
          if (IsHeading(t)) {
            Pop(stack_[k]);
            return;
          }
          if (IsScopeBoundary(t)) return;
        }
        return;
      }
      case TTag::kTd: case TTag::kTh: case TTag::kTr: case TTag::kTbody: case TTag::kThead: case TTag::kTfoot:
      case TTag::kTable: case TTag::kCaption: case TTag::kColgroup: {
        const int open = InScope(tag, false, false, true);
        if (open >= 0) Pop(open);
        return;
      }
      default:
        break;
    }
    // A block's end closes what its end implies (list items, paragraphs,
    // anything left open inside it).
    if (ClosesParagraph(tag) && tag != TTag::kLi && tag != TTag::kDd && tag != TTag::kDt) {
      const int open = InScope(tag);
      if (open >= 0) Pop(open);
      return;
    }
    if (tag == TTag::kDd || tag == TTag::kDt) {
      const int open = InScope(tag);
      if (open >= 0) Pop(open);
      return;
    }
    // Formatting elements end even across the blocks opened inside them;
    // any other element only when no special element stands in the way.
    for (size_t k = stack_.size(); k-- > 1;) {
      const int node = stack_[k];
      const TTag t = doc_.Nodes[node].Tag;
      const bool same = tag == TTag::kUnknown ? (t == TTag::kUnknown && doc_.Nodes[node].Name == token.Name) : t == tag;
      if (same) {
        Pop(node);
        return;
      }
      if (IsFormatting(tag) ? IsScopeBoundary(t) : IsSpecial(t)) return;
    }
  }

  void Text(std::wstring text) {
    if (text.empty()) return;
    // NUL characters are not text.
    text.erase(std::remove(text.begin(), text.end(), L'\0'), text.end());
    if (text.empty()) return;
    const bool blank = std::all_of(text.begin(), text.end(), IsBlank);
    if (doc_.Body < 0 && !InTemplate()) {
      if (blank) return;  // between the head's elements
      EnsureBody();
    }
    if (IsTableContext(CurrentTag())) {
      if (blank) return;
      // Text inside a table but outside its cells shows before the table.
      for (size_t k = stack_.size(); k-- > 1;) {
        const int node = stack_[k];
        if (doc_.Nodes[node].Tag == TTag::kTable) {
          AppendText(doc_.Nodes[node].Parent, std::move(text), node);
          return;
        }
      }
    }
    AppendText(Current(), std::move(text));
  }

  std::wstring source_;
  TDomDocument doc_;
  std::vector<int> stack_;  // open elements; [0] is the document
  int foreign_ = 0;         // open svg/math elements
};

}  // namespace

TTag TagForName(std::string_view lowerName) {
  const auto found = std::lower_bound(kTagNames.begin(), kTagNames.end(), lowerName,
                                      [](const auto& entry, std::string_view key) { return entry.first < key; });
  return found != kTagNames.end() && found->first == lowerName ? found->second : TTag::kUnknown;
}

std::string_view TagName(TTag tag) {
  static const auto names = [] {
    std::array<std::string_view, 256> byTag{};
    for (const auto& [name, t] : kTagNames) byTag[static_cast<size_t>(t)] = name;
    return byTag;
  }();
  return names[static_cast<size_t>(tag)];
}

const std::wstring* TDomDocument::Attribute(int node, std::string_view name) const {
  for (const TDomAttribute& a : Nodes[node].Attributes) {
    if (a.Name == name) return &a.Value;
  }
  return nullptr;
}

std::string_view TDomDocument::ElementName(int node) const {
  const TDomNode& n = Nodes[node];
  return n.Tag == TTag::kUnknown ? std::string_view(n.Name) : TagName(n.Tag);
}

void AppendCodePoint(std::wstring& text, char32_t codePoint) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      text.push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
      text.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
      return;
    }
  }
  text.push_back(static_cast<wchar_t>(codePoint));
}

std::wstring DecodeCharacterReferences(std::wstring_view text, bool inAttribute) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t amp = text.find(L'&', i);
    if (amp == std::wstring_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, amp - i));
    const size_t after = DecodeReferenceAt(text, amp, inAttribute, out);
    if (after == amp) {
      out.push_back(L'&');
      i = amp + 1;
    } else {
      i = after;
    }
  }
  return out;
}

TDomDocument ParseHtmlDocument(std::wstring_view html) {
  TTreeBuilder builder(html);
  return builder.Run();
}

// The plain browser's second stage: a page's text to a tree of elements, by
// the rules browsers read HTML with, so that pages written loosely read as
// they do in a browser: character references (the full table of names),
// implied end tags (a new paragraph, list item, definition or table cell
// closes the open one), raw-text elements (script, style), comments, void
// elements, table cells without rows, text misplaced inside a table put
// before it. What it leaves out of the full rules: reopening formatting
// elements after a block ends them, and the head/body modes beyond putting
// head elements in the head. Nesting deeper than kMaxDomDepth is flattened,
// so that every later stage may walk the tree recursively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TTag : uint8_t {
  kUnknown,
  kA, kAbbr, kAddress, kApplet, kArea, kArticle, kAside, kAudio, kB, kBase, kBasefont, kBdi, kBdo,
  kBgsound, kBig, kBlockquote, kBody, kBr, kButton, kCanvas, kCaption, kCenter, kCite, kCode, kCol,
  kColgroup, kData, kDatalist, kDd, kDel, kDetails, kDfn, kDialog, kDir, kDiv, kDl, kDt, kEm, kEmbed,
  kFieldset, kFigcaption, kFigure, kFont, kFooter, kForm, kFrame, kFrameset, kH1, kH2, kH3, kH4, kH5,
  kH6, kHead, kHeader, kHgroup, kHr, kHtml, kI, kIframe, kImg, kInput, kIns, kKbd, kKeygen, kLabel,
  kLegend, kLi, kLink, kListing, kMain, kMap, kMark, kMarquee, kMath, kMenu, kMeta, kMeter, kNav,
  kNobr, kNoembed, kNoframes, kNoscript, kObject, kOl, kOptgroup, kOption, kOutput, kP, kParam,
  kPicture, kPlaintext, kPre, kProgress, kQ, kRp, kRt, kRuby, kS, kSamp, kScript, kSearch, kSection,
  kSelect, kSlot, kSmall, kSource, kSpan, kStrike, kStrong, kStyle, kSub, kSummary, kSup, kSvg,
  kTable, kTbody, kTd, kTemplate, kTextarea, kTfoot, kTh, kThead, kTime, kTitle, kTr, kTrack, kTt,
  kU, kUl, kVar, kVideo, kWbr, kXmp,
};

// The tag of an element name in lower case; kUnknown for any other.
TTag TagForName(std::string_view lowerName);
// The lower-case name of a known tag ("" for kUnknown).
std::string_view TagName(TTag tag);

inline constexpr int kMaxDomDepth = 200;

struct TDomAttribute {
  std::string Name;  // lower case
  std::wstring Value;
};

struct TDomNode {
  bool IsText = false;
  TTag Tag = TTag::kUnknown;
  std::string Name;  // an unknown element's lower-case name
  std::wstring Text;  // a text node's characters, references decoded
  std::vector<TDomAttribute> Attributes;
  int Parent = -1;
  int FirstChild = -1;
  int LastChild = -1;
  int NextSibling = -1;
  int PreviousSibling = -1;
};

class TDomDocument {
 public:
  // Node 0 is the document; elements and text below it.
  std::vector<TDomNode> Nodes;
  int Html = -1;
  int Head = -1;
  int Body = -1;
  std::wstring Title;     // the first <title>, blanks collapsed
  std::wstring BaseHref;  // the first <base href>

  // The value of an attribute (name in lower case); nullptr when absent.
  const std::wstring* Attribute(int node, std::string_view name) const;
  bool HasAttribute(int node, std::string_view name) const { return Attribute(node, name) != nullptr; }
  bool IsElement(int node, TTag tag) const { return !Nodes[node].IsText && Nodes[node].Tag == tag && node != 0; }
  // The element's lower-case name.
  std::string_view ElementName(int node) const;
};

TDomDocument ParseHtmlDocument(std::wstring_view html);

// Character references in text: "&amp;", "&#8217;", "&#x2019;", the names
// of HTML's table (also the few valid without ";"). inAttribute: a name
// without ";" followed by "=" or a letter or digit stays as written.
std::wstring DecodeCharacterReferences(std::wstring_view text, bool inAttribute = false);

// Appends a Unicode code point as wide characters (a surrogate pair where
// wchar_t has 16 bits).
void AppendCodePoint(std::wstring& text, char32_t codePoint);

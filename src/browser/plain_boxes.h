// The plain browser's third stage: the element tree to boxes, the look of
// each part taken from its tags (and whether it shows from the styles of
// plain_css): blocks with their margins and indents, runs of inline text
// with its emphasis, list items with their markers, tables of rows and
// cells, preformatted text with its spaces and line ends kept, pictures,
// rules. Blanks are collapsed here as a browser collapses them; what the
// layout gets is text to place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "browser/plain_css.h"
#include "browser/plain_dom.h"

enum TTextFlag : uint16_t {
  kTextBold = 1,
  kTextItalic = 2,
  kTextUnderline = 4,
  kTextStrike = 8,
  kTextMono = 16,
  kTextHighlight = 32,
  kTextSuper = 64,
  kTextSub = 128,
  kTextAlternative = 256,  // a picture's alternative text in its place
  kTextPreformatted = 512,  // spaces kept, lines end only where the text ends them
};

struct TTextStyle {
  uint16_t Flags = 0;
  uint8_t Size = 16;  // font size in pixels
  int Link = -1;      // index into TBoxTree::Links

  bool operator==(const TTextStyle&) const = default;
  bool Has(TTextFlag flag) const { return (Flags & flag) != 0; }
};

struct TInline {
  enum TKind : uint8_t { kText, kBreak, kPicture, kAnchor };
  TKind Kind = kText;
  TTextStyle Style;
  std::wstring Text;  // kText: what shows; kAnchor: the name a link may point to
  int Picture = -1;   // kPicture: index into TBoxTree::Pictures
};

enum class TBoxKind : uint8_t { kBlock, kListItem, kTable, kRow, kCell, kRule };
enum class TTextAlign : uint8_t { kLeft, kCenter, kRight };

struct TBox {
  TBoxKind Kind = TBoxKind::kBlock;
  int MarginTop = 0;
  int MarginBottom = 0;
  int IndentLeft = 0;
  int IndentRight = 0;
  TTextAlign Align = TTextAlign::kLeft;
  // A run of inline content (an anonymous block); otherwise child boxes.
  std::vector<TInline> Inlines;
  std::vector<TBox> Children;
  std::wstring Anchor;  // an id the box's start may be linked to
  TTextStyle Style;     // the look of its text where it has none of its own (markers, line height)

  // kListItem: the marker drawn beside the first line ("•", "3.").
  std::wstring Marker;
  // kCell: spans; kTable: the author's width (pixels, or percent when
  // WidthPercent), spacing and padding, and whether cells have borders.
  int ColumnSpan = 1;
  int RowSpan = 1;
  int Width = 0;
  bool WidthPercent = false;
  int CellSpacing = 2;
  int CellPadding = 1;
  bool Borders = false;
};

struct TBoxLink {
  std::wstring Href;    // as written
  std::wstring Target;  // the target window, empty for none
};

struct TPictureRef {
  std::wstring Source;  // src as written
  std::wstring Alternative;
  int Width = 0;   // from the width attribute, 0 for none
  int Height = 0;  // from the height attribute, 0 for none
};

struct TBoxTree {
  TBox Root;
  std::vector<TBoxLink> Links;
  std::vector<TPictureRef> Pictures;
};

// Builds the boxes of a document with its resolved styles.
TBoxTree BuildBoxes(const TDomDocument& document, const TStyleResolver& styles);

// A text page (text/plain): its lines, each kept as it is, in a fixed-pitch
// font.
TBoxTree PlainTextBoxes(std::wstring_view text);

#include "browser/plain_boxes.h"

#include <algorithm>
#include <cwctype>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring Lower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = LowerAscii(c);
  return out;
}

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The leading integer of an attribute value ("120", "120px"); 0 for none.
// percent: whether a "%" follows it.
int LeadingNumber(const std::wstring* value, bool* percent = nullptr) {
  if (value == nullptr) return 0;
  const std::wstring_view text = Trim(*value);
  int number = 0;
  size_t i = 0;
  while (i < text.size() && text[i] >= L'0' && text[i] <= L'9' && number < 100000) {
    number = number * 10 + (text[i] - L'0');
    ++i;
  }
  while (i < text.size() && (text[i] == L'.' || (text[i] >= L'0' && text[i] <= L'9'))) ++i;
  if (percent != nullptr) *percent = i < text.size() && text[i] == L'%';
  return number;
}

// Elements a browser never shows (its own style sheet hides them).
bool HiddenByDefault(const TDomDocument& doc, int node) {
  switch (doc.Nodes[node].Tag) {
    case TTag::kHead: case TTag::kScript: case TTag::kStyle: case TTag::kTemplate: case TTag::kNoscript:
    case TTag::kTitle: case TTag::kMeta: case TTag::kLink: case TTag::kBase: case TTag::kDatalist:
    case TTag::kParam: case TTag::kSource: case TTag::kTrack: case TTag::kArea: case TTag::kIframe:
    case TTag::kNoembed: case TTag::kNoframes: case TTag::kEmbed: case TTag::kVideo: case TTag::kAudio:
    case TTag::kCanvas: case TTag::kSvg: case TTag::kFrame: case TTag::kFrameset: case TTag::kInput:
    case TTag::kTextarea: case TTag::kRp: case TTag::kKeygen: case TTag::kApplet: case TTag::kMath:
    case TTag::kCol: case TTag::kColgroup: case TTag::kSlot:
      return true;
    case TTag::kDialog:
      return !doc.HasAttribute(node, "open");
    default:
      return doc.HasAttribute(node, "hidden");
  }
}

bool IsBlockTag(TTag tag) {
  switch (tag) {
    case TTag::kHtml: case TTag::kBody: case TTag::kAddress: case TTag::kArticle: case TTag::kAside:
    case TTag::kBlockquote: case TTag::kCenter: case TTag::kDetails: case TTag::kDialog: case TTag::kDir:
    case TTag::kDiv: case TTag::kDl: case TTag::kDd: case TTag::kDt: case TTag::kFieldset:
    case TTag::kFigcaption: case TTag::kFigure: case TTag::kFooter: case TTag::kForm: case TTag::kH1:
    case TTag::kH2: case TTag::kH3: case TTag::kH4: case TTag::kH5: case TTag::kH6: case TTag::kHeader:
    case TTag::kHgroup: case TTag::kLegend: case TTag::kListing: case TTag::kMain: case TTag::kMenu:
    case TTag::kNav: case TTag::kOl: case TTag::kP: case TTag::kPlaintext: case TTag::kPre: case TTag::kSearch:
    case TTag::kSection: case TTag::kSummary: case TTag::kUl: case TTag::kXmp: case TTag::kCaption:
    case TTag::kSelect: case TTag::kOption: case TTag::kOptgroup: case TTag::kTbody: case TTag::kThead:
    case TTag::kTfoot: case TTag::kTr: case TTag::kTd: case TTag::kTh:
      return true;
    default:
      return false;
  }
}

bool IsList(TTag tag) { return tag == TTag::kUl || tag == TTag::kOl || tag == TTag::kMenu || tag == TTag::kDir; }

std::wstring RomanNumeral(int value) {
  static const struct {
    int Value;
    const wchar_t* Text;
  } kParts[] = {{1000, L"m"}, {900, L"cm"}, {500, L"d"}, {400, L"cd"}, {100, L"c"}, {90, L"xc"}, {50, L"l"},
                {40, L"xl"},  {10, L"x"},   {9, L"ix"},  {5, L"v"},    {4, L"iv"},  {1, L"i"}};
  std::wstring out;
  for (const auto& part : kParts) {
    while (value >= part.Value && out.size() < 40) {
      out += part.Text;
      value -= part.Value;
    }
  }
  return out;
}

std::wstring Alphabetic(int value) {
  std::wstring out;
  while (value > 0 && out.size() < 8) {
    --value;
    out.insert(out.begin(), static_cast<wchar_t>(L'a' + value % 26));
    value /= 26;
  }
  return out;
}

// The marker of item number value of an ordered list of this type.
std::wstring OrderedMarker(int value, wchar_t type) {
  std::wstring text;
  if (value > 0 && value < 4000 && (type == L'i' || type == L'I')) {
    text = RomanNumeral(value);
  } else if (value > 0 && (type == L'a' || type == L'A')) {
    text = Alphabetic(value);
  } else {
    text = std::to_wstring(value);
  }
  if (type == L'I' || type == L'A') {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  }
  return text + L".";
}

struct TListContext {
  bool Ordered = false;
  wchar_t Type = L'1';
  int Next = 1;
  int Depth = 0;  // lists around this one
};

struct TContext {
  TTextStyle Style;
  bool Hidden = false;  // visibility: hidden
  bool Preformatted = false;
  TTextAlign Align = TTextAlign::kLeft;
  TListContext* List = nullptr;
  int ListDepth = 0;
};

class TBoxBuilder {
 public:
  TBoxBuilder(const TDomDocument& document, const TStyleResolver* styles) : doc_(document), styles_(styles) {}

  TBoxTree Build() {
    TContext context;
    const int html = doc_.Html;
    if (html >= 0) Visit(html, tree_.Root, context);
    FlushRun(tree_.Root);
    return std::move(tree_);
  }

  TBoxTree& Tree() { return tree_; }

  // ---- inline runs

  // The open run of inline content of container, opened when needed.
  TBox& Run(TBox& container, const TContext& context) {
    if (runOwner_ != &container || container.Children.empty()) {
      if (runOwner_ != nullptr) FlushRun(*runOwner_);
      TBox& run = container.Children.emplace_back();
      run.Style = context.Style;
      run.Align = context.Align;
      runOwner_ = &container;
      lastSpace_ = true;
      column_ = 0;
    }
    return container.Children.back();
  }

  void FlushRun(TBox& container) {
    if (runOwner_ != &container) return;
    runOwner_ = nullptr;
    lastSpace_ = true;
    column_ = 0;
    TBox& run = container.Children.back();
    TrimTrailingSpace(run);
    const bool visible = std::any_of(run.Inlines.begin(), run.Inlines.end(), [](const TInline& item) {
      return item.Kind == TInline::kBreak || item.Kind == TInline::kPicture ||
             (item.Kind == TInline::kText && !item.Text.empty());
    });
    const bool anchors = std::any_of(run.Inlines.begin(), run.Inlines.end(),
                                     [](const TInline& item) { return item.Kind == TInline::kAnchor; });
    if (!visible && !anchors) container.Children.pop_back();
  }

  static void TrimTrailingSpace(TBox& run) {
    for (auto it = run.Inlines.rbegin(); it != run.Inlines.rend(); ++it) {
      if (it->Kind == TInline::kAnchor) continue;
      if (it->Kind != TInline::kText) return;
      if (!it->Text.empty() && it->Text.back() == L' ' && !it->Style.Has(kTextPreformatted)) it->Text.pop_back();
      if (!it->Text.empty()) return;
    }
  }

  void Emit(TBox& container, const TContext& context, std::wstring_view text) {
    if (text.empty()) return;
    TBox& run = Run(container, context);
    if (!run.Inlines.empty() && run.Inlines.back().Kind == TInline::kText && run.Inlines.back().Style == context.Style) {
      run.Inlines.back().Text += text;
      return;
    }
    TInline item;
    item.Style = context.Style;
    item.Text = std::wstring(text);
    run.Inlines.push_back(std::move(item));
  }

  void AddText(TBox& container, const TContext& context, const std::wstring& text) {
    if (context.Hidden) return;
    Run(container, context);  // opened first: opening resets the blank state
    std::wstring piece;
    if (context.Preformatted) {
      for (wchar_t c : text) {
        if (c == L'\n') {
          Emit(container, context, piece);
          piece.clear();
          AddBreak(container, context);
        } else if (c == L'\t') {
          do {
            piece.push_back(L' ');
            ++column_;
          } while (column_ % 8 != 0);
        } else {
          piece.push_back(c);
          ++column_;
        }
      }
      Emit(container, context, piece);
      if (!piece.empty()) lastSpace_ = false;
      return;
    }
    for (wchar_t c : text) {
      if (IsBlank(c)) {
        if (lastSpace_) continue;
        piece.push_back(L' ');
        lastSpace_ = true;
      } else {
        piece.push_back(c);
        lastSpace_ = false;
      }
    }
    Emit(container, context, piece);
  }

  void AddBreak(TBox& container, const TContext& context) {
    TBox& run = Run(container, context);
    if (!context.Preformatted) TrimTrailingSpace(run);
    TInline item;
    item.Kind = TInline::kBreak;
    item.Style = context.Style;
    run.Inlines.push_back(std::move(item));
    lastSpace_ = true;
    column_ = 0;
  }

  void AddAnchor(TBox& container, const TContext& context, const std::wstring& name) {
    TInline item;
    item.Kind = TInline::kAnchor;
    item.Text = name;
    Run(container, context).Inlines.push_back(std::move(item));
  }

  void AddPicture(TBox& container, const TContext& context, int node) {
    if (context.Hidden) return;
    TPictureRef picture;
    if (const std::wstring* source = doc_.Attribute(node, "src")) picture.Source = std::wstring(Trim(*source));
    if (const std::wstring* alternative = doc_.Attribute(node, "alt")) picture.Alternative = *alternative;
    picture.Width = LeadingNumber(doc_.Attribute(node, "width"));
    picture.Height = LeadingNumber(doc_.Attribute(node, "height"));
    if (picture.Source.empty() && picture.Alternative.empty()) return;
    tree_.Pictures.push_back(std::move(picture));
    TInline item;
    item.Kind = TInline::kPicture;
    item.Style = context.Style;
    item.Picture = static_cast<int>(tree_.Pictures.size()) - 1;
    Run(container, context).Inlines.push_back(std::move(item));
    lastSpace_ = false;
  }

  // ---- elements

  void VisitChildren(int node, TBox& container, const TContext& context) {
    for (int child = doc_.Nodes[node].FirstChild; child >= 0; child = doc_.Nodes[child].NextSibling) {
      Visit(child, container, context);
    }
  }

  void Visit(int node, TBox& container, const TContext& parent) {
    const TDomNode& n = doc_.Nodes[node];
    if (n.IsText) {
      AddText(container, parent, n.Text);
      return;
    }
    const TElementStyle style = styles_ != nullptr ? styles_->StyleOf(node) : TElementStyle{};
    if (style.Display == TDisplayValue::kNone) return;
    if (style.Display != TDisplayValue::kShown && HiddenByDefault(doc_, node)) return;
    TContext context = parent;
    if (style.Visibility != TVisibilityValue::kUnset) context.Hidden = style.Visibility == TVisibilityValue::kHidden;
    const TTag tag = n.Tag;
    ApplyTagStyle(node, tag, style, context);

    const std::wstring* id = doc_.Attribute(node, "id");
    switch (tag) {
      case TTag::kBr:
        if (!context.Hidden) AddBreak(container, context);
        return;
      case TTag::kWbr:
        return;
      case TTag::kImg:
        if (id != nullptr) AddAnchor(container, context, *id);
        AddPicture(container, context, node);
        return;
      case TTag::kHr: {
        FlushRun(container);
        TBox& rule = container.Children.emplace_back();
        rule.Kind = TBoxKind::kRule;
        rule.MarginTop = rule.MarginBottom = 8;
        rule.Style = context.Style;
        if (id != nullptr) rule.Anchor = *id;
        return;
      }
      case TTag::kTable:
        Table(node, container, context, id);
        return;
      case TTag::kDetails:
        Details(node, container, context, id);
        return;
      default:
        break;
    }
    if (tag == TTag::kLi || IsBlockTag(tag)) {
      FlushRun(container);
      TBox& box = container.Children.emplace_back();
      box.Style = context.Style;
      if (id != nullptr) box.Anchor = *id;
      BlockLook(node, tag, box, context);
      TListContext list;
      if (IsList(tag)) {
        list.Ordered = tag == TTag::kOl;
        list.Depth = context.ListDepth;
        if (list.Ordered) {
          if (const std::wstring* start = doc_.Attribute(node, "start")) {
            const std::wstring_view text = Trim(*start);
            const bool negative = !text.empty() && text[0] == L'-';
            const int value = LeadingNumber(start);
            list.Next = negative ? -value : (text.empty() ? 1 : value);
          }
          if (const std::wstring* type = doc_.Attribute(node, "type"); type != nullptr && type->size() == 1) {
            list.Type = (*type)[0];
          }
        }
        context.List = &list;
        ++context.ListDepth;
      }
      if (tag == TTag::kLi) {
        box.Kind = TBoxKind::kListItem;
        box.Marker = MarkerFor(node, context);
      }
      VisitChildren(node, box, context);
      FlushRun(box);
      return;
    }
    // Inline: the element's look goes to its content, in the same run.
    if (id != nullptr && !context.Hidden) AddAnchor(container, context, *id);
    if (tag == TTag::kA) {
      if (const std::wstring* name = doc_.Attribute(node, "name"); name != nullptr && !context.Hidden) {
        AddAnchor(container, context, *name);
      }
    }
    VisitChildren(node, container, context);
  }

  std::wstring MarkerFor(int node, TContext& context) {
    TListContext* list = context.List;
    if (list == nullptr || !list->Ordered) {
      const int depth = list != nullptr ? list->Depth : 0;
      static const wchar_t* const kBullets[] = {L"\x2022", L"\x25E6", L"\x25AA"};
      return kBullets[std::min(depth, 2)];
    }
    if (const std::wstring* value = doc_.Attribute(node, "value")) {
      const std::wstring_view text = Trim(*value);
      if (!text.empty()) list->Next = (text[0] == L'-' ? -1 : 1) * LeadingNumber(value);
    }
    return OrderedMarker(list->Next++, list->Type);
  }

  void ApplyTagStyle(int node, TTag tag, const TElementStyle& style, TContext& context) {
    TTextStyle& s = context.Style;
    auto mono = [&] {
      if (!s.Has(kTextMono)) s.Size = static_cast<uint8_t>(std::max(8, s.Size * 13 / 16));
      s.Flags |= kTextMono;
    };
    switch (tag) {
      case TTag::kB: case TTag::kStrong: case TTag::kTh: s.Flags |= kTextBold; break;
      case TTag::kI: case TTag::kEm: case TTag::kCite: case TTag::kVar: case TTag::kDfn: case TTag::kAddress:
        s.Flags |= kTextItalic;
        break;
      case TTag::kU: case TTag::kIns: s.Flags |= kTextUnderline; break;
      case TTag::kS: case TTag::kStrike: case TTag::kDel: s.Flags |= kTextStrike; break;
      case TTag::kCode: case TTag::kTt: case TTag::kKbd: case TTag::kSamp: mono(); break;
      case TTag::kPre: case TTag::kListing: case TTag::kXmp: case TTag::kPlaintext:
        mono();
        context.Preformatted = true;
        s.Flags |= kTextPreformatted;
        break;
      case TTag::kSup:
        s.Flags = static_cast<uint16_t>((s.Flags | kTextSuper) & ~kTextSub);
        s.Size = static_cast<uint8_t>(std::max(8, s.Size * 5 / 6));
        break;
      case TTag::kSub:
        s.Flags = static_cast<uint16_t>((s.Flags | kTextSub) & ~kTextSuper);
        s.Size = static_cast<uint8_t>(std::max(8, s.Size * 5 / 6));
        break;
      case TTag::kSmall: s.Size = static_cast<uint8_t>(std::max(8, s.Size * 5 / 6)); break;
      case TTag::kBig: s.Size = static_cast<uint8_t>(std::min(72, s.Size * 6 / 5)); break;
      case TTag::kMark: s.Flags |= kTextHighlight; break;
      case TTag::kFont:
        if (const std::wstring* size = doc_.Attribute(node, "size")) {
          static const uint8_t kSizes[] = {10, 13, 16, 18, 24, 32, 48};
          const std::wstring_view text = Trim(*size);
          int value = LeadingNumber(size);
          if (!text.empty() && (text[0] == L'+' || text[0] == L'-')) {
            const std::wstring digits(text.substr(1));
            value = 3 + (text[0] == L'+' ? 1 : -1) * LeadingNumber(&digits);
          }
          if (value >= 1) s.Size = kSizes[std::min(value, 7) - 1];
        }
        break;
      case TTag::kH1: case TTag::kH2: case TTag::kH3: case TTag::kH4: case TTag::kH5: case TTag::kH6: {
        static const uint8_t kHeadingSizes[] = {32, 24, 19, 16, 13, 11};
        s.Flags |= kTextBold;
        s.Size = kHeadingSizes[static_cast<int>(tag) - static_cast<int>(TTag::kH1)];
        break;
      }
      case TTag::kA:
        if (const std::wstring* href = doc_.Attribute(node, "href")) {
          TBoxLink link;
          link.Href = std::wstring(Trim(*href));
          if (const std::wstring* target = doc_.Attribute(node, "target")) link.Target = *target;
          tree_.Links.push_back(std::move(link));
          s.Link = static_cast<int>(tree_.Links.size()) - 1;
        }
        break;
      default:
        break;
    }
    // The page's own highlight of found text: a span with a background.
    if (tag == TTag::kSpan && style.Background) s.Flags |= kTextHighlight;
    if (tag == TTag::kCenter) context.Align = TTextAlign::kCenter;
    if (tag == TTag::kTh) context.Align = TTextAlign::kCenter;
    if (const std::wstring* align = doc_.Attribute(node, "align");
        align != nullptr && (IsBlockTag(tag) || tag == TTag::kTable)) {
      const std::wstring value = Lower(Trim(*align));
      if (value == L"center" || value == L"middle") context.Align = TTextAlign::kCenter;
      else if (value == L"right") context.Align = TTextAlign::kRight;
      else if (value == L"left" || value == L"justify") context.Align = TTextAlign::kLeft;
    }
  }

  void BlockLook(int node, TTag tag, TBox& box, const TContext& context) {
    const int em = context.Style.Size;
    box.Align = context.Align;
    switch (tag) {
      case TTag::kP:
      case TTag::kDl:
        box.MarginTop = box.MarginBottom = em;
        break;
      case TTag::kUl: case TTag::kOl: case TTag::kMenu: case TTag::kDir:
        if (context.ListDepth == 0) box.MarginTop = box.MarginBottom = em;
        box.IndentLeft = 40;
        break;
      case TTag::kBlockquote:
      case TTag::kFigure:
        box.MarginTop = box.MarginBottom = em;
        box.IndentLeft = box.IndentRight = 40;
        break;
      case TTag::kDd:
        box.IndentLeft = 40;
        break;
      case TTag::kPre: case TTag::kListing: case TTag::kXmp: case TTag::kPlaintext:
        box.MarginTop = box.MarginBottom = em;
        break;
      case TTag::kH1: case TTag::kH2: case TTag::kH3: case TTag::kH4: case TTag::kH5: case TTag::kH6: {
        static const int kFactors[] = {67, 83, 100, 133, 167, 233};  // hundredths of the heading's size
        box.MarginTop = box.MarginBottom = em * kFactors[static_cast<int>(tag) - static_cast<int>(TTag::kH1)] / 100;
        break;
      }
      case TTag::kFieldset:
        box.MarginTop = box.MarginBottom = 8;
        box.IndentLeft = box.IndentRight = 12;
        break;
      case TTag::kCaption:
        box.Align = TTextAlign::kCenter;
        break;
      default:
        break;
    }
    (void)node;
  }

  // A closed <details> shows its summary only.
  void Details(int node, TBox& container, const TContext& context, const std::wstring* id) {
    FlushRun(container);
    TBox& box = container.Children.emplace_back();
    box.Style = context.Style;
    if (id != nullptr) box.Anchor = *id;
    const bool open = doc_.HasAttribute(node, "open");
    bool summaryShown = false;
    for (int child = doc_.Nodes[node].FirstChild; child >= 0; child = doc_.Nodes[child].NextSibling) {
      const bool summary = !doc_.Nodes[child].IsText && doc_.Nodes[child].Tag == TTag::kSummary && !summaryShown;
      if (summary) summaryShown = true;
      if (open || summary) Visit(child, box, context);
    }
    FlushRun(box);
  }

  void Table(int node, TBox& container, const TContext& context, const std::wstring* id) {
    FlushRun(container);
    // Captions show above the table.
    for (int child = doc_.Nodes[node].FirstChild; child >= 0; child = doc_.Nodes[child].NextSibling) {
      if (doc_.IsElement(child, TTag::kCaption)) Visit(child, container, context);
    }
    TBox& table = container.Children.emplace_back();
    table.Kind = TBoxKind::kTable;
    table.Style = context.Style;
    table.Align = context.Align;
    if (id != nullptr) table.Anchor = *id;
    bool percent = false;
    table.Width = LeadingNumber(doc_.Attribute(node, "width"), &percent);
    table.WidthPercent = percent;
    if (const std::wstring* spacing = doc_.Attribute(node, "cellspacing")) table.CellSpacing = std::min(LeadingNumber(spacing), 50);
    if (const std::wstring* padding = doc_.Attribute(node, "cellpadding")) table.CellPadding = std::min(LeadingNumber(padding), 50);
    if (const std::wstring* border = doc_.Attribute(node, "border")) table.Borders = Trim(*border).empty() || LeadingNumber(border) > 0;
    TContext inner = context;
    inner.Align = TTextAlign::kLeft;
    for (int child = doc_.Nodes[node].FirstChild; child >= 0; child = doc_.Nodes[child].NextSibling) {
      if (doc_.Nodes[child].IsText || Shown(child) == false) continue;
      const TTag tag = doc_.Nodes[child].Tag;
      if (tag == TTag::kTr) {
        Row(child, table, inner);
      } else if (tag == TTag::kTbody || tag == TTag::kThead || tag == TTag::kTfoot) {
        for (int row = doc_.Nodes[child].FirstChild; row >= 0; row = doc_.Nodes[row].NextSibling) {
          if (doc_.IsElement(row, TTag::kTr) && Shown(row)) Row(row, table, inner);
        }
      }
    }
  }

  bool Shown(int node) const {
    const TElementStyle style = styles_ != nullptr ? styles_->StyleOf(node) : TElementStyle{};
    if (style.Display == TDisplayValue::kNone) return false;
    return style.Display == TDisplayValue::kShown || !HiddenByDefault(doc_, node);
  }

  void Row(int node, TBox& table, const TContext& context) {
    TBox& row = table.Children.emplace_back();
    row.Kind = TBoxKind::kRow;
    TContext rowContext = context;
    if (const std::wstring* align = doc_.Attribute(node, "align")) {
      const std::wstring value = Lower(Trim(*align));
      if (value == L"center") rowContext.Align = TTextAlign::kCenter;
      else if (value == L"right") rowContext.Align = TTextAlign::kRight;
    }
    for (int child = doc_.Nodes[node].FirstChild; child >= 0; child = doc_.Nodes[child].NextSibling) {
      if (!doc_.IsElement(child, TTag::kTd) && !doc_.IsElement(child, TTag::kTh)) continue;
      if (!Shown(child)) continue;
      const TElementStyle style = styles_ != nullptr ? styles_->StyleOf(child) : TElementStyle{};
      TContext cellContext = rowContext;
      if (style.Visibility != TVisibilityValue::kUnset) {
        cellContext.Hidden = style.Visibility == TVisibilityValue::kHidden;
      }
      ApplyTagStyle(child, doc_.Nodes[child].Tag, style, cellContext);
      TBox& cell = row.Children.emplace_back();
      cell.Kind = TBoxKind::kCell;
      cell.Style = cellContext.Style;
      cell.Align = cellContext.Align;
      if (const std::wstring* id = doc_.Attribute(child, "id")) cell.Anchor = *id;
      cell.ColumnSpan = std::clamp(LeadingNumber(doc_.Attribute(child, "colspan")), 1, 1000);
      const std::wstring* rowSpan = doc_.Attribute(child, "rowspan");
      cell.RowSpan = rowSpan == nullptr ? 1 : std::clamp(LeadingNumber(rowSpan), 1, 1000);
      VisitChildren(child, cell, cellContext);
      FlushRun(cell);
    }
  }

 private:
  const TDomDocument& doc_;
  const TStyleResolver* styles_;
  TBoxTree tree_;
  TBox* runOwner_ = nullptr;
  bool lastSpace_ = true;
  int column_ = 0;
};

}  // namespace

TBoxTree BuildBoxes(const TDomDocument& document, const TStyleResolver& styles) {
  return TBoxBuilder(document, &styles).Build();
}

TBoxTree PlainTextBoxes(std::wstring_view text) {
  TBoxTree tree;
  TBox& block = tree.Root.Children.emplace_back();
  block.Style.Flags = kTextMono | kTextPreformatted;
  block.Style.Size = 13;
  TTextStyle style = block.Style;
  std::wstring line;
  int column = 0;
  auto flushLine = [&] {
    if (line.empty()) return;
    TInline item;
    item.Style = style;
    item.Text = std::move(line);
    block.Inlines.push_back(std::move(item));
    line.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r' || c == L'\n') {
      if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      flushLine();
      TInline item;
      item.Kind = TInline::kBreak;
      item.Style = style;
      block.Inlines.push_back(std::move(item));
      column = 0;
    } else if (c == L'\t') {
      do {
        line.push_back(L' ');
        ++column;
      } while (column % 8 != 0);
    } else {
      line.push_back(c);
      ++column;
    }
  }
  flushLine();
  return tree;
}

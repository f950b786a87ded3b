#include "browser/plain_layout.h"

#include <algorithm>
#include <climits>

namespace {

bool IsBreakableCharacter(wchar_t c) {
  // Ideographs, kana and hangul break between any two characters.
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF);
}

struct TAtom {
  enum TKind : uint8_t { kWord, kSpace, kPicture, kBreak, kAnchor, kOpportunity };
  TKind Kind = kWord;
  TTextStyle Style;
  std::wstring Text;
  int Width = 0;
  int Height = 0;  // kPicture
  int Picture = -1;
  bool Glued = false;  // no line may break before it
  bool Joined = false;  // the rest of a word cut at a line's end
};

class TLayoutEngine {
 public:
  TLayoutEngine(const TBoxTree& tree, const std::vector<TPictureState>& pictures, TTextMeasurer& measurer)
      : tree_(tree), pictures_(pictures), measurer_(measurer) {}

  TPageLayout Run(int width) {
    page_.Width = width;
    y_ = kPageMargin;
    const int content = std::max(1, width - 2 * kPageMargin);
    Block(tree_.Root, kPageMargin, content);
    ApplyMargin();
    page_.Height = y_ + kPageMargin;
    for (const auto& [name, y] : anchors_) page_.Anchors.emplace(name, y);
    Index();
    return std::move(page_);
  }

 private:
  // ---- measuring

  int Width(const TTextStyle& style, std::wstring_view text) {
    if (text.empty()) return 0;
    return measurer_.TextWidth(TFontKey::Of(style), text);
  }

  TFontMetrics Metrics(const TTextStyle& style) { return measurer_.Metrics(TFontKey::Of(style)); }

  // The size a picture shows at within available pixels; {0, 0} while it
  // has none yet. failed: it shows its alternative text instead.
  std::pair<int, int> PictureSize(int index, int available, bool& failed) const {
    const TPictureRef& ref = tree_.Pictures[static_cast<size_t>(index)];
    const TPictureState state = static_cast<size_t>(index) < pictures_.size() ? pictures_[static_cast<size_t>(index)]
                                                                             : TPictureState{};
    failed = state.Kind == TPictureState::kFailed;
    if (failed) return {0, 0};
    long long w = ref.Width;
    long long h = ref.Height;
    if (state.Kind == TPictureState::kReady && state.Width > 0 && state.Height > 0) {
      if (w == 0 && h == 0) {
        w = state.Width;
        h = state.Height;
      } else if (h == 0) {
        h = w * state.Height / state.Width;
      } else if (w == 0) {
        w = h * state.Width / state.Height;
      }
    } else if (w == 0 || h == 0) {
      return {0, 0};  // not known before the picture arrives
    }
    w = std::min<long long>(w, 100000);
    h = std::min<long long>(h, 100000);
    if (available > 0 && w > available) {
      h = h * available / w;
      w = available;
    }
    return {static_cast<int>(w), static_cast<int>(std::max<long long>(h, 1))};
  }

  // ---- atoms

  void AddWord(std::vector<TAtom>& atoms, const TTextStyle& style, std::wstring word, bool glued) {
    TAtom atom;
    atom.Kind = TAtom::kWord;
    atom.Style = style;
    atom.Width = Width(style, word);
    atom.Text = std::move(word);
    atom.Glued = glued;
    atoms.push_back(std::move(atom));
  }

  void TextAtoms(std::vector<TAtom>& atoms, const TTextStyle& style, const std::wstring& text) {
    const bool pre = style.Has(kTextPreformatted);
    std::wstring word;
    // A word glues to the word before it when no space or opportunity
    // stands between them ("foo<b>bar</b>").
    auto glued = [&atoms] {
      for (auto it = atoms.rbegin(); it != atoms.rend(); ++it) {
        if (it->Kind != TAtom::kAnchor) return it->Kind == TAtom::kWord;
      }
      return false;
    };
    auto flushWord = [&] {
      if (word.empty()) return;
      const bool g = glued();
      AddWord(atoms, style, std::move(word), g);
      word.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
      const wchar_t c = text[i];
      if (c == L' ') {
        flushWord();
        size_t end = i;
        while (end < text.size() && text[end] == L' ') ++end;
        TAtom space;
        space.Kind = TAtom::kSpace;
        space.Style = style;
        space.Text = pre ? text.substr(i, end - i) : std::wstring(L" ");
        space.Width = Width(style, space.Text);
        atoms.push_back(std::move(space));
        i = end - 1;
      } else if (c == 0x200B) {
        flushWord();
        TAtom opportunity;
        opportunity.Kind = TAtom::kOpportunity;
        atoms.push_back(std::move(opportunity));
      } else if (IsBreakableCharacter(c)) {
        flushWord();
        AddWord(atoms, style, std::wstring(1, c), false);
      } else {
        word.push_back(c);
      }
    }
    flushWord();
  }

  std::vector<TAtom> Atoms(const TBox& run, int available) {
    std::vector<TAtom> atoms;
    for (const TInline& item : run.Inlines) {
      switch (item.Kind) {
        case TInline::kText:
          TextAtoms(atoms, item.Style, item.Text);
          break;
        case TInline::kBreak: {
          TAtom atom;
          atom.Kind = TAtom::kBreak;
          atom.Style = item.Style;
          atoms.push_back(std::move(atom));
          break;
        }
        case TInline::kAnchor: {
          TAtom atom;
          atom.Kind = TAtom::kAnchor;
          atom.Text = item.Text;
          atom.Glued = true;  // never a place to break
          atoms.push_back(std::move(atom));
          break;
        }
        case TInline::kPicture: {
          bool failed = false;
          const auto [w, h] = PictureSize(item.Picture, available, failed);
          if (failed) {
            const std::wstring& alternative = tree_.Pictures[static_cast<size_t>(item.Picture)].Alternative;
            TTextStyle style = item.Style;
            style.Flags |= kTextAlternative;
            style.Flags &= static_cast<uint16_t>(~kTextPreformatted);
            TextAtoms(atoms, style, alternative);
            break;
          }
          if (w == 0) break;
          TAtom atom;
          atom.Kind = TAtom::kPicture;
          atom.Style = item.Style;
          atom.Picture = item.Picture;
          atom.Width = w;
          atom.Height = h;
          atoms.push_back(std::move(atom));
          break;
        }
      }
    }
    return atoms;
  }

  // ---- margins, anchors and markers

  void ApplyMargin() {
    if (suppressMargin_) {
      suppressMargin_ = false;
      pending_ = 0;
    }
    y_ += pending_;
    pending_ = 0;
  }

  void Anchor(const std::wstring& name, int y) { anchors_.emplace_back(name, y); }

  // ---- lines

  struct TPlaced {
    const TAtom* Atom;
    int X;
  };

  // Places one line's atoms (trailing spaces already dropped).
  void EmitLine(const std::vector<TPlaced>& placed, int lineWidth, const TBox& run, int left, int width,
                bool breakOnly) {
    const bool shows = std::any_of(placed.begin(), placed.end(), [](const TPlaced& p) {
      return p.Atom->Kind == TAtom::kWord || p.Atom->Kind == TAtom::kSpace || p.Atom->Kind == TAtom::kPicture;
    });
    if (!shows && !breakOnly) {
      // Only anchors: they mark where the next content starts.
      for (const TPlaced& p : placed) {
        if (p.Atom->Kind == TAtom::kAnchor) Anchor(p.Atom->Text, y_ + pending_);
      }
      return;
    }
    ApplyMargin();
    const TFontMetrics strut = Metrics(run.Style);
    int ascent = strut.Ascent;
    int descent = strut.Descent;
    auto shiftOf = [](const TTextStyle& style) {
      if (style.Has(kTextSuper)) return -static_cast<int>(style.Size) * 2 / 5;
      if (style.Has(kTextSub)) return static_cast<int>(style.Size) / 4;
      return 0;
    };
    for (const TPlaced& p : placed) {
      const TAtom& a = *p.Atom;
      if (a.Kind == TAtom::kPicture) {
        ascent = std::max(ascent, a.Height);
      } else if (a.Kind == TAtom::kWord || a.Kind == TAtom::kSpace) {
        const TFontMetrics m = Metrics(a.Style);
        const int shift = shiftOf(a.Style);
        ascent = std::max(ascent, m.Ascent - shift);
        descent = std::max(descent, m.Descent + shift);
      }
    }
    const int top = y_;
    const int baseline = top + ascent;
    int offset = 0;
    if (run.Align == TTextAlign::kCenter) offset = std::max(0, (width - lineWidth) / 2);
    if (run.Align == TTextAlign::kRight) offset = std::max(0, width - lineWidth);
    const int line = nextLine_++;

    PlaceMarkers(baseline);
    TLayoutItem* open = nullptr;  // the text item words of the same style join
    for (const TPlaced& p : placed) {
      const TAtom& a = *p.Atom;
      const int x = left + offset + p.X;
      if (a.Kind == TAtom::kAnchor) {
        Anchor(a.Text, top);
        continue;
      }
      if (a.Kind == TAtom::kPicture) {
        TLayoutItem item;
        item.Kind = TLayoutItem::kPicture;
        item.X = x;
        item.Y = baseline - a.Height;
        item.Width = a.Width;
        item.Height = a.Height;
        item.Style = a.Style;
        item.Picture = a.Picture;
        item.Line = line;
        page_.Items.push_back(std::move(item));
        open = nullptr;
        continue;
      }
      if (a.Kind != TAtom::kWord && a.Kind != TAtom::kSpace) continue;
      if (open != nullptr && open->Style == a.Style && open->X + open->Width == x && !a.Joined) {
        open->Text += a.Text;
        open->Width += a.Width;
        continue;
      }
      const TFontMetrics m = Metrics(a.Style);
      const int shift = shiftOf(a.Style);
      TLayoutItem item;
      item.Kind = TLayoutItem::kText;
      item.X = x;
      item.Baseline = baseline + shift;
      item.Y = item.Baseline - m.Ascent;
      item.Width = a.Width;
      item.Height = m.Ascent + m.Descent;
      item.Style = a.Style;
      item.Text = a.Text;
      item.Line = line;
      item.Joined = a.Joined;
      page_.Items.push_back(std::move(item));
      open = &page_.Items.back();
    }
    y_ = top + ascent + descent;
  }

  // The markers of list items whose first line this is (nested items that
  // begin together share it).
  void PlaceMarkers(int baseline) {
    for (const auto& [item, left] : markers_) {
      if (item->Marker.empty()) continue;
      TLayoutItem marker;
      marker.Kind = TLayoutItem::kMarker;
      marker.Style = item->Style;
      marker.Style.Link = -1;
      marker.Style.Flags &= static_cast<uint16_t>(kTextBold | kTextItalic | kTextMono);
      marker.Text = item->Marker;
      const TFontMetrics m = Metrics(marker.Style);
      marker.Width = Width(marker.Style, marker.Text);
      marker.X = left - marker.Width - 6;
      marker.Baseline = baseline;
      marker.Y = baseline - m.Ascent;
      marker.Height = m.Ascent + m.Descent;
      page_.Items.push_back(std::move(marker));
    }
    markers_.clear();
  }

  // Splits a word too wide for any line into pieces that fit.
  void SplitWord(const TAtom& word, int width, std::vector<TAtom>& pieces) {
    size_t start = 0;
    bool first = true;
    while (start < word.Text.size()) {
      // The longest prefix that fits, at least one character.
      size_t low = 1, high = word.Text.size() - start;
      while (low < high) {
        const size_t mid = (low + high + 1) / 2;
        if (Width(word.Style, std::wstring_view(word.Text).substr(start, mid)) <= width) low = mid;
        else high = mid - 1;
      }
      TAtom piece = word;
      piece.Text = word.Text.substr(start, low);
      piece.Width = Width(word.Style, piece.Text);
      piece.Joined = !first || word.Joined;
      piece.Glued = first && word.Glued;
      pieces.push_back(std::move(piece));
      start += low;
      first = false;
    }
  }

  void Lines(const TBox& run, int left, int width) {
    std::vector<TAtom> atoms = Atoms(run, width);
    std::vector<TPlaced> line;
    int x = 0;
    bool afterForcedBreak = true;
    auto trailingTrimmed = [&line]() {
      // Spaces at a line's end hang outside it.
      size_t end = line.size();
      while (end > 0 && line[end - 1].Atom->Kind == TAtom::kSpace) --end;
      return end;
    };
    auto lineWidthOf = [&line](size_t count) {
      if (count == 0) return 0;
      const TPlaced& last = line[count - 1];
      return last.X + last.Atom->Width;
    };
    auto finish = [&](bool forced) {
      const size_t keep = trailingTrimmed();
      std::vector<TPlaced> shown(line.begin(), line.begin() + static_cast<long>(keep));
      // Anchors after the last word stay on the line.
      for (size_t i = keep; i < line.size(); ++i) {
        if (line[i].Atom->Kind == TAtom::kAnchor) shown.push_back(line[i]);
      }
      EmitLine(shown, lineWidthOf(keep), run, left, width, forced);
      line.clear();
      x = 0;
      afterForcedBreak = forced;
    };
    std::vector<std::vector<TAtom>> splitStore;  // pieces of cut words (the line points at them)

    size_t i = 0;
    while (i < atoms.size()) {
      const TAtom& atom = atoms[i];
      if (atom.Kind == TAtom::kBreak) {
        finish(true);
        ++i;
        continue;
      }
      if (atom.Kind == TAtom::kAnchor || atom.Kind == TAtom::kOpportunity) {
        line.push_back({&atom, x});
        ++i;
        continue;
      }
      if (atom.Kind == TAtom::kSpace) {
        // Collapsible spaces vanish at a line's start; preformatted ones
        // only at the start of a line the layout began.
        const bool keep = atom.Style.Has(kTextPreformatted) ? (afterForcedBreak || !line.empty()) : !line.empty();
        if (keep) {
          line.push_back({&atom, x});
          x += atom.Width;
        }
        ++i;
        continue;
      }
      // A chunk: this atom and the glued words after it.
      size_t end = i + 1;
      int chunkWidth = atom.Width;
      while (end < atoms.size() && atoms[end].Glued) {
        chunkWidth += atoms[end].Width;
        ++end;
      }
      const size_t visible = trailingTrimmed();
      const bool lineHasContent = visible > 0 && std::any_of(line.begin(), line.begin() + static_cast<long>(visible),
                                                              [](const TPlaced& p) {
                                                                return p.Atom->Kind == TAtom::kWord ||
                                                                       p.Atom->Kind == TAtom::kPicture;
                                                              });
      if (lineHasContent && x + chunkWidth > width) {
        // Breaks before the chunk; spaces before it hang.
        x = lineWidthOf(visible);
        finish(false);
      }
      if (x + chunkWidth > width && chunkWidth > width) {
        // Wider than any line: the words are cut where the line ends.
        auto& pieces = splitStore.emplace_back();
        for (size_t k = i; k < end; ++k) {
          if (atoms[k].Kind == TAtom::kWord && atoms[k].Text.size() > 1 && atoms[k].Width > width) {
            SplitWord(atoms[k], width, pieces);
          } else {
            pieces.push_back(atoms[k]);
          }
        }
        for (const TAtom& piece : pieces) {
          if (x > 0 && x + piece.Width > width) finish(false);
          line.push_back({&piece, x});
          x += piece.Width;
        }
      } else {
        for (size_t k = i; k < end; ++k) {
          line.push_back({&atoms[k], x});
          x += atoms[k].Width;
        }
      }
      i = end;
    }
    if (!line.empty()) finish(false);
  }

  // ---- blocks

  void Block(const TBox& box, int left, int width) {
    pending_ = std::max(pending_, box.MarginTop);
    if (!box.Anchor.empty()) Anchor(box.Anchor, y_ + pending_);
    const int innerLeft = left + box.IndentLeft;
    const int innerWidth = std::max(1, width - box.IndentLeft - box.IndentRight);
    switch (box.Kind) {
      case TBoxKind::kRule: {
        ApplyMargin();
        TLayoutItem rule;
        rule.Kind = TLayoutItem::kRule;
        rule.X = innerLeft;
        rule.Y = y_;
        rule.Width = innerWidth;
        rule.Height = 2;
        page_.Items.push_back(std::move(rule));
        y_ += 2;
        break;
      }
      case TBoxKind::kTable:
        Table(box, innerLeft, innerWidth);
        break;
      case TBoxKind::kListItem: {
        markers_.emplace_back(&box, innerLeft);
        Contents(box, innerLeft, innerWidth);
        const bool pending = std::any_of(markers_.begin(), markers_.end(),
                                         [&box](const auto& marker) { return marker.first == &box; });
        if (pending) {
          // An item without lines still shows its marker.
          ApplyMargin();
          const TFontMetrics m = Metrics(box.Style);
          PlaceMarkers(y_ + m.Ascent);
          y_ += m.Ascent + m.Descent;
        }
        break;
      }
      default:
        Contents(box, innerLeft, innerWidth);
        break;
    }
    pending_ = std::max(pending_, box.MarginBottom);
  }

  void Contents(const TBox& box, int left, int width) {
    if (!box.Inlines.empty()) Lines(box, left, width);
    for (const TBox& child : box.Children) Block(child, left, width);
  }

  // ---- intrinsic widths (for table columns)

  std::pair<int, int> MinMax(const TBox& box) {
    if (const auto found = minMax_.find(&box); found != minMax_.end()) return found->second;
    std::pair<int, int> result{0, 0};
    const int indents = box.IndentLeft + box.IndentRight;
    if (box.Kind == TBoxKind::kTable) {
      const TTableGrid grid = Grid(box);
      result = {grid.MinTotal, grid.MaxTotal};
      if (box.Width > 0 && !box.WidthPercent) result = {std::max(result.first, box.Width), std::max(result.first, box.Width)};
    } else if (box.Kind != TBoxKind::kRule) {
      if (!box.Inlines.empty()) {
        const std::vector<TAtom> atoms = Atoms(box, 0);
        int line = 0;
        int chunk = 0;
        for (const TAtom& atom : atoms) {
          if (atom.Kind == TAtom::kBreak) {
            result.second = std::max(result.second, line);
            line = 0;
            chunk = 0;
            continue;
          }
          if (atom.Kind == TAtom::kSpace || atom.Kind == TAtom::kOpportunity) {
            chunk = 0;
            line += atom.Width;
            continue;
          }
          if (!atom.Glued) chunk = 0;
          chunk += atom.Width;
          line += atom.Width;
          result.first = std::max(result.first, chunk);
        }
        result.second = std::max(result.second, line);
      }
      for (const TBox& child : box.Children) {
        const auto [childMin, childMax] = MinMax(child);
        result.first = std::max(result.first, childMin);
        result.second = std::max(result.second, childMax);
      }
    }
    result.first += indents;
    result.second = std::max(result.second + indents, result.first);
    minMax_.emplace(&box, result);
    return result;
  }

  struct TGridCell {
    const TBox* Box;
    int Row;
    int Column;
    int Columns;
    int Rows;
  };

  struct TTableGrid {
    std::vector<TGridCell> Cells;
    int RowCount = 0;
    int ColumnCount = 0;
    std::vector<int> ColumnMin;
    std::vector<int> ColumnMax;
    int MinTotal = 0;
    int MaxTotal = 0;
  };

  TTableGrid Grid(const TBox& table) {
    TTableGrid grid;
    constexpr int kMaxColumns = 1000;
    std::vector<std::vector<bool>> taken;
    const int rowCount = static_cast<int>(table.Children.size());
    grid.RowCount = rowCount;
    taken.resize(static_cast<size_t>(rowCount));
    for (int r = 0; r < rowCount; ++r) {
      int column = 0;
      for (const TBox& cell : table.Children[static_cast<size_t>(r)].Children) {
        auto& row = taken[static_cast<size_t>(r)];
        while (column < static_cast<int>(row.size()) && row[static_cast<size_t>(column)]) ++column;
        if (column >= kMaxColumns) break;
        const int columns = std::min(cell.ColumnSpan, kMaxColumns - column);
        const int rows = std::min(cell.RowSpan, rowCount - r);
        for (int rr = r; rr < r + rows; ++rr) {
          auto& occupied = taken[static_cast<size_t>(rr)];
          if (static_cast<int>(occupied.size()) < column + columns) occupied.resize(static_cast<size_t>(column + columns));
          for (int c = column; c < column + columns; ++c) occupied[static_cast<size_t>(c)] = true;
        }
        grid.Cells.push_back({&cell, r, column, columns, rows});
        grid.ColumnCount = std::max(grid.ColumnCount, column + columns);
        column += columns;
      }
    }
    const int n = grid.ColumnCount;
    grid.ColumnMin.assign(static_cast<size_t>(n), 0);
    grid.ColumnMax.assign(static_cast<size_t>(n), 0);
    const int padding = 2 * table.CellPadding + (table.Borders ? 2 : 0);
    const int spacing = table.CellSpacing;
    // Single columns first, then spanning cells spread what they lack.
    for (int pass = 0; pass < 2; ++pass) {
      for (const TGridCell& cell : grid.Cells) {
        if ((cell.Columns == 1) != (pass == 0)) continue;
        auto [cellMin, cellMax] = MinMax(*cell.Box);
        cellMin += padding;
        cellMax += padding;
        int haveMin = spacing * (cell.Columns - 1);
        int haveMax = haveMin;
        for (int c = cell.Column; c < cell.Column + cell.Columns; ++c) {
          haveMin += grid.ColumnMin[static_cast<size_t>(c)];
          haveMax += grid.ColumnMax[static_cast<size_t>(c)];
        }
        for (int c = cell.Column; c < cell.Column + cell.Columns; ++c) {
          if (cellMin > haveMin) grid.ColumnMin[static_cast<size_t>(c)] += (cellMin - haveMin + cell.Columns - 1) / cell.Columns;
          if (cellMax > haveMax) grid.ColumnMax[static_cast<size_t>(c)] += (cellMax - haveMax + cell.Columns - 1) / cell.Columns;
        }
      }
    }
    grid.MinTotal = spacing * (n + 1);
    grid.MaxTotal = grid.MinTotal;
    for (int c = 0; c < n; ++c) {
      grid.ColumnMax[static_cast<size_t>(c)] = std::max(grid.ColumnMax[static_cast<size_t>(c)], grid.ColumnMin[static_cast<size_t>(c)]);
      grid.MinTotal += grid.ColumnMin[static_cast<size_t>(c)];
      grid.MaxTotal += grid.ColumnMax[static_cast<size_t>(c)];
    }
    return grid;
  }

  void Table(const TBox& table, int left, int width) {
    const TTableGrid grid = Grid(table);
    ApplyMargin();
    const int n = grid.ColumnCount;
    const int spacing = table.CellSpacing;
    const int padding = table.CellPadding + (table.Borders ? 1 : 0);
    int target;
    if (table.Width > 0) {
      const long long wanted = table.WidthPercent ? static_cast<long long>(width) * std::min(table.Width, 100) / 100
                                                  : table.Width;
      target = static_cast<int>(std::max<long long>(grid.MinTotal, std::min<long long>(wanted, 100000)));
    } else {
      target = std::max(grid.MinTotal, std::min(width, grid.MaxTotal));
    }
    std::vector<int> widths(static_cast<size_t>(n));
    const long long flexible = static_cast<long long>(grid.MaxTotal) - grid.MinTotal;
    if (grid.MinTotal > width && n > 0) {
      // Not even the narrowest columns fit: they share the width in their
      // proportions and their longest words are cut, since nothing beyond
      // the page's right edge could be read.
      const long long room = std::max(n, width - table.CellSpacing * (n + 1));
      const long long sumMin = std::max<long long>(1, grid.MinTotal - table.CellSpacing * (n + 1));
      for (int c = 0; c < n; ++c) {
        widths[static_cast<size_t>(c)] =
            std::max(1, static_cast<int>(grid.ColumnMin[static_cast<size_t>(c)] * room / sumMin));
      }
    } else if (target >= grid.MaxTotal) {
      const long long extra = target - grid.MaxTotal;
      long long sumMax = 0;
      for (int w : grid.ColumnMax) sumMax += w;
      for (int c = 0; c < n; ++c) {
        const long long share = sumMax > 0 ? extra * grid.ColumnMax[static_cast<size_t>(c)] / sumMax : extra / std::max(1, n);
        widths[static_cast<size_t>(c)] = grid.ColumnMax[static_cast<size_t>(c)] + static_cast<int>(share);
      }
    } else {
      const long long room = target - grid.MinTotal;
      for (int c = 0; c < n; ++c) {
        const int lo = grid.ColumnMin[static_cast<size_t>(c)];
        const int hi = grid.ColumnMax[static_cast<size_t>(c)];
        widths[static_cast<size_t>(c)] = lo + static_cast<int>(flexible > 0 ? (hi - lo) * room / flexible : 0);
      }
    }
    std::vector<int> columnX(static_cast<size_t>(n) + 1);
    int tableWidth = spacing;
    for (int c = 0; c < n; ++c) {
      columnX[static_cast<size_t>(c)] = tableWidth;
      tableWidth += widths[static_cast<size_t>(c)] + spacing;
    }
    columnX[static_cast<size_t>(n)] = tableWidth;
    int tableLeft = left;
    if (table.Align == TTextAlign::kCenter) tableLeft += std::max(0, (width - tableWidth) / 2);
    if (table.Align == TTextAlign::kRight) tableLeft += std::max(0, width - tableWidth);

    // Every cell is laid out from y 0, then moved to its row.
    struct TCellRange {
      size_t ItemsBegin, ItemsEnd, AnchorsBegin, AnchorsEnd;
      int Height;
    };
    std::vector<TCellRange> ranges;
    ranges.reserve(grid.Cells.size());
    const int savedY = y_;
    const int savedPending = pending_;
    auto savedMarkers = std::move(markers_);
    markers_.clear();
    for (const TGridCell& cell : grid.Cells) {
      const int x = tableLeft + columnX[static_cast<size_t>(cell.Column)];
      const int w = columnX[static_cast<size_t>(cell.Column + cell.Columns)] - columnX[static_cast<size_t>(cell.Column)] - spacing;
      TCellRange range{page_.Items.size(), 0, anchors_.size(), 0, 0};
      y_ = 0;
      pending_ = 0;
      suppressMargin_ = true;
      if (!cell.Box->Anchor.empty()) Anchor(cell.Box->Anchor, 0);
      for (const TBox& child : cell.Box->Children) Block(child, x + padding, std::max(1, w - 2 * padding));
      suppressMargin_ = false;
      range.ItemsEnd = page_.Items.size();
      range.AnchorsEnd = anchors_.size();
      range.Height = y_ + 2 * padding;
      ranges.push_back(range);
    }
    y_ = savedY;
    pending_ = savedPending;
    markers_ = std::move(savedMarkers);

    std::vector<int> rowHeights(static_cast<size_t>(grid.RowCount), 0);
    for (size_t k = 0; k < grid.Cells.size(); ++k) {
      if (grid.Cells[k].Rows == 1) {
        int& h = rowHeights[static_cast<size_t>(grid.Cells[k].Row)];
        h = std::max(h, ranges[k].Height);
      }
    }
    for (size_t k = 0; k < grid.Cells.size(); ++k) {
      const TGridCell& cell = grid.Cells[k];
      if (cell.Rows == 1) continue;
      int have = spacing * (cell.Rows - 1);
      for (int r = cell.Row; r < cell.Row + cell.Rows; ++r) have += rowHeights[static_cast<size_t>(r)];
      if (ranges[k].Height > have) rowHeights[static_cast<size_t>(cell.Row + cell.Rows - 1)] += ranges[k].Height - have;
    }
    std::vector<int> rowTop(static_cast<size_t>(grid.RowCount) + 1);
    int y = y_ + spacing;
    for (int r = 0; r < grid.RowCount; ++r) {
      rowTop[static_cast<size_t>(r)] = y;
      y += rowHeights[static_cast<size_t>(r)] + spacing;
    }
    rowTop[static_cast<size_t>(grid.RowCount)] = y;
    for (size_t k = 0; k < grid.Cells.size(); ++k) {
      const TGridCell& cell = grid.Cells[k];
      const int top = rowTop[static_cast<size_t>(cell.Row)];
      const int height = rowTop[static_cast<size_t>(cell.Row + cell.Rows)] - spacing - top;
      const int shift = top + (height - ranges[k].Height) / 2 + padding;
      for (size_t i = ranges[k].ItemsBegin; i < ranges[k].ItemsEnd; ++i) {
        page_.Items[i].Y += shift;
        page_.Items[i].Baseline += shift;
      }
      for (size_t i = ranges[k].AnchorsBegin; i < ranges[k].AnchorsEnd; ++i) anchors_[i].second += shift;
      if (table.Borders) {
        TLayoutItem frame;
        frame.Kind = TLayoutItem::kFrame;
        frame.X = tableLeft + columnX[static_cast<size_t>(cell.Column)];
        frame.Y = top;
        frame.Width = columnX[static_cast<size_t>(cell.Column + cell.Columns)] - columnX[static_cast<size_t>(cell.Column)] - spacing;
        frame.Height = height;
        page_.Items.push_back(std::move(frame));
      }
    }
    if (table.Borders && n > 0) {
      TLayoutItem frame;
      frame.Kind = TLayoutItem::kFrame;
      frame.X = tableLeft;
      frame.Y = y_;
      frame.Width = tableWidth;
      frame.Height = y - y_;
      page_.Items.push_back(std::move(frame));
    }
    y_ = y;
  }

  void Index() {
    const size_t n = page_.Items.size();
    page_.MaxBottom.resize(n);
    page_.MinTopAfter.resize(n);
    int maxBottom = INT_MIN;
    for (size_t i = 0; i < n; ++i) {
      maxBottom = std::max(maxBottom, page_.Items[i].Y + page_.Items[i].Height);
      page_.MaxBottom[i] = maxBottom;
    }
    int minTop = INT_MAX;
    for (size_t i = n; i-- > 0;) {
      minTop = std::min(minTop, page_.Items[i].Y);
      page_.MinTopAfter[i] = minTop;
    }
  }

  const TBoxTree& tree_;
  const std::vector<TPictureState>& pictures_;
  TTextMeasurer& measurer_;
  TPageLayout page_;
  int y_ = 0;
  int pending_ = 0;
  bool suppressMargin_ = false;
  int nextLine_ = 0;
  std::vector<std::pair<const TBox*, int>> markers_;  // list items waiting for their first line, with their left
  std::vector<std::pair<std::wstring, int>> anchors_;
  std::unordered_map<const TBox*, std::pair<int, int>> minMax_;
};

}  // namespace

int TFixedMeasurer::TextWidth(const TFontKey& font, std::wstring_view text) {
  const int tenths = font.Mono ? 6 : 5;
  return static_cast<int>((text.size() * static_cast<size_t>(font.Size) * tenths + 5) / 10);
}

TFontMetrics TFixedMeasurer::Metrics(const TFontKey& font) {
  return TFontMetrics{font.Size * 9 / 10, font.Size * 3 / 10};
}

std::wstring TPageLayout::Text() const {
  // Lines without their trailing blanks; a line of blanks only (the space
  // between two pictures) is no line of text.
  std::wstring text;
  std::wstring line;
  int lineId = -1;
  auto endLine = [&] {
    while (!line.empty() && line.back() == L' ') line.pop_back();
    if (line.empty()) return;
    if (!text.empty()) text += L'\n';
    text += line;
    line.clear();
  };
  for (const TLayoutItem& item : Items) {
    if (item.Kind != TLayoutItem::kText) continue;
    if (item.Line != lineId && !item.Joined) endLine();
    lineId = item.Line;
    line += item.Text;
  }
  endLine();
  return text;
}

std::pair<size_t, size_t> TPageLayout::ItemsBetween(int top, int bottom) const {
  const auto first = std::lower_bound(MaxBottom.begin(), MaxBottom.end(), top);
  const auto last = std::upper_bound(MinTopAfter.begin(), MinTopAfter.end(), bottom);
  const size_t begin = static_cast<size_t>(first - MaxBottom.begin());
  const size_t end = static_cast<size_t>(last - MinTopAfter.begin());
  return {begin, std::max(begin, end)};
}

int TPageLayout::LinkAt(int x, int y) const {
  const auto [begin, end] = ItemsBetween(y, y);
  for (size_t i = begin; i < end; ++i) {
    const TLayoutItem& item = Items[i];
    if (item.Style.Link < 0 || (item.Kind != TLayoutItem::kText && item.Kind != TLayoutItem::kPicture)) continue;
    if (x >= item.X && x < item.X + item.Width && y >= item.Y && y < item.Y + item.Height) return item.Style.Link;
  }
  return -1;
}

const TLayoutItem* TPageLayout::FirstItemOfLink(int link) const {
  for (const TLayoutItem& item : Items) {
    if (item.Style.Link == link && (item.Kind == TLayoutItem::kText || item.Kind == TLayoutItem::kPicture)) return &item;
  }
  return nullptr;
}

int TPageLayout::PictureCount() const {
  return static_cast<int>(std::count_if(Items.begin(), Items.end(),
                                        [](const TLayoutItem& item) { return item.Kind == TLayoutItem::kPicture; }));
}

TPageLayout LayOutPage(const TBoxTree& tree, const std::vector<TPictureState>& pictures, int width,
                       TTextMeasurer& measurer) {
  return TLayoutEngine(tree, pictures, measurer).Run(std::max(width, 2 * kPageMargin + 1));
}

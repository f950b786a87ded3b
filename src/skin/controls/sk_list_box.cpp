#include "skin/controls/sk_list_box.h"

#include <vssym32.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "runtime/exceptions.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"

namespace {

// The check box beside an item, as large as the theme's base check box.
constexpr int kCheckSize = 13;
// Space between the item's edge (or its check box) and its text.
constexpr int kTextMargin = 2;
// Wheel lines when the platform cannot tell.
constexpr UINT kDefaultWheelLines = 3;

int ItemFontIndex(uint8_t state) {
  switch (state) {
    case lisDisabled: return fiListItemTextDisabled;
    case lisSelected: return fiListItemTextSelected;
    case lisFocused: return fiListItemTextFocused;
    case lisHot: return fiListItemTextHot;
    default: return fiListItemTextNormal;
  }
}

// The theme's check glyph kinds: 0 checked, 1 unchecked, 2 mixed.
uint8_t CheckGlyphKind(TSkCheckBoxState state) {
  switch (state) {
    case kcbsChecked: return 0;
    case kcbsMixed: return 2;
    case kcbsUnChecked: break;
  }
  return 1;
}

RECT ToRect(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

// Narrows the clipping to a rectangle for a scope. Unlike a saved context
// state it leaves the selected objects alone, so the canvas may change its
// font inside the scope.
class TClipTo {
 public:
  TClipTo(HDC dc, const TRect& rect) : dc_(dc), saved_(CreateRectRgn(0, 0, 0, 0)) {
    hadClip_ = GetClipRgn(dc_, saved_.Get()) == 1;
    IntersectClipRect(dc_, rect.Left, rect.Top, rect.Right, rect.Bottom);
  }
  ~TClipTo() { SelectClipRgn(dc_, hadClip_ ? saved_.Get() : nullptr); }
  TClipTo(const TClipTo&) = delete;
  TClipTo& operator=(const TClipTo&) = delete;

 private:
  HDC dc_;
  TGdiObject<HRGN> saved_;
  bool hadClip_ = false;
};

}  // namespace

// ---- TSkListItems -------------------------------------------------------------------

const TSkListItems::TItem& TSkListItems::At(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)];
}

TSkListItems::TItem& TSkListItems::At(int index) {
  return const_cast<TItem&>(static_cast<const TSkListItems&>(*this).At(index));
}

void TSkListItems::Changed() {
  if (updating_ > 0) {
    changedWhileUpdating_ = true;
    return;
  }
  if (OnChange) OnChange();
}

void TSkListItems::EndUpdate() {
  if (updating_ == 0) return;
  if (--updating_ == 0 && std::exchange(changedWhileUpdating_, false)) Changed();
}

void TSkListItems::SetStrings(int index, std::wstring text) {
  At(index).Text = std::move(text);
  Changed();
}

int TSkListItems::Add(std::wstring text) {
  items_.push_back(TItem{std::move(text)});
  Changed();
  return Count() - 1;
}

void TSkListItems::Insert(int index, std::wstring text) {
  if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", index));
  items_.insert(items_.begin() + index, TItem{std::move(text)});
  Changed();
}

void TSkListItems::Delete(int index) {
  At(index);
  items_.erase(items_.begin() + index);
  Changed();
}

void TSkListItems::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

void TSkListItems::Assign(const std::vector<std::wstring>& texts) {
  items_.clear();
  items_.reserve(texts.size());
  for (const std::wstring& text : texts) items_.push_back(TItem{text});
  Changed();
}

int TSkListItems::IndexOf(std::wstring_view text) const {
  for (int i = 0; i < Count(); ++i) {
    if (items_[static_cast<size_t>(i)].Text == text) return i;
  }
  return -1;
}

// ---- TSkListBox -----------------------------------------------------------------------

TSkListBox::TSkListBox(TComponent* owner) : TSkControl(owner) {
  SetBounds(Left(), Top(), 121, 97);
  SetPerformance(qvpDoubleBuffer);
  SetColor(clWindow);
  SetBevelKind(kbkSingle);
  SetBevelWidth(1);
  SetTabStop(true);

  scrollBar_ = std::make_unique<TSkScrollBar>(nullptr);
  scrollBar_->SetVisible(false);
  scrollBar_->SetKind(sbVertical);
  scrollBar_->SetFlat(flat_);
  scrollBar_->SetParent(this);
  scrollBar_->OnScroll = [this](TObject*, int code, int position) { ScrollBarScrolled(code, position); };
  items_.OnChange = [this] { ItemsChanged(); };
  UpdateScrollBar();
}

TSkListBox::~TSkListBox() {
  // The bar leaves while this control is still whole.
  scrollBar_.reset();
}

bool TSkListBox::Themed() const { return Theme() != nullptr && DefinesListObject(0, ThemeObject(), ThemeLink()); }

// ---- items, selection, scrolling ------------------------------------------------------

void TSkListBox::ItemsChanged() {
  const int last = items_.Count() - 1;
  itemIndex_ = std::min(itemIndex_, last);
  anchor_ = std::min(anchor_, last);
  hotIndex_ = -1;
  UpdateScrollBar();
  Invalidate();
}

int TSkListBox::VisibleRows() const {
  const TRect content = ContentRect();
  return std::max(1, static_cast<int>(RectHeight(content) / itemHeight_));
}

int TSkListBox::ColumnCount() const {
  const int count = items_.Count();
  return count > 0 ? (count - 1) / VisibleRows() + 1 : 0;
}

int TSkListBox::ColumnWidth() const {
  return std::max(1, static_cast<int>(RectWidth(ContentRect()) / std::max(columns_, 1)));
}

int TSkListBox::MaxTopIndex() const {
  const int rows = VisibleRows();
  if (columns_ > 0) return std::max(0, ColumnCount() - columns_) * rows;
  return std::max(0, items_.Count() - rows);
}

TRect TSkListBox::ItemRect(int index) const {
  const TRect content = ContentRect();
  if (columns_ > 0) {
    // Items run down a column, then on in the next one to the right.
    const int rows = VisibleRows();
    const int width = ColumnWidth();
    const int left = content.Left + (index / rows - topIndex_ / rows) * width;
    const int top = content.Top + (index % rows) * itemHeight_;
    return TRect{left, top, left + width, top + itemHeight_};
  }
  const int top = content.Top + (index - topIndex_) * itemHeight_;
  return TRect{content.Left, top, content.Right, top + itemHeight_};
}

bool TSkListBox::ItemShown(const TRect& item) const {
  const TRect content = ContentRect();
  // Columns end with the last whole one: the few pixels a division leaves
  // over show nothing of the next.
  const int right = columns_ > 0 ? content.Left + columns_ * ColumnWidth() : content.Right;
  return item.Top < content.Bottom && item.Left < right && item.Right > content.Left && item.Bottom > content.Top;
}

int TSkListBox::ItemAtPos(int x, int y) const {
  const TRect content = ContentRect();
  if (!PointInRect(content, x, y)) return -1;
  const int row = (y - content.Top) / itemHeight_;
  int index = topIndex_ + row;
  if (columns_ > 0) {
    const int rows = VisibleRows();
    const int column = (x - content.Left) / ColumnWidth();
    // The strip below the last whole row and right of the last column
    // holds no item.
    if (row >= rows || column >= columns_) return -1;
    index = (topIndex_ / rows + column) * rows + row;
  }
  return index < items_.Count() ? index : -1;
}

TSize TSkListBox::ScrollBarRoom() const {
  if (scrollBar_ == nullptr || !scrollBar_->Visible()) return TSize{0, 0};
  return scrollBar_->Kind() == sbVertical ? TSize{scrollBar_->Width(), 0} : TSize{0, scrollBar_->Height()};
}

void TSkListBox::UpdateScrollBar() {
  if (scrollBar_ == nullptr) return;
  const int count = items_.Count();
  const TSkScrollBarKind kind = columns_ > 0 ? sbHorizontal : sbVertical;
  if (scrollBar_->Kind() != kind) {
    scrollBar_->SetVisible(false);
    scrollBar_->SetKind(kind);
    Invalidate();
  }
  bool overflow = false;
  if (columns_ > 0) {
    // A horizontal bar takes rows away, which may make the items overflow
    // only once it is there: decide with the rows the list has without it.
    const int barHeight = GetSystemMetrics(SM_CYHSCROLL);
    const int room = scrollBar_->Visible() ? scrollBar_->Height() : 0;
    const int height = static_cast<int>(RectHeight(ContentRect())) + room;
    overflow = count > std::max(1, height / itemHeight_) * columns_;
    const bool show = overflow || alwaysShowScrlBar_;
    if (scrollBar_->Visible() != show) {
      scrollBar_->SetHeight(barHeight);
      scrollBar_->SetVisible(show);
      Invalidate();
    }
    const int rows = VisibleRows();
    overflow = count > rows * columns_;
    topIndex_ = std::clamp(topIndex_ / rows * rows, 0, MaxTopIndex());
    scrollBar_->SetPageSize(columns_);
    scrollBar_->SetParams(topIndex_ / rows, 0, std::max(ColumnCount() - 1, 0));
  } else {
    const int rows = VisibleRows();
    topIndex_ = std::clamp(topIndex_, 0, MaxTopIndex());
    overflow = count > rows;
    const bool show = overflow || alwaysShowScrlBar_;
    scrollBar_->SetPageSize(rows);
    scrollBar_->SetParams(topIndex_, 0, std::max(count - 1, 0));
    if (scrollBar_->Visible() != show) {
      scrollBar_->SetVisible(show);
      Invalidate();
    }
  }
  // Shown only to keep its place, a bar with nothing to scroll is disabled.
  scrollBar_->SetEnabled(overflow && Enabled());
  // ContentRect already leaves the bar's room when it is shown.
  const TRect content = ContentRect();
  if (kind == sbVertical) {
    scrollBar_->SetBounds(content.Right, content.Top, GetSystemMetrics(SM_CXVSCROLL),
                          static_cast<int>(RectHeight(content)));
  } else {
    scrollBar_->SetBounds(content.Left, content.Bottom, static_cast<int>(RectWidth(content)),
                          GetSystemMetrics(SM_CYHSCROLL));
  }
}

void TSkListBox::ScrollBarScrolled(int code, int position) {
  // The bar's report becomes the platform's scroll message, so that the list
  // scrolls the same way whoever sends it. Like the platform's, it carries
  // the position's low 16 bits.
  const UINT message = scrollBar_->Kind() == sbVertical ? WM_VSCROLL : WM_HSCROLL;
  Perform(message, MAKEWPARAM(code, static_cast<WORD>(position & 0xFFFF)), 0);
}

int TSkListBox::FullThumbPosition(int thumbPosition) const {
  // The message carries 16 bits; the bar knows the full position when its
  // low part matches.
  if (scrollBar_ != nullptr && (scrollBar_->Position() & 0xFFFF) == thumbPosition) return scrollBar_->Position();
  return thumbPosition;
}

void TSkListBox::HorizontalScroll(int code, int thumbPosition) {
  // Only a list in columns scrolls sideways, a column at a time.
  if (columns_ <= 0) return;
  const int rows = VisibleRows();
  const int64_t page = int64_t{rows} * columns_;
  int64_t target = topIndex_;
  switch (code) {
    case SB_LINEUP: target -= rows; break;
    case SB_LINEDOWN: target += rows; break;
    case SB_PAGEUP: target -= page; break;
    case SB_PAGEDOWN: target += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: target = int64_t{FullThumbPosition(thumbPosition)} * rows; break;
    case SB_TOP: target = 0; break;
    case SB_BOTTOM: target = MaxTopIndex(); break;
    default: return;  // SB_ENDSCROLL: every step has been taken already
  }
  SetTopIndex(static_cast<int>(std::clamp<int64_t>(target, 0, INT_MAX)));
}

void TSkListBox::VerticalScroll(int code, int thumbPosition) {
  // A list in columns does not scroll up and down.
  if (columns_ > 0) return;
  const int page = VisibleRows();
  switch (code) {
    case SB_LINEUP: SetTopIndex(topIndex_ - 1); break;
    case SB_LINEDOWN: SetTopIndex(topIndex_ + 1); break;
    case SB_PAGEUP: SetTopIndex(topIndex_ - page); break;
    case SB_PAGEDOWN: SetTopIndex(topIndex_ + page); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: SetTopIndex(FullThumbPosition(thumbPosition)); break;
    case SB_TOP: SetTopIndex(0); break;
    case SB_BOTTOM: SetTopIndex(MaxTopIndex()); break;
    default: break;  // SB_ENDSCROLL: every step has been taken already
  }
}

void TSkListBox::SetTopIndex(int value) {
  const int rows = VisibleRows();
  // In columns the first visible item heads a column.
  if (columns_ > 0) value = std::max(value, 0) / rows * rows;
  value = std::clamp(value, 0, MaxTopIndex());
  if (value == topIndex_) return;
  topIndex_ = value;
  if (scrollBar_ != nullptr) scrollBar_->SetPosition(columns_ > 0 ? value / rows : value);
  hotIndex_ = -1;
  Invalidate();
}

void TSkListBox::ScrollIntoView(int index) {
  if (index < 0) return;
  const int rows = VisibleRows();
  if (columns_ > 0) {
    const int column = index / rows;
    const int first = topIndex_ / rows;
    if (column < first) {
      SetTopIndex(column * rows);
    } else if (column >= first + columns_) {
      SetTopIndex((column - columns_ + 1) * rows);
    }
    return;
  }
  if (index < topIndex_) {
    SetTopIndex(index);
  } else if (index >= topIndex_ + rows) {
    SetTopIndex(index - rows + 1);
  }
}

void TSkListBox::SetItemIndex(int value) {
  if (value < -1 || value >= items_.Count()) value = -1;
  if (multiSelect_) {
    for (int i = 0; i < items_.Count(); ++i) items_.SetSelectedQuietly(i, i == value);
  }
  anchor_ = value;
  if (value == itemIndex_) {
    Invalidate();
    return;
  }
  itemIndex_ = value;
  ScrollIntoView(value);
  Invalidate();
}

void TSkListBox::SetItemHeight(int value) {
  value = std::max(value, 1);
  if (value == itemHeight_) return;
  itemHeight_ = value;
  UpdateScrollBar();
  ScrollIntoView(itemIndex_);
  Invalidate();
}

void TSkListBox::SetMultiSelect(bool value) {
  if (value == multiSelect_) return;
  multiSelect_ = value;
  // Going either way, the current item is the one selection that remains.
  for (int i = 0; i < items_.Count(); ++i) items_.SetSelectedQuietly(i, i == itemIndex_);
  anchor_ = itemIndex_;
  Invalidate();
}

bool TSkListBox::Selected(int index) const {
  const bool flag = items_.Selected(index);  // also checks the index
  return multiSelect_ ? flag : index == itemIndex_;
}

void TSkListBox::SetSelected(int index, bool value) {
  items_.At(index);
  if (!multiSelect_) {
    if (value) {
      SetItemIndex(index);
    } else if (index == itemIndex_) {
      SetItemIndex(-1);
    }
    return;
  }
  items_.SetSelectedQuietly(index, value);
  Invalidate();
}

int TSkListBox::SelCount() const {
  if (!multiSelect_) return itemIndex_ >= 0 ? 1 : 0;
  int count = 0;
  for (int i = 0; i < items_.Count(); ++i) count += items_.Selected(i) ? 1 : 0;
  return count;
}

void TSkListBox::SetShowCheckBoxes(bool value) {
  if (value == showCheckBoxes_) return;
  showCheckBoxes_ = value;
  Invalidate();
}

void TSkListBox::SetState(int index, TSkCheckBoxState value) {
  if (items_.State(index) == value) return;
  items_.SetStateQuietly(index, value);
  Invalidate();
}

void TSkListBox::ToggleCheck(int index) {
  // Unchecked and mixed both go to checked; checked goes to unchecked.
  items_.SetStateQuietly(index, items_.State(index) == kcbsChecked ? kcbsUnChecked : kcbsChecked);
  Invalidate();
  if (OnClickCheck) OnClickCheck(this);
}

void TSkListBox::SetAlwaysShowScrlBar(bool value) {
  if (value == alwaysShowScrlBar_) return;
  alwaysShowScrlBar_ = value;
  UpdateScrollBar();
}

void TSkListBox::SetColumns(int value) {
  value = std::max(value, 0);
  if (value == columns_) return;
  columns_ = value;
  topIndex_ = 0;
  UpdateScrollBar();
  ScrollIntoView(itemIndex_);
  Invalidate();
}

void TSkListBox::SetFlat(bool value) {
  if (value == flat_) return;
  flat_ = value;
  scrollBar_->SetFlat(value);
}

void TSkListBox::MoveTo(int index, bool extend, bool toggle) {
  if (multiSelect_) {
    if (toggle) {
      items_.SetSelectedQuietly(index, !items_.Selected(index));
      anchor_ = index;
    } else if (extend && anchor_ >= 0) {
      const int from = std::min(anchor_, index);
      const int to = std::max(anchor_, index);
      for (int i = 0; i < items_.Count(); ++i) items_.SetSelectedQuietly(i, i >= from && i <= to);
    } else {
      for (int i = 0; i < items_.Count(); ++i) items_.SetSelectedQuietly(i, i == index);
      anchor_ = index;
    }
  } else {
    anchor_ = index;
  }
  itemIndex_ = index;
  ScrollIntoView(index);
  Invalidate();
}

void TSkListBox::Wheel(int delta) {
  // Fine-grained wheels send parts of a notch; they add up to whole ones.
  wheelRest_ += delta;
  const int notches = wheelRest_ / WHEEL_DELTA;
  wheelRest_ %= WHEEL_DELTA;
  if (notches == 0) return;
  UINT lines = kDefaultWheelLines;
  if (!SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0)) lines = kDefaultWheelLines;
  int64_t step = lines == WHEEL_PAGESCROLL ? VisibleRows() : static_cast<int64_t>(lines);
  // In columns a notch turns one column.
  if (columns_ > 0) step = VisibleRows();
  const int64_t target = int64_t{topIndex_} - int64_t{notches} * step;
  SetTopIndex(static_cast<int>(std::clamp<int64_t>(target, 0, INT_MAX)));
}

// ---- input --------------------------------------------------------------------------------

void TSkListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    const int index = ItemAtPos(x, y);
    if (index >= 0) {
      if (showCheckBoxes_ && PointInRect(CheckRect(ItemRect(index)), x, y)) ToggleCheck(index);
      MoveTo(index, multiSelect_ && (shift & ssShift) != 0, multiSelect_ && (shift & ssCtrl) != 0);
      selecting_ = !multiSelect_;
    }
  }
  TSkControl::MouseDown(button, shift, x, y);
}

void TSkListBox::MouseMove(TShiftState shift, int x, int y) {
  const int hot = ItemAtPos(x, y);
  if (hot != hotIndex_) {
    hotIndex_ = hot;
    Invalidate();
  }
  // Dragging with the button held carries the selection along the rows.
  if (selecting_ && (shift & ssLeft) != 0 && hot >= 0 && hot != itemIndex_) MoveTo(hot, false, false);
  TSkControl::MouseMove(shift, x, y);
}

void TSkListBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) selecting_ = false;
  TSkControl::MouseUp(button, shift, x, y);
}

void TSkListBox::MouseLeave() {
  hotIndex_ = -1;
  TSkControl::MouseLeave();
}

void TSkListBox::KeyDown(WORD& key, TShiftState shift) {
  TSkControl::KeyDown(key, shift);
  const int count = items_.Count();
  if (count == 0) return;
  if ((key == VK_SPACE || key == VK_RETURN) && showCheckBoxes_) {
    if (itemIndex_ >= 0) ToggleCheck(itemIndex_);
    key = 0;
    return;
  }
  const int rows = VisibleRows();
  // In columns Left and Right go a column across and a page is what shows.
  const int across = columns_ > 0 ? rows : 1;
  const int page = columns_ > 0 ? rows * columns_ : std::max(rows - 1, 1);
  int target = 0;
  switch (key) {
    case VK_UP: target = itemIndex_ - 1; break;
    case VK_DOWN: target = itemIndex_ + 1; break;
    case VK_LEFT: target = itemIndex_ < 0 ? 0 : itemIndex_ - across; break;
    case VK_RIGHT: target = itemIndex_ < 0 ? 0 : itemIndex_ + across; break;
    case VK_PRIOR: target = itemIndex_ - page; break;
    case VK_NEXT: target = itemIndex_ < 0 ? page - 1 : itemIndex_ + page; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = count - 1; break;
    default: return;
  }
  key = 0;
  target = std::clamp(target, 0, count - 1);
  // A key that cannot move the current item (Down on the last one) leaves
  // everything as it is and reports nothing.
  if (target == itemIndex_) return;
  MoveTo(target, multiSelect_ && (shift & ssShift) != 0, false);
  Click();
}

void TSkListBox::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_MOUSEWHEEL:
      Wheel(GET_WHEEL_DELTA_WPARAM(message.WParam));
      message.Result = 0;
      return;
    case WM_VSCROLL:
      VerticalScroll(LOWORD(message.WParam), HIWORD(message.WParam));
      message.Result = 0;
      return;
    case WM_HSCROLL:
      HorizontalScroll(LOWORD(message.WParam), HIWORD(message.WParam));
      message.Result = 0;
      return;
    case WM_GETDLGCODE:
      // Arrows move through the items instead of between controls.
      message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
      return;
    case CM_ENABLEDCHANGED:
      TSkControl::WndProc(message);
      UpdateScrollBar();
      return;
    default:
      break;
  }
  TSkControl::WndProc(message);
}

void TSkListBox::BoundsChanged(bool sizeChanged) {
  TSkControl::BoundsChanged(sizeChanged);
  if (sizeChanged) UpdateScrollBar();
}

// ---- painting -----------------------------------------------------------------------------

uint8_t TSkListBox::ItemState(int index) const {
  if (!Enabled()) return lisDisabled;
  if (Selected(index)) return lisSelected;
  if (HasFocus() && !multiSelect_ && index == itemIndex_) return lisFocused;
  if (index == hotIndex_) return lisHot;
  return lisNormal;
}

TRect TSkListBox::CheckRect(const TRect& item) const {
  const int top = item.Top + (static_cast<int>(RectHeight(item)) - kCheckSize) / 2;
  return TRect{item.Left + kTextMargin, top, item.Left + kTextMargin + kCheckSize, top + kCheckSize};
}

void TSkListBox::AlignControls(TRect& rect) {
  // A new border or bevel realigns the children: the bar goes back beside
  // the content, and the rest share what is left.
  UpdateScrollBar();
  rect = ContentRect();
  TSkControl::AlignControls(rect);
}

void TSkListBox::PaintFrame(TCanvas& canvas) {
  // The theme's list element brings its own frame (PaintContent draws it
  // over the whole bounds).
  if (Themed()) return;
  TSkControl::PaintFrame(canvas);
}

void TSkListBox::PaintContent(TCanvas& canvas) {
  HDC dc = canvas.Handle();
  if (Themed()) {
    TskTheme& theme = *Theme();
    if (theme.ListTransparent(0, ThemeObject())) PaintParentBackground(this, dc);
    theme.PaintList(0, canvas, ThemeObject(),
                    MakeStateRecord(TRect{0, 0, Width(), Height()}, Enabled() ? lisNormal : lisDisabled));
    PaintThemedItems(canvas);
    return;
  }
  TSkControl::PaintContent(canvas);
  PaintPlainItems(canvas);
}

void TSkListBox::PaintThemedItems(TCanvas& canvas) {
  TskTheme& theme = *Theme();
  const std::string& object = ThemeObject();
  const TRect content = ContentRect();
  HDC dc = canvas.Handle();
  const TClipTo clip(dc, content);
  for (int i = topIndex_; i < items_.Count(); ++i) {
    const TRect rect = ItemRect(i);
    if (!ItemShown(rect)) break;
    const uint8_t state = ItemState(i);
    const TskCodedRecord record = MakeCodedRecord(rect, state, 0);
    theme.PaintListItem(0, canvas, object, record);
    TRect textRect = rect;
    if (showCheckBoxes_) {
      const TRect check = CheckRect(rect);
      theme.PaintListItemCheck(0, canvas, object, MakeGlyphRecord(check, nullptr, CheckGlyphKind(items_.State(i))),
                               record);
      textRect.Left = check.Right;
    }
    textRect.Left += kTextMargin;
    textRect.Right -= kTextMargin;
    canvas.Font().Assign(theme.Fonts().FontFor(ItemFontIndex(state), object));
    theme.PaintListItemText(0, canvas, object,
                            MakeTextInfo(textRect, items_[i], kDtVCenter | kDtSingleLine | kDtNoPrefix), record);
  }
}

void TSkListBox::PaintPlainItems(TCanvas& canvas) {
  const TRect content = ContentRect();
  HDC dc = canvas.Handle();
  const TClipTo clip(dc, content);
  const TColor textColour = PaintFont().Color();
  for (int i = topIndex_; i < items_.Count(); ++i) {
    const TRect rect = ItemRect(i);
    if (!ItemShown(rect)) break;
    const bool selected = Selected(i);
    TColor colour = textColour;
    if (!Enabled()) {
      colour = clGrayText;
    } else if (selected) {
      FillRectColor(dc, rect, clHighlight);
      colour = clHighlightText;
    }
    TRect textRect = rect;
    if (showCheckBoxes_) {
      const TRect check = CheckRect(rect);
      const TSkCheckBoxState state = items_.State(i);
      // The visual style's check states come in groups of four: unchecked,
      // checked, mixed, each normal, hot, pressed, disabled.
      int styleState = state == kcbsChecked ? CBS_CHECKEDNORMAL : state == kcbsMixed ? CBS_MIXEDNORMAL : CBS_UNCHECKEDNORMAL;
      if (!Enabled()) styleState += 3;
      if (!DrawVisualStylePart(dc, L"Button", BP_CHECKBOX, styleState, check)) {
        UINT flags = DFCS_BUTTONCHECK;
        if (state == kcbsChecked) flags |= DFCS_CHECKED;
        if (state == kcbsMixed) flags = DFCS_BUTTON3STATE | DFCS_CHECKED;
        if (!Enabled()) flags |= DFCS_INACTIVE;
        if (flat_) flags |= DFCS_FLAT;
        RECT r = ToRect(check);
        DrawFrameControl(dc, &r, DFC_BUTTON, flags);
      }
      textRect.Left = check.Right;
    }
    textRect.Left += kTextMargin;
    textRect.Right -= kTextMargin;
    canvas.Font().SetColor(colour);
    canvas.DrawText(items_[i], textRect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  }
  canvas.Font().SetColor(textColour);
  // The current item of a focused list carries the platform's dotted frame.
  if (HasFocus() && itemIndex_ >= topIndex_ && itemIndex_ < items_.Count() && ItemShown(ItemRect(itemIndex_))) {
    const RECT r = ToRect(ItemRect(itemIndex_));
    DrawFocusRect(dc, &r);
  }
}

// The skinned list box: a column of wide-string items with single or
// multiple selection, optional check boxes, a vertical TSkScrollBar child,
// scrolling by keys, mouse wheel and WM_VSCROLL, painted through the theme's
// List element or, without one, as a framed box filled with the control's
// colour and the selection in the platform's highlight colours.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "skin/controls/sk_controls.h"
#include "skin/controls/sk_scroll_bar.h"

// The items of a list box: wide strings, each with its selection and check
// state, which travel with the item when items are inserted or deleted.
// Every change runs OnChange once.
class TSkListItems {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::wstring& operator[](int index) const { return At(index).Text; }
  const std::wstring& Strings(int index) const { return At(index).Text; }
  void SetStrings(int index, std::wstring text);
  // The new item's index.
  int Add(std::wstring text);
  void Insert(int index, std::wstring text);
  void Delete(int index);
  void Clear();
  // Replaces every item (selection and check states start cleared).
  void Assign(const std::vector<std::wstring>& texts);
  // First item equal to text, or −1.
  int IndexOf(std::wstring_view text) const;
  // Several changes, one notification at the end.
  void BeginUpdate() { ++updating_; }
  void EndUpdate();

  bool Selected(int index) const { return At(index).Selected; }
  TSkCheckBoxState State(int index) const { return At(index).State; }

  std::function<void()> OnChange;

 private:
  friend class TSkListBox;
  struct TItem {
    std::wstring Text;
    bool Selected = false;
    TSkCheckBoxState State = kcbsUnChecked;
  };
  // Fails with EListError "List index out of bounds (n)" for a bad index.
  const TItem& At(int index) const;
  TItem& At(int index);
  void Changed();
  // Flag changes the owner makes itself (it repaints on its own).
  void SetSelectedQuietly(int index, bool value) { At(index).Selected = value; }
  void SetStateQuietly(int index, TSkCheckBoxState value) { At(index).State = value; }

  std::vector<TItem> items_;
  int updating_ = 0;
  bool changedWhileUpdating_ = false;
};

class TSkListBox : public TSkControl {
 public:
  explicit TSkListBox(TComponent* owner);
  ~TSkListBox() override;

  TSkListItems& Items() { return items_; }
  const TSkListItems& Items() const { return items_; }

  // The current item (the one the keyboard moves), −1 for none. Setting it
  // selects that item alone and scrolls it into view.
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int value);
  // The first visible item.
  int TopIndex() const { return topIndex_; }
  void SetTopIndex(int value);
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int value);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool value);
  bool Selected(int index) const;
  void SetSelected(int index, bool value);
  int SelCount() const;
  bool ShowCheckBoxes() const { return showCheckBoxes_; }
  void SetShowCheckBoxes(bool value);
  TSkCheckBoxState State(int index) const { return items_.State(index); }
  void SetState(int index, TSkCheckBoxState value);
  bool Checked(int index) const { return items_.State(index) == kcbsChecked; }
  void SetChecked(int index, bool value) { SetState(index, value ? kcbsChecked : kcbsUnChecked); }
  // With Columns > 0 the items fill that many columns side by side, each
  // top to bottom, and a horizontal bar scrolls them a column at a time.
  int Columns() const { return columns_; }
  void SetColumns(int value);
  bool AlwaysShowScrlBar() const { return alwaysShowScrlBar_; }
  void SetAlwaysShowScrlBar(bool value);
  // The scroll bar's classic parts are drawn flat.
  bool Flat() const { return flat_; }
  void SetFlat(bool value);

  // Whole rows that fit in the content rectangle (at least 1).
  int VisibleRows() const;
  // The columns the items fill, and the width of one, with Columns > 0.
  int ColumnCount() const;
  int ColumnWidth() const;
  // The item at a point of the control, or −1.
  int ItemAtPos(int x, int y) const;
  // The item's rectangle in the control (it may lie outside the content).
  TRect ItemRect(int index) const;
  // Where the check box of the item with that rectangle sits.
  TRect CheckRect(const TRect& item) const;
  // The list's one bar: vertical, or horizontal with Columns > 0.
  TSkScrollBar& ScrollBar() { return *scrollBar_; }

  // After a check state changed through the keyboard or the mouse.
  TNotifyEvent OnClickCheck;

 protected:
  TSize ScrollBarRoom() const override;
  void PaintFrame(TCanvas& canvas) override;
  void PaintContent(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseLeave() override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void WndProc(TMessage& message) override;
  void BoundsChanged(bool sizeChanged) override;
  void AlignControls(TRect& rect) override;

 private:
  bool Themed() const;
  void ItemsChanged();
  // Shows, hides and sizes the scroll bar to the items and the rows.
  void UpdateScrollBar();
  void ScrollBarScrolled(int code, int position);
  // WM_VSCROLL: a platform scroll code and, for the thumb codes, the
  // position's low 16 bits.
  void VerticalScroll(int code, int thumbPosition);
  void HorizontalScroll(int code, int thumbPosition);
  int FullThumbPosition(int thumbPosition) const;
  // Whether any of the item's rectangle lies in the content.
  bool ItemShown(const TRect& item) const;
  void ScrollIntoView(int index);
  int MaxTopIndex() const;
  // Moves the current item as a key or click does: selects it alone, or
  // with extend the range from the anchor; toggle flips it (Ctrl+click).
  void MoveTo(int index, bool extend, bool toggle);
  void ToggleCheck(int index);
  void Wheel(int delta);

  // 0 normal, 1 hot, 2 selected, 3 focused, 4 disabled.
  uint8_t ItemState(int index) const;
  void PaintThemedItems(TCanvas& canvas);
  void PaintPlainItems(TCanvas& canvas);

  TSkListItems items_;
  std::unique_ptr<TSkScrollBar> scrollBar_;
  int itemIndex_ = -1;
  int topIndex_ = 0;
  int anchor_ = -1;  // where a Shift range starts
  int hotIndex_ = -1;
  int itemHeight_ = 16;
  int columns_ = 0;
  int wheelRest_ = 0;  // wheel turns below one notch, kept for the next
  bool multiSelect_ = false;
  bool showCheckBoxes_ = false;
  bool alwaysShowScrlBar_ = false;
  bool flat_ = true;
  bool selecting_ = false;  // the left button selects while it is held
};

// Item views, the pop-up window and the modal tracking loop of the menus.
//
// A view presents the children of one item: the menu bar's view draws on
// the bar, a pop-up view on its own borderless pop-up window. Each open
// level runs its own tracking loop nested inside the loop of the level that
// opened it; the innermost loop handles every message of the thread, so
// keys go to the deepest open menu wherever the focus is. The outermost loop
// captures the mouse to its view's window; nested loops only count the
// capture up and down, and the loops run while that capture holds (another
// window taking the mouse ends all menus).
//
// Window thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "skin/menus/sk_menus.h"
#include "skin/menus/sk_popup_form.h"

class TSkPopupWindow;

class TSkItemView {
 public:
  TSkItemView(TSkItem* item, bool horizontal);
  virtual ~TSkItemView();
  TSkItemView(const TSkItemView&) = delete;
  TSkItemView& operator=(const TSkItemView&) = delete;

  TSkItem* Item() const { return item_; }
  bool Horizontal() const { return horizontal_; }
  // The window the view draws on (and whose client coordinates ItemRect uses).
  virtual HWND Window() const = 0;

  TSkItem* Selected() const { return selected_; }
  // Selects item (nullptr clears) and repaints the two items concerned.
  void Select(TSkItem* item);
  void SelectNext();
  void SelectPrevious();
  // The visible, laid out child at a point of the window's client area.
  TSkItem* ItemAt(POINT clientPoint) const;
  // The arrow band of a scrolled pop-up at the point: 0 none, 1 upper, 2 lower.
  int ScrollBandAt(POINT clientPoint) const;
  // Whether a screen point lies on the view (its window, without a
  // pop-up's shadow).
  virtual bool Covers(POINT screen) const;

  bool InLoop() const { return inLoop_; }
  bool SubmenuOpen() const { return submenuOpen_; }
  TSkItemView* ParentView() const { return parentView_; }
  void SetParentView(TSkItemView* view) { parentView_ = view; }
  TSkItemView* ChildView() const { return childView_; }
  void SetChildView(TSkItemView* view) { childView_ = view; }
  bool FromHorizontal() const { return fromHorizontal_; }
  void SetFromHorizontal(bool value) { fromHorizontal_ = value; }
  TPoint Origin() const { return origin_; }
  void SetOrigin(TPoint value) { origin_ = value; }
  TSize ContentSize() const { return contentSize_; }
  int ScrollArrow() const { return scrollArrow_; }
  // A scrolled pop-up: Scrolled with a positive ScrollCount.
  bool IsScrolledView() const;

  // Measures and places the visible children from Origin on and hands the
  // content size to the window.
  void Layout();
  // Runs the modal tracking loop until the view leaves it.
  void Track();
  // Leaves the loop: selection cleared, repainted.
  void LeaveLoop();
  // This view and every parent leave their loops.
  void LeaveAllLoops();
  // Opens the selected item's submenu (enabled, with children, no arrow
  // scrolling running).
  void OpenSelected();
  // One tick of the arrow-band scrolling.
  void ScrollTick();
  // Draws every laid out child onto canvas (the window's client coordinates).
  virtual void DrawItems(TCanvas& canvas) = 0;

  // The innermost view whose loop runs, if any.
  static TSkItemView* Innermost();
  // The top-level window the menus of this chain belong to: the bar's
  // form, or the window a pop-up menu was opened for (nullptr for none).
  HWND MenusOwner() const;

 protected:
  virtual void ApplyContentSize(TSize size) = 0;
  virtual void RepaintAll();
  virtual void RepaintItem(TSkItem* item);
  virtual void RepaintScrollArrow(int arrow);
  // The font items are measured and drawn in.
  void ChooseFont(TCanvas& canvas, TSkItem* child, bool selected);
  TSize MeasureItem(TCanvas& canvas, TSkItem* child);
  bool ThemeDefinesMenu() const;
  int Kind() const { return horizontal_ ? 0 : 1; }

 private:
  enum class TKeyResult { Continue, EndLoop };
  TKeyResult HandleKey(WORD key);
  void HandleChar(wchar_t character);
  // false: this loop ends.
  bool HandleMouseMove(POINT screen);
  // Button press or release, peeked or taken; false: this loop ends.
  bool HandleButton(const MSG& message, bool release, bool& remove);
  void Escape();
  bool PointOnSelectedOfChain(POINT screen) const;
  bool PointInChainWindows(POINT screen) const;
  void StartScrollTimer(int arrow);
  void StopScrollTimer();
  void FollowSelection(int index, bool forward, bool wrapped);
  // Next (forward) or previous selectable child, wrapping at the ends.
  void MoveSelection(bool forward);

  TSkItem* item_;
  bool horizontal_;
  bool fromHorizontal_ = false;
  TSkItem* selected_ = nullptr;
  bool inLoop_ = false;
  bool submenuOpen_ = false;
  bool reopen_ = false;  // a child passed Left/Right here: the next selection opens at once
  TSkItemView* parentView_ = nullptr;
  TSkItemView* childView_ = nullptr;
  TSkItemView* outerInnermost_ = nullptr;  // Innermost() before this loop started
  TPoint origin_{0, 0};
  TSize contentSize_{0, 0};
  int scrollArrow_ = 0;
  bool scrollTimer_ = false;
  POINT lastMove_{-1000000, -1000000};
  int rest_ = 0;
};

class TSkMenuBarView : public TSkItemView {
 public:
  TSkMenuBarView(TSkItem* item, TSkMenuBar* bar) : TSkItemView(item, true), bar_(bar) {}
  HWND Window() const override;
  void DrawItems(TCanvas& canvas) override;
  TSkMenuBar* Bar() const { return bar_; }

 protected:
  void ApplyContentSize(TSize size) override;
  void RepaintAll() override;
  void RepaintItem(TSkItem* item) override;

 private:
  TSkMenuBar* bar_;
};

class TSkPopupView : public TSkItemView {
 public:
  TSkPopupView(TSkItem* item, TSkPopupWindow* window) : TSkItemView(item, false), window_(window) {}
  HWND Window() const override;
  bool Covers(POINT screen) const override;
  void DrawItems(TCanvas& canvas) override;
  TSkPopupWindow* PopupWindow() const { return window_; }

 protected:
  void ApplyContentSize(TSize size) override;

 private:
  TSkPopupWindow* window_;
};

// The borderless, topmost tool window of one open submenu. It is shown
// without activation and refuses activation by the mouse; if it is
// activated all the same, the window the menu belongs to is told that its
// caption stays active. Its face (frame, background, shadow, translucency,
// opening animation) is its TSkPopupForm's.
class TSkPopupWindow {
 public:
  // animate: this level of the menu opens with the options' animation.
  TSkPopupWindow(TSkItem* item, bool animate);
  ~TSkPopupWindow();
  TSkPopupWindow(const TSkPopupWindow&) = delete;
  TSkPopupWindow& operator=(const TSkPopupWindow&) = delete;

  HWND Handle() const { return handle_; }
  TSkPopupView& View() { return *view_; }
  TSkItem* Item() const { return item_; }
  const TSkPopupForm& Form() const { return form_; }
  // The pop-up's own size, without the shadow band.
  TSize FaceSize() const { return face_; }
  // The frame's widths around the item area.
  TRect FrameMargins() const { return form_.FrameMargins(); }
  // Sets the window's size for the content and places the window at a
  // screen point.
  void SetContentSize(TSize size);
  void Place(int x, int y, const TRect& itemRect, bool fromBar, bool fromPopup);
  // Shows the window without activating it. Meanwhile the skinned frame
  // of the window the menu belongs to does not paint itself.
  void ShowNoActivate();
  void Paint(HDC dc);

 private:
  // The face and the shadow band right of and below it.
  TSize WindowSize() const { return TSize{face_.Width + form_.ShadowSize(), face_.Height + form_.ShadowSize()}; }
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  TSkItem* item_;
  TSkPopupForm form_;
  HWND handle_ = nullptr;
  std::unique_ptr<TSkPopupView> view_;
  TSize face_{0, 0};
};

// Whether a press message is the copy of the press that closed the menus,
// handed on to the window under the pointer; time is then when the press
// happened (the copy's own message time is when it was handed on). The
// frame uses it to tell a double click on its system-menu icon.
bool SkRedeliveredPress(HWND window, UINT msg, LPARAM lParam, DWORD& time);

// Shared metrics: the platform's menu font and menu item height.
TFont& MenuFont();
int MenuItemHeight();

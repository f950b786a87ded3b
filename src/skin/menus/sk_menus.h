// Skinned menus: the item tree (TSkItem), the menu bar control and the
// pop-up menu component. Views, pop-up windows and the modal tracking loop
// live in sk_menu_views.h.
//
// An item's children are the entries of its submenu. A click on an item is
// never run inside the tracking loops: it is posted to a hidden handler
// window and carried out once every loop has ended and the menus have
// repainted, so a handler may open dialogs or close the window the menu
// belongs to without running under a half-closed menu.
//
// Window thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/components.h"
#include "forms/std_components.h"
#include "runtime/exceptions.h"
#include "skin/controls/sk_controls.h"
#include "graphics/sk_effect.h"
#include "skin/sk_blending.h"

EBOOK_DECLARE_EXCEPTION(EQvItemError, Exception);

class TSkItemView;
class TSkMenuBarView;

// Posted to the hidden click-handler window with the item as LParam.
constexpr UINT kSkItemClickMessage = 2234;
// Posted to a view's window: open the selected item's submenu.
constexpr UINT kSkOpenSubmenuMessage = 1135;
// Sent to the window a menu belongs to around making one of its pop-ups
// visible: WParam 1 before, 0 after. A skinned frame does not paint itself
// meanwhile (and catches up afterwards if it had to). The window may be any
// of the application's, so the message is registered with the system
// rather than taken from a range the application uses.
UINT SkSuspendFramePaintMessage();

// Modifier bits of a ShortCut value (the key code is the low byte).
constexpr int kSkShortCutShift = 8192;
constexpr int kSkShortCutCtrl = 16384;
constexpr int kSkShortCutAlt = 32768;

// The look of the pop-ups of one menu (also used for the frame's system and
// tray menus).
class TSkPopupMenuOptions {
 public:
  TSkPopupMenuOptions();

  TSkBlending& Blending() { return blending_; }
  const TSkBlending& Blending() const { return blending_; }
  TSkShadow& Shadow() { return shadow_; }
  const TSkShadow& Shadow() const { return shadow_; }
  TSkAnimation& Animation() { return animation_; }
  const TSkAnimation& Animation() const { return animation_; }

  // Copies all three and tells the owner.
  void Assign(const TSkPopupMenuOptions& source);
  std::function<void()> OnChange;

 private:
  TSkBlending blending_;
  TSkShadow shadow_;
  TSkAnimation animation_;
};

class TSkItem : public TComponent {
 public:
  explicit TSkItem(TComponent* owner);
  // Destroys the children and leaves the parent.
  ~TSkItem() override;

  // ---- the tree ----
  int Count() const { return static_cast<int>(items_.size()); }
  TSkItem* Items(int index) const;
  TSkItem* Parent() const { return parent_; }
  TSkItem* Root();
  int MenuIndex() const { return parent_ != nullptr ? parent_->IndexOf(this) : -1; }
  void Add(TSkItem* item) { Insert(Count(), item); }
  // Raises EQvItemError when item already has a parent.
  void Insert(int index, TSkItem* item);
  // Destroys the child at index.
  void Delete(int index);
  // Takes item out of the children without destroying it.
  void Remove(TSkItem* item);
  int IndexOf(const TSkItem* item) const;
  // Destroys every child.
  void Clear();
  // Whether item is alive (a posted click may outlive its item).
  static bool IsLiveItem(const TSkItem* item);

  // ---- properties ----
  const std::wstring& Caption() const { return caption_; }
  void SetCaption(std::wstring_view value);
  bool IsSeparator() const { return caption_ == L"-"; }
  // The upper-cased letter after "&" (a doubled "&&" is a literal), or 0.
  wchar_t Accelerator() const;
  const std::wstring& Hint() const { return hint_; }
  void SetHint(std::wstring_view value) { hint_ = value; }
  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int value) { helpContext_ = value; }
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value);
  // The item's own image list; the effective list falls back to the root's.
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* value);
  TImageList* EffectiveImages();
  bool Scrolled() const { return scrolled_; }
  void SetScrolled(bool value);
  int ScrollCount() const { return scrollCount_; }
  void SetScrollCount(int value);
  int ShortCut() const { return shortCut_; }
  void SetShortCut(int value);
  // Whether a child is visible (a submenu with only hidden entries does not
  // open).
  bool HasVisibleChild() const;

  // ---- state of the views ----
  TRect ItemRect;
  int FirstVisible = 0;
  const TSkPopupMenuOptions* PopupOptions = nullptr;
  HWND OwnerWindow = nullptr;
  std::string ThemeObject = kDefaultObjectName;
  bool AnimateNext = false;
  bool FromMenu = false;
  bool Foreground = false;
  bool SuppressPaint = false;

  // Set on this item and every descendant.
  void SetPopupOptionsTree(const TSkPopupMenuOptions* options);
  void SetOwnerWindowTree(HWND window);
  void SetAnimateNextTree(bool value);
  void SetFromMenuTree(bool value);
  void SetThemeObjectTree(const std::string& objectName);

  // Separators, disabled items and items with children do nothing; for the
  // rest the click is posted to the click-handler window.
  virtual void Click();
  // Runs OnClick now (the handler window's part of a click).
  void DoClick();
  // Opens the children in a pop-up window and tracks it until it closes.
  void PopupSubmenu(TSkItemView* parentView, int x, int y, const TRect& itemRect);

  TNotifyEvent OnClick;
  TNotifyEvent OnBeforeDropDown;
  // Change notification: fired for the changed item and for its tree's root.
  std::function<void(TSkItem* item)> OnChange;

 protected:
  void Changed();

 private:
  std::vector<TSkItem*> items_;  // owned unless an owner component frees them first
  TSkItem* parent_ = nullptr;
  std::wstring caption_;
  std::wstring hint_;
  int helpContext_ = 0;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  int imageIndex_ = -1;
  TImageList* images_ = nullptr;
  bool scrolled_ = false;
  int scrollCount_ = 0;
  int shortCut_ = 0;
};

// A shortcut's text ("Ctrl+Shift+F5"); empty for 0.
std::wstring ShortCutToText(int shortCut);
// The shortcut value of a key message's key with the modifiers now held.
int ShortCutOfKey(WORD key, TShiftState shift);

// The themed menu bar: the root item's children side by side.
class TSkMenuBar : public TSkControl {
 public:
  explicit TSkMenuBar(TComponent* owner);
  ~TSkMenuBar() override;

  TSkItem* Items() const { return items_; }
  TImageList* Images() const { return items_->Images(); }
  void SetImages(TImageList* value) { items_->SetImages(value); }
  TSkPopupMenuOptions& PopupMenuOptions() { return popupMenuOptions_; }
  bool ShowBevel() const { return showBevel_; }
  void SetShowBevel(bool value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TSkMenuBarView& View() { return *view_; }

  // Runs the bar's tracking loop (keyboard menu mode): returns when every
  // menu of the bar has closed.
  void EnterMenuMode();
  // Looks the key message's key plus modifiers up among the items'
  // ShortCut values; true when an item was found.
  bool IsShortCut(const MSG& message);
  // The item area inside the control.
  TRect ItemArea();
  // Sizes the bar to its items (AutoSize) and repaints.
  void Relayout();

 protected:
  void PaintContent(TCanvas& canvas) override;
  void WndProc(TMessage& message) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseLeave() override;
  void ThemeChanged(TskThemeChange code) override;
  void BoundsChanged(bool sizeChanged) override;
  void Loaded() override;

 private:
  // Runs the loop with item selected (and its submenu opened when open).
  void Track(TSkItem* item, bool open);
  void ItemsChanged();

  TSkItem* items_ = nullptr;  // owned through the component list
  std::unique_ptr<TSkMenuBarView> view_;
  TSkPopupMenuOptions popupMenuOptions_;
  bool showBevel_ = false;
  bool autoSize_ = true;
  bool sizing_ = false;
};

// A skinned pop-up menu shown at a screen point.
class TSkPopupMenu : public TComponent {
 public:
  explicit TSkPopupMenu(TComponent* owner);
  ~TSkPopupMenu() override;

  TSkItem* Items() const { return items_; }
  TImageList* Images() const { return items_->Images(); }
  void SetImages(TImageList* value) { items_->SetImages(value); }
  TSkPopupMenuOptions& PopupMenuOptions() { return popupMenuOptions_; }

  // Closes a skinned pop-up menu already showing, then shows this one at
  // (x, y) and tracks it until it closes.
  void Popup(int x, int y);
  // The menu being shown, if any.
  static TSkPopupMenu* Current();

  TNotifyEvent OnPopup;

 private:
  TSkItem* items_ = nullptr;
  TSkPopupMenuOptions popupMenuOptions_;
  TSkItemView* rootView_ = nullptr;  // the outermost view while shown
};

#include "skin/menus/sk_menus.h"

#include <algorithm>
#include <unordered_set>

#include "forms/forms.h"
#include "forms/forms_internal.h"
#include "runtime/scope_exit.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"
#include "skin/menus/sk_menu_views.h"

namespace {

std::unordered_set<const TSkItem*>& LiveItems() {
  static std::unordered_set<const TSkItem*> items;
  return items;
}

// ---- the hidden click-handler window ----------------------------------------

LRESULT CALLBACK ClickHandlerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != kSkItemClickMessage) return DefWindowProcW(window, msg, wParam, lParam);
  auto* item = reinterpret_cast<TSkItem*>(lParam);
  try {
    // The menus close and repaint first, so the handler starts from a
    // settled screen.
    Application->ProcessMessages();
    // The item may have been freed while the click waited in the queue.
    if (TSkItem::IsLiveItem(item)) item->DoClick();
  } catch (...) {
    Application->HandleException(nullptr);
  }
  return 0;
}

// Made on first use; destroyed with the framework's other process-wide
// windows (a click still queued for it then is dropped with it).
HWND clickHandler = nullptr;

HWND ClickHandlerWindow() {
  if (clickHandler == nullptr) {
    RegisterFrameworkClass(L"TSkMenuClickHandler", 0, ClickHandlerProc);
    // Far off the screen and of no size: it exists to receive posted clicks.
    clickHandler = CreateWindowExW(0, L"TSkMenuClickHandler", L"", WS_POPUP, 10000, 10000, 0, 0, nullptr, nullptr,
                                   ModuleInstance(), nullptr);
    if (clickHandler != nullptr) {
      AddReleaseHandler([] {
        if (clickHandler != nullptr) DestroyWindow(clickHandler);
        clickHandler = nullptr;
      });
    }
  }
  return clickHandler;
}

TSkPopupMenu* currentPopupMenu = nullptr;

bool FindShortCut(TSkItem* item, int shortCut, std::vector<TSkItem*>& path) {
  for (int i = 0; i < item->Count(); ++i) {
    TSkItem* child = item->Items(i);
    path.push_back(child);
    if (child->ShortCut() == shortCut || FindShortCut(child, shortCut, path)) return true;
    path.pop_back();
  }
  return false;
}

}  // namespace

// ---- options ---------------------------------------------------------------

TSkPopupMenuOptions::TSkPopupMenuOptions() {
  animation_.SetEffectKind(kRandomEffectName);
  animation_.SetEnabled(false);
}

void TSkPopupMenuOptions::Assign(const TSkPopupMenuOptions& source) {
  blending_ = source.blending_;
  shadow_ = source.shadow_;
  animation_.Assign(source.animation_);
  if (OnChange) OnChange();
}

// ---- items -----------------------------------------------------------------

TSkItem::TSkItem(TComponent* owner) : TComponent(owner) { LiveItems().insert(this); }

TSkItem::~TSkItem() {
  LiveItems().erase(this);
  // Children leave the list before they go, so that their own destructor
  // finds no parent to detach from.
  while (!items_.empty()) {
    TSkItem* child = items_.back();
    items_.pop_back();
    child->parent_ = nullptr;
    delete child;
  }
  if (parent_ != nullptr) parent_->Remove(this);
}

bool TSkItem::IsLiveItem(const TSkItem* item) { return item != nullptr && LiveItems().contains(item); }

TSkItem* TSkItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw EQvItemError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)];
}

TSkItem* TSkItem::Root() {
  TSkItem* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  return root;
}

void TSkItem::Insert(int index, TSkItem* item) {
  if (item->parent_ != nullptr) throw EQvItemError("Toolbar item already inserted");
  // An item inside its own subtree would make the tree a cycle.
  for (TSkItem* up = this; up != nullptr; up = up->parent_) {
    if (up == item) throw EQvItemError("Toolbar item already inserted");
  }
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  item->PopupOptions = PopupOptions;
  item->OwnerWindow = OwnerWindow;
  Changed();
}

void TSkItem::Delete(int index) {
  TSkItem* child = Items(index);
  Remove(child);
  delete child;
}

void TSkItem::Remove(TSkItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
  Changed();
}

int TSkItem::IndexOf(const TSkItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TSkItem::Clear() {
  while (!items_.empty()) Delete(Count() - 1);
}

void TSkItem::Changed() {
  if (IsDestroying()) return;
  if (OnChange) OnChange(this);
  TSkItem* root = Root();
  if (root != this && root->OnChange) root->OnChange(this);
}

void TSkItem::SetCaption(std::wstring_view value) {
  if (caption_ == value) return;
  caption_ = value;
  Changed();
}

wchar_t TSkItem::Accelerator() const {
  for (size_t i = 0; i + 1 < caption_.size(); ++i) {
    if (caption_[i] != L'&') continue;
    if (caption_[i + 1] == L'&') {
      ++i;
      continue;
    }
    return static_cast<wchar_t>(reinterpret_cast<uintptr_t>(CharUpperW(
        reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(static_cast<unsigned short>(caption_[i + 1]))))));
  }
  return 0;
}

void TSkItem::SetChecked(bool value) {
  if (checked_ == value) return;
  checked_ = value;
  Changed();
}

void TSkItem::SetEnabled(bool value) {
  if (enabled_ == value) return;
  enabled_ = value;
  Changed();
}

void TSkItem::SetVisible(bool value) {
  if (visible_ == value) return;
  visible_ = value;
  Changed();
}

void TSkItem::SetImageIndex(int value) {
  if (imageIndex_ == value) return;
  imageIndex_ = value;
  Changed();
}

void TSkItem::SetImages(TImageList* value) {
  if (images_ == value) return;
  images_ = value;
  Changed();
}

TImageList* TSkItem::EffectiveImages() { return images_ != nullptr ? images_ : Root()->images_; }

void TSkItem::SetScrolled(bool value) {
  if (scrolled_ == value) return;
  scrolled_ = value;
  Changed();
}

void TSkItem::SetScrollCount(int value) {
  value = std::max(value, 0);
  if (scrollCount_ == value) return;
  scrollCount_ = value;
  Changed();
}

void TSkItem::SetShortCut(int value) {
  if (shortCut_ == value) return;
  shortCut_ = value;
  Changed();
}

bool TSkItem::HasVisibleChild() const {
  return std::any_of(items_.begin(), items_.end(), [](const TSkItem* child) { return child->visible_; });
}

void TSkItem::SetPopupOptionsTree(const TSkPopupMenuOptions* options) {
  PopupOptions = options;
  for (TSkItem* child : items_) child->SetPopupOptionsTree(options);
}

void TSkItem::SetOwnerWindowTree(HWND window) {
  OwnerWindow = window;
  for (TSkItem* child : items_) child->SetOwnerWindowTree(window);
}

void TSkItem::SetAnimateNextTree(bool value) {
  AnimateNext = value;
  for (TSkItem* child : items_) child->SetAnimateNextTree(value);
}

void TSkItem::SetFromMenuTree(bool value) {
  FromMenu = value;
  for (TSkItem* child : items_) child->SetFromMenuTree(value);
}

void TSkItem::SetThemeObjectTree(const std::string& objectName) {
  ThemeObject = objectName;
  for (TSkItem* child : items_) child->SetThemeObjectTree(objectName);
}

void TSkItem::Click() {
  if (IsSeparator() || !enabled_ || !items_.empty()) return;
  PostMessageW(ClickHandlerWindow(), kSkItemClickMessage, 0, reinterpret_cast<LPARAM>(this));
}

void TSkItem::DoClick() {
  if (OnClick) OnClick(this);
}

// ---- shortcuts -------------------------------------------------------------

std::wstring ShortCutToText(int shortCut) {
  if (shortCut == 0) return {};
  std::wstring text;
  if (shortCut & kSkShortCutCtrl) text += L"Ctrl+";
  if (shortCut & kSkShortCutShift) text += L"Shift+";
  if (shortCut & kSkShortCutAlt) text += L"Alt+";
  const UINT key = static_cast<UINT>(shortCut & 0xFF);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
    text += static_cast<wchar_t>(key);
  } else if (key >= VK_F1 && key <= VK_F24) {
    text += L"F" + std::to_wstring(key - VK_F1 + 1);
  } else {
    wchar_t name[64] = {};
    LONG scan = static_cast<LONG>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    // Keys of the extended block are named by their extended scan code.
    if ((key >= VK_PRIOR && key <= VK_HELP) || key == VK_DIVIDE) scan |= 1L << 24;
    if (GetKeyNameTextW(scan, name, static_cast<int>(std::size(name))) > 0) text += name;
  }
  return text;
}

int ShortCutOfKey(WORD key, TShiftState shift) {
  int value = key & 0xFF;
  if (shift & ssShift) value |= kSkShortCutShift;
  if (shift & ssCtrl) value |= kSkShortCutCtrl;
  if (shift & ssAlt) value |= kSkShortCutAlt;
  return value;
}

// ---- menu bar --------------------------------------------------------------

TSkMenuBar::TSkMenuBar(TComponent* owner) : TSkControl(owner) {
  items_ = CreateComponent<TSkItem>(this);
  items_->SetPopupOptionsTree(&popupMenuOptions_);
  view_ = std::make_unique<TSkMenuBarView>(items_, this);
  items_->OnChange = [this](TSkItem* item) {
    // New children take the bar's options and owner window.
    if (item != nullptr) item->SetPopupOptionsTree(&popupMenuOptions_);
    ItemsChanged();
  };
  SetColor(clMenu);
  SetBounds(0, 0, 100, GetSystemMetrics(SM_CYMENU));
  SetControlStyle(csOpaque);
}

TSkMenuBar::~TSkMenuBar() {
  // The root goes with the component list; its notification must not
  // reach a half-destroyed bar.
  items_->OnChange = nullptr;
}

void TSkMenuBar::ItemsChanged() {
  if (IsLoading() || IsDestroying()) return;
  // The hover highlight outlives no item: one taken out of the bar (and
  // about to be freed) is unselected while it still exists.
  if (TSkItem* selected = view_->Selected(); selected != nullptr && selected->Parent() != items_) {
    view_->Select(nullptr);
  }
  Relayout();
}

void TSkMenuBar::SetShowBevel(bool value) {
  if (showBevel_ == value) return;
  showBevel_ = value;
  Relayout();
}

void TSkMenuBar::SetAutoSize(bool value) {
  if (autoSize_ == value) return;
  autoSize_ = value;
  Relayout();
}

TRect TSkMenuBar::ItemArea() {
  const TRect client = ClientRect();
  if (DefinesMenuObject(0, ThemeObject(), ThemeLink())) {
    return Theme()->MenuContentRect(0, client, ThemeObject());
  }
  TRect area = client;
  if (Align() == alBottom) {
    area.Top += 2;
  } else {
    area.Bottom -= 2;
  }
  return area;
}

void TSkMenuBar::Relayout() {
  if (IsLoading() || IsDestroying()) return;
  view_->SetOrigin(TPoint{ItemArea().Left, ItemArea().Top});
  view_->Layout();
  Invalidate();
}

void TSkMenuBar::Loaded() {
  TSkControl::Loaded();
  Relayout();
}

void TSkMenuBar::BoundsChanged(bool sizeChanged) {
  TSkControl::BoundsChanged(sizeChanged);
  if (sizeChanged && !sizing_) Relayout();
}

void TSkMenuBar::ThemeChanged(TskThemeChange code) {
  // Codes 0, 3 and 4 may change fonts and frame: size again; 5 repaints.
  if (code == tcColors) {
    Invalidate();
  } else {
    Relayout();
  }
}

void TSkMenuBar::PaintContent(TCanvas& canvas) {
  const TRect client = ClientRect();
  if (DefinesMenuObject(0, ThemeObject(), ThemeLink())) {
    Theme()->PaintMenu(0, canvas, ThemeObject(), MakeStateRecord(client, 0));
  } else {
    canvas.WithHandle([&](HDC dc) { FillRectColor(dc, client, Color()); });
  }
  view_->DrawItems(canvas);
  if (!showBevel_) return;
  // An etched line along the edge that faces the window's content.
  canvas.WithHandle([&](HDC dc) {
    const bool bottom = Align() != alBottom;
    const int y = bottom ? client.Bottom - 2 : client.Top;
    if (VisualStylesActive()) {
      FillRectColor(dc, TRect{client.Left, bottom ? y + 1 : y, client.Right, (bottom ? y + 1 : y) + 1},
                    clBtnShadow);
    } else {
      FillRectColor(dc, TRect{client.Left, y, client.Right, y + 1}, clBtnShadow);
      FillRectColor(dc, TRect{client.Left, y + 1, client.Right, y + 2}, clBtnHighlight);
    }
  });
}

void TSkMenuBar::WndProc(TMessage& message) {
  if (message.Msg == CM_DIALOGCHAR) {
    const auto character = static_cast<wchar_t>(message.WParam);
    const wchar_t upper = static_cast<wchar_t>(reinterpret_cast<uintptr_t>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(static_cast<unsigned short>(character))))));
    for (int i = 0; i < items_->Count(); ++i) {
      TSkItem* item = items_->Items(i);
      if (!item->Visible() || !item->Enabled() || item->Accelerator() != upper || upper == 0) continue;
      // The letter reaches the tracking loop as a character, which selects
      // the item and opens it.
      if (Parent() != nullptr) PostMessageW(Parent()->Handle(), WM_CHAR, message.WParam, 0);
      message.Result = 1;
      Track(nullptr, false);
      return;
    }
  }
  if (message.Msg == WM_SYSCOMMAND && (message.WParam & 0xFFF0) == SC_KEYMENU && message.LParam == 0) {
    EnterMenuMode();
    message.Result = 0;
    return;
  }
  TSkControl::WndProc(message);
}

void TSkMenuBar::EnterMenuMode() {
  // Keyboard menu mode starts on the first entry that can be chosen.
  TSkItem* first = nullptr;
  for (int i = 0; i < items_->Count() && first == nullptr; ++i) {
    if (items_->Items(i)->Visible() && !items_->Items(i)->IsSeparator()) first = items_->Items(i);
  }
  Track(first, false);
}

void TSkMenuBar::Track(TSkItem* openItem, bool open) {
  if (view_->InLoop() || items_->Count() == 0) return;
  if (TForm* form = GetParentForm(this)) items_->SetOwnerWindowTree(form->Handle());
  items_->SetPopupOptionsTree(&popupMenuOptions_);
  items_->SetThemeObjectTree(ThemeObject());
  items_->SetAnimateNextTree(true);
  items_->SetFromMenuTree(true);
  view_->Select(nullptr);
  Repaint();
  if (openItem != nullptr) {
    view_->Select(openItem);
    if (open) PostMessageW(Handle(), kSkOpenSubmenuMessage, 0, 0);
  }
  view_->Track();
  Invalidate();
}

void TSkMenuBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TSkControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  TSkItem* item = view_->ItemAt(POINT{x, y});
  if (item == nullptr) return;
  // The press belongs to the menu from now on: the framework's own capture
  // would keep the mouse from the tracking loop's.
  ReleaseCapture();
  Track(item, true);
}

void TSkMenuBar::MouseMove(TShiftState shift, int x, int y) {
  TSkControl::MouseMove(shift, x, y);
  if (!view_->InLoop()) view_->Select(view_->ItemAt(POINT{x, y}));
}

void TSkMenuBar::MouseLeave() {
  TSkControl::MouseLeave();
  if (!view_->InLoop()) view_->Select(nullptr);
}

bool TSkMenuBar::IsShortCut(const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  const int shortCut = ShortCutOfKey(static_cast<WORD>(message.wParam), KeyboardShiftState());
  if ((shortCut & 0xFF) == 0) return false;
  // A click on an ancestor may rebuild its submenu; the search then starts
  // again. The number of restarts is bounded so that a handler that
  // rebuilds on every click cannot hold the window thread forever.
  constexpr int kMaxSearches = 16;
  for (int search = 0; search < kMaxSearches; ++search) {
    std::vector<TSkItem*> path;
    if (!FindShortCut(items_, shortCut, path)) return false;
    bool intact = true;
    for (size_t i = 0; i + 1 < path.size() && intact; ++i) {
      try {
        path[i]->DoClick();
      } catch (...) {
        Application->HandleException(this);
      }
      for (size_t j = 0; j < path.size() && intact; ++j) {
        TSkItem* expectedParent = j == 0 ? items_ : path[j - 1];
        intact = TSkItem::IsLiveItem(path[j]) && path[j]->Parent() == expectedParent;
      }
    }
    if (!intact) continue;
    TSkItem* item = path.back();
    if (item->Enabled()) {
      try {
        item->Click();
      } catch (...) {
        Application->HandleException(this);
      }
    }
    return true;
  }
  return false;
}

UINT SkSuspendFramePaintMessage() {
  static const UINT message = RegisterWindowMessageW(L"SkSuspendFramePaint");
  return message;
}

// ---- pop-up menu -----------------------------------------------------------

TSkPopupMenu::TSkPopupMenu(TComponent* owner) : TComponent(owner) {
  items_ = CreateComponent<TSkItem>(this);
  items_->SetPopupOptionsTree(&popupMenuOptions_);
}

TSkPopupMenu::~TSkPopupMenu() {
  if (currentPopupMenu == this) currentPopupMenu = nullptr;
}

TSkPopupMenu* TSkPopupMenu::Current() { return currentPopupMenu; }

void TSkPopupMenu::Popup(int x, int y) {
  if (currentPopupMenu != nullptr) {
    if (TSkItemView* innermost = TSkItemView::Innermost()) innermost->LeaveAllLoops();
    Application->ProcessMessages();
  }
  currentPopupMenu = this;
  const TScopeExit clearCurrent([this] {
    if (currentPopupMenu == this) currentPopupMenu = nullptr;
  });
  items_->SetPopupOptionsTree(&popupMenuOptions_);
  if (auto* window = dynamic_cast<TWinControl*>(Owner())) {
    TForm* form = GetParentForm(window);
    items_->SetOwnerWindowTree(form != nullptr ? form->Handle() : window->Handle());
  }
  items_->SetAnimateNextTree(true);
  items_->SetFromMenuTree(true);
  if (OnPopup) OnPopup(this);
  items_->PopupSubmenu(nullptr, x, y, TRect{0, 0, 0, 0});
}

// The frame's menus: the skinned system menu, the linked tray and system
// menus, and the menu bar the frame hands its keyboard to.
#include <windows.h>

#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menus.h"

// The linked menus are expected to share the form's owner, whose removal
// notifications clear the references here.
void TSkDefaultForm::SetMenuBar(TSkMenuBar* value) { menuBar_ = value; }
void TSkDefaultForm::SetSystemMenuLink(TSkPopupMenu* value) { systemMenuLink_ = value; }
void TSkDefaultForm::SetTrayMenuLink(TSkPopupMenu* value) { trayMenuLink_ = value; }

void TSkDefaultForm::Notification(TComponent* component, TOperation operation) {
  TSkHook::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == menuBar_) menuBar_ = nullptr;
  if (component == systemMenuLink_) systemMenuLink_ = nullptr;
  if (component == trayMenuLink_) trayMenuLink_ = nullptr;
  if (component == systemMenu_) systemMenu_ = nullptr;
}

void TSkDefaultForm::RunMenuBarTracking() {
  if (menuBar_ != nullptr) menuBar_->EnterMenuMode();
}

void TSkDefaultForm::PopupLinkedMenu(TSkPopupMenu& menu, const TSkPopupMenuOptions& options, TPoint point,
                                     bool foreground) {
  menu.PopupMenuOptions().Assign(options);
  if (form_ != nullptr && form_->HandleAllocated()) menu.Items()->SetOwnerWindowTree(form_->Handle());
  menu.Items()->Foreground = foreground;
  menu.Popup(point.X, point.Y);
}

void TSkDefaultForm::PopupSystemMenu(const std::vector<TSkSystemMenuEntry>& entries, TPoint point) {
  if (state_ == kwsTray && trayMenuLink_ != nullptr) {
    // From the notification area: the pop-up must come to the foreground
    // or it would not close when the reader clicks elsewhere.
    PopupLinkedMenu(*trayMenuLink_, trayMenuOptions_, point, true);
    return;
  }
  if (state_ != kwsTray && systemMenuLink_ != nullptr) {
    PopupLinkedMenu(*systemMenuLink_, systemMenuOptions_, point, false);
    return;
  }
  // Asked again while it shows (the tray icon clicked once more while the
  // menu waits): its items are in use by the open menu, so it stays as it is.
  if (systemMenu_ != nullptr && TSkPopupMenu::Current() == systemMenu_) return;
  if (systemMenu_ == nullptr) systemMenu_ = CreateComponent<TSkPopupMenu>(this);
  // Built fresh for every showing: the entries follow the window's state.
  systemMenu_->Items()->Clear();
  for (const TSkSystemMenuEntry& entry : entries) {
    auto* item = CreateComponent<TSkItem>(systemMenu_);
    item->SetCaption(entry.Caption);
    item->SetImageIndex(entry.ImageIndex);
    if (!entry.ShortCut.empty()) item->SetShortCut(kSkShortCutAlt | VK_F4);
    const std::wstring caption = entry.Caption;
    item->OnClick = [this, caption](TObject*) { SystemMenuCommand(caption); };
    systemMenu_->Items()->Add(item);
  }
  PopupLinkedMenu(*systemMenu_, systemMenuOptions_, point, state_ == kwsTray);
}

void TSkDefaultForm::ChainShortCuts() {
  if (form_ == nullptr) return;
  auto previous = form_->OnShortCut;
  // The handler stays with the form; once this frame is gone it only passes
  // keys on.
  std::weak_ptr<bool> alive = alive_;
  form_->OnShortCut = [this, previous, alive](const MSG& message, bool& handled) {
    // The menu bar sees the keys first: Alt plus a menu's letter opens that
    // menu even while the focus is in a window the framework does not
    // know (an embedded browser), and its items' shortcuts are found.
    if (!alive.expired() && menuBar_ != nullptr) {
      if (message.message == WM_SYSKEYDOWN && (message.lParam & (1 << 29)) != 0) {
        const auto character =
            static_cast<wchar_t>(MapVirtualKeyW(static_cast<UINT>(message.wParam), MAPVK_VK_TO_CHAR));
        if (character != 0 && menuBar_->Perform(CM_DIALOGCHAR, character) != 0) {
          handled = true;
          return;
        }
      }
      if (menuBar_->IsShortCut(message)) {
        handled = true;
        return;
      }
    }
    if (previous) previous(message, handled);
  };
}

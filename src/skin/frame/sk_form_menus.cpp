// The frame's menus: the skinned system menu, the linked tray and system
// menus, and the menu bar the frame hands its keyboard to.
#include <windows.h>

#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menus.h"

namespace {

// The system menu's pictures, drawn once per process: 0 close, 1 minimize,
// 2 maximize, 3 restore, 4 roll-up, 5 minimize to the tray. Black strokes
// on the mask colour, 16 x 16 each.
TImageList* SystemMenuImages() {
  static const std::unique_ptr<TImageList> images = [] {
    constexpr int kSize = 16;
    constexpr int kCount = 6;
    auto list = std::make_unique<TImageList>(nullptr);
    list->SetSize(kSize, kSize);
    TBitmap strip;
    strip.SetSize(kSize * kCount, kSize);
    TCanvas& canvas = strip.Canvas();
    canvas.Brush().SetColor(clFuchsia);
    canvas.FillRect(TRect{0, 0, kSize * kCount, kSize});
    canvas.Pen().SetColor(clBlack);
    auto line = [&canvas](int image, int x1, int y1, int x2, int y2) {
      canvas.MoveTo(image * kSize + x1, y1);
      canvas.LineTo(image * kSize + x2, y2);
    };
    auto box = [&line](int image, int left, int top, int right, int bottom) {
      line(image, left, top, right, top);
      line(image, left, top + 1, right, top + 1);  // the caption bar of a window
      line(image, right, top, right, bottom);
      line(image, right, bottom, left, bottom);
      line(image, left, bottom, left, top);
    };
    for (int d = 0; d < 2; ++d) {  // close: a cross two pixels thick
      line(0, 4 + d, 4, 12 + d, 12);
      line(0, 11 + d, 4, 3 + d, 12);
    }
    line(1, 4, 11, 11, 11);  // minimize: a bar at the bottom
    line(1, 4, 12, 11, 12);
    box(2, 3, 3, 12, 12);  // maximize: one window
    box(3, 6, 3, 12, 9);   // restore: two windows, one over the other
    box(3, 3, 6, 9, 12);
    for (int row = 0; row < 4; ++row) line(4, 8 - row, 6 + row, 9 + row, 6 + row);  // roll-up: a triangle up
    line(4, 4, 12, 12, 12);
    box(5, 3, 3, 12, 12);  // tray: a window with a small one in its corner
    for (int row = 8; row < 12; ++row) line(5, 8, row, 12, row);
    list->AddMasked(strip, clFuchsia);
    return list;
  }();
  return images.get();
}

}  // namespace

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
  if (state_ != kwsTray && systemMenuLink_ != nullptr && !systemMenuLinkMerge_) {
    PopupLinkedMenu(*systemMenuLink_, systemMenuOptions_, point, false);
    return;
  }
  // Asked again while it shows (the tray icon clicked once more while the
  // menu waits): its items are in use by the open menu, so it stays as it is.
  if (systemMenu_ != nullptr && TSkPopupMenu::Current() == systemMenu_) return;
  if (systemMenu_ == nullptr) systemMenu_ = CreateComponent<TSkPopupMenu>(this);
  // Built fresh for every showing: the entries follow the window's state.
  systemMenu_->Items()->Clear();
  systemMenu_->SetImages(SystemMenuImages());
  const bool merge = state_ != kwsTray && systemMenuLink_ != nullptr && systemMenuLinkMerge_;
  if (merge && systemMenuLinkMergeAtFirst_) MergeLinkedItems(*systemMenu_->Items(), *systemMenuLink_->Items());
  for (const TSkSystemMenuEntry& entry : entries) {
    auto* item = CreateComponent<TSkItem>(systemMenu_);
    item->SetCaption(entry.Caption);
    item->SetImageIndex(entry.ImageIndex);
    if (!entry.ShortCut.empty()) item->SetShortCut(kSkShortCutAlt | VK_F4);
    const std::wstring caption = entry.Caption;
    item->OnClick = [this, caption](TObject*) { SystemMenuCommand(caption); };
    systemMenu_->Items()->Add(item);
  }
  if (merge && !systemMenuLinkMergeAtFirst_) MergeLinkedItems(*systemMenu_->Items(), *systemMenuLink_->Items());
  PopupLinkedMenu(*systemMenu_, systemMenuOptions_, point, state_ == kwsTray);
}

void TSkDefaultForm::MergeLinkedItems(TSkItem& parent, TSkItem& linked) {
  for (int i = 0; i < linked.Count(); ++i) {
    TSkItem* original = linked.Items(i);
    auto* copy = CreateComponent<TSkItem>(systemMenu_);
    copy->SetCaption(original->Caption());
    copy->SetHint(original->Hint());
    copy->SetChecked(original->Checked());
    copy->SetEnabled(original->Enabled());
    copy->SetVisible(original->Visible());
    copy->SetShortCut(original->ShortCut());
    // The linked menu's pictures are its own list's, not the system menu's.
    copy->OnClick = [original](TObject*) {
      if (TSkItem::IsLiveItem(original)) original->DoClick();
    };
    parent.Add(copy);
    MergeLinkedItems(*copy, *original);
  }
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

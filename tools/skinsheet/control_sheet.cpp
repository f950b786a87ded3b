#include "control_sheet.h"

#include <windows.h>

#include <algorithm>

#include "forms/forms.h"
#include "forms/std_components.h"
#include "skin/controls/sk_buttons.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_effect_controls.h"
#include "skin/controls/sk_group_box.h"
#include "skin/controls/sk_label.h"
#include "skin/controls/sk_list_box.h"
#include "skin/controls/sk_scroll_bar.h"
#include "skin/controls/sk_status_bar.h"
#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menu_views.h"
#include "skin/menus/sk_menus.h"

namespace {

// A toolbar glyph: a 16 × 16 square with a darker frame on a magenta
// ground (the glyph's transparent colour is its bottom-left pixel).
void PaintGlyph(TBitmap& glyph, TColor colour) {
  glyph.SetSize(16, 16);
  TCanvas& canvas = glyph.Canvas();
  canvas.Brush().SetColor(clFuchsia);
  canvas.FillRect(TRect{0, 0, 16, 16});
  canvas.Brush().SetColor(clNavy);
  canvas.FillRect(TRect{2, 2, 14, 14});
  canvas.Brush().SetColor(colour);
  canvas.FillRect(TRect{4, 4, 12, 12});
}

std::unique_ptr<TskBitmap> Shoot(TControl& control) {
  auto picture = std::make_unique<TskBitmap>();
  picture->SetSize(control.Width(), control.Height());
  if (auto* windowed = dynamic_cast<TWinControl*>(&control)) {
    windowed->PaintTo(picture->DC(), 0, 0);
  }
  GdiFlush();
  picture->SetAlpha(255);
  return picture;
}

// A mouse message as the control's window gets it, at (x, y) of control.
void Mouse(TControl& control, UINT message, int x, int y) {
  TPoint offset{0, 0};
  TWinControl* host = control.HostWindow(&offset);
  SendMessageW(host->Handle(), message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0,
               MAKELPARAM(static_cast<WORD>(x + offset.X), static_cast<WORD>(y + offset.Y)));
}

// The skinned frame of a window as it draws it, with the client background:
// the window's top-left part up to width x height.
std::unique_ptr<TskBitmap> ShootFrame(TSkForm& frame, int width, int height) {
  RECT window{};
  GetWindowRect(frame.Form()->Handle(), &window);
  auto whole = std::make_unique<TskBitmap>();
  whole->SetSize(window.right - window.left, window.bottom - window.top);
  TSkBorrowedCanvas canvas(whole->DC());
  frame.PaintClientBackground(canvas);
  frame.DrawFrame(canvas);
  GdiFlush();
  whole->SetAlpha(255);
  width = std::min(width, static_cast<int>(whole->Width()));
  height = std::min(height, static_cast<int>(whole->Height()));
  auto picture = std::make_unique<TskBitmap>();
  picture->SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture->SetPixelAt(x, y, whole->PixelAt(x, y));
  return picture;
}

}  // namespace

std::vector<TControlShot> FrameShots() {
  std::vector<TControlShot> shots;
  TForm form(nullptr);
  TSkForm* frame = nullptr;
  form.LoadComponents([&] {
    frame = CreateComponent<TSkForm>(&form);
    frame->SetCaption(L"Sample Book - Chapter one");
  });
  form.SetBorderStyle(bsNone);
  form.SetBounds(0, 0, 420, 160);
  ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
  Application->ProcessMessages();
  SendMessageW(form.Handle(), WM_NCACTIVATE, TRUE, 0);
  shots.push_back({L"window frame: active", ShootFrame(*frame, 420, 160)});
  SendMessageW(form.Handle(), WM_NCACTIVATE, FALSE, 0);
  shots.push_back({L"inactive", ShootFrame(*frame, 420, 160)});
  SendMessageW(form.Handle(), WM_NCACTIVATE, TRUE, 0);
  frame->RollupForm();
  shots.push_back({L"rolled up", ShootFrame(*frame, 420, 160)});
  frame->RestoreForm();
  frame->MaximizeForm();
  shots.push_back({L"maximised (its left part)", ShootFrame(*frame, 420, 80)});
  frame->RestoreForm();
  ShowWindow(form.Handle(), SW_HIDE);
  return shots;
}

std::vector<TControlShot> ControlShots() {
  std::vector<TControlShot> shots;
  TForm form(nullptr);
  form.SetBounds(0, 0, 900, 700);
  form.HandleNeeded();

  // The toolbar: at rest, hot, pressed, disabled (the fades are off so
  // that each button shows its final look).
  auto* toolbar = CreateComponent<TSkPanel>(&form);
  toolbar->SetParent(&form);
  toolbar->SetBounds(0, 0, 4 * 78 + 4, 40);
  const wchar_t* captions[] = {L"Home", L"Back", L"Print", L"Stop"};
  const TColor colours[] = {clLime, clYellow, clSilver, clRed};
  std::vector<TSkEffectSpeedButton*> buttons;
  for (int i = 0; i < 4; ++i) {
    auto* button = CreateComponent<TSkEffectSpeedButton>(&form);
    button->SetParent(toolbar);
    button->SetBounds(2 + i * 78, 2, 78, 36);
    button->SetCaption(captions[i]);
    TBitmap glyph;
    PaintGlyph(glyph, colours[i]);
    button->SetGlyph(glyph);
    button->Animation().SetEnabled(false);
    buttons.push_back(button);
  }
  // Each button is shot in its state on its own (the mouse can be over
  // one button only) and the four are put side by side.
  auto composite = Shoot(*toolbar);
  auto keep = [&](TSkEffectSpeedButton* button) {
    const auto picture = Shoot(*toolbar);
    const TRect r = button->BoundsRect();
    picture->DrawOnto(*composite, r.Left, r.Top, r);
  };
  Mouse(*buttons[1], WM_MOUSEMOVE, 20, 10);  // hot
  keep(buttons[1]);
  Mouse(*buttons[2], WM_MOUSEMOVE, 20, 10);
  Mouse(*buttons[2], WM_LBUTTONDOWN, 20, 10);  // pressed, held
  keep(buttons[2]);
  Mouse(*buttons[2], WM_LBUTTONUP, 500, 500);
  buttons[3]->SetEnabled(false);
  keep(buttons[3]);
  shots.push_back({L"toolbar: rest, hot, pressed, disabled", std::move(composite)});
  toolbar->SetVisible(false);

  // The search area as the viewer lays it out, with results and one
  // selected, the text selected in the edit.
  auto* group = CreateComponent<TSkGroupBox>(&form);
  group->SetParent(&form);
  group->SetBounds(0, 0, 792, 135);
  group->SetCaption(L"Ebook Search Engine");
  auto* label = CreateComponent<TSkLabel>(&form);
  label->SetParent(group);
  label->SetBounds(264, 16, 70, 13);
  label->SetCaption(L"Search results:");
  auto* edit = CreateComponent<TSkLabeledEdit>(&form);
  edit->SetParent(group);
  edit->SetBounds(16, 32, 241, 21);
  edit->EditLabel()->SetCaption(L"Text to find");
  edit->SetText(L"chapter one");
  edit->SetHideSelection(false);
  edit->SetSelStart(0);
  edit->SetSelLength(7);
  auto* check = CreateComponent<TSkCheckBox>(&form);
  check->SetParent(group);
  check->SetBounds(12, 61, 65, 33);
  check->SetCaption(L"Case sensitive");
  check->SetWordWrap(true);
  check->SetChecked(true);
  auto* search = CreateComponent<TSkButton>(&form);
  search->SetParent(group);
  search->SetBounds(200, 64, 57, 25);
  search->SetCaption(L"Search");
  search->FontOptions().SetSizeDelta(-1);
  auto* reset = CreateComponent<TSkButton>(&form);
  reset->SetParent(group);
  reset->SetBounds(80, 64, 113, 25);
  reset->SetCaption(L"Reset and new Search");
  reset->FontOptions().SetSizeDelta(-1);
  auto* list = CreateComponent<TSkListBox>(&form);
  list->SetParent(group);
  list->SetBounds(264, 32, 513, 84);
  for (const wchar_t* name : {L"index.htm", L"chapter1.htm", L"chapter2.htm", L"chapter3.htm", L"appendix.htm",
                              L"notes.htm", L"glossary.htm"}) {
    list->Items().Add(name);
  }
  list->SetItemIndex(1);
  shots.push_back({L"search area: edit with a selection, checked box, list with a selection and scroll bar",
                   Shoot(*group)});
  group->SetEnabled(false);
  shots.push_back({L"search area disabled", Shoot(*group)});
  group->SetVisible(false);

  // Buttons and check boxes in their states.
  auto* row = CreateComponent<TSkPanel>(&form);
  row->SetParent(&form);
  row->SetBounds(0, 0, 560, 34);
  const wchar_t* buttonCaptions[] = {L"Normal", L"Hot", L"Pressed", L"Disabled"};
  for (int i = 0; i < 4; ++i) {
    auto* button = CreateComponent<TSkButton>(&form);
    button->SetParent(row);
    button->SetBounds(4 + i * 80, 4, 75, 25);
    button->SetCaption(buttonCaptions[i]);
    if (i == 1) Mouse(*button, WM_MOUSEMOVE, 10, 10);
    if (i == 2) {
      Mouse(*button, WM_MOUSEMOVE, 10, 10);
      Mouse(*button, WM_LBUTTONDOWN, 10, 10);
    }
    if (i == 3) button->SetEnabled(false);
  }
  const TSkCheckBoxState states[] = {kcbsUnChecked, kcbsChecked, kcbsMixed};
  for (int i = 0; i < 3; ++i) {
    auto* box = CreateComponent<TSkCheckBox>(&form);
    box->SetParent(row);
    box->SetBounds(330 + i * 76, 7, 74, 20);
    box->SetAllowGrayed(true);
    box->SetState(states[i]);
    box->SetCaption(i == 0 ? L"Off" : i == 1 ? L"On" : L"Mixed");
  }
  shots.push_back({L"buttons: normal, hot, pressed, disabled; check boxes", Shoot(*row)});
  ReleaseCapture();
  row->SetVisible(false);

  // The status bar with its two panels, each showing its text through a
  // white transparent label as the viewer's status line does.
  auto* bar = CreateComponent<TSkStatusBar>(&form);
  bar->SetParent(&form);
  bar->SetAlign(alNone);
  bar->SetBounds(0, 0, 792, 22);
  bar->SetBorderWidth(2);
  for (const wchar_t* text : {L"Chapter one - The beginning", L"3 pages found"}) {
    auto* label = CreateComponent<TLabel>(&form);
    label->SetParent(bar);
    label->SetBounds(2, 2, 346, 16);
    label->SetParentFont(false);
    label->Font().SetName(L"Arial");
    label->Font().SetHeight(-11);
    label->Font().SetColor(clWhite);
    label->SetTransparent(true);
    label->SetAutoSize(false);
    label->SetCaption(text);
    TSkStatusPanel* panel = bar->Panels().Add();
    panel->SetWidth(350);
    panel->SetControl(label);
  }
  shots.push_back({L"status bar", Shoot(*bar)});
  bar->SetVisible(false);

  // The menu bar with its first item open, and that item's pop-up: a
  // selected entry, separators, a checked entry with a shortcut, a disabled
  // entry and one with a submenu.
  auto* menuBar = CreateComponent<TSkMenuBar>(&form);
  menuBar->SetParent(&form);
  menuBar->SetAlign(alNone);
  menuBar->SetBounds(0, 0, 300, 22);
  auto addItem = [&form](TSkItem* parent, const wchar_t* caption) {
    auto* item = CreateComponent<TSkItem>(&form);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
  };
  TSkItem* book = addItem(menuBar->Items(), L"eBook");
  addItem(menuBar->Items(), L"&View");
  TSkItem* first = addItem(book, L"New window");
  addItem(book, L"-");
  TSkItem* checked = addItem(book, L"Show &toolbar");
  checked->SetChecked(true);
  checked->SetShortCut(0x4000 | 'T');  // Ctrl+T
  addItem(book, L"Print")->SetEnabled(false);
  TSkItem* more = addItem(book, L"Recent pages");
  addItem(more, L"Chapter one");
  addItem(book, L"-");
  addItem(book, L"Close");
  shots.push_back({L"menu bar", Shoot(*menuBar)});

  TSkPopupWindow popup(book, false);
  TSkPopupView& view = popup.View();
  const TRect margins = popup.FrameMargins();
  view.SetOrigin(TPoint{margins.Left, margins.Top});
  view.Layout();
  view.Select(first);
  RECT client{};
  GetClientRect(popup.Handle(), &client);
  auto picture = std::make_unique<TskBitmap>();
  picture->SetSize(client.right, client.bottom);
  popup.Paint(picture->DC());
  GdiFlush();
  picture->SetAlpha(255);
  shots.push_back({L"pop-up menu: selected, separator, checked with shortcut, disabled, submenu", std::move(picture)});
  return shots;
}

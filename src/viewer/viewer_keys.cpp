// The viewer window's keys and zoom.
//
// Keys reach the window by two roads. Every key press the application's
// loop takes inside the form, the page's window included, is offered to
// the form's shortcuts before it is dispatched (TApplication's key path);
// the platform's browser control also asks its container about the keys it
// sees itself (the host's TranslateAccelerator), and both roads end in
// ViewerKey. One table says which key runs which command and where: the
// commands are the toolbar buttons' and menu entries' own handlers, gated by
// their buttons and entries, so a key can do nothing a reader could not do
// with the mouse.
#include <algorithm>
#include <cwchar>
#include <string>

#include "browser/embedded_wb.h"
#include "skin/controls/sk_buttons.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_effect_controls.h"
#include "skin/controls/sk_group_box.h"
#include "skin/controls/sk_list_box.h"
#include "skin/menus/sk_menus.h"
#include "viewer/viewer_form.h"

namespace {

// Where the focus is when a key arrives.
enum class TKeyPlace {
  SearchEdit,  // the search area's text field
  ResultList,  // the search area's result list
  TextField,   // any other field that takes typing (one of the page's)
  Elsewhere,   // the page, the toolbar, the other controls
};

// Where a key of the table applies.
enum class TKeyWhere {
  Anywhere,
  OutsideTextFields,  // not in the search edit nor in a field of the page
  SearchEdit,
  ResultList,
};

struct TViewerKey {
  WORD Key;
  TShiftState Shift;  // exactly these of Shift, Ctrl and Alt held
  TKeyWhere Where;
  TForm1::TViewerCommand Command;
};

constexpr TShiftState kModifiers = ssShift | ssCtrl | ssAlt;

// The window's keys. Backspace is Back only where it does not erase
// typing; Esc is only Stop, in the search area too (it clears nothing and
// closes nothing there). Ctrl with "+" is the key that carries it with or
// without Shift on the reader's layout, and the number pad's.
using TCommand = TForm1::TViewerCommand;
const TViewerKey kViewerKeys[] = {
    {VK_LEFT, ssAlt, TKeyWhere::Anywhere, TCommand::Back},
    {VK_BACK, 0, TKeyWhere::OutsideTextFields, TCommand::Back},
    {VK_RIGHT, ssAlt, TKeyWhere::Anywhere, TCommand::Forward},
    {VK_HOME, ssAlt, TKeyWhere::Anywhere, TCommand::Home},
    {VK_F5, 0, TKeyWhere::Anywhere, TCommand::Refresh},
    {VK_ESCAPE, 0, TKeyWhere::Anywhere, TCommand::Stop},
    {'P', ssCtrl, TKeyWhere::Anywhere, TCommand::Print},
    {'F', ssCtrl, TKeyWhere::Anywhere, TCommand::Find},
    {VK_F3, 0, TKeyWhere::Anywhere, TCommand::Find},
    {'N', ssCtrl, TKeyWhere::Anywhere, TCommand::NewWindow},
    {'W', ssCtrl, TKeyWhere::Anywhere, TCommand::Close},
    {VK_RETURN, 0, TKeyWhere::SearchEdit, TCommand::Search},
    {VK_RETURN, 0, TKeyWhere::ResultList, TCommand::OpenResult},
    {VK_OEM_PLUS, ssCtrl, TKeyWhere::Anywhere, TCommand::ZoomIn},
    {VK_OEM_PLUS, ssCtrl | ssShift, TKeyWhere::Anywhere, TCommand::ZoomIn},
    {VK_ADD, ssCtrl, TKeyWhere::Anywhere, TCommand::ZoomIn},
    {VK_OEM_MINUS, ssCtrl, TKeyWhere::Anywhere, TCommand::ZoomOut},
    {VK_SUBTRACT, ssCtrl, TKeyWhere::Anywhere, TCommand::ZoomOut},
    {'0', ssCtrl, TKeyWhere::Anywhere, TCommand::ZoomReset},
    {VK_NUMPAD0, ssCtrl, TKeyWhere::Anywhere, TCommand::ZoomReset},
};

bool Usable(const TControl* control) { return control != nullptr && control->Enabled(); }
bool Usable(const TSkItem* item) { return item != nullptr && item->Enabled(); }

}  // namespace

void TForm1::InstallKeys() {
  const TShortCutEvent previous = OnShortCut;
  OnShortCut = [this, previous](const MSG& message, bool& handled) {
    if (ViewerKey(message)) {
      handled = true;
      return;
    }
    if (previous) previous(message, handled);
  };
  OnMouseWheelShortCut = [this](const MSG& message, bool& handled) { handled = ViewerWheel(message); };
  // The platform's control asks about the keys it sees itself.
  WebBrowser1->OnTranslateAccelerator = [this](MSG* message, const GUID*, DWORD) -> HRESULT {
    return message != nullptr && ViewerKey(*message) ? S_OK : S_FALSE;
  };
}

bool TForm1::ViewerKey(const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  const auto key = static_cast<WORD>(message.wParam);
  TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  // A system key's own data says whether Alt was down when it was pressed.
  if ((message.lParam & (1L << 29)) != 0 || GetKeyState(VK_MENU) < 0) shift |= ssAlt;

  auto matches = [&](const TViewerKey& candidate) {
    return candidate.Key == key && candidate.Shift == (shift & kModifiers);
  };
  if (std::none_of(std::begin(kViewerKeys), std::end(kViewerKeys), matches)) return false;

  TWinControl* control = nullptr;
  for (HWND window = message.hwnd; window != nullptr && control == nullptr; window = GetAncestor(window, GA_PARENT)) {
    control = FindControl(window);
  }
  if (control == nullptr || GetParentForm(control) != this) return false;
  TKeyPlace place = TKeyPlace::Elsewhere;
  if (control == LabeledEdit1) {
    place = TKeyPlace::SearchEdit;
  } else if (control == ListBox1) {
    place = TKeyPlace::ResultList;
  } else if (dynamic_cast<TSkEdit*>(control) != nullptr) {
    place = TKeyPlace::TextField;
  }
  // The page is asked about its focused field only for a key that depends
  // on it.
  auto inTextField = [&] {
    if (place == TKeyPlace::SearchEdit || place == TKeyPlace::TextField) return true;
    return control == WebBrowser1 && WebBrowser1->FocusInPageField();
  };
  const TViewerKey* entry = nullptr;
  for (const TViewerKey& candidate : kViewerKeys) {
    if (!matches(candidate)) continue;
    bool applies = false;
    switch (candidate.Where) {
      case TKeyWhere::Anywhere: applies = true; break;
      case TKeyWhere::OutsideTextFields: applies = !inTextField(); break;
      case TKeyWhere::SearchEdit: applies = place == TKeyPlace::SearchEdit; break;
      case TKeyWhere::ResultList: applies = place == TKeyPlace::ResultList; break;
    }
    if (applies) {
      entry = &candidate;
      break;
    }
  }
  if (entry == nullptr) return false;
  RunViewerCommand(entry->Command);
  return true;
}

void TForm1::RunViewerCommand(TViewerCommand command) {
  switch (command) {
    case TViewerCommand::Back:
      if (Usable(SpeedButton1)) SpeedButton1Click(SpeedButton1);
      break;
    case TViewerCommand::Forward:
      if (Usable(SpeedButton2)) SpeedButton2Click(SpeedButton2);
      break;
    case TViewerCommand::Home:
      if (Usable(SpeedButton8)) SpeedButton8Click(SpeedButton8);
      break;
    case TViewerCommand::Refresh:
      if (Usable(SpeedButton3)) SpeedButton3Click(SpeedButton3);
      break;
    case TViewerCommand::Stop:
      if (Usable(SpeedButton4)) SpeedButton4Click(SpeedButton4);
      break;
    case TViewerCommand::Print:
      if (Usable(SpeedButton5)) SpeedButton5Click(SpeedButton5);
      break;
    case TViewerCommand::Find:
      if (Usable(SpeedButton6)) ShowSearchArea();
      break;
    case TViewerCommand::NewWindow:
      if (Usable(Newwindow1)) Newwindow1_oldClick(Newwindow1);
      break;
    case TViewerCommand::Close:
      if (Usable(Close1)) Close1_oldClick(Close1);
      break;
    case TViewerCommand::Search:
      // Disabled while a search runs and while results are shown.
      if (Usable(SpeedButton10)) SpeedButton10Click(SpeedButton10);
      break;
    case TViewerCommand::OpenResult:
      if (Usable(ListBox1)) ListBox1Click(ListBox1);
      break;
    case TViewerCommand::ZoomIn: ZoomBy(1); break;
    case TViewerCommand::ZoomOut: ZoomBy(-1); break;
    case TViewerCommand::ZoomReset: SetZoom(100); break;
  }
}

// Shows the search area (it stays open when it is) and puts the caret in
// its text field, the text selected so that typing replaces it. While the
// area shows results the field waits for Reset; the result list takes the
// focus then.
void TForm1::ShowSearchArea() {
  if (!GroupBox1->Visible()) SpeedButton6Click(SpeedButton6);
  if (LabeledEdit1->CanFocus()) {
    LabeledEdit1->SetFocus();
    LabeledEdit1->SelectAll();
  } else if (ListBox1->CanFocus()) {
    ListBox1->SetFocus();
  }
}

bool TForm1::ViewerWheel(const MSG& message) {
  if (message.message != WM_MOUSEWHEEL || (GET_KEYSTATE_WPARAM(message.wParam) & MK_CONTROL) == 0) return false;
  // A fine wheel sends parts of a notch: whole notches make steps.
  wheelDelta_ += GET_WHEEL_DELTA_WPARAM(message.wParam);
  const int steps = wheelDelta_ / WHEEL_DELTA;
  wheelDelta_ -= steps * WHEEL_DELTA;
  if (steps != 0) ZoomBy(steps);
  return true;
}

void TForm1::ZoomBy(int steps) {
  const int* const first = std::begin(kZoomLevels);
  const int* const last = std::end(kZoomLevels);
  // The current level's place; a zoom between levels counts as the level
  // below it going up and the one above it going down.
  const int* at = std::lower_bound(first, last, zoom_);
  ptrdiff_t index = at - first;
  if (steps > 0 && (at == last || *at != zoom_)) --index;
  index = std::clamp<ptrdiff_t>(index + steps, 0, (last - first) - 1);
  SetZoom(first[index]);
}

void TForm1::SetZoom(int percent) {
  percent = std::clamp(percent, kZoomLevels[0], std::end(kZoomLevels)[-1]);
  // A browser without a zoom of its own keeps its size, and the window says
  // nothing.
  if (percent != zoom_ && !WebBrowser1->SetZoom(percent)) return;
  zoom_ = percent;
  ShowZoomNote();
}

// The level in the left status label for a moment; then the label shows
// what it showed before, unless a page title or the search's progress has
// replaced the note meanwhile.
void TForm1::ShowZoomNote() {
  const std::wstring note = L"Zoom: " + std::to_wstring(zoom_) + L"%";
  const bool showing = zoomNoteTimer_ != nullptr && zoomNoteTimer_->Enabled() && StPanel1->Caption() == zoomNote_;
  if (!showing) captionBeforeZoom_ = StPanel1->Caption();
  zoomNote_ = note;
  StPanel1->SetCaption(note);
  if (zoomNoteTimer_ == nullptr) {
    zoomNoteTimer_ = CreateComponent<TTimer>(this);
    zoomNoteTimer_->OnTimer = [this](TObject* sender) { ZoomNoteTimer(sender); };
  }
  zoomNoteTimer_->SetEnabled(false);
  zoomNoteTimer_->SetInterval(kZoomNoteMs);
  zoomNoteTimer_->SetEnabled(true);
}

void TForm1::ZoomNoteTimer(TObject*) {
  zoomNoteTimer_->SetEnabled(false);
  if (StPanel1->Caption() == zoomNote_) StPanel1->SetCaption(captionBeforeZoom_);
  zoomNote_.clear();
}

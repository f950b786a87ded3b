#include "skin/controls/sk_edit.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <utility>

#include "runtime/scope_exit.h"
#include "skin/menus/sk_menus.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"

namespace {

bool IsWordChar(wchar_t c) { return std::iswalnum(c) != 0 || c == L'_'; }

// The clipboard's Unicode text; empty when it holds none or cannot be
// opened.
std::wstring ClipboardText(HWND owner) {
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(owner)) return {};
  const TScopeExit close([] { CloseClipboard(); });
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (data == nullptr) return {};
  const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
  if (text == nullptr) return {};
  const TScopeExit unlock([data] { GlobalUnlock(data); });
  // The block may be larger than the text; the text ends at its NUL, and
  // never beyond the block.
  const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
  size_t length = 0;
  while (length < capacity && text[length] != L'\0') ++length;
  return std::wstring(text, length);
}

void SetClipboardText(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return;
  const TScopeExit close([] { CloseClipboard(); });
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (block == nullptr) return;
  auto* target = static_cast<wchar_t*>(GlobalLock(block));
  if (target == nullptr) {
    GlobalFree(block);
    return;
  }
  std::copy(text.begin(), text.end(), target);
  target[text.size()] = L'\0';
  GlobalUnlock(block);
  // The clipboard owns the block once it took it.
  if (SetClipboardData(CF_UNICODETEXT, block) == nullptr) GlobalFree(block);
}

}  // namespace

// ---- TSkEdit ----------------------------------------------------------------------

TSkEdit::TSkEdit(TComponent* owner) : TSkControl(owner) {
  SetControlStyle(ControlStyle() | csDoubleClicks);
  SetBounds(Left(), Top(), 121, 21);
  SetPerformance(qvpDoubleBuffer);
  SetBevelKind(kbkSingle);
  SetBevelWidth(1);
  SetBorderWidth(3);
  SetColor(clWindow);
  SetTabStop(true);
  fontOptions_.OnChange = [this] { FontOptionsChanged(); };
  // The base registered with the theme manager before this class existed:
  // a theme already current is taken now.
  if (ThemeOf(nullptr) != nullptr) ThemeChanged(tcSet);
  AdjustHeight();
}

TSkEdit::~TSkEdit() {
  // The remembered copy refers to this control's font, which goes now.
  ForgetFont(&Font());
  if (caretHeight_ != 0) DestroyCaret();
}

bool TSkEdit::ThemeDefinesEdit() const { return DefinesEditObject(0, ThemeObject(), ThemeLink()); }

uint8_t TSkEdit::ThemeState() const {
  if (!Enabled()) return 4;
  if (readOnly_) return 5;
  if (MouseInControl()) return 1;
  if (HasFocus()) return 2;
  return 0;
}

void TSkEdit::ChooseFont(TFont& font) const {
  if (ThemeDefinesEdit()) {
    if (TskTheme* theme = Theme()) {
      int index = fiEditBoxTextNormal;
      if (!Enabled()) {
        index = fiEditBoxTextDisabled;
      } else if (MouseInControl()) {
        index = fiEditBoxTextHot;
      } else if (HasFocus()) {
        index = fiEditBoxTextFocused;
      }
      font.Assign(theme->Fonts().FontFor(index, ThemeObject()));
      fontOptions_.ApplyTo(font);
      return;
    }
  }
  font.Assign(Font());
  // A theme font taken into Font() has its options applied already.
  if (!themeFont_) fontOptions_.ApplyTo(font);
}

void TSkEdit::TakeThemeFont() {
  TskTheme* theme = Theme();
  if (theme == nullptr) return;
  if (!themeFont_) RememberFont(&Font());
  themeFont_ = true;
  int index = fiEditBoxTextNormal;
  if (!Enabled()) {
    index = fiEditBoxTextDisabled;
  } else if (MouseInControl()) {
    index = fiEditBoxTextHot;
  } else if (HasFocus()) {
    index = fiEditBoxTextFocused;
  }
  TFont font;
  font.Assign(theme->Fonts().FontFor(index, ThemeObject()));
  fontOptions_.ApplyTo(font);
  Font().Assign(font);
}

void TSkEdit::DropThemeFont() {
  if (!themeFont_) return;
  themeFont_ = false;
  RestoreFont(&Font());
}

void TSkEdit::FontOptionsChanged() {
  if (themeFont_) TakeThemeFont();
  AdjustHeight();
  Invalidate();
  UpdateCaret();
}

void TSkEdit::ThemeChanged(TskThemeChange code) {
  switch (code) {
    case tcSet:
    case tcReplaced:
      if (ThemeDefinesEdit()) {
        TakeThemeFont();
      } else {
        DropThemeFont();
      }
      AdjustHeight();
      break;
    case tcRemoved:
      DropThemeFont();
      AdjustHeight();
      break;
    default:
      break;
  }
  Invalidate();
  UpdateCaret();
}

std::wstring TSkEdit::ApplyCharCase(std::wstring text) const {
  switch (charCase_) {
    case ecUpperCase:
      for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
      break;
    case ecLowerCase:
      for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
      break;
    case ecNormal:
      break;
  }
  return text;
}

std::wstring TSkEdit::DisplayText() const {
  switch (passwordKind_) {
    case pkStar:
      return std::wstring(Text().size(), L'*');
    case pkRound:
      return std::wstring(Text().size(), L'\x25CF');
    case pkNone:
      break;
  }
  return Text();
}

TSkEdit::TTextMeasure TSkEdit::Measure() const {
  TTextMeasure result;
  const std::wstring text = DisplayText();
  result.Stops.assign(text.size() + 1, 0);
  TFont font;
  ChooseFont(font);
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return result;
  const TScopeExit release([dc] { ReleaseDC(nullptr, dc); });
  const TSelectObject selectFont(dc, font.Handle());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  result.Height = metrics.tmHeight;
  if (!text.empty()) {
    SIZE size{};
    GetTextExtentExPointW(dc, text.c_str(), static_cast<int>(text.size()), 0, nullptr, result.Stops.data() + 1,
                          &size);
  }
  return result;
}

int TSkEdit::TextOrigin(const TTextMeasure& measure) const {
  const TRect content = ContentRect();
  const int room = static_cast<int>(RectWidth(content)) - 2;
  const int width = measure.Stops.back();
  if (width > room) return content.Left + 1 - scroll_;
  switch (textAlignment_) {
    case taRightJustify:
      return content.Right - 1 - width;
    case taCenter:
      return content.Left + 1 + (room - width) / 2;
    case taLeftJustify:
      break;
  }
  return content.Left + 1;
}

int TSkEdit::TextTop(const TTextMeasure& measure) const {
  const TRect content = ContentRect();
  return content.Top + (static_cast<int>(RectHeight(content)) - measure.Height) / 2;
}

int TSkEdit::CharAtX(int x) const {
  const TTextMeasure measure = Measure();
  const int origin = TextOrigin(measure);
  int best = 0;
  int bestDistance = std::abs(origin - x);
  for (size_t i = 1; i < measure.Stops.size(); ++i) {
    const int distance = std::abs(origin + measure.Stops[i] - x);
    if (distance < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = distance;
    }
  }
  return best;
}

void TSkEdit::ScrollToCaret() {
  const TTextMeasure measure = Measure();
  const int room = std::max(static_cast<int>(RectWidth(ContentRect())) - 2, 0);
  const int width = measure.Stops.back();
  if (width <= room) {
    scroll_ = 0;
    return;
  }
  const int caretX = measure.Stops[std::clamp(caret_, 0, static_cast<int>(measure.Stops.size()) - 1)];
  if (caretX - scroll_ < 0) scroll_ = caretX;
  if (caretX - scroll_ > room) scroll_ = caretX - room;
  scroll_ = std::clamp(scroll_, 0, width - room);
}

void TSkEdit::UpdateCaret() {
  // The text scrolls to the caret whether or not the caret is shown, so a
  // shorter text never stays scrolled out of view.
  ScrollToCaret();
  if (!HasFocus() || !HandleAllocated()) return;
  const TTextMeasure measure = Measure();
  const int height = std::max(measure.Height, 1);
  if (caretHeight_ != height) {
    if (caretHeight_ != 0) DestroyCaret();
    CreateCaret(Handle(), nullptr, 1, height);
    ShowCaret(Handle());
    caretHeight_ = height;
  }
  const int x = TextOrigin(measure) + measure.Stops[std::clamp(caret_, 0, static_cast<int>(measure.Stops.size()) - 1)];
  SetCaretPos(x, TextTop(measure));
}

void TSkEdit::AdjustHeight() {
  if (!autoSize_ || IsLoading() || IsDestroying()) return;
  TFont font;
  font.Assign(Font());
  if (!themeFont_) fontOptions_.ApplyTo(font);
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return;
  TEXTMETRICW metrics{};
  {
    const TSelectObject selectFont(dc, font.Handle());
    GetTextMetricsW(dc, &metrics);
  }
  ReleaseDC(nullptr, dc);
  // The frame keeps its thickness; the content takes one line.
  const int frame = Height() - static_cast<int>(RectHeight(ContentRect()));
  const int height = metrics.tmHeight + frame;
  if (height != Height()) SetHeight(height);
}

void TSkEdit::SetAutoSize(bool value) {
  if (autoSize_ == value) return;
  autoSize_ = value;
  AdjustHeight();
}

// ---- text and selection ---------------------------------------------------------------

void TSkEdit::SetText(std::wstring_view text) { TSkControl::SetText(ApplyCharCase(std::wstring(text))); }

void TSkEdit::StoreText(const std::wstring& text) {
  storing_ = true;
  const TScopeExit done([this] { storing_ = false; });
  TSkControl::SetText(text);
}

void TSkEdit::Change() {
  if (IsLoading()) return;
  if (OnChange) OnChange(this);
}

void TSkEdit::SetMaxLength(int value) { maxLength_ = std::max(value, 0); }

void TSkEdit::SetCharCase(TSkEditCharCase value) {
  if (charCase_ == value) return;
  charCase_ = value;
  if (charCase_ == ecNormal) return;
  const std::wstring converted = ApplyCharCase(Text());
  if (converted == Text()) return;
  // Same length: caret and selection stay; the old case cannot come back.
  undo_.clear();
  StoreText(converted);
}

void TSkEdit::SetPasswordKind(TSkPasswordKind value) {
  if (passwordKind_ == value) return;
  passwordKind_ = value;
  Invalidate();
  UpdateCaret();
}

void TSkEdit::SetReadOnly(bool value) {
  if (readOnly_ == value) return;
  readOnly_ = value;
  Invalidate();
}

void TSkEdit::SetTextAlignment(TAlignment value) {
  if (textAlignment_ == value) return;
  textAlignment_ = value;
  Invalidate();
  UpdateCaret();
}

void TSkEdit::SetHideSelection(bool value) {
  if (hideSelection_ == value) return;
  hideSelection_ = value;
  Invalidate();
}

int TSkEdit::SelStart() const { return std::min(anchor_, caret_); }
int TSkEdit::SelLength() const { return std::abs(caret_ - anchor_); }

void TSkEdit::SetSelStart(int value) {
  const int length = static_cast<int>(Text().size());
  anchor_ = caret_ = std::clamp(value, 0, length);
  Invalidate();
  UpdateCaret();
}

void TSkEdit::SetSelLength(int value) {
  const int length = static_cast<int>(Text().size());
  anchor_ = SelStart();
  caret_ = std::clamp(anchor_ + std::max(value, 0), 0, length);
  Invalidate();
  UpdateCaret();
}

std::wstring TSkEdit::SelText() const { return Text().substr(SelStart(), SelLength()); }

void TSkEdit::SetSelText(std::wstring_view text) { ReplaceSelection(text); }

void TSkEdit::SelectAll() {
  anchor_ = 0;
  caret_ = static_cast<int>(Text().size());
  Invalidate();
  UpdateCaret();
}

void TSkEdit::ClearSelection() {
  if (readOnly_) return;
  ReplaceSelection(L"");
}

void TSkEdit::MoveCaret(int position, bool extend) {
  caret_ = std::clamp(position, 0, static_cast<int>(Text().size()));
  if (!extend) anchor_ = caret_;
  Invalidate();
  UpdateCaret();
}

int TSkEdit::WordLeft(int from) const {
  const std::wstring& text = Text();
  int i = std::clamp(from, 0, static_cast<int>(text.size()));
  while (i > 0 && !IsWordChar(text[i - 1])) --i;
  while (i > 0 && IsWordChar(text[i - 1])) --i;
  return i;
}

int TSkEdit::WordRight(int from) const {
  const std::wstring& text = Text();
  const int length = static_cast<int>(text.size());
  int i = std::clamp(from, 0, length);
  while (i < length && IsWordChar(text[i])) ++i;
  while (i < length && !IsWordChar(text[i])) ++i;
  return i;
}

void TSkEdit::SelectWordAt(int position) {
  const std::wstring& text = Text();
  const int length = static_cast<int>(text.size());
  // A hidden text shows no words.
  if (passwordKind_ != pkNone) {
    SelectAll();
    return;
  }
  int i = position;
  if (i >= length || (!IsWordChar(text[i]) && i > 0 && IsWordChar(text[i - 1]))) --i;
  if (i < 0 || length == 0) return;
  const bool word = IsWordChar(text[i]);
  int start = i;
  while (start > 0 && IsWordChar(text[start - 1]) == word) --start;
  int end = i;
  while (end < length && IsWordChar(text[end]) == word) ++end;
  anchor_ = start;
  MoveCaret(end, true);
}

bool TSkEdit::ReplaceRange(int start, int count, std::wstring_view text) {
  const std::wstring& current = Text();
  const int length = static_cast<int>(current.size());
  start = std::clamp(start, 0, length);
  count = std::clamp(count, 0, length - start);
  std::wstring inserted = ApplyCharCase(std::wstring(text));
  if (maxLength_ > 0) {
    const int room = std::max(maxLength_ - (length - count), 0);
    if (static_cast<int>(inserted.size()) > room) inserted.resize(room);
  }
  if (count == 0 && inserted.empty()) return false;
  TEditAction action{start, current.substr(start, count), inserted, anchor_, caret_};
  std::wstring updated = current;
  updated.replace(start, count, inserted);
  undo_.push_back(std::move(action));
  anchor_ = caret_ = start + static_cast<int>(inserted.size());
  StoreText(updated);
  return true;
}

void TSkEdit::DeleteBackward() {
  if (readOnly_) return;
  if (SelLength() > 0) {
    ReplaceSelection(L"");
  } else if (caret_ > 0) {
    ReplaceRange(caret_ - 1, 1, L"");
  }
}

void TSkEdit::DeleteForward() {
  if (readOnly_) return;
  if (SelLength() > 0) {
    ReplaceSelection(L"");
  } else {
    ReplaceRange(caret_, 1, L"");
  }
}

void TSkEdit::Undo() {
  if (readOnly_ || undo_.empty()) return;
  const TEditAction action = std::move(undo_.back());
  undo_.pop_back();
  std::wstring text = Text();
  if (action.Position > static_cast<int>(text.size())) return;
  text.replace(action.Position, action.Inserted.size(), action.Removed);
  anchor_ = action.Anchor;
  caret_ = action.Caret;
  StoreText(text);
}

void TSkEdit::CopyToClipboard() {
  // A hidden text never leaves the edit.
  if (passwordKind_ != pkNone || SelLength() == 0) return;
  SetClipboardText(Handle(), SelText());
}

void TSkEdit::CutToClipboard() {
  if (readOnly_ || passwordKind_ != pkNone || SelLength() == 0) return;
  CopyToClipboard();
  ReplaceSelection(L"");
}

void TSkEdit::PasteFromClipboard() {
  if (readOnly_) return;
  std::wstring text = ClipboardText(Handle());
  // One line: what follows the first line break stays out.
  const size_t lineEnd = text.find_first_of(L"\r\n");
  if (lineEnd != std::wstring::npos) text.resize(lineEnd);
  if (text.empty()) return;
  ReplaceSelection(text);
}

// ---- input -----------------------------------------------------------------------------

void TSkEdit::KeyDown(WORD& key, TShiftState shift) {
  if (OnKeyDown) {
    OnKeyDown(this, key, shift);
    if (key == 0) return;
  }
  const bool ctrl = (shift & ssCtrl) != 0;
  const bool extend = (shift & ssShift) != 0;
  switch (key) {
    case VK_HOME:
      MoveCaret(0, extend);
      break;
    case VK_END:
      MoveCaret(static_cast<int>(Text().size()), extend);
      break;
    case VK_LEFT:
      if (ctrl) {
        MoveCaret(WordLeft(caret_), extend);
      } else if (!extend && SelLength() > 0) {
        MoveCaret(SelStart(), false);
      } else {
        MoveCaret(caret_ - 1, extend);
      }
      break;
    case VK_RIGHT:
      if (ctrl) {
        MoveCaret(WordRight(caret_), extend);
      } else if (!extend && SelLength() > 0) {
        MoveCaret(SelStart() + SelLength(), false);
      } else {
        MoveCaret(caret_ + 1, extend);
      }
      break;
    case VK_BACK:
      DeleteBackward();
      break;
    case VK_DELETE:
      if (extend) {
        CutToClipboard();
      } else {
        DeleteForward();
      }
      break;
    case VK_INSERT:
      if (ctrl) {
        CopyToClipboard();
      } else if (extend) {
        PasteFromClipboard();
      }
      break;
    default:
      if (!ctrl) break;
      switch (key) {
        case 'C': CopyToClipboard(); break;
        case 'X': CutToClipboard(); break;
        case 'V': PasteFromClipboard(); break;
        case 'Z': Undo(); break;
        case 'A': SelectAll(); break;
        default: break;
      }
      break;
  }
}

void TSkEdit::KeyPress(wchar_t& key) {
  if (OnKeyPress) {
    OnKeyPress(this, key);
    if (key == 0) return;
  }
  // Control characters (Backspace, Enter, Ctrl+letters) and the DEL that
  // Ctrl+Backspace types are commands, not text.
  if (key < 32 || key == 127 || readOnly_) return;
  ReplaceSelection(std::wstring(1, key));
}

void TSkEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (!HasFocus() && CanFocus()) {
      mouseFocus_ = true;
      const TScopeExit done([this] { mouseFocus_ = false; });
      SetFocus();
    }
    const int position = CharAtX(x);
    if (shift & ssDouble) {
      SelectWordAt(position);
    } else {
      MoveCaret(position, (shift & ssShift) != 0);
      selecting_ = true;
    }
  }
  TSkControl::MouseDown(button, shift, x, y);
}

void TSkEdit::MouseMove(TShiftState shift, int x, int y) {
  if (selecting_ && (shift & ssLeft)) MoveCaret(CharAtX(x), true);
  TSkControl::MouseMove(shift, x, y);
}

void TSkEdit::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) selecting_ = false;
  TSkControl::MouseUp(button, shift, x, y);
  if (button == mbRight) {
    const TPoint screen = ClientToScreen(TPoint{x, y});
    ShowContextMenu(screen.X, screen.Y);
  }
}

void TSkEdit::ShowContextMenu(int x, int y) {
  if (contextMenu_ == nullptr) {
    // Built at first use: most edits are never right-clicked.
    contextMenu_ = CreateComponent<TSkPopupMenu>(this);
    struct TEntry {
      const wchar_t* Caption;
      void (TSkEdit::*Command)();
    };
    static constexpr TEntry kEntries[] = {
        {L"Undo", &TSkEdit::Undo},         {L"-", nullptr},
        {L"Cut", &TSkEdit::CutToClipboard}, {L"Copy", &TSkEdit::CopyToClipboard},
        {L"Paste", &TSkEdit::PasteFromClipboard}, {L"Delete", &TSkEdit::ClearSelection},
        {L"-", nullptr},                   {L"Select All", &TSkEdit::SelectAll},
    };
    for (const TEntry& entry : kEntries) {
      auto* item = CreateComponent<TSkItem>(contextMenu_);
      item->SetCaption(entry.Caption);
      if (entry.Command != nullptr) {
        const auto command = entry.Command;
        item->OnClick = [this, command](TObject*) { (this->*command)(); };
      }
      contextMenu_->Items()->Add(item);
    }
  }
  const int length = static_cast<int>(Text().size());
  const bool selected = SelLength() > 0;
  const bool plain = passwordKind_ == pkNone;
  TSkItem* items = contextMenu_->Items();
  items->Items(0)->SetEnabled(CanUndo() && !readOnly_);
  items->Items(2)->SetEnabled(selected && plain && !readOnly_);
  items->Items(3)->SetEnabled(selected && plain);
  items->Items(4)->SetEnabled(IsClipboardFormatAvailable(CF_UNICODETEXT) && !readOnly_);
  items->Items(5)->SetEnabled(selected && !readOnly_);
  items->Items(7)->SetEnabled(SelLength() < length);
  contextMenu_->PopupMenuOptions().Assign(contextMenuOptions_);
  contextMenu_->Popup(x, y);
}

void TSkEdit::FocusChanged(bool focused) {
  TSkControl::FocusChanged(focused);
  if (focused) {
    // Tabbing into the edit selects its text; a click places the caret.
    if (autoSelect_ && !mouseFocus_) {
      SelectAll();
    } else {
      UpdateCaret();
    }
    return;
  }
  selecting_ = false;
  if (caretHeight_ != 0) {
    DestroyCaret();
    caretHeight_ = 0;
  }
}

void TSkEdit::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_GETDLGCODE:
      message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
      return;
    case WM_SETCURSOR:
      if (LOWORD(message.LParam) == HTCLIENT) {
        SetCursor(LoadCursor(nullptr, IDC_IBEAM));
        message.Result = TRUE;
        return;
      }
      break;
    case WM_CUT:
      CutToClipboard();
      return;
    case WM_COPY:
      CopyToClipboard();
      return;
    case WM_PASTE:
      PasteFromClipboard();
      return;
    case WM_UNDO: {
      const bool could = CanUndo() && !readOnly_;
      Undo();
      message.Result = could ? TRUE : FALSE;
      return;
    }
    case WM_CLEAR:
      ClearSelection();
      return;
    default:
      break;
  }
  TSkControl::WndProc(message);
  switch (message.Msg) {
    case CM_TEXTCHANGED: {
      if (!storing_) {
        // A text set as a whole starts afresh.
        undo_.clear();
        anchor_ = caret_ = 0;
      }
      const int length = static_cast<int>(Text().size());
      anchor_ = std::clamp(anchor_, 0, length);
      caret_ = std::clamp(caret_, 0, length);
      Invalidate();
      UpdateCaret();
      Change();
      break;
    }
    case CM_FONTCHANGED:
      AdjustHeight();
      UpdateCaret();
      break;
    case CM_ENABLEDCHANGED:
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
      // The state's font may differ in width.
      UpdateCaret();
      break;
    default:
      break;
  }
}

void TSkEdit::BoundsChanged(bool sizeChanged) {
  TSkControl::BoundsChanged(sizeChanged);
  if (sizeChanged) UpdateCaret();
}

void TSkEdit::HandleCreated() {
  TSkControl::HandleCreated();
  AdjustHeight();
}

void TSkEdit::Loaded() {
  TSkControl::Loaded();
  AdjustHeight();
}

// ---- painting ------------------------------------------------------------------------

void TSkEdit::PaintFrame(TCanvas& canvas) {
  // The theme's edit element paints frame and background in one piece
  // (PaintContent).
  if (ThemeDefinesEdit() && Theme() != nullptr) return;
  TSkControl::PaintFrame(canvas);
}

void TSkEdit::PaintContent(TCanvas& canvas) {
  HDC dc = canvas.Handle();
  const TRect bounds{0, 0, Width(), Height()};
  const TRect content = ContentRect();
  TskTheme* theme = ThemeDefinesEdit() ? Theme() : nullptr;
  if (theme != nullptr) {
    if (theme->EditTransparent(0, ThemeObject())) PaintParentBackground(this, dc);
    theme->PaintEdit(0, canvas, ThemeObject(), MakeStateRecord(bounds, ThemeState()));
  } else {
    FillRectColor(dc, content, Color());
  }

  const TTextMeasure measure = Measure();
  const std::wstring text = DisplayText();
  const int origin = TextOrigin(measure);
  const int top = TextTop(measure);
  const TSavedDC saved(dc);
  IntersectClipRect(dc, content.Left, content.Top, content.Right, content.Bottom);
  ChooseFont(canvas.Font());
  if (theme == nullptr && !Enabled()) canvas.Font().SetColor(clGrayText);
  canvas.Brush().SetStyle(bsClear);
  canvas.TextOut(origin, top, text);

  const bool showSelection = SelLength() > 0 && (HasFocus() || !hideSelection_);
  if (!showSelection) return;
  const int last = static_cast<int>(measure.Stops.size()) - 1;
  const int from = std::clamp(SelStart(), 0, last);
  const int to = std::clamp(SelStart() + SelLength(), 0, last);
  const TRect selection{origin + measure.Stops[from], top, origin + measure.Stops[to], top + measure.Height};
  const TSavedDC selectionClip(dc);
  IntersectClipRect(dc, selection.Left, selection.Top, selection.Right, selection.Bottom);
  if (theme != nullptr) {
    theme->PaintEdit(0, canvas, ThemeObject(), MakeStateRecord(selection, 6));
    canvas.Font().Assign(theme->Fonts().FontFor(fiEditBoxTextSelected, ThemeObject()));
    fontOptions_.ApplyTo(canvas.Font());
  } else {
    FillRectColor(dc, selection, clHighlight);
    canvas.Font().SetColor(clHighlightText);
  }
  canvas.Brush().SetStyle(bsClear);
  canvas.TextOut(origin, top, text);
}

// ---- TSkBoundLabel -----------------------------------------------------------------

TSkBoundLabel::TSkBoundLabel(TComponent* owner) : TSkLabel(owner) {}

void TSkBoundLabel::BoundsChanged(bool sizeChanged) {
  TSkLabel::BoundsChanged(sizeChanged);
  if (!sizeChanged) return;
  if (auto* edit = dynamic_cast<TSkCustomLabeledEdit*>(Owner())) edit->PlaceLabel();
}

// ---- TSkCustomLabeledEdit ------------------------------------------------------------

TSkCustomLabeledEdit::TSkCustomLabeledEdit(TComponent* owner) : TSkEdit(owner) {
  editLabel_ = CreateComponent<TSkBoundLabel>(this);
  editLabel_->SetName("SubLabel");
  editLabel_->SetFocusControl(this);
}

TSkCustomLabeledEdit::~TSkCustomLabeledEdit() { delete std::exchange(editLabel_, nullptr); }

void TSkCustomLabeledEdit::Notification(TComponent* component, TOperation operation) {
  TSkEdit::Notification(component, operation);
  if (operation == opRemove && component == editLabel_) editLabel_ = nullptr;
}

void TSkCustomLabeledEdit::SetLabelPosition(TSkLabelPosition value) {
  labelPosition_ = value;
  PlaceLabel();
}

void TSkCustomLabeledEdit::SetLabelSpacing(int value) {
  labelSpacing_ = value;
  PlaceLabel();
}

void TSkCustomLabeledEdit::SetParent(TWinControl* parent) {
  TSkEdit::SetParent(parent);
  if (editLabel_ == nullptr) return;
  editLabel_->SetParent(parent);
  PlaceLabel();
}

void TSkCustomLabeledEdit::SetBounds(int left, int top, int width, int height) {
  TSkEdit::SetBounds(left, top, width, height);
  PlaceLabel();
}

void TSkCustomLabeledEdit::SetVisible(bool visible) {
  TSkEdit::SetVisible(visible);
  if (editLabel_ != nullptr) editLabel_->SetVisible(visible);
}

void TSkCustomLabeledEdit::SetEnabled(bool enabled) {
  TSkEdit::SetEnabled(enabled);
  if (editLabel_ != nullptr) editLabel_->SetEnabled(enabled);
}

void TSkCustomLabeledEdit::PlaceLabel() {
  if (editLabel_ == nullptr || placing_) return;
  placing_ = true;
  const TScopeExit done([this] { placing_ = false; });
  const int width = editLabel_->Width();
  const int height = editLabel_->Height();
  int x = Left();
  int y = Top();
  // Halves are taken toward zero, as integer division does.
  switch (labelPosition_) {
    case lpAbove:
      y = Top() - height - labelSpacing_;
      break;
    case lpBelow:
      y = Top() + Height() + labelSpacing_;
      break;
    case lpLeft:
      x = Left() - width - labelSpacing_;
      y = Top() + (Height() - height) / 2;
      break;
    case lpRight:
      x = Left() + Width() + labelSpacing_;
      y = Top() + (Height() - height) / 2;
      break;
  }
  editLabel_->SetBounds(x, y, width, height);
}

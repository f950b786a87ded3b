#include "skin/menus/sk_menu_views.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "forms/forms.h"
#include "forms/forms_internal.h"
#include "runtime/scope_exit.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"

namespace {

constexpr UINT_PTR kScrollTimerId = 1;
constexpr int kRestStep = 50;       // ms per tick of the loop's thread timer
constexpr int kRestOpen = 500;      // resting this long opens the selected submenu
constexpr int kScrollInterval = 100;
constexpr int kArrowBand = 10;      // height of a scrolled pop-up's arrow bands
constexpr int kImageColumn = 22;
constexpr int kSeparatorHeight = 15;

// Capture shared by nested loops: the outermost loop takes it.
int captureCount = 0;
HWND captureWindow = nullptr;
TSkItemView* innermost = nullptr;

// The window the open menus belong to, as the outermost loop found it. The
// menus end when it goes away, is hidden (closed or released), moves or
// changes its size: they would otherwise stay on the screen over nothing,
// or away from the window they were opened for, holding the mouse.
struct TOwnerWatch {
  HWND Window = nullptr;
  bool Visible = false;
  RECT Bounds{};
};
TOwnerWatch ownerWatch;

bool OwnerChanged() {
  HWND owner = ownerWatch.Window;
  if (owner == nullptr) return false;
  if (!IsWindow(owner)) return true;
  if (ownerWatch.Visible && !IsWindowVisible(owner)) return true;
  RECT now{};
  GetWindowRect(owner, &now);
  return !EqualRect(&now, &ownerWatch.Bounds);
}

// The press that closed the menus, as it was handed on (see RedeliverPress).
struct TRedeliveredPress {
  HWND Window = nullptr;
  UINT Message = 0;
  LPARAM LParam = 0;
  DWORD Time = 0;
};
TRedeliveredPress redelivered;

// A press outside every menu ends them; it then goes on to the window under
// the pointer, as it would have without the menus: while they held the
// mouse it was addressed to their own window. Only windows of this process
// are given it; a real press activates the window it lands on unless that
// window declines.
void RedeliverPress(const MSG& press, POINT screen) {
  HWND target = WindowFromPoint(screen);
  if (target == nullptr) return;
  DWORD process = 0;
  GetWindowThreadProcessId(target, &process);
  if (process != GetCurrentProcessId()) return;
  wchar_t className[32] = {};
  GetClassNameW(target, className, static_cast<int>(std::size(className)));
  if (std::wstring_view(className) == L"TSkPopupWindow") return;  // a closing pop-up's shadow band
  const LRESULT hit = SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
  if (hit == HTNOWHERE || hit == HTERROR || hit == HTTRANSPARENT) return;
  HWND root = GetAncestor(target, GA_ROOT);
  const LRESULT activate = SendMessageW(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root),
                                        MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(press.message)));
  if ((activate == MA_ACTIVATE || activate == MA_ACTIVATEANDEAT) && GetActiveWindow() != root) SetActiveWindow(root);
  if (activate == MA_ACTIVATEANDEAT || activate == MA_NOACTIVATEANDEAT) return;
  const bool left = press.message == WM_LBUTTONDOWN;
  MSG out{};
  if (hit == HTCLIENT) {
    POINT client = screen;
    ScreenToClient(target, &client);
    out = MSG{target, press.message, press.wParam, MAKELPARAM(static_cast<WORD>(client.x), static_cast<WORD>(client.y))};
  } else {
    out = MSG{target, static_cast<UINT>(left ? WM_NCLBUTTONDOWN : WM_NCRBUTTONDOWN), static_cast<WPARAM>(hit),
              MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y))};
  }
  redelivered = TRedeliveredPress{out.hwnd, out.message, out.lParam, press.time};
  PostMessageW(out.hwnd, out.message, out.wParam, out.lParam);
}

POINT ScreenPointOf(const MSG& message) {
  POINT point{static_cast<short>(LOWORD(message.lParam)), static_cast<short>(HIWORD(message.lParam))};
  if (message.hwnd != nullptr) ClientToScreen(message.hwnd, &point);
  return point;
}

POINT ToClient(HWND window, POINT screen) {
  ScreenToClient(window, &screen);
  return screen;
}

bool IsDoubleClick(UINT msg) {
  return msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK;
}

void PostKey(HWND window, WORD key) { PostMessageW(window, WM_KEYDOWN, key, 1); }

std::wstring StripAccelerator(const std::wstring& caption) {
  std::wstring text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
    text += caption[i];
  }
  return text;
}

}  // namespace

bool SkRedeliveredPress(HWND window, UINT msg, LPARAM lParam, DWORD& time) {
  if (redelivered.Window != window || redelivered.Message != msg || redelivered.LParam != lParam) return false;
  time = redelivered.Time;
  redelivered = TRedeliveredPress{};
  return true;
}

TFont& MenuFont() {
  static TFont font;
  static const bool initialised = [] {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
      font.SetName(metrics.lfMenuFont.lfFaceName);
      font.SetHeight(metrics.lfMenuFont.lfHeight);
    }
    font.SetColor(clMenuText);
    return true;
  }();
  (void)initialised;
  return font;
}

int MenuItemHeight() { return std::max(GetSystemMetrics(SM_CYMENU), 16); }

// ---- TSkItemView -----------------------------------------------------------

TSkItemView::TSkItemView(TSkItem* item, bool horizontal) : item_(item), horizontal_(horizontal) {}

TSkItemView::~TSkItemView() {
  StopScrollTimer();
  if (innermost == this) innermost = outerInnermost_;
}

TSkItemView* TSkItemView::Innermost() { return innermost; }

HWND TSkItemView::MenusOwner() const {
  const TSkItemView* outer = this;
  while (outer->parentView_ != nullptr) outer = outer->parentView_;
  if (outer->horizontal_) return outer->Window() != nullptr ? GetAncestor(outer->Window(), GA_ROOT) : nullptr;
  return outer->item_->Root()->OwnerWindow;
}

bool TSkItemView::IsScrolledView() const { return !horizontal_ && item_->Scrolled() && item_->ScrollCount() > 0; }

bool TSkItemView::ThemeDefinesMenu() const { return DefinesMenuObject(Kind(), item_->ThemeObject, nullptr); }

void TSkItemView::ChooseFont(TCanvas& canvas, TSkItem* child, bool selected) {
  if (ThemeDefinesMenu()) {
    int index = horizontal_ ? fiMenuItemTextNormal : fiPopupMenuItemTextNormal;
    if (child != nullptr && !child->Enabled()) {
      index = horizontal_ ? fiMenuItemTextDisabled : fiPopupMenuItemTextDisabled;
    } else if (selected) {
      index = horizontal_ ? fiMenuItemTextSelected : fiPopupMenuItemTextSelected;
    }
    canvas.Font().Assign(ThemeOf(nullptr)->Fonts().FontFor(index, item_->ThemeObject));
  } else {
    canvas.Font().Assign(MenuFont());
    canvas.Font().SetColor(selected ? clHighlightText : clMenuText);
  }
}

TSize TSkItemView::MeasureItem(TCanvas& canvas, TSkItem* child) {
  TImageList* images = child->EffectiveImages();
  const bool hasImage = images != nullptr && child->ImageIndex() >= 0;
  const int imageColumn = images != nullptr && images->Width() > MenuItemHeight() ? images->Width() + 6 : kImageColumn;
  ChooseFont(canvas, child, false);
  const int textWidth = canvas.TextWidth(StripAccelerator(child->Caption()));
  int height = MenuItemHeight();
  if (images != nullptr) height = std::max(height, images->Height());
  if (horizontal_) return TSize{textWidth + 12 + (hasImage ? imageColumn : 0), height};
  if (child->IsSeparator()) return TSize{textWidth + imageColumn + 42, kSeparatorHeight};
  const std::wstring shortCut = ShortCutToText(child->ShortCut());
  const int shortCutWidth = shortCut.empty() ? 0 : canvas.TextWidth(shortCut);
  return TSize{textWidth + imageColumn + 42 + shortCutWidth, height};
}

void TSkItemView::Layout() {
  HDC screen = GetDC(nullptr);
  const TScopeExit releaseScreen([screen] { ReleaseDC(nullptr, screen); });
  TSkBorrowedCanvas canvas(screen);
  for (int i = 0; i < item_->Count(); ++i) item_->Items(i)->ItemRect = TRect{0, 0, 0, 0};
  std::vector<std::pair<TSkItem*, TSize>> shown;
  const int count = item_->Count();
  const bool scrolled = IsScrolledView();
  if (scrolled) item_->FirstVisible = std::clamp(item_->FirstVisible, 0, std::max(0, count - 1));
  for (int i = scrolled ? item_->FirstVisible : 0; i < count; ++i) {
    TSkItem* child = item_->Items(i);
    if (!child->Visible()) continue;
    if (scrolled && static_cast<int>(shown.size()) >= item_->ScrollCount()) break;
    shown.emplace_back(child, MeasureItem(canvas, child));
  }
  int across = 0;  // widest (pop-up) or highest (bar)
  for (auto& [child, size] : shown) across = std::max(across, horizontal_ ? size.Height : size.Width);
  int position = horizontal_ ? origin_.X : origin_.Y + (scrolled ? kArrowBand : 0);
  for (auto& [child, size] : shown) {
    if (horizontal_) {
      child->ItemRect = TRect{position, origin_.Y, position + size.Width, origin_.Y + across};
      position += size.Width;
    } else {
      child->ItemRect = TRect{origin_.X, position, origin_.X + across, position + size.Height};
      position += size.Height;
    }
  }
  if (horizontal_) {
    contentSize_ = TSize{position - origin_.X, across};
  } else {
    contentSize_ = TSize{across, position - origin_.Y + (scrolled ? kArrowBand : 0)};
  }
  ApplyContentSize(contentSize_);
}

TSkItem* TSkItemView::ItemAt(POINT clientPoint) const {
  for (int i = 0; i < item_->Count(); ++i) {
    TSkItem* child = item_->Items(i);
    if (child->Visible() && !IsRectEmpty(child->ItemRect) &&
        PointInRect(child->ItemRect, clientPoint.x, clientPoint.y)) {
      return child;
    }
  }
  return nullptr;
}

int TSkItemView::ScrollBandAt(POINT clientPoint) const {
  if (!IsScrolledView()) return 0;
  const int top = origin_.Y;
  const int bottom = origin_.Y + contentSize_.Height;
  if (clientPoint.x < origin_.X || clientPoint.x >= origin_.X + contentSize_.Width) return 0;
  if (clientPoint.y >= top && clientPoint.y < top + kArrowBand) return 1;
  if (clientPoint.y >= bottom - kArrowBand && clientPoint.y < bottom) return 2;
  return 0;
}

void TSkItemView::RepaintAll() {
  if (Window() != nullptr) InvalidateRect(Window(), nullptr, FALSE);
}

void TSkItemView::RepaintItem(TSkItem* item) {
  if (item == nullptr || Window() == nullptr) return;
  if (IsRectEmpty(item->ItemRect)) return;
  const RECT rect = ToRECT(item->ItemRect);
  InvalidateRect(Window(), &rect, FALSE);
}

void TSkItemView::RepaintScrollArrow(int arrow) {
  if (Window() == nullptr || arrow == 0) return;
  const int top = arrow == 1 ? origin_.Y : origin_.Y + contentSize_.Height - kArrowBand;
  const RECT rect{origin_.X, top, origin_.X + contentSize_.Width, top + kArrowBand};
  InvalidateRect(Window(), &rect, FALSE);
}

void TSkItemView::Select(TSkItem* item) {
  if (selected_ == item) return;
  TSkItem* previous = selected_;
  selected_ = item;
  RepaintItem(previous);
  RepaintItem(item);
}

void TSkItemView::FollowSelection(int index, bool forward, bool wrapped) {
  if (!IsScrolledView()) return;
  const int count = item_->Count();
  const int window = item_->ScrollCount();
  const int first = item_->FirstVisible;
  int newFirst = first;
  if (forward) {
    if (index == 0) {
      newFirst = 0;
    } else if (index >= first + window) {
      newFirst = index - window + 1;
    }
  } else if (wrapped) {
    newFirst = std::max(0, count - window);
  } else if (index < first) {
    newFirst = index;
  }
  if (newFirst != first) {
    item_->FirstVisible = newFirst;
    Layout();
    RepaintAll();
  }
}

void TSkItemView::SelectNext() { MoveSelection(true); }
void TSkItemView::SelectPrevious() { MoveSelection(false); }

void TSkItemView::MoveSelection(bool forward) {
  const int count = item_->Count();
  if (count == 0) return;
  const int start = selected_ != nullptr ? item_->IndexOf(selected_) : forward ? -1 : count;
  int index = start;
  // At most one full round: a menu with nothing selectable keeps its
  // selection instead of spinning.
  for (int step = 0; step < count; ++step) {
    index = forward ? (index + 1) % count : (index - 1 + count) % count;
    TSkItem* candidate = item_->Items(index);
    if (!candidate->Visible() || candidate->IsSeparator()) continue;
    // The only choice is the selection itself: a submenu closed on the way
    // (Left or Right from the bar's single menu) still opens again.
    if (candidate != selected_) {
      FollowSelection(index, forward, forward ? index <= start : index >= start);
      Select(candidate);
    }
    if (submenuOpen_ || reopen_) {
      reopen_ = false;
      OpenSelected();
    }
    return;
  }
}

void TSkItemView::OpenSelected() {
  TSkItem* selected = selected_;
  if (selected == nullptr || !selected->Enabled() || selected->Count() == 0 || scrollTimer_) return;
  if (Window() == nullptr) return;
  POINT corner = horizontal_ ? POINT{selected->ItemRect.Left, selected->ItemRect.Bottom}
                             : POINT{selected->ItemRect.Right, selected->ItemRect.Top};
  ClientToScreen(Window(), &corner);
  POINT topLeft{selected->ItemRect.Left, selected->ItemRect.Top};
  POINT bottomRight{selected->ItemRect.Right, selected->ItemRect.Bottom};
  ClientToScreen(Window(), &topLeft);
  ClientToScreen(Window(), &bottomRight);
  submenuOpen_ = true;
  reopen_ = false;
  RepaintItem(selected);
  selected->PopupSubmenu(this, corner.x, corner.y, TRect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y});
  // A child that passed Left or Right here asks the next selection to open.
  submenuOpen_ = false;
  RepaintItem(selected_);
}

void TSkItemView::LeaveLoop() {
  inLoop_ = false;
  Select(nullptr);
  RepaintAll();
}

void TSkItemView::LeaveAllLoops() {
  for (TSkItemView* view = this; view != nullptr; view = view->parentView_) view->LeaveLoop();
}

void TSkItemView::Escape() {
  if (childView_ != nullptr) childView_->LeaveLoop();
  Select(nullptr);
  RepaintAll();
  inLoop_ = false;
}

void TSkItemView::StartScrollTimer(int arrow) {
  if (scrollArrow_ != arrow) {
    RepaintScrollArrow(scrollArrow_);
    scrollArrow_ = arrow;
    RepaintScrollArrow(arrow);
  }
  if (!scrollTimer_ && Window() != nullptr) {
    SetTimer(Window(), kScrollTimerId, kScrollInterval, nullptr);
    scrollTimer_ = true;
  }
}

void TSkItemView::StopScrollTimer() {
  if (scrollTimer_ && Window() != nullptr) KillTimer(Window(), kScrollTimerId);
  scrollTimer_ = false;
  if (scrollArrow_ != 0) {
    RepaintScrollArrow(scrollArrow_);
    scrollArrow_ = 0;
  }
}

void TSkItemView::ScrollTick() {
  const int count = item_->Count();
  const int window = item_->ScrollCount();
  if (scrollArrow_ == 1 && item_->FirstVisible > 0) {
    item_->FirstVisible -= 1;
  } else if (scrollArrow_ == 2 && item_->FirstVisible + window < count) {
    item_->FirstVisible += 1;
  } else {
    return;
  }
  const int index = scrollArrow_ == 1 ? item_->FirstVisible : item_->FirstVisible + window - 1;
  Layout();
  Select(item_->Items(std::clamp(index, 0, count - 1)));
  RepaintAll();
}

bool TSkItemView::PointOnSelectedOfChain(POINT screen) const {
  for (const TSkItemView* view = this; view != nullptr; view = view->parentView_) {
    if (view->selected_ == nullptr || view->Window() == nullptr) continue;
    const POINT client = ToClient(view->Window(), screen);
    if (PointInRect(view->selected_->ItemRect, client.x, client.y)) return true;
  }
  return false;
}

bool TSkItemView::Covers(POINT screen) const {
  RECT area{};
  return Window() != nullptr && GetWindowRect(Window(), &area) && PtInRect(&area, screen);
}

bool TSkItemView::PointInChainWindows(POINT screen) const {
  for (const TSkItemView* view = this; view != nullptr; view = view->parentView_) {
    if (view->Covers(screen)) return true;
  }
  return false;
}

bool TSkItemView::HandleMouseMove(POINT screen) {
  rest_ = 0;
  if (screen.x == lastMove_.x && screen.y == lastMove_.y) return true;
  lastMove_ = screen;
  if (Covers(screen)) {
    const POINT client = ToClient(Window(), screen);
    const int band = ScrollBandAt(client);
    if (band != 0) {
      StartScrollTimer(band);
      return true;
    }
    StopScrollTimer();
    if (TSkItem* hit = ItemAt(client)) Select(hit);
    return true;
  }
  StopScrollTimer();
  // Outside: from the outermost view down, the item under the pointer is
  // selected in each; the first other view whose selection changed takes
  // over, and the views from this one up to it close.
  std::vector<TSkItemView*> chain;
  for (TSkItemView* view = this; view != nullptr; view = view->parentView_) chain.insert(chain.begin(), view);
  for (TSkItemView* view : chain) {
    if (view == this || !view->Covers(screen)) continue;
    TSkItem* hit = view->ItemAt(ToClient(view->Window(), screen));
    if (hit == nullptr || hit == view->selected_) continue;
    view->Select(hit);
    for (TSkItemView* closing = this; closing != view; closing = closing->parentView_) closing->Escape();
    PostMessageW(view->Window(), kSkOpenSubmenuMessage, 0, 0);
    return false;
  }
  return true;
}

bool TSkItemView::HandleButton(const MSG& message, bool release, bool& remove) {
  const POINT screen = ScreenPointOf(message);
  remove = true;
  if (Window() != nullptr) {
    if (Covers(screen)) {
      TSkItem* hit = ItemAt(ToClient(Window(), screen));
      if (hit != nullptr) Select(hit);
      // The release carries out the item; the press only selects it, so a
      // click never activates an item twice.
      if (release && hit != nullptr && message.message == WM_LBUTTONUP) PostKey(Window(), VK_RETURN);
      return true;
    }
  }
  if (PointOnSelectedOfChain(screen) || PointInChainWindows(screen)) return true;
  // Outside every menu: all menus close. A press the capture brought to the
  // menus' window goes on to the window under the pointer; one addressed to
  // a window of its own stays queued for it.
  remove = false;
  LeaveAllLoops();
  if (!release && message.hwnd == captureWindow) {
    MSG taken{};
    PeekMessageW(&taken, message.hwnd, message.message, message.message, PM_REMOVE);
    RedeliverPress(message, screen);
  }
  return false;
}

void TSkItemView::HandleChar(wchar_t character) {
  const wchar_t upper = static_cast<wchar_t>(reinterpret_cast<uintptr_t>(
      CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(static_cast<unsigned short>(character))))));
  for (int i = 0; i < item_->Count(); ++i) {
    TSkItem* child = item_->Items(i);
    if (!child->Visible() || child->Accelerator() == 0 || child->Accelerator() != upper) continue;
    Select(child);
    if (Window() != nullptr) PostKey(Window(), VK_RETURN);
    return;
  }
}

TSkItemView::TKeyResult TSkItemView::HandleKey(WORD key) {
  switch (key) {
    case VK_TAB:
    case VK_SPACE: return TKeyResult::Continue;
    case VK_RETURN: {
      TSkItem* selected = selected_;
      if (selected == nullptr) return TKeyResult::Continue;
      if (selected->Count() > 0) {
        OpenSelected();
        return inLoop_ ? TKeyResult::Continue : TKeyResult::EndLoop;
      }
      if (selected->IsSeparator() || !selected->Enabled()) return TKeyResult::Continue;
      selected->Click();
      LeaveAllLoops();
      return TKeyResult::EndLoop;
    }
    case VK_MENU:
    case VK_F10: LeaveAllLoops(); return TKeyResult::EndLoop;
    case VK_ESCAPE: Escape(); return TKeyResult::EndLoop;
    case VK_LEFT:
      if (horizontal_) {
        SelectPrevious();
      } else if (parentView_ != nullptr && parentView_->horizontal_) {
        parentView_->reopen_ = true;
        PostKey(parentView_->Window(), VK_LEFT);
        Escape();
        return TKeyResult::EndLoop;
      } else if (parentView_ != nullptr) {
        Escape();
        return TKeyResult::EndLoop;
      }
      return TKeyResult::Continue;
    case VK_UP:
      if (!horizontal_) SelectPrevious();
      return TKeyResult::Continue;
    case VK_RIGHT:
      if (horizontal_) {
        SelectNext();
      } else if (selected_ != nullptr && selected_->Count() > 0 && selected_->Enabled()) {
        OpenSelected();
      } else if (parentView_ != nullptr) {
        TSkItemView* bar = parentView_;
        while (bar != nullptr && !bar->horizontal_) bar = bar->parentView_;
        if (bar != nullptr && parentView_ == bar) {
          bar->reopen_ = true;
          PostKey(bar->Window(), VK_RIGHT);
        }
        Escape();
        return TKeyResult::EndLoop;
      }
      return TKeyResult::Continue;
    case VK_DOWN:
      if (horizontal_) {
        OpenSelected();
      } else {
        SelectNext();
      }
      return inLoop_ ? TKeyResult::Continue : TKeyResult::EndLoop;
    default: return TKeyResult::Continue;
  }
}

void TSkItemView::Track() {
  if (inLoop_) return;
  inLoop_ = true;
  outerInnermost_ = innermost;
  innermost = this;
  rest_ = 0;
  lastMove_ = POINT{-1000000, -1000000};
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  const UINT_PTR timer = SetTimer(nullptr, 0, kRestStep, nullptr);
  if (selected_ == nullptr && !horizontal_ && item_->Count() > 0) {
    const int first = std::clamp(item_->FirstVisible, 0, item_->Count() - 1);
    TSkItem* start = item_->Items(first);
    if (start->Visible() && !start->IsSeparator()) {
      Select(start);
    } else {
      SelectNext();
    }
  }
  POINT cursor{};
  if (Window() != nullptr && GetCursorPos(&cursor)) {
    if (Covers(cursor)) {
      if (TSkItem* hit = ItemAt(ToClient(Window(), cursor))) Select(hit);
    }
    lastMove_ = cursor;
  }
  if (captureCount == 0) {
    captureWindow = Window();
    SetCapture(captureWindow);
    ownerWatch = TOwnerWatch{MenusOwner()};
    if (ownerWatch.Window != nullptr) {
      ownerWatch.Visible = IsWindowVisible(ownerWatch.Window) != FALSE;
      GetWindowRect(ownerWatch.Window, &ownerWatch.Bounds);
    }
  }
  ++captureCount;
  const TScopeExit leave([this, timer] {
    KillTimer(nullptr, timer);
    StopScrollTimer();
    if (parentView_ != nullptr) parentView_->RepaintAll();
    inLoop_ = false;
    innermost = outerInnermost_;
    if (--captureCount == 0) {
      if (GetCapture() == captureWindow) ReleaseCapture();
      captureWindow = nullptr;
      ownerWatch = TOwnerWatch{};
    }
  });

  POINT restPoint = cursor;
  bool found = true;
  while (inLoop_ && GetCapture() == captureWindow && captureWindow != nullptr) {
    if (OwnerChanged()) {
      LeaveAllLoops();
      break;
    }
    if (!found) WaitMessage();
    MSG message{};
    found = PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
    if (!found) continue;
    const UINT msg = message.message;
    if (msg == WM_QUIT || (msg >= WM_NCMOUSEMOVE && msg <= WM_NCMBUTTONDBLCLK)) {
      LeaveAllLoops();
      break;
    }
    // The window the menus belong to is being released (closed while it
    // was hidden, in the notification area): the menus end first, and the
    // release waits in the queue until they have.
    if (msg == CM_RELEASE && ownerWatch.Window != nullptr &&
        (message.hwnd == ownerWatch.Window || GetAncestor(message.hwnd, GA_ROOT) == ownerWatch.Window)) {
      LeaveAllLoops();
      break;
    }
    if (msg == WM_TIMER && message.hwnd == nullptr && message.wParam == timer) {
      PeekMessageW(&message, nullptr, msg, msg, PM_REMOVE);
      POINT now{};
      GetCursorPos(&now);
      if (now.x != restPoint.x || now.y != restPoint.y) {
        restPoint = now;
        rest_ = 0;
        continue;
      }
      rest_ += kRestStep;
      // Resting on an entry opens its submenu: a pop-up's, and the bar's
      // after Escape closed the menu below it.
      if (rest_ == kRestOpen && Covers(now)) PostMessageW(Window(), kSkOpenSubmenuMessage, 0, 0);
      continue;
    }
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN) {
      bool remove = true;
      if (!HandleButton(message, false, remove)) break;
      PeekMessageW(&message, nullptr, msg, msg, PM_REMOVE);
      continue;
    }
    // Removed by its window and kind: a message posted meanwhile (another
    // thread's, say) must not come out in its place, unhandled and lost.
    if (!PeekMessageW(&message, message.hwnd, msg, msg, PM_REMOVE)) {
      // Its window went away in between: the queue moves on all the same.
      if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      continue;
    }
    if (msg == WM_CONTEXTMENU || IsDoubleClick(msg) || msg == WM_MBUTTONDOWN) continue;
    if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
      if (GetKeyState(VK_LBUTTON) < 0) continue;
      const auto key = static_cast<WORD>(message.wParam);
      switch (key) {
        case VK_TAB: case VK_SPACE: case VK_RETURN: case VK_MENU: case VK_F10: case VK_ESCAPE:
        case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
          if (HandleKey(key) == TKeyResult::EndLoop) inLoop_ = false;
          break;
        default: TranslateMessage(&message); break;
      }
      continue;
    }
    if (msg == WM_KEYUP || msg == WM_SYSKEYUP) continue;
    if (msg == WM_CHAR || msg == WM_SYSCHAR) {
      if (GetKeyState(VK_LBUTTON) >= 0) HandleChar(static_cast<wchar_t>(message.wParam));
      continue;
    }
    if (msg == WM_MOUSEMOVE) {
      if (!HandleMouseMove(ScreenPointOf(message))) inLoop_ = false;
      continue;
    }
    if (msg == WM_LBUTTONUP) {
      bool remove = true;
      if (!HandleButton(message, true, remove)) inLoop_ = false;
      continue;
    }
    if (msg == kSkOpenSubmenuMessage) {
      OpenSelected();
      // The rest that may open a submenu again starts once it has closed.
      rest_ = 0;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// ---- bar view --------------------------------------------------------------

HWND TSkMenuBarView::Window() const { return bar_->HandleAllocated() ? bar_->Handle() : nullptr; }

void TSkMenuBarView::ApplyContentSize(TSize size) {
  if (!bar_->AutoSize() || bar_->Align() == alLeft || bar_->Align() == alRight) return;
  const TRect client = bar_->ClientRect();
  const TRect area = bar_->ItemArea();
  const int frame = static_cast<int>(RectHeight(client) - RectHeight(area));
  const int height = std::max(size.Height, MenuItemHeight()) + frame;
  if (height != bar_->Height()) bar_->SetHeight(height);
}

void TSkMenuBarView::RepaintAll() { bar_->Invalidate(); }

void TSkMenuBarView::RepaintItem(TSkItem* item) {
  if (item == nullptr || IsRectEmpty(item->ItemRect)) return;
  if (Window() == nullptr) return;
  const RECT rect = ToRECT(item->ItemRect);
  InvalidateRect(Window(), &rect, FALSE);
}

void TSkMenuBarView::DrawItems(TCanvas& canvas) {
  const bool themed = ThemeDefinesMenu();
  TskTheme* theme = ThemeOf(nullptr);
  for (int i = 0; i < Item()->Count(); ++i) {
    TSkItem* child = Item()->Items(i);
    if (!child->Visible() || IsRectEmpty(child->ItemRect)) continue;
    const bool selected = child == Selected();
    // 0 normal, 1 hot, 2 pressed or open.
    const uint8_t state = !selected ? 0 : (SubmenuOpen() || InLoop() ? 2 : 1);
    const TRect& r = child->ItemRect;
    ChooseFont(canvas, child, selected && state != 0);
    if (themed) {
      theme->PaintMenuItem(0, canvas, child->ThemeObject, MakeCodedRecord(r, mikItem, state));
      TskTextInfo info = MakeTextInfo(r, child->Caption(), kDtCenter | kDtVCenter | kDtSingleLine);
      theme->PaintMenuItemText(0, canvas, child->ThemeObject, info, MakeCodedRecord(r, mikItem, state));
    } else {
      canvas.WithHandle([&](HDC dc) {
        FillRectColor(dc, r, state != 0 ? clHighlight : Bar()->Color());
      });
      TRect textRect = r;
      DrawClassicText(canvas, child->Caption(), textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE,
                      child->Enabled());
    }
  }
}

// ---- pop-up view -----------------------------------------------------------

HWND TSkPopupView::Window() const { return window_->Handle(); }

void TSkPopupView::ApplyContentSize(TSize size) { window_->SetContentSize(size); }

void TSkPopupView::DrawItems(TCanvas& canvas) {
  const bool themed = ThemeDefinesMenu();
  TskTheme* theme = ThemeOf(nullptr);
  TImageList* images = Item()->EffectiveImages();
  for (int i = 0; i < Item()->Count(); ++i) {
    TSkItem* child = Item()->Items(i);
    if (!child->Visible() || IsRectEmpty(child->ItemRect)) continue;
    const TRect& r = child->ItemRect;
    const bool selected = child == Selected();
    // 0 normal, 1 selected, 3 disabled.
    const uint8_t state = !child->Enabled() ? 3 : (selected ? 1 : 0);
    if (child->IsSeparator()) {
      if (themed) {
        theme->PaintMenuItem(1, canvas, child->ThemeObject, MakeCodedRecord(r, mikSeparator, 0));
      } else {
        canvas.WithHandle([&](HDC dc) {
          FillRectColor(dc, r, clMenu);
          const TRect line{r.Left + 2, r.Top + 7, r.Right - 2, r.Top + 8};
          FillRectColor(dc, line, clBtnShadow);
          FillRectColor(dc, OffsetRect(line, 0, 1), clBtnHighlight);
        });
      }
      continue;
    }
    const TRect column{r.Left, r.Top, r.Left + kImageColumn, r.Bottom};
    ChooseFont(canvas, child, selected);
    if (themed) {
      theme->PaintMenuItem(1, canvas, child->ThemeObject, MakeCodedRecord(r, mikItem, state));
    } else {
      canvas.WithHandle([&](HDC dc) { FillRectColor(dc, r, selected ? clHighlight : clMenu); });
    }
    // Image column: the item's image (framed when checked) or the check mark.
    const bool hasImage = images != nullptr && child->ImageIndex() >= 0 && child->ImageIndex() < images->Count();
    if (hasImage) {
      const TRect imageRect = CentreRect(TRect{0, 0, images->Width(), images->Height()}, column);
      images->Draw(canvas, imageRect.Left, imageRect.Top, child->ImageIndex());
      if (child->Checked()) {
        canvas.WithHandle([&](HDC dc) {
          DrawBevelRing(dc, Inset(imageRect, TRect{-1, -1, -1, -1}), clBtnShadow, clBtnHighlight, kbsAll);
        });
      }
    } else if (child->Checked()) {
      if (themed) {
        theme->PaintMenuItemGlyph(1, canvas, child->ThemeObject, MakeGlyphRecord(column, nullptr, gkCheckMark),
                                  MakeCodedRecord(r, mikItem, state));
      } else {
        const TColor ink = canvas.Font().Color();
        canvas.WithHandle([&](HDC dc) {
          DrawFrameGlyph(dc, CentreRect(TRect{0, 0, 16, 16}, column), DFC_MENU, ink, DFCS_MENUCHECK);
        });
      }
    }
    TRect textRect{column.Right + 4, r.Top, r.Right - kImageColumn, r.Bottom};
    const std::wstring shortCut = ShortCutToText(child->ShortCut());
    if (themed) {
      TskCodedRecord record = MakeCodedRecord(r, mikItem, state);
      theme->PaintMenuItemText(1, canvas, child->ThemeObject,
                               MakeTextInfo(textRect, child->Caption(), kDtVCenter | kDtSingleLine), record);
      if (!shortCut.empty()) {
        theme->PaintMenuItemText(
            1, canvas, child->ThemeObject,
            MakeTextInfo(textRect, shortCut, kDtRight | kDtVCenter | kDtSingleLine | kDtNoPrefix), record);
      }
    } else {
      DrawClassicText(canvas, child->Caption(), textRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE, child->Enabled());
      if (!shortCut.empty()) {
        DrawClassicText(canvas, shortCut, textRect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
                        child->Enabled());
      }
    }
    if (child->Count() > 0) {
      const TRect arrow{r.Right - 24, r.Top, r.Right - 2, r.Bottom};
      if (themed) {
        theme->PaintMenuItemGlyph(1, canvas, child->ThemeObject, MakeGlyphRecord(arrow, nullptr, gkSubMenuArrow),
                                  MakeCodedRecord(r, mikItem, state));
      } else {
        const TColor ink = canvas.Font().Color();
        canvas.WithHandle([&](HDC dc) {
          DrawFrameGlyph(dc, CentreRect(TRect{0, 0, 16, 16}, arrow), DFC_MENU, ink, DFCS_MENUARROW);
        });
      }
    }
  }
  if (!IsScrolledView()) return;
  // The two arrow bands above and below the shown entries.
  const TRect upper{Origin().X, Origin().Y, Origin().X + ContentSize().Width, Origin().Y + kArrowBand};
  const TRect lower = OffsetRect(upper, 0, ContentSize().Height - kArrowBand);
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, upper, ScrollArrow() == 1 ? clHighlight : clMenu);
    FillRectColor(dc, lower, ScrollArrow() == 2 ? clHighlight : clMenu);
    DrawFrameGlyph(dc, CentreRect(TRect{0, 0, 10, 10}, upper), DFC_SCROLL, clMenuText, DFCS_SCROLLUP);
    DrawFrameGlyph(dc, CentreRect(TRect{0, 0, 10, 10}, lower), DFC_SCROLL, clMenuText, DFCS_SCROLLDOWN);
  });
}

bool TSkPopupView::Covers(POINT screen) const {
  // The shadow band is no part of the menu: a press there closes it.
  RECT area{};
  if (Window() == nullptr || !GetWindowRect(Window(), &area)) return false;
  const TSize face = window_->FaceSize();
  area.right = area.left + face.Width;
  area.bottom = area.top + face.Height;
  return PtInRect(&area, screen) != FALSE;
}

// ---- pop-up window ---------------------------------------------------------

TSkPopupWindow::TSkPopupWindow(TSkItem* item, bool animate) : item_(item), form_(item, animate) {
  RegisterFrameworkClass(L"TSkPopupWindow", CS_DBLCLKS | CS_SAVEBITS, WindowProc);
  view_ = std::make_unique<TSkPopupView>(item, this);
  handle_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"TSkPopupWindow", L"", WS_POPUP, 0, 0, 10, 10,
                            item->OwnerWindow, nullptr, ModuleInstance(), this);
}

TSkPopupWindow::~TSkPopupWindow() {
  if (handle_ != nullptr) {
    SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

void TSkPopupWindow::SetContentSize(TSize size) {
  const TRect margins = FrameMargins();
  face_ = TSize{size.Width + margins.Left + margins.Right, size.Height + margins.Top + margins.Bottom};
  const TSize window = WindowSize();
  SetWindowPos(handle_, nullptr, 0, 0, window.Width, window.Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  form_.ApplyRegion(handle_, face_);
}

void TSkPopupWindow::Place(int x, int y, const TRect& itemRect, bool fromBar, bool fromPopup) {
  const RECT work = WorkAreaAt(POINT{x, y}, true);
  // The face lines up with the item; the shadow band must fit as well.
  const TSize window = WindowSize();
  const int width = window.Width, height = window.Height;
  const int faceWidth = face_.Width, faceHeight = face_.Height;
  int left = x;
  int top = y;
  if (fromBar) {
    left = itemRect.Left;
    top = itemRect.Bottom;
    if (left + width > work.right) left = itemRect.Right - faceWidth;
    if (top + height > work.bottom) {
      top = itemRect.Top - faceHeight;
      if (top < work.top) top = work.top;
    }
  } else if (fromPopup) {
    left = itemRect.Right;
    top = itemRect.Top;
    if (left + width > work.right) left = itemRect.Left - faceWidth;
    if (top + height > work.bottom) top = itemRect.Bottom - faceHeight;
  } else {
    if (left + width > work.right) left -= faceWidth;
    if (top + height > work.bottom) top -= faceHeight;
  }
  left = std::max(static_cast<int>(work.left), std::min(left, static_cast<int>(work.right) - width));
  top = std::max(static_cast<int>(work.top), std::min(top, static_cast<int>(work.bottom) - height));
  SetWindowPos(handle_, HWND_TOPMOST, left, top, width, height, SWP_NOACTIVATE);
}

void TSkPopupWindow::ShowNoActivate() {
  RECT bounds{};
  GetWindowRect(handle_, &bounds);
  form_.BeforeShow(ToTRect(bounds), face_, [this](TCanvas& canvas) { view_->DrawItems(canvas); });
  HWND owner = item_->OwnerWindow;
  const UINT suspend = SkSuspendFramePaintMessage();
  if (owner != nullptr && IsWindow(owner)) SendMessageW(owner, suspend, 1, 0);
  const TScopeExit resume([owner, suspend] {
    if (owner != nullptr && IsWindow(owner)) SendMessageW(owner, suspend, 0, 0);
  });
  ShowWindow(handle_, SW_SHOWNOACTIVATE);
  if (item_->Foreground) SetForegroundWindow(handle_);
  UpdateWindow(handle_);
}

void TSkPopupWindow::Paint(HDC dc) {
  form_.Paint(dc, face_, [this](TCanvas& canvas) { view_->DrawItems(canvas); });
}

LRESULT CALLBACK TSkPopupWindow::WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TSkPopupWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  try {
    switch (msg) {
      case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
      case WM_ACTIVATE:
        // Activated all the same: the menu's window keeps its active caption.
        if (LOWORD(wParam) != WA_INACTIVE && self != nullptr && self->item_->OwnerWindow != nullptr) {
          SendMessageW(self->item_->OwnerWindow, WM_NCACTIVATE, TRUE, 0);
        }
        break;
      case WM_ERASEBKGND: return 1;
      case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        const TScopeExit end([window, &paint] { EndPaint(window, &paint); });
        if (self != nullptr) self->Paint(dc);
        return 0;
      }
      case WM_TIMER:
        if (wParam == kScrollTimerId && self != nullptr) {
          self->view_->ScrollTick();
          return 0;
        }
        break;
      default: break;
    }
  } catch (...) {
    Application->HandleException(nullptr);
    return 0;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

// ---- opening a submenu -----------------------------------------------------

void TSkItem::PopupSubmenu(TSkItemView* parentView, int x, int y, const TRect& itemRect) {
  if (!HasVisibleChild() || !Visible() || !Enabled()) return;
  if (OnBeforeDropDown) OnBeforeDropDown(this);
  // Pending paints first, so that the level below looks settled. Other
  // messages stay queued: they belong to the loop about to run.
  // Bounded: a window that never validates itself would otherwise keep
  // this loop going.
  MSG paint{};
  for (int i = 0; i < 64 && PeekMessageW(&paint, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) {
    DispatchMessageW(&paint);
  }
  if (!TSkItem::IsLiveItem(this) || !HasVisibleChild()) return;
  // Only the first level of an activation animates, unless the menu does
  // not come from a menu bar or pop-up menu: then every level does.
  TSkPopupWindow window(this, !FromMenu || AnimateNext);
  TSkPopupView& view = window.View();
  view.SetParentView(parentView);
  view.SetFromHorizontal(parentView != nullptr && parentView->Horizontal());
  const TRect margins = window.FrameMargins();
  view.SetOrigin(TPoint{margins.Left, margins.Top});
  FirstVisible = 0;
  view.Layout();
  const bool fromBar = parentView != nullptr && parentView->Horizontal() && !IsRectEmpty(itemRect);
  const bool fromPopup = parentView != nullptr && !parentView->Horizontal() && !IsRectEmpty(itemRect);
  window.Place(x, y, itemRect, fromBar, fromPopup);
  Root()->SetAnimateNextTree(false);
  window.ShowNoActivate();
  // Showing sends messages to the window the menu belongs to.
  if (!TSkItem::IsLiveItem(this)) return;
  if (parentView != nullptr) parentView->SetChildView(&view);
  const TScopeExit unlink([parentView] {
    if (parentView != nullptr) parentView->SetChildView(nullptr);
  });
  view.Track();
}

// The skinned window frame: its messages, frame mouse handling and the
// window states (see sk_form.h).
#include <algorithm>
#include <cwchar>
#include <utility>

#include "forms/forms_internal.h"
#include "runtime/scope_exit.h"
#include "skin/controls/sk_controls.h"
#include "graphics/sk_guards_gdi.h"
#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menu_views.h"

namespace {

TPoint PointOf(LPARAM lParam) {
  return TPoint{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

bool IsButtonZone(int zone) { return zone >= hcClose && zone <= hcSysMenu; }
bool IsBorderZone(int zone) { return zone >= hcLeft && zone <= hcBottomRight && zone != kfzNone; }

UINT NextTrayId() {
  static UINT next = 1;
  return next++;
}

}  // namespace

// ---- messages --------------------------------------------------------------------

void TSkDefaultForm::BeforeMessage(TMessage& message) {
  if (form_ == nullptr) return;
  switch (message.Msg) {
    case WM_NCCALCSIZE:
      HandleNcCalcSize(message);
      SetHandled(true);
      return;
    case WM_NCHITTEST: {
      const TPoint p = ToWindow(PointOf(message.LParam));
      message.Result = ZoneHitTestValue(ZoneAt(p.X, p.Y), dragging_.Moveable, dragging_.Sizeable, Maximized());
      SetHandled(true);
      return;
    }
    case WM_NCPAINT:
      PaintFrame();
      SetHandled(true);
      return;
    case WM_NCACTIVATE:
      captionActive_ = message.WParam != 0;
      PaintFrame();
      message.Result = TRUE;
      SetHandled(true);
      return;
    case WM_ACTIVATE:
      // The platform minimized the window behind the frame's back.
      if (!captionActive_ && HIWORD(message.WParam) != 0 && state_ != kwsMinimized) MinimizeForm();
      return;
    case WM_NCLBUTTONDOWN: {
      if (!captionActive_ && GetActiveWindow() != form_->Handle()) SetActiveWindow(form_->Handle());
      const TPoint point = PointOf(message.LParam);
      DWORD time = static_cast<DWORD>(GetMessageTime());
      const bool handedOn = SkRedeliveredPress(form_->Handle(), message.Msg, message.LParam, time);
      // The platform tells a double click only from two presses it saw
      // itself; the press that closed a menu (the first press opened the
      // system menu) is handed on as a plain press, and is told here.
      if (SecondPress(point, time) && handedOn) {
        FrameMouseDown(point, true);
        FrameMouseUp(point, false, true);
      } else {
        FrameMouseDown(point, false);
      }
      SetHandled(true);
      return;
    }
    case WM_NCLBUTTONDBLCLK:
      lastPress_.Valid = false;
      FrameMouseDown(PointOf(message.LParam), true);
      FrameMouseUp(PointOf(message.LParam), false, true);
      SetHandled(true);
      return;
    case WM_NCMOUSEMOVE:
      FrameMouseMove(PointOf(message.LParam));
      SetHandled(true);
      return;
    case WM_NCLBUTTONUP:
      FrameMouseUp(PointOf(message.LParam), false, false);
      SetHandled(true);
      return;
    case WM_NCRBUTTONDOWN:
      SetHandled(true);
      return;
    case WM_NCRBUTTONUP:
      FrameMouseUp(PointOf(message.LParam), true, false);
      SetHandled(true);
      return;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
      if (pressedZone_ != kfzNothingHot) {
        // The frame holds the mouse: client-area points are frame points.
        POINT p{static_cast<short>(LOWORD(message.LParam)), static_cast<short>(HIWORD(message.LParam))};
        ClientToScreen(form_->Handle(), &p);
        if (message.Msg == WM_MOUSEMOVE) {
          FrameMouseMove(TPoint{p.x, p.y});
        } else {
          FrameMouseUp(TPoint{p.x, p.y}, false, false);
        }
        SetHandled(true);
      } else if (message.Msg == WM_MOUSEMOVE && message.WParam == 0 && hotZone_ != kfzNothingHot &&
                 hotZone_ != hcClient) {
        hotZone_ = kfzNothingHot;
        PaintFrame();
      }
      return;
    case WM_CAPTURECHANGED:
      if (pressedZone_ != kfzNothingHot && reinterpret_cast<HWND>(message.LParam) != form_->Handle()) EndDrag();
      return;
    case WM_SYSCOMMAND:
      HandleSysCommand(message);
      return;
    case WM_SETTEXT:
      if (message.LParam != 0 && form_->Caption() != reinterpret_cast<const wchar_t*>(message.LParam)) {
        // Without its caption style the platform draws no caption of its
        // own while it stores the text.
        HWND handle = form_->Handle();
        SetWindowLongW(handle, GWL_STYLE, GetWindowLongW(handle, GWL_STYLE) & ~WS_CAPTION);
        PostMessageW(handle, kSkMsgRestoreCaption, kSkRestoreCaptionCode, 0);
      }
      return;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(message.LParam);
      if ((pos->flags & SWP_NOSIZE) == 0) {
        const TSize most = MaxTrackSize();
        pos->cx = std::min(pos->cx, static_cast<int>(most.Width));
        pos->cy = std::min(pos->cy, static_cast<int>(most.Height));
        if (state_ != kwsMinimized && state_ != kwsRollup) {
          const TSize least = MinTrackSize();
          pos->cx = std::max(pos->cx, static_cast<int>(least.Width));
          pos->cy = std::max(pos->cy, static_cast<int>(least.Height));
        }
      }
      if (Composed() && (pos->flags & (SWP_NOSIZE | SWP_NOMOVE)) != (SWP_NOSIZE | SWP_NOMOVE)) {
        // The shadow and the blended frame are composed against what the
        // screen shows under the window's new place.
        RECT now{};
        GetWindowRect(form_->Handle(), &now);
        const int left = (pos->flags & SWP_NOMOVE) ? now.left : pos->x;
        const int top = (pos->flags & SWP_NOMOVE) ? now.top : pos->y;
        const int width = (pos->flags & SWP_NOSIZE) ? now.right - now.left : pos->cx;
        const int height = (pos->flags & SWP_NOSIZE) ? now.bottom - now.top : pos->cy;
        CaptureBackground(TRect{left, top, left + width, top + height});
        pos->flags |= SWP_NOCOPYBITS;
      }
      if ((pos->flags & SWP_SHOWWINDOW) != 0 && pendingState_ == kwsNormal && animation_.Enabled() &&
          !IsWindowVisible(form_->Handle())) {
        RECT now{};
        GetWindowRect(form_->Handle(), &now);
        const bool moves = (pos->flags & SWP_NOMOVE) == 0, sizes = (pos->flags & SWP_NOSIZE) == 0;
        const int left = moves ? pos->x : now.left, top = moves ? pos->y : now.top;
        RunShowAnimation(TRect{left, top, left + (sizes ? pos->cx : now.right - now.left),
                               top + (sizes ? pos->cy : now.bottom - now.top)});
      }
      return;
    }
    case WM_ERASEBKGND: {
      const TRect client = ClientRect();
      if (blending_.Enabled() && !IsRectEmpty(client)) {
        // Drawn in window coordinates off-screen, mixed with the screen
        // behind like the frame, then copied to the client.
        TskBitmap picture;
        picture.SetSize(FrameWidth(), FrameHeight());
        {
          TSkBorrowedCanvas canvas(picture.DC());
          PaintClientBackground(canvas);
        }
        GdiFlush();
        BlendWithBackground(picture, client);
        BitBlt(reinterpret_cast<HDC>(message.WParam), 0, 0, static_cast<int>(RectWidth(client)),
               static_cast<int>(RectHeight(client)), picture.DC(), client.Left, client.Top, SRCCOPY);
        message.Result = 1;
        SetHandled(true);
        return;
      }
      TSkBorrowedCanvas canvas(reinterpret_cast<HDC>(message.WParam));
      // The client's own coordinates: the client rectangle is moved to 0, 0.
      SetWindowOrgEx(canvas.Handle(), client.Left, client.Top, nullptr);
      PaintClientBackground(canvas);
      SetWindowOrgEx(canvas.Handle(), 0, 0, nullptr);
      message.Result = 1;
      SetHandled(true);
      return;
    }
    case kSkMsgRestoreCaption:
      if (message.WParam == kSkRestoreCaptionCode) {
        HWND handle = form_->Handle();
        SetWindowLongW(handle, GWL_STYLE, GetWindowLongW(handle, GWL_STYLE) | WS_CAPTION);
        PaintFrame();
        SetHandled(true);
      }
      return;
    case kSkMsgMaximize:
      MaximizeForm();
      SetHandled(true);
      return;
    case kSkMsgApplyState:
      ApplyPendingState(message.WParam);
      SetHandled(true);
      return;
    case SKM_THEMECHANGE:
      ThemeChanged(static_cast<TskThemeChange>(message.WParam), message.LParam);
      SetHandled(true);
      return;
    default:
      if (message.Msg == SkSuspendFramePaintMessage()) {
        // One of the window's menus makes a pop-up visible: the frame keeps
        // still meanwhile and paints what it missed afterwards.
        popupShowing_ = message.WParam != 0;
        if (!popupShowing_ && std::exchange(framePaintMissed_, false)) PaintFrame();
        message.Result = 1;
        SetHandled(true);
      }
      return;
  }
}

void TSkDefaultForm::AfterMessage(TMessage& message) {
  switch (message.Msg) {
    case WM_WINDOWPOSCHANGED: {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(message.LParam);
      if ((pos->flags & SWP_NOSIZE) == 0 && (pos->cx != windowWidth_ || pos->cy != windowHeight_)) {
        windowWidth_ = pos->cx;
        windowHeight_ = pos->cy;
        UpdateRegion();
      }
      if (pos->flags & SWP_FRAMECHANGED) PaintFrame();
      return;
    }
    case WM_PAINT:
      if (!shown_) {
        shown_ = true;
        if (OnFormShown) OnFormShown(this);
      }
      return;
    case WM_ACTIVATE:
    case WM_ENTERMENULOOP:
    case WM_SETICON:
    case WM_SETTEXT: PaintFrame(); return;
  }
}

void TSkDefaultForm::HandleNcCalcSize(TMessage& message) {
  int left, top, right, bottom;
  FrameMargins(left, top, right, bottom);
  RECT* proposed = message.WParam != 0 ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(message.LParam)->rgrc[0]
                                       : reinterpret_cast<RECT*>(message.LParam);
  const RECT window = *proposed;
  proposed->left = window.left + left;
  proposed->top = window.top + top;
  proposed->right = std::max(proposed->left, window.right - right);
  proposed->bottom = std::max(proposed->top, window.bottom - bottom);
  message.Result = 0;
}

void TSkDefaultForm::HandleSysCommand(TMessage& message) {
  const WPARAM command = message.WParam & 0xFFF0;
  HWND handle = form_->Handle();
  if (command == SC_KEYMENU) {
    const auto letter = static_cast<wchar_t>(message.LParam);
    if (letter != 0 && letter != L' ' && letter != L'-') {
      if (GetCapture() == nullptr && menuBar_ != nullptr) {
        PostMessageW(handle, WM_CHAR, static_cast<WPARAM>(letter), 0);
        message.Result = 1;
        SetHandled(true);
        RunMenuBarTracking();
      }
      return;
    }
  }
  if (command == SC_MOUSEMENU || command == SC_KEYMENU) {
    const TPoint origin = form_->ClientToScreen(TPoint{0, 0});
    ShowSystemMenu(origin);
    SetHandled(true);
  } else if (command == SC_RESTORE) {
    RestoreForm();
    // A window the platform holds minimized is restored by the platform too.
    if (!IsIconic(handle)) SetHandled(true);
  } else if (command == SC_MINIMIZE) {
    if (state_ != kwsMinimized) MinimizeForm();
  } else if (command == SC_MAXIMIZE) {
    // The platform's maximized state would fight the frame's own. A
    // maximized window stays so (the command is not a toggle: the shell's
    // maximize key sends it again).
    if (state_ != kwsMaximized) MaximizeForm();
    SetHandled(true);
  }
}

// ---- frame mouse ---------------------------------------------------------------------

bool TSkDefaultForm::SecondPress(TPoint screen, DWORD time) {
  const TPoint p = ToWindow(screen);
  const int zone = ZoneAt(p.X, p.Y);
  const TPress previous = lastPress_;
  lastPress_ = TPress{true, screen, time, zone};
  if (!previous.Valid || previous.Zone != zone) return false;
  if (time - previous.Time > GetDoubleClickTime()) return false;
  if (std::abs(screen.X - previous.Point.X) > GetSystemMetrics(SM_CXDOUBLECLK) / 2 ||
      std::abs(screen.Y - previous.Point.Y) > GetSystemMetrics(SM_CYDOUBLECLK) / 2) {
    return false;
  }
  // A third press starts over.
  lastPress_.Valid = false;
  return true;
}

void TSkDefaultForm::FrameMouseDown(TPoint screen, bool doubleClick) {
  const TPoint p = ToWindow(screen);
  const int zone = ZoneAt(p.X, p.Y);
  pressedZone_ = hotZone_ = zone;
  dragStart_ = dragLast_ = screen;
  dragStartBounds_ = form_->BoundsRect();
  PaintFrame();
  if (!doubleClick && zone >= hcCaption && zone <= hcBottomRight && zone != kfzNone) {
    dragActive_ = true;
    outlineRect_ = TRect{};
    outlineDrawn_ = false;
    PostMessageW(form_->Handle(), WM_ENTERSIZEMOVE, 0, 0);
    if (dragging_.DragMode == kfdmBorder) {
      framePaintEnabled_ = false;
      outlineMode_ = true;
    }
  }
  SetCapture(form_->Handle());
}

TRect TSkDefaultForm::ApplyGravitation(TRect r) {
  if (!gravitation_.Enabled) return r;
  const TRect area = WorkArea();
  const int size = gravitation_.Size();
  const int shadow = ShadowSize();
  const int right = r.Right - shadow, bottom = r.Bottom - shadow;
  int dx = 0, dy = 0;
  if (std::abs(r.Left - area.Left) < size) {
    dx = area.Left - r.Left;
  } else if (std::abs(right - area.Right) < size) {
    dx = area.Right - right;
  }
  if (std::abs(r.Top - area.Top) < size) {
    dy = area.Top - r.Top;
  } else if (std::abs(bottom - area.Bottom) < size) {
    dy = area.Bottom - bottom;
  }
  return TRect{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}

void TSkDefaultForm::FrameMouseMove(TPoint screen) {
  if (!dragActive_) {
    const TPoint p = ToWindow(screen);
    const int zone = ZoneAt(p.X, p.Y);
    if (zone != hotZone_) {
      hotZone_ = zone;
      PaintFrame();
    }
    return;
  }
  // Every step is measured from where the drag started, so that limits met
  // on the way (minimum size, snapping) never add up.
  const int dx = screen.X - dragStart_.X, dy = screen.Y - dragStart_.Y;
  TRect r = dragStartBounds_;
  const int zone = pressedZone_;
  if (zone == hcCaption) {
    if (!dragging_.Moveable || state_ == kwsMaximized) return;
    r = ApplyGravitation(TRect{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy});
  } else if (IsBorderZone(zone)) {
    if (!dragging_.Sizeable || state_ != kwsNormal) return;
    const TSize least = MinTrackSize();
    const bool left = zone == hcLeft || zone == hcTopLeft || zone == hcBottomLeft;
    const bool right = zone == hcRight || zone == hcTopRight || zone == hcBottomRight;
    const bool top = zone == hcTop || zone == hcTopLeft || zone == hcTopRight;
    const bool bottom = zone == hcBottom || zone == hcBottomLeft || zone == hcBottomRight;
    if (left) r.Left = std::min(r.Left + dx, r.Right - static_cast<int>(least.Width));
    if (top) r.Top = std::min(r.Top + dy, r.Bottom - static_cast<int>(least.Height));
    if (right) r.Right = std::max(r.Right + dx, r.Left + static_cast<int>(least.Width));
    if (bottom) r.Bottom = std::max(r.Bottom + dy, r.Top + static_cast<int>(least.Height));
  } else {
    return;
  }
  if (outlineMode_) {
    if (outlineDrawn_) DrawOutline(outlineRect_);
    outlineRect_ = r;
    outlineDrawn_ = state_ != kwsMaximized;
    if (outlineDrawn_) DrawOutline(outlineRect_);
  } else {
    SetFormBounds(r);
    UpdateWindow(form_->Handle());
    const TPoint p = ToWindow(screen);
    hotZone_ = ZoneAt(p.X, p.Y);
  }
  dragLast_ = screen;
}

void TSkDefaultForm::DrawOutline(const TRect& rect) {
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return;
  const TScopeExit release([dc] { ReleaseDC(nullptr, dc); });
  TGdiPen pen(CreatePen(PS_INSIDEFRAME, 2, RGB(255, 255, 255)));
  TSelectObject selectPen(dc, pen.Get());
  TSelectObject selectBrush(dc, GetStockObject(NULL_BRUSH));
  const int mode = SetROP2(dc, R2_XORPEN);
  Rectangle(dc, rect.Left, rect.Top, rect.Right, rect.Bottom);
  SetROP2(dc, mode);
}

void TSkDefaultForm::EndDrag() {
  const bool outline = outlineMode_;
  if (outlineDrawn_) DrawOutline(outlineRect_);
  outlineDrawn_ = false;
  outlineMode_ = false;
  framePaintEnabled_ = true;
  dragActive_ = false;
  pressedZone_ = kfzNothingHot;
  if (outline) PaintFrame();
}

void TSkDefaultForm::FrameMouseUp(TPoint screen, bool right, bool doubleClick) {
  HWND handle = form_->Handle();
  const TPoint p = ToWindow(screen);
  const int zone = ZoneAt(p.X, p.Y);
  if (right) {
    if (zone == hcCaption) ShowSystemMenu(screen);
    return;
  }
  if (pressedZone_ == kfzNothingHot && !doubleClick) return;
  PostMessageW(handle, WM_ENTERSIZEMOVE + 1, 0, 0);  // WM_EXITSIZEMOVE
  const int pressed = pressedZone_;
  const bool outline = outlineMode_ && dragActive_ && !IsRectEmpty(outlineRect_);
  const TRect finalBounds = outlineRect_;
  // The state is cleared before any action runs: an action may close or
  // hide the window.
  EndDrag();
  if (GetCapture() == handle) ReleaseCapture();
  if (outline) {
    SetFormBounds(finalBounds);
    RedrawWindow(handle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    form_->Realign();
    return;
  }
  if (doubleClick) {
    if (zone == hcCaption && HasIcon(kbiMaximize)) {
      if (state_ == kwsMaximized || state_ == kwsMinimized) {
        RestoreForm();
      } else {
        MaximizeForm();
      }
    } else if (zone == hcSysMenu) {
      CloseForm();
    }
    return;
  }
  if (zone != pressed) return;
  switch (zone) {
    case hcClose: CloseForm(); break;
    case hcHelp: ShowHelp(); break;
    case hcMinimize: MinimizeForm(); break;
    case hcMaximize: MaximizeForm(); break;
    case hcRoll: RollupForm(); break;
    case hcTray: MinimizeToTray(); break;
    case hcSysMenu: {
      RECT w{};
      GetWindowRect(handle, &w);
      const TRect icon = ButtonRect(1);
      ShowSystemMenu(TPoint{w.left + icon.Left, w.top + icon.Bottom});
      break;
    }
    default: break;
  }
}

void TSkDefaultForm::HoverTick() {
  if (!IsButtonZone(hotZone_) || form_ == nullptr || !form_->HandleAllocated()) return;
  POINT cursor{};
  GetCursorPos(&cursor);
  const TPoint p = ToWindow(TPoint{cursor.x, cursor.y});
  const int zone = ZoneAt(p.X, p.Y);
  if (zone != hotZone_) {
    hotZone_ = zone;
    PaintFrame();
  }
}

// ---- window states ---------------------------------------------------------------------

bool TSkDefaultForm::Ask(const TSkFormActionEvent& event) {
  hotZone_ = kfzNothingHot;
  bool allow = true;
  if (event) event(this, allow);
  return allow;
}

void TSkDefaultForm::SetFormBounds(const TRect& bounds) { form_->SetBoundsRect(bounds); }

void TSkDefaultForm::SaveNormalBounds() { normalBounds_ = form_->BoundsRect(); }

void TSkDefaultForm::MaximizeForm() {
  if (form_ == nullptr || !Ask(OnMaximize)) return;
  if (state_ == kwsMaximized) {
    RestoreForm();
    return;
  }
  if (IsIconic(form_->Handle())) ShowWindow(form_->Handle(), SW_RESTORE);
  prevState_ = state_;
  if (!applyingPending_ && state_ != kwsRollup && state_ != kwsMinimized) SaveNormalBounds();
  state_ = kwsMaximized;
  SetFormBounds(MaximizedRect());
  form_->Realign();
  PaintFrame();
}

void TSkDefaultForm::MinimizeForm() {
  if (form_ == nullptr || !Ask(OnMinimize)) return;
  if (state_ == kwsMinimized) {
    RestoreForm();
    return;
  }
  prevState_ = state_;
  if (!applyingPending_ && state_ == kwsNormal) SaveNormalBounds();
  state_ = kwsMinimized;
  HWND handle = form_->Handle();
  if (minimizeApplication_ && Application->Handle() != nullptr) {
    ShowWindow(Application->Handle(), SW_MINIMIZE);
  } else if (HasTaskbarButton(handle)) {
    PostMessageW(handle, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else {
    SetFormBounds(MinimizedRect());
    PaintFrame();
  }
}

void TSkDefaultForm::RollupForm() {
  if (form_ == nullptr || !Ask(OnRollup)) return;
  if (state_ == kwsRollup) {
    RestoreForm();
    return;
  }
  prevState_ = state_;
  if (!applyingPending_ && state_ == kwsNormal) SaveNormalBounds();
  state_ = kwsRollup;
  SetFormBounds(RolledUpRect());
  PaintFrame();
}

void TSkDefaultForm::MinimizeToTray() {
  if (form_ == nullptr || !Ask(OnMinToTray)) return;
  HWND handle = form_->Handle();
  if (SendMessageW(handle, kSkMsgQueryTray, reinterpret_cast<WPARAM>(handle), 0) == 1) return;
  if (state_ == kwsTray) {
    RestoreForm();
    return;
  }
  prevState_ = state_;
  if (!applyingPending_ && state_ == kwsNormal) SaveNormalBounds();
  state_ = kwsTray;
  const std::wstring tip = minimizeApplication_ ? Application->Title() : Caption();
  std::fill(std::begin(trayData_.szTip), std::end(trayData_.szTip), L'\0');
  std::wcsncpy(trayData_.szTip, tip.c_str(), std::min(tip.size(), kSkTrayTipLength));
  if (minimizeApplication_ && Application->Handle() != nullptr) {
    ShowWindow(Application->Handle(), SW_MINIMIZE);
    ShowWindow(Application->Handle(), SW_HIDE);
  }
  ShowWindow(handle, SW_HIDE);
  AddTrayIcon();
}

void TSkDefaultForm::RestoreForm() {
  if (form_ == nullptr) return;
  hotZone_ = kfzNothingHot;
  HWND handle = form_->Handle();
  const TSkWindowState previous = prevState_;
  auto enterMaximized = [&] {
    state_ = kwsMaximized;
    SetFormBounds(MaximizedRect());
  };
  auto enterRolled = [&] {
    state_ = kwsRollup;
    SetFormBounds(RolledUpRect());
  };
  switch (state_) {
    case kwsMaximized:
      state_ = kwsNormal;
      SetFormBounds(normalBounds_);
      if (previous == kwsMinimized && !minimizeApplication_) {
        enterMaximized();
      } else if (previous == kwsRollup) {
        enterRolled();
      }
      break;
    case kwsMinimized:
      if (IsIconic(handle)) ShowWindow(handle, SW_RESTORE);
      if (minimizeApplication_ && Application->Handle() != nullptr && IsIconic(Application->Handle())) {
        ShowWindow(Application->Handle(), SW_RESTORE);
      }
      state_ = kwsNormal;
      SetFormBounds(normalBounds_);
      if (previous == kwsMaximized) {
        enterMaximized();
      } else if (previous == kwsRollup) {
        enterRolled();
      }
      break;
    case kwsNormal: SetFormBounds(normalBounds_); break;
    case kwsRollup: {
      const TRect maximized = MaximizedRect();
      if (previous == kwsMaximized || RectWidth(normalBounds_) == RectWidth(maximized)) {
        state_ = kwsNormal;
        enterMaximized();
      } else {
        state_ = kwsNormal;
        const TRect now = form_->BoundsRect();
        SetFormBounds(TRect{now.Left, now.Top, now.Left + static_cast<int>(RectWidth(normalBounds_)),
                            now.Top + static_cast<int>(RectHeight(normalBounds_))});
      }
      break;
    }
    case kwsTray:
      if (minimizeApplication_ && Application->Handle() != nullptr) ShowWindow(Application->Handle(), SW_RESTORE);
      RemoveTrayIcon();
      state_ = kwsNormal;
      ShowWindow(handle, SW_SHOW);
      SetForegroundWindow(handle);
      if (previous == kwsMaximized) {
        enterMaximized();
      } else if (previous == kwsRollup) {
        enterRolled();
      }
      break;
  }
  prevState_ = kwsNormal;
  form_->Realign();
  PaintFrame();
}

void TSkDefaultForm::CloseForm() {
  if (form_ == nullptr || !Ask(OnClose)) return;
  form_->Close();
}

void TSkDefaultForm::ShowHelp() {
  if (form_ != nullptr) SendMessageW(form_->Handle(), WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
}

void TSkDefaultForm::ShowSystemMenu(TPoint point) {
  if (state_ == kwsTray) {
    POINT cursor{};
    GetCursorPos(&cursor);
    point = TPoint{cursor.x, cursor.y};
  }
  PopupSystemMenu(SystemMenuEntries(state_, borderIcons_), point);
}

void TSkDefaultForm::SystemMenuCommand(const std::wstring& caption) {
  if (caption == L"&Restore") RestoreForm();
  else if (caption == L"Mi&nimize") MinimizeForm();
  else if (caption == L"Ma&ximize") MaximizeForm();
  else if (caption == L"Ro&llup") RollupForm();
  else if (caption == L"Minimize to &Tray") MinimizeToTray();
  else if (caption == L"&Close") CloseForm();
}

void TSkDefaultForm::ApplyPendingState(WPARAM code) {
  if (applyingPending_ || form_ == nullptr) return;
  applyingPending_ = true;
  const TScopeExit done([this] {
    applyingPending_ = false;
    pendingState_ = kwsNormal;
  });
  // The window waited below the screen; the state starts from its normal
  // bounds. The tray hides the window first, so that it never shows on
  // the screen below, and then gives it the bounds to come back to.
  if (code != 4) SetFormBounds(normalBounds_);
  switch (code) {
    case 1: MaximizeForm(); break;
    case 2: MinimizeForm(); break;
    case 3: RollupForm(); break;
    case 4:
      MinimizeToTray();
      SetFormBounds(normalBounds_);  // also where the tray was refused
      break;
    default: break;
  }
}

// ---- tray icon -------------------------------------------------------------------------

LRESULT CALLBACK TSkDefaultForm::TrayWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TSkDefaultForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    try {
      if (msg == kSkMsgTrayCallback) {
        if (lParam == WM_LBUTTONDBLCLK) self->RestoreForm();
        if (lParam == WM_RBUTTONUP) {
          POINT cursor{};
          GetCursorPos(&cursor);
          self->ShowSystemMenu(TPoint{cursor.x, cursor.y});
        }
        return 0;
      }
      if (msg == WM_QUERYENDSESSION) return TRUE;
      if (msg == WM_ENDSESSION) {
        self->RemoveTrayIcon();
        return 0;
      }
    } catch (...) {
      Application->HandleException(self);
      return 0;
    }
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

void TSkDefaultForm::AddTrayIcon() {
  if (trayWindow_ == nullptr) {
    RegisterFrameworkClass(L"EbookSkTray", 0, &TSkDefaultForm::TrayWindowProc);
    trayWindow_ = CreateWindowExW(0, L"EbookSkTray", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, ModuleInstance(),
                                  nullptr);
    if (trayWindow_ == nullptr) return;
    SetWindowLongPtrW(trayWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    trayData_.uID = NextTrayId();
  }
  trayData_.cbSize = sizeof(NOTIFYICONDATAW);
  trayData_.hWnd = trayWindow_;
  trayData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  trayData_.uCallbackMessage = kSkMsgTrayCallback;
  trayData_.hIcon = SmallIcon();
  trayIconShown_ = Shell_NotifyIconW(NIM_ADD, &trayData_) != FALSE;
}

void TSkDefaultForm::RemoveTrayIcon() {
  if (trayIconShown_) Shell_NotifyIconW(NIM_DELETE, &trayData_);
  trayIconShown_ = false;
}

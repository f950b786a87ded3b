// The skinned window frame without a theme: zones, messages, dragging and
// the window states (see sk_form.h).
#include "skin/frame/sk_form.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "forms/forms_internal.h"
#include "runtime/scope_exit.h"
#include "skin/controls/sk_controls.h"
#include "skin/controls/sk_status_bar.h"
#include "graphics/sk_effect.h"
#include "graphics/sk_guards_gdi.h"

namespace {

// Corners take this many pixels along each border.
constexpr int kCornerSize = 20;
constexpr unsigned kHoverInterval = 400;

}  // namespace

// ---- free functions ------------------------------------------------------------

LRESULT ZoneHitTestValue(int zone, bool moveable, bool sizeable, bool maximized) {
  const bool borders = sizeable && !maximized;
  switch (zone) {
    case hcClient: return HTCLIENT;
    case hcCaption: return moveable ? HTCAPTION : HTCLIENT;
    case hcLeft: return borders ? HTLEFT : HTCLIENT;
    case hcTop: return borders ? HTTOP : HTCLIENT;
    case hcRight: return borders ? HTRIGHT : HTCLIENT;
    case hcBottom: return borders ? HTBOTTOM : HTCLIENT;
    case hcTopLeft: return borders ? HTTOPLEFT : HTCLIENT;
    case hcTopRight: return borders ? HTTOPRIGHT : HTCLIENT;
    case hcBottomLeft: return borders ? HTBOTTOMLEFT : HTCLIENT;
    case hcBottomRight: return borders ? HTBOTTOMRIGHT : HTCLIENT;
    case hcClose: return HTCLOSE;
    case hcHelp: return HTHELP;
    case hcMinimize: return HTMINBUTTON;
    case hcMaximize: return HTMAXBUTTON;
    case hcSysMenu: return HTSYSMENU;
    default: return HTBORDER;
  }
}

bool HasTaskbarButton(HWND window) {
  return GetWindow(window, GW_OWNER) == nullptr || (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0;
}

uint8_t WindowKindOf(TSkBorderStyle style) {
  switch (style) {
    case kbsStandard: return wkStandard;
    case kbsDialog: return wkDialog;
    case kbsBorder: return wkSingle;
    case kbsNone: return wkNone;
    case kbsToolWindow: return wkToolWindow;
  }
  return wkStandard;
}

TskWindowButtons FrameButtons(TSkBorderStyle style, TSkBorderIcons icons, TSkWindowState state) {
  if (style == kbsNone || style == kbsBorder) return 0;
  TskWindowButtons buttons = 0x1FFF;  // kinds 0-12
  auto remove = [&](std::initializer_list<TskWindowButton> kinds) {
    for (TskWindowButton kind : kinds) buttons &= static_cast<TskWindowButtons>(~WindowButtonBit(kind));
  };
  auto has = [&](TSkBorderIcon icon) { return (icons & BorderIconBit(icon)) != 0; };
  if (!has(kbiSystemMenu)) remove({wbSysMenu});
  if (!has(kbiClose)) remove({wbClose});
  if (!has(kbiMaximize)) remove({wbMaximize, wbRestoreMax});
  if (!has(kbiMinimize)) remove({wbMinimize, wbRestoreMin});
  if (!has(kbiTray)) remove({wbTray});
  if (!has(kbiRollup)) remove({wbRollUp, wbRollDown});
  if (!has(kbiHelp)) remove({wbHelp});
  switch (state) {
    case kwsNormal: remove({wbRestoreMin, wbRestoreMax, wbRollDown}); break;
    case kwsMaximized: remove({wbRestoreMin, wbMaximize, wbRollDown}); break;
    case kwsMinimized: remove({wbMinimize, wbRestoreMax, wbRollDown}); break;
    case kwsRollup: remove({wbRestoreMin, wbRollUp}); break;
    case kwsTray: break;
  }
  return buttons;
}

std::vector<TSkSystemMenuEntry> SystemMenuEntries(TSkWindowState state, TSkBorderIcons icons) {
  auto has = [&](TSkBorderIcon icon) { return (icons & BorderIconBit(icon)) != 0; };
  const bool normal = state == kwsNormal, maximized = state == kwsMaximized, rolled = state == kwsRollup;
  std::vector<TSkSystemMenuEntry> entries;
  if (!normal) entries.push_back({L"&Restore", 3, L""});
  if (has(kbiMinimize) && (normal || maximized || rolled)) entries.push_back({L"Mi&nimize", 1, L""});
  if (has(kbiMaximize) && (normal || rolled)) entries.push_back({L"Ma&ximize", 2, L""});
  if (has(kbiRollup) && (normal || maximized)) entries.push_back({L"Ro&llup", 4, L""});
  if (has(kbiTray) && (normal || maximized || rolled)) entries.push_back({L"Minimize to &Tray", 5, L""});
  if (has(kbiClose)) {
    if (!entries.empty()) entries.push_back({L"-", -1, L""});
    entries.push_back({L"&Close", 0, L"Alt+F4"});
  }
  return entries;
}

// ---- TSkDefaultForm: life ----------------------------------------------------------

TSkDefaultForm::TSkDefaultForm(TComponent* owner) : TSkHook(owner), form_(dynamic_cast<TForm*>(owner)) {
  animation_.SetEffectKind("[ RANDOM ] - Random selection");
  if (form_ != nullptr) {
    form_->SetBorderStyle(bsSizeable);
    form_->SetBorderIcons(biMinimize | biMaximize);
  }
  trayData_.cbSize = sizeof(NOTIFYICONDATAW);
  blending_.OnChange = [this] {
    if (!IsLoading()) ReapplyFrame();
  };
  shadow_.OnChange = [this] {
    if (!IsLoading()) ReapplyFrame();
  };
  ThemeManager().RegisterClient(this);
}

TSkDefaultForm::~TSkDefaultForm() {
  UnregisterThemeClient(this);
  if (hoverTimer_ != 0) StopUtilityTimer(hoverTimer_);
  RemoveTrayIcon();
  if (trayWindow_ != nullptr) DestroyWindow(trayWindow_);
}

bool TSkDefaultForm::StatusBarGripAt(int x, int y) const {
  if (form_ == nullptr || !form_->HandleAllocated()) return false;
  RECT window{};
  GetWindowRect(form_->Handle(), &window);
  for (int i = 0; i < form_->ComponentCount(); ++i) {
    auto* bar = dynamic_cast<TSkStatusBar*>(form_->Components(i));
    if (bar == nullptr || !bar->Visible() || !bar->HandleAllocated()) continue;
    const TRect grip = bar->ShownSizeGripRect();
    if (IsRectEmpty(grip)) continue;
    const TPoint origin = bar->ClientToScreen(TPoint{grip.Left, grip.Top});
    const int left = origin.X - window.left;
    const int top = origin.Y - window.top;
    if (PointInRect(TRect{left, top, left + static_cast<int>(RectWidth(grip)), top + static_cast<int>(RectHeight(grip))},
                    x, y)) {
      return true;
    }
  }
  return false;
}

void TSkDefaultForm::Loaded() {
  TSkHook::Loaded();
  if (form_ == nullptr) return;
  form_->HandleNeeded();
  if (!ControlHook() || !ControlHook()->Hooked()) Attach();
  if (dragging_.DragMode == kfdmSystemSettings) {
    BOOL fullDrag = FALSE;
    SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &fullDrag, 0);
    dragging_.DragMode = fullDrag ? kfdmFullDrag : kfdmBorder;
  }
  HWND window = form_->Handle();
  // The taskbar button of a window offers the system menu.
  if (HasTaskbarButton(window)) {
    SetWindowLongW(window, GWL_STYLE, GetWindowLongW(window, GWL_STYLE) | WS_SYSMENU);
  }
  const TRect bounds = form_->BoundsRect();
  windowWidth_ = static_cast<int>(RectWidth(bounds));
  windowHeight_ = static_cast<int>(RectHeight(bounds));
  normalBounds_ = bounds;
  if (pendingState_ != kwsNormal) {
    // Kept out of sight until the recorded state is applied.
    const TRect screen = form_->BoundsRect();
    SetFormBounds(TRect{screen.Left, GetSystemMetrics(SM_CYVIRTUALSCREEN) + 1,
                        screen.Left + windowWidth_, GetSystemMetrics(SM_CYVIRTUALSCREEN) + 1 + windowHeight_});
    const WPARAM code = pendingState_ == kwsMaximized ? 1 : pendingState_ == kwsMinimized ? 2
                        : pendingState_ == kwsRollup  ? 3 : 4;
    PostMessageW(window, kSkMsgApplyState, code, 0);
  } else {
    ReapplyFrame();
  }
  ChainShortCuts();
  if (OnCreate) OnCreate(this);
  if (stayOnTop_) SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  hoverTimer_ = StartUtilityTimer(this, kHoverInterval, [this] { HoverTick(); });
}

// ---- properties -------------------------------------------------------------------

void TSkDefaultForm::SetBorderIcons(TSkBorderIcons value) {
  if (value == borderIcons_) return;
  borderIcons_ = value;
  if (!IsLoading()) ReapplyFrame();
}

void TSkDefaultForm::SetBorderStyle(TSkBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  if (!IsLoading()) ReapplyFrame();
}

std::wstring TSkDefaultForm::Caption() const { return form_ != nullptr ? form_->Caption() : std::wstring(); }

void TSkDefaultForm::SetCaption(const std::wstring& value) {
  if (form_ == nullptr) return;
  form_->SetCaption(value);
  PaintFrame();
}

void TSkDefaultForm::SetStayOnTop(bool value) {
  stayOnTop_ = value;
  if (IsLoading() || form_ == nullptr || !form_->HandleAllocated()) return;
  SetWindowPos(form_->Handle(), value ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TSkDefaultForm::SetWindowState(TSkWindowState value) {
  if (IsLoading()) {
    pendingState_ = value;
    return;
  }
  if (value == state_) return;
  switch (value) {
    case kwsNormal: RestoreForm(); break;
    case kwsMaximized: MaximizeForm(); break;
    case kwsMinimized: MinimizeForm(); break;
    case kwsRollup: RollupForm(); break;
    case kwsTray: MinimizeToTray(); break;
  }
}

int TSkDefaultForm::FrameWidth() const {
  return windowWidth_ - ShadowSize();
}

int TSkDefaultForm::FrameHeight() const {
  return windowHeight_ - ShadowSize();
}

// ---- geometry without a theme -----------------------------------------------------

TRect TSkDefaultForm::ClientRect() {
  TRect rect{0, 0, FrameWidth(), FrameHeight()};
  if (borderStyle_ == kbsNone || borderStyle_ == kbsBorder) return rect;
  const int border = GetSystemMetrics(SM_CXSIZEFRAME);
  const int caption = GetSystemMetrics(borderStyle_ == kbsToolWindow ? SM_CYSMCAPTION : SM_CYCAPTION);
  return TRect{rect.Left + border, rect.Top + border + caption, std::max(rect.Left + border, rect.Right - border),
               std::max(rect.Top + border + caption, rect.Bottom - border)};
}

TRect TSkDefaultForm::ButtonRect(int index) {
  if (borderStyle_ == kbsNone || borderStyle_ == kbsBorder) return TRect{};
  const TRect client = ClientRect();
  const int captionHeight = client.Top - GetSystemMetrics(SM_CYSIZEFRAME);
  const int size = captionHeight - 2;
  const int top = GetSystemMetrics(SM_CYSIZEFRAME) + 1;
  if (index == 1) {
    if (!HasIcon(kbiSystemMenu)) return TRect{};
    const int icon = std::min(size, GetSystemMetrics(SM_CXSMICON));
    const int y = top + (size - icon) / 2;
    return TRect{client.Left + 2, y, client.Left + 2 + icon, y + icon};
  }
  const bool minimized = state_ == kwsMinimized;
  // Laid out from the right: close, maximize, minimize, roll-up, tray, help.
  const std::pair<int, bool> order[] = {
      {0, HasIcon(kbiClose)},
      {3, HasIcon(kbiMaximize) && !minimized},
      {2, HasIcon(kbiMinimize)},
      {5, HasIcon(kbiRollup) && !minimized},
      {6, HasIcon(kbiTray) && !minimized},
      {4, HasIcon(kbiHelp) && !minimized && state_ != kwsRollup},
  };
  int right = client.Right - 2;
  for (const auto& [button, shown] : order) {
    if (!shown) continue;
    if (button == index) return TRect{right - size, top, right, top + size};
    right -= size + 2;
  }
  return TRect{};
}

TRect TSkDefaultForm::SizeGripRect() {
  const TRect client = ClientRect();
  const int size = GetSystemMetrics(SM_CXVSCROLL);
  return TRect{client.Right - size, client.Bottom - size, client.Right, client.Bottom};
}

int TSkDefaultForm::ZoneAt(int x, int y) {
  const TRect client = ClientRect();
  int zone = hcClient;
  if (y < client.Top) zone = hcCaption;
  const std::pair<int, int> buttons[] = {{1, hcSysMenu}, {0, hcClose}, {2, hcMinimize}, {3, hcMaximize},
                                         {4, hcHelp},    {5, hcRoll},  {6, hcTray}};
  for (const auto& [index, buttonZone] : buttons) {
    if (PointInRect(ButtonRect(index), x, y)) return buttonZone;
  }
  if (state_ == kwsMaximized || state_ == kwsMinimized || state_ == kwsRollup) return zone;
  const int width = FrameWidth(), height = FrameHeight();
  const int frameTop = borderStyle_ == kbsNone || borderStyle_ == kbsBorder ? 0 : GetSystemMetrics(SM_CYSIZEFRAME);
  if (y < frameTop) {
    zone = x < kCornerSize ? hcTopLeft : x > width - kCornerSize ? hcTopRight : hcTop;
  } else if (y >= client.Bottom) {
    zone = x < kCornerSize ? hcBottomLeft : x > width - kCornerSize ? hcBottomRight : hcBottom;
  } else if (x < client.Left) {
    zone = y < kCornerSize ? hcTopLeft : y > height - kCornerSize ? hcBottomLeft : hcLeft;
  } else if (x >= client.Right) {
    zone = y < kCornerSize ? hcTopRight : y > height - kCornerSize ? hcBottomRight : hcRight;
  }
  if (zone == hcClient && dragging_.Sizeable && PointInRect(SizeGripRect(), x, y)) zone = hcBottomRight;
  if (zone == hcClient && StatusBarGripAt(x, y)) zone = hcBottomRight;
  return zone;
}

TRect TSkDefaultForm::WorkArea() {
  if (form_ != nullptr && form_->Parent() != nullptr) return form_->Parent()->ClientRect();
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  HMONITOR monitor = MonitorFromWindow(form_ != nullptr ? form_->Handle() : nullptr, MONITOR_DEFAULTTONEAREST);
  if (!GetMonitorInfoW(monitor, &info)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
  return TRect{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

TRect TSkDefaultForm::MaximizedRect() {
  TRect area = WorkArea();
  const int left = ClientRect().Left;
  return TRect{area.Left - left, area.Top - left, area.Right + left, area.Bottom + left};
}

TRect TSkDefaultForm::RolledUpRect() {
  const TRect bounds = form_->BoundsRect();
  const TRect client = ClientRect();
  // The shadow stays under the rolled-up frame.
  return TRect{bounds.Left, bounds.Top, bounds.Right,
               bounds.Top + FrameHeight() - static_cast<int>(RectHeight(client)) + ShadowSize()};
}

TRect TSkDefaultForm::MinimizedRect() {
  const TRect area = WorkArea();
  const TRect client = ClientRect();
  const int height = FrameHeight() - static_cast<int>(RectHeight(client));
  const int width = GetSystemMetrics(SM_CXMINIMIZED);
  return TRect{area.Left, area.Bottom - height, area.Left + width, area.Bottom};
}

TSize TSkDefaultForm::MaxTrackSize() {
  const TRect maximized = MaximizedRect();
  return TSize{constraints_.MaxWidth > 0 ? constraints_.MaxWidth : static_cast<int>(RectWidth(maximized)),
               constraints_.MaxHeight > 0 ? constraints_.MaxHeight : static_cast<int>(RectHeight(maximized))};
}

TSize TSkDefaultForm::MinTrackSize() {
  return TSize{constraints_.MinWidth > 0 ? constraints_.MinWidth : 150,
               constraints_.MinHeight > 0 ? constraints_.MinHeight : 40};
}

HRGN TSkDefaultForm::WindowRegion() { return nullptr; }

void TSkDefaultForm::UpdateRegion() {
  if (form_ == nullptr || !form_->HandleAllocated()) return;
  HRGN region = RegionWithShadow(WindowRegion(), FrameWidth(), FrameHeight(), ShadowSize());
  SetWindowRgn(form_->Handle(), region, TRUE);
  if (persistentBuffer_) persistentBuffer_->SetSize(std::max(1, windowWidth_), std::max(1, windowHeight_));
  if (OnResize) OnResize(this);
}

void TSkDefaultForm::FrameMargins(int& left, int& top, int& right, int& bottom) {
  const TRect client = ClientRect();
  left = client.Left;
  top = client.Top;
  // The shadow band belongs to the frame.
  right = windowWidth_ - client.Right;
  bottom = windowHeight_ - client.Bottom;
}

TPoint TSkDefaultForm::ToWindow(TPoint screen) const {
  RECT r{};
  GetWindowRect(form_->Handle(), &r);
  return TPoint{screen.X - r.left, screen.Y - r.top};
}

// ---- painting without a theme --------------------------------------------------------

HICON TSkDefaultForm::SmallIcon() const {
  if (HICON icon = form_->Icon().SmallHandle()) return icon;
  if (HICON icon = Application->Icon().SmallHandle()) return icon;
  return LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
}

void TSkDefaultForm::DrawFrame(TCanvas& canvas) {
  canvas.WithHandle([&](HDC dc) {
    const TRect window{0, 0, FrameWidth(), FrameHeight()};
    const TRect client = ClientRect();
    FillRectColor(dc, window, clBtnFace);
    if (client.Top <= GetSystemMetrics(SM_CYSIZEFRAME)) return;
    const TRect band{client.Left, GetSystemMetrics(SM_CYSIZEFRAME), client.Right, client.Top};
    FillRectColor(dc, band, captionActive_ ? clActiveCaption : clInactiveCaption);
    const TRect icon = ButtonRect(1);
    if (!IsRectEmpty(icon)) {
      DrawIconEx(dc, icon.Left, icon.Top, SmallIcon(), static_cast<int>(RectWidth(icon)),
                 static_cast<int>(RectHeight(icon)), 0, nullptr, DI_NORMAL);
    }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    TGdiFont font(CreateFontIndirectW(&metrics.lfCaptionFont));
    TSelectObject selected(dc, font.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(captionActive_ ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    RECT text{IsRectEmpty(icon) ? band.Left + 4 : icon.Right + 4, band.Top, band.Right, band.Bottom};
    for (int index : {0, 2, 3, 4, 5, 6}) {
      const TRect r = ButtonRect(index);
      if (!IsRectEmpty(r)) text.right = std::min(text.right, static_cast<LONG>(r.Left - 2));
    }
    const std::wstring caption = Caption();
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    const std::pair<int, int> buttons[] = {{0, hcClose}, {2, hcMinimize}, {3, hcMaximize},
                                           {4, hcHelp},  {5, hcRoll},     {6, hcTray}};
    for (const auto& [index, zone] : buttons) {
      const TRect r = ButtonRect(index);
      if (IsRectEmpty(r)) continue;
      UINT kind = DFCS_BUTTONPUSH;
      UINT type = DFC_BUTTON;
      if (index == 0) type = DFC_CAPTION, kind = DFCS_CAPTIONCLOSE;
      if (index == 2) type = DFC_CAPTION, kind = state_ == kwsMinimized ? DFCS_CAPTIONRESTORE : DFCS_CAPTIONMIN;
      if (index == 3) type = DFC_CAPTION, kind = state_ == kwsMaximized ? DFCS_CAPTIONRESTORE : DFCS_CAPTIONMAX;
      if (index == 4) type = DFC_CAPTION, kind = DFCS_CAPTIONHELP;
      if (pressedZone_ == zone && hotZone_ == zone) kind |= DFCS_PUSHED;
      RECT rr = ToRECT(r);
      DrawFrameControl(dc, &rr, type, kind);
      if (index == 5 || index == 6) {
        // Roll-up: a bar at the top; tray: a bar at the bottom.
        const int y = index == 5 ? r.Top + 3 : r.Bottom - 5;
        FillRectColor(dc, TRect{r.Left + 3, y, r.Right - 3, y + 2}, clBtnText);
      }
    }
  });
}

void TSkDefaultForm::PaintSizeGrip(TCanvas& canvas) {
  canvas.WithHandle([&](HDC dc) { FillRectColor(dc, SizeGripRect(), clBtnFace); });
}

void TSkDefaultForm::PaintClientBackground(TCanvas& canvas) {
  canvas.WithHandle([&](HDC dc) { FillRectColor(dc, ClientRect(), form_->Color()); });
}

void TSkDefaultForm::DrawFrameOn(HDC dc) {
  TSkBorrowedCanvas canvas(dc);
  DrawFrame(canvas);
}

void TSkDefaultForm::PaintFrame() {
  if (popupShowing_) {
    framePaintMissed_ = true;
    return;
  }
  if (!framePaintEnabled_ || form_ == nullptr || !form_->HandleAllocated() || !ControlHook()) return;
  if (FrameWidth() <= 0 || FrameHeight() <= 0) return;
  const TRect client = ClientRect();
  const TRect window{0, 0, FrameWidth(), FrameHeight()};
  if (client == window && ShadowSize() == 0) return;
  HWND handle = form_->Handle();
  HDC dc = GetWindowDC(handle);
  if (dc == nullptr) return;
  const TScopeExit release([handle, dc] { ReleaseDC(handle, dc); });
  TSavedDC saved(dc);
  ExcludeClipRect(dc, client.Left, client.Top, client.Right, client.Bottom);
  if (performance_ == qvfpNoBuffer && !Composed()) {
    // The caption band is composed off-screen so that it never flickers;
    // the borders below it are drawn in place.
    TskBitmap band;
    band.SetSize(FrameWidth(), std::max(1, static_cast<int>(client.Top)));
    DrawFrameOn(band.DC());
    {
      TSavedDC below(dc);
      ExcludeClipRect(dc, 0, 0, FrameWidth(), client.Top);
      DrawFrameOn(dc);
    }
    BitBlt(dc, 0, 0, FrameWidth(), client.Top, band.DC(), 0, 0, SRCCOPY);
    return;
  }
  const int width = windowWidth_, height = windowHeight_;
  TskBitmap temporary;
  TskBitmap* target = &temporary;
  if (performance_ == qvfpSharedBuffer && SharedBuffer().Width() >= width && SharedBuffer().Height() >= height) {
    target = &SharedBuffer();
  } else if (performance_ == qvfpPersistentBuffer) {
    if (!persistentBuffer_) persistentBuffer_ = std::make_unique<TskBitmap>();
    if (persistentBuffer_->Width() != width || persistentBuffer_->Height() != height) {
      persistentBuffer_->SetSize(width, height);
    }
    target = persistentBuffer_.get();
  } else {
    temporary.SetSize(width, height);
  }
  TskBitmap& buffer = *target;
  DrawFrameOn(buffer.DC());
  if (Composed()) ComposeShadowAndBlending(buffer);
  // Four strips: caption band, left, right, bottom.
  const TRect strips[] = {{0, 0, width, client.Top},
                          {0, client.Top, client.Left, client.Bottom},
                          {client.Right, client.Top, width, client.Bottom},
                          {0, client.Bottom, width, height}};
  for (const TRect& s : strips) {
    if (IsRectEmpty(s)) continue;
    BitBlt(dc, s.Left, s.Top, static_cast<int>(RectWidth(s)), static_cast<int>(RectHeight(s)), buffer.DC(), s.Left,
           s.Top, SRCCOPY);
  }
}

void TSkDefaultForm::ReapplyFrame() {
  if (form_ == nullptr || !form_->HandleAllocated()) return;
  HWND handle = form_->Handle();
  RECT before{};
  GetClientRect(handle, &before);
  if (Composed()) CaptureBackground(form_->BoundsRect());
  SetWindowPos(handle, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT after{};
  GetClientRect(handle, &after);
  const int dw = (before.right - before.left) - (after.right - after.left);
  const int dh = (before.bottom - before.top) - (after.bottom - after.top);
  if ((dw != 0 || dh != 0) && state_ == kwsNormal) {
    const TRect bounds = form_->BoundsRect();
    SetFormBounds(TRect{bounds.Left, bounds.Top, bounds.Right + dw, bounds.Bottom + dh});
  }
  // The region follows the frame even when the window's size stayed (the
  // same margins, a maximized window): the resize above updates it only
  // when the size changed.
  UpdateRegion();
  RedrawWindow(handle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TSkDefaultForm::CaptureBackground(const TRect& screenBounds) {
  auto picture = std::make_unique<TskBitmap>();
  if (CaptureScreen(*picture, screenBounds)) backgroundImage_ = std::move(picture);
}

void TSkDefaultForm::BlendWithBackground(TskBitmap& picture, const TRect& area) {
  const TskBitmap* background = backgroundImage_.get();
  for (int y = std::max(0, area.Top); y < std::min(area.Bottom, picture.Height()); ++y) {
    TskPixel* row = picture.Row(y);
    for (int x = std::max(0, area.Left); x < std::min(area.Right, picture.Width()); ++x) {
      row[x] = MixPixels(row[x], BackgroundPixel(background, x, y), blending_.Value());
    }
  }
}

void TSkDefaultForm::ComposeShadowAndBlending(TskBitmap& buffer) {
  ::ComposeShadowAndBlending(buffer, backgroundImage_.get(), FrameWidth(), FrameHeight(), ClientRect(), blending_,
                             ShadowSize());
}

std::unique_ptr<TskBitmap> TSkDefaultForm::ComposeShowPicture() {
  auto image = std::make_unique<TskBitmap>();
  const int width = std::max(1, FrameWidth()), height = std::max(1, FrameHeight());
  image->SetSize(width, height);
  HDC dc = image->DC();
  const bool active = std::exchange(captionActive_, true);
  DrawFrameOn(dc);
  captionActive_ = active;
  {
    TSkBorrowedCanvas canvas(dc);
    PaintClientBackground(canvas);
  }
  const TRect client = ClientRect();
  for (int i = 0; i < form_->ControlCount(); ++i) {
    auto* child = dynamic_cast<TWinControl*>(form_->Controls(i));
    if (child != nullptr && child->Visible()) child->PaintTo(dc, client.Left + child->Left(), client.Top + child->Top());
  }
  {
    TSavedDC saved(dc);
    SetViewportOrgEx(dc, client.Left, client.Top, nullptr);
    IntersectClipRect(dc, 0, 0, static_cast<int>(RectWidth(client)), static_cast<int>(RectHeight(client)));
    form_->PaintControls(dc, nullptr);
  }
  GdiFlush();
  // What lies outside the region shows the screen behind: the key colour.
  TskBitmap mask;
  HRGN region = WindowRegion();
  if (region != nullptr) {
    mask.SetSize(width, height);
    mask.Fill(0);
    TGdiBrush white(CreateSolidBrush(RGB(255, 255, 255)));
    FillRgn(mask.DC(), region, white.Get());
    DeleteObject(region);
    GdiFlush();
  }
  constexpr TskPixel kOpaqueKey = kKeyColor | 0xFF000000u;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      TskPixel& pixel = image->Row(y)[x];
      const bool nearKey = std::abs(PixelRed(pixel) - PixelRed(kKeyColor)) <= 5 &&
                           std::abs(PixelGreen(pixel) - PixelGreen(kKeyColor)) <= 5 &&
                           std::abs(PixelBlue(pixel) - PixelBlue(kKeyColor)) <= 5;
      const bool outside =
          region != nullptr &&
          (mask.Row(y)[x] & 0x00FFFFFF) == 0;
      pixel = nearKey || outside ? kOpaqueKey : (pixel | 0xFF000000u);
    }
  }
  return image;
}

void TSkDefaultForm::RunShowAnimation(const TRect& screenBounds) {
  if (animating_ || !animation_.Enabled() || form_ == nullptr) return;
  Application->ProcessMessages();
  animating_ = true;
  const TScopeExit done([this] { animating_ = false; });
  const int width = static_cast<int>(RectWidth(screenBounds)), height = static_cast<int>(RectHeight(screenBounds));
  if (width <= 0 || height <= 0) return;
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return;
  const TScopeExit release([screen] { ReleaseDC(nullptr, screen); });
  TskBitmap background;
  background.SetSize(width, height);
  BitBlt(background.DC(), 0, 0, width, height, screen, screenBounds.Left, screenBounds.Top, SRCCOPY);
  GdiFlush();
  std::unique_ptr<TskBitmap> picture = ComposeShowPicture();
  TskDcCanvas canvas(screen);
  RunEffect(&canvas, screenBounds.Left, screenBounds.Top, &background, picture.get(), animation_.AnimationRec());
}

void TSkDefaultForm::ThemeChanged(TskThemeChange code, intptr_t) {
  // While loading the frame is measured once loading ends.
  if (IsLoading() || form_ == nullptr || !form_->HandleAllocated()) return;
  if (code == tcReplaced || code == tcSet || code == tcRemoved) {
    ReapplyFrame();
    if (state_ == kwsMaximized) SetFormBounds(MaximizedRect());
  } else if (code == tcColors) {
    PaintFrame();
    form_->Realign();
  }
}

#include "forms/controls.h"

#include <windowsx.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "forms/forms.h"
#include "forms/forms_internal.h"
#include "runtime/scope_exit.h"

namespace {

// The window property that leads from a window to its control.
constexpr wchar_t kControlProperty[] = L"EbookFormsControl";

// All windows of the framework live on one thread (the window thread), so
// this state needs no lock.

// The control whose window is being created: the platform sends messages
// before CreateWindowEx returns, and the first of them binds the window.
TWinControl* creatingControl = nullptr;

// Handlers of the framework running (window procedures, timer ticks), and
// the released forms waiting for the count to drop to zero.
int dispatchDepth = 0;
std::vector<TWinControl*> pendingReleases;

void FreePendingReleases() {
  while (dispatchDepth == 0 && !pendingReleases.empty()) {
    TWinControl* control = pendingReleases.back();
    pendingReleases.pop_back();
    delete control;
  }
}

bool IsButtonDown(UINT msg) {
  return msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN || msg == WM_LBUTTONDBLCLK ||
         msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK;
}

bool IsButtonUp(UINT msg) { return msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP; }

bool IsMouseMessage(UINT msg) { return msg == WM_MOUSEMOVE || IsButtonDown(msg) || IsButtonUp(msg); }

UINT SingleClick(UINT msg) {
  switch (msg) {
    case WM_LBUTTONDBLCLK: return WM_LBUTTONDOWN;
    case WM_RBUTTONDBLCLK: return WM_RBUTTONDOWN;
    case WM_MBUTTONDBLCLK: return WM_MBUTTONDOWN;
  }
  return msg;
}

TShiftState MouseShiftState(WPARAM keys) {
  TShiftState shift = 0;
  if (keys & MK_SHIFT) shift |= ssShift;
  if (keys & MK_CONTROL) shift |= ssCtrl;
  if (keys & MK_LBUTTON) shift |= ssLeft;
  if (keys & MK_RBUTTON) shift |= ssRight;
  if (keys & MK_MBUTTON) shift |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  return shift;
}

TWinControl* AsWindowed(TControl* control) { return dynamic_cast<TWinControl*>(control); }

}  // namespace

TShiftState KeyboardShiftState() {
  TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  if (GetKeyState(VK_LBUTTON) < 0) shift |= ssLeft;
  if (GetKeyState(VK_RBUTTON) < 0) shift |= ssRight;
  if (GetKeyState(VK_MBUTTON) < 0) shift |= ssMiddle;
  return shift;
}

TWinControl* FindControl(HWND window) {
  if (window == nullptr) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return nullptr;
  return static_cast<TWinControl*>(GetPropW(window, kControlProperty));
}

TForm* GetParentForm(const TControl* control) {
  for (auto* c = const_cast<TControl*>(control); c != nullptr; c = c->Parent()) {
    if (auto* form = dynamic_cast<TForm*>(c)) return form;
  }
  return nullptr;
}

// ---- the window procedure --------------------------------------------------

LRESULT CALLBACK ControlWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* control = static_cast<TWinControl*>(GetPropW(window, kControlProperty));
  if (control == nullptr) {
    if (creatingControl == nullptr) return DefWindowProcW(window, msg, wParam, lParam);
    control = std::exchange(creatingControl, nullptr);
    SetPropW(window, kControlProperty, control);
    control->AttachHandle(window);
  }
  if (msg == WM_NCDESTROY) {
    RemovePropW(window, kControlProperty);
    control->handle_ = nullptr;
    control->mouseInside_ = false;
    control->hotControl_ = nullptr;
    control->captureControl_ = nullptr;
    return DefWindowProcW(window, msg, wParam, lParam);
  }
  // Nothing runs on a window whose control, or whose form, is going away.
  if (control->IsDestroying() || control->TopLevel()->IsDestroying()) {
    return DefWindowProcW(window, msg, wParam, lParam);
  }
  if (msg == CM_RELEASE) {
    // A released form is destroyed only when no handler of the framework is
    // running: none of them may be left running on a destroyed object, even
    // when it pumps messages in a nested loop.
    if (std::find(pendingReleases.begin(), pendingReleases.end(), control) == pendingReleases.end()) {
      pendingReleases.push_back(control);
    }
    FreePendingReleases();
    return 0;
  }
  TMessage message{msg, wParam, lParam, 0};
  EnterDispatch();
  try {
    control->WindowProc(message);
  } catch (...) {
    Application->HandleException(control);
  }
  LeaveDispatch();
  return message.Result;
}

void EnterDispatch() { ++dispatchDepth; }

void LeaveDispatch() {
  --dispatchDepth;
  FreePendingReleases();
}

// ---- TControl ----------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner) {
  WindowProc = [this](TMessage& message) { WndProc(message); };
  font_.OnChange = [this](TObject*) {
    if (!followingParent_) parentFont_ = false;
    Perform(CM_FONTCHANGED);
  };
}

TControl::~TControl() {
  Destroying();
  if (parent_ != nullptr) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (TWinControl* p = parent; p != nullptr; p = p->parent_) {
    if (p == this) throw EInvalidOperation("A control cannot have itself or its child as parent");
  }
  if (parent_ != nullptr) parent_->RemoveControl(this);
  if (parent != nullptr) parent->InsertControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  if (visible_) InvalidateControl();
  const bool sizeChanged = width != width_ || height != height_;
  StoreBounds(left, top, width, height);
  if (visible_) InvalidateControl();
  BoundsChanged(sizeChanged);
}

void TControl::BoundsChanged(bool sizeChanged) {
  if (align_ != alNone) RequestAlign();
  if (sizeChanged && !IsLoading()) Resize();
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::SetClientSize(int width, int height) {
  const TRect client = ClientRect();
  SetBounds(left_, top_, width_ - static_cast<int>(RectWidth(client)) + width,
            height_ - static_cast<int>(RectHeight(client)) + height);
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  const TAlign old = align_;
  align_ = align;
  if (parent_ != nullptr && (old != alNone || align != alNone)) parent_->Realign();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (AsWindowed(this) == nullptr) InvalidateControl();
  Perform(CM_VISIBLECHANGED, visible ? 1 : 0);
  if (align_ != alNone) RequestAlign();
}

bool TControl::Showing() const { return visible_ && parent_ != nullptr && parent_->Showing(); }

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Perform(CM_ENABLEDCHANGED);
}

void TControl::SetParentFont(bool value) {
  if (value == parentFont_) return;
  parentFont_ = value;
  if (value) FollowParentFont();
}

void TControl::FollowParentFont() {
  if (parent_ == nullptr) return;
  followingParent_ = true;
  const TScopeExit reset([this] { followingParent_ = false; });
  font_.Assign(parent_->Font());
}

void TControl::SetColor(TColor colour) {
  parentColor_ = false;
  if (colour == color_) return;
  color_ = colour;
  Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool value) {
  if (value == parentColor_) return;
  parentColor_ = value;
  if (value) FollowParentColor();
}

void TControl::FollowParentColor() {
  if (parent_ == nullptr || parent_->Color() == color_) return;
  color_ = parent_->Color();
  Perform(CM_COLORCHANGED);
}

void TControl::SetText(std::wstring_view text) {
  if (text == text_) return;
  text_ = text;
  Perform(CM_TEXTCHANGED);
}

void TControl::InvalidateControl() {
  if (parent_ == nullptr || parent_->handle_ == nullptr || parent_->IsDestroying()) return;
  const RECT r = ToRECT(BoundsRect());
  InvalidateRect(parent_->handle_, &r, (controlStyle_ & csOpaque) ? FALSE : TRUE);
}

void TControl::Invalidate() {
  if (visible_) InvalidateControl();
}

void TControl::Update() {
  if (parent_ != nullptr) parent_->Update();
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessage message{msg, wParam, lParam, 0};
  WindowProc(message);
  return message.Result;
}

TWinControl* TControl::HostWindow(TPoint* offset) const {
  if (auto* windowed = dynamic_cast<const TWinControl*>(this)) {
    if (offset != nullptr) *offset = TPoint{};
    return const_cast<TWinControl*>(windowed);
  }
  if (offset != nullptr) *offset = TPoint{left_, top_};
  return parent_;
}

TPoint TControl::ClientToScreen(TPoint point) const {
  TPoint offset;
  TWinControl* host = HostWindow(&offset);
  POINT p{point.X + offset.X, point.Y + offset.Y};
  if (host != nullptr && host->HandleAllocated()) ::ClientToScreen(host->handle_, &p);
  return TPoint{p.x, p.y};
}

TPoint TControl::ScreenToClient(TPoint point) const {
  TPoint offset;
  TWinControl* host = HostWindow(&offset);
  POINT p{point.X, point.Y};
  if (host != nullptr && host->HandleAllocated()) ::ScreenToClient(host->handle_, &p);
  return TPoint{p.x - offset.X, p.y - offset.Y};
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::RequestAlign() {
  if (parent_ != nullptr && !parent_->aligning_) parent_->Realign();
}

void TControl::Loaded() {
  TComponent::Loaded();
  if (parentFont_) FollowParentFont();
  if (parentColor_) FollowParentColor();
}

void TControl::WndProc(TMessage& message) {
  const UINT msg = message.Msg;
  if (IsMouseMessage(msg)) {
    const int x = GET_X_LPARAM(message.LParam);
    const int y = GET_Y_LPARAM(message.LParam);
    const TShiftState shift = MouseShiftState(message.WParam);
    const TShiftState dbl = (msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK)
                                ? TShiftState{ssDouble}
                                : TShiftState{0};
    switch (msg) {
      case WM_MOUSEMOVE: MouseMove(shift, x, y); break;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        if (controlStyle_ & csClickEvents) clickPending_ = true;
        MouseDown(mbLeft, shift | dbl, x, y);
        break;
      case WM_RBUTTONDOWN:
      case WM_RBUTTONDBLCLK: MouseDown(mbRight, shift | dbl, x, y); break;
      case WM_MBUTTONDOWN:
      case WM_MBUTTONDBLCLK: MouseDown(mbMiddle, shift | dbl, x, y); break;
      case WM_LBUTTONUP: {
        const bool click = std::exchange(clickPending_, false);
        if (click && PointInRect(ClientRect(), x, y)) Click();
        MouseUp(mbLeft, shift, x, y);
        break;
      }
      case WM_RBUTTONUP: MouseUp(mbRight, shift, x, y); break;
      case WM_MBUTTONUP: MouseUp(mbMiddle, shift, x, y); break;
    }
    DefaultHandler(message);
    return;
  }
  switch (msg) {
    case CM_ENABLEDCHANGED:
    case CM_COLORCHANGED:
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED: Invalidate(); return;
    case CM_PARENTFONTCHANGED:
      if (parentFont_) FollowParentFont();
      return;
    case CM_PARENTCOLORCHANGED:
      if (parentColor_) FollowParentColor();
      return;
    case CM_VISIBLECHANGED:
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
    case CM_DIALOGCHAR:
    case CM_CONTROLLISTCHANGE: return;
  }
  DefaultHandler(message);
}

// ---- TControlCanvas ----------------------------------------------------------

HDC TControlCanvas::AcquireHandle() {
  TPoint offset;
  TWinControl* host = control_.HostWindow(&offset);
  if (host == nullptr) {
    throw EInvalidOperation(Format("Control '%s' has no parent window", control_.Name().c_str()));
  }
  window_ = host->Handle();
  HDC dc = GetDC(window_);
  if (dc == nullptr) throw EOutOfResources("Out of system resources");
  if (host != &control_) {
    SetViewportOrgEx(dc, offset.X, offset.Y, nullptr);
    IntersectClipRect(dc, 0, 0, control_.Width(), control_.Height());
  }
  return dc;
}

void TControlCanvas::ReleaseHandle(HDC dc) {
  ReleaseDC(window_, dc);
  window_ = nullptr;
}

// ---- TGraphicControl ---------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), canvas_(*this) { canvas_.Font().Assign(Font()); }

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WndProc(TMessage& message) {
  if (message.Msg == WM_PAINT && message.WParam != 0) {
    canvas_.SetHandle(reinterpret_cast<HDC>(message.WParam));
    const TScopeExit letGo([this] { canvas_.SetHandle(nullptr); });
    canvas_.Font().Assign(Font());
    canvas_.Brush().SetColor(Color());
    Paint();
    return;
  }
  if (message.Msg == CM_FONTCHANGED) canvas_.Font().Assign(Font());
  TControl::WndProc(message);
}

// ---- TWinControl -------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  Destroying();
  pendingReleases.erase(std::remove(pendingReleases.begin(), pendingReleases.end(), this), pendingReleases.end());
  DestroyComponents();
  // Controls owned elsewhere still go with the window they are in.
  while (!controls_.empty()) delete controls_.back();
  if (TForm* form = GetParentForm(this)) {
    if (form != this) form->ForgetControl(this);
  }
  DestroyHandle();
  if (Parent() != nullptr) Parent()->RemoveControl(this);
}

TWinControl* TWinControl::TopLevel() {
  TWinControl* control = this;
  while (control->Parent() != nullptr) control = control->Parent();
  return control;
}

HWND TWinControl::Handle() {
  if (handle_ == nullptr) {
    // The parent's window is made first; making it makes this one too.
    if (Parent() != nullptr) Parent()->HandleNeeded();
    if (handle_ == nullptr) CreateWnd();
  }
  return handle_;
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.Caption = Text();
  params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (Visible()) params.Style |= WS_VISIBLE;
  if (!Enabled()) params.Style |= WS_DISABLED;
  if (tabStop_) params.Style |= WS_TABSTOP;
  params.X = Left();
  params.Y = Top();
  params.Width = Width();
  params.Height = Height();
  params.WndParent = Parent() != nullptr ? Parent()->Handle() : nullptr;
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & WS_CHILD) && params.WndParent == nullptr) {
    throw EInvalidOperation(Format("Control '%s' has no parent window", Name().c_str()));
  }
  RegisterFrameworkClass(params.ClassName, params.ClassStyle, ControlWindowProc);
  creatingControl = this;
  HWND window =
      CreateWindowExW(params.ExStyle, params.ClassName.c_str(), params.Caption.c_str(), params.Style, params.X,
                      params.Y, params.Width, params.Height, params.WndParent, nullptr, ModuleInstance(), nullptr);
  creatingControl = nullptr;
  if (window == nullptr) {
    const DWORD error = GetLastError();
    handle_ = nullptr;
    throw EOutOfResources(Format("System Error.  Code: %lu.", static_cast<unsigned long>(error)));
  }
  handle_ = window;
  UpdateBoundsFromWindow();
  HandleCreated();
  for (TControl* control : std::vector<TControl*>(controls_)) {
    if (TWinControl* child = AsWindowed(control); child != nullptr && child->handle_ == nullptr) child->CreateWnd();
  }
}

void TWinControl::DestroyHandle() {
  if (handle_ == nullptr) return;
  if (captureControl_ != nullptr && GetCapture() == handle_) ReleaseCapture();
  DestroyWindow(handle_);
  // WM_NCDESTROY has cleared handle_; a window of another thread cannot be
  // destroyed from here, and is forgotten.
  handle_ = nullptr;
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) throw EListError(Format("List index out of bounds (%d)", index));
  return controls_[static_cast<size_t>(index)];
}

TControl* TWinControl::ControlAtPos(TPoint point, bool allowDisabled) const {
  for (size_t i = controls_.size(); i > 0; --i) {
    TControl* control = controls_[i - 1];
    if (AsWindowed(control) != nullptr || !control->Visible()) continue;
    if (!allowDisabled && !control->Enabled()) continue;
    if (PointInRect(control->BoundsRect(), point.X, point.Y)) return control;
  }
  return nullptr;
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  control->parent_ = this;
  control->alignSequence_ = nextAlignSequence_++;
  TWinControl* windowed = AsWindowed(control);
  if (windowed != nullptr) tabList_.push_back(windowed);
  if (control->parentFont_) control->FollowParentFont();
  if (control->parentColor_) control->FollowParentColor();
  if (windowed != nullptr) {
    if (handle_ != nullptr && windowed->handle_ == nullptr) windowed->CreateWnd();
  } else {
    control->Invalidate();
  }
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(control), TRUE);
  if (control->Align() != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* control) {
  auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it == controls_.end()) return;
  if (hotControl_ == control) hotControl_ = nullptr;
  if (captureControl_ == control) {
    captureControl_ = nullptr;
    if (handle_ != nullptr && GetCapture() == handle_) ReleaseCapture();
  }
  TWinControl* windowed = AsWindowed(control);
  if (windowed != nullptr) {
    if (TForm* form = GetParentForm(this)) form->ForgetControl(windowed);
    windowed->DestroyHandle();
    tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), windowed), tabList_.end());
  } else if (control->Visible()) {
    control->InvalidateControl();
  }
  controls_.erase(std::find(controls_.begin(), controls_.end(), control));
  control->parent_ = nullptr;
  if (IsDestroying()) return;
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(control), FALSE);
  if (control->Align() != alNone && control->Visible()) Realign();
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == Left() && top == Top() && width == Width() && height == Height()) return;
  if (handle_ != nullptr && !IsIconic(handle_)) {
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateBoundsFromWindow();
    return;
  }
  const bool sizeChanged = width != Width() || height != Height();
  StoreBounds(left, top, width, height);
  BoundsChanged(sizeChanged);
}

void TWinControl::UpdateBoundsFromWindow() {
  if (handle_ == nullptr || IsIconic(handle_)) return;
  RECT r{};
  GetWindowRect(handle_, &r);
  if (GetWindowLongW(handle_, GWL_STYLE) & WS_CHILD) {
    MapWindowPoints(HWND_DESKTOP, GetParent(handle_), reinterpret_cast<POINT*>(&r), 2);
  }
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (r.left == Left() && r.top == Top() && width == Width() && height == Height()) return;
  const bool sizeChanged = width != Width() || height != Height();
  StoreBounds(r.left, r.top, width, height);
  BoundsChanged(sizeChanged);
}

void TWinControl::BoundsChanged(bool sizeChanged) {
  if (sizeChanged) Realign();
  TControl::BoundsChanged(sizeChanged);
}

TRect TWinControl::ClientRect() const {
  if (handle_ != nullptr) {
    RECT r{};
    GetClientRect(handle_, &r);
    return ToTRect(r);
  }
  return TControl::ClientRect();
}

void TWinControl::SetVisible(bool visible) {
  if (visible == Visible()) return;
  TControl::SetVisible(visible);
  if (handle_ != nullptr) {
    ShowWindow(handle_, visible ? SW_SHOWNOACTIVATE : SW_HIDE);
  } else if (visible && Parent() != nullptr && Parent()->HandleAllocated()) {
    HandleNeeded();
  }
}

void TWinControl::SetEnabled(bool enabled) {
  if (enabled == Enabled()) return;
  TControl::SetEnabled(enabled);
  if (handle_ != nullptr) EnableWindow(handle_, enabled ? TRUE : FALSE);
}

void TWinControl::SetText(std::wstring_view text) {
  if (text == Text()) return;
  if (handle_ != nullptr) {
    // The window procedure stores the text (hooks see WM_SETTEXT).
    const std::wstring copy(text);
    SetWindowTextW(handle_, copy.c_str());
    return;
  }
  TControl::SetText(text);
}

bool TWinControl::Showing() const { return handle_ != nullptr && IsWindowVisible(handle_); }

void TWinControl::Invalidate() {
  if (handle_ != nullptr) InvalidateRect(handle_, nullptr, (ControlStyle() & csOpaque) ? FALSE : TRUE);
}

void TWinControl::Update() {
  if (handle_ != nullptr) UpdateWindow(handle_);
}

void TWinControl::SetTabStop(bool value) {
  if (value == tabStop_) return;
  tabStop_ = value;
  if (handle_ != nullptr) {
    LONG style = GetWindowLongW(handle_, GWL_STYLE);
    style = value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
    SetWindowLongW(handle_, GWL_STYLE, style);
  }
}

int TWinControl::TabOrder() const {
  if (Parent() == nullptr) return -1;
  auto& list = Parent()->tabList_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int order) {
  if (Parent() == nullptr) return;
  auto& list = Parent()->tabList_;
  list.erase(std::find(list.begin(), list.end(), this));
  order = std::clamp(order, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + order, this);
}

bool TWinControl::Focused() const { return handle_ != nullptr && GetFocus() == handle_; }

bool TWinControl::CanFocus() const {
  const TWinControl* control = this;
  for (; control->Parent() != nullptr; control = control->Parent()) {
    if (!control->Visible() || !control->Enabled()) return false;
  }
  return control->Showing() && control->Enabled();
}

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  ::SetFocus(Handle());
}

void TWinControl::CollectTabOrder(std::vector<TWinControl*>& list) const {
  for (TWinControl* control : tabList_) {
    list.push_back(control);
    control->CollectTabOrder(list);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop) const {
  std::vector<TWinControl*> list;
  CollectTabOrder(list);
  const int count = static_cast<int>(list.size());
  if (count == 0) return nullptr;
  const int start = static_cast<int>(std::find(list.begin(), list.end(), current) - list.begin());
  for (int step = 1; step <= count; ++step) {
    int index;
    if (start == count) {
      index = goForward ? step - 1 : count - step;
    } else {
      index = goForward ? (start + step) % count : (start - step + count) % count;
    }
    TWinControl* candidate = list[static_cast<size_t>(index)];
    if (candidate == current) continue;
    if ((!checkTabStop || candidate->tabStop_) && candidate->CanFocus()) return candidate;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool goForward, bool checkTabStop) {
  if (TWinControl* next = FindNextControl(current, goForward, checkTabStop)) next->SetFocus();
}

void TWinControl::Realign() {
  if (IsLoading() || IsDestroying() || aligning_) return;
  if (alignDisabled_ > 0) {
    alignPending_ = true;
    return;
  }
  aligning_ = true;
  const TScopeExit reset([this] { aligning_ = false; });
  TRect rect;
  AdjustClientRect(rect);
  AlignControls(rect);
}

void TWinControl::EnableAlign() {
  if (alignDisabled_ > 0 && --alignDisabled_ == 0 && alignPending_) {
    alignPending_ = false;
    Realign();
  }
}

// Each edge takes its children in the order of their place along that edge
// (the top ones by Top, the bottom ones by Bottom from below, ...), so a
// child keeps its place when its siblings come and go or change size. Equal
// places keep the order of the last layout, which starts as creation order.
// A hidden child takes no room but is moved to where it would stand, so that
// it still holds its place when it is shown after the parent changed size.
void TWinControl::AlignControls(TRect& rect) {
  static constexpr std::array<TAlign, 5> kOrder = {alTop, alBottom, alLeft, alRight, alClient};
  for (TAlign align : kOrder) {
    std::vector<TControl*> list;
    for (TControl* control : controls_) {
      if (control->Align() == align) list.push_back(control);
    }
    if (list.empty()) continue;
    auto place = [align](const TControl* c) -> int {
      switch (align) {
        case alTop: return c->Top();
        case alBottom: return -(c->Top() + c->Height());
        case alLeft: return c->Left();
        case alRight: return -(c->Left() + c->Width());
        default: return 0;
      }
    };
    std::sort(list.begin(), list.end(), [&](const TControl* a, const TControl* b) {
      const int pa = place(a), pb = place(b);
      return pa != pb ? pa < pb : a->alignSequence_ < b->alignSequence_;
    });
    for (TControl* control : list) {
      const int width = std::max(0, static_cast<int>(RectWidth(rect)));
      const int height = std::max(0, static_cast<int>(RectHeight(rect)));
      const bool takesRoom = control->Visible();
      control->alignSequence_ = nextAlignSequence_++;
      switch (align) {
        case alTop: {
          const int h = control->Height();
          control->SetBounds(rect.Left, rect.Top, width, h);
          if (takesRoom) rect.Top += h;
          break;
        }
        case alBottom: {
          const int h = control->Height();
          control->SetBounds(rect.Left, rect.Bottom - h, width, h);
          if (takesRoom) rect.Bottom -= h;
          break;
        }
        case alLeft: {
          const int w = control->Width();
          control->SetBounds(rect.Left, rect.Top, w, height);
          if (takesRoom) rect.Left += w;
          break;
        }
        case alRight: {
          const int w = control->Width();
          control->SetBounds(rect.Right - w, rect.Top, w, height);
          if (takesRoom) rect.Right -= w;
          break;
        }
        default: control->SetBounds(rect.Left, rect.Top, width, height); break;
      }
    }
  }
}

void TWinControl::Loaded() {
  TControl::Loaded();
  Realign();
}

void TWinControl::Broadcast(TMessage& message) {
  for (TControl* control : std::vector<TControl*>(controls_)) {
    control->WindowProc(message);
    if (message.Result != 0) return;
  }
}

void TWinControl::PaintControls(HDC dc, TControl* first) {
  RECT clip{};
  const int clipKind = GetClipBox(dc, &clip);
  bool started = first == nullptr;
  for (TControl* control : std::vector<TControl*>(controls_)) {
    if (!started) {
      if (control != first) continue;
      started = true;
    }
    if (AsWindowed(control) != nullptr || !control->Visible()) continue;
    const TRect bounds = control->BoundsRect();
    if (clipKind != ERROR && clipKind != NULLREGION && IsRectEmpty(IntersectRects(bounds, ToTRect(clip)))) continue;
    const TSavedDC saved(dc);
    POINT origin{};
    GetViewportOrgEx(dc, &origin);
    SetViewportOrgEx(dc, origin.x + bounds.Left, origin.y + bounds.Top, nullptr);
    IntersectClipRect(dc, 0, 0, control->Width(), control->Height());
    control->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  }
}

void TWinControl::PaintHandler(HDC dc) {
  PaintWindow(dc);
  PaintControls(dc, nullptr);
}

void TWinControl::PaintTo(HDC dc, int x, int y) {
  {
    const TSavedDC saved(dc);
    POINT origin{};
    GetViewportOrgEx(dc, &origin);
    SetViewportOrgEx(dc, origin.x + x, origin.y + y, nullptr);
    const TRect client = ClientRect();
    IntersectClipRect(dc, 0, 0, static_cast<int>(RectWidth(client)), static_cast<int>(RectHeight(client)));
    Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  }
  for (TControl* control : std::vector<TControl*>(controls_)) {
    TWinControl* child = AsWindowed(control);
    if (child != nullptr && child->Visible()) child->PaintTo(dc, x + child->Left(), y + child->Top());
  }
}

void TWinControl::EraseBackground(HDC dc) {
  const TGdiBrush brush = SolidBrush(ColorRef(Color()));
  const RECT r = ToRECT(ClientRect());
  FillRect(dc, &r, brush.Get());
}

void TWinControl::TrackMouse(TPoint point) {
  const bool inside = PointInRect(ClientRect(), point.X, point.Y);
  if (inside && !mouseInside_) {
    mouseInside_ = true;
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, handle_, 0};
    TrackMouseEvent(&track);
    Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(this));
  } else if (!inside && mouseInside_) {
    SetHotControl(nullptr);
    mouseInside_ = false;
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_CANCEL, handle_, 0};
    TrackMouseEvent(&track);
    Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(this));
  }
  if (handle_ != nullptr) SetHotControl(inside ? ControlAtPos(point, true) : nullptr);
}

void TWinControl::SetHotControl(TControl* control) {
  if (control == hotControl_) return;
  TControl* old = std::exchange(hotControl_, control);
  if (old != nullptr) old->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(old));
  // The leave handler may have changed what is hot.
  if (control != nullptr && hotControl_ == control)
    control->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(control));
}

// A mouse message over a graphic child (or while one holds the mouse) goes
// to that child, in its own coordinates.
bool TWinControl::RouteMouse(TMessage& message) {
  const TPoint point{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
  TControl* target = captureControl_;
  if (target == nullptr) target = ControlAtPos(point, false);
  if (target == nullptr) return false;
  UINT msg = message.Msg;
  if (IsButtonDown(msg)) {
    if (!(target->ControlStyle() & csDoubleClicks)) msg = SingleClick(msg);
    if (target->ControlStyle() & csCaptureMouse) {
      captureControl_ = target;
      if (GetCapture() != handle_) SetCapture(handle_);
    }
  }
  // The last button's release ends the capture even when a handler fails.
  const bool lastButtonUp = IsButtonUp(msg) && (message.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0;
  const TScopeExit endCapture([this, lastButtonUp] {
    if (!lastButtonUp) return;
    captureControl_ = nullptr;
    if (handle_ != nullptr && GetCapture() == handle_) ReleaseCapture();
  });
  const LPARAM local = MAKELPARAM(point.X - target->Left(), point.Y - target->Top());
  message.Result = target->Perform(msg, message.WParam, local);
  return true;
}

void TWinControl::WndProc(TMessage& message) {
  const UINT msg = message.Msg;
  if (IsMouseMessage(msg)) {
    if (msg == WM_MOUSEMOVE) TrackMouse(TPoint{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)});
    if (RouteMouse(message)) return;
    if (IsButtonDown(msg) && (ControlStyle() & csCaptureMouse) && handle_ != nullptr) SetCapture(handle_);
    if (IsButtonUp(msg) && (message.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && handle_ != nullptr &&
        GetCapture() == handle_) {
      ReleaseCapture();
    }
    TControl::WndProc(message);
    return;
  }
  switch (msg) {
    case WM_MOUSELEAVE:
      SetHotControl(nullptr);
      if (mouseInside_) {
        mouseInside_ = false;
        Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(this));
      }
      return;
    case WM_CAPTURECHANGED:
      captureControl_ = nullptr;
      DefaultHandler(message);
      return;
    case WM_PAINT:
      if (message.WParam != 0) {
        PaintHandler(reinterpret_cast<HDC>(message.WParam));
      } else if (handle_ != nullptr) {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(handle_, &paint);
        const TScopeExit end([window = handle_, &paint] { EndPaint(window, &paint); });
        PaintHandler(dc);
      }
      message.Result = 0;
      return;
    case WM_ERASEBKGND:
      EraseBackground(reinterpret_cast<HDC>(message.WParam));
      message.Result = 1;
      return;
    case WM_WINDOWPOSCHANGED:
      DefaultHandler(message);
      UpdateBoundsFromWindow();
      return;
    case WM_SETTEXT:
      DefaultHandler(message);
      if (message.LParam != 0) {
        const auto* text = reinterpret_cast<const wchar_t*>(message.LParam);
        if (Text() != text) TControl::SetText(text);
      }
      return;
    case WM_SETFOCUS:
      if (TForm* form = GetParentForm(this); form != nullptr && form != this) form->activeControl_ = this;
      DefaultHandler(message);
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(message.WParam);
      const TShiftState shift = KeyboardShiftState();
      if (key == VK_TAB && !(shift & (ssAlt | ssCtrl)) &&
          !(Perform(WM_GETDLGCODE) & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) {
        if (TForm* form = GetParentForm(this)) {
          form->SelectNext(this, !(shift & ssShift), true);
          return;
        }
      }
      // Enter and Escape belong to the form's default and cancel buttons
      // wherever the focus is, unless the focused control wants every key.
      if ((key == VK_RETURN || key == VK_ESCAPE) && !(shift & (ssAlt | ssCtrl)) &&
          !(Perform(WM_GETDLGCODE) & DLGC_WANTALLKEYS)) {
        if (TForm* form = GetParentForm(this); form != nullptr && form->Perform(CM_DIALOGKEY, key) != 0) return;
      }
      KeyDown(key, shift);
      if (key == 0) return;
      message.WParam = key;
      DefaultHandler(message);
      return;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(message.WParam);
      KeyUp(key, KeyboardShiftState());
      if (key == 0) return;
      message.WParam = key;
      DefaultHandler(message);
      return;
    }
    case WM_CHAR: {
      auto key = static_cast<wchar_t>(message.WParam);
      KeyPress(key);
      if (key == 0) return;
      message.WParam = key;
      DefaultHandler(message);
      return;
    }
    case WM_SYSCHAR:
      if (TForm* form = GetParentForm(this)) {
        if (form->Perform(CM_DIALOGCHAR, message.WParam) != 0) return;
      }
      DefaultHandler(message);
      return;
    case CM_DIALOGCHAR:
    case CM_DIALOGKEY: Broadcast(message); return;
    case CM_FONTCHANGED: {
      Invalidate();
      TMessage notice{CM_PARENTFONTCHANGED, 0, 0, 0};
      for (TControl* control : std::vector<TControl*>(controls_)) control->WindowProc(notice);
      return;
    }
    case CM_COLORCHANGED: {
      Invalidate();
      TMessage notice{CM_PARENTCOLORCHANGED, 0, 0, 0};
      for (TControl* control : std::vector<TControl*>(controls_)) control->WindowProc(notice);
      return;
    }
  }
  TControl::WndProc(message);
}

void TWinControl::DefaultHandler(TMessage& message) {
  if (handle_ != nullptr) message.Result = DefWindowProcW(handle_, message.Msg, message.WParam, message.LParam);
}

// ---- TCustomControl ----------------------------------------------------------

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner), canvas_(*this) {
  canvas_.Font().Assign(Font());
}

TCustomControl::~TCustomControl() {
  // The canvas may hold a context of the window; let it go first.
  canvas_.FreeHandle();
}

void TCustomControl::PaintWindow(HDC dc) {
  canvas_.SetHandle(dc);
  const TScopeExit letGo([this] { canvas_.SetHandle(nullptr); });
  canvas_.Font().Assign(Font());
  canvas_.Brush().SetColor(Color());
  Paint();
}

void TCustomControl::WndProc(TMessage& message) {
  if (message.Msg == CM_FONTCHANGED) canvas_.Font().Assign(Font());
  TWinControl::WndProc(message);
}

#include "skin/controls/controls_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "skin/menus/sk_menu_views.h"
#include "skin/sk_engine.h"

TControlsHost::TControlsHost(int clientWidth, int clientHeight) {
  form_ = CreateComponent<TForm>(Application);
  form_->SetBounds(40, 40, clientWidth, clientHeight);
  ShowWithoutActivating(*form_);
  form_->SetClientSize(clientWidth, clientHeight);
}

TControlsHost::~TControlsHost() { delete form_; }

void UseSkylineTheme() {
  TSkThemeList list(nullptr);
  LoadViewerThemeList(list);
  std::unique_ptr<TskTheme> theme = list.Themes().Items(0)->LoadTheme();
  if (!theme) throw std::runtime_error("the stored theme did not load");
  theme->SetDeltaBrightness(10);
  ThemeManager().SetCurrentTheme(std::move(theme));
}

void ClearTheme() { ThemeManager().ClearCurrentTheme(); }

HWND MouseTarget(TControl& control, POINT& point) {
  TPoint offset{0, 0};
  TWinControl* host = control.HostWindow(&offset);
  point.x += offset.X;
  point.y += offset.Y;
  return host != nullptr ? host->Handle() : nullptr;
}

namespace {

LPARAM PointParam(const POINT& p) { return MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)); }

void SendMouse(TControl& control, UINT message, int x, int y, WPARAM keys) {
  POINT p{x, y};
  HWND window = MouseTarget(control, p);
  SendMessageW(window, message, keys, PointParam(p));
}

void SetKeyDown(BYTE* state, int key, bool down) { state[key] = down ? 0x80 : 0; }

}  // namespace

void MouseMove(TControl& control, int x, int y, WPARAM keys) { SendMouse(control, WM_MOUSEMOVE, x, y, keys); }

void MouseDown(TControl& control, int x, int y, UINT message) {
  const WPARAM keys = message == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON;
  SendMouse(control, WM_MOUSEMOVE, x, y, 0);
  SendMouse(control, message, x, y, keys);
}

void MouseUp(TControl& control, int x, int y, UINT message) { SendMouse(control, message, x, y, 0); }

void Click(TControl& control, int x, int y) {
  MouseDown(control, x, y);
  MouseUp(control, x, y);
}

void MouseAway(TControl& control) {
  POINT p{-1, -1};
  HWND window = MouseTarget(control, p);
  // A move outside the window's client area ends its tracking; the framework
  // reports the leave of the control under the mouse.
  RECT client{};
  GetClientRect(window, &client);
  SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<WORD>(client.right + 50), static_cast<WORD>(client.bottom + 50)));
  SendMessageW(window, WM_MOUSELEAVE, 0, 0);
}

void PressKey(TWinControl& control, WORD key, bool ctrl, bool shift) {
  BYTE saved[256] = {};
  GetKeyboardState(saved);
  BYTE state[256];
  std::copy(std::begin(saved), std::end(saved), std::begin(state));
  SetKeyDown(state, VK_CONTROL, ctrl);
  SetKeyDown(state, VK_LCONTROL, ctrl);
  SetKeyDown(state, VK_SHIFT, shift);
  SetKeyDown(state, VK_LSHIFT, shift);
  SetKeyboardState(state);
  SendMessageW(control.Handle(), WM_KEYDOWN, key, 1);
  SendMessageW(control.Handle(), WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
  SetKeyboardState(saved);
}

void TypeText(TWinControl& control, const std::wstring& text) {
  for (wchar_t c : text) SendMessageW(control.Handle(), WM_CHAR, c, 1);
}

std::unique_ptr<TskBitmap> RenderControl(TControl& control) {
  auto result = std::make_unique<TskBitmap>();
  result->SetSize(control.Width(), control.Height());
  if (auto* windowed = dynamic_cast<TWinControl*>(&control)) {
    windowed->PaintTo(result->DC(), 0, 0);
  } else if (TWinControl* parent = control.Parent()) {
    TskBitmap whole;
    whole.SetSize(parent->Width(), parent->Height());
    parent->PaintTo(whole.DC(), 0, 0);
    GdiFlush();
    BitBlt(result->DC(), 0, 0, control.Width(), control.Height(), whole.DC(), control.Left(), control.Top(),
           SRCCOPY);
  }
  GdiFlush();
  return result;
}

void SendClick(POINT screen, bool right) {
  SetCursorPos(screen.x, screen.y);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof(INPUT));
}

uint32_t Rgb(const TskBitmap& bitmap, int x, int y) { return bitmap.PixelAt(x, y) & 0x00FFFFFFu; }

uint32_t SysRgb(int index) {
  const COLORREF c = GetSysColor(index);
  return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

uint32_t Mix(uint32_t a, uint32_t b, int weight) {
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) {
    const int x = static_cast<int>((a >> shift) & 0xFF), y = static_cast<int>((b >> shift) & 0xFF);
    out |= static_cast<uint32_t>((x * weight + y * (255 - weight)) / 255) << shift;
  }
  return out;
}

uint32_t ScreenRgb(HWND window, int x, int y) {
  HDC dc = GetWindowDC(window);
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

void TScript::Run(const std::function<void()>& start) {
  current = this;
  deadline_ = GetTickCount() + 8000;
  const UINT_PTR timer = SetTimer(nullptr, 0, 60, Tick);
  start();
  Application->RunUntil([&] { return next_ >= steps_.size() || GetTickCount() > deadline_; });
  // Whatever the steps posted runs now.
  for (int i = 0; i < 5; ++i) {
    Application->ProcessMessages();
    Sleep(20);
  }
  KillTimer(nullptr, timer);
  current = nullptr;
  EXPECT_FALSE(timedOut_) << "the script did not finish";
  EXPECT_GE(next_, steps_.size()) << "the script did not finish";
}

void CALLBACK TScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (current == nullptr || current->next_ >= current->steps_.size()) return;
  if (GetTickCount() > current->deadline_) {
    // A step waited in vain: the menus close, so that the case ends and
    // fails instead of hanging in their loops.
    current->next_ = current->steps_.size();
    current->timedOut_ = true;
    if (TSkItemView* view = TSkItemView::Innermost()) view->LeaveAllLoops();
    return;
  }
  current->again_ = false;
  current->steps_[current->next_++]();
  if (current != nullptr && current->again_) --current->next_;
}

void TScript::Again() {
  if (current != nullptr) current->again_ = true;
}

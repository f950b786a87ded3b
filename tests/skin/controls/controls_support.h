// Helpers shared by the themed-control tests: a shown host form, real
// mouse and keyboard messages aimed at a control, the Skyline theme made
// current (or none), and a control rendered into a 32-bit bitmap to read
// pixels from.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "forms/forms.h"
#include "forms/forms_support.h"
#include "graphics/sk_bitmap.h"
#include "skin/sk_theme.h"

// A form shown without activation (see ShowWithoutActivating) with a plain
// client area of the given size. Freed with the fixture.
class TControlsHost {
 public:
  explicit TControlsHost(int clientWidth = 400, int clientHeight = 300);
  ~TControlsHost();
  TForm& Form() { return *form_; }

 private:
  TForm* form_ = nullptr;
};

// Makes the viewer's stored theme "Skyline" current (brightness +10, as the
// viewer shows it); ClearTheme removes any current theme. Tests call
// FreeThemeLibrary() in their tear-down.
void UseSkylineTheme();
void ClearTheme();

// The window that receives mouse messages for control (its own, or for a
// graphic control its host window) and the point (control coordinates) in
// that window's client coordinates.
HWND MouseTarget(TControl& control, POINT& point);
// Sends WM_MOUSEMOVE / button messages to the control's window at (x, y) in
// the control's coordinates, with the key state the message carries.
void MouseMove(TControl& control, int x, int y, WPARAM keys = 0);
void MouseDown(TControl& control, int x, int y, UINT message = WM_LBUTTONDOWN);
void MouseUp(TControl& control, int x, int y, UINT message = WM_LBUTTONUP);
void Click(TControl& control, int x, int y);
// Moves the mouse off every control of the host form (to a point outside
// the control's window), so that leave notifications arrive.
void MouseAway(TControl& control);
// Key down and up (WM_KEYDOWN / WM_KEYUP) of a virtual key, with Ctrl and
// Shift held as given (the keyboard state the control reads is set for the
// duration); WM_CHAR for typed characters.
void PressKey(TWinControl& control, WORD key, bool ctrl = false, bool shift = false);
// A real click at a screen point: the pointer moves there and the left (or
// right) button goes down and up as input, routed by the system like a
// reader's (to the window under the pointer, or to the one holding the
// mouse).
void SendClick(POINT screen, bool right = false);
void TypeText(TWinControl& control, const std::wstring& text);

// The control as it paints itself, at its size: a windowed control's
// window content (its frame and content, children included), a graphic
// control's area of its parent. Pixels are 0xAARRGGBB with alpha as left.
std::unique_ptr<TskBitmap> RenderControl(TControl& control);
// The pixel's colour without alpha, 0x00RRGGBB.
uint32_t Rgb(const TskBitmap& bitmap, int x, int y);
// A system colour as 0x00RRGGBB.
uint32_t SysRgb(int index);
// Two 0x00RRGGBB colours mixed channel by channel:
// (a * weight + b * (255 - weight)) / 255.
uint32_t Mix(uint32_t a, uint32_t b, int weight);
// What the screen shows at a point of a window (window coordinates, frame
// included), 0x00RRGGBB.
uint32_t ScreenRgb(HWND window, int x, int y);

// Runs one step per tick of a 60 ms thread timer while start's modal loops
// (menus, tracking) run, so that a case can act from inside them. Run
// returns once every step ran and the messages the steps posted have been
// handled. After 8 s the case fails, and menus still open are closed so
// that it ends.
class TScript {
 public:
  explicit TScript(std::vector<std::function<void()>> steps) : steps_(std::move(steps)) {}
  void Run(const std::function<void()>& start);
  // Called by a step: the same step runs again on the next tick (a step
  // that waits for something the loops do on their own time).
  static void Again();

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  static inline TScript* current = nullptr;
  std::vector<std::function<void()>> steps_;
  size_t next_ = 0;
  bool again_ = false;
  bool timedOut_ = false;
  DWORD deadline_ = 0;
};

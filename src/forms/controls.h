// Controls: the visual components of a window.
//
// TControl has a parent, bounds in its parent's client coordinates, an
// alignment, visibility, enabled state, font, colour and text, and receives
// messages through Perform (its WindowProc, replaceable so that a hook can
// see every message first). TGraphicControl has no window of its own: its
// parent paints it (in z-order, over the parent's device context) and routes
// mouse messages to it. TWinControl owns a window, created when it is first
// needed, and lays out its aligned children. TCustomControl adds a canvas and
// Paint.
//
// Mouse entry and exit arrive as CM_MOUSEENTER / CM_MOUSELEAVE: a windowed
// control notices its own entry on a mouse move and has the platform report
// the exit (TrackMouseEvent); a graphic control is told by its parent, which
// hit-tests its graphic children on every move. Leaving the area while a
// button holds the mouse counts as an exit too.
//
// A parent lays out its aligned children edge by edge: top, bottom, left,
// right, then client. Along one edge they stand in the order of their
// positions (the top ones by Top, the bottom ones by Bottom from below, ...),
// equal positions in the order of the previous layout, which starts as
// creation order. A hidden child takes no room but is moved along, so it
// keeps its place among its siblings for when it is shown again.
//
// Every window procedure of the framework catches whatever a handler throws
// and hands it to Application->HandleException: nothing propagates into the
// platform's message dispatch.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forms/components.h"
#include "forms/graphics.h"

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// Control messages of the framework, sent with Perform. For the mouse
// messages LParam is the control the mouse entered or left.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_MOUSEENTER = CM_BASE + 1;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 2;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 3;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 4;
constexpr UINT CM_COLORCHANGED = CM_BASE + 5;
constexpr UINT CM_FONTCHANGED = CM_BASE + 6;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 7;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
// WParam: the control; LParam: TRUE when it was inserted, FALSE removed.
constexpr UINT CM_CONTROLLISTCHANGE = CM_BASE + 10;
// WParam: the character of an Alt+key press; a handler that takes it sets
// Result to 1.
constexpr UINT CM_DIALOGCHAR = CM_BASE + 11;
// Posted by TForm::Release.
constexpr UINT CM_RELEASE = CM_BASE + 12;
// WParam: VK_RETURN or VK_ESCAPE pressed in a control of a form that does
// not want the key itself; the form broadcasts it to its controls, and the
// one that takes it (a default or cancel button) sets Result to 1.
constexpr UINT CM_DIALOGKEY = CM_BASE + 13;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum : unsigned {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
  ssDouble = 1u << 6,
};
using TShiftState = unsigned;

// Behaviour flags of a control class.
enum : unsigned {
  csCaptureMouse = 1u << 0,  // keeps the mouse from a button press to its release
  csClickEvents = 1u << 1,   // a left press and release inside is a Click
  csOpaque = 1u << 2,        // paints all of its area: no erase under it
  csDoubleClicks = 1u << 3,  // receives double clicks (else a second press)
};
using TControlStyle = unsigned;

using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;

class TWinControl;
class TForm;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  // Moves the control into parent's child list (last in z-order); nullptr
  // takes it out. A control cannot be its own parent or ancestor.
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int value) { SetBounds(value, top_, width_, height_); }
  void SetTop(int value) { SetBounds(left_, value, width_, height_); }
  void SetWidth(int value) { SetBounds(left_, top_, value, height_); }
  void SetHeight(int value) { SetBounds(left_, top_, width_, value); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return TRect{left_, top_, left_ + width_, top_ + height_}; }
  void SetBoundsRect(const TRect& r) {
    SetBounds(r.Left, r.Top, static_cast<int>(RectWidth(r)), static_cast<int>(RectHeight(r)));
  }
  // The area the control's content uses, in its own coordinates.
  virtual TRect ClientRect() const { return TRect{0, 0, width_, height_}; }
  int ClientWidth() const { return static_cast<int>(RectWidth(ClientRect())); }
  int ClientHeight() const { return static_cast<int>(RectHeight(ClientRect())); }
  // Resizes the control so that its client area gets the size given.
  void SetClientSize(int width, int height);
  void SetClientWidth(int width) { SetClientSize(width, ClientHeight()); }
  void SetClientHeight(int height) { SetClientSize(ClientWidth(), height); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and so is every parent up to a shown window.
  virtual bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);

  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font) { font_.Assign(font); }
  // With ParentFont the control follows its parent's font; assigning a font
  // of its own clears it.
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);
  TColor Color() const { return color_; }
  void SetColor(TColor colour);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value);

  const std::wstring& Caption() const { return text_; }
  void SetCaption(std::wstring_view text) { SetText(text); }
  const std::wstring& Text() const { return text_; }
  virtual void SetText(std::wstring_view text);

  TControlStyle ControlStyle() const { return controlStyle_; }
  void SetControlStyle(TControlStyle style) { controlStyle_ = style; }

  // Marks the control's area for repainting.
  virtual void Invalidate();
  // Paints what is marked, now.
  virtual void Update();
  void Repaint() {
    Invalidate();
    Update();
  }

  // Sends a message to the control through WindowProc and returns its result.
  LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Every message of the control passes here; it starts as WndProc.
  std::function<void(TMessage&)> WindowProc;

  TPoint ClientToScreen(TPoint point) const;
  TPoint ScreenToClient(TPoint point) const;
  // The window whose device context this control's pixels live in, and the
  // control's offset inside it (a graphic control's parent chain).
  TWinControl* HostWindow(TPoint* offset) const;

  // Runs OnClick.
  virtual void Click();

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnResize;

 protected:
  friend class TWinControl;

  virtual void WndProc(TMessage& message);
  // Messages no handler took; a graphic control drops them.
  virtual void DefaultHandler(TMessage& message) {}

  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  // After a change of size (not while loading).
  virtual void Resize();
  // Asks the parent to lay out its aligned children again.
  void RequestAlign();
  // Invalidates the control's area in its parent (erasing under it when
  // the control is not opaque).
  void InvalidateControl();

  void Loaded() override;

  // Writes new bounds without any side effect; the windowed control uses it
  // when the window reports where it is.
  void StoreBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
  }
  // After the bounds changed: realign and resize as needed.
  virtual void BoundsChanged(bool sizeChanged);

 private:
  void FollowParentFont();
  void FollowParentColor();

  TWinControl* parent_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  TFont font_;
  bool parentFont_ = true;
  bool followingParent_ = false;  // the font is being copied from the parent
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  std::wstring text_;
  TControlStyle controlStyle_ = csCaptureMouse | csClickEvents;
  bool clickPending_ = false;
  unsigned alignSequence_ = 0;  // place among aligned siblings at equal positions
};

// A canvas on a control outside of painting: the control's window context,
// or for a graphic control its parent's with the origin moved to the control
// and clipping to its area.
class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TControl& control) : control_(control) {}
  ~TControlCanvas() override { FreeHandle(); }

 protected:
  HDC AcquireHandle() override;
  void ReleaseHandle(HDC dc) override;

 private:
  TControl& control_;
  HWND window_ = nullptr;
};

class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;

  // The paint context while painting; outside of painting a context of the
  // parent's window.
  TCanvas& Canvas() { return canvas_; }

 protected:
  virtual void Paint() {}
  void WndProc(TMessage& message) override;

 private:
  TControlCanvas canvas_;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  // The window, created (with those of its parents) on first use.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  // Destroys the window (and its children's); it is made again on demand.
  void DestroyHandle();

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;
  // The topmost visible graphic child at the point (client coordinates);
  // disabled ones only when allowDisabled.
  TControl* ControlAtPos(TPoint point, bool allowDisabled) const;

  void SetBounds(int left, int top, int width, int height) override;
  TRect ClientRect() const override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void SetText(std::wstring_view text) override;
  bool Showing() const override;
  void Invalidate() override;
  void Update() override;

  // Tab order among the parent's windowed children.
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value);
  int TabOrder() const;
  void SetTabOrder(int order);
  bool Focused() const;
  // Visible and enabled up to a shown window.
  bool CanFocus() const;
  // Fails with EInvalidOperation "Cannot focus a disabled or invisible
  // window" when it cannot take the focus.
  void SetFocus();
  // The next control in tab order after current (wrapping around), among
  // this control's windowed descendants that can take the focus; with
  // checkTabStop only those with TabStop.
  TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop) const;
  void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);

  // Lays out the aligned children now (unless loading or disabled).
  void Realign();
  void DisableAlign() { ++alignDisabled_; }
  void EnableAlign();
  // Sends the message to every child; stops at the first that sets a
  // non-zero result.
  void Broadcast(TMessage& message);
  // Paints the control and its children into dc at (x, y) in dc's
  // coordinates, windowed children included.
  void PaintTo(HDC dc, int x, int y);
  // Paints the graphic children from first (all when nullptr) onto dc,
  // which has this control's client origin.
  void PaintControls(HDC dc, TControl* first);

 protected:
  struct TCreateParams {
    std::wstring Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    HWND WndParent = nullptr;
    UINT ClassStyle = CS_DBLCLKS;
    std::wstring ClassName = L"EbookControl";
  };
  virtual void CreateParams(TCreateParams& params);
  // Creates the window and then those of the windowed children.
  virtual void CreateWnd();
  // The window is made: apply what was set before it existed.
  virtual void HandleCreated() {}

  void WndProc(TMessage& message) override;
  void DefaultHandler(TMessage& message) override;

  // The area aligned children share; the client rectangle by default.
  virtual void AdjustClientRect(TRect& rect) { rect = ClientRect(); }
  virtual void AlignControls(TRect& rect);
  // Paints the control's own content (the children come after).
  virtual void PaintWindow(HDC dc) {}
  // Fills the background with the control's colour.
  virtual void EraseBackground(HDC dc);

  virtual void KeyDown(WORD& key, TShiftState shift) {}
  virtual void KeyUp(WORD& key, TShiftState shift) {}
  virtual void KeyPress(wchar_t& key) {}

  void BoundsChanged(bool sizeChanged) override;
  void Loaded() override;

  // The window of the control while it is being created (the platform sends
  // messages before CreateWindowEx returns).
  void AttachHandle(HWND handle) { handle_ = handle; }

 private:
  friend class TControl;
  friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);

  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  bool RouteMouse(TMessage& message);
  void TrackMouse(TPoint point);
  void SetHotControl(TControl* control);
  void UpdateBoundsFromWindow();
  void PaintHandler(HDC dc);
  void CollectTabOrder(std::vector<TWinControl*>& list) const;
  TWinControl* TopLevel();

  HWND handle_ = nullptr;
  std::vector<TControl*> controls_;  // z-order: the last is on top
  std::vector<TWinControl*> tabList_;
  bool tabStop_ = false;
  int alignDisabled_ = 0;
  bool aligning_ = false;
  bool alignPending_ = false;
  unsigned nextAlignSequence_ = 0;
  bool mouseInside_ = false;            // the mouse is over this window (tracked)
  TControl* hotControl_ = nullptr;      // graphic child under the mouse
  TControl* captureControl_ = nullptr;  // graphic child holding the mouse
};

class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;

  // The paint context while painting; outside of painting the window's.
  TCanvas& Canvas() { return canvas_; }

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC dc) override;
  void WndProc(TMessage& message) override;

 private:
  TControlCanvas canvas_;
};

// The form a control is on (the nearest TForm up the parent chain), or
// nullptr.
TForm* GetParentForm(const TControl* control);
// The framework's control behind a window handle, or nullptr for windows
// the framework did not make.
TWinControl* FindControl(HWND window);
TShiftState KeyboardShiftState();

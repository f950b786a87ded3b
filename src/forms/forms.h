// Top-level windows and the application object.
//
// A form is a top-level window owned by the application's main window when
// one is set. Closing asks OnCloseQuery and OnClose and then applies the
// close action; a form is freed with Release, which hides it and posts
// CM_RELEASE to itself: the form is destroyed when that message is
// dispatched and no handler of the framework is running, so it is never
// destroyed under one of its own handlers, even one that pumps messages in a
// nested loop.
//
// The application object is one per process (Application). It may adopt an
// outside window (the host's) as its main window: forms are then owned by
// it and the application icon is shown on it. It pumps messages for the
// window thread and reports exceptions that reach a window procedure.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "forms/components.h"
#include "forms/controls.h"
#include "forms/graphics.h"

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum : unsigned { biSystemMenu = 1u << 0, biMinimize = 1u << 1, biMaximize = 1u << 2 };
using TBorderIcons = unsigned;
enum TPosition { poDesigned, poScreenCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;
// A key message (WM_KEYDOWN or WM_SYSKEYDOWN) offered to a form before it
// is dispatched; setting handled stops it there.
using TShortCutEvent = std::function<void(const MSG& message, bool& handled)>;
// A wheel turn (WM_MOUSEWHEEL) aimed at a window of a form, offered to the
// form before it is dispatched; setting handled stops it there.
using TMouseWheelShortCutEvent = std::function<void(const MSG& message, bool& handled)>;

class TForm : public TCustomControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  // Builds the form's stored layout (LoadComponents) and then runs
  // OnCreate. A failure inside OnCreate is reported through
  // Application->HandleException and the form stays usable; a failure
  // while creating the layout is passed on.
  void CreateLayout(const std::function<void()>& create);

  TIcon& Icon() { return icon_; }
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle style);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons icons);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState state);

  TRect ClientRect() const override;
  void SetVisible(bool visible) override;
  // Shows the form and brings it to the front.
  void Show();

  // Asks OnCloseQuery; then OnClose chooses the action (caHide by default).
  void Close();
  // Hides the form now and destroys it once the messages being handled are
  // done.
  void Release();

  // The control that has (or last had) the focus on this form.
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* control);

  // Runs OnShortCut; true when the key was taken.
  virtual bool IsShortCut(const MSG& message);

  TNotifyEvent OnCreate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TShortCutEvent OnShortCut;
  // Sees every wheel turn inside the form before the window under it does,
  // even one aimed at an embedded control's window (the form zooms with
  // Ctrl held, say, whatever has the focus).
  TMouseWheelShortCutEvent OnMouseWheelShortCut;

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  void WndProc(TMessage& message) override;
  void Paint() override;

 private:
  friend class TWinControl;
  void ApplyIcons();
  void ApplyStyle();
  void ForgetControl(TWinControl* control);

  TIcon icon_;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TPosition position_ = poDesigned;
  TWindowState windowState_ = wsNormal;
  bool positioned_ = false;  // placed by Position at its first showing
  TWinControl* activeControl_ = nullptr;
};

using TExceptionEvent = std::function<void(TObject* sender, const std::string& message)>;
using TMessageEvent = std::function<void(MSG& message, bool& handled)>;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // The main window: the application's own (CreateHandle) or an adopted one.
  HWND Handle() const { return handle_; }
  // Adopts an outside window as the main window. Nothing happens when the
  // application has a main window of its own or the handle is the current
  // one; a previously adopted window is released first (whatever the
  // application applied to it is undone). nullptr leaves none.
  void SetHandle(HWND handle);
  // Creates the application's own hidden main window (programs that are
  // not hosted); after that no outside window is adopted.
  void CreateHandle();
  void DestroyHandle();

  // The caption of the main window when there is one.
  std::wstring Title() const;
  void SetTitle(std::wstring_view title);
  // Shown on the main window (its large icon and its class icon).
  TIcon& Icon() { return icon_; }

  // Dispatches every pending message of the thread.
  void ProcessMessages();
  // Dispatches one message, waiting for one when none is pending.
  void HandleMessage();
  // Processes pending messages and tests finished, again and again, waiting
  // for new messages in between, until finished() is true. A WM_QUIT met on
  // the way is kept and posted again at the end, so the thread's own loop
  // still sees it.
  void RunUntil(const std::function<bool()>& finished);
  bool Terminated() const { return terminated_; }

  // Reports the exception being handled (call it inside a catch block):
  // OnException when assigned, else ShowException with its message.
  void HandleException(TObject* sender);
  // The platform's error message box: the text, the application title as
  // caption, an error icon.
  void ShowException(const std::string& message);
  // The message text of an exception: Exception::Message, what() for other
  // standard exceptions.
  static std::string ExceptionMessage(std::exception_ptr exception);

  // Replaces the message box (tests capture the message with it).
  TExceptionEvent OnException;
  // Sees every message ProcessMessages takes before it is dispatched.
  TMessageEvent OnMessage;

 private:
  bool ProcessMessage(MSG& message);
  bool IsKeyMessage(const MSG& message);
  bool IsWheelMessage(const MSG& message);
  void ApplyIcon();
  void ReleaseAdopted();

  HWND handle_ = nullptr;
  bool ownHandle_ = false;
  std::wstring title_;
  TIcon icon_;
  // What the adopted window showed before the application icon was applied.
  bool iconApplied_ = false;
  HICON previousBigIcon_ = nullptr;
  ULONG_PTR previousClassIcon_ = 0;
  bool terminated_ = false;
  WPARAM quitCode_ = 0;
};

extern TApplication* Application;

// Key filters: a window that hosts a control made outside the framework (an
// embedded browser) registers one to see the key messages (WM_KEYDOWN,
// WM_KEYUP, WM_CHAR, WM_DEADCHAR; system keys are not offered) meant for
// it or for any of its descendants, after the form's shortcuts and before
// the message is translated and dispatched. A filter that returns true has
// consumed the message. An empty filter removes the registration.
using TKeyFilter = std::function<bool(MSG& message)>;
void SetKeyFilter(HWND window, TKeyFilter filter);

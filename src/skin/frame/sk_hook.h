// Window-procedure hooks: several components watch the messages of one
// windowed control without the control knowing.
//
// One TControlHook per hooked control puts its own procedure into the
// window's procedure slot and keeps the one it replaced. Each message is
// offered to the clients (TSkHook components) from the last attached to the
// first, before the previous procedure runs; the first client that marks it
// handled ends the offer and the previous procedure is skipped (never for
// WM_DESTROY, which the window must see). After the previous procedure the
// clients see the message again (AfterMessage).
//
// The process-wide THookList owns the control hooks and a hidden window.
// Work that must not happen inside the hooked window's own procedure is
// posted to that window: hooking a control again after its window was
// recreated, and freeing a control hook left without clients. A control
// whose window does not exist yet (or not any more) is hooked as soon as
// the framework hands its new window a message: the control hook watches
// the control's WindowProc for that. Windows only; everything runs on the
// window thread.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "forms/controls.h"

class TSkHook;

// Posted to the hook list's window with the TControlHook as LParam.
constexpr UINT kHookMessageRehook = 45278;
constexpr UINT kHookMessageFree = 45279;

class TControlHook {
 public:
  explicit TControlHook(TWinControl* control);
  ~TControlHook();
  TControlHook(const TControlHook&) = delete;
  TControlHook& operator=(const TControlHook&) = delete;

  TWinControl* Control() const { return control_; }
  HWND Window() const { return window_; }
  bool Hooked() const { return window_ != nullptr; }
  WNDPROC PreviousProcedure() const { return previous_; }
  const std::vector<TSkHook*>& Clients() const { return clients_; }

  void AddClient(TSkHook* client);
  void RemoveClient(TSkHook* client);
  // Installs the hook's procedure when the control has a window and it is
  // not hooked yet.
  void Hook();
  // Gives the window its previous procedure back.
  void Unhook();

 private:
  static LRESULT CALLBACK HookProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
  bool IsClient(const TSkHook* client) const;
  // A message reached the control: a window made since the hook let go of
  // the last one is hooked once the posted request arrives.
  void Watch();

  friend class THookList;

  TWinControl* control_;
  HWND window_ = nullptr;
  WNDPROC previous_ = nullptr;
  std::vector<TSkHook*> clients_;
  bool rehookPosted_ = false;
  // Cleared when the hook goes: the watch left in the control's
  // WindowProc then only passes messages on.
  std::shared_ptr<TControlHook*> alive_;
};

class THookList {
 public:
  THookList();
  ~THookList();
  THookList(const THookList&) = delete;
  THookList& operator=(const THookList&) = delete;

  // The control's hook, made (and hooked when the control has a window) on
  // first request.
  TControlHook& HookFor(TWinControl* control);
  // nullptr when the control is not hooked.
  TControlHook* Find(const TWinControl* control) const;
  bool Contains(const TControlHook* hook) const;
  int Count() const { return static_cast<int>(hooks_.size()); }
  // The hidden window the posted requests go to, made on first use.
  HWND Window();
  // Frees the hook when it has no clients (the handler of 45279).
  void FreeIfUnused(TControlHook* hook);

 private:
  static LRESULT CALLBACK ListProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  // Destroys the window (see ReleaseFrameworkResources).
  void Release();

  std::vector<std::unique_ptr<TControlHook>> hooks_;
  HWND window_ = nullptr;
};

// The process's hook list, made on first use.
THookList& HookList();

// A component that sees the messages of its owner control's window.
class TSkHook : public TComponent {
 public:
  explicit TSkHook(TComponent* owner);
  ~TSkHook() override;

  bool Active() const { return active_; }
  virtual void SetActive(bool value);
  // The hooked control (the owner when it is a windowed control).
  TWinControl* Control() const { return control_; }
  TControlHook* ControlHook() const { return controlHook_; }

  bool Handled() const { return handled_; }
  void SetHandled(bool value) { handled_ = value; }

 protected:
  friend class TControlHook;
  // After the previous window procedure ran.
  virtual void AfterMessage(TMessage& message) {}
  // Before it; a handler that takes the message calls SetHandled(true).
  virtual void BeforeMessage(TMessage& message) {}
  // The hook was removed.
  virtual void Unhooked() {}

  void Loaded() override;
  // Joins the control's hook; Detach leaves it.
  void Attach();
  void Detach();

 private:
  TWinControl* control_ = nullptr;
  TControlHook* controlHook_ = nullptr;
  bool active_ = true;
  bool handled_ = false;
};

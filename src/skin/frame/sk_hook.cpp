// Window-procedure hooks (see sk_hook.h).
#include "skin/frame/sk_hook.h"

#include <algorithm>
#include <utility>

#include "forms/forms.h"
#include "forms/forms_internal.h"
#include "runtime/scope_exit.h"

namespace {

// The hook of a window, and the procedure it replaced: the second stays
// with the window even when the hook could not be taken out of the slot
// (someone subclassed the window after it), so messages still reach it.
constexpr wchar_t kHookProperty[] = L"EbookSkHook";
constexpr wchar_t kPreviousProperty[] = L"EbookSkHookPrevious";

}  // namespace

// ---- TControlHook ------------------------------------------------------------

TControlHook::TControlHook(TWinControl* control)
    : control_(control), alive_(std::make_shared<TControlHook*>(this)) {
  if (control_ == nullptr) return;
  std::weak_ptr<TControlHook*> token = alive_;
  control_->WindowProc = [token, previous = control_->WindowProc](TMessage& message) {
    if (auto hook = token.lock(); hook && *hook != nullptr) (*hook)->Watch();
    previous(message);
  };
}

TControlHook::~TControlHook() {
  *alive_ = nullptr;
  Unhook();
}

void TControlHook::Watch() {
  if (window_ != nullptr || rehookPosted_ || clients_.empty() || !control_->HandleAllocated()) return;
  if (control_->IsDestroying()) return;
  rehookPosted_ = true;
  PostMessageW(HookList().Window(), kHookMessageRehook, 0, reinterpret_cast<LPARAM>(this));
}

bool TControlHook::IsClient(const TSkHook* client) const {
  return std::find(clients_.begin(), clients_.end(), client) != clients_.end();
}

void TControlHook::AddClient(TSkHook* client) {
  if (!IsClient(client)) clients_.push_back(client);
}

void TControlHook::RemoveClient(TSkHook* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

void TControlHook::Hook() {
  if (window_ != nullptr || control_ == nullptr || !control_->HandleAllocated()) return;
  HWND window = control_->Handle();
  SetPropW(window, kHookProperty, this);
  const auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControlHook::HookProcedure)));
  previous_ = previous;
  SetPropW(window, kPreviousProperty, reinterpret_cast<HANDLE>(previous));
  window_ = window;
}

void TControlHook::Unhook() {
  HWND window = std::exchange(window_, nullptr);
  if (window == nullptr || !IsWindow(window)) return;
  RemovePropW(window, kHookProperty);
  const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
  if (current == &TControlHook::HookProcedure) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
    RemovePropW(window, kPreviousProperty);
  }
}

LRESULT CALLBACK TControlHook::HookProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (auto* hook = static_cast<TControlHook*>(GetPropW(window, kHookProperty))) {
    return hook->Dispatch(msg, wParam, lParam);
  }
  auto previous = reinterpret_cast<WNDPROC>(GetPropW(window, kPreviousProperty));
  if (msg == WM_NCDESTROY) RemovePropW(window, kPreviousProperty);
  return previous != nullptr ? CallWindowProcW(previous, window, msg, wParam, lParam)
                             : DefWindowProcW(window, msg, wParam, lParam);
}

LRESULT TControlHook::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  // A client may run a modal loop (a menu, an animation) in which the
  // window's form is closed and released: the form, and this hook with it,
  // are destroyed only once this message is done with them.
  EnterDispatch();
  const TScopeExit leave([] { LeaveDispatch(); });
  HWND window = window_;
  const WNDPROC previous = previous_;
  TMessage message{msg, wParam, lParam, 0};
  // A client may detach (or be freed) while a message is offered: the offer
  // runs over a copy and skips whoever left meanwhile.
  const std::vector<TSkHook*> clients = clients_;
  bool handled = false;
  if (msg != WM_QUIT) {
    for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
      TSkHook* client = *it;
      if (!IsClient(client)) continue;
      client->SetHandled(false);
      try {
        client->BeforeMessage(message);
      } catch (...) {
        Application->HandleException(client);
        continue;
      }
      if (client->Handled()) {
        handled = true;
        break;
      }
    }
  }
  if (!handled || msg == WM_DESTROY) {
    message.Result = previous != nullptr ? CallWindowProcW(previous, window, msg, message.WParam, message.LParam)
                                         : DefWindowProcW(window, msg, message.WParam, message.LParam);
    for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
      TSkHook* client = *it;
      if (!IsClient(client)) continue;
      try {
        client->AfterMessage(message);
      } catch (...) {
        Application->HandleException(client);
      }
    }
  }
  if (msg == WM_DESTROY && window_ == window) {
    Unhook();
    // The control lives on and will make a new window on demand: hook it
    // again from outside this window's procedure.
    if (control_ != nullptr && !control_->IsDestroying() && !clients_.empty() && !rehookPosted_) {
      rehookPosted_ = true;
      PostMessageW(HookList().Window(), kHookMessageRehook, 0, reinterpret_cast<LPARAM>(this));
    }
  }
  return message.Result;
}

// ---- THookList ---------------------------------------------------------------

THookList::THookList() = default;

THookList::~THookList() {
  hooks_.clear();
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

HWND THookList::Window() {
  if (window_ == nullptr) {
    RegisterFrameworkClass(L"EbookSkHookList", 0, &THookList::ListProcedure);
    window_ = CreateWindowExW(0, L"EbookSkHookList", L"", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ModuleInstance(), nullptr);
    if (window_ != nullptr) AddReleaseHandler([this] { Release(); });
  }
  return window_;
}

void THookList::Release() {
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
  window_ = nullptr;
  // The requests its window still had queued are gone with it: hooks left
  // without clients are freed now. A hook whose window lives on stays.
  std::erase_if(hooks_, [](const auto& hook) { return hook->Clients().empty(); });
}

THookList& HookList() {
  static THookList list;
  return list;
}

TControlHook& THookList::HookFor(TWinControl* control) {
  if (TControlHook* found = Find(control)) return *found;
  hooks_.push_back(std::make_unique<TControlHook>(control));
  TControlHook& hook = *hooks_.back();
  hook.Hook();
  return hook;
}

TControlHook* THookList::Find(const TWinControl* control) const {
  for (const auto& hook : hooks_) {
    if (hook->Control() == control) return hook.get();
  }
  return nullptr;
}

bool THookList::Contains(const TControlHook* hook) const {
  return std::any_of(hooks_.begin(), hooks_.end(), [hook](const auto& h) { return h.get() == hook; });
}

void THookList::FreeIfUnused(TControlHook* hook) {
  auto found = std::find_if(hooks_.begin(), hooks_.end(), [hook](const auto& h) { return h.get() == hook; });
  if (found == hooks_.end() || !(*found)->Clients().empty()) return;
  hooks_.erase(found);
}

LRESULT CALLBACK THookList::ListProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kHookMessageRehook || msg == kHookMessageFree) {
    THookList& list = HookList();
    auto* hook = reinterpret_cast<TControlHook*>(lParam);
    // The hook may have gone since the message was posted.
    if (!list.Contains(hook)) return 0;
    if (msg == kHookMessageFree) {
      list.FreeIfUnused(hook);
    } else {
      hook->rehookPosted_ = false;
      // A control still without a window asks again when it has one
      // (Watch).
      if (!hook->Clients().empty()) hook->Hook();
    }
    return 0;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

// ---- TSkHook -----------------------------------------------------------------

TSkHook::TSkHook(TComponent* owner) : TComponent(owner), control_(dynamic_cast<TWinControl*>(owner)) {}

TSkHook::~TSkHook() {
  if (controlHook_ != nullptr && HookList().Contains(controlHook_)) {
    controlHook_->RemoveClient(this);
    if (controlHook_->Clients().empty()) {
      // The owner's window may be gone with it: the hook leaves the window
      // now rather than later.
      controlHook_->Unhook();
      PostMessageW(HookList().Window(), kHookMessageFree, 0, reinterpret_cast<LPARAM>(controlHook_));
    }
  }
  controlHook_ = nullptr;
}

void TSkHook::Loaded() {
  TComponent::Loaded();
  if (active_) Attach();
}

void TSkHook::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  if (IsLoading()) return;
  if (value) {
    Attach();
  } else {
    Detach();
  }
}

void TSkHook::Attach() {
  if (control_ == nullptr) return;
  TControlHook& hook = HookList().HookFor(control_);
  hook.AddClient(this);
  hook.Hook();
  controlHook_ = &hook;
}

void TSkHook::Detach() {
  if (controlHook_ == nullptr) return;
  TControlHook* hook = std::exchange(controlHook_, nullptr);
  if (!HookList().Contains(hook)) return;
  hook->RemoveClient(this);
  if (hook->Clients().empty()) {
    hook->Unhook();
    PostMessageW(HookList().Window(), kHookMessageFree, 0, reinterpret_cast<LPARAM>(hook));
  }
  Unhooked();
}

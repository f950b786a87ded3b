// The window-procedure replacement: a host filters the messages of its
// owner window (the browser's dialogs open there) and of its control's
// window (keys offered to the browser, a page's close request).
#include <windows.h>
#include <dlgs.h>

#include <cwchar>
#include <map>
#include <vector>

#include "browser/embedded_wb_site.h"

using wb::ReportException;

namespace {

// ---- window procedure replacement --------------------------------------------------
//
// A host replaces the window procedure of its owner window and of its
// control's window. One window may be watched by several hosts (two browsers
// on one form): the filter is installed once per window, the hosts are
// listed with it, and the window gets its original procedure back when the
// last one leaves, unless someone replaced the procedure after us; then our
// filter stays in place, forwarding every message, rather than cut that
// later procedure out.
struct THookedWindow {
  WNDPROC Original = nullptr;
  std::vector<TEmbeddedWB*> Hosts;
};
using THookMap = std::map<HWND, THookedWindow>;

THookMap& OwnerHooks() {
  static THookMap hooks;
  return hooks;
}
THookMap& ControlHooks() {
  static THookMap hooks;
  return hooks;
}

WNDPROC Hook(THookMap& hooks, HWND window, WNDPROC filter, TEmbeddedWB* host) {
  auto found = hooks.find(window);
  if (found == hooks.end()) {
    THookedWindow entry;
    entry.Original =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(filter)));
    found = hooks.emplace(window, entry).first;
  }
  found->second.Hosts.push_back(host);
  return found->second.Original;
}

void Unhook(THookMap& hooks, HWND window, WNDPROC filter, TEmbeddedWB* host) {
  auto found = hooks.find(window);
  if (found == hooks.end()) return;
  auto& hosts = found->second.Hosts;
  std::erase(hosts, host);
  if (!hosts.empty()) return;
  if (!IsWindow(window)) {
    hooks.erase(found);
    return;
  }
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) == filter) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.Original));
    hooks.erase(found);
  }
}

}  // namespace

void TEmbeddedWB::HookOwner() {
  auto* owner = dynamic_cast<TWinControl*>(Owner());
  if (owner == nullptr || !owner->HandleAllocated() || ownerWindow_ != nullptr) return;
  ownerWindow_ = owner->Handle();
  ownerPrevious_ = Hook(OwnerHooks(), ownerWindow_, &TEmbeddedWB::OwnerFilter, this);
}

void TEmbeddedWB::UnhookOwner() {
  if (ownerWindow_ == nullptr) return;
  Unhook(OwnerHooks(), ownerWindow_, &TEmbeddedWB::OwnerFilter, this);
  ownerWindow_ = nullptr;
  ownerPrevious_ = nullptr;
}

void TEmbeddedWB::HookControl() {
  if (controlWindow_ == nullptr || controlPrevious_ != nullptr) return;
  controlPrevious_ = Hook(ControlHooks(), controlWindow_, &TEmbeddedWB::ControlFilter, this);
  SetKeyFilter(controlWindow_, [this](MSG& message) { return OfferKey(message); });
}

void TEmbeddedWB::UnhookControl() {
  if (controlWindow_ == nullptr || controlPrevious_ == nullptr) return;
  SetKeyFilter(controlWindow_, {});
  Unhook(ControlHooks(), controlWindow_, &TEmbeddedWB::ControlFilter, this);
  controlPrevious_ = nullptr;
}

// ---- keys and the control's window

// Backspace and Enter must reach form fields, and the arrow keys with the
// extended bit move the caret there; everything else may be a browser
// accelerator (Ctrl+C copies through it).
bool TEmbeddedWB::OfferKey(MSG& message) {
  if (browser_ == nullptr || controlWindow_ == nullptr) return false;
  const WPARAM key = message.wParam;
  const bool extended = (message.lParam & (1L << 24)) != 0;
  if (key == VK_BACK || key == VK_RETURN || ((key == VK_LEFT || key == VK_RIGHT) && extended)) return false;
  MSG offered{};
  offered.hwnd = controlWindow_;
  offered.message = message.message;
  offered.wParam = message.wParam;
  offered.lParam = message.lParam;
  offered.time = static_cast<DWORD>(GetMessageTime());
  offered.pt = message.pt;
  const TComPtr<IDispatch> application = PropertyDispatch(kDispidApplication, true);
  const auto active = application.Query<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
  return active && active->TranslateAccelerator(&offered) == S_OK;
}

LRESULT CALLBACK TEmbeddedWB::ControlFilter(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto found = ControlHooks().find(window);
  if (found == ControlHooks().end()) return DefWindowProcW(window, msg, wParam, lParam);
  const WNDPROC previous = found->second.Original;
  TEmbeddedWB* host = found->second.Hosts.empty() ? nullptr : found->second.Hosts.front();
  if (msg == WM_NCDESTROY) {
    // The control's window is gone (closed by its own default handling):
    // nothing is left to restore.
    std::vector<TEmbeddedWB*> hosts = found->second.Hosts;
    ControlHooks().erase(found);
    SetKeyFilter(window, {});
    for (TEmbeddedWB* h : hosts) {
      h->controlPrevious_ = nullptr;
      h->controlWindow_ = nullptr;
    }
    return CallWindowProcW(previous, window, msg, wParam, lParam);
  }
  if (msg == WM_CLOSE && host != nullptr) {
    bool canClose = true;
    try {
      if (host->OnCloseQuery) host->OnCloseQuery(host, canClose);
    } catch (...) {
      ReportException(host);
      canClose = false;
    }
    if (!canClose) return 0;
  }
  return CallWindowProcW(previous, window, msg, wParam, lParam);
}

LRESULT CALLBACK TEmbeddedWB::OwnerFilter(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto found = OwnerHooks().find(window);
  if (found == OwnerHooks().end()) return DefWindowProcW(window, msg, wParam, lParam);
  const WNDPROC previous = found->second.Original;
  if (msg == WM_NCDESTROY) {
    std::vector<TEmbeddedWB*> hosts = found->second.Hosts;
    OwnerHooks().erase(found);
    for (TEmbeddedWB* h : hosts) {
      h->ownerWindow_ = nullptr;
      h->ownerPrevious_ = nullptr;
    }
    return CallWindowProcW(previous, window, msg, wParam, lParam);
  }
  if (msg == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE && lParam != 0 && !found->second.Hosts.empty()) {
    TEmbeddedWB* host = found->second.Hosts.front();
    try {
      HWND activated = reinterpret_cast<HWND>(lParam);
      wchar_t className[80] = {};
      GetClassNameW(activated, className, 80);
      if (std::wcscmp(className, L"#32770") == 0) {
        if (host->replaceCaption_) host->RebrandDialog(activated);
        // Only the page-setup dialog (the one with the margin fields) is
        // filled and confirmed.
        if (wb::pageSetupPending && GetDlgItem(activated, edt4) != nullptr) {
          wb::pageSetupPending = false;
          host->FillPageSetupDialog(activated);
        }
      }
    } catch (...) {
      ReportException(host);
    }
  }
  return CallWindowProcW(previous, window, msg, wParam, lParam);
}

// Undo-on-exit for anything that has no owner type of its own: the action
// given at construction runs when the scope ends, however it ends (return or
// exception). The action must not throw; it runs in a destructor.
//
//   followingParent_ = true;
//   const TScopeExit reset([this] { followingParent_ = false; });
#pragma once

#include <type_traits>
#include <utility>

template <class TAction>
class [[nodiscard]] TScopeExit {
 public:
  explicit TScopeExit(TAction action) noexcept(std::is_nothrow_move_constructible_v<TAction>)
      : action_(std::move(action)) {}
  ~TScopeExit() {
    if (active_) action_();
  }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

  // The scope's work succeeded and needs no undoing.
  void Dismiss() noexcept { active_ = false; }

 private:
  TAction action_;
  bool active_ = true;
};

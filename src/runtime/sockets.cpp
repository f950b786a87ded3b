// The platform-independent part of the socket layer.
#include "runtime/sockets.h"

#include "runtime/sockets_internal.h"

namespace socket_detail {

int Remaining(bool limited, TClock::time_point deadline) {
  if (!limited) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

}  // namespace socket_detail

void TSocket::FinishSending(int timeoutMs) noexcept {
  if (!Valid() || Cancelled()) return;
  ShutdownSending();
  const auto deadline = socket_detail::TClock::now() + std::chrono::milliseconds(timeoutMs);
  char scratch[4096];
  try {
    for (;;) {
      const int left = socket_detail::Remaining(true, deadline);
      if (left == 0 || Receive(scratch, sizeof scratch, left) == 0) break;
    }
  } catch (const ESocketError&) {
    // Reset, timeout or cancellation: nothing more to wait for.
  }
}

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "runtime/sockets.h"
#include "runtime/sockets_internal.h"

struct TSocketState {
  int Fd = -1;
  // Set by Shutdown; read by the owner's waits.
  std::atomic<bool> Cancelled{false};
  // Accepted sockets: the peer's address as accept reported it.
  sockaddr_in Peer{};
  bool PeerKnown = false;
  // Listening sockets: the wait limit set on the socket for Accept (-2: none
  // set yet), and whether accepted sockets inherit TCP_NODELAY (-1: not
  // known yet; found out on the first accepted one).
  std::atomic<int> AcceptTimeoutMs{-2};
  std::atomic<int> NoDelayInherited{-1};

  ~TSocketState() {
    if (Fd >= 0) ::close(Fd);
  }
};

namespace {

using socket_detail::Remaining;
using socket_detail::TClock;

TSocketErrorKind KindOf(int code) {
  switch (code) {
    case ECONNREFUSED: return TSocketErrorKind::Refused;
    case ETIMEDOUT: return TSocketErrorKind::TimedOut;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE: return TSocketErrorKind::Reset;
    default: return TSocketErrorKind::Other;
  }
}

[[noreturn]] void Fail(const std::string& what, int code, TSocketErrorKind kind) {
  throw ESocketError(what + ": " + std::system_category().message(code), kind, code);
}

[[noreturn]] void Fail(const std::string& what, int code) { Fail(what, code, KindOf(code)); }

[[noreturn]] void FailCancelled() {
  throw ESocketError("Socket operation cancelled: the socket was shut down", TSocketErrorKind::Cancelled, 0);
}

[[noreturn]] void FailTimedOut(const char* what) {
  throw ESocketError(std::string(what) + " timed out", TSocketErrorKind::TimedOut, ETIMEDOUT);
}

void SetNoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void MakeNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) Fail("fcntl", errno);
}

int NewSocket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("Could not create socket", errno);
  return fd;
}

sockaddr_in Resolve(const std::string& host, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0 || found == nullptr) {
    throw ESocketError("Could not resolve \"" + host + "\": " + ::gai_strerror(status), TSocketErrorKind::Other,
                       status);
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_port = htons(port);
  return address;
}

// Waits until fd reports one of events (or an error or hang-up, which the
// next call then reports). False when the time limit passed first.
bool WaitReady(TSocketState& state, short events, int timeoutMs) {
  const bool limited = timeoutMs >= 0;
  const auto deadline = TClock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  for (;;) {
    if (state.Cancelled.load()) FailCancelled();
    pollfd entry{state.Fd, events, 0};
    const int ready = ::poll(&entry, 1, Remaining(limited, deadline));
    if (ready > 0) {
      if (state.Cancelled.load()) FailCancelled();
      return true;
    }
    if (ready == 0) {
      if (Remaining(limited, deadline) == 0) return false;
      continue;
    }
    if (errno != EINTR) Fail("poll", errno);
  }
}

std::string FormatAddress(const sockaddr_in& address) {
  const auto* b = reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace

TSocket::TSocket() = default;
TSocket::TSocket(std::unique_ptr<TSocketState> state) : state_(std::move(state)) {}
TSocket::~TSocket() = default;
TSocket::TSocket(TSocket&& other) noexcept = default;
TSocket& TSocket::operator=(TSocket&& other) noexcept = default;

bool TSocket::Valid() const { return state_ && state_->Fd >= 0; }

TSocket TSocket::Listen(const std::string& address, uint16_t port, const TListenOptions& options) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    throw ESocketError("Invalid IPv4 address \"" + address + "\"", TSocketErrorKind::BindFailed, EINVAL);
  }
  auto state = std::make_unique<TSocketState>();
  state->Fd = NewSocket();
  const int on = 1;
  ::setsockopt(state->Fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // Answers go out as a header and a body: without this a body written after
  // its header could wait for the peer's delayed acknowledgement. Set here
  // once; accepted sockets inherit it where the system passes it on.
  SetNoDelay(state->Fd);
#ifdef TCP_DEFER_ACCEPT
  if (options.FirstDataWaitSeconds > 0) {
    ::setsockopt(state->Fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &options.FirstDataWaitSeconds,
                 sizeof options.FirstDataWaitSeconds);
  }
#endif
  if (::bind(state->Fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    Fail("Could not bind " + address + ":" + std::to_string(port), errno, TSocketErrorKind::BindFailed);
  }
  if (::listen(state->Fd, options.Backlog) != 0) Fail("listen", errno);
  // The listening socket stays blocking: Accept waits in the kernel.
  return TSocket(std::move(state));
}

TSocket TSocket::Accept(int timeoutMs) {
  const int limit = timeoutMs < 0 ? -1 : timeoutMs;
  if (state_->AcceptTimeoutMs.exchange(limit) != limit) {
    timeval wait{};  // zero: no limit
    if (limit >= 0) {
      wait.tv_sec = limit / 1000;
      wait.tv_usec = (limit % 1000) * 1000;
      if (limit == 0) wait.tv_usec = 1;  // zero would mean "wait forever"
    }
    if (::setsockopt(state_->Fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0) Fail("setsockopt", errno);
  }
  for (;;) {
    if (state_->Cancelled.load()) FailCancelled();
    auto accepted = std::make_unique<TSocketState>();
    socklen_t length = sizeof accepted->Peer;
    const int fd = ::accept4(state_->Fd, reinterpret_cast<sockaddr*>(&accepted->Peer), &length,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      accepted->Fd = fd;
      accepted->PeerKnown = length == sizeof accepted->Peer && accepted->Peer.sin_family == AF_INET;
      int inherited = state_->NoDelayInherited.load(std::memory_order_relaxed);
      if (inherited < 0) {
        int value = 0;
        socklen_t size = sizeof value;
        inherited = ::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &size) == 0 && value != 0 ? 1 : 0;
        state_->NoDelayInherited.store(inherited, std::memory_order_relaxed);
      }
      if (inherited == 0) SetNoDelay(fd);
      return TSocket(std::move(accepted));
    }
    const int code = errno;
    if (state_->Cancelled.load()) FailCancelled();
    if (code == EAGAIN || code == EWOULDBLOCK) return TSocket();  // the time limit passed
    // A peer that gave up before being accepted is no failure of the listener.
    if (code != EINTR && code != ECONNABORTED) Fail("accept", code);
  }
}

TSocket TSocket::Connect(const std::string& host, uint16_t port, int timeoutMs) {
  const sockaddr_in remote = Resolve(host, port);
  const std::string where = "Could not connect to " + host + ":" + std::to_string(port);
  auto state = std::make_unique<TSocketState>();
  state->Fd = NewSocket();
  MakeNonBlocking(state->Fd);
  if (::connect(state->Fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
    if (errno != EINPROGRESS) Fail(where, errno);
    if (!WaitReady(*state, POLLOUT, timeoutMs)) FailTimedOut(where.c_str());
    int code = 0;
    socklen_t length = sizeof code;
    if (::getsockopt(state->Fd, SOL_SOCKET, SO_ERROR, &code, &length) != 0) code = errno;
    if (code != 0) Fail(where, code);
  }
  return TSocket(std::move(state));
}

void TSocket::SendAll(const void* data, size_t size, int timeoutMs) {
  const TSendBuffer buffer{data, size};
  SendAll(&buffer, 1, timeoutMs);
}

void TSocket::SendAll(const TSendBuffer* buffers, size_t count, int timeoutMs) {
  constexpr size_t kMaxPieces = 8;
  socket_detail::TSendCursor cursor(buffers, count);
  while (!cursor.Done()) {
    iovec pieces[kMaxPieces];
    size_t used = 0;
    cursor.Pieces(kMaxPieces, SIZE_MAX, [&](const char* data, size_t size) {
      pieces[used++] = iovec{const_cast<char*>(data), size};
    });
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = used;
    if (state_->Cancelled.load()) FailCancelled();
    const ssize_t sent = ::sendmsg(state_->Fd, &message, MSG_NOSIGNAL);
    if (sent >= 0) {
      cursor.Advance(static_cast<size_t>(sent));
      continue;
    }
    const int code = errno;
    if (code == EAGAIN || code == EWOULDBLOCK) {
      if (!WaitReady(*state_, POLLOUT, timeoutMs)) FailTimedOut("Sending");
    } else if (code != EINTR) {
      if (state_->Cancelled.load()) FailCancelled();
      Fail("send", code);
    }
  }
}

size_t TSocket::Receive(void* buffer, size_t size, int timeoutMs) {
  const bool limited = timeoutMs >= 0;
  const auto deadline = TClock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  for (;;) {
    if (state_->Cancelled.load()) FailCancelled();
    const ssize_t received = ::recv(state_->Fd, buffer, size, 0);
    if (received >= 0) return static_cast<size_t>(received);
    const int code = errno;
    if (code == EAGAIN || code == EWOULDBLOCK) {
      // The deadline holds across spurious wake-ups.
      const int left = Remaining(limited, deadline);
      if (left == 0 || !WaitReady(*state_, POLLIN, left)) FailTimedOut("Receiving");
    } else if (code != EINTR) {
      if (state_->Cancelled.load()) FailCancelled();
      Fail("recv", code);
    }
  }
}

void TSocket::Shutdown() {
  if (!state_) return;
  state_->Cancelled.store(true);
  // Wakes poll on a connected socket and also on a listening one (Linux
  // moves it out of the listening state), so a blocked Accept ends too.
  if (state_->Fd >= 0) ::shutdown(state_->Fd, SHUT_RDWR);
}

bool TSocket::Cancelled() const { return state_ && state_->Cancelled.load(); }

void TSocket::ShutdownSending() noexcept {
  if (Valid()) ::shutdown(state_->Fd, SHUT_WR);
}

void TSocket::Close() noexcept {
  if (state_ && state_->Fd >= 0) {
    ::close(state_->Fd);
    state_->Fd = -1;
  }
}

bool TSocket::HasUnreadInput() const noexcept {
  if (!Valid()) return false;
  char byte;
  return ::recv(state_->Fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

std::string TSocket::PeerAddress() const {
  if (!Valid()) return {};
  if (state_->PeerKnown) return FormatAddress(state_->Peer);
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(state_->Fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET) {
    return {};
  }
  return FormatAddress(peer);
}

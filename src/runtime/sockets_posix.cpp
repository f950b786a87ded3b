#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "runtime/sockets.h"
#include "runtime/sockets_internal.h"

struct TSocketState {
  int Fd = -1;
  // Set by Shutdown; read by the owner's waits.
  std::atomic<bool> Cancelled{false};

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

TSocket TSocket::Listen(const std::string& address, uint16_t port, int backlog, bool /*exclusive*/) {
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
  if (::bind(state->Fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    Fail("Could not bind " + address + ":" + std::to_string(port), errno, TSocketErrorKind::BindFailed);
  }
  if (::listen(state->Fd, backlog) != 0) Fail("listen", errno);
  MakeNonBlocking(state->Fd);
  return TSocket(std::move(state));
}

TSocket TSocket::Accept() {
  for (;;) {
    if (state_->Cancelled.load()) FailCancelled();
    const int fd = ::accept4(state_->Fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      // Answers go out as a header write and then the body: without this the
      // body could wait for the peer's delayed acknowledgement of the header.
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      auto accepted = std::make_unique<TSocketState>();
      accepted->Fd = fd;
      return TSocket(std::move(accepted));
    }
    const int code = errno;
    if (code == EAGAIN || code == EWOULDBLOCK) {
      WaitReady(*state_, POLLIN, kWaitForever);
    } else if (code == EINTR || code == ECONNABORTED) {
      // A peer that gave up before being accepted is no failure of the listener.
    } else {
      if (state_->Cancelled.load()) FailCancelled();
      Fail("accept", code);
    }
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
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    if (state_->Cancelled.load()) FailCancelled();
    const ssize_t sent = ::send(state_->Fd, bytes, size, MSG_NOSIGNAL);
    if (sent >= 0) {
      bytes += sent;
      size -= static_cast<size_t>(sent);
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

std::string TSocket::PeerAddress() const {
  if (!Valid()) return {};
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(state_->Fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET) {
    return {};
  }
  return FormatAddress(peer);
}

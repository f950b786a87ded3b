// Winsock2 sockets. Every socket is associated with its own network event
// (WSAEventSelect, which also makes it non-blocking) and a second, manual
// cancel event that Shutdown sets: each wait is on both events, so Shutdown
// ends a wait in Accept, Receive or SendAll at once, on Windows and under
// Wine alike, without closing a handle another thread still uses.
//
// Operations always try first and wait only after WSAEWOULDBLOCK. Network
// events are recorded once and re-enabled by the matching call (recv, send,
// accept), so trying first never misses data that arrived before the wait.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>

#include "runtime/sockets.h"
#include "runtime/sockets_internal.h"

struct TSocketState {
  SOCKET Handle = INVALID_SOCKET;
  WSAEVENT NetworkEvent = WSA_INVALID_EVENT;
  WSAEVENT CancelEvent = WSA_INVALID_EVENT;
  std::atomic<bool> Cancelled{false};
  // Accepted sockets: the peer's address as accept reported it.
  sockaddr_in Peer{};
  bool PeerKnown = false;

  TSocketState() = default;
  TSocketState(const TSocketState&) = delete;
  TSocketState& operator=(const TSocketState&) = delete;
  ~TSocketState() {
    if (Handle != INVALID_SOCKET) ::closesocket(Handle);
    if (NetworkEvent != WSA_INVALID_EVENT) ::WSACloseEvent(NetworkEvent);
    if (CancelEvent != WSA_INVALID_EVENT) ::WSACloseEvent(CancelEvent);
  }
};

namespace {

using socket_detail::Remaining;
using socket_detail::TClock;

TSocketErrorKind KindOf(int code) {
  switch (code) {
    case WSAECONNREFUSED: return TSocketErrorKind::Refused;
    case WSAETIMEDOUT: return TSocketErrorKind::TimedOut;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAESHUTDOWN: return TSocketErrorKind::Reset;
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

[[noreturn]] void FailTimedOut(const std::string& what) {
  throw ESocketError(what + " timed out", TSocketErrorKind::TimedOut, WSAETIMEDOUT);
}

// Winsock is started once for the process and never cleaned up: sockets may
// be in use until the process ends.
void EnsureStarted() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    const int status = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (status != 0) Fail("WSAStartup", status);
  });
}

// Gives the socket its two events and selects networkEvents on it.
void Associate(TSocketState& state, long networkEvents) {
  state.NetworkEvent = ::WSACreateEvent();
  state.CancelEvent = ::WSACreateEvent();
  if (state.NetworkEvent == WSA_INVALID_EVENT || state.CancelEvent == WSA_INVALID_EVENT) {
    Fail("WSACreateEvent", ::WSAGetLastError());
  }
  if (::WSAEventSelect(state.Handle, state.NetworkEvent, networkEvents) != 0) {
    Fail("WSAEventSelect", ::WSAGetLastError());
  }
}

constexpr long kStreamEvents = FD_READ | FD_WRITE | FD_CLOSE;

// Waits for a network event (reported in events) or cancellation. False
// when the time limit passed first.
bool WaitReady(TSocketState& state, int timeoutMs, WSANETWORKEVENTS* events = nullptr) {
  if (state.Cancelled.load()) FailCancelled();
  WSAEVENT handles[2] = {state.NetworkEvent, state.CancelEvent};
  const DWORD result = ::WSAWaitForMultipleEvents(2, handles, FALSE, timeoutMs < 0 ? WSA_INFINITE : DWORD(timeoutMs),
                                                  FALSE);
  if (state.Cancelled.load() || result == WSA_WAIT_EVENT_0 + 1) FailCancelled();
  if (result == WSA_WAIT_TIMEOUT) return false;
  if (result != WSA_WAIT_EVENT_0) Fail("WSAWaitForMultipleEvents", ::WSAGetLastError());
  WSANETWORKEVENTS recorded{};
  if (::WSAEnumNetworkEvents(state.Handle, state.NetworkEvent, &recorded) != 0) {
    Fail("WSAEnumNetworkEvents", ::WSAGetLastError());
  }
  if (events != nullptr) *events = recorded;
  return true;
}

std::string FormatAddress(const sockaddr_in& address) {
  const auto* b = reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

SOCKET NewSocket() {
  const SOCKET handle = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
  if (handle == INVALID_SOCKET) Fail("Could not create socket", ::WSAGetLastError());
  // Child processes must not inherit the book's listening port.
  ::SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
  return handle;
}

}  // namespace

TSocket::TSocket() = default;
TSocket::TSocket(std::unique_ptr<TSocketState> state) : state_(std::move(state)) {}
TSocket::~TSocket() = default;
TSocket::TSocket(TSocket&& other) noexcept = default;
TSocket& TSocket::operator=(TSocket&& other) noexcept = default;

bool TSocket::Valid() const { return state_ && state_->Handle != INVALID_SOCKET; }

TSocket TSocket::Listen(const std::string& address, uint16_t port, const TListenOptions& options) {
  EnsureStarted();
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    throw ESocketError("Invalid IPv4 address \"" + address + "\"", TSocketErrorKind::BindFailed, WSAEINVAL);
  }
  auto state = std::make_unique<TSocketState>();
  state->Handle = NewSocket();
  // Windows lets SO_REUSEADDR take over a port another program is bound to;
  // SO_EXCLUSIVEADDRUSE is what keeps a port that is in use unbindable.
  const BOOL on = TRUE;
  ::setsockopt(state->Handle, SOL_SOCKET, options.Exclusive ? SO_EXCLUSIVEADDRUSE : SO_REUSEADDR,
               reinterpret_cast<const char*>(&on), sizeof on);
  if (::bind(state->Handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    Fail("Could not bind " + address + ":" + std::to_string(port), ::WSAGetLastError(), TSocketErrorKind::BindFailed);
  }
  if (::listen(state->Handle, options.Backlog) != 0) Fail("listen", ::WSAGetLastError());
  // Plain accept cannot wait for a connection's first bytes here:
  // FirstDataWaitSeconds has no effect.
  Associate(*state, FD_ACCEPT);
  return TSocket(std::move(state));
}

TSocket TSocket::Accept(int timeoutMs) {
  // Several threads may wait here: each wakes on the listener's event and
  // tries accept; those that find no connection wait again, within the limit.
  const bool limited = timeoutMs >= 0;
  const auto deadline = TClock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  for (;;) {
    if (state_->Cancelled.load()) FailCancelled();
    auto accepted = std::make_unique<TSocketState>();
    int length = sizeof accepted->Peer;
    const SOCKET handle = ::accept(state_->Handle, reinterpret_cast<sockaddr*>(&accepted->Peer), &length);
    if (handle != INVALID_SOCKET) {
      accepted->Handle = handle;
      accepted->PeerKnown = length == sizeof accepted->Peer && accepted->Peer.sin_family == AF_INET;
      // Answers go out as a header and a body: without this a body could
      // wait for the peer's delayed acknowledgement of the header.
      const BOOL noDelay = TRUE;
      ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
      // The accepted socket inherits the listener's event association;
      // Associate gives it its own.
      Associate(*accepted, kStreamEvents);
      return TSocket(std::move(accepted));
    }
    const int code = ::WSAGetLastError();
    if (code == WSAEWOULDBLOCK) {
      const int left = Remaining(limited, deadline);
      if (left == 0 || !WaitReady(*state_, left)) return TSocket();
    } else if (code != WSAECONNRESET && code != WSAECONNABORTED && code != WSAEINTR) {
      if (state_->Cancelled.load()) FailCancelled();
      Fail("accept", code);
    }
  }
}

TSocket TSocket::Connect(const std::string& host, uint16_t port, int timeoutMs) {
  EnsureStarted();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0 || found == nullptr) Fail("Could not resolve \"" + host + "\"", status);
  sockaddr_in remote{};
  std::memcpy(&remote, found->ai_addr, sizeof remote);
  ::freeaddrinfo(found);
  remote.sin_port = htons(port);

  const std::string where = "Could not connect to " + host + ":" + std::to_string(port);
  auto state = std::make_unique<TSocketState>();
  state->Handle = NewSocket();
  Associate(*state, FD_CONNECT | kStreamEvents);
  if (::connect(state->Handle, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
    const int code = ::WSAGetLastError();
    if (code != WSAEWOULDBLOCK) Fail(where, code);
    const bool limited = timeoutMs >= 0;
    const auto deadline = TClock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
    for (;;) {
      WSANETWORKEVENTS events{};
      if (!WaitReady(*state, Remaining(limited, deadline), &events)) FailTimedOut(where);
      if (events.lNetworkEvents & FD_CONNECT) {
        const int result = events.iErrorCode[FD_CONNECT_BIT];
        if (result != 0) Fail(where, result);
        break;
      }
    }
  }
  return TSocket(std::move(state));
}

void TSocket::SendAll(const void* data, size_t size, int timeoutMs) {
  const TSendBuffer buffer{data, size};
  SendAll(&buffer, 1, timeoutMs);
}

void TSocket::SendAll(const TSendBuffer* buffers, size_t count, int timeoutMs) {
  constexpr size_t kMaxPieces = 8;
  constexpr size_t kMaxPiece = 0x10000000;  // WSABUF lengths are 32-bit
  socket_detail::TSendCursor cursor(buffers, count);
  while (!cursor.Done()) {
    WSABUF pieces[kMaxPieces];
    DWORD used = 0;
    cursor.Pieces(kMaxPieces, kMaxPiece, [&](const char* data, size_t size) {
      pieces[used++] = WSABUF{static_cast<ULONG>(size), const_cast<char*>(data)};
    });
    if (state_->Cancelled.load()) FailCancelled();
    DWORD sent = 0;
    if (::WSASend(state_->Handle, pieces, used, &sent, 0, nullptr, nullptr) == 0) {
      cursor.Advance(sent);
      continue;
    }
    const int code = ::WSAGetLastError();
    if (code == WSAEWOULDBLOCK) {
      if (!WaitReady(*state_, timeoutMs)) FailTimedOut("Sending");
    } else {
      if (state_->Cancelled.load()) FailCancelled();
      Fail("send", code);
    }
  }
}

size_t TSocket::Receive(void* buffer, size_t size, int timeoutMs) {
  const bool limited = timeoutMs >= 0;
  const auto deadline = TClock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  const int chunk = size > 0x10000000 ? 0x10000000 : static_cast<int>(size);
  for (;;) {
    if (state_->Cancelled.load()) FailCancelled();
    const int received = ::recv(state_->Handle, static_cast<char*>(buffer), chunk, 0);
    if (received != SOCKET_ERROR) return static_cast<size_t>(received);
    const int code = ::WSAGetLastError();
    if (code == WSAEWOULDBLOCK) {
      // A wake-up may be for another event (FD_WRITE); the deadline holds
      // across such spurious rounds.
      const int left = Remaining(limited, deadline);
      if (left == 0 || !WaitReady(*state_, left)) FailTimedOut("Receiving");
    } else {
      if (state_->Cancelled.load()) FailCancelled();
      Fail("recv", code);
    }
  }
}

void TSocket::Shutdown() {
  if (!state_) return;
  state_->Cancelled.store(true);
  if (state_->CancelEvent != WSA_INVALID_EVENT) ::WSASetEvent(state_->CancelEvent);
  if (state_->Handle != INVALID_SOCKET) ::shutdown(state_->Handle, SD_BOTH);
}

bool TSocket::Cancelled() const { return state_ && state_->Cancelled.load(); }

void TSocket::ShutdownSending() noexcept {
  if (Valid()) ::shutdown(state_->Handle, SD_SEND);
}

void TSocket::Close() noexcept {
  if (state_ && state_->Handle != INVALID_SOCKET) {
    ::closesocket(state_->Handle);
    state_->Handle = INVALID_SOCKET;
  }
}

bool TSocket::HasUnreadInput() const noexcept {
  if (!Valid()) return false;
  u_long pending = 0;
  return ::ioctlsocket(state_->Handle, FIONREAD, &pending) == 0 && pending > 0;
}

std::string TSocket::PeerAddress() const {
  if (!Valid()) return {};
  if (state_->PeerKnown) return FormatAddress(state_->Peer);
  sockaddr_in peer{};
  int length = sizeof peer;
  if (::getpeername(state_->Handle, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET) {
    return {};
  }
  return FormatAddress(peer);
}

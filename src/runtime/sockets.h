// A thin TCP/IPv4 socket layer with time limits, one interface over Winsock2
// (sockets_win.cpp) and POSIX sockets (sockets_posix.cpp).
//
// Every socket is non-blocking underneath; each operation waits for
// readiness itself, with its own time limit, so that a wait can also be ended
// at once from another thread by Shutdown. That is how a server stops a thread
// blocked in Accept or Receive without closing a descriptor that the thread
// is still using (a closed descriptor number may be reused at once by another
// socket).
//
// A listening socket is the exception on POSIX systems: there Accept blocks
// in the kernel itself, so that of several threads waiting on one listener
// the kernel wakes exactly one per new connection (a readiness wait would
// wake them all). Shutdown still ends every such wait at once.
//
// Threading: one thread owns a socket and calls its operations; the only call
// another thread may make concurrently is Shutdown, and on a listening socket
// several threads may wait in Accept at the same time. Close and the
// destructor must not race with Shutdown: the owner decides when nobody can
// call Shutdown any more (see TIdContext).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/exceptions.h"

enum class TSocketErrorKind {
  Other,
  BindFailed,  // Listen could not bind the address and port
  Refused,     // Connect: nobody listens at the address
  TimedOut,    // the operation's time limit passed
  Cancelled,   // Shutdown ended the wait (or came before it)
  Reset,       // the peer aborted the connection
};

class ESocketError : public Exception {
 public:
  ESocketError(std::string message, TSocketErrorKind kind, int errorCode)
      : Exception(std::move(message)), Kind(kind), ErrorCode(errorCode) {}

  TSocketErrorKind Kind;
  int ErrorCode;  // errno or the Winsock error code; 0 when none applies
};

// A time limit in milliseconds; negative means "wait without limit".
inline constexpr int kWaitForever = -1;

struct TSocketState;  // platform part

// One piece of a gather send.
struct TSendBuffer {
  const void* Data;
  size_t Size;
};

struct TListenOptions {
  int Backlog = 15;
  // On Windows the port is claimed with SO_EXCLUSIVEADDRUSE so that no other
  // program can bind it too; false asks for SO_REUSEADDR instead. On POSIX
  // systems SO_REUSEADDR is always set: there it only lets a restarted server
  // bind while connections of its predecessor linger in TIME_WAIT, and a
  // second listener on the same port is still refused.
  bool Exclusive = true;
  // For protocols where the client speaks first: where the system can
  // (Linux), a connection is handed to Accept only once its first bytes
  // have arrived, or after about this many seconds. 0: at once.
  int FirstDataWaitSeconds = 0;
};

class TSocket {
 public:
  TSocket();
  ~TSocket();
  TSocket(TSocket&& other) noexcept;
  TSocket& operator=(TSocket&& other) noexcept;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  bool Valid() const;

  // A listening socket bound to the IPv4 address (dotted text) and port.
  // Accepted connections send without delay (TCP_NODELAY). Fails with Kind
  // BindFailed when the address cannot be bound.
  static TSocket Listen(const std::string& address, uint16_t port, const TListenOptions& options = {});

  // Waits for the next connection; returns a socket that is not Valid when
  // timeoutMs passed first. Fails with Kind Cancelled once Shutdown was
  // called. Threads waiting at the same time should pass the same limit (on
  // POSIX systems it is a property of the listening socket).
  TSocket Accept(int timeoutMs = kWaitForever);

  // Connects to host (IPv4 dotted text or a name) and port. Fails with Kind
  // Refused, TimedOut or Other.
  static TSocket Connect(const std::string& host, uint16_t port, int timeoutMs);

  // Sends all bytes; timeoutMs limits each stall (no progress at all), not
  // the whole transfer. The peer having gone never raises a signal.
  void SendAll(const void* data, size_t size, int timeoutMs);
  // The same for several pieces sent as one stream, in as few system calls
  // as the socket takes them (a header and its body leave together).
  void SendAll(const TSendBuffer* buffers, size_t count, int timeoutMs);

  // Receives at least one byte and at most size bytes; returns 0 when the
  // peer has closed its sending direction. Fails with Kind TimedOut when
  // nothing arrives within timeoutMs.
  size_t Receive(void* buffer, size_t size, int timeoutMs);

  // Callable from any thread: ends the connection in both directions and
  // makes every current and later wait on this socket end at once (Accept,
  // Receive and SendAll fail with Kind Cancelled; Receive may also just see
  // the end of the data). The socket stays open until its owner closes it.
  void Shutdown();
  // True once Shutdown was called.
  bool Cancelled() const;

  // Ends the sending direction: the peer sees the end of the data after all
  // bytes already sent, and this side can still receive.
  void ShutdownSending() noexcept;

  // ShutdownSending, then discards what the peer still sends until it
  // closes, fails, Shutdown is called, or timeoutMs passes. Closing a socket
  // whose receive queue still holds bytes would reset the connection and
  // could destroy the answer the peer has not read yet.
  void FinishSending(int timeoutMs) noexcept;

  // True when bytes from the peer have arrived and not been read (without
  // waiting). Closing such a socket would reset the connection.
  bool HasUnreadInput() const noexcept;

  void Close() noexcept;

  // The peer's IPv4 address as dotted text; empty when unknown.
  std::string PeerAddress() const;

 private:
  explicit TSocket(std::unique_ptr<TSocketState> state);

  std::unique_ptr<TSocketState> state_;
};

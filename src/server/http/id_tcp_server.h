// The TCP side of the server: listening sockets, and a thread for every
// connection running the server's exchange.
//
// Threads and ownership:
// - Activation, deactivation and destruction happen on one owner thread.
// - Connection threads accept their connections themselves: each listening
//   socket has threads waiting in Accept on it, and the system hands every
//   new connection to exactly one of them, with no hand-over between
//   threads. The thread that takes the last waiting place starts a new
//   waiting thread first, so a connection arriving meanwhile is accepted at
//   once; a connection thread serves one connection at a time, for its whole
//   life, then waits again. Threads that have waited for a while with others
//   still waiting end, so an idle server keeps one thread per listener.
//   Starting a thread costs far more than serving a page, and a browser opens
//   a connection for every picture.
// - A connection thread runs OnExecute, closes its socket and removes the
//   connection from the list. Ended threads are joined by the next thread to
//   start or to end, and by deactivation, so a long running server keeps no
//   pile of them.
// - The lists and counts are guarded by mutex_. Deactivation shuts down the
//   listening sockets and the socket of every registered connection under
//   that lock; a connection closes its socket under its own context lock, so
//   a shutdown never hits a closed (possibly reused) socket.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "runtime/sockets.h"
#include "server/http/id_read_buffer.h"

// One accepted connection, handed to the server's exchange on its own
// thread.
class TIdContext {
 public:
  // timeoutMs limits each request's reading (see StartReadDeadline) and
  // each stall while sending; negative means no limit.
  TIdContext(TSocket socket, int timeoutMs);
  TIdContext(const TIdContext&) = delete;
  TIdContext& operator=(const TIdContext&) = delete;

  const std::string& PeerAddress() const { return peerAddress_; }
  TIdReadBuffer& Input() { return input_; }

  // From now on reads fail with EIdReadTimeout once the time limit has
  // passed: the whole request must arrive within it, however slowly it
  // trickles in. Until StopReadDeadline the connection counts as waiting for
  // its request.
  void StartReadDeadline();
  void StopReadDeadline();
  // Any thread: whether the connection waits for (the rest of) a request.
  bool AwaitingRequest() const { return awaitingRequest_.load(std::memory_order_relaxed); }

  // The peer has sent everything it is expected to (a request read whole,
  // nothing after it): closing need not wait for more of its bytes.
  void ExpectNoMoreInput() { peerDone_ = true; }

  // Sends all bytes, after any held ones (in one gather write). Fails with
  // the engine's socket failures.
  void Write(std::string_view bytes);
  // Keeps bytes to go out in front of the next Write, or at Flush: a header
  // and a small body then leave in one send instead of two.
  void WriteLater(std::string_view bytes) { held_ += bytes; }
  // Sends the held bytes now.
  void Flush() { Write({}); }

  // Any thread: ends every wait on this connection at once.
  void Cancel();
  // Any thread: whether Cancel was called.
  bool Cancelled() const { return socket_.Cancelled(); }
  // Owner thread: finishes sending and closes the socket, so that the peer
  // reads the answer to its end. Unless the peer is known to be done (and
  // sent nothing more), this first ends the sending direction and discards
  // what the peer still sends for a short while: closing with unread bytes
  // would reset the connection. After this Cancel does nothing.
  void Close();

 private:
  size_t Fill(char* buffer, size_t size);

  TSocket socket_;
  std::string peerAddress_;
  int timeoutMs_;
  bool hasDeadline_ = false;
  std::atomic<bool> awaitingRequest_{false};
  bool peerDone_ = false;
  std::chrono::steady_clock::time_point deadline_;
  TIdReadBuffer input_;
  std::string held_;
  std::mutex socketMutex_;  // orders Cancel against Close
  bool closed_ = false;     // guarded by socketMutex_
};

struct TIdSocketBinding {
  std::string IP;
  int Port = 0;
};

class TIdTCPServer {
 public:
  TIdTCPServer();
  // Deactivates; a failure to stop in time is swallowed here, and the
  // destructor then waits for the remaining connection threads, because
  // they use this object.
  virtual ~TIdTCPServer();
  TIdTCPServer(const TIdTCPServer&) = delete;
  TIdTCPServer& operator=(const TIdTCPServer&) = delete;

  // Settings: change them only while the server is inactive.
  int DefaultPort = 80;
  // Address of the binding made when Bindings is empty. Loopback only: the
  // server is meant for browsers on this machine.
  std::string BindAddress = "127.0.0.1";
  // The listening addresses; when empty, activation listens on
  // BindAddress:DefaultPort.
  std::vector<TIdSocketBinding> Bindings;
  int ListenQueue = 15;
  // Where the system can, a connection is taken up only once its request
  // has begun to arrive (or after about this many seconds), so that no
  // thread wakes for it before there is something to read; 0: at once.
  int FirstDataWaitSeconds = 0;
  // Off: the port is claimed exclusively (a port in use cannot be bound).
  bool ReuseSocket = false;
  // Most connections served at once; 0 means no limit. At the limit a new
  // connection takes the place of the one that has waited longest for its
  // request (which is closed); when every connection is busy answering, the
  // new one is closed at once.
  int MaxConnections = 0;
  // How long deactivation waits for connection threads (milliseconds).
  int TerminateWaitTime = 5000;
  // Time a connection has for sending a complete request, and the longest
  // stall allowed while it takes the answer (milliseconds; 0 or less: no
  // limit).
  int ReadTimeout = 30000;

  bool Active() const { return active_; }
  // true: binds every binding and starts listening; fails with
  // EIdCouldNotBindSocket when a binding cannot be bound (nothing is left
  // listening then). false: stops listening, closes every open connection
  // and waits for the connection threads; fails with
  // EIdTerminateThreadTimeout when they do not end within TerminateWaitTime.
  void SetActive(bool value);

  // Connections accepted and not yet ended.
  size_t ConnectionCount() const;
  // Connection threads, waiting or serving, that have not ended.
  size_t ThreadCount() const;

 protected:
  // The work for one connection, run on its own thread; set by the derived
  // server's constructor. Any exception it raises ends the connection
  // quietly. (A std::function rather than a virtual: a connection thread
  // must not read this object's virtual table while a derived destructor
  // may be rewriting it.)
  std::function<void(TIdContext&)> OnExecute;

  // Deactivation for destructors: never throws, and waits without limit for
  // connection threads still running. Derived servers whose code runs on
  // connection threads call it first in their destructors.
  void StopAndWait() noexcept;

 private:
  struct TListener;
  struct TConnection {
    std::unique_ptr<TIdContext> Context;
  };
  using TConnectionPlace = std::list<TConnection>::iterator;
  struct TWorker {
    std::thread Thread;
    bool Ended = false;  // guarded by mutex_
  };

  void Activate();
  void Deactivate();
  // Under mutex_: starts a connection thread waiting on listener, counted as
  // waiting from now on. False when no thread could be started.
  bool StartWorker(const std::shared_ptr<TListener>& listener);
  // A connection thread: accepts and serves connections until it has waited
  // long enough with others waiting too, or the listener is shut down.
  void WorkerLoop(const std::shared_ptr<TListener>& listener, TWorker& self);
  // Under mutex_: registers an accepted connection, making room at the
  // connection limit; false when it is refused.
  bool Admit(std::unique_ptr<TIdContext>& context, TConnectionPlace& place);
  void RunConnection(TConnectionPlace connection);
  // Under mutex_: takes the ended threads out of workers_ for joining.
  std::list<TWorker> TakeEnded();
  // Joins the connection threads (none serves a connection any more).
  void StopWorkers();

  bool active_ = false;
  std::vector<std::shared_ptr<TListener>> listeners_;  // owner thread only

  mutable std::mutex mutex_;
  std::condition_variable connectionEnded_;
  std::list<TConnection> connections_;  // guarded by mutex_, oldest first; nodes never move
  std::list<TWorker> workers_;          // guarded by mutex_; nodes never move
  bool stopping_ = false;               // guarded by mutex_: no thread starts, no connection is admitted
  int running_ = 0;                     // connections not yet ended, guarded by mutex_
};

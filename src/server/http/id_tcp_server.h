// The TCP side of the server: listening sockets with a listener thread each,
// and a thread for every connection running the server's exchange.
//
// Threads and ownership:
// - Activation, deactivation and destruction happen on one owner thread.
// - A listener thread only accepts, registers the connection and hands it to
//   a connection thread: an idle one if there is any, else a new one. Every
//   connection has a thread of its own for its whole life; a thread whose
//   connection has ended stays ready for the next one for a short while and
//   then ends. Starting a thread costs far more than serving a page, and a
//   browser opens a connection for every picture.
// - A connection thread runs OnExecute, closes its socket and removes the
//   connection from the list. Ended threads are joined by the listener (and
//   by deactivation), so a long running server keeps no pile of them.
// - The lists are guarded by mutex_. Deactivation shuts down the socket of
//   every registered connection under that lock; a connection closes its
//   socket under its own context lock, so a shutdown never hits a closed
//   (possibly reused) socket.
#pragma once

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
  // trickles in.
  void StartReadDeadline();
  void StopReadDeadline() { hasDeadline_ = false; }

  // Sends all bytes, after any held ones. Fails with the engine's socket
  // failures.
  void Write(std::string_view bytes);
  // Keeps bytes to go out in front of the next Write, or at Flush: a header
  // and a small body then leave in one send instead of two.
  void WriteLater(std::string_view bytes) { held_ += bytes; }
  // Sends the held bytes now.
  void Flush() { Write({}); }

  // Any thread: ends every wait on this connection at once.
  void Cancel();
  // Owner thread: finishes sending (the peer reads the answer to its end),
  // then closes the socket. After this Cancel does nothing.
  void Close();

 private:
  size_t Fill(char* buffer, size_t size);

  TSocket socket_;
  std::string peerAddress_;
  int timeoutMs_;
  bool hasDeadline_ = false;
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
  // Off: the port is claimed exclusively (a port in use cannot be bound).
  bool ReuseSocket = false;
  // Most connections served at once; 0 means no limit. Connections beyond
  // it are closed at once.
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
  struct TWorker {
    std::thread Thread;
    bool Ended = false;  // guarded by mutex_
  };

  void Activate();
  void Deactivate();
  void ListenLoop(TListener& listener);
  // A connection thread: serves handed-over connections until it has been
  // idle for a while or the server stops.
  void WorkerLoop(TWorker& worker);
  void RunConnection(std::list<TConnection>::iterator connection);
  // Joins and frees the connection threads that have ended.
  void ReapFinished();
  // Ends the idle connection threads and joins them all (no connection runs).
  void StopWorkers();

  bool active_ = false;
  std::vector<std::unique_ptr<TListener>> listeners_;  // owner thread only

  mutable std::mutex mutex_;
  std::condition_variable connectionEnded_;
  std::condition_variable workAvailable_;
  std::list<TConnection> connections_;  // guarded by mutex_; nodes never move
  // Accepted connections no thread has taken yet, guarded by mutex_.
  std::vector<std::list<TConnection>::iterator> pending_;
  std::list<TWorker> workers_;  // guarded by mutex_; nodes never move
  int idleWorkers_ = 0;         // guarded by mutex_
  bool stopWorkers_ = false;    // guarded by mutex_
  int running_ = 0;             // connections not yet ended, guarded by mutex_
};

#include "server/http/id_tcp_server.h"

#include <algorithm>

#include "server/http/id_exception.h"

namespace {

// How long a finished connection waits for the peer to close after the
// answer, before it closes anyway.
constexpr int kFinishSendingMs = 1000;
// Deactivation checks for ended connection threads at this interval.
constexpr int kTerminateCheckMs = 250;
// How long a connection thread waits for the next connection before it ends
// (when other threads are waiting too).
constexpr int kIdleWorkerMs = 1000;
// After a passing accept failure (out of descriptors, say), the pause before
// the next try, instead of spinning.
constexpr int kAcceptRetryMs = 50;

}  // namespace

// ---- TIdContext ----

TIdContext::TIdContext(TSocket socket, int timeoutMs)
    : socket_(std::move(socket)),
      peerAddress_(socket_.PeerAddress()),
      timeoutMs_(timeoutMs),
      input_([this](char* buffer, size_t size) { return Fill(buffer, size); }) {}

void TIdContext::StartReadDeadline() {
  hasDeadline_ = timeoutMs_ > 0;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
  awaitingRequest_.store(true, std::memory_order_relaxed);
}

void TIdContext::StopReadDeadline() {
  hasDeadline_ = false;
  awaitingRequest_.store(false, std::memory_order_relaxed);
}

size_t TIdContext::Fill(char* buffer, size_t size) {
  int wait = kWaitForever;
  if (hasDeadline_) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now()).count();
    if (left <= 0) throw EIdReadTimeout();
    wait = static_cast<int>(left);
  }
  try {
    const size_t received = socket_.Receive(buffer, size, wait);
    // The peer has ended its sending: closing need not wait for it.
    if (received == 0) peerDone_ = true;
    return received;
  } catch (const ESocketError& e) {
    RaiseIdSocketError(e);
  }
}

void TIdContext::Write(std::string_view bytes) {
  const int timeout = timeoutMs_ > 0 ? timeoutMs_ : kWaitForever;
  const TSendBuffer pieces[2] = {{held_.data(), held_.size()}, {bytes.data(), bytes.size()}};
  try {
    socket_.SendAll(pieces, 2, timeout);
  } catch (const ESocketError& e) {
    held_.clear();
    RaiseIdSocketError(e);
  }
  held_.clear();
}

void TIdContext::Cancel() {
  std::lock_guard lock(socketMutex_);
  if (!closed_) socket_.Shutdown();
}

void TIdContext::Close() {
  if (!peerDone_ || socket_.HasUnreadInput()) socket_.FinishSending(kFinishSendingMs);
  std::lock_guard lock(socketMutex_);
  socket_.Close();
  closed_ = true;
}

// ---- TIdTCPServer ----

struct TIdTCPServer::TListener {
  TSocket Socket;
  int Waiting = 0;  // threads waiting in Accept, guarded by the server's mutex_
};

TIdTCPServer::TIdTCPServer() = default;

TIdTCPServer::~TIdTCPServer() { StopAndWait(); }

void TIdTCPServer::SetActive(bool value) {
  if (value == active_) return;
  if (value) {
    Activate();
  } else {
    Deactivate();
  }
}

size_t TIdTCPServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

size_t TIdTCPServer::ThreadCount() const {
  std::lock_guard lock(mutex_);
  size_t count = 0;
  for (const TWorker& worker : workers_) count += worker.Ended ? 0 : 1;
  return count;
}

void TIdTCPServer::Activate() {
  std::vector<TIdSocketBinding> bindings = Bindings;
  if (bindings.empty()) bindings.push_back({BindAddress, DefaultPort});

  std::vector<std::shared_ptr<TListener>> started;
  TListenOptions options;
  options.Backlog = ListenQueue;
  options.Exclusive = !ReuseSocket;
  options.FirstDataWaitSeconds = FirstDataWaitSeconds;
  for (const TIdSocketBinding& binding : bindings) {
    if (binding.Port < 0 || binding.Port > 65535) throw EIdSocketError("Invalid port " + std::to_string(binding.Port));
    auto listener = std::make_shared<TListener>();
    try {
      listener->Socket = TSocket::Listen(binding.IP, static_cast<uint16_t>(binding.Port), options);
    } catch (const ESocketError& e) {
      RaiseIdSocketError(e);
    }
    started.push_back(std::move(listener));
  }
  // Threads of an earlier activation may still be finishing (a deactivation
  // that timed out); they leave on their own, with their listeners shut down.
  std::list<TWorker> ended;
  bool allStarted = true;
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
    ended = TakeEnded();
    for (const auto& listener : started) allStarted = allStarted && StartWorker(listener);
  }
  for (TWorker& worker : ended) worker.Thread.join();
  if (!allStarted) {
    for (const auto& listener : started) listener->Socket.Shutdown();
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    StopWorkers();
    throw EIdSocketError("Could not start a connection thread");
  }
  listeners_ = std::move(started);
  active_ = true;
}

bool TIdTCPServer::StartWorker(const std::shared_ptr<TListener>& listener) {
  try {
    TWorker& worker = workers_.emplace_back();
    try {
      worker.Thread = std::thread([this, listener, &worker] { WorkerLoop(listener, worker); });
    } catch (...) {
      workers_.pop_back();
      throw;
    }
  } catch (const std::exception&) {
    return false;  // out of resources: the threads there are go on
  }
  ++listener->Waiting;
  return true;
}

void TIdTCPServer::WorkerLoop(const std::shared_ptr<TListener>& listener, TWorker& self) {
  std::unique_lock lock(mutex_, std::defer_lock);
  for (;;) {
    TSocket client;
    try {
      client = listener->Socket.Accept(kIdleWorkerMs);
    } catch (const ESocketError& e) {
      if (e.Kind == TSocketErrorKind::Cancelled) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptRetryMs));
      continue;
    }
    if (!client.Valid()) {
      // Waited long enough: the last waiting thread stays, the others end.
      lock.lock();
      if (listener->Waiting > 1) break;
      lock.unlock();
      continue;
    }

    std::unique_ptr<TIdContext> context;
    try {
      context = std::make_unique<TIdContext>(std::move(client), ReadTimeout);
    } catch (const std::exception&) {
      continue;  // out of memory: the connection is closed, the thread goes on
    }
    TConnectionPlace place;
    std::list<TWorker> ended;
    lock.lock();
    --listener->Waiting;
    const bool admitted = Admit(context, place);
    if (listener->Waiting == 0 && !stopping_) {
      ended = TakeEnded();
      StartWorker(listener);
    }
    lock.unlock();
    context.reset();  // a refused connection is closed here, outside the lock
    if (admitted) RunConnection(place);
    // Joined after the answer: a thread on its way out may not have run yet,
    // and the connection should not wait for it.
    for (TWorker& worker : ended) worker.Thread.join();
    lock.lock();
    ++listener->Waiting;
    lock.unlock();
  }
  // Leaving (with the lock held, except after a shutdown): join the threads
  // that ended before, so that at most one ended thread waits to be joined.
  if (!lock.owns_lock()) lock.lock();
  --listener->Waiting;
  std::list<TWorker> ended = TakeEnded();
  self.Ended = true;
  lock.unlock();
  for (TWorker& worker : ended) worker.Thread.join();
}

bool TIdTCPServer::Admit(std::unique_ptr<TIdContext>& context, TConnectionPlace& place) {
  if (stopping_) return false;
  if (MaxConnections > 0 && running_ >= MaxConnections) {
    // Make room: the connection that has waited longest for its request
    // goes (an idle or trickling peer), unless every one is answering.
    auto oldest = std::find_if(connections_.begin(), connections_.end(), [](const TConnection& connection) {
      return connection.Context->AwaitingRequest() && !connection.Context->Cancelled();
    });
    if (oldest == connections_.end()) return false;
    oldest->Context->Cancel();
  }
  try {
    place = connections_.insert(connections_.end(), TConnection{std::move(context)});
  } catch (const std::exception&) {
    return false;
  }
  ++running_;
  return true;
}

void TIdTCPServer::RunConnection(TConnectionPlace connection) {
  try {
    if (OnExecute) OnExecute(*connection->Context);
  } catch (...) {
    // Protocol failures, resets and timeouts end the connection without an
    // answer; nothing may escape a thread.
  }
  connection->Context->Close();
  std::unique_ptr<TIdContext> context;
  std::lock_guard lock(mutex_);
  context = std::move(connection->Context);  // freed after the lock is released
  connections_.erase(connection);
  --running_;
  connectionEnded_.notify_all();
}

std::list<TIdTCPServer::TWorker> TIdTCPServer::TakeEnded() {
  std::list<TWorker> ended;
  for (auto it = workers_.begin(); it != workers_.end();) {
    const auto next = std::next(it);
    if (it->Ended) ended.splice(ended.end(), workers_, it);
    it = next;
  }
  return ended;
}

void TIdTCPServer::StopWorkers() {
  std::list<TWorker> all;
  {
    std::lock_guard lock(mutex_);
    all.splice(all.end(), workers_);
  }
  // Every listener is shut down and no connection runs: each thread is on
  // its way out, or about to find its listener shut down.
  for (TWorker& worker : all) {
    if (worker.Thread.joinable()) worker.Thread.join();
  }
}

void TIdTCPServer::Deactivate() {
  if (!active_) return;
  active_ = false;
  bool ended;
  {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    for (auto& listener : listeners_) listener->Socket.Shutdown();
    // No connection is admitted any more, so the list only shrinks from here
    // on.
    for (TConnection& connection : connections_) connection.Context->Cancel();
    const int checks = std::max(0, TerminateWaitTime / kTerminateCheckMs);
    ended = connectionEnded_.wait_for(lock, std::chrono::milliseconds(checks * kTerminateCheckMs),
                                      [this] { return running_ == 0; });
  }
  listeners_.clear();
  if (!ended) throw EIdTerminateThreadTimeout();
  StopWorkers();
}

void TIdTCPServer::StopAndWait() noexcept {
  try {
    Deactivate();
  } catch (...) {
    // Reported to whoever deactivates explicitly; here the wait below makes
    // sure no thread outlives the object it uses.
  }
  {
    std::unique_lock lock(mutex_);
    connectionEnded_.wait(lock, [this] { return running_ == 0; });
  }
  StopWorkers();
}

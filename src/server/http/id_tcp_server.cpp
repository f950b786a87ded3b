#include "server/http/id_tcp_server.h"

#include <algorithm>

#include "server/http/id_exception.h"

namespace {

// How long a finished connection waits for the peer to close after the
// answer, before it closes anyway.
constexpr int kFinishSendingMs = 1000;
// Deactivation checks for ended connection threads at this interval.
constexpr int kTerminateCheckMs = 250;
// How long a connection thread waits for the next connection before it ends.
constexpr int kIdleWorkerMs = 1000;

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
    return socket_.Receive(buffer, size, wait);
  } catch (const ESocketError& e) {
    RaiseIdSocketError(e);
  }
}

void TIdContext::Write(std::string_view bytes) {
  // Held bytes and a small body go out together; a large body is not copied.
  constexpr size_t kJoinLimit = 65536;
  const int timeout = timeoutMs_ > 0 ? timeoutMs_ : kWaitForever;
  try {
    if (!held_.empty() && bytes.size() <= kJoinLimit) {
      held_ += bytes;
      bytes = {};
    }
    if (!held_.empty()) {
      const std::string held = std::move(held_);
      held_.clear();
      socket_.SendAll(held.data(), held.size(), timeout);
    }
    if (!bytes.empty()) socket_.SendAll(bytes.data(), bytes.size(), timeout);
  } catch (const ESocketError& e) {
    RaiseIdSocketError(e);
  }
}

void TIdContext::Cancel() {
  std::lock_guard lock(socketMutex_);
  if (!closed_) socket_.Shutdown();
}

void TIdContext::Close() {
  socket_.FinishSending(kFinishSendingMs);
  std::lock_guard lock(socketMutex_);
  socket_.Close();
  closed_ = true;
}

// ---- TIdTCPServer ----

struct TIdTCPServer::TListener {
  TSocket Socket;
  std::thread Thread;
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

void TIdTCPServer::Activate() {
  std::vector<TIdSocketBinding> bindings = Bindings;
  if (bindings.empty()) bindings.push_back({BindAddress, DefaultPort});

  std::vector<std::unique_ptr<TListener>> started;
  try {
    for (const TIdSocketBinding& binding : bindings) {
      if (binding.Port < 0 || binding.Port > 65535) throw EIdSocketError("Invalid port " + std::to_string(binding.Port));
      auto listener = std::make_unique<TListener>();
      try {
        listener->Socket =
            TSocket::Listen(binding.IP, static_cast<uint16_t>(binding.Port), ListenQueue, !ReuseSocket);
      } catch (const ESocketError& e) {
        RaiseIdSocketError(e);
      }
      started.push_back(std::move(listener));
    }
    for (auto& listener : started) {
      TListener* raw = listener.get();
      listener->Thread = std::thread([this, raw] { ListenLoop(*raw); });
    }
  } catch (...) {
    for (auto& listener : started) listener->Socket.Shutdown();
    for (auto& listener : started) {
      if (listener->Thread.joinable()) listener->Thread.join();
    }
    throw;
  }
  listeners_ = std::move(started);
  active_ = true;
}

void TIdTCPServer::ListenLoop(TListener& listener) {
  for (;;) {
    TSocket client;
    try {
      client = listener.Socket.Accept();
    } catch (const ESocketError& e) {
      if (e.Kind == TSocketErrorKind::Cancelled) return;
      // Out of descriptors or a similar passing trouble: try again shortly
      // instead of spinning.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    ReapFinished();
    try {
      auto context = std::make_unique<TIdContext>(std::move(client), ReadTimeout);
      std::lock_guard lock(mutex_);
      if (MaxConnections > 0 && running_ >= MaxConnections) continue;  // refused: closed with its context
      const auto connection = connections_.insert(connections_.end(), TConnection{std::move(context)});
      if (idleWorkers_ > static_cast<int>(pending_.size())) {
        pending_.push_back(connection);
        workAvailable_.notify_one();
      } else {
        try {
          TWorker& worker = workers_.emplace_back();
          pending_.push_back(connection);
          try {
            worker.Thread = std::thread([this, &worker] { WorkerLoop(worker); });
          } catch (...) {
            pending_.pop_back();
            workers_.pop_back();
            throw;
          }
        } catch (...) {
          connections_.erase(connection);
          throw;
        }
      }
      // No thread can end this connection before the lock is released.
      ++running_;
    } catch (const std::exception&) {
      // No thread for this connection (out of resources): it is closed, the
      // listener goes on.
    }
  }
}

void TIdTCPServer::WorkerLoop(TWorker& worker) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (pending_.empty()) {
      if (stopWorkers_) break;
      ++idleWorkers_;
      const bool handed = workAvailable_.wait_for(lock, std::chrono::milliseconds(kIdleWorkerMs),
                                                  [this] { return !pending_.empty() || stopWorkers_; });
      --idleWorkers_;
      if (!handed || pending_.empty()) break;
    }
    const auto connection = pending_.front();
    pending_.erase(pending_.begin());
    lock.unlock();
    RunConnection(connection);
    lock.lock();
  }
  worker.Ended = true;
}

void TIdTCPServer::RunConnection(std::list<TConnection>::iterator connection) {
  try {
    if (OnExecute) OnExecute(*connection->Context);
  } catch (...) {
    // Protocol failures, resets and timeouts end the connection without an
    // answer; nothing may escape a thread.
  }
  connection->Context->Close();
  std::lock_guard lock(mutex_);
  connections_.erase(connection);
  --running_;
  connectionEnded_.notify_all();
}

void TIdTCPServer::ReapFinished() {
  std::list<TWorker> ended;
  {
    std::lock_guard lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      const auto next = std::next(it);
      if (it->Ended) ended.splice(ended.end(), workers_, it);
      it = next;
    }
  }
  // An ended thread has at most its return left to run.
  for (TWorker& worker : ended) {
    if (worker.Thread.joinable()) worker.Thread.join();
  }
}

void TIdTCPServer::StopWorkers() {
  std::list<TWorker> all;
  {
    std::lock_guard lock(mutex_);
    stopWorkers_ = true;
    workAvailable_.notify_all();
    all.splice(all.end(), workers_);
  }
  for (TWorker& worker : all) {
    if (worker.Thread.joinable()) worker.Thread.join();
  }
  std::lock_guard lock(mutex_);
  stopWorkers_ = false;
}

void TIdTCPServer::Deactivate() {
  if (!active_) return;
  active_ = false;
  for (auto& listener : listeners_) listener->Socket.Shutdown();
  for (auto& listener : listeners_) {
    if (listener->Thread.joinable()) listener->Thread.join();
  }
  listeners_.clear();

  bool ended;
  {
    std::unique_lock lock(mutex_);
    // No listener runs any more, so the list only shrinks from here on.
    for (TConnection& connection : connections_) connection.Context->Cancel();
    const int checks = std::max(0, TerminateWaitTime / kTerminateCheckMs);
    ended = connectionEnded_.wait_for(lock, std::chrono::milliseconds(checks * kTerminateCheckMs),
                                      [this] { return running_ == 0; });
  }
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

#include "server/http/id_tcp_server.h"

#include <algorithm>

#include "server/http/id_exception.h"

namespace {

// How long a finished connection waits for the peer to close after the
// answer, before it closes anyway.
constexpr int kFinishSendingMs = 1000;
// Deactivation checks for ended connection threads at this interval.
constexpr int kTerminateCheckMs = 250;

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
  try {
    socket_.SendAll(bytes.data(), bytes.size(), timeoutMs_ > 0 ? timeoutMs_ : kWaitForever);
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
      TConnection& connection = connections_.emplace_back();
      connection.Context = std::move(context);
      try {
        connection.Thread = std::thread([this, &connection] { RunConnection(connection); });
      } catch (...) {
        connections_.pop_back();
        throw;
      }
      // The new thread cannot finish before this lock is released.
      ++running_;
    } catch (const std::exception&) {
      // No thread for this connection (out of resources): it is closed, the
      // listener goes on.
    }
  }
}

void TIdTCPServer::RunConnection(TConnection& connection) {
  try {
    if (OnExecute) OnExecute(*connection.Context);
  } catch (...) {
    // Protocol failures, resets and timeouts end the connection without an
    // answer; nothing may escape a thread.
  }
  connection.Context->Close();
  std::lock_guard lock(mutex_);
  connection.Finished = true;
  --running_;
  connectionEnded_.notify_all();
}

void TIdTCPServer::ReapFinished() {
  std::list<TConnection> ended;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      const auto next = std::next(it);
      if (it->Finished) ended.splice(ended.end(), connections_, it);
      it = next;
    }
  }
  // A finished thread has at most its return left to run.
  for (TConnection& connection : ended) {
    if (connection.Thread.joinable()) connection.Thread.join();
  }
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
    for (TConnection& connection : connections_) {
      if (!connection.Finished) connection.Context->Cancel();
    }
    const int checks = std::max(0, TerminateWaitTime / kTerminateCheckMs);
    ended = connectionEnded_.wait_for(lock, std::chrono::milliseconds(checks * kTerminateCheckMs),
                                      [this] { return running_ == 0; });
  }
  ReapFinished();
  if (!ended) throw EIdTerminateThreadTimeout();
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
  ReapFinished();
}

// A load client for servers that close the connection after every answer:
// each of its connections sends one GET, reads the answer until the server
// closes, and connects again. It treats an answer ended by the close and an
// answer with a Content-Length alike, which is what makes it fair between
// bookserve (archive entries carry no length) and a server that sends one.
// (wrk, given an answer ended by the close, counts a read error and connects
// twice; every second connection it makes is closed again unused.)
//
//   bench_http_load HOST PORT PATH [SECONDS [CONNECTIONS [THREADS]]]
// prints "requests/s p99-ms errors". Linux only (epoll), like the benchmark
// script that runs it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

struct TTarget {
  sockaddr_in Address{};
  std::string Request;
};

struct TResult {
  long Answers = 0;
  long Errors = 0;
  std::vector<double> LatenciesMs;
};

struct TConnection {
  int Fd = -1;
  size_t Sent = 0;
  char Status[16] = {};  // the start of the answer
  size_t StatusLength = 0;
  TClock::time_point Start;
};

class TLoadThread {
 public:
  TLoadThread(const TTarget& target, int connections, TClock::time_point end)
      : target_(target), connections_(static_cast<size_t>(connections)), end_(end) {}

  TResult Run() {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) return result_;
    for (TConnection& connection : connections_) Open(connection);
    epoll_event events[64];
    while (TClock::now() < end_) {
      const int ready = ::epoll_wait(epoll_, events, 64, 100);
      for (int i = 0; i < ready; ++i) Step(*static_cast<TConnection*>(events[i].data.ptr), events[i].events);
    }
    for (TConnection& connection : connections_) {
      if (connection.Fd >= 0) ::close(connection.Fd);
    }
    ::close(epoll_);
    return result_;
  }

 private:
  void Open(TConnection& connection) {
    connection = TConnection{};
    connection.Start = TClock::now();
    connection.Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (connection.Fd < 0) {
      ++result_.Errors;
      return;
    }
    const int on = 1;
    ::setsockopt(connection.Fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(connection.Fd, reinterpret_cast<const sockaddr*>(&target_.Address), sizeof target_.Address) != 0 &&
        errno != EINPROGRESS) {
      Fail(connection);
      return;
    }
    epoll_event event{};
    event.events = EPOLLOUT | EPOLLIN;
    event.data.ptr = &connection;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, connection.Fd, &event);
  }

  void Fail(TConnection& connection) {
    ++result_.Errors;
    ::close(connection.Fd);
    Open(connection);
  }

  void Step(TConnection& connection, uint32_t events) {
    if (connection.Sent < target_.Request.size() && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
      const ssize_t sent = ::send(connection.Fd, target_.Request.data() + connection.Sent,
                                  target_.Request.size() - connection.Sent, MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno != EAGAIN) Fail(connection);
        return;
      }
      connection.Sent += static_cast<size_t>(sent);
      if (connection.Sent == target_.Request.size()) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.ptr = &connection;
        ::epoll_ctl(epoll_, EPOLL_CTL_MOD, connection.Fd, &event);
      }
      return;
    }
    char buffer[65536];
    for (;;) {
      const ssize_t received = ::recv(connection.Fd, buffer, sizeof buffer, 0);
      if (received > 0) {
        // Only the status line matters: "HTTP/1.1 200".
        for (ssize_t i = 0; i < received && connection.StatusLength < sizeof connection.Status - 1; ++i) {
          connection.Status[connection.StatusLength++] = buffer[i];
        }
        continue;
      }
      if (received < 0 && errno == EAGAIN) return;
      // The server closed: the answer is complete (or the exchange failed).
      const bool ok = received == 0 && std::string(connection.Status).compare(0, 12, "HTTP/1.1 200") == 0;
      if (ok) {
        ++result_.Answers;
        result_.LatenciesMs.push_back(std::chrono::duration<double, std::milli>(TClock::now() - connection.Start).count());
        ::close(connection.Fd);
        Open(connection);
      } else {
        Fail(connection);
      }
      return;
    }
  }

  const TTarget& target_;
  std::vector<TConnection> connections_;
  TClock::time_point end_;
  int epoll_ = -1;
  TResult result_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_http_load HOST PORT PATH [SECONDS [CONNECTIONS [THREADS]]]\n");
    return 2;
  }
  TTarget target;
  target.Address.sin_family = AF_INET;
  target.Address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
  if (::inet_pton(AF_INET, argv[1], &target.Address.sin_addr) != 1) {
    std::fprintf(stderr, "bench_http_load: %s is not an IPv4 address\n", argv[1]);
    return 2;
  }
  target.Request = std::string("GET ") + argv[3] + " HTTP/1.1\r\nHost: " + argv[1] + ":" + argv[2] + "\r\n\r\n";
  const int seconds = argc > 4 ? std::atoi(argv[4]) : 10;
  const int connections = argc > 5 ? std::atoi(argv[5]) : 16;
  const int threads = argc > 6 ? std::atoi(argv[6]) : 2;
  if (seconds <= 0 || connections <= 0 || threads <= 0 || connections < threads) {
    std::fprintf(stderr, "bench_http_load: seconds, connections and threads must be positive, threads <= connections\n");
    return 2;
  }

  const auto start = TClock::now();
  const auto end = start + std::chrono::seconds(seconds);
  std::vector<TResult> results(static_cast<size_t>(threads));
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    const int share = connections / threads + (t < connections % threads ? 1 : 0);
    workers.emplace_back([&, t, share] { results[static_cast<size_t>(t)] = TLoadThread(target, share, end).Run(); });
  }
  for (std::thread& worker : workers) worker.join();
  const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();

  TResult total;
  for (TResult& result : results) {
    total.Answers += result.Answers;
    total.Errors += result.Errors;
    total.LatenciesMs.insert(total.LatenciesMs.end(), result.LatenciesMs.begin(), result.LatenciesMs.end());
  }
  double p99 = 0;
  if (!total.LatenciesMs.empty()) {
    const size_t index = total.LatenciesMs.size() * 99 / 100;
    std::nth_element(total.LatenciesMs.begin(), total.LatenciesMs.begin() + static_cast<long>(index),
                     total.LatenciesMs.end());
    p99 = total.LatenciesMs[index];
  }
  std::printf("%.0f %.2f %ld\n", static_cast<double>(total.Answers) / elapsed, p99, total.Errors);
  return 0;
}

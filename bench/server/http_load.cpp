// A load client for servers that close the connection after every answer:
// each of its connections sends one GET, reads the answer until the server
// closes, and connects again. It treats an answer ended by the close and an
// answer with a Content-Length alike, which is what makes it fair between
// bookserve (archive entries carry no length) and a server that sends one.
// (wrk, given an answer ended by the close, counts a read error and connects
// twice; every second connection it makes is closed again unused.)
//
//   bench_http_load HOST PORT PATH [SECONDS [CONNECTIONS [THREADS [RATE]]]]
// prints "requests/s p99-ms errors". Linux only (epoll), like the benchmark
// script that runs it.
//
// Without RATE (or with 0) every connection starts its next request as soon
// as its answer is in: the server is saturated, and on a machine that runs
// client and server on the same cores the latency then also measures how
// much processor time the server leaves to the client. With RATE the client
// starts RATE requests per second in all, evenly spaced, on at most
// CONNECTIONS connections at a time; each request's latency counts from the
// moment it was due, so a request that waited for a free connection counts
// its wait too (no coordinated omission). That compares servers' latencies
// at one and the same load.
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
  // rate: requests per second this thread starts; 0 for a closed loop.
  TLoadThread(const TTarget& target, int connections, TClock::time_point end, double rate)
      : target_(target), connections_(static_cast<size_t>(connections)), end_(end), rate_(rate) {}

  TResult Run() {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) return result_;
    const auto start = TClock::now();
    if (rate_ > 0) {
      interval_ = std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(1.0 / rate_));
      nextDue_ = start;
    } else {
      for (TConnection& connection : connections_) Open(connection, start);
    }
    epoll_event events[64];
    for (;;) {
      const auto now = TClock::now();
      if (now >= end_) break;
      if (rate_ > 0) StartDue(now);
      timespec wait{0, 100'000'000};
      if (rate_ > 0 && HasIdle()) {
        const auto left = std::max(TClock::duration::zero(), std::min(nextDue_, end_) - TClock::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        wait = timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
      }
      const int ready = ::epoll_pwait2(epoll_, events, 64, &wait, nullptr);
      for (int i = 0; i < ready; ++i) Step(*static_cast<TConnection*>(events[i].data.ptr), events[i].events);
    }
    for (TConnection& connection : connections_) {
      if (connection.Fd >= 0) ::close(connection.Fd);
    }
    ::close(epoll_);
    return result_;
  }

 private:
  bool HasIdle() const {
    return std::any_of(connections_.begin(), connections_.end(), [](const TConnection& c) { return c.Fd < 0; });
  }

  // Starts every request that is due, as long as a connection is free.
  void StartDue(TClock::time_point now) {
    for (TConnection& connection : connections_) {
      if (nextDue_ > now) return;
      if (connection.Fd >= 0) continue;
      Open(connection, nextDue_);
      nextDue_ += interval_;
    }
  }

  // The next request on this connection: at once in a closed loop, when the
  // next one is due with a rate.
  void Next(TConnection& connection) {
    if (rate_ > 0) {
      connection = TConnection{};
    } else {
      Open(connection, TClock::now());
    }
  }

  void Open(TConnection& connection, TClock::time_point due) {
    connection = TConnection{};
    connection.Start = due;
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
    if (connection.Fd >= 0) ::close(connection.Fd);
    connection.Fd = -1;
    Next(connection);
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
        connection.Fd = -1;
        Next(connection);
      } else {
        Fail(connection);
      }
      return;
    }
  }

  const TTarget& target_;
  std::vector<TConnection> connections_;
  TClock::time_point end_;
  double rate_;
  TClock::duration interval_{};
  TClock::time_point nextDue_;
  int epoll_ = -1;
  TResult result_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_http_load HOST PORT PATH [SECONDS [CONNECTIONS [THREADS [RATE]]]]\n");
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
  const double rate = argc > 7 ? std::atof(argv[7]) : 0;
  if (seconds <= 0 || connections <= 0 || threads <= 0 || connections < threads || rate < 0) {
    std::fprintf(stderr,
                 "bench_http_load: seconds, connections and threads must be positive, threads <= connections, "
                 "rate not negative\n");
    return 2;
  }

  const auto start = TClock::now();
  const auto end = start + std::chrono::seconds(seconds);
  std::vector<TResult> results(static_cast<size_t>(threads));
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    const int share = connections / threads + (t < connections % threads ? 1 : 0);
    workers.emplace_back([&, t, share] { results[static_cast<size_t>(t)] = TLoadThread(target, share, end, rate / threads).Run(); });
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

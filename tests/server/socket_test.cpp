// The socket layer's parts the server's speed rests on: gather sends,
// several threads waiting in Accept on one listener, and the unread-input
// check that lets a connection close without waiting for its peer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "server/http_test_helpers.h"

namespace {

using namespace std::chrono_literals;

struct TConnectedPair {
  TSocket Client;
  TSocket Server;
};

TConnectedPair Connect() {
  int port = 0;
  TSocket listener = ListenOnTestPort(port);
  TConnectedPair pair;
  pair.Client = ConnectTo(port);
  pair.Server = listener.Accept(kPatienceMs);
  EXPECT_TRUE(pair.Server.Valid());
  return pair;
}

TEST(Sockets, GatherSendsArriveWholeAndInOrder) {
  TConnectedPair pair = Connect();
  // More pieces than one system call takes, empty ones among them, and one
  // far larger than the socket's buffers, so sends end in mid-piece.
  std::vector<std::string> pieces;
  for (int i = 0; i < 11; ++i) pieces.push_back(i % 4 == 1 ? "" : "piece " + std::to_string(i) + ";");
  std::string large(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 251);
  pieces.insert(pieces.begin() + 5, large);
  std::vector<TSendBuffer> buffers;
  std::string expected;
  for (const std::string& piece : pieces) {
    buffers.push_back({piece.data(), piece.size()});
    expected += piece;
  }

  std::string received;
  std::thread reader([&] { received = ReadToClose(pair.Client); });
  pair.Server.SendAll(buffers.data(), buffers.size(), kPatienceMs);
  pair.Server.Close();
  reader.join();
  ASSERT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected);
}

TEST(Sockets, AcceptWaitsWithinItsLimitAndEndsAtShutdown) {
  int port = 0;
  TSocket listener = ListenOnTestPort(port);
  EXPECT_FALSE(listener.Accept(50).Valid()) << "nobody connected: the wait ends empty";

  // Several threads wait on the one listener: every connection goes to
  // exactly one of them.
  constexpr int kWaiters = 4;
  std::atomic<int> accepted{0};
  std::atomic<int> cancelled{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      try {
        for (;;) {
          if (listener.Accept(kPatienceMs).Valid()) ++accepted;
        }
      } catch (const ESocketError& e) {
        if (e.Kind == TSocketErrorKind::Cancelled) ++cancelled;
      }
    });
  }
  std::vector<TSocket> clients;
  for (int i = 0; i < 10; ++i) clients.push_back(ConnectTo(port));
  for (int i = 0; i < kPatienceMs / 10 && accepted < 10; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(accepted, 10);

  // The waits have a 10 s limit; only the shutdown can end them now.
  listener.Shutdown();
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(cancelled, kWaiters);
  EXPECT_THROW(listener.Accept(0), ESocketError);
}

TEST(Sockets, UnreadInputIsSeenWithoutReadingIt) {
  TConnectedPair pair = Connect();
  EXPECT_FALSE(pair.Server.HasUnreadInput());
  pair.Client.SendAll("abc", 3, kPatienceMs);
  bool seen = false;
  for (int i = 0; i < kPatienceMs / 10 && !seen; ++i) {
    seen = pair.Server.HasUnreadInput();
    if (!seen) std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(seen);
  char buffer[8];
  ASSERT_EQ(pair.Server.Receive(buffer, sizeof buffer, kPatienceMs), 3u) << "the check consumed nothing";
  EXPECT_FALSE(pair.Server.HasUnreadInput());
  // The end of the peer's data is no unread input: closing loses nothing.
  pair.Client.ShutdownSending();
  EXPECT_EQ(pair.Server.Receive(buffer, sizeof buffer, kPatienceMs), 0u);
  EXPECT_FALSE(pair.Server.HasUnreadInput());
}

}  // namespace

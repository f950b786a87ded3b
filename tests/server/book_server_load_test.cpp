// The product's fixed first port, and the server under sustained load. These
// run alone: the first test needs ports 5055 and 5056, the second the cores.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "archive/archive_helpers.h"
#include "runtime/process.h"
#include "runtime/sockets.h"
#include "server/ebook_manager.h"
#include "server/http_test_helpers.h"

namespace {

std::string Get(int port, const std::string& path) {
  return Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

TTestArchive SmallBook(const std::string& page) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[params]\ntitle=Load\n");
  builder.Add("page.htm", page);
  return TTestArchive{builder.Build()};
}

TEST(BookServerFixedPort, ProbingStartsAt5055) {
  const TTestArchive archive = SmallBook("x");
  HostArchive = reinterpret_cast<const THostArchive*>(archive.Block.data());
  TEbookManager first;
  TEbookManager second;
  EXPECT_EQ(first.PortText, "5055");
  EXPECT_EQ(second.PortText, "5056") << "the first viewer answers the probe, so the second takes the next port";
}

TEST(BookServerLoad, ManyRequestsOverManyConnections) {
  const std::string page = PageLikeBytes(16384, 1);
  const TTestArchive archive = SmallBook(page);
  HostArchive = reinterpret_cast<const THostArchive*>(archive.Block.data());
  TEbookManager manager(NextTestPort());
  const int idleThreads = ProcessThreadCount();

  constexpr int kConnections = 32;
  constexpr int kRequests = 20000;
  std::atomic<int> next{0};
  std::atomic<int> errors{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kConnections; ++c) {
    clients.emplace_back([&] {
      while (next.fetch_add(1) < kRequests) {
        try {
          const std::string answer = Get(manager.Port, "/page.htm");
          if (answer.size() < page.size() || answer.compare(answer.size() - page.size(), page.size(), page) != 0)
            ++errors;
        } catch (const Exception&) {
          ++errors;
        }
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(errors.load(), 0);

  // Connection threads end with their connections; give the last ones a
  // moment to be reaped.
  int threads = ProcessThreadCount();
  for (int i = 0; i < 100 && threads > idleThreads; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    threads = ProcessThreadCount();
  }
  EXPECT_EQ(threads, idleThreads);
  manager.StopServer();
}

TEST(BookServerLoad, AFloodOfIdleConnectionsNeitherBlocksReadersNorPilesUpThreads) {
  const std::string page = PageLikeBytes(16384, 2);
  const TTestArchive archive = SmallBook(page);
  HostArchive = reinterpret_cast<const THostArchive*>(archive.Block.data());
  TEbookManager manager(NextTestPort());
  const int idleThreads = ProcessThreadCount();

  // More half-sent requests than the server serves at once, each of which
  // would keep its connection for the 30 s a request may take.
  constexpr int kIdle = kMaxBookConnections + 72;
  std::vector<TSocket> idle;
  const std::string partial = "GET /page.htm HTTP/1.1\r\n";
  for (int i = 0; i < kIdle; ++i) {
    idle.push_back(TSocket::Connect("127.0.0.1", static_cast<uint16_t>(manager.Port), kPatienceMs));
    idle.back().SendAll(partial.data(), partial.size(), kPatienceMs);
  }
  for (int i = 0; i < kPatienceMs / 10 && manager.Server->ConnectionCount() != kMaxBookConnections; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(manager.Server->ConnectionCount(), static_cast<size_t>(kMaxBookConnections));

  // A reader's request is still answered, at once: the connections that
  // waited longest make room.
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const std::string answer = Get(manager.Port, "/page.htm");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    ::testing::Test::RecordProperty("answer_ms_" + std::to_string(i), static_cast<int>(took.count()));
    ASSERT_GE(answer.size(), page.size());
    EXPECT_EQ(answer.substr(answer.size() - page.size()), page);
  }
  // A thread per served connection and one waiting for the next; those
  // whose connections made room end after a short idle wait.
  int threads = ProcessThreadCount();
  for (int i = 0; i < kPatienceMs / 10 && threads > idleThreads + kMaxBookConnections + 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    threads = ProcessThreadCount();
  }
  EXPECT_LE(threads, idleThreads + kMaxBookConnections + 1);
  idle.clear();
  manager.StopServer();
}

}  // namespace

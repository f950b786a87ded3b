// The product's fixed first port, and the server under sustained load. These
// run alone: the first test needs ports 5055 and 5056, the second the cores.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

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

}  // namespace

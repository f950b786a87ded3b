// A sealed book against the same book unsealed, in one run:
//  - the first login: the request that carries a reader's password, with
//    the key derivation it runs (once), and the derivation alone;
//  - pages served over HTTP, one connection per request as the viewer's
//    browser asks for them, by two book managers side by side, in
//    alternating rounds;
//  - entries opened without the server's cache: decrypt and inflate against
//    inflate alone.
#include <chrono>
#include <cstdio>
#include <string>

#include "archive/archive_helpers.h"
#include "archive/book_seal.h"
#include "bench_util.h"
#include "runtime/sockets.h"
#include "runtime/streams.h"
#include "server/ebook_manager.h"
#include "server/http/id_exception.h"

namespace {

constexpr int kPages = 40;
constexpr size_t kPageSize = 24 * 1024;
// "bench:garden" in Base64.
constexpr const char* kCredentials = "Authorization: Basic YmVuY2g6Z2FyZGVu\r\n";

std::string Fetch(int port, const std::string& path, const std::string& extra = "") {
  TSocket socket = TSocket::Connect("127.0.0.1", static_cast<uint16_t>(port), 10000);
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
  socket.SendAll(request.data(), request.size(), 10000);
  std::string answer;
  char buffer[16384];
  for (;;) {
    size_t got = 0;
    try {
      got = socket.Receive(buffer, sizeof buffer, 10000);
    } catch (const ESocketError&) {
      break;
    }
    if (got == 0) break;
    answer.append(buffer, got);
  }
  return answer;
}

std::unique_ptr<TEbookManager> Serve(const std::vector<uint8_t>& block, int& port) {
  HostArchive = reinterpret_cast<const THostArchive*>(block.data());
  for (port = 24100;; ++port) {
    try {
      auto manager = std::make_unique<TEbookManager>(port);
      port = manager->Port;
      return manager;
    } catch (const EIdCouldNotBindSocket&) {
    }
  }
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[params]\r\ntitle=Bench\r\nstart=page0.htm\r\n[users]\r\nbench=garden\r\n");
  builder.Add("book.lst", "");
  for (int i = 0; i < kPages; ++i)
    builder.Add("page" + std::to_string(i) + ".htm", PageLikeBytes(kPageSize, static_cast<unsigned>(i)));
  const std::vector<uint8_t> plain = builder.Build();
  const std::vector<uint8_t> sealed = SealBookBlock(plain);

  // The derivation alone, on a seal of its own.
  const TTestArchive sealedArchive{sealed};
  const TRes_invoker sealedReader = sealedArchive.CheckedReader();
  double derivation = 0;
  {
    const std::unique_ptr<TSealedBook> seal = TSealedBook::Find(sealedReader);
    const auto start = std::chrono::steady_clock::now();
    seal->Unlock("bench", ByteSpan("garden"));
    derivation = Seconds(std::chrono::steady_clock::now() - start);
  }

  int plainPort = 0, sealedPort = 0;
  const std::unique_ptr<TEbookManager> plainServer = Serve(plain, plainPort);
  const std::unique_ptr<TEbookManager> sealedServer = Serve(sealed, sealedPort);
  const std::string page = "/page7.htm";
  const auto loginStart = std::chrono::steady_clock::now();
  const std::string first = Fetch(sealedPort, page, kCredentials);
  const double login = Seconds(std::chrono::steady_clock::now() - loginStart);
  // The unsealed book asks for the same login (compared as text).
  const std::string reference = Fetch(plainPort, page, kCredentials);
  if (first != reference) {
    std::fprintf(stderr, "seal_bench: the sealed book served another page (%zu bytes, not %zu)\n", first.size(),
                 reference.size());
    return 1;
  }
  std::printf("seal: %d pages of %zu KB, %u iterations of PBKDF2-HMAC-SHA256\n", kPages, kPageSize / 1024,
              kSealIterations);
  std::printf("  first login (the request with the password)  %7.0f ms\n", login * 1000);
  std::printf("  the key derivation alone                      %7.0f ms\n", derivation * 1000);

  // Served pages, alternating rounds; the best round of each counts.
  constexpr int kRequests = 300;
  double plainBest = 1e9, sealedBest = 1e9;
  for (int round = 0; round < 9; ++round) {
    // Either book first by turns: neither gains from what the other left.
    for (bool sealedRound : {round % 2 == 1, round % 2 == 0}) {
      const int port = sealedRound ? sealedPort : plainPort;
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < kRequests; ++i) Fetch(port, "/page" + std::to_string(i % kPages) + ".htm");
      double& best = sealedRound ? sealedBest : plainBest;
      best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
    }
  }
  std::printf("  served unsealed  %8.0f pages/s\n", kRequests / plainBest);
  std::printf("  served sealed    %8.0f pages/s\n", kRequests / sealedBest);
  std::printf("  ratio sealed/unsealed served: %.3f (target >= 0.9)\n", plainBest / sealedBest);

  // The first request of each page opens it: decrypt and inflate against
  // inflate, without the server's cache.
  const std::unique_ptr<TSealedBook> seal = TSealedBook::Find(sealedReader);
  seal->Unlock("bench", ByteSpan("garden"));
  const TTestArchive plainArchive{plain};
  const TRes_invoker plainReader = plainArchive.CheckedReader();
  uint64_t bytes = 0;
  const double inflateSeconds = BestSeconds(5, [&] {
    for (int i = 2; i < plainReader.Count(); ++i) {
      TMemoryStream out;
      plainReader.Extract(i, out);
      bytes += static_cast<uint64_t>(out.Size());
    }
  });
  const double openSeconds = BestSeconds(5, [&] {
    for (int i = 2; i < plainReader.Count(); ++i) {
      TMemoryStream out;
      seal->Extract(i, out);
      bytes += static_cast<uint64_t>(out.Size());
    }
  });
  const double mb = kPages * static_cast<double>(kPageSize) / 1e6;
  std::printf("  inflate            %8.1f MB/s\n", mb / inflateSeconds);
  std::printf("  decrypt + inflate  %8.1f MB/s (checksum %llu)\n", mb / openSeconds,
              static_cast<unsigned long long>(bytes % 1000));
  std::printf("  ratio opened sealed/unsealed: %.3f\n", inflateSeconds / openSeconds);
  plainServer->StopServer();
  sealedServer->StopServer();
  return 0;
}

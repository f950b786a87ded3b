// Throughput of TRes_invoker::Extract (32 KB steps into a growing memory
// stream) against zlib's single-call uncompress into a buffer of the known
// size, over the same entries in the same run.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "archive/archive_helpers.h"
#include "bench_util.h"
#include "runtime/streams.h"

int main() {
  // A book of 120 pages from 16 KB to about 1.5 MB, 48 MB inflated in all,
  // at the compression levels books are made with.
  TArchiveBuilder builder;
  std::vector<size_t> sizes;
  uint64_t total = 0;
  for (unsigned i = 0; i < 120; ++i) {
    const size_t size = 16384 + (i * 7919u % 97) * 16384;
    sizes.push_back(size);
    total += size;
    builder.Add("page" + std::to_string(i) + ".htm", PageLikeBytes(size, i), i % 3 == 0 ? 6 : 9);
  }
  TTestArchive archive{builder.Build()};
  const TRes_invoker reader = archive.Reader();

  std::vector<std::vector<uint8_t>> targets;
  for (size_t size : sizes) targets.emplace_back(size);

  const int rounds = 7;
  uint64_t checksum = 0;
  const double extractSeconds = BestSeconds(rounds, [&] {
    for (int i = 0; i < reader.Count(); ++i) {
      TMemoryStream out;
      reader.Extract(i, out);
      checksum += static_cast<uint64_t>(out.Size());
    }
  });
  const double uncompressSeconds = BestSeconds(rounds, [&] {
    for (int i = 0; i < reader.Count(); ++i) {
      const TArchiveEntry entry = reader.GetEntry(i);
      uLongf length = static_cast<uLongf>(targets[static_cast<size_t>(i)].size());
      const int result = uncompress(targets[static_cast<size_t>(i)].data(), &length,
                                    archive.Block.data() + entry.Offset, static_cast<uLong>(entry.Size));
      if (result != Z_OK) std::abort();
      checksum += length;
    }
  });

  const double mb = static_cast<double>(total) / 1e6;
  const double extractRate = mb / extractSeconds;
  const double uncompressRate = mb / uncompressSeconds;
  std::printf("inflate: %u entries, %.1f MB inflated (checksum %llu)\n", reader.Count(), mb,
              static_cast<unsigned long long>(checksum % 1000));
  std::printf("  Extract     %8.1f MB/s\n", extractRate);
  std::printf("  uncompress  %8.1f MB/s\n", uncompressRate);
  std::printf("  ratio Extract/uncompress: %.3f (target >= 0.95)\n", extractRate / uncompressRate);
  return 0;
}

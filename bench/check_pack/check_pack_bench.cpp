// "bookc check" against "bookc pack" on one real documentation folder, side
// by side in one run: the check reads every file and every link of the book
// and should take at most as long as packing it, so that authors run it as
// often as they pack. Both run in this process through bookc's own command
// code (output discarded), alternately, best of several rounds.
//
//   bench_check_pack [BOOKDIR]   default: Debian's Python documentation
//                                (python3-doc, installed by scripts/setup)
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>

#include "bench_util.h"
#include "tools/bookc/bookc.h"

namespace fs = std::filesystem;

namespace {

// Output nobody reads.
class TNullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : "";
  if (folder.empty()) {
    for (const char* candidate : {"/usr/share/doc/python3/html", "/usr/share/doc/python3-doc/html"})
      if (fs::is_directory(candidate)) {
        folder = candidate;
        break;
      }
  }
  if (folder.empty() || !fs::is_directory(PathFromUtf8(folder))) {
    std::printf("skipped: no documentation folder (install python3-doc, or name a book folder)\n");
    return 0;
  }
  uint64_t files = 0, bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(PathFromUtf8(folder))) {
    std::error_code ec;
    if (!entry.is_regular_file(ec)) continue;
    ++files;
    bytes += entry.file_size(ec);
  }
  const fs::path packed = fs::temp_directory_path() / "bench_check_pack.bin";
  TNullBuffer nothing;
  std::ostream out(&nothing);
  int checkStatus = 0, packStatus = 0;
  double check = 1e9, pack = 1e9;
  constexpr int kRounds = 3;
  // Alternately, so that both see the same state of the file cache.
  for (int round = 0; round < kRounds; ++round) {
    check = std::min(check, BestSeconds(1, [&] { checkStatus = RunBookc({"check", folder}, out, out); }));
    pack = std::min(pack, BestSeconds(1, [&] { packStatus = RunBookc({"pack", folder, Utf8Of(packed)}, out, out); }));
  }
  std::error_code ec;
  const uintmax_t packedSize = fs::file_size(packed, ec);
  fs::remove(packed, ec);
  std::printf("book folder %s: %llu files, %.1f MB\n", folder.c_str(), static_cast<unsigned long long>(files),
              bytes / 1e6);
  std::printf("bookc check   %7.3f s  (status %d)\n", check, checkStatus);
  std::printf("bookc pack    %7.3f s  (status %d, %.1f MB written; pack runs the same check)\n", pack, packStatus,
              packedSize / 1e6);
  std::printf("check / pack  %7.2f  (at most 1 wanted)\n", check / pack);
  return 0;
}

// An archive block of known length with arbitrary directory and entry data:
// the tools must report damage, never read outside the block.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "archive/book_file.h"
#include "archive/res_invoker.h"
#include "runtime/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy of exactly size bytes, so that ASan sees every overread.
  std::vector<uint8_t> block(data, data + size);
  std::span<const uint8_t> located;
  try {
    located = LocateArchive(block);
  } catch (const Exception&) {
    return 0;
  }
  // What the tools accept has a directory that is really there: never a
  // negative entry count (which the library would read as an empty book).
  int32_t announced = 0;
  std::memcpy(&announced, located.data() + 16, sizeof announced);
  if (announced < 0) __builtin_trap();
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size()));
  for (int i = 0; i < reader.Count(); ++i) {
    TMemoryStream out;
    try {
      (void)EntryName(reader.GetEntry(i));
      reader.Extract(i, out);
    } catch (const Exception&) {
    }
  }
  return 0;
}

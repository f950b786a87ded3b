// A sealed book of known length with arbitrary directory, seal and entries:
// the seal's list of readers, the unwrapping of its key and the opening of
// every entry must report damage, never read outside the block or hand on
// a byte that did not authenticate. The seed corpus is sealed for the reader
// "fuzz" with the password "fuzz password" at one iteration, so that the
// fuzzer reaches the opened book; counts above a few iterations are not
// paid for.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/book_file.h"
#include "archive/book_seal.h"
#include "archive/res_invoker.h"
#include "runtime/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy of exactly size bytes, so that ASan sees every overread.
  std::vector<uint8_t> block(data, data + size);
  try {
    ValidateArchiveBlock(block);
  } catch (const Exception&) {
    return 0;
  }
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size()));
  std::unique_ptr<TSealedBook> seal;
  try {
    seal = TSealedBook::Find(reader);
  } catch (const Exception&) {
    return 0;
  }
  if (!seal) return 0;
  constexpr std::string_view kPassword = "fuzz password";
  if (seal->Header().Iterations <= 4) {
    try {
      seal->Unlock("fuzz", ByteSpan(kPassword));
    } catch (const Exception&) {
    }
  }
  for (int i = 0; i < reader.Count(); ++i) {
    TMemoryStream out;
    try {
      (void)EntryName(reader.GetEntry(i));
      if (seal->Unlocked()) seal->Extract(i, out);
    } catch (const Exception&) {
    }
  }
  if (seal->Unlocked()) {
    try {
      (void)UnsealBookBlock(reader, *seal);
    } catch (const Exception&) {
    }
  }
  return 0;
}

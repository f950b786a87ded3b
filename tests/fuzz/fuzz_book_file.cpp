// A book file as the e-book host and the tools read it: arbitrary bytes,
// possibly a program with a certificate table. Where the archive is looked
// for must stay inside the file, and what is found must be a whole block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/book_file.h"
#include "runtime/exceptions.h"
#include "tools/common/book_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy of exactly size bytes, so that ASan sees every overread.
  const std::vector<uint8_t> file(data, data + size);
  const uint64_t table = CertificateTableOffset(file);
  if (table > file.size()) __builtin_trap();
  const std::span<const uint8_t> part = BookPartOf(file);
  if (part.data() != file.data() || part.size() > file.size()) __builtin_trap();
  try {
    const std::span<const uint8_t> block = LocateArchive(part);
    if (block.data() < file.data() || block.data() + block.size() > file.data() + file.size()) __builtin_trap();
  } catch (const Exception&) {
  }
  return 0;
}

// A theme-list item's stored value from arbitrary bytes: reading must fail
// cleanly without reading past the end or reserving memory the bytes cannot
// fill, leave the item as it was when it fails, and a value that reads must
// write back to the bytes it was read from.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/streams.h"
#include "graphics/sk_engine_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  TReadOnlyMemoryStream stream(bytes);
  std::string name = "(empty)";
  TMemoryStream item;
  item.WriteString("previous");
  uint8_t format = 0;
  try {
    format = ReadThemeStreamValue(stream, name, item);
  } catch (const Exception&) {
    if (name != "(empty)" || item.ToString() != "previous") __builtin_trap();
    return 0;
  }
  if (format != kThemeStreamCurrent) {
    if (stream.Position() != 1 || name != "(empty)" || item.ToString() != "previous") __builtin_trap();
    return 0;
  }
  if (item.Size() == 0) return 0;  // an empty item writes the single byte 0
  // The writer stores the size's high half as 0; compare against the input
  // with that half cleared.
  std::vector<uint8_t> expected(bytes.begin(), bytes.begin() + stream.Position());
  std::memset(expected.data() + 1 + 4 + name.size() + 4, 0, 4);
  TMemoryStream written;
  WriteThemeStreamValue(written, name, item);
  if (written.Size() != static_cast<int64_t>(expected.size()) ||
      std::memcmp(written.Memory(), expected.data(), expected.size()) != 0) {
    __builtin_trap();
  }
  return 0;
}

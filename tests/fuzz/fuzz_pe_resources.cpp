// Program files and icon files as bookc reads them when it gives an e-book
// its icon: the readers must report damage, never read outside the bytes,
// and what the writer makes of a program it accepts must read back as the
// resources it was given.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tools/bookc/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    (void)IconFileResources(bytes, 1, 1, 0);
  } catch (const EPeError&) {
  }
  std::vector<TPeResource> resources;
  try {
    resources = ReadPeResources(bytes);
  } catch (const EPeError&) {
    return 0;
  }
  std::vector<uint8_t> rewritten;
  try {
    rewritten = ReplacePeResources(bytes, resources);
  } catch (const EPeError&) {
    return 0;
  }
  // Accepted: the new tree holds the same resources (sorted, so only the
  // count and the bytes in all are compared).
  const std::vector<TPeResource> again = ReadPeResources(rewritten);
  size_t before = 0;
  size_t after = 0;
  for (const auto& r : resources) before += r.Data.size();
  for (const auto& r : again) after += r.Data.size();
  if (again.size() != resources.size() || before != after) __builtin_trap();
  return 0;
}

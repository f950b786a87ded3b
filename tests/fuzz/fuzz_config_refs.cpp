// config.ini of a book folder with file references ("@path", "@default"):
// arbitrary text against an empty folder. The scan must stay inside the
// text, leave every line that names nothing as it was, and report each
// reference it cannot use.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/bookc/config_refs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path root = [] {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "fuzz_config_refs_book";
    std::filesystem::create_directories(folder);
    return folder;
  }();
  const std::vector<uint8_t> config(data, data + size);
  const TConfigReferences refs = ResolveConfigReferences(config, root, "config.ini");
  // Nothing is named in an empty folder: every reference but "@default" is
  // a problem, and text without "@" comes back byte for byte.
  if (std::find(config.begin(), config.end(), '@') == config.end() && refs.Text != config) __builtin_trap();
  if (refs.UnresolvedKeys.size() > refs.Problems.size()) __builtin_trap();
  return 0;
}

#include "tools/bookserve/folder_state.h"

namespace fs = std::filesystem;

TFolderState ReadFolderState(const fs::path& folder) {
  TFolderState state;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code entryError;
    if (it->is_directory(entryError)) continue;
    const std::u8string name = it->path().lexically_relative(folder).generic_u8string();
    state[std::string(name.begin(), name.end())] = ReadFileState(it->path());
  }
  // A folder that cannot be listed at the moment (being renamed, a drive
  // gone) is a state of its own: when it comes back, that is a change.
  if (ec) state["\x01unreadable folder"] = TFileState{};
  return state;
}

std::vector<std::string> ChangedPaths(const TFolderState& before, const TFolderState& after) {
  std::vector<std::string> changed;
  auto a = before.begin();
  auto b = after.begin();
  while (a != before.end() || b != after.end()) {
    if (b == after.end() || (a != before.end() && a->first < b->first)) {
      changed.push_back(a++->first);
    } else if (a == before.end() || b->first < a->first) {
      changed.push_back(b++->first);
    } else {
      if (!(a->second == b->second)) changed.push_back(a->first);
      ++a;
      ++b;
    }
  }
  return changed;
}

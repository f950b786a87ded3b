// What a book folder looks like from outside: every file's path, size and
// time of last change. Two equal states mean nothing was written in between
// (as far as the file system's clock can tell), which is how the live
// preview notices an author's edits on every system alike, also on network
// drives and with editors that save through a temporary file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct TFileState {
  int64_t Size = -1;  // -1: could not be read (a broken link, a file just removed)
  int64_t Changed = 0;
  bool operator==(const TFileState&) const = default;
};

using TFolderState = std::map<std::string, TFileState>;  // path below the folder, "/" separators, UTF-8

// Never fails: what cannot be read is recorded as such.
TFolderState ReadFolderState(const std::filesystem::path& folder);

// One file's size and time of last change, to the finest step the system
// keeps (folder_state_posix.cpp, folder_state_win.cpp: the C runtime's
// times on Windows are whole seconds, too coarse for two saves in a row).
TFileState ReadFileState(const std::filesystem::path& file);

// The paths that differ between two states (added, removed or changed), in
// order.
std::vector<std::string> ChangedPaths(const TFolderState& before, const TFolderState& after);

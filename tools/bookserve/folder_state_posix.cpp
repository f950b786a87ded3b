#include <sys/stat.h>

#include "tools/bookserve/folder_state.h"

TFileState ReadFileState(const std::filesystem::path& file) {
  struct stat info {};
  // Links are followed, as packing reads the file they point to.
  if (stat(file.c_str(), &info) != 0) return {};
  return TFileState{static_cast<int64_t>(info.st_size),
                    static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

#include <windows.h>

#include "tools/bookserve/folder_state.h"

TFileState ReadFileState(const std::filesystem::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return {};
  return TFileState{static_cast<int64_t>(static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow),
                    static_cast<int64_t>(static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                         data.ftLastWriteTime.dwLowDateTime)};
}

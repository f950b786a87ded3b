#include "tools/common/book_image.h"

#include <cstring>

#include "runtime/little_endian.h"
#include "runtime/streams.h"

namespace {

constexpr uint32_t kSecurityDirectory = 4;
// Signing tools pad the signed part to this multiple before the table.
constexpr size_t kCertificateAlignment = 8;

bool EndsWithTrailer(std::span<const uint8_t> bytes) {
  return bytes.size() >= kTrailerSize &&
         std::memcmp(bytes.data() + bytes.size() - kTrailerSize, kTrailerMagic, 8) == 0;
}

}  // namespace

uint64_t CertificateTableOffset(std::span<const uint8_t> file) {
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return 0;
  const uint64_t pe = ReadLe32(file.data() + 0x3C);
  constexpr uint64_t kCoffSize = 20;
  if (pe + 4 + kCoffSize + 2 > file.size() || std::memcmp(file.data() + pe, "PE\0\0", 4) != 0) return 0;
  const uint64_t optional = pe + 4 + kCoffSize;
  const uint16_t optionalSize = ReadLe16(file.data() + pe + 4 + 16);
  const uint16_t magic = ReadLe16(file.data() + optional);
  // The data directories follow the fixed part of the optional header,
  // which is longer by 16 bytes in a 64-bit program.
  uint64_t countAt = 0;
  if (magic == 0x10B)
    countAt = optional + 92;
  else if (magic == 0x20B)
    countAt = optional + 108;
  else
    return 0;
  const uint64_t directories = countAt + 4;
  const uint64_t entry = directories + 8 * uint64_t{kSecurityDirectory};
  if (entry + 8 > file.size() || entry + 8 > optional + optionalSize) return 0;
  if (ReadLe32(file.data() + countAt) <= kSecurityDirectory) return 0;
  // Unlike every other directory, this one holds a file offset, not an
  // address in memory.
  const uint64_t offset = ReadLe32(file.data() + entry);
  const uint64_t size = ReadLe32(file.data() + entry + 4);
  if (offset == 0 || size == 0 || offset + size > file.size() || offset < entry + 8) return 0;
  return offset;
}

std::span<const uint8_t> BookPartOf(std::span<const uint8_t> file) {
  if (EndsWithTrailer(file)) return file;
  const uint64_t table = CertificateTableOffset(file);
  if (table == 0) return file;
  std::span<const uint8_t> part = file.first(static_cast<size_t>(table));
  for (size_t padding = 0;; ++padding) {
    if (EndsWithTrailer(part)) return part;
    if (padding + 1 >= kCertificateAlignment || part.empty() || part.back() != 0) break;
    part = part.first(part.size() - 1);
  }
  return file.first(static_cast<size_t>(table));
}

TBookImage LoadBookFile(const std::string& fileName) {
  TBookImage image;
  image.FileBytes = ReadWholeFile(fileName, "book file", kMaxToolFileSize);
  image.Block = LocateArchive(BookPartOf(image.FileBytes));
  return image;
}

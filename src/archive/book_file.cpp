#include "archive/book_file.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "archive/res_invoker.h"
#include "runtime/streams.h"

namespace {

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint32_t Crc32(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  size_t done = 0;
  while (done < bytes.size()) {
    const auto step = static_cast<uInt>(std::min<size_t>(bytes.size() - done, 1u << 30));
    crc = crc32(crc, bytes.data() + done, step);
    done += step;
  }
  return static_cast<uint32_t>(crc);
}

}  // namespace

std::vector<uint8_t> ZlibCompress(std::span<const uint8_t> bytes, int level) {
  uLongf bound = compressBound(static_cast<uLong>(bytes.size()));
  std::vector<uint8_t> out(bound);
  const int result = compress2(out.data(), &bound, bytes.data(), static_cast<uLong>(bytes.size()), level);
  if (result != Z_OK) throw EZCompressionError(ZlibMessage(result));
  out.resize(bound);
  return out;
}

void TArchiveBuilder::Add(const std::string& name, std::span<const uint8_t> content, int level) {
  AddRaw(name, ZlibCompress(content, level));
}

void TArchiveBuilder::Add(const std::string& name, std::string_view content, int level) {
  Add(name, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(content.data()), content.size()), level);
}

void TArchiveBuilder::AddRaw(const std::string& name, std::vector<uint8_t> data) {
  if (name.size() > 255)
    throw EArchiveError(Format("The name \"%s\" is longer than 255 bytes", name.c_str()));
  entries_.push_back({name, std::move(data)});
}

std::vector<uint8_t> TArchiveBuilder::Build() const {
  uint64_t total = kArchiveHeaderSize + static_cast<uint64_t>(kArchiveEntrySize) * entries_.size();
  for (const auto& e : entries_) total += e.Data.size();
  if (total > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
    throw EArchiveError(Format("The archive would hold %llu bytes; at most 2147483647 fit its offsets",
                               static_cast<unsigned long long>(total)));
  std::vector<uint8_t> block(static_cast<size_t>(total), 0);
  std::memcpy(block.data(), kBlockSignature, 16);
  PutU32(block, 16, static_cast<uint32_t>(entries_.size()));
  size_t data = static_cast<size_t>(kArchiveHeaderSize + kArchiveEntrySize * static_cast<int64_t>(entries_.size()));
  for (size_t i = 0; i < entries_.size(); ++i) {
    const auto& e = entries_[i];
    const size_t record = static_cast<size_t>(kArchiveHeaderSize) + static_cast<size_t>(kArchiveEntrySize) * i;
    block[record] = static_cast<uint8_t>(e.Name.size());
    std::memcpy(block.data() + record + 1, e.Name.data(), e.Name.size());
    PutU32(block, record + 256, static_cast<uint32_t>(data));
    PutU32(block, record + 260, static_cast<uint32_t>(e.Data.size()));
    if (!e.Data.empty()) std::memcpy(block.data() + data, e.Data.data(), e.Data.size());
    data += e.Data.size();
  }
  return block;
}

std::vector<uint8_t> MakeTrailer(std::span<const uint8_t> block) {
  std::vector<uint8_t> trailer(kTrailerSize, 0);
  std::memcpy(trailer.data(), kTrailerMagic, 8);
  PutU32(trailer, 8, static_cast<uint32_t>(block.size()));
  PutU32(trailer, 12, Crc32(block));
  return trailer;
}

void ValidateArchiveBlock(std::span<const uint8_t> block) {
  if (block.size() < static_cast<size_t>(kArchiveHeaderSize))
    throw EArchiveError(Format("The archive is damaged: it holds %zu bytes, fewer than its 20-byte header",
                               block.size()));
  const auto count = static_cast<int32_t>(GetU32(block.data() + 16));
  if (count < 0)
    throw EArchiveError(Format("The archive is damaged: its directory announces %d entries", count));
  const uint64_t needed = static_cast<uint64_t>(kArchiveHeaderSize) + static_cast<uint64_t>(kArchiveEntrySize) * count;
  if (needed > block.size())
    throw EArchiveError(Format("The archive is damaged: its directory of %d entries needs %llu bytes, but it holds only %zu",
                               count, static_cast<unsigned long long>(needed), block.size()));
}

std::span<const uint8_t> LocateArchive(std::span<const uint8_t> file) {
  if (file.size() >= kTrailerSize && std::memcmp(file.data() + file.size() - kTrailerSize, kTrailerMagic, 8) == 0) {
    const uint8_t* trailer = file.data() + file.size() - kTrailerSize;
    const uint32_t length = GetU32(trailer + 8);
    const uint32_t crc = GetU32(trailer + 12);
    if (length > file.size() - kTrailerSize)
      throw EArchiveError(Format("The book's trailer is damaged: it announces %u archive bytes, but the file holds only %zu",
                                 length, file.size() - kTrailerSize));
    const auto block = file.subspan(file.size() - kTrailerSize - length, length);
    if (Crc32(block) != crc)
      throw EArchiveError("The book's archive is damaged: its checksum does not match the trailer");
    ValidateArchiveBlock(block);
    return block;
  }
  if (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z')
    throw EArchiveError("The program holds no book: no archive is appended to it");
  ValidateArchiveBlock(file);
  return file;
}

TBookImage LoadBookImage(const std::string& fileName) {
  TBookImage image;
  image.FileBytes = ReadWholeFile(fileName, "book file", kMaxToolFileSize);
  image.Block = LocateArchive(image.FileBytes);
  return image;
}

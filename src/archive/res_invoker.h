// The book archive: one block of memory owned by the host, holding a small
// directory and one zlib stream per file. The reader never copies or changes
// the block; it reads the directory in place and inflates an entry on demand
// into a caller's memory stream.
//
// Block layout (little-endian, offsets from the first byte of the block):
//   0    16 bytes reserved
//   16   int32 EntryCount (0 or less: empty)
//   20   EntryCount directory records of 264 bytes (TArchiveEntry)
//   ...  entry data, each located by its record's Offset and Size
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "runtime/exceptions.h"

class TStream;
class TMemoryStream;

#pragma pack(push, 1)
struct TArchiveEntry {
  uint8_t Name[256];  // length byte, then up to 255 ANSI characters
  int32_t Offset;     // from the first byte of the block
  int32_t Size;       // bytes of compressed data
};
struct THostArchive {
  uint8_t Reserved[16];
  int32_t EntryCount;
  // EntryCount TArchiveEntry records follow.
};
#pragma pack(pop)
static_assert(sizeof(TArchiveEntry) == 264);
static_assert(sizeof(THostArchive) == 20);

constexpr int64_t kArchiveHeaderSize = 20;
constexpr int64_t kArchiveEntrySize = 264;

// The entry's name as stored (the bytes after the length byte).
std::string EntryName(const TArchiveEntry& entry);

EBOOK_DECLARE_EXCEPTION(EZLibError, Exception);
EBOOK_DECLARE_EXCEPTION(EZCompressionError, EZLibError);
// Raised only by a reader that knows the block's length, for directory
// records that point outside the block.
EBOOK_DECLARE_EXCEPTION(EArchiveError, Exception);

// The message for a zlib result code ("data error", "buffer error", ...).
const char* ZlibMessage(int code);

// Inflates one complete zlib stream read from source (current position to
// end) and appends the inflated bytes to destination at its position. Bytes
// after the end of the zlib stream are ignored. Failures raise
// EZCompressionError with the message of the zlib result; what was written
// before the failure stays in destination.
void InflateStream(TStream& source, TStream& destination);

class TRes_invoker {
 public:
  // The block's length is unknown to the library: the host only hands over
  // its address, so records are trusted as they are.
  explicit TRes_invoker(const THostArchive* archive) : archive_(archive) {}
  // With a known length (the tools read the block from a file), every record
  // is checked against the block before anything is read.
  TRes_invoker(const THostArchive* archive, int64_t blockLength)
      : archive_(archive), blockLength_(blockLength) {}

  int Count() const;
  TArchiveEntry GetEntry(int index) const;
  // Inflates entry index and appends it to destination. Safe to call from
  // any number of threads at once.
  void Extract(int index, TStream& destination) const;
  // The entry's stored bytes as they lie in the block (for a zlib entry, the
  // compressed stream). Checked against the block like Extract.
  std::span<const uint8_t> EntryData(int index) const;

  const THostArchive* Archive() const { return archive_; }
  std::optional<int64_t> BlockLength() const { return blockLength_; }

 private:
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(archive_); }

  const THostArchive* archive_;
  std::optional<int64_t> blockLength_;
};

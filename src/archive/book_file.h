// Writing archive blocks, and finding the archive inside the files the tools
// are given: a bare archive block, or an e-book program with the block
// appended and a trailer after it.
//
// Trailer (the last 16 bytes of an e-book program):
//   0  8 bytes  "EBKARCH1"
//   8  uint32   length of the archive block, which ends where the trailer begins
//   12 uint32   CRC-32 of the archive block
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr char kTrailerMagic[9] = "EBKARCH1";
constexpr size_t kTrailerSize = 16;
// The largest file the tools read: an archive addresses its entries with
// signed 32-bit offsets, so neither a book nor a file to be put into one can
// be larger than 2 GiB.
constexpr uint64_t kMaxToolFileSize = uint64_t{1} << 31;
// Written into the reserved bytes of blocks made here; the library never reads
// them, the tools use them to tell a block file from a program.
constexpr char kBlockSignature[17] = "EBOOK ARCHIVE\x1a\0\0";

std::vector<uint8_t> ZlibCompress(std::span<const uint8_t> bytes, int level);

// Builds an archive block in memory. Entries keep the order they are added.
class TArchiveBuilder {
 public:
  // Compresses content at level (0..9, or -1 for zlib's default). Fails with
  // EArchiveError when name does not fit 255 bytes.
  void Add(const std::string& name, std::span<const uint8_t> content, int level = 9);
  void Add(const std::string& name, std::string_view content, int level = 9);
  // Stores data as the entry's bytes without compressing (any bytes at all).
  void AddRaw(const std::string& name, std::vector<uint8_t> data);
  int Count() const { return static_cast<int>(entries_.size()); }
  // Fails with EArchiveError when the block would not fit 32-bit offsets.
  std::vector<uint8_t> Build() const;

 private:
  struct TPending {
    std::string Name;
    std::vector<uint8_t> Data;
  };
  std::vector<TPending> entries_;
};

// The trailer that follows an archive block appended to a program.
std::vector<uint8_t> MakeTrailer(std::span<const uint8_t> block);

// Where the archive lies in file: the appended block of an e-book program, or
// the whole file for a bare block. Fails with EArchiveError naming what is
// wrong (damaged trailer, a program without a book, a block too short for
// its directory).
std::span<const uint8_t> LocateArchive(std::span<const uint8_t> file);
// Checks that the block holds its header and its whole directory. A negative
// entry count is damage here: the library, which cannot know the block's
// length, reads it as no entries, but a file's block has a known length.
void ValidateArchiveBlock(std::span<const uint8_t> block);

// A book read from a file for the tools: the file's bytes and the archive
// block inside them. Fails with the messages of ReadWholeFile (a folder, a
// file larger than kMaxToolFileSize, ...) and of LocateArchive.
struct TBookImage {
  std::vector<uint8_t> FileBytes;
  std::span<const uint8_t> Block;
};
TBookImage LoadBookImage(const std::string& fileName);

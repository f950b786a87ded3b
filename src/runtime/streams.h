// Byte streams: the abstract TStream with a position, an in-memory stream
// that owns a growable buffer, a read-only view over memory owned elsewhere,
// and a file stream.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;

  // Read/Write move at most count bytes and return how many moved.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t newSize);

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }

  // Move exactly count bytes or fail with "Stream read error" /
  // "Stream write error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteString(const std::string& text) { WriteBuffer(text.data(), static_cast<int64_t>(text.size())); }

  // Copies count bytes from source's current position; count 0 copies the
  // whole source from its start. Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// ---- length-prefixed values ------------------------------------------------
//
// The skin's and the graphics core's binary records (bitmaps, sounds, theme
// values, style-file data) store a count as a signed 32-bit number in the
// machine's byte order (little-endian on every target) and a string as its
// byte count followed by the bytes.

int32_t ReadInt32(TStream& stream);
void WriteInt32(TStream& stream, int32_t value);

// A string as a signed 32-bit byte count and that many 8-bit characters.
// Reading fails with EReadError "Stream read error" for a negative count or
// one the stream cannot supply; memory grows only as bytes actually arrive.
std::string ReadStreamString(TStream& stream);
void WriteStreamString(TStream& stream, std::string_view text);

// Reads count items in pieces, so that a count larger than the stream fails
// with EReadError after allocating little more than the stream supplied,
// whatever kind of stream it is. The pieces start at 4 KB and double up to
// 1 MB: a short stream that claims a large count costs a few kilobytes, not
// a megabyte cleared for nothing.
template <typename T>
void ReadGrowing(TStream& stream, std::vector<T>& items, int64_t count) {
  constexpr int64_t kFirstPieceBytes = int64_t{1} << 12;
  constexpr int64_t kLastPieceBytes = int64_t{1} << 20;
  items.clear();
  int64_t pieceBytes = kFirstPieceBytes;
  while (static_cast<int64_t>(items.size()) < count) {
    const int64_t have = static_cast<int64_t>(items.size());
    const int64_t piece = std::min(std::max<int64_t>(1, pieceBytes / static_cast<int64_t>(sizeof(T))), count - have);
    items.resize(static_cast<size_t>(have + piece));
    stream.ReadBuffer(items.data() + have, piece * static_cast<int64_t>(sizeof(T)));
    pieceBytes = std::min(pieceBytes * 2, kLastPieceBytes);
  }
}

// Owns a buffer that grows geometrically with realloc, so that appending
// large amounts (inflated entries) neither zero-fills nor copies more than
// necessary: big blocks usually grow in place.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(size_); }
  // Growing fills the new bytes with zeros.
  void SetSize(int64_t newSize) override;

  void Clear();
  uint8_t* Memory() { return data_; }
  const uint8_t* Memory() const { return data_; }
  std::span<const uint8_t> Bytes() const { return {data_, size_}; }
  std::string ToString() const { return std::string(reinterpret_cast<const char*>(data_), size_); }

  // Writing without an intermediate buffer: PrepareWrite makes room for up to
  // count bytes at the position and returns where they go; CommitWrite then
  // takes the first used of them into the stream and moves the position on.
  uint8_t* PrepareWrite(size_t count);
  void CommitWrite(size_t used);

  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& destination) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 private:
  // Makes room for at least capacity bytes; the bytes past size_ are undefined.
  void Reserve(size_t capacity);

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  int64_t position_ = 0;
};

// Reads a block of memory that belongs to someone else; never writes it.
class TReadOnlyMemoryStream : public TStream {
 public:
  explicit TReadOnlyMemoryStream(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  // The bytes from the position to the end, to be read in place.
  std::span<const uint8_t> Remaining() const;
  void Skip(size_t count) { position_ += static_cast<int64_t>(count); }

 private:
  std::span<const uint8_t> bytes_;
  int64_t position_ = 0;
};

enum class TFileMode { OpenRead, Create };

class TFileStream : public TStream {
 public:
  // Fails with EFOpenError "Cannot open file "<name>". <reason>" or
  // EFCreateError "Cannot create file "<name>". <reason>".
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Flushes and closes; fails with EWriteError when buffered data cannot be
  // written (a full disk must not pass silently).
  void Close();

 private:
  std::FILE* file_ = nullptr;
  std::string fileName_;
};

// Whole-file helpers for the tools.
//
// The size of a regular file, taken from the file system without opening it
// (opening a pipe for reading waits for a writer). kind names what the file
// was expected to be, for the messages. Fails with EFOpenError when nothing
// is there, and with EReadError saying what is there instead when it is not
// a regular file: ""/tmp" is a folder, not a book file", or a device, a pipe,
// a socket, a broken link.
uint64_t RegularFileSize(const std::string& fileName, std::string_view kind = "file");
// Reads a regular file whole. Beyond RegularFileSize's failures, fails with
// EReadError when the file holds more than maxSize bytes (checked before any
// memory is taken) or cannot be read whole.
std::vector<uint8_t> ReadWholeFile(const std::string& fileName, std::string_view kind = "file",
                                   uint64_t maxSize = std::numeric_limits<int64_t>::max());
void WriteWholeFile(const std::string& fileName, std::span<const uint8_t> bytes);

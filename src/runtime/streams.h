// Byte streams: the abstract TStream with a position, an in-memory stream
// that owns a growable buffer, a read-only view over memory owned elsewhere,
// and a file stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
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

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  // Growing fills the new bytes with zeros.
  void SetSize(int64_t newSize) override;

  void Clear();
  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  std::span<const uint8_t> Bytes() const { return data_; }
  std::string ToString() const { return std::string(data_.begin(), data_.end()); }

  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& destination) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 private:
  std::vector<uint8_t> data_;
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
std::vector<uint8_t> ReadWholeFile(const std::string& fileName);
void WriteWholeFile(const std::string& fileName, std::span<const uint8_t> bytes);

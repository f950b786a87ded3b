#include "runtime/streams.h"

#include <algorithm>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "runtime/ansi.h"
#include "runtime/exceptions.h"

namespace {

constexpr const char* kReadError = "Stream read error";
constexpr const char* kWriteError = "Stream write error";

int64_t ResolveSeek(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
  switch (origin) {
    case TSeekOrigin::Beginning: return offset;
    case TSeekOrigin::Current: return position + offset;
    case TSeekOrigin::End: return size + offset;
  }
  return position;
}

// File names are UTF-8; Windows opens them by their wide form so that any
// name works whatever the ANSI code page.
std::FILE* OpenFile(const std::string& fileName, const char* mode) {
#ifdef _WIN32
  return _wfopen(Utf8ToWide(fileName).c_str(), Utf8ToWide(mode).c_str());
#else
  return std::fopen(fileName.c_str(), mode);
#endif
}

int SeekFile(std::FILE* file, int64_t offset, int whence) {
#ifdef _WIN32
  return fseeko64(file, offset, whence);
#else
  return fseeko(file, static_cast<off_t>(offset), whence);
#endif
}

int64_t TellFile(std::FILE* file) {
#ifdef _WIN32
  return ftello64(file);
#else
  return static_cast<int64_t>(ftello(file));
#endif
}

}  // namespace

int64_t TStream::Size() {
  const int64_t position = Seek(0, TSeekOrigin::Current);
  const int64_t size = Seek(0, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Beginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError(kReadError);
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(kWriteError);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t kChunk = 61440;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, kChunk)));
  int64_t left = count;
  while (left > 0) {
    const int64_t step = std::min(left, kChunk);
    source.ReadBuffer(buffer.data(), step);
    WriteBuffer(buffer.data(), step);
    left -= step;
  }
  return count;
}

// ---- length-prefixed values ----------------------------------------------

int32_t ReadInt32(TStream& stream) {
  int32_t value = 0;
  stream.ReadBuffer(&value, 4);
  return value;
}

void WriteInt32(TStream& stream, int32_t value) { stream.WriteBuffer(&value, 4); }

std::string ReadStreamString(TStream& stream) {
  const int32_t length = ReadInt32(stream);
  if (length < 0) throw EReadError(kReadError);
  std::vector<char> bytes;
  ReadGrowing(stream, bytes, length);
  return std::string(bytes.begin(), bytes.end());
}

void WriteStreamString(TStream& stream, std::string_view text) {
  if (text.size() > static_cast<size_t>(INT32_MAX)) throw EWriteError(kWriteError);
  WriteInt32(stream, static_cast<int32_t>(text.size()));
  stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

// ---- TMemoryStream -------------------------------------------------------

TMemoryStream::~TMemoryStream() { std::free(data_); }

void TMemoryStream::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  const size_t grown = std::max(capacity, capacity_ + capacity_ / 2);
  void* block = std::realloc(data_, grown);
  if (block == nullptr) {
    block = std::realloc(data_, capacity);
    if (block == nullptr) throw EOutOfMemory("Out of memory while expanding memory stream");
    capacity_ = capacity;
  } else {
    capacity_ = grown;
  }
  data_ = static_cast<uint8_t*>(block);
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ < 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0) return 0;
  const auto start = static_cast<size_t>(position_);
  const size_t end = start + static_cast<size_t>(count);
  if (end > size_) {
    Reserve(end);
    if (start > size_) std::memset(data_ + size_, 0, start - size_);  // a gap left by seeking past the end
    size_ = end;
  }
  std::memcpy(data_ + start, buffer, static_cast<size_t>(count));
  position_ = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = ResolveSeek(offset, origin, position_, Size());
  return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) newSize = 0;
  const auto size = static_cast<size_t>(newSize);
  if (size > size_) {
    Reserve(size);
    std::memset(data_ + size_, 0, size - size_);
  }
  size_ = size;
  if (position_ > newSize) position_ = newSize;
}

void TMemoryStream::Clear() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = 0;
  position_ = 0;
}

uint8_t* TMemoryStream::PrepareWrite(size_t count) {
  if (position_ < 0) throw EWriteError(kWriteError);
  const auto start = static_cast<size_t>(position_);
  Reserve(start + count);
  if (start > size_) {
    std::memset(data_ + size_, 0, start - size_);
    size_ = start;
  }
  return data_ + start;
}

void TMemoryStream::CommitWrite(size_t used) {
  const size_t end = static_cast<size_t>(position_) + used;
  if (end > size_) size_ = end;
  position_ = static_cast<int64_t>(end);
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const int64_t size = source.Size();
  SetSize(size);
  source.ReadBuffer(data_, size);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& destination) const {
  destination.WriteBuffer(data_, static_cast<int64_t>(size_));
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::OpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, TFileMode::Create);
  SaveToStream(file);
  file.Close();
}

// ---- TReadOnlyMemoryStream ----------------------------------------------

int64_t TReadOnlyMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ < 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

std::span<const uint8_t> TReadOnlyMemoryStream::Remaining() const {
  if (position_ < 0 || position_ >= static_cast<int64_t>(bytes_.size())) return {};
  return bytes_.subspan(static_cast<size_t>(position_));
}

int64_t TReadOnlyMemoryStream::Write(const void*, int64_t) { return 0; }

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = ResolveSeek(offset, origin, position_, Size());
  return position_;
}

// ---- TFileStream ---------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
  file_ = OpenFile(fileName, mode == TFileMode::OpenRead ? "rb" : "wb");
  if (file_ == nullptr) {
    const std::string reason = std::strerror(errno);
    if (mode == TFileMode::OpenRead)
      throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName.c_str(), reason.c_str()));
    throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName.c_str(), reason.c_str()));
  }
}

TFileStream::~TFileStream() {
  if (file_ != nullptr) std::fclose(file_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_));
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  return static_cast<int64_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), file_));
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
                     : origin == TSeekOrigin::Current ? SEEK_CUR
                                                      : SEEK_END;
  if (SeekFile(file_, offset, whence) != 0)
    throw EStreamError(Format("Cannot seek in file \"%s\"", fileName_.c_str()));
  return TellFile(file_);
}

void TFileStream::Close() {
  if (file_ == nullptr) return;
  std::FILE* file = file_;
  file_ = nullptr;
  const bool failed = std::ferror(file) != 0;
  if (std::fclose(file) != 0 || failed)
    throw EWriteError(Format("Cannot write file \"%s\". %s", fileName_.c_str(), std::strerror(errno)));
}

uint64_t RegularFileSize(const std::string& fileName, std::string_view kind) {
  namespace fs = std::filesystem;
  const fs::path path(std::u8string(fileName.begin(), fileName.end()));
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  const char* instead = nullptr;
  switch (status.type()) {
    case fs::file_type::regular: {
      const uintmax_t size = fs::file_size(path, ec);
      if (ec) throw EReadError(Format("Cannot read file \"%s\". %s", fileName.c_str(), ec.message().c_str()));
      return size;
    }
    case fs::file_type::not_found:
      // A link whose target is missing is found by its own status.
      if (fs::is_symlink(fs::symlink_status(path, ec))) {
        instead = "a broken link";
        break;
      }
      throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName.c_str(), std::strerror(ENOENT)));
    case fs::file_type::directory: instead = "a folder"; break;
    case fs::file_type::block:
    case fs::file_type::character: instead = "a device"; break;
    case fs::file_type::fifo: instead = "a pipe"; break;
    case fs::file_type::socket: instead = "a socket"; break;
    case fs::file_type::none:
      throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName.c_str(), ec.message().c_str()));
    default: instead = "not a plain file"; break;
  }
  throw EReadError(Format("\"%s\" is %s, not a %.*s", fileName.c_str(), instead, static_cast<int>(kind.size()),
                          kind.data()));
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName, std::string_view kind, uint64_t maxSize) {
  const uint64_t size = RegularFileSize(fileName, kind);
  if (size > maxSize || size > std::numeric_limits<size_t>::max() / 2)
    throw EReadError(Format("\"%s\" is too large for a %.*s: it holds %llu bytes, at most %llu can be read",
                            fileName.c_str(), static_cast<int>(kind.size()), kind.data(),
                            static_cast<unsigned long long>(size), static_cast<unsigned long long>(maxSize)));
  TFileStream file(fileName, TFileMode::OpenRead);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  // A file that changed size since it was measured is not read as a mix.
  if (file.Size() != static_cast<int64_t>(size) || (size > 0 && file.Read(bytes.data(), static_cast<int64_t>(size)) != static_cast<int64_t>(size)))
    throw EReadError(Format("Cannot read file \"%s\"", fileName.c_str()));
  return bytes;
}

void WriteWholeFile(const std::string& fileName, std::span<const uint8_t> bytes) {
  TFileStream file(fileName, TFileMode::Create);
  if (!bytes.empty() && file.Write(bytes.data(), static_cast<int64_t>(bytes.size())) !=
                            static_cast<int64_t>(bytes.size()))
    throw EWriteError(Format("Cannot write file \"%s\". %s", fileName.c_str(), std::strerror(errno)));
  file.Close();
}

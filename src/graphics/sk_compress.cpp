#include "graphics/sk_compress.h"

#include <algorithm>

#include "runtime/scope_exit.h"

namespace {

constexpr const char* kInvalidOperation = "Invalid stream operation";
// The zlib version these streams were written against; zlib accepts any
// library of the same major version.
constexpr const char* kZlibVersion = "1.1.2";
// zlib counts in 32-bit units; larger requests are fed in pieces.
constexpr int64_t kMaxPiece = int64_t{1} << 30;

int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case TCompressionLevel::None: return 0;
    case TCompressionLevel::Fastest: return 1;
    case TCompressionLevel::Default: return Z_DEFAULT_COMPRESSION;
    case TCompressionLevel::Max: return 9;
  }
  return Z_DEFAULT_COMPRESSION;
}

}  // namespace

// ---- TCustomZlibStream -----------------------------------------------------

TCustomZlibStream::TCustomZlibStream(TStream& stream) : stream_(stream), streamPosition_(stream.Position()) {}

void TCustomZlibStream::Progress() {
  if (OnProgress) OnProgress(*this);
}

void TCustomZlibStream::ReturnToRememberedPosition() {
  if (stream_.Position() != streamPosition_) stream_.SetPosition(streamPosition_);
}

// ---- TCompressionStream ----------------------------------------------------

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream& destination)
    : TCustomZlibStream(destination) {
  zlib_.next_out = buffer_.data();
  zlib_.avail_out = static_cast<uInt>(kBufferSize);
  Check(deflateInit_(&zlib_, ZlibLevel(level), kZlibVersion, static_cast<int>(sizeof(z_stream))));
}

TCompressionStream::~TCompressionStream() {
  try {
    Finish();
  } catch (const std::exception&) {
    // Nothing can be reported from a destructor; Finish reports to callers.
  }
}

int TCompressionStream::Check(int result) {
  if (result < 0) throw ECompressionError("error");
  return result;
}

int64_t TCompressionStream::Read(void*, int64_t) { throw ECompressionError(kInvalidOperation); }

int64_t TCompressionStream::Write(const void* buffer, int64_t count) {
  if (finished_) throw ECompressionError(kInvalidOperation);
  if (count <= 0) return 0;
  ReturnToRememberedPosition();
  const auto* input = static_cast<const Bytef*>(buffer);
  for (int64_t done = 0; done < count;) {
    const int64_t piece = std::min(count - done, kMaxPiece);
    zlib_.next_in = const_cast<Bytef*>(input + done);
    zlib_.avail_in = static_cast<uInt>(piece);
    // deflate stops when it has taken all input or filled the buffer.
    while (zlib_.avail_in > 0) {
      Check(deflate(&zlib_, Z_NO_FLUSH));
      if (zlib_.avail_out == 0) {
        stream_.WriteBuffer(buffer_.data(), kBufferSize);
        zlib_.next_out = buffer_.data();
        zlib_.avail_out = static_cast<uInt>(kBufferSize);
        streamPosition_ = stream_.Position();
        Progress();
      }
    }
    done += piece;
    totalIn_ += piece;
  }
  return count;
}

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::Current) return totalIn_;
  throw ECompressionError(kInvalidOperation);
}

void TCompressionStream::Finish() {
  if (finished_) return;
  finished_ = true;
  const TScopeExit end([this] { deflateEnd(&zlib_); });

  zlib_.next_in = nullptr;
  zlib_.avail_in = 0;
  ReturnToRememberedPosition();
  while (Check(deflate(&zlib_, Z_FINISH)) != Z_STREAM_END && zlib_.avail_out == 0) {
    stream_.WriteBuffer(buffer_.data(), kBufferSize);
    zlib_.next_out = buffer_.data();
    zlib_.avail_out = static_cast<uInt>(kBufferSize);
  }
  const int64_t pending = kBufferSize - static_cast<int64_t>(zlib_.avail_out);
  if (pending > 0) stream_.WriteBuffer(buffer_.data(), pending);
  streamPosition_ = stream_.Position();
}

// ---- TDecompressionStream --------------------------------------------------

TDecompressionStream::TDecompressionStream(TStream& source) : TCustomZlibStream(source) {
  zlib_.next_in = buffer_.data();
  zlib_.avail_in = 0;
  Check(inflateInit_(&zlib_, kZlibVersion, static_cast<int>(sizeof(z_stream))));
}

TDecompressionStream::~TDecompressionStream() { inflateEnd(&zlib_); }

int TDecompressionStream::Check(int result) {
  if (result < 0) throw EDecompressionError("error");
  return result;
}

int64_t TDecompressionStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  ReturnToRememberedPosition();
  auto* output = static_cast<Bytef*>(buffer);
  int64_t produced = 0;
  while (produced < count) {
    if (ended_) {
      ConsumeRestOfSource();
      return produced;
    }
    if (zlib_.avail_in == 0) {
      const int64_t got = stream_.Read(buffer_.data(), kBufferSize);
      if (got <= 0) return produced;
      zlib_.next_in = buffer_.data();
      zlib_.avail_in = static_cast<uInt>(got);
      streamPosition_ = stream_.Position();
      Progress();
    }
    const int64_t want = std::min(count - produced, kMaxPiece);
    zlib_.next_out = output + produced;
    zlib_.avail_out = static_cast<uInt>(want);
    const int result = inflate(&zlib_, Z_NO_FLUSH);
    const int64_t made = want - static_cast<int64_t>(zlib_.avail_out);
    produced += made;
    totalOut_ += made;
    // A stream that asks for a preset dictionary can never make progress
    // here; without this it would be asked again forever.
    if (result == Z_NEED_DICT) Check(Z_DATA_ERROR);
    if (Check(result) == Z_STREAM_END) ended_ = true;
  }
  return produced;
}

void TDecompressionStream::ConsumeRestOfSource() {
  // Input after the end of the deflate data is never inflated: zlib would
  // answer "stream end" for it without taking a byte.
  zlib_.avail_in = 0;
  while (stream_.Read(buffer_.data(), kBufferSize) > 0) {
  }
  streamPosition_ = stream_.Position();
}

int64_t TDecompressionStream::Write(const void*, int64_t) { throw EDecompressionError(kInvalidOperation); }

int64_t TDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::Beginning) {
    Check(inflateReset(&zlib_));
    zlib_.next_in = buffer_.data();
    zlib_.avail_in = 0;
    stream_.SetPosition(0);
    streamPosition_ = 0;
    totalOut_ = 0;
    ended_ = false;
  } else if ((offset >= 0 && origin == TSeekOrigin::Current) ||
             (origin == TSeekOrigin::Beginning && offset > totalOut_)) {
    int64_t skip = origin == TSeekOrigin::Beginning ? offset - totalOut_ : offset;
    std::array<Bytef, 4096> scrap;
    while (skip > 0) {
      const int64_t piece = std::min<int64_t>(skip, static_cast<int64_t>(scrap.size()));
      if (Read(scrap.data(), piece) < piece) break;
      skip -= piece;
    }
  } else {
    throw EDecompressionError(kInvalidOperation);
  }
  return totalOut_;
}

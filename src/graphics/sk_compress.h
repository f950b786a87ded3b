// One-way stream adapters over zlib for stored theme data: a compression
// stream that deflates everything written to it into a destination stream,
// and a decompression stream that inflates from a source stream as it is
// read. Both use the plain zlib format (two-byte header, deflate data,
// Adler-32 trailer) and an 8192-byte buffer inside the adapter.
//
// The underlying stream is not owned. Each adapter remembers the underlying
// stream's position as it last left it and moves back there before every
// Read or Write, so other code may use the stream in between.
#pragma once

#include <zlib.h>

#include <array>
#include <cstdint>
#include <functional>

#include "runtime/exceptions.h"
#include "runtime/streams.h"

EBOOK_DECLARE_EXCEPTION(EZlibError, Exception);
EBOOK_DECLARE_EXCEPTION(ECompressionError, EZlibError);
EBOOK_DECLARE_EXCEPTION(EDecompressionError, EZlibError);

// Compression levels and their zlib levels: None 0, Fastest 1, Default
// zlib's default, Max 9.
enum class TCompressionLevel { None, Fastest, Default, Max };

class TCustomZlibStream : public TStream {
 public:
  static constexpr int64_t kBufferSize = 8192;

  ~TCustomZlibStream() override = default;
  TCustomZlibStream(const TCustomZlibStream&) = delete;
  TCustomZlibStream& operator=(const TCustomZlibStream&) = delete;

  // Raised each time a buffer's worth moves to or from the underlying stream.
  std::function<void(TCustomZlibStream& sender)> OnProgress;

 protected:
  explicit TCustomZlibStream(TStream& stream);
  void Progress();
  void ReturnToRememberedPosition();

  TStream& stream_;
  int64_t streamPosition_;
  z_stream zlib_{};
  std::array<Bytef, kBufferSize> buffer_{};
};

class TCompressionStream : public TCustomZlibStream {
 public:
  TCompressionStream(TCompressionLevel level, TStream& destination);
  // Finishes the stream when Finish was not called. A failure to write the
  // end of the stream cannot be reported from here; callers that must know
  // call Finish.
  ~TCompressionStream() override;

  // ECompressionError "Invalid stream operation".
  int64_t Read(void* buffer, int64_t count) override;
  // Deflates without flushing; full buffers go to the destination.
  int64_t Write(const void* buffer, int64_t count) override;
  // Only Seek(0, Current) is allowed: the number of bytes written so far
  // (uncompressed). Anything else is "Invalid stream operation".
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // Ends the deflate data and writes what is left of the buffer; the zlib
  // state is released even when writing fails. Further writes are invalid
  // stream operations. Calling it again does nothing.
  void Finish();

 private:
  int Check(int result);

  int64_t totalIn_ = 0;
  bool finished_ = false;
};

class TDecompressionStream : public TCustomZlibStream {
 public:
  // No input is read before the first Read.
  explicit TDecompressionStream(TStream& source);
  ~TDecompressionStream() override;

  // Inflates until count bytes are produced. Returns fewer when the source
  // runs out, or when the deflate data ends (the rest of the source is then
  // consumed).
  int64_t Read(void* buffer, int64_t count) override;
  // EDecompressionError "Invalid stream operation".
  int64_t Write(const void* buffer, int64_t count) override;
  // Seek(0, Beginning) restarts inflating from the source's position 0. A
  // forward move (offset ≥ 0 from Current, or an absolute offset beyond the
  // bytes produced so far) reads and discards, stopping at the end of the
  // data. Anything else is "Invalid stream operation". Returns the number of
  // bytes produced so far.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

 private:
  int Check(int result);
  void ConsumeRestOfSource();

  int64_t totalOut_ = 0;
  bool ended_ = false;
};

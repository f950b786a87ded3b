#include "archive/res_invoker.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/streams.h"

namespace {

constexpr int kBufferSize = 32768;

[[noreturn]] void RaiseZlib(int code) { throw EZCompressionError(ZlibMessage(code)); }

// Ends the inflater on every way out; a failing end is reported only when
// nothing else failed first.
class TInflater {
 public:
  TInflater() {
    std::memset(&stream_, 0, sizeof(stream_));
    const int result = inflateInit(&stream_);
    if (result < 0) RaiseZlib(result);
  }
  ~TInflater() {
    if (!ended_) inflateEnd(&stream_);
  }
  void End() {
    ended_ = true;
    const int result = inflateEnd(&stream_);
    if (result < 0) RaiseZlib(result);
  }
  z_stream* operator->() { return &stream_; }
  z_stream* get() { return &stream_; }

 private:
  z_stream stream_;
  bool ended_ = false;
};

}  // namespace

const char* ZlibMessage(int code) {
  switch (code) {
    case Z_NEED_DICT: return "need dictionary";
    case Z_STREAM_END: return "stream end";
    case Z_OK: return "";
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "";
  }
}

std::string EntryName(const TArchiveEntry& entry) {
  return std::string(reinterpret_cast<const char*>(entry.Name) + 1, entry.Name[0]);
}

void InflateStream(TStream& source, TStream& destination) {
  // The inflater works in 32 KB steps on both sides. When the source is
  // memory already, its steps are read in place; when the destination is a
  // memory stream, each output step is made directly in its memory. Both
  // only save copies: the steps and the results are the same.
  auto* memorySource = dynamic_cast<TReadOnlyMemoryStream*>(&source);
  auto* memoryDestination = dynamic_cast<TMemoryStream*>(&destination);
  std::vector<uint8_t> input(memorySource ? 0 : kBufferSize);
  std::vector<uint8_t> output(memoryDestination ? 0 : kBufferSize);
  TInflater inflater;

  // Hands one output step to the inflater and writes what it made. A stream
  // asking for a preset dictionary cannot be inflated here.
  auto step = [&](int flush) {
    uint8_t* out = memoryDestination ? memoryDestination->PrepareWrite(kBufferSize) : output.data();
    inflater->next_out = out;
    inflater->avail_out = kBufferSize;
    const int result = inflate(inflater.get(), flush);
    const size_t produced = kBufferSize - inflater->avail_out;
    if (memoryDestination) memoryDestination->CommitWrite(produced);
    if (result < 0 && !(result == Z_BUF_ERROR && flush == Z_NO_FLUSH && inflater->avail_in == 0))
      RaiseZlib(result);
    if (result == Z_NEED_DICT) RaiseZlib(result);
    if (!memoryDestination) destination.WriteBuffer(out, static_cast<int64_t>(produced));
    return result;
  };

  // Gives the inflater the next step of input; false at the end of the source.
  auto nextInput = [&]() -> bool {
    if (memorySource) {
      const auto rest = memorySource->Remaining();
      const size_t count = std::min<size_t>(rest.size(), kBufferSize);
      memorySource->Skip(count);
      inflater->next_in = const_cast<Bytef*>(rest.data());
      inflater->avail_in = static_cast<uInt>(count);
      return count > 0;
    }
    const int64_t count = source.Read(input.data(), kBufferSize);
    inflater->next_in = input.data();
    inflater->avail_in = static_cast<uInt>(count > 0 ? count : 0);
    return count > 0;
  };

  bool receivedInput = false;
  bool streamEnded = false;
  while (!streamEnded && nextInput()) {
    receivedInput = true;
    for (;;) {
      // Z_BUF_ERROR without flushing only means "no progress possible with
      // this input": it happens when the previous step filled the output
      // exactly as the input ran out, and is no failure of the data.
      const int result = step(Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        // Whatever follows the zlib stream is not part of the entry.
        streamEnded = true;
        break;
      }
      if (result == Z_BUF_ERROR || (inflater->avail_in == 0 && inflater->avail_out > 0)) break;
    }
  }

  if (!receivedInput) RaiseZlib(Z_STREAM_ERROR);  // the inflater never received any input
  while (!streamEnded) {
    // With all input given, a stream that is not at its end is truncated:
    // the inflater answers Z_BUF_ERROR, raised as "buffer error".
    if (step(Z_FINISH) == Z_STREAM_END) streamEnded = true;
  }
  inflater.End();
}

int TRes_invoker::Count() const {
  int32_t count;
  std::memcpy(&count, Bytes() + 16, sizeof(count));
  return count;
}

TArchiveEntry TRes_invoker::GetEntry(int index) const {
  const int64_t offset = kArchiveHeaderSize + kArchiveEntrySize * index;
  if (blockLength_ && (index < 0 || offset + kArchiveEntrySize > *blockLength_))
    throw EArchiveError(Format("Directory entry %d lies outside the archive (%lld bytes)", index,
                               static_cast<long long>(*blockLength_)));
  TArchiveEntry entry;
  std::memcpy(&entry, Bytes() + offset, sizeof(entry));
  return entry;
}

std::span<const uint8_t> TRes_invoker::EntryData(int index) const {
  const TArchiveEntry entry = GetEntry(index);
  // Negative values cannot locate data: refuse before reading anything.
  if (entry.Offset < 0 || entry.Size < 0) RaiseZlib(Z_STREAM_ERROR);
  if (blockLength_ && static_cast<int64_t>(entry.Offset) + entry.Size > *blockLength_)
    throw EArchiveError(Format("Entry %d (\"%s\") lies outside the archive: offset %d, size %d, archive %lld bytes",
                               index, EntryName(entry).c_str(), entry.Offset, entry.Size,
                               static_cast<long long>(*blockLength_)));
  return {Bytes() + entry.Offset, static_cast<size_t>(entry.Size)};
}

void TRes_invoker::Extract(int index, TStream& destination) const {
  // The block is read-only and outlives the call, so the compressed bytes are
  // read in place rather than copied first.
  TReadOnlyMemoryStream compressed(EntryData(index));
  InflateStream(compressed, destination);
}

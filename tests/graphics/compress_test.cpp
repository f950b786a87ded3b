// The zlib stream adapters: formats and levels, buffering, seek rules,
// re-positioning of the underlying stream and failure handling.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/sk_compress.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Text-like bytes (compressible) or pseudo-random bytes (not).
Bytes SampleBytes(size_t size, bool random) {
  Bytes bytes(size);
  uint32_t state = 12345;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245 + 12345;
    bytes[i] = random ? static_cast<uint8_t>(state >> 24) : static_cast<uint8_t>("the skin library "[i % 17]);
  }
  return bytes;
}

Bytes Contents(const TMemoryStream& stream) { return Bytes(stream.Bytes().begin(), stream.Bytes().end()); }

// Written through a compression stream in pieces of the given size.
Bytes Compress(const Bytes& data, TCompressionLevel level = TCompressionLevel::Default, size_t piece = 0) {
  TMemoryStream out;
  {
    TCompressionStream compress(level, out);
    if (piece == 0) piece = data.size() + 1;
    for (size_t at = 0; at < data.size(); at += piece) {
      const auto n = static_cast<int64_t>(std::min(piece, data.size() - at));
      EXPECT_EQ(compress.Write(data.data() + at, n), n);
    }
  }
  return Contents(out);
}

// Inflated by zlib itself, independently of the adapters.
Bytes Uncompress(const Bytes& packed, size_t size) {
  Bytes out(size + 1);
  uLongf length = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(out.data(), &length, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
  out.resize(length);
  return out;
}

Bytes ReadAll(TDecompressionStream& stream, size_t piece) {
  Bytes out, buffer(piece);
  for (;;) {
    const int64_t got = stream.Read(buffer.data(), static_cast<int64_t>(piece));
    out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    if (got < static_cast<int64_t>(piece)) return out;
  }
}

#define EXPECT_THROW_MESSAGE(statement, type, message)                 \
  try {                                                          \
    statement;                                                   \
    ADD_FAILURE() << "expected \"" << message << "\"";           \
  } catch (const type& e) {                                      \
    EXPECT_EQ(e.Message, message);                               \
  }

// A destination that takes at most limit bytes.
class TShortStream : public TMemoryStream {
 public:
  explicit TShortStream(int64_t limit) : limit_(limit) {}
  int64_t Write(const void* buffer, int64_t count) override {
    return TMemoryStream::Write(buffer, std::min(count, std::max<int64_t>(0, limit_ - Position())));
  }

 private:
  int64_t limit_;
};

}  // namespace

TEST(CompressionStream, LevelsMapToZlibLevels) {
  // The second header byte carries zlib's level class.
  const std::pair<TCompressionLevel, uint8_t> cases[] = {{TCompressionLevel::None, 0x01},
                                                         {TCompressionLevel::Fastest, 0x01},
                                                         {TCompressionLevel::Default, 0x9C},
                                                         {TCompressionLevel::Max, 0xDA}};
  const Bytes data = SampleBytes(20000, false);
  for (const auto& [level, flags] : cases) {
    const Bytes packed = Compress(data, level);
    EXPECT_EQ(packed[0], 0x78);
    EXPECT_EQ(packed[1], flags);
    EXPECT_EQ(Uncompress(packed, data.size()), data);
  }
  EXPECT_GT(Compress(data, TCompressionLevel::None).size(), data.size());  // stored, not deflated
  // Nothing written still makes a complete stream: header, empty block, trailer.
  EXPECT_EQ(Compress({}), (Bytes{0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
}

TEST(CompressionStream, RoundTripsAcrossBufferBoundariesInAnyPieces) {
  for (size_t size : {1u, 8191u, 8192u, 8193u, 100000u}) {
    for (bool random : {false, true}) {
      for (size_t piece : {0u, 1u, 4097u}) {
        if (piece == 1 && size > 10000) continue;
        SCOPED_TRACE(testing::Message() << size << " random " << random << " written in " << piece);
        const Bytes data = SampleBytes(size, random);
        const Bytes packed = Compress(data, TCompressionLevel::Default, piece);
        EXPECT_EQ(Uncompress(packed, size), data);
        for (size_t readPiece : {7u, 8192u, 100001u}) {
          TReadOnlyMemoryStream source(packed);
          TDecompressionStream unpack(source);
          EXPECT_EQ(ReadAll(unpack, readPiece), data);
        }
      }
    }
  }
}

TEST(CompressionStream, WholeBuffersGoOutAtTheRememberedPositionWithProgress) {
  const Bytes data = SampleBytes(200000, true);
  TMemoryStream out;
  out.WriteString("HEAD");
  int notifications = 0;
  {
    TCompressionStream compress(TCompressionLevel::Fastest, out);
    compress.OnProgress = [&](TCustomZlibStream& sender) {
      EXPECT_EQ(&sender, &compress);
      EXPECT_EQ((out.Size() - 4) % 8192, 0);
      ++notifications;
    };
    compress.WriteBuffer(data.data(), 100000);
    out.SetPosition(0);  // someone else moves the stream in between
    compress.WriteBuffer(data.data() + 100000, 100000);
    EXPECT_GE(notifications, 15);
    EXPECT_EQ(out.Size() - 4, notifications * 8192);
    out.SetPosition(1);
  }
  const Bytes all = Contents(out);
  EXPECT_EQ(std::string(all.begin(), all.begin() + 4), "HEAD");
  EXPECT_EQ(Uncompress(Bytes(all.begin() + 4, all.end()), data.size()), data);
}

TEST(CompressionStream, SeekRulesAndInvalidOperations) {
  TMemoryStream out;
  TCompressionStream compress(TCompressionLevel::Default, out);
  const Bytes data = SampleBytes(1234, false);
  compress.WriteBuffer(data.data(), 1234);
  EXPECT_EQ(compress.Seek(0, TSeekOrigin::Current), 1234);
  uint8_t byte;
  EXPECT_THROW_MESSAGE(compress.Seek(1, TSeekOrigin::Current), ECompressionError, "Invalid stream operation");
  EXPECT_THROW_MESSAGE(compress.Seek(0, TSeekOrigin::Beginning), ECompressionError, "Invalid stream operation");
  EXPECT_THROW_MESSAGE(compress.Read(&byte, 1), ECompressionError, "Invalid stream operation");
  compress.Finish();
  compress.Finish();
  EXPECT_THROW_MESSAGE(compress.Write(&byte, 1), ECompressionError, "Invalid stream operation");
  EXPECT_EQ(Uncompress(Contents(out), data.size()), data);
}

TEST(CompressionStream, AFailingDestinationIsReportedByFinishOnly) {
  const Bytes data = SampleBytes(100, false);
  TShortStream out(3);
  TCompressionStream compress(TCompressionLevel::Default, out);
  compress.WriteBuffer(data.data(), 100);  // still inside the buffer
  EXPECT_THROW(compress.Finish(), EWriteError);
  TShortStream none(0);
  EXPECT_NO_THROW({ TCompressionStream quiet(TCompressionLevel::Default, none); });
}

TEST(DecompressionStream, SourceEndingEarlyOrPastTheEnd) {
  const Bytes data = SampleBytes(50000, true);
  const Bytes packed = Compress(data, TCompressionLevel::None);
  const Bytes cut(packed.begin(), packed.begin() + 30000);
  TReadOnlyMemoryStream cutSource(cut);
  TDecompressionStream early(cutSource);
  Bytes out(data.size());
  const int64_t got = early.Read(out.data(), static_cast<int64_t>(out.size()));
  EXPECT_GT(got, 20000);
  EXPECT_LT(got, 30000);
  EXPECT_EQ(std::memcmp(out.data(), data.data(), static_cast<size_t>(got)), 0);
  EXPECT_EQ(early.Read(out.data(), 10), 0);

  // Bytes after the end of the data are consumed, never inflated.
  Bytes trailing = Compress(SampleBytes(1000, false));
  trailing.insert(trailing.end(), {'t', 'r', 'a', 'i', 'l'});
  TReadOnlyMemoryStream source(trailing);
  TDecompressionStream late(source);
  EXPECT_EQ(late.Read(out.data(), 5000), 1000);
  EXPECT_EQ(source.Position(), static_cast<int64_t>(trailing.size()));
  EXPECT_EQ(late.Read(out.data(), 5000), 0);
}

TEST(DecompressionStream, DamagedDataFails) {
  Bytes corrupt = Compress(SampleBytes(1000, false));
  corrupt[5] ^= 0xFF;
  corrupt[6] ^= 0xFF;
  // A stream that asks for a preset dictionary can never be inflated here.
  Bytes withDictionary(64);
  z_stream z{};
  deflateInit(&z, 6);
  deflateSetDictionary(&z, reinterpret_cast<const Bytef*>("dictionary"), 10);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>("dictionary text"));
  z.avail_in = 15;
  z.next_out = withDictionary.data();
  z.avail_out = static_cast<uInt>(withDictionary.size());
  ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  withDictionary.resize(z.total_out);
  deflateEnd(&z);
  for (const Bytes& bad : {corrupt, withDictionary, Bytes{0x12, 0x34, 0x56}}) {
    TReadOnlyMemoryStream source(bad);
    TDecompressionStream unpack(source);
    Bytes out(2000);
    EXPECT_THROW_MESSAGE(unpack.Read(out.data(), 2000), EDecompressionError, "error");
  }
}

TEST(DecompressionStream, SeekRules) {
  const Bytes data = SampleBytes(20000, true);
  const Bytes packed = Compress(data);
  TReadOnlyMemoryStream source(packed);
  TDecompressionStream unpack(source);
  uint8_t byte = 0;
  EXPECT_EQ(unpack.Seek(5000, TSeekOrigin::Current), 5000);  // forward: read and discarded
  unpack.ReadBuffer(&byte, 1);
  EXPECT_EQ(byte, data[5000]);
  EXPECT_EQ(unpack.Seek(9000, TSeekOrigin::Beginning), 9000);  // absolute, beyond what was produced
  unpack.ReadBuffer(&byte, 1);
  EXPECT_EQ(byte, data[9000]);
  EXPECT_EQ(unpack.Position(), 9001);
  EXPECT_THROW_MESSAGE(unpack.Seek(-1, TSeekOrigin::Current), EDecompressionError, "Invalid stream operation");
  EXPECT_THROW_MESSAGE(unpack.Seek(100, TSeekOrigin::Beginning), EDecompressionError, "Invalid stream operation");
  EXPECT_THROW_MESSAGE(unpack.Seek(9001, TSeekOrigin::Beginning), EDecompressionError, "Invalid stream operation");
  EXPECT_THROW_MESSAGE(unpack.Seek(0, TSeekOrigin::End), EDecompressionError, "Invalid stream operation");
  EXPECT_THROW_MESSAGE(unpack.Write(&byte, 1), EDecompressionError, "Invalid stream operation");
  EXPECT_EQ(unpack.Seek(0, TSeekOrigin::Beginning), 0);  // restart
  EXPECT_EQ(ReadAll(unpack, 4096), data);
  EXPECT_EQ(unpack.Seek(100, TSeekOrigin::Current), 20000);  // stops at the end of the data
}

TEST(DecompressionStream, RestartGoesToTheSourcesPositionZero) {
  const Bytes first = SampleBytes(3000, false), second = SampleBytes(4000, true);
  Bytes both = Compress(first);
  const auto secondAt = static_cast<int64_t>(both.size());
  const Bytes packedSecond = Compress(second);
  both.insert(both.end(), packedSecond.begin(), packedSecond.end());
  TReadOnlyMemoryStream source(both);
  source.SetPosition(secondAt);
  TDecompressionStream unpack(source);
  Bytes out(second.size());
  unpack.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
  EXPECT_EQ(out, second);
  unpack.Seek(0, TSeekOrigin::Beginning);
  out.resize(first.size());
  unpack.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
  EXPECT_EQ(out, first);
}

TEST(DecompressionStream, ReadsResumeAtTheRememberedPositionWithProgress) {
  const Bytes data = SampleBytes(40000, true);
  const Bytes packed = Compress(data, TCompressionLevel::None);
  TReadOnlyMemoryStream source(packed);
  TDecompressionStream unpack(source);
  int notifications = 0;
  unpack.OnProgress = [&](TCustomZlibStream&) { ++notifications; };
  Bytes out(data.size());
  unpack.ReadBuffer(out.data(), 10000);
  EXPECT_EQ(source.Position() % 8192, 0);  // whole buffers are taken from the source
  source.SetPosition(3);                   // someone else moves the stream in between
  unpack.ReadBuffer(out.data() + 10000, 30000);
  EXPECT_EQ(out, data);
  EXPECT_GE(notifications, static_cast<int>(packed.size() / 8192));  // one per piece taken
  EXPECT_LE(notifications, static_cast<int>((packed.size() + 8191) / 8192));
}

#include <gtest/gtest.h>

#include <thread>

#include "archive/archive_helpers.h"
#include "runtime/streams.h"

namespace {

std::string ExtractText(const TRes_invoker& reader, int index) {
  TMemoryStream out;
  reader.Extract(index, out);
  return out.ToString();
}

// Expects Extract to fail with an EZCompressionError carrying message.
void ExpectZlibFailure(const TTestArchive& archive, int index, const std::string& message) {
  TMemoryStream out;
  try {
    archive.Reader().Extract(index, out);
    FAIL() << "expected \"" << message << "\"";
  } catch (const EZCompressionError& e) {
    EXPECT_EQ(e.Message, message);
  }
}

// A zlib stream written by hand from stored blocks of the given lengths, so
// that block boundaries fall exactly where a test needs them.
std::vector<uint8_t> StoredZlibStream(const std::string& data, const std::vector<size_t>& blockLengths) {
  std::vector<uint8_t> out = {0x78, 0x01};
  size_t at = 0;
  for (size_t i = 0; i < blockLengths.size(); ++i) {
    const size_t n = blockLengths[i];
    const bool last = i + 1 == blockLengths.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<uint8_t>(n & 0xFF));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(~n & 0xFF));
    out.push_back(static_cast<uint8_t>((~n >> 8) & 0xFF));
    out.insert(out.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
    at += n;
  }
  const uLong adler = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()),
                              static_cast<uInt>(data.size()));
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(adler >> shift));
  return out;
}

TEST(ResInvoker, DirectoryIsReadInPlace) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[params]\n");
  builder.Add("pages\\index.htm", "<html></html>");
  TTestArchive archive{builder.Build()};
  const TRes_invoker reader = archive.Reader();
  ASSERT_EQ(reader.Count(), 2);
  const TArchiveEntry entry = reader.GetEntry(1);
  EXPECT_EQ(EntryName(entry), "pages\\index.htm");
  EXPECT_EQ(entry.Offset, 20 + 2 * 264 + reader.GetEntry(0).Size);
  EXPECT_EQ(ExtractText(reader, 1), "<html></html>");
}

TEST(ResInvoker, EmptyAndNegativeCountsMeanNoEntries) {
  TArchiveBuilder builder;
  TTestArchive archive{builder.Build()};
  EXPECT_EQ(archive.Reader().Count(), 0);
  const int32_t negative = -3;
  std::memcpy(archive.Block.data() + 16, &negative, 4);
  EXPECT_LE(archive.Reader().Count(), 0);
}

TEST(ResInvoker, EveryCompressionLevelInflatesLargeEntries) {
  const std::string content = PageLikeBytes(300000, 7);
  TArchiveBuilder builder;
  for (int level = 0; level <= 9; ++level) builder.Add("page" + std::to_string(level), content, level);
  builder.Add("tiny", "x", 9);
  builder.Add("empty", "", 9);
  TTestArchive archive{builder.Build()};
  const TRes_invoker reader = archive.Reader();
  for (int level = 0; level <= 9; ++level) EXPECT_EQ(ExtractText(reader, level), content) << "level " << level;
  EXPECT_EQ(ExtractText(reader, 10), "x");
  EXPECT_EQ(ExtractText(reader, 11), "");
}

TEST(ResInvoker, OutputFilledExactlyAsInputRunsOutIsNoFailure) {
  // First 32 KB step: 2 header bytes, 5 block header bytes and 32761 data
  // bytes. Second step: 32768 data bytes, which fill the output buffer exactly
  // while consuming the input exactly; the inflater then has nothing to do
  // until more input arrives.
  const std::string data = PageLikeBytes(65529 + 1000, 3);
  TArchiveBuilder builder;
  builder.AddRaw("exact", StoredZlibStream(data, {65529, 1000}));
  TTestArchive archive{builder.Build()};
  EXPECT_EQ(ExtractText(archive.Reader(), 0), data);
}

// A stream that is neither kind of memory stream, handing out at most 1000
// bytes per read, so that InflateStream takes its general path.
class TTrickleStream : public TStream {
 public:
  explicit TTrickleStream(std::vector<uint8_t> bytes = {}) : bytes_(std::move(bytes)) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::min<int64_t>({count, 1000, static_cast<int64_t>(bytes_.size()) - position_});
    if (n <= 0) return 0;
    std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    const auto* p = static_cast<const uint8_t*>(buffer);
    bytes_.insert(bytes_.end(), p, p + count);
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    position_ = origin == TSeekOrigin::Beginning ? offset : origin == TSeekOrigin::Current ? position_ + offset
                                                                                           : Size() + offset;
    return position_;
  }
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  std::string Text() const { return std::string(bytes_.begin(), bytes_.end()); }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
};

TEST(ResInvoker, InflateStreamWorksOnAnyStreams) {
  const std::string content = PageLikeBytes(150000, 21);
  for (int level : {0, 1, 9}) {
    TTrickleStream source(ZlibCompress(Bytes(content), level));
    TTrickleStream destination;
    InflateStream(source, destination);
    EXPECT_EQ(destination.Text(), content) << "level " << level;
  }
  const std::string data = PageLikeBytes(65529 + 1000, 3);
  TMemoryStream source;  // a memory stream read through its general Read
  const auto stored = StoredZlibStream(data, {65529, 1000});
  source.WriteBuffer(stored.data(), static_cast<int64_t>(stored.size()));
  source.SetPosition(0);
  TTrickleStream destination;
  InflateStream(source, destination);
  EXPECT_EQ(destination.Text(), data);
  TTrickleStream empty;
  EXPECT_THROW(InflateStream(empty, destination), EZCompressionError);
}

TEST(ResInvoker, ExtractAppendsSoDuplicatesConcatenate) {
  TArchiveBuilder builder;
  builder.Add("a.htm", "first|");
  builder.Add("a.htm", "second");
  TTestArchive archive{builder.Build()};
  TMemoryStream out;
  out.WriteString(">");
  archive.Reader().Extract(0, out);
  archive.Reader().Extract(1, out);
  EXPECT_EQ(out.ToString(), ">first|second");
}

TEST(ResInvoker, FailuresCarryTheZlibMessage) {
  const std::string content = PageLikeBytes(100000, 11);
  const std::vector<uint8_t> good = ZlibCompress(Bytes(content), 6);

  TArchiveBuilder builder;
  builder.AddRaw("empty", {});                                                            // 0
  builder.AddRaw("garbage", Bytes("this is not a zlib stream at all"));                   // 1
  builder.AddRaw("truncated", std::vector<uint8_t>(good.begin(), good.begin() + 5000));   // 2
  std::vector<uint8_t> raw;  // raw deflate data without the zlib header
  {
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    raw.resize(deflateBound(&s, content.size()));
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    s.avail_in = static_cast<uInt>(content.size());
    s.next_out = raw.data();
    s.avail_out = static_cast<uInt>(raw.size());
    deflate(&s, Z_FINISH);
    raw.resize(s.total_out);
    deflateEnd(&s);
  }
  builder.AddRaw("raw deflate", raw);  // 3
  std::vector<uint8_t> withDictionary;
  {
    z_stream s{};
    deflateInit(&s, 6);
    const std::string dictionary = "page chapter book";
    deflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dictionary.data()), static_cast<uInt>(dictionary.size()));
    withDictionary.resize(deflateBound(&s, content.size()));
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    s.avail_in = static_cast<uInt>(content.size());
    s.next_out = withDictionary.data();
    s.avail_out = static_cast<uInt>(withDictionary.size());
    deflate(&s, Z_FINISH);
    withDictionary.resize(s.total_out);
    deflateEnd(&s);
  }
  builder.AddRaw("dictionary", withDictionary);  // 4
  std::vector<uint8_t> damaged = good;
  damaged[damaged.size() - 2] ^= 0x55;  // the Adler-32 trailer no longer matches
  builder.AddRaw("bad checksum", damaged);  // 5
  TTestArchive archive{builder.Build()};

  ExpectZlibFailure(archive, 0, "stream error");
  ExpectZlibFailure(archive, 1, "data error");
  ExpectZlibFailure(archive, 2, "buffer error");
  ExpectZlibFailure(archive, 3, "data error");
  ExpectZlibFailure(archive, 4, "need dictionary");
  ExpectZlibFailure(archive, 5, "data error");
}

TEST(ResInvoker, WhatWasInflatedBeforeAFailureStays) {
  const std::string content = PageLikeBytes(200000, 5);
  const std::vector<uint8_t> good = ZlibCompress(Bytes(content), 0);
  TArchiveBuilder builder;
  builder.AddRaw("cut", std::vector<uint8_t>(good.begin(), good.begin() + 150000));
  TTestArchive archive{builder.Build()};
  TMemoryStream out;
  EXPECT_THROW(archive.Reader().Extract(0, out), EZCompressionError);
  ASSERT_GT(out.Size(), 100000);
  EXPECT_EQ(out.ToString(), content.substr(0, static_cast<size_t>(out.Size())));
}

TEST(ResInvoker, BytesAfterTheStreamEndAreIgnored) {
  const std::string content = PageLikeBytes(70000, 9);
  std::vector<uint8_t> data = ZlibCompress(Bytes(content), 9);
  const std::vector<uint8_t> tail(40000, 0xAB);  // spans more than one 32 KB step
  data.insert(data.end(), tail.begin(), tail.end());
  TArchiveBuilder builder;
  builder.AddRaw("padded", data);
  TTestArchive archive{builder.Build()};
  EXPECT_EQ(ExtractText(archive.Reader(), 0), content);
}

TEST(ResInvoker, NegativeOffsetOrSizeFailsWithoutReading) {
  TArchiveBuilder builder;
  builder.Add("a", "alpha");
  builder.Add("b", "beta");
  TTestArchive archive{builder.Build()};
  archive.SetEntryField(0, 256, -1000000);  // Offset
  archive.SetEntryField(1, 260, -1);        // Size
  ExpectZlibFailure(archive, 0, "stream error");
  ExpectZlibFailure(archive, 1, "stream error");
}

TEST(ResInvoker, KnownLengthChecksRecordsAgainstTheBlock) {
  TArchiveBuilder builder;
  builder.Add("a.htm", "alpha");
  TTestArchive archive{builder.Build()};
  archive.SetEntryField(0, 260, 1 << 20);
  TMemoryStream out;
  try {
    archive.CheckedReader().Extract(0, out);
    FAIL();
  } catch (const EArchiveError& e) {
    EXPECT_NE(e.Message.find("Entry 0 (\"a.htm\") lies outside the archive"), std::string::npos) << e.Message;
  }
  EXPECT_EQ(out.Size(), 0);
  EXPECT_THROW(archive.CheckedReader().GetEntry(1), EArchiveError);
}

TEST(ResInvoker, ExtractIsSafeFromManyThreads) {
  TArchiveBuilder builder;
  std::vector<std::string> contents;
  for (unsigned i = 0; i < 6; ++i) {
    contents.push_back(PageLikeBytes(40000 + 30000 * i, i));
    builder.Add("p" + std::to_string(i), contents.back(), static_cast<int>(i % 10));
  }
  TTestArchive archive{builder.Build()};
  const TRes_invoker reader = archive.Reader();
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round) {
        const int index = (t + round) % 6;
        if (ExtractText(reader, index) != contents[static_cast<size_t>(index)]) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST(BookFile, LocatesTheArchiveInBlocksAndPrograms) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[params]\ntitle=T\n");
  const std::vector<uint8_t> block = builder.Build();

  EXPECT_EQ(LocateArchive(block).size(), block.size());

  std::vector<uint8_t> program = Bytes("MZ pretend program bytes");
  program.insert(program.end(), block.begin(), block.end());
  const std::vector<uint8_t> trailer = MakeTrailer(block);
  program.insert(program.end(), trailer.begin(), trailer.end());
  const auto located = LocateArchive(program);
  ASSERT_EQ(located.size(), block.size());
  EXPECT_EQ(std::memcmp(located.data(), block.data(), block.size()), 0);

  std::vector<uint8_t> flipped = program;
  flipped[30] ^= 1;
  EXPECT_THROW(LocateArchive(flipped), EArchiveError) << "checksum mismatch";
  std::vector<uint8_t> lying = program;
  lying[lying.size() - 8] = 0xFF;
  lying[lying.size() - 7] = 0xFF;
  lying[lying.size() - 6] = 0xFF;
  EXPECT_THROW(LocateArchive(lying), EArchiveError) << "length beyond the file";
  EXPECT_THROW(LocateArchive(Bytes("MZ program without a book")), EArchiveError);
  EXPECT_THROW(LocateArchive(std::vector<uint8_t>(block.begin(), block.begin() + 100)), EArchiveError)
      << "directory cut short";
  EXPECT_THROW(LocateArchive(Bytes("short")), EArchiveError);
}

}  // namespace

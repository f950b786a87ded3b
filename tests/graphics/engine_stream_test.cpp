// The binary value a theme-list item is stored by: formats 0, 1 and 2, the
// size's ignored high half, and values cut short.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/sk_engine_stream.h"

namespace {

void Put(std::vector<uint8_t>& bytes, const void* raw, size_t count) {
  const auto* p = static_cast<const uint8_t*>(raw);
  bytes.insert(bytes.end(), p, p + count);
}

// A format-2 value laid out by hand, with a chosen high half of the size.
std::vector<uint8_t> CurrentValue(const std::string& name, const std::string& data, uint32_t sizeHigh = 0) {
  std::vector<uint8_t> bytes{2};
  const int32_t nameLength = static_cast<int32_t>(name.size());
  Put(bytes, &nameLength, 4);
  Put(bytes, name.data(), name.size());
  const uint32_t sizeLow = static_cast<uint32_t>(data.size());
  Put(bytes, &sizeLow, 4);
  Put(bytes, &sizeHigh, 4);
  Put(bytes, data.data(), data.size());
  return bytes;
}

void SetData(TMemoryStream& stream, const std::string& text) {
  stream.Clear();
  stream.WriteString(text);
  stream.SetPosition(0);
}

TEST(ThemeStreamValue, WritesTheCurrentFormatByteForByte) {
  TMemoryStream data, out;
  SetData(data, "QVMSSTL\x78\x01rest");
  WriteThemeStreamValue(out, "Skyline", data);
  const std::vector<uint8_t> expected = CurrentValue("Skyline", "QVMSSTL\x78\x01rest");
  EXPECT_EQ(std::vector<uint8_t>(out.Bytes().begin(), out.Bytes().end()), expected);
}

TEST(ThemeStreamValue, EmptyDataIsTheSingleByteZeroAndReadsBackUnchanged) {
  TMemoryStream empty, out;
  WriteThemeStreamValue(out, "ignored", empty);
  ASSERT_EQ(out.Size(), 1);
  EXPECT_EQ(out.Memory()[0], 0);

  out.SetPosition(0);
  std::string name = "(empty)";
  TMemoryStream data;
  EXPECT_EQ(ReadThemeStreamValue(out, name, data), kThemeStreamEmpty);
  EXPECT_EQ(name, "(empty)");
  EXPECT_EQ(data.Size(), 0);
}

TEST(ThemeStreamValue, RoundTripKeepsNameAndDataAndRewindsData) {
  TMemoryStream data, out;
  std::string payload(70000, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
  SetData(data, payload);
  WriteThemeStreamValue(out, "Skyline", data);
  out.WriteString("after");  // whatever follows the value stays unread

  out.SetPosition(0);
  std::string name;
  TMemoryStream back;
  back.WriteString("old contents that must go");
  EXPECT_EQ(ReadThemeStreamValue(out, name, back), kThemeStreamCurrent);
  EXPECT_EQ(name, "Skyline");
  EXPECT_EQ(back.ToString(), payload);
  EXPECT_EQ(back.Position(), 0);
  EXPECT_EQ(out.Position(), out.Size() - 5);
}

TEST(ThemeStreamValue, HighHalfOfTheSizeIsIgnored) {
  const std::vector<uint8_t> bytes = CurrentValue("Skyline", "QVMSSTLxyz", 0xFFFFFFFFu);
  TReadOnlyMemoryStream stream(bytes);
  std::string name;
  TMemoryStream data;
  EXPECT_EQ(ReadThemeStreamValue(stream, name, data), kThemeStreamCurrent);
  EXPECT_EQ(data.ToString(), "QVMSSTLxyz");
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(ThemeStreamValue, LegacyAndUnknownFormatsStopAfterTheFormatByte) {
  for (uint8_t format : {uint8_t{1}, uint8_t{3}, uint8_t{255}}) {
    SCOPED_TRACE(int{format});
    const std::vector<uint8_t> bytes{format, 'Q', 'V', 'L', 'Z'};
    TReadOnlyMemoryStream stream(bytes);
    std::string name = "(empty)";
    TMemoryStream data;
    data.WriteString("kept");
    EXPECT_EQ(ReadThemeStreamValue(stream, name, data), format);
    EXPECT_EQ(stream.Position(), 1);
    EXPECT_EQ(name, "(empty)");
    EXPECT_EQ(data.ToString(), "kept");
  }
}

// Every proper prefix of a current-format value is refused, and the item
// keeps what it held.
TEST(ThemeStreamValue, TruncatedValuesAreRejectedAndChangeNothing) {
  const std::vector<uint8_t> full = CurrentValue("Skyline", "QVMSSTL-data");
  for (size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    const std::vector<uint8_t> cut(full.begin(), full.begin() + length);
    TReadOnlyMemoryStream stream(cut);
    std::string name = "(empty)";
    TMemoryStream data;
    data.WriteString("kept");
    EXPECT_THROW(ReadThemeStreamValue(stream, name, data), EReadError);
    EXPECT_EQ(name, "(empty)");
    EXPECT_EQ(data.ToString(), "kept");
  }
}

TEST(ThemeStreamValue, ImplausibleCountsFailWithoutReservingTheirMemory) {
  struct TCase {
    const char* what;
    int32_t nameLength;
    uint32_t size;
  };
  for (const TCase& c : {TCase{"negative name length", -1, 0}, TCase{"huge name length", 0x7FFFFFF0, 0},
                         TCase{"huge data size", 3, 0xFFFFFFF0u}}) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes{2};
    Put(bytes, &c.nameLength, 4);
    if (c.nameLength == 3) {
      Put(bytes, "abc", 3);
      const uint32_t high = 0;
      Put(bytes, &c.size, 4);
      Put(bytes, &high, 4);
    }
    Put(bytes, "short", 5);
    TReadOnlyMemoryStream stream(bytes);
    std::string name;
    TMemoryStream data;
    try {
      ReadThemeStreamValue(stream, name, data);
      FAIL() << "expected a read error";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message, "Stream read error");
    }
    EXPECT_EQ(data.Size(), 0);
  }
}

}  // namespace

#include <gtest/gtest.h>

#include "runtime/ansi.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "runtime/scope_exit.h"
#include "runtime/streams.h"
#include "runtime/string_list.h"

namespace {

TEST(ScopeExit, RunsOnceWhenTheScopeEndsByReturnOrExceptionUnlessDismissed) {
  int runs = 0;
  { const TScopeExit count([&] { ++runs; }); }
  EXPECT_EQ(runs, 1);
  try {
    const TScopeExit count([&] { ++runs; });
    throw EConvertError("x");
  } catch (const EConvertError&) {
  }
  EXPECT_EQ(runs, 2);
  {
    TScopeExit count([&] { ++runs; });
    count.Dismiss();
  }
  EXPECT_EQ(runs, 2);
}

std::vector<std::string> Lines(std::string_view text) {
  TStringList list;
  list.SetText(text);
  return {list.begin(), list.end()};
}

TEST(StringList, SplitsAtEveryKindOfLineBreak) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(""), V{});
  EXPECT_EQ(Lines("a"), V{"a"});
  EXPECT_EQ(Lines("a\r\n"), V{"a"});
  EXPECT_EQ(Lines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("a\n\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(Lines("a\r\rb"), (V{"a", "", "b"}));
  EXPECT_EQ(Lines("a\n\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(Lines(std::string_view("a\nb\0c\nd", 7)), (V{"a", "b"})) << "a NUL byte ends the text";
}

TEST(StringList, NameValueAccessIgnoresLetterCase) {
  TStringList list;
  list.Add("Alpha=1");
  list.Add("no equals sign");
  list.Add("beta=x=y");
  EXPECT_EQ(list.IndexOfName("ALPHA"), 0);
  EXPECT_EQ(list.IndexOfName("no equals sign"), -1);
  EXPECT_EQ(list.Values("Beta"), "x=y");
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.Text(), "Alpha=1\r\nno equals sign\r\nbeta=x=y\r\n");
}

TEST(MemoryStream, GrowsWithZerosAndAppendsAtPosition) {
  TMemoryStream stream;
  stream.SetPosition(4);
  stream.WriteString("ab");
  ASSERT_EQ(stream.Size(), 6);
  EXPECT_EQ(stream.ToString(), std::string("\0\0\0\0ab", 6));
  stream.SetPosition(5);
  stream.WriteString("XYZ");
  EXPECT_EQ(stream.ToString(), std::string("\0\0\0\0aXYZ", 8));
  stream.SetSize(2);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_EQ(stream.Size(), 2);
}

TEST(MemoryStream, ReadBufferPastTheEndFails) {
  TMemoryStream stream;
  stream.WriteString("abc");
  stream.SetPosition(1);
  char buffer[4];
  EXPECT_EQ(stream.Read(buffer, 4), 2);
  stream.SetPosition(1);
  try {
    stream.ReadBuffer(buffer, 3);
    FAIL() << "expected EReadError";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Stream read error");
  }
}

TEST(MemoryStream, CopyFromZeroCopiesTheWholeSource) {
  TMemoryStream source;
  std::string big(100000, 'x');
  big[99999] = 'y';
  source.WriteString(big);
  TMemoryStream target;
  target.WriteString("head");
  EXPECT_EQ(target.CopyFrom(source, 0), 100000);
  EXPECT_EQ(target.ToString(), "head" + big);
}

TEST(LengthPrefixedValues, StringsAndCountsRoundTripInTheirStoredLayout) {
  TMemoryStream stream;
  WriteStreamString(stream, "ab");
  WriteStreamString(stream, "");
  WriteInt32(stream, -2);
  EXPECT_EQ(stream.ToString(), std::string("\2\0\0\0ab\0\0\0\0\xFE\xFF\xFF\xFF", 14));
  stream.SetPosition(0);
  EXPECT_EQ(ReadStreamString(stream), "ab");
  EXPECT_EQ(ReadStreamString(stream), "");
  EXPECT_EQ(ReadInt32(stream), -2);
}

TEST(LengthPrefixedValues, DamagedCountsFailWithoutTakingTheMemoryTheyClaim) {
  // A negative count, and a count far beyond the bytes the stream holds.
  for (const std::string& stored : {std::string("\xFF\xFF\xFF\xFF" "ab", 6), std::string("\xFF\xFF\xFF\x7F" "abc", 7)}) {
    TMemoryStream stream;
    stream.WriteString(stored);
    stream.SetPosition(0);
    try {
      ReadStreamString(stream);
      FAIL() << "expected EReadError";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message, "Stream read error");
    }
  }
  const std::vector<uint8_t> bytes(10, 'x');
  TReadOnlyMemoryStream view(bytes);
  std::vector<uint32_t> items;
  EXPECT_THROW(ReadGrowing(view, items, int64_t{1} << 40), EReadError);
  EXPECT_LE(items.capacity() * sizeof(uint32_t), size_t{1} << 12);
}

TEST(Conversions, IntegerTextForms) {
  struct Case {
    const char* text;
    bool valid;
    int32_t value;
  };
  const Case cases[] = {
      {"0", true, 0},           {"17", true, 17},          {"-5", true, -5},
      {"+7", true, 7},          {"$10", true, 16},         {"0x10", true, 16},
      {"0X1f", true, 31},       {"-$10", true, -16},       {" 12", true, 12},
      {"2147483647", true, 2147483647}, {"-2147483648", true, INT32_MIN},
      {"$FFFFFFFF", true, -1},  {"2147483648", false, 0},  {"$100000000", false, 0},
      {"", false, 0},           {"true", false, 0},        {"12 ", false, 0},
      {"0x", false, 0},         {"$", false, 0},           {"-", false, 0},
      {"12a", false, 0},        {"1.5", false, 0},         {"0x1G", false, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(TryStrToInt(c.text, value), c.valid) << "'" << c.text << "'";
    if (c.valid) {
      EXPECT_EQ(value, c.value) << "'" << c.text << "'";
    }
    EXPECT_EQ(StrToIntDef(c.text, -99), c.valid ? c.value : -99) << "'" << c.text << "'";
  }
}

TEST(Conversions, InvalidIntegerMessage) {
  try {
    StrToInt("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'abc' is not a valid integer value");
  }
}

TEST(Ansi, UpperCasesAsciiAndKeepsOtherBytesInRange) {
  EXPECT_EQ(AnsiUpperCase("index.htm/Sub\\a1"), "INDEX.HTM/SUB\\A1");
  EXPECT_EQ(AsciiUpperCase("a.gif"), "A.GIF");
  for (int i = 0; i < 128; ++i) {
    const char c = static_cast<char>(i);
    EXPECT_EQ(AnsiUpperChar(c), (i >= 'a' && i <= 'z') ? static_cast<char>(i - 32) : c);
  }
}

#ifndef _WIN32
TEST(Ansi, Windows1252UpperCaseTable) {
  EXPECT_EQ(AnsiUpperChar('\xE9'), '\xC9');  // e acute
  EXPECT_EQ(AnsiUpperChar('\xFF'), '\x9F');  // y diaeresis
  EXPECT_EQ(AnsiUpperChar('\x9A'), '\x8A');  // s caron
  EXPECT_EQ(AnsiUpperChar('\xDF'), '\xDF');  // sharp s has no single upper case
  EXPECT_EQ(AnsiUpperChar('\xF7'), '\xF7');  // division sign is no letter
  EXPECT_EQ(AnsiUpperChar('\xB5'), '\xB5');
}
#endif

TEST(Ansi, Utf8AndWindows1252RoundTrip) {
  const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC 5";  // "café € 5"
  const std::string ansi = Utf8ToCp1252(utf8);
  EXPECT_EQ(ansi, "caf\xE9 \x80 5");
  EXPECT_EQ(Cp1252ToUtf8(ansi), utf8);
  EXPECT_THROW(Utf8ToCp1252("\xE4\xB8\xAD"), EConvertError);  // a CJK character
  EXPECT_THROW(Utf8ToCp1252("\xC3"), EConvertError);          // cut short
  EXPECT_EQ(AnsiToWide("ab"), L"ab");
  EXPECT_EQ(WideToAnsi(L"ab"), "ab");
}

}  // namespace

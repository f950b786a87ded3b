#include <gtest/gtest.h>

#include "runtime/mem_ini_file.h"
#include "runtime/streams.h"

namespace {

TMemIniFile IniOf(std::string_view text) {
  TStringList lines;
  lines.SetText(text);
  TMemIniFile ini("");
  ini.SetStrings(lines);
  return ini;
}

std::vector<std::string> SectionLines(const TMemIniFile& ini, const char* section) {
  TStringList lines;
  ini.ReadSectionValues(section, lines);
  return {lines.begin(), lines.end()};
}

TEST(MemIniFile, TextFormatRules) {
  const TMemIniFile ini = IniOf(
      "orphan=before any section\r\n"
      "  [ Params ]  \r\n"
      "\t title  =  My Book \t\n"
      "; comment=ignored\n"
      "\n"
      "start=\n"
      "KEY=first\n"
      "key=second\n"
      "[users]\r"
      "  alice = secret \r"
      "line without equals\r"
      "=only value\r"
      "[USERS]\n"
      "bob=pw\n"
      "[empty]\n");
  EXPECT_EQ(ini.ReadString("params", "title", "x"), "My Book");
  EXPECT_EQ(ini.ReadString("PARAMS", "TITLE", "x"), "My Book");
  EXPECT_EQ(ini.ReadString("params", "start", "index.htm"), "") << "an empty value still exists";
  EXPECT_TRUE(ini.ValueExists("params", "start"));
  EXPECT_EQ(ini.ReadString("params", "key", ""), "second") << "the last occurrence of a key is read";
  EXPECT_EQ(ini.ReadString("params", "comment", "none"), "none");
  EXPECT_EQ(ini.ReadString("params", "orphan", "none"), "none");
  EXPECT_FALSE(ini.ValueExists("params", "missing"));
  // The repeated section replaces the earlier one.
  EXPECT_EQ(SectionLines(ini, "users"), std::vector<std::string>{"bob=pw"});
  EXPECT_TRUE(ini.SectionExists("Empty"));
  EXPECT_EQ(SectionLines(ini, "empty"), std::vector<std::string>{});
  EXPECT_FALSE(ini.SectionExists("none"));
}

TEST(MemIniFile, SectionLinesKeepOrderAndLinesWithoutKeys) {
  const TMemIniFile ini = IniOf("[users]\n  alice = secret \nline without equals\n=only value\nx==y\n");
  EXPECT_EQ(SectionLines(ini, "users"),
            (std::vector<std::string>{"alice=secret", "line without equals", "=only value", "x==y"}));
  EXPECT_EQ(ini.ReadString("users", "x", ""), "=y");
}

TEST(MemIniFile, NulByteEndsTheText) {
  const std::string text("[a]\nk=1\n\0[b]\nk=2\n", 17);
  const TMemIniFile ini = IniOf(text);
  EXPECT_EQ(ini.ReadString("a", "k", ""), "1");
  EXPECT_FALSE(ini.SectionExists("b"));
}

TEST(MemIniFile, IntegerValues) {
  const TMemIniFile ini = IniOf("[p]\none=1\nword=true\nhex=0x10\ndollar=$0\nneg=-1\nempty=\nblank= 5\n");
  EXPECT_EQ(ini.ReadInteger("p", "one", 0), 1);
  EXPECT_EQ(ini.ReadInteger("p", "word", 0), 0);
  EXPECT_EQ(ini.ReadInteger("p", "hex", 0), 16);
  EXPECT_EQ(ini.ReadInteger("p", "dollar", 7), 0);
  EXPECT_EQ(ini.ReadInteger("p", "neg", 0), -1);
  EXPECT_EQ(ini.ReadInteger("p", "empty", 3), 3);
  EXPECT_EQ(ini.ReadInteger("p", "blank", 0), 5) << "values are trimmed";
  EXPECT_EQ(ini.ReadInteger("p", "absent", 9), 9);
}

TEST(MemIniFile, HexEncodedValues) {
  struct Case {
    const char* value;
    std::string bytes;
  };
  const Case cases[] = {
      {"", ""},
      {"48656c6C6F", "Hello"},
      {"414", "A"},                             // an odd last digit is dropped
      {"41zz4243", std::string("A\0\0\0", 4)},  // stops at the first bad pair, keeps the full length
      {"4G41", std::string("\0\0", 2)},
      {"41:A42", std::string("A\0\0", 3)},      // ':' lies between '9' and 'A'
      {"00ff", std::string("\0\xff", 2)},
  };
  for (const Case& c : cases) {
    const TMemIniFile ini = IniOf(std::string("[s]\nv=") + c.value + "\n");
    TMemoryStream stream;
    stream.WriteString("pre");
    EXPECT_EQ(ini.ReadBinaryStream("s", "v", stream), static_cast<int64_t>(c.bytes.size())) << c.value;
    EXPECT_EQ(stream.Position(), 3) << "the position is left where it was";
    EXPECT_EQ(stream.ToString(), "pre" + c.bytes) << c.value;
  }
}

}  // namespace

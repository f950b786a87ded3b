#include <gtest/gtest.h>

#include "archive/res_setup.h"

namespace {

struct TReadResult {
  TResSetup Settings;
  ~TReadResult() { FreeSettings(Settings); }
};

void Read(std::string_view text, TResSetup& settings) {
  TMemoryStream stream;
  stream.WriteString(std::string(text));  // position at the end: the reader rewinds
  TResSetupObject reader(stream);
  reader.ReadSettings(settings);
}

std::vector<std::string> ToVector(const TStringList& list) { return {list.begin(), list.end()}; }

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

TEST(Settings, DefaultsWithoutConfig) {
  TReadResult r;
  Read("", r.Settings);
  const TResSetup& s = r.Settings;
  EXPECT_EQ(s.Users->Count(), 0);
  EXPECT_EQ(s.Bookmarks->Count(), 0);
  EXPECT_EQ(s.About->Count(), 0);
  EXPECT_EQ(s.StartPage, "index.htm");
  EXPECT_EQ(s.Title, "unnamed - EBook");
  EXPECT_EQ(s.Resolution, "800x600");
  EXPECT_FALSE(s.Resizable);
  ASSERT_NE(s.Icon, nullptr);
  EXPECT_EQ(s.Icon->Size(), 0);
  for (const auto& button : s.Toolbar) {
    EXPECT_FALSE(button.Present);
    EXPECT_EQ(button.Glyph, nullptr);
    EXPECT_EQ(button.Caption, "");
  }
}

TEST(Settings, EverySection) {
  const std::string about = "<b>About</b>\r\nsecond line\nthird";
  const std::string icon("\0\0\1\0icon", 8);
  TReadResult r;
  Read("[USERS]\r\n  alice  =  secret  \r\nbob=pw=x\r\n"
       "[Bookmarks]\r\nChapter 1=ch1.htm\r\nSite=http://example.org/\r\n"
       "[params]\r\nabout=" + Hex(about) + "\r\nstart=\r\ntitle=My Book\r\nResolution=Maximized\r\nResizable=0x10\r\n"
       "[icon]\r\nBitmap=" + Hex(icon) + "\r\n"
       "[Toolbar]\r\ntbBack=" + Hex("BMback") + "\r\neBack=Back\r\ntbRegister=\r\neRegister=Home page\r\n"
       "ePrint=Print\r\n",
       r.Settings);
  const TResSetup& s = r.Settings;
  EXPECT_EQ(ToVector(*s.Users), (std::vector<std::string>{"alice=secret", "bob=pw=x"}));
  EXPECT_EQ(ToVector(*s.Bookmarks), (std::vector<std::string>{"Chapter 1=ch1.htm", "Site=http://example.org/"}));
  EXPECT_EQ(ToVector(*s.About), (std::vector<std::string>{"<b>About</b>", "second line", "third"}));
  EXPECT_EQ(s.StartPage, "") << "an existing but empty start key is not the default";
  EXPECT_EQ(s.Title, "My Book");
  EXPECT_EQ(s.Resolution, "Maximized");
  EXPECT_TRUE(s.Resizable);
  EXPECT_EQ(s.Icon->ToString(), icon);
  EXPECT_EQ(s.Icon->Position(), 0);

  EXPECT_TRUE(s.Toolbar[0].Present);
  EXPECT_EQ(s.Toolbar[0].Glyph->ToString(), "BMback");
  EXPECT_EQ(s.Toolbar[0].Glyph->Position(), 0);
  EXPECT_EQ(s.Toolbar[0].Caption, "Back");
  EXPECT_TRUE(s.Toolbar[7].Present) << "an empty glyph value still makes the button present";
  ASSERT_NE(s.Toolbar[7].Glyph, nullptr);
  EXPECT_EQ(s.Toolbar[7].Glyph->Size(), 0);
  EXPECT_EQ(s.Toolbar[7].Caption, "Home page");
  EXPECT_FALSE(s.Toolbar[4].Present) << "a caption alone does not make a button present";
  EXPECT_EQ(s.Toolbar[4].Glyph, nullptr);
  EXPECT_EQ(s.Toolbar[4].Caption, "Print");
}

TEST(Settings, ResizableReadsIntegersOnly) {
  const std::pair<const char*, bool> cases[] = {
      {"1", true}, {"true", false}, {"0x10", true}, {"$0", false}, {"-1", true}, {"", false}, {"yes", false}};
  for (const auto& [value, expected] : cases) {
    TReadResult r;
    Read(std::string("[params]\nResizable=") + value + "\n", r.Settings);
    EXPECT_EQ(r.Settings.Resizable, expected) << value;
  }
}

TEST(Settings, AboutStopsAtANulByteAndKeepsLineRules) {
  TReadResult r;
  Read("[params]\nabout=" + Hex(std::string("one\rtwo\0three", 13)) + "\n", r.Settings);
  EXPECT_EQ(ToVector(*r.Settings.About), (std::vector<std::string>{"one", "two"}));
}

TEST(Settings, FreeSettingsReleasesEverything) {
  TResSetup s;
  Read("[Toolbar]\ntbStop=00\n", s);
  ASSERT_TRUE(s.Toolbar[3].Present);
  FreeSettings(s);
  EXPECT_EQ(s.Icon, nullptr);
  EXPECT_EQ(s.Users, nullptr);
  EXPECT_EQ(s.Bookmarks, nullptr);
  EXPECT_EQ(s.About, nullptr);
  EXPECT_EQ(s.Toolbar[3].Glyph, nullptr);
}

}  // namespace

#include <gtest/gtest.h>

#include "archive/res_setup.h"
#include "runtime/exceptions.h"
#include "server/generated_pages.h"

namespace {

const std::string kHead = "<HTML><BODY><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\">";
const std::string kTail = "</font></BODY></HTML>";

struct TSettingsHolder {
  TResSetup Settings;
  explicit TSettingsHolder(std::string_view config) {
    TMemoryStream stream;
    stream.WriteString(std::string(config));
    TResSetupObject(stream).ReadSettings(Settings);
  }
  ~TSettingsHolder() { FreeSettings(Settings); }
};

std::string Hex(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    out += "0123456789ABCDEF"[c >> 4];
    out += "0123456789ABCDEF"[c & 15];
  }
  return out;
}

TEST(GeneratedPages, NavigationPageWithoutBookmarks) {
  TSettingsHolder s("[params]\nstart=welcome.htm\n");
  EXPECT_EQ(BuildNavigationPage(s.Settings, "5055"),
            kHead + "<a href=\"http://127.0.0.1:5055/welcome.htm\">Go to start page</a><H3>Bookmarks:</H3>" + kTail);
}

TEST(GeneratedPages, NavigationPageBookmarkKinds) {
  TSettingsHolder s(
      "[bookmarks]\n"
      "Chapter <1>=ch 1.htm\n"        // inserted byte for byte, no escaping
      "Site=http://example.org/a\n"   // external: used unchanged
      "Secure=https://example.org/\n"  // no "http://" inside: an archive path
      "lonely.htm\n");                 // no "=": empty title, the whole line is the target
  EXPECT_EQ(BuildNavigationPage(s.Settings, "5056"),
            kHead + "<a href=\"http://127.0.0.1:5056/index.htm\">Go to start page</a><H3>Bookmarks:</H3>" +
                "<p><a href=\"http://127.0.0.1:5056/ch 1.htm\">Chapter <1></a></p>" +
                "<p><a href=\"http://example.org/a\">Site</a></p>" +
                "<p><a href=\"http://127.0.0.1:5056/https://example.org/\">Secure</a></p>" +
                "<p><a href=\"http://127.0.0.1:5056/lonely.htm\"></a></p>" + kTail);
}

TEST(GeneratedPages, AboutPageJoinsLinesAndReplacesThePlaceholder) {
  const std::string about =
      "<a href=\"http://ebook_host/a.htm\">ebook_host</a>\r\nline two ebook_host\r\nEBOOK_HOST stays";
  TSettingsHolder s("[params]\nabout=" + Hex(about) + "\n");
  EXPECT_EQ(BuildAboutPage(s.Settings, "5057"),
            kHead + "<a href=\"http://127.0.0.1:5057/a.htm\">127.0.0.1:5057</a>line two 127.0.0.1:5057EBOOK_HOST stays" +
                kTail);
  TSettingsHolder empty("");
  EXPECT_EQ(BuildAboutPage(empty.Settings, "5055"), kHead + kTail);
}

TEST(GeneratedPages, ReplaceAllSearchesAgainFromTheStart) {
  EXPECT_EQ(ReplaceAll("a-x-b-x", "x", "yy"), "a-yy-b-yy");
  EXPECT_EQ(ReplaceAll("xxx", "xx", "x"), "x") << "replacements that form the pattern again are replaced too";
  EXPECT_EQ(ReplaceAll("aab", "ab", "b"), "b");
  EXPECT_EQ(ReplaceAll("no match", "zz", "y"), "no match");
  EXPECT_EQ(ReplaceAll("", "x", "y"), "");
  EXPECT_THROW(ReplaceAll("x", "x", "axa"), Exception) << "a replacement holding the pattern never ends";
}

}  // namespace

#include <gtest/gtest.h>

#include <random>

#include "archive/page_matching.h"
#include "runtime/ansi.h"
#include "runtime/streams.h"

namespace {

const std::string kSpan = "<span style=\"background:yellow;mso-highlight:yellow\">Hello</span>";

int Count(std::string_view page, std::string_view text, bool caseSensitive = false) {
  // An exact-size copy, so that reading past the page is caught by ASan.
  const std::vector<uint8_t> bytes(page.begin(), page.end());
  return FindInPage(bytes, text, caseSensitive);
}

std::string Highlight(std::string_view page, std::string_view text, bool caseSensitive, std::string_view with) {
  const std::vector<uint8_t> bytes(page.begin(), page.end());
  TMemoryStream out;
  out.WriteString("head:");
  HighlightInPage(bytes, out, text, caseSensitive, with);
  return out.ToString();
}

TEST(PageMatching, TagsAreSkippedTextAndLinkTextFound) {
  const std::string page = "<p>HELLO world</p><a title=\"hello\" href=\"x.htm\">hello</a>";
  EXPECT_EQ(Count(page, "Hello"), 2);
  EXPECT_EQ(Count(page, "Hello", true), 0);
  EXPECT_EQ(Highlight(page, "Hello", false, kSpan),
            "head:<p>" + kSpan + " world</p><a title=\"hello\" href=\"x.htm\">" + kSpan + "</a>");
}

TEST(PageMatching, MarkupScriptsAndEntities) {
  EXPECT_EQ(Count("the wor<b>ld</b> of light", "world"), 0) << "a word split by markup is not one word";
  EXPECT_EQ(Count("<script>var lens = 1;</script><style>.lens{}</style>", "lens"), 2)
      << "script and style text lies outside tags";
  EXPECT_EQ(Count("caf&eacute; au lait", "caf\xE9"), 0);
  EXPECT_EQ(Count("caf&eacute; au lait", "&eacute;"), 1);
  EXPECT_EQ(Count("a > b hello", "hello"), 1) << "a stray '>' outside a tag changes nothing";
  EXPECT_EQ(Count("<unclosed hello", "hello"), 0) << "an unclosed tag runs to the end of the page";
}

TEST(PageMatching, OccurrencesDoNotOverlapOrRescan) {
  EXPECT_EQ(Count("aaaa", "aa"), 2);
  EXPECT_EQ(Count("aaa", "aa"), 1);
  EXPECT_EQ(Highlight("aaa", "aa", true, "[X]"), "head:[X]a");
  // The "<" inside an occurrence is not scanned, so it opens no tag.
  EXPECT_EQ(Count("a<a<", "a<"), 2);
}

TEST(PageMatching, EdgesOfThePage) {
  EXPECT_EQ(Count("the end: hel", "hello"), 0);
  EXPECT_EQ(Count("hello", "hello"), 1);
  EXPECT_EQ(Count("", "hello"), 0);
  EXPECT_EQ(Count("hello", ""), 0);
  EXPECT_EQ(Highlight("", "x", false, "[X]"), "head:");
  EXPECT_EQ(Highlight("abc", "", false, "[X]"), "head:abc");
  const std::string binary("GIF89a\0\xffhello\0", 14);
  EXPECT_EQ(Highlight(binary, "HELLO", false, "[X]"), "head:" + std::string("GIF89a\0\xff[X]\0", 12));
}

#ifndef _WIN32
TEST(PageMatching, AnsiLetterCase) {
  EXPECT_EQ(Count("Caf\xC9 and caf\xE9", "CAF\xE9"), 2);
  EXPECT_EQ(Count("Caf\xC9 and caf\xE9", "CAF\xE9", true), 0);
}
#endif

// The matching rule written out the plain way, position by position.
int ReferenceCount(const std::string& page, const std::string& text, bool caseSensitive) {
  if (text.empty()) return 0;
  int count = 0;
  bool inTag = false;
  size_t p = 0;
  while (p < page.size()) {
    if (page[p] == '>') inTag = false;
    if (page[p] == '<') inTag = true;
    if (!inTag && p + text.size() <= page.size()) {
      std::string a = page.substr(p, text.size());
      std::string b = text;
      if (!caseSensitive) {
        a = AnsiUpperCase(a);
        b = AnsiUpperCase(b);
      }
      if (a == b) {
        ++count;
        p += text.size();
        continue;
      }
    }
    ++p;
  }
  return count;
}

TEST(PageMatching, AgreesWithThePlainRuleOnRandomPages) {
  std::mt19937 random(42);
  const std::string alphabet = "aAbB<> ";
  for (int round = 0; round < 2000; ++round) {
    std::string page(random() % 40, ' ');
    for (char& c : page) c = alphabet[random() % alphabet.size()];
    std::string text(1 + random() % 3, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    const bool caseSensitive = random() % 2 == 0;
    ASSERT_EQ(Count(page, text, caseSensitive), ReferenceCount(page, text, caseSensitive))
        << "page \"" << page << "\" text \"" << text << "\"";
    const std::string highlighted = Highlight(page, text, caseSensitive, "#");
    const int count = ReferenceCount(page, text, caseSensitive);
    ASSERT_EQ(highlighted.size(), 5 + page.size() - count * (text.size() - 1));
  }
}

}  // namespace

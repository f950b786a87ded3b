// The plain browser's page reading: HTML items, addresses, HTTP answers.
#include <gtest/gtest.h>

#include "browser/plain_html.h"

namespace {

std::wstring ItemsText(const THtmlPage& page) {
  std::wstring text;
  for (const THtmlItem& item : page.Items) {
    if (item.Kind == THtmlItem::kText) text += item.Text;
    if (item.Kind == THtmlItem::kLineBreak) text += L"|";
    if (item.Kind == THtmlItem::kParagraph) text += L"\xB6";
  }
  return text;
}

const THtmlItem* FindItem(const THtmlPage& page, const std::wstring& text) {
  for (const THtmlItem& item : page.Items) {
    if (item.Kind == THtmlItem::kText && item.Text.find(text) != std::wstring::npos) return &item;
  }
  return nullptr;
}

TEST(PlainHtml, ReadsTheShownPartsOfAPage) {
  const THtmlPage page = ParseHtml(
      L"<!DOCTYPE html><html><head><title> Chapter &amp; Verse </title>"
      L"<style>p { color: red }</style><script>var a = '<b>no</b>';</script></head>"
      L"<body><h1>Heading</h1><p>Some   <b>bold</b>\r\n text<br>next&nbsp;line</p>"
      L"<!-- <p>hidden</p> -->"
      L"<p>A <span style=\"background:yellow;mso-highlight:yellow\">found</span> word "
      L"<a href='b.htm' target=\"_blank\">other</a> <img src=x.gif alt=\"Picture\"> &#65;&#x42;&bogus;</p></body>");
  EXPECT_EQ(page.Title, L"Chapter & Verse");
  EXPECT_EQ(ItemsText(page),
            L"\xB6Heading\xB6Some bold text|next\xA0line\xB6"
            L"A found word other Picture AB&bogus;\xB6");
  const THtmlItem* heading = FindItem(page, L"Heading");
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->Heading, 1);
  const THtmlItem* bold = FindItem(page, L"bold");
  ASSERT_NE(bold, nullptr);
  EXPECT_TRUE(bold->Bold);
  EXPECT_FALSE(FindItem(page, L"Some")->Bold);
  const THtmlItem* found = FindItem(page, L"found");
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(found->Highlight);
  EXPECT_FALSE(FindItem(page, L"word")->Highlight);
  ASSERT_EQ(page.Links.size(), 1u);
  EXPECT_EQ(page.Links[0].Href, L"b.htm");
  EXPECT_EQ(page.Links[0].Target, L"_blank");
  const THtmlItem* link = FindItem(page, L"other");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Link, 0);
  EXPECT_EQ(FindItem(page, L"Picture")->Link, -1);
}

TEST(PlainHtml, ToleratesBrokenMarkup) {
  // Unclosed tags, a lone "<", an unterminated comment: nothing is lost
  // before them and nothing runs past the end.
  EXPECT_EQ(ItemsText(ParseHtml(L"a < b <b>bold")), L"a < b bold");
  EXPECT_EQ(ItemsText(ParseHtml(L"text<!-- never closed")), L"text");
  EXPECT_EQ(ItemsText(ParseHtml(L"x<a href=\"unterminated")), L"x");
  EXPECT_EQ(ParseHtml(L"<title>no end").Title, L"no end");
  EXPECT_EQ(ItemsText(PlainTextPage(L"one\r\ntwo\n\nthree")), L"one|two||three");
}

TEST(PlainHtml, ResolvesLinksAgainstThePage) {
  const std::wstring base = L"http://127.0.0.1:5055/book/part/page.htm?q=1#top";
  const struct {
    const wchar_t* Href;
    const wchar_t* Expected;
  } cases[] = {
      {L"other.htm", L"http://127.0.0.1:5055/book/part/other.htm"},
      {L"../up.htm", L"http://127.0.0.1:5055/book/up.htm"},
      {L"../../../over.htm", L"http://127.0.0.1:5055/over.htm"},
      {L"./same/./x.htm", L"http://127.0.0.1:5055/book/part/same/x.htm"},
      {L"/navigation_bar/navigate.h", L"http://127.0.0.1:5055/navigation_bar/navigate.h"},
      {L"#end", L"http://127.0.0.1:5055/book/part/page.htm?q=1#end"},
      {L"?q=2", L"http://127.0.0.1:5055/book/part/page.htm?q=2"},
      {L"x.htm?a=b#c", L"http://127.0.0.1:5055/book/part/x.htm?a=b#c"},
      {L"//other.host/p", L"http://other.host/p"},
      {L"javascript:window.close()", L"javascript:window.close()"},
      {L"HTTP://Elsewhere/", L"HTTP://Elsewhere/"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveUrl(base, c.Href), c.Expected) << c.Href;
  EXPECT_EQ(ResolveUrl(L"http://h:1", L"a.htm"), L"http://h:1/a.htm");
  EXPECT_EQ(ResolveUrl(L"http://h/dir/", L"a.htm"), L"http://h/dir/a.htm");
}

TEST(PlainHtml, SplitsHttpAddresses) {
  THttpUrl url;
  ASSERT_TRUE(ParseHttpUrl(L"http://127.0.0.1:5056/a b/\x00E9.htm?x=1#frag", false, url));
  EXPECT_EQ(url.Host, "127.0.0.1");
  EXPECT_EQ(url.Port, 5056);
  EXPECT_EQ(url.Path, "/a%20b/%E9.htm?x=1");  // ANSI byte of e-acute
  ASSERT_TRUE(ParseHttpUrl(L"http://host/\x00E9", true, url));
  EXPECT_EQ(url.Path, "/%C3%A9");  // the same character as UTF-8
  EXPECT_EQ(url.Port, 80);
  ASSERT_TRUE(ParseHttpUrl(L"HTTP://host?q", true, url));
  EXPECT_EQ(url.Path, "/?q");
  EXPECT_FALSE(ParseHttpUrl(L"ftp://host/", true, url));
  EXPECT_FALSE(ParseHttpUrl(L"http://host:99999/", true, url));
  EXPECT_FALSE(ParseHttpUrl(L"http://:80/", true, url));
}

TEST(PlainHtml, SplitsHttpAnswers) {
  THttpAnswer answer;
  ASSERT_TRUE(ParseHttpAnswer("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\ncontent-length: 5\r\n\r\nhello world",
                              answer));
  EXPECT_EQ(answer.StatusCode, 404);
  EXPECT_EQ(answer.ContentType, "text/html");
  EXPECT_EQ(answer.Body, "hello");  // the declared length wins
  ASSERT_TRUE(ParseHttpAnswer("HTTP/1.0 302 Found\nLocation: /x.htm\n\n", answer));
  EXPECT_EQ(answer.StatusCode, 302);
  EXPECT_EQ(answer.Location, "/x.htm");
  EXPECT_TRUE(answer.Body.empty());
  EXPECT_FALSE(ParseHttpAnswer("garbage", answer));
  EXPECT_FALSE(ParseHttpAnswer("HTTP/1.1 \r\n\r\n", answer));
}

TEST(PlainHtml, RecognisesTheCloseScript) {
  EXPECT_TRUE(IsWindowCloseScript(L"javascript:window.close()"));
  EXPECT_TRUE(IsWindowCloseScript(L" JavaScript: window.close(); "));
  EXPECT_FALSE(IsWindowCloseScript(L"javascript:window.open()"));
  EXPECT_FALSE(IsWindowCloseScript(L"http://h/window.close()"));
}

}  // namespace

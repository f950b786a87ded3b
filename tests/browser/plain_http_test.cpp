// The plain browser's addresses and HTTP answers.
#include <gtest/gtest.h>

#include "browser/plain_http.h"

namespace {

TEST(PlainHttp, ResolvesLinksAgainstThePage) {
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

TEST(PlainHttp, SplitsHttpAddresses) {
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

TEST(PlainHttp, SplitsHttpAnswers) {
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

TEST(PlainHttp, RecognisesTheCloseScript) {
  EXPECT_TRUE(IsWindowCloseScript(L"javascript:window.close()"));
  EXPECT_TRUE(IsWindowCloseScript(L" JavaScript: window.close(); "));
  EXPECT_FALSE(IsWindowCloseScript(L"javascript:window.open()"));
  EXPECT_FALSE(IsWindowCloseScript(L"http://h/window.close()"));
}

}  // namespace

// The plain browser's fetch against real listeners on loopback: the request
// it sends, the answer it keeps, the failures it reports and cancellation
// from another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "browser/plain_fetch.h"
#include "server/http_test_helpers.h"

namespace {

// Reads a request head up to its blank line.
std::string ReadHead(TSocket& socket) {
  std::string head;
  char byte = 0;
  while (!head.ends_with("\r\n\r\n") && socket.Receive(&byte, 1, kPatienceMs) == 1) head += byte;
  return head;
}

std::wstring Address(int port, const std::wstring& path) {
  return L"http://127.0.0.1:" + std::to_wstring(port) + path;
}

TEST(PlainFetch, SendsItsRequestAndKeepsTheWholeAnswer) {
  int port = 0;
  TSocket listener = ListenOnTestPort(port);
  ASSERT_TRUE(listener.Valid());
  std::string head;
  // More than one receive buffer of body, so the answer is read to the close.
  const std::string body = "<title>T</title>" + std::string(20000, 'x');
  std::thread server([&] {
    TSocket client = listener.Accept(kPatienceMs);
    if (!client.Valid()) return;
    head = ReadHead(client);
    const std::string answer =
        "HTTP/1.0 302 Found\r\nContent-Type: text/html\r\nLocation: /next.htm\r\n\r\n" + body;
    client.SendAll(answer.data(), answer.size(), kPatienceMs);
    client.FinishSending(kPatienceMs);
    client.Close();
  });
  TPlainFetch fetch;
  fetch.Url = Address(port, L"/a b.htm?q=1");
  RunPlainFetch(fetch);
  server.join();

  EXPECT_FALSE(fetch.Failed) << fetch.Error;
  EXPECT_EQ(head, "GET /a%20b.htm?q=1 HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
                      "\r\nAccept: */*\r\nUser-Agent: PlainBrowser/1.0\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(fetch.Answer.StatusCode, 302);
  EXPECT_EQ(fetch.Answer.ContentType, "text/html");
  EXPECT_EQ(fetch.Answer.Location, "/next.htm");
  EXPECT_EQ(fetch.Answer.Body, body);
}

TEST(PlainFetch, ReportsEveryFailureInsteadOfThrowing) {
  {
    TPlainFetch fetch;
    fetch.Url = L"ftp://127.0.0.1/file";
    RunPlainFetch(fetch);
    EXPECT_TRUE(fetch.Failed);
    EXPECT_EQ(fetch.Error, "Not an HTTP address");
  }
  {
    // Something that is not HTTP, then the close.
    int port = 0;
    TSocket listener = ListenOnTestPort(port);
    ASSERT_TRUE(listener.Valid());
    std::thread server([&] {
      TSocket client = listener.Accept(kPatienceMs);
      if (!client.Valid()) return;
      ReadHead(client);
      client.SendAll("SSH-2.0\r\n", 9, kPatienceMs);
      client.FinishSending(kPatienceMs);
      client.Close();
    });
    TPlainFetch fetch;
    fetch.Url = Address(port, L"/");
    RunPlainFetch(fetch);
    server.join();
    EXPECT_TRUE(fetch.Failed);
    EXPECT_EQ(fetch.Error, "The server sent no HTTP answer");
  }
  {
    // Nobody listens: a port that was just free.
    int port = 0;
    TSocket listener = ListenOnTestPort(port);
    listener.Close();
    TPlainFetch fetch;
    fetch.Url = Address(port, L"/");
    RunPlainFetch(fetch);
    EXPECT_TRUE(fetch.Failed);
    EXPECT_FALSE(fetch.Error.empty());
  }
}

// Stop ends a fetch whose server never answers at once, not after the
// receive limit; a fetch cancelled before it connected never sends.
TEST(PlainFetch, CancelEndsAWaitingFetchAtOnce) {
  int port = 0;
  TSocket listener = ListenOnTestPort(port);
  ASSERT_TRUE(listener.Valid());
  TPlainFetch fetch;
  fetch.Url = Address(port, L"/slow.htm");
  const auto started = std::chrono::steady_clock::now();
  std::thread worker([&] { RunPlainFetch(fetch); });
  TSocket client = listener.Accept(kPatienceMs);
  ASSERT_TRUE(client.Valid());
  fetch.Cancel();
  worker.join();
  EXPECT_TRUE(fetch.Failed);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(kPlainReceiveTimeoutMs));

  TPlainFetch early;
  early.Url = Address(port, L"/never.htm");
  early.Cancel();
  RunPlainFetch(early);
  EXPECT_TRUE(early.Failed);
  EXPECT_EQ(early.Error, "Cancelled");
  TSocket second = listener.Accept(kPatienceMs);
  if (second.Valid()) {
    char byte;
    size_t got = 0;
    try {
      got = second.Receive(&byte, 1, kPatienceMs);
    } catch (const ESocketError&) {
    }
    EXPECT_EQ(got, 0u) << "a cancelled fetch sent its request";
  }
}

// The text a page shows, laid out wide enough for one line per block.
std::wstring ShownText(TPlainPage& page) {
  TFixedMeasurer measurer;
  page.LayOut(2000, measurer);
  return page.Layout().Text();
}

TEST(PlainFetch, AnswersBecomeRedirectsOrPages) {
  TPlainFetch fetch;
  fetch.Url = L"http://127.0.0.1:5055/dir/page.htm";

  fetch.Answer = THttpAnswer{301, "text/html", "../other.htm", "<p>moved</p>"};
  TPlainOutcome outcome = PlainFetchOutcome(fetch, 5, 1252);
  EXPECT_TRUE(outcome.Redirect);
  EXPECT_EQ(outcome.RedirectTo, L"http://127.0.0.1:5055/other.htm");
  // At the limit the answer's own body shows instead.
  fetch.Redirects = 5;
  outcome = PlainFetchOutcome(fetch, 5, 1252);
  EXPECT_FALSE(outcome.Redirect);
  ASSERT_NE(outcome.Page, nullptr);
  EXPECT_EQ(ShownText(*outcome.Page), L"moved");
  fetch.Redirects = 0;

  // The charset decides how the body's bytes are read; without one, the
  // default code page.
  fetch.Answer = THttpAnswer{404, "Text/HTML; Charset=UTF-8", "", "<title>\xC3\xA9t\xC3\xA9</title>"};
  EXPECT_EQ(PlainFetchOutcome(fetch, 5, 1252).Page->Title(), L"\u00E9t\u00E9");
  fetch.Answer = THttpAnswer{200, "", "", "<title>\xE9t\xE9</title>"};
  EXPECT_EQ(PlainFetchOutcome(fetch, 5, 1252).Page->Title(), L"\u00E9t\u00E9");

  // Text answers keep their lines and their markup as text.
  fetch.Answer = THttpAnswer{200, "text/plain", "", "<b>a</b>\n  b"};
  outcome = PlainFetchOutcome(fetch, 5, 1252);
  EXPECT_EQ(ShownText(*outcome.Page), L"<b>a</b>\n  b");

  // A picture answer is a page showing that picture.
  fetch.Answer = THttpAnswer{200, "image/png", "", std::string(10, 'x')};
  outcome = PlainFetchOutcome(fetch, 5, 1252);
  ASSERT_EQ(outcome.Page->PictureUrls().size(), 1u);
  EXPECT_EQ(outcome.Page->PictureUrls()[0], fetch.Url);

  fetch.Answer = THttpAnswer{200, "application/zip", "", std::string(10, 'x')};
  EXPECT_EQ(ShownText(*PlainFetchOutcome(fetch, 5, 1252).Page), L"application/zip (10 bytes)");

  fetch.Failed = true;
  fetch.Error = "Connection refused";
  outcome = PlainFetchOutcome(fetch, 5, 1252);
  EXPECT_FALSE(outcome.Redirect);
  EXPECT_EQ(outcome.Page->Title(), fetch.Url);
  EXPECT_EQ(ShownText(*outcome.Page), L"This page cannot be displayed: Connection refused");
}

}  // namespace

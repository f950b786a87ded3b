// The book server end to end: a real book manager on a loopback port,
// answers compared as whole byte strings.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "archive/archive_helpers.h"
#include "runtime/sockets.h"
#include "server/http_test_helpers.h"
#include "server/content_types.h"
#include "server/ebook_manager.h"
#include "server/http/id_http_client.h"
#include "server/http/id_http_server.h"

namespace {

std::string Get(int port, const std::string& path, const std::string& extraHeaders = "") {
  return Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n");
}

std::string Basic(const std::string& userColonPassword) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  const auto* b = reinterpret_cast<const unsigned char*>(userColonPassword.data());
  const size_t n = userColonPassword.size();
  for (; i + 2 < n; i += 3) {
    const unsigned v = b[i] << 16 | b[i + 1] << 8 | b[i + 2];
    for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
  }
  if (n - i == 1) {
    const unsigned v = b[i] << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (n - i == 2) {
    const unsigned v = b[i] << 16 | b[i + 1] << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return "Authorization: Basic " + out + "\r\n";
}

std::string ArchiveHeader(const std::string& type) {
  return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: " + type +
         "\r\nCache-control: no-cache\r\nServer: BookServer/1.0\r\n\r\n";
}
const std::string kArchiveHeader = ArchiveHeader("text/html");
const std::string kGifHeader = ArchiveHeader("image/gif");
const std::string kJpegHeader = ArchiveHeader("image/jpeg");
const std::string kBmpHeader = ArchiveHeader("image/bmp");
const std::string kUnauthorized =
    "HTTP/1.1 401 Unauthorized\r\nConnection: close\r\nContent-Type: text/html\r\nCache-control: no-cache\r\n"
    "Server: BookServer/1.0\r\nWWW-Authenticate: Basic realm=\"Protected\"\r\n\r\n"
    "<HTML><BODY><B>401 Unauthorized</B></BODY></HTML>";
const std::string kNotFound = "<h2>The given page was not found in eBook</h2>";
const std::string kMark = "<span style=\"background:yellow;mso-highlight:yellow\">";

std::string Generated(const std::string& body) { return PageAnswer(body, "no-cache"); }

// A book manager probing from the next test port; ports whose earlier
// connections still block binding are skipped.
std::unique_ptr<TEbookManager> StartManager() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    try {
      return std::make_unique<TEbookManager>(NextTestPort());
    } catch (const EIdCouldNotBindSocket&) {
    }
  }
  ADD_FAILURE() << "no free test port";
  return nullptr;
}

class BookServerTest : public ::testing::Test {
 protected:
  void Start(const std::string& config) {
    TArchiveBuilder builder;
    builder.Add("config.ini", config);
    builder.Add("book.lst", "list");
    builder.Add("index.htm", "<html><p>Hello world</p><a title=\"hello\">hello</a></html>");
    builder.Add("sub\\Page.htm", "sub page");
    builder.Add("twice.htm", "first|");
    builder.Add("twice.htm", "second");
    builder.Add("pic.GIF", "GIF hello");
    builder.Add("pic.jpeg", "JPEG hello");
    builder.Add("pic.bmp", "BMP hello");
    builder.Add("empty.htm", "");
    builder.AddRaw("broken.htm", Bytes("definitely not zlib"));
    archive_.Block = builder.Build();
    HostArchive = reinterpret_cast<const THostArchive*>(archive_.Block.data());
    manager_ = StartManager();
    ASSERT_NE(manager_, nullptr);
    port_ = manager_->Port;
  }
  void TearDown() override {
    if (manager_) manager_->StopServer();
    manager_.reset();
  }

  TTestArchive archive_;
  std::unique_ptr<TEbookManager> manager_;
  int port_ = 0;
};

TEST_F(BookServerTest, AnswersFromTheArchive) {
  Start("[params]\nstart=index.htm\n");
  EXPECT_TRUE(manager_->Authorized) << "no users: no login";
  EXPECT_EQ(manager_->PortText, std::to_string(port_));
  EXPECT_EQ(Get(port_, "/index.htm"), kArchiveHeader + "<html><p>Hello world</p><a title=\"hello\">hello</a></html>");
  EXPECT_EQ(Get(port_, "/INDEX.HTM"), Get(port_, "/index.htm")) << "letter case of the path does not matter";
  EXPECT_EQ(Get(port_, "/sub/page.htm"), kArchiveHeader + "sub page") << "\\ in names matches /";
  EXPECT_EQ(Get(port_, "/sub%2Fpage.htm"), kArchiveHeader + "sub page");
  EXPECT_EQ(Get(port_, "/twice.htm"), kArchiveHeader + "first|second") << "every matching entry, in order";
  EXPECT_EQ(Get(port_, "/pic.GIF"), kGifHeader + "GIF hello") << "a picture declares its type";
  EXPECT_EQ(Get(port_, "/index.htm?x=1"), Get(port_, "/index.htm"));
  EXPECT_EQ(Get(port_, "/missing.htm"), kArchiveHeader + kNotFound);
  EXPECT_EQ(Get(port_, "/empty.htm"), kArchiveHeader + kNotFound);
  EXPECT_EQ(Get(port_, "/broken.htm"), kArchiveHeader + "data error")
      << "a failure after the header becomes the body";
  EXPECT_EQ(Get(port_, "/"), "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\nServer: BookServer/1.0\r\n\r\n");
  EXPECT_EQ(Exchange(port_, "HEAD /sub/page.htm HTTP/1.1\r\n\r\n"), kArchiveHeader) << "HEAD gets no body";
}

TEST_F(BookServerTest, GeneratedPages) {
  Start("[params]\nstart=index.htm\n[bookmarks]\nSub=sub/page.htm\n");
  const std::string port = std::to_string(port_);
  EXPECT_EQ(Get(port_, "/navigation_bar/navigate.h"), Generated(manager_->BuildNavigationPage()));
  EXPECT_NE(manager_->BuildNavigationPage().find("<p><a href=\"http://127.0.0.1:" + port + "/sub/page.htm\">Sub</a></p>"),
            std::string::npos);
  EXPECT_EQ(Get(port_, "/navigation_bar/about.h"), Generated(manager_->BuildAboutPage()));
  EXPECT_EQ(Get(port_, "/NAVIGATION_BAR/navigate.h"), kArchiveHeader + kNotFound) << "generated paths are exact";
}

TEST_F(BookServerTest, LoginFlow) {
  Start("[users]\nann = secret\nwholeline\n");
  EXPECT_FALSE(manager_->Authorized);
  EXPECT_EQ(Get(port_, "/navigation_bar/navigate.h"), Generated(manager_->BuildNavigationPage()))
      << "generated pages need no login";
  EXPECT_EQ(Get(port_, "/navigation_bar/about.h"), Generated(manager_->BuildAboutPage()));
  EXPECT_EQ(Get(port_, "/index.htm"), kUnauthorized);
  EXPECT_EQ(Get(port_, "/index.htm", Basic("ann:wrong")), kUnauthorized);
  EXPECT_EQ(Get(port_, "/index.htm", Basic("Ann:secret")), kUnauthorized) << "names compare exactly";
  EXPECT_EQ(Get(port_, "/index.htm", "Authorization: Digest abc\r\n"), "") << "other schemes get no answer";
  EXPECT_FALSE(manager_->Authorized);
  EXPECT_EQ(Get(port_, "/sub/page.htm", Basic("ann:secret")), kArchiveHeader + "sub page");
  EXPECT_TRUE(manager_->Authorized);
  EXPECT_EQ(Get(port_, "/sub/page.htm"), kArchiveHeader + "sub page") << "one login opens the book for good";
}

TEST_F(BookServerTest, RequestsThroughForeignHostNamesAreRefused) {
  Start("[users]\nann = secret\n");
  const auto as = [&](const std::string& host, const std::string& path, const std::string& extra = "") {
    return Exchange(port_, "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n" + extra + "\r\n");
  };
  // A page of another site reaches the server through a name of its own
  // that resolves to 127.0.0.1: refused before the login is looked at or
  // anything of the book is read.
  for (const std::string& host : std::vector<std::string>{"attacker.example", "attacker.example:" + std::to_string(port_), "127.0.0.1.evil",
                                 "localhost.", "127.0.0.1:80x", "[::1]evil", "127.0.0.2"}) {
    const std::string answer = as(host, "/sub/page.htm", Basic("ann:secret"));
    EXPECT_EQ(answer.substr(0, answer.find("\r\n")), "HTTP/1.1 403 Forbidden") << host;
    EXPECT_NE(answer.find("127.0.0.1 or localhost"), std::string::npos) << "the page says why";
    EXPECT_EQ(answer.find("sub page"), std::string::npos);
  }
  const std::string navigation = as("attacker.example", "/navigation_bar/navigate.h");
  EXPECT_EQ(navigation.substr(0, 22), "HTTP/1.1 403 Forbidden") << "generated pages list the book too";
  EXPECT_FALSE(manager_->Authorized) << "the right password through a foreign name logs nobody in";

  // This machine's own names, with or without a port; no Host at all
  // (HTTP/1.0) is served as before.
  for (const std::string& host : std::vector<std::string>{"127.0.0.1", "127.0.0.1:" + std::to_string(port_), "localhost", "LocalHost:5055",
                                 "[::1]", "[::1]:" + std::to_string(port_)}) {
    EXPECT_EQ(as(host, "/sub/page.htm", Basic("ann:secret")), kArchiveHeader + "sub page") << host;
  }
  EXPECT_EQ(Exchange(port_, "GET /sub/page.htm HTTP/1.0\r\n\r\n"), kArchiveHeader + "sub page");
}

TEST(ContentTypes, FollowTheExtensionOfTheLastSegment) {
  const struct {
    const char* Path;
    const char* Type;
  } cases[] = {
      {"/index.htm", "text/html"},          {"/a/page.HTML", "text/html"},      {"/x.xhtml", "text/html"},
      {"/_static/basic.css", "text/css"},   {"/s.JS", "text/javascript"},       {"/m.mjs", "text/javascript"},
      {"/d.json", "application/json"},      {"/logo.svg", "image/svg+xml"},     {"/p.png", "image/png"},
      {"/p.JPG", "image/jpeg"},             {"/p.jpeg", "image/jpeg"},          {"/p.gif", "image/gif"},
      {"/p.bmp", "image/bmp"},              {"/favicon.ico", "image/x-icon"},   {"/p.webp", "image/webp"},
      {"/f.woff", "font/woff"},             {"/f.woff2", "font/woff2"},         {"/f.ttf", "font/ttf"},
      {"/f.otf", "font/otf"},               {"/lib.rst.txt", "text/plain"},     {"/feed.xml", "application/xml"},
      {"/doc.pdf", "application/pdf"},      {"/a.mp3", "audio/mpeg"},           {"/a.wav", "audio/wav"},
      {"/a.ogg", "audio/ogg"},              {"/v.mp4", "video/mp4"},
      // Unknown, missing or misplaced extensions stay HTML.
      {"/page.asp", "text/html"},           {"/README", "text/html"},           {"/styles.css/page", "text/html"},
      {"/dir\\style.css", "text/css"},     {"/trailing.", "text/html"},        {"/.css", "text/css"},
      {"", "text/html"},                    {"/p.png5", "text/html"},           {"/p.pn", "text/html"},
  };
  for (const auto& c : cases) EXPECT_EQ(ContentTypeForPath(c.Path), c.Type) << c.Path;
}

TEST_F(BookServerTest, EntriesDeclareTheTypeOfTheirExtension) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[users]\nann=secret\n");
  builder.Add("book.lst", "list");
  builder.Add("_static\\Basic.CSS", "body{}");
  builder.Add("_sources\\faq.rst.txt", "line one\nline two\n");
  builder.Add("logo.svg", "<svg/>");
  builder.Add("page.xhtml", "<p>x</p>");
  builder.Add("data.unknownext", "?");
  archive_.Block = builder.Build();
  HostArchive = reinterpret_cast<const THostArchive*>(archive_.Block.data());
  manager_ = StartManager();
  ASSERT_NE(manager_, nullptr);
  port_ = manager_->Port;
  // Before the login every answer is the unchanged 401 page, whatever the path.
  EXPECT_EQ(Get(port_, "/_static/basic.css"), kUnauthorized);
  const std::string login = Basic("ann:secret");
  EXPECT_EQ(Get(port_, "/_static/basic.css", login), ArchiveHeader("text/css") + "body{}");
  EXPECT_EQ(Get(port_, "/_sources/faq.rst.txt"), ArchiveHeader("text/plain") + "line one\nline two\n");
  EXPECT_EQ(Get(port_, "/logo.svg"), ArchiveHeader("image/svg+xml") + "<svg/>");
  EXPECT_EQ(Get(port_, "/page.xhtml"), kArchiveHeader + "<p>x</p>");
  EXPECT_EQ(Get(port_, "/data.unknownext"), kArchiveHeader + "?");
  EXPECT_EQ(Exchange(port_, "HEAD /logo.svg HTTP/1.1\r\n\r\n"), ArchiveHeader("image/svg+xml"));
  // A path that names no entry gets the not-found page as HTML, whatever its extension.
  EXPECT_EQ(Get(port_, "/_static/missing.css"), kArchiveHeader + kNotFound);
  EXPECT_EQ(Get(port_, "/navigation_bar/navigate.h"), Generated(manager_->BuildNavigationPage()));
}

TEST_F(BookServerTest, LoginLineWithoutEqualsAndNulPadding) {
  Start("[users]\nwholeline\n");
  EXPECT_EQ(Get(port_, "/sub/page.htm", Basic(std::string("\0:wholeline\0", 12))), kArchiveHeader + "sub page")
      << "a line without '=' is an empty name with the whole line as password; NULs at the ends are dropped";
}

TEST_F(BookServerTest, HighlightsSearchHitsOutsideTags) {
  Start("");
  manager_->SetSearchState({true, "HELLO", false});
  EXPECT_EQ(Get(port_, "/index.htm"), kArchiveHeader + "<html><p>" + kMark + "HELLO</span> world</p><a title=\"hello\">" +
                                          kMark + "HELLO</span></a></html>");
  EXPECT_EQ(Get(port_, "/pic.GIF"), kGifHeader + "GIF hello") << ".GIF is never highlighted";
  EXPECT_EQ(Get(port_, "/PIC.gif"), kGifHeader + "GIF hello");
  EXPECT_EQ(Get(port_, "/pic.jpeg"), kJpegHeader + "JPEG " + kMark + "HELLO</span>");
  EXPECT_EQ(Get(port_, "/pic.bmp"), kBmpHeader + "BMP " + kMark + "HELLO</span>");
  manager_->SetSearchState({true, "HELLO", true});
  EXPECT_EQ(Get(port_, "/pic.bmp"), kBmpHeader + "BMP hello");
  manager_->SetSearchState({false, "hello", false});
  EXPECT_EQ(Get(port_, "/pic.bmp"), kBmpHeader + "BMP hello");
}

TEST_F(BookServerTest, ParallelRequestsWhileTheSearchChanges) {
  Start("");
  std::atomic<bool> stop{false};
  std::thread window([&] {
    for (int i = 0; !stop; ++i) manager_->SetSearchState({i % 2 == 0, i % 3 == 0 ? "hello" : "world", i % 5 == 0});
  });
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 8; ++t) {
    readers.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        const std::string answer = Get(port_, "/twice.htm");
        if (answer != kArchiveHeader + "first|second") ++bad;
        const std::string page = Get(port_, "/index.htm");
        if (page.rfind(kArchiveHeader, 0) != 0 || page.find("</html>") == std::string::npos) ++bad;
      }
    });
  }
  for (auto& r : readers) r.join();
  stop = true;
  window.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST(BookServerProbe, SecondManagerTakesTheNextPort) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[params]\ntitle=t\n");
  TTestArchive archive{builder.Build()};
  HostArchive = reinterpret_cast<const THostArchive*>(archive.Block.data());
  int first = NextTestPort();
  while (NextTestPort() != first + 1) first = NextTestPort();  // keep the next port for the second viewer
  TEbookManager one(first);
  TEbookManager two(first);
  EXPECT_EQ(one.Port, first);
  EXPECT_EQ(two.Port, first + 1);
  EXPECT_EQ(two.PortText, std::to_string(first + 1));
}

TEST(BookServerProbe, AnotherServerAnsweringAnErrorMakesStartUpFail) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "");
  TTestArchive archive{builder.Build()};
  HostArchive = reinterpret_cast<const THostArchive*>(archive.Block.data());
  TTestHTTPServer other([](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo& response) {
    response.SetStatusCode(404);
    response.BodyText = "no such page";
  });
  try {
    TEbookManager manager(other.Port);
    FAIL() << "start-up should fail";
  } catch (const EIdCouldNotBindSocket& e) {
    EXPECT_EQ(e.Message, "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_EQ(other.Calls.load(), 1) << "one probe, no further port tried";
}

TEST(BookServerProbe, APeerThatNeverAnswersCountsAsNoSuccess) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "");
  TTestArchive archive{builder.Build()};
  HostArchive = reinterpret_cast<const THostArchive*>(archive.Block.data());
  int port = 0;
  TSocket silent = ListenOnTestPort(port);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(TEbookManager manager(port), EIdCouldNotBindSocket);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "the probe has a time limit";
}

TEST(BookServerProbe, DamagedConfigEndsStartUp) {
  TArchiveBuilder builder;
  builder.AddRaw("config.ini", Bytes("not zlib"));
  TTestArchive archive{builder.Build()};
  HostArchive = reinterpret_cast<const THostArchive*>(archive.Block.data());
  try {
    TEbookManager manager(NextTestPort());
    FAIL();
  } catch (const EZCompressionError& e) {
    EXPECT_EQ(e.Message, "data error");
  }
}

}  // namespace

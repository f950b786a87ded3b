#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "server/http/id_http_parser.h"
#include "server/http_test_helpers.h"

namespace {

using namespace std::chrono_literals;

std::string Get(const std::string& target, const std::string& headers = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

// The shapes of answer the book's request handler produces, chosen by path.
void BookLikeHandler(TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
  const std::string& path = request.Path;
  if (path.empty() || path == "/") return;
  response.CacheControl = "no-cache";
  if (path == "/entry") {
    response.WriteHeader();
    response.BodyStream = std::make_unique<TMemoryStream>();
    response.BodyStream->WriteString(std::string("entry\0bytes\xff", 12));
  } else if (path == "/page") {
    response.BodyText = "<html>generated</html>";
  } else if (path == "/login") {
    response.Realm = "Protected";
    response.WriteHeader();
  } else if (path == "/fail-before") {
    throw Exception("data error");
  } else if (path == "/fail-with-length") {
    response.ContentLength = 99;
    response.Realm = "Protected";
    response.BodyStream = std::make_unique<TMemoryStream>();
    response.BodyStream->WriteString("partial");
    throw Exception("data error");
  } else if (path == "/fail-after") {
    response.WriteHeader();
    response.BodyStream = std::make_unique<TMemoryStream>();
    response.BodyStream->WriteString("partial page");
    throw Exception("data error");
  } else if (path == "/header-twice") {
    response.WriteHeader();
    response.WriteHeader();
  }
}

TEST(HTTPServer, AnswersHaveTheExactStatusLinesHeadersAndBodies) {
  const std::string ok = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\n";
  const std::string streamed = ok + "Cache-control: no-cache\r\nServer: BookServer/1.0\r\n\r\n";
  const std::string error500 =
      "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\nContent-Type: text/html\r\nContent-Length: 10\r\n"
      "Cache-control: no-cache\r\nServer: BookServer/1.0\r\n\r\ndata error";
  const struct {
    const char* path;
    std::string answer;
  } cases[] = {
      {"/entry", streamed + std::string("entry\0bytes\xff", 12)},
      {"/page", PageAnswer("<html>generated</html>", "no-cache")},
      {"/login",
       "HTTP/1.1 401 Unauthorized\r\nConnection: close\r\nContent-Type: text/html\r\nCache-control: no-cache\r\n"
       "Server: BookServer/1.0\r\nWWW-Authenticate: Basic realm=\"Protected\"\r\n\r\n"
       "<HTML><BODY><B>401 Unauthorized</B></BODY></HTML>"},
      {"/", ok + "Server: BookServer/1.0\r\n\r\n"},
      {"/fail-before", error500},
      // A failure report never takes the framing, challenge or partial
      // content the handler had prepared.
      {"/fail-with-length", error500},
      {"/fail-after", streamed + "data error"},
      {"/header-twice", streamed + "Header has already been written."},
  };
  TTestHTTPServer server(BookLikeHandler);
  for (const auto& c : cases) EXPECT_EQ(server.Exchange(Get(c.path)), c.answer) << c.path;
  EXPECT_EQ(server.Calls, 8);
}

TEST(HTTPServer, RequestTargetsArePercentDecodedAndSplitAtTheQuery) {
  const struct {
    const char* requestLine;
    const char* seen;  // method, path, "|" and query as the handler sees them
  } cases[] = {
      {"GET /a%20b HTTP/1.1", "GET /a b|"},
      {"GET /a+b HTTP/1.1", "GET /a b|"},
      {"GET /a%00b HTTP/1.1", "GET /ab|"},
      {"GET /a%zzb HTTP/1.1", "GET /ab|"},
      {"GET /a%4 HTTP/1.1", "GET /a|"},
      {"GET /%%41%4g+ HTTP/1.1", "GET /1 |"},
      {"GET /%41%2b%2B%e9 HTTP/1.1", "GET /A++\xe9|"},
      {"GET \\dir\\page.htm HTTP/1.1", "GET /dir/page.htm|"},
      {"GET http://host:1/x?q HTTP/1.1", "GET /x|q"},
      {"GET http://user:pw@host:1/x%20y HTTP/1.1", "GET /x y|"},
      {"GET http:\\\\host\\x HTTP/1.1", "GET /x|"},
      {"GET http://host HTTP/1.1", "GET |"},
      {"GET /p?a=1&b=%20?c HTTP/1.1", "GET /p|a=1&b=%20?c"},
      {"GET * HTTP/1.1", "GET *|"},
      {"get /lower HTTP/1.0", "GET /lower|"},
      {"HEAD /h HTTP/1.1", "HEAD /h|"},
  };
  TTestHTTPServer server([](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
    response.BodyText = request.Method + " " + request.Path + "|" + request.QueryText;
  });
  for (const auto& c : cases) {
    std::string expected = PageAnswer(c.seen);
    if (std::string(c.requestLine).starts_with("HEAD")) expected.resize(expected.size() - std::strlen(c.seen));
    EXPECT_EQ(server.Exchange(c.requestLine + std::string("\r\n\r\n")), expected) << c.requestLine;
  }
}

TEST(HTTPServer, BasicCredentialsAreDecoded) {
  const struct {
    const char* header;
    const char* seen;  // HasCredentials|user|password
  } cases[] = {
      {"Authorization: Basic dXNlcjpwYXNz\r\n", "1|user|pass"},
      {"Authorization: basic dXNlcg==\r\n", "1|user|"},
      {"Authorization: BASIC dTpwOnE=\r\n", "1|u|p:q"},
      {"Authorization: Basic OnNlY3JldA==\r\n", "1||secret"},
      {"authorization: Basic\r\n", "1||"},
      {"Authorization:\r\n", "0||"},
      {"", "0||"},
  };
  TTestHTTPServer server([](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
    response.BodyText =
        std::string(request.HasCredentials ? "1" : "0") + "|" + request.CredentialUser + "|" + request.CredentialPassword;
  });
  for (const auto& c : cases) EXPECT_EQ(server.Exchange(Get("/", c.header)), PageAnswer(c.seen)) << c.header;
}

TEST(HTTPServer, RequestsThatAreNotServedAreDroppedWithoutAnAnswer) {
  const std::string longTarget = "/" + std::string(kMaxLineLength, 'a');
  std::string manyHeaders;
  for (int i = 0; i <= kMaxHeaderLines; ++i) manyHeaders += "X-H" + std::to_string(i) + ": v\r\n";
  const struct {
    const char* what;
    std::string request;
  } cases[] = {
      {"other method", "OPTIONS / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"},
      {"unknown method", "BREW /pot HTTP/1.1\r\n\r\n"},
      {"other authorization scheme", Get("/page", "Authorization: Digest username=\"u\"\r\n")},
      {"request line without space", "GARBAGE\r\n\r\n"},
      {"request line too long", Get(longTarget)},
      {"header line too long", Get("/", "X-Long: " + std::string(kMaxLineLength, 'b') + "\r\n")},
      {"too many header lines", Get("/", manyHeaders)},
      {"unreadable Content-Length", "POST / HTTP/1.1\r\nContent-Length: 12x\r\n\r\n"},
      {"oversized body", "POST / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n"},
      {"body cut short", "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"},
  };
  TTestHTTPServer server(BookLikeHandler);
  for (const auto& c : cases) EXPECT_EQ(server.Exchange(c.request, true), "") << c.what;
  EXPECT_EQ(server.Calls, 0);
}

TEST(HTTPServer, LinesUpToTheLimitAreServed) {
  // Request line of exactly the limit, CR LF not counted; also without CR.
  const std::string target = "/" + std::string(kMaxLineLength - std::string("GET / HTTP/1.1").size(), 'a');
  const std::string header = "X-Long: " + std::string(kMaxLineLength - 8, 'b');
  TTestHTTPServer server([](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
    response.BodyText = std::to_string(request.Path.size()) + " " + std::to_string(request.Headers.Values("X-Long").size());
  });
  const std::string expected = PageAnswer(std::to_string(target.size()) + " " + std::to_string(header.size() - 8));
  EXPECT_EQ(server.Exchange("GET " + target + " HTTP/1.1\r\n" + header + "\r\n\r\n"), expected);
  EXPECT_EQ(server.Exchange("GET " + target + " HTTP/1.1\n" + header + "\n\n"), expected);
}

TEST(HTTPServer, RequestBodiesAndParameters) {
  TTestHTTPServer server([](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
    std::string params;
    for (const std::string& line : request.Params) params += line + ";";
    response.BodyText = request.Method + " [" + request.PostBody + "] " + params + " " + request.RemoteAddress;
  });
  EXPECT_EQ(server.Exchange("POST /f HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello"),
            PageAnswer("POST [hello]  127.0.0.1"));
  // Without a length a POST body lasts until the peer stops sending.
  EXPECT_EQ(server.Exchange("POST /f HTTP/1.1\r\n\r\nup to\r\nthe end", true),
            PageAnswer("POST [up to\r\nthe end]  127.0.0.1"));
  EXPECT_EQ(server.Exchange("GET /g HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc"), PageAnswer("GET [abc]  127.0.0.1"));
  EXPECT_EQ(server.Exchange("POST /f?a=1&b=x+y HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                            "Content-Length: 10\r\n\r\nc=%21&flag"),
            PageAnswer("POST [c=%21&flag] a=1;b=x y;c=!;flag; 127.0.0.1"));
}

TEST(HTTPServer, KeepAliveServesRequestsUntilAnAnswerWithoutLength) {
  TTestHTTPServer server(
      [](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
        if (request.Path != "/") response.BodyText = request.Path;
      },
      [](TIdHTTPServer& s) { s.KeepAlive = true; });
  auto page = [](const std::string& body) {
    return "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nServer: BookServer/1.0\r\n\r\n" + body;
  };
  EXPECT_EQ(server.Exchange(Get("/one") + Get("/two") + Get("/") + Get("/never")),
            page("/one") + page("/two") +
                "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Type: text/html\r\nServer: BookServer/1.0\r\n\r\n");
  EXPECT_EQ(server.Calls, 3);
}

// Waits until the server holds exactly count connections.
void WaitForConnections(const TIdTCPServer& server, size_t count) {
  for (int i = 0; i < kPatienceMs / 10 && server.ConnectionCount() != count; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(server.ConnectionCount(), count);
}

TEST(HTTPServer, DeactivationEndsIdleConnectionsAtOnce) {
  TTestHTTPServer server(BookLikeHandler);
  std::vector<TSocket> peers;
  for (const std::string partial : {"", "GET /page", "GET /page HTTP/1.1\r\nHost: 127.0.0.1\r\n"}) {
    peers.push_back(ConnectTo(server.Port));
    peers.back().SendAll(partial.data(), partial.size(), kPatienceMs);
  }
  WaitForConnections(server.Server, peers.size());
  // The default 30 s read limit is far beyond the 5 s wait: only closing
  // the sockets can end these reads in time.
  EXPECT_NO_THROW(server.Server.SetActive(false));
  EXPECT_FALSE(server.Server.Active());
  EXPECT_EQ(server.Server.ConnectionCount(), 0u);
  for (TSocket& peer : peers) EXPECT_EQ(ReadToClose(peer), "");
  EXPECT_THROW(ConnectTo(server.Port), ESocketError) << "nobody listens any more";
  EXPECT_EQ(server.Calls, 0);

  // And the server can be started again.
  const int port = ActivateOnTestPort(server.Server);
  EXPECT_EQ(Exchange(port, Get("/page")), PageAnswer("<html>generated</html>", "no-cache"));
}

TEST(HTTPServer, DestroyingAnActiveServerEndsItsConnections) {
  auto server = std::make_unique<TIdHTTPServer>();
  const int port = ActivateOnTestPort(*server);
  TSocket idle = ConnectTo(port);
  WaitForConnections(*server, 1);
  server.reset();
  EXPECT_EQ(ReadToClose(idle), "");
}

TEST(HTTPServer, DeactivationReportsConnectionThreadsThatDoNotEnd) {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  TTestHTTPServer server(
      [&](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo&) {
        entered.set_value();
        released.wait();
      },
      [](TIdHTTPServer& s) { s.TerminateWaitTime = 500; });
  std::string answer = "not read";
  std::thread client([&] { answer = server.Exchange(Get("/stuck")); });
  entered.get_future().wait();
  try {
    server.Server.SetActive(false);
    ADD_FAILURE() << "expected EIdTerminateThreadTimeout";
  } catch (const EIdTerminateThreadTimeout& e) {
    EXPECT_EQ(e.Message, "Terminate Thread Timeout");
  }
  EXPECT_FALSE(server.Server.Active());
  release.set_value();
  client.join();
  EXPECT_EQ(answer, "") << "the connection was closed under the stuck handler";
  // The destructor waits for the released handler's thread.
}

TEST(HTTPServer, BindFailsWhenAnotherProgramHoldsThePort) {
  int port = 0;
  TSocket holder = ListenOnTestPort(port);
  TIdHTTPServer server;
  server.DefaultPort = port;
  try {
    server.SetActive(true);
    ADD_FAILURE() << "expected EIdCouldNotBindSocket";
  } catch (const EIdCouldNotBindSocket& e) {
    EXPECT_EQ(e.Message, "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(server.Active());

  // With several bindings, one that fails leaves none of the others
  // listening.
  // A port nobody listens on just now (another test program running beside
  // this one may hold any given test port).
  int free = 0;
  ListenOnTestPort(free).Close();
  server.Bindings = {{"127.0.0.1", free}, {"127.0.0.1", port}};
  EXPECT_THROW(server.SetActive(true), EIdCouldNotBindSocket);
  EXPECT_FALSE(server.Active());
  EXPECT_THROW(ConnectTo(free), ESocketError);
}

TEST(HTTPServer, ConnectionsThatDoNotSendARequestInTimeAreClosed) {
  TTestHTTPServer server(BookLikeHandler, [](TIdHTTPServer& s) { s.ReadTimeout = 300; });
  TSocket silent = ConnectTo(server.Port);
  TSocket partial = ConnectTo(server.Port);
  const std::string start = "GET /page HTTP/1.1\r\nHost:";
  partial.SendAll(start.data(), start.size(), kPatienceMs);
  EXPECT_EQ(ReadToClose(silent), "");
  EXPECT_EQ(ReadToClose(partial), "");

  // The limit is for the whole request: trickling header lines does not
  // keep the connection.
  TSocket trickle = ConnectTo(server.Port);
  const std::string line = "GET /page HTTP/1.1\r\n";
  trickle.SendAll(line.data(), line.size(), kPatienceMs);
  try {
    for (int i = 0; i < 30; ++i) {
      std::this_thread::sleep_for(50ms);
      trickle.SendAll("X: y\r\n", 6, kPatienceMs);
    }
  } catch (const ESocketError&) {
    // The server closed the connection: sending fails.
  }
  EXPECT_EQ(ReadToClose(trickle), "");
  EXPECT_EQ(server.Calls, 0);
  EXPECT_EQ(server.Exchange(Get("/page")), PageAnswer("<html>generated</html>", "no-cache"));
}

TEST(HTTPServer, ParallelRequestsAreAllAnsweredCorrectly) {
  TTestHTTPServer server([](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
    response.BodyText = "echo " + request.Path;
  });
  constexpr int kThreads = 16;
  constexpr int kRequests = 50;
  std::atomic<int> wrong{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < kThreads; ++t) {
    clients.emplace_back([&, t] {
      for (int i = 0; i < kRequests; ++i) {
        const std::string path = "/t" + std::to_string(t) + "/" + std::to_string(i);
        try {
          if (server.Exchange(Get(path)) != PageAnswer("echo " + path)) ++wrong;
        } catch (const std::exception&) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(server.Calls, kThreads * kRequests);
}

TEST(HTTPServer, ConnectionThreadsAreReusedAndEndWhenIdle) {
  TTestHTTPServer server(BookLikeHandler);
  EXPECT_EQ(server.Server.ThreadCount(), 1u) << "one thread waits for connections";
  for (int i = 0; i < 40; ++i) ASSERT_EQ(server.Exchange(Get("/")).substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_LE(server.Server.ThreadCount(), 8u) << "connections one after the other reuse the threads there are";

  // Connections held at the same time need a thread each ...
  constexpr size_t kHeld = 12;
  std::vector<TSocket> held;
  for (size_t i = 0; i < kHeld; ++i) {
    held.push_back(ConnectTo(server.Port));
    held.back().SendAll("GET", 3, kPatienceMs);
  }
  WaitForConnections(server.Server, kHeld);
  EXPECT_GT(server.Server.ThreadCount(), kHeld) << "and one more waits for the next connection";
  // ... and those threads end once they have waited idle for a while.
  held.clear();
  for (int i = 0; i < kPatienceMs / 10 && server.Server.ThreadCount() > 1; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(server.Server.ThreadCount(), 1u);
  EXPECT_EQ(server.Server.ConnectionCount(), 0u);
  EXPECT_EQ(server.Exchange(Get("/page")), PageAnswer("<html>generated</html>", "no-cache"));
}

TEST(HTTPServer, AtTheConnectionLimitTheLongestWaitingConnectionMakesRoom) {
  TTestHTTPServer server(BookLikeHandler, [](TIdHTTPServer& s) { s.MaxConnections = 4; });
  std::vector<TSocket> idle;
  for (size_t i = 0; i < 4; ++i) {
    idle.push_back(ConnectTo(server.Port));
    const std::string partial = "GET /page HTTP/1.1\r\n";
    idle.back().SendAll(partial.data(), partial.size(), kPatienceMs);
    WaitForConnections(server.Server, i + 1);  // one by one: the first is the oldest
  }
  // The idle connections would hold their places for 30 s; the request is
  // answered now, and the oldest of them was closed to make room.
  EXPECT_EQ(server.Exchange(Get("/page")), PageAnswer("<html>generated</html>", "no-cache"));
  EXPECT_EQ(ReadToClose(idle[0]), "");
  WaitForConnections(server.Server, 3);
  // The other three still wait for the rest of their requests.
  for (size_t i = 1; i < idle.size(); ++i) {
    const std::string rest = "Host: 127.0.0.1\r\n\r\n";
    idle[i].SendAll(rest.data(), rest.size(), kPatienceMs);
    EXPECT_EQ(ReadToClose(idle[i]), PageAnswer("<html>generated</html>", "no-cache"));
  }
}

TEST(HTTPServer, AtTheConnectionLimitWithEveryConnectionAnsweringNewOnesAreClosed) {
  std::atomic<int> entered{0};
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  TTestHTTPServer server(
      [&](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
        if (request.Path == "/stuck") {
          ++entered;
          released.wait();
        }
        response.BodyText = "done";
      },
      [](TIdHTTPServer& s) { s.MaxConnections = 2; });
  std::vector<std::future<std::string>> stuck;
  for (int i = 0; i < 2; ++i) stuck.push_back(std::async(std::launch::async, [&] { return server.Exchange(Get("/stuck")); }));
  for (int i = 0; i < kPatienceMs / 10 && entered < 2; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(entered, 2);
  EXPECT_EQ(server.Exchange(Get("/page")), "") << "closed at once: no connection could make room";
  release.set_value();
  for (auto& answer : stuck) EXPECT_EQ(answer.get(), PageAnswer("done"));
  EXPECT_EQ(server.Exchange(Get("/page")), PageAnswer("done"));
  EXPECT_EQ(server.Calls, 3);
}

}  // namespace

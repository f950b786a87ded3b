#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "server/http/id_http_client.h"
#include "server/http_test_helpers.h"

namespace {

// A peer that reads one request head per connection, records it, sends a
// fixed answer and closes.
class TCannedServer {
 public:
  explicit TCannedServer(std::string answer) : answer_(std::move(answer)) {
    listener_ = ListenOnTestPort(Port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TCannedServer() {
    listener_.Shutdown();
    thread_.join();
  }

  std::string LastRequest() {
    std::lock_guard lock(mutex_);
    return lastRequest_;
  }

  int Port = 0;

 private:
  void Serve() {
    for (;;) {
      TSocket peer;
      try {
        peer = listener_.Accept();
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
          const size_t got = peer.Receive(buffer, sizeof buffer, kPatienceMs);
          if (got == 0) break;
          request.append(buffer, got);
        }
        {
          std::lock_guard lock(mutex_);
          lastRequest_ = request;
        }
        peer.SendAll(answer_.data(), answer_.size(), kPatienceMs);
        peer.FinishSending(kPatienceMs);
      } catch (const ESocketError& e) {
        if (e.Kind == TSocketErrorKind::Cancelled) return;
      }
    }
  }

  std::string answer_;
  TSocket listener_;
  std::thread thread_;
  std::mutex mutex_;
  std::string lastRequest_;
};

std::string Url(int port, const std::string& path = "/navigation_bar/navigate.h") {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

TEST(HTTPClient, SendsTheProbeRequestAndReturnsTheBody) {
  TCannedServer peer("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 4\r\n\r\nbodyIGNORED");
  TIdHTTP client;
  client.Port = peer.Port;
  EXPECT_EQ(client.Get(Url(peer.Port)), "body");
  EXPECT_EQ(client.ResponseCode(), 200);
  EXPECT_EQ(peer.LastRequest(), "GET /navigation_bar/navigate.h HTTP/1.1\r\nHost: 127.0.0.1:" +
                                    std::to_string(peer.Port) +
                                    "\r\nAccept: text/html, */*\r\n"
                                    "User-Agent: Mozilla/3.0 (compatible; BookServer Client)\r\n\r\n");
  // A URL without a port uses the client's Port; without a path, "/".
  EXPECT_EQ(client.Get("http://127.0.0.1"), "body");
  EXPECT_EQ(peer.LastRequest().substr(0, 16), "GET / HTTP/1.1\r\n");
}

TEST(HTTPClient, AnswerShapes) {
  const struct {
    const char* what;
    std::string answer;
    std::string body;  // expected body; empty with a failure
    int failureStatus;  // EIdHTTPProtocolException status, 0: other failure, -1: success
  } cases[] = {
      {"body to the close", "HTTP/1.1 200 OK\r\n\r\nall\r\nof it", "all\r\nof it", -1},
      {"folded and LF-only headers", "HTTP/1.0 200 OK\nX: a\n  b\nContent-Length: 2\n\nxyz", "xy", -1},
      {"204 without body", "HTTP/1.1 204 No Content\r\n\r\n", "", -1},
      {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nnot", "", 404},
      {"redirect is not followed", "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n\r\n", "", 302},
      {"server error", "HTTP/1.1 500 Internal Server Error\r\n\r\n", "", 500},
      {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", "", 0},
      {"closed before an answer", "", "", 0},
      {"closed inside the head", "HTTP/1.1 200 OK\r\nContent-", "", 0},
      {"body shorter than its length", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", "", 0},
      {"unreadable length", "HTTP/1.1 200 OK\r\nContent-Length: ten\r\n\r\nshort", "", 0},
  };
  for (const auto& c : cases) {
    TCannedServer peer(c.answer);
    TIdHTTP client;
    try {
      const std::string body = client.Get(Url(peer.Port));
      EXPECT_EQ(c.failureStatus, -1) << c.what << ": no failure";
      EXPECT_EQ(body, c.body) << c.what;
    } catch (const EIdHTTPProtocolException& e) {
      EXPECT_EQ(e.ErrorCode, c.failureStatus) << c.what;
      EXPECT_EQ(client.ResponseCode(), c.failureStatus) << c.what;
      EXPECT_EQ(e.Message, c.answer.substr(0, c.answer.find('\r'))) << c.what;
    } catch (const EIdException& e) {
      EXPECT_EQ(c.failureStatus, 0) << c.what << ": " << e.Message;
    }
  }
}

TEST(HTTPClient, GetsPagesFromTheServer) {
  TTestHTTPServer server([](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
    if (request.Path == "/stream") {
      response.WriteHeader();
      response.BodyStream = std::make_unique<TMemoryStream>();
      response.BodyStream->WriteString(std::string(100000, 'x'));
    } else if (request.Path == "/login") {
      response.Realm = "Protected";
    } else {
      response.BodyText = "page " + request.Path + " " + request.Headers.Values("User-Agent");
    }
  });
  TIdHTTP client;
  EXPECT_EQ(client.Get(Url(server.Port, "/a%20b")),
            "page /a b Mozilla/3.0 (compatible; BookServer Client)");
  EXPECT_EQ(client.Get(Url(server.Port, "/stream")), std::string(100000, 'x'));
  try {
    client.Get(Url(server.Port, "/login"));
    ADD_FAILURE() << "expected EIdHTTPProtocolException";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode, 401);
    EXPECT_EQ(e.Message, "HTTP/1.1 401 Unauthorized");
  }
}

TEST(HTTPClient, NoServerIsAFailure) {
  int port = 0;
  {
    TSocket probe = ListenOnTestPort(port);
  }  // closed again: nobody listens there now
  TIdHTTP client;
  EXPECT_THROW(client.Get(Url(port)), EIdSocketError);
  EXPECT_THROW(client.Get("ftp://127.0.0.1/"), EIdException);
  EXPECT_THROW(client.Get("http://127.0.0.1:99999/"), EIdException);
}

TEST(HTTPClient, ASilentPeerTimesOut) {
  // Connections complete in the listener's backlog; nobody ever answers.
  int port = 0;
  TSocket silent = ListenOnTestPort(port);
  TIdHTTP client;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(client.Get(Url(port)), EIdReadTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kPatienceMs));
}

}  // namespace

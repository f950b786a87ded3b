// Real listeners on loopback and a raw client that sends bytes and reads
// the whole answer up to the server's close.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "runtime/sockets.h"
#include "server/http/id_exception.h"
#include "server/http/id_http_server.h"

// Test ports come from 23000..23999, starting at a random place per process
// so that parallel test runs (native and Wine) rarely meet; a port that
// cannot be bound is skipped. The range lies below the ephemeral ports of
// Linux (32768 up) and Windows (49152 up): an outgoing connection never
// takes one as its local port, which made binding it fail. Ports are not reused within a run: connections
// the server closed linger in TIME_WAIT, which blocks rebinding on Windows.
inline int NextTestPort() {
  static std::atomic<int> next{static_cast<int>(std::random_device{}() % 1000)};
  return 23000 + next.fetch_add(1) % 1000;
}

// Activates server on the next free test port and returns that port.
inline int ActivateOnTestPort(TIdTCPServer& server) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    server.DefaultPort = NextTestPort();
    try {
      server.SetActive(true);
      return server.DefaultPort;
    } catch (const EIdCouldNotBindSocket&) {
    }
  }
  ADD_FAILURE() << "no free test port";
  return 0;
}

// A listening socket on the next free test port.
inline TSocket ListenOnTestPort(int& port) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    port = NextTestPort();
    try {
      return TSocket::Listen("127.0.0.1", static_cast<uint16_t>(port));
    } catch (const ESocketError&) {
    }
  }
  ADD_FAILURE() << "no free test port";
  return TSocket();
}

// Generous limit for waits that only end in time when the code under test
// works; never a measure of speed.
inline constexpr int kPatienceMs = 10000;

// Reads until the peer closes. A reset after the data counts as the end too.
inline std::string ReadToClose(TSocket& socket) {
  std::string answer;
  char buffer[4096];
  try {
    for (;;) {
      const size_t got = socket.Receive(buffer, sizeof buffer, kPatienceMs);
      if (got == 0) break;
      answer.append(buffer, got);
    }
  } catch (const ESocketError& e) {
    if (e.Kind != TSocketErrorKind::Reset) throw;
  }
  return answer;
}

inline TSocket ConnectTo(int port) { return TSocket::Connect("127.0.0.1", static_cast<uint16_t>(port), kPatienceMs); }

// Sends request and returns everything the server sends until it closes.
// closeSending: end the sending direction after the request (a POST body
// without length ends so).
inline std::string Exchange(int port, const std::string& request, bool closeSending = false) {
  TSocket socket = ConnectTo(port);
  socket.SendAll(request.data(), request.size(), kPatienceMs);
  if (closeSending) socket.ShutdownSending();
  return ReadToClose(socket);
}

// The exact answer for a body given as text by the handler.
inline std::string PageAnswer(const std::string& body, const std::string& cacheControl = "") {
  return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n" + (cacheControl.empty() ? "" : "Cache-control: " + cacheControl + "\r\n") +
         "Server: BookServer/1.0\r\n\r\n" + body;
}

// An HTTP server on a test port, with a handler that counts its calls.
class TTestHTTPServer {
 public:
  explicit TTestHTTPServer(TIdHTTPCommandEvent handler,
                           const std::function<void(TIdHTTPServer&)>& configure = nullptr) {
    Server.OnCommandGet = [this, handler = std::move(handler)](TIdContext& connection, TIdHTTPRequestInfo& request,
                                                               TIdHTTPResponseInfo& response) {
      ++Calls;
      handler(connection, request, response);
    };
    if (configure) configure(Server);
    Port = ActivateOnTestPort(Server);
  }

  std::string Exchange(const std::string& request, bool closeSending = false) const {
    return ::Exchange(Port, request, closeSending);
  }

  // Declared before Server: the server's destructor stops the handler
  // threads that count here.
  std::atomic<int> Calls{0};
  int Port = 0;
  TIdHTTPServer Server;
};

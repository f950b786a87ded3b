// The HTTP/1.1 server: one request per connection, parsed into a
// TIdHTTPRequestInfo, answered by the OnCommandGet handler through a
// TIdHTTPResponseInfo.
#pragma once

#include <functional>

#include "server/http/id_http_header_info.h"
#include "server/http/id_tcp_server.h"

using TIdHTTPCommandEvent =
    std::function<void(TIdContext& connection, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response)>;

class TIdCustomHTTPServer : public TIdTCPServer {
 public:
  TIdCustomHTTPServer();
  // Stops the server before this object's members go away: its exchange
  // runs on the connection threads.
  ~TIdCustomHTTPServer() override;

  // Settings: change them only while the server is inactive.
  // false: every answer says "close" and the connection ends after it.
  bool KeepAlive = false;
  // Query and form parameters are decoded into the request's Params.
  bool ParseParams = true;
  // Per-client sessions are not kept by this engine; the flag stays false.
  bool SessionState = false;

  // Called for GET, POST and HEAD on the connection's thread, possibly on
  // several threads at once. A failure it raises becomes the answer: status
  // 500 with the message as body, or, once the header is out, the message
  // as body.
  TIdHTTPCommandEvent OnCommandGet;

 private:
  void DoExecute(TIdContext& connection);
};

class TIdHTTPServer : public TIdCustomHTTPServer {
 public:
  TIdHTTPServer() = default;
};

#include "server/http/id_http_server.h"

#include <exception>

#include "server/http/id_http_parser.h"

TIdCustomHTTPServer::TIdCustomHTTPServer() {
  OnExecute = [this](TIdContext& connection) { DoExecute(connection); };
}

TIdCustomHTTPServer::~TIdCustomHTTPServer() { StopAndWait(); }

void TIdCustomHTTPServer::DoExecute(TIdContext& connection) {
  for (;;) {
    TIdHTTPRequestInfo request;
    request.RemoteAddress = connection.PeerAddress();
    connection.StartReadDeadline();
    // Other methods get no answer: the connection is simply closed.
    if (!ReadHTTPRequest(connection.Input(), request, ParseParams)) return;
    connection.StopReadDeadline();

    TIdHTTPResponseInfo response(connection);
    response.CloseConnection = !KeepAlive;
    response.Connection = KeepAlive ? "keep-alive" : "close";
    try {
      if (OnCommandGet) OnCommandGet(connection, request, response);
    } catch (const std::exception& e) {
      if (!response.HeaderSent()) {
        // The answer becomes the failure report; nothing the handler
        // prepared may change its status or framing, and partial content
        // must not go out.
        response.SetStatusCode(500);
        response.Realm.clear();
        response.ContentLength = -1;
      }
      response.BodyStream.reset();
      response.BodyText = e.what();
    }
    if (!response.HeaderSent()) response.WriteHeader();
    // A HEAD answer carries the header only, Content-Length included.
    if (request.Method != "HEAD" && (!response.BodyText.empty() || response.BodyStream)) response.WriteBody();
    connection.Flush();
    // Without a length the body ends with the connection, whatever was asked.
    if (response.CloseConnection || response.ContentLength < 0) {
      // The request was read whole; with nothing after it the connection
      // can close without waiting for the peer.
      if (!connection.Input().HasBuffered()) connection.ExpectNoMoreInput();
      return;
    }
  }
}

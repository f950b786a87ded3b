#include "server/http/id_http_header_info.h"

#include "server/http/id_exception.h"
#include "server/http/id_http_parser.h"
#include "server/http/id_tcp_server.h"

void TIdEntityHeaderInfo::ProcessHeaders() {
  Connection = Headers.Values("Connection");
  ContentType = Headers.Values("Content-Type");
  CacheControl = Headers.Values("Cache-control");
  const std::string length = Headers.Values("Content-Length");
  int64_t value = -1;
  ContentLength = !length.empty() && ParseContentLength(length, value) ? value : -1;
}

std::string HTTPStatusText(int code) {
  switch (code) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

TIdHTTPResponseInfo::TIdHTTPResponseInfo(TIdContext& connection) : connection_(&connection) {
  Connection = "close";
  ContentType = "text/html";
}

void TIdHTTPResponseInfo::SetStatusCode(int code) {
  statusCode_ = code;
  StatusText = HTTPStatusText(code);
}

void TIdHTTPResponseInfo::WriteHeader() {
  if (headerSent_) throw EIdHTTPHeaderAlreadyWritten();
  headerSent_ = true;
  if (ContentLength == -1) {
    if (!BodyText.empty()) {
      ContentLength = static_cast<int64_t>(BodyText.size());
    } else if (BodyStream) {
      ContentLength = BodyStream->Size();
    }
  }
  Headers.Clear();
  Headers.SetValues("Connection", Connection);
  Headers.SetValues("Content-Type", ContentType);
  if (ContentLength >= 0) Headers.SetValues("Content-Length", std::to_string(ContentLength));
  Headers.SetValues("Cache-control", CacheControl);
  Headers.SetValues("Server", ServerName);
  // After the length was taken: the challenge page goes out without one and
  // ends with the connection.
  if (!Realm.empty()) {
    SetStatusCode(401);
    Headers.SetValues("WWW-Authenticate", "Basic realm=\"" + Realm + "\"");
    BodyText = "<HTML><BODY><B>" + std::to_string(statusCode_) + " " + StatusText + "</B></BODY></HTML>";
  }
  // Held until the body follows (or the exchange ends), so that a header and
  // a page leave in one send; the bytes on the wire are the same.
  connection_->WriteLater("HTTP/1.1 " + std::to_string(statusCode_) + " " + StatusText + "\r\n" + Headers.Text() +
                          "\r\n");
}

void TIdHTTPResponseInfo::WriteBody() {
  if (!headerSent_) WriteHeader();
  if (!BodyText.empty()) {
    connection_->Write(BodyText);
  } else if (BodyStream) {
    const auto bytes = BodyStream->Bytes();
    connection_->Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  BodyText.clear();
  BodyStream.reset();
}

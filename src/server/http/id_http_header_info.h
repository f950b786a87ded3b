// The request and response records of one HTTP exchange.
//
//   TIdEntityHeaderInfo      fields common to requests and responses
//   ├ TIdRequestHeaderInfo   + credentials from the Authorization header
//   │ └ TIdHTTPRequestInfo   + request line, body, peer
//   └ TIdResponseHeaderInfo  + Server header
//     └ TIdHTTPResponseInfo  + status, body, WriteHeader / WriteBody
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/streams.h"
#include "runtime/string_list.h"
#include "server/http/id_header_list.h"

class TIdContext;

class TIdEntityHeaderInfo {
 public:
  virtual ~TIdEntityHeaderInfo() = default;

  std::string Connection;
  std::string ContentType;
  int64_t ContentLength = -1;  // -1: no length known
  std::string CacheControl;
  TIdHeaderList Headers;

  // Fills the fields above from received Headers.
  void ProcessHeaders();
};

class TIdRequestHeaderInfo : public TIdEntityHeaderInfo {
 public:
  bool HasCredentials = false;  // an Authorization header with a value
  std::string CredentialUser;
  std::string CredentialPassword;
};

class TIdHTTPRequestInfo : public TIdRequestHeaderInfo {
 public:
  std::string Method;      // upper-cased: "GET", "POST", "HEAD"
  std::string Path;        // decoded, without the query
  std::string QueryText;   // after the first "?", not decoded
  std::string Version;     // "HTTP/1.1"
  std::string RemoteAddress;
  std::string PostBody;
  TStringList Params;      // "name=value" from the query and a form body, decoded
};

class TIdResponseHeaderInfo : public TIdEntityHeaderInfo {
 public:
  std::string ServerName = "BookServer/1.0";
};

class TIdHTTPResponseInfo : public TIdResponseHeaderInfo {
 public:
  // The answer goes to connection, which outlives the response.
  explicit TIdHTTPResponseInfo(TIdContext& connection);

  int StatusCode() const { return statusCode_; }
  // Sets the status with its standard reason phrase in StatusText.
  void SetStatusCode(int code);
  std::string StatusText = "OK";

  // When not empty, WriteHeader turns the answer into a Basic challenge for
  // this realm (status 401 with the engine's 401 page).
  std::string Realm;
  // The body as text; takes precedence over BodyStream.
  std::string BodyText;
  // The body as bytes, owned by the response and freed once sent.
  std::unique_ptr<TMemoryStream> BodyStream;
  bool CloseConnection = true;

  bool HeaderSent() const { return headerSent_; }

  // Sends the status line and the headers now. Fails with "Header has
  // already been written." the second time.
  void WriteHeader();
  // Sends the body (BodyText, else BodyStream from its start), writing the
  // header first if needed, then drops it.
  void WriteBody();

 private:
  TIdContext* connection_;
  int statusCode_ = 200;
  bool headerSent_ = false;
};

// The reason phrase of an HTTP status code ("OK" for 200).
std::string HTTPStatusText(int code);

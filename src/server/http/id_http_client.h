// A minimal HTTP/1.1 client: one GET per connection, used to find out
// whether an HTTP server already answers on a port.
#pragma once

#include <string>

class TIdHTTP {
 public:
  // Port used when the URL names none.
  int Port = 80;
  // Milliseconds allowed for connecting, and for the whole answer to arrive
  // (a peer trickling bytes must not hold the caller either).
  int ConnectTimeout = 2000;
  int ReadTimeout = 2000;

  // GETs "http://host[:port][/path]" and returns the body of a 2xx answer.
  // Fails with EIdHTTPProtocolException (carrying the status) for any other
  // status, and with EIdSocketError, EIdConnectTimeout, EIdReadTimeout,
  // EIdConnClosedGracefully or EIdHTTPInvalidResponse when no valid answer
  // arrives. Redirects are not followed.
  std::string Get(const std::string& url);

  // Status of the last answer; -1 before any.
  int ResponseCode() const { return responseCode_; }

 private:
  int responseCode_ = -1;
};

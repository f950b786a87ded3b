// Parsing of what an HTTP peer sends: the request line, the header lines,
// the body framing, the request path and Basic credentials. Pure functions
// over bytes, so that they can be tested and fuzzed without sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/http/id_http_header_info.h"
#include "server/http/id_read_buffer.h"

// Longest request line or header line, CR LF not counted.
inline constexpr size_t kMaxLineLength = 16384;
// Most header lines one request may carry; a peer could otherwise make the
// server hold an endless header in memory.
inline constexpr int kMaxHeaderLines = 256;
// Largest request body the server accepts; the book server does not use
// bodies at all.
inline constexpr size_t kMaxRequestBody = 16 * 1024 * 1024;

struct TIdRequestLine {
  std::string Method;   // upper-cased in ASCII
  std::string Target;   // between the first and the last space
  std::string Version;  // after the last space
};

// Fails with EIdHTTPErrorParsingCommand when the line holds no space.
TIdRequestLine ParseRequestLine(std::string_view line);

// The target before its first "?" and the text after it.
void SplitRequestTarget(std::string_view target, std::string& path, std::string& query);

// "+" becomes a space and "%" with two hexadecimal digits the byte they
// give; "%00", a "%" with two characters that are not hexadecimal, and a
// "%" with fewer than two characters left are removed (an escape never
// yields a NUL byte).
std::string PercentDecode(std::string_view text);

// The request path from the target's part before "?": "\" becomes "/", an
// absolute form "scheme://user@host:port/path" loses everything before the
// path, then PercentDecode.
std::string DecodeRequestPath(std::string_view targetPath);

// Base64 with the RFC 2045 alphabet: characters outside it are skipped, "="
// ends the data, and incomplete trailing bits are dropped.
std::string DecodeBase64(std::string_view text);

// Fills the credential fields from an Authorization header value: scheme
// "Basic" (letter case ignored) followed by Base64 of "user:password".
// Fails with EIdHTTPUnsupportedAuthorisationScheme for any other scheme.
void DecodeCredentials(std::string_view authorization, TIdRequestHeaderInfo& request);

// Whether a Host header value names this machine's loopback interface the
// way the viewer and a browser on this machine write it: "127.0.0.1",
// "localhost" (letter case ignored) or "[::1]", each with or without ":"
// and a port number. Blanks around the value are allowed.
bool IsLoopbackHost(std::string_view host);

// A decimal Content-Length, optionally signed, blanks around it allowed.
bool ParseContentLength(std::string_view text, int64_t& value);

// Splits "a=1&b=2" into decoded "name=value" lines appended to params.
void DecodeParams(std::string_view text, TStringList& params);

// Reads one request from input into request (RemoteAddress is the
// caller's). Returns false for a method other than GET, POST and HEAD,
// which gets no answer; then nothing after the request line was read.
// Fails with the engine's failures for a malformed or oversized request.
bool ReadHTTPRequest(TIdReadBuffer& input, TIdHTTPRequestInfo& request, bool parseParams);

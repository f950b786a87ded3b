// A request head (and body) as any local program might send it to the book
// server, fed in chunks whose size the input chooses, plus the credential and
// path decoders on their own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/http/id_exception.h"
#include "server/http/id_http_parser.h"
#include "server/http/id_read_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t chunk = 1 + data[0] % 64;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  size_t at = 0;
  TIdReadBuffer input([&](char* out, size_t room) {
    const size_t n = std::min({room, chunk, text.size() - at});
    std::copy_n(text.data() + at, n, out);
    at += n;
    return n;
  });
  TIdHTTPRequestInfo request;
  try {
    if (ReadHTTPRequest(input, request, true) && request.PostBody.size() > kMaxRequestBody) __builtin_trap();
  } catch (const EIdException&) {
    // Malformed or oversized requests are refused; anything else escaping
    // would be a fault.
  }

  // Decoding never grows the text, and "%00" never turns into a NUL byte.
  const std::string path = DecodeRequestPath(text);
  if (path.size() > text.size() || std::count(path.begin(), path.end(), '\0') > std::count(text.begin(), text.end(), '\0')) {
    __builtin_trap();
  }
  const std::string bytes = DecodeBase64(text);
  if (bytes.size() > text.size() * 3 / 4) __builtin_trap();
  TIdRequestHeaderInfo credentials;
  try {
    DecodeCredentials(text, credentials);
    if (credentials.HasCredentials == text.empty()) __builtin_trap();
  } catch (const EIdHTTPUnsupportedAuthorisationScheme&) {
  }
  return 0;
}

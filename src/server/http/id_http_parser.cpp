#include "server/http/id_http_parser.h"

#include <limits>

#include "runtime/ansi.h"
#include "server/http/id_exception.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool SameTextAscii(std::string_view a, std::string_view b) { return AsciiUpperCase(a) == AsciiUpperCase(b); }

// Without spaces and tabs at either end.
std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

TIdRequestLine ParseRequestLine(std::string_view line) {
  const size_t first = line.find(' ');
  if (first == std::string_view::npos) throw EIdHTTPErrorParsingCommand();
  const size_t last = line.rfind(' ');
  TIdRequestLine result;
  result.Method = AsciiUpperCase(line.substr(0, first));
  result.Version = std::string(line.substr(last + 1));
  if (last > first) result.Target = std::string(line.substr(first + 1, last - first - 1));
  return result;
}

void SplitRequestTarget(std::string_view target, std::string& path, std::string& query) {
  const size_t question = target.find('?');
  path = std::string(target.substr(0, question));
  query = question == std::string_view::npos ? std::string() : std::string(target.substr(question + 1));
}

std::string PercentDecode(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      result += ' ';
    } else if (c != '%') {
      result += c;
    } else {
      if (text.size() - i < 3) break;  // truncated escape at the end: removed
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0 && (high | low) != 0) result += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return result;
}

std::string DecodeRequestPath(std::string_view targetPath) {
  std::string path(targetPath);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  const size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    const size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? std::string() : path.substr(slash);
  }
  return PercentDecode(path);
}

std::string DecodeBase64(std::string_view text) {
  std::string result;
  uint32_t bits = 0;
  int count = 0;  // bits held in the low part of bits
  for (const char c : text) {
    if (c == '=') break;
    const int value = Base64Value(c);
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      result += static_cast<char>((bits >> count) & 0xFF);
      bits &= (1u << count) - 1;
    }
  }
  return result;
}

void DecodeCredentials(std::string_view authorization, TIdRequestHeaderInfo& request) {
  request.HasCredentials = !authorization.empty();
  request.CredentialUser.clear();
  request.CredentialPassword.clear();
  if (authorization.empty()) return;
  const size_t space = authorization.find(' ');
  if (!SameTextAscii(authorization.substr(0, space), "Basic")) throw EIdHTTPUnsupportedAuthorisationScheme();
  const std::string decoded =
      DecodeBase64(space == std::string_view::npos ? std::string_view() : authorization.substr(space + 1));
  const size_t colon = decoded.find(':');
  request.CredentialUser = decoded.substr(0, colon);
  if (colon != std::string::npos) request.CredentialPassword = decoded.substr(colon + 1);
}

bool IsLoopbackHost(std::string_view host) {
  host = TrimBlanks(host);
  // "[::1]:5055" has its port after the bracket, "localhost:5055" after the
  // only colon.
  const size_t nameEnd = !host.empty() && host.front() == '[' ? host.find(']') : host.find(':');
  std::string_view name = host;
  std::string_view port;
  if (nameEnd != std::string_view::npos) {
    const size_t portStart = host.front() == '[' ? nameEnd + 1 : nameEnd;
    name = host.substr(0, portStart);
    port = host.substr(portStart);
    if (!port.empty()) {
      if (port.front() != ':' || port.size() > 6) return false;
      for (const char c : port.substr(1)) {
        if (c < '0' || c > '9') return false;
      }
    }
  }
  return name == "127.0.0.1" || name == "[::1]" || SameTextAscii(name, "localhost");
}

bool ParseContentLength(std::string_view text, int64_t& value) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  int64_t result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    if (result > (std::numeric_limits<int64_t>::max() - (c - '0')) / 10) return false;
    result = result * 10 + (c - '0');
  }
  value = negative ? -result : result;
  return true;
}

void DecodeParams(std::string_view text, TStringList& params) {
  while (!text.empty()) {
    const size_t amp = text.find('&');
    const std::string_view part = text.substr(0, amp);
    if (!part.empty()) {
      const size_t equals = part.find('=');
      std::string line = PercentDecode(part.substr(0, equals));
      if (equals != std::string_view::npos) line += "=" + PercentDecode(part.substr(equals + 1));
      params.Add(std::move(line));
    }
    if (amp == std::string_view::npos) break;
    text.remove_prefix(amp + 1);
  }
}

bool ReadHTTPRequest(TIdReadBuffer& input, TIdHTTPRequestInfo& request, bool parseParams) {
  TIdRequestLine line = ParseRequestLine(input.ReadLn(kMaxLineLength));
  if (line.Method != "GET" && line.Method != "POST" && line.Method != "HEAD") return false;
  request.Method = std::move(line.Method);
  request.Version = std::move(line.Version);

  for (int count = 0;; ++count) {
    std::string header = input.ReadLn(kMaxLineLength);
    if (header.empty()) break;
    if (count == kMaxHeaderLines) throw EIdHTTPBadRequest("Too many header lines.");
    request.Headers.Add(std::move(header));
  }
  request.ProcessHeaders();

  const std::string lengthText = request.Headers.Values("Content-Length");
  int64_t length = -1;
  if (!lengthText.empty() && !ParseContentLength(lengthText, length)) {
    throw EIdHTTPBadRequest("Invalid Content-Length.");
  }
  if (length > static_cast<int64_t>(kMaxRequestBody)) throw EIdHTTPBadRequest("Request body too large.");
  if (length > 0) {
    request.PostBody = input.ReadBytes(static_cast<size_t>(length));
  } else if (lengthText.empty() && request.Method == "POST") {
    // Without a length, a POST body ends with the peer's sending direction.
    if (!input.ReadToEnd(kMaxRequestBody, request.PostBody)) throw EIdHTTPBadRequest("Request body too large.");
  }

  std::string targetPath;
  SplitRequestTarget(line.Target, targetPath, request.QueryText);
  request.Path = DecodeRequestPath(targetPath);

  DecodeCredentials(request.Headers.Values("Authorization"), request);

  if (parseParams) {
    DecodeParams(request.QueryText, request.Params);
    if (request.Method == "POST" && SameTextAscii(request.ContentType.substr(0, 33), "application/x-www-form-urlencoded")) {
      DecodeParams(request.PostBody, request.Params);
    }
  }
  return true;
}

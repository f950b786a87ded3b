#include "server/http/id_http_client.h"

#include <chrono>

#include "runtime/ansi.h"
#include "runtime/sockets.h"
#include "server/http/id_exception.h"
#include "server/http/id_header_list.h"
#include "server/http/id_http_parser.h"
#include "server/http/id_read_buffer.h"

namespace {

// Largest answer body the client accepts.
constexpr size_t kMaxResponseBody = 16 * 1024 * 1024;

struct TUrl {
  std::string Host;
  int Port = 0;
  std::string Path;
};

TUrl ParseUrl(const std::string& url, int defaultPort) {
  constexpr std::string_view kScheme = "HTTP://";
  if (url.size() < kScheme.size() || AsciiUpperCase(url.substr(0, kScheme.size())) != kScheme) {
    throw EIdException("Unsupported URL \"" + url + "\"");
  }
  std::string rest = url.substr(kScheme.size());
  const size_t fragment = rest.find('#');
  if (fragment != std::string::npos) rest.erase(fragment);
  const size_t slash = rest.find_first_of("/?");
  TUrl result;
  std::string authority = rest.substr(0, slash);
  result.Path = slash == std::string::npos ? "/" : rest.substr(slash);
  if (result.Path.front() == '?') result.Path.insert(0, "/");
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  const size_t colon = authority.rfind(':');
  result.Host = authority.substr(0, colon);
  result.Port = defaultPort;
  if (colon != std::string::npos) {
    const std::string portText = authority.substr(colon + 1);
    int port = 0;
    bool valid = !portText.empty() && portText.size() <= 5;
    for (const char c : portText) {
      if (c < '0' || c > '9') valid = false;
    }
    if (valid) port = std::stoi(portText);
    if (!valid || port < 1 || port > 65535) throw EIdException("Invalid port in URL \"" + url + "\"");
    result.Port = port;
  }
  if (result.Host.empty()) throw EIdException("No host in URL \"" + url + "\"");
  return result;
}

// "HTTP/1.1 200 OK" -> 200; -1 when the line is no status line.
int ParseStatusLine(const std::string& line) {
  if (line.compare(0, 5, "HTTP/") != 0) return -1;
  const size_t space = line.find(' ');
  if (space == std::string::npos || line.size() < space + 4) return -1;
  int code = 0;
  for (size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return -1;
    code = code * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') return -1;
  return code;
}

}  // namespace

std::string TIdHTTP::Get(const std::string& url) {
  responseCode_ = -1;
  const TUrl target = ParseUrl(url, Port);

  TSocket socket;
  try {
    socket = TSocket::Connect(target.Host, static_cast<uint16_t>(target.Port),
                              ConnectTimeout > 0 ? ConnectTimeout : kWaitForever);
  } catch (const ESocketError& e) {
    RaiseIdSocketError(e, true);
  }

  using TClock = std::chrono::steady_clock;
  const bool limited = ReadTimeout > 0;
  const auto deadline = TClock::now() + std::chrono::milliseconds(limited ? ReadTimeout : 0);
  auto remaining = [&]() -> int {
    if (!limited) return kWaitForever;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    if (left <= 0) throw EIdReadTimeout();
    return static_cast<int>(left);
  };

  const std::string request = "GET " + target.Path + " HTTP/1.1\r\n" + "Host: " + target.Host + ":" +
                              std::to_string(target.Port) + "\r\n" + "Accept: text/html, */*\r\n" +
                              "User-Agent: Mozilla/3.0 (compatible; BookServer Client)\r\n" + "\r\n";
  try {
    socket.SendAll(request.data(), request.size(), remaining());
  } catch (const ESocketError& e) {
    RaiseIdSocketError(e);
  }

  TIdReadBuffer input([&](char* buffer, size_t size) -> size_t {
    try {
      return socket.Receive(buffer, size, remaining());
    } catch (const ESocketError& e) {
      RaiseIdSocketError(e);
    }
  });

  const std::string statusLine = input.ReadLn(kMaxLineLength);
  const int code = ParseStatusLine(statusLine);
  if (code < 0) throw EIdHTTPInvalidResponse("Invalid HTTP response: \"" + statusLine.substr(0, 80) + "\"");
  responseCode_ = code;

  TIdHeaderList headers;
  for (int count = 0;; ++count) {
    std::string line = input.ReadLn(kMaxLineLength);
    if (line.empty()) break;
    if (count == kMaxHeaderLines) throw EIdHTTPInvalidResponse("Too many header lines in the HTTP response.");
    headers.Add(std::move(line));
  }
  if (code < 200 || code > 299) throw EIdHTTPProtocolException(code, statusLine);

  const std::string lengthText = headers.Values("Content-Length");
  if (!lengthText.empty()) {
    int64_t length = 0;
    if (!ParseContentLength(lengthText, length) || length < 0) {
      throw EIdHTTPInvalidResponse("Invalid Content-Length in the HTTP response.");
    }
    if (length > static_cast<int64_t>(kMaxResponseBody)) throw EIdHTTPInvalidResponse("HTTP response too large.");
    return input.ReadBytes(static_cast<size_t>(length));
  }
  std::string body;
  if (!input.ReadToEnd(kMaxResponseBody, body)) throw EIdHTTPInvalidResponse("HTTP response too large.");
  return body;
}

// The plain browser's addresses and HTTP answers: resolving a link against
// its page, splitting an address for a request, splitting an answer into
// status, type and body, and the one script address it understands. No
// platform calls: everything here is text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Resolves href against the address of the page it is on.
std::wstring ResolveUrl(std::wstring_view base, std::wstring_view href);

struct THttpUrl {
  std::string Host;
  uint16_t Port = 80;
  std::string Path;  // with the query, percent-encoded, never empty
};
// Splits an "http://" address; false for any other. utf8: characters
// outside ASCII are sent as UTF-8 bytes, else in the ANSI code page.
bool ParseHttpUrl(std::wstring_view url, bool utf8, THttpUrl& result);

struct THttpAnswer {
  int StatusCode = 0;
  std::string ContentType;
  std::string Location;
  std::string Body;
};
// Splits a whole HTTP answer (read to the server's close); false when it
// has no status line.
bool ParseHttpAnswer(std::string_view bytes, THttpAnswer& answer);

// True when the address is the page's request to close its window.
bool IsWindowCloseScript(std::wstring_view url);

// The plain browser's reading of pages: a small HTML reader that keeps what
// the simple rendering shows, address resolution, and the HTTP answer split
// into status, type and body. No platform calls: everything here is text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct THtmlItem {
  enum TKind { kText, kLineBreak, kParagraph };
  TKind Kind = kText;
  std::wstring Text;   // whitespace already collapsed
  bool Bold = false;
  int Heading = 0;     // 1..6 inside a heading
  int Link = -1;       // index into THtmlPage::Links
  bool Highlight = false;
};

struct THtmlLink {
  std::wstring Href;    // as written in the page
  std::wstring Target;  // the target window, empty for none
};

struct THtmlPage {
  std::wstring Title;
  std::vector<THtmlItem> Items;
  std::vector<THtmlLink> Links;
};

// Reads an HTML page: text, headings, paragraphs and breaks, bold, links,
// highlighted spans (a span with a background in its style), images as their
// alternative text; scripts, styles and comments are left out.
THtmlPage ParseHtml(std::wstring_view html);
// A text page: every line break kept.
THtmlPage PlainTextPage(std::wstring_view text);

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

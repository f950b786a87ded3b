// What the plain browser reads from outside: an HTTP answer from whatever
// server a page sends it to, the page in it (HTML or text, UTF-8 or the ANSI
// code page), the addresses its links name; and the same bytes as a page and
// as an address on their own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "browser/plain_fetch.h"
#include "browser/plain_html.h"
#include "runtime/ansi.h"

namespace {

const std::wstring kPageUrl = L"http://127.0.0.1:5055/book/part/page.htm";

// Every item's link names one of the page's links; headings are h1..h6.
void CheckPage(const THtmlPage& page) {
  for (const THtmlItem& item : page.Items) {
    if (item.Link < -1 || item.Link >= static_cast<int>(page.Links.size())) __builtin_trap();
    if (item.Heading < 0 || item.Heading > 6) __builtin_trap();
  }
}

// An address the browser would fetch splits into a non-empty path.
void CheckAddress(const std::wstring& address, bool utf8) {
  THttpUrl url;
  if (ParseHttpUrl(address, utf8, url) && (url.Path.empty() || url.Host.empty())) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  TPlainFetch fetch;
  fetch.Url = kPageUrl;
  if (ParseHttpAnswer(bytes, fetch.Answer)) {
    const TPlainOutcome outcome = PlainFetchOutcome(fetch, 5);
    if (outcome.Redirect) CheckAddress(outcome.RedirectTo, true);
    CheckPage(outcome.Page);
    for (const THtmlLink& link : outcome.Page.Links) {
      const std::wstring address = ResolveUrl(fetch.Url, link.Href);
      IsWindowCloseScript(address);
      CheckAddress(address, true);
    }
  }

  const std::wstring wide = AnsiToWide(bytes);
  CheckPage(ParseHtml(wide));
  CheckPage(ParseHtml(Utf8ToWide(bytes)));
  CheckPage(PlainTextPage(wide));
  CheckAddress(wide, (size & 1) != 0);
  CheckAddress(ResolveUrl(kPageUrl, wide), false);
  CheckAddress(ResolveUrl(wide, L"../x.htm?q=1#f"), true);
  IsWindowCloseScript(wide);
  return 0;
}

// What the plain browser reads from outside: an HTTP answer from whatever
// server a page sends it to, the page in it read through every stage
// (encoding, elements, style sheets, boxes, layout at two widths, with its
// pictures arriving or failing), the same bytes as the page's style sheet,
// the addresses its links name; and the bytes as a page, an address and a
// label on their own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "browser/plain_decode.h"
#include "browser/plain_fetch.h"
#include "browser/plain_page.h"
#include "runtime/ansi.h"

namespace {

const std::wstring kPageUrl = L"http://127.0.0.1:5055/book/part/page.htm";

// An address the browser would fetch splits into a non-empty path.
void CheckAddress(const std::wstring& address, bool utf8) {
  THttpUrl url;
  if (ParseHttpUrl(address, utf8, url) && (url.Path.empty() || url.Host.empty())) __builtin_trap();
}

// Laid-out items have sizes, stand on the page and name what exists.
void CheckLayout(const TPlainPage& page) {
  const TPageLayout& layout = page.Layout();
  for (const TLayoutItem& item : layout.Items) {
    if (item.Width < 0 || item.Height < 0 || item.Y < 0 || item.Y + item.Height > layout.Height) __builtin_trap();
    if (item.Style.Link < -1 || item.Style.Link >= page.LinkCount()) __builtin_trap();
    if (item.Kind == TLayoutItem::kPicture && page.PictureUrlIndex(item.Picture) < 0) __builtin_trap();
  }
  const auto [first, last] = layout.ItemsBetween(0, layout.Height);
  if (first != 0 || last != layout.Items.size()) __builtin_trap();
  layout.Text();
  if (!layout.Items.empty()) {
    const TLayoutItem& item = layout.Items[layout.Items.size() / 2];
    const int link = layout.LinkAt(item.X, item.Y);
    if (link < -1 || link >= page.LinkCount()) __builtin_trap();
  }
}

void ReadThrough(TPlainPage& page, std::string_view bytes) {
  TFixedMeasurer measurer;
  // Every sheet it names gets these bytes (imports included, as far as they go).
  const THttpAnswer sheet{200, "text/css", "", std::string(bytes)};
  for (int round = 0; round < 3; ++round) {
    for (const std::wstring& url : page.StyleSheetsToFetch()) page.DeliverStyleSheet(url, round == 1 ? nullptr : &sheet);
  }
  page.LayOut(800, measurer);
  CheckLayout(page);
  for (size_t i = 0; i < page.PictureUrls().size(); ++i) {
    TPictureState state;
    state.Kind = i % 3 == 0 ? TPictureState::kFailed : TPictureState::kReady;
    state.Width = static_cast<int>(1 + (i * 977) % 3000);
    state.Height = static_cast<int>(1 + (i * 131) % 2000);
    page.SetPictureState(i, state);
  }
  page.LayOut(120, measurer);
  CheckLayout(page);
  for (int link = 0; link < page.LinkCount(); ++link) {
    const std::wstring address = page.LinkUrl(link);
    IsWindowCloseScript(address);
    CheckAddress(address, true);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  TPlainFetch fetch;
  fetch.Url = kPageUrl;
  if (ParseHttpAnswer(bytes, fetch.Answer)) {
    TPlainOutcome outcome = PlainFetchOutcome(fetch, 5, 1252);
    if (outcome.Redirect) CheckAddress(outcome.RedirectTo, true);
    if (outcome.Page) ReadThrough(*outcome.Page, fetch.Answer.Body);
  }

  // The bytes as a page in whatever encoding they declare.
  const auto page = TPlainPage::FromAnswer(kPageUrl, THttpAnswer{200, "text/html", "", std::string(bytes)}, 1252);
  ReadThrough(*page, bytes);
  DecodeAnswerText(bytes, "text/html; charset=shift_jis", true, 1252);
  DecodeAnswerText(bytes, "text/plain; charset=utf-16be", false, 1252);
  CodePageForLabel(bytes);

  const std::wstring wide = AnsiToWide(bytes);
  CheckAddress(wide, (size & 1) != 0);
  CheckAddress(ResolveUrl(kPageUrl, wide), false);
  CheckAddress(ResolveUrl(wide, L"../x.htm?q=1#f"), true);
  IsWindowCloseScript(wide);
  return 0;
}

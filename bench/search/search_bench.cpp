// Throughput of FindInPage over 50 MB of HTML, case-sensitive and not,
// against a counter built on memchr/memmem that follows the same rule (text
// outside tags, occurrences left to right without overlap), in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_helpers.h"
#include "bench_util.h"
#include "archive/page_matching.h"
#include "runtime/ansi.h"

namespace {

// Counts text outside tags with memchr for the tag marks and memmem inside
// the stretches between them. An occurrence may run into a tag (the rule
// only looks at where it starts), so each search reaches text.size() - 1
// bytes past the next "<".
int MemmemCount(const std::string& page, const std::string& text) {
  int count = 0;
  const char* p = page.data();
  const char* end = page.data() + page.size();
  while (p < end) {
    const char* tag = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
    const char* stop = tag ? tag : end;
    while (p < stop) {
      const char* reach = std::min(end, stop + text.size() - 1);
      const char* hit = static_cast<const char*>(memmem(p, static_cast<size_t>(reach - p), text.data(), text.size()));
      if (hit == nullptr || hit >= stop) {
        p = stop;
        break;
      }
      ++count;
      p = hit + text.size();
    }
    if (p >= end) break;
    if (p == stop && tag) {
      const char* close = static_cast<const char*>(std::memchr(tag, '>', static_cast<size_t>(end - tag)));
      p = close ? close : end;
    }
  }
  return count;
}

}  // namespace

int main() {
  // Pages of ordinary markup with the search word in text, in attributes and
  // in other letter case.
  std::string html;
  const std::string chunk =
      "<p class=\"lens\">The keeper polished the Lens every morning; <b>salt</b> dims a lens.</p>\r\n"
      "<a href=\"lens.htm\" title=\"LENS\">LENS and lenses</a><br>\r\n";
  while (html.size() < 50u * 1000 * 1000) {
    html += PageLikeBytes(4096, static_cast<unsigned>(html.size()));
    html += chunk;
  }
  const std::vector<uint8_t> page(html.begin(), html.end());
  const std::string upperHtml = AnsiUpperCase(html);
  const double mb = static_cast<double>(page.size()) / 1e6;

  const std::string text = "lens";
  int found = 0, expected = 0;
  const double caseSensitive = BestSeconds(5, [&] { found = FindInPage(page, text, true); });
  const double memmemSensitive = BestSeconds(5, [&] { expected = MemmemCount(html, text); });
  std::printf("search: %.1f MB of HTML, text \"%s\"\n", mb, text.c_str());
  std::printf("  case-sensitive    FindInPage %7.1f MB/s, memmem %7.1f MB/s, FindInPage/memmem %.2f, hits %d/%d%s\n",
              mb / caseSensitive, mb / memmemSensitive, memmemSensitive / caseSensitive, found, expected,
              found == expected ? "" : "  MISMATCH");
  int foundCi = 0, expectedCi = 0;
  const double caseInsensitive = BestSeconds(5, [&] { foundCi = FindInPage(page, text, false); });
  // The peer gets the page already upper-cased: only its search is timed.
  const double memmemInsensitive = BestSeconds(5, [&] { expectedCi = MemmemCount(upperHtml, AnsiUpperCase(text)); });
  std::printf("  case-insensitive  FindInPage %7.1f MB/s, memmem %7.1f MB/s, FindInPage/memmem %.2f, hits %d/%d%s\n",
              mb / caseInsensitive, mb / memmemInsensitive, memmemInsensitive / caseInsensitive, foundCi, expectedCi,
              foundCi == expectedCi ? "" : "  MISMATCH");
  std::printf("  goal: case-insensitive >= 300 MB/s\n");
  return found == expected && foundCi == expectedCi ? 0 : 1;
}

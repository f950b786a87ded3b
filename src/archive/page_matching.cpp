#include "archive/page_matching.h"

#include "runtime/ansi.h"
#include "runtime/streams.h"

namespace {

// Walks the page once and calls onMatch(position) for every occurrence,
// in order. Case-insensitive comparison maps both sides through the ANSI
// upper-case table one byte at a time.
template <typename OnMatch>
void ScanPage(std::span<const uint8_t> page, std::string_view text, bool caseSensitive, OnMatch&& onMatch) {
  const size_t size = page.size();
  const size_t length = text.size();
  if (length == 0 || size == 0) return;
  const uint8_t* bytes = page.data();
  const auto* wanted = reinterpret_cast<const uint8_t*>(text.data());
  const auto& upper = AnsiUpperTable();
  const uint8_t first = caseSensitive ? wanted[0] : upper[wanted[0]];

  bool inTag = false;
  size_t p = 0;
  while (p < size) {
    const uint8_t b = bytes[p];
    if (b == '>') inTag = false;
    if (b == '<') inTag = true;
    if (!inTag && (caseSensitive ? b : upper[b]) == first && size - p >= length) {
      size_t k = 1;
      if (caseSensitive) {
        while (k < length && bytes[p + k] == wanted[k]) ++k;
      } else {
        while (k < length && upper[bytes[p + k]] == upper[wanted[k]]) ++k;
      }
      if (k == length) {
        onMatch(p);
        p += length;
        continue;
      }
    }
    ++p;
  }
}

}  // namespace

int FindInPage(std::span<const uint8_t> page, std::string_view text, bool caseSensitive) {
  int count = 0;
  ScanPage(page, text, caseSensitive, [&](size_t) { ++count; });
  return count;
}

int FindInPage(const TMemoryStream& page, std::string_view text, bool caseSensitive) {
  return FindInPage(page.Bytes(), text, caseSensitive);
}

void HighlightInPage(std::span<const uint8_t> page, TStream& output, std::string_view text, bool caseSensitive,
                     std::string_view replacement) {
  // Unchanged bytes are written in runs between occurrences.
  size_t copied = 0;
  ScanPage(page, text, caseSensitive, [&](size_t at) {
    output.WriteBuffer(page.data() + copied, static_cast<int64_t>(at - copied));
    output.WriteBuffer(replacement.data(), static_cast<int64_t>(replacement.size()));
    copied = at + text.size();
  });
  output.WriteBuffer(page.data() + copied, static_cast<int64_t>(page.size() - copied));
}

void HighlightInPage(const TMemoryStream& page, TStream& output, std::string_view text, bool caseSensitive,
                     std::string_view replacement) {
  HighlightInPage(page.Bytes(), output, text, caseSensitive, replacement);
}

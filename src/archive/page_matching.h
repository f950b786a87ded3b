// Finding a text in a book page outside its HTML tags, on raw bytes: no
// character set or entity decoding. A "<" starts a tag (and belongs to it), a
// ">" ends it (and does not). Occurrences never overlap and are found from
// left to right; the bytes of an occurrence do not change the in-tag state.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class TMemoryStream;
class TStream;

// The number of occurrences of text outside tags. An empty text has none.
int FindInPage(std::span<const uint8_t> page, std::string_view text, bool caseSensitive);
int FindInPage(const TMemoryStream& page, std::string_view text, bool caseSensitive);

// Appends the page to output with every occurrence of text outside tags
// replaced by replacement (written as it is, whatever the page's letter case).
void HighlightInPage(std::span<const uint8_t> page, TStream& output, std::string_view text, bool caseSensitive,
                     std::string_view replacement);
void HighlightInPage(const TMemoryStream& page, TStream& output, std::string_view text, bool caseSensitive,
                     std::string_view replacement);

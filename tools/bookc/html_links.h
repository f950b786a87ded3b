// The addresses a book page refers to: the values of its href and src
// attributes, read the way a browser reads markup (tags, quoted and unquoted
// attribute values, character references), skipping comments and the
// contents of script and style elements.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct THtmlLink {
  int Line = 0;           // 1-based line of the attribute's name
  std::string Attribute;  // "href" or "src", lower case
  std::string Value;      // character references decoded
};

// Lines end at LF, CR LF or a lone CR. Never fails: malformed markup gives
// whatever links could be read before it.
std::vector<THtmlLink> ScanHtmlLinks(std::string_view page);

// Decodes the character references of an attribute value: the five named
// ones that appear in addresses (&amp; &lt; &gt; &quot; &apos;) and numeric
// ones (&#38; &#x26;) below 256; anything else is kept as written.
std::string DecodeCharacterReferences(std::string_view text);

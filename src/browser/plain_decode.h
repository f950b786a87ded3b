// The plain browser's first stage: an answer's bytes to wide text in the
// encoding the page is in. The encoding is found as browsers find it: a
// byte-order mark, else the charset of the answer's Content-Type, else (for
// HTML) a <meta charset> or <meta http-equiv="Content-Type"> among the
// page's first 1024 bytes, else the default (the system's ANSI code page:
// Windows-1252 on western systems, which is what browsers there assume).
// UTF-8 and UTF-16 are decoded here; every other code page through the
// platform's conversions (runtime/code_pages).
#pragma once

#include <string>
#include <string_view>

// The Windows code page an encoding label names (the labels browsers
// accept, compared without ASCII letter case, blanks around it ignored);
// 0 for a label no browser knows.
unsigned CodePageForLabel(std::string_view label);

// The charset parameter of a Content-Type value, unquoted; empty for none.
std::string CharsetOfContentType(std::string_view contentType);

// The code page a <meta> in the first 1024 bytes of an HTML page declares;
// 0 for none. A page declaring UTF-16 this way is ASCII-compatible bytes
// already, so that declaration means UTF-8.
unsigned MetaCodePage(std::string_view bytes);

enum class TEncodingSource { kByteOrderMark, kHttp, kMeta, kDefault };

struct TDecodedText {
  std::wstring Text;
  unsigned CodePage = 0;  // the encoding used
  TEncodingSource Source = TEncodingSource::kDefault;
};

// Decodes an answer's body. html: the meta prescan applies. A code page the
// platform cannot convert falls back to the default one.
TDecodedText DecodeAnswerText(std::string_view body, std::string_view contentType, bool html,
                              unsigned defaultCodePage);

// The type an answer declares for an entry of the book, from the extension
// of its name. Browsers act on the declared type: a standards-mode page
// applies a stylesheet only when it is declared text/css, SVG pictures are
// never recognised by their content, and a text file declared as HTML is
// laid out as HTML. Pages, and every name whose extension is not in the
// table, keep "text/html".
#pragma once

#include <string_view>

inline constexpr std::string_view kDefaultContentType = "text/html";

// The content type for a request path (or an entry name): the extension is
// the text after the last "." of the last segment ("/" and "\" separate
// segments), compared without regard to ASCII letter case.
std::string_view ContentTypeForPath(std::string_view path);

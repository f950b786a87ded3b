// The two pages the book server builds itself on every request: the
// navigation page (a link to the start page and the bookmarks) and the about
// page (the book's about text with "ebook_host" replaced by the server's
// address). Titles, targets and the about text are inserted byte for byte.
#pragma once

#include <string>
#include <string_view>

struct TResSetup;

std::string BuildNavigationPage(const TResSetup& settings, std::string_view portText);
std::string BuildAboutPage(const TResSetup& settings, std::string_view portText);

// Replaces every occurrence of pattern, searching again from the start after
// each replacement. A replacement that contains the pattern, or that forms it
// again with the text around it, would never end; such a call fails with
// Exception instead of looping.
std::string ReplaceAll(std::string_view text, std::string_view pattern, std::string_view replacement);

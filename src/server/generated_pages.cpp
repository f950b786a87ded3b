#include "server/generated_pages.h"

#include "archive/res_setup.h"
#include "archive/string_routines.h"
#include "runtime/exceptions.h"

namespace {

constexpr std::string_view kPageStart = "<HTML><BODY>";
constexpr std::string_view kFontStart = "<font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\">";
constexpr std::string_view kStartLinkOpening = "<a href=\"http://127.0.0.1:";
constexpr std::string_view kPathSeparator = "/";
constexpr std::string_view kStartLinkClosing = "\">Go to start page</a>";
constexpr std::string_view kBookmarksHeading = "<H3>Bookmarks:</H3>";
constexpr std::string_view kExternalMarker = "http://";
constexpr std::string_view kExternalBookmarkOpening = "<p><a href=\"";
constexpr std::string_view kLocalBookmarkOpening = "<p><a href=\"http://127.0.0.1:";
constexpr std::string_view kBetweenTargetAndTitle = "\">";
constexpr std::string_view kBookmarkClosing = "</a></p>";
constexpr std::string_view kFontEnd = "</font>";
constexpr std::string_view kPageEnd = "</BODY></HTML>";
constexpr std::string_view kHostPlaceholder = "ebook_host";
constexpr std::string_view kAddressPrefix = "127.0.0.1:";

}  // namespace

std::string BuildNavigationPage(const TResSetup& settings, std::string_view portText) {
  std::string page;
  page += kPageStart;
  page += kFontStart;
  page += kStartLinkOpening;
  page += portText;
  page += kPathSeparator;
  page += settings.StartPage;
  page += kStartLinkClosing;
  page += kBookmarksHeading;
  if (settings.Bookmarks) {
    for (const std::string& line : *settings.Bookmarks) {
      const TParamRec bookmark = SplitParam(line);
      if (bookmark.Value.find(kExternalMarker) != std::string::npos) {
        page += kExternalBookmarkOpening;
      } else {
        page += kLocalBookmarkOpening;
        page += portText;
        page += kPathSeparator;
      }
      page += bookmark.Value;
      page += kBetweenTargetAndTitle;
      page += bookmark.Name;
      page += kBookmarkClosing;
    }
  }
  page += kFontEnd;
  page += kPageEnd;
  return page;
}

std::string BuildAboutPage(const TResSetup& settings, std::string_view portText) {
  std::string page;
  page += kPageStart;
  page += kFontStart;
  if (settings.About)
    for (const std::string& line : *settings.About) page += line;
  page += kFontEnd;
  page += kPageEnd;
  std::string address(kAddressPrefix);
  address += portText;
  return ReplaceAll(page, kHostPlaceholder, address);
}

std::string ReplaceAll(std::string_view text, std::string_view pattern, std::string_view replacement) {
  std::string result(text);
  if (pattern.empty()) return result;
  if (replacement.find(pattern) != std::string_view::npos)
    throw Exception(Format("Replacing \"%.*s\" would never end", static_cast<int>(pattern.size()), pattern.data()));
  // Every search starts again at the beginning of the text. Nothing before
  // the last replacement held an occurrence, so the next one cannot start
  // earlier than pattern.size() - 1 bytes before it: searching from there
  // finds the same first occurrence without rescanning the whole text.
  size_t from = 0;
  size_t replacements = 0;
  for (size_t at = result.find(pattern); at != std::string::npos; at = result.find(pattern, from)) {
    if (++replacements > (1u << 24))
      throw Exception(Format("Replacing \"%.*s\" would never end", static_cast<int>(pattern.size()), pattern.data()));
    result.replace(at, pattern.size(), replacement);
    from = at + 1 >= pattern.size() ? at + 1 - pattern.size() : 0;
  }
  return result;
}

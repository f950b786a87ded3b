// Answers every request of the book's browser: the two generated pages, the
// optional login, and archive entries, with search hits highlighted while the
// reader looks at a page opened from the search results.
#include <algorithm>
#include <array>

#include "archive/page_matching.h"
#include "archive/string_routines.h"
#include "runtime/ansi.h"
#include "server/book_search.h"
#include "server/content_types.h"
#include "server/ebook_manager.h"
#include "server/http/id_http_parser.h"
#include "server/http/id_http_server.h"

namespace {

constexpr const char* kCacheControl = "no-cache";
constexpr const char* kNavigationPath = "/navigation_bar/navigate.h";
constexpr const char* kAboutPath = "/navigation_bar/about.h";
constexpr const char* kRealm = "Protected";
constexpr const char* kNotFound = "<h2>The given page was not found in eBook</h2>";
constexpr const char* kForeignHostPage =
    "<html><head><title>403 Forbidden</title></head><body><h2>Forbidden</h2>"
    "<p>This e-book's page server answers only requests addressed to 127.0.0.1 or localhost. "
    "This request came through another name, which a web page of another site can use to read the book.</p>"
    "</body></html>";
constexpr const char* kHighlightStart = "<span style=\"background:yellow;mso-highlight:yellow\">";
constexpr const char* kHighlightEnd = "</span>";

// What the entry cache holds at most, in all and for one entry.
constexpr size_t kEntryCacheBytes = 16 * 1024 * 1024;
constexpr size_t kMaxCachedEntryBytes = 2 * 1024 * 1024;

}  // namespace

void TEbookManager::ExtractEntry(int index, TStream& destination) const {
  std::shared_ptr<const std::string> cached;
  {
    std::lock_guard lock(entryCacheLock_);
    const auto found = entryCache_.find(index);
    if (found != entryCache_.end()) cached = found->second;
  }
  if (!cached) {
    TMemoryStream inflated;
    if (Seal)
      Seal->Extract(index, inflated);
    else
      Archive->Extract(index, inflated);
    const auto size = static_cast<size_t>(inflated.Size());
    auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(inflated.Memory()), size);
    std::lock_guard lock(entryCacheLock_);
    if (size <= kMaxCachedEntryBytes && entryCacheBytes_ + size <= kEntryCacheBytes &&
        entryCache_.emplace(index, bytes).second) {
      entryCacheBytes_ += size;
    }
    cached = std::move(bytes);
  }
  destination.WriteBuffer(cached->data(), static_cast<int64_t>(cached->size()));
}

void TEbookManager::HandleCommandGet(TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
  // The server listens on the loopback address only, but a web page of
  // another site can still reach it through a name of its own that resolves
  // to 127.0.0.1 (DNS rebinding), and would read the book, protected pages
  // too once the reader has logged in. Such a request carries that name as
  // its Host. A request without Host (HTTP/1.0) is served.
  const std::string host = request.Headers.Values("Host");
  if (!host.empty() && !IsLoopbackHost(host)) {
    response.SetStatusCode(403);
    response.CacheControl = kCacheControl;
    response.BodyText = kForeignHostPage;
    return;
  }

  const std::string& path = request.Path;
  if (path.empty() || path == "/") return;
  response.CacheControl = kCacheControl;

  if (path == kNavigationPath) {
    response.BodyText = BuildNavigationPage();
    return;
  }
  if (path == kAboutPath) {
    response.BodyText = BuildAboutPage();
    return;
  }

  if (!Authorized && request.HasCredentials) {
    const std::string user = StripChar(request.CredentialUser, '\0');
    const std::string password = StripChar(request.CredentialPassword, '\0');
    bool valid = false;
    if (Seal) {
      // A sealed book keeps no passwords: a login is right when it unwraps
      // the book's key, which also opens its pages.
      valid = SealedLogin(user, password);
    } else {
      for (const std::string& line : *Settings.Users) {
        const TParamRec account = SplitParam(line);
        if (account.Name == user && account.Value == password) valid = true;
      }
    }
    if (valid) Authorized = true;
  }
  if (!Authorized) {
    response.Realm = kRealm;
    response.WriteHeader();
    return;
  }

  // The header goes out before the body is known; the end of the body is
  // marked by closing the connection. An entry of the book declares the
  // type its name says; the not-found page stays HTML.
  const std::vector<int>* entries = MatchingEntries(path);
  if (entries != nullptr) response.ContentType = std::string(ContentTypeForPath(path));
  response.WriteHeader();
  response.BodyStream = std::make_unique<TMemoryStream>();
  if (entries != nullptr) {
    const TSearchState search = SearchState();
    // Pictures and binaries never pass through the highlight filter.
    const bool highlight = search.HighlightActive && IsSearchableName(path);
    if (highlight) {
      const std::string replacement = kHighlightStart + search.SearchText + kHighlightEnd;
      for (int index : *entries) {
        TMemoryStream page;
        ExtractEntry(index, page);
        HighlightInPage(page, *response.BodyStream, search.SearchText, search.SearchCaseSensitive, replacement);
      }
    } else {
      for (int index : *entries) ExtractEntry(index, *response.BodyStream);
    }
  }
  if (response.BodyStream->Size() == 0) response.BodyText = kNotFound;
}

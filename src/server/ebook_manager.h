// The book manager ties one viewer lifetime together: it opens the archive
// reader over the host's block, reads the book's settings, decides whether
// readers must log in, and starts the local HTTP server on the first free
// port from 5055 upward. A port counts as taken when a GET for the
// navigation page on it succeeds, which is how a second viewer finds its own
// port beside a running one.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/book_seal.h"
#include "archive/res_invoker.h"
#include "archive/res_setup.h"
#include "server/credential_cache.h"

class TStream;
class TIdHTTPServer;
class TIdHTTP;
class TIdContext;
class TIdHTTPRequestInfo;
class TIdHTTPResponseInfo;

constexpr int kFirstPort = 5055;
// Connections the page server serves at once. The viewer's browser opens a
// handful per window; the limit keeps a flood of idle connections from
// holding a thread each (at the limit the one that has waited longest for
// its request makes room for a new one).
constexpr int kMaxBookConnections = 128;

// The archive block handed over by the host; set before the book manager is
// constructed. It belongs to the host and is never written.
extern const THostArchive* HostArchive;

// What the window side sets when the reader opens a search hit; the request
// handler reads it as one consistent set.
struct TSearchState {
  bool HighlightActive = false;
  std::string SearchText;
  bool SearchCaseSensitive = false;
};

class TEbookManager {
 public:
  // Builds everything over HostArchive and probes from firstPort (the
  // product always uses 5055; tests run side by side on other ports).
  // Failures (a damaged "config.ini" entry, a port that cannot be bound, no
  // free port at all) end the construction; whatever was created is freed.
  explicit TEbookManager(int firstPort = kFirstPort);
  // Stops the server: closes the listener and every connection and waits for
  // their threads. Fails with "Terminate Thread Timeout" when they do not end
  // in time; call it before destroying the manager to learn of that failure.
  void StopServer();
  // Stops the server first (no handler runs afterwards), then frees the
  // archive reader and the settings.
  ~TEbookManager();
  TEbookManager(const TEbookManager&) = delete;
  TEbookManager& operator=(const TEbookManager&) = delete;

  // The request handler, bound to the server's OnCommandGet.
  void HandleCommandGet(TIdContext& connection, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response);
  std::string BuildNavigationPage() const;
  std::string BuildAboutPage() const;

  TSearchState SearchState() const;
  void SetSearchState(TSearchState state);

  int Port = 0;
  std::string PortText;
  std::unique_ptr<TIdHTTPServer> Server;
  std::unique_ptr<TRes_invoker> Archive;
  // The seal of a sealed book (book_seal.h), null for any other: its pages
  // are decrypted as they are served once a reader has logged in, and its
  // content key is wiped when the manager is destroyed.
  std::unique_ptr<TSealedBook> Seal;
  // What "config.ini" says; of a sealed book only what opens the window
  // (BookSettings gives the whole once it is open).
  TResSetup Settings;
  // Turns true once (no users, or the first valid login) and never back.
  std::atomic<bool> Authorized{false};

  // The settings the generated pages show: a sealed book's own once a reader
  // has opened it, Settings otherwise.
  const TResSetup& BookSettings() const;

 private:
  void ProbePorts(int firstPort);
  // Indices of the entries a request path names, in directory order.
  const std::vector<int>* MatchingEntries(const std::string& path) const;
  // Appends the entry's bytes to destination, inflating them only the first
  // time while the cache has room.
  void ExtractEntry(int index, TStream& destination) const;
  // A login to the sealed book: true when these credentials open it (or it
  // is open already). Runs the seal's key derivation at most once per
  // distinct credentials, one login at a time.
  bool SealedLogin(const std::string& user, const std::string& password);

  std::unique_ptr<TIdHTTP> ProbeClient;
  // Upper-cased "/" + name (with "/" separators) -> entry indices, built once:
  // the directory never changes during a viewer lifetime.
  std::unordered_map<std::string, std::vector<int>> entriesByPath_;
  // Logins to a sealed book, one at a time: a browser's parallel requests
  // with the same new credentials wait for one derivation instead of each
  // running their own.
  std::mutex loginLock_;
  std::unique_ptr<TCredentialCache> credentials_;
  // A sealed book's whole settings, read when it is first opened and
  // published once through the atomic pointer.
  std::unique_ptr<TResSetup> openSettings_;
  std::atomic<const TResSetup*> openSettingsView_{nullptr};
  mutable std::mutex searchLock_;
  TSearchState search_;
  // Inflated entries already served: the archive never changes while the
  // viewer runs, and a browser asks for the same pages and pictures again
  // and again. Filled until kEntryCacheBytes are held, never emptied.
  mutable std::mutex entryCacheLock_;
  mutable std::unordered_map<int, std::shared_ptr<const std::string>> entryCache_;
  mutable size_t entryCacheBytes_ = 0;
};

// The one book manager of the running viewer (null outside ShowEbook).
extern TEbookManager* BookManager;

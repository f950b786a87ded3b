// A book folder served while its author writes it (bookserve BOOKDIR).
//
// The folder is packed in memory as "bookc pack" would pack it and served by
// the viewer's own book manager and request handler; when a file of the
// folder changes, it is packed again and served from then on, on the same
// port, so that the author edits, refreshes the browser and sees the change.
//
// Every packed state is a version of its own: an archive block and a book
// manager over it. A request takes the version that is current when it
// arrives and is answered from that version alone, which stays alive until
// its last request is answered; so no answer ever mixes two states of the
// book, and none sees a version before it is complete. The folder is packed
// only once it has stayed unchanged for a moment, and a version whose files
// changed while they were read is packed again before anyone sees it, so a
// file that an editor is still writing is not served half written.
//
// Threads: the owner's thread builds versions (Refresh); the server's
// connection threads only take the current one, under a lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "server/ebook_manager.h"
#include "server/http/id_http_server.h"
#include "tools/bookc/check.h"
#include "tools/bookserve/folder_state.h"

class TLiveBook {
 public:
  struct TOptions {
    int FirstPort = kFirstPort;
    TSearchState Search;
    // How long the folder must stay as it is before it is packed.
    std::chrono::milliseconds Settle{250};
  };

  // Packs and checks the folder, writes the check's findings to report and
  // starts serving on the first free port from options.FirstPort. Fails with
  // Exception when the folder cannot be packed or no port is free.
  TLiveBook(const std::string& folder, const TOptions& options, std::ostream& report);
  // Stops the server: no request is answered afterwards.
  ~TLiveBook();
  TLiveBook(const TLiveBook&) = delete;
  TLiveBook& operator=(const TLiveBook&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>/<start page>" and the window title of the
  // version served now.
  std::string Address() const;
  std::string Title() const;
  // Versions served so far: 1 after construction.
  int Generation() const;

  // Looks at the folder once. When it changed since the version served now
  // was packed, waits until it stays unchanged, packs and checks it, writes
  // what changed and the findings that are new to report, and serves the new
  // version. Returns true when a new version is served. A folder that cannot
  // be packed just now (a file removed while it was read) is reported and
  // tried again a little later; the last version is served meanwhile.
  bool Refresh();

 private:
  struct TVersion;

  std::shared_ptr<TVersion> Current() const;
  // Packs the folder until a packing saw it unchanged from start to end
  // (a few tries at most); state is the folder as that packing saw it.
  std::shared_ptr<TVersion> Build(TFolderState& state);
  void StartServer(int firstPort);
  void Report(const std::vector<std::string>& changed, const TVersion& previous, const TVersion& next);

  const std::string folder_;
  const std::filesystem::path root_;
  const TOptions options_;
  std::ostream& report_;
  int port_ = 0;
  TIdHTTPServer server_;
  mutable std::mutex lock_;
  std::shared_ptr<TVersion> current_;  // guarded by lock_
  int generation_ = 0;                 // guarded by lock_
  TFolderState served_;                // the folder as the current version saw it
  // A packing that failed: the folder then, when to try again, how often.
  TFolderState failedState_;
  std::chrono::steady_clock::time_point retryAt_{};
  int failures_ = 0;
};

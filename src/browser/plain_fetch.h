// The plain browser's fetching of one page over HTTP/1.0, with no window:
// the worker thread runs RunPlainFetch and then tells the browser's window
// that the fetch is done. Portable (the runtime's sockets), so the fetching
// and the reading of the answer are tested natively.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "browser/plain_http.h"
#include "browser/plain_page.h"
#include "runtime/sockets.h"

inline constexpr int kPlainConnectTimeoutMs = 10000;
inline constexpr int kPlainReceiveTimeoutMs = 30000;

// One fetch, shared by the thread that starts it and the worker that runs
// it. The worker owns the socket; another thread may only shut it down (by
// Cancel), under the lock, while the worker has it published. The results
// are the worker's until it is done; the starting thread reads them after
// it learnt so (the window thread: from the posted message).
struct TPlainFetch {
  unsigned Id = 0;
  std::wstring Url;
  int HistoryIndex = -1;  // -1: a new history entry; else the entry it shows
  int Redirects = 0;
  bool Utf8 = true;

  std::mutex Lock;
  TSocket* Socket = nullptr;
  bool Cancelled = false;

  bool Failed = false;
  std::string Error;
  THttpAnswer Answer;

  // Callable from any thread: ends the fetch at once, whether it is still
  // connecting, waiting for the answer or not started yet.
  void Cancel();
};

// The request the plain browser sends for an address.
std::string PlainFetchRequest(const THttpUrl& url);

// What a finished fetch leads to: another address to fetch for the same
// history entry (a redirect), or the page to show: the failure's text, or
// the page read from the answer (plain_page). Every status shows its body,
// as a browser does with a server's error page. defaultCodePage: the
// encoding of pages that do not name theirs.
struct TPlainOutcome {
  bool Redirect = false;
  std::wstring RedirectTo;
  std::unique_ptr<TPlainPage> Page;
};
TPlainOutcome PlainFetchOutcome(const TPlainFetch& fetch, int maxRedirects, unsigned defaultCodePage);

// Fetches fetch.Url: connects, sends the request, reads the answer to the
// server's close and splits it. Never throws: a failure sets Failed and
// Error (a reset after some of the answer still leaves that answer).
void RunPlainFetch(TPlainFetch& fetch);

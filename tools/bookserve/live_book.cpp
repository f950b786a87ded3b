#include "tools/bookserve/live_book.h"

#include <cstring>
#include <ctime>
#include <thread>

#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "server/http/id_exception.h"
#include "server/http/id_http_client.h"
#include "tools/bookc/bookc.h"

namespace {

constexpr const char* kNavigationPath = "/navigation_bar/navigate.h";
constexpr int kLastPort = 65535;
// The page server's connection settings, as the viewer's book manager sets
// them (server/ebook_manager.cpp): a browser opens several connections at
// once, and connections opened ahead of need hold no thread.
constexpr int kListenQueue = 128;
constexpr int kFirstDataWaitSeconds = 30;
// The preview's packing: fast rather than small, the block lives in memory
// only.
constexpr int kPreviewLevel = 1;
// Packings of a folder that keeps changing before one is served anyway.
constexpr int kPackTries = 3;
// Failed packings of one state of the folder tried again, a second apart.
constexpr int kFailureRetries = 5;
// The longest the folder is waited for to stay unchanged.
constexpr std::chrono::seconds kLongestSettle{3};

std::string Clock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[16] = {};
  std::strftime(text, sizeof(text), "%H:%M:%S", &local);
  return text;
}

// A finding as the author would recognise it again after an edit moved it to
// another line.
using TFindingKey = std::tuple<std::string, std::string, std::string>;
TFindingKey KeyOf(const TFinding& f) { return {f.File, f.Code, f.Text}; }

}  // namespace

struct TLiveBook::TVersion {
  // The block as a host holds it: one buffer of its own, suitably aligned.
  std::unique_ptr<uint64_t[]> Words;
  // Declared after Words, so destroyed before the block it reads.
  std::unique_ptr<TEbookManager> Manager;
  std::vector<TFinding> Findings;
};

TLiveBook::TLiveBook(const std::string& folder, const TOptions& options, std::ostream& report)
    : folder_(folder), root_(PathFromUtf8(folder)), options_(options), report_(report) {
  TFolderState state;
  std::shared_ptr<TVersion> first = Build(state);
  served_ = std::move(state);
  {
    std::lock_guard lock(lock_);
    current_ = first;
    generation_ = 1;
  }
  TReportOptions shown;
  shown.Program = "bookserve";
  WriteFindings(first->Findings, folder_, report_, shown);
  StartServer(options.FirstPort);
}

TLiveBook::~TLiveBook() {
  try {
    server_.SetActive(false);
  } catch (const Exception&) {
    // The server's destructor still waits for the last handler.
  }
}

std::shared_ptr<TLiveBook::TVersion> TLiveBook::Current() const {
  std::lock_guard lock(lock_);
  return current_;
}

int TLiveBook::Generation() const {
  std::lock_guard lock(lock_);
  return generation_;
}

std::string TLiveBook::Address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + Current()->Manager->Settings.StartPage;
}

std::string TLiveBook::Title() const { return Current()->Manager->Settings.Title; }

std::shared_ptr<TLiveBook::TVersion> TLiveBook::Build(TFolderState& state) {
  auto version = std::make_shared<TVersion>();
  for (int attempt = 1;; ++attempt) {
    state = ReadFolderState(root_);
    TCheckedBook book = PackAndCheckBookFolder(folder_, kPreviewLevel);
    const TFolderState after = ReadFolderState(root_);
    if (after != state && attempt < kPackTries) continue;
    version->Words = std::make_unique<uint64_t[]>(book.Block.size() / 8 + 1);
    std::memcpy(version->Words.get(), book.Block.data(), book.Block.size());
    version->Findings = std::move(book.Findings);
    break;
  }
  // A book manager of its own over the block: its server takes a port the
  // system picks (port 0 is never probed) and is stopped at once, since the
  // preview's one server hands every request to the current version.
  HostArchive = reinterpret_cast<const THostArchive*>(version->Words.get());
  version->Manager = std::make_unique<TEbookManager>(0);
  HostArchive = nullptr;
  version->Manager->StopServer();
  version->Manager->Port = port_;
  version->Manager->PortText = IntToStr(port_);
  version->Manager->SetSearchState(options_.Search);
  return version;
}

void TLiveBook::StartServer(int firstPort) {
  server_.MaxConnections = kMaxBookConnections;
  server_.ListenQueue = kListenQueue;
  server_.FirstDataWaitSeconds = kFirstDataWaitSeconds;
  server_.OnCommandGet = [this](TIdContext& connection, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
    const std::shared_ptr<TVersion> version = Current();
    version->Manager->HandleCommandGet(connection, request, response);
  };
  // As the viewer chooses its port: one that answers the navigation page is
  // another book's; a port something else holds is passed over as well.
  for (int port = firstPort; port <= kLastPort; ++port) {
    TIdHTTP probe;
    probe.Port = port;
    try {
      probe.Get("http://127.0.0.1:" + std::to_string(port) + kNavigationPath);
      continue;
    } catch (const Exception&) {
      // Nobody we know of serves this port: try to take it.
    }
    // Every version answers for this port: its generated pages link to it.
    // Nothing reads the port before the server is active.
    Current()->Manager->Port = port;
    Current()->Manager->PortText = IntToStr(port);
    server_.DefaultPort = port;
    try {
      server_.SetActive(true);
      port_ = port;
      return;
    } catch (const EIdCouldNotBindSocket&) {
    }
  }
  throw Exception(Format("No free port from %d to %d", firstPort, kLastPort));
}

bool TLiveBook::Refresh() {
  TFolderState now = ReadFolderState(root_);
  if (now == served_) return false;
  if (failures_ > 0 && now == failedState_ &&
      (failures_ > kFailureRetries || std::chrono::steady_clock::now() < retryAt_))
    return false;
  // An editor may write a file in several steps: wait until the folder stays
  // as it is.
  const auto giveUp = std::chrono::steady_clock::now() + kLongestSettle;
  for (;;) {
    std::this_thread::sleep_for(options_.Settle);
    TFolderState later = ReadFolderState(root_);
    const bool settled = later == now;
    now = std::move(later);
    if (settled || std::chrono::steady_clock::now() >= giveUp) break;
  }
  const std::vector<std::string> changed = ChangedPaths(served_, now);
  std::shared_ptr<TVersion> next;
  TFolderState state;
  try {
    next = Build(state);
  } catch (const Exception& e) {
    failures_ = now == failedState_ ? failures_ + 1 : 1;
    failedState_ = std::move(now);
    retryAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    report_ << "bookserve: " << Clock() << " the book cannot be packed now (" << e.Message
            << "); the version before is served" << (failures_ > kFailureRetries ? " until the next change" : "")
            << std::endl;
    return false;
  }
  failures_ = 0;
  const std::shared_ptr<TVersion> previous = Current();
  {
    std::lock_guard lock(lock_);
    current_ = next;
    ++generation_;
  }
  served_ = std::move(state);
  Report(changed, *previous, *next);
  return true;
}

void TLiveBook::Report(const std::vector<std::string>& changed, const TVersion& previous, const TVersion& next) {
  std::string what;
  if (changed.empty())
    what = "the book changed";
  else if (changed.size() == 1)
    what = changed[0] + " changed";
  else
    what = changed[0] + " and " + std::to_string(changed.size() - 1) + " more files changed";
  report_ << "bookserve: " << Clock() << " " << what << ": packed again, now " << FindingCounts(next.Findings);
  if (next.Manager->Settings.StartPage != previous.Manager->Settings.StartPage)
    report_ << "; the start page is now " << Address();
  report_ << '\n';
  // Only what the change brought is listed; the rest was shown before.
  std::set<TFindingKey> known;
  for (const TFinding& f : previous.Findings) known.insert(KeyOf(f));
  std::vector<TFinding> fresh;
  for (const TFinding& f : next.Findings)
    if (known.count(KeyOf(f)) == 0) fresh.push_back(f);
  TReportOptions shown;
  shown.Summary = false;
  WriteFindings(fresh, folder_, report_, shown);
  report_.flush();
}

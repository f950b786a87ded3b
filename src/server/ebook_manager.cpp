#include "server/ebook_manager.h"

#include "archive/string_routines.h"
#include "runtime/ansi.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "server/generated_pages.h"
#include "server/http/id_http_client.h"
#include "server/http/id_http_server.h"

const THostArchive* HostArchive = nullptr;
TEbookManager* BookManager = nullptr;

namespace {

constexpr const char* kNavigationPath = "/navigation_bar/navigate.h";
constexpr int kLastPort = 65535;
// Connections the system completes before a thread takes them up. A browser
// opens several at once for the pictures of a page; when the queue is full,
// a new connection's first packet is dropped and the browser waits a whole
// second before it tries again.
constexpr int kListenQueue = 128;
// A connection is taken up once its request has begun to arrive (where the
// system can wait for that), within the time a request may take anyway.
// Connections a browser opens ahead of need then hold no thread.
constexpr int kFirstDataWaitSeconds = 30;

}  // namespace

TEbookManager::TEbookManager(int firstPort) {
  Archive = std::make_unique<TRes_invoker>(HostArchive);
  Authorized = false;
  Seal = TSealedBook::Find(*Archive);
  if (Seal) credentials_ = std::make_unique<TCredentialCache>();

  {
    TMemoryStream config;
    for (int i = 0; i < Archive->Count(); ++i)
      if (EntryName(Archive->GetEntry(i)) == "config.ini") Archive->Extract(i, config);
    TResSetupObject reader(config);
    reader.ReadSettings(Settings);
  }
  // A sealed book's clear settings name no readers; its readers are in the
  // seal, and it opens with one of their passwords only.
  if (!Seal && Settings.Users->Count() == 0) Authorized = true;

  for (int i = 0; i < Archive->Count(); ++i) {
    // The seal's own entries are no pages of the book.
    if (Seal && Seal->IsSealEntry(i)) continue;
    std::string key(1, '/');
    key += ReplaceChar(EntryName(Archive->GetEntry(i)), '\\', '/');
    entriesByPath_[AnsiUpperCase(key)].push_back(i);
  }

  ProbeClient = std::make_unique<TIdHTTP>();
  Server = std::make_unique<TIdHTTPServer>();
  Server->MaxConnections = kMaxBookConnections;
  Server->ListenQueue = kListenQueue;
  Server->FirstDataWaitSeconds = kFirstDataWaitSeconds;
  Server->OnCommandGet = [this](TIdContext& connection, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
    HandleCommandGet(connection, request, response);
  };
  ProbePorts(firstPort);
  ProbeClient.reset();
  SetSearchState(TSearchState{});
}

void TEbookManager::StopServer() {
  if (Server) Server->SetActive(false);
}

TEbookManager::~TEbookManager() {
  try {
    StopServer();
  } catch (const Exception&) {
    // Already reported by StopServer to whoever called it; the server's
    // destructor still waits for the last handler before the archive goes.
  }
  Server.reset();
  // The content key is wiped here, before anything else of the book goes.
  Seal.reset();
  Archive.reset();
  FreeSettings(Settings);
  if (openSettings_) FreeSettings(*openSettings_);
}

void TEbookManager::ProbePorts(int firstPort) {
  Port = firstPort;
  for (;;) {
    if (Port > kLastPort) throw Exception(Format("No free port from %d to %d", firstPort, kLastPort));
    bool taken = false;
    try {
      ProbeClient->Port = Port;
      ProbeClient->Get("http://127.0.0.1:" + IntToStr(Port) + kNavigationPath);
      taken = true;
    } catch (const Exception&) {
      // Refused, timed out, an error status or garbage: nobody we know of
      // serves this port, so try to take it.
    }
    if (taken) {
      ++Port;
      continue;
    }
    // Published before the server starts, so that no request ever sees the
    // port text empty; a failed activation ends the construction anyway.
    PortText = IntToStr(Port);
    Server->DefaultPort = Port;
    Server->SetActive(true);
    return;
  }
}

const TResSetup& TEbookManager::BookSettings() const {
  const TResSetup* open = openSettingsView_.load(std::memory_order_acquire);
  return open != nullptr ? *open : Settings;
}

std::string TEbookManager::BuildNavigationPage() const { return ::BuildNavigationPage(BookSettings(), PortText); }

std::string TEbookManager::BuildAboutPage() const { return ::BuildAboutPage(BookSettings(), PortText); }

bool TEbookManager::SealedLogin(const std::string& user, const std::string& password) {
  std::lock_guard lock(loginLock_);
  if (!Seal->Unlocked()) {
    const std::optional<bool> known = credentials_->Find(user, password);
    if (known.has_value() && !*known) return false;
    if (!known.has_value()) {
      const bool valid = Seal->Unlock(user, ByteSpan(password));
      credentials_->Add(user, password, valid);
      if (!valid) return false;
    }
  }
  if (openSettingsView_.load(std::memory_order_acquire) == nullptr) {
    // Read before anyone is let in, so that the first page after the login
    // already links the bookmarks. Damaged sealed settings fail every login
    // with their message rather than opening a book without them.
    auto settings = std::make_unique<TResSetup>();
    Seal->ReadSettings(*settings);
    openSettings_ = std::move(settings);
    openSettingsView_.store(openSettings_.get(), std::memory_order_release);
  }
  return true;
}

TSearchState TEbookManager::SearchState() const {
  std::lock_guard<std::mutex> lock(searchLock_);
  return search_;
}

void TEbookManager::SetSearchState(TSearchState state) {
  std::lock_guard<std::mutex> lock(searchLock_);
  search_ = std::move(state);
}

const std::vector<int>* TEbookManager::MatchingEntries(const std::string& path) const {
  const auto it = entriesByPath_.find(AnsiUpperCase(path));
  return it == entriesByPath_.end() ? nullptr : &it->second;
}

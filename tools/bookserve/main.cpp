// Serves a book with the viewer's own book manager and HTTP engine, so that
// any browser on the machine can read it:
//   bookserve BOOK [--port N] [--highlight TEXT] [--case-sensitive]
// BOOK is an archive block or an e-book program, or a book folder: a folder
// is served as it is written (live_book.h), packed again whenever one of its
// files changes. The port is chosen as the viewer chooses its own, from 5055
// upward unless --port names another first port.
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>

#include "archive/book_file.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "runtime/process.h"
#include "server/ebook_manager.h"
#include "tools/bookc/bookc.h"
#include "tools/bookserve/live_book.h"
#include "tools/bookserve/stop_signal.h"
#include "tools/common/book_image.h"

namespace {

constexpr const char* kUsage = "usage: bookserve BOOK|BOOKDIR [--port N] [--highlight TEXT] [--case-sensitive]\n";
// How often a book folder is looked at for changes.
constexpr int kWatchMilliseconds = 250;

// The block as a host holds it: one buffer of its own, suitably aligned.
struct TAlignedBlock {
  std::unique_ptr<uint64_t[]> Words;
  const THostArchive* Archive() const { return reinterpret_cast<const THostArchive*>(Words.get()); }
};

int ServeFolder(const std::string& folder, int firstPort, const TSearchState& search, TStopSignal& stop) {
  std::unique_ptr<TLiveBook> book;
  try {
    TLiveBook::TOptions options;
    options.Search = search;
    options.FirstPort = firstPort;
    book = std::make_unique<TLiveBook>(folder, options, std::cout);
  } catch (const Exception& e) {
    std::cerr << "bookserve: " << e.Message << '\n';
    return 1;
  }
  std::cout << "Serving \"" << book->Title() << "\" at " << book->Address() << std::endl;
  std::cout << "bookserve: watching " << folder
            << ": a change to its files is served after a moment (refresh the browser); Ctrl-C stops" << std::endl;
  while (!stop.Wait(kWatchMilliseconds)) {
    try {
      book->Refresh();
    } catch (const Exception& e) {
      std::cerr << "bookserve: " << e.Message << '\n';
    }
  }
  book.reset();
  return 0;
}

int ServeFile(const std::string& file, int firstPort, const TSearchState& search, bool highlighting,
              TStopSignal& stop) {
  TAlignedBlock block;
  std::unique_ptr<TEbookManager> manager;
  try {
    const TBookImage image = LoadBookFile(file);
    block.Words = std::make_unique<uint64_t[]>(image.Block.size() / 8 + 1);
    std::memcpy(block.Words.get(), image.Block.data(), image.Block.size());
    HostArchive = block.Archive();
    manager = std::make_unique<TEbookManager>(firstPort);
    BookManager = manager.get();
    if (highlighting) manager->SetSearchState(search);
  } catch (const Exception& e) {
    std::cerr << "bookserve: " << e.Message << '\n';
    return 1;
  }

  std::cout << "Serving \"" << manager->Settings.Title << "\" at http://127.0.0.1:" << manager->PortText << "/"
            << manager->Settings.StartPage << std::endl;
  if (manager->Seal)
    std::cout << "bookserve: the book is sealed: its pages open once a reader has logged in with a password "
                 "(the browser asks for it)"
              << std::endl;

  stop.Wait(-1);
  int status = 0;
  try {
    manager->StopServer();
  } catch (const Exception& e) {
    std::cerr << "bookserve: " << e.Message << '\n';
    status = 1;
  }
  BookManager = nullptr;
  manager.reset();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = CommandLineArguments(argc, argv);
  std::string book;
  TSearchState search;
  bool highlighting = false;
  int firstPort = kFirstPort;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--port" && i + 1 < args.size()) {
      int32_t port = 0;
      if (!TryStrToInt(args[++i], port) || port < 1 || port > 65535) {
        std::cerr << "bookserve: --port wants a port number from 1 to 65535, not \"" << args[i] << "\"\n";
        return 2;
      }
      firstPort = port;
    } else if (args[i] == "--highlight" && i + 1 < args.size()) {
      search.SearchText = args[++i];
      search.HighlightActive = highlighting = true;
    } else if (args[i] == "--case-sensitive") {
      search.SearchCaseSensitive = true;
    } else if (book.empty() && !args[i].starts_with("--")) {
      book = args[i];
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (book.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  if (!highlighting) search = TSearchState{};

  // Before the server's threads start, which inherit its blocked signals.
  TStopSignal stop;
  std::error_code ec;
  if (std::filesystem::is_directory(PathFromUtf8(book), ec)) return ServeFolder(book, firstPort, search, stop);
  return ServeFile(book, firstPort, search, highlighting, stop);
}

// Serves a book archive with the viewer's own book manager and HTTP engine, so
// that any browser on the machine can read it:
//   bookserve BOOK [--highlight TEXT] [--case-sensitive]
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "archive/book_file.h"
#include "runtime/exceptions.h"
#include "runtime/process.h"
#include "server/ebook_manager.h"

namespace {

constexpr const char* kUsage = "usage: bookserve BOOK [--highlight TEXT] [--case-sensitive]\n";

// The block as a host holds it: one buffer of its own, suitably aligned.
struct TAlignedBlock {
  std::unique_ptr<uint64_t[]> Words;
  const THostArchive* Archive() const { return reinterpret_cast<const THostArchive*>(Words.get()); }
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = CommandLineArguments(argc, argv);
  std::string book;
  std::string highlight;
  bool highlighting = false;
  bool caseSensitive = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--highlight" && i + 1 < args.size()) {
      highlight = args[++i];
      highlighting = true;
    } else if (args[i] == "--case-sensitive") {
      caseSensitive = true;
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

  // The server's threads inherit this mask, so only sigwait below sees the
  // stop signals.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  TAlignedBlock block;
  std::unique_ptr<TEbookManager> manager;
  try {
    const TBookImage image = LoadBookImage(book);
    block.Words = std::make_unique<uint64_t[]>(image.Block.size() / 8 + 1);
    std::memcpy(block.Words.get(), image.Block.data(), image.Block.size());
    HostArchive = block.Archive();
    manager = std::make_unique<TEbookManager>();
    BookManager = manager.get();
    if (highlighting) manager->SetSearchState({true, highlight, caseSensitive});
  } catch (const Exception& e) {
    std::cerr << "bookserve: " << e.Message << '\n';
    return 1;
  }

  std::cout << "Serving \"" << manager->Settings.Title << "\" at http://127.0.0.1:" << manager->PortText << "/"
            << manager->Settings.StartPage << std::endl;

  int signal = 0;
  sigwait(&stopSignals, &signal);
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

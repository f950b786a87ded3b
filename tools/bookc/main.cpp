#include <iostream>

#include "ebook_version.h"
#include "runtime/exceptions.h"
#include "tools/bookc/bookc.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  bookc new DIR [--title TITLE]            write a complete starting book into a new or empty folder\n"
    "  bookc check BOOKDIR|BOOK [--verbose] [--format text|json] [PASSWORD]\n"
    "                                           report what the viewer would show wrong: errors first,\n"
    "                                           repeated findings summarised (--verbose: every one)\n"
    "  bookc pack BOOKDIR OUT.bin [--level N] [--strict] [--seal]\n"
    "                                           compile a book folder into an archive block\n"
    "  bookc exe BOOKDIR OUT.exe [--host PATH] [--dll PATH] [--strict] [--seal]\n"
    "            [--sign CERT.pfx [--sign-password-file FILE] [--timestamp URL]]\n"
    "                                           compile a book folder into an e-book program, signed\n"
    "                                           with Authenticode when asked\n"
    "                                           (both check the book first; --strict: an error stops them;\n"
    "                                           --seal: only the readers of [users] can open the book)\n"
    "  bookc list BOOK                          one line per entry: index, name, offset, size, inflated size\n"
    "  bookc extract BOOK DESTDIR [PASSWORD]    write every entry to a file\n"
    "  bookc hex FILE                           print FILE hex-encoded for config.ini\n"
    "  bookc settings BOOK [PASSWORD]           show what the viewer reads from config.ini\n"
    "  bookc --version                          the version of bookc and of the viewer it belongs to\n"
    "BOOK is an archive block or an e-book program (signed or not).\n"
    "PASSWORD, for a sealed book: --password PW or --password-file FILE (its first line), and --user NAME\n"
    "to try that reader's alone.\n"
    "In a book folder's config.ini, @path/to/file or @default may stand for a hex value (README).\n";

}  // namespace

int RunBookc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    (args.empty() ? err : out) << kUsage;
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version") {
    out << "bookc " << EBOOK_VERSION << '\n';
    return 0;
  }
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (command == "new") return CommandNew(rest, out, err);
    if (command == "pack") return CommandPack(rest, out, err);
    if (command == "exe") return CommandExe(rest, out, err);
    if (command == "check") return CommandCheck(rest, out, err);
    if (command == "list" && rest.size() == 1) return CommandList(rest[0], out, err);
    if (command == "extract") return CommandExtract(rest, out, err);
    if (command == "hex" && rest.size() == 1) return CommandHex(rest[0], out, err);
    if (command == "settings") return CommandSettings(rest, out, err);
  } catch (const Exception& e) {
    out.flush();
    err << "bookc: " << e.Message << '\n';
    return 1;
  } catch (const std::exception& e) {
    out.flush();
    err << "bookc: " << e.what() << '\n';
    return 1;
  }
  err << kUsage;
  return 2;
}

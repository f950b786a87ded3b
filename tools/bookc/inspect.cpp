#include <algorithm>
#include <filesystem>
#include <iomanip>

#include "archive/book_file.h"
#include "archive/book_seal.h"
#include "archive/res_invoker.h"
#include "archive/res_setup.h"
#include "archive/string_routines.h"
#include "runtime/ansi.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"
#include "tools/common/book_image.h"

namespace fs = std::filesystem;

namespace {

TRes_invoker ReaderOf(std::span<const uint8_t> block) {
  return TRes_invoker(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size()));
}

// The forms a password given on the command line (UTF-8) may have in a
// book: its bytes as given, and its Windows-1252 form, which a config.ini
// written on Windows holds.
std::vector<std::string> PasswordForms(const std::string& utf8) {
  std::vector<std::string> forms{utf8};
  try {
    const std::string ansi = Utf8ToCp1252(utf8);
    if (ansi != utf8) forms.push_back(ansi);
  } catch (const Exception&) {
    // No Windows-1252 form: only the bytes as given.
  }
  return forms;
}

// The file name an entry is extracted to, below destination. Names that
// would leave the destination ("..", absolute paths, drive letters) are
// refused rather than followed.
fs::path ExtractPath(const fs::path& destination, const std::string& name) {
  std::string utf8 = Cp1252ToUtf8(name);
  for (char& c : utf8)
    if (c == '\\') c = '/';
  if (utf8.empty() || utf8.front() == '/' || utf8.find(':') != std::string::npos)
    throw Exception(Format("refusing to extract \"%s\": not a relative path", utf8.c_str()));
  fs::path result = destination;
  size_t start = 0;
  while (start <= utf8.size()) {
    size_t end = utf8.find('/', start);
    if (end == std::string::npos) end = utf8.size();
    const std::string part = utf8.substr(start, end - start);
    if (part.empty() || part == "." || part == "..")
      throw Exception(Format("refusing to extract \"%s\": it would leave the destination folder", utf8.c_str()));
    result /= fs::path(std::u8string(part.begin(), part.end()));
    start = end + 1;
  }
  return result;
}

}  // namespace

bool TakePasswordOptions(std::vector<std::string>& args, TPasswordOptions& options, std::ostream& err) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg != "--password" && arg != "--password-file" && arg != "--user") {
      rest.push_back(arg);
      continue;
    }
    if (i + 1 >= args.size()) {
      err << "bookc: " << arg << " needs a value\n";
      return false;
    }
    const std::string& value = args[++i];
    if (arg == "--user") {
      options.User = value;
    } else if (arg == "--password") {
      options.Password = value;
      options.Given = true;
    } else {
      std::vector<uint8_t> bytes;
      try {
        bytes = ReadWholeFile(value, "password file", 1 << 20);
      } catch (const Exception& e) {
        err << "bookc: " << e.Message << '\n';
        return false;
      }
      // The first line, without its line break.
      std::string text(bytes.begin(), bytes.end());
      text = text.substr(0, text.find_first_of("\r\n"));
      options.Password = text;
      options.Given = true;
    }
  }
  args = std::move(rest);
  return true;
}

TOpenedBook OpenBookFile(const std::string& fileName, const TPasswordOptions& password) {
  TOpenedBook book;
  book.Image = LoadBookFile(fileName);
  const TRes_invoker reader = ReaderOf(book.Image.Block);
  const std::unique_ptr<TSealedBook> seal = TSealedBook::Find(reader);
  if (!seal) return book;
  book.Sealed = true;
  if (!password.Given)
    throw Exception(Format("\"%s\" is sealed: give a reader's password with --password or --password-file "
                           "(bookc list shows its entries and readers without one)",
                           fileName.c_str()));
  const std::string user = Utf8ToCp1252(password.User);
  if (!password.User.empty() &&
      std::none_of(seal->Header().Readers.begin(), seal->Header().Readers.end(),
                   [&](const TSealReader& r) { return r.Name == user; }))
    throw Exception(Format("\"%s\" has no reader named \"%s\"", fileName.c_str(), password.User.c_str()));
  for (const std::string& form : PasswordForms(password.Password)) {
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(form.data()), form.size());
    const bool open = password.User.empty() ? seal->UnlockAnyReader(bytes, &book.Reader) : seal->Unlock(user, bytes);
    if (!open) continue;
    if (!password.User.empty()) book.Reader = user;
    book.Unsealed = UnsealBookBlock(reader, *seal);
    return book;
  }
  if (!password.User.empty())
    throw Exception(Format("The password is not that of reader \"%s\" of \"%s\"", password.User.c_str(),
                           fileName.c_str()));
  throw Exception(Format("The password opens none of the %zu readers of \"%s\"", seal->Header().Readers.size(),
                         fileName.c_str()));
}

int CommandList(const std::string& book, std::ostream& out, std::ostream& err) {
  const TBookImage image = LoadBookFile(book);
  const TRes_invoker reader = ReaderOf(image.Block);
  const std::unique_ptr<TSealedBook> seal = TSealedBook::Find(reader);
  int failures = 0;
  for (int i = 0; i < reader.Count(); ++i) {
    const TArchiveEntry entry = reader.GetEntry(i);
    out << i << '\t' << EntryName(entry) << '\t' << entry.Offset << '\t' << entry.Size << '\t';
    // A sealed book's sealed entries show their stored size only: what they
    // hold is nobody's business without a password.
    if (seal && seal->IsSealEntry(i) && EntryName(entry) == kSealReadersName) {
      out << seal->Header().Readers.size() << " readers\n";
      continue;
    }
    TMemoryStream content;
    try {
      // An entry whose data lies outside the file is reported like any
      // other damaged entry, and the listing goes on.
      if (seal && IsSealedEntry(reader.EntryData(i))) {
        out << "sealed\n";
        continue;
      }
      reader.Extract(i, content);
      out << content.Size() << '\n';
    } catch (const Exception& e) {
      out << "error: " << e.Message << '\n';
      ++failures;
    }
  }
  if (seal) {
    std::string names;
    for (const TSealReader& r : seal->Header().Readers)
      names += (names.empty() ? "\"" : ", \"") + Cp1252ToUtf8(r.Name) + "\"";
    out << "sealed book: its pages open with the password of a reader (" << names << "); "
        << seal->Header().Iterations << " iterations of PBKDF2-HMAC-SHA256\n";
  }
  if (failures > 0) {
    err << "bookc: " << failures << " of " << reader.Count() << " entries cannot be inflated\n";
    return 1;
  }
  return 0;
}

int CommandExtract(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args = arguments;
  TPasswordOptions password;
  if (!TakePasswordOptions(args, password, err)) return 2;
  if (args.size() != 2) {
    err << "usage: bookc extract BOOK DESTDIR [--password PW | --password-file FILE] [--user NAME]\n";
    return 2;
  }
  const TOpenedBook book = OpenBookFile(args[0], password);
  const TRes_invoker reader = ReaderOf(book.Block());
  const fs::path root = PathFromUtf8(args[1]);
  std::vector<std::string> written;
  int failures = 0;
  for (int i = 0; i < reader.Count(); ++i) {
    const std::string name = EntryName(reader.GetEntry(i));
    try {
      fs::path target = ExtractPath(root, name);
      // A second entry of the same name keeps its own file beside the first.
      const std::string key = AnsiUpperCase(ReplaceChar(name, '\\', '/'));
      if (std::find(written.begin(), written.end(), key) != written.end()) {
        target += "~" + std::to_string(i);
        err << "bookc: entry " << i << " repeats the name \"" << Cp1252ToUtf8(name) << "\"; written as "
            << Utf8Of(target.filename()) << '\n';
      }
      written.push_back(key);
      TMemoryStream content;
      reader.Extract(i, content);
      fs::create_directories(target.parent_path());
      content.SaveToFile(Utf8Of(target));
      out << Utf8Of(target) << '\n';
    } catch (const Exception& e) {
      err << "bookc: entry " << i << " (\"" << Cp1252ToUtf8(name) << "\"): " << e.Message << '\n';
      ++failures;
    } catch (const fs::filesystem_error& e) {
      err << "bookc: entry " << i << " (\"" << Cp1252ToUtf8(name) << "\"): " << e.what() << '\n';
      ++failures;
    }
  }
  if (book.Sealed)
    err << "bookc: the sealed book opened with the password of reader \"" << Cp1252ToUtf8(book.Reader)
        << "\"; its config.ini is written without [users], which the book does not hold\n";
  return failures > 0 ? 1 : 0;
}

int CommandHex(const std::string& file, std::ostream& out, std::ostream& err) {
  const std::vector<uint8_t> bytes = ReadWholeFile(file, "file", kMaxToolFileSize);
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2 + 1);
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  out << text << '\n';
  return 0;
}

int CommandSettings(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args = arguments;
  TPasswordOptions password;
  if (!TakePasswordOptions(args, password, err)) return 2;
  if (args.size() != 1) {
    err << "usage: bookc settings BOOK [--password PW | --password-file FILE] [--user NAME]\n";
    return 2;
  }
  const TOpenedBook book = OpenBookFile(args[0], password);
  const TRes_invoker reader = ReaderOf(book.Block());
  // Every entry named exactly "config.ini", in directory order, as the
  // viewer reads them.
  TMemoryStream config;
  for (int i = 0; i < reader.Count(); ++i)
    if (EntryName(reader.GetEntry(i)) == "config.ini") reader.Extract(i, config);
  TResSetup settings;
  {
    TResSetupObject setup(config);
    setup.ReadSettings(settings);
  }
  auto printList = [&](const char* label, const TStringList& list) {
    out << label << ": " << list.Count() << '\n';
    for (const auto& line : list) out << "  \"" << line << "\"\n";
  };
  if (book.Sealed)
    out << "Sealed: opened with the password of reader \"" << Cp1252ToUtf8(book.Reader)
        << "\"; the book holds no passwords\n";
  printList("Users", *settings.Users);
  printList("Bookmarks", *settings.Bookmarks);
  printList("About", *settings.About);
  out << "StartPage: \"" << settings.StartPage << "\"\n";
  out << "Title: \"" << settings.Title << "\"\n";
  out << "Resolution: \"" << settings.Resolution << "\"\n";
  out << "Resizable: " << (settings.Resizable ? "true" : "false") << '\n';
  out << "Icon: " << settings.Icon->Size() << " bytes\n";
  for (int i = 0; i < kToolbarButtonCount; ++i) {
    const auto& button = settings.Toolbar[static_cast<size_t>(i)];
    out << "Toolbar " << i << ' ' << kToolbarGlyphKeys[static_cast<size_t>(i)] << ": ";
    if (button.Present)
      out << "present, glyph " << button.Glyph->Size() << " bytes, caption \"" << button.Caption << "\"\n";
    else
      out << "absent, caption \"" << button.Caption << "\"\n";
  }
  FreeSettings(settings);
  return 0;
}

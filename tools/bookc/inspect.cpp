#include <algorithm>
#include <filesystem>
#include <iomanip>

#include "archive/book_file.h"
#include "tools/common/book_image.h"
#include "archive/res_invoker.h"
#include "archive/res_setup.h"
#include "archive/string_routines.h"
#include "runtime/ansi.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"

namespace fs = std::filesystem;

namespace {

TRes_invoker ReaderOf(const TBookImage& image) {
  return TRes_invoker(reinterpret_cast<const THostArchive*>(image.Block.data()),
                      static_cast<int64_t>(image.Block.size()));
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

int CommandList(const std::string& book, std::ostream& out, std::ostream& err) {
  const TBookImage image = LoadBookFile(book);
  const TRes_invoker reader = ReaderOf(image);
  int failures = 0;
  for (int i = 0; i < reader.Count(); ++i) {
    const TArchiveEntry entry = reader.GetEntry(i);
    out << i << '\t' << EntryName(entry) << '\t' << entry.Offset << '\t' << entry.Size << '\t';
    TMemoryStream content;
    try {
      reader.Extract(i, content);
      out << content.Size() << '\n';
    } catch (const Exception& e) {
      out << "error: " << e.Message << '\n';
      ++failures;
    }
  }
  if (failures > 0) {
    err << "bookc: " << failures << " of " << reader.Count() << " entries cannot be inflated\n";
    return 1;
  }
  return 0;
}

int CommandExtract(const std::string& book, const std::string& destination, std::ostream& out, std::ostream& err) {
  const TBookImage image = LoadBookFile(book);
  const TRes_invoker reader = ReaderOf(image);
  const fs::path root = PathFromUtf8(destination);
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

int CommandSettings(const std::string& book, std::ostream& out, std::ostream& err) {
  const TBookImage image = LoadBookFile(book);
  const TRes_invoker reader = ReaderOf(image);
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

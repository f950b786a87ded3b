#include "tools/bookc/check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "archive/book_file.h"
#include "archive/res_invoker.h"
#include "archive/res_setup.h"
#include "archive/string_routines.h"
#include "runtime/ansi.h"
#include "runtime/conversions.h"
#include "runtime/dib_layout.h"
#include "runtime/little_endian.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "server/http/id_http_parser.h"
#include "tools/bookc/bookc.h"
#include "tools/bookc/config_refs.h"
#include "tools/bookc/html_links.h"
#include "tools/common/book_image.h"

namespace {

constexpr char kNavigationPage[] = "/navigation_bar/navigate.h";
constexpr char kAboutPage[] = "/navigation_bar/about.h";
constexpr char kNotFound[] = "\"The given page was not found in eBook\"";

// Button names of the eight toolbar entries, in settings order.
constexpr const char* kButtonNames[kToolbarButtonCount] = {"Back",   "Forward", "Refresh", "Stop",
                                                          "Print",  "Search",  "About",   "Home"};
constexpr int kHomeButton = 7;

// Extensions the full-text search never reads.
constexpr const char* kUnsearched[] = {".JPG", ".GIF", ".ZIP", ".CLASS", ".PNG", ".EXE"};
// Extensions of the pages whose links are followed.
constexpr const char* kPageExtensions[] = {".HTM", ".HTML", ".SHTML", ".XHTML"};

// The extension as the search and the server take it: from the last "."
// on, provided no "\" or ":" follows it.
std::string ExtensionOf(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.find_first_of("\\:", dot) != std::string_view::npos) return {};
  return AsciiUpperCase(name.substr(dot));
}

std::string AsciiLowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

bool OneOf(const std::string& upperExtension, std::span<const char* const> list) {
  return std::any_of(list.begin(), list.end(), [&](const char* e) { return upperExtension == e; });
}

// The key under which the server finds an entry: "/" + name with "/" for
// "\", upper-cased.
std::string EntryKey(std::string_view name) {
  std::string key(1, '/');
  key += ReplaceChar(name, '\\', '/');
  return AnsiUpperCase(key);
}

std::string Quoted(std::string_view text) {
  constexpr size_t kMost = 80;
  std::string shown = Cp1252ToUtf8(text.size() > kMost ? text.substr(0, kMost) : text);
  return "\"" + shown + (text.size() > kMost ? "...\"" : "\"");
}

std::string BookPathText(const std::string& requestPath) { return Quoted(std::string_view(requestPath).substr(1)); }

// Removes "." and ".." segments as a browser does; above is set when a ".."
// had no folder left to leave (the browser then stays at the top).
std::string RemoveDotSegments(std::string_view path, bool& above) {
  std::vector<std::string_view> parts;
  size_t start = 1;  // path starts with "/"
  while (true) {
    const size_t slash = path.find('/', start);
    const std::string_view part = path.substr(start, slash == std::string_view::npos ? std::string_view::npos
                                                                                      : slash - start);
    const bool last = slash == std::string_view::npos;
    if (part == "..") {
      if (parts.empty())
        above = true;
      else
        parts.pop_back();
      if (last) parts.push_back({});
    } else if (part == ".") {
      if (last) parts.push_back({});
    } else {
      parts.push_back(part);
    }
    if (last) break;
    start = slash + 1;
  }
  std::string result;
  for (const auto& part : parts) {
    result += '/';
    result += part;
  }
  return result.empty() ? "/" : result;
}

}  // namespace

TLinkTarget ResolveLink(std::string_view pagePath, std::string_view link, bool about) {
  // Browsers drop blanks around an address and tabs and line breaks inside
  // it, and read "\" as "/" in web addresses.
  std::string text;
  {
    size_t first = 0, last = link.size();
    while (first < last && static_cast<uint8_t>(link[first]) <= ' ') ++first;
    while (last > first && static_cast<uint8_t>(link[last - 1]) <= ' ') --last;
    for (char c : link.substr(first, last - first))
      if (c != '\t' && c != '\n' && c != '\r') text += c == '\\' ? '/' : c;
  }
  TLinkTarget target;
  if (text.empty() || text[0] == '#') return target;

  // A scheme: a letter, then letters, digits, "+", "-" or "." up to ":".
  size_t colon = 0;
  if ((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z')) {
    size_t i = 1;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                               text[i] == '-' || text[i] == '.'))
      ++i;
    if (i < text.size() && text[i] == ':') colon = i;
  }
  if (colon > 0) {
    const std::string scheme = AsciiUpperCase(std::string_view(text).substr(0, colon));
    if (colon == 1 || scheme == "FILE") {
      target.Kind = TLinkTarget::kLocalFile;
      return target;
    }
    if (scheme == "MAILTO" || scheme == "JAVASCRIPT" || scheme == "DATA" || scheme == "ABOUT" || scheme == "TEL")
      return target;
    if (scheme != "HTTP" && scheme != "HTTPS") {
      target.Kind = TLinkTarget::kWeb;
      target.Site = AsciiLowerCase(scheme) + ":";
      return target;
    }
    std::string_view rest = std::string_view(text).substr(colon + 1);
    while (!rest.empty() && rest[0] == '/') rest.remove_prefix(1);
    const size_t hostEnd = std::min(rest.find_first_of("/?#"), rest.size());
    std::string host(rest.substr(0, hostEnd));
    if (const size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
    // The about text's placeholder is replaced by the server's address with
    // its port, so there it is the book's own server.
    if (about && scheme == "HTTP" && host == "ebook_host") {
      std::string path(rest.substr(hostEnd));
      if (path.empty() || path[0] != '/') path.insert(0, "/");
      return ResolveLink("/", path, false);
    }
    if (const size_t port = host.find(':'); port != std::string::npos) host.erase(port);
    target.Kind = AsciiUpperCase(host) == "127.0.0.1" || AsciiUpperCase(host) == "LOCALHOST"
                      ? TLinkTarget::kFixedPort
                      : TLinkTarget::kWeb;
    if (target.Kind == TLinkTarget::kWeb) target.Site = AsciiLowerCase(host);
    return target;
  }
  if (text.size() >= 2 && text[0] == '/' && text[1] == '/') {
    // An address without a scheme: the page's own scheme with another host.
    std::string_view rest = std::string_view(text).substr(2);
    std::string host(rest.substr(0, std::min(rest.find_first_of("/?#"), rest.size())));
    if (const size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
    if (const size_t port = host.find(':'); port != std::string::npos) host.erase(port);
    target.Kind = TLinkTarget::kWeb;
    target.Site = AsciiLowerCase(host);
    return target;
  }
  text = text.substr(0, std::min(text.find('#'), text.size()));
  text = text.substr(0, std::min(text.find('?'), text.size()));
  if (text.empty()) return target;  // only a query: the page itself
  if (text[0] != '/') {
    const size_t slash = pagePath.rfind('/');
    text = std::string(pagePath.substr(0, slash == std::string_view::npos ? 0 : slash + 1)) + text;
    if (text[0] != '/') text.insert(0, "/");
  }
  bool above = false;
  const std::string path = RemoveDotSegments(text, above);
  target.Kind = above ? TLinkTarget::kAboveRoot : TLinkTarget::kBook;
  target.Path = PercentDecode(path);
  return target;
}

std::string BitmapFileProblem(std::span<const uint8_t> bytes) {
  constexpr char kRead[] = "\"Stream read error\" (";
  constexpr char kInvalid[] = "\"Bitmap image is not valid\" (";
  if (bytes.size() < kBitmapFileHeaderSize + 4)
    return std::string(kRead) + (bytes.empty() ? "empty)" : "too short for a bitmap file)");
  if (ReadLe16(bytes.data()) != 0x4D42) return std::string(kInvalid) + "it does not start with \"BM\")";
  const uint32_t bitsOffset = ReadLe32(bytes.data() + 10);
  const uint32_t headerSize = ReadLe32(bytes.data() + kBitmapFileHeaderSize);
  if (!IsKnownDibHeaderSize(headerSize))
    return std::string(kInvalid) + "unknown header size " + std::to_string(headerSize) + ")";
  if (bytes.size() < kBitmapFileHeaderSize + uint64_t{headerSize})
    return std::string(kRead) + "the header is cut short)";
  TDibLayout layout;
  const std::string fault = ReadDibLayout(bytes.data() + kBitmapFileHeaderSize, layout);
  if (!fault.empty()) return std::string(kInvalid) + fault + ")";
  uint64_t end = kBitmapFileHeaderSize + uint64_t{headerSize} + layout.TableBytes;
  if (bitsOffset != 0) {
    if (bitsOffset < end) return std::string(kInvalid) + "the pixels start inside the header)";
    end = bitsOffset;
  }
  if (end + layout.PixelBytes() > bytes.size()) return std::string(kRead) + "the pixels are cut short)";
  return {};
}

std::string IconFileProblem(std::span<const uint8_t> bytes) {
  constexpr char kRead[] = "\"Stream read error\" (";
  constexpr char kInvalid[] = "\"Icon image is not valid\" (";
  if (bytes.size() < 6) return std::string(kRead) + (bytes.empty() ? "empty)" : "too short for an icon file)");
  if (ReadLe16(bytes.data()) != 0 || ReadLe16(bytes.data() + 2) != 1)
    return std::string(kInvalid) + "it does not start as an icon file)";
  const size_t count = ReadLe16(bytes.data() + 4);
  if (count == 0) return std::string(kInvalid) + "no image in it)";
  const uint64_t tableEnd = 6 + 16 * uint64_t{count};
  if (tableEnd > bytes.size()) return std::string(kRead) + "its directory is cut short)";
  uint64_t end = tableEnd;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = bytes.data() + 6 + 16 * i;
    const uint64_t size = ReadLe32(e + 8);
    const uint64_t offset = ReadLe32(e + 12);
    if (offset < tableEnd || size == 0) return std::string(kInvalid) + "image " + std::to_string(i + 1) + " misplaced)";
    end = std::max(end, offset + size);
  }
  if (end > bytes.size()) return std::string(kRead) + "an image is cut short)";
  static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = bytes.data() + 6 + 16 * i;
    const uint32_t size = ReadLe32(e + 8);
    const uint8_t* image = bytes.data() + ReadLe32(e + 12);
    const bool png = size >= 8 && std::equal(kPng, kPng + 8, image);
    const bool dib = size >= 40 && ReadLe32(image) == 40;
    if (!png && !dib)
      return std::string(kInvalid) + "image " + std::to_string(i + 1) + " is neither a bitmap nor a PNG)";
  }
  return {};
}

namespace {

class TBookChecker {
 public:
  TBookChecker(std::span<const uint8_t> block, const TEntryFileName& fileOf, const TCheckNotes& notes)
      : reader_(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size())),
        fileOf_(fileOf),
        notes_(notes) {}

  std::vector<TFinding> Run() {
    ReadDirectory();
    CheckSettings();
    CheckEntries();
    return std::move(findings_);
  }

 private:
  struct TEntry {
    std::string Name;
    std::string Key;
    std::string File;
  };

  void Add(TFindingLevel level, const char* code, const std::string& file, int line, std::string text,
           std::string subject = {}) {
    findings_.push_back({file, line, level, std::move(text), code, std::move(subject)});
  }
  void AddConfig(TFindingLevel level, const char* code, int line, std::string text) {
    Add(level, code, configFile_, line, std::move(text));
  }
  // A value whose file reference failed is reported as that failure alone.
  bool Unresolved(const char* section, const char* key) const {
    return notes_.UnresolvedKeys.count(ConfigKeyId(section, key)) > 0;
  }

  bool InBook(const std::string& requestPath) const {
    return requestPath == kNavigationPage || requestPath == kAboutPage || keys_.count(AnsiUpperCase(requestPath)) > 0;
  }

  void ReadDirectory() {
    ValidateArchiveBlock(std::span(reinterpret_cast<const uint8_t*>(reader_.Archive()),
                                   static_cast<size_t>(*reader_.BlockLength())));
    for (int i = 0; i < reader_.Count(); ++i) {
      TEntry entry;
      entry.Name = EntryName(reader_.GetEntry(i));
      entry.Key = EntryKey(entry.Name);
      entry.File = fileOf_(i, entry.Name);
      if (entry.Name == "config.ini" && configFile_.empty()) configFile_ = entry.File;
      auto [it, added] = keys_.emplace(entry.Key, i);
      // Two entries the server cannot tell apart are sent one after the
      // other as one page; the same holds for the settings, where that is
      // how an archive may split them.
      if (!added && entry.Key != "/CONFIG.INI")
        Add(TFindingLevel::Error, "same-address", entry.File, 0,
            Quoted(entries_[static_cast<size_t>(it->second)].Name) + " and " + Quoted(entry.Name) +
                " are one address for the viewer (letter case and \"\\\" or \"/\" do not count): every request "
                "gets both, one after the other");
      entries_.push_back(std::move(entry));
    }
    if (configFile_.empty()) configFile_ = "config.ini";
  }

  // The hex-encoded value of key: its odd length or first non-hex digit.
  void CheckHex(const char* section, const char* key, const std::string& label) {
    if (!settings_->ValueExists(section, key) || Unresolved(section, key)) return;
    const int line = settings_->KeyLine(section, key);
    const std::string value = settings_->ReadString(section, key, "");
    const size_t bytes = value.size() / 2;
    for (size_t i = 0; i < 2 * bytes; ++i) {
      const char c = value[i];
      if (!std::isxdigit(static_cast<unsigned char>(c))) {
        AddConfig(TFindingLevel::Error, "hex", line,
                  label + " holds " + Quoted(std::string(1, c)) + " at hex digit " + std::to_string(i + 1) +
                      ", which is not a hex digit: the viewer stops decoding there and reads zero bytes for the "
                      "rest");
        break;
      }
    }
    if (value.size() % 2 != 0)
      AddConfig(TFindingLevel::Warning, "hex", line,
                label + " has an odd number of hex digits (" + std::to_string(value.size()) +
                    "): the viewer drops the last one");
  }

  void CheckSettings() {
    TMemoryStream config;
    int wrongCase = -1;
    for (int i = 0; i < reader_.Count(); ++i) {
      const std::string& name = entries_[static_cast<size_t>(i)].Name;
      if (name == "config.ini") {
        try {
          reader_.Extract(i, config);
        } catch (const Exception& e) {
          Add(TFindingLevel::Error, "config-damaged", entries_[static_cast<size_t>(i)].File, 0,
              "cannot be inflated (" + e.Message + "): the viewer does not start at all");
          configFailed_ = i;
          return;
        }
      } else if (AsciiUpperCase(name) == "CONFIG.INI" && wrongCase < 0) {
        wrongCase = i;
      }
    }
    if (wrongCase >= 0)
      Add(TFindingLevel::Warning, "config-name", entries_[static_cast<size_t>(wrongCase)].File, 0,
          "is not read as the book's settings: the viewer reads only entries named exactly \"config.ini\"");

    settings_ = std::make_unique<TResSetupObject>(config);
    TResSetup settings;
    settings_->ReadSettings(settings);

    CheckHex("params", "about", "about");
    CheckHex("Icon", "Bitmap", "[Icon] Bitmap");
    for (int i = 0; i < kToolbarButtonCount; ++i) CheckHex("Toolbar", kToolbarGlyphKeys[static_cast<size_t>(i)],
                                                             kToolbarGlyphKeys[static_cast<size_t>(i)]);

    // The window is set up in this order; the first failure ends the set-up,
    // so what follows it is not applied either.
    const std::string resolution = settings.Resolution;
    const int resolutionLine = settings_->KeyLine("params", "Resolution");
    if (resolution != "Maximized") {
      int32_t width = 0, height = 0;
      const bool hasX = resolution.find('x') != std::string::npos;
      if (!hasX || !TryStrToInt(LeftOfChar(resolution, 'x'), width) ||
          !TryStrToInt(RightOfChar(resolution, 'x'), height)) {
        std::string hint;
        if (AsciiUpperCase(resolution) == "MAXIMIZED")
          hint = "; write \"Maximized\" exactly so";
        else if (!hasX && resolution.find('X') != std::string::npos)
          hint = "; the \"x\" must be lower case";
        AddConfig(TFindingLevel::Error, "resolution", resolutionLine,
                  "Resolution " + Quoted(resolution) +
                      " cannot be read: the viewer takes \"Maximized\" or a width and a height around a lower-case "
                      "\"x\", as in \"800x600\"" + hint +
                      "; every window fails at its set-up and shows no icon, no toolbar of the book and no first "
                      "page");
      } else if (width <= 0 || height <= 0) {
        AddConfig(TFindingLevel::Warning, "resolution", resolutionLine,
                  "Resolution " + Quoted(resolution) + " gives a window of " + std::to_string(width) + " x " +
                      std::to_string(height) + " pixels");
      }
    }

    if (settings_->ValueExists("params", "Resizable")) {
      const std::string text = settings_->ReadString("params", "Resizable", "");
      int32_t value = 0;
      const std::string upper = AsciiUpperCase(text);
      if (!TryStrToInt(text, value) && upper != "FALSE" && upper != "NO" && upper != "OFF" && upper != "0") {
        const bool meantTrue = upper == "TRUE" || upper == "YES" || upper == "ON" || upper == "Y" || upper == "T";
        AddConfig(TFindingLevel::Warning, "resizable", settings_->KeyLine("params", "Resizable"),
                  "Resizable " + Quoted(text) + " is not a number, so the viewer reads it as 0 (not resizable)" +
                      (meantTrue ? "; write 1 for a resizable window" : ""));
      }
    }

    const std::string icon(reinterpret_cast<const char*>(settings.Icon->Memory()),
                           static_cast<size_t>(settings.Icon->Size()));
    const std::string iconProblem = IconFileProblem(std::span(reinterpret_cast<const uint8_t*>(icon.data()), icon.size()));
    if (!iconProblem.empty() && !Unresolved("Icon", "Bitmap")) {
      const int line = settings_->KeyLine("Icon", "Bitmap");
      AddConfig(TFindingLevel::Error, "icon", line,
                std::string(icon.empty() ? "the book has no icon ([Icon] Bitmap is missing or empty)"
                                         : "[Icon] Bitmap is not an icon file") +
                    ": every viewer window fails at its set-up with " + iconProblem +
                    " and shows no toolbar of the book and no first page");
    }

    for (int i = 0; i < kToolbarButtonCount; ++i) {
      const auto& button = settings.Toolbar[static_cast<size_t>(i)];
      const char* glyphKey = kToolbarGlyphKeys[static_cast<size_t>(i)];
      const char* captionKey = kToolbarCaptionKeys[static_cast<size_t>(i)];
      // An empty glyph value shows the button without a picture.
      if (button.Present && button.Glyph->Size() > 0 && !Unresolved("Toolbar", glyphKey)) {
        const std::string problem = BitmapFileProblem(
            std::span(button.Glyph->Memory(), static_cast<size_t>(button.Glyph->Size())));
        if (!problem.empty())
          AddConfig(TFindingLevel::Error, "glyph", settings_->KeyLine("Toolbar", glyphKey),
                    std::string(glyphKey) + " is not a bitmap file: every viewer window fails with " + problem +
                        " when it sets up the " + kButtonNames[i] +
                        " button; the buttons after it and the first page are not set up");
      } else if (!button.Present && settings_->ValueExists("Toolbar", captionKey)) {
        AddConfig(TFindingLevel::Warning, "caption-without-glyph", settings_->KeyLine("Toolbar", captionKey),
                  std::string(captionKey) + " is set but " + glyphKey + " is missing: the " + kButtonNames[i] +
                      " button is not shown (a button shows only with its glyph key)");
      }
    }

    const bool home = settings.Toolbar[kHomeButton].Present;
    const int startLine = settings_->KeyLine("params", "start");
    const std::string startText =
        "start page " + Quoted(settings.StartPage) + (startLine == 0 ? " (the default)" : "");
    const TLinkTarget start = ResolveLink("/", settings.StartPage);
    const std::string consequence =
        home ? "every window opens on " + std::string(kNotFound)
             : "the navigation page's \"Go to start page\" link shows " + std::string(kNotFound);
    if (settings.StartPage.empty() || start.Kind == TLinkTarget::kNone) {
      AddConfig(home ? TFindingLevel::Error : TFindingLevel::Warning, "start-page", startLine,
                startText + " names no page: " +
                    (home ? std::string("every window opens on an empty page")
                          : std::string("the navigation page's \"Go to start page\" link shows an empty page")));
    } else if (start.Kind != TLinkTarget::kBook || start.Path == "/" || !InBook(start.Path)) {
      AddConfig(home ? TFindingLevel::Error : TFindingLevel::Warning, "start-page", startLine,
                startText + " is not in the book: " + consequence);
    }

    // A login asked of readers protects nothing of an unsealed book's file.
    if (settings.Users->Count() > 0 && !notes_.Sealed)
      AddConfig(TFindingLevel::Warning, "users-unsealed", settings_->SectionLine("users"),
                "[users] asks readers to log in, but a book packed without --seal protects nothing: anyone who has "
                "its file can read its pages and these passwords (bookc extract, or any zip tool); pack it with "
                "--seal so that it opens only with a reader's password");

    const std::vector<int> userLines = settings_->SectionLineNumbers("users");
    for (int i = 0; i < settings.Users->Count(); ++i)
      if ((*settings.Users)[i].find('=') == std::string::npos)
        AddConfig(TFindingLevel::Warning, "users-line", userLines[static_cast<size_t>(i)],
                  // Quoting the line would print a password.
                  "[users] line has no \"=\": it admits an empty user name with the whole line as password");

    const std::vector<int> bookmarkLines = settings_->SectionLineNumbers("bookmarks");
    for (int i = 0; i < settings.Bookmarks->Count(); ++i) {
      const std::string& line = (*settings.Bookmarks)[i];
      const int number = bookmarkLines[static_cast<size_t>(i)];
      const TParamRec param = SplitParam(line);
      if (line.find('=') == std::string::npos)
        AddConfig(TFindingLevel::Warning, "bookmarks-line", number,
                  "[bookmarks] line " + Quoted(line) +
                      " has no \"=\": the bookmark has no title, so its link cannot be seen on the navigation page");
      // The navigation page takes a target with "http://" for an address
      // and anything else for a path in the book.
      if (param.Value.find("http://") != std::string::npos) continue;
      const TLinkTarget target = ResolveLink("/", param.Value);
      if (target.Kind == TLinkTarget::kBook && target.Path != "/" && InBook(target.Path)) continue;
      std::string why = target.Kind == TLinkTarget::kWeb || target.Kind == TLinkTarget::kLocalFile
                            ? " has no \"http://\", so the viewer takes it for a path in the book, where it is not"
                            : " is not in the book";
      AddConfig(TFindingLevel::Error, "bookmark-target", number,
                "bookmark " + Quoted(param.Name) + ": target " + Quoted(param.Value) + why);
    }

    // The about page's links, with the placeholder for the server's address.
    std::string about;
    for (const std::string& line : *settings.About) about += line;
    CheckLinks(configFile_, settings_->KeyLine("params", "about"), "/navigation_bar/about.h", about, true);
    FreeSettings(settings);
  }

  // lineOverride: every finding gets that line (the about text has no lines
  // of its own in the file).
  void CheckLinks(const std::string& file, int lineOverride, const std::string& pagePath, std::string_view page,
                  bool about) {
    for (const THtmlLink& link : ScanHtmlLinks(page)) {
      const int line = lineOverride > 0 ? lineOverride : link.Line;
      const std::string what = (about ? "about text: " : "") + link.Attribute + " " + Quoted(link.Value);
      const TLinkTarget target = ResolveLink(pagePath, link.Value, about);
      switch (target.Kind) {
        case TLinkTarget::kNone: break;
        case TLinkTarget::kBook:
          if (target.Path == "/") {
            Add(TFindingLevel::Error, "link-top", file, line,
                what + " leads to the top of the book, which shows an empty page", "/");
          } else if (!InBook(target.Path)) {
            std::string hint;
            if (link.Value.find('+') != std::string::npos)
              hint = " (the server reads \"+\" as a blank; write %2B)";
            else if (notes_.LeftOutPaths.count(AnsiUpperCase(target.Path)) > 0)
              hint = " (config.ini names it with \"@\", which keeps it out of the book; put a copy of it in the "
                     "folder for the pages)";
            Add(TFindingLevel::Error, "link-missing", file, line,
                what + ": " + BookPathText(target.Path) + " is not in the book" + hint, BookPathText(target.Path));
          }
          break;
        case TLinkTarget::kAboveRoot:
          Add(TFindingLevel::Error, "link-above-top", file, line,
              what + " leaves the book: it climbs above the book's top folder", "..");
          break;
        case TLinkTarget::kWeb:
          // Most books link to the web on purpose: worth knowing, not
          // worth a warning, and summarised per site.
          Add(TFindingLevel::Info, "link-web", file, line, what + " leaves the book for the web",
              Cp1252ToUtf8(target.Site));
          break;
        case TLinkTarget::kLocalFile:
          Add(TFindingLevel::Error, "link-local-file", file, line,
              what + " leaves the book: it names a file on this computer, which readers do not have", "file:");
          break;
        case TLinkTarget::kFixedPort:
          Add(TFindingLevel::Warning, "link-fixed-port", file, line,
              what + " names the viewer's server with a fixed address; its port is chosen when the book opens, "
                     "so write the path relative to the page" +
                  (about ? " or with \"http://ebook_host/\"" : ""));
          break;
      }
    }
  }

  void CheckEntries() {
    for (int i = 0; i < reader_.Count(); ++i) {
      const TEntry& entry = entries_[static_cast<size_t>(i)];
      TMemoryStream content;
      try {
        reader_.Extract(i, content);
      } catch (const Exception& e) {
        if (i == configFailed_) continue;
        Add(TFindingLevel::Error, "entry-damaged", entry.File, 0,
            "cannot be inflated (" + e.Message + "): readers see that message instead of its content");
        continue;
      }
      const std::string_view bytes(reinterpret_cast<const char*>(content.Memory()),
                                   static_cast<size_t>(content.Size()));
      const std::string extension = ExtensionOf(entry.Name);
      if (OneOf(extension, kPageExtensions))
        CheckLinks(entry.File, 0, "/" + ReplaceChar(entry.Name, '\\', '/'), bytes, false);
      // Pictures and programs hold nothing to search for; text that the
      // search passes over is worth knowing about.
      const bool text = !bytes.empty() && bytes.find('\0') == std::string_view::npos;
      if (text && i < 2 && entry.Name != "config.ini" && entry.Name != "book.lst")
        Add(TFindingLevel::Info, "search-skips", entry.File, 0, "the search never reads the first two entries of a book");
      else if (text && i >= 2 && OneOf(extension, kUnsearched))
        Add(TFindingLevel::Info, "search-skips", entry.File, 0,
            "the search skips entries named " + AsciiUpperCase(extension) + ", so its text is never found");
    }
  }

  const TRes_invoker reader_;
  const TEntryFileName& fileOf_;
  const TCheckNotes& notes_;
  std::vector<TEntry> entries_;
  std::map<std::string, int> keys_;  // entry key -> first entry index
  std::string configFile_;
  std::unique_ptr<TResSetupObject> settings_;
  int configFailed_ = -1;  // the settings entry already reported as not inflating
  std::vector<TFinding> findings_;
};


}  // namespace

std::vector<TFinding> CheckBookBlock(std::span<const uint8_t> block, const TEntryFileName& fileOf,
                                     const TCheckNotes& notes) {
  return TBookChecker(block, fileOf, notes).Run();
}

TCheckedBook PackAndCheckBookFolder(const std::string& folderName, int level) {
  TBookFolder folder = ReadBookFolder(folderName);
  TCheckedBook book;
  book.Findings = folder.ReferenceProblems;
  for (const TRefusedFile& refused : folder.Refused)
    book.Findings.push_back({Utf8Of(refused.Path), 0, TFindingLevel::Error, refused.Reason, "file-refused", ""});
  // The rest is checked as the book it would make without them.
  folder.Refused.clear();
  TPackOptions options;
  options.Level = level;
  book.Block = PackBookFolder(folder, options);
  std::vector<TFinding> more = CheckBookBlock(
      book.Block, [&](int index, const std::string&) { return FolderEntryFile(folder, index); }, folder.Notes);
  book.Findings.insert(book.Findings.end(), more.begin(), more.end());
  return book;
}

std::vector<TFinding> CheckBookFolder(const std::string& folderName) {
  // Stored without compression, which the reader inflates like any other
  // level.
  return PackAndCheckBookFolder(folderName, 0).Findings;
}

int CommandCheck(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args = arguments;
  TPasswordOptions password;
  if (!TakePasswordOptions(args, password, err)) return 2;
  std::string book;
  TReportOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--verbose") {
      options.Verbose = true;
    } else if (args[i] == "--format" && i + 1 < args.size() && (args[i + 1] == "json" || args[i + 1] == "text")) {
      options.Json = args[++i] == "json";
    } else if (book.empty() && !args[i].starts_with("--")) {
      book = args[i];
    } else {
      err << "usage: bookc check BOOKDIR|BOOK [--verbose] [--format text|json] [--password PW | --password-file "
             "FILE] [--user NAME]\n";
      return 2;
    }
  }
  if (book.empty()) {
    err << "usage: bookc check BOOKDIR|BOOK [--verbose] [--format text|json] [--password PW | --password-file FILE] "
           "[--user NAME]\n";
    return 2;
  }
  std::error_code ec;
  std::vector<TFinding> findings;
  if (std::filesystem::is_directory(PathFromUtf8(book), ec)) {
    findings = CheckBookFolder(book);
  } else {
    // A sealed book is checked as it opens for a reader.
    const TOpenedBook opened = OpenBookFile(book, password);
    TCheckNotes notes;
    notes.Sealed = opened.Sealed;
    findings = CheckBookBlock(opened.Block(), [](int, const std::string& name) { return Cp1252ToUtf8(name); }, notes);
    if (opened.Sealed)
      findings.push_back({"config.ini", 0, TFindingLevel::Info,
                          "the book is sealed; checked as it opens with the password of reader \"" +
                              Cp1252ToUtf8(opened.Reader) + "\"",
                          "sealed", ""});
  }
  out.flush();
  return WriteFindings(std::move(findings), book, out, options) > 0 ? 1 : 0;
}

// "bookc new": a complete starting book, so that an author begins from a book
// that works (every toolbar button, an icon, a start page, a bookmark, an
// about text) and a config.ini that explains itself, instead of from hex.
#include <filesystem>
#include <string>

#include "runtime/ansi.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage = "usage: bookc new DIR [--title TITLE]\n";

// The title as HTML text: markup characters escaped and everything beyond
// ASCII as character references, so that the pages mean the same whatever
// code page a browser reads them in.
std::string HtmlText(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto c = static_cast<uint8_t>(utf8[i]);
    if (c < 0x80) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const size_t length = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    char32_t point = c & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
      point = (point << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    out += "&#" + std::to_string(static_cast<uint32_t>(point)) + ";";
    i += length;
  }
  return out;
}

// config.ini with every section and key, each explained in short.
std::string ConfigText(const std::string& ansiTitle) {
  const char* const lines[] = {
      "; The settings of this book, read by the e-book viewer.",
      "; Lines starting with \";\" are comments. Section names and keys ignore letter",
      "; case; blanks around \"=\" do not count. Write this file in the Windows code",
      "; page (ANSI), as the viewer reads it.",
      ";",
      "; The icon, the toolbar glyphs and the about text name a file here:",
      "; \"@path/to/file\" is a file of this folder (\"/\" or \"\\\" between folders; such",
      "; files are not stored in the book a second time), \"@default\" the icon or",
      "; glyph built into bookc. bookc stores them in the book as the viewer reads",
      "; them. \"bookc check <this folder>\" says what a reader would see wrong.",
      "",
      "[users]",
      "; Readers who may open the book, one name=password a line. With no lines, as",
      "; here, the book opens without a login.",
      "; reader=secret",
      "",
      "[bookmarks]",
      "; Links of the navigation page, one title=target a line: a page of the book",
      "; (its path in this folder), or an address with \"http://\".",
      "Chapter 1=chapter1.htm",
      "",
      "[params]",
      "; The window's caption.",
      "title=@TITLE@",
      "; The first page: its path in this folder, without a leading \"/\".",
      "start=index.htm",
      "; The window's size: width and height with a small \"x\" (1024x768), or",
      "; Maximized.",
      "Resolution=800x600",
      "; 1: the reader may resize the window; 0: it keeps its size.",
      "Resizable=1",
      "; The about page, in HTML: a file of this folder. Its \"http://ebook_host/\"",
      "; stands for the book's own address, for links to its pages.",
      "about=@about.htm",
      "",
      "[Icon]",
      "; The icon of the window and of the e-book program: an icon file (.ico).",
      "Bitmap=@default",
      "",
      "[Toolbar]",
      "; The buttons, in the order the window shows them. A button is shown when",
      "; its glyph key (tb...) is present: remove both lines of a button to leave",
      "; it out, or leave its glyph empty to show it without a picture. A glyph is",
      "; a bitmap file (.bmp, 24 x 24 fits); the colour of its bottom-left pixel",
      "; is left out, so the toolbar shows through. The e... keys are the captions.",
      "tbRegister=@default",
      "eRegister=Home",
      "tbAbout=@default",
      "eAbout=About",
      "tbBack=@default",
      "eBack=Back",
      "tbForward=@default",
      "eForward=Forward",
      "tbRefresh=@default",
      "eRefresh=Refresh",
      "tbSearch=@default",
      "eSearch=Search",
      "tbStop=@default",
      "eStop=Stop",
      "tbPrint=@default",
      "ePrint=Print",
  };
  std::string text;
  for (const char* line : lines) {
    std::string l = line;
    if (l == "title=@TITLE@") l = "title=" + ansiTitle;
    text += l + "\r\n";
  }
  return text;
}

std::string Page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<title>" + title + "</title>\r\n</head>\r\n<body>\r\n" + body +
         "</body>\r\n</html>\r\n";
}

}  // namespace

int CommandNew(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string folder;
  std::string title;
  bool titled = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--title" && i + 1 < args.size()) {
      title = args[++i];
      titled = true;
    } else if (folder.empty() && !args[i].starts_with("--")) {
      folder = args[i];
    } else {
      err << kUsage;
      return 2;
    }
  }
  if (folder.empty()) {
    err << kUsage;
    return 2;
  }
  const fs::path root = PathFromUtf8(folder);
  if (!titled) {
    const fs::path name = root.lexically_normal().filename().empty() ? root.lexically_normal().parent_path().filename()
                                                                      : root.lexically_normal().filename();
    title = Utf8Of(name);
    if (title.empty() || title == "." || title == "..") title = "My Book";
  }
  if (title.find_first_of("\r\n") != std::string::npos) throw Exception("The title must be one line");
  // The caption is read in the ANSI code page; a title it cannot hold would
  // show as question marks.
  const std::string ansiTitle = WideToAnsi(Utf8ToWide(title));
  if (AnsiToWide(ansiTitle) != Utf8ToWide(title))
    throw Exception(Format("The title \"%s\" holds characters that the Windows code page of the viewer cannot show",
                           title.c_str()));

  std::error_code ec;
  if (fs::exists(root, ec)) {
    if (!fs::is_directory(root, ec)) throw Exception(Format("\"%s\" exists and is not a folder", folder.c_str()));
    if (!fs::is_empty(root, ec))
      throw Exception(Format("\"%s\" is not empty: bookc new writes only into a new or empty folder", folder.c_str()));
  }
  fs::create_directories(root, ec);
  if (ec) throw Exception(Format("Cannot create the folder \"%s\": %s", folder.c_str(), ec.message().c_str()));

  const std::string html = HtmlText(title);
  const std::string config = ConfigText(ansiTitle);
  const std::string index = Page(
      html, "<h1>" + html + "</h1>\r\n"
            "<p>This is the start page of the book: index.htm in its folder. Write it, and add pages beside it "
            "(folders too) with links between them.</p>\r\n"
            "<p>Read on in <a href=\"chapter1.htm\">Chapter 1</a>.</p>\r\n");
  const std::string chapter = Page(
      "Chapter 1", "<h1>Chapter 1</h1>\r\n"
                   "<p>A second page, linked from the start page and from the bookmarks of the navigation page.</p>\r\n"
                   "<p>Back to the <a href=\"index.htm\">start page</a>.</p>\r\n");
  const std::string about = "<h2>" + html + "</h2>\r\n"
                            "<p>The about page of the book: about.htm, named in config.ini.</p>\r\n"
                            "<p>Go to the <a href=\"http://ebook_host/index.htm\">start page</a>.</p>\r\n";
  const std::pair<const char*, const std::string*> files[] = {
      {"config.ini", &config}, {"index.htm", &index}, {"chapter1.htm", &chapter}, {"about.htm", &about}};
  for (const auto& [name, content] : files)
    WriteWholeFile(Utf8Of(root / name),
                   std::span(reinterpret_cast<const uint8_t*>(content->data()), content->size()));
  out << "bookc: wrote a new book \"" << title << "\" in " << folder
      << ": config.ini, index.htm, chapter1.htm, about.htm\n"
         "  preview it:   bookserve "
      << folder << "\n  make it:      bookc exe " << folder << " book.exe\n";
  return 0;
}

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "archive/archive_helpers.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"
#include "tools/bookc/check.h"
#include "tools/bookc/html_links.h"

namespace fs = std::filesystem;

namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

void PutU32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// One pixel, 24 bits: file header, information header, one padded row.
std::string OnePixelBitmap() {
  std::string bmp(58, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutU32(bmp, 2, 58);
  PutU32(bmp, 10, 54);
  PutU32(bmp, 14, 40);
  PutU32(bmp, 18, 1);  // width
  PutU32(bmp, 22, 1);  // height
  bmp[26] = 1;         // planes
  bmp[28] = 24;        // bits per pixel
  return bmp;
}

// One 1 x 1 image of 32 bits with its mask.
std::string OnePixelIcon() {
  std::string ico(6 + 16 + 48, '\0');
  ico[2] = 1;  // type: icon
  ico[4] = 1;  // one image
  ico[6] = 1;
  ico[7] = 1;
  ico[10] = 1;
  ico[12] = 32;
  PutU32(ico, 14, 48);  // bytes
  PutU32(ico, 18, 22);  // offset
  PutU32(ico, 22, 40);  // BITMAPINFOHEADER
  PutU32(ico, 26, 1);
  PutU32(ico, 30, 2);  // height of image and mask
  ico[34] = 1;
  ico[36] = 32;
  return ico;
}

class BookcCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("bookc_check_test_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteFile(const fs::path& path, std::string_view content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return RunBookc(args, out_, err_);
  }
  std::string P(const fs::path& path) { return Utf8Of(path); }

  // A book without faults, whose config.ini has fixed line numbers: line 3
  // is params, line 5 the icon, line 7 the Home glyph, line 8 toolbar, and
  // tail starts at line 9.
  struct TBook {
    std::string Params = "Resolution=800x600";
    std::string Icon = Hex(OnePixelIcon());
    std::string Home = "tbRegister=" + Hex(OnePixelBitmap());
    std::string Toolbar = "eRegister=Home";
    std::string Tail;
    std::map<std::string, std::string> Files = {{"index.htm", "<html>\n<p>start</p>\n</html>\n"}};
  };
  fs::path MakeBook(const TBook& book, const std::string& name = "book") {
    const fs::path root = dir_ / name;
    fs::remove_all(root);
    WriteFile(root / "config.ini", "[params]\ntitle=T\n" + book.Params + "\n[Icon]\nBitmap=" + book.Icon +
                                       "\n[Toolbar]\n" + book.Home + "\n" + book.Toolbar + "\n" + book.Tail);
    for (const auto& [file, content] : book.Files) WriteFile(root / fs::path(std::u8string(file.begin(), file.end())), content);
    return root;
  }

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(BookcCheckTest, TheSampleBookAndAFaultlessBookGiveOnlyTheSummary) {
  std::string sample = EBOOK_SAMPLE_BOOK;
#ifdef _WIN32
  if (!sample.empty() && sample[0] == '/') sample = "Z:" + sample;
#endif
  EXPECT_EQ(Run({"check", sample}), 0);
  EXPECT_EQ(out_.str(), "bookc: " + sample + ": 0 errors, 0 warnings, 0 info\n");

  // An empty glyph is a button without a picture, not a fault.
  TBook faultless;
  faultless.Toolbar = "tbStop=";
  const fs::path book = MakeBook(faultless);
  EXPECT_EQ(Run({"check", P(book)}), 0);
  EXPECT_EQ(out_.str(), "bookc: " + P(book) + ": 0 errors, 0 warnings, 0 info\n");
}

// One book per fault: the check names exactly that fault, at its file and
// line, and nothing else; the status says whether it is an error.
TEST_F(BookcCheckTest, EachFaultIsReportedOnceWhereItIs) {
  struct TCase {
    const char* Name;
    std::function<void(TBook&)> Break;
    std::string Where;  // "<file>:<line>: <level>: " or "<file>: <level>: "
    std::string Says;
  };
  const std::vector<TCase> cases = {
      {"no icon", [](TBook& b) { b.Icon.clear(); }, "config.ini:5: error: ", "the book has no icon"},
      {"icon not an icon", [](TBook& b) { b.Icon = Hex(OnePixelBitmap()); }, "config.ini:5: error: ",
       "\"Icon image is not valid\""},
      {"icon cut short", [](TBook& b) { b.Icon.resize(b.Icon.size() - 2); }, "config.ini:5: error: ",
       "\"Stream read error\" (an image is cut short)"},
      {"start page missing", [](TBook& b) { b.Params = "start=Chapter1.htm"; }, "config.ini:3: error: ",
       "start page \"Chapter1.htm\" is not in the book: every window opens on"},
      {"default start page missing",
       [](TBook& b) { b.Files = {{"home.htm", "x"}}; }, "config.ini: error: ",
       "start page \"index.htm\" (the default) is not in the book"},
      {"start page missing without Home",
       [](TBook& b) {
         b.Params = "start=gone.htm";
         b.Home = "; no Home button";
         b.Toolbar = "tbBack=" + Hex(OnePixelBitmap());
       },
       "config.ini:3: warning: ", "the navigation page's \"Go to start page\" link"},
      {"upper-case X", [](TBook& b) { b.Params = "Resolution=1024X768"; }, "config.ini:3: error: ",
       "Resolution \"1024X768\" cannot be read"},
      {"the occurrence that is read", [](TBook& b) { b.Tail = "[PARAMS]\nresolution=640x480\nResolution=1x1X\n"; },
       "config.ini:11: error: ", "Resolution \"1x1X\" cannot be read"},
      {"maximized in small letters", [](TBook& b) { b.Params = "Resolution=maximized"; }, "config.ini:3: error: ",
       "write \"Maximized\" exactly so"},
      {"resolution without height", [](TBook& b) { b.Params = "Resolution=800x"; }, "config.ini:3: error: ",
       "Resolution \"800x\" cannot be read"},
      {"Resizable true", [](TBook& b) { b.Params = "Resizable=true"; }, "config.ini:3: warning: ",
       "reads it as 0 (not resizable); write 1"},
      {"Resizable yes", [](TBook& b) { b.Params = "Resizable=Yes"; }, "config.ini:3: warning: ", "write 1"},
      {"glyph not a bitmap", [](TBook& b) { b.Toolbar = "tbBack=" + Hex("GIF89a" + std::string(60, '\1')); }, "config.ini:8: error: ",
       "tbBack is not a bitmap file: every viewer window fails with \"Bitmap image is not valid\""},
      {"glyph cut short", [](TBook& b) { b.Toolbar = "tbStop=" + Hex(OnePixelBitmap().substr(0, 56)); },
       "config.ini:8: error: ", "\"Stream read error\" (the pixels are cut short) when it sets up the Stop button"},
      {"caption without glyph", [](TBook& b) { b.Toolbar = "eBack=Back"; }, "config.ini:8: warning: ",
       "eBack is set but tbBack is missing: the Back button is not shown"},
      {"odd hex", [](TBook& b) { b.Params = "about=3C703"; }, "config.ini:3: warning: ",
       "about has an odd number of hex digits (5)"},
      {"non-hex digit", [](TBook& b) { b.Params = "about=3C7O3E"; }, "config.ini:3: error: ",
       "about holds \"O\" at hex digit 4"},
      {"readers in a book that is not sealed", [](TBook& b) { b.Tail = "[users]\nreader=secret\n"; },
       "config.ini:9: warning: ", "anyone who has its file can read its pages and these passwords"},
      {"bookmark without =", [](TBook& b) { b.Tail = "[bookmarks]\nindex.htm\n"; }, "config.ini:10: warning: ",
       "[bookmarks] line \"index.htm\" has no \"=\""},
      {"bookmark to a missing page", [](TBook& b) { b.Tail = "[bookmarks]\nStart=index.htm\nTides=tides.htm\n"; },
       "config.ini:11: error: ", "bookmark \"Tides\": target \"tides.htm\" is not in the book"},
      {"bookmark with https", [](TBook& b) { b.Tail = "[bookmarks]\nSite=https://example.org/\n"; },
       "config.ini:10: error: ", "has no \"http://\", so the viewer takes it for a path in the book"},
      {"about link to a missing page",
       [](TBook& b) { b.Params = "about=" + Hex("<a href=\"http://ebook_host/credits.htm\">c</a>"); },
       "config.ini:3: error: ", "about text: href \"http://ebook_host/credits.htm\": \"credits.htm\" is not"},
      {"link to a missing page",
       [](TBook& b) { b.Files["index.htm"] = "<html>\r\n<a href=\"chapters/one.htm\">1</a>\r\n"; },
       "index.htm:2: error: ", "href \"chapters/one.htm\": \"chapters/one.htm\" is not in the book"},
      {"picture missing", [](TBook& b) { b.Files["index.htm"] = "<p>\n\n<img\n src=pics/cover.png>"; },
       "index.htm:4: error: ", "src \"pics/cover.png\""},
      {"link above the top", [](TBook& b) { b.Files["sub/a.htm"] = "<a href=\"../../index.htm\">up</a>"; },
       "sub/a.htm:1: error: ", "leaves the book: it climbs above the book's top folder"},
      {"link to the web", [](TBook& b) { b.Files["index.htm"] = "<a href='http://example.org/'>x</a>"; },
       "index.htm:1: info: ", "leaves the book for the web"},
      {"link to a file", [](TBook& b) { b.Files["index.htm"] = "<a href=\"C:\\book\\index.htm\">x</a>"; },
       "index.htm:1: error: ", "names a file on this computer"},
      {"fixed port", [](TBook& b) { b.Files["index.htm"] = "<img src=\"http://127.0.0.1:5055/index.htm\">"; },
       "index.htm:1: warning: ", "fixed address"},
      {"plus in a link", [](TBook& b) { b.Files["index.htm"] = "<a href=\"a+b.htm\">x</a>"; b.Files["a+b.htm"] = "x"; },
       "index.htm:1: error: ", "\"a b.htm\" is not in the book (the server reads \"+\" as a blank"},
      {"text the search skips", [](TBook& b) { b.Files["help.class"] = "plain words"; }, "help.class: info: ",
       "the search skips entries named .CLASS"},
      {"name without Windows-1252 form", [](TBook& b) { b.Files["\xE4\xB8\xAD.htm"] = "x"; },
       "\xE4\xB8\xAD.htm: error: ", "its name has no Windows-1252 form"},
      {"reserved name", [](TBook& b) { b.Files["book.lst"] = "x"; }, "book.lst: error: ",
       "the name book.lst is reserved"},
#ifndef _WIN32
      {"name too long", [](TBook& b) { b.Files[std::string(250, 'n') + "/page.htm"] = "x"; },
       std::string(250, 'n') + "/page.htm: error: ", "its name is 259 bytes long, at most 255 fit"},
      {"names one letter case apart", [](TBook& b) { b.Files["Index.htm"] = "y"; }, "index.htm: error: ",
       "\"Index.htm\" and \"index.htm\" are one address"},
#endif
  };
  for (const TCase& c : cases) {
    TBook book;
    c.Break(book);
    const fs::path root = MakeBook(book);
    const int status = Run({"check", P(root)});
    // The file as the system writes paths (on Windows with "\\"), then
    // the line and level.
    const size_t colon = c.Where.find(':');
    const std::string file = c.Where.substr(0, colon);
    const std::string expected =
        P(root / fs::path(std::u8string(file.begin(), file.end())).make_preferred()) + c.Where.substr(colon);
    const std::string output = out_.str();
    const size_t newline = output.find('\n');
    ASSERT_NE(newline, std::string::npos) << c.Name;
    const std::string first = output.substr(0, newline);
    EXPECT_EQ(first.substr(0, expected.size()), expected) << c.Name << "\n" << output;
    EXPECT_NE(first.find(c.Says), std::string::npos) << c.Name << "\n" << output;
    const bool error = c.Where.find(": error: ") != std::string::npos;
    const bool warning = c.Where.find(": warning: ") != std::string::npos;
    EXPECT_EQ(output.substr(newline + 1), "bookc: " + P(root) + ": " + (error ? "1 error, " : "0 errors, ") +
                                              (warning ? "1 warning, " : "0 warnings, ") +
                                              (!error && !warning ? "1 info\n" : "0 info\n"))
        << c.Name << ": exactly one finding";
    EXPECT_EQ(status, error ? 1 : 0) << c.Name;
  }
}

TEST_F(BookcCheckTest, AReaderLineWithoutEqualsIsNamedByItsPlaceNotItsPassword) {
  TBook book;
  book.Tail = "[users]\nreader=secret\nopen sesame\n";
  const fs::path root = MakeBook(book);
  Run({"check", P(root), "--format", "json"});
  const std::string json = out_.str();
  EXPECT_EQ(json.find("open sesame"), std::string::npos) << json;
  Run({"check", P(root)});
  const std::string output = out_.str();
  EXPECT_NE(output.find("config.ini:11: warning: [users] line has no \"=\""), std::string::npos) << output;
  EXPECT_EQ(output.find("open sesame"), std::string::npos) << "the line is the password\n" << output;
}

TEST_F(BookcCheckTest, ResolutionIsReadAsTheViewerSizesItsWindow) {
  // The viewer converts each side with the platform's integer conversion,
  // which takes hexadecimal too.
  for (const char* good : {"Maximized", "1024x768", "$400x$300", "+800x600"}) {
    TBook book;
    book.Params = std::string("Resolution=") + good;
    Run({"check", P(MakeBook(book))});
    EXPECT_EQ(out_.str().find("error: Resolution"), std::string::npos) << good << ": " << out_.str();
  }
  for (const char* bad : {"x600", "1024 x 768", "1024x768px", "800*600", "", "0x400x300"}) {
    TBook book;
    book.Params = std::string("Resolution=") + bad;
    EXPECT_EQ(Run({"check", P(MakeBook(book))}), 1) << bad;
    EXPECT_NE(out_.str().find("cannot be read"), std::string::npos) << bad << ": " << out_.str();
  }
}

// The server matches "/" + the entry's name, letter case ignored and "\"
// read as "/", after decoding the request path; links resolve against the
// page's folder as a browser resolves them.
TEST(BookcResolveLink, FollowsTheBrowserAndTheServer) {
  struct TCase {
    const char* Page;
    const char* Link;
    TLinkTarget::TKind Kind;
    const char* Path;
  };
  const TCase cases[] = {
      {"/index.htm", "chapters/one.htm", TLinkTarget::kBook, "/chapters/one.htm"},
      {"/chapters/one.htm", "two.htm#top", TLinkTarget::kBook, "/chapters/two.htm"},
      {"/chapters/one.htm", "../index.htm?x=1", TLinkTarget::kBook, "/index.htm"},
      {"/chapters/one.htm", "/pics/a%20b.png", TLinkTarget::kBook, "/pics/a b.png"},
      {"/chapters/one.htm", "..\\pics\\c.gif", TLinkTarget::kBook, "/pics/c.gif"},
      {"/chapters/one.htm", "./sub/./x.htm", TLinkTarget::kBook, "/chapters/sub/x.htm"},
      {"/a/b.htm", "../../x.htm", TLinkTarget::kAboveRoot, "/x.htm"},
      {"/index.htm", "  \tone.htm\n ", TLinkTarget::kBook, "/one.htm"},
      {"/index.htm", "#section", TLinkTarget::kNone, ""},
      {"/index.htm", "?q=1", TLinkTarget::kNone, ""},
      {"/index.htm", "mailto:a@b.c", TLinkTarget::kNone, ""},
      {"/index.htm", "JavaScript:void(0)", TLinkTarget::kNone, ""},
      {"/index.htm", "https://example.org/x", TLinkTarget::kWeb, ""},
      {"/index.htm", "//example.org/x", TLinkTarget::kWeb, ""},
      {"/index.htm", "ftp://example.org/x", TLinkTarget::kWeb, ""},
      {"/index.htm", "file:///c:/x.htm", TLinkTarget::kLocalFile, ""},
      {"/index.htm", "d:\\x.htm", TLinkTarget::kLocalFile, ""},
      {"/index.htm", "http://LOCALHOST:5056/x.htm", TLinkTarget::kFixedPort, ""},
      {"/index.htm", "http://ebook_host/x.htm", TLinkTarget::kWeb, ""},
  };
  for (const TCase& c : cases) {
    const TLinkTarget target = ResolveLink(c.Page, c.Link);
    EXPECT_EQ(target.Kind, c.Kind) << c.Link;
    EXPECT_EQ(target.Path, c.Path) << c.Link;
  }
  // In the about text the placeholder is the book's own server.
  const TLinkTarget about = ResolveLink("/navigation_bar/about.h", "http://ebook_host/chapters/x.htm", true);
  EXPECT_EQ(about.Kind, TLinkTarget::kBook);
  EXPECT_EQ(about.Path, "/chapters/x.htm");
  EXPECT_EQ(ResolveLink("/navigation_bar/about.h", "x.htm", true).Path, "/navigation_bar/x.htm")
      << "the about page lives below navigation_bar/";
}

TEST(BookcScanHtmlLinks, ReadsAttributesAsABrowserDoes) {
  const std::string page =
      "<html>\r\n"
      "<A HREF=\"one.htm\">1</A> <img src='p.png' alt=\"<a href=x>\">\r"
      "<!-- <a href=\"commented.htm\"> -->\n"
      "<script src=s.js>if (a<b) document.write('<a href=\"js.htm\">');</SCRIPT>\n"
      "<a\n  title=x\n  href = a&amp;b.htm>2</a><a href=\"&#x41;&#66;.htm\"><a href>\n"
      "<style>a { background: url(\"<img src=nothing>\") }</style><link href=\"c.css\"/>\n"
      "<a href=\"cut";
  const std::vector<THtmlLink> links = ScanHtmlLinks(page);
  std::vector<std::string> found;
  for (const auto& l : links) found.push_back(std::to_string(l.Line) + " " + l.Attribute + " " + l.Value);
  EXPECT_EQ(found, (std::vector<std::string>{"2 href one.htm", "2 src p.png", "4 src s.js", "7 href a&b.htm",
                                             "7 href AB.htm", "8 href c.css", "9 href cut"}));
}

TEST(BookcGraphicsProblems, FollowTheViewersLoaders) {
  const std::string bmp = OnePixelBitmap();
  auto span = [](const std::string& s) { return std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()); };
  EXPECT_EQ(BitmapFileProblem(span(bmp)), "");
  std::string wide = bmp;
  PutU32(wide, 18, 100);  // 100 pixels wide, still one row of 4 bytes
  EXPECT_EQ(BitmapFileProblem(span(wide)), "\"Stream read error\" (the pixels are cut short)");
  std::string deep = bmp;
  deep[28] = 7;
  EXPECT_EQ(BitmapFileProblem(span(deep)), "\"Bitmap image is not valid\" (7 bits per pixel)");
  std::string overlap = bmp;
  PutU32(overlap, 10, 20);
  EXPECT_NE(BitmapFileProblem(span(overlap)).find("start inside the header"), std::string::npos);

  const std::string ico = OnePixelIcon();
  EXPECT_EQ(IconFileProblem(span(ico)), "");
  std::string cursor = ico;
  cursor[2] = 2;
  EXPECT_NE(IconFileProblem(span(cursor)).find("Icon image is not valid"), std::string::npos);
  std::string beyond = ico;
  PutU32(beyond, 18, 0xFFFFFFF0u);  // offset + size past 32 bits
  EXPECT_NE(IconFileProblem(span(beyond)).find("Stream read error"), std::string::npos);
}

// An archive from anywhere: what bookc pack never makes is still reported.
TEST_F(BookcCheckTest, ArchiveFilesAreCheckedByEntryName) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[params]\nstart=Pages\\Start.htm\n[Icon]\nBitmap=" + Hex(OnePixelIcon()) + "\n");
  builder.Add("readme.txt", "words");
  builder.Add("pages/start.htm", "<a href=\"next.htm\">next</a>");
  builder.Add("PAGES\\START.HTM", "second");
  builder.AddRaw("broken.htm", Bytes("not zlib"));
  builder.Add("Config.ini", "[params]\ntitle=never read\n");
  WriteWholeFile(P(dir_ / "b.bin"), builder.Build());
  EXPECT_EQ(Run({"check", P(dir_ / "b.bin")}), 1);
  // Errors first.
  EXPECT_EQ(out_.str(),
            "PAGES\\START.HTM: error: \"pages/start.htm\" and \"PAGES\\START.HTM\" are one address for the viewer "
            "(letter case and \"\\\" or \"/\" do not count): every request gets both, one after the other\n"
            "broken.htm: error: cannot be inflated (data error): readers see that message instead of its content\n"
            "pages/start.htm:1: error: href \"next.htm\": \"pages/next.htm\" is not in the book\n"
            "Config.ini: warning: is not read as the book's settings: the viewer reads only entries named exactly "
            "\"config.ini\"\n"
            "readme.txt: info: the search never reads the first two entries of a book\n"
            "bookc: " + P(dir_ / "b.bin") + ": 3 errors, 1 warning, 1 info\n");
}

TEST_F(BookcCheckTest, PackAndExePrintTheFindingsAndStrictStopsThem) {
  TBook book;
  book.Params = "Resolution=1024X768";
  const fs::path root = MakeBook(book);
  ASSERT_EQ(Run({"pack", P(root), P(dir_ / "b.bin")}), 0) << err_.str();
  EXPECT_NE(err_.str().find(P(root / "config.ini") + ":3: error: Resolution"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("1 error, 0 warnings"), std::string::npos) << err_.str();
  EXPECT_TRUE(fs::exists(dir_ / "b.bin"));
  EXPECT_EQ(out_.str().find("error"), std::string::npos) << "findings go to stderr only";

  EXPECT_EQ(Run({"pack", P(root), P(dir_ / "strict.bin"), "--strict"}), 1);
  EXPECT_NE(err_.str().find(":3: error: Resolution"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("nothing written"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "strict.bin"));

  // Warnings alone do not stop --strict, and a faultless book prints nothing.
  book.Params = "Resizable=yes";
  MakeBook(book);
  EXPECT_EQ(Run({"pack", P(root), P(dir_ / "warned.bin"), "--strict"}), 0) << err_.str();
  EXPECT_TRUE(fs::exists(dir_ / "warned.bin"));
  book.Params = "Resizable=1";
  MakeBook(book);
  EXPECT_EQ(Run({"pack", P(root), P(dir_ / "clean.bin")}), 0);
  EXPECT_EQ(err_.str(), "");

  book.Icon.clear();
  MakeBook(book);
  std::string host(0x40, '\0');
  host[0] = 'M';
  host[1] = 'Z';
  host[0x3C] = 0x40;
  host += std::string("PE\0\0\x4C\x01", 6);
  WriteFile(dir_ / "tools" / "ebookhost.exe", host);
  WriteFile(dir_ / "tools" / "ebookview.dll", host);
  fs::create_directories(dir_ / "out");
  EXPECT_EQ(Run({"exe", P(root), P(dir_ / "out" / "b.exe"), "--host", P(dir_ / "tools" / "ebookhost.exe"),
                 "--strict"}),
            1);
  EXPECT_NE(err_.str().find(":5: error: the book has no icon"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "out" / "b.exe"));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "ebookview.dll"));
  EXPECT_EQ(Run({"exe", P(root), P(dir_ / "out" / "b.exe"), "--host", P(dir_ / "tools" / "ebookhost.exe")}), 0)
      << err_.str();
  EXPECT_NE(err_.str().find(":5: error: the book has no icon"), std::string::npos) << err_.str();
  EXPECT_TRUE(fs::exists(dir_ / "out" / "b.exe"));
}

}  // namespace

// Writing a book without hex: "bookc new", files named in config.ini, the
// built-in pictures, and the check's report as an author reads it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "archive/archive_helpers.h"
#include "archive/res_setup.h"
#include "runtime/ansi.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"
#include "tools/bookc/check.h"
#include "tools/bookc/config_refs.h"
#include "tools/bookc/default_art.h"
#include "tools/common/book_image.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::span<const uint8_t> Span(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

class AuthoringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("bookc_authoring_test_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteFile(const fs::path& path, std::string_view content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return RunBookc(args, out_, err_);
  }
  std::string P(const fs::path& path) { return Utf8Of(path); }

  // The entries of a packed book, by name.
  std::map<std::string, std::string> Entries(const fs::path& file) {
    const TBookImage image = LoadBookFile(P(file));
    const TRes_invoker reader(reinterpret_cast<const THostArchive*>(image.Block.data()),
                              static_cast<int64_t>(image.Block.size()));
    std::map<std::string, std::string> entries;
    for (int i = 0; i < reader.Count(); ++i) {
      TMemoryStream content;
      reader.Extract(i, content);
      entries[EntryName(reader.GetEntry(i))] = content.ToString();
    }
    return entries;
  }

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

// ---- the built-in pictures --------------------------------------------------

TEST(DefaultArt, GlyphsAreDistinctBitmapsTheViewerLoadsWithTheKeyColourInTheirCorner) {
  std::vector<std::vector<uint8_t>> glyphs;
  for (int i = 0; i < kToolbarButtonCount; ++i) {
    const std::vector<uint8_t> glyph = DefaultGlyphFile(i);
    EXPECT_EQ(BitmapFileProblem(glyph), "") << "glyph " << i;
    ASSERT_EQ(glyph.size(), 54u + 24 * 24 * 3) << "24 x 24, 24 bits";
    // The bottom-left pixel is the first of the bottom-up rows: the colour
    // the viewer leaves out. No drawn pixel may have it.
    const uint32_t key = glyph[54] | glyph[55] << 8 | static_cast<uint32_t>(glyph[56]) << 16;
    EXPECT_EQ(key, kDefaultGlyphKey) << "glyph " << i;
    size_t drawn = 0;
    for (size_t p = 54; p < glyph.size(); p += 3)
      drawn += (glyph[p] | glyph[p + 1] << 8 | static_cast<uint32_t>(glyph[p + 2]) << 16) != key;
    EXPECT_GT(drawn, 40u) << "glyph " << i << " shows a picture";
    EXPECT_LT(drawn, 24u * 24 - 100) << "glyph " << i << " leaves the toolbar showing around it";
    for (size_t j = 0; j < glyphs.size(); ++j) EXPECT_NE(glyph, glyphs[j]) << "glyphs " << j << " and " << i;
    glyphs.push_back(glyph);
  }
}

TEST(DefaultArt, IconIsAnIconFileWithEverySizeAndItsMask) {
  const std::vector<uint8_t> icon = DefaultIconFile();
  EXPECT_EQ(IconFileProblem(icon), "");
  ASSERT_GE(icon.size(), 6u);
  EXPECT_EQ(icon[4], 4) << "16, 24, 32 and 48 pixels";
  for (size_t i = 0; i < 4; ++i) {
    const uint8_t* entry = icon.data() + 6 + 16 * i;
    const int size = entry[0];
    const uint32_t bytes = entry[8] | entry[9] << 8 | entry[10] << 16;
    // 32-bit colour image and a mask whose rows are whole 32-bit words.
    EXPECT_EQ(bytes, 40u + size * size * 4 + ((size + 31) / 32) * 4 * size) << size;
  }
}

// ---- files named in config.ini ------------------------------------------------

TEST_F(AuthoringTest, ReferencesBecomeTheHexOfTheFilesTheyName) {
  const std::string glyph = Text(DefaultGlyphFile(3));
  const std::string icon = Text(DefaultIconFile());
  WriteFile(dir_ / "art" / "stop.bmp", glyph);
  WriteFile(dir_ / "art" / "book.ico", icon);
  WriteFile(dir_ / "about.htm", "<p>about</p>");
  const std::string config =
      "; comment\r\n"
      "[params]\r\n"
      "title = @not a reference\r\n"
      "About =  @about.htm  \r\n"
      "[ICON]\n"
      "bitmap=@art\\book.ico\n"
      "[Toolbar]\r"
      "tbStop=@ art/stop.bmp\r"
      "tbBack=@Default\r\n"
      "tbForward=\r\n"
      "tbSearch=424D\r\n"
      "[other]\r\n"
      "tbBack=@art/stop.bmp\r\n";
  const TConfigReferences refs = ResolveConfigReferences(Span(config), dir_, "config.ini");
  EXPECT_TRUE(refs.Problems.empty()) << refs.Problems.front().Text;
  EXPECT_EQ(Text(refs.Text),
            "; comment\r\n"
            "[params]\r\n"
            "title = @not a reference\r\n"
            "About =  " + HexText(Span("<p>about</p>")) + "  \r\n"
            "[ICON]\n"
            "bitmap=" + HexText(Span(icon)) + "\n"
            "[Toolbar]\r"
            "tbStop=" + HexText(Span(glyph)) + "\r"
            "tbBack=" + HexText(DefaultGlyphFile(0)) + "\r\n"
            "tbForward=\r\n"
            "tbSearch=424D\r\n"
            "[other]\r\n"
            "tbBack=@art/stop.bmp\r\n")
      << "only the hex keys of their own sections change, and every other byte stays";
  EXPECT_EQ(refs.Files.size(), 3u);
}

TEST_F(AuthoringTest, AReferenceThatCannotBeUsedIsAnErrorAtItsKeyAndLine) {
  WriteFile(dir_ / "art" / "cover.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, 'x'));
  WriteFile(dir_ / "art" / "glyph.bmp", Text(DefaultGlyphFile(0)));
  WriteFile(dir_ / "about.bin", std::string("<p>\0</p>", 8));
  fs::create_directories(dir_ / "art" / "folder.bmp");
  struct TCase {
    std::string Line;
    std::string Says;
  };
  const TCase cases[] = {
      {"[Toolbar]\ntbBack=@art/missing.bmp", "tbBack \"@art/missing.bmp\" names art/missing.bmp, which is not in"},
      {"[Toolbar]\ntbPrint=@art/cover.png", "tbPrint \"@art/cover.png\" names art/cover.png, which is not a bitmap file"},
      {"[Icon]\nBitmap=@art/glyph.bmp", "[Icon] Bitmap \"@art/glyph.bmp\" names art/glyph.bmp, which is not an icon"},
      {"[params]\nabout=@about.bin", "which is not a text file"},
      {"[params]\nabout=@default", "has no built-in default"},
      {"[Toolbar]\ntbStop=@../outside.bmp", "leaves the book folder"},
      {"[Toolbar]\ntbStop=@/etc/passwd", "is not a path inside the book folder"},
      {"[Toolbar]\ntbStop=@C:\\art\\x.bmp", "is not a path inside the book folder"},
      {"[Toolbar]\ntbStop=@", "names no file"},
      {"[Toolbar]\ntbStop=@art/folder.bmp", "cannot be read"},
  };
  for (const TCase& c : cases) {
    const std::string config = "[params]\ntitle=x\n" + c.Line + "\neStop=Stop\n";
    const TConfigReferences refs = ResolveConfigReferences(Span(config), dir_, "book/config.ini");
    ASSERT_EQ(refs.Problems.size(), 1u) << c.Line;
    const TFinding& problem = refs.Problems[0];
    EXPECT_EQ(problem.File, "book/config.ini");
    EXPECT_EQ(problem.Line, 4) << c.Line;
    EXPECT_EQ(problem.Level, TFindingLevel::Error);
    EXPECT_NE(problem.Text.find(c.Says), std::string::npos) << problem.Text;
    // The value is left empty rather than as a hex value the viewer would
    // misread, and the key is marked so that the check stays quiet on it.
    const std::string key = c.Line.substr(c.Line.find('\n') + 1, c.Line.find('=') - c.Line.find('\n'));
    EXPECT_NE(Text(refs.Text).find("\n" + key + "\neStop"), std::string::npos) << Text(refs.Text);
    EXPECT_EQ(refs.UnresolvedKeys.size(), 1u);
  }
}

TEST_F(AuthoringTest, NamesAreReadInTheAnsiCodePageAndAsUtf8) {
  const std::string glyph = Text(DefaultGlyphFile(1));
  WriteFile(dir_ / fs::path(u8"caf\u00e9.bmp"), glyph);
  for (const std::string& written : {std::string("caf\xE9.bmp"), std::string("caf\xC3\xA9.bmp")}) {
    const std::string config = "[Toolbar]\ntbForward=@" + written + "\n";
    const TConfigReferences refs = ResolveConfigReferences(Span(config), dir_, "config.ini");
    EXPECT_TRUE(refs.Problems.empty()) << written << ": " << (refs.Problems.empty() ? "" : refs.Problems[0].Text);
    EXPECT_EQ(Text(refs.Text), "[Toolbar]\ntbForward=" + HexText(Span(glyph)) + "\n");
  }
}

TEST_F(AuthoringTest, PackStoresTheHexFormAndLeavesTheNamedFilesOut) {
  const fs::path book = dir_ / "book";
  WriteFile(book / "index.htm", "<p>start</p>");
  WriteFile(book / "about.htm", "<p>about</p>");
  WriteFile(book / "art" / "icon.ico", Text(DefaultIconFile()));
  WriteFile(book / "art" / "notes.txt", "kept");
  WriteFile(book / "config.ini", "[params]\nabout=@about.htm\n[Icon]\nBitmap=@art/icon.ico\n[Toolbar]\n"
                                  "tbRegister=@default\neRegister=Home\n");
  ASSERT_EQ(Run({"pack", P(book), P(dir_ / "b.bin")}), 0) << err_.str();
  EXPECT_EQ(err_.str(), "") << "a book without faults";
  const auto entries = Entries(dir_ / "b.bin");
  EXPECT_EQ(entries.at("config.ini"), "[params]\nabout=" + HexText(Span("<p>about</p>")) + "\n[Icon]\nBitmap=" +
                                          HexText(DefaultIconFile()) + "\n[Toolbar]\ntbRegister=" +
                                          HexText(DefaultGlyphFile(7)) + "\neRegister=Home\n");
  EXPECT_EQ(entries.count("about.htm"), 0u);
  EXPECT_EQ(entries.count("art/icon.ico"), 0u);
  EXPECT_EQ(entries.count("art/notes.txt"), 1u) << "files not named stay in the book";
  EXPECT_EQ(entries.at("book.lst"), "art/notes.txt\t4\r\nindex.htm\t12\r\n");

  // A page that links to a named file learns why it is not in the book.
  WriteFile(book / "index.htm", "<a href=\"about.htm\">about</a>");
  EXPECT_EQ(Run({"check", P(book)}), 1);
  EXPECT_NE(out_.str().find("\"about.htm\" is not in the book (config.ini names it with \"@\""), std::string::npos)
      << out_.str();
}

TEST_F(AuthoringTest, PackAndExeWriteNothingWhileAReferenceFailsAndCheckSaysItOnce) {
  const fs::path book = dir_ / "book";
  WriteFile(book / "index.htm", "<p>start</p>");
  WriteFile(book / "config.ini", "[params]\ntitle=T\n[Icon]\nBitmap=@art/icon.ico\n[Toolbar]\ntbRegister=@default\n");
  EXPECT_EQ(Run({"pack", P(book), P(dir_ / "b.bin")}), 1);
  EXPECT_NE(err_.str().find(P(book / "config.ini") + ":4: error: [Icon] Bitmap \"@art/icon.ico\""),
            std::string::npos)
      << err_.str();
  EXPECT_NE(err_.str().find("nothing written"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "b.bin"));

  EXPECT_EQ(Run({"check", P(book)}), 1);
  EXPECT_EQ(out_.str().find("has no icon"), std::string::npos) << "the failed reference is the one error: "
                                                                 << out_.str();
  EXPECT_NE(out_.str().find(": 1 error, 0 warnings, 0 info"), std::string::npos) << out_.str();
}

// ---- bookc new ------------------------------------------------------------------

TEST_F(AuthoringTest, NewWritesABookThatPassesTheCheckWithEveryButtonAndItsIcon) {
  const fs::path book = dir_ / "My Book";
  ASSERT_EQ(Run({"new", P(book), "--title", "Caf\xC3\xA9 <Guide>"}), 0) << err_.str();
  EXPECT_EQ(Run({"check", P(book)}), 0);
  EXPECT_EQ(out_.str(), "bookc: " + P(book) + ": 0 errors, 0 warnings, 0 info\n") << "no finding at all";

  const std::string config = ReadFile(book / "config.ini");
  EXPECT_NE(config.find("\r\ntitle=Caf\xE9 <Guide>\r\n"), std::string::npos) << "the title in the ANSI code page";
  EXPECT_NE(ReadFile(book / "index.htm").find("<title>Caf&#233; &lt;Guide&gt;</title>"), std::string::npos);
  for (const char* section : {"[users]", "[bookmarks]", "[params]", "[Icon]", "[Toolbar]"})
    EXPECT_NE(config.find(std::string("\r\n") + section + "\r\n"), std::string::npos) << section;

  ASSERT_EQ(Run({"pack", P(book), P(dir_ / "b.bin")}), 0) << err_.str();
  const auto entries = Entries(dir_ / "b.bin");
  TMemoryStream stream;
  stream.WriteBuffer(entries.at("config.ini").data(), static_cast<int64_t>(entries.at("config.ini").size()));
  TResSetup settings;
  TResSetupObject(stream).ReadSettings(settings);
  EXPECT_EQ(settings.Title, "Caf\xE9 <Guide>");
  EXPECT_EQ(entries.count(settings.StartPage), 1u);
  EXPECT_EQ(settings.Bookmarks->Count(), 1);
  EXPECT_GT(settings.About->Count(), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(settings.Icon->Memory()),
                        static_cast<size_t>(settings.Icon->Size())),
            Text(DefaultIconFile()));
  for (int i = 0; i < kToolbarButtonCount; ++i) {
    const auto& button = settings.Toolbar[static_cast<size_t>(i)];
    ASSERT_TRUE(button.Present) << i;
    EXPECT_FALSE(button.Caption.empty()) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(button.Glyph->Memory()),
                          static_cast<size_t>(button.Glyph->Size())),
              Text(DefaultGlyphFile(i)))
        << i;
  }
  FreeSettings(settings);
  EXPECT_EQ(entries.count("about.htm"), 0u) << "named in config.ini, so not a page of its own";
}

TEST_F(AuthoringTest, NewRefusesAFolderThatIsNotEmptyAndATitleTheCodePageCannotHold) {
  WriteFile(dir_ / "used" / "notes.txt", "mine");
  EXPECT_EQ(Run({"new", P(dir_ / "used")}), 1);
  EXPECT_NE(err_.str().find("is not empty"), std::string::npos) << err_.str();
  EXPECT_EQ(ReadFile(dir_ / "used" / "notes.txt"), "mine");
  EXPECT_FALSE(fs::exists(dir_ / "used" / "config.ini"));

  WriteFile(dir_ / "file", "x");
  EXPECT_EQ(Run({"new", P(dir_ / "file")}), 1);
  EXPECT_NE(err_.str().find("is not a folder"), std::string::npos) << err_.str();

  EXPECT_EQ(Run({"new", P(dir_ / "cjk"), "--title", "\xE4\xB8\xAD"}), 1);
  EXPECT_NE(err_.str().find("code page"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "cjk"));

  // An empty folder is fine, and the folder's name is the title by default.
  fs::create_directories(dir_ / "Sea Charts");
  ASSERT_EQ(Run({"new", P(dir_ / "Sea Charts")}), 0) << err_.str();
  EXPECT_NE(ReadFile(dir_ / "Sea Charts" / "config.ini").find("\r\ntitle=Sea Charts\r\n"), std::string::npos);
}

// ---- the report ------------------------------------------------------------------

std::vector<TFinding> Links(const std::string& file, int count, TFindingLevel level, const std::string& code,
                            const std::string& subject) {
  std::vector<TFinding> findings;
  for (int i = 1; i <= count; ++i)
    findings.push_back({file, i, level, "link " + std::to_string(i) + " to " + subject, code, subject});
  return findings;
}

std::string Report(std::vector<TFinding> findings, TReportOptions options = {}) {
  std::ostringstream out;
  WriteFindings(std::move(findings), "B", out, options);
  return out.str();
}

TEST(BookcReport, ErrorsComeFirstAndRepeatedFindingsAreCounted) {
  std::vector<TFinding> findings = Links("a.htm", 5, TFindingLevel::Error, "link-missing", "\"gone.htm\"");
  findings.push_back({"a.htm", 9, TFindingLevel::Warning, "w", "resizable", ""});
  findings.push_back({"config.ini", 7, TFindingLevel::Error, "no icon", "icon", ""});
  findings.push_back({"z.htm", 1, TFindingLevel::Error, "to other", "link-missing", "\"other.htm\""});
  EXPECT_EQ(Report(findings),
            "config.ini:7: error: no icon\n"
            "a.htm:1: error: link 1 to \"gone.htm\"\n"
            "a.htm:2: error: link 2 to \"gone.htm\"\n"
            "a.htm:3: error: link 3 to \"gone.htm\"\n"
            "  ... and 2 more links to \"gone.htm\"\n"
            "z.htm:1: error: to other\n"
            "a.htm:9: warning: w\n"
            "bookc: B: 7 errors, 1 warning, 0 info\n");
  TReportOptions verbose;
  verbose.Verbose = true;
  const std::string all = Report(findings, verbose);
  EXPECT_NE(all.find("a.htm:5: error: link 5"), std::string::npos) << all;
  EXPECT_EQ(all.find("..."), std::string::npos) << all;
}

TEST(BookcReport, ManyKindsOfOneCodeAndWebSitesAreSummarised) {
  std::vector<TFinding> findings;
  for (int page = 0; page < 11; ++page)
    findings.push_back({"index.htm", page + 1, TFindingLevel::Error, "href", "link-missing",
                        "\"p" + std::to_string(page) + ".htm\""});
  for (int site = 0; site < 13; ++site) {
    const std::vector<TFinding> links = Links("s" + std::to_string(100 + site) + ".htm", 20 - site,
                                              TFindingLevel::Info, "link-web", "site" + std::to_string(site) + ".org");
    findings.insert(findings.end(), links.begin(), links.end());
  }
  findings.push_back({"one.htm", 4, TFindingLevel::Info, "the one link", "link-web", "once.org"});
  const std::string report = Report(findings);
  EXPECT_NE(report.find("  ... and 3 more links to 3 other paths that are not in the book\n"), std::string::npos)
      << report;
  EXPECT_NE(report.find("s100.htm:1: info: 20 links lead to the web site site0.org; this is the first\n"),
            std::string::npos)
      << report;
  EXPECT_LT(report.find("site0.org"), report.find("site1.org")) << "most linked first";
  EXPECT_EQ(report.find("site10.org"), std::string::npos) << "ten sites shown";
  EXPECT_NE(report.find("  ... and 4 more web sites with 28 links (--verbose lists every link)\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("bookc: B: 11 errors, 0 warnings, 183 info\n"), std::string::npos) << report;
  size_t lines = 0;
  for (char c : report) lines += c == '\n';
  EXPECT_LE(lines, 8u + 1 + 10 + 1 + 1) << report;
}

TEST(BookcReport, JsonHoldsEveryFindingWithItsFields) {
  const std::vector<TFinding> findings = {
      {"a\"b.htm", 3, TFindingLevel::Warning, "tab\there \\ \xC3\xA9 \xFF", "resizable", ""},
      {"config.ini", 0, TFindingLevel::Error, "no icon", "icon", ""},
  };
  TReportOptions json;
  json.Json = true;
  std::ostringstream out;
  EXPECT_EQ(WriteFindings(findings, "B", out, json), 1);
  EXPECT_EQ(out.str(),
            "{\"book\": \"B\", \"errors\": 1, \"warnings\": 1, \"info\": 0,\n \"findings\": [\n"
            "  {\"file\": \"config.ini\", \"line\": null, \"level\": \"error\", \"code\": \"icon\", \"text\": "
            "\"no icon\"},\n"
            "  {\"file\": \"a\\\"b.htm\", \"line\": 3, \"level\": \"warning\", \"code\": \"resizable\", \"text\": "
            "\"tab\\u0009here \\\\ \xC3\xA9 \\ufffd\"}\n ]}\n");
}

TEST_F(AuthoringTest, CheckOptionsSelectTheFormat) {
  const fs::path book = dir_ / "book";
  ASSERT_EQ(Run({"new", P(book)}), 0);
  WriteFile(book / "index.htm", "<a href=\"http://example.org/\">x</a><a href=\"gone.htm\">y</a>");
  EXPECT_EQ(Run({"check", P(book), "--format", "json"}), 1);
  EXPECT_EQ(out_.str().rfind("{\"book\": ", 0), 0u) << out_.str();
  EXPECT_NE(out_.str().find("\"code\": \"link-web\""), std::string::npos);
  EXPECT_NE(out_.str().find("\"code\": \"link-missing\""), std::string::npos);
  EXPECT_EQ(Run({"check", P(book), "--verbose"}), 1);
  EXPECT_NE(out_.str().find("info: href \"http://example.org/\" leaves the book for the web"), std::string::npos)
      << out_.str();
  EXPECT_EQ(Run({"check", P(book), "--format", "yaml"}), 2);
  EXPECT_EQ(Run({"check"}), 2);
}

}  // namespace

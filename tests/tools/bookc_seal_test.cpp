// bookc and sealed books: packing sealed (and refusing to without readers),
// what list shows without a password, what extract, settings and check need,
// and the book file searched byte by byte for what sealing must hide.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/book_seal.h"
#include "archive/res_invoker.h"
#include "tools/bookc/bookc.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPhrase = "The secret garden grows at night";
constexpr const char* kAbout = "<p>About the hidden garden</p>";
constexpr const char* kPasswords[] = {"apple pie", "banana split"};

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// icon: the built-in default icon (without one, every window's set-up
// fails; the fake host of the program test cannot take one).
std::string Config(bool readers, bool icon = true) {
  return std::string("[params]\r\ntitle=Sealed Garden\r\nstart=index.htm\r\nabout=") + Hex(kAbout) +
         "\r\n[bookmarks]\r\nNight garden=chapters/night.htm\r\n" +
         (icon ? "[Icon]\r\nBitmap=@default\r\n" : "") +
         (readers ? std::string("[users]\r\nalice=") + kPasswords[0] + "\r\nbob=" + kPasswords[1] + "\r\n" : "");
}

class BookcSealTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("bookc_seal_test_") + info->name());
    fs::remove_all(dir_);
    WriteBook(true);
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
  void WriteBook(bool readers) {
    WriteFile(dir_ / "book" / "config.ini", Config(readers));
    WriteFile(dir_ / "book" / "index.htm", std::string("<html><title>Start</title><p>") + kPhrase + "</p></html>");
    WriteFile(dir_ / "book" / "chapters" / "night.htm", "<p>Night falls on the garden</p>");
    WriteFile(dir_ / "book" / "pic.gif", std::string("GIF89a\0\1\2\3", 10));
  }
  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return RunBookc(args, out_, err_);
  }
  std::string P(const fs::path& path) { return Utf8Of(path); }

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(BookcSealTest, ABookWithoutReadersIsNotSealed) {
  WriteBook(false);
  EXPECT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "book.bin"), "--seal"}), 1);
  EXPECT_NE(err_.str().find("--seal: the book has no readers (its config.ini has no [users] lines)"),
            std::string::npos)
      << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "book.bin")) << "nothing written";
}

TEST_F(BookcSealTest, TheSealedBookOpensOnlyWithAReadersPassword) {
  // Packed without --seal, the book's readers are warned about.
  ASSERT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "plain.bin")}), 0) << err_.str();
  EXPECT_NE(err_.str().find("pack it with --seal"), std::string::npos) << err_.str();
  ASSERT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "book.bin"), "--seal"}), 0) << err_.str();
  EXPECT_EQ(err_.str().find("--seal so that"), std::string::npos) << "no warning when sealing: " << err_.str();
  EXPECT_NE(out_.str().find("sealed for 2 readers"), std::string::npos) << out_.str();
  const std::string book = P(dir_ / "book.bin");

  // list needs no password: names and stored sizes, what is sealed, who reads.
  ASSERT_EQ(Run({"list", book}), 0) << err_.str();
  const std::string list = out_.str();
  for (const char* line : {"\tconfig.ini\t", "\tbook.lst\t", "\tindex.htm\t", "\tchapters/night.htm\t"})
    EXPECT_NE(list.find(line), std::string::npos) << line << "\n" << list;
  EXPECT_NE(list.find("\tindex.htm\t"), std::string::npos);
  EXPECT_NE(list.find("\tsealed\n"), std::string::npos) << list;
  EXPECT_NE(list.find("\tseal:readers\t"), std::string::npos) << list;
  EXPECT_NE(list.find("\t2 readers\n"), std::string::npos) << list;
  EXPECT_NE(list.find("sealed book: its pages open with the password of a reader (\"alice\", \"bob\")"),
            std::string::npos)
      << list;

  // Without a password, or with a wrong one: refused, nothing written.
  struct TRefusal {
    std::vector<std::string> Args;
    std::string Says;
  };
  const TRefusal refusals[] = {
      {{"extract", book, P(dir_ / "x")}, "is sealed: give a reader's password with --password or --password-file"},
      {{"settings", book}, "is sealed: give a reader's password"},
      {{"check", book}, "is sealed: give a reader's password"},
      {{"extract", book, P(dir_ / "x"), "--password", "apple"}, "The password opens none of the 2 readers of"},
      {{"extract", book, P(dir_ / "x"), "--password", "apple pie", "--user", "carol"}, "has no reader named \"carol\""},
      {{"extract", book, P(dir_ / "x"), "--password", "apple pie", "--user", "bob"},
       "The password is not that of reader \"bob\""},
  };
  for (const TRefusal& r : refusals) {
    EXPECT_EQ(Run(r.Args), 1) << r.Says;
    EXPECT_NE(err_.str().find(r.Says), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "") << "no output at all: " << r.Says;
    EXPECT_FALSE(fs::exists(dir_ / "x"));
  }
  EXPECT_EQ(Run({"extract", book, P(dir_ / "x"), "--password"}), 2) << "a password option without its value";

  // The right password, given or from a file: the book as it was packed,
  // config.ini without its [users].
  ASSERT_EQ(Run({"extract", book, P(dir_ / "x"), "--password", "banana split"}), 0) << err_.str();
  EXPECT_NE(err_.str().find("reader \"bob\""), std::string::npos) << err_.str();
  for (const char* file : {"index.htm", "chapters/night.htm", "pic.gif"})
    EXPECT_EQ(ReadFile(dir_ / "x" / file), ReadFile(dir_ / "book" / file)) << file;
  const std::string config = ReadFile(dir_ / "x" / "config.ini");
  const std::string head = Config(false).substr(0, Config(false).find("@default"));
  EXPECT_EQ(config.substr(0, head.size()), head) << config;
  EXPECT_EQ(config.find("[users]"), std::string::npos) << config;
  EXPECT_TRUE(fs::exists(dir_ / "x" / "book.lst"));
  EXPECT_FALSE(fs::exists(dir_ / "x" / "seal:readers"));

  WriteFile(dir_ / "password.txt", "apple pie\r\nnot this line\r\n");
  ASSERT_EQ(Run({"settings", book, "--password-file", P(dir_ / "password.txt"), "--user", "alice"}), 0) << err_.str();
  EXPECT_NE(out_.str().find("Sealed: opened with the password of reader \"alice\""), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("Users: 0\n"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("Bookmarks: 1\n  \"Night garden=chapters/night.htm\""), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find(kAbout), std::string::npos) << out_.str();

  ASSERT_EQ(Run({"check", book, "--password", "apple pie"}), 0) << out_.str() << err_.str();
  EXPECT_NE(out_.str().find("info: the book is sealed; checked as it opens with the password of reader \"alice\""),
            std::string::npos)
      << out_.str();
  EXPECT_EQ(out_.str().find(": warning:"), std::string::npos) << out_.str();
}

// What sealing must hide is searched for in the bytes of the book file and
// of the e-book program: stored without compression, where an unsealed book
// shows every page and password as it is.
TEST_F(BookcSealTest, NoPageTextAboutTextOrPasswordIsInASealedBookFile) {
  const std::string host = std::string("MZ") + std::string(0x3A, '\0') + std::string("\x40\0\0\0", 4) +
                           std::string("PE\0\0\x4c\x01", 6) + "host program";
  WriteFile(dir_ / "tools" / "ebookhost.exe", host);
  WriteFile(dir_ / "tools" / "ebookview.dll", host);
  WriteFile(dir_ / "book" / "config.ini", Config(true, false));
  const std::vector<std::string> secrets = {kPhrase, Hex(kAbout), kPasswords[0], kPasswords[1], "Night garden",
                                            "Night falls"};
  ASSERT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "plain.bin"), "--level", "0"}), 0) << err_.str();
  const std::string plain = ReadFile(dir_ / "plain.bin");
  for (const std::string& secret : secrets)
    EXPECT_NE(plain.find(secret), std::string::npos) << "the unsealed book shows " << secret;

  fs::create_directories(dir_ / "out");
  ASSERT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "sealed.bin"), "--level", "0", "--seal"}), 0) << err_.str();
  ASSERT_EQ(Run({"exe", P(dir_ / "book"), P(dir_ / "out" / "book.exe"), "--host", P(dir_ / "tools" / "ebookhost.exe"),
                 "--seal"}),
            0)
      << err_.str();
  for (const fs::path& file : {dir_ / "sealed.bin", dir_ / "out" / "book.exe"}) {
    const std::string bytes = ReadFile(file);
    if (file.extension() == ".bin")
      EXPECT_NE(bytes.find("Sealed Garden"), std::string::npos) << "the title opens the window before any login";
    for (const std::string& secret : secrets)
      EXPECT_EQ(bytes.find(secret), std::string::npos) << P(file) << " shows " << secret;
  }
  ASSERT_EQ(Run({"extract", P(dir_ / "out" / "book.exe"), P(dir_ / "x"), "--password", "apple pie"}), 0) << err_.str();
  EXPECT_EQ(ReadFile(dir_ / "x" / "index.htm"), ReadFile(dir_ / "book" / "index.htm"));
}

#ifndef _WIN32  // Windows names cannot hold ":"
TEST_F(BookcSealTest, TheSealsNamesAreKeptFromBookFolders) {
  WriteFile(dir_ / "book" / "seal:readers", "mine");
  EXPECT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "book.bin")}), 1);
  EXPECT_NE(err_.str().find("the name seal:readers is reserved for the seal of sealed books"), std::string::npos)
      << err_.str();
}
#endif

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "archive/archive_helpers.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"

namespace fs = std::filesystem;

namespace {

class BookcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("bookc_test_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "book" / "pics");
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

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

// The smallest file bookc takes for a Windows program: a DOS header whose
// last field points at a PE signature and machine right after it, then text.
std::string FakePe(uint16_t machine, const std::string& text) {
  std::string file(0x40, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  file[0x3C] = 0x40;
  file += std::string("PE\0\0", 4);
  file += static_cast<char>(machine & 0xFF);
  file += static_cast<char>(machine >> 8);
  return file + text;
}

TEST_F(BookcTest, PackPutsConfigAndListFirstThenFilesInByteOrder) {
  WriteFile(dir_ / "book" / "config.ini", "[params]\ntitle=Sample\n");
  WriteFile(dir_ / "book" / "index.htm", "<html>index</html>");
  WriteFile(dir_ / "book" / "pics" / "a.gif", std::string("GIF89a\0\1", 8));
  WriteFile(dir_ / "book" / "Zeta.htm", "zeta");
  WriteFile(dir_ / "book" / fs::path(u8"caf\u00e9.htm"), "cafe");
  ASSERT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "book.bin"), "--level", "1"}), 0) << err_.str();

  const TBookImage image = LoadBookImage(P(dir_ / "book.bin"));
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(image.Block.data()),
                            static_cast<int64_t>(image.Block.size()));
  std::vector<std::string> names;
  for (int i = 0; i < reader.Count(); ++i) names.push_back(EntryName(reader.GetEntry(i)));
  EXPECT_EQ(names, (std::vector<std::string>{"config.ini", "book.lst", "Zeta.htm", "caf\xE9.htm", "index.htm",
                                             "pics/a.gif"}));
  TMemoryStream list;
  reader.Extract(1, list);
  EXPECT_EQ(list.ToString(), "Zeta.htm\t4\r\ncaf\xE9.htm\t4\r\nindex.htm\t18\r\npics/a.gif\t8\r\n");

  ASSERT_EQ(Run({"list", P(dir_ / "book.bin")}), 0) << err_.str();
  std::istringstream rows(out_.str());
  std::string row;
  int count = 0;
  while (std::getline(rows, row)) {
    const TArchiveEntry entry = reader.GetEntry(count);
    TMemoryStream content;
    reader.Extract(count, content);
    EXPECT_EQ(row, std::to_string(count) + "\t" + EntryName(entry) + "\t" + std::to_string(entry.Offset) + "\t" +
                       std::to_string(entry.Size) + "\t" + std::to_string(content.Size()));
    ++count;
  }
  EXPECT_EQ(count, 6);

  ASSERT_EQ(Run({"extract", P(dir_ / "book.bin"), P(dir_ / "out")}), 0) << err_.str();
  EXPECT_EQ(ReadFile(dir_ / "out" / "pics" / "a.gif"), std::string("GIF89a\0\1", 8));
  EXPECT_EQ(ReadFile(dir_ / "out" / fs::path(u8"caf\u00e9.htm")), "cafe");
  EXPECT_EQ(ReadFile(dir_ / "out" / "config.ini"), "[params]\ntitle=Sample\n");
}

TEST_F(BookcTest, PackWithoutConfigStoresAnEmptyOne) {
  WriteFile(dir_ / "book" / "index.htm", "x");
  ASSERT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "b.bin")}), 0) << err_.str();
  ASSERT_EQ(Run({"settings", P(dir_ / "b.bin")}), 0) << err_.str();
  EXPECT_NE(out_.str().find("Title: \"unnamed - EBook\"\n"), std::string::npos) << out_.str();
}

TEST_F(BookcTest, PackRefusesNamesThatDoNotFit) {
#ifndef _WIN32  // Windows paths of this length pass MAX_PATH before the archive's limit
  WriteFile(dir_ / "book" / std::string(250, 'n') / "page.htm", "x");
  EXPECT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "b.bin")}), 1);
  EXPECT_NE(err_.str().find("at most 255 fit"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("page.htm"), std::string::npos) << "the message names the file";
  EXPECT_FALSE(fs::exists(dir_ / "b.bin"));
  fs::remove_all(dir_ / "book");
#endif
  WriteFile(dir_ / "book" / fs::path(u8"\u4e2d.htm"), "x");
  EXPECT_EQ(Run({"pack", P(dir_ / "book"), P(dir_ / "b.bin")}), 1);
  EXPECT_NE(err_.str().find("Windows-1252"), std::string::npos) << err_.str();
}

TEST_F(BookcTest, SettingsPrintsWhatTheViewerReads) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[users]\nann = pw\n[params]\nabout=3C623E48693C2F623E0D0A4C696E6532\ntitle=T\n");
  builder.Add("Config.ini", "[params]\ntitle=ignored, not the exact name\n");
  builder.Add("config.ini",
              "[bookmarks]\nOne=one.htm\n[Icon]\nBitmap=000102\n[Toolbar]\ntbBack=424D\neBack=Back\ntbRegister=\n");
  const auto block = builder.Build();
  WriteWholeFile(P(dir_ / "s.bin"), block);
  ASSERT_EQ(Run({"settings", P(dir_ / "s.bin")}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "Users: 1\n  \"ann=pw\"\n"
            "Bookmarks: 1\n  \"One=one.htm\"\n"
            "About: 2\n  \"<b>Hi</b>\"\n  \"Line2\"\n"
            "StartPage: \"index.htm\"\n"
            "Title: \"T\"\n"
            "Resolution: \"800x600\"\n"
            "Resizable: false\n"
            "Icon: 3 bytes\n"
            "Toolbar 0 tbBack: present, glyph 2 bytes, caption \"Back\"\n"
            "Toolbar 1 tbForward: absent, caption \"\"\n"
            "Toolbar 2 tbRefresh: absent, caption \"\"\n"
            "Toolbar 3 tbStop: absent, caption \"\"\n"
            "Toolbar 4 tbPrint: absent, caption \"\"\n"
            "Toolbar 5 tbSearch: absent, caption \"\"\n"
            "Toolbar 6 tbAbout: absent, caption \"\"\n"
            "Toolbar 7 tbRegister: present, glyph 0 bytes, caption \"\"\n");
}

TEST_F(BookcTest, BadInputGivesAClearMessageAndStatusOne) {
  EXPECT_EQ(Run({"list", P(dir_ / "missing.bin")}), 1);
  EXPECT_NE(err_.str().find("Cannot open file"), std::string::npos) << err_.str();

  TArchiveBuilder builder;
  builder.Add("a.htm", "alpha");
  builder.Add("b.htm", "beta");
  std::vector<uint8_t> block = builder.Build();
  WriteWholeFile(P(dir_ / "short.bin"), std::span(block).first(300));
  EXPECT_EQ(Run({"list", P(dir_ / "short.bin")}), 1);
  EXPECT_NE(err_.str().find("directory of 2 entries"), std::string::npos) << err_.str();

  const int32_t hugeSize = 1 << 24;
  std::memcpy(block.data() + 20 + 264 + 260, &hugeSize, 4);
  WriteWholeFile(P(dir_ / "outside.bin"), block);
  EXPECT_EQ(Run({"list", P(dir_ / "outside.bin")}), 1);
  EXPECT_NE(out_.str().find("0\ta.htm\t"), std::string::npos) << "the good entry is still listed";
  EXPECT_NE(out_.str().find("error: Entry 1 (\"b.htm\") lies outside the archive"), std::string::npos) << out_.str();

  TArchiveBuilder broken;
  broken.AddRaw("bad.htm", Bytes("not zlib"));
  WriteWholeFile(P(dir_ / "broken.bin"), broken.Build());
  EXPECT_EQ(Run({"list", P(dir_ / "broken.bin")}), 1);
  EXPECT_NE(out_.str().find("\terror: data error\n"), std::string::npos) << out_.str();
}

// Whatever is given where a file is expected is named in the message, and
// nothing is allocated from a size the file system did not report.
TEST_F(BookcTest, WhatIsNotAFileOrNotABookIsRefusedByName) {
  const std::string folder = P(dir_ / "book");
  for (const char* command : {"list", "settings", "extract"}) {
    std::vector<std::string> args{command, folder};
    if (std::string(command) == "extract") args.push_back(P(dir_ / "x"));
    EXPECT_EQ(Run(args), 1) << command;
    EXPECT_NE(err_.str().find("\"" + folder + "\" is a folder, not a book file"), std::string::npos) << err_.str();
  }
  EXPECT_EQ(Run({"hex", folder}), 1);
  EXPECT_NE(err_.str().find("is a folder, not a file"), std::string::npos) << err_.str();
  WriteFile(dir_ / "book" / "index.htm", "<p>page</p>");
  WriteFile(dir_ / "tools" / "ebookhost.exe", FakePe(0x014C, "host"));
  WriteFile(dir_ / "tools" / "ebookview.dll", FakePe(0x014C, "library"));
  EXPECT_EQ(Run({"exe", folder, P(dir_ / "b.exe"), "--host", folder, "--dll", P(dir_ / "tools" / "ebookview.dll")}), 1);
  EXPECT_NE(err_.str().find("is a folder, not a Windows program"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"exe", folder, P(dir_ / "b.exe"), "--host", P(dir_ / "tools" / "ebookhost.exe"), "--dll", folder}), 1);
  EXPECT_NE(err_.str().find("is a folder, not a Windows library"), std::string::npos) << err_.str();

  // A negative entry count: the library reads it as no entries, but a file
  // whose length is known is damaged, and an empty listing would hide that.
  std::string negative(20, '\0');
  const int32_t count = -5;
  std::memcpy(negative.data() + 16, &count, 4);
  WriteFile(dir_ / "negative.bin", negative);
  for (const char* command : {"list", "settings", "extract"}) {
    std::vector<std::string> args{command, P(dir_ / "negative.bin")};
    if (std::string(command) == "extract") args.push_back(P(dir_ / "x"));
    EXPECT_EQ(Run(args), 1) << command;
    EXPECT_NE(err_.str().find("The archive is damaged: its directory announces -5 entries"), std::string::npos)
        << command << ": " << err_.str();
  }

#ifndef _WIN32
  // Larger than an archive can address: refused by its size alone (the file
  // is sparse, nothing is read).
  WriteFile(dir_ / "huge.bin", "");
  fs::resize_file(dir_ / "huge.bin", (uint64_t{1} << 31) + 1);
  EXPECT_EQ(Run({"list", P(dir_ / "huge.bin")}), 1);
  EXPECT_NE(err_.str().find("is too large for a book file: it holds 2147483649 bytes, at most 2147483648"),
            std::string::npos)
      << err_.str();

  // A pipe in a book folder would make pack wait forever for a writer; a
  // broken link would be silently left out. Both are refused by name.
  ASSERT_EQ(mkfifo(P(dir_ / "book" / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(Run({"pack", folder, P(dir_ / "out.bin")}), 1);
  EXPECT_NE(err_.str().find("pipe\" is a pipe, not a file that can be put into a book"), std::string::npos)
      << err_.str();
  fs::remove(dir_ / "book" / "pipe");
  fs::create_symlink(dir_ / "nowhere.htm", dir_ / "book" / "link.htm");
  EXPECT_EQ(Run({"pack", folder, P(dir_ / "out.bin")}), 1);
  EXPECT_NE(err_.str().find("link.htm\" is a broken link"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "out.bin"));
#endif
}

TEST_F(BookcTest, ExtractNeverWritesOutsideTheDestination) {
  TArchiveBuilder builder;
  builder.Add("..\\escape.htm", "evil");
  builder.Add("sub\\ok.htm", "fine");
  builder.Add("sub/OK.htm", "again");
  WriteWholeFile(P(dir_ / "e.bin"), builder.Build());
  EXPECT_EQ(Run({"extract", P(dir_ / "e.bin"), P(dir_ / "out")}), 1);
  EXPECT_NE(err_.str().find("leave the destination"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "escape.htm"));
  EXPECT_EQ(ReadFile(dir_ / "out" / "sub" / "ok.htm"), "fine");
  EXPECT_EQ(ReadFile(dir_ / "out" / "sub" / "OK.htm~2"), "again") << "same name in other letter case kept apart";
}

TEST_F(BookcTest, ExeAppendsTheBookToTheHostAndCopiesTheLibrary) {
  WriteFile(dir_ / "book" / "index.htm", "<html>start</html>");
  WriteFile(dir_ / "book" / "config.ini", "[params]\ntitle=Exe\n");
  const std::string host = FakePe(0x014C, "host program");
  WriteFile(dir_ / "tools" / "ebookhost.exe", host);
  WriteFile(dir_ / "tools" / "ebookview.dll", FakePe(0x014C, "viewer library"));
  fs::create_directories(dir_ / "out");
  ASSERT_EQ(Run({"exe", P(dir_ / "book"), P(dir_ / "out" / "book.exe"), "--host", P(dir_ / "tools" / "ebookhost.exe")}),
            0)
      << err_.str();
  EXPECT_EQ(ReadFile(dir_ / "out" / "ebookview.dll"), FakePe(0x014C, "viewer library"))
      << "the library found beside the host";
  const std::string program = ReadFile(dir_ / "out" / "book.exe");
  EXPECT_EQ(program.substr(0, host.size()), host);
  EXPECT_EQ(program.substr(program.size() - 16, 8), "EBKARCH1");

  ASSERT_EQ(Run({"settings", P(dir_ / "out" / "book.exe")}), 0) << err_.str();
  EXPECT_NE(out_.str().find("Title: \"Exe\""), std::string::npos);
  ASSERT_EQ(Run({"extract", P(dir_ / "out" / "book.exe"), P(dir_ / "x")}), 0) << err_.str();
  EXPECT_EQ(ReadFile(dir_ / "x" / "index.htm"), "<html>start</html>");

  // Making the book again over an older copy of the library replaces it.
  WriteFile(dir_ / "tools" / "ebookview.dll", FakePe(0x014C, "newer viewer library"));
  ASSERT_EQ(Run({"exe", P(dir_ / "book"), P(dir_ / "out" / "book.exe"), "--host", P(dir_ / "tools" / "ebookhost.exe")}),
            0)
      << err_.str();
  EXPECT_EQ(ReadFile(dir_ / "out" / "ebookview.dll"), FakePe(0x014C, "newer viewer library"));

  // A 32-bit host cannot load a 64-bit library: refused before anything is
  // written, naming both files. A pair of 64-bit files is fine.
  WriteFile(dir_ / "tools64" / "ebookview.dll", FakePe(0x8664, "64-bit library"));
  EXPECT_EQ(Run({"exe", P(dir_ / "book"), P(dir_ / "out" / "mixed.exe"), "--host", P(dir_ / "tools" / "ebookhost.exe"),
                 "--dll", P(dir_ / "tools64" / "ebookview.dll")}),
            1);
  EXPECT_NE(err_.str().find("is a 32-bit program but the viewer library"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("is 64-bit"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "out" / "mixed.exe"));
  WriteFile(dir_ / "tools64" / "ebookhost.exe", FakePe(0x8664, "64-bit host"));
  fs::create_directories(dir_ / "out64");
  EXPECT_EQ(Run({"exe", P(dir_ / "book"), P(dir_ / "out64" / "book.exe"), "--host", P(dir_ / "tools64" / "ebookhost.exe")}),
            0)
      << err_.str();

  WriteFile(dir_ / "tools" / "notaprogram.exe", "plain text");
  WriteFile(dir_ / "tools" / "dosonly.exe", std::string("MZ") + std::string(0x3E, '\x7F'));
  EXPECT_EQ(Run({"exe", P(dir_ / "book"), P(dir_ / "out" / "b.exe"), "--host", P(dir_ / "tools" / "notaprogram.exe")}), 1);
  EXPECT_NE(err_.str().find("is not a Windows program"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"exe", P(dir_ / "book"), P(dir_ / "out" / "b.exe"), "--host", P(dir_ / "tools" / "dosonly.exe")}), 1)
      << "a PE header offset beyond the file";
  EXPECT_NE(err_.str().find("is not a Windows program"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"exe", P(dir_ / "book"), P(dir_ / "out" / "b.exe"), "--host", P(dir_ / "tools" / "ebookhost.exe"),
                 "--dll", P(dir_ / "missing.dll")}),
            1);
  EXPECT_NE(err_.str().find("was not found"), std::string::npos) << err_.str();
}

TEST_F(BookcTest, HexEncodesForConfig) {
  WriteFile(dir_ / "f.bin", std::string("\0\x1f\xab\xff", 4));
  ASSERT_EQ(Run({"hex", P(dir_ / "f.bin")}), 0);
  EXPECT_EQ(out_.str(), "001FABFF\n");
}

}  // namespace

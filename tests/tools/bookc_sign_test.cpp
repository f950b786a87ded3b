// Signed e-books: where a signed program keeps its archive, and bookc exe
// --sign with a certificate made here (osslsigncode, where installed).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/archive_helpers.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"
#include "tools/bookc/run_program.h"
#include "tools/common/book_image.h"

namespace fs = std::filesystem;

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A small program as a linker lays it out: headers and one code section.
std::vector<uint8_t> Program(bool plus) {
  std::vector<uint8_t> b(0x600, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  std::copy_n("PE\0\0", 4, b.begin() + 0x40);
  Put16(b, 0x44, plus ? 0x8664 : 0x014C);
  Put16(b, 0x46, 1);
  Put16(b, 0x54, plus ? 240 : 224);
  Put16(b, 0x56, 0x0102);
  const size_t o = 0x58;
  Put16(b, o, plus ? 0x20B : 0x10B);
  Put32(b, o + 32, 0x1000);
  Put32(b, o + 36, 0x200);
  Put32(b, o + 56, 0x2000);
  Put32(b, o + 60, 0x400);
  Put32(b, o + (plus ? 108 : 92), 16);
  const size_t h = o + (plus ? 240 : 224);
  std::copy_n(".text", 5, b.begin() + static_cast<ptrdiff_t>(h));
  Put32(b, h + 8, 0x100);
  Put32(b, h + 12, 0x1000);
  Put32(b, h + 16, 0x200);
  Put32(b, h + 20, 0x400);
  Put32(b, h + 36, 0x60000020);
  std::fill(b.begin() + 0x400, b.end(), 0xC3);
  return b;
}

size_t SecurityEntry(bool plus) { return 0x58 + (plus ? 112 : 96) + 8 * 4; }

std::vector<uint8_t> Block() {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[params]\ntitle=Signed\n");
  builder.Add("index.htm", "<p>start</p>");
  return builder.Build();
}

// program + block + trailer, then what a signing tool adds: zero bytes up to
// a multiple of 8 (padding of them at most) and a certificate table that the
// security directory points to.
std::vector<uint8_t> SignedBook(bool plus, const std::vector<uint8_t>& block, size_t extra, bool sign) {
  std::vector<uint8_t> file = Program(plus);
  file.resize(file.size() + extra, 0x90);
  file.insert(file.end(), block.begin(), block.end());
  const std::vector<uint8_t> trailer = MakeTrailer(block);
  file.insert(file.end(), trailer.begin(), trailer.end());
  if (!sign) return file;
  file.resize((file.size() + 7) / 8 * 8, 0);
  const size_t table = file.size();
  file.resize(file.size() + 0x300, 0x30);
  Put32(file, SecurityEntry(plus), static_cast<uint32_t>(table));
  Put32(file, SecurityEntry(plus) + 4, 0x300);
  return file;
}

TEST(SignedBookFile, TheArchiveIsFoundBeforeTheCertificateTable) {
  const std::vector<uint8_t> block = Block();
  for (bool plus : {false, true}) {
    for (size_t extra = 0; extra < 8; ++extra) {
      for (bool sign : {false, true}) {
        const std::vector<uint8_t> file = SignedBook(plus, block, extra, sign);
        std::span<const uint8_t> found;
        ASSERT_NO_THROW(found = LocateArchive(BookPartOf(file))) << plus << extra << sign;
        EXPECT_TRUE(std::equal(found.begin(), found.end(), block.begin(), block.end())) << plus << extra << sign;
        EXPECT_EQ(CertificateTableOffset(file) != 0, sign);
      }
    }
  }
}

TEST(SignedBookFile, ASignatureElsewhereOrDamagedIsNoHidingPlace) {
  const std::vector<uint8_t> block = Block();
  // A signed program without a book.
  std::vector<uint8_t> plain = SignedBook(false, {}, 0, false);
  plain.resize(plain.size() - kTrailerSize);
  plain.resize(plain.size() + 0x100, 0x30);
  Put32(plain, SecurityEntry(false), 0x600);
  Put32(plain, SecurityEntry(false) + 4, 0x100);
  EXPECT_THROW(LocateArchive(BookPartOf(plain)), EArchiveError);

  // A table that reaches beyond the file, or one with nothing between the
  // trailer and it but bytes that are not padding.
  std::vector<uint8_t> beyond = SignedBook(false, block, 0, true);
  Put32(beyond, SecurityEntry(false) + 4, 0x10000);
  EXPECT_EQ(CertificateTableOffset(beyond), 0u);
  EXPECT_THROW(LocateArchive(BookPartOf(beyond)), EArchiveError);
  std::vector<uint8_t> junk = SignedBook(false, block, 3, true);
  junk[CertificateTableOffset(junk) - 1] = 0x55;
  EXPECT_THROW(LocateArchive(BookPartOf(junk)), EArchiveError);

  // Not a program at all: a bare block is the whole file.
  EXPECT_EQ(BookPartOf(block).size(), block.size());
}

class SignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("bookc_sign_test_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "book");
    fs::create_directories(dir_ / "host");
    fs::create_directories(dir_ / "out");
    Write(dir_ / "book" / "index.htm", "<p>start</p>");
    // No icon: the small host has no resources to give the book's icon to.
    Write(dir_ / "book" / "config.ini", "[params]\ntitle=Signed Book\n[Toolbar]\ntbRegister=@default\n");
    const std::vector<uint8_t> host = Program(false);
    WriteWholeFile(Utf8Of(dir_ / "host" / "ebookhost.exe"), host);
    WriteWholeFile(Utf8Of(dir_ / "host" / "ebookview.dll"), host);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const fs::path& path, std::string_view content) { std::ofstream(path, std::ios::binary) << content; }
  int Exe(std::vector<std::string> more) {
    std::vector<std::string> args{"exe", Utf8Of(dir_ / "book"), Utf8Of(dir_ / "out" / "book.exe"), "--host",
                                  Utf8Of(dir_ / "host" / "ebookhost.exe")};
    args.insert(args.end(), more.begin(), more.end());
    out_.str("");
    err_.str("");
    return RunBookc(args, out_, err_);
  }
  // A self-signed code-signing certificate in cert.pfx (password in pw) and
  // cert.pem; false when openssl is not there to make one.
  bool MakeCertificate() {
    if (FindInPath("openssl").empty()) return false;
    const std::string key = Utf8Of(dir_ / "key.pem"), pem = Utf8Of(dir_ / "cert.pem");
    Write(dir_ / "pw", "not secret\n");
    const TProgramRun request =
        RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem, "-days",
                    "2", "-subj", "/CN=Book Author", "-addext", "extendedKeyUsage=codeSigning"});
    const TProgramRun pack =
        RunProgram({"openssl", "pkcs12", "-export", "-inkey", key, "-in", pem, "-out", Utf8Of(dir_ / "cert.pfx"),
                    "-passout", "file:" + Utf8Of(dir_ / "pw")});
    EXPECT_TRUE(request.Started && request.Status == 0) << request.Output;
    EXPECT_TRUE(pack.Started && pack.Status == 0) << pack.Output;
    return fs::exists(dir_ / "cert.pfx");
  }
  int Verify(const fs::path& file) {
    const TProgramRun run =
        RunProgram({"osslsigncode", "verify", "-CAfile", Utf8Of(dir_ / "cert.pem"), "-in", Utf8Of(file)});
    return run.Started ? run.Status : -1;
  }

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(SignTest, SignedEbookVerifiesKeepsItsBookAndAChangedByteBreaksIt) {
  if (FindInPath("osslsigncode").empty()) GTEST_SKIP() << "osslsigncode is not installed (scripts/setup installs it)";
  if (!MakeCertificate()) GTEST_SKIP() << "openssl is not installed to make a test certificate";
  ASSERT_EQ(Exe({"--sign", Utf8Of(dir_ / "cert.pfx"), "--sign-password-file", Utf8Of(dir_ / "pw")}), 0)
      << err_.str();
  EXPECT_NE(out_.str().find("signed by osslsigncode"), std::string::npos) << out_.str();
  const fs::path book = dir_ / "out" / "book.exe";
  EXPECT_FALSE(fs::exists(dir_ / "out" / "book.exe.unsigned")) << "the unsigned copy is removed";
  EXPECT_EQ(Verify(book), 0);

  std::vector<uint8_t> bytes = ReadWholeFile(Utf8Of(book));
  ASSERT_NE(CertificateTableOffset(bytes), 0u);
  const TBookImage image = LoadBookFile(Utf8Of(book));
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(image.Block.data()),
                            static_cast<int64_t>(image.Block.size()));
  ASSERT_EQ(reader.Count(), 3);
  EXPECT_EQ(EntryName(reader.GetEntry(2)), "index.htm");

  // One byte of the book changed: the signature no longer holds.
  bytes[static_cast<size_t>(image.Block.data() - image.FileBytes.data()) + image.Block.size() - 1] ^= 0x01;
  WriteWholeFile(Utf8Of(dir_ / "changed.exe"), bytes);
  EXPECT_NE(Verify(dir_ / "changed.exe"), 0);

  // A wrong password: the tool's own words, and nothing written.
  Write(dir_ / "wrong", "guess\n");
  fs::remove(book);
  EXPECT_EQ(Exe({"--sign", Utf8Of(dir_ / "cert.pfx"), "--sign-password-file", Utf8Of(dir_ / "wrong")}), 1);
  EXPECT_NE(err_.str().find("Signing failed"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(book));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "book.exe.unsigned"));
}

TEST_F(SignTest, WithoutASigningToolOrCertificateNothingIsWritten) {
  EXPECT_EQ(Exe({"--sign", Utf8Of(dir_ / "none.pfx")}), 1);
  EXPECT_NE(err_.str().find("none.pfx\" is not a file"), std::string::npos) << err_.str();
  Write(dir_ / "cert.pfx", "not a certificate");
  EXPECT_EQ(Exe({"--sign", Utf8Of(dir_ / "cert.pfx"), "--sign-password-file", Utf8Of(dir_ / "nopw")}), 1);
  EXPECT_NE(err_.str().find("nopw\" is not a file"), std::string::npos) << err_.str();
  EXPECT_EQ(Exe({"--timestamp", "http://timestamp.invalid/"}), 2) << "a timestamp only with --sign";

  const char* path = std::getenv("PATH");
  const std::string saved = path ? path : "";
#ifdef _WIN32
  _putenv_s("PATH", "");
#else
  setenv("PATH", Utf8Of(dir_ / "empty").c_str(), 1);
#endif
  const int status = Exe({"--sign", Utf8Of(dir_ / "cert.pfx")});
#ifdef _WIN32
  _putenv_s("PATH", saved.c_str());
#else
  setenv("PATH", saved.c_str(), 1);
#endif
  if (status == 0) GTEST_SKIP() << "this machine has a signing tool outside PATH";
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err_.str().rfind("bookc: Cannot sign: ", 0), 0u) << err_.str();
  EXPECT_FALSE(fs::exists(dir_ / "out" / "book.exe"));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "ebookview.dll"));
}

}  // namespace

// A sealed book served: the login as readers know it, the key derivation run
// once per distinct credentials, pages decrypted as they are served, the
// generated pages before and after, damage, and the search.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "archive/archive_helpers.h"
#include "archive/book_seal.h"
#include "server/book_search.h"
#include "server/credential_cache.h"
#include "server/ebook_manager.h"
#include "server/http_test_helpers.h"

namespace {

std::string Basic(const std::string& userColonPassword) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  const auto* b = reinterpret_cast<const unsigned char*>(userColonPassword.data());
  const size_t n = userColonPassword.size();
  for (size_t i = 0; i < n; i += 3) {
    const unsigned v = b[i] << 16 | (i + 1 < n ? b[i + 1] << 8 : 0) | (i + 2 < n ? b[i + 2] : 0);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < n ? kAlphabet[v & 63] : '=';
  }
  return "Authorization: Basic " + out + "\r\n";
}

std::string Get(int port, const std::string& path, const std::string& extraHeaders = "") {
  return Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n");
}

const std::string kArchiveHeader =
    "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\nCache-control: no-cache\r\n"
    "Server: BookServer/1.0\r\n\r\n";
const std::string kPictureHeader =
    "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: image/gif\r\nCache-control: no-cache\r\n"
    "Server: BookServer/1.0\r\n\r\n";
const std::string kUnauthorized =
    "HTTP/1.1 401 Unauthorized\r\nConnection: close\r\nContent-Type: text/html\r\nCache-control: no-cache\r\n"
    "Server: BookServer/1.0\r\nWWW-Authenticate: Basic realm=\"Protected\"\r\n\r\n"
    "<HTML><BODY><B>401 Unauthorized</B></BODY></HTML>";
const std::string kNotFound = "<h2>The given page was not found in eBook</h2>";
const std::string kIndex = "<html><p>Hello sealed world</p></html>";

std::vector<uint8_t> UnsealedBook() {
  TArchiveBuilder builder;
  builder.Add("config.ini",
              "[params]\r\ntitle=Sealed\r\nstart=index.htm\r\nabout=3C703E4F6E6C7920666F7220726561646572733C2F703E\r\n"
              "[users]\r\nann=secret\r\nbob=other\r\n[bookmarks]\r\nChapter=chapter.htm\r\n");
  builder.Add("book.lst", "index.htm");
  builder.Add("index.htm", kIndex);
  builder.Add("chapter.htm", "<p>a chapter with a needle</p>");
  builder.Add("pic.gif", "GIF needle");
  builder.Add("last.htm", "<p>NEEDLE at the end</p>");
  return builder.Build();
}

// Flips mask into byte at of the data of entry index (counted from the end
// when negative).
void Damage(std::vector<uint8_t>& block, int index, size_t at, uint8_t mask) {
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size()));
  if (index < 0) index += reader.Count();
  const auto data = reader.EntryData(index);
  block[static_cast<size_t>(data.data() - block.data()) + at] ^= mask;
}

TSealOptions Quick() {
  TSealOptions options;
  options.Iterations = 2000;
  return options;
}

class SealedServerTest : public ::testing::Test {
 protected:
  void Start(std::vector<uint8_t> block) {
    archive_.Block = std::move(block);
    HostArchive = reinterpret_cast<const THostArchive*>(archive_.Block.data());
    for (int attempt = 0; attempt < 50 && !manager_; ++attempt) {
      try {
        manager_ = std::make_unique<TEbookManager>(NextTestPort());
      } catch (const EIdCouldNotBindSocket&) {
      }
    }
    ASSERT_NE(manager_, nullptr);
    port_ = manager_->Port;
  }
  void TearDown() override {
    if (manager_) manager_->StopServer();
    manager_.reset();
  }

  TTestArchive archive_;
  std::unique_ptr<TEbookManager> manager_;
  int port_ = 0;
};

TEST_F(SealedServerTest, TheLoginOpensTheBookWithOneDerivationPerCredentials) {
  Start(SealBookBlock(UnsealedBook(), Quick()));
  ASSERT_NE(manager_->Seal, nullptr);
  EXPECT_FALSE(manager_->Authorized) << "a sealed book has readers even though its clear settings name none";
  EXPECT_EQ(manager_->Settings.Users->Count(), 0);

  // Before any login the generated pages show what is in clear only.
  const std::string navigation = Get(port_, "/navigation_bar/navigate.h");
  EXPECT_EQ(navigation.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(navigation.find("Chapter"), std::string::npos);
  EXPECT_EQ(Get(port_, "/navigation_bar/about.h").find("Only for readers"), std::string::npos);

  EXPECT_EQ(Get(port_, "/index.htm"), kUnauthorized);
  EXPECT_EQ(Get(port_, "/index.htm", Basic("carol:secret")), kUnauthorized);
  EXPECT_EQ(manager_->Seal->Derivations(), 0) << "no reader of that name: nothing to derive";
  EXPECT_EQ(Get(port_, "/index.htm", Basic("ann:wrong")), kUnauthorized);
  EXPECT_EQ(Get(port_, "/index.htm", Basic("ann:wrong")), kUnauthorized);
  EXPECT_EQ(Get(port_, "/chapter.htm", Basic("ann:wrong")), kUnauthorized);
  EXPECT_EQ(manager_->Seal->Derivations(), 1) << "the browser resending wrong credentials costs one derivation";
  EXPECT_EQ(Get(port_, "/index.htm", Basic("ann:secreT")), kUnauthorized);
  EXPECT_EQ(manager_->Seal->Derivations(), 2);
  EXPECT_FALSE(manager_->Authorized);

  EXPECT_EQ(Get(port_, "/index.htm", Basic(std::string("ann:secret\0", 11))), kArchiveHeader + kIndex)
      << "NULs at the ends are dropped as for any book";
  EXPECT_TRUE(manager_->Authorized);
  EXPECT_EQ(manager_->Seal->Derivations(), 3);
  EXPECT_EQ(Get(port_, "/chapter.htm", Basic("ann:secret")), kArchiveHeader + "<p>a chapter with a needle</p>");
  EXPECT_EQ(Get(port_, "/PIC.GIF"), kPictureHeader + "GIF needle") << "one login opens the book for good";
  EXPECT_EQ(manager_->Seal->Derivations(), 3);

  // Now the generated pages show the sealed settings.
  EXPECT_NE(manager_->BuildNavigationPage().find("/chapter.htm\">Chapter</a>"), std::string::npos);
  EXPECT_NE(Get(port_, "/navigation_bar/about.h").find("<p>Only for readers</p>"), std::string::npos);
  // The seal's own entries are no pages.
  EXPECT_EQ(Get(port_, "/seal:readers"), kArchiveHeader + kNotFound);
  EXPECT_EQ(Get(port_, "/seal:settings"), kArchiveHeader + kNotFound);
  EXPECT_EQ(Get(port_, "/missing.htm"), kArchiveHeader + kNotFound);

  // Highlighting works on the decrypted pages.
  manager_->SetSearchState({true, "needle", false});
  EXPECT_NE(Get(port_, "/chapter.htm").find(">needle</span>"), std::string::npos);
  EXPECT_EQ(Get(port_, "/pic.gif"), kPictureHeader + "GIF needle");
}

TEST_F(SealedServerTest, ParallelRequestsWithNewCredentialsShareOneDerivation) {
  Start(SealBookBlock(UnsealedBook(), Quick()));
  std::atomic<int> served{0};
  std::vector<std::thread> browsers;
  for (int t = 0; t < 6; ++t)
    browsers.emplace_back([&] {
      if (Get(port_, "/index.htm", Basic("bob:other")) == kArchiveHeader + kIndex) ++served;
    });
  for (auto& b : browsers) b.join();
  EXPECT_EQ(served.load(), 6);
  EXPECT_EQ(manager_->Seal->Derivations(), 1);
}

TEST_F(SealedServerTest, ADamagedSealedEntryIsReportedLikeAnyDamagedEntry) {
  std::vector<uint8_t> block = SealBookBlock(UnsealedBook(), Quick());
  Damage(block, 3, 30, 0x20);  // chapter.htm
  Start(std::move(block));
  EXPECT_EQ(Get(port_, "/index.htm", Basic("ann:secret")), kArchiveHeader + kIndex);
  EXPECT_EQ(Get(port_, "/chapter.htm"),
            kArchiveHeader + "The archive is damaged: the sealed entry \"chapter.htm\" has been changed or cut short");
}

TEST_F(SealedServerTest, DamagedSealedSettingsFailTheLoginWithTheirMessage) {
  std::vector<uint8_t> block = SealBookBlock(UnsealedBook(), Quick());
  Damage(block, -2, 20, 0x01);  // seal:settings
  Start(std::move(block));
  const std::string answer = Get(port_, "/index.htm", Basic("ann:secret"));
  EXPECT_EQ(answer.substr(0, answer.find("\r\n")), "HTTP/1.1 500 Internal Server Error") << answer;
  EXPECT_NE(answer.find("The archive is damaged: the sealed entry \"seal:settings\""), std::string::npos) << answer;
  EXPECT_FALSE(manager_->Authorized);
}

TEST(SealedServerStart, ADamagedSealEndsStartUp) {
  std::vector<uint8_t> block = SealBookBlock(UnsealedBook(), Quick());
  Damage(block, -1, 8, 0x06);  // seal:readers: its version, 1, made 7
  HostArchive = reinterpret_cast<const THostArchive*>(block.data());
  try {
    TEbookManager manager(NextTestPort());
    FAIL() << "started";
  } catch (const EArchiveError& e) {
    EXPECT_EQ(e.Message.rfind("The archive is damaged: its seal is of version 7", 0), 0u) << e.Message;
  }
}

TEST(SealedBookSearch, FindsNothingBeforeTheLoginAndTheDecryptedPagesAfter) {
  const std::vector<uint8_t> plain = UnsealedBook();
  const TTestArchive sealed{SealBookBlock(plain, Quick())};
  const TRes_invoker reader = sealed.CheckedReader();
  const std::unique_ptr<TSealedBook> seal = TSealedBook::Find(reader);

  TBookSearch locked(reader, "needle", false, seal.get());
  EXPECT_TRUE(locked.NeedsLogin());
  EXPECT_TRUE(locked.Done());
  EXPECT_FALSE(locked.Step());
  EXPECT_TRUE(locked.Results().empty());

  ASSERT_TRUE(seal->Unlock("bob", ByteSpan("other")));
  TBookSearch open(reader, "needle", false, seal.get());
  EXPECT_FALSE(open.NeedsLogin());
  std::vector<int> progress;
  while (!open.Done()) {
    open.Step();
    progress.push_back(open.Progress());
  }
  const TTestArchive unsealed{plain};
  const TRes_invoker plainReader = unsealed.CheckedReader();
  TBookSearch reference(plainReader, "needle", false);
  while (!reference.Done()) reference.Step();
  EXPECT_EQ(open.Results(), reference.Results());
  EXPECT_EQ(open.Results(), (std::vector<std::string>{"chapter.htm", "last.htm"}));
  EXPECT_EQ(open.Unreadable(), 0) << "the seal's own entries are passed over, not failed";
  EXPECT_EQ(progress.back(), 100);
}

TEST(CredentialCache, RemembersOutcomesOfDistinctCredentialsAndForgetsTheOldest) {
  TCredentialCache cache;
  EXPECT_FALSE(cache.Find("ann", "secret").has_value());
  cache.Add("ann", "secret", true);
  cache.Add("ab", "c", false);
  EXPECT_EQ(cache.Find("ann", "secret"), std::optional<bool>(true));
  EXPECT_EQ(cache.Find("ab", "c"), std::optional<bool>(false));
  EXPECT_FALSE(cache.Find("a", "bc").has_value()) << "where the name ends is part of the credentials";
  EXPECT_FALSE(cache.Find("ann", "Secret").has_value());
  for (size_t i = 0; i < TCredentialCache::kCapacity - 1; ++i) cache.Add("user", std::to_string(i), false);
  EXPECT_FALSE(cache.Find("ann", "secret").has_value()) << "the oldest gave way";
  EXPECT_EQ(cache.Find("ab", "c"), std::optional<bool>(false));
}

}  // namespace

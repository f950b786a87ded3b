// bookserve BOOKDIR: a book folder served while it is written.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "runtime/exceptions.h"
#include "server/http/id_http_client.h"
#include "tools/bookc/bookc.h"
#include "tools/bookserve/folder_state.h"
#include "tools/bookserve/live_book.h"

namespace fs = std::filesystem;

namespace {

// Test servers keep away from the viewer's own port range; a port in use is
// passed over anyway.
constexpr int kTestFirstPort = 15480;

class LiveBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("bookserve_live_test_") + info->name());
    fs::remove_all(dir_);
    std::ostringstream ignored;
    ASSERT_EQ(RunBookc({"new", Utf8Of(dir_), "--title", "Live"}, ignored, ignored), 0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Written as editors that save through a temporary file do: the name
  // holds the old file or the new one, never a part.
  void Replace(const std::string& name, const std::string& content) {
    const fs::path temporary = dir_ / (name + ".saving");
    std::ofstream(temporary, std::ios::binary) << content;
    fs::rename(temporary, dir_ / name);
  }
  std::string Get(const TLiveBook& book, const std::string& path) {
    TIdHTTP client;
    client.ReadTimeout = 10000;
    return client.Get("http://127.0.0.1:" + std::to_string(book.Port()) + path);
  }
  TLiveBook::TOptions Options() {
    TLiveBook::TOptions options;
    options.FirstPort = kTestFirstPort;
    options.Settle = std::chrono::milliseconds(50);
    return options;
  }

  fs::path dir_;
  std::ostringstream report_;
};

TEST_F(LiveBookTest, AnEditIsServedAfterTheNextLookAtTheFolder) {
  TLiveBook book(Utf8Of(dir_), Options(), report_);
  EXPECT_EQ(report_.str(), "bookserve: " + Utf8Of(dir_) + ": 0 errors, 0 warnings, 0 info\n");
  EXPECT_EQ(book.Title(), "Live");
  EXPECT_EQ(book.Address(), "http://127.0.0.1:" + std::to_string(book.Port()) + "/index.htm");
  EXPECT_NE(Get(book, "/index.htm").find("<h1>Live</h1>"), std::string::npos);
  EXPECT_FALSE(book.Refresh()) << "nothing changed";

  Replace("index.htm", "<html><body><p>Edited: <a href=\"gone.htm\">gone</a></p></body></html>");
  EXPECT_TRUE(book.Refresh());
  EXPECT_EQ(book.Generation(), 2);
  EXPECT_NE(Get(book, "/index.htm").find("Edited"), std::string::npos);
  EXPECT_NE(report_.str().find("index.htm changed: packed again, now 1 error, 0 warnings, 0 info\n"),
            std::string::npos)
      << report_.str();
  EXPECT_NE(report_.str().find("index.htm:1: error: href \"gone.htm\""), std::string::npos) << report_.str();

  // A new page and a changed title: the generated pages follow, on the same
  // port.
  Replace("gone.htm", "<p>here now</p>");
  std::string config;
  {
    std::ifstream in(dir_ / "config.ini", std::ios::binary);
    config.assign(std::istreambuf_iterator<char>(in), {});
  }
  config.replace(config.find("title=Live"), 10, "title=Live again");
  Replace("config.ini", config);
  EXPECT_TRUE(book.Refresh());
  EXPECT_EQ(Get(book, "/gone.htm"), "<p>here now</p>");
  EXPECT_EQ(book.Title(), "Live again");
  EXPECT_NE(Get(book, "/navigation_bar/navigate.h").find("http://127.0.0.1:" + std::to_string(book.Port()) + "/"),
            std::string::npos)
      << "links of the generated pages name the preview's port";
  EXPECT_NE(report_.str().find("and 1 more files changed: packed again, now 0 errors"), std::string::npos)
      << report_.str();
}

TEST_F(LiveBookTest, EveryAnswerComesWholeFromOneVersion) {
  // Two pages that always change together: a request for either sees one
  // version of the book, complete, while versions follow each other.
  const std::string big(200000, 'A');
  Replace("index.htm", big);
  TLiveBook book(Utf8Of(dir_), Options(), report_);
  std::atomic<bool> done{false};
  std::atomic<int> answers{0};
  std::string failure;
  std::thread reader([&] {
    try {
      while (!done) {
        std::string page = Get(book, "/index.htm");
        if (!page.empty() && page.back() == ' ') page.pop_back();
        if (page.size() != big.size() || page.find_first_not_of(page[0]) != std::string::npos) {
          failure = "an answer of " + std::to_string(page.size()) + " bytes mixes versions";
          return;
        }
        ++answers;
      }
    } catch (const Exception& e) {
      failure = e.Message;
    }
  });
  for (int version = 0; version < 12 && failure.empty(); ++version) {
    // Sizes alternate too, so that every change is seen even where the
    // file system's clock is coarser than the pace of this loop.
    Replace("index.htm", std::string(big.size(), static_cast<char>('B' + version % 2)) +
                             std::string(static_cast<size_t>(1 - version % 2), ' '));
    EXPECT_TRUE(book.Refresh()) << version;
  }
  done = true;
  reader.join();
  EXPECT_EQ(failure, "");
  EXPECT_GT(answers.load(), 0);
  EXPECT_EQ(book.Generation(), 13);
}

TEST_F(LiveBookTest, AFolderThatCannotBePackedKeepsTheLastVersionServed) {
  TLiveBook book(Utf8Of(dir_), Options(), report_);
  // The folder gone for a while (renamed, a drive away).
  fs::path away = dir_;
  away += "-away";
  fs::remove_all(away);
  fs::rename(dir_, away);
  EXPECT_FALSE(book.Refresh());
  EXPECT_FALSE(book.Refresh()) << "tried again only after a moment";
  const std::string said = report_.str();
  const size_t first = said.find("cannot be packed now");
  ASSERT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find("cannot be packed now", first + 1), std::string::npos) << "reported once: " << said;
  EXPECT_NE(Get(book, "/index.htm").find("<h1>Live</h1>"), std::string::npos);
  EXPECT_EQ(book.Generation(), 1);

  fs::rename(away, dir_);
  EXPECT_FALSE(book.Refresh()) << "back as it was served";
  Replace("chapter1.htm", "<p>one</p>");
  EXPECT_TRUE(book.Refresh());
  EXPECT_EQ(Get(book, "/chapter1.htm"), "<p>one</p>");
}

TEST(FolderState, NamesEveryAddedRemovedAndChangedFile) {
  const TFolderState before = {{"a.htm", {10, 1}}, {"b.htm", {5, 1}}, {"c.htm", {7, 1}}};
  const TFolderState after = {{"a.htm", {10, 1}}, {"b.htm", {5, 2}}, {"d.htm", {1, 1}}};
  EXPECT_EQ(ChangedPaths(before, after), (std::vector<std::string>{"b.htm", "c.htm", "d.htm"}));
  EXPECT_TRUE(ChangedPaths(before, before).empty());
}

}  // namespace

// The viewer's search, entry by entry: which entries are searched, the
// progress it reports, and what it finds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/book_file.h"
#include "archive/res_invoker.h"
#include "server/book_search.h"

namespace {

struct TBook {
  std::vector<uint8_t> Block;
  TRes_invoker Archive() const { return TRes_invoker(reinterpret_cast<const THostArchive*>(Block.data()), Block.size()); }
};

TEST(BookSearch, TenEntriesSearchTwoToNineWithTheProgressOfEachAndSkippedPictures) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "needle");  // entries 0 and 1 are never searched
  builder.Add("book.lst", "needle");
  builder.Add("a.htm", "<p>a needle</p>");
  builder.Add("b.htm", "<a title=\"needle\">no</a>");  // only inside a tag
  builder.Add("pic.JPG", "needle");
  builder.Add("c.HTM", "NEEDLE");
  builder.Add("d.htm", "nothing");
  builder.Add("logo.png", "needle");
  builder.Add("dir.x\\e", "needle");  // the dot is followed by "\": no extension
  builder.Add("f.class", "needle");
  TBook book{builder.Build()};
  const TRes_invoker archive = book.Archive();

  TBookSearch search(archive, "needle", false);
  std::vector<int> progress;
  while (!search.Done()) {
    search.Step();
    progress.push_back(search.Progress());
  }
  EXPECT_EQ(progress, (std::vector<int>{22, 33, 44, 55, 66, 77, 88, 100}));
  EXPECT_EQ(search.Results(), (std::vector<std::string>{"a.htm", "c.HTM", "dir.x\\e"}));

  TBookSearch exact(archive, "NEEDLE", true);
  while (!exact.Done()) exact.Step();
  EXPECT_EQ(exact.Results(), (std::vector<std::string>{"c.HTM"}));
}

TEST(BookSearch, ProgressTruncatesAndFewEntriesSearchNothing) {
  EXPECT_EQ(SearchProgress(2, 4), 66);
  EXPECT_EQ(SearchProgress(3, 4), 100);
  EXPECT_EQ(SearchProgress(1, 3), 50);
  EXPECT_EQ(SearchProgress(29, 30), 100);
  EXPECT_EQ(SearchProgress(7, 50), 14);  // 14.28…

  TArchiveBuilder builder;
  builder.Add("config.ini", "x");
  builder.Add("index.htm", "x");
  TBook book{builder.Build()};
  const TRes_invoker archive = book.Archive();
  TBookSearch search(archive, "x", true);
  EXPECT_TRUE(search.Done());
  EXPECT_FALSE(search.Step());
  EXPECT_TRUE(search.Results().empty());
}

TEST(BookSearch, DamagedEntryIsPassedOverAndTheSearchGoesOn) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "");
  builder.Add("book.lst", "");
  builder.AddRaw("broken.htm", std::vector<uint8_t>{'n', 'o', 't', ' ', 'z'});
  builder.Add("good.htm", "find me");
  TBook book{builder.Build()};
  const TRes_invoker archive = book.Archive();
  TBookSearch search(archive, "find", false);
  EXPECT_FALSE(search.Step());
  EXPECT_EQ(search.Progress(), 66);
  EXPECT_TRUE(search.Step());
  EXPECT_EQ(search.Unreadable(), 1);
  EXPECT_EQ(search.Results(), (std::vector<std::string>{"good.htm"}));
}

TEST(BookSearch, SearchableNamesFollowTheExtensionRule) {
  EXPECT_FALSE(IsSearchableName("x.jpg"));
  EXPECT_FALSE(IsSearchableName("A.B.Gif"));
  EXPECT_FALSE(IsSearchableName("setup.EXE"));
  EXPECT_TRUE(IsSearchableName("x.jpeg"));
  EXPECT_TRUE(IsSearchableName("x.jpg\\page"));
  EXPECT_TRUE(IsSearchableName("c:x.png:y"));
  EXPECT_TRUE(IsSearchableName("noext"));
  EXPECT_TRUE(IsSearchableName(""));
}

}  // namespace

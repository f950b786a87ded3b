#include <gtest/gtest.h>

#include "archive/string_routines.h"

namespace {

TEST(StringRoutines, SplitParam) {
  const auto check = [](const char* text, const char* name, const char* value) {
    const TParamRec p = SplitParam(text);
    EXPECT_EQ(p.Name, name) << text;
    EXPECT_EQ(p.Value, value) << text;
  };
  check("user=pass", "user", "pass");
  check("a=b=c", "a", "b=c");
  check("no equals", "", "no equals");
  check("=value", "", "value");
  check("name=", "name", "");
  check("", "", "");
}

TEST(StringRoutines, Table) {
  EXPECT_EQ(CopyLeft("abcdef", 2), "ab");
  EXPECT_EQ(CopyLeft("abc", 10), "abc");
  EXPECT_EQ(CopyLeft("abc", 0), "");
  EXPECT_EQ(CopyLeft("abc", -1), "");
  EXPECT_EQ(CopyAfter("abcdef", 2), "cdef");
  EXPECT_EQ(CopyAfter("abc", 0), "abc");
  EXPECT_EQ(CopyAfter("abc", 3), "");
  EXPECT_EQ(CopyAfter("abc", 9), "");
  EXPECT_EQ(LeftOfChar("800x600", 'x'), "800");
  EXPECT_EQ(LeftOfChar("x600", 'x'), "");
  EXPECT_EQ(LeftOfChar("Maximized", '#'), "");
  EXPECT_EQ(RightOfChar("800x600", 'x'), "600");
  EXPECT_EQ(RightOfChar("800x", 'x'), "");
  EXPECT_EQ(RightOfChar("a=b=c", '='), "b=c");
  EXPECT_EQ(RightOfChar("800", 'x'), "");
  EXPECT_EQ(StripLeadingChar("//a/b//", '/'), "a/b//");
  EXPECT_EQ(StripTrailingChar("//a/b//", '/'), "//a/b");
  EXPECT_EQ(StripChar("//a/b//", '/'), "a/b");
  EXPECT_EQ(StripChar("////", '/'), "");
  EXPECT_EQ(StripLeadingChar("", '/'), "");
  EXPECT_EQ(ReplaceChar("a\\b\\c", '\\', '/'), "a/b/c");
  EXPECT_EQ(ReplaceChar("abc", 'b', 'b'), "abc");
}

}  // namespace

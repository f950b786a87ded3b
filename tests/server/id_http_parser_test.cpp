#include <gtest/gtest.h>

#include <algorithm>

#include "server/http/id_exception.h"
#include "server/http/id_header_list.h"
#include "server/http/id_http_parser.h"
#include "server/http/id_read_buffer.h"

namespace {

// A reader over text that hands out at most chunk bytes per fill, so that
// lines and CR LF pairs are split at every possible place.
struct TMemoryInput {
  TMemoryInput(std::string text, size_t chunk)
      : Text(std::move(text)), Buffer([this, chunk](char* out, size_t size) {
          const size_t n = std::min({size, chunk, Text.size() - At});
          std::copy_n(Text.data() + At, n, out);
          At += n;
          return n;
        }) {}
  std::string Text;
  size_t At = 0;
  TIdReadBuffer Buffer;
};

TEST(HeaderList, LookupIgnoresCaseFindsTheFirstAndJoinsContinuations) {
  TIdHeaderList list;
  for (const char* line : {"Host: a", "X-Multi:  one  ", "\t two", "  three", "x-multi: second", "NoColon",
                           "Empty:", "Spaced Name : v"}) {
    list.Add(line);
  }
  EXPECT_EQ(list.Values("host"), "a");
  EXPECT_EQ(list.Values("X-MULTI"), "one two three");
  EXPECT_EQ(list.IndexOfName("x-multi"), 1);
  EXPECT_EQ(list.Values("NoColon"), "");
  EXPECT_EQ(list.Values("Empty"), "");
  EXPECT_EQ(list.Values("Spaced Name"), "v");
  EXPECT_EQ(list.Values("missing"), "");
}

TEST(HeaderList, SettingReplacesInPlaceAndEmptyDeletes) {
  TIdHeaderList list;
  for (const char* line : {"A: 1", "B: 2", " 2b", "C: 3"}) list.Add(line);
  list.SetValues("b", "new");
  EXPECT_EQ(list.Text(), "A: 1\r\nb: new\r\nC: 3\r\n") << "the continuation went with the old value";
  list.SetValues("D", "4");
  list.SetValues("A", "");
  EXPECT_EQ(list.Text(), "b: new\r\nC: 3\r\nD: 4\r\n");
  list.SetValues("Missing", "");
  EXPECT_EQ(list.Count(), 3);
}

TEST(HeaderList, LongLinesAreFoldedAtBlanksAndReadBackUnchanged) {
  std::string words;
  for (int i = 0; i < 800; ++i) words += (i ? " w" : "w") + std::to_string(i);
  TIdHeaderList list;
  list.SetValues("X-Words", words);
  list.SetValues("After", "z");
  ASSERT_GT(list.Count(), 4);
  for (const std::string& line : list) EXPECT_LE(line.size(), 1024u);
  EXPECT_EQ(list.Values("X-Words"), words);
  EXPECT_EQ(list.Values("After"), "z");
  // Replacing a folded value removes all its lines.
  list.SetValues("X-Words", "short");
  EXPECT_EQ(list.Text(), "X-Words: short\r\nAfter: z\r\n");

  // Without a blank there is nowhere to fold: the line stays whole.
  const std::string solid(3000, 'q');
  list.SetValues("X-Solid", solid);
  EXPECT_EQ(list[2], "X-Solid: " + solid);
}

TEST(ReadBuffer, LinesEndAtLfWithAnOptionalCrAtEveryChunking) {
  const std::string text = "one\r\ntwo\nthree\r\r\n\r\nin\rner\nrest";
  for (size_t chunk = 1; chunk <= text.size(); ++chunk) {
    TMemoryInput input(text, chunk);
    EXPECT_EQ(input.Buffer.ReadLn(100), "one");
    EXPECT_EQ(input.Buffer.ReadLn(100), "two");
    EXPECT_EQ(input.Buffer.ReadLn(100), "three\r") << "only the CR just before the LF goes";
    EXPECT_EQ(input.Buffer.ReadLn(100), "");
    EXPECT_EQ(input.Buffer.ReadLn(100), "in\rner");
    EXPECT_EQ(input.Buffer.ReadBytes(2), "re");
    EXPECT_THROW(input.Buffer.ReadLn(100), EIdConnClosedGracefully) << "no LF before the end";
  }
}

TEST(ReadBuffer, LineLimitCountsTheLineWithoutItsEnd) {
  for (const size_t chunk : {size_t{3}, size_t{8192}}) {
    TMemoryInput fits(std::string(10, 'a') + "\r\n" + std::string(10, 'b') + "\n", chunk);
    EXPECT_EQ(fits.Buffer.ReadLn(10), std::string(10, 'a'));
    EXPECT_EQ(fits.Buffer.ReadLn(10), std::string(10, 'b'));
    TMemoryInput tooLong(std::string(11, 'a') + "\r\n", chunk);
    EXPECT_THROW(tooLong.Buffer.ReadLn(10), EIdMaxLineLengthExceeded);
    // An endless line fails without reading the input to its end.
    TMemoryInput endless(std::string(100000, 'a'), chunk);
    EXPECT_THROW(endless.Buffer.ReadLn(10), EIdMaxLineLengthExceeded);
    EXPECT_LT(endless.At, 20000u);
  }
}

TEST(ReadBuffer, ReadToEndStopsAtItsLimit) {
  TMemoryInput input("12345678", 3);
  std::string data;
  EXPECT_FALSE(input.Buffer.ReadToEnd(5, data));
  TMemoryInput exact("12345", 2);
  EXPECT_TRUE(exact.Buffer.ReadToEnd(5, data));
  EXPECT_EQ(data, "12345");
}

TEST(Parser, Base64FollowsRfc2045) {
  const struct {
    const char* in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"YQ==", "a"},
      {"YWI=", "ab"},
      {"YWJj", "abc"},
      {"YW\r\nJj ZA", "abcd"},  // characters outside the alphabet are skipped
      {"YQ==YWJj", "a"},        // "=" ends the data
      {"Y", ""},                // incomplete bits are dropped
      {"AP8A/w==", std::string("\0\xff\0\xff", 4)},
      {"+/+/", "\xfb\xff\xbf"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.in), c.out) << c.in;
}

TEST(Parser, RequestFramingReadsExactlyTheBody) {
  TMemoryInput input("POST /p?x=1 HTTP/1.1\r\nContent-Length: 3\r\nAuthorization: Basic dTpw\r\n\r\nabcNEXT", 4);
  TIdHTTPRequestInfo request;
  ASSERT_TRUE(ReadHTTPRequest(input.Buffer, request, false));
  EXPECT_EQ(request.PostBody, "abc");
  EXPECT_EQ(request.ContentLength, 3);
  EXPECT_EQ(request.Path, "/p");
  EXPECT_EQ(request.QueryText, "x=1");
  EXPECT_EQ(request.CredentialUser, "u");
  EXPECT_EQ(request.CredentialPassword, "p");
  EXPECT_EQ(request.Headers.Count(), 2);
  EXPECT_EQ(request.Params.Count(), 0) << "parameters only when asked for";
  EXPECT_EQ(input.Buffer.ReadBytes(4), "NEXT");

  // Another method: nothing after the request line is read.
  TMemoryInput other("PUT / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", 64);
  TIdHTTPRequestInfo ignored;
  EXPECT_FALSE(ReadHTTPRequest(other.Buffer, ignored, true));
  EXPECT_EQ(other.Buffer.ReadLn(100), "Content-Length: 3");

  // A huge announced length is refused before anything is read.
  TMemoryInput huge("POST / HTTP/1.1\r\nContent-Length: 17000000\r\n\r\n", 64);
  EXPECT_THROW(ReadHTTPRequest(huge.Buffer, ignored, true), EIdHTTPBadRequest);
}

}  // namespace

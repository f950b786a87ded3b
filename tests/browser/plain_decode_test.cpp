// The plain browser's first stage: which encoding a page is in, and its
// bytes read in it.
#include <gtest/gtest.h>

#include "browser/plain_decode.h"
#include "runtime/code_pages.h"

namespace {

TEST(PlainDecode, LabelsNameTheEncodingsBrowsersRead) {
  const struct {
    const char* Label;
    unsigned CodePage;
  } cases[] = {
      {"utf-8", 65001},        {" UTF8\t", 65001},      {"Windows-1252", 1252},  {"iso-8859-1", 1252},
      {"latin1", 1252},        {"us-ascii", 1252},      {"windows-1251", 1251},  {"windows-1258", 1258},
      {"koi8-r", 20866},       {"shift_jis", 932},      {"euc-jp", 20932},       {"gb2312", 936},
      {"big5", 950},           {"utf-16", 1200},        {"UTF-16BE", 1201},      {"iso-8859-15", 28605},
      {"windows-1259", 0},     {"utf-7", 0},            {"", 0},                 {"x-bogus", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageForLabel(c.Label), c.CodePage) << c.Label;
}

TEST(PlainDecode, CharsetOfAContentType) {
  EXPECT_EQ(CharsetOfContentType("text/html; charset=UTF-8"), "UTF-8");
  EXPECT_EQ(CharsetOfContentType("text/html;Charset=\"windows-1251\"; q=1"), "windows-1251");
  EXPECT_EQ(CharsetOfContentType("text/html; format=flowed; charset = koi8-r "), "koi8-r");
  EXPECT_EQ(CharsetOfContentType("text/html"), "");
  EXPECT_EQ(CharsetOfContentType("text/html; charsetx=utf-8"), "");
}

TEST(PlainDecode, MetaDeclarationsInTheFirstKilobyte) {
  const struct {
    std::string Page;
    unsigned CodePage;
  } cases[] = {
      {"<html><head><meta charset=\"utf-8\"></head>", 65001},
      {"<META CHARSET=windows-1251>", 1251},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">", 20866},
      {"<meta content='text/html;charset=\"shift_jis\"' http-equiv=content-type>", 932},
      // content without http-equiv says nothing; neither does a comment.
      {"<meta content=\"text/html; charset=koi8-r\">", 0},
      {"<!-- <meta charset=utf-8> --><p>", 0},
      // A page cannot say it is UTF-16 in bytes that are ASCII: UTF-8.
      {"<meta charset=utf-16le>", 65001},
      {"<p title=\"<meta charset=utf-8>\">", 0},
      {std::string(1100, ' ') + "<meta charset=utf-8>", 0},
      {"<meta charset=nonsense><meta charset=utf-8>", 65001},
  };
  for (const auto& c : cases) EXPECT_EQ(MetaCodePage(c.Page), c.CodePage) << c.Page;
}

TEST(PlainDecode, TheMarkBeatsTheAnswerWhichBeatsThePage) {
  const std::string utf8 = "<meta charset=windows-1252>caf\xC3\xA9 \xE2\x80\x99";
  // A byte-order mark wins over everything.
  TDecodedText text = DecodeAnswerText("\xEF\xBB\xBF" + utf8, "text/html; charset=windows-1251", true, 1252);
  EXPECT_EQ(text.Source, TEncodingSource::kByteOrderMark);
  EXPECT_EQ(text.Text, L"<meta charset=windows-1252>caf\u00E9 \u2019");
  // The answer's charset over the page's meta.
  text = DecodeAnswerText(utf8, "text/html; charset=utf-8", true, 1252);
  EXPECT_EQ(text.Source, TEncodingSource::kHttp);
  EXPECT_EQ(text.Text, L"<meta charset=windows-1252>caf\u00E9 \u2019");
  // The meta when the answer names none.
  text = DecodeAnswerText(utf8, "text/html", true, 65001);
  EXPECT_EQ(text.Source, TEncodingSource::kMeta);
  EXPECT_EQ(text.CodePage, 1252u);
  EXPECT_EQ(text.Text, L"<meta charset=windows-1252>caf\u00C3\u00A9 \u00E2\u20AC\u2122");
  // Text answers have no meta; an unknown charset counts as none.
  text = DecodeAnswerText("caf\xE9", "text/plain; charset=x-unknown", false, 1252);
  EXPECT_EQ(text.Source, TEncodingSource::kDefault);
  EXPECT_EQ(text.Text, L"caf\u00E9");
}

TEST(PlainDecode, Utf16WithItsMarks) {
  // "A€😀" in UTF-16 both ways; the emoji is a surrogate pair.
  const std::string little("\xFF\xFE" "A\0\xAC\x20\x3D\xD8\x00\xDE", 10);
  const std::string big("\xFE\xFF" "\0A\x20\xAC\xD8\x3D\xDE\x00", 10);
  for (const std::string& bytes : {little, big}) {
    const std::wstring text = DecodeAnswerText(bytes, "", true, 1252).Text;
    std::wstring expected = L"A\u20AC";
    if constexpr (sizeof(wchar_t) == 2) {
      expected += L"\xD83D\xDE00";
    } else {
      expected += static_cast<wchar_t>(0x1F600);
    }
    EXPECT_EQ(text, expected);
  }
  // A lone surrogate and an odd last byte are replaced, not dropped.
  EXPECT_EQ(DecodeAnswerText(std::string("\xFF\xFE\x00\xDC" "B", 5), "", true, 1252).Text, L"\xFFFD\xFFFD");
}

TEST(PlainDecode, OtherCodePagesThroughThePlatform) {
  // Cyrillic in windows-1251 and KOI8-R, Japanese in Shift_JIS.
  EXPECT_EQ(DecodeAnswerText("\xCF\xF0\xE8\xE2\xE5\xF2", "text/html; charset=windows-1251", true, 1252).Text,
            L"\u041F\u0440\u0438\u0432\u0435\u0442");
  EXPECT_EQ(DecodeAnswerText("\xF0\xD2\xC9\xD7\xC5\xD4", "text/html; charset=koi8-r", true, 1252).Text,
            L"\u041F\u0440\u0438\u0432\u0435\u0442");
  EXPECT_EQ(DecodeAnswerText("\x93\xFA\x96\x7B", "text/html; charset=shift_jis", true, 1252).Text, L"\u65E5\u672C");
  // Invalid bytes become U+FFFD and the text goes on.
  EXPECT_EQ(DecodeAnswerText("a\xC3(b", "text/html; charset=utf-8", true, 1252).Text, L"a\xFFFD(b");
  // Windows-1252 reads the bytes 0x80-0x9F as its own characters.
  EXPECT_EQ(DecodeAnswerText("\x93quoted\x94 \x80", "text/html", true, kCodePageWindows1252).Text,
            L"\u201Cquoted\u201D \u20AC");
}

}  // namespace

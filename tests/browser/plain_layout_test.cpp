// A page through every stage but painting, laid out with the fixed-pitch
// measurer (ordinary text 8 pixels a character at 16 pixels, fixed-pitch
// 13 pixels at 7.8): what shows, where, and what a reader's text is.
#include <gtest/gtest.h>

#include <algorithm>

#include "browser/plain_page.h"
#include "runtime/ansi.h"

namespace {

const std::wstring kUrl = L"http://127.0.0.1:5055/book/page.htm";

std::unique_ptr<TPlainPage> Read(const std::string& html, int width = 800) {
  auto page = TPlainPage::FromAnswer(kUrl, THttpAnswer{200, "text/html; charset=utf-8", "", html}, 1252);
  TFixedMeasurer measurer;
  page->LayOut(width, measurer);
  return page;
}

void LayOut(TPlainPage& page, int width = 800) {
  TFixedMeasurer measurer;
  page.LayOut(width, measurer);
}

std::wstring Text(const std::string& html, int width = 800) { return Read(html, width)->Layout().Text(); }

const TLayoutItem* Find(const TPlainPage& page, const std::wstring& text, TLayoutItem::TKind kind = TLayoutItem::kText) {
  for (const TLayoutItem& item : page.Layout().Items) {
    if (item.Kind == kind && item.Text.find(text) != std::wstring::npos) return &item;
  }
  return nullptr;
}

TEST(PlainLayout, WhatAReaderSeesInReadingOrder) {
  const struct {
    const char* Html;
    const wchar_t* Text;
  } cases[] = {
      {"<p>Some   <b>bold</b>\r\n text<br>next&nbsp;line</p><p>  two  </p>", L"Some bold text\nnext\u00A0line\ntwo"},
      {"<h1>Title</h1>x<div>y</div>z", L"Title\nx\ny\nz"},
      {"foo<b>bar</b> <i>baz</i>", L"foobar baz"},
      {"<pre>  a  b\n\tc\n</pre>", L"  a  b\n        c"},
      {"<p>a<code>  x  y </code>b</p>", L"a x y b"},
      // Left out: scripts, styles, templates, noscript, head, hidden parts.
      {"<head><title>T</title><style>p{}</style></head><script>x()</script><template><p>t</p></template>"
       "<noscript>n</noscript><p hidden>h</p><p style='display: none'>d</p><p style=\"visibility:hidden\">v"
       "<b style='visibility:visible'>shown</b></p><input value=i><textarea>ta</textarea>ok",
       L"shown\nok"},
      {"<details><summary>Sum</summary>closed part</details><details open><summary>S2</summary>open part</details>",
       L"Sum\nS2\nopen part"},
      {"<select><option>one<option>two</select>", L"one\ntwo"},
      {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", L"a\nb\nc"},
      {"<ul><li>one<li>two</ul><ol><li>three</ol>", L"one\ntwo\nthree"},
      {"x<wbr>y <q>q</q> <ruby>a<rp>(</rp><rt>b</rt><rp>)</rp></ruby>", L"xy q ab"},
      {"<p>&rsquo;&#8217;&#x2019; &copy; caf\xC3\xA9</p>", L"\u2019\u2019\u2019 \u00A9 caf\u00E9"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.Html), c.Text) << c.Html;
}

TEST(PlainLayout, ListsHaveMarkersAndIndents) {
  const auto page = Read(
      "<ul><li>a<ul><li>b<ul><li>c</ul></ul></ul><ol start=3 type=a><li>d<li value=9>e<li>f</ol>"
      "<ol type=I><li>g</ol><dl><dt>term<dd>definition</dl><blockquote>quote</blockquote>");
  std::vector<std::wstring> markers;
  for (const TLayoutItem& item : page->Layout().Items) {
    if (item.Kind == TLayoutItem::kMarker) markers.push_back(item.Text);
  }
  EXPECT_EQ(markers, (std::vector<std::wstring>{L"\u2022", L"\u25E6", L"\u25AA", L"c.", L"i.", L"j.", L"I."}));
  const TLayoutItem* a = Find(*page, L"a");
  const TLayoutItem* b = Find(*page, L"b");
  const TLayoutItem* c = Find(*page, L"c");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->X, kPageMargin + 40);
  EXPECT_EQ(b->X, kPageMargin + 80);
  EXPECT_EQ(c->X, kPageMargin + 120);
  // A marker stands in the indent, on its item's first line.
  const TLayoutItem* bullet = Find(*page, L"\u2022", TLayoutItem::kMarker);
  ASSERT_NE(bullet, nullptr);
  EXPECT_LT(bullet->X + bullet->Width, a->X);
  EXPECT_EQ(bullet->Baseline, a->Baseline);
  EXPECT_EQ(Find(*page, L"term")->X, kPageMargin);
  EXPECT_EQ(Find(*page, L"definition")->X, kPageMargin + 40);
  EXPECT_EQ(Find(*page, L"quote")->X, kPageMargin + 40);
}

TEST(PlainLayout, TablesAreGridsSizedByTheirContent) {
  auto page = Read("<table><tr><td>a</td><td>bbbb cc</td></tr><tr><td colspan=2>wide</td></tr>"
                   "<tr><td rowspan=2>r</td><td>s</td></tr><tr><td>t</td></tr></table>");
  const TLayoutItem* a = Find(*page, L"a");
  const TLayoutItem* b = Find(*page, L"bbbb cc");
  const TLayoutItem* wide = Find(*page, L"wide");
  const TLayoutItem* s = Find(*page, L"s");
  const TLayoutItem* t = Find(*page, L"t");
  ASSERT_TRUE(a && b && wide && s && t);
  // Columns as wide as their widest unbroken content: 1 character + 2 pixels of
  // padding, then 2 of spacing.
  EXPECT_EQ(a->Y, b->Y);
  EXPECT_EQ(b->X - a->X, 8 + 2 + 2);
  EXPECT_EQ(wide->X, a->X);
  EXPECT_GT(wide->Y, a->Y);
  EXPECT_EQ(s->X, b->X);
  EXPECT_EQ(t->X, b->X);
  EXPECT_GT(t->Y, s->Y);

  // Too narrow for the unbroken text: the cells wrap, the table fits.
  page = Read("<table><tr><td>one two three four five six</td><td>seven eight nine ten eleven</td></tr></table>", 200);
  for (const TLayoutItem& item : page->Layout().Items) EXPECT_LE(item.X + item.Width, 200) << WideToUtf8(item.Text);
  // Each column gets its narrowest width and a share of the room left in
  // proportion to what it would take unbroken (here both the same).
  EXPECT_EQ(page->Layout().Text(), L"one two\nthree four\nfive six\nseven eight\nnine ten\neleven");

  // Narrower than the longest words: the columns still fit, the words are cut.
  page = Read("<table><tr><td><ul><li>abcdefghijklmnopqrstuvwxyz</ul></td><td>0123456789012345678901234</td></tr></table>",
              200);
  for (const TLayoutItem& item : page->Layout().Items) {
    EXPECT_GE(item.X, 0);
    EXPECT_LE(item.X + item.Width, 200) << WideToUtf8(item.Text);
  }
  std::wstring text = page->Layout().Text();
  text.erase(std::remove(text.begin(), text.end(), L'\n'), text.end());
  EXPECT_EQ(text, L"abcdefghijklmnopqrstuvwxyz0123456789012345678901234");
}

TEST(PlainLayout, LinesBreakBetweenWords) {
  // 96 pixels of text: twelve characters a line.
  auto page = Read("<p>aaaa bbbb cccc dddd <b>ee</b>ee</p><p>xxxxxxxxxxxxxxxxxxxxxxxxxxxxx</p>", 96 + 2 * kPageMargin);
  EXPECT_EQ(page->Layout().Text(), L"aaaa bbbb\ncccc dddd\neeee\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
  for (const TLayoutItem& item : page->Layout().Items) EXPECT_LE(item.X + item.Width, 96 + kPageMargin);
  const TLayoutItem* cut = Find(*page, L"xxxxxxxxxxxx");
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->Text.size(), 12u) << "a word wider than the line is cut where the line ends";
  // Centred text.
  page = Read("<center>ab</center><p align=right>cd</p>", 800);
  EXPECT_EQ(Find(*page, L"ab")->X, kPageMargin + (784 - 16) / 2);
  EXPECT_EQ(Find(*page, L"cd")->X, kPageMargin + 784 - 16);
}

TEST(PlainLayout, PicturesTakeTheirSize) {
  auto page = Read("<a href=big.htm><img src=big.png alt=Big></a><img src=sized.png width=40 height=30>"
                   "<img src=half.png width=50><img src=broken.png alt='Broken picture'><img src=pending.png>"
                   "<img src=big.png>",
                   400);
  ASSERT_EQ(page->PictureUrls().size(), 5u) << "each address once";
  EXPECT_EQ(page->PictureUrls()[0], L"http://127.0.0.1:5055/book/big.png");
  // Before they arrive only the sized one has a place.
  EXPECT_EQ(page->Layout().PictureCount(), 1);
  const auto ready = [](int w, int h) {
    TPictureState state;
    state.Kind = TPictureState::kReady;
    state.Width = w;
    state.Height = h;
    return state;
  };
  page->SetPictureState(0, ready(1000, 500));
  page->SetPictureState(1, ready(10, 10));
  page->SetPictureState(2, ready(100, 80));
  TPictureState failed;
  failed.Kind = TPictureState::kFailed;
  page->SetPictureState(3, failed);
  LayOut(*page, 400);
  std::vector<std::pair<int, int>> sizes;
  for (const TLayoutItem& item : page->Layout().Items) {
    if (item.Kind == TLayoutItem::kPicture) sizes.emplace_back(item.Width, item.Height);
  }
  // Narrowed to the 384 pixels there are, keeping the proportions; the
  // attributes' size; one attribute and the natural proportions.
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{384, 192}, {40, 30}, {50, 40}, {384, 192}}));
  EXPECT_EQ(page->Layout().Text(), L"Broken picture");
  const TLayoutItem* broken = Find(*page, L"Broken");
  ASSERT_NE(broken, nullptr);
  EXPECT_TRUE(broken->Style.Has(kTextAlternative));
  // The linked picture is the link.
  const TLayoutItem& first = page->Layout().Items.front();
  ASSERT_EQ(first.Kind, TLayoutItem::kPicture);
  EXPECT_EQ(page->Layout().LinkAt(first.X + 10, first.Y + 10), 0);
  EXPECT_EQ(page->LinkUrl(0), L"http://127.0.0.1:5055/book/big.htm");
}

TEST(PlainLayout, LinksAnchorsAndTheVisibleItems) {
  std::string html = "<base href='http://127.0.0.1:5055/other/'><p><a href='x.htm#sec' target=_blank>link</a></p>";
  for (int i = 0; i < 100; ++i) html += "<p>line " + std::to_string(i) + "</p>";
  html += "<h2 id=sec>Section</h2><p><a name=late>late</a> text <span id=inline>here</span></p>";
  const auto page = Read(html);
  const TPageLayout& layout = page->Layout();
  EXPECT_EQ(page->LinkUrl(0), L"http://127.0.0.1:5055/other/x.htm#sec");
  EXPECT_EQ(page->LinkTarget(0), L"_blank");
  const TLayoutItem* link = layout.FirstItemOfLink(0);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(layout.LinkAt(link->X + 1, link->Y + 1), 0);
  EXPECT_EQ(layout.LinkAt(link->X + link->Width + 5, link->Y + 1), -1);
  const TLayoutItem* section = Find(*page, L"Section");
  ASSERT_NE(section, nullptr);
  ASSERT_TRUE(layout.Anchors.count(L"sec"));
  EXPECT_LE(layout.Anchors.at(L"sec"), section->Y);
  EXPECT_EQ(layout.Anchors.at(L"late"), layout.Anchors.at(L"inline"));
  EXPECT_GT(layout.Anchors.at(L"late"), section->Y);
  // The items in a band of the page are those that reach into it.
  const auto [first, last] = layout.ItemsBetween(section->Y, section->Y + section->Height);
  for (size_t i = 0; i < layout.Items.size(); ++i) {
    const TLayoutItem& item = layout.Items[i];
    const bool inside = item.Y + item.Height >= section->Y && item.Y <= section->Y + section->Height;
    if (inside) {
      EXPECT_TRUE(i >= first && i < last) << WideToUtf8(item.Text);
    }
  }
  EXPECT_LT(last - first, 5u);
}

TEST(PlainLayout, StyleSheetsThePageNames) {
  auto page = TPlainPage::FromAnswer(
      kUrl,
      THttpAnswer{200, "text/html", "",
                  "<link rel=stylesheet href=a.css><link rel='alternate stylesheet' href=alt.css>"
                  "<style>@import url(b.css); .inline { display: none }</style>"
                  "<p class=inline>i</p><p class=a>a</p><p class=c>c</p><p class=narrow>n</p>"},
      1252);
  EXPECT_EQ(page->StyleSheetsToFetch(),
            (std::vector<std::wstring>{L"http://127.0.0.1:5055/book/a.css", L"http://127.0.0.1:5055/book/b.css"}));
  EXPECT_TRUE(page->StyleSheetsToFetch().empty()) << "each sheet is asked for once";
  EXPECT_TRUE(page->StyleSheetsPending());
  const THttpAnswer a{200, "text/css", "", "@import 'sub/c.css'; .a { display: none }"};
  page->DeliverStyleSheet(L"http://127.0.0.1:5055/book/a.css", &a);
  EXPECT_EQ(page->StyleSheetsToFetch(), std::vector<std::wstring>{L"http://127.0.0.1:5055/book/sub/c.css"});
  const THttpAnswer c{200, "text/css", "", ".c { display: none } @media (max-width: 500px) { .narrow { display: none } }"};
  page->DeliverStyleSheet(L"http://127.0.0.1:5055/book/sub/c.css", &c);
  page->DeliverStyleSheet(L"http://127.0.0.1:5055/book/b.css", nullptr);
  EXPECT_FALSE(page->StyleSheetsPending());
  LayOut(*page, 800);
  EXPECT_EQ(page->Layout().Text(), L"n");
  EXPECT_FALSE(page->NeedsNewBoxes(600));
  EXPECT_TRUE(page->NeedsNewBoxes(400));
  LayOut(*page, 400);
  EXPECT_EQ(page->Layout().Text(), L"");
}

TEST(PlainLayout, TextPagesKeepTheirLines) {
  auto page = TPlainPage::FromAnswer(kUrl, THttpAnswer{200, "text/plain", "", "one\r\n\ttwo  <b>\n\nthree"}, 1252);
  LayOut(*page);
  EXPECT_EQ(page->Layout().Text(), L"one\n        two  <b>\nthree");
  const TLayoutItem* one = Find(*page, L"one");
  const TLayoutItem* three = Find(*page, L"three");
  ASSERT_TRUE(one && three);
  EXPECT_TRUE(one->Style.Has(kTextMono));
  EXPECT_GT(three->Y - one->Y, 2 * one->Height) << "the empty line keeps its place";
}

}  // namespace

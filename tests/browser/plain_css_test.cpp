// What the plain browser takes from style sheets: whether an element shows.
#include <gtest/gtest.h>

#include "browser/plain_css.h"
#include "runtime/ansi.h"

namespace {

TEST(PlainCss, Declarations) {
  TStyleDeclarations d = ParseDeclarations(L"color: red; DISPLAY : None ! important;visibility:hidden");
  EXPECT_EQ(d.Display, TDisplayValue::kNone);
  EXPECT_TRUE(d.DisplayImportant);
  EXPECT_EQ(d.Visibility, TVisibilityValue::kHidden);
  EXPECT_FALSE(d.VisibilityImportant);
  d = ParseDeclarations(L"display: inline-flex; visibility: inherit; background:yellow;mso-highlight:yellow");
  EXPECT_EQ(d.Display, TDisplayValue::kShown);
  EXPECT_EQ(d.Visibility, TVisibilityValue::kUnset);
  EXPECT_TRUE(d.Background);
  EXPECT_FALSE(ParseDeclarations(L"background: transparent; font: 12px 'a;b'").Background);
  EXPECT_FALSE(ParseDeclarations(L"content: 'display: none'").Any());
}

TEST(PlainCss, MediaQueries) {
  const struct {
    const wchar_t* Media;
    int Width;
    bool Matches;
  } cases[] = {
      {L"", 800, true},
      {L"screen", 800, true},
      {L"print", 800, false},
      {L"only screen and (max-width: 1023px)", 800, true},
      {L"only screen and (max-width: 1023px)", 1024, false},
      {L"(min-width: 50em)", 800, true},
      {L"(min-width: 50em)", 799, false},
      {L"print, (max-width:600px)", 500, true},
      {L"not print", 800, true},
      {L"not screen and (min-width: 900px)", 800, true},
      {L"(width >= 600px)", 600, true},
      {L"(600px < width)", 600, false},
      {L"(prefers-color-scheme: dark)", 800, false},
      {L"(orientation: landscape)", 800, true},
      {L"(unknown-feature: 1)", 800, false},
      {L"speech", 800, false},
  };
  for (const auto& c : cases) EXPECT_EQ(MediaMatches(c.Media, c.Width), c.Matches) << WideToUtf8(c.Media) << " at " << c.Width;
}

// The ids of the elements a page's sheets leave shown, and those hidden by
// visibility.
struct TResult {
  std::string Shown;
  std::string Invisible;
};

TResult Resolve(const std::wstring& html, const std::wstring& css, int width = 800) {
  const TDomDocument doc = ParseHtmlDocument(html);
  std::vector<TAppliedSheet> sheets{{std::make_shared<TStyleSheet>(ParseStyleSheet(css)), {}}};
  const TStyleResolver resolver(doc, sheets, width);
  TResult result;
  for (size_t i = 0; i < doc.Nodes.size(); ++i) {
    const std::wstring* id = doc.Attribute(static_cast<int>(i), "id");
    if (id == nullptr) continue;
    const TElementStyle style = resolver.StyleOf(static_cast<int>(i));
    if (style.Display != TDisplayValue::kNone) result.Shown += WideToUtf8(*id);
    if (style.Visibility == TVisibilityValue::kHidden) result.Invisible += WideToUtf8(*id);
  }
  return result;
}

TEST(PlainCss, SelectorsThatMatch) {
  const std::wstring page =
      L"<div id=a class='nav main'><p id=b class=x>1</p><p id=c lang=en-GB>2</p>"
      L"<span id=d data-k='v w'>3</span></div><ul><li id=e><li id=f><li id=g></ul>"
      L"<a id=h href=x>l</a><a id=i name=n>m</a><input id=j type=checkbox checked>";
  const struct {
    const wchar_t* Selector;
    const char* Hidden;  // ids the rule hides
  } cases[] = {
      {L"p", "bc"},
      {L".nav", "a"},
      {L"div.nav.main > .x", "b"},
      {L"#c", "c"},
      {L"div p", "bc"},
      {L"body > p", ""},
      {L".x + p", "c"},
      {L".x ~ span", "d"},
      {L"[lang|=en]", "c"},
      {L"[data-k~=w]", "d"},
      {L"[data-k^='v ']", "d"},
      {L"[data-k$=W i]", "d"},
      {L"li:first-child, li:last-child", "eg"},
      {L"li:nth-child(2n+1)", "eg"},
      {L"li:nth-last-child(2)", "f"},
      {L"p:not(.x)", "c"},
      {L":is(#b, #d)", "bd"},
      {L"a:link", "h"},
      {L"*", "abcdefghij"},
      // States and pseudo-elements never hold on a page read as it stands.
      {L"p:hover, input:checked, p::before, p:before", ""},
      {L"li:nth-child(bogus), p | x, & p", ""},
  };
  const std::string all = "abcdefghij";
  for (const auto& c : cases) {
    std::string expected;
    for (char id : all) {
      if (std::string(c.Hidden).find(id) == std::string::npos) expected += id;
    }
    EXPECT_EQ(Resolve(page, std::wstring(c.Selector) + L" { display: none }").Shown, expected)
        << WideToUtf8(c.Selector);
  }
}

TEST(PlainCss, TheCascade) {
  const std::wstring page = L"<p id=a class=k style='display:block'>x</p><p id=b class=k>y</p><p id=c class=k>z</p>";
  // Later rules win at equal specificity, more specific ones over later,
  // !important over both, the style attribute over normal rules only.
  EXPECT_EQ(Resolve(page, L".k{display:none} #b{display:block} p{display:block}").Shown, "ab");
  EXPECT_EQ(Resolve(page, L"p{display:none} p{display:block}").Shown, "abc");
  EXPECT_EQ(Resolve(page, L"p{display:none !important} #c{display:block}").Shown, "");
  EXPECT_EQ(Resolve(page, L".k{display:none}").Shown, "a");
  // Media blocks and imports' conditions.
  const std::wstring responsive = L".k{display:none} @media (max-width: 1023px) { #b { display: block } }";
  EXPECT_EQ(Resolve(page, responsive, 800).Shown, "ab");
  EXPECT_EQ(Resolve(page, responsive, 1200).Shown, "a");
  EXPECT_EQ(Resolve(page, L"@font-face { p { display: none } } @keyframes k { from { x: 1 } }").Shown, "abc");
  // Visibility as declared on the element.
  EXPECT_EQ(Resolve(page, L"#a, #c { visibility: hidden } #c { visibility: visible }").Invisible, "a");
}

TEST(PlainCss, SheetsReadLikeBrowsersReadThem) {
  const TStyleSheet sheet = ParseStyleSheet(
      L"@charset \"utf-8\"; @import url(\"base.css\") screen; @import 'more.css';\n"
      L"/* .x { display: none } */ .y { color: red } .z, .w::after { display: none; }\n"
      L"@media print { .q { display: none } } <!-- .v { visibility: hidden } --> }} .u { display: none");
  ASSERT_EQ(sheet.Imports.size(), 2u);
  EXPECT_EQ(sheet.Imports[0].Href, L"base.css");
  EXPECT_EQ(sheet.Imports[0].Media, L"screen");
  EXPECT_EQ(sheet.Imports[1].Href, L"more.css");
  // Only rules about showing are kept: .z, .q (under print), .v, and the
  // unterminated .u; the rule of a pseudo-element is not.
  ASSERT_EQ(sheet.Rules.size(), 4u);
  EXPECT_EQ(sheet.Rules[1].Media, 0);
  EXPECT_EQ(sheet.Media[0], std::vector<std::wstring>{L"print"});
}

TEST(PlainCss, WidthChangesOnlyMatterAcrossABreakpoint) {
  const TDomDocument doc = ParseHtmlDocument(L"<p id=a>x</p>");
  std::vector<TAppliedSheet> sheets{
      {std::make_shared<TStyleSheet>(ParseStyleSheet(L"@media (max-width: 600px) { p { display: none } }")), {}},
      {std::make_shared<TStyleSheet>(ParseStyleSheet(L"p { visibility: visible }")), {L"(min-width: 1000px)"}}};
  const TStyleResolver resolver(doc, sheets, 800);
  EXPECT_TRUE(resolver.SameMediaAt(700));
  EXPECT_TRUE(resolver.SameMediaAt(999));
  EXPECT_FALSE(resolver.SameMediaAt(600));
  EXPECT_FALSE(resolver.SameMediaAt(1000));
}

}  // namespace

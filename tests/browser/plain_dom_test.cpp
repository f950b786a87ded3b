// The plain browser's second stage: HTML's text to a tree of elements.
#include <gtest/gtest.h>

#include <algorithm>

#include "browser/plain_dom.h"
#include "runtime/ansi.h"

namespace {

// The body as "name(children)" with text as "'text'".
std::string Shape(const TDomDocument& doc, int node) {
  const TDomNode& n = doc.Nodes[static_cast<size_t>(node)];
  if (n.IsText) return "'" + WideToUtf8(n.Text) + "'";
  std::string out(doc.ElementName(node));
  if (n.FirstChild < 0) return out;
  out += "(";
  for (int child = n.FirstChild; child >= 0; child = doc.Nodes[static_cast<size_t>(child)].NextSibling) {
    if (child != n.FirstChild) out += " ";
    out += Shape(doc, child);
  }
  return out + ")";
}

std::string Body(const std::wstring& html) {
  const TDomDocument doc = ParseHtmlDocument(html);
  return doc.Body >= 0 ? Shape(doc, doc.Body) : "(no body)";
}

TEST(PlainDom, CharacterReferences) {
  const struct {
    const wchar_t* Text;
    const wchar_t* Decoded;
  } cases[] = {
      {L"&amp;&lt;&gt;&quot;&apos;", L"&<>\"'"},
      {L"Developer&rsquo;s &#8217; &#x2019; &#X2019;", L"Developer\u2019s \u2019 \u2019 \u2019"},
      {L"&nbsp;&mdash;&hellip;&euro;&NotEqualTilde;", L"\u00A0\u2014\u2026\u20AC\u2242\u0338"},
      // Old names stand without ";", the longest that fits: "&notit;" is "¬it;".
      {L"&copy2023 &notit; &amp", L"\u00A92023 \u00ACit; &"},
      // Unknown names stay as written; a bare "&" too.
      {L"&bogus; & &;", L"&bogus; & &;"},
      // Numbers browsers correct: nothing, beyond Unicode, surrogates, and
      // 0x80-0x9F read as Windows-1252.
      {L"&#0;&#x110000;&#xD800;&#128;&#x92;", L"\xFFFD\xFFFD\xFFFD\u20AC\u2019"},
      {L"&#;&#x;&#65", L"&#;&#x;A"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeCharacterReferences(c.Text), c.Decoded) << WideToUtf8(c.Text);
  // In an attribute an old name followed by "=" or a letter stays: links keep their queries.
  EXPECT_EQ(DecodeCharacterReferences(L"?a=1&copy=2&copyx&copy;", true), L"?a=1&copy=2&copyx\u00A9");
  std::wstring astral;
  AppendCodePoint(astral, 0x1D538);
  EXPECT_EQ(DecodeCharacterReferences(L"&Aopf;&#x1D538;"), astral + astral);
}

TEST(PlainDom, ImpliedEndTags) {
  const struct {
    const wchar_t* Html;
    const char* Shape;
  } cases[] = {
      {L"<p>one<p>two<div>three</div>", "body(p('one') p('two') div('three'))"},
      {L"<ul><li>a<li>b<ul><li>c</ul><li>d</ul>", "body(ul(li('a') li('b' ul(li('c'))) li('d')))"},
      {L"<dl><dt>t<dd>d<dt>u</dl>", "body(dl(dt('t') dd('d') dt('u')))"},
      {L"<h1>a<h2>b</h1>c", "body(h1('a') h2('b') 'c')"},
      {L"<table><tr><td>a<td>b<tr><th>c</table>", "body(table(tr(td('a') td('b')) tr(th('c'))))"},
      // Cells without rows get one; text outside the cells goes before the table.
      {L"<table><td>a</td>lost<td>b</table>", "body('lost' table(tr(td('a') td('b'))))"},
      {L"<table><tbody><tr><td><p>x<td>y</table>z", "body(table(tbody(tr(td(p('x')) td('y')))) 'z')"},
      {L"<p>a<table><tr><td>b</table>", "body(p('a') table(tr(td('b'))))"},
      {L"<select><option>a<option>b</select>", "body(select(option('a') option('b')))"},
      // Formatting ends across the blocks it holds; other elements do not.
      {L"<b><p>x</b>y</p>", "body(b(p('x')) 'y' p)"},
      {L"<div><span>a</div>b", "body(div(span('a')) 'b')"},
      {L"<a href=1>x<a href=2>y", "body(a('x') a('y'))"},
      {L"a</p>b</br>c", "body('a' p 'b' br 'c')"},
      {L"<ul><li>a<ul><li>b</ul></ul>c", "body(ul(li('a' ul(li('b')))) 'c')"},
      {L"<div><p>a<span>b</div>c", "body(div(p('a' span('b'))) 'c')"},
      {L"x<br/>y<img src=a>z<hr>w", "body('x' br 'y' img 'z' hr 'w')"},
      {L"<pre>\nline\n  two</pre>", "body(pre('line\n  two'))"},
  };
  for (const auto& c : cases) EXPECT_EQ(Body(c.Html), c.Shape) << WideToUtf8(c.Html);
}

TEST(PlainDom, RawTextCommentsAndHead) {
  const TDomDocument doc = ParseHtmlDocument(
      L"<!DOCTYPE html><html lang=en><head><title> A &amp; \n B </title><meta charset=utf-8>"
      L"<base href=\"http://x/y/\"><style>p > b { color: red }</style></head>"
      L"<body class=main><!-- <p>hidden</p> --><script>if (a < b) document.write('<p>no</p>')</script>"
      L"<p>a<?php echo 1 ?>b<textarea>\n<b>t</b> &amp;</textarea></p></body></html>");
  EXPECT_EQ(doc.Title, L"A & B");
  EXPECT_EQ(doc.BaseHref, L"http://x/y/");
  EXPECT_EQ(Shape(doc, doc.Head), "head(title(' A & \n B ') meta base style('p > b { color: red }'))");
  EXPECT_EQ(Shape(doc, doc.Body),
            "body(script('if (a < b) document.write('<p>no</p>')') p('ab' textarea('<b>t</b> &')))");
  ASSERT_NE(doc.Attribute(doc.Body, "class"), nullptr);
  EXPECT_EQ(*doc.Attribute(doc.Body, "class"), L"main");
  EXPECT_EQ(*doc.Attribute(doc.Html, "lang"), L"en");
}

TEST(PlainDom, AttributesAndBrokenMarkup) {
  const TDomDocument doc = ParseHtmlDocument(
      L"<a HREF=\"a.htm?x=1&amp;y=2\" target=_blank title='q \"x\"' href=ignored data-x disabled>l</a>");
  const int a = doc.Nodes[static_cast<size_t>(doc.Body)].FirstChild;
  EXPECT_EQ(*doc.Attribute(a, "href"), L"a.htm?x=1&y=2");
  EXPECT_EQ(*doc.Attribute(a, "target"), L"_blank");
  EXPECT_EQ(*doc.Attribute(a, "title"), L"q \"x\"");
  EXPECT_TRUE(doc.HasAttribute(a, "disabled"));
  EXPECT_EQ(doc.Attribute(a, "missing"), nullptr);
  // Nothing before the broken part is lost, and nothing runs past the end.
  EXPECT_EQ(Body(L"a < b <b>bold"), "body('a < b ' b('bold'))");
  EXPECT_EQ(Body(L"text<!-- never closed"), "body('text')");
  EXPECT_EQ(Body(L"x<a href=\"unterminated"), "body('x')");
  EXPECT_EQ(ParseHtmlDocument(L"<title>no end").Title, L"no end");
  const TDomDocument script = ParseHtmlDocument(L"<script>never closed");
  EXPECT_EQ(Shape(script, script.Head), "head(script('never closed'))");
  EXPECT_EQ(Shape(script, script.Body), "body") << "every page has its body";
  EXPECT_EQ(Body(std::wstring(L"a\r\nb\rc\0d", 8)), "body('a\nb\ncd')");
  EXPECT_EQ(Body(L"<template><p>t</p></template>x"), "body('x')") << "a template's content stays in it";
  EXPECT_EQ(Body(L"<svg><circle/><text>t</text></svg>after"), "body(svg(circle text('t')) 'after')");
}

TEST(PlainDom, NestingDeeperThanTheLimitIsFlattened) {
  std::wstring html;
  for (int i = 0; i < 5000; ++i) html += L"<div>";
  html += L"deep";
  const TDomDocument doc = ParseHtmlDocument(html);
  int text = -1;
  int deepest = 0;
  for (size_t i = 0; i < doc.Nodes.size(); ++i) {
    int depth = 0;
    for (int node = static_cast<int>(i); node > 0; node = doc.Nodes[static_cast<size_t>(node)].Parent) ++depth;
    deepest = std::max(deepest, depth);
    if (doc.Nodes[i].IsText) text = static_cast<int>(i);
  }
  EXPECT_LE(deepest, kMaxDomDepth + 2);
  ASSERT_GE(text, 0);
  EXPECT_EQ(doc.Nodes[static_cast<size_t>(text)].Text, L"deep");
}

}  // namespace

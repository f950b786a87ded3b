// Style sheets as the plain browser reads them (any bytes a book or a
// server hands it): the sheet parsed, its rules matched against a page's
// elements at two widths, and the bytes as a style attribute and a media
// list.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "browser/plain_css.h"
#include "runtime/ansi.h"

namespace {

const TDomDocument& Page() {
  static const TDomDocument page = ParseHtmlDocument(
      L"<html><body class='a b'><div id=main class=nav><p class=x lang=en>1</p><p>2<span data-k=v>3</span></p>"
      L"<ul><li>a<li class=x>b<li>c</ul><table><tr><td>t</td></tr></table></div><a href=x>l</a></body></html>");
  return page;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring css = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  auto sheet = std::make_shared<TStyleSheet>(ParseStyleSheet(css));
  for (const TStyleRule& rule : sheet->Rules) {
    if (!rule.Selector || rule.Media >= static_cast<int>(sheet->Media.size())) __builtin_trap();
  }
  const std::vector<TAppliedSheet> sheets{{sheet, {}}, {sheet, {css}}};
  for (int width : {320, 1280}) {
    const TStyleResolver resolver(Page(), sheets, width);
    for (size_t node = 0; node < Page().Nodes.size(); ++node) resolver.StyleOf(static_cast<int>(node));
    resolver.SameMediaAt(width + 1);
  }
  ParseDeclarations(css);
  MediaMatches(css, 800);
  return 0;
}

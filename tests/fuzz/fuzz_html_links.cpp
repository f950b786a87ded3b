// Book pages as bookc check reads them: any bytes at all, markup or not.
// Every link found is resolved as the check resolves it, and the graphics
// checks get the same bytes as a bitmap and an icon file.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "tools/bookc/check.h"
#include "tools/bookc/html_links.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  int lastLine = 1;
  for (const THtmlLink& link : ScanHtmlLinks(page)) {
    // Lines only go forward and never beyond the lines of the page.
    if (link.Line < lastLine || link.Line > static_cast<int>(size) + 1) __builtin_trap();
    lastLine = link.Line;
    if (link.Attribute != "href" && link.Attribute != "src") __builtin_trap();
    for (bool about : {false, true}) {
      const TLinkTarget target = ResolveLink("/chapters/page.htm", link.Value, about);
      if ((target.Kind == TLinkTarget::kBook || target.Kind == TLinkTarget::kAboveRoot) &&
          (target.Path.empty() || target.Path[0] != '/'))
        __builtin_trap();
    }
  }
  BitmapFileProblem(std::span(data, size));
  IconFileProblem(std::span(data, size));
  return 0;
}

// Reads pages the way the plain browser does and prints one JSON object per
// page: its address, title, encoding, the text a reader sees in reading
// order, and the pictures drawn (address and place). The comparison with a
// real browser (tests/tools/plain_browser_compare.py) reads this.
//
//   plain_page_text [--width N] URL...
//   plain_page_text [--width N] --list FILE      one address per line
//
// Natively the page goes through the portable stages without a window,
// measured with the fixed-pitch measurer; a picture counts as drawn when its
// answer holds a format the platform's imaging component decodes, sized by
// its attributes or a nominal 64 x 64. The Windows build (run under Wine)
// reads each page with the plain browser itself in a window of that width
// (GDI fonts, pictures decoded by WIC), paints the whole page and checks the
// painting against the layout: every picture's pixels where the layout put
// it, ink in every piece of text ("paintedMatches", "paintProblems").
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "browser/plain_page_reader.h"
#include "runtime/ansi.h"

namespace {

std::string JsonString(const std::wstring& text) {
  const std::string utf8 = WideToUtf8(text);
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void Print(const TPageReading& page) {
  std::string pictures;
  for (const TPictureSpot& spot : page.Pictures) {
    if (!pictures.empty()) pictures += ",";
    pictures += "{\"url\":" + JsonString(spot.Url) + ",\"x\":" + std::to_string(spot.X) + ",\"y\":" +
                std::to_string(spot.Y) + ",\"width\":" + std::to_string(spot.Width) +
                ",\"height\":" + std::to_string(spot.Height) + "}";
  }
  std::string problems;
  for (const std::string& problem : page.PaintProblems) {
    if (!problems.empty()) problems += ",";
    problems += JsonString(Utf8ToWide(problem));
  }
  std::cout << "{\"url\":" << JsonString(page.Url) << ",\"title\":" << JsonString(page.Title)
            << ",\"codePage\":" << page.CodePage << ",\"text\":" << JsonString(page.Text) << ",\"pictures\":["
            << pictures << "],\"height\":" << page.Height << ",\"ms\":" << page.Milliseconds;
  if (page.PaintChecked) {
    std::cout << ",\"paintedMatches\":" << (page.PaintProblems.empty() ? "true" : "false") << ",\"paintProblems\":["
              << problems << "]";
  }
  std::cout << "}\n";
  std::cout.flush();
}

}  // namespace

int main(int argc, char** argv) {
  int width = 800;
  std::vector<std::wstring> urls;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--width" && i + 1 < argc) {
      width = std::atoi(argv[++i]);
    } else if (argument == "--list" && i + 1 < argc) {
      std::ifstream list(argv[++i]);
      std::string line;
      while (std::getline(list, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) urls.push_back(Utf8ToWide(line));
      }
    } else {
      urls.push_back(Utf8ToWide(argument));
    }
  }
  if (urls.empty() || width < 100) {
    std::cerr << "usage: plain_page_text [--width N] URL... | --list FILE\n";
    return 2;
  }
  StartReader(width);
  for (const std::wstring& url : urls) Print(ReadPlainPage(url, width));
  return 0;
}

// Reads pages the way the plain browser does, without a window: fetches
// each address (and the style sheets and pictures it names) over HTTP,
// lays it out with the fixed-pitch measurer and prints one JSON object per
// page: its address, title, the text a reader sees in reading order, and
// its pictures (address, whether it would be drawn, where). The comparison
// with a real browser (tests/tools/plain_browser_compare.py) reads this.
//
//   plain_page_text [--width N] URL...
//   plain_page_text [--width N] --list FILE      one address per line
//
// A picture counts as drawn when its answer holds a picture format the
// platform's imaging component decodes; natively its size is taken from
// its attributes, or a nominal 64 x 64.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <iostream>
#include <string>
#include <vector>

#include "browser/plain_fetch.h"
#include "browser/plain_page.h"
#include "runtime/ansi.h"
#include "runtime/code_pages.h"

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

std::unique_ptr<TPlainFetch> Fetch(const std::wstring& url) {
  auto fetch = std::make_unique<TPlainFetch>();
  fetch->Url = url;
  RunPlainFetch(*fetch);
  return fetch;
}

void ReadPage(const std::wstring& start, int width) {
  const auto began = std::chrono::steady_clock::now();
  std::wstring url = start;
  std::unique_ptr<TPlainPage> page;
  for (int redirects = 0;; ++redirects) {
    const auto fetch = Fetch(url);
    fetch->Redirects = redirects;
    TPlainOutcome outcome = PlainFetchOutcome(*fetch, 5, AnsiCodePage());
    if (!outcome.Redirect) {
      page = std::move(outcome.Page);
      break;
    }
    url = outcome.RedirectTo;
  }
  for (;;) {
    const std::vector<std::wstring> sheets = page->StyleSheetsToFetch();
    if (sheets.empty()) break;
    for (const std::wstring& sheet : sheets) {
      const auto fetch = Fetch(sheet);
      page->DeliverStyleSheet(sheet, fetch->Failed ? nullptr : &fetch->Answer);
    }
  }
  TFixedMeasurer measurer;
  page->BuildBoxes(width);
  for (size_t i = 0; i < page->PictureUrls().size(); ++i) {
    const auto fetch = Fetch(page->PictureUrls()[i]);
    TPictureState state;
    const bool decodable =
        !fetch->Failed && fetch->Answer.StatusCode < 400 && LooksLikeDecodablePicture(fetch->Answer.Body);
    state.Kind = decodable ? TPictureState::kReady : TPictureState::kFailed;
    state.Width = state.Height = decodable ? 64 : 0;
    page->SetPictureState(i, state);
  }
  page->LayOut(width, measurer);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();

  std::string pictures;
  for (const TLayoutItem& item : page->Layout().Items) {
    if (item.Kind != TLayoutItem::kPicture) continue;
    const int urlIndex = page->PictureUrlIndex(item.Picture);
    if (!pictures.empty()) pictures += ",";
    pictures += "{\"url\":" + JsonString(urlIndex >= 0 ? page->PictureUrls()[static_cast<size_t>(urlIndex)] : L"") +
                ",\"x\":" + std::to_string(item.X) + ",\"y\":" + std::to_string(item.Y) +
                ",\"width\":" + std::to_string(item.Width) + ",\"height\":" + std::to_string(item.Height) + "}";
  }
  std::cout << "{\"url\":" << JsonString(url) << ",\"title\":" << JsonString(page->Title())
            << ",\"codePage\":" << page->CodePage() << ",\"text\":" << JsonString(page->Layout().Text())
            << ",\"pictures\":[" << pictures << "],\"height\":" << page->Layout().Height << ",\"ms\":" << ms << "}\n";
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
  if (urls.empty()) {
    std::cerr << "usage: plain_page_text [--width N] URL... | --list FILE\n";
    return 2;
  }
  for (const std::wstring& url : urls) ReadPage(url, width);
  return 0;
}

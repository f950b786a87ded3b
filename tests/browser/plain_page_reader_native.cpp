#include <chrono>
#include <memory>

#include "browser/plain_fetch.h"
#include "browser/plain_page.h"
#include "browser/plain_page_reader.h"
#include "runtime/code_pages.h"

namespace {

std::unique_ptr<TPlainFetch> Fetch(const std::wstring& url) {
  auto fetch = std::make_unique<TPlainFetch>();
  fetch->Url = url;
  RunPlainFetch(*fetch);
  return fetch;
}

}  // namespace

void StartReader(int) {}

TPageReading ReadPlainPage(const std::wstring& start, int width) {
  const auto began = std::chrono::steady_clock::now();
  TPageReading reading;
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
  reading.Milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  reading.Url = url;
  reading.Title = page->Title();
  reading.CodePage = page->CodePage();
  reading.Text = page->Layout().Text();
  reading.Height = page->Layout().Height;
  for (const TLayoutItem& item : page->Layout().Items) {
    if (item.Kind != TLayoutItem::kPicture) continue;
    const int index = page->PictureUrlIndex(item.Picture);
    reading.Pictures.push_back({index >= 0 ? page->PictureUrls()[static_cast<size_t>(index)] : L"", item.X, item.Y,
                                item.Width, item.Height});
  }
  return reading;
}

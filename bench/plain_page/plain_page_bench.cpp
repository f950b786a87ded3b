// The plain browser's first paint of a large page, under Wine: from the
// navigation to the end of the first paint of the page in a real window
// (fetch, decoding, parsing, styles, boxes, layout, painting), best of
// several rounds; and the same work stage by stage on the answer as
// fetched. bench/plain_page.sh measures Chromium's first paint of the same
// page in the same run and prints the ratio.
//
//   bench_plain_page URL [ROUNDS]
#include <windows.h>
#include <ole2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "bench_util.h"
#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "browser/plain_fetch.h"
#include "browser/plain_page.h"
#include "browser/plain_paint.h"
#include "runtime/ansi.h"
#include "runtime/code_pages.h"
#include "runtime/scope_exit.h"
#include "graphics/sk_bitmap.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

bool Pump(const std::function<bool()>& done, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > milliseconds) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
  return true;
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_plain_page URL [ROUNDS]\n");
    return 2;
  }
  // The browser host lives in a single-threaded apartment, as in ShowEbook.
  const HRESULT ole = OleInitialize(nullptr);
  const TScopeExit leaveOle([ole] {
    if (SUCCEEDED(ole)) OleUninitialize();
  });
  const std::wstring url = Utf8ToWide(argv[1]);
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  // ---- stage by stage
  double fetchMs = 1e9, readMs = 1e9, boxesMs = 1e9, layoutMs = 1e9, paintMs = 1e9;
  size_t bytes = 0;
  int items = 0;
  int height = 0;
  TPlainFonts fonts;
  for (int round = 0; round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    TPlainFetch fetch;
    fetch.Url = url;
    RunPlainFetch(fetch);
    fetchMs = std::min(fetchMs, Since(start));
    if (fetch.Failed) {
      std::fprintf(stderr, "bench_plain_page: %s: %s\n", argv[1], fetch.Error.c_str());
      return 1;
    }
    bytes = fetch.Answer.Body.size();
    start = std::chrono::steady_clock::now();
    TPlainOutcome outcome = PlainFetchOutcome(fetch, 5, AnsiCodePage());
    readMs = std::min(readMs, Since(start));
    TPlainPage& page = *outcome.Page;
    // The style sheets, fetched outside the timing.
    for (;;) {
      const auto sheets = page.StyleSheetsToFetch();
      if (sheets.empty()) break;
      for (const std::wstring& sheet : sheets) {
        TPlainFetch sheetFetch;
        sheetFetch.Url = sheet;
        RunPlainFetch(sheetFetch);
        page.DeliverStyleSheet(sheet, sheetFetch.Failed ? nullptr : &sheetFetch.Answer);
      }
    }
    start = std::chrono::steady_clock::now();
    page.BuildBoxes(kWidth);
    boxesMs = std::min(boxesMs, Since(start));
    const std::unique_ptr<HDC__, BOOL(WINAPI*)(HDC)> dc(CreateCompatibleDC(nullptr), &DeleteDC);
    TGdiMeasurer measurer(dc.get(), fonts);
    start = std::chrono::steady_clock::now();
    page.LayOut(kWidth, measurer);
    layoutMs = std::min(layoutMs, Since(start));
    items = static_cast<int>(page.Layout().Items.size());
    height = page.Layout().Height;
    TskBitmap screen;
    screen.SetSize(kWidth, kHeight);
    start = std::chrono::steady_clock::now();
    RECT all{0, 0, kWidth, kHeight};
    FillRect(screen.DC(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    PaintPlainLayout(screen.DC(), page.Layout(), nullptr, fonts, 0, 0, 0, kHeight);
    GdiFlush();
    paintMs = std::min(paintMs, Since(start));
  }

  // ---- in the browser's own window
  auto form = std::make_unique<TForm>(nullptr);
  TEmbeddedWB* browser = nullptr;
  form->SetBounds(0, 0, kWidth + 40, kHeight);
  form->CreateLayout([&] {
    browser = new TEmbeddedWB(form.get());
    browser->SetParent(form.get());
    browser->SetAlign(alClient);
  });
  form->SetBorderStyle(bsNone);
  ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
  form->SetVisible(true);
  TPlainBrowser* plain = browser->PlainBrowser();
  if (plain == nullptr) {
    std::fprintf(stderr, "bench_plain_page: the platform's browser renders here; nothing to measure\n");
    return 1;
  }
  double firstPaintMs = 1e9;
  double completeMs = 1e9;
  int completed = 0;
  browser->OnDocumentComplete = [&](TObject*) { ++completed; };
  for (int round = 0; round < rounds; ++round) {
    browser->Navigate(L"about:blank");
    Pump([&] { return plain->Page() != nullptr && plain->Page()->Url() == L"about:blank"; }, 10000);
    const TPlainPage* blank = plain->Page();
    const int before = completed;
    const auto start = std::chrono::steady_clock::now();
    browser->Navigate(url);
    // The page shows (laid out, its window invalidated); its first paint is
    // the next WM_PAINT, taken at once.
    if (!Pump([&] { return plain->Page() != blank; }, 60000)) {
      std::fprintf(stderr, "bench_plain_page: the page did not arrive\n");
      return 1;
    }
    UpdateWindow(plain->Window());
    firstPaintMs = std::min(firstPaintMs, Since(start));
    Pump([&] { return completed > before; }, 60000);
    completeMs = std::min(completeMs, Since(start));
  }

  std::printf("page: %s, %zu bytes, %d items laid out, %d pixels high at %d wide\n", argv[1], bytes, items, height,
              kWidth);
  std::printf("stages (best of %d): fetch %.1f ms, decode+parse %.1f ms, styles+boxes %.1f ms, layout %.1f ms, "
              "paint of the first screen %.1f ms\n",
              rounds, fetchMs, readMs, boxesMs, layoutMs, paintMs);
  std::printf("plain browser first paint: %.1f ms (document complete: %.1f ms)\n", firstPaintMs, completeMs);
  std::printf("PLAIN_FIRST_PAINT_MS=%.1f\n", firstPaintMs);
  return 0;
}

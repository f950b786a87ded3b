#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "browser/plain_page.h"
#include "browser/plain_page_reader.h"
#include "runtime/ansi.h"
#include "graphics/sk_bitmap.h"

namespace {

// The window: a form filled by a browser host, whose plain browser's client
// area is as wide as the pages are read.
struct TReaderWindow {
  std::unique_ptr<TForm> Form;
  TEmbeddedWB* Browser = nullptr;
  int Completed = 0;
};

TReaderWindow& Window() {
  static TReaderWindow window;
  return window;
}

bool Pump(const std::function<bool()>& done, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > milliseconds) return false;
    Application->ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

constexpr int kBand = 1024;  // rows painted at a time

// Paints the page in bands and checks the painting against the layout: a
// picture's middle holds the decoded picture's middle (give or take the
// smoothing of scaling), and every piece of text left ink.
void CheckPainting(TPlainBrowser& browser, int width, TPageReading& reading) {
  reading.PaintChecked = true;
  const TPlainPage& page = *browser.Page();
  const TPageLayout& layout = page.Layout();
  TskBitmap band;
  band.SetSize(width, kBand);
  auto problem = [&](const std::string& text) {
    if (reading.PaintProblems.size() < 10) reading.PaintProblems.push_back(text);
  };
  // Bands overlap by half: an item no taller than half a band lies whole in
  // the band its top falls in; a taller picture is checked at its middle.
  constexpr int kStep = kBand / 2;
  auto bandOf = [](const TLayoutItem& item) {
    if (item.Height <= kStep) return item.Y / kStep;
    return std::max(0, (item.Y + item.Height / 2) / kStep - 1);
  };
  for (int top = 0; top < layout.Height; top += kStep) {
    browser.PaintPage(band.DC(), top, kBand);
    GdiFlush();
    const auto [first, last] = layout.ItemsBetween(top, top + kBand);
    for (size_t i = first; i < last; ++i) {
      const TLayoutItem& item = layout.Items[i];
      if (bandOf(item) != top / kStep || item.Width <= 0 || item.Height <= 0) continue;
      if (item.X < 0 || item.X + item.Width > width) {
        problem("\"" + WideToUtf8(item.Text.substr(0, 40)) + "\" at " + std::to_string(item.X) + "," +
                std::to_string(item.Y) + ", " + std::to_string(item.Width) + " wide, lies beyond the page's " +
                std::to_string(width) + " pixels");
        continue;
      }
      if (item.Kind == TLayoutItem::kPicture) {
        const TskBitmap* picture = browser.PictureBitmap(item.Picture);
        if (picture == nullptr) {
          problem("a picture laid out at " + std::to_string(item.X) + "," + std::to_string(item.Y) + " has no bitmap");
          continue;
        }
        const TskPixel want = picture->PixelAt(picture->Width() / 2, picture->Height() / 2);
        const TskPixel got = band.PixelAt(item.X + item.Width / 2, item.Y - top + item.Height / 2);
        const int difference = std::abs(PixelRed(want) - PixelRed(got)) + std::abs(PixelGreen(want) - PixelGreen(got)) +
                               std::abs(PixelBlue(want) - PixelBlue(got));
        if (difference > 96) {
          char text[160];
          std::snprintf(text, sizeof text, "picture at %d,%d: painted %06X where the picture has %06X", item.X,
                        item.Y, static_cast<unsigned>(got & 0xFFFFFF), static_cast<unsigned>(want & 0xFFFFFF));
          problem(text);
        }
      } else if (item.Kind == TLayoutItem::kText && item.Height <= kStep) {
        bool blank = true;
        for (const wchar_t c : item.Text) blank = blank && (c == L' ' || c == 0xA0 || c == 0x200B);
        if (blank) continue;
        bool ink = false;
        for (int y = item.Y; y < item.Y + item.Height && !ink; ++y) {
          for (int x = item.X; x < std::min(width, item.X + item.Width) && !ink; ++x) {
            const uint32_t pixel = band.PixelAt(x, y - top) & 0xFFFFFF;
            ink = pixel != 0xFFFFFF && pixel != 0xFFFF00;
          }
        }
        if (!ink) {
          problem("no ink for \"" + WideToUtf8(item.Text.substr(0, 40)) + "\" at " + std::to_string(item.X) + "," +
                  std::to_string(item.Y) + " size " + std::to_string(item.Width) + "x" + std::to_string(item.Height) +
                  " line " + std::to_string(item.Line) + " in a band " + std::to_string(width) + " wide");
        }
      }
    }
  }
}

}  // namespace

void StartReader(int width) {
  // The browser host lives in a single-threaded apartment, as in ShowEbook;
  // it lasts as long as the program.
  if (FAILED(OleInitialize(nullptr))) std::fprintf(stderr, "plain_page_text: OLE could not be initialised\n");
  TReaderWindow& w = Window();
  w.Form = std::make_unique<TForm>(nullptr);
  w.Form->SetBounds(0, 0, width + 40, 600);
  w.Form->CreateLayout([&] {
    w.Browser = new TEmbeddedWB(w.Form.get());
    w.Browser->SetParent(w.Form.get());
    w.Browser->SetAlign(alClient);
  });
  w.Form->SetBorderStyle(bsNone);
  ShowWindow(w.Form->Handle(), SW_SHOWNOACTIVATE);
  w.Form->SetVisible(true);
  w.Browser->OnDocumentComplete = [](TObject*) { ++Window().Completed; };
  // The plain browser's client area as wide as the pages are read.
  HWND plain = w.Browser->PlainBrowser()->Window();
  int formWidth = width + 40;
  for (int attempt = 0; attempt < 4; ++attempt) {
    Pump([] { return false; }, 50);
    RECT client{};
    GetClientRect(plain, &client);
    if (client.right == width) break;
    formWidth += width - client.right;
    w.Form->SetBounds(0, 0, formWidth, 600);
  }
}

TPageReading ReadPlainPage(const std::wstring& url, int width) {
  TReaderWindow& w = Window();
  TPlainBrowser& browser = *w.Browser->PlainBrowser();
  TPageReading reading;
  const auto began = std::chrono::steady_clock::now();
  const int before = w.Completed;
  w.Browser->Navigate(url);
  if (!Pump([&] { return w.Completed > before; }, 120000)) {
    reading.Url = url;
    reading.PaintChecked = true;
    reading.PaintProblems.push_back("the page did not complete within two minutes");
    return reading;
  }
  reading.Milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  const TPlainPage& page = *browser.Page();
  reading.Url = w.Browser->LocationURL();
  reading.Title = page.Title();
  reading.CodePage = page.CodePage();
  reading.Text = browser.PageText();
  reading.Height = page.Layout().Height;
  for (const TLayoutItem& item : page.Layout().Items) {
    if (item.Kind != TLayoutItem::kPicture || browser.PictureBitmap(item.Picture) == nullptr) continue;
    const int index = page.PictureUrlIndex(item.Picture);
    reading.Pictures.push_back({index >= 0 ? page.PictureUrls()[static_cast<size_t>(index)] : L"", item.X, item.Y,
                                item.Width, item.Height});
  }
  RECT client{};
  GetClientRect(browser.Window(), &client);
  CheckPainting(browser, std::max(width, static_cast<int>(client.right)), reading);
  return reading;
}

// The plain browser's reading of real pages under Wine: the page's own
// encoding, pictures fetched and decoded by the platform's imaging component
// and painted where the layout put them, structure, text answers, places on
// a page, and DocumentComplete once the pictures are in.
#include <gtest/gtest.h>

#include <wincodec.h>

#include <algorithm>

#include "browser/browser_support.h"
#include "browser/com_ptr.h"
#include "browser/plain_page.h"
#include "runtime/scope_exit.h"
#include "graphics/sk_bitmap.h"

namespace {

// A 24-bit bottom-up BMP file: the left half red, the right half blue.
std::string BmpFile(int width, int height) {
  const int stride = (width * 3 + 3) & ~3;
  std::string bytes(54 + static_cast<size_t>(stride) * height, '\0');
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(2, static_cast<uint32_t>(bytes.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bytes[26] = 1;
  bytes[28] = 24;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      char* pixel = &bytes[54 + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
      const bool left = x < width / 2;
      pixel[0] = static_cast<char>(left ? 0 : 255);  // blue
      pixel[1] = 0;
      pixel[2] = static_cast<char>(left ? 255 : 0);  // red
    }
  }
  return bytes;
}

// A PNG made by the platform's own encoder: green, with a transparent
// top row.
std::string PngFile(int width, int height) {
  // The test's thread may not have joined an apartment yet.
  const HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const TScopeExit leave([joined] {
    if (SUCCEEDED(joined)) CoUninitialize();
  });
  TComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              factory.PutVoid()))) {
    return {};
  }
  TComPtr<IStream> stream;
  CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
  TComPtr<IWICBitmapEncoder> encoder;
  TComPtr<IWICBitmapFrameEncode> frame;
  if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put())) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.Put(), nullptr)) || FAILED(frame->Initialize(nullptr))) {
    return {};
  }
  frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  frame->SetPixelFormat(&format);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xFF00C000u);
  for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(x)] = 0x00000000u;
  frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width * 4), static_cast<UINT>(pixels.size() * 4),
                     reinterpret_cast<BYTE*>(pixels.data()));
  frame->Commit();
  encoder->Commit();
  HGLOBAL memory = nullptr;
  GetHGlobalFromStream(stream.Get(), &memory);
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  const char* data = static_cast<const char*>(GlobalLock(memory));
  std::string bytes(data, static_cast<size_t>(stat.cbSize.QuadPart));
  GlobalUnlock(memory);
  return bytes;
}

// The whole page painted as the browser paints it.
std::unique_ptr<TskBitmap> PaintedPage(TPlainBrowser& browser) {
  RECT client{};
  GetClientRect(browser.Window(), &client);
  const int height = browser.Page()->Layout().Height;
  auto bitmap = std::make_unique<TskBitmap>();
  bitmap->SetSize(client.right, height);
  browser.PaintPage(bitmap->DC(), 0, height);
  GdiFlush();
  return bitmap;
}

const TLayoutItem* FindItem(const TPlainPage& page, TLayoutItem::TKind kind, const std::wstring& text = L"") {
  for (const TLayoutItem& item : page.Layout().Items) {
    if (item.Kind == kind && item.Text.find(text) != std::wstring::npos) return &item;
  }
  return nullptr;
}

class PlainBrowserView : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_FALSE(PlatformBrowserRenders()) << "these tests drive the plain browser"; }
};

TEST_F(PlainBrowserView, PicturesAreDecodedAndPaintedWhereTheyStand) {
  const std::string png = PngFile(30, 20);
  ASSERT_FALSE(png.empty()) << "the platform's imaging component could not encode a PNG";
  TPageServer server({
      {"/page.htm", {200, "<title>Pictures</title><p><img src=pic.bmp> <a href=next.htm><img src=pic.png alt=Green></a>"
                          "<img src=wide.bmp width=900> <img src=missing.png alt='Gone'> <img src=logo.svg alt=Logo></p>"}},
      {"/pic.bmp", {200, BmpFile(40, 10), 0, "image/bmp"}},
      {"/pic.png", {200, png, 0, "image/png"}},
      {"/wide.bmp", {200, BmpFile(100, 10), 0, "image/bmp"}},
      {"/logo.svg", {200, "<svg xmlns='http://www.w3.org/2000/svg'/>", 0, "image/svg+xml"}},
      {"/next.htm", {200, "<title>Next</title>next"}},
  });
  TBrowserWindow w;
  ASSERT_TRUE(w.Open(server.Url("/page.htm")));
  // DocumentComplete came once the pictures were in.
  EXPECT_FALSE(w.Plain().Loading());
  EXPECT_EQ(w.Completed, 1);
  const TPlainPage& page = *w.Plain().Page();
  std::vector<RECT> pictures;
  for (const TLayoutItem& item : page.Layout().Items) {
    if (item.Kind == TLayoutItem::kPicture) pictures.push_back(RECT{item.X, item.Y, item.X + item.Width, item.Y + item.Height});
  }
  ASSERT_EQ(pictures.size(), 3u);
  // Natural sizes; the wide one narrowed to the window, keeping its proportions.
  RECT client{};
  GetClientRect(w.Plain().Window(), &client);
  EXPECT_EQ(pictures[0].right - pictures[0].left, 40);
  EXPECT_EQ(pictures[0].bottom - pictures[0].top, 10);
  EXPECT_EQ(pictures[1].right - pictures[1].left, 30);
  EXPECT_EQ(pictures[2].right - pictures[2].left, client.right - 2 * kPageMargin);
  EXPECT_EQ(pictures[2].bottom - pictures[2].top, (client.right - 2 * kPageMargin) / 10);
  // What failed shows its alternative text: a missing picture, and SVG,
  // which the platform's imaging component does not decode.
  EXPECT_EQ(w.Plain().PageText(), L"Gone Logo");

  const auto painted = PaintedPage(w.Plain());
  const auto at = [&](const RECT& r, int fx, int fy) {
    return painted->PixelAt(r.left + (r.right - r.left) * fx / 4, r.top + (r.bottom - r.top) * fy / 4) & 0xFFFFFF;
  };
  EXPECT_EQ(at(pictures[0], 1, 2), 0xFF0000u) << "the BMP's red half";
  EXPECT_EQ(at(pictures[0], 3, 2), 0x0000FFu) << "the BMP's blue half";
  EXPECT_EQ(at(pictures[1], 2, 2), 0x00C000u) << "the PNG's green";
  EXPECT_EQ(painted->PixelAt(pictures[1].left + 5, pictures[1].top) & 0xFFFFFF, 0xFFFFFFu)
      << "the PNG's transparent row over the page's white";
  EXPECT_EQ(at(pictures[2], 1, 2), 0xFF0000u);
  EXPECT_EQ(at(pictures[2], 3, 2), 0x0000FFu);

  // The picture in a link is the link.
  const int before = w.Completed;
  const LPARAM middle = MAKELPARAM((pictures[1].left + pictures[1].right) / 2, (pictures[1].top + pictures[1].bottom) / 2);
  SendMessageW(w.Plain().Window(), WM_LBUTTONDOWN, MK_LBUTTON, middle);
  SendMessageW(w.Plain().Window(), WM_LBUTTONUP, 0, middle);
  ASSERT_TRUE(w.WaitForPage(before));
  EXPECT_EQ(w.Browser->LocationName(), L"Next");
}

TEST_F(PlainBrowserView, PagesAreReadInTheirOwnEncoding) {
  TPageServer server({
      {"/meta.htm", {200, "<meta charset=\"utf-8\"><title>Developer\xE2\x80\x99s Guide</title>caf\xC3\xA9 &rsquo;&#8217;"}},
      {"/answer.htm", {200, "<title>\xCF\xF0\xE8\xE2\xE5\xF2</title>x", 0, "text/html; charset=windows-1251"}},
      {"/plain.htm", {200, "<title>na\xEFve</title>\x93quoted\x94"}},
      {"/notes.txt", {200, "line one\r\n  <b>two</b>\r\n", 0, "text/plain; charset=utf-8"}},
  });
  TBrowserWindow w;
  ASSERT_TRUE(w.Open(server.Url("/meta.htm")));
  EXPECT_EQ(w.Browser->LocationName(), L"Developer\u2019s Guide");
  EXPECT_EQ(w.Plain().PageText(), L"caf\u00E9 \u2019\u2019");
  ASSERT_TRUE(w.Open(server.Url("/answer.htm")));
  EXPECT_EQ(w.Browser->LocationName(), L"\u041F\u0440\u0438\u0432\u0435\u0442");
  // Without any declaration: the ANSI code page (Windows-1252 here).
  ASSERT_TRUE(w.Open(server.Url("/plain.htm")));
  EXPECT_EQ(w.Browser->LocationName(), L"na\u00EFve");
  EXPECT_EQ(w.Plain().PageText(), L"\u201Cquoted\u201D");
  // A text answer keeps its lines and shows its markup as text.
  ASSERT_TRUE(w.Open(server.Url("/notes.txt")));
  EXPECT_EQ(w.Plain().PageText(), L"line one\n  <b>two</b>");
}

TEST_F(PlainBrowserView, StructureAndHighlightArePainted) {
  TPageServer server({
      {"/page.htm", {200, "<title>S</title><style>.menu { display: none }</style><div class=menu>menu</div>"
                          "<ul><li>first<li>second</ul><pre>  code\n    more</pre>"
                          "<p>a <span style=\"background:yellow;mso-highlight:yellow\">found</span> word</p>"
                          "<table><tr><td>one</td><td>two</td></tr></table><script>hidden()</script>"}},
  });
  TBrowserWindow w;
  ASSERT_TRUE(w.Open(server.Url("/page.htm")));
  EXPECT_EQ(w.Plain().PageText(), L"first\nsecond\n  code\n    more\na found word\none\ntwo");
  const TPlainPage& page = *w.Plain().Page();
  const TLayoutItem* bullet = FindItem(page, TLayoutItem::kMarker, L"\u2022");
  const TLayoutItem* first = FindItem(page, TLayoutItem::kText, L"first");
  const TLayoutItem* code = FindItem(page, TLayoutItem::kText, L"code");
  const TLayoutItem* found = FindItem(page, TLayoutItem::kText, L"found");
  const TLayoutItem* one = FindItem(page, TLayoutItem::kText, L"one");
  const TLayoutItem* two = FindItem(page, TLayoutItem::kText, L"two");
  ASSERT_TRUE(bullet && first && code && found && one && two);
  EXPECT_LT(bullet->X + bullet->Width, first->X);
  EXPECT_TRUE(code->Style.Has(kTextMono));
  EXPECT_EQ(one->Y, two->Y) << "cells of a row side by side";
  EXPECT_GT(two->X, one->X + one->Width);

  const auto painted = PaintedPage(w.Plain());
  // The highlight's yellow around the found word, and ink on every item.
  EXPECT_EQ(painted->PixelAt(found->X + 1, found->Y + 1) & 0xFFFFFF, 0xFFFF00u);
  for (const TLayoutItem* item : {bullet, first, code, found, one, two}) {
    bool ink = false;
    for (int y = item->Y; y < item->Y + item->Height && !ink; ++y) {
      for (int x = item->X; x < item->X + item->Width && !ink; ++x) {
        const uint32_t pixel = painted->PixelAt(x, y) & 0xFFFFFF;
        ink = pixel != 0xFFFFFFu && pixel != 0xFFFF00u;
      }
    }
    EXPECT_TRUE(ink) << "nothing painted for \"" << WideToAnsi(item->Text) << "\"";
  }
}

TEST_F(PlainBrowserView, LinksToPlacesOnAPageScrollThere) {
  std::string page = "<title>Long</title><p><a href=#end>to the end</a> <a href=long.htm#middle>middle</a></p>";
  for (int i = 0; i < 100; ++i) page += "<p>line " + std::to_string(i) + (i == 50 ? " <b id=middle>mid</b>" : "") + "</p>";
  page += "<h2 id=end>End</h2>";
  TPageServer server({{"/long.htm", {200, page}}});
  TBrowserWindow w;
  ASSERT_TRUE(w.Open(server.Url("/long.htm#middle")));
  const auto& anchors = w.Plain().Page()->Layout().Anchors;
  ASSERT_TRUE(anchors.count(L"middle") && anchors.count(L"end"));
  EXPECT_EQ(w.Plain().ScrollPosition(), anchors.at(L"middle")) << "an address with a place opens there";
  SendMessageW(w.Plain().Window(), WM_VSCROLL, SB_TOP, 0);
  const int completed = w.Completed;
  w.ClickLink(0);
  EXPECT_GT(w.Plain().ScrollPosition(), anchors.at(L"middle"));
  EXPECT_EQ(w.Completed, completed) << "a place on the same page is no new page";
  SendMessageW(w.Plain().Window(), WM_VSCROLL, SB_TOP, 0);
  w.ClickLink(1);
  EXPECT_EQ(w.Plain().ScrollPosition(), anchors.at(L"middle"));
}

// The smallest rectangle of the painted view (rows from top to bottom)
// holding every pixel of the colour (0x00RRGGBB); empty when there is none.
RECT InkBox(const TskBitmap& bitmap, uint32_t colour, int top = 0, int bottom = 1 << 30) {
  RECT box{bitmap.Width(), bitmap.Height(), 0, 0};
  for (int y = std::max(0, top); y < std::min(bitmap.Height(), bottom); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if ((bitmap.PixelAt(x, y) & 0xFFFFFF) != colour) continue;
      box.left = std::min<LONG>(box.left, x);
      box.top = std::min<LONG>(box.top, y);
      box.right = std::max<LONG>(box.right, x + 1);
      box.bottom = std::max<LONG>(box.bottom, y + 1);
    }
  }
  return box.right > box.left ? box : RECT{};
}

// The links' blue as the painted bitmap holds it (0x00RRGGBB).
constexpr uint32_t kLinkInk = 0x0000EEu;

// The top of the view as the browser paints it at its zoom.
std::unique_ptr<TskBitmap> PaintedView(TPlainBrowser& browser, int height) {
  RECT client{};
  GetClientRect(browser.Window(), &client);
  auto bitmap = std::make_unique<TskBitmap>();
  bitmap->SetSize(client.right, height);
  browser.PaintPage(bitmap->DC(), 0, height);
  GdiFlush();
  return bitmap;
}

// The optical zoom the host asks for through the browser's ExecWB: the
// page is laid out for the narrower view and painted larger (its text, its
// pictures, its links where a click finds them), and the zoom stays on the
// next page.
TEST_F(PlainBrowserView, ZoomScalesTextPicturesAndLayoutAndHoldsFromPageToPage) {
  TPageServer server({
      {"/page.htm", {200, "<title>Zoom</title><p><a href=next.htm>Next page</a></p><p><img src=pic.bmp></p>"
                          "<p><img src=wide.bmp width=2000></p>"}},
      {"/pic.bmp", {200, BmpFile(40, 10), 0, "image/bmp"}},
      {"/wide.bmp", {200, BmpFile(100, 10), 0, "image/bmp"}},
      {"/next.htm", {200, "<title>Next</title><p><a href=page.htm>Back again</a></p>"}},
  });
  TBrowserWindow w;
  ASSERT_TRUE(w.Open(server.Url("/page.htm")));
  EXPECT_EQ(w.Browser->Zoom(), 100);
  RECT client{};
  GetClientRect(w.Plain().Window(), &client);

  struct TView {
    RECT Link;       // the link's ink
    RECT Picture;    // the small picture's red and blue, joined
    int WideWidth;   // the wide picture's laid-out width, page pixels
  };
  auto look = [&](int zoom) {
    const auto painted = PaintedView(w.Plain(), 400);
    TView view{};
    view.Link = InkBox(*painted, kLinkInk);
    int pictures = 0;
    for (const TLayoutItem& item : w.Plain().Page()->Layout().Items) {
      if (item.Kind != TLayoutItem::kPicture) continue;
      if (++pictures == 2) {
        view.WideWidth = item.Width;
        continue;
      }
      // The small picture's rows as the zoom shows them, with a row of
      // room either side: the wide picture's colours stay out.
      const int top = item.Y * zoom / 100 - 1;
      const int bottom = (item.Y + item.Height) * zoom / 100 + 2;
      const RECT red = InkBox(*painted, 0xFF0000u, top, bottom);
      const RECT blue = InkBox(*painted, 0x0000FFu, top, bottom);
      view.Picture = RECT{red.left, red.top, blue.right, blue.bottom};
    }
    EXPECT_EQ(pictures, 2) << "at " << zoom << "%";
    return view;
  };
  const TView normal = look(100);
  ASSERT_GT(normal.Link.bottom, normal.Link.top) << "the link is painted";
  EXPECT_EQ(normal.Picture.right - normal.Picture.left, 40);
  EXPECT_EQ(normal.WideWidth, client.right - 2 * kPageMargin);

  struct TCase {
    int Zoom;
  };
  for (const TCase c : {TCase{200}, TCase{150}, TCase{50}}) {
    SCOPED_TRACE(testing::Message() << c.Zoom << "%");
    ASSERT_TRUE(w.Browser->SetZoom(c.Zoom));
    EXPECT_EQ(w.Browser->Zoom(), c.Zoom);
    EXPECT_EQ(w.Plain().Zoom(), c.Zoom);
    const TView zoomed = look(c.Zoom);
    // Pictures by the zoom exactly (rounded), text by its fonts' sizes.
    EXPECT_NEAR(zoomed.Picture.right - zoomed.Picture.left, 40 * c.Zoom / 100, 1);
    EXPECT_NEAR(zoomed.Picture.bottom - zoomed.Picture.top, 10 * c.Zoom / 100, 1);
    const double wide = static_cast<double>(zoomed.Link.right - zoomed.Link.left) / (normal.Link.right - normal.Link.left);
    const double high = static_cast<double>(zoomed.Link.bottom - zoomed.Link.top) / (normal.Link.bottom - normal.Link.top);
    EXPECT_NEAR(wide, c.Zoom / 100.0, 0.25);
    EXPECT_NEAR(high, c.Zoom / 100.0, 0.35);
    // The page is laid out for the window's width in page pixels.
    EXPECT_EQ(zoomed.WideWidth, client.right * 100 / c.Zoom - 2 * kPageMargin);
  }
  // A zoom beyond what the browser takes changes nothing.
  EXPECT_FALSE(w.Browser->SetZoom(5));
  EXPECT_FALSE(w.Browser->SetZoom(1001));
  EXPECT_EQ(w.Browser->Zoom(), 50);

  // A click where the zoomed link shows follows it; the next page keeps
  // the zoom.
  ASSERT_TRUE(w.Browser->SetZoom(200));
  const RECT link = w.Plain().LinkRect(0);
  EXPECT_NEAR(link.right - link.left, 2 * (normal.Link.right - normal.Link.left), 6);
  const int before = w.Completed;
  const LPARAM middle = MAKELPARAM((link.left + link.right) / 2, (link.top + link.bottom) / 2);
  SendMessageW(w.Plain().Window(), WM_LBUTTONDOWN, MK_LBUTTON, middle);
  SendMessageW(w.Plain().Window(), WM_LBUTTONUP, 0, middle);
  ASSERT_TRUE(w.WaitForPage(before));
  EXPECT_EQ(w.Browser->LocationName(), L"Next");
  EXPECT_EQ(w.Browser->Zoom(), 200);
  const RECT next = InkBox(*PaintedView(w.Plain(), 200), kLinkInk);
  EXPECT_NEAR(static_cast<double>(next.bottom - next.top) / (normal.Link.bottom - normal.Link.top), 2.0, 0.35);
}

}  // namespace

// Drawing into device contexts, platform bitmaps and resources, regions,
// glyphs and the optional platform functions. Windows only.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"
#include "graphics/pixel_helpers.h"

namespace {

// A 2 × 1 picture: an opaque red pixel and a key pixel (or, for blending, a
// half-transparent white pixel).
void MakePicture(TskBitmap& bitmap, bool alphaBlend) {
  bitmap.SetSize(2, 1);
  bitmap.SetPixelAt(0, 0, Argb(255, 255, 0, 0));
  bitmap.SetPixelAt(1, 0, alphaBlend ? Argb(128, 255, 255, 255) : kKeyPixel);
  bitmap.AlphaBlend = alphaBlend;
  bitmap.Transparent = !alphaBlend;
}

// A memory device context holding a platform bitmap for a test's duration.
class TMemoryDC {
 public:
  explicit TMemoryDC(HBITMAP bitmap) : dc_(CreateCompatibleDC(nullptr)), bitmap_(bitmap) {
    previous_ = SelectObject(dc_, bitmap_);
  }
  ~TMemoryDC() {
    SelectObject(dc_, previous_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
};

HBITMAP DibSection(int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

HBITMAP ScreenBitmap(int width, int height) {
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

std::string ThisModule() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace

TEST(GdiDraw, IntoATskBitmapContextHonoursKeyAndWindowOrigin) {
  TskBitmap picture;
  MakePicture(picture, false);
  TskBitmap target;
  target.SetSize(4, 1);
  target.Fill(Argb(255, 1, 1, 1));
  SetWindowOrgEx(target.DC(), 1, 0, nullptr);
  picture.DrawRect(target.DC(), TRect{2, 0, 4, 1}, picture.Bounds());  // device x 1..2
  SetWindowOrgEx(target.DC(), 0, 0, nullptr);
  EXPECT_EQ(target.PixelAt(0, 0), Argb(255, 1, 1, 1));
  EXPECT_EQ(target.PixelAt(1, 0), Argb(255, 255, 0, 0));
  EXPECT_EQ(target.PixelAt(2, 0), Argb(255, 1, 1, 1));  // the key pixel was skipped
}

// A parent painting a child moves the viewport origin and clips to the
// child's area: the picture lands at the child's place and only inside it.
TEST(GdiDraw, IntoATskBitmapContextHonoursViewportOriginAndClip) {
  TskBitmap picture;
  picture.SetSize(2, 1);
  picture.Fill(Argb(255, 255, 0, 0));
  TskBitmap target;
  target.SetSize(6, 1);
  target.Fill(Argb(255, 1, 1, 1));
  HDC dc = target.DC();
  const int saved = SaveDC(dc);
  SetViewportOrgEx(dc, 3, 0, nullptr);
  IntersectClipRect(dc, 0, 0, 1, 1);  // device x 3 only
  picture.Draw(dc, 0, 0);
  RestoreDC(dc, saved);
  GdiFlush();
  EXPECT_EQ(target.PixelAt(0, 0), Argb(255, 1, 1, 1));
  EXPECT_EQ(target.PixelAt(3, 0) & 0xFFFFFFu, 0xFF0000u);
  EXPECT_EQ(target.PixelAt(4, 0), Argb(255, 1, 1, 1)) << "outside the clip";

  picture.Draw(dc, 4, 0);  // no clip: straight into memory
  EXPECT_EQ(target.PixelAt(4, 0), Argb(255, 255, 0, 0));
  EXPECT_EQ(target.PixelAt(5, 0), Argb(255, 255, 0, 0));
}

TEST(GdiDraw, IntoABottomUpDibDirectly) {
  TskBitmap picture;
  picture.SetSize(1, 2);
  picture.SetPixelAt(0, 0, Argb(128, 255, 255, 255));
  picture.SetPixelAt(0, 1, Argb(255, 0, 0, 255));
  picture.AlphaBlend = true;
  void* bits = nullptr;
  TMemoryDC dc(DibSection(1, 2, &bits));
  auto* pixels = static_cast<TskPixel*>(bits);
  pixels[0] = pixels[1] = Argb(0, 0, 0, 0);
  picture.Draw(dc.Get(), 0, 0);
  // Memory row 1 is the picture's top row.
  EXPECT_EQ(pixels[0], Argb(255, 0, 0, 255));
  EXPECT_EQ(PixelAlpha(pixels[1]), 255);
  EXPECT_NEAR(PixelRed(pixels[1]), 127, 1);
}

TEST(GdiDraw, ThroughThePlatformIntoScreenBitmaps) {
  struct {
    const char* mode;
    bool alphaBlend, transparent;
    COLORREF second;
  } cases[] = {
      {"copy", false, false, RGB(127, 0, 127)},
      {"key", false, true, RGB(10, 20, 30)},
      {"blend", true, false, RGB((255 * 128 + 10 * 127) / 256, (255 * 128 + 20 * 127) / 256, (255 * 128 + 30 * 127) / 256)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    TskBitmap picture;
    MakePicture(picture, c.alphaBlend);
    picture.Transparent = c.transparent;
    TMemoryDC dc(ScreenBitmap(4, 2));
    const RECT all{0, 0, 4, 2};
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    FillRect(dc.Get(), &all, brush);
    DeleteObject(brush);
    picture.DrawRect(dc.Get(), TRect{0, 0, 4, 2}, picture.Bounds());  // stretched 2×
    for (int y = 0; y < 2; ++y) {
      EXPECT_EQ(GetPixel(dc.Get(), 1, y), RGB(255, 0, 0));
      const COLORREF second = GetPixel(dc.Get(), 3, y);
      EXPECT_NEAR(GetRValue(second), GetRValue(c.second), 1);
      EXPECT_NEAR(GetGValue(second), GetGValue(c.second), 1);
      EXPECT_NEAR(GetBValue(second), GetBValue(c.second), 1);
    }
  }
}

TEST(GdiBitmaps, AssignFromPlatformBitmapsAndBack) {
  void* bits = nullptr;
  HBITMAP dib = DibSection(2, 2, &bits);
  auto* pixels = static_cast<TskPixel*>(bits);
  pixels[0] = Argb(255, 1, 2, 3);  // bottom row
  pixels[1] = Argb(255, 4, 5, 6);
  pixels[2] = Argb(0x40, 7, 8, 9);  // top row
  pixels[3] = Argb(255, 10, 11, 12);
  TskBitmap fromDib;
  fromDib.AssignBitmapHandle(dib);
  DeleteObject(dib);
  EXPECT_EQ(fromDib.PixelAt(0, 0), Argb(0x40, 7, 8, 9));
  EXPECT_EQ(fromDib.PixelAt(1, 1), Argb(255, 4, 5, 6));
  EXPECT_TRUE(fromDib.AlphaBlend);

  HBITMAP handle = fromDib.CreateBitmapHandle();
  ASSERT_NE(handle, nullptr);
  TskBitmap back;
  back.AssignBitmapHandle(handle);
  DeleteObject(handle);
  EXPECT_EQ(back.Width(), 2);
  EXPECT_EQ(back.PixelAt(1, 0), Argb(255, 10, 11, 12));

  TMemoryDC screen(ScreenBitmap(3, 1));
  SetPixel(screen.Get(), 2, 0, RGB(40, 50, 60));
  HBITMAP ddb = static_cast<HBITMAP>(GetCurrentObject(screen.Get(), OBJ_BITMAP));
  HBITMAP spare = ScreenBitmap(1, 1);
  SelectObject(screen.Get(), spare);  // a bitmap is copied while selected nowhere else
  TskBitmap fromDdb;
  fromDdb.AssignBitmapHandle(ddb);
  SelectObject(screen.Get(), ddb);
  DeleteObject(spare);
  EXPECT_EQ(fromDdb.Width(), 3);
  EXPECT_EQ(fromDdb.PixelAt(2, 0), Argb(255, 40, 50, 60));
}

TEST(GdiBitmaps, LoadFromResource) {
  TskBitmap alpha;
  alpha.LoadFromResource(ThisModule(), "SKIN_ALPHA");
  ASSERT_EQ(alpha.Width(), 2);
  EXPECT_EQ(alpha.PixelAt(0, 0), Argb(0x80, 255, 0, 0));
  EXPECT_EQ(alpha.PixelAt(0, 1), Argb(0, 0, 0, 255));
  EXPECT_EQ(alpha.PixelAt(1, 1), Argb(255, 10, 20, 30));
  EXPECT_TRUE(alpha.AlphaBlend);

  TskBitmap rgb;
  rgb.LoadFromResource(ThisModule(), "SKIN_RGB");
  ASSERT_EQ(rgb.Width(), 3);
  EXPECT_EQ(rgb.PixelAt(2, 0), Argb(255, 0, 0, 255));
  EXPECT_EQ(rgb.PixelAt(2, 1), Argb(255, 1, 2, 3));

  TskBitmap none;
  none.LoadFromResource(ThisModule(), "NO_SUCH_IMAGE");
  none.LoadFromResource("no-such-module.dll", "SKIN_RGB");
  EXPECT_TRUE(none.IsEmpty());
}

TEST(GdiUtilities, RegionFromBitmap) {
  TskBitmap bitmap;
  bitmap.SetSize(3, 2);
  bitmap.Fill(Argb(255, 0, 0, 0));
  bitmap.SetPixelAt(1, 0, kKeyPixel);
  HRGN region = RegionFromBitmap(bitmap, 10, 20);
  ASSERT_NE(region, nullptr);
  EXPECT_TRUE(PtInRegion(region, 10, 20));
  EXPECT_FALSE(PtInRegion(region, 11, 20));
  EXPECT_TRUE(PtInRegion(region, 12, 20));
  EXPECT_TRUE(PtInRegion(region, 11, 21));
  EXPECT_FALSE(PtInRegion(region, 13, 21));
  DeleteObject(region);
  TskBitmap empty;
  EXPECT_EQ(RegionFromBitmap(empty, 0, 0), nullptr);
}

TEST(GdiUtilities, FrameGlyphInOneColour) {
  TskBitmap target;
  target.SetSize(16, 16);
  target.Fill(Argb(255, 200, 200, 200));
  DrawFrameGlyph(target.DC(), TRect{0, 0, 16, 16}, DFC_MENU, RgbColor(0, 0, 200), DFCS_MENUCHECK);
  int ink = 0;
  int other = 0;
  for (int i = 0; i < 256; ++i) {
    const TskPixel p = target.Bits()[i];
    if (p == Argb(255, 0, 0, 200)) {
      ++ink;
    } else if (p != Argb(255, 200, 200, 200)) {
      ++other;
    }
  }
  EXPECT_GT(ink, 3);
  EXPECT_EQ(other, 0);  // everything not drawn black stayed as it was
}

TEST(GdiUtilities, Edge3DAndEllipsis) {
  TskBitmap target;
  target.SetSize(5, 5);
  FillRectColor(target.DC(), TRect{0, 0, 5, 5}, RgbColor(0, 0, 255));
  Edge3D(target.DC(), TRect{0, 0, 5, 5}, RgbColor(255, 255, 255), RgbColor(0, 0, 0));
  GdiFlush();
  auto colour = [&](int x, int y) { return target.PixelAt(x, y) & 0x00FFFFFF; };
  EXPECT_EQ(colour(3, 0), 0xFFFFFFu);
  EXPECT_EQ(colour(0, 3), 0xFFFFFFu);
  EXPECT_EQ(colour(4, 0), 0u);  // the far corners belong to the bottom-right lines
  EXPECT_EQ(colour(0, 4), 0u);
  EXPECT_EQ(colour(2, 2), 0x0000FFu);

  const std::wstring text = L"A long caption that does not fit";
  SIZE full{}, part{};
  GetTextExtentPoint32W(target.DC(), text.c_str(), static_cast<int>(text.size()), &full);
  const std::wstring shortened = EllipsizeText(target.DC(), text, full.cx / 2);
  ASSERT_GT(shortened.size(), 3u);
  EXPECT_EQ(shortened.substr(shortened.size() - 3), L"...");
  GetTextExtentPoint32W(target.DC(), shortened.c_str(), static_cast<int>(shortened.size()), &part);
  EXPECT_LE(part.cx, full.cx / 2);
  EXPECT_EQ(EllipsizeText(target.DC(), text, full.cx), text);
}

TEST(WinApi, OptionalFunctionsAndCountedVisualStyles) {
  const TskPlatformFunctions& platform = PlatformFunctions();
  EXPECT_TRUE(platform.IsNT);
  EXPECT_FALSE(platform.IsVersion4);
  EXPECT_TRUE(platform.LayeredWindows);

  const int before = VisualStylesLoadCount();
  if (LoadVisualStyles()) {
    EXPECT_EQ(VisualStylesLoadCount(), before + 1);
    EXPECT_NE(VisualStyles().OpenThemeData, nullptr);
    ReleaseVisualStyles();
  }
  EXPECT_EQ(VisualStylesLoadCount(), before);
  ReleaseAllVisualStyles();
  EXPECT_EQ(VisualStylesLoadCount(), 0);
  EXPECT_EQ(VisualStyles().OpenThemeData, nullptr);
  EXPECT_FALSE(VisualStylesActive());

  const RECT screen = WorkAreaAt(POINT{1, 1}, false);
  EXPECT_GT(screen.right - screen.left, 0);
  SCROLLBARINFO info{};
  info.cbSize = sizeof info;
  EXPECT_FALSE(ScrollBarInfo(nullptr, OBJID_VSCROLL, info));
}

// Pictures from streams (bitmap and icon files, with the two failure texts
// the viewer's settings can produce), canvases and image lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/forms.h"
#include "forms/forms_support.h"
#include "forms/std_components.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// An old-style file with the 12-byte core header: one 24-bit pixel.
std::string CoreHeaderFile() {
  std::string out = "BM";
  Put32(out, 14 + 12 + 4);
  Put32(out, 0);
  Put32(out, 14 + 12);
  Put32(out, 12);
  Put16(out, 1);
  Put16(out, 1);
  Put16(out, 1);
  Put16(out, 24);
  return out + Bytes({0x30, 0x20, 0x10, 0});
}

struct TBitmapCase {
  const char* Name;
  std::string File;
  int Width, Height;
  std::vector<uint32_t> Pixels;  // top row first, 0xAARRGGBB
};

std::vector<TBitmapCase> BitmapCases() {
  return {
      {"24-bit, bottom row stored first",
       BitmapFile(2, 2, 24, {}, Bytes({0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0})),
       2,
       2,
       {0xFF0000FF, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00}},
      {"8-bit palette, top row first",
       BitmapFile(3, -1, 8, {0x112233, 0x445566, 0x778899}, Bytes({2, 0, 1, 0})),
       3,
       1,
       {0xFF778899, 0xFF112233, 0xFF445566}},
      {"1-bit",
       BitmapFile(3, 1, 1, {0x000000, 0xFFFFFF}, Bytes({0xA0, 0, 0, 0})),
       3,
       1,
       {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
      {"32-bit keeps its alpha",
       BitmapFile(1, 2, 32, {}, Bytes({10, 20, 30, 128, 1, 2, 3, 0})),
       1,
       2,
       {0x00030201, 0x801E140A}},
      {"8-bit run lengths",
       BitmapFile(2, 2, 8, {0xFF0000, 0x0000FF}, Bytes({2, 1, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1}), BI_RLE8),
       2,
       2,
       {0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF}},
      {"core header", CoreHeaderFile(), 1, 1, {0xFF102030}},
  };
}

TEST(Bitmaps, LoadEveryHeaderAndPixelLayout) {
  for (const TBitmapCase& c : BitmapCases()) {
    SCOPED_TRACE(c.Name);
    TBitmap bitmap;
    TBytesStream stream(c.File);
    bitmap.LoadFromStream(stream);
    ASSERT_EQ(bitmap.Width(), c.Width);
    ASSERT_EQ(bitmap.Height(), c.Height);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < c.Height; ++y) {
      for (int x = 0; x < c.Width; ++x) pixels.push_back(bitmap.PixelAt(x, y));
    }
    EXPECT_EQ(pixels, c.Pixels);
    EXPECT_EQ(stream.Position(), stream.Size()) << "the whole file is read";
  }
}

TEST(Bitmaps, TransparentColourIsTheBottomLeftPixel) {
  TBitmap bitmap;
  TBytesStream stream(BitmapCases()[0].File);
  bitmap.LoadFromStream(stream);
  EXPECT_EQ(bitmap.TransparentColor(), clRed);  // 0x00BBGGRR
}

struct TFailureCase {
  const char* Name;
  std::string File;
  const char* Message;
};

TEST(Bitmaps, ShortStreamsAndForeignBytesFailWithTheirTexts) {
  const std::string good = BitmapCases()[0].File;
  std::string wide = BitmapFile(4000, 4000, 24, {}, "");  // claims 48 MB of pixels
  std::string badDepth = good;
  badDepth[28] = 7;
  std::string badOffset = good;
  badOffset[10] = 20;  // pixels inside the header
  std::string badMasks = good;
  badMasks[30] = BI_BITFIELDS;  // masks with 24 bits per pixel
  const std::vector<TFailureCase> cases = {
      {"empty", "", "Stream read error"},
      {"file header cut", "BM\x10\0\0\0", "Stream read error"},
      {"last pixel byte missing", good.substr(0, good.size() - 1), "Stream read error"},
      {"large picture, no pixels", wide, "Stream read error"},
      {"another format", std::string("GIF89a") + std::string(60, '\x01'), "Bitmap image is not valid"},
      {"unknown depth", badDepth, "Bitmap image is not valid"},
      {"pixels inside the header", badOffset, "Bitmap image is not valid"},
      {"masks on 24 bits", badMasks, "Bitmap image is not valid"},
      {"too many colours", BitmapFile(1, 1, 8, std::vector<uint32_t>(300, 0), std::string(4, '\0')),
       "Bitmap image is not valid"},
      {"zero width", BitmapFile(0, 1, 24, {}, ""), "Bitmap image is not valid"},
      {"beyond any memory", BitmapFile(100000, 100000, 1, {0, 0}, ""), "Bitmap image is not valid"},
  };
  TBitmap bitmap;
  TBytesStream stream(good);
  bitmap.LoadFromStream(stream);
  for (const TFailureCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBytesStream bad(c.File);
    try {
      bitmap.LoadFromStream(bad);
      ADD_FAILURE() << "loaded";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message, c.Message);
    }
    EXPECT_EQ(bitmap.Width(), 2) << "a failed load leaves the picture";
  }
}

TEST(Icons, LoadTheBestImagesForLargeAndSmall) {
  TIcon icon;
  TBytesStream stream(IconFile({16, 48, 32}, 0xFF8000));
  icon.LoadFromStream(stream);
  ASSERT_FALSE(icon.Empty());
  EXPECT_EQ(icon.Width(), 32);
  auto size = [](HICON handle) {
    ICONINFO info{};
    GetIconInfo(handle, &info);
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
  };
  EXPECT_EQ(size(icon.Handle()), GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(size(icon.SmallHandle()), GetSystemMetrics(SM_CXSMICON));

  TBitmap target;
  target.SetSize(32, 32);
  target.Canvas().Draw(0, 0, icon);
  EXPECT_EQ(target.PixelAt(16, 16) & 0xFFFFFF, 0xFF8000u);
}

TEST(Icons, ShortStreamsAndForeignBytesFailWithTheirTexts) {
  const std::string good = IconFile({32}, 0x123456);
  std::string cursor = good;
  cursor[2] = 2;
  std::string noImages = good;
  noImages[4] = 0;
  std::string beyond = good;
  beyond[6 + 12] = static_cast<char>(0xF0);  // image offset past the end
  std::string garbage = good;
  garbage[22] = 'X';  // the image does not start with a bitmap header
  const std::vector<TFailureCase> cases = {
      {"empty", "", "Stream read error"},
      {"header cut", good.substr(0, 4), "Stream read error"},
      {"directory cut", good.substr(0, 10), "Stream read error"},
      {"image cut", good.substr(0, good.size() - 1), "Stream read error"},
      {"image past the end", beyond, "Stream read error"},
      {"a bitmap file", BitmapCases()[0].File, "Icon image is not valid"},
      {"a cursor", cursor, "Icon image is not valid"},
      {"no images", noImages, "Icon image is not valid"},
      {"not an image", garbage, "Icon image is not valid"},
  };
  TIcon icon;
  TBytesStream stream(good);
  icon.LoadFromStream(stream);
  HICON before = icon.Handle();
  for (const TFailureCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBytesStream bad(c.File);
    try {
      icon.LoadFromStream(bad);
      ADD_FAILURE() << "loaded";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message, c.Message);
    }
    EXPECT_EQ(icon.Handle(), before) << "a failed load leaves the icon";
  }
}

TEST(Pictures, TellTheFormatByItsFirstBytes) {
  TPicture picture;
  TBytesStream bitmap(BitmapCases()[1].File);
  picture.LoadFromStream(bitmap);
  EXPECT_NE(dynamic_cast<TBitmap*>(picture.Graphic()), nullptr);
  EXPECT_EQ(picture.Width(), 3);
  TBytesStream icon(IconFile({32}, 0));
  picture.LoadFromStream(icon);
  EXPECT_NE(dynamic_cast<TIcon*>(picture.Graphic()), nullptr);
  TBytesStream other("GIF89a");
  try {
    picture.LoadFromStream(other);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message, "Unknown picture format");
  }
}

TEST(Canvas, SelectsItsObjectsAndGivesTheContextBackAsItCame) {
  TBitmap target;
  target.SetSize(60, 30);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBitmap = SelectObject(dc, target.Handle());
  HGDIOBJ originalFont = GetCurrentObject(dc, OBJ_FONT);
  HGDIOBJ originalBrush = GetCurrentObject(dc, OBJ_BRUSH);
  {
    TCanvas canvas;
    canvas.SetHandle(dc);
    canvas.Brush().SetColor(clWhite);
    canvas.FillRect(TRect{0, 0, 60, 30});
    canvas.Font().SetColor(clRed);
    canvas.Font().SetHeight(-24);
    canvas.Brush().SetStyle(bsClear);
    canvas.TextOut(2, 2, L"WW");
    HGDIOBJ first = GetCurrentObject(dc, OBJ_FONT);
    EXPECT_EQ(first, canvas.Font().Handle());
    canvas.Font().SetStyle(fsBold);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), canvas.Font().Handle()) << "the changed font is selected at once";
    EXPECT_EQ(GetObjectType(first), 0u) << "and the old one deleted, once no longer selected";
    canvas.SetHandle(nullptr);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), originalFont);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), originalBrush);
  }
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  int red = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 60; ++x) red += (target.PixelAt(x, y) & 0xFFFFFF) == 0xFF0000u;
  }
  EXPECT_GT(red, 20) << "the text was drawn in the font's colour";
}

// The guards put back what the context held and delete what they own after
// it has left the context, also when the scope ends early.
TEST(GdiGuards, SelectionComesBackAndOwnedObjectsAreDeletedAfterLeavingTheContext) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  HGDIOBJ originalPen = GetCurrentObject(dc, OBJ_PEN);
  HPEN made = nullptr;
  try {
    const TGdiPen pen = SolidPen(RGB(255, 0, 0), 3);
    made = pen.Get();
    ASSERT_EQ(GetObjectType(made), static_cast<DWORD>(OBJ_PEN));
    const TSelectObject select(dc, pen.Get());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), made);
    throw EOutOfResources("leave early");
  } catch (const EOutOfResources&) {
  }
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), originalPen);
  EXPECT_EQ(GetObjectType(made), 0u);
  {
    const TSelectObject nothing(dc, nullptr);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), originalPen);
  }
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), originalPen);
  DeleteDC(dc);
}

TEST(Canvas, ControlCanvasMeasuresWithTheControlsFontOutsideOfPainting) {
  TForm form(nullptr);
  const int small = form.Canvas().TextWidth(L"Forward");
  EXPECT_GT(small, 10);
  form.Font().SetHeight(-30);
  EXPECT_GT(form.Canvas().TextWidth(L"Forward"), small * 2);
  EXPECT_FALSE(form.Canvas().HandleAllocated()) << "the window's context is given back after each call";
}

TEST(ImageLists, DrawImagesWithTheMaskColourLeftOut) {
  TBitmap strip;
  strip.SetSize(32, 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) {
      const bool mask = x < 8 || (x >= 16 && x < 24);
      strip.Pixels()[y * 32 + x] = mask ? 0xFFFF00FFu : (x < 16 ? 0xFF00FF00u : 0xFF0000FFu);
    }
  }
  TImageList images(nullptr);
  EXPECT_EQ(images.AddMasked(strip, clFuchsia), 0);
  EXPECT_EQ(images.Count(), 2);
  TBitmap target;
  target.SetSize(16, 16);
  target.Canvas().Brush().SetColor(clWhite);
  target.Canvas().FillRect(TRect{0, 0, 16, 16});
  images.Draw(target.Canvas(), 0, 0, 1);
  EXPECT_EQ(target.PixelAt(2, 5) & 0xFFFFFF, 0xFFFFFFu) << "masked: the target shows";
  EXPECT_EQ(target.PixelAt(12, 5) & 0xFFFFFF, 0x0000FFu);
  TBitmap copy;
  images.GetBitmap(0, copy);
  EXPECT_EQ(copy.Width(), 16);
  EXPECT_EQ(copy.PixelAt(12, 5) & 0xFFFFFF, 0x00FF00u);
}

}  // namespace

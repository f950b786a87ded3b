// The stream record of a bitmap, and bitmap lists and links.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/sk_compress.h"
#include "graphics/pixel_helpers.h"

namespace {

void PutInt32(std::vector<uint8_t>& bytes, int32_t value) {
  uint8_t raw[4];
  std::memcpy(raw, &value, 4);
  bytes.insert(bytes.end(), raw, raw + 4);
}

// A record as the writer lays it out: name, width, height, then the given
// pixels in stream order.
std::vector<uint8_t> Record(const std::string& name, int32_t width, int32_t height,
                            const std::vector<TskPixel>& pixels) {
  std::vector<uint8_t> bytes;
  PutInt32(bytes, static_cast<int32_t>(name.size()));
  bytes.insert(bytes.end(), name.begin(), name.end());
  PutInt32(bytes, width);
  PutInt32(bytes, height);
  for (TskPixel p : pixels) PutInt32(bytes, static_cast<int32_t>(p));
  return bytes;
}

std::vector<TskPixel> PixelsOf(const TskBitmap& bitmap) {
  return std::vector<TskPixel>(bitmap.Bits(), bitmap.Bits() + bitmap.Width() * bitmap.Height());
}

void ExpectReadError(const std::vector<uint8_t>& bytes, TskBitmap& bitmap) {
  TReadOnlyMemoryStream stream(bytes);
  try {
    bitmap.LoadFromStream(stream);
    FAIL() << "expected a read error";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Stream read error");
  }
}

}  // namespace

TEST(BitmapStream, WriterLayoutAndRoundTrip) {
  TskBitmap bitmap;
  bitmap.SetSize(2, 3);
  for (int i = 0; i < 6; ++i) bitmap.Bits()[i] = 0x01020304u * static_cast<TskPixel>(i + 1);
  bitmap.Name = "BLUE_BUTTON_BMP";
  TMemoryStream stream;
  bitmap.SaveToStream(stream);
  EXPECT_EQ(std::vector<uint8_t>(stream.Bytes().begin(), stream.Bytes().end()),
            Record("BLUE_BUTTON_BMP", 2, 3, PixelsOf(bitmap)));
  // Blue, green, red, alpha in the stream.
  EXPECT_EQ(stream.Bytes()[4 + 15 + 8], 0x04);
  EXPECT_EQ(stream.Bytes()[4 + 15 + 8 + 3], 0x01);

  stream.SetPosition(0);
  TskBitmap loaded;
  loaded.AlphaBlend = true;
  loaded.LoadFromStream(stream);
  EXPECT_EQ(loaded.Name, "BLUE_BUTTON_BMP");
  EXPECT_EQ(loaded.Width(), 2);
  EXPECT_EQ(loaded.Height(), 3);
  EXPECT_EQ(PixelsOf(loaded), PixelsOf(bitmap));
  EXPECT_TRUE(loaded.AlphaBlend);  // flags are not part of the record
  EXPECT_EQ(stream.Position(), stream.Size());

  TskBitmap empty;
  TMemoryStream emptyStream;
  empty.SaveToStream(emptyStream);
  EXPECT_EQ(std::vector<uint8_t>(emptyStream.Bytes().begin(), emptyStream.Bytes().end()), Record("", 0, 0, {}));
}

TEST(BitmapStream, HeightSignAndEmptyRecords) {
  const std::vector<TskPixel> rows = {1, 2, 3, 4, 5, 6};  // 2 wide, 3 rows as stored
  struct {
    const char* name;
    int32_t width, height;
    std::vector<TskPixel> stored;
    int32_t expectedWidth, expectedHeight;
    std::vector<TskPixel> expected;
  } cases[] = {
      {"top-down", 2, 3, rows, 2, 3, {1, 2, 3, 4, 5, 6}},
      {"bottom-up", 2, -3, rows, 2, 3, {5, 6, 3, 4, 1, 2}},
      {"zero height", 2, 0, {}, 0, 0, {}},
      {"zero width", 0, -4, {}, 0, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = Record("x", c.width, c.height, c.stored);
    bytes.push_back(0xEE);  // whatever follows the record stays unread
    TReadOnlyMemoryStream stream(bytes);
    TskBitmap bitmap;
    bitmap.SetSize(7, 7);  // an earlier image must not survive an empty record
    bitmap.LoadFromStream(stream);
    EXPECT_EQ(bitmap.Width(), c.expectedWidth);
    EXPECT_EQ(bitmap.Height(), c.expectedHeight);
    EXPECT_EQ(bitmap.IsEmpty(), c.expected.empty());
    if (!bitmap.IsEmpty()) {
      EXPECT_EQ(PixelsOf(bitmap), c.expected);
    }
    EXPECT_EQ(stream.Position(), static_cast<int64_t>(bytes.size()) - 1);
  }
}

TEST(BitmapStream, DamagedRecordsFailBeforeAllocating) {
  const std::vector<TskPixel> four = {1, 2, 3, 4};
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"negative width", Record("x", -2, 2, four)},
      {"pixels cut short", [&] {
         auto b = Record("x", 2, 2, four);
         b.pop_back();
         return b;
       }()},
      {"size far beyond the stream", Record("x", 20000, -20000, four)},
      {"negative name length", [] {
         std::vector<uint8_t> b;
         PutInt32(b, -1);
         return b;
       }()},
      {"name beyond the stream", [] {
         std::vector<uint8_t> b;
         PutInt32(b, INT32_MAX);
         b.push_back('a');
         return b;
       }()},
      {"header cut short", {1, 0, 0, 0, 'a', 2, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TskBitmap bitmap;
    bitmap.SetSize(1, 1);
    bitmap.SetPixelAt(0, 0, 42);
    ExpectReadError(c.bytes, bitmap);
    EXPECT_EQ(bitmap.Width(), 1);
    EXPECT_EQ(bitmap.PixelAt(0, 0), 42u);
  }

  // A size no pixel memory can hold is refused like SetSize refuses it.
  TskBitmap bitmap;
  const std::vector<uint8_t> huge = Record("x", 65536, INT32_MIN, {});
  TReadOnlyMemoryStream stream(huge);
  EXPECT_THROW(bitmap.LoadFromStream(stream), ESkBitmapError);
}

TEST(BitmapStream, RecordsReadBackThroughADecompressionStream) {
  // The stored theme form: records inside a zlib stream, which cannot tell
  // its size. Reading must work with Read alone.
  TskBitmap first;
  first.SetSize(300, 20);
  for (int i = 0; i < 6000; ++i) first.Bits()[i] = static_cast<TskPixel>(i * 2654435761u);
  first.Name = "FIRST";
  TskBitmap second;
  second.SetSize(1, 1);
  second.Name = "SECOND";
  TMemoryStream packed;
  {
    TCompressionStream compress(TCompressionLevel::Fastest, packed);
    first.SaveToStream(compress);
    second.SaveToStream(compress);
  }
  packed.SetPosition(0);
  TDecompressionStream unpack(packed);
  TskBitmap a;
  TskBitmap b;
  a.LoadFromStream(unpack);
  b.LoadFromStream(unpack);
  EXPECT_EQ(PixelsOf(a), PixelsOf(first));
  EXPECT_EQ(b.Name, "SECOND");
  EXPECT_EQ(b.Width(), 1);
}

TEST(BitmapList, LookupByNameIgnoresCaseAndLinks) {
  TskBitmapList list;
  for (const char* name : {"BLUE_BUTTON_BMP", "blue_button_bmp", "Other"}) {
    list.Add(std::make_unique<TskBitmap>())->Name = name;
  }
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Item(3), nullptr);
  EXPECT_EQ(list.Item(-1), nullptr);
  EXPECT_EQ(list.FindByName("Blue_Button_Bmp"), list.Item(0));
  EXPECT_EQ(list.FindByName("missing"), nullptr);
  EXPECT_EQ(list.LinkByName("missing", TRect{}), nullptr);

  const auto link = list.LinkByName("other", TRect{0, 0, 3, 1});
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Bitmap, list.Item(2));
  EXPECT_EQ(link->Name, "Other");
  link->SetLeft(1);
  link->CornersTransparent = true;
  TskBitmapLink copy;
  copy.Assign(*link);
  EXPECT_EQ(copy.Bitmap, list.Item(2));
  EXPECT_EQ(copy.Rect, (TRect{1, 0, 3, 1}));
  EXPECT_EQ(copy.Name, "Other");
  EXPECT_TRUE(copy.CornersTransparent);

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

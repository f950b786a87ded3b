#include <gtest/gtest.h>
#include <zlib.h>

#include "graphics/sk_bitmap.h"
#include "graphics/sk_png.h"

namespace {

uint32_t BigEndian(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

TEST(Png, EncodesRowsAsRgbThatDecodeBack) {
  TskBitmap bitmap;
  bitmap.SetSize(3, 2);
  const TskPixel pixels[] = {0xFF102030u, 0x80405060u, 0xFFFFFFFFu, 0xFF000000u, 0xFFA0B0C0u, 0x00D0E0F0u};
  for (int i = 0; i < 6; ++i) bitmap.SetPixelAt(i % 3, i / 3, pixels[i]);
  const std::vector<uint8_t> png = EncodePng(bitmap);

  ASSERT_GT(png.size(), 8u + 25 + 12 + 12);
  EXPECT_EQ(std::string(png.begin(), png.begin() + 8), std::string("\x89PNG\r\n\x1a\n"));
  // Walk the chunks, checking every CRC, and collect the image data.
  std::vector<uint8_t> data;
  std::vector<std::string> kinds;
  for (size_t at = 8; at < png.size();) {
    const uint32_t length = BigEndian(&png[at]);
    const std::string kind(png.begin() + static_cast<long>(at + 4), png.begin() + static_cast<long>(at + 8));
    kinds.push_back(kind);
    EXPECT_EQ(BigEndian(&png[at + 8 + length]), crc32(0, &png[at + 4], length + 4)) << kind;
    if (kind == "IHDR") {
      EXPECT_EQ(BigEndian(&png[at + 8]), 3u);
      EXPECT_EQ(BigEndian(&png[at + 12]), 2u);
      EXPECT_EQ(png[at + 16], 8);  // bits per channel
      EXPECT_EQ(png[at + 17], 2);  // RGB
    }
    if (kind == "IDAT") data.insert(data.end(), &png[at + 8], &png[at + 8 + length]);
    at += 12 + length;
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  std::vector<uint8_t> raw(2 * (1 + 9));
  uLongf size = static_cast<uLongf>(raw.size());
  ASSERT_EQ(uncompress(raw.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
  ASSERT_EQ(size, raw.size());
  const std::vector<uint8_t> expected = {0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xFF, 0xFF, 0xFF,
                                         0, 0x00, 0x00, 0x00, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0};
  EXPECT_EQ(raw, expected);
}

TEST(Png, EmptyPictureIsRefused) {
  TskBitmap empty;
  EXPECT_THROW(EncodePng(empty), Exception);
}

}  // namespace

#include "graphics/sk_png.h"

#include <zlib.h>

#include <string_view>

#include "runtime/exceptions.h"
#include "graphics/sk_bitmap.h"

namespace {

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void Chunk(std::vector<uint8_t>& out, std::string_view kind, const std::vector<uint8_t>& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), kind.begin(), kind.end());
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

}  // namespace

std::vector<uint8_t> EncodePng(const TskBitmap& bitmap) {
  const int32_t width = bitmap.Width();
  const int32_t height = bitmap.Height();
  if (width <= 0 || height <= 0) throw Exception("An empty picture cannot be written as PNG");

  // Every row starts with filter type 0 (none).
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
  for (int32_t y = 0; y < height; ++y) {
    raw.push_back(0);
    const TskPixel* row = bitmap.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      raw.push_back(static_cast<uint8_t>(row[x] >> 16));
      raw.push_back(static_cast<uint8_t>(row[x] >> 8));
      raw.push_back(static_cast<uint8_t>(row[x]));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
    throw Exception("The picture could not be compressed");
  packed.resize(packedSize);

  std::vector<uint8_t> header;
  PutBigEndian(header, static_cast<uint32_t>(width));
  PutBigEndian(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", {});
  return png;
}

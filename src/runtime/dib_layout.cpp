#include "runtime/dib_layout.h"
#include "runtime/little_endian.h"

namespace {

// The largest picture: held at 4 bytes per pixel, it must stay below 512 MB.
constexpr int64_t kMostPixels = (int64_t{1} << 29) / 4;

}  // namespace

uint64_t TDibLayout::PixelBytes() const {
  if (RunLength()) return SizeImage;
  const uint64_t stride = ((static_cast<uint64_t>(Width) * static_cast<uint64_t>(BitCount) + 31) / 32) * 4;
  return stride * static_cast<uint64_t>(Height < 0 ? -Height : Height);
}

bool IsKnownDibHeaderSize(uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

std::string ReadDibLayout(const uint8_t* info, TDibLayout& layout) {
  layout = TDibLayout{};
  layout.HeaderSize = ReadLe32(info);
  layout.Core = layout.HeaderSize == 12;
  int planes;
  uint32_t colorsUsed = 0;
  if (layout.Core) {
    layout.Width = ReadLe16(info + 4);
    layout.Height = ReadLe16(info + 6);
    planes = ReadLe16(info + 8);
    layout.BitCount = ReadLe16(info + 10);
  } else {
    layout.Width = static_cast<int32_t>(ReadLe32(info + 4));
    layout.Height = static_cast<int32_t>(ReadLe32(info + 8));
    planes = ReadLe16(info + 12);
    layout.BitCount = ReadLe16(info + 14);
    layout.Compression = ReadLe32(info + 16);
    layout.SizeImage = ReadLe32(info + 20);
    colorsUsed = ReadLe32(info + 32);
  }
  const int bits = layout.BitCount;
  if (planes != 1 || layout.Width <= 0 || layout.Height == 0) return "no picture size";
  if (!(bits == 1 || bits == 4 || bits == 8 || bits == 24 || (!layout.Core && (bits == 16 || bits == 32))))
    return std::to_string(bits) + " bits per pixel";
  const bool bottomUp = layout.Height > 0;
  switch (layout.Compression) {
    case kDibRgb: break;
    case kDibRle8:
      if (bits != 8 || !bottomUp) return "unsupported compression";
      break;
    case kDibRle4:
      if (bits != 4 || !bottomUp) return "unsupported compression";
      break;
    case kDibBitFields:
      if (bits != 16 && bits != 32) return "unsupported compression";
      break;
    default: return "unsupported compression";
  }
  const int64_t rows = bottomUp ? layout.Height : -layout.Height;
  if (layout.Width * rows > kMostPixels) return "too large";
  if (bits <= 8) {
    const uint32_t most = 1u << bits;
    if (colorsUsed > most) return "colour table too long";
    layout.TableBytes = uint64_t{layout.Core ? 3u : 4u} * (colorsUsed != 0 ? colorsUsed : most);
  } else {
    if (colorsUsed > 256) return "colour table too long";
    layout.TableBytes = uint64_t{4} * colorsUsed;
  }
  if (layout.Compression == kDibBitFields && layout.HeaderSize == 40) layout.TableBytes += 12;
  if (layout.RunLength() && layout.SizeImage == 0) return "compressed pixels of unknown size";
  return {};
}

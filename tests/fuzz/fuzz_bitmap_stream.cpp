// A bitmap stream record from arbitrary bytes, read directly and through a
// decompression stream (as the stored theme form holds its images): reading
// must fail cleanly, never allocate beyond what the bytes can supply, and a
// record that loads must survive a write and read back unchanged and be
// drawable.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/streams.h"
#include "graphics/sk_bitmap.h"
#include "graphics/sk_compress.h"

namespace {

void Exercise(TskBitmap& bitmap, const uint8_t* data, size_t size) {
  TMemoryStream saved;
  bitmap.SaveToStream(saved);
  saved.SetPosition(0);
  TskBitmap again;
  again.LoadFromStream(saved);
  if (again.Width() != bitmap.Width() || again.Height() != bitmap.Height() || again.Name != bitmap.Name) {
    __builtin_trap();
  }
  if (!bitmap.IsEmpty() &&
      std::memcmp(again.Bits(), bitmap.Bits(), static_cast<size_t>(bitmap.Width()) * bitmap.Height() * 4) != 0) {
    __builtin_trap();
  }
  if (bitmap.IsEmpty()) return;

  // Margins, flags and a destination taken from the input's first bytes.
  auto byte = [&](size_t i) { return i < size ? static_cast<int32_t>(data[i]) : 0; };
  bitmap.DetectAlpha();
  bitmap.Transparent = byte(0) & 1;
  TskBitmapLink link;
  link.Bitmap = &bitmap;
  link.Rect = TRect{byte(1) - 8, byte(2) - 8, byte(3), byte(4)};
  link.CheckTransparency(TRect{byte(5) % 8, byte(6) % 8, byte(7) % 8, byte(8) % 8});
  TskBitmap target;
  target.SetSize(24, 24);
  const TRect destination{byte(9) - 16, byte(10) - 16, byte(11) - 16, byte(12) - 16};
  bitmap.DrawOnto(target, destination, bitmap.Bounds());
  bitmap.Tile(target, TRect{0, 0, 24, 24}, TRect{0, 0, std::min(bitmap.Width(), 7), std::min(bitmap.Height(), 5)},
              TRect{});
  target.MergeUnder(bitmap, byte(13) - 16, byte(14) - 16, bitmap.Bounds());
  bitmap.KeyOutColor(RgbColor(byte(15), byte(16), byte(17)));
  bitmap.ShiftBitmapHue(byte(18));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy of exactly size bytes, so that ASan sees every overread.
  const std::vector<uint8_t> bytes(data, data + size);
  {
    TReadOnlyMemoryStream stream(bytes);
    TskBitmap bitmap;
    try {
      bitmap.LoadFromStream(stream);
      Exercise(bitmap, bytes.data(), bytes.size());
    } catch (const Exception&) {
    }
  }
  {
    TReadOnlyMemoryStream stream(bytes);
    TDecompressionStream unpack(stream);
    TskBitmap bitmap;
    try {
      bitmap.LoadFromStream(unpack);
      Exercise(bitmap, bytes.data(), bytes.size());
    } catch (const Exception&) {
    }
  }
  return 0;
}

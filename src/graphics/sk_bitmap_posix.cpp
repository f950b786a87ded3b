// Pixel memory without a window system: zeroed heap memory. The memory
// object's own address serves as the device context identity, so the
// registry lookup behaves as it does with real device contexts.
#include <array>
#include <cstdlib>

#include "graphics/sk_bitmap.h"
#include "graphics/sk_bitmap_memory.h"

TskPixelMemory::TskPixelMemory(int32_t width, int32_t height) {
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  bits_ = static_cast<TskPixel*>(std::calloc(count, sizeof(TskPixel)));
  if (bits_ == nullptr) throw ESkBitmapError("Can't allocate the DIB handle");
  dib_ = bits_;
  deviceContext_ = this;
}

TskPixelMemory::~TskPixelMemory() { Release(); }

void TskPixelMemory::Release() {
  std::free(bits_);
  bits_ = nullptr;
  dib_ = nullptr;
  deviceContext_ = nullptr;
}

// The platform's classic colour scheme, indexed like its system colours.
uint32_t SystemColorRgb(int index) {
  static constexpr std::array<uint32_t, 31> kClassic = {
      0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
      0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
      0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
      0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xC56A31, 0xD8E9EC};
  if (index < 0 || index >= static_cast<int>(kClassic.size())) return 0;
  return kClassic[static_cast<size_t>(index)];
}

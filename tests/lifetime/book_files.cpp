#include "lifetime/book_files.h"

#include <windows.h>

#include <cstring>

std::string IconFile() {
  std::string ico(6 + 16, '\0');
  ico[2] = 1;  // type: icon
  ico[4] = 1;  // one image
  const uint32_t pixels = 32 * 32 * 4, mask = 32 * 4, size = 40 + pixels + mask, offset = 22;
  uint8_t entry[16] = {32, 32, 0, 0, 1, 0, 32, 0};
  std::memcpy(entry + 8, &size, 4);
  std::memcpy(entry + 12, &offset, 4);
  std::memcpy(&ico[6], entry, 16);
  BITMAPINFOHEADER header{};
  header.biSize = 40;
  header.biWidth = 32;
  header.biHeight = 64;  // image and mask
  header.biPlanes = 1;
  header.biBitCount = 32;
  ico.append(reinterpret_cast<const char*>(&header), sizeof header);
  for (uint32_t i = 0; i < 32 * 32; ++i) ico.append("\x20\x80\xE0\xFF", 4);
  ico.append(mask, '\0');
  return ico;
}

std::string Hex(const std::string& bytes) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string GlyphFile(int width, int height, uint32_t colour) {
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(rowBytes * height);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  std::string row(static_cast<size_t>(rowBytes), '\0');
  for (int x = 0; x < width; ++x) {
    row[static_cast<size_t>(x * 3)] = static_cast<char>(colour & 0xFF);
    row[static_cast<size_t>(x * 3 + 1)] = static_cast<char>((colour >> 8) & 0xFF);
    row[static_cast<size_t>(x * 3 + 2)] = static_cast<char>((colour >> 16) & 0xFF);
  }
  for (int y = 0; y < height; ++y) bytes += row;
  return bytes;
}

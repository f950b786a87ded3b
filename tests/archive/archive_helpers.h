// Building archive blocks for tests.
#pragma once

#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/book_file.h"
#include "archive/res_invoker.h"

// Text that compresses like a page, mixed with runs of noise so that levels
// differ and entries span many 32 KB steps.
inline std::string PageLikeBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string out;
  out.reserve(size);
  static const char* kWords[] = {"<p>", "book ", "page ", "chapter ", "</p>\r\n", "<b>", "</b>", "the ", "viewer "};
  while (out.size() < size) {
    if (random() % 16 == 0) {
      for (int i = 0; i < 64; ++i) out += static_cast<char>(random() & 0xFF);
    } else {
      out += kWords[random() % 9];
    }
  }
  out.resize(size);
  return out;
}

inline std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// Reader over a block the test keeps alive.
struct TTestArchive {
  std::vector<uint8_t> Block;
  TRes_invoker Reader() const { return TRes_invoker(reinterpret_cast<const THostArchive*>(Block.data())); }
  TRes_invoker CheckedReader() const {
    return TRes_invoker(reinterpret_cast<const THostArchive*>(Block.data()), static_cast<int64_t>(Block.size()));
  }
  void SetEntryField(int index, int fieldOffset, int32_t value) {
    std::memcpy(Block.data() + 20 + 264 * index + fieldOffset, &value, 4);
  }
};

// What the two platform halves of the socket layer share.
#pragma once

#include <chrono>
#include <cstddef>

#include "runtime/sockets.h"

namespace socket_detail {

using TClock = std::chrono::steady_clock;

// Milliseconds left until deadline for a wait: -1 without a deadline, 0 when
// it has passed.
int Remaining(bool limited, TClock::time_point deadline);

// The position in a gather send: which bytes of the buffers are still to go.
class TSendCursor {
 public:
  TSendCursor(const TSendBuffer* buffers, size_t count) : buffers_(buffers), count_(count) { SkipSent(); }

  bool Done() const { return first_ == count_; }

  // Hands the unsent pieces, in order, to add(data, size): at most maxPieces
  // of them, none longer than maxPiece (the rest of a longer buffer waits for
  // a later round). Returns how many it handed.
  template <typename TAdd>
  size_t Pieces(size_t maxPieces, size_t maxPiece, TAdd add) const {
    size_t used = 0;
    for (size_t i = first_; i < count_ && used < maxPieces; ++i) {
      const size_t skip = i == first_ ? offset_ : 0;
      const size_t size = buffers_[i].Size - skip;
      if (size == 0) continue;
      add(static_cast<const char*>(buffers_[i].Data) + skip, size < maxPiece ? size : maxPiece);
      ++used;
      if (size > maxPiece) break;
    }
    return used;
  }

  // Moves past sent bytes.
  void Advance(size_t sent) {
    while (sent > 0) {
      const size_t rest = buffers_[first_].Size - offset_;
      if (sent < rest) {
        offset_ += sent;
        return;
      }
      sent -= rest;
      ++first_;
      offset_ = 0;
    }
    SkipSent();
  }

 private:
  void SkipSent() {
    while (first_ < count_ && buffers_[first_].Size == offset_) {
      ++first_;
      offset_ = 0;
    }
  }

  const TSendBuffer* buffers_;
  size_t count_;
  size_t first_ = 0;   // buffers before it are sent
  size_t offset_ = 0;  // bytes of buffers_[first_] already sent
};

}  // namespace socket_detail

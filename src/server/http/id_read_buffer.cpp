#include "server/http/id_read_buffer.h"

#include <algorithm>

#include "server/http/id_exception.h"

namespace {
constexpr size_t kChunk = 8192;
}

bool TIdReadBuffer::Fill() {
  // Drop consumed bytes before growing, so the buffer holds at most one
  // line (or one chunk) beyond what is unread.
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const size_t old = buffer_.size();
  buffer_.resize(old + kChunk);
  size_t got = 0;
  try {
    got = fill_(buffer_.data() + old, kChunk);
  } catch (...) {
    buffer_.resize(old);
    throw;
  }
  buffer_.resize(old + got);
  return got > 0;
}

std::string TIdReadBuffer::Take(size_t count) {
  std::string result = buffer_.substr(start_, count);
  start_ += count;
  return result;
}

std::string TIdReadBuffer::ReadLn(size_t maxLength) {
  size_t searched = 0;  // bytes after start_ already known to hold no LF
  for (;;) {
    const size_t lf = buffer_.find('\n', start_ + searched);
    if (lf != std::string::npos) {
      size_t length = lf - start_;
      std::string line = Take(length);
      ++start_;  // the LF
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() > maxLength) throw EIdMaxLineLengthExceeded();
      return line;
    }
    searched = Buffered();
    // One byte more than maxLength may still be the CR before the LF.
    if (searched > maxLength + 1) throw EIdMaxLineLengthExceeded();
    if (!Fill()) throw EIdConnClosedGracefully();
  }
}

std::string TIdReadBuffer::ReadBytes(size_t count) {
  std::string result;
  while (result.size() < count) {
    if (Buffered() == 0 && !Fill()) throw EIdConnClosedGracefully();
    result += Take(std::min(count - result.size(), Buffered()));
  }
  return result;
}

bool TIdReadBuffer::ReadToEnd(size_t maxLength, std::string& data) {
  data.clear();
  for (;;) {
    if (Buffered() > maxLength - data.size()) return false;
    data += Take(Buffered());
    if (!Fill()) return true;
  }
}

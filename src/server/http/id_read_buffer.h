// Buffered reading of lines and byte counts from a source of bytes (a
// connection, or plain memory for tests and the fuzzer).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

class TIdReadBuffer {
 public:
  // Reads up to size bytes into buffer and returns how many; 0 means the
  // input has ended. May raise (a timeout, a reset connection).
  using TFill = std::function<size_t(char* buffer, size_t size)>;

  explicit TIdReadBuffer(TFill fill) : fill_(std::move(fill)) {}

  // The bytes up to the next LF, without it and without a CR just before
  // it. Fails with EIdMaxLineLengthExceeded as soon as the line is known to
  // be longer than maxLength, with EIdConnClosedGracefully when the input
  // ends before the LF.
  std::string ReadLn(size_t maxLength);
  // Exactly count bytes; EIdConnClosedGracefully when the input ends first.
  std::string ReadBytes(size_t count);
  // Everything up to the end of the input into data; false (with data
  // incomplete) as soon as that is more than maxLength bytes.
  bool ReadToEnd(size_t maxLength, std::string& data);
  // Whether bytes that have arrived are still unread.
  bool HasBuffered() const { return Buffered() > 0; }

 private:
  // Appends more input to the buffer; false at the end of the input.
  bool Fill();
  size_t Buffered() const { return buffer_.size() - start_; }
  std::string Take(size_t count);

  TFill fill_;
  std::string buffer_;
  size_t start_ = 0;  // bytes before start_ were consumed
};

// Helpers shared by the window framework tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "forms/forms.h"
#include "runtime/streams.h"

// Shows a form without activating it and without a frame: under Wine
// without a window manager such a window can be hidden and destroyed at once
// (an activated, framed one takes seconds).
void ShowWithoutActivating(TForm& form);

// Pumps the thread's messages until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, int milliseconds = 2000);
// Pumps the thread's messages for the given time.
void PumpFor(int milliseconds);

// Collects what reaches Application->HandleException while it lives. Outside
// of one, an exception reported by the framework fails the running test
// (the message box would block the run).
class TExceptionCapture {
 public:
  TExceptionCapture();
  ~TExceptionCapture();
  std::vector<std::string> Messages;
  std::vector<TObject*> Senders;

 private:
  TExceptionEvent previous_;
};

// A stream over bytes built by a test.
class TBytesStream : public TMemoryStream {
 public:
  explicit TBytesStream(const std::string& bytes) {
    WriteString(bytes);
    SetPosition(0);
  }
};

// Little-endian field writers for building files.
void Put16(std::string& out, uint32_t value);
void Put32(std::string& out, uint32_t value);

// A bitmap file with a 40-byte information header. palette holds 0x00RRGGBB
// entries; bits are the rows as stored.
std::string BitmapFile(int width, int height, int bitCount, const std::vector<uint32_t>& palette,
                       const std::string& bits, uint32_t compression = BI_RGB);
// An icon file with one 32-bit image per size, each filled with the colour
// (0x00RRGGBB).
std::string IconFile(const std::vector<int>& sizes, uint32_t colour);

// The binary value by which a theme-list item keeps one complete theme inside
// a form's stored layout:
//
//   format  1 byte   0 empty item (nothing follows), 2 current, 1 legacy
//   name    4 + n    (format 2) signed 32-bit byte count and 8-bit characters
//   size    8        (format 2) byte count of the data, 64-bit little-endian;
//                    written with the high half 0, read from the low half only
//   data    size     (format 2) the theme exactly as its kind saved it
//
// In the legacy format the theme's own bytes follow the format byte with no
// name or size; only the theme manager can tell where they end, so this
// reader stops right after the format byte and leaves the rest to its caller.
// The writer never produces the legacy format.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/exceptions.h"
#include "runtime/streams.h"

enum : uint8_t {
  kThemeStreamEmpty = 0,
  kThemeStreamLegacy = 1,
  kThemeStreamCurrent = 2,
};

// Reads the format byte and, for the current format, the name and the data.
// Returns the format byte. name and data change only when a current-format
// value was read completely; for every other format they are left as they
// were and the stream stands right after the format byte. A value shorter
// than its counts promise raises EReadError "Stream read error" without
// touching name or data and without reserving memory for bytes the stream
// does not hold.
uint8_t ReadThemeStreamValue(TStream& stream, std::string& name, TMemoryStream& data);

// Writes the current format when data is not empty, else the single byte 0.
void WriteThemeStreamValue(TStream& stream, const std::string& name, const TMemoryStream& data);

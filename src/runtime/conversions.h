// Integer <-> text conversions with the platform runtime's rules and
// messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Decimal with an optional sign, or hexadecimal after "$", "0x" or "0X"
// (also with a sign). Leading blanks are skipped; nothing may follow the
// digits. Decimal values must fit a signed 32-bit integer; hexadecimal ones
// may use all 32 bits and wrap to negative values, as the platform's do.
bool TryStrToInt(std::string_view text, int32_t& value);
// Fails with EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);
int32_t StrToIntDef(std::string_view text, int32_t defaultValue);
std::string IntToStr(int64_t value);

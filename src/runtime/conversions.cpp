#include "runtime/conversions.h"

#include "runtime/exceptions.h"

bool TryStrToInt(std::string_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;
  uint64_t magnitude = 0;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > limit) return false;
  }
  const auto bits = static_cast<uint32_t>(negative ? (0 - magnitude) : magnitude);
  value = static_cast<int32_t>(bits);
  return true;
}

int32_t StrToInt(std::string_view text) {
  int32_t value;
  if (!TryStrToInt(text, value))
    throw EConvertError(Format("'%.*s' is not a valid integer value", static_cast<int>(text.size()), text.data()));
  return value;
}

int32_t StrToIntDef(std::string_view text, int32_t defaultValue) {
  int32_t value;
  return TryStrToInt(text, value) ? value : defaultValue;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

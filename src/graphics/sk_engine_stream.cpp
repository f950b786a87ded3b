#include "graphics/sk_engine_stream.h"

#include <limits>

#include "graphics/sk_bitmap.h"

namespace {

uint64_t ReadUInt64(TStream& stream) {
  uint8_t raw[8];
  stream.ReadBuffer(raw, sizeof raw);
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | raw[i];
  return value;
}

void WriteUInt64(TStream& stream, uint64_t value) {
  uint8_t raw[8];
  for (uint8_t& byte : raw) {
    byte = static_cast<uint8_t>(value);
    value >>= 8;
  }
  stream.WriteBuffer(raw, sizeof raw);
}

}  // namespace

uint8_t ReadThemeStreamValue(TStream& stream, std::string& name, TMemoryStream& data) {
  uint8_t format = 0;
  stream.ReadBuffer(&format, 1);
  if (format != kThemeStreamCurrent) return format;

  std::string readName = ReadStreamString(stream);
  // Writers have always stored the size in the low half; the high half is
  // not trusted, so a value with garbage there still loads.
  const uint32_t size = static_cast<uint32_t>(ReadUInt64(stream));
  // A size field larger than the value reserves memory only as bytes arrive.
  std::vector<uint8_t> readData;
  ReadGrowing(stream, readData, size);

  name = std::move(readName);
  data.Clear();
  data.WriteBuffer(readData.data(), static_cast<int64_t>(readData.size()));
  data.SetPosition(0);
  return format;
}

void WriteThemeStreamValue(TStream& stream, const std::string& name, const TMemoryStream& data) {
  const int64_t size = static_cast<int64_t>(data.Bytes().size());
  if (size == 0) {
    const uint8_t empty = kThemeStreamEmpty;
    stream.WriteBuffer(&empty, 1);
    return;
  }
  // The size field's high half is always written as 0 and ignored on
  // reading, so a larger theme could not be read back.
  if (size > std::numeric_limits<uint32_t>::max()) throw EWriteError("Stream write error");
  const uint8_t current = kThemeStreamCurrent;
  stream.WriteBuffer(&current, 1);
  WriteStreamString(stream, name);
  WriteUInt64(stream, static_cast<uint64_t>(size));
  stream.WriteBuffer(data.Memory(), size);
}

// The style-file theme from arbitrary bytes: the first byte chooses whether
// the rest is a description text (as a module or file supplies it) or the
// inside of a stored form (compressed here, so the fuzzer works on the
// readable fields). Building must either succeed or fail with a conversion
// error and leave no objects; every built object must paint any image index
// into a small bitmap without reaching outside memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/streams.h"
#include "graphics/sk_compress.h"
#include "graphics/theme_msux_data.h"

namespace {

void BuildAndPaint(TmsuxThemeData& data, int hue, int brightness, int imageIndex) {
  try {
    data.Build(hue, brightness);
  } catch (const EConvertError&) {
    if (data.HasObjects()) __builtin_trap();
    return;
  }
  TskBitmap target;
  target.SetSize(19, 13);
  TmsuxBitmapSurface surface(target);
  for (int i = 0; i < kMsuxObjectCount; ++i) {
    const TmsuxThemeObject& object = data.Object(static_cast<TmsuxObjectId>(i));
    object.PaintObject(surface, TRect{-3, 2, 17, 15}, imageIndex, TRect{});
    object.PaintObject(surface, TRect{1, 1, 40, 9}, imageIndex + 1, TRect{2, 2, 5, 5});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int mode = data[0] & 1;
  const int hue = static_cast<int8_t>(data[1]);
  const int brightness = static_cast<int8_t>(data[2]);
  const int imageIndex = data[3] % 20 - 1;
  const std::vector<uint8_t> rest(data + 4, data + size);

  TmsuxThemeData theme;
  if (mode == 0) {
    theme.Description.SetText(std::string(rest.begin(), rest.end()));
    // Missing images become small bitmaps with content, as a module gives.
    theme.LoadImage = [](TskBitmap& bitmap, const std::string& name) {
      bitmap.SetSize(static_cast<int32_t>(name.size() % 9 + 1), static_cast<int32_t>(name.size() % 7 + 1));
      bitmap.Fill(name.empty() ? 0 : 0xFF000000u | static_cast<uint8_t>(name[0]));
    };
    BuildAndPaint(theme, hue, brightness, imageIndex);
    return 0;
  }

  TMemoryStream stored;
  stored.WriteBuffer(TmsuxThemeData::kMagic.data(), 7);
  {
    TCompressionStream packed(TCompressionLevel::Fastest, stored);
    packed.WriteBuffer(rest.data(), static_cast<int64_t>(rest.size()));
    packed.Finish();
  }
  stored.SetPosition(0);
  try {
    if (!theme.ReadStoredForm(stored)) __builtin_trap();
  } catch (const Exception&) {
    return 0;
  }
  BuildAndPaint(theme, hue, brightness, imageIndex);
  return 0;
}

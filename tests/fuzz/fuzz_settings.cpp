// config.ini text as an attacker or a careless author might write it.
#include <cstddef>
#include <cstdint>

#include "archive/res_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream;
  stream.WriteBuffer(data, static_cast<int64_t>(size));
  TResSetupObject reader(stream);
  TResSetup settings;
  reader.ReadSettings(settings);
  // Every field is created and consistent with the presence flags.
  if (!settings.Users || !settings.Bookmarks || !settings.About || !settings.Icon) __builtin_trap();
  for (const auto& button : settings.Toolbar)
    if (button.Present != (button.Glyph != nullptr)) __builtin_trap();
  FreeSettings(settings);
  return 0;
}

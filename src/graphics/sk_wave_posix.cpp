// Without a sound system nothing is played.
#include "graphics/sk_wave.h"

bool PlatformPlaySound(const uint8_t* data, uint32_t flags) { return false; }

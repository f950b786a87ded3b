// Sounds through winmm's sndPlaySound, which reads the wave image in memory
// by its own header (SND_MEMORY).
#include <windows.h>
#include <mmsystem.h>

#include "graphics/sk_wave.h"

bool PlatformPlaySound(const uint8_t* data, uint32_t flags) {
  return sndPlaySoundA(reinterpret_cast<LPCSTR>(data), flags) != FALSE;
}

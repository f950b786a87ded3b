// Load and unload of the viewer library. Loading does no viewer work (the
// units' own start-up is static initialisation); unloading frees what the
// skin library keeps process-wide: the theme manager with its current theme
// and hidden window, and the loaded visual-style service.
#include <windows.h>

#include "skin/sk_theme.h"
#include "skin/core/sk_winapi.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // At process exit (reserved non-null) the other threads are gone and the
  // windows with them: nothing is left worth freeing.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    try {
      FreeThemeLibrary();
      ReleaseAllVisualStyles();
    } catch (...) {
      // Unloading goes on whatever happens here.
    }
  }
  return TRUE;
}

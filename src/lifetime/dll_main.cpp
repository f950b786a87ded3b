// Load and unload of the viewer library. Loading does no viewer work (the
// units' own start-up is static initialisation). Each ShowEbook call
// already takes down every window and window class it made; unloading
// frees what is left process-wide, should a run not have ended normally:
// the theme manager with its current theme and hidden window, the hidden
// windows and classes of the framework and the skin, and the loaded
// visual-style service. It runs before the units' static objects end, so
// that each unit's own release still finds its state.
#include <windows.h>

#include "forms/forms_internal.h"
#include "skin/sk_theme.h"
#include "graphics/sk_api_win.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // At process exit (reserved non-null) the other threads are gone and the
  // windows with them: nothing is left worth freeing.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    try {
      FreeThemeLibrary();
      ReleaseFrameworkResources();
      ReleaseAllVisualStyles();
    } catch (...) {
      // Unloading goes on whatever happens here.
    }
  }
  return TRUE;
}

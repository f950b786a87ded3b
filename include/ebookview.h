/*
 * ebookview.h: the viewer library's one entry point, for host programs in C,
 * C++ or any language that can call a function of a DLL.
 *
 * ebookview.dll comes in two builds: 32-bit (the usual one; e-books made with
 * bookc use it) and 64-bit, for 64-bit hosts. Link with the import library
 * of the same build (libebookview.a, or ebookview.def for other linkers), or
 * load the DLL and look up "ShowEbook" (also ordinal 1).
 */
#ifndef EBOOKVIEW_H
#define EBOOKVIEW_H

#include <windows.h>

/* How the declaration reaches the function: imported from the DLL (so that
 * its address is the library's own, not an import thunk in the host). The library
 * defines it empty for itself. */
#ifndef EBOOKVIEW_API
#define EBOOKVIEW_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Shows an e-book and returns when the reader has closed its last viewer
 * window. The whole viewer lives inside this call: it starts the book's page
 * server on 127.0.0.1 (the first free port from 5055), opens the viewer
 * window and runs the message loop of the calling thread, so call it on the
 * host's window thread.
 *
 * archive     the book's archive block (what `bookc pack` writes), in memory.
 *             It must stay valid and unchanged until ShowEbook returns: the
 *             library reads it in place, from several threads, and never
 *             writes or frees it.
 * hostWindow  the host's application window: it takes the book's icon and,
 *             while it is shown, owns the viewer windows (they stay above it
 *             and go with it). A window the host never shows owns none: each
 *             viewer window then has a taskbar button of its own. NULL is
 *             allowed (no owner).
 *
 * Errors: ShowEbook never raises anything into the host. It clears the
 * environment variable EBOOKVIEW_ERROR on entry; when the viewer could not
 * start (or stop), it sets EBOOKVIEW_ERROR to the message, as text in the
 * system's ANSI code page, before returning. Read it with
 * GetEnvironmentVariableW(L"EBOOKVIEW_ERROR", ...).
 *
 * One viewer at a time: a call while another is running (from any thread,
 * or from within the running one) returns at once with an error in
 * EBOOKVIEW_ERROR. Calls one after another are fine, also from different
 * threads: each call initialises OLE on its thread for its own length.
 * A call that ended leaves no window or window class of the library in the
 * process, so the library may be unloaded and loaded again.
 *
 * Calling convention: stdcall (WINAPI) for the 32-bit library, decorated as
 * ShowEbook@8 inside it and exported as plain "ShowEbook"; the 64-bit
 * library has the platform's one convention, which WINAPI also names there.
 */
EBOOKVIEW_API void WINAPI ShowEbook(const void* archive, HWND hostWindow);

/* Pointer type for hosts that load the library with LoadLibrary. */
typedef void(WINAPI* ShowEbookProc)(const void* archive, HWND hostWindow);

/* The environment variable through which failures are reported. */
#define EBOOKVIEW_ERROR_VARIABLE L"EBOOKVIEW_ERROR"

#ifdef __cplusplus
}
#endif

#endif /* EBOOKVIEW_H */

// Pieces the framework's units share and nobody else uses.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "graphics/sk_utils.h"

class TObject;

// The module the framework's code lives in (the library when it is one).
HINSTANCE ModuleInstance();

// Registers a window class of the framework once per process, under the
// module's own instance; later calls with the same name do nothing. The
// classes are unregistered by ReleaseFrameworkResources and when the module
// is unloaded.
void RegisterFrameworkClass(const std::wstring& name, UINT style, WNDPROC procedure);

// Units that make a process-wide window on first use (a hidden message
// window, say) register how to destroy it; ReleaseFrameworkResources runs
// every such handler, the last registered first, then destroys the
// framework's own message window and unregisters every framework class.
// A unit makes its window again when it is next needed, and registers its
// handler again then. The library calls it when its viewer ends, so that no
// window or class of the library outlives the call into it.
void AddReleaseHandler(std::function<void()> release);
void ReleaseFrameworkResources();

// Brackets a handler of the framework run from outside a window procedure
// of its own (a timer tick): released forms are destroyed only when no
// handler is running.
void EnterDispatch();
void LeaveDispatch();

// Timers on the framework's one hidden message window. tick runs on the
// window thread; what it throws goes to Application->HandleException with
// sender. Every start gets a new id, so a tick already queued for a stopped
// timer finds nothing to run.
UINT_PTR StartUtilityTimer(TObject* sender, unsigned interval, std::function<void()> tick);
void StopUtilityTimer(UINT_PTR id);

// Draws source's rectangle into dest's (scaled), leaving out the pixels of
// the transparent colour.
void DrawMasked(HDC dest, const TRect& destRect, HDC source, const TRect& sourceRect, COLORREF transparent);

// Optional platform functions of the skin library, bound at run time so that
// the library runs on every system it supports: each entry point may be
// absent, and each has a fallback that is chosen silently.
//
//   layered windows   SetLayeredWindowAttributes / UpdateLayeredWindow
//   transparent blit  msimg32 TransparentBlt, for key-colour drawing on
//                     screens of 24 bits per pixel or more
//   visual styles     uxtheme.dll, loaded with a reference count
//   monitors          the multi-monitor functions of user32
//   scroll bars       GetScrollBarInfo
//
// Windows only.
#pragma once

#include <windows.h>
#include <uxtheme.h>

struct TskPlatformFunctions {
  bool IsNT = false;        // text is drawn with the wide-character calls
  bool IsVersion4 = false;  // the transparent blit is not used

  decltype(&::SetLayeredWindowAttributes) SetLayeredWindowAttributes = nullptr;
  decltype(&::UpdateLayeredWindow) UpdateLayeredWindow = nullptr;
  bool LayeredWindows = false;

  decltype(&::TransparentBlt) TransparentBlt = nullptr;
  // TransparentBlt is present and the screen had 24 or more bits per pixel
  // when the functions were bound.
  bool UseTransparentBlt = false;

  decltype(&::MonitorFromRect) MonitorFromRect = nullptr;
  decltype(&::MonitorFromPoint) MonitorFromPoint = nullptr;
  decltype(&::MonitorFromWindow) MonitorFromWindow = nullptr;
  decltype(&::GetMonitorInfoA) GetMonitorInfoA = nullptr;
  bool MultiMonitor = false;

  decltype(&::GetScrollBarInfo) GetScrollBarInfo = nullptr;
};

// Bound on first use (which also loads the visual-style library once).
const TskPlatformFunctions& PlatformFunctions();

// The entry points of the visual-style library.
#define SK_VISUAL_STYLE_FUNCTIONS(X)                                                                             \
  X(OpenThemeData) X(CloseThemeData) X(DrawThemeBackground) X(DrawThemeText) X(GetThemeBackgroundContentRect) \
  X(GetThemeBackgroundExtent) X(GetThemePartSize) X(GetThemeTextExtent) X(GetThemeTextMetrics)                \
  X(GetThemeBackgroundRegion) X(HitTestThemeBackground) X(DrawThemeEdge) X(DrawThemeIcon)                     \
  X(IsThemePartDefined) X(IsThemeBackgroundPartiallyTransparent) X(GetThemeColor) X(GetThemeMetric)           \
  X(GetThemeString) X(GetThemeBool) X(GetThemeInt) X(GetThemeEnumValue) X(GetThemePosition) X(GetThemeFont)   \
  X(GetThemeRect) X(GetThemeMargins) X(GetThemeIntList) X(GetThemePropertyOrigin) X(SetWindowTheme)           \
  X(GetThemeFilename) X(GetThemeSysColor) X(GetThemeSysColorBrush) X(GetThemeSysBool) X(GetThemeSysSize)      \
  X(GetThemeSysFont) X(GetThemeSysString) X(GetThemeSysInt) X(IsThemeActive) X(IsAppThemed) X(GetWindowTheme) \
  X(EnableThemeDialogTexture) X(IsThemeDialogTextureEnabled) X(GetThemeAppProperties)                         \
  X(SetThemeAppProperties) X(GetCurrentThemeName) X(GetThemeDocumentationProperty)                            \
  X(DrawThemeParentBackground) X(EnableTheming)

struct TskVisualStyleFunctions {
#define SK_VISUAL_STYLE_MEMBER(name) decltype(&::name) name = nullptr;
  SK_VISUAL_STYLE_FUNCTIONS(SK_VISUAL_STYLE_MEMBER)
#undef SK_VISUAL_STYLE_MEMBER
};

// Loading is counted: each LoadVisualStyles adds one, each
// ReleaseVisualStyles takes one away, and at 0 the library is freed and every
// entry point cleared. Both are safe from any thread.
bool LoadVisualStyles();
void ReleaseVisualStyles();
// Releases until the count is 0 (library end).
void ReleaseAllVisualStyles();
int VisualStylesLoadCount();
// A snapshot of the entry points; all nullptr while the library is not
// loaded. Use it on the window thread, between a load and its release.
TskVisualStyleFunctions VisualStyles();
// The library is loaded and both IsAppThemed and IsThemeActive answer true.
// Recomputed on each load and by UpdateVisualStylesActive (call it when the
// platform reports a visual-style change).
bool VisualStylesActive();
void UpdateVisualStylesActive();

// The work area (workAreaWanted) or full rectangle of the monitor at the
// point or window; without several monitors the platform's work area (when
// wanted and available) or the whole screen.
RECT WorkAreaAt(POINT point, bool workAreaWanted);
RECT WorkAreaAt(HWND window, bool workAreaWanted);

// GetScrollBarInfo; without it, false with the bar marked invisible.
bool ScrollBarInfo(HWND window, LONG objectId, SCROLLBARINFO& info);

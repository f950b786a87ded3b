// Undo-on-exit for device contexts and GDI objects, for every drawing file
// (the window framework and the skin's device-context code): a context's
// saved state, an object made by hand, an object selected for a scope.
// Windows only (included by *_gdi.cpp / *_win.cpp files and Win32 layers).
#pragma once

#include <windows.h>

// Saves a device context's state (origin, clipping, selected objects) for
// a scope and restores it when the scope ends, however it ends.
class TSavedDC {
 public:
  explicit TSavedDC(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~TSavedDC() { RestoreDC(dc_, saved_); }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

 private:
  HDC dc_;
  int saved_;
};

// Owns one GDI object (pen, brush, font, bitmap) made by hand and deletes it
// when the scope ends. Declare it before any TSelectObject that selects it, so
// that the object has left the context before it is deleted.
template <class THandle>
class TGdiObject {
 public:
  explicit TGdiObject(THandle handle) noexcept : handle_(handle) {}
  ~TGdiObject() {
    if (handle_ != nullptr) DeleteObject(handle_);
  }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  THandle Get() const noexcept { return handle_; }

 private:
  THandle handle_;
};
using TGdiPen = TGdiObject<HPEN>;
using TGdiBrush = TGdiObject<HBRUSH>;
using TGdiFont = TGdiObject<HFONT>;

inline TGdiPen SolidPen(COLORREF colour, int width = 1) { return TGdiPen(CreatePen(PS_SOLID, width, colour)); }
inline TGdiBrush SolidBrush(COLORREF colour) { return TGdiBrush(CreateSolidBrush(colour)); }

// Selects an object into a device context for a scope and selects back what
// was there before when the scope ends. A null object selects nothing.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ object) noexcept
      : dc_(dc), previous_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
  ~TSelectObject() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
  }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

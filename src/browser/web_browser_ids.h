// Dispatch ids the container and the plain browser share: the web-browser
// control's properties (ids of its type library, which no platform header
// names), its events (exdispid.h) and the ambient property the control
// reads its download-control flags from.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <exdispid.h>

inline constexpr DISPID kDispidApplication = 200;
inline constexpr DISPID kDispidDocument = 203;
inline constexpr DISPID kDispidLocationName = 210;
inline constexpr DISPID kDispidLocationURL = 211;

inline constexpr DISPID kDispidAmbientDlControl = -5512;

// The header and footer fields of the browser's own page-setup dialog (the
// plain browser adds them to the platform's dialog under the same ids).
inline constexpr int kPageSetupHeaderId = 8147;
inline constexpr int kPageSetupFooterId = 8149;

// The themed controls as the viewer uses them, each family in its states,
// painted by the controls themselves in a window that is never shown.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "skin/core/sk_bitmap.h"

struct TControlShot {
  std::wstring Label;
  std::unique_ptr<TskBitmap> Picture;
};

// Pictures of the controls with the current theme (none: the classic look).
std::vector<TControlShot> ControlShots();

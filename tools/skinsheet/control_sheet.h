// The themed controls and the skinned window frame as the viewer uses
// them, each in its states, painted by themselves.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "graphics/sk_bitmap.h"

struct TControlShot {
  std::wstring Label;
  std::unique_ptr<TskBitmap> Picture;
};

// Pictures of the controls with the current theme (none: the classic look).
std::vector<TControlShot> ControlShots();
// The skinned window frame active, inactive, rolled up and maximised.
std::vector<TControlShot> FrameShots();

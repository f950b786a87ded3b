// The standard effect procedures, registered in their fixed order. The order
// is part of the system's behaviour: random selection draws an index into
// it, and the selectable-name list follows it.
#pragma once

#include "graphics/sk_effect.h"

void RegisterStandardEffects(TskProcList& list);

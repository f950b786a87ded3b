// What the two platform halves of the socket layer share.
#pragma once

#include <chrono>

namespace socket_detail {

using TClock = std::chrono::steady_clock;

// Milliseconds left until deadline for a wait: -1 without a deadline, 0 when
// it has passed.
int Remaining(bool limited, TClock::time_point deadline);

}  // namespace socket_detail

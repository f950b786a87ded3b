#include <signal.h>
#include <time.h>

#include <cerrno>

#include "tools/bookserve/stop_signal.h"

namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

TStopSignal::TStopSignal() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TStopSignal::~TStopSignal() = default;

bool TStopSignal::Wait(int milliseconds) {
  const sigset_t set = StopSignals();
  if (milliseconds < 0) {
    int signal = 0;
    return sigwait(&set, &signal) == 0;
  }
  timespec limit{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000};
  for (;;) {
    if (sigtimedwait(&set, nullptr, &limit) > 0) return true;
    // An unrelated signal ends the wait early; waiting the full time again
    // only delays the next look at the folder a little.
    if (errno != EINTR) return false;
  }
}

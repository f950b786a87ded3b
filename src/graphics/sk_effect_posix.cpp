// The engine's host without a window system: the monotonic clock serves as
// the performance counter, and the shared timer is kept by the message pump
// itself, which waits for the next 20 ms boundary and ticks. This is enough
// for RunEffect in a native program; nothing else waits on the timer here.
#include <chrono>
#include <thread>

#include "graphics/sk_effect.h"

int64_t PerformanceCounter() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t PerformanceFrequency() { return 1000000000; }

namespace {

class TPortableEffectHost final : public TskEffectHost {
 public:
  explicit TPortableEffectHost(TskEffectEngine& engine) : engine_(engine) {}

  void SetTimerEnabled(bool enabled) override {
    if (enabled && !enabled_) nextTick_ = std::chrono::steady_clock::now() + kInterval;
    enabled_ = enabled;
  }

  void StartStopwatch() override { stopwatch_.Start(); }

  double StopStopwatch() override {
    stopwatch_.Stop();
    return stopwatch_.Elapsed();
  }

  bool ProcessMessages() override {
    if (!enabled_) return true;
    std::this_thread::sleep_until(nextTick_);
    nextTick_ = std::max(nextTick_ + kInterval, std::chrono::steady_clock::now());
    engine_.Tick();
    return true;
  }

 private:
  static constexpr std::chrono::milliseconds kInterval{TskEffectEngine::kTickInterval};

  TskEffectEngine& engine_;
  TskTimer stopwatch_;
  bool enabled_ = false;
  std::chrono::steady_clock::time_point nextTick_;
};

}  // namespace

std::unique_ptr<TskEffectHost> CreatePlatformEffectHost(TskEffectEngine& engine) {
  return std::make_unique<TPortableEffectHost>(engine);
}

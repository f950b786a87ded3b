// The engine's host on Windows: the performance counter, one thread timer
// (SetTimer without a window, delivered as WM_TIMER through the GUI thread's
// message loop) for all animations, and the message pump of RunEffect.
#include <windows.h>

#include <utility>

#include "graphics/sk_effect.h"

int64_t PerformanceCounter() {
  LARGE_INTEGER value{};
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

int64_t PerformanceFrequency() {
  LARGE_INTEGER value{};
  QueryPerformanceFrequency(&value);
  return value.QuadPart;
}

namespace {

std::function<void(const std::exception&)>& ExceptionHandler() {
  static std::function<void(const std::exception&)> handler;
  return handler;
}

void ReportTickFailure(const std::exception& failure) {
  if (ExceptionHandler()) {
    ExceptionHandler()(failure);
    return;
  }
  MessageBoxA(nullptr, failure.what(), nullptr, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

// The engine whose timer is running. The process has one platform host,
// made by the process's engine.
TskEffectEngine* timerEngine = nullptr;

void CALLBACK EffectTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  if (timerEngine == nullptr) return;
  // Nothing may unwind into the platform's message dispatch.
  try {
    timerEngine->Tick();
  } catch (const std::exception& failure) {
    ReportTickFailure(failure);
  } catch (...) {
    ReportTickFailure(Exception("Transition effect failed"));
  }
}

class TWin32EffectHost final : public TskEffectHost {
 public:
  explicit TWin32EffectHost(TskEffectEngine& engine) : engine_(engine) {}
  ~TWin32EffectHost() override { SetTimerEnabled(false); }

  void SetTimerEnabled(bool enabled) override {
    if (enabled && timerId_ == 0) {
      timerEngine = &engine_;
      timerId_ = SetTimer(nullptr, 0, TskEffectEngine::kTickInterval, &EffectTimerProc);
    } else if (!enabled && timerId_ != 0) {
      KillTimer(nullptr, timerId_);
      timerId_ = 0;
    }
  }

  void StartStopwatch() override { stopwatch_.Start(); }

  double StopStopwatch() override {
    stopwatch_.Stop();
    return stopwatch_.Elapsed();
  }

  // Dispatches what is pending and returns at once. WM_QUIT is put back for
  // the application's own loop, which is ending.
  bool ProcessMessages() override {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return false;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return true;
  }

 private:
  TskEffectEngine& engine_;
  TskTimer stopwatch_;
  UINT_PTR timerId_ = 0;
};

}  // namespace

std::unique_ptr<TskEffectHost> CreatePlatformEffectHost(TskEffectEngine& engine) {
  return std::make_unique<TWin32EffectHost>(engine);
}

void SetEffectExceptionHandler(std::function<void(const std::exception&)> handler) {
  ExceptionHandler() = std::move(handler);
}

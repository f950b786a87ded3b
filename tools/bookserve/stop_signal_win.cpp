#include <windows.h>

#include "tools/bookserve/stop_signal.h"

namespace {

HANDLE stopEvent = nullptr;
HANDLE stoppedEvent = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  SetEvent(stopEvent);
  // The process ends when this returns after a closed console: the main
  // thread gets a moment to stop the server first.
  if (event == CTRL_CLOSE_EVENT) WaitForSingleObject(stoppedEvent, 3000);
  return TRUE;
}

}  // namespace

TStopSignal::TStopSignal() {
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  stoppedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

TStopSignal::~TStopSignal() {
  SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  SetEvent(stoppedEvent);
}

bool TStopSignal::Wait(int milliseconds) {
  return WaitForSingleObject(stopEvent, milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds)) ==
         WAIT_OBJECT_0;
}

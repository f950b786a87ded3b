// Ctrl-C (and SIGTERM, or closing the console window on Windows) as
// something the main thread waits for, with a time limit so that it can do
// other work in between (watching a book folder).
#pragma once

class TStopSignal {
 public:
  // Takes the stop signals away from their default handling. Create it
  // before any other thread starts: on POSIX systems threads inherit the
  // blocked signals, so that only Wait sees them.
  TStopSignal();
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  // Waits up to milliseconds (negative: without a limit); true when a stop
  // was asked for.
  bool Wait(int milliseconds);
};

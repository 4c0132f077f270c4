// The map's clock. A map opens still: the clock has not started. Space
// starts it (from 0 the first time) and stops it where it stands; --time
// sets it, stopped. Reloads and drops keep it as it is.
#pragma once

#include "platform/win32.h"
#include "view/motion.h"

struct Clock {
  bool started;
  bool running;
  double seconds;  // where it stood when it last started or stopped
  DWORD since;     // GetTickCount() when it last started running
};
extern Clock MapClock;

// Space, at `now` (GetTickCount()): runs the clock on from where it stands,
// or stops it there.
void StartOrStopClock(DWORD now);

// The time the clock shows at `now`.
MapTime ClockTime(DWORD now);

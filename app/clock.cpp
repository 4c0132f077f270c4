#include "app/clock.h"

Clock MapClock;

void StartOrStopClock(DWORD now) {
  MapClock.seconds = ClockTime(now).seconds;
  MapClock.started = true;
  MapClock.running = !MapClock.running;
  MapClock.since = now;
}

MapTime ClockTime(DWORD now) {
  // Unsigned, the difference is right across GetTickCount's wrap.
  const double run = MapClock.running ? double(DWORD(now - MapClock.since)) / 1000 : 0;
  return MapTime{MapClock.started, MapClock.seconds + run};
}

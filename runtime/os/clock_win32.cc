// The machine's clocks on Windows: local time, the performance counter
// (monotonic) and Sleep.
#include <windows.h>

#include <cmath>

#include "runtime/os/clock.h"

namespace rt::os {

WallTime SystemClock::now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  WallTime w;
  w.date = *text::Date::from_ymd(st.wYear, st.wMonth, st.wDay);
  w.seconds_since_midnight = st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
  return w;
}

double SystemClock::monotonic() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  ::QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / frequency;
}

void SystemClock::sleep(double seconds) {
  if (seconds <= 0) return;
  // Sleep takes whole milliseconds; round up so a pause is never shortened
  // to nothing.
  ::Sleep(static_cast<DWORD>(std::ceil(seconds * 1000.0)));
}

}  // namespace rt::os

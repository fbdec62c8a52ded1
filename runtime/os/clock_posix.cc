// The machine's clocks on POSIX systems.
#include <time.h>

#include "runtime/os/clock.h"

namespace rt::os {

WallTime SystemClock::now() {
  const time_t t = ::time(nullptr);
  struct tm lt;
  ::localtime_r(&t, &lt);
  WallTime w;
  w.date = *text::Date::from_ymd(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday);
  w.seconds_since_midnight = lt.tm_hour * 3600 + lt.tm_min * 60 + lt.tm_sec;
  return w;
}

double SystemClock::monotonic() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void SystemClock::sleep(double seconds) {
  if (seconds <= 0) return;
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
  while (::nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace rt::os

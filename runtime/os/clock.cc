#include "runtime/os/clock.h"

#include <time.h>

#include <cmath>

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

WallTime VirtualClock::now() { return wall_; }

void VirtualClock::advance(double seconds) {
  if (seconds <= 0) return;
  elapsed_ += seconds;
  fraction_ += seconds;
  const double whole = std::floor(fraction_);
  fraction_ -= whole;
  long total = wall_.seconds_since_midnight + static_cast<long>(whole);
  wall_.date = wall_.date.plus_days(static_cast<int>(total / 86400));
  wall_.seconds_since_midnight = static_cast<int>(total % 86400);
}

Clock& system_clock() {
  static SystemClock clock;
  return clock;
}

}  // namespace rt::os

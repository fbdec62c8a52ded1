// The virtual clock and the machine's clock object; the machine's clocks
// themselves are in clock_posix.cc and clock_win32.cc.
#include "runtime/os/clock.h"

#include <cmath>

namespace rt::os {

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

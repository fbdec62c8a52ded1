// Time for the program: the wall clock (dates and times stamped into tables
// and files), a monotonic clock (pauses, time-outs) and sleeping.  The
// headless console replaces it with a virtual clock so tests never sleep.
#pragma once

#include <cstdint>

#include "runtime/text/date.h"

namespace rt::os {

struct WallTime {
  text::Date date;
  int seconds_since_midnight = 0;  // 0 .. 86399
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual WallTime now() = 0;
  // Seconds since an arbitrary start; never goes back.
  virtual double monotonic() = 0;
  virtual void sleep(double seconds) = 0;
};

// The machine's clocks (local time).
class SystemClock final : public Clock {
 public:
  WallTime now() override;
  double monotonic() override;
  void sleep(double seconds) override;
};

// A clock that only moves when told to: sleep() advances it.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(WallTime start) : wall_(start) {}
  WallTime now() override;
  double monotonic() override { return elapsed_; }
  void sleep(double seconds) override { advance(seconds); }
  void advance(double seconds);

 private:
  WallTime wall_;
  double elapsed_ = 0;
  double fraction_ = 0;
};

Clock& system_clock();

}  // namespace rt::os

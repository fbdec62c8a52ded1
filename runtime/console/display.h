// The console back end of the system the program runs on: the terminal
// (ncursesw) on POSIX systems, the Windows console on Windows.  The build
// picks the one that fits (display_posix.cc, console_win32.cc).
#pragma once

#include <memory>

#include "runtime/console/backend.h"
#include "runtime/os/env.h"

namespace rt::con {

struct DisplayOptions {
  // Closing the window, a hang-up or a termination request ends the
  // program at its next wait for a key, the display given back
  // (runtime/os/stop_signals.h).
  bool restore_on_signals = true;
  // The clock and commands; nullptr = os::Env::Default().
  os::Env* env = nullptr;
};

// Throws std::runtime_error when there is no display to take.
std::unique_ptr<Backend> make_display(DisplayOptions options = {});

}  // namespace rt::con

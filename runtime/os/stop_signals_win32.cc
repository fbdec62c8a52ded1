// Console control events on Windows.  Closing the console window, logging
// off or shutting down count as a hang-up (1), Ctrl+Break as a termination
// request (15), so the exit status is the same as after SIGHUP or SIGTERM
// on POSIX systems.  The handler only notes the event; the console ends the
// program at its next wait for a key, the writes in progress finished.
#include <windows.h>

#include <atomic>

#include "runtime/os/stop_signals.h"

namespace rt::os {

namespace {

std::atomic<int> g_stop{0};

// How long the handler holds the system's close back: the program ends
// itself long before (it looks at the note at least every 0.2 s); Windows
// ends it anyway after a few seconds.
constexpr DWORD kHoldMs = 30000;

BOOL WINAPI note_stop(DWORD event) {
  switch (event) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: g_stop = 1; break;
    case CTRL_BREAK_EVENT: g_stop = 15; break;
    default: return FALSE;  // Ctrl+C: a key for the console, not an event
  }
  // Returning would let Windows end the process at once; the main thread
  // ends it instead once it has finished what it was writing.
  if (event != CTRL_BREAK_EVENT) ::Sleep(kHoldMs);
  return TRUE;
}

}  // namespace

void install_stop_signals() { ::SetConsoleCtrlHandler(note_stop, TRUE); }

int stop_signal() { return g_stop; }

}  // namespace rt::os

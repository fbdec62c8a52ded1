// Hang-up and termination (SIGHUP: the terminal window was closed; SIGTERM:
// the system asks the program to end).  The handler only notes the signal;
// the console ends the program at its next wait for a key, so the writes in
// progress are finished first and the terminal is given back in order.
#pragma once

namespace rt::os {

// Installs the handler for SIGHUP and SIGTERM.  Nothing else runs inside it.
void install_stop_signals();

// The signal that asked the program to end, 0 while none has.
int stop_signal();

}  // namespace rt::os

#include "runtime/os/stop_signals.h"

#include <csignal>

namespace rt::os {

namespace {

volatile std::sig_atomic_t g_stop = 0;

// Async-signal-safe: one store to a sig_atomic_t.
extern "C" void note_stop(int sig) { g_stop = sig; }

}  // namespace

void install_stop_signals() {
  struct sigaction sa {};
  sa.sa_handler = note_stop;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no restart: a blocking read returns and sees the note
  sigaction(SIGHUP, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

int stop_signal() { return g_stop; }

}  // namespace rt::os

// The terminal back end: the 25 x 80 grid on a text terminal through
// ncursesw, in UTF-8, with the 16 colours, the keyboard (function keys,
// Alt and Ctrl combinations, the keypad) and the mouse.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "runtime/console/backend.h"
#include "runtime/os/env.h"

namespace rt::con {

struct TerminalOptions {
  std::FILE* in = nullptr;   // nullptr: standard input
  std::FILE* out = nullptr;  // nullptr: standard output
  std::string term;          // "" : $TERM
  // SIGHUP and SIGTERM end the program at its next wait for a key, with
  // the terminal restored (see runtime/os/stop_signals.h).
  bool restore_on_signals = true;
  // $TERM, the clock and commands; nullptr = os::Env::Default().
  os::Env* env = nullptr;
};

class TerminalBackend final : public Backend {
 public:
  // Throws std::runtime_error when the terminal cannot be set up.
  explicit TerminalBackend(TerminalOptions options = {});
  ~TerminalBackend() override;

  void present(Screen& screen, const CursorState& cursor) override;
  std::optional<int> read_event(double timeout) override;
  void tone(double freq, double ticks) override;
  int run_command(const std::string& cmd) override;
  void apply_settings(const ConsoleSettings& settings) override;
  std::vector<std::string> kept_settings(const ConsoleSettings& settings) const override;
  void shutdown() override;
  os::Clock& clock() override { return env_.clock(); }

  // Whether the terminal shows a window title set by the program.
  bool has_title() const;

  struct Impl;

 private:
  os::Env& env_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace rt::con

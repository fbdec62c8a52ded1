// A back end for tests: the grid stays in memory, keys come from a script,
// time is a virtual clock (waits advance it, nothing sleeps), tones and
// commands are recorded.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/console/backend.h"
#include "runtime/os/env.h"

namespace rt::con {

// Raised when a program waits without limit for a key and the script has
// none left: a test that forgot a key fails instead of hanging.
class ScriptExhausted : public std::runtime_error {
 public:
  ScriptExhausted() : std::runtime_error("headless console: the key script is empty and the program waits for a key") {}
};

struct RecordedTone {
  double freq;
  double ticks;
};

class HeadlessBackend final : public Backend {
 public:
  HeadlessBackend();

  // Script: keys, pauses (seconds without a key) and checkpoints run when
  // the program reads up to that point.
  HeadlessBackend& key(int code);
  HeadlessBackend& keys(std::string_view cp850_text);
  HeadlessBackend& pause(double seconds);
  HeadlessBackend& then(std::function<void()> fn);
  std::size_t pending() const { return script_.size(); }

  const std::vector<RecordedTone>& tones() const { return tones_; }
  const std::vector<std::string>& commands() const { return commands_; }
  // Status __RUN reports for recorded commands.
  void set_command_status(int status) { command_status_ = status; }
  // Runs commands for real through `env` (its interpreter) instead.
  void set_run_commands(bool run, os::Env& env = os::Env::Default()) {
    run_commands_ = run;
    command_env_ = &env;
  }
  int presents() const { return presents_; }
  bool is_shut_down() const { return shut_down_; }
  const ConsoleSettings& last_settings() const { return settings_; }
  os::VirtualClock& virtual_clock() { return clock_; }

  void present(Screen& screen, const CursorState& cursor) override;
  std::optional<int> read_event(double timeout) override;
  void tone(double freq, double ticks) override;
  int run_command(const std::string& cmd) override;
  void apply_settings(const ConsoleSettings& settings) override { settings_ = settings; }
  std::vector<std::string> kept_settings(const ConsoleSettings& settings) const override;
  void shutdown() override { shut_down_ = true; }
  os::Clock& clock() override { return clock_; }

 private:
  struct Step {
    int key = 0;
    double pause = 0;  // > 0: no key for that long
    std::function<void()> check;
  };
  std::deque<Step> script_;
  std::vector<RecordedTone> tones_;
  std::vector<std::string> commands_;
  ConsoleSettings settings_;
  os::VirtualClock clock_;
  int command_status_ = 0;
  bool run_commands_ = false;
  os::Env* command_env_ = &os::Env::Default();
  int presents_ = 0;
  bool shut_down_ = false;
};

}  // namespace rt::con

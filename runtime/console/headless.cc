#include "runtime/console/headless.h"

#include <algorithm>

#include "runtime/os/env.h"

namespace rt::con {

HeadlessBackend::HeadlessBackend()
    : clock_(os::WallTime{*text::Date::from_ymd(2026, 12, 8), 9 * 3600}) {}

HeadlessBackend& HeadlessBackend::key(int code) {
  script_.push_back(Step{code, 0, {}});
  return *this;
}

HeadlessBackend& HeadlessBackend::keys(std::string_view cp850_text) {
  for (char c : cp850_text) key(static_cast<unsigned char>(c));
  return *this;
}

HeadlessBackend& HeadlessBackend::pause(double seconds) {
  if (seconds > 0) script_.push_back(Step{0, seconds, {}});
  return *this;
}

HeadlessBackend& HeadlessBackend::then(std::function<void()> fn) {
  script_.push_back(Step{0, 0, std::move(fn)});
  return *this;
}

void HeadlessBackend::present(Screen& screen, const CursorState&) {
  ++presents_;
  screen.clear_dirty();
}

std::optional<int> HeadlessBackend::read_event(double timeout) {
  double left = timeout;  // negative: no limit
  while (!script_.empty()) {
    Step& step = script_.front();
    if (step.check) {
      auto fn = std::move(step.check);
      script_.pop_front();
      fn();
      continue;
    }
    if (step.pause > 0) {
      if (left >= 0 && left < step.pause) {
        clock_.advance(left);
        step.pause -= left;
        return std::nullopt;
      }
      clock_.advance(step.pause);
      if (left >= 0) left -= step.pause;
      script_.pop_front();
      continue;
    }
    const int code = step.key;
    script_.pop_front();
    return code;
  }
  if (left < 0) throw ScriptExhausted();
  clock_.advance(left);
  return std::nullopt;
}

void HeadlessBackend::tone(double freq, double ticks) {
  tones_.push_back(RecordedTone{freq, ticks});
  clock_.advance(std::max(ticks, 0.0) / 18.2);
}

int HeadlessBackend::run_command(const std::string& cmd) {
  commands_.push_back(cmd);
  return run_commands_ ? command_env_->run_command(cmd) : command_status_;
}

std::vector<std::string> HeadlessBackend::kept_settings(const ConsoleSettings& settings) const {
  std::vector<std::string> out;
  if (!settings.font_face.empty() || settings.font_height > 0) out.push_back("font");
  if (!settings.icon_file.empty()) out.push_back("icon");
  if (!settings.close_button) out.push_back("close button disabled");
  if (settings.alt_enter) out.push_back("Alt+Enter full screen");
  return out;
}

}  // namespace rt::con

#include "runtime/console/console.h"

#include <algorithm>
#include <cstdio>

#include "runtime/os/env.h"
#include "runtime/os/stop_signals.h"

namespace rt::con {

namespace {

constexpr const char* kDefaultColors = "W/N,N/W,N,N,N/W";
// The type-ahead buffer holds at most this many keys; a runaway __KEYBOARD
// cannot make it grow without end.
constexpr std::size_t kTypeaheadLimit = 16384;
constexpr int kCoordLimit = 100000;

int bound(int v) { return std::clamp(v, -kCoordLimit, kCoordLimit); }

// The mask bit that lets a mouse event through.
int mouse_bit(int code) {
  switch (code) {
    case key::kMouseMove:
    case key::kMouseMoveFrame: return 1;
    case key::kLeftDown:
    case key::kLeftDouble: return 2;
    case key::kLeftUp: return 4;
    case key::kRightDown:
    case key::kRightDouble: return 8;
    case key::kRightUp: return 16;
    default: return 64;  // wheel and the rest
  }
}

}  // namespace

Console::Console(std::unique_ptr<Backend> backend)
    : backend_(std::move(backend)), colors_(ColorSet::defaults()), color_text_(kDefaultColors) {
  screen_.fill(0, 0, screen_.rows() - 1, screen_.cols() - 1, ' ', colors_.standard());
  backend_->apply_settings(settings_);
}

Console::~Console() { shutdown(); }

void Console::shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  backend_->shutdown();
}

bool Console::set_mode(int rows, int cols) { return rows == screen_.rows() && cols == screen_.cols(); }

void Console::set_title(std::string title) {
  settings_.title = std::move(title);
  backend_->apply_settings(settings_);
}

void Console::set_font_width(int pixels) {
  if (pixels < 1) return;
  settings_.font_width = pixels;
  apply_font();
}

void Console::set_font_height(int pixels) {
  if (pixels < 1) return;
  settings_.font_height = pixels;
  apply_font();
}

// A display with a font of its own may round the cell to a size it has: the
// size read back is what the settings then hold.
void Console::apply_font() {
  backend_->apply_settings(settings_);
  if (const auto cell = backend_->font_cell()) {
    settings_.font_width = cell->first;
    settings_.font_height = cell->second;
  }
}

void Console::set_font_face(std::string face) {
  settings_.font_face = std::move(face);
  backend_->apply_settings(settings_);
}

bool Console::set_icon(std::string file, os::Env& env) {
  try {
    env.open_file(file, os::OpenMode::ReadOnly);
    settings_.icon_loaded = true;
  } catch (const os::IoError&) {
    settings_.icon_loaded = false;
  }
  settings_.icon_file = settings_.icon_loaded ? std::move(file) : std::string();
  backend_->apply_settings(settings_);
  return settings_.icon_loaded;
}

void Console::set_close_button(bool enabled) {
  settings_.close_button = enabled;
  backend_->apply_settings(settings_);
}

void Console::set_alt_enter(bool enabled) {
  settings_.alt_enter = enabled;
  backend_->apply_settings(settings_);
}

void Console::set_sound(bool on) {
  settings_.sound = on;
  backend_->apply_settings(settings_);
}

std::string Console::set_color(std::string_view colors) {
  std::string previous = color_text_;
  std::string clean;
  for (char c : colors) {
    if (c != '"' && c != '\'') clean += c;
  }
  bool blank = true;
  for (char c : clean) {
    if (c != ' ') blank = false;
  }
  if (blank) {
    colors_ = ColorSet::defaults();
    color_text_ = kDefaultColors;
  } else {
    colors_.apply(clean);
    color_text_ = clean;
  }
  return previous;
}

void Console::devout(std::string_view text) { devout(text, colors_.standard()); }

void Console::devout(std::string_view text, std::string_view color) {
  devout(text, color.empty() ? colors_.standard() : parse_color_pair(color));
}

void Console::devout(std::string_view text, Attr attr) {
  screen_.put(cursor_.row, cursor_.col, text, attr);
  cursor_.col = bound(cursor_.col + static_cast<int>(std::min<std::size_t>(text.size(), kCoordLimit)));
}

void Console::setpos(int r, int c) {
  cursor_.row = bound(r);
  cursor_.col = bound(c);
}

void Console::dispbox(int top, int left, int bottom, int right, int frame, std::string_view color) {
  dispbox(top, left, bottom, right, std::string_view(frame == 2 ? kFrameDouble : kFrameSingle, 8), color);
}

void Console::dispbox(int top, int left, int bottom, int right, std::string_view frame, std::string_view color) {
  const Attr attr = color.empty() ? colors_.standard() : parse_color_pair(color);
  screen_.box(bound(top), bound(left), bound(bottom), bound(right), frame, attr);
  setpos(top + 1, left + 1);
}

void Console::scroll(int top, int left, int bottom, int right, int v, int h) {
  screen_.scroll(top, left, bottom, right, v, h, colors_.standard());
}

std::string Console::savescreen(int top, int left, int bottom, int right) const {
  return screen_.save(top, left, bottom, right);
}

void Console::restscreen(int top, int left, int bottom, int right, std::string_view saved) {
  screen_.restore(top, left, bottom, right, saved);
}

std::string Console::xsavescreen() const { return screen_.save(0, 0, screen_.rows() - 1, screen_.cols() - 1); }

void Console::xrestscreen(std::string_view saved) {
  screen_.restore(0, 0, screen_.rows() - 1, screen_.cols() - 1, saved);
}

int Console::setcursor(int shape) {
  const int previous = cursor_.shape;
  if (shape >= 0 && shape <= 4) cursor_.shape = shape;
  return previous;
}

void Console::colorwin(int top, int left, int bottom, int right, std::string_view color) {
  screen_.recolor(top, left, bottom, right, parse_color_pair(color));
}

void Console::present() { backend_->present(screen_, cursor_); }

// ---------------------------------------------------------------- keyboard

bool Console::allowed(int code) const {
  if (!key::is_mouse(code)) return true;
  return (event_mask_ & mouse_bit(code)) != 0;
}

void Console::push_typeahead(int code) {
  if (typeahead_.size() < kTypeaheadLimit) typeahead_.push_back(code);
}

// One event from the display, filtered by the event mask.
std::optional<int> Console::pull(double timeout) {
  os::Clock& clk = backend_->clock();
  const double start = clk.monotonic();
  while (true) {
    double left = timeout;
    if (timeout > 0) {
      left = timeout - (clk.monotonic() - start);
      if (left < 0) left = 0;
    }
    auto ev = backend_->read_event(left);
    if (!ev) return std::nullopt;
    if (*ev != 0 && allowed(*ev)) return ev;
    if (timeout == 0) {
      // Only what is already there: keep draining filtered events.
      continue;
    }
    if (timeout > 0 && clk.monotonic() - start >= timeout) return std::nullopt;
  }
}

bool Console::key_pending() {
  while (!typeahead_.empty() && !allowed(typeahead_.front())) typeahead_.pop_front();
  if (!typeahead_.empty()) return true;
  if (auto ev = pull(0)) {
    push_typeahead(*ev);
    return true;
  }
  return false;
}

void Console::stop_if_asked() {
  if (const int sig = os::stop_signal()) quit(128 + sig);
}

int Console::inkey() {
  stop_if_asked();
  present();
  if (!key_pending()) return 0;
  const int k = typeahead_.front();
  typeahead_.pop_front();
  lastkey_ = k;
  return k;
}

int Console::inkey(double seconds) {
  stop_if_asked();
  present();
  if (key_pending()) return inkey();
  auto ev = pull(seconds <= 0 ? -1.0 : seconds);
  if (!ev) {
    stop_if_asked();
    return 0;
  }
  lastkey_ = *ev;
  return *ev;
}

void Console::keyboard(std::string_view cp850_text) {
  typeahead_.clear();
  for (char c : cp850_text) push_typeahead(static_cast<unsigned char>(c));
}

void Console::keyboard_codes(const std::vector<int>& codes) {
  typeahead_.clear();
  for (int c : codes) push_typeahead(c);
}

void Console::push_front(const std::vector<int>& codes) {
  for (auto it = codes.rbegin(); it != codes.rend(); ++it) typeahead_.push_front(*it);
}

void Console::push_back(int code) { push_typeahead(code); }

HotkeyAction Console::set_key(int code, HotkeyAction action) {
  HotkeyAction previous = hotkey(code);
  if (action) {
    hotkeys_[code] = std::move(action);
  } else {
    hotkeys_.erase(code);
  }
  return previous;
}

HotkeyAction Console::hotkey(int code) const {
  auto it = hotkeys_.find(code);
  return it == hotkeys_.end() ? HotkeyAction{} : it->second;
}

int Console::wait_key_for_form() {
  while (true) {
    const int k = inkey(0.0);
    if (k == 0) continue;
    auto it = hotkeys_.find(k);
    if (it == hotkeys_.end()) return k;
    // A copy: the action may replace or remove its own entry.
    HotkeyAction action = it->second;
    action(k);
  }
}

int Console::set_event_mask(int mask) {
  const int previous = event_mask_;
  event_mask_ = mask;
  return previous;
}

// ------------------------------------------------------ sound and commands

void Console::tone(double freq, double ticks) {
  present();
  backend_->tone(freq, ticks);
}

int Console::run(const std::string& cmd) {
  present();
  const int status = backend_->run_command(cmd);
  screen_.mark_all_dirty();
  present();
  return status;
}

void Console::quit(int status) {
  setcursor(1);
  present();
  shutdown();
  throw QuitRequest{status};
}

void set_up_window(Console& con, const std::string& title) {
  con.set_mode(25, 80);
  con.set_font_width(11);
  con.set_font_height(22);
  con.set_font_face("Lucida Console");
  con.scroll();
  con.setpos(0, 0);
  con.set_title(title);
  con.set_close_button(false);
  con.set_alt_enter(true);
}

}  // namespace rt::con

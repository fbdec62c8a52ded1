// The 25 x 80 console of a program run: screen grid and cursor, colours,
// type-ahead buffer and hotkeys, tones, commands and quitting.  One Console
// per run; the field editor (get.h) and the browse (browse.h) work on it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "runtime/console/backend.h"
#include "runtime/console/color.h"
#include "runtime/console/keys.h"
#include "runtime/console/screen.h"
#include "runtime/os/env.h"

namespace rt::con {

// Thrown by Console::quit() once the display has been given back; the
// program's main catches it and returns the status.  It is deliberately not
// a std::exception, so handlers for errors do not swallow it.
struct QuitRequest {
  int status = 0;
};

// A hotkey's action; it gets the key code that called it.
using HotkeyAction = std::function<void(int key)>;
using HotkeyTable = std::map<int, HotkeyAction>;

class Form;

class Console {
 public:
  explicit Console(std::unique_ptr<Backend> backend);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  Backend& backend() { return *backend_; }
  Screen& screen() { return screen_; }
  const Screen& screen() const { return screen_; }

  // --- settings ---------------------------------------------------------
  // Only 25 x 80 is offered; false for any other size.
  bool set_mode(int rows, int cols);
  const ConsoleSettings& settings() const { return settings_; }
  void set_title(std::string title);
  // Cell sizes below 1 pixel are ignored (the value read back stays); a
  // display that rounds the cell to a size of its font reads that size back.
  void set_font_width(int pixels);
  void set_font_height(int pixels);
  int font_width() const { return settings_.font_width; }
  int font_height() const { return settings_.font_height; }
  void set_font_face(std::string face);
  // Records the icon file, looked for through `env`; false when the file
  // cannot be read (the window then keeps no icon).
  bool set_icon(std::string file, os::Env& env = os::Env::Default());
  void set_close_button(bool enabled);
  void set_alt_enter(bool enabled);
  void set_confirm(bool on) { settings_.confirm = on; }
  void set_century(bool on) { settings_.century = on; }
  void set_date_window(text::DateWindow w) { settings_.date_window = w; }
  void set_sound(bool on);
  // Esc in forms (the field editor); enabled again by the callers that
  // disable it.
  void set_escape_in_forms(bool on) { settings_.escape_in_forms = on; }
  // Insert or overwrite while typing in fields (the Ins key toggles it).
  bool insert_mode() const { return insert_mode_; }
  void set_insert_mode(bool on) { insert_mode_ = on; }
  // What the back end keeps without showing (font, icon, ...).
  std::vector<std::string> kept_settings() const { return backend_->kept_settings(settings_); }

  // --- colours ----------------------------------------------------------
  // SETCOLOR: applies a colour string ("" resets to the defaults) and
  // returns the previous one.
  std::string set_color(std::string_view colors);
  const std::string& color() const { return color_text_; }
  void reset_colors() { set_color(""); }
  const ColorSet& colors() const { return colors_; }
  Attr standard() const { return colors_.standard(); }

  // --- output -----------------------------------------------------------
  void devpos(int r, int c) { setpos(r, c); }
  void devout(std::string_view text);
  void devout(std::string_view text, std::string_view color);
  void devout(std::string_view text, Attr attr);
  // Writes at (r, c) without moving the cursor.
  void put(int r, int c, std::string_view text, Attr attr) { screen_.put(r, c, text, attr); }
  void setpos(int r, int c);
  int row() const { return cursor_.row; }
  int col() const { return cursor_.col; }
  // DISPBOX with 1 (single line) or 2 (double line).
  void dispbox(int top, int left, int bottom, int right, int frame, std::string_view color = {});
  // DISPBOX with 8 border characters and an optional fill character.
  void dispbox(int top, int left, int bottom, int right, std::string_view frame, std::string_view color = {});
  void scroll() { scroll(0, 0, screen_.rows() - 1, screen_.cols() - 1); }
  void scroll(int top, int left, int bottom, int right, int v = 0, int h = 0);
  std::string savescreen(int top, int left, int bottom, int right) const;
  void restscreen(int top, int left, int bottom, int right, std::string_view saved);
  std::string xsavescreen() const;
  void xrestscreen(std::string_view saved);
  // 0 hidden, 1 normal, ...; returns the previous shape.
  int setcursor(int shape);
  int cursor_shape() const { return cursor_.shape; }
  void colorwin(int top, int left, int bottom, int right, std::string_view color);
  void colorwin(int top, int left, int bottom, int right, Attr attr) { screen_.recolor(top, left, bottom, right, attr); }
  std::string screenstr(int r, int c, int n) const { return screen_.screenstr(r, c, n); }
  static std::string charodd(std::string_view s) { return rt::con::charodd(s); }
  // Brings the display up to date now (the console also does it before
  // every wait for a key).
  void present();

  // --- keyboard ---------------------------------------------------------
  // Every read of a key first ends the program (QuitRequest with status
  // 128 + the signal, terminal restored) when SIGHUP or SIGTERM has come.
  // INKEY(): the next key or 0 at once.
  int inkey();
  // INKEY(t): waits up to t seconds for a key, 0 = without limit.
  int inkey(double seconds);
  int lastkey() const { return lastkey_; }
  void set_lastkey(int k) { lastkey_ = k; }
  // __KEYBOARD: empties the type-ahead buffer, then puts the characters.
  void keyboard(std::string_view cp850_text);
  void keyboard_codes(const std::vector<int>& codes);
  // Puts keys in front of whatever waits, discarding nothing (a hotkey that
  // turns its key into another uses this so a reader's burst stays whole).
  void push_front(const std::vector<int>& codes);
  // Appends keys behind whatever waits.
  void push_back(int code);
  std::size_t typeahead_size() const { return typeahead_.size(); }
  // True when a key is waiting (pulls what the display already has).
  bool key_pending();

  // SETKEY: installs (replacing) or, with an empty action, removes a hotkey;
  // returns the action that was set.
  HotkeyAction set_key(int code, HotkeyAction action);
  HotkeyAction hotkey(int code) const;
  HotkeyTable save_set_keys() const { return hotkeys_; }
  void rest_set_keys(HotkeyTable table) { hotkeys_ = std::move(table); }
  // The key wait of the field editor and the browse: blocks for a key and
  // runs hotkeys instead of returning their keys.
  int wait_key_for_form();

  // Event mask: 128 keyboard only, 255 all events.  Returns the previous.
  int set_event_mask(int mask);
  int event_mask() const { return event_mask_; }

  // --- sound, commands, quitting ----------------------------------------
  void tone(double freq, double ticks);
  // __RUN: runs the command line through the system's interpreter with the
  // terminal handed over, then redraws the screen.  Returns its status.
  int run(const std::string& cmd);
  // __QUIT: gives the display back and throws QuitRequest.
  [[noreturn]] void quit(int status = 0);
  // Gives the display back (also done by the destructor).
  void shutdown();
  os::Clock& clock() { return backend_->clock(); }

  // The form being edited (nullptr when none); the field editor keeps it.
  Form* active_form() const { return active_form_; }
  void set_active_form(Form* f) { active_form_ = f; }

  // --- state of the layers above, per run -------------------------------
  // What the program's own layers keep for the run this console serves (the
  // station's call trace, its key-reader hooks, ...): one object of each
  // type, made on first use and destroyed with the console, so two runs in
  // one process (tests) never share it and nothing of it is process-wide.
  template <class T>
  T& run_state() {
    std::shared_ptr<void>& slot = run_state_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }

 private:
  bool allowed(int code) const;
  void apply_font();
  void stop_if_asked();
  std::optional<int> pull(double timeout);
  void push_typeahead(int code);

  std::unique_ptr<Backend> backend_;
  Screen screen_;
  CursorState cursor_;
  ConsoleSettings settings_;
  ColorSet colors_;
  std::string color_text_;
  std::deque<int> typeahead_;
  HotkeyTable hotkeys_;
  int lastkey_ = 0;
  int event_mask_ = key::kMaskAll;
  Form* active_form_ = nullptr;
  bool shut_down_ = false;
  bool insert_mode_ = false;
  std::unordered_map<std::type_index, std::shared_ptr<void>> run_state_;
};

// The station's window: 25 x 80 cells of 11 x 22 pixels in "Lucida Console",
// cleared with the cursor home, the title given, no close button (the
// program is left through its own keys) and Alt+Enter for full screen.
void set_up_window(Console& con, const std::string& title);

}  // namespace rt::con

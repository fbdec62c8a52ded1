// What the console needs from a display: show the grid, deliver input
// events, sound tones, hand the terminal over to a command.  The terminal
// back end (ncursesw), the Windows console and the headless back end of the
// tests implement it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/console/screen.h"
#include "runtime/os/clock.h"
#include "runtime/text/date.h"

namespace rt::con {

// Window and runtime settings of the console.  The window settings a
// terminal cannot apply (font, icon, close button, Alt+Enter) are kept here
// and reported by the back end.
struct ConsoleSettings {
  int rows = Screen::kRows;
  int cols = Screen::kCols;
  int font_width = 0;   // character cell, pixels; 0 = the display's own
  int font_height = 0;
  std::string font_face;
  std::string title;
  std::string icon_file;
  bool icon_loaded = false;
  bool close_button = true;  // false: the window's Close command is disabled
  bool alt_enter = false;    // Alt+Enter toggles full screen
  bool confirm = true;       // a field typed full waits for Enter
  bool century = false;      // dates as dd/mm/yyyy instead of dd/mm/yy
  text::DateWindow date_window = text::DateWindow::current();
  bool sound = true;         // false: tones are silent
  bool escape_in_forms = true;
};

struct CursorState {
  int row = 0;
  int col = 0;
  int shape = 1;  // 0 hidden, 1 normal, 2 lower half, 3 full block, 4 upper half
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Brings the display up to date with the grid (only changed cells need
  // to go out) and places the cursor.
  virtual void present(Screen& screen, const CursorState& cursor) = 0;
  // The next input event's code, waiting up to timeout seconds (negative:
  // without limit, 0: only what is already there); nullopt when none came.
  virtual std::optional<int> read_event(double timeout) = 0;
  // A tone of freq Hz lasting ticks clock ticks (18.2 per second).
  virtual void tone(double freq, double ticks) = 0;
  // Runs a command line with the display handed over; returns its status.
  virtual int run_command(const std::string& cmd) = 0;
  // New settings (title, font, ...): applied where the display can.
  virtual void apply_settings(const ConsoleSettings& settings) = 0;
  // The character cell of the display's font now (width, height in
  // pixels), where the display can tell; nullopt elsewhere.
  virtual std::optional<std::pair<int, int>> font_cell() const { return std::nullopt; }
  // The settings kept without effect on this display, as short texts.
  virtual std::vector<std::string> kept_settings(const ConsoleSettings& settings) const = 0;
  // Gives the display back to its owner (terminal modes restored).  Safe to
  // call more than once.
  virtual void shutdown() = 0;
  // The clock that time-outs and pauses use.
  virtual os::Clock& clock() = 0;
};

}  // namespace rt::con

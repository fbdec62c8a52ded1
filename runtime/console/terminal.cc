#define NCURSES_WIDECHAR 1
#include "runtime/console/terminal.h"

#include <curses.h>
#include <langinfo.h>

#include <algorithm>
#include <bitset>
#include <cctype>
#include <clocale>
#include <cstring>
#include <map>
#include <stdexcept>

#include "runtime/console/keys.h"
#include "runtime/os/process.h"
#include "runtime/os/stop_signals.h"
#include "runtime/text/codepage.h"


namespace rt::con {

namespace {

// Our colour numbers (black, blue, green, cyan, red, magenta, brown, white)
// as curses colours.
constexpr short kCursesColor[8] = {COLOR_BLACK, COLOR_BLUE, COLOR_GREEN, COLOR_CYAN,
                                   COLOR_RED,   COLOR_MAGENTA, COLOR_YELLOW, COLOR_WHITE};

// A wait without limit for a key looks at the stop signals this often.
constexpr int kStopCheckMs = 200;

void ensure_utf8_locale() {
  std::setlocale(LC_ALL, "");
  const char* cs = nl_langinfo(CODESET);
  if (cs && (std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0)) return;
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "C.utf8");
}

}  // namespace

struct TerminalBackend::Impl {
  SCREEN* scr = nullptr;
  bool active = false;
  bool colors16 = false;
  bool has_colors = false;
  std::bitset<256> pair_ready;
  std::vector<Cell> shadow;
  bool shadow_valid = false;
  bool too_small = false;
  ConsoleSettings settings;
  std::string shown_title;
  std::map<int, int> extra_keys;  // curses key code -> our code
  int next_private_code = KEY_MAX + 1;
  std::FILE* out = nullptr;
  std::string term;
  // What was shown last, to show it again when the terminal is resized.
  Screen* last_screen = nullptr;
  CursorState last_cursor;

  void add_key(const char* seq, int ours) {
    int code = key_defined(seq);
    if (code <= 0) {
      code = next_private_code++;
      if (define_key(seq, code) != OK) return;
    }
    extra_keys.emplace(code, ours);
  }

  void add_terminfo_key(const char* capname, int ours) {
    char* s = tigetstr(capname);
    if (s == nullptr || s == reinterpret_cast<char*>(-1) || *s == 0) return;
    add_key(s, ours);
  }

  short pair_for(Attr a, attr_t* extra) {
    *extra = 0;
    if (!has_colors) {
      if (attr_bg(a) != 0 && attr_fg(a) != attr_bg(a)) *extra |= A_REVERSE;
      if (attr_fg(a) & 8) *extra |= A_BOLD;
      return 0;
    }
    if (colors16) {
      const int idx = a;
      if (!pair_ready[static_cast<std::size_t>(idx)]) {
        const short fg = static_cast<short>(kCursesColor[attr_fg(a) & 7] + ((attr_fg(a) & 8) ? 8 : 0));
        const short bg = static_cast<short>(kCursesColor[attr_bg(a) & 7] + ((attr_bg(a) & 8) ? 8 : 0));
        init_pair(static_cast<short>(idx + 1), fg, bg);
        pair_ready.set(static_cast<std::size_t>(idx));
      }
      return static_cast<short>(idx + 1);
    }
    // Eight colours: bright foreground is bold, bright background blinks.
    if (attr_fg(a) & 8) *extra |= A_BOLD;
    if (attr_bg(a) & 8) *extra |= A_BLINK;
    const int fg = attr_fg(a) & 7, bg = attr_bg(a) & 7;
    const int idx = bg * 8 + (7 - fg);  // white on black is pair 0
    if (idx != 0 && !pair_ready[static_cast<std::size_t>(idx)]) {
      init_pair(static_cast<short>(idx), kCursesColor[fg], kCursesColor[bg]);
      pair_ready.set(static_cast<std::size_t>(idx));
    }
    return static_cast<short>(idx);
  }

  void put_cell(int r, int c, const Cell& cell) {
    attr_t extra = 0;
    const short pair = pair_for(cell.attr, &extra);
    wchar_t wc[2] = {static_cast<wchar_t>(text::to_unicode(cell.ch)), 0};
    if (wc[0] < 32 || wc[0] == 127) wc[0] = L' ';
    cchar_t cc;
    setcchar(&cc, wc, extra, pair, nullptr);
    mvwadd_wch(stdscr, r, c, &cc);
  }

  void show_too_small() {
    werase(stdscr);
    const char* lines_text[] = {"Ventana chica: se necesitan 25 x 80.", "Terminal too small: 25 x 80 needed.",
                                "Agrande la ventana / enlarge it."};
    for (int i = 0; i < 3 && i < LINES; ++i) mvwaddnstr(stdscr, i, 0, lines_text[i], std::max(COLS, 0));
    wrefresh(stdscr);
  }

  void set_title(const std::string& title) {
    if (title == shown_title || !out) return;
    shown_title = title;
    if (!title_supported()) return;
    const std::string utf8 = text::to_utf8(title);
    std::string clean;
    for (char c : utf8) {
      if (static_cast<unsigned char>(c) >= 32 && c != 127) clean += c;
    }
    std::fprintf(out, "\033]0;%s\007", clean.c_str());
    std::fflush(out);
  }

  bool title_supported() const {
    if (tigetflag(const_cast<char*>("XT")) > 0) return true;
    for (const char* prefix : {"xterm", "rxvt", "tmux", "screen", "alacritty", "kitty", "foot", "vte", "gnome", "konsole"}) {
      if (term.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

  std::optional<int> translate(int status, wint_t wch);
  std::optional<int> mouse_event();
};

TerminalBackend::TerminalBackend(TerminalOptions options)
    : env_(options.env ? *options.env : os::Env::Default()), impl_(std::make_unique<Impl>()) {
  ensure_utf8_locale();
  std::FILE* in = options.in ? options.in : stdin;
  std::FILE* out = options.out ? options.out : stdout;
  impl_->out = out;
  impl_->term = options.term.empty() ? env_.get_env("TERM") : options.term;
  if (impl_->term.empty()) impl_->term = "xterm";
  impl_->scr = newterm(impl_->term.c_str(), out, in);
  if (!impl_->scr) throw std::runtime_error("cannot open the terminal \"" + impl_->term + "\" for the console");
  set_term(impl_->scr);
  impl_->active = true;
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  meta(stdscr, TRUE);
  intrflush(stdscr, FALSE);
  set_escdelay(25);
  if (has_colors()) {
    start_color();
    impl_->has_colors = true;
    impl_->colors16 = COLORS >= 16 && COLOR_PAIRS >= 257;
    if (!impl_->colors16) assume_default_colors(COLOR_WHITE, COLOR_BLACK);
  }
  mousemask(ALL_MOUSE_EVENTS | REPORT_MOUSE_POSITION, nullptr);
  mouseinterval(0);
  // Modified keys that terminfo may not name.
  impl_->add_key("\033[1;5H", key::kCtrlHome);
  impl_->add_key("\033[7^", key::kCtrlHome);
  impl_->add_key("\033[1;5F", key::kCtrlEnd);
  impl_->add_key("\033[8^", key::kCtrlEnd);
  impl_->add_key("\033[5;5~", key::kCtrlPgUp);
  impl_->add_key("\033[6;5~", key::kCtrlPgDn);
  impl_->add_key("\033[1;5D", key::kCtrlLeft);
  impl_->add_key("\033[1;5C", key::kCtrlRight);
  impl_->add_key("\033O5m", key::kCtrlKeypadMinus);
  impl_->add_key("\033[1;5m", key::kCtrlKeypadMinus);
  impl_->add_key("\033O5k", key::kCtrlKeypadPlus);
  impl_->add_key("\033[1;5k", key::kCtrlKeypadPlus);
  // Cursor keys of a terminal that ignores the keypad-transmit mode.
  impl_->add_key("\033[A", key::kUp);
  impl_->add_key("\033[B", key::kDown);
  impl_->add_key("\033[C", key::kRight);
  impl_->add_key("\033[D", key::kLeft);
  impl_->add_key("\033OA", key::kUp);
  impl_->add_key("\033OB", key::kDown);
  impl_->add_key("\033OC", key::kRight);
  impl_->add_key("\033OD", key::kLeft);
  impl_->add_key("\033[2~", key::kIns);
  impl_->add_key("\033[3~", key::kDel);
  impl_->add_key("\033[5~", key::kPgUp);
  impl_->add_key("\033[6~", key::kPgDn);
  impl_->add_key("\033[1~", key::kHome);
  impl_->add_key("\033[4~", key::kEnd);
  impl_->add_key("\033[H", key::kHome);
  impl_->add_key("\033[F", key::kEnd);
  impl_->add_key("\033OH", key::kHome);
  impl_->add_key("\033OF", key::kEnd);
  impl_->add_key("\033[1;2P", key::kShiftF1);
  impl_->add_key("\033O2P", key::kShiftF1);
  impl_->add_terminfo_key("kHOM5", key::kCtrlHome);
  impl_->add_terminfo_key("kEND5", key::kCtrlEnd);
  impl_->add_terminfo_key("kPRV5", key::kCtrlPgUp);
  impl_->add_terminfo_key("kNXT5", key::kCtrlPgDn);
  impl_->add_terminfo_key("kLFT5", key::kCtrlLeft);
  impl_->add_terminfo_key("kRIT5", key::kCtrlRight);
  impl_->shadow.assign(static_cast<std::size_t>(Screen::kRows * Screen::kCols), Cell{});
  if (options.restore_on_signals) os::install_stop_signals();
}

TerminalBackend::~TerminalBackend() { shutdown(); }

void TerminalBackend::shutdown() {
  if (!impl_->active) return;
  impl_->active = false;
  set_term(impl_->scr);
  mousemask(0, nullptr);
  curs_set(1);
  endwin();
  delscreen(impl_->scr);
  impl_->scr = nullptr;
}

void TerminalBackend::present(Screen& screen, const CursorState& cursor) {
  if (!impl_->active) return;
  set_term(impl_->scr);
  impl_->last_screen = &screen;
  impl_->last_cursor = cursor;
  const bool small = LINES < screen.rows() || COLS < screen.cols();
  if (small) {
    if (!impl_->too_small) impl_->show_too_small();
    impl_->too_small = true;
    impl_->shadow_valid = false;
    return;
  }
  if (impl_->too_small) {
    impl_->too_small = false;
    clearok(curscr, TRUE);
  }
  const int cols = std::min(screen.cols(), Screen::kCols);
  const int rows = std::min(screen.rows(), Screen::kRows);
  for (int r = 0; r < rows; ++r) {
    if (impl_->shadow_valid && !screen.row_dirty(r)) continue;
    for (int c = 0; c < cols; ++c) {
      const Cell& cell = screen.at(r, c);
      Cell& old = impl_->shadow[static_cast<std::size_t>(r * Screen::kCols + c)];
      if (impl_->shadow_valid && old == cell) continue;
      impl_->put_cell(r, c, cell);
      old = cell;
    }
  }
  impl_->shadow_valid = true;
  screen.clear_dirty();
  const bool visible = cursor.shape != 0 && screen.inside(cursor.row, cursor.col);
  if (visible) {
    wmove(stdscr, cursor.row, cursor.col);
    curs_set(cursor.shape == 1 ? 1 : 2);
  } else {
    curs_set(0);
  }
  wrefresh(stdscr);
}

std::optional<int> TerminalBackend::Impl::mouse_event() {
  MEVENT ev;
  if (getmouse(&ev) != OK) return std::nullopt;
  const mmask_t b = ev.bstate;
  if (b & BUTTON4_PRESSED) return key::kWheelForward;
#ifdef BUTTON5_PRESSED
  if (b & BUTTON5_PRESSED) return key::kWheelBackward;
#endif
  if (b & BUTTON3_PRESSED) return key::kRightDown;
  if (b & BUTTON3_RELEASED) return key::kRightUp;
  if (b & BUTTON3_DOUBLE_CLICKED) return key::kRightDouble;
  if (b & BUTTON1_DOUBLE_CLICKED) return key::kLeftDouble;
  if (b & BUTTON1_PRESSED) return key::kLeftDown;
  if (b & BUTTON1_RELEASED) return key::kLeftUp;
  if (b & REPORT_MOUSE_POSITION) return key::kMouseMove;
  return std::nullopt;
}

std::optional<int> TerminalBackend::Impl::translate(int status, wint_t wch) {
  if (status == OK) {
    const auto c = static_cast<char32_t>(wch);
    if (c == 27) {
      // Esc followed at once by a letter is Alt with that letter.
      wint_t next = 0;
      wtimeout(stdscr, 0);
      const int s2 = wget_wch(stdscr, &next);
      if (s2 == OK && next < 128 && std::isalpha(static_cast<int>(next))) {
        return key::alt_letter(static_cast<char>(next));
      }
      if (s2 == OK && next >= '0' && next <= '9') {
        // Alt with a digit: 376 for 1 up to 384 for 9, 385 for 0.
        return next == '0' ? 385 : 376 + static_cast<int>(next - '1');
      }
      if (s2 == OK && (next == '\r' || next == '\n')) {
        // Alt+Enter switches a window to full screen; a terminal does that
        // itself, and it must not reach a form as Esc and Enter.
        return std::nullopt;
      }
      if (s2 == OK || s2 == KEY_CODE_YES) unget_wch(static_cast<wchar_t>(next));
      return key::kEsc;
    }
    if (c == 127) return key::kBackspace;
    if (c == '\n' || c == '\r') return key::kEnter;
    if (c < 128) return static_cast<int>(c);
    if (auto b = text::from_unicode(c)) return static_cast<int>(*b);
    return std::nullopt;  // no such character in code page 850
  }
  if (status != KEY_CODE_YES) return std::nullopt;
  const int k = static_cast<int>(wch);
  if (auto it = extra_keys.find(k); it != extra_keys.end()) return it->second;
  switch (k) {
    case KEY_UP: return key::kUp;
    case KEY_DOWN: return key::kDown;
    case KEY_LEFT: return key::kLeft;
    case KEY_RIGHT: return key::kRight;
    case KEY_HOME:
    case KEY_A1: return key::kHome;
    case KEY_END:
    case KEY_C1: return key::kEnd;
    case KEY_PPAGE:
    case KEY_A3: return key::kPgUp;
    case KEY_NPAGE:
    case KEY_C3: return key::kPgDn;
    case KEY_IC: return key::kIns;
    case KEY_DC: return key::kDel;
    case KEY_BACKSPACE: return key::kBackspace;
    case KEY_ENTER: return key::kEnter;
    case KEY_BTAB: return key::kShiftTab;
    case KEY_MOUSE: return mouse_event();
    default: break;
  }
  if (k >= KEY_F(1) && k <= KEY_F(63)) {
    const int n = k - KEY_F(0);
    if (n <= 12) return key::function_key(n);
    if (n <= 22) return key::shift_function_key(n - 12);
    if (n >= 25 && n <= 34) return key::ctrl_function_key(n - 24);
    if (n >= 49 && n <= 58) return key::alt_function_key(n - 48);
  }
  return std::nullopt;
}

std::optional<int> TerminalBackend::read_event(double timeout) {
  if (!impl_->active) return std::nullopt;
  set_term(impl_->scr);
  os::Clock& clk = env_.clock();
  const double start = clk.monotonic();
  while (true) {
    // A hang-up or a termination request ends the wait; the console then
    // ends the program.  A wait without limit is cut into slices for that.
    if (os::stop_signal() != 0) return std::nullopt;
    int ms = kStopCheckMs;
    if (timeout >= 0) {
      const double left = timeout - (clk.monotonic() - start);
      ms = left <= 0 ? 0 : std::min(kStopCheckMs, static_cast<int>(left * 1000 + 0.5));
    }
    wtimeout(stdscr, ms);
    wint_t wch = 0;
    const int status = wget_wch(stdscr, &wch);
    if (status == ERR) {
      if (timeout >= 0 && clk.monotonic() - start >= timeout) return std::nullopt;
      continue;
    }
    if (status == KEY_CODE_YES && static_cast<int>(wch) == KEY_RESIZE) {
      // Show the grid again (or the size message) at the new size.
      impl_->shadow_valid = false;
      clearok(curscr, TRUE);
      if (impl_->last_screen) {
        impl_->last_screen->mark_all_dirty();
        present(*impl_->last_screen, impl_->last_cursor);
      }
      continue;
    }
    if (auto code = impl_->translate(status, wch)) return code;
    if (timeout == 0) return std::nullopt;
  }
}

void TerminalBackend::tone(double, double ticks) {
  if (!impl_->active) return;
  if (impl_->settings.sound) {
    set_term(impl_->scr);
    beep();
  }
  // The tone takes its time, as a sounding one would.
  env_.clock().sleep(std::clamp(ticks, 0.0, 91.0) / 18.2);
}

int TerminalBackend::run_command(const std::string& cmd) {
  if (!impl_->active) return env_.run_command(cmd);
  set_term(impl_->scr);
  def_prog_mode();
  endwin();
  const int status = env_.run_command(cmd);
  reset_prog_mode();
  impl_->shadow_valid = false;
  clearok(curscr, TRUE);
  return status;
}

void TerminalBackend::apply_settings(const ConsoleSettings& settings) {
  impl_->settings = settings;
  if (impl_->active) impl_->set_title(settings.title);
}

bool TerminalBackend::has_title() const { return impl_->title_supported(); }

std::vector<std::string> TerminalBackend::kept_settings(const ConsoleSettings& s) const {
  std::vector<std::string> out;
  if (s.font_width > 0 || s.font_height > 0 || !s.font_face.empty()) {
    out.push_back("font " + std::to_string(s.font_width) + "x" + std::to_string(s.font_height) + " " +
                  s.font_face + ": the terminal keeps its own font");
  }
  if (!s.icon_file.empty()) out.push_back("icon " + s.icon_file + ": not shown by a terminal");
  if (!s.close_button) out.push_back("close button disabled: the terminal's window is not ours");
  if (s.alt_enter) out.push_back("Alt+Enter full screen: left to the terminal");
  if (!s.title.empty() && !impl_->title_supported()) out.push_back("title: this terminal shows none");
  return out;
}

}  // namespace rt::con

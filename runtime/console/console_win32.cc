// The Windows console back end: the 25 x 80 grid in a screen buffer of its
// own (the one the program was started in comes back at the end and while a
// command runs), the keys of ReadConsoleInputW, tones by Beep, and the window
// settings a terminal could not apply: title, font face and cell size, the
// disabled close button, the icon, Alt+Enter.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/console/display.h"
#include "runtime/console/win32_keys.h"
#include "runtime/os/stop_signals.h"
#include "runtime/text/codepage.h"

namespace rt::con {

namespace {

// A wait without limit for a key looks at the stop note this often.
constexpr DWORD kStopCheckMs = 200;

std::wstring wide_cp850(const std::string& s) {
  std::wstring out;
  for (unsigned char c : s) out += static_cast<wchar_t>(text::to_unicode(c));
  return out;
}

std::wstring wide_utf8(const std::string& s) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

HANDLE open_console(const wchar_t* name) {
  return ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

// The console's cursor size (percent of the cell) for a cursor shape.
DWORD cursor_size(int shape) {
  switch (shape) {
    case 2: return 50;   // lower half
    case 3: return 100;  // full block
    case 4: return 50;   // upper half: the console has no such cursor
    default: return 25;  // normal
  }
}

class Win32ConsoleBackend final : public Backend {
 public:
  explicit Win32ConsoleBackend(DisplayOptions options)
      : env_(options.env ? *options.env : os::Env::Default()) {
    in_ = open_console(L"CONIN$");
    user_out_ = open_console(L"CONOUT$");
    DWORD mode = 0;
    if (in_ == INVALID_HANDLE_VALUE || user_out_ == INVALID_HANDLE_VALUE || !::GetConsoleMode(in_, &in_mode_) ||
        !::GetConsoleMode(user_out_, &mode)) {
      close_handles();
      throw std::runtime_error("no console window for the station (start it in a console)");
    }
    ::GetConsoleCursorInfo(user_out_, &user_cursor_);
    user_title_.resize(1024);
    user_title_.resize(::GetConsoleTitleW(user_title_.data(), static_cast<DWORD>(user_title_.size())));
    user_font_.cbSize = sizeof user_font_;
    have_user_font_ = ::GetCurrentConsoleFontEx(user_out_, FALSE, &user_font_) != 0 && user_font_.dwFontSize.Y > 0;

    // A screen buffer of our own keeps what the console showed before.
    out_ = ::CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (out_ == INVALID_HANDLE_VALUE) {
      out_ = user_out_;
    }
    take_console();
    shadow_.assign(static_cast<std::size_t>(Screen::kRows * Screen::kCols), Cell{});
    if (options.restore_on_signals) os::install_stop_signals();
  }

  ~Win32ConsoleBackend() override {
    shutdown();
    close_handles();
  }

  void present(Screen& screen, const CursorState& cursor) override {
    if (!active_) return;
    const int rows = std::min(screen.rows(), Screen::kRows);
    const int cols = std::min(screen.cols(), Screen::kCols);
    CHAR_INFO line[Screen::kCols];
    for (int r = 0; r < rows; ++r) {
      if (shadow_valid_ && !screen.row_dirty(r)) continue;
      // Only the changed span of the row goes out.
      int first = cols, last = -1;
      for (int c = 0; c < cols; ++c) {
        const Cell& cell = screen.at(r, c);
        Cell& old = shadow_[static_cast<std::size_t>(r * Screen::kCols + c)];
        if (shadow_valid_ && old == cell) continue;
        old = cell;
        first = std::min(first, c);
        last = c;
      }
      if (last < first) continue;
      for (int c = first; c <= last; ++c) {
        const Cell& cell = screen.at(r, c);
        char32_t u = text::to_unicode(cell.ch);
        if (u < 32 || u == 127) u = U' ';
        line[c - first].Char.UnicodeChar = static_cast<WCHAR>(u);
        line[c - first].Attributes = cell.attr;  // the same bits: fg low, bg high
      }
      SMALL_RECT rect{static_cast<SHORT>(first), static_cast<SHORT>(r), static_cast<SHORT>(last),
                      static_cast<SHORT>(r)};
      ::WriteConsoleOutputW(out_, line, COORD{static_cast<SHORT>(last - first + 1), 1}, COORD{0, 0}, &rect);
    }
    shadow_valid_ = true;
    screen.clear_dirty();
    const bool visible = cursor.shape != 0 && screen.inside(cursor.row, cursor.col);
    CONSOLE_CURSOR_INFO ci{cursor_size(cursor.shape), visible ? TRUE : FALSE};
    if (visible) ::SetConsoleCursorPosition(out_, COORD{static_cast<SHORT>(cursor.col), static_cast<SHORT>(cursor.row)});
    ::SetConsoleCursorInfo(out_, &ci);
  }

  std::optional<int> read_event(double timeout) override {
    if (!active_) return std::nullopt;
    os::Clock& clk = env_.clock();
    const double start = clk.monotonic();
    while (true) {
      if (!pending_.empty()) {
        const int k = pending_.front();
        pending_.pop_front();
        return k;
      }
      // Closing the window ends the wait; the console then ends the program.
      if (os::stop_signal() != 0) return std::nullopt;
      DWORD ms = kStopCheckMs;
      if (timeout >= 0) {
        const double left = timeout - (clk.monotonic() - start);
        ms = left <= 0 ? 0 : std::min<DWORD>(kStopCheckMs, static_cast<DWORD>(left * 1000 + 0.5));
      }
      if (::WaitForSingleObject(in_, ms) == WAIT_OBJECT_0) {
        read_input();
        if (!pending_.empty()) continue;
      }
      if (timeout >= 0 && clk.monotonic() - start >= timeout) return std::nullopt;
    }
  }

  void tone(double freq, double ticks) override {
    const double seconds = std::clamp(ticks, 0.0, 91.0) / 18.2;
    os::Clock& clk = env_.clock();
    const double start = clk.monotonic();
    // Beep plays the real frequency (37 to 32767 Hz); it waits for the tone.
    if (settings_.sound && active_ && freq >= 37 && freq <= 32767)
      ::Beep(static_cast<DWORD>(freq), static_cast<DWORD>(seconds * 1000 + 0.5));
    // The tone takes its time, also where no sound is made.
    const double left = seconds - (clk.monotonic() - start);
    if (left > 0) clk.sleep(left);
  }

  int run_command(const std::string& cmd) override {
    if (!active_) return env_.run_command(cmd);
    // The command gets the console as the program found it.
    give_console();
    const int status = env_.run_command(cmd);
    take_console();
    shadow_valid_ = false;
    return status;
  }

  void apply_settings(const ConsoleSettings& s) override {
    settings_ = s;
    if (!active_) return;
    if (s.title != shown_title_) {
      shown_title_ = s.title;
      title_ok_ = s.title.empty() || ::SetConsoleTitleW(wide_cp850(s.title).c_str());
    }
    if (s.font_width != shown_font_width_ || s.font_height != shown_font_height_ || s.font_face != shown_font_face_) {
      shown_font_width_ = s.font_width;
      shown_font_height_ = s.font_height;
      shown_font_face_ = s.font_face;
      font_ok_ = set_font(s);
      font_set_ = font_set_ || font_ok_;
      fit_window();
    }
    HWND window = ::GetConsoleWindow();
    if (s.close_button != shown_close_button_) {
      shown_close_button_ = s.close_button;
      close_ok_ = set_close_button(window, s.close_button);
    }
    if (s.icon_file != shown_icon_) {
      shown_icon_ = s.icon_file;
      icon_ok_ = s.icon_file.empty() || set_icon(window, s.icon_file);
    }
  }

  std::vector<std::string> kept_settings(const ConsoleSettings& s) const override {
    std::vector<std::string> out;
    if ((s.font_width > 0 || s.font_height > 0 || !s.font_face.empty()) && !font_ok_)
      out.push_back("font " + std::to_string(s.font_width) + "x" + std::to_string(s.font_height) + " " + s.font_face +
                    ": the console did not take it");
    if (!s.icon_file.empty() && !icon_ok_) out.push_back("icon " + s.icon_file + ": the console has no window for it");
    if (!s.close_button && !close_ok_) out.push_back("close button disabled: the console has no window menu");
    if (!s.title.empty() && !title_ok_) out.push_back("title: the console did not take it");
    return out;
  }

  std::optional<std::pair<int, int>> font_cell() const override {
    if (!active_) return std::nullopt;
    CONSOLE_FONT_INFOEX fi{};
    fi.cbSize = sizeof fi;
    if (!::GetCurrentConsoleFontEx(out_, FALSE, &fi) || fi.dwFontSize.Y <= 0) return std::nullopt;
    return std::make_pair(static_cast<int>(fi.dwFontSize.X), static_cast<int>(fi.dwFontSize.Y));
  }

  void shutdown() override {
    if (!active_) return;
    give_console();
    active_ = false;
    if (!user_title_.empty()) ::SetConsoleTitleW(user_title_.c_str());
    if (have_user_font_ && font_set_) ::SetCurrentConsoleFontEx(user_out_, FALSE, &user_font_);
    HWND window = ::GetConsoleWindow();
    if (window && !shown_close_button_) ::GetSystemMenu(window, TRUE);  // the menu as it was
    if (window && old_icon_set_) {
      ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(old_small_icon_));
      ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(old_big_icon_));
    }
  }

  os::Clock& clock() override { return env_.clock(); }

 private:
  void close_handles() {
    if (out_ != INVALID_HANDLE_VALUE && out_ != user_out_) ::CloseHandle(out_);
    if (user_out_ != INVALID_HANDLE_VALUE) ::CloseHandle(user_out_);
    if (in_ != INVALID_HANDLE_VALUE) ::CloseHandle(in_);
    out_ = user_out_ = in_ = INVALID_HANDLE_VALUE;
  }

  // Our screen buffer at 25 x 80 in front, keys raw: no line editing, no
  // echo, Ctrl+C a key like any other, no mouse selection.
  void take_console() {
    ::SetConsoleActiveScreenBuffer(out_);
    ::SetConsoleMode(in_, ENABLE_EXTENDED_FLAGS);
    fit_window();
    active_ = true;
  }

  void give_console() {
    ::SetConsoleActiveScreenBuffer(user_out_);
    ::SetConsoleMode(in_, in_mode_);
    ::SetConsoleCursorInfo(user_out_, &user_cursor_);
  }

  // The buffer and the window both 25 x 80: the window first as small as it
  // goes, so the buffer may shrink, then the window over the whole buffer.
  void fit_window() {
    SMALL_RECT tiny{0, 0, 0, 0};
    ::SetConsoleWindowInfo(out_, TRUE, &tiny);
    ::SetConsoleScreenBufferSize(out_, COORD{Screen::kCols, Screen::kRows});
    SMALL_RECT full{0, 0, Screen::kCols - 1, Screen::kRows - 1};
    ::SetConsoleWindowInfo(out_, TRUE, &full);
  }

  bool set_font(const ConsoleSettings& s) {
    CONSOLE_FONT_INFOEX fi{};
    fi.cbSize = sizeof fi;
    // A console on a text terminal (wine's, for one) has no font of its own:
    // it reads back as 0 x 0, and telling it one is refused or worse.
    if (!::GetCurrentConsoleFontEx(out_, FALSE, &fi) || fi.dwFontSize.Y <= 0) return false;
    if (s.font_width > 0) fi.dwFontSize.X = static_cast<SHORT>(s.font_width);
    if (s.font_height > 0) fi.dwFontSize.Y = static_cast<SHORT>(s.font_height);
    if (!s.font_face.empty()) {
      const std::wstring face = wide_cp850(s.font_face);
      std::fill(std::begin(fi.FaceName), std::end(fi.FaceName), L'\0');
      std::copy_n(face.begin(), std::min<std::size_t>(face.size(), LF_FACESIZE - 1), fi.FaceName);
      fi.FontFamily = FF_DONTCARE;
      fi.FontWeight = FW_NORMAL;
    }
    return ::SetCurrentConsoleFontEx(out_, FALSE, &fi) != 0;
  }

  static bool set_close_button(HWND window, bool enabled) {
    if (!window) return false;
    HMENU menu = ::GetSystemMenu(window, FALSE);
    if (!menu) return false;
    ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    return true;
  }

  bool set_icon(HWND window, const std::string& file) {
    if (!window) return false;
    HANDLE big = ::LoadImageW(nullptr, wide_utf8(file).c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
    HANDLE small = ::LoadImageW(nullptr, wide_utf8(file).c_str(), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                ::GetSystemMetrics(SM_CYSMICON), LR_LOADFROMFILE);
    if (!big) return false;
    const LRESULT old_big = ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    const LRESULT old_small =
        ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small ? small : big));
    if (!old_icon_set_) {
      old_big_icon_ = reinterpret_cast<HICON>(old_big);
      old_small_icon_ = reinterpret_cast<HICON>(old_small);
      old_icon_set_ = true;
    }
    return true;
  }

  void toggle_full_screen() {
    if (!settings_.alt_enter) return;
    full_screen_ = !full_screen_;
    // Windows versions without a full-screen console refuse it; the window
    // then stays as it is.
    if (!::SetConsoleDisplayMode(out_, full_screen_ ? CONSOLE_FULLSCREEN_MODE : CONSOLE_WINDOWED_MODE, nullptr))
      full_screen_ = !full_screen_;
  }

  void read_input() {
    INPUT_RECORD records[128];
    DWORD n = 0;
    if (!::GetNumberOfConsoleInputEvents(in_, &n) || n == 0) return;
    if (!::ReadConsoleInputW(in_, records, 128, &n)) return;
    for (DWORD i = 0; i < n; ++i) {
      const INPUT_RECORD& rec = records[i];
      if (rec.EventType == WINDOW_BUFFER_SIZE_EVENT) {
        // Someone resized the window: back to 25 x 80, everything again.
        fit_window();
        shadow_valid_ = false;
        continue;
      }
      if (rec.EventType != KEY_EVENT) continue;
      const KEY_EVENT_RECORD& k = rec.Event.KeyEvent;
      win32::KeyEvent ev;
      ev.down = k.bKeyDown != 0;
      ev.vk = k.wVirtualKeyCode;
      ev.ch = static_cast<char32_t>(static_cast<unsigned short>(k.uChar.UnicodeChar));
      ev.state = k.dwControlKeyState;
      if (ev.down && win32::is_alt_enter(ev)) {
        toggle_full_screen();
        continue;
      }
      if (auto code = win32::key_code(ev)) {
        const int repeat = ev.down ? std::max<int>(k.wRepeatCount, 1) : 1;
        for (int r = 0; r < repeat; ++r) pending_.push_back(*code);
      }
    }
  }

  os::Env& env_;
  HANDLE in_ = INVALID_HANDLE_VALUE;
  HANDLE user_out_ = INVALID_HANDLE_VALUE;  // the buffer the program was started in
  HANDLE out_ = INVALID_HANDLE_VALUE;       // ours
  DWORD in_mode_ = 0;
  CONSOLE_CURSOR_INFO user_cursor_{25, TRUE};
  std::wstring user_title_;
  CONSOLE_FONT_INFOEX user_font_{};
  bool have_user_font_ = false;
  bool active_ = false;
  std::vector<Cell> shadow_;
  bool shadow_valid_ = false;
  std::deque<int> pending_;
  ConsoleSettings settings_;
  std::string shown_title_;
  int shown_font_width_ = 0;
  int shown_font_height_ = 0;
  std::string shown_font_face_;
  bool shown_close_button_ = true;
  std::string shown_icon_;
  bool title_ok_ = true, font_ok_ = true, close_ok_ = true, icon_ok_ = true;
  bool font_set_ = false;  // the user's font was changed
  bool old_icon_set_ = false;
  HICON old_big_icon_ = nullptr, old_small_icon_ = nullptr;
  bool full_screen_ = false;
};

}  // namespace

std::unique_ptr<Backend> make_display(DisplayOptions options) {
  return std::make_unique<Win32ConsoleBackend>(options);
}

}  // namespace rt::con

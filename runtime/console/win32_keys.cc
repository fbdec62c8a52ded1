#include "runtime/console/win32_keys.h"

#include "runtime/console/keys.h"
#include "runtime/text/codepage.h"

namespace rt::con::win32 {

namespace {

bool alt(unsigned s) { return (s & (kLeftAlt | kRightAlt)) != 0; }
bool ctrl(unsigned s) { return (s & (kLeftCtrl | kRightCtrl)) != 0; }
bool shift(unsigned s) { return (s & kShift) != 0; }
// AltGr reaches Windows programs as Ctrl+Alt; with a character it is only
// the layout's way to type that character ("@" on a Spanish keyboard).
bool alt_gr(const KeyEvent& ev) { return ev.ch >= 32 && alt(ev.state) && ctrl(ev.state); }

std::optional<int> character(char32_t ch) {
  if (ch == 0) return std::nullopt;
  if (ch < 128) return static_cast<int>(ch);
  if (auto b = text::from_unicode(ch)) return static_cast<int>(*b);
  return std::nullopt;
}

// Keys that are not characters: cursor and editing keys, F keys, the
// keypad's minus and plus with Ctrl.
std::optional<int> special(const KeyEvent& ev) {
  const unsigned s = ev.state;
  const bool c = ctrl(s);
  switch (ev.vk) {
    case vk::kUp: return key::kUp;
    case vk::kDown: return key::kDown;
    case vk::kLeft: return c ? key::kCtrlLeft : key::kLeft;
    case vk::kRight: return c ? key::kCtrlRight : key::kRight;
    case vk::kHome: return c ? key::kCtrlHome : key::kHome;
    case vk::kEnd: return c ? key::kCtrlEnd : key::kEnd;
    case vk::kPrior: return c ? key::kCtrlPgUp : key::kPgUp;
    case vk::kNext: return c ? key::kCtrlPgDn : key::kPgDn;
    case vk::kInsert: return key::kIns;
    case vk::kDelete: return key::kDel;
    case vk::kTab: return shift(s) ? std::optional<int>(key::kShiftTab) : std::nullopt;
    case vk::kSubtract: return c ? std::optional<int>(key::kCtrlKeypadMinus) : std::nullopt;
    case vk::kAdd: return c ? std::optional<int>(key::kCtrlKeypadPlus) : std::nullopt;
    default: break;
  }
  if (ev.vk >= vk::kF1 && ev.vk <= vk::kF12) {
    const int n = static_cast<int>(ev.vk - vk::kF1) + 1;
    if (n <= 10) {
      if (alt(s)) return key::alt_function_key(n);
      if (c) return key::ctrl_function_key(n);
      if (shift(s)) return key::shift_function_key(n);
    }
    return key::function_key(n);
  }
  return std::nullopt;
}

}  // namespace

bool is_alt_enter(const KeyEvent& ev) { return ev.vk == vk::kReturn && alt(ev.state) && !ctrl(ev.state); }

std::optional<int> key_code(const KeyEvent& ev) {
  if (!ev.down) {
    // Alt+digits on the keypad: the character comes with Alt's release.
    if (ev.vk == vk::kMenu) return character(ev.ch);
    return std::nullopt;
  }
  if (is_alt_enter(ev)) return std::nullopt;
  if (auto k = special(ev)) return k;
  if (alt_gr(ev)) return character(ev.ch);
  if (alt(ev.state) && !ctrl(ev.state)) {
    if (ev.vk >= 'A' && ev.vk <= 'Z') return key::alt_letter(static_cast<char>(ev.vk));
    // Alt with a digit: 376 for 1 up to 384 for 9, 385 for 0.
    if (ev.vk >= '1' && ev.vk <= '9') return 376 + static_cast<int>(ev.vk - '1');
    if (ev.vk == '0') return 385;
    return std::nullopt;
  }
  switch (ev.vk) {
    case vk::kReturn: return key::kEnter;
    case vk::kEscape: return key::kEsc;
    case vk::kBack: return key::kBackspace;
    case vk::kTab: return key::kTab;
    default: break;
  }
  // Ctrl with a letter or with ']' arrives as its control character (Ctrl+W
  // 23, Ctrl+] 29, the group separator a reader sends).
  return character(ev.ch);
}

}  // namespace rt::con::win32

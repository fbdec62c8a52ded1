// The console's key and event codes.  Plain characters arrive as their code
// page 850 codes (1-255); the keys below have fixed codes that the station's
// screens and the start-up's key table rely on.
#pragma once

namespace rt::con::key {

constexpr int kNone = 0;
constexpr int kHome = 1;
constexpr int kCtrlRight = 2;
constexpr int kPgDn = 3;
constexpr int kRight = 4;
constexpr int kUp = 5;
constexpr int kEnd = 6;
constexpr int kDel = 7;
constexpr int kBackspace = 8;
constexpr int kTab = 9;
constexpr int kEnter = 13;
constexpr int kPgUp = 18;
constexpr int kLeft = 19;
constexpr int kIns = 22;
constexpr int kCtrlEnd = 23;  // also Ctrl+W
constexpr int kCtrlW = 23;
constexpr int kDown = 24;
constexpr int kCtrlY = 25;
constexpr int kCtrlLeft = 26;
constexpr int kEsc = 27;
constexpr int kF1 = 28;
constexpr int kCtrlHome = 29;  // also Ctrl+], the reader's group separator
constexpr int kGroupSeparator = 29;
constexpr int kCtrlPgDn = 30;
constexpr int kCtrlPgUp = 31;
constexpr int kShiftTab = 271;
// F2 .. F10 are -1 .. -9; F11 -40, F12 -41.
constexpr int function_key(int n) { return n == 1 ? kF1 : n <= 10 ? -(n - 1) : -(40 + n - 11); }
// Shift+F1 .. Shift+F10 are -10 .. -19, Ctrl+F1.. -20.., Alt+F1.. -30..
constexpr int shift_function_key(int n) { return -(9 + n); }
constexpr int ctrl_function_key(int n) { return -(19 + n); }
constexpr int alt_function_key(int n) { return -(29 + n); }
constexpr int kShiftF1 = -10;
constexpr int kAltC = 302;
constexpr int kCtrlKeypadMinus = 398;
constexpr int kCtrlKeypadPlus = 400;

// Mouse events.
constexpr int kMouseMove = 1001;
constexpr int kLeftDown = 1002;
constexpr int kLeftUp = 1003;
constexpr int kRightDown = 1004;
constexpr int kRightUp = 1005;
constexpr int kLeftDouble = 1006;
constexpr int kRightDouble = 1007;
constexpr int kWheelForward = 1014;
constexpr int kWheelBackward = 1015;
constexpr int kMouseMoveFrame = 1016;
constexpr bool is_mouse(int code) { return code >= 1001 && code <= 1023; }

// Alt with a letter: 256 plus the letter's keyboard scan code (Alt+C 302).
int alt_letter(char letter);

// Event masks of the input filter.
constexpr int kMaskKeyboard = 128;
constexpr int kMaskAll = 255;

}  // namespace rt::con::key

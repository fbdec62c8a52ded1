// Key codes and colour strings by the names the station's screens use.  The
// start-up creates them for the whole run; the shared tools read NORMAL and
// REVERSO (traffic box of the record lock) and the box colours.
#pragma once

namespace tools {

// Key codes of the console, by the names the station's screens use.
namespace key {
inline constexpr int kDel = 7, kIns = 22, kLeft = 19, kRight = 4, kUp = 5, kDown = 24, kCtrlW = 23, kHome = 1,
                     kEnd = 6, kPgDn = 3, kPgUp = 18, kCtrlPgDn = 30, kCtrlPgUp = 31, kEnter = 13, kF1 = 28,
                     kEsc = 27, kBackspace = 8, kGroupSeparator = 29, kAltC = 302;
// F2 .. F10 are -1 .. -9.
constexpr int f(int n) { return 1 - n; }
}  // namespace key

// Named colours of the station's screens.
namespace colour {
inline constexpr const char* kReverso = "B/W";
inline constexpr const char* kNormal = "W+/B";
inline constexpr const char* kSubraya = "W+/W*";
inline constexpr const char* kIntenso = "BG+/g";
inline constexpr const char* kIntenso2 = "W+/W";
}  // namespace colour

}  // namespace tools

// Key codes and colour strings by the names the station's screens use.  The
// start-up creates them for the whole run; the shared tools read NORMAL and
// REVERSO (traffic box of the record lock) and the box colours.
#pragma once

#include "runtime/console/keys.h"

namespace tools {

// Key codes of the console (runtime/console/keys.h), as the station's
// screens name them.
namespace key {
using namespace rt::con::key;
// F2 .. F10 are -1 .. -9.
constexpr int f(int n) { return function_key(n); }
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

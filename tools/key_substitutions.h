// Key substitutions of single screens: while a scanner code can be typed,
// key 29 (the reader's group separator, also Ctrl+Home) becomes "@"; while an
// authorisation is asked for, "%" becomes Enter.  The owning screen installs
// the action with the console's hotkey table just before its browse or form
// and removes it just after; there is one entry per key code, not a stack.
#pragma once

#include "runtime/console/console.h"

namespace tools {

// PUT_ARROBA: the type-ahead becomes the single character "@" (keys still
// waiting are discarded).  The key that called it is not passed on.
bool put_arroba(rt::con::Console& con);
// PUT_ENTER: the type-ahead becomes one Enter (13), keys waiting discarded.
bool put_enter(rt::con::Console& con);

// The hotkey actions that run them, for Console::set_key.
rt::con::HotkeyAction put_arroba_action(rt::con::Console& con);
rt::con::HotkeyAction put_enter_action(rt::con::Console& con);

// The key codes they are installed on.
inline constexpr int kArrobaKey = 29;
inline constexpr int kEnterKey = 37;  // "%"

}  // namespace tools

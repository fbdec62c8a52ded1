#include "tools/key_substitutions.h"

#include "runtime/console/keys.h"

namespace tools {

// PUT_ARROBA of the suite.
bool put_arroba(rt::con::Console& con) {
  con.keyboard("@");
  return true;
}

// PUT_ENTER of the suite.
bool put_enter(rt::con::Console& con) {
  con.keyboard_codes({rt::con::key::kEnter});
  return true;
}

rt::con::HotkeyAction put_arroba_action(rt::con::Console& con) {
  return [&con](int) { put_arroba(con); };
}

rt::con::HotkeyAction put_enter_action(rt::con::Console& con) {
  return [&con](int) { put_enter(con); };
}

}  // namespace tools

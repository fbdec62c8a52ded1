// Traceability capture of one scanned unit (GET_TRAZA and its helpers).
#pragma once

#include <string>

#include "app/check_env.h"

namespace app {

// Resolves the unit of a traceable product from the scanned text
// `last_cod` (trimmed and padded to 60; left cleaned of separator
// variants).  Reads the current `producto` record.  Results in
// env.check.unit and env.check.unit_ok (false when the operator left with
// Esc).  `hint_box` enables the hint box of the capture box.
void get_traza(CheckEnv& env, std::string& last_cod, bool hint_box);

}  // namespace app

// The check browse of one ticket and its key handler (FUNCION).
#pragma once

#include "app/check_env.h"

namespace app {

// Runs the browse over the check table (alias "tempo39", already filled,
// with the shared tables of the check open) until it ends: ticket complete,
// refund declared, or left with Esc.  Leaves the tables open.
void run_check_browse(CheckEnv& env);

}  // namespace app

// Completion of a check (SALIR): traceability records, voucher, comptes
// file and print hand-off.
#pragma once

#include "app/check_env.h"

namespace app {

// Called once after the browse ends, with the check's tables still open;
// returns with every table closed.
void salir(CheckEnv& env);

}  // namespace app

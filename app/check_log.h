// The check-log writers: APP_VTA (the ticket has no log lines yet) and
// ACTU_VTA (it has).  Both expect the check table current and leave it so.
#pragma once

#include "app/check_env.h"

namespace app {

void app_vta(CheckEnv& env, bool refund);
void actu_vta(CheckEnv& env, bool refund);

}  // namespace app

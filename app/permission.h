// Task permission as the ticket check asks for it (PUEDEN).
#pragma once

#include "app/check_env.h"

namespace app {

// True when the seller of the check may perform `task`, directly or by
// another seller's authorisation.  Selects the area that was current again.
bool pueden(CheckEnv& env, int task);

}  // namespace app

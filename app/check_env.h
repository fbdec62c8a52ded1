// What every routine of one ticket check works with: the console, the work
// areas, the state of the run and the state of this check.
#pragma once

#include "app/context.h"
#include "runtime/console/console.h"
#include "runtime/workarea/workareas.h"

namespace app {

struct CheckEnv {
  rt::con::Console& con;
  rt::wa::WorkAreas& areas;
  RunContext& run;
  CheckContext& check;
};

}  // namespace app

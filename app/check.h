// The check of one ticket (PRINCI): loads the ticket into the seller's check
// table, runs the browse, then the completion.
#pragma once

#include "app/context.h"
#include "runtime/console/console.h"
#include "runtime/workarea/workareas.h"

namespace app {

// Reads ticket, seller and flags from `run`; every table is closed and area
// 1 is current when it returns.
void princi(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run);

}  // namespace app

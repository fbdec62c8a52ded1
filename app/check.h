// The check of one ticket (PRINCI): loads the ticket into the seller's check
// table, runs the browse, then the completion.
#pragma once

#include <string>

#include "app/check_env.h"
#include "app/context.h"
#include "runtime/console/console.h"
#include "runtime/workarea/workareas.h"

namespace app {

// Reads ticket, seller and flags from `run`; every table is closed and area
// 1 is current when it returns.  The ticket is held for this station (see
// ticket_lock.h) from before loading until the completion has ended; while
// another station holds it the operator is told so and nothing is written.
void princi(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run);

// The check itself, for a caller that holds the ticket (princi); it is
// also what a station that takes no ticket lock does.
void check_ticket(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run);

// How loading a ticket ended.
enum class LoadStatus {
  Loaded,           // the check table holds the ticket; the browse may start
  NotFound,         // no check-log line and no sale line of the ticket
  Cancelled,        // the ticket's first sale line is cancelled (ANULA "S")
  CheckTableBusy,   // another station holds this seller's check table
  TablesUnavailable // a shared table or the template could not be opened or is unusable
};

struct LoadOutcome {
  LoadStatus status = LoadStatus::Loaded;
  std::string message;  // what the operator is shown (empty when loaded)
  bool from_log = false; // rebuilt from the check log instead of the sale lines
  bool shown = false;    // the message has been shown already (a table that cannot be used)
};

// The load phase of the check: opens log_env, compenca, producto and
// compitem shared (each in the lowest free area, with its bag, tags and
// relations), deletes and recreates the seller's check table from the
// template with its bag and tags "cb", "codigo", "cp", and fills it from the
// ticket's sale lines or rebuilds it from the check log.  Sets
// env.check.check_table.  On Loaded the check table (alias "tempo39", tag
// "cb") is current on its first line and every table stays open; otherwise
// nothing has been written to any shared table and the tables are left open
// for the caller to close.  Shows nothing on the screen, except the message
// box naming a shared table that cannot be used (then `shown`).
LoadOutcome load_ticket(CheckEnv& env);

}  // namespace app

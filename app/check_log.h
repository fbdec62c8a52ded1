// The check-log writers: APP_VTA (the ticket has no log lines yet) and
// ACTU_VTA (it has).  Both expect the check table current and leave it so.
#pragma once

#include "app/check_env.h"

namespace app {

// The check log gets the ticket's lines: written over its earlier lines when
// it has them, appended otherwise.  The look and the writing run under the
// log's append lock, so two stations completing the same ticket at once
// never both append it.  False (the operator has been told) when the log
// could not be written; then no line of this call stays in the log.  The
// check table is current before and after.
bool write_check_log(CheckEnv& env, bool refund);

// Appends one log line per check line, each in one record write.  When an
// append fails part way, the lines this call appended are marked deleted and
// the operator is told, so the log never holds half a ticket.
void app_vta(CheckEnv& env, bool refund);
void actu_vta(CheckEnv& env, bool refund);

// The first live (not deleted) log line of the ticket, from the log's
// current position on (the caller has sought the ticket); the log area
// stands on it, or at end of file when there is none.
bool seek_live_line(rt::wa::Area& log, double ticket);

}  // namespace app

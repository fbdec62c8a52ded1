// Shared opening with retry, record locking with retry, and the business
// date.  The suite's tables live on a shared drive and are used at the same
// time by its other programs: an open refused because someone holds the
// table exclusively is tried again (traffic box from the fifth failure, Esc
// gives up), a record lock is tried again until it is granted (traffic box
// from the fifth attempt, click and 0.4 s between attempts).
#pragma once

#include <string>

#include "runtime/console/console.h"
#include "runtime/text/date.h"
#include "runtime/workarea/workareas.h"

namespace tools {

// Pause between two open attempts of NETUSE, so that the retry loop does not
// keep a processor busy while another user holds the table.
inline constexpr double kNetuseYieldSeconds = 0.05;

// NETUSE: opens `archivo` shared in the current work area (under `apodo`
// when not empty).  While the open fails because another user holds the
// table, it tries again; from the fifth failure on the traffic box shows
// (whole screen saved first, restored at the end).  Esc typed at any time
// gives up: false.  `el_driver` names the table driver; this system has one
// (DBF with CDX bags and FPT memos), so it is accepted and not needed.
// Failures that are not sharing conflicts (missing or damaged file) are the
// table runtime's errors and pass through, the screen restored.
bool netuse(rt::con::Console& con, rt::wa::WorkAreas& wa, const std::string& archivo, const std::string& apodo = "",
            const std::string& el_driver = "");

// RBLOQUEO2: locks the current record of the current work area, trying
// again until it is granted.  The first four attempts follow one another;
// before the fifth the traffic box is drawn (alias and record number), and
// every attempt from then on is preceded by the blinking marker, a click and
// a wait of 0.4 s (a key ends that wait early, and is consumed).  Returns
// true once locked; the caller writes and unlocks.  When the box was shown,
// the screen is restored, the cursor is normal and the colour is NORMAL.
bool rbloqueo2(rt::con::Console& con, rt::wa::WorkAreas& wa);

// DATE1: the business date, field FECHA of the first record of the date
// table `arch_fecha` (ARCH_FECHA), opened with NETUSE in a free work area
// and closed again; the machine's date when the operator gives up waiting
// with Esc.  An empty table gives the empty date.  The caller's work area is
// selected again.
rt::text::Date date1(rt::con::Console& con, rt::wa::WorkAreas& wa, const std::string& arch_fecha);

}  // namespace tools

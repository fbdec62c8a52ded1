// The lines of the check table as the check browse works them: the area,
// a line's state, the lookup of a scan and the count of one unit.  The
// totals (calcu, faltan_trazar) and the traceability lookup
// (esta_en_traza) are declared in check_browse.h.
#pragma once

#include <string>

#include "app/check_env.h"
#include "app/check_scan.h"
#include "data/table_view.h"

namespace app::check_lines {

using CheckView = layout::View<layout::CheckLine>;

// The check table ("tempo39") as a view, its area, and its area selected.
CheckView view(CheckEnv& env);
rt::wa::Area& table(CheckEnv& env);
rt::wa::Area& select(CheckEnv& env);

// Every unit sold on the line has been counted.
bool complete(const CheckView& line);

// The lookup cascade over the check lines; true when a line was found (it
// is then the current line).  The tag of the last seek stays active.
bool find_line(CheckEnv& env, const scan::LookupKey& key);

// Two lines of one ticket may carry the same product: when the line found
// is complete, the next line with the same key that still waits for units
// takes the scan, so every such line can be completed.
void prefer_open_line(CheckEnv& env);

// Whether the unit's serial was already counted in this check, on any line
// of the same product (a serial is unique only within one GTIN).
bool unit_already_counted(CheckEnv& env, const std::string& serial);

// Counts one unit (env.check.unit) on the current line and appends its
// slot.  A failed write puts the line back as it was, so count and slots
// stay paired, and leaves as the step "No Se Pudo Contar La Unidad".
void count_unit(CheckEnv& env);

}  // namespace app::check_lines

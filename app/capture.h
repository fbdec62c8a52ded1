// Traceability capture of one scanned unit (GET_TRAZA and its helpers).
//
// A scan that already is a GS1 DataMatrix code is split at once; the
// operator is asked only for a lot or an expiry that the code did not
// yield (completion box, prefilled with the last lot and expiry confirmed
// during this check).  Any other scan opens the capture box, where the
// operator scans the package's DataMatrix code (split and typed through the
// other fields) or, without a reader, types at least the serial number.
#pragma once

#include <string>
#include <string_view>

#include "app/check_env.h"

namespace app {

// GET_TRAZA: resolves the unit of a traceable product from the scanned text
// `last_cod` (the browse passes its scan trimmed and padded to 60); the
// text is left cleaned ("+C1" prefix dropped, "<GS>" and "@@" as one "@").
// Reads the current `producto` record.  Results in env.check.unit (always
// at their full widths) and env.check.unit_ok (false when the operator left
// a box with Esc; the caller sets it false before the call).  `hint_box`
// enables the hint box of the capture box.  When a box was shown the screen
// is put back as it was and the colour is NORMAL; after the capture box key
// 29 has no hotkey.
void get_traza(CheckEnv& env, std::string& last_cod, bool hint_box);

// DESDO_TZ: splits `last_cod` into env.check.unit (see gs1::split); with
// `tec` and a recognised code, replaces the type-ahead with the keys that
// retype the serial, the lot and the expiry into the capture box.  Always
// true (it is the code field's VALID).
bool desdo_tz(CheckEnv& env, std::string_view last_cod, bool tec);

// CARTEL4: with `enabled`, the hint box under the capture box for field
// `cual` ('1' to '4'), in that field's colour; the colour is then "w+/r".
// Always true (it is each field's WHEN).
bool cartel4(rt::con::Console& con, char cual, bool enabled);

// GET_BEST_BAR: the current product's barcode: the value of CODPROD when it
// is above 9999999, else CODVAR (0 when `producto` is not open).
double get_best_bar(rt::wa::WorkAreas& areas);

}  // namespace app

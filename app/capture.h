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
// `last_cod` (the browse passes its whole scan); the text is left cleaned
// (reader prefix dropped, "<GS>" and "@@" as one "@").  Reads the current
// `producto` record.  A GS1 code is read whole and refused with a message
// when it is faulty (check digit, date, serial or lot too long, characters
// outside GS1's set), of another product or expired; a serialised code
// opens no box, or the completion box for a missing lot or expiry (offered
// from the last unit of the same GTIN); a code without a serial opens the
// capture box in its serial field; any other text opens the capture box.
// Results in env.check.unit (always at their full widths) and
// env.check.unit_ok (false when the code was refused or the operator left a
// box with Esc; the caller sets it false before the call).  `hint_box`
// enables the hint box of the capture box.  When a box was shown the screen
// is put back as it was and the colour is NORMAL; after the capture box key
// 29 has no hotkey.
void get_traza(CheckEnv& env, std::string& last_cod, bool hint_box);

// DESDO_TZ: splits `last_cod` into env.check.unit (see gs1::split); with
// `tec` and a GS1 code, replaces the type-ahead with the keys that retype
// the serial, the lot and the expiry into the capture box.  It is the code
// field's VALID: false (after a message, the unit as it was) for a GS1 code
// that is faulty, of another product or expired.
bool desdo_tz(CheckEnv& env, std::string_view last_cod, bool tec);

// CARTEL4: with `enabled`, the hint box under the capture box for field
// `cual` ('1' to '4'), in that field's colour; the colour is then "w+/r".
// Always true (it is each field's WHEN).
bool cartel4(rt::con::Console& con, char cual, bool enabled);

// The product code the extra-barcode table "cb" gives a barcode text (14
// characters), 0 when it is not there, the table is absent or cannot be
// read (the operator is told).  The current area is selected again.
double extra_barcode_code(CheckEnv& env, const std::string& barcode14);

// GET_BEST_BAR: the current product's barcode: the value of CODPROD when it
// is above 9999999, else CODVAR (0 when `producto` is not open).
double get_best_bar(rt::wa::WorkAreas& areas);

}  // namespace app

// Splitting a scanned GS1 DataMatrix text into GTIN (01), serial (21), lot
// (10) and expiry (17).
//
// A reader types the code as keystrokes; its group separator arrives as key
// 29 and stands as "@" in every scanned text ("<GS>" typed by hand means the
// same; "@@" counts as one).  Everything here is pure: no screen, no tables.
#pragma once

#include <string>
#include <string_view>

#include "runtime/text/date.h"

namespace app::gs1 {

// The traceability data of one unit, at the widths the unit slot and the
// traceability table use.
struct TraceFields {
  std::string code = std::string(60, ' ');    // TRAZA_TZ: the whole code
  std::string gtin = std::string(14, ' ');    // TRAZA_CB
  std::string serial = std::string(20, ' ');  // TRAZA_SE
  std::string lot = std::string(10, ' ');     // TRAZA_LO
  rt::text::Date expiry;                      // TRAZA_VE
};

// "<GS>" -> "@", then "@@" -> "@", each one left-to-right pass over
// non-overlapping occurrences (so three separators in a row become two).
std::string normalize_separators(std::string_view text);

// A text is taken as a GS1 code when, without leading and trailing blanks, it
// is longer than 20 characters, contains "01" and "21" somewhere, and starts
// with "0", "1" or "2".
bool looks_like_gs1(std::string_view text);

// The expiry in an AI-17 field: "20" + characters 3 to 8 of t as YYYYMMDD;
// the empty date when those are not six digits of a real day.
rt::text::Date date_in(std::string_view t);

// The splitter (DESDO_TZ): works on its own copy of `scanned` and updates
// `fields` as far as the code yields them; fields the code does not reach
// keep their values (except that a code without any separator clears the
// lot and the expiry it does not carry).  A text that is not a GS1 code
// clears `fields.code`; a GS1 code that does not begin with the GTIN (01)
// sets nothing.  After the GTIN the elements may come in any order: serial
// (21) and lot (10) run to the next separator or to the end of the code and
// are cut to 20 and 10 characters; the expiry (17) and other fixed-length
// elements (production date 11, ...) need no separator after them; other
// elements are skipped up to the next separator.
// Returns the processed text (prefix "+C1" dropped, trimmed, separators
// normalised, separators at the end blanked), which the capture needs to
// decide whether to retype fields.
std::string split(std::string_view scanned, TraceFields& fields);

// The keys that retype the split results into the capture box: the serial
// (20 characters), Enter, and when the lot is not blank the lot, Enter and
// the expiry as dd/mm/yy (dd/mm/yyyy with `century`).
std::string retype_keys(const TraceFields& fields, bool century = false);

// "+C1" at the front is a reader's symbology prefix: dropped, and three
// blanks appended so the text keeps its length.
std::string drop_symbology_prefix(std::string_view text);

}  // namespace app::gs1

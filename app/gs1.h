// Reading a scanned GS1 code (DataMatrix, GS1-128, DataBar, QR) into GTIN
// (01), serial (21), lot (10) and expiry (17), and checking it as a GS1
// reader is expected to.
//
// A reader types the code as keystrokes.  It may put its symbology
// identifier in front ("]d2" DataMatrix, "]C1" GS1-128, "]Q3" QR, "]e0"
// DataBar; "+C1" when "]" arrives through a Spanish keyboard layout) and
// send the leading FNC1 as a group separator.  The group separator arrives
// as key 29 and stands as "@" in every scanned text ("<GS>" typed by hand
// means the same; "@@" counts as one).  Everything here is pure: no screen,
// no tables.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/text/date.h"

namespace app::gs1 {

// The widths of the traceability data where it is stored.
inline constexpr std::size_t kCodeWidth = 60, kGtinWidth = 14, kSerialWidth = 20, kLotWidth = 10;

// The traceability data of one unit, at the widths the unit slot and the
// traceability table use.
struct TraceFields {
  std::string code = std::string(kCodeWidth, ' ');      // TRAZA_TZ: the whole code (first 60)
  std::string gtin = std::string(kGtinWidth, ' ');      // TRAZA_CB
  std::string serial = std::string(kSerialWidth, ' ');  // TRAZA_SE
  std::string lot = std::string(kLotWidth, ' ');        // TRAZA_LO
  rt::text::Date expiry;                                // TRAZA_VE
};

// Why a GS1 code is refused.
enum class Fault {
  None,
  CheckDigit,     // the GTIN's check digit does not match (a misread)
  Date,           // a date of AI 11 to 17 is not a real day
  SerialTooLong,  // serial over 20 characters: misread, or two codes joined
  LotTooLong,     // lot wider than the stored lot
  Character,      // serial or lot with a character outside GS1's 82
  Malformed,      // an element cut short, empty or over its length
};

struct Problem {
  Fault fault = Fault::None;
  std::string ai;      // the element it is in ("01", "17", "21", ...)
  char character = 0;  // Fault::Character: the character refused
  explicit operator bool() const { return fault != Fault::None; }
};

// The operator's message for a refused code, in code page 850.
std::string problem_message(const Problem& p);

// "<GS>" -> "@", then "@@" -> "@", each one left-to-right pass over
// non-overlapping occurrences (so three separators in a row become two); a
// raw group separator (29) is "@" as well.
std::string normalize_separators(std::string_view text);

// What a reader puts in front of a code: its symbology identifier ("]" or
// "+", a letter and a digit) and separators (the leading FNC1).  Dropped,
// together with blanks around the code.
std::string strip_reader_prefix(std::string_view text);

// A GS1 code by its structure: after the reader's prefix, AI 01 and 14
// digits come first.
bool is_gs1(std::string_view text);

// The GTIN's last digit is its mod-10 check digit (weights 3, 1, 3, ...
// from the right, the check digit excluded).  Needs 14 digits.
bool gtin_check_digit_ok(std::string_view gtin14);

// A GS1 date YYMMDD: year 20YY, month 1 to 12, day 00 meaning the last day
// of the month, a real day otherwise.
std::optional<rt::text::Date> gs1_date(std::string_view yymmdd);

// GS1's set of 82 characters allowed in serials, lots and other texts.
bool in_character_set(char c);

// One scanned text read as GS1.
struct Reading {
  // The code as kept: reader prefix dropped, separators as "@" ("<GS>" and
  // "@@" as one).
  std::string text;
  bool gs1 = false;  // it is a GS1 code (the rest is meaningful only then)
  Problem problem;   // the first fault found; the fields are then not set
  TraceFields fields;  // code (first 60 of `text`), GTIN, serial, lot, expiry
  bool has_serial = false, has_lot = false, has_expiry = false;
};

// Reads the whole text, however long: after the GTIN the elements may come
// in any order; elements of predefined length (00, 01-04, 11-19, 20,
// 31xx-36xx, 41x) need no separator after them, every other element runs
// to the next separator or to the end of the code.  Only `fields.code` is
// cut (to 60); a serial or lot that does not fit is a fault, never cut.
Reading read(std::string_view scanned);

// The splitter (DESDO_TZ) over `fields`: a text that is not a GS1 code
// clears `fields.code`; a GS1 code that is refused leaves `fields` as they
// were; an accepted one sets all five fields from the code (blank or empty
// where it carries nothing).
Reading split(std::string_view scanned, TraceFields& fields);

// The keys that retype the split results into the capture box: the serial
// (20 characters), Enter, and when the lot is not blank the lot, Enter and
// the expiry as dd/mm/yy (dd/mm/yyyy with `century`).
std::string retype_keys(const TraceFields& fields, bool century = false);

}  // namespace app::gs1

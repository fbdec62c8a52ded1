// The pieces of the check browse's scanning that need no screen and no
// table: what the typed key adds to the scan buffer, what a scan is looked
// up by, the 100-character unit slot kept in a check line's SERIES memo,
// and the colour of a browse row read back from the screen.
#pragma once

#include <string>
#include <string_view>

#include "app/gs1.h"
#include "app/product_rules.h"

namespace app::scan {

// Whether a key is a character the scan buffer takes (codes 1 to 255, the
// group separator among them); function keys, Alt and Ctrl combinations
// and mouse events are not.
bool is_character_key(int key);
// The character a key adds to the scan buffer: "@" for the group
// separator (29), otherwise the character of the key code.
char buffer_char(int key);

// A scan after the reader's prefix and GS1 recognition.
struct Recognised {
  // What is looked up: the 14-digit GTIN of a GS1 code, otherwise the scan
  // itself without the reader's prefix.
  std::string lookup;
  // The GS1 reading of the whole scan (reading.gs1 false for other scans);
  // reading.text is what the capture receives.
  gs1::Reading reading;
};
Recognised recognise(std::string_view letras);

// How the lookup key is searched among the check lines.
enum class LookupKind { ProductCode, Barcode };
struct LookupKey {
  LookupKind kind;
  double number;      // the numeric value of the lookup text
  std::string code7;  // the text trimmed, cut or filled to 7 (product code)
  std::string cp14;   // the text trimmed, cut or filled to 14 (barcode text)
};
// A value below 9999999 is a product code; 9999999 and above a barcode.
LookupKey lookup_key(std::string_view lookup);

inline constexpr std::size_t kSlotWidth = 100;
inline constexpr std::size_t kSerialWidth = gs1::kSerialWidth;

// One unit slot: serial (20), lot (10), expiry as YYYYMMDD or 8 blanks,
// "@@", the whole code (60).  Every part is cut or filled to its width.
std::string unit_slot(const gs1::TraceFields& unit);

// Whether `serial` (compared at its 20 characters, trailing blanks
// included) is the serial of one of the slots in `series`.  Only the
// serial place of each slot is compared, so a serial that merely occurs
// inside another unit's code or across two slots does not count.
bool serial_in_slots(std::string_view series, std::string_view serial);

// The colour of a browse row from its text on the screen: the "Vend"
// quantity stands in characters 34 to 36 and the "Cheq" quantity in 41 to
// 43 (1-based), blanks reading as 0.
LineColour row_colour(std::string_view row);

// Screen columns (0-based) where a row's quantities end; the browse is laid
// out so the "@Z 999" values end here.
inline constexpr int kSoldLastColumn = 35;
inline constexpr int kCountedLastColumn = 42;

}  // namespace app::scan

#include "app/check_scan.h"

#include "runtime/text/convert.h"

namespace app::scan {

using rt::text::pad_right;
using rt::text::trim;

bool is_character_key(int key) { return key >= 1 && key <= 255; }

char buffer_char(int key) {
  if (key == 29) return '@';
  return static_cast<char>(static_cast<unsigned char>(key & 0xFF));
}

Recognised recognise(std::string_view letras) {
  Recognised r{"", gs1::read(letras)};
  r.lookup = r.reading.gs1 ? r.reading.text.substr(2, 14) : gs1::strip_reader_prefix(letras);
  return r;
}

LookupKey lookup_key(std::string_view lookup) {
  const double v = rt::text::val(lookup);
  const std::string t = trim(lookup);
  return LookupKey{v < 9999999 ? LookupKind::ProductCode : LookupKind::Barcode, v, pad_right(t, 7), pad_right(t, 14)};
}

std::string unit_slot(const gs1::TraceFields& unit) {
  std::string slot;
  slot.reserve(kSlotWidth);
  slot += pad_right(unit.serial, kSerialWidth);
  slot += pad_right(unit.lot, 10);
  slot += unit.expiry.empty() ? std::string(8, ' ') : rt::text::dtos(unit.expiry);
  slot += "@@";
  slot += pad_right(unit.code, 60);
  return slot;
}

bool serial_in_slots(std::string_view series, std::string_view serial) {
  const std::string want = pad_right(serial, kSerialWidth);
  for (std::size_t at = 0; at + kSerialWidth <= series.size(); at += kSlotWidth) {
    if (series.substr(at, kSerialWidth) == want) return true;
  }
  return false;
}

LineColour row_colour(std::string_view row) {
  const auto part = [&](std::size_t first) -> std::string_view {
    return first < row.size() ? row.substr(first, 3) : std::string_view{};
  };
  const double sold = rt::text::val(part(kSoldLastColumn - 2));
  const double counted = rt::text::val(part(kCountedLastColumn - 2));
  return line_colour(sold, counted);
}

}  // namespace app::scan

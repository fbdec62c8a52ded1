// Any scanned text, however long: the reading never crashes; an accepted
// GS1 code yields a GTIN with its check digit, a serial and a lot within
// their widths and GS1's characters, an expiry in the 2000s and the first 60
// characters of the code; a refused code leaves the unit being captured as
// it was, so nothing can be counted from it, and the browse refuses exactly
// what the capture refuses.  The first byte chooses whether the unit starts
// blank or filled, as in the capture box when the operator goes back to the
// code field.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/check_scan.h"
#include "app/gs1.h"

namespace {

// Names the broken rule by its line before stopping.
void check(bool ok, int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "gs1_split: rule on line %d broken\n", line);
  std::abort();
}

bool same(const app::gs1::TraceFields& a, const app::gs1::TraceFields& b) {
  return a.code == b.code && a.gtin == b.gtin && a.serial == b.serial && a.lot == b.lot && a.expiry == b.expiry;
}

bool gs1_text(const std::string& s) {
  for (char c : s)
    if (c != ' ' && !app::gs1::in_character_set(c)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  using namespace app::gs1;
  const bool filled = (data[0] & 1) != 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  TraceFields start;
  if (filled) {
    start.code = std::string(60, 'C');
    start.gtin = std::string(14, '9');
    start.serial = std::string(20, 'S');
    start.lot = std::string(10, 'L');
    start.expiry = *rt::text::Date::from_ymd(2031, 5, 6);
  }
  TraceFields f = start;
  const Reading r = split(text, f);
  check(f.gtin.size() == 14 && f.serial.size() == 20 && f.lot.size() == 10 && f.code.size() == 60);

  // The browse decides on the same reading as the capture.
  const app::scan::Recognised seen = app::scan::recognise(text);
  check(seen.reading.gs1 == r.gs1 && seen.reading.problem.fault == r.problem.fault);
  check(!r.gs1 || seen.lookup == r.text.substr(2, 14));

  if (!r.gs1) {
    check(f.code == std::string(60, ' ') && f.serial == start.serial && f.lot == start.lot);
    return 0;
  }
  if (r.problem) {
    check(same(f, start));  // refused: the unit is not touched
    check(!problem_message(r.problem).empty());
    return 0;
  }
  check(gtin_check_digit_ok(f.gtin));
  check(gs1_text(f.serial) && gs1_text(f.lot));
  check(f.serial.find('@') == std::string::npos && f.lot.find('@') == std::string::npos);
  check(r.has_serial == (f.serial != std::string(20, ' ')) && r.has_lot == (f.lot != std::string(10, ' ')));
  check(r.has_expiry == !f.expiry.empty());
  check(f.expiry.empty() || (f.expiry.year() >= 2000 && f.expiry.year() <= 2099));
  check(f.code.compare(0, std::min<std::size_t>(60, r.text.size()), r.text, 0, 60) == 0);
  const std::string slot = app::scan::unit_slot(f);
  check(slot.size() == app::scan::kSlotWidth && app::scan::serial_in_slots(slot, f.serial));
  const std::string keys = retype_keys(f, filled);
  check(keys.size() == 21 || keys.size() == 21 + 11 + 8 || keys.size() == 21 + 11 + 10);
  return 0;
}

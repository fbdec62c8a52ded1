// Any scanned text: the splitter never crashes, always hands back its
// fields at their widths, never leaves a separator inside a serial or a
// lot, and reads expiries only in the 2000s.  The first byte chooses
// whether the fields start blank or filled, as in the capture box when the
// operator goes back to the code field.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/gs1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool filled = (data[0] & 1) != 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  app::gs1::TraceFields f;
  if (filled) {
    f.code = std::string(60, 'C');
    f.gtin = std::string(14, '9');
    f.serial = std::string(20, 'S');
    f.lot = std::string(10, 'L');
    f.expiry = *rt::text::Date::from_ymd(2031, 5, 6);
  }
  const std::string processed = app::gs1::split(text, f);
  if (f.gtin.size() != 14 || f.serial.size() != 20 || f.lot.size() != 10 || f.code.size() != 60) std::abort();
  if (f.serial.find('@') != std::string::npos || f.lot.find('@') != std::string::npos) std::abort();
  if (!f.expiry.empty() && (f.expiry.year() < 2000 || f.expiry.year() > 2099)) std::abort();
  if (processed.find("@@") != std::string::npos && text.find("@@@") == std::string::npos &&
      text.find("<GS>") == std::string::npos)
    std::abort();
  const std::string keys = app::gs1::retype_keys(f, filled);
  if (keys.size() != 21 && keys.size() != 21 + 11 + 8 && keys.size() != 21 + 11 + 10) std::abort();
  return 0;
}

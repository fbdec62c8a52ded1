// Any scanned text: the splitter never crashes and always hands back its
// fields at their widths.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/gs1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  app::gs1::TraceFields f;
  const std::string processed = app::gs1::split(text, f);
  if (f.gtin.size() != 14 || f.serial.size() != 20 || f.lot.size() != 10 || f.code.size() != 60) std::abort();
  if (!f.expiry.empty() && (f.expiry.year() < 2000 || f.expiry.year() > 2099)) std::abort();
  (void)app::gs1::retype_keys(f);
  (void)app::gs1::normalize_separators(processed);
  return 0;
}

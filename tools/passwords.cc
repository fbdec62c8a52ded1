#include "tools/passwords.h"

#include <cmath>

#include "data/table_view.h"
#include "runtime/text/convert.h"

namespace tools {

std::string cripta(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto code = static_cast<unsigned char>(c);
    if (code != 32) c = static_cast<char>(255 - code);
  }
  return out;
}

long long crc_31(const std::vector<ChecksumField>& record) {
  const char* const kChecksumField = layout::View<layout::Seller>::name(layout::Seller::CRC_31);
  double sum = 0;
  for (const auto& f : record) {
    // Plain substring test on the upper-case name: "crc_31" or "OLD_CRC_31"
    // are left out like CRC_31 itself.
    if (rt::text::upper(f.name).find(kChecksumField) != std::string::npos) continue;
    std::string text;
    if (f.type == 'N' || f.type == 'F')
      text = rt::text::trim(rt::text::str(f.value.number(), f.length, f.decimals));
    else if (f.type == 'C')
      text = rt::text::trim(f.value.text());
    for (char c : text) sum += static_cast<unsigned char>(c);
  }
  // In this order, in floating point, as the suite's programs compute it.
  return static_cast<long long>(std::floor(sum / 3 * 10));
}

}  // namespace tools

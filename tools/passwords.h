// Password scrambling and the record checksum of the seller and task tables.
// The suite's other programs scramble and sum the same way, so both must
// match them bit for bit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/text/value.h"

namespace tools {

// CRIPTA: every byte except the blank becomes 255 minus its code; blanks stay.
// Its own inverse for every byte but 223 (which scrambles to a blank).
std::string cripta(std::string_view text);

// One field of a record as the checksum sees it.
struct ChecksumField {
  std::string name;   // upper-case field name
  char type;          // 'C', 'N', 'F', 'D', 'L', 'M', ...
  int length;
  int decimals;
  rt::Value value;    // text for C, number for N/F; ignored for other types
};

// GET_CRC_31 over a record: numbers written with their field's width and
// decimals and trimmed, texts trimmed, other types and every field whose name
// contains "CRC_31" left out; the integer part of (sum of the codes) / 3 * 10.
long long crc_31(const std::vector<ChecksumField>& record);

}  // namespace tools

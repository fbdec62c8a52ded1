// What the two units of the access control (seller validation in
// access.cc, task permission in task_permission.cc) read the same way from
// the seller and task tables: blank texts, the seller number's key, and a
// record's checksum.
#pragma once

#include <string>
#include <string_view>

#include "data/table_view.h"
#include "runtime/text/convert.h"
#include "tools/access.h"

namespace tools::access_records {

inline std::string without_blanks(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ' ') out += c;
  return out;
}

inline bool is_blank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

// The key of a seller number in the seller table's number tag.
inline std::string seller_key(double number) { return rt::text::str(number, 4); }

// The record's CRC_31 against the checksum of its other fields.
template <class T>
bool checksum_ok(const layout::View<T>& v) {
  return static_cast<double>(get_crc_31(v.area())) == v.number(T::CRC_31);
}

}  // namespace tools::access_records

// Keys of the configuration table: the setting name upper-cased and filled
// to 15 characters, then the branch right-aligned in 2.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// The 17-character key under which GET_INI seeks a setting.  A branch text
// beginning with "0" is the general entry (" 0"); otherwise its numeric value
// in 2 characters ("5" -> " 5", "123" -> "**").
std::string ini_key(std::string_view name, std::string_view branch);

}  // namespace tools

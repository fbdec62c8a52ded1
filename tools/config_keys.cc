#include "tools/config_keys.h"

#include "runtime/text/convert.h"

namespace tools {

std::string ini_key(std::string_view name, std::string_view branch) {
  const std::string name_part = rt::text::pad_right(rt::text::upper(name), 15);
  const std::string branch_part =
      branch.substr(0, 1) == "0" ? std::string(" 0") : rt::text::str(rt::text::val(branch), 2, 0);
  return name_part + branch_part;
}

}  // namespace tools

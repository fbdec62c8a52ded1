#include "tools/text_tools.h"

#include <cmath>

#include "runtime/text/convert.h"

namespace tools {

std::string medio(std::string_view text, double largo) {
  const std::string t = rt::text::trim(text);
  const double blanks = std::floor(largo - static_cast<double>(t.size()) / 2.0);
  return std::string(blanks > 0 ? static_cast<std::size_t>(blanks) : 0, ' ') + t;
}

std::string str_0(std::string_view text, int width) {
  if (width <= 0) return "";
  const auto w = static_cast<std::size_t>(width);
  std::string t(text);
  if (!rt::text::trim(t).empty()) t = rt::text::trim(t);
  return rt::text::pad_left(std::string(w, '0') + t, w);
}

std::string str_0(double number, int width) { return str_0(rt::text::str(number, width, 0), width); }

}  // namespace tools

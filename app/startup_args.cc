#include "app/startup_args.h"

#include <algorithm>
#include <cmath>

#include "runtime/text/convert.h"

namespace app {

using rt::text::trim;
using rt::text::upper;
using rt::text::val;

int id_number(double n) {
  if (std::isnan(n)) return 0;
  return static_cast<int>(std::lround(std::clamp(n, -999999999.0, 999999999.0)));
}

StartArguments parse_start_arguments(const std::vector<std::string>& p) {
  StartArguments a;
  if (p.empty()) return a;
  a.single_check = true;
  a.ticket = id_number(val(p[0]));
  if (p.size() > 1) {
    a.seller = id_number(val(p[1]));
    a.seller_given = true;
  }
  a.trace_only = p.size() > 2;
  a.cancel_voucher = p.size() > 3;
  return a;
}

std::string machine_number(std::string_view env_value) {
  const double n = val(trim(env_value));
  if (n == 0) return "55";
  return trim(rt::text::str(n, 4, 0));
}

std::string date_table_name(std::string_view env_value) {
  const std::string t = upper(trim(env_value));
  return t.empty() ? "FEC_SYS" : t;
}

bool traceability_on(std::string_view configured) { return upper(configured).substr(0, 1) == "S"; }

}  // namespace app

// What the station takes from its command line and environment at start-up.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

struct StartArguments {
  bool single_check = false;  // a ticket was given: one check, no entry form
  int ticket = 0;
  int seller = 0;
  bool seller_given = false;
  bool trace_only = false;      // any third argument, whatever its text
  bool cancel_voucher = false;  // any fourth argument, whatever its text
};

// The positional arguments (ticket, seller, trace-only, cancel-voucher);
// numbers are read by their leading numeric part ("abc" is 0) as id_number
// does.
StartArguments parse_start_arguments(const std::vector<std::string>& positional);

// A number that names something (ticket, seller, branch) as an integer: the
// nearest one, as STR() shows it, kept within 9 digits (a number wider than
// its field matches nothing either way).
int id_number(double n);

// MAQUINA: trimmed and read as a number; 0 (absent, 0, not numeric) gives
// "55"; otherwise the number rounded, right-aligned in 4 characters (four
// asterisks when it needs more) and trimmed: "007" -> "7", "12.7" -> "13".
std::string machine_number(std::string_view env_value);

// ARCH_FECHA: trimmed and upper-cased; "FEC_SYS" when blank.
std::string date_table_name(std::string_view env_value);

// The traceability switch: the configured value, upper-cased, begins with "S".
bool traceability_on(std::string_view configured);

}  // namespace app

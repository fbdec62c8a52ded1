// What the units of the completion share: a line of the check table as it
// is read, the ticket's key, the opening of a table of the suite, and the
// records made for a traceability-only run whose ticket has none yet.
#pragma once

#include <string>
#include <vector>

#include "app/check_env.h"
#include "data/layouts.h"
#include "runtime/text/date.h"

namespace app::completion {

// One line of the check table, as the completion reads it.
struct ReadLine {
  double numero = 0;
  double cb = 0;
  bool traceable = false;
  rt::text::Date fecha_vta;
  std::string hora_vta;
  std::string descrip;
  std::string series;
};

// The key of a ticket in the suite's tables ("TK" and the number in 6).
std::string ticket_key(double numero);

// Opens a table of the suite in the lowest free work area with its order
// bags, checked against its layout (a missing table, field or bag is named
// to the operator), and makes `tag` active when given.
bool open_suite_table(CheckEnv& env, const layout::TableLayout& spec, const std::string& tag = "");

// A traceability-only run whose ticket has no record yet: one record per
// captured unit of every traceable line (one for a line without any), with
// the sale's data, the fiscal voucher number and the pharmacy's identity.
void create_records(CheckEnv& env, const std::vector<ReadLine>& lines, double numero);

}  // namespace app::completion

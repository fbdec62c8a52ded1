// Configuration lookup: one named setting of the configuration table `ini`
// (GET_INI) and one number of the numbering table `numeros` (GET_NUM).  Each
// lookup opens its table shared in the lowest free work area, reads, closes
// it again and selects the caller's work area again; nothing is written and
// no message is shown.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/workarea/workareas.h"

namespace tools {

// GET_INI: the trimmed value stored for setting `cual` (any case, first 15
// characters) and branch `pto` ("0" for the general entry), or `defa` when
// the setting is absent or blank.  Without "ini.dbf" in the working folder
// the default comes at once.  A configuration table that cannot be read
// (bag "ini" missing or damaged, table damaged or held exclusively by
// someone else) also gives the default: the station then starts with its
// defaults instead of failing; `problem`, when given, then receives what is
// wrong (it is left alone otherwise).
std::string get_ini(rt::wa::WorkAreas& wa, std::string_view cual, std::string_view pto, std::string_view defa = "",
                    std::string* problem = nullptr);
// The same for several settings, the table and its bag opened once: one
// value per query, in the queries' order.
struct IniQuery {
  std::string_view cual, pto, defa;
};
std::vector<std::string> get_ini(rt::wa::WorkAreas& wa, const std::vector<IniQuery>& queries,
                                 std::string* problem = nullptr);

// GET_NUM: NUCOM of the first record, in physical order and deleted ones
// included, whose TICO begins with `que`; 0 when there is none or when
// `numeros` cannot be opened or read.
double get_num(rt::wa::WorkAreas& wa, std::string_view que);

// GEN_DESCX: the product line of field DESCRIPX of the table open under
// `cual` ("producto" when empty): its first 44 characters trimmed, a blank,
// its last 24 characters trimmed, filled with blanks and cut to 69.
// Throws rt::wa::WorkAreaError (naming the alias) when no table is open
// under that alias or it has no DESCRIPX field.
std::string gen_descx(rt::wa::WorkAreas& wa, std::string_view cual = "");

}  // namespace tools

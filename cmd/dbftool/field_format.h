// How dbftool shows one stored field value in JSON and CSV, and how it reads
// one back from JSON (the dump format):
//   C, V        text (UTF-8; trailing blanks removed unless raw)
//   N, F        number, null when blank (the stored digits, none lost)
//   I           integer;  B  number;  Y  decimal string ("12.5")
//   D           "YYYY-MM-DD" or null;  T  "YYYY-MM-DDTHH:MM:SS" or null
//   L           true / false / null
//   M           memo text, null when there is no memo
//   binary      {"hex": "..."} (Q, W, G, P, and text whose bytes are not
//               characters of the table's code page)
//   unreadable  {"invalid": "<stored text>"} (verify reports these)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cmd/dbftool/json.h"
#include "runtime/text/codepage.h"

namespace dbftool {

struct FieldShape {
  char type = 'C';
  int length = 0;
  int decimals = 0;
};

// Writes the value of a field stored in `raw` (the field's bytes of the
// record; for V/Q fields only the used part).  Memo-type fields are written
// by the caller from the memo's bytes with write_memo_json.
void write_field_json(json::Writer& w, const FieldShape& f, std::string_view raw, rt::text::CodePage cp,
                      bool keep_blanks);
void write_memo_json(json::Writer& w, char type, std::string_view bytes, rt::text::CodePage cp);

// The same value as one CSV cell (without quoting): text as UTF-8, numbers as
// stored, dates ISO, logicals T/F, nothing for null; binary as hex.
std::string field_csv(const FieldShape& f, std::string_view raw, rt::text::CodePage cp, bool keep_blanks);
std::string memo_csv(char type, std::string_view bytes, rt::text::CodePage cp);
// Quotes a CSV cell when it holds a comma, quote or line break.
std::string csv_quote(std::string_view cell);

// A problem with a stored value (for verify); nullopt when it reads cleanly.
std::optional<std::string> field_problem(const FieldShape& f, std::string_view raw);

bool is_memo_type(char type);  // M, G, P, W: stored in the memo file

}  // namespace dbftool

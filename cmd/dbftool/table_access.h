// What the subcommands share around the table engine: opening a table for
// reading, the code-page option, NULL flags and field shapes.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cmd/dbftool/command.h"
#include "cmd/dbftool/field_format.h"
#include "runtime/table/table.h"

namespace dbftool {

// The code page of "--codepage N" (437, 850, 1251, 1252); UsageError for
// another number.  nullopt when the option is empty.
std::optional<rt::text::CodePage> codepage_option(const std::string& value);

// Opens a table shared and read-only (other programs keep working on it).
std::unique_ptr<rt::table::Table> open_for_reading(const std::string& path,
                                                   std::optional<rt::text::CodePage> cp = std::nullopt);

// True when the record's _NullFlags marks field i as NULL.
bool null_flagged(const rt::table::Record& rec, int i);

FieldShape shape_of(const rt::table::Field& f);

// Writes field i of rec as JSON (see field_format.h).  A memo that cannot be
// read is shown as {"invalid": ...} and described in *problem.
void write_record_field(json::Writer& w, rt::table::Table& t, const rt::table::Record& rec, int i, bool keep_blanks,
                        std::string* problem);
std::string record_field_csv(rt::table::Table& t, const rt::table::Record& rec, int i, bool keep_blanks,
                             std::string* problem);

// The exit code for an engine error: reading or writing.
int exit_code_for(const rt::table::TableError& e, bool writing);
// The same for any error of a command (table, order bag or file errors).
int exit_code_for_any(const std::exception& e, bool writing);
// True when the error is another program holding a table, bag or lock.
bool is_busy(const std::exception& e);

}  // namespace dbftool

// dbftool dump FILE: every record in physical order, as JSON lines or CSV.
#include <cstdio>

#include "cmd/dbftool/command.h"
#include "cmd/dbftool/json.h"
#include "cmd/dbftool/table_access.h"

namespace dbftool {
namespace {

using rt::table::Record;
using rt::table::Table;
using rt::table::TableError;

int run(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {{"--format", true, false}, {"--codepage", true, false}, {"--raw", false, false}});
  const std::string& file = single_file(args, "dump");
  const std::string format = args.value("--format", "jsonl");
  if (format != "jsonl" && format != "csv") throw UsageError("--format must be jsonl or csv");
  const auto cp = codepage_option(args.value("--codepage"));
  const bool keep_blanks = args.has("--raw");

  std::unique_ptr<Table> t;
  try {
    t = open_for_reading(file, cp);
  } catch (const TableError& e) {
    report_error(e.what());
    return exit_code_for(e, false);
  }
  if (!t->schema().code_page_known && !cp) {
    char mark[8];
    std::snprintf(mark, sizeof mark, "0x%02X", t->schema().code_page_mark);
    report_error(t->path() + ": code-page mark " + mark +
                 " is unknown: say with --codepage N (437, 850, 1251, 1252) how to read its texts");
    return kExitCannotRead;
  }
  const int nfields = static_cast<int>(t->schema().fields.size());
  int problems = 0;
  std::string out;
  auto flush = [&](bool force) {
    if (force || out.size() > (1u << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  };
  if (format == "csv") {
    out += "recno,deleted";
    for (const auto& f : t->schema().fields) out += "," + csv_quote(f.name);
    out += "\r\n";
  }
  try {
    const std::uint32_t count = t->record_count();
    Record rec = t->blank();
    for (std::uint32_t n = 1; n <= count; ++n) {
      t->read_into(n, rec);
      if (format == "jsonl") {
        json::Writer w(out);
        w.begin_object();
        w.key("recno"); w.number(std::to_string(n));
        w.key("deleted"); w.boolean(rec.deleted());
        w.key("values");
        w.begin_object();
        for (int i = 0; i < nfields; ++i) {
          std::string problem;
          w.key(rec.field(i).name);
          write_record_field(w, *t, rec, i, keep_blanks, &problem);
          if (!problem.empty()) {
            report_error(t->path() + ": record " + std::to_string(n) + ": " + problem);
            ++problems;
          }
        }
        w.end_object();
        w.end_object();
        out.push_back('\n');
      } else {
        out += std::to_string(n) + (rec.deleted() ? ",T" : ",F");
        for (int i = 0; i < nfields; ++i) {
          std::string problem;
          out += "," + csv_quote(record_field_csv(*t, rec, i, keep_blanks, &problem));
          if (!problem.empty()) {
            report_error(t->path() + ": record " + std::to_string(n) + ": " + problem);
            ++problems;
          }
        }
        out += "\r\n";
      }
      flush(false);
    }
  } catch (const TableError& e) {
    flush(true);
    report_error(e.what());
    return exit_code_for(e, false);
  }
  flush(true);
  return problems ? kExitProblems : kExitOk;
}

const CommandRegistrar reg({"dump", "dump FILE [--format jsonl|csv] [--codepage N] [--raw]",
                            "show every record in physical order",
                            "  --format jsonl|csv   one JSON object per line (default) or CSV with a heading row\n"
                            "  --codepage N         read texts as code page N (437, 850, 1251, 1252)\n"
                            "                       instead of the one the table is marked with (needed\n"
                            "                       when the mark is unknown: such a table is never written)\n"
                            "  --raw                keep the trailing blanks of text fields\n\n"
                            "JSON: {\"recno\": 1, \"deleted\": false, \"values\": {\"NAME\": value, ...}} where\n"
                            "C is text, N/F/B/I a number or null when blank, Y a decimal string,\n"
                            "D \"YYYY-MM-DD\" or null, T \"YYYY-MM-DDTHH:MM:SS\" or null, L true/false/null,\n"
                            "M the memo text (null: no memo), binary values {\"hex\": \"...\"}, NULL values\n"
                            "null, unreadable values {\"invalid\": \"...\"} (also reported on stderr).\n",
                            run});

}  // namespace
}  // namespace dbftool

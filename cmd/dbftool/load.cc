// dbftool load FILE < records.jsonl: appends records given in the dump
// format, each under the append lock, in a shared open, keeping every tag of
// the table's own order bag.
//
// Every line is checked first; when any line is bad, every bad line is
// reported with its number and nothing is written.  A bag whose tags cannot
// be kept stops the load before anything is written, too.  Then each record
// is appended whole (its memos first, then the record under the header lock,
// its keys under the bag's lock), so another program never sees half a
// record.
#include <cmath>
#include <cstdio>
#include <iostream>

#include "cmd/dbftool/bag_access.h"
#include "cmd/dbftool/command.h"
#include "cmd/dbftool/json.h"
#include "cmd/dbftool/table_access.h"
#include "runtime/cdx/table_index.h"
#include "runtime/os/file.h"

namespace dbftool {
namespace {

using rt::table::Field;
using rt::table::FieldType;
using rt::table::Record;
using rt::table::Table;
using rt::table::TableError;

struct Pending {
  std::size_t line = 0;
  Record record;
  std::vector<std::pair<int, std::string>> memos;  // field index, code-page bytes
};

class LineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decimal places a JSON number text carries (trailing zeros do not count);
// -1 when it has an exponent.
int decimals_of(const std::string& number) {
  if (number.find_first_of("eE") != std::string::npos) return -1;
  auto dot = number.find('.');
  if (dot == std::string::npos) return 0;
  std::size_t end = number.size();
  while (end > dot + 1 && number[end - 1] == '0') --end;
  return static_cast<int>(end - dot - 1);
}

// Text bytes from a JSON value: a string (UTF-8, put into the code page) or
// {"hex": "..."} (bytes as they are).
std::string text_bytes(const json::Value& v, const Field& f, rt::text::CodePage cp) {
  if (v.kind == json::Value::Kind::String) {
    std::string bad;
    auto bytes = json::encode_text(v.text, cp, &bad);
    if (!bytes)
      throw LineError("field " + f.name + ": character '" + bad + "' has no place in code page " +
                      std::to_string(static_cast<int>(cp)));
    return *bytes;
  }
  if (v.kind == json::Value::Kind::Object && v.members.size() == 1 && v.members[0].name == "hex" &&
      v.members[0].value.kind == json::Value::Kind::String) {
    auto bytes = json::from_hex(v.members[0].value.text);
    if (!bytes) throw LineError("field " + f.name + ": \"hex\" must hold pairs of hex digits");
    return *bytes;
  }
  throw LineError("field " + f.name + ": expected a text, got " + json::kind_name(v.kind));
}

void set_field(Pending& p, Table& t, int i, const json::Value& v) {
  const Field& f = p.record.field(i);
  const auto K = v.kind;
  const std::string where = "field " + f.name + " " + f.describe();
  if (f.is_memo()) {
    if (K == json::Value::Kind::Null) return;
    if (f.type != FieldType::Memo) throw LineError(where + ": this engine does not write such fields");
    p.memos.emplace_back(i, text_bytes(v, f, t.code_page()));
    return;
  }
  if (K == json::Value::Kind::Null) return;  // blank
  rt::Value value;
  switch (f.type) {
    case FieldType::Character: {
      std::string bytes = text_bytes(v, f, t.code_page());
      std::size_t used = bytes.size();
      while (used > f.length && bytes[used - 1] == ' ') --used;  // trailing blanks may go
      if (used > f.length)
        throw LineError(where + ": text of " + std::to_string(bytes.size()) + " characters does not fit");
      bytes.resize(used);
      value = rt::Value(bytes);
      break;
    }
    case FieldType::Numeric:
    case FieldType::Float: {
      if (K != json::Value::Kind::Number) throw LineError(where + ": expected a number, got " + json::kind_name(K));
      const int dec = decimals_of(v.text);
      if (dec > f.decimals)
        throw LineError(where + ": " + v.text + " has more decimals than the field holds");
      const double n = std::strtod(v.text.c_str(), nullptr);
      if (!std::isfinite(n)) throw LineError(where + ": " + v.text + " is out of range");
      value = rt::Value(n);
      break;
    }
    case FieldType::Date: {
      if (K != json::Value::Kind::String) throw LineError(where + ": expected \"YYYY-MM-DD\", got " + json::kind_name(K));
      const std::string& s = v.text;
      std::optional<rt::text::Date> d;
      if (s.size() == 10 && s[4] == '-' && s[7] == '-') {
        std::string digits = s.substr(0, 4) + s.substr(5, 2) + s.substr(8, 2);
        bool ok = true;
        for (char c : digits) ok = ok && c >= '0' && c <= '9';
        if (ok) d = rt::text::stod(digits);
      }
      if (!d || d->empty()) throw LineError(where + ": \"" + s + "\" is not a date (YYYY-MM-DD)");
      value = rt::Value(*d);
      break;
    }
    case FieldType::Logical:
      if (K != json::Value::Kind::Bool) throw LineError(where + ": expected true or false, got " + json::kind_name(K));
      value = rt::Value(v.boolean);
      break;
    default:
      throw LineError(where + ": this engine does not write such fields");
  }
  try {
    p.record.set(i, value);
  } catch (const TableError& e) {
    throw LineError(e.problem());
  }
}

Pending parse_line(Table& t, const std::string& line, std::size_t number) {
  json::Value doc;
  try {
    doc = json::parse(line);
  } catch (const json::ParseError& e) {
    throw LineError(std::string("not JSON: ") + e.what());
  }
  if (doc.kind != json::Value::Kind::Object) throw LineError("expected a JSON object");
  Pending p{number, t.blank(), {}};
  for (const auto& [key, v] : doc.members) {
    if (key == "recno") {
      if (v.kind != json::Value::Kind::Number && !v.is_null()) throw LineError("\"recno\" must be a number");
    } else if (key == "deleted") {
      if (v.kind != json::Value::Kind::Bool) throw LineError("\"deleted\" must be true or false");
      p.record.set_deleted(v.boolean);
    } else if (key == "values") {
      if (v.kind != json::Value::Kind::Object) throw LineError("\"values\" must be an object");
      for (const auto& [name, fv] : v.members) {
        const int i = t.schema().index_of(name);
        if (i < 0) throw LineError("the table has no field " + name);
        set_field(p, t, i, fv);
      }
    } else {
      throw LineError("unknown member \"" + key + "\" (expected recno, deleted, values)");
    }
  }
  return p;
}

int run(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {});
  const std::string& file = single_file(args, "load");
  std::unique_ptr<Table> t;
  try {
    rt::table::OpenOptions o;
    o.share = rt::table::Share::Shared;
    t = Table::open(file, o);
  } catch (const TableError& e) {
    report_error(e.what());
    return exit_code_for(e, true);
  }
  if (!t->schema().writable_format()) {
    char v[8];
    std::snprintf(v, sizeof v, "0x%02X", t->schema().version);
    report_error(t->path() + ": version " + v + " tables are read only here; nothing loaded");
    return kExitCannotWrite;
  }

  std::vector<Pending> pending;
  std::size_t bad = 0, number = 0;
  std::string line;
  while (std::getline(std::cin, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    try {
      pending.push_back(parse_line(*t, line, number));
    } catch (const LineError& e) {
      report_error(t->path() + ": line " + std::to_string(number) + ": " + e.what());
      ++bad;
    }
  }
  if (bad) {
    report_error(t->path() + ": " + std::to_string(bad) + " bad line(s); nothing loaded");
    return kExitProblems;
  }

  // The table's own bag: every tag is kept, or nothing is loaded.
  std::unique_ptr<rt::cdx::Bag> bag;
  std::optional<rt::cdx::BagAppender> appender;
  const std::string bag_path = bag_path_for(t->path(), "");
  if (rt::os::file_exists(bag_path)) {
    try {
      bag = rt::cdx::Bag::open(bag_path, true);
      appender.emplace(*bag, t->schema());
    } catch (const std::exception& e) {
      report_error(e.what());
      report_error(t->path() + ": its order bag cannot be kept up to date; nothing loaded");
      return exit_code_for_any(e, true);
    }
  }

  std::size_t done = 0;
  for (auto& p : pending) {
    try {
      for (const auto& [i, text] : p.memos) t->set_memo(p.record, i, text);
      const std::uint32_t recno = appender ? appender->append(*t, p.record) : t->append(p.record);
      t->unlock_record(recno);
      ++done;
    } catch (const std::exception& e) {
      report_error(e.what());
      report_error(t->path() + ": stopped at line " + std::to_string(p.line) + "; " + std::to_string(done) +
                   " of " + std::to_string(pending.size()) + " records appended");
      return exit_code_for_any(e, true);
    }
  }
  t->close();
  return kExitOk;
}

const CommandRegistrar reg({"load", "load FILE < records.jsonl",
                            "append records given as JSON lines in the dump format",
                            "Each line: {\"deleted\": false, \"values\": {\"NAME\": value, ...}}; \"recno\" and\n"
                            "\"deleted\" may be left out (recno is ignored: records are appended), missing\n"
                            "fields stay blank, null is blank.  Values as dump shows them; texts may also\n"
                            "be {\"hex\": \"...\"} (bytes stored as they are).  A text longer than its field,\n"
                            "a number that does not fit or has more decimals than the field, an impossible\n"
                            "date or a character outside the table's code page makes the line bad.\n\n"
                            "Every line is checked before anything is written: when a line is bad, all bad\n"
                            "lines are reported with their numbers and the table is left as it was.  Each\n"
                            "record is then appended under the table's append lock, in a shared open, and\n"
                            "its keys go into every tag of the table's own order bag (same base name,\n"
                            "\".cdx\").  A bag whose tags cannot be computed here, or that is damaged, stops\n"
                            "the load before anything is written.\n",
                            run});

}  // namespace
}  // namespace dbftool

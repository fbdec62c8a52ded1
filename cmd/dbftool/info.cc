// dbftool info FILE: what the header says, the memo file and the order bags
// with their tags (key and FOR expressions, options).
#include <cstdio>

#include "cmd/dbftool/command.h"
#include "cmd/dbftool/json.h"
#include "cmd/dbftool/table_access.h"
#include "runtime/cdx/bag.h"
#include "runtime/os/file.h"
#include "runtime/table/memo_file.h"
#include "runtime/text/convert.h"

namespace dbftool {
namespace {

using rt::table::Field;
using rt::table::Schema;
using rt::table::Table;
using rt::table::TableError;

const char* version_name(std::uint8_t v) {
  switch (v) {
    case rt::table::kVersionFox2: return "FoxPro 2.x / dBASE III table without memo";
    case rt::table::kVersionFox2Memo: return "FoxPro 2.x table with FPT memo";
    case rt::table::kVersionVfp: return "Visual FoxPro table";
    case rt::table::kVersionVfpAutoinc: return "Visual FoxPro table with autoincrement fields";
    case rt::table::kVersionVfpVar: return "Visual FoxPro table with Varchar/Varbinary/Blob fields";
  }
  return "unknown";
}

// Every field as stored, _NullFlags included (always last).
std::vector<Field> stored_fields(const Schema& s) {
  std::vector<Field> out = s.fields;
  if (s.null_flags) out.push_back(*s.null_flags);
  return out;
}

// Order bags with the table's base name (".cdx"; ".dcx" for a database
// container), found without regard to case.
std::vector<std::string> order_bags(const std::string& path) {
  std::vector<std::string> out;
  const std::string dir = rt::os::dirname_of(path);
  const std::string base = rt::os::basename_of(path);
  const auto dot = base.rfind('.');
  const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : rt::text::lower(base.substr(dot));
  const std::string bag_ext = ext == ".dbc" ? ".dcx" : ".cdx";
  if (auto found = rt::os::find_file_nocase(dir.empty() ? "." : dir, stem + bag_ext)) out.push_back(*found);
  return out;
}

// One tag of an order bag as info shows it.
struct TagLine {
  std::string bag, name, key, for_expr;
  int key_length = 0;
  bool unique = false, descending = false, candidate = false;
};

// Every tag of every bag; a bag that cannot be read is described in
// `problems` (info then ends with exit code 3).
std::vector<TagLine> bag_tags(const std::vector<std::string>& bags, std::vector<std::string>& problems) {
  std::vector<TagLine> out;
  for (const auto& path : bags) {
    try {
      auto bag = rt::cdx::Bag::open(path, false);
      for (rt::cdx::Tag* t : bag->tags())
        out.push_back({path, t->name(), t->key_expr(), t->for_expr(), t->key_length(), t->unique(), t->descending(),
                       t->candidate()});
    } catch (const std::exception& e) {
      problems.push_back(e.what());
    }
  }
  return out;
}

std::string tag_options(const TagLine& t) {
  std::string o;
  if (t.unique) o += "  unique";
  if (t.candidate) o += "  candidate";
  if (t.descending) o += "  descending";
  return o;
}

std::string hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
  return buf;
}

int run(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {{"--format", true, false}});
  const std::string& file = single_file(args, "info");
  const std::string format = args.value("--format", "text");
  if (format != "text" && format != "json") throw UsageError("--format must be text or json");
  std::unique_ptr<Table> t;
  try {
    t = open_for_reading(file);
  } catch (const TableError& e) {
    report_error(e.what());
    return exit_code_for(e, false);
  }
  const Schema& s = t->schema();
  const std::uint32_t count = t->record_count();
  std::uint32_t block_size = 0;
  const std::string memo = t->memo_path();
  if (!memo.empty()) {
    try {
      block_size = rt::table::MemoFile::open(t->env(), memo, false)->block_size();
    } catch (const std::exception&) {
      block_size = 0;  // verify tells what is wrong with it
    }
  }
  const auto bags = order_bags(t->path());
  std::vector<std::string> bag_problems;
  const auto tags = bag_tags(bags, bag_problems);
  const auto fields = stored_fields(s);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", s.update_year, s.update_month, s.update_day);

  std::string out;
  if (format == "json") {
    json::Writer w(out);
    w.begin_object();
    w.key("file"); w.string(t->path());
    w.key("version"); w.number(std::to_string(s.version));
    w.key("version_name"); w.string(version_name(s.version));
    w.key("code_page_mark"); w.number(std::to_string(s.code_page_mark));
    w.key("code_page"); w.number(std::to_string(static_cast<int>(t->code_page())));
    w.key("table_flags"); w.number(std::to_string(s.table_flags));
    w.key("last_update"); w.string(date);
    w.key("record_count"); w.number(std::to_string(count));
    w.key("header_length"); w.number(std::to_string(s.header_length));
    w.key("record_length"); w.number(std::to_string(s.record_length));
    w.key("backlink"); w.string(s.backlink);
    w.key("memo_file"); if (memo.empty()) w.null(); else w.string(memo);
    w.key("memo_block_size"); if (memo.empty()) w.null(); else w.number(std::to_string(block_size));
    w.key("order_bags");
    w.begin_array();
    for (const auto& b : bags) w.string(b);
    w.end_array();
    w.key("tags");
    w.begin_array();
    for (const auto& tag : tags) {
      w.begin_object();
      w.key("bag"); w.string(tag.bag);
      w.key("name"); w.string(tag.name);
      w.key("key"); w.string(tag.key);
      w.key("for"); if (tag.for_expr.empty()) w.null(); else w.string(tag.for_expr);
      w.key("key_length"); w.number(std::to_string(tag.key_length));
      w.key("unique"); w.boolean(tag.unique);
      w.key("candidate"); w.boolean(tag.candidate);
      w.key("descending"); w.boolean(tag.descending);
      w.end_object();
    }
    w.end_array();
    w.key("fields");
    w.begin_array();
    for (const auto& f : fields) {
      w.begin_object();
      w.key("name"); w.string(f.name);
      w.key("type"); w.string(std::string(1, f.letter()));
      w.key("length"); w.number(std::to_string(f.length));
      w.key("decimals"); w.number(std::to_string(f.decimals));
      w.key("flags"); w.number(std::to_string(f.flags));
      w.end_object();
    }
    w.end_array();
    w.end_object();
    out.push_back('\n');
  } else {
    auto line = [&](const char* label, const std::string& value) {
      out += label;
      out.append(16 - std::string(label).size(), ' ');
      out += value + "\n";
    };
    line("file", t->path());
    line("version", hex2(s.version) + " " + version_name(s.version));
    line("code page", std::to_string(static_cast<int>(t->code_page())) + " (mark " + hex2(s.code_page_mark) +
                          (s.code_page_known ? ")" : ", unknown: read as 850)"));
    line("last update", date);
    line("records", std::to_string(count));
    line("header length", std::to_string(s.header_length));
    line("record length", std::to_string(s.record_length));
    line("table flags", hex2(s.table_flags));
    if (!s.backlink.empty()) line("database", s.backlink);
    line("memo file", memo.empty() ? "none" : memo + " (block size " + std::to_string(block_size) + ")");
    std::string bag_list;
    for (const auto& b : bags) bag_list += (bag_list.empty() ? "" : ", ") + b;
    line("order bags", bag_list.empty() ? "none" : bag_list);
    for (const auto& tag : tags) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "  tag %-10s key ", tag.name.c_str());
      out += buf + tag.key + (tag.for_expr.empty() ? "" : "  for " + tag.for_expr) + tag_options(tag) + "\n";
    }
    line("fields", std::to_string(fields.size()));
    for (const auto& f : fields) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "  %-10s %c %3d %2d%s\n", f.name.c_str(), f.letter(), f.length, f.decimals,
                    f.flags ? ("  flags " + hex2(f.flags)).c_str() : "");
      out += buf;
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  for (const auto& p : bag_problems) report_error(p);
  return bag_problems.empty() ? kExitOk : kExitCannotRead;
}

const CommandRegistrar reg({"info", "info FILE [--format text|json]",
                            "show a table's version, code page, record count, fields, memo file and order bags",
                            "  --format text|json   plain text (default) or one JSON object\n\n"
                            "Each tag of the table's order bag is listed with its key expression, FOR\n"
                            "expression and options (unique, candidate, descending; JSON adds the key\n"
                            "length).  A bag that cannot be read is named on standard error (exit code 3).\n",
                            run});

}  // namespace
}  // namespace dbftool

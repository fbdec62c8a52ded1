// dbftool keys FILE.cdx --tag NAME: every key of a tag in index order
// (descending tags from the highest key), one JSON object per line:
// {"key": ..., "recno": n}.  A walk that meets a damaged page or link stops
// with an error naming the bag and the tag, and a non-zero exit code.
#include <cstdio>
#include <memory>

#include "cmd/dbftool/bag_access.h"
#include "cmd/dbftool/command.h"
#include "cmd/dbftool/json.h"
#include "cmd/dbftool/table_access.h"
#include "runtime/cdx/table_index.h"
#include "runtime/expr/key_encoding.h"
#include "runtime/text/date.h"
#include "runtime/text/convert.h"

namespace dbftool {
namespace {

using rt::expr::KeyFormat;
using rt::expr::KeyType;

void write_key(json::Writer& w, std::string_view key, const KeyFormat& f, rt::text::CodePage cp) {
  rt::Value v;
  try {
    v = rt::expr::decode_key(key, f);
  } catch (const rt::expr::KeyError&) {
    w.begin_object();
    w.key("hex");
    w.string(json::to_hex(key));
    w.end_object();
    return;
  }
  if (v.is_nil()) {
    w.null();
  } else if (v.is_text()) {
    const std::string t = rt::text::rtrim(v.text());
    if (auto u = json::decode_text(t, cp)) {
      w.string(*u);
    } else {
      w.begin_object();
      w.key("hex");
      w.string(json::to_hex(t));
      w.end_object();
    }
  } else if (v.is_date()) {
    w.string(v.date().empty() ? "" : rt::text::dtos(v.date()));
  } else {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v.number());
    w.number(buf);
  }
}

int run(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {{"--tag", true}, {"--table", true}, {"--codepage", true}});
  const std::string& file = single_file(args, "keys");
  if (!args.has("--tag")) throw UsageError("keys: --tag NAME is required");
  const auto cp_option = codepage_option(args.value("--codepage"));
  std::unique_ptr<rt::cdx::Bag> bag;
  rt::cdx::Tag* tag = nullptr;
  try {
    bag = rt::cdx::Bag::open(file, false);
    tag = bag->find(args.value("--tag"));
  } catch (const std::exception& e) {
    report_error(e.what());
    return exit_code_for_any(e, false);
  }
  if (!tag) {
    report_error(bag->path() + ": no tag " + args.value("--tag") + " in the bag");
    return kExitUsage;
  }
  // The key type comes from the key expression over the table's fields; the
  // header's key length and NULL marker are authoritative.
  KeyFormat format;
  bool typed = false;
  rt::text::CodePage cp = cp_option.value_or(rt::text::CodePage::CP850);
  const auto table_path = args.has("--table") ? std::optional<std::string>(args.value("--table")) : table_for_bag(bag->path());
  if (table_path) {
    try {
      auto t = open_for_reading(*table_path, cp_option);
      cp = t->code_page();
      rt::cdx::TagKeys keys(t->schema(), tag->key_expr(), "");
      format = keys.format();
      typed = true;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "dbftool: note: %s: key type not taken from the table (%s)\n", bag->path().c_str(), e.what());
    }
  }
  const int stored = tag->key_length();
  format.nullable = tag->nullable();
  const int value_len = stored - (format.nullable ? 1 : 0);
  if (!typed || int(format.stored_length()) != stored) {
    // Without the table: binary keys of 4 bytes are integers, of 8 numbers;
    // everything else text.
    if (tag->kind() == rt::cdx::KeyKind::Binary && (value_len == 4 || value_len == 8))
      format = rt::expr::key_format(value_len == 4 ? KeyType::Integer : KeyType::Numeric, 0, format.nullable);
    else
      format = rt::expr::key_format(KeyType::Character, std::size_t(value_len), format.nullable);
  }
  std::string out;
  try {
    // A descending tag keeps its keys ascending and is walked from the end.
    const bool down = tag->descending();
    rt::cdx::Cursor c(*tag);
    for (bool ok = down ? c.last() : c.first(); ok; ok = down ? c.prev() : c.next()) {
      out.clear();
      json::Writer w(out);
      w.begin_object();
      w.key("key");
      write_key(w, c.key(), format, cp);
      w.key("recno");
      w.number(std::to_string(c.recno()));
      w.end_object();
      out += '\n';
      std::fputs(out.c_str(), stdout);
    }
  } catch (const rt::cdx::CdxError& e) {
    std::fflush(stdout);
    report_error(e.what());
    return exit_code_for_any(e, false);
  }
  return kExitOk;
}

const CommandRegistrar reg({"keys", "keys FILE.cdx --tag NAME [--table TABLE] [--codepage N]",
                            "every key of a tag in index order, one JSON object per line",
                            "Descending tags are listed from the highest key down (equal keys by record\n"
                            "number from the highest too).  A damaged page or sibling link stops the walk\n"
                            "with an error naming the bag and the tag (exit code 3), never a short list\n"
                            "with exit code 0; a bag another program holds locked longer than 10 s gives\n"
                            "exit code 5.\n"
                            "Keys: text without trailing blanks, numbers as numbers, dates as \"YYYYMMDD\",\n"
                            "NULL keys as null.  The key type comes from the tag's key expression over the\n"
                            "fields of the bag's table (same base name, or --table); without the table,\n"
                            "4- and 8-byte keys on a bare field name are read as numbers, others as text.\n",
                            run});

}  // namespace
}  // namespace dbftool

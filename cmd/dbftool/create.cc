// dbftool create FILE --field NAME:TYPE:LEN[:DEC] ...: a new FoxPro 2.x table.
#include <cctype>
#include <cstdio>

#include "cmd/dbftool/command.h"
#include "cmd/dbftool/table_access.h"
#include "runtime/os/file.h"

namespace dbftool {
namespace {

using rt::table::NewField;
using rt::table::Table;
using rt::table::TableError;

int number_part(const std::string& spec, const std::string& part, const char* what) {
  if (part.empty() || part.size() > 3) throw UsageError("--field " + spec + ": " + what + " must be a number");
  int n = 0;
  for (char c : part) {
    if (c < '0' || c > '9') throw UsageError("--field " + spec + ": " + what + " must be a number");
    n = n * 10 + (c - '0');
  }
  return n;
}

// NAME:TYPE:LEN[:DEC]; LEN may be left out for D (8), L (1) and M (10).
NewField parse_field(const std::string& spec) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    auto colon = spec.find(':', start);
    parts.push_back(spec.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1)
    throw UsageError("--field " + spec + ": expected NAME:TYPE:LEN[:DEC]");
  NewField f;
  f.name = parts[0];
  f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
  if (parts.size() >= 3) {
    f.length = number_part(spec, parts[2], "the length");
  } else if (f.type == 'D') {
    f.length = 8;
  } else if (f.type == 'L') {
    f.length = 1;
  } else if (f.type == 'M') {
    f.length = 10;
  } else {
    throw UsageError("--field " + spec + ": the length is missing");
  }
  if (parts.size() == 4) f.decimals = number_part(spec, parts[3], "the decimals");
  return f;
}

int run(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {{"--field", true, true}, {"--codepage", true, false},
                                      {"--block-size", true, false}});
  const std::string& file = single_file(args, "create");
  if (!args.has("--field")) throw UsageError("create: at least one --field is needed");
  std::vector<NewField> fields;
  for (const auto& spec : args.values.at("--field")) fields.push_back(parse_field(spec));
  rt::table::CreateOptions options;
  if (auto cp = codepage_option(args.value("--codepage"))) options.code_page = *cp;
  if (args.has("--block-size")) {
    const std::string v = args.value("--block-size");
    const int n = number_part("--block-size " + v, v, "the block size");
    if (n < 16 || n > 16384) throw UsageError("--block-size must be between 16 and 16384 bytes");
    options.memo_block_size = static_cast<std::uint32_t>(n);
  }
  // A table that exists is never replaced (the engine refuses too; this
  // gives the "cannot write" exit code rather than a usage error).
  if (rt::os::file_exists(rt::os::resolve_nocase(file))) {
    report_error(file + ": table already exists");
    return kExitCannotWrite;
  }
  try {
    Table::create(file, fields, options);
  } catch (const TableError& e) {
    report_error(e.what());
    return e.kind() == rt::table::ErrorKind::Usage ? kExitUsage : kExitCannotWrite;
  }
  return kExitOk;
}

const CommandRegistrar reg({"create", "create FILE --field NAME:TYPE:LEN[:DEC] ... [--codepage N] [--block-size N]",
                            "create a new empty FoxPro 2.x table (and its FPT memo file when it has memos)",
                            "  --field NAME:TYPE:LEN[:DEC]  a field, in table order: C text, N number, F float,\n"
                            "                               D date, L logical, M memo (LEN may be left out\n"
                            "                               for D, L and M)\n"
                            "  --codepage N                 code page of the texts (default 850)\n"
                            "  --block-size N               memo block size in bytes (default 64)\n\n"
                            "The version byte is 0x03, or 0xF5 when a field is a memo.  An existing file\n"
                            "is never replaced.\n",
                            run});

}  // namespace
}  // namespace dbftool

// dbftool index TABLE --tag NAME --key EXPR ...: adds or replaces a tag built
// from every record; dbftool reindex TABLE: rebuilds every tag of a bag from
// its stored expressions into a new file renamed over the bag.  Both open
// the table exclusively: a tag built from the records while another program
// appends would miss its records.
#include <cstdio>
#include <memory>

#include "cmd/dbftool/bag_access.h"
#include "cmd/dbftool/command.h"
#include "cmd/dbftool/table_access.h"
#include "runtime/cdx/table_index.h"
#include "runtime/os/file.h"

namespace dbftool {
namespace {

using rt::table::TableError;

// The table open exclusively and read-only: nobody writes it while its tags
// are built.
std::unique_ptr<rt::table::Table> open_exclusive(const std::string& path) {
  rt::table::OpenOptions o;
  o.share = rt::table::Share::Exclusive;
  o.read_only = true;
  auto t = rt::table::Table::open(path, o);
  if (!t->exclusive())
    throw TableError(rt::table::ErrorKind::Busy, t->path(), "cannot be opened exclusively (the file is read-only)");
  return t;
}

int run_index(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {{"--bag", true},
                                      {"--tag", true},
                                      {"--key", true},
                                      {"--for", true},
                                      {"--unique", false},
                                      {"--descending", false}});
  const std::string& file = single_file(args, "index");
  if (!args.has("--tag") || !args.has("--key")) throw UsageError("index: --tag NAME and --key EXPR are required");
  std::unique_ptr<rt::table::Table> t;
  try {
    t = open_exclusive(file);
  } catch (const TableError& e) {
    report_error(e.what());
    return exit_code_for(e, true);
  }
  const std::string bag_path = bag_path_for(t->path(), args.value("--bag"));
  try {
    rt::cdx::TagKeys check(t->schema(), args.value("--key"), args.value("--for"));
  } catch (const std::exception& e) {
    report_error(e.what());  // names the expression and the position
    return kExitUsage;
  }
  try {
    auto bag = rt::os::file_exists(bag_path) ? rt::cdx::Bag::open(bag_path, true)
                                              : rt::cdx::Bag::create(bag_path, args.value("--bag").empty());
    rt::cdx::IndexSpec spec{args.value("--tag"), args.value("--key"), args.value("--for"), args.has("--unique"),
                            args.has("--descending")};
    rt::cdx::Tag& tag = rt::cdx::index_table(*bag, *t, spec);
    std::fprintf(stdout, "%s: tag %s, %zu keys\n", bag->path().c_str(), tag.name().c_str(), tag.count());
  } catch (const rt::cdx::CdxError& e) {
    report_error(e.what());
    return exit_code_for_any(e, true);
  } catch (const std::exception& e) {
    report_error(bag_path + ": " + e.what());
    return exit_code_for_any(e, true);
  }
  return kExitOk;
}

int run_reindex(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {{"--bag", true}});
  const std::string& file = single_file(args, "reindex");
  std::unique_ptr<rt::table::Table> t;
  try {
    t = open_exclusive(file);
  } catch (const TableError& e) {
    report_error(e.what());
    return exit_code_for(e, true);
  }
  const std::string bag_path = bag_path_for(t->path(), args.value("--bag"));
  try {
    auto bag = rt::cdx::Bag::open(bag_path, true);
    rt::cdx::reindex(*bag, *t);
    for (rt::cdx::Tag* tag : bag->tags())
      std::fprintf(stdout, "%s: tag %s, %zu keys\n", bag->path().c_str(), tag->name().c_str(), tag->count());
  } catch (const std::exception& e) {
    report_error(e.what());
    return exit_code_for_any(e, true);
  }
  return kExitOk;
}

const CommandRegistrar reg_index({"index",
                                  "index TABLE [--bag BAG] --tag NAME --key EXPR [--for EXPR] [--unique] [--descending]",
                                  "add or replace a tag built from every record of the table",
                                  "BAG is an order bag file; by default the table's own bag (same base name,\n"
                                  "\".cdx\"), created when it does not exist.  Unique tags keep the lowest record\n"
                                  "of each key value; descending tags store their keys in ascending order and are\n"
                                  "walked from the end.  The table is opened exclusively (refused while another\n"
                                  "program uses it, exit code 5).  The new tag's pages are written and synced\n"
                                  "before the bag points to them: a kill leaves the old tag or the new one.\n",
                                  run_index});

const CommandRegistrar reg_reindex({"reindex", "reindex TABLE [--bag BAG]",
                                    "rebuild every tag of a bag from its stored key and FOR expressions",
                                    "The bag is written anew beside the old one (BAG.tmp), synced and renamed over\n"
                                    "it, so it repairs any damage as long as the tag directory and the tag headers\n"
                                    "can be read, and leaves a compact file; a kill leaves the old bag or the new\n"
                                    "one.  The rebuilt tags keep their names, options and order.  The table is\n"
                                    "opened exclusively (refused while another program uses it, exit code 5).\n",
                                    run_reindex});

}  // namespace
}  // namespace dbftool

// dbftool repair TABLE [--bag BAG]...: sets the header's record count to the
// records the file holds (after a crash between a record and its count),
// keeping a copy of the original header, then rebuilds the order bags.
#include <cstdio>
#include <memory>

#include "cmd/dbftool/bag_access.h"
#include "cmd/dbftool/command.h"
#include "cmd/dbftool/table_access.h"
#include "runtime/cdx/table_index.h"
#include "runtime/table/repair.h"

namespace dbftool {
namespace {

using rt::table::TableError;

int run_repair(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {{"--bag", true, true}});
  const std::string& file = single_file(args, "repair");
  rt::table::CountRepair r;
  try {
    r = rt::table::repair_record_count(file);
  } catch (const TableError& e) {
    report_error(e.what());
    return e.kind() == rt::table::ErrorKind::Busy ? kExitBusy : kExitCannotWrite;
  }
  if (r.changed()) {
    std::fprintf(stdout, "%s: the header announced %u records, the file holds %u: count set to %u\n",
                 file.c_str(), r.announced, r.present, r.present);
    std::fprintf(stdout, "%s: original header kept in %s\n", file.c_str(), r.header_copy.c_str());
  } else {
    std::fprintf(stdout, "%s: the record count (%u) matches the records in the file\n", file.c_str(), r.present);
  }

  // The bags, rebuilt with the table held exclusively: nobody writes while
  // their keys are taken.
  rt::table::OpenOptions o;
  o.share = rt::table::Share::Exclusive;
  std::unique_ptr<rt::table::Table> t;
  try {
    t = rt::table::Table::open(file, o);
  } catch (const TableError& e) {
    report_error(e.what());
    return exit_code_for(e, true);
  }
  std::vector<std::string> bags;
  if (args.has("--bag")) {
    for (const auto& b : args.values.at("--bag")) bags.push_back(bag_path_for(t->path(), b));
  } else if (const std::string own = bag_path_for(t->path(), ""); t->env().file_exists(own)) {
    bags.push_back(own);
  }
  for (const auto& bag_path : bags) {
    try {
      auto bag = rt::cdx::Bag::open(bag_path, true, t->env());
      rt::cdx::reindex(*bag, *t);
      for (rt::cdx::Tag* tag : bag->tags())
        std::fprintf(stdout, "%s: tag %s rebuilt, %zu keys\n", bag->path().c_str(), tag->name().c_str(), tag->count());
    } catch (const std::exception& e) {
      report_error(bag_path + ": " + e.what());
      return kExitCannotWrite;
    }
  }
  return kExitOk;
}

const CommandRegistrar reg_repair(
    {"repair", "repair TABLE [--bag BAG]...",
     "set the header's record count to the records the file holds, then rebuild the bags",
     "After a crash or a power cut between a record and the count in the header,\n"
     "the header may announce records the file does not hold (no program opens\n"
     "the table) or leave whole records uncounted.  repair opens the table alone,\n"
     "counts the whole records (after the announced count only those that start\n"
     "with a deletion flag), writes a byte copy of the original header beside the\n"
     "table (TABLE.hdr.bak, or TABLE.hdr.2.bak ...) and sets the count.  Then it\n"
     "rebuilds every tag of each BAG (by default the table's own bag, when there\n"
     "is one) with the table still held exclusively.  Exit 5 when another program\n"
     "has the table open.\n",
     run_repair});

}  // namespace
}  // namespace dbftool

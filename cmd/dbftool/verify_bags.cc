// The order-bag check of dbftool verify: the table's own bag (or the bags
// named with --bag): page structure, sibling links, the free list, and every
// tag's keys against the keys computed from the records.
#include "cmd/dbftool/bag_access.h"
#include "cmd/dbftool/table_access.h"
#include "cmd/dbftool/verify.h"
#include "runtime/cdx/table_index.h"
#include "runtime/os/file.h"

namespace dbftool {
namespace {

void check_bags(rt::table::Table& t, VerifyReport& report) {
  std::vector<std::string> bags = verify_bag_options();
  if (bags.empty()) {
    const std::string own = bag_path_for(t.path(), "");
    if (!rt::os::file_exists(own)) return;  // no bag: nothing to check
    bags.push_back(own);
  } else {
    for (auto& b : bags) b = bag_path_for(t.path(), b);
  }
  for (const auto& path : bags) {
    std::unique_ptr<rt::cdx::Bag> bag;
    try {
      bag = rt::cdx::Bag::open(path, false);
    } catch (const std::exception& e) {
      if (is_busy(e)) throw;
      report.problem(std::string("order bag ") + e.what());
      continue;
    }
    std::vector<std::string> problems;
    try {
      problems = rt::cdx::verify_against_table(*bag, t);
    } catch (const std::exception& e) {
      if (is_busy(e)) throw;
      problems.push_back(e.what());
    }
    for (const auto& p : problems) report.problem("order bag " + bag->path() + ": " + p);
    if (problems.empty())
      report.note("order bag " + bag->path() + ": " + std::to_string(bag->tags().size()) + " tags, no problems");
  }
}

const VerifyCheckRegistrar reg("order bags", check_bags);

}  // namespace
}  // namespace dbftool

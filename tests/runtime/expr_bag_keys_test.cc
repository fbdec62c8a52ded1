// Every tag of every sample bag written by other programs: its key and FOR
// expressions compiled against the table, the keys computed from every
// record, and the result compared entry by entry with what the bag holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "runtime/cdx/bag.h"
#include "runtime/cdx/table_index.h"
#include "runtime/expr/expression.h"
#include "runtime/expr/table_scope.h"
#include "runtime/table/table.h"
#include "tests/support/testing.h"

using rt::expr::Expression;
using rt::expr::TableScope;

namespace {

struct TagReport {
  std::string tag;
  std::size_t entries = 0;
  std::string problem;  // "" when the keys match
};

// Checks every tag of bag (in dir) against table.
std::vector<TagReport> check_bag(const std::string& dir, const std::string& bag_name, const std::string& table_name) {
  rt::table::OpenOptions options;
  options.share = rt::table::Share::Exclusive;
  options.read_only = true;
  auto table = rt::table::Table::open(dir + "/" + table_name, options);
  auto bag = rt::cdx::Bag::open(dir + "/" + bag_name, false);
  std::vector<TagReport> out;
  for (rt::cdx::Tag* tag : bag->tags()) {
    TagReport r;
    r.tag = tag->name();
    TableScope scope(table->schema_ptr(), std::filesystem::path(table_name).stem().string(), table.get());
    const Expression key = Expression::compile(tag->key_expr(), scope);
    Expression cond;
    if (!tag->for_expr().empty()) cond = Expression::compile_condition(tag->for_expr(), scope);
    const rt::expr::KeyFormat f = key.key_format();
    if (static_cast<int>(f.stored_length()) != tag->key_length()) {
      r.problem = "key length " + std::to_string(f.stored_length()) + " computed, bag says " +
                  std::to_string(tag->key_length());
      out.push_back(r);
      continue;
    }
    std::vector<std::pair<std::string, std::uint32_t>> computed;
    std::string k;
    const std::uint32_t count = table->record_count();
    rt::table::Record rec = table->blank();
    for (std::uint32_t n = 1; n <= count; ++n) {
      table->read_into(n, rec);
      scope.set_record(&rec);
      if (cond.valid() && !cond.holds(scope)) continue;
      key.key(scope, f, k);
      computed.emplace_back(k, n);
    }
    std::sort(computed.begin(), computed.end());
    if (tag->unique()) {
      computed.erase(std::unique(computed.begin(), computed.end(),
                                 [](const auto& a, const auto& b) { return a.first == b.first; }),
                     computed.end());
    }
    const auto stored = tag->entries();
    r.entries = stored.size();
    if (stored.size() != computed.size()) {
      r.problem = std::to_string(computed.size()) + " keys computed, bag holds " + std::to_string(stored.size());
    } else {
      for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] != computed[i]) {
          r.problem = "entry " + std::to_string(i) + " differs: recno " + std::to_string(stored[i].second) +
                      " stored, " + std::to_string(computed[i].second) + " computed; keys [" + stored[i].first +
                      "] and [" + computed[i].first + "]";
          break;
        }
      }
    }
    out.push_back(r);
  }
  return out;
}

void expect_all_match(const std::string& set, const std::vector<std::pair<std::string, std::string>>& bags,
                      std::size_t expected_tags) {
  testing_support::TempDir dir;
  testing_support::copy_foreign_set(set, dir.path());
  std::size_t tags = 0;
  for (const auto& [bag, table] : bags) {
    for (const TagReport& r : check_bag(dir.path(), bag, table)) {
      ++tags;
      EXPECT_EQ(r.problem, "") << set << "/" << bag << " tag " << r.tag;
    }
  }
  EXPECT_EQ(tags, expected_tags);
}

}  // namespace

TEST(KeysOfEveryForeignBag, RoomsWithForConditions) {
  expect_all_match("perl-xbase", {{"rooms.cdx", "rooms.dbf"}}, 5);
}

TEST(KeysOfEveryForeignBag, NorthwindTablesAndDatabaseContainer) {
  expect_all_match("vfp-northwind",
                   {{"categories.cdx", "categories.dbf"},
                    {"customercustomerdemo.cdx", "customercustomerdemo.dbf"},
                    {"customerdemographics.cdx", "customerdemographics.dbf"},
                    {"customers.cdx", "customers.dbf"},
                    {"employees.cdx", "employees.dbf"},
                    {"employeeterritories.cdx", "employeeterritories.dbf"},
                    {"orderdetails.cdx", "orderdetails.dbf"},
                    {"orders.cdx", "orders.dbf"},
                    {"products.cdx", "products.dbf"},
                    {"region.cdx", "region.dbf"},
                    {"shippers.cdx", "shippers.dbf"},
                    {"suppliers.cdx", "suppliers.dbf"},
                    {"territories.cdx", "territories.dbf"},
                    {"northwind.dcx", "northwind.dbc"}},
                   38);
}

TEST(KeysOfEveryForeignBag, FreeTables) {
  expect_all_match("vfp-freetables",
                   {{"AllTypes.CDX", "AllTypes.DBF"},
                    {"o_od.CDX", "O_OD.DBF"},
                    {"order.CDX", "Order.DBF"},
                    {"orderdet.CDX", "OrderDet.DBF"}},
                   6);
}

TEST(KeysOfEveryForeignBag, RubyDatabase) {
  expect_all_match("ruby-foxprodb",
                   {{"calls.CDX", "calls.dbf"},
                    {"contacts.CDX", "contacts.dbf"},
                    {"setup.CDX", "setup.dbf"},
                    {"types.CDX", "types.dbf"},
                    {"FOXPRO-DB-TEST.DCX", "FOXPRO-DB-TEST.DBC"}},
                   8);
}

TEST(KeysOfEveryForeignBag, VerifyFindsAccentedUpperCaseKeysRight) {
  // UPPER() over cp1252 names with accents ("Taquería" -> "TAQUERÍA").
  testing_support::TempDir dir;
  testing_support::copy_foreign_set("vfp-northwind", dir.path());
  for (const char* name : {"customers", "suppliers"}) {
    rt::table::OpenOptions options;
    options.share = rt::table::Share::Exclusive;
    options.read_only = true;
    auto table = rt::table::Table::open(dir.file(std::string(name) + ".dbf"), options);
    auto bag = rt::cdx::Bag::open(dir.file(std::string(name) + ".cdx"), false);
    EXPECT_EQ(rt::cdx::verify_against_table(*bag, *table), std::vector<std::string>{}) << name;
  }
}

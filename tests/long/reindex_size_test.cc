// Reindex of a 200,000-record bag five times: each time a compact file (the
// size of a fresh build, within 10%), never a copy added to the old one.
#include <gtest/gtest.h>

#include "runtime/cdx/table_index.h"
#include "runtime/os/file.h"
#include "tests/support/testing.h"

using namespace rt::cdx;
using rt::Value;
namespace ts = testing_support;

TEST(CdxReindex, WritesACompactBagEveryTime) {
  ts::TempDir dir;
  const std::string dbf = dir.file("big.dbf"), cdx = dir.file("big.cdx");
  rt::table::Table::create(dbf, {{"CODE", 'C', 8, 0}, {"N", 'N', 7, 0}});
  rt::table::OpenOptions o;
  o.share = rt::table::Share::Exclusive;
  auto table = rt::table::Table::open(dbf, o);
  rt::table::Record r = table->blank();
  for (int i = 0; i < 200000; ++i) {
    r.set("CODE", Value("C" + std::to_string(1000000 + (i * 7919) % 200000)));
    r.set("N", Value(i));
    table->append(r);
  }
  auto bag = Bag::create(cdx);
  index_table(*bag, *table, {"CODE", "CODE", ""});
  index_table(*bag, *table, {"N", "N", ""});
  const auto fresh = double(rt::os::File::open(cdx, rt::os::OpenMode::ReadOnly)->size());
  for (int i = 0; i < 5; ++i) {
    reindex(*bag, *table);
    const auto size = double(rt::os::File::open(cdx, rt::os::OpenMode::ReadOnly)->size());
    EXPECT_LE(size, fresh * 1.1) << "reindex " << i + 1;
  }
  EXPECT_EQ(bag->tag("CODE").count(), 200000u);
  EXPECT_FALSE(rt::os::file_exists(cdx + ".tmp"));
  // A table another open may write is not reindexed.
  table.reset();
  auto shared = rt::table::Table::open(dbf);
  EXPECT_THROW(reindex(*bag, *shared), CdxError);
}

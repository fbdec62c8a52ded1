// Mending a header count left ahead of or behind the records by a crash,
// with a copy of the original header kept; `dbftool repair` and its exit
// codes.
#include <gtest/gtest.h>

#include "runtime/table/repair.h"
#include "runtime/table/table.h"
#include "tests/support/testing.h"

using rt::Value;
using namespace rt::table;

namespace {

// Five records "R1".."R5"; returns the header length and record length.
std::pair<std::size_t, std::size_t> make_five(const std::string& path) {
  Table::create(path, {{"NAME", 'C', 6, 0}});
  auto t = Table::open(path);
  for (int n = 1; n <= 5; ++n) {
    Record r = t->blank();
    r.set(0, Value("R" + std::to_string(n)));
    t->append(r);
  }
  return {t->schema().header_length, t->schema().record_length};
}

void set_count(std::string& bytes, std::uint32_t n) {
  for (int i = 0; i < 4; ++i) bytes[4 + static_cast<std::size_t>(i)] = static_cast<char>(n >> (8 * i));
}

TEST(Repair, SetsTheCountToTheRecordsPresentKeepingTheOriginalHeader) {
  struct Case {
    const char* name;
    std::uint32_t announced, present;
    std::function<void(std::string&, std::size_t hl, std::size_t rl)> damage;
  };
  const std::vector<Case> cases = {
      {"ahead: the last records never reached the disk", 5, 3,
       [](std::string& b, std::size_t hl, std::size_t rl) { b.resize(hl + 3 * rl + 4); }},
      {"behind: records written, count not", 2, 5, [](std::string& b, std::size_t, std::size_t) { set_count(b, 2); }},
      {"behind, then a record that never got its bytes", 2, 3,
       [](std::string& b, std::size_t hl, std::size_t rl) {
         set_count(b, 2);
         b[hl + 3 * rl] = '\0';
       }},
      {"sound", 5, 5, [](std::string&, std::size_t, std::size_t) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempDir tmp;
    const std::string path = tmp.file("t.dbf");
    const auto [hl, rl] = make_five(path);
    std::string bytes = testing_support::read_file(path);
    c.damage(bytes, hl, rl);
    testing_support::write_file(path, bytes);

    const CountRepair r = repair_record_count(path);
    EXPECT_EQ(r.announced, c.announced);
    EXPECT_EQ(r.present, c.present);
    if (r.changed()) {
      EXPECT_EQ(r.header_copy, tmp.file("t.hdr.bak"));
      EXPECT_EQ(testing_support::read_file(r.header_copy), bytes.substr(0, hl));
    } else {
      EXPECT_EQ(r.header_copy, "");
      EXPECT_EQ(testing_support::read_file(path), bytes);
    }
    auto t = Table::open(path);
    ASSERT_EQ(t->record_count(), c.present);
    EXPECT_EQ(t->read(c.present).get(0).text(), "R" + std::to_string(c.present) + "    ");
    EXPECT_EQ(t->append(t->blank()), c.present + 1);  // appends go on after them
  }
}

TEST(Repair, AnOpenTableIsLeftAloneAndEarlierCopiesAreKept) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("t.dbf");
  make_five(path);
  std::string bytes = testing_support::read_file(path);
  set_count(bytes, 4);
  testing_support::write_file(path, bytes);
  std::string out;
  const std::string repair = testing_support::program("dbftool") + " repair " + path + " 2>&1";
  {
    auto holder = Table::open(path);  // another user has it open
    EXPECT_EQ(testing_support::run_capture(repair, &out), 5) << out;
    EXPECT_EQ(testing_support::read_file(path), bytes);
  }
  EXPECT_EQ(testing_support::run_capture(repair, &out), 0) << out;
  EXPECT_NE(out.find("the header announced 4 records, the file holds 5"), std::string::npos) << out;
  EXPECT_NE(out.find("t.hdr.bak"), std::string::npos) << out;
  set_count(bytes, 3);
  testing_support::write_file(path, bytes);
  EXPECT_EQ(repair_record_count(path).header_copy, tmp.file("t.hdr.2.bak"));
  EXPECT_EQ(testing_support::read_file(tmp.file("t.hdr.bak")).substr(4, 1), "\x04");
}

}  // namespace

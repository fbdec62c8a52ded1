// Bags beside damage and other writers: every walk over a damaged link fails
// naming the bag and the tag, a bag with a bad free-page list head or a
// damaged path takes no change (and a work area then writes no record),
// cached pages never outlive the write lock, and the lock wait is bounded.
#include <gtest/gtest.h>

#include <functional>

#include "runtime/cdx/table_index.h"
#include "runtime/os/fault_env.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"

using namespace rt::cdx;
namespace ts = testing_support;

namespace {

std::uint32_t get32(const std::string& b, std::size_t at) {
  return std::uint8_t(b[at]) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}
void put32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = char(v >> (8 * i));
}
void put32be(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = char(v >> (24 - 8 * i));
}

// A table of `count` records with a bag: CODE (text, two levels) and N
// (descending).
struct Stock {
  ts::TempDir dir;
  std::string dbf = dir.file("stock.dbf"), cdx = dir.file("stock.cdx");
  std::unique_ptr<rt::table::Table> table;
  std::unique_ptr<Bag> bag;

  explicit Stock(int count = 5000) {
    rt::table::Table::create(dbf, {{"CODE", 'C', 8, 0}, {"N", 'N', 6, 0}});
    rt::table::OpenOptions o;
    o.share = rt::table::Share::Exclusive;
    table = rt::table::Table::open(dbf, o);
    for (int i = 0; i < count; ++i) {
      rt::table::Record r = table->blank();
      r.set("CODE", rt::Value("C" + std::to_string(100000 + (i * 7919) % count)));
      r.set("N", rt::Value(i));
      table->append(r);
    }
    bag = Bag::create(cdx);
    index_table(*bag, *table, {"CODE", "CODE", ""});
    index_table(*bag, *table, {"N", "N", "", false, true});
  }

  // Changes the bag's bytes with the bag closed; `fn` gets the bytes, the
  // CODE tag's root and its leaves from left to right.
  void damage(const std::function<void(std::string&, std::uint32_t, const std::vector<std::uint32_t>&)>& fn) {
    const std::uint32_t header = bag->tag("CODE").header_offset();
    bag.reset();
    std::string b = ts::read_file(cdx);
    const std::uint32_t root = get32(b, header);
    std::uint32_t n = root;
    while (!(std::uint8_t(b[n]) & 2)) n = std::uint32_t(std::uint8_t(b[n + 12 + 8 + 4])) << 24 |
                                          std::uint32_t(std::uint8_t(b[n + 12 + 8 + 5])) << 16 |
                                          std::uint32_t(std::uint8_t(b[n + 12 + 8 + 6])) << 8 | std::uint8_t(b[n + 12 + 8 + 7]);
    std::vector<std::uint32_t> leaves;
    for (; n != 0xFFFFFFFFu; n = get32(b, n + 8)) leaves.push_back(n);
    fn(b, root, leaves);
    ts::write_file(cdx, b);
    bag = Bag::open(cdx, true);
  }
};

void walk(Tag& t, bool forward) {
  Cursor c(t);
  for (bool ok = forward ? c.first() : c.last(); ok; ok = forward ? c.next() : c.prev()) {
  }
}

}  // namespace

TEST(CdxDamage, EveryWalkOverADamagedLinkFailsNamingBagAndTag) {
  using Damage = std::function<void(std::string&, std::uint32_t, const std::vector<std::uint32_t>&)>;
  const std::vector<std::pair<const char*, Damage>> cases = {
      {"right link cut", [](std::string& b, std::uint32_t, const auto& l) { put32(b, l[3] + 8, 0xFFFFFFFFu); }},
      {"right link skips leaves", [](std::string& b, std::uint32_t, const auto& l) { put32(b, l[3] + 8, l[6]); }},
      {"left link cut", [](std::string& b, std::uint32_t, const auto& l) { put32(b, l[3] + 4, 0xFFFFFFFFu); }},
      {"right link loops", [](std::string& b, std::uint32_t, const auto& l) { put32(b, l[5] + 8, l[2]); }},
      {"child beyond the file", [](std::string& b, std::uint32_t root, const auto&) { put32be(b, root + 12 + 8 + 4, 0x7FFFFE00u); }},
      {"child is its parent", [](std::string& b, std::uint32_t root, const auto&) { put32be(b, root + 12 + 8 + 4, root); }},
  };
  for (const auto& [what, damage] : cases) {
    SCOPED_TRACE(what);
    Stock s;
    s.damage(damage);
    Tag& t = s.bag->tag("CODE");
    for (bool forward : {true, false}) {
      try {
        walk(t, forward);
        ADD_FAILURE() << "a whole walk, forward " << forward;
      } catch (const CdxError& e) {
        EXPECT_NE(std::string(e.what()).find("stock.cdx, tag CODE: "), std::string::npos) << e.what();
      }
    }
    EXPECT_THROW(t.count(), CdxError);
    EXPECT_THROW(t.entries(), CdxError);
    const auto problems = verify_against_table(*s.bag, *s.table);
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].find("CODE"), std::string::npos) << problems[0];
  }
}

TEST(CdxDamage, ABadFreeListHeadOrPathTakesNoChangeAndTheAreaWritesNoRecord) {
  struct Case {
    const char* what;
    std::function<void(std::string&, std::uint32_t)> damage;
    bool blank_key_blocked;  // the path of an appended blank record's key is damaged too
  };
  const auto last_child = [](std::string& b, std::uint32_t root) {
    const std::uint32_t n = std::uint8_t(b[root + 2]);
    put32be(b, root + 12 + (n - 1) * 16 + 12, 0x7FFFFE00u);
  };
  const std::vector<Case> cases = {
      {"free-list head beyond the file", [](std::string& b, std::uint32_t) { put32(b, 4, 0x7FFFFE00u); }, true},
      {"free-list head inside the header", [](std::string& b, std::uint32_t) { put32(b, 4, 100); }, true},
      {"last child beyond the file", last_child, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Stock s;
    s.damage([&](std::string& b, std::uint32_t root, const auto&) { c.damage(b, root); });
    EXPECT_THROW(s.bag->tag("CODE").insert("C999999 ", 1), CdxError);
    s.bag.reset();
    s.table.reset();
    const std::string before = ts::read_file(s.cdx);
    rt::wa::WorkAreas areas;
    ASSERT_TRUE(areas.use(s.dbf));
    rt::wa::Area& a = areas.current();
    rt::wa::set_index(a, s.cdx);
    a.go(1);
    ASSERT_TRUE(a.lock_record());
    EXPECT_THROW(a.put("CODE", rt::Value("C999999")), CdxError);
    if (c.blank_key_blocked) {
      EXPECT_THROW(a.append(), CdxError);
    }
    a.refresh();
    EXPECT_EQ(a.get("CODE").text(), "C100000 ");
    EXPECT_EQ(a.table().record_count(), 5000u);
    EXPECT_EQ(ts::read_file(s.cdx), before);
  }
}

TEST(CdxSharing, CachedPagesNeverOutliveTheWriteLockAndTheWaitIsBounded) {
  Stock s;
  Tag& mine = s.bag->tag("CODE");
  EXPECT_EQ(mine.count(), 5000u);  // every leaf cached
  // Another program adds a key without raising the change counter.
  {
    auto other = Bag::open(s.cdx, true);
    const std::string counter = ts::read_file(s.cdx).substr(8, 4);
    other->tag("CODE").insert("C099999 ", 5001);
    std::string b = ts::read_file(s.cdx);
    b.replace(8, 4, counter);
    ts::write_file(s.cdx, b);
  }
  mine.insert("C200000 ", 5002);  // must not write back a stale cached leaf
  const auto e = mine.entries();
  ASSERT_EQ(e.size(), 5002u);
  EXPECT_EQ(e.front(), std::make_pair(std::string("C099999 "), 5001u));
  EXPECT_EQ(e.back(), std::make_pair(std::string("C200000 "), 5002u));

  // While another open holds the lock, a change waits as long as its wait
  // allows and then fails as busy, having written nothing.
  auto other = Bag::open(s.cdx, true);
  Bag::Lock held(*other, true);
  int attempts = 0;
  s.bag->set_lock_wait([&](const std::string&, int attempt) { return (attempts = attempt) < 3; });
  const std::string before = ts::read_file(s.cdx);
  try {
    mine.insert("C300000 ", 5003);
    ADD_FAILURE() << "the change went through a held lock";
  } catch (const CdxError& e) {
    EXPECT_TRUE(e.busy()) << e.what();
  }
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(ts::read_file(s.cdx), before);
}

namespace {

// Counts the writes to files whose path holds `part`.
struct CountingEnv : rt::os::EnvWrapper {
  struct File : rt::os::FileWrapper {
    File(std::unique_ptr<rt::os::File> f, int* n) : FileWrapper(std::move(f)), writes(n) {}
    void write_at(std::uint64_t off, const void* buf, std::size_t n) override {
      ++*writes;
      FileWrapper::write_at(off, buf, n);
    }
    int* writes;
  };
  std::string part;
  int writes = 0;
  explicit CountingEnv(std::string p) : EnvWrapper(rt::os::Env::Default()), part(std::move(p)) {}
  std::unique_ptr<rt::os::File> open_file(const std::string& path, rt::os::OpenMode mode,
                                          rt::os::ShareMode share) override {
    auto f = EnvWrapper::open_file(path, mode, share);
    if (path.find(part) == std::string::npos) return f;
    return std::make_unique<File>(std::move(f), &writes);
  }
};

// An append and a field change through a work area: each splits a leaf of
// both tags (bulk-built leaves are full).
void append_and_change(rt::os::Env& env, const std::string& dbf, const std::string& cdx) {
  rt::wa::WorkAreas areas(env);
  if (!areas.use(dbf)) throw std::runtime_error("busy");
  rt::wa::Area& a = areas.current();
  rt::wa::set_index(a, cdx);
  if (!a.append()) throw std::runtime_error("busy");
  a.put_fields({{"CODE", rt::Value("C101000X")}, {"N", rt::Value(4321)}});
}

}  // namespace

TEST(CdxFaults, EveryWriteOfSplittingChangesFailedInTurnIsAnErrorAndReindexRepairs) {
  Stock s(2000);
  s.bag.reset();
  s.table.reset();
  const std::string dbf0 = ts::read_file(s.dbf), cdx0 = ts::read_file(s.cdx);
  CountingEnv counting(".cdx");
  append_and_change(counting, s.dbf, s.cdx);
  ASSERT_GE(counting.writes, 10);  // counter, new pages, split pages, siblings, parents, for two tags
  for (const auto fault : {rt::os::FaultEnv::Fault::Eio, rt::os::FaultEnv::Fault::NoSpace, rt::os::FaultEnv::Fault::Short}) {
    for (int n = 1; n <= counting.writes; ++n) {
      SCOPED_TRACE("fault " + std::to_string(int(fault)) + " on write " + std::to_string(n));
      ts::write_file(s.dbf, dbf0);
      ts::write_file(s.cdx, cdx0);
      rt::os::FaultEnv env;
      env.fail_write(n, fault, ".cdx");
      EXPECT_ANY_THROW(append_and_change(env, s.dbf, s.cdx));
      rt::table::OpenOptions o;
      o.share = rt::table::Share::Exclusive;
      auto table = rt::table::Table::open(s.dbf, o);
      auto bag = Bag::open(s.cdx, true);
      reindex(*bag, *table);
      ASSERT_EQ(verify_against_table(*bag, *table), std::vector<std::string>{});
    }
  }
}

// The process stops at each write in turn (a kill: what was written stays),
// or the machine does (a power cut: what was not synced is lost too).
TEST(CdxFaults, AKillOrPowerCutAtAnyWriteOfATagRebuildOrAReindexLeavesTheOldBagOrTheNew) {
  Stock s(2000);
  s.bag.reset();
  s.table.reset();
  const std::string dbf0 = ts::read_file(s.dbf), cdx0 = ts::read_file(s.cdx);
  using Op = std::function<void(Bag&, rt::table::Table&)>;
  const std::vector<std::pair<const char*, Op>> ops = {
      {"CODE rebuilt", [](Bag& b, rt::table::Table& t) { index_table(b, t, {"CODE", "UPPER(CODE)", ""}); }},
      {"tag added", [](Bag& b, rt::table::Table& t) { index_table(b, t, {"MIX", "STR(N,6)+CODE", "N > 10"}); }},
      {"reindex", [](Bag& b, rt::table::Table& t) { reindex(b, t); }},
  };
  int cases = 0;
  for (const bool power_cut : {false, true})
  for (const auto& [what, op] : ops) {
    for (int n = 0;; ++n, ++cases) {
      SCOPED_TRACE(std::string(what) + (power_cut ? ", power cut" : ", killed") + " after write " + std::to_string(n));
      ts::write_file(s.dbf, dbf0);
      ts::write_file(s.cdx, cdx0);
      rt::os::FaultEnv env;
      rt::table::OpenOptions o;
      o.share = rt::table::Share::Exclusive;
      o.env = &env;
      {
        auto table = rt::table::Table::open(s.dbf, o);
        auto bag = Bag::open(s.cdx, true, env);
        env.crash_after(n);
        try {
          op(*bag, *table);
        } catch (const std::exception&) {
          // What a stopped machine leaves behind is checked below.
        }
      }
      const bool done = !env.crashed();
      if (power_cut) env.drop_unsynced();
      o.env = nullptr;
      auto table = rt::table::Table::open(s.dbf, o);
      auto bag = Bag::open(s.cdx, true);
      ASSERT_EQ(verify_against_table(*bag, *table), std::vector<std::string>{});
      const auto tags = bag->tags();
      ASSERT_GE(tags.size(), 2u);
      EXPECT_EQ(tags[0]->name(), "CODE");
      if (done) break;
    }
  }
  EXPECT_GT(cases, 40);
}

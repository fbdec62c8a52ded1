// The table engine when the disk misbehaves, through FaultEnv: every write
// of an append, an update and a memo write fails in turn (I/O error, full
// disk, short write) or the machine stops there and loses what was not
// synced.  The caller always hears of a failure, the table stays readable,
// `dbftool repair` leaves it verify-clean, and what was committed before is
// intact.
#include <gtest/gtest.h>

#include <functional>

#include "runtime/os/counting_env.h"
#include "runtime/os/fault_env.h"
#include "runtime/table/repair.h"
#include "runtime/table/table.h"
#include "tests/support/testing.h"

using rt::Value;
using rt::os::FaultEnv;
using namespace rt::table;

namespace {

const std::vector<NewField> kFields = {{"CODE", 'C', 8, 0}, {"QTY", 'N', 5, 0}, {"NOTE", 'M', 10, 0}};

std::string note_of(int n) { return "nota " + std::to_string(n) + std::string(static_cast<std::size_t>(20 * n), 'x'); }

// Three committed records, each with its memo.
std::string make_table(const testing_support::TempDir& tmp) {
  const std::string path = tmp.file("f.dbf");
  Table::create(path, kFields);
  auto t = Table::open(path);
  for (int n = 1; n <= 3; ++n) {
    Record r = t->read(t->append_blank());
    r.set(0, Value("REC" + std::to_string(n)));
    r.set(1, Value(n));
    t->set_memo(r, 2, note_of(n));
    t->write(r);
  }
  t->commit();
  return path;
}

// Record n, locked for writing.
Record locked(Table& t, std::uint32_t n) {
  if (!t.lock_record(n)) throw std::runtime_error("lock refused");
  return t.read(n);
}

struct Op {
  const char* name;
  Share share;
  int touches;  // the committed record the operation changes (0: none)
  std::function<void(Table&)> run;
};

const std::vector<Op>& ops() {
  static const std::vector<Op> all = {
      {"append with a memo", Share::Shared, 0,
       [](Table& t) {
         Record r = t.read(t.append_blank());
         r.set(0, Value("NEW"));
         t.set_memo(r, 2, note_of(4));
         t.write(r);
         t.commit();
       }},
      {"two appends, exclusive", Share::Exclusive, 0,
       [](Table& t) {
         Record r = t.blank();
         r.set(0, Value("NEW"));
         t.append(r);
         t.append(r);
         t.commit();
       }},
      {"two appends with memos, exclusive", Share::Exclusive, 0,
       [](Table& t) {
         for (int n = 4; n <= 5; ++n) {
           Record r = t.blank();
           r.set(0, Value("REC" + std::to_string(n)));
           t.set_memo(r, 2, note_of(n));
           t.append(r);
         }
         t.commit();
       }},
      {"update", Share::Shared, 2,
       [](Table& t) {
         Record r = locked(t, 2);
         r.set(1, Value(99));
         r.set(0, Value("CHANGED"));
         t.write(r);
         t.commit();
       }},
      {"memo write", Share::Shared, 1,
       [](Table& t) {
         Record r = locked(t, 1);
         t.set_memo(r, 2, note_of(9));  // longer: a new memo
         t.write(r);
         t.commit();
       }},
  };
  return all;
}

// A fresh table of three committed records, opened through a FaultEnv.
struct Trial {
  testing_support::TempDir tmp;
  std::string path = make_table(tmp);
  FaultEnv env;
  std::unique_ptr<Table> t;
  explicit Trial(Share share) {
    OpenOptions o;
    o.env = &env;
    o.share = share;
    t = Table::open(path, o);
  }
};

int dbftool(const std::string& args, std::string* out) {
  return testing_support::run_capture(testing_support::program("dbftool") + " " + args + " 2>&1", out);
}

// After a failure: readable (after repair when the count is ahead), the
// committed records the operation did not touch as they were, and
// verify-clean after `dbftool repair`.
void expect_sound(const std::string& path, int touched, const std::string& what) {
  SCOPED_TRACE(what);
  std::unique_ptr<Table> t;
  try {
    t = Table::open(path);
  } catch (const TableError& e) {
    ASSERT_TRUE(e.repairable()) << e.what();
    repair_record_count(path);
    t = Table::open(path);
  }
  ASSERT_GE(t->record_count(), 3u);
  for (int n = 1; n <= 3; ++n) {
    if (n == touched) continue;
    Record r = t->read(static_cast<std::uint32_t>(n));
    EXPECT_EQ(r.get(0).text(), "REC" + std::to_string(n) + "    ");
    EXPECT_EQ(t->memo(r, 2), note_of(n));
  }
  t.reset();
  std::string out;
  ASSERT_EQ(dbftool("repair " + path, &out), 0) << out;
  ASSERT_EQ(dbftool("verify " + path, &out), 0) << out;
}

TEST(TableFaults, EveryWriteFailingInTurnIsReportedAndLeavesTheTableSound) {
  int cases = 0;
  for (const Op& op : ops()) {
    for (const auto fault : {FaultEnv::Fault::Eio, FaultEnv::Fault::NoSpace, FaultEnv::Fault::Short}) {
      for (int n = 1;; ++n) {
        const std::string what = std::string(op.name) + ", write " + std::to_string(n) + " fails (" +
                                 std::to_string(static_cast<int>(fault)) + ")";
        Trial trial(op.share);
        auto& [tmp, path, env, t] = trial;
        env.fail_write(n, fault);
        const int before = env.writes();
        bool failed = false;
        try {
          op.run(*t);
        } catch (const TableError&) {
          failed = true;
        }
        const bool hit = env.writes() - before >= n;
        EXPECT_EQ(failed, hit) << what << (hit ? ": reported as success" : ": failed without a fault");
        env.heal();
        try {
          t.reset();  // the failed open goes away (its pending count may follow)
        } catch (const TableError&) {
        }
        if (!hit) break;  // every write of the operation has failed once
        ++cases;
        expect_sound(path, op.touches, what);
        if (HasFatalFailure()) return;
      }
    }
  }
  std::printf("fault cases: %d\n", cases);
  EXPECT_GT(cases, 40);
}

TEST(TableFaults, APowerCutAtAnyWriteKeepsWhatWasCommittedAndNeverCountsAheadOfTheRecords) {
  int cases = 0;
  for (const auto loss : {FaultEnv::Loss::Everything, FaultEnv::Loss::AllButTheLast})
  for (const Op& op : ops()) {
    for (int n = 0;; ++n) {
      const std::string what = std::string(op.name) + ", power cut after write " + std::to_string(n) +
                               (loss == FaultEnv::Loss::Everything ? "" : ", the last write of each file kept");
      Trial trial(op.share);
      auto& [tmp, path, env, t] = trial;
      const int before = env.writes();
      env.crash_after(n);
      try {
        op.run(*t);
      } catch (const TableError& e) {
        EXPECT_TRUE(env.crashed()) << what << ": " << e.what();  // after the cut nothing counts
      }
      const bool cut = env.crashed();
      t.reset();
      env.drop_unsynced(loss);
      if (!cut) {
        // Nothing was lost: the committed operation is all there.
        auto after = Table::open(path);
        EXPECT_EQ(after->record_count(), op.touches ? 3u : op.share == Share::Exclusive ? 5u : 4u) << what;
        EXPECT_GT(env.writes() - before, 0);
        break;
      }
      ++cases;
      std::unique_ptr<Table> after;
      ASSERT_NO_THROW(after = Table::open(path)) << what;  // never "announces records it does not hold"
      after.reset();
      expect_sound(path, op.touches, what);
      if (HasFatalFailure()) return;
    }
  }
  std::printf("power-cut cases: %d\n", cases);
}

TEST(TableFaults, ACommittedAppendSurvivesThePowerCutAndLaterWritesAreLostWhole) {
  for (const Share share : {Share::Shared, Share::Exclusive}) {
    Trial trial(share);
    auto& [tmp, path, env, t] = trial;
    Record r = t->blank();
    r.set(0, Value("KEPT"));
    t->set_memo(r, 2, "committed memo");
    const std::uint32_t kept = t->append(r);
    t->commit();
    r.set(0, Value("LOST"));
    t->set_memo(r, 2, "uncommitted memo");
    t->append(r);  // not committed
    env.crash_after(0);
    t.reset();
    env.drop_unsynced();
    auto after = Table::open(path);
    ASSERT_GE(after->record_count(), kept);
    const Record back = after->read(kept);
    EXPECT_EQ(back.get(0).text(), "KEPT    ");
    EXPECT_EQ(after->memo(back, 2), "committed memo");
    // The later append is not counted: its count (shared) or its record
    // and count (exclusive) never reached the disk.
    EXPECT_EQ(after->record_count(), kept);
  }
}

// An exclusive open knows where its next memo goes: a memo append is its
// block and the pointer (one write when the pointer waits for the commit,
// as in a private scratch table), no header read or size call.  The memos
// read back after the commit, and a later shared open appends after them.
TEST(TableFaults, ExclusiveMemoAppendsWriteOnlyTheirBlocksAndLaterAppendsGoAfterThem) {
  for (const bool scratch : {false, true}) {
    SCOPED_TRACE(scratch ? "scratch" : "synced");
    testing_support::TempDir tmp;
    const std::string path = make_table(tmp);
    rt::os::CountingEnv env;
    OpenOptions o;
    o.env = &env;
    o.share = Share::Exclusive;
    auto t = Table::open(path, o);
    if (scratch) t->set_sync(false);
    for (int n = 4; n <= 6; ++n) {
      Record r = t->blank();
      r.set(0, Value("REC" + std::to_string(n)));
      const auto before = env.calls();
      t->set_memo(r, 2, note_of(n));
      const auto memo = env.calls().since(before);
      EXPECT_EQ(memo.total(), scratch ? 1u : 2u) << memo.text(true);
      EXPECT_EQ(memo[rt::os::Call::Write], memo.total());
      t->append(r);
    }
    t.reset();
    auto shared = Table::open(path);
    Record r = shared->read(shared->append_blank());
    shared->set_memo(r, 2, note_of(7));
    shared->write(r);
    shared->commit();
    for (std::uint32_t n = 1; n <= 7; ++n) EXPECT_EQ(shared->memo(shared->read(n), 2), note_of(static_cast<int>(n)));
  }
}

}  // namespace

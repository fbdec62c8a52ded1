// Sharing between real processes: record locks, concurrent appends, and locks
// of a process that dies.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "tests/support/testing.h"

using namespace rt::table;
using rt::Value;

namespace {

std::string make_table(const testing_support::TempDir& tmp) {
  const std::string path = tmp.file("shared.dbf");
  Table::create(path, {{"WRITER", 'N', 1, 0}, {"SEQ", 'N', 5, 0}, {"PAYLOAD", 'C', 24, 0}});
  return path;
}

std::string payload(int writer, int seq) {
  return "w" + std::to_string(writer) + "-s" + std::to_string(seq) + "-" + std::string(static_cast<std::size_t>(writer + 3), 'x');
}

// Record 1 is locked by the parent: its lock must fail here, record 2's
// succeed, and writing record 1 unlocked be refused.
CHK_CHILD_ROUTINE(ShareLockHeldElsewhere) {
  auto t = Table::open(args.at(0));
  if (t->lock_record(1)) return 1;
  if (!t->lock_record(2)) return 2;
  Record r = t->read(1);
  try {
    t->write(r);
    return 3;
  } catch (const TableError& e) {
    if (e.kind() != ErrorKind::NotLocked) return 4;
  }
  return 0;
}

CHK_CHILD_ROUTINE(ShareLockFirstRecord) { return Table::open(args.at(0))->lock_record(1) ? 0 : 1; }

constexpr int kEachWriter = 5000;

CHK_CHILD_ROUTINE(ShareAppendRecords) {
  const int w = std::stoi(args.at(1));
  OpenOptions o;
  o.sync = false;  // sharing is tested here, not the disk (20,000 syncs)
  auto t = Table::open(args.at(0), o);
  Record r = t->blank();
  for (int s = 1; s <= kEachWriter; ++s) {
    r.set(0, Value(w));
    r.set(1, Value(s));
    r.set(2, Value(payload(w, s)));
    const std::uint32_t n = t->append(r);
    if (!t->is_locked(n)) return 5;
    t->unlock_all();
  }
  return 0;
}

// Takes record 1 and the header, says so with the file args[1], and waits
// to be killed.
CHK_CHILD_ROUTINE(ShareHoldLocksUntilKilled) {
  auto t = Table::open(args.at(0));
  if (!t->lock_record(1) || !t->lock_header()) return 1;
  testing_support::write_file(args.at(1), "ready");
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

CHK_CHILD_ROUTINE(ShareOpenRefusedByExclusive) {
  try {
    Table::open(args.at(0));
    return 1;
  } catch (const TableError& e) {
    return e.network_error() ? 0 : 2;
  }
}

TEST(SharingProcesses, ALockHeldByOneProcessMakesLockFailInAnother) {
  testing_support::TempDir tmp;
  const std::string path = make_table(tmp);
  {
    auto t = Table::open(path);
    t->append_blank();
    t->append_blank();
  }
  auto mine = Table::open(path);
  ASSERT_TRUE(mine->lock_record(1));
  EXPECT_EQ(testing_support::wait_child(testing_support::spawn_child("ShareLockHeldElsewhere", {path})), 0);
  mine->unlock_record(1);
  EXPECT_EQ(testing_support::wait_child(testing_support::spawn_child("ShareLockFirstRecord", {path})), 0);
}

TEST(SharingProcesses, FourProcessesAppendingLeaveEveryRecordExactlyOnce) {
  testing_support::TempDir tmp;
  const std::string path = make_table(tmp);
  constexpr int kWriters = 4, kEach = kEachWriter;
  std::vector<int> children;
  for (int w = 1; w <= kWriters; ++w)
    children.push_back(testing_support::spawn_child("ShareAppendRecords", {path, std::to_string(w)}));
  for (int pid : children) EXPECT_EQ(testing_support::wait_child(pid), 0);

  auto t = Table::open(path);
  ASSERT_EQ(t->record_count(), static_cast<std::uint32_t>(kWriters * kEach));
  std::set<std::pair<int, int>> seen;
  Record r;
  for (std::uint32_t n = 1; n <= t->record_count(); ++n) {
    t->read_into(n, r);
    const int w = static_cast<int>(r.get(0).number());
    const int s = static_cast<int>(r.get(1).number());
    ASSERT_EQ(rt::text::rtrim(r.get(2).text()), payload(w, s)) << "torn record " << n;
    ASSERT_FALSE(r.deleted());
    ASSERT_TRUE(seen.insert({w, s}).second) << "duplicate record " << n;
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kWriters * kEach));
  const std::string bytes = testing_support::read_file(path);
  EXPECT_EQ(bytes.size(), t->schema().header_length + std::size_t{kWriters * kEach} * t->schema().record_length + 1);
  EXPECT_EQ(bytes.back(), '\x1A');
}

TEST(SharingProcesses, AKilledProcessLeavesNoStaleLock) {
  testing_support::TempDir tmp;
  const std::string path = make_table(tmp);
  { Table::open(path)->append_blank(); }
  const int child = testing_support::spawn_child("ShareHoldLocksUntilKilled", {path, tmp.file("ready")});
  ASSERT_TRUE(testing_support::wait_for_file(tmp.file("ready")));
  auto t = Table::open(path);
  EXPECT_FALSE(t->lock_record(1));
  EXPECT_FALSE(t->lock_header());
  testing_support::kill_child(child);
  EXPECT_EQ(testing_support::wait_child(child), -1);
  EXPECT_TRUE(t->lock_record(1));
  EXPECT_TRUE(t->lock_header());
}

TEST(SharingProcesses, ExclusiveOpenInAnotherProcessIsANetworkError) {
  testing_support::TempDir tmp;
  const std::string path = make_table(tmp);
  OpenOptions excl;
  excl.share = Share::Exclusive;
  auto mine = Table::open(path, excl);
  EXPECT_EQ(testing_support::wait_child(testing_support::spawn_child("ShareOpenRefusedByExclusive", {path})), 0);
}

}  // namespace

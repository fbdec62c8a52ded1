#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "runtime/os/counting_env.h"
#include "runtime/workarea/orders.h"
#include "runtime/workarea/workareas.h"
#include "tests/support/testing.h"

using rt::Value;
using rt::wa::Area;
using rt::wa::OpenOptions;
using rt::wa::WorkAreaError;
using rt::wa::WorkAreas;
using testing_support::TempDir;
using testing_support::thrown_kind;
using Kind = rt::wa::WorkAreaError::Kind;

namespace {

std::vector<rt::table::NewField> item_fields() {
  return {{"CODE", 'C', 7, 0}, {"QTY", 'N', 5, 0}, {"PRICE", 'N', 10, 2},
          {"SOLD", 'D', 8, 0}, {"OK", 'L', 1, 0}, {"NOTE", 'M', 10, 0}};
}

// A table of `count` records: CODE "C1".."Cn", QTY 1..n.
std::string make_items(const TempDir& dir, int count, const std::string& name = "items.dbf") {
  const std::string path = dir.file(name);
  WorkAreas wa;
  wa.create(path, item_fields());
  wa.select_area(0);
  EXPECT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  for (int i = 1; i <= count; ++i) {
    EXPECT_TRUE(wa.current().append());
    wa.current().put("CODE", "C" + std::to_string(i));
    wa.current().put("QTY", i);
  }
  wa.close_all();
  return path;
}

// make_items with the table's own bag holding the tag "code" on CODE.
std::string make_indexed_items(const TempDir& dir, int count) {
  const std::string path = make_items(dir, count);
  WorkAreas wa;
  EXPECT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  rt::wa::create_order(wa.current(), "code", "CODE");
  return path;
}

}  // namespace

// Second processes: args are the table, the file that says "ready" and the
// file the parent makes when the child may end.
CHK_CHILD_ROUTINE(WorkAreaHoldRecordTwo) {
  WorkAreas wa;
  if (!wa.use(args.at(0))) return 1;
  wa.current().go(2);
  if (!wa.current().lock_record()) return 2;
  testing_support::write_file(args.at(1), "ready");
  return testing_support::wait_for_file(args.at(2)) ? 0 : 4;
}

CHK_CHILD_ROUTINE(WorkAreaHoldExclusively) {
  WorkAreas wa;
  if (!wa.use(args.at(0), {.alias = "", .exclusive = true, .readonly = false})) return 1;
  testing_support::write_file(args.at(1), "ready");
  return testing_support::wait_for_file(args.at(2)) ? 0 : 4;
}

// Appends one record through the table's bag (args: table, bag), waiting
// up to 5 s for the locks.
CHK_CHILD_ROUTINE(WorkAreaAppendThroughBag) {
  WorkAreas wa;
  if (!wa.use(args.at(0))) return 1;
  rt::wa::set_index(wa.current(), args.at(1));
  wa.current().table().set_lock_wait(5);
  return wa.current().append({{"CODE", Value("THEIRS")}}) ? 0 : 2;
}

TEST(WorkAreas, NavigationFlagsAndRecordNumbers) {
  TempDir dir;
  const auto path = make_items(dir, 5);
  WorkAreas wa;
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path));
  Area& a = wa.current();
  EXPECT_EQ(wa.alias(), "ITEMS");
  EXPECT_EQ(a.recno(), 1u);  // an open positions on the first record
  EXPECT_FALSE(a.eof());
  a.skip(-1);
  EXPECT_TRUE(a.bof());
  EXPECT_EQ(a.recno(), 1u);
  a.skip(2);
  EXPECT_EQ(a.recno(), 3u);
  EXPECT_EQ(a.get("CODE").text(), "C3     ");
  EXPECT_EQ(a.get("QTY").number(), 3);
  a.skip(10);
  EXPECT_TRUE(a.eof());
  EXPECT_EQ(a.recno(), 6u);  // end of file is record count + 1
  EXPECT_EQ(a.get("CODE").text(), "       ");  // blank at end of file
  EXPECT_EQ(a.get("QTY").number(), 0);
  a.skip(-1);
  EXPECT_EQ(a.recno(), 5u);
  EXPECT_FALSE(a.eof());
  a.go(99);
  EXPECT_TRUE(a.eof());
  a.go(2);
  EXPECT_EQ(a.get("QTY").number(), 2);
  a.goto_top();
  EXPECT_EQ(a.recno(), 1u);
  EXPECT_FALSE(a.bof());

  EXPECT_EQ(a.field_count(), 6);
  EXPECT_EQ(a.field_name(2), "QTY");
  EXPECT_EQ(a.field_type(4), "D");
  EXPECT_EQ(a.field_type(6), "M");
  EXPECT_EQ(a.field_name(7), "");
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { a.get("NOSUCH"); }), Kind::NoField);
}

TEST(WorkAreas, EmptyTableIsAtEndOfFileAndBeginning) {
  TempDir dir;
  const auto path = make_items(dir, 0);
  WorkAreas wa;
  ASSERT_TRUE(wa.use(path));
  EXPECT_TRUE(wa.current().eof());
  EXPECT_TRUE(wa.current().bof());
  EXPECT_EQ(wa.current().recno(), 1u);
  EXPECT_FALSE(wa.current().locate([](Area&) { return true; }));
  // A lock at end of file never blocks a retrying caller; writes stay refused.
  EXPECT_TRUE(wa.current().lock_record());
  EXPECT_THROW(wa.current().put("QTY", 1), WorkAreaError);
}

TEST(WorkAreas, FilterSkipsFailingRecordsAndLocateFinds) {
  TempDir dir;
  const auto path = make_items(dir, 6);
  WorkAreas wa;
  ASSERT_TRUE(wa.use(path));
  Area& a = wa.current();
  a.set_filter([](Area& x) { return static_cast<int>(x.get("QTY").number()) % 2 == 0; }, "QTY % 2 = 0");
  a.goto_top();
  std::vector<double> seen;
  for (; !a.eof(); a.skip()) seen.push_back(a.get("QTY").number());
  EXPECT_EQ(seen, (std::vector<double>{2, 4, 6}));
  a.skip(-1);
  EXPECT_EQ(a.get("QTY").number(), 6);
  a.goto_bottom();
  EXPECT_EQ(a.recno(), 6u);

  EXPECT_TRUE(a.locate([](Area& x) { return x.get("QTY").number() > 3; }));
  EXPECT_EQ(a.recno(), 4u);  // 5 passes the condition but not the filter
  EXPECT_TRUE(a.found());
  EXPECT_FALSE(a.locate([](Area& x) { return x.get("QTY").number() > 6; }));
  EXPECT_FALSE(a.found());
  EXPECT_TRUE(a.eof());

  a.clear_filter();
  a.goto_top();
  EXPECT_EQ(a.get("QTY").number(), 1);
  EXPECT_TRUE(a.locate([](Area& x) { return x.get("CODE").text().rfind("C5", 0) == 0; }));
  EXPECT_EQ(a.recno(), 5u);
}

TEST(WorkAreas, SharedWritesNeedAnAppendOrALock) {
  TempDir dir;
  const auto path = make_items(dir, 3);
  WorkAreas wa;
  ASSERT_TRUE(wa.use(path));
  Area& a = wa.current();
  a.go(2);
  EXPECT_THROW(a.put("QTY", 20), WorkAreaError);
  EXPECT_EQ(a.get("QTY").number(), 2);  // nothing written

  ASSERT_TRUE(a.lock_record());
  a.put("QTY", 20);
  a.put("SOLD", *rt::text::Date::from_ymd(2027, 12, 31));
  a.put("OK", true);
  a.put("NOTE", "first note");
  a.unlock();
  EXPECT_THROW(a.put("QTY", 21), WorkAreaError);

  ASSERT_TRUE(a.append());  // blank record, current and locked
  EXPECT_EQ(a.recno(), 4u);
  EXPECT_TRUE(a.is_locked(4));
  EXPECT_EQ(a.get("CODE").text(), "       ");
  EXPECT_TRUE(a.get("SOLD").date().empty());
  a.put("CODE", "NEW");
  EXPECT_THROW(a.put("QTY", 123456), std::exception);  // does not fit N(5)
  a.delete_record();
  EXPECT_TRUE(a.deleted());
  a.unlock();

  // Another open of the same table sees every write.
  WorkAreas other;
  ASSERT_TRUE(other.use(path));
  Area& b = other.current();
  b.go(2);
  EXPECT_EQ(b.get("QTY").number(), 20);
  EXPECT_EQ(rt::text::dtos(b.get("SOLD").date()), "20271231");
  EXPECT_TRUE(b.get("OK").logical());
  EXPECT_EQ(b.get("NOTE").text(), "first note");
  b.go(4);
  EXPECT_EQ(b.get("CODE").text(), "NEW    ");
  EXPECT_TRUE(b.deleted());
  EXPECT_EQ(b.table().record_count(), 4u);
}

// A shared walk reads the header's count only when it goes past the records
// it knows of, and then sees what another open appended.
TEST(WorkAreas, ASharedWalkReadsTheCountOnlyPastTheRecordsItKnows) {
  TempDir dir;
  const auto path = make_items(dir, 3);
  rt::os::CountingEnv counting;
  WorkAreas wa(counting);
  ASSERT_TRUE(wa.use(path));
  Area& a = wa.current();
  const rt::os::CallCounts before = counting.calls();
  a.goto_top();
  a.skip(1);
  a.skip(1);
  EXPECT_EQ(a.get("CODE").text(), "C3     ");
  // At most the page of records again, when the open's read is no longer trusted.
  EXPECT_LE(counting.calls().since(before).total(), 1u) << counting.calls().since(before).text(true);

  WorkAreas other;
  ASSERT_TRUE(other.use(path));
  ASSERT_TRUE(other.current().append());
  other.current().put("CODE", "C4");
  other.close_all();
  a.skip(1);
  ASSERT_FALSE(a.eof());
  EXPECT_EQ(a.get("CODE").text(), "C4     ");
  a.skip(1);
  EXPECT_TRUE(a.eof());
  EXPECT_EQ(a.recno(), 5u);
}

// Files this program creates in a folder it has listed join the names it
// knows: opening the new table, its memo file and its bag lists nothing.
TEST(WorkAreas, FilesCreatedInAListedFolderOpenWithoutListingItAgain) {
  TempDir dir;
  const auto path = make_items(dir, 1);
  rt::os::CountingEnv counting;
  WorkAreas wa(counting);
  ASSERT_TRUE(wa.use(path));  // the folder's names are known from here on
  const rt::os::CallCounts before = counting.calls();
  wa.create(dir.file("notes.dbf"), {{"CODE", 'C', 7, 0}, {"NOTE", 'M', 10, 0}});
  wa.select_area(0);
  ASSERT_TRUE(wa.use(dir.file("notes.dbf"), {.alias = "", .exclusive = true, .readonly = false}));
  rt::wa::create_order(wa.current(), "code", "CODE");
  rt::wa::set_focus(wa.current(), "code");
  wa.close_all();
  ASSERT_TRUE(wa.use(dir.file("notes.dbf")));
  rt::wa::set_index(wa.current(), dir.file("notes"));
  // One listing for the bag's name looked up before it was created.
  const rt::os::CallCounts after = counting.calls().since(before);
  EXPECT_LE(after[rt::os::Call::List], 1u) << after.text(true);
}

TEST(WorkAreas, LockingARecordReleasesTheAreasOtherLocks) {
  TempDir dir;
  const auto path = make_items(dir, 3);
  WorkAreas mine, theirs;
  ASSERT_TRUE(mine.use(path));
  ASSERT_TRUE(theirs.use(path));
  Area& a = mine.current();
  Area& b = theirs.current();
  a.go(1);
  ASSERT_TRUE(a.lock_record());
  b.go(1);
  EXPECT_FALSE(b.lock_record());  // held by the other open, no wait
  a.go(2);
  ASSERT_TRUE(a.lock_record());  // drops the lock on record 1
  EXPECT_FALSE(a.is_locked(1));
  EXPECT_TRUE(b.lock_record());
  b.unlock();
  b.go(2);
  EXPECT_FALSE(b.lock_record());
  ASSERT_TRUE(a.append());  // an append releases the other locks too
  EXPECT_TRUE(b.lock_record());
  b.unlock();
  b.goto_bottom();  // the other open's append is visible
  EXPECT_EQ(b.recno(), 4u);
  EXPECT_FALSE(b.lock_record());  // and still locked by its append
  mine.close_area();  // closing releases every lock
  EXPECT_TRUE(b.lock_record());
  EXPECT_TRUE(b.is_locked(4));
}

TEST(WorkAreas, RecordLockHeldByAnotherProcessMakesRlockFail) {
  TempDir dir;
  const auto path = make_items(dir, 2);
  const int pid = testing_support::spawn_child("WorkAreaHoldRecordTwo", {path, dir.file("ready"), dir.file("done")});
  ASSERT_TRUE(testing_support::wait_for_file(dir.file("ready")));
  WorkAreas wa;
  ASSERT_TRUE(wa.use(path));
  wa.current().go(2);
  EXPECT_FALSE(wa.current().lock_record());
  wa.current().go(1);
  EXPECT_TRUE(wa.current().lock_record());
  testing_support::write_file(dir.file("done"), "done");
  EXPECT_EQ(testing_support::wait_child(pid), 0);
  wa.current().go(2);
  EXPECT_TRUE(wa.current().lock_record());  // released when the other process closed
}

TEST(WorkAreas, NeterrWhenAnotherProcessHoldsTheTableExclusively) {
  TempDir dir;
  const auto path = make_items(dir, 2);
  const int pid = testing_support::spawn_child("WorkAreaHoldExclusively", {path, dir.file("ready"), dir.file("done")});
  ASSERT_TRUE(testing_support::wait_for_file(dir.file("ready")));
  WorkAreas wa;
  wa.select_area(0);
  EXPECT_FALSE(wa.use(path));
  EXPECT_TRUE(wa.neterr());
  EXPECT_EQ(wa.alias(), "");
  EXPECT_FALSE(wa.use(path, {.alias = "", .exclusive = false, .readonly = true}));
  EXPECT_TRUE(wa.neterr());
  testing_support::write_file(dir.file("done"), "done");
  EXPECT_EQ(testing_support::wait_child(pid), 0);
  EXPECT_TRUE(wa.use(path));
  EXPECT_FALSE(wa.neterr());
  // An exclusive open fails while anyone else has the table open.
  WorkAreas other;
  EXPECT_FALSE(other.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  EXPECT_TRUE(other.neterr());
}

TEST(WorkAreas, SelectAliasesAndReadsOfAnotherArea) {
  TempDir dir;
  const auto items = make_items(dir, 3);
  const auto more = make_items(dir, 2, "More.dbf");
  WorkAreas wa;
  EXPECT_EQ(wa.select_area(0), 1);
  ASSERT_TRUE(wa.use(items));
  EXPECT_EQ(wa.select_area(0), 2);
  ASSERT_TRUE(wa.use(more, {.alias = "m", .exclusive = false, .readonly = true}));
  EXPECT_EQ(wa.alias(), "M");
  EXPECT_EQ(wa.select("items"), 1);
  EXPECT_EQ(wa.select("M"), 2);
  EXPECT_EQ(wa.select("nosuch"), 0);
  EXPECT_EQ(wa.select(""), 2);
  wa.area("items").go(3);
  EXPECT_EQ(wa.area("ITEMS").get("QTY").number(), 3);  // ITEMS->QTY read from area 2
  EXPECT_EQ(wa.current_number(), 2);
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { wa.current().put("QTY", 1); }), Kind::NotWritable);  // read-only open
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { wa.area("nosuch"); }), Kind::NotOpen);
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { wa.select_area("nosuch"); }), Kind::NotOpen);
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { wa.use(more, {.alias = "ITEMS", .exclusive = false, .readonly = true}); }),
            Kind::AliasInUse);

  wa.select_area(1);
  wa.close_area();
  EXPECT_EQ(wa.alias(), "");
  EXPECT_EQ(thrown_kind<WorkAreaError>([&] { wa.current(); }), Kind::NotOpen);
  EXPECT_EQ(wa.select_area(0), 1);  // the lowest free area again
  EXPECT_EQ(wa.select("items"), 0);
  wa.close_all();
  EXPECT_EQ(wa.select("M"), 0);
}

TEST(WorkAreas, FieldsByPositionAreTheFieldsByName) {
  TempDir dir;
  WorkAreas wa;
  wa.select_area(0);
  ASSERT_TRUE(wa.use(make_items(dir, 2), {.alias = "", .exclusive = true, .readonly = false}));
  Area& a = wa.current();
  const int qty = a.field_pos("qty"), note = a.field_pos("NOTE");
  ASSERT_EQ(qty, 2);
  a.go(2);
  EXPECT_EQ(a.field_get(qty).number(), 2);
  a.field_put(qty, Value(7));
  a.field_put(note, Value("memo text"));
  a.refresh();
  EXPECT_EQ(a.get("QTY").number(), 7);
  EXPECT_EQ(a.get("NOTE").text(), "memo text");
  for (int bad : {0, -1, a.field_count() + 1}) {
    EXPECT_THROW(a.field_get(bad), WorkAreaError) << bad;
    EXPECT_THROW(a.field_put(bad, Value(1)), WorkAreaError) << bad;
  }
}

TEST(WorkAreas, CopyStructureAndFiles) {
  TempDir dir;
  const auto items = make_items(dir, 3);
  WorkAreas wa;
  ASSERT_TRUE(wa.use(items));
  const auto copy = dir.file("tm390007.dbf");
  wa.copy_structure(copy);
  wa.select_area(0);
  ASSERT_TRUE(wa.use(copy, {.alias = "tempo39", .exclusive = true, .readonly = false}));
  Area& t = wa.current();
  EXPECT_EQ(t.table().record_count(), 0u);
  ASSERT_EQ(t.field_count(), 6);
  for (int i = 1; i <= 6; ++i) {
    EXPECT_EQ(t.field_name(i), wa.area("items").field_name(i));
    EXPECT_EQ(t.field_type(i), wa.area("items").field_type(i));
  }
  // Exclusive: writes need no lock.
  ASSERT_TRUE(t.append());
  t.put("NOTE", "memo in the copy");
  t.unlock();
  t.put("QTY", 7);
  EXPECT_EQ(t.get("QTY").number(), 7);
  wa.close_all();

  EXPECT_TRUE(wa.file_exists(dir.file("TM390007.DBF")));
  EXPECT_TRUE(wa.file_exists(dir.file("tm390007.fpt")));
  EXPECT_TRUE(wa.erase_file(dir.file("TM390007.FPT")));
  EXPECT_FALSE(wa.file_exists(dir.file("tm390007.fpt")));
  EXPECT_FALSE(wa.erase_file(dir.file("tm390007.fpt")));
}

namespace {
struct Recorder : rt::wa::RecordWriteObserver {
  std::vector<std::pair<std::string, std::string>> writes;
  void record_written(rt::wa::RecNo, std::string_view before, std::string_view after) override {
    writes.emplace_back(std::string(before), std::string(after));
  }
};
}  // namespace

TEST(WorkAreas, EveryWriteIsSeenWithItsImagesBeforeAndAfter) {
  TempDir dir;
  const auto items = make_items(dir, 1);
  WorkAreas wa;
  ASSERT_TRUE(wa.use(items));
  auto rec = std::make_shared<Recorder>();
  wa.current().add_write_observer(rec);
  ASSERT_TRUE(wa.current().lock_record());
  wa.current().put("CODE", "ZZ");
  ASSERT_EQ(rec->writes.size(), 1u);
  EXPECT_EQ(rec->writes[0].first.substr(1, 7), "C1     ");
  EXPECT_EQ(rec->writes[0].second.substr(1, 7), "ZZ     ");
  ASSERT_TRUE(wa.current().append());
  ASSERT_EQ(rec->writes.size(), 2u);
  EXPECT_TRUE(rec->writes[1].first.empty());
  EXPECT_EQ(rec->writes[1].second.substr(0, 8), "        ");
}

TEST(WorkAreas, SeveralFieldsWrittenAsOneRecordWriteOrNotAtAll) {
  TempDir dir;
  const auto items = make_items(dir, 2);
  WorkAreas wa;
  ASSERT_TRUE(wa.use(items));
  Area& a = wa.current();
  auto rec = std::make_shared<Recorder>();
  a.add_write_observer(rec);
  // A shared record needs its lock, as for one field.
  EXPECT_THROW(a.put_fields({{"QTY", Value(7)}}), WorkAreaError);
  ASSERT_TRUE(a.lock_record());
  a.put_fields({{"CODE", Value("X1")}, {"QTY", Value(3)}, {"QTY", Value(42)}, {"NOTE", Value("memo text")}});
  ASSERT_EQ(rec->writes.size(), 1u) << "one write for every field";
  // A value too wide for its field, or an unknown name, writes nothing.
  EXPECT_ANY_THROW(a.put_fields({{"CODE", Value("Y1")}, {"QTY", Value(1234567)}}));
  EXPECT_THROW(a.put_fields({{"CODE", Value("Y1")}, {"NOPE", Value(1)}}), WorkAreaError);
  EXPECT_EQ(rec->writes.size(), 1u);
  a.unlock();
  WorkAreas other;
  ASSERT_TRUE(other.use(items));
  EXPECT_EQ(other.current().get("CODE").text(), "X1     ");
  EXPECT_EQ(other.current().get("QTY").number(), 42) << "the last value given for a field wins";
  EXPECT_EQ(other.current().get("NOTE").text(), "memo text");
}

TEST(WorkAreas, AWholeRecordIsAppendedInOneWriteOrNotAtAll) {
  TempDir dir;
  const auto items = make_items(dir, 1);
  WorkAreas wa;
  ASSERT_TRUE(wa.use(items));
  Area& a = wa.current();
  auto rec = std::make_shared<Recorder>();
  a.add_write_observer(rec);
  EXPECT_ANY_THROW(a.append({{"CODE", Value("Y1")}, {"QTY", Value(1234567)}}));
  EXPECT_THROW(a.append({{"NOPE", Value(1)}}), WorkAreaError);
  EXPECT_EQ(a.table().record_count(), 1u) << "nothing appended";
  ASSERT_TRUE(a.append({{"CODE", Value("N2")}, {"QTY", Value(2)}, {"NOTE", Value("memo text")}}));
  ASSERT_EQ(rec->writes.size(), 1u);
  EXPECT_TRUE(rec->writes[0].first.empty());
  EXPECT_EQ(rec->writes[0].second.substr(1, 7), "N2     ") << "the record's first image is the whole record";
  EXPECT_EQ(a.recno(), 2u);
  EXPECT_TRUE(a.is_locked(2));
  EXPECT_EQ(a.get("NOTE").text(), "memo text");
}

TEST(WorkAreas, TheAppendLockStaysAcrossAppendsAndRecordLocksUntilReleased) {
  TempDir dir;
  const auto items = make_items(dir, 2);
  WorkAreas mine, theirs;
  ASSERT_TRUE(mine.use(items));
  ASSERT_TRUE(theirs.use(items));
  Area& a = mine.current();
  Area& b = theirs.current();
  ASSERT_TRUE(a.lock_append(0));
  EXPECT_FALSE(b.lock_append(0));
  a.go(1);
  ASSERT_TRUE(a.lock_record());
  ASSERT_TRUE(a.append({{"CODE", Value("N3")}}));
  a.unlock();
  EXPECT_FALSE(b.lock_append(0)) << "record locks and appends come and go under it";
  a.unlock_append();
  EXPECT_TRUE(b.lock_append(0));
  b.unlock_append();
}

// Another program appending while this one holds the append lock waits for
// it without holding the bag: this one's appends go through, then theirs.
TEST(WorkAreas, AnAppendWaitingForTheAppendLockHoldsNoBagLock) {
  TempDir dir;
  const std::string items = make_indexed_items(dir, 2);
  WorkAreas mine;
  ASSERT_TRUE(mine.use(items));
  Area& a = mine.current();
  rt::wa::set_index(a, dir.file("items.cdx"));
  a.set_bag_lock_wait([](const std::string&, int attempt) {  // about 1 s
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return attempt < 100;
  });
  ASSERT_TRUE(a.lock_append(0));
  const int child = testing_support::spawn_child("WorkAreaAppendThroughBag", {items, dir.file("items.cdx")});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // theirs is waiting now
  EXPECT_TRUE(a.append({{"CODE", Value("MINE")}}));
  a.unlock_append();
  EXPECT_EQ(testing_support::wait_child(child), 0);
  for (const char* code : {"MINE", "THEIRS"}) EXPECT_TRUE(rt::wa::seek(a, Value(code))) << code;
  EXPECT_EQ(a.table().record_count(), 4u);
}

// A scratch table lives in memory: nothing of its records, memos or tags
// reaches the files until commit, and then each file takes one write.  An
// earlier table that another open holds is refused and left as it was.
TEST(WorkAreas, AScratchTableReachesItsFilesWholeAtCommit) {
  TempDir dir;
  const std::string held = make_items(dir, 2, "busy.dbf");
  WorkAreas other;
  ASSERT_TRUE(other.use(held));
  rt::os::CountingEnv counting;
  WorkAreas wa(counting);
  EXPECT_FALSE(wa.use_scratch(held, item_fields(), "busy"));
  EXPECT_TRUE(wa.neterr());
  EXPECT_EQ(other.current().table().record_count(), 2u) << "the other open's table untouched";

  make_items(dir, 20, "old.dbf");  // an earlier, longer copy is replaced
  const auto old_size = std::filesystem::file_size(dir.file("old.dbf"));
  ASSERT_TRUE(wa.use_scratch(dir.file("old"), item_fields(), "s"));
  Area& s = wa.current();
  rt::wa::create_scratch_bag(s);
  for (const char* code : {"B", "A", "C"}) {
    ASSERT_TRUE(s.append({{"CODE", Value(code)}}));
    s.put("NOTE", Value(std::string("memo of ") + code));
  }
  rt::wa::create_order(s, "code", "CODE");
  const auto before = counting.calls();
  ASSERT_TRUE(rt::wa::seek(s, Value("B")));
  EXPECT_EQ(counting.calls().since(before).total(), 0u) << "answered from memory";
  EXPECT_EQ(std::filesystem::file_size(dir.file("old.dbf")), old_size) << "not written yet";
  s.commit();
  const auto written = counting.calls().since(before);
  EXPECT_EQ(written[rt::os::Call::Write], 3u) << written.text(true);
  wa.close_all();
  WorkAreas reader;
  ASSERT_TRUE(reader.use(dir.file("old")));
  rt::wa::set_index(reader.current(), dir.file("old.cdx"));
  ASSERT_TRUE(rt::wa::seek(reader.current(), Value("C")));
  EXPECT_EQ(reader.current().get("NOTE").text(), "memo of C");
  EXPECT_EQ(reader.current().table().record_count(), 3u);
  const auto& schema = reader.current().table().schema();
  EXPECT_EQ(std::filesystem::file_size(dir.file("old.dbf")), schema.header_length + 3u * schema.record_length + 1)
      << "cut to the new content";
}

// The seller table kept open: closing its area and using it again costs no
// open, yet what another program wrote meanwhile is seen, and nothing this
// open held locked stays locked.
TEST(WorkAreas, AKeptTableIsTakenBackWithOthersChangesAndNoLocks) {
  TempDir dir;
  const std::string items = make_indexed_items(dir, 2);
  rt::os::CountingEnv counting;
  WorkAreas wa(counting);
  wa.keep_open(items);
  ASSERT_TRUE(wa.use(items));
  rt::wa::set_index(wa.current(), dir.file("items.cdx"));
  wa.current().go(1);
  ASSERT_TRUE(wa.current().lock_record());
  wa.close_all();

  WorkAreas other;
  ASSERT_TRUE(other.use(items));
  rt::wa::set_index(other.current(), dir.file("items.cdx"));
  other.current().go(1);
  EXPECT_TRUE(other.current().lock_record()) << "the close released the lock";
  ASSERT_TRUE(other.current().append({{"CODE", Value("NEW")}}));
  other.close_all();

  const auto before = counting.calls();
  ASSERT_TRUE(wa.use(items));
  rt::wa::set_index(wa.current(), dir.file("items.cdx"));
  EXPECT_EQ(counting.calls().since(before)[rt::os::Call::Open], 0u);
  EXPECT_TRUE(rt::wa::seek(wa.current(), Value("NEW")));
  EXPECT_EQ(wa.current().table().record_count(), 3u);
}

// In a read batch a bag looks at its change counter once; outside one,
// every seek does, so another program's change is seen by the next seek.
TEST(WorkAreas, AReadBatchLooksAtABagsCounterOnce) {
  TempDir dir;
  const std::string items = make_indexed_items(dir, 3);
  rt::os::CountingEnv counting;
  WorkAreas wa(counting);
  ASSERT_TRUE(wa.use(items));
  Area& a = wa.current();
  rt::wa::set_index(a, dir.file("items.cdx"));
  const auto bag_reads = [&](auto&& seeks) {
    const auto before = counting.calls();
    seeks();
    return counting.calls().since(before).on("items.cdx");
  };
  const auto three_seeks = [&] {
    for (const char* code : {"C1", "C2", "C3"}) EXPECT_TRUE(rt::wa::seek(a, Value(code))) << code;
  };
  EXPECT_EQ(bag_reads([&] {
              const rt::wa::ReadBatch batch;
              three_seeks();
            }),
            1u);
  EXPECT_EQ(bag_reads(three_seeks), 3u);
  WorkAreas other;
  ASSERT_TRUE(other.use(items));
  rt::wa::set_index(other.current(), dir.file("items.cdx"));
  ASSERT_TRUE(other.current().append({{"CODE", Value("C9")}}));
  EXPECT_TRUE(rt::wa::seek(a, Value("C9")));
}

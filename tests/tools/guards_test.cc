#include "tools/guards.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "runtime/console/headless.h"
#include "tests/tools/table_rig.h"

namespace {

// Every guard gives its state back when the routine leaves by an exception,
// and keeps the new state when dismissed.
TEST(Guards, StateComesBackOnEveryWayOut) {
  toolstest::WorkFolder folder;
  toolstest::make_table(folder.file("t.dbf"), {{"N", 'N', 4, 0}}, {{rt::Value(1)}, {rt::Value(2)}, {rt::Value(3)}});
  rt::con::Console con(std::make_unique<rt::con::HeadlessBackend>());
  rt::wa::WorkAreas wa{folder.env()};
  wa.select_area(0);
  ASSERT_TRUE(wa.use("t"));
  rt::wa::Area& a = wa.current();
  a.go(2);
  con.set_color("w/n");
  const int mask = con.event_mask(), cursor = con.setcursor(1);

  for (const bool dismissed : {false, true}) {
    try {
      tools::KeepArea area(wa);
      tools::KeepRecord record(a);
      tools::FilterFor filter(a, [](rt::wa::Area& x) { return x.get("N").number() != 2; }, "N<>2");
      tools::KeepColour colour(con, "gr+/r");
      tools::KeepCursor shape(con, 0);
      tools::KeepEventMask events(con, 0);
      tools::HotkeyFor hotkey(con, 500, [](int) {});
      ASSERT_TRUE(a.lock_record());
      tools::HoldLocks locks(a);
      wa.select_area(0);
      a.go(3);
      EXPECT_TRUE(con.hotkey(500));
      if (dismissed) {
        record.dismiss();
        filter.dismiss();
      }
      throw std::runtime_error("leaving");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(wa.current_number(), 1);
    EXPECT_EQ(a.recno(), dismissed ? 3u : 2u);
    EXPECT_EQ(a.filter_text(), dismissed ? "N<>2" : "");
    EXPECT_EQ(con.color(), "w/n");
    EXPECT_EQ(con.setcursor(1), 1);
    EXPECT_EQ(con.event_mask(), mask);
    EXPECT_FALSE(con.hotkey(500));
    EXPECT_FALSE(a.is_locked(a.recno()));
    a.clear_filter();
    a.go(2);
  }
  con.setcursor(cursor);
}

// A lookup opens in a free area and leaves the caller's area selected.
TEST(Guards, OneLookupClosesItsAreaAndReselects) {
  toolstest::WorkFolder folder;
  toolstest::make_table(folder.file("t.dbf"), {{"N", 'N', 4, 0}}, {{rt::Value(1)}});
  rt::wa::WorkAreas wa{folder.env()};
  wa.select_area(3);
  ASSERT_TRUE(wa.use("t"));
  {
    tools::OneLookup lookup(wa);
    EXPECT_EQ(wa.current_number(), 1);
    ASSERT_TRUE(wa.use("t", {.alias = "again", .exclusive = false, .readonly = true}));
  }
  EXPECT_EQ(wa.current_number(), 3);
  EXPECT_FALSE(wa.is_open(1));
}

}  // namespace

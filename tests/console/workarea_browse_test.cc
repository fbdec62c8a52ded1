// The browse over a real table in a work area: rows in the area's order,
// through its filter, and a user routine that writes the current record.
#include <gtest/gtest.h>

#include <cmath>

#include "console_test_util.h"
#include "runtime/areabrowse/workarea_source.h"
#include "runtime/console/browse.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "runtime/workarea/workareas.h"
#include "tests/support/testing.h"

using namespace rt::con;
using rt::Value;
using rt::wa::WorkAreas;

namespace {

std::string make_lines(const testing_support::TempDir& dir, int count) {
  const std::string path = dir.file("tm390007.dbf");
  WorkAreas wa;
  wa.create(path, {{"DESCRIP", 'C', 30, 0}, {"CANTID", 'N', 3, 0}, {"CANT_CHK", 'N', 3, 0}, {"CB", 'N', 13, 0}});
  wa.select_area(0);
  EXPECT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  for (int i = 1; i <= count; ++i) {
    EXPECT_TRUE(wa.current().append());
    wa.current().put("DESCRIP", "PRODUCTO " + std::to_string(i));
    wa.current().put("CANTID", i % 3 + 1);
    wa.current().put("CB", 7790000000000.0 + i);
  }
  wa.close_all();
  return path;
}

BrowseLayout spec_for_lines() {
  BrowseLayout spec;
  spec.top = 8;
  spec.bottom = 20;
  spec.columns = {{"DESCRIP", "Producto", ""}, {"CANTID", "Vend", "@Z 999"}, {"CANT_CHK", "Cheq", "@Z 999"},
                  {"CB", "Barras", ""}};
  spec.heading_sep = "\xC4";
  return spec;
}

}  // namespace

TEST(WorkAreaBrowse, RowsMovesAndWritesThroughTheWorkArea) {
  testing_support::TempDir dir;
  const std::string path = make_lines(dir, 25);
  WorkAreas wa;
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path));
  wa.current().goto_top();
  contest::Rig rig;
  Console& con = rig.con();
  WorkAreaSource src(wa);
  BrowseLayout spec = spec_for_lines();
  std::vector<std::uint64_t> seen;
  spec.user = [&](int mode, int) {
    seen.push_back(wa.current().recno());
    if (mode != kKeyException) return kContinue;
    if (con.lastkey() == '+') {  // count a unit on the current line, under its lock
      EXPECT_TRUE(wa.current().lock_record());
      wa.current().put("CANT_CHK", wa.current().get("CANT_CHK").number() + 1);
      wa.current().unlock();
      return kContinue;
    }
    return kAbort;
  };
  rig.script().pause(0.1).key(key::kDown).key(key::kDown).key('+').pause(0.1);
  rig.script().then([&] {
    EXPECT_EQ(rig.text(12, 0, 12), "PRODUCTO 3  ");
    EXPECT_EQ(rig.text(12, 32, 8), "  1    1");
  });
  rig.script().key(key::kCtrlPgDn).key(key::kDown).key(key::kUp).key(key::kCtrlPgUp).key(key::kUp).key(key::kEsc);
  dbedit(con, src, spec);
  EXPECT_EQ(seen, (std::vector<std::uint64_t>{1, 2, 3, 3, 3, 25, 25, 24, 1, 1, 1}));
  EXPECT_EQ(rig.text(10, 0, 10), "PRODUCTO 1");
  wa.current().go(3);
  EXPECT_EQ(wa.current().get("CANT_CHK").number(), 1);
}

TEST(WorkAreaBrowse, FilterAndEmptyArea) {
  testing_support::TempDir dir;
  const std::string path = make_lines(dir, 12);
  WorkAreas wa;
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path));
  wa.current().set_filter([](rt::wa::Area& a) { return std::fmod(a.get("CB").number(), 2.0) == 0; });
  wa.current().goto_top();
  contest::Rig rig;
  Console& con = rig.con();
  WorkAreaSource src(wa);
  BrowseLayout spec = spec_for_lines();
  spec.user = [&](int, int) { return con.lastkey() == key::kEsc ? kAbort : kContinue; };
  rig.script().key(key::kPgDn).key(key::kPgDn).key(key::kEsc);
  dbedit(con, src, spec);
  EXPECT_EQ(rig.text(10, 0, 12), "PRODUCTO 2  ");
  EXPECT_EQ(rig.text(15, 0, 12), "PRODUCTO 12 ");
  EXPECT_EQ(rig.text(16, 0, 12), "            ");
  EXPECT_EQ(wa.current().recno(), 12u);

  // Nothing passes the filter: the routine is called with mode 3.
  wa.current().set_filter([](rt::wa::Area&) { return false; });
  wa.current().goto_top();
  int modes3 = 0;
  spec.user = [&](int mode, int) {
    if (mode == kEmpty) ++modes3;
    return con.lastkey() == key::kEsc ? kAbort : kContinue;
  };
  con.set_lastkey(0);
  rig.script().pause(0.1).key(key::kEsc);
  dbedit(con, src, spec);
  EXPECT_EQ(modes3, 2);  // the idle call and the Esc
}

// A private (exclusive) table marks its rows: they are read again only when
// written.  Painting a screen leaves the related area alone until the move
// back to the current row, which takes it to that row's record.
TEST(WorkAreaBrowse, ExclusiveRowsWrittenShowAndTheRelatedAreaFollowsTheCurrentRow) {
  testing_support::TempDir dir;
  WorkAreas wa;
  wa.create(dir.file("prod.dbf"), {{"CODIGO", 'C', 7, 0}, {"NOMBRE", 'C', 20, 0}});
  wa.create(dir.file("lines.dbf"), {{"DESCRIP", 'C', 30, 0}, {"CANTID", 'N', 3, 0}, {"CANT_CHK", 'N', 3, 0},
                                     {"CB", 'N', 13, 0}, {"CODIGO", 'C', 7, 0}});
  wa.select_area(0);
  ASSERT_TRUE(wa.use(dir.file("prod"), {.alias = "", .exclusive = true, .readonly = false}));
  for (int i = 1; i <= 30; ++i)
    ASSERT_TRUE(wa.current().append({{"CODIGO", Value("P" + std::to_string(100 + i))},
                                     {"NOMBRE", Value("NOMBRE " + std::to_string(i))}}));
  rt::wa::create_order(wa.current(), "codigo", "codigo");
  wa.select_area(0);
  ASSERT_TRUE(wa.use(dir.file("lines"), {.alias = "", .exclusive = true, .readonly = false}));
  for (int i = 1; i <= 30; ++i)  // line i is of product 31 - i
    ASSERT_TRUE(wa.current().append({{"DESCRIP", Value("PRODUCTO " + std::to_string(i))},
                                     {"CANTID", Value(2)},
                                     {"CODIGO", Value("P" + std::to_string(100 + (31 - i)))}}));
  rt::wa::Area& lines = wa.current();
  rt::wa::set_relation(wa, lines, "prod", "codigo");
  lines.goto_top();
  contest::Rig rig;
  Console& con = rig.con();
  WorkAreaSource src(wa);
  BrowseLayout spec = spec_for_lines();
  std::vector<std::string> related;
  spec.user = [&](int mode, int) {
    related.push_back(rt::text::trim(wa.area("prod").get("NOMBRE").text()));
    if (mode != kKeyException) return kContinue;
    if (con.lastkey() == '+') lines.put("CANT_CHK", lines.get("CANT_CHK").number() + 1);
    return con.lastkey() == key::kEsc ? kAbort : kContinue;
  };
  rig.script().pause(0.1).key(key::kDown).key('1').key('+');
  rig.script().then([&] { EXPECT_EQ(rig.text(11, 0, 40), "PRODUCTO 2                        2    1"); });
  // Two pages down: lines 12 to 22 on the screen, 22 the current one.
  rig.script().key(key::kPgDn).key(key::kPgDn).key('+').key('+').key(key::kEsc);
  dbedit(con, src, spec);
  EXPECT_EQ(lines.recno(), 22u);
  EXPECT_EQ(rig.text(20, 0, 40), "PRODUCTO 22                       2    2");
  EXPECT_EQ(rig.text(10, 0, 11), "PRODUCTO 12");
  ASSERT_FALSE(related.empty());
  EXPECT_EQ(related.front(), "NOMBRE 30");
  EXPECT_EQ(related.back(), "NOMBRE 9") << "the related area stands on the current row's record";
}

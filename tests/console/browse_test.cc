#include <gtest/gtest.h>

#include "console_test_util.h"
#include "runtime/console/browse.h"

using namespace rt::con;
using rt::Value;

namespace {

MemorySource lines(int n) {
  MemorySource src({{"descrip", 20}, {"cantid", 3}, {"cant_chk", 3}, {"cb", 13}});
  for (int i = 1; i <= n; ++i) {
    src.append({Value("LINE " + std::to_string(i)), Value(i % 4), Value(0), Value(7790000000000.0 + i)});
  }
  return src;
}

BrowseLayout check_browse() {
  BrowseLayout spec;
  spec.top = 8;
  spec.bottom = 20;
  spec.columns = {{"descrip", "Producto", ""}, {"cantid", "Vend", "@Z 999"}, {"cant_chk", "Cheq", "@Z 999"},
                  {"cb", "Barras", ""}};
  spec.heading_sep = "\xC4";
  spec.column_sep = " ";
  return spec;
}

struct Call {
  int mode;
  int key;
  std::uint64_t rec;
  friend bool operator==(const Call&, const Call&) = default;
};

std::ostream& operator<<(std::ostream& os, const Call& c) {
  return os << "{" << c.mode << "," << c.key << ",#" << c.rec << "}";
}

}  // namespace

TEST(Browse, LayoutHeadingsSeparatorPicturesAndCurrentCell) {
  contest::Rig rig;
  Console& con = rig.con();
  MemorySource src = lines(3);
  BrowseLayout spec = check_browse();
  spec.user = [&](int mode, int) { return mode == kIdle ? kAbort : kContinue; };
  dbedit(con, src, spec);
  // Numbers stand right-aligned under their headings.
  EXPECT_EQ(rig.text(8, 0, 44), "Producto             Vend Cheq        Barras");
  EXPECT_EQ(rig.text(9, 0, 80), std::string(80, '\xC4'));
  EXPECT_EQ(rig.text(10, 0, 44), "LINE 1                  1      7790000000001");
  EXPECT_EQ(rig.text(13, 0, 80), std::string(80, ' '));
  EXPECT_EQ(rig.attr(10, 0), con.colors().enhanced());  // the current cell
  EXPECT_EQ(rig.attr(10, 21), con.standard());
  EXPECT_EQ(rig.attr(11, 0), con.standard());
}

TEST(Browse, ColumnWidthsGivenByTheCallerPlaceTheValues) {
  // The check browse reads the sold and counted quantities at fixed places
  // of each row; fixed widths put them there.
  contest::Rig rig;
  Console& con = rig.con();
  MemorySource src = lines(2);
  src.row(0)[2] = Value(12);
  BrowseLayout spec = check_browse();
  spec.columns[0].width = 33;
  spec.columns[1].width = 6;
  spec.columns[2].width = 6;
  spec.user = [&](int, int) { return kAbort; };
  dbedit(con, src, spec);
  EXPECT_EQ(Console::charodd(con.screenstr(10, 37, 3)), "  1");
  EXPECT_EQ(Console::charodd(con.screenstr(10, 44, 3)), " 12");
  EXPECT_EQ(rig.text(10, 0, 34), "LINE 1" + std::string(28, ' '));
}

TEST(Browse, UserRoutineProtocolModesAndKeysInOrder) {
  contest::Rig rig;
  Console& con = rig.con();
  MemorySource src = lines(30);
  BrowseLayout spec = check_browse();
  std::vector<Call> calls;
  spec.user = [&](int mode, int) {
    calls.push_back({mode, con.lastkey(), src.recno()});
    return con.lastkey() == key::kEsc ? kAbort : kContinue;
  };
  // A pause is a moment with nothing typed: the browse is idle.
  rig.script().pause(0.1).key('a').key('b').pause(0.1).key(key::kDown).key(key::kUp).key(key::kUp);
  rig.script().key(key::kCtrlPgDn).key(key::kDown).key(key::kEsc);
  dbedit(con, src, spec);
  const std::vector<Call> want = {
      {kIdle, 0, 1},                 // nothing typed yet
      {kKeyException, 'a', 1},       // 'a' and 'b' waited together: no idle between
      {kKeyException, 'b', 1},  {kIdle, 'b', 1},
      {kIdle, key::kDown, 2},        // a movement is followed by a call at once
      {kIdle, key::kUp, 1},
      {kTop, key::kUp, 1},           // ran into the first row
      {kIdle, key::kCtrlPgDn, 30},
      {kBottom, key::kDown, 30},
      {kKeyException, key::kEsc, 30},
  };
  EXPECT_EQ(calls, want);
}

TEST(Browse, ScrollingReadsOnlyTheNewRow) {
  contest::Rig rig;
  Console& con = rig.con();
  MemorySource src = lines(40);
  BrowseLayout spec = check_browse();
  std::vector<long> reads_at_down;
  spec.user = [&](int mode, int) {
    if (mode == kIdle && con.lastkey() == key::kDown) reads_at_down.push_back(src.reads());
    return con.lastkey() == key::kEsc ? kAbort : kContinue;
  };
  for (int i = 0; i < 12; ++i) rig.script().key(key::kDown);
  rig.script().key(key::kEsc);
  dbedit(con, src, spec);
  EXPECT_EQ(src.recno(), 13u);
  EXPECT_EQ(rig.text(20, 0, 7), "LINE 13");
  EXPECT_EQ(rig.text(10, 0, 7), "LINE 3 ");
  EXPECT_EQ(rig.attr(20, 0), con.colors().enhanced());
  EXPECT_EQ(rig.attr(19, 0), con.standard());
  // One more Down at the window's bottom: the new row's four columns, plus
  // the current row re-read after the user call.
  ASSERT_EQ(reads_at_down.size(), 12u);
  EXPECT_LE(reads_at_down[11] - reads_at_down[10], 8);
}

TEST(Browse, PagesHomeAndEnd) {
  contest::Rig rig;
  Console& con = rig.con();
  MemorySource src = lines(30);
  BrowseLayout spec = check_browse();
  std::vector<std::uint64_t> at;
  spec.user = [&](int mode, int) {
    if (mode != kKeyException) at.push_back(src.recno());
    return con.lastkey() == key::kEsc ? kAbort : kContinue;
  };
  rig.script().pause(0.1).key(key::kPgDn).key(key::kPgDn).key(key::kPgUp).key(key::kPgUp).key(key::kCtrlPgDn).key(key::kCtrlPgUp);
  rig.script().key(key::kEsc);
  dbedit(con, src, spec);
  EXPECT_EQ(at, (std::vector<std::uint64_t>{1, 11, 22, 12, 1, 30, 1}));
}

TEST(Browse, RedrawAllOnTwoAndFollowingARecordTheRoutineMovedTo) {
  contest::Rig rig;
  Console& con = rig.con();
  MemorySource src = lines(30);
  BrowseLayout spec = check_browse();
  spec.user = [&](int mode, int) {
    if (mode != kKeyException) return kContinue;
    switch (con.lastkey()) {
      case 'c':  // count a unit on the current row; 1 is enough for it
        src.row(src.recno() - 1)[2] = Value(src.row(src.recno() - 1)[2].number() + 1);
        return kContinue;
      case 'x':  // change another row: needs 2
        src.row(2)[0] = Value("CHANGED");
        return kRefresh;
      case 's':  // a lookup moves to another row
        src.go_to(25);
        return kContinue;
      default: return kAbort;
    }
  };
  rig.script().key('c').then([&] { EXPECT_EQ(rig.text(10, 26, 4), "   1"); });
  rig.script().key('x').then([&] { EXPECT_EQ(rig.text(12, 0, 7), "CHANGED"); });
  rig.script().key('s').then([&] {
    EXPECT_EQ(rig.text(10, 0, 7), "LINE 25");
    EXPECT_EQ(rig.attr(10, 0), con.colors().enhanced());
  });
  rig.script().key(key::kEsc);
  dbedit(con, src, spec);
}

TEST(Browse, CurrentCellStaysMarkedWhenTheRoutineRecoloursRows) {
  // A routine that colours whole rows by their content (as the check
  // browse does at every idle moment) must not hide where the cursor is.
  contest::Rig rig;
  Console& con = rig.con();
  MemorySource src = lines(5);
  BrowseLayout spec = check_browse();
  const Attr green = parse_color_pair("g+/n");
  spec.user = [&](int mode, int) {
    if (mode == kIdle) con.colorwin(10, 0, 20, 79, "g+/n");
    return con.lastkey() == key::kEsc ? kAbort : kContinue;
  };
  rig.script().pause(0.1).then([&] {
    EXPECT_EQ(rig.attr(10, 0), con.colors().enhanced());
    EXPECT_EQ(rig.attr(10, 25), green);
    EXPECT_EQ(rig.attr(11, 0), green);
  });
  rig.script().key(key::kDown).then([&] {
    EXPECT_EQ(rig.attr(11, 0), con.colors().enhanced());
    EXPECT_EQ(rig.attr(10, 0), green);
  });
  rig.script().key(key::kEsc);
  dbedit(con, src, spec);
}

TEST(Browse, EmptySourceCallsModeThreeOncePerKey) {
  contest::Rig rig;
  Console& con = rig.con();
  MemorySource src = lines(0);
  BrowseLayout spec = check_browse();
  std::vector<Call> calls;
  spec.user = [&](int mode, int) {
    calls.push_back({mode, con.lastkey(), 0});
    return con.lastkey() == key::kEsc ? kAbort : kContinue;
  };
  con.set_lastkey(key::kEnter);
  rig.script().pause(0.1).key('7').key(key::kDown).key(key::kEsc);
  dbedit(con, src, spec);
  const std::vector<Call> want = {
      {kEmpty, key::kEnter, 0}, {kEmpty, '7', 0}, {kEmpty, key::kDown, 0}, {kEmpty, key::kEsc, 0}};
  EXPECT_EQ(calls, want);
  EXPECT_EQ(rig.text(10, 0, 80), std::string(80, ' '));
}

TEST(Browse, ReaderBurstWithGroupSeparatorsReachesTheRoutineWhole) {
  // With the substitution set the separator arrives as "@" (mode 4); with
  // it removed, the browse takes key 29 as Ctrl+Home and the routine sees
  // it at once in an idle call.  Either way no key is lost or reordered.
  // The substitution may put "@" in front of what waits, or replace the
  // type-ahead buffer with it (__KEYBOARD): the reader's keys are still in
  // the display's queue, not in the buffer, so neither loses any.
  for (int hotkey : {0, 1, 2}) {
    contest::Rig rig;
    Console& con = rig.con();
    if (hotkey == 1) con.set_key(29, [&](int) { con.push_front({'@'}); });
    if (hotkey == 2) con.set_key(29, [&](int) { con.keyboard("@"); });
    MemorySource src = lines(5);
    BrowseLayout spec = check_browse();
    std::string scanned;
    spec.user = [&](int mode, int) {
      const int k = con.lastkey();
      if (k == key::kEnter) return kAbort;
      if (mode == kKeyException || (mode == kIdle && k == 29)) scanned += k == 29 ? '@' : static_cast<char>(k);
      return kContinue;
    };
    std::string burst = "01077981234567892112345678901";
    burst += '\x1d';
    burst += "17271231";
    burst += "10LOT44";
    burst += '\x1d';
    burst += "91123456789012";
    ASSERT_EQ(burst.size(), 60u);
    rig.script().keys(burst).key(key::kEnter);
    dbedit(con, src, spec);
    std::string want = burst;
    for (char& c : want) {
      if (c == '\x1d') c = '@';
    }
    EXPECT_EQ(scanned, want) << "hotkey " << hotkey;
  }
}

// NETUSE, RBLOQUEO2 and DATE1 against a second process that holds the table
// exclusively or the record locked.
#include <gtest/gtest.h>

#include "screen_expect.h"
#include "table_rig.h"
#include "tests/console/console_test_util.h"
#include "runtime/os/fault_env.h"
#include "runtime/workarea/orders.h"
#include "tools/shared_open.h"

using namespace toolstest;
namespace key = rt::con::key;
using rt::text::Date;

namespace {

struct Rig : contest::Rig {
  WorkFolder folder;
  rt::wa::WorkAreas wa{folder.env()};
  Rig() {
    fill_pattern(con());
    con().set_color("gr/b");
    make_table(folder.file("fec_sys.dbf"), {{"FECHA", 'D', 8, 0}}, {{rt::Value(*Date::from_ymd(2026, 11, 30))}});
    make_table(folder.file("compenca.dbf"), {{"NUMERO", 'N', 8, 0}, {"MARCA", 'C', 1, 0}},
               {{rt::Value(1.0), rt::Value(std::string(" "))}, {rt::Value(2.0), rt::Value(std::string(" "))}});
  }
  const rt::con::Screen& screen() { return con().screen(); }
  double now() { return con().clock().monotonic(); }
};

constexpr rt::con::Attr kBoxColour = attr(kBrown, kBlue);  // "gr/b", current when the box is drawn

Expected netuse_box(const rt::con::Screen& before, const std::string& archivo,
                    const std::string& por_que = "En Uso Exclusivo Por Otro Usuario ") {
  Expected e(before);
  e.blank(16, 1, 24, 42, kBoxColour);
  e.frame(17, 3, 23, 40, kBoxColour);
  e.text(17, 8, " Tr\xA0nsito Pesado En La Red ", kBoxColour);
  e.text(19, 5, "Archivo: " + archivo + ".DBF", kBoxColour);
  e.text(20, 5, por_que, kBoxColour);
  e.text(21, 5, "Reintentando ...", kBoxColour);
  e.text(22, 7, "(\xAE" "Esc\xAF Interrumpe)    (Linea: 116)", kBoxColour);
  return e;
}

}  // namespace

TEST(Netuse, OpensAtOnceWithoutTouchingScreenCursorOrKeys) {
  Rig rig;
  rig.con().setcursor(3);
  const Expected before(rig.screen());
  rig.con().push_back('q');
  EXPECT_TRUE(tools::netuse(rig.con(), rig.wa, "compenca"));
  EXPECT_FALSE(rig.wa.alias().empty());
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().cursor_shape(), 3);
  EXPECT_EQ(rig.con().typeahead_size(), 1u);
  EXPECT_EQ(rig.now(), 0);
}

TEST(Netuse, BoxFromTheFifthFailureUntilTheOtherStationLetsGo) {
  Rig rig;
  OtherStation other(rig.folder.path(), "fec_sys.dbf");
  const Expected before(rig.screen());
  const Expected box = netuse_box(rig.screen(), "FEC_SYS");
  std::string after_four = "not checked", at_five = "not checked";
  int cursor = -1;
  rig.script().key('a').key('b').key('c').then([&] { after_four = diff(rig.screen(), before); }).key('d');
  rig.script().then([&] {
    at_five = diff(rig.screen(), box);
    cursor = rig.con().cursor_shape();
    EXPECT_EQ(rig.screen().at(22, 40).ch, ')');  // on the frame's right edge
    other.release();
  });
  EXPECT_TRUE(tools::netuse(rig.con(), rig.wa, "FEC_SYS"));
  EXPECT_EQ(after_four, "");
  EXPECT_EQ(at_five, "");
  EXPECT_EQ(cursor, 0);
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().cursor_shape(), 1);
  EXPECT_EQ(rig.con().color(), "gr/b");  // NETUSE never changes the colour
  EXPECT_EQ(rig.wa.current().get("FECHA").date(), *Date::from_ymd(2026, 11, 30));
  // Five failed tries, each followed by a short sleep: no busy loop, and on
  // the virtual clock no real time passes.
  EXPECT_NEAR(rig.now(), 5 * tools::kNetuseYieldSeconds, 1e-9);
}

TEST(Netuse, FourFailuresThenSuccessShowNothing) {
  Rig rig;
  OtherStation other(rig.folder.path(), "fec_sys.dbf");
  rig.con().setcursor(2);
  const Expected before(rig.screen());
  rig.script().key('a').key('b').key('c').then([&] { other.release(); }).key('d');
  EXPECT_TRUE(tools::netuse(rig.con(), rig.wa, "fec_sys"));
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().cursor_shape(), 2);
  EXPECT_NEAR(rig.now(), 4 * tools::kNetuseYieldSeconds, 1e-9);
}

TEST(Netuse, EscInTheBoxGivesUpAndRestoresTheScreen) {
  Rig rig;
  OtherStation other(rig.folder.path(), "fec_sys.dbf");
  const Expected before(rig.screen());
  const Expected box = netuse_box(rig.screen(), "fec_sys");
  std::string shown = "not checked";
  rig.script().keys("abcd").then([&] { shown = diff(rig.screen(), box); }).key(key::kEsc);
  EXPECT_FALSE(tools::netuse(rig.con(), rig.wa, "fec_sys"));
  EXPECT_EQ(shown, "");
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().cursor_shape(), 1);
  EXPECT_TRUE(rig.wa.alias().empty());

  // Esc typed ahead gives up at the first failure, with nothing to restore.
  Rig ahead;
  OtherStation again(ahead.folder.path(), "compenca.dbf");
  ahead.con().setcursor(3);
  const Expected untouched(ahead.screen());
  ahead.con().push_back(key::kEsc);
  EXPECT_FALSE(tools::netuse(ahead.con(), ahead.wa, "compenca"));
  EXPECT_EQ(diff(ahead.screen(), untouched), "");
  EXPECT_EQ(ahead.con().cursor_shape(), 3);
}

TEST(BagLockWait, BoxFromTheFifthFailureThenTheWriteOrEscRefusesIt) {
  for (const bool give_up : {false, true}) {
    SCOPED_TRACE(give_up ? "Esc in the box" : "the other program lets go");
    Rig rig;
    {
      rt::wa::OpenOptions o;
      o.exclusive = true;
      ASSERT_TRUE(rig.wa.use("compenca", o));
      rt::wa::create_order(rig.wa.current(), "NUMERO", "NUMERO");
      rig.wa.close_area();
    }
    rig.wa.set_bag_lock_wait(tools::bag_lock_wait(rig.con()));
    ASSERT_TRUE(rig.wa.use("compenca"));
    rt::wa::Area& a = rig.wa.current();
    rt::wa::set_index(a, "compenca");
    a.go(2);
    ASSERT_TRUE(a.lock_record());
    auto other = rt::cdx::Bag::open(rig.folder.file("compenca.cdx"), true);
    std::optional<rt::cdx::Bag::Lock> held(std::in_place, *other, true);
    const Expected before(rig.screen());
    Expected box = netuse_box(rig.screen(), "COMPENCA");
    box.text(19, 5, "Archivo: COMPENCA.CDX", kBoxColour);
    box.text(20, 5, "Indice Bloqueado Por Otro Usuario ", kBoxColour);
    std::string shown = "not checked";
    rig.script().keys("abcd").then([&] {
      shown = diff(rig.screen(), box);
      if (!give_up) held.reset();
    });
    if (give_up) rig.script().key(key::kEsc);
    if (give_up) {
      EXPECT_THROW(a.put("NUMERO", rt::Value(9.0)), rt::cdx::CdxError);
    } else {
      a.put("NUMERO", rt::Value(9.0));
    }
    EXPECT_EQ(shown, "");
    EXPECT_EQ(diff(rig.screen(), before), "");
    EXPECT_EQ(rig.con().cursor_shape(), 1);
    a.refresh();
    EXPECT_EQ(a.get("NUMERO").number(), give_up ? 2.0 : 9.0);
    held.reset();
    EXPECT_EQ(other->tag("NUMERO").count(), 2u);
  }
}

TEST(Netuse, AMissingTableIsNotASharingConflict) {
  Rig rig;
  const Expected before(rig.screen());
  EXPECT_ANY_THROW(tools::netuse(rig.con(), rig.wa, "nothere"));
  EXPECT_EQ(diff(rig.screen(), before), "");
}

// An append lock held elsewhere gets NETUSE's retry: the box from the fifth
// failure, Esc gives up with nothing appended; once free the append is made.
TEST(AppendNetuse, RetriesWithTheBoxFromTheFifthFailureAndEscGivesUp) {
  Rig rig;
  rt::os::FaultEnv env(rig.folder.env());
  env.refuse_locks("compenca");
  rt::wa::WorkAreas wa(env);
  ASSERT_TRUE(wa.use("compenca"));
  rt::wa::Area& area = wa.current();
  area.table().set_lock_wait(0);
  const Expected before(rig.screen());
  const Expected box = netuse_box(rig.screen(), "COMPENCA", "Bloqueada Por Otro Usuario        ");
  std::string shown = "not checked";
  rig.script().keys("abcd").then([&] { shown = diff(rig.screen(), box); }).key(key::kEsc);
  EXPECT_FALSE(tools::append_netuse(rig.con(), area));
  EXPECT_EQ(shown, "");
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(area.table().record_count(), 2u);

  env.heal();
  EXPECT_TRUE(tools::append_netuse(rig.con(), area));
  EXPECT_EQ(area.recno(), 3u);
  EXPECT_TRUE(area.is_locked(3));
}

TEST(Rbloqueo2, LocksAtOnceWhenTheRecordIsFree) {
  Rig rig;
  ASSERT_TRUE(tools::netuse(rig.con(), rig.wa, "compenca"));
  rig.wa.current().go(2);
  const Expected before(rig.screen());
  EXPECT_TRUE(tools::rbloqueo2(rig.con(), rig.wa));
  EXPECT_TRUE(rig.wa.current().is_locked(2));
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_TRUE(rig.script().tones().empty());
  EXPECT_EQ(rig.con().color(), "gr/b");
  EXPECT_EQ(rig.now(), 0);
}

TEST(Rbloqueo2, BoxMarkerAndClicksFromTheFifthAttemptUntilTheOtherStationUnlocks) {
  Rig rig;
  ASSERT_TRUE(tools::netuse(rig.con(), rig.wa, "compenca"));
  rig.wa.current().go(2);
  OtherStation other(rig.folder.path(), "compenca.dbf", 2);
  const Expected before(rig.screen());
  const std::string alias = rig.wa.alias();
  Expected box(rig.screen());
  box.blank(17, 1, 24, 40, kNormal);
  box.blank(18, 3, 23, 38, kReverso);
  box.frame(18, 3, 23, 38, kReverso);
  box.text(18, 8, " Tr\xA0nsito Pesado En La Red ", kReverso);
  box.text(20, 5, "Archivo: " + alias + ".DBF", kReverso);
  box.text(21, 5, "Registro: 2 En Uso", kReverso);
  box.text(22, 5, "Reintententando... (linea: 1318", kReverso);
  box.text(22, 36, "\xEC", kReverso);  // the marker after its click
  std::string shown = "not checked";
  int cursor = -1;
  rig.script().then([&] {
    shown = diff(rig.screen(), box);
    cursor = rig.con().cursor_shape();
  });
  rig.script().pause(1.0).then([&] { other.release(); });
  EXPECT_TRUE(tools::rbloqueo2(rig.con(), rig.wa));
  EXPECT_EQ(shown, "");
  EXPECT_EQ(cursor, 0);
  EXPECT_TRUE(rig.wa.current().is_locked(2));
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().color(), "W+/B");
  EXPECT_EQ(rig.con().cursor_shape(), 1);
  // Attempts 5, 6 and 7 each came after a click and a 0.4 s wait.
  ASSERT_EQ(rig.script().tones().size(), 3u);
  for (const auto& t : rig.script().tones()) {
    EXPECT_EQ(t.freq, 3000);
    EXPECT_EQ(t.ticks, 0.1);
  }
  EXPECT_NEAR(rig.now(), 3 * 0.4 + 3 * 0.1 / 18.2, 1e-9);
  EXPECT_TRUE(alias == "compenca" || alias == "COMPENCA") << alias;
}

TEST(Rbloqueo2, AKeyEndsOneWaitEarlyAndDoesNothingElse) {
  Rig rig;
  ASSERT_TRUE(tools::netuse(rig.con(), rig.wa, "compenca"));
  rig.wa.current().go(1);
  OtherStation other(rig.folder.path(), "compenca.dbf", 1);
  rig.script().key(key::kEsc).key('x').then([&] { other.release(); });
  EXPECT_TRUE(tools::rbloqueo2(rig.con(), rig.wa));
  // Two waits ended by keys at once, the third by the release: 3 clicks.
  EXPECT_EQ(rig.script().tones().size(), 3u);
  EXPECT_NEAR(rig.now(), 0.4 + 3 * 0.1 / 18.2, 1e-9);
  EXPECT_EQ(rig.con().typeahead_size(), 0u);
}

TEST(Date1, ReadsTheDateTableAndSelectsTheCallersAreaAgain) {
  Rig rig;
  ASSERT_TRUE(tools::netuse(rig.con(), rig.wa, "compenca"));
  rig.wa.current().go(2);
  const int area = rig.wa.current_number();
  EXPECT_EQ(tools::date1(rig.con(), rig.wa, "FEC_SYS"), *Date::from_ymd(2026, 11, 30));
  EXPECT_EQ(rig.wa.current_number(), area);
  EXPECT_EQ(rig.wa.current().recno(), 2u);
  EXPECT_EQ(rig.wa.select("FEC_SYS"), 0);  // closed again

  // Another date table by name; an empty one gives the empty date.
  make_table(rig.folder.file("fechas2.dbf"), {{"FECHA", 'D', 8, 0}}, {{rt::Value(*Date::from_ymd(2027, 1, 2))}});
  make_table(rig.folder.file("vacia.dbf"), {{"FECHA", 'D', 8, 0}}, {});
  EXPECT_EQ(tools::date1(rig.con(), rig.wa, "FECHAS2"), *Date::from_ymd(2027, 1, 2));
  EXPECT_TRUE(tools::date1(rig.con(), rig.wa, "VACIA").empty());
  EXPECT_EQ(rig.wa.current_number(), area);
}

TEST(Date1, FallsBackToTheMachineDateWhenTheOperatorGivesUp) {
  Rig rig;
  OtherStation other(rig.folder.path(), "fec_sys.dbf");
  const Expected before(rig.screen());
  const Expected box = netuse_box(rig.screen(), "FEC_SYS");
  std::string shown = "not checked";
  rig.script().keys("abcd").then([&] { shown = diff(rig.screen(), box); }).key(key::kEsc);
  const Date machine = rig.con().clock().now().date;
  EXPECT_EQ(tools::date1(rig.con(), rig.wa, "FEC_SYS"), machine);
  EXPECT_NE(machine, *Date::from_ymd(2026, 11, 30));
  EXPECT_EQ(shown, "");
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_TRUE(rig.wa.alias().empty());
}

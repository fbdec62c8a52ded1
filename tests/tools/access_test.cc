// Seller validation, the masked password entry, task permission and the
// on-the-spot authorisation over the demo folder's seller and task tables,
// on the headless console: every grant and refusal path, what the screen
// shows (and never shows: a plain password), the password change written
// under the record's lock with its checksum, seen whole by another process.
#include "tools/access.h"

#include <gtest/gtest.h>

#include <string>

#include "demodata/demo_data.h"
#include "runtime/console/keys.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "screen_expect.h"
#include "table_rig.h"
#include "tests/console/console_test_util.h"
#include "tools/passwords.h"
#include "tools/screens.h"

using namespace toolstest;
namespace key = rt::con::key;
namespace demo = app::demo;
using rt::Value;

namespace {

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 3, 14);

// A seller's record as another program reads it from the file.
struct SellerOnDisk {
  std::string clave;
  double crc = -1;
  long long computed = -2;
};

SellerOnDisk read_seller(const std::string& path, int num) {
  auto t = rt::table::Table::open(path);
  SellerOnDisk out;
  for (std::uint32_t r = 1; r <= t->record_count(); ++r) {
    const auto rec = t->read(r);
    if (rec.get("NUM").number() != num) continue;
    out.clave = rec.get("CLAVE").text();
    out.crc = rec.get("CRC_31").number();
    std::vector<tools::ChecksumField> fields;
    for (std::size_t i = 0; i < t->schema().fields.size(); ++i) {
      const auto& f = t->schema().fields[i];
      fields.push_back({f.name, f.letter(), f.length, f.decimals, rec.get(static_cast<int>(i))});
    }
    out.computed = tools::crc_31(fields);
  }
  return out;
}

class Access : public ::testing::Test {
 protected:
  Access() {
    app::make_demo(folder_.path(), kToday);
    open_sellers();
    fill_pattern(con());
    con().set_color("W/N");
    op_.branch = demo::kBranch;
  }
  rt::con::Console& con() { return rig_.con(); }
  rt::con::HeadlessBackend& script() { return rig_.script(); }
  void open_sellers() {
    wa_.select_area(1);
    ASSERT_TRUE(wa_.use("acceso2"));
    rt::wa::set_index(wa_.current(), "acceso21");
    rt::wa::set_index(wa_.current(), "acceso22");
    rt::wa::set_focus(wa_.current(), 1);
  }
  void keys(std::string_view text) {
    for (char c : text) script().key(static_cast<unsigned char>(c));
  }
  bool ok_vende(double quien, std::string_view que = "VENDEDOR") {
    return tools::ok_vende(con(), wa_, op_, que, quien);
  }
  std::string whole_screen() const {
    std::string s;
    for (int r = 0; r < 25; ++r) s += con_const().screen().row_text(r) + "\n";
    return s;
  }
  const rt::con::Console& con_const() const { return *rig_.console; }
  std::vector<double> tones() {
    std::vector<double> f;
    for (const auto& t : script().tones()) f.push_back(t.freq);
    return f;
  }
  std::string sellers_path() const { return folder_.file("acceso2.dbf"); }

  WorkFolder folder_;
  contest::Rig rig_;
  rt::wa::WorkAreas wa_{folder_.env()};
  tools::Operator op_;
};

// --- TOMARSEC -------------------------------------------------------------

TEST_F(Access, MaskedEntryUpperCasesIgnoresOtherKeysAndStopsAtItsLength) {
  const Expected before(con().screen());
  std::string shown;
  script().key(key::kBackspace);  // nothing to drop
  keys("ab");
  script().key(key::kLeft).key(key::kRight).key(key::kUp).key(9).key(key::kDel).key(-1).key(0xA4).key(200);
  keys("c1xy");  // "y" is the sixth character: ignored
  script().then([&] { shown = rig_.text(9, 52, 5); });
  script().key(key::kBackspace).key('z').key(key::kEnter);
  int tec1 = 5;
  con().set_color("g+/r");
  const std::string typed = tools::tomarsec(con(), 9, 52, 5, tec1);
  EXPECT_EQ(typed, "ABC1Z");  // Backspace dropped the X
  EXPECT_EQ(tec1, 0);
  EXPECT_EQ(shown, "*****");
  EXPECT_EQ(rig_.text(9, 52, 5), "*****");
  EXPECT_EQ(rig_.attr(9, 52), attr(kGreen + kBright, kRed));  // the colour current on entry
  EXPECT_EQ(whole_screen().find("ABC"), std::string::npos);
}

TEST_F(Access, MaskedEntryEscGivesNothingAndTwentySevenF1EndsLikeEnter) {
  int tec1 = 0;
  keys("ab");
  script().key(key::kEsc);
  EXPECT_EQ(tools::tomarsec(con(), 9, 52, 5, tec1), "");
  EXPECT_EQ(tec1, 27);
  keys("q");
  script().key(key::kF1);
  EXPECT_EQ(tools::tomarsec(con(), 9, 52, 5, tec1), "Q");
  EXPECT_EQ(tec1, 0);
  EXPECT_EQ(con().lastkey(), key::kF1);
}

TEST_F(Access, VisibleEchoShowsEachCharacterForAFifthOfASecondThenAStar) {
  int tec1 = 0;
  keys("k9");
  script().key(key::kEnter);
  const double t0 = con().clock().monotonic();
  EXPECT_EQ(tools::tomarsec(con(), 9, 52, 5, tec1, true), "K9");
  EXPECT_NEAR(con().clock().monotonic() - t0, 0.4, 0.01);
  EXPECT_EQ(rig_.text(9, 52, 2), "**");
}

// --- OK_VENDE -------------------------------------------------------------

TEST_F(Access, UnknownSellerAndSellerZeroAreRefusedWithTheInexistenteBox) {
  for (double number : {99.0, 0.0}) {
    auto& sellers = wa_.area("acceso2");
    sellers.go(3);
    wa_.select_area(5);
    const Expected before(con().screen());
    Expected box(con().screen());
    box.blank(8, 30, 10, 50, kYellowOnRed);
    box.frame(8, 30, 10, 50, kYellowOnRed);
    box.text(9, 34, "Inexistente!!!", attr(kRed + kBright, kRed));
    std::string seen = "not looked";
    script().then([&] { seen = diff(con().screen(), box); });
    const double t0 = con().clock().monotonic();
    EXPECT_FALSE(ok_vende(number)) << number;
    EXPECT_EQ(seen, "") << number;
    EXPECT_NEAR(con().clock().monotonic() - t0, 2 + 5 / 18.2, 0.01);  // the tone, then the wait
    EXPECT_EQ(diff(con().screen(), before), "");
    EXPECT_EQ(con().color(), "W/N");
    EXPECT_EQ(wa_.current_number(), 5);
    EXPECT_EQ(sellers.recno(), 3u);
    EXPECT_EQ(sellers.filter_text(), "");
  }
  EXPECT_EQ(tones(), (std::vector<double>{1000, 1000}));
  EXPECT_EQ(script().tones()[0].ticks, 5);
}

TEST_F(Access, AKeyEndsTheInexistenteWaitAndIsConsumed) {
  script().pause(0.5).key('k').key('j');
  const double t0 = con().clock().monotonic();
  EXPECT_FALSE(ok_vende(4321));
  EXPECT_NEAR(con().clock().monotonic() - t0, 5 / 18.2 + 0.5, 0.01);
  EXPECT_EQ(con().inkey(), 'j');
}

TEST_F(Access, SellerWithoutPasswordIsAcceptedAtOnceWithItsProfile) {
  op_.profile = std::string(9, ' ');
  EXPECT_TRUE(ok_vende(demo::kSellerNoPassword));
  EXPECT_EQ(op_.profile, "B");
  EXPECT_EQ(wa_.area("acceso2").get("NUM").number(), demo::kSellerNoPassword);
  EXPECT_EQ(script().pending(), 0u);
  EXPECT_EQ(con().color(), "W/N");
}

TEST_F(Access, PasswordIsAskedInItsBoxMaskedAndAccepted) {
  const Expected before(con().screen());
  std::string clave, f1cam, stars;
  script().then([&] {
    clave = rig_.text(8, 52, 5);
    f1cam = rig_.text(10, 52, 5);
    EXPECT_EQ(con().event_mask(), key::kMaskKeyboard);
  });
  keys("1234");
  script().then([&] {
    stars = rig_.text(9, 52, 5);
    EXPECT_EQ(whole_screen().find("1234"), std::string::npos);
  });
  script().key(key::kEnter);
  EXPECT_TRUE(ok_vende(demo::kSeller));
  EXPECT_EQ(clave, "Clave");
  EXPECT_EQ(f1cam, "F1Cam");
  EXPECT_EQ(stars, "**** ");
  EXPECT_EQ(op_.profile, "A");
  EXPECT_EQ(diff(con().screen(), before), "");
  EXPECT_EQ(con().event_mask(), key::kMaskAll);
  EXPECT_EQ(wa_.area("acceso2").get("NUM").number(), demo::kSeller);
}

TEST_F(Access, WrongPasswordOrEscIsRefusedAndEverythingIsAsBefore) {
  for (const char* typed : {"4321", "123", "12345", "\x1b"}) {
    auto& sellers = wa_.area("acceso2");
    sellers.go(2);
    wa_.select_area(4);
    op_.profile = "Z";
    const Expected before(con().screen());
    keys(typed);
    if (std::string(typed) != "\x1b") script().key(key::kEnter);
    EXPECT_FALSE(ok_vende(demo::kSeller)) << typed;
    EXPECT_EQ(op_.profile, "Z");
    EXPECT_EQ(diff(con().screen(), before), "") << typed;
    EXPECT_EQ(wa_.current_number(), 4);
    EXPECT_EQ(sellers.recno(), 2u);
    EXPECT_EQ(sellers.filter_text(), "");
    EXPECT_EQ(con().color(), "W/N");
  }
}

TEST_F(Access, PasswordsCompareWithoutCaseAndSurroundingBlanks) {
  keys(" 4321");  // a leading blank is a character of the entry, trimmed for the comparison
  script().key(key::kEnter);
  EXPECT_TRUE(ok_vende(12));
  EXPECT_EQ(op_.profile, "S");
}

TEST_F(Access, SellerOfAnotherBranchIsRefusedUnlessTheBranchIsZero) {
  std::string seen;
  script().then([&] { seen = con().screen().row_text(12); });
  EXPECT_FALSE(ok_vende(demo::kSellerOtherBranch));
  EXPECT_NE(seen.find(tools::kWrongBranch), std::string::npos);
  // Branches 5 and 9 ("0509"): 5 works, and so does 50, found as a substring.
  for (double branch : {5.0, 50.0, 0.0}) {
    op_.branch = branch;
    keys(demo::kOtherBranchPassword);
    script().key(key::kEnter);
    EXPECT_TRUE(ok_vende(demo::kSellerOtherBranch)) << branch;
  }
}

TEST_F(Access, RecordWithAWrongChecksumIsRefusedBeforeAnyPassword) {
  std::string seen;
  script().then([&] { seen = con().screen().row_text(12); });
  EXPECT_FALSE(ok_vende(demo::kSellerBadChecksum));
  EXPECT_NE(seen.find(tools::kBadChecksum), std::string::npos);
  EXPECT_EQ(script().pending(), 0u);
}

TEST_F(Access, CashierValidationSeesOnlyCashiersAndLoadsProfilesOnlyWithRegistra) {
  // Every demo seller may act as cashier ("S").  Without REGISTRA the
  // profile stays as it was.
  op_.profile = "Q";
  EXPECT_TRUE(ok_vende(demo::kSellerNoPassword, "CAJERO"));
  EXPECT_EQ(op_.profile, "Q");
  op_.registra = true;
  EXPECT_TRUE(ok_vende(demo::kSellerNoPassword, "CAJERO"));
  EXPECT_EQ(op_.profile, "B");
  EXPECT_TRUE(tools::registra_on("si"));
  EXPECT_TRUE(tools::registra_on("Sierra"));
  EXPECT_FALSE(tools::registra_on("NO"));
  EXPECT_FALSE(tools::registra_on("S"));
}

// --- password change ------------------------------------------------------

TEST_F(Access, F1WithTask109ChangesThePasswordWithAFreshChecksum) {
  op_.seller = demo::kSeller;  // the entry form has stored the typed number
  std::string cambiar;
  keys("1234");
  script().key(key::kF1).then([&] { cambiar = rig_.text(10, 51, 7); });
  keys("ab");
  script().key(key::kEnter);
  EXPECT_TRUE(ok_vende(demo::kSeller));
  EXPECT_EQ(cambiar, "Cambiar");
  const SellerOnDisk s = read_seller(sellers_path(), demo::kSeller);
  EXPECT_EQ(rt::text::trim(s.clave), tools::cripta("AB"));
  EXPECT_EQ(s.crc, static_cast<double>(s.computed));
  EXPECT_FALSE(wa_.area("acceso2").is_locked(wa_.area("acceso2").recno()));
  // The new password works from now on; the old one does not.
  keys("ab");
  script().key(key::kEnter);
  EXPECT_TRUE(ok_vende(demo::kSeller));
  keys("1234");
  script().key(key::kEnter);
  EXPECT_FALSE(ok_vende(demo::kSeller));
}

TEST_F(Access, EscWhileTypingTheNewPasswordChangesNothing) {
  op_.seller = demo::kSeller;
  const std::string before = testing_support::read_file(sellers_path());
  keys("1234");
  script().key(key::kF1);
  keys("ab");
  script().key(key::kEsc);
  EXPECT_TRUE(ok_vende(demo::kSeller));
  EXPECT_EQ(testing_support::read_file(sellers_path()), before);
}

TEST_F(Access, AnEmptyNewPasswordConfirmedWithEnterLeavesTheSellerWithoutOne) {
  op_.seller = demo::kSeller;
  keys("1234");
  script().key(key::kF1).key(key::kEnter);
  EXPECT_TRUE(ok_vende(demo::kSeller));
  const SellerOnDisk s = read_seller(sellers_path(), demo::kSeller);
  EXPECT_EQ(rt::text::trim(s.clave), "");
  EXPECT_EQ(s.crc, static_cast<double>(s.computed));
  EXPECT_TRUE(ok_vende(demo::kSeller));  // no password asked any more
}

TEST_F(Access, ANewPasswordTheTableRefusesIsToldAndTheSellerStaysAccepted) {
  op_.seller = demo::kSeller;
  wa_.close_all();
  wa_.select_area(1);
  ASSERT_TRUE(wa_.use("acceso2", {.alias = "", .exclusive = false, .readonly = true}));
  rt::wa::set_index(wa_.current(), "acceso21");
  wa_.select_area(4);
  const std::string before = testing_support::read_file(sellers_path());
  std::string seen;
  keys("1234");
  script().key(key::kF1);
  keys("ab");
  script().key(key::kEnter).then([&] { seen = con().screen().row_text(12); });
  EXPECT_TRUE(ok_vende(demo::kSeller));
  EXPECT_NE(seen.find(tools::kSellerTableError), std::string::npos);
  EXPECT_EQ(testing_support::read_file(sellers_path()), before);
  EXPECT_EQ(wa_.current_number(), 4);
  EXPECT_EQ(con().color(), "W/N");
  EXPECT_FALSE(wa_.area("acceso2").is_locked(wa_.area("acceso2").recno()));
}

TEST_F(Access, F1WithoutTask109AcceptsTheSellerAndChangesNothing) {
  // Seller 24 has no marks and profile B; task 109 has a password.
  op_.seller = demo::kAuthoriserNoProfile;
  const std::string before = testing_support::read_file(sellers_path());
  keys(demo::kAuthoriserNoProfilePassword);
  script().key(key::kF1);
  script().key(key::kEsc);  // the task's password box
  EXPECT_TRUE(ok_vende(demo::kAuthoriserNoProfile));
  EXPECT_EQ(testing_support::read_file(sellers_path()), before);
}

TEST_F(Access, PasswordChangeWaitsForTheLockHeldByAnotherStation) {
  op_.seller = demo::kSeller;
  auto& sellers = wa_.area("acceso2");
  ASSERT_TRUE(rt::wa::seek(sellers, Value(rt::text::str(demo::kSeller, 4))));
  auto other = std::make_unique<OtherStation>(folder_.path(), "acceso2.dbf", sellers.recno());
  keys("1234");
  script().key(key::kF1);
  keys("new");
  script().key(key::kEnter);
  // The traffic box comes from the fifth attempt on; the other station lets
  // go while it shows.
  std::string traffic;
  script().pause(2).then([&] {
    traffic = whole_screen();
    other->release();
  });
  EXPECT_TRUE(ok_vende(demo::kSeller));
  EXPECT_NE(traffic.find("Archivo: ACCESO2.DBF"), std::string::npos) << traffic;
  const SellerOnDisk s = read_seller(sellers_path(), demo::kSeller);
  EXPECT_EQ(rt::text::trim(s.clave), tools::cripta("NEW"));
  EXPECT_EQ(s.crc, static_cast<double>(s.computed));
}

// The reader of the test below: args are the sellers' table, the file that
// says it started and the file that stops it.  1 when it saw a torn record.
CHK_CHILD_ROUTINE(ReadSellerUntilStopped) {
  testing_support::write_file(args.at(1), "1");
  int reads = 0;
  while (!std::filesystem::exists(args.at(2)) || reads < 200) {
    const SellerOnDisk s = read_seller(args.at(0), demo::kSeller);
    if (s.crc != static_cast<double>(s.computed)) return 1;
    ++reads;
  }
  return 0;
}

TEST_F(Access, AnotherProcessReadingDuringChangesAlwaysSeesAWholeRecord) {
  op_.seller = demo::kSeller;
  const std::string path = sellers_path();
  const std::string started = folder_.file("reader.started"), stop = folder_.file("reader.stop");
  const int reader = testing_support::spawn_child("ReadSellerUntilStopped", {path, started, stop});
  ASSERT_TRUE(wait_for_file(started, 10));
  std::string current = demo::kSellerPassword;
  for (int i = 0; i < 40; ++i) {
    const std::string next = i % 2 ? "AB" : "XYZ9";
    keys(current);
    script().key(key::kF1);
    keys(next);
    script().key(key::kEnter);
    ASSERT_TRUE(ok_vende(demo::kSeller));
    current = next;
  }
  testing_support::write_file(stop, "1");
  EXPECT_EQ(testing_support::wait_child(reader), 0);
}

// --- PUEDE ----------------------------------------------------------------

TEST_F(Access, OwnTaskMarkGrantsWithoutTouchingTheTaskTable) {
  op_.seller = demo::kSeller;
  wa_.select_area(6);
  const Expected before(con().screen());
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 121));
  EXPECT_EQ(wa_.current_number(), 6);
  EXPECT_EQ(wa_.select("acceso"), 0);
  EXPECT_EQ(diff(con().screen(), before), "");
  // Seller 8 has marks for tasks 1 to 10 only: a position past ITEMS is no mark.
  op_.seller = demo::kSellerNoPassword;
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 10, true));
  EXPECT_FALSE(tools::puede(con(), wa_, op_, 120, true));
}

TEST_F(Access, OwnMarksAreFoundWithTheSellerTableClosedToo) {
  wa_.close_all();
  wa_.select_area(2);
  op_.seller = demo::kSeller;
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 120, true));
  EXPECT_EQ(wa_.select("acceso2"), 0) << "opened for the look-up and closed again";
  EXPECT_EQ(wa_.current_number(), 2);
}

TEST_F(Access, TaskWithoutRecordOrWithoutPasswordGrantsAWrongChecksumRefuses) {
  op_.seller = demo::kSellerNoRights;
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 555, true));
  EXPECT_TRUE(tools::puede(con(), wa_, op_, demo::kTaskNoPassword, true));
  EXPECT_EQ(wa_.select("acceso"), 0);
  std::string seen;
  script().then([&] { seen = con().screen().row_text(12); });
  EXPECT_FALSE(tools::puede(con(), wa_, op_, demo::kTaskBadChecksum));
  EXPECT_NE(seen.find(tools::kBadChecksum), std::string::npos);
  EXPECT_EQ(wa_.select("acceso"), 0);
}

TEST_F(Access, ProfileLetterMarkedForTheTaskGrantsAnUnknownLetterOrBlankDoesNot) {
  op_.seller = demo::kSellerNoRights;
  op_.profile = "BS";
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 121, true));
  for (const std::string profile : {"B", "Q", "", "         "}) {
    op_.profile = profile;
    EXPECT_FALSE(tools::puede(con(), wa_, op_, 121, true)) << "[" << profile << "]";
  }
  EXPECT_EQ(script().pending(), 0u) << "supervisor mode never shows the box";
}

TEST_F(Access, PasswordBoxCellByCellThenTheTaskPasswordGrants) {
  op_.seller = demo::kSellerNoRights;
  wa_.select_area(3);
  const Expected before(con().screen());
  std::string title, label, entry, ok, frame;
  script().then([&] {
    frame = rig_.text(8, 39, 1);
    title = rig_.text(9, 48, 20);
    label = rig_.text(13, 40, 36);
    entry = rig_.text(11, 49, 15);
    EXPECT_EQ(rig_.attr(9, 48), attr(kGreen + kBright, kBlue));
    EXPECT_EQ(rig_.attr(13, 44), attr(kBrown + kBright, kBlue));
    EXPECT_EQ(rig_.attr(8, 39), attr(kWhite, kBlack));
  });
  keys(demo::kTask121Password);
  script().key(key::kEnter).then([&] { ok = rig_.text(11, 49, 19); });
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 121));
  EXPECT_EQ(frame, "\xDB");
  EXPECT_EQ(title, "\xAE Clave de Acceso  \xAF");
  // "121 SALIDA CON DIFERENCIAS" is 26 long: from column 56 - 13 = 43.
  EXPECT_EQ(label, "\xC8\xCD\xCD\xAE 121 SALIDA CON DIFERENCIAS \xAF\xCD\xCD\xBC");  // over the bottom edge
  EXPECT_EQ(entry, "   [          ]");
  EXPECT_EQ(ok, tools::kPasswordOk);
  EXPECT_EQ(diff(con().screen(), before), "");
  EXPECT_EQ(con().cursor_shape(), 0);
  EXPECT_EQ(con().color(), "W+/B");
  EXPECT_EQ(wa_.current_number(), 3);
  EXPECT_EQ(wa_.select("acceso"), 0);
}

TEST_F(Access, MasterPasswordGrantsAnyTaskWrongPasswordOrEscRefuse) {
  op_.seller = demo::kSellerNoRights;
  keys(demo::kMasterPassword);
  script().key(key::kEnter);
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 120));
  for (const char* typed : {"1200X", "120", "\x1b"}) {
    std::string msg;
    keys(typed);
    if (std::string(typed) != "\x1b") script().key(key::kEnter);
    script().then([&] { msg = rig_.text(11, 49, 19); });
    const double t0 = con().clock().monotonic();
    EXPECT_FALSE(tools::puede(con(), wa_, op_, 120)) << typed;
    EXPECT_EQ(msg, tools::kPasswordWrong);
    EXPECT_NEAR(con().clock().monotonic() - t0, 1, 0.01);
  }
  // The password of another task does not open this one.
  keys(demo::kTask121Password);
  script().key(key::kEnter);
  EXPECT_FALSE(tools::puede(con(), wa_, op_, 120));
}

TEST_F(Access, MasterRecordWithAWrongChecksumOpensNothing) {
  {
    rt::wa::WorkAreas other(folder_.env());
    ASSERT_TRUE(other.use("acceso"));
    auto& t = other.current();
    ASSERT_TRUE(t.locate([](rt::wa::Area& a) { return a.get("TAREA").number() == 0; }));
    ASSERT_TRUE(t.lock_record());
    t.put("PALABRA", Value(tools::cripta("7777")));  // changed by hand, checksum left behind
    t.unlock();
  }
  op_.seller = demo::kSellerNoRights;
  for (const char* typed : {"7777", demo::kMasterPassword}) {
    keys(typed);
    script().key(key::kEnter);
    EXPECT_FALSE(tools::puede(con(), wa_, op_, 120)) << typed;
  }
}

TEST_F(Access, TaskTableHeldByAnotherUserRefusesSilently) {
  OtherStation other(folder_.path(), "acceso.dbf");
  op_.seller = demo::kSellerNoRights;
  const Expected before(con().screen());
  EXPECT_FALSE(tools::puede(con(), wa_, op_, 131));
  EXPECT_EQ(diff(con().screen(), before), "");
  EXPECT_TRUE(tones().empty());
  op_.seller = demo::kSeller;
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 120)) << "own marks need no task table";
}

TEST_F(Access, Task47LeavesAnEmptyKeyboardAndNoLastKey) {
  op_.seller = demo::kSellerNoRights;
  con().push_back('a');
  con().set_lastkey(13);
  EXPECT_TRUE(tools::puede(con(), wa_, op_, 47));  // no record: granted
  EXPECT_EQ(con().typeahead_size(), 0u);
  EXPECT_EQ(con().lastkey(), 0);
}

// --- PUEDEN ---------------------------------------------------------------

TEST_F(Access, AllowedSellerIsGrantedWithoutAnyQuestion) {
  op_.seller = demo::kSeller;
  const Expected before(con().screen());
  EXPECT_TRUE(tools::pueden(con(), wa_, op_, 121));
  EXPECT_EQ(diff(con().screen(), before), "");
  EXPECT_TRUE(tones().empty());
}

TEST_F(Access, NoAuthorisationAskedShowsNotAllowed) {
  op_.seller = demo::kSellerNoRights;
  std::string question, message;
  script().then([&] { question = con().screen().row_text(12); });
  script().key('N').key(key::kEnter).then([&] { message = con().screen().row_text(12); });
  EXPECT_FALSE(tools::pueden(con(), wa_, op_, 121));
  EXPECT_NE(question.find(tools::kAskAuthorisation), std::string::npos);
  EXPECT_NE(message.find(tools::kNotAllowed), std::string::npos);
  EXPECT_EQ(con().event_mask(), key::kMaskAll);
  EXPECT_FALSE(con().hotkey(37));
}

TEST_F(Access, AuthoriserWithAProfileMarkedForTheTaskGrantsWithoutTheBox) {
  op_.seller = demo::kSellerNoRights;
  op_.profile = "";
  wa_.select_area(7);
  script().key('S').key(key::kEnter);
  keys("23");
  script().key('%');  // "%" acts as Enter at the authoriser's prompt
  keys(demo::kAuthoriserByProfilePassword);
  script().key(key::kEnter);
  EXPECT_TRUE(tools::pueden(con(), wa_, op_, 121));
  EXPECT_EQ(script().pending(), 0u);
  EXPECT_EQ(op_.profile, "") << "the letters of the seller in charge again";
  EXPECT_EQ(wa_.current_number(), 7);
  EXPECT_FALSE(con().hotkey(37));
}

TEST_F(Access, AuthoriserWithoutProfileNeedsTheTaskPassword) {
  op_.seller = demo::kSellerNoRights;
  for (const char* task_word : {demo::kTask121Password, "0000"}) {
    script().key('S').key(key::kEnter);
    keys("24");
    script().key(key::kEnter);
    keys(demo::kAuthoriserNoProfilePassword);
    script().key(key::kEnter);
    keys(task_word);
    script().key(key::kEnter);
    EXPECT_EQ(tools::pueden(con(), wa_, op_, 121), std::string(task_word) == demo::kTask121Password);
    EXPECT_EQ(script().pending(), 0u);
  }
}

TEST_F(Access, AuthoriserOwnMarksDoNotGrantAndEscAtThePromptRefuses) {
  // Seller 12 has every mark, but the marks read are those of the seller in
  // charge; seller 12's profile S grants task 121 all the same.  Seller 7
  // (profile A, every mark) does not: the box appears.
  op_.seller = demo::kSellerNoRights;
  script().key('S').key(key::kEnter);
  keys("7");
  script().key(key::kEnter);
  keys(demo::kSellerPassword);
  script().key(key::kEnter);
  script().key(key::kEsc);  // the task's password box
  EXPECT_FALSE(tools::pueden(con(), wa_, op_, 121));

  script().key('S').key(key::kEnter).key(key::kEsc);
  EXPECT_FALSE(tools::pueden(con(), wa_, op_, 121));
  EXPECT_EQ(script().pending(), 0u);
}

TEST_F(Access, AWrongAuthoriserPasswordKeepsThePromptOpen) {
  op_.seller = demo::kSellerNoRights;
  script().key('S').key(key::kEnter);
  keys("23");
  script().key(key::kEnter);
  keys("0000");
  script().key(key::kEnter);
  // The prompt is still open on 23: Enter validates again.
  script().key(key::kEnter);
  keys(demo::kAuthoriserByProfilePassword);
  script().key(key::kEnter);
  EXPECT_TRUE(tools::pueden(con(), wa_, op_, 121));
}

}  // namespace

namespace {

TEST_F(Access, ASellerTableWithoutItsOrderOrATaskTableMissingIsRefusedWithAMessage) {
  // The seller table open without its order bag: the seek cannot run.
  wa_.close_all();
  wa_.select_area(1);
  ASSERT_TRUE(wa_.use("acceso2"));
  std::string seen;
  script().then([&] { seen = con().screen().row_text(12); });
  EXPECT_FALSE(ok_vende(demo::kSeller));
  EXPECT_NE(seen.find(tools::kSellerTableError), std::string::npos);
  EXPECT_EQ(wa_.area("acceso2").filter_text(), "");

  // No seller table open at all.
  wa_.close_all();
  script().then([&] { seen = con().screen().row_text(12); });
  EXPECT_FALSE(ok_vende(demo::kSeller));
  EXPECT_NE(seen.find(tools::kSellerTableError), std::string::npos);

  // The task table gone: nothing is granted that needs it.
  ASSERT_TRUE(std::filesystem::remove(folder_.file("acceso.dbf")));
  op_.seller = demo::kSellerNoRights;
  script().then([&] { seen = con().screen().row_text(12); });
  EXPECT_FALSE(tools::puede(con(), wa_, op_, 555));
  EXPECT_NE(seen.find(tools::kTaskTableError), std::string::npos);
  EXPECT_EQ(wa_.select("acceso"), 0);
}

}  // namespace

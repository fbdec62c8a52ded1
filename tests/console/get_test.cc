#include <gtest/gtest.h>

#include "console_test_util.h"
#include "runtime/console/get.h"

using namespace rt::con;
using rt::text::Date;

namespace {

// The entry form of the station: ticket "@Z 999999" at (5,24), seller
// "@Z 9999" at (6,15) with a validation.
struct EntryForm {
  double ticket = 0, seller = 0;
  int valid_calls = 0;
  std::function<bool()> seller_ok = [] { return true; };
  Form form;
  void build(Console& con) {
    form.add(con, Get::number(5, 24, ticket, "@Z 999999"));
    form.add(con, Get::number(6, 15, seller, "@Z 9999").valid([this] {
      ++valid_calls;
      return seller_ok();
    }));
  }
};

}  // namespace

TEST(FieldEditor, NumbersWithBlankZeroPicturesAndValidHoldingTheCursor) {
  contest::Rig rig;
  Console& con = rig.con();
  EntryForm f;
  f.build(con);
  EXPECT_EQ(rig.text(5, 24, 6), "      ");  // shown blank while 0
  double seen_in_valid = -1;
  f.seller_ok = [&] {
    seen_in_valid = f.seller;  // the typed value is assigned before VALID
    return f.seller == 7;
  };
  rig.script().keys("1234").key(key::kEnter);
  rig.script().keys("45").key(key::kEnter);
  rig.script().then([&] {
    EXPECT_EQ(seen_in_valid, 45);
    EXPECT_EQ(f.form.current(), 1);  // refused: still in the seller field
    EXPECT_EQ(con.row(), 6);
    EXPECT_EQ(con.col(), 15);
  });
  rig.script().keys("7").key(key::kEnter);
  EXPECT_TRUE(f.form.read(con));
  EXPECT_EQ(f.ticket, 1234);
  EXPECT_EQ(f.seller, 7);
  EXPECT_EQ(f.valid_calls, 2);
  EXPECT_EQ(rig.text(5, 24, 6), "  1234");
  EXPECT_EQ(rig.text(6, 15, 4), "   7");
  EXPECT_EQ(con.lastkey(), key::kEnter);
}

TEST(FieldEditor, ValidRunsOnEveryWayOutButEscAndItsChangesAreShown) {
  contest::Rig rig;
  Console& con = rig.con();
  EntryForm f;
  f.build(con);
  f.seller_ok = [&] {
    if (f.seller == 99) f.seller = 45;  // VALID may change the variable
    return true;
  };
  // Seller field, then Up: the validation runs going back too.
  rig.script().key(key::kEnter).keys("99").key(key::kUp);
  rig.script().then([&] {
    EXPECT_EQ(f.valid_calls, 1);
    EXPECT_EQ(rig.text(6, 15, 4), "  45");
    EXPECT_EQ(f.form.current(), 0);
  });
  rig.script().key(key::kEsc);
  EXPECT_FALSE(f.form.read(con));
  EXPECT_EQ(con.lastkey(), key::kEsc);
  EXPECT_EQ(f.valid_calls, 1);
  EXPECT_EQ(f.seller, 45);
}

TEST(FieldEditor, EscLeavesTheFieldUntouched) {
  contest::Rig rig;
  Console& con = rig.con();
  EntryForm f;
  f.ticket = 77;
  f.build(con);
  rig.script().keys("555").key(key::kEsc);
  EXPECT_FALSE(f.form.read(con));
  EXPECT_EQ(f.ticket, 77);
  EXPECT_EQ(rig.text(5, 24, 6), "    77");
  EXPECT_EQ(f.valid_calls, 0);
  EXPECT_EQ(con.lastkey(), 27);
}

TEST(FieldEditor, ConfirmOnWaitsForEnterWhenTypedFullConfirmOffMovesOn) {
  contest::Rig rig;
  Console& con = rig.con();
  {
    EntryForm f;
    f.build(con);
    rig.script().keys("123456").then([&] { EXPECT_EQ(f.form.current(), 0); });
    rig.script().keys("8").key(key::kEnter);  // overwrites the last place
    rig.script().key(key::kEsc);
    EXPECT_FALSE(f.form.read(con));
    EXPECT_EQ(f.ticket, 123458);
  }
  con.set_confirm(false);
  {
    EntryForm f;
    f.build(con);
    rig.script().keys("123456").then([&] { EXPECT_EQ(f.form.current(), 1); });
    rig.script().keys("1234");  // typed full: the form ends
    EXPECT_TRUE(f.form.read(con));
    EXPECT_EQ(f.ticket, 123456);
    EXPECT_EQ(f.seller, 1234);
  }
}

TEST(FieldEditor, TextEditingKeys) {
  contest::Rig rig;
  Console& con = rig.con();
  std::string name = "ABCDEF    ";
  Form form;
  form.add(con, Get::text(3, 10, name));
  // End goes after the last letter; Backspace, Home, Del, Ins.
  rig.script().key(key::kEnd).keys("G").key(key::kBackspace).key(key::kBackspace);
  rig.script().key(key::kHome).key(key::kDel).key(key::kIns).keys("xy").key(key::kIns);
  rig.script().key(key::kRight).keys("Z").key(key::kLeft).key(key::kLeft).key(key::kEnter);
  EXPECT_TRUE(form.read(con));
  EXPECT_EQ(name, "xyBZDE    ");
  EXPECT_EQ(name.size(), 10u);
}

TEST(FieldEditor, TemplatesTakeOnlyTheirCharactersAndKeepTheVariablesLength) {
  contest::Rig rig;
  Console& con = rig.con();
  std::string code = "          ";
  Form form;
  form.add(con, Get::text(4, 0, code, "99-AA"));
  EXPECT_EQ(rig.text(4, 0, 5), "  -  ");
  // Letters refused in digit places, digits in letter places; "-" is skipped.
  rig.script().keys("1x2").keys("3b").keys("c").key(key::kEnter);
  EXPECT_TRUE(form.read(con));
  EXPECT_EQ(code, "12-bc     ");
}

TEST(FieldEditor, ScrollingPictureShowsThirtyColumnsOfALongerText) {
  contest::Rig rig;
  Console& con = rig.con();
  std::string code(60, ' ');
  Form form;
  form.add(con, Get::text(12, 10, code, "@S30"));
  std::string typed;
  for (int i = 0; i < 40; ++i) typed += static_cast<char>('A' + i % 26);
  rig.script().keys(typed).then([&] {
    // The window follows the cursor: the last 29 letters and the cursor place.
    EXPECT_EQ(rig.text(12, 10, 30), typed.substr(11) + " ");
    EXPECT_EQ(rig.text(12, 40, 1), " ");  // nothing beyond the 30 columns
    EXPECT_EQ(con.col(), 39);
  });
  rig.script().key(key::kEnter);
  EXPECT_TRUE(form.read(con));
  EXPECT_EQ(code, typed + std::string(20, ' '));
  EXPECT_EQ(rig.text(12, 10, 30), typed.substr(0, 30));
}

TEST(FieldEditor, DateFieldReadWithTheWindowAndRefusingImpossibleDays) {
  contest::Rig rig;
  Console& con = rig.con();
  Date expiry;
  Form form;
  form.add(con, Get::date(8, 20, expiry));
  EXPECT_EQ(rig.text(8, 20, 8), "  /  /  ");
  rig.script().keys("310227").key(key::kEnter);  // 31 February: refused
  rig.script().then([&] {
    EXPECT_EQ(form.current(), 0);
    EXPECT_TRUE(expiry.empty());
  });
  rig.script().keys("311227").key(key::kEnter);
  EXPECT_TRUE(form.read(con));
  EXPECT_EQ(expiry, *Date::from_ymd(2027, 12, 31));
  EXPECT_EQ(rig.text(8, 20, 8), "31/12/27");
  EXPECT_EQ(rig.script().tones().size(), 1u);
  // An old two-digit year falls in the window's past half.
  Form again;
  again.add(con, Get::date(8, 20, expiry));
  rig.script().keys("010180").key(key::kEnter);
  EXPECT_TRUE(again.read(con));
  EXPECT_EQ(expiry, *Date::from_ymd(1980, 1, 1));
}

TEST(FieldEditor, WhenSkipsFieldsAndQuestionFieldUpperCases) {
  contest::Rig rig;
  Console& con = rig.con();
  std::string skipped = "keep";
  std::string answer = " ";
  Form form;
  form.add(con, Get::text(1, 1, skipped).when([] { return false; }));
  form.add(con, Get::text(12, 52, answer, "@!").valid([&] { return answer == "S" || answer == "N"; }));
  rig.script().keys("x").key(key::kEnter).then([&] { EXPECT_EQ(answer, "X"); });
  rig.script().keys("s").key(key::kEnter);
  EXPECT_TRUE(form.read(con));
  EXPECT_EQ(answer, "S");
  EXPECT_EQ(skipped, "keep");
}

TEST(FieldEditor, NestedFormFromAValidLeavesTheCallersFormIntact) {
  contest::Rig rig;
  Console& con = rig.con();
  EntryForm f;
  f.build(con);
  int questions = 0;
  f.seller_ok = [&] {
    // A question box opened from the validation, with its own field list.
    ++questions;
    EXPECT_EQ(con.active_form(), &f.form);
    std::string yes = " ";
    Form box;
    const std::string saved = con.savescreen(11, 0, 13, 79);
    box.add(con, Get::text(12, 52, yes, "@!"));
    box.read(con);
    EXPECT_EQ(con.active_form(), &f.form);
    con.restscreen(11, 0, 13, 79, saved);
    return yes == "S";
  };
  rig.script().keys("12").key(key::kEnter).keys("8").key(key::kEnter);
  rig.script().keys("n").key(key::kEnter);  // the box says no: back in the seller field
  rig.script().then([&] { EXPECT_EQ(f.form.current(), 1); });
  rig.script().key(key::kEnter).keys("s").key(key::kEnter);
  EXPECT_TRUE(f.form.read(con));
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(f.ticket, 12);
  EXPECT_EQ(f.seller, 8);
  EXPECT_EQ(con.active_form(), nullptr);
}

TEST(FieldEditor, HotkeysActWhileTheEditorWaits) {
  contest::Rig rig;
  Console& con = rig.con();
  con.set_key('%', [&](int) { con.keyboard_codes({key::kEnter}); });
  double seller = 0;
  Form form;
  form.add(con, Get::number(9, 52, seller, "@Z 9999"));
  rig.script().keys("45%");
  EXPECT_TRUE(form.read(con));
  EXPECT_EQ(seller, 45);
  con.set_key('%', {});
}

TEST(FieldEditor, DecimalNumbersAndNumbersWithoutPicture) {
  contest::Rig rig;
  Console& con = rig.con();
  double price = 0, qty = 3;
  Form form;
  form.add(con, Get::number(2, 0, price, "9999.99"));
  form.add(con, Get::number(3, 0, qty));
  EXPECT_EQ(rig.text(2, 0, 7), "   0.00");
  EXPECT_EQ(rig.text(3, 0, 10), "         3");
  rig.script().keys("12.5").key(key::kEnter).keys("-20").key(key::kEnter);
  EXPECT_TRUE(form.read(con));
  EXPECT_DOUBLE_EQ(price, 12.5);
  EXPECT_EQ(qty, -20);
  EXPECT_EQ(rig.text(2, 0, 7), "  12.50");
}

// The message boxes, the key reader, the pause and the key substitutions on
// the headless console: screens cell by cell, tones, virtual-clock durations.
#include <gtest/gtest.h>

#include "runtime/console/get.h"
#include "screen_expect.h"
#include "tests/console/console_test_util.h"
#include "tools/key_substitutions.h"
#include "tools/screens.h"

using namespace toolstest;
using rt::con::Console;
namespace key = rt::con::key;

namespace {

struct Rig : contest::Rig {
  Rig() {
    fill_pattern(con());
    con().set_color("W/N");
  }
  double now() { return con().clock().monotonic(); }
  const rt::con::Screen& screen() { return con().screen(); }
  std::vector<double> tone_freqs() {
    std::vector<double> f;
    for (const auto& t : script().tones()) f.push_back(t.freq);
    return f;
  }
};

constexpr double kTick = 1 / 18.2;

// The box of CARTEL_1 around message row r with `text` starting at `col`.
Expected cartel_1_box(const rt::con::Screen& before, int r, int col, std::string_view text) {
  Expected e(before);
  e.blank(r - 1, 5, r + 1, 74, kYellowOnBlue);
  e.frame(r - 1, 5, r + 1, 74, kYellowOnBlue);
  e.text(r, col, text, kYellowOnBlue);
  return e;
}

}  // namespace

TEST(Cartel1, DefaultMessageBeepsThreeTimesShowsTheBoxAndClosesAfterFiveSeconds) {
  Rig rig;
  const Expected before(rig.screen());
  const Expected box = cartel_1_box(rig.screen(), 12, 28, "Ticket No Encontrado!!!");
  std::string seen = "not checked";
  rig.script().then([&] { seen = diff(rig.screen(), box); });
  const double t0 = rig.now();
  tools::cartel_1(rig.con(), "Ticket No Encontrado!!!");
  EXPECT_EQ(seen, "");
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.tone_freqs(), (std::vector<double>{3000, 3000, 3000}));
  for (const auto& t : rig.script().tones()) EXPECT_EQ(t.ticks, 1);
  EXPECT_NEAR(rig.now() - t0, 5 + 3 * kTick, 1e-9);
  EXPECT_EQ(rig.con().color(), "W/N");
  EXPECT_EQ(rig.con().event_mask(), key::kMaskAll);
}

TEST(Cartel1, FirstKeyEndsTheWaitAndIsConsumedMouseEventsAreNot) {
  Rig rig;
  rig.con().set_event_mask(key::kMaskKeyboard);
  const Expected before(rig.screen());
  rig.script().pause(1).key(key::kLeftDown).pause(1).key('x').key('y');
  const double t0 = rig.now();
  tools::cartel_1(rig.con(), "Hola", false, "1");
  EXPECT_NEAR(rig.now() - t0, 2 + 3 * kTick, 1e-9);
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().lastkey(), 'x');
  EXPECT_EQ(rig.con().inkey(), 'y');  // only the first key was taken
  EXPECT_EQ(rig.con().event_mask(), key::kMaskAll);  // every event allowed afterwards
}

TEST(Cartel1, AKeyAlreadyWaitingOnlyFlashesTheMessage) {
  Rig rig;
  const Expected before(rig.screen());
  rig.con().push_back('k');
  const double t0 = rig.now();
  tools::cartel_1(rig.con(), "Aviso", false, "3");
  EXPECT_NEAR(rig.now() - t0, 3 * kTick, 1e-9);
  EXPECT_EQ(rig.con().typeahead_size(), 0u);
  EXPECT_EQ(diff(rig.screen(), before), "");
}

TEST(Cartel1, LeftOnScreenSilentAndOtherLapses) {
  Rig rig;
  // DEJA: drawn on rows 1 to 3, one tone, no wait.
  const Expected box = cartel_1_box(rig.screen(), 2, 6 + 32, "Uno");
  tools::cartel_1(rig.con(), "Uno", true, "1");
  EXPECT_EQ(diff(rig.screen(), box), "");
  EXPECT_EQ(rig.tone_freqs(), (std::vector<double>{3000}));
  EXPECT_EQ(rig.now(), kTick);

  // Without noise and a 3-second lapse: no tone at all, waits 3 seconds.
  Rig quiet;
  const Expected before(quiet.screen());
  const Expected low = cartel_1_box(quiet.screen(), 22, 6 + 32, "Tres");
  std::string seen = "not checked";
  quiet.script().then([&] { seen = diff(quiet.screen(), low); });
  tools::cartel_1(quiet.con(), "Tres", false, "3", false, 3);
  EXPECT_EQ(seen, "");
  EXPECT_TRUE(quiet.script().tones().empty());
  EXPECT_NEAR(quiet.now(), 3, 1e-9);
  EXPECT_EQ(diff(quiet.screen(), before), "");

  // A lapse other than 5 beeps once when noise is on; a position code
  // other than 1, 2 or 3 is taken as 2.
  Rig once;
  const Expected middle = cartel_1_box(once.screen(), 12, 6 + 33, "x");
  std::string shown = "not checked";
  once.script().then([&] { shown = diff(once.screen(), middle); });
  tools::cartel_1(once.con(), "x", false, "9", true, 1);
  EXPECT_EQ(shown, "");
  EXPECT_EQ(once.script().tones().size(), 1u);
}

TEST(Cartel1g, QuestionBoxLayoutUpperCaseAndOnlySOrNAccepted) {
  Rig rig;
  rig.con().setpos(3, 4);
  const Expected before(rig.screen());
  Expected box(rig.screen());
  box.blank(11, 0, 13, 79, kYellowOnRed);
  box.frame(11, 0, 13, 79, kYellowOnRed);
  box.text(12, 25, "Es Un Ticket De Reintegro?", kYellowOnRed);
  std::string drawn = "not checked";
  int field_col = -1;
  rig.script().then([&] {
    Expected b = box;
    b.at(12, 52) = rig.screen().at(12, 52);  // the field, in the form's colours
    drawn = diff(rig.screen(), b);
    field_col = rig.con().col();
  });
  std::string after_s;
  rig.script().key('s').then([&] { after_s = std::string(1, static_cast<char>(rig.screen().at(12, 52).ch)); });
  // Enter on s is accepted only when s is S: it is upper-cased as typed.
  rig.script().key(key::kEnter);
  EXPECT_TRUE(tools::cartel_1g(rig.con(), "Es Un Ticket De Reintegro?"));
  EXPECT_EQ(drawn, "");
  EXPECT_EQ(field_col, 52);
  EXPECT_EQ(after_s, "S");
  EXPECT_EQ(rig.tone_freqs(), (std::vector<double>{3000, 3000, 3000}));
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().row(), 3);
  EXPECT_EQ(rig.con().col(), 4);
  EXPECT_EQ(rig.con().color(), "W/N");
  EXPECT_TRUE(rig.con().settings().escape_in_forms);

  // x is refused, Esc does nothing without a starting answer, n answers no.
  Rig no;
  bool still_open = false;
  no.script().key('x').key(key::kEnter).key(key::kEsc).key(key::kEnter).then([&] {
    still_open = no.con().active_form() != nullptr;
  });
  no.script().key(key::kBackspace).key('n').key(key::kEnter);
  EXPECT_FALSE(tools::cartel_1g(no.con(), "Seguro?"));
  EXPECT_TRUE(still_open);
  EXPECT_TRUE(no.con().settings().escape_in_forms);
}

TEST(Cartel1g, EscGivesTheStartingAnswerBackUnlessSwitchedOff) {
  Rig rig;
  tools::QuestionBox box;
  box.resp = rt::Value(std::string("S"));
  box.donde = "1";
  rig.script().key('N').key(key::kEsc);
  EXPECT_TRUE(tools::cartel_1g(rig.con(), "Sigue?", box));

  Rig off;
  box.escape_off = true;
  off.script().key(key::kEsc).key('N').key(key::kEnter);
  EXPECT_FALSE(tools::cartel_1g(off.con(), "Sigue?", box));
  EXPECT_TRUE(off.con().settings().escape_in_forms);
}

TEST(Cartel1g, ValueFormPositionValidationAndEsc) {
  // A number starts at half width 5: the question is centred with 33, and a
  // position code that is not 1, 2 or 3 gives the row by its number.
  Rig rig;
  tools::QuestionBox box;
  box.resp = rt::Value(0.0);
  box.donde = "-7";
  box.color = "w+/r*";
  const std::string q = "Vendedor Que Autoriza:";  // 22 characters: 22 blanks before it
  Expected drawn(rig.screen());
  drawn.blank(6, 0, 8, 79, attr(kWhite + kBright, kRed + kBright));
  drawn.frame(6, 0, 8, 79, attr(kWhite + kBright, kRed + kBright));
  drawn.text(7, 23, q, attr(kWhite + kBright, kRed + kBright));
  std::string seen = "not checked";
  int field_col = -1;
  rig.script().then([&] {
    for (int c = 46; c < 50; ++c) drawn.at(7, c) = rig.screen().at(7, c);
    seen = diff(rig.screen(), drawn);
    field_col = rig.con().col();
  });
  std::vector<double> validated;
  rig.script().keys("12").key(key::kEnter).keys("\b\b45").key(key::kEnter);
  const rt::Value v = tools::cartel_1g_value(rig.con(), q, "9999", [&](const rt::Value& x) {
    validated.push_back(x.number());
    return x.number() == 45;
  }, box);
  EXPECT_EQ(seen, "");
  EXPECT_EQ(field_col, 46);
  EXPECT_EQ(v.number(), 45);
  EXPECT_EQ(validated, (std::vector<double>{12, 45}));

  // Esc gives back the starting value whatever was typed.
  Rig esc;
  box.resp = rt::Value(3.0);
  esc.script().keys("99").key(key::kEsc);
  EXPECT_EQ(tools::cartel_1g_value(esc.con(), q, "9999", nullptr, box).number(), 3);

  // A text answer: Esc gives the blanks back, typed letters are kept.
  Rig text;
  text.script().key(key::kEsc).keys("ab").key(key::kEnter);
  tools::QuestionBox plain;
  plain.resp = rt::Value(std::string("    "));
  EXPECT_EQ(tools::cartel_1g_value(text.con(), "Clave", "XXXX", nullptr, plain).text(), "    ");
  Rig text2;
  text2.script().keys("ab").key(key::kEnter);
  EXPECT_EQ(tools::cartel_1g_value(text2.con(), "Clave", "XXXX", nullptr, plain).text(), "ab  ");
}

TEST(Cartel1g, OpenedFromAFieldValidationTheCallersFormResumesIntact) {
  Rig rig;
  Console& con = rig.con();
  double ticket = 0, seller = 0;
  rt::con::Form outer;
  rt::con::Form* during = nullptr;
  bool asked = false;
  outer.add(con, rt::con::Get::number(5, 24, ticket, "@Z 999999"));
  outer.add(con, rt::con::Get::number(6, 15, seller, "@Z 9999").valid([&] {
    asked = tools::cartel_1g(con, "Confirma?");
    during = con.active_form();
    return asked;
  }));
  rig.script().keys("1234").key(key::kEnter).keys("7").key(key::kEnter);  // seller 7, asks
  rig.script().keys("n").key(key::kEnter);                               // answered no: stays
  rig.script().keys("\b8").key(key::kEnter).keys("s").key(key::kEnter);  // seller 8, yes
  EXPECT_TRUE(outer.read(con));
  EXPECT_EQ(during, &outer);
  EXPECT_TRUE(asked);
  EXPECT_EQ(ticket, 1234);
  EXPECT_EQ(seller, 8);
}

TEST(Cartel3, LayoutTonesAndWhatEndsTheWait) {
  Rig rig;
  const Expected before(rig.screen());
  Expected box(rig.screen());
  box.blank(11, 10, 15, 70, kYellowOnRed);
  box.frame(11, 10, 15, 70, kYellowOnRed);
  box.text(12, 11 + 28, "Uno", kYellowOnRed);  // 3 characters: 28 blanks, centred on 41
  box.text(13, 11 + 23, "Ticket Anulado", kYellowOnRed);  // 14 characters: 23 blanks
  box.text(14, 11 + 30 - 0, "", kYellowOnRed);
  std::vector<std::string> seen;
  int cursor = -1;
  auto check = [&] {
    seen.push_back(diff(rig.screen(), box));
    cursor = rig.con().cursor_shape();
  };
  // The wheel, Down, F2, a mouse move and Shift+F1 do not close the box...
  rig.script().then(check).key(key::kWheelForward).key(key::kDown).key(-1).key(key::kMouseMove);
  rig.script().key(key::kShiftF1).key(key::kWheelBackward).then(check);
  // ...a right click does, through the Esc put in its place.
  rig.script().key(key::kRightDown);
  tools::cartel_3(rig.con(), "Uno", "Ticket Anulado", "");
  EXPECT_EQ(seen, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(cursor, 0);
  EXPECT_EQ(rig.con().cursor_shape(), 1);
  EXPECT_EQ(rig.con().lastkey(), key::kEsc);
  EXPECT_EQ(rig.con().typeahead_size(), 0u);
  EXPECT_EQ(rig.tone_freqs(), (std::vector<double>{3000, 1000}));
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().color(), "W/N");

  for (int closing : {int(key::kEnter), int(key::kEsc), int(key::kF1), int('a')}) {
    Rig r;
    r.script().key(key::kUp).key(closing).key('z');
    tools::cartel_3(r.con(), "a", "b", "c");
    EXPECT_EQ(r.con().lastkey(), closing);
    EXPECT_EQ(r.script().pending(), 1u);
  }
}

TEST(Cartel3, WithAKeyCodeOnlyThatKeyEndsTheWaitAndNothingIsTranslated) {
  Rig rig;
  rig.con().setcursor(3);
  rig.script().key(key::kEsc).key(key::kEnter).key(key::kWheelForward).key(key::kRightDown).key('x').key('y');
  tools::cartel_3(rig.con(), "a", "b", "c", "w+/b", 'x');
  EXPECT_EQ(rig.con().lastkey(), 'x');
  EXPECT_EQ(rig.con().typeahead_size(), 0u);  // no Up keys, no Esc put in
  EXPECT_EQ(rig.script().pending(), 1u);
  EXPECT_EQ(rig.con().cursor_shape(), 1);
}

namespace {
// Hooks that record their calls; the close request opens the close
// question over the waiting box, as the station's close hotkey does.
struct RecordingHooks : tools::KeyReaderHooks {
  std::vector<int> fonts;
  int closes = 0;
  std::string box_after_question = "not checked";
  const Expected* waiting_box = nullptr;
  void close_request(Console& con) override {
    ++closes;
    tools::QuestionBox q;
    q.color = "w+/r*";
    tools::cartel_1g(con, "Cierra Velmor???", q);
    if (waiting_box) box_after_question = diff(con.screen(), *waiting_box);
  }
  void font_step(Console&, int key) override { fonts.push_back(key); }
};
struct HooksGuard {
  Console& con;
  tools::KeyReaderHooks* previous;
  HooksGuard(Console& c, tools::KeyReaderHooks* h) : con(c), previous(tools::set_key_reader_hooks(c, h)) {}
  ~HooksGuard() { tools::set_key_reader_hooks(con, previous); }
};
}  // namespace

TEST(Cartel3, CloseQuestionOverTheWaitingBoxRestoresOnlyItsOwnArea) {
  Rig rig;
  RecordingHooks hooks;
  HooksGuard guard(rig.con(), &hooks);
  const Expected before(rig.screen());
  std::unique_ptr<Expected> waiting;
  rig.script().then([&] {
    waiting = std::make_unique<Expected>(rig.screen());
    hooks.waiting_box = waiting.get();
  });
  std::string question = "not checked";
  rig.script().key(key::kAltC).then([&] {
    Expected e = *waiting;
    e.blank(11, 0, 13, 79, attr(kWhite + kBright, kRed + kBright));
    e.frame(11, 0, 13, 79, attr(kWhite + kBright, kRed + kBright));
    e.text(12, 1 + 29, "Cierra Velmor???", attr(kWhite + kBright, kRed + kBright));
    e.at(12, 47) = rig.screen().at(12, 47);
    question = diff(rig.screen(), e);
  });
  rig.script().key('n').key(key::kEnter);
  tools::cartel_3(rig.con(), "Uno", "Dos", "Tres");
  EXPECT_EQ(hooks.closes, 1);
  EXPECT_EQ(question, "");
  EXPECT_EQ(hooks.box_after_question, "");
  EXPECT_EQ(rig.con().lastkey(), key::kEnter);  // the question's Enter; Alt+C ended the wait
  EXPECT_EQ(diff(rig.screen(), before), "");
}

TEST(TeclaN, CodeTable) {
  Rig rig;
  RecordingHooks hooks;
  HooksGuard guard(rig.con(), &hooks);
  Console& con = rig.con();
  con.set_event_mask(key::kMaskKeyboard);  // the reader takes mouse events anyway
  rig.script().key(key::kShiftF1).key(key::kMouseMove).key(key::kMouseMoveFrame).key('a');
  EXPECT_EQ(tools::tecla_n(con), 'a');
  EXPECT_EQ(rig.script().pending(), 0u);

  // Wheel forward: the keys waiting are replaced by three Up keys.
  con.push_back(key::kWheelForward);
  con.push_back('z');
  EXPECT_EQ(tools::tecla_n(con), key::kWheelForward);
  EXPECT_EQ(con.inkey(), key::kUp);
  EXPECT_EQ(con.inkey(), key::kUp);
  EXPECT_EQ(con.inkey(), key::kUp);
  EXPECT_EQ(con.inkey(), 0);
  EXPECT_EQ(con.event_mask(), key::kMaskKeyboard);

  rig.script().key(key::kWheelBackward);
  EXPECT_EQ(tools::tecla_n(con), key::kWheelBackward);
  EXPECT_EQ(con.typeahead_size(), 3u);
  EXPECT_EQ(con.inkey(), key::kDown);
  con.keyboard("");

  rig.script().key(key::kRightDown);
  EXPECT_EQ(tools::tecla_n(con), key::kRightDown);
  EXPECT_EQ(con.inkey(), key::kEsc);

  rig.script().key(key::kCtrlKeypadMinus).key(key::kCtrlKeypadPlus).key(-3).key(key::kLeftDown);
  EXPECT_EQ(tools::tecla_n(con), 398);
  EXPECT_EQ(tools::tecla_n(con), 400);
  EXPECT_EQ(tools::tecla_n(con), -3);
  EXPECT_EQ(tools::tecla_n(con), key::kLeftDown);
  EXPECT_EQ(hooks.fonts, (std::vector<int>{398, 400}));

  rig.script().key(key::kAltC).key('n').key(key::kEnter);
  EXPECT_EQ(tools::tecla_n(con), key::kAltC);
  EXPECT_EQ(hooks.closes, 1);
}

TEST(TeclaN, DefaultHooksDoNothingAndReturnTheCode) {
  Rig rig;
  Rig other_run;  // hooks belong to their own run's console
  RecordingHooks other_hooks;
  HooksGuard guard(other_run.con(), &other_hooks);
  const Expected before(rig.screen());
  rig.script().key(key::kAltC).key(key::kCtrlKeypadMinus);
  EXPECT_EQ(tools::tecla_n(rig.con()), key::kAltC);
  EXPECT_EQ(tools::tecla_n(rig.con()), key::kCtrlKeypadMinus);
  EXPECT_EQ(diff(rig.screen(), before), "");
  EXPECT_EQ(rig.con().typeahead_size(), 0u);
  EXPECT_EQ(other_hooks.closes + other_hooks.fonts.size(), 0u);
}

TEST(Pausa, WaitsOnTheMonotonicClockWithoutReadingKeysAndEndsOverMidnight) {
  Rig rig;
  rig.con().push_back('a');
  const double t0 = rig.now();
  tools::pausa(rig.con(), 0.2);
  EXPECT_GT(rig.now() - t0, 0.2);
  EXPECT_LT(rig.now() - t0, 0.21);
  EXPECT_EQ(rig.con().typeahead_size(), 1u);

  // Started 0.1 s before midnight: the time of day starts again from 0,
  // elapsed time does not.
  Rig night;
  auto& clock = night.script().virtual_clock();
  const rt::text::Date today = clock.now().date;
  clock.advance(86400 - clock.now().seconds_since_midnight - 0.1);
  const double n0 = night.now();
  tools::pausa(night.con(), 0.2);
  EXPECT_GT(night.now() - n0, 0.2);
  EXPECT_LT(night.now() - n0, 0.21);
  EXPECT_EQ(clock.now().date, today.plus_days(1));

  Rig none;
  tools::pausa(none.con(), 0);
  tools::pausa(none.con(), -1);
  EXPECT_LT(none.now(), 0.01);
}

TEST(KeySubstitutions, GroupSeparatorBecomesArrobaAndPercentBecomesEnter) {
  Rig rig;
  Console& con = rig.con();
  con.set_key(tools::kArrobaKey, tools::put_arroba_action(con));
  std::string scan(12, ' ');
  rt::con::Form form;
  form.add(con, rt::con::Get::text(10, 0, scan));
  // The keys behind the separator already in the type-ahead are discarded.
  for (int c : {int('0'), int('1'), 29, int('1'), int('7'), 13}) con.push_back(c);
  rig.script().keys("9").key(key::kCtrlHome).key(key::kEnter);
  EXPECT_TRUE(form.read(con));
  EXPECT_EQ(scan, "01@9@       ");
  con.set_key(tools::kArrobaKey, nullptr);
  EXPECT_FALSE(con.hotkey(29));

  Rig auth;
  Console& c2 = auth.con();
  c2.set_key(tools::kEnterKey, tools::put_enter_action(c2));
  std::string first(4, ' '), second(4, ' ');
  rt::con::Form f2;
  f2.add(c2, rt::con::Get::text(10, 0, first));
  f2.add(c2, rt::con::Get::text(11, 0, second));
  auth.script().keys("12%34%");
  EXPECT_TRUE(f2.read(c2));
  EXPECT_EQ(first, "12  ");
  EXPECT_EQ(second, "34  ");
  EXPECT_EQ(c2.lastkey(), key::kEnter);
  EXPECT_TRUE(tools::put_enter(c2));
  EXPECT_EQ(c2.inkey(), key::kEnter);
}

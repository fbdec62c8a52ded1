#include "tools/screens.h"

#include <cmath>
#include <utility>

#include "runtime/console/get.h"
#include "runtime/console/keys.h"
#include "runtime/text/convert.h"
#include "tools/text_tools.h"
#include "tools/trace.h"

namespace tools {

namespace k = rt::con::key;

int message_row(std::string_view donde) {
  if (donde == "1") return 2;
  if (donde == "2") return 12;
  if (donde == "3") return 22;
  const double n = std::fabs(rt::text::val(donde));
  // Far outside the grid is as good as just outside it (and keeps the
  // conversion defined).
  return n > 1000 ? 1000 : static_cast<int>(n);
}

namespace {

// What the key reader and the boxes keep for the run, with its console.
struct KeyReaderState {
  bool keep_scan_keys = false;
  KeyReaderHooks none;                 // the do-nothing default
  KeyReaderHooks* hooks = &none;
};

KeyReaderState& state_of(rt::con::Console& con) { return con.run_state<KeyReaderState>(); }

// A key that closed a message box is put back when it may be the first
// character of a reader's scan.
void keep_if_scan_key(rt::con::Console& con, int code) {
  if (state_of(con).keep_scan_keys && (code == k::kGroupSeparator || (code >= 32 && code <= 255))) con.push_front({code});
}

}  // namespace

KeepScanKeys::KeepScanKeys(rt::con::Console& con)
    : flag_(state_of(con).keep_scan_keys), previous_(std::exchange(flag_, true)) {}
KeepScanKeys::~KeepScanKeys() { flag_ = previous_; }

// CARTEL_1 of the suite.
void cartel_1(rt::con::Console& con, std::string_view que, bool deja, std::string_view donde, bool ruido,
              double lapso) {
  const int r = (donde == "1" || donde == "3") ? message_row(donde) : 12;
  const std::string saved_color = con.color();
  const std::string saved_area = con.savescreen(r - 1, 5, r + 1, 74);

  con.set_color("gr+/b");
  con.scroll(r - 1, 5, r + 1, 74);
  con.dispbox(r - 1, 5, r + 1, 74, 1);
  con.devpos(r, 6);
  con.devout(medio(que, 34));
  con.set_color(saved_color);

  if (ruido) con.tone(kHighTone, 1);
  if (deja) return;

  if (lapso == 5) {
    con.tone(kHighTone, 1);
    con.tone(kHighTone, 1);
  }
  con.set_event_mask(k::kMaskKeyboard);
  keep_if_scan_key(con, con.inkey(lapso));
  con.set_event_mask(k::kMaskAll);
  con.restscreen(r - 1, 5, r + 1, 74, saved_area);
}

namespace {

// Half width of the answer field, so that question and answer together sit
// about the middle of the line.
double half_width(const rt::Value& answer) {
  switch (answer.type()) {
    case rt::ValueType::Date: return 4;
    case rt::ValueType::Text: return static_cast<double>(answer.text().size()) / 2.0;
    case rt::ValueType::Number: return static_cast<double>(rt::text::str(answer.number()).size()) / 2.0;
    default: return 4;
  }
}

// The common frame of both forms of CARTEL_1G: draws the box, edits the one
// field that `make_field` builds at the given position, and puts everything
// back.  Returns false when the field was left with Esc.
bool question_box(rt::con::Console& con, std::string_view que, const QuestionBox& box, double w,
                  const std::function<rt::con::Get(int row, int col)>& make_field) {
  if (!box.resp || box.escape_off) con.set_escape_in_forms(false);
  const int r = message_row(box.donde);

  con.tone(kHighTone, 1);
  con.tone(kHighTone, 1);
  con.tone(kHighTone, 1);

  const int cursor_row = con.row();
  const int cursor_col = con.col();
  const std::string saved_color = con.color();
  const std::string saved_area = con.savescreen(r - 1, 0, r + 1, 79);

  con.set_color(box.color.empty() ? "gr+/r" : box.color);
  con.scroll(r - 1, 0, r + 1, 79);
  con.dispbox(r - 1, 0, r + 1, 79, 1);

  // The caller's form (when the box is opened from a field's validation)
  // is set aside while this box reads its own field, then resumes.
  rt::con::Form* caller_form = con.active_form();
  con.set_active_form(nullptr);

  const std::string question = medio(que, 38 - w);
  con.devpos(r, 1);
  con.devout(question);
  rt::con::Form form;
  form.add(con, make_field(r, 1 + static_cast<int>(question.size()) + 1));
  const bool ok = form.read(con);

  con.set_active_form(caller_form);
  con.set_escape_in_forms(true);
  con.set_color(saved_color);
  con.restscreen(r - 1, 0, r + 1, 79, saved_area);
  con.setpos(cursor_row, cursor_col);
  return ok;
}

}  // namespace

// CARTEL_1G of the suite, question form.
bool cartel_1g(rt::con::Console& con, std::string_view que, const QuestionBox& box) {
  const std::string start = box.resp ? (box.resp->is_text() ? box.resp->text() : std::string()) : std::string(" ");
  std::string answer = start;
  const bool ok = question_box(con, que, box, 0.5, [&](int row, int col) {
    return rt::con::Get::text(row, col, answer, "!").valid([&answer] {
      const std::string a = rt::text::upper(rt::text::trim(answer));
      return a == "S" || a == "N";
    });
  });
  if (!ok) answer = start;
  return rt::text::upper(rt::text::trim(answer)) == "S";
}

// CARTEL_1G of the suite, value form.
rt::Value cartel_1g_value(rt::con::Console& con, std::string_view que, std::string_view pictu,
                          const std::function<bool(const rt::Value&)>& validar, const QuestionBox& box) {
  const rt::Value start = box.resp ? *box.resp : rt::Value(std::string(" "));
  std::string text = start.is_text() ? start.text() : std::string();
  double number = start.number();
  rt::text::Date date = start.date();
  auto current = [&]() -> rt::Value {
    if (start.is_number()) return rt::Value(number);
    if (start.is_date()) return rt::Value(date);
    return rt::Value(text);
  };
  const bool ok = question_box(con, que, box, half_width(start), [&](int row, int col) {
    const std::string picture(pictu);
    rt::con::Get g = start.is_number() ? rt::con::Get::number(row, col, number, picture)
                     : start.is_date() ? rt::con::Get::date(row, col, date, picture)
                                       : rt::con::Get::text(row, col, text, picture);
    g.valid([&] { return !validar || validar(current()); });
    return g;
  });
  return ok ? current() : start;
}

// CARTEL_3 of the suite.
void cartel_3(rt::con::Console& con, std::string_view que_1, std::string_view que_2, std::string_view que_3,
              std::string_view que_color, std::optional<int> que_tecla) {
  Trace trace(con, "CARTEL_3");
  const std::string saved_color = con.color();
  con.setcursor(0);
  const std::string saved_area = con.savescreen(11, 5, 15, 74);

  con.set_color(que_color.empty() ? std::string_view("gr+/r") : que_color);
  con.scroll(11, 10, 15, 70);
  con.dispbox(11, 10, 15, 70, 1);
  con.devpos(12, 11);
  con.devout(medio(que_1, 30));
  con.devpos(13, 11);
  con.devout(medio(que_2, 30));
  con.devpos(14, 11);
  con.devout(medio(que_3, 30));

  con.tone(kHighTone, 1);
  con.tone(kLowTone, 1);

  if (que_tecla) {
    while (con.inkey(0.0) != *que_tecla) {
    }
  } else {
    while (true) {
      const int code = tecla_n(con);
      if (code >= 1 && code <= 999 && code != k::kUp && code != k::kDown) {
        keep_if_scan_key(con, code);
        break;
      }
    }
  }

  con.set_color(saved_color);
  con.restscreen(11, 5, 15, 74, saved_area);
  con.setcursor(1);
}

KeyReaderHooks* set_key_reader_hooks(rt::con::Console& con, KeyReaderHooks* hooks) {
  KeyReaderState& state = state_of(con);
  KeyReaderHooks* previous = std::exchange(state.hooks, hooks ? hooks : &state.none);
  return previous == &state.none ? nullptr : previous;
}

KeyReaderHooks& key_reader_hooks(rt::con::Console& con) { return *state_of(con).hooks; }

// TECLA_N of the suite.
int tecla_n(rt::con::Console& con, bool solo_tecla, const char* caller_file, int caller_line) {
  (void)solo_tecla;
  trace_call_site(con, caller_file, caller_line);
  Trace trace(con, "TECLA_N");
  // Every kind of event is read here, whatever the console's mask is.
  const int mask = con.set_event_mask(k::kMaskAll);
  int code = 0;
  while (true) {
    code = con.inkey(0.0);
    if (code == k::kNone || code == k::kShiftF1 || code == k::kMouseMove || code == k::kMouseMoveFrame) continue;
    break;
  }
  con.set_event_mask(mask);
  switch (code) {
    case k::kCtrlKeypadMinus:
    case k::kCtrlKeypadPlus: key_reader_hooks(con).font_step(con, code); break;
    case k::kAltC: key_reader_hooks(con).close_request(con); break;
    case k::kWheelForward: con.keyboard_codes({k::kUp, k::kUp, k::kUp}); break;
    case k::kWheelBackward: con.keyboard_codes({k::kDown, k::kDown, k::kDown}); break;
    case k::kRightDown: con.keyboard_codes({k::kEsc}); break;
    default: break;
  }
  return code;
}

// PAUSA of the suite.  The suite compared times of day, which never ends a
// pause begun just before midnight; the monotonic clock has no such jump.
void pausa(rt::con::Console& con, double cuanto) {
  rt::os::Clock& clock = con.clock();
  const double start = clock.monotonic();
  double elapsed = 0;
  while (elapsed <= cuanto) {
    // A little past the mark, so that "more than" is reached by one sleep.
    clock.sleep(cuanto - elapsed + 0.001);
    elapsed = clock.monotonic() - start;
  }
}

}  // namespace tools

// PUEDE and PUEDEN: whether the seller in charge may perform a task, by
// the seller's own marks, the task table, a task password or another
// seller's authorisation on the spot.
#include <exception>
#include <string>

#include "data/layouts.h"
#include "data/table_view.h"
#include "runtime/console/keys.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/access.h"
#include "tools/access_records.h"
#include "tools/guards.h"
#include "tools/key_substitutions.h"
#include "tools/passwords.h"
#include "tools/screen_names.h"
#include "tools/screens.h"
#include "tools/trace.h"

namespace tools {

namespace k = rt::con::key;
using rt::Value;
using rt::wa::Area;
using rt::wa::WorkAreas;
using layout::Seller;
using layout::Task;
using SellerView = layout::View<Seller>;
using access_records::checksum_ok;
using access_records::is_blank;
using access_records::seller_key;
using access_records::without_blanks;

namespace {

constexpr int kTaskWordWidth = 10;  // a task's password

// The seller's mark for task n in ITEMS (a position past its end is no mark).
bool has_mark(const std::string& items, int task) {
  return task >= 1 && static_cast<std::size_t>(task) <= items.size() && items[static_cast<std::size_t>(task - 1)] == 'X';
}

}  // namespace

namespace {

// Opens the seller table in a free area with its seller number tag and
// gives the task marks of `seller`; "" when it cannot be read.
std::string items_from_closed_table(WorkAreas& wa, double seller) {
  std::string items;
  wa.select_area(0);
  try {
    if (wa.use(Seller::layout().name)) {
      const SellerView s(wa.current());
      rt::wa::set_index(s.area(), Seller::layout().bags.front().file);
      rt::wa::set_focus(s.area(), 1);
      if (rt::wa::seek(s.area(), Value(seller_key(seller)))) items = s.text(Seller::ITEMS);
    }
  } catch (const std::exception&) {
    items.clear();
  }
  wa.close_area();
  return items;
}

// The task's password box; true when the task's or the master password was
// typed.
bool password_box(rt::con::Console& con, int pasado, const std::string& name, const std::string& task_word,
                  const std::string& master) {
  const std::string screen = con.xsavescreen();
  con.setcursor(1);
  con.dispbox(8, 39, 14, 76, std::string(9, '\xDB'), "w");
  con.set_color(colour::kNormal);
  con.scroll(9, 40, 13, 75);
  con.dispbox(9, 40, 13, 75, 2);
  con.devpos(9, 48);
  con.devout(kPasswordBoxTitle, "g+/b");
  const std::string label = rt::text::trim(rt::text::str(pasado)) + " " + name;
  con.devpos(13, 56 - static_cast<int>(label.size() / 2));
  con.devout("\xAE " + label + " \xAF", "gr+/b");
  con.devpos(11, 49);
  con.devout("   [          ]");
  int tec1 = 0;
  const std::string typed = rt::text::pad_right(tomarsec(con, 11, 53, kTaskWordWidth, tec1), kTaskWordWidth);
  const bool accepted = typed == task_word || (!is_blank(master) && typed == master);
  con.setcursor(0);
  con.devpos(11, 49);
  if (accepted) {
    con.devout(kPasswordOk, "g+/b");
    con.inkey(0.3);
  } else {
    con.devout(kPasswordWrong, "r+/b");
    con.inkey(1.0);
  }
  con.setcursor(0);
  con.xrestscreen(screen);
  return accepted;
}

}  // namespace

namespace {

// What the task table says of a task for an operator.
struct TaskAnswer {
  enum Kind { Granted, Refused, Unreadable, BadChecksum, AskPassword } kind = Refused;
  std::string name, task_word, master;
};

// Reads the task table (opened for this look only) about task `pasado`.
// Refused: the table is held by another user.
TaskAnswer read_task(WorkAreas& wa, const Operator& op, int pasado) {
  const OneLookup lookup(wa, true);
  TaskAnswer answer;
  try {
    if (!wa.use(Task::layout().name)) return answer;  // held by another user: refused, no message
    const layout::View<Task> v(wa.current());
    Area& t = v.area();
    // A master record whose checksum is wrong has been tampered with or
    // damaged: its password opens nothing.
    if (t.locate([v](Area&) { return v.number(Task::TAREA) == 0; }) && checksum_ok(v))
      answer.master = rt::text::pad_right(cripta(v.text(Task::PALABRA)), kTaskWordWidth);
    const bool task_found = t.locate([v, pasado](Area&) { return v.number(Task::TAREA) == pasado; });
    if (task_found) {
      const std::string descrip = v.text(Task::DESCRIP);
      answer.name = rt::text::trim(descrip.size() > 4 ? descrip.substr(4) : "");
      if (!checksum_ok(v)) {
        answer.kind = TaskAnswer::BadChecksum;
        return answer;
      }
      answer.task_word = rt::text::pad_right(cripta(v.text(Task::PALABRA)), kTaskWordWidth);
    }
    answer.kind = TaskAnswer::AskPassword;
    if (!task_found || is_blank(answer.task_word)) {
      answer.kind = TaskAnswer::Granted;
    } else if (!is_blank(op.profile)) {
      for (char letter : op.profile) {
        const std::string field = layout::profile_field(letter);
        // A letter without its field grants nothing.
        if (t.field_pos(field) > 0 && rt::text::trim(t.get(field).text()) == "X") {
          answer.kind = TaskAnswer::Granted;
          break;
        }
      }
    }
  } catch (const std::exception&) {
    answer.kind = TaskAnswer::Unreadable;
  }
  return answer;
}

}  // namespace

bool puede(rt::con::Console& con, WorkAreas& wa, const Operator& op, int pasado, bool modo_sup) {
  Trace trace(con, "PUEDE");
  KeepArea keep(wa);
  // Task 47 leaves an empty keyboard and no last key behind.
  const auto done = [&](bool result, bool flush) {
    keep.restore();
    if (pasado == 47 && flush) {
      con.keyboard("");
      con.set_lastkey(0);
    }
    return result;
  };

  // The seller's own marks.
  std::string items;
  if (layout::area_of<Seller>(wa) != 0) {
    try {
      const SellerView s = layout::select<Seller>(wa);
      if (rt::wa::seek(s.area(), Value(seller_key(op.seller)))) items = s.text(Seller::ITEMS);
    } catch (const std::exception&) {
      items.clear();
    }
  } else {
    items = items_from_closed_table(wa, op.seller);
  }
  keep.restore();
  if (has_mark(items, pasado)) return true;

  // The task table.
  const TaskAnswer answer = read_task(wa, op, pasado);
  keep.restore();
  switch (answer.kind) {
    case TaskAnswer::Granted: return done(true, true);
    case TaskAnswer::Refused: return done(false, true);
    case TaskAnswer::Unreadable:
      cartel_1(con, kTaskTableError);
      return done(false, true);
    case TaskAnswer::BadChecksum:
      cartel_1(con, kBadChecksum);
      return done(false, true);
    case TaskAnswer::AskPassword: break;
  }
  if (modo_sup) return done(false, false);
  return done(password_box(con, pasado, answer.name, answer.task_word, answer.master), true);
}

namespace {

// CARTEL_1G's seller box of PUEDEN: a seller in charge validated with
// OK_VENDE, then the task asked of them; the profile letters of the seller
// in charge are read again afterwards.
bool authorise(rt::con::Console& con, WorkAreas& wa, Operator& op, int pasado) {
  QuestionBox box;
  box.resp = Value(0.0);
  const Value who = cartel_1g_value(
      con, "Vendedor:", "@Z 9999",
      [&](const Value& es_ok) { return ok_vende(con, wa, op, "VENDEDOR", es_ok.number()); }, box);
  const bool allowed = who.number() > 0 && puede(con, wa, op, pasado);
  const KeepArea keep(wa);
  if (layout::area_of<Seller>(wa) != 0) {
    try {
      const SellerView s = layout::select<Seller>(wa);
      op.profile = rt::wa::seek(s.area(), Value(seller_key(op.seller))) ? without_blanks(s.text(Seller::PERFILES))
                                                                         : std::string();
    } catch (const std::exception&) {
      op.profile.clear();
    }
  }
  return allowed;
}

}  // namespace

bool pueden(rt::con::Console& con, WorkAreas& wa, Operator& op, int pasado) {
  Trace trace(con, "PUEDEN");
  if (puede(con, wa, op, pasado, true)) return true;

  bool allowed = false;
  {
    // While the authorisation is asked: Enter is the key substitution's and
    // only the keyboard counts; afterwards every event again.
    const HotkeyFor enter(con, kEnterKey, put_enter_action(con));
    const AtExit all_events([&con] { con.set_event_mask(k::kMaskAll); });
    con.set_event_mask(k::kMaskKeyboard);
    if (cartel_1g(con, kAskAuthorisation)) allowed = authorise(con, wa, op, pasado);
  }
  if (!allowed) cartel_1(con, kNotAllowed);
  return allowed;
}
}  // namespace tools

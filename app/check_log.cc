#include "app/check_log.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "data/table_view.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/guards.h"
#include "tools/screens.h"
#include "tools/shared_open.h"

namespace app {
namespace {

using rt::Value;
using rt::wa::Area;
using layout::CheckLine;
using layout::CheckLog;
using CheckView = layout::View<CheckLine>;
using LogView = layout::View<CheckLog>;

constexpr double kRefundBarcode = -1234;
// How long a station waits for another's append to the log to end.
constexpr double kAppendWait = 10;

bool traced(const CheckView& check) { return check.text(CheckLine::TRAZA).compare(0, 1, "S") == 0; }

// The check log's name in messages.
std::string log_name() { return CheckLog::layout().name; }

// Where the check table stood, and in which order, so that walking it in
// another order does not move the browse.
struct Position {
  std::string tag;
  rt::wa::RecNo recno;
};

// Appends the ticket's lines; false when an append failed (the lines this
// call appended are then marked deleted and the operator has been told).
bool append_lines(CheckEnv& env, bool refund) {
  const int check_number = env.areas.current_number();
  const CheckView check(env.areas.current());
  const LogView log_view = layout::view<CheckLog>(env.areas);
  Area& log = log_view.area();
  std::vector<rt::wa::RecNo> appended;
  std::string problem;
  check->goto_top();
  while (!check->eof()) {
    // Each line reaches the log whole, in one write.
    const LogView::Values line = {
        {CheckLog::FECHA_VTA, check.get(CheckLine::FECHA_VTA)},
        {CheckLog::FECHA_CHK, check.get(CheckLine::FECHA_CHK)},
        {CheckLog::HORA_CHK, check.get(CheckLine::HORA_CHK)},
        {CheckLog::VEND_CHK, check.get(CheckLine::VEND_CHK)},
        {CheckLog::CANT_CHK, check.get(CheckLine::CANT_CHK)},
        {CheckLog::CB, refund && !traced(check) ? Value(kRefundBarcode) : check.get(CheckLine::CB)},
        {CheckLog::CP, check.get(CheckLine::CP)},
        {CheckLog::TRAZA, check.get(CheckLine::TRAZA)},
        {CheckLog::NUMERO, check.get(CheckLine::NUMERO)},
        {CheckLog::CODIGO, check.get(CheckLine::CODIGO)},
        {CheckLog::CANTID, check.get(CheckLine::CANTID)},
        {CheckLog::DESCRIP, check.get(CheckLine::DESCRIP)},
        {CheckLog::VENDEDOR, check.get(CheckLine::VENDEDOR)},
        {CheckLog::HORA_VTA, check.get(CheckLine::HORA_VTA)}};
    layout::select<CheckLog>(env.areas);
    try {
      // The append waits for another station's append to end.
      if (!log_view.append(line)) problem = "Tabla Ocupada";
    } catch (const std::exception& e) {
      problem = tools::problem_text(e);
    }
    env.areas.select_area(check_number);
    if (!problem.empty()) break;
    appended.push_back(log.recno());
    check->skip();
  }
  if (problem.empty()) {
    try {
      log.commit();  // the ticket's lines reach the disk before the check ends
      return true;
    } catch (const std::exception& e) {
      problem = tools::problem_text(e);
    }
  }

  // Half a ticket must not stay: the next load would rebuild the ticket from
  // it and never ask for the missing lines.
  std::size_t left = 0;
  for (const auto recno : appended) {
    try {
      log.go(recno);
      if (log.lock_record()) {
        log.delete_record();
        continue;
      }
    } catch (const std::exception&) {
    }
    ++left;
  }
  log.unlock();
  env.areas.select_area(check_number);
  tools::cartel_1(env.con, left == 0 ? "Control No Grabado En " + log_name() + " (" + problem.substr(0, 30) + ")!!!"
                                     : "Control Incompleto En " + log_name() + ": Avise Al Encargado!!!");
  return false;
}

}  // namespace

void app_vta(CheckEnv& env, bool refund) { append_lines(env, refund); }

bool seek_live_line(Area& log, double ticket) {
  const LogView v(log);
  rt::wa::seek(log, Value(rt::text::str(ticket, 6)));
  while (!log.eof() && v.number(CheckLog::NUMERO) == ticket) {
    if (!log.deleted()) return true;
    log.skip();
  }
  if (!log.eof()) log.go(0);
  return false;
}

bool write_check_log(CheckEnv& env, bool refund) {
  tools::KeepArea check_area(env.areas);
  Area& log = layout::view<CheckLog>(env.areas).area();
  if (!log.lock_append(kAppendWait)) {
    tools::cartel_1(env.con, "No Se Pudo Grabar El Control En " + log_name() + " (Tabla Ocupada)!!!");
    return false;
  }
  // The locks go, and the check table is selected again, whatever happens.
  const tools::HoldLocks locked(log, true);
  // Whatever another station appended before we got in is seen here.
  const bool found = seek_live_line(log, env.run.ticket);
  check_area.restore();
  if (!found) return append_lines(env, refund);
  actu_vta(env, refund);
  return true;
}

// The log lines of a ticket were appended in the order of its check lines,
// and a check table rebuilt from the log holds its lines in the log's order;
// so check lines are walked in the order they were filled (physical order)
// and paired one by one with the ticket's log lines from the one log_env
// stands on (lines marked deleted are passed over).  The walk never goes past the ticket's own log lines, and a
// pair whose product codes differ is not written, so a check line never
// overwrites the log line of another product or of another ticket.
void actu_vta(CheckEnv& env, bool refund) {
  const int check_number = env.areas.current_number();
  const CheckView cv(env.areas.current());
  Area& check = cv.area();
  const LogView lv = layout::view<CheckLog>(env.areas);
  Area& log = lv.area();
  const double ticket = env.run.ticket;
  const Position was{rt::wa::focus(check), check.recno()};
  rt::wa::set_focus(check, 0);
  check.goto_top();
  while (!check.eof()) {
    layout::select<CheckLog>(env.areas);
    while (!log.eof() && log.deleted() && lv.number(CheckLog::NUMERO) == ticket) log.skip();  // lines undone
    if (log.eof() || lv.number(CheckLog::NUMERO) != ticket) break;
    const bool same_product =
        rt::text::rtrim(lv.text(CheckLog::CODIGO)) == rt::text::rtrim(cv.text(CheckLine::CODIGO));
    if (same_product && log.lock_record()) {
      // A refunded line without traceability is logged as nothing counted,
      // under the refund barcode.
      const bool refunded = refund && !traced(cv);
      LogView::Values update = {{CheckLog::HORA_CHK, cv.get(CheckLine::HORA_CHK)},
                                {CheckLog::VEND_CHK, cv.get(CheckLine::VEND_CHK)},
                                {CheckLog::CANT_CHK, refunded ? Value(0) : cv.get(CheckLine::CANT_CHK)},
                                {CheckLog::TRAZA, cv.get(CheckLine::TRAZA)},
                                {CheckLog::CB, refunded ? Value(kRefundBarcode) : Value()}};
      if (!refunded) update.pop_back();
      lv.put_fields(update);
      log.unlock();
    }
    log.skip();
    env.areas.select_area(check_number);
    check.skip();
  }
  env.areas.select_area(check_number);
  rt::wa::set_focus(check, was.tag);
  check.go(was.recno);
}

}  // namespace app

#include "app/check_log.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/screens.h"

namespace app {
namespace {

using rt::Value;
using rt::wa::Area;

constexpr double kRefundBarcode = -1234;
// How long a station waits for another's append to the log to end.
constexpr double kAppendWait = 10;

bool traced(Area& check) { return check.get("TRAZA").text().compare(0, 1, "S") == 0; }

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
  Area& check = env.areas.current();
  Area& log = env.areas.area("log_env");
  std::vector<rt::wa::RecNo> appended;
  std::string problem;
  check.goto_top();
  while (!check.eof()) {
    // Each line reaches the log whole, in one write.
    const std::vector<std::pair<std::string, Value>> line = {
        {"FECHA_VTA", check.get("FECHA_VTA")},
        {"FECHA_CHK", check.get("FECHA_CHK")},
        {"HORA_CHK", check.get("HORA_CHK")},
        {"VEND_CHK", check.get("VEND_CHK")},
        {"CANT_CHK", check.get("CANT_CHK")},
        {"CB", refund && !traced(check) ? Value(kRefundBarcode) : check.get("CB")},
        {"CP", check.get("CP")},
        {"TRAZA", check.get("TRAZA")},
        {"NUMERO", check.get("NUMERO")},
        {"CODIGO", check.get("CODIGO")},
        {"CANTID", check.get("CANTID")},
        {"DESCRIP", check.get("DESCRIP")},
        {"VENDEDOR", check.get("VENDEDOR")},
        {"HORA_VTA", check.get("HORA_VTA")}};
    env.areas.select_area("log_env");
    try {
      // The append waits for another station's append to end.
      if (!log.append(line)) problem = "Tabla Ocupada";
    } catch (const std::exception& e) {
      problem = e.what();
    }
    env.areas.select_area(check_number);
    if (!problem.empty()) break;
    appended.push_back(log.recno());
    check.skip();
  }
  if (problem.empty()) {
    try {
      log.commit();  // the ticket's lines reach the disk before the check ends
      return true;
    } catch (const std::exception& e) {
      problem = e.what();
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
  tools::cartel_1(env.con, left == 0 ? "Control No Grabado En log_env (" + problem.substr(0, 30) + ")!!!"
                                     : "Control Incompleto En log_env: Avise Al Encargado!!!");
  return false;
}

}  // namespace

void app_vta(CheckEnv& env, bool refund) { append_lines(env, refund); }

bool seek_live_line(Area& log, double ticket) {
  rt::wa::seek(log, Value(rt::text::str(ticket, 6)));
  while (!log.eof() && log.get("NUMERO").number() == ticket) {
    if (!log.deleted()) return true;
    log.skip();
  }
  if (!log.eof()) log.go(0);
  return false;
}

bool write_check_log(CheckEnv& env, bool refund) {
  const int check_number = env.areas.current_number();
  Area& log = env.areas.area("log_env");
  bool written = false;
  try {
    if (!log.lock_append(kAppendWait)) {
      tools::cartel_1(env.con, "No Se Pudo Grabar El Control En log_env (Tabla Ocupada)!!!");
      env.areas.select_area(check_number);
      return false;
    }
    // Whatever another station appended before we got in is seen here.
    const bool found = seek_live_line(log, env.run.ticket);
    env.areas.select_area(check_number);
    if (found) {
      actu_vta(env, refund);
      written = true;
    } else {
      written = append_lines(env, refund);
    }
  } catch (...) {
    log.unlock_append();
    log.unlock();
    env.areas.select_area(check_number);
    throw;
  }
  log.unlock_append();
  log.unlock();
  env.areas.select_area(check_number);
  return written;
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
  Area& check = env.areas.current();
  Area& log = env.areas.area("log_env");
  const double ticket = env.run.ticket;
  const Position was{rt::wa::focus(check), check.recno()};
  rt::wa::set_focus(check, 0);
  check.goto_top();
  while (!check.eof()) {
    env.areas.select_area("log_env");
    while (!log.eof() && log.deleted() && log.get("NUMERO").number() == ticket) log.skip();  // lines undone
    if (log.eof() || log.get("NUMERO").number() != ticket) break;
    const bool same_product =
        rt::text::rtrim(log.get("CODIGO").text()) == rt::text::rtrim(check.get("CODIGO").text());
    if (same_product && log.lock_record()) {
      std::vector<std::pair<std::string, Value>> update = {{"HORA_CHK", check.get("HORA_CHK")},
                                                             {"VEND_CHK", check.get("VEND_CHK")},
                                                             {"CANT_CHK", check.get("CANT_CHK")},
                                                             {"TRAZA", check.get("TRAZA")}};
      if (refund && !traced(check)) {
        update.emplace_back("CB", Value(kRefundBarcode));
        update.emplace_back("CANT_CHK", Value(0));
      }
      log.put_fields(update);
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

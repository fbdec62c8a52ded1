#include "app/check_log.h"

#include <string>
#include <utility>
#include <vector>

#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/screens.h"
#include "tools/shared_open.h"

namespace app {
namespace {

using rt::Value;
using rt::wa::Area;

constexpr double kRefundBarcode = -1234;

bool traced(Area& check) { return check.get("TRAZA").text().compare(0, 1, "S") == 0; }

// Where the check table stood, and in which order, so that walking it in
// another order does not move the browse.
struct Position {
  std::string tag;
  rt::wa::RecNo recno;
};

}  // namespace

void app_vta(CheckEnv& env, bool refund) {
  const int check_number = env.areas.current_number();
  Area& check = env.areas.current();
  Area& log = env.areas.area("log_env");
  check.goto_top();
  while (!check.eof()) {
    env.areas.select_area("log_env");
    // The append waits for another station's append to end (traffic box
    // from the fifth try); when the operator gives up, he is told instead
    // of losing lines quietly.
    if (!tools::append_netuse(env.con, log)) {
      env.areas.select_area(check_number);
      tools::cartel_1(env.con, "No Se Pudo Grabar El Control En log_env (Tabla Ocupada)!!!");
      return;
    }
    log.put_fields({{"FECHA_VTA", check.get("FECHA_VTA")},
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
                    {"HORA_VTA", check.get("HORA_VTA")}});
    env.areas.select_area(check_number);
    check.skip();
  }
  log.commit();  // the ticket's lines reach the disk before the check ends
}

// The log lines of a ticket were appended in the order of its check lines,
// and a check table rebuilt from the log holds its lines in the log's order;
// so check lines are walked in the order they were filled (physical order)
// and paired one by one with the ticket's log lines from the one log_env
// stands on.  The walk never goes past the ticket's own log lines, and a
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
  log.commit();
  env.areas.select_area(check_number);
  rt::wa::set_focus(check, was.tag);
  check.go(was.recno);
}

}  // namespace app

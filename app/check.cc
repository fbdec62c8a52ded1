#include "app/check.h"

#include <cmath>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "app/check_browse.h"
#include "app/check_log.h"
#include "app/completion.h"
#include "app/product_rules.h"
#include "app/ticket_lock.h"
#include "data/layouts.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/key_substitutions.h"
#include "tools/screens.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"
#include "tools/trace.h"

namespace app {
namespace {

using rt::Value;
using rt::wa::Area;

constexpr const char* kCheckAlias = "tempo39";
// Widest message the one-line box shows (columns 5 to 74 less its border).
constexpr std::size_t kMessageWidth = 66;

// A failure while loading that ends the check with a message.
struct LoadFailure {
  LoadStatus status;
  std::string message;
  bool shown = false;  // the operator has seen it already
};

std::string fit(std::string text) {
  if (text.size() > kMessageWidth) text.resize(kMessageWidth);
  return text;
}

// Opens a table of the suite shared in the lowest free area with its
// fields checked and its order bags (NETUSE, retrying while another user
// holds it).  When it cannot be used the operator has been told already,
// naming the table, and the load ends.
Area& open_shared(CheckEnv& env, const layout::TableSpec& spec) {
  env.areas.select_area(0);
  std::string problem;
  if (!tools::open_checked(env.con, env.areas, spec, "", &problem))
    throw LoadFailure{LoadStatus::TablesUnavailable,
                      problem.empty() ? std::string("Tabla ") + spec.name + " En Uso Exclusivo!!!" : problem, true};
  return env.areas.current();
}

std::string ticket_key(double ticket) { return "TK" + rt::text::str(ticket, 6); }

std::string code_of(Area& a) { return rt::text::rtrim(a.get("CODIGO").text()); }

char flag(Area& a, const char* field) {
  const std::string t = a.get(field).text();
  return t.empty() ? ' ' : t[0];
}

// SE_TRAZA over the product the producto area stands on (blank at its end).
bool se_traza(Area& producto) { return is_traceable(flag(producto, "TRAZA"), flag(producto, "TRAZA_F")); }

// Is the sale-line area on a line of the ticket?
bool on_ticket(Area& compitem, double ticket) {
  return !compitem.eof() && compitem.get("NUMERO").number() == ticket &&
         compitem.get("COMPTE").text().compare(0, 2, "TK") == 0;
}

// The counted quantity the pre-fill rules give a line, applied in order to
// the sale line in use and its product; a later rule overrides an earlier.
double prefill(Area& compitem, Area& producto, double department, double counted) {
  const double sold = compitem.get("CANTID").number();
  if (compitem.get("BONO").text().find('@') != std::string::npos) counted = sold;  // A: needs no scan
  if (flag(producto, "CALIDAD_CB") == 'M') counted = sold;                        // B: barcode unreadable
  if (department != -1 && department != compitem.get("DEPTO").number()) counted = sold;  // C: other department
  const double vale = compitem.get("VALE").number();
  if (vale > 0) counted = vale;  // D: voucher quantity
  return counted;
}

// Deletes the seller's earlier check table and creates it afresh from the
// template, opened exclusively as "tempo39" with its three tags, "cb"
// active, related to producto.  A check table that another station holds
// is left alone.
Area& fresh_check_table(CheckEnv& env) {
  const std::string& name = env.check.check_table;
  const LoadFailure busy{LoadStatus::CheckTableBusy,
                         fit("Tabla " + name + " En Uso En Otra Estaci\xA2n (Vendedor " +
                             rt::text::trim(rt::text::str(env.run.seller, 4)) + ")!!!")};
  // Make sure nobody uses the earlier copy before deleting it: on a shared
  // drive its files could otherwise be deleted under another station, which
  // would go on checking in files nobody else can see.
  if (env.areas.file_exists(name + ".dbf")) {
    env.areas.select_area(0);
    rt::wa::OpenOptions o;
    o.exclusive = true;
    bool held_elsewhere = false;
    try {
      held_elsewhere = !env.areas.use(name, o) && env.areas.neterr();
    } catch (const std::exception&) {
      // A damaged leftover of an earlier check is simply replaced.
    }
    if (held_elsewhere) throw busy;
    for (const char* ext : {".dbf", ".fpt", ".cdx"}) {
      const std::string file = name + ext;
      if (env.areas.file_exists(file) && !env.areas.erase_file(file)) {
        env.areas.close_area();
        throw busy;
      }
    }
    env.areas.close_area();
  } else {
    for (const char* ext : {".fpt", ".cdx"}) {
      const std::string file = name + ext;
      if (env.areas.file_exists(file) && !env.areas.erase_file(file)) throw busy;
    }
  }

  Area& tmpl = open_shared(env, layout::tempo39());
  (void)tmpl;
  try {
    env.areas.copy_structure(name, false);
  } catch (const std::exception& e) {
    env.areas.close_area();
    throw LoadFailure{LoadStatus::TablesUnavailable, fit("No Se Puede Crear " + name + ": " + tools::problem_text(e))};
  }
  env.areas.close_area();

  env.areas.select_area(0);
  rt::wa::OpenOptions o;
  o.alias = kCheckAlias;
  o.exclusive = true;
  if (!env.areas.use(name, o)) throw busy;
  Area& check = env.areas.current();
  check.table().set_sync(false);  // private scratch table: rebuilt, never synced
  return check;
}

// The check table's tags are built once its lines are written (one bulk
// build per tag instead of an insert per line), then order "cb" and the
// relation to the product.
void index_check_table(CheckEnv& env, Area& check) {
  for (const auto& tag : layout::tempo39().bags.front().tags) rt::wa::create_order(check, tag.name, tag.key);
  rt::wa::set_focus(check, "cb");
  rt::wa::clear_relations(check);
  rt::wa::set_relation(env.areas, check, "producto", "codigo");
}

// LLENA_T39: one check line from the sale line compitem stands on.
void llena_t39(CheckEnv& env, Area& check, Area& compitem, Area& producto, Area& compenca,
               rt::text::Date today) {
  if (!check.append()) throw LoadFailure{LoadStatus::TablesUnavailable, "No Se Puede Agregar A " + env.check.check_table};
  check.put_fields({{"FECHA_CHK", Value(today)},
                    {"HORA_CHK", Value("")},
                    {"VEND_CHK", Value(0)},
                    {"CB", producto.get("CODVAR")},
                    {"CP", producto.get("CODPROD")},
                    {"TRAZA", Value(se_traza(producto) ? "S" : "N")},
                    {"CANT_CHK", Value(prefill(compitem, producto, env.run.department, 0))},
                    {"NUMERO", compitem.get("NUMERO")},
                    {"CODIGO", compitem.get("CODIGO")},
                    {"CANTID", compitem.get("CANTID")},
                    {"DESCRIP", compitem.get("DESCRIP")},
                    {"VENDEDOR", compenca.get("VENDEDOR")},
                    {"FECHA_VTA", compenca.get("FECHA")},
                    {"HORA_VTA", compenca.get("HORAX")}});
}

// Fills the check table from the ticket's sale lines.
LoadOutcome load_from_sales(CheckEnv& env, Area& check, rt::text::Date today) {
  Area& compitem = env.areas.area("compitem");
  Area& producto = env.areas.area("producto");
  Area& compenca = env.areas.area("compenca");
  const double ticket = env.run.ticket;
  rt::wa::seek(compitem, Value(ticket_key(ticket)));
  if (!compitem.found()) return {LoadStatus::NotFound, "Ticket No Encontrado!!!", false};
  if (flag(compitem, "ANULA") == 'S') return {LoadStatus::Cancelled, "Ticket Anulado!!", false};
  while (on_ticket(compitem, ticket)) {
    if (!(env.run.trace_only && !se_traza(producto))) llena_t39(env, check, compitem, producto, compenca, today);
    compitem.skip();
  }
  return {LoadStatus::Loaded, "", false};
}

// Rebuilds the check table from the ticket's check-log lines (log_env stands
// on the first), each matched with the first sale line of the ticket that
// has its product code (two log lines of one product match the same sale
// line).  The ticket's sale lines are read once, first line per product
// code remembered.  A log line whose product is on no sale line of the
// ticket keeps what the log says: no pre-fill is read from an unrelated sale
// line, and its traceability flag is its own product's.
LoadOutcome rebuild_from_log(CheckEnv& env, Area& check, Area& log) {
  Area& compitem = env.areas.area("compitem");
  Area& producto = env.areas.area("producto");
  const double ticket = env.run.ticket;
  std::map<std::string, rt::wa::RecNo> first_line;
  for (rt::wa::seek(compitem, Value(ticket_key(ticket))); on_ticket(compitem, ticket); compitem.skip())
    first_line.emplace(code_of(compitem), compitem.recno());

  while (!log.eof() && log.get("NUMERO").number() == ticket) {
    if (log.deleted()) {  // a line undone by a check whose log could not be written whole
      log.skip();
      continue;
    }
    const auto sale = first_line.find(code_of(log));
    const bool matched = sale != first_line.end();
    if (matched)
      compitem.go(sale->second);  // producto and compenca follow it
    else
      rt::wa::seek(producto, Value(log.get("CODIGO").text()));

    const double logged = env.run.trace_only ? 0 : log.get("CANT_CHK").number();
    double counted = matched ? prefill(compitem, producto, env.run.department, logged) : logged;
    double sold = log.get("CANTID").number();
    if (env.run.cancel_voucher) {
      counted = 0;
      sold = matched ? std::fabs(compitem.get("VALE").number()) : 0;
    }
    if (!check.append()) throw LoadFailure{LoadStatus::TablesUnavailable, "No Se Puede Agregar A " + env.check.check_table};
    check.put_fields({{"FECHA_CHK", log.get("FECHA_CHK")},
                      {"FECHA_VTA", log.get("FECHA_VTA")},
                      {"HORA_CHK", log.get("HORA_CHK")},
                      {"VEND_CHK", log.get("VEND_CHK")},
                      {"CB", log.get("CB")},
                      {"CP", log.get("CP")},
                      {"TRAZA", Value(se_traza(producto) ? "S" : "N")},
                      {"NUMERO", log.get("NUMERO")},
                      {"CODIGO", log.get("CODIGO")},
                      {"CANTID", Value(sold)},
                      {"DESCRIP", log.get("DESCRIP")},
                      {"VENDEDOR", log.get("VENDEDOR")},
                      {"HORA_VTA", log.get("HORA_VTA")},
                      {"CANT_CHK", Value(counted)}});
    log.skip();
  }
  return {LoadStatus::Loaded, "", true};
}

LoadOutcome load(CheckEnv& env) {
  // Shared tables, each in the lowest free area.
  Area& log = open_shared(env, layout::log_env());
  (void)log;
  open_shared(env, layout::compenca());
  Area& producto = open_shared(env, layout::producto());
  rt::wa::set_focus(producto, "codigo");
  Area& compitem = open_shared(env, layout::compitem());
  rt::wa::clear_relations(compitem);
  rt::wa::set_relation(env.areas, compitem, "producto", "codigo");
  rt::wa::set_relation(env.areas, compitem, "compenca", "compte+str(numero,6)");

  env.check.check_table = "tm39" + tools::str_0(env.run.seller, 4);
  Area& check = fresh_check_table(env);
  const rt::text::Date today = env.con.clock().now().date;

  Area& log_area = env.areas.area("log_env");
  LoadOutcome out;
  try {
    out = seek_live_line(log_area, env.run.ticket) ? rebuild_from_log(env, check, log_area)
                                                   : load_from_sales(env, check, today);
  } catch (...) {
    try {
      index_check_table(env, check);  // what was written keeps its tags
    } catch (const std::exception&) {
      // The load's own failure is the one to report.
    }
    throw;
  }
  index_check_table(env, check);
  if (out.status != LoadStatus::Loaded) return out;

  env.areas.select_area(kCheckAlias);
  check.goto_top();
  return out;
}

void close_check(rt::wa::WorkAreas& areas) {
  areas.close_all();
  areas.select_area(1);
}

}  // namespace

LoadOutcome load_ticket(CheckEnv& env) {
  try {
    return load(env);
  } catch (const LoadFailure& f) {
    return {f.status, f.message, false, f.shown};
  } catch (const std::exception& e) {
    return {LoadStatus::TablesUnavailable, fit("Error Al Cargar El Ticket: " + tools::problem_text(e)), false, false};
  }
}

void princi(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run) {
  const TicketLock ticket(run.ticket, run.machine, areas.env());
  if (!ticket.held()) {
    con.dispbox(1, 0, 24, 79, std::string(9, ' '));
    tools::cartel_1(con, fit(ticket.message()));
    areas.select_area(1);
    return;
  }
  check_ticket(con, areas, run);
}

void check_ticket(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run) {
  tools::Trace trace("PRINCI");
  CheckContext check;
  CheckEnv env{con, areas, run, check};
  // Rows 1 to 24 cleared in the standard colour.
  con.dispbox(1, 0, 24, 79, std::string(9, ' '));

  run.check_failure.clear();
  const LoadOutcome loaded = load_ticket(env);
  if (loaded.status != LoadStatus::Loaded) {
    run.check_failure = loaded.message;
    close_check(areas);
    if (!loaded.shown) tools::cartel_1(con, loaded.message);
    return;
  }

  // Browse set-up: the scan buffer, the scan and description rows, the
  // ticket line, and the reader's group separator arriving as "@".
  check.scan.clear();
  check.sold = check.counted = 0;
  con.devpos(23, 0);
  con.devout(std::string(80, ' '), "g+/n");
  con.devpos(24, 0);
  con.devout(std::string(80, ' '), "gr+/n");
  con.devpos(2, 0);
  con.devout(tools::medio("<R> Si Es Por Reintegro!" + std::string(19, ' ') + "TICKET N\xA7 " +
                              rt::text::trim(rt::text::str(run.ticket, 6)),
                          40),
             "gr+/n");
  con.set_key(tools::kArrobaKey, tools::put_arroba_action(con));

  try {
    trace.at();
    run_check_browse(env);
    con.set_key(tools::kArrobaKey, nullptr);
    salir(env);
  } catch (const rt::con::QuitRequest&) {
    con.set_key(tools::kArrobaKey, nullptr);
    close_check(areas);
    throw;
  } catch (const std::exception& e) {
    run.check_failure = e.what();
    con.set_key(tools::kArrobaKey, nullptr);
    close_check(areas);
    tools::cartel_1(con, fit("Error En El Control: " + tools::problem_text(e)));
    return;
  }
  close_check(areas);
}

}  // namespace app

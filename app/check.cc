#include "app/check.h"

#include <cmath>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/check_browse.h"
#include "app/check_log.h"
#include "app/completion.h"
#include "app/failure.h"
#include "app/product_rules.h"
#include "app/ticket_lock.h"
#include "data/layouts.h"
#include "data/table_view.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/guards.h"
#include "tools/key_substitutions.h"
#include "tools/screens.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"
#include "tools/trace.h"

namespace app {
namespace {

using rt::Value;
using rt::wa::Area;
using layout::CheckLine;
using layout::CheckLog;
using layout::Product;
using layout::SaleHeader;
using layout::SaleLine;
using layout::View;
// Widest message the one-line box shows (columns 5 to 74 less its border).
constexpr std::size_t kMessageWidth = 66;

// A failure while loading that ends the check with a message; its kind is
// the status the load ends with.
class LoadFailure : public std::runtime_error {
 public:
  LoadFailure(LoadStatus kind, const std::string& message, bool shown = false)
      : std::runtime_error(message), kind_(kind), shown_(shown) {}
  LoadStatus kind() const { return kind_; }
  bool shown() const { return shown_; }  // the operator has seen it already

 private:
  LoadStatus kind_;
  bool shown_;
};

std::string fit(std::string text) {
  if (text.size() > kMessageWidth) text.resize(kMessageWidth);
  return text;
}

// Opens a table of the suite shared in the lowest free area with its
// fields checked and its order bags (NETUSE, retrying while another user
// holds it).  When it cannot be used the operator has been told already,
// naming the table, and the load ends.
Area& open_shared(CheckEnv& env, const layout::TableLayout& spec) {
  env.areas.select_area(0);
  std::string problem;
  if (!tools::open_checked(env.con, env.areas, spec, "", &problem))
    throw LoadFailure(LoadStatus::TablesUnavailable,
                      problem.empty() ? std::string("Tabla ") + spec.name + " En Uso Exclusivo!!!" : problem, true);
  return env.areas.current();
}

std::string ticket_key(double ticket) { return "TK" + rt::text::str(ticket, 6); }

// The product code of a sale line or a check-log line.
template <class T>
std::string code_of(const View<T>& v) {
  return rt::text::rtrim(v.text(T::CODIGO));
}

// SE_TRAZA over the product the producto area stands on (blank at its end).
bool se_traza(const View<Product>& producto) {
  return is_traceable(producto.flag(Product::TRAZA), producto.flag(Product::TRAZA_F));
}

// Is the sale-line area on a line of the ticket?
bool on_ticket(const View<SaleLine>& compitem, double ticket) {
  return !compitem->eof() && compitem.number(SaleLine::NUMERO) == ticket &&
         compitem.text(SaleLine::COMPTE).compare(0, 2, "TK") == 0;
}

// The counted quantity the pre-fill rules give a line, applied in order to
// the sale line in use and its product; a later rule overrides an earlier.
double prefill(const View<SaleLine>& compitem, const View<Product>& producto, double department, double counted) {
  const double sold = compitem.number(SaleLine::CANTID);
  if (compitem.text(SaleLine::BONO).find('@') != std::string::npos) counted = sold;  // A: needs no scan
  if (producto.flag(Product::CALIDAD_CB) == 'M') counted = sold;                     // B: barcode unreadable
  if (department != -1 && department != compitem.number(SaleLine::DEPTO)) counted = sold;  // C: other department
  const double vale = compitem.number(SaleLine::VALE);
  if (vale > 0) counted = vale;  // D: voucher quantity
  return counted;
}

// Creates the seller's check table afresh from the template's fields,
// replacing an earlier copy, open exclusively as "tempo39" with its own bag
// (tags built by index_check_table).  The table is private to this station:
// it is held in memory and written to its files when the check closes it.
// A check table that another station holds is left alone: its files are
// only replaced once nobody else has them open, so a station checking as
// the same seller never has them changed under it.
View<CheckLine> fresh_check_table(CheckEnv& env) {
  const std::string& name = env.check.check_table;
  const LoadFailure busy(LoadStatus::CheckTableBusy,
                         fit("Tabla " + name + " En Uso En Otra Estaci\xA2n (Vendedor " +
                             rt::text::trim(rt::text::str(env.run.seller, 4)) + ")!!!"));
  std::vector<rt::table::NewField> fields;
  rt::text::CodePage code_page{};
  {
    Area& tmpl = open_shared(env, layout::tempo39());
    tools::AtExit close_template([&env] { env.areas.close_area(); });
    fields = env.areas.structure();
    code_page = tmpl.table().code_page();
  }

  env.areas.select_area(0);
  bool made = false;
  as_step("No Se Puede Crear " + name,
          [&] { made = env.areas.use_scratch(name, fields, CheckLine::layout().name, code_page); });
  if (!made) throw busy;
  Area& check = env.areas.current();
  try {
    rt::wa::create_scratch_bag(check);
  } catch (const rt::wa::WorkAreaError& e) {
    if (e.kind() == rt::wa::WorkAreaError::Kind::BagBusy) throw busy;
    std::throw_with_nested(StepFailed("No Se Puede Crear " + name + ".cdx"));
  }
  return View<CheckLine>(check);
}

// The check table's tags are built once its lines are written (one bulk
// build per tag instead of an insert per line), then order "cb" and the
// relation to the product.
void index_check_table(CheckEnv& env, Area& check) {
  for (const auto& tag : CheckLine::layout().bags.front().tags) rt::wa::create_order(check, tag.name, tag.key);
  rt::wa::set_focus(check, "cb");
  rt::wa::clear_relations(check);
  layout::relate<Product>(env.areas, check);
}

// LLENA_T39: one check line from the sale line compitem stands on.
void llena_t39(CheckEnv& env, const View<CheckLine>& check, const View<SaleLine>& compitem,
               const View<Product>& producto, const View<SaleHeader>& compenca, rt::text::Date today) {
  if (!check->append()) throw LoadFailure(LoadStatus::TablesUnavailable, "No Se Puede Agregar A " + env.check.check_table);
  check.put_fields({{CheckLine::FECHA_CHK, Value(today)},
                    {CheckLine::HORA_CHK, Value("")},
                    {CheckLine::VEND_CHK, Value(0)},
                    {CheckLine::CB, producto.get(Product::CODVAR)},
                    {CheckLine::CP, producto.get(Product::CODPROD)},
                    {CheckLine::TRAZA, Value(se_traza(producto) ? "S" : "N")},
                    {CheckLine::CANT_CHK, Value(prefill(compitem, producto, env.run.department, 0))},
                    {CheckLine::NUMERO, compitem.get(SaleLine::NUMERO)},
                    {CheckLine::CODIGO, compitem.get(SaleLine::CODIGO)},
                    {CheckLine::CANTID, compitem.get(SaleLine::CANTID)},
                    {CheckLine::DESCRIP, compitem.get(SaleLine::DESCRIP)},
                    {CheckLine::VENDEDOR, compenca.get(SaleHeader::VENDEDOR)},
                    {CheckLine::FECHA_VTA, compenca.get(SaleHeader::FECHA)},
                    {CheckLine::HORA_VTA, compenca.get(SaleHeader::HORAX)}});
}

// Fills the check table from the ticket's sale lines.
LoadOutcome load_from_sales(CheckEnv& env, const View<CheckLine>& check, rt::text::Date today) {
  const auto compitem = layout::view<SaleLine>(env.areas);
  const auto producto = layout::view<Product>(env.areas);
  const auto compenca = layout::view<SaleHeader>(env.areas);
  const double ticket = env.run.ticket;
  rt::wa::seek(compitem.area(), Value(ticket_key(ticket)));
  if (!compitem->found()) return {LoadStatus::NotFound, "Ticket No Encontrado!!!", false};
  if (compitem.flag(SaleLine::ANULA) == 'S') return {LoadStatus::Cancelled, "Ticket Anulado!!", false};
  while (on_ticket(compitem, ticket)) {
    if (!(env.run.trace_only && !se_traza(producto))) llena_t39(env, check, compitem, producto, compenca, today);
    compitem->skip();
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
LoadOutcome rebuild_from_log(CheckEnv& env, const View<CheckLine>& check, const View<CheckLog>& log) {
  const auto compitem = layout::view<SaleLine>(env.areas);
  const auto producto = layout::view<Product>(env.areas);
  const double ticket = env.run.ticket;
  std::map<std::string, rt::wa::RecNo> first_line;
  for (rt::wa::seek(compitem.area(), Value(ticket_key(ticket))); on_ticket(compitem, ticket); compitem->skip())
    first_line.emplace(code_of(compitem), compitem->recno());

  while (!log->eof() && log.number(CheckLog::NUMERO) == ticket) {
    if (log->deleted()) {  // a line undone by a check whose log could not be written whole
      log->skip();
      continue;
    }
    const auto sale = first_line.find(code_of(log));
    const bool matched = sale != first_line.end();
    if (matched)
      compitem->go(sale->second);  // producto and compenca follow it
    else
      rt::wa::seek(producto.area(), Value(log.text(CheckLog::CODIGO)));

    const double logged = env.run.trace_only ? 0 : log.number(CheckLog::CANT_CHK);
    double counted = matched ? prefill(compitem, producto, env.run.department, logged) : logged;
    double sold = log.number(CheckLog::CANTID);
    if (env.run.cancel_voucher) {
      counted = 0;
      sold = matched ? std::fabs(compitem.number(SaleLine::VALE)) : 0;
    }
    if (!check->append()) throw LoadFailure(LoadStatus::TablesUnavailable, "No Se Puede Agregar A " + env.check.check_table);
    check.put_fields({{CheckLine::FECHA_CHK, log.get(CheckLog::FECHA_CHK)},
                      {CheckLine::FECHA_VTA, log.get(CheckLog::FECHA_VTA)},
                      {CheckLine::HORA_CHK, log.get(CheckLog::HORA_CHK)},
                      {CheckLine::VEND_CHK, log.get(CheckLog::VEND_CHK)},
                      {CheckLine::CB, log.get(CheckLog::CB)},
                      {CheckLine::CP, log.get(CheckLog::CP)},
                      {CheckLine::TRAZA, Value(se_traza(producto) ? "S" : "N")},
                      {CheckLine::NUMERO, log.get(CheckLog::NUMERO)},
                      {CheckLine::CODIGO, log.get(CheckLog::CODIGO)},
                      {CheckLine::CANTID, Value(sold)},
                      {CheckLine::DESCRIP, log.get(CheckLog::DESCRIP)},
                      {CheckLine::VENDEDOR, log.get(CheckLog::VENDEDOR)},
                      {CheckLine::HORA_VTA, log.get(CheckLog::HORA_VTA)},
                      {CheckLine::CANT_CHK, Value(counted)}});
    log->skip();
  }
  return {LoadStatus::Loaded, "", true};
}

LoadOutcome load(CheckEnv& env) {
  // The ticket's lines, products and headers are read as one batch: each
  // shared bag's counter is looked at once for the whole load.
  const rt::wa::ReadBatch batch;
  // Shared tables, each in the lowest free area.
  open_shared(env, CheckLog::layout());
  open_shared(env, SaleHeader::layout());
  Area& producto = open_shared(env, Product::layout());
  rt::wa::set_focus(producto, "codigo");
  Area& compitem = open_shared(env, SaleLine::layout());
  rt::wa::clear_relations(compitem);
  layout::relate<Product>(env.areas, compitem);
  layout::relate<SaleHeader>(env.areas, compitem);

  env.check.check_table = "tm39" + tools::str_0(env.run.seller, 4);
  const View<CheckLine> check = fresh_check_table(env);
  const rt::text::Date today = env.con.clock().now().date;

  const auto log = layout::view<CheckLog>(env.areas);
  // What was written keeps its tags on every way out; when the load itself
  // fails, its own failure is the one reported.
  tools::AtExit index([&env, &check] { index_check_table(env, check.area()); });
  LoadOutcome out;
  {
    // The ticket's lines with their products and headers are read under
    // one lock of each shared bag (nothing in between waits for the
    // operator).
    const rt::wa::LockedReads stretch;
    out = seek_live_line(log.area(), env.run.ticket) ? rebuild_from_log(env, check, log)
                                                     : load_from_sales(env, check, today);
  }
  index.restore();
  if (out.status != LoadStatus::Loaded) return out;

  layout::select<CheckLine>(env.areas);
  check->goto_top();
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
    return {f.kind(), f.what(), false, f.shown()};
  } catch (const std::exception& e) {
    return {LoadStatus::TablesUnavailable, fit(operator_message(e, "Error Al Cargar El Ticket")), false, false};
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
  tools::Trace trace(con, "PRINCI");
  CheckContext check;
  CheckEnv env{con, areas, run, check};
  // Rows 1 to 24 cleared in the standard colour.
  con.dispbox(1, 0, 24, 79, std::string(9, ' '));

  // Every table is closed on every way out, the operator's quit included;
  // the normal ways close them in the open (restore), where a failure is
  // not swallowed.
  tools::AtExit closed([&areas] { close_check(areas); });
  run.check_failure.clear();
  const LoadOutcome loaded = load_ticket(env);
  if (loaded.status != LoadStatus::Loaded) {
    run.check_failure = loaded.message;
    closed.restore();
    if (!loaded.shown) tools::cartel_1(con, loaded.message);
    return;
  }

  // Browse set-up: the scan buffer, the scan and description rows and the
  // ticket line.
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
  try {
    trace.at();
    run_check_browse(env);  // with its own hotkey for the reader's "@"
    salir(env);
  } catch (const std::exception& e) {
    run.check_failure = e.what();
    closed.restore();
    tools::cartel_1(con, fit(operator_message(e, "Error En El Control")));
  }
  closed.restore();  // a table that fails to close is reported as before
}

}  // namespace app

#include "app/completion.h"

#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/completion_output.h"
#include "app/completion_records.h"
#include "app/completion_walk.h"
#include "app/voucher.h"
#include "data/layouts.h"
#include "data/table_view.h"
#include "runtime/text/convert.h"
#include "runtime/text/date.h"
#include "runtime/workarea/orders.h"
#include "tools/config.h"
#include "tools/guards.h"
#include "tools/screens.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"
#include "tools/trace.h"

namespace app {

namespace {

using rt::Value;
using rt::text::Date;
namespace cpl = completion;
using cpl::ReadLine;
using cpl::create_records;
using cpl::open_suite_table;
using cpl::ticket_key;
using layout::TraceRecord;
using TraceView = layout::View<TraceRecord>;

// A field of the view's table left blank, as wide as the table has it.
template <class T>
std::string blank_of_field(const layout::View<T>& v, typename T::Field f) {
  return std::string(static_cast<std::size_t>(v->table().schema().fields[static_cast<std::size_t>(v.index(f))].length), ' ');
}

// The check table's lines in order "cb", with the blank of its DESCRIP.
struct CheckLines {
  std::vector<ReadLine> lines;
  std::string descrip_blank;
};

CheckLines read_check_table(const layout::View<layout::CheckLine>& t) {
  using C = layout::CheckLine;
  CheckLines out;
  out.descrip_blank = blank_of_field(t, C::DESCRIP);
  rt::wa::set_focus(t.area(), "cb");
  for (t->goto_top(); !t->eof(); t->skip()) {
    ReadLine l;
    l.numero = t.number(C::NUMERO);
    l.cb = t.number(C::CB);
    l.traceable = t.text(C::TRAZA) == "S";
    l.fecha_vta = t.get(C::FECHA_VTA).date();
    l.hora_vta = t.text(C::HORA_VTA);
    l.descrip = t.text(C::DESCRIP);
    l.series = t.text(C::SERIES);
    out.lines.push_back(std::move(l));
  }
  return out;
}

// The seller's check table (private to this station): read from the area
// the browse left open, or else opened under the alias "tempo39" with its
// own bag and closed again.  A check table that cannot be read is named to
// the operator (nullopt).
std::optional<CheckLines> check_table_lines(CheckEnv& env) {
  const std::string& alias = layout::CheckLine::layout().name;
  if (env.areas.select(alias) != 0) {
    try {
      // Its relation to the product is the browse's: no line read here
      // needs the product.
      rt::wa::Area& area = env.areas.area(alias);
      rt::wa::clear_relations(area);
      return read_check_table(layout::View<layout::CheckLine>(area));
    } catch (const std::exception&) {
      // Told below, as an open that fails.
    }
  } else {
    const std::string file =
        env.check.check_table.empty() ? "tm39" + tools::str_0(env.run.seller, 4) : env.check.check_table;
    env.areas.select_area(0);
    std::string failed = file + ".dbf";
    try {
      rt::wa::OpenOptions options;
      options.alias = alias;
      if (env.areas.use(file, options)) {
        tools::AtExit close([&env] { env.areas.close_area(); });
        failed = file + ".cdx";
        rt::wa::set_index(env.areas.current(), file);
        return read_check_table(layout::View<layout::CheckLine>(env.areas.current()));
      }
    } catch (const std::exception&) {
    }
    if (env.areas.is_open(env.areas.current_number())) env.areas.close_area();
    cpl::tell_failure(env.con, "No Se Puede Abrir El Archivo", failed);
    return std::nullopt;
  }
  cpl::tell_failure(env.con, "No Se Puede Abrir El Archivo", env.check.check_table + ".dbf");
  return std::nullopt;
}

// The ticket's traceability records from the current position of "traza"
// (sought on the ticket's key) on, in "compte" order.
struct TicketRecord {
  rt::wa::RecNo recno = 0;
  cpl::RecordInfo info;
};

cpl::RecordInfo record_info(const TraceView& tz) {
  cpl::RecordInfo info;
  info.cod_bar = tz.number(TraceRecord::COD_BAR);
  info.serie = tz.text(TraceRecord::SERIE);
  info.arch_aso = tz.text(TraceRecord::ARCH_ASO);
  info.holds_data = !rt::text::trim(info.serie).empty() || !rt::text::trim(tz.text(TraceRecord::LOTE)).empty() ||
                    !rt::text::trim(tz.text(TraceRecord::COD_TRAZA)).empty() ||
                    !tz.get(TraceRecord::VENC).date().empty();
  return info;
}

std::vector<TicketRecord> ticket_records(const TraceView& tz, double numero) {
  std::vector<TicketRecord> out;
  rt::wa::seek(tz.area(), Value(ticket_key(numero)));
  while (!tz->eof() && tz.text(TraceRecord::COMPTE_INT) == "TK" && tz.number(TraceRecord::NUMERO_INT) == numero) {
    if (!tz->deleted()) out.push_back({tz->recno(), record_info(tz)});  // a deleted record keeps no unit
    tz->skip();
  }
  return out;
}

// Document and affiliate number recorded for the ticket; blank when there
// is none (or the table cannot be read).
std::pair<std::string, std::string> patient_ids(CheckEnv& env, double numero) {
  std::pair<std::string, std::string> ids;
  if (!open_suite_table(env, layout::datoafi(), "compte")) return ids;
  using layout::Affiliation;
  const layout::View<Affiliation> a(env.areas.current());
  if (rt::wa::seek(a.area(), Value(ticket_key(numero)))) {
    ids.first = a.text(Affiliation::DOCUMENTO);
    ids.second = a.text(Affiliation::NROAFIL);
  }
  env.areas.close_area();
  return ids;
}

std::string with_separators_spelled(std::string_view code) {
  std::string out;
  for (char c : code) {
    if (c == '@') out += "<GS>";
    else out += c;
  }
  return out;
}

void fill_record(const TraceView& tz, const cpl::SlotFields& slot) {
  tz.put_fields({{TraceRecord::SERIE, Value(slot.serial)},
                 {TraceRecord::LOTE, Value(slot.lot)},
                 {TraceRecord::VENC, Value(rt::text::stod(slot.expiry).value_or(Date{}))},
                 {TraceRecord::COD_TRAZA, Value(with_separators_spelled(slot.code))},
                 {TraceRecord::ARCH_ASO, Value("?")}});
}

void close_everything(CheckEnv& env) {
  env.areas.commit_all();
  env.areas.close_all();
  env.areas.select_area(1);
}

// The captured units of every product, from all its check lines.
struct ProductUnits {
  std::map<double, std::vector<cpl::Unit>> units;
  std::map<double, std::string> first_descrip;
  std::vector<double> products;  // in the order of their first line
};

ProductUnits units_of_lines(const std::vector<ReadLine>& lines) {
  ProductUnits p;
  for (const ReadLine& l : lines) {
    p.first_descrip.emplace(l.cb, l.descrip);
    if (!p.units.count(l.cb)) p.products.push_back(l.cb);
    for (auto& slot : cpl::split_slots(l.series)) p.units[l.cb].push_back({slot, l.descrip});
  }
  return p;
}

// The ticket's records in "traza"; a traceability-only run whose ticket has
// none yet makes them first.
std::vector<TicketRecord> records_of_ticket(CheckEnv& env, const TraceView& tz, const std::vector<ReadLine>& lines,
                                            double numero) {
  std::vector<TicketRecord> records = ticket_records(tz, numero);
  if (env.run.trace_only && records.empty()) {
    create_records(env, lines, numero);
    layout::select<TraceRecord>(env.areas);
    records = ticket_records(tz, numero);
  }
  return records;
}

// The voucher's header: the first record's internal number and voucher, or
// blanks when the ticket has no record.
voucher::Builder start_voucher(CheckEnv& env, const TraceView& tz, const std::vector<TicketRecord>& records,
                               voucher::Mode mode, const rt::os::WallTime& now) {
  double numero_int = 0;
  std::string ticompte = blank_of_field(tz, TraceRecord::TICOMPTE), nucompte = blank_of_field(tz, TraceRecord::NUCOMPTE);
  if (!records.empty()) {
    tz->go(records.front().recno);
    numero_int = tz.number(TraceRecord::NUMERO_INT);
    ticompte = tz.text(TraceRecord::TICOMPTE);
    nucompte = tz.text(TraceRecord::NUCOMPTE);
  }
  return voucher::Builder(mode, env.run.labels, numero_int, now.date, rt::text::time_of_day(now.seconds_since_midnight),
                          ticompte, nucompte);
}

struct WalkResult {
  std::size_t recorded_now = 0;          // units written by this completion
  std::vector<cpl::UnitRef> displaced;   // units whose record was taken meanwhile
};

// The walk: every record written under its lock, each filled unit added to
// the voucher and the comptes texts.  A record that another station filled
// or marked since it was read is left alone; its unit is looked for again
// afterwards.
WalkResult fill_records(CheckEnv& env, const TraceView& tz, const std::vector<TicketRecord>& records,
                        const cpl::WalkPlan& plan, const ProductUnits& p, const std::string& descrip_blank,
                        voucher::Builder& text) {
  WalkResult r;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const cpl::RecordPlan& planned = plan.records[i];
    if (planned.action != cpl::Action::Fill) continue;
    tz->go(records[i].recno);
    tools::rbloqueo2(env.con, env.areas);  // the record read again under the lock
    const double cb = records[i].info.cod_bar;
    const cpl::RecordInfo as_now = record_info(tz);
    if (tz->deleted() || as_now.cod_bar != cb || !cpl::writable(as_now, env.run.cancel_voucher)) {
      tz->unlock();
      if (planned.unit >= 0) r.displaced.push_back({cb, static_cast<std::size_t>(planned.unit)});
      continue;
    }
    cpl::SlotFields slot;
    std::string descrip = p.first_descrip.count(cb) ? p.first_descrip.at(cb) : descrip_blank;
    if (planned.unit >= 0) {
      const cpl::Unit& u = p.units.at(cb).at(static_cast<std::size_t>(planned.unit));
      slot = cpl::slot_fields(u.slot);
      descrip = u.descrip;
      if (cpl::carries_unit(u.slot)) ++r.recorded_now;
    }
    fill_record(tz, slot);
    tz->commit();
    tz->unlock();
    text.add_unit(descrip, tz.text(TraceRecord::GTIN), slot.serial, slot.lot, slot.expiry);
  }
  return r;
}

// Units that found no record: the plan's, and those whose record was taken
// meanwhile unless the other station recorded the same unit.
std::vector<cpl::PendingUnit> units_without_record(const TraceView& tz, double numero, const cpl::WalkPlan& plan,
                                                   const std::vector<cpl::UnitRef>& displaced,
                                                   const ProductUnits& p) {
  std::vector<cpl::PendingUnit> pending;
  const auto keep = [&](const cpl::UnitRef& r) {
    pending.push_back({tools::str_0(r.cod_bar, 14), cpl::slot_fields(p.units.at(r.cod_bar).at(r.unit).slot)});
  };
  for (const auto& r : plan.unrecorded) keep(r);
  if (displaced.empty()) return pending;
  std::set<std::pair<double, std::string>> now_recorded;
  for (const auto& r : ticket_records(tz, numero)) now_recorded.emplace(r.info.cod_bar, rt::text::trim(r.info.serie));
  for (const auto& r : displaced) {
    const cpl::Unit& u = p.units.at(r.cod_bar).at(r.unit);
    const std::string serial = rt::text::trim(cpl::slot_fields(u.slot).serial);
    if (!cpl::carries_unit(u.slot) || (!serial.empty() && now_recorded.count({r.cod_bar, serial}))) continue;
    keep(r);
  }
  return pending;
}

// The operator told how many units found no record and whether they were
// kept in the pending file.
void tell_pending(rt::con::Console& con, std::size_t count, bool kept) {
  tools::cartel_3(con, std::to_string(count) + " Unidad(es) Sin Registro De Traza",
                  kept ? std::string("Guardada(s) En ") + cpl::kPendingFile
                       : std::string("No Se Pudo Grabar ") + cpl::kPendingFile + "!!!",
                  kept ? "Presione Una Tecla Para Continuar" : "Avise Al Encargado. Presione Una Tecla");
}

// Everything between opening and closing; returns when done or when a table
// it needs cannot be opened.
void complete(CheckEnv& env, const CheckLines& check) {
  const std::vector<ReadLine>& lines = check.lines;
  const std::string& descrip_blank = check.descrip_blank;
  // Nothing was loaded: there is no unit and no ticket to look up.
  if (lines.empty()) return;
  const double numero = lines.front().numero;

  if (!open_suite_table(env, layout::traza(), "compte")) return;
  const TraceView tz(env.areas.current());
  const std::vector<TicketRecord> records = records_of_ticket(env, tz, lines, numero);

  // Configuration, comptes file name and the voucher's header.
  const voucher::Mode mode = voucher::parse_mode(rt::text::upper(
      env.run.voucher_setting ? *env.run.voucher_setting : tools::get_ini(env.areas, "compte_tz", "0", "NN")));
  const auto ids = patient_ids(env, numero);
  layout::select<TraceRecord>(env.areas);
  const rt::os::WallTime now = env.con.clock().now();
  voucher::Builder text = start_voucher(env, tz, records, mode, now);

  const ProductUnits units = units_of_lines(lines);
  const auto units_of = [&](double cb) {
    return units.units.count(cb) ? units.units.at(cb) : std::vector<cpl::Unit>{};
  };
  std::vector<cpl::RecordInfo> infos;
  for (const auto& r : records) infos.push_back(r.info);
  const cpl::WalkPlan plan = cpl::plan_walk(infos, units.products, units_of, env.run.cancel_voucher);
  const WalkResult walked = fill_records(env, tz, records, plan, units, descrip_blank, text);
  const std::vector<cpl::PendingUnit> pending = units_without_record(tz, numero, plan, walked.displaced, units);
  const bool kept = pending.empty() ||
                    cpl::keep_pending(env.areas.env(),
                                      cpl::pending_lines(now, env.run.machine, env.run.ticket, env.run.seller, pending));

  // Outputs only for units recorded now: calling a completed ticket up
  // again prints nothing and leaves its files as they are.
  if (walked.recorded_now > 0) {
    cpl::Output out;
    out.mode = mode;
    out.comptes_path = voucher::comptes_path(now.date, ids.first, ids.second);
    out.base_name = voucher::base_name(env.run.machine, env.run.ticket);
    out.voucher = text.voucher();
    out.comptes = text.comptes();
    out.rob_fis = env.run.rob_fis;
    out.drives = env.run.drives;
    cpl::hand_off(env.con, env.areas.env(), out);
  }
  if (!pending.empty()) tell_pending(env.con, pending.size(), kept);
}

}  // namespace

void salir(CheckEnv& env) {
  tools::Trace trace(env.con, "SALIR");
  // The completion's look-ups are read as one batch (each shared bag's
  // counter looked at once); its writes go under their locks as always.
  const rt::wa::ReadBatch batch;
  // The check table the browse leaves open is read before everything is
  // closed: the completion needs no second open of it.
  std::optional<CheckLines> check;
  if (env.run.traceability) check = check_table_lines(env);
  close_everything(env);
  if (check) complete(env, *check);
  close_everything(env);
}

}  // namespace app

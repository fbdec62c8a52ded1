#include "app/completion.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/completion_output.h"
#include "app/completion_walk.h"
#include "app/voucher.h"
#include "data/layouts.h"
#include "runtime/text/convert.h"
#include "runtime/text/date.h"
#include "runtime/workarea/orders.h"
#include "tools/config.h"
#include "tools/screens.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"
#include "tools/trace.h"

namespace app {

namespace {

using rt::Value;
using rt::text::Date;
using rt::wa::Area;
namespace cpl = completion;

constexpr const char* kEventName = "DISPENSACION DEL PRODUCTO AL PACIENTE";
constexpr double kDispensingEvent = 111;

// One line of the check table, as the completion reads it.
struct CheckLine {
  double numero = 0;
  double cb = 0;
  bool traceable = false;
  Date fecha_vta;
  std::string hora_vta;
  std::string descrip;
  std::string series;
};

std::string ticket_key(double numero) { return "TK" + rt::text::str(numero, 6); }

// Opens a table of the suite in the lowest free work area with its order
// bags, checked against its layout (a missing table, field or bag is named
// to the operator), and makes `tag` active when given.
bool open_suite_table(CheckEnv& env, const layout::TableSpec& spec, const std::string& tag = "") {
  env.areas.select_area(0);
  if (!tools::open_checked(env.con, env.areas, spec)) return false;
  if (!tag.empty()) {
    rt::wa::set_focus(env.areas.current(), tag);
    env.areas.current().goto_top();
  }
  return true;
}

// Opens the seller's check table (private to this station) under the alias
// "tempo39" with its own bag, order "cb".  A check table that cannot be
// opened is named to the operator.
bool open_check_table(CheckEnv& env, const std::string& file) {
  env.areas.select_area(0);
  std::string failed = file + ".dbf";
  try {
    rt::wa::OpenOptions options;
    options.alias = "tempo39";
    if (env.areas.use(file, options)) {
      failed = file + ".cdx";
      rt::wa::set_index(env.areas.current(), file);
      rt::wa::set_focus(env.areas.current(), "cb");
      env.areas.current().goto_top();
      return true;
    }
  } catch (const std::exception&) {
  }
  if (env.areas.is_open(env.areas.current_number())) env.areas.close_area();
  cpl::tell_failure(env.con, "No Se Puede Abrir El Archivo", failed);
  return false;
}

std::vector<CheckLine> read_check_table(Area& t) {
  std::vector<CheckLine> lines;
  for (t.goto_top(); !t.eof(); t.skip()) {
    CheckLine l;
    l.numero = t.get("NUMERO").number();
    l.cb = t.get("CB").number();
    l.traceable = t.get("TRAZA").text() == "S";
    l.fecha_vta = t.get("FECHA_VTA").date();
    l.hora_vta = t.get("HORA_VTA").text();
    l.descrip = t.get("DESCRIP").text();
    l.series = t.get("SERIES").text();
    lines.push_back(std::move(l));
  }
  return lines;
}

std::string blank_of_field(Area& a, const std::string& name) {
  for (const auto& f : a.table().schema().fields)
    if (rt::text::upper(f.name) == name) return std::string(f.length, ' ');
  return {};
}

// The ticket's traceability records from the current position of "traza"
// (sought on the ticket's key) on, in "compte" order.
struct TicketRecord {
  rt::wa::RecNo recno = 0;
  cpl::RecordInfo info;
};

cpl::RecordInfo record_info(Area& tz) {
  cpl::RecordInfo info;
  info.cod_bar = tz.get("COD_BAR").number();
  info.serie = tz.get("SERIE").text();
  info.arch_aso = tz.get("ARCH_ASO").text();
  info.holds_data = !rt::text::trim(info.serie).empty() || !rt::text::trim(tz.get("LOTE").text()).empty() ||
                    !rt::text::trim(tz.get("COD_TRAZA").text()).empty() || !tz.get("VENC").date().empty();
  return info;
}

std::vector<TicketRecord> ticket_records(Area& tz, double numero) {
  std::vector<TicketRecord> out;
  rt::wa::seek(tz, Value(ticket_key(numero)));
  while (!tz.eof() && tz.get("COMPTE_INT").text() == "TK" && tz.get("NUMERO_INT").number() == numero) {
    if (!tz.deleted()) out.push_back({tz.recno(), record_info(tz)});  // a deleted record keeps no unit
    tz.skip();
  }
  return out;
}

// Appends a whole record (the append locks it), trying again while another
// station holds the append lock (traffic box from the fifth try, Esc gives
// up).
bool append_record(CheckEnv& env, Area& tz, const std::vector<std::pair<std::string, Value>>& fields) {
  return tools::append_netuse(env.con, tz, fields);
}

// A traceability-only run whose ticket has no record yet: one record per
// captured unit of every traceable line (one for a line without any), with
// the sale's data, the fiscal voucher number and the pharmacy's identity.
void create_records(CheckEnv& env, const std::vector<CheckLine>& lines, double numero) {
  double pto_vta = 0, nu_fiscal = 0;
  if (open_suite_table(env, layout::compenca())) {
    Area& h = env.areas.current();
    if (rt::wa::seek(h, Value(ticket_key(numero)))) {
      pto_vta = h.get("PTO_VTA").number();
      nu_fiscal = h.get("NU_FISCAL").number();
    }
    env.areas.close_area();
  }
  const std::string nucompte = tools::str_0(pto_vta, 4) + "-" + tools::str_0(nu_fiscal, 8);
  std::string gln, cuit;
  if (open_suite_table(env, layout::datosfar())) {
    Area& f = env.areas.current();
    f.goto_top();
    gln = f.get("GLN").text();
    cuit = f.get("CUIT").text();
    env.areas.close_area();
  }

  env.areas.select_area("traza");
  Area& tz = env.areas.current();
  for (const CheckLine& l : lines) {
    if (!l.traceable) continue;
    const std::size_t units = std::max<std::size_t>(1, cpl::split_slots(l.series).size());
    for (std::size_t u = 0; u < units; ++u) {
      // One write: no program ever meets the record blank or half made.
      if (!append_record(env, tz,
                         {{"FECHA", Value(l.fecha_vta)},
                          {"HORA", Value(l.hora_vta)},
                          {"COMPTE_INT", Value("TK")},
                          {"NUMERO_INT", Value(l.numero)},
                          {"COD_PROV", Value("")},
                          {"TICOMPTE", Value("TK")},
                          {"NUCOMPTE", Value(nucompte)},
                          {"FEC_COMPTE", Value(l.fecha_vta)},
                          {"EVENTO", Value(kDispensingEvent)},
                          {"NOM_EVENTO", Value(kEventName)},
                          {"GLN_FAR", Value(gln)},
                          {"CUIT_FAR", Value(cuit)},
                          {"GLN_PROV", Value("")},
                          {"CUIT_PROV", Value("")},
                          {"ID_CONCEPT", Value(-1)},
                          {"COD_BAR", Value(l.cb)},
                          {"GTIN", Value(tools::str_0(l.cb, 14))},
                          {"ID_OS", Value(0)},
                          {"NUM_AFI", Value("")}})) {
        cpl::tell_failure(env.con, "No Se Pudo Agregar Un Registro Al Archivo", "traza.dbf");
        return;
      }
      tz.unlock();
    }
  }
  tz.commit();
}

// Document and affiliate number recorded for the ticket; blank when there
// is none (or the table cannot be read).
std::pair<std::string, std::string> patient_ids(CheckEnv& env, double numero) {
  std::pair<std::string, std::string> ids;
  if (!open_suite_table(env, layout::datoafi(), "compte")) return ids;
  Area& a = env.areas.current();
  if (rt::wa::seek(a, Value(ticket_key(numero)))) {
    ids.first = a.get("DOCUMENTO").text();
    ids.second = a.get("NROAFIL").text();
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

void fill_record(Area& tz, const cpl::SlotFields& slot) {
  tz.put_fields({{"SERIE", Value(slot.serial)},
                 {"LOTE", Value(slot.lot)},
                 {"VENC", Value(rt::text::stod(slot.expiry).value_or(Date{}))},
                 {"COD_TRAZA", Value(with_separators_spelled(slot.code))},
                 {"ARCH_ASO", Value("?")}});
}

void close_everything(CheckEnv& env) {
  env.areas.commit_all();
  env.areas.close_all();
  env.areas.select_area(1);
}

// Everything between opening and closing; returns when done or when a table
// it needs cannot be opened.
void complete(CheckEnv& env) {
  const std::string check_file =
      env.check.check_table.empty() ? "tm39" + tools::str_0(env.run.seller, 4) : env.check.check_table;
  if (!open_check_table(env, check_file)) return;
  Area& t = env.areas.current();
  const std::vector<CheckLine> lines = read_check_table(t);
  const std::string descrip_blank = blank_of_field(t, "DESCRIP");
  // Nothing was loaded: there is no unit and no ticket to look up.
  if (lines.empty()) return;
  const double numero = lines.front().numero;

  if (!open_suite_table(env, layout::traza(), "compte")) return;
  Area& tz = env.areas.current();
  std::vector<TicketRecord> records = ticket_records(tz, numero);
  if (env.run.trace_only && records.empty()) {
    create_records(env, lines, numero);
    env.areas.select_area("traza");
    records = ticket_records(tz, numero);
  }

  // Configuration, comptes file name and the voucher's header.
  const voucher::Mode mode = voucher::parse_mode(rt::text::upper(tools::get_ini(env.areas, "compte_tz", "0", "NN")));
  const auto ids = patient_ids(env, numero);
  env.areas.select_area("traza");
  const rt::os::WallTime now = env.con.clock().now();
  const std::string comptes_path = voucher::comptes_path(now.date, ids.first, ids.second);
  double numero_int = 0;
  std::string ticompte = blank_of_field(tz, "TICOMPTE"), nucompte = blank_of_field(tz, "NUCOMPTE");
  if (!records.empty()) {
    tz.go(records.front().recno);
    numero_int = tz.get("NUMERO_INT").number();
    ticompte = tz.get("TICOMPTE").text();
    nucompte = tz.get("NUCOMPTE").text();
  }
  voucher::Builder text(mode, env.run.labels, numero_int, now.date, rt::text::time_of_day(now.seconds_since_midnight),
                        ticompte, nucompte);

  // The captured units of every product, from all its check lines.
  std::map<double, std::vector<cpl::Unit>> units;
  std::map<double, std::string> first_descrip;
  std::vector<double> products;
  for (const CheckLine& l : lines) {
    first_descrip.emplace(l.cb, l.descrip);
    if (!units.count(l.cb)) products.push_back(l.cb);
    for (auto& slot : cpl::split_slots(l.series)) units[l.cb].push_back({slot, l.descrip});
  }
  const auto units_of = [&](double cb) { return units.count(cb) ? units.at(cb) : std::vector<cpl::Unit>{}; };
  std::vector<cpl::RecordInfo> infos;
  for (const auto& r : records) infos.push_back(r.info);
  const cpl::WalkPlan plan = cpl::plan_walk(infos, products, units_of, env.run.cancel_voucher);

  // The walk: every record written under its lock, each filled unit added
  // to the voucher and the comptes texts.  A record that another station
  // filled or marked since it was read is left alone; its unit is looked
  // for again below.
  std::size_t recorded_now = 0;
  std::vector<cpl::UnitRef> displaced;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const cpl::RecordPlan& p = plan.records[i];
    if (p.action != cpl::Action::Fill) continue;
    tz.go(records[i].recno);
    tools::rbloqueo2(env.con, env.areas);
    tz.refresh();
    const double cb = records[i].info.cod_bar;
    const cpl::RecordInfo as_now = record_info(tz);
    if (tz.deleted() || as_now.cod_bar != cb || !cpl::writable(as_now, env.run.cancel_voucher)) {
      tz.unlock();
      if (p.unit >= 0) displaced.push_back({cb, static_cast<std::size_t>(p.unit)});
      continue;
    }
    cpl::SlotFields slot;
    std::string descrip = first_descrip.count(cb) ? first_descrip.at(cb) : descrip_blank;
    if (p.unit >= 0) {
      const cpl::Unit& u = units.at(cb).at(static_cast<std::size_t>(p.unit));
      slot = cpl::slot_fields(u.slot);
      descrip = u.descrip;
      if (cpl::carries_unit(u.slot)) ++recorded_now;
    }
    fill_record(tz, slot);
    tz.commit();
    tz.unlock();
    text.add_unit(descrip, tz.get("GTIN").text(), slot.serial, slot.lot, slot.expiry);
  }

  // Units that found no record: the plan's, and those whose record was
  // taken meanwhile unless the other station recorded the same unit.
  std::vector<cpl::PendingUnit> pending;
  const auto keep = [&](const cpl::UnitRef& r) {
    pending.push_back({tools::str_0(r.cod_bar, 14), cpl::slot_fields(units.at(r.cod_bar).at(r.unit).slot)});
  };
  for (const auto& r : plan.unrecorded) keep(r);
  if (!displaced.empty()) {
    std::set<std::pair<double, std::string>> now_recorded;
    for (const auto& r : ticket_records(tz, numero))
      now_recorded.emplace(r.info.cod_bar, rt::text::trim(r.info.serie));
    for (const auto& r : displaced) {
      const cpl::Unit& u = units.at(r.cod_bar).at(r.unit);
      const std::string serial = rt::text::trim(cpl::slot_fields(u.slot).serial);
      if (!cpl::carries_unit(u.slot) || (!serial.empty() && now_recorded.count({r.cod_bar, serial}))) continue;
      keep(r);
    }
  }
  const bool kept = pending.empty() ||
                    cpl::keep_pending(cpl::pending_lines(now, env.run.machine, env.run.ticket, env.run.seller, pending));

  // Outputs only for units recorded now: calling a completed ticket up
  // again prints nothing and leaves its files as they are.
  if (recorded_now > 0) {
    cpl::Output out;
    out.mode = mode;
    out.comptes_path = comptes_path;
    out.base_name = voucher::base_name(env.run.machine, env.run.ticket);
    out.voucher = text.voucher();
    out.comptes = text.comptes();
    cpl::hand_off(env.con, out);
  }
  if (!pending.empty())
    tools::cartel_3(env.con, std::to_string(pending.size()) + " Unidad(es) Sin Registro De Traza",
                    kept ? std::string("Guardada(s) En ") + cpl::kPendingFile
                         : std::string("No Se Pudo Grabar ") + cpl::kPendingFile + "!!!",
                    kept ? "Presione Una Tecla Para Continuar" : "Avise Al Encargado. Presione Una Tecla");
}

}  // namespace

void salir(CheckEnv& env) {
  tools::Trace trace("SALIR");
  close_everything(env);
  if (env.run.traceability) complete(env);
  close_everything(env);
}

}  // namespace app

#include "app/completion.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
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
    out.push_back({tz.recno(), record_info(tz)});
    tz.skip();
  }
  return out;
}

// Appends a blank record (the append locks it), trying again while another
// station holds the append lock (traffic box from the fifth try, Esc gives
// up).
bool append_record(CheckEnv& env, Area& tz) { return tools::append_netuse(env.con, tz); }

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
      if (!append_record(env, tz)) {
        cpl::tell_failure(env.con, "No Se Pudo Agregar Un Registro Al Archivo", "traza.dbf");
        return;
      }
      tz.put("FECHA", Value(l.fecha_vta));
      tz.put("HORA", Value(l.hora_vta));
      tz.put("COMPTE_INT", Value("TK"));
      tz.put("NUMERO_INT", Value(l.numero));
      tz.put("COD_PROV", Value(""));
      tz.put("TICOMPTE", Value("TK"));
      tz.put("NUCOMPTE", Value(nucompte));
      tz.put("FEC_COMPTE", Value(l.fecha_vta));
      tz.put("EVENTO", Value(kDispensingEvent));
      tz.put("NOM_EVENTO", Value(kEventName));
      tz.put("GLN_FAR", Value(gln));
      tz.put("CUIT_FAR", Value(cuit));
      tz.put("GLN_PROV", Value(""));
      tz.put("CUIT_PROV", Value(""));
      tz.put("ID_CONCEPT", Value(-1));
      tz.put("COD_BAR", Value(l.cb));
      tz.put("GTIN", Value(tools::str_0(l.cb, 14)));
      tz.put("ID_OS", Value(0));
      tz.put("NUM_AFI", Value(""));
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
  tz.put("SERIE", Value(slot.serial));
  tz.put("LOTE", Value(slot.lot));
  tz.put("VENC", Value(rt::text::stod(slot.expiry).value_or(Date{})));
  tz.put("COD_TRAZA", Value(with_separators_spelled(slot.code)));
  tz.put("ARCH_ASO", Value("?"));
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
  for (const CheckLine& l : lines) {
    first_descrip.emplace(l.cb, l.descrip);
    for (auto& slot : cpl::split_slots(l.series)) units[l.cb].push_back({slot, l.descrip});
  }
  std::vector<cpl::RecordInfo> infos;
  for (const auto& r : records) infos.push_back(r.info);
  const cpl::WalkPlan plan = cpl::plan_walk(
      infos, [&](double cb) { return units.count(cb) ? units.at(cb) : std::vector<cpl::Unit>{}; },
      env.run.cancel_voucher);

  // The walk: every record written under its lock, each filled unit added
  // to the voucher and the comptes texts.
  std::size_t processed = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const cpl::RecordPlan& p = plan.records[i];
    if (p.action == cpl::Action::Skip) continue;
    ++processed;
    if (p.action != cpl::Action::Fill) continue;
    tz.go(records[i].recno);
    tools::rbloqueo2(env.con, env.areas);
    tz.refresh();
    // Another station may have marked it while we waited for the lock.
    if (!cpl::writable_mark(tz.get("ARCH_ASO").text(), env.run.cancel_voucher)) {
      tz.unlock();
      continue;
    }
    const double cb = tz.get("COD_BAR").number();
    cpl::SlotFields slot;
    std::string descrip = first_descrip.count(cb) ? first_descrip.at(cb) : descrip_blank;
    if (p.unit >= 0) {
      const cpl::Unit& u = units.at(cb).at(static_cast<std::size_t>(p.unit));
      slot = cpl::slot_fields(u.slot);
      descrip = u.descrip;
    }
    fill_record(tz, slot);
    tz.commit();
    tz.unlock();
    text.add_unit(descrip, tz.get("GTIN").text(), slot.serial, slot.lot, slot.expiry);
  }

  if (processed > 0) {
    cpl::Output out;
    out.mode = mode;
    out.comptes_path = comptes_path;
    out.base_name = voucher::base_name(env.run.machine, env.run.ticket);
    out.voucher = text.voucher();
    out.comptes = text.comptes();
    cpl::hand_off(env.con, out);
  }
  if (plan.unrecorded > 0)
    tools::cartel_3(env.con, "Hay " + std::to_string(plan.unrecorded) + " Unidad(es) Capturada(s)",
                    "Sin Registro En El Archivo De Traza", "Presione Una Tecla Para Continuar");
}

}  // namespace

void salir(CheckEnv& env) {
  tools::Trace trace("SALIR");
  close_everything(env);
  if (env.run.traceability) complete(env);
  close_everything(env);
}

}  // namespace app

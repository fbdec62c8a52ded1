#include "app/completion_records.h"

#include <algorithm>

#include "app/completion_output.h"
#include "app/completion_walk.h"
#include "data/table_view.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/screens.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"

namespace app::completion {

namespace {

using rt::Value;
using layout::TraceRecord;
using TraceView = layout::View<TraceRecord>;

constexpr const char* kEventName = "DISPENSACION DEL PRODUCTO AL PACIENTE";
constexpr double kDispensingEvent = 111;

}  // namespace

std::string ticket_key(double numero) { return "TK" + rt::text::str(numero, 6); }

bool open_suite_table(CheckEnv& env, const layout::TableLayout& spec, const std::string& tag) {
  env.areas.select_area(0);
  if (!tools::open_checked(env.con, env.areas, spec)) return false;
  if (!tag.empty()) {
    rt::wa::set_focus(env.areas.current(), tag);
    env.areas.current().goto_top();
  }
  return true;
}

void create_records(CheckEnv& env, const std::vector<ReadLine>& lines, double numero) {
  double pto_vta = 0, nu_fiscal = 0;
  if (open_suite_table(env, layout::compenca())) {
    using layout::SaleHeader;
    const layout::View<SaleHeader> h(env.areas.current());
    if (rt::wa::seek(h.area(), Value(ticket_key(numero)))) {
      pto_vta = h.number(SaleHeader::PTO_VTA);
      nu_fiscal = h.number(SaleHeader::NU_FISCAL);
    }
    env.areas.close_area();
  }
  const std::string nucompte = tools::str_0(pto_vta, 4) + "-" + tools::str_0(nu_fiscal, 8);
  std::string gln, cuit;
  if (open_suite_table(env, layout::datosfar())) {
    using layout::Pharmacy;
    const layout::View<Pharmacy> f(env.areas.current());
    f->goto_top();
    gln = f.text(Pharmacy::GLN);
    cuit = f.text(Pharmacy::CUIT);
    env.areas.close_area();
  }

  // Each append locks the record and tries again while another station
  // holds the append lock (traffic box from the fifth try, Esc gives up).
  const TraceView tz = layout::select<TraceRecord>(env.areas);
  for (const ReadLine& l : lines) {
    if (!l.traceable) continue;
    const std::size_t units = std::max<std::size_t>(1, split_slots(l.series).size());
    for (std::size_t u = 0; u < units; ++u) {
      // One write: no program ever meets the record blank or half made.
      if (!tools::append_netuse(env.con, tz,
                                {{TraceRecord::FECHA, Value(l.fecha_vta)},
                                 {TraceRecord::HORA, Value(l.hora_vta)},
                                 {TraceRecord::COMPTE_INT, Value("TK")},
                                 {TraceRecord::NUMERO_INT, Value(l.numero)},
                                 {TraceRecord::COD_PROV, Value("")},
                                 {TraceRecord::TICOMPTE, Value("TK")},
                                 {TraceRecord::NUCOMPTE, Value(nucompte)},
                                 {TraceRecord::FEC_COMPTE, Value(l.fecha_vta)},
                                 {TraceRecord::EVENTO, Value(kDispensingEvent)},
                                 {TraceRecord::NOM_EVENTO, Value(kEventName)},
                                 {TraceRecord::GLN_FAR, Value(gln)},
                                 {TraceRecord::CUIT_FAR, Value(cuit)},
                                 {TraceRecord::GLN_PROV, Value("")},
                                 {TraceRecord::CUIT_PROV, Value("")},
                                 {TraceRecord::ID_CONCEPT, Value(-1)},
                                 {TraceRecord::COD_BAR, Value(l.cb)},
                                 {TraceRecord::GTIN, Value(tools::str_0(l.cb, 14))},
                                 {TraceRecord::ID_OS, Value(0)},
                                 {TraceRecord::NUM_AFI, Value("")}})) {
        tell_failure(env.con, "No Se Pudo Agregar Un Registro Al Archivo",
                          std::string(TraceRecord::layout().name) + ".dbf");
        return;
      }
      tz->unlock();
    }
  }
  tz->commit();
}

}  // namespace app::completion

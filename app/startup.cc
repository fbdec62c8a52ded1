#include "app/startup.h"

#include <cstdlib>

#include "data/layouts.h"
#include "runtime/console/get.h"
#include "runtime/os/file.h"
#include "runtime/text/convert.h"
#include "runtime/text/date.h"
#include "runtime/workarea/orders.h"
#include "tools/config.h"
#include "tools/screens.h"

namespace app {
namespace {

std::optional<std::string> env_value(const char* name) {
  const char* v = std::getenv(name);
  if (!v) return std::nullopt;
  return std::string(v);
}

std::vector<layout::ActualField> actual_fields(rt::wa::Area& a) {
  std::vector<layout::ActualField> out;
  for (const auto& f : a.table().schema().fields) out.push_back({f.name, f.letter(), f.length, f.decimals});
  return out;
}

// Opens a table of the suite shared in the current area and checks its
// fields; StartupError naming table and field otherwise.
void open_checked(rt::wa::WorkAreas& areas, const layout::TableSpec& spec) {
  bool opened = false;
  try {
    opened = areas.use(spec.name);
  } catch (const std::exception& e) {
    throw StartupError(std::string("cannot open table ") + spec.name + " (" + spec.what + "): " + e.what());
  }
  if (!opened)
    throw StartupError(std::string("table ") + spec.name + " (" + spec.what +
                       ") is in exclusive use by another program; try again when it is free");
  const auto problems = layout::check_fields(spec, actual_fields(areas.current()));
  if (!problems.empty()) {
    areas.close_area();
    std::string msg = problems.front();
    for (std::size_t i = 1; i < problems.size(); ++i) msg += "; " + problems[i];
    throw StartupError(msg);
  }
}

// Entry and command-line modes open the seller table with its two bags, the
// first tag of "acceso21" in control.
void open_sellers(rt::wa::WorkAreas& areas) {
  areas.select_area(0);
  open_checked(areas, layout::acceso2());
  auto& a = areas.current();
  try {
    for (const auto& bag : layout::acceso2().bags) rt::wa::set_index(a, bag.file);
    rt::wa::set_focus(a, 1);
  } catch (const std::exception& e) {
    areas.close_area();
    throw StartupError(std::string("cannot open the order bags of table acceso2 (sellers): ") + e.what());
  }
}

void run_check(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run, const CheckRoutine& check) {
  check(con, areas, run);
  areas.close_all();  // the check leaves every table closed
}

}  // namespace

Environment Environment::from_process() { return {env_value("MAQUINA"), env_value("ARCH_FECHA")}; }

void check_not_available(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run) {
  (void)areas;
  tools::cartel_1(con, "Ticket " + rt::text::trim(rt::text::str(run.ticket, 6)) + ", vendedor " +
                           rt::text::trim(rt::text::str(run.seller, 4)) +
                           ": control del ticket aun no disponible");
}

std::string missing_startup_tables(const std::string& dir) {
  if (!rt::os::is_directory(dir)) return "the data folder " + dir + " does not exist";
  std::string missing;
  const auto need = [&](const std::string& file, const std::string& what) {
    if (!rt::os::find_file_nocase(dir, file)) missing += (missing.empty() ? "" : ", ") + file + " (" + what + ")";
  };
  need("rotulo.dbf", layout::rotulo().what);
  need("acceso2.dbf", layout::acceso2().what);
  for (const auto& bag : layout::acceso2().bags) need(std::string(bag.file) + ".cdx", "order bag of the sellers");
  if (missing.empty()) return "";
  return "the data folder " + dir + " lacks " + missing;
}

RunContext start_up(rt::con::Console& con, rt::wa::WorkAreas& areas, const Environment& env,
                    const StartArguments& args) {
  RunContext run;
  // Console window.
  con.set_mode(25, 80);
  con.set_font_width(11);
  con.set_font_height(22);
  con.set_font_face("Lucida Console");
  con.scroll();
  con.setpos(0, 0);
  con.set_title("Velmor 32");
  con.set_close_button(false);
  con.set_icon("telquin.ico");  // a missing icon leaves the window without one
  con.set_alt_enter(true);
  con.devpos(0, 0);
  con.devout(kFirstHeader, kFirstHeaderColour);

  // Run-time settings: bags are always named explicitly and tables open
  // shared (the work areas' defaults); two-digit years follow the window
  // around the current year instead of a fixed 1925 epoch, which would read
  // 01/01/25 as 1925 from 2025 on; Enter is needed to leave a full field;
  // dates as dd/mm/yy.
  con.set_date_window(rt::text::DateWindow::current());
  con.set_confirm(true);
  con.set_century(false);

  run.machine = machine_number(env.maquina.value_or(""));
  run.date_table = date_table_name(env.arch_fecha.value_or(""));

  // Voucher label lines: the first five records of rotulo.
  areas.select_area(0);
  open_checked(areas, layout::rotulo());
  {
    auto& a = areas.current();
    a.goto_top();
    for (auto& label : run.labels) {
      label = rt::text::trim(a.get("ROTULO").text());
      a.skip();
    }
    areas.close_area();
  }

  run.profile = std::string(9, ' ');
  run.department = rt::text::val(tools::get_ini(areas, "chk_env2_dep", "0", "-1"));
  run.branch = tools::get_num(areas, "SU");
  run.traceability = traceability_on(tools::get_ini(areas, "traza", "0", "N"));

  run.ticket = args.ticket;
  run.seller = args.seller;
  run.trace_only = args.trace_only;
  run.cancel_voucher = args.cancel_voucher;

  con.devpos(0, 0);
  con.devout(kHeader, kHeaderColour);
  return run;
}

void run_station(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run, const StartArguments& args,
                 const CheckRoutine& check) {
  if (args.single_check) {
    open_sellers(areas);
    run.ticket = args.ticket;
    run.seller = args.seller;  // the caller is trusted: no seller validation
    run_check(con, areas, run, check);
    return;
  }
  for (;;) {
    open_sellers(areas);
    con.dispbox(1, 0, 24, 79, std::string(9, ' '));
    run.ticket = 0;
    run.seller = 0;
    rt::con::Form form;
    con.devpos(5, 5);
    con.devout("Ingrese N\xA7 Interno", "gr+/n");
    form.add(con, rt::con::Get::number(5, 24, run.ticket, "@Z 999999"));
    con.devpos(6, 5);
    con.devout("Vendedor:", "gr+/n");
    // The seller is taken as typed until the seller validation is built.
    form.add(con, rt::con::Get::number(6, 15, run.seller, "@Z 9999"));
    if (!form.read(con) || con.lastkey() == key::kEsc) {
      areas.close_all();
      con.quit(0);
    }
    con.reset_colors();
    run_check(con, areas, run, check);
  }
}

}  // namespace app

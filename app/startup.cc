#include "app/startup.h"

#include <algorithm>
#include <cstdlib>

#include "app/permission.h"
#include "data/layouts.h"
#include "data/table_view.h"
#include "runtime/console/get.h"
#include "runtime/os/env.h"
#include "runtime/os/file.h"
#include "runtime/text/convert.h"
#include "runtime/text/date.h"
#include "runtime/workarea/orders.h"
#include "tools/config.h"
#include "tools/screens.h"
#include "tools/shared_open.h"
#include "tools/trace.h"

namespace app {
namespace {

// A setting of the environment, through the OS seam; unset and empty are
// the same to the station.
std::optional<std::string> env_value(rt::os::Env& env, const char* name) {
  std::string v = env.get_env(name);
  if (v.empty()) return std::nullopt;
  return v;
}

// Opens a table of the suite shared in the current area with its order bags
// and checks its fields; StartupError naming table and field otherwise (the
// operator has seen the same in a message box).
void open_checked(rt::con::Console& con, rt::wa::WorkAreas& areas, const layout::TableLayout& spec) {
  std::string problem;
  if (!tools::open_checked(con, areas, spec, "", &problem)) throw StartupError(problem);
}

// Entry and command-line modes open the seller table with its two bags, the
// first tag of "acceso21" in control.
void open_sellers(rt::con::Console& con, rt::wa::WorkAreas& areas) {
  areas.select_area(0);
  // Open at the form and through each check anyway: the closing of every
  // table at the end of a check keeps it open for the next form.
  areas.keep_open(layout::acceso2().name);
  open_checked(con, areas, layout::acceso2());
}

void run_check(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run, const CheckRoutine& check) {
  check(con, areas, run);
  areas.close_all();  // the check leaves every table closed
}

}  // namespace

Environment Environment::from_process(rt::os::Env& env) {
  return {env_value(env, "MAQUINA"),
          env_value(env, "ARCH_FECHA"),
          env_value(env, "REGISTRA").value_or(""),
          env_value(env, "ROB_FIS").value_or(""),
          rt::os::DosPathSettings::from_environment(env),
          rt::table::SiteSettings::from_environment(env)};
}

void check_not_available(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run) {
  (void)areas;
  tools::cartel_1(con, "Ticket " + rt::text::trim(rt::text::str(run.ticket, 6)) + ", vendedor " +
                           rt::text::trim(rt::text::str(run.seller, 4)) +
                           ": control del ticket aun no disponible");
}

std::string missing_startup_tables(const std::string& dir, rt::os::Env& env) {
  if (!env.is_directory(dir)) return "the data folder " + dir + " does not exist";
  std::vector<std::string> files = {std::string(layout::rotulo().name) + ".dbf",
                                    std::string(layout::acceso2().name) + ".dbf"};
  std::vector<std::string> whats = {layout::rotulo().what, layout::acceso2().what};
  for (const auto& bag : layout::acceso2().bags) {
    files.push_back(std::string(bag.file) + ".cdx");
    whats.push_back("order bag of the sellers");
  }
  std::string missing;
  for (const auto& file : rt::os::missing_in_folder(env, dir, files)) {
    const auto i = static_cast<std::size_t>(std::find(files.begin(), files.end(), file) - files.begin());
    missing += (missing.empty() ? "" : ", ") + file + " (" + whats[i] + ")";
  }
  if (missing.empty()) return "";
  return "the data folder " + dir + " lacks " + missing;
}

RunContext start_up(rt::con::Console& con, rt::wa::WorkAreas& areas, const Environment& env,
                    const StartArguments& args) {
  RunContext run;
  // The settings and labels are read as one batch.
  const rt::wa::ReadBatch batch;
  // Console window.
  rt::con::set_up_window(con, "Velmor 32");
  con.set_icon("telquin.ico", areas.env());  // a missing icon leaves the window without one
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
  // An order bag another program holds locked is waited for as NETUSE waits
  // for a table (traffic box from the fifth attempt, Esc gives up).
  areas.set_bag_lock_wait(tools::bag_lock_wait(con));
  areas.set_site_settings(env.tables);

  run.machine = machine_number(env.maquina.value_or(""));
  run.date_table = date_table_name(env.arch_fecha.value_or(""));
  run.registra = tools::registra_on(env.registra);
  run.rob_fis = env.rob_fis;
  run.drives = env.drives;

  // Voucher label lines: the first five records of rotulo.
  areas.select_area(0);
  open_checked(con, areas, layout::rotulo());
  {
    const layout::View<layout::Label> a(areas.current());
    a->goto_top();
    for (auto& label : run.labels) {
      label = rt::text::trim(a.text(layout::Label::ROTULO));
      a->skip();
    }
    areas.close_area();
  }

  run.profile = std::string(9, ' ');
  std::string ini_problem;
  const std::vector<std::string> settings = tools::get_ini(
      areas, {{"chk_env2_dep", "0", "-1"}, {"traza", "0", "N"}, {"compte_tz", "0", "NN"}}, &ini_problem);
  run.department = rt::text::val(settings[0]);
  run.branch = id_number(tools::get_num(areas, "SU"));
  run.traceability = traceability_on(settings[1]);
  run.voucher_setting = settings[2];

  run.ticket = args.ticket;
  run.seller = args.seller;
  run.trace_only = args.trace_only;
  run.cancel_voucher = args.cancel_voucher;

  con.devpos(0, 0);
  con.devout(kHeader, kHeaderColour);
  // The defaults stand in for a configuration that cannot be read; the
  // operator is told once, since traceability is then off.
  if (!ini_problem.empty()) tools::cartel_1(con, kIniUnreadable);
  return run;
}

void run_station(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run, const StartArguments& args,
                 const CheckRoutine& check) {
  tools::Trace trace(con, "MAIN");
  StationHotkeys hotkeys(con, areas, run);
  if (args.single_check) {
    open_sellers(con, areas);
    run.ticket = args.ticket;
    run.seller = args.seller;  // the caller is trusted: no seller validation
    trace.at();
    run_check(con, areas, run, check);
    return;
  }
  for (;;) {
    open_sellers(con, areas);
    con.dispbox(1, 0, 24, 79, std::string(9, ' '));
    // The form edits numbers; the run keeps them as ids.
    double ticket_entry = 0, seller_entry = 0;
    run.ticket = 0;
    run.seller = 0;
    rt::con::Form form;
    con.devpos(5, 5);
    con.devout("Ingrese N\xA7 Interno", "gr+/n");
    form.add(con, rt::con::Get::number(5, 24, ticket_entry, "@Z 999999"));
    con.devpos(6, 5);
    con.devout("Vendedor:", "gr+/n");
    // The seller whose validation succeeded; the form ends only with it
    // (PgDn, PgUp or Ctrl+W in the ticket field leave the form where it was)
    // or with Esc in the form itself.
    std::optional<int> validated;
    form.add(con, rt::con::Get::number(6, 15, seller_entry, "@Z 9999")).valid([&con, &areas, &run, &validated, &seller_entry] {
      run.seller = id_number(seller_entry);
      const bool ok = ok_vende(con, areas, run, run.seller);
      validated = ok ? std::optional<int>(run.seller) : std::nullopt;
      return ok;
    });
    trace.at();
    do {
      if (!form.read(con)) {
        areas.close_all();
        con.quit(0);
      }
      run.seller = id_number(seller_entry);
    } while (validated != run.seller);
    run.ticket = id_number(ticket_entry);
    con.reset_colors();
    trace.at();
    run_check(con, areas, run, check);
  }
}

}  // namespace app

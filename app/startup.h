// Start-up of the station (MAIN): the console window and the run-time
// settings, the run's context (machine, date table, label lines,
// configuration, arguments), the header line, and then either the ticket
// entry loop or the one check of the command line.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/context.h"
#include "app/startup_args.h"
#include "runtime/console/console.h"
#include "runtime/os/dos_path.h"
#include "runtime/table/table.h"
#include "runtime/workarea/workareas.h"

namespace app {

// A table the start-up needs is missing, damaged, lacks a field or is held
// exclusively by someone else.  Nothing has been written anywhere.
class StartupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The station's settings from the environment (absent = not set), read
// once at start-up and handed down through the run's context and the work
// areas; nothing below start-up reads the environment.
struct Environment {
  std::optional<std::string> maquina;     // MAQUINA
  std::optional<std::string> arch_fecha;  // ARCH_FECHA
  std::string registra;                   // REGISTRA
  std::string rob_fis;                    // ROB_FIS
  rt::os::DosPathSettings drives;         // DRIVE_A .. DRIVE_Z, DRIVE_ROOT
  rt::table::SiteSettings tables;         // CHK_LOCK_SCHEME, CHK_SYNC
  // Throws rt::table::TableError naming a CHK_ variable of unknown value.
  static Environment from_process(rt::os::Env& env = rt::os::Env::Default());
};

// The check of one ticket (PRINCI): reads ticket, seller and flags from the
// run's context and leaves every table closed when it returns.
using CheckRoutine = std::function<void(rt::con::Console&, rt::wa::WorkAreas&, RunContext&)>;

// Stands in for the ticket check until it is built: a message box naming the
// ticket and the seller.
void check_not_available(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run);

// The header lines of row 0.
inline constexpr const char* kFirstHeader =
    "                                ABM Productos                                   ";
inline constexpr const char* kFirstHeaderColour = "r/gr*";
inline constexpr const char* kHeader =
    "                    Control de Empaque y Traza de Productos                     ";
inline constexpr const char* kHeaderColour = "w+/bg";
// Shown once at start-up when "ini.dbf" is there but cannot be read.
inline constexpr const char* kIniUnreadable = "Tabla ini No Disponible!!! Se Usan Los Valores Por Omisi\xA2n";

// Start-up steps up to the header line: console settings, run-time
// settings, environment, label lines of `rotulo`, configuration and branch,
// and the arguments.  Every file is found through the areas' Env (the data folder).
// Throws StartupError when `rotulo` cannot be read.
RunContext start_up(rt::con::Console& con, rt::wa::WorkAreas& areas, const Environment& env,
                    const StartArguments& args);

// After start_up: the command-line check (a ticket was given) or the entry
// loop until Esc (which quits through Console::quit).  Throws StartupError
// when the seller table cannot be opened with its bags.
void run_station(rt::con::Console& con, rt::wa::WorkAreas& areas, RunContext& run, const StartArguments& args,
                 const CheckRoutine& check);

// The tables the start-up opens, checked before the console is taken: an
// empty text when they are all there, otherwise what is missing.
std::string missing_startup_tables(const std::string& dir, rt::os::Env& env = rt::os::Env::Default());

}  // namespace app

// chk_env2: the packing-check and traceability station.
//
//   chk_env2 [--data DIR] [--headless] [TICKET [SELLER [TRACE_ONLY [CANCEL_VOUCHER]]]]
//   chk_env2 --make-demo DIR
//
// Works on the data folder (the working directory, or DIR of --data).  With
// --headless the keys come from standard input in the notation of
// app/key_script.h and the final screen is printed on standard output.
#include <cstdio>
#include <exception>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/check.h"
#include "demodata/demo_data.h"
#include "app/key_script.h"
#include "app/startup.h"
#include "runtime/console/headless.h"
#include "runtime/console/display.h"
#include "runtime/os/clock.h"
#include "runtime/os/folder_env.h"
#include "runtime/os/stop_signals.h"
#include "runtime/text/codepage.h"
#include "tools/shared_open.h"

namespace {

constexpr const char* kVersion = "chk_env2 0.1";
constexpr int kExitOk = 0, kExitFailure = 1, kExitUsage = 2;

void print_help(std::FILE* out) {
  std::fprintf(out,
               "usage: chk_env2 [--data DIR] [--headless] [TICKET [SELLER [TRACE_ONLY [CANCEL_VOUCHER]]]]\n"
               "       chk_env2 --make-demo DIR\n"
               "       chk_env2 --help | --version\n\n"
               "Without TICKET the entry form asks for ticket and seller again and again until Esc.\n"
               "With TICKET (and SELLER, which is then required) one check runs and the program ends;\n"
               "any third argument means traceability only, any fourth the cancel voucher.\n\n"
               "  --data DIR       the data folder (default: the working directory)\n"
               "  --headless       no terminal: keys from standard input, the final screen on\n"
               "                   standard output.  Keys: plain characters, and {ENTER} {ESC} {TAB}\n"
               "                   {BS} {UP} {DOWN} {LEFT} {RIGHT} {HOME} {END} {PGUP} {PGDN} {DEL}\n"
               "                   {INS} {F1}..{F10} {CTRL-]} (group separator) {LBRACE}; line ends\n"
               "                   are ignored\n"
               "  --make-demo DIR  write a demo data folder (every table with its order bags)\n"
               "  --help           this text\n"
               "  --version        the program's version\n\n"
               "Environment: MAQUINA (machine number, default 55), ARCH_FECHA (business-date table,\n"
               "default FEC_SYS).  Arguments after the fourth are ignored.  Exit codes: 0 done, 1 the\n"
               "station cannot start or failed, or the check of the command line could not run (the\n"
               "reason on standard error), 2 wrong command line; 129 or 143 after SIGHUP or SIGTERM.\n");
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "chk_env2: %s (see chk_env2 --help)\n", message.c_str());
  return kExitUsage;
}

void print_screen(const rt::con::Console& con) {
  for (int r = 0; r < con.screen().rows(); ++r)
    std::printf("%s\n", rt::text::to_utf8(con.screen().row_text(r)).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string data_dir = ".";
  bool headless = false;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      print_help(stdout);
      return kExitOk;
    }
    if (a == "--version") {
      std::printf("%s\n", kVersion);
      return kExitOk;
    }
    if (a == "--make-demo") {
      if (i + 1 >= args.size()) return usage_error("--make-demo needs a folder");
      try {
        app::make_demo(args[i + 1], rt::os::system_clock().now().date);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "chk_env2: %s\n", e.what());
        return kExitFailure;
      }
      std::printf("demo data written to %s\n", args[i + 1].c_str());
      return kExitOk;
    }
    if (a == "--data") {
      if (i + 1 >= args.size()) return usage_error("--data needs a folder");
      data_dir = args[++i];
    } else if (a == "--headless") {
      headless = true;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return usage_error("unknown option " + a);
    } else {
      positional.push_back(a);
    }
  }
  // A point-of-sale program may pass more; only the first four count.
  if (positional.size() > 4) positional.resize(4);
  const app::StartArguments start = app::parse_start_arguments(positional);
  if (start.single_check && !start.seller_given)
    return usage_error("a ticket was given without a seller; give both, e.g. chk_env2 1234 7");

  if (const std::string missing = app::missing_startup_tables(data_dir); !missing.empty()) {
    std::fprintf(stderr, "chk_env2: %s\n", missing.c_str());
    return kExitFailure;
  }
  // Every file of the run (tables, logs, vouchers named relative, the
  // programs it starts) is found in the data folder through this Env.
  rt::os::FolderEnv data_env(data_dir);

  std::unique_ptr<rt::con::Console> con;
  try {
    if (headless) {
      std::string script((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
      auto backend = std::make_unique<rt::con::HeadlessBackend>();
      for (int code : app::parse_key_script(script)) backend->key(code);
      con = std::make_unique<rt::con::Console>(std::move(backend));
    } else {
      con = std::make_unique<rt::con::Console>(rt::con::make_display({.env = &data_env}));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "chk_env2: %s\n", e.what());
    return headless ? kExitUsage : kExitFailure;
  }

  // The display notes SIGHUP and SIGTERM (on Windows: the console window
  // closed) itself; the headless back end needs the same, so a check in
  // progress always ends in order.
  rt::os::install_stop_signals();
  int status = kExitOk;
  std::string failure;
  rt::wa::WorkAreas areas(data_env);
  app::RunContext run;
  tools::RefusalLog refusals(*con);
  try {
    run = app::start_up(*con, areas, app::Environment::from_process(), start);
    app::run_station(*con, areas, run, start, app::princi);
    // The command line's check that could not run fails the program, so the
    // point-of-sale program that started it learns why.
    if (start.single_check) {
      failure = rt::text::to_utf8(run.check_failure);
      for (const auto& note : refusals.notes())
        if (failure.find(note) == std::string::npos) failure += (failure.empty() ? "" : "; ") + note;
      if (!failure.empty()) status = kExitFailure;
    }
  } catch (const rt::con::QuitRequest& q) {
    status = q.status;
  } catch (const rt::con::ScriptExhausted& e) {
    failure = e.what();  // headless: the keys ran out; the screen shows where
  } catch (const std::exception& e) {
    failure = e.what();
    status = kExitFailure;
  }
  areas.close_all();
  con->shutdown();
  if (headless) print_screen(*con);
  // The font keys change a setting a terminal cannot apply: say what it is.
  if (!headless && (con->font_width() != 11 || con->font_height() != 22))
    for (const auto& kept : con->kept_settings())
      if (kept.rfind("font", 0) == 0) std::fprintf(stderr, "chk_env2: %s\n", kept.c_str());
  if (!failure.empty()) std::fprintf(stderr, "chk_env2: %s\n", failure.c_str());
  return status;
}

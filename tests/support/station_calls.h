// The station's file calls for the three operations a shared network drive
// makes slow, counted through rt::os::CountingEnv on the headless station
// (start-up and run_station, as chk_env2 runs them):
//   start_up  from the start to the entry form waiting for its first key;
//   ticket    the start-up, ticket and seller typed, the ticket loaded to the
//             browse, then Esc (and, when asked, leaving confirmed) back to
//             the entry form;
//   scan      in the browse, a product's barcode and Enter until the screen
//             is updated (the idle refresh included).
// Each operation runs on its own station, so one does not warm the next.
// The station runs on the console's virtual clock, and the operator takes
// a few seconds between the start-up, the login, looking at the browse and
// a scan: what the engine trusts for a moment (a page of records, a bag's
// change counter) is looked at again in each operation, as at a counter.
// The data folder needs the demo's sellers and configuration; `ticket` must
// be a ticket of the folder that the seller may check, `barcode` the reader's
// text of a product of it that needs no traceability capture.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/check.h"
#include "app/key_script.h"
#include "app/startup.h"
#include "runtime/console/headless.h"
#include "runtime/os/counting_env.h"
#include "runtime/os/folder_env.h"

namespace station_calls {

struct Counts {
  rt::os::CallCounts start_up, ticket, scan;
};

struct Scenario {
  std::string dir;      // the data folder
  std::string login;    // keys typed in the entry form: ticket, seller, password
  std::string barcode;  // the reader's text of a line's product
  // When set, told of every call in order (see CountingEnv::set_trace).
  std::function<void(rt::os::Call, const std::string&)> trace;
};

// Esc in the browse of a ticket not fully counted: "leave anyway?" and
// "units left untraced, leave anyway?" answered yes, back to the entry form.
inline constexpr const char* kLeave = "{ESC}S{ENTER}S{ENTER}";
// The operator's seconds between two operations.
inline constexpr double kThinking = 2;

namespace detail {

// Runs the station until it quits; the script is set by `script` on the
// backend before the run starts.
template <typename Script>
void run(rt::os::CountingEnv& counting, Script script) {
  auto b = std::make_unique<rt::con::HeadlessBackend>();
  rt::con::HeadlessBackend& backend = *b;
  rt::con::Console con(std::move(b));
  rt::os::ClockEnv clocked(counting, backend.virtual_clock());
  // A station starts knowing no name of the folder.
  rt::os::forget_names(clocked, "any");
  rt::wa::WorkAreas areas(clocked);
  const auto keys = [&](const std::string& text) {
    for (int k : app::parse_key_script(text)) backend.key(k);
  };
  script(backend, keys);
  const auto args = app::parse_start_arguments({});
  try {
    if (const std::string missing = app::missing_startup_tables(".", clocked); !missing.empty())
      throw std::runtime_error(missing);
    app::RunContext run = app::start_up(con, areas, {}, args);
    app::run_station(con, areas, run, args, app::princi);
  } catch (const rt::con::QuitRequest&) {
  }
  areas.close_all();
}

}  // namespace detail

inline Counts count(const Scenario& s) {
  rt::os::FolderEnv data(s.dir);
  Counts out;
  {
    rt::os::CountingEnv counting(data);
    counting.set_trace(s.trace);
    detail::run(counting, [&](rt::con::HeadlessBackend& b, auto keys) {
      b.then([&] { out.start_up = counting.calls(); });
      keys("{ESC}");
    });
  }
  {
    rt::os::CountingEnv counting(data);
    counting.set_trace(s.trace);
    detail::run(counting, [&](rt::con::HeadlessBackend& b, auto keys) {
      b.pause(kThinking);
      keys(s.login);
      b.pause(kThinking);
      keys(kLeave);
      b.then([&] { out.ticket = counting.calls(); });
      keys("{ESC}");
    });
  }
  {
    rt::os::CountingEnv counting(data);
    counting.set_trace(s.trace);
    rt::os::CallCounts before;
    detail::run(counting, [&](rt::con::HeadlessBackend& b, auto keys) {
      keys(s.login);
      b.pause(kThinking).then([&] { before = counting.calls(); });
      keys(s.barcode + "{ENTER}");
      b.pause(0.5).then([&] { out.scan = counting.calls().since(before); });
      keys(std::string(kLeave) + "{ESC}");
    });
  }
  return out;
}

}  // namespace station_calls

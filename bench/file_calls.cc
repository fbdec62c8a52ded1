// File calls per operation of the station, the cost that counts on a shared
// network drive (every read, write, lock and open a round trip to the
// server), counted through rt::os::CountingEnv on the headless station:
// start-up to the entry form; start-up and a ticket loaded to the browse,
// then Esc; one scan, Enter to the screen updated.  Printed for the demo
// folder (ticket 1234, three lines) with the floor argued for each row and
// the time on a drive answering each call in 0.5 ms.  The same rows on
// suite-sized data are printed by bench_check.  CHK_CALLS_BY_FILE=1 adds
// the calls per file, CHK_CALLS_TRACE=1 lists every call as it is made.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "demodata/demo_data.h"
#include "runtime/os/folder_env.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/station_calls.h"

namespace {

// The floors: the calls no design can avoid on this folder.
//  start-up: the folder listed once (1); "rotulo", "ini" and "numeros" read
//    and closed, a small table in one read of header and records (3 each);
//    the seller table and its two bags kept open for the form, each opened
//    and its header (a bag's with its directory) read in one call (2 each):
//    1 + 9 + 6 = 16.
//  start-up + ticket: the start-up (16); the ticket's lock taken and its
//    slot written, closed (4); six shared tables of the check with their bags
//    opened, read and closed (6 x 6 = 36); a first seek in each tag used
//    reads the counter and its pages root to leaf under the lock (6 x 5 =
//    30); the ticket's lines in one read, its products one read each (4);
//    the check table (private to the station, kept in memory) created with
//    its memo file and bag, each written once and closed (3 x 3 = 9);
//    leaving marks the sale header under its record lock (lock, write,
//    unlock: 3): about 100.
//  scan: the product's bag counter (1) and record (1); the check line and
//    the unit's slot stay in the private check table's memory: 2.
constexpr int kFloorStartUp = 16, kFloorTicket = 100, kFloorScan = 2;

std::string barcode_of(const std::string& dir, const std::string& code) {
  rt::os::FolderEnv data(dir);
  rt::wa::WorkAreas areas(data);
  areas.use("producto");
  rt::wa::set_index(areas.current(), "producto");
  rt::wa::set_focus(areas.current(), "codigo");
  if (!rt::wa::seek(areas.current(), rt::Value(code))) return "";
  return rt::text::trim(rt::text::str(areas.current().get("CODVAR").number(), 14));
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/bench_file_calls_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = std::string(tmpl) + "/data";
  app::make_demo(dir, *rt::text::Date::from_ymd(2026, 12, 7));
  const std::string barcode = barcode_of(dir, "0000101");
  const std::string login = std::to_string(app::demo::kTicket) + "{ENTER}" + std::to_string(app::demo::kSeller) +
                            "{ENTER}" + app::demo::kSellerPassword + "{ENTER}";
  // CHK_CALLS_TRACE=1 lists every call in order on the standard error.
  std::function<void(rt::os::Call, const std::string&)> trace;
  if (std::getenv("CHK_CALLS_TRACE") != nullptr)
    trace = [](rt::os::Call c, const std::string& path) {
      std::fprintf(stderr, "%-7s %s\n", rt::os::call_name(c), rt::os::basename_of(path).c_str());
    };
  const auto c = station_calls::count({dir, login, barcode, trace});
  std::printf("File calls, demo folder (ticket %d, 3 lines), drive at 0.5 ms a call:\n", app::demo::kTicket);
  const auto row = [](const char* what, const rt::os::CallCounts& n, int floor, int goal) {
    std::printf("  %-28s %5llu calls  %7.1f ms   floor %4d  goal %4d\n    %s\n", what,
                static_cast<unsigned long long>(n.total()), rt::os::drive_ms(n), floor, goal,
                n.text(std::getenv("CHK_CALLS_BY_FILE") != nullptr).c_str());
  };
  row("start-up to the entry form", c.start_up, kFloorStartUp, 60);
  row("start-up + ticket, Esc", c.ticket, kFloorTicket, 150);
  row("one scan", c.scan, kFloorScan, 12);
  std::filesystem::remove_all(tmpl);
  return 0;
}

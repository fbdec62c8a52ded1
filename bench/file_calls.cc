// File calls per operation of the station, the cost that counts on a shared
// network drive (every read, write, lock and open a round trip to the
// server), counted through rt::os::CountingEnv on the headless station:
// start-up to the entry form; start-up and a ticket loaded to the browse,
// then Esc; one scan, Enter to the screen updated.  Printed for the demo
// folder (ticket 1234, three lines) with the floor argued for each row and
// the time on a drive answering each call in 0.5 ms.  The same rows on
// suite-sized data are printed by bench_check.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/demo_data.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/station_calls.h"

namespace {

std::string barcode_of(const std::string& code) {
  rt::wa::WorkAreas areas;
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
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  const std::string barcode = barcode_of("0000101");
  std::filesystem::current_path(previous);
  const std::string login = std::to_string(app::demo::kTicket) + "{ENTER}" + std::to_string(app::demo::kSeller) +
                            "{ENTER}" + app::demo::kSellerPassword + "{ENTER}";
  const auto c = station_calls::count({dir, login, barcode});
  std::printf("File calls, demo folder (ticket %d, 3 lines), drive at 0.5 ms a call:\n", app::demo::kTicket);
  const auto row = [](const char* what, const rt::os::CallCounts& n) {
    std::printf("  %-28s %5llu calls  %7.1f ms\n    %s\n", what, static_cast<unsigned long long>(n.total()),
                rt::os::drive_ms(n), n.text(std::getenv("CHK_CALLS_BY_FILE") != nullptr).c_str());
  };
  row("start-up to the entry form", c.start_up);
  row("start-up + ticket, Esc", c.ticket);
  row("one scan", c.scan);
  std::filesystem::remove_all(tmpl);
  return 0;
}

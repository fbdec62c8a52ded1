// File calls of the station on the demo folder, counted through the counting
// Env: on a shared network drive each call is a round trip, so these counts
// are what start-up, a ticket load and a scan cost there.  The station runs
// on the console's virtual clock, so the counts do not depend on the
// machine's speed.  Each row is held to its ceiling: the count it has now
// with a little room, never above the goal.  A change that adds calls fails
// here; lower a ceiling when a change cuts calls.
#include <gtest/gtest.h>

#include "demodata/demo_data.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/station_calls.h"
#include "tests/support/testing.h"

namespace {

TEST(FileCalls, StartUpTicketLoadAndScanStayWithinTheirGoals) {
  testing_support::TempDir dir;
  app::make_demo(dir.path(), *rt::text::Date::from_ymd(2026, 12, 7));
  std::string barcode;
  {
    rt::wa::WorkAreas areas;
    ASSERT_TRUE(areas.use(dir.file("producto")));
    rt::wa::set_index(areas.current(), dir.file("producto"));
    rt::wa::set_focus(areas.current(), "codigo");
    ASSERT_TRUE(rt::wa::seek(areas.current(), rt::Value("0000101")));  // no traceability
    barcode = rt::text::trim(rt::text::str(areas.current().get("CODVAR").number(), 14));
  }
  const std::string login = std::to_string(app::demo::kTicket) + "{ENTER}" + std::to_string(app::demo::kSeller) +
                            "{ENTER}" + app::demo::kSellerPassword + "{ENTER}";
  const station_calls::Counts c = station_calls::count({dir.path(), login, barcode, {}});
  struct Row {
    const char* what;
    const rt::os::CallCounts& calls;
    std::uint64_t ceiling, goal;
  };
  for (const Row& r : {Row{"start-up", c.start_up, 34, 60}, Row{"start-up and ticket", c.ticket, 148, 150},
                       Row{"scan", c.scan, 6, 12}}) {
    EXPECT_LE(r.calls.total(), r.ceiling) << r.what << " (goal " << r.goal << "): " << r.calls.text(true);
    EXPECT_GT(r.calls[rt::os::Call::Read], 0u) << r.what << ": the counting layer saw no read";
  }
  // The scan was counted: it looked its product up.
  EXPECT_GT(c.scan.on("producto.dbf"), 0u) << c.scan.text(true);
}

}  // namespace

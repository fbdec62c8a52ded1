// File calls of the station on the demo folder, counted through the counting
// Env: on a shared network drive each call is a round trip, so these counts
// are what start-up, a ticket load and a scan cost there.  The limits are the
// station's goals; a change that adds calls to any of them fails here.
#include <gtest/gtest.h>

#include "app/demo_data.h"
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
  const station_calls::Counts c = station_calls::count({dir.path(), login, barcode});
  struct Row {
    const char* what;
    const rt::os::CallCounts& calls;
    std::uint64_t goal;
  };
  for (const Row& r : {Row{"start-up", c.start_up, 60}, Row{"start-up and ticket", c.ticket, 150},
                       Row{"scan", c.scan, 12}}) {
    EXPECT_LE(r.calls.total(), r.goal) << r.what << ": " << r.calls.text(true);
    EXPECT_GT(r.calls[rt::os::Call::Read], 0u) << r.what << ": the counting layer saw no read";
  }
  // The scan was counted: its unit went into the check table.
  EXPECT_GT(c.scan.on("tm390007.dbf"), 0u) << c.scan.text(true);
  EXPECT_GT(c.scan[rt::os::Call::Write], 0u) << c.scan.text(true);
}

}  // namespace

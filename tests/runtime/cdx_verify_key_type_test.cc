// dbftool verify checks a bag's structure with the key types the table's
// fields give: a tag on a bare C(8) field has 8-byte text keys whose
// trailing blanks are compressed, and must not be taken for a number.
#include <gtest/gtest.h>

#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"

TEST(CdxVerifyKeyType, BareEightCharacterFieldIsVerifiedAsText) {
  testing_support::TempDir dir;
  const std::string path = dir.file("names.dbf");
  rt::wa::WorkAreas wa;
  wa.create(path, {{"NAME", 'C', 8, 0}});
  wa.select_area(0);
  ASSERT_TRUE(wa.use(path, {.alias = "", .exclusive = true, .readonly = false}));
  rt::wa::Area& a = wa.current();
  rt::wa::create_order(a, "name", "NAME");
  // Enough short names (trailing blanks) for several leaves and an interior level.
  for (int i = 0; i < 3000; ++i) {
    ASSERT_TRUE(a.append());
    std::string name;
    for (int v = i; v > 0 && name.size() < 3; v /= 7) name += char('a' + v % 7);
    a.put("NAME", name);
  }
  wa.close_all();
  std::string out;
  const int rc = testing_support::run_capture(testing_support::program("dbftool") + " verify " + path + " 2>&1", &out);
  EXPECT_EQ(rc, 0) << out;
}

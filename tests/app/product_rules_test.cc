#include <gtest/gtest.h>

#include "app/product_rules.h"
#include "tools/config_keys.h"

using namespace app;

TEST(ProductRules, TraceabilityFlagAndForcedFlag) {
  struct Row { char traza, forced; bool want; };
  const Row table[] = {{'S', 'S', true},  {'S', 'N', false}, {'S', ' ', true},  {'N', 'S', true},
                       {'N', 'N', false}, {'N', ' ', false}, {' ', 'S', true},  {' ', 'N', false},
                       {' ', ' ', false}, {'X', 'S', false}, {'S', 'X', false}, {'s', ' ', false}};
  for (const auto& r : table)
    EXPECT_EQ(is_traceable(r.traza, r.forced), r.want) << "'" << r.traza << "' '" << r.forced << "'";
}

TEST(ProductRules, LineColourFollowsSoldAndCounted) {
  EXPECT_EQ(line_colour(2, 2), LineColour::Complete);
  EXPECT_EQ(line_colour(3, 1), LineColour::Partial);
  EXPECT_EQ(line_colour(1, 3), LineColour::Partial);
  EXPECT_EQ(line_colour(2, 0), LineColour::Plain);
  EXPECT_EQ(line_colour(0, 0), LineColour::Plain);
  EXPECT_TRUE(is_counted_line(10000000));
  EXPECT_FALSE(is_counted_line(9999999));
  EXPECT_FALSE(is_counted_line(-1234));
}

TEST(ConfigKeys, NameAndBranchParts) {
  EXPECT_EQ(tools::ini_key("traza", "0"), "TRAZA           0");
  EXPECT_EQ(tools::ini_key("Traza", "0"), tools::ini_key("TRAZA", "0"));
  EXPECT_EQ(tools::ini_key("chk_env2_dep", "0"), "CHK_ENV2_DEP    0");
  EXPECT_EQ(tools::ini_key("a_very_long_setting_name", "0"), "A_VERY_LONG_SET 0");
  EXPECT_EQ(tools::ini_key("x", "5"), "X               5");
  EXPECT_EQ(tools::ini_key("x", "01"), "X               0");
  EXPECT_EQ(tools::ini_key("x", "12"), "X              12");
  EXPECT_EQ(tools::ini_key("x", "123"), "X              **");
  EXPECT_EQ(tools::ini_key("x", "0").size(), 17u);
}

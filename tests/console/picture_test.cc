#include <gtest/gtest.h>

#include "runtime/console/picture.h"

using rt::Value;
using rt::con::transform;

TEST(Pictures, NumbersUnderTemplates) {
  EXPECT_EQ(transform(Value(0), "@Z 999"), "   ");
  EXPECT_EQ(transform(Value(7), "@Z 999"), "  7");
  EXPECT_EQ(transform(Value(1234), "@Z 999999"), "  1234");
  EXPECT_EQ(transform(Value(0), "999"), "  0");
  EXPECT_EQ(transform(Value(1000), "999"), "***");  // does not fit
  EXPECT_EQ(transform(Value(12.345), "9999.99"), "  12.35");
  EXPECT_EQ(transform(Value(1234.5), "9,999.99"), "1,234.50");
  EXPECT_EQ(transform(Value(34.5), "9,999.99"), "   34.50");  // no separator before the first digit
  EXPECT_EQ(transform(Value(-5), "9999"), "  -5");
  EXPECT_EQ(transform(Value(42), "", 6), "    42");
  EXPECT_EQ(transform(Value(42), ""), "        42");
}

TEST(Pictures, TextsDatesAndLogicals) {
  EXPECT_EQ(transform(Value("abc"), "@!"), "ABC");
  EXPECT_EQ(transform(Value("ab"), "!XX"), "Ab ");
  EXPECT_EQ(transform(Value("1234"), "99-99"), "12-34");
  EXPECT_EQ(transform(Value("ab"), "", 5), "ab   ");
  EXPECT_EQ(transform(Value(*rt::text::Date::from_ymd(2027, 12, 31)), ""), "31/12/27");
  EXPECT_EQ(transform(Value(*rt::text::Date::from_ymd(2027, 12, 31)), "", 0, true), "31/12/2027");
  EXPECT_EQ(transform(Value(rt::text::Date{}), ""), "  /  /  ");
  EXPECT_EQ(transform(Value(true), ""), "T");
  EXPECT_EQ(transform(Value(), "", 3), "   ");
  const auto pic = rt::con::Picture::parse("@S30 XXXX");
  EXPECT_EQ(pic.scroll_width, 30);
  EXPECT_EQ(pic.mask, "XXXX");
  EXPECT_EQ(rt::con::Picture::parse("@S99999999999").scroll_width > 0, true);  // no overflow
}

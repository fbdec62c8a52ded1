#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/startup_args.h"

using namespace app;

TEST(StartArguments, PositionalArgumentsAndFlags) {
  auto none = parse_start_arguments({});
  EXPECT_FALSE(none.single_check);

  auto two = parse_start_arguments({"123", "45"});
  EXPECT_TRUE(two.single_check);
  EXPECT_EQ(two.ticket, 123);
  EXPECT_EQ(two.seller, 45);
  EXPECT_TRUE(two.seller_given);
  EXPECT_FALSE(two.trace_only);
  EXPECT_FALSE(two.cancel_voucher);

  auto flags = parse_start_arguments({"123", "45", "N", "0"});
  EXPECT_TRUE(flags.trace_only);  // any third argument counts, also N
  EXPECT_TRUE(flags.cancel_voucher);

  EXPECT_EQ(parse_start_arguments({"abc", "7"}).ticket, 0);
  EXPECT_FALSE(parse_start_arguments({"123"}).seller_given);
}

// Ids are whole numbers as STR() shows them: the nearest, within 9 digits.
TEST(StartArguments, IdsAreTheNearestWholeNumber) {
  for (const auto& [in, want] : std::vector<std::pair<double, int>>{
           {1234.4, 1234}, {1234.5, 1235}, {-3.6, -4}, {1e12, 999999999}, {-1e12, -999999999}, {0.0 / 0.0, 0}})
    EXPECT_EQ(id_number(in), want) << in;
  EXPECT_EQ(parse_start_arguments({"1234.7", "12.2"}).ticket, 1235);
  EXPECT_EQ(parse_start_arguments({"1234.7", "12.2"}).seller, 12);
}

TEST(StartArguments, MachineNumberFromTheEnvironment) {
  EXPECT_EQ(machine_number(""), "55");
  EXPECT_EQ(machine_number("0"), "55");
  EXPECT_EQ(machine_number("abc"), "55");
  EXPECT_EQ(machine_number("007"), "7");
  EXPECT_EQ(machine_number(" 12.7 "), "13");
  EXPECT_EQ(machine_number("12345"), "****");
  EXPECT_EQ(machine_number("9999"), "9999");
}

TEST(StartArguments, DateTableAndTraceabilitySwitch) {
  EXPECT_EQ(date_table_name(""), "FEC_SYS");
  EXPECT_EQ(date_table_name("   "), "FEC_SYS");
  EXPECT_EQ(date_table_name(" fecha2 "), "FECHA2");
  EXPECT_TRUE(traceability_on("si"));
  EXPECT_TRUE(traceability_on("S"));
  EXPECT_TRUE(traceability_on("SI"));
  EXPECT_FALSE(traceability_on("N"));
  EXPECT_FALSE(traceability_on(""));
  EXPECT_FALSE(traceability_on(" S"));  // the stored value is trimmed by the lookup, not here
}

#include <gtest/gtest.h>

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

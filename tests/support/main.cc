// The test programs' main: "--chk-child NAME ARGS..." runs a registered
// routine as a second process (tests/support/testing.h), anything else runs
// the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/testing.h"

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--chk-child")
    return testing_support::run_child_routine(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

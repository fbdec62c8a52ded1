// A complete demo data folder written by our own engine: every table the
// station reads, with its order bags, a few sellers, products, tickets and
// the configuration, so the station can be tried without the suite.
#pragma once

#include <stdexcept>
#include <string>

#include "runtime/text/date.h"

namespace app {

class DemoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the demo folder holds, for the operator and for tests.
namespace demo {
inline constexpr int kTicket = 1234;           // three lines, one traceable (2 units)
inline constexpr int kCancelledTicket = 1235;  // ANULA "S"
inline constexpr int kCheckedTicket = 1236;    // already in the check log
inline constexpr int kNoScanTicket = 1237;     // one line with "@" in BONO
inline constexpr int kDepartmentTicket = 1238; // lines of departments 1 and 2
inline constexpr int kSeller = 7;              // password "1234"
inline constexpr int kSellerNoPassword = 8;    // no password
inline constexpr const char* kSellerPassword = "1234";
inline constexpr const char* kMasterPassword = "9999";
inline constexpr int kBranch = 3;              // numeros "SU"
}  // namespace demo

// Writes the demo tables into `dir` (created when missing), with `today` as
// the business date and the date of the sales.  Refuses (DemoError, nothing
// written) when `dir` already holds any of the station's tables, so real
// data is never overwritten.  On a failure part way the message says which
// table could not be written.
void make_demo(const std::string& dir, rt::text::Date today);

}  // namespace app

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
// Sellers and tasks of the access control.
inline constexpr int kSellerBadChecksum = 20;     // password "1111", CRC_31 off by one
inline constexpr int kSellerOtherBranch = 21;     // password "2121", branches 05 and 09 only
inline constexpr int kSellerNoRights = 22;        // no password, no task marks, no profile
inline constexpr int kAuthoriserByProfile = 23;   // password "5678", profile S, no task marks
inline constexpr int kAuthoriserNoProfile = 24;   // password "2468", profile B, no task marks
inline constexpr const char* kBadChecksumPassword = "1111";
inline constexpr const char* kOtherBranchPassword = "2121";
inline constexpr const char* kAuthoriserByProfilePassword = "5678";
inline constexpr const char* kAuthoriserNoProfilePassword = "2468";
// Tasks 109 (own password), 120 (Alt+C) and 121 (leave with differences)
// have passwords and are granted to profile S (109 to profile A as well);
// task 130 has a wrong checksum, task 131 no password.
inline constexpr const char* kTask109Password = "1090";
inline constexpr const char* kTask120Password = "1200";
inline constexpr const char* kTask121Password = "1210";
inline constexpr int kTaskBadChecksum = 130;
inline constexpr int kTaskNoPassword = 131;
// Units received earlier (traceability records of a purchase invoice): the
// DataMatrix codes of these units find their serial, lot and expiry in the
// traceability table.  A unit of product 0000102 with any other serial is
// "not received" and makes the station ask before it counts it.
struct ReceivedUnit {
  const char* code;    // product code
  const char* serial;
  const char* lot;
  int expiry_year, expiry_month, expiry_day;
};
inline constexpr ReceivedUnit kReceivedUnits[] = {
    {"0000102", "DEMO0001", "L2301A", 2035, 12, 31},
    {"0000102", "DEMO0002", "L2301A", 2035, 12, 31},
    {"0000102", "DEMO0003", "L2302B", 2036, 6, 30},
    {"0000104", "CLZ00001", "C9901", 2035, 9, 30},
};
}  // namespace demo

// Writes the demo tables into `dir` (created when missing), with `today` as
// the business date and the date of the sales.  Refuses (DemoError, nothing
// written) when `dir` already holds any of the station's tables, so real
// data is never overwritten.  On a failure part way the message says which
// table could not be written.
void make_demo(const std::string& dir, rt::text::Date today);

}  // namespace app

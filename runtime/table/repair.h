// Mending a table whose header's record count disagrees with the records in
// the file, as a crash or a power cut between writing a record and writing
// the count can leave it:
//  - ahead: the header announces records the file does not hold (no program
//    opens the table);
//  - behind: whole records lie after the last one the header counts (they
//    are invisible; the next append would overwrite them).
#pragma once

#include <cstdint>
#include <string>

#include "runtime/os/env.h"

namespace rt::table {

struct CountRepair {
  std::uint32_t announced = 0;  // the header's count before
  std::uint32_t present = 0;    // the records the file holds: the count after
  // Where the byte copy of the original header went; "" when nothing was
  // changed.
  std::string header_copy;
  bool changed() const { return announced != present; }
};

// Opens the table exclusively and sets the header's count to the records the
// file holds: every whole record up to the announced count, and after it
// each whole record whose first byte is a deletion flag (blank or '*'),
// until the first one that is not.  Before changing anything it writes the
// header's bytes, as they were, to a new file beside the table (TABLE.hdr.bak,
// or TABLE.hdr.2.bak and so on when that exists) and syncs it; then it writes
// the count and the end-of-file mark after the last record, and syncs.
// Throws TableError: Busy when another user has the table open, Corrupt when
// the header itself is damaged (not a count problem), Io.
CountRepair repair_record_count(const std::string& path, os::Env& env = os::Env::Default());

}  // namespace rt::table

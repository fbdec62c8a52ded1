// The completion's output: the comptes file, the voucher file in its form
// and folder, and the print program that is handed the voucher.
//
// Every file name is a DOS path of the station ("s:\qumar\comptes_tz\...",
// "\VLM\TMP\...", ROB_FIS) and goes through map_dos_path; folder names are
// matched without regard to case as DOS does.  Files go through the run's
// Env (the work areas'), so a relative name lands in the data folder.
// Commands run through the console's __RUN and are waited for; a program
// that stands in the data folder is run from there (as DOS would find it)
// before the PATH is searched (rt::os::program_command).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/completion_walk.h"
#include "app/voucher.h"
#include "runtime/console/console.h"
#include "runtime/os/clock.h"
#include "runtime/os/dos_path.h"
#include "runtime/os/env.h"

namespace app::completion {

struct Output {
  voucher::Mode mode;
  std::string comptes_path;  // DOS path of the comptes file
  std::string base_name;     // machine + ticket, 8 characters
  std::string voucher;       // the voucher's bytes in the mode's form
  std::string comptes;       // the comptes file's bytes
  std::string rob_fis;       // ROB_FIS of the run
  rt::os::DosPathSettings drives;  // the run's drive mapping
};

// The folder of the fiscal voucher: ROB_FIS in upper case when it is set
// and not blank, else "\VLM\TMP\" (used as a prefix, no separator added).
std::string fiscal_folder(std::string_view rob_fis);

// Writes what the mode asks for and runs its print program.  The comptes
// file is appended to (two tickets may share its name); the voucher is
// written under a temporary name in its folder and renamed into place, so a
// program watching the folder only ever meets whole vouchers.  A file that
// cannot be written is left as it was and named to the operator in a box
// that waits for a key; the print program is not run for a voucher that was
// not written.
void hand_off(rt::con::Console& con, rt::os::Env& env, const Output& out);

// Appends all of `bytes` to the file at a DOS path (created when missing)
// under the file's own lock, so appends of two stations never mix; on a
// failure part way the file is cut back to what it held.  False when the
// path cannot be mapped (drive not available) or the bytes could not be
// written.
bool append_dos_file(rt::os::Env& env, const rt::os::DosPathSettings& drives, const std::string& dos_path,
                     const std::string& bytes);
// Writes the file at a DOS path whole: `bytes` go to a temporary file in
// the same folder, which is synced and then renamed over the file.  On a
// failure the file is left as it was.  False as above.
bool replace_dos_file(rt::os::Env& env, const rt::os::DosPathSettings& drives, const std::string& dos_path,
                      const std::string& bytes);

// Captured units that no traceability record took are kept in the data
// folder's pending file, one line per unit, for the administrator.
inline constexpr const char* kPendingFile = "tz_pend.txt";
struct PendingUnit {
  std::string gtin;  // 14 digits
  SlotFields slot;
};
// The pending file's lines: date YYYYMMDD; time hh:mm:ss; machine; "TK";
// ticket; seller; GTIN; serial; lot; expiry YYYYMMDD or empty; the scanned
// code (group separators as "@"), fields trimmed, each line ending in CR LF.
// A field holding ";" or a quote is written between quotes, inner quotes
// doubled.
std::string pending_lines(rt::os::WallTime now, const std::string& machine, double ticket, double seller,
                          const std::vector<PendingUnit>& units);
// Appends them to the pending file (as append_dos_file); false when it
// cannot be written.
bool keep_pending(rt::os::Env& env, const std::string& lines);

// The command line that runs `program` with `argument` on this system.
std::string command_line(rt::os::Env& env, const std::string& program, const std::string& argument);

// A three-line box naming the file: what failed, the file, a key to go on.
void tell_failure(rt::con::Console& con, const std::string& what, const std::string& file);

}  // namespace app::completion

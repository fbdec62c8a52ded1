// The completion's output: the comptes file, the voucher file in its form
// and folder, and the print program that is handed the voucher.
//
// Every file name is a DOS path of the station ("s:\qumar\comptes_tz\...",
// "\VLM\TMP\...", ROB_FIS) and goes through map_dos_path; folder names are
// matched without regard to case as DOS does.  Commands run through the
// console's __RUN and are waited for; a program that stands in the working
// folder is run from there (as DOS would find it) before the PATH is
// searched (rt::os::program_command).
#pragma once

#include <string>
#include <string_view>

#include "app/voucher.h"
#include "runtime/console/console.h"

namespace app::completion {

struct Output {
  voucher::Mode mode;
  std::string comptes_path;  // DOS path of the comptes file
  std::string base_name;     // machine + ticket, 8 characters
  std::string voucher;       // the voucher's bytes in the mode's form
  std::string comptes;       // the comptes file's bytes
};

// The folder of the fiscal voucher: ROB_FIS in upper case when it is set
// and not blank, else "\VLM\TMP\" (used as a prefix, no separator added).
std::string fiscal_folder(std::string_view rob_fis);

// Writes what the mode asks for and runs its print program.  A file that
// cannot be written is named to the operator in a box that waits for a key;
// the print program is not run for a voucher that was not written.
void hand_off(rt::con::Console& con, const Output& out);

// Creates or truncates the file at a DOS path and writes all of `bytes`;
// false when the path cannot be mapped (drive not available) or the file
// cannot be written.
bool write_dos_file(const std::string& dos_path, const std::string& bytes);

// The command line that runs `program` with `argument` on this system.
std::string command_line(const std::string& program, const std::string& argument);

// A three-line box naming the file: what failed, the file, a key to go on.
void tell_failure(rt::con::Console& con, const std::string& what, const std::string& file);

}  // namespace app::completion

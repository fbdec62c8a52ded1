// Helpers for tests: temporary folders, copies of the shared sample files,
// child processes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/os/dos_path.h"

namespace testing_support {

// The kind of the error E that fn throws; nullopt when it throws none.
template <class E, class Fn>
auto thrown_kind(Fn fn) -> std::optional<decltype(std::declval<const E&>().kind())> {
  try {
    fn();
  } catch (const E& e) {
    return e.kind();
  }
  return std::nullopt;
}

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The read-only folder of sample files kept with the tests (tests/fixtures).
std::string fixtures_dir();
std::string foreign_fixture(const std::string& relative);  // tests/fixtures/foreign/<relative>
// Copies every file of a foreign fixture set into dir (fixtures are read-only).
void copy_foreign_set(const std::string& set, const std::string& dir);
void copy_file(const std::string& from, const std::string& to);
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
// Folder of the built programs (build/bin), in the system's own notation.
std::string bin_dir();
// A built program's path for a command line (bin_dir() and the name).
std::string program(const std::string& name);

// A routine a test runs in a second process, as another program sharing
// the tables would: it gets text arguments and its result is the process's
// exit status (an exception gives 99).  Routines are registered by name at
// namespace scope:
//
//   CHK_CHILD_ROUTINE(LockElsewhere) {      // args: the routine's arguments
//     return Table::open(args[0])->lock_record(1) ? 0 : 1;
//   }
//   ... EXPECT_EQ(wait_child(spawn_child("LockElsewhere", {path})), 0);
//
// POSIX systems fork and run the routine in the copy; Windows starts the
// test program again with "--chk-child NAME ARGS..." (see main.cc).
using ChildRoutine = int (*)(const std::vector<std::string>& args);
struct ChildRoutineRegistration {
  ChildRoutineRegistration(const char* name, ChildRoutine routine);
};
#define CHK_CHILD_ROUTINE(name)                                                              \
  static int chk_child_##name(const std::vector<std::string>& args);                          \
  static const ::testing_support::ChildRoutineRegistration chk_child_reg_##name(#name,         \
                                                                                 &chk_child_##name); \
  static int chk_child_##name([[maybe_unused]] const std::vector<std::string>& args)

// Runs a registered routine here; 98 when there is none of that name.
int run_child_routine(const std::string& name, const std::vector<std::string>& args);
// Starts a registered routine in a second process; returns its id.
int spawn_child(const std::string& name, const std::vector<std::string>& args = {});
// Runs fn in a forked child process (POSIX systems only: for tests of
// signals); returns the child's pid.  The child exits with fn's result.
int spawn_child(const std::function<int()>& fn);
// Waits for a child; returns its exit status (-1 when it was killed).
int wait_child(int pid);
// Ends a child at once, as a crash or a power cut would.
void kill_child(int pid);
// Sends a child SIGHUP (POSIX systems only), as a closed terminal would.
void hang_up(int pid);
// Waits until a file exists (a child's sign that it is ready); false after
// `seconds`.
bool wait_for_file(const std::string& path, double seconds = 60);

// A one-way stream of numbers from a child to its parent through a file:
// send_number appends one; receive_number returns the n-th (from 0) once it
// is there, nullopt after `seconds`.
void send_number(const std::string& path, std::uint32_t value);
std::optional<std::uint32_t> receive_number(const std::string& path, std::size_t n, double seconds = 60);

// Sets or removes an environment variable of this process.
void set_env(const std::string& name, const std::string& value);
void unset_env(const std::string& name);

// The station's drives for a test, in folders of `dir` made here: S: (with
// the comptes folder) and the base of rooted paths (with `voucher_folder`).
rt::os::DosPathSettings station_drives(const std::string& dir, const std::string& voucher_folder = "VLM/TMP");

// Whether this is the Windows build (tests that need a POSIX shell, fork()
// or tmux are skipped there with that reason).
bool on_windows();

// Runs a shell command line; returns its exit status and fills out with what
// it printed on standard output.
int run_capture(const std::string& cmd, std::string* out);

}  // namespace testing_support

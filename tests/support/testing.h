// Helpers for tests: temporary folders, copies of the shared sample files,
// child processes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
// Folder of the built programs (build/bin).
std::string bin_dir();

// Runs fn in a forked child process; returns the child's pid.  The child
// exits with fn's result (exceptions give 99).
int spawn_child(const std::function<int()>& fn);
// Waits for a child; returns its exit status (-1 when it died by a signal).
int wait_child(int pid);

// Runs a shell command line; returns its exit status and fills out with what
// it printed on standard output.
int run_capture(const std::string& cmd, std::string* out);

}  // namespace testing_support

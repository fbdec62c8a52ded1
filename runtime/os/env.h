// The program's one way to the operating system: files and folders, byte-range
// locks (through the files), the clocks and sleeping, environment variables
// and running commands.  Code that touches the OS takes an Env (the table
// engine through its open options) instead of calling the system, so a test
// can hand it a wrapper that fails, counts or drops writes.
//
//   Env::Default()   the machine (POSIX here); lives for the whole run
//   EnvWrapper       forwards every call to another Env: derive from it and
//                    override the one or two calls a test cares about
//   FaultEnv         (fault_env.h) failed, short and dropped writes, refused
//                    locks and opens, and a crash that loses what was not synced
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/os/clock.h"
#include "runtime/os/file.h"

namespace rt::os {

class Env {
 public:
  virtual ~Env() = default;

  // The machine's Env.
  static Env& Default();

  // Opens a file.  Throws IoError: NotFound, Exists (CreateNew), Denied, Busy
  // (the share mode refuses it: another open holds the file exclusively, or
  // an exclusive open meets any other open), Failed.  Truncate empties the
  // file only once the share mode has admitted the open.
  virtual std::unique_ptr<File> open_file(const std::string& path, OpenMode mode,
                                          ShareMode share = ShareMode::Shared) = 0;
  // True for an existing regular file.
  virtual bool file_exists(const std::string& path) = 0;
  virtual bool is_directory(const std::string& path) = 0;
  // Deletes a file; false when it did not exist; throws IoError otherwise.
  virtual bool remove_file(const std::string& path) = 0;
  // Renames `from` to `to`, replacing `to` when it exists, in one step (a
  // reader sees the old file or the new one, never none), and makes the
  // rename durable.  Throws IoError.
  virtual void rename_file(const std::string& from, const std::string& to) = 0;
  // The names in a folder (no "." and ".."), sorted; empty when it cannot be
  // read.
  virtual std::vector<std::string> list_directory(const std::string& dir) = 0;
  // Creates a folder and its missing parents; throws IoError.
  virtual void create_directories(const std::string& dir) = 0;
  virtual std::string current_directory() = 0;

  // Wall clock, monotonic clock and sleeping.
  virtual Clock& clock() = 0;

  // The value of an environment variable, "" when unset.
  virtual std::string get_env(const std::string& name) = 0;
  // Runs a command line through the system's command interpreter and waits
  // for it; its exit status, or -1 when it could not be started.
  virtual int run_command(const std::string& cmd) = 0;
};

// Forwards every call to another Env.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env& target) : target_(target) {}
  Env& target() const { return target_; }

  std::unique_ptr<File> open_file(const std::string& path, OpenMode mode, ShareMode share) override {
    return target_.open_file(path, mode, share);
  }
  bool file_exists(const std::string& path) override { return target_.file_exists(path); }
  bool is_directory(const std::string& path) override { return target_.is_directory(path); }
  bool remove_file(const std::string& path) override { return target_.remove_file(path); }
  void rename_file(const std::string& from, const std::string& to) override { target_.rename_file(from, to); }
  std::vector<std::string> list_directory(const std::string& dir) override { return target_.list_directory(dir); }
  void create_directories(const std::string& dir) override { target_.create_directories(dir); }
  std::string current_directory() override { return target_.current_directory(); }
  Clock& clock() override { return target_.clock(); }
  std::string get_env(const std::string& name) override { return target_.get_env(name); }
  int run_command(const std::string& cmd) override { return target_.run_command(cmd); }

 private:
  Env& target_;
};

// An Env whose clock is another one: the engine run on a virtual clock
// (os::VirtualClock), everything else as `target` has it.
class ClockEnv : public EnvWrapper {
 public:
  ClockEnv(Env& target, Clock& clock) : EnvWrapper(target), clock_(clock) {}
  Clock& clock() override { return clock_; }

 private:
  Clock& clock_;
};

}  // namespace rt::os

// An Env for tests that makes the machine misbehave on purpose: failed,
// short and dropped writes, a full disk, refused locks and opens, and a crash
// that throws away everything written since the last sync, so recovery is
// proved without pulling a plug.
//
//   rt::os::FaultEnv env;
//   options.env = &env;
//   env.fail_write(3, FaultEnv::Fault::NoSpace, ".fpt");  // the 3rd write to the memo file
//   ...
//   env.crash_after(0);    // from now on nothing reaches the disk
//   table.reset();         // the program is gone
//   env.drop_unsynced();   // the power cut: unsynced writes are lost
//
// Faults name files by a part of their path ("" = every file).  Reads,
// folder calls, the clock and commands go to the wrapped Env unchanged.
#pragma once

#include <memory>
#include <string>

#include "runtime/os/env.h"

namespace rt::os {

class FaultEnv : public EnvWrapper {
 public:
  enum class Fault {
    Eio,      // the write fails, nothing written
    NoSpace,  // the disk is full, nothing written
    Short,    // the first half of the bytes is written, then the write fails
  };

  explicit FaultEnv(Env& target = Env::Default());
  ~FaultEnv() override;

  std::unique_ptr<File> open_file(const std::string& path, OpenMode mode, ShareMode share) override;
  bool remove_file(const std::string& path) override;
  void rename_file(const std::string& from, const std::string& to) override;

  // The nth write (write_at or truncate) from now on to a matching file
  // fails; n = 1 is the next one.
  void fail_write(int n, Fault fault = Fault::Eio, const std::string& file = "");
  // Every write to a matching file fails.
  void fail_writes(Fault fault = Fault::Eio, const std::string& file = "");
  // Every sync of a matching file fails.
  void fail_syncs(const std::string& file = "");
  // Locks on matching files are refused: try_lock gives false, lock throws
  // IoError(Busy).
  void refuse_locks(const std::string& file = "");
  // Opens of matching files are refused as another program's exclusive use
  // refuses them: IoError(Busy).
  void deny_opens(const std::string& file = "");
  // After n more writes the machine stops: every later write, truncate,
  // sync and rename is dropped without an error (0 = from now on).
  void crash_after(int n);
  bool crashed() const;
  // What a power cut loses of the writes since a file's last sync.
  enum class Loss {
    Everything,     // every one of them
    AllButTheLast,  // all but the last write of each file (the disk wrote it
                    // first); an earlier lost write may take part of it along
                    // where the two overlap or the file shrinks back
  };
  // Puts every file back as it was at its last sync (or when this Env first
  // wrote to it), but for what `loss` keeps: the data a power cut would lose
  // is lost.
  void drop_unsynced(Loss loss = Loss::Everything);
  // Ends every fault and the crash; what was written stays.
  void heal();
  // Writes and truncates seen so far (failed and dropped ones included).
  int writes() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace rt::os

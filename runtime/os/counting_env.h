// An Env that counts every call the program makes on its files: opens and
// closes, folder lookups (exists, is-folder, listing), reads, writes,
// appends, size queries, truncates, syncs, locks and unlocks, removes and
// renames.  On a shared network drive each of them is a round trip to the
// server (byte-range locks keep the client from caching), so their number
// is what an operation costs there; `drive_ms` turns it into a time.
//
//   rt::os::CountingEnv counting;
//   rt::wa::WorkAreas areas(counting);
//   ... the operation ...
//   counting.calls().total();   counting.calls().text();
//
// Only calls whose path contains `scope` are counted ("" = every file), so a
// bench can count the data folder alone.  Counts are kept per kind of call
// and per file name (its last part).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "runtime/os/env.h"

namespace rt::os {

enum class Call {
  Open, Close, Stat, List, Read, Write, Size, Truncate, Sync, Lock, Unlock, Remove, Rename,
};
inline constexpr int kCallKinds = 13;
const char* call_name(Call c);

using CallKinds = std::array<std::uint64_t, kCallKinds>;

struct CallCounts {
  CallKinds by_kind{};
  std::map<std::string, CallKinds> by_file;  // file name -> calls of each kind

  std::uint64_t total() const;
  std::uint64_t operator[](Call c) const { return by_kind[static_cast<int>(c)]; }
  // The calls on one file (its name, the last part of its path).
  std::uint64_t on(const std::string& file) const;
  // The calls of `*this` made since `before` was taken.
  CallCounts since(const CallCounts& before) const;
  // "42 calls: 3 open 20 read ..." and, with `files`, one line per file
  // "  producto.cdx 12: 4 read 4 lock 4 unlock" (kinds and files with no
  // call left out).
  std::string text(bool files = false) const;
};

// Time a drive that answers each call in `ms_per_call` would need.
inline double drive_ms(const CallCounts& c, double ms_per_call = 0.5) {
  return static_cast<double>(c.total()) * ms_per_call;
}

class CountingEnv : public EnvWrapper {
 public:
  explicit CountingEnv(Env& target = Env::Default(), std::string scope = "");

  std::unique_ptr<File> open_file(const std::string& path, OpenMode mode, ShareMode share) override;
  bool file_exists(const std::string& path) override;
  bool is_directory(const std::string& path) override;
  bool remove_file(const std::string& path) override;
  void rename_file(const std::string& from, const std::string& to) override;
  std::vector<std::string> list_directory(const std::string& dir) override;

  // A copy of the counts so far (safe while other threads count).
  CallCounts calls() const;
  void reset();
  // Called with every counted call, in order, as it is made (a tool that
  // shows where an operation's calls go); none by default.
  void set_trace(std::function<void(Call, const std::string&)> trace);

  struct Counter;

 private:
  std::shared_ptr<Counter> counter_;
};

}  // namespace rt::os

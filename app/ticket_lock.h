// One ticket, one station at a time.
//
// The stations share a lock file of their own in the data folder,
// "chk_env2.lck".  A station checking ticket N holds an exclusive
// byte-range lock on the byte kTicketLockBase + N of that file for the
// whole check (loading, browse and completion).  The suite's other programs
// never open the file, so nothing of theirs waits on it; the operating
// system drops the lock when the station ends in any way, a crash included.
// The holder writes its ticket and machine number into a small slot of the
// file (slot N mod kTicketSlots, 32 bytes), so a station that is refused can
// name the machine.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "runtime/os/env.h"

namespace app {

inline constexpr const char* kTicketLockFile = "chk_env2.lck";
inline constexpr std::uint64_t kTicketLockBase = 0x40000000;  // far beyond the slots
inline constexpr std::uint64_t kTicketSlots = 1000;
inline constexpr std::uint64_t kTicketSlotWidth = 32;

class TicketLock {
 public:
  // Takes the ticket without waiting, the lock file opened through `env`.
  // On refusal `held()` is false and `message()` tells the operator why (the
  // machine holding it when known).
  TicketLock(double ticket, const std::string& machine, rt::os::Env& env = rt::os::Env::Default());
  ~TicketLock();
  TicketLock(const TicketLock&) = delete;
  TicketLock& operator=(const TicketLock&) = delete;

  bool held() const { return held_; }
  const std::string& message() const { return message_; }

 private:
  std::unique_ptr<rt::os::File> file_;
  std::uint64_t offset_ = 0;
  bool held_ = false;
  std::string message_;
};

}  // namespace app

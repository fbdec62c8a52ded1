// Where the byte-range locks of a table go.
//
// Programs that share a table only exclude each other when they lock the same
// bytes, so the scheme is a site setting:
//   fox       (default) the FoxPro family: record n locks the byte
//             0x7FFFFFFE - n, the header / append lock is the byte 0x7FFFFFFE.
//   offset1g  1,000,000,000 + the record's byte range; header lock
//             1,000,000,000 + the header's byte range.
//   offset4g  the same with 4,000,000,000.
// The environment variable CHK_LOCK_SCHEME ("fox", "offset1g", "offset4g")
// chooses it for every table a program opens; OpenOptions can override it.
//
// Two more bytes are this engine's own (the older programs do not use them):
//   open marker  the byte 0x7FFFFFFF (os::kShareLockByte), just above the
//                FoxPro header lock byte and outside every scheme's record
//                range in use: the POSIX Env keeps share modes there (every
//                open holds it shared, an exclusive open exclusively), so
//                exclusive and shared opens exclude each other.
//   memo lock    fox: the byte 0x7FFFFFFE of the FPT; offset schemes: base +
//                the FPT's 512-byte header.  Taken, together with the DBF
//                header lock, while a new memo is allocated.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/os/env.h"
#include "runtime/os/file.h"

namespace rt::table {

enum class LockScheme { Fox, Offset1G, Offset4G };

struct LockRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 1;
};

inline constexpr const char* kLockSchemeVariable = "CHK_LOCK_SCHEME";
inline constexpr std::uint64_t kFoxHeaderLockByte = 0x7FFFFFFE;
inline constexpr std::uint64_t kOpenMarkerByte = os::kShareLockByte;

const char* scheme_name(LockScheme scheme);
// Parses a setting value ("fox", "offset1g", "offset4g", ASCII case
// ignored); throws TableError(Usage) naming the variable and the value.
LockScheme parse_lock_scheme(std::string_view text);
// The scheme of CHK_LOCK_SCHEME in env; Fox when unset or empty.
LockScheme lock_scheme_from_environment(os::Env& env = os::Env::Default());

// The lock ranges of one table.
class LockLayout {
 public:
  LockLayout(LockScheme scheme, std::uint16_t header_length, std::uint16_t record_length)
      : scheme_(scheme), header_length_(header_length), record_length_(record_length) {}
  LockScheme scheme() const { return scheme_; }
  LockRange record(std::uint32_t recno) const;
  LockRange header() const;
  LockRange memo() const;
  static LockRange open_marker() { return {kOpenMarkerByte, 1}; }
  // The most records a table may hold so that its data never reaches the
  // lock bytes of the scheme.
  std::uint64_t max_records() const;

 private:
  LockScheme scheme_;
  std::uint16_t header_length_;
  std::uint16_t record_length_;
};

// Tries a lock until it is granted or `timeout_seconds` have passed (0 = one
// try), backing off between tries on env's clock.  False when it was not
// granted.
bool acquire_lock(os::Env& env, os::File& file, LockRange range, os::LockKind kind, double timeout_seconds);

}  // namespace rt::table

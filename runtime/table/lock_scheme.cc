#include "runtime/table/lock_scheme.h"

#include <algorithm>

#include "runtime/table/error.h"
#include "runtime/text/convert.h"

namespace rt::table {

namespace {
constexpr std::uint64_t kBase1G = 1000000000ull;
constexpr std::uint64_t kBase4G = 4000000000ull;
}  // namespace

const char* scheme_name(LockScheme scheme) {
  switch (scheme) {
    case LockScheme::Fox: return "fox";
    case LockScheme::Offset1G: return "offset1g";
    case LockScheme::Offset4G: return "offset4g";
  }
  return "?";
}

LockScheme parse_lock_scheme(std::string_view text) {
  const std::string t = text::lower(text::trim(text));
  if (t == "fox") return LockScheme::Fox;
  if (t == "offset1g") return LockScheme::Offset1G;
  if (t == "offset4g") return LockScheme::Offset4G;
  throw TableError(ErrorKind::Usage, kLockSchemeVariable,
                   "unknown lock scheme \"" + std::string(text) + "\" (fox, offset1g or offset4g)");
}

LockScheme lock_scheme_from_environment(os::Env& env) {
  const std::string v = env.get_env(kLockSchemeVariable);
  if (text::trim(v).empty()) return LockScheme::Fox;
  return parse_lock_scheme(v);
}

LockRange LockLayout::record(std::uint32_t recno) const {
  switch (scheme_) {
    case LockScheme::Fox: return {kFoxHeaderLockByte - recno, 1};
    case LockScheme::Offset1G:
    case LockScheme::Offset4G: {
      const std::uint64_t base = scheme_ == LockScheme::Offset1G ? kBase1G : kBase4G;
      return {base + header_length_ + static_cast<std::uint64_t>(recno - 1) * record_length_, record_length_};
    }
  }
  return {};
}

LockRange LockLayout::header() const {
  switch (scheme_) {
    case LockScheme::Fox: return {kFoxHeaderLockByte, 1};
    case LockScheme::Offset1G: return {kBase1G, header_length_};
    case LockScheme::Offset4G: return {kBase4G, header_length_};
  }
  return {};
}

LockRange LockLayout::memo() const {
  switch (scheme_) {
    case LockScheme::Fox: return {kFoxHeaderLockByte, 1};
    case LockScheme::Offset1G: return {kBase1G, 512};
    case LockScheme::Offset4G: return {kBase4G, 512};
  }
  return {};
}

std::uint64_t LockLayout::max_records() const {
  const std::uint64_t rl = std::max<std::uint64_t>(record_length_, 1);
  switch (scheme_) {
    case LockScheme::Fox:
      // Data end plus the lock bytes of every record stay below the header
      // lock byte: header + n * (record_length + 1) + 1 < 0x7FFFFFFE.
      return (kFoxHeaderLockByte - 2 - header_length_) / (rl + 1);
    case LockScheme::Offset1G: return (kBase1G - 1 - header_length_) / rl;
    case LockScheme::Offset4G: return (kOpenMarkerByte - 1 - header_length_) / rl;
  }
  return 0;
}

bool acquire_lock(os::Env& env, os::File& file, LockRange range, os::LockKind kind, double timeout_seconds) {
  if (file.try_lock(range.offset, range.length, kind)) return true;
  if (timeout_seconds <= 0) return false;
  os::Clock& clock = env.clock();
  const double deadline = clock.monotonic() + timeout_seconds;
  double pause = 20e-6;  // 20 us, doubling up to 5 ms
  for (;;) {
    clock.sleep(pause);
    if (file.try_lock(range.offset, range.length, kind)) return true;
    if (clock.monotonic() >= deadline) return false;
    pause = std::min(pause * 2, 5e-3);
  }
}

}  // namespace rt::table

#include "runtime/table/error.h"

namespace rt::table {

const char* kind_name(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Io: return "i/o error";
    case ErrorKind::Corrupt: return "damaged file";
    case ErrorKind::Unsupported: return "unsupported";
    case ErrorKind::ValueRefused: return "value refused";
    case ErrorKind::ReadOnly: return "read-only";
    case ErrorKind::NotLocked: return "not locked";
    case ErrorKind::Busy: return "network error";
    case ErrorKind::Usage: return "usage";
  }
  return "?";
}

}  // namespace rt::table

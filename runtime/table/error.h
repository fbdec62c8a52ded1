// Errors of the table engine.  Every error names the file and the problem, so
// the layers above can show it to the operator as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace rt::table {

enum class ErrorKind {
  Io,            // the operating system refused a read, write or open
  Corrupt,       // the file's bytes are impossible (damaged or not a table)
  Unsupported,   // a valid file of a kind this engine does not handle (or only reads)
  ValueRefused,  // a value does not fit its field (never stored wrongly)
  ReadOnly,      // a write to a table opened read-only
  NotLocked,     // a write to a shared record that is not locked by this open
  Busy,          // another user holds the table exclusively, or a lock could not
                 // be had in time: the "network error" of the work-area layer
  Usage,         // a call that makes no sense (no such record, wrong field type...)
};

class TableError : public std::runtime_error {
 public:
  TableError(ErrorKind kind, const std::string& file, const std::string& problem, bool repairable = false)
      : std::runtime_error(file.empty() ? problem : file + ": " + problem),
        kind_(kind), file_(file), problem_(problem), repairable_(repairable) {}
  ErrorKind kind() const { return kind_; }
  const std::string& file() const { return file_; }
  const std::string& problem() const { return problem_; }
  // True when the failure is the sharing kind that NETERR() reports.
  bool network_error() const { return kind_ == ErrorKind::Busy; }
  // True when repair_record_count (`dbftool repair`) mends the problem: the
  // header announces records the file does not hold.
  bool repairable() const { return repairable_; }
  // True when the table's own file does not exist (its open found no file):
  // callers open without looking first and tell "missing" from this.
  bool missing() const { return missing_; }
  TableError& set_missing() {
    missing_ = true;
    return *this;
  }

 private:
  ErrorKind kind_;
  std::string file_;
  std::string problem_;
  bool repairable_;
  bool missing_ = false;
};

const char* kind_name(ErrorKind kind);

}  // namespace rt::table

// dbftool verify: checks of a table and its memo file; other checks (order
// bags) plug in with register_verify_check.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runtime/table/table.h"

namespace dbftool {

// Collects what verify finds.  Problems make the exit code non-zero; notes
// (oddities other programs tolerate) do not.
class VerifyReport {
 public:
  explicit VerifyReport(std::string file) : file_(std::move(file)) {}
  void problem(const std::string& what);
  void note(const std::string& what);
  int problems() const { return problems_; }
  const std::string& file() const { return file_; }

 private:
  std::string file_;
  int problems_ = 0;
};

// An extra check run on every table verify opens (e.g. its order bags).
using VerifyCheck = std::function<void(rt::table::Table& table, VerifyReport& report)>;

// The order bags named with verify's --bag options (empty: the table's own).
const std::vector<std::string>& verify_bag_options();

struct VerifyCheckRegistrar {
  VerifyCheckRegistrar(std::string name, VerifyCheck check);
};

}  // namespace dbftool

// Tables for the tools' tests: a temporary working folder, tables made with
// the engine, and a second process that holds a table exclusively or a
// record locked until it is told to let go.
#pragma once

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "runtime/os/folder_env.h"
#include "runtime/table/table.h"
#include "tests/support/testing.h"

namespace toolstest {

// A temporary folder for the test's tables and files; work areas made with
// its env() find relative names there, as the station finds its data folder.
class WorkFolder {
 public:
  std::string file(const std::string& name) const { return dir_.file(name); }
  const std::string& path() const { return dir_.path(); }
  rt::os::FolderEnv& env() { return env_; }

 private:
  testing_support::TempDir dir_;
  rt::os::FolderEnv env_{dir_.path()};
};

using Row = std::vector<rt::Value>;

// Creates a table with the given fields and rows (deleted rows when the
// flag is given for them).
inline void make_table(const std::string& path, const std::vector<rt::table::NewField>& fields,
                       const std::vector<Row>& rows, const std::vector<bool>& deleted = {}) {
  rt::table::CreateOptions create;
  create.overwrite = true;
  rt::table::Table::create(path, fields, create);
  rt::table::OpenOptions open;
  open.share = rt::table::Share::Exclusive;
  auto t = rt::table::Table::open(path, open);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rt::table::Record rec = t->blank();
    for (std::size_t f = 0; f < fields.size() && f < rows[i].size(); ++f) rec.set(static_cast<int>(f), rows[i][f]);
    if (i < deleted.size() && deleted[i]) rec.set_deleted(true);
    t->append(rec);
  }
  t->close();
}

using testing_support::wait_for_file;

// The other station's process: args are the table, the record to lock ("0":
// the table exclusively), the file that says it holds it and the file that
// lets it go.
CHK_CHILD_ROUTINE(ToolsOtherStation) {
  const auto record = static_cast<std::uint32_t>(std::stoul(args.at(1)));
  rt::table::OpenOptions o;
  o.share = record == 0 ? rt::table::Share::Exclusive : rt::table::Share::Shared;
  auto t = rt::table::Table::open(args.at(0), o);
  if (record != 0 && !t->lock_record(record)) return 3;
  testing_support::write_file(args.at(2), "held");
  // Never longer than half a minute, whatever happens to the test.
  wait_for_file(args.at(3), 30);
  t->close();
  return 0;
}

// Another station: a child process that opens `table` exclusively (record
// 0) or shared with `record` locked, and keeps it until release().
class OtherStation {
 public:
  OtherStation(const std::string& folder, const std::string& table, std::uint32_t record = 0)
      : held_(folder + "/held." + std::to_string(++serial())), release_(held_ + ".release") {
    pid_ = testing_support::spawn_child("ToolsOtherStation",
                                        {folder + "/" + table, std::to_string(record), held_, release_});
    if (!wait_for_file(held_, 10)) throw std::runtime_error("the other station did not take the table");
  }
  ~OtherStation() { release(); }
  // Lets go of the table and waits until the child has ended.
  int release() {
    if (pid_ < 0) return status_;
    testing_support::write_file(release_, "go");
    status_ = testing_support::wait_child(pid_);
    pid_ = -1;
    return status_;
  }

 private:
  static int& serial() {
    static int n = 0;
    return n;
  }
  std::string held_, release_;
  int pid_ = -1;
  int status_ = -1;
};

}  // namespace toolstest

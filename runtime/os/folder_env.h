// An Env whose relative file names resolve against a base folder: the
// program's data folder, given once at start-up instead of entering it with
// a change of the working directory.  Names with a drive or a server
// ("c:\x", "\\server\x") are used as given; rooted names without one ("\x",
// "/x") lie on the base folder's drive (POSIX: as given).  Commands run
// with the base folder as their working directory, so a program started
// from here finds its files where it always did.
#pragma once

#include <string>

#include "runtime/os/env.h"

namespace rt::os {

class FolderEnv : public EnvWrapper {
 public:
  FolderEnv(std::string base, Env& target = Env::Default());
  const std::string& base() const { return base_; }
  // `path` as the target Env is given it.
  std::string in_base(const std::string& path) const;

  std::unique_ptr<File> open_file(const std::string& path, OpenMode mode, ShareMode share) override;
  bool file_exists(const std::string& path) override;
  bool is_directory(const std::string& path) override;
  bool remove_file(const std::string& path) override;
  void rename_file(const std::string& from, const std::string& to) override;
  std::vector<std::string> list_directory(const std::string& dir) override;
  void create_directories(const std::string& dir) override;
  std::string current_directory() override { return base_; }
  int run_command(const std::string& cmd) override;

 private:
  std::string base_;
};

}  // namespace rt::os

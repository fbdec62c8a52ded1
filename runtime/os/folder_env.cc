#include "runtime/os/folder_env.h"

#include <filesystem>

namespace rt::os {

FolderEnv::FolderEnv(std::string base, Env& target) : EnvWrapper(target), base_(std::move(base)) {
  if (base_.empty()) base_ = ".";
}

std::string FolderEnv::in_base(const std::string& path) const {
  if (path.empty() || path == ".") return base_;
  const std::filesystem::path p(path);
  // "c:\x", "\\server\share\x" (a server is not a root name to every
  // standard library).
  const bool on_server = path.rfind("\\\\", 0) == 0 || path.rfind("//", 0) == 0;
  if (p.has_root_name() || on_server) return path;
  // "\VLM\TMP\x" names a folder on the data folder's drive, as when the
  // station ran with that drive current (POSIX paths have no drive).
  if (p.has_root_directory() || path[0] == '\\') return std::filesystem::path(base_).root_name().string() + path;
  return join_path(base_, path);
}

std::unique_ptr<File> FolderEnv::open_file(const std::string& path, OpenMode mode, ShareMode share) {
  return EnvWrapper::open_file(in_base(path), mode, share);
}
bool FolderEnv::file_exists(const std::string& path) { return EnvWrapper::file_exists(in_base(path)); }
bool FolderEnv::is_directory(const std::string& path) { return EnvWrapper::is_directory(in_base(path)); }
bool FolderEnv::remove_file(const std::string& path) { return EnvWrapper::remove_file(in_base(path)); }
void FolderEnv::rename_file(const std::string& from, const std::string& to) {
  EnvWrapper::rename_file(in_base(from), in_base(to));
}
std::vector<std::string> FolderEnv::list_directory(const std::string& dir) {
  return EnvWrapper::list_directory(in_base(dir));
}
void FolderEnv::create_directories(const std::string& dir) { EnvWrapper::create_directories(in_base(dir)); }

int FolderEnv::run_command(const std::string& cmd) {
#ifdef _WIN32
  return EnvWrapper::run_command("cd /d \"" + base_ + "\" && " + cmd);
#else
  std::string quoted = "'";
  for (char c : base_) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return EnvWrapper::run_command("cd " + quoted + "' && " + cmd);
#endif
}

}  // namespace rt::os

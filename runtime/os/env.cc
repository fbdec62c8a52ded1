// What every Env shares: reading whole ranges, the case-blind file lookup,
// path texts, and the free functions that use Env::Default().
#include "runtime/os/env.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "runtime/os/process.h"
#include "runtime/text/convert.h"

namespace rt::os {

std::unique_ptr<File> File::open(const std::string& path, OpenMode mode) {
  return Env::Default().open_file(path, mode);
}

void admit_open(File& file, OpenMode mode, ShareMode share) {
  if (!file.try_lock(kShareLockByte, 1, share == ShareMode::Exclusive ? LockKind::Exclusive : LockKind::Shared))
    throw IoError(file.path(),
                  share == ShareMode::Exclusive ? "in use by another program: cannot open it exclusively"
                                                : "in use exclusively by another program",
                  IoKind::Busy);
  if (mode == OpenMode::Truncate) file.truncate(0);
}

void File::read_exact(std::uint64_t off, void* buf, std::size_t n) const {
  if (read_at(off, buf, n) != n) throw IoError(path_, "file ends before byte " + std::to_string(off + n));
}

bool file_exists(const std::string& path) { return Env::Default().file_exists(path); }
bool is_directory(const std::string& path) { return Env::Default().is_directory(path); }
bool remove_file(const std::string& path) { return Env::Default().remove_file(path); }
void rename_file(const std::string& from, const std::string& to) { Env::Default().rename_file(from, to); }
std::vector<std::string> list_directory(const std::string& dir) { return Env::Default().list_directory(dir); }
std::string current_directory() { return Env::Default().current_directory(); }
int run_command(const std::string& cmd) { return Env::Default().run_command(cmd); }
std::string program_command(const std::string& program, const std::string& argument) {
  return program_command(Env::Default(), program, argument);
}
std::string env(const std::string& name) { return Env::Default().get_env(name); }

std::optional<std::string> find_file_nocase(Env& env, const std::string& dir, const std::string& name) {
  const std::string exact = join_path(dir, name);
  if (env.file_exists(exact)) return exact;
  for (const auto& entry : env.list_directory(dir))
    if (text::same_nocase(entry, name)) {
      std::string p = join_path(dir, entry);
      if (env.file_exists(p)) return p;
    }
  return std::nullopt;
}

std::optional<std::string> find_file_nocase(const std::string& dir, const std::string& name) {
  return find_file_nocase(Env::Default(), dir, name);
}

namespace {

// The names of the folders resolved so far, listed once per run: on a
// network drive each lookup of a name is a round trip, the listing one for
// all.  A name not in the listing lists the folder again (a file created
// since); a name listed but gone since makes the open fail, and the caller
// forgets the folder and resolves again (forget_names).
struct FolderNames {
  std::mutex mu;
  std::map<std::string, std::vector<std::string>> by_folder;  // absolute folder -> names
};

FolderNames& folder_names() {
  static FolderNames names;
  return names;
}

std::string folder_key(Env& env, const std::string& dir) {
  return !dir.empty() && dir[0] == '/' ? dir : join_path(env.current_directory(), dir);
}

// The on-disk spelling of `name` among `names` (an exact match wins), or "".
std::string match_in(const std::vector<std::string>& names, const std::string& name) {
  std::string found;
  for (const auto& n : names) {
    if (n == name) return n;
    if (found.empty() && text::same_nocase(n, name)) found = n;
  }
  return found;
}

// `path` named as the folder spells it: `found` is the spelling listed, ""
// when the folder lists none.
std::string spelt(const std::string& path, const std::string& found) {
  return found.empty() || found == basename_of(path) ? path : join_path(dirname_of(path), found);
}

}  // namespace

std::string resolve_nocase(Env& env, const std::string& path) {
  const std::string dir = dirname_of(path), name = basename_of(path);
  const std::string key = folder_key(env, dir);
  FolderNames& names = folder_names();
  {
    std::lock_guard<std::mutex> g(names.mu);
    const auto it = names.by_folder.find(key);
    if (it != names.by_folder.end())
      if (const std::string found = match_in(it->second, name); !found.empty()) return spelt(path, found);
  }
  std::vector<std::string> listed = env.list_directory(dir);
  const std::string found = match_in(listed, name);
  {
    std::lock_guard<std::mutex> g(names.mu);
    names.by_folder[key] = std::move(listed);
  }
  return spelt(path, found);
}

std::vector<std::string> missing_in_folder(Env& env, const std::string& dir, const std::vector<std::string>& names) {
  std::vector<std::string> listed = env.list_directory(dir);
  std::vector<std::string> missing;
  for (const auto& n : names)
    if (match_in(listed, n).empty()) missing.push_back(n);
  FolderNames& folders = folder_names();
  std::lock_guard<std::mutex> g(folders.mu);
  folders.by_folder[folder_key(env, dir)] = std::move(listed);
  return missing;
}

std::string resolve_to_create(Env& env, const std::string& path) {
  {
    FolderNames& names = folder_names();
    std::lock_guard<std::mutex> g(names.mu);
    const auto it = names.by_folder.find(folder_key(env, dirname_of(path)));
    if (it != names.by_folder.end()) return spelt(path, match_in(it->second, basename_of(path)));
  }
  return resolve_nocase(env, path);
}

std::unique_ptr<File> open_nocase(Env& env, const std::string& given, OpenMode mode, ShareMode share,
                                  std::string& resolved) {
  resolved = resolve_nocase(env, given);
  try {
    return env.open_file(resolved, mode, share);
  } catch (const IoError& e) {
    if (e.kind() != IoKind::NotFound) throw;
    forget_names(env, given);
    const std::string again = resolve_nocase(env, given);
    if (again == resolved) throw;
    resolved = again;
    return env.open_file(resolved, mode, share);
  }
}

void forget_names(Env& env, const std::string& path) {
  FolderNames& names = folder_names();
  std::lock_guard<std::mutex> g(names.mu);
  names.by_folder.erase(folder_key(env, dirname_of(path)));
}

void note_created(Env& env, const std::string& path) {
  const std::string name = basename_of(path);
  FolderNames& names = folder_names();
  std::lock_guard<std::mutex> g(names.mu);
  const auto it = names.by_folder.find(folder_key(env, dirname_of(path)));
  if (it == names.by_folder.end()) return;  // not listed yet: the first lookup lists it
  if (std::find(it->second.begin(), it->second.end(), name) == it->second.end()) it->second.push_back(name);
}

std::string resolve_nocase(const std::string& path) { return resolve_nocase(Env::Default(), path); }

std::string join_path(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  if (!name.empty() && name[0] == '/') return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string dirname_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string basename_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool has_extension(const std::string& path) { return basename_of(path).find('.') != std::string::npos; }

std::string with_extension(const std::string& path, const std::string& ext) {
  const std::string base = basename_of(path);
  const auto dot = base.find_last_of('.');
  const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
  const std::string dir = path.find('/') == std::string::npos ? "" : dirname_of(path);
  return join_path(dir, stem + ext);
}

}  // namespace rt::os

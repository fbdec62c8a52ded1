#include "runtime/os/dos_path.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "runtime/os/file.h"
#include "runtime/os/process.h"

namespace rt::os {

DosPathSettings DosPathSettings::from_environment(Env& env) {
  DosPathSettings s;
  s.rooted_base = env.get_env("DRIVE_ROOT");
  for (char letter = 'A'; letter <= 'Z'; ++letter)
    if (std::string folder = env.get_env(std::string("DRIVE_") + letter); !folder.empty())
      s.drives[letter] = std::move(folder);
  return s;
}

std::optional<std::string> map_dos_path(std::string_view p, const DosPathSettings& s) {
#ifdef _WIN32
  (void)s;
  return std::string(p);
#else
  std::string base;
  if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
    const auto drive = s.drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))));
    if (drive == s.drives.end() || drive->second.empty()) return std::nullopt;
    base = drive->second;
    p.remove_prefix(2);
    if (base.back() != '/') base += '/';
  } else if (!p.empty() && (p[0] == '\\' || p[0] == '/')) {
    base = s.rooted_base;
    if (base.empty()) base = "/";
    if (base.back() != '/') base += '/';
  }
  // Drop the leading separators: the base already ends with one.
  if (!base.empty())
    while (!p.empty() && (p[0] == '\\' || p[0] == '/')) p.remove_prefix(1);
  std::string out = base;
  for (char c : p) out += (c == '\\') ? '/' : c;
  return out;
#endif
}

}  // namespace rt::os

namespace rt::os {

#ifndef _WIN32
namespace {

bool same_ascii_nocase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Puts the on-disk spelling of `part` (inside `dir`) into part; false when
// nothing of that name exists there.
bool resolve_part(Env& env, const std::string& dir, std::string& part) {
  const std::string exact = join_path(dir, part);
  if (env.file_exists(exact) || env.is_directory(exact)) return true;
  for (const auto& entry : env.list_directory(dir))
    if (same_ascii_nocase(entry, part)) {
      part = entry;
      return true;
    }
  return false;
}

}  // namespace
#endif

std::string resolve_path_nocase(const std::string& path) { return resolve_path_nocase(Env::Default(), path); }

std::string resolve_path_nocase(Env& env, const std::string& path) {
#ifdef _WIN32
  (void)env;
  return path;
#else
  if (path.empty()) return path;
  std::string done = path[0] == '/' ? "/" : "";
  std::size_t i = path[0] == '/' ? 1 : 0;
  bool exists = true;  // everything resolved so far exists on disk
  while (i <= path.size()) {
    std::size_t slash = path.find('/', i);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(i, slash - i);
    if (exists && !part.empty() && part != "." && part != "..") {
      exists = resolve_part(env, done.empty() ? "." : done, part);
    }
    done += part;
    if (slash < path.size()) done += '/';
    i = slash + 1;
  }
  return done;
#endif
}

}  // namespace rt::os

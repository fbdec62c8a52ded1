#include "cmd/dbftool/bag_access.h"

#include <string>

#include "runtime/os/file.h"

namespace dbftool {

namespace {

bool ends_with_nocase(const std::string& s, const char* ext) {
  const std::size_t n = std::char_traits<char>::length(ext);
  if (s.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = s[s.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != ext[i]) return false;
  }
  return true;
}

std::optional<std::string> sibling(const std::string& path, const std::string& ext) {
  const std::string name = rt::os::basename_of(rt::os::with_extension(path, ext));
  const std::string dir = rt::os::dirname_of(path);
  return rt::os::find_file_nocase(dir.empty() ? std::string(1, '.') : dir, name);
}

}  // namespace

std::string bag_path_for(const std::string& table, const std::string& bag_option) {
  if (!bag_option.empty()) {
    std::string p = bag_option;
    if (!rt::os::has_extension(p)) p += ".cdx";
    return rt::os::resolve_nocase(p);
  }
  const std::string ext = ends_with_nocase(table, ".dbc") ? ".dcx" : ".cdx";
  if (auto found = sibling(table, ext)) return *found;
  return rt::os::with_extension(table, ext);
}

std::optional<std::string> table_for_bag(const std::string& bag) {
  if (ends_with_nocase(bag, ".dcx")) return sibling(bag, ".dbc");
  return sibling(bag, ".dbf");
}

}  // namespace dbftool

#include "runtime/os/dos_path.h"

#include <cctype>

#include "runtime/os/process.h"

namespace rt::os {

std::optional<std::string> map_dos_path(std::string_view p, const DosPathSettings& s) {
#ifdef _WIN32
  (void)s;
  return std::string(p);
#else
  std::string base;
  if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
    const std::string var = std::string("DRIVE_") + static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
    base = s.env ? s.env(var) : env(var);
    if (base.empty()) return std::nullopt;
    p.remove_prefix(2);
    if (!base.empty() && base.back() != '/') base += '/';
  } else if (!p.empty() && (p[0] == '\\' || p[0] == '/')) {
    base = s.rooted_base.empty() ? "/" : s.rooted_base;
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

// The station's fixed folders and file names are DOS paths
// ("s:\qumar\comptes_tz\", "\VLM\TMP\").  Everything that names a file goes
// through map_dos_path, which turns such a path into one for this system.
//
// On POSIX systems:
//   - a backslash is a path separator;
//   - a drive letter X: maps to the folder named by the environment variable
//     DRIVE_X (DRIVE_S for "s:"); when that is unset or empty the drive is
//     not available and the path cannot be mapped (nullopt);
//   - a rooted path without a drive ("\VLM\TMP\") is placed under
//     `rooted_base`; when that is empty, under the folder named by the
//     environment variable DRIVE_ROOT (the station's own drive), or "/"
//     when that is unset;
//   - any other path is relative to the working folder and only has its
//     separators changed.
// On Windows the path is used unchanged.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/os/env.h"

namespace rt::os {

struct DosPathSettings {
  // Where "\..." paths land; "" = DRIVE_ROOT from the environment, else "/".
  std::string rooted_base;
  // Environment lookup ("" for unset); the process environment by default.
  std::function<std::string(const std::string&)> env;
};

std::optional<std::string> map_dos_path(std::string_view dos_path, const DosPathSettings& settings = {});

// DOS names do not tell upper from lower case ("\VLM\TMP\" and "\vlm\tmp\"
// are one folder).  Resolves every part of `path` that exists under another
// case to the name on disk; parts that do not exist are kept as written.
// An exact match always wins.
// Relative paths resolve in `env`'s working folder.
std::string resolve_path_nocase(Env& env, const std::string& path);
std::string resolve_path_nocase(const std::string& path);

}  // namespace rt::os

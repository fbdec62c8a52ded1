// The station's fixed folders and file names are DOS paths
// ("s:\qumar\comptes_tz\", "\VLM\TMP\").  Everything that names a file goes
// through map_dos_path, which turns such a path into one for this system.
//
// On POSIX systems:
//   - a backslash is a path separator;
//   - a drive letter X: maps to the folder of that drive in the settings
//     (the environment variable DRIVE_X, DRIVE_S for "s:"); a drive without
//     one is not available and the path cannot be mapped (nullopt);
//   - a rooted path without a drive ("\VLM\TMP\") is placed under
//     `rooted_base` (the environment variable DRIVE_ROOT, the station's own
//     drive), or "/" when that is empty;
//   - any other path is relative to the working folder and only has its
//     separators changed.
// On Windows the path is used unchanged.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/os/env.h"

namespace rt::os {

// The drive mapping, read once from the environment at start-up and handed
// to whatever maps a path.
struct DosPathSettings {
  // Where "\..." paths land; "" = "/".
  std::string rooted_base;
  // The folder of each available drive, by its upper-case letter.
  std::map<char, std::string> drives;
  // DRIVE_A .. DRIVE_Z and DRIVE_ROOT of `env`'s environment (unset and
  // empty are the same: no drive, "/").
  static DosPathSettings from_environment(Env& env);
};

std::optional<std::string> map_dos_path(std::string_view dos_path, const DosPathSettings& settings);

// DOS names do not tell upper from lower case ("\VLM\TMP\" and "\vlm\tmp\"
// are one folder).  Resolves every part of `path` that exists under another
// case to the name on disk; parts that do not exist are kept as written.
// An exact match always wins.
// Relative paths resolve in `env`'s working folder.
std::string resolve_path_nocase(Env& env, const std::string& path);
std::string resolve_path_nocase(const std::string& path);

}  // namespace rt::os

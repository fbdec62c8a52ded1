#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/support/testing.h"
#include "tests/support/vars_env.h"

#include "runtime/os/dos_path.h"

using rt::os::DosPathSettings;
using rt::os::map_dos_path;

namespace {

// The settings read from an environment holding only `vars`.
DosPathSettings with_env(std::map<std::string, std::string> vars) {
  testing_support::VarsEnv env(std::move(vars));
  return DosPathSettings::from_environment(env);
}

constexpr const char* kPosixOnly = "DRIVE_X, DRIVE_ROOT and names matched without regard to case are the POSIX "
                                   "systems' way; Windows uses DOS paths as they stand";

}  // namespace

TEST(DosPath, DriveLettersMapToTheirFolders) {
  const auto s = with_env({{"DRIVE_S", "/mnt/server"}});
  if (testing_support::on_windows()) {
    for (const char* path : {"s:\\qumar\\comptes_tz\\", "\\VLM\\TMP\\x.TNF", "\\\\server\\share\\a.dbf", "sub\\b.dbf"})
      EXPECT_EQ(map_dos_path(path, s), path);
    GTEST_SKIP() << kPosixOnly;
  }
  EXPECT_EQ(map_dos_path("s:\\qumar\\comptes_tz\\", s), "/mnt/server/qumar/comptes_tz/");
  EXPECT_EQ(map_dos_path("S:\\qumar\\x.txt", s), "/mnt/server/qumar/x.txt");
  EXPECT_EQ(map_dos_path("s:file.txt", s), "/mnt/server/file.txt");
  // A drive that is not mapped is not available.
  EXPECT_EQ(map_dos_path("t:\\x", s), std::nullopt);
  EXPECT_EQ(map_dos_path("t:\\x", with_env({{"DRIVE_T", ""}})), std::nullopt);
}

TEST(DosPath, RootedAndRelativePaths) {
  if (testing_support::on_windows()) GTEST_SKIP() << kPosixOnly;
  EXPECT_EQ(map_dos_path("\\VLM\\TMP\\", with_env({})), "/VLM/TMP/");
  EXPECT_EQ(map_dos_path("\\VLM\\TMP\\5501234.TNF", with_env({{"DRIVE_ROOT", "/srv/station"}})),
            "/srv/station/VLM/TMP/5501234.TNF");
  EXPECT_EQ(map_dos_path("log_altc.txt", with_env({})), "log_altc.txt");
  EXPECT_EQ(map_dos_path("sub\\file.dbf", with_env({})), "sub/file.dbf");
}

TEST(DosPath, RootedPathsFollowDriveRootWhenNoBaseIsGiven) {
  if (testing_support::on_windows()) GTEST_SKIP() << kPosixOnly;
  DosPathSettings s = with_env({{"DRIVE_ROOT", "/srv/station"}});
  EXPECT_EQ(map_dos_path("\\VLM\\TMP\\", s), "/srv/station/VLM/TMP/");
  EXPECT_EQ(map_dos_path("\\vlm\\tmp\\x.TNF", with_env({{"DRIVE_ROOT", ""}})), "/vlm/tmp/x.TNF");
}

TEST(DosPath, FoldersAreFoundWithoutRegardToCase) {
  if (testing_support::on_windows()) GTEST_SKIP() << kPosixOnly;
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir.file("VLM/Tmp"));
  testing_support::write_file(dir.file("VLM/Tmp/A.TNF"), "x");
  EXPECT_EQ(rt::os::resolve_path_nocase(dir.path() + "/vlm/tmp/a.tnf"), dir.path() + "/VLM/Tmp/A.TNF");
  // Parts that do not exist stay as written, below the last one found.
  EXPECT_EQ(rt::os::resolve_path_nocase(dir.path() + "/vlm/TMP/new/b.txt"), dir.path() + "/VLM/Tmp/new/b.txt");
  EXPECT_EQ(rt::os::resolve_path_nocase(dir.path() + "/VLM/tmp/"), dir.path() + "/VLM/Tmp/");
}

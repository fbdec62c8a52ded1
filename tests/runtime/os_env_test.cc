// The OS seam: share modes of the POSIX Env and the faults of FaultEnv.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <vector>

#include "runtime/os/counting_env.h"
#include "runtime/os/env.h"
#include "runtime/os/fault_env.h"
#include "runtime/os/folder_env.h"
#include "runtime/os/process.h"
#include "tests/support/testing.h"

using rt::os::Env;
using rt::os::FaultEnv;
using rt::os::IoError;
using rt::os::IoKind;
using rt::os::OpenMode;
using rt::os::ShareMode;
using testing_support::thrown_kind;

namespace {

std::string contents(const std::string& path) { return testing_support::read_file(path); }

void put(rt::os::File& f, std::uint64_t off, const std::string& s) { f.write_at(off, s.data(), s.size()); }

TEST(PosixEnv, ShareModesAdmitSharedOpensOnlyAndTruncateEmptiesOnlyWhenAdmitted) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("t.dbf");
  testing_support::write_file(path, "keep");
  Env& env = Env::Default();
  struct Case {
    ShareMode first, second;
    bool admitted;
  };
  for (const Case c : {Case{ShareMode::Shared, ShareMode::Shared, true},
                       Case{ShareMode::Shared, ShareMode::Exclusive, false},
                       Case{ShareMode::Exclusive, ShareMode::Shared, false},
                       Case{ShareMode::Exclusive, ShareMode::Exclusive, false}}) {
    auto first = env.open_file(path, OpenMode::ReadOnly, c.first);
    if (c.admitted) {
      EXPECT_NO_THROW(env.open_file(path, OpenMode::ReadWrite, c.second));
    } else {
      EXPECT_EQ(thrown_kind<IoError>([&] { env.open_file(path, OpenMode::Truncate, c.second); }), IoKind::Busy);
      first.reset();  // an exclusive open keeps even readers out
      EXPECT_EQ(contents(path), "keep");
    }
  }
  EXPECT_EQ(thrown_kind<IoError>([&] { env.open_file(tmp.file("none"), OpenMode::ReadOnly); }), IoKind::NotFound);
  EXPECT_EQ(thrown_kind<IoError>([&] { env.open_file(path, OpenMode::CreateNew); }), IoKind::Exists);
}

TEST(FaultEnv, FailsTheChosenWriteWithTheChosenFault) {
  testing_support::TempDir tmp;
  struct Case {
    FaultEnv::Fault fault;
    IoKind kind;
    std::string left;  // what the failed write of "ABCD" at 0 leaves
  };
  for (const Case& c : {Case{FaultEnv::Fault::Eio, IoKind::Failed, "...."},
                       Case{FaultEnv::Fault::NoSpace, IoKind::NoSpace, "...."},
                       Case{FaultEnv::Fault::Short, IoKind::Failed, "AB.."}}) {
    const std::string path = tmp.file("f.dat");
    testing_support::write_file(path, "....");
    FaultEnv env;
    auto f = env.open_file(path, OpenMode::ReadWrite, ShareMode::Shared);
    env.fail_write(2, c.fault, "f.dat");
    put(*f, 0, "....");  // the first write passes
    EXPECT_EQ(thrown_kind<IoError>([&] { put(*f, 0, "ABCD"); }), c.kind);
    EXPECT_EQ(contents(path), c.left);
    put(*f, 0, "WXYZ");  // the fault was for one write only
    EXPECT_EQ(contents(path), "WXYZ");
    EXPECT_EQ(env.writes(), 3);
  }
}

TEST(FaultEnv, RefusesLocksOpensAndSyncsOfTheNamedFiles) {
  testing_support::TempDir tmp;
  testing_support::write_file(tmp.file("a.dbf"), "x");
  testing_support::write_file(tmp.file("b.cdx"), "x");
  FaultEnv env;
  env.refuse_locks(".dbf");
  env.deny_opens(".fpt");
  env.fail_syncs(".cdx");
  auto a = env.open_file(tmp.file("a.dbf"), OpenMode::ReadWrite, ShareMode::Shared);
  auto b = env.open_file(tmp.file("b.cdx"), OpenMode::ReadWrite, ShareMode::Shared);
  EXPECT_FALSE(a->try_lock(10, 1, rt::os::LockKind::Exclusive));
  EXPECT_EQ(thrown_kind<IoError>([&] { a->lock(10, 1, rt::os::LockKind::Exclusive); }), IoKind::Busy);
  EXPECT_TRUE(b->try_lock(10, 1, rt::os::LockKind::Exclusive));
  EXPECT_EQ(thrown_kind<IoError>([&] { env.open_file(tmp.file("a.fpt"), OpenMode::Truncate, ShareMode::Shared); }),
            IoKind::Busy);
  EXPECT_FALSE(env.file_exists(tmp.file("a.fpt")));
  EXPECT_NO_THROW(a->sync());
  EXPECT_THROW(b->sync(), IoError);
  env.heal();
  EXPECT_TRUE(a->try_lock(10, 1, rt::os::LockKind::Exclusive));
}

TEST(FaultEnv, ACrashDropsLaterWritesAndThePowerCutLosesWhatWasNotSynced) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("d.dat");
  FaultEnv env;
  {
    auto f = env.open_file(path, OpenMode::Truncate, ShareMode::Shared);
    put(*f, 0, "synced");
    f->sync();
    put(*f, 0, "SY");        // overwrites, not synced
    put(*f, 6, "+tail");     // grows, not synced
    env.crash_after(1);
    f->truncate(3);          // the last write before the crash
    put(*f, 0, "lost");      // dropped
    f->sync();               // dropped: the machine is down
    EXPECT_TRUE(env.crashed());
    EXPECT_EQ(contents(path), "SYn");
  }
  env.drop_unsynced();
  EXPECT_EQ(contents(path), "synced");

  // A rename carries what was not synced to the new name.
  env.heal();
  {
    auto f = env.open_file(path, OpenMode::ReadWrite, ShareMode::Shared);
    put(*f, 0, "SYNCED+more");
  }
  env.rename_file(path, tmp.file("e.dat"));
  EXPECT_FALSE(env.file_exists(path));
  env.drop_unsynced();
  EXPECT_EQ(contents(tmp.file("e.dat")), "synced");
}

}  // namespace

namespace {

// Every kind of file call is counted once, under its file, and `since` keeps
// only what came after.
TEST(CountingEnv, CountsEachCallByKindAndFile) {
  using rt::os::Call;
  testing_support::TempDir tmp;
  rt::os::CountingEnv env;
  const std::string a = tmp.file("a.dbf"), b = tmp.file("b.cdx");
  env.open_file(a, OpenMode::Truncate, ShareMode::Shared).reset();  // open, close
  const rt::os::CallCounts first = env.calls();
  {
    auto f = env.open_file(b, OpenMode::Truncate, ShareMode::Shared);
    char c = 'x';
    f->write_at(0, &c, 1);
    f->read_at(0, &c, 1);
    (void)f->size();
    f->sync();
    f->truncate(1);
    EXPECT_TRUE(f->try_lock(9, 1, rt::os::LockKind::Shared));
    f->unlock(9, 1);
  }
  EXPECT_TRUE(env.file_exists(a));
  env.list_directory(tmp.path());
  env.rename_file(a, tmp.file("c.dbf"));
  EXPECT_TRUE(env.remove_file(tmp.file("c.dbf")));
  const rt::os::CallCounts all = env.calls(), later = all.since(first);
  for (int k = 0; k < rt::os::kCallKinds; ++k)
    EXPECT_EQ(all.by_kind[k], k == int(Call::Open) || k == int(Call::Close) ? 2u : 1u) << rt::os::call_name(Call(k));
  EXPECT_EQ(later.total(), all.total() - 2);
  EXPECT_EQ(later.on("b.cdx"), 9u);
  EXPECT_EQ(later.on("a.dbf"), 2u);  // exists and rename; its open and close came before
  EXPECT_EQ(rt::os::drive_ms(all), 0.5 * double(all.total()));
  env.reset();
  EXPECT_EQ(env.calls().total(), 0u);
}

}  // namespace

namespace {

// A folder's names are listed once; a name renamed since (here to another
// case) is found again by the open, which lists the folder anew.
TEST(CountingEnv, NamesAreListedOnceAndARenamedFileIsFoundAgain) {
  using rt::os::Call;
  testing_support::TempDir tmp;
  testing_support::write_file(tmp.file("T.DBF"), "t");
  testing_support::write_file(tmp.file("U.DBF"), "u");
  rt::os::CountingEnv env;
  EXPECT_EQ(rt::os::resolve_nocase(env, tmp.file("t.dbf")), tmp.file("T.DBF"));
  EXPECT_EQ(rt::os::resolve_nocase(env, tmp.file("u.dbf")), tmp.file("U.DBF"));
  EXPECT_EQ(env.calls()[Call::List], 1u);
  std::filesystem::rename(tmp.file("T.DBF"), tmp.file("t.dbf"));
  std::string opened;
  EXPECT_NO_THROW(rt::os::open_nocase(env, tmp.file("t.dbf"), OpenMode::ReadOnly, ShareMode::Shared, opened));
  // Windows' file system opens the remembered name too (it differs only in
  // case), so nothing is listed again there.
  const bool windows = testing_support::on_windows();
  EXPECT_EQ(opened, tmp.file(windows ? "T.DBF" : "t.dbf"));
  EXPECT_EQ(env.calls()[Call::List], windows ? 1u : 2u);
  EXPECT_EQ(thrown_kind<IoError>([&] { rt::os::open_nocase(env, tmp.file("v.dbf"), OpenMode::ReadOnly, ShareMode::Shared, opened); }),
            IoKind::NotFound);
}

}  // namespace

namespace {

// The data folder given once: relative names land in it, rooted names are
// used as given, and a command runs with it as its working folder.
TEST(FolderEnv, RelativeNamesAndCommandsUseTheBaseFolder) {
  if (testing_support::on_windows()) GTEST_SKIP() << "POSIX paths and shell";
  testing_support::TempDir data, elsewhere;
  rt::os::FolderEnv env(data.path());
  env.open_file("a.dbf", OpenMode::Truncate, ShareMode::Shared).reset();
  env.create_directories("sub");
  env.open_file("sub/b.txt", OpenMode::Truncate, ShareMode::Shared).reset();
  env.open_file(elsewhere.file("c.txt"), OpenMode::Truncate, ShareMode::Shared).reset();
  env.rename_file("a.dbf", "d.dbf");
  for (const auto& [name, in_data, in_elsewhere] : std::vector<std::tuple<std::string, bool, bool>>{
           {"d.dbf", true, false}, {"sub/b.txt", true, false}, {"c.txt", false, true}, {"a.dbf", false, false}}) {
    EXPECT_EQ(std::filesystem::exists(data.file(name)), in_data) << name;
    EXPECT_EQ(std::filesystem::exists(elsewhere.file(name)), in_elsewhere) << name;
    EXPECT_EQ(env.file_exists(name), in_data) << name;
  }
  EXPECT_EQ(env.list_directory("."), (std::vector<std::string>{"d.dbf", "sub"}));
  EXPECT_EQ(env.run_command("test -f d.dbf && touch ran"), 0);
  EXPECT_TRUE(std::filesystem::exists(data.file("ran")));
  EXPECT_EQ(rt::os::program_command(env, "D.DBF", "x"), "./d.dbf x");
}

// A rooted name without a drive ("\\VLM\\TMP\\x") lies on the data folder's
// drive (Windows); names with a drive or a server are used as given.
TEST(FolderEnv, RootedNamesLieOnTheDataFoldersDrive) {
  const bool win = testing_support::on_windows();
  const rt::os::FolderEnv env(win ? "T:\\demo" : "/srv/demo");
  for (const auto& [name, windows, posix] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"\\VLM\\TMP\\05001234.TNF", "T:\\VLM\\TMP\\05001234.TNF", "\\VLM\\TMP\\05001234.TNF"},
           {"S:\\qumar\\x.txt", "S:\\qumar\\x.txt", "/srv/demo/S:\\qumar\\x.txt"},
           {"\\\\server\\share\\x.txt", "\\\\server\\share\\x.txt", "\\\\server\\share\\x.txt"},
           {"/srv/other/x.txt", "T:/srv/other/x.txt", "/srv/other/x.txt"}})
    EXPECT_EQ(env.in_base(name), win ? windows : posix) << name;
}

}  // namespace

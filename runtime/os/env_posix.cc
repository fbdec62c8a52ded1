// The POSIX Env: the machine as this program sees it on Linux and other
// POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "runtime/os/env.h"

extern char** environ;

namespace rt::os {
namespace {

std::string errno_text(int e) { return std::strerror(e); }

IoKind kind_of(int e) {
  switch (e) {
    case ENOENT: case ENOTDIR: return IoKind::NotFound;
    case EEXIST: return IoKind::Exists;
    case EACCES: case EPERM: case EROFS: return IoKind::Denied;
    case ENOSPC: case EDQUOT: return IoKind::NoSpace;
    default: return IoKind::Failed;
  }
}

[[noreturn]] void fail(const std::string& path, const std::string& what, int e) {
  throw IoError(path, what + ": " + errno_text(e), kind_of(e));
}

// Open-file-description locks: owned by the open, not by the process.
bool ofd_lock(int fd, std::uint64_t off, std::uint64_t len, short type, bool wait) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(off);
  fl.l_len = static_cast<off_t>(len);
  fl.l_pid = 0;
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EINTR) continue;
    return false;
  }
}

class PosixFile final : public File {
 public:
  // fd_writable: the descriptor is open for writing (an exclusive read-only
  // open needs that for its share lock) even when the File is not.
  PosixFile(std::string path, int fd, bool writable, bool fd_writable, bool appends)
      : File(std::move(path), writable), fd_(fd), fd_writable_(fd_writable), appends_(appends) {}
  ~PosixFile() override { ::close(fd_); }

  std::size_t read_at(std::uint64_t off, void* buf, std::size_t n) const override {
    std::size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
      const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(off + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        fail(path(), "read failed", errno);
      }
      if (r == 0) break;
      done += static_cast<std::size_t>(r);
    }
    return done;
  }

  void write_at(std::uint64_t off, const void* buf, std::size_t n) override {
    if (!writable()) throw IoError(path(), "opened read-only", IoKind::Denied);
    std::size_t done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (done < n) {
      const ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(off + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        fail(path(), "write failed", errno);
      }
      done += static_cast<std::size_t>(r);
    }
  }

  void append(const void* buf, std::size_t n) override {
    if (!writable()) throw IoError(path(), "opened read-only", IoKind::Denied);
    if (!appends_) throw IoError(path(), "not opened to append");
    // One write() call when the OS takes it whole: O_APPEND places it at the
    // end atomically, so two programs appending never interleave.
    std::size_t done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (done < n) {
      const ssize_t r = ::write(fd_, p + done, n - done);
      if (r < 0) {
        if (errno == EINTR) continue;
        fail(path(), "write failed", errno);
      }
      done += static_cast<std::size_t>(r);
    }
  }

  std::uint64_t size() const override {
    struct stat st;
    if (fstat(fd_, &st) != 0) fail(path(), "cannot read the size", errno);
    return static_cast<std::uint64_t>(st.st_size);
  }

  void truncate(std::uint64_t size) override {
    if (!writable()) throw IoError(path(), "opened read-only", IoKind::Denied);
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) fail(path(), "cannot set the size", errno);
  }

  void sync() override {
    // Data and the size that reaches it; other metadata is not needed to
    // read the file back.
    if (::fdatasync(fd_) != 0) fail(path(), "cannot sync", errno);
  }

  bool try_lock(std::uint64_t off, std::uint64_t len, LockKind kind) override {
    return ofd_lock(fd_, off, len, type_for(kind), false);
  }
  void lock(std::uint64_t off, std::uint64_t len, LockKind kind) override {
    if (!ofd_lock(fd_, off, len, type_for(kind), true)) fail(path(), "cannot lock", errno);
  }
  void unlock(std::uint64_t off, std::uint64_t len) override { ofd_lock(fd_, off, len, F_UNLCK, false); }

 private:
  // A shared lock needs a descriptor open for reading, an exclusive one for
  // writing; a read-only descriptor therefore only takes shared locks.
  short type_for(LockKind kind) const { return (kind == LockKind::Exclusive && fd_writable_) ? F_WRLCK : F_RDLCK; }

  int fd_;
  bool fd_writable_;
  bool appends_;
};

class PosixEnv final : public Env {
 public:
  std::unique_ptr<File> open_file(const std::string& path, OpenMode mode, ShareMode share) override {
    int flags = O_CLOEXEC;
    bool writable = true;
    switch (mode) {
      case OpenMode::ReadOnly:
        // The exclusive share lock is a write lock, which needs a
        // descriptor open for writing.
        flags |= share == ShareMode::Exclusive ? O_RDWR : O_RDONLY;
        writable = false;
        break;
      case OpenMode::ReadWrite: flags |= O_RDWR; break;
      case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
      case OpenMode::Truncate: flags |= O_RDWR | O_CREAT; break;  // emptied once admitted
      case OpenMode::Append: flags |= O_RDWR | O_CREAT | O_APPEND; break;
      case OpenMode::OpenOrCreate: flags |= O_RDWR | O_CREAT; break;
    }
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
      const int e = errno;
      if (mode == OpenMode::ReadOnly && share == ShareMode::Exclusive && kind_of(e) == IoKind::Denied)
        throw IoError(path, "cannot open it exclusively: " + errno_text(e), IoKind::Denied);
      fail(path, "cannot open", e);
    }
    auto file = std::make_unique<PosixFile>(path, fd, writable, (flags & O_RDWR) != 0,
                                             (flags & O_APPEND) != 0);
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) throw IoError(path, "is a folder, not a file");
    // POSIX has no share modes: every open holds the share byte, shared or
    // exclusively, so shared and exclusive opens exclude each other.
    admit_open(*file, mode, share);
    return file;
  }

  bool file_exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  bool is_directory(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool remove_file(const std::string& path) override {
    if (::unlink(path.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    fail(path, "cannot delete", errno);
  }

  void rename_file(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) fail(from, "cannot rename to " + to, errno);
    // The new name is durable once its folder is synced.
    const std::string dir = to.find('/') == std::string::npos ? "." : to.substr(0, std::max<std::size_t>(to.rfind('/'), 1));
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    const int r = ::fsync(fd);
    const int e = errno;
    ::close(fd);
    // Some file systems cannot sync a folder (EINVAL); their renames are
    // as durable as they get.
    if (r != 0 && e != EINVAL) fail(dir, "cannot sync the folder after a rename", e);
  }

  std::vector<std::string> list_directory(const std::string& dir) override {
    std::vector<std::string> out;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
  }

  void create_directories(const std::string& dir) override {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw IoError(dir, "cannot create the folder: " + ec.message(), kind_of(ec.value()));
  }

  std::string current_directory() override {
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return ".";
    return buf;
  }

  Clock& clock() override { return system_clock(); }

  std::string get_env(const std::string& name) override {
    const char* v = std::getenv(name.c_str());
    return v ? v : "";
  }

  int run_command(const std::string& cmd) override {
    pid_t pid;
    const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

}  // namespace

Env& Env::Default() {
  static PosixEnv env;
  return env;
}

}  // namespace rt::os

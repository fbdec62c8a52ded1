#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstring>

#include "runtime/os/file.h"

namespace rt::os {
namespace {

std::string errno_text() { return std::strerror(errno); }

bool same_nocase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
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
    if (!wait && (errno == EAGAIN || errno == EACCES)) return false;
    return false;
  }
}

}  // namespace

std::unique_ptr<File> File::open(const std::string& path, OpenMode mode) {
  int flags = O_CLOEXEC;
  bool writable = true;
  switch (mode) {
    case OpenMode::ReadOnly: flags |= O_RDONLY; writable = false; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    case OpenMode::Truncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
    case OpenMode::OpenOrCreate: flags |= O_RDWR | O_CREAT; break;
  }
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) throw IoError(path, "cannot open: " + errno_text());
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw IoError(path, "is a folder, not a file");
  }
  return std::unique_ptr<File>(new File(path, fd, writable));
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t File::read_at(std::uint64_t off, void* buf, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<char*>(buf);
  while (done < n) {
    const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(off + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      throw IoError(path_, "read failed: " + errno_text());
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

void File::read_exact(std::uint64_t off, void* buf, std::size_t n) const {
  if (read_at(off, buf, n) != n)
    throw IoError(path_, "file ends before byte " + std::to_string(off + n));
}

void File::write_at(std::uint64_t off, const void* buf, std::size_t n) {
  if (!writable_) throw IoError(path_, "opened read-only");
  std::size_t done = 0;
  const auto* p = static_cast<const char*>(buf);
  while (done < n) {
    const ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(off + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      throw IoError(path_, "write failed: " + errno_text());
    }
    done += static_cast<std::size_t>(r);
  }
}

void File::append(const void* buf, std::size_t n) {
  if (!writable_) throw IoError(path_, "opened read-only");
  std::size_t done = 0;
  const auto* p = static_cast<const char*>(buf);
  while (done < n) {
    const ssize_t r = ::write(fd_, p + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      throw IoError(path_, "write failed: " + errno_text());
    }
    done += static_cast<std::size_t>(r);
  }
}

std::uint64_t File::size() const {
  struct stat st;
  if (fstat(fd_, &st) != 0) throw IoError(path_, "cannot read the size: " + errno_text());
  return static_cast<std::uint64_t>(st.st_size);
}

void File::truncate(std::uint64_t size) {
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0) throw IoError(path_, "cannot set the size: " + errno_text());
}

void File::sync() {
  if (fsync(fd_) != 0) throw IoError(path_, "cannot sync: " + errno_text());
}

bool File::try_lock(std::uint64_t off, std::uint64_t len, LockKind kind) {
  // A shared lock needs a descriptor open for reading, an exclusive one for
  // writing; a read-only open therefore only takes shared locks.
  const short type = (kind == LockKind::Exclusive && writable_) ? F_WRLCK : F_RDLCK;
  return ofd_lock(fd_, off, len, type, false);
}

void File::lock(std::uint64_t off, std::uint64_t len, LockKind kind) {
  const short type = (kind == LockKind::Exclusive && writable_) ? F_WRLCK : F_RDLCK;
  if (!ofd_lock(fd_, off, len, type, true)) throw IoError(path_, "cannot lock: " + errno_text());
}

void File::unlock(std::uint64_t off, std::uint64_t len) { ofd_lock(fd_, off, len, F_UNLCK, false); }

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool remove_file(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return true;
  if (errno == ENOENT) return false;
  throw IoError(path, "cannot delete: " + errno_text());
}

void rename_file(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) throw IoError(from, "cannot rename to " + to + ": " + errno_text());
}

std::vector<std::string> list_directory(const std::string& dir) {
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

std::optional<std::string> find_file_nocase(const std::string& dir, const std::string& name) {
  const std::string exact = join_path(dir, name);
  if (file_exists(exact)) return exact;
  for (const auto& entry : list_directory(dir))
    if (same_nocase(entry, name)) {
      std::string p = join_path(dir, entry);
      if (file_exists(p)) return p;
    }
  return std::nullopt;
}

std::string resolve_nocase(const std::string& path) {
  auto found = find_file_nocase(dirname_of(path), basename_of(path));
  return found ? *found : path;
}

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

bool has_extension(const std::string& path) {
  return basename_of(path).find('.') != std::string::npos;
}

std::string with_extension(const std::string& path, const std::string& ext) {
  const std::string base = basename_of(path);
  const auto dot = base.find_last_of('.');
  const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
  const std::string dir = path.find('/') == std::string::npos ? "" : dirname_of(path);
  return join_path(dir, stem + ext);
}

std::string current_directory() {
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) return ".";
  return buf;
}

}  // namespace rt::os

// Files, byte-range locks and folders: the only place the table engine meets
// the operating system.  A port to another system replaces file_posix.cc.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rt::os {

// Every OS failure carries the file name and what went wrong.
class IoError : public std::runtime_error {
 public:
  IoError(const std::string& path, const std::string& what)
      : std::runtime_error(path + ": " + what), path_(path) {}
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

enum class OpenMode {
  ReadOnly,
  ReadWrite,
  CreateNew,   // fails when the file exists
  Truncate,    // create or empty
  Append,      // create when missing; every append() goes to the end of the file
  OpenOrCreate,  // read-write, created empty when missing, never emptied
};

enum class LockKind { Shared, Exclusive };

// An open file.  Reads and writes go straight to the OS (no user-space
// buffer), so another process sees a write as soon as write_at returns.
// Byte-range locks belong to this open file (not to the process): two opens of
// the same file in one process exclude each other as two processes would, and
// closing one open never drops the locks of another.
class File {
 public:
  static std::unique_ptr<File> open(const std::string& path, OpenMode mode);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  const std::string& path() const { return path_; }
  bool writable() const { return writable_; }

  // Reads up to n bytes at off; returns the count read (short at end of file).
  std::size_t read_at(std::uint64_t off, void* buf, std::size_t n) const;
  // Reads exactly n bytes or throws IoError.
  void read_exact(std::uint64_t off, void* buf, std::size_t n) const;
  void write_at(std::uint64_t off, const void* buf, std::size_t n);
  // Writes at the end of the file as it is at that moment (Append opens):
  // another program appending at the same time never overwrites these
  // bytes, and they are not mixed with its own.
  void append(const void* buf, std::size_t n);
  std::uint64_t size() const;
  void truncate(std::uint64_t size);
  // Forces the data to the disk (fsync).  Not used by a normal commit.
  void sync();

  // Non-blocking: false when another open holds a conflicting lock.
  bool try_lock(std::uint64_t off, std::uint64_t len, LockKind kind);
  // Waits until the lock is granted.
  void lock(std::uint64_t off, std::uint64_t len, LockKind kind);
  void unlock(std::uint64_t off, std::uint64_t len);

 private:
  File(std::string path, int fd, bool writable) : path_(std::move(path)), fd_(fd), writable_(writable) {}
  std::string path_;
  int fd_;
  bool writable_;
};

bool file_exists(const std::string& path);
bool is_directory(const std::string& path);
// Deletes a file; false when it did not exist; throws on other failures.
bool remove_file(const std::string& path);
// Gives a file another name in the same file system, replacing a file of
// that name in one step: a reader finds the old file or the new one, never
// neither or a mixture.  Throws IoError.
void rename_file(const std::string& from, const std::string& to);
std::vector<std::string> list_directory(const std::string& dir);

// The path of an existing file whose name matches `name` without regard to
// ASCII case inside `dir` ("compitem.dbf" finds "COMPITEM.DBF"); an exact
// match wins.  nullopt when none exists.
std::optional<std::string> find_file_nocase(const std::string& dir, const std::string& name);
// Splits "dir/name" and resolves the name part case-insensitively; returns the
// path unchanged when nothing matches.
std::string resolve_nocase(const std::string& path);

std::string join_path(const std::string& dir, const std::string& name);
std::string dirname_of(const std::string& path);
std::string basename_of(const std::string& path);
// The path with its extension (the part after the last dot of the file name)
// replaced; ext includes the dot.
std::string with_extension(const std::string& path, const std::string& ext);
bool has_extension(const std::string& path);
std::string current_directory();

}  // namespace rt::os

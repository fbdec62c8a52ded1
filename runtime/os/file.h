// Files, byte-range locks and folders.  A File is opened through an Env
// (env.h), the program's one way to the operating system; the free functions
// at the end use Env::Default() and are kept for callers that have no Env at
// hand.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rt::os {

class Env;

// What kind of failure an IoError is, so that callers branch on the kind and
// never on the text.
enum class IoKind {
  Failed,    // any other failure of the operating system
  NotFound,  // the file or folder does not exist
  Exists,    // creating a file that is already there
  Denied,    // no permission (e.g. a read-only file opened for writing)
  Busy,      // another program holds the file (share mode) or the lock
  NoSpace,   // the disk is full
};

// Every OS failure carries the file name, what went wrong and its kind.
class IoError : public std::runtime_error {
 public:
  IoError(const std::string& path, const std::string& what, IoKind kind = IoKind::Failed)
      : std::runtime_error(path + ": " + what), path_(path), kind_(kind) {}
  const std::string& path() const { return path_; }
  IoKind kind() const { return kind_; }

 private:
  std::string path_;
  IoKind kind_;
};

enum class OpenMode {
  ReadOnly,
  ReadWrite,
  CreateNew,   // fails when the file exists
  Truncate,    // create or empty
  Append,      // create when missing; every append() goes to the end of the file
  OpenOrCreate,  // read-write, created empty when missing, never emptied
};

// How an open shares the file with other opens, in this process or another:
// Shared lets others open it shared; Exclusive refuses every other open and
// is refused while any other open exists.  An open that sharing refuses
// throws IoError of kind Busy.
enum class ShareMode { Shared, Exclusive };

enum class LockKind { Shared, Exclusive };

// The byte a POSIX back end locks to keep share modes (shared lock for a
// shared open, exclusive for an exclusive one): far beyond any data and above
// every table lock byte.
inline constexpr std::uint64_t kShareLockByte = 0x7FFFFFFF;

// What every back end does once a file is open: holds the share byte
// (shared or exclusively, as `share` says; IoError of kind Busy when another
// open's hold conflicts), then empties the file for a Truncate open.
class File;
void admit_open(File& file, OpenMode mode, ShareMode share);

// An open file.  Reads and writes go straight to the OS (no user-space
// buffer), so another process sees a write as soon as write_at returns; sync
// makes it durable.  Byte-range locks belong to this open file (not to the
// process): two opens of the same file in one process exclude each other as
// two processes would, and closing one open never drops the locks of
// another.
class File {
 public:
  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens through Env::Default(), shared.
  static std::unique_ptr<File> open(const std::string& path, OpenMode mode);

  const std::string& path() const { return path_; }
  bool writable() const { return writable_; }

  // Reads up to n bytes at off; returns the count read (short at end of file).
  virtual std::size_t read_at(std::uint64_t off, void* buf, std::size_t n) const = 0;
  // Reads exactly n bytes or throws IoError.
  void read_exact(std::uint64_t off, void* buf, std::size_t n) const;
  // Writes all n bytes or throws IoError (a failed write may have written part).
  virtual void write_at(std::uint64_t off, const void* buf, std::size_t n) = 0;
  // Writes at the end of the file as it is at that moment (Append opens):
  // another program appending at the same time never overwrites these
  // bytes, and they are not mixed with its own.
  virtual void append(const void* buf, std::size_t n) = 0;
  virtual std::uint64_t size() const = 0;
  virtual void truncate(std::uint64_t size) = 0;
  // Forces what was written to the disk.
  virtual void sync() = 0;
  // Hands what this open holds back (write_back_file.h) to the file; a file
  // that writes straight through has nothing to do.
  virtual void flush() {}

  // Non-blocking: false when another open holds a conflicting lock.
  virtual bool try_lock(std::uint64_t off, std::uint64_t len, LockKind kind) = 0;
  // Waits until the lock is granted.
  virtual void lock(std::uint64_t off, std::uint64_t len, LockKind kind) = 0;
  virtual void unlock(std::uint64_t off, std::uint64_t len) = 0;

 protected:
  File(std::string path, bool writable) : path_(std::move(path)), writable_(writable) {}

 private:
  std::string path_;
  bool writable_;
};

// A File that forwards every call to another one; a wrapper overrides only
// what it changes.
class FileWrapper : public File {
 public:
  explicit FileWrapper(std::unique_ptr<File> target)
      : File(target->path(), target->writable()), target_(std::move(target)) {}
  File& target() const { return *target_; }

  std::size_t read_at(std::uint64_t off, void* buf, std::size_t n) const override {
    return target_->read_at(off, buf, n);
  }
  void write_at(std::uint64_t off, const void* buf, std::size_t n) override { target_->write_at(off, buf, n); }
  void append(const void* buf, std::size_t n) override { target_->append(buf, n); }
  std::uint64_t size() const override { return target_->size(); }
  void truncate(std::uint64_t size) override { target_->truncate(size); }
  void sync() override { target_->sync(); }
  void flush() override { target_->flush(); }
  bool try_lock(std::uint64_t off, std::uint64_t len, LockKind kind) override {
    return target_->try_lock(off, len, kind);
  }
  void lock(std::uint64_t off, std::uint64_t len, LockKind kind) override { target_->lock(off, len, kind); }
  void unlock(std::uint64_t off, std::uint64_t len) override { target_->unlock(off, len); }

 private:
  std::unique_ptr<File> target_;
};

// Folder queries of Env::Default().
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
std::optional<std::string> find_file_nocase(Env& env, const std::string& dir, const std::string& name);
std::optional<std::string> find_file_nocase(const std::string& dir, const std::string& name);
// Splits "dir/name" and resolves the name part case-insensitively; returns the
// path unchanged when nothing matches.  A folder's names are listed once per
// run and again only when a name is not among them; a caller whose open of
// the resolved path finds no file calls forget_names and resolves again (the
// file may have been renamed since), as open_nocase does.
std::string resolve_nocase(Env& env, const std::string& path);
// The names among `names` that the folder `dir` lacks (case ignored), by
// one listing of the folder, which resolve_nocase then uses: a look for
// several files costs one call, not one each, and their opens none more.
std::vector<std::string> missing_in_folder(Env& env, const std::string& dir, const std::vector<std::string>& names);
// resolve_nocase for a file this program is about to create or replace:
// when the folder's names are remembered, a name not among them is taken as
// new and the folder is not listed again.
std::string resolve_to_create(Env& env, const std::string& path);
// Drops the names remembered for the folder of `path`.
void forget_names(Env& env, const std::string& path);
// Adds a file this program has just created to the names remembered for its
// folder, so that opening it next needs no new listing of the folder.
void note_created(Env& env, const std::string& path);
// Opens `path` resolved without regard to case, resolving once more when
// the name remembered is gone; `resolved` gets the path tried last.
std::unique_ptr<File> open_nocase(Env& env, const std::string& path, OpenMode mode, ShareMode share,
                                  std::string& resolved);
std::string resolve_nocase(const std::string& path);

// Path texts (no OS call).
std::string join_path(const std::string& dir, const std::string& name);
std::string dirname_of(const std::string& path);
std::string basename_of(const std::string& path);
// The path with its extension (the part after the last dot of the file name)
// replaced; ext includes the dot.
std::string with_extension(const std::string& path, const std::string& ext);
bool has_extension(const std::string& path);
std::string current_directory();

}  // namespace rt::os

// The FPT memo file: a 512-byte header (next free block, block size, both
// big-endian) followed by memo blocks (type, length, data).  The codec
// functions work on bytes in memory; MemoFile does the file I/O.  Locking is
// the Table's job: MemoFile::append expects the caller to hold the memo lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/os/env.h"
#include "runtime/os/file.h"

namespace rt::table {

inline constexpr std::uint32_t kMemoHeaderSize = 512;
inline constexpr std::uint32_t kDefaultMemoBlockSize = 64;
inline constexpr std::uint32_t kMemoTypePicture = 0;
inline constexpr std::uint32_t kMemoTypeText = 1;
inline constexpr std::uint32_t kMemoTypeObject = 2;

struct MemoHeader {
  std::uint32_t next_free = 0;   // block number where the next memo goes
  std::uint32_t block_size = 0;  // bytes per block
};

// Reads the header from the first bytes of the file.  Throws TableError
// (Corrupt) naming `file` when it is shorter than 8 bytes or the block size
// is 0.
MemoHeader parse_memo_header(std::string_view bytes, const std::string& file);
std::string encode_memo_header(const MemoHeader& header);

// The first block a memo may start at (the header's blocks come first).
std::uint32_t first_data_block(std::uint32_t block_size);
// Blocks a memo of `length` data bytes occupies.
std::uint64_t blocks_for(std::uint64_t length, std::uint32_t block_size);

struct MemoBlock {
  std::uint32_t type = kMemoTypeText;
  std::string data;
};

// Reads the memo at `block` from a whole memo file in memory.  Throws
// TableError(Corrupt) naming `file` when the block lies inside the header or
// past the end, or its length runs past the end.
MemoBlock read_memo_from_bytes(std::string_view file_bytes, std::uint32_t block, const std::string& file);

class MemoFile {
 public:
  // Opens an existing memo file (writable or not) with the table's share
  // mode and reads its header.  TableError Busy when sharing refuses it.
  static std::unique_ptr<MemoFile> open(os::Env& env, const std::string& path, bool writable,
                                        os::ShareMode share = os::ShareMode::Shared);
  // Makes `emptied` (an empty file this program holds exclusively) an empty
  // memo file and keeps it open exclusively.
  static std::unique_ptr<MemoFile> create_open(std::unique_ptr<os::File> emptied,
                                               std::uint32_t block_size = kDefaultMemoBlockSize);
  // Creates an empty memo file (fails when it exists unless overwrite).
  static void create(os::Env& env, const std::string& path, std::uint32_t block_size = kDefaultMemoBlockSize,
                     bool overwrite = false, bool sync = false);

  const std::string& path() const { return file_->path(); }
  std::uint32_t block_size() const { return block_size_; }
  os::File& file() { return *file_; }

  // Makes what this open wrote durable (nothing to do when it wrote
  // nothing since the last sync); a deferred next-free pointer is written
  // first.
  void sync();
  // An exclusive open may leave the next-free pointer in memory until
  // flush() or sync() (for a private scratch table).  A pointer left behind
  // by a kill is harmless: append never writes below the end of the file.
  void defer_header(bool on);
  // Writes a deferred next-free pointer (nothing when none is pending) and
  // hands what the file holds back to it (os::File::flush).
  void flush();
  bool unsynced() const { return unsynced_; }

  // The memo at `block` (checked against the file's current size).
  MemoBlock read(std::uint32_t block) const;
  // Data length of the memo at `block` (from its block header), checked.
  std::uint32_t length_at(std::uint32_t block) const;
  // Writes a new memo at the next free block (never before the end of the
  // file, so no existing block is touched), pads it to whole blocks and moves
  // the next-free pointer on.  The caller holds the memo lock.  Returns the
  // block number.
  std::uint32_t append(std::string_view data, std::uint32_t type = kMemoTypeText);
  // Rewrites the memo at `block` in place when `data` fits in the blocks the
  // memo there already occupies; false (nothing written) otherwise.  The
  // caller owns that memo (holds the record's lock).
  bool rewrite_in_place(std::uint32_t block, std::string_view data, std::uint32_t type = kMemoTypeText);

 private:
  MemoFile(std::unique_ptr<os::File> file, std::uint32_t block_size, bool exclusive)
      : file_(std::move(file)), block_size_(block_size), exclusive_(exclusive) {}
  void write_next_free(std::uint64_t next);
  std::unique_ptr<os::File> file_;
  std::uint32_t block_size_;
  bool unsynced_ = false;
  // An exclusive open keeps the block its next memo goes to (0: not known
  // yet, or a write failed) instead of reading the header and the size for
  // each append: nobody else writes the file while it is open.
  bool exclusive_;
  std::uint64_t end_block_ = 0;
  bool defer_header_ = false;
  std::uint64_t pending_next_ = 0;  // a deferred next-free pointer, 0: none
};

}  // namespace rt::table

// A file this program holds exclusively and rewrites whole, kept in memory:
// its earlier content is of no interest and reads as empty, every read is
// answered from memory, and writes are gathered there until flush(), which
// hands the changed bytes to the file in one write and cuts the file to its
// size (the first flush writes over the earlier content: emptying the file
// at its open would free its space only for the new content to take it
// again, and some file systems write a file emptied and rewritten through at
// its close).  sync() flushes, then syncs the file.
//
// For a private scratch file that its owner rebuilds at every use (the
// seller's check table): no other program reads it, so until flushed the
// file on disk may lag behind without anyone seeing it, and an operation on
// it costs no call on a network drive.  Destroying it flushes what is left,
// ignoring failures; call flush() first to hear of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/os/file.h"

namespace rt::os {

class WriteBackFile final : public FileWrapper {
 public:
  // `target` must be open exclusively.
  explicit WriteBackFile(std::unique_ptr<File> target) : FileWrapper(std::move(target)) {}
  ~WriteBackFile() override;

  std::size_t read_at(std::uint64_t off, void* buf, std::size_t n) const override;
  void write_at(std::uint64_t off, const void* buf, std::size_t n) override;
  void append(const void* buf, std::size_t n) override;
  std::uint64_t size() const override { return bytes_.size(); }
  void truncate(std::uint64_t size) override;
  void sync() override;
  void flush() override;

 private:
  void mark(std::uint64_t from, std::uint64_t to);

  std::string bytes_;              // the file's content as this open sees it
  std::uint64_t on_disk_size_ = 0;  // the file's size as last flushed
  bool size_unknown_ = true;       // until the first flush
  std::uint64_t dirty_from_ = 0, dirty_to_ = 0;  // changed bytes not yet written back
};

// A scratch file to rewrite: `path` opened exclusively (created when
// missing) as a WriteBackFile, and counted among its folder's known names.
// IoError of kind Busy when another open holds it (left as it is).
std::unique_ptr<File> open_scratch(Env& env, const std::string& path);

}  // namespace rt::os

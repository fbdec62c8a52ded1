// A file this program holds exclusively, kept whole in memory: read once
// when wrapped (not at all when it was just created or emptied), every read
// answered from memory, and writes gathered there until flush(), which
// hands the changed bytes to the file in one write (and sets its size).
// sync() flushes, then syncs the file.
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
  // What the file holds when it is wrapped.
  enum class Start {
    Read,     // its content, read whole now
    Empty,    // nothing: it has just been created or emptied
    // Content of no interest, which it reads as empty: the first flush
    // writes the new content over it and cuts the file to its size (one
    // call more then, instead of emptying the file at its open: emptying
    // frees the file's space only for the new content to take it again,
    // and some file systems write a file emptied and rewritten through at
    // its close).
    Replace,
  };
  // `target` must be open exclusively.  Throws IoError when reading it
  // fails.
  WriteBackFile(std::unique_ptr<File> target, Start start);
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
  bool size_unknown_ = false;       // Start::Replace until the first flush
  std::uint64_t dirty_from_ = 0, dirty_to_ = 0;  // changed bytes not yet written back
};

}  // namespace rt::os

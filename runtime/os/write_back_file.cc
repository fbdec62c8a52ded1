#include "runtime/os/write_back_file.h"

#include <algorithm>
#include <cstring>

#include "runtime/os/env.h"

namespace rt::os {

WriteBackFile::~WriteBackFile() {
  try {
    flush();
  } catch (...) {
  }
}

std::size_t WriteBackFile::read_at(std::uint64_t off, void* buf, std::size_t n) const {
  if (off >= bytes_.size()) return 0;
  const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, bytes_.size() - off));
  std::memcpy(buf, bytes_.data() + off, k);
  return k;
}

void WriteBackFile::mark(std::uint64_t from, std::uint64_t to) {
  if (from >= to) return;
  if (dirty_from_ == dirty_to_) {
    dirty_from_ = from;
    dirty_to_ = to;
  } else {
    dirty_from_ = std::min(dirty_from_, from);
    dirty_to_ = std::max(dirty_to_, to);
  }
}

void WriteBackFile::write_at(std::uint64_t off, const void* buf, std::size_t n) {
  if (n == 0) return;
  // A write past the end leaves zeros between, as the file would.
  if (off + n > bytes_.size()) {
    mark(bytes_.size(), off);
    bytes_.resize(off + n, '\0');
  }
  std::memcpy(bytes_.data() + off, buf, n);
  mark(off, off + n);
}

void WriteBackFile::append(const void* buf, std::size_t n) { write_at(bytes_.size(), buf, n); }

void WriteBackFile::truncate(std::uint64_t size) {
  if (size > bytes_.size()) mark(bytes_.size(), size);
  bytes_.resize(size, '\0');
  dirty_to_ = std::min<std::uint64_t>(dirty_to_, size);
  if (dirty_from_ > dirty_to_) dirty_from_ = dirty_to_;
}

void WriteBackFile::flush() {
  if (dirty_from_ < dirty_to_) {
    FileWrapper::write_at(dirty_from_, bytes_.data() + dirty_from_, dirty_to_ - dirty_from_);
    on_disk_size_ = std::max<std::uint64_t>(on_disk_size_, dirty_to_);
    dirty_from_ = dirty_to_ = 0;
  }
  if (size_unknown_ || on_disk_size_ > bytes_.size()) {
    FileWrapper::truncate(bytes_.size());
    on_disk_size_ = bytes_.size();
    size_unknown_ = false;
  }
}

std::unique_ptr<File> open_scratch(Env& env, const std::string& path) {
  auto file = std::make_unique<WriteBackFile>(env.open_file(path, OpenMode::OpenOrCreate, ShareMode::Exclusive));
  note_created(env, path);
  return file;
}

void WriteBackFile::sync() {
  flush();
  FileWrapper::sync();
}

}  // namespace rt::os

#include "runtime/table/memo_file.h"

#include <cstring>

#include "runtime/table/error.h"

namespace rt::table {

namespace {

std::uint32_t be32(const unsigned char* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
void put_be32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

[[noreturn]] void corrupt(const std::string& file, const std::string& what) {
  throw TableError(ErrorKind::Corrupt, file, what);
}

// Checks a memo reference against the file size; returns the data length.
std::uint32_t check_block(std::uint32_t block, std::uint32_t block_size, std::uint64_t file_size,
                          const unsigned char head[8], const std::string& file) {
  const std::uint32_t length = be32(head + 4);
  const std::uint64_t start = static_cast<std::uint64_t>(block) * block_size;
  if (start + 8 + length > file_size)
    corrupt(file, "memo at block " + std::to_string(block) + " claims " + std::to_string(length) +
                      " bytes, past the end of the file");
  return length;
}

void check_position(std::uint32_t block, std::uint32_t block_size, std::uint64_t file_size, const std::string& file) {
  if (block < first_data_block(block_size))
    corrupt(file, "memo reference " + std::to_string(block) + " points into the memo file's header");
  const std::uint64_t start = static_cast<std::uint64_t>(block) * block_size;
  if (start + 8 > file_size)
    corrupt(file, "memo reference " + std::to_string(block) + " points past the end of the file");
}

}  // namespace

MemoHeader parse_memo_header(std::string_view bytes, const std::string& file) {
  if (bytes.size() < 8) corrupt(file, "truncated memo file header (" + std::to_string(bytes.size()) + " bytes)");
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  MemoHeader h;
  h.next_free = be32(p);
  h.block_size = static_cast<std::uint32_t>((p[6] << 8) | p[7]);
  if (h.block_size == 0) corrupt(file, "memo block size is 0");
  return h;
}

std::string encode_memo_header(const MemoHeader& h) {
  std::string out(kMemoHeaderSize, '\0');
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  put_be32(p, h.next_free);
  p[6] = static_cast<unsigned char>((h.block_size >> 8) & 0xFF);
  p[7] = static_cast<unsigned char>(h.block_size & 0xFF);
  return out;
}

std::uint32_t first_data_block(std::uint32_t block_size) {
  return static_cast<std::uint32_t>((kMemoHeaderSize + block_size - 1) / block_size);
}

std::uint64_t blocks_for(std::uint64_t length, std::uint32_t block_size) {
  return (8 + length + block_size - 1) / block_size;
}

MemoBlock read_memo_from_bytes(std::string_view bytes, std::uint32_t block, const std::string& file) {
  const MemoHeader h = parse_memo_header(bytes, file);
  check_position(block, h.block_size, bytes.size(), file);
  const std::size_t start = static_cast<std::size_t>(static_cast<std::uint64_t>(block) * h.block_size);
  const auto* head = reinterpret_cast<const unsigned char*>(bytes.data() + start);
  const std::uint32_t length = check_block(block, h.block_size, bytes.size(), head, file);
  MemoBlock m;
  m.type = be32(head);
  m.data.assign(bytes.data() + start + 8, length);
  return m;
}

std::unique_ptr<MemoFile> MemoFile::open(os::Env& env, const std::string& given, bool writable, os::ShareMode share) {
  std::unique_ptr<os::File> f;
  std::string path = given;
  try {
    f = os::open_nocase(env, given, writable ? os::OpenMode::ReadWrite : os::OpenMode::ReadOnly, share, path);
  } catch (const os::IoError& e) {
    if (e.kind() == os::IoKind::NotFound)
      throw TableError(ErrorKind::Corrupt, path, "memo file " + os::basename_of(given) + " is missing");
    throw TableError(e.kind() == os::IoKind::Busy ? ErrorKind::Busy : ErrorKind::Io, path, e.what());
  }
  // An exclusive open reads a little more in the same call: a short read
  // means the whole file came in, so where its next memo goes is known
  // without a size call.
  const bool exclusive = share == os::ShareMode::Exclusive;
  unsigned char head[4096];
  const std::size_t want = exclusive ? sizeof head : 8;
  const std::size_t n = f->read_at(0, head, want);
  const MemoHeader h = parse_memo_header(std::string_view(reinterpret_cast<const char*>(head), n), path);
  std::unique_ptr<MemoFile> m(new MemoFile(std::move(f), h.block_size, exclusive));
  if (exclusive && n < want)
    m->end_block_ = std::max<std::uint64_t>(std::max(h.next_free, first_data_block(h.block_size)),
                                            (n + h.block_size - 1) / h.block_size);
  return m;
}

std::unique_ptr<MemoFile> MemoFile::create_open(std::unique_ptr<os::File> emptied, std::uint32_t block_size) {
  if (block_size == 0 || block_size > 0xFFFF)
    throw TableError(ErrorKind::Usage, emptied->path(), "memo block size must be 1 to 65535");
  MemoHeader h;
  h.block_size = block_size;
  h.next_free = first_data_block(block_size);
  const std::string bytes = encode_memo_header(h);
  try {
    emptied->write_at(0, bytes.data(), bytes.size());
  } catch (const os::IoError& e) {
    throw TableError(ErrorKind::Io, emptied->path(), e.what());
  }
  std::unique_ptr<MemoFile> m(new MemoFile(std::move(emptied), block_size, true));
  m->end_block_ = h.next_free;
  return m;
}

void MemoFile::create(os::Env& env, const std::string& path, std::uint32_t block_size, bool overwrite, bool sync) {
  if (block_size == 0 || block_size > 0xFFFF)
    throw TableError(ErrorKind::Usage, path, "memo block size must be 1 to 65535");
  MemoHeader h;
  h.block_size = block_size;
  h.next_free = first_data_block(block_size);
  const std::string bytes = encode_memo_header(h);
  try {
    auto f = env.open_file(path, overwrite ? os::OpenMode::Truncate : os::OpenMode::CreateNew,
                           os::ShareMode::Exclusive);
    f->write_at(0, bytes.data(), bytes.size());
    if (sync) f->sync();
  } catch (const os::IoError& e) {
    throw TableError(ErrorKind::Io, path, e.what());
  }
}

std::uint32_t MemoFile::length_at(std::uint32_t block) const {
  try {
    const std::uint64_t size = file_->size();
    check_position(block, block_size_, size, path());
    unsigned char head[8];
    file_->read_exact(static_cast<std::uint64_t>(block) * block_size_, head, 8);
    return check_block(block, block_size_, size, head, path());
  } catch (const os::IoError& e) {
    throw TableError(ErrorKind::Io, path(), e.what());
  }
}

MemoBlock MemoFile::read(std::uint32_t block) const {
  try {
    const std::uint64_t size = file_->size();
    check_position(block, block_size_, size, path());
    const std::uint64_t start = static_cast<std::uint64_t>(block) * block_size_;
    unsigned char head[8];
    file_->read_exact(start, head, 8);
    const std::uint32_t length = check_block(block, block_size_, size, head, path());
    MemoBlock m;
    m.type = be32(head);
    m.data.resize(length);
    if (length) file_->read_exact(start + 8, m.data.data(), length);
    return m;
  } catch (const os::IoError& e) {
    throw TableError(ErrorKind::Io, path(), e.what());
  }
}

namespace {
std::string block_image(std::string_view data, std::uint32_t type, std::uint32_t block_size) {
  std::string out(static_cast<std::size_t>(blocks_for(data.size(), block_size) * block_size), '\0');
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  put_be32(p, type);
  put_be32(p + 4, static_cast<std::uint32_t>(data.size()));
  std::memcpy(out.data() + 8, data.data(), data.size());
  return out;
}
}  // namespace

std::uint32_t MemoFile::append(std::string_view data, std::uint32_t type) {
  if (!file_->writable()) throw TableError(ErrorKind::ReadOnly, path(), "memo file is open read-only");
  if (data.size() > 0x7FFFFFF0u) throw TableError(ErrorKind::ValueRefused, path(), "memo text too long");
  try {
    std::uint64_t block = end_block_;
    if (block == 0) {
      unsigned char head[8];
      const std::size_t n = file_->read_at(0, head, sizeof head);
      const MemoHeader h = parse_memo_header(std::string_view(reinterpret_cast<const char*>(head), n), path());
      if (h.block_size != block_size_) corrupt(path(), "memo block size changed while open");
      // Never write below the end of the file: blocks there may belong to a
      // memo whose writer did not (yet) move the pointer.
      const std::uint64_t size = file_->size();
      block = std::max<std::uint64_t>(h.next_free, first_data_block(block_size_));
      block = std::max<std::uint64_t>(block, (size + block_size_ - 1) / block_size_);
    }
    const std::uint64_t next = block + blocks_for(data.size(), block_size_);
    if (next > 0xFFFFFFFFull || next * block_size_ > 0x7FFFFFFEull)
      throw TableError(ErrorKind::ValueRefused, path(), "memo file is full");
    const std::string image = block_image(data, type, block_size_);
    unsynced_ = true;
    end_block_ = 0;  // known again only when both writes went through
    file_->write_at(block * block_size_, image.data(), image.size());
    if (exclusive_ && defer_header_) {
      pending_next_ = next;
    } else {
      write_next_free(next);
    }
    if (exclusive_) end_block_ = next;
    return static_cast<std::uint32_t>(block);
  } catch (const os::IoError& e) {
    throw TableError(ErrorKind::Io, path(), e.what());
  }
}

void MemoFile::write_next_free(std::uint64_t next) {
  unsigned char nf[4];
  put_be32(nf, static_cast<std::uint32_t>(next));
  file_->write_at(0, nf, 4);
}

void MemoFile::defer_header(bool on) {
  if (!on) flush();
  defer_header_ = on;
}

void MemoFile::flush() {
  try {
    if (pending_next_ != 0) write_next_free(pending_next_);
    pending_next_ = 0;
    file_->flush();
  } catch (const os::IoError& e) {
    throw TableError(ErrorKind::Io, path(), e.what());
  }
}

void MemoFile::sync() {
  flush();
  if (!unsynced_) return;
  try {
    file_->sync();
  } catch (const os::IoError& e) {
    throw TableError(ErrorKind::Io, path(), e.what());
  }
  unsynced_ = false;
}

bool MemoFile::rewrite_in_place(std::uint32_t block, std::string_view data, std::uint32_t type) {
  if (!file_->writable()) throw TableError(ErrorKind::ReadOnly, path(), "memo file is open read-only");
  const std::uint32_t old_length = length_at(block);
  if (blocks_for(data.size(), block_size_) > blocks_for(old_length, block_size_)) return false;
  try {
    // Block header and data only: the rest of the old blocks is left as it is.
    std::string image = block_image(data, type, block_size_);
    image.resize(8 + data.size());
    unsynced_ = true;
    file_->write_at(static_cast<std::uint64_t>(block) * block_size_, image.data(), image.size());
    return true;
  } catch (const os::IoError& e) {
    throw TableError(ErrorKind::Io, path(), e.what());
  }
}

}  // namespace rt::table

#include "runtime/cdx/store.h"

#include <algorithm>
#include <cstring>

namespace rt::cdx {

// The bag reads the size when it first takes its lock (refresh_size).
PageStore::PageStore(os::File& file, std::string bag_name) : file_(file), bag_(std::move(bag_name)) {}

namespace {
std::uint32_t pages_in(std::uint64_t size) {
  return size / kPageSize > 0xFFFFFFFFull / kPageSize ? std::uint32_t(0xFFFFFFFFull / kPageSize)
                                                       : std::uint32_t(size / kPageSize);
}
}  // namespace

void PageStore::refresh_size() {
  size_ = file_.size();
  pages_ = pages_in(size_);
}

void PageStore::check_page(std::uint32_t off, const std::string& tag, const char* what) const {
  if (off % kPageSize != 0 || off < kHeaderSize || off / kPageSize >= pages_)
    throw CdxError(bag_, tag, std::string(what) + " " + std::to_string(off) + " is not a page of the bag (" +
                                  std::to_string(pages_) + " pages)");
}

std::shared_ptr<const Node> PageStore::node(std::uint32_t off, int key_length, std::uint8_t pad,
                                            const std::string& tag) {
  ++stats_.pages_visited;
  auto it = cache_.find(off);
  const bool known = it != cache_.end() && it->second.key_length == key_length && it->second.pad == pad;
  if (known && it->second.epoch == epoch_) return it->second.node;
  const bool ahead = ahead_holds(off, kPageSize);
  if (offline_ && !ahead) {
    if (!reach_ || !reach_()) throw PageNotCached{};
    offline_ = false;
  }
  check_page(off, tag, "page offset");
  std::uint8_t buf[kPageSize];
  if (ahead) {
    std::memcpy(buf, ahead_.data() + off, kPageSize);
  } else {
    file_.read_exact(off, buf, kPageSize);
    ++stats_.pages_read;
  }
  if (known && std::memcmp(buf, it->second.raw.data(), kPageSize) == 0) {
    it->second.epoch = epoch_;
    return it->second.node;
  }
  std::shared_ptr<const Node> n;
  try {
    n = std::make_shared<const Node>(decode_node(buf, key_length, pad));
  } catch (const PageError& e) {
    throw CdxError(bag_, tag, "page " + std::to_string(off) + ": " + e.what());
  }
  remember(off, n, pad, buf);
  return n;
}

void PageStore::remember(std::uint32_t off, std::shared_ptr<const Node> n, std::uint8_t pad, const std::uint8_t* raw) {
  if (cache_.size() >= kMaxCached) cache_.clear();
  Cached& c = cache_[off];
  c.key_length = n->key_length;
  c.pad = pad;
  c.node = std::move(n);
  c.epoch = epoch_;
  std::memcpy(c.raw.data(), raw, kPageSize);
}

void PageStore::put(std::uint32_t off, const Node& n, std::uint8_t pad, const std::string& tag) {
  std::uint8_t buf[kPageSize];
  try {
    encode_node(n, pad, buf);
  } catch (const PageError& e) {
    throw CdxError(bag_, tag, "page " + std::to_string(off) + ": " + e.what());
  }
  write_raw(off, buf, kPageSize);
  ++stats_.pages_written;
  remember(off, std::make_shared<const Node>(n), pad, buf);
}

void PageStore::about_to_write() {
  if (!before_write_) return;
  auto hook = std::move(before_write_);
  before_write_ = nullptr;
  hook();
}

bool PageStore::read_ahead(std::size_t n) {
  ahead_.resize(n);
  try {
    ahead_.resize(file_.read_at(0, ahead_.data(), n));
  } catch (...) {
    forget_ahead();
    throw;
  }
  ahead_whole_ = ahead_.size() < n;
  if (ahead_whole_) {
    size_ = ahead_.size();
    pages_ = pages_in(size_);
  }
  return ahead_whole_;
}

void PageStore::read(std::uint64_t off, void* buf, std::size_t n) {
  if (ahead_holds(off, n)) std::memcpy(buf, ahead_.data() + off, n);
  else file_.read_exact(off, buf, n);
}

void PageStore::write_raw(std::uint64_t off, const void* bytes, std::size_t n) {
  about_to_write();
  file_.write_at(off, bytes, n);
  // The bytes read ahead stay the file's: patched, or grown at the end (a
  // write past the end leaves zeros between, in the file as here).
  if (!ahead_.empty()) {
    if (ahead_whole_ && off + n > ahead_.size() && off + n <= kAheadLimit) ahead_.resize(off + n, '\0');
    if (off < ahead_.size()) {
      const std::size_t k = std::min<std::uint64_t>(n, ahead_.size() - off);
      std::memcpy(ahead_.data() + off, bytes, k);
      if (k < n) ahead_whole_ = false;  // its end is no longer the file's
    } else if (off + n > ahead_.size()) {
      ahead_whole_ = false;
    }
  }
  const std::uint64_t end = (off + n + kPageSize - 1) / kPageSize;
  if (end > pages_) pages_ = std::uint32_t(end);
  size_ = std::max<std::uint64_t>(size_, off + n);
}

// Only a writer allocates, under the bag's exclusive lock (or in its
// exclusive open): the size known is the file's.
std::uint32_t PageStore::allocate(std::uint32_t count) {
  const std::uint64_t off = (size_ + kPageSize - 1) / kPageSize * kPageSize;
  if (off + std::uint64_t(count) * kPageSize > 0x7FFFFFFFull)
    throw CdxError(bag_, "", "the bag would grow beyond 2 GB");
  // Reserve the pages at once so that the file's page count covers them.
  std::uint8_t zero[kPageSize] = {};
  write_raw(off + std::uint64_t(count - 1) * kPageSize, zero, kPageSize);
  return std::uint32_t(off);
}

void PageStore::release(std::uint32_t off) {
  cache_.erase(off);
  ++stats_.pages_left;
}

}  // namespace rt::cdx

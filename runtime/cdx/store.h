// Page access for one open bag: reads and writes 512-byte pages through
// rt::os::File, keeps decoded pages in a cache, counts disk reads, and owns
// page allocation (free-page list or end of file).
//
// The cache is only valid for one value of the bag's change counter; the bag
// drops it (drop()) whenever another process has changed the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "runtime/cdx/page.h"
#include "runtime/os/file.h"

namespace rt::cdx {

struct PageStats {
  std::uint64_t pages_read = 0;     // pages fetched from the file
  std::uint64_t pages_visited = 0;  // pages looked at (cache hits included)
  std::uint64_t pages_written = 0;
};

// Free-page chain (directory header bytes 4-7 hold the head, 0 or -1 =
// empty).  A freed page is written as an empty interior page: bytes 0-3 zero
// (attributes 0, no keys), bytes 4-7 the offset of the next free page (LE,
// -1 at the end of the chain), bytes 8-11 -1, the rest zero.  A reader that
// takes bytes 0-3 as the link sees the end of the chain, so no reader can
// follow the chain into a page in use.
class PageStore {
 public:
  PageStore(os::File& file, std::string bag_name);

  const std::string& bag_name() const { return bag_; }
  os::File& file() { return file_; }

  // Number of whole pages in the file (refreshed by refresh_size()).
  std::uint32_t page_count() const { return pages_; }
  void refresh_size();

  // A decoded page; throws CdxError (naming `tag`) when the offset is outside
  // the file or the page is damaged.
  std::shared_ptr<const Node> node(std::uint32_t off, int key_length, std::uint8_t pad, const std::string& tag);
  // Encodes, writes and caches a page.
  void put(std::uint32_t off, const Node& n, std::uint8_t pad, const std::string& tag);
  void write_raw(std::uint64_t off, const void* bytes, std::size_t n);

  // A page for new content: the head of the free list, or a new page at the
  // end of the file.
  std::uint32_t allocate(const std::string& tag);
  // Pages at the end of the file for a bulk write (never from the free list).
  std::uint32_t allocate_at_end(std::uint32_t count);
  void release(std::uint32_t off);

  void check_page(std::uint32_t off, const std::string& tag, const char* what) const;

  void drop() { cache_.clear(); }
  PageStats& stats() { return stats_; }

 private:
  struct Cached {
    std::shared_ptr<const Node> node;
    int key_length;
    std::uint8_t pad;
  };
  std::int32_t free_head();
  void set_free_head(std::int32_t head);

  os::File& file_;
  std::string bag_;
  std::uint32_t pages_ = 0;
  std::unordered_map<std::uint32_t, Cached> cache_;
  PageStats stats_;
  static constexpr std::size_t kMaxCached = 1u << 16;
};

}  // namespace rt::cdx

// Page access for one open bag: reads and writes 512-byte pages through
// rt::os::File, keeps decoded pages in a cache, counts disk reads, and owns
// page allocation.
//
// The cache is only valid while nobody else writes the file; the bag drops
// it (drop()) whenever it takes its lock to write and whenever another
// process has changed the file.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
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
  std::uint64_t pages_left = 0;  // pages no longer reached, left unused in the file
};

// Pages are only ever added at the end of the file.  A page that a change
// no longer needs is left where it is, unused, until the next reindex writes
// a compact file: a page the old tree (or another program that read it a
// moment ago) can still reach is never overwritten with other content, and
// nothing is written into the free-page list (directory header bytes 4-7),
// whose chain format the suite's other programs do not document.  A head
// found there is never followed.
// Thrown by a store kept from its file (set_offline) when a page is not in
// its cache and the file may no longer hold what the cache does: the caller
// takes the bag's lock and starts over.
struct PageNotCached {};

class PageStore {
 public:
  PageStore(os::File& file, std::string bag_name);

  const std::string& bag_name() const { return bag_; }
  os::File& file() { return file_; }

  // Number of whole pages in the file and its size in bytes, as last read
  // (refresh_size()) and grown by this store's own writes: true while nobody
  // else writes the file (the bag's exclusive lock, or its exclusive open).
  std::uint32_t page_count() const { return pages_; }
  std::uint64_t size() const { return size_; }
  void refresh_size();

  // A decoded page; throws CdxError (naming `tag`) when the offset is outside
  // the file or the page is damaged.
  std::shared_ptr<const Node> node(std::uint32_t off, int key_length, std::uint8_t pad, const std::string& tag);
  // Encodes, writes and caches a page.
  void put(std::uint32_t off, const Node& n, std::uint8_t pad, const std::string& tag);
  void write_raw(std::uint64_t off, const void* bytes, std::size_t n);
  // Forces what was written to the disk.
  void sync() { file_.sync(); }

  // `count` new pages at the end of the file; returns the first one's offset.
  std::uint32_t allocate(std::uint32_t count = 1);
  // A page no tree reaches any more: left unused in the file.
  void release(std::uint32_t off);

  // Called once before the next write reaches the file (the bag raises its
  // change counter there, so other programs drop their cached pages before
  // any page changes under them).
  void before_next_write(std::function<void()> hook) { before_write_ = std::move(hook); }

  void check_page(std::uint32_t off, const std::string& tag, const char* what) const;

  // Reads the file's first `n` bytes in one call: until they are forgotten,
  // the headers and pages in them need no read of their own.  A
  // short read tells the file's size too: true then (refresh_size() is
  // not needed).
  bool read_ahead(std::size_t n);
  // n bytes at off, from the bytes read ahead when they hold them.
  void read(std::uint64_t off, void* buf, std::size_t n);

  // Every cached page must be read from the file again before it is used
  // (the bytes read ahead too, with forget_ahead()).  The decoded copy is
  // kept only to spare decoding a page whose bytes have not changed.
  void drop() { ++epoch_; }
  void forget_ahead() {
    ahead_.clear();
    ahead_whole_ = false;
  }
  // While offline, pages come from the cache only.  A page not cached asks
  // `reach` to give the store its file back: it returns true once pages
  // read from the file agree with those cached (the bag locked and its
  // counter unchanged) and the store is online again; false (or no `reach`)
  // throws PageNotCached.  `reach` must not call set_offline.
  void set_offline(bool offline, std::function<bool()> reach = nullptr) {
    offline_ = offline;
    reach_ = std::move(reach);
  }
  PageStats& stats() { return stats_; }

 private:
  struct Cached {
    std::shared_ptr<const Node> node;
    int key_length;
    std::uint8_t pad;
    std::uint64_t epoch;                     // valid without reading while epoch_ has this value
    std::array<std::uint8_t, kPageSize> raw;  // the page's bytes as decoded
  };
  void remember(std::uint32_t off, std::shared_ptr<const Node> n, std::uint8_t pad, const std::uint8_t* raw);
  void about_to_write();

  bool ahead_holds(std::uint64_t off, std::size_t n) const { return off + n <= ahead_.size(); }

  os::File& file_;
  std::string bag_;
  // The file's first bytes as read ahead, kept up to date by this store's
  // writes until forgotten (the bag reads them again whenever another
  // program changed the file); ahead_whole_: they reach the file's end, so
  // writes at the end extend them.
  std::string ahead_;
  bool ahead_whole_ = false;
  std::uint32_t pages_ = 0;
  std::uint64_t size_ = 0;
  std::unordered_map<std::uint32_t, Cached> cache_;
  std::uint64_t epoch_ = 1;
  PageStats stats_;
  std::function<void()> before_write_;
  bool offline_ = false;
  std::function<bool()> reach_;
  static constexpr std::size_t kMaxCached = 1u << 16;
  static constexpr std::size_t kAheadLimit = 64 * 1024;  // the bytes read ahead grow up to this
};

}  // namespace rt::cdx

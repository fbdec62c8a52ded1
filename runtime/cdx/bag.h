// A CDX compound order bag: the tag directory and the tags, read and written
// side by side with other programs that share the file.
//
// Keys are byte strings of the tag's key length (the key expression engine
// turns values into key bytes); entries are (key, record number) pairs kept
// in unsigned byte order, equal keys by record number.
//
// Sharing:
//  * Every operation runs under the bag's lock, one byte at kLockOffset
//    (far beyond any data, as the table's record locks): readers take it
//    shared for the length of one operation, writers exclusively.  A Bag::Lock
//    held by the caller spans several operations (a batch of seeks, an append
//    that touches several tags).
//  * On taking the lock the change counter (directory header bytes 8-11,
//    big-endian) is compared with the last one seen; when another process
//    changed the bag, cached pages are dropped and the directory re-read.
//  * A writer increments the counter once per lock period in which it changed
//    anything, before it releases the lock.
//
// Descending tags keep their keys in ascending order; the work-area layer
// walks them from the end (Tag::descending()).
//
// Unique tags hold at most one entry per key value: the lowest record number
// offered.  Tag::insert of a key already present with a lower record number
// keeps the present entry; with a higher one it replaces it.  Removing the
// entry of a record removes the key value; a caller that wants another record
// with the same key indexed inserts it again (reindex always rebuilds the
// rule exactly).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cdx/page.h"
#include "runtime/cdx/store.h"
#include "runtime/cdx/tree.h"
#include "runtime/os/env.h"
#include "runtime/os/file.h"

namespace rt::cdx {

constexpr std::uint64_t kLockOffset = 0x7FFFFFFEull;

// How trailing bytes left out by compression are restored: blanks for
// character keys, zero bytes for binary (numeric, date, integer) keys.
enum class KeyKind { Text, Binary };

// Stopgap until the key expression engine gives the key type: a key of 4 or
// 8 bytes (one more on nullable fields) on a bare field name, or on a
// numeric/date function, is binary; everything else is text.
KeyKind guess_key_kind(std::string_view key_expr, int key_length, std::uint8_t options);

struct TagSpec {
  std::string name;  // 1-10 letters, digits, underscores; upper-cased
  std::string key_expr;
  std::string for_expr;
  int key_length = 0;
  KeyKind kind = KeyKind::Text;
  bool unique = false;
  bool descending = false;
  bool candidate = false;
  bool nullable = false;  // keys carry the NULL marker byte (options bit 0x02)
};

// Keys gathered for building a tag: add in any order, then build sorts them.
class KeyList {
 public:
  explicit KeyList(int key_length) { sorted_.key_length = key_length; }
  int key_length() const { return sorted_.key_length; }
  // key shorter than the key length is padded with pad.
  void add(std::string_view key, std::uint32_t recno, std::uint8_t pad = 0x20);
  std::size_t size() const { return sorted_.size(); }
  // Sorts by key and record number; unique keeps the lowest record number of
  // each key value.
  const SortedKeys& sort(bool unique);

 private:
  SortedKeys sorted_;
};

class Bag;

class Tag {
 public:
  const std::string& name() const { return ref_.name; }
  const std::string& key_expr() const { return header_.key_expr; }
  const std::string& for_expr() const { return header_.for_expr; }
  int key_length() const { return header_.key_length; }
  std::uint8_t options() const { return header_.options; }
  bool unique() const { return header_.unique(); }
  bool has_for() const { return header_.has_for(); }
  bool descending() const { return header_.descending(); }
  bool candidate() const { return header_.options & kOptCandidate; }
  bool nullable() const { return header_.options & kOptNullable; }
  std::uint32_t header_offset() const { return ref_.header; }

  KeyKind kind() const { return ref_.pad == 0x20 ? KeyKind::Text : KeyKind::Binary; }
  void set_kind(KeyKind k);
  std::uint8_t pad() const { return ref_.pad; }
  // key cut or padded to the key length.
  std::string full_key(std::string_view key) const;

  enum class Insert { Added, Present, Replaced, Kept };
  // Adds (key, recno); key must have the key length.  Unique tags: see bag.h.
  Insert insert(std::string_view key, std::uint32_t recno);
  // Removes exactly (key, recno); false when it was not there.
  bool remove(std::string_view key, std::uint32_t recno);

  std::size_t count();
  int height();
  // Every entry in order (for tools and tests).
  std::vector<std::pair<std::string, std::uint32_t>> entries();

 private:
  friend class Bag;
  friend class Cursor;
  Tag(Bag& bag, std::string name) : bag_(bag) { ref_.name = std::move(name); }
  Tree tree();
  void check_present() const;

  Bag& bag_;
  TreeRef ref_;
  TagHeader header_;
  bool gone_ = false;
  bool kind_set_ = false;
};

// A position in one tag.  Moves re-validate against the bag: after a change
// by anyone the cursor finds its entry again (or the next one when it was
// removed) before it moves.
class Cursor {
 public:
  explicit Cursor(Tag& tag) : tag_(&tag) {}
  // First entry whose key equals key (starts with it when key is shorter
  // than the key length); ties by record number.  On a miss the cursor stands
  // on the next higher entry (or at the end) and seek returns false.
  bool seek(std::string_view key);
  // Stands on (key, recno) or the next entry after it.
  bool seek(std::string_view key, std::uint32_t recno);
  bool first();
  bool last();
  bool next();
  bool prev();
  bool valid() const { return valid_; }
  const std::string& key() const { return key_; }
  std::uint32_t recno() const { return recno_; }

 private:
  bool take(const Position& p);
  void relocate();
  Tag* tag_;
  Position pos_;
  std::string key_;
  std::uint32_t recno_ = 0;
  std::uint64_t generation_ = 0;
  bool valid_ = false;
};

class Bag {
 public:
  // Files, locks and clocks go through env (the table's Env).
  static std::unique_ptr<Bag> open(const std::string& path, bool writable, os::Env& env = os::Env::Default());
  // A new, empty bag (an existing file is replaced).
  static std::unique_ptr<Bag> create(const std::string& path, bool structural = true,
                                     os::Env& env = os::Env::Default());
  ~Bag();
  Bag(const Bag&) = delete;
  Bag& operator=(const Bag&) = delete;

  const std::string& path() const { return path_; }
  bool writable() const { return file_->writable(); }
  os::Env& env() const { return env_; }

  // Tags in creation order (ascending header offset).
  std::vector<Tag*> tags();
  Tag* find(std::string_view name);  // nullptr when absent; case-insensitive
  Tag& tag(std::string_view name);   // throws CdxError when absent

  // Adds a tag built from keys, or replaces the tag of that name (which keeps
  // its place in the creation order).
  Tag& build_tag(const TagSpec& spec, KeyList& keys);
  void drop_tag(std::string_view name);

  std::uint32_t version();
  PageStats stats() const { return store_->stats(); }
  void reset_stats() { store_->stats() = PageStats{}; }
  void drop_cache() { store_->drop(); }

  // Structure of the directory, every tag and the free list; one line per
  // problem, empty when the bag is sound.
  std::vector<std::string> verify();

  // Holds the bag's lock for a batch of operations.
  class Lock {
   public:
    Lock(Bag& bag, bool exclusive);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    Bag& bag_;
  };

 private:
  friend class Tag;
  friend class Cursor;
  Bag(std::string path, std::unique_ptr<os::File> file, os::Env& env);
  void acquire(bool exclusive);
  void release();
  void refresh();
  void load_directory();
  void modified() {
    dirty_ = true;
    ++generation_;
  }
  void require_writer(const std::string& tag) const;
  Tree directory() { return Tree(*store_, dir_ref_); }

  std::string path_;
  os::Env& env_;
  std::unique_ptr<os::File> file_;
  std::unique_ptr<PageStore> store_;
  TreeRef dir_ref_;
  TagHeader dir_header_;
  std::map<std::string, std::unique_ptr<Tag>> tags_;  // by upper-case name
  std::uint32_t version_ = 0;
  std::uint64_t generation_ = 1;
  bool loaded_ = false;
  int depth_ = 0;
  bool exclusive_ = false;
  bool dirty_ = false;
};

}  // namespace rt::cdx

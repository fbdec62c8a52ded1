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
//    that touches several tags).  The wait for the lock is bounded
//    (set_lock_wait); when it ends, CdxError of kind Busy is thrown.
//  * On taking the lock shared, the change counter (directory header bytes
//    8-11, big-endian) is compared with the last one seen; when another
//    process changed the bag, cached pages are dropped and the directory
//    re-read.  On taking it exclusively, cached pages are always dropped and
//    the directory re-read: a program that wrote without raising the counter
//    never has its pages overwritten with stale ones.
//  * A writer raises the counter once per lock period, before the first page
//    of that period is written, so another program never holds cached pages
//    of a change already under way without seeing a new counter.
//
// Surviving a kill: pages are only added at the end of the file and a page a
// change leaves is never reused (store.h).  A tag is rebuilt by writing its
// new tree, syncing, then pointing its header at the new root; reindex()
// (table_index.h) writes a whole new file beside the bag and renames it over
// the old one, which leaves a compact file.
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
#include <functional>
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

// A batch of read operations taken as one (a screen of a browse painted, a
// ticket's lines read with their products): while one is held by this
// thread, each shared bag looks at its change counter once, and the
// batch's later reads use the pages that look validated, as the file held
// them at that moment, without another call, for a tenth of a second at
// most (as a shared table trusts a page of records it read).  A page not
// cached still sends the operation to the file under the lock (and so does
// any change).  Batches nest; the outermost one ends the trust.
class ReadBatch {
 public:
  ReadBatch();
  ~ReadBatch();
  ReadBatch(const ReadBatch&) = delete;
  ReadBatch& operator=(const ReadBatch&) = delete;
  // The batch this thread holds (0 when none).
  static std::uint64_t current();
};

class Bag;

// A stretch of reads that waits for nobody (a ticket's lines read with their
// products): while one is held by this thread, a shared bag that takes its
// lock to read keeps it until the outermost one ends, so the stretch takes
// each bag's lock once and reads the pages it needs with no other look at
// the counter.  Other programs' changes to those bags wait for the end of
// the stretch.  A bag whose lock is not granted at once first gives back
// every lock the stretch holds, so the stretch never waits while holding
// one (nor can it hold up a program that waits for it).
class LockedReads {
 public:
  LockedReads();
  ~LockedReads();
  LockedReads(const LockedReads&) = delete;
  LockedReads& operator=(const LockedReads&) = delete;
  static bool active();

 private:
  friend class Bag;
  static void hold(Bag* bag);
  static void forget(Bag* bag);
  static void release_all();  // every lock held for this thread's stretch
};

// How long to keep trying for the bag's lock: called with the bag's path
// after every refused attempt with its number (1, 2, ...); it pauses before
// the next attempt and returns true, or false to give up.  Called with 0 once
// the lock is granted after refused attempts (whatever the wait showed can
// go).
using LockWait = std::function<bool(const std::string& bag, int attempt)>;
// Gives up after `seconds` of `clock`, pausing 10 ms between attempts.
LockWait bounded_lock_wait(double seconds, os::Clock& clock);
constexpr double kDefaultLockWaitSeconds = 10.0;

// How trailing bytes left out by compression are restored: blanks for
// character keys, zero bytes for binary (numeric, date, integer) keys.
enum class KeyKind { Text, Binary };

// Stopgap until the key expression engine gives the key type: a key of 4 or
// 8 bytes (one more on nullable fields) on a bare field name, or on a
// numeric/date function, is binary; everything else is text.
KeyKind guess_key_kind(std::string_view key_expr, int key_length, std::uint8_t options);

// A tag as its header in the bag describes it, for building one.
struct TagDefinition {
  std::string name;  // 1-10 letters, digits, underscores; upper-cased
  std::string key_expr;
  std::string for_expr;
  int key_length = 0;
  KeyKind kind = KeyKind::Text;
  bool unique = false;
  bool descending = false;
  bool candidate = false;
  bool nullable = false;  // keys carry the NULL marker byte (options bit 0x02)
  // Header bytes 16-35 (other programs' key statistics) to write; empty:
  // those of the tag replaced, or zeros for a new tag.
  std::string header_stats = {};
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
  // Checks, without writing, that (key, recno) can be inserted or removed:
  // the bag's free-page list head and the pages on the way to the key are
  // sound.  Throws CdxError (Damaged) otherwise.  Insert and remove run the
  // same checks; a caller that must not write anything else (the record)
  // before knowing the tag can follow runs this first.
  void check_change(std::string_view key, std::uint32_t recno);

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
  void check_writable(std::string_view key);

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
  bool step(bool forward);
  Tag* tag_;
  Position pos_;
  std::string key_;
  std::uint32_t recno_ = 0;
  std::uint64_t generation_ = 0;
  bool valid_ = false;
};

class Bag {
 public:
  // Files, locks and clocks go through env (the table's Env).  A bag opened
  // with ShareMode::Exclusive (its table's exclusive open) is the only open
  // of the file: it takes no lock and keeps its pages for as long as it is
  // open.
  static std::unique_ptr<Bag> open(const std::string& path, bool writable, os::Env& env = os::Env::Default(),
                                   os::ShareMode share = os::ShareMode::Shared);
  // A new, empty bag.  It is written beside `path` and renamed over it, so
  // no reader ever sees a half-written or truncated bag; an existing bag is
  // replaced only when no other open holds it (CdxError Busy otherwise).
  static std::unique_ptr<Bag> create(const std::string& path, bool structural = true,
                                     os::Env& env = os::Env::Default(), os::ShareMode share = os::ShareMode::Shared, bool sync = true);
  // The structural bag of a private scratch table (table::Table::
  // create_scratch): created empty, replacing an earlier file of that name
  // unless another open holds it (CdxError Busy), and kept open exclusively,
  // held in memory (os::WriteBackFile) and written back by flush() and when
  // closed.  Not synced.
  static std::unique_ptr<Bag> create_scratch(const std::string& path, os::Env& env);
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
  Tag& build_tag(const TagDefinition& spec, KeyList& keys);
  void drop_tag(std::string_view name);

  // Writes a new bag beside this one (same name + ".tmp") holding every tag
  // again, in creation order, with its name, expressions, options and header
  // statistics; `keys_for` completes the spec (key length and kind) and gives
  // the keys.  The new file is synced and renamed over the bag, and this
  // object then reads it.  Nothing of the old file is copied, so any damage
  // below the tag headers is gone and the file is compact.  The caller makes
  // sure nobody else writes the bag meanwhile (the table open exclusively).
  using KeysFor = std::function<KeyList(const Tag& old, TagDefinition& spec)>;
  void rebuild(const KeysFor& keys_for);

  std::uint32_t version();
  // The free-page list head found in the directory header (never followed).
  std::int32_t free_list_head();
  void set_lock_wait(LockWait wait) { lock_wait_ = std::move(wait); }
  // Off: tag builds and drops are not synced (the bag of a private scratch
  // table, rebuilt with its table; create() takes the same choice).
  void set_sync(bool on) { sync_ = on; }
  // Hands what a scratch bag holds back to its file (nothing to do for
  // another bag, which writes straight through).
  void flush();
  PageStats stats() const { return store_->stats(); }
  void reset_stats() { store_->stats() = PageStats{}; }
  void drop_cache() {
    store_->drop();
    store_->forget_ahead();
  }

  // Structure of the directory and every tag, pages shared between trees,
  // and the free-page list head; one line per problem, empty when the bag is
  // sound.
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
    int uncaught_;  // exceptions in flight when the lock was taken
  };

 private:
  friend class Tag;
  friend class Cursor;
  friend class LockedReads;
  Bag(std::string path, std::unique_ptr<os::File> file, os::Env& env, os::ShareMode share);
  // Writes an empty bag (directory header and root) to `path`, synced.
  static void write_empty(os::Env& env, const std::string& path, bool structural, std::uint32_t version,
                          bool sync = true);
  void sync_pages();
  void reopen();
  void acquire(bool exclusive);
  // Runs a read-only operation `op` (which may run twice): when every page
  // it needs is cached and the change counter, read in one call, shows no
  // change since they were read, from the cache without taking the lock;
  // otherwise under the shared lock.  Inside a ReadBatch the counter is
  // looked at once: the batch's later operations use the pages it
  // validated as they were then, for at most kBatchTrustSeconds (a batch
  // that waits for the operator looks again afterwards).
  template <typename Op>
  auto reading(Op op) -> decltype(op());
  bool counter_unchanged();
  bool counter_trusted() const;
  // For a read begun on cached pages: the shared lock taken and the counter
  // found unchanged (true, the lock held until end_cached_read), or changed
  // (false, no lock held).
  bool lock_late();
  void end_cached_read(bool failed);
  // The shared lock kept for the thread's LockedReads (depth_ stays 1 until
  // release_held).
  void hold_for_stretch();
  void release_held();
  bool held_ = false;
  // Tries for the bag's lock as lock_wait_ allows; CdxError Busy when it
  // gives up.
  void take_lock(os::LockKind kind);
  bool locked_late_ = false;
  void validated();
  static constexpr double kBatchTrustSeconds = 0.1;
  // failed: the operation ended by an exception (what it cached may not be
  // what the file holds).
  void release(bool failed);
  void refresh(bool force);
  void load_directory();
  void raise_version();
  void modified() { ++generation_; }
  void require_writer(const std::string& tag) const;
  // Throws when the free-page list head is not 0, -1 or a page of the bag.
  void check_free_list(const std::string& tag);
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
  os::ShareMode share_;
  bool sync_ = true;
  bool version_raised_ = false;  // an exclusive open raised the counter once
  // The ReadBatch in which, and when, the cached pages were last known to
  // be the file's.
  std::uint64_t validated_in_ = 0;
  double validated_at_ = 0;
  LockWait lock_wait_;
};

template <typename Op>
auto Bag::reading(Op op) -> decltype(op()) {
  if (depth_ == 0 && loaded_ && share_ == os::ShareMode::Shared && (counter_trusted() || counter_unchanged())) {
    // A writer raises the counter before its first page reaches the file,
    // so pages cached under this counter are still the file's pages.  A
    // page not cached takes the lock there (lock_late) and the operation
    // goes on reading the file; only when the counter moved meanwhile does
    // it start over under the lock.
    depth_ = 1;
    exclusive_ = false;
    store_->set_offline(true, [this] { return lock_late(); });
    try {
      auto result = op();
      end_cached_read(false);
      return result;
    } catch (const PageNotCached&) {
      end_cached_read(false);
    } catch (...) {
      end_cached_read(true);
      throw;
    }
  }
  if (depth_ == 0 && share_ == os::ShareMode::Shared && LockedReads::active()) {
    acquire(false);
    hold_for_stretch();
  }
  Lock lock(*this, false);
  return op();
}

}  // namespace rt::cdx

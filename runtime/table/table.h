// A DBF table with its FPT memo file, opened shared, exclusive or read-only.
//
// Records are read straight from the file (in pages for sequential reads, with
// a cache that a lock, our own writes and a short age limit in shared opens
// keep honest) and written straight to the operating system: every write is
// visible to other programs when the call returns.
//
// Durability (on unless the open or the site turns it off, see OpenOptions):
// data is synced before anything that points at it is written, so a power
// cut leaves the old state or the new one, never a pointer to nothing:
//  - a memo is synced before the record that refers to it is written;
//  - a shared append writes the record, syncs, then writes the header
//    count; commit() syncs that count (and every write since the last
//    commit) to the disk;
//  - an exclusive append writes the record only; commit() (and close())
//    syncs the records, then writes the header count, then syncs again, so
//    a bulk load pays one sync per commit, not per record.
// A program killed between record and count leaves a count behind the
// records present; `dbftool repair` takes them back in.
//
// Sharing rules (shared opens):
//  - a record is written only while this open holds its lock (lock_record),
//    or right after append() (which leaves the new record locked);
//  - locking a record drops any cached copy, so the next read comes from the
//    file;
//  - the record count is re-read from the header, so other programs' appends
//    become visible;
//  - an append takes the header lock, re-reads the count, writes the record
//    and the end mark, updates count and date, locks the new record and only
//    then releases the header lock.
// Every lock is released by unlock_all() and on close; the OS releases them
// too when the process dies.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/os/env.h"
#include "runtime/os/file.h"
#include "runtime/table/dbf_header.h"
#include "runtime/table/error.h"
#include "runtime/table/field.h"
#include "runtime/table/lock_scheme.h"
#include "runtime/table/memo_file.h"
#include "runtime/table/record.h"
#include "runtime/text/codepage.h"
#include "runtime/text/value.h"

namespace rt::table {

enum class Share { Shared, Exclusive };

struct OpenOptions {
  // Every file, lock, clock and setting goes through this Env; nullptr =
  // os::Env::Default().
  os::Env* env = nullptr;
  Share share = Share::Shared;
  bool read_only = false;
  // The lock offsets; nullopt = CHK_LOCK_SCHEME (default fox).
  std::optional<LockScheme> lock_scheme;
  // Read texts as this code page whatever the header's mark says.
  std::optional<text::CodePage> code_page;
  // How long append() and memo allocation wait for the header lock.
  double lock_wait_seconds = 10.0;
  // Sync writes to the disk in the order described above; nullopt = the
  // site setting CHK_SYNC ("off" turns it off; on by default).
  std::optional<bool> sync;
};

inline constexpr const char* kSyncVariable = "CHK_SYNC";
// The site setting CHK_SYNC in env: true unless "off", "no" or "0" (ASCII
// case ignored); throws TableError(Usage) naming the variable for another
// value than those and "on", "yes", "1", "".
bool sync_from_environment(os::Env& env);

// The site's table settings, read once from the environment at start-up
// and handed to the work areas, so that no open reads the environment.
struct SiteSettings {
  LockScheme lock_scheme = LockScheme::Fox;  // CHK_LOCK_SCHEME
  bool sync = true;                          // CHK_SYNC
  // Throws TableError(Usage) naming the variable for a value it does not know.
  static SiteSettings from_environment(os::Env& env);
};

struct CreateOptions {
  os::Env* env = nullptr;  // nullptr = os::Env::Default()
  text::CodePage code_page = text::CodePage::CP850;
  bool overwrite = false;  // replace existing table and memo files
  std::optional<bool> sync;  // sync the new files; nullopt = CHK_SYNC
  std::uint32_t memo_block_size = kDefaultMemoBlockSize;
};

class Table {
 public:
  // Opens a table; the file name is resolved without regard to case, and so
  // is its memo file (same base name, ".fpt").  Throws TableError: Busy when
  // sharing forbids the open (another open holds the table exclusively, or
  // an exclusive open meets any other open), Corrupt / Unsupported / Io with
  // the file name and the problem otherwise.  A read-only exclusive open of
  // a file that cannot be opened for writing falls back to a read-only
  // shared open (an unwritable file cannot be locked exclusively).  Database
  // containers (".dbc") take their memo file from ".dct".
  static std::unique_ptr<Table> open(const std::string& path, const OpenOptions& options = {});
  // Creates an empty FoxPro 2.x table (0x03, or 0xF5 with an FPT when a
  // field is a memo).  Does not open it.
  static void create(const std::string& path, const std::vector<NewField>& fields,
                     const CreateOptions& options = {});
  // A private scratch table, rebuilt by its owner at every use and read by
  // nobody else: created empty (with its memo file when a field is a memo),
  // replacing earlier files of those names, and kept open exclusively.  Its
  // files are held in memory (os::WriteBackFile) and written back at
  // commit() and close(), never synced: on a network drive its operations
  // cost no call until then.  Throws TableError Busy when another open holds
  // an earlier file (left untouched), Io otherwise.  options.overwrite and
  // options.sync are not used.
  static std::unique_ptr<Table> create_scratch(const std::string& path, const std::vector<NewField>& fields,
                                               const CreateOptions& options = {});

  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const std::string& path() const { return path_; }
  os::Env& env() const { return *env_; }
  // "" when the table has no memo file.
  std::string memo_path() const { return memo_ ? memo_->path() : std::string(); }
  const Schema& schema() const { return *schema_; }
  const std::shared_ptr<const Schema>& schema_ptr() const { return schema_; }
  text::CodePage code_page() const { return code_page_; }
  bool read_only() const { return read_only_; }
  bool exclusive() const { return share_ == Share::Exclusive; }
  LockScheme lock_scheme() const { return layout_.scheme(); }

  // Records in the table; in a shared open re-read from the header each call.
  std::uint32_t record_count();
  // Whether record recno exists.  Records are never taken away while the
  // table is open shared (that needs an exclusive open), so the header's
  // count is read again only when recno lies past the count last read: a
  // move inside the known records costs no call.
  bool has_record(std::uint32_t recno);

  // A blank record of this table (number 0).
  Record blank() const { return Record(schema_); }
  // Reads record recno (1-based); throws TableError(Usage) when there is no
  // such record.
  Record read(std::uint32_t recno);
  // The same into an existing record (no allocation once it has the size).
  void read_into(std::uint32_t recno, Record& out);

  // Writes a record back at rec.recno().  Shared opens: the record must be
  // locked by this open.  Refused for read-only opens and for tables this
  // engine only reads.
  void write(const Record& rec);
  // Record writes and appends made through this open (tried ones too): in
  // an exclusive open nothing else changes the records, so a record read
  // while this count stays the same still reads the same.
  std::uint64_t writes() const { return writes_; }
  // Appends a record (its recno is ignored); returns the new number.  In a
  // shared open the new record stays locked.  Throws Busy when the header
  // lock could not be had in time (nothing written).
  std::uint32_t append(const Record& rec);
  std::uint32_t append_blank() { return append(blank()); }

  // Locks without waiting; true when granted (or already held).  Exclusive
  // opens need no locks: these then always succeed.
  bool lock_record(std::uint32_t recno);
  void unlock_record(std::uint32_t recno);
  bool is_locked(std::uint32_t recno) const;
  std::vector<std::uint32_t> locked_records() const;
  bool lock_header();
  // The same, trying again until `wait_seconds` have passed.
  bool lock_header(double wait_seconds);
  void unlock_header();
  void unlock_records();  // every record lock; the header lock stays
  void unlock_all();

  // A field's value with memo texts read from the memo file ("" = no memo).
  Value value(const Record& rec, int field);
  // Sets a field; memo fields store their text through set_memo.
  void set_value(Record& rec, int field, const Value& v);
  // The memo text (code-page bytes) of a memo-type field; "" when none.
  std::string memo(const Record& rec, int field);
  // Stores a memo text and puts its reference into rec (which the caller
  // then writes).  Rewrites in place only when the text fits in the blocks
  // rec's memo already owns and the record is locked (or the open is
  // exclusive); otherwise writes a new memo at the next free block under the
  // memo lock.  An empty text stores "no memo".
  void set_memo(Record& rec, int field, std::string_view text);

  // Forgets cached records: the next read comes from the file.  For a record
  // reached through an index that another program just changed (its key is
  // newer than a page cached a moment ago).
  void drop_cache() { page_.forget(); }

  // Makes every write of this open durable: syncs the memo file and the
  // table (an exclusive open writes its pending record count between two
  // syncs).  With syncing off only the pending count is written (and a
  // scratch table's files written back).  Throws
  // TableError(Io) when the disk refuses.
  void commit();
  // Commits, releases every lock and closes the files (closed even when the
  // commit fails, which then throws).
  void close();
  bool syncing() const { return sync_; }
  // How long append() and memo allocation wait for a lock from now on.
  void set_lock_wait(double seconds) { lock_wait_ = seconds; }
  double lock_wait() const { return lock_wait_; }
  // This open holds the header (append) lock, or the file is its own.
  bool header_locked() const { return header_locked_ || share_ == Share::Exclusive; }
  // Turns syncing on or off for the rest of this open (off: what is pending
  // is committed first).  For a private scratch table that is rebuilt anyway.
  void set_sync(bool on);

 private:
  Table() : layout_(LockScheme::Fox, 0, 0) {}
  double now_seconds() const { return env_->clock().monotonic(); }
  text::Date today() const { return env_->clock().now().date; }
  void require_writable(const char* what) const;
  void require_record(std::uint32_t recno);
  void refresh_count();
  void invalidate_cache(std::uint32_t recno);
  void stamp_date();
  void lock_header_waiting(const char* what);
  void write_count();
  void sync_data();
  void sync_memo();
  MemoFile& memo_file(const Field& f);
  void own_memos(Record& rec, const std::string* on_file);
  void allocate_memo(Record& rec, int field, std::string_view text, std::uint32_t type);

  std::string path_;
  os::Env* env_ = nullptr;
  std::unique_ptr<os::File> file_;
  std::unique_ptr<MemoFile> memo_;
  std::shared_ptr<const Schema> schema_;
  text::CodePage code_page_ = text::CodePage::CP850;
  Share share_ = Share::Shared;
  bool read_only_ = false;
  LockLayout layout_;
  double lock_wait_ = 10.0;
  std::uint32_t count_ = 0;
  bool header_locked_ = false;
  bool date_stamped_ = false;
  bool sync_ = true;
  bool unsynced_ = false;       // the table was written since its last sync
  bool count_pending_ = false;  // exclusive: count_ is not yet in the header
  std::uint64_t writes_ = 0;
  std::set<std::uint32_t> locked_;
  // Memo blocks this open wrote and no stored record references yet.
  std::set<std::uint32_t> fresh_blocks_;

  // Read cache: one page of consecutive records.
  struct Page {
    std::uint32_t first = 0;  // first record in the page, 0 = empty
    std::uint32_t count = 0;
    // Room for the page's records, kept across pages and never zero-filled:
    // a page read fills what it uses (64 KiB cleared for every table opened
    // cost more than the read).
    std::unique_ptr<char[]> bytes;
    std::size_t room = 0;
    double loaded_at = 0;
    char* make_room(std::size_t n) {
      if (n > room) {
        bytes = std::make_unique_for_overwrite<char[]>(n);
        room = n;
      }
      return bytes.get();
    }
    void forget() { first = count = 0; }
  };
  void keep_records(const std::string& file_bytes);
  Page page_;
  std::uint32_t last_read_ = 0;
};

}  // namespace rt::table

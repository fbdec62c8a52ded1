// Work areas: the xBase view of open tables that the station's routines use.
//
// One WorkAreas object per program run holds every area.  Areas are numbered
// from 1; the current area receives every operation.  An open area has an
// alias, a current record (or the end-of-file position), BOF/EOF/FOUND flags,
// an active order (the natural order here) and optionally a filter.
//
// Writes to a shared table are allowed only on a record this area has locked
// (RLOCK) or appended (DBAPPEND); anything else is refused with an error, so a
// record is never written without the lock that protects it from another
// station's write.  Exclusive opens need no lock.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "runtime/table/table.h"
#include "runtime/text/value.h"
#include "runtime/workarea/order.h"

namespace rt::wa {

// A misuse of the work areas (no table open, unknown field or alias, a write
// without a lock, ...) or an order bag that cannot be used.  The message
// names the alias and the problem; callers branch on the kind.
class WorkAreaError : public std::runtime_error {
 public:
  enum class Kind {
    NotOpen,      // no table is open in the area or under the alias; no such area
    AliasInUse,   // the alias names another open area
    NoField,      // the table has no field of that name
    NotWritable,  // a write at end of file, to a read-only open or to a record not locked
    NoOrder,      // no such order number or tag, a tag name a bag cannot hold; a seek without an order
    Expression,   // a key, FOR, filter or relation that does not compile; a seek key that does not fit
    Relation,     // a relation to the area itself or leading back to it
    Bag,          // an order bag that cannot be opened, created or read (the cause follows in the message)
    BagBusy,      // the same because another program holds the bag's lock
  };
  WorkAreaError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

class WorkAreas;
class AreaIndexes;  // the order layer's state of an area (orders.h)

// How an order bag opened on an area waits for the bag's lock (see
// rt::cdx::LockWait): called with the bag's path after each refused attempt
// with its number, once more with 0 when the lock is granted; false gives
// up.  Empty: the bag's own bounded wait.
using BagLockWait = std::function<bool(const std::string& bag, int attempt)>;

// The code page of every text the station handles (screen, keys typed,
// constants).  Fields of a table marked with another code page are read and
// written through Area in this one; seeks convert their key.
inline constexpr text::CodePage kStationCodePage = text::CodePage::CP850;

// One open table with its position, order, filter and locks.
class Area {
 public:
  using Condition = std::function<bool(Area&)>;

  Area(int number, std::string alias, std::unique_ptr<table::Table> table, bool exclusive, bool readonly);
  ~Area();
  Area(const Area&) = delete;
  Area& operator=(const Area&) = delete;

  int number() const { return number_; }
  const std::string& alias() const { return alias_; }
  table::Table& table() { return *table_; }
  bool exclusive() const { return exclusive_; }
  bool readonly() const { return readonly_; }

  // Position.
  RecNo recno();  // RECNO(): the current record; record count + 1 at end of file
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  bool found() const { return found_; }
  bool deleted();  // DELETED() of the current record (false at end of file)

  void goto_top();                // DBGOTOP
  void goto_bottom();             // DBGOBOTTOM
  void go(RecNo recno);           // DBGOTO: any record, filter or not
  void skip(long count = 1);      // DBSKIP(count)
  // DBSKIP without moving the related children (relations): for a caller
  // that reads this area's own fields on the way and then goes back to
  // where it was with a move that does move them (a browse reading a
  // screen of rows).
  void skip_unrelated(long count) { skip_moves(count); }
  void go_unrelated(RecNo recno);  // DBGOTO likewise
  bool locate(const Condition& cond);  // __DBLOCATE from the first record; FOUND()

  // Fields of the current record.  At end of file a read gives the field's
  // empty value (blank text, 0, empty date, .F.).  Texts are in the station's
  // code page (kStationCodePage) whatever the table's mark says.
  int field_count() const;                 // FCOUNT
  std::string field_name(int i) const;     // FIELDNAME(i), 1-based; "" when out of range
  std::string field_type(int i) const;     // FIELDTYPE(i): "C", "N", "D", "L", "M", ...; "" when out of range
  int field_pos(const std::string& name) const;  // FIELDPOS: 1-based, 0 when unknown
  Value get(const std::string& name);            // FIELD->X
  void put(const std::string& name, const Value& value);  // FIELD->X := value, written at once
  // FIELDGET / FIELDPUT: the same by 1-based field position (field_pos), so a
  // caller that resolved its fields once reads and writes without a name lookup.
  Value field_get(int pos);
  void field_put(int pos, const Value& value);
  // Several fields in one record write: another program never sees some of
  // them changed and the others not.  Nothing is written when one fails.
  void put_fields(const std::vector<std::pair<std::string, Value>>& values);
  // The same with the fields given by their 1-based positions (field_pos).
  void put_fields_at(const std::vector<std::pair<int, Value>>& values);

  // Locks and writes.
  bool append();        // DBAPPEND: blank record, current and locked; false when the append lock is not got
  // DBAPPEND with the whole record given: the new record reaches the file
  // in one write, so no program ever sees it blank or half filled.  A value
  // that does not fit throws before anything is written.  Otherwise as
  // append().
  bool append(const std::vector<std::pair<std::string, Value>>& values);
  bool append_at(const std::vector<std::pair<int, Value>>& values);  // fields by 1-based position
  // RLOCK: current record, no wait; drops this area's other record locks.
  // At end of file true (nothing to lock; writes there are refused anyway).
  bool lock_record();
  bool is_locked(RecNo recno) const;
  void unlock();        // DBUNLOCK: every record lock of this area (and the append lock unless held by lock_append)
  // The table's append (header) lock held across several operations, for
  // a "look, then append or update" that no other station may interleave:
  // appends and record locks come and go under it, and it stays until
  // unlock_append().  Tries until `wait_seconds` have passed; false when
  // another station still holds it.
  bool lock_append(double wait_seconds);
  void unlock_append();
  void delete_record(); // DBDELETE (needs the lock like any write)
  void recall();        // DBRECALL
  void commit();        // DBCOMMIT: makes the area's writes durable (table::Table::commit)

  // Filter (DBSETFILTER / DBCLEARFILTER): records failing it are skipped by
  // top, skip and locate.
  void set_filter(Condition cond, std::string text = "");
  void clear_filter();
  const std::string& filter_text() const { return filter_text_; }

  // The navigation order (natural order unless an index layer sets one) and
  // the observers that see every record write (index maintenance).
  void set_order(std::unique_ptr<Order> order);  // nullptr = natural order
  Order& order() { return *order_; }
  void add_write_observer(std::shared_ptr<RecordWriteObserver> observer);

  // Re-reads the current record (after another station may have changed it).
  void refresh();

  // For the order layer (orders.h): its state for this area, a position
  // found by a seek (recno 0 = end of file) with FOUND() as given, and a hook
  // run after every move of the record pointer (top, bottom, goto, skip,
  // seek; not append) that moves the area's related children.
  std::shared_ptr<AreaIndexes>& indexes() { return indexes_; }
  // The wait for the lock of every order bag opened on this area.
  const BagLockWait& bag_lock_wait() const { return bag_lock_wait_; }
  void set_bag_lock_wait(BagLockWait wait) { bag_lock_wait_ = std::move(wait); }
  void seek_position(RecNo recno, bool found);
  // From `from` on (in the order's direction), the first record the filter
  // lets through, loaded; 0 (nothing loaded) when none.  No move hook.
  RecNo first_passing(RecNo from, bool forward);
  void set_move_hook(std::function<void()> hook) { move_hook_ = std::move(hook); }

 private:
  friend class WorkAreas;
  [[noreturn]] void fail(WorkAreaError::Kind kind, const std::string& what) const;
  void require_writable(const char* what);
  void load(RecNo recno);       // makes recno current (0 = end of file)
  void land(RecNo recno);       // the same after first_passing found recno
  void write_current(const table::Record& after);  // the only place records are written
  void set_fields(table::Record& rec, const std::vector<std::pair<std::string, Value>>& values);
  void set_fields(table::Record& rec, const std::vector<std::pair<int, Value>>& values);
  void set_field(table::Record& rec, int index, const Value& value);  // 0-based index
  // put_fields and append for fields by name or by position.
  template <typename Values>
  void put_all(const Values& values);
  template <typename Values>
  bool append_all(const Values& values);
  void drop_record_locks();  // before an append or a lock: the area's other record locks
  bool appended(const table::Record& rec);  // appends rec and makes it current
  bool passes_filter();
  void skip_moves(long count);  // skip without the move hook
  void moved() {
    if (move_hook_) move_hook_();
  }

  int number_;
  std::string alias_;
  std::unique_ptr<table::Table> table_;
  bool exclusive_;
  bool readonly_;
  std::unique_ptr<Order> order_;
  std::vector<std::shared_ptr<RecordWriteObserver>> observers_;
  Condition filter_;
  std::string filter_text_;
  bool append_locked_ = false;  // lock_append() holds the table's header lock
  RecNo recno_ = 0;  // 0 = end of file
  bool eof_ = true;
  bool bof_ = true;
  bool found_ = false;
  table::Record record_;  // the current record's image (blank at end of file)
  std::function<void()> move_hook_;
  BagLockWait bag_lock_wait_;
  std::shared_ptr<AreaIndexes> indexes_;  // destroyed first: bags close before the table
};

struct OpenOptions {
  std::string alias;       // "" = the file's base name
  bool exclusive = false;  // shared unless asked
  bool readonly = false;
};

class WorkAreas {
 public:
  // Every table opened or created here goes through env.
  explicit WorkAreas(os::Env& env = os::Env::Default());
  ~WorkAreas();
  WorkAreas(const WorkAreas&) = delete;
  WorkAreas& operator=(const WorkAreas&) = delete;

  // DBSELECTAREA: 0 = the lowest free area; n = area n.  Returns the area
  // number made current.
  int select_area(int number);
  // DBSELECTAREA(alias); WorkAreaError when no open area has that alias.
  int select_area(const std::string& alias);
  int current_number() const { return current_; }
  // Changes whenever an area is opened or closed: an area found by its
  // alias stays that alias's area while the generation stays the same.
  std::uint64_t generation() const { return generation_; }
  // SELECT(alias): the area number of an alias, 0 when none is open with it;
  // SELECT() with "" gives the current area number.
  int select(const std::string& alias) const;

  // DBUSEAREA in the current area (an area already open there is closed
  // first).  Returns false with NETERR() true when another user's exclusive
  // use or lock prevents the open; other failures (missing or damaged file,
  // alias in use) throw.  The file gets ".dbf" when it has no extension.
  bool use(const std::string& file, const OpenOptions& options = {});
  bool neterr() const { return neterr_; }
  // The wait for order bags' locks given to every area opened from now on.
  void set_bag_lock_wait(BagLockWait wait) { bag_lock_wait_ = std::move(wait); }

  // The current area; WorkAreaError when no table is open in it.
  Area& current();
  // The area open under an alias (ALIAS->X); WorkAreaError when none.
  Area& area(const std::string& alias);
  bool is_open(int number) const;
  std::string alias() const;  // ALIAS(): "" when no table is open in the current area

  void close_area();  // DBCLOSEAREA: the current area (nothing when none is open)
  // A table whose open outlives its areas: when an area of this file
  // (opened shared and writable) is closed, the table stays open with its
  // order bags, committed and with every lock released, and the next use()
  // of the file shared, writable and under the same alias takes that open
  // back instead of opening the files again (on a network drive several
  // round trips).  For the seller table, which the station holds open at
  // its entry form and through every check: the check's closing of every
  // area would otherwise have it opened again for each ticket.  Kept tables
  // close with this object.
  void keep_open(const std::string& file);
  void close_all();   // DBCLOSEALL
  void commit_all();  // DBCOMMITALL

  // __DBCOPYSTRUCT: a new empty table with the current area's fields
  // (synced to the disk unless `sync` says otherwise; nullopt = the site
  // setting).
  void copy_structure(const std::string& file, std::optional<bool> sync = std::nullopt);
  // The current area's fields, as copy_structure copies them.
  std::vector<table::NewField> structure();
  // DBCREATE and DBUSEAREA in one for a private scratch table
  // (table::Table::create_scratch: replaces earlier files, held in memory and
  // written back at commit and close): opened exclusively in the current
  // area under `alias`.  Returns false with NETERR() true when another open
  // holds an earlier file of that name (left untouched); other failures
  // throw.  Its bag: create_scratch_bag (orders.h).
  bool use_scratch(const std::string& file, const std::vector<table::NewField>& fields, const std::string& alias,
                   text::CodePage code_page = kStationCodePage);
  // DBCREATE: a new empty table (FoxPro 2.x: 0x03, or 0xF5 with an FPT when it has memos).
  void create(const std::string& file, const std::vector<table::NewField>& fields);

  // FILE(name), FERASE(name), through this set's Env.  Names resolve
  // without regard to case.
  bool file_exists(const std::string& name);
  bool erase_file(const std::string& name);  // false when it did not exist or could not be deleted

  // The Env every file of this set goes through.
  os::Env& env() const { return env_; }

  // The site's lock scheme and syncing for every table opened or created
  // from now on; until given, each open reads them from the environment.
  void set_site_settings(const table::SiteSettings& site) { site_ = site; }

 private:
  os::Env& env_;
  std::optional<table::SiteSettings> site_;
  // Closes area `number` (nothing when none is open there), or keeps its
  // table open when keep_open named it.
  void retire(int number);
  // The current area emptied for a table opened under `alias`
  // (WorkAreaError when another area has that alias).
  void make_room(const std::string& alias);
  // `area` made the current area's, on its first record.
  void install(std::unique_ptr<Area> area);
  // The table `open` gives, in the current area; false with NETERR() when
  // sharing refused it.
  template <typename Open>
  bool open_into(const std::string& alias, bool exclusive, bool readonly, Open open);
  std::map<int, std::unique_ptr<Area>> areas_;
  std::map<std::string, std::unique_ptr<Area>> kept_;  // by the table's path; empty: named, not open
  int current_ = 1;
  std::uint64_t generation_ = 0;
  bool neterr_ = false;
  BagLockWait bag_lock_wait_;
};

}  // namespace rt::wa

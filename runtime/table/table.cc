#include "runtime/table/table.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "runtime/os/write_back_file.h"
#include "runtime/text/convert.h"

namespace rt::table {

namespace {

// Sequential reads fetch this many bytes of records at once.
constexpr std::size_t kPageBytes = 64 * 1024;
// In a shared open a cached page is trusted this long; after that the
// records are read again, so other programs' writes show.
constexpr double kSharedCacheSeconds = 0.1;

TableError io_error(const std::string& file, const os::IoError& e) {
  // IoError's text already starts with the path.
  std::string what = e.what();
  const std::string prefix = e.path() + ": ";
  if (what.compare(0, prefix.size(), prefix) == 0) what.erase(0, prefix.size());
  return TableError(ErrorKind::Io, file, what);
}

std::string memo_extension_for(const std::string& path) {
  const std::string base = os::basename_of(path);
  const auto dot = base.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : base.substr(dot + 1);
  const bool upper = !ext.empty() && ext[0] >= 'A' && ext[0] <= 'Z';
  const bool dbc = text::lower(ext) == "dbc";
  if (dbc) return upper ? ".DCT" : ".dct";
  return upper ? ".FPT" : ".fpt";
}

std::string memo_name_of(const std::string& path) {
  return os::basename_of(os::with_extension(path, memo_extension_for(path)));
}

}  // namespace

bool sync_from_environment(os::Env& env) {
  const std::string v = text::lower(text::trim(env.get_env(kSyncVariable)));
  if (v.empty() || v == "on" || v == "yes" || v == "1") return true;
  if (v == "off" || v == "no" || v == "0") return false;
  throw TableError(ErrorKind::Usage, kSyncVariable, "unknown setting \"" + v + "\" (on or off)");
}

SiteSettings SiteSettings::from_environment(os::Env& env) {
  return {lock_scheme_from_environment(env), sync_from_environment(env)};
}

std::unique_ptr<Table> Table::open(const std::string& given, const OpenOptions& options) {
  std::unique_ptr<Table> t(new Table());
  os::Env& env = options.env ? *options.env : os::Env::Default();
  t->env_ = &env;
  std::string path = os::resolve_nocase(env, given);
  t->path_ = path;
  t->share_ = options.share;
  t->read_only_ = options.read_only;
  t->lock_wait_ = options.lock_wait_seconds;
  const LockScheme scheme = options.lock_scheme ? *options.lock_scheme : lock_scheme_from_environment(env);
  t->sync_ = options.sync ? *options.sync : sync_from_environment(env);
  bool excl = options.share == Share::Exclusive;
  const auto mode = options.read_only ? os::OpenMode::ReadOnly : os::OpenMode::ReadWrite;
  try {
    try {
      t->file_ = os::open_nocase(env, given, mode, excl ? os::ShareMode::Exclusive : os::ShareMode::Shared, path);
      t->path_ = path;
    } catch (const os::IoError& e) {
      // A file nobody may write (read-only share) cannot be held
      // exclusively here; read-only, it is enough that nobody holds it
      // exclusively.
      if (!(options.read_only && excl) || e.kind() != os::IoKind::Denied) throw;
      t->file_ = env.open_file(path, os::OpenMode::ReadOnly, os::ShareMode::Shared);
      excl = false;
      t->share_ = Share::Shared;
    }
  } catch (const os::IoError& e) {
    if (e.kind() == os::IoKind::Busy)
      throw TableError(ErrorKind::Busy, path,
                       excl ? "table is in use by another user (cannot open it exclusively)"
                            : "table is in use exclusively by another user");
    TableError failure = io_error(path, e);
    if (e.kind() == os::IoKind::NotFound) failure.set_missing();
    throw failure;
  }

  // A program that updates the count before writing its record could let us
  // see a count beyond the end for a moment: look again before calling the
  // file damaged.
  Schema schema;
  std::string head;
  bool whole_file = false;  // the first read reached the end of the file
  for (int attempt = 0;; ++attempt) {
    // One read takes the header of any table of up to 120 fields, and the
    // whole of a small table.
    head.assign(4096, '\0');
    std::uint64_t size = 0;
    try {
      head.resize(t->file_->read_at(0, head.data(), head.size()));
      whole_file = head.size() < 4096;
      const std::uint16_t hl = announced_header_length(head);
      if (hl > head.size() && !whole_file) {
        head.resize(hl);
        head.resize(t->file_->read_at(0, head.data(), hl));
      }
      // The size after the header (a short first read gave it already):
      // our appends write the record before the count, so the file is never
      // shorter than the count read before it.
      size = whole_file ? head.size() : t->file_->size();
    } catch (const os::IoError& e) {
      throw io_error(path, e);
    }
    schema = parse_header(head, path);
    try {
      check_file_size(schema, size);
      break;
    } catch (const TableError&) {
      if (attempt >= 2 || excl) throw;
      env.clock().sleep(0.02);
    }
  }
  t->count_ = schema.record_count;
  // A header that already says today needs no date written with the first
  // change (one write less on a table the suite changes all day).
  const text::Date today = t->today();
  t->date_stamped_ = schema.update_year % 100 == today.year() % 100 && schema.update_month == today.month() &&
                     schema.update_day == today.day();
  t->code_page_ = options.code_page ? *options.code_page : schema.code_page;
  t->layout_ = LockLayout(scheme, schema.header_length, schema.record_length);
  if (schema.has_memo_fields()) {
    const std::string name = memo_name_of(path);
    t->memo_ = MemoFile::open(env, os::join_path(os::dirname_of(path), name), !options.read_only,
                              excl ? os::ShareMode::Exclusive : os::ShareMode::Shared);
  }
  t->schema_ = std::make_shared<const Schema>(std::move(schema));
  if (whole_file) t->keep_records(head);
  return t;
}

// The records of a table read whole at its open become the cached page (in a
// shared open trusted as long as any page read).
void Table::keep_records(const std::string& file_bytes) {
  const std::size_t hl = schema_->header_length, rl = schema_->record_length;
  if (rl == 0 || file_bytes.size() <= hl) return;
  const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count_, (file_bytes.size() - hl) / rl));
  if (n == 0) return;
  std::memcpy(page_.make_room(std::size_t(n) * rl), file_bytes.data() + hl, std::size_t(n) * rl);
  page_.first = 1;
  page_.count = n;
  page_.loaded_at = share_ == Share::Exclusive ? 0 : now_seconds();
}

void Table::create(const std::string& path, const std::vector<NewField>& fields, const CreateOptions& options) {
  os::Env& env = options.env ? *options.env : os::Env::Default();
  const bool sync = options.sync ? *options.sync : sync_from_environment(env);
  const text::Date day = env.clock().now().date;
  Schema s = make_schema(fields, options.code_page, day, path);
  const std::string memo_path = os::with_extension(path, memo_extension_for(path));
  if (!options.overwrite) {
    if (env.file_exists(path)) throw TableError(ErrorKind::Usage, path, "table already exists");
    if (s.has_memo_fields() && env.file_exists(memo_path))
      throw TableError(ErrorKind::Usage, memo_path, "memo file already exists");
  }
  std::string bytes = encode_header(s);
  bytes.push_back(static_cast<char>(kEndOfFile));
  try {
    // Exclusive while it is written: nobody sees a table half made.
    auto f = env.open_file(path, options.overwrite ? os::OpenMode::Truncate : os::OpenMode::CreateNew,
                           os::ShareMode::Exclusive);
    f->write_at(0, bytes.data(), bytes.size());
    if (sync) f->sync();
  } catch (const os::IoError& e) {
    if (e.kind() == os::IoKind::Busy)
      throw TableError(ErrorKind::Busy, path, "table is in use by another user (cannot replace it)");
    throw io_error(path, e);
  }
  os::note_created(env, path);
  if (s.has_memo_fields()) {
    try {
      MemoFile::create(env, memo_path, options.memo_block_size, options.overwrite, sync);
      os::note_created(env, memo_path);
    } catch (...) {
      try {
        env.remove_file(path);
      } catch (const os::IoError&) {
      }
      throw;
    }
  }
}

std::unique_ptr<Table> Table::create_scratch(const std::string& given, const std::vector<NewField>& fields,
                                             const CreateOptions& options) {
  os::Env& env = options.env ? *options.env : os::Env::Default();
  const std::string path = os::resolve_to_create(env, given);
  Schema s = make_schema(fields, options.code_page, env.clock().now().date, path);
  // Replaced only once nobody else holds it: a file another open holds is
  // refused (Busy) and left as it is.  The old content is written over at
  // the first write-back, not emptied at the open.
  const auto take = [&env](const std::string& file) {
    try {
      return os::open_scratch(env, file);
    } catch (const os::IoError& e) {
      if (e.kind() == os::IoKind::Busy)
        throw TableError(ErrorKind::Busy, file, "table is in use by another user (cannot replace it)");
      throw io_error(file, e);
    }
  };
  std::unique_ptr<Table> t(new Table());
  t->env_ = &env;
  t->path_ = path;
  t->share_ = Share::Exclusive;
  t->sync_ = false;
  t->file_ = take(path);
  std::string bytes = encode_header(s);
  bytes.push_back(static_cast<char>(kEndOfFile));
  t->file_->write_at(0, bytes.data(), bytes.size());
  if (s.has_memo_fields()) {
    t->memo_ = MemoFile::create_open(take(os::resolve_to_create(env, os::with_extension(path, memo_extension_for(path)))),
                                     options.memo_block_size);
    t->memo_->defer_header(true);
  }
  t->code_page_ = s.code_page;
  t->layout_ = LockLayout(LockScheme::Fox, s.header_length, s.record_length);
  t->schema_ = std::make_shared<const Schema>(std::move(s));
  return t;
}

Table::~Table() {
  try {
    close();
  } catch (...) {
  }
}

void Table::close() {
  if (!file_) return;
  std::exception_ptr failed;
  try {
    commit();
  } catch (...) {
    failed = std::current_exception();
  }
  try {
    unlock_all();
  } catch (...) {
  }
  memo_.reset();
  file_.reset();  // closing the file ends its share mode too
  page_ = Page{};
  if (failed) std::rethrow_exception(failed);
}

void Table::sync_memo() {
  if (sync_ && memo_) memo_->sync();
}

void Table::sync_data() {
  if (!sync_ || !unsynced_) return;
  try {
    file_->sync();
  } catch (const os::IoError& e) {
    throw io_error(path_, e);
  }
  unsynced_ = false;
}

// The header's record count and date of the last update.
void Table::write_count() {
  unsigned char head[7];
  encode_count_and_date(count_, today(), head);
  unsynced_ = true;
  try {
    file_->write_at(1, head, sizeof head);
  } catch (const os::IoError& e) {
    throw io_error(path_, e);
  }
  date_stamped_ = true;
}

void Table::set_sync(bool on) {
  if (!on) commit();
  sync_ = on;
  if (memo_) memo_->defer_header(!on);
}

void Table::commit() {
  if (!file_ || read_only_) return;
  if (memo_) memo_->flush();
  sync_memo();
  if (count_pending_) {
    sync_data();  // the records before the count that makes them visible
    write_count();
    count_pending_ = false;
  }
  sync_data();
  try {
    file_->flush();
  } catch (const os::IoError& e) {
    throw io_error(path_, e);
  }
}

void Table::require_writable(const char* what) const {
  if (!file_) throw TableError(ErrorKind::Usage, path_, std::string("table is closed (") + what + ")");
  if (read_only_) throw TableError(ErrorKind::ReadOnly, path_, std::string("table is open read-only: cannot ") + what);
  if (!schema_->code_page_known) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", schema_->code_page_mark);
    throw TableError(ErrorKind::Unsupported, path_,
                     std::string("code-page mark ") + hex + " is unknown: the table can only be read (cannot " + what +
                         ")");
  }
  if (!schema_->writable_format()) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", schema_->version);
    throw TableError(ErrorKind::Unsupported, path_,
                     std::string("Visual FoxPro table (version byte ") + hex + ") can only be read: cannot " + what);
  }
}

void Table::refresh_count() {
  unsigned char b[4];
  try {
    file_->read_exact(4, b, 4);
  } catch (const os::IoError& e) {
    throw io_error(path_, e);
  }
  count_ = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::uint32_t Table::record_count() {
  if (!file_) throw TableError(ErrorKind::Usage, path_, "table is closed");
  if (share_ == Share::Shared) refresh_count();
  return count_;
}

bool Table::has_record(std::uint32_t recno) {
  if (!file_) throw TableError(ErrorKind::Usage, path_, "table is closed");
  if (recno >= 1 && recno <= count_) return true;
  if (share_ == Share::Shared && recno > count_) refresh_count();  // appended by another open?
  return recno >= 1 && recno <= count_;
}

void Table::require_record(std::uint32_t recno) {
  if (!has_record(recno))
    throw TableError(ErrorKind::Usage, path_,
                     "no record " + std::to_string(recno) + " (the table has " + std::to_string(count_) + ")");
}

Record Table::read(std::uint32_t recno) {
  Record r(schema_);
  read_into(recno, r);
  return r;
}

void Table::read_into(std::uint32_t recno, Record& out) {
  require_record(recno);
  const std::size_t rl = schema_->record_length;
  const bool sequential = recno == last_read_ + 1;
  last_read_ = recno;
  if (page_.first && recno >= page_.first && recno - page_.first < page_.count &&
      (share_ == Share::Exclusive || now_seconds() - page_.loaded_at < kSharedCacheSeconds)) {
    const std::string_view bytes(page_.bytes.get() + (recno - page_.first) * rl, rl);
    if (out.schema_ptr() != schema_) out = Record(schema_, recno, bytes);
    else { out.set_recno(recno); out.assign_bytes(bytes); }
    return;
  }
  try {
    // An exclusive open is the only writer: the page around any record read
    // stays true, so a small table is read in one call.
    const std::uint32_t per_page = static_cast<std::uint32_t>(std::max<std::size_t>(kPageBytes / rl, 1));
    if (sequential || share_ == Share::Exclusive) {
      if (!sequential) recno -= (recno - 1) % per_page;
      const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(per_page, count_ - recno + 1));
      char* room = page_.make_room(std::size_t(want) * rl);
      page_.forget();  // until the read has filled it
      const std::size_t got = file_->read_at(schema_->record_offset(recno), room, std::size_t(want) * rl);
      page_.count = static_cast<std::uint32_t>(got / rl);
      page_.first = page_.count ? recno : 0;
      page_.loaded_at = share_ == Share::Exclusive ? 0 : now_seconds();
      const std::uint32_t asked = last_read_;
      if (asked - recno >= page_.count)
        throw TableError(ErrorKind::Corrupt, path_, "record " + std::to_string(asked) + " lies past the end of the file");
      recno = asked;
      const std::string_view bytes(page_.bytes.get() + (recno - page_.first) * rl, rl);
      if (out.schema_ptr() != schema_) out = Record(schema_, recno, bytes);
      else { out.set_recno(recno); out.assign_bytes(bytes); }
      return;
    }
    char buf[65536];
    const std::size_t got = file_->read_at(schema_->record_offset(recno), buf, rl);
    if (got < rl)
      throw TableError(ErrorKind::Corrupt, path_, "record " + std::to_string(recno) + " lies past the end of the file");
    if (out.schema_ptr() != schema_) out = Record(schema_, recno, std::string_view(buf, rl));
    else { out.set_recno(recno); out.assign_bytes(std::string_view(buf, rl)); }
  } catch (const os::IoError& e) {
    throw io_error(path_, e);
  }
}

void Table::invalidate_cache(std::uint32_t recno) {
  if (page_.first && recno >= page_.first && recno - page_.first < page_.count) page_.forget();
}

void Table::stamp_date() {
  if (date_stamped_) return;
  const text::Date d = today();
  const unsigned char b[3] = {static_cast<unsigned char>(d.year() % 100), static_cast<unsigned char>(d.month()),
                              static_cast<unsigned char>(d.day())};
  unsynced_ = true;
  file_->write_at(1, b, 3);
  date_stamped_ = true;
}

// Memo references of a record about to be stored must point at blocks that
// belong to it: blocks this open allocated for it, or the ones the stored
// record already has.  A reference copied from another record is replaced by
// a copy of the memo, so no two records ever share blocks.
void Table::own_memos(Record& rec, const std::string* on_file) {
  for (int i = 0; i < rec.field_count(); ++i) {
    const Field& f = rec.field(i);
    if (!f.is_memo()) continue;
    const std::int64_t block = rec.memo_block(i);
    if (block <= 0) continue;
    const auto b = static_cast<std::uint32_t>(block);
    if (fresh_blocks_.erase(b)) continue;
    if (on_file && decode_memo_ref(f, std::string_view(*on_file).substr(f.offset, f.length)) == block) continue;
    const MemoBlock m = memo_file(f).read(b);
    allocate_memo(rec, i, m.data, m.type);
    fresh_blocks_.erase(static_cast<std::uint32_t>(rec.memo_block(i)));
  }
}

void Table::write(const Record& rec) {
  require_writable("write a record");
  ++writes_;
  const std::uint32_t recno = rec.recno();
  require_record(recno);
  if (rec.bytes().size() != schema_->record_length)
    throw TableError(ErrorKind::Usage, path_, "record of another table layout");
  if (share_ == Share::Shared && !locked_.count(recno))
    throw TableError(ErrorKind::NotLocked, path_, "record " + std::to_string(recno) + " is not locked");
  const std::uint64_t off = schema_->record_offset(recno);
  try {
    const Record* src = &rec;
    Record fixed;
    if (memo_) {
      std::string on_file(schema_->record_length, '\0');
      if (share_ == Share::Exclusive && page_.first && recno >= page_.first && recno - page_.first < page_.count)
        on_file.assign(page_.bytes.get() + (recno - page_.first) * schema_->record_length, schema_->record_length);
      else
        file_->read_exact(off, on_file.data(), on_file.size());
      fixed = rec;
      own_memos(fixed, &on_file);
      src = &fixed;
      sync_memo();  // the memos the record points at reach the disk first
    }
    unsynced_ = true;
    file_->write_at(off, src->bytes().data(), src->bytes().size());
    if (page_.first && recno >= page_.first && recno - page_.first < page_.count)
      std::memcpy(page_.bytes.get() + (recno - page_.first) * schema_->record_length, src->bytes().data(),
                  schema_->record_length);
    stamp_date();
  } catch (const os::IoError& e) {
    throw io_error(path_, e);
  }
}

void Table::lock_header_waiting(const char* what) {
  if (share_ == Share::Exclusive || header_locked_) return;
  const LockRange r = layout_.header();
  if (!acquire_lock(*env_, *file_, r, os::LockKind::Exclusive, lock_wait_))
    throw TableError(ErrorKind::Busy, path_, std::string("the table's header lock is held by another user: cannot ") + what);
  header_locked_ = true;
}

std::uint32_t Table::append(const Record& given) {
  require_writable("append a record");
  ++writes_;
  if (given.bytes().size() != schema_->record_length)
    throw TableError(ErrorKind::Usage, path_, "record of another table layout");
  Record rec = given;
  if (memo_) own_memos(rec, nullptr);
  const bool had_header = header_locked_;
  lock_header_waiting("append a record");
  try {
    // An exclusive open's count is its own (and may be ahead of the header).
    if (share_ == Share::Shared) refresh_count();
    const std::uint32_t recno = count_ + 1;
    if (recno == 0 || recno > layout_.max_records())
      throw TableError(ErrorKind::ValueRefused, path_, "table is full (" + std::to_string(count_) + " records)");
    if (share_ == Share::Shared) {
      const LockRange r = layout_.record(recno);
      if (!file_->try_lock(r.offset, r.length, os::LockKind::Exclusive))
        throw TableError(ErrorKind::Busy, path_, "record " + std::to_string(recno) + " is locked by another user");
      locked_.insert(recno);
    }
    try {
      sync_memo();  // the memos the record points at reach the disk first
      std::string image(rec.bytes());
      image.push_back(static_cast<char>(kEndOfFile));
      unsynced_ = true;
      file_->write_at(schema_->record_offset(recno), image.data(), image.size());
      if (sync_ && share_ == Share::Exclusive) {
        // The count follows at commit, after one sync for every record.
        count_ = recno;
        count_pending_ = true;
      } else {
        sync_data();  // the record before the count that makes it visible
        const std::uint32_t before = count_;
        count_ = recno;
        try {
          write_count();
        } catch (...) {
          count_ = before;
          throw;
        }
      }
    } catch (...) {
      // Nothing was appended: the record number is not ours to keep.
      if (share_ == Share::Shared) unlock_record(recno);
      throw;
    }
    if (!had_header) unlock_header();
    return recno;
  } catch (const os::IoError& e) {
    if (!had_header) unlock_header();
    throw io_error(path_, e);
  } catch (...) {
    if (!had_header) unlock_header();
    throw;
  }
}

bool Table::lock_record(std::uint32_t recno) {
  if (!file_) throw TableError(ErrorKind::Usage, path_, "table is closed");
  if (share_ == Share::Exclusive) return true;
  if (locked_.count(recno)) return true;
  if (recno < 1) return false;
  if (recno > count_) refresh_count();
  if (recno > count_) return false;
  const LockRange r = layout_.record(recno);
  if (!file_->try_lock(r.offset, r.length, os::LockKind::Exclusive)) return false;
  locked_.insert(recno);
  invalidate_cache(recno);
  return true;
}

void Table::unlock_record(std::uint32_t recno) {
  if (!locked_.erase(recno) || !file_) return;
  const LockRange r = layout_.record(recno);
  file_->unlock(r.offset, r.length);
}

bool Table::is_locked(std::uint32_t recno) const {
  return share_ == Share::Exclusive || locked_.count(recno) > 0;
}

std::vector<std::uint32_t> Table::locked_records() const { return {locked_.begin(), locked_.end()}; }

bool Table::lock_header() {
  if (!file_) throw TableError(ErrorKind::Usage, path_, "table is closed");
  if (share_ == Share::Exclusive || header_locked_) return true;
  const LockRange r = layout_.header();
  if (!file_->try_lock(r.offset, r.length, os::LockKind::Exclusive)) return false;
  header_locked_ = true;
  return true;
}

bool Table::lock_header(double wait_seconds) {
  if (!file_) throw TableError(ErrorKind::Usage, path_, "table is closed");
  if (share_ == Share::Exclusive || header_locked_) return true;
  if (!acquire_lock(*env_, *file_, layout_.header(), os::LockKind::Exclusive, wait_seconds)) return false;
  header_locked_ = true;
  return true;
}

void Table::unlock_header() {
  if (!header_locked_ || !file_) return;
  header_locked_ = false;
  const LockRange r = layout_.header();
  file_->unlock(r.offset, r.length);
}

void Table::unlock_records() {
  while (!locked_.empty()) unlock_record(*locked_.begin());
}

void Table::unlock_all() {
  unlock_records();
  unlock_header();
}

MemoFile& Table::memo_file(const Field& f) {
  if (!memo_) throw TableError(ErrorKind::Corrupt, path_, "field " + f.name + " is a memo but the table has no memo file");
  return *memo_;
}

std::string Table::memo(const Record& rec, int field) {
  const Field& f = rec.field(field);
  const std::int64_t block = rec.memo_block(field);
  if (block < 0)
    throw TableError(ErrorKind::Corrupt, path_,
                     "record " + std::to_string(rec.recno()) + " field " + f.name + " holds a malformed memo reference");
  if (block == 0) return "";
  return memo_file(f).read(static_cast<std::uint32_t>(block)).data;
}

Value Table::value(const Record& rec, int field) {
  const Field& f = rec.field(field);
  if (f.is_memo()) {
    if (rec.decode(field).kind == FieldValue::Kind::Null) return Value();
    return Value(memo(rec, field));
  }
  return rec.get(field);
}

void Table::set_value(Record& rec, int field, const Value& v) {
  const Field& f = rec.field(field);
  if (!f.is_memo()) return rec.set(field, v);
  if (!v.is_text() && !v.is_nil())
    throw TableError(ErrorKind::Usage, path_, "memo field " + f.name + " takes a text, not " + type_name(v.type()));
  set_memo(rec, field, v.text());
}

void Table::allocate_memo(Record& rec, int field, std::string_view text, std::uint32_t type) {
  MemoFile& m = memo_file(rec.field(field));
  const bool had_header = header_locked_;
  bool memo_locked = false;
  const LockRange mr = layout_.memo();
  try {
    if (share_ == Share::Shared) {
      lock_header_waiting("store a memo");
      if (!acquire_lock(*env_, m.file(), mr, os::LockKind::Exclusive, lock_wait_))
        throw TableError(ErrorKind::Busy, m.path(), "the memo file's lock is held by another user");
      memo_locked = true;
    }
    const std::uint32_t block = m.append(text, type);
    fresh_blocks_.insert(block);
    rec.set_memo_block(field, block);
  } catch (...) {
    if (memo_locked) m.file().unlock(mr.offset, mr.length);
    if (!had_header) unlock_header();
    throw;
  }
  if (memo_locked) m.file().unlock(mr.offset, mr.length);
  if (!had_header) unlock_header();
}

void Table::set_memo(Record& rec, int field, std::string_view text) {
  require_writable("store a memo");
  const Field& f = rec.field(field);
  if (f.type != FieldType::Memo)
    throw TableError(ErrorKind::Unsupported, path_, "field " + f.name + " of type " + f.letter() + " can only be read");
  if (text.empty()) {
    rec.set_memo_block(field, 0);
    return;
  }
  MemoFile& m = memo_file(f);
  // Blocks a stored record refers to are never overwritten: a kill between
  // the memo and the record would leave the record with another version's
  // memo.  Only blocks this open wrote and no stored record refers to yet
  // are rewritten in place.
  const std::int64_t block = rec.memo_block(field);
  if (block > 0 && fresh_blocks_.count(static_cast<std::uint32_t>(block)) > 0 &&
      m.rewrite_in_place(static_cast<std::uint32_t>(block), text))
    return;
  allocate_memo(rec, field, text, kMemoTypeText);
}

}  // namespace rt::table

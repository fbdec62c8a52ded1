#include "runtime/workarea/workareas.h"

#include "runtime/os/file.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/natural_order.h"

namespace rt::wa {

using Kind = WorkAreaError::Kind;

using table::Record;
using table::TableError;

// ---------------------------------------------------------------- Area

Area::Area(int number, std::string alias, std::unique_ptr<table::Table> t, bool exclusive, bool readonly)
    : number_(number),
      alias_(std::move(alias)),
      table_(std::move(t)),
      exclusive_(exclusive),
      readonly_(readonly),
      order_(std::make_unique<NaturalOrder>(*table_)),
      record_(table_->blank()) {}

Area::~Area() {
  try {
    table_->close();  // releases every lock
  } catch (...) {
    // Closing only releases locks and descriptors; nothing is left to save.
  }
}

void Area::fail(Kind kind, const std::string& what) const { throw WorkAreaError(kind, alias_ + ": " + what); }

RecNo Area::recno() { return eof_ ? table_->record_count() + 1 : recno_; }

bool Area::deleted() { return !eof_ && record_.deleted(); }

void Area::load(RecNo recno) {
  if (recno == 0) {
    recno_ = 0;
    eof_ = true;
    record_ = table_->blank();
    return;
  }
  table_->read_into(recno, record_);
  recno_ = recno;
  eof_ = false;
}

bool Area::passes_filter() { return !filter_ || filter_(*this); }

RecNo Area::first_passing(RecNo from, bool forward) {
  for (RecNo r = from; r != 0; r = forward ? order_->next(r) : order_->prev(r)) {
    load(r);
    if (passes_filter()) return r;
  }
  return 0;
}

// first_passing leaves the record it returns loaded: it is not read again.
void Area::land(RecNo recno) {
  if (recno == 0 || recno != recno_ || eof_) load(recno);
}

void Area::goto_top() {
  const RecNo r = first_passing(order_->first(), true);
  land(r);
  bof_ = r == 0;
  moved();
}

void Area::goto_bottom() {
  const RecNo r = first_passing(order_->last(), false);
  land(r);
  bof_ = r == 0;
  moved();
}

void Area::seek_position(RecNo recno, bool found) {
  land(recno);  // found by first_passing
  bof_ = false;
  found_ = found;
  moved();
}

void Area::go(RecNo recno) {
  go_unrelated(recno);
  moved();
}

void Area::go_unrelated(RecNo recno) {
  bof_ = false;
  if (table_->has_record(recno)) {
    load(recno);
  } else {
    load(0);
    bof_ = table_->record_count() == 0;
  }
}

void Area::skip(long count) {
  if (count == 0) {
    refresh();
    return;
  }
  skip_moves(count);
  moved();
}

void Area::skip_moves(long count) {
  bof_ = false;
  if (count > 0) {
    for (long k = 0; k < count && !eof_; ++k) {
      const RecNo r = first_passing(order_->next(recno_), true);
      land(r);  // 0: end of file
    }
    return;
  }
  for (long k = 0; k < -count; ++k) {
    const RecNo start = eof_ ? order_->last() : order_->prev(recno_);
    const RecNo here = recno_;
    const bool was_eof = eof_;
    const RecNo r = first_passing(start, false);
    if (r == 0) {
      // Before the first record: BOF, staying on the first record.
      bof_ = true;
      if (was_eof) {
        goto_top();
        bof_ = true;
      } else {
        load(here);
      }
      return;
    }
    land(r);
  }
}

bool Area::locate(const Condition& cond) {
  for (goto_top(); !eof_; skip(1)) {
    if (cond(*this)) {
      found_ = true;
      return true;
    }
  }
  found_ = false;
  return false;
}

void Area::refresh() {
  if (!eof_) load(recno_);
}

int Area::field_count() const { return static_cast<int>(table_->schema().fields.size()); }

std::string Area::field_name(int i) const {
  if (i < 1 || i > field_count()) return "";
  return table_->schema().fields[static_cast<std::size_t>(i - 1)].name;
}

std::string Area::field_type(int i) const {
  if (i < 1 || i > field_count()) return "";
  return std::string(1, table_->schema().fields[static_cast<std::size_t>(i - 1)].letter());
}

int Area::field_pos(const std::string& name) const { return table_->schema().index_of(name) + 1; }

namespace {

// Texts reach the station in its screen's code page; a table marked with
// another one is read and written in its own.
bool transcoded(const table::Table& t, const table::Field& f) {
  return t.code_page() != kStationCodePage && !f.binary() &&
         (f.type == table::FieldType::Character || f.type == table::FieldType::Memo ||
          f.type == table::FieldType::Varchar);
}

Value to_table(const table::Table& t, const table::Field& f, const Value& v) {
  if (!v.is_text() || !transcoded(t, f)) return v;
  return Value(text::transcode(v.text(), kStationCodePage, t.code_page()));
}

}  // namespace

Value Area::get(const std::string& name) {
  const int i = table_->schema().index_of(name);
  if (i < 0) fail(Kind::NoField, "no field " + name);
  return field_get(i + 1);
}

Value Area::field_get(int pos) {
  if (pos < 1 || pos > field_count()) fail(Kind::NoField, "no field number " + std::to_string(pos));
  const int i = pos - 1;
  Value v = table_->value(record_, i);
  if (v.is_text() && transcoded(*table_, table_->schema().fields[static_cast<std::size_t>(i)]))
    return Value(text::transcode(v.text(), table_->code_page(), kStationCodePage));
  return v;
}

void Area::require_writable(const char* what) {
  if (eof_) fail(Kind::NotWritable, std::string("cannot ") + what + " at end of file (no current record)");
  if (readonly_) fail(Kind::NotWritable, std::string("cannot ") + what + ": the table is open read-only");
  if (!exclusive_ && !table_->is_locked(recno_))
    fail(Kind::NotWritable, std::string("cannot ") + what + ": record " + std::to_string(recno_) +
         " is not locked (lock it or append it first)");
}

void Area::put(const std::string& name, const Value& value) {
  const int i = table_->schema().index_of(name);
  if (i < 0) fail(Kind::NoField, "no field " + name);
  field_put(i + 1, value);
}

void Area::field_put(int pos, const Value& value) {
  if (pos < 1 || pos > field_count()) fail(Kind::NoField, "no field number " + std::to_string(pos));
  const int i = pos - 1;
  require_writable("write");
  Record after = record_;
  const table::Field& f = table_->schema().fields[static_cast<std::size_t>(i)];
  if (f.is_memo()) {
    table_->set_memo(after, i, to_table(*table_, f, value).text());
  } else {
    after.set(i, to_table(*table_, f, value));  // a value that does not fit throws; nothing written
  }
  write_current(after);
}

void Area::set_field(Record& rec, int i, const Value& value) {
  const table::Field& f = table_->schema().fields[static_cast<std::size_t>(i)];
  if (f.is_memo()) {
    table_->set_memo(rec, i, to_table(*table_, f, value).text());
  } else {
    rec.set(i, to_table(*table_, f, value));  // a value that does not fit throws; nothing written
  }
}

void Area::set_fields(Record& rec, const std::vector<std::pair<std::string, Value>>& values) {
  for (const auto& [name, value] : values) {
    const int i = table_->schema().index_of(name);
    if (i < 0) fail(Kind::NoField, "no field " + name);
    set_field(rec, i, value);
  }
}

void Area::set_fields(Record& rec, const std::vector<std::pair<int, Value>>& values) {
  for (const auto& [pos, value] : values) {
    if (pos < 1 || pos > field_count()) fail(Kind::NoField, "no field number " + std::to_string(pos));
    set_field(rec, pos - 1, value);
  }
}

template <typename Values>
void Area::put_all(const Values& values) {
  require_writable("write");
  Record after = record_;
  set_fields(after, values);
  write_current(after);
}

void Area::put_fields(const std::vector<std::pair<std::string, Value>>& values) { put_all(values); }
void Area::put_fields_at(const std::vector<std::pair<int, Value>>& values) { put_all(values); }

void Area::write_current(const Record& after) {
  const std::string before(record_.bytes());
  // The order bags are locked (and checked) before the record changes, so a
  // bag that cannot take the change stops the write with nothing written.
  std::vector<std::shared_ptr<void>> held;
  for (auto& o : observers_) held.push_back(o->prepare_write(recno_, before, after.bytes()));
  table_->write(after);
  record_ = after;
  for (auto& o : observers_) o->record_written(recno_, before, record_.bytes());
}

void Area::delete_record() {
  require_writable("delete");
  Record after = record_;
  after.set_deleted(true);
  write_current(after);
}

void Area::recall() {
  require_writable("recall");
  Record after = record_;
  after.set_deleted(false);
  write_current(after);
}

void Area::drop_record_locks() {
  if (append_locked_) table_->unlock_records();
  else table_->unlock_all();
}

bool Area::appended(const Record& rec) {
  // The table's header lock comes first, then the order bags' locks: the
  // order of a routine that holds the append lock while it appends.  Taken
  // the other way round, two programs appending at once could each hold the
  // lock the other waits for, and both give up.
  const bool own_header = !table_->header_locked();
  if (own_header && !table_->lock_header(table_->lock_wait())) return false;
  const std::unique_ptr<table::Table, void (*)(table::Table*)> release(
      own_header ? table_.get() : nullptr, [](table::Table* t) { t->unlock_header(); });
  // The order bags are locked (and checked) before the record is written.
  std::vector<std::shared_ptr<void>> held;
  for (auto& o : observers_) held.push_back(o->prepare_write(0, std::string_view(), rec.bytes()));
  RecNo r = 0;
  try {
    r = table_->append(rec);
  } catch (const TableError& e) {
    if (e.network_error()) return false;
    throw;
  }
  load(r);
  bof_ = false;
  for (auto& o : observers_) o->record_written(r, std::string_view(), record_.bytes());
  return true;
}

// An append, like a lock, drops the area's other record locks.
bool Area::append() { return append_all(std::vector<std::pair<int, Value>>{}); }

template <typename Values>
bool Area::append_all(const Values& values) {
  if (readonly_) fail(Kind::NotWritable, "cannot append: the table is open read-only");
  Record rec = table_->blank();
  set_fields(rec, values);
  drop_record_locks();
  return appended(rec);
}

bool Area::append(const std::vector<std::pair<std::string, Value>>& values) { return append_all(values); }
bool Area::append_at(const std::vector<std::pair<int, Value>>& values) { return append_all(values); }

bool Area::lock_record() {
  drop_record_locks();
  // At end of file there is no record to protect: the lock "succeeds" (so a
  // caller retrying until it gets a lock never hangs) and writes there are
  // refused all the same.
  if (eof_) return true;
  if (!table_->lock_record(recno_)) return false;
  load(recno_);  // the record as it is now that nobody else can change it
  return true;
}

bool Area::lock_append(double wait_seconds) {
  if (readonly_) fail(Kind::NotWritable, "cannot lock for appending: the table is open read-only");
  if (!table_->lock_header(wait_seconds)) return false;
  append_locked_ = true;
  table_->drop_cache();  // what others wrote before we got in is read afresh
  return true;
}

void Area::unlock_append() {
  append_locked_ = false;
  table_->unlock_header();
}

bool Area::is_locked(RecNo recno) const { return table_->is_locked(recno); }

void Area::unlock() { drop_record_locks(); }

void Area::commit() {
  table_->commit();
  for (const auto& o : observers_) o->commit();
}

void Area::set_filter(Condition cond, std::string text) {
  filter_ = std::move(cond);
  filter_text_ = std::move(text);
}

void Area::clear_filter() {
  filter_ = nullptr;
  filter_text_.clear();
}

void Area::set_order(std::unique_ptr<Order> order) {
  order_ = order ? std::move(order) : std::make_unique<NaturalOrder>(*table_);
}

void Area::add_write_observer(std::shared_ptr<RecordWriteObserver> observer) {
  observers_.push_back(std::move(observer));
}

// ---------------------------------------------------------------- WorkAreas

namespace {

std::string alias_key(const std::string& alias) { return text::upper(text::trim(alias)); }

// Whether an area's alias (kept as alias_key made it) is the alias given,
// compared as alias_key would without making a new text: looked up on every
// step of a browse and by every typed view.
bool alias_is(const std::string& key, std::string_view given) {
  while (!given.empty() && given.front() == ' ') given.remove_prefix(1);
  while (!given.empty() && given.back() == ' ') given.remove_suffix(1);
  return text::same_nocase(key, given);
}

std::string default_alias(const std::string& path) {
  std::string base = os::basename_of(path);
  if (auto dot = base.rfind('.'); dot != std::string::npos && dot > 0) base.erase(dot);
  return alias_key(base);
}

std::string with_dbf(const std::string& file) { return os::has_extension(file) ? file : file + ".dbf"; }

}  // namespace

WorkAreas::WorkAreas(os::Env& env) : env_(env) {}
WorkAreas::~WorkAreas() = default;

int WorkAreas::select_area(int number) {
  if (number < 0) throw WorkAreaError(Kind::NotOpen, "work area " + std::to_string(number) + " does not exist");
  if (number == 0) {
    number = 1;
    while (areas_.count(number)) ++number;
  }
  current_ = number;
  return current_;
}

int WorkAreas::select_area(const std::string& alias) {
  const int n = select(alias);
  if (n == 0 || alias_key(alias).empty()) throw WorkAreaError(Kind::NotOpen, "no table is open with alias " + alias);
  current_ = n;
  return n;
}

int WorkAreas::select(const std::string& alias) const {
  if (alias_is("", alias)) return current_;
  for (const auto& [n, a] : areas_)
    if (alias_is(a->alias(), alias)) return n;
  return 0;
}

void WorkAreas::make_room(const std::string& alias) {
  const int holder = select(alias);
  if (holder != 0 && holder != current_)
    throw WorkAreaError(Kind::AliasInUse, alias + ": alias already in use in work area " + std::to_string(holder));
  retire(current_);
}

void WorkAreas::install(std::unique_ptr<Area> area) {
  area->number_ = current_;
  area->goto_top();
  areas_[current_] = std::move(area);
  ++generation_;
}

template <typename Open>
bool WorkAreas::open_into(const std::string& alias, bool exclusive, bool readonly, Open open) {
  std::unique_ptr<table::Table> t;
  try {
    t = open();
  } catch (const TableError& e) {
    neterr_ = e.network_error();
    if (neterr_) return false;
    throw;
  }
  neterr_ = false;
  auto area = std::make_unique<Area>(current_, alias, std::move(t), exclusive, readonly);
  area->set_bag_lock_wait(bag_lock_wait_);
  install(std::move(area));
  return true;
}

bool WorkAreas::use(const std::string& file, const OpenOptions& options) {
  const std::string path = with_dbf(file);
  const std::string alias = options.alias.empty() ? default_alias(path) : alias_key(options.alias);
  make_room(alias);
  if (!kept_.empty() && !options.exclusive && !options.readonly) {
    const auto k = kept_.find(os::resolve_nocase(env_, path));
    if (k != kept_.end() && k->second && k->second->alias() == alias) {
      install(std::move(k->second));
      neterr_ = false;
      return true;
    }
  }
  table::OpenOptions o;
  o.env = &env_;
  o.share = options.exclusive ? table::Share::Exclusive : table::Share::Shared;
  o.read_only = options.readonly;
  if (site_) {
    o.lock_scheme = site_->lock_scheme;
    o.sync = site_->sync;
  }
  return open_into(alias, options.exclusive, options.readonly, [&] { return table::Table::open(path, o); });
}

Area& WorkAreas::current() {
  auto it = areas_.find(current_);
  if (it == areas_.end())
    throw WorkAreaError(Kind::NotOpen, "no table is open in work area " + std::to_string(current_));
  return *it->second;
}

Area& WorkAreas::area(const std::string& alias) {
  for (auto& [n, a] : areas_)
    if (alias_is(a->alias(), alias)) return *a;
  throw WorkAreaError(Kind::NotOpen, "no table is open with alias " + alias);
}

bool WorkAreas::is_open(int number) const { return areas_.count(number) != 0; }

std::string WorkAreas::alias() const {
  auto it = areas_.find(current_);
  return it == areas_.end() ? std::string() : it->second->alias();
}

void WorkAreas::close_area() { retire(current_); }

void WorkAreas::close_all() {
  while (!areas_.empty()) retire(areas_.begin()->first);
}

void WorkAreas::keep_open(const std::string& file) { kept_.try_emplace(os::resolve_nocase(env_, with_dbf(file))); }

void WorkAreas::retire(int number) {
  const auto it = areas_.find(number);
  if (it == areas_.end()) return;
  std::unique_ptr<Area> area = std::move(it->second);
  areas_.erase(it);
  ++generation_;
  const auto k = kept_.find(area->table().path());
  if (k == kept_.end() || area->exclusive() || area->readonly()) return;  // closed with `area`
  try {
    // As a close would leave it for other programs: written, no lock held.
    area->commit();
    area->unlock();
    if (area->append_locked_) area->unlock_append();
    area->clear_filter();
    for (const auto& o : area->observers_) o->kept_open();
  } catch (const std::exception&) {
    return;  // not kept: closed with `area`
  }
  k->second = std::move(area);
}

void WorkAreas::commit_all() {
  for (auto& [n, a] : areas_) a->commit();
}

std::vector<table::NewField> WorkAreas::structure() {
  std::vector<table::NewField> specs;
  for (const auto& f : current().table().schema().fields) specs.push_back({f.name, f.letter(), f.length, f.decimals});
  return specs;
}

bool WorkAreas::use_scratch(const std::string& file, const std::vector<table::NewField>& fields,
                            const std::string& alias, text::CodePage code_page) {
  const std::string key = alias_key(alias);
  make_room(key);
  table::CreateOptions o;
  o.env = &env_;
  o.code_page = code_page;
  return open_into(key, true, false, [&] { return table::Table::create_scratch(with_dbf(file), fields, o); });
}

void WorkAreas::copy_structure(const std::string& file, std::optional<bool> sync) {
  Area& a = current();
  const std::vector<table::NewField> specs = structure();
  table::CreateOptions o;
  o.env = &env_;
  o.sync = sync ? sync : site_ ? std::optional<bool>(site_->sync) : std::nullopt;
  o.code_page = a.table().code_page();
  table::Table::create(with_dbf(file), specs, o);
}

void WorkAreas::create(const std::string& file, const std::vector<table::NewField>& fields) {
  table::CreateOptions o;
  o.env = &env_;
  if (site_) o.sync = site_->sync;
  table::Table::create(with_dbf(file), fields, o);
}

bool WorkAreas::file_exists(const std::string& name) { return env_.file_exists(os::resolve_nocase(env_, name)); }

bool WorkAreas::erase_file(const std::string& name) {
  try {
    return env_.remove_file(os::resolve_nocase(env_, name));
  } catch (const os::IoError&) {
    return false;
  }
}

}  // namespace rt::wa

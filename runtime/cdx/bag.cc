#include "runtime/cdx/bag.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_set>

#include "runtime/os/write_back_file.h"

namespace rt::cdx {

namespace {

// Bytes read at once when the directory is read again: the header, the
// directory and the first tag headers of any bag, the whole of a small one.
constexpr std::size_t kReadAhead = 8 * 1024;

std::string upper_ascii(std::string_view s) {
  std::string r(s);
  for (auto& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return r;
}

std::string trim_name(std::string_view key) {
  std::size_t n = key.size();
  while (n && (key[n - 1] == ' ' || key[n - 1] == '\0')) --n;
  return std::string(key.substr(0, n));
}

bool valid_tag_name(std::string_view n) {
  if (n.empty() || n.size() > 10) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(n[0])) return false;
  for (char c : n)
    if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

}  // namespace

KeyKind guess_key_kind(std::string_view expr, int key_length, std::uint8_t options) {
  const int len = key_length - ((options & kOptNullable) ? 1 : 0);
  if (len != 4 && len != 8) return KeyKind::Text;
  std::string e = upper_ascii(expr);
  while (!e.empty() && e.back() == ' ') e.pop_back();
  while (!e.empty() && e.front() == ' ') e.erase(0, 1);
  for (const char* f : {"VAL(", "RECNO(", "YEAR(", "MONTH(", "DAY(", "CTOD(", "DATE("})
    if (e.rfind(f, 0) == 0) return KeyKind::Binary;
  if (const auto arrow = e.find("->"); arrow != std::string::npos) e = e.substr(arrow + 2);
  if (e.empty()) return KeyKind::Text;
  for (char c : e)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return KeyKind::Text;
  return KeyKind::Binary;
}

// ---------------------------------------------------------------- KeyList

void KeyList::add(std::string_view key, std::uint32_t recno, std::uint8_t pad) {
  const std::size_t kl = std::size_t(sorted_.key_length);
  if (key.size() >= kl) {
    sorted_.keys.append(key.substr(0, kl));
  } else {
    sorted_.keys.append(key);
    sorted_.keys.append(kl - key.size(), char(pad));
  }
  sorted_.recnos.push_back(recno);
}

const SortedKeys& KeyList::sort(bool unique) {
  const std::size_t n = sorted_.size(), kl = std::size_t(sorted_.key_length);
  // Sort small records: the first 8 key bytes as a big-endian number decide
  // most comparisons without touching the key bytes again.
  struct Item {
    std::uint64_t head;
    std::uint32_t recno;
    std::uint32_t idx;
  };
  std::vector<Item> items(n);
  const char* base = sorted_.keys.data();
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t h = 0;
    const auto* k = reinterpret_cast<const std::uint8_t*>(base + i * kl);
    for (std::size_t b = 0; b < 8; ++b) h = (h << 8) | (b < kl ? k[b] : 0);
    items[i] = Item{h, sorted_.recnos[i], std::uint32_t(i)};
  }
  if (kl <= 8) {
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
      return a.head != b.head ? a.head < b.head : a.recno < b.recno;
    });
  } else {
    std::sort(items.begin(), items.end(), [base, kl](const Item& a, const Item& b) {
      if (a.head != b.head) return a.head < b.head;
      const int c = std::memcmp(base + a.idx * kl + 8, base + b.idx * kl + 8, kl - 8);
      return c != 0 ? c < 0 : a.recno < b.recno;
    });
  }
  std::string keys;
  keys.reserve(n * kl);
  std::vector<std::uint32_t> recnos;
  recnos.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const char* k = base + items[i].idx * kl;
    if (unique && i > 0 && std::memcmp(k, base + items[i - 1].idx * kl, kl) == 0) continue;
    keys.append(k, kl);
    recnos.push_back(items[i].recno);
  }
  sorted_.keys = std::move(keys);
  sorted_.recnos = std::move(recnos);
  return sorted_;
}

// ---------------------------------------------------------------- Tag

Tree Tag::tree() { return Tree(*bag_.store_, ref_); }

void Tag::check_present() const {
  if (gone_) throw CdxError(bag_.path_, ref_.name, "the tag is no longer in the bag");
}

void Tag::set_kind(KeyKind k) {
  ref_.pad = k == KeyKind::Text ? 0x20 : 0x00;
  kind_set_ = true;
}

std::string Tag::full_key(std::string_view key) const {
  std::string k(key.substr(0, std::size_t(ref_.key_length)));
  k.resize(std::size_t(ref_.key_length), char(ref_.pad));
  return k;
}

// What every change checks first (the tree checks the pages on its path
// itself before it writes).
void Tag::check_writable(std::string_view key) {
  check_present();
  bag_.require_writer(ref_.name);
  bag_.check_free_list(ref_.name);
  if (key.size() != std::size_t(ref_.key_length))
    throw CdxError(bag_.path_, ref_.name,
                   "key of " + std::to_string(key.size()) + " bytes for a key length of " + std::to_string(ref_.key_length),
                   CdxError::Kind::Refused);
}

void Tag::check_change(std::string_view key, std::uint32_t recno) {
  Bag::Lock lock(bag_, true);
  check_writable(key);
  tree().check_path(key, recno);
}

Tag::Insert Tag::insert(std::string_view key, std::uint32_t recno) {
  Bag::Lock lock(bag_, true);
  check_writable(key);
  Tree t = tree();
  Insert result = Insert::Added;
  if (unique()) {
    Position p = t.lower_bound(key, 0, true);
    if (p.valid() && p.key() == key) {
      const std::uint32_t present = p.recno();
      if (present == recno) return Insert::Present;
      if (present < recno) return Insert::Kept;
      t.remove(key, present);
      bag_.modified();
      result = Insert::Replaced;
    }
  }
  if (!t.insert(key, recno)) return Insert::Present;
  bag_.modified();
  return result;
}

bool Tag::remove(std::string_view key, std::uint32_t recno) {
  Bag::Lock lock(bag_, true);
  if (key.size() != std::size_t(ref_.key_length)) return false;
  check_writable(key);
  Tree t = tree();
  if (!t.remove(key, recno)) return false;
  bag_.modified();
  return true;
}

std::size_t Tag::count() {
  Bag::Lock lock(bag_, false);
  check_present();
  Tree t = tree();
  std::size_t n = 0;
  Position p = t.first();
  std::uint32_t steps = 0;
  while (p.leaf) {
    n += p.leaf->size();
    if (++steps > bag_.store_->page_count()) throw CdxError(bag_.path_, ref_.name, "leaf sibling links loop");
    p.idx = p.leaf->size() ? p.leaf->size() - 1 : 0;
    if (!t.next(p)) break;
  }
  return n;
}

int Tag::height() {
  Bag::Lock lock(bag_, false);
  check_present();
  return tree().height();
}

std::vector<std::pair<std::string, std::uint32_t>> Tag::entries() {
  Bag::Lock lock(bag_, false);
  check_present();
  std::vector<std::pair<std::string, std::uint32_t>> out;
  Tree t = tree();
  for (Position p = t.first(); p.valid();) {
    out.emplace_back(std::string(p.key()), p.recno());
    if (!t.next(p)) break;
  }
  return out;
}

// ---------------------------------------------------------------- Cursor

bool Cursor::take(const Position& p) {
  pos_ = p;
  generation_ = tag_->bag_.generation_;
  valid_ = p.valid();
  if (valid_) {
    key_.assign(p.key());
    recno_ = p.recno();
  }
  return valid_;
}

bool Cursor::seek(std::string_view key) {
  return tag_->bag_.reading([&] {
    tag_->check_present();
    if (key.size() > std::size_t(tag_->key_length())) {
      // Longer than the key: equal only when the extra bytes are padding.
      const std::string_view extra = key.substr(std::size_t(tag_->key_length()));
      const bool padding =
          std::all_of(extra.begin(), extra.end(), [&](char c) { return std::uint8_t(c) == tag_->pad(); });
      take(tag_->tree().lower_bound(key.substr(0, std::size_t(tag_->key_length()))));
      return padding && valid_ &&
             std::string_view(key_).substr(0, tag_->key_length()) == key.substr(0, tag_->key_length());
    }
    take(tag_->tree().lower_bound(key));
    return valid_ && std::string_view(key_).substr(0, key.size()) == key;
  });
}

bool Cursor::seek(std::string_view key, std::uint32_t recno) {
  return tag_->bag_.reading([&] {
    tag_->check_present();
    const std::string k = tag_->full_key(key);
    take(tag_->tree().lower_bound(k, recno, true));
    return valid_ && key_ == k && recno_ == recno;
  });
}

bool Cursor::first() {
  return tag_->bag_.reading([&] {
    tag_->check_present();
    return take(tag_->tree().first());
  });
}

bool Cursor::last() {
  return tag_->bag_.reading([&] {
    tag_->check_present();
    return take(tag_->tree().last());
  });
}

// A move finds its entry again first when the bag changed since the cursor
// stood on it; the cursor changes only at the end (take), so a move started
// over under the lock starts from the same place.  When its entry is gone,
// the entry that followed it is the next one and the entry before that the
// previous one.
bool Cursor::step(bool forward) {
  if (!valid_) return false;
  return tag_->bag_.reading([&] {
    tag_->check_present();
    Tree t = tag_->tree();
    Position p = pos_;
    if (generation_ != tag_->bag_.generation_) {
      p = t.lower_bound(key_, recno_, true);
      if (!p.valid()) return forward ? (take(Position{}), false) : take(t.last());
      if (forward && (p.key() != key_ || p.recno() != recno_)) return take(p);
    }
    if (!(forward ? t.next(p) : t.prev(p))) return take(Position{}), false;
    return take(p);
  });
}

bool Cursor::next() { return step(true); }

bool Cursor::prev() { return step(false); }

// ---------------------------------------------------------------- Bag

Bag::Bag(std::string path, std::unique_ptr<os::File> file, os::Env& env, os::ShareMode share)
    : path_(std::move(path)),
      env_(env),
      file_(std::move(file)),
      store_(std::make_unique<PageStore>(*file_, path_)),
      share_(share),
      lock_wait_(bounded_lock_wait(kDefaultLockWaitSeconds, env.clock())) {}

Bag::~Bag() {
  // The file's close gives the lock back.
  if (held_) LockedReads::forget(this);
}

std::unique_ptr<Bag> Bag::open(const std::string& path, bool writable, os::Env& env, os::ShareMode share) {
  std::string real;
  auto file = os::open_nocase(env, path, writable ? os::OpenMode::ReadWrite : os::OpenMode::ReadOnly, share, real);
  std::unique_ptr<Bag> bag(new Bag(real, std::move(file), env, share));
  Lock lock(*bag, false);  // reads the header and the directory
  return bag;
}

namespace {

// An empty bag: the directory header and its root page.
void encode_empty(bool structural, std::uint32_t version, std::uint8_t (&buf)[kHeaderSize + kPageSize]) {
  TagHeader h;
  h.root = kHeaderSize;
  h.version = version;
  h.key_length = 10;
  h.options = std::uint8_t(kOptCompact | kOptCompound | (structural ? kOptStructural : 0));
  h.encode(buf);
  Node root;
  root.attributes = 3;
  root.key_length = 10;
  encode_node(root, 0x20, buf + kHeaderSize);
}

}  // namespace

void Bag::write_empty(os::Env& env, const std::string& path, bool structural, std::uint32_t version, bool sync) {
  auto file = env.open_file(path, os::OpenMode::Truncate, os::ShareMode::Exclusive);
  std::uint8_t buf[kHeaderSize + kPageSize];
  encode_empty(structural, version, buf);
  file->write_at(0, buf, sizeof buf);
  if (sync) file->sync();
}

std::unique_ptr<Bag> Bag::create_scratch(const std::string& path, os::Env& env) {
  std::unique_ptr<os::File> file;
  try {
    file = os::open_scratch(env, path);
  } catch (const os::IoError& e) {
    if (e.kind() != os::IoKind::Busy) throw;
    throw CdxError(path, "", "another program has the bag open; it is not replaced", CdxError::Kind::Busy);
  }
  std::uint8_t buf[kHeaderSize + kPageSize];
  encode_empty(true, 0, buf);
  file->write_at(0, buf, sizeof buf);
  std::unique_ptr<Bag> bag(new Bag(path, std::move(file), env, os::ShareMode::Exclusive));
  bag->set_sync(false);
  Lock lock(*bag, false);  // takes in the header and the directory (from memory)
  return bag;
}

void Bag::flush() { file_->flush(); }

void Bag::sync_pages() {
  if (sync_) store_->sync();
}

std::unique_ptr<Bag> Bag::create(const std::string& path, bool structural, os::Env& env, os::ShareMode share,
                                 bool sync) {
  // Written aside and renamed over the name: nobody ever sees the bag
  // truncated or half written.  An existing bag is replaced only while no
  // other open holds it (its exclusive open is held over the rename).
  const std::string tmp = path + ".tmp";
  std::unique_ptr<os::File> old;
  if (env.file_exists(path)) {
    try {
      old = env.open_file(path, os::OpenMode::ReadWrite, os::ShareMode::Exclusive);
    } catch (const os::IoError& e) {
      if (e.kind() != os::IoKind::Busy) throw;
      throw CdxError(path, "", "another program has the bag open; it is not replaced", CdxError::Kind::Busy);
    }
  }
  write_empty(env, tmp, structural, 0, sync);
  // Closed before the rename: Windows refuses to rename over an open file.
  old.reset();
  env.rename_file(tmp, path);
  os::note_created(env, path);
  auto bag = open(path, true, env, share);
  bag->set_sync(sync);
  return bag;
}

void Bag::rebuild(const KeysFor& keys_for) {
  require_writer("");
  const std::string tmp = path_ + ".tmp";
  {
    Lock lock(*this, true);
    write_empty(env_, tmp, dir_header_.options & kOptStructural, version_ + 1);
    std::unique_ptr<Bag> fresh = open(tmp, true, env_);
    for (Tag* old : tags()) {
      TagDefinition spec{old->name(), old->key_expr(), old->for_expr(), old->key_length(), old->kind(), old->unique(),
                         old->descending(), old->candidate(), old->nullable(),
                         std::string(reinterpret_cast<const char*>(old->header_.reserved16),
                                     sizeof old->header_.reserved16)};
      KeyList keys = keys_for(*old, spec);
      fresh->build_tag(spec, keys);
    }
    fresh.reset();
  }
  // The old bag is closed before the new one is renamed over it (Windows
  // refuses to rename over an open file).  A rebuild runs while the table
  // is open exclusively, so nobody else can write the old bag meanwhile.
  store_.reset();
  file_.reset();
  try {
    env_.rename_file(tmp, path_);
  } catch (const std::exception&) {
    reopen();  // the old bag, whole, stays in use
    throw;
  }
  reopen();
}

void Bag::reopen() {
  file_ = env_.open_file(path_, os::OpenMode::ReadWrite, share_);
  store_ = std::make_unique<PageStore>(*file_, path_);
  version_raised_ = false;
  loaded_ = false;
  Lock lock(*this, false);  // reads the header and the directory
}

void Bag::require_writer(const std::string& tag) const {
  if (!file_->writable()) throw CdxError(path_, tag, "the bag is open read-only", CdxError::Kind::Refused);
}

LockWait bounded_lock_wait(double seconds, os::Clock& clock) {
  auto start = std::make_shared<double>(0.0);
  return [start, seconds, &clock](const std::string&, int attempt) {
    if (attempt == 0) return true;
    if (attempt == 1) *start = clock.monotonic();
    if (clock.monotonic() - *start >= seconds) return false;
    clock.sleep(0.01);
    return true;
  };
}

Bag::Lock::Lock(Bag& bag, bool exclusive) : bag_(bag), uncaught_(std::uncaught_exceptions()) {
  bag_.acquire(exclusive);
}
Bag::Lock::~Lock() { bag_.release(std::uncaught_exceptions() > uncaught_); }

void Bag::acquire(bool exclusive) {
  // A change in a stretch that holds the shared lock trades it for the
  // exclusive one.
  if (exclusive && held_ && depth_ == 1) {
    LockedReads::forget(this);
    release_held();
  }
  if (depth_ > 0) {
    if (exclusive && !exclusive_)
      throw CdxError(path_, "", "a change was asked for while the bag is locked for reading", CdxError::Kind::Refused);
    ++depth_;
    return;
  }
  if (exclusive) require_writer("");
  if (share_ == os::ShareMode::Exclusive) {
    // Nobody else has the file open: no lock, and the pages and directory
    // read stay true until this open ends.  The counter is still raised
    // once, before the first change, for whoever opens the bag afterwards.
    depth_ = 1;
    exclusive_ = exclusive;
    try {
      if (!loaded_) refresh(true);
      if (exclusive && !version_raised_)
        store_->before_next_write([this] {
          raise_version();
          version_raised_ = true;
        });
    } catch (...) {
      depth_ = 0;
      throw;
    }
    return;
  }
  take_lock(exclusive ? os::LockKind::Exclusive : os::LockKind::Shared);
  depth_ = 1;
  exclusive_ = exclusive;
  try {
    refresh(exclusive);
    if (exclusive) store_->before_next_write([this] { raise_version(); });
  } catch (...) {
    depth_ = 0;
    file_->unlock(kLockOffset, 1);
    throw;
  }
}

void Bag::take_lock(os::LockKind kind) {
  if (file_->try_lock(kLockOffset, 1, kind)) return;
  LockedReads::release_all();  // never wait while holding others
  int attempt = 1;
  for (; !file_->try_lock(kLockOffset, 1, kind); ++attempt)
    if (!lock_wait_ || !lock_wait_(path_, attempt))
      throw CdxError(path_, "", "another program holds the bag locked", CdxError::Kind::Busy);
  if (attempt > 1) lock_wait_(path_, 0);
}

bool Bag::lock_late() {
  take_lock(os::LockKind::Shared);
  try {
    std::uint8_t head[16];
    if (file_->read_at(0, head, sizeof head) < sizeof head || read_version(head) != version_) {
      file_->unlock(kLockOffset, 1);
      return false;
    }
  } catch (...) {
    file_->unlock(kLockOffset, 1);
    throw;
  }
  locked_late_ = true;
  return true;
}

void Bag::end_cached_read(bool failed) {
  store_->set_offline(false);
  depth_ = 0;
  if (!locked_late_) return;
  locked_late_ = false;
  if (!failed && LockedReads::active()) {
    depth_ = 1;
    hold_for_stretch();
    return;
  }
  // As release(): the pages read under the lock are the file's.
  if (failed) validated_in_ = 0;
  else validated();
  file_->unlock(kLockOffset, 1);
}

void Bag::release(bool failed) {
  if (--depth_ > 0) return;
  store_->before_next_write(nullptr);
  if (share_ == os::ShareMode::Exclusive) {
    // A change cut short may have cached what never reached the file.
    if (failed) loaded_ = false;
    return;
  }
  // Under the lock the pages cached were the file's; an operation cut short
  // leaves them to the next look at the counter.
  if (failed) validated_in_ = 0;
  else validated();
  file_->unlock(kLockOffset, 1);
}

void Bag::raise_version() {
  ++version_;
  const std::uint8_t b[4] = {std::uint8_t(version_ >> 24), std::uint8_t(version_ >> 16), std::uint8_t(version_ >> 8),
                             std::uint8_t(version_)};
  store_->write_raw(8, b, 4);
}

std::uint32_t Bag::version() {
  Lock lock(*this, false);
  return version_;
}

std::int32_t Bag::free_list_head() {
  Lock lock(*this, false);
  return dir_header_.free_list;
}

void Bag::check_free_list(const std::string& tag) {
  const std::int32_t head = dir_header_.free_list;
  if (head == 0 || head == -1) return;
  const std::uint32_t off = std::uint32_t(head);
  if (off % kPageSize != 0 || off < kHeaderSize || off / kPageSize >= store_->page_count())
    throw CdxError(path_, tag,
                   "the free-page list head " + std::to_string(head) +
                       " is not a page of the bag (damaged header; rebuild the bag with reindex)");
}

namespace {
thread_local std::uint64_t batch_depth = 0;
thread_local std::uint64_t batch_serial = 0;
}  // namespace

ReadBatch::ReadBatch() {
  if (batch_depth++ == 0) ++batch_serial;
}
ReadBatch::~ReadBatch() { --batch_depth; }
std::uint64_t ReadBatch::current() { return batch_depth > 0 ? batch_serial : 0; }

namespace {
thread_local int stretch_depth = 0;
thread_local std::vector<Bag*>* stretch_bags = nullptr;
}  // namespace

LockedReads::LockedReads() {
  if (stretch_depth++ == 0) stretch_bags = new std::vector<Bag*>();
}
LockedReads::~LockedReads() {
  if (--stretch_depth > 0) return;
  release_all();
  delete stretch_bags;
  stretch_bags = nullptr;
}
bool LockedReads::active() { return stretch_depth > 0; }
void LockedReads::hold(Bag* bag) { stretch_bags->push_back(bag); }
void LockedReads::forget(Bag* bag) {
  if (stretch_bags) std::erase(*stretch_bags, bag);
}
void LockedReads::release_all() {
  if (!stretch_bags) return;
  // A bag in the middle of a read keeps its lock until that read ends.
  std::vector<Bag*> busy;
  for (Bag* b : *stretch_bags) {
    if (b->depth_ > 1) busy.push_back(b);
    else b->release_held();
  }
  *stretch_bags = std::move(busy);
}

void Bag::hold_for_stretch() {
  held_ = true;
  LockedReads::hold(this);
}

void Bag::release_held() {
  if (!held_) return;
  held_ = false;
  depth_ = 0;
  store_->before_next_write(nullptr);
  validated();
  try {
    file_->unlock(kLockOffset, 1);
  } catch (const os::IoError&) {
    // The lock goes with the file's close.
  }
}

bool Bag::counter_trusted() const {
  const std::uint64_t batch = ReadBatch::current();
  return batch != 0 && validated_in_ == batch && env_.clock().monotonic() - validated_at_ < kBatchTrustSeconds;
}

void Bag::validated() {
  validated_in_ = ReadBatch::current();
  if (validated_in_ != 0) validated_at_ = env_.clock().monotonic();
}

bool Bag::counter_unchanged() {
  std::uint8_t head[16];
  if (file_->read_at(0, head, sizeof head) < sizeof head) return false;
  if (read_version(head) != version_) return false;
  validated();
  return true;
}

// Re-reads the directory when another program changed the bag (or always,
// when `force`): the pages cached are then dropped.
void Bag::refresh(bool force) {
  std::uint8_t head[16];
  if (loaded_ && !force) {
    if (file_->read_at(0, head, sizeof head) < sizeof head)
      throw CdxError(path_, "", "too short for a compound index (" + std::to_string(file_->size()) + " bytes)");
    if (read_version(head) == version_) return;
  }
  // The counter, the directory, the tag headers and (in a small bag) every
  // page come in one read.
  store_->drop();
  if (!store_->read_ahead(kReadAhead)) store_->refresh_size();
  if (store_->size() < sizeof head)
    throw CdxError(path_, "", "too short for a compound index (" + std::to_string(store_->size()) + " bytes)");
  store_->read(0, head, sizeof head);
  ++generation_;
  version_ = read_version(head);
  load_directory();
  loaded_ = true;
}

void Bag::load_directory() {
  std::uint8_t buf[kHeaderSize];
  if (store_->size() < kHeaderSize + kPageSize)
    throw CdxError(path_, "", "too short for a compound index (" + std::to_string(store_->size()) + " bytes)");
  store_->read(0, buf, kHeaderSize);
  try {
    dir_header_ = TagHeader::decode(buf, true);
  } catch (const PageError& e) {
    throw CdxError(path_, "", std::string("tag directory header: ") + e.what());
  }
  dir_ref_.name = "(directory)";
  dir_ref_.header = 0;
  dir_ref_.root = dir_header_.root;
  dir_ref_.key_length = dir_header_.key_length;
  dir_ref_.pad = 0x20;
  store_->check_page(dir_ref_.root, dir_ref_.name, "directory root");

  std::map<std::string, std::unique_ptr<Tag>> old = std::move(tags_);
  tags_.clear();
  Tree dir = directory();
  const std::uint64_t size = store_->size();
  std::size_t steps = 0;
  for (Position p = dir.first(); p.valid();) {
    if (++steps > std::size_t(store_->page_count()) * kPageSize) throw CdxError(path_, "", "tag directory loops");
    const std::string name = upper_ascii(trim_name(p.key()));
    const std::uint32_t off = p.recno();
    if (off % kPageSize != 0 || off < kHeaderSize || std::uint64_t(off) + kHeaderSize > size)
      throw CdxError(path_, name, "the tag directory points to offset " + std::to_string(off) + ", outside the bag");
    std::uint8_t th[kHeaderSize];
    store_->read(off, th, kHeaderSize);
    TagHeader h;
    try {
      h = TagHeader::decode(th, false);
    } catch (const PageError& e) {
      throw CdxError(path_, name, std::string("tag header: ") + e.what());
    }
    store_->check_page(h.root, name, "root page offset");
    std::unique_ptr<Tag> tag;
    if (auto it = old.find(name); it != old.end()) {
      tag = std::move(it->second);
      old.erase(it);
    } else {
      tag.reset(new Tag(*this, name));
    }
    tag->header_ = h;
    tag->ref_.header = off;
    tag->ref_.root = h.root;
    tag->ref_.key_length = h.key_length;
    if (!tag->kind_set_)
      tag->ref_.pad = guess_key_kind(h.key_expr, h.key_length, h.options) == KeyKind::Text ? 0x20 : 0x00;
    tag->gone_ = false;
    tags_[name] = std::move(tag);
    if (!dir.next(p)) break;
  }
  // Tags that vanished stay alive for callers holding them, marked gone.
  for (auto& [name, tag] : old) {
    tag->gone_ = true;
    tags_["\x01" + name + std::to_string(reinterpret_cast<std::uintptr_t>(tag.get()))] = std::move(tag);
  }
}

// The directory read under the current counter answers without the lock.
std::vector<Tag*> Bag::tags() {
  return reading([&] {
    std::vector<Tag*> out;
    for (auto& [name, tag] : tags_)
      if (!tag->gone_) out.push_back(tag.get());
    std::sort(out.begin(), out.end(), [](Tag* a, Tag* b) { return a->ref_.header < b->ref_.header; });
    return out;
  });
}

Tag* Bag::find(std::string_view name) {
  return reading([&]() -> Tag* {
    auto it = tags_.find(upper_ascii(name));
    return it == tags_.end() || it->second->gone_ ? nullptr : it->second.get();
  });
}

Tag& Bag::tag(std::string_view name) {
  Tag* t = find(name);
  if (!t) throw CdxError(path_, std::string(name), "no such tag in the bag");
  return *t;
}

Tag& Bag::build_tag(const TagDefinition& spec, KeyList& keys) {
  const std::string name = upper_ascii(spec.name);
  if (!valid_tag_name(name))
    throw CdxError(path_, spec.name, "a tag name has 1-10 letters, digits or underscores and starts with a letter");
  if (spec.key_length < 1 || spec.key_length > kMaxKeyLength)
    throw CdxError(path_, name, "key length " + std::to_string(spec.key_length) + " outside 1-240");
  if (keys.key_length() != spec.key_length) throw CdxError(path_, name, "keys of another length than the tag's");
  if (spec.key_expr.empty()) throw CdxError(path_, name, "no key expression");
  if (spec.key_expr.size() + spec.for_expr.size() + 2 > kPageSize)
    throw CdxError(path_, name, "key and FOR expressions longer than the expression pool");
  Lock lock(*this, true);

  TagHeader h;
  h.key_length = std::uint16_t(spec.key_length);
  h.options = std::uint8_t(kOptCompact | kOptCompound | (spec.unique ? kOptUnique : 0) |
                           (spec.for_expr.empty() ? 0 : kOptFor) | (spec.candidate ? kOptCandidate : 0) |
                           (spec.nullable ? kOptNullable : 0));
  h.order = spec.descending ? 1 : 0;
  h.key_expr = spec.key_expr;
  h.for_expr = spec.for_expr;

  // The new tree goes to the end of the file and is synced before the
  // header points to it; the old tree's pages stay where they are, unused
  // (a kill at any moment leaves the old tag or the new one).
  Tag* existing = find(name);
  std::uint32_t header_off;
  if (existing) {
    header_off = existing->ref_.header;  // keeps its place, and so the tag's number
    std::memcpy(h.reserved16, existing->header_.reserved16, sizeof h.reserved16);
  } else {
    header_off = store_->allocate(2);
  }
  if (!spec.header_stats.empty())
    std::memcpy(h.reserved16, spec.header_stats.data(), std::min(spec.header_stats.size(), sizeof h.reserved16));
  TreeRef ref;
  ref.name = name;
  ref.header = header_off;
  ref.key_length = spec.key_length;
  ref.pad = spec.kind == KeyKind::Text ? 0x20 : 0x00;
  const SortedKeys& sorted = keys.sort(spec.unique);
  h.root = Tree(*store_, ref).bulk_load(sorted, 0);
  sync_pages();
  std::uint8_t buf[kHeaderSize];
  h.encode(buf);
  store_->write_raw(header_off, buf, kHeaderSize);
  sync_pages();
  if (!existing) {
    std::string dkey = name;
    dkey.resize(std::size_t(dir_ref_.key_length), ' ');
    directory().insert(dkey, header_off);
    sync_pages();
  }
  // The pages and headers just written are cached (and in the bytes read
  // ahead) as the file holds them, under this lock: the directory is read
  // again from them.
  modified();
  load_directory();
  Tag& t = *tags_.at(name);
  t.set_kind(spec.kind);
  return t;
}

void Bag::drop_tag(std::string_view name_in) {
  Lock lock(*this, true);
  const std::string name = upper_ascii(name_in);
  Tag& t = tag(name);
  // Leaving the directory is the whole change: the tag's header and pages
  // stay in the file, unused, until the next reindex.
  std::string dkey = name;
  dkey.resize(std::size_t(dir_ref_.key_length), ' ');
  directory().remove(dkey, t.ref_.header);
  sync_pages();
  modified();
  load_directory();
}

std::vector<std::string> Bag::verify() {
  std::vector<std::string> problems;
  Lock lock(*this, false);
  std::vector<std::uint32_t> used;
  directory().verify(problems, used);
  for (Tag* t : tags()) {
    used.push_back(t->ref_.header);
    used.push_back(t->ref_.header + kPageSize);
    t->tree().verify(problems, used);
  }
  std::unordered_set<std::uint32_t> in_use(used.begin(), used.end());
  if (in_use.size() != used.size()) problems.push_back("a page belongs to more than one tree or header");
  // The free-page list head: this engine writes 0 and never follows it;
  // another program's chain is not read (its format is not known), but its
  // head must be a page of the bag that no tree uses.
  const std::int32_t head = dir_header_.free_list;
  if (head != 0 && head != -1) {
    const std::uint32_t off = std::uint32_t(head);
    if (off % kPageSize != 0 || off < kHeaderSize || off / kPageSize >= store_->page_count())
      problems.push_back("free list: head " + std::to_string(head) + " is not a page of the bag");
    else if (in_use.count(off))
      problems.push_back("free list: head page " + std::to_string(off) + " is in use");
  }
  return problems;
}

}  // namespace rt::cdx

#include "runtime/workarea/orders.h"

#include <algorithm>

#include "runtime/cdx/bag.h"
#include "runtime/expr/key_encoding.h"
#include "runtime/expr/table_scope.h"
#include "runtime/os/file.h"
#include "runtime/text/convert.h"

namespace rt::wa {

using Kind = WorkAreaError::Kind;

namespace {

std::string upper(std::string_view s) { return text::upper(text::trim(s)); }

// The kind of a failure to open, create or build in an order bag.
Kind bag_failure(const std::exception& e) {
  const auto* cdx = dynamic_cast<const cdx::CdxError*>(&e);
  const auto* io = dynamic_cast<const os::IoError*>(&e);
  return (cdx && cdx->busy()) || (io && io->kind() == os::IoKind::Busy) ? Kind::BagBusy : Kind::Bag;
}

}  // namespace

// ---------------------------------------------------------------------------
// State of one area: its bags, their tags compiled against the table, the
// active tag and the relations to child areas.  It also sees every record the
// area writes and updates the tags.

class AreaIndexes : public RecordWriteObserver {
 public:
  struct TagInfo {
    cdx::Bag* bag = nullptr;
    cdx::Tag* tag = nullptr;
    std::string name;
    expr::Expression key, cond;
    expr::KeyFormat format;
  };

  struct Relation {
    std::string child;
    std::shared_ptr<AreaScope> scope;
    expr::Expression key;
    // Where the last seek left the child, so that moving back and forth
    // over the same keys (a browse screen painted, a line found) does not
    // seek and read the child again and again.
    bool placed = false;
    Value last_key;
    RecNo last_recno = 0;
    int last_order = 0;
    double at = 0;
  };

  explicit AreaIndexes(Area& area)
      : area_(area), scope_(area.table().schema_ptr(), area.alias(), &area.table()) {}

  Area& area() { return area_; }
  std::vector<std::unique_ptr<cdx::Bag>>& bags() { return bags_; }
  std::vector<std::unique_ptr<TagInfo>>& tags() { return tags_; }
  int active() const { return active_; }
  TagInfo* active_tag() { return active_ ? tags_[static_cast<std::size_t>(active_ - 1)].get() : nullptr; }
  void activate(int number);  // 0 = natural order
  std::vector<Relation>& relations() { return relations_; }
  WorkAreas*& areas() { return areas_; }

  // Compiles every tag of bag and adds them (a bag already open is
  // re-read: its tags may have changed).
  void add_bag_tags(cdx::Bag& bag);
  expr::TableScope& scope() { return scope_; }

  // The key of a record image for a tag; false when the FOR condition does
  // not hold.
  bool key_of(TagInfo& t, const table::Record& rec, std::string& out) {
    scope_.set_record(&rec);
    if (t.cond.valid() && !t.cond.holds(scope_)) return false;
    t.key.key(scope_, t.format, out);
    return true;
  }

  std::shared_ptr<void> prepare_write(RecNo recno, std::string_view before, std::string_view after) override;
  void record_written(RecNo recno, std::string_view before, std::string_view after) override;
  void commit() override {
    for (auto& b : bags_) b->flush();
  }
  void kept_open() override {
    relations_.clear();
    activate(tags_.empty() ? 0 : 1);
  }
  void run_relations();

 private:
  [[noreturn]] void fail_tag(const cdx::Bag& bag, const std::string& tag, const std::string& what) {
    throw WorkAreaError(Kind::Bag, area_.alias() + ": bag " + bag.path() + ", tag " + tag + ": " + what);
  }
  void refill_unique(TagInfo& t, const std::string& key, RecNo except);
  // Calls fn(bag, tag, had, old key, has, new key) for every tag whose entry
  // for the record changes (had/has: the record was/is in the tag).
  template <class Fn>
  void key_changes(RecNo recno, std::string_view before, std::string_view after, Fn fn);

  Area& area_;
  expr::TableScope scope_;
  std::vector<std::unique_ptr<cdx::Bag>> bags_;
  std::vector<std::unique_ptr<TagInfo>> tags_;
  int active_ = 0;
  std::vector<Relation> relations_;
  WorkAreas* areas_ = nullptr;
  bool in_relations_ = false;
};

namespace {

// Navigation in a tag's order.  The cursor stays on the last record visited;
// when asked about another record (after a DBGOTO, or a record that left the
// tag), the record's key is computed and sought again.
class IndexOrder : public Order {
 public:
  IndexOrder(AreaIndexes& owner, AreaIndexes::TagInfo& tag) : owner_(owner), tag_(tag), cursor_(*tag.tag) {}

  cdx::Cursor& cursor() { return cursor_; }
  AreaIndexes::TagInfo& tag() { return tag_; }
  bool descending() const { return tag_.tag->descending(); }

  RecNo first() override { return at(descending() ? cursor_.last() : cursor_.first()); }
  RecNo last() override { return at(descending() ? cursor_.first() : cursor_.last()); }
  RecNo next(RecNo recno) override { return step(recno, !descending()); }
  RecNo prev(RecNo recno) override { return step(recno, descending()); }

 private:
  RecNo at(bool valid) const { return valid && cursor_.valid() ? cursor_.recno() : 0; }

  // Moves from recno one entry forward (in key order) or backward.
  RecNo step(RecNo recno, bool forward) {
    if (recno == 0) return 0;
    if (!(cursor_.valid() && cursor_.recno() == recno)) {
      // Find recno's place: its own entry, or the entry after where it would be.
      table::Table& t = owner_.area().table();
      if (!t.has_record(recno)) return forward ? 0 : last_in_key_order(false);
      const table::Record rec = t.read(recno);
      std::string key;
      owner_.scope().set_record(&rec);
      tag_.key.key(owner_.scope(), tag_.format, key);
      const bool exact = cursor_.seek(key, recno);
      if (!exact) {
        // The cursor stands on the first entry after recno's place.
        if (forward) return cursor_.valid() ? cursor_.recno() : 0;
        return at(cursor_.valid() ? cursor_.prev() : cursor_.last());
      }
    }
    return at(forward ? cursor_.next() : cursor_.prev());
  }

  RecNo last_in_key_order(bool first) { return at(first ? cursor_.first() : cursor_.last()); }

  AreaIndexes& owner_;
  AreaIndexes::TagInfo& tag_;
  cdx::Cursor cursor_;
};

AreaIndexes& indexes_of(Area& area) {
  auto& p = area.indexes();
  if (!p) {
    p = std::make_shared<AreaIndexes>(area);
    area.add_write_observer(p);
    AreaIndexes* self = p.get();
    area.set_move_hook([self] { self->run_relations(); });
  }
  return *p;
}

// A relation's child found a moment ago for the same key is not sought
// again for this long (as long as a shared table trusts a page it read).
constexpr double kRelationTrustSeconds = 0.1;

// A table opened exclusively has its bags to itself as well: they are
// opened exclusively and need no lock.
os::ShareMode bag_share(Area& area) {
  return area.table().exclusive() ? os::ShareMode::Exclusive : os::ShareMode::Shared;
}

std::string bag_path(os::Env& env, const std::string& bag) {
  const std::string name = os::has_extension(bag) ? bag : bag + ".cdx";
  return os::resolve_nocase(env, name);
}

// The table's own bag: its name with ".cdx".
std::string structural_bag_name(Area& area) {
  std::string path = area.table().path();
  if (auto dot = path.rfind('.'); dot != std::string::npos && path.find('/', dot) == std::string::npos)
    path.erase(dot);
  return path + ".cdx";
}
std::string structural_bag_path(Area& area) { return bag_path(area.table().env(), structural_bag_name(area)); }

}  // namespace

void AreaIndexes::activate(int number) {
  active_ = number;
  if (number == 0) area_.set_order(nullptr);
  else area_.set_order(std::make_unique<IndexOrder>(*this, *tags_[static_cast<std::size_t>(number - 1)]));
}

void AreaIndexes::add_bag_tags(cdx::Bag& bag) {
  // Drop the bag's previous entries (its tags may have been rebuilt).
  const std::string before = active_tag() ? active_tag()->name : std::string();
  if (active_) activate(0);
  tags_.erase(std::remove_if(tags_.begin(), tags_.end(), [&](const auto& t) { return t->bag == &bag; }), tags_.end());
  std::vector<std::unique_ptr<TagInfo>> fresh;
  for (cdx::Tag* tag : bag.tags()) {
    auto info = std::make_unique<TagInfo>();
    info->bag = &bag;
    info->tag = tag;
    info->name = tag->name();
    try {
      info->key = expr::Expression::compile(tag->key_expr(), scope_);
      if (!tag->for_expr().empty()) info->cond = expr::Expression::compile_condition(tag->for_expr(), scope_);
      info->format = info->key.key_format();
    } catch (const expr::Error& e) {
      fail_tag(bag, tag->name(), e.what());
    }
    if (tag->nullable()) info->format.nullable = true;
    if (static_cast<int>(info->format.stored_length()) != tag->key_length())
      fail_tag(bag, tag->name(),
               "the key expression gives keys of " + std::to_string(info->format.stored_length()) +
                   " bytes, the bag holds keys of " + std::to_string(tag->key_length()));
    tag->set_kind(info->format.type == expr::KeyType::Character ? cdx::KeyKind::Text : cdx::KeyKind::Binary);
    fresh.push_back(std::move(info));
  }
  // Tags keep the order of the bags, each bag's tags in creation order.
  std::vector<std::unique_ptr<TagInfo>> ordered;
  for (const auto& b : bags_) {
    if (b.get() == &bag) {
      for (auto& t : fresh) ordered.push_back(std::move(t));
      continue;
    }
    for (auto& t : tags_)
      if (t && t->bag == b.get()) ordered.push_back(std::move(t));
  }
  tags_ = std::move(ordered);
  if (!before.empty()) {
    for (std::size_t i = 0; i < tags_.size(); ++i)
      if (tags_[i]->name == before) activate(static_cast<int>(i + 1));
  }
}

void AreaIndexes::refill_unique(TagInfo& t, const std::string& key, RecNo except) {
  // A unique tag indexes the lowest record of each key value: when that
  // record's entry goes, the next record with the same key takes its place.
  table::Table& table = area_.table();
  const RecNo count = table.record_count();
  table::Record rec = table.blank();
  std::string k;
  for (RecNo r = 1; r <= count; ++r) {
    if (r == except) continue;
    table.read_into(r, rec);
    if (key_of(t, rec, k) && k == key) {
      t.tag->insert(k, r);
      return;
    }
  }
}

template <class Fn>
void AreaIndexes::key_changes(RecNo recno, std::string_view before, std::string_view after, Fn fn) {
  if (tags_.empty()) return;
  const auto& schema = area_.table().schema_ptr();
  std::optional<table::Record> old_rec;
  if (!before.empty()) old_rec.emplace(schema, recno, before);
  const table::Record new_rec(schema, recno, after);
  std::string old_key, new_key;
  for (auto& bag : bags_) {
    for (auto& tp : tags_) {
      TagInfo& t = *tp;
      if (t.bag != bag.get()) continue;
      const bool had = old_rec && key_of(t, *old_rec, old_key);
      const bool has = key_of(t, new_rec, new_key);
      if (had == has && (!had || old_key == new_key)) continue;
      fn(*bag, t, had, old_key, has, new_key);
    }
  }
}

std::shared_ptr<void> AreaIndexes::prepare_write(RecNo recno, std::string_view before, std::string_view after) {
  struct Held {
    std::vector<std::unique_ptr<cdx::Bag::Lock>> locks;
    std::vector<cdx::Bag*> bags;
  };
  auto held = std::make_shared<Held>();
  // An append's number is known only once it is made: the keys are checked
  // with the number it will most likely get.
  const RecNo r = recno ? recno : area_.table().record_count() + 1;
  key_changes(r, before, after, [&](cdx::Bag& bag, TagInfo& t, bool had, const std::string& old_key, bool has,
                                    const std::string& new_key) {
    if (std::find(held->bags.begin(), held->bags.end(), &bag) == held->bags.end()) {
      held->locks.push_back(std::make_unique<cdx::Bag::Lock>(bag, true));
      held->bags.push_back(&bag);
    }
    if (had) t.tag->check_change(old_key, r);
    if (has) t.tag->check_change(new_key, r);
  });
  return held->locks.empty() ? nullptr : held;
}

void AreaIndexes::record_written(RecNo recno, std::string_view before, std::string_view after) {
  cdx::Bag* locked = nullptr;
  std::optional<cdx::Bag::Lock> lock;
  key_changes(recno, before, after, [&](cdx::Bag& bag, TagInfo& t, bool had, const std::string& old_key, bool has,
                                        const std::string& new_key) {
    if (locked != &bag) {
      lock.reset();
      lock.emplace(bag, true);
      locked = &bag;
    }
    if (had && t.tag->remove(old_key, recno) && t.tag->unique()) refill_unique(t, old_key, recno);
    if (has) t.tag->insert(new_key, recno);
  });
}

void AreaIndexes::run_relations() {
  if (relations_.empty() || in_relations_ || !areas_) return;
  in_relations_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{in_relations_};
  for (Relation& r : relations_) {
    if (!areas_->select(r.child)) continue;  // the child was closed
    Area& child = areas_->area(r.child);
    if (area_.eof()) {
      child.seek_position(0, false);
      r.placed = false;
      continue;
    }
    Value key = r.key.evaluate(*r.scope);
    // The same key again, the child still where this relation put it, within
    // the time a shared read is trusted: the child stays (its record as read
    // then).
    const int order = child.indexes() ? child.indexes()->active() : 0;
    const double now = child.table().env().clock().monotonic();
    if (r.placed && key == r.last_key && !child.eof() && child.recno() == r.last_recno && order == r.last_order &&
        now - r.at < kRelationTrustSeconds)
      continue;
    seek(child, key);
    r.placed = !child.eof();
    r.last_key = std::move(key);
    r.last_recno = r.placed ? child.recno() : 0;
    r.last_order = order;
    r.at = now;
  }
}

// ---------------------------------------------------------------------------

void set_index(Area& area, const std::string& bag) {
  AreaIndexes& ix = indexes_of(area);
  os::Env& env = area.table().env();
  const std::string path = bag_path(env, bag);
  for (const auto& b : ix.bags())
    if (b->path() == path) return;  // already open
  std::unique_ptr<cdx::Bag> opened;
  try {
    opened = cdx::Bag::open(path, !area.readonly(), env, bag_share(area));
    if (area.bag_lock_wait()) opened->set_lock_wait(area.bag_lock_wait());
  } catch (const std::exception& e) {
    throw WorkAreaError(bag_failure(e), area.alias() + ": cannot open the order bag " + path + ": " + e.what());
  }
  cdx::Bag& b = *opened;
  ix.bags().push_back(std::move(opened));
  try {
    ix.add_bag_tags(b);
  } catch (...) {
    ix.tags().erase(std::remove_if(ix.tags().begin(), ix.tags().end(), [&](const auto& t) { return t->bag == &b; }),
                    ix.tags().end());
    ix.bags().pop_back();
    throw;
  }
  if (ix.active() == 0 && !ix.tags().empty()) {
    for (std::size_t i = 0; i < ix.tags().size(); ++i) {
      if (ix.tags()[i]->bag == &b) {
        ix.activate(static_cast<int>(i + 1));
        break;
      }
    }
    area.goto_top();
  }
}

void clear_indexes(Area& area) {
  if (!area.indexes()) return;
  AreaIndexes& ix = *area.indexes();
  ix.activate(0);
  ix.tags().clear();
  ix.bags().clear();
}

std::string focus(Area& area) {
  if (!area.indexes() || !area.indexes()->active_tag()) return "";
  return area.indexes()->active_tag()->name;
}

std::vector<std::string> tag_names(Area& area) {
  std::vector<std::string> out;
  if (area.indexes())
    for (const auto& t : area.indexes()->tags()) out.push_back(t->name);
  return out;
}

std::string set_focus(Area& area, int number) {
  AreaIndexes& ix = indexes_of(area);
  const std::string previous = focus(area);
  if (number < 0 || number > static_cast<int>(ix.tags().size()))
    throw WorkAreaError(Kind::NoOrder, area.alias() + ": there is no order number " + std::to_string(number) + " (" +
                        std::to_string(ix.tags().size()) + " tags open)");
  if (number != ix.active()) ix.activate(number);
  return previous;
}

std::string set_focus(Area& area, const std::string& tag) {
  const std::string want = upper(tag);
  if (want.empty()) return set_focus(area, 0);
  AreaIndexes& ix = indexes_of(area);
  for (std::size_t i = 0; i < ix.tags().size(); ++i)
    if (ix.tags()[i]->name == want) return set_focus(area, static_cast<int>(i + 1));
  throw WorkAreaError(Kind::NoOrder, area.alias() + ": no open order bag has a tag " + want);
}

bool seek(Area& area, const Value& key, bool soft) {
  AreaIndexes* ix = area.indexes().get();
  auto* order = dynamic_cast<IndexOrder*>(&area.order());
  if (!ix || !ix->active_tag() || !order)
    throw WorkAreaError(Kind::NoOrder, area.alias() + ": seek without an active order");
  AreaIndexes::TagInfo& t = order->tag();
  std::string k;
  // The station's text, in the table's code page as its keys are.
  const text::CodePage cp = area.table().code_page();
  const Value in_table =
      key.is_text() && cp != kStationCodePage ? Value(text::transcode(key.text(), kStationCodePage, cp)) : key;
  try {
    expr::encode_seek_key(in_table, t.format, k);
  } catch (const expr::KeyError& e) {
    throw WorkAreaError(Kind::Expression, area.alias() + ": seek in tag " + t.name + ": " + e.what());
  }
  cdx::Cursor& c = order->cursor();
  const bool hit = c.seek(k);  // on the first entry (in key order) not below k
  auto matches = [&] { return c.valid() && c.key().compare(0, k.size(), k) == 0; };
  if (order->descending()) {
    // Walked from the end: the first match is the last entry with the key,
    // and after a miss the next entry is the one below.
    if (hit) {
      while (c.next() && matches()) {
      }
    }
    if (c.valid()) c.prev();
    else c.last();
  }
  if (!hit && !soft) {
    area.seek_position(0, false);
    return false;
  }
  const RecNo start = c.valid() ? c.recno() : 0;
  // The entry may be newer than records this area cached a moment ago (in a
  // shared open another program may have just written it): read afresh.
  if (!area.exclusive()) area.table().drop_cache();
  // The filter may pass over the entry found: the record found is the first
  // one from there that passes, and it must still have the key.
  const RecNo r = start ? area.first_passing(start, true) : 0;
  const bool found = r != 0 && matches() && c.recno() == r;
  if (!found && !soft) {
    area.seek_position(0, false);
    return false;
  }
  area.seek_position(r, found);
  return found;
}

void create_order(Area& area, const std::string& tag, const std::string& key, const OrderCondition& condition) {
  const std::string name = upper(tag);
  if (name.empty() || name.size() > 10)
    throw WorkAreaError(Kind::NoOrder, area.alias() + ": invalid tag name \"" + tag + "\"");
  AreaIndexes& ix = indexes_of(area);
  table::Table& t = area.table();
  os::Env& env = t.env();
  const std::string path = structural_bag_path(area);

  // Compile first: nothing is created for an expression that does not compile.
  expr::TableScope scope(t.schema_ptr(), area.alias(), &t);
  expr::Expression k, cond;
  expr::KeyFormat format;
  try {
    k = expr::Expression::compile(key, scope);
    if (!condition.for_condition.empty()) cond = expr::Expression::compile_condition(condition.for_condition, scope);
    format = k.key_format();
  } catch (const expr::Error& e) {
    throw WorkAreaError(Kind::Expression, area.alias() + ": tag " + name + ": " + e.what());
  }

  cdx::Bag* bag = nullptr;
  for (const auto& b : ix.bags())
    if (b->path() == path) bag = b.get();
  if (!bag) {
    try {
      // A table that is not synced (a private scratch table) gets a bag that
      // is not synced either.
      auto opened = env.file_exists(path) ? cdx::Bag::open(path, true, env, bag_share(area))
                                          : cdx::Bag::create(path, true, env, bag_share(area), t.syncing());
      opened->set_sync(t.syncing());
      if (area.bag_lock_wait()) opened->set_lock_wait(area.bag_lock_wait());
      bag = opened.get();
      ix.bags().push_back(std::move(opened));
    } catch (const std::exception& e) {
      throw WorkAreaError(bag_failure(e),
                          area.alias() + ": cannot open or create the order bag " + path + ": " + e.what());
    }
  }

  cdx::KeyList keys(static_cast<int>(format.stored_length()));
  const RecNo count = t.record_count();
  table::Record rec = t.blank();
  std::string kb;
  for (RecNo r = 1; r <= count; ++r) {
    t.read_into(r, rec);
    scope.set_record(&rec);
    if (cond.valid() && !cond.holds(scope)) continue;
    k.key(scope, format, kb);
    keys.add(kb, r);
  }
  cdx::TagDefinition spec;
  spec.name = name;
  spec.key_expr = key;
  spec.for_expr = condition.for_condition;
  spec.key_length = static_cast<int>(format.stored_length());
  spec.kind = format.type == expr::KeyType::Character ? cdx::KeyKind::Text : cdx::KeyKind::Binary;
  spec.unique = condition.unique;
  spec.descending = condition.descending;
  try {
    bag->build_tag(spec, keys);
  } catch (const std::exception& e) {
    throw WorkAreaError(bag_failure(e), area.alias() + ": cannot create tag " + name + " in " + path + ": " + e.what());
  }
  ix.add_bag_tags(*bag);
  set_focus(area, name);
  area.goto_top();
}

void create_scratch_bag(Area& area) {
  AreaIndexes& ix = indexes_of(area);
  const std::string path = os::resolve_to_create(area.table().env(), structural_bag_name(area));
  for (const auto& b : ix.bags())
    if (b->path() == path)
      throw WorkAreaError(Kind::Bag, area.alias() + ": the order bag " + path + " is open already");
  try {
    ix.bags().push_back(cdx::Bag::create_scratch(path, area.table().env()));
  } catch (const std::exception& e) {
    throw WorkAreaError(bag_failure(e), area.alias() + ": cannot create the order bag " + path + ": " + e.what());
  }
}

void set_filter(WorkAreas& areas, Area& area, const std::string& condition) {
  auto scope = std::make_shared<AreaScope>(&areas, area);
  std::shared_ptr<expr::Expression> cond;
  try {
    cond = std::make_shared<expr::Expression>(expr::Expression::compile_condition(condition, *scope));
  } catch (const expr::Error& e) {
    throw WorkAreaError(Kind::Expression, area.alias() + ": filter: " + e.what());
  }
  area.set_filter([scope, cond](Area&) { return cond->holds(*scope); }, condition);
}

void set_relation(WorkAreas& areas, Area& parent, const std::string& child_alias, const std::string& key) {
  Area& child = areas.area(child_alias);
  if (&child == &parent)
    throw WorkAreaError(Kind::Relation, parent.alias() + ": a relation cannot lead to the area itself");
  // Refuse a cycle: the child (or its children) must not lead back here.
  std::vector<Area*> todo = {&child};
  for (std::size_t i = 0; i < todo.size() && i < 256; ++i) {
    if (!todo[i]->indexes()) continue;
    for (const auto& r : todo[i]->indexes()->relations()) {
      if (!areas.select(r.child)) continue;
      Area& next = areas.area(r.child);
      if (&next == &parent)
        throw WorkAreaError(Kind::Relation, parent.alias() + ": a relation to " + child.alias() +
                                                " would lead back to " + parent.alias());
      todo.push_back(&next);
    }
  }
  AreaIndexes& ix = indexes_of(parent);
  ix.areas() = &areas;
  AreaIndexes::Relation rel;
  rel.child = child.alias();
  rel.scope = std::make_shared<AreaScope>(&areas, parent);
  try {
    rel.key = expr::Expression::compile(key, *rel.scope);
  } catch (const expr::Error& e) {
    throw WorkAreaError(Kind::Expression, parent.alias() + ": relation to " + child.alias() + ": " + e.what());
  }
  ix.relations().push_back(std::move(rel));
  ix.run_relations();
}

void clear_relations(Area& parent) {
  if (parent.indexes()) parent.indexes()->relations().clear();
}

// ---------------------------------------------------------------------------

AreaScope::AreaScope(WorkAreas* areas, Area& area) : areas_(areas), area_(area) {}

Area& AreaScope::target(const Slot& s) const { return s.alias.empty() ? area_ : areas_->area(s.alias); }

std::optional<expr::FieldRef> AreaScope::resolve(std::string_view alias, std::string_view name) const {
  Slot slot;
  if (!alias.empty() && upper(alias) != area_.alias()) {
    if (!areas_ || !areas_->select(std::string(alias))) return std::nullopt;
    slot.alias = upper(alias);
  }
  Area& a = target(slot);
  const auto& fields = a.table().schema().fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!expr::field_name_matches(name, fields[i].name)) continue;
    slot.field = fields[i].name;
    slots_.push_back(slot);
    expr::FieldInfo info{fields[i].letter(), fields[i].length, fields[i].decimals, fields[i].nullable()};
    return expr::FieldRef{static_cast<int>(slots_.size() - 1), info};
  }
  return std::nullopt;
}

void AreaScope::load(int slot, Value& out) const {
  if (slot < 0 || static_cast<std::size_t>(slot) >= slots_.size()) {
    out = Value();
    return;
  }
  const Slot& s = slots_[static_cast<std::size_t>(slot)];
  if (!s.alias.empty() && !areas_->select(s.alias))
    throw WorkAreaError(Kind::NotOpen, area_.alias() + ": the area " + s.alias + " an expression reads is closed");
  out = target(s).get(s.field);
}

long AreaScope::recno() const { return static_cast<long>(area_.recno()); }
bool AreaScope::deleted() const { return area_.deleted(); }
std::optional<text::CodePage> AreaScope::code_page() const { return area_.table().code_page(); }

}  // namespace rt::wa

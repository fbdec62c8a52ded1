#include "runtime/cdx/table_index.h"

#include <algorithm>

namespace rt::cdx {

namespace {

std::vector<expr::RecordScope::Field> scope_fields(const table::Schema& schema) {
  std::vector<expr::RecordScope::Field> out;
  for (const auto& f : schema.fields)
    out.push_back({f.name, expr::FieldInfo{f.letter(), f.length, f.decimals, f.nullable()}});
  return out;
}

std::string alias_of(const table::Schema& schema) {
  std::string base = os::basename_of(schema.file);
  if (auto dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
  for (auto& c : base)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return base;
}

}  // namespace

KeyKind kind_of(const expr::KeyFormat& f) {
  return f.type == expr::KeyType::Character ? KeyKind::Text : KeyKind::Binary;
}

TagKeys::TagKeys(const table::Schema& schema, std::string_view key_expr, std::string_view for_expr)
    : scope_(scope_fields(schema), alias_of(schema)) {
  // UPPER()/LOWER() change the accented letters of the table's code page, as
  // the keys other programs wrote show.
  scope_.set_code_page(schema.code_page);
  key_ = expr::Expression::compile(key_expr, scope_);
  format_ = key_.key_format();
  if (!for_expr.empty()) for_ = expr::Expression::compile_condition(for_expr, scope_);
  slots_ = key_.slots();
  if (for_.valid())
    for (int s : for_.slots())
      if (std::find(slots_.begin(), slots_.end(), s) == slots_.end()) slots_.push_back(s);
}

void TagKeys::load(table::Table& t, const table::Record& rec) {
  for (int s : slots_) scope_.set(std::size_t(s), t.value(rec, s));
  scope_.set_recno(long(rec.recno()));
  scope_.set_deleted(rec.deleted());
}

bool TagKeys::key(table::Table& t, const table::Record& rec, std::string& out) {
  load(t, rec);
  if (for_.valid() && !for_.holds(scope_)) return false;
  key_.key(scope_, format_, out);
  return true;
}

KeyList TagKeys::all(table::Table& t, bool unique) {
  KeyList keys(int(format_.stored_length()));
  const std::uint32_t n = t.record_count();
  table::Record rec = t.blank();
  std::string k;
  for (std::uint32_t r = 1; r <= n; ++r) {
    t.read_into(r, rec);
    if (key(t, rec, k)) keys.add(k, r);
  }
  keys.sort(unique);
  return keys;
}

std::vector<std::string> apply_key_types(Bag& bag, const table::Schema& schema) {
  std::vector<std::string> problems;
  for (Tag* tag : bag.tags()) {
    try {
      TagKeys k(schema, tag->key_expr(), "");
      tag->set_kind(kind_of(k.format()));
    } catch (const expr::Error& e) {
      problems.push_back("tag " + tag->name() + ": " + e.what());
    }
  }
  return problems;
}

BagAppender::BagAppender(Bag& bag, const table::Schema& schema) : bag_(bag) {
  if (!bag.writable()) throw CdxError(bag.path(), "", "the bag is open read-only", CdxError::Kind::Refused);
  for (Tag* tag : bag.tags()) {
    std::unique_ptr<TagKeys> keys;
    try {
      keys = std::make_unique<TagKeys>(schema, tag->key_expr(), tag->for_expr());
    } catch (const expr::Error& e) {
      throw CdxError(bag.path(), tag->name(), std::string("its keys cannot be computed here: ") + e.what(),
                     CdxError::Kind::Refused);
    }
    if (tag->nullable()) keys->set_nullable();
    if (int(keys->format().stored_length()) != tag->key_length())
      throw CdxError(bag.path(), tag->name(),
                     "key length " + std::to_string(tag->key_length()) + " but the expression gives " +
                         std::to_string(keys->format().stored_length()) + " bytes",
                     CdxError::Kind::Refused);
    tag->set_kind(kind_of(keys->format()));
    tags_.push_back(Entry{tag, std::move(keys)});
  }
}

std::uint32_t BagAppender::append(table::Table& t, table::Record rec) {
  Bag::Lock lock(bag_, true);
  std::vector<std::string> keys(tags_.size());
  // Keys may use RECNO(): computed with the number the record will most
  // likely get for the check, again with its real number after the append.
  rec.set_recno(t.record_count() + 1);
  for (std::size_t i = 0; i < tags_.size(); ++i)
    if (tags_[i].keys->key(t, rec, keys[i])) tags_[i].tag->check_change(keys[i], rec.recno());
  const std::uint32_t recno = t.append(rec);
  rec.set_recno(recno);
  for (std::size_t i = 0; i < tags_.size(); ++i)
    if (tags_[i].keys->key(t, rec, keys[i])) tags_[i].tag->insert(keys[i], recno);
  return recno;
}

Tag& index_table(Bag& bag, table::Table& t, const IndexSpec& spec) {
  std::unique_ptr<TagKeys> keys;
  try {
    keys = std::make_unique<TagKeys>(t.schema(), spec.key_expr, spec.for_expr);
  } catch (const expr::Error& e) {
    throw CdxError(bag.path(), spec.name, e.what());
  }
  KeyList list = keys->all(t, spec.unique);
  TagSpec ts;
  ts.name = spec.name;
  ts.key_expr = spec.key_expr;
  ts.for_expr = spec.for_expr;
  ts.key_length = int(keys->format().stored_length());
  ts.kind = kind_of(keys->format());
  ts.unique = spec.unique;
  ts.descending = spec.descending;
  ts.nullable = keys->format().nullable;
  return bag.build_tag(ts, list);
}

void reindex(Bag& bag, table::Table& t) {
  if (!t.exclusive())
    throw CdxError(bag.path(), "", "reindex needs the table open exclusively (nobody else may write it meanwhile)",
                   CdxError::Kind::Refused);
  bag.rebuild([&](const Tag& old, TagSpec& spec) {
    std::unique_ptr<TagKeys> keys;
    try {
      keys = std::make_unique<TagKeys>(t.schema(), spec.key_expr, spec.for_expr);
    } catch (const expr::Error& e) {
      throw CdxError(bag.path(), spec.name, e.what());
    }
    if (old.nullable()) keys->set_nullable();
    spec.key_length = int(keys->format().stored_length());
    spec.kind = kind_of(keys->format());
    spec.nullable = keys->format().nullable;
    return keys->all(t, spec.unique);
  });
}

std::vector<std::string> verify_against_table(Bag& bag, table::Table& t) {
  // The structure check restores the trailing bytes that leaf compression
  // left out, so it needs every tag's key type from the table's fields first
  // (a bare C(8) field is text, not a number); expressions that do not
  // compile are reported below, tag by tag.
  apply_key_types(bag, t.schema());
  std::vector<std::string> problems = bag.verify();
  Bag::Lock lock(bag, false);
  for (Tag* tag : bag.tags()) {
    const std::string where = "tag " + tag->name() + ": ";
    std::unique_ptr<TagKeys> keys;
    try {
      keys = std::make_unique<TagKeys>(t.schema(), tag->key_expr(), tag->for_expr());
    } catch (const expr::Error& e) {
      problems.push_back(where + e.what());
      continue;
    }
    // The bag's header is authoritative for the NULL marker: an expression
    // over a nullable field (UPPER(city)) stores marked keys too.
    if (tag->nullable()) keys->set_nullable();
    if (int(keys->format().stored_length()) != tag->key_length()) {
      problems.push_back(where + "key length " + std::to_string(tag->key_length()) + " but the expression gives " +
                         std::to_string(keys->format().stored_length()) + " bytes");
      continue;
    }
    tag->set_kind(kind_of(keys->format()));
    KeyList want = keys->all(t, tag->unique());
    const SortedKeys& w = want.sort(tag->unique());
    std::vector<std::pair<std::string, std::uint32_t>> have;
    try {
      have = tag->entries();
    } catch (const CdxError& e) {
      problems.push_back(e.what());
      continue;
    }
    if (have.size() != w.size())
      problems.push_back(where + std::to_string(have.size()) + " keys, the records give " + std::to_string(w.size()));
    int shown = 0;
    for (std::size_t i = 0; i < std::min(have.size(), w.size()) && shown < 5; ++i) {
      if (have[i].first != w.key(i) || have[i].second != w.recnos[i]) {
        std::string what = where + "entry " + std::to_string(i + 1) + " is record " + std::to_string(have[i].second);
        if (have[i].second != w.recnos[i])
          what += ", the records give record " + std::to_string(w.recnos[i]);
        else
          what += ", key \"" + have[i].first + "\" where the record gives \"" + std::string(w.key(i)) + "\"";
        problems.push_back(what);
        ++shown;
      }
    }
  }
  return problems;
}

}  // namespace rt::cdx

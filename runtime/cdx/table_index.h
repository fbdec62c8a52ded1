// Tags of a bag against the records of its table: computing keys with the
// key expression engine, building and rebuilding tags, checking every key.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cdx/bag.h"
#include "runtime/expr/expression.h"
#include "runtime/expr/record_scope.h"
#include "runtime/table/table.h"

namespace rt::cdx {

KeyKind kind_of(const expr::KeyFormat& f);

// A tag's key and FOR expressions compiled over a table's fields.
class TagKeys {
 public:
  // Throws expr::Error when an expression does not compile or its result
  // cannot be a key.
  TagKeys(const table::Schema& schema, std::string_view key_expr, std::string_view for_expr);
  const expr::KeyFormat& format() const { return format_; }
  // Keys carry the NULL marker byte (as a bag's header may say).
  void set_nullable() { format_.nullable = true; }
  // The key of rec into out; false when the FOR condition does not hold.
  bool key(table::Table& t, const table::Record& rec, std::string& out);
  // Every record's key, sorted (unique: lowest record of each key value).
  KeyList all(table::Table& t, bool unique);

 private:
  void load(table::Table& t, const table::Record& rec);
  expr::RecordScope scope_;
  expr::Expression key_, for_;
  expr::KeyFormat format_;
  std::vector<int> slots_;
};

// Sets each tag's key kind from its expression over the table's fields.
// Returns a message for each tag whose expression does not compile (that tag
// keeps the kind guessed from its header).
std::vector<std::string> apply_key_types(Bag& bag, const table::Schema& schema);

// Keeps every tag of a bag right while records are appended to its table
// (a bulk load).  Each append takes the bag's lock and checks that every tag
// can take its key before the record is written, so a busy or damaged bag
// stops the append with nothing written.
class BagAppender {
 public:
  // Compiles every tag's expressions over the table's fields; throws
  // CdxError (Refused) naming the first tag whose keys this engine cannot
  // compute (expression, key length, read-only bag).
  BagAppender(Bag& bag, const table::Schema& schema);
  // Appends rec (its memos already stored) and inserts its keys; returns the
  // new record number (left locked in a shared open, as Table::append does).
  std::uint32_t append(table::Table& t, table::Record rec);

 private:
  struct Entry {
    Tag* tag;
    std::unique_ptr<TagKeys> keys;
  };
  Bag& bag_;
  std::vector<Entry> tags_;
};

struct IndexSpec {
  std::string name, key_expr, for_expr;
  bool unique = false;
  bool descending = false;
};

// Adds or replaces a tag built from every record of the table.
Tag& index_table(Bag& bag, table::Table& t, const IndexSpec& spec);
// Rebuilds every tag from its stored expressions and options into a new file
// renamed over the bag (Bag::rebuild): repairs any damage below the tag
// headers and leaves a compact file.  The table must be open exclusively.
void reindex(Bag& bag, table::Table& t);
// Structure of the bag, then every tag's keys against the keys computed from
// the records; one line per problem.
std::vector<std::string> verify_against_table(Bag& bag, table::Table& t);

}  // namespace rt::cdx

// The order layer of the work areas: CDX order bags opened on an area,
// navigation in a tag's order, seeks, relations between areas, filters given
// as text, creating tags, and keeping every tag of every open bag right when
// the area writes a record.
//
//   wa::set_index(area, "compenca");            // DBSETINDEX (bags named explicitly)
//   wa::set_focus(area, 1);                     // ORDSETFOCUS: the bag's first tag
//   wa::seek(area, Value("TK  1234"));          // DBSEEK; area.found(), area.eof()
//   wa::set_relation(areas, parent, "compenca", "COMPTE+STR(NUMERO,6)");
//   wa::set_filter(area, "CANT_CHK<CANTID");    // DBSETFILTER with a text condition
//
// Errors (a bag that cannot be opened, a tag expression that does not compile,
// an unknown tag, a seek value of the wrong type) throw WorkAreaError naming
// the alias, the bag and the tag.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/cdx/bag.h"
#include "runtime/expr/expression.h"
#include "runtime/text/value.h"
#include "runtime/workarea/workareas.h"

namespace rt::wa {

// DBSETINDEX: opens an order bag (".cdx" added when the name has no
// extension; the name resolves without regard to case) on the area.  Every
// tag's expressions are compiled against the table; from now on every record
// the area writes updates every tag of the bag.  The first bag opened on an
// area with no active order makes its first tag active (as the xBase
// runtimes do); the record pointer goes to the top of that order.
void set_index(Area& area, const std::string& bag);
// DBCLEARINDEX: closes every bag of the area; the natural order is active.
void clear_indexes(Area& area);

// ORDSETFOCUS: by tag name (case ignored) or by number over all open bags in
// the order they were opened, tags in creation order (1 = the first bag's
// first tag); 0 or "" = the natural order.  The current record stays.
// Returns the name of the tag that was active before ("" for none).
std::string set_focus(Area& area, const std::string& tag);
std::string set_focus(Area& area, int number);
// The active tag's name, "" in natural order.
std::string focus(Area& area);
// Names of every tag of the open bags, in ORDSETFOCUS numbering.
std::vector<std::string> tag_names(Area& area);

// DBSEEK in the active order: the first record (honouring the filter) whose
// key equals the value; a text shorter than the key matches as a prefix.
// FOUND() tells; a miss leaves EOF() true (soft seek off) or, with soft,
// stands on the next higher key.  Throws when no tag is active.
bool seek(Area& area, const Value& key, bool soft = false);

// ORDCONDSET then ORDCREATE in the table's own bag (same base name, ".cdx";
// created when missing, else the tag is added or replaced).  The bag is
// opened on the area when it is not yet, the new tag becomes active and the
// record pointer goes to the top.
struct OrderCondition {
  std::string for_condition;  // "" = every record
  bool unique = false;
  bool descending = false;
};
void create_order(Area& area, const std::string& tag, const std::string& key,
                  const OrderCondition& condition = {});
// Reads taken as one (a screen painted, a ticket's lines read): each shared
// order bag looks at its change counter once in the batch (cdx::ReadBatch).
using ReadBatch = cdx::ReadBatch;
// A stretch of reads under one lock of each shared bag it reads
// (cdx::LockedReads).
using LockedReads = cdx::LockedReads;

// The structural bag of a scratch table (WorkAreas::use_scratch) made afresh
// and held in memory with it (cdx::Bag::create_scratch), replacing an
// earlier file; create_order then builds its tags there.  WorkAreaError
// (BagBusy) when another open holds the earlier file.
void create_scratch_bag(Area& area);

// DBSETFILTER with a text condition over the area's fields (and other areas'
// ALIAS->FIELD); throws WorkAreaError when it does not compile.
// DBCLEARFILTER is Area::clear_filter.
void set_filter(WorkAreas& areas, Area& area, const std::string& condition);

// DBSETRELATION: after every move of parent (not after an append), the child
// area seeks the key expression (evaluated over the parent's record) in its
// active order; at the parent's end of file the child goes to its end of
// file.  The child is positioned at once.  A relation that would lead back to
// the parent is refused.
void set_relation(WorkAreas& areas, Area& parent, const std::string& child_alias, const std::string& key);
// DBCLEARRELATION: every relation of the area.
void clear_relations(Area& parent);

// A Scope over a work area's current record: its fields, and other open
// areas' fields as ALIAS->FIELD.
class AreaScope : public expr::Scope {
 public:
  AreaScope(WorkAreas* areas, Area& area);
  std::optional<expr::FieldRef> resolve(std::string_view alias, std::string_view name) const override;
  void load(int slot, Value& out) const override;
  long recno() const override;
  bool deleted() const override;
  std::optional<text::CodePage> code_page() const override;

 private:
  struct Slot {
    std::string alias;  // "" = this area
    std::string field;
  };
  Area& target(const Slot& s) const;
  WorkAreas* areas_;
  Area& area_;
  mutable std::vector<Slot> slots_;
};

}  // namespace rt::wa

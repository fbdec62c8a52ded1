// A Scope over one record of a DBF table: field names resolve against the
// table's header; values come from the record's bytes (memo texts from the
// table's memo file).  Used to compute the keys and FOR conditions of a bag's
// tags from records, and by anything that evaluates expressions on a table.
#pragma once

#include <string>

#include "runtime/expr/expression.h"
#include "runtime/table/record.h"
#include "runtime/table/table.h"

namespace rt::expr {

class TableScope : public Scope {
 public:
  // alias: the name ALIAS->FIELD may use ("" for none).  memo_source: the
  // open table memo fields are read from; without one, memo fields read as
  // empty texts.
  explicit TableScope(std::shared_ptr<const table::Schema> schema, std::string alias = "",
                      table::Table* memo_source = nullptr);

  // The record expressions read from now on (not owned; must outlive the
  // evaluations).  Without a record every field reads as blank, RECNO() as 0.
  void set_record(const table::Record* record) { record_ = record; }
  const table::Record* record() const { return record_; }

  std::optional<FieldRef> resolve(std::string_view alias, std::string_view name) const override;
  void load(int slot, Value& out) const override;
  long recno() const override { return record_ ? static_cast<long>(record_->recno()) : 0; }
  bool deleted() const override { return record_ && record_->deleted(); }
  // The table's code page: UPPER() and LOWER() change its accented letters.
  std::optional<text::CodePage> code_page() const override { return schema_->code_page; }

 private:
  std::shared_ptr<const table::Schema> schema_;
  std::string alias_;
  table::Table* memo_source_;
  const table::Record* record_ = nullptr;
  table::Record blank_;
};

}  // namespace rt::expr

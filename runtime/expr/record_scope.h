// A Scope over a plain list of fields and the values of one record: for tools
// that decode records themselves, for building keys in bulk, and for tests.
#pragma once

#include <string>
#include <vector>

#include "runtime/expr/expression.h"

namespace rt::expr {

class RecordScope : public Scope {
 public:
  struct Field {
    std::string name;
    FieldInfo info;
  };

  // alias: the name ALIAS->FIELD may use for these fields ("" for none).
  explicit RecordScope(std::vector<Field> fields, std::string alias = "");

  std::size_t size() const { return fields_.size(); }
  const Field& field(std::size_t i) const { return fields_[i]; }
  // Index of a field by name (same matching as expressions), -1 when absent.
  int find(std::string_view name) const;

  // The current record.  Values start as Nil.
  Value& value(std::size_t i) { return values_[i]; }
  void set(std::size_t i, Value v) { values_[i] = std::move(v); }
  void set_recno(long n) { recno_ = n; }
  void set_deleted(bool d) { deleted_ = d; }
  void set_today(text::Date d) { today_ = d; }
  void set_date_window(text::DateWindow w) { window_ = w; }
  void set_code_page(std::optional<text::CodePage> cp) { code_page_ = cp; }

  std::optional<FieldRef> resolve(std::string_view alias, std::string_view name) const override;
  void load(int slot, Value& out) const override;
  long recno() const override { return recno_; }
  bool deleted() const override { return deleted_; }
  text::Date today() const override;
  text::DateWindow date_window() const override;
  std::optional<text::CodePage> code_page() const override { return code_page_; }

 private:
  std::vector<Field> fields_;
  std::vector<Value> values_;
  std::string alias_;
  long recno_ = 0;
  bool deleted_ = false;
  std::optional<text::Date> today_;
  std::optional<text::DateWindow> window_;
  std::optional<text::CodePage> code_page_;
};

}  // namespace rt::expr

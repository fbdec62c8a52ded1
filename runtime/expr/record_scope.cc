#include "runtime/expr/record_scope.h"

namespace rt::expr {

RecordScope::RecordScope(std::vector<Field> fields, std::string alias)
    : fields_(std::move(fields)), values_(fields_.size()), alias_(std::move(alias)) {}

int RecordScope::find(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i)
    if (field_name_matches(name, fields_[i].name)) return static_cast<int>(i);
  return -1;
}

std::optional<FieldRef> RecordScope::resolve(std::string_view alias, std::string_view name) const {
  if (!alias.empty() && !field_name_matches(alias, alias_)) return std::nullopt;
  const int i = find(name);
  if (i < 0) return std::nullopt;
  return FieldRef{i, fields_[static_cast<std::size_t>(i)].info};
}

void RecordScope::load(int slot, Value& out) const {
  if (slot < 0 || static_cast<std::size_t>(slot) >= values_.size()) {
    out = Value();
    return;
  }
  const Value& v = values_[static_cast<std::size_t>(slot)];
  if (v.is_text()) out.mutable_text().assign(v.text());  // keeps out's storage
  else out = v;
}

text::Date RecordScope::today() const { return today_ ? *today_ : Scope::today(); }
text::DateWindow RecordScope::date_window() const { return window_ ? *window_ : Scope::date_window(); }

}  // namespace rt::expr

#include "runtime/expr/table_scope.h"

namespace rt::expr {

TableScope::TableScope(std::shared_ptr<const table::Schema> schema, std::string alias, table::Table* memo_source)
    : schema_(std::move(schema)), alias_(std::move(alias)), memo_source_(memo_source), blank_(schema_) {}

std::optional<FieldRef> TableScope::resolve(std::string_view alias, std::string_view name) const {
  if (!alias.empty() && !field_name_matches(alias, alias_)) return std::nullopt;
  for (std::size_t i = 0; i < schema_->fields.size(); ++i) {
    const table::Field& f = schema_->fields[i];
    if (!field_name_matches(name, f.name)) continue;
    FieldInfo info;
    info.type = f.letter();
    info.width = f.length;
    info.decimals = f.decimals;
    info.nullable = f.nullable();
    return FieldRef{static_cast<int>(i), info};
  }
  return std::nullopt;
}

void TableScope::load(int slot, Value& out) const {
  const table::Record& rec = record_ ? *record_ : blank_;
  if (slot < 0 || slot >= rec.field_count()) {
    out = Value();
    return;
  }
  const table::Field& f = rec.field(slot);
  if (f.type == table::FieldType::Character && f.null_bit < 0) {
    // The common case, without building a new text.
    const std::string_view raw = rec.raw(slot);
    out.mutable_text().assign(raw.data(), raw.size());
    return;
  }
  if (f.is_memo()) {
    if (f.type != table::FieldType::Memo || !memo_source_ || !record_) out.mutable_text().clear();
    else out.mutable_text() = memo_source_->memo(rec, slot);
    return;
  }
  out = rec.get(slot);
}

}  // namespace rt::expr

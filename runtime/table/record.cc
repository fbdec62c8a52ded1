#include "runtime/table/record.h"

#include <cstring>

#include "runtime/table/error.h"

namespace rt::table {

Record::Record(std::shared_ptr<const Schema> schema) : schema_(std::move(schema)) {
  bytes_.assign(schema_->record_length, ' ');
  // Blank values: binary types and _NullFlags are zero bytes.
  for (const Field& f : schema_->fields) {
    switch (f.type) {
      case FieldType::Integer: case FieldType::Double: case FieldType::Currency: case FieldType::DateTime:
      case FieldType::Blob: case FieldType::Varbinary:
        std::memset(bytes_.data() + f.offset, 0, f.length);
        break;
      case FieldType::Memo: case FieldType::General: case FieldType::Picture:
        encode_memo_ref(f, 0, bytes_.data() + f.offset);
        break;
      default:
        break;
    }
  }
  if (schema_->null_flags) std::memset(bytes_.data() + schema_->null_flags->offset, 0, schema_->null_flags->length);
}

Record::Record(std::shared_ptr<const Schema> schema, std::uint32_t recno, std::string_view bytes)
    : schema_(std::move(schema)), recno_(recno) {
  assign_bytes(bytes);
}

void Record::assign_bytes(std::string_view bytes) {
  if (bytes.size() < schema_->record_length)
    throw TableError(ErrorKind::Corrupt, schema_->file,
                     "record " + std::to_string(recno_) + " is cut short (" + std::to_string(bytes.size()) + " of " +
                         std::to_string(schema_->record_length) + " bytes)");
  bytes_.assign(bytes.data(), schema_->record_length);
}

const Field& Record::field(int i) const {
  if (i < 0 || i >= field_count())
    throw TableError(ErrorKind::Usage, schema_->file, "no field number " + std::to_string(i + 1));
  return schema_->fields[static_cast<std::size_t>(i)];
}

int Record::field_index(std::string_view name) const {
  const int i = schema_->index_of(name);
  if (i < 0) throw TableError(ErrorKind::Usage, schema_->file, "no field named " + std::string(name));
  return i;
}

std::string_view Record::raw(int i) const {
  const Field& f = field(i);
  return std::string_view(bytes_).substr(f.offset, f.length);
}

std::string_view Record::null_flags() const {
  if (!schema_->null_flags) return {};
  return std::string_view(bytes_).substr(schema_->null_flags->offset, schema_->null_flags->length);
}

namespace {

// A field's decoding `read` (a codec of field.h), its errors named with the
// table's file.
template <typename Read>
auto naming_file(const std::string& file, Read read) -> decltype(read()) {
  try {
    return read();
  } catch (const TableError& e) {
    if (!e.file().empty()) throw;
    throw TableError(e.kind(), file, e.problem());
  }
}

}  // namespace

Value Record::get(int i) const {
  return naming_file(schema_->file, [&] { return field_value(field(i), raw(i), null_flags()); });
}

double Record::number(int i) const {
  return naming_file(schema_->file, [&] { return field_number(field(i), raw(i), null_flags()); });
}

void Record::set(int i, const Value& v) {
  const Field& f = field(i);
  char tmp[256];
  encode_field(f, v, tmp, schema_->file);  // throws before anything changes
  std::memcpy(bytes_.data() + f.offset, tmp, f.length);
}

FieldValue Record::decode(int i) const { return decode_field(field(i), raw(i), null_flags()); }

std::int64_t Record::memo_block(int i) const {
  const Field& f = field(i);
  if (!f.is_memo()) throw TableError(ErrorKind::Usage, schema_->file, "field " + f.name + " is not a memo");
  return decode_memo_ref(f, raw(i));
}

void Record::set_memo_block(int i, std::uint32_t block) {
  const Field& f = field(i);
  if (!f.is_memo()) throw TableError(ErrorKind::Usage, schema_->file, "field " + f.name + " is not a memo");
  encode_memo_ref(f, block, bytes_.data() + f.offset);
}

}  // namespace rt::table

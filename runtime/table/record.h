// One record of a table: its bytes, its number and typed access to its fields.
// A Record is plain data: reading and writing it to the file is the Table's
// job, so a Record can be kept, copied and changed without touching the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/table/dbf_header.h"
#include "runtime/table/field.h"
#include "runtime/text/value.h"

namespace rt::table {

class Record {
 public:
  Record() = default;
  // A blank record (every field blank, not deleted, number 0).
  explicit Record(std::shared_ptr<const Schema> schema);
  // A record from its stored bytes (record_length bytes; shorter input is
  // refused with TableError(Corrupt)).
  Record(std::shared_ptr<const Schema> schema, std::uint32_t recno, std::string_view bytes);

  const Schema& schema() const { return *schema_; }
  const std::shared_ptr<const Schema>& schema_ptr() const { return schema_; }
  std::uint32_t recno() const { return recno_; }
  void set_recno(std::uint32_t recno) { recno_ = recno; }

  bool deleted() const { return !bytes_.empty() && bytes_[0] == static_cast<char>(kRecordDeleted); }
  void set_deleted(bool deleted) { bytes_[0] = static_cast<char>(deleted ? kRecordDeleted : kRecordActive); }

  int field_count() const { return static_cast<int>(schema_->fields.size()); }
  const Field& field(int i) const;
  // Index of a field by name (ASCII case ignored); throws TableError(Usage)
  // naming the field when there is none.
  int field_index(std::string_view name) const;

  // The program's value of a field (see field_value in field.h): memo-type
  // fields throw, their text is read through Table::value / Table::memo.
  Value get(int i) const;
  Value get(std::string_view name) const { return get(field_index(name)); }
  // get(i).number() without making the value.
  double number(int i) const;
  // Stores a value (see encode_field): refused values throw and leave the
  // record unchanged.  Memo fields are set through Table::set_memo.
  void set(int i, const Value& v);
  void set(std::string_view name, const Value& v) { set(field_index(name), v); }

  // The field decoded in full (NULL flags, blank = Null, read-only types).
  FieldValue decode(int i) const;
  bool is_null(int i) const { return decode(i).kind == FieldValue::Kind::Null; }
  // Memo block of a memo-type field, 0 when it has none, -1 when malformed.
  std::int64_t memo_block(int i) const;
  void set_memo_block(int i, std::uint32_t block);

  // The stored bytes of one field, and of the whole record (deletion flag first).
  std::string_view raw(int i) const;
  std::string_view bytes() const { return bytes_; }
  // Replaces the whole record's bytes (record_length bytes).
  void assign_bytes(std::string_view bytes);
  std::string_view null_flags() const;

 private:
  std::shared_ptr<const Schema> schema_;
  std::uint32_t recno_ = 0;
  std::string bytes_;
};

}  // namespace rt::table

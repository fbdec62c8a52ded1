// Any bytes as a DBF file: the header codec and the record decoder either
// refuse them with a TableError or decode every field within bounds.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "runtime/table/dbf_header.h"
#include "runtime/table/error.h"
#include "runtime/table/record.h"

using namespace rt::table;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::shared_ptr<const Schema> schema;
  try {
    schema = std::make_shared<const Schema>(parse_header(bytes, "fuzz.dbf"));
  } catch (const TableError&) {
    return 0;
  }
  if (schema->header_length > size || schema->record_length < 2) std::abort();
  for (const Field& f : schema->fields)
    if (f.offset + f.length > schema->record_length) std::abort();
  std::uint32_t count = schema->record_count;
  try {
    check_file_size(*schema, size);
  } catch (const TableError&) {
    count = static_cast<std::uint32_t>((size - schema->header_length) / schema->record_length);
  }
  if (count > 16) count = 16;  // more records add time, not coverage
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::uint64_t off = schema->record_offset(n);
    if (off + schema->record_length > size) std::abort();
    Record rec(schema, n, bytes.substr(off, schema->record_length));
    Record copy = rec;
    for (int i = 0; i < rec.field_count(); ++i) {
      const FieldValue v = rec.decode(i);
      (void)v.currency_text();
      (void)v.datetime_text();
      const Field& f = rec.field(i);
      if (f.is_memo()) continue;
      const rt::Value value = rec.get(i);
      const bool codec = f.type == FieldType::Character || f.type == FieldType::Numeric ||
                         f.type == FieldType::Float || f.type == FieldType::Date || f.type == FieldType::Logical;
      if (!codec) continue;
      try {
        copy.set(i, value);
      } catch (const TableError& e) {
        // Only a number too wide for its field may be refused.
        if (e.kind() != ErrorKind::ValueRefused) std::abort();
      }
    }
    if (copy.bytes().size() != rec.bytes().size()) std::abort();
  }
  return 0;
}

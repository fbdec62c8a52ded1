// The DBF header codec: the 32-byte fixed part, the field descriptors up to
// the terminator, and the rules that tell a sound header from a damaged one.
// Works on bytes in memory so that it can be checked without any file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/table/field.h"
#include "runtime/text/codepage.h"

namespace rt::table {

inline constexpr std::uint8_t kVersionFox2 = 0x03;        // FoxPro 2.x / dBASE III, no memo
inline constexpr std::uint8_t kVersionFox2Memo = 0xF5;    // FoxPro 2.x with FPT memos
inline constexpr std::uint8_t kVersionVfp = 0x30;         // Visual FoxPro
inline constexpr std::uint8_t kVersionVfpAutoinc = 0x31;  // ... with autoincrement fields
inline constexpr std::uint8_t kVersionVfpVar = 0x32;      // ... with Varchar/Varbinary/Blob
inline constexpr std::uint8_t kHeaderTerminator = 0x0D;
inline constexpr std::uint8_t kEndOfFile = 0x1A;
inline constexpr std::uint8_t kRecordActive = ' ';
inline constexpr std::uint8_t kRecordDeleted = '*';

// Everything the header of a table says.
struct Schema {
  std::string file;                 // for messages
  std::uint8_t version = kVersionFox2;
  std::uint8_t table_flags = 0;     // 0x01 structural CDX, 0x02 memo, 0x04 DBC
  std::uint8_t code_page_mark = 0;  // byte 29 as stored
  text::CodePage code_page = text::CodePage::CP850;
  bool code_page_known = true;      // false: unknown mark, CP850 assumed
  int update_year = 0, update_month = 0, update_day = 0;  // last update, full year
  std::uint32_t record_count = 0;   // as the header said when read
  std::uint16_t header_length = 0;
  std::uint16_t record_length = 0;
  std::vector<Field> fields;        // the user's fields, in order (no _NullFlags)
  std::optional<Field> null_flags;  // the hidden _NullFlags field, if any
  std::string backlink;             // Visual FoxPro: owning database container

  bool visual_foxpro() const { return version == kVersionVfp || version == kVersionVfpAutoinc || version == kVersionVfpVar; }
  // True for the FoxPro 2.x formats this engine writes.
  bool writable_format() const { return version == kVersionFox2 || version == kVersionFox2Memo; }
  bool has_memo_fields() const;
  // Index of a field by name, ignoring ASCII case; -1 when there is none.
  int index_of(std::string_view name) const;
  std::uint64_t record_offset(std::uint32_t recno) const {
    return header_length + static_cast<std::uint64_t>(recno - 1) * record_length;
  }
};

// Reads a header from its bytes (at least the 32-byte fixed part; the
// descriptors need `header_length` bytes).  Throws TableError naming `file`
// for a truncated header, an unknown version byte (in hex), impossible field
// descriptors or lengths.  Version bytes other than 0x03, 0xF5, 0x30, 0x31,
// 0x32 are refused.
Schema parse_header(std::string_view bytes, const std::string& file);
// The header length the fixed part announces (bytes 8-9); 0 when fewer than
// 32 bytes are given.
std::uint16_t announced_header_length(std::string_view bytes);

// Checks that the records the header announces fit in a file of that size
// (the 0x1A end mark may be missing).  Throws TableError(Corrupt).
void check_file_size(const Schema& schema, std::uint64_t file_size);

// The header of a new FoxPro 2.x table (0x03, or 0xF5 when a field is a
// memo) with the given fields, no records, last update = `today`.
// Throws TableError(Usage) naming the field for a bad name, type, length or
// duplicate.
Schema make_schema(const std::vector<NewField>& specs, text::CodePage cp, text::Date today, const std::string& file);
// The header bytes of a schema (fixed part, descriptors, terminator).
std::string encode_header(const Schema& schema);

// Bytes 1-7 of the header: last-update date (year mod 100) and record count.
void encode_count_and_date(std::uint32_t count, text::Date date, unsigned char out[7]);

}  // namespace rt::table

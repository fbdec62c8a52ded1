// Field descriptors and the codec between a field's stored bytes and values.
//
// Storage as the FoxPro family writes it: C text in the table's code page,
// blank padded; N/F right-aligned ASCII with a fixed number of decimals
// (blank = empty); D "YYYYMMDD" or 8 blanks; L "T"/"F" (blank = not set);
// memo references as 10 ASCII digits (FoxPro 2.x) or a 4-byte little-endian
// block number (Visual FoxPro).  The Visual FoxPro types I, B, Y, T, V, Q,
// W, G, P are decoded for reading only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/text/date.h"
#include "runtime/text/value.h"

namespace rt::table {

enum class FieldType : char {
  Character = 'C',
  Numeric = 'N',
  Float = 'F',
  Date = 'D',
  Logical = 'L',
  Memo = 'M',
  General = 'G',
  Picture = 'P',
  Integer = 'I',
  Double = 'B',
  Currency = 'Y',
  DateTime = 'T',
  Varchar = 'V',
  Varbinary = 'Q',
  Blob = 'W',
  NullFlags = '0',
};

// Field flag bits (byte 18 of a descriptor, Visual FoxPro).
inline constexpr std::uint8_t kFlagSystem = 0x01;
inline constexpr std::uint8_t kFlagNullable = 0x02;
inline constexpr std::uint8_t kFlagBinary = 0x04;
inline constexpr std::uint8_t kFlagAutoinc = 0x08;

// One field of a table as its header describes it.
struct Field {
  std::string name;           // upper case as stored, at most 10 characters
  FieldType type = FieldType::Character;
  std::uint8_t length = 0;
  std::uint8_t decimals = 0;
  std::uint8_t flags = 0;
  std::uint32_t offset = 0;   // inside the record; byte 0 is the deletion flag
  int null_bit = -1;          // bit of _NullFlags telling NULL, -1 when none
  int varlen_bit = -1;        // bit of _NullFlags telling "shorter" (V, Q)

  char letter() const { return static_cast<char>(type); }
  bool is_memo() const {
    return type == FieldType::Memo || type == FieldType::General || type == FieldType::Picture ||
           type == FieldType::Blob;
  }
  bool binary() const { return (flags & kFlagBinary) != 0; }
  bool nullable() const { return (flags & kFlagNullable) != 0; }
  // "C(10)", "N(8,2)" for messages.
  std::string describe() const;
};

// A field asked for when a table is created (FoxPro 2.x types C N F D L M).
struct NewField {
  std::string name;
  char type = 'C';
  int length = 0;
  int decimals = 0;
};

// A field decoded in full, for display and checking (dbftool) and for the
// read-only types that rt::Value does not carry.
struct FieldValue {
  enum class Kind {
    Null,      // NULL flag set, or blank N/F/D/L/T (no value stored)
    Text,      // C, V: `bytes` in the table's code page
    Number,    // N, F, B: `number`
    Integer,   // I: `integer`
    Currency,  // Y: `integer` = value x 10000
    Date,      // D: `date`
    DateTime,  // T: `date` and `millis` since midnight
    Logical,   // L: `logical`
    Memo,      // M, G, P, W: `memo_block` (0 = no memo)
    Binary,    // Q, binary V: `bytes` uninterpreted
  };
  Kind kind = Kind::Null;
  std::string bytes;
  double number = 0;
  std::int64_t integer = 0;
  text::Date date;
  std::int32_t millis = 0;
  bool logical = false;
  std::uint32_t memo_block = 0;

  // Y as a plain decimal string without trailing zeros ("1.2345", "18",
  // "-0.5").
  std::string currency_text() const;
  // T as "YYYY-MM-DDTHH:MM:SS" (milliseconds dropped); "" when Null.
  std::string datetime_text() const;
};

// Decodes one field.  `field_bytes` is exactly field.length bytes;
// `null_flags` the record's _NullFlags bytes ("" when the table has none).
FieldValue decode_field(const Field& field, std::string_view field_bytes, std::string_view null_flags);

// The value a program reads from the field: C/V text bytes at full width
// (V cut to its used length), N/F/B/I/Y a number (blank = 0), D a date (blank
// = empty date), T its date, L a logical (blank = false), NULL = Nil.
// Throws TableError(Usage) for memo-type fields: their text lives in the memo
// file (Table::value reads it).
Value field_value(const Field& field, std::string_view field_bytes, std::string_view null_flags);
// field_value(...).number() without making the value: a number field's
// number read straight from its bytes (sums over many records).
double field_number(const Field& field, std::string_view field_bytes, std::string_view null_flags);

// Encodes a value into field.length bytes at out.  Texts are cut or blank
// padded; numbers are right-aligned with exactly field.decimals decimals;
// Nil stores the blank value.  Throws TableError (naming `file`, the field
// and the value) when the value does not fit or has the wrong type, and for
// fields this engine only reads.  Memo fields take a reference via
// encode_memo_ref.
void encode_field(const Field& field, const Value& value, char* out, const std::string& file);

// The memo block number stored in a memo-type field (0 = none); -1 when the
// stored bytes are not a block number.
std::int64_t decode_memo_ref(const Field& field, std::string_view field_bytes);
// Stores block (0 = no memo) in the field's format.
void encode_memo_ref(const Field& field, std::uint32_t block, char* out);

// True for a letter that FieldType knows.
bool known_field_type(char letter);

}  // namespace rt::table

// Index keys as the order bags store them: fixed-length byte strings whose
// unsigned byte order is the order of the values.
//
//   Character  the text's code-page bytes, blank-padded or cut to the key length
//   Numeric    8 bytes: IEEE-754 double, big-endian; negative values have all
//              64 bits inverted, others only the sign bit (-0.0 counts as 0)
//   Date       8 bytes: the Julian day number as a double, same transform
//              (the empty date is day 0)
//   DateTime   8 bytes: Julian day plus fraction of the day, same transform
//   Integer    4 bytes: int32 big-endian with the sign bit inverted
//
// A nullable key (tags on fields that may hold NULL) carries one more byte in
// front: 0x80 before a value; a NULL key is all zero bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "runtime/text/value.h"

namespace rt::expr {

enum class KeyType : std::uint8_t { Character, Numeric, Date, DateTime, Integer };

// "C", "N", "D", "T", "I".
const char* key_type_name(KeyType t);

constexpr std::size_t kMaxKeyLength = 240;

struct KeyFormat {
  KeyType type = KeyType::Character;
  std::size_t length = 0;  // bytes of the value part (C: 1..240, N/D/T: 8, I: 4)
  bool nullable = false;   // one leading marker byte in front of the value

  // Bytes of a whole key as stored in the bag.
  std::size_t stored_length() const { return length + (nullable ? 1 : 0); }
  // The byte that fills the unused tail of a key (and that leaf pages
  // compress as "trailing" bytes).
  char pad_byte() const { return type == KeyType::Character ? ' ' : '\0'; }

  friend bool operator==(const KeyFormat&, const KeyFormat&) = default;
};

// The format of a key of that type; length is only used for Character.
KeyFormat key_format(KeyType type, std::size_t char_length = 0, bool nullable = false);

// A value that does not fit the key's type (a number for a character key...)
// or a format that is not valid.
class KeyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The stored key of a value: out gets exactly f.stored_length() bytes.
// Texts go into Character keys; numbers into Numeric, Integer and DateTime
// keys (Integer: the value truncated, refused outside the int32 range);
// dates into Date and DateTime keys.  A Nil value (a NULL field) gives the
// NULL key of a nullable format and the empty key (blanks / zero) otherwise.
void encode_key(const Value& v, const KeyFormat& f, std::string& out);
std::string encode_key(const Value& v, const KeyFormat& f);

// The key to seek a value with: like encode_key, except that a text shorter
// than the key length is not padded, so that it matches every key it is a
// prefix of.
void encode_seek_key(const Value& v, const KeyFormat& f, std::string& out);

// The 8-byte order-preserving form of a double, and back.
void encode_double(double d, unsigned char out[8]);
double decode_double(const unsigned char in[8]);

// The value a stored key holds: Character keys give the text with trailing
// blanks removed, Numeric / Integer / DateTime keys a number, Date keys a date;
// a NULL key gives Nil.  Throws KeyError when the key has not the format's
// length.
Value decode_key(std::string_view key, const KeyFormat& f);

}  // namespace rt::expr

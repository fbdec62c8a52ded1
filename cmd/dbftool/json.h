// A small JSON writer and reader for dbftool's record format.
//
// Table texts are code-page bytes; JSON texts are UTF-8.  The conversion
// happens here and nowhere else in dbftool.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/text/codepage.h"

namespace dbftool::json {

// Appends the JSON string literal of UTF-8 text; a malformed UTF-8 byte is
// written as U+FFFD.
void append_string(std::string& out, std::string_view utf8);

// Writes one JSON document into `out`, putting the commas and colons.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  void key(std::string_view utf8);
  void string(std::string_view utf8);
  void number(std::string_view json_number);  // already valid JSON number text
  void boolean(bool b);
  void null();

 private:
  void before_value();
  std::string& out_;
  std::vector<bool> has_member_;
  bool after_key_ = false;
};

// Code-page bytes as UTF-8.  nullopt when a byte has no character in the code
// page (such values are shown as binary instead of being altered).
std::optional<std::string> decode_text(std::string_view bytes, rt::text::CodePage cp);

// UTF-8 text as code-page bytes; nullopt (and the offending character in
// *bad) when a character has no byte in the code page.
std::optional<std::string> encode_text(std::string_view utf8, rt::text::CodePage cp, std::string* bad);

std::string to_hex(std::string_view bytes);
// nullopt for an odd length or a non-hex digit.
std::optional<std::string> from_hex(std::string_view hex);

// The JSON number of a stored numeric text: blanks around it removed, "+"
// dropped, "0" put before a bare decimal point ("-.5" -> "-0.5").  nullopt
// when the text is not a plain decimal number.
std::optional<std::string> number_from_field(std::string_view stored);

struct Member;

// A parsed JSON value.  Numbers keep their text so no digit is lost.
struct Value {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;  // number text or UTF-8 string
  std::vector<Value> items;
  std::vector<Member> members;  // in document order

  const Value* find(std::string_view key) const;
  bool is_null() const { return kind == Kind::Null; }
};

struct Member {
  std::string name;
  Value value;
};

class ParseError : public std::runtime_error {
 public:
  ParseError(std::size_t column, const std::string& what)
      : std::runtime_error("column " + std::to_string(column) + ": " + what), column_(column) {}
  std::size_t column() const { return column_; }

 private:
  std::size_t column_;
};

// Parses exactly one JSON value (blanks around it allowed).  Nesting deeper
// than 64 levels is refused.
Value parse(std::string_view text);

const char* kind_name(Value::Kind k);

}  // namespace dbftool::json

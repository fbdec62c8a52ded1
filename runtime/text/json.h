// A small JSON writer and reader: UTF-8 texts, numbers kept as their text
// so no digit is lost.  dbftool's record format and the tests' expected
// figures use it.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rt::text::json {

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

std::string to_hex(std::string_view bytes);
// nullopt for an odd length or a non-hex digit.
std::optional<std::string> from_hex(std::string_view hex);

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

}  // namespace rt::text::json

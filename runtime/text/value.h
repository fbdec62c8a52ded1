// A value of the suite's languages: what a field holds, what an expression
// computes.  Texts are code-page bytes (never UTF-8).
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "runtime/text/date.h"

namespace rt {

enum class ValueType { Nil, Text, Number, Date, Logical };

class Value {
 public:
  Value() = default;
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(double n) : v_(n) {}
  Value(int n) : v_(static_cast<double>(n)) {}
  Value(long n) : v_(static_cast<double>(n)) {}
  Value(long long n) : v_(static_cast<double>(n)) {}
  Value(text::Date d) : v_(d) {}
  Value(bool b) : v_(b) {}

  ValueType type() const { return static_cast<ValueType>(v_.index()); }
  bool is_nil() const { return type() == ValueType::Nil; }
  bool is_text() const { return type() == ValueType::Text; }
  bool is_number() const { return type() == ValueType::Number; }
  bool is_date() const { return type() == ValueType::Date; }
  bool is_logical() const { return type() == ValueType::Logical; }

  // Typed access; a value of another type gives the empty value of the asked
  // type ("" / 0 / empty date / false).
  const std::string& text() const;
  double number() const { return is_number() ? std::get<double>(v_) : 0.0; }
  text::Date date() const { return is_date() ? std::get<text::Date>(v_) : text::Date{}; }
  bool logical() const { return is_logical() && std::get<bool>(v_); }

  // The text of this value for writing in place: a value of another type
  // becomes an empty text first, a text keeps its storage (so a value reused
  // for many results does not allocate each time).
  std::string& mutable_text() {
    if (!is_text()) v_ = std::string();
    return std::get<std::string>(v_);
  }

  friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

 private:
  std::variant<std::monostate, std::string, double, text::Date, bool> v_;
};

inline const std::string& Value::text() const {
  static const std::string kEmpty;
  return is_text() ? std::get<std::string>(v_) : kEmpty;
}

const char* type_name(ValueType t);

}  // namespace rt

#include "runtime/expr/expression.h"

#include <cctype>

#include "runtime/expr/node.h"
#include "runtime/os/env.h"

// The engine's units: lexer.cc (tokens), parser.cc (grammar and types),
// functions.cc (the function table), evaluator.cc (running compiled nodes).

namespace rt::expr {

Error::Error(std::string problem, std::string expression, std::size_t position)
    : std::runtime_error(problem + (position ? " at position " + std::to_string(position) : std::string()) +
                         " in \"" + expression + "\""),
      problem_(std::move(problem)),
      expression_(std::move(expression)),
      position_(position) {}

text::Date Scope::today() const { return os::Env::Default().clock().now().date; }
text::DateWindow Scope::date_window() const { return text::DateWindow::current(); }

bool field_name_matches(std::string_view written, std::string_view stored) {
  if (written.size() > 10 && stored.size() == 10) written = written.substr(0, 10);
  if (written.size() != stored.size()) return false;
  for (std::size_t i = 0; i < written.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(written[i])) != std::toupper(static_cast<unsigned char>(stored[i])))
      return false;
  return true;
}

const char* type_word(ValueType t) {
  switch (t) {
    case ValueType::Text: return "a text";
    case ValueType::Number: return "a number";
    case ValueType::Date: return "a date";
    case ValueType::Logical: return "a logical value";
    case ValueType::Nil: return "nothing";
  }
  return "?";
}

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(const Expression&) = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(const Expression&) = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

ValueType Expression::type() const { return nodes_.empty() ? ValueType::Nil : nodes_.back().type; }

int Expression::width() const {
  return nodes_.empty() || nodes_.back().type != ValueType::Text ? 0 : nodes_.back().width;
}

KeyFormat Expression::key_format() const {
  if (nodes_.empty()) throw Error("no expression", text_, 0);
  const Node& root = nodes_.back();
  const bool bare_field = root.op == Op::Field;
  const bool nullable = root.nullable;
  switch (root.type) {
    case ValueType::Text:
      if (root.width < 0) throw Error("the length of this key depends on the data", text_, 0);
      if (root.width < 1 || static_cast<std::size_t>(root.width) > kMaxKeyLength)
        throw Error("a key of " + std::to_string(root.width) + " characters is not possible (1 to 240)", text_, 0);
      return rt::expr::key_format(KeyType::Character, static_cast<std::size_t>(root.width), nullable);
    case ValueType::Number:
      if (bare_field && root.field_type == 'I') return rt::expr::key_format(KeyType::Integer, 0, nullable);
      return rt::expr::key_format(KeyType::Numeric, 0, nullable);
    case ValueType::Date:
      if (bare_field && root.field_type == 'T') return rt::expr::key_format(KeyType::DateTime, 0, nullable);
      return rt::expr::key_format(KeyType::Date, 0, nullable);
    case ValueType::Logical: throw Error("logical keys are not supported", text_, 0);
    case ValueType::Nil: break;
  }
  throw Error("no expression", text_, 0);
}

}  // namespace rt::expr

// The compiled form of an expression: nodes in an array, children before
// parents.  Shared by the parser, the function table and the evaluator; not
// for use outside runtime/expr.
#pragma once

#include <cmath>
#include <cstdint>

#include "runtime/expr/case_map.h"
#include "runtime/expr/expression.h"

namespace rt::expr {

struct Function;

// Literals, fields, operators and function calls (the function says what the
// call does).
enum class Op : std::uint8_t {
  Literal, Field, Call,
  Neg, Not, And, Or,
  Add, Sub, Mul, Div, Mod,
  Concat, ConcatMove,            // text + text, text - text
  DateAdd, NumDateAdd, DateSub, DateDiff,
  Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Contains,
};

struct Expression::Node {
  Op op = Op::Literal;
  ValueType type = ValueType::Nil;
  int width = 0;        // texts: most characters (-1 unknown)
  int depth = 1;        // height of the subtree
  int a = -1, b = -1, c = -1;  // operands or arguments (node indexes)
  int slot = -1;        // Field
  char field_type = 0;  // Field: the table's type letter
  bool nullable = false;  // Field: may hold NULL; others: reads such a field
  const Function* function = nullptr;   // Call
  const CaseTable* case_map = nullptr;  // UPPER, LOWER
  std::uint32_t pos = 0;  // 1-based position in the text
  mutable Value reg;      // the result (literals: the constant)
};

using Node = Expression::Node;

// A count or width from a number: NaN gives 0, huge values are clamped so
// that the conversion to an integer is always defined.
inline long long to_count(double d) {
  if (std::isnan(d)) return 0;
  if (d > 1e15) return 1000000000000000LL;
  if (d < -1e15) return -1000000000000000LL;
  return static_cast<long long>(std::trunc(d));
}

// "a text", "a number", ... for messages.
const char* type_word(ValueType t);

}  // namespace rt::expr

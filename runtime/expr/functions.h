// The functions expressions may call.  Each has ONE entry in the table of
// functions.cc: its name, how many arguments it takes, its type rule (run
// when compiling: argument types, result type and width) and its evaluator.
// Adding a function means adding one entry there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/expr/node.h"

namespace rt::expr {

class Evaluator;

// What a type rule sees: the compiled arguments, and the call's node, whose
// type, width and case map it sets.
struct Typing {
  struct Arg {
    ValueType type = ValueType::Nil;
    int width = 0;
    std::optional<double> constant;  // a literal number, possibly negated
    std::uint32_t pos = 0;
  };
  const Function& function;
  Node& node;
  Arg args[3];
  int count = 0;
  const Scope& scope;
  std::string_view source;

  // Throws Error unless argument i (0-based) has type t.
  void want(int i, ValueType t) const;
  // The argument as a constant count (see to_count), when it is one.
  std::optional<long long> constant(int i) const;
  // Throws Error at argument i.
  [[noreturn]] void fail(const std::string& problem, int i) const;
};

// What an evaluator sees: the call's node (its reg holds the result) and
// its argument values.  Strict functions get every argument evaluated and
// are not called when one is Nil (the result is then Nil); lazy ones
// evaluate their arguments themselves through value().
struct Call {
  const Node& node;
  const Evaluator& evaluator;
  const Value* args[3] = {nullptr, nullptr, nullptr};
  int count = 0;

  const Value& arg(int i) const { return *args[i]; }
  // Lazy functions: evaluates argument i.
  const Value& value(int i) const;
  const Scope& scope() const;
  Value& result() const { return node.reg; }
  [[noreturn]] void fail(const std::string& problem) const;
  // Throws Error when a text result would exceed kMaxTextResult.
  void check_size(std::size_t size) const;
};

struct Function {
  const char* name;
  int min_args, max_args;
  bool lazy;
  void (*type)(Typing&);
  const Value& (*eval)(const Call&);
};

// The function a name (upper case) stands for: the whole name, or four or
// more of its first letters when they fit one function only.  nullptr: none.
const Function* find_function(std::string_view name);

}  // namespace rt::expr

// Runs a compiled expression over a scope: operators here, function calls
// through their entries in the function table.
#pragma once

#include <string>
#include <vector>

#include "runtime/expr/node.h"

namespace rt::expr {

class Evaluator {
 public:
  Evaluator(const std::vector<Node>& nodes, const std::string& text, const Scope& scope)
      : nodes_(nodes), text_(text), scope_(scope) {}

  // The value of node i; the reference is the node's own register.
  const Value& eval(int i) const;
  const Scope& scope() const { return scope_; }
  [[noreturn]] void fail(const Node& n, const std::string& problem) const;

 private:
  const Value& call(const Node& n) const;
  const Value& binary(const Node& n, const Value& a, const Value& b) const;

  const std::vector<Node>& nodes_;
  const std::string& text_;
  const Scope& scope_;
};

}  // namespace rt::expr

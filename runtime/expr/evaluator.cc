#include "runtime/expr/evaluator.h"

#include <cmath>

#include "runtime/expr/functions.h"
#include "runtime/text/convert.h"

namespace rt::expr {

namespace {

constexpr std::int32_t kLastJulianDay = 5373484;  // 9999-12-31

int compare_text(const std::string& l, const std::string& r) {
  // Equal under "=" when the left text begins with the right one.
  if (text::text_equal_prefix(l, r)) return 0;
  const int c = l.compare(r);
  return c < 0 ? -1 : 1;
}

int compare(const Value& a, const Value& b) {
  switch (a.type()) {
    case ValueType::Text: return compare_text(a.text(), b.text());
    case ValueType::Number: return a.number() < b.number() ? -1 : a.number() > b.number() ? 1 : 0;
    case ValueType::Date: return a.date() < b.date() ? -1 : a.date() > b.date() ? 1 : 0;
    case ValueType::Logical: return static_cast<int>(a.logical()) - static_cast<int>(b.logical());
    case ValueType::Nil: return 0;
  }
  return 0;
}

}  // namespace

void Evaluator::fail(const Node& n, const std::string& problem) const { throw Error(problem, text_, n.pos); }

const Value& Evaluator::eval(int i) const {
  const Node& n = nodes_[static_cast<std::size_t>(i)];
  Value& r = n.reg;
  switch (n.op) {
    case Op::Literal: return r;
    case Op::Field: scope_.load(n.slot, r); return r;
    case Op::Call: return call(n);
    case Op::And: {
      if (!eval(n.a).logical()) { r = Value(false); return r; }
      r = Value(eval(n.b).logical());
      return r;
    }
    case Op::Or: {
      if (eval(n.a).logical()) { r = Value(true); return r; }
      r = Value(eval(n.b).logical());
      return r;
    }
    case Op::Not: r = Value(!eval(n.a).logical()); return r;
    case Op::Neg: {
      const Value& a = eval(n.a);
      r = a.is_nil() ? Value() : Value(-a.number());
      return r;
    }
    default: break;
  }
  const Value& a = eval(n.a);
  return binary(n, a, eval(n.b));
}

const Value& Evaluator::call(const Node& n) const {
  const Function& f = *n.function;
  Call c{n, *this};
  for (int child : {n.a, n.b, n.c}) {
    if (child < 0) break;
    c.args[c.count++] = f.lazy ? nullptr : &eval(child);
  }
  // NULL passes through the functions that do not look at their arguments
  // themselves.
  if (!f.lazy)
    for (int i = 0; i < c.count; ++i)
      if (c.args[i]->is_nil()) {
        n.reg = Value();
        return n.reg;
      }
  return f.eval(c);
}

const Value& Evaluator::binary(const Node& n, const Value& a, const Value& b) const {
  Value& r = n.reg;
  if (a.is_nil() || b.is_nil()) {
    switch (n.op) {
      case Op::Eq: case Op::ExactEq: case Op::Ne: case Op::Lt: case Op::Le: case Op::Gt: case Op::Ge:
      case Op::Contains:
        r = Value(false);
        return r;
      default:
        r = Value();
        return r;
    }
  }
  switch (n.op) {
    case Op::Add: r = Value(a.number() + b.number()); return r;
    case Op::Sub: r = Value(a.number() - b.number()); return r;
    case Op::Mul: r = Value(a.number() * b.number()); return r;
    case Op::Div:
      if (b.number() == 0) fail(n, "division by zero");
      r = Value(a.number() / b.number());
      return r;
    case Op::Mod: {
      if (b.number() == 0) fail(n, "division by zero");
      // The result takes the sign of the divisor.
      double m = std::fmod(a.number(), b.number());
      if (m != 0 && ((m < 0) != (b.number() < 0))) m += b.number();
      r = Value(m);
      return r;
    }
    case Op::Concat: case Op::ConcatMove: {
      const std::string& l = a.text();
      if (l.size() + b.text().size() > kMaxTextResult)
        fail(n, "text result longer than " + std::to_string(kMaxTextResult) + " characters");
      // text - text moves the trailing blanks of the left text to the end.
      std::size_t e = l.size();
      if (n.op == Op::ConcatMove)
        while (e > 0 && l[e - 1] == ' ') --e;
      std::string& s = r.mutable_text();
      s.assign(l, 0, e);
      s.append(b.text());
      s.append(l.size() - e, ' ');
      return r;
    }
    case Op::DateAdd: case Op::DateSub: case Op::NumDateAdd: {
      const text::Date d = n.op == Op::NumDateAdd ? b.date() : a.date();
      const double days = n.op == Op::NumDateAdd ? a.number() : n.op == Op::DateSub ? -b.number() : b.number();
      if (d.empty()) { r = Value(text::Date{}); return r; }
      // The empty date stays empty; other results must stay in the calendar.
      const long long jdn = d.julian() + to_count(days);
      if (jdn < 1 || jdn > kLastJulianDay) fail(n, "date out of range");
      r = Value(text::Date::from_julian(static_cast<std::int32_t>(jdn)));
      return r;
    }
    case Op::DateDiff:
      r = Value(static_cast<double>(a.date().julian()) - static_cast<double>(b.date().julian()));
      return r;
    case Op::Eq: r = Value(compare(a, b) == 0); return r;
    case Op::ExactEq:
      r = Value(a.is_text() ? a.text() == b.text() : compare(a, b) == 0);
      return r;
    case Op::Ne: r = Value(compare(a, b) != 0); return r;
    case Op::Lt: r = Value(compare(a, b) < 0); return r;
    case Op::Le: r = Value(compare(a, b) <= 0); return r;
    case Op::Gt: r = Value(compare(a, b) > 0); return r;
    case Op::Ge: r = Value(compare(a, b) >= 0); return r;
    case Op::Contains: r = Value(text::text_contains(a.text(), b.text())); return r;
    default: fail(n, "internal: bad binary operation");
  }
}

const Value& Expression::evaluate(const Scope& scope) const {
  if (nodes_.empty()) throw Error("no expression", text_, 0);
  return Evaluator(nodes_, text_, scope).eval(static_cast<int>(nodes_.size()) - 1);
}

bool Expression::holds(const Scope& scope) const {
  const Value& v = evaluate(scope);
  if (v.is_nil()) return false;
  if (!v.is_logical())
    throw Error(std::string("a condition must be logical, this gives ") + type_word(v.type()), text_, 0);
  return v.logical();
}

void Expression::key(const Scope& scope, const KeyFormat& format, std::string& out) const {
  const Value& v = evaluate(scope);
  try {
    encode_key(v, format, out);
  } catch (const KeyError& e) {
    throw Error(e.what(), text_, 0);
  }
}

}  // namespace rt::expr

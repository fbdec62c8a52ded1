#include "runtime/expr/expression.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "runtime/expr/functions.h"
#include "runtime/expr/lexer.h"
#include "runtime/expr/node.h"

namespace rt::expr {

// Recursive descent over
//   or   := and { .OR. and }
//   and  := not { .AND. not }
//   not  := ( .NOT. | ! ) not | rel
//   rel  := add { (= == != <> # < <= > >= $) add }
//   add  := mul { (+ | -) mul }
//   mul  := unary { (* | / | %) unary }
//   unary:= (- | +) unary | primary
//   primary := literal | ( or ) | NAME ( args ) | NAME -> NAME | NAME
// checking types as it goes; function calls are typed by their entry in
// the function table.
class Compiler {
 public:
  Compiler(std::string_view text, const Scope& scope) : src_(text), scope_(scope), lex_(text, scope) {}

  Expression run() {
    out_.text_ = std::string(src_);
    if (src_.size() > kMaxExpressionLength)
      fail("the expression is longer than " + std::to_string(kMaxExpressionLength) + " characters", 0);
    next();
    if (tok_.kind == Tok::End) fail("the expression is empty", 0);
    const int root = parse_or();
    if (tok_.kind != Tok::End) fail("unexpected " + describe(tok_), tok_.pos);
    // The root must be the last node: evaluation starts there.
    if (root != static_cast<int>(out_.nodes_.size()) - 1) fail("internal: root is not last", 0);
    return std::move(out_);
  }

 private:
  [[noreturn]] void fail(const std::string& problem, std::size_t pos) const { lex_.fail(problem, pos); }
  void next() { lex_.next(); }
  bool is_op(const char* op) const { return lex_.is_op(op); }

  // --- nodes ---------------------------------------------------------------

  int add(Node n) {
    if (out_.nodes_.size() >= 4096) fail("the expression has too many parts", n.pos);
    int depth = 0;
    for (int child : {n.a, n.b, n.c}) {
      if (child < 0) continue;
      depth = std::max(depth, out_.nodes_[static_cast<std::size_t>(child)].depth);
      if (out_.nodes_[static_cast<std::size_t>(child)].nullable) n.nullable = true;
    }
    n.depth = depth + 1;
    if (n.depth > 4 * kMaxNesting) fail("the expression is nested too deeply", n.pos);
    out_.nodes_.push_back(std::move(n));
    return static_cast<int>(out_.nodes_.size()) - 1;
  }

  const Node& node(int i) const { return out_.nodes_[static_cast<std::size_t>(i)]; }
  ValueType type_of(int i) const { return node(i).type; }
  int width_of(int i) const { return node(i).width; }

  static int sum_width(int a, int b) { return a < 0 || b < 0 ? -1 : std::min(a + b, 1 << 24); }

  // The value of a constant number operand (a literal, possibly negated).
  std::optional<double> const_number(int i) const {
    const Node& n = node(i);
    if (n.op == Op::Literal && n.type == ValueType::Number) return n.reg.number();
    if (n.op == Op::Neg && n.a >= 0) {
      if (auto v = const_number(n.a)) return -*v;
    }
    return std::nullopt;
  }

  // --- grammar -------------------------------------------------------------

  struct Depth {
    explicit Depth(Compiler& c) : c_(c) {
      if (++c_.depth_ > kMaxNesting) c_.fail("the expression is nested too deeply", c_.tok_.pos);
    }
    ~Depth() { --c_.depth_; }
    Compiler& c_;
  };

  int parse_or() {
    Depth guard(*this);
    int left = parse_and();
    while (is_op(".OR.")) {
      const auto pos = tok_.pos;
      next();
      left = logical_binary(Op::Or, left, parse_and(), pos, ".OR.");
    }
    return left;
  }

  int parse_and() {
    int left = parse_not();
    while (is_op(".AND.")) {
      const auto pos = tok_.pos;
      next();
      left = logical_binary(Op::And, left, parse_not(), pos, ".AND.");
    }
    return left;
  }

  int parse_not() {
    if (is_op(".NOT.") || is_op("!")) {
      Depth guard(*this);
      const auto pos = tok_.pos;
      const std::string op = tok_.text;
      next();
      const int operand = parse_not();
      if (type_of(operand) != ValueType::Logical)
        fail(op + " needs a logical value, not " + type_word(type_of(operand)), pos);
      Node n;
      n.op = Op::Not;
      n.type = ValueType::Logical;
      n.a = operand;
      n.pos = pos;
      return add(std::move(n));
    }
    return parse_rel();
  }

  int logical_binary(Op op, int a, int b, std::uint32_t pos, const char* name) {
    if (type_of(a) != ValueType::Logical || type_of(b) != ValueType::Logical)
      fail(std::string(name) + " needs logical values, not " + type_word(type_of(a)) + " and " +
               type_word(type_of(b)),
           pos);
    Node n;
    n.op = op;
    n.type = ValueType::Logical;
    n.a = a;
    n.b = b;
    n.pos = pos;
    return add(std::move(n));
  }

  int parse_rel() {
    int left = parse_add();
    while (tok_.kind == Tok::Op) {
      Op op;
      const std::string& t = tok_.text;
      if (t == "=") op = Op::Eq;
      else if (t == "==") op = Op::ExactEq;
      else if (t == "!=" || t == "<>" || t == "#") op = Op::Ne;
      else if (t == "<") op = Op::Lt;
      else if (t == "<=") op = Op::Le;
      else if (t == ">") op = Op::Gt;
      else if (t == ">=") op = Op::Ge;
      else if (t == "$") op = Op::Contains;
      else break;
      const auto pos = tok_.pos;
      const std::string name = t;
      next();
      const int right = parse_add();
      const ValueType lt = type_of(left), rt = type_of(right);
      if (op == Op::Contains) {
        if (lt != ValueType::Text || rt != ValueType::Text)
          fail("\"$\" needs two texts, not " + std::string(type_word(lt)) + " and " + type_word(rt), pos);
      } else if (lt != rt) {
        fail("cannot compare " + std::string(type_word(lt)) + " with " + type_word(rt) + " (\"" + name + "\")",
             pos);
      }
      Node n;
      n.op = op;
      n.type = ValueType::Logical;
      n.a = left;
      n.b = right;
      n.pos = pos;
      left = add(std::move(n));
    }
    return left;
  }

  int parse_add() {
    int left = parse_mul();
    while (is_op("+") || is_op("-")) {
      const bool plus = tok_.text == "+";
      const auto pos = tok_.pos;
      next();
      const int right = parse_mul();
      const ValueType lt = type_of(left), rt = type_of(right);
      Node n;
      n.a = left;
      n.b = right;
      n.pos = pos;
      if (lt == ValueType::Number && rt == ValueType::Number) {
        n.op = plus ? Op::Add : Op::Sub;
        n.type = ValueType::Number;
      } else if (lt == ValueType::Text && rt == ValueType::Text) {
        n.op = plus ? Op::Concat : Op::ConcatMove;
        n.type = ValueType::Text;
        n.width = sum_width(width_of(left), width_of(right));
      } else if (lt == ValueType::Date && rt == ValueType::Number) {
        n.op = plus ? Op::DateAdd : Op::DateSub;
        n.type = ValueType::Date;
      } else if (plus && lt == ValueType::Number && rt == ValueType::Date) {
        n.op = Op::NumDateAdd;
        n.type = ValueType::Date;
      } else if (!plus && lt == ValueType::Date && rt == ValueType::Date) {
        n.op = Op::DateDiff;
        n.type = ValueType::Number;
      } else {
        fail(std::string("cannot ") + (plus ? "add " : "subtract ") + type_word(rt) + (plus ? " to " : " from ") +
                 type_word(lt),
             pos);
      }
      left = add(std::move(n));
    }
    return left;
  }

  int parse_mul() {
    int left = parse_unary();
    while (is_op("*") || is_op("/") || is_op("%")) {
      const std::string name = tok_.text;
      const auto pos = tok_.pos;
      next();
      const int right = parse_unary();
      if (type_of(left) != ValueType::Number || type_of(right) != ValueType::Number)
        fail("\"" + name + "\" needs two numbers, not " + type_word(type_of(left)) + " and " +
                 type_word(type_of(right)),
             pos);
      Node n;
      n.op = name == "*" ? Op::Mul : name == "/" ? Op::Div : Op::Mod;
      n.type = ValueType::Number;
      n.a = left;
      n.b = right;
      n.pos = pos;
      left = add(std::move(n));
    }
    return left;
  }

  int parse_unary() {
    if (is_op("-") || is_op("+")) {
      Depth guard(*this);
      const bool minus = tok_.text == "-";
      const auto pos = tok_.pos;
      next();
      const int operand = parse_unary();
      if (type_of(operand) != ValueType::Number)
        fail(std::string("unary ") + (minus ? "-" : "+") + " needs a number, not " + type_word(type_of(operand)),
             pos);
      if (!minus) return operand;
      Node n;
      n.op = Op::Neg;
      n.type = ValueType::Number;
      n.a = operand;
      n.pos = pos;
      return add(std::move(n));
    }
    return parse_primary();
  }

  int literal(Value v, ValueType t, std::uint32_t pos) {
    Node n;
    n.op = Op::Literal;
    n.type = t;
    n.pos = pos;
    if (t == ValueType::Text) n.width = static_cast<int>(v.text().size());
    n.reg = std::move(v);
    return add(std::move(n));
  }

  int parse_primary() {
    const Token t = tok_;
    switch (t.kind) {
      case Tok::Number: next(); return literal(Value(t.number), ValueType::Number, t.pos);
      case Tok::Text: next(); return literal(Value(t.text), ValueType::Text, t.pos);
      case Tok::Date: next(); return literal(Value(t.date), ValueType::Date, t.pos);
      case Tok::Logical: next(); return literal(Value(t.logical), ValueType::Logical, t.pos);
      case Tok::LParen: {
        next();
        const int inner = parse_or();
        if (tok_.kind != Tok::RParen) fail("\")\" expected, found " + describe(tok_), tok_.pos);
        next();
        return inner;
      }
      case Tok::Name: {
        next();
        if (tok_.kind == Tok::LParen) return parse_call(t);
        if (tok_.kind == Tok::Arrow) {
          next();
          if (tok_.kind != Tok::Name) fail("field name expected after \"->\", found " + describe(tok_), tok_.pos);
          const Token field = tok_;
          next();
          const bool current = t.text == "FIELD" || t.text == "_FIELD";
          return field_node(current ? std::string() : t.text, field.text, t.pos);
        }
        return field_node(std::string(), t.text, t.pos);
      }
      default:
        fail("a value was expected, found " + describe(t), t.pos);
    }
  }

  int field_node(const std::string& alias, const std::string& name, std::uint32_t pos) {
    const std::optional<FieldRef> ref = scope_.resolve(alias, name);
    const std::string shown = alias.empty() ? name : alias + "->" + name;
    if (!ref) fail("unknown field \"" + shown + "\"", pos);
    Node n;
    n.op = Op::Field;
    n.pos = pos;
    n.slot = ref->slot;
    n.field_type = static_cast<char>(std::toupper(static_cast<unsigned char>(ref->info.type)));
    n.nullable = ref->info.nullable;
    switch (n.field_type) {
      case 'C': case 'V':
        n.type = ValueType::Text;
        n.width = std::max(0, ref->info.width);
        break;
      case 'M':
        n.type = ValueType::Text;
        n.width = -1;
        break;
      case 'N': case 'F': case 'B': case 'Y': case 'I':
        n.type = ValueType::Number;
        break;
      // Date-time fields take part as their date (keys on them keep the
      // date-time format).
      case 'D': case 'T': n.type = ValueType::Date; break;
      case 'L': n.type = ValueType::Logical; break;
      default:
        fail("field \"" + shown + "\" has type " + std::string(1, ref->info.type) + ", which expressions cannot use",
             pos);
    }
    if (std::find(out_.slots_.begin(), out_.slots_.end(), n.slot) == out_.slots_.end())
      out_.slots_.push_back(n.slot);
    return add(std::move(n));
  }

  int parse_call(const Token& name) {
    const Function* f = find_function(name.text);
    if (!f) fail("unknown function \"" + name.text + "\"", name.pos);
    Depth guard(*this);
    next();  // (
    std::vector<int> args;
    std::vector<std::uint32_t> arg_pos;
    if (tok_.kind != Tok::RParen) {
      for (;;) {
        if (args.size() == 3) fail(std::string(f->name) + " takes at most " + std::to_string(f->max_args) +
                                       " arguments", tok_.pos);
        arg_pos.push_back(tok_.pos);
        args.push_back(parse_or());
        if (tok_.kind == Tok::Comma) { next(); continue; }
        if (tok_.kind == Tok::RParen) break;
        fail("\",\" or \")\" expected, found " + describe(tok_), tok_.pos);
      }
    }
    next();  // )
    const int count = static_cast<int>(args.size());
    if (count < f->min_args || count > f->max_args) {
      std::string want = f->min_args == f->max_args
                             ? std::to_string(f->min_args)
                             : std::to_string(f->min_args) + " to " + std::to_string(f->max_args);
      fail(std::string(f->name) + " takes " + want + (f->max_args == 1 && f->min_args == 1 ? " argument" : " arguments") +
               ", not " + std::to_string(count),
           name.pos);
    }
    Node n;
    n.op = Op::Call;
    n.function = f;
    n.pos = name.pos;
    Typing typing{*f, n, {}, count, scope_, src_};
    for (int i = 0; i < count; ++i) {
      const int arg = args[static_cast<std::size_t>(i)];
      (i == 0 ? n.a : i == 1 ? n.b : n.c) = arg;
      typing.args[i] = {type_of(arg), width_of(arg), const_number(arg), arg_pos[static_cast<std::size_t>(i)]};
    }
    f->type(typing);
    return add(std::move(n));
  }

  std::string_view src_;
  const Scope& scope_;
  Lexer lex_;
  const Token& tok_ = lex_.token();
  int depth_ = 0;
  Expression out_;
};

Expression Expression::compile(std::string_view text, const Scope& scope) { return Compiler(text, scope).run(); }

Expression Expression::compile_condition(std::string_view text, const Scope& scope) {
  Expression e = compile(text, scope);
  if (e.type() != ValueType::Logical)
    throw Error(std::string("a condition must be logical, this gives ") + type_word(e.type()), std::string(text), 0);
  return e;
}

}  // namespace rt::expr

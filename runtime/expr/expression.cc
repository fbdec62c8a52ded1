#include "runtime/expr/expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "runtime/expr/case_map.h"
#include "runtime/os/env.h"
#include "runtime/text/convert.h"

namespace rt::expr {

// ---------------------------------------------------------------------------
// Compiled form

enum class Op : std::uint8_t {
  Literal, Field,
  Neg, Not, And, Or,
  Add, Sub, Mul, Div, Mod,
  Concat, ConcatMove,            // text + text, text - text
  DateAdd, NumDateAdd, DateSub, DateDiff,
  Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Contains,
  Str, Val, Dtos, Dtoc, Ctod, Upper, Lower, Trim, Ltrim, Alltrim,
  Substr, Left, Right, Padl, Padr, Iif, Deleted, Recno, Empty, Today,
  Len, Space, Int, Abs,
};

struct Expression::Node {
  Op op = Op::Literal;
  ValueType type = ValueType::Nil;
  int width = 0;        // texts: most characters (-1 unknown)
  int depth = 1;        // height of the subtree
  int a = -1, b = -1, c = -1;  // operands (node indexes)
  int slot = -1;        // Field
  char field_type = 0;  // Field: the table's type letter
  bool nullable = false;  // Field: may hold NULL; others: reads such a field
  const CaseTable* case_map = nullptr;  // Upper, Lower
  std::uint32_t pos = 0;  // 1-based position in the text
  mutable Value reg;      // the result (literals: the constant)
};

using Node = Expression::Node;

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

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(const Expression&) = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(const Expression&) = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

namespace {

// A count or width from a number: NaN gives 0, huge values are clamped so
// that the conversion to an integer is always defined.
long long to_count(double d) {
  if (std::isnan(d)) return 0;
  if (d > 1e15) return 1000000000000000LL;
  if (d < -1e15) return -1000000000000000LL;
  return static_cast<long long>(std::trunc(d));
}

constexpr std::int32_t kLastJulianDay = 5373484;  // 9999-12-31

struct FunctionInfo {
  const char* name;
  Op op;
  int min_args, max_args;
};

const FunctionInfo kFunctions[] = {
    {"STR", Op::Str, 1, 3},       {"VAL", Op::Val, 1, 1},         {"DTOS", Op::Dtos, 1, 1},
    {"DTOC", Op::Dtoc, 1, 1},     {"CTOD", Op::Ctod, 1, 1},       {"UPPER", Op::Upper, 1, 1},
    {"LOWER", Op::Lower, 1, 1},   {"TRIM", Op::Trim, 1, 1},       {"RTRIM", Op::Trim, 1, 1},
    {"LTRIM", Op::Ltrim, 1, 1},   {"ALLTRIM", Op::Alltrim, 1, 1}, {"SUBSTR", Op::Substr, 2, 3},
    {"LEFT", Op::Left, 2, 2},     {"RIGHT", Op::Right, 2, 2},     {"PADL", Op::Padl, 2, 3},
    {"PADR", Op::Padr, 2, 3},     {"IIF", Op::Iif, 3, 3},         {"DELETED", Op::Deleted, 0, 0},
    {"RECNO", Op::Recno, 0, 0},   {"EMPTY", Op::Empty, 1, 1},     {"DATE", Op::Today, 0, 0},
    {"LEN", Op::Len, 1, 1},       {"SPACE", Op::Space, 1, 1},     {"INT", Op::Int, 1, 1},
    {"ABS", Op::Abs, 1, 1},
};

// The function a name stands for: the whole name, or four or more of its
// first letters when they fit one function only.
const FunctionInfo* find_function(std::string_view name) {
  for (const auto& f : kFunctions)
    if (name == f.name) return &f;
  if (name.size() < 4) return nullptr;
  const FunctionInfo* found = nullptr;
  for (const auto& f : kFunctions) {
    if (std::string_view(f.name).substr(0, name.size()) == name) {
      if (found && found->op != f.op) return nullptr;
      found = &f;
    }
  }
  return found;
}

enum class Tok : std::uint8_t { End, Name, Number, Text, Date, Logical, Op, LParen, RParen, Comma, Arrow };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // Name (upper case), Text (bytes), Op (the operator)
  double number = 0;
  text::Date date;
  bool logical = false;
  std::uint32_t pos = 0;  // 1-based
};

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

}  // namespace

// ---------------------------------------------------------------------------
// Tokenizer and parser: recursive descent over
//   or   := and { .OR. and }
//   and  := not { .AND. not }
//   not  := ( .NOT. | ! ) not | rel
//   rel  := add { (= == != <> # < <= > >= $) add }
//   add  := mul { (+ | -) mul }
//   mul  := unary { (* | / | %) unary }
//   unary:= (- | +) unary | primary
//   primary := literal | ( or ) | NAME ( args ) | NAME -> NAME | NAME

class Compiler {
 public:
  Compiler(std::string_view text, const Scope& scope) : src_(text), scope_(scope) {}

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
  [[noreturn]] void fail(const std::string& problem, std::size_t pos) {
    throw Error(problem, std::string(src_), pos);
  }

  static std::string describe(const Token& t) {
    switch (t.kind) {
      case Tok::End: return "end of the expression";
      case Tok::Name: return "name \"" + t.text + "\"";
      case Tok::Number: return "number";
      case Tok::Text: return "text";
      case Tok::Date: return "date";
      case Tok::Logical: return "logical value";
      case Tok::Op: return "\"" + t.text + "\"";
      case Tok::LParen: return "\"(\"";
      case Tok::RParen: return "\")\"";
      case Tok::Comma: return "\",\"";
      case Tok::Arrow: return "\"->\"";
    }
    return "token";
  }

  // --- tokenizer -----------------------------------------------------------

  char at(std::size_t i) const { return i < src_.size() ? src_[i] : '\0'; }
  static bool is_name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
  static bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
  static bool is_digit(char c) { return c >= '0' && c <= '9'; }

  void next() {
    while (p_ < src_.size() && (src_[p_] == ' ' || src_[p_] == '\t' || src_[p_] == '\r' || src_[p_] == '\n')) ++p_;
    tok_ = Token();
    tok_.pos = static_cast<std::uint32_t>(p_ + 1);
    if (p_ >= src_.size()) return;
    const char c = src_[p_];
    if (is_name_start(c)) {
      const std::size_t s = p_;
      while (p_ < src_.size() && is_name_char(src_[p_])) ++p_;
      tok_.kind = Tok::Name;
      tok_.text = text::upper(src_.substr(s, p_ - s));
      return;
    }
    if (is_digit(c) || (c == '.' && is_digit(at(p_ + 1)))) return lex_number();
    if (c == '.') return lex_dotted();
    if (c == '"' || c == '\'' || c == '[') return lex_text(c == '[' ? ']' : c);
    if (c == '{') return lex_date();
    ++p_;
    switch (c) {
      case '(': tok_.kind = Tok::LParen; return;
      case ')': tok_.kind = Tok::RParen; return;
      case ',': tok_.kind = Tok::Comma; return;
      case '+': case '*': case '/': case '%': case '#': case '$':
        tok_.kind = Tok::Op; tok_.text = std::string(1, c); return;
      case '-':
        if (at(p_) == '>') { ++p_; tok_.kind = Tok::Arrow; return; }
        tok_.kind = Tok::Op; tok_.text = "-"; return;
      case '=':
        tok_.kind = Tok::Op;
        if (at(p_) == '=') { ++p_; tok_.text = "=="; } else tok_.text = "=";
        return;
      case '!':
        tok_.kind = Tok::Op;
        if (at(p_) == '=') { ++p_; tok_.text = "!="; } else tok_.text = "!";
        return;
      case '<':
        tok_.kind = Tok::Op;
        if (at(p_) == '=') { ++p_; tok_.text = "<="; }
        else if (at(p_) == '>') { ++p_; tok_.text = "<>"; }
        else tok_.text = "<";
        return;
      case '>':
        tok_.kind = Tok::Op;
        if (at(p_) == '=') { ++p_; tok_.text = ">="; } else tok_.text = ">";
        return;
      default: break;
    }
    const unsigned char u = static_cast<unsigned char>(c);
    char buf[48];
    if (u >= 0x20 && u < 0x7F) std::snprintf(buf, sizeof buf, "unexpected character \"%c\"", c);
    else std::snprintf(buf, sizeof buf, "unexpected character (byte %u)", static_cast<unsigned>(u));
    fail(buf, tok_.pos);
  }

  void lex_number() {
    const std::size_t s = p_;
    while (is_digit(at(p_))) ++p_;
    // A point belongs to the number only when a digit follows: "1.AND." is
    // the number 1 and .AND.
    if (at(p_) == '.' && is_digit(at(p_ + 1))) {
      ++p_;
      while (is_digit(at(p_))) ++p_;
    }
    if (p_ - s > 40) fail("number too long", tok_.pos);
    tok_.kind = Tok::Number;
    tok_.number = std::strtod(std::string(src_.substr(s, p_ - s)).c_str(), nullptr);
  }

  void lex_dotted() {
    // .T. .F. .Y. .N. .AND. .OR. .NOT.
    std::size_t e = p_ + 1;
    while (e < src_.size() && e - p_ <= 4 && std::isalpha(static_cast<unsigned char>(src_[e]))) ++e;
    if (at(e) == '.') {
      const std::string word = text::upper(src_.substr(p_ + 1, e - p_ - 1));
      if (word == "T" || word == "Y" || word == "F" || word == "N") {
        tok_.kind = Tok::Logical;
        tok_.logical = word == "T" || word == "Y";
        p_ = e + 1;
        return;
      }
      if (word == "AND" || word == "OR" || word == "NOT") {
        tok_.kind = Tok::Op;
        tok_.text = "." + word + ".";
        p_ = e + 1;
        return;
      }
    }
    fail("unexpected \".\"", tok_.pos);
  }

  void lex_text(char close) {
    const std::size_t s = ++p_;
    while (p_ < src_.size() && src_[p_] != close) ++p_;
    if (p_ >= src_.size()) fail("text without its closing " + std::string(1, close), tok_.pos);
    tok_.kind = Tok::Text;
    tok_.text = std::string(src_.substr(s, p_ - s));
    ++p_;
  }

  void lex_date() {
    const std::size_t s = ++p_;
    while (p_ < src_.size() && src_[p_] != '}') ++p_;
    if (p_ >= src_.size()) fail("date without its closing }", tok_.pos);
    std::string body = text::trim(src_.substr(s, p_ - s));
    ++p_;
    tok_.kind = Tok::Date;
    std::optional<text::Date> d;
    if (body.empty()) {
      d = text::Date{};
    } else if (body[0] == '^') {
      // {^yyyy-mm-dd} (also with / or . between the parts)
      int parts[3] = {0, 0, 0}, lens[3] = {0, 0, 0}, idx = 0;
      bool ok = true;
      for (std::size_t i = 1; i < body.size() && ok; ++i) {
        const char ch = body[i];
        if (is_digit(ch)) {
          if (lens[idx] == 4) ok = false;
          else { parts[idx] = parts[idx] * 10 + (ch - '0'); ++lens[idx]; }
        } else if ((ch == '-' || ch == '/' || ch == '.') && idx < 2) {
          ++idx;
        } else if (ch != ' ') {
          ok = false;
        }
      }
      if (ok && idx == 2 && lens[0] == 4 && lens[1] > 0 && lens[2] > 0)
        d = text::Date::from_ymd(parts[0], parts[1], parts[2]);
    } else {
      d = text::ctod(body, scope_.date_window());
    }
    if (!d) fail("not a date: {" + body + "}", tok_.pos);
    tok_.date = *d;
  }

  bool is_op(const char* op) const { return tok_.kind == Tok::Op && tok_.text == op; }

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
    const FunctionInfo* f = find_function(name.text);
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
    auto want = [&](int i, ValueType t) {
      if (type_of(args[static_cast<std::size_t>(i)]) != t)
        fail(std::string(f->name) + " needs " + type_word(t) + " as argument " + std::to_string(i + 1) + ", not " +
                 type_word(type_of(args[static_cast<std::size_t>(i)])),
             arg_pos[static_cast<std::size_t>(i)]);
    };
    Node n;
    n.op = f->op;
    n.pos = name.pos;
    if (count > 0) n.a = args[0];
    if (count > 1) n.b = args[1];
    if (count > 2) n.c = args[2];
    const int w0 = count > 0 ? width_of(args[0]) : 0;
    auto const_count = [&](int i) -> std::optional<long long> {
      if (i >= count) return std::nullopt;
      if (auto v = const_number(args[static_cast<std::size_t>(i)])) return to_count(*v);
      return std::nullopt;
    };
    switch (f->op) {
      case Op::Str: {
        want(0, ValueType::Number);
        if (count > 1) want(1, ValueType::Number);
        if (count > 2) want(2, ValueType::Number);
        n.type = ValueType::Text;
        if (count == 1) {
          n.width = 10;
        } else if (auto w = const_count(1)) {
          if (*w < 1 || *w > 255) fail("the width of STR must be 1 to 255", arg_pos[1]);
          n.width = static_cast<int>(*w);
        } else {
          n.width = -1;
        }
        break;
      }
      case Op::Val: want(0, ValueType::Text); n.type = ValueType::Number; break;
      case Op::Dtos: want(0, ValueType::Date); n.type = ValueType::Text; n.width = 8; break;
      case Op::Dtoc: want(0, ValueType::Date); n.type = ValueType::Text; n.width = 8; break;
      case Op::Ctod: want(0, ValueType::Text); n.type = ValueType::Date; break;
      case Op::Upper: case Op::Lower: {
        want(0, ValueType::Text);
        n.type = ValueType::Text;
        n.width = w0;
        const auto cp = scope_.code_page();
        const bool up = f->op == Op::Upper;
        n.case_map = cp ? &(up ? upper_table(*cp) : lower_table(*cp)) : &(up ? ascii_upper() : ascii_lower());
        break;
      }
      case Op::Trim: case Op::Ltrim: case Op::Alltrim:
        want(0, ValueType::Text);
        n.type = ValueType::Text;
        n.width = w0;
        break;
      case Op::Substr: {
        want(0, ValueType::Text);
        want(1, ValueType::Number);
        if (count > 2) want(2, ValueType::Number);
        n.type = ValueType::Text;
        const auto start = const_count(1);
        long long w = w0;
        if (w0 >= 0 && start && *start > 0) w = std::max(0LL, w0 - *start + 1);
        if (count > 2) {
          if (auto len = const_count(2)) w = w < 0 ? std::max(0LL, *len) : std::min(w, std::max(0LL, *len));
          else if (w0 < 0) w = -1;
        }
        n.width = static_cast<int>(std::min<long long>(w, 1 << 24));
        break;
      }
      case Op::Left: case Op::Right: {
        want(0, ValueType::Text);
        want(1, ValueType::Number);
        n.type = ValueType::Text;
        if (auto len = const_count(1)) {
          const long long l = std::max(0LL, *len);
          n.width = static_cast<int>(w0 < 0 ? std::min<long long>(l, 1 << 24) : std::min<long long>(l, w0));
        } else {
          n.width = w0;
        }
        break;
      }
      case Op::Padl: case Op::Padr: {
        want(0, ValueType::Text);
        want(1, ValueType::Number);
        if (count > 2) want(2, ValueType::Text);
        n.type = ValueType::Text;
        if (auto len = const_count(1)) {
          if (*len < 0 || *len > static_cast<long long>(kMaxTextResult))
            fail(std::string(f->name) + " width out of range", arg_pos[1]);
          n.width = static_cast<int>(*len);
        } else {
          n.width = -1;
        }
        break;
      }
      case Op::Iif: {
        want(0, ValueType::Logical);
        const ValueType t1 = type_of(args[1]), t2 = type_of(args[2]);
        if (t1 != t2)
          fail(std::string("IIF needs the same type in both branches, not ") + type_word(t1) + " and " +
                   type_word(t2),
               arg_pos[2]);
        n.type = t1;
        if (t1 == ValueType::Text) {
          const int wa = width_of(args[1]), wb = width_of(args[2]);
          n.width = wa < 0 || wb < 0 ? -1 : std::max(wa, wb);
        }
        break;
      }
      case Op::Deleted: n.type = ValueType::Logical; break;
      case Op::Recno: n.type = ValueType::Number; break;
      case Op::Empty: n.type = ValueType::Logical; break;
      case Op::Today: n.type = ValueType::Date; break;
      case Op::Len: want(0, ValueType::Text); n.type = ValueType::Number; break;
      case Op::Space: {
        want(0, ValueType::Number);
        n.type = ValueType::Text;
        if (auto len = const_count(0)) {
          if (*len < 0 || *len > static_cast<long long>(kMaxTextResult))
            fail("SPACE width out of range", arg_pos[0]);
          n.width = static_cast<int>(*len);
        } else {
          n.width = -1;
        }
        break;
      }
      case Op::Int: case Op::Abs: want(0, ValueType::Number); n.type = ValueType::Number; break;
      default: fail("internal: unhandled function", name.pos);
    }
    return add(std::move(n));
  }

  std::string_view src_;
  const Scope& scope_;
  std::size_t p_ = 0;
  Token tok_;
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

// ---------------------------------------------------------------------------
// Evaluation

namespace {

class Evaluator {
 public:
  Evaluator(const std::vector<Node>& nodes, const std::string& text, const Scope& scope)
      : nodes_(nodes), text_(text), scope_(scope) {}

  const Value& eval(int i) const {
    const Node& n = nodes_[static_cast<std::size_t>(i)];
    Value& r = n.reg;
    switch (n.op) {
      case Op::Literal: return r;
      case Op::Field: scope_.load(n.slot, r); return r;
      case Op::Recno: r = Value(static_cast<double>(scope_.recno())); return r;
      case Op::Deleted: r = Value(scope_.deleted()); return r;
      case Op::Today: r = Value(scope_.today()); return r;
      case Op::Iif: {
        const Value& c = eval(n.a);
        return eval(c.logical() ? n.b : n.c);
      }
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
      case Op::Empty: {
        const Value& v = eval(n.a);
        bool empty = true;
        switch (v.type()) {
          case ValueType::Text:
            for (char ch : v.text())
              if (ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n') { empty = false; break; }
            break;
          case ValueType::Number: empty = v.number() == 0; break;
          case ValueType::Date: empty = v.date().empty(); break;
          case ValueType::Logical: empty = !v.logical(); break;
          case ValueType::Nil: break;
        }
        r = Value(empty);
        return r;
      }
      default: break;
    }
    if (n.b < 0) return unary(n, eval(n.a));
    const Value& a = eval(n.a);
    const Value& b = eval(n.b);
    if (n.c >= 0) return ternary(n, a, b, eval(n.c));
    return binary(n, a, b);
  }

 private:
  [[noreturn]] void fail(const Node& n, const std::string& problem) const { throw Error(problem, text_, n.pos); }

  void check_size(const Node& n, std::size_t size) const {
    if (size > kMaxTextResult) fail(n, "text result longer than " + std::to_string(kMaxTextResult) + " characters");
  }

  const Value& nil(const Node& n) const {
    n.reg = Value();
    return n.reg;
  }

  const Value& date_result(const Node& n, long long jdn) const {
    // The empty date stays empty; other results must stay in the calendar.
    if (jdn < 1 || jdn > kLastJulianDay) fail(n, "date out of range");
    n.reg = Value(text::Date::from_julian(static_cast<std::int32_t>(jdn)));
    return n.reg;
  }

  const Value& str(const Node& n, double x, long long width, long long dec) const {
    if (width < 1 || width > 255) fail(n, "the width of STR must be 1 to 255");
    dec = std::clamp(dec, 0LL, 15LL);
    std::string& out = n.reg.mutable_text();
    if (dec == 0 && x > -1e15 && x < 1e15) {
      // Whole numbers, the usual key part, without formatting through printf:
      // rounded half away from zero exactly as text::str does.
      const double r = x >= 0 ? std::floor(x + 0.5 + 1e-9) : -std::floor(-x + 0.5 + 1e-9);
      long long v = static_cast<long long>(r);
      const bool negative = v < 0;
      if (negative) v = -v;
      char digits[24];
      int len = 0;
      do {
        digits[len++] = static_cast<char>('0' + v % 10);
        v /= 10;
      } while (v != 0);
      if (negative) digits[len++] = '-';
      if (len > width) {
        out.assign(static_cast<std::size_t>(width), '*');
      } else {
        out.assign(static_cast<std::size_t>(width - len), ' ');
        for (int i = len - 1; i >= 0; --i) out.push_back(digits[i]);
      }
      return n.reg;
    }
    out = text::str(x, static_cast<int>(width), static_cast<int>(dec));
    return n.reg;
  }

  const Value& unary(const Node& n, const Value& a) const {
    if (a.is_nil()) {
      if (n.op == Op::Not) { n.reg = Value(true); return n.reg; }
      return nil(n);
    }
    Value& r = n.reg;
    switch (n.op) {
      case Op::Neg: r = Value(-a.number()); return r;
      case Op::Str: return str(n, a.number(), 10, 0);
      case Op::Val: r = Value(text::val(a.text())); return r;
      case Op::Dtos: r.mutable_text() = text::dtos(a.date()); return r;
      case Op::Dtoc: r.mutable_text() = text::dtoc(a.date()); return r;
      case Op::Ctod: {
        const auto d = text::ctod(a.text(), scope_.date_window());
        r = Value(d ? *d : text::Date{});
        return r;
      }
      case Op::Upper: case Op::Lower: {
        std::string& s = r.mutable_text();
        s.assign(a.text());
        const CaseTable& map = *n.case_map;
        for (char& ch : s) ch = static_cast<char>(map[static_cast<unsigned char>(ch)]);
        return r;
      }
      case Op::Trim: case Op::Ltrim: case Op::Alltrim: {
        const std::string& s = a.text();
        std::size_t b = 0, e = s.size();
        if (n.op != Op::Ltrim)
          while (e > 0 && s[e - 1] == ' ') --e;
        if (n.op != Op::Trim)
          while (b < e && s[b] == ' ') ++b;
        r.mutable_text().assign(s, b, e - b);
        return r;
      }
      case Op::Len: r = Value(static_cast<double>(a.text().size())); return r;
      case Op::Space: {
        const long long w = to_count(a.number());
        check_size(n, w < 0 ? 0 : static_cast<std::size_t>(w));
        r.mutable_text().assign(w < 0 ? 0 : static_cast<std::size_t>(w), ' ');
        return r;
      }
      case Op::Int: r = Value(std::trunc(a.number())); return r;
      case Op::Abs: r = Value(std::fabs(a.number())); return r;
      default: fail(n, "internal: bad unary operation");
    }
  }

  static int compare_text(const std::string& l, const std::string& r) {
    // Equal under "=" when the left text begins with the right one.
    if (text::text_equal_prefix(l, r)) return 0;
    const int c = l.compare(r);
    return c < 0 ? -1 : 1;
  }

  static int compare(const Value& a, const Value& b) {
    switch (a.type()) {
      case ValueType::Text: return compare_text(a.text(), b.text());
      case ValueType::Number: return a.number() < b.number() ? -1 : a.number() > b.number() ? 1 : 0;
      case ValueType::Date: return a.date() < b.date() ? -1 : a.date() > b.date() ? 1 : 0;
      case ValueType::Logical: return static_cast<int>(a.logical()) - static_cast<int>(b.logical());
      case ValueType::Nil: return 0;
    }
    return 0;
  }

  const Value& binary(const Node& n, const Value& a, const Value& b) const {
    Value& r = n.reg;
    if (a.is_nil() || b.is_nil()) {
      switch (n.op) {
        case Op::Eq: case Op::ExactEq: case Op::Ne: case Op::Lt: case Op::Le: case Op::Gt: case Op::Ge:
        case Op::Contains:
          r = Value(false);
          return r;
        default: return nil(n);
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
      case Op::Concat: {
        check_size(n, a.text().size() + b.text().size());
        std::string& s = r.mutable_text();
        s.assign(a.text());
        s.append(b.text());
        return r;
      }
      case Op::ConcatMove: {
        const std::string& l = a.text();
        check_size(n, l.size() + b.text().size());
        std::size_t e = l.size();
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
        return date_result(n, d.julian() + to_count(days));
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
      case Op::Str: return str(n, a.number(), to_count(b.number()), 0);
      case Op::Substr: return substr(n, a.text(), to_count(b.number()), -1);
      case Op::Left: case Op::Right: {
        const std::string& s = a.text();
        const long long want = std::max(0LL, to_count(b.number()));
        const std::size_t len = std::min<std::size_t>(s.size(), static_cast<std::size_t>(want));
        r.mutable_text().assign(s, n.op == Op::Left ? 0 : s.size() - len, len);
        return r;
      }
      case Op::Padl: case Op::Padr: return pad(n, a.text(), to_count(b.number()), ' ');
      default: fail(n, "internal: bad binary operation");
    }
  }

  const Value& substr(const Node& n, const std::string& s, long long start, long long len) const {
    // 1-based start; a negative start counts from the end; 0 is the first
    // character.  len < 0 (absent): to the end.
    const long long size = static_cast<long long>(s.size());
    if (start < 0) start = std::max(1LL, size + start + 1);
    if (start == 0) start = 1;
    std::string& out = n.reg.mutable_text();
    if (start > size) { out.clear(); return n.reg; }
    const long long avail = size - start + 1;
    const long long take = len < 0 ? avail : std::min(avail, len);
    out.assign(s, static_cast<std::size_t>(start - 1), static_cast<std::size_t>(take));
    return n.reg;
  }

  const Value& pad(const Node& n, const std::string& s, long long width, char fill) const {
    if (width < 0) width = 0;
    check_size(n, static_cast<std::size_t>(width));
    const auto w = static_cast<std::size_t>(width);
    std::string& out = n.reg.mutable_text();
    if (n.op == Op::Padr) {
      out.assign(s, 0, std::min(w, s.size()));
      out.resize(w, fill);
    } else if (s.size() >= w) {
      out.assign(s, s.size() - w, w);
    } else {
      out.assign(w - s.size(), fill);
      out.append(s);
    }
    return n.reg;
  }

  const Value& ternary(const Node& n, const Value& a, const Value& b, const Value& c) const {
    if (a.is_nil() || b.is_nil() || c.is_nil()) return nil(n);
    switch (n.op) {
      case Op::Str: return str(n, a.number(), to_count(b.number()), to_count(c.number()));
      case Op::Substr: {
        const long long len = to_count(c.number());
        return substr(n, a.text(), to_count(b.number()), std::max(0LL, len));
      }
      case Op::Padl: case Op::Padr:
        return pad(n, a.text(), to_count(b.number()), c.text().empty() ? ' ' : c.text()[0]);
      default: fail(n, "internal: bad ternary operation");
    }
  }

  const std::vector<Node>& nodes_;
  const std::string& text_;
  const Scope& scope_;
};

}  // namespace

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

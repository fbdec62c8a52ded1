#include "runtime/expr/functions.h"

#include <algorithm>
#include <cmath>

#include "runtime/expr/evaluator.h"
#include "runtime/text/convert.h"

namespace rt::expr {

void Typing::want(int i, ValueType t) const {
  const ValueType has = args[i].type;
  if (has != t)
    fail(std::string(function.name) + " needs " + type_word(t) + " as argument " + std::to_string(i + 1) + ", not " +
             type_word(has),
         i);
}

std::optional<long long> Typing::constant(int i) const {
  if (i >= count || !args[i].constant) return std::nullopt;
  return to_count(*args[i].constant);
}

void Typing::fail(const std::string& problem, int i) const { throw Error(problem, std::string(source), args[i].pos); }

const Value& Call::value(int i) const { return evaluator.eval(i == 0 ? node.a : i == 1 ? node.b : node.c); }
const Scope& Call::scope() const { return evaluator.scope(); }
void Call::fail(const std::string& problem) const { evaluator.fail(node, problem); }

void Call::check_size(std::size_t size) const {
  if (size > kMaxTextResult) fail("text result longer than " + std::to_string(kMaxTextResult) + " characters");
}

namespace {

// --- shared type rules -----------------------------------------------------

void text_same_width(Typing& t) {
  t.want(0, ValueType::Text);
  t.node.type = ValueType::Text;
  t.node.width = t.args[0].width;
}

void number_to_number(Typing& t) {
  t.want(0, ValueType::Number);
  t.node.type = ValueType::Number;
}

// A text whose width is the constant argument i, checked to be 0 to
// kMaxTextResult; unknown (-1) when the argument is computed.
void text_of_constant_width(Typing& t, int i) {
  t.node.type = ValueType::Text;
  if (auto len = t.constant(i)) {
    if (*len < 0 || *len > static_cast<long long>(kMaxTextResult))
      t.fail(std::string(t.function.name) + " width out of range", i);
    t.node.width = static_cast<int>(*len);
  } else {
    t.node.width = -1;
  }
}

void case_rule(Typing& t, bool up) {
  text_same_width(t);
  const auto cp = t.scope.code_page();
  t.node.case_map = cp ? &(up ? upper_table(*cp) : lower_table(*cp)) : &(up ? ascii_upper() : ascii_lower());
}

void left_right_rule(Typing& t) {
  t.want(0, ValueType::Text);
  t.want(1, ValueType::Number);
  t.node.type = ValueType::Text;
  const int w0 = t.args[0].width;
  if (auto len = t.constant(1)) {
    const long long l = std::max(0LL, *len);
    t.node.width = static_cast<int>(w0 < 0 ? std::min<long long>(l, 1 << 24) : std::min<long long>(l, w0));
  } else {
    t.node.width = w0;
  }
}

void pad_rule(Typing& t) {
  t.want(0, ValueType::Text);
  t.want(1, ValueType::Number);
  if (t.count > 2) t.want(2, ValueType::Text);
  text_of_constant_width(t, 1);
}

template <ValueType T>
void result(Typing& t) { t.node.type = T; }

// --- shared evaluators -----------------------------------------------------

const Value& str(const Call& c, double x, long long width, long long dec) {
  if (width < 1 || width > 255) c.fail("the width of STR must be 1 to 255");
  dec = std::clamp(dec, 0LL, 15LL);
  std::string& out = c.result().mutable_text();
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
    return c.result();
  }
  out = text::str(x, static_cast<int>(width), static_cast<int>(dec));
  return c.result();
}

const Value& case_map(const Call& c) {
  std::string& s = c.result().mutable_text();
  s.assign(c.arg(0).text());
  const CaseTable& map = *c.node.case_map;
  for (char& ch : s) ch = static_cast<char>(map[static_cast<unsigned char>(ch)]);
  return c.result();
}

const Value& trim(const Call& c, bool left, bool right) {
  const std::string& s = c.arg(0).text();
  std::size_t b = 0, e = s.size();
  if (right)
    while (e > 0 && s[e - 1] == ' ') --e;
  if (left)
    while (b < e && s[b] == ' ') ++b;
  c.result().mutable_text().assign(s, b, e - b);
  return c.result();
}

const Value& left_right(const Call& c, bool left) {
  const std::string& s = c.arg(0).text();
  const long long want = std::max(0LL, to_count(c.arg(1).number()));
  const std::size_t len = std::min<std::size_t>(s.size(), static_cast<std::size_t>(want));
  c.result().mutable_text().assign(s, left ? 0 : s.size() - len, len);
  return c.result();
}

const Value& pad(const Call& c, bool right) {
  const std::string& s = c.arg(0).text();
  long long width = to_count(c.arg(1).number());
  const char fill = c.count > 2 && !c.arg(2).text().empty() ? c.arg(2).text()[0] : ' ';
  if (width < 0) width = 0;
  c.check_size(static_cast<std::size_t>(width));
  const auto w = static_cast<std::size_t>(width);
  std::string& out = c.result().mutable_text();
  if (right) {
    out.assign(s, 0, std::min(w, s.size()));
    out.resize(w, fill);
  } else if (s.size() >= w) {
    out.assign(s, s.size() - w, w);
  } else {
    out.assign(w - s.size(), fill);
    out.append(s);
  }
  return c.result();
}

const Value& set(const Call& c, Value v) {
  c.result() = std::move(v);
  return c.result();
}

using VT = ValueType;

// --- the table: one entry per function --------------------------------------

const Function kFunctions[] = {
    {"STR", 1, 3, false,
     [](Typing& t) {
       for (int i = 0; i < t.count; ++i) t.want(i, VT::Number);
       t.node.type = VT::Text;
       if (t.count == 1) {
         t.node.width = 10;
       } else if (auto w = t.constant(1)) {
         if (*w < 1 || *w > 255) t.fail("the width of STR must be 1 to 255", 1);
         t.node.width = static_cast<int>(*w);
       } else {
         t.node.width = -1;
       }
     },
     [](const Call& c) -> const Value& {
       const long long width = c.count > 1 ? to_count(c.arg(1).number()) : 10;
       return str(c, c.arg(0).number(), width, c.count > 2 ? to_count(c.arg(2).number()) : 0);
     }},
    {"VAL", 1, 1, false, [](Typing& t) { t.want(0, VT::Text); t.node.type = VT::Number; },
     [](const Call& c) -> const Value& { return set(c, Value(text::val(c.arg(0).text()))); }},
    {"DTOS", 1, 1, false, [](Typing& t) { t.want(0, VT::Date); t.node.type = VT::Text; t.node.width = 8; },
     [](const Call& c) -> const Value& {
       c.result().mutable_text() = text::dtos(c.arg(0).date());
       return c.result();
     }},
    {"DTOC", 1, 1, false, [](Typing& t) { t.want(0, VT::Date); t.node.type = VT::Text; t.node.width = 8; },
     [](const Call& c) -> const Value& {
       c.result().mutable_text() = text::dtoc(c.arg(0).date());
       return c.result();
     }},
    {"CTOD", 1, 1, false, [](Typing& t) { t.want(0, VT::Text); t.node.type = VT::Date; },
     [](const Call& c) -> const Value& {
       const auto d = text::ctod(c.arg(0).text(), c.scope().date_window());
       return set(c, Value(d ? *d : text::Date{}));
     }},
    {"UPPER", 1, 1, false, [](Typing& t) { case_rule(t, true); }, case_map},
    {"LOWER", 1, 1, false, [](Typing& t) { case_rule(t, false); }, case_map},
    {"TRIM", 1, 1, false, text_same_width, [](const Call& c) -> const Value& { return trim(c, false, true); }},
    {"RTRIM", 1, 1, false, text_same_width, [](const Call& c) -> const Value& { return trim(c, false, true); }},
    {"LTRIM", 1, 1, false, text_same_width, [](const Call& c) -> const Value& { return trim(c, true, false); }},
    {"ALLTRIM", 1, 1, false, text_same_width, [](const Call& c) -> const Value& { return trim(c, true, true); }},
    {"SUBSTR", 2, 3, false,
     [](Typing& t) {
       t.want(0, VT::Text);
       t.want(1, VT::Number);
       if (t.count > 2) t.want(2, VT::Number);
       t.node.type = VT::Text;
       const int w0 = t.args[0].width;
       const auto start = t.constant(1);
       long long w = w0;
       if (w0 >= 0 && start && *start > 0) w = std::max(0LL, w0 - *start + 1);
       if (t.count > 2) {
         if (auto len = t.constant(2)) w = w < 0 ? std::max(0LL, *len) : std::min(w, std::max(0LL, *len));
         else if (w0 < 0) w = -1;
       }
       t.node.width = static_cast<int>(std::min<long long>(w, 1 << 24));
     },
     [](const Call& c) -> const Value& {
       // 1-based start; a negative start counts from the end; 0 is the first
       // character.  Without a length: to the end.
       const std::string& s = c.arg(0).text();
       long long start = to_count(c.arg(1).number());
       const long long len = c.count > 2 ? std::max(0LL, to_count(c.arg(2).number())) : -1;
       const long long size = static_cast<long long>(s.size());
       if (start < 0) start = std::max(1LL, size + start + 1);
       if (start == 0) start = 1;
       std::string& out = c.result().mutable_text();
       if (start > size) {
         out.clear();
         return c.result();
       }
       const long long avail = size - start + 1;
       const long long take = len < 0 ? avail : std::min(avail, len);
       out.assign(s, static_cast<std::size_t>(start - 1), static_cast<std::size_t>(take));
       return c.result();
     }},
    {"LEFT", 2, 2, false, left_right_rule, [](const Call& c) -> const Value& { return left_right(c, true); }},
    {"RIGHT", 2, 2, false, left_right_rule, [](const Call& c) -> const Value& { return left_right(c, false); }},
    {"PADL", 2, 3, false, pad_rule, [](const Call& c) -> const Value& { return pad(c, false); }},
    {"PADR", 2, 3, false, pad_rule, [](const Call& c) -> const Value& { return pad(c, true); }},
    {"IIF", 3, 3, true,
     [](Typing& t) {
       t.want(0, VT::Logical);
       const VT t1 = t.args[1].type, t2 = t.args[2].type;
       if (t1 != t2)
         t.fail(std::string("IIF needs the same type in both branches, not ") + type_word(t1) + " and " +
                    type_word(t2),
                2);
       t.node.type = t1;
       if (t1 == VT::Text) {
         const int wa = t.args[1].width, wb = t.args[2].width;
         t.node.width = wa < 0 || wb < 0 ? -1 : std::max(wa, wb);
       }
     },
     [](const Call& c) -> const Value& { return c.value(c.value(0).logical() ? 1 : 2); }},
    {"DELETED", 0, 0, false, result<VT::Logical>,
     [](const Call& c) -> const Value& { return set(c, Value(c.scope().deleted())); }},
    {"RECNO", 0, 0, false, result<VT::Number>,
     [](const Call& c) -> const Value& { return set(c, Value(static_cast<double>(c.scope().recno()))); }},
    {"EMPTY", 1, 1, true, result<VT::Logical>,
     [](const Call& c) -> const Value& {
       const Value& v = c.value(0);
       bool empty = true;
       switch (v.type()) {
         case VT::Text:
           for (char ch : v.text())
             if (ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n') { empty = false; break; }
           break;
         case VT::Number: empty = v.number() == 0; break;
         case VT::Date: empty = v.date().empty(); break;
         case VT::Logical: empty = !v.logical(); break;
         case VT::Nil: break;
       }
       return set(c, Value(empty));
     }},
    {"DATE", 0, 0, false, result<VT::Date>,
     [](const Call& c) -> const Value& { return set(c, Value(c.scope().today())); }},
    {"LEN", 1, 1, false, [](Typing& t) { t.want(0, VT::Text); t.node.type = VT::Number; },
     [](const Call& c) -> const Value& { return set(c, Value(static_cast<double>(c.arg(0).text().size()))); }},
    {"SPACE", 1, 1, false,
     [](Typing& t) {
       t.want(0, VT::Number);
       text_of_constant_width(t, 0);
     },
     [](const Call& c) -> const Value& {
       const long long w = to_count(c.arg(0).number());
       const std::size_t n = w < 0 ? 0 : static_cast<std::size_t>(w);
       c.check_size(n);
       c.result().mutable_text().assign(n, ' ');
       return c.result();
     }},
    {"INT", 1, 1, false, number_to_number,
     [](const Call& c) -> const Value& { return set(c, Value(std::trunc(c.arg(0).number()))); }},
    {"ABS", 1, 1, false, number_to_number,
     [](const Call& c) -> const Value& { return set(c, Value(std::fabs(c.arg(0).number()))); }},
};

}  // namespace

const Function* find_function(std::string_view name) {
  for (const auto& f : kFunctions)
    if (name == f.name) return &f;
  if (name.size() < 4) return nullptr;
  const Function* found = nullptr;
  for (const auto& f : kFunctions) {
    if (std::string_view(f.name).substr(0, name.size()) == name) {
      if (found && found->eval != f.eval) return nullptr;
      found = &f;
    }
  }
  return found;
}

}  // namespace rt::expr

#include "runtime/expr/lexer.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "runtime/text/convert.h"

namespace rt::expr {

namespace {

bool is_name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string describe(const Token& t) {
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

void Lexer::fail(const std::string& problem, std::size_t pos) const { throw Error(problem, std::string(src_), pos); }

void Lexer::next() {
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

void Lexer::lex_number() {
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

void Lexer::lex_dotted() {
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

void Lexer::lex_text(char close) {
  const std::size_t s = ++p_;
  while (p_ < src_.size() && src_[p_] != close) ++p_;
  if (p_ >= src_.size()) fail("text without its closing " + std::string(1, close), tok_.pos);
  tok_.kind = Tok::Text;
  tok_.text = std::string(src_.substr(s, p_ - s));
  ++p_;
}

void Lexer::lex_date() {
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

}  // namespace rt::expr

// Cuts an expression text into tokens: names (upper-cased), numbers, texts
// in "..." '...' or [...], dates {^yyyy-mm-dd} {dd/mm/yy} {}, .T. .F. .Y.
// .N., operators (.AND. .OR. .NOT. included), parentheses, commas and ->.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/expr/expression.h"

namespace rt::expr {

enum class Tok : std::uint8_t { End, Name, Number, Text, Date, Logical, Op, LParen, RParen, Comma, Arrow };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // Name (upper case), Text (bytes), Op (the operator)
  double number = 0;
  text::Date date;
  bool logical = false;
  std::uint32_t pos = 0;  // 1-based
};

// "name \"X\"", "end of the expression", ... for messages.
std::string describe(const Token& t);

class Lexer {
 public:
  // The scope gives the century window of {dd/mm/yy} dates.
  Lexer(std::string_view src, const Scope& scope) : src_(src), scope_(scope) {}

  const Token& token() const { return tok_; }
  bool is_op(const char* op) const { return tok_.kind == Tok::Op && tok_.text == op; }
  // Moves to the next token; throws Error for a text it cannot read.
  void next();

  [[noreturn]] void fail(const std::string& problem, std::size_t pos) const;

 private:
  char at(std::size_t i) const { return i < src_.size() ? src_[i] : '\0'; }
  void lex_number();
  void lex_dotted();
  void lex_text(char close);
  void lex_date();

  std::string_view src_;
  const Scope& scope_;
  std::size_t p_ = 0;
  Token tok_;
};

}  // namespace rt::expr

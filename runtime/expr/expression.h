// Key, FOR, filter and relation expressions given as text, as the order bags
// store them and as tools and filters receive them.
//
//   Expression e = Expression::compile("COMPTE+STR(NUMERO,6)", scope);
//   KeyFormat f = e.key_format();          // C(8) with COMPTE C(2)
//   std::string key;
//   for (each record) { ...position scope...; e.key(scope, f, key); }
//
// The language: field names and ALIAS->FIELD (FIELD->X is the current area),
// text literals in "..." '...' or [...], numbers, dates {^yyyy-mm-dd} or
// {dd/mm/yy} ({} is the empty date), .T. .F. .Y. .N., + - * / %, unary minus,
// = == != <> # < <= > >= $, .AND. .OR. .NOT. !, parentheses and the functions
// of the function table (functions.cc: STR, VAL, DTOS, SUBSTR, IIF, ...).
// Names are case-insensitive; a function name may be shortened to its first
// four or more letters.
//
// Text rules: "=" compares as many characters as the right-hand text has
// ("ABC" = "AB" holds, any text = ""); "==" compares whole texts; "$" holds
// when the left text occurs inside the right one; < <= > >= order texts by
// their bytes with the same "=" rule for the equal case.  text + text joins
// them; text - text moves the trailing blanks of the left text to the end.
// Dates: date + n, n + date, date - n, date - date (days).
//
// Types are checked when compiling, against the field types the scope gives,
// so a compiled expression only fails at run time for a value that cannot be
// computed (division by zero, a date out of the calendar, a text too long).
// A NULL field value (Nil) passes through operators and functions as Nil;
// comparisons with it are false, and a condition that gives Nil does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/expr/key_encoding.h"
#include "runtime/text/codepage.h"
#include "runtime/text/date.h"
#include "runtime/text/value.h"

namespace rt::expr {

// A syntax error, an unknown name or a type error found when compiling, or a
// value that cannot be computed when evaluating.  what() reads like
//   unknown field "FACILTY" at position 12 in "TRIM(UPPER(facilty))"
class Error : public std::runtime_error {
 public:
  Error(std::string problem, std::string expression, std::size_t position);
  const std::string& problem() const { return problem_; }
  const std::string& expression() const { return expression_; }
  // 1-based character position in the expression; 0 for the whole of it.
  std::size_t position() const { return position_; }

 private:
  std::string problem_;
  std::string expression_;
  std::size_t position_;
};

// A field as a table describes it.
struct FieldInfo {
  char type = 'C';  // C N F B Y I D T L M V ... as in the table header
  int width = 0;
  int decimals = 0;
  bool nullable = false;
};

struct FieldRef {
  int slot = -1;  // chosen by the scope; handed back to Scope::load
  FieldInfo info;
};

// Case-insensitive comparison of a field name as written in an expression
// with a name stored in a table header.  A written name longer than the ten
// characters a table header holds (long names of database containers, e.g.
// "shippeddate" for SHIPPEDDAT) matches on its first ten.
bool field_name_matches(std::string_view written, std::string_view stored);

// Where an expression's names come from.  The compiler resolves every field
// once; evaluation then asks for values by slot.  A work area implements it
// over its current record; tests and tools over anything.
class Scope {
 public:
  virtual ~Scope() = default;

  // Compile time.  alias is "" for a plain name and for FIELD->NAME; names
  // arrive upper-cased.  nullopt: there is no such field.
  virtual std::optional<FieldRef> resolve(std::string_view alias, std::string_view name) const = 0;

  // Evaluation time: the value of a resolved field in the current record
  // (texts as stored, blank-padded; Nil for NULL).  out keeps its storage
  // between calls, so filling it with out.mutable_text().assign(...) does not
  // allocate once it has grown.
  virtual void load(int slot, Value& out) const = 0;
  virtual long recno() const = 0;
  virtual bool deleted() const = 0;

  // DATE() and the century window of CTOD(); the machine's by default.
  virtual text::Date today() const;
  virtual text::DateWindow date_window() const;

  // Compile time: the code page whose accented letters UPPER() and LOWER()
  // change too (see case_map.h); nullopt: a-z only.
  virtual std::optional<text::CodePage> code_page() const { return std::nullopt; }
};

class Expression {
 public:
  // An expression that never compiled: evaluating it throws.
  Expression();
  ~Expression();
  Expression(const Expression&);
  Expression(Expression&&) noexcept;
  Expression& operator=(const Expression&);
  Expression& operator=(Expression&&) noexcept;

  // Throws Error with the position of the problem.  Texts longer than 8192
  // characters, or nested deeper than 64 levels, are refused.
  static Expression compile(std::string_view text, const Scope& scope);
  // Same, and the result must be logical (FOR conditions, filters).
  static Expression compile_condition(std::string_view text, const Scope& scope);

  bool valid() const { return !nodes_.empty(); }
  const std::string& text() const { return text_; }

  // The static type of the result (Text, Number, Date or Logical).
  ValueType type() const;
  // For texts, the most characters the result can have (a C(7) field: 7,
  // STR(x, 6): 6, "TK"+STR(NUMERO,6): 8); -1 when it depends on the data
  // (memo fields, a width computed at run time).  0 for other types.
  int width() const;

  // The key a bag stores for this expression: Character of width() bytes,
  // Numeric / Date of 8, a bare integer field Integer of 4, a bare
  // date-time field DateTime of 8 (date-time fields take part in
  // expressions as their date); nullable (one marker byte more) when the
  // expression reads a nullable field, as NULL passes through it.
  // Throws Error when the result cannot be a key (logical, unknown or
  // over-long text).  A bag's own header is authoritative for bags read
  // from disk.
  KeyFormat key_format() const;

  // The value for the scope's current record.  The reference stays valid
  // until the next evaluation of this expression.  Not for concurrent use:
  // an Expression holds its intermediate results (copy it per thread).
  const Value& evaluate(const Scope& scope) const;
  // A logical result; Nil does not hold.  Throws Error for other types.
  bool holds(const Scope& scope) const;
  // The stored key of the current record in the given format.
  void key(const Scope& scope, const KeyFormat& format, std::string& out) const;

  // The slots of every field the expression reads (each once), e.g. to tell
  // whether a change of some fields can change a key.
  const std::vector<int>& slots() const { return slots_; }

  struct Node;  // compiled form, private to the implementation

 private:
  friend class Compiler;
  std::string text_;
  std::vector<Node> nodes_;  // children before parents; the root is last
  std::vector<int> slots_;
};

// Limits on expression texts.
constexpr std::size_t kMaxExpressionLength = 8192;
constexpr int kMaxNesting = 64;
// No text computed by an expression grows beyond this many characters.
constexpr std::size_t kMaxTextResult = 1 << 20;

}  // namespace rt::expr

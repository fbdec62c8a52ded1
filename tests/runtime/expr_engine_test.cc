// The expression engine: parsing, types and widths, evaluation of every
// operator and function, the text comparison rules, errors with positions.
#include <gtest/gtest.h>

#include <random>

#include "runtime/expr/expression.h"
#include "runtime/expr/record_scope.h"
#include "runtime/text/convert.h"

using rt::Value;
using rt::ValueType;
using rt::expr::Error;
using rt::expr::Expression;
using rt::expr::FieldInfo;
using rt::expr::RecordScope;
using rt::text::Date;

namespace {

Date ymd(int y, int m, int d) { return *Date::from_ymd(y, m, d); }

// A sale-line record: COMPTE C(2), NUMERO N(6), CODIGO C(7), CANTID N(5,2),
// FECHA D, ANULA L, NOTAS M, plus a nullable C(5).
RecordScope sale_line() {
  RecordScope s({{"COMPTE", {'C', 2, 0, false}},
                 {"NUMERO", {'N', 6, 0, false}},
                 {"CODIGO", {'C', 7, 0, false}},
                 {"CANTID", {'N', 5, 2, false}},
                 {"FECHA", {'D', 8, 0, false}},
                 {"ANULA", {'L', 1, 0, false}},
                 {"NOTAS", {'M', 10, 0, false}},
                 {"CUSTOMERID", {'C', 5, 0, true}}},
                "compitem");
  s.set(0, Value("TK"));
  s.set(1, Value(1234));
  s.set(2, Value("AB12   "));
  s.set(3, Value(2.5));
  s.set(4, Value(ymd(2026, 12, 8)));
  s.set(5, Value(false));
  s.set(6, Value("first line\r\nsecond"));
  s.set(7, Value("ALFKI"));
  s.set_recno(17);
  s.set_today(ymd(2026, 12, 9));
  s.set_date_window(rt::text::DateWindow{2026});
  return s;
}

Value eval(const std::string& text) {
  static RecordScope scope = sale_line();
  return Expression::compile(text, scope).evaluate(scope);
}

std::string eval_text(const std::string& text) {
  const Value v = eval(text);
  EXPECT_TRUE(v.is_text()) << text;
  return v.text();
}

double eval_number(const std::string& text) {
  const Value v = eval(text);
  EXPECT_TRUE(v.is_number()) << text;
  return v.number();
}

bool eval_bool(const std::string& text) {
  const Value v = eval(text);
  EXPECT_TRUE(v.is_logical()) << text;
  return v.logical();
}

// The Error a text gives when compiled against the sale line.
Error compile_error(const std::string& text) {
  RecordScope scope = sale_line();
  try {
    Expression::compile(text, scope);
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error for " << text;
  return Error("", "", 0);
}

}  // namespace

TEST(ExprEngine, LiteralsOfEveryKind) {
  EXPECT_EQ(eval_text("\"abc\""), "abc");
  EXPECT_EQ(eval_text("'say \"hi\"'"), "say \"hi\"");
  EXPECT_EQ(eval_text("[say \"hi\"]"), "say \"hi\"");
  EXPECT_EQ(eval_text("\"\""), "");
  EXPECT_DOUBLE_EQ(eval_number("12.5"), 12.5);
  EXPECT_DOUBLE_EQ(eval_number(".5"), 0.5);
  EXPECT_DOUBLE_EQ(eval_number("-3"), -3);
  EXPECT_DOUBLE_EQ(eval_number("- -3"), 3);
  EXPECT_DOUBLE_EQ(eval_number("+4"), 4);
  EXPECT_EQ(eval("{^2000-01-01}").date().julian(), 2451545);
  EXPECT_EQ(eval("{^2026/12/31}").date(), ymd(2026, 12, 31));
  EXPECT_EQ(eval("{31/12/27}").date(), ymd(2027, 12, 31));  // two-digit year in the window
  EXPECT_TRUE(eval("{}").date().empty());
  EXPECT_TRUE(eval("{  /  /  }").date().empty());
  EXPECT_TRUE(eval_bool(".T."));
  EXPECT_TRUE(eval_bool(".y."));
  EXPECT_FALSE(eval_bool(".F."));
  EXPECT_FALSE(eval_bool(".n."));
}

TEST(ExprEngine, FieldsAliasesAndCaseInsensitiveNames) {
  EXPECT_EQ(eval_text("compte"), "TK");
  EXPECT_EQ(eval_text("Compte"), "TK");
  EXPECT_EQ(eval_text("FIELD->COMPTE"), "TK");
  EXPECT_EQ(eval_text("field->codigo"), "AB12   ");
  EXPECT_EQ(eval_text("COMPITEM->CODIGO"), "AB12   ");
  EXPECT_EQ(eval_text("compitem -> codigo"), "AB12   ");
  EXPECT_DOUBLE_EQ(eval_number("NUMERO"), 1234);
  EXPECT_EQ(eval("FECHA").date(), ymd(2026, 12, 8));
  // Long names of database containers match the ten characters a header keeps.
  EXPECT_EQ(eval_text("customeridxyz"), "ALFKI");
  EXPECT_EQ(compile_error("COMPENCA->COMPTE").problem(), "unknown field \"COMPENCA->COMPTE\"");
}

TEST(ExprEngine, ArithmeticAndPrecedence) {
  EXPECT_DOUBLE_EQ(eval_number("1+2*3"), 7);
  EXPECT_DOUBLE_EQ(eval_number("(1+2)*3"), 9);
  EXPECT_DOUBLE_EQ(eval_number("10-4-3"), 3);
  EXPECT_DOUBLE_EQ(eval_number("8/4/2"), 1);
  EXPECT_DOUBLE_EQ(eval_number("7%3"), 1);
  EXPECT_DOUBLE_EQ(eval_number("-7%3"), 2);  // takes the divisor's sign
  EXPECT_DOUBLE_EQ(eval_number("-2*-3"), 6);
  EXPECT_DOUBLE_EQ(eval_number("NUMERO*2+CANTID"), 2470.5);
  EXPECT_TRUE(eval_bool("1+1=2 .AND. 2*2=4"));
  EXPECT_TRUE(eval_bool("NUMERO=1234.AND.CANTID=2.5"));  // "1234." is not a number with a point
}

TEST(ExprEngine, TextAndDateArithmetic) {
  EXPECT_EQ(eval_text("COMPTE+STR(NUMERO,6)"), "TK  1234");
  EXPECT_EQ(eval_text("\"ab  \"+\"cd\""), "ab  cd");
  EXPECT_EQ(eval_text("\"ab  \"-\"cd\""), "abcd  ");  // trailing blanks move to the end
  EXPECT_EQ(eval_text("CODIGO-\"|\""), "AB12|   ");
  EXPECT_EQ(eval("FECHA+30").date(), ymd(2027, 1, 7));
  EXPECT_EQ(eval("30+FECHA").date(), ymd(2027, 1, 7));
  EXPECT_EQ(eval("FECHA-8").date(), ymd(2026, 11, 30));
  EXPECT_DOUBLE_EQ(eval_number("FECHA-{^2026-01-01}"), 341);
  EXPECT_TRUE(eval("{}+5").date().empty());  // the empty date stays empty
}

TEST(ExprEngine, TextComparisonRules) {
  // "=" compares as many characters as the right-hand text has.
  EXPECT_TRUE(eval_bool("\"ABC\"=\"AB\""));
  EXPECT_TRUE(eval_bool("\"ABC\"=\"\""));
  EXPECT_FALSE(eval_bool("\"AB\"=\"ABC\""));
  EXPECT_TRUE(eval_bool("CODIGO=\"AB12\""));
  // "==" compares whole texts, trailing blanks included.
  EXPECT_FALSE(eval_bool("\"ABC\"==\"AB\""));
  EXPECT_FALSE(eval_bool("CODIGO==\"AB12\""));
  EXPECT_TRUE(eval_bool("CODIGO==\"AB12   \""));
  EXPECT_TRUE(eval_bool("TRIM(CODIGO)==\"AB12\""));
  // The negations follow "=".
  EXPECT_FALSE(eval_bool("\"ABC\"!=\"AB\""));
  EXPECT_FALSE(eval_bool("\"ABC\"<>\"AB\""));
  EXPECT_TRUE(eval_bool("\"ABC\"#\"ABD\""));
  // Ordering is by bytes, equal under the "=" rule.
  EXPECT_TRUE(eval_bool("\"Bay  8\"<\"Bay 10\""));
  EXPECT_TRUE(eval_bool("\"B\"<\"a\""));
  EXPECT_TRUE(eval_bool("\"ABC\">=\"AB\""));
  EXPECT_FALSE(eval_bool("\"ABC\">\"AB\""));
  EXPECT_TRUE(eval_bool("\"ABC\"<=\"AB\""));
  EXPECT_TRUE(eval_bool("\"AB\"<\"ABC\""));
  // "$": the left text occurs inside the right one.
  EXPECT_TRUE(eval_bool("\"@\"$\"1@2\""));
  EXPECT_FALSE(eval_bool("\"1@2\"$\"@\""));
  EXPECT_TRUE(eval_bool("\"second\"$NOTAS"));
  EXPECT_TRUE(eval_bool("\"\"$\"x\""));
}

TEST(ExprEngine, OtherComparisonsAndLogic) {
  EXPECT_TRUE(eval_bool("NUMERO>1000 .AND. NUMERO<=1234"));
  EXPECT_FALSE(eval_bool("NUMERO<>1234"));
  EXPECT_TRUE(eval_bool("FECHA>{^2026-12-07}"));
  EXPECT_TRUE(eval_bool("FECHA=={^2026-12-08}"));
  EXPECT_TRUE(eval_bool("ANULA=.F."));
  EXPECT_TRUE(eval_bool(".F.<.T."));
  EXPECT_TRUE(eval_bool(".NOT.ANULA"));
  EXPECT_TRUE(eval_bool("!ANULA"));
  EXPECT_TRUE(eval_bool("! ANULA .AND. .T."));
  EXPECT_TRUE(eval_bool(".NOT. 1=2"));  // .NOT. binds looser than comparisons
  EXPECT_TRUE(eval_bool(".F. .OR. .T. .AND. .T."));
  EXPECT_FALSE(eval_bool("(.F. .OR. .T.) .AND. .F."));
  EXPECT_TRUE(eval_bool(".t..or..f."));
  EXPECT_TRUE(eval_bool(".NOT.DELETED()"));
}

TEST(ExprEngine, ShortCircuitSkipsFailingOperands) {
  // The right side would divide by zero; it is not evaluated.
  EXPECT_FALSE(eval_bool(".F. .AND. 1/0=1"));
  EXPECT_TRUE(eval_bool(".T. .OR. 1/0=1"));
  EXPECT_DOUBLE_EQ(eval_number("IIF(NUMERO>0, 1, 1/0)"), 1);
}

TEST(ExprEngine, ConversionFunctions) {
  EXPECT_EQ(eval_text("STR(NUMERO)"), "      1234");
  EXPECT_EQ(eval_text("STR(NUMERO,6)"), "  1234");
  EXPECT_EQ(eval_text("STR(CANTID,6,2)"), "  2.50");
  EXPECT_EQ(eval_text("STR(123456,4)"), "****");
  EXPECT_EQ(eval_text("STR(-5,3)"), " -5");
  EXPECT_DOUBLE_EQ(eval_number("VAL(\"  -12.5abc\")"), -12.5);
  EXPECT_DOUBLE_EQ(eval_number("VAL(\"x\")"), 0);
  EXPECT_EQ(eval_text("DTOS(FECHA)"), "20261208");
  EXPECT_EQ(eval_text("DTOS({})"), "        ");
  EXPECT_EQ(eval_text("DTOC(FECHA)"), "08/12/26");
  EXPECT_EQ(eval("CTOD(\"31/12/27\")").date(), ymd(2027, 12, 31));
  EXPECT_TRUE(eval("CTOD(\"31/02/27\")").date().empty());  // no such day: empty date
  EXPECT_TRUE(eval("CTOD(\"99999999999/1/1\")").date().empty());
  EXPECT_EQ(eval("DATE()").date(), ymd(2026, 12, 9));
}

TEST(ExprEngine, TextFunctions) {
  EXPECT_EQ(eval_text("UPPER(\"aBc\xA4\")"), "ABC\xA4");  // code-page bytes stay
  EXPECT_EQ(eval_text("LOWER(\"aBC\")"), "abc");
  EXPECT_EQ(eval_text("TRIM(\"  a b  \")"), "  a b");
  EXPECT_EQ(eval_text("RTRIM(\"  a b  \")"), "  a b");
  EXPECT_EQ(eval_text("LTRIM(\"  a b  \")"), "a b  ");
  EXPECT_EQ(eval_text("ALLTRIM(\"  a b  \")"), "a b");
  EXPECT_EQ(eval_text("SUBSTR(\"abcdef\",2,3)"), "bcd");
  EXPECT_EQ(eval_text("SUBSTR(\"abcdef\",4)"), "def");
  EXPECT_EQ(eval_text("SUBSTR(\"abcdef\",5,10)"), "ef");
  EXPECT_EQ(eval_text("SUBSTR(\"abcdef\",9,2)"), "");
  EXPECT_EQ(eval_text("SUBSTR(\"abcdef\",-2)"), "ef");
  EXPECT_EQ(eval_text("SUBSTR(\"abcdef\",0,2)"), "ab");
  EXPECT_EQ(eval_text("SUBSTR(\"abcdef\",2,-1)"), "");
  EXPECT_EQ(eval_text("LEFT(\"abcdef\",2)"), "ab");
  EXPECT_EQ(eval_text("LEFT(\"ab\",5)"), "ab");
  EXPECT_EQ(eval_text("RIGHT(\"abcdef\",2)"), "ef");
  EXPECT_EQ(eval_text("RIGHT(\"abcdef\",-1)"), "");
  EXPECT_EQ(eval_text("PADL(\"12\",5)"), "   12");
  EXPECT_EQ(eval_text("PADL(\"12\",5,\"0\")"), "00012");
  EXPECT_EQ(eval_text("PADL(\"123456\",3)"), "456");
  EXPECT_EQ(eval_text("PADR(\"12\",5,\"*\")"), "12***");
  EXPECT_EQ(eval_text("PADR(\"123456\",3)"), "123");
  EXPECT_EQ(eval_text("PADL(ALLTRIM(STR(NUMERO)),6,\"0\")"), "001234");
  EXPECT_EQ(eval_text("SPACE(3)"), "   ");
  EXPECT_DOUBLE_EQ(eval_number("LEN(CODIGO)"), 7);
  EXPECT_DOUBLE_EQ(eval_number("LEN(TRIM(CODIGO))"), 4);
  // Four letters or more name a function.
  EXPECT_EQ(eval_text("ALLT(\" x \")"), "x");
  EXPECT_EQ(eval_text("SUBS(\"abc\",2)"), "bc");
  EXPECT_DOUBLE_EQ(eval_number("RECN()"), 17);
}

TEST(ExprEngine, LogicalAndRecordFunctions) {
  EXPECT_EQ(eval_text("IIF(ANULA,\"S\",\"N\")"), "N");
  EXPECT_DOUBLE_EQ(eval_number("IIF(NUMERO>1000,1,2)"), 1);
  EXPECT_DOUBLE_EQ(eval_number("RECNO()"), 17);
  EXPECT_FALSE(eval_bool("DELETED()"));
  EXPECT_TRUE(eval_bool("EMPTY(\"  \")"));
  EXPECT_TRUE(eval_bool("EMPTY(\" \t\r\n\")"));
  EXPECT_FALSE(eval_bool("EMPTY(CODIGO)"));
  EXPECT_TRUE(eval_bool("EMPTY(0)"));
  EXPECT_FALSE(eval_bool("EMPTY(NUMERO)"));
  EXPECT_TRUE(eval_bool("EMPTY({})"));
  EXPECT_TRUE(eval_bool("EMPTY(ANULA)"));
  EXPECT_DOUBLE_EQ(eval_number("INT(-2.7)"), -2);
  EXPECT_DOUBLE_EQ(eval_number("ABS(-2.5)"), 2.5);
}

TEST(ExprEngine, RecordStateIsReadAtEveryEvaluation) {
  RecordScope scope = sale_line();
  const Expression key = Expression::compile("COMPTE+STR(NUMERO,6)", scope);
  const Expression cond = Expression::compile_condition(".NOT.DELETED() .AND. RECNO()>1", scope);
  EXPECT_EQ(key.evaluate(scope).text(), "TK  1234");
  EXPECT_TRUE(cond.holds(scope));
  scope.set(1, Value(7));
  scope.set(0, Value("FA"));
  scope.set_deleted(true);
  EXPECT_EQ(key.evaluate(scope).text(), "FA     7");
  EXPECT_FALSE(cond.holds(scope));
  // A copy evaluates on its own.
  const Expression copy = key;
  scope.set(1, Value(99));
  EXPECT_EQ(copy.evaluate(scope).text(), "FA    99");
  EXPECT_EQ(key.evaluate(scope).text(), "FA    99");
}

TEST(ExprEngine, NullValuesPassThroughAndConditionsFail) {
  RecordScope scope = sale_line();
  scope.set(7, Value());  // CUSTOMERID is NULL
  EXPECT_TRUE(Expression::compile("UPPER(CUSTOMERID)", scope).evaluate(scope).is_nil());
  EXPECT_TRUE(Expression::compile("CUSTOMERID+\"x\"", scope).evaluate(scope).is_nil());
  EXPECT_FALSE(Expression::compile("CUSTOMERID=\"\"", scope).evaluate(scope).logical());
  EXPECT_FALSE(Expression::compile_condition("CUSTOMERID=\"A\"", scope).holds(scope));
  EXPECT_TRUE(Expression::compile("EMPTY(CUSTOMERID)", scope).evaluate(scope).logical());
}

TEST(ExprEngine, StaticTypesAndWidths) {
  RecordScope scope = sale_line();
  auto width = [&](const char* text) { return Expression::compile(text, scope).width(); };
  EXPECT_EQ(width("CODIGO"), 7);
  EXPECT_EQ(width("STR(NUMERO,6)"), 6);
  EXPECT_EQ(width("STR(NUMERO)"), 10);
  EXPECT_EQ(width("COMPTE+STR(NUMERO,6)"), 8);
  EXPECT_EQ(width("CODIGO-COMPTE"), 9);
  EXPECT_EQ(width("UPPER(CODIGO)"), 7);
  EXPECT_EQ(width("ALLTRIM(UPPER(CODIGO))"), 7);
  EXPECT_EQ(width("DTOS(FECHA)"), 8);
  EXPECT_EQ(width("SUBSTR(CODIGO,3,2)"), 2);
  EXPECT_EQ(width("SUBSTR(CODIGO,3)"), 5);
  EXPECT_EQ(width("SUBSTR(CODIGO,6,5)"), 2);
  EXPECT_EQ(width("LEFT(CODIGO,3)"), 3);
  EXPECT_EQ(width("RIGHT(CODIGO,30)"), 7);
  EXPECT_EQ(width("PADL(TRIM(CODIGO),15)"), 15);
  EXPECT_EQ(width("PADR(UPPER(CODIGO),15)+STR(2,2)"), 17);
  EXPECT_EQ(width("IIF(ANULA,CODIGO,COMPTE)"), 7);
  EXPECT_EQ(width("NOTAS"), -1);
  EXPECT_EQ(width("STR(NUMERO,NUMERO)"), -1);
  EXPECT_EQ(width("NUMERO"), 0);
  EXPECT_EQ(Expression::compile("FECHA+1", scope).type(), ValueType::Date);
  EXPECT_EQ(Expression::compile("FECHA-FECHA", scope).type(), ValueType::Number);
  EXPECT_EQ(Expression::compile("\"a\"$CODIGO", scope).type(), ValueType::Logical);
  EXPECT_EQ(Expression::compile("NUMERO+CANTID", scope).slots(), (std::vector<int>{1, 3}));
  EXPECT_EQ(Expression::compile("NUMERO+NUMERO", scope).slots(), (std::vector<int>{1}));
}

TEST(ExprEngine, SyntaxErrorsNameTheProblemAndPosition) {
  struct Case {
    const char* text;
    const char* problem;
    std::size_t pos;
  };
  const Case cases[] = {
      {"", "the expression is empty", 0},
      {"   ", "the expression is empty", 0},
      {"STR(NUMERO,6", "\",\" or \")\" expected, found end of the expression", 13},
      {"(NUMERO", "\")\" expected, found end of the expression", 8},
      {"NUMERO)", "unexpected \")\"", 7},
      {"COMPTE+", "a value was expected, found end of the expression", 8},
      {"\"abc", "text without its closing \"", 1},
      {"[abc", "text without its closing ]", 1},
      {"{^2026-02-30}", "not a date: {^2026-02-30}", 1},
      {"{^2026-02-01", "date without its closing }", 1},
      {"NUMERO ; 1", "unexpected character \";\"", 8},
      {"NUMERO \x01", "unexpected character (byte 1)", 8},
      {"ANULA .XOR. .T.", "unexpected \".\"", 7},
      {"COMPTE->", "field name expected after \"->\", found end of the expression", 9},
      {"FOO", "unknown field \"FOO\"", 1},
      {"STR(FOO,6)", "unknown field \"FOO\"", 5},
      {"UPPER(CODIGO)+ZAP(1)", "unknown function \"ZAP\"", 15},
      {"STR()", "STR takes 1 to 3 arguments, not 0", 1},
      {"UPPER(CODIGO,1)", "UPPER takes 1 argument, not 2", 1},
      {"DELETED(1)", "DELETED takes 0 arguments, not 1", 1},
      {"STR(1,2,3,4)", "STR takes at most 3 arguments", 11},
      {"NUMERO+CODIGO", "cannot add a text to a number", 7},
      {"CODIGO-NUMERO", "cannot subtract a number from a text", 7},
      {"CODIGO*2", "\"*\" needs two numbers, not a text and a number", 7},
      {"CODIGO=1", "cannot compare a text with a number (\"=\")", 7},
      {"NUMERO$CODIGO", "\"$\" needs two texts, not a number and a text", 7},
      {"NUMERO .AND. .T.", ".AND. needs logical values, not a number and a logical value", 8},
      {".NOT. CODIGO", ".NOT. needs a logical value, not a text", 1},
      {"-CODIGO", "unary - needs a number, not a text", 1},
      {"STR(CODIGO)", "STR needs a number as argument 1, not a text", 5},
      {"UPPER(NUMERO)", "UPPER needs a text as argument 1, not a number", 7},
      {"DTOS(CODIGO)", "DTOS needs a date as argument 1, not a text", 6},
      {"IIF(NUMERO,1,2)", "IIF needs a logical value as argument 1, not a number", 5},
      {"IIF(ANULA,1,\"x\")", "IIF needs the same type in both branches, not a number and a text", 13},
      {"STR(NUMERO,0)", "the width of STR must be 1 to 255", 12},
      {"STR(NUMERO,300)", "the width of STR must be 1 to 255", 12},
      {"PADL(CODIGO,-1)", "PADL width out of range", 13},
      {"FECHA+FECHA", "cannot add a date to a date", 6},
  };
  for (const Case& c : cases) {
    const Error e = compile_error(c.text);
    EXPECT_EQ(e.problem(), c.problem) << c.text;
    EXPECT_EQ(e.position(), c.pos) << c.text;
    EXPECT_EQ(e.expression(), c.text);
  }
  const Error e = compile_error("TRIM(UPPER(facilty))==\"AUDIO\"");
  EXPECT_STREQ(e.what(), "unknown field \"FACILTY\" at position 12 in \"TRIM(UPPER(facilty))==\"AUDIO\"\"");
}

TEST(ExprEngine, ConditionsMustBeLogical) {
  RecordScope scope = sale_line();
  try {
    Expression::compile_condition("CODIGO", scope);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.problem(), "a condition must be logical, this gives a text");
  }
  EXPECT_TRUE(Expression::compile_condition("CODIGO=\"AB\"", scope).holds(scope));
  const Expression not_a_condition = Expression::compile("CODIGO", scope);
  EXPECT_THROW(not_a_condition.holds(scope), Error);
  const Expression never_compiled;
  EXPECT_FALSE(never_compiled.valid());
  EXPECT_THROW(never_compiled.evaluate(scope), Error);
}

TEST(ExprEngine, RunTimeErrorsCarryTheirPosition) {
  RecordScope scope = sale_line();
  auto run_error = [&](const char* text) -> Error {
    const Expression e = Expression::compile(text, scope);
    try {
      e.evaluate(scope);
    } catch (const Error& err) {
      return err;
    }
    ADD_FAILURE() << "no error for " << text;
    return Error("", "", 0);
  };
  EXPECT_EQ(run_error("NUMERO/(NUMERO-1234)").problem(), "division by zero");
  EXPECT_EQ(run_error("NUMERO/(NUMERO-1234)").position(), 7u);
  EXPECT_EQ(run_error("NUMERO%0").problem(), "division by zero");
  EXPECT_EQ(run_error("FECHA+99999999").problem(), "date out of range");
  EXPECT_EQ(run_error("FECHA-3000000").problem(), "date out of range");
  EXPECT_EQ(run_error("STR(NUMERO,NUMERO)").problem(), "the width of STR must be 1 to 255");
  EXPECT_EQ(run_error("SPACE(NUMERO*NUMERO)").problem(), "text result longer than 1048576 characters");
  EXPECT_EQ(run_error("PADL(CODIGO,NUMERO*1000)").problem(), "text result longer than 1048576 characters");
}

TEST(ExprEngine, HostileTextsAreRefusedWithoutRecursingDeeply) {
  RecordScope scope = sale_line();
  auto problem = [&](const std::string& text) -> std::string {
    try {
      Expression::compile(text, scope);
    } catch (const Error& e) {
      return e.problem();
    }
    return "";
  };
  EXPECT_EQ(problem(std::string(100000, '(')), "the expression is longer than 8192 characters");
  EXPECT_EQ(problem(std::string(2000, '(') + "1" + std::string(2000, ')')), "the expression is nested too deeply");
  EXPECT_EQ(problem(std::string(3000, '-') + "1"), "the expression is nested too deeply");
  EXPECT_EQ(problem(std::string(3000, '!') + ".T."), "the expression is nested too deeply");
  std::string upper;
  for (int i = 0; i < 100; ++i) upper += "UPPER(";
  EXPECT_EQ(problem(upper + "CODIGO" + std::string(100, ')')), "the expression is nested too deeply");
  std::string chain = "1";
  for (int i = 0; i < 2000; ++i) chain += "+1";
  EXPECT_EQ(problem(chain), "the expression is nested too deeply");
  // Up to the limits, things work.
  std::string ok = "1";
  for (int i = 0; i < 200; ++i) ok += "+1";
  EXPECT_DOUBLE_EQ(Expression::compile(ok, scope).evaluate(scope).number(), 201);
}

TEST(ExprEngine, StrOfWholeNumbersAgreesWithTheTextHelper) {
  // STR without decimals takes a fast path; it must give exactly what
  // rt::text::str gives, rounding, signs and overflow included.
  RecordScope scope({{"X", {'N', 20, 5, false}}});
  std::vector<Expression> strs;
  for (int w = 1; w <= 12; ++w) strs.push_back(Expression::compile("STR(X," + std::to_string(w) + ")", scope));
  const Expression plain = Expression::compile("STR(X)", scope);
  std::vector<double> xs = {0, -0.0, 0.5, -0.5, 1.5, -1.5, 2.4999999, 9, -9, 99999, 1234567890, -123456789,
                            0.4999999999, 999999999999999.0, 1e15, -1e15, 1e20, -1e20, 12.5, -12.5};
  std::mt19937 rng(3);
  for (int i = 0; i < 3000; ++i) {
    const double base = static_cast<double>(static_cast<int>(rng() % 2000001) - 1000000);
    xs.push_back(base / (1 + rng() % 4));
    xs.push_back(base * 1000.5);
  }
  for (double x : xs) {
    scope.set(0, Value(x));
    for (int w = 1; w <= 12; ++w)
      ASSERT_EQ(strs[static_cast<std::size_t>(w - 1)].evaluate(scope).text(), rt::text::str(x, w)) << x << " " << w;
    ASSERT_EQ(plain.evaluate(scope).text(), rt::text::str(x)) << x;
  }
}

TEST(ExprEngine, UpperAndLowerFollowTheTablesCodePage) {
  RecordScope scope({{"S", {'C', 20, 0, false}}});
  auto run = [&](const char* text, const std::string& value) {
    scope.set(0, Value(value));
    return Expression::compile(text, scope).evaluate(scope).text();
  };
  // Without a code page only a-z change.
  EXPECT_EQ(run("UPPER(S)", "a\xA4\x82" "z"), "A\xA4\x82Z");
  scope.set_code_page(rt::text::CodePage::CP850);
  EXPECT_EQ(run("UPPER(S)", "a\xA4\x82" "z"), "A\xA5\x90Z");  // ñ -> Ñ, é -> É
  EXPECT_EQ(run("LOWER(S)", "A\xA5\x90Z"), "a\xA4\x82" "z");
  EXPECT_EQ(run("UPPER(S)", "\xE1\x9B"), "\xE1\x9D");  // ß stays, ø -> Ø
  scope.set_code_page(rt::text::CodePage::CP1252);
  EXPECT_EQ(run("UPPER(S)", "Taquer\xED" "a"), "TAQUER\xCD" "A");
  EXPECT_EQ(run("UPPER(S)", "\xFF\x9A\xF7"), "\x9F\x8A\xF7");  // ÿ -> Ÿ, š -> Š, ÷ stays
  EXPECT_EQ(run("LOWER(S)", "\xC9\x9F"), "\xE9\xFF");
  scope.set_code_page(rt::text::CodePage::CP1251);
  EXPECT_EQ(run("UPPER(S)", "\xE0\xFF\xB8"), "\xC0\xDF\xA8");  // а я ё
  // Every code page: a letter's upper case goes back to it.
  for (auto cp : {rt::text::CodePage::CP437, rt::text::CodePage::CP850, rt::text::CodePage::CP1251,
                  rt::text::CodePage::CP1252}) {
    scope.set_code_page(cp);
    const Expression up = Expression::compile("UPPER(S)", scope);
    const Expression down = Expression::compile("LOWER(UPPER(S))", scope);
    for (int b = 0x20; b < 256; ++b) {
      const std::string s(1, static_cast<char>(b));
      scope.set(0, Value(s));
      if (up.evaluate(scope).text() != s) {
        EXPECT_EQ(down.evaluate(scope).text(), s) << int(cp) << " " << b;
      }
    }
  }
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "runtime/text/codepage.h"
#include "runtime/text/convert.h"
#include "runtime/text/date.h"

using namespace rt::text;

TEST(DateWindow, TwoDigitYearsFollowTheReferenceYear) {
  const DateWindow w{2026};
  EXPECT_EQ(w.resolve(27), 2027);  // an expiry typed as 31/12/27 is not 1927
  EXPECT_EQ(w.resolve(25), 2025);
  EXPECT_EQ(w.resolve(75), 2075);  // 49 years ahead
  EXPECT_EQ(w.resolve(76), 1976);  // 50 years back
  EXPECT_EQ(w.resolve(0), 2000);
  EXPECT_EQ(DateWindow{2080}.resolve(29), 2129);
  EXPECT_EQ(DateWindow{2080}.resolve(30), 2030);
}

TEST(Dates, TypedDatesUseTheWindowAndRefuseImpossibleDays) {
  const DateWindow w{2026};
  auto d = ctod("31/12/27", w);
  ASSERT_TRUE(d);
  EXPECT_EQ(dtos(*d), "20271231");
  EXPECT_EQ(dtoc(*d), "31/12/27");
  EXPECT_FALSE(ctod("29/02/27", w));
  EXPECT_TRUE(ctod("29/02/28", w));
  EXPECT_FALSE(ctod("32/01/27", w));
  EXPECT_FALSE(ctod("00/01/27", w));
  EXPECT_FALSE(ctod("01/13/27", w));
  auto blank = ctod("  /  /  ", w);
  ASSERT_TRUE(blank);
  EXPECT_TRUE(blank->empty());
  EXPECT_EQ(dtos(*ctod("05/06/1999", w)), "19990605");
}

TEST(Dates, StoredFormRoundTripsAndEmptyDateIsBlanks) {
  EXPECT_EQ(dtos(Date{}), "        ");
  EXPECT_EQ(dtoc(Date{}), "  /  /  ");
  auto d = stod("20000101");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->julian(), 2451545);
  EXPECT_EQ(iso_date(*d), "2000-01-01");
  EXPECT_TRUE(stod("        ")->empty());
  EXPECT_FALSE(stod("2000AB01"));
  EXPECT_FALSE(stod("20000230"));
  EXPECT_EQ(d->plus_days(-1).day(), 31);
}

TEST(Convert, StrRightAlignsRoundsAndRefusesOverflow) {
  EXPECT_EQ(str(1234, 6), "  1234");
  EXPECT_EQ(str(7, 4), "   7");
  EXPECT_EQ(str(-5, 4), "  -5");
  EXPECT_EQ(str(12.7, 4), "  13");
  EXPECT_EQ(str(2.5, 2), " 3");
  EXPECT_EQ(str(-2.5, 3), " -3");
  EXPECT_EQ(str(12345, 4), "****");
  EXPECT_EQ(str(1.005, 6, 2), "  1.01");
  EXPECT_EQ(str(0, 6, 2), "  0.00");
  EXPECT_EQ(str(-0.001, 5, 2), " 0.00");
  EXPECT_EQ(str(42), "        42");
  // Whole and decimal numbers as printf writes them, rounded half away from
  // zero: barcodes, quantities, negatives, tiny fractions and the widths
  // that just fit or just overflow.
  const auto printf_str = [](double n, int w, int d) {
    const double scale = std::pow(10.0, d);
    double scaled = n * scale;
    scaled = scaled >= 0 ? std::floor(scaled + 0.5 + 1e-9) : -std::floor(-scaled + 0.5 + 1e-9);
    double rounded = scaled / scale;
    if (rounded == 0) rounded = 0;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%*.*f", w, d, rounded);
    return static_cast<int>(std::string(buf).size()) > w ? std::string(static_cast<std::size_t>(w), '*')
                                                         : std::string(buf);
  };
  for (double n : {0.0, -0.0, 0.05, -0.05, 0.5, 9.995, 123.456, -123.456, 999.0, 1000.0, 7790000001017.0,
                   99999999999999.0, -99999999999999.9, 1e15, 3e20, 0.000001})
    for (int d : {0, 1, 2, 3, 5})
      for (int w : {1, 3, 4, 7, 10, 14, 20}) EXPECT_EQ(str(n, w, d), printf_str(n, w, d)) << n << " " << w << " " << d;
}

TEST(Convert, NumericValueOfText) {
  EXPECT_EQ(val("  12abc"), 12);
  EXPECT_EQ(val("-3.5x"), -3.5);
  EXPECT_EQ(val("1.2.3"), 1.2);
  EXPECT_EQ(val("abc"), 0);
  EXPECT_EQ(val(""), 0);
  EXPECT_EQ(val("007"), 7);
  EXPECT_EQ(val("  +4"), 4);
  EXPECT_EQ(val("0123456789012"), 123456789012.0);
}

TEST(Convert, TimeAndPadding) {
  EXPECT_EQ(time_of_day(0), "00:00:00");
  EXPECT_EQ(time_of_day(13 * 3600 + 5 * 60 + 9), "13:05:09");
  EXPECT_EQ(pad_right("ab", 4), "ab  ");
  EXPECT_EQ(pad_right("abcdef", 4), "abcd");
  EXPECT_EQ(pad_left("123", 2), "23");
  EXPECT_EQ(pad_left("5", 3, '0'), "005");
  EXPECT_EQ(trim("  a b  "), "a b");
  EXPECT_EQ(upper("añb\xA4"), "AñB\xA4");
}

TEST(Convert, TextComparisons) {
  EXPECT_TRUE(text_equal_prefix("TK  1234", "TK"));
  EXPECT_TRUE(text_equal_prefix("anything", ""));
  EXPECT_FALSE(text_equal_prefix("TK", "TK  1234"));
  EXPECT_FALSE(text_equal_exact("abc ", "abc"));
  EXPECT_TRUE(text_equal_exact("abc", "abc"));
  EXPECT_TRUE(text_contains("@", "12@34"));
  EXPECT_FALSE(text_contains("0110", "01"));
}

TEST(CodePage, Cp850RoundTripsThroughUtf8) {
  const std::string cp850 = "N\xA7 \xA4\xA5 \xC4\xB3\xDA";  // Nº ñÑ ─│┌
  const std::string utf8 = to_utf8(cp850);
  EXPECT_EQ(utf8, "N\xC2\xBA \xC3\xB1\xC3\x91 \xE2\x94\x80\xE2\x94\x82\xE2\x94\x8C");
  EXPECT_EQ(from_utf8(utf8), cp850);
  EXPECT_EQ(from_utf8("\xE2\x82\xAC"), "?");  // no euro sign in 850
  EXPECT_EQ(to_utf8("\xF1", CodePage::CP1252), "\xC3\xB1");
  EXPECT_EQ(to_utf8("\xC0", CodePage::CP1251), "\xD0\x90");
  EXPECT_EQ(*code_page_from_mark(0), CodePage::CP850);
  EXPECT_FALSE(code_page_from_mark(0x57));
}

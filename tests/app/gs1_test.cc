#include <gtest/gtest.h>

#include "app/gs1.h"
#include "runtime/text/date.h"

using namespace app::gs1;
using rt::text::dtos;

namespace {

const char* kGtin = "07791234567890";

struct Split {
  std::string processed;
  TraceFields f;
};

Split run(const std::string& code, TraceFields start = {}) {
  Split s{"", start};
  s.processed = split(code, s.f);
  return s;
}

std::string rtrimmed(const std::string& s) { return s.substr(0, s.find_last_not_of(' ') + 1); }

}  // namespace

TEST(Gs1Split, SerialFirstThenExpiryAndLot) {
  // 01 GTIN 21 serial <GS> 17 YYMMDD 10 lot
  auto s = run(std::string("01") + kGtin + "21ABC123XYZ@17271231" + "10L0T-9");
  EXPECT_EQ(s.f.gtin, kGtin);
  EXPECT_EQ(s.f.serial, "ABC123XYZ           ");
  EXPECT_EQ(s.f.lot, "L0T-9     ");
  EXPECT_EQ(dtos(s.f.expiry), "20271231");
}

TEST(Gs1Split, SerialThenLotThenExpiry) {
  auto s = run(std::string("01") + kGtin + "21SN0001@10LOTE7@17280229");
  EXPECT_EQ(rtrimmed(s.f.serial), "SN0001");
  EXPECT_EQ(rtrimmed(s.f.lot), "LOTE7");
  EXPECT_EQ(dtos(s.f.expiry), "20280229");  // 2028 is a leap year
}

TEST(Gs1Split, ExpiryFirstThenLotThenSerial) {
  auto s = run(std::string("01") + kGtin + "17270630" + "10AB12@21SERIE99");
  EXPECT_EQ(dtos(s.f.expiry), "20270630");
  EXPECT_EQ(rtrimmed(s.f.lot), "AB12");
  EXPECT_EQ(rtrimmed(s.f.serial), "SERIE99");
}

TEST(Gs1Split, LotFirstThenExpiryAndSerialToTheEnd) {
  auto s = run(std::string("01") + kGtin + "10LOT55@17261105" + "21S-ERIAL/7");
  EXPECT_EQ(rtrimmed(s.f.lot), "LOT55");
  EXPECT_EQ(dtos(s.f.expiry), "20261105");
  EXPECT_EQ(rtrimmed(s.f.serial), "S-ERIAL/7");
}

TEST(Gs1Split, ProductionDateIsSkipped) {
  // 01 17 11 21 10
  auto s = run(std::string("01") + kGtin + "17291031" + "11240101" + "21X9Y8Z7@10LT1");
  EXPECT_EQ(dtos(s.f.expiry), "20291031");
  EXPECT_EQ(rtrimmed(s.f.serial), "X9Y8Z7");
  EXPECT_EQ(rtrimmed(s.f.lot), "LT1");
}

TEST(Gs1Split, NoSeparatorTakesTheSerialFromPosition19) {
  TraceFields start;
  start.lot = "OLDLOT    ";
  start.expiry = *rt::text::Date::from_ymd(2030, 1, 1);
  auto s = run(std::string("01") + kGtin + "21" + "ABCDEFGHIJKLMNOPQRSTUVW", start);
  EXPECT_EQ(s.f.serial, "ABCDEFGHIJKLMNOPQRST");  // cut at 20
  EXPECT_EQ(s.f.lot, std::string(10, ' '));
  EXPECT_TRUE(s.f.expiry.empty());
}

TEST(Gs1Split, SeparatorSpellingsSplitIdentically) {
  const std::string tail = "17271231" "10LOTE1";
  const auto a = run(std::string("01") + kGtin + "21SER1@" + tail);
  const auto b = run(std::string("01") + kGtin + "21SER1<GS>" + tail);
  const auto c = run(std::string("01") + kGtin + "21SER1@@" + tail);
  const auto d = run(std::string("01") + kGtin + "21SER1<GS>@" + tail);
  for (const auto* s : {&b, &c, &d}) {
    EXPECT_EQ(s->f.serial, a.f.serial);
    EXPECT_EQ(s->f.lot, a.f.lot);
    EXPECT_EQ(s->f.expiry, a.f.expiry);
  }
  EXPECT_EQ(normalize_separators("a@@@b"), "a@@b");  // one pass: three become two
  EXPECT_EQ(normalize_separators("a<GS><GS>b"), "a@b");
}

TEST(Gs1Split, ReaderPrefixAndTrailingSeparatorAreDropped) {
  auto s = run(std::string("+C101") + kGtin + "21SER2@17270101" + "10LOT2@");
  EXPECT_EQ(s.processed.substr(0, 2), "01");
  EXPECT_EQ(rtrimmed(s.f.serial), "SER2");
  EXPECT_EQ(rtrimmed(s.f.lot), "LOT2");
  EXPECT_EQ(drop_symbology_prefix("+C1abc"), "abc   ");
  EXPECT_EQ(drop_symbology_prefix("abc"), "abc");
}

TEST(Gs1Split, SerialAndLotAreCutAtTheirWidths) {
  auto s = run(std::string("01") + kGtin + "21" + std::string(25, 'S') + "@10" + std::string(14, 'L') + "@17270101");
  EXPECT_EQ(s.f.serial, std::string(20, 'S'));
  EXPECT_EQ(s.f.lot, std::string(10, 'L'));
  EXPECT_EQ(dtos(s.f.expiry), "20270101");
  // A serial of exactly 20 characters is kept whole.
  auto t = run(std::string("01") + kGtin + "21" + "ABCDEFGHIJ0123456789" + "@17270101" + "10X");
  EXPECT_EQ(t.f.serial, "ABCDEFGHIJ0123456789");
}

TEST(Gs1Split, ImpossibleExpiryDatesGiveTheEmptyDate) {
  for (const char* bad : {"271301", "270132", "270100", "270229", "2712AB"}) {
    auto s = run(std::string("01") + kGtin + "21SER@17" + bad + "10LOT");
    EXPECT_TRUE(s.f.expiry.empty()) << bad;
    EXPECT_EQ(rtrimmed(s.f.lot), "LOT") << bad;
  }
  EXPECT_TRUE(date_in("1727").empty());
  EXPECT_EQ(dtos(date_in("17000229")), "20000229");
}

TEST(Gs1Split, TextsThatAreNotGs1ClearTheCodeAndSetNothing) {
  TraceFields start;
  start.code = std::string(60, 'x');
  start.serial = "KEEP                ";
  auto s = run("7791234567890", start);
  EXPECT_EQ(s.f.code, std::string(60, ' '));
  EXPECT_EQ(s.f.serial, "KEEP                ");
  // Recognised but not starting with "01": nothing is set, the code is kept.
  start.code = std::string(60, 'y');
  auto t = run("2101234567890123456789@17270101", start);
  EXPECT_EQ(t.f.code, std::string(60, 'y'));
  EXPECT_EQ(t.f.gtin, std::string(14, ' '));
  EXPECT_FALSE(looks_like_gs1("01234567890123456789"));  // 20 characters is not enough
  EXPECT_TRUE(looks_like_gs1("012345678901234567821"));
  EXPECT_FALSE(looks_like_gs1("312345678901234567821"));
}

TEST(Gs1Split, LongCodesAndHostileTextsNeverBreakTheWidths) {
  const std::string long_code = std::string("01") + kGtin + "21" + std::string(70, '9') + "@17270101@10" +
                                std::string(50, 'L');
  auto s = run(long_code);
  EXPECT_EQ(s.f.gtin.size(), 14u);
  EXPECT_EQ(s.f.serial.size(), 20u);
  EXPECT_EQ(s.f.lot.size(), 10u);
  EXPECT_EQ(s.f.code.size(), 60u);
  for (const char* odd : {"01@", "0121@@@@@@@@@@@@@@@@@@@", "01234567890123421@", "011234567890123421@10",
                          "0100000000000000@@@@21@17@10@@", "01\x1d\x1d\x1d\x1d\x1d\x1d\x1d\x1d\x1d\x1d\x1d\x1d" "21"}) {
    auto o = run(odd);
    EXPECT_EQ(o.f.serial.size(), 20u) << odd;
    EXPECT_EQ(o.f.lot.size(), 10u) << odd;
    EXPECT_EQ(o.f.gtin.size(), 14u) << odd;
  }
}

TEST(Gs1Split, RetypeKeysConfirmSerialAndLotAndTypeTheExpiry) {
  TraceFields f;
  f.serial = "SER1                ";
  f.lot = "LOT1      ";
  f.expiry = *rt::text::Date::from_ymd(2027, 12, 31);
  EXPECT_EQ(retype_keys(f), "SER1                \rLOT1      \r31/12/27");
  f.lot = std::string(10, ' ');
  EXPECT_EQ(retype_keys(f), "SER1                \r");
}

// Layouts of real packages beyond the common four: every element after the
// GTIN may come in any order, fixed-length elements need no separator, and
// a separator always ends a serial or a lot.
TEST(Gs1Split, ProductionDateBeforeTheExpiry) {
  // 01 11 17 10 21
  auto s = run(std::string("01") + kGtin + "11240115" + "17270630" + "10LT77@21SN77");
  EXPECT_EQ(dtos(s.f.expiry), "20270630");
  EXPECT_EQ(rtrimmed(s.f.lot), "LT77");
  EXPECT_EQ(rtrimmed(s.f.serial), "SN77");
}

TEST(Gs1Split, LotThenSerialThenExpiry) {
  // 01 10 21 17: the serial is not lost when it follows the lot.
  auto s = run(std::string("01") + kGtin + "10LOTA@21SERA@17281130");
  EXPECT_EQ(rtrimmed(s.f.lot), "LOTA");
  EXPECT_EQ(rtrimmed(s.f.serial), "SERA");
  EXPECT_EQ(dtos(s.f.expiry), "20281130");
}

TEST(Gs1Split, ExpiryRightAfterTheGtinWithoutAnySeparator) {
  // 01 17 21: the date has a fixed length, so a reader sends no separator;
  // the serial is what follows "21", not the date's digits.
  auto s = run(std::string("01") + kGtin + "17291231" + "21XY0042");
  EXPECT_EQ(dtos(s.f.expiry), "20291231");
  EXPECT_EQ(rtrimmed(s.f.serial), "XY0042");
  EXPECT_EQ(s.f.lot, std::string(10, ' '));
}

TEST(Gs1Split, ProductionDateAfterTheLotIsNotTakenAsTheExpiry) {
  auto s = run(std::string("01") + kGtin + "21S1@10L1@11200101" + "17300101");
  EXPECT_EQ(dtos(s.f.expiry), "20300101");
  EXPECT_EQ(rtrimmed(s.f.lot), "L1");
}

TEST(Gs1Split, OtherElementsDoNotLeakIntoSerialOrLot) {
  // A national reimbursement number (710) and a company element (91) end at
  // their separators and are skipped.
  auto s = run(std::string("01") + kGtin + "21SERX@17270101" + "10LOTX@710123456@91ABC");
  EXPECT_EQ(rtrimmed(s.f.serial), "SERX");
  EXPECT_EQ(rtrimmed(s.f.lot), "LOTX");
  EXPECT_EQ(dtos(s.f.expiry), "20270101");
  auto t = run(std::string("01") + kGtin + "240ABC@17270101" + "10LOTY@21SERY");
  EXPECT_EQ(rtrimmed(t.f.serial), "SERY");
  EXPECT_EQ(rtrimmed(t.f.lot), "LOTY");
}

TEST(Gs1Split, SeparatorsAtTheEndAreNeverPartOfAValue) {
  const std::string lot_first = std::string("01") + kGtin + "10LOT55@17261105" + "21SERIAL7";
  for (const char* end : {"@", "<GS>", "@@", "<GS><GS>", "@@@"}) {
    auto s = run(lot_first + end);
    EXPECT_EQ(rtrimmed(s.f.serial), "SERIAL7") << end;
    EXPECT_EQ(rtrimmed(s.f.lot), "LOT55") << end;
  }
  auto t = run(std::string("01") + kGtin + "21SER9@17270101" + "10LOT9<GS>");
  EXPECT_EQ(rtrimmed(t.f.lot), "LOT9");
}

TEST(Gs1Split, SerialsWithLettersAndSymbolsAtTheLimit) {
  for (const std::string serial : {"A", "abcDEF-123/xyz.+_09", "ZZZZZZZZZZZZZZZZZZZZ", "0000000000000000000001"}) {
    auto s = run(std::string("01") + kGtin + "21" + serial + "@17270101" + "10L");
    EXPECT_EQ(s.f.serial, serial.size() > 20 ? serial.substr(0, 20) : serial + std::string(20 - serial.size(), ' '))
        << serial;
    EXPECT_EQ(dtos(s.f.expiry), "20270101") << serial;
  }
}

TEST(Gs1Split, ExpiryIsReadInThe2000s) {
  EXPECT_EQ(dtos(date_in("17991231")), "20991231");
  EXPECT_EQ(dtos(date_in("17000101")), "20000101");
  EXPECT_EQ(dtos(date_in("17280229")), "20280229");
  for (const char* bad : {"17271301", "17270132", "17270100", "17270229", "17270431", "17 70101", "1727010"})
    EXPECT_TRUE(date_in(bad).empty()) << bad;
}

TEST(Gs1Split, RealWorldCodesSplitCompletely) {
  struct Case {
    std::string code, gtin, serial, lot, expiry;
  };
  const std::vector<Case> cases = {
      {"0107795320002125211234567890123@17260731" "10A2345", "07795320002125", "1234567890123", "A2345", "20260731"},
      {"010779123456789017270331" "10B12C@21X7Y8Z9", "07791234567890", "X7Y8Z9", "B12C", "20270331"},
      {"01077912345678901726053110AB-01@21QWERTY", "07791234567890", "QWERTY", "AB-01", "20260531"},
      {"0107791234567890212ZZ4QK9@1727103110L0T2", "07791234567890", "2ZZ4QK9", "L0T2", "20271031"},
  };
  for (const auto& c : cases) {
    auto s = run(c.code);
    EXPECT_EQ(s.f.gtin, c.gtin) << c.code;
    EXPECT_EQ(rtrimmed(s.f.serial), c.serial) << c.code;
    EXPECT_EQ(rtrimmed(s.f.lot), c.lot) << c.code;
    EXPECT_EQ(dtos(s.f.expiry), c.expiry) << c.code;
  }
}

TEST(Gs1Split, RetypeKeysWithCenturyDates) {
  TraceFields f;
  f.serial = "S                   ";
  f.lot = "L         ";
  f.expiry = *rt::text::Date::from_ymd(2027, 1, 5);
  EXPECT_EQ(retype_keys(f, true), "S                   \rL         \r05/01/2027");
}

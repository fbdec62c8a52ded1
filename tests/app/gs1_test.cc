#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/gs1.h"
#include "runtime/text/convert.h"
#include "runtime/text/date.h"

using namespace app::gs1;
using rt::text::dtos;
using rt::text::pad_right;

namespace {

const std::string G = "0107791234567898";  // AI 01 and a GTIN with its check digit
const std::string kGtin = "07791234567898";
const std::string S20 = "ABCDEFGHIJ0123456789";

struct Case {
  std::string code;
  Fault fault;     // for a GS1 code
  std::string ai;  // the element of the fault
  // What an accepted code yields ("" = not in the code); gtin "" = no GS1 code.
  std::string gtin, serial, lot, expiry;
  std::string text;  // the code as kept, when it is not the code itself
  Case(std::string c, Fault f = Fault::None, std::string a = "", std::string g = "", std::string s = "",
       std::string l = "", std::string e = "", std::string t = "")
      : code(std::move(c)), fault(f), ai(std::move(a)), gtin(std::move(g)), serial(std::move(s)), lot(std::move(l)),
        expiry(std::move(e)), text(std::move(t)) {}
};

// Every reader form, element order, date rule and refusal in one table.
const std::vector<Case> kCases = {
    // Element orders; fixed-length elements need no separator after them.
    {G + "21ABC123XYZ@17271231" "10L0T-9", Fault::None, "", kGtin, "ABC123XYZ", "L0T-9", "20271231"},
    {G + "21SN0001@10LOTE7@17280229", Fault::None, "", kGtin, "SN0001", "LOTE7", "20280229"},
    {G + "17270630" "10AB12@21SERIE99", Fault::None, "", kGtin, "SERIE99", "AB12", "20270630"},
    {G + "10LOT55@17261105" "21S-ERIAL/7", Fault::None, "", kGtin, "S-ERIAL/7", "LOT55", "20261105"},
    {G + "17291031" "11240101" "21X9Y8Z7@10LT1", Fault::None, "", kGtin, "X9Y8Z7", "LT1", "20291031"},
    {G + "11240115" "17270630" "10LT77@21SN77", Fault::None, "", kGtin, "SN77", "LT77", "20270630"},
    {G + "10LOTA@21SERA@17281130", Fault::None, "", kGtin, "SERA", "LOTA", "20281130"},
    {G + "17291231" "21XY0042", Fault::None, "", kGtin, "XY0042", "", "20291231"},
    {G + "21S1@10L1@11200101" "17300101", Fault::None, "", kGtin, "S1", "L1", "20300101"},
    {G + "21SERX@17270101" "10LOTX@710123456@91ABC", Fault::None, "", kGtin, "SERX", "LOTX", "20270101"},
    {G + "240ABC@17270101" "10LOTY@21SERY", Fault::None, "", kGtin, "SERY", "LOTY", "20270101"},
    {G + "30" "12@21SER30@17270101" "10L30", Fault::None, "", kGtin, "SER30", "L30", "20270101"},
    {G + "711ABC@712DEF@21S7@713X@714Y@715Z@10L7", Fault::None, "", kGtin, "S7", "L7", ""},
    {G + "3103000125" "17270101" "21S31@10L31", Fault::None, "", kGtin, "S31", "L31", "20270101"},
    {G + "21" + "ABCDEFGHIJKLMNOPQRS", Fault::None, "", kGtin, "ABCDEFGHIJKLMNOPQRS", "", ""},
    {"0107795320002126211234567890123@17260731" "10A2345", Fault::None, "", "07795320002126", "1234567890123",
     "A2345", "20260731"},
    // Reader forms: symbology identifiers, a leading FNC1 as separator.
    {"]d2" + G + "21SD2@17270101" "10L", Fault::None, "", kGtin, "SD2", "L", "20270101", G + "21SD2@17270101" "10L"},
    {"]C1" + G + "21SC1", Fault::None, "", kGtin, "SC1", "", "", G + "21SC1"},
    {"]Q3" + G + "21SQ3", Fault::None, "", kGtin, "SQ3", "", "", G + "21SQ3"},
    {"]e0" + G + "21SE0", Fault::None, "", kGtin, "SE0", "", "", G + "21SE0"},
    {"+C1" + G + "21SER2@17270101" "10LOT2@", Fault::None, "", kGtin, "SER2", "LOT2", "20270101",
     G + "21SER2@17270101" "10LOT2@"},
    {"@" + G + "21SGS", Fault::None, "", kGtin, "SGS", "", "", G + "21SGS"},
    {"]d2@" + G + "21SGS", Fault::None, "", kGtin, "SGS", "", "", G + "21SGS"},
    {"<GS>" + G + "21SGS", Fault::None, "", kGtin, "SGS", "", "", G + "21SGS"},
    // Separator spellings and separators at the end.
    {G + "21SER1<GS>17271231" "10LOTE1<GS>", Fault::None, "", kGtin, "SER1", "LOTE1", "20271231",
     G + "21SER1@17271231" "10LOTE1@"},
    {G + "21SER1@@17271231" "10LOTE1@@@", Fault::None, "", kGtin, "SER1", "LOTE1", "20271231",
     G + "21SER1@17271231" "10LOTE1@@"},
    {G + "21SER1\x1d" "17271231" "10LOTE1", Fault::None, "", kGtin, "SER1", "LOTE1", "20271231",
     G + "21SER1@17271231" "10LOTE1"},
    // A package without a serial: GTIN, lot and expiry only.
    {G + "17270131" "10NOSERIAL", Fault::None, "", kGtin, "", "NOSERIAL", "20270131"},
    {G, Fault::None, "", kGtin, "", "", ""},
    // Dates: day 00 is the month's last day; 2028 is a leap year.
    {G + "17280200" "21D0", Fault::None, "", kGtin, "D0", "", "20280229"},
    {G + "17270400" "21D1", Fault::None, "", kGtin, "D1", "", "20270430"},
    {G + "21SER@17271301" "10LOT", Fault::Date, "17"},
    {G + "21SER@17270132" "10LOT", Fault::Date, "17"},
    {G + "21SER@17270229" "10LOT", Fault::Date, "17"},
    {G + "21SER@17270001" "10LOT", Fault::Date, "17"},
    {G + "21SER@172712AB" "10LOT", Fault::Date, "17"},
    {G + "1127", Fault::Date, "11"},
    {G + "11271301" "21S", Fault::Date, "11"},
    // Check digits.
    {"0107791234567890" "21SER", Fault::CheckDigit, "01"},
    {"0107791234567899" "21SER", Fault::CheckDigit, "01"},
    // Serials at 20 and 21, lots at and over the width.
    {G + "21" + S20 + "@17270101" "10X", Fault::None, "", kGtin, S20, "X", "20270101"},
    {G + "21" + S20 + "Z@17270101" "10X", Fault::SerialTooLong, "21"},
    {G + "21" + S20 + "Z", Fault::SerialTooLong, "21"},
    {G + "21S@10" + std::string(10, 'L') + "@17270101", Fault::None, "", kGtin, "S", std::string(10, 'L'), "20270101"},
    {G + "21S@10" + std::string(11, 'L') + "@17270101", Fault::LotTooLong, "10"},
    {G + "21S@10LOTJOINED17270101", Fault::LotTooLong, "10"},  // a separator the reader did not send
    // Characters outside GS1's set (a reader on another keyboard layout).
    {G + "21SER\xA4" "1@10L", Fault::Character, "21"},
    {G + "21SER 1@10L", Fault::Character, "21"},
    {G + "21S@10L#1", Fault::Character, "10"},
    {G + "21S@10L$", Fault::Character, "10"},
    // Empty or cut elements.
    {G + "21@17270101", Fault::Malformed, "21"},
    {G + "0012345", Fault::Malformed, "00"},
    {G + "710" + std::string(21, '1') + "@21S", Fault::Malformed, "710"},
    // Codes of 61 to 120 characters with the serial last: split whole.
    {G + "17270101" "10LOT@240" + std::string(30, 'A') + "@21SERIALNUMBER12345678", Fault::None, "", kGtin,
     "SERIALNUMBER12345678", "LOT", "20270101"},
    {G + "17270101" "10LOT@240" + std::string(30, 'A') + "@241" + std::string(30, 'B') + "@710" +
         std::string(20, 'C') + "@21SERIALNUMBER12345678",
     Fault::None, "", kGtin, "SERIALNUMBER12345678", "LOT", "20270101"},
    {G + "17270101" "10LOT@240" + std::string(30, 'A') + "@21SERIALNUMBER123456789", Fault::SerialTooLong, "21"},
    // Not GS1 codes: other barcodes and texts, however long.
    {"7791234567898"},
    {"]E07791234567898", Fault::None, "", "", "", "", "", "7791234567898"},
    {"21SERIAL0123456789X0121"},
    {"0112345"},
    {"+C1 +C1" + G + "21S", Fault::None, "", "", "", "", "", "+C1" + G + "21S"},  // one identifier only
    {"01ABCDEFGHIJKLMN21SER"},
    {""},
};

TEST(Gs1Read, EveryReaderFormElementOrderAndRefusal) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.code);
    const Reading r = read(c.code);
    EXPECT_EQ(r.gs1, !c.gtin.empty() || c.fault != Fault::None);
    EXPECT_EQ(r.problem.fault, c.fault);
    EXPECT_EQ(r.problem.ai, c.ai);
    if (c.fault != Fault::None) {
      EXPECT_NE(problem_message(r.problem), "");
      continue;
    }
    const std::string text = c.text.empty() ? c.code : c.text;
    EXPECT_EQ(r.text, text);
    if (!r.gs1) continue;
    EXPECT_EQ(r.fields.gtin, c.gtin);
    EXPECT_EQ(r.fields.serial, pad_right(c.serial, 20));
    EXPECT_EQ(r.fields.lot, pad_right(c.lot, 10));
    EXPECT_EQ(dtos(r.fields.expiry), c.expiry.empty() ? std::string(8, ' ') : c.expiry);
    EXPECT_EQ(r.has_serial, !c.serial.empty());
    EXPECT_EQ(r.has_lot, !c.lot.empty());
    EXPECT_EQ(r.has_expiry, !c.expiry.empty());
    EXPECT_EQ(r.fields.code, pad_right(text.substr(0, 60), 60)) << "only the stored code is cut";
  }
}

// The splitter over the capture's fields: a text that is no GS1 code clears
// the code and keeps the rest; a refused code changes nothing; an accepted
// one sets all five.
TEST(Gs1Split, FieldsAreClearedKeptOrSetWhole) {
  TraceFields start;
  start.code = std::string(60, 'x');
  start.serial = pad_right("KEEP", 20);
  start.lot = pad_right("OLD", 10);
  start.expiry = *rt::text::Date::from_ymd(2030, 1, 1);

  TraceFields f = start;
  split("7791234567898", f);
  EXPECT_EQ(f.code, std::string(60, ' '));
  EXPECT_EQ(f.serial, start.serial);

  f = start;
  EXPECT_TRUE(split(G + "21" + S20 + "Z", f).problem);
  EXPECT_EQ(f.code, start.code);
  EXPECT_EQ(f.serial, start.serial);

  f = start;
  split(G + "21NEW", f);
  EXPECT_EQ(f.serial, pad_right("NEW", 20));
  EXPECT_EQ(f.lot, std::string(10, ' '));
  EXPECT_TRUE(f.expiry.empty());
  EXPECT_EQ(f.code, pad_right(G + "21NEW", 60));
}

TEST(Gs1Split, SeparatorsAndRetypeKeys) {
  EXPECT_EQ(normalize_separators("a@@@b"), "a@@b");  // one pass: three become two
  EXPECT_EQ(normalize_separators("a<GS><GS>b"), "a@b");
  EXPECT_EQ(strip_reader_prefix(" ]d2@@0107"), "0107");
  TraceFields f;
  f.serial = pad_right("SER1", 20);
  f.lot = pad_right("LOT1", 10);
  f.expiry = *rt::text::Date::from_ymd(2027, 12, 31);
  EXPECT_EQ(retype_keys(f), "SER1                \rLOT1      \r31/12/27");
  EXPECT_EQ(retype_keys(f, true), "SER1                \rLOT1      \r31/12/2027");
  f.lot = std::string(10, ' ');
  EXPECT_EQ(retype_keys(f), "SER1                \r");
}

TEST(Gs1Split, CheckDigitsDatesAndCharacterSet) {
  for (const char* good : {"07791234567898", "07795320002126", "01234567890128", "17790000001069", "00000000000000"})
    EXPECT_TRUE(gtin_check_digit_ok(good)) << good;
  for (const char* bad : {"07791234567890", "0779123456789", "0779123456789A", "1779000000106 "})
    EXPECT_FALSE(gtin_check_digit_ok(bad)) << bad;
  EXPECT_EQ(dtos(*gs1_date("991231")), "20991231");
  EXPECT_EQ(dtos(*gs1_date("000200")), "20000229");
  EXPECT_EQ(dtos(*gs1_date("270900")), "20270930");
  for (const char* bad : {"271300", "270000", "270431", "27010", "2701011"}) EXPECT_FALSE(gs1_date(bad)) << bad;
  int allowed = 0;
  for (int c = 0; c < 256; ++c) allowed += in_character_set(static_cast<char>(c)) ? 1 : 0;
  EXPECT_EQ(allowed, 82);
  EXPECT_FALSE(in_character_set('@'));
  EXPECT_TRUE(in_character_set('_'));
}

}  // namespace

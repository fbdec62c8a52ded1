#include <gtest/gtest.h>

#include "app/voucher.h"

using namespace app::voucher;

namespace {

rt::text::Date day(int y, int m, int d) { return *rt::text::Date::from_ymd(y, m, d); }

const std::array<std::string, 5> kLabels = {"FARMACIA CENTRAL", "", "Av. Siempreviva 742", "", "CUIT 30-1"};

}  // namespace

TEST(VoucherMode, FirstAndLastCharacterOfTheSetting) {
  EXPECT_EQ(parse_mode("").form, Form::None);
  EXPECT_EQ(parse_mode("NN").form, Form::None);
  auto fd = parse_mode("fd");  // lower case works like upper case
  EXPECT_EQ(fd.form, Form::Fiscal);
  EXPECT_TRUE(fd.comptes);
  auto f = parse_mode("F");  // one character is first and last
  EXPECT_EQ(f.form, Form::Fiscal);
  EXPECT_FALSE(f.comptes);
  auto id = parse_mode("IXD");
  EXPECT_EQ(id.form, Form::Print);
  EXPECT_TRUE(id.comptes);
  EXPECT_FALSE(parse_mode("D").comptes);  // "D" alone produces nothing
  EXPECT_EQ(parse_mode("D").form, Form::None);
}

TEST(VoucherNames, ComptesFileNameKeepsDotsAndDropsEverythingUnsafe) {
  EXPECT_EQ(comptes_path(day(2026, 12, 8), " 20.123.456-7 ", "12/34_5"),
            "s:\\qumar\\comptes_tz\\20261208_20.123.4567_12345.txt");
  EXPECT_EQ(comptes_path(day(2026, 12, 8), "", "  "), "s:\\qumar\\comptes_tz\\20261208_0_0.txt");
  // Nothing can lead out of the comptes folder or break the name.
  EXPECT_EQ(clean_id("..\\..\\windows"), "....windows");
  EXPECT_EQ(clean_id("c:*?\"<>|'x\x01\x1f"), "cx");
  EXPECT_EQ(clean_id("/-_"), "0");
  EXPECT_EQ(clean_id(" 12 - 34 "), "12  34");  // blanks inside stay, only the ends are trimmed
  EXPECT_EQ(clean_id("a/b\\c:d"), "abcd");
  EXPECT_EQ(base_name("5", 1234), "05001234");
  EXPECT_EQ(base_name("55", 1234), "55001234");
  EXPECT_EQ(base_name("123", 7), "23000007");
}

TEST(VoucherText, FiscalFormByteForByte) {
  Builder b(parse_mode("FD"), kLabels, 1234, day(2026, 12, 8), "14:05:09", "FA", "0001-00001234");
  b.add_unit("IBUPROFENO 400 X 20            ", "07791234567890", "SER1                ", "LOT1      ",
             "20271231");
  const std::string want =
      "Comprobante De Traza 00001234tex_nor\r\n"
      "Fecha 08/12/26  Hora 14:05:09tex_nor\r\n"
      "FA 0001-00001234tex_nor\r\n"
      "----------------------------------------tex_nor\r\n"
      "IBUPROFENO 400 X 20            tex_nor\r\n"
      "GTIN 07791234567890tex_nor\r\n"
      "SERIE SER1                tex_nor\r\n"
      "LOTE LOT1      tex_nor\r\n"
      "VENC 20271231tex_nor\r\n"
      "----------------------------------------tex_nor\r\n";
  EXPECT_EQ(b.voucher(), want);
  EXPECT_EQ(b.comptes(), "07791234567890SER1                LOT1      20271231\r\n");
  EXPECT_EQ(b.comptes().size(), 54u);
}

TEST(VoucherText, PrintFormHasLabelsTrailingBlankLinesAndNoMarker) {
  Builder b(parse_mode("I"), kLabels, 77, day(2027, 1, 2), "09:00:00", "TK", "0000000000077");
  b.add_unit("ASPIRINA tex_nor", "07790000000017", std::string(20, 'S'), std::string(10, 'L'), "        ");
  b.add_unit("ASPIRINA", "07790000000024", "", "", "");
  const std::string want =
      "FARMACIA CENTRAL\r\n"
      "Av. Siempreviva 742\r\n"
      "CUIT 30-1\r\n"
      "----------------------------------------\r\n"
      "Comprobante De Traza 00000077\r\n"
      "Fecha 02/01/27  Hora 09:00:00\r\n"
      "TK 0000000000077\r\n"
      "----------------------------------------\r\n"
      "ASPIRINA \r\n"
      "GTIN 07790000000017\r\n"
      "SERIE SSSSSSSSSSSSSSSSSSSS\r\n"
      "LOTE LLLLLLLLLL\r\n"
      "VENC         \r\n"
      "----------------------------------------\r\n"
      "ASPIRINA\r\n"
      "GTIN 07790000000024\r\n"
      "SERIE \r\n"
      "LOTE \r\n"
      "VENC \r\n"
      "----------------------------------------\r\n"
      " \r\n \r\n \r\n \r\n";
  EXPECT_EQ(b.voucher(), want);
  EXPECT_EQ(b.comptes(), "07790000000017" + std::string(20, 'S') + std::string(10, 'L') + "        \r\n" +
                             "07790000000024\r\n");
}

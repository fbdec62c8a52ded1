#include <gtest/gtest.h>

#include "tools/passwords.h"
#include "tools/text_tools.h"

using namespace tools;

TEST(Medio, CentresAboutTheGivenColumn) {
  EXPECT_EQ(medio("Ticket No Encontrado!!!", 34), std::string(22, ' ') + "Ticket No Encontrado!!!");
  EXPECT_EQ(medio(std::string(24, 'x'), 34), std::string(22, ' ') + std::string(24, 'x'));
  EXPECT_EQ(medio("  ab  ", 3), std::string(2, ' ') + "ab");
  EXPECT_EQ(medio(std::string(90, 'y'), 30), std::string(90, 'y'));  // too long: no blanks, not cut
  EXPECT_EQ(medio("", 5), "     ");
}

TEST(Str0, ZeroFillsNumbersAndTexts) {
  EXPECT_EQ(str_0(7, 4), "0007");
  EXPECT_EQ(str_0(0, 4), "0000");
  EXPECT_EQ(str_0(-5, 4), "00-5");
  EXPECT_EQ(str_0(0, 2), "00");
  EXPECT_EQ(str_0(123, 2), "**");
  EXPECT_EQ(str_0(12.6, 4), "0013");
  EXPECT_EQ(str_0("123", 6), "000123");
  EXPECT_EQ(str_0("123", 2), "23");
  EXPECT_EQ(str_0("5", 2), "05");
  EXPECT_EQ(str_0("", 3), "000");
  EXPECT_EQ(str_0("  ", 5), "000  ");  // a blank text keeps its blanks
  EXPECT_EQ(str_0(" 42 ", 5), "00042");
}

TEST(Cripta, ScramblesEveryByteButTheBlankAndIsItsOwnInverse) {
  EXPECT_EQ(cripta("abc"), "\x9E\x9D\x9C");
  EXPECT_EQ(cripta("a c"), "\x9E \x9C");
  EXPECT_EQ(cripta(""), "");
  EXPECT_EQ(cripta("     "), "     ");
  for (int c = 0; c < 256; ++c) {
    const std::string one(1, static_cast<char>(c));
    if (c == 223) {
      EXPECT_EQ(cripta(one), " ");  // scrambles to a blank and comes back as one
      continue;
    }
    EXPECT_EQ(cripta(cripta(one)), one) << c;
    if (c >= 33 && c <= 126) {
      const auto s = static_cast<unsigned char>(cripta(one)[0]);
      EXPECT_TRUE(s >= 129 && s <= 222) << c;
    }
  }
}

TEST(Crc31, SumsTrimmedTextsAndNumbersAtTheirDeclaredWidth) {
  // A numeric 4-digit field holding 7, a C(10) holding "abc", a date and the
  // checksum field itself: 55 + 294 = 349 -> 1163.
  std::vector<ChecksumField> rec = {
      {"NUM", 'N', 4, 0, rt::Value(7.0)},
      {"NOMBRE", 'C', 10, 0, rt::Value("abc       ")},
      {"FECHA", 'D', 8, 0, rt::Value()},
      {"CRC_31", 'N', 10, 0, rt::Value(99999.0)},
  };
  EXPECT_EQ(crc_31(rec), 1163);
  // The declared decimals count: 0 with two decimals is "0.00" (190).
  EXPECT_EQ(crc_31({{"X", 'N', 6, 2, rt::Value(0.0)}}), 633);
  EXPECT_EQ(crc_31({{"X", 'N', 4, 0, rt::Value(0.0)}}), 160);
  // Blanks count nothing; memo, date, logical never count; names containing
  // CRC_31 anywhere are left out.
  EXPECT_EQ(crc_31({{"C", 'C', 5, 0, rt::Value("     ")},
                    {"M", 'M', 10, 0, rt::Value("text")},
                    {"L", 'L', 1, 0, rt::Value(true)},
                    {"XCRC_31Y", 'C', 3, 0, rt::Value("abc")}}),
            0);
  // Moving characters between fields keeps the sum; changing one does not.
  std::vector<ChecksumField> a = {{"A", 'C', 4, 0, rt::Value("ab")}, {"B", 'C', 4, 0, rt::Value("cd")}};
  std::vector<ChecksumField> b = {{"A", 'C', 4, 0, rt::Value("dc")}, {"B", 'C', 4, 0, rt::Value("ba")}};
  EXPECT_EQ(crc_31(a), crc_31(b));
  b[1].value = rt::Value("bb");
  EXPECT_NE(crc_31(a), crc_31(b));
}

TEST(Crc31, NamesContainingCrc31AreLeftOutWhateverTheirCase) {
  const std::vector<ChecksumField> plain = {{"A", 'C', 3, 0, rt::Value("abc")}};
  for (const char* name : {"CRC_31", "crc_31", "OLDCRC_31X"}) {
    auto rec = plain;
    rec.push_back({name, 'N', 10, 0, rt::Value(12345.0)});
    EXPECT_EQ(crc_31(rec), crc_31(plain)) << name;
  }
  auto counted = plain;
  counted.push_back({"CRC31", 'N', 10, 0, rt::Value(5.0)});
  EXPECT_NE(crc_31(counted), crc_31(plain));
}

#include <gtest/gtest.h>

#include "console_test_util.h"
#include "runtime/console/color.h"

using namespace rt::con;

TEST(ColorStrings, LettersBrightnessQuotesAndCase) {
  EXPECT_EQ(parse_color_pair("W+/B"), make_attr(15, 1));
  EXPECT_EQ(parse_color_pair("gr+/r"), make_attr(14, 4));
  EXPECT_EQ(parse_color_pair("w+/r*"), make_attr(15, 12));
  EXPECT_EQ(parse_color_pair("r/gr*"), make_attr(4, 14));
  EXPECT_EQ(parse_color_pair("B/W"), make_attr(1, 7));
  EXPECT_EQ(parse_color_pair("BG+/g"), make_attr(11, 2));
  EXPECT_EQ(parse_color_pair("\"rb/N\""), make_attr(5, 0));
  EXPECT_EQ(parse_color_pair("gb/br"), parse_color_pair("BG/RB"));
  EXPECT_EQ(parse_color_pair("w+/bg"), make_attr(15, 3));
  EXPECT_EQ(parse_color_pair(""), make_attr(0, 0));
  EXPECT_EQ(parse_color_pair("xy/%%"), make_attr(0, 0));
  EXPECT_EQ(color_name(make_attr(14, 12)), "GR+/R*");
}

TEST(ColorStrings, SetColorReturnsPreviousAndKeepsUnnamedSlots) {
  contest::Rig rig;
  Console& con = rig.con();
  const std::string initial = con.set_color("W+/B");
  EXPECT_EQ(initial, "W/N,N/W,N,N,N/W");
  EXPECT_EQ(con.standard(), make_attr(15, 1));
  EXPECT_EQ(con.colors().enhanced(), make_attr(0, 7));  // kept from the defaults
  EXPECT_EQ(con.set_color("'gr+/r',W+/R"), "W+/B");
  EXPECT_EQ(con.colors().enhanced(), make_attr(15, 4));
  con.reset_colors();
  EXPECT_EQ(con.standard(), make_attr(7, 0));
}

TEST(ScreenModel, DevoutClipsAtTheRightEdgeAndNeverWraps) {
  contest::Rig rig;
  Console& con = rig.con();
  con.devpos(3, 75);
  con.devout("ABCDEFGHIJ", "gr+/r");
  EXPECT_EQ(rig.text(3, 75, 5), "ABCDE");
  EXPECT_EQ(rig.text(4, 0, 5), "     ");
  EXPECT_EQ(rig.attr(3, 79), make_attr(14, 4));
  EXPECT_EQ(con.col(), 85);
  // Negative and far positions are harmless; a text starting left of the
  // screen shows its visible part.
  con.devpos(-1, 10);
  con.devout("hidden");
  con.devpos(25, 0);
  con.devout("hidden");
  con.devpos(5, -3);
  con.devout("xyzABC");
  EXPECT_EQ(rig.text(5, 0, 3), "ABC");
  con.devpos(2000000000, 2000000000);
  con.devout(std::string(500, 'x'));
  EXPECT_EQ(rig.text(24, 0, 80), std::string(80, ' '));
}

TEST(ScreenModel, BoxesSingleDoubleAndCustomWithFill) {
  contest::Rig rig;
  Console& con = rig.con();
  con.dispbox(1, 5, 3, 74, 1, "gr+/b");
  EXPECT_EQ(rig.text(1, 5, 3), "\xDA\xC4\xC4");
  EXPECT_EQ(rig.text(2, 74, 1), "\xB3");
  EXPECT_EQ(rig.text(3, 73, 2), "\xC4\xD9");
  con.dispbox(5, 0, 7, 2, 2);
  EXPECT_EQ(rig.text(5, 0, 3), "\xC9\xCD\xBB");
  EXPECT_EQ(rig.text(7, 0, 3), "\xC8\xCD\xBC");
  con.devpos(10, 10);
  con.devout("old");
  con.dispbox(9, 9, 11, 13, "12345678.", "w/n");
  EXPECT_EQ(rig.text(9, 9, 5), "12223");
  EXPECT_EQ(rig.text(10, 9, 5), "8...4");
  EXPECT_EQ(rig.text(11, 9, 5), "76665");
  // A box partly off the screen draws what is visible.
  con.dispbox(23, 70, 30, 90, 1);
  EXPECT_EQ(rig.text(23, 70, 10), "\xDA\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4");
  EXPECT_EQ(rig.text(24, 70, 1), "\xB3");
}

TEST(ScreenModel, ScrollRegionAndWholeScreen) {
  contest::Rig rig;
  Console& con = rig.con();
  for (int r = 0; r < 25; ++r) {
    con.devpos(r, 0);
    con.devout(std::string(80, static_cast<char>('A' + r % 26)));
  }
  con.set_color("w/b");
  con.scroll(2, 10, 4, 19);
  EXPECT_EQ(rig.text(2, 9, 12), "C          C");
  EXPECT_EQ(rig.attr(3, 10), make_attr(7, 1));
  con.scroll(10, 0, 12, 79, 1);  // up one row
  EXPECT_EQ(rig.text(10, 0, 1), "L");
  EXPECT_EQ(rig.text(11, 0, 1), "M");
  EXPECT_EQ(rig.text(12, 0, 1), " ");
  con.scroll();
  for (int r = 0; r < 25; ++r) EXPECT_EQ(rig.text(r, 0, 80), std::string(80, ' '));
}

TEST(ScreenModel, SaveRestoreRegionWholeScreenAndNestedBoxes) {
  contest::Rig rig;
  Console& con = rig.con();
  con.devpos(12, 0);
  con.devout(std::string(80, '-'), "w+/b");
  const std::string whole = con.xsavescreen();
  const std::string outer = con.savescreen(11, 5, 13, 74);
  con.dispbox(11, 5, 13, 74, std::string(kFrameSingle, 8) + " ", "gr+/r");
  const std::string inner = con.savescreen(11, 0, 13, 79);
  con.dispbox(11, 0, 13, 79, 1, "w+/r*");
  con.restscreen(11, 0, 13, 79, inner);  // the inner box restores only its area
  EXPECT_EQ(rig.text(11, 5, 1), "\xDA");
  EXPECT_EQ(rig.text(12, 6, 3), "   ");
  con.restscreen(11, 5, 13, 74, outer);
  EXPECT_EQ(rig.text(12, 0, 80), std::string(80, '-'));
  EXPECT_EQ(rig.attr(12, 40), make_attr(15, 1));
  con.scroll();
  con.xrestscreen(whole);
  EXPECT_EQ(rig.text(12, 0, 80), std::string(80, '-'));
  // Short or empty saved texts restore what they hold and nothing more.
  con.restscreen(0, 0, 0, 79, std::string("X\x07Y", 3));
  EXPECT_EQ(rig.text(0, 0, 2), "X ");
  con.restscreen(-5, -5, 100, 200, "");
}

TEST(ScreenModel, ColorwinScreenstrAndCharodd) {
  contest::Rig rig;
  Console& con = rig.con();
  con.devpos(10, 30);
  con.devout(" 12   3", "w/n");
  con.colorwin(10, 34, 10, 36, "g+/n");
  const std::string s = con.screenstr(10, 34, 3);
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(Console::charodd(s), "  3");
  EXPECT_EQ(static_cast<Attr>(s[1]), make_attr(10, 0));
  EXPECT_EQ(rig.attr(10, 33), make_attr(7, 0));
  // Past the end of a row SCREENSTR continues on the next, and stops at the
  // end of the screen.
  EXPECT_EQ(con.screenstr(24, 78, 10).size(), 4u);
  EXPECT_EQ(con.screenstr(0, 0, 0), "");
}

TEST(ScreenModel, CursorShapeAndPosition) {
  contest::Rig rig;
  Console& con = rig.con();
  EXPECT_EQ(con.setcursor(0), 1);
  EXPECT_EQ(con.setcursor(9), 0);  // unknown shapes change nothing
  EXPECT_EQ(con.cursor_shape(), 0);
  con.setpos(7, 9);
  EXPECT_EQ(con.row(), 7);
  EXPECT_EQ(con.col(), 9);
}

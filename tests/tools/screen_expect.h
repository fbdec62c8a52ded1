// Cell-by-cell expectations for screens drawn by the shared tools.  An
// expectation starts as a copy of the screen before the routine ran and gets
// the texts, blanks and frames the routine must draw, in literal code-page
// 850 bytes and colour attributes; diff() names the first differing cells.
#pragma once

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/console/console.h"

namespace toolstest {

// Colour attributes written out: foreground + 16 * background.
constexpr rt::con::Attr attr(int fg, int bg) { return static_cast<rt::con::Attr>(fg | (bg << 4)); }
constexpr int kBlack = 0, kBlue = 1, kGreen = 2, kCyan = 3, kRed = 4, kMagenta = 5, kBrown = 6, kWhite = 7,
              kBright = 8;
constexpr rt::con::Attr kYellowOnBlue = attr(kBrown + kBright, kBlue);  // "gr+/b"
constexpr rt::con::Attr kYellowOnRed = attr(kBrown + kBright, kRed);    // "gr+/r"
constexpr rt::con::Attr kReverso = attr(kBlue, kWhite);                 // "B/W"
constexpr rt::con::Attr kNormal = attr(kWhite + kBright, kBlue);        // "W+/B"

struct Expected {
  std::vector<rt::con::Cell> cells;

  explicit Expected(const rt::con::Screen& s) {
    for (int r = 0; r < 25; ++r)
      for (int c = 0; c < 80; ++c) cells.push_back(s.at(r, c));
  }
  rt::con::Cell& at(int r, int c) { return cells[static_cast<std::size_t>(r * 80 + c)]; }
  void text(int r, int c, std::string_view t, rt::con::Attr a) {
    for (std::size_t i = 0; i < t.size() && c + static_cast<int>(i) < 80; ++i)
      at(r, c + static_cast<int>(i)) = rt::con::Cell{static_cast<std::uint8_t>(t[i]), a};
  }
  void blank(int top, int left, int bottom, int right, rt::con::Attr a) {
    for (int r = top; r <= bottom; ++r)
      for (int c = left; c <= right; ++c) at(r, c) = rt::con::Cell{' ', a};
  }
  // A single-line frame: corners DA BF C0 D9, edges C4 and B3.
  void frame(int top, int left, int bottom, int right, rt::con::Attr a) {
    for (int c = left + 1; c < right; ++c) {
      at(top, c) = {0xC4, a};
      at(bottom, c) = {0xC4, a};
    }
    for (int r = top + 1; r < bottom; ++r) {
      at(r, left) = {0xB3, a};
      at(r, right) = {0xB3, a};
    }
    at(top, left) = {0xDA, a};
    at(top, right) = {0xBF, a};
    at(bottom, left) = {0xC0, a};
    at(bottom, right) = {0xD9, a};
  }
};

// "" when the screen matches; otherwise the first few differing cells.
inline std::string diff(const rt::con::Screen& s, const Expected& e) {
  std::ostringstream out;
  int shown = 0;
  for (int r = 0; r < 25; ++r) {
    for (int c = 0; c < 80; ++c) {
      const rt::con::Cell& got = s.at(r, c);
      const rt::con::Cell& want = e.cells[static_cast<std::size_t>(r * 80 + c)];
      if (got == want) continue;
      if (shown++ < 6) {
        out << "(" << r << "," << c << ") got '" << static_cast<char>(got.ch) << "'/" << int(got.attr) << " want '"
            << static_cast<char>(want.ch) << "'/" << int(want.attr) << "; ";
      }
    }
  }
  if (shown > 6) out << shown << " cells differ";
  return out.str();
}

// Fills the screen with a pattern, so that what a box does not restore shows.
inline void fill_pattern(rt::con::Console& con) {
  for (int r = 0; r < 25; ++r) {
    std::string line;
    for (int c = 0; c < 80; ++c) line += static_cast<char>('a' + (r * 7 + c) % 26);
    con.put(r, 0, line, attr(kWhite, kBlack));
  }
}

}  // namespace toolstest

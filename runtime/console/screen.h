// The screen model: a grid of code-page 850 characters, each with a colour
// attribute.  Every operation clips to the grid, so text that runs past the
// right edge is cut and coordinates outside the grid are harmless.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/console/color.h"

namespace rt::con {

struct Cell {
  std::uint8_t ch = ' ';
  Attr attr = make_attr(7, 0);
  friend bool operator==(const Cell&, const Cell&) = default;
};

// Frame characters in code page 850, in the order top-left, top, top-right,
// right, bottom-right, bottom, bottom-left, left.
extern const char kFrameSingle[9];
extern const char kFrameDouble[9];

class Screen {
 public:
  static constexpr int kRows = 25;
  static constexpr int kCols = 80;

  Screen(int rows = kRows, int cols = kCols);

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  bool inside(int r, int c) const { return r >= 0 && r < rows_ && c >= 0 && c < cols_; }
  // The cell at (r, c); a blank cell for positions outside the grid.
  const Cell& at(int r, int c) const;

  // Writes text from (r, c) along the row; what falls outside is dropped.
  void put(int r, int c, std::string_view text, Attr attr);
  // Fills a rectangle (inclusive corners) with one character.
  void fill(int top, int left, int bottom, int right, std::uint8_t ch, Attr attr);
  // Draws a frame of 8 characters on the rectangle's edge; the inside is
  // filled with the ninth character when there is one.
  void box(int top, int left, int bottom, int right, std::string_view frame, Attr attr);
  // Moves the rectangle's content up by v rows (down when negative) and left
  // by h columns (right when negative), blanking what is uncovered; with v
  // and h 0 the rectangle is cleared.
  void scroll(int top, int left, int bottom, int right, int v, int h, Attr blank);
  // Changes the colour of a rectangle, keeping its characters.
  void recolor(int top, int left, int bottom, int right, Attr attr);

  // A rectangle's cells as character and attribute bytes interleaved, row
  // by row (the part of the rectangle inside the grid).
  std::string save(int top, int left, int bottom, int right) const;
  // Puts back what save() returned for the same rectangle; a shorter text
  // restores as many cells as it holds.
  void restore(int top, int left, int bottom, int right, std::string_view saved);
  // n cells from (r, c) onwards, continuing on the next rows, as character
  // and attribute bytes interleaved.
  std::string screenstr(int r, int c, int n) const;
  // The characters of one row.
  std::string row_text(int r) const;

  // Rows changed since the last clear_dirty(); back ends send only those.
  bool row_dirty(int r) const { return r >= 0 && r < rows_ && dirty_[static_cast<std::size_t>(r)] != 0; }
  void clear_dirty();
  void mark_all_dirty();

 private:
  struct Rect {
    int top, left, bottom, right;
    bool empty() const { return top > bottom || left > right; }
  };
  Rect clip(int top, int left, int bottom, int right) const;
  Cell& cell(int r, int c) { return cells_[static_cast<std::size_t>(r) * cols_ + c]; }
  void set(int r, int c, Cell v);

  int rows_, cols_;
  std::vector<Cell> cells_;
  std::vector<std::uint8_t> dirty_;
};

// The characters of a SCREENSTR text: every other byte, starting with the
// first.
std::string charodd(std::string_view s);

}  // namespace rt::con

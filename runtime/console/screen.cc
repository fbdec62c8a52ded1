#include "runtime/console/screen.h"

#include <algorithm>

namespace rt::con {

const char kFrameSingle[9] = {'\xDA', '\xC4', '\xBF', '\xB3', '\xD9', '\xC4', '\xC0', '\xB3', 0};
const char kFrameDouble[9] = {'\xC9', '\xCD', '\xBB', '\xBA', '\xBC', '\xCD', '\xC8', '\xBA', 0};

Screen::Screen(int rows, int cols)
    : rows_(std::clamp(rows, 1, 200)),
      cols_(std::clamp(cols, 1, 400)),
      cells_(static_cast<std::size_t>(rows_) * cols_),
      dirty_(static_cast<std::size_t>(rows_), 1) {}

const Cell& Screen::at(int r, int c) const {
  static const Cell kBlank;
  if (!inside(r, c)) return kBlank;
  return cells_[static_cast<std::size_t>(r) * cols_ + c];
}

void Screen::set(int r, int c, Cell v) {
  Cell& target = cell(r, c);
  if (target == v) return;
  target = v;
  dirty_[static_cast<std::size_t>(r)] = 1;
}

Screen::Rect Screen::clip(int top, int left, int bottom, int right) const {
  return Rect{std::max(top, 0), std::max(left, 0), std::min(bottom, rows_ - 1), std::min(right, cols_ - 1)};
}

void Screen::put(int r, int c, std::string_view text, Attr attr) {
  if (r < 0 || r >= rows_) return;
  // The part of the text inside the row, written cell by cell; the row is
  // marked changed only when a cell really changes.
  const long first = std::max(0L, -static_cast<long>(c));
  const long last = std::min(static_cast<long>(text.size()), static_cast<long>(cols_) - c);
  if (first >= last) return;
  Cell* row = &cell(r, 0);
  bool changed = false;
  for (long i = first; i < last; ++i) {
    const Cell v{static_cast<std::uint8_t>(text[static_cast<std::size_t>(i)]), attr};
    Cell& target = row[c + i];
    if (target == v) continue;
    target = v;
    changed = true;
  }
  if (changed) dirty_[static_cast<std::size_t>(r)] = 1;
}

void Screen::fill(int top, int left, int bottom, int right, std::uint8_t ch, Attr attr) {
  const Rect a = clip(top, left, bottom, right);
  if (a.empty()) return;
  for (int r = a.top; r <= a.bottom; ++r) {
    for (int c = a.left; c <= a.right; ++c) set(r, c, Cell{ch, attr});
  }
}

void Screen::box(int top, int left, int bottom, int right, std::string_view frame, Attr attr) {
  if (top > bottom || left > right) return;
  auto ch = [&](std::size_t i) { return static_cast<std::uint8_t>(i < frame.size() ? frame[i] : ' '); };
  if (frame.size() > 8) fill(top + 1, left + 1, bottom - 1, right - 1, ch(8), attr);
  auto point = [&](int r, int c, std::uint8_t v) {
    if (inside(r, c)) set(r, c, Cell{v, attr});
  };
  for (int c = left + 1; c < right; ++c) {
    point(top, c, ch(1));
    point(bottom, c, ch(5));
  }
  for (int r = top + 1; r < bottom; ++r) {
    point(r, left, ch(7));
    point(r, right, ch(3));
  }
  point(top, left, ch(0));
  point(top, right, ch(2));
  point(bottom, right, ch(4));
  point(bottom, left, ch(6));
}

void Screen::scroll(int top, int left, int bottom, int right, int v, int h, Attr blank) {
  const Rect a = clip(top, left, bottom, right);
  if (a.empty()) return;
  const int height = a.bottom - a.top + 1;
  const int width = a.right - a.left + 1;
  if ((v == 0 && h == 0) || std::abs(static_cast<long>(v)) >= height || std::abs(static_cast<long>(h)) >= width) {
    fill(a.top, a.left, a.bottom, a.right, ' ', blank);
    return;
  }
  std::vector<Cell> copy;
  copy.reserve(static_cast<std::size_t>(height) * width);
  for (int r = a.top; r <= a.bottom; ++r) {
    for (int c = a.left; c <= a.right; ++c) copy.push_back(cell(r, c));
  }
  for (int r = a.top; r <= a.bottom; ++r) {
    for (int c = a.left; c <= a.right; ++c) {
      const int sr = r + v, sc = c + h;
      Cell v_cell{' ', blank};
      if (sr >= a.top && sr <= a.bottom && sc >= a.left && sc <= a.right) {
        v_cell = copy[static_cast<std::size_t>(sr - a.top) * width + (sc - a.left)];
      }
      set(r, c, v_cell);
    }
  }
}

void Screen::recolor(int top, int left, int bottom, int right, Attr attr) {
  const Rect a = clip(top, left, bottom, right);
  if (a.empty()) return;
  for (int r = a.top; r <= a.bottom; ++r) {
    Cell* row = &cell(r, 0);
    bool changed = false;
    for (int c = a.left; c <= a.right; ++c) {
      if (row[c].attr == attr) continue;
      row[c].attr = attr;
      changed = true;
    }
    if (changed) dirty_[static_cast<std::size_t>(r)] = 1;
  }
}

std::string Screen::save(int top, int left, int bottom, int right) const {
  const Rect a = clip(top, left, bottom, right);
  std::string out;
  if (a.empty()) return out;
  out.reserve(static_cast<std::size_t>(a.bottom - a.top + 1) * (a.right - a.left + 1) * 2);
  for (int r = a.top; r <= a.bottom; ++r) {
    for (int c = a.left; c <= a.right; ++c) {
      const Cell& v = at(r, c);
      out += static_cast<char>(v.ch);
      out += static_cast<char>(v.attr);
    }
  }
  return out;
}

void Screen::restore(int top, int left, int bottom, int right, std::string_view saved) {
  const Rect a = clip(top, left, bottom, right);
  if (a.empty()) return;
  std::size_t i = 0;
  for (int r = a.top; r <= a.bottom; ++r) {
    for (int c = a.left; c <= a.right; ++c) {
      if (i + 2 > saved.size()) return;
      set(r, c, Cell{static_cast<std::uint8_t>(saved[i]), static_cast<Attr>(saved[i + 1])});
      i += 2;
    }
  }
}

std::string Screen::screenstr(int r, int c, int n) const {
  std::string out;
  if (n <= 0) return out;
  out.reserve(2 * static_cast<std::size_t>(n));
  long pos = static_cast<long>(r) * cols_ + c;
  const long end = std::min(pos + static_cast<long>(n), static_cast<long>(cells_.size()));
  pos = std::max(pos, 0L);
  for (; pos < end; ++pos) {
    const Cell& v = cells_[static_cast<std::size_t>(pos)];
    out += static_cast<char>(v.ch);
    out += static_cast<char>(v.attr);
  }
  return out;
}

std::string Screen::row_text(int r) const {
  std::string out;
  if (r < 0 || r >= rows_) return out;
  out.resize(static_cast<std::size_t>(cols_));
  const Cell* row = &cells_[static_cast<std::size_t>(r) * cols_];
  for (int c = 0; c < cols_; ++c) out[static_cast<std::size_t>(c)] = static_cast<char>(row[c].ch);
  return out;
}

void Screen::clear_dirty() { std::fill(dirty_.begin(), dirty_.end(), 0); }
void Screen::mark_all_dirty() { std::fill(dirty_.begin(), dirty_.end(), 1); }

std::string charodd(std::string_view s) {
  std::string out;
  out.reserve(s.size() / 2 + 1);
  for (std::size_t i = 0; i < s.size(); i += 2) out += s[i];
  return out;
}

}  // namespace rt::con

#include "runtime/console/browse.h"

#include <algorithm>
#include <optional>

#include "runtime/console/picture.h"
#include "runtime/text/convert.h"

namespace rt::con {

// ------------------------------------------------------------ MemorySource

void MemorySource::append(std::vector<Value> row) {
  row.resize(fields_.size());
  rows_.push_back(std::move(row));
}

long MemorySource::skip(long n) {
  if (rows_.empty()) return 0;
  if (pos_ >= rows_.size()) pos_ = rows_.size() - 1;
  const long last = static_cast<long>(rows_.size()) - 1;
  const long from = static_cast<long>(pos_);
  const long to = std::clamp(from + n, 0L, last);
  pos_ = static_cast<std::size_t>(to);
  return to - from;
}

Value MemorySource::value(const std::string& field) {
  ++reads_;
  if (pos_ >= rows_.size()) return Value();
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].name == field) return rows_[pos_][i];
  }
  return Value();
}

int MemorySource::width(const std::string& field) {
  for (const Field& f : fields_) {
    if (f.name == field) return f.width;
  }
  return 10;
}

// ------------------------------------------------------------------ Browse

namespace {

class Browse {
 public:
  Browse(Console& con, BrowseSource& src, const BrowseLayout& spec) : con_(con), src_(src), spec_(spec) {}

  void run() {
    if (spec_.columns.empty()) return;
    data_top_ = spec_.top + 1 + (spec_.heading_sep.empty() ? 0 : 1);
    nrows_ = spec_.bottom - data_top_ + 1;
    width_ = spec_.right - spec_.left + 1;
    if (nrows_ < 1 || width_ < 1) return;
    layout();
    if (src_.at_end()) src_.go_top();
    draw_headings();
    refresh(true);

    bool idle_due = true;
    while (true) {
      if (idle_due && !con_.key_pending()) {
        idle_due = false;
        if (!call(empty_ ? kEmpty : kIdle)) return;
        continue;
      }
      const int k = con_.wait_key_for_form();
      if (empty_) {
        if (!call(kEmpty)) return;
        continue;
      }
      const Move m = move(k);
      if (m == Move::NotMine) {
        if (!call(kKeyException)) return;
        idle_due = true;
        continue;
      }
      const int mode = m == Move::Top ? kTop : m == Move::Bottom ? kBottom : kIdle;
      if (!call(mode)) return;
    }
  }

 private:
  enum class Move { Moved, Top, Bottom, NotMine };

  struct Col {
    const BrowseColumn* spec;
    Picture pic;
    int width;
    bool numeric;
  };

  // Calls the user routine and carries out its answer; false ends the browse.
  bool call(int mode) {
    if (!spec_.user) {
      const int k = con_.lastkey();
      return !(mode != kIdle && (k == key::kEsc || k == key::kEnter));
    }
    const int result = spec_.user(mode, cur_col_ + 1);
    if (result == kAbort) return false;
    if (result == kRefresh) {
      refresh(true);
    } else {
      resync();
    }
    // The routine may have recoloured the rows (colouring lines by their
    // content); the current cell stays visible all the same.
    mark_current();
    return true;
  }

  void mark_current() {
    if (empty_) return;
    auto [x0, x1] = current_span();
    if (x1 < x0) return;
    con_.screen().recolor(data_top_ + cur_row_, x0, data_top_ + cur_row_, x1, con_.colors().enhanced());
  }

  void layout() {
    cols_.clear();
    positions_for_ = -1;
    for (const BrowseColumn& c : spec_.columns) {
      Col col{&c, Picture::parse(c.picture), 0, false};
      const int natural = col.pic.mask.empty() ? src_.width(c.field) : static_cast<int>(col.pic.mask.size());
      const std::string& head = c.heading.empty() ? c.field : c.heading;
      col.width = c.width > 0 ? c.width : std::max({natural, static_cast<int>(head.size()), 1});
      if (!src_.at_end()) col.numeric = src_.value(c.field).is_number();
      cols_.push_back(std::move(col));
    }
  }

  // The screen columns of the visible columns, from first_col_ on (worked
  // out again only when the first column changes).
  const std::vector<std::pair<int, int>>& positions() const {
    if (positions_for_ == first_col_) return positions_;
    positions_.clear();  // (column index, x)
    int x = spec_.left;
    for (int i = first_col_; i < static_cast<int>(cols_.size()); ++i) {
      if (x > spec_.right) break;
      positions_.emplace_back(i, x);
      x += cols_[static_cast<std::size_t>(i)].width + static_cast<int>(spec_.column_sep.size());
    }
    positions_for_ = first_col_;
    return positions_;
  }

  void draw_headings() {
    const Attr a = con_.standard();
    std::string line(static_cast<std::size_t>(width_), ' ');
    std::string sep_line;
    if (!spec_.heading_sep.empty()) {
      while (static_cast<int>(sep_line.size()) < width_) sep_line += spec_.heading_sep;
      sep_line.resize(static_cast<std::size_t>(width_));
    }
    for (auto [i, x] : positions()) {
      const Col& c = cols_[static_cast<std::size_t>(i)];
      const std::string& head = c.spec->heading.empty() ? c.spec->field : c.spec->heading;
      std::string cell = c.numeric ? text::pad_left(head, static_cast<std::size_t>(c.width))
                                   : text::pad_right(head, static_cast<std::size_t>(c.width));
      place(line, x - spec_.left, cell);
    }
    con_.put(spec_.top, spec_.left, line, a);
    if (!sep_line.empty()) con_.put(spec_.top + 1, spec_.left, sep_line, a);
  }

  static void place(std::string& line, int at, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const long p = at + static_cast<long>(i);
      if (p >= 0 && p < static_cast<long>(line.size())) line[static_cast<std::size_t>(p)] = text[i];
    }
  }

  // The current row's text across the window.
  std::string read_row() {
    std::string line(static_cast<std::size_t>(width_), ' ');
    bool first = true;
    for (auto [i, x] : positions()) {
      Col& c = cols_[static_cast<std::size_t>(i)];
      if (!first) place(line, x - spec_.left - static_cast<int>(spec_.column_sep.size()), spec_.column_sep);
      first = false;
      const Value v = src_.value(c.spec->field);
      c.numeric = v.is_number();
      std::string cell = transform(v, c.pic, src_.width(c.spec->field), con_.settings().century);
      if (static_cast<int>(cell.size()) > c.width) cell.resize(static_cast<std::size_t>(c.width));
      // The line is blank: a number stands at the column's right edge, a
      // text at its left.
      const int pad = c.numeric ? c.width - static_cast<int>(cell.size()) : 0;
      place(line, x - spec_.left + pad, cell);
    }
    return line;
  }

  // The screen span of the current column.
  std::pair<int, int> current_span() const {
    for (auto [i, x] : positions()) {
      if (i == cur_col_) return {x, std::min(x + cols_[static_cast<std::size_t>(i)].width - 1, spec_.right)};
    }
    return {spec_.left, spec_.left - 1};
  }

  // Writes window row i when its text or highlight changed.
  void draw_row(int i, bool force) {
    auto& shown = shown_[static_cast<std::size_t>(i)];
    const bool hl = i == cur_row_ && !empty_;
    const std::string& text = texts_[static_cast<std::size_t>(i)];
    if (!force && shown.text == text && shown.highlight == hl && shown.col == cur_col_) return;
    const int r = data_top_ + i;
    con_.put(r, spec_.left, text, con_.standard());
    if (hl) {
      auto [x0, x1] = current_span();
      con_.screen().recolor(r, x0, r, x1, con_.colors().enhanced());
      con_.setpos(r, x0);
    }
    shown = Shown{text, hl, cur_col_};
  }

  // Re-reads every row around the current one, keeping the current row's
  // place in the window where the rows allow.
  void refresh(bool force) {
    const auto batch = src_.screen_batch();
    texts_.assign(static_cast<std::size_t>(nrows_), std::string(static_cast<std::size_t>(width_), ' '));
    recnos_.assign(static_cast<std::size_t>(nrows_), 0);
    marks_.assign(static_cast<std::size_t>(nrows_), BrowseSource::RowMark{});
    if (shown_.size() != static_cast<std::size_t>(nrows_)) shown_.assign(static_cast<std::size_t>(nrows_), Shown{});
    if (src_.at_end()) src_.go_bottom();
    empty_ = src_.at_end();
    if (empty_) {
      cur_row_ = 0;
      for (int i = 0; i < nrows_; ++i) draw_row(i, force);
      return;
    }
    const std::uint64_t current = src_.recno();
    const long back = -src_.skip(-cur_row_);
    cur_row_ = static_cast<int>(back);
    for (int i = 0; i < nrows_; ++i) {
      if (i > 0 && src_.skip(1) != 1) break;
      recnos_[static_cast<std::size_t>(i)] = src_.recno();
      texts_[static_cast<std::size_t>(i)] = read_row();
      marks_[static_cast<std::size_t>(i)] = src_.row_mark();
    }
    src_.go_to(current);
    for (int i = 0; i < nrows_; ++i) draw_row(i, force);
  }

  // After the user routine: follow a moved record, re-read the current row.
  void resync() {
    if (src_.at_end() || empty_ || src_.recno() != recnos_[static_cast<std::size_t>(cur_row_)]) {
      refresh(false);
      return;
    }
    // A row the source marks as unchanged is not read again.
    const auto i = static_cast<std::size_t>(cur_row_);
    const BrowseSource::RowMark mark = src_.row_mark();
    if (!mark.known || !(mark == marks_[i])) {
      texts_[i] = read_row();
      marks_[i] = mark;
    }
    draw_row(cur_row_, false);
  }

  void set_current_row(int i) {
    const int old = cur_row_;
    cur_row_ = i;
    draw_row(old, false);
    draw_row(cur_row_, false);
  }

  Move down() {
    if (src_.skip(1) != 1) return Move::Bottom;
    if (cur_row_ + 1 < nrows_ && recnos_[static_cast<std::size_t>(cur_row_ + 1)] == src_.recno()) {
      set_current_row(cur_row_ + 1);
      return Move::Moved;
    }
    // At the window's last row: the rows move up one line, one new row is read.
    con_.screen().scroll(data_top_, spec_.left, spec_.bottom, spec_.right, 1, 0, con_.standard());
    std::rotate(texts_.begin(), texts_.begin() + 1, texts_.end());
    std::rotate(recnos_.begin(), recnos_.begin() + 1, recnos_.end());
    std::rotate(shown_.begin(), shown_.begin() + 1, shown_.end());
    std::rotate(marks_.begin(), marks_.begin() + 1, marks_.end());
    texts_.back() = read_row();
    marks_.back() = src_.row_mark();
    recnos_.back() = src_.recno();
    shown_.back() = Shown{};
    draw_row(cur_row_ - 1 >= 0 ? cur_row_ - 1 : 0, false);
    draw_row(cur_row_, true);
    return Move::Moved;
  }

  Move up() {
    if (src_.skip(-1) != -1) return Move::Top;
    if (cur_row_ > 0 && recnos_[static_cast<std::size_t>(cur_row_ - 1)] == src_.recno()) {
      set_current_row(cur_row_ - 1);
      return Move::Moved;
    }
    con_.screen().scroll(data_top_, spec_.left, spec_.bottom, spec_.right, -1, 0, con_.standard());
    std::rotate(texts_.rbegin(), texts_.rbegin() + 1, texts_.rend());
    std::rotate(recnos_.rbegin(), recnos_.rbegin() + 1, recnos_.rend());
    std::rotate(shown_.rbegin(), shown_.rbegin() + 1, shown_.rend());
    std::rotate(marks_.rbegin(), marks_.rbegin() + 1, marks_.rend());
    texts_.front() = read_row();
    marks_.front() = src_.row_mark();
    recnos_.front() = src_.recno();
    shown_.front() = Shown{};
    if (nrows_ > 1) draw_row(1, false);
    draw_row(0, true);
    return Move::Moved;
  }

  int last_filled() const {
    int last = 0;
    for (int i = 0; i < nrows_; ++i) {
      if (recnos_[static_cast<std::size_t>(i)] != 0) last = i;
    }
    return last;
  }

  void set_column(int c) {
    c = std::clamp(c, 0, static_cast<int>(cols_.size()) - 1);
    if (c == cur_col_) return;
    cur_col_ = c;
    // Pan so the current column is on the screen.
    bool pan = false;
    if (cur_col_ < first_col_) {
      first_col_ = cur_col_;
      pan = true;
    }
    while (true) {
      auto pos = positions();
      bool seen = false;
      for (auto [i, x] : pos) {
        if (i == cur_col_ && x + cols_[static_cast<std::size_t>(i)].width - 1 <= spec_.right) seen = true;
      }
      if (seen || first_col_ >= cur_col_) break;
      ++first_col_;
      pan = true;
    }
    if (pan) {
      draw_headings();
      refresh(true);
    } else {
      draw_row(cur_row_, false);
    }
  }

  Move move(int k) {
    switch (k) {
      case key::kDown: return down();
      case key::kUp: return up();
      case key::kPgDn: {
        if (cur_row_ < last_filled()) {
          src_.go_to(recnos_[static_cast<std::size_t>(last_filled())]);
          set_current_row(last_filled());
          return Move::Moved;
        }
        if (src_.skip(nrows_) == 0) return Move::Bottom;
        refresh(false);
        return Move::Moved;
      }
      case key::kPgUp: {
        if (cur_row_ > 0) {
          src_.go_to(recnos_[0]);
          set_current_row(0);
          return Move::Moved;
        }
        if (src_.skip(-nrows_) == 0) return Move::Top;
        refresh(false);
        return Move::Moved;
      }
      case key::kCtrlPgUp: {
        const std::uint64_t was = src_.recno();
        src_.go_top();
        if (src_.recno() == was) return Move::Top;
        cur_row_ = 0;
        refresh(false);
        return Move::Moved;
      }
      case key::kCtrlPgDn: {
        const std::uint64_t was = src_.recno();
        src_.go_bottom();
        if (src_.recno() == was) return Move::Bottom;
        cur_row_ = nrows_ - 1;
        refresh(false);
        return Move::Moved;
      }
      case key::kLeft: set_column(cur_col_ - 1); return Move::Moved;
      case key::kRight: set_column(cur_col_ + 1); return Move::Moved;
      case key::kHome: set_column(first_col_); return Move::Moved;
      case key::kEnd: {
        auto pos = positions();
        set_column(pos.empty() ? cur_col_ : pos.back().first);
        return Move::Moved;
      }
      case key::kCtrlHome: set_column(0); return Move::Moved;
      case key::kCtrlEnd: set_column(static_cast<int>(cols_.size()) - 1); return Move::Moved;
      case key::kCtrlLeft: set_column(first_col_ > 0 ? first_col_ - 1 : 0); return Move::Moved;
      case key::kCtrlRight: set_column(cur_col_ + 1); return Move::Moved;
      default: return Move::NotMine;
    }
  }

  struct Shown {
    std::string text;
    bool highlight = false;
    int col = -1;
  };

  Console& con_;
  BrowseSource& src_;
  const BrowseLayout& spec_;
  std::vector<Col> cols_;
  mutable std::vector<std::pair<int, int>> positions_;
  mutable int positions_for_ = -1;
  std::vector<std::string> texts_;
  std::vector<std::uint64_t> recnos_;
  std::vector<BrowseSource::RowMark> marks_;
  std::vector<Shown> shown_;
  int data_top_ = 0, nrows_ = 0, width_ = 0;
  int cur_row_ = 0, cur_col_ = 0, first_col_ = 0;
  bool empty_ = false;
};

}  // namespace

void dbedit(Console& con, BrowseSource& source, const BrowseLayout& spec) { Browse(con, source, spec).run(); }

}  // namespace rt::con

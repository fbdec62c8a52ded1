// DBEDIT: the browse of a table's rows in a screen window, with the user
// routine protocol.  It reads its rows through BrowseSource, so it works on
// a work area (see runtime/areabrowse/workarea_source.h) or on rows in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/console/console.h"
#include "runtime/text/value.h"

namespace rt::con {

// The rows of a browse in their current order, with a current row.
class BrowseSource {
 public:
  virtual ~BrowseSource() = default;
  virtual void go_top() = 0;
  virtual void go_bottom() = 0;
  // Moves up to n rows (back when negative) and stops on the first or last
  // row; returns the number of rows actually moved (negative going back).
  virtual long skip(long n) = 0;
  // True when there is no current row (no rows at all, or the current one
  // went away).
  virtual bool at_end() = 0;
  // The current row's identity (the record number).
  virtual std::uint64_t recno() = 0;
  virtual void go_to(std::uint64_t recno) = 0;
  // A column's value on the current row, and the column's natural width
  // (the field's length).
  virtual Value value(const std::string& field) = 0;
  virtual int width(const std::string& field) = 0;
  // Held while the browse reads a screen of rows, moving over them and back
  // to the current row at the end: a source that reads shared files takes
  // those reads as one batch, and may leave what follows its current row
  // alone until that last move.  Nothing by default.
  virtual std::shared_ptr<void> screen_batch() { return nullptr; }

  // What the current row's values depend on, when the source knows it: two
  // equal known marks mean the row reads the same, so the browse does not
  // read it again after every key.  Unknown by default (read every time).
  struct RowMark {
    bool known = false;
    std::uint64_t a = 0, b = 0, c = 0;
    friend bool operator==(const RowMark&, const RowMark&) = default;
  };
  virtual RowMark row_mark() { return {}; }
};

struct BrowseColumn {
  std::string field;    // handed to BrowseSource::value
  std::string heading;  // "" shows the field name
  std::string picture;
  int width = 0;        // columns on the screen; 0 = the wider of heading and value
};

// Modes the user routine is called with, and what it answers.
enum BrowseMode { kIdle = 0, kTop = 1, kBottom = 2, kEmpty = 3, kKeyException = 4 };
enum BrowseResult { kAbort = 0, kContinue = 1, kRefresh = 2 };
using BrowseUserFunc = std::function<int(int mode, int column)>;

// Where a browse sits on the screen, its columns and its user routine.
struct BrowseLayout {
  int top = 0, left = 0, bottom = 24, right = 79;
  std::vector<BrowseColumn> columns;
  BrowseUserFunc user;        // without one, Esc and Enter end the browse
  std::string heading_sep;    // repeated under the headings ("" = no line)
  std::string column_sep = " ";
};

// Runs the browse until the user routine answers 0 (or, without a user
// routine, until Esc or Enter).  The keys the browse moves with: Up, Down,
// PgUp, PgDn, Ctrl+PgUp, Ctrl+PgDn, Left, Right, Home, End, Ctrl+Home,
// Ctrl+End, Ctrl+Left, Ctrl+Right.  Every other key goes to the user routine
// (mode 4; mode 3 while there are no rows).  The user routine is also
// called when no key waits (mode 0, or 3 once at the start while there are
// no rows), and right after every movement key (mode 0, or 1 / 2 when the
// movement ran into the first or last row), so it sees LASTKEY() of every
// key in the order typed.
void dbedit(Console& con, BrowseSource& source, const BrowseLayout& spec);

// Rows held in memory, for tests, demos and small lists.
class MemorySource final : public BrowseSource {
 public:
  struct Field {
    std::string name;
    int width;
  };
  explicit MemorySource(std::vector<Field> fields) : fields_(std::move(fields)) {}
  void append(std::vector<Value> row);
  std::vector<Value>& row(std::size_t i) { return rows_[i]; }
  std::size_t size() const { return rows_.size(); }
  // Reads through this source (to measure how much the browse reads).
  long reads() const { return reads_; }

  void go_top() override { pos_ = 0; }
  void go_bottom() override { pos_ = rows_.empty() ? 0 : rows_.size() - 1; }
  long skip(long n) override;
  bool at_end() override { return pos_ >= rows_.size(); }
  std::uint64_t recno() override { return pos_ + 1; }
  void go_to(std::uint64_t recno) override { pos_ = recno == 0 ? rows_.size() : recno - 1; }
  Value value(const std::string& field) override;
  int width(const std::string& field) override;

 private:
  std::vector<Field> fields_;
  std::vector<std::vector<Value>> rows_;
  std::size_t pos_ = 0;
  long reads_ = 0;
};

}  // namespace rt::con

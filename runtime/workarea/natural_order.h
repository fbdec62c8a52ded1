// The table's physical order: record 1, 2, ... up to the record count.  The
// count is re-read when a move goes past the last record known (and for the
// last record), so that records other programs append become visible.
#pragma once

#include "runtime/table/table.h"
#include "runtime/workarea/order.h"

namespace rt::wa {

class NaturalOrder : public Order {
 public:
  explicit NaturalOrder(table::Table& table) : table_(table) {}
  RecNo first() override { return table_.has_record(1) ? 1 : 0; }
  RecNo last() override { return table_.record_count(); }
  RecNo next(RecNo recno) override { return table_.has_record(recno + 1) ? recno + 1 : 0; }
  RecNo prev(RecNo recno) override {
    if (recno <= 1) return 0;
    return table_.has_record(recno - 1) ? recno - 1 : table_.record_count();
  }

 private:
  table::Table& table_;
};

}  // namespace rt::wa

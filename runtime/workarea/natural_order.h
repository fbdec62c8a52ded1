// The table's physical order: record 1, 2, ... up to the record count, which
// is re-read so that records other programs append become visible.
#pragma once

#include "runtime/table/table.h"
#include "runtime/workarea/order.h"

namespace rt::wa {

class NaturalOrder : public Order {
 public:
  explicit NaturalOrder(table::Table& table) : table_(table) {}
  RecNo first() override { return table_.record_count() ? 1 : 0; }
  RecNo last() override { return table_.record_count(); }
  RecNo next(RecNo recno) override { return recno < table_.record_count() ? recno + 1 : 0; }
  RecNo prev(RecNo recno) override {
    const RecNo count = table_.record_count();
    if (recno > count + 1) return count;
    return recno > 1 ? recno - 1 : 0;
  }

 private:
  table::Table& table_;
};

}  // namespace rt::wa

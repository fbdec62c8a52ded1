// The order in which a work area visits its records, and the hook through
// which index maintenance sees record writes.
//
// Navigation (top, skip, goto) asks the area's active order for record
// numbers; the natural order is the table's physical order.  An index order
// (a CDX tag) implements the same interface.  Every open order bag of an area
// (active or not) registers a RecordWriteObserver, which sees each record
// write as the record's image before and after the change.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace rt::wa {

using RecNo = std::uint32_t;  // 1-based; 0 = no record

class Order {
 public:
  virtual ~Order() = default;
  // The first / last record in this order, 0 when there is none.
  virtual RecNo first() = 0;
  virtual RecNo last() = 0;
  // The record after / before recno in this order, 0 when there is none.
  virtual RecNo next(RecNo recno) = 0;
  virtual RecNo prev(RecNo recno) = 0;
};

class RecordWriteObserver {
 public:
  virtual ~RecordWriteObserver() = default;
  // Called before a record is written (recno 0 and `before` empty for an
  // append, `after` then the blank record).  Returns what must be held until
  // record_written has run (the order bags' locks), or nullptr.  Throws when
  // the write must not happen (a bag another program holds locked, a
  // damaged bag): then nothing is written.
  virtual std::shared_ptr<void> prepare_write(RecNo recno, std::string_view before, std::string_view after) {
    (void)recno, (void)before, (void)after;
    return nullptr;
  }
  // Called for every record the area writes, after the table holds the new
  // image.  `before` is empty for a record just appended.  Images are the
  // raw record bytes (deletion flag first).
  virtual void record_written(RecNo recno, std::string_view before, std::string_view after) = 0;
  // Called by Area::commit once the table is committed: what the observer
  // holds back (a scratch table's bag) goes to its files.
  virtual void commit() {}
  // Called when the area is closed but its table kept open for a later use
  // (WorkAreas::keep_open): what belonged to this use of the area
  // (relations, the order chosen) goes back to how opening the table with
  // its bags leaves it.
  virtual void kept_open() {}
};

}  // namespace rt::wa

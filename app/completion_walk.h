// Which captured unit goes to which traceability record of a ticket.
//
// The check table keeps, per line, one 100-character unit slot per captured
// unit in its memo SERIES (serial 20, lot 10, expiry YYYYMMDD or blanks 8,
// "@@", the scanned code 60).  The ticket's traceability records carry the
// product's barcode and wait to be filled.  The plan decides, without
// touching any table, what the completion does with every record:
//
//   - records of one product take that product's slots in order, wherever
//     the records stand among the other products' records, so no slot is
//     given to two records and none is passed over;
//   - a slot whose serial already stands in a record of the product goes
//     back to that record (a later completion of the same ticket), or, when
//     that record is not to be touched, is not given to any other record;
//   - a record that already holds a unit's data and gets no slot keeps it
//     (a later completion without new scans never wipes earlier units);
//   - in a cancel-voucher run records that have a serial are passed over;
//   - a record marked by another program (ARCH_ASO neither blank nor "?"),
//     or already filled by a completion ("?" and holding a unit's data), is
//     left alone and takes no slot: a unit once recorded is never
//     overwritten, whichever station comes later;
//   - a captured unit (one that carries a serial or a code) that no record
//     takes is unrecorded, also when its product has no record at all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace app::completion {

inline constexpr std::size_t kSlotWidth = 100;

// One unit slot's parts.  A slot cut short (a damaged memo) gives shorter
// or empty parts: characters beyond the memo's end read as nothing.
struct SlotFields {
  std::string serial;   // 20
  std::string lot;      // 10
  std::string expiry;   // 8: YYYYMMDD or blanks
  std::string code;     // 60: the scanned code, group separators as "@"
};
SlotFields slot_fields(std::string_view slot);

// The slots of one SERIES memo, in the order captured (the last one may be
// short when the memo's length is not a multiple of 100).
std::vector<std::string> split_slots(std::string_view series);

// A captured unit of a product: its slot and the check line it came from.
struct Unit {
  std::string slot;
  std::string descrip;  // DESCRIP of its check line, at its stored width
};

// What the completion knows of one traceability record before it writes.
struct RecordInfo {
  double cod_bar = 0;
  std::string serie;     // SERIE as stored
  std::string arch_aso;  // ARCH_ASO as stored
  bool holds_data = false;  // serial, lot, expiry or code not blank
};

enum class Action {
  Skip,        // cancel-voucher run: the record already has a serial
  LeaveAlone,  // marked by another program
  Keep,        // holds a unit already and no slot is left for it
  Fill,        // written from `unit` (or blank when `unit` < 0) and marked "?"
};

struct RecordPlan {
  Action action = Action::Skip;
  int unit = -1;  // index into the product's units when filled from a slot
};

// Whether the station may write this record (read under its lock).
bool writable(const RecordInfo& record, bool cancel_voucher);

// Whether a slot holds a captured unit (a serial or a scanned code); the
// slots of products that are not traced are blank.
bool carries_unit(std::string_view slot);

// A captured unit of a product by its place among the product's units.
struct UnitRef {
  double cod_bar = 0;
  std::size_t unit = 0;
};

struct WalkPlan {
  std::vector<RecordPlan> records;  // one per record, same order
  std::vector<UnitRef> unrecorded;  // captured units that found no record
};

// records: the ticket's records in walk order; products: every product
// with captured units; units_of(cod_bar): the captured units of that
// product (all its check lines, in the table's order).
template <class UnitsOf>
WalkPlan plan_walk(const std::vector<RecordInfo>& records, const std::vector<double>& products, UnitsOf&& units_of,
                   bool cancel_voucher);

// The plan for one product: the positions of its records in `records`.
void plan_product(const std::vector<RecordInfo>& records, const std::vector<std::size_t>& mine, double cod_bar,
                  const std::vector<Unit>& units, bool cancel_voucher, WalkPlan& plan);

template <class UnitsOf>
WalkPlan plan_walk(const std::vector<RecordInfo>& records, const std::vector<double>& products, UnitsOf&& units_of,
                   bool cancel_voucher) {
  WalkPlan plan;
  plan.records.resize(records.size());
  std::vector<double> all;
  const auto add = [&all](double p) {
    for (double q : all)
      if (q == p) return;
    all.push_back(p);
  };
  for (const auto& r : records) add(r.cod_bar);
  for (double p : products) add(p);
  for (double p : all) {
    std::vector<std::size_t> mine;
    for (std::size_t i = 0; i < records.size(); ++i)
      if (records[i].cod_bar == p) mine.push_back(i);
    plan_product(records, mine, p, units_of(p), cancel_voucher, plan);
  }
  return plan;
}

}  // namespace app::completion

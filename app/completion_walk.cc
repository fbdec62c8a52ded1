#include "app/completion_walk.h"

#include <set>

#include "runtime/text/convert.h"

namespace app::completion {

namespace {

std::string part(std::string_view s, std::size_t from, std::size_t len) {
  if (from >= s.size()) return {};
  return std::string(s.substr(from, len));
}

bool blank(std::string_view s) { return rt::text::trim(s).empty(); }

}  // namespace

SlotFields slot_fields(std::string_view slot) {
  return {part(slot, 0, 20), part(slot, 20, 10), part(slot, 30, 8), part(slot, 40, 60)};
}

std::vector<std::string> split_slots(std::string_view series) {
  std::vector<std::string> out;
  for (std::size_t at = 0; at < series.size(); at += kSlotWidth) out.push_back(part(series, at, kSlotWidth));
  return out;
}

bool writable(const RecordInfo& record, bool cancel_voucher) {
  if (cancel_voucher) return blank(record.serie);
  if (blank(record.arch_aso)) return true;
  // "?": filled by a completion; only one that recorded no unit may be
  // filled again.
  return record.arch_aso.front() == '?' && !record.holds_data;
}

bool carries_unit(std::string_view slot) {
  const SlotFields f = slot_fields(slot);
  return !blank(f.serial) || !blank(f.code);
}

void plan_product(const std::vector<RecordInfo>& records, const std::vector<std::size_t>& mine, double cod_bar,
                  const std::vector<Unit>& units, bool cancel_voucher, WalkPlan& plan) {
  // What each record may do.
  for (std::size_t r : mine) {
    const RecordInfo& rec = records[r];
    RecordPlan& p = plan.records[r];
    if (cancel_voucher && !blank(rec.serie)) p.action = Action::Skip;
    else if (!writable(rec, cancel_voucher)) p.action = Action::LeaveAlone;
    else p.action = Action::Fill;
    p.unit = -1;
  }

  std::vector<bool> used(units.size(), false);
  std::set<std::string> placed;  // serials given to a record (trimmed)

  // A unit already recorded in one of the product's records stays with it.
  for (std::size_t u = 0; u < units.size(); ++u) {
    const std::string serial = rt::text::trim(slot_fields(units[u].slot).serial);
    if (serial.empty()) continue;
    for (std::size_t r : mine) {
      if (rt::text::trim(records[r].serie) != serial) continue;
      RecordPlan& p = plan.records[r];
      if (p.action == Action::Fill && p.unit < 0 && !placed.count(serial)) {
        p.unit = static_cast<int>(u);
        placed.insert(serial);
      }
      used[u] = true;  // recorded here already, or not to be recorded twice
      break;
    }
  }

  // The other units, in order, to the records still free, in order.
  std::size_t next = 0;
  for (std::size_t r : mine) {
    RecordPlan& p = plan.records[r];
    if (p.action != Action::Fill || p.unit >= 0) continue;
    while (next < units.size()) {
      const std::string serial = rt::text::trim(slot_fields(units[next].slot).serial);
      if (!used[next] && (serial.empty() || !placed.count(serial))) break;
      used[next] = true;
      ++next;
    }
    if (next < units.size()) {
      p.unit = static_cast<int>(next);
      used[next] = true;
      const std::string serial = rt::text::trim(slot_fields(units[next].slot).serial);
      if (!serial.empty()) placed.insert(serial);
      ++next;
    } else if (records[r].holds_data && !cancel_voucher) {
      p.action = Action::Keep;
    }
  }

  // Units left over found no record to go to.
  for (std::size_t u = next; u < units.size(); ++u) {
    if (used[u] || !carries_unit(units[u].slot)) continue;
    const std::string serial = rt::text::trim(slot_fields(units[u].slot).serial);
    if (!serial.empty() && placed.count(serial)) continue;  // the same unit captured twice
    if (!serial.empty()) placed.insert(serial);
    plan.unrecorded.push_back({cod_bar, u});
  }
}

}  // namespace app::completion

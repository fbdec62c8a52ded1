#include "app/check_lines.h"

#include <cstdint>

#include "app/capture.h"
#include "app/check_browse.h"
#include "app/failure.h"
#include "app/product_rules.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/guards.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"

namespace app {

using rt::Value;
using rt::text::pad_right;
using rt::text::trim;
using layout::CheckLine;
using check_lines::CheckView;

namespace check_lines {

CheckView view(CheckEnv& env) { return layout::view<CheckLine>(env.areas); }
rt::wa::Area& table(CheckEnv& env) { return env.areas.area(CheckLine::layout().name); }
rt::wa::Area& select(CheckEnv& env) { return layout::select<CheckLine>(env.areas).area(); }

bool complete(const CheckView& t) { return t.number(CheckLine::CANTID) == t.number(CheckLine::CANT_CHK); }

bool find_line(CheckEnv& env, const scan::LookupKey& key) {
  rt::wa::Area& t = select(env);
  if (key.kind == scan::LookupKind::ProductCode) {
    rt::wa::set_focus(t, "codigo");
    return rt::wa::seek(t, Value(key.code7));
  }
  rt::wa::set_focus(t, "cb");
  if (rt::wa::seek(t, Value(key.number))) return true;
  rt::wa::set_focus(t, "cp");
  if (rt::wa::seek(t, Value(key.cp14))) return true;
  const double code = extra_barcode_code(env, key.cp14);  // 0 also without the table
  select(env);
  if (code == 0) return false;
  rt::wa::set_focus(t, "codigo");
  // The product code as the suite's other programs write it (right-aligned
  // number), or zero-filled as the product codes of the check table are.
  if (rt::wa::seek(t, Value(rt::text::str(code, 7)))) return true;
  return rt::wa::seek(t, Value(tools::str_0(code, 7)));
}

void prefer_open_line(CheckEnv& env) {
  const CheckView line = view(env);
  rt::wa::Area& t = line.area();
  if (!complete(line)) return;
  const std::string tag = rt::wa::focus(t);
  if (tag.empty()) return;
  const Value key = t.get(tag);
  const rt::wa::RecNo first = t.recno();
  t.skip(1);
  while (!t.eof()) {
    const Value v = t.get(tag);
    const bool same = key.is_number() ? v.number() == key.number() : v.text() == key.text();
    if (!same) break;
    if (!complete(line)) return;
    t.skip(1);
  }
  t.go(first);
}

bool unit_already_counted(CheckEnv& env, const std::string& serial) {
  if (trim(serial).empty()) return false;
  const CheckView t = view(env);
  const std::string product = t.text(CheckLine::CODIGO);
  rt::table::Table& table = t->table();
  rt::table::Record rec = table.blank();
  const int codigo = t.index(CheckLine::CODIGO), series = t.index(CheckLine::SERIES);
  const std::uint32_t count = table.record_count();
  for (std::uint32_t n = 1; n <= count; ++n) {
    table.read_into(n, rec);
    if (rec.get(codigo).text() != product) continue;
    if (scan::serial_in_slots(table.memo(rec, series), serial)) return true;
  }
  return false;
}

// Counts one unit on the current line and appends its slot.  On a failed
// write the line is put back as it was, so count and slots stay paired.
void count_unit(CheckEnv& env) {
  const CheckView t = view(env);
  const std::string series = t.text(CheckLine::SERIES);
  const Value counted = t.get(CheckLine::CANT_CHK);
  tools::AtExit put_back([&] { t.put_fields({{CheckLine::SERIES, Value(series)}, {CheckLine::CANT_CHK, counted}}); });
  as_step("No Se Pudo Contar La Unidad", [&] {
    // One write of the line: its count and its slots change together.
    t.put_fields({{CheckLine::SERIES, Value(series + scan::unit_slot(env.check.unit))},
                  {CheckLine::CANT_CHK, Value(counted.number() + 1)},
                  {CheckLine::VEND_CHK, Value(env.run.seller)},
                  {CheckLine::HORA_CHK, Value(rt::text::time_of_day(env.con.clock().now().seconds_since_midnight))}});
  });
  put_back.dismiss();
}

}  // namespace check_lines

namespace {

// The totals of the lines that pass `take`.  The records are read straight
// from the table: the sums do not depend on the order, and the area (with
// the product that follows its current line) does not move.
template <typename Take>
void totals(CheckEnv& env, int kind, Take take) {
  const CheckView v = check_lines::view(env);
  rt::table::Table& table = v->table();
  const std::uint32_t count = table.record_count();
  CheckContext::Sums& kept = env.check.sums;
  if (table.exclusive() && kept.kind == kind && kept.areas == env.areas.generation() &&
      kept.writes == table.writes() && kept.records == count) {
    env.check.sold = kept.sold;
    env.check.counted = kept.counted;
    return;
  }
  rt::table::Record rec = table.blank();
  const int cantid = v.index(CheckLine::CANTID), cant_chk = v.index(CheckLine::CANT_CHK);
  double sold = 0, counted = 0;
  for (std::uint32_t n = 1; n <= count; ++n) {
    table.read_into(n, rec);
    if (!take(rec, v)) continue;
    sold += rec.number(cantid);
    counted += rec.number(cant_chk);
  }
  env.check.sold = sold;
  env.check.counted = counted;
  kept = {kind, env.areas.generation(), table.writes(), count, sold, counted};
}

}  // namespace

void calcu(CheckEnv& env) {
  totals(env, 0, [](const rt::table::Record& r, const CheckView& v) {
    return is_counted_line(r.number(v.index(CheckLine::CB)));
  });
}

bool faltan_trazar(CheckEnv& env) {
  totals(env, 1, [](const rt::table::Record& r, const CheckView& v) { return r.get(v.index(CheckLine::TRAZA)).text() == "S"; });
  return env.check.sold != env.check.counted;
}

bool esta_en_traza(CheckEnv& env, std::string_view gtin_serial, std::string& lot, rt::text::Date& expiry) {
  bool found = false;
  using layout::TraceRecord;
  tools::one_lookup<TraceRecord>(env.con, env.areas, [&](const auto& tz) {
    rt::wa::set_focus(tz.area(), "gtin_s");
    if (rt::wa::seek(tz.area(), Value(std::string(gtin_serial)), false)) {
      lot = pad_right(tz.text(TraceRecord::LOTE), 10);
      expiry = tz.get(TraceRecord::VENC).date();
      found = true;
    }
  });
  return found;
}

}  // namespace app

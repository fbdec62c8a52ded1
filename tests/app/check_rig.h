// A demo data folder (found through the rig's FolderEnv), a headless console and the
// context of one check, for the tests of the ticket loading, the check log
// and whole checks through princi.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/check.h"
#include "app/check_env.h"
#include "demodata/demo_data.h"
#include "runtime/console/headless.h"
#include "runtime/os/folder_env.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"

namespace check_rig {

using rt::Value;

inline const rt::text::Date kSaleDay = *rt::text::Date::from_ymd(2026, 12, 7);

class CheckRig : public ::testing::Test {
 protected:
  CheckRig() {
    app::make_demo(dir_.path(), kSaleDay);
    auto b = std::make_unique<rt::con::HeadlessBackend>();
    backend_ = b.get();
    con_ = std::make_unique<rt::con::Console>(std::move(b));
    run_.seller = app::demo::kSeller;
    run_.traceability = true;
  }
  ~CheckRig() override { areas_.close_all(); }

  app::CheckEnv env() { return app::CheckEnv{*con_, areas_, run_, check_}; }

  // princi as start-up calls it: the seller table open in area 1.
  void check(double ticket) {
    run_.ticket = ticket;
    areas_.select_area(1);
    ASSERT_TRUE(areas_.use("acceso2"));
    rt::wa::set_index(areas_.current(), "acceso21");
    app::princi(*con_, areas_, run_);
    EXPECT_FALSE(areas_.is_open(2)) << "every table of the check is closed";
    areas_.close_all();
  }

  // A product's barcode, as a number and as the reader types it.
  double barcode(const std::string& code) {
    Reader r(data_);
    auto& p = r.open("producto", "producto");
    rt::wa::set_focus(p, "codigo");
    EXPECT_TRUE(rt::wa::seek(p, Value(code))) << code;
    return p.get("CODVAR").number();
  }
  std::string barcode_text(const std::string& code) { return rt::text::trim(rt::text::str(barcode(code), 14)); }

  rt::con::HeadlessBackend& scan(const std::string& code) { return backend_->keys(code).key(rt::con::key::kEnter); }
  rt::con::HeadlessBackend& wait() { return backend_->pause(6); }
  std::string row(int r) const { return rt::con::Console::charodd(con_->screenstr(r, 0, 80)); }

  struct CheckLine {
    std::string code;
    double sold, counted, seller;
    std::string hour;
    std::size_t slots;
    std::string series;
  };
  // The check table's lines: read through the station's own open while the
  // browse runs (the table is exclusive; reading its records moves nothing),
  // from the file once the check is over.
  std::map<std::string, CheckLine> check_table() {
    if (areas_.select("tempo39") != 0) return lines_of(areas_.area("tempo39").table());
    rt::table::OpenOptions o;
    auto table = rt::table::Table::open(dir_.file("tm390007.dbf"), o);
    return lines_of(*table);
  }
  static std::map<std::string, CheckLine> lines_of(rt::table::Table& t) {
    std::map<std::string, CheckLine> out;
    rt::table::Record rec = t.blank();
    for (std::uint32_t n = 1; n <= t.record_count(); ++n) {
      t.read_into(n, rec);
      const std::string code = rt::text::rtrim(rec.get("CODIGO").text());
      const std::string series = t.memo(rec, rec.field_index("SERIES"));
      EXPECT_EQ(series.size() % 100, 0u) << code;
      out[code] = {code,   rec.get("CANTID").number(), rec.get("CANT_CHK").number(), rec.get("VEND_CHK").number(),
                   rt::text::rtrim(rec.get("HORA_CHK").text()), series.size() / 100, series};
    }
    return out;
  }
  app::LoadOutcome load(double ticket) {
    run_.ticket = ticket;
    check_ = app::CheckContext{};
    app::CheckEnv e = env();
    return app::load_ticket(e);
  }
  rt::text::Date today() { return con_->clock().now().date; }

  // A second set of work areas reading the folder's tables as they are on
  // disk, independent of the ones under test.
  struct Reader {
    explicit Reader(rt::os::Env& data) : areas(data) {}
    rt::wa::WorkAreas areas;
    rt::wa::Area& open(const std::string& table, const std::string& bag = "") {
      areas.select_area(0);
      EXPECT_TRUE(areas.use(table));
      auto& a = areas.current();
      if (!bag.empty()) rt::wa::set_index(a, bag);
      return a;
    }
  };

  // One table's records (physical order) as field maps of the named fields.
  static std::vector<std::vector<Value>> rows(rt::wa::Area& a, const std::vector<std::string>& fields) {
    std::vector<std::vector<Value>> out;
    rt::wa::set_focus(a, 0);
    for (a.goto_top(); !a.eof(); a.skip()) {
      std::vector<Value> r;
      for (const auto& f : fields) r.push_back(a.get(f));
      out.push_back(r);
    }
    return out;
  }

  // Writes fields of the record `recno` of a table (opened shared, locked).
  void set_fields(const std::string& table, rt::wa::RecNo recno,
                  const std::vector<std::pair<std::string, Value>>& fields) {
    rt::wa::WorkAreas w(data_);
    ASSERT_TRUE(w.use(table));
    auto& a = w.current();
    rt::wa::set_index(a, table);
    a.go(recno);
    ASSERT_TRUE(a.lock_record());
    for (const auto& [name, value] : fields) a.put(name, value);
    a.unlock();
  }

  // Record number of a ticket's sale line for a product code.
  rt::wa::RecNo sale_line(double ticket, const std::string& code) {
    rt::wa::WorkAreas w(data_);
    EXPECT_TRUE(w.use("compitem"));
    auto& a = w.current();
    a.locate([&](rt::wa::Area& r) {
      return r.get("NUMERO").number() == ticket && rt::text::rtrim(r.get("CODIGO").text()) == code;
    });
    EXPECT_TRUE(a.found()) << ticket << " " << code;
    return a.recno();
  }

  // Appends a record to a table with its own bag kept.
  void append(const std::string& table, const std::vector<std::pair<std::string, Value>>& fields) {
    rt::wa::WorkAreas w(data_);
    ASSERT_TRUE(w.use(table));
    auto& a = w.current();
    rt::wa::set_index(a, table);
    ASSERT_TRUE(a.append());
    for (const auto& [name, value] : fields) a.put(name, value);
    a.unlock();
  }

  testing_support::TempDir dir_;
  rt::os::FolderEnv data_{dir_.path()};  // the data folder, as chk_env2 --data gives it
  rt::con::HeadlessBackend* backend_ = nullptr;
  std::unique_ptr<rt::con::Console> con_;
  rt::wa::WorkAreas areas_{data_};
  app::RunContext run_;
  app::CheckContext check_;
};

// Another station in a second process, on the rig's data folder (that of
// the file it writes): args are the table, the record it locks ("0": it
// opens the table exclusively instead), the file that says it holds it and
// the file that lets it go.
CHK_CHILD_ROUTINE(HoldRecordOfTable) {
  const auto record = static_cast<rt::wa::RecNo>(std::stoul(args.at(1)));
  rt::os::FolderEnv data(rt::os::dirname_of(args.at(2)));
  rt::wa::WorkAreas w(data);
  rt::wa::OpenOptions o;
  o.exclusive = record == 0;
  if (!w.use(args.at(0), o)) return 3;
  if (record != 0) {
    w.current().go(record);
    if (!w.current().lock_record()) return 4;
  }
  testing_support::write_file(args.at(2), "held");
  return testing_support::wait_for_file(args.at(3), 30) ? 0 : 5;
}

}  // namespace check_rig

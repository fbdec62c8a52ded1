// The demo folder with its drives for whole checks of the demo ticket
// through princi: the reader's keys for the ticket, and what a check leaves
// behind (traceability records, pending file, vouchers, comptes files, the
// check log), read from the files.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/check.h"
#include "tests/app/check_rig.h"

namespace dispensing_rig {

using rt::Value;
namespace fs = std::filesystem;
namespace key = rt::con::key;
namespace demo = app::demo;

class Dispensing : public check_rig::CheckRig {
 protected:
  Dispensing() {
    run_.drives = testing_support::station_drives(dir_.path());
    con_->set_confirm(true);
    con_->set_date_window(rt::text::DateWindow{2026});
    run_.machine = "1";
    run_.ticket = demo::kTicket;
    Reader r(data_);
    auto& p = r.open("producto", "producto");
    rt::wa::set_focus(p, "codigo");
    for (const char* code : {"0000101", "0000102", "0000103"}) {
      EXPECT_TRUE(rt::wa::seek(p, Value(code)));
      barcodes_.push_back(rt::text::trim(rt::text::str(p.get("CODVAR").number(), 14)));
    }
  }
  // The demo ticket as the reader sends it: ibuprofen twice, the traceable
  // amoxicillin once per serial as its GS1 code (going on with a unit the
  // traceability table does not know yet), then `before_last` runs, then
  // paracetamol, the scan that completes the ticket.
  void ticket_keys(rt::con::HeadlessBackend& b, const std::vector<std::string>& serials,
                   std::function<void()> before_last = {}) const {
    b.keys(barcodes_[0]).key(key::kEnter).keys(barcodes_[0]).key(key::kEnter);
    for (const auto& s : serials) {
      b.keys("010" + barcodes_[1] + "21" + s).key(29).keys("17271231" "10L" + s).key(key::kEnter);
      b.keys("S").key(key::kEnter);
    }
    if (before_last) b.then(before_last);
    b.keys(barcodes_[2]).key(key::kEnter);
  }

  // princi as start-up calls it, on a console and work areas of its own.
  void station(rt::con::Console& con, app::RunContext run) {
    rt::wa::WorkAreas areas(data_);
    areas.select_area(1);
    ASSERT_TRUE(areas.use("acceso2"));
    app::princi(con, areas, run);
  }
  void check() { station(*con_, run_); }

  // Rows 11 to 15 (the three-line box) or row 12 (the one-line box) as the
  // operator sees them when the next key is read.
  std::function<void()> grab(std::string& into) {
    return [this, &into] {
      for (int r = 11; r <= 15; ++r) into += rt::con::Console::charodd(con_->screenstr(r, 0, 80)) + "\n";
    };
  }

  std::string file(const std::string& relative) const {
    return fs::exists(dir_.file(relative)) ? testing_support::read_file(dir_.file(relative)) : std::string();
  }
  std::string voucher(const std::string& machine) const { return file("root/VLM/TMP/0" + machine + "001234.TNF"); }
  std::string comptes_name(const std::string& ids = "20111222_123456789012") {
    return "s/qumar/comptes_tz/" + rt::text::dtos(today()) + "_" + ids + ".txt";
  }

  // The serials a voucher names.
  static std::multiset<std::string> voucher_serials(const std::string& text) {
    std::multiset<std::string> out;
    for (std::size_t at = text.find("SERIE "); at != std::string::npos; at = text.find("SERIE ", at + 1))
      out.insert(rt::text::trim(text.substr(at + 6, 20)));
    return out;
  }
  // The serials of the pending file, one per line (eighth field).
  std::multiset<std::string> pending_serials() const {
    std::multiset<std::string> out;
    const std::string text = file("tz_pend.txt");
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find("\r\n", at);
      if (end == std::string::npos) {
        ADD_FAILURE() << "a line without CR LF: " << text.substr(at);
        break;
      }
      std::vector<std::string> f;
      for (std::size_t p = at; p <= end;) {
        const std::size_t semi = std::min(text.find(';', p), end);
        f.push_back(text.substr(p, semi - p));
        p = semi + 1;
      }
      EXPECT_EQ(f.size(), 11u) << text.substr(at, end - at);
      if (f.size() > 7) out.insert(f[7]);
      at = end + 2;
    }
    return out;
  }
  // The serials in the ticket's traceability records (blank ones left out).
  std::multiset<std::string> recorded_serials(double ticket = demo::kTicket) {
    Reader r(data_);
    std::multiset<std::string> out;
    for (const auto& row : rows(r.open("traza"), {"NUMERO_INT", "SERIE"}))
      if (row[0].number() == ticket && !rt::text::trim(row[1].text()).empty()) out.insert(rt::text::trim(row[1].text()));
    return out;
  }
  // The product codes of the ticket's live (not deleted) log lines.
  std::multiset<std::string> log_codes(double ticket = demo::kTicket) {
    Reader r(data_);
    auto& log = r.open("log_env");
    std::multiset<std::string> out;
    for (log.goto_top(); !log.eof(); log.skip())
      if (!log.deleted() && log.get("NUMERO").number() == ticket) out.insert(rt::text::rtrim(log.get("CODIGO").text()));
    return out;
  }
  // Moves the ticket's traceability records (all, or the first `count`) elsewhere.
  void set_trace_records(const std::vector<std::pair<std::string, Value>>& fields, std::size_t count = 99) {
    Reader r(data_);
    auto& tz = r.open("traza");
    std::vector<rt::wa::RecNo> mine;
    for (tz.goto_top(); !tz.eof(); tz.skip())
      if (tz.get("NUMERO_INT").number() == demo::kTicket && mine.size() < count) mine.push_back(tz.recno());
    r.areas.close_all();
    for (auto n : mine) set_fields("traza", n, fields);
  }

  const std::multiset<std::string> kAll = {"0000101", "0000102", "0000103"};
  std::vector<std::string> barcodes_;  // ibuprofen, amoxicillin, paracetamol
};

}  // namespace dispensing_rig

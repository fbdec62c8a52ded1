// Whole ticket checks through princi on the demo folder, driven by key
// scripts as an operator and a reader type them: after each, the check log,
// the sale header and the check table are compared field by field.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/check.h"
#include "app/check_browse.h"
#include "runtime/table/table.h"
#include "tests/app/check_rig.h"

namespace {

using check_rig::CheckRig;
using rt::Value;
namespace key = rt::con::key;

struct LogLine {
  std::string code;
  double sold, counted, cb;
  std::string cp, traza;
};

class CheckEndToEnd : public CheckRig {
 protected:
  CheckEndToEnd() {
    run_.traceability = false;
    con_->set_confirm(true);
  }

  // The ticket's log lines in physical order.
  std::vector<LogLine> log_lines(double ticket) {
    Reader r(data_);
    auto& a = r.open("log_env");
    std::vector<LogLine> out;
    for (a.goto_top(); !a.eof(); a.skip()) {
      if (a.get("NUMERO").number() != ticket) continue;
      out.push_back({rt::text::rtrim(a.get("CODIGO").text()), a.get("CANTID").number(), a.get("CANT_CHK").number(),
                     a.get("CB").number(), rt::text::rtrim(a.get("CP").text()), a.get("TRAZA").text()});
      EXPECT_EQ(a.get("VENDEDOR").number(), app::demo::kSeller);
      EXPECT_EQ(a.get("FECHA_VTA").date(), check_rig::kSaleDay);
      EXPECT_EQ(rt::text::rtrim(a.get("HORA_VTA").text()), "10:15:00");
      EXPECT_FALSE(a.get("FECHA_CHK").date().empty());
    }
    return out;
  }
  // Every field of every log record of a ticket, to see that nothing else changed.
  std::vector<std::vector<Value>> log_records(double ticket) {
    Reader r(data_);
    auto& a = r.open("log_env");
    std::vector<std::vector<Value>> out;
    for (a.goto_top(); !a.eof(); a.skip()) {
      if (a.get("NUMERO").number() != ticket) continue;
      std::vector<Value> rec;
      for (int i = 1; i <= a.field_count(); ++i) rec.push_back(a.get(a.field_name(i)));
      out.push_back(rec);
    }
    return out;
  }

  double reinte_3(double ticket) {
    Reader r(data_);
    auto& h = r.open("compenca", "compenca");
    EXPECT_TRUE(rt::wa::seek(h, Value("TK" + rt::text::str(ticket, 6))));
    return h.get("REINTE_3").number();
  }

};

TEST_F(CheckEndToEnd, TypicalTicketScannedLineByLineWritesTheLog) {
  const std::string ibu = barcode_text("0000101"), amox = barcode_text("0000102"), para = barcode_text("0000103");
  scan(ibu);
  scan(ibu);
  // The second product as a GS1 DataMatrix: GTIN, serial, separator, expiry, lot.
  backend_->keys("010" + amox + "21SER0001").key(29).keys("1728123110LOTE1").key(key::kEnter);
  backend_->pause(0.1).then([&] {
    EXPECT_NE(row(4).find(app::check_text::kDifferences), std::string::npos);
    EXPECT_TRUE(log_lines(app::demo::kTicket).empty()) << "nothing is logged before the ticket is complete";
  });
  backend_->keys("010" + amox + "21SER0002").key(29).keys("1728123110LOTE1").key(key::kEnter);
  scan(para);
  check(app::demo::kTicket);
  EXPECT_EQ(backend_->pending(), 0u);

  const auto log = log_lines(app::demo::kTicket);
  ASSERT_EQ(log.size(), 3u);
  std::map<std::string, LogLine> by_code;
  for (const auto& l : log) by_code[l.code] = l;
  for (const auto& [code, sold] : std::vector<std::pair<std::string, double>>{
           {"0000101", 2}, {"0000102", 2}, {"0000103", 1}}) {
    const LogLine& l = by_code[code];
    EXPECT_EQ(l.sold, sold) << code;
    EXPECT_EQ(l.counted, sold) << code;
    EXPECT_EQ(l.cb, barcode(code)) << code;
    EXPECT_EQ(l.cp, barcode_text(code)) << code;
  }
  EXPECT_EQ(by_code["0000102"].traza, "S");
  EXPECT_EQ(by_code["0000101"].traza, "N");
  const auto lines = check_table();
  for (const auto& [code, l] : lines) {
    EXPECT_EQ(l.counted, l.sold) << code;
    EXPECT_EQ(l.seller, app::demo::kSeller) << code;
    EXPECT_EQ(l.hour.size(), 8u) << code;
    EXPECT_EQ(l.slots, static_cast<std::size_t>(l.sold)) << "one unit slot per unit: " << code;
  }
  EXPECT_EQ(reinte_3(app::demo::kTicket), 0) << "a complete ticket leaves the sale header alone";
}

TEST_F(CheckEndToEnd, ScansSentAsOneBurstThroughTheTypeAhead) {
  // Everything the reader sends, queued before the station reads a key.
  std::string burst;
  for (const char* code : {"0000101", "0000103", "0000101", "0000102", "0000102"}) burst += barcode_text(code) + "\r";
  backend_->keys(burst);
  check(app::demo::kTicket);
  EXPECT_EQ(backend_->pending(), 0u);
  const auto log = log_lines(app::demo::kTicket);
  ASSERT_EQ(log.size(), 3u);
  for (const auto& l : log) EXPECT_EQ(l.counted, l.sold) << l.code;
}

TEST_F(CheckEndToEnd, RefundMarksTheLogAndTheTicketGoesOn) {
  const std::string ibu = barcode_text("0000101");
  scan(ibu);
  backend_->keys("r").keys("S").key(key::kEnter).then([&] {
    // The refund writes the log at once: lines not traced carry -1234.
    const auto log = log_lines(app::demo::kTicket);
    ASSERT_EQ(log.size(), 3u);
    std::map<std::string, LogLine> by_code;
    for (const auto& l : log) by_code[l.code] = l;
    EXPECT_EQ(by_code["0000101"].cb, -1234);
    EXPECT_EQ(by_code["0000101"].counted, 1);
    EXPECT_EQ(by_code["0000103"].cb, -1234);
    EXPECT_EQ(by_code["0000102"].cb, barcode("0000102")) << "a traced line keeps its barcode";
  });
  // Quantities still differ: the browse goes on until the ticket is complete,
  // and the log is then written over.
  scan(ibu);
  scan(barcode_text("0000102"));
  scan(barcode_text("0000102"));
  scan(barcode_text("0000103"));
  check(app::demo::kTicket);
  EXPECT_EQ(backend_->pending(), 0u);
  const auto log = log_lines(app::demo::kTicket);
  ASSERT_EQ(log.size(), 3u);
  for (const auto& l : log) {
    EXPECT_EQ(l.counted, l.sold) << l.code;
    if (l.code != "0000102") {
      EXPECT_EQ(l.cb, -1234) << "the refund mark stays: " << l.code;
    }
  }
}

TEST_F(CheckEndToEnd, SecondCheckRebuildsFromTheLogAndUpdatesIt) {
  // Ticket 1236 was checked before; its second line had 1 of 3 counted.
  set_fields("log_env", 2, {{"CANT_CHK", Value(1)}});
  const auto before = log_records(app::demo::kCheckedTicket);
  backend_->pause(0.5).then([&] {
    const auto lines = check_table();
    EXPECT_EQ(lines.at("0000101").counted, 1);
    EXPECT_EQ(lines.at("0000107").counted, 1) << "counted quantity carried over from the log";
  });
  scan(barcode_text("0000107"));
  scan(barcode_text("0000107"));
  check(app::demo::kCheckedTicket);
  EXPECT_EQ(backend_->pending(), 0u);
  const auto after = log_records(app::demo::kCheckedTicket);
  ASSERT_EQ(after.size(), 2u) << "the log is written over, not appended to";
  Reader r(data_);
  auto& a = r.open("log_env");
  const int cant_chk = a.field_pos("CANT_CHK") - 1, hora = a.field_pos("HORA_CHK") - 1;
  EXPECT_EQ(after[1][static_cast<std::size_t>(cant_chk)].number(), 3);
  EXPECT_EQ(after[0][static_cast<std::size_t>(cant_chk)].number(), 1);
  EXPECT_NE(after[1][static_cast<std::size_t>(hora)].text(), before[1][static_cast<std::size_t>(hora)].text());
  for (std::size_t i = 0; i < after[0].size(); ++i) {
    if (static_cast<int>(i) == hora) continue;  // rewritten from the check line
    EXPECT_EQ(after[0][i], before[0][i]) << "field " << i << " of the line not scanned again";
  }
}

TEST_F(CheckEndToEnd, LeftWithDifferencesMarksTheSaleHeaderAndLogsNothing) {
  scan(barcode_text("0000101"));
  // Leave anyway? Yes; seller 7 may do task 121, so no one else is asked.
  backend_->key(key::kEsc).keys("S").key(key::kEnter);
  check(app::demo::kTicket);
  EXPECT_EQ(backend_->pending(), 0u);
  EXPECT_EQ(reinte_3(app::demo::kTicket), -15);
  EXPECT_TRUE(log_lines(app::demo::kTicket).empty()) << "leaving by Esc writes nothing to the check log";
  const auto lines = check_table();
  EXPECT_EQ(lines.at("0000101").counted, 1);
  EXPECT_EQ(lines.at("0000102").counted, 0);
  EXPECT_EQ(lines.at("0000103").counted, 0);
  EXPECT_EQ(backend_->tones().back().freq, 1000);
}

TEST_F(CheckEndToEnd, CancelledTicketIsRefusedAndNothingIsWritten) {
  const auto before = testing_support::read_file(dir_.file("log_env.dbf"));
  wait();
  check(app::demo::kCancelledTicket);
  EXPECT_EQ(testing_support::read_file(dir_.file("log_env.dbf")), before);
  EXPECT_TRUE(check_table().empty());
  EXPECT_EQ(reinte_3(app::demo::kCancelledTicket), 0);
}

TEST_F(CheckEndToEnd, UnknownScanCountsNothingAndIsShown) {
  backend_->keys("7799999999999").key(key::kEnter).then([&] {
    EXPECT_NE(row(12).find(app::check_text::kNotFound), std::string::npos);
  });
  wait().then([&] {
    for (const auto& [code, l] : check_table()) EXPECT_EQ(l.counted, 0) << code;
    EXPECT_TRUE(log_lines(app::demo::kTicket).empty());
  });
  for (const char* code : {"0000101", "0000101", "0000102", "0000102", "0000103"}) scan(barcode_text(code));
  check(app::demo::kTicket);
  EXPECT_EQ(log_lines(app::demo::kTicket).size(), 3u);
}

TEST_F(CheckEndToEnd, DepartmentFilterPrefillsTheOtherDepartment) {
  run_.department = 2;
  backend_->pause(0.5).then([&] {
    const auto lines = check_table();
    EXPECT_EQ(lines.at("0000101").counted, 1) << "department 1 needs no scan";
    EXPECT_EQ(lines.at("0000104").counted, 0);
  });
  scan(barcode_text("0000104"));
  scan(barcode_text("0000106"));
  check(app::demo::kDepartmentTicket);
  EXPECT_EQ(backend_->pending(), 0u);
  const auto log = log_lines(app::demo::kDepartmentTicket);
  ASSERT_EQ(log.size(), 3u);
  for (const auto& l : log) EXPECT_EQ(l.counted, l.sold) << l.code;
  const auto lines = check_table();
  EXPECT_EQ(lines.at("0000101").slots, 0u) << "a pre-filled line has no unit slots";
  EXPECT_EQ(lines.at("0000104").slots, 1u);
}

TEST_F(CheckEndToEnd, LineNeedingNoScanIsCompleteFromTheStart) {
  scan(barcode_text("0000103"));
  backend_->then([&] { EXPECT_EQ(check_table().at("0000105").counted, 1); });
  scan(barcode_text("0000103"));
  check(app::demo::kNoScanTicket);
  EXPECT_EQ(backend_->pending(), 0u);
  const auto log = log_lines(app::demo::kNoScanTicket);
  ASSERT_EQ(log.size(), 2u);
  for (const auto& l : log) EXPECT_EQ(l.counted, l.sold) << l.code;
}

}  // namespace

// The check-log writers on a loaded check table: APP_VTA appends one log
// line per check line, ACTU_VTA writes the counts over the ticket's log
// lines, each with the refund marks; the log lines are compared field by
// field with the check lines they come from.
#include "app/check_log.h"

#include <map>

#include "tests/app/check_rig.h"

namespace {

using check_rig::CheckRig;
using rt::Value;

std::string trimmed(const Value& v) { return rt::text::rtrim(v.text()); }

const std::vector<std::string> kAllLogFields = {"FECHA_VTA", "FECHA_CHK", "HORA_CHK", "VEND_CHK", "CANT_CHK",
                                                "CB",        "CP",        "TRAZA",    "NUMERO",   "CODIGO",
                                                "CANTID",    "DESCRIP",   "VENDEDOR", "HORA_VTA"};

bool same(const Value& a, const Value& b) {
  if (a.is_text() || b.is_text()) return trimmed(a) == trimmed(b);
  return a == b;
}

class CheckLog : public CheckRig {
 protected:
  // Counts on the check line of a product, written as the browse would.
  void count(const std::string& code, double counted, const std::string& hour) {
    auto& check = areas_.area("tempo39");
    const auto rec = check.recno();
    check.goto_top();
    ASSERT_TRUE(check.locate([&](rt::wa::Area& a) { return trimmed(a.get("CODIGO")) == code; })) << code;
    check.put("CANT_CHK", Value(counted));
    check.put("VEND_CHK", Value(run_.seller));
    check.put("HORA_CHK", Value(hour));
    check.go(rec);
  }
  // The check table's lines in the active order, every log field.
  std::vector<std::vector<Value>> check_lines_in_order() {
    std::vector<std::vector<Value>> out;
    auto& check = areas_.area("tempo39");
    const auto rec = check.recno();
    for (check.goto_top(); !check.eof(); check.skip()) {
      std::vector<Value> r;
      for (const auto& f : kAllLogFields) r.push_back(check.get(f));
      out.push_back(r);
    }
    check.go(rec);
    return out;
  }
  // The ticket's log lines in log order.
  std::vector<std::vector<Value>> log_lines(double ticket) {
    Reader r(data_);
    auto& log = r.open("log_env", "log_env");
    std::vector<std::vector<Value>> out;
    if (!rt::wa::seek(log, Value(rt::text::str(ticket, 6)))) return out;
    for (; !log.eof() && log.get("NUMERO").number() == ticket; log.skip()) {
      std::vector<Value> r2;
      for (const auto& f : kAllLogFields) r2.push_back(log.get(f));
      out.push_back(r2);
    }
    return out;
  }
  static std::size_t at(const char* field) {
    return static_cast<std::size_t>(std::find(kAllLogFields.begin(), kAllLogFields.end(), field) -
                                    kAllLogFields.begin());
  }
  void seek_log(double ticket) {
    areas_.select_area("log_env");
    ASSERT_TRUE(rt::wa::seek(areas_.current(), Value(rt::text::str(ticket, 6))));
    areas_.select_area("tempo39");
  }
  void call(void (*writer)(app::CheckEnv&, bool), bool refund) {
    areas_.select_area("tempo39");
    app::CheckEnv e = env();
    writer(e, refund);
    EXPECT_EQ(rt::text::lower(areas_.alias()), "tempo39") << "the check table is current again";
  }
  void verify_log_bag() {
    areas_.close_all();
    std::string out;
    EXPECT_EQ(testing_support::run_capture(testing_support::program("dbftool") + " verify " + dir_.file("log_env.dbf") +
                                               " --bag " + dir_.file("log_env.cdx") + " 2>&1",
                                           &out),
              0)
        << out;
  }
};

TEST_F(CheckLog, AppendsEveryCheckLineInTheActiveOrder) {
  ASSERT_EQ(load(app::demo::kTicket).status, app::LoadStatus::Loaded);
  count("0000101", 2, "11:00:01");
  count("0000103", 1, "11:00:09");
  rt::wa::set_focus(areas_.area("tempo39"), "cp");
  const auto expected = check_lines_in_order();
  call(app::app_vta, false);
  const auto got = log_lines(app::demo::kTicket);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    for (std::size_t f = 0; f < kAllLogFields.size(); ++f)
      EXPECT_TRUE(same(got[i][f], expected[i][f])) << "line " << i << " " << kAllLogFields[f];
  EXPECT_EQ(got[0][at("CANT_CHK")].number() + got[1][at("CANT_CHK")].number() + got[2][at("CANT_CHK")].number(), 3);
  // The demo's other ticket keeps its two lines.
  EXPECT_EQ(log_lines(app::demo::kCheckedTicket).size(), 2u);
  verify_log_bag();
}

TEST_F(CheckLog, RefundAppendMarksTheUntracedLines) {
  ASSERT_EQ(load(app::demo::kTicket).status, app::LoadStatus::Loaded);
  count("0000101", 1, "11:00:01");
  count("0000102", 2, "11:00:05");
  const auto expected = check_lines_in_order();
  call(app::app_vta, true);
  const auto got = log_lines(app::demo::kTicket);
  ASSERT_EQ(got.size(), 3u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    const bool traced = expected[i][at("TRAZA")].text() == "S";
    for (std::size_t f = 0; f < kAllLogFields.size(); ++f) {
      if (kAllLogFields[f] == "CB" && !traced) continue;
      EXPECT_TRUE(same(got[i][f], expected[i][f])) << "line " << i << " " << kAllLogFields[f];
    }
    EXPECT_EQ(got[i][at("CB")].number(), traced ? expected[i][at("CB")].number() : -1234) << i;
  }
  // Amoxicillin is the traced line; the others carry the refund mark.
  int marked = 0;
  for (const auto& l : got) marked += l[at("CB")].number() == -1234;
  EXPECT_EQ(marked, 2);
  verify_log_bag();
}

// Fault: a log that refused the append was named to the operator in the
// engine's own English words, with the whole path.
TEST_F(CheckLog, ALogThatRefusesTheAppendIsNamedInTheOperatorsWords) {
  ASSERT_EQ(load(app::demo::kTicket).status, app::LoadStatus::Loaded);
  areas_.select_area("log_env");
  const int number = areas_.current_number();
  areas_.close_area();
  rt::wa::OpenOptions read_only;
  read_only.readonly = true;
  areas_.select_area(number);
  ASSERT_TRUE(areas_.use("log_env", read_only));
  std::string box;
  backend_->then([&] { box = row(12); });
  call(app::app_vta, false);
  EXPECT_NE(box.find("Control No Grabado En log_env (Tabla Solo De Lectura O Regis"), std::string::npos) << box;
}

// A ticket whose log lines are not in barcode order: the check table is
// rebuilt in log order and browsed in barcode order, and ACTU_VTA still
// writes every line's count over the log line it came from.
class CheckLogUpdate : public CheckLog {
 protected:
  void SetUp() override {
    // Log lines of ticket 1234 appended in the order 103, 101, 102.
    Reader r(data_);
    auto& products = r.open("producto", "producto");
    int hour = 0;
    for (const auto& [code, sold] : std::vector<std::pair<std::string, int>>{{"0000103", 1}, {"0000101", 2}, {"0000102", 2}}) {
      ASSERT_TRUE(rt::wa::seek(products, Value(code)));
      append("log_env", {{"NUMERO", Value(app::demo::kTicket)},
                         {"CODIGO", Value(code)},
                         {"CANTID", Value(sold)},
                         {"CANT_CHK", Value(0)},
                         {"DESCRIP", products.get("DESCRIP")},
                         {"CB", products.get("CODVAR")},
                         {"CP", products.get("CODPROD")},
                         {"TRAZA", Value("N")},
                         {"VENDEDOR", Value(7)},
                         {"FECHA_VTA", Value(check_rig::kSaleDay)},
                         {"HORA_VTA", Value("10:15:00")},
                         {"FECHA_CHK", Value(check_rig::kSaleDay)},
                         {"HORA_CHK", Value("10:2" + std::to_string(hour++) + ":00")},
                         {"VEND_CHK", Value(12)}});
    }
    before_ = log_lines(app::demo::kTicket);
    ASSERT_EQ(before_.size(), 3u);
    const auto out = load(app::demo::kTicket);
    ASSERT_EQ(out.status, app::LoadStatus::Loaded) << out.message;
    ASSERT_TRUE(out.from_log);
    // Browsed in barcode order: 101 first, unlike the log.
    auto& check = areas_.area("tempo39");
    check.goto_top();
    ASSERT_EQ(trimmed(check.get("CODIGO")), "0000101");
    count("0000101", 2, "11:30:01");
    count("0000102", 1, "11:30:02");
    count("0000103", 1, "11:30:03");
    check.skip();
    rec_before_ = check.recno();
    seek_log(app::demo::kTicket);
  }
  // The check line of each product, every log field.
  std::map<std::string, std::vector<Value>> check_by_code() {
    std::map<std::string, std::vector<Value>> out;
    for (auto& l : check_lines_in_order()) out[trimmed(l[at("CODIGO")])] = l;
    return out;
  }
  std::vector<std::vector<Value>> before_;
  rt::wa::RecNo rec_before_ = 0;
};

TEST_F(CheckLogUpdate, EveryLogLineTakesTheCountOfTheCheckLineBuiltFromIt) {
  auto check = check_by_code();
  call(app::actu_vta, false);
  EXPECT_EQ(areas_.current().recno(), rec_before_) << "the browse's line stays current";
  EXPECT_EQ(rt::text::lower(rt::wa::focus(areas_.current())), "cb");
  const auto got = log_lines(app::demo::kTicket);
  ASSERT_EQ(got.size(), 3u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    const auto& c = check[trimmed(got[i][at("CODIGO")])];
    for (std::size_t f = 0; f < kAllLogFields.size(); ++f) {
      const std::string& name = kAllLogFields[f];
      const bool rewritten = name == "HORA_CHK" || name == "VEND_CHK" || name == "CANT_CHK" || name == "TRAZA";
      EXPECT_TRUE(same(got[i][f], rewritten ? c[f] : before_[i][f])) << "line " << i << " " << name;
    }
  }
  EXPECT_EQ(got[0][at("CANT_CHK")].number(), 1);  // 0000103
  EXPECT_EQ(got[1][at("CANT_CHK")].number(), 2);  // 0000101
  EXPECT_EQ(got[2][at("CANT_CHK")].number(), 1);  // 0000102
  EXPECT_EQ(got[2][at("TRAZA")].text(), "S") << "the traced flag of the rebuilt line";
  EXPECT_EQ(got[0][at("VEND_CHK")].number(), 7);
  verify_log_bag();
}

TEST_F(CheckLogUpdate, RefundZeroesAndMarksTheUntracedLines) {
  auto check = check_by_code();
  call(app::actu_vta, true);
  const auto got = log_lines(app::demo::kTicket);
  ASSERT_EQ(got.size(), 3u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    const auto& c = check[trimmed(got[i][at("CODIGO")])];
    const bool traced = c[at("TRAZA")].text() == "S";
    EXPECT_EQ(got[i][at("HORA_CHK")].text(), c[at("HORA_CHK")].text());
    EXPECT_EQ(got[i][at("VEND_CHK")].number(), 7);
    EXPECT_EQ(got[i][at("CANT_CHK")].number(), traced ? c[at("CANT_CHK")].number() : 0) << i;
    EXPECT_EQ(got[i][at("CB")].number(), traced ? before_[i][at("CB")].number() : -1234) << i;
    EXPECT_TRUE(same(got[i][at("CANTID")], before_[i][at("CANTID")]));
  }
  EXPECT_EQ(got[2][at("CANT_CHK")].number(), 1) << "0000102 is traced: its count is kept";
}

TEST_F(CheckLogUpdate, ALockedLogLineIsLeftAsItWas) {
  // Another station holds the lock of the first log line of the ticket.
  Reader r(data_);
  auto& log = r.open("log_env", "log_env");
  ASSERT_TRUE(rt::wa::seek(log, Value(rt::text::str(app::demo::kTicket, 6))));
  const auto locked = log.recno();
  const int child = testing_support::spawn_child(
      "HoldRecordOfTable", {"log_env", std::to_string(locked), dir_.file("ready"), dir_.file("done")});
  ASSERT_TRUE(testing_support::wait_for_file(dir_.file("ready")));
  call(app::actu_vta, false);
  testing_support::write_file(dir_.file("done"), "done");
  EXPECT_EQ(testing_support::wait_child(child), 0);
  const auto got = log_lines(app::demo::kTicket);
  ASSERT_EQ(got.size(), 3u);
  for (std::size_t f = 0; f < kAllLogFields.size(); ++f)
    EXPECT_TRUE(same(got[0][f], before_[0][f])) << kAllLogFields[f];
  EXPECT_EQ(got[1][at("CANT_CHK")].number(), 2) << "the other lines are written";
  EXPECT_EQ(got[2][at("CANT_CHK")].number(), 1);
}

TEST_F(CheckLogUpdate, NeverWritesOverAnotherTicketsLogLines) {
  // One check line more than this ticket has log lines, for the product of
  // the first log line of the ticket that follows in the log (1236).
  const auto other_before = log_lines(app::demo::kCheckedTicket);
  ASSERT_EQ(trimmed(other_before.at(0)[at("CODIGO")]), "0000101");
  auto& check = areas_.area("tempo39");
  ASSERT_TRUE(check.append());
  check.put("NUMERO", Value(app::demo::kTicket));
  check.put("CODIGO", Value("0000101"));
  check.put("CANTID", Value(1));
  check.put("CANT_CHK", Value(0));
  check.put("HORA_CHK", Value("11:59:59"));
  check.put("VEND_CHK", Value(7));
  check.go(rec_before_);
  seek_log(app::demo::kTicket);
  call(app::actu_vta, true);
  const auto other = log_lines(app::demo::kCheckedTicket);
  ASSERT_EQ(other.size(), other_before.size());
  for (std::size_t i = 0; i < other.size(); ++i)
    for (std::size_t f = 0; f < kAllLogFields.size(); ++f)
      EXPECT_TRUE(same(other[i][f], other_before[i][f])) << i << " " << kAllLogFields[f];
  EXPECT_EQ(log_lines(app::demo::kTicket)[1][at("CB")].number(), -1234) << "this ticket's lines are written";
}

}  // namespace

// Loading a ticket into the seller's check table: from the sale lines with
// the pre-fill rules, the department filter and the traceability flags, or
// rebuilt from the check log; refusals of tickets not found or cancelled and
// of a check table another station holds.  Every check line is compared
// field by field with the records it was built from.
#include <algorithm>
#include <cmath>

#include "app/product_rules.h"
#include "runtime/cdx/bag.h"
#include "runtime/cdx/table_index.h"
#include "tests/app/check_rig.h"

namespace {

using check_rig::CheckRig;
using rt::Value;

const std::vector<std::string> kCheckFields = {"NUMERO",    "CODIGO",   "CANTID",    "CANT_CHK", "DESCRIP",
                                               "CB",        "CP",       "TRAZA",     "VENDEDOR", "FECHA_VTA",
                                               "HORA_VTA",  "FECHA_CHK", "HORA_CHK", "VEND_CHK"};

std::string trimmed(const Value& v) { return rt::text::rtrim(v.text()); }

class Loading : public CheckRig {
 protected:
  // The expected check line of a sale line, by reading compitem, producto
  // and compenca afresh; `counted` is what the pre-fill rules give.
  struct Expected {
    std::string code;
    double sold, counted;
  };
  void expect_lines_from_sales(double ticket, const std::vector<Expected>& want) {
    Reader r(data_);
    auto& products = r.open("producto", "producto");
    auto& headers = r.open("compenca", "compenca");
    ASSERT_TRUE(rt::wa::seek(headers, Value("TK" + rt::text::str(ticket, 6))));
    auto& check = areas_.area("tempo39");
    auto got = rows(check, kCheckFields);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE("line " + std::to_string(i + 1) + " " + want[i].code);
      ASSERT_TRUE(rt::wa::seek(products, Value(want[i].code)));
      const auto& g = got[i];
      EXPECT_EQ(g[0].number(), ticket);
      EXPECT_EQ(trimmed(g[1]), want[i].code);
      EXPECT_EQ(g[2].number(), want[i].sold);
      EXPECT_EQ(g[3].number(), want[i].counted);
      EXPECT_EQ(trimmed(g[4]), trimmed(products.get("DESCRIP")));
      EXPECT_EQ(g[5].number(), products.get("CODVAR").number());
      EXPECT_GT(g[5].number(), 9999999);
      EXPECT_EQ(trimmed(g[6]), trimmed(products.get("CODPROD")));
      const bool traced = app::is_traceable(products.get("TRAZA").text()[0], products.get("TRAZA_F").text()[0]);
      EXPECT_EQ(g[7].text(), traced ? "S" : "N");
      EXPECT_EQ(g[8].number(), headers.get("VENDEDOR").number());
      EXPECT_EQ(g[9].date(), headers.get("FECHA").date());
      EXPECT_EQ(trimmed(g[10]), trimmed(headers.get("HORAX")));
      EXPECT_EQ(g[11].date(), today());
      EXPECT_EQ(trimmed(g[12]), "");
      EXPECT_EQ(g[13].number(), 0);
    }
    check.goto_top();
    while (!check.eof()) {
      EXPECT_EQ(check.get("SERIES").text(), "") << "no unit counted at load";
      check.skip();
    }
  }

  // Every tag of the check table's own bag matches its records.
  void expect_check_bag_sound() {
    areas_.close_all();
    rt::table::OpenOptions o;
    auto t = rt::table::Table::open(dir_.file(check_.check_table + ".dbf"), o);
    auto bag = rt::cdx::Bag::open(dir_.file(check_.check_table + ".cdx"), false);
    EXPECT_EQ(rt::cdx::verify_against_table(*bag, *t), std::vector<std::string>{});
  }
};

TEST_F(Loading, TypicalTicketFillsAFreshTableOfTheSellerFromItsSaleLines) {
  const auto out = load(app::demo::kTicket);
  ASSERT_EQ(out.status, app::LoadStatus::Loaded) << out.message;
  EXPECT_FALSE(out.from_log);
  EXPECT_EQ(check_.check_table, "tm390007");
  EXPECT_EQ(rt::text::lower(areas_.alias()), "tempo39") << "the check table is current";
  auto& check = areas_.current();
  EXPECT_TRUE(check.exclusive());
  std::vector<std::string> tags;
  for (const auto& t : rt::wa::tag_names(check)) tags.push_back(rt::text::lower(t));
  EXPECT_EQ(tags, (std::vector<std::string>{"cb", "codigo", "cp"}));
  EXPECT_EQ(rt::text::lower(rt::wa::focus(check)), "cb");
  // Areas in the order they are opened, the lowest free one each time.
  EXPECT_EQ(areas_.select("log_env"), 1);
  EXPECT_EQ(areas_.select("compenca"), 2);
  EXPECT_EQ(areas_.select("producto"), 3);
  EXPECT_EQ(areas_.select("compitem"), 4);
  EXPECT_EQ(areas_.select("tempo39"), 5);
  expect_lines_from_sales(app::demo::kTicket, {{"0000101", 2, 0}, {"0000102", 2, 0}, {"0000103", 1, 0}});
  // Amoxicillin is traced by its own flag (no forced value), ibuprofen is not.
  auto rows_now = rows(check, {"CODIGO", "TRAZA"});
  EXPECT_EQ(rows_now[1][1].text(), "S");
  EXPECT_EQ(rows_now[0][1].text(), "N");
  // The browse starts on the first line in barcode order, producto on its product.
  check.goto_top();
  EXPECT_EQ(trimmed(areas_.area("producto").get("CODIGO")), trimmed(check.get("CODIGO")));
  check.skip();
  EXPECT_EQ(trimmed(areas_.area("producto").get("CODIGO")), trimmed(check.get("CODIGO")));
  expect_check_bag_sound();
}

TEST_F(Loading, AnEarlierCheckOfTheSameSellerLeavesNoLineBehind) {
  ASSERT_EQ(load(app::demo::kTicket).status, app::LoadStatus::Loaded);
  areas_.close_all();
  const auto out = load(app::demo::kNoScanTicket);
  ASSERT_EQ(out.status, app::LoadStatus::Loaded) << out.message;
  // Ticket 1237: the "@" line needs no scan (its product also has an
  // unreadable barcode); the other line starts uncounted.
  expect_lines_from_sales(app::demo::kNoScanTicket, {{"0000105", 1, 1}, {"0000103", 2, 0}});
  expect_check_bag_sound();
}

TEST_F(Loading, PrefillRulesApplyInOrderAndTheVoucherQuantityWins) {
  // "@" on a product with a readable barcode, a voucher quantity on another.
  set_fields("compitem", sale_line(app::demo::kTicket, "0000101"), {{"BONO", Value("  @ ")}});
  set_fields("compitem", sale_line(app::demo::kTicket, "0000103"),
             {{"CANTID", Value(5)}, {"VALE", Value(2)}, {"BONO", Value("@")}});
  const auto out = load(app::demo::kTicket);
  ASSERT_EQ(out.status, app::LoadStatus::Loaded) << out.message;
  expect_lines_from_sales(app::demo::kTicket, {{"0000101", 2, 2}, {"0000102", 2, 0}, {"0000103", 5, 2}});
}

TEST_F(Loading, DepartmentFilterPrefillsTheLinesOfOtherDepartments) {
  run_.department = 2;
  ASSERT_EQ(load(app::demo::kDepartmentTicket).status, app::LoadStatus::Loaded);
  expect_lines_from_sales(app::demo::kDepartmentTicket, {{"0000101", 1, 1}, {"0000104", 1, 0}, {"0000106", 1, 0}});
  areas_.close_all();
  run_.department = 1;
  ASSERT_EQ(load(app::demo::kDepartmentTicket).status, app::LoadStatus::Loaded);
  expect_lines_from_sales(app::demo::kDepartmentTicket, {{"0000101", 1, 0}, {"0000104", 1, 1}, {"0000106", 1, 1}});
  areas_.close_all();
  run_.department = -1;
  ASSERT_EQ(load(app::demo::kDepartmentTicket).status, app::LoadStatus::Loaded);
  expect_lines_from_sales(app::demo::kDepartmentTicket, {{"0000101", 1, 0}, {"0000104", 1, 0}, {"0000106", 1, 0}});
}

TEST_F(Loading, TraceOnlyLoadsTheTraceableLinesAlone) {
  run_.trace_only = true;
  ASSERT_EQ(load(app::demo::kDepartmentTicket).status, app::LoadStatus::Loaded);
  // 0000104 is forced "S" over its own "N"; 0000106 forced "N" over "S".
  expect_lines_from_sales(app::demo::kDepartmentTicket, {{"0000104", 1, 0}});
  areas_.close_all();
  // No traceable product: the check table stays empty and the browse may start.
  const auto out = load(app::demo::kNoScanTicket);
  ASSERT_EQ(out.status, app::LoadStatus::Loaded);
  EXPECT_TRUE(areas_.area("tempo39").eof());
}

// The demo's log lines of ticket 1236, as written.
class Rebuild : public Loading {
 protected:
  void expect_lines_from_log(double ticket, const std::vector<double>& counted, const std::vector<double>& sold,
                             const std::vector<std::string>& traza) {
    Reader r(data_);
    auto& log = r.open("log_env", "log_env");
    ASSERT_TRUE(rt::wa::seek(log, Value(rt::text::str(ticket, 6))));
    auto got = rows(areas_.area("tempo39"), kCheckFields);
    ASSERT_EQ(got.size(), counted.size());
    for (std::size_t i = 0; i < got.size(); ++i, log.skip()) {
      SCOPED_TRACE("line " + std::to_string(i + 1));
      ASSERT_EQ(log.get("NUMERO").number(), ticket);
      for (const char* same : {"NUMERO", "CB"})
        EXPECT_EQ(got[i][std::find(kCheckFields.begin(), kCheckFields.end(), same) - kCheckFields.begin()].number(),
                  log.get(same).number())
            << same;
      for (const char* same : {"CODIGO", "DESCRIP", "CP", "HORA_VTA", "HORA_CHK"})
        EXPECT_EQ(trimmed(got[i][std::find(kCheckFields.begin(), kCheckFields.end(), same) - kCheckFields.begin()]),
                  trimmed(log.get(same)))
            << same;
      EXPECT_EQ(got[i][8].number(), log.get("VENDEDOR").number());
      EXPECT_EQ(got[i][9].date(), log.get("FECHA_VTA").date());
      EXPECT_EQ(got[i][11].date(), log.get("FECHA_CHK").date());
      EXPECT_EQ(got[i][13].number(), log.get("VEND_CHK").number());
      EXPECT_EQ(got[i][2].number(), sold[i]);
      EXPECT_EQ(got[i][3].number(), counted[i]);
      EXPECT_EQ(got[i][7].text(), traza[i]);
    }
  }
};

TEST_F(Rebuild, ATicketAlreadyInTheLogIsRebuiltFromItsLogLines) {
  const auto out = load(app::demo::kCheckedTicket);
  ASSERT_EQ(out.status, app::LoadStatus::Loaded) << out.message;
  EXPECT_TRUE(out.from_log);
  expect_lines_from_log(app::demo::kCheckedTicket, {1, 3}, {1, 3}, {"N", "N"});
  expect_check_bag_sound();
}

TEST_F(Rebuild, TraceOnlyRestartsTheCountsButLoadsEveryLogLine) {
  run_.trace_only = true;
  ASSERT_EQ(load(app::demo::kCheckedTicket).status, app::LoadStatus::Loaded);
  expect_lines_from_log(app::demo::kCheckedTicket, {0, 0}, {1, 3}, {"N", "N"});
}

TEST_F(Rebuild, CancelVoucherChecksTheVoucherQuantitiesFromZero) {
  set_fields("compitem", sale_line(app::demo::kCheckedTicket, "0000107"), {{"VALE", Value(-2)}});
  run_.cancel_voucher = true;
  ASSERT_EQ(load(app::demo::kCheckedTicket).status, app::LoadStatus::Loaded);
  expect_lines_from_log(app::demo::kCheckedTicket, {0, 0}, {0, 2}, {"N", "N"});
}

TEST_F(Rebuild, PrefillRulesReadTheMatchingSaleLine) {
  // The second log line's product is sold with "@": counted as sold on the
  // sale line (3), whatever the log said.
  set_fields("compitem", sale_line(app::demo::kCheckedTicket, "0000107"), {{"BONO", Value("@")}});
  set_fields("log_env", 2, {{"CANT_CHK", Value(1)}});
  ASSERT_EQ(load(app::demo::kCheckedTicket).status, app::LoadStatus::Loaded);
  expect_lines_from_log(app::demo::kCheckedTicket, {1, 3}, {1, 3}, {"N", "N"});
}

TEST_F(Rebuild, ALogLineWithoutSaleLineTakesNothingFromTheNextTicketsLine) {
  // A log line of ticket 1236 for a product none of its sale lines has.  The
  // sale line that follows the ticket's lines (ticket 1237, "@", not
  // traced) must not lend it a pre-fill or a traceability flag.
  append("log_env", {{"NUMERO", Value(app::demo::kCheckedTicket)},
                     {"CODIGO", Value("0000104")},
                     {"CANTID", Value(2)},
                     {"CANT_CHK", Value(0)},
                     {"DESCRIP", Value("CLONAZEPAM 2 MG")},
                     {"CB", Value(7790000001049.0)},
                     {"CP", Value("7790000001049")},
                     {"TRAZA", Value("S")},
                     {"VENDEDOR", Value(7)},
                     {"HORA_VTA", Value("10:15:00")},
                     {"HORA_CHK", Value("10:20:00")},
                     {"VEND_CHK", Value(7)}});
  ASSERT_EQ(load(app::demo::kCheckedTicket).status, app::LoadStatus::Loaded);
  // Its own product, 0000104, is forced traceable.
  expect_lines_from_log(app::demo::kCheckedTicket, {1, 3, 0}, {1, 3, 2}, {"N", "N", "S"});
  areas_.close_all();
  run_.cancel_voucher = true;
  ASSERT_EQ(load(app::demo::kCheckedTicket).status, app::LoadStatus::Loaded);
  expect_lines_from_log(app::demo::kCheckedTicket, {0, 0, 0}, {0, 0, 0}, {"N", "N", "S"});
}

// princi's refusals: message, every table closed, area 1 current, nothing written.
class Refusal : public CheckRig {
 protected:
  // Runs princi and returns the text of the message row while its box shows.
  std::string princi_message() {
    std::string seen;
    backend_->then([&] { seen = con_->screen().row_text(12); });
    backend_->key(13);
    areas_.select_area(1);
    EXPECT_TRUE(areas_.use("acceso2"));
    app::princi(*con_, areas_, run_);
    EXPECT_EQ(areas_.current_number(), 1);
    for (int n = 1; n < 10; ++n) EXPECT_FALSE(areas_.is_open(n)) << n;
    return seen;
  }
  std::vector<std::string> shared_files() {
    std::vector<std::string> out;
    for (const char* f : {"log_env.dbf", "log_env.cdx", "compenca.dbf", "compitem.dbf", "producto.dbf"})
      out.push_back(testing_support::read_file(dir_.file(f)));
    return out;
  }
};

TEST_F(Refusal, TicketNotFound) {
  const auto before = shared_files();
  run_.ticket = 4321;
  EXPECT_NE(princi_message().find("Ticket No Encontrado!!!"), std::string::npos);
  EXPECT_EQ(shared_files(), before);
}

TEST_F(Refusal, CancelledTicketLeavesAnEmptyCheckTable) {
  const auto before = shared_files();
  run_.ticket = app::demo::kCancelledTicket;
  EXPECT_NE(princi_message().find("Ticket Anulado!!"), std::string::npos);
  EXPECT_EQ(shared_files(), before);
  rt::wa::WorkAreas w(data_);
  ASSERT_TRUE(w.use("tm390007"));
  EXPECT_EQ(w.current().table().record_count(), 0u);
}

TEST_F(Refusal, ACheckTableHeldByAnotherStationIsLeftAloneAndNamed) {
  // Another station checks as the same seller: it holds tm390007 open.
  run_.ticket = app::demo::kTicket;
  {
    app::CheckEnv e = env();
    ASSERT_EQ(app::load_ticket(e).status, app::LoadStatus::Loaded);
    areas_.close_all();
  }
  const std::string held = testing_support::read_file(dir_.file("tm390007.dbf"));
  const int child = testing_support::spawn_child("HoldRecordOfTable",
                                                 {"tm390007", "0", dir_.file("ready"), dir_.file("done")});
  ASSERT_TRUE(testing_support::wait_for_file(dir_.file("ready")));
  const auto before = shared_files();
  run_.ticket = app::demo::kCheckedTicket;
  const std::string message = princi_message();
  EXPECT_NE(message.find("tm390007"), std::string::npos) << message;
  EXPECT_NE(message.find("En Uso"), std::string::npos) << message;
  EXPECT_EQ(shared_files(), before);
  testing_support::write_file(dir_.file("done"), "done");
  EXPECT_EQ(testing_support::wait_child(child), 0);
  // (Read once the other station let go: Windows keeps even readers out.)
  EXPECT_EQ(testing_support::read_file(dir_.file("tm390007.dbf")), held) << "the other station's table untouched";
  // Free again: the check goes on.
  EXPECT_EQ(load(app::demo::kCheckedTicket).status, app::LoadStatus::Loaded);
}

TEST_F(Refusal, AFullyPrefilledTicketShowsItsLineAndEndsWithEveryTableClosed) {
  // Every line belongs to another department: nothing is left to count.
  run_.ticket = app::demo::kDepartmentTicket;
  run_.department = 9;
  run_.traceability = false;
  con_->devpos(5, 0);
  con_->devout("left over from the entry form");
  areas_.select_area(1);
  ASSERT_TRUE(areas_.use("acceso2"));
  app::princi(*con_, areas_, run_);
  EXPECT_EQ(areas_.current_number(), 1);
  for (int n = 1; n < 10; ++n) EXPECT_FALSE(areas_.is_open(n)) << n;
  EXPECT_FALSE(con_->hotkey(29)) << "the group separator hotkey is removed";
  const std::string ticket_line = con_->screen().row_text(2);
  EXPECT_NE(ticket_line.find("<R> Si Es Por Reintegro!" + std::string(19, ' ') + "TICKET N\xA7 1238"), std::string::npos)
      << ticket_line;
  EXPECT_EQ(con_->screen().row_text(5), std::string(80, ' ')) << "rows below the title cleared";
  // The check table holds the ticket, every line counted in advance.
  rt::wa::WorkAreas w(data_);
  ASSERT_TRUE(w.use("tm390007"));
  auto lines = rows(w.current(), {"CANTID", "CANT_CHK"});
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& l : lines) EXPECT_EQ(l[0].number(), l[1].number());
}

TEST_F(Refusal, AMissingSharedTableIsNamedAndNothingIsWritten) {
  std::filesystem::remove(dir_.file("producto.cdx"));
  const auto out = load(app::demo::kTicket);
  EXPECT_EQ(out.status, app::LoadStatus::TablesUnavailable);
  EXPECT_NE(out.message.find("producto"), std::string::npos) << out.message;
  EXPECT_TRUE(out.shown) << "the operator was told which table";
}

}  // namespace

// The typical traceable ticket end to end on the headless console over the
// demo folder: the ticket's check table, the browse with scans typed as a
// reader types them (the traceable product once by its barcode, captured in
// the capture box by scanning the package's code into it, once by its whole
// GS1 code, split without a box), the units counted with their slots in
// SERIES, then the completion filling both traceability records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/check_browse.h"
#include "app/completion.h"
#include "demodata/demo_data.h"
#include "runtime/os/folder_env.h"
#include "runtime/console/headless.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"
#include "tools/text_tools.h"

namespace {

using rt::Value;
using rt::con::Console;
using rt::con::HeadlessBackend;
using rt::text::pad_right;
namespace key = rt::con::key;
namespace fs = std::filesystem;

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 12, 8);

class TraceEndToEnd : public ::testing::Test {
 protected:
  TraceEndToEnd() {
    app::make_demo(dir_.path(), kToday);
    run_.drives = testing_support::station_drives(dir_.path());
    con_->set_confirm(true);
    con_->set_date_window(rt::text::DateWindow{2026});
    run_.traceability = true;
    run_.ticket = app::demo::kTicket;
    run_.seller = app::demo::kSeller;
    run_.machine = "5";
    run_.labels = {"FARMACIA DEMO", "", "", "", ""};
    check_.check_table = "tm390007";
  }
  ~TraceEndToEnd() override { areas_.close_all(); }

  // The shared tables of the check and the check table of the demo ticket
  // (ibuprofen 2, amoxicillin 2 traceable, paracetamol 1), as the ticket
  // loading leaves them.
  void open_check() {
    for (const char* name : {"log_env", "compenca", "producto"}) {
      areas_.select_area(0);
      ASSERT_TRUE(areas_.use(name));
      rt::wa::set_index(areas_.current(), name);
    }
    rt::wa::set_focus(areas_.area("producto"), "codigo");
    areas_.select_area(0);
    ASSERT_TRUE(areas_.use("tempo39"));
    areas_.copy_structure(check_.check_table);
    areas_.close_area();
    rt::wa::OpenOptions excl;
    excl.alias = "tempo39";
    excl.exclusive = true;
    ASSERT_TRUE(areas_.use(check_.check_table, excl));
    rt::wa::Area& t = areas_.current();
    rt::wa::create_order(t, "cb", "cb");
    rt::wa::create_order(t, "codigo", "codigo");
    rt::wa::create_order(t, "cp", "cp");
    rt::wa::Area& p = areas_.area("producto");
    for (const auto& [code, sold] : std::vector<std::pair<std::string, int>>{
             {"0000101", 2}, {"0000102", 2}, {"0000103", 1}}) {
      ASSERT_TRUE(rt::wa::seek(p, Value(code)));
      ASSERT_TRUE(t.append());
      t.put("NUMERO", Value(run_.ticket));
      t.put("CODIGO", Value(code));
      t.put("CANTID", Value(sold));
      t.put("DESCRIP", p.get("DESCRIP"));
      t.put("CB", p.get("CODVAR"));
      t.put("CP", p.get("CODPROD"));
      t.put("TRAZA", Value(rt::text::trim(p.get("TRAZA").text()) == "S" ? "S" : "N"));
      t.put("FECHA_VTA", Value(kToday));
      t.put("HORA_VTA", Value("10:15:00"));
    }
    rt::wa::set_focus(t, "cb");
    rt::wa::set_relation(areas_, t, "producto", "codigo");
    t.goto_top();
  }

  std::string barcode(const std::string& code) {
    rt::wa::Area& p = areas_.area("producto");
    EXPECT_TRUE(rt::wa::seek(p, Value(code)));
    return rt::text::trim(rt::text::str(p.get("CODVAR").number(), 14));
  }

  std::string series(const std::string& code, double* counted) {
    rt::wa::Area& t = areas_.area("tempo39");
    for (rt::wa::RecNo n = 1; n <= t.table().record_count(); ++n) {
      t.go(n);
      if (t.get("CODIGO").text() == code) {
        *counted = t.get("CANT_CHK").number();
        return t.get("SERIES").text();
      }
    }
    ADD_FAILURE() << "no line " << code;
    return {};
  }

  struct TraceRecord {
    std::string gtin, serie, lote, cod_traza, arch_aso;
    rt::text::Date venc;
  };
  std::vector<TraceRecord> trace_records() {
    std::vector<TraceRecord> out;
    areas_.select_area(0);
    areas_.use("traza");
    rt::wa::Area& tz = areas_.current();
    for (rt::wa::RecNo n = 1; n <= tz.table().record_count(); ++n) {
      tz.go(n);
      if (tz.get("NUMERO_INT").number() != run_.ticket) continue;
      out.push_back({tz.get("GTIN").text(), tz.get("SERIE").text(), tz.get("LOTE").text(),
                     tz.get("COD_TRAZA").text(), tz.get("ARCH_ASO").text(), tz.get("VENC").date()});
    }
    areas_.close_area();
    return out;
  }

  testing_support::TempDir dir_;
  rt::os::FolderEnv data_{dir_.path()};  // the data folder, as chk_env2 --data gives it
  HeadlessBackend* backend_ = new HeadlessBackend;  // owned by the console
  std::unique_ptr<Console> con_ = std::make_unique<Console>(std::unique_ptr<HeadlessBackend>(backend_));
  rt::wa::WorkAreas areas_{data_};
  app::RunContext run_;
  app::CheckContext check_;
};

TEST_F(TraceEndToEnd, TypicalTicketWithTwoTraceableUnitsScannedCapturedCountedAndRecorded) {
  open_check();
  const std::string ibu = barcode("0000101"), amoxi = barcode("0000102"), para = barcode("0000103");
  const std::string gtin = "0" + amoxi;
  auto enter = [&](const std::string& keys) { backend_->keys(keys).key(key::kEnter); };

  enter(ibu);
  enter(ibu);
  // First unit by its barcode: the capture box opens; the package's code is
  // scanned into it (key 29 between serial and expiry) and split; the
  // operator confirms the retyped expiry, then says yes to a unit the
  // traceability table does not know yet.
  enter(amoxi);
  backend_->then([&] { EXPECT_EQ(con_->row(), 12) << "in the code field of the capture box"; });
  backend_->keys("01" + gtin + "21BOX-0001").key(29).keys("17271231" "10LOTBOX").key(key::kEnter);
  backend_->then([&] {
    EXPECT_EQ(con_->row(), 15) << "the retyped expiry waits for confirmation";
    EXPECT_EQ(Console::charodd(con_->screenstr(15, 35, 8)), "31/12/27");
  });
  backend_->key(key::kEnter);
  backend_->keys("S").key(key::kEnter);
  // Second unit by its whole code as the reader sends it: split without a
  // box.  The capture box has cleared the hotkey of key 29, so the browse
  // turns it into "@" itself.
  backend_->keys("01" + gtin + "21AUTO-0002").key(29).keys("17280630" "10LOTAUT").key(key::kEnter);
  backend_->keys("S").key(key::kEnter);
  enter(para);

  app::CheckEnv env{*con_, areas_, run_, check_};
  app::run_check_browse(env);
  EXPECT_EQ(backend_->pending(), 0u);

  double counted = 0;
  const std::string slots = series("0000102", &counted);
  EXPECT_EQ(counted, 2);
  const std::string box_code = "01" + gtin + "21BOX-0001@17271231" "10LOTBOX";
  const std::string auto_code = "01" + gtin + "21AUTO-0002@17280630" "10LOTAUT";
  EXPECT_EQ(slots, pad_right("BOX-0001", 20) + pad_right("LOTBOX", 10) + "20271231" + "@@" + pad_right(box_code, 60) +
                       pad_right("AUTO-0002", 20) + pad_right("LOTAUT", 10) + "20280630" + "@@" +
                       pad_right(auto_code, 60));
  double other = 0;
  EXPECT_EQ(series("0000101", &other).size(), 200u);
  EXPECT_EQ(other, 2);
  EXPECT_FALSE(con_->hotkey(29));

  app::salir(env);
  const auto recs = trace_records();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].gtin, gtin);
  EXPECT_EQ(recs[0].serie, pad_right("BOX-0001", 20));
  EXPECT_EQ(recs[0].lote, pad_right("LOTBOX", 10));
  EXPECT_EQ(recs[0].venc, *rt::text::Date::from_ymd(2027, 12, 31));
  EXPECT_EQ(rt::text::rtrim(recs[0].cod_traza), "01" + gtin + "21BOX-0001<GS>17271231" "10LOTBOX");
  EXPECT_EQ(recs[1].serie, pad_right("AUTO-0002", 20));
  EXPECT_EQ(recs[1].lote, pad_right("LOTAUT", 10));
  EXPECT_EQ(recs[1].venc, *rt::text::Date::from_ymd(2028, 6, 30));
  EXPECT_EQ(rt::text::rtrim(recs[1].cod_traza), "01" + gtin + "21AUTO-0002<GS>17280630" "10LOTAUT");
  for (const auto& r : recs) EXPECT_EQ(rt::text::trim(r.arch_aso), "?");
}

}  // namespace

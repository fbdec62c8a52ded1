// The typical ticket of the demo folder from the first scan to the printer
// hand-off, on the headless console: two units of the traceable line
// scanned as a reader types them, the other lines by their barcodes; then
// the traceability records, the voucher and the comptes file byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/check.h"
#include "demodata/demo_data.h"
#include "runtime/os/folder_env.h"
#include "runtime/console/headless.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"
#include "tools/text_tools.h"

namespace {

using rt::Value;
using rt::text::pad_right;
namespace fs = std::filesystem;
namespace wa = rt::wa;

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 12, 8);

class TraceFlow : public ::testing::Test {
 protected:
  TraceFlow() {
    app::make_demo(dir_.path(), kToday);
    run_.drives = testing_support::station_drives(dir_.path(), "vlm/tmp");
    auto b = std::make_unique<rt::con::HeadlessBackend>();
    backend_ = b.get();
    con_ = std::make_unique<rt::con::Console>(std::move(b));
    con_->set_confirm(true);
    run_.traceability = true;
    run_.ticket = app::demo::kTicket;
    run_.seller = app::demo::kSeller;
    run_.machine = "5";
    run_.labels = {"FARMACIA DEMO", "AV. SIEMPRE VIVA 742", "CUIT 30-12345678-9", "IVA RESP. INSCRIPTO",
                   "GRACIAS POR SU COMPRA"};
  }
  ~TraceFlow() override { areas_.close_all(); }

  double barcode(const std::string& code) {
    areas_.select_area(0);
    areas_.use("producto");
    wa::set_index(areas_.current(), "producto");
    wa::set_focus(areas_.current(), "codigo");
    EXPECT_TRUE(wa::seek(areas_.current(), Value(code)));
    const double cb = areas_.current().get("CODVAR").number();
    areas_.close_area();
    return cb;
  }

  // A package scanned: the reader types the code and Enter; its group
  // separator arrives as key 29.
  void scan(const std::string& text) {
    for (char c : text) backend_->key(c == '|' ? 29 : static_cast<unsigned char>(c));
    backend_->key(13);
  }

  testing_support::TempDir dir_;
  rt::os::FolderEnv data_{dir_.path()};  // the data folder, as chk_env2 --data gives it
  rt::con::HeadlessBackend* backend_ = nullptr;
  std::unique_ptr<rt::con::Console> con_;
  wa::WorkAreas areas_{data_};
  app::RunContext run_;
};

TEST_F(TraceFlow, TypicalTicketFromScansToVoucherAndComptesFile) {
  const double ibu = barcode("0000101"), amoxi = barcode("0000102"), para = barcode("0000103");
  const std::string gtin = tools::str_0(amoxi, 14);
  const auto digits = [](double cb) { return rt::text::trim(rt::text::str(cb, 14)); };
  scan(digits(ibu));
  scan(digits(ibu));
  scan(digits(para));
  // Each unit is not yet in the traceability table as received: the
  // station asks whether to go on, and the operator says yes.
  scan("01" + gtin + "21SER0001|17271231" "10LOTA");
  backend_->keys("S").key(13);
  scan("01" + gtin + "21SER0002|10LOTB|17280630");
  backend_->keys("S").key(13);
  app::princi(*con_, areas_, run_);
  const auto now = con_->clock().now();

  // The two records of the ticket, filled from the two units in order.
  areas_.select_area(0);
  areas_.use("traza");
  wa::set_index(areas_.current(), "traza");
  wa::set_focus(areas_.current(), "compte");
  auto& tz = areas_.current();
  ASSERT_TRUE(wa::seek(tz, Value("TK" + rt::text::str(app::demo::kTicket, 6))));
  EXPECT_EQ(tz.get("SERIE").text(), pad_right("SER0001", 20));
  EXPECT_EQ(tz.get("LOTE").text(), pad_right("LOTA", 10));
  EXPECT_EQ(tz.get("VENC").date(), *rt::text::Date::from_ymd(2027, 12, 31));
  EXPECT_EQ(rt::text::trim(tz.get("COD_TRAZA").text()), "01" + gtin + "21SER0001<GS>17271231" "10LOTA");
  EXPECT_EQ(rt::text::trim(tz.get("ARCH_ASO").text()), "?");
  tz.skip();
  EXPECT_EQ(tz.get("SERIE").text(), pad_right("SER0002", 20));
  EXPECT_EQ(tz.get("LOTE").text(), pad_right("LOTB", 10));
  EXPECT_EQ(tz.get("VENC").date(), *rt::text::Date::from_ymd(2028, 6, 30));
  EXPECT_EQ(rt::text::trim(tz.get("COD_TRAZA").text()), "01" + gtin + "21SER0002<GS>10LOTB<GS>17280630");
  areas_.close_all();

  const std::string end = "tex_nor\r\n";
  const std::string dashes(40, '-');
  const auto unit = [&](const std::string& serial, const std::string& lot, const std::string& expiry) {
    return pad_right("AMOXICILINA 500", 30) + end + "GTIN " + gtin + end + "SERIE " + pad_right(serial, 20) + end +
           "LOTE " + pad_right(lot, 10) + end + "VENC " + expiry + end + dashes + end;
  };
  const std::string voucher = "Comprobante De Traza 00001234" + end + "Fecha " + rt::text::dtoc(now.date) +
                              "  Hora " + rt::text::time_of_day(now.seconds_since_midnight) + end +
                              "FA 0002-00012345" + end + dashes + end + unit("SER0001", "LOTA", "20271231") +
                              unit("SER0002", "LOTB", "20280630");
  EXPECT_EQ(testing_support::read_file(dir_.file("root/vlm/tmp/05001234.TNF")), voucher);
  EXPECT_EQ(testing_support::read_file(dir_.file("s/qumar/comptes_tz/20261208_20111222_123456789012.txt")),
            gtin + pad_right("SER0001", 20) + pad_right("LOTA", 10) + "20271231\r\n" + gtin +
                pad_right("SER0002", 20) + pad_right("LOTB", 10) + "20280630\r\n");
  ASSERT_EQ(backend_->commands().size(), 1u);
  EXPECT_EQ(backend_->commands()[0], "i_n_fisc 05001234.TNF");
}

}  // namespace

// The check browse and its key handler on the headless console: a check
// table made by the test from the demo folder's products, scans typed as a
// reader types them, and afterwards the check table, the screen, the tones
// and the sale header compared with what the operator must get.
#include "app/check_browse.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/check_scan.h"
#include "demodata/demo_data.h"
#include "runtime/os/folder_env.h"
#include "runtime/console/color.h"
#include "runtime/console/headless.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"

namespace {

using rt::Value;
using rt::con::Console;
using rt::con::HeadlessBackend;
namespace key = rt::con::key;

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 3, 14);

struct LineSpec {
  std::string code;  // product of the demo folder
  int sold;
  int counted = 0;
  double barcode = -1;  // -1: the product's own
};

struct LineState {
  double sold, counted, seller;
  std::string hour, series;
};

class CheckBrowse : public ::testing::Test {
 protected:
  CheckBrowse() {
    app::make_demo(dir_.path(), kToday);
    auto b = std::make_unique<HeadlessBackend>();
    backend_ = b.get();
    con_ = std::make_unique<Console>(std::move(b));
    con_->set_confirm(true);
    run_.ticket = app::demo::kTicket;
    run_.seller = app::demo::kSeller;
  }
  ~CheckBrowse() override { areas_.close_all(); }

  // The shared tables of a check and a fresh check table with these lines,
  // in this physical order.
  void open_check(const std::vector<LineSpec>& lines) {
    using rt::wa::OpenOptions;
    for (const char* name : {"log_env", "compenca", "producto"}) {
      areas_.select_area(0);
      ASSERT_TRUE(areas_.use(name));
      rt::wa::set_index(areas_.current(), name);
    }
    rt::wa::set_focus(areas_.area("producto"), "codigo");
    areas_.select_area(0);
    ASSERT_TRUE(areas_.use("tempo39"));
    areas_.copy_structure("tm390007");
    areas_.close_area();
    OpenOptions excl;
    excl.alias = "tempo39";
    excl.exclusive = true;
    ASSERT_TRUE(areas_.use("tm390007", excl));
    rt::wa::Area& t = areas_.current();
    rt::wa::create_order(t, "cb", "cb");
    rt::wa::create_order(t, "codigo", "codigo");
    rt::wa::create_order(t, "cp", "cp");
    rt::wa::Area& p = areas_.area("producto");
    for (const LineSpec& l : lines) {
      ASSERT_TRUE(rt::wa::seek(p, Value(l.code))) << l.code;
      ASSERT_TRUE(t.append());
      t.put("NUMERO", Value(run_.ticket));
      t.put("CODIGO", Value(l.code));
      t.put("CANTID", Value(l.sold));
      t.put("CANT_CHK", Value(l.counted));
      t.put("DESCRIP", p.get("DESCRIP"));
      t.put("CB", l.barcode >= 0 ? Value(l.barcode) : p.get("CODVAR"));
      t.put("CP", p.get("CODPROD"));
      const std::string tr = rt::text::trim(p.get("TRAZA").text());
      const std::string forced = rt::text::trim(p.get("TRAZA_F").text());
      t.put("TRAZA", Value(forced == "S" || (forced.empty() && tr == "S") ? "S" : "N"));
      t.put("FECHA_CHK", Value(kToday));
    }
    rt::wa::set_focus(t, "cb");
    rt::wa::set_relation(areas_, t, "producto", "codigo");
    t.goto_top();
  }

  double barcode(const std::string& code) {
    rt::wa::Area& p = areas_.area("producto");
    EXPECT_TRUE(rt::wa::seek(p, Value(code)));
    return p.get("CODVAR").number();
  }
  std::string barcode_text(const std::string& code) { return rt::text::trim(rt::text::str(barcode(code), 14)); }

  void browse() {
    app::CheckEnv env{*con_, areas_, run_, check_};
    app::run_check_browse(env);
  }

  // The check line of a product (the first one in physical order).
  LineState line(const std::string& code, int nth = 0) {
    rt::wa::Area& t = areas_.area("tempo39");
    const auto count = t.table().record_count();
    for (rt::wa::RecNo n = 1; n <= count; ++n) {
      t.go(n);
      if (t.get("CODIGO").text() == code && nth-- == 0)
        return {t.get("CANTID").number(), t.get("CANT_CHK").number(), t.get("VEND_CHK").number(),
                t.get("HORA_CHK").text(), t.get("SERIES").text()};
    }
    ADD_FAILURE() << "no line " << code;
    return {};
  }

  std::string text(int row, int col, int n) const {
    return Console::charodd(con_->screenstr(row, col, n));
  }
  rt::con::Attr attr(int row, int col) const { return con_->screen().at(row, col).attr; }
  static rt::con::Attr colour(const char* c) { return rt::con::parse_color_pair(c); }

  int tones(double freq) const {
    int n = 0;
    for (const auto& t : backend_->tones())
      if (t.freq == freq) ++n;
    return n;
  }

  // A reader's scan: the characters then Enter.
  HeadlessBackend& scan(const std::string& code) { return backend_->keys(code).key(key::kEnter); }
  // A moment without keys (the browse is idle; a message box times out).
  HeadlessBackend& wait() { return backend_->pause(6); }

  std::string sale_header_mark() {
    rt::wa::Area& h = areas_.area("compenca");
    EXPECT_TRUE(rt::wa::seek(h, Value("TK" + rt::text::str(run_.ticket, 6))));
    return rt::text::trim(rt::text::str(h.get("REINTE_3").number(), 6));
  }

  testing_support::TempDir dir_;
  rt::os::FolderEnv data_{dir_.path()};  // the data folder, as chk_env2 --data gives it
  HeadlessBackend* backend_ = nullptr;
  std::unique_ptr<Console> con_;
  rt::wa::WorkAreas areas_{data_};
  app::RunContext run_;
  app::CheckContext check_;
};

const std::string kBlankSlot = std::string(38, ' ') + "@@" + std::string(60, ' ');

TEST_F(CheckBrowse, ScreenLayoutColoursAndCountingUntilTheTicketIsComplete) {
  open_check({{"0000101", 2}, {"0000103", 1}});
  const std::string ibu = barcode_text("0000101"), para = barcode_text("0000103");
  backend_->then([&] {});  // nothing before the first idle call
  wait().then([&] {
    // Headings, separator and the quantities where the colours are read.
    EXPECT_EQ(text(8, 0, 80).substr(0, 30), "Producto" + std::string(22, ' '));
    EXPECT_EQ(text(8, 32, 4), "Vend");
    EXPECT_EQ(text(8, 39, 4), "Cheq");
    EXPECT_EQ(text(8, 44, 14), rt::text::pad_left("Barras", 14));
    EXPECT_EQ(text(8, 59, 10), "Traza <F1>");
    EXPECT_EQ(text(9, 0, 80), std::string(80, '\xC4'));
    EXPECT_EQ(text(10, 33, 3), "  2");
    EXPECT_EQ(text(10, 40, 3), "   ");
    EXPECT_EQ(text(4, 30, 20), app::check_text::kDifferences);
    EXPECT_EQ(attr(4, 30), colour("r+/n"));
    EXPECT_NE(text(2, 0, 80).find("<R> Si Es Por Reintegro!" + std::string(19, ' ') + "TICKET N\xA7 1234"),
              std::string::npos);
    EXPECT_EQ(attr(11, 5), colour("w/n"));  // nothing counted: white
    // Row 24: the current line's product.
    EXPECT_NE(text(24, 0, 80).find("IBUPROFENO 400 COMP. X 20"), std::string::npos);
  });
  scan(ibu).then([&] {
    EXPECT_EQ(line("0000101").counted, 1);
  });
  wait().then([&] {
    EXPECT_EQ(text(10, 40, 3), "  1");
    EXPECT_EQ(attr(10, 50), colour("gr+/n"));  // partly counted: yellow
    EXPECT_EQ(text(23, 0, 80), std::string(80, ' '));
  });
  scan(ibu);
  wait().then([&] {
    EXPECT_EQ(attr(10, 50), colour("g+/n"));  // complete: green
    EXPECT_EQ(attr(11, 50), colour("w/n"));
  });
  scan(para);
  browse();
  EXPECT_EQ(backend_->pending(), 0u);
  const LineState a = line("0000101"), b = line("0000103");
  EXPECT_EQ(a.counted, 2);
  EXPECT_EQ(b.counted, 1);
  EXPECT_EQ(a.seller, app::demo::kSeller);
  EXPECT_EQ(a.hour.size(), 8u);
  EXPECT_EQ(a.hour[2], ':');
  // Traceability off: one slot of blanks and "@@" per unit.
  EXPECT_EQ(a.series, kBlankSlot + kBlankSlot);
  EXPECT_EQ(b.series, kBlankSlot);
  EXPECT_EQ(text(4, 30, 20), app::check_text::kOk);
  EXPECT_EQ(attr(4, 30), colour("g+/n"));
  // A tone of two ticks for every unit found, then the closing pair.
  ASSERT_EQ(backend_->tones().size(), 5u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(backend_->tones()[i].freq, 3000);
    EXPECT_EQ(backend_->tones()[i].ticks, 2);
  }
  EXPECT_EQ(backend_->tones()[3].freq, 3000);
  EXPECT_EQ(backend_->tones().back().freq, 1000);
  EXPECT_EQ(sale_header_mark(), "0");
  EXPECT_FALSE(con_->hotkey(29)) << "the separator's substitution is removed";
}

TEST_F(CheckBrowse, LookupCascadeProductCodeBarcodeTextAndExtraBarcodes) {
  open_check({{"0000101", 1}, {"0000103", 1}, {"0000107", 1}, {"0000105", 5, 0, 5}});
  std::string seen_tag;
  // Product code: seven characters as typed.
  scan("0000101").then([&] {
    EXPECT_EQ(line("0000101").counted, 1);
    seen_tag = rt::wa::focus(areas_.area("tempo39"));
  });
  // The product's own barcode text under tag "cp" when the number misses:
  // the line's CB is an internal code here.
  scan(barcode_text("0000105")).then([&] { EXPECT_EQ(line("0000105").counted, 1); });
  // The extra-barcode table maps 7791234567898 to product 103.
  scan("7791234567898").then([&] { EXPECT_EQ(line("0000103").counted, 1); });
  scan(barcode_text("0000107"));
  // Line 105 has CB 5 (not a counted line): the totals are complete now.
  browse();
  EXPECT_EQ(rt::text::upper(seen_tag), "CODIGO") << "the tag of the last lookup stays active";
  EXPECT_EQ(line("0000107").counted, 1);
}

TEST_F(CheckBrowse, UnknownScansCountNothingAndTellTheOperator) {
  open_check({{"0000101", 1}, {"0000103", 1}});
  // A five-digit code is a product code (not found), so is a word; a long
  // unknown number is a barcode (not found by any lookup).
  for (const char* unknown : {"10100", "ABC", "1234567890123", ""}) {
    const auto tones_before = std::make_shared<std::size_t>();
    backend_->then([&, tones_before] { *tones_before = backend_->tones().size(); });
    scan(unknown).then([&, unknown, tones_before] {
      // The message stands with the scan still on the scan line.
      EXPECT_NE(text(12, 5, 70).find(app::check_text::kNotFound), std::string::npos) << unknown;
      EXPECT_NE(text(23, 0, 80).find(unknown), std::string::npos) << unknown;
      EXPECT_GE(backend_->tones().size(), *tones_before + 1) << "a tone for " << unknown;
    });
    wait().then([&, unknown] {
      EXPECT_EQ(line("0000101").counted, 0) << unknown;
      EXPECT_EQ(line("0000103").counted, 0) << unknown;
      EXPECT_EQ(text(23, 0, 80), std::string(80, ' ')) << "the scan line is cleared after " << unknown;
      EXPECT_EQ(text(4, 30, 20), app::check_text::kDifferences);
    });
  }
  backend_->key(key::kEsc).keys("N").key(key::kEnter);  // leave anyway? no
  backend_->then([&] { EXPECT_EQ(line("0000101").counted, 0); });
  scan(barcode_text("0000101"));
  scan(barcode_text("0000103"));
  browse();
  EXPECT_EQ(backend_->pending(), 0u);
  EXPECT_EQ(sale_header_mark(), "0") << "no permission: nothing marked";
}

TEST_F(CheckBrowse, ScanBufferClearSeparatorAndScanLine) {
  open_check({{"0000101", 1}, {"0000103", 1}});
  backend_->keys("12%").then([&] {
    EXPECT_EQ(check_.scan, "");
  });
  backend_->keys("AB").key(29).keys("C").then([&] { EXPECT_EQ(check_.scan, "AB@C"); });
  wait().then([&] {
    // Centred about column 40 in bright green.
    EXPECT_EQ(text(23, 38, 4), "AB@C");
    EXPECT_EQ(attr(23, 38), colour("g+/n"));
  });
  backend_->keys("%");
  // Without the substitution the browse takes key 29 as its own key and
  // the routine still adds "@".
  backend_->then([&] { con_->set_key(29, {}); });
  backend_->keys("X").key(29).keys("Y").then([&] { EXPECT_EQ(check_.scan, "X@Y"); });
  backend_->keys("%");
  // Top or bottom reached: a low tone and the buffer emptied.
  backend_->keys("Q").key(key::kUp).then([&] {
    EXPECT_EQ(check_.scan, "");
    EXPECT_EQ(backend_->tones().back().freq, 294);
  });
  scan(barcode_text("0000101"));
  scan(barcode_text("0000103"));
  browse();
}

TEST_F(CheckBrowse, GS1CodeFoundByItsGtinWithTheReaderPrefix) {
  open_check({{"0000101", 1}, {"0000102", 1}});
  const std::string gtin = "0" + barcode_text("0000102");
  // "+C1" prefix, AI 01 GTIN, 21 serial, separator, 17 expiry, 10 lot.
  backend_->keys("+C101" + gtin + "21SER123").key(29).keys("1728123110LOTE9").key(key::kEnter);
  backend_->then([&] { EXPECT_EQ(line("0000102").counted, 1); });
  // A code that begins with "21" is not cut to a GTIN: product-code lookup.
  scan("21SERIAL0123456789X01").then([&] {
    EXPECT_EQ(line("0000101").counted, 0);
  });
  wait();
  scan(barcode_text("0000101"));
  browse();
  EXPECT_EQ(line("0000102").series, kBlankSlot);
}

TEST_F(CheckBrowse, CompleteLineSayAlreadyOkAndOverCountedLineCountsAgain) {
  open_check({{"0000101", 1}, {"0000103", 2}, {"0000107", 1, 3, 77}});
  scan(barcode_text("0000101"));
  scan(barcode_text("0000101")).then([&] {
    EXPECT_NE(text(12, 5, 70).find(app::check_text::kAlreadyOk), std::string::npos);
    EXPECT_EQ(line("0000101").counted, 1);
  });
  wait();
  // Counted 3 of 1: only equality stops the count.
  scan(barcode_text("0000107")).then([&] { EXPECT_EQ(line("0000107").counted, 4); });
  scan(barcode_text("0000103"));
  scan(barcode_text("0000103"));
  browse();
  EXPECT_EQ(line("0000103").counted, 2);
}

TEST_F(CheckBrowse, SameProductOnTwoLinesBothGetCounted) {
  open_check({{"0000101", 1}, {"0000103", 1}, {"0000101", 2}});
  for (int i = 0; i < 3; ++i) scan(barcode_text("0000101"));
  backend_->then([&] {
    EXPECT_EQ(line("0000101", 0).counted, 1);
    EXPECT_EQ(line("0000101", 1).counted, 2);
  });
  scan(barcode_text("0000103"));
  browse();
}

TEST_F(CheckBrowse, F1OnATraceableLineScansItsBarcode) {
  open_check({{"0000104", 1}, {"0000101", 1}});
  // Line 104 (traceable) is the second by barcode.  With traceability off
  // the unit counts with a blank slot.
  backend_->key(key::kDown).key(key::kF1).then([&] { EXPECT_EQ(line("0000104").counted, 1); });
  backend_->key(key::kUp).key(key::kF1).then([&] {
    EXPECT_EQ(line("0000101").counted, 0) << "an untraceable line's F1 is a character";
    EXPECT_EQ(check_.scan, std::string(1, '\x1c'));
  });
  backend_->keys("%");
  scan(barcode_text("0000101"));
  browse();
}

TEST_F(CheckBrowse, EverythingPrefilledEndsAtTheFirstIdleMoment) {
  open_check({{"0000101", 1, 1}, {"0000105", 3, 0, 99}});  // 105 has an internal code
  backend_->pause(0.5).then([&] {
    EXPECT_NE(text(12, 5, 70).find(app::check_text::kTicketOk), std::string::npos);
    EXPECT_EQ(text(4, 30, 20), app::check_text::kOk);
  });
  browse();
  EXPECT_EQ(backend_->pending(), 0u);
  EXPECT_EQ(line("0000105").counted, 0);
}

TEST_F(CheckBrowse, EmptyCheckTableEscLeavesAtOnceWithoutQuestions) {
  open_check({});
  backend_->key(key::kEsc);
  browse();
  EXPECT_EQ(backend_->pending(), 0u);
  ASSERT_GE(backend_->tones().size(), 2u);
  EXPECT_EQ(backend_->tones()[backend_->tones().size() - 2].freq, 3000);
  EXPECT_EQ(backend_->tones().back().freq, 1000);
  EXPECT_EQ(sale_header_mark(), "0");
}

TEST_F(CheckBrowse, RefundQuestionAnsweredNoKeepsTheLetterInTheBuffer) {
  open_check({{"0000101", 1}});
  backend_->keys("R");  // "R" on an empty buffer asks about a refund
  backend_->keys("N").key(key::kEnter).then([&] { EXPECT_EQ(check_.scan, "R"); });
  backend_->key(key::kEnter);  // "R" looked up: not found
  wait();
  backend_->key(key::kEsc).keys("N").key(key::kEnter);
  backend_->then([&] { EXPECT_EQ(line("0000101").counted, 0); });
  scan(barcode_text("0000101"));
  browse();
  EXPECT_EQ(sale_header_mark(), "0");
}

// A GS1 DataMatrix as a reader sends it: AI 01 GTIN, 21 serial, separator,
// 17 expiry 31/12/2028, 10 lot, Enter.
std::string datamatrix(const std::string& gtin13, const std::string& serial, const std::string& lot) {
  return "010" + gtin13 + "21" + serial + "\x1d" + "17281231" + "10" + lot;
}

TEST_F(CheckBrowse, TraceableUnitsGetTheirSlotsAndTheSameUnitTwiceIsRefused) {
  run_.traceability = true;
  // Product 104 is traceable; it stands on two lines of the ticket.
  open_check({{"0000104", 1}, {"0000101", 1}, {"0000104", 2}});
  const std::string gtin = barcode_text("0000104");
  // A unit the traceability table knows, with another lot.
  {
    rt::wa::WorkAreas w{data_};
    ASSERT_TRUE(w.use("traza"));
    rt::wa::set_index(w.current(), "traza");
    ASSERT_TRUE(w.current().append());
    w.current().put("GTIN", Value("0" + gtin));
    w.current().put("SERIE", Value("KNOWN"));
    w.current().put("LOTE", Value("REALLOT"));
    w.current().put("VENC", Value(*rt::text::Date::from_ymd(2029, 6, 30)));
    w.current().unlock();
  }
  const auto answer_yes = [&] { backend_->keys("S").key(key::kEnter); };
  // Unit 1: not in the traceability table, so the operator is asked.
  backend_->keys(datamatrix(gtin, "SER1", "ABC")).key(key::kEnter);
  backend_->then([&] {
    EXPECT_NE(text(12, 0, 80).find("Ingresado"), std::string::npos) << text(12, 0, 80);
  });
  answer_yes();
  backend_->then([&] { EXPECT_EQ(line("0000104", 0).counted, 1); });
  // Unit 2, serial "ABC": it occurs in unit 1's code followed by blanks, but
  // it is not unit 1's serial, so it counts (on the second line: the first
  // is complete).
  backend_->keys(datamatrix(gtin, "ABC", "L2")).key(key::kEnter);
  answer_yes();
  backend_->then([&] { EXPECT_EQ(line("0000104", 1).counted, 1); });
  // Unit 1 again: refused with the three-line message, nothing counted.
  backend_->keys(datamatrix(gtin, "SER1", "ABC")).key(key::kEnter);
  answer_yes();
  backend_->then([&] {
    EXPECT_NE(text(12, 10, 60).find(app::check_text::kDuplicate1), std::string::npos) << text(12, 0, 80);
    EXPECT_NE(text(14, 10, 60).find(app::check_text::kDuplicate3), std::string::npos) << text(14, 0, 80);
  });
  backend_->key(' ');  // the message waits for a key
  backend_->then([&] {
    EXPECT_EQ(line("0000104", 0).counted, 1);
    EXPECT_EQ(line("0000104", 1).counted, 1);
  });
  // A unit the table knows: its lot and expiry win, the operator is told.
  backend_->keys(datamatrix(gtin, "KNOWN", "TYPED")).key(key::kEnter);
  backend_->then([&] { EXPECT_NE(text(12, 5, 70).find(app::check_text::kLotCorrected), std::string::npos); });
  wait().then([&] { EXPECT_NE(text(12, 5, 70).find(app::check_text::kExpiryCorrected), std::string::npos); });
  wait();
  scan(barcode_text("0000101"));
  browse();
  EXPECT_EQ(backend_->pending(), 0u);

  const std::string first = line("0000104", 0).series, second = line("0000104", 1).series;
  ASSERT_EQ(first.size(), 100u);
  ASSERT_EQ(second.size(), 200u);
  EXPECT_EQ(first.substr(0, 40), rt::text::pad_right("SER1", 20) + rt::text::pad_right("ABC", 10) + "20281231@@");
  EXPECT_EQ(first.substr(40), rt::text::pad_right("010" + gtin + "21SER1@1728123110ABC", 60));
  EXPECT_EQ(second.substr(0, 40), rt::text::pad_right("ABC", 20) + rt::text::pad_right("L2", 10) + "20281231@@");
  EXPECT_EQ(second.substr(100, 40),
            rt::text::pad_right("KNOWN", 20) + rt::text::pad_right("REALLOT", 10) + "20290630@@");
  EXPECT_EQ(line("0000104", 1).counted, 2);
}

// The completion box offers a lot and an expiry only from the last unit
// of the same GTIN, never another product's.
TEST_F(CheckBrowse, LotAndExpiryAreOfferedOnlyFromTheSameGtin) {
  run_.traceability = true;
  open_check({{"0000102", 2}, {"0000104", 1}});
  const auto unit = [&](const std::string& code, const std::string& serial) {
    backend_->keys("010" + barcode_text(code) + "21" + serial).key(key::kEnter);
  };
  const auto received = [&] { backend_->keys("S").key(key::kEnter); };
  unit("0000102", "A1");
  backend_->keys("LOT102").key(key::kEnter).keys("311228").key(key::kEnter);
  received();
  unit("0000104", "B1");
  backend_->then([&] {
    EXPECT_EQ(text(14, 35, 10), std::string(10, ' ')) << "another product's lot";
    EXPECT_EQ(text(15, 35, 8), "  /  /  ") << "another product's expiry";
  });
  backend_->key(key::kEnter).key(key::kEnter);
  received();
  unit("0000102", "A2");
  backend_->then([&] { EXPECT_EQ(text(14, 35, 10), "LOT102    "); });
  backend_->key(key::kEnter).key(key::kEnter);
  received();
  browse();
  EXPECT_EQ(backend_->pending(), 0u);
  EXPECT_EQ(line("0000104").series.substr(20, 18), std::string(18, ' '));
  EXPECT_EQ(line("0000102").series.substr(120, 18), "LOT102    20281231");
}

TEST(CheckScan, RecognitionLookupKeysSlotsAndRowColours) {
  using namespace app::scan;
  EXPECT_EQ(buffer_char(29), '@');
  EXPECT_EQ(buffer_char('7'), '7');
  EXPECT_EQ(buffer_char(28), '\x1c');
  for (int k : {int{'7'}, 28, 29, 255}) EXPECT_TRUE(is_character_key(k)) << k;
  for (int k : {0, -1, 256, 302, 398, 1004}) EXPECT_FALSE(is_character_key(k)) << k;

  const std::string code = "0107790000001024" "21ABC@1728123110L1";
  for (const char* prefix : {"+C1", "]d2", "]d2@", "@", ""}) {
    Recognised r = recognise(prefix + code);
    EXPECT_EQ(r.lookup, "07790000001024") << prefix;
    EXPECT_EQ(r.reading.text, code) << prefix;
  }
  EXPECT_EQ(recognise("21ABCDEFGHIJKLMNOPQR01").lookup, "21ABCDEFGHIJKLMNOPQR01");
  EXPECT_EQ(recognise("0107790000001024").lookup, "07790000001024") << "a GS1 code with its GTIN only";
  EXPECT_EQ(recognise("]E07790000001024").lookup, "7790000001024") << "an EAN-13 with its identifier";

  LookupKey k = lookup_key("12345");
  EXPECT_EQ(k.kind, LookupKind::ProductCode);
  EXPECT_EQ(k.code7, "12345  ");
  EXPECT_EQ(lookup_key("9999999").kind, LookupKind::Barcode);
  EXPECT_EQ(lookup_key("9999998").kind, LookupKind::ProductCode);
  EXPECT_EQ(lookup_key("07790000001024").number, 7790000001024.0);
  EXPECT_EQ(lookup_key("ABC").kind, LookupKind::ProductCode);
  EXPECT_EQ(lookup_key(" 7790000001024 ").cp14, "7790000001024 ");

  app::gs1::TraceFields u;
  u.serial = "SER1";
  u.lot = "L1";
  u.expiry = *rt::text::Date::from_ymd(2028, 12, 31);
  u.code = code;
  const std::string slot = unit_slot(u);
  ASSERT_EQ(slot.size(), 100u);
  EXPECT_EQ(slot.substr(0, 20), "SER1" + std::string(16, ' '));
  EXPECT_EQ(slot.substr(20, 10), "L1" + std::string(8, ' '));
  EXPECT_EQ(slot.substr(30, 8), "20281231");
  EXPECT_EQ(slot.substr(38, 2), "@@");
  EXPECT_EQ(slot.substr(40), rt::text::pad_right(code, 60));
  EXPECT_EQ(unit_slot(app::gs1::TraceFields{}), kBlankSlot);

  // A serial counts as seen only in a slot's serial place.
  app::gs1::TraceFields other;
  other.serial = "XABC";  // "ABC" + 16 blanks + a blank lot lies inside it
  const std::string series = unit_slot(other) + slot;
  EXPECT_TRUE(serial_in_slots(series, "SER1"));
  EXPECT_TRUE(serial_in_slots(series, "XABC"));
  EXPECT_FALSE(serial_in_slots(series, "ABC"));
  EXPECT_FALSE(serial_in_slots(series, "SER"));
  EXPECT_FALSE(serial_in_slots("", "SER1"));

  std::string row(80, ' ');
  EXPECT_EQ(row_colour(row), app::LineColour::Plain);
  row.replace(33, 3, "  2");
  EXPECT_EQ(row_colour(row), app::LineColour::Plain);
  row.replace(40, 3, "  1");
  EXPECT_EQ(row_colour(row), app::LineColour::Partial);
  row.replace(40, 3, "  2");
  EXPECT_EQ(row_colour(row), app::LineColour::Complete);
  EXPECT_EQ(row_colour("short"), app::LineColour::Plain);
}

}  // namespace

// Traceability capture of one unit on the headless console over the demo
// folder: the automatic path without a box, the completion box with the
// last lot and expiry, the capture box typed by hand or scanned into, the
// expiry checked against the business date, Esc in each box, the screen
// and colour put back and the hotkey of key 29 cleared.
#include "app/capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "demodata/demo_data.h"
#include "runtime/os/folder_env.h"
#include "runtime/console/color.h"
#include "runtime/console/headless.h"
#include "runtime/text/convert.h"
#include "tests/support/testing.h"
#include "tests/tools/screen_expect.h"
#include "tools/text_tools.h"

namespace {

using rt::con::Console;
using rt::con::HeadlessBackend;
using rt::text::Date;
using rt::text::dtos;
namespace key = rt::con::key;

const Date kBusinessDate = *Date::from_ymd(2026, 3, 14);
const std::string kGtin = "07790000001062";

std::string rtrimmed(const std::string& s) { return rt::text::rtrim(s); }
rt::con::Attr colour(const char* c) { return rt::con::parse_color_pair(c); }

std::string row_text(const Console& con, int row, int col, int n) {
  std::string s;
  for (int c = col; c < col + n; ++c) s += static_cast<char>(con.screen().at(row, c).ch);
  return s;
}

class Capture : public ::testing::Test {
 protected:
  Capture() {
    app::make_demo(dir_.path(), kBusinessDate);
    con_->set_date_window(rt::text::DateWindow{2026});
    con_->set_color(tools::colour::kNormal);
    areas_.select_area(0);
    areas_.use("producto");
    // The traceable demo product (ENOXAPARINA 40 MG), as the relation of the
    // check table would position it.
    areas_.current().locate([](rt::wa::Area& a) { return a.get("CODIGO").text() == "0000106"; });
    barcode_ = rt::text::trim(areas_.current().get("CODPROD").text());
    toolstest::fill_pattern(*con_);
    before_ = std::make_unique<toolstest::Expected>(con_->screen());
  }
  ~Capture() override { areas_.close_all(); }

  // Runs the capture as the browse does: unit cleared, not confirmed.
  void capture(std::string scan, bool hint_box = true) {
    check_.unit = {};
    check_.unit_ok = false;
    last_cod_ = rt::text::pad_right(rt::text::trim(scan), 60);
    app::get_traza(env_, last_cod_, hint_box);
  }

  // The screen and colour are as they were before the capture.
  void expect_restored() {
    EXPECT_EQ(toolstest::diff(con_->screen(), *before_), "");
    EXPECT_EQ(con_->color(), tools::colour::kNormal);
  }

  const app::gs1::TraceFields& unit() const { return check_.unit; }

  testing_support::TempDir dir_;
  rt::os::FolderEnv data_{dir_.path()};  // the data folder, as chk_env2 --data gives it
  HeadlessBackend* backend_ = new HeadlessBackend;  // owned by the console
  std::unique_ptr<Console> con_ = std::make_unique<Console>(std::unique_ptr<HeadlessBackend>(backend_));
  rt::wa::WorkAreas areas_{data_};
  app::RunContext run_;
  app::CheckContext check_;
  app::CheckEnv env_{*con_, areas_, run_, check_};
  std::string barcode_;
  std::string last_cod_;
  std::unique_ptr<toolstest::Expected> before_;
};

// ------------------------------------------------------------ automatic path

TEST_F(Capture, CompleteCodeIsTakenWithoutAnyBox) {
  con_->set_color("gr+/n");  // whatever the browse had stays
  capture("01" + kGtin + "21SER0001@17260314" "10LOTE1");  // expiring on the business date
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().gtin, kGtin);
  EXPECT_EQ(unit().serial, "SER0001             ");
  EXPECT_EQ(unit().lot, "LOTE1     ");
  EXPECT_EQ(dtos(unit().expiry), "20260314");
  EXPECT_EQ(unit().code, rt::text::pad_right("01" + kGtin + "21SER0001@17260314" "10LOTE1", 60));
  EXPECT_EQ(toolstest::diff(con_->screen(), *before_), "");
  EXPECT_EQ(con_->color(), "gr+/n");
  EXPECT_EQ(backend_->pending(), 0u);
  // Nothing was confirmed in a box, so the last lot and expiry stay.
  EXPECT_TRUE(check_.last_batch.empty());
}

TEST_F(Capture, ScanIsLeftCleanedAndTheCodeKeepsItsWidth) {
  capture("01" + kGtin + "21SER2<GS><GS>17270101" "10LT2@@");
  EXPECT_EQ(rtrimmed(last_cod_), "01" + kGtin + "21SER2@17270101" "10LT2@");
  EXPECT_EQ(unit().code.size(), 60u);
  EXPECT_EQ(rtrimmed(unit().code), "01" + kGtin + "21SER2@17270101" "10LT2@");
  EXPECT_EQ(rtrimmed(unit().lot), "LT2");
  EXPECT_TRUE(check_.unit_ok);
}

TEST_F(Capture, CompletionBoxOffersTheLastLotAndExpiry) {
  check_.last_batch[kGtin] = {"LASTLOT   ", *Date::from_ymd(2027, 6, 30)};
  bool looked = false;
  backend_->then([&] {
    looked = true;
    toolstest::Expected want(*before_);
    const auto box = colour("w+/r");
    want.blank(8, 10, 17, 70, box);
    want.frame(8, 10, 17, 70, box);
    want.text(8, 29, " MUCHA ATENCION!!! ", colour("gr+/r"));
    want.text(10, 12, "GTIN (01) " + kGtin + " - " + rt::text::pad_right("ENOXAPARINA 40 MG", 30), colour("bg+/r"));
    want.text(12, 12, "C\xA2" "digo de Trazabilidad 01" + kGtin + "21NOSEP77", colour("r+/n"));
    want.text(13, 12, "N\xA3" "mero de Serie   (21) NOSEP77", colour("gr+/n"));
    want.text(14, 12, "N\xA3" "mero de Lote    (10)", box);
    want.text(15, 12, "Fecha Vencimiento (17)", box);
    // The two fields as the editor shows them (their colours are its own).
    for (int c = 35; c < 45; ++c) want.at(14, c) = con_->screen().at(14, c);
    for (int c = 35; c < 43; ++c) want.at(15, c) = con_->screen().at(15, c);
    EXPECT_EQ(toolstest::diff(con_->screen(), want), "");
    EXPECT_EQ(row_text(*con_, 14, 35, 10), "LASTLOT   ");
    EXPECT_EQ(row_text(*con_, 15, 35, 8), "30/06/27");
  });
  backend_->key(key::kEnter).key(key::kEnter);
  // No separator: the serial runs to the end; no lot, no expiry.
  capture("01" + kGtin + "21NOSEP77");
  EXPECT_TRUE(looked);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(rtrimmed(unit().serial), "NOSEP77");
  EXPECT_EQ(unit().lot, "LASTLOT   ");
  EXPECT_EQ(dtos(unit().expiry), "20270630");
  EXPECT_EQ(check_.last_batch[kGtin].lot, "LASTLOT   ");
  expect_restored();
}

TEST_F(Capture, CompletionBoxKeepsWhatTheCodeYieldedAndRemembersTheConfirmedValues) {
  // The last unit was another product: nothing of it is offered.
  check_.last_batch["07791234567898"] = {"OTHERLOT  ", *Date::from_ymd(2027, 6, 30)};
  backend_->then([&] {
    EXPECT_EQ(row_text(*con_, 14, 35, 10), "REALLOT   ");
    EXPECT_EQ(row_text(*con_, 15, 35, 8), "  /  /  ");
  });
  backend_->key(key::kEnter).keys("311228").key(key::kEnter);
  capture("01" + kGtin + "21SN5@10REALLOT");
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().lot, "REALLOT   ");
  EXPECT_EQ(dtos(unit().expiry), "20281231");
  EXPECT_EQ(check_.last_batch[kGtin].lot, "REALLOT   ");
  EXPECT_EQ(dtos(check_.last_batch[kGtin].expiry), "20281231");
  expect_restored();
}

TEST_F(Capture, EscInTheCompletionBoxDropsTheUnitButKeepsTheLastValues) {
  check_.last_batch[kGtin].expiry = *Date::from_ymd(2027, 1, 31);
  backend_->keys("LOTX").key(key::kEsc);
  capture("01" + kGtin + "21SN6");
  EXPECT_FALSE(check_.unit_ok);
  EXPECT_EQ(dtos(check_.last_batch[kGtin].expiry), "20270131");
  expect_restored();
}

TEST_F(Capture, LongCodeInTheCompletionBoxLeavesNothingBehindOnTheScreen) {
  // No lot, and a company element that makes the code 60 characters long:
  // the box's code line runs past the frame to the last column.
  const std::string code = "01" + kGtin + "21" + std::string(20, 'Q') + "@17271231" "91" + std::string(11, 'Z');
  ASSERT_EQ(code.size(), 60u);
  check_.last_batch[kGtin].lot = "PREV      ";
  backend_->then([&] { EXPECT_EQ(con_->screen().at(12, 79).ch, static_cast<unsigned char>(code[79 - 35])); });
  backend_->key(key::kEnter).key(key::kEnter);
  capture(code);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().serial, std::string(20, 'Q'));
  EXPECT_EQ(unit().lot, "PREV      ");
  EXPECT_EQ(unit().code, code);
  expect_restored();
}

TEST_F(Capture, CodeLongerThanTheScanIsKeptAtSixtyCharacters) {
  std::string scan = "01" + kGtin + "21SER-LONG@17291130" "10LOT-LONG@91" + std::string(40, 'X');
  ASSERT_GT(scan.size(), 60u);
  check_.unit = {};
  app::get_traza(env_, scan, true);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().code, scan.substr(0, 60));
  EXPECT_EQ(rtrimmed(unit().serial), "SER-LONG");
  EXPECT_EQ(rtrimmed(unit().lot), "LOT-LONG");
  EXPECT_EQ(dtos(unit().expiry), "20291130");
  EXPECT_EQ(toolstest::diff(con_->screen(), *before_), "");
}

TEST_F(Capture, CompletionBoxRefusesAnExpiryBeforeTheBusinessDateUntilCorrected) {
  bool held = false;
  backend_->key(key::kEnter).keys("130326").key(key::kEnter);  // the day before the business date
  backend_->then([&] {
    held = true;
    EXPECT_NE(row_text(*con_, 12, 5, 70).find("Producto Vencido El 13/03/26!!!"), std::string::npos);
  });
  backend_->pause(6).then([&] { EXPECT_EQ(con_->row(), 15); });  // still in the date field
  backend_->keys("140326").key(key::kEnter);  // the business date itself is accepted
  capture("01" + kGtin + "21SN7");
  EXPECT_TRUE(held);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().expiry, kBusinessDate);
  ASSERT_FALSE(backend_->tones().empty());
  expect_restored();
}

TEST_F(Capture, CodeWithoutGtinFirstOpensTheCaptureBox) {
  // Not a GS1 code (the GTIN does not come first): the unit cannot be
  // identified from it, so the operator is asked for the serial.
  bool box = false;
  backend_->then([&] {
    box = true;
    EXPECT_EQ(row_text(*con_, 12, 12, 22), "C\xA2" "digo de Trazabilidad");
  });
  backend_->key(key::kEnter).keys("HANDSN").key(key::kEnter).key(key::kEnter).key(key::kEnter);
  capture("21ABCDEFGH@0107790000001060");
  EXPECT_TRUE(box);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().gtin, tools::str_0(barcode_, 14));
  EXPECT_EQ(rtrimmed(unit().serial), "HANDSN");
  expect_restored();
}

// --------------------------------------------------------------- manual path

TEST_F(Capture, WithoutAReaderOnlyTheSerialIsTyped) {
  con_->set_key(29, [](int) {});  // the browse's substitution, cleared by the box
  bool drawn = false;
  backend_->then([&] {
    drawn = true;
    toolstest::Expected want(*before_);
    const auto box = colour("w+/r");
    want.blank(8, 10, 17, 70, box);
    want.frame(8, 10, 17, 70, box);
    want.text(8, 29, " MUCHA ATENCION!!! ", colour("gr+/r"));
    want.text(10, 12, "GTIN (01) " + tools::str_0(barcode_, 14) + " - " + rt::text::pad_right("ENOXAPARINA 40 MG", 30), colour("bg+/r"));
    want.text(12, 12, "C\xA2" "digo de Trazabilidad", box);
    want.text(13, 12, "N\xA3" "mero de Serie   (21)", colour("gr+/n"));
    want.text(14, 12, "N\xA3" "mero de Lote    (10)", box);
    want.text(15, 12, "Fecha Vencimiento (17)", box);
    // The hint box of the code field.
    const auto hint = colour("g+/n");
    want.blank(18, 10, 21, 70, hint);
    want.frame(18, 10, 21, 70, hint);
    want.text(19, 14, "SI NO POSEE LECTORA, EL UNICO DATO QUE NECESITA CARGAR", hint);
    want.text(20, 14, "               ES EL N\xA3MERO DE SERIE", hint);
    for (int c = 35; c < 65; ++c) want.at(12, c) = con_->screen().at(12, c);
    for (int c = 35; c < 55; ++c) want.at(13, c) = con_->screen().at(13, c);
    for (int c = 35; c < 45; ++c) want.at(14, c) = con_->screen().at(14, c);
    for (int c = 35; c < 43; ++c) want.at(15, c) = con_->screen().at(15, c);
    EXPECT_EQ(toolstest::diff(con_->screen(), want), "");
    EXPECT_EQ(row_text(*con_, 12, 35, 30), std::string(30, ' '));  // 30 of the 60 shown
    EXPECT_NE(con_->hotkey(29), nullptr);
  });
  backend_->key(key::kEnter);  // no reader: empty code
  backend_->then([&] { EXPECT_EQ(con_->screen().at(19, 14).attr, colour("r+/b")); });
  backend_->keys("ab12345").key(key::kEnter);
  backend_->then([&] { EXPECT_EQ(con_->screen().at(19, 14).attr, colour("gr+/r")); });
  backend_->key(key::kEnter);
  backend_->then([&] { EXPECT_EQ(con_->screen().at(19, 14).attr, colour("r+/w")); });
  backend_->key(key::kEnter);
  capture(barcode_);
  EXPECT_TRUE(drawn);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().code, std::string(60, ' '));
  EXPECT_EQ(unit().gtin, tools::str_0(barcode_, 14));
  EXPECT_EQ(unit().gtin.size(), 14u);
  EXPECT_EQ(unit().serial, "ab12345             ");
  EXPECT_EQ(unit().lot, std::string(10, ' '));
  EXPECT_TRUE(unit().expiry.empty());
  EXPECT_EQ(con_->hotkey(29), nullptr);
  expect_restored();
}

TEST_F(Capture, SerialIsMandatoryAndTheHintBoxOnlyWhenAsked) {
  backend_->key(key::kEnter).key(key::kEnter);  // blank serial: refused
  backend_->then([&] {
    EXPECT_EQ(con_->row(), 13);
    EXPECT_EQ(toolstest::diff(con_->screen(), *before_).find("(19,"), std::string::npos);  // no hint box
  });
  backend_->keys("S9").key(key::kEnter).key(key::kEnter).key(key::kEnter);
  capture(barcode_, false);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(rtrimmed(unit().serial), "S9");
  expect_restored();
}

TEST_F(Capture, LotAndTypedExpiryUseTheDateWindow) {
  backend_->key(key::kEnter).keys("SN").key(key::kEnter).keys("L-77").key(key::kEnter).keys("311227").key(
      key::kEnter);
  capture(barcode_);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(rtrimmed(unit().lot), "L-77");
  EXPECT_EQ(dtos(unit().expiry), "20271231");
}

TEST_F(Capture, ExpiryBeforeTheBusinessDateIsRefusedUntilCleared) {
  backend_->key(key::kEnter).keys("SN").key(key::kEnter).key(key::kEnter).keys("010126").key(key::kEnter);
  backend_->pause(6).then([&] { EXPECT_EQ(con_->row(), 15); });
  backend_->key(key::kEnter);  // the same date again: still refused
  backend_->pause(6).then([&] { EXPECT_EQ(con_->row(), 15); });
  backend_->key(key::kCtrlY).key(key::kEnter);  // cleared: an empty expiry is accepted
  capture(barcode_);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_TRUE(unit().expiry.empty());
  EXPECT_EQ(backend_->pending(), 0u);
}

TEST_F(Capture, EscInTheCaptureBoxDropsTheUnitAndClearsTheHotkey) {
  backend_->key(key::kEnter).keys("PARTIAL").key(key::kEsc);
  capture(barcode_);
  EXPECT_FALSE(check_.unit_ok);
  EXPECT_EQ(con_->hotkey(29), nullptr);
  expect_restored();
}

TEST_F(Capture, CodeScannedIntoTheCodeFieldIsSplitAndRetyped) {
  // The reader types the code with key 29 as separator and a final Enter;
  // the splitter retypes serial and lot and types the expiry, which waits
  // for the operator's confirmation.
  backend_->keys("01" + kGtin + "21SCAN01").key(29).keys("17271231" "10LOTSC").key(key::kEnter);
  backend_->then([&] {
    EXPECT_EQ(con_->row(), 15);
    EXPECT_EQ(row_text(*con_, 12, 35, 30), ("01" + kGtin + "21SCAN01@17271231").substr(0, 30));
    EXPECT_EQ(row_text(*con_, 13, 35, 20), "SCAN01              ");
    EXPECT_EQ(row_text(*con_, 14, 35, 10), "LOTSC     ");
    EXPECT_EQ(row_text(*con_, 15, 35, 8), "31/12/27");
    EXPECT_EQ(con_->screen().at(19, 14).attr, colour("r+/w"));
  });
  backend_->key(key::kEnter);
  capture(barcode_);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(rtrimmed(unit().code), "01" + kGtin + "21SCAN01@17271231" "10LOTSC");
  EXPECT_EQ(unit().gtin, kGtin);
  EXPECT_EQ(unit().serial, "SCAN01              ");
  EXPECT_EQ(unit().lot, "LOTSC     ");
  EXPECT_EQ(dtos(unit().expiry), "20271231");
  EXPECT_EQ(con_->hotkey(29), nullptr);
  expect_restored();
}

TEST_F(Capture, CodeWithoutLotRetypesOnlyTheSerial) {
  backend_->keys("01" + kGtin + "17280131" "21ONLYSN").key(key::kEnter);
  backend_->then([&] { EXPECT_EQ(con_->row(), 14); });  // in the lot field
  backend_->key(key::kEnter).key(key::kEnter);
  capture(barcode_);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(rtrimmed(unit().serial), "ONLYSN");
  EXPECT_EQ(dtos(unit().expiry), "20280131");
}

TEST_F(Capture, TypedSeparatorsAndReaderPrefixInTheCodeField) {
  backend_->keys("+C101" + kGtin + "21TYPED<GS>10LT<GS><GS>17270101").key(key::kEnter).key(key::kEnter);
  capture(barcode_);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().code, rt::text::pad_right("01" + kGtin + "21TYPED@10LT@17270101", 60));
  EXPECT_EQ(rtrimmed(unit().serial), "TYPED");
  EXPECT_EQ(rtrimmed(unit().lot), "LT");
  EXPECT_EQ(dtos(unit().expiry), "20270101");
}

TEST_F(Capture, TextThatIsNotACodeIsClearedAndTheCursorMovesOn) {
  backend_->keys("7790000001060").key(key::kEnter);
  backend_->then([&] {
    EXPECT_EQ(con_->row(), 13);
    EXPECT_EQ(row_text(*con_, 12, 35, 30), std::string(30, ' '));
  });
  backend_->keys("SNX").key(key::kEnter).key(key::kEnter).key(key::kEnter);
  capture(barcode_);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(unit().code, std::string(60, ' '));
  EXPECT_EQ(unit().gtin, tools::str_0(barcode_, 14));
}

// A package without a serial in its code: the capture box opens in the
// serial field with the code's lot and expiry.
TEST_F(Capture, PackageWithoutSerialAsksOnlyForTheSerial) {
  backend_->then([&] {
    EXPECT_EQ(con_->row(), 13);
    EXPECT_EQ(row_text(*con_, 14, 35, 10), "LOTNS     ");
  });
  backend_->keys("SNHAND").key(key::kEnter).key(key::kEnter).key(key::kEnter);
  capture("01" + kGtin + "17270131" "10LOTNS");
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(rtrimmed(unit().serial), "SNHAND");
  EXPECT_EQ(rtrimmed(unit().lot), "LOTNS");
  EXPECT_EQ(dtos(unit().expiry), "20270131");
  EXPECT_EQ(rtrimmed(unit().code), "01" + kGtin + "17270131" "10LOTNS");
  expect_restored();
}

// Refused with a message and nothing captured: an expired unit on the
// automatic path; in the capture box, a code of another product (the box
// waits for the right one).
TEST_F(Capture, ExpiredUnitAndAnotherProductsCodeAreRefused) {
  backend_->then([&] {
    EXPECT_NE(row_text(*con_, 12, 5, 70).find("Producto Vencido El 01/01/25!!!"), std::string::npos);
  });
  capture("01" + kGtin + "21SER@17250101" "10L");
  EXPECT_FALSE(check_.unit_ok);
  expect_restored();

  backend_->keys("0107791234567898" "21OTHER").key(key::kEnter);
  backend_->then([&] {
    EXPECT_NE(row_text(*con_, 12, 5, 70).find("Otro Producto (GTIN 07791234567898)"), std::string::npos);
  });
  backend_->pause(6).then([&] {
    EXPECT_EQ(con_->row(), 12);
    EXPECT_EQ(row_text(*con_, 12, 35, 30), std::string(30, ' '));
  });
  backend_->keys("01" + kGtin + "21MINE").key(key::kEnter).key(key::kEnter).key(key::kEnter);
  capture(barcode_);
  EXPECT_TRUE(check_.unit_ok);
  EXPECT_EQ(rtrimmed(unit().serial), "MINE");
  EXPECT_EQ(unit().gtin, kGtin);
}

TEST(CaptureHelpers, BestBarcodePrefersALongProductBarcode) {
  testing_support::TempDir dir;
  app::make_demo(dir.path(), kBusinessDate);
  rt::wa::WorkAreas areas;
  EXPECT_EQ(app::get_best_bar(areas), 0);  // no product table open
  areas.select_area(0);
  areas.use(dir.file("producto"));
  areas.current().goto_top();
  const double codvar = areas.current().get("CODVAR").number();
  EXPECT_EQ(app::get_best_bar(areas), rt::text::val(areas.current().get("CODPROD").text()));
  areas.current().lock_record();
  areas.current().put("CODPROD", rt::Value("1234567"));  // not above 9999999
  EXPECT_EQ(app::get_best_bar(areas), codvar);
  areas.current().put("CODPROD", rt::Value("ABC"));
  EXPECT_EQ(app::get_best_bar(areas), codvar);
  areas.close_all();
}

}  // namespace

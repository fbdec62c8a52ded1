// The completion of a check over the demo folder: traceability records
// filled from the check table's unit slots, records created in a
// traceability-only run, the cancel-voucher run, the voucher and comptes
// files byte for byte in every form, the print programs, and what the
// operator is told when a table or a file fails.
#include "app/completion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "demodata/demo_data.h"
#include "runtime/os/folder_env.h"
#include "runtime/console/headless.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"
#include "tests/tools/table_rig.h"
#include "tools/text_tools.h"

namespace {

using rt::Value;
using rt::con::Console;
using rt::con::HeadlessBackend;
using rt::text::pad_right;
namespace wa = rt::wa;
namespace fs = std::filesystem;

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 12, 8);
const std::string kDash40(40, '-');

std::string slot(const std::string& serial, const std::string& lot, const std::string& expiry,
                 const std::string& code) {
  return pad_right(serial, 20) + pad_right(lot, 10) + pad_right(expiry, 8) + "@@" + pad_right(code, 60);
}

struct Line {
  double numero;
  double cb;
  std::string traza;  // "S" or "N"
  std::string descrip;
  std::string series;
  double cantid = 1;
};

struct TraceRecord {
  double cod_bar;
  std::string serie, lote;
  rt::text::Date venc;
  std::string cod_traza, arch_aso, gtin;
  double numero_int;
};

class Completion : public ::testing::Test {
 protected:
  Completion() {
    app::make_demo(dir_.path(), kToday);
    run_.drives = testing_support::station_drives(dir_.path());  // "\vlm\tmp\" too: DOS ignores case
    auto b = std::make_unique<HeadlessBackend>();
    backend_ = b.get();
    con_ = std::make_unique<Console>(std::move(b));
    run_.traceability = true;
    run_.ticket = app::demo::kTicket;
    run_.seller = 7;
    run_.machine = "5";
    run_.labels = {"FARMACIA DEMO", "", "AV. SIEMPRE VIVA 742", "", "GRACIAS"};
    check_.check_table = "tm390007";
    amoxi_ = barcode("0000102");
    ibu_ = barcode("0000101");
    para_ = barcode("0000103");
  }
  ~Completion() override { areas_.close_all(); }

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

  // The seller's check table as the ticket check leaves it.
  void make_check_table(const std::vector<Line>& lines) {
    for (const char* ext : {".dbf", ".fpt", ".cdx"}) areas_.erase_file(check_.check_table + ext);
    areas_.select_area(0);
    areas_.use("tempo39");
    areas_.copy_structure(check_.check_table);
    areas_.close_area();
    wa::OpenOptions o;
    o.alias = "tempo39";
    o.exclusive = true;
    areas_.use(check_.check_table, o);
    auto& t = areas_.current();
    wa::create_order(t, "cb", "cb");
    wa::create_order(t, "codigo", "codigo");
    wa::create_order(t, "cp", "cp");
    for (const auto& l : lines) {
      ASSERT_TRUE(t.append());
      t.put("NUMERO", Value(l.numero));
      t.put("CB", Value(l.cb));
      t.put("TRAZA", Value(l.traza));
      t.put("DESCRIP", Value(l.descrip));
      t.put("SERIES", Value(l.series));
      t.put("CANTID", Value(l.cantid));
      t.put("FECHA_VTA", Value(kToday));
      t.put("HORA_VTA", Value("10:15:00"));
    }
    areas_.close_area();
  }

  // Opens a suite table exclusively with its bag for setting up a case.
  wa::Area& open_exclusive(const std::string& name, const std::string& bag = "") {
    areas_.select_area(0);
    wa::OpenOptions o;
    o.exclusive = true;
    areas_.use(name, o);
    if (!bag.empty()) wa::set_index(areas_.current(), bag);
    return areas_.current();
  }

  void add_trace_record(double ticket, double cod_bar, const std::string& serie = "",
                        const std::string& arch_aso = "") {
    auto& tz = open_exclusive("traza", "traza");
    ASSERT_TRUE(tz.append());
    tz.put("COMPTE_INT", Value("TK"));
    tz.put("NUMERO_INT", Value(ticket));
    tz.put("TICOMPTE", Value("FA"));
    tz.put("NUCOMPTE", Value("0002-00099999"));
    tz.put("COD_BAR", Value(cod_bar));
    tz.put("GTIN", Value(tools::str_0(cod_bar, 14)));
    tz.put("SERIE", Value(serie));
    if (!serie.empty()) tz.put("LOTE", Value("OLDLOT"));
    tz.put("ARCH_ASO", Value(arch_aso));
    areas_.close_area();
  }

  // The ticket's records as the suite writes them, before any completion.
  void clear_trace_records(double ticket) {
    auto& tz = open_exclusive("traza", "traza");
    for (tz.goto_top(); !tz.eof(); tz.skip())
      if (tz.get("NUMERO_INT").number() == ticket)
        tz.put_fields({{"SERIE", Value("")}, {"LOTE", Value("")}, {"VENC", Value(rt::text::Date{})},
                       {"COD_TRAZA", Value("")}, {"ARCH_ASO", Value("")}});
    areas_.close_area();
  }

  std::vector<TraceRecord> trace_records(double ticket) {
    std::vector<TraceRecord> out;
    auto& tz = open_exclusive("traza", "traza");
    wa::set_focus(tz, "compte");
    wa::seek(tz, Value("TK" + rt::text::str(ticket, 6)));
    for (; !tz.eof() && tz.get("NUMERO_INT").number() == ticket; tz.skip())
      out.push_back({tz.get("COD_BAR").number(), tz.get("SERIE").text(), tz.get("LOTE").text(),
                     tz.get("VENC").date(), tz.get("COD_TRAZA").text(), tz.get("ARCH_ASO").text(),
                     tz.get("GTIN").text(), tz.get("NUMERO_INT").number()});
    areas_.close_area();
    return out;
  }

  void set_config(const std::string& compte_tz) {
    auto& ini = open_exclusive("ini", "ini");
    ASSERT_TRUE(ini.locate([](wa::Area& a) { return rt::text::trim(a.get("VARIABLE").text()) == "compte_tz"; }));
    ini.put("VALOR", Value(compte_tz));
    areas_.close_area();
  }

  void salir() {
    app::CheckEnv env{*con_, areas_, run_, check_};
    app::salir(env);
  }

  std::string header_fiscal(double ticket, const std::string& ticompte = "FA",
                            const std::string& nucompte = "0002-00012345") {
    const auto now = con_->clock().now();
    return "Comprobante De Traza " + tools::str_0(ticket, 8) + "tex_nor\r\n" + "Fecha " + rt::text::dtoc(now.date) +
           "  Hora " + rt::text::time_of_day(now.seconds_since_midnight) + "tex_nor\r\n" + ticompte + " " +
           nucompte + "tex_nor\r\n" + kDash40 + "tex_nor\r\n";
  }
  static std::string unit_fiscal(const std::string& descrip, double cb, const std::string& serial,
                                 const std::string& lot, const std::string& expiry) {
    return pad_right(descrip, 30) + "tex_nor\r\n" + "GTIN " + tools::str_0(cb, 14) + "tex_nor\r\n" + "SERIE " +
           serial + "tex_nor\r\n" + "LOTE " + lot + "tex_nor\r\n" + "VENC " + expiry + "tex_nor\r\n" + kDash40 +
           "tex_nor\r\n";
  }

  std::string voucher_file(const std::string& ticket = "001234") const {
    return dir_.file("root/VLM/TMP/05" + ticket + ".TNF");
  }
  std::string comptes_file(const std::string& doc = "20111222", const std::string& afi = "123456789012") const {
    return dir_.file("s/qumar/comptes_tz/20261208_" + doc + "_" + afi + ".txt");
  }

  // The typical ticket: two units of the traceable line captured.
  void typical_ticket() {
    make_check_table({{1234, ibu_, "N", "IBUPROFENO 400", "", 2},
                      {1234, amoxi_, "S", "AMOXICILINA 500",
                       slot("SER0001", "LOTA", "20271231", "010779000000102921SER0001@17271231" "10LOTA") +
                           slot("SER0002", "LOTB", "", "0107790000001029" "21SER0002@@10LOTB"),
                       2},
                      {1234, para_, "N", "PARACETAMOL 1 G", "", 1}});
  }

  testing_support::TempDir dir_;
  rt::os::FolderEnv data_{dir_.path()};  // the data folder, as chk_env2 --data gives it
  HeadlessBackend* backend_ = nullptr;
  std::unique_ptr<Console> con_;
  wa::WorkAreas areas_{data_};
  app::RunContext run_;
  app::CheckContext check_;
  double amoxi_ = 0, ibu_ = 0, para_ = 0;
};

TEST_F(Completion, TypicalTicketFillsEachRecordFromItsSlotAndHandsTheFiscalVoucherOver) {
  typical_ticket();
  const std::string header = header_fiscal(1234);
  salir();

  const auto recs = trace_records(1234);
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].serie, pad_right("SER0001", 20));
  EXPECT_EQ(recs[0].lote, pad_right("LOTA", 10));
  EXPECT_EQ(recs[0].venc, *rt::text::Date::from_ymd(2027, 12, 31));
  EXPECT_EQ(rt::text::trim(recs[0].cod_traza), "010779000000102921SER0001<GS>17271231" "10LOTA");
  EXPECT_EQ(recs[0].arch_aso, pad_right("?", 20));
  EXPECT_EQ(recs[1].serie, pad_right("SER0002", 20));
  EXPECT_TRUE(recs[1].venc.empty());  // a blank expiry gives the empty date
  // Each separator, "@@" included, becomes "<GS>": the code grows past 60.
  EXPECT_EQ(rt::text::rtrim(recs[1].cod_traza), "0107790000001029" "21SER0002<GS><GS>10LOTB");
  EXPECT_EQ(recs[1].cod_traza.size(), 120u) << "the slot's 60 characters grown by 6, blank-filled to the field";

  const std::string want = header + unit_fiscal("AMOXICILINA 500", amoxi_, pad_right("SER0001", 20),
                                                pad_right("LOTA", 10), "20271231") +
                           unit_fiscal("AMOXICILINA 500", amoxi_, pad_right("SER0002", 20), pad_right("LOTB", 10),
                                       "        ");
  EXPECT_EQ(testing_support::read_file(voucher_file()), want);
  const std::string gtin = tools::str_0(amoxi_, 14);
  const std::string comptes = testing_support::read_file(comptes_file());
  EXPECT_EQ(comptes, gtin + pad_right("SER0001", 20) + pad_right("LOTA", 10) + "20271231\r\n" + gtin +
                         pad_right("SER0002", 20) + pad_right("LOTB", 10) + "        \r\n");
  EXPECT_EQ(comptes.size(), 2u * 54);
  ASSERT_EQ(backend_->commands().size(), 1u);
  EXPECT_EQ(backend_->commands()[0], "i_n_fisc 05001234.TNF");
  EXPECT_FALSE(areas_.is_open(1)) << "every table is closed afterwards";
}

TEST_F(Completion, FiscalVoucherGoesToRobFisFolderUpperCasedAndNothingIsRun) {
  typical_ticket();
  fs::create_directories(dir_.file("f/fiscal"));
  run_.drives.drives['F'] = dir_.file("f");
  run_.rob_fis = "f:\\fiscal\\";  // used as "F:\FISCAL\"
  const std::string header = header_fiscal(1234);
  salir();
  const std::string text = testing_support::read_file(dir_.file("f/fiscal/05001234.TNF"));
  EXPECT_EQ(text.substr(0, header.size()), header);
  EXPECT_NE(text.find("SERIE " + pad_right("SER0002", 20) + "tex_nor\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(voucher_file()));
  EXPECT_TRUE(fs::exists(comptes_file()));
  EXPECT_TRUE(backend_->commands().empty());
}

TEST_F(Completion, EveryModeWithAndWithoutRobFis) {
  struct Case {
    const char* compte_tz;
    bool rob_fis;
    bool comptes, fiscal_default, fiscal_rob, print;
    const char* command;  // "" = none; "PRINT" = prt_tz.bat with the full path
  };
  const Case cases[] = {
      {"FD", false, true, true, false, false, "i_n_fisc 05001234.TNF"},
      {"FD", true, true, false, true, false, ""},
      {"f", false, false, true, false, false, "i_n_fisc 05001234.TNF"},
      {"F", true, false, false, true, false, ""},
      {"FXD", true, true, false, true, false, ""},
      {"id", false, true, false, false, true, "PRINT"},
      {"ID", true, true, false, false, true, "PRINT"},
      {"I", false, false, false, false, true, "PRINT"},
      {"NN", false, false, false, false, false, ""},
      {"D", true, false, false, false, false, ""},
      {"XD", false, false, false, false, false, ""},
  };
  fs::create_directories(dir_.file("rob"));
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.compte_tz) + (c.rob_fis ? " with ROB_FIS" : " without ROB_FIS"));
    fs::remove_all(dir_.file("root/VLM/TMP"));
    fs::create_directories(dir_.file("root/VLM/TMP"));
    fs::remove_all(dir_.file("s/qumar/comptes_tz"));
    fs::create_directories(dir_.file("s/qumar/comptes_tz"));
    fs::remove(dir_.file("rob/05001234.TNF"));
    set_config(c.compte_tz);
    typical_ticket();
    clear_trace_records(1234);  // each case completes the ticket afresh
    run_.drives.drives['F'] = dir_.file("rob");
    run_.rob_fis = c.rob_fis ? "F:\\" : "";
    const std::size_t before = backend_->commands().size();
    salir();
    EXPECT_EQ(fs::exists(comptes_file()), c.comptes);
    EXPECT_EQ(fs::exists(dir_.file("rob/05001234.TNF")), c.fiscal_rob);
    const bool in_tmp = fs::exists(voucher_file());
    EXPECT_EQ(in_tmp, c.fiscal_default || c.print);
    if (in_tmp) {
      const std::string text = testing_support::read_file(voucher_file());
      EXPECT_EQ(text.find("tex_nor") == std::string::npos, c.print);
      EXPECT_EQ(text.rfind("FARMACIA DEMO\r\n", 0) == 0, c.print) << "label lines only in the print form";
    }
    const std::string want_cmd =
        std::string(c.command) == "PRINT" ? "prt_tz.bat " + voucher_file() : std::string(c.command);
    if (want_cmd.empty()) {
      EXPECT_EQ(backend_->commands().size(), before);
    } else {
      ASSERT_EQ(backend_->commands().size(), before + 1);
      EXPECT_EQ(backend_->commands().back(), want_cmd);
    }
  }
}

TEST_F(Completion, PrintFormByteForByteAndTheScriptRunsAfterTheFileIsWritten) {
  set_config("ID");
  typical_ticket();
  // The print program notes its argument and copies the file it is given.
  testing_support::write_file(dir_.file("prt_tz.bat"),
                              testing_support::on_windows()
                                  ? "@echo off\r\necho %~1> arg.txt\r\ncopy /b /y \"%~1\" seen.txt >nul\r\n"
                                  : "#!/bin/sh\nprintf '%s' \"$1\" > arg.txt\ncp \"$1\" seen.txt\n");
  fs::permissions(dir_.file("prt_tz.bat"), fs::perms::owner_exec, fs::perm_options::add);
  backend_->set_run_commands(true, data_);
  const auto now = con_->clock().now();
  salir();

  const std::string unit_tail = "\r\nGTIN " + tools::str_0(amoxi_, 14) + "\r\n";
  const std::string want =
      "FARMACIA DEMO\r\nAV. SIEMPRE VIVA 742\r\nGRACIAS\r\n" + kDash40 + "\r\nComprobante De Traza 00001234\r\n" +
      "Fecha " + rt::text::dtoc(now.date) + "  Hora " + rt::text::time_of_day(now.seconds_since_midnight) +
      "\r\nFA 0002-00012345\r\n" + kDash40 + "\r\n" + pad_right("AMOXICILINA 500", 30) + unit_tail + "SERIE " +
      pad_right("SER0001", 20) + "\r\nLOTE " + pad_right("LOTA", 10) + "\r\nVENC 20271231\r\n" + kDash40 + "\r\n" +
      pad_right("AMOXICILINA 500", 30) + unit_tail + "SERIE " + pad_right("SER0002", 20) + "\r\nLOTE " +
      pad_right("LOTB", 10) + "\r\nVENC         \r\n" + kDash40 + "\r\n \r\n \r\n \r\n \r\n";
  EXPECT_EQ(testing_support::read_file(voucher_file()), want);
  std::string arg = testing_support::read_file(dir_.file("arg.txt"));
  if (testing_support::on_windows() && arg.ends_with("\r\n")) arg.resize(arg.size() - 2);  // echo's line end
  EXPECT_EQ(arg, voucher_file());
  EXPECT_EQ(testing_support::read_file(dir_.file("seen.txt")), want);
}

TEST_F(Completion, TraceOnlyRunCreatesOneRecordPerCapturedUnitOfEveryTraceableLine) {
  run_.trace_only = true;
  run_.ticket = app::demo::kNoScanTicket;  // no traceability record yet
  make_check_table({{1237, para_, "S", "PARACETAMOL 1 G",
                     slot("P1", "L1", "20280131", "01P1") + slot("P2", "L2", "20270229", "01P2"), 3},
                    {1237, ibu_, "S", "IBUPROFENO 400", "", 1},
                    {1237, amoxi_, "N", "AMOXICILINA 500", "", 1}});
  salir();
  const auto recs = trace_records(1237);
  ASSERT_EQ(recs.size(), 3u) << "two captured units and one line without any";
  areas_.select_area(0);
  areas_.use("traza");
  for (auto& a = areas_.current(); !a.eof(); a.skip()) {
    if (a.get("NUMERO_INT").number() != 1237) continue;
    EXPECT_EQ(a.get("COMPTE_INT").text(), "TK");
    EXPECT_EQ(a.get("TICOMPTE").text(), "TK");
    EXPECT_EQ(a.get("NUCOMPTE").text(), "0002-00005004");
    EXPECT_EQ(a.get("FECHA").date(), kToday);
    EXPECT_EQ(a.get("FEC_COMPTE").date(), kToday);
    EXPECT_EQ(a.get("HORA").text(), "10:15:00");
    EXPECT_EQ(a.get("EVENTO").number(), 111);
    EXPECT_EQ(rt::text::trim(a.get("NOM_EVENTO").text()), "DISPENSACION DEL PRODUCTO AL PACIENTE");
    EXPECT_EQ(rt::text::trim(a.get("GLN_FAR").text()), "7790000099990");
    EXPECT_EQ(rt::text::trim(a.get("CUIT_FAR").text()), "30123456789");
    EXPECT_EQ(a.get("ID_CONCEPT").number(), -1);
    EXPECT_EQ(rt::text::trim(a.get("GLN_PROV").text()), "");
    EXPECT_EQ(a.get("GTIN").text(), tools::str_0(a.get("COD_BAR").number(), 14));
  }
  areas_.close_area();
  // Created in the check table's barcode order, then filled from the slots.
  EXPECT_EQ(recs[0].cod_bar, ibu_);
  EXPECT_EQ(rt::text::trim(recs[0].serie), "");
  EXPECT_EQ(rt::text::trim(recs[0].arch_aso), "?");
  EXPECT_EQ(recs[1].cod_bar, para_);
  EXPECT_EQ(rt::text::trim(recs[1].serie), "P1");
  EXPECT_EQ(recs[1].venc, *rt::text::Date::from_ymd(2028, 1, 31));
  EXPECT_EQ(rt::text::trim(recs[2].serie), "P2");
  EXPECT_TRUE(recs[2].venc.empty()) << "29 February 2027 is no date";
  EXPECT_EQ(rt::text::trim(recs[2].lote), "L2");
}

TEST_F(Completion, CancelVoucherRunPassesOverRecordsWithASerial) {
  run_.cancel_voucher = true;
  run_.ticket = 1300;
  add_trace_record(1300, amoxi_, "OLD1", "ENVIADO");
  add_trace_record(1300, amoxi_, "", "ENVIADO");
  add_trace_record(1300, amoxi_, "", "");
  make_check_table({{1300, amoxi_, "S", "AMOXICILINA 500", slot("C1", "L1", "20270101", "01C1") +
                                                               slot("C2", "L2", "20270202", "01C2"), 2}});
  salir();
  const auto recs = trace_records(1300);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(rt::text::trim(recs[0].serie), "OLD1");
  EXPECT_EQ(rt::text::trim(recs[0].arch_aso), "ENVIADO");
  EXPECT_EQ(rt::text::trim(recs[1].serie), "C1") << "whatever its ARCH_ASO";
  EXPECT_EQ(rt::text::trim(recs[1].arch_aso), "?");
  EXPECT_EQ(rt::text::trim(recs[2].serie), "C2");
  const std::string comptes = testing_support::read_file(comptes_file("0", "0"));
  EXPECT_EQ(comptes.size(), 2u * 54);
  EXPECT_NE(comptes.find(pad_right("C1", 20)), std::string::npos);
}

// The walk: each captured unit reaches exactly one record.
TEST_F(Completion, RecordsOfAProductSplitByAnotherProductContinueWithItsNextSlot) {
  run_.ticket = 1300;
  add_trace_record(1300, amoxi_);
  add_trace_record(1300, para_);
  add_trace_record(1300, amoxi_);
  make_check_table({{1300, amoxi_, "S", "AMOXICILINA 500", slot("A1", "", "", "01A1") + slot("A2", "", "", "01A2"), 2},
                    {1300, para_, "S", "PARACETAMOL 1 G", slot("P1", "", "", "01P1"), 1}});
  salir();
  const auto recs = trace_records(1300);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(rt::text::trim(recs[0].serie), "A1");
  EXPECT_EQ(rt::text::trim(recs[1].serie), "P1");
  EXPECT_EQ(rt::text::trim(recs[2].serie), "A2");
}

TEST_F(Completion, ARecordWithoutCheckLineDoesNotEndTheWalkAndSurplusRecordsAreMarkedBlank) {
  run_.ticket = 1300;
  add_trace_record(1300, amoxi_);
  add_trace_record(1300, 7790000000999.0);  // a product not in the check table
  add_trace_record(1300, para_);
  add_trace_record(1300, para_);
  make_check_table({{1300, amoxi_, "S", "AMOXICILINA 500", slot("A1", "", "", "01A1"), 1},
                    {1300, para_, "S", "PARACETAMOL 1 G", slot("P1", "L", "20270101", "01P1"), 2}});
  salir();
  const auto recs = trace_records(1300);
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(rt::text::trim(recs[0].serie), "A1");
  EXPECT_EQ(rt::text::trim(recs[1].serie), "");
  EXPECT_EQ(rt::text::trim(recs[1].arch_aso), "?");
  EXPECT_EQ(rt::text::trim(recs[2].serie), "P1");
  EXPECT_EQ(rt::text::trim(recs[3].serie), "");
  EXPECT_EQ(rt::text::trim(recs[3].arch_aso), "?");
  // A unit without slot: its GTIN alone in the comptes file.
  const std::string comptes = testing_support::read_file(comptes_file("0", "0"));
  EXPECT_EQ(comptes.size(), 54u + 16 + 54 + 16);
  EXPECT_NE(comptes.find("07790000000999\r\n"), std::string::npos);
}

TEST_F(Completion, ARecordMarkedByAnotherProgramIsLeftAloneAndTakesNoUnit) {
  run_.ticket = 1300;
  add_trace_record(1300, amoxi_, "SENT1", "INFORMADO");
  add_trace_record(1300, amoxi_);
  make_check_table({{1300, amoxi_, "S", "AMOXICILINA 500", slot("A9", "", "", "01A9"), 2}});
  salir();
  const auto recs = trace_records(1300);
  EXPECT_EQ(rt::text::trim(recs[0].serie), "SENT1");
  EXPECT_EQ(rt::text::trim(recs[0].arch_aso), "INFORMADO");
  EXPECT_EQ(rt::text::trim(recs[1].serie), "A9");
  const std::string voucher = testing_support::read_file(voucher_file("001300"));
  EXPECT_EQ(voucher.find("SENT1"), std::string::npos) << "a unit left alone is not printed";
  EXPECT_NE(voucher.find("A9"), std::string::npos);
}

TEST_F(Completion, ALaterCompletionNeverOverwritesARecordedUnitNorRecordsAUnitTwice) {
  run_.ticket = 1300;
  add_trace_record(1300, amoxi_, "S1", "?");
  add_trace_record(1300, amoxi_, "S2", "?");
  add_trace_record(1300, para_, "P1", "?");
  // Called up again: the amoxicillin rescanned only S2; the paracetamol
  // line captured nothing this time.
  make_check_table({{1300, amoxi_, "S", "AMOXICILINA 500", slot("S2", "NEWLOT", "20300101", "01S2"), 2},
                    {1300, para_, "S", "PARACETAMOL 1 G", "", 1}});
  salir();
  const auto recs = trace_records(1300);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(rt::text::trim(recs[0].serie), "S1");
  EXPECT_EQ(rt::text::trim(recs[0].lote), "OLDLOT");
  EXPECT_EQ(rt::text::trim(recs[1].serie), "S2");
  EXPECT_EQ(rt::text::trim(recs[1].lote), "OLDLOT") << "filled by a completion already: never written again";
  EXPECT_EQ(rt::text::trim(recs[2].serie), "P1");
  EXPECT_FALSE(fs::exists(dir_.file("tz_pend.txt"))) << "S2 is recorded";
  EXPECT_FALSE(fs::exists(voucher_file("001300"))) << "nothing recorded now, nothing printed";
}

// Another station in the data folder (that of the file args[0]): it locks
// the first traceability record of ticket 1234, says so with the file
// args[0], and fills it once the file args[1] appears.
CHK_CHILD_ROUTINE(FillTraceRecordWhenLetGo) {
  rt::os::FolderEnv data(rt::os::dirname_of(args.at(0)));
  wa::WorkAreas w{data};
  w.use("traza");
  auto& tz = w.current();
  wa::set_index(tz, "traza");
  if (!tz.locate([](wa::Area& a) { return a.get("NUMERO_INT").number() == 1234; }) || !tz.lock_record()) return 3;
  testing_support::write_file(args.at(0), "");
  toolstest::wait_for_file(args.at(1), 30);
  tz.put_fields({{"SERIE", Value("OTHER1")}, {"LOTE", Value("X")}, {"ARCH_ASO", Value("?")}});
  return 0;
}

TEST_F(Completion, ARecordAnotherStationFillsWhileWeWaitForItsLockKeepsItsUnitAndOursIsKept) {
  typical_ticket();
  const std::string held = dir_.file("held"), go = dir_.file("go");
  const int pid = testing_support::spawn_child("FillTraceRecordWhenLetGo", {held, go});
  ASSERT_TRUE(toolstest::wait_for_file(held, 30));
  // While the completion waits for the record it shows the traffic box.
  backend_->then([&] {
    testing_support::write_file(go, "");
    EXPECT_EQ(testing_support::wait_child(pid), 0);
  });
  backend_->key(13).key(13);  // one the wait takes, one for the box of the unit kept aside
  salir();
  const auto recs = trace_records(1234);
  EXPECT_EQ(rt::text::trim(recs[0].serie), "OTHER1");
  EXPECT_EQ(rt::text::trim(recs[1].serie), "SER0002");
  EXPECT_NE(testing_support::read_file(dir_.file("tz_pend.txt")).find(";SER0001;"), std::string::npos);
  const std::string voucher = testing_support::read_file(voucher_file());
  EXPECT_EQ(voucher.find("SER0001"), std::string::npos);
  EXPECT_NE(voucher.find("SER0002"), std::string::npos);
}

TEST_F(Completion, TheSameSerialOnTwoLinesReachesOneRecordOnly) {
  run_.ticket = 1300;
  add_trace_record(1300, amoxi_);
  add_trace_record(1300, amoxi_);
  make_check_table({{1300, amoxi_, "S", "AMOXICILINA 500", slot("D1", "", "", "01D1"), 1},
                    {1300, amoxi_, "S", "AMOXICILINA 500", slot("D1", "", "", "01D1") + slot("D2", "", "", "01D2"), 2}});
  salir();
  const auto recs = trace_records(1300);
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(rt::text::trim(recs[0].serie), "D1");
  EXPECT_EQ(rt::text::trim(recs[1].serie), "D2");
}

TEST_F(Completion, CapturedUnitsWithoutARecordAreReported) {
  run_.ticket = 1300;
  add_trace_record(1300, amoxi_);
  make_check_table({{1300, amoxi_, "S", "AMOXICILINA 500", slot("U1", "", "", "01U1") + slot("U2", "", "", "01U2"), 2}});
  std::string box;
  backend_->then([&] {
    for (int c = 11; c <= 70; ++c) box += static_cast<char>(con_->screen().at(13, c).ch);
  }).key(13);
  salir();
  EXPECT_NE(box.find("Guardada(s) En tz_pend.txt"), std::string::npos) << box;
  EXPECT_EQ(rt::text::trim(trace_records(1300)[0].serie), "U1");
  EXPECT_NE(testing_support::read_file(dir_.file("tz_pend.txt")).find(";U2;"), std::string::npos);
}

TEST_F(Completion, TraceabilityOffTouchesNothing) {
  run_.traceability = false;
  typical_ticket();
  const std::string before = testing_support::read_file(dir_.file("traza.dbf"));
  salir();
  EXPECT_EQ(testing_support::read_file(dir_.file("traza.dbf")), before);
  EXPECT_FALSE(fs::exists(voucher_file()));
  EXPECT_TRUE(backend_->commands().empty());
}

// Failures: the operator is told which file; nothing written is undone.
TEST_F(Completion, ATraceTableThatCannotBeOpenedIsNamedAndNothingIsWritten) {
  typical_ticket();
  fs::remove(dir_.file("traza.cdx"));
  std::string box;
  backend_->then([&] {
    for (int c = 5; c <= 74; ++c) box += static_cast<char>(con_->screen().at(12, c).ch);
  }).key(13);
  const std::string before = testing_support::read_file(dir_.file("traza.dbf"));
  salir();
  EXPECT_NE(box.find("traza.cdx"), std::string::npos) << box;
  EXPECT_EQ(testing_support::read_file(dir_.file("traza.dbf")), before);
  EXPECT_FALSE(fs::exists(voucher_file()));
  EXPECT_TRUE(backend_->commands().empty());
  EXPECT_FALSE(areas_.is_open(1));
}

TEST_F(Completion, AMissingCheckTableIsNamed) {
  std::string box;
  backend_->then([&] {
    for (int c = 11; c <= 70; ++c) box += static_cast<char>(con_->screen().at(13, c).ch);
  }).key(13);
  salir();
  EXPECT_NE(box.find("tm390007.dbf"), std::string::npos) << box;
}

TEST_F(Completion, AnUnavailableDriveOrFolderIsNamedAndNoVoucherIsPrintedUnwritten) {
  typical_ticket();
  run_.drives.drives.erase('S');  // the comptes folder's drive is not available
  fs::remove_all(dir_.file("root/VLM"));  // nor the voucher's folder
  std::vector<std::string> boxes;
  const auto grab = [&] {
    std::string row;
    for (int c = 11; c <= 70; ++c) row += static_cast<char>(con_->screen().at(13, c).ch);
    boxes.push_back(row);
  };
  backend_->then(grab).key(13).then(grab).key(13);
  salir();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].find("s:\\qumar\\comptes_tz\\20261208_20111222_123456789012.txt"), std::string::npos)
      << boxes[0];
  EXPECT_NE(boxes[1].find("\\VLM\\TMP\\05001234.TNF"), std::string::npos) << boxes[1];
  EXPECT_TRUE(backend_->commands().empty()) << "no print program for a voucher not written";
  // The records stay filled.
  EXPECT_EQ(rt::text::trim(trace_records(1234)[0].serie), "SER0001");
}

TEST_F(Completion, ComptesFileNameKeepsDotsAndCannotLeaveItsFolder) {
  auto& afi = open_exclusive("datoafi", "datoafi");
  afi.goto_top();
  afi.put("DOCUMENTO", Value("20.111.222-3"));
  afi.put("NROAFIL", Value("../../x/y"));
  areas_.close_area();
  typical_ticket();
  salir();
  EXPECT_TRUE(fs::exists(dir_.file("s/qumar/comptes_tz/20261208_20.111.2223_....xy.txt")));
}

}  // namespace

namespace {

TEST_F(Completion, VoucherIsWrittenWhenTheLastProductWalkedHadNothingToFill) {
  run_.cancel_voucher = true;
  run_.ticket = 1300;
  add_trace_record(1300, amoxi_);
  add_trace_record(1300, para_, "DONE1", "?");  // passed over in a cancel-voucher run
  make_check_table({{1300, amoxi_, "S", "AMOXICILINA 500", slot("V1", "", "", "01V1"), 1},
                    {1300, para_, "S", "PARACETAMOL 1 G", "", 1}});
  salir();
  const std::string voucher = testing_support::read_file(voucher_file("001300"));
  EXPECT_NE(voucher.find("SERIE " + pad_right("V1", 20)), std::string::npos);
  ASSERT_EQ(backend_->commands().size(), 1u);
}

TEST_F(Completion, APrintProgramThatCannotBeFoundIsNamed) {
  typical_ticket();
  backend_->set_command_status(127);
  std::string box;
  backend_->then([&] {
    for (int c = 11; c <= 70; ++c) box += static_cast<char>(con_->screen().at(13, c).ch);
  }).key(13);
  salir();
  EXPECT_NE(box.find("i_n_fisc"), std::string::npos) << box;
  EXPECT_TRUE(fs::exists(voucher_file()));
}

TEST_F(Completion, AnEmptyCheckTableLooksUpNoTicket) {
  run_.trace_only = true;
  add_trace_record(0, amoxi_);  // a stray record of ticket 0 must stay as it is
  make_check_table({});
  const std::string before = testing_support::read_file(dir_.file("traza.dbf"));
  salir();
  EXPECT_EQ(testing_support::read_file(dir_.file("traza.dbf")), before);
  EXPECT_TRUE(backend_->commands().empty());
}

}  // namespace

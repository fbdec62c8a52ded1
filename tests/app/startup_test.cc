// Start-up and ticket entry on the headless console over the demo folder:
// the header line and the entry form cell by cell, Esc, the check reached
// with ticket and seller, the command-line check, the environment and the
// configuration defaults, and the executable's refusals.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "demodata/demo_data.h"
#include "app/key_script.h"
#include "runtime/os/folder_env.h"
#include "runtime/console/color.h"
#include "runtime/console/headless.h"
#include "runtime/table/table.h"
#include "tests/support/testing.h"
#include "tests/support/vars_env.h"

namespace {

using rt::con::Console;
using rt::con::HeadlessBackend;

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 3, 14);

void expect_text(const Console& con, int row, int col, const std::string& text, const char* colour) {
  const auto attr = rt::con::parse_color_pair(colour);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto& cell = con.screen().at(row, col + static_cast<int>(i));
    EXPECT_EQ(cell.ch, static_cast<unsigned char>(text[i])) << "row " << row << " col " << col + i;
    EXPECT_EQ(cell.attr, attr) << "row " << row << " col " << col + i;
  }
}

class Startup : public ::testing::Test {
 protected:
  Startup() {
    app::make_demo(dir_.path(), kToday);
    auto b = std::make_unique<HeadlessBackend>();
    backend_ = b.get();
    con_ = std::make_unique<Console>(std::move(b));
  }

  // Runs the station; returns the quit status, -1 when it ended without quitting.
  int run(const std::vector<std::string>& argv, const app::Environment& env = {}) {
    const auto args = app::parse_start_arguments(argv);
    try {
      run_ = app::start_up(*con_, areas_, env, args);
      app::run_station(*con_, areas_, run_, args, [&](Console&, rt::wa::WorkAreas& areas, app::RunContext& r) {
        checks_.push_back({r.ticket, r.seller, r.trace_only, r.cancel_voucher});
        EXPECT_EQ(areas.select("acceso2"), 1) << "the seller table is open for the check";
      });
    } catch (const rt::con::QuitRequest& q) {
      return q.status;
    }
    return -1;
  }

  struct Seen {
    int ticket, seller;
    bool trace_only, cancel;
  };
  testing_support::TempDir dir_;
  rt::os::FolderEnv data_{dir_.path()};  // the data folder, as chk_env2 --data gives it
  HeadlessBackend* backend_ = nullptr;
  std::unique_ptr<Console> con_;
  rt::wa::WorkAreas areas_{data_};
  app::RunContext run_;
  std::vector<Seen> checks_;
};

TEST_F(Startup, HeaderAndEntryFormCellByCellThenEscQuitsWithoutACheck) {
  const std::string before = testing_support::read_file(dir_.file("compitem.dbf"));
  bool looked = false;
  backend_->then([&] {
    looked = true;
    expect_text(*con_, 0, 0, app::kHeader, app::kHeaderColour);
    expect_text(*con_, 5, 5, "Ingrese N\xA7 Interno", "gr+/n");
    expect_text(*con_, 6, 5, "Vendedor:", "gr+/n");
    // Both fields blank while 0 ("@Z"), six and four cells wide.
    EXPECT_EQ(con_->screen().row_text(5).substr(24, 6), std::string(6, ' '));
    EXPECT_EQ(con_->screen().row_text(6).substr(15, 4), std::string(4, ' '));
    EXPECT_EQ(con_->row(), 5);
    EXPECT_EQ(con_->col(), 24);
    for (int r = 1; r < 25; ++r)
      if (r != 5 && r != 6) {
        EXPECT_EQ(con_->screen().row_text(r), std::string(80, ' ')) << r;
      }
  });
  backend_->key(27);
  EXPECT_EQ(run({}), 0);
  EXPECT_TRUE(looked);
  EXPECT_TRUE(checks_.empty());
  EXPECT_EQ(areas_.select("acceso2"), 0) << "tables closed on the way out";
  EXPECT_EQ(testing_support::read_file(dir_.file("compitem.dbf")), before);
  // Window settings of the start-up.
  const auto& s = con_->settings();
  EXPECT_EQ(s.title, "Velmor 32");
  EXPECT_EQ(s.font_width, 11);
  EXPECT_EQ(s.font_height, 22);
  EXPECT_EQ(s.font_face, "Lucida Console");
  EXPECT_FALSE(s.close_button);
  EXPECT_TRUE(s.alt_enter);
  EXPECT_TRUE(s.confirm);
  EXPECT_FALSE(s.century);
}

TEST_F(Startup, TicketAndSellerReachTheCheckAndTheFormComesBackBlank) {
  // Seller 7 types the password.
  for (int k : app::parse_key_script("1234{ENTER}7{ENTER}1234{ENTER}")) backend_->key(k);
  backend_->then([&] {
    ASSERT_EQ(checks_.size(), 1u);
    EXPECT_EQ(con_->screen().row_text(5).substr(24, 6), std::string(6, ' '));
    EXPECT_EQ(con_->screen().row_text(6).substr(15, 4), std::string(4, ' '));
  });
  for (int k : app::parse_key_script("55{ENTER}{ESC}")) backend_->key(k);
  EXPECT_EQ(run({}), 0);
  ASSERT_EQ(checks_.size(), 1u);
  EXPECT_EQ(checks_[0].ticket, 1234);
  EXPECT_EQ(checks_[0].seller, 7);
  EXPECT_FALSE(checks_[0].trace_only);
}

TEST_F(Startup, CommandLineRunsOneCheckWithoutTheForm) {
  EXPECT_EQ(run({"123", "45", "N"}), -1);
  ASSERT_EQ(checks_.size(), 1u);
  EXPECT_EQ(checks_[0].ticket, 123);
  EXPECT_EQ(checks_[0].seller, 45);
  EXPECT_TRUE(checks_[0].trace_only);
  EXPECT_FALSE(checks_[0].cancel);
  EXPECT_EQ(con_->screen().row_text(5), std::string(80, ' '));
  expect_text(*con_, 0, 0, app::kHeader, app::kHeaderColour);
}

TEST_F(Startup, TheCheckNotYetBuiltSaysSoNamingTicketAndSeller) {
  app::RunContext r;
  r.ticket = 1234;
  r.seller = 7;
  bool looked = false;
  backend_->then([&] {
    looked = true;
    EXPECT_NE(con_->screen().row_text(12).find("Ticket 1234, vendedor 7"), std::string::npos)
        << con_->screen().row_text(12);
  });
  backend_->key(13);
  app::check_not_available(*con_, areas_, r);
  EXPECT_TRUE(looked);
}

TEST_F(Startup, ContextFromTheDemoConfigurationAndTheEnvironment) {
  testing_support::VarsEnv vars({{"MAQUINA", " 007 "}, {"ARCH_FECHA", " fec_dia "}, {"REGISTRA", "si"},
                                 {"ROB_FIS", "F:\\ROB\\"}, {"DRIVE_S", "/mnt/s"}, {"DRIVE_ROOT", "/srv"},
                                 {"CHK_LOCK_SCHEME", "offset4g"}, {"CHK_SYNC", "off"}});
  EXPECT_EQ(run({"1", "2"}, app::Environment::from_process(vars)), -1);
  EXPECT_EQ(run_.drives.drives, (std::map<char, std::string>{{'S', "/mnt/s"}}));
  EXPECT_EQ(run_.drives.rooted_base, "/srv");
  // Every table the station opens takes the site's settings.
  areas_.select_area(0);
  ASSERT_TRUE(areas_.use("rotulo"));
  EXPECT_EQ(areas_.current().table().lock_scheme(), rt::table::LockScheme::Offset4G);
  EXPECT_FALSE(areas_.current().table().syncing());
  areas_.close_area();
  EXPECT_EQ(run_.machine, "7");
  EXPECT_EQ(run_.date_table, "FEC_DIA");
  EXPECT_TRUE(run_.registra);
  EXPECT_EQ(run_.rob_fis, "F:\\ROB\\");
  EXPECT_TRUE(run_.traceability);
  EXPECT_EQ(run_.branch, app::demo::kBranch);
  EXPECT_EQ(run_.department, -1);
  EXPECT_EQ(run_.voucher_setting, "FD");  // read with the other settings, once
  EXPECT_EQ(run_.labels[0], "FARMACIA DEMO");
  EXPECT_EQ(run_.labels[4], "GRACIAS POR SU COMPRA");
  EXPECT_EQ(run_.profile, std::string(9, ' '));
}

TEST_F(Startup, DefaultsWithoutConfigurationOrNumbering) {
  std::filesystem::remove(dir_.file("ini.dbf"));
  std::filesystem::remove(dir_.file("numeros.dbf"));
  EXPECT_EQ(run({"1", "2"}, {std::string("abc"), std::nullopt, "", "", {}, {}}), -1);
  EXPECT_EQ(run_.machine, "55");
  EXPECT_EQ(run_.date_table, "FEC_SYS");
  EXPECT_FALSE(run_.registra);
  EXPECT_FALSE(run_.traceability);
  EXPECT_EQ(run_.branch, 0);
  EXPECT_EQ(run_.department, -1);
  EXPECT_EQ(run_.voucher_setting, "NN");
}

TEST_F(Startup, AnUnreadableConfigurationIsAnnouncedOnceAndTheDefaultsApply) {
  testing_support::write_file(dir_.file("ini.cdx"), "");
  std::string box;
  backend_->then([&] { box = con_->screen().row_text(12); });
  EXPECT_EQ(run({"1", "2"}), -1);
  EXPECT_NE(box.find(app::kIniUnreadable), std::string::npos) << box;
  EXPECT_EQ(backend_->tones().size(), 3u) << "one message box";
  EXPECT_FALSE(run_.traceability);
  EXPECT_EQ(run_.department, -1);
}

TEST_F(Startup, MissingTablesAreNamedAndNothingIsWritten) {
  std::filesystem::remove(dir_.file("acceso21.cdx"));
  EXPECT_NE(app::missing_startup_tables(dir_.path()).find("acceso21.cdx"), std::string::npos);
  EXPECT_THROW(run({"1", "2"}), app::StartupError);
  std::filesystem::remove(dir_.file("rotulo.dbf"));
  EXPECT_NE(app::missing_startup_tables(dir_.path()).find("rotulo.dbf"), std::string::npos);
  EXPECT_THROW(run({}), app::StartupError);
  EXPECT_NE(app::missing_startup_tables(dir_.file("nowhere")).find("does not exist"), std::string::npos);
}

// The programs' own runs go through /bin/sh (pipes, quoting); on Windows
// tests/windows/demo_ticket.sh runs the station instead.
constexpr const char* kNeedsShell = "needs /bin/sh (printf, quoting, redirections)";

TEST(StationExecutable, RefusesATicketWithoutSellerAndRunsHeadless) {
  if (testing_support::on_windows()) GTEST_SKIP() << kNeedsShell;
  testing_support::TempDir dir;
  const std::string bin = testing_support::bin_dir() + "/chk_env2";
  std::string out;
  EXPECT_EQ(testing_support::run_capture(bin + " --make-demo '" + dir.file("d") + "'", &out), 0);
  EXPECT_EQ(testing_support::run_capture(bin + " --data '" + dir.file("d") + "' 1234 </dev/null 2>&1", &out), 2);
  EXPECT_NE(out.find("without a seller"), std::string::npos) << out;
  EXPECT_EQ(testing_support::run_capture("printf '1234{ENTER}7{ENTER}' | " + bin + " --headless --data '" +
                                             dir.file("d") + "' 2>/dev/null",
                                         &out),
            0);
  EXPECT_NE(out.find("Control de Empaque y Traza de Productos"), std::string::npos) << out;
  EXPECT_EQ(testing_support::run_capture(bin + " --data '" + dir.file("none") + "' 2>&1", &out), 1);
  EXPECT_NE(out.find("does not exist"), std::string::npos) << out;
}

// Settings and tables the station cannot work with stop the start with
// exit code 1 and a message naming the setting, or the table and field, on
// standard error; the tables are left as they were.
TEST(StationExecutable, AnUnusableSettingOrTableStopsTheStartNamingIt) {
  if (testing_support::on_windows()) GTEST_SKIP() << kNeedsShell;
  testing_support::TempDir dir;
  const std::string bin = testing_support::bin_dir() + "/chk_env2";
  const std::string data = dir.file("d");
  std::string out;
  ASSERT_EQ(testing_support::run_capture(bin + " --make-demo '" + data + "'", &out), 0);
  const std::string station = bin + " --headless --data '" + data + "' 2>&1 >/dev/null";

  EXPECT_EQ(testing_support::run_capture("printf '{ESC}' | CHK_LOCK_SCHEME=dbase " + station, &out), 1);
  EXPECT_NE(out.find("CHK_LOCK_SCHEME"), std::string::npos) << out;
  EXPECT_NE(out.find("dbase"), std::string::npos) << out;

  // Label lines without their field.
  rt::table::CreateOptions create;
  create.overwrite = true;
  rt::table::Table::create(data + "/rotulo.dbf", {{"LINEA", 'C', 40, 0}}, create);
  const std::string rotulo = testing_support::read_file(data + "/rotulo.dbf");
  const std::string sellers = testing_support::read_file(data + "/acceso2.dbf");
  EXPECT_EQ(testing_support::run_capture("printf '{ESC}' | " + station, &out), 1);
  EXPECT_NE(out.find("table rotulo, field ROTULO: missing"), std::string::npos) << out;
  EXPECT_EQ(testing_support::read_file(data + "/rotulo.dbf"), rotulo);
  EXPECT_EQ(testing_support::read_file(data + "/acceso2.dbf"), sellers);
}

// A point-of-sale program may pass more than four arguments; a check of
// the command line that cannot run because a table is damaged fails with
// the reason on standard error.
TEST(StationExecutable, ExtraArgumentsAreIgnoredAndACheckThatCannotRunFails) {
  if (testing_support::on_windows()) GTEST_SKIP() << kNeedsShell;
  testing_support::TempDir dir;
  const std::string bin = testing_support::bin_dir() + "/chk_env2";
  const auto station = [&](const std::string& data, const std::string& args, std::string* err) {
    return testing_support::run_capture("printf '7790000001031{ENTER}7790000001031{ENTER}' | " + bin +
                                            " --headless --data '" + data + "' " + args + " 2>&1 >/dev/null",
                                        err);
  };
  std::string out;
  ASSERT_EQ(testing_support::run_capture(bin + " --make-demo '" + dir.file("ok") + "'", &out), 0);
  EXPECT_EQ(station(dir.file("ok"), "1237 7 N N more args", &out), 0) << out;
  for (const char* table : {"compenca", "compitem", "producto", "log_env", "tempo39", "traza"}) {
    const std::string data = dir.file(table);
    ASSERT_EQ(testing_support::run_capture(bin + " --make-demo '" + data + "'", &out), 0);
    testing_support::write_file(data + "/" + table + ".dbf", "damaged");
    EXPECT_EQ(station(data, "1237 7", &out), 1) << table << ": " << out;
    EXPECT_NE(out.find(table), std::string::npos) << out;
  }
}

TEST(KeyScript, NamedKeysAndPlainText) {
  EXPECT_EQ(app::parse_key_script("1{ENTER}\n{esc}{F1}{F2}{F10}{CTRL-]}{LBRACE}"),
            (std::vector<int>{'1', 13, 27, 28, -1, -9, 29, '{'}));
  EXPECT_EQ(app::parse_key_script("\xC3\xB1"), std::vector<int>{0xA4});  // ñ in code page 850
  EXPECT_THROW(app::parse_key_script("{F11}"), app::KeyScriptError);
  EXPECT_THROW(app::parse_key_script("{ENTER"), app::KeyScriptError);
}

}  // namespace

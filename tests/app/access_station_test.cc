// The access control inside the station, on the headless console over the
// demo folder: the entry form's seller validation (password, wrong
// password, unknown seller, password change), the command-line seller taken
// as given, the task permission of the ticket check with the run's profile
// letters, and Alt+C from a box of the check closing the station with its
// log line.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/check.h"
#include "demodata/demo_data.h"
#include "app/key_script.h"
#include "app/permission.h"
#include "app/startup.h"
#include "runtime/os/folder_env.h"
#include "runtime/console/headless.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"
#include "tools/hotkeys.h"
#include "tools/screens.h"

namespace {

using rt::con::Console;
using rt::con::HeadlessBackend;
namespace demo = app::demo;

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 3, 14);

class Station : public ::testing::Test {
 protected:
  Station() {
    app::make_demo(dir_.path(), kToday);
    auto b = std::make_unique<HeadlessBackend>();
    backend_ = b.get();
    con_ = std::make_unique<Console>(std::move(b));
  }

  void keys(const std::string& script) {
    for (int k : app::parse_key_script(script)) backend_->key(k);
  }
  // Runs the station with `check` as the ticket check; the quit status, or
  // -1 when it ended without quitting.
  int run(const std::vector<std::string>& argv, const app::CheckRoutine& check) {
    const auto args = app::parse_start_arguments(argv);
    try {
      run_ = app::start_up(*con_, areas_, {}, args);
      app::run_station(*con_, areas_, run_, args, check);
    } catch (const rt::con::QuitRequest& q) {
      return q.status;
    }
    return -1;
  }
  // A check that only notes who came through.
  app::CheckRoutine noting() {
    return [this](Console&, rt::wa::WorkAreas&, app::RunContext& r) {
      sellers_.push_back(r.seller);
      profiles_.push_back(r.profile);
    };
  }

  testing_support::TempDir dir_;
  rt::os::FolderEnv data_{dir_.path()};  // the data folder, as chk_env2 --data gives it
  HeadlessBackend* backend_ = nullptr;
  std::unique_ptr<Console> con_;
  rt::wa::WorkAreas areas_{data_};
  app::RunContext run_;
  std::vector<double> sellers_;
  std::vector<std::string> profiles_;
};

TEST_F(Station, SellerWithPasswordIsValidatedBeforeTheCheck) {
  std::string box;
  keys("1234{ENTER}7{ENTER}");
  backend_->then([&] { box = con_->screen().row_text(8).substr(52, 5); });
  keys("1234{ENTER}{ESC}");
  EXPECT_EQ(run({}, noting()), 0);
  EXPECT_EQ(box, "Clave");
  ASSERT_EQ(sellers_.size(), 1u);
  EXPECT_EQ(sellers_[0], demo::kSeller);
  EXPECT_EQ(profiles_[0], "A");
}

TEST_F(Station, WrongPasswordOrUnknownSellerKeepsTheFormOnTheSellerField) {
  std::string field;
  keys("1234{ENTER}7{ENTER}9999{ENTER}");
  backend_->then([&] {
    field = con_->screen().row_text(6).substr(15, 4);
    EXPECT_EQ(con_->row(), 6);
  });
  keys("{ESC}");
  EXPECT_EQ(run({}, noting()), 0);
  EXPECT_EQ(field, "   7");
  EXPECT_TRUE(sellers_.empty());

  keys("1234{ENTER}99{ENTER}");
  std::string box;
  backend_->then([&] { box = con_->screen().row_text(9); });
  keys("{ESC}{ESC}");  // the first ends the box's wait
  EXPECT_EQ(run({}, noting()), 0);
  EXPECT_NE(box.find("Inexistente!!!"), std::string::npos);
  EXPECT_TRUE(sellers_.empty());
}

// The form ends only with a validated seller or with Esc in the form
// itself: PgDn, PgUp and Ctrl+W in the ticket field skip no validation
// (they used to run the check as seller 0), and an Esc read inside the
// validation (a new password given up) does not end the station.
TEST_F(Station, FormEndsOnlyWithAValidatedSellerOrItsOwnEsc) {
  for (int way : {3, 18, 23}) {  // PgDn, PgUp, Ctrl+W
    keys("1234");
    backend_->key(way).then([&, way] { EXPECT_EQ(con_->row(), 5) << way; });
  }
  keys("1234{ENTER}7{ENTER}1234{F1}{ESC}");  // change the password? given up
  keys("{ESC}");
  EXPECT_EQ(run({}, noting()), 0);
  ASSERT_EQ(sellers_.size(), 1u);
  EXPECT_EQ(sellers_[0], demo::kSeller);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("tm390000.dbf")));
}

TEST_F(Station, CommandLineSellerIsTakenAsGivenWithBlankProfile) {
  EXPECT_EQ(run({"1234", "45"}, noting()), -1);
  ASSERT_EQ(sellers_.size(), 1u);
  EXPECT_EQ(sellers_[0], 45);
  EXPECT_EQ(profiles_[0], std::string(9, ' '));
}

TEST_F(Station, CheckPermissionUsesTheRunsSellerAndGivesTheProfileBack) {
  bool allowed = false;
  std::string profile_after;
  keys("1234{ENTER}22{ENTER}");  // no password, no marks, no profile
  // Task 121 refused in supervisor mode: the offer of an authorisation,
  // taken by seller 23 (profile S).
  keys("S{ENTER}23{ENTER}5678{ENTER}{ESC}");
  EXPECT_EQ(run({}, [&](Console& con, rt::wa::WorkAreas& areas, app::RunContext& r) {
              app::CheckContext check;
              app::CheckEnv env{con, areas, r, check};
              allowed = app::pueden(env, tools::kTaskLeaveWithDifferences);
              profile_after = r.profile;
            }),
            0);
  EXPECT_TRUE(allowed);
  EXPECT_EQ(profile_after, "");
}

// In the browse Alt+C asks to close (it used to type "." into the scan)
// and the font keys change the font; neither types anything.
TEST_F(Station, AltCAndTheFontKeysInTheBrowseTypeNothing) {
  keys("1237{ENTER}7{ENTER}1234{ENTER}{ALT-C}");
  backend_->then([&] { EXPECT_NE(con_->screen().row_text(12).find(tools::kCloseQuestion), std::string::npos); });
  keys("N{ENTER}{CTRL-KPMINUS}");
  backend_->then([&] {
    EXPECT_EQ(con_->screen().row_text(23), std::string(80, ' '));
    EXPECT_EQ(con_->font_height(), 21);
  });
  keys("7790000001031{ENTER}7790000001031{ENTER}{ESC}");  // the two units to scan, then the form's Esc
  EXPECT_EQ(run({}, app::princi), 0);
  EXPECT_EQ(backend_->pending(), 0u);
  rt::wa::WorkAreas w{data_};
  ASSERT_TRUE(w.use("log_env"));
  w.current().locate([](rt::wa::Area& a) { return a.get("NUMERO").number() == demo::kNoScanTicket; });
  ASSERT_TRUE(w.current().found()) << "the ticket was completed";
}

TEST_F(Station, AltCInABoxOfTheCheckClosesTheStationAndLogsIt) {
  keys("1234{ENTER}7{ENTER}1234{ENTER}");
  keys("{ALT-C}S{ENTER}");
  bool tables_closed = false;
  const int status = run({}, [&](Console& con, rt::wa::WorkAreas&, app::RunContext&) {
    tools::Trace princi(con, "PRINCI");
    tools::cartel_3(con, "El Producto Ya Habia Sido Pasado!", "No Sera Tenido En Cuenta",
                    "Presione Una Tecla Para Continuar");
  });
  tables_closed = areas_.select("acceso2") == 0;
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(tables_closed);
  const std::string log = testing_support::read_file(dir_.file(tools::kCloseLog));
  EXPECT_EQ(log.substr(0, 34), "\r\nFecha | Hora | Vddr | PtoVta\r\n\r\n");
  EXPECT_NE(log.find("14/03/26|"), std::string::npos);
  EXPECT_NE(log.find("|   7|55\r\n"), std::string::npos) << log;
  const auto cartel = log.find("Llamada desde: CARTEL_3       (");
  const auto princi = log.find("Llamada desde: PRINCI         (");
  const auto main = log.find("Llamada desde: MAIN           (");
  EXPECT_NE(cartel, std::string::npos) << log;
  EXPECT_LT(cartel, princi);
  EXPECT_LT(princi, main);
  EXPECT_NE(main, std::string::npos);
}

}  // namespace

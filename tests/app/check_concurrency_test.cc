// Two stations check two different tickets of the same shared tables again
// and again while a third program appends sale lines and check-log lines:
// every station's count reaches the log, no appended line is lost, and
// every order bag still matches its table.
#include <string>
#include <vector>

#include "app/check_log.h"
#include "tests/app/check_rig.h"

namespace {

using check_rig::CheckRig;
using rt::Value;

constexpr int kRounds = 12;         // checks of its ticket per station
constexpr int kWriterAppends = 150; // sale lines and log lines each

// One station: loads its ticket, counts every line as scanned, writes the
// log (appended the first time, written over afterwards) with the round
// number as the time of the count.
int station(rt::os::Env& data, double ticket, double seller) {
  rt::con::Console con(std::make_unique<rt::con::HeadlessBackend>());
  rt::wa::WorkAreas areas(data);
  app::RunContext run;
  run.ticket = ticket;
  run.seller = seller;
  for (int round = 0; round < kRounds; ++round) {
    app::CheckContext ctx;
    app::CheckEnv env{con, areas, run, ctx};
    const auto out = app::load_ticket(env);
    if (out.status != app::LoadStatus::Loaded) return 10;
    if (out.from_log != (round > 0)) return 11;
    auto& check = areas.current();
    const std::string hour = "12:00:" + std::string(round < 10 ? "0" : "") + std::to_string(round);
    for (check.goto_top(); !check.eof(); check.skip()) {
      check.put("CANT_CHK", check.get("CANTID"));
      check.put("VEND_CHK", Value(seller));
      check.put("HORA_CHK", Value(hour));
    }
    areas.select_area("log_env");
    const bool logged = rt::wa::seek(areas.current(), Value(rt::text::str(ticket, 6)));
    areas.select_area("tempo39");
    if (logged)
      app::actu_vta(env, false);
    else
      app::app_vta(env, false);
    areas.close_all();
  }
  return 0;
}

// An append as the suite's programs make it: tried again while another
// program holds the append lock (a loaded machine may hold it past one wait).
bool append_retrying(rt::wa::Area& area) {
  for (int attempt = 0; attempt < 6; ++attempt)
    if (area.append()) return true;
  return false;
}

// The suite's point of sale and another station: new sale lines and new
// log lines of other tickets, each under its append lock.
int writer(rt::os::Env& data) {
  rt::wa::WorkAreas areas(data);
  areas.select_area(0);
  if (!areas.use("compitem")) return 20;
  rt::wa::set_index(areas.current(), "compitem");
  areas.select_area(0);
  if (!areas.use("log_env")) return 21;
  rt::wa::set_index(areas.current(), "log_env");
  for (int i = 0; i < kWriterAppends; ++i) {
    auto& items = areas.area("compitem");
    if (!append_retrying(items)) return 22;
    items.put("COMPTE", Value("TK"));
    items.put("NUMERO", Value(5000 + i / 3));
    items.put("CODIGO", Value("0000101"));
    items.put("CANTID", Value(1));
    items.unlock();
    auto& log = areas.area("log_env");
    if (!append_retrying(log)) return 23;
    log.put("NUMERO", Value(6000 + i / 3));
    log.put("CODIGO", Value("0000107"));
    log.put("CANTID", Value(2));
    log.put("CANT_CHK", Value(i));
    log.unlock();
  }
  return 0;
}

// One station as the operator uses it: the check of a ticket with the
// browse, the product codes typed as a reader sends them.
int scanning_station(rt::os::Env& data, double ticket, double seller, const std::vector<std::string>& scans) {
  auto backend = std::make_unique<rt::con::HeadlessBackend>();
  for (const auto& code : scans) {
    backend->keys(code);
    backend->key(13);
  }
  rt::con::Console con(std::move(backend));
  rt::wa::WorkAreas areas(data);
  areas.select_area(1);
  if (!areas.use("acceso2")) return 30;
  app::RunContext run;
  run.ticket = ticket;
  run.seller = seller;
  run.traceability = false;
  app::princi(con, areas, run);
  return areas.current_number() == 1 && !areas.is_open(1) ? 0 : 31;
}

// The processes of the tests below; the first argument is the rig's data
// folder.
CHK_CHILD_ROUTINE(ConcurrentStation) {
  rt::os::FolderEnv data(args.at(0));
  return station(data, std::stod(args.at(1)), std::stod(args.at(2)));
}
CHK_CHILD_ROUTINE(ConcurrentWriter) {
  rt::os::FolderEnv data(args.at(0));
  return writer(data);
}
CHK_CHILD_ROUTINE(ConcurrentScanningStation) {
  rt::os::FolderEnv data(args.at(0));
  return scanning_station(data, std::stod(args.at(1)), std::stod(args.at(2)), {args.begin() + 3, args.end()});
}

int start(const std::string& data, const char* routine, double ticket, double seller,
          std::vector<std::string> more = {}) {
  std::vector<std::string> args{data, std::to_string(static_cast<int>(ticket)),
                                std::to_string(static_cast<int>(seller))};
  args.insert(args.end(), more.begin(), more.end());
  return testing_support::spawn_child(routine, args);
}

// dbftool verify of each table with its bag.
void expect_bags_verify(const testing_support::TempDir& dir,
                        const std::vector<std::pair<std::string, std::string>>& tables) {
  for (const auto& [table, bag] : tables) {
    std::string out;
    EXPECT_EQ(testing_support::run_capture(testing_support::program("dbftool") + " verify " + dir.file(table + ".dbf") +
                                               " --bag " + dir.file(bag + ".cdx") + " 2>&1",
                                           &out),
              0)
        << table << ": " << out;
  }
}

class Concurrency : public CheckRig {};

TEST_F(Concurrency, TwoStationsAndAWriterLoseNothingAndEveryBagVerifies) {
  Reader before(data_);
  const auto items_before = before.open("compitem").table().record_count();
  const auto log_before = before.open("log_env").table().record_count();
  before.areas.close_all();

  const int a = start(dir_.path(), "ConcurrentStation", app::demo::kTicket, 7);
  const int b = start(dir_.path(), "ConcurrentStation", app::demo::kDepartmentTicket, 12);
  const int w = testing_support::spawn_child("ConcurrentWriter", {dir_.path()});
  EXPECT_EQ(testing_support::wait_child(a), 0);
  EXPECT_EQ(testing_support::wait_child(b), 0);
  EXPECT_EQ(testing_support::wait_child(w), 0);

  Reader r(data_);
  auto& items = r.open("compitem", "compitem");
  auto& log = r.open("log_env", "log_env");
  EXPECT_EQ(items.table().record_count(), items_before + kWriterAppends);
  EXPECT_EQ(log.table().record_count(), log_before + kWriterAppends + 3 + 3);
  // Each station's ticket: one log line per sale line, with the last round's count.
  for (const auto& [ticket, seller] : std::vector<std::pair<double, double>>{{app::demo::kTicket, 7},
                                                                              {app::demo::kDepartmentTicket, 12}}) {
    ASSERT_TRUE(rt::wa::seek(log, Value(rt::text::str(ticket, 6)))) << ticket;
    int lines = 0;
    for (; !log.eof() && log.get("NUMERO").number() == ticket; log.skip(), ++lines) {
      EXPECT_EQ(log.get("CANT_CHK").number(), log.get("CANTID").number());
      EXPECT_EQ(log.get("VEND_CHK").number(), seller);
      EXPECT_EQ(log.get("HORA_CHK").text(), "12:00:" + std::to_string(kRounds - 1));
    }
    EXPECT_EQ(lines, 3) << ticket;
  }
  // The writer's log lines, every one there once with its own count.
  std::vector<int> seen(kWriterAppends, 0);
  for (log.goto_top(); !log.eof(); log.skip())
    if (log.get("NUMERO").number() >= 6000) ++seen.at(static_cast<std::size_t>(log.get("CANT_CHK").number()));
  for (int i = 0; i < kWriterAppends; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], 1) << i;
  r.areas.close_all();

  expect_bags_verify(dir_, {{"compitem", "compitem"}, {"log_env", "log_env"}, {"tm390007", "tm390007"}, {"tm390012", "tm390012"}});
}

TEST_F(Concurrency, TwoStationsScanTheirTicketsWhileTheLogGrows) {
  // A second ticket with untraced products only, for the second station.
  constexpr int kOther = 1240;
  append("compenca", {{"COMPTE", Value("TK")}, {"NUMERO", Value(kOther)}, {"VENDEDOR", Value(12)},
                      {"FECHA", Value(check_rig::kSaleDay)}, {"HORAX", Value("11:00:00")}});
  append("compitem", {{"COMPTE", Value("TK")}, {"NUMERO", Value(kOther)}, {"CODIGO", Value("0000101")},
                      {"CANTID", Value(2)}, {"DESCRIP", Value("IBUPROFENO 400")}});
  append("compitem", {{"COMPTE", Value("TK")}, {"NUMERO", Value(kOther)}, {"CODIGO", Value("0000107")},
                      {"CANTID", Value(1)}, {"DESCRIP", Value("LORATADINA 10 MG")}});
  Reader before(data_);
  const auto log_before = before.open("log_env").table().record_count();
  before.areas.close_all();

  const int a = start(dir_.path(), "ConcurrentScanningStation", app::demo::kNoScanTicket, 7, {"0000103", "0000103"});
  const int b = start(dir_.path(), "ConcurrentScanningStation", kOther, 12, {"0000101", "0000107", "0000101"});
  const int w = testing_support::spawn_child("ConcurrentWriter", {dir_.path()});
  EXPECT_EQ(testing_support::wait_child(a), 0);
  EXPECT_EQ(testing_support::wait_child(b), 0);
  EXPECT_EQ(testing_support::wait_child(w), 0);

  Reader r(data_);
  auto& log = r.open("log_env", "log_env");
  EXPECT_EQ(log.table().record_count(), log_before + kWriterAppends + 2 + 2);
  for (const auto& [ticket, seller] : std::vector<std::pair<double, double>>{{app::demo::kNoScanTicket, 7},
                                                                              {kOther, 12}}) {
    ASSERT_TRUE(rt::wa::seek(log, Value(rt::text::str(ticket, 6)))) << ticket;
    int lines = 0;
    for (; !log.eof() && log.get("NUMERO").number() == ticket; log.skip(), ++lines) {
      EXPECT_EQ(log.get("CANT_CHK").number(), log.get("CANTID").number()) << ticket;
      // Lines counted in advance keep no counting seller; scanned ones name it.
      if (log.get("VEND_CHK").number() != 0) {
        EXPECT_EQ(log.get("VEND_CHK").number(), seller);
      }
    }
    EXPECT_EQ(lines, 2) << ticket;
  }
  r.areas.close_all();
  expect_bags_verify(dir_, {{"compitem", "compitem"}, {"log_env", "log_env"}, {"tm390007", "tm390007"}, {"tm390012", "tm390012"}});
}

}  // namespace

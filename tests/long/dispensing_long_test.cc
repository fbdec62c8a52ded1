// Two stations on the same ticket, forty times with random timing, and a
// station killed at random moments while it creates traceability records:
// every captured unit ends in exactly one traceability record or in the
// pending file, the check log holds each line once, no two vouchers name
// the same unit, no comptes file ever shrinks, and no record is left half
// written.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <tuple>
#include <thread>

#include "app/completion.h"
#include "tools/text_tools.h"
#include "tests/app/dispensing_rig.h"
#include "tests/tools/table_rig.h"

namespace {

using dispensing_rig::Dispensing;
using rt::Value;
namespace fs = std::filesystem;
namespace key = rt::con::key;
namespace demo = app::demo;

constexpr int kRepetitions = 40;

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class LongDispensing : public Dispensing {
 protected:
  // One station as a process of its own, scanning the ticket with these
  // serials.  With the ticket lock the stations start at random moments
  // and pause at random between scans; without it both wait until both
  // have loaded the ticket, then complete it within a few milliseconds of
  // each other.  A few spare keys answer the boxes a station may meet.
  int spawn_station(double seller, const std::string& machine, const std::vector<std::string>& serials,
                    unsigned seed, bool ticket_lock) {
    app::RunContext run = run_;
    run.seller = seller;
    run.machine = machine;
    const std::string folder = dir_.path();
    return testing_support::spawn_child([=, this]() mutable {
      std::mt19937 rng(seed);
      const auto ms = [&rng](int most) { return std::uniform_int_distribution<int>(0, most)(rng); };
      auto b = std::make_unique<rt::con::HeadlessBackend>();
      if (ticket_lock) {
        sleep_ms(ms(150));
        b->then([p = ms(20)] { sleep_ms(p); });
      } else {
        b->then([folder, machine] {
          testing_support::write_file(folder + "/ready." + machine, "");
          toolstest::wait_for_file(folder + "/ready.1", 10);
          toolstest::wait_for_file(folder + "/ready.2", 10);
        });
      }
      ticket_keys(*b, serials, [p = ms(ticket_lock ? 20 : 8)] { sleep_ms(p); });
      for (int i = 0; i < 4; ++i) b->key(key::kEnter);
      rt::con::Console con(std::move(b));
      con.set_confirm(true);
      con.set_date_window(rt::text::DateWindow{2026});
      rt::wa::WorkAreas areas(data_);
      areas.select_area(1);
      if (!areas.use("acceso2")) return 30;
      if (ticket_lock)
        app::princi(con, areas, run);
      else
        app::check_ticket(con, areas, run);
      return 0;
    });
  }

  // The serials a station captured, from its check table left on disk.
  std::multiset<std::string> captured(const std::string& check_table) {
    std::multiset<std::string> out;
    if (!fs::exists(dir_.file(check_table + ".dbf"))) return out;
    rt::wa::WorkAreas w(data_);
    EXPECT_TRUE(w.use(check_table));
    for (auto& t = w.current(); !t.eof(); t.skip()) {
      const std::string series = t.get("SERIES").text();
      for (std::size_t at = 0; at + 20 <= series.size(); at += 100) {
        const std::string serial = rt::text::trim(series.substr(at, 20));
        if (!serial.empty()) out.insert(serial);
      }
    }
    return out;
  }

  // Both stations at once; then every invariant.
  void round(unsigned seed, bool ticket_lock) {
    const std::string comptes = dir_.file(comptes_name());
    const int a = spawn_station(demo::kSeller, "1", {"A1", "A2"}, seed * 2 + 1, ticket_lock);
    const int b = spawn_station(12, "2", {"B1", "B2"}, seed * 2 + 2, ticket_lock);
    std::uintmax_t comptes_size = 0;
    int running = 2, status = 0;
    while (running > 0) {
      for (int pid : {a, b}) {
        const int done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
          --running;
          EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "station " << pid;
        }
      }
      std::error_code ec;
      const auto size = fs::file_size(comptes, ec);
      if (!ec) {
        EXPECT_GE(size, comptes_size) << "the comptes file shrank";
        comptes_size = size;
      }
    }
    EXPECT_EQ(log_codes(), kAll) << "the check log holds each line once";
    const auto recorded = recorded_serials(), pending = pending_serials();
    std::multiset<std::string> units = captured("tm390007");
    for (const auto& s : captured("tm390012")) units.insert(s);
    for (const auto& s : units)
      EXPECT_EQ(recorded.count(s) + pending.count(s), 1u) << s << " in one record or pending, once";
    EXPECT_EQ(recorded.size() + pending.size(), units.size());
    const auto va = voucher_serials(voucher("1")), vb = voucher_serials(voucher("2"));
    std::multiset<std::string> printed = va, listed;
    printed.insert(vb.begin(), vb.end());
    EXPECT_EQ(printed, recorded) << "the vouchers name every recorded unit, each on one voucher";
    const std::string lines = file(comptes_name());
    for (std::size_t at = 0; at + 54 <= lines.size(); at += 54) listed.insert(rt::text::trim(lines.substr(at + 14, 20)));
    EXPECT_EQ(listed, recorded) << "the comptes file lists every recorded unit once";
  }
};

// Each round a fresh demo folder: with the ticket lock every station
// takes, and with stations that take none (older ones): the check log's
// append lock and the records' marks must hold alone.
class TwoStations : public LongDispensing, public ::testing::WithParamInterface<std::tuple<bool, int>> {};

TEST_P(TwoStations, OnOneTicketRecordEveryUnitOnce) {
  round(static_cast<unsigned>(std::get<1>(GetParam())), std::get<0>(GetParam()));
}
INSTANTIATE_TEST_SUITE_P(Dispensing, TwoStations, ::testing::Combine(::testing::Bool(), ::testing::Range(0, kRepetitions)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "TicketLock" : "NoTicketLock") + "_" +
                                  std::to_string(std::get<1>(info.param));
                         });

// A traceability-only completion that creates one record per captured unit
// is killed at a random moment: every record of the suite's table is either
// absent or whole.
TEST_F(LongDispensing, AStationKilledWhileCreatingRecordsLeavesNoPartialRecord) {
  constexpr int kUnits = 60;
  std::mt19937 rng(14);
  double full_run = 0.05;
  Reader before(data_);
  const auto demo_records = before.open("traza").table().record_count();
  before.areas.close_all();
  for (int rep = -1; rep < kRepetitions; ++rep) {
    const int ticket = 2000 + rep + 1;
    append("compenca", {{"COMPTE", Value("TK")}, {"NUMERO", Value(ticket)}, {"VENDEDOR", Value(7)},
                        {"FECHA", Value(check_rig::kSaleDay)}, {"HORAX", Value("11:00:00")}});
    append("compitem", {{"COMPTE", Value("TK")}, {"NUMERO", Value(ticket)}, {"CODIGO", Value("0000102")},
                        {"CANTID", Value(kUnits)}, {"DESCRIP", Value("AMOXICILINA 500")}});
    const auto started = std::chrono::steady_clock::now();
    const int pid = testing_support::spawn_child([&] {
      rt::con::Console con(std::make_unique<rt::con::HeadlessBackend>());
      rt::wa::WorkAreas areas(data_);
      app::RunContext run = run_;
      run.ticket = ticket;
      run.trace_only = true;
      app::CheckContext ctx;
      app::CheckEnv env{con, areas, run, ctx};
      if (app::load_ticket(env).status != app::LoadStatus::Loaded) return 5;
      std::string series;
      for (int u = 0; u < kUnits; ++u) {
        const std::string serial = "K" + std::to_string(ticket) + "-" + std::to_string(u);
        series += rt::text::pad_right(serial, 20) + rt::text::pad_right("L", 10) + "20271231@@" +
                  rt::text::pad_right("01" + serial, 60);
      }
      areas.area("tempo39").put_fields({{"SERIES", Value(series)}, {"CANT_CHK", Value(kUnits)}});
      app::salir(env);
      return 0;
    });
    if (rep < 0) {  // a whole run, to know how long one takes
      ASSERT_EQ(testing_support::wait_child(pid), 0);
      full_run = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      continue;
    }
    sleep_ms(std::uniform_int_distribution<int>(0, static_cast<int>(full_run * 1000))(rng));
    ::kill(pid, SIGKILL);
    testing_support::wait_child(pid);
  }
  Reader r(data_);
  auto& tz = r.open("traza");
  int created = 0;
  for (tz.go(demo_records + 1); !tz.eof(); tz.skip()) {  // every record the stations appended
    SCOPED_TRACE("record " + std::to_string(tz.recno()));
    ++created;
    EXPECT_EQ(tz.get("COMPTE_INT").text(), "TK");
    EXPECT_GE(tz.get("NUMERO_INT").number(), 2000);
    EXPECT_EQ(tz.get("EVENTO").number(), 111);
    EXPECT_EQ(rt::text::trim(tz.get("NOM_EVENTO").text()), "DISPENSACION DEL PRODUCTO AL PACIENTE");
    EXPECT_EQ(tz.get("GTIN").text(), tools::str_0(tz.get("COD_BAR").number(), 14));
    EXPECT_EQ(tz.get("ID_CONCEPT").number(), -1);
    EXPECT_EQ(tz.get("FECHA").date(), check_rig::kSaleDay);
    if (HasFailure()) break;
  }
  EXPECT_GT(created, 0);
}

}  // namespace

// Every dispensed unit recorded exactly once: whole checks of the demo
// ticket through princi as the pharmacy runs them.  Units that find no
// traceability record, a completed ticket called up again, two tickets
// sharing a comptes file name, two stations on one ticket, a check log whose
// append fails part way, and the files a watching program meets while they
// are written.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/check.h"
#include "app/check_browse.h"
#include "app/completion.h"
#include "app/completion_output.h"
#include "runtime/os/file.h"
#include "runtime/table/lock_scheme.h"
#include "tests/app/dispensing_rig.h"
#include "tests/tools/table_rig.h"

namespace {

using dispensing_rig::Dispensing;
using rt::Value;
namespace fs = std::filesystem;
namespace key = rt::con::key;
namespace demo = app::demo;

// Fault: a unit whose ticket has no traceability record for it vanished.
struct Unrecorded {
  const char* what;
  std::vector<std::pair<std::string, Value>> change;  // made to the ticket's records
  std::size_t records_changed;
  std::multiset<std::string> recorded, pending;
};
void PrintTo(const Unrecorded& u, std::ostream* os) { *os << u.what; }
class UnitsWithoutRecord : public Dispensing, public ::testing::WithParamInterface<Unrecorded> {};

TEST_P(UnitsWithoutRecord, AreKeptInThePendingFileAndAnnounced) {
  const Unrecorded& c = GetParam();
  set_trace_records(c.change, c.records_changed);
  std::string box;
  ticket_keys(*backend_, {"P1", "P2"});
  backend_->then(grab(box)).key(key::kEnter);
  check();
  EXPECT_EQ(recorded_serials(), c.recorded);
  EXPECT_EQ(pending_serials(), c.pending);
  EXPECT_NE(box.find(std::to_string(c.pending.size()) + " Unidad"), std::string::npos) << box;
  EXPECT_NE(box.find("tz_pend.txt"), std::string::npos) << box;
  EXPECT_EQ(voucher_serials(voucher("1")), c.recorded);
  EXPECT_EQ(backend_->commands().size(), c.recorded.empty() ? 0u : 1u) << "nothing to print without a unit recorded";
  EXPECT_EQ(fs::exists(dir_.file(comptes_name())), !c.recorded.empty());
  const std::string pend = file("tz_pend.txt");
  const std::string line = pend.substr(0, std::min(pend.find("\r\n"), pend.size()));
  ASSERT_GT(line.size(), 17u);
  EXPECT_EQ(line, rt::text::dtos(today()) + ";" + line.substr(9, 8) + ";1;TK;1234;7;0" + barcodes_[1] + ";" +
                      *c.pending.begin() + ";L" + *c.pending.begin() + ";20271231;010" + barcodes_[1] + "21" +
                      *c.pending.begin() + "@17271231" "10L" + *c.pending.begin());
}

INSTANTIATE_TEST_SUITE_P(
    Dispensing, UnitsWithoutRecord,
    ::testing::Values(Unrecorded{"not_written_yet", {{"NUMERO_INT", Value(9999)}}, 2, {}, {"P1", "P2"}},
                      Unrecorded{"barcode_differs", {{"COD_BAR", Value(7790000000999.0)}}, 2, {}, {"P1", "P2"}},
                      Unrecorded{"one_record_short", {{"NUMERO_INT", Value(9999)}}, 1, {"P1"}, {"P2"}}),
    [](const auto& info) { return std::string(info.param.what); });

// Fault: calling a completed ticket up again emptied its comptes file,
// replaced its voucher and printed again.
TEST_F(Dispensing, ACompletedTicketCalledUpAgainLeavesItsOutputsAsTheyWere) {
  ticket_keys(*backend_, {"A1", "A2"});
  check();
  const std::string voucher_before = voucher("1"), comptes_before = file(comptes_name());
  const std::size_t printed = backend_->commands().size();
  ASSERT_EQ(voucher_serials(voucher_before), (std::multiset<std::string>{"A1", "A2"}));
  ASSERT_EQ(comptes_before.size(), 2u * 54);

  check();  // "Comprobante OK!!!" at once
  EXPECT_EQ(voucher("1"), voucher_before);
  EXPECT_EQ(file(comptes_name()), comptes_before);
  EXPECT_EQ(backend_->commands().size(), printed);
  EXPECT_EQ(recorded_serials(), (std::multiset<std::string>{"A1", "A2"}));
  EXPECT_FALSE(fs::exists(dir_.file("tz_pend.txt")));
}

// Fault: two tickets whose comptes files share a name (the same patient on
// one day, or no patient data: "_0_0") truncated each other.
class SharedComptesName : public Dispensing, public ::testing::WithParamInterface<bool> {};

TEST_P(SharedComptesName, BothTicketsKeepTheirLines) {
  const bool patient = GetParam();
  if (!patient) set_fields("datoafi", 1, {{"NUMERO", Value(9999)}});
  const std::string name = comptes_name(patient ? "20111222_123456789012" : "0_0");
  testing_support::write_file(dir_.file(name), "EARLIER TICKET\r\n");
  ticket_keys(*backend_, {"A1", "A2"});
  check();
  const std::string text = file(name);
  EXPECT_EQ(text.substr(0, 16), "EARLIER TICKET\r\n");
  EXPECT_EQ(text.size(), 16u + 2 * 54);
}
INSTANTIATE_TEST_SUITE_P(Dispensing, SharedComptesName, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "SamePatient" : "NoPatientData"; });

// Fault: a second station on the same ticket wrote it all again.
TEST_F(Dispensing, AStationCallingATicketCheckedElsewhereIsToldAndWritesNothing) {
  const std::string ready = dir_.file("a.ready"), go = dir_.file("a.go");
  app::RunContext a = run_;
  a.ticket = demo::kTicket;
  a.machine = "1";
  const int pid = testing_support::spawn_child([&] {
    auto b = std::make_unique<rt::con::HeadlessBackend>();
    ticket_keys(*b, {"A1", "A2"}, [&] {
      testing_support::write_file(ready, "");
      toolstest::wait_for_file(go, 30);
    });
    rt::con::Console con(std::move(b));
    con.set_confirm(true);
    con.set_date_window(rt::text::DateWindow{2026});
    station(con, a);
    return 0;
  });
  ASSERT_TRUE(toolstest::wait_for_file(ready, 30));

  std::string box;
  backend_->then(grab(box));
  ticket_keys(*backend_, {"B1", "B2"});
  run_.ticket = demo::kTicket;
  run_.seller = 12;
  run_.machine = "2";
  check();
  testing_support::write_file(go, "");
  EXPECT_EQ(testing_support::wait_child(pid), 0);

  EXPECT_NE(box.find("Otra Estaci\xA2n"), std::string::npos) << box;
  EXPECT_NE(box.find("(M\xA0quina 1)"), std::string::npos) << "names the machine: " << box;
  EXPECT_FALSE(fs::exists(dir_.file("tm390012.dbf"))) << "nothing written";
  EXPECT_EQ(log_codes(), kAll);
  EXPECT_EQ(recorded_serials(), (std::multiset<std::string>{"A1", "A2"}));
  EXPECT_EQ(voucher_serials(voucher("1")), (std::multiset<std::string>{"A1", "A2"}));
  EXPECT_EQ(voucher("2"), "");
  EXPECT_TRUE(backend_->commands().empty());
}

// Fault: a station that loaded the ticket before another finished it took
// the other's records as its own and printed them again.
TEST_F(Dispensing, AStationThatLoadedBeforeAnotherFinishedOverwritesNothing) {
  run_.ticket = demo::kTicket;
  run_.seller = 12;
  run_.machine = "2";
  app::CheckEnv b = env();
  areas_.select_area(1);
  ASSERT_TRUE(areas_.use("acceso2"));
  ASSERT_EQ(app::load_ticket(b).status, app::LoadStatus::Loaded);

  {  // the other station checks and completes the ticket meanwhile
    auto ab = std::make_unique<rt::con::HeadlessBackend>();
    ticket_keys(*ab, {"A1", "A2"});
    rt::con::Console con(std::move(ab));
    con.set_confirm(true);
    con.set_date_window(rt::text::DateWindow{2026});
    app::RunContext a = run_;
    a.seller = demo::kSeller;
    a.machine = "1";
    station(con, a);
  }
  const std::string comptes_a = file(comptes_name());
  ASSERT_EQ(comptes_a.size(), 2u * 54);

  std::string box;
  ticket_keys(*backend_, {"B1", "B2"});
  backend_->then(grab(box)).key(key::kEnter);
  app::run_check_browse(b);
  app::salir(b);

  EXPECT_EQ(log_codes(), kAll) << "the log holds each line once";
  EXPECT_EQ(recorded_serials(), (std::multiset<std::string>{"A1", "A2"}));
  EXPECT_EQ(pending_serials(), (std::multiset<std::string>{"B1", "B2"}));
  EXPECT_NE(box.find("tz_pend.txt"), std::string::npos) << box;
  EXPECT_EQ(voucher("2"), "") << "no voucher without a unit recorded";
  EXPECT_TRUE(backend_->commands().empty());
  EXPECT_EQ(file(comptes_name()), comptes_a);
}

// Fault: an append of the check log that failed part way left the lines
// before it, and the next load rebuilt the ticket from that partial log.
TEST_F(Dispensing, ACheckLogAppendFailingPartWayLeavesNoLineAndTheTicketLoadsAfresh) {
  run_.traceability = false;
  Reader r(data_);
  const auto count = r.open("log_env").table().record_count();
  r.areas.close_all();
  // Another station holds the record the second line would take.
  const std::string held = dir_.file("held"), release = dir_.file("release");
  const std::string log_path = dir_.file("log_env.dbf");
  const int pid = testing_support::spawn_child([&] {
    auto f = rt::os::File::open(log_path, rt::os::OpenMode::ReadWrite);
    const auto lock = rt::table::LockLayout(rt::table::LockScheme::Fox, 0, 0).record(count + 2);
    if (!f->try_lock(lock.offset, lock.length, rt::os::LockKind::Exclusive)) return 3;
    testing_support::write_file(held, "");
    toolstest::wait_for_file(release, 30);
    return 0;
  });
  ASSERT_TRUE(toolstest::wait_for_file(held, 30));
  std::string box;
  for (const auto& code : {barcodes_[0], barcodes_[0], barcodes_[1], barcodes_[1], barcodes_[2]})
    backend_->keys(code).key(key::kEnter);
  backend_->then([&] { box = rt::con::Console::charodd(con_->screenstr(12, 0, 80)); });
  check();
  testing_support::write_file(release, "");
  EXPECT_EQ(testing_support::wait_child(pid), 0);

  EXPECT_NE(box.find("log_env"), std::string::npos) << box;
  EXPECT_TRUE(log_codes().empty()) << "the lines appended are marked deleted";
  const app::LoadOutcome again = load(demo::kTicket);
  EXPECT_EQ(again.status, app::LoadStatus::Loaded);
  EXPECT_FALSE(again.from_log) << "loaded afresh from the sale lines";
}

// Fault: the voucher and the comptes file were emptied and then written, so
// a program watching them met empty or partial files.
TEST_F(Dispensing, AWatchingProgramMeetsOnlyWholeVouchersAndComptesFilesThatNeverShrink) {
  fs::create_directories(dir_.file("rob"));
  run_.drives.drives['F'] = dir_.file("rob");
  app::completion::Output out[2];
  for (int k = 0; k < 2; ++k) {
    out[k].mode = app::voucher::parse_mode("FD");
    out[k].comptes_path = "s:\\qumar\\comptes_tz\\W.txt";
    out[k].base_name = "01001234";
    out[k].voucher = std::string(400000, static_cast<char>('a' + k));
    out[k].comptes = std::string(54000, static_cast<char>('a' + k));
    out[k].rob_fis = "F:\\";  // nothing is run
    out[k].drives = run_.drives;
  }
  const int pid = testing_support::spawn_child([&] {
    rt::con::Console con(std::make_unique<rt::con::HeadlessBackend>());
    for (int i = 0; i < 60; ++i) app::completion::hand_off(con, data_, out[i % 2]);
    return 0;
  });
  const std::string voucher_path = dir_.file("rob/01001234.TNF"), comptes_path = dir_.file("s/qumar/comptes_tz/W.txt");
  std::uintmax_t comptes_size = 0;
  int status = 0, seen = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (fs::exists(voucher_path)) {
      const std::string v = testing_support::read_file(voucher_path);
      EXPECT_TRUE(v == out[0].voucher || v == out[1].voucher) << "a voucher of " << v.size() << " bytes";
      ++seen;
    }
    std::error_code ec;
    const auto size = fs::file_size(comptes_path, ec);
    if (!ec) {
      EXPECT_GE(size, comptes_size) << "the comptes file shrank";
      comptes_size = size;
    }
    if (HasFailure()) break;
  }
  if (HasFailure()) ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(seen, 0);
  EXPECT_EQ(fs::file_size(comptes_path), 60u * 54000);
}

// Fault: a write that failed part way (a full drive) left the voucher and
// the comptes file emptied or cut.
TEST_F(Dispensing, AWriteFailingPartWayLeavesTheFilesAsTheyWereAndIsShown) {
  const std::string voucher_path = dir_.file("root/VLM/TMP/01001234.TNF");
  const std::string comptes_path = dir_.file("s/qumar/comptes_tz/W.txt");
  testing_support::write_file(voucher_path, "EARLIER VOUCHER");
  testing_support::write_file(comptes_path, std::string(4000, 'c'));
  app::completion::Output out;
  out.mode = app::voucher::parse_mode("FD");
  out.comptes_path = "s:\\qumar\\comptes_tz\\W.txt";
  out.base_name = "01001234";
  out.voucher = std::string(9000, 'v');
  out.comptes = std::string(540, 'n');
  out.drives = run_.drives;
  const int pid = testing_support::spawn_child([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};  // no file may grow past 4 KiB
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    auto b = std::make_unique<rt::con::HeadlessBackend>();
    int boxes = 0;
    auto* backend = b.get();
    rt::con::Console con(std::move(b));
    backend->then([&] { ++boxes; }).key(key::kEnter).then([&] { ++boxes; }).key(key::kEnter);
    app::completion::hand_off(con, data_, out);
    return boxes * 10 + static_cast<int>(backend->commands().size());
  });
  EXPECT_EQ(testing_support::wait_child(pid), 20) << "two boxes, no program run";
  EXPECT_EQ(testing_support::read_file(voucher_path), "EARLIER VOUCHER");
  EXPECT_EQ(testing_support::read_file(comptes_path), std::string(4000, 'c'));
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir_.file("root/VLM/TMP"))) files += e.is_regular_file();
  EXPECT_EQ(files, 1u) << "no temporary file left behind";
}

}  // namespace

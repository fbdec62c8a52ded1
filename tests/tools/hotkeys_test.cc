// The hotkeys of the key reader on the headless console over the demo
// folder: Alt+C with and without the permission of task 120, the close log
// byte for byte (first and second close, the routine chain of the trace
// frames), and the font keys at both ends of their range.
#include "tools/hotkeys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>

#include "demodata/demo_data.h"
#include "runtime/console/keys.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "table_rig.h"
#include "tests/console/console_test_util.h"
#include "tools/screens.h"

using namespace toolstest;
namespace key = rt::con::key;
namespace demo = app::demo;

namespace {

const rt::text::Date kToday = *rt::text::Date::from_ymd(2026, 3, 14);

// The line of a source file of the project that holds `needle`.
int source_line(const std::string& relative, const std::string& needle) {
  std::ifstream in(std::string(CHK_SOURCE_DIR) + "/" + relative);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n)
    if (line.find(needle) != std::string::npos) return n;
  return -1;
}

std::string chain_line(const std::string& name, int line) {
  return "Llamada desde: " + rt::text::pad_right(name, 15) + "(" + rt::text::str(line, 6) + ")  \r\n";
}

class Hotkeys : public ::testing::Test, public tools::KeyReaderHooks {
 protected:
  Hotkeys() {
    app::make_demo(folder_.path(), kToday);
    wa_.select_area(1);
    EXPECT_TRUE(wa_.use("acceso2"));
    rt::wa::set_index(wa_.current(), "acceso21");
    rt::wa::set_focus(wa_.current(), 1);
    previous_ = tools::set_key_reader_hooks(con(), this);
    op_.branch = demo::kBranch;
  }
  ~Hotkeys() override { tools::set_key_reader_hooks(con(), previous_); }
  void close_request(rt::con::Console& con) override { tools::altc(con, wa_, op_, {machine_, "FEC_SYS"}); }
  void font_step(rt::con::Console& con, int) override { tools::chg_sizex(con); }

  rt::con::Console& con() { return rig_.con(); }
  rt::con::HeadlessBackend& script() { return rig_.script(); }
  std::string log() { return testing_support::read_file(folder_.file(tools::kCloseLog)); }
  bool log_exists() { return std::filesystem::exists(folder_.file(tools::kCloseLog)); }

  // A three-line box waiting under MAIN; true when the station quit.
  bool box_under_main(int* main_line) {
    tools::Trace main(con(), "MAIN");
    try {
      // clang-format off
      main.at(); *main_line = __LINE__; tools::cartel_3(con(), "uno", "dos", "tres");
      // clang-format on
    } catch (const rt::con::QuitRequest& q) {
      EXPECT_EQ(q.status, 0);
      return true;
    }
    return false;
  }
  std::string expected_close(int main_line) {
    const int cartel_line = source_line("tools/screens.cc", "const int code = tecla_n(con);");
    EXPECT_GT(cartel_line, 0);
    return "\r\n" + tools::close_line(kToday, con().clock().now().seconds_since_midnight, op_.seller, machine_) +
           "\r\n" + chain_line("CARTEL_3", cartel_line) + chain_line("MAIN", main_line);
  }

  WorkFolder folder_;
  contest::Rig rig_;
  rt::wa::WorkAreas wa_{folder_.env()};
  tools::Operator op_;
  std::string machine_ = "55";
  tools::KeyReaderHooks* previous_ = nullptr;
};

TEST(PutLogTxt, EachEntryIsALineEndThenTheTextAppended) {
  WorkFolder folder;
  EXPECT_EQ(tools::putlogtxt(folder.env(), "x.txt", "uno"), 0);
  EXPECT_EQ(testing_support::read_file(folder.file("x.txt")), "\r\nuno");
  tools::putlogtxt(folder.env(), "x.txt", "");
  tools::putlogtxt(folder.env(), "x.txt", "dos\r\n");
  EXPECT_EQ(testing_support::read_file(folder.file("x.txt")), "\r\nuno\r\n\r\ndos\r\n");
  // A file that cannot be written is passed over.
  EXPECT_EQ(tools::putlogtxt(folder.env(), folder.file("no/such/folder.txt"), "x"), 0);
}

constexpr int kLogEntries = 2000;

// One station of the test below, in the test's folder: args are its letter
// and the file that starts every station at once.
CHK_CHILD_ROUTINE(PutLogTxtStation) {
  wait_for_file(args.at(1), 10);
  rt::os::FolderEnv folder(rt::os::dirname_of(args.at(1)));
  for (int i = 0; i < kLogEntries; ++i) tools::putlogtxt(folder, "x.txt", args.at(0) + std::to_string(i));
  return 0;
}

TEST(PutLogTxt, StationsWritingAtOnceKeepEveryEntryWhole) {
  WorkFolder folder;
  constexpr int kEntries = kLogEntries;
  const std::string kStations = "ABCD";
  const std::string go = folder.file("go");
  const auto writer = [&go](char station) {
    return testing_support::spawn_child("PutLogTxtStation", {std::string(1, station), go});
  };
  std::vector<int> pids;
  for (char s : kStations) pids.push_back(writer(s));
  testing_support::write_file(go, "");
  for (int pid : pids) EXPECT_EQ(testing_support::wait_child(pid), 0);
  std::multiset<std::string> entries;
  const std::string text = testing_support::read_file(folder.file("x.txt"));
  for (std::size_t at = 0; at < text.size();) {
    ASSERT_EQ(text.compare(at, 2, "\r\n"), 0) << "at byte " << at;
    const std::size_t next = std::min(text.find("\r\n", at + 2), text.size());
    entries.insert(text.substr(at + 2, next - at - 2));
    at = next;
  }
  ASSERT_EQ(entries.size(), kStations.size() * kEntries);
  for (char s : kStations)
    for (int i = 0; i < kEntries; ++i) EXPECT_EQ(entries.count(s + std::to_string(i)), 1u) << s << i;
}

TEST(CloseLine, DateTimeSellerAndMachineBetweenBars) {
  const int t = 10 * 3600 + 5 * 60 + 9;
  EXPECT_EQ(tools::close_line(kToday, t, 45, "55"), "14/03/26|10:05:09|  45|55");
  EXPECT_EQ(tools::close_line(kToday, t, 7, "7"), "14/03/26|10:05:09|   7| 7");
  EXPECT_EQ(tools::close_line(kToday, t, 7, "123"), "14/03/26|10:05:09|   7|**");
}

TEST(RoutineChain, SkipsRuntimeLevelsAndStopsAtANamelessOne) {
  const std::vector<tools::TraceFrame> frames = {{"MAIN", "a.cc", 120},
                                                 {"", "a.cc", 7},
                                                 {"PRINCI", "b.cc", 33},
                                                 {"DBEDIT", "c.cc", 0},
                                                 {"A_VERY_LONG_ROUTINE_NAME", "b.cc", 1234567},
                                                 {"TECLA_N", "d.cc", 9}};
  EXPECT_EQ(tools::routine_chain(frames, 4),
            "Llamada desde: A_VERY_LONG_ROU(******)  \r\nLlamada desde: PRINCI         (    33)  \r\n");
  EXPECT_EQ(tools::routine_chain(frames, 0), chain_line("MAIN", 120));
  EXPECT_EQ(tools::routine_chain(frames, -1), "");
}

TEST_F(Hotkeys, AltCWithTheTaskClosesAndWritesTheLogFromTheFirstClose) {
  op_.seller = demo::kSeller;  // marked for task 120
  std::string question;
  script().key(key::kAltC).then([&] { question = con().screen().row_text(12); });
  script().key('s').key(key::kEnter);
  int main_line = 0;
  EXPECT_TRUE(box_under_main(&main_line));
  EXPECT_NE(question.find(tools::kCloseQuestion), std::string::npos);
  EXPECT_EQ(log(), "\r\n" + std::string(tools::kCloseLogHeader) + "\r\n" + expected_close(main_line));
  EXPECT_TRUE(rig_.script().is_shut_down());
  EXPECT_EQ(wa_.select("acceso2"), 0) << "every table closed";
  EXPECT_EQ(con().cursor_shape(), 1);
  EXPECT_EQ(con().screen().row_text(12), std::string(80, ' '));

  // The second close: one empty line between the previous chain and the new
  // close line, no header.
  const std::string first = log();
  script().key(key::kAltC).key('S').key(key::kEnter);
  EXPECT_TRUE(box_under_main(&main_line));
  EXPECT_EQ(log(), first + expected_close(main_line));
  EXPECT_NE(log().find(")  \r\n\r\n14/03/26|"), std::string::npos);
}

TEST_F(Hotkeys, SellerAndMachineAsTheyAreLogged) {
  op_.seller = 12;
  machine_ = "123";
  script().key(key::kAltC).key('S').key(key::kEnter);
  int main_line = 0;
  EXPECT_TRUE(box_under_main(&main_line));
  EXPECT_NE(log().find("|  12|**\r\n"), std::string::npos) << log();
}

TEST_F(Hotkeys, AnswerNOrARefusedTaskLeavesEverythingAsItWas) {
  op_.seller = demo::kSeller;
  script().key(key::kAltC).key('N').key(key::kEnter);
  int main_line = 0;
  EXPECT_FALSE(box_under_main(&main_line));  // Alt+C (302) also ends the box's wait
  EXPECT_FALSE(log_exists());
  EXPECT_EQ(script().pending(), 0u);

  // Seller 22 has neither the mark nor a profile for task 120: the password
  // box, left with Esc.
  op_.seller = demo::kSellerNoRights;
  std::string box;
  script().key(key::kAltC).key('S').key(key::kEnter).then([&] { box = con().screen().row_text(9); });
  script().key(key::kEsc);
  EXPECT_FALSE(box_under_main(&main_line));
  EXPECT_NE(box.find("Clave de Acceso"), std::string::npos);
  EXPECT_FALSE(log_exists());
  EXPECT_EQ(wa_.select("acceso2"), 1) << "tables stay open";

  // The master password opens task 120 like any other.
  script().key(key::kAltC).key('S').key(key::kEnter);
  for (char c : std::string(demo::kMasterPassword)) script().key(c);
  script().key(key::kEnter);
  EXPECT_TRUE(box_under_main(&main_line));
  EXPECT_TRUE(log_exists());
  EXPECT_EQ(log().find(demo::kMasterPassword), std::string::npos) << "no password in the log";
}

TEST_F(Hotkeys, FontKeysStepOnePixelWithinTheirRange) {
  con().set_font_width(11);
  con().set_font_height(22);
  script().key(key::kCtrlKeypadMinus);
  EXPECT_EQ(tools::tecla_n(con()), key::kCtrlKeypadMinus);
  EXPECT_EQ(con().font_height(), 21);
  EXPECT_EQ(con().font_width(), 10);
  script().key(key::kCtrlKeypadPlus).key(key::kCtrlKeypadPlus);
  tools::tecla_n(con());
  EXPECT_EQ(tools::tecla_n(con()), key::kCtrlKeypadPlus);
  EXPECT_EQ(con().font_height(), 23);
  EXPECT_EQ(con().font_width(), 11);

  // The smallest size: a step down keeps it.
  con().set_font_width(tools::kSmallestFontHeight / 2);
  con().set_font_height(tools::kSmallestFontHeight + 1);
  EXPECT_TRUE(tools::chg_size(con(), -1));
  EXPECT_EQ(con().font_height(), tools::kSmallestFontHeight);
  EXPECT_TRUE(tools::chg_size(con(), -1));
  EXPECT_EQ(con().font_height(), tools::kSmallestFontHeight);
  EXPECT_EQ(con().font_width(), tools::kSmallestFontHeight / 2);

  // The largest: a step up keeps it.
  con().set_font_width(tools::kLargestFontHeight / 2);
  con().set_font_height(tools::kLargestFontHeight - 1);
  EXPECT_TRUE(tools::chg_size(con(), 1));
  EXPECT_EQ(con().font_height(), tools::kLargestFontHeight);
  EXPECT_TRUE(tools::chg_size(con(), 1));
  EXPECT_EQ(con().font_height(), tools::kLargestFontHeight);
  EXPECT_EQ(con().font_width(), tools::kLargestFontHeight / 2);

  // The setting is kept by the back end (a terminal reports it instead).
  bool kept = false;
  for (const auto& s : con().kept_settings()) kept = kept || s.find("font") != std::string::npos;
  EXPECT_TRUE(kept);
}

}  // namespace

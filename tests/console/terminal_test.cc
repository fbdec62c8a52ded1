// The terminal back end on a pseudo-terminal: key sequences as a terminal
// sends them become the console's codes, the grid goes out in UTF-8, and a
// change of one cell sends a few bytes, not the screen.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "runtime/console/console.h"
#include "runtime/console/terminal.h"

using namespace rt::con;

namespace {

class PtyTerminal {
 public:
  explicit PtyTerminal(int rows = 25, int cols = 80, const char* term = "xterm-256color") {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const int slave = open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (slave < 0) return;
    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    ioctl(slave, TIOCSWINSZ, &ws);
    file_ = fdopen(slave, "r+");
    TerminalOptions opt{file_, file_, term, false};
    con_ = std::make_unique<Console>(std::make_unique<TerminalBackend>(opt));
  }
  ~PtyTerminal() {
    con_.reset();
    if (file_) std::fclose(file_);
    if (master_ >= 0) close(master_);
  }
  bool ok() const { return con_ != nullptr; }
  Console& con() { return *con_; }
  void type(const std::string& bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
  // Everything the program wrote, waiting until it stops coming.
  std::string output() {
    std::string out;
    char buf[8192];
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, 100) > 0) {
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  int master_ = -1;
  std::FILE* file_ = nullptr;
  std::unique_ptr<Console> con_;
};

}  // namespace

TEST(TerminalBackend, KeySequencesBecomeConsoleCodes) {
  PtyTerminal t;
  if (!t.ok()) GTEST_SKIP() << "no pseudo-terminal on this machine";
  Console& con = t.con();
  con.present();
  t.output();
  struct Case {
    const char* bytes;
    int code;
  } cases[] = {
      {"a", 'a'},           {"\xc3\xa9", 130},      {"\xc3\xb1", 164},       {"\x1d", 29},
      {"\r", 13},           {"\x7f", 8},            {"\x1b[A", key::kUp},    {"\x1b[B", key::kDown},
      {"\x1b[D", key::kLeft}, {"\x1b[C", key::kRight}, {"\x1b[5~", key::kPgUp}, {"\x1b[6~", key::kPgDn},
      {"\x1b[2~", key::kIns}, {"\x1b[3~", key::kDel}, {"\x1bOP", 28},          {"\x1bOQ", -1},
      {"\x1b[21~", -9},     {"\x1b[1;2P", -10},     {"\x1b" "c", 302},       {"\x1b[1;5H", 29},
      {"\x1b[5;5~", 31},    {"\x1b[6;5~", 30},      {"\x1bO5m", 398},        {"\x1bO5k", 400},
      {"\x1b[<64;5;5M", 1014}, {"\x1b[<65;5;5M", 1015}, {"\x1b[<2;5;5M", 1004}, {"\x1b[<35;5;5M", 1001},
  };
  for (const Case& c : cases) {
    t.type(c.bytes);
    EXPECT_EQ(con.inkey(2.0), c.code) << "bytes " << c.bytes + (c.bytes[0] == '\x1b' ? 1 : 0);
  }
  // A lone Esc is Esc (after the terminal's short wait for a sequence).
  t.type("\x1b");
  EXPECT_EQ(con.inkey(2.0), 27);
  // Keyboard-only mask: the mouse report is dropped, the key behind it comes.
  con.set_event_mask(key::kMaskKeyboard);
  t.type("\x1b[<64;5;5Mz");
  EXPECT_EQ(con.inkey(2.0), 'z');
}

TEST(TerminalBackend, Utf8OutputAndOnlyChangedCellsSent) {
  PtyTerminal t;
  if (!t.ok()) GTEST_SKIP() << "no pseudo-terminal on this machine";
  Console& con = t.con();
  con.set_color("w+/b");
  con.scroll();
  for (int r = 5; r < 25; ++r) {
    con.devpos(r, 0);
    con.devout(std::string(80, static_cast<char>('a' + r)), r % 2 ? "gr+/r" : "w/n");
  }
  con.dispbox(1, 1, 3, 30, 2);
  con.devpos(2, 3);
  con.devout("TICKET N\xA7 1234 \x82");
  con.present();
  const std::string full = t.output();
  EXPECT_NE(full.find("TICKET N\xc2\xba 1234 \xc3\xa9"), std::string::npos);
  EXPECT_NE(full.find("\xe2\x95\x94\xe2\x95\x90"), std::string::npos);  // ╔═
  EXPECT_GT(full.size(), 2000u);
  con.devpos(2, 17);
  con.devout("5");
  con.present();
  const std::string delta = t.output();
  EXPECT_NE(delta.find('5'), std::string::npos);
  EXPECT_LT(delta.size(), 40u) << delta.size();
  con.present();  // nothing changed: nothing, or only cursor bytes, go out
  EXPECT_LT(t.output().size(), 12u);
}

TEST(TerminalBackend, SmallTerminalShowsAMessage) {
  PtyTerminal t(20, 60);
  if (!t.ok()) GTEST_SKIP() << "no pseudo-terminal on this machine";
  t.con().devpos(0, 0);
  t.con().devout("SHOULD NOT SHOW");
  t.con().present();
  const std::string out = t.output();
  EXPECT_NE(out.find("25 x 80"), std::string::npos);
  EXPECT_EQ(out.find("SHOULD NOT SHOW"), std::string::npos);
}

TEST(TerminalBackend, EightColourTerminalShowsBrightAsBold) {
  PtyTerminal t(25, 80, "xterm");
  if (!t.ok()) GTEST_SKIP() << "no pseudo-terminal on this machine";
  t.con().devpos(3, 3);
  t.con().devout("BRIGHT", "w+/b");
  t.con().present();
  const std::string out = t.output();
  EXPECT_NE(out.find("BRIGHT"), std::string::npos);
  EXPECT_TRUE(out.find("\x1b[1m") != std::string::npos || out.find("\x1b[0;1m") != std::string::npos)
      << "bold for the bright foreground";
  EXPECT_NE(out.find("\x1b[44mBRIGHT"), std::string::npos);
}

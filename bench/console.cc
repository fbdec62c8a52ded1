// Console figures: the terminal back end drawing into a pseudo-terminal (a
// full-screen redraw and a one-row change: bytes sent and time per frame),
// and a reader's 60-key burst through the browse and the field editor on the
// headless back end (processing time per burst; the goal is well under
// 10 ms).  There is no SQLite counterpart for a screen, so only the
// console's own figures are printed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "runtime/console/browse.h"
#include "runtime/console/console.h"
#include "runtime/console/get.h"
#include "runtime/console/headless.h"
#include "runtime/console/terminal.h"

using namespace rt::con;

namespace {

// A pseudo-terminal whose output a thread reads and counts.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
    const int slave = open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (slave < 0) std::abort();
    winsize ws{};
    ws.ws_row = 25;
    ws.ws_col = 80;
    ioctl(slave, TIOCSWINSZ, &ws);
    file_ = fdopen(slave, "r+");
    reader_ = std::thread([this] {
      char buf[65536];
      while (!stop_) {
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) break;
        bytes_ += n;
      }
    });
  }
  ~Pty() {
    stop_ = true;
    std::fclose(file_);
    close(master_);
    reader_.join();
  }
  std::FILE* file() { return file_; }
  long long bytes() {
    // Let the reader catch up with what was written.
    long long last = -1;
    while (last != bytes_) {
      last = bytes_;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return bytes_;
  }

 private:
  int master_ = -1;
  std::FILE* file_ = nullptr;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  std::atomic<long long> bytes_{0};
};

void fill_screen(Console& con, int variant) {
  static const char* colors[] = {"W+/B", "gr+/r", "w+/bg", "r/gr*", "g+/n", "B/W"};
  // Content that changes every cell from one variant to the next and does
  // not look like a scrolled copy of the previous frame.
  unsigned seed = 2654435761u * static_cast<unsigned>(variant + 1);
  for (int r = 0; r < 25; ++r) {
    for (int c = 0; c < 80; ++c) {
      seed = seed * 1103515245u + 12345u;
      const char ch = c % 7 == 0 ? '\xC4' : static_cast<char>('A' + (seed >> 16) % 26);
      con.put(r, c, std::string(1, ch), parse_color_pair(colors[(seed >> 8) % 6]));
    }
  }
}

void BM_TerminalFullRedraw(benchmark::State& state) {
  Pty pty;
  TerminalOptions opt{pty.file(), pty.file(), "xterm-256color", false};
  Console con(std::make_unique<TerminalBackend>(opt));
  fill_screen(con, 0);
  con.present();
  const long long start = pty.bytes();
  int variant = 1;
  for (auto _ : state) {
    fill_screen(con, variant++);
    con.present();
  }
  const long long bytes = pty.bytes() - start;
  state.counters["bytes_per_frame"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
  con.shutdown();
}
BENCHMARK(BM_TerminalFullRedraw)->Unit(benchmark::kMicrosecond);

void BM_TerminalOneRowChange(benchmark::State& state) {
  Pty pty;
  TerminalOptions opt{pty.file(), pty.file(), "xterm-256color", false};
  Console con(std::make_unique<TerminalBackend>(opt));
  fill_screen(con, 0);
  con.present();
  const long long start = pty.bytes();
  int n = 0;
  for (auto _ : state) {
    con.devpos(23, 0);
    con.devout("Lectura " + std::to_string(n++) + ": 0107798123456789211234567890@17271231  ", "g+/n");
    con.present();
  }
  const long long bytes = pty.bytes() - start;
  state.counters["bytes_per_frame"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
  con.shutdown();
}
BENCHMARK(BM_TerminalOneRowChange)->Unit(benchmark::kMicrosecond);

const std::string& burst() {
  static const std::string b = [] {
    std::string s = "01077981234567892112345678901";
    s += '\x1d';
    s += "1727123110LOT44";
    s += '\x1d';
    s += "91123456789012";
    return s;
  }();
  return b;
}

void BM_BurstThroughBrowse(benchmark::State& state) {
  auto backend = std::make_unique<HeadlessBackend>();
  HeadlessBackend& script = *backend;
  Console con(std::move(backend));
  con.set_key(29, [&](int) { con.push_front({'@'}); });
  MemorySource src({{"descrip", 32}, {"cantid", 3}, {"cant_chk", 3}, {"cb", 13}});
  for (int i = 0; i < 30; ++i) src.append({rt::Value("LINE"), rt::Value(1), rt::Value(0), rt::Value(7790000000000.0 + i)});
  BrowseLayout spec;
  spec.top = 8;
  spec.bottom = 20;
  spec.columns = {{"descrip", "Producto", ""}, {"cantid", "Vend", "@Z 999"}, {"cant_chk", "Cheq", "@Z 999"},
                  {"cb", "Barras", ""}};
  spec.heading_sep = "\xC4";
  std::string scan;
  spec.user = [&](int mode, int) {
    if (mode != kKeyException) return 1;
    if (con.lastkey() == 13) return 0;
    scan += static_cast<char>(con.lastkey());
    con.put(23, 0, scan, parse_color_pair("g+/n"));  // the scan line follows every key
    return 1;
  };
  for (auto _ : state) {
    scan.clear();
    script.keys(burst()).key(13);
    dbedit(con, src, spec);
    benchmark::DoNotOptimize(scan.data());
  }
  if (scan.size() != 60) state.SkipWithError("keys lost");
}
BENCHMARK(BM_BurstThroughBrowse)->Unit(benchmark::kMicrosecond);

void BM_BurstThroughFieldEditor(benchmark::State& state) {
  auto backend = std::make_unique<HeadlessBackend>();
  HeadlessBackend& script = *backend;
  Console con(std::move(backend));
  con.set_key(29, [&](int) { con.push_front({'@'}); });
  std::string code;
  for (auto _ : state) {
    code.assign(60, ' ');
    Form form;
    form.add(con, Get::text(12, 10, code, "@S30"));
    script.keys(burst()).key(13);
    form.read(con);
    benchmark::DoNotOptimize(code.data());
  }
  if (code.find('@') == std::string::npos) state.SkipWithError("separator lost");
}
BENCHMARK(BM_BurstThroughFieldEditor)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

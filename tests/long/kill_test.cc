// SIGKILL at random moments: bulk loads (dbftool load), appends with memos
// and field updates through the work areas (as the station writes), adding a
// tag (dbftool index) and rebuilding the bag (dbftool reindex), on a table
// with a memo file and a bag of three tags.  After every kill dbftool verify
// is clean, or dbftool repair (record count, then a reindex of the bag) makes
// it clean; every record a writer reported written is there as written, and
// no record is torn (each record carries a checksum of its fields and a memo
// made from them).  Every other kill runs with CHK_SYNC=off, so that kills
// also land in the middle of changes rather than mostly in a sync.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tests/support/testing.h"

namespace ts = testing_support;
using rt::Value;

namespace {

struct Row {
  std::string code;
  long n = 0;
  bool operator==(const Row& o) const { return code == o.code && n == o.n; }
};

std::string code_for(long id, long salt) { return "K" + std::to_string((id * 7919 + salt * 104729) % 1000003); }
long sum_of(long id, const Row& r) {
  long s = id * 31 + r.n * 7;
  for (char c : r.code) s += (unsigned char)c;
  return s % 1000000007;
}
std::string memo_of(long id, const Row& r) {
  std::string m;
  for (int i = 0; i < 1 + id % 7; ++i) m += "nota " + std::to_string(id) + " " + r.code + "; ";
  return m;
}

std::vector<std::pair<std::string, Value>> fields_of(long id, const Row& r) {
  return {{"ID", Value(double(id))}, {"CODE", Value(r.code)}, {"N", Value(double(r.n))},
          {"SUM", Value(double(sum_of(id, r)))}, {"NOTE", Value(memo_of(id, r))}};
}

std::string load_line(long id, const Row& r) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "{\"values\": {\"ID\": %ld, \"CODE\": \"%s\", \"N\": %ld, \"SUM\": %ld, \"NOTE\": \"%s\"}}\n",
                id, r.code.c_str(), r.n, sum_of(id, r), memo_of(id, r).c_str());
  return buf;
}

// What a writer tells the test: "A id code n" appended, "S id code n" an
// update begins, "U id code n" it is written.
void report(int fd, char what, long id, const Row& r) {
  char buf[128];
  const int n = std::snprintf(buf, sizeof buf, "%c %ld %s %ld\n", what, id, r.code.c_str(), r.n);
  if (write(fd, buf, std::size_t(n)) != n) _exit(98);
}

struct Kills : ::testing::Test {
  ts::TempDir dir;
  std::string dbf = dir.file("stock.dbf");
  std::string tool = ts::bin_dir() + "/dbftool";
  std::map<long, Row> model;  // every record known written, by ID
  long next_id = 1;
  std::mt19937 rng{20260514};
  std::map<std::string, int> outcomes;

  int dbftool(const std::string& args, std::string* out = nullptr) {
    return ts::run_capture(tool + " " + args + " 2>&1", out);
  }

  std::string lines(int count, long salt) {
    std::string text;
    for (int i = 0; i < count; ++i, ++next_id) text += load_line(next_id, Row{code_for(next_id, salt), long(rng() % 100000)});
    return text;
  }

  bool sync = true;  // the children's CHK_SYNC

  // Runs fn in a child, kills it after `delay_ms` (when still running) and
  // returns what it reported; *finished tells whether it ended by itself.
  std::string run_and_kill(const std::function<int(int fd)>& fn, int delay_ms, bool* finished) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    const int pid = ts::spawn_child([&] {
      close(fds[0]);
      setenv("CHK_SYNC", sync ? "on" : "off", 1);
      return fn(fds[1]);
    });
    close(fds[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(delay_ms * 1000 + int(rng() % 1000)));
    ::kill(pid, SIGKILL);
    *finished = ts::wait_child(pid) == 0;
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, std::size_t(n));
    close(fds[0]);
    return out;
  }

  void exec_killed(const std::vector<std::string>& argv, const std::string& input, int delay_ms, bool* finished) {
    const std::string in = dir.file("input.jsonl");
    ts::write_file(in, input);
    run_and_kill(
        [&](int) {
          if (!freopen(in.c_str(), "r", stdin) || !freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
            return 97;
          std::vector<char*> args{const_cast<char*>(tool.c_str())};
          for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
          args.push_back(nullptr);
          execv(tool.c_str(), args.data());
          return 96;
        },
        delay_ms, finished);
  }

  // The records as they are: every one whole (checksum and memo agree with
  // its fields) or blank (an append killed before its fields were written).
  std::map<long, Row> read_back() {
    rt::wa::WorkAreas areas;
    rt::wa::OpenOptions o;
    o.readonly = true;
    EXPECT_TRUE(areas.use(dbf, o));
    rt::wa::Area& a = areas.current();
    std::map<long, Row> rows;
    for (a.goto_top(); !a.eof(); a.skip()) {
      const long id = long(a.get("ID").number());
      const Row r{rt::text::rtrim(a.get("CODE").text()), long(a.get("N").number())};
      if (id == 0) {
        EXPECT_TRUE(r.code.empty() && r.n == 0 && a.get("SUM").number() == 0 && a.get("NOTE").text().empty())
            << "record " << a.recno() << " is torn";
        continue;
      }
      EXPECT_EQ(long(a.get("SUM").number()), sum_of(id, r)) << "record " << a.recno() << " is torn";
      EXPECT_EQ(a.get("NOTE").text(), memo_of(id, r)) << "record " << a.recno() << ": memo torn";
      EXPECT_TRUE(rows.emplace(id, r).second) << "ID " << id << " twice";
    }
    return rows;
  }

  // verify clean, or made clean by repair.
  void check_bag(const std::string& op) {
    std::string out;
    if (dbftool("verify " + dbf, &out) == 0) {
      ++outcomes[op + ": verify clean"];
      return;
    }
    ++outcomes[op + ": repaired"];
    ASSERT_EQ(dbftool("repair " + dbf, &out), 0) << out;
    ASSERT_EQ(dbftool("verify " + dbf, &out), 0) << op << ": still damaged after repair:\n" << out;
  }
};

// The writers.
int append_rows(int fd, const std::string& dbf, long first_id, long salt) {
  rt::wa::WorkAreas areas;
  if (!areas.use(dbf)) return 2;
  rt::wa::Area& a = areas.current();
  rt::wa::set_index(a, rt::os::with_extension(dbf, ".cdx"));
  for (long id = first_id;; ++id) {
    const Row r{code_for(id, salt), id % 5000};
    if (!a.append()) return 3;
    a.put_fields(fields_of(id, r));
    a.unlock();
    report(fd, 'A', id, r);
  }
}

int update_rows(int fd, const std::string& dbf, unsigned seed) {
  std::mt19937 rng(seed);
  rt::wa::WorkAreas areas;
  if (!areas.use(dbf)) return 2;
  rt::wa::Area& a = areas.current();
  rt::wa::set_index(a, rt::os::with_extension(dbf, ".cdx"));
  rt::wa::set_focus(a, 0);
  for (;;) {
    a.go(1 + rng() % a.table().record_count());
    if (!a.lock_record()) continue;
    const long id = long(a.get("ID").number());
    if (id == 0) continue;
    const Row r{code_for(id, long(rng() % 1000)), long(rng() % 100000)};
    report(fd, 'S', id, r);
    a.put_fields(fields_of(id, r));
    a.unlock();
    report(fd, 'U', id, r);
  }
}

}  // namespace

TEST_F(Kills, EveryKillLeavesTheTableVerifiedOrRepairedWithEveryReportedRecordWhole) {
  std::string out;
  ASSERT_EQ(dbftool("create " + dbf + " --field ID:N:8 --field CODE:C:10 --field N:N:8 --field SUM:N:10 --field NOTE:M", &out), 0) << out;
  ASSERT_EQ(dbftool("index " + dbf + " --tag ID --key ID", &out), 0) << out;
  ASSERT_EQ(dbftool("index " + dbf + " --tag CODE --key CODE", &out), 0) << out;
  ASSERT_EQ(dbftool("index " + dbf + " --tag N --key N --descending --for \"N > 100\"", &out), 0) << out;
  {
    const long first = next_id;
    const std::string text = lines(1500, 0);
    ts::write_file(dir.file("first.jsonl"), text);
    ASSERT_EQ(dbftool("load " + dbf + " < " + dir.file("first.jsonl"), &out), 0) << out;
    model = read_back();
    ASSERT_EQ(model.size(), std::size_t(next_id - first));
  }
  const int kills = std::getenv("CHK_KILLS") ? std::atoi(std::getenv("CHK_KILLS")) : 220;
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < kills; ++k) {
    const int op = int(rng() % 5);
    const int delay = 1 + int(rng() % (op >= 3 ? 80 : 30));  // index and reindex take longer
    static const char* names[] = {"load", "append", "update", "index", "reindex"};
    SCOPED_TRACE(std::string("kill ") + std::to_string(k) + " during " + names[op] + " after " + std::to_string(delay) + " ms");
    sync = k % 2 == 0;
    bool finished = false;
    std::string said;
    std::map<long, Row> in_flight;  // updates begun, maybe written
    const long id0 = next_id;
    switch (op) {
      case 0: {
        const std::string text = lines(400, k);
        exec_killed({"load", dbf}, text, delay, &finished);
        break;
      }
      case 1:
        said = run_and_kill([&](int fd) { return append_rows(fd, dbf, id0, k); }, delay, &finished);
        next_id += 100000;  // room for whatever the writer got done
        break;
      case 2:
        said = run_and_kill([&](int fd) { return update_rows(fd, dbf, unsigned(k)); }, delay, &finished);
        break;
      case 3:
        exec_killed({"index", dbf, "--tag", k % 2 ? "MIX" : "CODE", "--key", k % 2 ? "STR(N,8)+CODE" : "CODE"}, "", delay,
                    &finished);
        break;
      case 4:
        exec_killed({"reindex", dbf}, "", delay, &finished);
        break;
    }
    ++outcomes[std::string(names[op]) + (finished ? ": finished" : ": killed")];
    std::istringstream events(said);
    char what;
    long id;
    Row r;
    while (events >> what >> id >> r.code >> r.n) {
      if (what == 'S') in_flight[id] = r;
      if (what == 'A' || what == 'U') {
        model[id] = r;
        in_flight.erase(id);
      }
    }
    check_bag(names[op]);
    const auto rows = read_back();
    for (const auto& [mid, row] : model) {
      auto it = rows.find(mid);
      ASSERT_NE(it, rows.end()) << "record " << mid << " reported written is missing";
      if (!(it->second == row)) {
        auto f = in_flight.find(mid);
        ASSERT_TRUE(f != in_flight.end() && f->second == it->second) << "record " << mid << " is not as written";
      }
    }
    model = rows;
    if (HasFatalFailure()) return;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d kills in %.1f s, %zu records at the end\n", kills, seconds, model.size());
  for (const auto& [what, n] : outcomes) std::printf("  %-28s %d\n", what.c_str(), n);
}

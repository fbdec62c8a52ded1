// Table engine against SQLite on the same data, in the same run:
//  - full scan of a 1,000,000-record table reading three fields;
//  - 100,000 random GOTO + three-field reads;
//  - 100,000 appends in a shared open, each under the append lock, not
//    synced (SQLite: one transaction per insert, synchronous=OFF);
//  - 1,000 appends in a shared open synced to the disk (CHK_SYNC on: record,
//    sync, count) and not synced, beside SQLite with synchronous FULL / OFF.
// Goals: scan and random reads at least as fast as SQLite, appends within 2x.
// The summary at the end prints time per operation and the ratios.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "runtime/os/file.h"
#include "runtime/os/process.h"
#include "runtime/table/table.h"

using namespace rt::table;

namespace {

constexpr std::uint32_t kRows = 1000000;
constexpr int kRandomReads = 100000;
constexpr int kAppends = 100000;

std::string g_dir;
std::map<std::string, double> g_ns_per_op;  // last measured time per operation

void check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

std::vector<FieldSpec> fields() {
  return {{"CODIGO", 'C', 7, 0}, {"CANTID", 'N', 5, 0}, {"CB", 'N', 14, 0}, {"DESCRIP", 'C', 30, 0}, {"FECHA", 'D', 8, 0}};
}

std::string code_of(std::uint32_t i) {
  char b[16];
  std::snprintf(b, sizeof b, "%07u", i % 10000000);
  return b;
}

// Builds the 1,000,000-record table (records encoded by the engine, written
// in bulk) and the same rows in SQLite.
void build_data() {
  char tmpl[] = "/tmp/chk_bench_table_XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  g_dir = tmpl;
  const std::string path = g_dir + "/big.dbf";
  Table::create(path, fields());
  {
    auto t = Table::open(path);
    const Schema& s = t->schema();
    Record r = t->blank();
    const auto date = *rt::text::Date::from_ymd(2026, 12, 8);
    std::string chunk;
    auto f = rt::os::File::open(path, rt::os::OpenMode::ReadWrite);
    std::uint64_t off = s.header_length;
    for (std::uint32_t i = 1; i <= kRows; ++i) {
      r.set(0, rt::Value(code_of(i)));
      r.set(1, rt::Value(static_cast<double>(i % 1000)));
      r.set(2, rt::Value(7790000000000.0 + i));
      r.set(3, rt::Value("PRODUCT DESCRIPTION " + std::to_string(i)));
      r.set(4, rt::Value(date));
      chunk.append(r.bytes());
      if (chunk.size() > (1 << 20) || i == kRows) {
        f->write_at(off, chunk.data(), chunk.size());
        off += chunk.size();
        chunk.clear();
      }
    }
    const char eof = 0x1A;
    f->write_at(off, &eof, 1);
    unsigned char head[7];
    encode_count_and_date(kRows, date, head);
    f->write_at(1, head, 7);
  }
  sqlite3* db = nullptr;
  check(sqlite3_open((g_dir + "/big.sqlite").c_str(), &db), db, "open");
  check(sqlite3_exec(db, "PRAGMA synchronous=OFF; CREATE TABLE t(id INTEGER PRIMARY KEY, codigo TEXT, cantid INTEGER, "
                         "cb INTEGER, descrip TEXT, fecha TEXT); BEGIN;", nullptr, nullptr, nullptr), db, "create");
  sqlite3_stmt* ins = nullptr;
  check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?,?)", -1, &ins, nullptr), db, "prepare");
  for (std::uint32_t i = 1; i <= kRows; ++i) {
    const std::string code = code_of(i), desc = "PRODUCT DESCRIPTION " + std::to_string(i);
    sqlite3_bind_int64(ins, 1, i);
    sqlite3_bind_text(ins, 2, code.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(ins, 3, i % 1000);
    sqlite3_bind_int64(ins, 4, 7790000000000LL + i);
    sqlite3_bind_text(ins, 5, desc.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 6, "20261208", -1, SQLITE_STATIC);
    check(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

template <typename Fn>
void timed(benchmark::State& state, const std::string& name, double ops, Fn fn) {
  double total = 0;
  int runs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    total += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    ++runs;
  }
  const double per_op = total / runs / ops;
  g_ns_per_op[name] = per_op;
  state.counters["ns_per_op"] = per_op;
  state.SetItemsProcessed(static_cast<std::int64_t>(ops) * runs);
}

void BM_ScanDbf(benchmark::State& state) {
  auto t = Table::open(g_dir + "/big.dbf");
  timed(state, "scan_dbf", kRows, [&] {
    Record r;
    double sum = 0;
    std::size_t chars = 0;
    const std::uint32_t n = t->record_count();
    for (std::uint32_t i = 1; i <= n; ++i) {
      t->read_into(i, r);
      chars += r.get(0).text().size();
      sum += r.get(1).number() + r.get(2).number();
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(chars);
  });
}

void BM_ScanSqlite(benchmark::State& state) {
  sqlite3* db = nullptr;
  check(sqlite3_open((g_dir + "/big.sqlite").c_str(), &db), db, "open");
  sqlite3_stmt* q = nullptr;
  check(sqlite3_prepare_v2(db, "SELECT codigo, cantid, cb FROM t", -1, &q, nullptr), db, "prepare");
  timed(state, "scan_sqlite", kRows, [&] {
    double sum = 0;
    std::size_t chars = 0;
    while (sqlite3_step(q) == SQLITE_ROW) {
      chars += std::string(reinterpret_cast<const char*>(sqlite3_column_text(q, 0))).size();
      sum += static_cast<double>(sqlite3_column_int64(q, 1)) + static_cast<double>(sqlite3_column_int64(q, 2));
    }
    sqlite3_reset(q);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(chars);
  });
  sqlite3_finalize(q);
  sqlite3_close(db);
}

std::vector<std::uint32_t> random_recnos() {
  std::mt19937 rng(42);
  std::uniform_int_distribution<std::uint32_t> d(1, kRows);
  std::vector<std::uint32_t> v(kRandomReads);
  for (auto& x : v) x = d(rng);
  return v;
}

void BM_RandomDbf(benchmark::State& state) {
  auto t = Table::open(g_dir + "/big.dbf");
  const auto recnos = random_recnos();
  timed(state, "random_dbf", kRandomReads, [&] {
    Record r;
    double sum = 0;
    std::size_t chars = 0;
    for (std::uint32_t n : recnos) {
      t->read_into(n, r);
      chars += r.get(0).text().size();
      sum += r.get(1).number() + r.get(2).number();
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(chars);
  });
}

void BM_RandomSqlite(benchmark::State& state) {
  sqlite3* db = nullptr;
  check(sqlite3_open((g_dir + "/big.sqlite").c_str(), &db), db, "open");
  sqlite3_stmt* q = nullptr;
  check(sqlite3_prepare_v2(db, "SELECT codigo, cantid, cb FROM t WHERE id = ?", -1, &q, nullptr), db, "prepare");
  const auto recnos = random_recnos();
  timed(state, "random_sqlite", kRandomReads, [&] {
    double sum = 0;
    std::size_t chars = 0;
    for (std::uint32_t n : recnos) {
      sqlite3_bind_int64(q, 1, n);
      if (sqlite3_step(q) == SQLITE_ROW) {
        chars += std::string(reinterpret_cast<const char*>(sqlite3_column_text(q, 0))).size();
        sum += static_cast<double>(sqlite3_column_int64(q, 1)) + static_cast<double>(sqlite3_column_int64(q, 2));
      }
      sqlite3_reset(q);
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(chars);
  });
  sqlite3_finalize(q);
  sqlite3_close(db);
}

// n appends in a shared open; returns nothing, timed by the caller.
void append_dbf(const std::string& path, int n, bool sync) {
  CreateOptions c;
  c.sync = sync;
  Table::create(path, fields(), c);
  OpenOptions o;
  o.sync = sync;
  auto t = Table::open(path, o);  // shared: every append takes the header lock
  Record r = t->blank();
  const auto date = *rt::text::Date::from_ymd(2026, 12, 8);
  for (int i = 1; i <= n; ++i) {
    r.set(0, rt::Value(code_of(static_cast<std::uint32_t>(i))));
    r.set(1, rt::Value(i % 1000));
    r.set(2, rt::Value(7790000000000.0 + i));
    r.set(3, rt::Value("PRODUCT DESCRIPTION"));
    r.set(4, rt::Value(date));
    t->append(r);
    t->unlock_all();
  }
  t->commit();
}

void append_sqlite(const std::string& path, int n, bool sync) {
  sqlite3* db = nullptr;
  check(sqlite3_open(path.c_str(), &db), db, "open");
  check(sqlite3_exec(db, sync ? "PRAGMA synchronous=FULL;" : "PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr), db,
        "pragma");
  check(sqlite3_exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, codigo TEXT, cantid INTEGER, "
                         "cb INTEGER, descrip TEXT, fecha TEXT);", nullptr, nullptr, nullptr), db, "create");
  sqlite3_stmt* ins = nullptr;
  check(sqlite3_prepare_v2(db, "INSERT INTO t(codigo, cantid, cb, descrip, fecha) VALUES(?,?,?,?,?)", -1, &ins, nullptr),
        db, "prepare");
  for (int i = 1; i <= n; ++i) {
    const std::string code = code_of(static_cast<std::uint32_t>(i));
    sqlite3_bind_text(ins, 1, code.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(ins, 2, i % 1000);
    sqlite3_bind_int64(ins, 3, 7790000000000LL + i);
    sqlite3_bind_text(ins, 4, "PRODUCT DESCRIPTION", -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 5, "20261208", -1, SQLITE_STATIC);
    check(sqlite3_step(ins), db, "insert");  // autocommit: one transaction each
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  sqlite3_close(db);
}

void BM_AppendDbf(benchmark::State& state) {
  int round = 0;
  timed(state, "append_dbf", kAppends,
        [&] { append_dbf(g_dir + "/app" + std::to_string(round++) + ".dbf", kAppends, false); });
}

void BM_AppendSqlite(benchmark::State& state) {
  int round = 0;
  timed(state, "append_sqlite", kAppends,
        [&] { append_sqlite(g_dir + "/app" + std::to_string(round++) + ".sqlite", kAppends, false); });
}

constexpr int kSyncAppends = 1000;

void appends_1000(benchmark::State& state, bool sqlite, bool sync) {
  int round = 0;
  const std::string name = std::string(sqlite ? "append1000_sqlite" : "append1000_dbf") + (sync ? "_sync" : "");
  timed(state, name, kSyncAppends, [&] {
    const std::string path = g_dir + "/" + name + std::to_string(round++);
    if (sqlite) append_sqlite(path + ".sqlite", kSyncAppends, sync);
    else append_dbf(path + ".dbf", kSyncAppends, sync);
  });
}

BENCHMARK(BM_ScanDbf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScanSqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RandomDbf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RandomSqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AppendDbf)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AppendSqlite)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(appends_1000, dbf_synced, false, true)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(appends_1000, dbf_unsynced, false, false)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(appends_1000, sqlite_synced, true, true)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(appends_1000, sqlite_unsynced, true, false)->Unit(benchmark::kMillisecond)->Iterations(3);

void print_ratio(const char* what, const std::string& ours, const std::string& theirs, const char* goal) {
  if (!g_ns_per_op.count(ours) || !g_ns_per_op.count(theirs)) return;
  const double a = g_ns_per_op[ours], b = g_ns_per_op[theirs];
  std::printf("%-14s dbf %9.1f ns/op   sqlite %9.1f ns/op   dbf time / sqlite time = %.2f  (goal %s)\n", what, a, b,
              a / b, goal);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  build_data();
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nTable engine vs SQLite (same data, same run)\n");
  print_ratio("full scan", "scan_dbf", "scan_sqlite", "<= 1.0");
  print_ratio("random reads", "random_dbf", "random_sqlite", "<= 1.0");
  print_ratio("shared appends", "append_dbf", "append_sqlite", "<= 2.0");
  std::printf("\n1,000 shared appends, one transaction each, per 1,000:\n");
  for (const char* v : {"", "_sync"})
    if (g_ns_per_op.count(std::string("append1000_dbf") + v))
      std::printf("  %-9s dbf %8.1f ms   sqlite %8.1f ms\n", *v ? "synced" : "unsynced",
                  g_ns_per_op[std::string("append1000_dbf") + v] * kSyncAppends / 1e6,
                  g_ns_per_op[std::string("append1000_sqlite") + v] * kSyncAppends / 1e6);
  rt::os::run_command("rm -rf '" + g_dir + "'");
  benchmark::Shutdown();
  return 0;
}

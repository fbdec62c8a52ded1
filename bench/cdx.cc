// CDX tags against SQLite with an index on the same column, in the same run:
// building a 1,000,000-key tag (and sorting the same keys in memory), 1,000,000
// random seeks, an ordered scan of the whole tag, and the pages read per
// seek from a cold cache, and 100,000 appends to a table keeping three tags.
// Prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/cdx/bag.h"
#include "runtime/cdx/table_index.h"
#include "runtime/table/table.h"
#include "runtime/expr/key_encoding.h"
#include "runtime/os/file.h"

namespace {

constexpr int kKeys = 1000000;
constexpr int kSeeks = 1000000;

std::map<std::string, double> g_ms;  // last time of each case

struct Timer {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double ms() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
};

const std::string& dir() {
  static const std::string d = [] {
    char tmpl[] = "/tmp/bench_cdx_XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    return std::string(tmpl);
  }();
  return d;
}

// Key values: a random permutation of 0..N-1 spread over a wider range.
const std::vector<std::int64_t>& values() {
  static const std::vector<std::int64_t> v = [] {
    std::vector<std::int64_t> out(kKeys);
    for (int i = 0; i < kKeys; ++i) out[std::size_t(i)] = std::int64_t(i) * 7 + 3;
    std::shuffle(out.begin(), out.end(), std::mt19937(42));
    return out;
  }();
  return v;
}

std::string key_of(std::int64_t v) {
  unsigned char b[8];
  rt::expr::encode_double(double(v), b);
  return std::string(reinterpret_cast<char*>(b), 8);
}

const std::vector<std::int64_t>& probes() {
  static const std::vector<std::int64_t> p = [] {
    std::mt19937 rng(7);
    std::vector<std::int64_t> out(kSeeks);
    for (auto& x : out) x = values()[rng() % kKeys];
    return out;
  }();
  return p;
}

rt::cdx::Bag& bag() {
  static std::unique_ptr<rt::cdx::Bag> b;
  if (!b) {
    b = rt::cdx::Bag::create(dir() + "/bench.cdx");
    rt::cdx::KeyList keys(8);
    for (int i = 0; i < kKeys; ++i) keys.add(key_of(values()[std::size_t(i)]), std::uint32_t(i + 1));
    b->build_tag(rt::cdx::TagDefinition{"V", "v", "", 8, rt::cdx::KeyKind::Binary}, keys);
  }
  return *b;
}

sqlite3* database(bool with_index) {
  static sqlite3* db = nullptr;
  static bool indexed = false;
  if (!db) {
    const std::string path = dir() + "/bench.sqlite";
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite open");
    sqlite3_exec(db, "CREATE TABLE t(v INTEGER)", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t(rowid, v) VALUES(?, ?)", -1, &ins, nullptr);
    for (int i = 0; i < kKeys; ++i) {
      sqlite3_bind_int64(ins, 1, i + 1);
      sqlite3_bind_int64(ins, 2, values()[std::size_t(i)]);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  if (with_index && !indexed) {
    sqlite3_exec(db, "CREATE INDEX iv ON t(v)", nullptr, nullptr, nullptr);
    indexed = true;
  }
  return db;
}

void BM_Cdx_Build(benchmark::State& state) {
  for (auto _ : state) {
    Timer t;
    auto b = rt::cdx::Bag::create(dir() + "/build.cdx");
    rt::cdx::KeyList keys(8);
    for (int i = 0; i < kKeys; ++i) keys.add(key_of(values()[std::size_t(i)]), std::uint32_t(i + 1));
    b->build_tag(rt::cdx::TagDefinition{"V", "v", "", 8, rt::cdx::KeyKind::Binary}, keys);
    g_ms["build cdx"] = t.ms();
  }
}

void BM_Sort_InMemory(benchmark::State& state) {
  for (auto _ : state) {
    Timer t;
    std::vector<std::pair<std::string, std::uint32_t>> keys;
    keys.reserve(kKeys);
    for (int i = 0; i < kKeys; ++i) keys.emplace_back(key_of(values()[std::size_t(i)]), std::uint32_t(i + 1));
    std::sort(keys.begin(), keys.end());
    benchmark::DoNotOptimize(keys.data());
    g_ms["build sort"] = t.ms();
  }
}

// The tightest in-memory form of the same keys: 64-bit numbers and record numbers.
void BM_Sort_PackedInMemory(benchmark::State& state) {
  for (auto _ : state) {
    Timer t;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keys;
    keys.reserve(kKeys);
    for (int i = 0; i < kKeys; ++i) {
      const std::string k = key_of(values()[std::size_t(i)]);
      std::uint64_t u = 0;
      for (unsigned char ch : k) u = (u << 8) | ch;
      keys.emplace_back(u, std::uint32_t(i + 1));
    }
    std::sort(keys.begin(), keys.end());
    benchmark::DoNotOptimize(keys.data());
    g_ms["build packed sort"] = t.ms();
  }
}

void BM_Sqlite_Build(benchmark::State& state) {
  sqlite3* db = database(false);
  for (auto _ : state) {
    sqlite3_exec(db, "DROP INDEX IF EXISTS ib", nullptr, nullptr, nullptr);
    Timer t;
    sqlite3_exec(db, "CREATE INDEX ib ON t(v)", nullptr, nullptr, nullptr);
    g_ms["build sqlite"] = t.ms();
    sqlite3_exec(db, "DROP INDEX ib", nullptr, nullptr, nullptr);
  }
}

void BM_Cdx_Seek(benchmark::State& state) {
  rt::cdx::Bag& b = bag();
  rt::cdx::Cursor c(b.tag("V"));
  std::vector<std::string> keys;
  keys.reserve(kSeeks);
  for (auto v : probes()) keys.push_back(key_of(v));
  for (auto _ : state) {
    Timer t;
    std::size_t found = 0;
    for (const auto& k : keys) found += c.seek(k);
    if (found != keys.size()) state.SkipWithError("a key was not found");
    g_ms["seek cdx"] = t.ms();
  }
}

void BM_Cdx_SeekHoldingTheLock(benchmark::State& state) {
  rt::cdx::Bag& b = bag();
  rt::cdx::Cursor c(b.tag("V"));
  std::vector<std::string> keys;
  keys.reserve(kSeeks);
  for (auto v : probes()) keys.push_back(key_of(v));
  for (auto _ : state) {
    Timer t;
    rt::cdx::Bag::Lock lock(b, false);
    std::size_t found = 0;
    for (const auto& k : keys) found += c.seek(k);
    if (found != keys.size()) state.SkipWithError("a key was not found");
    g_ms["seek cdx locked"] = t.ms();
  }
}

void BM_Sqlite_Seek(benchmark::State& state) {
  sqlite3* db = database(true);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT rowid FROM t WHERE v = ?", -1, &st, nullptr);
  for (auto _ : state) {
    Timer t;
    std::size_t found = 0;
    for (auto v : probes()) {
      sqlite3_bind_int64(st, 1, v);
      found += sqlite3_step(st) == SQLITE_ROW;
      sqlite3_reset(st);
    }
    if (found != probes().size()) state.SkipWithError("a key was not found");
    g_ms["seek sqlite"] = t.ms();
  }
  sqlite3_finalize(st);
}

void BM_Cdx_Scan(benchmark::State& state) {
  rt::cdx::Bag& b = bag();
  rt::cdx::Cursor c(b.tag("V"));
  for (auto _ : state) {
    Timer t;
    std::size_t n = 0;
    std::uint64_t sum = 0;
    for (bool ok = c.first(); ok; ok = c.next()) {
      ++n;
      sum += c.recno();
    }
    benchmark::DoNotOptimize(sum);
    if (n != std::size_t(kKeys)) state.SkipWithError("scan count");
    g_ms["scan cdx"] = t.ms();
  }
}

void BM_Cdx_ScanHoldingTheLock(benchmark::State& state) {
  rt::cdx::Bag& b = bag();
  rt::cdx::Cursor c(b.tag("V"));
  for (auto _ : state) {
    Timer t;
    rt::cdx::Bag::Lock lock(b, false);
    std::size_t n = 0;
    std::uint64_t sum = 0;
    for (bool ok = c.first(); ok; ok = c.next()) {
      ++n;
      sum += c.recno();
    }
    benchmark::DoNotOptimize(sum);
    if (n != std::size_t(kKeys)) state.SkipWithError("scan count");
    g_ms["scan cdx locked"] = t.ms();
  }
}

void BM_Sqlite_Scan(benchmark::State& state) {
  sqlite3* db = database(true);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT v, rowid FROM t ORDER BY v, rowid", -1, &st, nullptr);
  for (auto _ : state) {
    Timer t;
    std::size_t n = 0;
    std::uint64_t sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      ++n;
      sum += std::uint64_t(sqlite3_column_int64(st, 1));
    }
    sqlite3_reset(st);
    benchmark::DoNotOptimize(sum);
    if (n != std::size_t(kKeys)) state.SkipWithError("scan count");
    g_ms["scan sqlite"] = t.ms();
  }
  sqlite3_finalize(st);
}

constexpr int kAppends = 100000;

// Appends to a shared table, each keeping three tags (text, number, date)
// under one bag lock, as a work area does; SQLite inserts the same rows in
// autocommit mode into a table with three indexes (no fsync on either side).
void BM_Cdx_Append3(benchmark::State& state) {
  for (auto _ : state) {
    const std::string dbf = dir() + "/app.dbf", cdx = dir() + "/app.cdx";
    rt::table::CreateOptions co;
    co.overwrite = true;
    rt::table::Table::create(dbf, {{"CODE", 'C', 10, 0}, {"NUM", 'N', 8, 0}, {"FECHA", 'D', 8, 0}}, co);
    rt::table::OpenOptions unsynced;  // CHK_SYNC=off: no fsync, as SQLite's synchronous=OFF
    unsynced.sync = false;
    auto t = rt::table::Table::open(dbf, unsynced);
    auto b = rt::cdx::Bag::create(cdx, true, rt::os::Env::Default(), rt::os::ShareMode::Shared, false);
    std::vector<rt::cdx::Tag*> tags;
    std::vector<std::unique_ptr<rt::cdx::TagKeys>> keys;
    for (const char* e : {"CODE", "NUM", "FECHA"}) {
      tags.push_back(&rt::cdx::index_table(*b, *t, {e, e, ""}));
      keys.push_back(std::make_unique<rt::cdx::TagKeys>(t->schema(), e, ""));
    }
    std::mt19937 rng(5);
    rt::table::Record r = t->blank();
    std::string k;
    Timer timer;
    for (int i = 0; i < kAppends; ++i) {
      r.set(0, rt::Value("P" + std::to_string(rng() % 100000)));
      r.set(1, rt::Value(int(rng() % 1000000)));
      r.set(2, rt::Value(rt::text::Date::from_julian(2460000 + std::int32_t(rng() % 3000))));
      const std::uint32_t recno = t->append(r);
      r.set_recno(recno);
      rt::cdx::Bag::Lock lock(*b, true);
      for (std::size_t j = 0; j < tags.size(); ++j)
        if (keys[j]->key(*t, r, k)) tags[j]->insert(k, recno);
      t->unlock_record(recno);
    }
    g_ms["append cdx"] = timer.ms();
    if (tags[0]->count() != std::size_t(kAppends)) state.SkipWithError("append count");
  }
}

void BM_Sqlite_Append3(benchmark::State& state) {
  for (auto _ : state) {
    const std::string path = dir() + "/app.sqlite";
    rt::os::remove_file(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA synchronous=OFF; CREATE TABLE t(code TEXT, num INTEGER, fecha INTEGER);"
                     "CREATE INDEX a ON t(code); CREATE INDEX b ON t(num); CREATE INDEX c ON t(fecha);",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?, ?)", -1, &ins, nullptr);
    std::mt19937 rng(5);
    Timer timer;
    for (int i = 0; i < kAppends; ++i) {
      const std::string code = "P" + std::to_string(rng() % 100000);
      sqlite3_bind_text(ins, 1, code.data(), int(code.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(ins, 2, rng() % 1000000);
      sqlite3_bind_int64(ins, 3, 2460000 + rng() % 3000);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    g_ms["append sqlite"] = timer.ms();
    sqlite3_finalize(ins);
    sqlite3_close(db);
    rt::os::remove_file(path);
  }
}

BENCHMARK(BM_Sort_InMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sort_PackedInMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cdx_Build)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sqlite_Build)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cdx_Seek)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cdx_SeekHoldingTheLock)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sqlite_Seek)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cdx_Scan)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cdx_ScanHoldingTheLock)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sqlite_Scan)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cdx_Append3)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sqlite_Append3)->Unit(benchmark::kMillisecond)->Iterations(1);

void print_ratio(const char* what, const char* ours, const char* theirs, const char* their_name) {
  const auto a = g_ms.find(ours), b = g_ms.find(theirs);
  if (a == g_ms.end() || b == g_ms.end()) return;
  std::printf("ratio %-24s cdx %8.1f ms, %-7s %8.1f ms: cdx takes %.2fx the time\n", what, a->second, their_name,
              b->second, a->second / b->second);
}

void pages_per_seek() {
  rt::cdx::Bag& b = bag();
  rt::cdx::Tag& t = b.tag("V");
  rt::cdx::Cursor c(t);
  const int height = t.height();
  std::uint64_t worst = 0, total = 0;
  const int n = 2000;
  for (int i = 0; i < n; ++i) {
    b.drop_cache();
    b.reset_stats();
    c.seek(key_of(probes()[std::size_t(i)]));
    const auto s = b.stats();
    worst = std::max<std::uint64_t>(worst, s.pages_read);
    total += s.pages_read;
  }
  std::printf("pages read per seek from a cold cache: %.2f on average, %llu at most; the tag has %d levels\n",
              double(total) / n, static_cast<unsigned long long>(worst), height);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  print_ratio("build 1,000,000 keys", "build cdx", "build sqlite", "SQLite");
  print_ratio("build vs std::sort", "build cdx", "build sort", "sort");
  print_ratio("build vs packed sort", "build cdx", "build packed sort", "sort");
  print_ratio("1,000,000 seeks", "seek cdx", "seek sqlite", "SQLite");
  print_ratio("seeks, lock held", "seek cdx locked", "seek sqlite", "SQLite");
  print_ratio("ordered scan", "scan cdx", "scan sqlite", "SQLite");
  print_ratio("ordered scan, lock held", "scan cdx locked", "scan sqlite", "SQLite");
  print_ratio("100,000 appends, 3 tags", "append cdx", "append sqlite", "SQLite");
  pages_per_seek();
  rt::os::remove_file(dir() + "/bench.cdx");
  rt::os::remove_file(dir() + "/build.cdx");
  rt::os::remove_file(dir() + "/bench.sqlite");
  rt::os::remove_file(dir() + "/app.dbf");
  rt::os::remove_file(dir() + "/app.cdx");
  rmdir(dir().c_str());
  return 0;
}

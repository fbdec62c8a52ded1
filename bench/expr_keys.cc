// Key and condition evaluation over 1,000,000 records, as an index build or a
// filtered scan does it, side by side with SQLite computing the same
// expressions over the same rows in memory.  Prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/expr/expression.h"
#include "runtime/expr/record_scope.h"

namespace {

constexpr int kRows = 1000000;

struct Row {
  std::string compte;    // C 2
  double numero;         // N 6
  std::string facility;  // C 10
};

const std::vector<Row>& rows() {
  static const std::vector<Row> data = [] {
    std::vector<Row> out;
    out.reserve(kRows);
    std::mt19937 rng(42);
    const char* facilities[] = {"Audio     ", "Film      ", "Main      ", "audio     ", "          "};
    for (int i = 0; i < kRows; ++i)
      out.push_back({i % 7 ? "TK" : "FA", double(rng() % 1000000), facilities[rng() % 5]});
    return out;
  }();
  return data;
}

sqlite3* database() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    if (sqlite3_open(":memory:", &d) != SQLITE_OK) throw std::runtime_error("sqlite open");
    sqlite3_exec(d, "CREATE TABLE t(compte TEXT, numero INTEGER, facility TEXT)", nullptr, nullptr, nullptr);
    sqlite3_exec(d, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(d, "INSERT INTO t VALUES(?,?,?)", -1, &ins, nullptr);
    for (const Row& r : rows()) {
      sqlite3_bind_text(ins, 1, r.compte.data(), int(r.compte.size()), SQLITE_STATIC);
      sqlite3_bind_int64(ins, 2, static_cast<sqlite3_int64>(r.numero));
      sqlite3_bind_text(ins, 3, r.facility.data(), int(r.facility.size()), SQLITE_STATIC);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(d, "COMMIT", nullptr, nullptr, nullptr);
    return d;
  }();
  return db;
}

rt::expr::RecordScope scope() {
  return rt::expr::RecordScope({{"COMPTE", {'C', 2, 0, false}},
                                {"NUMERO", {'N', 6, 0, false}},
                                {"FACILITY", {'C', 10, 0, false}}},
                               "t");
}

void load(rt::expr::RecordScope& s, const Row& r, long recno) {
  s.value(0).mutable_text().assign(r.compte);
  s.value(1) = rt::Value(r.numero);
  s.value(2).mutable_text().assign(r.facility);
  s.set_recno(recno);
}

void BM_Engine_CompoundKey(benchmark::State& state) {
  auto s = scope();
  const auto e = rt::expr::Expression::compile("COMPTE+STR(NUMERO,6)", s);
  const auto f = e.key_format();
  std::string key;
  std::size_t bytes = 0;
  for (auto _ : state) {
    long n = 0;
    for (const Row& r : rows()) {
      load(s, r, ++n);
      e.key(s, f, key);
      bytes += key.size();
    }
  }
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Sqlite_CompoundKey(benchmark::State& state) {
  sqlite3* db = database();
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT compte || printf('%6d', numero) FROM t", -1, &st, nullptr);
  std::size_t bytes = 0;
  for (auto _ : state) {
    while (sqlite3_step(st) == SQLITE_ROW) bytes += size_t(sqlite3_column_bytes(st, 0)) + (sqlite3_column_text(st, 0) != nullptr);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Engine_ForCondition(benchmark::State& state) {
  auto s = scope();
  const auto e = rt::expr::Expression::compile_condition("TRIM(UPPER(facility))==\"AUDIO\"", s);
  long hits = 0;
  for (auto _ : state) {
    long n = 0;
    for (const Row& r : rows()) {
      load(s, r, ++n);
      hits += e.holds(s);
    }
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Sqlite_ForCondition(benchmark::State& state) {
  sqlite3* db = database();
  sqlite3_stmt* st = nullptr;
  // Every row is produced, as a FOR condition is evaluated for every record.
  sqlite3_prepare_v2(db, "SELECT rtrim(upper(facility)) = 'AUDIO' FROM t", -1, &st, nullptr);
  long hits = 0;
  for (auto _ : state) {
    while (sqlite3_step(st) == SQLITE_ROW) hits += sqlite3_column_int(st, 0);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Engine_Compile(benchmark::State& state) {
  auto s = scope();
  for (auto _ : state) {
    auto e = rt::expr::Expression::compile("COMPTE+STR(NUMERO,6)", s);
    benchmark::DoNotOptimize(e);
  }
}

BENCHMARK(BM_Engine_CompoundKey)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sqlite_CompoundKey)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Engine_ForCondition)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sqlite_ForCondition)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Engine_Compile);

// Keeps each run's time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* what : {"CompoundKey", "ForCondition"}) {
      const auto e = times_.find(std::string("BM_Engine_") + what + "/iterations:3");
      const auto q = times_.find(std::string("BM_Sqlite_") + what + "/iterations:3");
      if (e != times_.end() && q != times_.end() && e->second > 0)
        std::printf("ratio %-13s engine %.1f ms, SQLite %.1f ms: engine is %.2fx SQLite's speed\n", what, e->second,
                    q->second, q->second / e->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  rows();
  database();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

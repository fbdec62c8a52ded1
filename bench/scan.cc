// One scan in the check browse, from the reader's Enter to the screen
// updated, on a 30-line ticket whose products lie in a 100,000-product
// table, against SQLite doing the equivalent work in the same run.
//
// Station: the browse runs on the headless console; every scan is the
// barcode's 13 characters and Enter, followed by a moment without keys so
// the idle refresh (line colours, totals, status, scan line, product line)
// runs too.  A line is found by its barcode, one unit is counted and its
// 100-character slot appended to the line's memo, the totals are summed and
// the eleven rows of the window are read again with their products (the
// relation to the product table).  SQLite per scan: the line by its indexed
// barcode, the update of count, seller, time and memo text, the totals, and
// the eleven rows of the window joined with their products.
// CHK_BENCH_SCALE divides the product count for a quick run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/check_browse.h"
#include "demodata/demo_data.h"
#include "runtime/console/headless.h"
#include "runtime/os/folder_env.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"

namespace {

using rt::Value;

constexpr int kLines = 30;
constexpr int kScansPerRun = 200;

int scale() {
  const char* s = std::getenv("CHK_BENCH_SCALE");
  const int v = s ? std::atoi(s) : 1;
  return v > 0 ? v : 1;
}
int products() { return 100000 / scale(); }

// Microseconds per scan of each case, the best of its runs (a run is 200
// scans): the other programs of a shared machine only ever add time.
std::map<std::string, double> g_us;   // wall
std::map<std::string, double> g_cpu;  // processor
void keep_best(std::map<std::string, double>& m, const std::string& k, double v) {
  if (!m.count(k) || v < m[k]) m[k] = v;
}

// Ends a browse run once the scans are spent (not an error the browse's
// routine would take for a table failure).
struct EndOfRun {};

std::string product_code(int i) { return rt::text::pad_left(std::to_string(1000 + i), 7, '0'); }
double product_barcode(int i) { return 7790000000000.0 + 10.0 * i + 7; }
// The ticket's products, spread over the table.
int ticket_product(int line) { return (line * 7919 + 13) % products(); }

const std::string& folder() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/bench_scan_XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    const std::string d = tmpl;
    app::make_demo(d + "/data", *rt::text::Date::from_ymd(2026, 12, 7));
    rt::wa::WorkAreas wa;
    if (!wa.use(d + "/data/producto", {.alias = "", .exclusive = true, .readonly = false}))
      throw std::runtime_error("producto");
    rt::wa::Area& p = wa.current();
    rt::wa::set_index(p, d + "/data/producto");
    for (int i = 0; i < products(); ++i) {
      if (!p.append()) throw std::runtime_error("append");
      p.put("CODIGO", Value(product_code(i)));
      p.put("CODVAR", Value(product_barcode(i)));
      p.put("CODPROD", Value(rt::text::trim(rt::text::str(product_barcode(i), 13))));
      p.put("DESCRIP", Value("PRODUCTO " + std::to_string(i)));
      p.put("DESCRIPX", Value(rt::text::pad_right("PRODUCTO " + std::to_string(i), 44) + "CAJA X 1"));
      p.put("TRAZA", Value("N"));
      p.put("TRAZA_F", Value("N"));
    }
    wa.close_all();
    return d;
  }();
  return dir;
}

// The station's side: the shared tables and a 30-line check table, as the
// ticket loading leaves them for the browse.
struct Station {
  std::unique_ptr<rt::con::Console> con;
  rt::con::HeadlessBackend* backend = nullptr;
  rt::os::FolderEnv data{folder() + "/data"};  // the data folder, as chk_env2 --data gives it
  rt::wa::WorkAreas areas{data};
  app::RunContext run;
  app::CheckContext check;

  Station() {
    auto b = std::make_unique<rt::con::HeadlessBackend>();
    backend = b.get();
    con = std::make_unique<rt::con::Console>(std::move(b));
    run.ticket = 991234;
    run.seller = 7;
    for (const char* name : {"log_env", "compenca", "producto"}) {
      areas.select_area(0);
      areas.use(name);
      rt::wa::set_index(areas.current(), name);
    }
    rt::wa::set_focus(areas.area("producto"), "codigo");
    // The check table as the load makes it: private, held in memory with
    // its bag, its tags built once its lines are in.
    areas.select_area(0);
    areas.use("tempo39");
    const auto fields = areas.structure();
    areas.close_area();
    if (!areas.use_scratch("tm390007", fields, "tempo39")) throw std::runtime_error("tm390007");
    rt::wa::Area& t = areas.current();
    rt::wa::create_scratch_bag(t);
    for (int l = 0; l < kLines; ++l) {
      const int i = ticket_product(l);
      t.append();
      t.put("NUMERO", Value(run.ticket));
      t.put("CODIGO", Value(product_code(i)));
      t.put("CANTID", Value(999));
      t.put("DESCRIP", Value("PRODUCTO " + std::to_string(i)));
      t.put("CB", Value(product_barcode(i)));
      t.put("CP", Value(rt::text::trim(rt::text::str(product_barcode(i), 13))));
      t.put("TRAZA", Value("N"));
    }
    for (const char* tag : {"cb", "codigo", "cp"}) rt::wa::create_order(t, tag, tag);
    rt::wa::set_focus(t, "cb");
    rt::wa::set_relation(areas, t, "producto", "codigo");
  }
};

void BM_Scan(benchmark::State& state) {
  {
    Station s;
    for (auto _ : state) {
      for (int n = 0; n < kScansPerRun; ++n) {
        s.backend->keys(rt::text::trim(rt::text::str(product_barcode(ticket_product(n % kLines)), 14)));
        s.backend->key(13).pause(0.01);
      }
      // The ticket never completes (999 units a line): a checkpoint ends the run.
      s.backend->then([] { throw EndOfRun{}; });
      const auto t0 = std::chrono::steady_clock::now();
      const std::clock_t c0 = std::clock();
      app::CheckEnv env{*s.con, s.areas, s.run, s.check};
      try {
        app::run_check_browse(env);
      } catch (const EndOfRun&) {
      }
      const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
      state.SetIterationTime(us / 1e6);
      keep_best(g_us, "station", us / kScansPerRun);
      keep_best(g_cpu, "station", 1e6 * double(std::clock() - c0) / CLOCKS_PER_SEC / kScansPerRun);
    }
    s.areas.close_all();
  }
  state.counters["us_per_scan"] = g_us["station"];
}

void check_sql(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) throw std::runtime_error(sqlite3_errmsg(db));
}

void BM_ScanSqlite(benchmark::State& state) {
  const std::string file = folder() + "/scan.sqlite";
  std::filesystem::remove(file);
  sqlite3* db = nullptr;
  check_sql(sqlite3_open(file.c_str(), &db), db);
  auto exec = [&](const char* sql) { check_sql(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db); };
  // As a careful user would: no sync, the write-ahead log, a page cache
  // that holds the whole database (64 MiB), statements prepared once.
  exec("PRAGMA synchronous=OFF");
  exec("PRAGMA journal_mode=WAL");
  exec("PRAGMA cache_size=-65536");
  exec("CREATE TABLE producto(codigo TEXT, codvar REAL, codprod TEXT, descrip TEXT, descripx TEXT, traza TEXT)");
  exec("CREATE INDEX producto_codigo ON producto(codigo)");
  exec("CREATE TABLE chk(codigo TEXT, cantid INT, cant_chk INT, descrip TEXT, cb REAL, cp TEXT, traza TEXT, "
       "series TEXT, vend_chk INT, hora_chk TEXT)");
  exec("CREATE INDEX chk_cb ON chk(cb)");
  exec("CREATE INDEX chk_codigo ON chk(codigo)");
  exec("CREATE INDEX chk_cp ON chk(cp)");
  exec("BEGIN");
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO producto VALUES(?,?,?,?,?,'N')", -1, &ins, nullptr);
  for (int i = 0; i < products(); ++i) {
    const std::string code = product_code(i), name = "PRODUCTO " + std::to_string(i);
    const std::string cp = rt::text::trim(rt::text::str(product_barcode(i), 13));
    sqlite3_bind_text(ins, 1, code.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(ins, 2, product_barcode(i));
    sqlite3_bind_text(ins, 3, cp.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 4, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 5, name.c_str(), -1, SQLITE_TRANSIENT);
    check_sql(sqlite3_step(ins), db);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  for (int l = 0; l < kLines; ++l) {
    const int i = ticket_product(l);
    const std::string sql = "INSERT INTO chk VALUES('" + product_code(i) + "',999,0,'PRODUCTO " + std::to_string(i) +
                            "'," + rt::text::trim(rt::text::str(product_barcode(i), 14)) + ",'','N','',0,'')";
    exec(sql.c_str());
  }
  exec("COMMIT");
  sqlite3_stmt *find = nullptr, *count = nullptr, *sums = nullptr, *window = nullptr;
  sqlite3_prepare_v2(db, "SELECT rowid FROM chk WHERE cb=?", -1, &find, nullptr);
  sqlite3_prepare_v2(db, "UPDATE chk SET cant_chk=cant_chk+1, vend_chk=7, hora_chk=?, series=series||? WHERE rowid=?",
                     -1, &count, nullptr);
  sqlite3_prepare_v2(db, "SELECT SUM(cantid), SUM(cant_chk) FROM chk WHERE cb>9999999", -1, &sums, nullptr);
  sqlite3_prepare_v2(db,
                     "SELECT c.descrip, c.cantid, c.cant_chk, c.cb, c.traza, p.descripx FROM chk c "
                     "LEFT JOIN producto p ON p.codigo=c.codigo ORDER BY c.cb LIMIT 11",
                     -1, &window, nullptr);
  const std::string slot = std::string(38, ' ') + "@@" + std::string(60, ' ');
  double checksum = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    for (int n = 0; n < kScansPerRun; ++n) {
      sqlite3_bind_double(find, 1, product_barcode(ticket_product(n % kLines)));
      check_sql(sqlite3_step(find), db);
      const sqlite3_int64 row = sqlite3_column_int64(find, 0);
      sqlite3_reset(find);
      sqlite3_bind_text(count, 1, "10:00:00", -1, SQLITE_STATIC);
      sqlite3_bind_text(count, 2, slot.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int64(count, 3, row);
      check_sql(sqlite3_step(count), db);
      sqlite3_reset(count);
      check_sql(sqlite3_step(sums), db);
      checksum += sqlite3_column_double(sums, 1);
      sqlite3_reset(sums);
      while (sqlite3_step(window) == SQLITE_ROW) checksum += sqlite3_column_double(window, 2);
      sqlite3_reset(window);
    }
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(us / 1e6);
    keep_best(g_us, "sqlite", us / kScansPerRun);
    keep_best(g_cpu, "sqlite", 1e6 * double(std::clock() - c0) / CLOCKS_PER_SEC / kScansPerRun);
  }
  benchmark::DoNotOptimize(checksum);
  for (sqlite3_stmt* st : {find, count, sums, window}) sqlite3_finalize(st);
  sqlite3_close(db);
  state.counters["us_per_scan"] = g_us["sqlite"];
}

BENCHMARK(BM_Scan)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScanSqlite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_us.count("station") && g_us.count("sqlite") && g_us["sqlite"] > 0) {
    std::printf("\nscan, Enter to screen updated (%d products, %d-line ticket):\n", products(), kLines);
    std::printf("  wall:      station %.1f us, sqlite %.1f us, ratio station/sqlite %.2f\n", g_us["station"],
                g_us["sqlite"], g_us["station"] / g_us["sqlite"]);
    if (g_cpu["sqlite"] > 0)
      std::printf("  processor: station %.1f us, sqlite %.1f us, ratio station/sqlite %.2f\n", g_cpu["station"],
                  g_cpu["sqlite"], g_cpu["station"] / g_cpu["sqlite"]);
  }
  std::error_code ec;
  std::filesystem::remove_all(folder(), ec);
  return 0;
}

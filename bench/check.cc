// Loading a ticket into the check table on suite-sized tables, against
// SQLite doing the equivalent work in the same run.
//
// Data (made here, every table with its order bags): 100,000 products,
// 1,000,000 sale lines in 30-line tickets with their headers, 1,000,000
// check-log lines (half of the tickets already checked, plus lines of older
// tickets).  CHK_BENCH_SCALE (default 1) divides the sizes for a quick run.
//
// One operation is one ticket loaded: the shared tables opened with their
// bags and relations, the seller's check table deleted and created afresh
// with its three tags, and the ticket's 30 lines copied into it, either
// from the sale lines (a ticket not yet checked) or rebuilt from the check
// log.  SQLite does the same per ticket: opens the database, drops and
// creates the check table with three indexes, looks the ticket up in the
// log by its index and inserts its 30 lines joined with products and header
// (or rebuilt from the log lines joined with their first sale line) in one
// transaction (synchronous=OFF).  Goal: under 10 ms per ticket.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/check.h"
#include "app/check_log.h"
#include "demodata/demo_data.h"
#include "data/layouts.h"
#include "runtime/cdx/bag.h"
#include "runtime/cdx/table_index.h"
#include "runtime/console/headless.h"
#include "runtime/os/folder_env.h"
#include "runtime/os/process.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "tests/support/station_calls.h"

namespace {

using rt::Value;

int g_scale = 1;
int products() { return 100000 / g_scale; }
constexpr int kLinesPerTicket = 30;
int tickets() { return 1000000 / g_scale / kLinesPerTicket; }  // sale tickets 1 .. tickets()
int checked_tickets() { return tickets() / 2; }                 // 1 .. checked_tickets() are in the log
int old_log_lines() { return 1000000 / g_scale - checked_tickets() * kLinesPerTicket; }
constexpr int kOldTicketBase = 500000;  // purged tickets: in the log, no sale lines

std::string g_dir;
std::map<std::string, double> g_ns_per_op;
const rt::text::Date kDay = *rt::text::Date::from_ymd(2026, 12, 8);

std::string code_of(int i) {
  char b[16];
  std::snprintf(b, sizeof b, "%07d", i);
  return b;
}
double barcode_of(int product) { return 7790000000000.0 + product; }
int product_of(int ticket, int line) { return (ticket * 7919 + line * 104729) % products() + 1; }

std::vector<rt::table::NewField> fields_of(const layout::TableLayout& spec) {
  std::vector<rt::table::NewField> out;
  for (const auto& f : spec.fields) out.push_back({f.name, f.type, f.type == 'D' ? 8 : f.type == 'M' ? 10 : f.length, f.decimals});
  return out;
}

// Creates a table of the layout, fills it through `fill` (which appends
// records) and builds its bags from the records.
template <typename Fill>
void make_table(const layout::TableLayout& spec, Fill fill) {
  const std::string path = g_dir + "/" + spec.name + ".dbf";
  rt::table::Table::create(path, fields_of(spec));
  rt::table::OpenOptions o;
  o.share = rt::table::Share::Exclusive;
  auto t = rt::table::Table::open(path, o);
  fill(*t);
  for (const auto& b : spec.bags) {
    const std::string file = *b.file ? b.file : spec.name;
    auto bag = rt::cdx::Bag::create(g_dir + "/" + file + ".cdx", file == std::string(spec.name));
    for (const auto& tag : b.tags) rt::cdx::index_table(*bag, *t, {tag.name, tag.key, tag.condition});
  }
}

void sqlite_check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

void build_data() {
  char tmpl[] = "/tmp/chk_bench_check_XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  g_dir = tmpl;
  // The demo's sellers, configuration and other tables, so the whole station
  // can start here; the tables below replace the demo's.
  app::make_demo(g_dir, kDay);
  for (const char* name : {"producto", "compenca", "compitem", "log_env", "tempo39"})
    for (const char* ext : {".dbf", ".cdx", ".fpt"}) std::filesystem::remove(g_dir + "/" + name + ext);
  const auto put = [](rt::table::Record& r, const char* name, const Value& v) { r.set(r.schema().index_of(name), v); };

  make_table(layout::producto(), [&](rt::table::Table& t) {
    auto r = t.blank();
    for (int p = 1; p <= products(); ++p) {
      put(r, "CODIGO", Value(code_of(p)));
      put(r, "CODVAR", Value(barcode_of(p)));
      put(r, "CODPROD", Value(rt::text::trim(rt::text::str(barcode_of(p), 13))));
      put(r, "DESCRIP", Value("PRODUCTO " + std::to_string(p)));
      put(r, "DESCRIPX", Value("PRODUCTO " + std::to_string(p)));
      put(r, "TRAZA", Value(p % 5 == 0 ? "S" : "N"));
      put(r, "TRAZA_F", Value(p % 11 == 0 ? "S" : ""));
      put(r, "CALIDAD_CB", Value(p % 13 == 0 ? "M" : ""));
      t.append(r);
    }
  });
  make_table(layout::compenca(), [&](rt::table::Table& t) {
    auto r = t.blank();
    for (int k = 1; k <= tickets(); ++k) {
      put(r, "COMPTE", Value("TK"));
      put(r, "NUMERO", Value(k));
      put(r, "VENDEDOR", Value(k % 40 + 1));
      put(r, "FECHA", Value(kDay));
      put(r, "HORAX", Value("10:15:00"));
      t.append(r);
    }
  });
  make_table(layout::compitem(), [&](rt::table::Table& t) {
    auto r = t.blank();
    for (int k = 1; k <= tickets(); ++k)
      for (int l = 0; l < kLinesPerTicket; ++l) {
        const int p = product_of(k, l);
        put(r, "COMPTE", Value("TK"));
        put(r, "NUMERO", Value(k));
        put(r, "CODIGO", Value(code_of(p)));
        put(r, "CANTID", Value(l % 3 + 1));
        put(r, "DESCRIP", Value("PRODUCTO " + std::to_string(p)));
        put(r, "BONO", Value(l == 7 ? "@" : ""));
        put(r, "DEPTO", Value(l % 4));
        put(r, "VALE", Value(0));
        t.append(r);
      }
  });
  make_table(layout::log_env(), [&](rt::table::Table& t) {
    auto r = t.blank();
    const auto line = [&](int ticket, int p, int qty) {
      put(r, "NUMERO", Value(ticket));
      put(r, "CODIGO", Value(code_of(p)));
      put(r, "CANTID", Value(qty));
      put(r, "CANT_CHK", Value(qty));
      put(r, "DESCRIP", Value("PRODUCTO " + std::to_string(p)));
      put(r, "CB", Value(barcode_of(p)));
      put(r, "CP", Value(rt::text::trim(rt::text::str(barcode_of(p), 13))));
      put(r, "TRAZA", Value("N"));
      put(r, "VENDEDOR", Value(3));
      put(r, "FECHA_VTA", Value(kDay));
      put(r, "HORA_VTA", Value("10:15:00"));
      put(r, "FECHA_CHK", Value(kDay));
      put(r, "HORA_CHK", Value("10:20:00"));
      put(r, "VEND_CHK", Value(3));
      t.append(r);
    };
    for (int i = 0; i < old_log_lines(); ++i) line(kOldTicketBase + i / kLinesPerTicket, i % products() + 1, 1);
    for (int k = 1; k <= checked_tickets(); ++k)
      for (int l = 0; l < kLinesPerTicket; ++l) line(k, product_of(k, l), l % 3 + 1);
  });
  rt::table::Table::create(g_dir + "/tempo39.dbf", fields_of(layout::tempo39()));

  // The same rows in SQLite.
  sqlite3* db = nullptr;
  sqlite_check(sqlite3_open((g_dir + "/suite.sqlite").c_str(), &db), db, "open");
  sqlite_check(sqlite3_exec(db,
                            "PRAGMA synchronous=OFF; BEGIN;"
                            "CREATE TABLE producto(codigo TEXT PRIMARY KEY, codvar INTEGER, codprod TEXT, descrip TEXT,"
                            " traza TEXT, traza_f TEXT, calidad_cb TEXT);"
                            "CREATE TABLE compenca(compte TEXT, numero INTEGER, vendedor INTEGER, fecha TEXT, horax TEXT);"
                            "CREATE TABLE compitem(compte TEXT, numero INTEGER, codigo TEXT, cantid INTEGER, descrip TEXT,"
                            " bono TEXT, depto INTEGER, vale INTEGER);"
                            "CREATE TABLE log_env(numero INTEGER, codigo TEXT, cantid INTEGER, cant_chk INTEGER, descrip TEXT,"
                            " cb INTEGER, cp TEXT, traza TEXT, vendedor INTEGER, fecha_vta TEXT, hora_vta TEXT,"
                            " fecha_chk TEXT, hora_chk TEXT, vend_chk INTEGER);",
                            nullptr, nullptr, nullptr),
               db, "create");
  const auto insert_all = [&](const char* sql, int rows, auto bind) {
    sqlite3_stmt* s = nullptr;
    sqlite_check(sqlite3_prepare_v2(db, sql, -1, &s, nullptr), db, "prepare");
    for (int i = 0; i < rows; ++i) {
      bind(s, i);
      sqlite_check(sqlite3_step(s), db, "insert");
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
  };
  const auto text = [](sqlite3_stmt* s, int col, const std::string& v) {
    sqlite3_bind_text(s, col, v.c_str(), -1, SQLITE_TRANSIENT);
  };
  insert_all("INSERT INTO producto VALUES(?,?,?,?,?,?,?)", products(), [&](sqlite3_stmt* s, int i) {
    const int p = i + 1;
    text(s, 1, code_of(p));
    sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(barcode_of(p)));
    text(s, 3, rt::text::trim(rt::text::str(barcode_of(p), 13)));
    text(s, 4, "PRODUCTO " + std::to_string(p));
    text(s, 5, p % 5 == 0 ? "S" : "N");
    text(s, 6, p % 11 == 0 ? "S" : "");
    text(s, 7, p % 13 == 0 ? "M" : "");
  });
  insert_all("INSERT INTO compenca VALUES('TK',?,?,'20261208','10:15:00')", tickets(), [&](sqlite3_stmt* s, int i) {
    sqlite3_bind_int(s, 1, i + 1);
    sqlite3_bind_int(s, 2, (i + 1) % 40 + 1);
  });
  insert_all("INSERT INTO compitem VALUES('TK',?,?,?,?,?,?,0)", tickets() * kLinesPerTicket, [&](sqlite3_stmt* s, int i) {
    const int k = i / kLinesPerTicket + 1, l = i % kLinesPerTicket, p = product_of(k, l);
    sqlite3_bind_int(s, 1, k);
    text(s, 2, code_of(p));
    sqlite3_bind_int(s, 3, l % 3 + 1);
    text(s, 4, "PRODUCTO " + std::to_string(p));
    text(s, 5, l == 7 ? "@" : "");
    sqlite3_bind_int(s, 6, l % 4);
  });
  const int old_lines = old_log_lines();
  insert_all("INSERT INTO log_env VALUES(?,?,?,?,?,?,?,'N',3,'20261208','10:15:00','20261208','10:20:00',3)",
             old_lines + checked_tickets() * kLinesPerTicket, [&](sqlite3_stmt* s, int i) {
               int ticket, p, qty;
               if (i < old_lines) {
                 ticket = kOldTicketBase + i / kLinesPerTicket, p = i % products() + 1, qty = 1;
               } else {
                 const int j = i - old_lines;
                 ticket = j / kLinesPerTicket + 1, p = product_of(ticket, j % kLinesPerTicket),
                 qty = j % kLinesPerTicket % 3 + 1;
               }
               sqlite3_bind_int(s, 1, ticket);
               text(s, 2, code_of(p));
               sqlite3_bind_int(s, 3, qty);
               sqlite3_bind_int(s, 4, qty);
               text(s, 5, "PRODUCTO " + std::to_string(p));
               sqlite3_bind_int64(s, 6, static_cast<sqlite3_int64>(barcode_of(p)));
               text(s, 7, rt::text::trim(rt::text::str(barcode_of(p), 13)));
             });
  sqlite_check(sqlite3_exec(db,
                            "CREATE INDEX compenca_k ON compenca(compte, numero);"
                            "CREATE INDEX compitem_k ON compitem(compte, numero);"
                            "CREATE INDEX log_env_k ON log_env(numero); COMMIT;",
                            nullptr, nullptr, nullptr),
               db, "index");
  // The write-ahead log, kept by the file for every later connection.
  sqlite_check(sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr), db, "wal");
  sqlite3_close(db);
}

double cpu_ns() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Wall time of each operation as `fn` measures it, and the processor time
// of the whole loop (on a busy machine the wall time includes waiting for
// a processor; the processor time is the work done).
template <typename Fn>
void timed(benchmark::State& state, const std::string& name, Fn fn) {
  double total = 0;
  int runs = 0;
  const double cpu0 = cpu_ns();
  for (auto _ : state) {
    total += fn(runs);
    ++runs;
  }
  g_ns_per_op[name] = total / runs;
  g_ns_per_op[name + "_cpu"] = (cpu_ns() - cpu0) / runs;
  state.counters["ms_per_ticket"] = total / runs / 1e6;
}

// Tickets spread over the table, not yet checked or already checked.
int pick(int run, bool checked) {
  const int span = checked ? checked_tickets() : tickets() - checked_tickets();
  const int base = checked ? 1 : checked_tickets() + 1;
  return base + static_cast<int>((static_cast<long long>(run) * 7907) % span);
}

// The station of the benchmarked checks: seller 7, every department.
struct Station {
  rt::con::Console con{std::make_unique<rt::con::HeadlessBackend>()};
  rt::os::FolderEnv data{g_dir};  // the data folder, as chk_env2 --data gives it
  rt::wa::WorkAreas areas{data};
  app::RunContext run;
  Station() {
    run.seller = 7;
    run.department = -1;
  }
};

void load_ours(benchmark::State& state, bool checked) {
  Station st;
  auto& areas = st.areas;
  auto& run = st.run;
  timed(state, checked ? "rebuild_dbf" : "load_dbf", [&](int i) {
    app::CheckContext ctx;
    run.ticket = pick(i, checked);
    app::CheckEnv env{st.con, areas, run, ctx};
    const auto t0 = std::chrono::steady_clock::now();
    const auto out = app::load_ticket(env);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    if (out.status != app::LoadStatus::Loaded || out.from_log != checked ||
        areas.current().table().record_count() != kLinesPerTicket) {
      std::fprintf(stderr, "ticket %d not loaded: %s\n", run.ticket, out.message.c_str());
      std::exit(1);
    }
    areas.close_all();
    return ns;
  });
}

void load_sqlite(benchmark::State& state, bool checked) {
  const std::string path = g_dir + "/suite.sqlite";
  timed(state, checked ? "rebuild_sqlite" : "load_sqlite", [&](int i) {
    const int ticket = pick(i, checked);
    const auto t0 = std::chrono::steady_clock::now();
    sqlite3* db = nullptr;
    sqlite_check(sqlite3_open(path.c_str(), &db), db, "open");
    sqlite_check(sqlite3_exec(db,
                              "PRAGMA synchronous=OFF; PRAGMA cache_size=-65536; BEGIN; DROP TABLE IF EXISTS tm390007;"
                              "CREATE TABLE tm390007(numero INTEGER, codigo TEXT, cantid INTEGER, cant_chk INTEGER,"
                              " descrip TEXT, cb INTEGER, cp TEXT, traza TEXT, series TEXT, vendedor INTEGER,"
                              " fecha_vta TEXT, hora_vta TEXT, fecha_chk TEXT, hora_chk TEXT, vend_chk INTEGER);"
                              "CREATE INDEX tm_cb ON tm390007(cb); CREATE INDEX tm_codigo ON tm390007(codigo);"
                              "CREATE INDEX tm_cp ON tm390007(cp);",
                              nullptr, nullptr, nullptr),
                 db, "check table");
    sqlite3_stmt* probe = nullptr;
    sqlite_check(sqlite3_prepare_v2(db, "SELECT 1 FROM log_env WHERE numero = ? LIMIT 1", -1, &probe, nullptr), db, "p");
    sqlite3_bind_int(probe, 1, ticket);
    const bool in_log = sqlite3_step(probe) == SQLITE_ROW;
    sqlite3_finalize(probe);
    const char* fill =
        in_log ? "INSERT INTO tm390007 SELECT l.numero, l.codigo, l.cantid,"
                 " CASE WHEN i.vale > 0 THEN i.vale WHEN i.bono LIKE '%@%' OR p.calidad_cb = 'M' THEN i.cantid"
                 " ELSE l.cant_chk END, l.descrip, l.cb, l.cp,"
                 " CASE WHEN p.traza_f = 'S' OR (p.traza_f = '' AND p.traza = 'S') THEN 'S' ELSE 'N' END, '',"
                 " l.vendedor, l.fecha_vta, l.hora_vta, l.fecha_chk, l.hora_chk, l.vend_chk"
                 " FROM log_env l LEFT JOIN compitem i ON i.rowid = (SELECT rowid FROM compitem WHERE compte = 'TK'"
                 " AND numero = l.numero AND codigo = l.codigo LIMIT 1) LEFT JOIN producto p ON p.codigo = i.codigo"
                 " WHERE l.numero = ?1 ORDER BY l.rowid"
               : "INSERT INTO tm390007 SELECT i.numero, i.codigo, i.cantid,"
                 " CASE WHEN i.vale > 0 THEN i.vale WHEN i.bono LIKE '%@%' OR p.calidad_cb = 'M' THEN i.cantid"
                 " ELSE 0 END, i.descrip, p.codvar, p.codprod,"
                 " CASE WHEN p.traza_f = 'S' OR (p.traza_f = '' AND p.traza = 'S') THEN 'S' ELSE 'N' END, '',"
                 " h.vendedor, h.fecha, h.horax, '20261208', '', 0"
                 " FROM compitem i LEFT JOIN producto p ON p.codigo = i.codigo"
                 " LEFT JOIN compenca h ON h.compte = i.compte AND h.numero = i.numero"
                 " WHERE i.compte = 'TK' AND i.numero = ?1 ORDER BY i.rowid";
    sqlite3_stmt* s = nullptr;
    sqlite_check(sqlite3_prepare_v2(db, fill, -1, &s, nullptr), db, "fill");
    sqlite3_bind_int(s, 1, ticket);
    sqlite_check(sqlite3_step(s), db, "fill");
    sqlite3_finalize(s);
    sqlite_check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db, "commit");
    const int rows = sqlite3_changes(db);
    (void)rows;
    sqlite3_close(db);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    if (in_log != checked) {
      std::fprintf(stderr, "sqlite: ticket %d in the log: %d\n", ticket, in_log);
      std::exit(1);
    }
    return ns;
  });
}

// A committed check: the ticket's 30 lines appended to the shared check log
// (with its bag) and committed, as the station does when a ticket is
// complete; with the disk sync (CHK_SYNC on, the default) and without.
// SQLite inserts the same lines in one transaction, synchronous FULL or OFF.
void committed_check_ours(benchmark::State& state, bool sync) {
  ::setenv("CHK_SYNC", sync ? "on" : "off", 1);
  Station st;
  timed(state, sync ? "commit_check_dbf_sync" : "commit_check_dbf", [&](int i) {
    app::CheckContext ctx;
    st.run.ticket = pick(i, false);
    app::CheckEnv env{st.con, st.areas, st.run, ctx};
    if (app::load_ticket(env).status != app::LoadStatus::Loaded) std::exit(1);
    const auto t0 = std::chrono::steady_clock::now();
    app::app_vta(env, false);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    st.areas.close_all();
    return ns;
  });
  ::unsetenv("CHK_SYNC");
}

void committed_check_sqlite(benchmark::State& state, bool sync) {
  const std::string path = g_dir + "/suite.sqlite";
  timed(state, sync ? "commit_check_sqlite_sync" : "commit_check_sqlite", [&](int i) {
    const int ticket = pick(i, false);
    sqlite3* db = nullptr;
    sqlite_check(sqlite3_open(path.c_str(), &db), db, "open");
    sqlite_check(sqlite3_exec(db, sync ? "PRAGMA synchronous=FULL;" : "PRAGMA synchronous=OFF;", nullptr, nullptr,
                              nullptr), db, "pragma");
    sqlite3_stmt* s = nullptr;
    sqlite_check(sqlite3_prepare_v2(db,
                                    "INSERT INTO log_env VALUES(?,?,1,1,'PRODUCTO',?,'', 'N',3,'20261208','10:15:00',"
                                    "'20261208','10:20:00',7)", -1, &s, nullptr), db, "prepare");
    const auto t0 = std::chrono::steady_clock::now();
    sqlite_check(sqlite3_exec(db, "BEGIN;", nullptr, nullptr, nullptr), db, "begin");
    for (int l = 0; l < kLinesPerTicket; ++l) {
      const int p = product_of(ticket, l);
      sqlite3_bind_int(s, 1, ticket);
      const std::string code = code_of(p);
      sqlite3_bind_text(s, 2, code.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(barcode_of(p)));
      sqlite_check(sqlite3_step(s), db, "insert");
      sqlite3_reset(s);
    }
    sqlite_check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db, "commit");
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    sqlite3_finalize(s);
    sqlite3_close(db);
    return ns;
  });
}

void BM_LoadFromSaleLines(benchmark::State& s) { load_ours(s, false); }
void BM_LoadFromSaleLinesSqlite(benchmark::State& s) { load_sqlite(s, false); }
void BM_RebuildFromLog(benchmark::State& s) { load_ours(s, true); }
void BM_RebuildFromLogSqlite(benchmark::State& s) { load_sqlite(s, true); }

BENCHMARK(BM_LoadFromSaleLines)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_LoadFromSaleLinesSqlite)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_RebuildFromLog)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_RebuildFromLogSqlite)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK_CAPTURE(committed_check_ours, synced, true)->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK_CAPTURE(committed_check_ours, unsynced, false)->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK_CAPTURE(committed_check_sqlite, synced, true)->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK_CAPTURE(committed_check_sqlite, unsynced, false)->Unit(benchmark::kMillisecond)->Iterations(100);

void print_ratio(const char* what, const std::string& ours, const std::string& theirs) {
  if (!g_ns_per_op.count(ours) || !g_ns_per_op.count(theirs)) return;
  for (const char* kind : {"", "_cpu"}) {
    const double a = g_ns_per_op[ours + kind] / 1e6, b = g_ns_per_op[theirs + kind] / 1e6;
    std::printf("%-26s %-9s ours %7.3f ms/ticket   sqlite %7.3f ms/ticket   ours / sqlite = %.2f  (goal: ours < 10 ms)\n",
                what, *kind ? "processor" : "wall", a, b, a / b);
  }
}

// The station's file calls on these tables (see bench_file_calls for the
// demo folder): start-up, a ticket of the sale lines loaded, one scan.
void print_file_calls() {
  const int ticket = pick(0, false);
  int line = 0;  // a product that needs no traceability capture
  for (; line < kLinesPerTicket - 1; ++line) {
    const int p = product_of(ticket, line);
    if (p % 5 != 0 && p % 11 != 0 && p % 13 != 0) break;
  }
  const std::string login = std::to_string(ticket) + "{ENTER}" + std::to_string(app::demo::kSeller) + "{ENTER}" +
                            app::demo::kSellerPassword + "{ENTER}";
  const std::string barcode = rt::text::trim(rt::text::str(barcode_of(product_of(ticket, line)), 14));
  const auto c = station_calls::count({g_dir, login, barcode, {}});
  std::printf("\nFile calls on these tables (ticket %d, %d lines), drive at 0.5 ms a call:\n", ticket, kLinesPerTicket);
  const bool by_file = std::getenv("CHK_CALLS_BY_FILE") != nullptr;
  // The floors (see bench_file_calls for the demo's): the start-up as
  // there (16); the ticket: the start-up, the ticket lock (4), six shared
  // tables with their bags opened, read and closed (36), a first seek in
  // each tag used under its lock, root to leaf in trees of three or four
  // levels (6 x 7 = 42), the lines in one read and their header (2), a leaf
  // and a record for each of the 30 products spread over the table (60),
  // the check table written (9), the header marked (3): about 170; the
  // scan: the product's counter and record (its leaf was read by the load).
  struct Row {
    const char* what;
    const rt::os::CallCounts& n;
    int floor;
  };
  for (const Row& r : {Row{"start-up to the entry form", c.start_up, 16}, Row{"start-up + ticket, Esc", c.ticket, 170},
                       Row{"one scan", c.scan, 2}})
    std::printf("  %-28s %5llu calls  %7.1f ms   floor %4d   %s\n", r.what,
                static_cast<unsigned long long>(r.n.total()), rt::os::drive_ms(r.n), r.floor,
                r.n.text(by_file).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* s = std::getenv("CHK_BENCH_SCALE")) g_scale = std::max(1, std::atoi(s));
  benchmark::Initialize(&argc, argv);
  build_data();
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nTicket loading, %d-line tickets: %d products, %d sale lines, %d check-log lines (same run)\n",
              kLinesPerTicket, products(), tickets() * kLinesPerTicket,
              old_log_lines() + checked_tickets() * kLinesPerTicket);
  print_ratio("load from the sale lines", "load_dbf", "load_sqlite");
  print_ratio("rebuild from the check log", "rebuild_dbf", "rebuild_sqlite");
  std::printf("\nCommitted check (%d check-log lines appended and committed), wall time per check:\n",
              kLinesPerTicket);
  for (const char* v : {"", "_sync"})
    if (g_ns_per_op.count(std::string("commit_check_dbf") + v))
      std::printf("  %-9s ours %7.3f ms   sqlite %7.3f ms\n", *v ? "synced" : "unsynced",
                  g_ns_per_op[std::string("commit_check_dbf") + v] / 1e6,
                  g_ns_per_op[std::string("commit_check_sqlite") + v] / 1e6);
  std::fflush(stdout);
  try {
    print_file_calls();
  } catch (const std::exception& e) {
    std::printf("file calls not counted: %s\n", e.what());
  }
  rt::os::run_command("rm -rf '" + g_dir + "'");
  benchmark::Shutdown();
  return 0;
}

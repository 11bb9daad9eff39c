// Side by side, in one run and on the same rows of (NUMBER(10), NUMBER(10),
// NUMBER, VARCHAR2(32), VARCHAR2(200)): raw sqlite3, the SQLite ODBC driver
// (Debian libsqliteodbc; default and StepAPI=1) on a plain SQLite file, and
// both of this driver's builds on the OCI stand-in, all through the Driver
// Manager. The Unicode build runs with SQL_C_CHAR and SQL_C_WCHAR text.
//
// Operations: a bound rowset of 1000 rows, SQLGetData per cell, row-by-row
// prepared insert and 1000-row parameter arrays (each in one transaction),
// and connect+disconnect. Each reports rows (connects) per CPU second of the
// calling thread, which a busy machine disturbs less than wall time, and
// the process's peak memory so far; a table of ratios to raw sqlite3 and to the SQLite ODBC
// driver follows the run.
//
// Goals, as ratios in one run: bound rowsets at least 0.67x raw sqlite3 in
// both builds; SQLGetData per cell at least 0.5x raw; row-by-row prepared
// insert at least 1.5x the SQLite ODBC driver and arrays at least 2x; peak
// memory flat with the result's size.
//
// KVD_BENCH_ROWS sets the rows fetched (default 1000000; inserts use a
// tenth); KVD_DRIVER_DIR loads this driver's builds from another folder
// (to compare with an earlier build).
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sqlucode.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/ocibench.h"
#include "common/odbcbench.h"

namespace {

constexpr const char *kSqliteOdbc = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr SQLULEN kRowset = 1000;
constexpr SQLULEN kParamset = 1000;
constexpr const char *kQuery = "SELECT A, B, C, S, L FROM T";
constexpr const char *kInsert = "INSERT INTO I VALUES (?, ?, ?, ?, ?)";

int64_t FetchRows() {
  static const int64_t rows = [] {
    const char *e = std::getenv("KVD_BENCH_ROWS");
    int64_t n = e ? std::atoll(e) : 1000000;
    return n > 0 ? n : 1000000;
  }();
  return rows;
}

// Inserts are slower than fetches everywhere: a tenth of the rows, whole
// parameter arrays.
int64_t InsertRows() { return std::max<int64_t>(kParamset, FetchRows() / 10 / kParamset * kParamset); }

// Row i's values, the same everywhere.
struct RowValues {
  std::string longText = std::string(200, 'l');
  int32_t a(int64_t i) const { return static_cast<int32_t>(i); }
  int32_t b(int64_t i) const { return static_cast<int32_t>(i % 1000); }
  double c(int64_t i) const { return static_cast<double>(i) * 1.25; }
  int s(int64_t i, char *buf, size_t size) const { return std::snprintf(buf, size, "customer %lld", (long long)i); }
  int l(int64_t i) const { return static_cast<int>(40 + i % 100); }
};

void Check(int rc, sqlite3 *db, const char *what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

// Rows 0 .. total-1 through a prepared INSERT; apart for profiling.
[[gnu::noinline]] void ExecuteRaw(sqlite3 *db, sqlite3_stmt *st, const RowValues &v, int64_t total) {
  for (int64_t i = 0; i < total; ++i) {
    char name[32];
    int n = v.s(i, name, sizeof name);
    sqlite3_bind_int(st, 1, v.a(i));
    sqlite3_bind_int(st, 2, v.b(i));
    sqlite3_bind_double(st, 3, v.c(i));
    sqlite3_bind_text(st, 4, name, n, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, v.longText.data(), v.l(i), SQLITE_STATIC);
    Check(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
  }
}

// Table T with the fetched rows, and an empty table I for the inserts.
void Fill(const std::string &file, const char *createT, const char *createI) {
  sqlite3 *db = nullptr;
  Check(sqlite3_open(file.c_str(), &db), db, file.c_str());
  Check(sqlite3_exec(db, createT, nullptr, nullptr, nullptr), db, createT);
  if (createI) Check(sqlite3_exec(db, createI, nullptr, nullptr, nullptr), db, createI);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt *st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO T VALUES (?, ?, ?, ?, ?)", -1, &st, nullptr);
  ExecuteRaw(db, st, RowValues{}, FetchRows());
  sqlite3_finalize(st);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

struct Setup {
  std::string top, oraDir, sqliteFile;
  Setup() {
    oraDir = ocibench::NewDatabase("kvd_side_bench", &top);
    sqliteFile = top + "/plain.db";
    // Filled through sqlite3 directly: the rows are stored the way the
    // stand-in stores them. Table I is made through the driver (below), so
    // that it has the stand-in's column rules an application's table has.
    Fill(oraDir + "/BENCH.db",
         "CREATE TABLE T (A NUMBER(10), B NUMBER(10), C NUMBER, S VARCHAR2(32), L VARCHAR2(200))", nullptr);
    Fill(sqliteFile, "CREATE TABLE T (A INTEGER, B INTEGER, C DOUBLE, S VARCHAR(32), L VARCHAR(200))",
         "CREATE TABLE I (A INTEGER, B INTEGER, C DOUBLE, S VARCHAR(32), L VARCHAR(200))");
    const char *dir = std::getenv("KVD_DRIVER_DIR");
    const std::string lib = dir ? std::string(dir) : std::string(KVD_BUILD_DIR "/lib");
    // The Driver Manager's ini files, before its first call.
    std::ofstream(top + "/odbcinst.ini") << "[KVDW]\nDriver = " << lib << "/kvd7r22xw.so\nThreading = 0\n"
                                         << "[KVDA]\nDriver = " << lib << "/kvd7r22x.so\nThreading = 0\n"
                                         << "[SQLITE3]\nDriver = " << kSqliteOdbc << "\nThreading = 0\n";
    std::ofstream(top + "/odbc.ini") << "[kvd_w]\nDriver = KVDW\nSQLNETConnect = " << oraDir
                                     << "\nNoRowsetSizeLimit = YES\n"
                                     << "[kvd_a]\nDriver = KVDA\nSQLNETConnect = " << oraDir
                                     << "\nNoRowsetSizeLimit = YES\n"
                                     << "[sqlite]\nDriver = SQLITE3\nDatabase = " << sqliteFile << "\n"
                                     << "[sqlite_step]\nDriver = SQLITE3\nStepAPI = 1\nDatabase = " << sqliteFile
                                     << "\n";
    setenv("ODBCSYSINI", top.c_str(), 1);
    setenv("ODBCINI", (top + "/odbc.ini").c_str(), 1);
  }
  ~Setup() { ocibench::RemoveTree(top); }
};

Setup &Env() {
  static Setup s;
  return s;
}

// One ODBC configuration: a DSN with its credentials and the C type of text.
struct Config {
  const char *name;
  const char *dsn;
  const char *uid;
  const char *pwd;
  SQLSMALLINT textType;
};

const Config kConfigs[] = {
    {"kvd_ansi", "kvd_a", "bench", "bench", SQL_C_CHAR},
    {"kvd_unicode", "kvd_w", "bench", "bench", SQL_C_CHAR},
    {"kvd_unicode_wchar", "kvd_w", "bench", "bench", SQL_C_WCHAR},
    {"sqliteodbc", "sqlite", "", "", SQL_C_CHAR},
    {"sqliteodbc_step", "sqlite_step", "", "", SQL_C_CHAR},
};

using odbcbench::Die;
using odbcbench::Ok;

struct Odbc {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  explicit Odbc(const Config &c) {
    Env();
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    Connect(c);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  }
  void Connect(const Config &c) {
    Ok(SQLConnect(dbc, (SQLCHAR *)c.dsn, SQL_NTS, (SQLCHAR *)c.uid, SQL_NTS, (SQLCHAR *)c.pwd, SQL_NTS),
       SQL_HANDLE_DBC, dbc, "connect");
  }
  ~Odbc() {
    if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  void Exec(const char *sql) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    Ok(SQLExecDirect(stmt, (SQLCHAR *)sql, SQL_NTS), SQL_HANDLE_STMT, stmt, sql);
  }
  void Commit() { Ok(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "commit"); }
  void ManualCommit() {
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  }
};

void PeakMemory(benchmark::State &state) {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["peakMB"] = static_cast<double>(ru.ru_maxrss) / 1024.0;
}

void Rate(benchmark::State &state, int64_t rows) {
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  PeakMemory(state);
}

// Text buffers of the configuration's C type: chars per value, bytes per char.
size_t CharBytes(const Config &c) { return c.textType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 1; }

// ---- fetch ----

void FetchBound(benchmark::State &state, const Config &c) {
  Odbc o(c);
  Ok(SQLSetStmtAttr(o.stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRowset), 0), SQL_HANDLE_STMT,
     o.stmt, "rowset size");
  const size_t cb = CharBytes(c);
  std::vector<SQLINTEGER> a(kRowset), b(kRowset);
  std::vector<double> d(kRowset);
  std::vector<char> s(kRowset * 33 * cb), l(kRowset * 201 * cb);
  std::vector<SQLLEN> ia(kRowset), ib(kRowset), ic(kRowset), is(kRowset), il(kRowset);
  SQLULEN fetched = 0;
  int64_t rows = 0;
  for (auto _ : state) {
    o.Exec(kQuery);
    SQLSetStmtAttr(o.stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLBindCol(o.stmt, 1, SQL_C_LONG, a.data(), 0, ia.data());
    SQLBindCol(o.stmt, 2, SQL_C_LONG, b.data(), 0, ib.data());
    SQLBindCol(o.stmt, 3, SQL_C_DOUBLE, d.data(), 0, ic.data());
    SQLBindCol(o.stmt, 4, c.textType, s.data(), static_cast<SQLLEN>(33 * cb), is.data());
    SQLBindCol(o.stmt, 5, c.textType, l.data(), static_cast<SQLLEN>(201 * cb), il.data());
    int64_t n = 0;
    SQLRETURN rc;
    while ((rc = SQLFetchScroll(o.stmt, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
      n += static_cast<int64_t>(fetched);
      benchmark::DoNotOptimize(a[0]);
    }
    if (rc != SQL_NO_DATA) Die(SQL_HANDLE_STMT, o.stmt, "fetch");
    if (n != FetchRows()) return state.SkipWithError("wrong row count");
    SQLFreeStmt(o.stmt, SQL_UNBIND);
    rows += n;
  }
  Rate(state, rows);
}

void FetchGetData(benchmark::State &state, const Config &c) {
  Odbc o(c);
  const size_t cb = CharBytes(c);
  SQLINTEGER a = 0, b = 0;
  double d = 0;
  std::vector<char> s(33 * cb), l(201 * cb);
  SQLLEN ia = 0, ib = 0, ic = 0, is = 0, il = 0;
  int64_t rows = 0;
  for (auto _ : state) {
    o.Exec(kQuery);
    int64_t n = 0;
    while (SQL_SUCCEEDED(SQLFetch(o.stmt))) {
      SQLGetData(o.stmt, 1, SQL_C_LONG, &a, 0, &ia);
      SQLGetData(o.stmt, 2, SQL_C_LONG, &b, 0, &ib);
      SQLGetData(o.stmt, 3, SQL_C_DOUBLE, &d, 0, &ic);
      SQLGetData(o.stmt, 4, c.textType, s.data(), static_cast<SQLLEN>(s.size()), &is);
      SQLGetData(o.stmt, 5, c.textType, l.data(), static_cast<SQLLEN>(l.size()), &il);
      benchmark::DoNotOptimize(a);
      ++n;
    }
    if (n != FetchRows()) return state.SkipWithError("wrong row count");
    rows += n;
  }
  Rate(state, rows);
}

// Raw sqlite3, each value copied out as the ODBC applications receive it.
void FetchRaw(benchmark::State &state) {
  sqlite3 *db = nullptr;
  sqlite3_open_v2(Env().sqliteFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  int64_t rows = 0;
  char s[33], l[201];
  for (auto _ : state) {
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, kQuery, -1, &st, nullptr);
    int64_t n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      int a = sqlite3_column_int(st, 0);
      int b = sqlite3_column_int(st, 1);
      double c = sqlite3_column_double(st, 2);
      const unsigned char *ts = sqlite3_column_text(st, 3);
      size_t ns = std::min<size_t>(static_cast<size_t>(sqlite3_column_bytes(st, 3)), sizeof s - 1);
      std::memcpy(s, ts, ns);
      s[ns] = 0;
      const unsigned char *tl = sqlite3_column_text(st, 4);
      size_t nl = std::min<size_t>(static_cast<size_t>(sqlite3_column_bytes(st, 4)), sizeof l - 1);
      std::memcpy(l, tl, nl);
      l[nl] = 0;
      benchmark::DoNotOptimize(a + b + c);
      benchmark::DoNotOptimize(s[0] + l[0]);
      ++n;
    }
    sqlite3_finalize(st);
    rows += n;
  }
  sqlite3_close(db);
  Rate(state, rows);
}

// ---- insert ----

// Table I emptied and committed, outside the timing.
void EmptyInsertTable(benchmark::State &state, Odbc &o) {
  state.PauseTiming();
  o.Exec("DELETE FROM I");
  o.Commit();
  state.ResumeTiming();
}

// Parameters bound column-wise for `rows` rows; row r of a batch starting
// at `first` holds RowValues(first + r).
struct ParamArrays {
  const Config &c;
  size_t rows, cb;
  std::vector<SQLINTEGER> a, b;
  std::vector<double> d;
  std::vector<char> s, l;
  std::vector<SQLLEN> ia, ib, id, is, il;
  ParamArrays(const Config &config, size_t n)
      : c(config), rows(n), cb(CharBytes(config)), a(n), b(n), d(n), s(n * 33 * cb), l(n * 201 * cb), ia(n),
        ib(n), id(n), is(n), il(n) {}

  void Bind(SQLHSTMT st) {
    const SQLSMALLINT sqlText = c.textType == SQL_C_WCHAR ? SQL_WVARCHAR : SQL_VARCHAR;
    Ok(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, a.data(), 0, ia.data()),
       SQL_HANDLE_STMT, st, "bind 1");
    Ok(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, b.data(), 0, ib.data()),
       SQL_HANDLE_STMT, st, "bind 2");
    Ok(SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, d.data(), 0, id.data()),
       SQL_HANDLE_STMT, st, "bind 3");
    Ok(SQLBindParameter(st, 4, SQL_PARAM_INPUT, c.textType, sqlText, 32, 0, s.data(),
                        static_cast<SQLLEN>(33 * cb), is.data()),
       SQL_HANDLE_STMT, st, "bind 4");
    Ok(SQLBindParameter(st, 5, SQL_PARAM_INPUT, c.textType, sqlText, 200, 0, l.data(),
                        static_cast<SQLLEN>(201 * cb), il.data()),
       SQL_HANDLE_STMT, st, "bind 5");
  }

  void PutText(char *dst, const char *src, size_t n, SQLLEN *ind) {
    if (c.textType == SQL_C_WCHAR) {
      auto *w = reinterpret_cast<SQLWCHAR *>(dst);
      for (size_t i = 0; i < n; ++i) w[i] = static_cast<unsigned char>(src[i]);
      *ind = static_cast<SQLLEN>(n * sizeof(SQLWCHAR));
    } else {
      std::memcpy(dst, src, n);
      *ind = static_cast<SQLLEN>(n);
    }
  }

  void Set(int64_t first, const RowValues &v) {
    for (size_t r = 0; r < rows; ++r) {
      const int64_t i = first + static_cast<int64_t>(r);
      a[r] = v.a(i);
      b[r] = v.b(i);
      d[r] = v.c(i);
      ia[r] = ib[r] = id[r] = 0;
      char name[32];
      int n = v.s(i, name, sizeof name);
      PutText(&s[r * 33 * cb], name, static_cast<size_t>(n), &is[r]);
      PutText(&l[r * 201 * cb], v.longText.data(), static_cast<size_t>(v.l(i)), &il[r]);
    }
  }
};

// The inserts themselves, apart for profiling.
[[gnu::noinline]] void ExecuteBatches(Odbc &o, ParamArrays &p, const RowValues &v, int64_t total) {
  for (int64_t i = 0; i < total; i += static_cast<int64_t>(p.rows)) {
    p.Set(i, v);
    Ok(SQLExecute(o.stmt), SQL_HANDLE_STMT, o.stmt, "insert");
  }
}

// Row-by-row prepared insert (batch 1) or parameter arrays, in one
// transaction.
void Insert(benchmark::State &state, const Config &c, size_t batch) {
  Odbc o(c);
  o.ManualCommit();
  ParamArrays p(c, batch);
  RowValues v;
  const int64_t total = InsertRows();
  int64_t rows = 0;
  for (auto _ : state) {
    EmptyInsertTable(state, o);
    SQLFreeStmt(o.stmt, SQL_CLOSE);
    SQLFreeStmt(o.stmt, SQL_RESET_PARAMS);
    Ok(SQLSetStmtAttr(o.stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(batch), 0), SQL_HANDLE_STMT,
       o.stmt, "paramset size");
    Ok(SQLPrepare(o.stmt, (SQLCHAR *)kInsert, SQL_NTS), SQL_HANDLE_STMT, o.stmt, "prepare");
    p.Bind(o.stmt);
    ExecuteBatches(o, p, v, total);
    o.Commit();
    rows += total;
  }
  Rate(state, rows);
}

void InsertRaw(benchmark::State &state) {
  sqlite3 *db = nullptr;
  sqlite3_open(Env().sqliteFile.c_str(), &db);
  RowValues v;
  const int64_t total = InsertRows();
  int64_t rows = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sqlite3_exec(db, "DELETE FROM I", nullptr, nullptr, nullptr);
    state.ResumeTiming();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, kInsert, -1, &st, nullptr);
    ExecuteRaw(db, st, v, total);
    sqlite3_finalize(st);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    rows += total;
  }
  sqlite3_close(db);
  Rate(state, rows);
}

// ---- connect ----

void Connect(benchmark::State &state, const Config &c) {
  Odbc o(c);
  SQLFreeHandle(SQL_HANDLE_STMT, o.stmt);
  o.stmt = SQL_NULL_HSTMT;
  SQLDisconnect(o.dbc);
  int64_t n = 0;
  for (auto _ : state) {
    o.Connect(c);
    SQLDisconnect(o.dbc);
    ++n;
  }
  o.Connect(c);
  Rate(state, n);
}

void ConnectRaw(benchmark::State &state) {
  int64_t n = 0;
  for (auto _ : state) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(Env().sqliteFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    // A connection that has read the schema, as a driver's has.
    sqlite3_exec(db, "SELECT 1 FROM T WHERE 0", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ++n;
  }
  Rate(state, n);
}

// ---- registration and the ratio table ----

// Collects each benchmark's rows/s for the table printed at the end.
class Reporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> rates;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs) {
      auto it = r.counters.find("rows/s");
      if (it == r.counters.end() || r.error_occurred) continue;
      rates[r.run_name.function_name] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

const char *const kOps[] = {"fetch_bound1000", "fetch_getdata", "insert_row", "insert_array1000", "connect"};

void Register() {
  auto raw = [](const char *op, void (*fn)(benchmark::State &)) {
    benchmark::RegisterBenchmark((std::string(op) + "/raw_sqlite3").c_str(), fn)
        ->Unit(benchmark::kMillisecond);
  };
  raw(kOps[0], FetchRaw);
  raw(kOps[1], FetchRaw);
  raw(kOps[2], InsertRaw);
  raw(kOps[3], InsertRaw);
  raw(kOps[4], ConnectRaw);
  for (const Config &c : kConfigs) {
    auto add = [&c](const char *op, auto fn) {
      benchmark::RegisterBenchmark((std::string(op) + "/" + c.name).c_str(), fn, c)
          ->Unit(benchmark::kMillisecond);
    };
    add(kOps[0], FetchBound);
    add(kOps[1], FetchGetData);
    add(kOps[2], [](benchmark::State &s, const Config &cfg) { Insert(s, cfg, 1); });
    add(kOps[3], [](benchmark::State &s, const Config &cfg) { Insert(s, cfg, kParamset); });
    add(kOps[4], Connect);
  }
}

void PrintRatios(const std::map<std::string, double> &rates) {
  std::printf("\n%-18s %-18s %14s %8s %12s %12s\n", "operation", "client", "rows/s", "x raw", "x sqliteodbc",
              "x stepapi");
  auto rate = [&rates](const std::string &op, const char *who) {
    auto it = rates.find(op + "/" + who);
    return it == rates.end() ? 0.0 : it->second;
  };
  for (const char *op : kOps) {
    const double raw = rate(op, "raw_sqlite3"), ref = rate(op, "sqliteodbc"), step = rate(op, "sqliteodbc_step");
    auto line = [&](const char *who) {
      const double r = rate(op, who);
      if (r == 0) return;
      std::printf("%-18s %-18s %14.0f %8.2f %12.2f %12.2f\n", op, who, r, raw ? r / raw : 0, ref ? r / ref : 0,
                  step ? r / step : 0);
    };
    line("raw_sqlite3");
    for (const Config &c : kConfigs) line(c.name);
  }
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Env();
  Register();
  {
    // Table I through the driver, with the stand-in's column rules.
    Odbc o(kConfigs[0]);
    o.Exec("CREATE TABLE I (A NUMBER(10), B NUMBER(10), C NUMBER, S VARCHAR2(32), L VARCHAR2(200))");
  }
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter.rates);
  benchmark::Shutdown();
  return 0;
}

// Fetching 200 000 rows of (integer, integer, double, varchar(32),
// varchar(200)) through the Driver Manager: this driver on the OCI stand-in,
// the SQLite ODBC driver (Debian libsqliteodbc) on a SQLite file with the
// same data, and raw sqlite3 on that file. Bound columns with rowsets of 1
// and 1000 rows, and SQLGetData per cell. Each reports rows/s.
//
// Goals: faster than the SQLite ODBC driver, and within 2x of raw sqlite3
// with bound rowsets.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/ocibench.h"

namespace {

constexpr int kRows = 200000;
constexpr const char *kSqliteOdbc = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

// The same rows in the stand-in's schema file and in a plain SQLite file.
void Fill(const std::string &file, const char *create) {
  sqlite3 *db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
    std::fprintf(stderr, "cannot open %s\n", file.c_str());
    std::exit(1);
  }
  sqlite3_exec(db, create, nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt *st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO T VALUES (?, ?, ?, ?, ?)", -1, &st, nullptr);
  std::string longText(150, 'l');
  for (int i = 0; i < kRows; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "customer %d", i);
    sqlite3_bind_int(st, 1, i);
    sqlite3_bind_int(st, 2, i % 1000);
    sqlite3_bind_double(st, 3, i * 1.25);
    sqlite3_bind_text(st, 4, name, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, longText.c_str(), static_cast<int>(40 + i % 100), SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

struct Setup {
  std::string top, oraDir, sqliteFile;
  Setup() {
    oraDir = ocibench::NewDatabase("kvd_fetch_bench", &top);
    sqliteFile = top + "/plain.db";
    Fill(oraDir + "/BENCH.db",
         "CREATE TABLE T (A NUMBER(10), B NUMBER(10), C BINARY_DOUBLE, S VARCHAR2(32), L VARCHAR2(200))");
    Fill(sqliteFile, "CREATE TABLE T (A INTEGER, B INTEGER, C DOUBLE, S VARCHAR(32), L VARCHAR(200))");
    // The Driver Manager's ini files, before its first call.
    std::ofstream(top + "/odbcinst.ini") << "[KVDW]\nDriver = " KVD_BUILD_DIR "/lib/kvd7r22xw.so\nThreading = 0\n"
                                         << "[KVDA]\nDriver = " KVD_BUILD_DIR "/lib/kvd7r22x.so\nThreading = 0\n"
                                         << "[SQLITE3]\nDriver = " << kSqliteOdbc << "\nThreading = 0\n";
    std::ofstream(top + "/odbc.ini") << "[kvd_w]\nDriver = KVDW\nSQLNETConnect = " << oraDir
                                     << "\nNoRowsetSizeLimit = YES\n"
                                     << "[kvd_a]\nDriver = KVDA\nSQLNETConnect = " << oraDir
                                     << "\nNoRowsetSizeLimit = YES\n"
                                     << "[sqlite]\nDriver = SQLITE3\nDatabase = " << sqliteFile << "\n";
    setenv("ODBCSYSINI", top.c_str(), 1);
    setenv("ODBCINI", (top + "/odbc.ini").c_str(), 1);
  }
  ~Setup() { std::filesystem::remove_all(top); }
};

Setup &Env() {
  static Setup s;
  return s;
}

const char *const kQuery = "SELECT A, B, C, S, L FROM T";

struct Odbc {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  explicit Odbc(const char *dsn, const char *uid, const char *pwd) {
    Env();
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLRETURN rc = SQLConnect(dbc, (SQLCHAR *)dsn, SQL_NTS, (SQLCHAR *)uid, SQL_NTS, (SQLCHAR *)pwd, SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) Die(SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  }
  ~Odbc() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  static void Die(SQLSMALLINT type, SQLHANDLE h, const char *what) {
    SQLCHAR state[6] = {}, text[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
    std::fprintf(stderr, "%s failed: %s %s\n", what, state, text);
    std::exit(1);
  }
  void Run() {
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR *)kQuery, SQL_NTS))) Die(SQL_HANDLE_STMT, stmt, "execute");
  }
};

// Bound columns, column-wise arrays of `rowset` rows.
void Bound(benchmark::State &state, const char *dsn, const char *uid, const char *pwd) {
  const SQLULEN rowset = static_cast<SQLULEN>(state.range(0));
  Odbc o(dsn, uid, pwd);
  if (!SQL_SUCCEEDED(SQLSetStmtAttr(o.stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0)))
    Odbc::Die(SQL_HANDLE_STMT, o.stmt, "rowset size");
  std::vector<SQLINTEGER> a(rowset), b(rowset);
  std::vector<double> c(rowset);
  std::vector<char> s(rowset * 33), l(rowset * 201);
  std::vector<SQLLEN> ia(rowset), ib(rowset), ic(rowset), is(rowset), il(rowset);
  SQLULEN fetched = 0;
  int64_t rows = 0;
  for (auto _ : state) {
    o.Run();
    SQLSetStmtAttr(o.stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLBindCol(o.stmt, 1, SQL_C_LONG, a.data(), 0, ia.data());
    SQLBindCol(o.stmt, 2, SQL_C_LONG, b.data(), 0, ib.data());
    SQLBindCol(o.stmt, 3, SQL_C_DOUBLE, c.data(), 0, ic.data());
    SQLBindCol(o.stmt, 4, SQL_C_CHAR, s.data(), 33, is.data());
    SQLBindCol(o.stmt, 5, SQL_C_CHAR, l.data(), 201, il.data());
    int64_t n = 0;
    SQLRETURN rc;
    while ((rc = SQLFetchScroll(o.stmt, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
      n += static_cast<int64_t>(fetched);
      benchmark::DoNotOptimize(a[0]);
    }
    if (rc != SQL_NO_DATA) Odbc::Die(SQL_HANDLE_STMT, o.stmt, "fetch");
    if (n != kRows) {
      state.SkipWithError("wrong row count");
      return;
    }
    rows += n;
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

// SQLFetch and SQLGetData for every cell.
void GetData(benchmark::State &state, const char *dsn, const char *uid, const char *pwd) {
  Odbc o(dsn, uid, pwd);
  SQLINTEGER a = 0, b = 0;
  double c = 0;
  char s[33], l[201];
  SQLLEN ia = 0, ib = 0, ic = 0, is = 0, il = 0;
  int64_t rows = 0;
  for (auto _ : state) {
    o.Run();
    int64_t n = 0;
    while (SQL_SUCCEEDED(SQLFetch(o.stmt))) {
      SQLGetData(o.stmt, 1, SQL_C_LONG, &a, 0, &ia);
      SQLGetData(o.stmt, 2, SQL_C_LONG, &b, 0, &ib);
      SQLGetData(o.stmt, 3, SQL_C_DOUBLE, &c, 0, &ic);
      SQLGetData(o.stmt, 4, SQL_C_CHAR, s, sizeof s, &is);
      SQLGetData(o.stmt, 5, SQL_C_CHAR, l, sizeof l, &il);
      benchmark::DoNotOptimize(a);
      ++n;
    }
    if (n != kRows) {
      state.SkipWithError("wrong row count");
      return;
    }
    rows += n;
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

// Raw sqlite3 on the plain file, each value copied out as the ODBC
// applications above receive it.
void RawSqlite3(benchmark::State &state) {
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
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(RawSqlite3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Bound, kvd_w, "kvd_w", "bench", "bench")->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Bound, kvd_a, "kvd_a", "bench", "bench")->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Bound, sqliteodbc, "sqlite", "", "")->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GetData, kvd_w, "kvd_w", "bench", "bench")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GetData, kvd_a, "kvd_a", "bench", "bench")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GetData, sqliteodbc, "sqlite", "", "")->Unit(benchmark::kMillisecond);

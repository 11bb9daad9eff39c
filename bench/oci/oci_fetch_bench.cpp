// Array fetch of a 100 000-row table through the OCI stand-in (defines of an
// integer, a double, a VARCHAR with length prefix and a 7-byte DATE, fetched
// 100 rows per call) against raw sqlite3 reading the same columns of the same
// file into the same kind of buffers. Goal: OCI within 1.5x of raw sqlite3.
#include <benchmark/benchmark.h>
#include <ftw.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "oci.h"
#include "ocilite.h"

namespace {

constexpr int kRows = 100000;
constexpr ub4 kBlock = 100;

struct Db {
  std::string top, dir;
  Db() {
    char tmpl[] = "/tmp/ocilite_bench_XXXXXX";
    top = mkdtemp(tmpl);
    dir = top + "/db";
    char msg[512];
    if (ocilite_db_create(dir.c_str(), msg, sizeof msg) ||
        ocilite_user_create(dir.c_str(), "bench", "bench", msg, sizeof msg)) {
      std::fprintf(stderr, "%s\n", msg);
      std::exit(1);
    }
    // Filled through sqlite3 directly: the values are stored the way the
    // stand-in stores them (numbers as numbers, dates as text).
    sqlite3* db = nullptr;
    sqlite3_open((dir + "/BENCH.db").c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE T (ID NUMBER(10), AMOUNT NUMBER(10,2), NAME VARCHAR2(30), D DATE);"
                 "BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO T VALUES (?, ?, ?, ?)", -1, &st, nullptr);
    for (int i = 0; i < kRows; ++i) {
      char name[32], date[32];
      std::snprintf(name, sizeof name, "customer name %d", i);
      std::snprintf(date, sizeof date, "20%02d-%02d-%02d 12:34:56", i % 100, i % 12 + 1, i % 28 + 1);
      sqlite3_bind_int(st, 1, i);
      sqlite3_bind_double(st, 2, i * 1.25);
      sqlite3_bind_text(st, 3, name, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 4, date, -1, SQLITE_TRANSIENT);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  ~Db() {
    nftw(top.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
         16, FTW_DEPTH | FTW_PHYS);
  }
};

Db& db() {
  static Db d;
  return d;
}

struct Row {
  int64_t id[kBlock];
  double amount[kBlock];
  struct {
    ub2 len;
    char data[30];
  } name[kBlock];
  ub1 date[kBlock][7];
  sb2 ind[4][kBlock];
};

void BM_RawSqliteFetch(benchmark::State& state) {
  sqlite3* h = nullptr;
  sqlite3_open_v2((db().dir + "/BENCH.db").c_str(), &h, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                  nullptr);
  sqlite3_exec(h, "PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);  // as the stand-in's sessions
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(h, "SELECT ID, AMOUNT, NAME, D FROM T", -1, &st, nullptr);
  static Row r;
  for (auto _ : state) {
    int rows = 0;
    ub4 k = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      r.ind[0][k] = sqlite3_column_type(st, 0) == SQLITE_NULL ? -1 : 0;
      r.id[k] = sqlite3_column_int64(st, 0);
      r.ind[1][k] = sqlite3_column_type(st, 1) == SQLITE_NULL ? -1 : 0;
      r.amount[k] = sqlite3_column_double(st, 1);
      const unsigned char* t = sqlite3_column_text(st, 2);
      int n = sqlite3_column_bytes(st, 2);
      r.ind[2][k] = t ? 0 : -1;
      r.name[k].len = static_cast<ub2>(n);
      std::memcpy(r.name[k].data, t, static_cast<size_t>(n));
      const unsigned char* d = sqlite3_column_text(st, 3);
      r.ind[3][k] = d ? 0 : -1;
      // The same 7-byte DATE the OCI define gets.
      int y = std::atoi(reinterpret_cast<const char*>(d));
      r.date[k][0] = static_cast<ub1>(y / 100 + 100);
      r.date[k][1] = static_cast<ub1>(y % 100 + 100);
      r.date[k][2] = static_cast<ub1>((d[5] - '0') * 10 + d[6] - '0');
      r.date[k][3] = static_cast<ub1>((d[8] - '0') * 10 + d[9] - '0');
      r.date[k][4] = static_cast<ub1>((d[11] - '0') * 10 + d[12] - '0' + 1);
      r.date[k][5] = static_cast<ub1>((d[14] - '0') * 10 + d[15] - '0' + 1);
      r.date[k][6] = static_cast<ub1>((d[17] - '0') * 10 + d[18] - '0' + 1);
      if (++k == kBlock) k = 0;
      ++rows;
    }
    sqlite3_reset(st);
    benchmark::DoNotOptimize(r);
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  sqlite3_finalize(st);
  sqlite3_close(h);
}
BENCHMARK(BM_RawSqliteFetch)->Unit(benchmark::kMillisecond);

void BM_OciArrayFetch(benchmark::State& state) {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;
  OCIEnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
  const std::string& dir = db().dir;
  OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(dir.c_str()), static_cast<sb4>(dir.size()),
                  OCI_DEFAULT);
  OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
  OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("bench"), 5, OCI_ATTR_USERNAME, err);
  OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("bench"), 5, OCI_ATTR_PASSWORD, err);
  if (OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, OCI_DEFAULT) != OCI_SUCCESS) {
    state.SkipWithError("logon failed");
    return;
  }
  OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  const char* sql = "select id, amount, name, d from t";
  OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(sql), static_cast<ub4>(std::strlen(sql)),
                 OCI_NTV_SYNTAX, OCI_DEFAULT);
  static Row r;
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, err, 1, r.id, sizeof r.id[0], SQLT_INT, r.ind[0], nullptr, nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, err, 2, r.amount, sizeof r.amount[0], SQLT_BDOUBLE, r.ind[1], nullptr, nullptr,
                 OCI_DEFAULT);
  OCIDefineByPos(st, &d, err, 3, r.name, sizeof r.name[0], SQLT_VCS, r.ind[2], nullptr, nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, err, 4, r.date, 7, SQLT_DAT, r.ind[3], nullptr, nullptr, OCI_DEFAULT);
  for (auto _ : state) {
    if (OCIStmtExecute(svc, st, err, 0, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS) {
      state.SkipWithError("execute failed");
      break;
    }
    ub4 rows = 0;
    for (;;) {
      sword rc = OCIStmtFetch(st, err, kBlock, OCI_FETCH_NEXT, OCI_DEFAULT);
      if (rc != OCI_SUCCESS && rc != OCI_NO_DATA) {
        state.SkipWithError("fetch failed");
        break;
      }
      ub4 n = 0;
      OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROWS_FETCHED, err);
      rows += n;
      if (rc == OCI_NO_DATA) break;
    }
    benchmark::DoNotOptimize(r);
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  OCIHandleFree(env, OCI_HTYPE_ENV);
}
BENCHMARK(BM_OciArrayFetch)->Unit(benchmark::kMillisecond);

}  // namespace

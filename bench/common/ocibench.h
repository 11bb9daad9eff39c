#pragma once
// What the benchmarks on the OCI stand-in share: a database with user bench
// in a temporary folder; for the fetch benchmarks, table T (ID, AMOUNT,
// NAME, D) of kRows rows in it and an OCI session that array-fetches a query
// on it in blocks of kBlock rows.
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

namespace ocibench {

constexpr int kRows = 100000;
constexpr ub4 kBlock = 100;

// Makes a temporary folder /tmp/<prefix>_XXXXXX (returned in *top) and in
// it a database with user bench, password bench; returns the database's
// folder. Exits when that fails.
inline std::string NewDatabase(const char *prefix, std::string *top) {
  std::string tmpl = std::string("/tmp/") + prefix + "_XXXXXX";
  *top = mkdtemp(tmpl.data());
  std::string dir = *top + "/db";
  char msg[512];
  if (ocilite_db_create(dir.c_str(), msg, sizeof msg) ||
      ocilite_user_create(dir.c_str(), "bench", "bench", msg, sizeof msg)) {
    std::fprintf(stderr, "%s\n", msg);
    std::exit(1);
  }
  return dir;
}

// Removes a folder and everything in it.
inline void RemoveTree(const std::string &top) {
  nftw(top.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
       FTW_DEPTH | FTW_PHYS);
}

// The fetch table's database, removed again at exit. prefix names the
// temporary folder; idType is the type of the ID column; rows the rows of T.
struct FetchTable {
  std::string top, dir;
  FetchTable(const char *prefix, const char *idType, int rows = kRows) {
    dir = NewDatabase(prefix, &top);
    // Filled through sqlite3 directly: the values are stored the way the
    // stand-in stores them (numbers as numbers, dates as text).
    sqlite3 *db = nullptr;
    sqlite3_open((dir + "/BENCH.db").c_str(), &db);
    const std::string create = std::string("CREATE TABLE T (ID ") + idType +
                               ", AMOUNT NUMBER(10,2), NAME VARCHAR2(30), D DATE);BEGIN;";
    sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO T VALUES (?, ?, ?, ?)", -1, &st, nullptr);
    for (int i = 0; i < rows; ++i) {
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
  ~FetchTable() { RemoveTree(top); }
};

// A session as user bench on the database in dir with one prepared query;
// the caller defines its columns on st. Everything is freed with the
// environment.
struct OciQuery {
  OCIEnv *env = nullptr;
  OCIError *err = nullptr;
  OCIServer *srv = nullptr;
  OCISvcCtx *svc = nullptr;
  OCISession *ses = nullptr;
  OCIStmt *st = nullptr;

  // False when the logon fails.
  bool Open(const std::string &dir, const char *sql) {
    OCIEnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void **>(&err), OCI_HTYPE_ERROR, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void **>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void **>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void **>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
    OCIServerAttach(srv, err, reinterpret_cast<const OraText *>(dir.c_str()), static_cast<sb4>(dir.size()),
                    OCI_DEFAULT);
    OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
    OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char *>("bench"), 5, OCI_ATTR_USERNAME, err);
    OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char *>("bench"), 5, OCI_ATTR_PASSWORD, err);
    if (OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, OCI_DEFAULT) != OCI_SUCCESS) return false;
    OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
    OCIHandleAlloc(env, reinterpret_cast<void **>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err, reinterpret_cast<const OraText *>(sql), static_cast<ub4>(std::strlen(sql)),
                   OCI_NTV_SYNTAX, OCI_DEFAULT);
    return true;
  }
  ~OciQuery() {
    if (env) OCIHandleFree(env, OCI_HTYPE_ENV);
  }

  // The benchmark loop: each iteration executes the query and fetches it to
  // the end into the defined buffers (kept from being optimised away).
  template <class Buffers>
  void Run(benchmark::State &state, Buffers &buffers) {
    for (auto _ : state) {
      const long rows = ExecuteAndFetchAll(state);
      if (rows < 0) break;
      benchmark::DoNotOptimize(buffers);
      if (rows != kRows) state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
  }

  // Executes the query and fetches it to the end, kBlock rows a call.
  // Returns the rows fetched, or -1 when the execute failed; failures are
  // reported on state.
  long ExecuteAndFetchAll(benchmark::State &state) {
    if (OCIStmtExecute(svc, st, err, 0, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS) {
      state.SkipWithError("execute failed");
      return -1;
    }
    long rows = 0;
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
    return rows;
  }
};

}  // namespace ocibench

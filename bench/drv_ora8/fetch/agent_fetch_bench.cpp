// The agent's fetch path: a 100 000-row table (an INTEGER, a DECIMAL, a
// VARCHAR2 and a DATE column) fetched through DRV_Fetch in blocks of 100
// rows into Datasets, in the narrow and the wide mode, against a plain OCI
// array fetch of the same columns into buffers of the same layout. Goal: the
// narrow agent path within 1.3x of the plain OCI fetch (it defines straight
// into the Dataset's cells and converts only the dates afterwards); the wide
// mode pays for its UTF-16 copy of the VARCHAR2 column only.
#include <benchmark/benchmark.h>
#include <ftw.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "oci.h"
#include "ocilite.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"

namespace {

constexpr int kRows = 100000;
constexpr ub4 kBlock = 100;
const char *const kQuery = "SELECT ID, AMOUNT, NAME, D FROM T";

struct Db {
  std::string top, dir;
  Db() {
    char tmpl[] = "/tmp/agent_fetch_bench_XXXXXX";
    top = mkdtemp(tmpl);
    dir = top + "/db";
    char msg[512];
    if (ocilite_db_create(dir.c_str(), msg, sizeof msg) ||
        ocilite_user_create(dir.c_str(), "bench", "bench", msg, sizeof msg)) {
      std::fprintf(stderr, "%s\n", msg);
      std::exit(1);
    }
    // Filled through sqlite3 directly, stored the way the stand-in stores
    // values (numbers as numbers, dates as text).
    sqlite3 *db = nullptr;
    sqlite3_open((dir + "/BENCH.db").c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE T (ID NUMBER(9), AMOUNT NUMBER(10,2), NAME VARCHAR2(30), D DATE);"
                 "BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt *st = nullptr;
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
    nftw(top.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
  }
};

Db &db() {
  static Db d;
  return d;
}

// The agent, registered and connected once per benchmark run.
struct Agent {
  DrvObject drv{};
  DrvHandle server = 0, conn = 0, cur = 0;
  bool ok = false;
  explicit Agent(bool wide) {
    ORA_Register(&drv);
    DrvInitReq init{"", ""};
    if (DrvCall<&DrvOps::DRV_Init>(&drv, &init, &server)) return;
    const std::string marker = wide ? std::string("W\x7F\x01\x01", 4) : std::string();
    ConnectReq r{};
    r.host = "";
    r.serverOptions = marker.c_str();
    r.serverType = "";
    r.dbPath = "";
    r.dataSource = "BENCH";
    r.dbOptions = db().dir.c_str();
    r.user = "bench";
    r.password = "bench";
    r.programName = "agent_fetch_bench";
    if (DrvCall<&DrvOps::DRV_Connect>(&drv, server, &r, &conn)) return;
    if (DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur)) return;
    ok = DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, kQuery) == 0;
  }
  ~Agent() {
    if (cur) DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur);
    if (conn) DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn);
    if (server) DrvCall<&DrvOps::DRV_Term>(&drv, server);
  }
};

void AgentFetch(benchmark::State &state, bool wide) {
  db();
  Agent a(wide);
  if (!a.ok) {
    state.SkipWithError("agent setup failed");
    return;
  }
  for (auto _ : state) {
    if (DrvCall<&DrvOps::DRV_Execute>(&a.drv, a.cur) != 0) {
      state.SkipWithError("execute failed");
      break;
    }
    int rows = 0;
    Dataset ds{};
    for (;;) {
      if (DrvCall<&DrvOps::DRV_Fetch>(&a.drv, a.cur, kBlock, &ds) != 0) {
        state.SkipWithError("fetch failed");
        break;
      }
      if (ds.rows == 0) break;
      rows += ds.rows;
      benchmark::DoNotOptimize(ds.cols[3].values);
    }
    DatasetFree(&ds);
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_AgentFetchNarrow(benchmark::State &state) { AgentFetch(state, false); }
BENCHMARK(BM_AgentFetchNarrow)->Unit(benchmark::kMillisecond);

void BM_AgentFetchWide(benchmark::State &state) { AgentFetch(state, true); }
BENCHMARK(BM_AgentFetchWide)->Unit(benchmark::kMillisecond);

// The same columns through OCI alone, into buffers shaped like the Dataset's
// cells: 4-byte integers, VARCHAR2 text of the decimal, VARCHAR2 text, and
// dates into 16-byte elements.
void BM_PlainOciFetch(benchmark::State &state) {
  db();
  OCIEnv *env = nullptr;
  OCIError *err = nullptr;
  OCIServer *srv = nullptr;
  OCISvcCtx *svc = nullptr;
  OCISession *ses = nullptr;
  OCIEnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void **>(&err), OCI_HTYPE_ERROR, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void **>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void **>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  OCIHandleAlloc(env, reinterpret_cast<void **>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
  const std::string &dir = db().dir;
  OCIServerAttach(srv, err, reinterpret_cast<const OraText *>(dir.c_str()), static_cast<sb4>(dir.size()),
                  OCI_DEFAULT);
  OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
  OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char *>("bench"), 5, OCI_ATTR_USERNAME, err);
  OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char *>("bench"), 5, OCI_ATTR_PASSWORD, err);
  if (OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, OCI_DEFAULT) != OCI_SUCCESS) {
    state.SkipWithError("logon failed");
    return;
  }
  OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
  OCIStmt *st = nullptr;
  OCIHandleAlloc(env, reinterpret_cast<void **>(&st), OCI_HTYPE_STMT, 0, nullptr);
  OCIStmtPrepare(st, err, reinterpret_cast<const OraText *>(kQuery), static_cast<ub4>(std::strlen(kQuery)),
                 OCI_NTV_SYNTAX, OCI_DEFAULT);
  static int32_t id[kBlock];
  static char amount[kBlock][14];
  static char name[kBlock][32];
  static unsigned char date[kBlock][16];
  static sb2 ind[4][kBlock];
  static ub2 len[4][kBlock];
  OCIDefine *d = nullptr;
  OCIDefineByPos(st, &d, err, 1, id, sizeof id[0], SQLT_INT, ind[0], len[0], nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, err, 2, amount, sizeof amount[0], SQLT_VCS, ind[1], len[1], nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, err, 3, name, sizeof name[0], SQLT_VCS, ind[2], len[2], nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, err, 4, date, sizeof date[0], SQLT_DAT, ind[3], len[3], nullptr, OCI_DEFAULT);
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
    benchmark::DoNotOptimize(date);
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  OCIHandleFree(env, OCI_HTYPE_ENV);
}
BENCHMARK(BM_PlainOciFetch)->Unit(benchmark::kMillisecond);

}  // namespace

// The agent's fetch path: a 100 000-row table (an INTEGER, a DECIMAL, a
// VARCHAR2 and a DATE column) fetched through DRV_Fetch in blocks of 100
// rows into Datasets, in the narrow and the wide mode, against a plain OCI
// array fetch of the same columns into buffers of the same layout. Goal: the
// narrow agent path within 1.3x of the plain OCI fetch (it defines straight
// into the Dataset's cells and converts only the dates afterwards); the wide
// mode pays for its UTF-16 copy of the VARCHAR2 column only.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "common/ocibench.h"
#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"

namespace {

using ocibench::kBlock;
using ocibench::kRows;
const char *const kQuery = "SELECT ID, AMOUNT, NAME, D FROM T";

ocibench::FetchTable &db() {
  static ocibench::FetchTable t("agent_fetch_bench", "NUMBER(9)");
  return t;
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
  ocibench::OciQuery q;
  if (!q.Open(db().dir, kQuery)) {
    state.SkipWithError("logon failed");
    return;
  }
  static int32_t id[kBlock];
  static char amount[kBlock][14];
  static char name[kBlock][32];
  static unsigned char date[kBlock][16];
  static sb2 ind[4][kBlock];
  static ub2 len[4][kBlock];
  OCIDefine *d = nullptr;
  OCIDefineByPos(q.st, &d, q.err, 1, id, sizeof id[0], SQLT_INT, ind[0], len[0], nullptr, OCI_DEFAULT);
  OCIDefineByPos(q.st, &d, q.err, 2, amount, sizeof amount[0], SQLT_VCS, ind[1], len[1], nullptr, OCI_DEFAULT);
  OCIDefineByPos(q.st, &d, q.err, 3, name, sizeof name[0], SQLT_VCS, ind[2], len[2], nullptr, OCI_DEFAULT);
  OCIDefineByPos(q.st, &d, q.err, 4, date, sizeof date[0], SQLT_DAT, ind[3], len[3], nullptr, OCI_DEFAULT);
  q.Run(state, date);
}
BENCHMARK(BM_PlainOciFetch)->Unit(benchmark::kMillisecond);

}  // namespace

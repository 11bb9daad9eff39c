// Static cursors against forward-only ones over the fetch benchmark's table
// grown to 1,000,000 rows: execute, then NEXT to the end with a rowset of
// 1000 rows, through the agent with the cursor layer above it. The static
// cursor reads the whole result into its cache (spilled to the private
// temporary files) at execute and serves the rowsets from there. Goal: the
// static cursor no worse than 3x the forward-only one. The counters report
// rows/s of each and the process's peak resident set.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "common/ocibench.h"
#include "drv_ora8/agentopts.h"
#include "drv_ora8/o-reg.h"
#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"

namespace {

constexpr int kStaticRows = 1000000;
constexpr int32_t kRowset = 1000;
const char *const kQuery = "SELECT ID, AMOUNT, NAME, D FROM T";

ocibench::FetchTable &db() {
  static ocibench::FetchTable t("static_bench", "NUMBER(9)", kStaticRows);
  return t;
}

struct Agent {
  DrvObject drv{};
  DrvHandle server = 0, conn = 0, cur = 0;
  bool ok = false;
  explicit Agent(int32_t cursorType) {
    g_agentOptions.noRowsetSizeLimit = 1;  // rowsets of 1000 rows
    ORA_Register(&drv);
    DrvInitReq init{"", ""};
    if (DrvCall<&DrvOps::DRV_Init>(&drv, &init, &server)) return;
    ConnectReq r{};
    r.host = "";
    r.serverOptions = "";
    r.serverType = "";
    r.dbPath = "";
    r.dataSource = "BENCH";
    r.dbOptions = db().dir.c_str();
    r.user = "bench";
    r.password = "bench";
    r.programName = "static_bench";
    if (DrvCall<&DrvOps::DRV_Connect>(&drv, server, &r, &conn)) return;
    if (DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur)) return;
    const int32_t rowset = kRowset;
    if (DrvCall<&DrvOps::DRV_SetInfo>(&drv, cur, InfoStmtOption(6), &cursorType) != 0) return;
    if (DrvCall<&DrvOps::DRV_SetInfo>(&drv, cur, InfoStmtOption(9), &rowset) != 0) return;
    ok = DrvCall<&DrvOps::DRV_Prepare>(&drv, cur, kQuery) == 0;
  }
  ~Agent() {
    if (cur) DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur);
    if (conn) DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn);
    if (server) DrvCall<&DrvOps::DRV_Term>(&drv, server);
  }
};

void Scroll(benchmark::State &state, int32_t cursorType) {
  db();
  Agent a(cursorType);
  if (!a.ok) {
    state.SkipWithError("agent setup failed");
    return;
  }
  for (auto _ : state) {
    if (DrvCall<&DrvOps::DRV_Execute>(&a.drv, a.cur) != 0) {
      state.SkipWithError("execute failed");
      break;
    }
    long rows = 0;
    for (int32_t target = 1;; target += kRowset) {
      Rowset *rs = nullptr;
      uint32_t got = 0;
      int32_t count = 0;
      const int32_t code = DrvCall<&DrvOps::DRV_FetchScroll>(&a.drv, a.cur, &rs, target, &got, &count,
                                                             static_cast<uint16_t>(1));
      if (code == 0) {
        rows += got;
        benchmark::DoNotOptimize(rs->rows->cols[3].values);
      }
      RowsetFree(&rs);
      if (code != 0) break;
    }
    DrvCall<&DrvOps::DRV_CloseCursor>(&a.drv, a.cur);
    if (rows != kStaticRows) state.SkipWithError("wrong row count");
  }
  state.SetItemsProcessed(state.iterations() * kStaticRows);
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["peak_rss_MiB"] = static_cast<double>(ru.ru_maxrss) / 1024.0;
}

void BM_ForwardOnly(benchmark::State &state) { Scroll(state, 0); }
BENCHMARK(BM_ForwardOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Static(benchmark::State &state) { Scroll(state, 3); }
BENCHMARK(BM_Static)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

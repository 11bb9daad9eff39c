// Keyset-driven and dynamic cursors scrolling NEXT through 200,000 rows
// with a rowset of 100, through the agent with the cursor layer above it.
// The rows are read back by key for every rowset (a dynamic cursor asks its
// keys afresh each time too), so the time per rowset must stay flat from
// the first rowset to the last: the counters give the time per rowset over
// the first and the last 100 rowsets, and their ratio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "common/agentbench.h"
#include "common/ocibench.h"
#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/drvops.h"

namespace {

constexpr int kRows = 200000;
constexpr int32_t kRowset = 100;
constexpr int kEdge = 100;  // rowsets timed at each end
const char *const kQuery = "SELECT ID, AMOUNT, NAME, D FROM T ORDER BY ID";

ocibench::FetchTable &db() {
  static ocibench::FetchTable t("ksfetch_bench", "NUMBER(9) NOT NULL PRIMARY KEY", kRows);
  return t;
}

// The agent on the benchmark's database with the query prepared on a
// cursor of the type, rowsets of 100.
struct Cursor : agentbench::Agent {
  explicit Cursor(int32_t cursorType) : Agent(db().dir, "bench", "bench", "ksfetch_bench") {
    if (!ok) return;
    ok = false;
    // Dynamic cursors once the connection's capabilities are known.
    int32_t mask = 0;
    int16_t len = 0;
    DrvCall<&DrvOps::DRV_GetInfo>(&drv, conn, INFO_DYNMIX, &mask, static_cast<uint16_t>(sizeof mask), &len);
    const int32_t rowset = kRowset;
    if (DrvCall<&DrvOps::DRV_SetInfo>(&drv, cur, InfoStmtOption(6), &cursorType) != 0) return;
    if (DrvCall<&DrvOps::DRV_SetInfo>(&drv, cur, InfoStmtOption(9), &rowset) != 0) return;
    ok = Prepare(kQuery);
  }
};

void Scroll(benchmark::State &state, int32_t cursorType) {
  db();
  Cursor a(cursorType);
  if (!a.ok) {
    state.SkipWithError("agent setup failed");
    return;
  }
  using Clock = std::chrono::steady_clock;
  double firstUs = 0, lastUs = 0;
  for (auto _ : state) {
    if (DrvCall<&DrvOps::DRV_Execute>(&a.drv, a.cur) != 0) {
      state.SkipWithError("execute failed");
      break;
    }
    long rows = 0;
    const int rowsets = kRows / kRowset;
    for (int i = 0;; ++i) {
      Rowset *rs = nullptr;
      uint32_t got = 0;
      int32_t count = 0;
      // NEXT (FIRST for the first rowset) with the 1-based target row a
      // keyset-driven cursor scrolls by.
      const uint16_t orientation = i == 0 ? 2 : 1;
      const auto t0 = Clock::now();
      const int32_t code = DrvCall<&DrvOps::DRV_FetchScroll>(&a.drv, a.cur, &rs, 1 + i * kRowset, &got, &count,
                                                             orientation);
      const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
      if (i > 0 && i <= kEdge) firstUs += us;
      if (i >= rowsets - kEdge && i < rowsets) lastUs += us;
      if (code == 0) {
        rows += got;
        benchmark::DoNotOptimize(rs->rows->cols[3].values);
      }
      RowsetFree(&rs);
      if (code != 0) break;
    }
    DrvCall<&DrvOps::DRV_CloseCursor>(&a.drv, a.cur);
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
  const double n = static_cast<double>(state.iterations()) * kEdge;
  state.counters["first_rowsets_us"] = firstUs / n;
  state.counters["last_rowsets_us"] = lastUs / n;
  state.counters["last_over_first"] = firstUs > 0 ? lastUs / firstUs : 0;
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_KeysetNext(benchmark::State &state) { Scroll(state, 1); }
BENCHMARK(BM_KeysetNext)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_DynamicNext(benchmark::State &state) { Scroll(state, 2); }
BENCHMARK(BM_DynamicNext)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

// A 100 000-row REF CURSOR that a procedure opens, fetched through the
// agent in blocks of 100 rows, against the same SELECT prepared and fetched
// directly. Goal: the REF CURSOR within 1.5x of the SELECT (the call adds one
// block execution and a describe of the cursor; the rows travel the same way).
#include <benchmark/benchmark.h>

#include <string>

#include "common/agentbench.h"
#include "common/ocibench.h"

namespace {

using ocibench::kBlock;
using ocibench::kRows;
const char *const kQuery = "SELECT ID, AMOUNT, NAME, D FROM T";

ocibench::FetchTable &db() {
  static ocibench::FetchTable t("refcursor_bench", "NUMBER(9)");
  return t;
}

void FetchAll(benchmark::State &state, const char *text) {
  agentbench::Agent a(db().dir, "bench", "bench", "refcursor_bench");
  const std::string proc =
      std::string("CREATE OR REPLACE PROCEDURE P_RC(RC OUT SYS_REFCURSOR) AS\nBEGIN\n  OPEN RC FOR ") + kQuery + ";\nEND;";
  if (!a.ok || !a.Exec(proc) || !a.Prepare(text)) {
    state.SkipWithError("agent setup failed");
    return;
  }
  agentbench::ExecuteAndFetchAll(state, a, kBlock, kRows);
}

void BM_RefCursorFetch(benchmark::State &state) { FetchAll(state, "{call P_RC}"); }
BENCHMARK(BM_RefCursorFetch)->Unit(benchmark::kMillisecond);

void BM_SelectFetch(benchmark::State &state) { FetchAll(state, kQuery); }
BENCHMARK(BM_SelectFetch)->Unit(benchmark::kMillisecond);

}  // namespace

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

#include "common/agentbench.h"
#include "common/ocibench.h"

namespace {

using ocibench::kBlock;
using ocibench::kRows;
const char *const kQuery = "SELECT ID, AMOUNT, NAME, D FROM T";

ocibench::FetchTable &db() {
  static ocibench::FetchTable t("agent_fetch_bench", "NUMBER(9)");
  return t;
}

void AgentFetch(benchmark::State &state, bool wide) {
  agentbench::Agent a(db().dir, "bench", "bench", "agent_fetch_bench", wide);
  if (!a.ok || !a.Prepare(kQuery)) {
    state.SkipWithError("agent setup failed");
    return;
  }
  agentbench::ExecuteAndFetchAll(state, a, kBlock, kRows);
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

// Array fetch of a 100 000-row table through the OCI stand-in (defines of an
// integer, a double, a VARCHAR with length prefix and a 7-byte DATE, fetched
// 100 rows per call) against raw sqlite3 reading the same columns of the same
// file into the same kind of buffers. Goal: OCI within 1.5x of raw sqlite3.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/ocibench.h"

namespace {

using ocibench::kBlock;
using ocibench::kRows;

ocibench::FetchTable &db() {
  static ocibench::FetchTable t("ocilite_bench", "NUMBER(10)");
  return t;
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
  ocibench::OciQuery q;
  if (!q.Open(db().dir, "select id, amount, name, d from t")) {
    state.SkipWithError("logon failed");
    return;
  }
  static Row r;
  OCIDefine* d = nullptr;
  OCIDefineByPos(q.st, &d, q.err, 1, r.id, sizeof r.id[0], SQLT_INT, r.ind[0], nullptr, nullptr, OCI_DEFAULT);
  OCIDefineByPos(q.st, &d, q.err, 2, r.amount, sizeof r.amount[0], SQLT_BDOUBLE, r.ind[1], nullptr, nullptr,
                 OCI_DEFAULT);
  OCIDefineByPos(q.st, &d, q.err, 3, r.name, sizeof r.name[0], SQLT_VCS, r.ind[2], nullptr, nullptr, OCI_DEFAULT);
  OCIDefineByPos(q.st, &d, q.err, 4, r.date, 7, SQLT_DAT, r.ind[3], nullptr, nullptr, OCI_DEFAULT);
  q.Run(state, r);
}
BENCHMARK(BM_OciArrayFetch)->Unit(benchmark::kMillisecond);

}  // namespace

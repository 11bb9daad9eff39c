// Request building must stay linear in the statement's length: one pass for
// the scan, one per escape body, one for the ROWID rewrite and one for the
// classification.
#include <benchmark/benchmark.h>

#include <string>

#include "drv_ora8/o-sql.h"

namespace {

// An INSERT of n rows' worth of values: markers, literals, scalar functions
// and date literals.
std::string long_insert(int64_t items) {
  std::string sql = "insert into t values (";
  for (int64_t i = 0; i < items; ++i) {
    if (i) sql += ", ";
    switch (i % 4) {
      case 0: sql += "?"; break;
      case 1: sql += "'it''s {not} an escape ?'"; break;
      case 2: sql += "{fn ucase({fn ltrim(?)})}"; break;
      default: sql += "{ts '2001-02-03 04:05:06'}"; break;
    }
  }
  return sql + ")";
}

void BM_RequestInsert(benchmark::State &state) {
  const std::string sql = long_insert(state.range(0));
  for (auto _ : state) {
    SqlRequest r{};
    benchmark::DoNotOptimize(Request(&r, sql.c_str(), true));
    SqlRequest_Free(&r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sql.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RequestInsert)->RangeMultiplier(8)->Range(8, 32768)->Complexity(benchmark::oN);

void BM_RequestSelectRowid(benchmark::State &state) {
  std::string sql = "select rowid";
  for (int64_t i = 0; i < state.range(0); ++i) sql += ", c" + std::to_string(i);
  sql += " from t where a = ?";
  for (auto _ : state) {
    SqlRequest r{};
    benchmark::DoNotOptimize(Request(&r, sql.c_str(), false));
    SqlRequest_Free(&r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sql.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RequestSelectRowid)->RangeMultiplier(8)->Range(8, 32768)->Complexity(benchmark::oN);

}  // namespace

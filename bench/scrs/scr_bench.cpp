// SQL analysis time against the length of an IN list and of an OR chain:
// scan, parse and regeneration stay linear (benchmark's complexity fit
// reports the order it measures).
#include <benchmark/benchmark.h>

#include <string>

#include "scrs/scr.h"

namespace {

std::string List(int n, const char *item, const char *sep) {
  std::string s;
  for (int i = 0; i < n; ++i) {
    if (i) s += sep;
    s += item + std::to_string(i);
  }
  return s;
}

void Analyse(benchmark::State &state, const std::string &sql) {
  for (auto _ : state) {
    AnalysedSQL a;
    SCR_AnalysedInit(&a);
    benchmark::DoNotOptimize(SCR_AnalyseSQL(&a, sql.c_str(), 0, 0));
    SCR_AnalysedFree(&a);
  }
  state.SetComplexityN(state.range(0));
}

void BM_AnalyseInList(benchmark::State &state) {
  Analyse(state, "SELECT a FROM t WHERE a IN (" + List(static_cast<int>(state.range(0)), "", ", ") + ")");
}
BENCHMARK(BM_AnalyseInList)->RangeMultiplier(4)->Range(256, 65536)->Complexity(benchmark::oN);

void BM_AnalyseOrChain(benchmark::State &state) {
  Analyse(state, "SELECT a FROM t WHERE " + List(static_cast<int>(state.range(0)), "a = ", " OR "));
}
BENCHMARK(BM_AnalyseOrChain)->RangeMultiplier(4)->Range(256, 65536)->Complexity(benchmark::oN);

}  // namespace

// Hot paths of the runtime foundation: the W entry points convert every text
// argument and result, handle lookups run on every call, and SQL translation
// builds its texts in a memory pool.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "util/handletab.h"
#include "util/mpl.h"
#include "util/utf.h"

namespace {

std::vector<uint16_t> SampleUtf16(size_t units) {
  std::vector<uint16_t> v;
  const uint16_t mix[] = {'S', 'E', 'L', 0xE9, 0x20AC, ' ', 0xD83D, 0xDE00};
  while (v.size() < units) v.push_back(mix[v.size() % 8]);
  if (v.size() > units) v.resize(units);
  v.push_back(0);
  return v;
}

void BM_Utf16ToUtf8Dupn(benchmark::State &state) {
  auto text = SampleUtf16(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    char *s = utf16_to_utf8_dupn(text.data(), UTF_NTS);
    benchmark::DoNotOptimize(s);
    free(s);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_Utf16ToUtf8Dupn)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_Utf8ToUtf16Bufb(benchmark::State &state) {
  auto wide = SampleUtf16(static_cast<size_t>(state.range(0)));
  char *text = utf16_to_utf8_dup(wide.data());
  std::vector<uint16_t> out(wide.size() + 1);
  for (auto _ : state) {
    uint32_t count = 0;
    benchmark::DoNotOptimize(utf8_to_utf16_bufb(text, out.data(), static_cast<int32_t>(out.size() * 2), &count));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
  free(text);
}
BENCHMARK(BM_Utf8ToUtf16Bufb)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_HandleLookup(benchmark::State &state) {
  HandleTable t{};
  HandleTable_Init(&t, 3);
  HandleTable_EnableLocking(&t);
  std::vector<HandleValue> handles(1000);
  int obj = 0;
  for (auto &h : handles) HandleTable_Add(&t, &h, &obj);
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(HandleTable_Lookup(&t, handles[i++ % handles.size()]));
  HandleTable_Destroy(&t);
}
BENCHMARK(BM_HandleLookup);

void BM_HandleAddRemove(benchmark::State &state) {
  HandleTable t{};
  HandleTable_Init(&t, 3);
  HandleTable_EnableLocking(&t);
  std::vector<HandleValue> handles(static_cast<size_t>(state.range(0)));
  int obj = 0;
  for (auto &h : handles) HandleTable_Add(&t, &h, &obj);
  size_t i = 0;
  for (auto _ : state) {
    HandleValue &h = handles[(i++ * 7919) % handles.size()];
    HandleTable_Remove(&t, h);
    HandleTable_Add(&t, &h, &obj);
  }
  HandleTable_Destroy(&t);
}
BENCHMARK(BM_HandleAddRemove)->Arg(100)->Arg(50000);

void BM_MemPoolBuildText(benchmark::State &state) {
  const std::string piece = "SELECT COL_0001, ";
  for (auto _ : state) {
    MemPool pool;
    mpl_init(&pool);
    for (int64_t i = 0; i < state.range(0); ++i) mpl_append(&pool, piece.data(), piece.size());
    mpl_append_byte(&pool, '\0');
    benchmark::DoNotOptimize(mpl_finish(&pool));
    mpl_free_all(&pool);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * static_cast<int64_t>(piece.size()));
}
BENCHMARK(BM_MemPoolBuildText)->Arg(10)->Arg(100000);

}  // namespace

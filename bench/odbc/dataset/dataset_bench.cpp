// Dataset hot paths: reading cells, comparing key rows, and appending fetch
// blocks (long buffers move, nothing is copied per cell). Each should cost
// time in proportion to the rows touched.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "odbc/dataset.h"

namespace {

// A key-like Dataset: integer, counted text, long text.
void Fill(Dataset &ds, int32_t rows) {
  DatasetInit(&ds, 3);
  ds.cols[0].type = VT_SLONG;
  ds.cols[0].size = DatasetElemSize(VT_SLONG, 0);
  ds.cols[1].type = VT_VARCHAR4;
  ds.cols[1].size = DatasetElemSize(VT_VARCHAR4, 30);
  ds.cols[2].type = VT_LONGCHAR;
  ds.cols[2].size = DatasetElemSize(VT_LONGCHAR, 0);
  ds.columns = 3;
  DatasetAllocRows(&ds, rows);
  for (int32_t r = 0; r < rows; ++r) {
    std::memcpy(ds.cols[0].values + size_t(r) * 4, &r, 4);
    unsigned char *e = ds.cols[1].values + size_t(r) * ds.cols[1].size;
    uint32_t len = 20;
    std::memcpy(e, &len, 4);
    std::memset(e + 4, 'a' + r % 26, len);
    LongValue lv{16, std::malloc(16)};
    std::memset(lv.buffer, 'x', 16);
    std::memcpy(ds.cols[2].values + size_t(r) * 16, &lv, sizeof lv);
    for (int c = 0; c < 3; ++c) ds.cols[c].indicators[r] = 0;
  }
  ds.rows = rows;
}

void BM_ValueGet(benchmark::State &state) {
  Dataset ds{};
  Fill(ds, int32_t(state.range(0)));
  char buf[64];
  for (auto _ : state) {
    for (int32_t r = 0; r < ds.rows; ++r) {
      uint32_t len = sizeof buf;
      DatasetValueGet(&ds, uint32_t(r), 1, buf, &len);
      benchmark::DoNotOptimize(buf);
    }
  }
  state.SetItemsProcessed(state.iterations() * ds.rows);
  DatasetFree(&ds);
}
BENCHMARK(BM_ValueGet)->Arg(1 << 10)->Arg(1 << 14);

void BM_RowCompare(benchmark::State &state) {
  Dataset a{}, b{};
  Fill(a, int32_t(state.range(0)));
  Fill(b, int32_t(state.range(0)));
  for (auto _ : state) {
    int equal = 0;
    for (int32_t r = 0; r < a.rows; ++r) DatasetRowCompare(&a, uint32_t(r), &b, uint32_t(r), &equal);
    benchmark::DoNotOptimize(equal);
  }
  state.SetItemsProcessed(state.iterations() * a.rows);
  DatasetFree(&a);
  DatasetFree(&b);
}
BENCHMARK(BM_RowCompare)->Arg(1 << 10)->Arg(1 << 14);

// Appending fetch blocks of 100 rows to a growing static set.
void BM_AppendBlocks(benchmark::State &state) {
  const int32_t blocks = int32_t(state.range(0));
  for (auto _ : state) {
    Dataset all{};
    Fill(all, 0);
    for (int32_t i = 0; i < blocks; ++i) {
      Dataset block{};
      Fill(block, 100);
      DatasetAppend(&all, &block);
      DatasetFree(&block);
    }
    DatasetFree(&all);
  }
  state.SetItemsProcessed(state.iterations() * blocks * 100);
}
BENCHMARK(BM_AppendBlocks)->Arg(10)->Arg(100);

}  // namespace

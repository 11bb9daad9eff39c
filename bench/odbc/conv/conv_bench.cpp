// The text copy rules that every fetched or output text cell goes through:
// narrow (UTF-8) to wide (UTF-16) and back, whole into a large buffer and cut
// into a small one (where the cut must find a character boundary). 1000 cells
// of about 20 characters a call; Arg 0 is plain ASCII text, Arg 1 a mix of
// ASCII, 2- and 3-byte characters and surrogate pairs. Reports cells/s.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "odbc/data/ctype.h"

namespace {

constexpr int kCells = 1000;

// kCells UTF-8 texts, one after another; offsets[i]..offsets[i + 1] is cell i.
struct Cells {
  std::string bytes;
  std::vector<size_t> offsets;
  std::vector<uint16_t> units;  // the same texts in UTF-16
  std::vector<size_t> unitOffsets;
};

const Cells &Sample(bool mixed) {
  static Cells cells[2];
  Cells &c = cells[mixed];
  if (!c.offsets.empty()) return c;
  // "customer name " then a number; the mixed cells put an accented letter,
  // a euro sign and an emoji into it.
  for (int i = 0; i < kCells; ++i) {
    c.offsets.push_back(c.bytes.size());
    c.unitOffsets.push_back(c.units.size());
    const std::string n = std::to_string(i * 7919);
    if (mixed) {
      c.bytes += "cust\xC3\xB3mer \xE2\x82\xAC" + n + " \xF0\x9F\x98\x80 name";
      const uint16_t head[] = {'c', 'u', 's', 't', 0xF3, 'm', 'e', 'r', ' ', 0x20AC};
      c.units.insert(c.units.end(), std::begin(head), std::end(head));
      for (char d : n) c.units.push_back(uint16_t(d));
      const uint16_t tail[] = {' ', 0xD83D, 0xDE00, ' ', 'n', 'a', 'm', 'e'};
      c.units.insert(c.units.end(), std::begin(tail), std::end(tail));
    } else {
      c.bytes += "customer name " + n;
      for (char d : "customer name ") if (d) c.units.push_back(uint16_t(d));
      for (char d : n) c.units.push_back(uint16_t(d));
    }
  }
  c.offsets.push_back(c.bytes.size());
  c.unitOffsets.push_back(c.units.size());
  return c;
}

// dstLen: the application buffer in bytes (large: whole values; small: cut).
void CharToWChar(benchmark::State &state, SQLLEN dstLen) {
  const Cells &c = Sample(state.range(0) != 0);
  std::vector<uint8_t> dst(static_cast<size_t>(dstLen));
  for (auto _ : state) {
    for (int i = 0; i < kCells; ++i) {
      const SQLLEN n = SQLLEN(c.offsets[i + 1] - c.offsets[i]);
      SQLLEN len = 0;
      int pending = 0;
      CopyCharToWChar(c.bytes.data() + c.offsets[i], n, n, 0, true, true, dst.data(), dstLen, &len, &pending);
      benchmark::DoNotOptimize(len);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kCells);
}

void WCharToChar(benchmark::State &state, SQLLEN dstLen) {
  const Cells &c = Sample(state.range(0) != 0);
  std::vector<uint8_t> dst(static_cast<size_t>(dstLen));
  for (auto _ : state) {
    for (int i = 0; i < kCells; ++i) {
      const SQLLEN n = SQLLEN(c.unitOffsets[i + 1] - c.unitOffsets[i]);
      SQLLEN len = 0;
      int pending = 0;
      CopyWCharToChar(c.units.data() + c.unitOffsets[i], n, n, 0, true, true, dst.data(), dstLen, &len, &pending);
      benchmark::DoNotOptimize(len);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kCells);
}

void BM_CopyCharOutCut(benchmark::State &state) {
  const Cells &c = Sample(state.range(0) != 0);
  char dst[12];
  for (auto _ : state) {
    for (int i = 0; i < kCells; ++i) {
      const SQLLEN n = SQLLEN(c.offsets[i + 1] - c.offsets[i]);
      SQLLEN len = 0;
      int pending = 0;
      CopyCharOut(c.bytes.data() + c.offsets[i], n, n, 0, true, true, dst, sizeof dst, &len, &pending);
      benchmark::DoNotOptimize(len);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kCells);
}

void BM_CopyCharToWChar(benchmark::State &state) { CharToWChar(state, 256); }
BENCHMARK(BM_CopyCharToWChar)->Arg(0)->Arg(1);
void BM_CopyCharToWCharCut(benchmark::State &state) { CharToWChar(state, 24); }
BENCHMARK(BM_CopyCharToWCharCut)->Arg(0)->Arg(1);
void BM_CopyWCharToChar(benchmark::State &state) { WCharToChar(state, 256); }
BENCHMARK(BM_CopyWCharToChar)->Arg(0)->Arg(1);
void BM_CopyWCharToCharCut(benchmark::State &state) { WCharToChar(state, 12); }
BENCHMARK(BM_CopyWCharToCharCut)->Arg(0)->Arg(1);
BENCHMARK(BM_CopyCharOutCut)->Arg(0)->Arg(1);

}  // namespace

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

using CopyRule = SQLRETURN (*)(const void *, SQLLEN, SQLLEN, SQLLEN, bool, bool, void *, SQLLEN, SQLLEN *, int *,
                               SQLLEN *);

// Every cell through Copy (its source narrow or wide) into a buffer of dstLen
// bytes: large for whole values, small for cut ones.
template <CopyRule Copy, bool WideSource>
void CopyCells(benchmark::State &state, SQLLEN dstLen) {
  const Cells &c = Sample(state.range(0) != 0);
  const auto *base = WideSource ? static_cast<const void *>(c.units.data()) : c.bytes.data();
  const std::vector<size_t> &offsets = WideSource ? c.unitOffsets : c.offsets;
  constexpr size_t kUnit = WideSource ? 2 : 1;
  std::vector<uint8_t> dst(static_cast<size_t>(dstLen));
  for (auto _ : state) {
    for (int i = 0; i < kCells; ++i) {
      const SQLLEN n = SQLLEN(offsets[i + 1] - offsets[i]);
      SQLLEN len = 0;
      int pending = 0;
      Copy(static_cast<const char *>(base) + kUnit * offsets[i], n, n, 0, true, true, dst.data(), dstLen, &len,
           &pending, nullptr);
      benchmark::DoNotOptimize(len);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kCells);
}

void BM_CopyCharToWChar(benchmark::State &state) { CopyCells<CopyCharToWChar, false>(state, 256); }
BENCHMARK(BM_CopyCharToWChar)->Arg(0)->Arg(1);
void BM_CopyCharToWCharCut(benchmark::State &state) { CopyCells<CopyCharToWChar, false>(state, 24); }
BENCHMARK(BM_CopyCharToWCharCut)->Arg(0)->Arg(1);
void BM_CopyWCharToChar(benchmark::State &state) { CopyCells<CopyWCharToChar, true>(state, 256); }
BENCHMARK(BM_CopyWCharToChar)->Arg(0)->Arg(1);
void BM_CopyWCharToCharCut(benchmark::State &state) { CopyCells<CopyWCharToChar, true>(state, 12); }
BENCHMARK(BM_CopyWCharToCharCut)->Arg(0)->Arg(1);
void BM_CopyCharOutCut(benchmark::State &state) { CopyCells<CopyCharOut, false>(state, 12); }
BENCHMARK(BM_CopyCharOutCut)->Arg(0)->Arg(1);

}  // namespace

#pragma once
// A lower cursor for the dataset cache's tests: DRV_Fetch serves `total`
// rows {id INTEGER = row number, name VARCHAR(10) "r<id>", NULL every
// seventh row}, and with `deferred` a third long column left with the agent
// (one row per fetch, as the agent hands such results over) whose value
// "long<id>" DRV_GetDataChunk serves in pieces of 3 bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"

namespace dsctest {

class Lower {
 public:
  static constexpr uint32_t kCursor = 0xCCCC0001;
  explicit Lower(int32_t total) : total_(total) {
    current_ = this;
    table_.DRV_Fetch = &Fetch;
    table_.DRV_GetDataChunk = &Chunk;
    object_ = {2, &table_};
  }
  ~Lower() { current_ = nullptr; }
  const DrvObject *Object() const { return &object_; }

  bool deferred = false;
  int failAfter = -1;  // fetches that succeed before one fails with 16

  static std::string Name(int32_t id) { return "r" + std::to_string(id); }
  static bool IsNull(int32_t id) { return id % 7 == 3; }
  static std::string Long(int32_t id) { return "long" + std::to_string(id); }

  // Rows start .. start + n - 1 laid out as DRV_Fetch lays them.
  void Block(int32_t start, int32_t n, Dataset *ds, bool longDeferred = false) const {
    DatasetFree(ds);
    DatasetInit(ds, 3);
    ds->columns = deferred ? 3 : 2;
    ds->cols[0].type = VT_SLONG;
    ds->cols[0].size = 4;
    ds->cols[1].type = VT_STRING;
    ds->cols[1].size = DatasetElemSize(VT_STRING, 10);
    ds->cols[2].type = VT_LONGCHAR;
    ds->cols[2].size = sizeof(LongValue);
    DatasetAllocRows(ds, n);
    for (int32_t r = 0; r < n; ++r) {
      const int32_t id = start + r;
      memcpy(ds->cols[0].values + size_t(r) * 4, &id, 4);
      ds->cols[0].indicators[r] = 0;
      if (!IsNull(id)) {
        const std::string s = Name(id);
        memcpy(ds->cols[1].values + size_t(r) * ds->cols[1].size, s.c_str(), s.size() + 1);
        ds->cols[1].indicators[r] = 0;
      }
      if (deferred) {
        if (longDeferred) {
          ds->cols[2].indicators[r] = kIndDeferred;
        } else {
          const std::string s = Long(id);
          LongValue lv{static_cast<uint32_t>(s.size()), strdup(s.c_str())};
          memcpy(ds->cols[2].values + size_t(r) * sizeof lv, &lv, sizeof lv);
          ds->cols[2].indicators[r] = 0;
        }
      }
    }
    ds->rows = n;
  }

  // Row `row` of ds holds the row numbered id.
  bool Matches(const Dataset &ds, int32_t row, int32_t id) const {
    if (row < 0 || row >= ds.rows) return false;
    int32_t got = -1;
    memcpy(&got, ds.cols[0].values + size_t(row) * 4, 4);
    if (got != id) return false;
    const DatasetCol &name = ds.cols[1];
    if (IsNull(id)) {
      if (name.indicators[row] != kIndNull) return false;
    } else if (name.indicators[row] != 0 ||
               Name(id) != reinterpret_cast<const char *>(name.values + size_t(row) * name.size)) {
      return false;
    }
    if (!deferred) return true;
    LongValue lv{};
    memcpy(&lv, ds.cols[2].values + size_t(row) * sizeof lv, sizeof lv);
    return ds.cols[2].indicators[row] == 0 && lv.buffer &&
           std::string(static_cast<const char *>(lv.buffer), lv.length) == Long(id);
  }

 private:
  static int32_t Fetch(DrvHandle, uint16_t rows, Dataset *out) {
    Lower *l = current_;
    if (l->failAfter == 0) return E_S1001;
    if (l->failAfter > 0) --l->failAfter;
    int32_t n = l->total_ - l->next_;
    if (n > rows) n = rows;
    if (l->deferred && n > 1) n = 1;
    if (n <= 0) {
      DatasetFree(out);
      return 0;
    }
    l->blockStart_ = l->next_;
    l->Block(l->next_, n, out, true);
    l->next_ += n;
    return 0;
  }
  static int32_t Chunk(DrvHandle, int32_t column, int32_t row, int32_t maxBytes, void **piece, int32_t *size,
                       int32_t *type, int32_t *left) {
    Lower *l = current_;
    if (column != 3) return E_S1000;
    const std::string s = Long(l->blockStart_ + row - 1);
    int32_t &pos = l->chunkPos_;
    const int32_t rest = static_cast<int32_t>(s.size()) - pos;
    *left = rest;
    *type = 1;
    int32_t n = rest < 3 ? rest : 3;
    if (n > maxBytes) n = maxBytes;
    *size = n;
    *piece = nullptr;
    if (n > 0) {
      *piece = malloc(static_cast<size_t>(n));
      memcpy(*piece, s.data() + pos, static_cast<size_t>(n));
      pos += n;
    } else {
      pos = 0;  // the value is done: the next one starts afresh
    }
    return 0;
  }

  static inline Lower *current_ = nullptr;
  int32_t total_;
  int32_t next_ = 0;
  int32_t blockStart_ = 0;
  int32_t chunkPos_ = 0;
  DrvOps table_{};
  DrvObject object_{};
};

}  // namespace dsctest

// Dataset row and column operations: the pieces from which the cursor layer
// builds keysets, rowsets, static result sets and key-value sets. Each one
// either gives the target its own copy of a long buffer or moves the buffer
// and clears the source pointer, so that no buffer is ever owned twice.
#include <malloc.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>

#include "odbc/dataset.h"
#include "odbc/dsimpl.h"
#include "odbc/sqlstate.h"

namespace {

inline unsigned char *Elem(const DatasetCol &c, uint32_t row) { return c.values + size_t(row) * c.size; }

inline bool SameColLayout(const DatasetCol &a, const DatasetCol &b) { return a.type == b.type && a.size == b.size; }

bool SameLayout(const Dataset &a, const Dataset &b) {
  if (a.columns != b.columns) return false;
  for (uint16_t c = 0; c < a.columns; ++c)
    if (!SameColLayout(a.cols[c], b.cols[c])) return false;
  return true;
}

inline bool RowIn(const Dataset &ds, uint32_t row) { return ds.rows > 0 && row < uint32_t(ds.rows); }

// Frees the long buffers of rows [from, to) of a column with storage.
void FreeLongRange(DatasetCol &c, int32_t from, int32_t to) {
  if (!c.values || !DsIsLong(c.type)) return;
  for (int32_t r = from; r < to; ++r) {
    unsigned char *elem = Elem(c, uint32_t(r));
    std::free(DsLongGet(elem).buffer);
    DsLongClearBuffer(elem);
  }
}

// Rows the column's storage really has room for: at least the capacity,
// more after an append grew it ahead.
size_t StorageRows(const DatasetCol &c) {
  if (!c.values || !c.indicators) return 0;
  size_t rows = malloc_usable_size(c.indicators) / sizeof(int16_t);
  if (c.size) rows = std::min(rows, (malloc_usable_size(c.values) - 1) / c.size);
  return rows;
}

}  // namespace

int DatasetRowInsert(Dataset *ds, uint32_t a) {
  if (!ds || ds->columns == 0 || ds->rows >= ds->capacity || a > uint32_t(ds->rows)) return E_S1000;
  const uint32_t rows = uint32_t(ds->rows);
  for (uint16_t col = 0; col < ds->columns; ++col) {
    DatasetCol &c = ds->cols[col];
    if (a < rows) {
      // The element just past the rows is overwritten by the move: a buffer
      // left there would be lost.
      FreeLongRange(c, int32_t(rows), int32_t(rows) + 1);
      std::memmove(Elem(c, a + 1), Elem(c, a), size_t(rows - a) * c.size);
      std::memset(Elem(c, a), 0, c.size);
      std::memmove(c.indicators + a + 1, c.indicators + a, size_t(rows - a) * sizeof(int16_t));
    }
    c.indicators[a] = kIndNull;
  }
  ds->rows++;
  assert(DatasetCheck(ds));
  return 0;
}

int DatasetRowCompare(const Dataset *left, uint32_t a, const Dataset *right, uint32_t b, int *equal) {
  if (!equal || !left || !right || !RowIn(*left, a) || !RowIn(*right, b) || left->columns != right->columns)
    return E_S1000;
  int same = 1;
  for (uint16_t col = 0; col < left->columns && same; ++col) {
    const DatasetCol &l = left->cols[col];
    const DatasetCol &r = right->cols[col];
    if (!SameColLayout(l, r)) return E_S1000;
    const bool lnull = l.indicators[a] == kIndNull, rnull = r.indicators[b] == kIndNull;
    if (lnull || rnull) {
      same = lnull == rnull;
      continue;
    }
    // Only the bytes that belong to the value count: padding behind a
    // terminator or a length prefix does not.
    const unsigned char *lp, *rp;
    uint32_t ln, rn;
    DsValueSpan(l, a, &lp, &ln);
    DsValueSpan(r, b, &rp, &rn);
    same = ln == rn && (ln == 0 || std::memcmp(lp, rp, ln) == 0);
  }
  *equal = same;
  return 0;
}

int DatasetRowCopy(Dataset *dst, Dataset *src, uint32_t a, uint32_t b, int move) {
  if (!dst || !src || dst->columns != src->columns || !RowIn(*src, b)) return E_S1000;
  if (dst->rows < 0 || a >= uint32_t(dst->rows)) {
    if (dst->rows >= dst->capacity) return E_S1000;
    a = uint32_t(dst->rows);
  }
  if (!SameLayout(*dst, *src)) return E_S1000;
  if (dst == src && a == b) return 0;

  // Copies of the long buffers first, so that running out of memory changes
  // nothing.
  void **copies = nullptr;
  if (!move) {
    for (uint16_t col = 0; col < src->columns; ++col) {
      const DatasetCol &s = src->cols[col];
      if (!DsIsLong(s.type) || s.indicators[b] == kIndNull) continue;
      LongValue lv = DsLongGet(Elem(s, b));
      if (!lv.buffer) continue;
      if (!copies && !(copies = static_cast<void **>(DsCalloc(src->columns, sizeof(void *))))) return E_S1001;
      if (!(copies[col] = DsLongCopy(s.type, lv))) {
        for (uint16_t k = 0; k < col; ++k) std::free(copies[k]);
        std::free(copies);
        return E_S1001;
      }
    }
  }

  for (uint16_t col = 0; col < dst->columns; ++col) {
    DatasetCol &d = dst->cols[col];
    DatasetCol &s = src->cols[col];
    unsigned char *to = Elem(d, a);
    unsigned char *from = Elem(s, b);
    // Whatever the row's indicator says, a buffer it holds is its own.
    if (DsIsLong(d.type)) std::free(DsLongGet(to).buffer);
    std::memcpy(to, from, d.size);
    d.indicators[a] = s.indicators[b];
    if (!DsIsLong(d.type)) continue;
    if (move) {
      DsLongClearBuffer(from);
    } else {
      LongValue lv = DsLongGet(to);
      lv.buffer = copies ? copies[col] : nullptr;
      DsLongSet(to, lv);
    }
  }
  std::free(copies);
  if (a == uint32_t(dst->rows)) dst->rows++;
  assert(DatasetCheck(dst) && DatasetCheck(src));
  return 0;
}

int DatasetClone(Dataset **out, const Dataset *src) {
  if (!out || !src) return E_S1000;
  auto *copy = static_cast<Dataset *>(DsCalloc(1, sizeof(Dataset)));
  if (!copy) return E_S1001;
  if (DatasetInit(copy, src->slots) != 0) {
    std::free(copy);
    return E_S1001;
  }
  if (src->rows > 0) {
    copy->columns = src->columns;
    copy->capacity = src->capacity;
    copy->rows = src->rows;
    for (uint16_t col = 0; col < src->columns; ++col) {
      const DatasetCol &s = src->cols[col];
      DatasetCol &c = copy->cols[col];
      c.type = s.type;
      c.size = s.size;
      int rc = DatasetColAlloc(&c, src->capacity);
      if (rc == 0) {
        std::memcpy(c.values, s.values, size_t(src->capacity) * s.size);
        std::memcpy(c.indicators, s.indicators, size_t(src->capacity) * sizeof(int16_t));
        if (DsIsLong(c.type)) {
          // The copied pointers are the source's: clear them all before any
          // buffer is made, so that a failure frees only the copy's own.
          for (int32_t r = 0; r < src->capacity; ++r) DsLongClearBuffer(Elem(c, uint32_t(r)));
          for (int32_t r = 0; r < src->rows && rc == 0; ++r) {
            LongValue lv = DsLongGet(Elem(s, uint32_t(r)));
            if (!lv.buffer) continue;
            if (void *buf = DsLongCopy(c.type, lv)) {
              lv.buffer = buf;
              DsLongSet(Elem(c, uint32_t(r)), lv);
            } else {
              rc = E_S1001;
            }
          }
        }
      }
      if (rc) {
        DatasetFree(copy);
        std::free(copy);
        return rc == E_S1000 ? E_S1000 : E_S1001;
      }
    }
  }
  assert(DatasetCheck(copy));
  *out = copy;
  return 0;
}

int DatasetCloneLayout(Dataset **pds, const Dataset *src, int32_t capacity) {
  if (!pds || !src || capacity < 0) return E_S1000;
  Dataset *target = *pds;
  if (target == src) {
    // Re-laid in place: the layout stays, the storage is new.
    for (uint16_t col = 0; col < target->slots; ++col) DatasetColFree(&target->cols[col], target->capacity);
    target->capacity = 0;
    target->rows = 0;
    return DatasetAllocRows(target, capacity);
  }
  const bool fresh = target == nullptr;
  if (fresh) {
    target = static_cast<Dataset *>(DsCalloc(1, sizeof(Dataset)));
    if (!target) return E_S1001;
  } else {
    DatasetFree(target);
  }
  int rc = DatasetInit(target, src->slots);
  if (rc == 0) {
    target->columns = src->columns;
    for (uint16_t col = 0; col < src->columns; ++col) {
      target->cols[col].type = src->cols[col].type;
      target->cols[col].size = src->cols[col].size;
    }
    rc = DatasetAllocRows(target, capacity);
  }
  if (rc) {
    if (fresh) {
      DatasetFree(target);
      std::free(target);
    }
    return rc;
  }
  *pds = target;
  return 0;
}

int DatasetAppend(Dataset *dst, Dataset *src) {
  if (!dst || !src || dst == src || !SameLayout(*dst, *src) || dst->rows < 0) return E_S1000;
  if (src->rows <= 0) return 0;
  if (int64_t(dst->rows) + src->rows > INT32_MAX) return E_S1000;
  const int32_t total = dst->rows + src->rows;

  // Fetch blocks appended one by one to a static set or keyset must not be
  // copied over and over: storage grows geometrically (at least doubling)
  // while the capacity stays the row count, and the next append uses the
  // room the storage already has. First every column gets its room; a
  // failure there changes no row, and a column enlarged before it merely
  // keeps its bigger storage.
  for (uint16_t col = 0; col < dst->columns; ++col) {
    DatasetCol &d = dst->cols[col];
    if (StorageRows(d) >= size_t(total)) continue;
    const size_t rows = std::max<size_t>(size_t(total), std::min<size_t>(size_t(dst->capacity) * 2, INT32_MAX));
    auto *values = static_cast<unsigned char *>(DsRealloc(d.values, rows * d.size + 1));
    if (!values) return E_S1001;
    d.values = values;
    auto *ind = static_cast<int16_t *>(DsRealloc(d.indicators, rows * sizeof(int16_t)));
    if (!ind) return E_S1001;
    d.indicators = ind;
  }
  // Then the rows, which cannot fail.
  for (uint16_t col = 0; col < dst->columns; ++col) {
    DatasetCol &d = dst->cols[col];
    DatasetCol &s = src->cols[col];
    const size_t e = d.size;
    // Buffers past the own rows are overwritten by the source rows (or fall
    // outside the new capacity): they are freed, not lost.
    FreeLongRange(d, dst->rows, dst->capacity);
    std::memcpy(d.values + size_t(dst->rows) * e, s.values, size_t(src->rows) * e);
    std::memcpy(d.indicators + dst->rows, s.indicators, size_t(src->rows) * sizeof(int16_t));
    d.values[size_t(total) * e] = 0;
    // The source's buffers now belong to the destination.
    if (DsIsLong(s.type))
      for (int32_t r = 0; r < src->rows; ++r) DsLongClearBuffer(Elem(s, uint32_t(r)));
  }
  dst->rows = total;
  dst->capacity = total;
  assert(DatasetCheck(dst) && DatasetCheck(src));
  return 0;
}

int DatasetJoinCols(Dataset *ds, Dataset *other) {
  if (!ds || !other || ds == other || !ds->cols || !other->cols || ds->rows != other->rows) return E_S1000;
  // The moved columns must hold the joined Dataset's capacity.
  if (other->capacity < ds->capacity) return E_S1000;
  const uint32_t total = uint32_t(ds->columns) + other->columns;
  if (total > UINT16_MAX) return E_S1000;
  DatasetCol *cols = nullptr;
  if (total) {
    cols = static_cast<DatasetCol *>(DsCalloc(total, sizeof(DatasetCol)));
    if (!cols) return E_S1001;
  }
  for (uint16_t col = 0; col < other->columns; ++col) {
    DatasetCol &o = other->cols[col];
    // Rows past the joined capacity are not the joined Dataset's to free.
    FreeLongRange(o, ds->capacity, other->capacity);
    cols[col] = o;
    o.values = nullptr;
    o.indicators = nullptr;
  }
  for (uint16_t col = 0; col < ds->columns; ++col) cols[other->columns + col] = ds->cols[col];
  std::free(ds->cols);
  ds->cols = cols;
  ds->slots = uint16_t(total);
  ds->columns = uint16_t(total);
  // The other keeps its column records (type and size) without storage.
  other->columns = 0;
  other->rows = 0;
  other->capacity = 0;
  assert(DatasetCheck(ds) && DatasetCheck(other));
  return 0;
}

int DatasetReverse(Dataset **pds) {
  if (!pds || !*pds) return E_S1000;
  Dataset *old = *pds;
  Dataset *rev = nullptr;
  int rc = DatasetCloneLayout(&rev, old, old->capacity);
  if (rc) return rc;
  for (int32_t i = 0; i < old->rows; ++i) {
    rc = DatasetRowCopy(rev, old, uint32_t(i), uint32_t(old->rows - 1 - i), 0);
    if (rc) {
      DatasetFree(rev);
      std::free(rev);
      return rc;
    }
  }
  DatasetFree(old);
  std::free(old);
  *pds = rev;
  return 0;
}

int DatasetColDelete(Dataset *ds, uint16_t c) {
  if (!ds || c >= ds->columns) return E_S1000;
  // Every buffer the column holds, past the rows too.
  DatasetColFree(&ds->cols[c], ds->capacity);
  std::memmove(ds->cols + c, ds->cols + c + 1, size_t(ds->columns - c - 1) * sizeof(DatasetCol));
  ds->cols[ds->columns - 1] = DatasetCol{};
  ds->columns--;
  assert(DatasetCheck(ds));
  return 0;
}

int DatasetColInsert(Dataset *ds, uint16_t c, int32_t type, uint32_t size) {
  if (!ds || c > ds->columns || ds->columns == UINT16_MAX || !DsLayoutOk(type, size)) return E_S1000;
  DatasetCol fresh{type, size, nullptr, nullptr};
  if (DatasetColAlloc(&fresh, ds->capacity) != 0) return E_S1001;
  const uint16_t n = uint16_t(ds->columns + 1);
  auto *cols = static_cast<DatasetCol *>(DsCalloc(n, sizeof(DatasetCol)));
  if (!cols) {
    DatasetColFree(&fresh, 0);
    return E_S1001;
  }
  if (c) std::memcpy(cols, ds->cols, size_t(c) * sizeof(DatasetCol));
  cols[c] = fresh;
  if (ds->columns > c) std::memcpy(cols + c + 1, ds->cols + c, size_t(ds->columns - c) * sizeof(DatasetCol));
  // Spare slots have no storage (invariant), so dropping them loses nothing.
  std::free(ds->cols);
  ds->cols = cols;
  ds->slots = n;
  ds->columns = n;
  assert(DatasetCheck(ds));
  return 0;
}

int DatasetColCopy(Dataset *dst, const Dataset *src, uint16_t cd, uint16_t cs) {
  if (!dst || !src || (dst == src && cd == cs) || cd >= dst->columns || cs >= src->columns) return E_S1000;
  if (dst->rows != 0 && dst->rows != src->rows) return E_S1000;
  const DatasetCol &s = src->cols[cs];
  if (!SameColLayout(dst->cols[cd], s)) return E_S1000;
  if (src->rows <= 0) return 0;

  // A destination without rows takes the source's row count; its capacity
  // grows when needed and never shrinks below storage it already has.
  const int32_t capacity = std::max(dst->capacity, src->rows);
  const bool grows = capacity > dst->capacity;
  const uint16_t others = grows ? dst->columns : 0;

  // New storage for the copied column and, when the capacity grows, all-NULL
  // storage for the other columns in use (they hold no rows yet), so that no
  // column is left with less storage than the capacity. All before anything
  // changes.
  DatasetCol *fresh = static_cast<DatasetCol *>(DsCalloc(std::max<uint16_t>(others, 1), sizeof(DatasetCol)));
  if (!fresh) return E_S1001;
  DatasetCol copy{s.type, s.size, nullptr, nullptr};
  int rc = DatasetColAlloc(&copy, capacity);
  for (uint16_t col = 0; rc == 0 && col < others; ++col) {
    if (col == cd) continue;
    fresh[col].type = dst->cols[col].type;
    fresh[col].size = dst->cols[col].size;
    rc = DatasetColAlloc(&fresh[col], capacity);
  }
  if (rc == 0) {
    std::memcpy(copy.values, s.values, size_t(src->rows) * s.size);
    std::memcpy(copy.indicators, s.indicators, size_t(src->rows) * sizeof(int16_t));
    if (DsIsLong(s.type)) {
      for (int32_t r = 0; r < src->rows; ++r) DsLongClearBuffer(Elem(copy, uint32_t(r)));
      for (int32_t r = 0; r < src->rows && rc == 0; ++r) {
        if (s.indicators[r] == kIndNull) continue;
        LongValue lv = DsLongGet(Elem(s, uint32_t(r)));
        if (!lv.buffer) continue;
        if (void *buf = DsLongCopy(s.type, lv)) {
          lv.buffer = buf;
          DsLongSet(Elem(copy, uint32_t(r)), lv);
        } else {
          rc = E_S1001;
        }
      }
    }
  }
  if (rc) {
    DatasetColFree(&copy, src->rows);
    for (uint16_t col = 0; col < others; ++col) DatasetColFree(&fresh[col], 0);
    std::free(fresh);
    return rc == E_S1000 ? E_S1000 : E_S1001;
  }

  DatasetColFree(&dst->cols[cd], dst->capacity);
  dst->cols[cd].values = copy.values;
  dst->cols[cd].indicators = copy.indicators;
  for (uint16_t col = 0; col < others; ++col) {
    if (col == cd) continue;
    DatasetColFree(&dst->cols[col], dst->capacity);
    dst->cols[col].values = fresh[col].values;
    dst->cols[col].indicators = fresh[col].indicators;
  }
  std::free(fresh);
  dst->capacity = capacity;
  if (dst->rows == 0) dst->rows = src->rows;
  assert(DatasetCheck(dst));
  return 0;
}

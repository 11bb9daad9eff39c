// Dataset container: layout, storage, ColDesc arrays and the value-level
// operations (read, widen, narrow, truncate).
#include "odbc/dataset.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>

#include "odbc/dsimpl.h"
#include "odbc/sqlstate.h"
#include "util/utf.h"

#ifdef KVD_DATASET_FAULT_INJECTION
long g_dsAllocFailAt = -1;
#endif

namespace {

constexpr uint64_t Up2(uint64_t x) { return (x + 1) & ~uint64_t(1); }
constexpr uint64_t Up4(uint64_t x) { return (x + 3) & ~uint64_t(3); }

uint64_t ElemSize64(int32_t type, uint64_t n) {
  switch (type) {
    case VT_NONE: return 1;
    case VT_CHAR: return n;
    case VT_BIT: case VT_STINYINT: case VT_UTINYINT: return 1;
    case VT_SSHORT: case VT_USHORT: return 2;
    case VT_SLONG: case VT_ULONG: case VT_FLOAT: return 4;
    case VT_DOUBLE: return 8;
    case VT_DATE: case VT_TIME: return 6;
    case VT_TIMESTAMP: return 16;
    case VT_BINARY: return n;
    case VT_LONGCHAR: case VT_LONGBINARY: case VT_LONGWCHAR: return sizeof(LongValue);
    case VT_STRING: case VT_VARCHAR1: case VT_VARBIN1: return n + 1;
    case VT_VARCHAR2: case VT_VARBIN2: return Up2(n + 2);
    case VT_VARCHAR4: case VT_VARBIN4: return Up4(n + 4);
    case VT_WCHAR: return 2 * n;
    case VT_WSTRING: return 2 * n + 2;
    case VT_WVARCHAR4: return Up4(2 * n + 4);
    default: return n;
  }
}

// Wide elements hold whole 16-bit units at even offsets (wide element sizes
// are even, storage comes from the allocator), so they are read in place.
inline const uint16_t *Units(const unsigned char *p) { return reinterpret_cast<const uint16_t *>(p); }

inline uint32_t UnitAt(const unsigned char *p, size_t i) { return DsGetLe16(p + 2 * i); }

// UTF-8 bytes of count units, converted the way the rest of the driver
// converts wide text (util/utf.h); at most 3 bytes per unit.
uint64_t Utf8Size(const unsigned char *units, uint32_t count) {
  return count ? utf16_utf8_size(Units(units), int32_t(count)) : 0;
}

// Writes the UTF-8 form of count units to out (room for Utf8Size bytes);
// returns the bytes written.
uint32_t Utf8Encode(const unsigned char *units, uint32_t count, unsigned char *out) {
  if (!count) return 0;
  uint32_t consumed = 0;
  size_t bytes = utf16_to_utf8_count(Units(units), reinterpret_cast<char *>(out), count, SIZE_MAX - 1, &consumed);
  assert(consumed == count);
  return uint32_t(bytes);
}

// Units before the first NUL unit among at most max units.
uint32_t UnitsBeforeNul(const unsigned char *p, uint32_t max) {
  uint32_t i = 0;
  while (i < max && UnitAt(p, i) != 0) ++i;
  return i;
}

inline bool IsWide(int32_t t) {
  return t == VT_WCHAR || t == VT_WSTRING || t == VT_LONGWCHAR || t == VT_WVARCHAR4;
}

// Narrow character types whose values are UTF-8 text.
inline bool IsNarrowText(int32_t t) {
  return t == VT_LONGCHAR || t == VT_STRING || t == VT_VARCHAR1 || t == VT_VARCHAR2 || t == VT_VARCHAR4;
}

// The largest k <= n that does not split a UTF-8 sequence of text (which has
// at least n + 1 readable bytes): backs off over continuation bytes.
inline uint32_t Utf8Boundary(const unsigned char *text, uint32_t n) {
  while (n > 0 && (text[n] & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace

// ---- internal helpers shared with the row operations ------------------------

bool DsLayoutOk(int32_t type, uint32_t size) {
  if (size < DatasetMinElemSize(type)) return false;
  // Wide elements hold whole units.
  if ((type == VT_WCHAR || type == VT_WSTRING || type == VT_WVARCHAR4) && size % 2) return false;
  return true;
}

void DsValueSpan(const DatasetCol &col, uint32_t row, const unsigned char **data, uint32_t *len) {
  const uint32_t e = col.size;
  const unsigned char *elem = col.values + size_t(row) * e;
  *data = elem;
  *len = 0;
  if (!DsLayoutOk(col.type, e)) return;
  switch (col.type) {
    case VT_LONGCHAR:
    case VT_LONGBINARY:
    case VT_LONGWCHAR: {
      LongValue lv = DsLongGet(elem);
      if (!lv.buffer) return;
      size_t bytes = DsLongBytes(col.type, lv.length);
      *data = static_cast<const unsigned char *>(lv.buffer);
      *len = bytes > UINT32_MAX ? UINT32_MAX - 1 : uint32_t(bytes);
      return;
    }
    case VT_STRING:
      *len = uint32_t(strnlen(reinterpret_cast<const char *>(elem), e));
      return;
    case VT_VARCHAR1:
    case VT_VARBIN1:
      *data = elem + 1;
      *len = std::min<uint32_t>(elem[0], e - 1);
      return;
    case VT_VARCHAR2:
    case VT_VARBIN2:
      *data = elem + 2;
      *len = std::min<uint32_t>(DsGetLe16(elem), e - 2);
      return;
    case VT_VARCHAR4:
    case VT_VARBIN4:
      *data = elem + 4;
      *len = std::min<uint32_t>(DsGetLe32(elem), e - 4);
      return;
    case VT_WSTRING:
      *len = 2 * UnitsBeforeNul(elem, e / 2);
      return;
    case VT_WVARCHAR4:
      *data = elem + 4;
      *len = 2 * std::min<uint32_t>(DsGetLe32(elem), (e - 4) / 2);
      return;
    default:
      *len = e;
      return;
  }
}

// ---- layout and storage ------------------------------------------------------

uint32_t DatasetElemSize(int32_t type, uint32_t n) {
  uint64_t size = ElemSize64(type, n);
  return size > UINT32_MAX ? 0 : uint32_t(size);
}

uint32_t DatasetMinElemSize(int32_t type) {
  switch (type) {
    case VT_CHAR: case VT_BINARY: case VT_WCHAR: return 0;
    case VT_STRING: case VT_VARCHAR1: case VT_VARBIN1: return 1;
    case VT_VARCHAR2: case VT_VARBIN2: case VT_WSTRING: return 2;
    case VT_VARCHAR4: case VT_VARBIN4: case VT_WVARCHAR4: return 4;
    case VT_NONE: case VT_BIT: case VT_STINYINT: case VT_SSHORT: case VT_SLONG: case VT_UTINYINT:
    case VT_USHORT: case VT_ULONG: case VT_FLOAT: case VT_DOUBLE: case VT_DATE: case VT_TIME:
    case VT_TIMESTAMP: case VT_LONGCHAR: case VT_LONGBINARY: case VT_LONGWCHAR:
      return uint32_t(ElemSize64(type, 0));
    default: return 0;
  }
}

int DatasetInit(Dataset *ds, uint16_t slots) {
  if (!ds) return E_S1000;
  DatasetCol *cols = nullptr;
  if (slots) {
    cols = static_cast<DatasetCol *>(DsCalloc(slots, sizeof(DatasetCol)));
    if (!cols) return E_S1001;
  }
  ds->slots = slots;
  ds->capacity = 0;
  ds->columns = 0;
  ds->rows = 0;
  ds->cols = cols;
  return 0;
}

int DatasetColAlloc(DatasetCol *col, int32_t n) {
  if (!col || n < 0) return E_S1000;
  if (n == 0) {
    col->values = nullptr;
    col->indicators = nullptr;
    return 0;
  }
  if (!DsLayoutOk(col->type, col->size)) return E_S1000;
  auto *values = static_cast<unsigned char *>(DsCalloc(size_t(n) * col->size + 1, 1));
  auto *ind = static_cast<int16_t *>(DsMalloc(size_t(n) * sizeof(int16_t)));
  if (!values || !ind) {
    std::free(values);
    std::free(ind);
    return E_S1001;
  }
  std::fill_n(ind, n, kIndNull);
  col->values = values;
  col->indicators = ind;
  return 0;
}

void DatasetColFree(DatasetCol *col, int32_t n) {
  if (!col) return;
  if (col->values && DsIsLong(col->type)) {
    for (int32_t r = 0; r < n; ++r) {
      LongValue lv = DsLongGet(col->values + size_t(r) * col->size);
      std::free(lv.buffer);
    }
  }
  std::free(col->values);
  std::free(col->indicators);
  col->values = nullptr;
  col->indicators = nullptr;
}

void DatasetFree(Dataset *ds) {
  if (!ds) return;
  for (uint16_t c = 0; c < ds->slots && ds->cols; ++c) DatasetColFree(&ds->cols[c], ds->capacity);
  std::free(ds->cols);
  ds->cols = nullptr;
  ds->slots = 0;
  ds->capacity = 0;
  ds->columns = 0;
  ds->rows = 0;
}

void DatasetDelete(Dataset *ds) {
  if (!ds) return;
  DatasetFree(ds);
  std::free(ds);
}

int DatasetAllocRows(Dataset *ds, int32_t n) {
  if (!ds || n < 0) return E_S1000;
  if (ds->columns > ds->slots) return E_S1001;
  for (uint16_t c = 0; c < ds->columns; ++c)
    if (!DsLayoutOk(ds->cols[c].type, ds->cols[c].size)) return E_S1000;
  // All new storage first, so that a failure leaves the Dataset as it was.
  DatasetCol *fresh = nullptr;
  if (ds->columns && n) {
    fresh = static_cast<DatasetCol *>(DsCalloc(ds->columns, sizeof(DatasetCol)));
    if (!fresh) return E_S1001;
    for (uint16_t c = 0; c < ds->columns; ++c) {
      fresh[c].type = ds->cols[c].type;
      fresh[c].size = ds->cols[c].size;
      if (DatasetColAlloc(&fresh[c], n) != 0) {
        for (uint16_t k = 0; k < c; ++k) DatasetColFree(&fresh[k], 0);
        std::free(fresh);
        return E_S1001;
      }
    }
  }
  for (uint16_t c = 0; c < ds->columns; ++c) {
    DatasetColFree(&ds->cols[c], ds->capacity);
    if (fresh) {
      ds->cols[c].values = fresh[c].values;
      ds->cols[c].indicators = fresh[c].indicators;
    }
  }
  std::free(fresh);
  ds->capacity = n;
  if (ds->rows > n) ds->rows = n;
  assert(DatasetCheck(ds));
  return 0;
}

int DatasetFromColDescs(const ColDesc *descs, uint16_t count, int32_t capacity, Dataset *ds) {
  if (!ds || (count && !descs) || capacity < 0) return E_S1000;
  int rc = DatasetInit(ds, count);
  if (rc) return rc;
  for (uint16_t c = 0; c < count; ++c) {
    ds->cols[c].type = descs[c].valueType;
    ds->cols[c].size = DatasetElemSize(descs[c].valueType, descs[c].octetLength);
  }
  ds->columns = count;
  return DatasetAllocRows(ds, capacity);
}

int DatasetRelayFromColDescs(const ColDesc *descs, uint16_t count, int32_t capacity, Dataset *ds) {
  if (!ds || (count && !descs) || capacity <= 0) return DatasetFromColDescs(descs, count, capacity, ds);
  bool same = ds->cols && ds->slots == count && ds->columns == count && ds->capacity == capacity;
  for (uint16_t c = 0; same && c < count; ++c) {
    const DatasetCol &col = ds->cols[c];
    same = col.type == descs[c].valueType && !DsIsLong(col.type) && col.values && col.indicators &&
           col.size == DatasetElemSize(descs[c].valueType, descs[c].octetLength);
  }
  if (!same) {
    DatasetFree(ds);
    return DatasetFromColDescs(descs, count, capacity, ds);
  }
  for (uint16_t c = 0; c < count; ++c) std::fill_n(ds->cols[c].indicators, capacity, kIndNull);
  ds->rows = 0;
  return 0;
}

bool DatasetCheck(const Dataset *ds) {
  if (!ds) return false;
  if ((ds->slots == 0) != (ds->cols == nullptr)) return false;
  if (ds->columns > ds->slots) return false;
  if (ds->capacity < 0 || ds->rows < 0 || ds->rows > ds->capacity) return false;
  for (uint16_t c = 0; c < ds->slots; ++c) {
    const DatasetCol &col = ds->cols[c];
    bool hasValues = col.values != nullptr, hasInd = col.indicators != nullptr;
    if (hasValues != hasInd) return false;
    if (c >= ds->columns) {
      if (hasValues) return false;
      continue;
    }
    if (ds->capacity > 0 && !hasValues) return false;
    if (hasValues && !DsLayoutOk(col.type, col.size)) return false;
  }
  return true;
}

// ---- ColDesc arrays ------------------------------------------------------------

ColDesc *ColDescAlloc(uint32_t n) {
  return static_cast<ColDesc *>(DsCalloc(n ? n : 1, sizeof(ColDesc)));
}

void ColDescFree(ColDesc *descs, uint32_t n) {
  if (!descs) return;
  for (uint32_t i = 0; i < n; ++i) {
    std::free(descs[i].catalog);
    std::free(descs[i].schema);
    std::free(descs[i].table);
    std::free(descs[i].fullName);
  }
  std::free(descs);
}

// ---- values ----------------------------------------------------------------------

int DatasetColInfo(const Dataset *ds, uint16_t col, int32_t *type, uint32_t *size) {
  if (!ds || !type || !size || col >= ds->columns) return E_S1000;
  *type = ds->cols[col].type;
  *size = ds->cols[col].size;
  return 0;
}

int DatasetValueRef(const Dataset *ds, uint32_t row, uint16_t col, const void **data, uint32_t *len) {
  if (!ds || !data || !len || col >= ds->columns || ds->rows < 0 || row >= uint32_t(ds->rows))
    return E_S1000;
  const DatasetCol &c = ds->cols[col];
  if (!c.values) return E_S1000;
  if (c.indicators[row] == kIndNull) {
    *data = nullptr;
    *len = 0;
    return 0;
  }
  const unsigned char *p;
  DsValueSpan(c, row, &p, len);
  *data = p;
  return 0;
}

int DatasetValueGet(const Dataset *ds, uint32_t row, uint16_t col, void *buf, uint32_t *len) {
  if (!ds || !buf || !len || col >= ds->columns || ds->rows < 0 || row >= uint32_t(ds->rows))
    return E_S1000;
  if (*len == 0) return 0;
  const void *data;
  uint32_t have;
  int rc = DatasetValueRef(ds, row, col, &data, &have);
  if (rc) return rc;
  uint32_t n = std::min(*len, have);
  if (n) std::memcpy(buf, data, n);
  *len = n;
  return 0;
}

int DatasetColWiden(Dataset *ds, uint16_t col, uint32_t size, int countText) {
  if (!ds || col >= ds->columns) return E_S1000;
  DatasetCol &c = ds->cols[col];
  const int32_t t = c.type;
  const uint32_t e = c.size;
  int32_t newType = t;
  uint64_t newSize = 0;
  switch (t) {
    case VT_CHAR:
      if (e >= size) return 0;
      newType = VT_VARCHAR4;
      newSize = ElemSize64(VT_VARCHAR4, size);
      break;
    case VT_BINARY:
      if (e >= size) return 0;
      newType = VT_VARBIN4;
      newSize = ElemSize64(VT_VARBIN4, size);
      break;
    case VT_WCHAR:
      newType = VT_WVARCHAR4;
      newSize = ElemSize64(VT_WVARCHAR4, size);
      if (newSize <= e) return 0;
      // The old element goes whole behind the 4-byte prefix.
      newSize = std::max(newSize, Up4(uint64_t(e) + 4));
      break;
    case VT_STRING: case VT_VARCHAR1: case VT_VARCHAR2: case VT_VARCHAR4: case VT_VARBIN1:
    case VT_VARBIN2: case VT_VARBIN4: case VT_WSTRING: case VT_WVARCHAR4:
      newSize = ElemSize64(t, size);
      if (newSize <= e) return 0;
      break;
    case VT_LONGCHAR:
    case VT_LONGBINARY:
    case VT_LONGWCHAR: {
      if (!c.values) return 0;
      for (int32_t r = 0; r < ds->rows; ++r) {
        unsigned char *elem = c.values + size_t(r) * e;
        LongValue lv = DsLongGet(elem);
        size_t have = DsLongBytes(t, lv.length);
        if (have >= size) continue;
        auto *grown = static_cast<unsigned char *>(DsCalloc(size, 1));
        if (!grown) return E_S1001;
        if (c.indicators[r] != kIndNull && lv.length && lv.buffer) std::memcpy(grown, lv.buffer, have);
        std::free(lv.buffer);
        lv.buffer = grown;
        DsLongSet(elem, lv);
      }
      return 0;
    }
    default:
      return 0;
  }
  if (newSize > UINT32_MAX) return E_S1000;

  DatasetCol fresh{newType, uint32_t(newSize), nullptr, nullptr};
  int rc = DatasetColAlloc(&fresh, ds->capacity);
  if (rc) return rc == E_S1000 ? E_S1000 : E_S1001;
  if (ds->capacity > 0) std::memcpy(fresh.indicators, c.indicators, size_t(ds->capacity) * sizeof(int16_t));
  for (int32_t r = 0; r < ds->rows; ++r) {
    if (c.indicators[r] == kIndNull) continue;
    const unsigned char *from = c.values + size_t(r) * e;
    unsigned char *to = fresh.values + size_t(r) * fresh.size;
    switch (t) {
      case VT_CHAR:
        DsPutLe32(to, countText ? uint32_t(strnlen(reinterpret_cast<const char *>(from), e)) : e);
        std::memcpy(to + 4, from, e);
        break;
      case VT_WCHAR:
        DsPutLe32(to, countText ? UnitsBeforeNul(from, e / 2) : e / 2);
        std::memcpy(to + 4, from, e);
        break;
      case VT_BINARY:
        DsPutLe32(to, e);
        std::memcpy(to + 4, from, e);
        break;
      default:
        std::memcpy(to, from, e);
        break;
    }
  }
  DatasetColFree(&c, ds->rows);
  c = fresh;
  assert(DatasetCheck(ds));
  return 0;
}

namespace {

// Narrows one wide column in place or, when some value's UTF-8 form does not
// fit the element, into a new wider column. On failure the column is
// unchanged.
int NarrowColumn(Dataset *ds, DatasetCol &c) {
  const int32_t t = c.type;
  const uint32_t e = c.size;
  if (!c.values) {
    c.type = t == VT_LONGWCHAR ? VT_LONGCHAR : t == VT_WVARCHAR4 ? VT_VARCHAR4 : VT_STRING;
    return 0;
  }
  if (!DsLayoutOk(t, e)) return E_S1000;
  // Units of the value at row r, and where they start.
  auto units = [&](int32_t r, const unsigned char **p) -> uint32_t {
    const unsigned char *elem = c.values + size_t(r) * e;
    switch (t) {
      case VT_WCHAR: *p = elem; return e / 2;
      case VT_WSTRING: *p = elem; return UnitsBeforeNul(elem, e / 2);
      case VT_WVARCHAR4: *p = elem + 4; return std::min<uint32_t>(DsGetLe32(elem), (e - 4) / 2);
      default: {  // VT_LONGWCHAR
        LongValue lv = DsLongGet(elem);
        *p = static_cast<const unsigned char *>(lv.buffer);
        return lv.buffer ? lv.length : 0;
      }
    }
  };

  // Pass 1: the longest UTF-8 form.
  uint64_t maxBytes = 0;
  for (int32_t r = 0; r < ds->rows; ++r) {
    if (c.indicators[r] == kIndNull) continue;
    const unsigned char *p;
    uint32_t n = units(r, &p);
    if (n > INT32_MAX) return E_S1000;
    uint64_t bytes = Utf8Size(p, n);
    if (t == VT_LONGWCHAR && bytes > DsLongBytes(t, n)) continue;  // gets a buffer of its own
    maxBytes = std::max(maxBytes, bytes);
  }

  if (t == VT_LONGWCHAR) {
    // Values that grow get new buffers, allocated before anything changes.
    unsigned char *scratch = static_cast<unsigned char *>(DsMalloc(size_t(maxBytes)));
    void **grown = static_cast<void **>(DsCalloc(size_t(ds->rows), sizeof(void *)));
    bool ok = scratch && grown;
    for (int32_t r = 0; ok && r < ds->rows; ++r) {
      if (c.indicators[r] == kIndNull) continue;
      const unsigned char *p;
      uint32_t n = units(r, &p);
      uint64_t bytes = Utf8Size(p, n);
      if (bytes <= DsLongBytes(t, n)) continue;
      if (bytes + 2 > UINT32_MAX || !(grown[r] = DsCalloc(size_t(bytes) + 2, 1))) ok = false;
    }
    if (!ok) {
      for (int32_t r = 0; grown && r < ds->rows; ++r) std::free(grown[r]);
      std::free(grown);
      std::free(scratch);
      return E_S1001;
    }
    for (int32_t r = 0; r < ds->rows; ++r) {
      if (c.indicators[r] == kIndNull) continue;
      unsigned char *elem = c.values + size_t(r) * e;
      LongValue lv = DsLongGet(elem);
      if (!lv.buffer) continue;
      const unsigned char *p;
      uint32_t n = units(r, &p);
      if (grown[r]) {
        lv.length = Utf8Encode(p, n, static_cast<unsigned char *>(grown[r]));
        std::free(lv.buffer);
        lv.buffer = grown[r];
      } else {
        // In place through scratch: the UTF-8 form may overtake the units
        // still to be read.
        lv.length = Utf8Encode(p, n, scratch);
        std::memcpy(lv.buffer, scratch, lv.length);
      }
      DsLongSet(elem, lv);
    }
    std::free(grown);
    std::free(scratch);
    c.type = VT_LONGCHAR;
    return 0;
  }

  const int32_t newType = t == VT_WVARCHAR4 ? VT_VARCHAR4 : VT_STRING;
  const uint64_t need = ElemSize64(newType, maxBytes);
  if (need > e) {
    // Some value does not fit: a wider column, written directly.
    if (need > UINT32_MAX) return E_S1001;
    DatasetCol fresh{newType, uint32_t(need), nullptr, nullptr};
    if (DatasetColAlloc(&fresh, ds->capacity) != 0) return E_S1001;
    if (ds->capacity > 0)
      std::memcpy(fresh.indicators, c.indicators, size_t(ds->capacity) * sizeof(int16_t));
    for (int32_t r = 0; r < ds->rows; ++r) {
      if (c.indicators[r] == kIndNull) continue;
      const unsigned char *p;
      uint32_t n = units(r, &p);
      unsigned char *to = fresh.values + size_t(r) * fresh.size;
      if (newType == VT_VARCHAR4)
        DsPutLe32(to, Utf8Encode(p, n, to + 4));
      else
        Utf8Encode(p, n, to);  // the zero-filled element terminates it
    }
    DatasetColFree(&c, ds->rows);
    c = fresh;
    return 0;
  }

  unsigned char *scratch = static_cast<unsigned char *>(DsMalloc(size_t(maxBytes)));
  if (!scratch) return E_S1001;
  for (int32_t r = 0; r < ds->rows; ++r) {
    if (c.indicators[r] == kIndNull) continue;
    unsigned char *elem = c.values + size_t(r) * e;
    const unsigned char *p;
    uint32_t n = units(r, &p);
    uint32_t bytes = Utf8Encode(p, n, scratch);
    unsigned char *text = newType == VT_VARCHAR4 ? elem + 4 : elem;
    std::memcpy(text, scratch, bytes);
    // The rest of the element is cleared: no stale UTF-16 bytes behind the
    // text (and the terminator of type 17).
    std::memset(text + bytes, 0, size_t(elem + e - (text + bytes)));
    if (newType == VT_VARCHAR4) DsPutLe32(elem, bytes);
  }
  std::free(scratch);
  c.type = newType;
  return 0;
}

}  // namespace

int DatasetToNarrow(Dataset *ds) {
  if (!ds) return E_S1000;
  for (uint16_t col = 0; col < ds->columns; ++col) {
    if (!IsWide(ds->cols[col].type)) continue;
    int rc = NarrowColumn(ds, ds->cols[col]);
    if (rc) return rc;
  }
  assert(DatasetCheck(ds));
  return 0;
}

int DatasetTruncate(Dataset *ds, uint32_t n) {
  if (!ds) return E_S1000;
  for (uint16_t col = 0; col < ds->columns; ++col) {
    DatasetCol *c = &ds->cols[col];
    const uint32_t e = c->size;
    switch (c->type) {
      case VT_CHAR:
      case VT_BINARY:
        if (n >= e) continue;
        if (int rc = DatasetColWiden(ds, col, e + 1, 0)) return rc;
        break;
      case VT_WCHAR:
        if (n >= e / 2) continue;
        if (int rc = DatasetColWiden(ds, col, e / 2 + 1, 0)) return rc;
        break;
      case VT_STRING:
        if (uint64_t(n) + 1 >= e) continue;
        break;
      case VT_WSTRING:
        if (uint64_t(n) + 1 >= e / 2) continue;
        break;
      case VT_LONGCHAR: case VT_LONGBINARY: case VT_LONGWCHAR: case VT_VARCHAR1: case VT_VARCHAR2:
      case VT_VARCHAR4: case VT_VARBIN1: case VT_VARBIN2: case VT_VARBIN4: case VT_WVARCHAR4:
        break;
      default:
        continue;
    }
    c = &ds->cols[col];  // widening re-laid the column
    if (!c->values || !DsLayoutOk(c->type, c->size)) continue;
    const bool text = IsNarrowText(c->type);
    for (int32_t r = 0; r < ds->rows; ++r) {
      if (c->indicators[r] == kIndNull) continue;
      unsigned char *elem = c->values + size_t(r) * c->size;
      switch (c->type) {
        case VT_LONGCHAR: case VT_LONGBINARY: case VT_LONGWCHAR: {
          LongValue lv = DsLongGet(elem);
          if (lv.length <= n) break;
          lv.length = text && lv.buffer ? Utf8Boundary(static_cast<unsigned char *>(lv.buffer), n) : n;
          DsLongSet(elem, lv);
          break;
        }
        case VT_VARCHAR4: case VT_VARBIN4: case VT_WVARCHAR4: {
          uint32_t len = DsGetLe32(elem);
          if (len <= n) break;
          // Bytes present behind the prefix bound where the boundary is looked for.
          DsPutLe32(elem, text && n < c->size - 4 ? Utf8Boundary(elem + 4, n) : n);
          break;
        }
        case VT_VARCHAR2: case VT_VARBIN2: {
          uint32_t len = DsGetLe16(elem);
          if (len <= n) break;
          DsPutLe16(elem, text && n < c->size - 2 ? Utf8Boundary(elem + 2, n) : n);
          break;
        }
        case VT_VARCHAR1: case VT_VARBIN1: {
          uint32_t len = elem[0];
          if (len <= n) break;
          elem[0] = uint8_t(text && n < c->size - 1 ? Utf8Boundary(elem + 1, n) : n);
          break;
        }
        case VT_STRING:
          elem[Utf8Boundary(elem, n)] = 0;
          break;
        case VT_WSTRING:
          DsPutLe16(elem + 2 * size_t(n), 0);
          break;
        default:
          break;
      }
    }
  }
  assert(DatasetCheck(ds));
  return 0;
}

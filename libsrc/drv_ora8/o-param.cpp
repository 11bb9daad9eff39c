// Parameter values laid out for OCI binds: one Dataset column per parameter,
// bound by position either as one array of rows or, where OCI's 16-bit
// array lengths cannot carry a row, one row at a time.
//
// Every value reaches OCI with its exact length: a fixed character value
// ends at its first NUL or at the end of its element (whichever comes first),
// so a 32-byte element holding a 20-digit number text sends 20 characters
// and a 36-character GUID without a terminator sends all 36. Length-prefixed
// values travel with their own prefix (VCS, LVC, VBI, LVB), so each row of an
// array carries its own length without a separate length array.
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-exec.h"
#include "drv_ora8/o-typemap.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

namespace {

constexpr uint32_t kMaxArrayLength = 0xFFFF;  // OCIBindByPos array lengths are ub2

bool IsLong(int32_t type) { return type == VT_LONGCHAR || type == VT_LONGBINARY || type == VT_LONGWCHAR; }

LongValue LongAt(const DatasetCol &col, uint32_t row) {
  LongValue v;
  memcpy(&v, col.values + static_cast<size_t>(row) * col.size, sizeof v);
  return v;
}

// Bytes of one long value (UTF-16 units counted in bytes).
uint32_t LongBytes(int32_t type, const LongValue &v) {
  if (!v.buffer) return 0;
  if (type == VT_LONGWCHAR) return v.length > UINT32_MAX / 2 ? UINT32_MAX : v.length * 2;
  return v.length;
}

// Exact byte length of the fixed character value at p (size bytes): up to
// its first NUL (a 16-bit NUL for the wide type).
uint32_t FixedTextBytes(int32_t type, const unsigned char *p, uint32_t size) {
  if (type == VT_WCHAR) {
    uint32_t units = size / 2, n = 0;
    while (n < units && (p[2 * n] | p[2 * n + 1]) != 0) ++n;
    return n * 2;
  }
  const void *z = memchr(p, 0, size);
  return z ? static_cast<uint32_t>(static_cast<const unsigned char *>(z) - p) : size;
}

// Bytes of bound row r (Dataset row first + r) for the types with lengths.
uint32_t RowBytes(const DatasetCol &col, int32_t type, uint32_t row) {
  if (IsLong(type)) return LongBytes(type, LongAt(col, row));
  return FixedTextBytes(type, col.values + static_cast<size_t>(row) * col.size, col.size);
}

void FreeTimestamps(DbParamBind *p) {
  auto **ts = static_cast<OCIDateTime **>(p->buffer);
  for (uint32_t k = 0; ts && k < p->bufferCount; ++k)
    if (ts[k]) OCIDescriptorFree(ts[k], OCI_DTYPE_TIMESTAMP);
  free(p->buffer);
  p->buffer = nullptr;
  p->bufferCount = 0;
  p->timestamps = 0;
}

int32_t LayoutTimestamps(DB_Curs *c, const DatasetCol &col, uint32_t first, uint32_t rows, const int16_t *ind,
                         DbParamBind *p) {
  auto **ts = static_cast<OCIDateTime **>(calloc(rows, sizeof(OCIDateTime *)));
  if (!ts) return E_S1001;
  p->buffer = ts;
  p->bufferCount = rows;
  p->timestamps = 1;
  for (uint32_t r = 0; r < rows; ++r) {
    void *d = nullptr;
    if (!db_OciOk(OCIDescriptorAlloc(c->conn->env, &d, OCI_DTYPE_TIMESTAMP, 0, nullptr))) {
      LOG(LOG_ERR, "db_ParamDetail: OCIDescriptorAlloc failed.");
      FreeTimestamps(p);
      return E_S1001;
    }
    ts[r] = static_cast<OCIDateTime *>(d);
  }
  for (uint32_t r = 0; r < rows; ++r) {
    if (ind[r] != 0) continue;
    const unsigned char *cell = col.values + static_cast<size_t>(first + r) * col.size;
    int16_t year;
    uint16_t month, day, hour, minute, second;
    uint32_t fraction;
    memcpy(&year, cell, 2);
    memcpy(&month, cell + 2, 2);
    memcpy(&day, cell + 4, 2);
    memcpy(&hour, cell + 6, 2);
    memcpy(&minute, cell + 8, 2);
    memcpy(&second, cell + 10, 2);
    memcpy(&fraction, cell + 12, 4);
    sword st = OCIDateTimeConstruct(c->conn->env, c->err->errhp, ts[r], year, static_cast<ub1>(month),
                                    static_cast<ub1>(day), static_cast<ub1>(hour), static_cast<ub1>(minute),
                                    static_cast<ub1>(second), fraction, nullptr, 0);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_ParamDetail: OCIDateTimeConstruct failed.");
      ErrList_PushCode(&c->owner->errs, E_22007);
      FreeTimestamps(p);
      return E_S1000;
    }
  }
  return 0;
}

}  // namespace

bool db_ParamNeedsLengths(int32_t valueType) {
  return valueType == VT_CHAR || valueType == VT_WCHAR || IsLong(valueType);
}

int32_t db_ParamLayout(DB_Curs *c, uint16_t j, uint32_t first, uint32_t rows, int16_t *ind, DbParamBind *p) {
  *p = DbParamBind{};
  Dataset *ds = c->owner->params;
  if (!ds) {
    LOG(LOG_WARNING, "Parameters not set");
    return E_07001;
  }
  if (j >= ds->columns || rows == 0 || ds->rows < 0 || static_cast<uint64_t>(first) + rows > static_cast<uint32_t>(ds->rows))
    return E_S1000;
  const DatasetCol &col = ds->cols[j];
  const int32_t type = col.type;
  p->valueType = type;
  p->first = first;
  p->extType = db_ValueTypeToBindExt(type);
  if (p->extType == kNoType) return E_07006;
  for (uint32_t r = 0; r < rows; ++r) ind[r] = col.indicators[first + r] == kIndNull ? -1 : 0;
  p->data = col.values + static_cast<size_t>(first) * col.size;
  p->valueSize = col.size;

  if (type == VT_DATE || type == VT_TIME) {
    auto *dates = static_cast<unsigned char *>(calloc(rows, 7));
    if (!dates) return E_S1001;
    // Oracle has no time of day without a date: a time is that time on the
    // current day, as ODBC converts a time to a timestamp.
    unsigned char today[7];
    if (type == VT_TIME) db_OraDateToday(today);
    for (uint32_t r = 0; r < rows; ++r) {
      if (ind[r] != 0) continue;
      const unsigned char *cell = col.values + static_cast<size_t>(first + r) * col.size;
      if (type == VT_DATE)
        db_OraDateFromDate(dates + 7 * r, cell);
      else
        db_OraDateFromTime(dates + 7 * r, today, cell);
    }
    p->buffer = dates;
    p->bufferCount = rows;
    p->data = dates;
    p->valueSize = 7;
    return 0;
  }
  if (type == VT_TIMESTAMP) {
    if (int32_t rc = LayoutTimestamps(c, col, first, rows, ind, p)) return rc;
    p->data = static_cast<const unsigned char *>(p->buffer);
    p->valueSize = sizeof(OCIDateTime *);
    return 0;
  }
  if (!db_ParamNeedsLengths(type)) return 0;

  // Fixed character and long values: each row's own length.
  p->needsLengths = 1;
  p->rowLengths = static_cast<uint32_t *>(calloc(rows, sizeof(uint32_t)));
  if (!p->rowLengths) return E_S1001;
  uint32_t longest = 0;
  for (uint32_t r = 0; r < rows; ++r) {
    p->rowLengths[r] = ind[r] == 0 ? RowBytes(col, type, first + r) : 0;
    if (p->rowLengths[r] > longest) longest = p->rowLengths[r];
  }
  if (rows == 1) return 0;  // bound as one value (db_ParamRow)
  if (longest > kMaxArrayLength) {
    // An array bind would cut these lengths to 16 bits.
    p->rowByRow = 1;
    return 0;
  }
  if (!IsLong(type)) return 0;  // the elements themselves are the array
  // Long values live in separate buffers: copy them into one array.
  const uint32_t slot = longest ? longest : 1;
  auto *buf = static_cast<unsigned char *>(calloc(rows, slot));
  if (!buf) return E_S1001;
  for (uint32_t r = 0; r < rows; ++r) {
    LongValue v = LongAt(col, first + r);
    if (ind[r] == 0 && p->rowLengths[r]) memcpy(buf + static_cast<size_t>(r) * slot, v.buffer, p->rowLengths[r]);
  }
  p->buffer = buf;
  p->bufferCount = rows;
  p->data = buf;
  p->valueSize = slot;
  return 0;
}

void db_ParamRow(DB_Curs *c, uint16_t j, const DbParamBind *p, uint32_t r, const void **data, uint32_t *len) {
  const DatasetCol &col = c->owner->params->cols[j];
  const uint32_t row = p->first + r;
  if (IsLong(p->valueType)) {
    LongValue v = LongAt(col, row);
    *data = v.buffer;
    *len = p->rowLengths ? p->rowLengths[r] : LongBytes(p->valueType, v);
    return;
  }
  if (p->valueType == VT_DATE || p->valueType == VT_TIME || p->valueType == VT_TIMESTAMP) {
    *data = static_cast<const unsigned char *>(p->buffer) + static_cast<size_t>(r) * p->valueSize;
    *len = p->valueSize;
    return;
  }
  const unsigned char *cell = col.values + static_cast<size_t>(row) * col.size;
  *data = cell;
  *len = p->needsLengths ? (p->rowLengths ? p->rowLengths[r] : FixedTextBytes(p->valueType, cell, col.size)) : col.size;
}

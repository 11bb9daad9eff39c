// Column description, fetch binding, fetch and post-processing on the OCI
// level's cursor, and the piecewise read of fetched LOB values.
#include "drv_ora8/db-fetch.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-lob.h"
#include "drv_ora8/o-typemap.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"
#include "util/utalloc.h"

namespace {

AgentErrList *Errs(DB_Curs *c) { return c->owner ? &c->owner->errs : nullptr; }

void FreeDescArray(OciColDesc *descs, uint32_t n) {
  for (uint32_t i = 0; descs && i < n; ++i) OciColDesc_FreeBuffer(&descs[i]);
  free(descs);
}

bool IsLongExt(int16_t t) { return t == SQLT_LNG || t == SQLT_LBI; }
bool IsLobExt(int16_t t) { return t == SQLT_CLOB || t == SQLT_BLOB; }

// Refuses what this build cannot carry out, on the cursor's list.
int32_t NotCapable(DB_Curs *c, const char *what) {
  LOG(LOG_DEBUG, "%s is not supported by this build.", what);
  ErrList_PushCode(Errs(c), E_S1C00);
  return E_S1C00;
}

// The timestamp cell of a Dataset (ValueType 13).
struct TimestampCell {
  int16_t year;
  uint16_t month, day, hour, minute, second;
  uint32_t fraction;  // nanoseconds
};
static_assert(sizeof(TimestampCell) == 16, "a timestamp cell is 16 bytes");

void StoreTimestamp(unsigned char *cell, const TimestampCell &ts) { memcpy(cell, &ts, sizeof ts); }

inline uint16_t Load16(const unsigned char *p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}

int32_t Unhandled(const OciColDesc *r) {
  LOG(LOG_ERR, "DB_PostProcess: Unhandled conversion for external type: %d", static_cast<int>(r->extType));
  return E_S1000;
}

// Converts the non-NULL cells of one column that went through conversion.
int32_t ConvertColumn(DB_Curs *c, OciColDesc *r, DatasetCol &col, int32_t rows) {
  const uint32_t esize = col.size;
  const auto *elems = static_cast<const unsigned char *>(r->buffer);
  for (int32_t k = 0; k < rows; ++k) {
    if (col.indicators[k] == kIndNull) continue;
    unsigned char *cell = col.values + static_cast<size_t>(k) * esize;
    switch (col.type) {
      case VT_TIMESTAMP:
        if (r->extType == SQLT_DAT) {
          // Oracle's 7 bytes, defined into the front of the cell.
          unsigned char b[7];
          memcpy(b, cell, sizeof b);
          TimestampCell ts{};
          ts.year = static_cast<int16_t>(100 * b[0] + b[1] - 10100);
          ts.month = b[2];
          ts.day = b[3];
          ts.hour = static_cast<uint16_t>(b[4] - 1);
          ts.minute = static_cast<uint16_t>(b[5] - 1);
          ts.second = static_cast<uint16_t>(b[6] - 1);
          StoreTimestamp(cell, ts);
        } else if (r->extType == SQLT_TIMESTAMP) {
          if (!elems || k >= r->bufferCount) return Unhandled(r);
          OCIDateTime *dt = nullptr;
          memcpy(&dt, elems + static_cast<size_t>(k) * sizeof dt, sizeof dt);
          sb2 year = 0;
          ub1 month = 0, day = 0, hour = 0, minute = 0, second = 0;
          ub4 fraction = 0;
          sword st = OCIDateTimeGetDate(c->conn->env, c->err->errhp, dt, &year, &month, &day);
          if (!db_OciOk(st)) {
            LOG(LOG_ERR, "DB_PostProcess: OCIDateTimeGetDate() failed");
            return db_OciFail(st, Errs(c), c->err);
          }
          st = OCIDateTimeGetTime(c->conn->env, c->err->errhp, dt, &hour, &minute, &second, &fraction);
          if (!db_OciOk(st)) {
            LOG(LOG_ERR, "DB_PostProcess: OCIDateTimeGetTime() failed");
            return db_OciFail(st, Errs(c), c->err);
          }
          StoreTimestamp(cell, TimestampCell{year, month, day, hour, minute, second, fraction});
        }
        break;
      case VT_LONGCHAR:
      case VT_LONGBINARY:
      case VT_LONGWCHAR:
        break;  // filled by the piece or LOB reader
      case VT_WCHAR: {
        // Fixed UTF-16: the element's units; CHAR values keep their blank
        // padding even where OCI left zero units in its place.
        if (!elems || r->extType != SQLT_AFC || k >= r->bufferCount) return Unhandled(r);
        const unsigned char *e = elems + static_cast<size_t>(k) * r->elemSize;
        uint32_t units = static_cast<uint32_t>(r->elemSize) / 2;
        if (units > esize / 2) units = esize / 2;
        if (r->oraType == SQLT_AFC) {
          for (uint32_t u = 0; u < units; ++u) {
            uint16_t v = Load16(e + 2 * u);
            if (v == 0) v = 0x0020;
            memcpy(cell + 2 * u, &v, 2);
          }
        } else {
          memcpy(cell, e, 2 * static_cast<size_t>(units));
        }
        break;
      }
      case VT_VARCHAR2: {
        // A NUMBER: its exact text after the cell's 2-byte length.
        if (!elems || k >= r->bufferCount || esize < kOraNumberTextMax + 2) return Unhandled(r);
        const unsigned char *e = elems + static_cast<size_t>(k) * r->elemSize;
        char *text = reinterpret_cast<char *>(cell) + 2;
        if (r->extType == SQLT_INT) {
          int64_t whole;
          memcpy(&whole, e, sizeof whole);
          const auto len16 = static_cast<uint16_t>(std::to_chars(text, text + kOraNumberTextMax, whole).ptr - text);
          memcpy(cell, &len16, 2);
          break;
        }
        if (r->extType != SQLT_VNU) return Unhandled(r);
        const size_t n = db_OraNumberText(e + 1, e[0], text);
        if (n == 0) {
          LOG(LOG_ERR, "DB_PostProcess: not a NUMBER in row %d", static_cast<int>(k));
          return E_S1000;
        }
        const auto len16 = static_cast<uint16_t>(n);
        memcpy(cell, &len16, 2);
        break;
      }
      case VT_WVARCHAR4: {
        // UTF-16 after a 2-byte unit count becomes UTF-16 after a 4-byte one.
        if (!elems || r->extType != SQLT_VCS || k >= r->bufferCount) return Unhandled(r);
        const unsigned char *e = elems + static_cast<size_t>(k) * r->elemSize;
        uint32_t units = Load16(e);
        const uint32_t have = (static_cast<uint32_t>(r->elemSize) - 2) / 2;
        const uint32_t room = (esize - 4) / 2;
        if (units > have) units = have;
        if (units > room) units = room;
        memcpy(cell, &units, 4);
        memcpy(cell + 4, e + 2, 2 * static_cast<size_t>(units));
        break;
      }
      default:
        return Unhandled(r);
    }
  }
  return 0;
}

}  // namespace

// ---- Descriptor arrays ---------------------------------------------------------------

void db_FreeRowArrays(DB_Curs *c) {
  free(c->lengths);
  free(c->indicators);
  free(c->returnCodes);
  c->lengths = nullptr;
  c->indicators = nullptr;
  c->returnCodes = nullptr;
}

void OciColDesc_FreeBuffer(OciColDesc *r) {
  if (r->buffer) {
    void **elems = static_cast<void **>(r->buffer);
    if (IsLobExt(r->extType) && !r->bindFlag) {
      for (int32_t k = 0; k < r->bufferCount; ++k)
        if (elems[k]) OCIDescriptorFree(elems[k], OCI_DTYPE_LOB);
    } else if (r->extType == SQLT_TIMESTAMP) {
      for (int32_t k = 0; k < r->bufferCount; ++k)
        if (elems[k]) OCIDescriptorFree(elems[k], OCI_DTYPE_TIMESTAMP);
    }
    free(r->buffer);
  }
  r->buffer = nullptr;
  r->bufferCount = 0;
  r->elemSize = 0;
}

int32_t db_ResultDescsAlloc(DB_Curs *c, uint16_t n) {
  db_ResultDescsFree(c);
  if (n == 0) return 0;
  auto *descs = static_cast<OciColDesc *>(calloc(n, sizeof(OciColDesc)));
  if (!descs) return E_S1001;
  c->resultDescs = descs;
  c->resultDescSpare = n;
  return 0;
}

void db_ResultDescsFree(DB_Curs *c) {
  FreeDescArray(c->resultDescs, static_cast<uint32_t>(c->resultDescCount) + c->resultDescSpare);
  c->resultDescs = nullptr;
  c->resultDescCount = 0;
  c->resultDescSpare = 0;
}

int32_t db_ResultDescsGrow(DB_Curs *c, uint16_t k) {
  const uint32_t total = static_cast<uint32_t>(c->resultDescCount) + c->resultDescSpare + k;
  if (total > 0xFFFF) return E_S1000;
  auto *descs = static_cast<OciColDesc *>(calloc(total ? total : 1, sizeof(OciColDesc)));
  if (!descs) return E_S1001;
  if (c->resultDescCount) memcpy(descs, c->resultDescs, c->resultDescCount * sizeof(OciColDesc));
  // The spare entries are dropped ones: their buffers (if any) go with them.
  for (uint32_t i = c->resultDescCount; i < static_cast<uint32_t>(c->resultDescCount) + c->resultDescSpare; ++i)
    OciColDesc_FreeBuffer(&c->resultDescs[i]);
  free(c->resultDescs);
  c->resultDescs = descs;
  c->resultDescSpare = static_cast<uint16_t>(c->resultDescSpare + k);
  return 0;
}

void db_BindDescsFree(DB_Curs *c) {
  FreeDescArray(c->bindDescs, c->bindDescCount);
  c->bindDescs = nullptr;
  c->bindDescCount = 0;
}

void db_ProcArgDescsFree(DB_Curs *c) {
  FreeDescArray(c->argDescs, c->argDescCount);
  c->argDescs = nullptr;
  c->argDescCount = 0;
}

int32_t AgentCursor_ResultDescsAlloc(AgentCursor *cur, uint16_t n) {
  AgentCursor_ResultDescsFree(cur);
  ColDesc *cols = ColDescAlloc(n);
  if (!cols) return E_S1001;
  cur->cols = cols;
  cur->colCount = n;
  return 0;
}

void AgentCursor_ResultDescsFree(AgentCursor *cur) {
  ColDescFree(cur->cols, cur->colCount);
  cur->cols = nullptr;
  cur->colCount = 0;
}

ColDesc *AgentCursor_ResultDesc(AgentCursor *cur, uint16_t n) {
  return n >= 1 && n <= cur->colCount ? &cur->cols[n - 1] : nullptr;
}

// ---- Description ---------------------------------------------------------------------

int32_t DB_DescribeOutput(DB_Curs *c) {
  if (c->described) return 0;
  AgentCursor *cur = c->owner;
  OCIError *errhp = c->err->errhp;
  ub4 count = 0;
  bool describable = true;
  if (!(c->state & DBCURS_EXECUTED)) {
    // Describe without running the statement.
    sword st = OCIStmtExecute(c->conn->svc, c->stmt, errhp, c->kind == DBCURS_KIND_SELECT ? 0 : 1, 0, nullptr,
                              nullptr, OCI_DESCRIBE_ONLY);
    if (st != OCI_SUCCESS && st != OCI_SUCCESS_WITH_INFO) {
      // Such a statement (an anonymous block, say) has no result columns;
      // its errors stay on the list for whoever asks.
      db_OciFail(st, Errs(c), c->err);
      describable = false;
    }
  }
  free(c->defines);
  c->defines = nullptr;
  c->defineCount = 0;
  if (describable) {
    sword st = OCIAttrGet(c->stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, errhp);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "DB_DescribeOutput: OCIAttrGet() failed");
      return db_OciFail(st, Errs(c), c->err);
    }
    if (count > 0xFFFF) {
      LOG(LOG_ERR, "DB_DescribeOutput: %u result columns", static_cast<unsigned>(count));
      return E_S1000;
    }
    if (count) c->defines = static_cast<OCIDefine **>(s_alloc(count, sizeof(OCIDefine *)));
    c->defineCount = static_cast<uint16_t>(count);
  }
  const auto n = static_cast<uint16_t>(count);
  if (int32_t rc = AgentCursor_ResultDescsAlloc(cur, n)) return rc;
  db_ResultDescsFree(c);
  if (n) {
    if (int32_t rc = db_ResultDescsAlloc(c, n)) {
      AgentCursor_ResultDescsFree(cur);
      return rc;
    }
  }
  c->resultDescCount = n;
  c->resultDescSpare = 0;
  for (uint16_t i = 1; i <= n; ++i) {
    if (int32_t rc = db_GetColDesc(c, i)) {
      // Nothing half described stays behind to be fetched.
      AgentCursor_ResultDescsFree(cur);
      db_ResultDescsFree(c);
      return rc;
    }
  }
  c->described = 1;
  return 0;
}

// ---- Fetch binding -------------------------------------------------------------------

int32_t db_IntermElemSize(int16_t extType) {
  switch (extType) {
    case SQLT_DAT: return 7;
    case SQLT_CLOB:
    case SQLT_BLOB: return 8;
    case SQLT_LNG:
    case SQLT_LBI: return 4096;
    case SQLT_TIMESTAMP: return 8;
    case SQLT_VNU: return static_cast<int32_t>(kOraNumberSize);
    case SQLT_INT: return static_cast<int32_t>(sizeof(int64_t));  // a whole NUMBER
    default: return 0;
  }
}

int32_t db_IntermBuffAlloc(DB_Curs *c, OciColDesc *r, int32_t rows, int *noBuffer, void **buffer,
                           int32_t *elemSize, ub4 *mode, int32_t *maxSize) {
  *noBuffer = 0;
  *buffer = nullptr;
  *elemSize = 0;
  *mode = OCI_DEFAULT;
  *maxSize = 0;
  const bool wide = c->owner && c->owner->conn && c->owner->conn->wide;
  int32_t elem = 0;
  ub4 dtype = 0;  // elements are OCI descriptors of this type
  switch (r->extType) {
    case SQLT_LNG:
    case SQLT_LBI:
      // First-piece buffers of the piecewise fetch.
      elem = db_IntermElemSize(r->extType);
      *mode = OCI_DYNAMIC_FETCH;
      *maxSize = 2147483643;
      break;
    case SQLT_VCS:
      if (wide) elem = 2 + 2 * static_cast<int32_t>(r->size);  // unit count, then UTF-16
      break;
    case SQLT_AFC:
      if (wide) elem = 2 * static_cast<int32_t>(r->size);
      break;
    case SQLT_DAT:
      // The 7-byte date goes into the front of the 16-byte timestamp cell.
      OciColDesc_FreeBuffer(r);
      *noBuffer = 1;
      return 0;
    case SQLT_CLOB:
    case SQLT_BLOB:
      elem = db_IntermElemSize(r->extType);
      dtype = OCI_DTYPE_LOB;
      break;
    case SQLT_VNU:
    case SQLT_INT:
      elem = db_IntermElemSize(r->extType);
      break;
    case SQLT_TIMESTAMP:
      elem = db_IntermElemSize(r->extType);
      dtype = OCI_DTYPE_TIMESTAMP;
      break;
    default:
      break;
  }
  if (elem == 0) {
    OciColDesc_FreeBuffer(r);
    LOG(LOG_ERR, "db_IntermBuffAlloc: No support for external type: %d", static_cast<int>(r->extType));
    return E_S1000;
  }
  if (!(r->buffer && r->bufferCount == rows && r->elemSize == elem)) {
    // A buffer of the same shape is kept from the last fetch of this
    // description (its descriptors, too): a fetch allocates per block at
    // most, never per row.
    OciColDesc_FreeBuffer(r);
    void *buf = calloc(static_cast<size_t>(rows ? rows : 1), static_cast<size_t>(elem));
    if (!buf) return E_S1001;
    if (dtype) {
      void **descs = static_cast<void **>(buf);
      for (int32_t k = 0; k < rows; ++k) {
        sword st = OCIDescriptorAlloc(c->conn->env, &descs[k], dtype, 0, nullptr);
        if (!db_OciOk(st)) {
          LOG(LOG_ERR, "db_IntermBuffAlloc: OCIDescriptorAlloc failed.");
          for (int32_t j = 0; j < k; ++j) OCIDescriptorFree(descs[j], dtype);
          free(buf);
          return E_S1001;  // an allocation failure: nothing else is recorded
        }
      }
    }
    r->buffer = buf;
    r->elemSize = elem;
    r->bufferCount = rows;
  }
  *buffer = r->buffer;
  *elemSize = r->elemSize;
  return 0;
}

int32_t db_BindFetchCols(DB_Curs *c, Dataset *d) {
  db_FreeRowArrays(c);
  const int32_t rows = d->capacity;
  const uint16_t cols = d->columns;
  if (cols > c->resultDescCount || cols > c->defineCount) {
    LOG(LOG_ERR, "db_BindFetchCols: %u columns to fetch, %u described", static_cast<unsigned>(cols),
        static_cast<unsigned>(c->resultDescCount));
    return E_S1000;
  }
  const size_t n = static_cast<size_t>(rows) * cols;
  const size_t alloc = n ? n : 1;
  c->lengths = static_cast<uint16_t *>(calloc(alloc, sizeof(uint16_t)));
  c->indicators = static_cast<int16_t *>(calloc(alloc, sizeof(int16_t)));
  c->returnCodes = static_cast<uint16_t *>(calloc(alloc, sizeof(uint16_t)));
  if (!c->lengths || !c->indicators || !c->returnCodes) {
    db_FreeRowArrays(c);
    return E_S1001;
  }
  const bool wide = c->owner->conn->wide != 0;
  OCIError *errhp = c->err->errhp;
  int32_t rc = 0;
  for (uint16_t i = 0; i < cols && rc == 0; ++i) {
    OciColDesc *r = &c->resultDescs[i];
    DatasetCol &col = d->cols[i];
    const size_t at = static_cast<size_t>(i) * rows;
    void *value = col.values;
    sb4 valueSize = static_cast<sb4>(col.size);
    ub4 mode = OCI_DEFAULT;
    if (r->needsBuffer) {
      int noBuffer = 0;
      void *buf = nullptr;
      int32_t elem = 0, maxSize = 0;
      if ((rc = db_IntermBuffAlloc(c, r, rows, &noBuffer, &buf, &elem, &mode, &maxSize)) != 0) break;
      if (!noBuffer) {
        value = buf;
        valueSize = elem;
      }
      if (mode == OCI_DYNAMIC_FETCH) valueSize = maxSize;
    }
    // The column's define handle of the last fetch (if any) is defined anew.
    sword st = OCIDefineByPos(c->stmt, &c->defines[i], errhp, i + 1u, value, valueSize,
                              static_cast<ub2>(r->extType), c->indicators + at, c->lengths + at, c->returnCodes + at,
                              mode);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_BindFetchCols: OCIDefineByPos() failed.");
      rc = db_OciFail(st, Errs(c), c->err);
    }
    OCIDefine *def = c->defines[i];
    if (!def) continue;
    if (wide && (col.type == VT_WCHAR || col.type == VT_LONGWCHAR || col.type == VT_WVARCHAR4)) {
      ub2 csid = OCI_UTF16ID;
      st = OCIAttrSet(def, OCI_HTYPE_DEFINE, &csid, 0, OCI_ATTR_CHARSET_ID, errhp);
      if (!db_OciOk(st)) {
        LOG(LOG_ERR, "db_BindFetchCols: OCIAttrSet(...UCS2ID...) failed.");
        rc = db_OciFail(st, Errs(c), c->err);
      }
    }
    st = OCIAttrGet(def, OCI_HTYPE_DEFINE, &r->charsetForm, nullptr, OCI_ATTR_CHARSET_FORM, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(def, OCI_HTYPE_DEFINE, &r->charsetId, nullptr, OCI_ATTR_CHARSET_ID, errhp);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_BindFetchCols: OCIAttrGet() failed.");
      rc = db_OciFail(st, Errs(c), c->err);
    }
  }
  if (rc != 0) db_FreeRowArrays(c);
  return rc;
}

// ---- Fetch ---------------------------------------------------------------------------

int32_t DB_Fetch(DB_Curs *c, Dataset *d, int readLobs, int *endOfData) {
  if (endOfData) *endOfData = 0;
  d->rows = 0;
  for (uint32_t i = 0; i < c->resultDescCount; ++i) c->resultDescs[i].lobRow = -1;
  c->lobColumn = -1;
  c->lobCarryLen = 0;
  c->lobCarryPos = 0;

  bool hasLong = false, hasLob = false;
  for (uint16_t i = 0; i < d->columns && i < c->resultDescCount; ++i) {
    hasLong = hasLong || IsLongExt(c->resultDescs[i].extType);
    hasLob = hasLob || IsLobExt(c->resultDescs[i].extType);
  }
  // Long values this build cannot read are refused before any row is
  // fetched: the rows stay for a build that can.
  if (hasLong && !db_ColsGetPieces) return NotCapable(c, "Fetching LONG and LONG RAW values");
  if (hasLob && readLobs && !db_LOBFetchCells) return NotCapable(c, "Fetching LOB values");

  if (int32_t rc = db_BindFetchCols(c, d)) return rc;

  OCIError *errhp = c->err->errhp;
  ub4 before = 0, after = 0;
  // The rows of the block are counted from the statement's row count: a
  // count that cannot be read is a failure, never an empty block (which
  // would end the result early).
  sword st = OCIAttrGet(c->stmt, OCI_HTYPE_STMT, &before, nullptr, OCI_ATTR_ROW_COUNT, errhp);
  if (!db_OciOk(st)) return db_OciFail(st, Errs(c), c->err);
  const ub4 want = static_cast<ub4>(d->capacity);
  st = OCIStmtFetch(c->stmt, errhp, want, OCI_FETCH_NEXT, OCI_DEFAULT);
  int32_t rc = 0;
  int end = 0;
  bool warned = false;
  switch (st) {
    case OCI_ERROR:
    case OCI_INVALID_HANDLE:
      LOG(LOG_ERR, "DB_Fetch: OCIStmtFetch() failed.");
      rc = db_OciFail(st, Errs(c), c->err);
      break;
    case OCI_SUCCESS_WITH_INFO:
      // The rows came with a warning (a value cut, ORA-24345): its records
      // are taken before the row count is read on the same error handle,
      // beside those of the execute or the fetches before it that one call
      // of the application made (a static result read whole, a rowset
      // filled by several fetches).
      ErrList_AppendOCI(Errs(c), c->err);
      warned = true;
      break;
    case OCI_NEED_DATA:
      rc = db_ColsGetPieces(c, d);
      // Pieces with the database's warning: its records are kept already.
      if (rc == E_IM902) {
        warned = true;
        rc = 0;
      }
      break;
    case OCI_NO_DATA:
      end = 1;  // rows may still have come
      break;
    default:
      break;
  }
  // Counted in 32 bits: a block is as large as the Dataset, whatever its size.
  ub4 fetched = 0;
  if (rc == 0) {
    st = OCIAttrGet(c->stmt, OCI_HTYPE_STMT, &after, nullptr, OCI_ATTR_ROW_COUNT, errhp);
    if (!db_OciOk(st)) rc = db_OciFail(st, Errs(c), c->err);
  }
  if (rc == 0) {
    fetched = after - before;
    if (fetched > want) fetched = want;
  }
  if (rc == 0 && readLobs && hasLob) {
    rc = db_LOBFetchCells(c, d, static_cast<int32_t>(fetched));
    if (rc == E_IM902) {  // read, with a warning whose records are kept
      warned = true;
      rc = 0;
    }
    if (rc) fetched = 0;
  }
  d->rows = static_cast<int32_t>(fetched);
  if (endOfData) *endOfData = end;
  return rc == 0 && warned ? E_IM902 : rc;
}

int32_t DB_PostProcess(DB_Curs *c, Dataset *d, int parameters) {
  OciColDesc *descs = parameters ? c->bindDescs : c->resultDescs;
  const uint32_t count = parameters ? c->bindDescCount : c->resultDescCount;
  const int32_t rows = d->rows;
  const size_t capacity = static_cast<size_t>(d->capacity);
  int32_t rc = 0;
  if (rows > 0 && !c->indicators) {
    LOG(LOG_ERR, "DB_PostProcess: no indicators for %d rows", static_cast<int>(rows));
    rc = E_S1000;
  }
  uint32_t j = 0;
  for (uint16_t i = 0; rc == 0 && i < d->columns; ++i, ++j) {
    if (parameters)
      while (j < count && descs[j].ioMode == 0) ++j;
    if (j >= count) {
      LOG(LOG_ERR, "DB_PostProcess: iOciColDesc out of bounds");
      rc = E_S1000;
      break;
    }
    OciColDesc *r = &descs[j];
    DatasetCol &col = d->cols[i];
    const int16_t *oci = c->indicators + static_cast<size_t>(i) * capacity;
    for (int32_t k = 0; k < rows; ++k) {
      const int16_t s = oci[k];
      // -1 NULL; a positive or -2 indicator: the value was cut.
      col.indicators[k] = s == -1 ? kIndNull : (s > 0 || s == -2) ? 1 : 0;
    }
    if (r->needsBuffer && rows > 0) rc = ConvertColumn(c, r, col, rows);
  }
  db_FreeRowArrays(c);
  return rc;
}

// ---- LOB values in pieces ------------------------------------------------------------

namespace {

int32_t GetDataChunk(DB_Curs *c, int32_t column, int32_t row, int32_t maxBytes, void **piece, int32_t *size,
                     int32_t *valueType, int32_t *left) {
  *piece = nullptr;
  *size = 0;
  *left = -4;  // SQL_NO_TOTAL
  if (column < 0 || column >= static_cast<int32_t>(c->resultDescCount)) return E_S1000;
  OciColDesc *r = &c->resultDescs[column];
  if (r->oraType != SQLT_CLOB && r->oraType != SQLT_BLOB) return E_S1000;
  if (!db_LOBGetChunk) return NotCapable(c, "Reading LOB values in pieces");
  if (row < 0 || row >= r->bufferCount || !r->buffer || !IsLobExt(r->extType)) {
    LOG(LOG_ERR, "DB_GetDataChunk: no LOB locator for row %d of column %d", static_cast<int>(row),
        static_cast<int>(column));
    return E_S1000;
  }
  AgentCursor *cur = c->owner;
  AgentConn *conn = cur->conn;
  const bool wide = r->oraType == SQLT_CLOB && conn->wide;
  // For wide data the caller counts UTF-16 characters.
  int64_t max = maxBytes < 0 ? 0 : static_cast<int64_t>(maxBytes) * (wide ? 2 : 1);
  OCILobLocator *loc = static_cast<OCILobLocator **>(r->buffer)[row];

  // Another row or another column (either) starts that value afresh: a
  // partly read value is never continued with bytes read ahead for another.
  if (row != r->lobRow || column != c->lobColumn) {
    r->lobBytesRead = 0;
    r->lobRow = row;
    c->lobColumn = column;
    c->lobCarryLen = 0;
    c->lobCarryPos = 0;
  }
  const int64_t maxLength = cur->maxLength;
  const int32_t vt = wide ? VT_WCHAR : r->oraType == SQLT_CLOB ? VT_CHAR : VT_BINARY;
  // A narrow CLOB's length counts characters, not the bytes they take.
  const bool narrowClob = r->oraType == SQLT_CLOB && !wide;
  *valueType = vt;
  if (r->lobBytesRead == 0) {
    ub4 length = 0;
    sword st = OCILobGetLength(c->conn->svc, c->err->errhp, loc, &length);
    if (!db_OciOk(st)) {
      // Without its length the value cannot be read: an error, never an
      // empty value.
      LOG(LOG_ERR, "DB_GetDataChunk: OCILobGetLength() failed");
      return db_OciFail(st, Errs(c), c->err);
    }
    if (st == OCI_SUCCESS_WITH_INFO) {
      ErrList_AppendOCI(Errs(c), c->err);
      c->lobWarned = 1;
    }
    r->lobReadPos = 0;
    r->lobUnits = length;
    c->lobCarryLen = 0;
    c->lobCarryPos = 0;
    if (length == 0) {
      r->lobBytesLeft = 0;
      *left = 0;
      return 0;
    }
    if (conn->opts.emptyStringIsntNull && r->oraType == SQLT_CLOB && length == 1) {
      // A single blank is how an empty string is stored with the option: it
      // reads back as the empty string, as the fetch's blank pass gives it
      // when the value comes with its row.
      unsigned char first[4] = {0, 0, 0, 0};
      uint32_t got = 0;
      uint64_t units = 0;
      if (int32_t rc = db_LOBRead(wide, c, loc, r, 0, first, sizeof first, &got, SQLCS_IMPLICIT, &units)) return rc;
      const bool blank = wide ? (got == 2 && first[0] == 0x20 && first[1] == 0) : (got == 1 && first[0] == ' ');
      if (blank) {
        r->lobBytesLeft = 0;
        *left = 0;
        return 0;
      }
    }
    const int64_t unitBytes = wide ? 2 : 1;
    int64_t total = narrowClob ? -1 : static_cast<int64_t>(length) * unitBytes;
    if (maxLength > 0 && total > maxLength * unitBytes) total = maxLength * unitBytes;
    r->lobBytesLeft = total;
  }
  // With a maximum length a narrow CLOB ends after that many bytes, known
  // or not how many it has.
  int64_t limit = INT64_MAX;
  if (narrowClob && maxLength > 0) limit = maxLength - r->lobBytesRead;
  if (r->lobBytesLeft >= 0 && r->lobBytesLeft < limit) limit = r->lobBytesLeft;
  if (max > limit) max = limit;
  const bool drained = r->lobReadPos >= r->lobUnits && c->lobCarryLen == 0;
  if (r->lobBytesLeft == 0 || limit <= 0 || (narrowClob && drained)) {
    *left = 0;
    return 0;
  }
  *left = r->lobBytesLeft < 0 || r->lobBytesLeft > INT32_MAX ? -4 : static_cast<int32_t>(r->lobBytesLeft);
  if (max <= 0) return 0;
  auto *buf = static_cast<unsigned char *>(malloc(static_cast<size_t>(max)));
  if (!buf) return E_S1001;
  uint32_t got = static_cast<uint32_t>(max);
  int shortRead = 0;
  if (int32_t rc = db_LOBGetChunk(wide, c, loc, r, &r->lobReadPos, r->lobUnits, buf, &got, &shortRead, 1)) {
    free(buf);
    return rc;
  }
  if (got > max) got = static_cast<uint32_t>(max);
  if (got == 0) {
    free(buf);
    buf = nullptr;
  } else if (got < max) {
    // Give back what did not come; should that fail the larger block still
    // holds the piece.
    if (void *smaller = realloc(buf, got)) buf = static_cast<unsigned char *>(smaller);
  }
  r->lobBytesRead += got;
  if (r->lobBytesLeft >= 0) {
    r->lobBytesLeft -= got;
    if (r->lobBytesLeft < 0) r->lobBytesLeft = 0;
  } else if (r->lobReadPos >= r->lobUnits || got == 0 || (maxLength > 0 && r->lobBytesRead >= maxLength)) {
    // The rest of a narrow CLOB is known once its last characters are read
    // (they wait in the carry-over) or the maximum length is reached.
    int64_t rest = c->lobCarryLen;
    if (maxLength > 0 && rest > maxLength - r->lobBytesRead) rest = maxLength - r->lobBytesRead;
    r->lobBytesLeft = rest;
    *left = static_cast<int32_t>(got + rest);
  }
  *piece = buf;
  *size = static_cast<int32_t>(got);
  return 0;
}

}  // namespace

int32_t DB_GetDataChunk(DB_Curs *c, int32_t column, int32_t row, int32_t maxBytes, void **piece, int32_t *size,
                        int32_t *valueType, int32_t *left) {
  c->lobWarned = 0;
  const int32_t rc = GetDataChunk(c, column, row, maxBytes, piece, size, valueType, left);
  // A piece read with the database's warning is a piece: 74 hands it up
  // with the records waiting on the cursor's list.
  return rc == 0 && c->lobWarned ? E_IM902 : rc;
}

void DB_CancelFetch(DB_Curs *c) {
  if (!c || !c->stmt || !c->err || !c->err->errhp) return;
  OCIStmtFetch(c->stmt, c->err->errhp, 0, OCI_FETCH_NEXT, OCI_DEFAULT);
}

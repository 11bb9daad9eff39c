// SQLSetPos, SQLBulkOperations, their value Datasets and the
// data-at-execution dialogue of bound columns.
#include "odbc/data/setpos.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "odbc/connattr.h"
#include "odbc/data/appval.h"
#include "odbc/data/ctype.h"
#include "odbc/data/execute.h"
#include "odbc/data/fetch.h"
#include "odbc/data/getdata.h"
#include "odbc/data/services.h"
#include "odbc/dataset.h"
#include "odbc/desc.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "scrs/sc_s.h"
#include "util/utf.h"

namespace {

SQLRETURN Fail(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_ERROR;
}

// DRV_BulkOperations counts rows in 16 bits.
constexpr uint64_t kMaxSlotRows = 65535;

// ---- The application's rows ------------------------------------------------------------

// The rows an operation addresses: application rows first .. first+count-1,
// Dataset rows 0 .. count-1.
struct Rows {
  uint32_t first = 0;
  uint32_t count = 0;
  bool bulk = false;     // rows of the bound arrays: no row-operation entries, no rowset statuses
  uint16_t op = 0;
};

Rows SetPosRows(const Stmt *stmt, int64_t row, uint16_t op) {
  Rows r;
  r.op = op;
  if (row > 0) {
    r.first = static_cast<uint32_t>(row - 1);
    r.count = 1;
  } else {
    r.count = stmt->cursor.rowsetSize > 0 ? static_cast<uint32_t>(stmt->cursor.rowsetSize) : 0;
  }
  return r;
}

Rows BulkRows(const Stmt *stmt) {
  Rows r;
  r.bulk = true;
  r.count = static_cast<uint32_t>(std::min<uint64_t>(stmt->ard ? stmt->ard->arraySize : 1, UINT32_MAX));
  return r;
}

// The status the rowset holds for application row k (0-based): rows past
// the rowset the layer made are rows without data.
int RowStatus(const Stmt *stmt, uint32_t k) {
  const Rowset *rs = stmt->cursor.rowset;
  if (!rs || static_cast<int64_t>(k) >= rs->count) return SQL_ROW_NOROW;
  return scs_GetRowStatus(rs, static_cast<int32_t>(k + 1));
}

bool AppIgnores(const Stmt *stmt, uint32_t k) {
  const uint16_t *ops = stmt->ard ? stmt->ard->arrayStatus : nullptr;
  return ops && ops[k] == SQL_ROW_IGNORE;
}

// Rows not acted on: those the application ignores, and for every operation
// but ADD those where the rowset has no row.
bool Skipped(const Stmt *stmt, const Rows &rows, uint32_t k) {
  if (rows.bulk) return false;
  if (AppIgnores(stmt, k)) return true;
  if (rows.op == SQL_ADD) return false;
  const int s = RowStatus(stmt, k);
  return s == SQL_ROW_NOROW || s == SQL_ROW_DELETED;
}

int16_t CTypeOf(Stmt *stmt, const BoundCol *bc) {
  int16_t t = bc->bind.cType;
  if (t == SQL_C_DEFAULT || t == SQL_ARD_TYPE) t = GetColumnCType(stmt, bc->bind.column, t);
  return t;
}

// Column-wise, rows of a fixed-size C type lie that size apart whatever
// buffer length came with the binding; others lie a buffer length apart.
uint64_t DataStride(Stmt *stmt, const BoundCol *bc) {
  if (stmt->bindType != 0) return static_cast<uint32_t>(stmt->bindType);
  const int16_t t = CTypeOf(stmt, bc);
  const SQLLEN size = IsVariableCType(t) ? 0 : CTypeSize(t);
  return size > 0 ? static_cast<uint64_t>(size) : bc->bind.bufferLength;
}

const unsigned char *DataAt(Stmt *stmt, const BoundCol *bc, uint64_t k) {
  return AppBufferAt(static_cast<const unsigned char *>(bc->bind.data), k * DataStride(stmt, bc));
}

const int64_t *LenAt(const Stmt *stmt, const int64_t *p, uint64_t k) {
  if (!p) return nullptr;
  return stmt->bindType != 0 ? AppBufferAt(p, k * static_cast<uint32_t>(stmt->bindType)) : p + k;
}

// What the application holds for one cell.
struct AppCell {
  bool null = false;
  bool columnIgnored = false;
  bool dataAtExec = false;
  bool hasLength = false;
  int64_t length = 0;
  const unsigned char *data = nullptr;
};

AppCell CellOf(Stmt *stmt, const BoundCol *bc, uint64_t k) {
  AppCell c;
  const int64_t *ind = LenAt(stmt, bc->bind.indicatorPtr, k);
  const int64_t *len = LenAt(stmt, bc->bind.lengthPtr, k);
  if (len) {
    c.hasLength = true;
    c.length = LoadAppLength(len);
  }
  const int64_t indicator = ind ? LoadAppLength(ind) : c.length;
  if (c.hasLength && c.length == SQL_COLUMN_IGNORE) c.columnIgnored = true;
  if ((ind || c.hasLength) && indicator == SQL_NULL_DATA) c.null = true;
  if (c.hasLength && IsDataAtExecLength(c.length)) c.dataAtExec = true;
  c.data = DataAt(stmt, bc, k);
  return c;
}

// The collected pieces of a data-at-execution cell; held < 0 when a NULL
// piece came, 0 with no data when none came.
const unsigned char *PieceOf(const BoundCol *bc, uint64_t k, int64_t *held) {
  *held = 0;
  if (!bc->pieces || !bc->pieceLengths || static_cast<int64_t>(k) >= bc->pieceCount) return nullptr;
  *held = bc->pieceLengths[k];
  return static_cast<const unsigned char *>(bc->pieces[k]);
}

size_t TextLength(const unsigned char *p, int16_t cType, uint64_t limit) {
  if (cType == SQL_C_WCHAR) {
    const uint64_t units = limit ? limit / 2 : UINT64_MAX / 2;
    uint64_t n = 0;
    while (n < units) {
      uint16_t u;
      memcpy(&u, p + 2 * n, 2);
      if (u == 0) break;
      ++n;
    }
    return static_cast<size_t>(2 * n);
  }
  return limit ? strnlen(reinterpret_cast<const char *>(p), limit) : strlen(reinterpret_cast<const char *>(p));
}

// The length of a present value: text measured for SQL_NTS and for a
// character binding without a length, never beyond the buffer.
int64_t PresentLength(Stmt *stmt, const BoundCol *bc, const AppCell &c) {
  const int16_t t = CTypeOf(stmt, bc);
  const uint64_t buffer = bc->bind.bufferLength;
  if (!IsVariableCType(t)) {
    uint32_t w = 0;
    CTypeToValueType(t, &w);
    return w ? static_cast<int64_t>(CTypeSize(t)) : static_cast<int64_t>(buffer);
  }
  if ((!c.hasLength && t != SQL_C_BINARY) || c.length == SQL_NTS)
    return static_cast<int64_t>(TextLength(c.data, t, buffer));
  if (!c.hasLength || c.length < 0) return static_cast<int64_t>(buffer);
  return buffer && static_cast<uint64_t>(c.length) > buffer ? static_cast<int64_t>(buffer) : c.length;
}

int64_t ValueLength(Stmt *stmt, const BoundCol *bc, uint64_t k, bool agent) {
  const AppCell c = CellOf(stmt, bc, k);
  if (c.null || c.columnIgnored) return 0;
  if (c.dataAtExec) {
    if (agent) return 0;
    int64_t held = 0;
    PieceOf(bc, k, &held);
    return held > 0 ? held : 0;
  }
  if (!c.data) return 0;
  return PresentLength(stmt, bc, c);
}

int64_t MaxLength(Stmt *stmt, const BoundCol *bc, const Rows &rows, bool agent) {
  int64_t max = 0;
  for (uint32_t i = 0; i < rows.count; ++i) {
    const uint32_t k = rows.first + i;
    if (Skipped(stmt, rows, k)) continue;
    max = std::max(max, ValueLength(stmt, bc, k, agent));
  }
  return max;
}

// ---- Building value Datasets --------------------------------------------------------------

// How a column travels.
struct ColPlan {
  const BoundCol *bc = nullptr;
  int16_t cType = 0;
  int32_t type = 0;     // ValueType
  uint32_t size = 0;    // element size
  bool escapes = false; // text column of date/time escapes sent as ISO text
};

bool Updatable(const ColDesc *d) { return ((d->flags & kColDescUpdatableMask) >> kColDescUpdatableShift) != 1; }

// Whether the column's length is SQL_COLUMN_IGNORE in every row acted on.
bool IgnoredEverywhere(Stmt *stmt, const BoundCol *bc, const Rows &rows) {
  for (uint32_t i = 0; i < rows.count; ++i) {
    const uint32_t k = rows.first + i;
    if (Skipped(stmt, rows, k)) continue;
    if (!CellOf(stmt, bc, k).columnIgnored) return false;
  }
  return true;
}

// The escape of a present text value, kind 0 when it is none.
EscapeValue EscapeOfValue(int16_t cType, const unsigned char *v, int64_t len) {
  EscapeValue none{};
  if (!v || len <= 0) return none;
  if (cType == SQL_C_CHAR) return v[0] == '{' ? ParseEscape(reinterpret_cast<const char *>(v), static_cast<size_t>(len), 0) : none;
  uint16_t first;
  memcpy(&first, v, 2);
  return len >= 2 && first == '{' ? ParseEscapeW(v, static_cast<size_t>(len), 0) : none;
}

// The present value of a cell for building: its bytes and length; false
// for NULL, ignored and agent data-at-execution cells.
bool ValueBytes(Stmt *stmt, const BoundCol *bc, uint64_t k, bool agent, const unsigned char **v, int64_t *len) {
  const AppCell c = CellOf(stmt, bc, k);
  if (c.null || c.columnIgnored) return false;
  if (c.dataAtExec) {
    if (agent) return false;
    int64_t held = 0;
    *v = PieceOf(bc, k, &held);
    *len = held > 0 ? held : 0;
    return held >= 0;
  }
  if (!c.data) return false;
  *v = c.data;
  *len = PresentLength(stmt, bc, c);
  return true;
}

// Settles the column's type over every row: text columns of the generic
// path become date/time structures when all their present values are
// escapes of one kind.
void PlanColumn(Stmt *stmt, const Rows &rows, bool agent, ColPlan *p) {
  const int16_t t = p->cType;
  uint32_t w = 0;
  const int32_t vt = CTypeToValueType(t, &w);
  if (t == SQL_C_BINARY) {
    p->type = VT_LONGBINARY;
    p->size = sizeof(LongValue);
    return;
  }
  if (!IsVariableCType(t) && w) {
    p->type = vt;
    p->size = w;
    return;
  }
  const bool wide = t == SQL_C_WCHAR;
  const int64_t longest = MaxLength(stmt, p->bc, rows, agent);
  p->type = wide ? VT_WCHAR : VT_CHAR;
  int64_t size = longest + (wide ? 2 : 1);
  if (!agent) size = std::max<int64_t>(size, wide ? 18 : 17);
  if (!agent && (t == SQL_C_CHAR || wide)) {
    int32_t kind = 0;
    bool text = false, escape = false;
    for (uint32_t i = 0; i < rows.count; ++i) {
      const uint32_t k = rows.first + i;
      const unsigned char *v = nullptr;
      int64_t len = 0;
      if (Skipped(stmt, rows, k) || !ValueBytes(stmt, p->bc, k, agent, &v, &len)) continue;
      const EscapeValue e = EscapeOfValue(t, v, len);
      if (e.kind == 0 || (kind != 0 && e.kind != kind)) {
        text = true;
      } else {
        escape = true;
        kind = e.kind;
      }
    }
    if (escape && !text) {
      p->type = kind;
      p->size = kind == VT_TIMESTAMP ? 16 : 6;
      return;
    }
    if (escape) {
      // ISO text of up to 40 characters.
      p->escapes = true;
      size = std::max<int64_t>(size, wide ? 82 : 41);
    }
  }
  p->size = static_cast<uint32_t>(std::min<int64_t>(size, UINT32_MAX));
}

int FillCell(const ColPlan &p, unsigned char *e, const unsigned char *v, int64_t len) {
  const int16_t t = p.cType;
  if (p.type == VT_LONGBINARY) {
    LongValue lv{static_cast<uint32_t>(len), nullptr};
    if (len > 0) {
      lv.buffer = malloc(static_cast<size_t>(len));
      if (!lv.buffer) return E_S1001;
      memcpy(lv.buffer, v, static_cast<size_t>(len));
    }
    memcpy(e, &lv, sizeof lv);
    return 0;
  }
  if (p.type == VT_DATE || p.type == VT_TIME || p.type == VT_TIMESTAMP) {
    if (IsVariableCType(t)) {
      const EscapeValue x = EscapeOfValue(t, v, len);
      memcpy(e, x.kind == VT_DATE ? static_cast<const void *>(&x.date)
                : x.kind == VT_TIME ? static_cast<const void *>(&x.time)
                                    : static_cast<const void *>(&x.timestamp),
             p.size);
    } else {
      memcpy(e, v, p.size);
    }
    return 0;
  }
  switch (t) {
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT num;
      memcpy(&num, v, sizeof num);
      char text[kNumericTextWidth];
      const size_t n = NumericToText(text, &num);
      memcpy(e, text, std::min<size_t>(n, p.size));
      return 0;
    }
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      char text[kBigintTextWidth + 8];
      int64_t x;
      memcpy(&x, v, sizeof x);
      if (t == SQL_C_SBIGINT)
        snprintf(text, sizeof text, "%-*" PRId64, 31, x);
      else
        snprintf(text, sizeof text, "%-*" PRIu64, 31, static_cast<uint64_t>(x));
      memcpy(e, text, std::min<size_t>(strlen(text) + 1, p.size));
      return 0;
    }
    case SQL_C_GUID: {
      SQLGUID g;
      memcpy(&g, v, sizeof g);
      GUIDToChar(reinterpret_cast<char *>(e), &g);
      return 0;
    }
    default:
      break;
  }
  if (p.escapes) {
    const EscapeValue x = EscapeOfValue(t, v, len);
    if (x.kind != 0) {
      char text[48];
      const size_t n = EscapeToText(x, text, sizeof text);
      if (t == SQL_C_WCHAR) {
        for (size_t i = 0; i < n && 2 * i + 1 < p.size; ++i) {
          e[2 * i] = static_cast<unsigned char>(text[i]);
          e[2 * i + 1] = 0;
        }
      } else {
        memcpy(e, text, std::min<size_t>(n, p.size));
      }
      return 0;
    }
  }
  const size_t room = IsVariableCType(t) || p.type == VT_CHAR ? p.size - (t == SQL_C_WCHAR ? 2 : 1) : p.size;
  memcpy(e, v, std::min<size_t>(len > 0 ? static_cast<size_t>(len) : 0, IsVariableCType(t) ? room : p.size));
  return 0;
}

// Builds the value Dataset of the rows from the bound columns: every bound
// column but 0 that may be changed, or (list given) those of the list.
int BuildRows(Stmt *stmt, const Rows &rows, bool agent, const uint16_t *list, uint16_t listCount, Dataset *ds,
              uint16_t **outCols, uint16_t *outCount) {
  StmtDaeStore(stmt, 0);
  std::vector<ColPlan> plans;
  for (const BoundCol *bc = stmt->boundCols; bc; bc = bc->next) {
    const uint16_t column = bc->bind.column;
    if (column == 0 || !bc->bind.data) continue;
    if (list) {
      if (std::find(list, list + listCount, column) == list + listCount) continue;
    } else {
      const ColDesc *d = StmtGetColDesc(stmt, column);
      if (!d) return E_S1000;
      if (!Updatable(d) || IgnoredEverywhere(stmt, bc, rows)) continue;
    }
    ColPlan p;
    p.bc = bc;
    p.cType = CTypeOf(stmt, bc);
    plans.push_back(p);
  }
  if (plans.empty()) return E_21S02;
  if (plans.size() > UINT16_MAX || rows.count > INT32_MAX) return E_S1000;
  for (ColPlan &p : plans) PlanColumn(stmt, rows, agent, &p);

  const auto ncols = static_cast<uint16_t>(plans.size());
  if (int code = DatasetInit(ds, ncols)) return code;
  for (uint16_t c = 0; c < ncols; ++c) {
    ds->cols[c].type = plans[c].type;
    ds->cols[c].size = plans[c].size;
  }
  ds->columns = ncols;
  const auto n = static_cast<int32_t>(rows.count);
  if (int code = DatasetAllocRows(ds, n)) {
    DatasetFree(ds);
    return code;
  }
  ds->rows = n;
  for (uint16_t c = 0; c < ncols; ++c) {
    const ColPlan &p = plans[c];
    DatasetCol &col = ds->cols[c];
    for (int32_t r = 0; r < n; ++r) {
      const uint32_t k = rows.first + static_cast<uint32_t>(r);
      int16_t &ind = col.indicators[r];
      if (Skipped(stmt, rows, k)) {
        ind = kIndRowIgnored;
        continue;
      }
      const AppCell cell = CellOf(stmt, p.bc, k);
      if (cell.columnIgnored) {
        ind = kIndColumnIgnored;
        continue;
      }
      if (cell.null) {
        ind = kIndNull;
        continue;
      }
      if (cell.dataAtExec && agent) {
        ind = kIndDataAtExec;
        continue;
      }
      const unsigned char *v = nullptr;
      int64_t len = 0;
      if (!ValueBytes(stmt, p.bc, k, agent, &v, &len)) {
        ind = kIndNull;
        continue;
      }
      ind = 0;
      // A data-at-execution value without a piece is an empty value.
      if (!v) {
        if (!IsVariableCType(p.cType)) ind = kIndNull;
        continue;
      }
      if (int code = FillCell(p, col.values + static_cast<uint64_t>(r) * col.size, v, len)) {
        DatasetFree(ds);
        return code;
      }
    }
  }
  auto *cols = static_cast<uint16_t *>(malloc(ncols * sizeof(uint16_t)));
  if (!cols) {
    DatasetFree(ds);
    return E_S1001;
  }
  for (uint16_t c = 0; c < ncols; ++c) cols[c] = plans[c].bc->bind.column;
  if (outCols) {
    *outCols = cols;
  } else {
    free(cols);
  }
  if (outCount) *outCount = ncols;
  return 0;
}

bool NarrowAgent(const Conn *conn) { return conn->narrowOnly || !DriverIsUnicode(); }

bool CallerFrees(const Stmt *stmt) {
  return stmt->cursor.drv && (stmt->cursor.drv->flags & DRVOBJ_CALLER_FREES);
}

// What was handed down goes with the layer below unless the object says
// the caller frees it.
void HandedDown(Stmt *stmt, Dataset *ds, uint16_t *cols) {
  if (!CallerFrees(stmt)) return;
  if (ds) {
    DatasetFree(ds);
    free(ds);
  }
  free(cols);
}

int32_t ToRowArg(uint64_t row) { return row == 0 ? SCS_ALL_ROWS : static_cast<int32_t>(row); }

// ---- Results and statuses -----------------------------------------------------------------

// Writes the statuses that came back into the rowset and the application's
// row-status array, leaving the rows not acted on as they are.
void WriteBack(Stmt *stmt, const Rows &rows, const int16_t *status) {
  if (!status) return;
  ScsCursor &cur = stmt->cursor;
  for (uint32_t i = 0; i < rows.count; ++i) {
    const uint32_t k = rows.first + i;
    if (Skipped(stmt, rows, k)) continue;
    scs_SetRowStatus(cur.rowset, static_cast<int32_t>(k + 1), status[i]);
    if (cur.fetchStatus) cur.fetchStatus[k] = static_cast<uint16_t>(status[i]);
  }
}

// Whether any row acted on came through (its status is not an error).
bool AnyRowDone(const Stmt *stmt, const Rows &rows, const int16_t *status) {
  if (!status) return false;
  for (uint32_t i = 0; i < rows.count; ++i)
    if (!Skipped(stmt, rows, rows.first + i) && status[i] != SQL_ROW_ERROR) return true;
  return false;
}

// The result of an operation the layer below ran. 92 and 81 report some
// rows done: success with information (01S01) while any row acted on came
// through, else an error; statuses are written for them and for 91 (no
// row changed); any other failure writes none.
// "Error in row" after the failing rows' own messages, or alone.
void PostRowError(Stmt *stmt) {
  const SqlStateRow *row = stmt->messages ? SqlStateLookup(E_01S01) : nullptr;
  if (!row) {
    stmt->pending = E_01S01;
    return;
  }
  char text[128];
  snprintf(text, sizeof text, "[Driver]%s[SQLSTATE:%s]", row->message, row->state);
  StmtAddMsg(stmt, text, 0);
}

SQLRETURN Outcome(Stmt *stmt, int32_t rc, const Rows &rows, const int16_t *status) {
  if (rc == 0 || rc == E_IM500) {
    WriteBack(stmt, rows, status);
    stmt->pending = rc;
    return rc == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  }
  const bool msgs = StmtGetAgentMsgs(stmt) != 0;
  if (rc == E_01S04 || rc == E_01S01) {
    WriteBack(stmt, rows, status);
    PostRowError(stmt);
    return AnyRowDone(stmt, rows, status) || (rc == E_01S04 && !status) ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
  }
  if (!msgs) stmt->pending = rc;
  if (rc == E_01S03) WriteBack(stmt, rows, status);
  return SQL_ERROR;
}

// Positions, and hands a value or row-mark Dataset down for UPDATE, ADD
// and DELETE; the statuses come back for the addressed rows.
SQLRETURN SendSetPos(Stmt *stmt, uint64_t row, uint16_t op, Dataset *ds, uint16_t *cols, uint16_t count) {
  ScsCursor &cur = stmt->cursor;
  if (ds && NarrowAgent(stmt->conn)) {
    if (int code = DatasetToNarrow(ds)) {
      DatasetFree(ds);
      free(ds);
      free(cols);
      return Fail(stmt, code);
    }
  }
  int16_t *status = nullptr;
  const int32_t rc =
      DrvCall<&DrvOps::DRV_SetPos>(cur.drv, cur.lowerStmt, ToRowArg(row), op, static_cast<uint16_t>(0), &status,
                                   static_cast<int32_t *>(nullptr), ds, cols, count);
  HandedDown(stmt, ds, cols);
  const SQLRETURN result = Outcome(stmt, rc, SetPosRows(stmt, static_cast<int64_t>(row), op), status);
  free(status);
  return result;
}

// ---- SQLSetPos ------------------------------------------------------------------------------

bool AnyBound(const Stmt *stmt) {
  for (const BoundCol *bc = stmt->boundCols; bc; bc = bc->next)
    if (bc->bind.column != 0 && bc->bind.data) return true;
  return false;
}

// The checks both paths make, in order. The row is compared at full
// width: a row above the rowset is refused, never taken modulo anything.
int SetPosCheck(Stmt *stmt, uint64_t row, uint16_t op) {
  ScsCursor &cur = stmt->cursor;
  // Nothing prepared or executed: the sequence error the Driver Manager
  // gives in that state.
  if (stmt->state != STMT_PREPARED) return E_S1010;
  if (!stmt->conn->cn_hasScrlCurs) return E_IM001;
  if (op > SQL_ADD) return E_S1C00;
  if (cur.cursorType == SCS_FORWARD_ONLY) return E_S1109;
  if (cur.concurrency == SCS_READ_ONLY && (op == SQL_UPDATE || op == SQL_DELETE || op == SQL_ADD)) return E_S1009;
  if (stmt->state != STMT_PREPARED || !(stmt->flags & STMTF_RESULT_OPEN)) return E_24000;
  if (op != SQL_ADD && (cur.position == SCS_BEFORE_FIRST || cur.position == SCS_AFTER_LAST)) return E_24000;
  if (row > static_cast<uint64_t>(cur.rowsetSize > 0 ? cur.rowsetSize : 0)) return E_S1107;
  // A given row must hold data that the operation can act on; row 0 acts
  // on the rows that exist and fails only when there are none.
  if (op != SQL_ADD) {
    const Rows rows = SetPosRows(stmt, static_cast<int64_t>(row), op);
    bool exists = false;
    for (uint32_t i = 0; i < rows.count; ++i) {
      const uint32_t k = rows.first + i;
      const int s = RowStatus(stmt, k);
      if (s == SQL_ROW_NOROW) {
        if (row != 0) return E_S1109;
        continue;
      }
      if (row == 0 && AppIgnores(stmt, k)) {
        exists = true;
        continue;
      }
      if ((s == SQL_ROW_DELETED || s == SQL_ROW_ERROR) && op != SQL_POSITION) {
        // Every row: a deleted row is passed over, a row in error tried again.
        if (row != 0) return E_S1109;
        if (s == SQL_ROW_DELETED) continue;
      }
      exists = true;
    }
    if (!exists) return E_S1109;
  }
  if (op != SQL_ADD)
    if (int code = scs_SetRowPosition(&cur, row == 0 ? SCS_ALL_ROWS : static_cast<int32_t>(row))) return code;
  cur.setPosRow = static_cast<int32_t>(row);
  cur.setPosOp = op;
  return 0;
}

// The addressed rows of the rowset read again from the database: the
// rowset of a keyset-driven or static cursor is fetched afresh at its first
// row (by key, so that changed and deleted rows show), and the addressed
// rows, statuses included, replace the ones held. Other cursors keep what
// they hold.
int RereadRows(Stmt *stmt, uint64_t row) {
  ScsCursor &cur = stmt->cursor;
  const bool keyset = cur.cursorType == SCS_KEYSET && cur.keysetSize == 0;
  if ((!keyset && cur.cursorType != SCS_STATIC) || cur.firstRow < 1 || !cur.rowset || !cur.rowset->rows) return 0;
  Rowset *fresh = nullptr;
  uint32_t rows = 0;
  int32_t count = cur.rowCount;
  int32_t code = DrvCall<&DrvOps::DRV_FetchScroll>(cur.drv, cur.lowerStmt, &fresh, cur.firstRow, &rows, &count,
                                                   static_cast<uint16_t>(SQL_FETCH_ABSOLUTE));
  if (code != 0 || !fresh) {
    RowsetFree(&fresh);
    return code == E_IM907 ? 0 : code;
  }
  Rowset *held = cur.rowset;
  if (row == 0) {
    // The whole rowset: the fresh one takes its place, at its size.
    cur.rowset = fresh;
    RowsetFree(&held);
    return 0;
  }
  const auto r = static_cast<int32_t>(row - 1);
  if (r < fresh->count && r < held->count && fresh->rows && r < fresh->rows->rows && r < held->rows->rows) {
    Dataset *one = nullptr;
    code = DatasetCloneLayout(&one, held->rows, held->rows->capacity);
    // Rows before r, the fresh row r, rows after r: the held Dataset
    // keeps its layout and its other rows.
    for (int32_t i = 0; code == 0 && i < held->rows->rows; ++i)
      code = i == r ? DatasetRowCopy(one, fresh->rows, static_cast<uint32_t>(i), static_cast<uint32_t>(i), 1)
                    : DatasetRowCopy(one, held->rows, static_cast<uint32_t>(i), static_cast<uint32_t>(i), 1);
    if (code == 0) {
      DatasetFree(held->rows);
      free(held->rows);
      held->rows = one;
      held->status[r] = fresh->status[r];
    } else if (one) {
      DatasetFree(one);
      free(one);
    }
  } else if (r < held->count) {
    held->status[r] = r < fresh->count ? fresh->status[r] : static_cast<uint16_t>(SQL_ROW_DELETED);
  }
  RowsetFree(&fresh);
  return code;
}

SQLRETURN PositionOrRefresh(Stmt *stmt, uint64_t row, uint16_t op) {
  ScsCursor &cur = stmt->cursor;
  if (op == SQL_REFRESH) {
    if (int code = RereadRows(stmt, row)) {
      if (!StmtGetAgentMsgs(stmt)) stmt->pending = code;
      return SQL_ERROR;
    }
    return RowsetFill(stmt, cur.fetchStatus, static_cast<uint32_t>(row), SQL_REFRESH);
  }
  const int32_t rc = DrvCall<&DrvOps::DRV_SetPos>(cur.drv, cur.lowerStmt, ToRowArg(row), op, static_cast<uint16_t>(0),
                                                  static_cast<int16_t **>(nullptr), static_cast<int32_t *>(nullptr),
                                                  static_cast<Dataset *>(nullptr), static_cast<uint16_t *>(nullptr),
                                                  static_cast<uint16_t>(0));
  if (rc == 0) return SQL_SUCCESS;
  if (!StmtGetAgentMsgs(stmt)) stmt->pending = rc;
  return SQL_ERROR;
}

SQLRETURN Delete(Stmt *stmt, uint64_t row) {
  Dataset *marks = nullptr;
  if (int code = SetPosDeleteRows(stmt, ToRowArg(row), &marks)) return Fail(stmt, code);
  return SendSetPos(stmt, row, SQL_DELETE, marks, nullptr, 0);
}

// Generic path: builds the values (the pieces collected included) and sends.
SQLRETURN BuildAndSend(Stmt *stmt, uint64_t row, uint16_t op) {
  auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!ds) return Fail(stmt, E_S1001);
  uint16_t *cols = nullptr;
  uint16_t count = 0;
  if (int code = SetPosBuildRows(stmt, ToRowArg(row), ds, &cols, &count)) {
    free(ds);
    return Fail(stmt, code);
  }
  return SendSetPos(stmt, row, op, ds, cols, count);
}

// Whether an operation has rows to act on at all (row 0 with every row
// ignored by the application has none: nothing is sent).
bool NothingToDo(const Stmt *stmt, uint64_t row, uint16_t op) {
  const Rows rows = SetPosRows(stmt, static_cast<int64_t>(row), op);
  for (uint32_t i = 0; i < rows.count; ++i)
    if (!Skipped(stmt, rows, rows.first + i)) return false;
  return true;
}

SQLRETURN SetPos(Stmt *stmt, uint64_t row, uint16_t op, bool agent) {
  BindOffsetRefresh(stmt);
  if (int code = SetPosCheck(stmt, row, op)) return Fail(stmt, code);
  switch (op) {
    case SQL_POSITION:
    case SQL_REFRESH:
      return PositionOrRefresh(stmt, row, op);
    case SQL_DELETE:
      if (NothingToDo(stmt, row, op)) return SQL_SUCCESS;
      return Delete(stmt, row);
    default:
      break;
  }
  if (!AnyBound(stmt)) return Fail(stmt, E_21S02);
  if (NothingToDo(stmt, row, op)) return SQL_SUCCESS;
  if (!agent) {
    const SQLRETURN rc = SetPosNeedData(stmt, ToRowArg(row), nullptr, 0);
    if (rc != SQL_SUCCESS) return rc;
    return BuildAndSend(stmt, row, op);
  }
  auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!ds) return Fail(stmt, E_S1001);
  uint16_t *cols = nullptr;
  uint16_t count = 0;
  if (int code = SetPosBuildRowsAgent(stmt, ToRowArg(row), ds, &cols, &count)) {
    free(ds);
    return Fail(stmt, code);
  }
  if (NarrowAgent(stmt->conn)) {
    if (int code = DatasetToNarrow(ds)) {
      DatasetFree(ds);
      free(ds);
      free(cols);
      return Fail(stmt, code);
    }
  }
  SetPosFreeBuffers(stmt);
  // The statement keeps its own copy of the column list: it names the
  // bindings of the cells the agent asks for, whoever frees the one sent.
  stmt->setPosColumns = static_cast<uint16_t *>(malloc(count * sizeof(uint16_t)));
  if (!stmt->setPosColumns) {
    DatasetFree(ds);
    free(ds);
    free(cols);
    return Fail(stmt, E_S1001);
  }
  memcpy(stmt->setPosColumns, cols, count * sizeof(uint16_t));
  stmt->setPosColumnCount = count;
  ScsCursor &cur = stmt->cursor;
  const int32_t rc = DrvCall<&DrvOps::DRV_SetPos>(cur.drv, cur.lowerStmt, ToRowArg(row), op, static_cast<uint16_t>(0),
                                                  &stmt->setPosStatus, static_cast<int32_t *>(nullptr), ds, cols,
                                                  count);
  if (CallerFrees(stmt)) {
    stmt->setPosValues = ds;
    free(cols);
  }
  stmt->pending = rc;
  if (rc == E_IM922) {
    stmt->pending = 0;
    stmt->daeLocal = 0;
    stmt->daeAgentIndex = -1;
    stmt->daeCounters[0] = stmt->daeCounters[1] = 0;
    StmtDaeStore(stmt, DAE_SETPOS);
    return SQL_NEED_DATA;
  }
  return SetPosFinish(stmt);
}

// ---- Data at execution, generic path ---------------------------------------------------------

BoundCol *NodeAt(Stmt *stmt, uint32_t index) {
  BoundCol *bc = stmt->boundCols;
  for (uint32_t i = 0; bc && i < index; ++i) bc = bc->next;
  return bc;
}

BoundCol *NodeOfColumn(Stmt *stmt, uint16_t column) {
  for (BoundCol *bc = stmt->boundCols; bc; bc = bc->next)
    if (bc->bind.column == column) return bc;
  return nullptr;
}

// The rows a dialogue of this state scans: a SetPos dialogue skips the rows
// not acted on.
Rows DialogueRows(const Stmt *stmt, bool bulk) {
  if (bulk) return BulkRows(stmt);
  return SetPosRows(stmt, stmt->cursor.setPosRow, stmt->cursor.setPosOp);
}

int FindColumn(Stmt *stmt, const uint16_t *list, uint16_t count, bool bulk) {
  const Rows rows = DialogueRows(stmt, bulk);
  while (stmt->daeScanRow >= 0 && stmt->daeScanRow < stmt->daeRowEnd) {
    const auto k = static_cast<uint32_t>(stmt->daeScanRow);
    if (!Skipped(stmt, rows, k)) {
      uint32_t index = 0;
      for (BoundCol *bc = stmt->boundCols; bc; bc = bc->next, ++index) {
        if (index < stmt->daeScanIndex) continue;
        const uint16_t column = bc->bind.column;
        if (column == 0 || !bc->bind.data) continue;
        if (list && std::find(list, list + count, column) == list + count) continue;
        const int64_t *len = LenAt(stmt, bc->bind.lengthPtr, k);
        if (len && IsDataAtExecLength(LoadAppLength(len))) {
          stmt->daeScanIndex = static_cast<uint16_t>(index);
          return 1;
        }
      }
    }
    stmt->daeScanIndex = 0;
    ++stmt->daeScanRow;
  }
  stmt->daeScanIndex = 0;
  stmt->daeScanRow = 0;
  return 0;
}

SQLRETURN NextColumn(Stmt *stmt, void **token) {
  const uint16_t state = StmtDaeLoad(stmt);
  const bool bulk = state == DAE_BULK;
  stmt->daeCurRow = stmt->daeScanRow;
  stmt->daeCurIndex = stmt->daeScanIndex++;
  BoundCol *bc = NodeAt(stmt, stmt->daeCurIndex);
  if (!bc) {
    StmtDaeStore(stmt, 0);
    return Fail(stmt, E_S1000);
  }
  const auto k = static_cast<uint64_t>(stmt->daeCurRow);
  if (bc->pieces && static_cast<int64_t>(k) < bc->pieceCount) {
    free(bc->pieces[k]);
    bc->pieces[k] = nullptr;
    if (bc->pieceLengths) bc->pieceLengths[k] = 0;
  }
  stmt->daeAgentIndex = static_cast<int32_t>(stmt->daeCurIndex);  // a cell is current
  if (token) *token = const_cast<unsigned char *>(DataAt(stmt, bc, k));
  if (!FindColumn(stmt, bulk ? stmt->bulkColumns : nullptr, bulk ? stmt->bulkColumnCount : 0, bulk))
    StmtDaeStore(stmt, bulk ? DAE_BULK_READY : DAE_SETPOS_READY);
  return SQL_NEED_DATA;
}

SQLRETURN PutColumnLocal(Stmt *stmt, const void *data, int64_t length) {
  BoundCol *bc = stmt->daeAgentIndex >= 0 ? NodeAt(stmt, stmt->daeCurIndex) : nullptr;
  const auto k = stmt->daeCurRow;
  int32_t code = E_S1010;
  if (bc) {
    if (!bc->pieces || !bc->pieceLengths || k < 0 || k >= bc->pieceCount) {
      code = E_S1000;
    } else {
      const int16_t t = CTypeOf(stmt, bc);
      code = DaeAppendPiece(&bc->pieces[k], &bc->pieceLengths[k], t, CTypeSize(t), data, length);
    }
  }
  if (code != 0) {
    // The dialogue ends: nothing runs.
    StmtDaeStore(stmt, 0);
    return Fail(stmt, code);
  }
  return SQL_SUCCESS;
}

// ---- Data at execution, agent path ------------------------------------------------------------

SQLRETURN SetPosDialogueEnd(Stmt *stmt, int32_t code) {
  StmtDaeStore(stmt, 0);
  stmt->daeAgentIndex = -1;
  SetPosFreeBuffers(stmt);
  return Fail(stmt, code);
}

SQLRETURN ParamDataSetPosAgent(Stmt *stmt, void **token) {
  if (stmt->daeAgentIndex >= 0 && stmt->daeCounters[1] != 0) {
    // The text ended with the first half of a surrogate pair.
    return SetPosDialogueEnd(stmt, E_22018);
  }
  int32_t column = -1, row = -1, count = 0;
  int16_t *status = nullptr;
  const int32_t rc = DrvCall<&DrvOps::DRV_ParamData>(stmt->drv, stmt->agentCursor, &column, &row, &status, &count);
  if (rc != E_IM922) {
    StmtDaeStore(stmt, 0);
    // Statuses are read for every addressed row: a shorter array is
    // completed with errors rather than read past its end.
    const Rows addressed = SetPosRows(stmt, stmt->cursor.setPosRow, stmt->cursor.setPosOp);
    if (status && count >= 0 && static_cast<uint32_t>(count) < addressed.count) {
      auto *full = static_cast<int16_t *>(realloc(status, addressed.count * sizeof(int16_t)));
      if (!full) {
        free(status);
        return SetPosDialogueEnd(stmt, E_S1001);
      }
      for (uint32_t i = static_cast<uint32_t>(count); i < addressed.count; ++i) full[i] = SQL_ROW_ERROR;
      status = full;
    }
    free(stmt->setPosStatus);
    stmt->setPosStatus = status;
    stmt->pending = rc;
    return SetPosFinish(stmt);
  }
  free(status);
  // The agent names a cell of the value Dataset: its column's binding by
  // the result-column number, its row from the first addressed row.
  BoundCol *bc = column >= 0 && column < stmt->setPosColumnCount
                     ? NodeOfColumn(stmt, stmt->setPosColumns[column])
                     : nullptr;
  const Rows rows = SetPosRows(stmt, stmt->cursor.setPosRow, stmt->cursor.setPosOp);
  if (!bc || row < 0 || static_cast<uint32_t>(row) >= rows.count) return SetPosDialogueEnd(stmt, E_S1000);
  int32_t index = 0;
  for (BoundCol *b = stmt->boundCols; b != bc; b = b->next) ++index;
  stmt->daeAgentIndex = index;
  stmt->daeAgentRow = static_cast<int32_t>(rows.first) + row;
  stmt->daeCounters[0] = 0;
  stmt->daeCounters[1] = 0;
  stmt->pending = 0;
  if (token) *token = const_cast<unsigned char *>(DataAt(stmt, bc, static_cast<uint64_t>(stmt->daeAgentRow)));
  return SQL_NEED_DATA;
}

SQLRETURN PutDataSetPosAgent(Stmt *stmt, const void *data, int64_t length) {
  BoundCol *bc = stmt->daeAgentIndex >= 0 ? NodeAt(stmt, static_cast<uint32_t>(stmt->daeAgentIndex)) : nullptr;
  if (!bc) return Fail(stmt, E_S1010);
  if (int32_t code = PieceArgsCheck(data, length)) return Fail(stmt, code);
  const int16_t t = CTypeOf(stmt, bc);
  uint32_t width = 0;
  int32_t vt = CTypeToValueType(t, &width);
  if (stmt->daeCounters[0]++ > 0 && !IsVariableCType(t)) return Fail(stmt, E_S1019);
  int16_t indicator = 0;
  int64_t len = length;
  if (length == SQL_NULL_DATA) {
    indicator = -1;
    len = 0;
    stmt->daeCounters[1] = 0;
  } else if (length == SQL_NTS) {
    len = NtsPieceBytes(t, data);
  }
  if (len > INT32_MAX) return Fail(stmt, E_S1090);
  void *buf = nullptr;
  int32_t size = 0;
  if (indicator == 0) {
    ColPlan p;
    p.cType = t;
    p.type = vt;
    if (IsVariableCType(t)) {
      size = static_cast<int32_t>(len);
      vt = t == SQL_C_WCHAR ? VT_WCHAR : t == SQL_C_BINARY ? VT_BINARY : VT_CHAR;
    } else {
      p.size = width ? width : static_cast<uint32_t>(CTypeSize(t));
      size = static_cast<int32_t>(p.size);
    }
    if (size > 0) {
      buf = calloc(1, static_cast<size_t>(size) + 1);
      if (!buf) return Fail(stmt, E_S1001);
      if (IsVariableCType(t))
        memcpy(buf, data, static_cast<size_t>(size));
      else
        FillCell(p, static_cast<unsigned char *>(buf), static_cast<const unsigned char *>(data), CTypeSize(t));
    }
    if (vt == VT_WCHAR && NarrowAgent(stmt->conn) && (buf || stmt->daeCounters[1] != 0)) {
      if (!buf && !(buf = malloc(2))) return Fail(stmt, E_S1001);
      if (int code = NarrowPiece(&buf, &size, &vt, &stmt->daeCounters[1])) {
        free(buf);
        return Fail(stmt, code);
      }
    } else if (vt == VT_WCHAR && NarrowAgent(stmt->conn)) {
      vt = VT_CHAR;
    }
  }
  const int32_t rc = DrvCall<&DrvOps::DRV_PutData>(stmt->drv, stmt->agentCursor, static_cast<uint32_t>(vt), indicator,
                                                   static_cast<const void *>(buf), size);
  free(buf);
  if (rc != 0) {
    if (!StmtGetAgentMsgs(stmt)) stmt->pending = rc;
    StmtDaeStore(stmt, 0);
    stmt->daeAgentIndex = -1;
    SetPosFreeBuffers(stmt);
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

// ---- SQLBulkOperations ----------------------------------------------------------------------

void BulkFree(Stmt *stmt) {
  free(stmt->bulkBookmarks);
  stmt->bulkBookmarks = nullptr;
  free(stmt->bulkColumns);
  stmt->bulkColumns = nullptr;
  stmt->bulkColumnCount = 0;
}

// Statuses into the IRD's array (5 each when none came back) and n rows
// processed.
void BulkStatuses(Stmt *stmt, uint64_t n, const int16_t *status, int32_t have) {
  if (uint16_t *out = stmt->ird ? stmt->ird->arrayStatus : nullptr)
    for (uint64_t i = 0; i < n; ++i)
      out[i] = status && static_cast<int64_t>(i) < have ? static_cast<uint16_t>(status[i]) : SQL_ROW_ERROR;
  if (stmt->ird && stmt->ird->rowsProcessed) *stmt->ird->rowsProcessed = n;
  if (stmt->rowsFetched) *stmt->rowsFetched = n;
}

SQLRETURN BulkResult(Stmt *stmt, int32_t rc, const int16_t *status, int32_t have) {
  if (rc == 0 || rc == E_IM500) {
    stmt->pending = rc;
    return rc == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  }
  const bool msgs = StmtGetAgentMsgs(stmt) != 0;
  if (rc == E_01S04 || rc == E_01S01) {
    bool any = false;
    for (int32_t i = 0; status && i < have; ++i) any = any || status[i] != SQL_ROW_ERROR;
    PostRowError(stmt);
    return any || (rc == E_01S04 && !status) ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
  }
  if (!msgs) stmt->pending = rc;
  return SQL_ERROR;
}

// Sends a bookmark operation and finishes the call.
SQLRETURN BulkSend(Stmt *stmt, uint16_t op) {
  ScsCursor &cur = stmt->cursor;
  const uint64_t n = BulkRows(stmt).count;
  int16_t *status = nullptr;
  int16_t have = 0;
  SQLRETURN result;
  if (op == SQL_UPDATE_BY_BOOKMARK) {
    auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
    if (!ds) {
      BulkFree(stmt);
      return Fail(stmt, E_S1001);
    }
    if (int code = BulkBuildRows(stmt, stmt->bulkColumns, stmt->bulkColumnCount, ds)) {
      free(ds);
      BulkFree(stmt);
      return Fail(stmt, code);
    }
    if (NarrowAgent(stmt->conn)) {
      if (int code = DatasetToNarrow(ds)) {
        DatasetFree(ds);
        free(ds);
        BulkFree(stmt);
        return Fail(stmt, code);
      }
    }
    uint16_t *cols = stmt->bulkColumns;
    const uint16_t count = stmt->bulkColumnCount;
    stmt->bulkColumns = nullptr;  // handed down
    stmt->bulkColumnCount = 0;
    const int32_t rc = DrvCall<&DrvOps::DRV_BulkOperations>(stmt->drv, stmt->agentCursor, static_cast<int16_t>(op),
                                                            static_cast<const int32_t *>(stmt->bulkBookmarks),
                                                            static_cast<uint16_t>(n), ds, cols, count, &status, &have,
                                                            static_cast<Rowset **>(nullptr));
    HandedDown(stmt, ds, cols);
    result = BulkResult(stmt, rc, status, have);
    BulkStatuses(stmt, n, status, have);
  } else if (op == SQL_DELETE_BY_BOOKMARK) {
    // Above the slot's 16-bit count the rows go down in parts.
    std::vector<int16_t> all;
    int32_t rc = 0;
    for (uint64_t off = 0; off < n && rc == 0; off += kMaxSlotRows) {
      const auto part = static_cast<uint16_t>(std::min(kMaxSlotRows, n - off));
      int16_t *st = nullptr;
      int16_t got = 0;
      rc = DrvCall<&DrvOps::DRV_BulkOperations>(stmt->drv, stmt->agentCursor, static_cast<int16_t>(op),
                                                static_cast<const int32_t *>(stmt->bulkBookmarks + off), part,
                                                static_cast<Dataset *>(nullptr), static_cast<uint16_t *>(nullptr),
                                                static_cast<uint16_t>(0), &st, &got, static_cast<Rowset **>(nullptr));
      for (int32_t i = 0; i < part; ++i) all.push_back(st && i < got ? st[i] : static_cast<int16_t>(SQL_ROW_ERROR));
      free(st);
    }
    result = BulkResult(stmt, rc, all.data(), static_cast<int32_t>(all.size()));
    BulkStatuses(stmt, n, all.data(), static_cast<int32_t>(all.size()));
  } else {
    Rowset *rs = nullptr;
    const int32_t rc = DrvCall<&DrvOps::DRV_BulkOperations>(
        stmt->drv, stmt->agentCursor, static_cast<int16_t>(op), static_cast<const int32_t *>(stmt->bulkBookmarks),
        static_cast<uint16_t>(n), static_cast<Dataset *>(nullptr), static_cast<uint16_t *>(nullptr),
        static_cast<uint16_t>(0), &status, &have, &rs);
    FreeFetchedRows(stmt);
    cur.rowset = rs;
    std::vector<uint16_t> filled(std::max<uint64_t>(n, cur.rowsetSize > 0 ? static_cast<uint64_t>(cur.rowsetSize) : 0),
                                 SQL_ROW_NOROW);
    const SQLRETURN fill = RowsetFill(stmt, filled.data(), 0, -1);
    result = rc != 0 ? BulkResult(stmt, rc, status, have) : fill;
    std::vector<int16_t> st(filled.begin(), filled.end());
    BulkStatuses(stmt, n, rc == 0 ? st.data() : status, rc == 0 ? static_cast<int32_t>(st.size()) : have);
  }
  free(status);
  BulkFree(stmt);
  cur.firstRow = -1;
  return result;
}

SQLRETURN Bulk(Stmt *stmt, uint16_t op, bool collected) {
  ScsCursor &cur = stmt->cursor;
  stmt->bulkOp = static_cast<int16_t>(op);
  if (collected) return BulkSend(stmt, op);
  const bool keyset = cur.cursorType == SCS_KEYSET && cur.keysetSize == 0;
  if (stmt->state != STMT_PREPARED) return Fail(stmt, E_S1010);
  if (!keyset && cur.cursorType != SCS_STATIC) return Fail(stmt, E_IM924);
  if (stmt->state != STMT_PREPARED || !(stmt->flags & STMTF_RESULT_OPEN)) return Fail(stmt, E_24000);
  const uint64_t n = stmt->ard ? stmt->ard->arraySize : 1;
  if (n == 0) return SQL_SUCCESS;
  if (op < SQL_ADD || op > SQL_FETCH_BY_BOOKMARK) return Fail(stmt, E_S1092);
  if (op == SQL_ADD) {
    const SQLRETURN rc = StmtSetPos(stmt, 0, SQL_ADD, SQL_LOCK_NO_CHANGE);
    if (rc != SQL_NEED_DATA) {
      if (stmt->ird && stmt->ird->rowsProcessed) *stmt->ird->rowsProcessed = n;
      if (stmt->rowsFetched) *stmt->rowsFetched = n;
    }
    return rc;
  }
  if (!cur.useBookmarks) return Fail(stmt, E_S1092);
  const DescRecord *rec0 = stmt->ard ? DescGetRec(stmt->ard, 0) : nullptr;
  if (!rec0 || !rec0->dataPtr) return Fail(stmt, E_S1092);
  if (n > kMaxSlotRows && op != SQL_DELETE_BY_BOOKMARK) return Fail(stmt, E_S1107);
  BindOffsetRefresh(stmt);
  BulkFree(stmt);
  if (op == SQL_UPDATE_BY_BOOKMARK) {
    if (int code = BulkUpdatableColumns(stmt, &stmt->bulkColumns, &stmt->bulkColumnCount)) {
      BulkFree(stmt);
      return Fail(stmt, code);
    }
  }
  if (int code = BulkGetBookmarks(stmt, &stmt->bulkBookmarks)) {
    BulkFree(stmt);
    return Fail(stmt, code);
  }
  if (op == SQL_UPDATE_BY_BOOKMARK) {
    const SQLRETURN rc = SetPosNeedData(stmt, 0, stmt->bulkColumns, stmt->bulkColumnCount);
    if (rc == SQL_NEED_DATA) return rc;
    if (rc != SQL_SUCCESS) {
      BulkFree(stmt);
      return rc;
    }
  }
  return BulkSend(stmt, op);
}

}  // namespace

// ---- Public --------------------------------------------------------------------------------

SQLRETURN StmtSetPos(Stmt *stmt, uint64_t row, uint16_t op, uint16_t lock) {
  if (lock != SQL_LOCK_NO_CHANGE) return Fail(stmt, E_S1C00);
  // A dialogue in progress belongs to its own call.
  if (StmtDaeLoad(stmt) != 0) return Fail(stmt, E_S1010);
  if (stmt->conn->cn_hasV2DAE) return SetPosAgent(stmt, row, op);
  return SetPosLocal(stmt, row, op);
}

SQLRETURN SetPosLocal(Stmt *stmt, uint64_t row, uint16_t op) { return SetPos(stmt, row, op, false); }
SQLRETURN SetPosAgent(Stmt *stmt, uint64_t row, uint16_t op) { return SetPos(stmt, row, op, true); }

SQLRETURN SetPosFinish(Stmt *stmt) {
  const int32_t rc = stmt->pending;
  const Rows rows = SetPosRows(stmt, stmt->cursor.setPosRow, stmt->cursor.setPosOp);
  const SQLRETURN result = Outcome(stmt, rc, rows, stmt->setPosStatus);
  SetPosFreeBuffers(stmt);
  return result;
}

void SetPosFreeBuffers(Stmt *stmt) {
  free(stmt->setPosStatus);
  stmt->setPosStatus = nullptr;
  if (stmt->setPosValues) {
    DatasetFree(stmt->setPosValues);
    free(stmt->setPosValues);
    stmt->setPosValues = nullptr;
  }
  free(stmt->setPosColumns);
  stmt->setPosColumns = nullptr;
  stmt->setPosColumnCount = 0;
}

SQLRETURN StmtBulkOperations(Stmt *stmt, uint16_t op) {
  if (StmtDaeLoad(stmt) != 0) return Fail(stmt, E_S1010);
  return Bulk(stmt, op, false);
}

int BulkGetBookmarks(Stmt *stmt, int32_t **out) {
  const uint64_t n = BulkRows(stmt).count;
  const BoundCol *bc = StmtBoundCol(stmt, 0);
  if (!bc || !bc->bind.data) return E_S1000;
  auto *marks = static_cast<int32_t *>(malloc((n ? n : 1) * sizeof(int32_t)));
  if (!marks) return E_S1001;
  // The stride the fetch writes bookmarks at: a 4-byte SQL_C_BOOKMARK
  // column-wise at its size, whatever buffer length came with it.
  const uint64_t stride = DataStride(stmt, bc);
  const ScsCursor &cur = stmt->cursor;
  const auto lo = static_cast<uint32_t>(cur.firstRow);
  // The rowset fetched, whatever size the next fetch is to have.
  const int32_t held = cur.rowset ? cur.rowset->count : cur.rowsetSize;
  const uint32_t size = held > 0 ? static_cast<uint32_t>(held) : 0;
  for (uint64_t i = 0; i < n; ++i) {
    memcpy(&marks[i], static_cast<const char *>(bc->bind.data) + i * stride, sizeof(int32_t));
    const auto b = static_cast<uint32_t>(marks[i]);
    // After a bulk operation the rowset has no position: any row of the
    // result may be named, the layer below finds it or refuses it.
    const bool positioned = cur.firstRow >= 1;
    if (positioned ? size == 0 || b < lo || b - lo >= size : marks[i] < 1) {
      free(marks);
      return E_IM925;
    }
  }
  *out = marks;
  return 0;
}

int BulkUpdatableColumns(Stmt *stmt, uint16_t **list, uint16_t *count) {
  *list = nullptr;
  *count = 0;
  if (!stmt->ard || stmt->ard->count == 0) return E_S1000;
  Rows rows = BulkRows(stmt);
  std::vector<uint16_t> cols;
  for (const BoundCol *bc = stmt->boundCols; bc; bc = bc->next) {
    const uint16_t column = bc->bind.column;
    if (column == 0 || !bc->bind.data) continue;
    const ColDesc *d = StmtGetColDesc(stmt, column);
    if (!d) return E_S1000;
    if (!Updatable(d) || IgnoredEverywhere(stmt, bc, rows)) continue;
    cols.push_back(column);
  }
  if (cols.empty()) return E_21S02;
  *list = static_cast<uint16_t *>(malloc(cols.size() * sizeof(uint16_t)));
  if (!*list) return E_S1001;
  memcpy(*list, cols.data(), cols.size() * sizeof(uint16_t));
  *count = static_cast<uint16_t>(cols.size());
  return 0;
}

int SetPosBuildRows(Stmt *stmt, int32_t row, Dataset *ds, uint16_t **columns, uint16_t *count) {
  return BuildRows(stmt, SetPosRows(stmt, row < 0 ? 0 : row, stmt->cursor.setPosOp), false, nullptr, 0, ds, columns,
                   count);
}

int SetPosBuildRowsAgent(Stmt *stmt, int32_t row, Dataset *ds, uint16_t **columns, uint16_t *count) {
  return BuildRows(stmt, SetPosRows(stmt, row < 0 ? 0 : row, stmt->cursor.setPosOp), true, nullptr, 0, ds, columns,
                   count);
}

int SetPosDeleteRows(Stmt *stmt, int32_t row, Dataset **out) {
  if (!out) return E_S1000;
  const Rows rows = SetPosRows(stmt, row < 0 ? 0 : row, SQL_DELETE);
  auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!ds) return E_S1001;
  if (DatasetInit(ds, 1) != 0) {
    free(ds);
    return E_S1001;
  }
  ds->cols[0].type = VT_BIT;
  ds->cols[0].size = 1;
  ds->columns = 1;
  if (DatasetAllocRows(ds, static_cast<int32_t>(rows.count)) != 0) {
    DatasetFree(ds);
    free(ds);
    return E_S1001;
  }
  ds->rows = static_cast<int32_t>(rows.count);
  for (uint32_t i = 0; i < rows.count; ++i)
    if (Skipped(stmt, rows, rows.first + i)) ds->cols[0].indicators[i] = kIndRowIgnored;
  *out = ds;
  return 0;
}

int BulkBuildRows(Stmt *stmt, const uint16_t *columns, uint16_t count, Dataset *ds) {
  return BuildRows(stmt, BulkRows(stmt), false, columns, count, ds, nullptr, nullptr);
}

int64_t BindingValueLength(Stmt *stmt, const BoundCol *bc, uint64_t k) { return ValueLength(stmt, bc, k, false); }
int64_t BindingValueLength2(Stmt *stmt, const BoundCol *bc, uint64_t k) { return ValueLength(stmt, bc, k, true); }

int64_t BindingMaxLength(Stmt *stmt, const BoundCol *bc, uint64_t count) {
  Rows r = BulkRows(stmt);
  r.count = static_cast<uint32_t>(std::min<uint64_t>(count, UINT32_MAX));
  return MaxLength(stmt, bc, r, false);
}

int64_t BindingMaxLength2(Stmt *stmt, const BoundCol *bc, uint64_t count) {
  Rows r = BulkRows(stmt);
  r.count = static_cast<uint32_t>(std::min<uint64_t>(count, UINT32_MAX));
  return MaxLength(stmt, bc, r, true);
}

SQLRETURN SetPosNeedData(Stmt *stmt, int32_t row, const uint16_t *columns, uint16_t count) {
  if (StmtDaeLoad(stmt) != 0) return Fail(stmt, E_S1010);
  if (int code = StmtColDaeBufAlloc(stmt)) return Fail(stmt, code);
  const bool bulk = columns != nullptr;
  const Rows rows = bulk ? BulkRows(stmt) : SetPosRows(stmt, row < 0 ? 0 : row, stmt->cursor.setPosOp);
  stmt->daeScanIndex = 0;
  stmt->daeScanRow = static_cast<int32_t>(rows.first);
  stmt->daeRowEnd = static_cast<int32_t>(std::min<uint64_t>(uint64_t{rows.first} + rows.count, INT32_MAX));
  if (!FindColumn(stmt, columns, count, bulk)) return SQL_SUCCESS;
  stmt->daeLocal = 1;
  stmt->daeAgentIndex = -1;
  // Later exchanges of the connection take this path too; a dialogue
  // already running elsewhere keeps its own.
  if (bulk) stmt->conn->cn_hasV2DAE = 0;
  StmtDaeStore(stmt, bulk ? DAE_BULK : DAE_SETPOS);
  return SQL_NEED_DATA;
}

int DAEFindColumn(Stmt *stmt, const uint16_t *columns, uint16_t count) {
  return FindColumn(stmt, columns, count, columns != nullptr);
}

SQLRETURN ParamDataColumns(Stmt *stmt, void **token) {
  const uint16_t state = StmtDaeLoad(stmt);
  if (state == DAE_SETPOS && !stmt->daeLocal) return ParamDataSetPosAgent(stmt, token);
  if (state == DAE_SETPOS_READY) {
    const ScsCursor &cur = stmt->cursor;
    StmtDaeStore(stmt, 0);
    return BuildAndSend(stmt, static_cast<uint64_t>(cur.setPosRow), cur.setPosOp);
  }
  if (state == DAE_BULK_READY) {
    StmtDaeStore(stmt, 0);
    return Bulk(stmt, static_cast<uint16_t>(stmt->bulkOp), true);
  }
  return NextColumn(stmt, token);
}

SQLRETURN PutDataColumns(Stmt *stmt, const void *data, int64_t length) {
  const uint16_t state = StmtDaeLoad(stmt);
  if (state == DAE_SETPOS && !stmt->daeLocal) return PutDataSetPosAgent(stmt, data, length);
  return PutColumnLocal(stmt, data, length);
}

SQLRETURN odbc_SetPos(void *object, const ApiArgs &args) {
  return StmtSetPos(static_cast<Stmt *>(object), args.u64(0), args.u16(1), args.u16(2));
}

SQLRETURN odbc_BulkOperations(void *object, const ApiArgs &args) {
  return StmtBulkOperations(static_cast<Stmt *>(object), static_cast<uint16_t>(args.i16(0)));
}

// The cursor layer's extended statement operations (DrvOps slots 44 to 49
// and 52): allocate-and-prepare, execute-and-describe, column types by an
// empty fetch, the snapshot fetch with its piece reader, and batches.
#include "scrs/sc_ext.h"

#include <strings.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "odbc/data/rowset.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/sc_install.h"
#include "scrs/sc_s.h"

namespace {

// Long values above this many bytes leave a snapshot fetch's rowset for
// the snapshot.
constexpr uint32_t kSnapshotThreshold = 60000;

// The snapshot of a cursor: the long values of its last snapshot fetch and
// where the piece reader stands.
struct Snapshot {
  Dataset *rows = nullptr;
  int32_t column = 0, row = 0;  // the cell being read, 0 none
  uint32_t offset = 0;
  uint32_t left = 0;
};

std::mutex g_snapMutex;
std::unordered_map<DrvHandle, Snapshot> g_snaps;
std::atomic<ScsErrorMover> g_mover{nullptr};  // set at every connect
DRV_FreeCursor_t g_freeBelow = nullptr;

const DrvObject *Lower() { return scs_LowerObject(); }

void SnapshotEmpty(Snapshot &s) {
  if (s.rows) {
    DatasetFree(s.rows);
    free(s.rows);
    s.rows = nullptr;
  }
  s.column = s.row = 0;
  s.offset = s.left = 0;
}

Snapshot &SnapshotOf(DrvHandle cursor) {
  std::lock_guard<std::mutex> lock(g_snapMutex);
  return g_snaps[cursor];
}

void SnapshotForget(DrvHandle cursor) {
  std::lock_guard<std::mutex> lock(g_snapMutex);
  auto it = g_snaps.find(cursor);
  if (it == g_snaps.end()) return;
  SnapshotEmpty(it->second);
  g_snaps.erase(it);
}

int32_t FreeCursor(DrvHandle cursor) {
  SnapshotForget(cursor);
  return g_freeBelow ? g_freeBelow(cursor) : DrvCall<&DrvOps::DRV_FreeCursor>(Lower(), cursor);
}

int32_t CursorType(DrvHandle cursor) {
  int32_t v = SCS_FORWARD_ONLY;
  int16_t len = 0;
  if (scs_GetInfo(cursor, InfoStmtOption(6), &v, static_cast<uint16_t>(sizeof v), &len) != 0) return SCS_FORWARD_ONLY;
  return v;
}

int32_t RowCount(DrvHandle cursor, int32_t *out) {
  int32_t v = -1;
  int16_t len = 0;
  const int32_t rc = scs_GetInfo(cursor, INFO_ROW_COUNT, &v, static_cast<uint16_t>(sizeof v), &len);
  *out = v < 0 ? 0 : v;
  return rc;
}

bool IsLongType(int32_t t) { return t == VT_LONGCHAR || t == VT_LONGBINARY || t == VT_LONGWCHAR; }

// The first token of a statement, split at blanks and the given
// characters, compared without case.
bool FirstTokenIs(const char *sql, const char *word, const char *splits) {
  if (!sql) return false;
  while (*sql == ' ' || *sql == '\t' || *sql == '\n' || *sql == '\r' || *sql == '\f') ++sql;
  const size_t n = strcspn(sql, splits);
  return n == strlen(word) && strncasecmp(sql, word, n) == 0;
}

bool IsSelect(const char *sql) { return FirstTokenIs(sql, "select", " \t\n\r\f("); }
bool IsCall(const char *sql) { return FirstTokenIs(sql, "call", " {?=\t\n\r\f"); }

// Shared steps of slots 44 and 52.
int32_t ExecDescribeCommon(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info,
                           uint32_t *rowsetSize, bool *outParams) {
  if (rowsetSize && CursorType(cursor) != SCS_FORWARD_ONLY) {
    int32_t size = static_cast<int32_t>(*rowsetSize);
    const int32_t rc = DrvCall<&DrvOps::DRV_SetInfo>(Lower(), cursor, InfoStmtOption(9), &size);
    if (rc == E_01S02) {
      int32_t v = size;
      int16_t len = 0;
      if (scs_GetInfo(cursor, InfoStmtOption(9), &v, static_cast<uint16_t>(sizeof v), &len) == 0)
        *rowsetSize = static_cast<uint32_t>(v);
    } else if (rc != 0) {
      return rc;
    }
  }
  if (sql)
    if (int32_t rc = scs_Prepare(cursor, sql)) return rc;
  if (params)
    if (int32_t rc = scs_SetParams(cursor, params)) return rc;
  if (count)
    if (int32_t rc = scs_SetParamInfo(cursor, count, info)) return rc;
  SnapshotEmpty(SnapshotOf(cursor));
  const int32_t rc = scs_Execute(cursor);
  if (rc != 0 && rc != E_IM906) return rc;
  *outParams = rc == E_IM906;
  return 0;
}

int32_t DescribeRest(DrvHandle cursor, uint16_t *parCount, ColDesc **pars, int32_t *rowCount, bool outParams) {
  if (parCount && pars)
    if (int32_t rc = DrvCall<&DrvOps::DRV_DescribeParams>(Lower(), cursor, parCount, pars)) return rc;
  if (rowCount) RowCount(cursor, rowCount);
  return outParams ? E_IM906 : 0;
}

// Whether the cursor below describes result columns other than the
// parameter pseudo-columns "*I", "*O", "*B", "*U" of a call. A failed
// description leaves its code in *rc and answers true.
bool ReturnsResult(DrvHandle cursor, int32_t *rc) {
  uint16_t n = 0;
  ColDesc *d = nullptr;
  *rc = DrvCall<&DrvOps::DRV_DescribeColumns>(Lower(), cursor, &n, &d);
  if (*rc != 0) return true;
  const bool result = n > 0 && !(d[0].name[0] == '*' && d[0].name[1] && strchr("IOBU", d[0].name[1]));
  ColDescFree(d, n);
  return result;
}

}  // namespace

void scs_SetErrorMover(ScsErrorMover mover) { g_mover.store(mover, std::memory_order_release); }

int32_t scs_AllocPrepare(DrvHandle conn, const char *sql, int32_t concurrency, int32_t cursorType, DrvHandle *out) {
  if (!out) return E_S1009;
  DrvHandle cursor = 0;
  if (int32_t rc = scs_AllocCursor(conn, &cursor)) return rc;
  if (cursorType != 0) {
    int32_t rc = DrvCall<&DrvOps::DRV_SetInfo>(Lower(), cursor, InfoStmtOption(6), &cursorType);
    if (rc == 0 || rc == E_01S02) rc = DrvCall<&DrvOps::DRV_SetInfo>(Lower(), cursor, InfoStmtOption(7), &concurrency);
    if (rc != 0 && rc != E_01S02) {
      FreeCursor(cursor);
      return rc;
    }
  }
  if (sql) {
    if (int32_t rc = scs_Prepare(cursor, sql)) {
      // The cursor goes: its messages are the connection's now.
      if (const ScsErrorMover mover = g_mover.load(std::memory_order_acquire)) mover(cursor, conn);
      FreeCursor(cursor);
      return rc;
    }
  }
  *out = cursor;
  return 0;
}

int32_t scs_ExecDescribe(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info,
                         uint32_t *rowsetSize, uint16_t *colCount, ColDesc **cols, uint16_t *parCount, ColDesc **pars,
                         int32_t *rowCount) {
  bool outParams = false;
  if (int32_t rc = ExecDescribeCommon(cursor, sql, params, count, info, rowsetSize, &outParams)) return rc;
  if (colCount && cols)
    if (int32_t rc = DrvCall<&DrvOps::DRV_DescribeColumns>(Lower(), cursor, colCount, cols)) return rc;
  return DescribeRest(cursor, parCount, pars, rowCount, outParams);
}

int32_t scs_ExecDescribe2(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info,
                          uint32_t *rowsetSize, uint16_t *colCount, ColDesc **cols, uint16_t *parCount,
                          ColDesc **pars, int16_t *attrCount, ColAttr **attrs, int32_t *rowCount) {
  bool outParams = false;
  if (int32_t rc = ExecDescribeCommon(cursor, sql, params, count, info, rowsetSize, &outParams)) return rc;
  if (colCount && cols)
    if (int32_t rc = DrvCall<&DrvOps::DRV_DescribeColumns2>(Lower(), cursor, colCount, attrCount, cols, attrs))
      return rc;
  return DescribeRest(cursor, parCount, pars, rowCount, outParams);
}

int32_t scs_DescribeColTypes(DrvHandle cursor, uint16_t *count, ColDesc **cols, Dataset *scratch) {
  if (!count || !scratch) return E_S1009;
  if (int32_t rc = DrvCall<&DrvOps::DRV_Fetch>(Lower(), cursor, static_cast<uint16_t>(0), scratch)) return rc;
  *count = scratch->columns;
  if (*count == 0 || !cols) return 0;
  ColDesc *d = ColDescAlloc(*count);
  if (!d) return E_S1001;
  for (uint16_t c = 0; c < *count; ++c) {
    const DatasetCol &col = scratch->cols[c];
    d[c].valueType = col.type;
    d[c].octetLength = col.type == VT_WCHAR || col.type == VT_WSTRING ? col.size / 2
                       : col.type == VT_WVARCHAR4                     ? (col.size > 4 ? (col.size - 4) / 2 : 0)
                                                                      : col.size;
  }
  *cols = d;
  return 0;
}

int32_t scs_FetchSnapshot(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount,
                          uint16_t orientation) {
  Snapshot &snap = SnapshotOf(cursor);
  snap.column = snap.row = 0;
  const int32_t rc = scs_FetchScroll(cursor, out, value, rows, rowCount, orientation);
  SnapshotEmpty(snap);
  if (rc != 0 || !out || !*out || !(*out)->rows) return rc;
  Dataset *ds = (*out)->rows;
  bool anyLong = false;
  for (uint16_t c = 0; c < ds->columns; ++c) anyLong = anyLong || IsLongType(ds->cols[c].type);
  if (ds->rows == 0 || !anyLong) return rc;
  auto *s = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!s || DatasetInit(s, ds->columns) != 0) {
    free(s);
    return E_S1001;
  }
  for (uint16_t c = 0; c < ds->columns; ++c) {
    s->cols[c].type = IsLongType(ds->cols[c].type) ? ds->cols[c].type : VT_BIT;
    s->cols[c].size = IsLongType(ds->cols[c].type) ? static_cast<uint32_t>(sizeof(LongValue)) : 1;
  }
  s->columns = ds->columns;
  if (DatasetAllocRows(s, ds->rows) != 0) {
    DatasetFree(s);
    free(s);
    return E_S1001;
  }
  s->rows = ds->rows;
  for (uint16_t c = 0; c < ds->columns; ++c) {
    DatasetCol &col = ds->cols[c];
    if (!IsLongType(col.type)) continue;
    for (int32_t r = 0; r < ds->rows; ++r) {
      if (col.indicators[r] != 0) continue;
      unsigned char *e = col.values + static_cast<size_t>(r) * col.size;
      LongValue lv;
      memcpy(&lv, e, sizeof lv);
      const uint64_t bytes = col.type == VT_LONGWCHAR ? 2ull * lv.length : lv.length;
      if (bytes <= kSnapshotThreshold) continue;
      // The value moves: the snapshot owns its buffer now.
      memcpy(s->cols[c].values + static_cast<size_t>(r) * sizeof(LongValue), &lv, sizeof lv);
      s->cols[c].indicators[r] = 0;
      memset(e, 0, sizeof lv);
      col.indicators[r] = kIndDeferred;
    }
  }
  snap.rows = s;
  return rc;
}

int32_t scs_GetSnapshotChunk(DrvHandle cursor, int32_t column, int32_t row, int32_t maxBytes, void **piece,
                             int32_t *size, int32_t *valueType, int32_t *left) {
  if (CursorType(cursor) == SCS_FORWARD_ONLY)
    return DrvCall<&DrvOps::DRV_GetDataChunk>(Lower(), cursor, column, row, maxBytes, piece, size, valueType, left);
  if (!piece || !size || !valueType || !left) return E_S1009;
  *piece = nullptr;
  *size = 0;
  *left = -4;
  Snapshot &snap = SnapshotOf(cursor);
  const Dataset *s = snap.rows;
  if (!s) return E_IM907;
  if (column < 1 || column > s->columns || row < 1 || row > s->rows) return E_S1009;
  const DatasetCol &col = s->cols[column - 1];
  if (col.indicators[row - 1] != 0) return E_IM907;
  LongValue lv;
  memcpy(&lv, col.values + static_cast<size_t>(row - 1) * col.size, sizeof lv);
  const uint32_t total = col.type == VT_LONGWCHAR ? 2 * lv.length : lv.length;
  if (snap.column != column || snap.row != row) {
    snap.column = column;
    snap.row = row;
    snap.offset = 0;
    snap.left = total;
  }
  *valueType = col.type == VT_LONGCHAR ? VT_CHAR : col.type == VT_LONGWCHAR ? VT_WCHAR : VT_BINARY;
  *left = static_cast<int32_t>(snap.left);
  if (snap.left == 0 || maxBytes <= 0) return 0;
  uint64_t n = col.type == VT_LONGWCHAR ? 2ull * static_cast<uint32_t>(maxBytes) : static_cast<uint32_t>(maxBytes);
  if (n > snap.left) n = snap.left;
  void *p = malloc(n);
  if (!p) return E_S1001;
  memcpy(p, static_cast<const char *>(lv.buffer) + snap.offset, n);
  snap.offset += static_cast<uint32_t>(n);
  snap.left -= static_cast<uint32_t>(n);
  *piece = p;
  *size = static_cast<int32_t>(n);
  return 0;
}

int32_t scs_ExecBatch(DrvHandle cursor, uint16_t count, const DrvBatchStmt *stmts, uint16_t *done,
                      int32_t **rowCounts) {
  auto *counts = static_cast<int32_t *>(calloc(count ? count : 1, sizeof(int32_t)));
  if (!counts) return E_S1001;
  int32_t rc = 0;
  // A statement that ran with the database's warning ran: the batch goes on
  // and ends with the warning, the records waiting on the cursor.
  bool warned = false;
  uint16_t i = 0;
  for (; i < count; ++i) {
    const DrvBatchStmt &st = stmts[i];
    // A first statement without text runs as prepared: it is a query when
    // the cursor below describes a result for it.
    const bool asPrepared = !st.text && i == 0;
    if (IsSelect(st.text) || (asPrepared && ReturnsResult(cursor, &rc))) {
      if (rc == 0) rc = E_S1000_162;
      break;
    }
    if (rc != 0) break;
    const bool call = IsCall(st.text) || (st.text && st.text[strspn(st.text, " \t\n\r\f")] == '{');
    rc = scs_ExecDirect(cursor, st.text, st.values, st.paramCount, st.params);
    if (rc != 0 && rc != E_IM906 && rc != E_IM902) break;
    warned = warned || rc == E_IM902;
    rc = 0;
    int32_t n = 0;
    counts[i] = RowCount(cursor, &n) == 0 ? n : -2;
    // A call that hands back a result set stops the batch after it ran.
    if (call && ReturnsResult(cursor, &rc)) {
      if (rc == 0) rc = E_S1000_162;
      ++i;
      break;
    }
    if (rc != 0) break;
  }
  if (done) *done = i;
  if (rowCounts) {
    *rowCounts = counts;
  } else {
    free(counts);
  }
  return rc == 0 && warned ? E_IM902 : rc;
}

void scs_InstallExtended(DrvOps &table) {
  g_freeBelow = table.DRV_FreeCursor;
  table.DRV_FreeCursor = FreeCursor;
  table.DRV_AllocPrepare = scs_AllocPrepare;
  table.DRV_ExecDescribe = scs_ExecDescribe;
  table.DRV_ExecDescribe2 = scs_ExecDescribe2;
  table.DRV_DescribeColTypes = scs_DescribeColTypes;
  table.DRV_FetchSnapshot = scs_FetchSnapshot;
  table.DRV_GetSnapshotChunk = scs_GetSnapshotChunk;
  table.DRV_ExecBatch = scs_ExecBatch;
}

// Block fetch, SQLFetch, SQLFetchScroll, SQLExtendedFetch and the rowset
// fill.
#include "odbc/data/fetch.h"

#include <sqlext.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "odbc/data/ctype.h"
#include "odbc/data/getdata.h"
#include "odbc/data/services.h"
#include "odbc/dataset.h"
#include "odbc/desc.h"
#include "odbc/drvops.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "scrs/sc_s.h"

namespace {

SQLRETURN Fail(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_ERROR;
}

// The result columns, described once per result set. A statement without
// any (not a query) has no cursor to fetch from.
bool Describe(Stmt *stmt) {
  if (StmtDescribe(stmt) && stmt->resultCount > 0) return true;
  if (stmt->pending == 0) stmt->pending = E_24000;
  return false;
}

void ResetContinuation(Stmt *stmt) {
  stmt->getData.column = 0;
  stmt->getData.row = 0;
}

// A column whose data pointer a descriptor field cleared is unbound: a fetch
// leaves it alone.
bool Unbound(const BoundCol *bc) { return bc->bind.data == nullptr; }

// SQL_COLUMN_IGNORE in a length entry leaves the buffer of that row alone.
bool Ignored(const int64_t *length) { return length && *length == SQL_COLUMN_IGNORE; }

// Converts the bound columns of one row of the fetch block.
SQLRETURN ConvertBlockRow(Stmt *stmt, bool skipBookmark) {
  SQLRETURN result = SQL_SUCCESS;
  for (BoundCol *bc = stmt->boundCols; bc; bc = bc->next) {
    if (Unbound(bc)) continue;
    if (skipBookmark && (bc->bind.column == 0 || Ignored(bc->bind.lengthPtr))) continue;
    SQLRETURN rc = GetColumn(stmt, stmt->rowsInBlock, &bc->bind, &stmt->fetched);
    if (rc != SQL_SUCCESS) result = rc;
    if (rc == SQL_ERROR) break;
  }
  return result;
}

// The distance in bytes between two rows' values of a column bound
// column-wise: a fixed-size C type is as long as its type, whatever buffer
// length came with it.
uint64_t ValueStride(Stmt *stmt, const ColumnBinding &b) {
  int16_t cType = b.cType;
  if (cType == SQL_C_DEFAULT || cType == SQL_ARD_TYPE) cType = GetColumnCType(stmt, b.column, cType);
  if (b.column == 0) return b.bufferLength;
  const SQLLEN size = CTypeSize(cType);
  return size > 0 ? static_cast<uint64_t>(size) : b.bufferLength;
}

template <class T>
T *Advance(T *p, uint64_t bytes) {
  return p ? reinterpret_cast<T *>(reinterpret_cast<char *>(p) + bytes) : nullptr;
}

// A 64-bit offset as the cursor layer takes it: far offsets stay far.
int32_t ClampOffset(int64_t offset) {
  if (offset > INT32_MAX) return INT32_MAX;
  if (offset < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(offset);
}

}  // namespace

int FreeFetchedRows(Stmt *stmt) {
  DatasetFree(&stmt->fetched);
  scs_FreeRowset(&stmt->cursor);
  // The rows are gone: so is what a continuation kept of them.
  FreeColumnPiece(&stmt->getData);
  stmt->getData = GetDataContinuation{};
  stmt->rowsInBlock = 0;
  return 0;
}

void BindOffsetRefresh(Stmt *stmt) {
  Desc *ard = stmt->ard;
  if (!ard || !ard->bindOffset) return;
  const int64_t offset = *ard->bindOffset;
  for (BoundCol *bc = stmt->boundCols; bc; bc = bc->next) {
    if (bc->bind.column > ard->count) continue;
    const DescRecord *rec = DescGetRec(ard, bc->bind.column);
    if (!rec) continue;
    if (rec->dataPtr) bc->bind.data = static_cast<char *>(rec->dataPtr) + offset;
    if (rec->octetLengthPtr)
      bc->bind.lengthPtr = reinterpret_cast<int64_t *>(reinterpret_cast<char *>(rec->octetLengthPtr) + offset);
    if (rec->indicatorPtr)
      bc->bind.indicatorPtr = reinterpret_cast<int64_t *>(reinterpret_cast<char *>(rec->indicatorPtr) + offset);
  }
}

SQLRETURN FetchBlock(Stmt *stmt) {
  if (!Describe(stmt)) return SQL_ERROR;
  // The last block's rows go; its storage goes down with the call, for the
  // agent to lay the next block out in when it can (a layer that does not
  // touch it leaves no rows).
  scs_FreeRowset(&stmt->cursor);
  FreeColumnPiece(&stmt->getData);
  stmt->getData = GetDataContinuation{};
  stmt->rowsInBlock = 0;
  stmt->fetched.rows = 0;
  int32_t code = DrvCall<&DrvOps::DRV_Fetch>(stmt->drv, stmt->agentCursor, stmt->rowsPerBlock, &stmt->fetched);
  if (code != 0 && code != E_IM902 && code != E_IM500) DatasetFree(&stmt->fetched);
  stmt->pending = code;
  // 74: the rows came with the database's warning: its records go with the
  // call, which succeeds with information.
  if (code == E_IM902) {
    StmtGetAgentMsgs(stmt);
    return SQL_SUCCESS_WITH_INFO;
  }
  // 183: the rows came, and a failover completed on the way; the code stays
  // pending for the call to report.
  return code == 0 || code == E_IM500 ? SQL_SUCCESS : SQL_ERROR;
}

// Makes sure the block holds a row to hand out: SQL_SUCCESS (with
// information when the block came with a warning), SQL_NO_DATA at the end,
// SQL_ERROR with the agent's messages.
static SQLRETURN NeedBlockRow(Stmt *stmt) {
  if (stmt->rowsInBlock < stmt->fetched.rows) return SQL_SUCCESS;
  const SQLRETURN got = FetchBlock(stmt);
  if (!SQL_SUCCEEDED(got)) {
    StmtGetAgentMsgs(stmt);
    return SQL_ERROR;
  }
  return stmt->fetched.rows == 0 ? SQL_NO_DATA : got;
}

// The row's own result, made a success with information by the block's warning.
static SQLRETURN WithBlockWarning(SQLRETURN need, SQLRETURN row) {
  return need == SQL_SUCCESS_WITH_INFO && row == SQL_SUCCESS ? SQL_SUCCESS_WITH_INFO : row;
}

SQLRETURN FetchNextRow(Stmt *stmt) {
  if (stmt->state != STMT_PREPARED) return Fail(stmt, E_S1010);
  BindOffsetRefresh(stmt);
  const SQLRETURN need = NeedBlockRow(stmt);
  if (!SQL_SUCCEEDED(need)) return need;
  ResetContinuation(stmt);
  SQLRETURN result = ConvertBlockRow(stmt, false);
  // The row is used up, also when a column failed.
  ++stmt->rowsInBlock;
  ++stmt->rowNumber;
  return WithBlockWarning(need, result);
}

SQLRETURN FetchOneRow(Stmt *stmt) {
  BindOffsetRefresh(stmt);
  uint16_t *statuses = stmt->ird ? stmt->ird->arrayStatus : nullptr;
  if (statuses) statuses[0] = SQL_ROW_NOROW;
  if (stmt->rowsFetched) *stmt->rowsFetched = 0;
  const SQLRETURN need = NeedBlockRow(stmt);
  if (!SQL_SUCCEEDED(need)) return need;
  ResetContinuation(stmt);
  if (statuses) statuses[0] = SQL_ROW_SUCCESS;
  if (stmt->rowsFetched) *stmt->rowsFetched = 1;
  ++stmt->rowNumber;
  SQLRETURN result = stmt->cursor.retrieveData ? ConvertBlockRow(stmt, true) : SQL_SUCCESS;
  ++stmt->rowsInBlock;
  return WithBlockWarning(need, result);
}

SQLRETURN StmtFetchScroll(Stmt *stmt, uint16_t orientation, int64_t offset) {
  if (stmt->state != STMT_PREPARED) return Fail(stmt, E_S1010);
  const ScsCursor &cur = stmt->cursor;
  if (cur.cursorType == SCS_FORWARD_ONLY) {
    if (orientation != SQL_FETCH_NEXT) return Fail(stmt, E_S1106);
    if (cur.rowsetSize == 1) return FetchOneRow(stmt);
  }
  uint64_t local = 0;
  uint64_t *fetched = stmt->rowsFetched ? stmt->rowsFetched : &local;
  // Without a row status array of the application the rows need none: the
  // fill writes statuses only where there is an array.
  uint16_t *statuses = stmt->ird ? stmt->ird->arrayStatus : nullptr;
  if (orientation == SQL_FETCH_BOOKMARK && stmt->fetchBookmark) {
    int32_t bookmark;
    memcpy(&bookmark, stmt->fetchBookmark, sizeof bookmark);
    offset += bookmark;
  }
  SQLRETURN rc = StmtExtendedFetch(stmt, orientation, offset, fetched, statuses);
  if (stmt->cursor.cursorType == SCS_FORWARD_ONLY && SQL_SUCCEEDED(rc))
    stmt->rowNumber += static_cast<int64_t>(*fetched);
  return rc;
}

SQLRETURN StmtExtendedFetch(Stmt *stmt, uint16_t orientation, int64_t offset, uint64_t *rowsFetched,
                            uint16_t *statuses) {
  ScsCursor &cur = stmt->cursor;
  if (!stmt->conn->cn_hasScrlCurs) return Fail(stmt, E_IM001);
  BindOffsetRefresh(stmt);
  cur.fetchStatus = statuses;
  const bool mixed = cur.cursorType == SCS_KEYSET && cur.keysetSize != 0;
  if (stmt->paramsetSize > 1 && orientation != SQL_FETCH_NEXT && cur.cursorType != SCS_FORWARD_ONLY)
    return Fail(stmt, E_IM917);
  if (cur.cursorType == SCS_FORWARD_ONLY && orientation != SQL_FETCH_NEXT) return Fail(stmt, E_S1106);
  if ((cur.cursorType == SCS_DYNAMIC || mixed) &&
      (orientation == SQL_FETCH_ABSOLUTE || orientation == SQL_FETCH_BOOKMARK))
    return Fail(stmt, E_S1106);
  if (mixed && cur.keysetSize < cur.rowsetSize) return Fail(stmt, E_S1107);
  if (orientation == SQL_FETCH_ABSOLUTE && offset == 0) {
    scs_SetRowPosition(&cur, SCS_BEFORE_FIRST);
    return SQL_NO_DATA;
  }
  if (stmt->state != STMT_PREPARED) return Fail(stmt, E_24000);
  if (!Describe(stmt)) return SQL_ERROR;
  FreeFetchedRows(stmt);

  uint32_t rows = 0;
  int code = scs_ScrollFetch(&cur, orientation, ClampOffset(offset), &rows);
  if (code == E_IM907) return SQL_NO_DATA;
  if (code != 0 && code != E_IM902) return Fail(stmt, code);
  if (rowsFetched) *rowsFetched = rows;
  const SQLRETURN filled = RowsetFill(stmt, statuses, 0, -1);
  // The rowset came with the database's warning (its records are on the
  // statement already): a success carries it.
  if (code == E_IM902 && filled == SQL_SUCCESS) {
    stmt->pending = E_IM902;
    return SQL_SUCCESS_WITH_INFO;
  }
  return filled;
}

SQLRETURN RowsetFill(Stmt *stmt, uint16_t *statuses, uint32_t startRow, int mode) {
  ScsCursor &cur = stmt->cursor;
  const Rowset *rowset = cur.rowset;
  const Dataset *ds = rowset ? rowset->rows : nullptr;
  const uint64_t bindType = static_cast<uint32_t>(stmt->bindType);
  const uint16_t *operations = stmt->ard ? stmt->ard->arrayStatus : nullptr;

  // The size of a SQL_C_DEFAULT binding is the size of the type it resolves
  // to; the bound column keeps it, so that its rows are that far apart.
  for (BoundCol *bc = stmt->boundCols; bc; bc = bc->next)
    if (bc->bind.cType == SQL_C_DEFAULT && bc->bind.bufferLength == 0)
      bc->bind.bufferLength = static_cast<uint64_t>(CTypeSize(GetColumnCType(stmt, bc->bind.column, SQL_C_DEFAULT)));

  uint32_t first = 0;
  uint32_t end = cur.rowsetSize > 0 ? static_cast<uint32_t>(cur.rowsetSize) : 0;
  if (startRow != 0) {
    first = startRow - 1;
    end = startRow;
  }
  SQLRETURN result = SQL_SUCCESS;
  uint32_t processed = 0, errors = 0;
  for (uint32_t r = first; r < end; ++r) {
    if (mode != -1 && operations && operations[r] == SQL_ROW_IGNORE) continue;
    ResetContinuation(stmt);
    // Rows past the rowset the layer made (a rowset size changed since) are
    // rows that did not come.
    const int status = rowset && r >= static_cast<uint32_t>(rowset->count)
                           ? SQL_ROW_NOROW
                           : scs_GetRowStatus(rowset, static_cast<int32_t>(r + 1));
    if (statuses) statuses[r] = static_cast<uint16_t>(status);
    if (status == SQL_ROW_NOROW) continue;
    ++processed;
    if (status == SQL_ROW_ERROR) {
      ++errors;
      result = SQL_SUCCESS_WITH_INFO;
      stmt->pending = E_S1000;
      continue;
    }
    for (BoundCol *bc = stmt->boundCols; bc; bc = bc->next) {
      const ColumnBinding &b = bc->bind;
      if (Unbound(bc)) continue;
      // The bookmark goes to the application whatever the row's status and
      // the retrieve-data option.
      const bool bookmark = b.column == 0 && (b.cType == SQL_C_UBIGINT || b.cType == SQL_C_BINARY);
      if (!bookmark && (status == SQL_ROW_DELETED || !cur.retrieveData)) continue;
      ColumnBinding at = b;
      if (bindType != 0) {
        at.data = Advance(b.data, r * bindType);
        at.lengthPtr = Advance(b.lengthPtr, r * bindType);
        at.indicatorPtr = Advance(b.indicatorPtr, r * bindType);
      } else {
        at.data = Advance(b.data, r * ValueStride(stmt, b));
        at.lengthPtr = b.lengthPtr ? b.lengthPtr + r : nullptr;
        at.indicatorPtr = b.indicatorPtr ? b.indicatorPtr + r : nullptr;
      }
      if (Ignored(at.lengthPtr)) continue;
      SQLRETURN rc = GetColumn(stmt, r, &at, ds);
      if (rc != SQL_SUCCESS) result = rc;
      if (rc == SQL_ERROR) return SQL_ERROR;
    }
    if (mode == SQL_REFRESH && statuses && (statuses[r] == SQL_ROW_UPDATED || statuses[r] == SQL_ROW_ADDED))
      statuses[r] = SQL_ROW_SUCCESS;
  }
  if (processed > 0 && errors == processed && result == SQL_SUCCESS_WITH_INFO) return SQL_ERROR;
  return result;
}

void DropWarning01S01(DrvMsgList *list) {
  if (!list || list->count == 0 || !list->messages) return;
  char *&last = list->messages[list->count - 1];
  if (last && strstr(last, "[SQLSTATE:01S01]")) {
    free(last);
    last = nullptr;
    --list->count;
  }
}

SQLRETURN odbc_Fetch(void *object, const ApiArgs &) {
  auto *stmt = static_cast<Stmt *>(object);
  if (stmt->conn && stmt->conn->env && stmt->conn->env->odbcVersion == 2) return FetchNextRow(stmt);
  return StmtFetchScroll(stmt, SQL_FETCH_NEXT, 0);
}

SQLRETURN odbc_FetchScroll(void *object, const ApiArgs &args) {
  return StmtFetchScroll(static_cast<Stmt *>(object), static_cast<uint16_t>(args.i16(0)), args.i64(1));
}

SQLRETURN odbc_ExtendedFetch(void *object, const ApiArgs &args) {
  return StmtExtendedFetch(static_cast<Stmt *>(object), args.u16(0), args.i64(1), args.ptr<uint64_t>(2),
                           args.ptr<uint16_t>(3));
}

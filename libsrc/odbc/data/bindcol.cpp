// SQLBindCol and the binding core.
#include "odbc/data/bindcol.h"

#include <sqlext.h>

#include "odbc/data/ctype.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "scrs/sc_s.h"

namespace {

// Column 0 can be bound when the layer below keeps bookmarks; its value is
// an 8-byte integer.
int BookmarkCheck(Stmt *stmt, int16_t cType) {
  int32_t persistence = 0;
  int16_t len = 0;
  g_odbc.connectLock.Enter();
  int code = scs_GetODBCInfo(stmt->cursor.drv, stmt->cursor.lowerConn, SQL_BOOKMARK_PERSISTENCE, &persistence,
                             sizeof persistence, &len);
  g_odbc.connectLock.Leave();
  if (code != 0) return code;
  if (persistence == 0) return E_S1C00;
  if (cType != SQL_C_BINARY && cType != SQL_C_UBIGINT) return E_S1003;
  return 0;
}

}  // namespace

int BindColumn(Stmt *stmt, uint16_t column, int16_t cType, void *data, int64_t bufferLength, int64_t *indicator) {
  stmt->pending = 0;
  int code = 0;
  if (!CTypeKnown(cType))
    code = E_S1003;
  else if (bufferLength < 0)
    code = E_S1090;
  else if (bufferLength == 0 && column != 0 && cType != SQL_C_DEFAULT)
    bufferLength = CTypeSize(cType);
  if (column == 0) {
    if (int bm = BookmarkCheck(stmt, cType)) code = bm;
    // SQL_C_UBIGINT is 8 bytes; a binary buffer keeps the length the
    // application gave, so that the bookmark is never written past it.
    if (cType != SQL_C_BINARY || bufferLength < 0) bufferLength = 8;
  }
  if (code != 0) {
    stmt->pending = code;
    return code;
  }

  BoundCol node{};
  node.bind = ColumnBinding{column, cType, 0, data, static_cast<uint64_t>(bufferLength), indicator, indicator};
  if (data) {
    if (StmtBindCol(stmt, &node) != SQL_SUCCESS) return stmt->pending;
  } else {
    StmtUnbindCol(stmt, column);
  }

  Desc *ard = stmt->ard;
  if (!ard) return 0;
  if (ard->count < column && DescGrowRecs(ard, column) != 0) {
    stmt->pending = E_S1001;
    return E_S1001;
  }
  DescRecord *rec = DescGetRec(ard, column);
  if (!rec) return 0;
  rec->conciseType = cType;
  rec->dataPtr = data;
  rec->octetLengthPtr = indicator;
  rec->indicatorPtr = indicator;
  // The buffer length goes with the binding, so that binding the columns
  // again from this descriptor gives the same buffers.
  rec->octetLength = bufferLength;
  return 0;
}

SQLRETURN odbc_BindCol(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  int code = BindColumn(stmt, args.u16(0), args.i16(1), args.ptr(2), args.i64(3), args.ptr<int64_t>(4));
  if (code != 0) {
    stmt->pending = code;
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

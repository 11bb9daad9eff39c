// SQLGetTypeInfo and the type catalogue reads of the descriptor layer.
#include "odbc/data/typeinfo.h"

#include <sqlext.h>

#include "odbc/data/conv.h"
#include "odbc/dataset.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"

namespace {

// Reads column `column` of the first catalogue row straight from the agent
// as SQL_C_CHAR. It stands in for the ODBC 2 row fetch and SQLGetData of the
// fetch path, which are not built yet; the catalogue's text columns are all
// it has to convert.
SQLRETURN TypeInfoFirstRowText(Stmt *stmt, int column, char *buffer, SQLLEN bufferLength, SQLLEN *indicator) {
  int32_t code = DrvCall<&DrvOps::DRV_Fetch>(stmt->drv, stmt->agentCursor, uint16_t{1}, &stmt->fetched);
  if (code != 0) {
    stmt->pending = code;
    return SQL_ERROR;
  }
  if (stmt->fetched.rows <= 0 || stmt->fetched.columns == 0) return SQL_NO_DATA;
  if (column < 1 || column > stmt->fetched.columns) {
    stmt->pending = E_S1002;
    return SQL_ERROR;
  }
  const uint16_t c = static_cast<uint16_t>(column - 1);
  const DatasetCol &col = stmt->fetched.cols[c];
  const int16_t ind = col.indicators ? col.indicators[0] : kIndNull;
  if (ind == kIndNull) {
    if (indicator) *indicator = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  const void *data = nullptr;
  uint32_t len = 0;
  if (ind != 0 || DatasetValueRef(&stmt->fetched, 0, c, &data, &len) != 0) return SQL_ERROR;
  int pending = 0;
  SQLRETURN rc;
  switch (col.type) {
    case VT_CHAR: case VT_STRING: case VT_VARCHAR1: case VT_VARCHAR2: case VT_VARCHAR4: case VT_LONGCHAR:
      rc = ConvertCHAR(data, len, 0, SQL_C_CHAR, buffer, bufferLength, indicator, &pending, 0, 0);
      break;
    case VT_WCHAR: case VT_WSTRING: case VT_WVARCHAR4: case VT_LONGWCHAR:
      rc = ConvertWCHAR(data, len, 0, SQL_C_CHAR, buffer, bufferLength, indicator, &pending, 0, 0);
      break;
    default:
      return SQL_ERROR;
  }
  if (pending) stmt->pending = pending;
  return rc;
}

}  // namespace

SQLRETURN odbc_GetTypeInfo(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  const int16_t sqlType = args.i16(0);
  StmtClose(stmt);
  if (stmt->state != STMT_IDLE) {
    stmt->pending = E_S1010;
    return SQL_ERROR;
  }
  StmtFreeResult(stmt);
  int32_t code = DrvCall<&DrvOps::DRV_DDTypeInfo>(stmt->drv, stmt->agentCursor, sqlType);
  stmt->pending = code;
  if (code != 0) return SQL_ERROR;
  stmt->state = STMT_PREPARED;
  stmt->flags |= STMTF_RESULT_OPEN;
  // A new result: its rows count from the first again.
  stmt->rowNumber = 0;
  return SQL_SUCCESS;
}

SQLRETURN TypeInfoColumn(Conn *conn, int column, int16_t sqlType, char *buffer, SQLLEN bufferLength,
                         SQLLEN *indicator) {
  if (conn->state != CONN_CONNECTED) {
    conn->pending = E_08003;
    return SQL_ERROR;
  }
  // The temporary statement's failures are not the caller's diagnostics.
  const int32_t connPending = conn->pending;
  Stmt *tmp = StmtNew(conn);
  conn->pending = connPending;
  if (!tmp) return SQL_ERROR;
  SQLRETURN rc;
  if (DrvCall<&DrvOps::DRV_DDTypeInfo>(tmp->drv, tmp->agentCursor, sqlType) != 0) {
    rc = SQL_ERROR;
  } else {
    tmp->state = STMT_PREPARED;
    tmp->flags |= STMTF_RESULT_OPEN;
    rc = TypeInfoFirstRowText(tmp, column, buffer, bufferLength, indicator);
  }
  StmtClose(tmp);
  StmtDelete(tmp);
  conn->pending = connPending;
  return rc;
}

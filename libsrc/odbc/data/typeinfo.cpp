// SQLGetTypeInfo and the type catalogue reads of the descriptor layer.
#include "odbc/data/typeinfo.h"

#include <sqlext.h>

#include "odbc/data/fetch.h"
#include "odbc/data/getdata.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"

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
  // 183: the result is there, and a failover completed on the way.
  if (code != 0 && code != E_IM500) return SQL_ERROR;
  StmtStateStore(stmt, STMT_PREPARED);
  stmt->flags |= STMTF_RESULT_OPEN;
  // A new result: its rows count from the first again.
  stmt->rowNumber = 0;
  return code == E_IM500 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
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
  if (AgentDone(DrvCall<&DrvOps::DRV_DDTypeInfo>(tmp->drv, tmp->agentCursor, sqlType), &tmp->pending) != 0) {
    rc = SQL_ERROR;
  } else {
    tmp->state = STMT_PREPARED;
    tmp->flags |= STMTF_RESULT_OPEN;
    // The first row, as an ODBC 2 fetch reads it, and the column as SQLGetData.
    rc = FetchNextRow(tmp);
    if (rc == SQL_SUCCESS)
      rc = GetDataCol(tmp, static_cast<uint16_t>(column), SQL_C_CHAR, buffer, bufferLength, indicator);
  }
  StmtClose(tmp);
  StmtDelete(tmp);
  conn->pending = connPending;
  return rc;
}

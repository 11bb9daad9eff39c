// Statement preparation and result entries.
#include "odbc/prepare.h"

#include <sql.h>
#include <sqlext.h>
#include <strings.h>

#include <cstdlib>

#include "odbc/conn.h"
#include "odbc/data/services.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/stmtattr.h"
#include "odbc/trace.h"
#include "util/strutil.h"

namespace {

constexpr uint32_t kInfoCursorType = InfoStmtOption(SQL_CURSOR_TYPE);   // 0x32030006
constexpr uint32_t kInfoConcurrency = InfoStmtOption(SQL_CONCURRENCY);  // 0x32030007

SQLRETURN Fail(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_ERROR;
}

SQLRETURN FromCode(Stmt *stmt, int code) { return code != 0 ? Fail(stmt, code) : SQL_SUCCESS; }

bool BadLength(int32_t len) { return len < 0 && len != SQL_NTS; }

// The agent's value of a cursor option, when it answers one.
bool AgentValue(Stmt *stmt, uint32_t code, int32_t *value) {
  int16_t len = 0;
  return AgentDone(DrvCall<&DrvOps::DRV_GetInfo>(stmt->drv, stmt->agentCursor, code, value, static_cast<uint16_t>(4),
                                                 &len),
                   &stmt->pending) == 0;
}

// The statement options a new statement takes from the connection's
// defaults (an ODBC 2 application's SQLSetConnectOption) reach the agent
// cursor here, at the statement's first prepare: until then the statement
// would report a time-out, row limit, no-scan or length limit that its
// agent cursor never applies. An option the agent does not take is not in
// force on the statement either.
void SendInheritedOptions(Stmt *stmt) {
  struct Inherited {
    uint16_t option;
    int64_t value;
  };
  const Inherited options[] = {
      {SQL_QUERY_TIMEOUT, stmt->queryTimeout},
      {SQL_MAX_ROWS, stmt->maxRows},
      {SQL_NOSCAN, stmt->noScan},
      {SQL_MAX_LENGTH, stmt->maxLength},
  };
  const int32_t pending = stmt->pending;
  for (const Inherited &o : options) {
    // 0 is where the agent cursor starts.
    if (o.value != 0) StmtSetOption(stmt, o.option, static_cast<uint64_t>(o.value));
  }
  // A refusal is not the prepare's; a failover met on the way is.
  if (stmt->pending != E_IM500) stmt->pending = pending;
}

// Tells the agent cursor the cursor type and concurrency asked for since the
// last prepare; the statement's first prepare also sends options inherited
// from the connection's defaults, which the agent cursor never saw.
void SendCursorOptions(Stmt *stmt) {
  ScsCursor &c = stmt->cursor;
  // Its own flag: a cursor type or concurrency set before the first prepare
  // already filled the saved values.
  if (!(stmt->flags & STMTF_INHERITED_SENT)) {
    SendInheritedOptions(stmt);
    stmt->flags |= STMTF_INHERITED_SENT;
  }
  if (c.savedConcurrency == 0) {
    c.savedCursorType = c.cursorType;
    c.savedConcurrency = c.concurrency;
    if (c.cursorType != SCS_FORWARD_ONLY || c.concurrency != SCS_READ_ONLY) c.flags |= kCursorOptionsChanged;
  }
  if (!(c.flags & kCursorOptionsChanged)) return;
  int32_t type = c.savedCursorType;
  if (AgentDone(DrvCall<&DrvOps::DRV_SetInfo>(stmt->drv, stmt->agentCursor, kInfoCursorType, &type), &stmt->pending) ==
      0)
    c.cursorType = c.savedCursorType;
  int32_t concurrency = c.savedConcurrency;
  if (AgentDone(DrvCall<&DrvOps::DRV_SetInfo>(stmt->drv, stmt->agentCursor, kInfoConcurrency, &concurrency),
                &stmt->pending) == 0)
    c.concurrency = c.savedConcurrency;
  c.flags &= static_cast<uint16_t>(~kCursorOptionsChanged);
}

// After the prepare: the agent may have settled on another cursor type or
// concurrency than asked for. True when it did (01S02).
bool ReadBackCursorOptions(Stmt *stmt) {
  ScsCursor &c = stmt->cursor;
  bool changed = false;
  int32_t v = 0;
  if (c.cursorType != SCS_FORWARD_ONLY && AgentValue(stmt, kInfoCursorType, &v) && v != c.cursorType) {
    c.cursorType = v;
    changed = true;
  }
  if (c.concurrency != SCS_READ_ONLY && AgentValue(stmt, kInfoConcurrency, &v) && v != c.concurrency) {
    c.concurrency = v;
    changed = true;
  }
  // The asked-for values go down again at the next prepare.
  if (changed) c.flags |= kCursorOptionsChanged;
  return changed;
}

void ClassifyParams(Stmt *stmt) {
  stmt->inCount = stmt->outCount = stmt->inOutCount = 0;
  stmt->hasUnknownParam = 0;
  for (uint16_t i = 0; i < stmt->paramCount && stmt->paramDescs; ++i) {
    const char *name = stmt->paramDescs[i].name;
    if (name[0] == '*' && name[1] == 'U') {
      // Its direction is settled only by the execution: counting stops.
      stmt->hasUnknownParam = 1;
      break;
    }
    if (name[0] == '*' && name[1] == 'O')
      ++stmt->outCount;
    else if (name[0] == '*' && name[1] == 'B')
      ++stmt->inOutCount;
    else
      ++stmt->inCount;
  }
}

// The checked NUL-terminated copy of an application's SQL text, or NULL
// with the pending error set.
char *SqlCopy(Stmt *stmt, const char *text, int32_t len) {
  if (!text || BadLength(len)) {
    stmt->pending = E_S1090;
    return nullptr;
  }
  char *copy = nullptr;
  str_copy_len(&copy, text, len);
  if (!copy) {
    stmt->pending = E_S1001;
    return nullptr;
  }
  if (TraceIsOn()) TraceODBC("  [%s]", copy);
  return copy;
}

}  // namespace

void StmtFreeColDescs(Stmt *stmt) {
  if (stmt->resultDescs) ColDescFree(stmt->resultDescs, stmt->resultCount);
  stmt->resultDescs = nullptr;
  stmt->resultCount = 0;
}

SQLRETURN PrepareCore(Stmt *stmt, const char *text) {
  StmtClose(stmt);
  StmtFreeResult(stmt);
  SendCursorOptions(stmt);

  int32_t code = DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, text);
  const bool warned = code == E_IM902;  // prepared, with the database's warning
  if (warned) StmtGetAgentMsgs(stmt);
  // 183: prepared, and a failover completed on the way.
  bool failedOver = code == E_IM500;
  if (code != 0 && !warned && !failedOver) {
    StmtGetAgentMsgs(stmt);
    return Fail(stmt, code);
  }
  stmt->cursor.cursorType = stmt->cursor.savedCursorType;
  stmt->cursor.concurrency = stmt->cursor.savedConcurrency;
  const bool changed = ReadBackCursorOptions(stmt);

  uint16_t count = 0;
  ColDesc *descs = nullptr;
  code = AgentDone(DrvCall<&DrvOps::DRV_DescribeParams>(stmt->drv, stmt->agentCursor, &count, &descs),
                   &stmt->pending);
  if (code != 0) {
    if (descs) ColDescFree(descs, count);
    StmtGetAgentMsgs(stmt);
    DrvCall<&DrvOps::DRV_CloseCursor>(stmt->drv, stmt->agentCursor);
    return Fail(stmt, code);
  }
  stmt->paramDescs = descs;
  stmt->paramCount = descs ? count : 0;
  ClassifyParams(stmt);

  StmtDaeStore(stmt, 0);
  stmt->daeCounters[0] = stmt->daeCounters[1] = 0;
  if (stmt->conn->cn_needbind) stmt->flags &= static_cast<uint16_t>(~STMTF_PARAMINFO_SENT);
  stmt->flags |= STMTF_PREPARED;
  stmt->flags &= static_cast<uint16_t>(~STMTF_RESULT_OPEN);
  stmt->rowsInBlock = 0;
  StmtStateStore(stmt, STMT_PREPARED);
  stmt->isSelect = strncasecmp(text, "SELEC", 5) == 0 ? 1 : 0;
  stmt->rowNumber = 0;

  // The close, the cursor options or the parameter description may have
  // met the failover too.
  failedOver = failedOver || stmt->pending == E_IM500;
  if (!changed && !failedOver) return warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  // Kept past the parameter description, which succeeded.
  stmt->pending = failedOver ? E_IM500 : E_01S02;
  return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN odbc_Prepare(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  char *copy = SqlCopy(stmt, args.ptr<const char>(0), args.i32(1));
  if (!copy) return SQL_ERROR;
  SQLRETURN rc = PrepareCore(stmt, copy);
  free(copy);
  return rc;
}

SQLRETURN odbc_ExecDirect(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  char *copy = SqlCopy(stmt, args.ptr<const char>(0), args.i32(1));
  if (!copy) return SQL_ERROR;
  SQLRETURN prepared = PrepareCore(stmt, copy);
  free(copy);
  if (prepared == SQL_ERROR) return SQL_ERROR;

  // A prepare that changed the cursor options (01S02) still executes; the
  // warning is reported unless the execution reports something of its own.
  SQLRETURN rc;
  if (stmt->conn->cn_hasV2DAE) {
    rc = ExecuteAgent(stmt);
  } else {
    rc = ExecuteCheckParams(stmt);
    if (rc == SQL_SUCCESS) rc = ExecuteLocal(stmt);
  }
  if (prepared == SQL_SUCCESS_WITH_INFO && rc == SQL_SUCCESS) {
    if (stmt->pending == 0) stmt->pending = E_01S02;
    return SQL_SUCCESS_WITH_INFO;
  }
  return rc;
}

SQLRETURN odbc_NativeSql(void *object, const ApiArgs &args) {
  auto *conn = static_cast<Conn *>(object);
  const auto *text = args.ptr<const char>(0);
  const int32_t len = args.i32(1);
  auto *buf = args.ptr<char>(2);
  const int32_t bufLen = args.i32(3);
  auto *outLen = args.ptr<SQLINTEGER>(4);
  // A negative size would reach the agent as a huge unsigned one.
  if (BadLength(len) || bufLen < 0) {
    conn->pending = E_S1090;
    return SQL_ERROR;
  }
  char *copy = nullptr;
  str_copy_len(&copy, text, len);
  if (!copy) {
    conn->pending = E_S1001;
    return SQL_ERROR;
  }
  // The agent counts the buffer in 16 bits; a bigger buffer is used in part.
  const auto size = static_cast<uint16_t>(bufLen > UINT16_MAX ? UINT16_MAX : bufLen);
  int16_t written = 0;
  int32_t code = DrvCall<&DrvOps::DRV_NativeSql>(&conn->drv, conn->agentConn, copy, buf, size, &written);
  free(copy);
  conn->pending = code;
  // 183: translated, and a failover completed on the way.
  if (code == 0 || code == E_01004_109 || code == E_01004 || code == E_IM500) {
    // The agent's length is 16 bits wide: unsigned, so that texts of 32 to
    // 64 KiB keep their length (longer ones report 65535 and are cut).
    if (outLen) *outLen = static_cast<uint16_t>(written);
    return code == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  }
  // A translation error is a failure, with the agent's messages.
  ConnGetMsgs(conn, nullptr);
  return SQL_ERROR;
}

SQLRETURN odbc_NumParams(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  return FromCode(stmt, StmtNumParams(stmt, args.ptr<int16_t>(0)));
}

SQLRETURN odbc_NumResultCols(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  return FromCode(stmt, StmtNumResultCols(stmt, args.ptr<int16_t>(0)));
}

SQLRETURN odbc_ParamOptions(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  return FromCode(stmt, StmtSetParamsetSize(stmt, args.u64(0), args.ptr<uint64_t>(1)));
}

SQLRETURN odbc_RowCount(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  return FromCode(stmt, AgentDone(StmtRowCount(stmt, args.ptr<int64_t>(0)), &stmt->pending));
}

SQLRETURN odbc_MoreResults(void *object, const ApiArgs &) {
  auto *stmt = static_cast<Stmt *>(object);
  if (stmt->state != STMT_PREPARED) return SQL_NO_DATA;
  if (!stmt->conn->cn_hasMoreRes) {
    stmt->pending = 0;
    return SQL_NO_DATA;
  }
  FreeFetchedRows(stmt);
  StmtFreeColDescs(stmt);
  scs_SetRowPosition(&stmt->cursor, SCS_BEFORE_FIRST);

  int32_t code = DrvCall<&DrvOps::DRV_MoreResults>(stmt->drv, stmt->agentCursor);
  stmt->pending = code;
  if (code == E_IM906) {
    // The output parameter values of the procedure come before its next
    // result.
    if (stmt->outCount + stmt->inOutCount > 0) {
      SQLRETURN rc = FetchOutputParams(stmt);
      if (!SQL_SUCCEEDED(rc)) return rc;
    }
    code = DrvCall<&DrvOps::DRV_MoreResults>(stmt->drv, stmt->agentCursor);
    stmt->pending = code;
  }
  if (code == E_IM901) {
    stmt->pending = 0;
    return SQL_NO_DATA;
  }
  // 183: the next result is there, and a failover completed on the way.
  if (code != 0 && code != E_IM500) {
    StmtGetAgentMsgs(stmt);
    return SQL_ERROR;
  }
  if (stmt->rowsProcessed && stmt->isSelect && *stmt->rowsProcessed < stmt->paramsetSize) ++*stmt->rowsProcessed;
  if (!StmtDescribe(stmt)) return SQL_ERROR;
  if (code != E_IM500) return SQL_SUCCESS;
  stmt->pending = E_IM500;
  return SQL_SUCCESS_WITH_INFO;
}

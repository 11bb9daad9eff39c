// The agent's statement operations behind the DrvOps slots that take a
// cursor handle: allocate and free a cursor, its name, prepare, parameter
// rows and descriptions, execute, fetch blocks of rows, further results,
// long data in pieces and cancel; and DRV_NativeSql on a connection.
//
// Each operation looks its handle up in the agent's tables (an unknown
// handle gives 21) and works on the AgentCursor record; everything that
// touches Oracle goes through the cursor's DB_Curs. Calls on one cursor come
// one at a time from the front end; only ORA_Cancel may arrive from another
// thread while an execution runs.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "drv_ora8/db-exec.h"
#include "drv_ora8/db-fetch.h"
#include "drv_ora8/db-proc.h"
#include "drv_ora8/o-catalog.h"
#include "drv_ora8/o-exec.h"
#include "drv_ora8/o-reg.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/sc_s.h"
#include "util/log.h"
#include "util/utalloc.h"
#include "xa/xaw.h"

namespace {

// A cancel comes from any thread and finds its cursor by handle. It holds
// this lock from the look-up to the end of DB_Cancel; whatever takes a
// cursor out of the table or deletes its current DB_Curs takes the lock
// for that step, so a cancel never works on freed memory.
std::mutex g_cancelLock;

// State bits that survive a reset (those of the executed statement are
// cleared by the close that comes first).
constexpr uint16_t kResetKeeps = 0xFF0C;

bool IsLongOraType(int16_t t) { return t == SQLT_LNG || t == SQLT_LBI || t == SQLT_CLOB || t == SQLT_BLOB; }
bool IsLobOraType(int16_t t) { return t == SQLT_CLOB || t == SQLT_BLOB; }


}  // namespace

// Back from a REF CURSOR result to the procedure's own DB_Curs.
void AgentCursor_DropRefCursorResult(AgentCursor *cur) {
  if (!cur->savedDbCurs) return;
  DB_Curs *refCursor = cur->dbCurs;
  {
    std::lock_guard<std::mutex> lock(g_cancelLock);
    cur->dbCurs = cur->savedDbCurs;
    cur->savedDbCurs = nullptr;
  }
  DB_Curs_FreeDescs(refCursor);
  DB_Curs_Delete(refCursor);
}

void AgentCursor_PushCurrent(AgentCursor *cur, DB_Curs *next) {
  std::lock_guard<std::mutex> lock(g_cancelLock);
  cur->savedDbCurs = cur->dbCurs;
  cur->dbCurs = next;
}

namespace {

// ODBC-style copy: the full length goes out, a NULL buffer asks for the
// length only, a cut copy ends with a NUL. 0 whole, -1 cut.
int CopyOutLen(const char *src, char *buf, uint16_t size, int16_t *lenOut) {
  if (!src) return -1;
  const size_t len = strlen(src);
  if (lenOut) *lenOut = static_cast<int16_t>(len);
  if (!buf) return 0;
  if (size >= len + 1) {
    memcpy(buf, src, len + 1);
    return 0;
  }
  if (size == 0) return -1;
  memcpy(buf, src, size - 1u);
  buf[size - 1] = '\0';
  return -1;
}

bool HasDataAtExec(const Dataset *ds) {
  if (!ds) return false;
  for (uint16_t c = 0; c < ds->columns; ++c)
    for (int32_t r = 0; r < ds->rows; ++r)
      if (ds->cols[c].indicators[r] == kIndDataAtExec) return true;
  return false;
}

// Data at execution starts before every execution; its module collects
// marked parameter values. Without that module a marked value cannot be
// sent: the execution is refused instead of sending a wrong value.
int32_t StartDataAtExec(AgentCursor *cur) {
  if (DAE_StartExecute) return DAE_StartExecute(cur);
  if (HasDataAtExec(cur->params)) {
    LOG(LOG_DEBUG, "Parameters at execution time are not supported by this build.");
    ErrList_PushCode(&cur->errs, E_S1C00);
    return E_S1C00;
  }
  return 0;
}

// A cursor whose connection has no server connection now (it left an XA
// transaction without reconnecting, or the reconnect failed).
int32_t NoConnection(AgentCursor *cur) {
  ErrList_PushCode(&cur->errs, E_08003);
  return E_08003;
}

int32_t Describe(AgentCursor *cur) {
  int32_t rc = DB_DescribeOutput(cur->dbCurs);
  if (rc) return rc;
  cur->state |= CURS_DESCRIBED;
  return 0;
}

bool IsBlankNul(const unsigned char *p, uint32_t size) { return p[0] == ' ' && (size == 1 || p[1] == 0); }

bool IsWideBlankNul(const unsigned char *p, uint32_t size) {
  uint16_t u0 = static_cast<uint16_t>(p[0] | p[1] << 8);
  return u0 == 0x20 && (size == 2 || (p[2] | p[3]) == 0);
}

}  // namespace

void FreeDaeBufs(DaeColBuf *bufs, uint32_t count) {
  for (uint32_t i = 0; bufs && i < count; ++i) {
    for (int32_t r = 0; bufs[i].pieces && r < bufs[i].rows; ++r) free(bufs[i].pieces[r]);
    free(bufs[i].pieces);
    free(bufs[i].lengths);
    free(bufs[i].indicators);
  }
  free(bufs);
}

// ---- Reset and close ------------------------------------------------------------

void AgentCursor_Close(AgentCursor *cur) {
  // A query read only part way is cancelled: the database lets go of what
  // the open read holds (the embedded default keeps the connection's view
  // of the data while one is open, so later reads would miss others' work).
  const bool reading = (cur->state & CURS_EXECUTED) && (cur->state & CURS_RESULT_OPEN) &&
                       !(cur->state & CURS_NO_MORE_ROWS) && cur->req.kind == REQ_KIND_SELECT;
  if (reading && cur->dbCurs) DB_CancelFetch(cur->dbCurs);
  cur->state &= static_cast<uint16_t>(~(CURS_EXECUTED | CURS_NO_MORE_ROWS));
  cur->rowsFetched = 0;
  cur->rowsAffected = 0;
  cur->typeInfoState = 0;
  if (!cur->dbCurs) return;  // its connection lost its DB_Conn: nothing of OCI left
  DB_Curs_FreeBuffers(cur->dbCurs);
  // A REF CURSOR result goes, and with it the statements not handed out yet.
  AgentCursor_DropRefCursorResult(cur);
  DB_RefCursorsFree(cur->dbCurs);
  cur->dbCurs->refCursorArgCount = 0;
}

void AgentCursor_Reset(AgentCursor *cur) {
  AgentCursor_Close(cur);
  if (cur->dbCurs) DB_Curs_FreeDescs(cur->dbCurs);
  cur->state &= kResetKeeps;
  cur->daeState = 0;
  cur->execCount = 0;
  ColDescFree(cur->cols, cur->colCount);
  cur->cols = nullptr;
  cur->colCount = 0;
  FreeDaeBufs(cur->daeExec, cur->daeExecCount);
  cur->daeExec = nullptr;
  cur->daeExecCount = 0;
  FreeDaeBufs(cur->daeSetPos, cur->daeSetPosCount);
  cur->daeSetPos = nullptr;
  cur->daeSetPosCount = 0;
  cur->daeBufRows = 0;
  ColDescFree(cur->pars, cur->parCount);
  cur->pars = nullptr;
  cur->parCount = 0;
  cur->describedByQuery = 0;
  SqlRequest_Free(&cur->req);
}

// ---- Allocation and names -----------------------------------------------------------

int32_t ORA_AllocCursor(DrvHandle connH, DrvHandle *out) {
  if (!out) return E_S1009;
  *out = 0;
  AgentConn *conn = Agent_Conn(connH);
  if (!conn) return E_S1009;
  auto *cur = static_cast<AgentCursor *>(calloc(1, sizeof(AgentCursor)));
  if (!cur) return E_S1001;
  char name[24];
  snprintf(name, sizeof name, "CN%lX", static_cast<unsigned long>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cur))));
  cur->name = strdup(name);
  if (!cur->name) {
    free(cur);
    return E_S1001;
  }
  cur->conn = conn;
  if (int32_t rc = DB_Curs_New(conn->dbConn, cur, &cur->dbCurs)) {
    free(cur->name);
    free(cur);
    return rc;
  }
  cur->maxRows = static_cast<uint32_t>(conn->opts.maxRows);
  DrvHandle h = 0;
  if (int32_t rc = HandleTable_Add(&g_agentCursors, &h, cur)) {
    // No handle for the cursor: nothing of it may stay behind.
    DB_Curs_Delete(cur->dbCurs);
    free(cur->name);
    free(cur);
    return rc;
  }
  cur->handle = h;
  scs_CursorInit(&cur->scs, h, connH, ORA_AgentObject(), cur);
  *out = h;
  return 0;
}

int32_t ORA_FreeCursor(DrvHandle h) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  {
    // Out of the table first: a cancel from another thread no longer finds
    // it, and one that found it has finished.
    std::lock_guard<std::mutex> lock(g_cancelLock);
    HandleTable_Remove(&g_agentCursors, h);
  }
  AgentCursor_Reset(cur);
  SqlRequest_Free(&cur->kept);
  DB_Curs_Delete(cur->dbCurs);
  DB_Curs_Delete(cur->savedDbCurs);
  free(cur->paramInfo);
  free(cur->name);
  DatasetDelete(cur->params);
  DatasetDelete(cur->saved);
  ErrList_Free(&cur->errs);
  free(cur);
  return 0;
}

// ---- A connection's DB_Conn replaced (XA) -------------------------------------------

namespace {
// Calls fn for every agent cursor of the connection (handles are the
// table's tag and an entry index).
template <class Fn>
void ForEachCursorOf(AgentConn *conn, Fn fn) {
  const uint32_t capacity = g_agentCursors.capacity;
  for (uint32_t i = 0; i < capacity; ++i) {
    AgentCursor *cur = Agent_Cursor((static_cast<DrvHandle>(kDrvTagCursor) << 16) | i);
    if (cur && cur->conn == conn) fn(cur);
  }
}
}  // namespace

// Prepares a kept request again on the cursor's new session; one that fails
// leaves the cursor unprepared, as a new one.
static void PrepareKept(AgentCursor *cur) {
  if (!cur->kept.text && !cur->kept.translated) return;
  SqlRequest_Free(&cur->req);
  cur->req = cur->kept;
  cur->kept = SqlRequest{};
  int32_t rc;
  if (cur->req.flags & REQ_FLAG_CALL) {
    rc = DB_ProcDescribe(cur->dbCurs, cur->req.markerCount);
    if (rc == 0) cur->state |= CURS_PREPARED | CURS_PROC_CALL | CURS_DESCRIBED;
  } else {
    rc = DB_Prepare(cur->dbCurs);
    if (rc == 0 || rc == E_IM902) rc = DB_DefaultParamDescs(cur->dbCurs);
    if (rc == 0) cur->state |= CURS_PREPARED;
  }
  if (rc != 0) SqlRequest_Free(&cur->req);
}

void AgentConn_DropCursors(AgentConn *conn) {
  ForEachCursorOf(conn, [](AgentCursor *cur) {
    if (!cur->dbCurs) return;
    SqlRequest_Free(&cur->kept);
    if (cur->state & CURS_PREPARED) {
      cur->kept = cur->req;
      cur->req = SqlRequest{};
    }
    AgentCursor_Reset(cur);
    DB_Curs *old = cur->dbCurs;
    {
      std::lock_guard<std::mutex> lock(g_cancelLock);
      cur->dbCurs = nullptr;
    }
    DB_Curs_Delete(old);
  });
}

void AgentConn_RemakeCursors(AgentConn *conn) {
  if (!conn->dbConn) return;
  ForEachCursorOf(conn, [conn](AgentCursor *cur) {
    if (cur->dbCurs) return;
    DB_Curs *made = nullptr;
    if (DB_Curs_New(conn->dbConn, cur, &made) != 0) return;  // stays without: its calls answer 08003
    {
      std::lock_guard<std::mutex> lock(g_cancelLock);
      cur->dbCurs = made;
    }
    PrepareKept(cur);
  });
}

int32_t ORA_GetCursorName(DrvHandle h, char *buf, uint16_t bufSize, int16_t *outLen) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  AgentConn *conn = cur->conn;
  if (conn->wide && conn->dbConn) {
    // The name is kept in the database character set.
    const size_t cap = strlen(cur->name) * 4 + 1;
    if (cap > 0xFFFF) return E_S1001;
    char *utf8 = static_cast<char *>(malloc(cap));
    if (!utf8) return E_S1001;
    int16_t n = 0;
    int conv = db_CharsetToUTF8(conn->dbConn->env, cur->name, utf8, static_cast<uint16_t>(cap), &n);
    if (conv != 0) {
      free(utf8);
      return conv == -2 ? E_S1001 : E_01004;
    }
    int cut = CopyOutLen(utf8, buf, bufSize, outLen);
    free(utf8);
    return cut ? E_01004 : 0;
  }
  return CopyOutLen(cur->name, buf, bufSize, outLen) ? E_01004 : 0;
}

int32_t ORA_SetCursorName(DrvHandle h, const char *name) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  if (!name) return E_S1009;
  AgentConn *conn = cur->conn;
  char *copy = conn->wide && conn->dbConn ? db_UTF8ToCharset(conn->dbConn->env, name) : strdup(name);
  if (!copy) return E_S1001;
  free(cur->name);
  cur->name = copy;
  return 0;
}

// ---- Prepare --------------------------------------------------------------------------

int32_t ORA_Prepare(DrvHandle h, const char *sql) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  if (!sql) return E_S1009;
  if (!cur->dbCurs) return NoConnection(cur);
  AgentCursor_Reset(cur);
  AgentConn *conn = cur->conn;
  cur->deferLong = conn->deferLong && !(cur->maxLength >= 1 && cur->maxLength <= 65535) ? 1 : 0;

  char *converted = nullptr;
  if (conn->wide && conn->dbConn) {
    converted = db_UTF8ToCharset(conn->dbConn->env, sql);
    if (!converted) return E_S1001;
    sql = converted;
  }
  int32_t rc = cur->noScan ? RequestNoScan(&cur->req, sql) : Request(&cur->req, sql, conn->opts.emptyStringIsntNull != 0);
  if (rc) {
    LOG(LOG_DEBUG, cur->noScan ? "RequestNoScan prepare failed: %s" : "Request prepare failed: %s", sql);
    free(converted);
    return rc;
  }
  free(converted);
  if (cur->req.kind != REQ_KIND_SELECT && conn->readOnly) {
    LOG(LOG_DEBUG, "Non SELECT in read-only connection");
    ErrList_PushCode(&cur->errs, E_IM916);
    return E_IM916;
  }
  cur->postFetch = nullptr;
  if (cur->req.flags & REQ_FLAG_CALL) {
    if ((rc = DB_ProcDescribe(cur->dbCurs, cur->req.markerCount)) != 0) return rc;
    cur->state |= CURS_PREPARED | CURS_PROC_CALL | CURS_DESCRIBED;
    return 0;
  }
  const int32_t prepared = DB_Prepare(cur->dbCurs);  // 0, or E_IM902 for a warning
  if (prepared != 0 && prepared != E_IM902) return prepared;
  if ((rc = DB_DefaultParamDescs(cur->dbCurs)) != 0) return rc;
  cur->state |= CURS_PREPARED;
  return prepared;
}

// ---- Parameters -------------------------------------------------------------------------

int32_t ORA_SetParams(DrvHandle h, Dataset *params) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  if (cur->params != params) DatasetDelete(cur->params);
  cur->params = params;
  return 0;
}

int32_t ORA_SetParamInfo(DrvHandle h, uint16_t count, const ParamInfo *info) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  free(cur->paramInfo);
  cur->paramInfo = nullptr;
  cur->paramInfoCount = 0;
  if (count == 0 || !info) return 0;
  cur->paramInfo = static_cast<ParamInfo *>(s_alloc(count, sizeof(ParamInfo)));
  memcpy(cur->paramInfo, info, count * sizeof(ParamInfo));
  cur->paramInfoCount = count;
  return 0;
}

// ---- Execute -----------------------------------------------------------------------------

int32_t AgentCursor_Run(AgentCursor *cur) {
  if (cur->state & CURS_PROC_CALL) return AgentCursor_ProcExecute(cur);
  AgentConn *conn = cur->conn;
  DB_Curs *c = cur->dbCurs;
  int32_t rc;
  if (cur->req.kind == REQ_KIND_SELECT) {
    if ((rc = DB_Execute(c, 0)) != 0) return rc;
    cur->state |= CURS_RESULT_OPEN;
  } else {
    const bool global = xaw_InGlobalTxn(conn->xaWorker) != 0;
    if (!global && cur->req.kind == REQ_KIND_DML && !conn->autocommit) {
      if ((rc = AgentConn_TxnControl(conn, TXN_BEGIN)) != 0) return rc;
    }
    // In autocommit mode every statement that may change data is committed
    // by its own execution, not only INSERT, UPDATE and DELETE: a MERGE or
    // a PL/SQL block left uncommitted would be rolled back at disconnect.
    rc = DB_Execute(c, !global && conn->autocommit ? 1 : 0);
    if (rc) return rc;
  }
  cur->state |= CURS_EXECUTED;
  if (cur->req.kind == REQ_KIND_SELECT) {
    if ((rc = Describe(cur)) != 0) return rc;
    ++cur->execCount;
  }
  return c->execWarning ? E_IM902 : 0;
}

static int32_t CursorExecute(AgentCursor *cur) {
  if (!cur->dbCurs) return NoConnection(cur);
  if (!(cur->state & CURS_PREPARED)) {
    LOG(LOG_WARNING, "execute without prior prepare");
    return E_S1010;
  }
  if (cur->req.kind == REQ_KIND_SELECT)
    cur->state &= static_cast<uint16_t>(~CURS_NO_MORE_ROWS);
  else
    cur->state |= CURS_NO_MORE_ROWS;
  if (cur->state & CURS_EXECUTED) {
    if (int32_t rc = DB_Curs_FreeBuffers(cur->dbCurs)) return rc;
    AgentCursor_DropRefCursorResult(cur);
  }
  // Until this execution succeeds there is no result: a fetch after a
  // failed re-execution is out of sequence instead of reading a dead one.
  cur->state &= static_cast<uint16_t>(~(CURS_EXECUTED | CURS_RESULT_OPEN));
  cur->rowsFetched = 0;
  cur->execCount = 0;
  cur->daeState = 0;
  if (int32_t rc = StartDataAtExec(cur)) return rc;
  return AgentCursor_Run(cur);
}

int32_t ORA_Execute(DrvHandle h) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  return CursorExecute(cur);
}

int32_t ORA_ExecDirect(DrvHandle h, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  int32_t rc;
  // The Dataset is taken first: it belongs to the cursor whatever the
  // prepare says (the prepare does not touch the parameter rows).
  if (params && (rc = ORA_SetParams(h, params)) != 0) return rc;
  if (sql && (rc = ORA_Prepare(h, sql)) != 0) return rc;
  if (count != 0 && (rc = ORA_SetParamInfo(h, count, info)) != 0) return rc;
  return CursorExecute(cur);
}

int32_t ORA_Reserved14(DrvHandle, uint16_t, uint16_t, void *) { return E_S1C00; }

// ---- Fetch ----------------------------------------------------------------------------------

void AgentCursor_BlankPass(const AgentConn *conn, Dataset *rows) {
  if (!conn->opts.emptyStringIsntNull || !rows) return;
  const bool wide = conn->wide != 0;
  for (uint16_t c = 0; c < rows->columns; ++c) {
    DatasetCol &col = rows->cols[c];
    const uint32_t size = col.size;
    for (int32_t r = 0; r < rows->rows; ++r) {
      if (col.indicators[r] == kIndNull) continue;
      unsigned char *p = col.values + static_cast<size_t>(r) * size;
      switch (col.type) {
        case VT_CHAR:
        case VT_STRING:
          if (size >= 1 && IsBlankNul(p, size)) p[0] = 0;
          break;
        case VT_LONGCHAR:
        case VT_LONGWCHAR: {
          if (col.type == VT_LONGWCHAR && !wide) break;
          LongValue v;
          memcpy(&v, p, sizeof v);
          auto *b = static_cast<unsigned char *>(v.buffer);
          bool blank = v.length == 1 && b &&
                       (col.type == VT_LONGCHAR ? b[0] == ' ' : (b[0] == 0x20 && b[1] == 0));
          if (blank) {
            v.length = 0;
            b[0] = 0;
            if (col.type == VT_LONGWCHAR) b[1] = 0;
            memcpy(p, &v, sizeof v);
          }
          break;
        }
        case VT_VARCHAR1:
          if (size >= 2 && p[0] == 1 && p[1] == ' ') p[0] = p[1] = 0;
          break;
        case VT_VARCHAR2: {
          uint16_t n;
          memcpy(&n, p, 2);
          if (size >= 3 && n == 1 && p[2] == ' ') {
            n = 0;
            memcpy(p, &n, 2);
            p[2] = 0;
          }
          break;
        }
        case VT_VARCHAR4: {
          uint32_t n;
          memcpy(&n, p, 4);
          if (size >= 5 && n == 1 && p[4] == ' ') {
            n = 0;
            memcpy(p, &n, 4);
            p[4] = 0;
          }
          break;
        }
        case VT_WCHAR:
        case VT_WSTRING:
          if (wide && size >= 2 && IsWideBlankNul(p, size)) p[0] = p[1] = 0;
          break;
        case VT_WVARCHAR4: {
          uint32_t n;
          memcpy(&n, p, 4);
          if (wide && size >= 6 && n == 1 && p[4] == 0x20 && p[5] == 0) {
            n = 0;
            memcpy(p, &n, 4);
            p[4] = p[5] = 0;
          }
          break;
        }
        default:
          break;
      }
    }
  }
}

int32_t ORA_Fetch(DrvHandle h, uint16_t rows, Dataset *out) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  if (!out) return E_S1009;
  // The Dataset is laid out afresh: what it held goes, except storage that
  // the next block of the same result takes as it is.
  Dataset last = *out;
  *out = Dataset{};
  struct DropLast {
    Dataset *ds;
    ~DropLast() { DatasetFree(ds); }
  } dropLast{&last};
  if (cur->typeInfoState == 2) return ORA_TypeInfoFetch(cur, rows, out);
  // A statement without a result (any non-SELECT sets the no-more-rows bit)
  // reports the end; before an execution there is nothing to fetch.
  if (!(cur->state & CURS_EXECUTED) || !(cur->state & (CURS_RESULT_OPEN | CURS_NO_MORE_ROWS))) return E_S1010;
  if (rows == 0 && cur->saved) {
    *out = *cur->saved;
    free(cur->saved);
    cur->saved = nullptr;
    AgentCursor_BlankPass(cur->conn, out);
    return 0;
  }
  uint32_t want = rows;
  if (cur->maxRows != 0) {
    uint32_t left = cur->maxRows > cur->rowsFetched ? cur->maxRows - cur->rowsFetched : 0;
    if (want > left) want = left;
  }
  if (want == 0 || (cur->state & CURS_NO_MORE_ROWS)) return 0;  // the end: no columns, no rows
  bool hasLong = false, hasLob = false;
  for (uint16_t i = 0; i < cur->colCount; ++i) {
    hasLong = hasLong || IsLongOraType(cur->cols[i].oraType);
    hasLob = hasLob || IsLobOraType(cur->cols[i].oraType);
  }
  if (hasLong) want = 1;
  if (!hasLong && !hasLob && !cur->postFetch) std::swap(*out, last);
  int32_t rc = DatasetRelayFromColDescs(cur->cols, cur->colCount, static_cast<int32_t>(want), out);
  if (rc) {
    DatasetFree(out);
    return rc;
  }
  const bool deferred = cur->deferLong && hasLong;
  int end = 0;
  rc = DB_Fetch(cur->dbCurs, out, deferred ? 0 : 1, &end);
  // 74: the rows came with the database's warning, whose records wait on
  // the cursor; the block is handed up as any other.
  const int32_t done = rc == E_IM902 ? E_IM902 : 0;
  if (rc == E_IM902) rc = 0;
  if (rc) {
    DatasetFree(out);
    return rc;
  }
  if (end) cur->state |= CURS_NO_MORE_ROWS;
  cur->rowsFetched += static_cast<uint32_t>(out->rows);
  if ((rc = DB_PostProcess(cur->dbCurs, out, 0)) != 0) {
    DatasetFree(out);
    return rc;
  }
  if (out->rows == 0) {
    // The end fell on a block boundary: report it the one way the end is reported.
    DatasetFree(out);
    return done;
  }
  if (deferred && hasLob) {
    for (uint16_t i = 0; i < out->columns && i < cur->colCount; ++i) {
      if (!IsLobOraType(cur->cols[i].oraType)) continue;
      for (int32_t r = 0; r < out->rows; ++r)
        if (out->cols[i].indicators[r] == 0) out->cols[i].indicators[r] = kIndDeferred;
    }
  }
  if (cur->postFetch && (rc = cur->postFetch(cur, out)) != 0) return rc;
  AgentCursor_BlankPass(cur->conn, out);
  return done;
}

int32_t ORA_CloseCursor(DrvHandle h) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  AgentCursor_Close(cur);
  return 0;
}

// ---- Further results -------------------------------------------------------------------------

int32_t ORA_MoreResults(DrvHandle h) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  if (cur->typeInfoState != 0 || !(cur->state & CURS_EXECUTED)) return E_IM901;
  if (cur->req.kind == REQ_KIND_SELECT && cur->execCount > 0) {
    // A query with a parameter array gives one result per parameter row.
    const bool perRow = (cur->req.flags & REQ_FLAG_MARKERS) && cur->params;
    const uint32_t owed = perRow ? static_cast<uint32_t>(cur->params->rows) : 1;
    if (cur->execCount >= owed) return E_IM901;
    cur->state &= static_cast<uint16_t>(~CURS_NO_MORE_ROWS);
    int32_t rc = DB_Curs_FreeBuffers(cur->dbCurs);
    if (rc) return rc;
    AgentCursor_DropRefCursorResult(cur);
    cur->state &= static_cast<uint16_t>(~(CURS_EXECUTED | CURS_RESULT_OPEN));
    if ((rc = DB_Execute(cur->dbCurs, 0)) != 0) return rc;
    cur->state |= CURS_EXECUTED | CURS_RESULT_OPEN;
    // The maximum rows count for each result anew.
    cur->rowsFetched = 0;
    if ((rc = Describe(cur)) != 0) return rc;
    ++cur->execCount;
    return 0;
  }
  if (cur->state & CURS_PROC_CALL) return AgentCursor_ProcMoreResults(cur);
  return E_IM901;
}

// ---- Long data, cancel -----------------------------------------------------------------------

int32_t ORA_GetDataChunk(DrvHandle h, int32_t column, int32_t row, int32_t maxBytes, void **piece, int32_t *size,
                         int32_t *valueType, int32_t *left) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !piece || !size || !valueType || !left) return E_S1009;
  return DB_GetDataChunk(cur->dbCurs, column - 1, row - 1, maxBytes, piece, size, valueType, left);
}

int32_t ORA_Cancel(DrvHandle h) {
  std::lock_guard<std::mutex> lock(g_cancelLock);
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  return DB_Cancel(cur->dbCurs);
}

// ---- NativeSql --------------------------------------------------------------------------------

int32_t ORA_NativeSql(DrvHandle h, const char *sql, char *buf, uint16_t bufLen, int16_t *outLen) {
  if (outLen) *outLen = 0;
  AgentConn *conn = Agent_Conn(h);
  if (!conn) return E_S1009;
  return NativeSql_Translate(sql, conn->opts.emptyStringIsntNull != 0, buf, bufLen, outLen);
}

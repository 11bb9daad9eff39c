// The agent's server context and connections: DRV_Init, DRV_Term,
// DRV_Connect, DRV_Disconnect, commit, rollback and savepoints, and the
// handle tables that hold the agent's objects.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/sqlstate.h"
#include "util/log.h"
#include "variant.h"
#include "xa/xaw.h"

// Zero-filled stand-in for the front end's block (see agentopts.h).
__attribute__((weak)) AgentOptions g_agentOptions;

HandleTable g_agentServers;
HandleTable g_agentConns;
HandleTable g_agentCursors;
OsCritSec g_agentMutex = OS_CRITSEC_INITIALIZER;

namespace {

// References to the server context (DRV_Init calls not yet matched by a
// DRV_Term) and its handle; both under g_agentMutex.
uint32_t g_serverRefs;
DrvHandle g_serverHandle;

char *DupOrNull(const char *text) { return text ? strdup(text) : nullptr; }

void DestroyTables() {
  HandleTable_Destroy(&g_agentCursors);
  HandleTable_Destroy(&g_agentConns);
  HandleTable_Destroy(&g_agentServers);
}

bool InGlobalTxn(const AgentConn *conn) { return xaw_InGlobalTxn(conn->xaWorker) != 0; }

}  // namespace

void AgentOptions_Free(AgentOptions *opts) {
  if (!opts) return;
  free(opts->sqlnetIf);
  free(opts->initSql);
  free(opts->dbmsName);
  opts->sqlnetIf = nullptr;
  opts->initSql = nullptr;
  opts->dbmsName = nullptr;
}

AgentServer *Agent_Server(DrvHandle h) {
  if (DrvHandleTag(h) != kDrvTagServer) return nullptr;
  return static_cast<AgentServer *>(HandleTable_Lookup(&g_agentServers, h));
}

AgentConn *Agent_Conn(DrvHandle h) {
  if (DrvHandleTag(h) != kDrvTagConn) return nullptr;
  return static_cast<AgentConn *>(HandleTable_Lookup(&g_agentConns, h));
}

AgentCursor *Agent_Cursor(DrvHandle h) {
  if (DrvHandleTag(h) != kDrvTagCursor) return nullptr;
  return static_cast<AgentCursor *>(HandleTable_Lookup(&g_agentCursors, h));
}

void AgentConn_Release(AgentConn *conn) {
  if (!conn) return;
  ErrList_Free(&conn->errs);
  AgentOptions_Free(&conn->opts);
  free(conn->user);
  free(conn->password);
  free(conn->dbString);
  free(conn->dbPath);
  free(conn->dbOptions);
  free(conn);
}

// ---- Server context -----------------------------------------------------------

int32_t ORA_Init(const DrvInitReq *, DrvHandle *server) {
  if (!server) return E_S1009;
  // DRV_Init and DRV_Term may come from different threads: both change the
  // reference count and the first and last make and destroy the tables.
  OsLock lock(g_agentMutex);
  if (g_serverRefs != 0) {
    ++g_serverRefs;
    *server = g_serverHandle;
    return 0;
  }
  *server = 0;
  if (HandleTable_Init(&g_agentServers, kDrvTagServer) != 0 || HandleTable_Init(&g_agentConns, kDrvTagConn) != 0 ||
      HandleTable_Init(&g_agentCursors, kDrvTagCursor) != 0) {
    DestroyTables();
    return E_S1000;
  }
  auto *srv = static_cast<AgentServer *>(calloc(1, sizeof(AgentServer)));
  if (!srv) {
    DestroyTables();
    return E_S1001;
  }
  srv->lock.Init();
  HandleTable_EnableLocking(&g_agentServers);
  HandleTable_EnableLocking(&g_agentConns);
  HandleTable_EnableLocking(&g_agentCursors);
  if (int32_t rc = DB_Serv_New(srv, nullptr, &srv->dbServ)) {
    srv->lock.Delete();
    free(srv);
    DestroyTables();
    return rc;
  }
  DrvHandle h = 0;
  if (int32_t rc = HandleTable_Add(&g_agentServers, &h, srv)) {
    DB_Serv_Free(srv->dbServ);
    srv->lock.Delete();
    free(srv);
    DestroyTables();
    return rc;
  }
  srv->handle = h;
  g_serverHandle = h;
  g_serverRefs = 1;
  *server = h;
  return 0;
}

int32_t ORA_Term(DrvHandle server) {
  OsLock lock(g_agentMutex);
  AgentServer *srv = Agent_Server(server);
  if (!srv || g_serverRefs == 0) return E_S1009;
  if (--g_serverRefs != 0) return 0;
  xaw_Term();
  DestroyTables();
  {
    OsLock guard(srv->lock);
    DB_Serv_Free(srv->dbServ);
    srv->dbServ = nullptr;
    ErrList_Free(&srv->errs);
  }
  srv->lock.Delete();
  free(srv);
  g_serverHandle = 0;
  return 0;
}

// ---- Connections ----------------------------------------------------------------

int32_t ORA_Connect(DrvHandle server, const ConnectReq *req, DrvHandle *out) {
  AgentServer *srv = Agent_Server(server);
  if (!srv || !req || !out) return E_S1009;
  *out = 0;
  auto *conn = static_cast<AgentConn *>(calloc(1, sizeof(AgentConn)));
  if (!conn) return E_S1001;
  conn->server = srv;

  // The block's texts now belong to this connection.
  conn->opts = g_agentOptions;
  g_agentOptions.sqlnetIf = nullptr;
  g_agentOptions.initSql = nullptr;
  g_agentOptions.dbmsName = nullptr;

  // Only the Unicode build has the wide mode; the ANSI build ignores the marker.
  conn->wide = g_driverVariant.unicode && ConnectReqIsWide(req) ? 1 : 0;
  conn->optionWord = 2;

  // The user text may carry "name/password@alias". It is taken apart into
  // the connection's own fields; nothing is cut or changed in the caller's
  // text, and the user field keeps the name alone.
  const char *password = req->password && *req->password ? req->password : " ";
  char *userText = strdup(req->user ? req->user : "");
  if (!userText) {
    AgentConn_Release(conn);
    return E_S1001;
  }
  const char *alias = nullptr;
  if (char *at = strchr(userText, '@')) {
    *at = '\0';
    alias = at + 1;
  }
  if (char *slash = strchr(userText, '/')) {
    *slash = '\0';
    password = slash[1] ? slash + 1 : " ";
  }
  conn->user = strdup(userText);
  conn->password = strdup(password);
  conn->dbPath = DupOrNull(req->dbPath);
  conn->dbOptions = DupOrNull(req->dbOptions);
  const char *connectString = alias ? alias : req->dbOptions;
  char *target = DupOrNull(connectString);
  free(userText);
  if (!conn->user || !conn->password || (req->dbPath && !conn->dbPath) || (req->dbOptions && !conn->dbOptions) ||
      (connectString && !target)) {
    free(target);
    AgentConn_Release(conn);
    return E_S1001;
  }
  conn->readOnly = req->readOnly ? 1 : 0;
  conn->accessReadOnly = conn->readOnly;
  conn->xaWorker = nullptr;

  DB_Conn *dbc = nullptr;
  if (int32_t rc = DB_Conn_New(srv->dbServ, conn, &dbc)) {
    free(target);
    AgentConn_Release(conn);
    return rc;
  }
  dbc->err->wide = conn->wide;
  conn->dbConn = dbc;

  int32_t rc = DB_Connect(dbc, conn->user, conn->password, conn->dbPath, target, conn->opts.initSql != nullptr);
  free(target);
  if (rc != 0) {
    DB_Conn_Free(dbc);
    AgentConn_Release(conn);
    return rc;
  }
  conn->isolation = 2;
  if (conn->opts.initSql) InitialSQL_Run(dbc, conn->opts.initSql);
  rc = AgentConn_TxnControl(conn, conn->opts.noAutocommit ? TXN_AUTOCOMMIT_OFF : TXN_AUTOCOMMIT_ON);
  // The switch ended the new session's transaction with a warning: the
  // mode is set, and the records go up with the connect's own.
  if (rc == E_IM902) rc = 0;
  if (rc == 0) {
    conn->deferLong = 0;
    DrvHandle h = 0;
    rc = HandleTable_Add(&g_agentConns, &h, conn);
    if (rc == 0) {
      conn->handle = h;
      *out = h;
      return 0;
    }
  }
  // The session is open: close it before the records go.
  if (DB_Disconnect(dbc) != 0) LOG(LOG_DEBUG, "DB_Disconnect failed.");
  {
    // What the failure left on the connection's list is all its caller can
    // still read: move it to the server context's list.
    OsLock lock(srv->lock);
    if (conn->errs.first) {
      ErrList_Free(&srv->errs);
      srv->errs.first = conn->errs.first;
      conn->errs.first = nullptr;
    }
  }
  DB_Conn_Free(dbc);
  AgentConn_Release(conn);
  return rc;
}

int32_t ORA_Disconnect(DrvHandle h) {
  AgentConn *conn = Agent_Conn(h);
  if (!conn) return E_S1009;
  int32_t rc = 0;
  DB_Break(conn->dbConn);
  if (InGlobalTxn(conn)) {
    DB_LeaveXA(conn, 0);
  } else {
    // The session goes whatever the rollback and the logoff answer; what
    // they say goes up with the disconnect (01002).
    const int32_t rolledBack = AgentConn_TxnControl(conn, TXN_ROLLBACK);
    const int32_t loggedOff = DB_Disconnect(conn->dbConn);
    const bool failed = (rolledBack != 0 && rolledBack != E_IM902) || (loggedOff != 0 && loggedOff != E_IM902);
    if (failed) LOG(LOG_DEBUG, "DB_Disconnect failed.");
    if (failed || rolledBack == E_IM902 || loggedOff == E_IM902) {
      rc = E_01002;
      // The texts move to the server context's list: the only one the
      // caller can still read once this connection is gone. A failure's are
      // disconnect errors; warnings keep their own states.
      if (failed) {
        const char *state = SqlStateLookup(E_01002)->state;
        for (AgentErrRec *r = conn->errs.first; r; r = r->next) r->sqlState = state;
      }
      if (conn->errs.first) {
        OsLock lock(conn->server->lock);
        ErrList_Free(&conn->server->errs);
        conn->server->errs.first = conn->errs.first;
        conn->errs.first = nullptr;
      }
    }
  }
  HandleTable_Remove(&g_agentConns, h);
  DB_Conn_Free(conn->dbConn);
  conn->dbConn = nullptr;
  AgentConn_Release(conn);
  return rc;
}

// ---- Transactions ----------------------------------------------------------------

int32_t AgentConn_TxnControl(AgentConn *conn, int32_t action) {
  if (conn->readOnly) return 0;
  switch (action) {
    case TXN_AUTOCOMMIT_ON:
      if (conn->autocommit) return 0;
      conn->autocommit = 1;
      return AgentConn_TxnControl(conn, TXN_COMMIT);
    case TXN_AUTOCOMMIT_OFF:
      if (!conn->autocommit) return 0;
      conn->autocommit = 0;
      return AgentConn_TxnControl(conn, TXN_ROLLBACK);
    case TXN_BEGIN:
    case TXN_COMMIT:
    case TXN_ROLLBACK:
      // With autocommit on every statement is already committed: a rollback
      // has nothing to undo and succeeds without a round trip. Connection
      // pools and Node's odbc package roll back before every disconnect and
      // never disconnect when that fails.
      if (action == TXN_ROLLBACK && conn->autocommit) return 0;
      if (!conn->dbConn) return E_S1000;
      return DB_TransControl(conn->dbConn, action);
    default:
      return E_S1000;
  }
}

int32_t AgentConn_SetIsolation(AgentConn *conn, int32_t level) {
  if (level == conn->isolation) return 0;
  if (level != 2 && level != 8) return E_S1C00;
  conn->isolation = level;
  return 0;
}

int32_t ORA_Commit(DrvHandle h) {
  AgentConn *conn = Agent_Conn(h);
  if (!conn) return E_S1009;
  return AgentConn_TxnControl(conn, TXN_COMMIT);
}

int32_t ORA_Rollback(DrvHandle h) {
  AgentConn *conn = Agent_Conn(h);
  if (!conn) return E_S1009;
  return AgentConn_TxnControl(conn, TXN_ROLLBACK);
}

int32_t ORA_Savepoint(DrvHandle h, int32_t action, const char *name) {
  AgentConn *conn = Agent_Conn(h);
  if (!conn) return E_S1009;
  if (InGlobalTxn(conn)) {
    LOG(LOG_DEBUG, "Local txn control disallowed while in global txn.");
    ErrList_PushCode(&conn->errs, E_25S01);
    return E_25S01;
  }
  char sql[80];
  switch (action) {
    case 0:
      if (!name) return E_S1009;
      snprintf(sql, sizeof sql, "SAVEPOINT %.32s", name);
      break;
    case 1:
      if (!name) return E_S1009;
      snprintf(sql, sizeof sql, "ROLLBACK TO SAVEPOINT %.32s", name);
      break;
    case 2:
      return 0;
    default:
      return E_S1009;
  }
  if (!conn->dbConn) return E_S1000;
  // The statement's errors land on the connection's list, where the caller
  // of a connection operation reads them.
  return DB_Conn_ExecOnce(conn->dbConn, sql);
}

// The OCI level of a connection: its own OCI environment, the attach to the
// database (directly or through a connection pool), the user session, the
// statement cache, the failover callback, the server version, transaction
// control, and the switch to and from a session of Oracle's XA library.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-exec.h"
#include "odbc/sqlstate.h"
#include "util/log.h"
#include "util/strutil.h"
#include "xa/xaw.h"

namespace {

constexpr ub4 kEnvMode = OCI_THREADED | OCI_OBJECT;
constexpr ub4 kMaxStmtCache = 256;

bool InGlobalTxn(const AgentConn *conn) { return conn && xaw_InGlobalTxn(conn->xaWorker) != 0; }

// Frees what DB_Connect made of the session's handles; ends the session and
// detaches first when they were made.
void DropSessionHandles(DB_Conn *dbc, OCIError *errhp, bool begun, bool attached) {
  if (begun) OCISessionEnd(dbc->svc, errhp, dbc->session, OCI_DEFAULT);
  if (attached) OCIServerDetach(dbc->srv, errhp, OCI_DEFAULT);
  if (dbc->initStmt) OCIHandleFree(dbc->initStmt, OCI_HTYPE_STMT);
  if (dbc->trans) OCIHandleFree(dbc->trans, OCI_HTYPE_TRANS);
  if (dbc->session) OCIHandleFree(dbc->session, OCI_HTYPE_SESSION);
  if (dbc->srv) OCIHandleFree(dbc->srv, OCI_HTYPE_SERVER);
  if (dbc->svc) OCIHandleFree(dbc->svc, OCI_HTYPE_SVCCTX);
  dbc->initStmt = nullptr;
  dbc->trans = nullptr;
  dbc->session = nullptr;
  dbc->srv = nullptr;
  dbc->svc = nullptr;
}

int32_t NewErrWrap(DB_Conn *dbc) {
  auto *wrap = static_cast<OciErrWrap *>(calloc(1, sizeof(OciErrWrap)));
  if (!wrap) return E_S1001;
  dbc->err = wrap;
  wrap->env = dbc->env;
  wrap->nextRec = 1;
  void *errhp = nullptr;
  sword st = OCIHandleAlloc(dbc->env, &errhp, OCI_HTYPE_ERROR, 0, nullptr);
  if (!db_OciOk(st)) {
    // The new environment has no error handle of its own yet: what OCI has
    // to say about it went to the server context's handle.
    if (st == OCI_ERROR) {
      AgentServer *srv = dbc->serv->server;
      OsLock lock(srv->lock);
      ErrList_PushOCI(&srv->errs, dbc->serv->err);
    }
    LOG(LOG_ERR, "DB_Conn_New: Couldn't allocate OCI error handle.");
    return E_S1001;
  }
  wrap->errhp = static_cast<OCIError *>(errhp);
  return 0;
}

DB_Conn *NewConnRecord(DB_Serv *serv, AgentConn *conn) {
  auto *dbc = static_cast<DB_Conn *>(calloc(1, sizeof(DB_Conn)));
  if (!dbc) return nullptr;
  dbc->serv = serv;
  dbc->conn = conn;
  dbc->foLock.Init();
  return dbc;
}

}  // namespace

int32_t DB_Conn_New(DB_Serv *serv, AgentConn *conn, DB_Conn **out) {
  *out = nullptr;
  DB_Conn *dbc = NewConnRecord(serv, conn);
  if (!dbc) return E_S1001;
  if (!db_OciOk(OCIEnvCreate(&dbc->env, kEnvMode, nullptr, nullptr, nullptr, nullptr, 0, nullptr))) {
    LOG(LOG_ERR, "DB_Conn_New: Couldn't initialize OCI environment handle.");
    DB_Conn_Free(dbc);
    return E_S1001;
  }
  if (int32_t rc = NewErrWrap(dbc)) {
    DB_Conn_Free(dbc);
    return rc;
  }
  *out = dbc;
  return 0;
}

int32_t DB_ConnXA_New(DB_Serv *serv, AgentConn *conn, const char *dbName, DB_Conn **out) {
  *out = nullptr;
  DB_Conn *dbc = NewConnRecord(serv, conn);
  if (!dbc) return E_S1001;
  dbc->xa = 1;
  OraText *name = dbName && *dbName ? reinterpret_cast<OraText *>(const_cast<char *>(dbName)) : nullptr;
  dbc->env = xaoEnv(name);
  dbc->svc = xaoSvcCtx(name);
  if (!dbc->env || !dbc->svc) {
    LOG(LOG_ERR, "DB_ConnXA_New: No XA session for %s.", dbName ? dbName : "(none)");
    DB_Conn_Free(dbc);
    return E_S1000;
  }
  if (int32_t rc = NewErrWrap(dbc)) {
    DB_Conn_Free(dbc);
    return rc;
  }
  *out = dbc;
  return 0;
}

void DB_Conn_Free(DB_Conn *dbc) {
  if (!dbc) return;
  if (dbc->pool) {
    OciConnPool_Release(dbc->pool, dbc->serv->err);
    dbc->pool = nullptr;
  }
  if (dbc->xa) {
    // The XA library's service context and environment stay with it.
    dbc->svc = nullptr;
  } else {
    DropSessionHandles(dbc, dbc->err ? dbc->err->errhp : nullptr, false, false);
  }
  if (dbc->err) {
    if (dbc->err->errhp) OCIHandleFree(dbc->err->errhp, OCI_HTYPE_ERROR);
    free(dbc->err);
  }
  if (dbc->env && !dbc->xa) OCIHandleFree(dbc->env, OCI_HTYPE_ENV);
  dbc->foLock.Delete();
  free(dbc);
}

int db_ParseServerVersion(const char *text, char out[16], uint16_t *major, uint16_t *minor) {
  out[0] = '\0';
  *major = 0;
  *minor = 0;
  if (!text) return -1;
  size_t n = strlen(text);
  char *lower = static_cast<char *>(malloc(n + 1));
  if (!lower) return -1;
  for (size_t i = 0; i <= n; ++i) lower[i] = static_cast<char>(tolower(static_cast<unsigned char>(text[i])));
  const char *p = strstr(lower, "release ");
  if (!p) {
    free(lower);
    return -1;
  }
  p += strlen("release ");
  // Up to four components separated by points; missing ones count as 0.
  long part[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    if (!isdigit(static_cast<unsigned char>(*p))) break;
    char *end = nullptr;
    part[i] = strtol(p, &end, 10);
    if (part[i] < 0 || part[i] > 99) part[i] = part[i] < 0 ? 0 : 99;
    p = end;
    if (*p != '.') break;
    ++p;
  }
  free(lower);
  snprintf(out, 16, "%02ld.%02ld.%02ld%02ld", part[0], part[1], part[2], part[3]);
  *major = static_cast<uint16_t>(part[0]);
  *minor = static_cast<uint16_t>(part[1]);
  return 0;
}

int32_t DB_Connect(DB_Conn *dbc, const char *user, const char *password, const char *dbPath,
                   const char *connectString, int needStmt) {
  AgentConn *conn = dbc->conn;
  AgentServer *server = dbc->serv->server;
  OciErrWrap *serr = dbc->serv->err;
  OCIError *errhp = serr->errhp;
  const AgentOptions &o = conn->opts;
  const char *cs = connectString ? connectString : "";
  if (!user) user = "";
  if (!password) password = "";

  if (dbPath && *dbPath && env_set_private("ORACLE_SID", dbPath) != 0)
    LOG(LOG_ERR, "DB_Connect: Couldn't set ORACLE_SID.");

  sword st = OCI_SUCCESS;
  bool attached = false, begun = false;
  // Warnings of calls that succeed stay with the connection (a password
  // about to expire, for one); they are collected after each such call.
  auto keepWarnings = [&](sword s) {
    if (s == OCI_SUCCESS_WITH_INFO) ErrList_AppendOCI(&conn->errs, serr);
  };
  auto fail = [&](sword s) -> int32_t {
    if (s == OCI_ERROR) {
      OsLock lock(server->lock);
      ErrList_PushOCI(&server->errs, serr);
    }
    DropSessionHandles(dbc, errhp, begun, attached);
    if (dbc->pool) {
      OciConnPool_Release(dbc->pool, serr);
      dbc->pool = nullptr;
    }
    return E_08004;
  };
  auto failed = [](sword s) { return s != OCI_SUCCESS && s != OCI_SUCCESS_WITH_INFO; };
  // A handle OCI could not make leaves no text to report: out of memory.
  auto allocFail = [&]() -> int32_t {
    LOG(LOG_ERR, "DB_Connect: Could not allocate an OCI handle.");
    fail(OCI_SUCCESS);
    return E_S1001;
  };

  if (o.poolMin != 0) {
    OsLock lock(server->lock);
    dbc->pool = OciConnPool_Acquire(&dbc->serv->pools, dbc, serr, cs, user, password);
    // The reason (a limit OCI refused, for one) goes with the connect's
    // failure.
    if (!dbc->pool) {
      ErrList_PushOCI(&server->errs, serr);
      return E_08004;
    }
  }

  void *h = nullptr;
  if (!db_OciOk((st = OCIHandleAlloc(dbc->env, &h, OCI_HTYPE_SVCCTX, 0, nullptr)))) return allocFail();
  dbc->svc = static_cast<OCISvcCtx *>(h);
  OCIEnv *srvEnv = dbc->pool ? dbc->serv->env : dbc->env;
  if (!db_OciOk((st = OCIHandleAlloc(srvEnv, &h, OCI_HTYPE_SERVER, 0, nullptr)))) return allocFail();
  dbc->srv = static_cast<OCIServer *>(h);
  if (!db_OciOk((st = OCIHandleAlloc(dbc->env, &h, OCI_HTYPE_SESSION, 0, nullptr)))) return allocFail();
  dbc->session = static_cast<OCISession *>(h);
  if (!db_OciOk((st = OCIHandleAlloc(dbc->env, &h, OCI_HTYPE_TRANS, 0, nullptr)))) return allocFail();
  dbc->trans = static_cast<OCITrans *>(h);

  if (dbc->pool)
    st = OCIServerAttach(dbc->srv, errhp, reinterpret_cast<const OraText *>(dbc->pool->name), dbc->pool->nameLen,
                         OCI_CPOOL);
  else
    st = OCIServerAttach(dbc->srv, errhp, reinterpret_cast<const OraText *>(cs), static_cast<sb4>(strlen(cs)),
                         OCI_DEFAULT);
  if (failed(st)) return fail(st);
  attached = true;
  keepWarnings(st);

  if (failed(st = OCIAttrSet(dbc->svc, OCI_HTYPE_SVCCTX, dbc->srv, 0, OCI_ATTR_SERVER, errhp))) return fail(st);
  if (failed(st = OCIAttrSet(dbc->session, OCI_HTYPE_SESSION, const_cast<char *>(user),
                             static_cast<ub4>(strlen(user)), OCI_ATTR_USERNAME, errhp)))
    return fail(st);
  if (failed(st = OCIAttrSet(dbc->session, OCI_HTYPE_SESSION, const_cast<char *>(password),
                             static_cast<ub4>(strlen(password)), OCI_ATTR_PASSWORD, errhp)))
    return fail(st);

  ub4 mode = o.ociStmtCacheSize > 0 ? OCI_STMT_CACHE : OCI_DEFAULT;
  st = OCISessionBegin(dbc->svc, errhp, dbc->session, OCI_CRED_RDBMS, mode);
  if (failed(st)) return fail(st);
  begun = true;
  keepWarnings(st);

  if (failed(st = OCIAttrSet(dbc->svc, OCI_HTYPE_SVCCTX, dbc->session, 0, OCI_ATTR_SESSION, errhp)))
    return fail(st);
  if (failed(st = OCIAttrSet(dbc->svc, OCI_HTYPE_SVCCTX, dbc->trans, 0, OCI_ATTR_TRANS, errhp))) return fail(st);

  if (o.ociStmtCacheSize > 0) {
    ub4 size = static_cast<ub4>(o.ociStmtCacheSize) >= kMaxStmtCache ? kMaxStmtCache
                                                                      : static_cast<ub4>(o.ociStmtCacheSize);
    if (failed(OCIAttrSet(dbc->svc, OCI_HTYPE_SVCCTX, &size, 0, OCI_ATTR_STMTCACHESIZE, errhp)))
      LOG(LOG_ERR, "DB_Connect: Couldn't set OCI statement cache  size to %ld).", static_cast<long>(size));
  }

  if (o.tafEnable) {
    OCIFocbkStruct fo;
    fo.callback_function = TAF_FailoverCallback;
    fo.fo_ctx = dbc;
    if (failed(OCIAttrSet(dbc->srv, OCI_HTYPE_SERVER, &fo, 0, OCI_ATTR_FOCBK, errhp)))
      LOG(LOG_ERR, "DB_Connect: Could not register failover callback.");
    else
      dbc->foState = 0;
  }

  if (char *version = static_cast<char *>(calloc(256, 1))) {
    st = OCIServerVersion(dbc->svc, errhp, reinterpret_cast<OraText *>(version), 256, OCI_HTYPE_SVCCTX);
    if (failed(st)) {
      free(version);
      return fail(st);
    }
    db_ParseServerVersion(version, conn->version, &conn->verMajor, &conn->verMinor);
    free(version);
  }

  if (needStmt) {
    if (!db_OciOk(OCIHandleAlloc(dbc->env, &h, OCI_HTYPE_STMT, 0, nullptr))) {
      LOG(LOG_ERR, "DB_Connect: Could not allocate OCI statement handle.");
      DropSessionHandles(dbc, errhp, begun, attached);
      if (dbc->pool) {
        OciConnPool_Release(dbc->pool, serr);
        dbc->pool = nullptr;
      }
      return E_S1001;
    }
    dbc->initStmt = static_cast<OCIStmt *>(h);
  }
  char *used = strdup(cs);
  if (!used) {
    DropSessionHandles(dbc, errhp, begun, attached);
    if (dbc->pool) {
      OciConnPool_Release(dbc->pool, serr);
      dbc->pool = nullptr;
    }
    return E_S1001;
  }
  free(conn->dbString);
  conn->dbString = used;
  return 0;
}

int32_t DB_Disconnect(DB_Conn *dbc) {
  if (!dbc || dbc->xa || !dbc->svc) return 0;
  OCIError *errhp = dbc->err->errhp;
  // A logoff or detach with a warning did its work; its records are kept
  // before the next call clears the error handle.
  bool warned = false;
  auto note = [&](sword status) {
    if (status != OCI_SUCCESS_WITH_INFO) return;
    ErrList_AppendOCI(&dbc->conn->errs, dbc->err);
    warned = true;
  };
  sword st = OCISessionEnd(dbc->svc, errhp, dbc->session, OCI_DEFAULT);
  note(st);
  if (st == OCI_SUCCESS || st == OCI_SUCCESS_WITH_INFO) {
    st = OCIServerDetach(dbc->srv, errhp, OCI_DEFAULT);
    note(st);
  }
  if (st != OCI_SUCCESS && st != OCI_SUCCESS_WITH_INFO) {
    LOG(LOG_ERR, "DB_Disconnect: Could not logoff.");
    return db_OciFail(st, &dbc->conn->errs, dbc->err);
  }
  DropSessionHandles(dbc, errhp, false, false);
  return warned ? E_IM902 : 0;
}

int32_t DB_TransControl(DB_Conn *dbc, int32_t action) {
  AgentConn *conn = dbc->conn;
  if (InGlobalTxn(conn)) {
    LOG(LOG_DEBUG, "Local txn control disallowed while in global txn.");
    ErrList_PushCode(&conn->errs, E_25S01);
    return E_25S01;
  }
  if (!dbc->svc) return E_S1000;
  sword st = OCI_SUCCESS;
  switch (action) {
    case TXN_BEGIN:
      if (conn->isolation != 8 || (dbc->txnFlags & DBC_TXN_SERIALIZABLE)) return 0;
      st = OCITransStart(dbc->svc, dbc->err->errhp, 0, OCI_TRANS_SERIALIZABLE);
      if (st == OCI_SUCCESS || st == OCI_SUCCESS_WITH_INFO) dbc->txnFlags |= DBC_TXN_SERIALIZABLE;
      break;
    case TXN_COMMIT:
      st = OCITransCommit(dbc->svc, dbc->err->errhp, OCI_DEFAULT);
      dbc->txnFlags &= static_cast<uint16_t>(~DBC_TXN_SERIALIZABLE);
      break;
    case TXN_ROLLBACK:
      st = OCITransRollback(dbc->svc, dbc->err->errhp, OCI_DEFAULT);
      dbc->txnFlags &= static_cast<uint16_t>(~DBC_TXN_SERIALIZABLE);
      break;
    default:
      return 0;
  }
  if (st != OCI_SUCCESS && st != OCI_SUCCESS_WITH_INFO) return db_OciFail(st, &conn->errs, dbc->err);
  if (st == OCI_SUCCESS_WITH_INFO && action != TXN_BEGIN) {
    // Committed or rolled back, with the database's warning for the caller.
    ErrList_PushOCI(&conn->errs, dbc->err);
    return E_IM902;
  }
  return 0;
}

int32_t DB_Break(DB_Conn *dbc) {
  if (!dbc || !dbc->svc) return 0;
  sword st = OCIBreak(dbc->svc, dbc->err->errhp);
  if (!db_OciOk(st)) return db_OciFail(st, &dbc->conn->errs, dbc->err);
  return 0;
}

namespace {

// Prepares and executes sql once on stmt. DEBUG lines name the failing step.
int32_t ExecOn(DB_Conn *dbc, OCIStmt *stmt, const char *sql, ub4 mode, const char *who) {
  OCIError *errhp = dbc->err->errhp;
  sword st = OCIStmtPrepare(stmt, errhp, reinterpret_cast<const OraText *>(sql), static_cast<ub4>(strlen(sql)),
                            OCI_NTV_SYNTAX, OCI_DEFAULT);
  if (st != OCI_SUCCESS && st != OCI_SUCCESS_WITH_INFO) {
    LOG(LOG_DEBUG, "%s: Preparation of SQL failed.", who);
    return db_OciFail(st, &dbc->conn->errs, dbc->err);
  }
  st = OCIStmtExecute(dbc->svc, stmt, errhp, 1, 0, nullptr, nullptr, mode);
  if (st != OCI_SUCCESS && st != OCI_SUCCESS_WITH_INFO && st != OCI_NO_DATA) {
    LOG(LOG_DEBUG, "%s: Execution of SQL failed.", who);
    return db_OciFail(st, &dbc->conn->errs, dbc->err);
  }
  return 0;
}

}  // namespace

int32_t DB_Conn_ExecSQL(DB_Conn *dbc, const char *sql) {
  if (!dbc || !dbc->initStmt || !sql) return E_S1000;
  return ExecOn(dbc, dbc->initStmt, sql, OCI_COMMIT_ON_SUCCESS, "DB_Conn_ExecSQL");
}

int32_t DB_Conn_ExecOnce(DB_Conn *dbc, const char *sql) {
  if (!dbc || !dbc->svc || !sql) return E_S1000;
  void *h = nullptr;
  if (!db_OciOk(OCIHandleAlloc(dbc->env, &h, OCI_HTYPE_STMT, 0, nullptr))) return E_S1001;
  auto *stmt = static_cast<OCIStmt *>(h);
  char *converted = nullptr;
  if (dbc->err->wide) {
    converted = db_UTF8ToCharset(dbc->env, sql);
    if (!converted) {
      OCIHandleFree(stmt, OCI_HTYPE_STMT);
      return E_S1001;
    }
    sql = converted;
  }
  int32_t rc = ExecOn(dbc, stmt, sql, OCI_DEFAULT, "DB_Conn_ExecOnce");
  free(converted);
  OCIHandleFree(stmt, OCI_HTYPE_STMT);
  return rc;
}

int32_t DB_ConnectXA(AgentConn *conn) {
  DB_Conn *old = conn->dbConn;
  if (!InGlobalTxn(conn) && old) {
    DB_Break(old);
    AgentConn_TxnControl(conn, TXN_ROLLBACK);
    AgentConn_TxnControl(conn, TXN_AUTOCOMMIT_OFF);
  }
  DB_Serv *serv = old ? old->serv : conn->server->dbServ;
  if (old) {
    // The cursors point into the old DB_Conn: they let go of it first.
    AgentConn_DropCursors(conn);
    if (DB_Disconnect(old) != 0) LOG(LOG_DEBUG, "DB_Disconnect failed.");
    DB_Conn_Free(old);
    conn->dbConn = nullptr;
  }
  char dbName[32];
  snprintf(dbName, sizeof dbName, "DB%p", static_cast<void *>(conn));
  DB_Conn *dbc = nullptr;
  if (int32_t rc = DB_ConnXA_New(serv, conn, dbName, &dbc)) return rc;
  dbc->err->wide = conn->wide;
  conn->dbConn = dbc;
  AgentConn_RemakeCursors(conn);
  xaw_SetInGlobalTxn(conn->xaWorker, 1);
  return 0;
}

int32_t DB_LeaveXA(AgentConn *conn, int reconnect) {
  xaw_SetInGlobalTxn(conn->xaWorker, 0);
  DB_Serv *serv = conn->server->dbServ;
  if (conn->dbConn) {
    DB_Break(conn->dbConn);
    // The cursors point into this DB_Conn: they let go of it first.
    AgentConn_DropCursors(conn);
    DB_Conn_Free(conn->dbConn);
    conn->dbConn = nullptr;
  }
  if (!reconnect) return 0;
  DB_Conn *dbc = nullptr;
  if (int32_t rc = DB_Conn_New(serv, conn, &dbc)) return rc;
  dbc->err->wide = conn->wide;
  int32_t rc = DB_Connect(dbc, conn->user, conn->password, conn->dbPath, conn->dbString, 0);
  if (rc == 0) {
    conn->dbConn = dbc;
    rc = AgentConn_TxnControl(conn, conn->opts.noAutocommit ? TXN_AUTOCOMMIT_OFF : TXN_AUTOCOMMIT_ON);
    if (rc == E_IM902) rc = 0;  // switched, with a warning its records keep
    if (rc == 0) {
      AgentConn_RemakeCursors(conn);
      return 0;
    }
    DB_Disconnect(dbc);
  }
  DB_Conn_Free(dbc);
  conn->dbConn = nullptr;
  return rc;
}

// Opening and closing connections, commit and rollback, capabilities.
#include "odbc/connopen.h"

#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/connopt.h"
#include "odbc/desc.h"
#include "odbc/envr.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"
#include "util/handletab.h"

namespace {

// The agent's capability mask bits and the items asked one by one when the
// mask is not answered.
struct CapabilityItem {
  uint32_t bit;
  uint32_t item;  // 0: only in the mask
  int32_t Conn::*flag;
};
constexpr CapabilityItem kCapabilities[] = {
    {CAP_NEEDBIND, INFO_NEEDBIND, &Conn::cn_needbind},
    {CAP_MORERES, INFO_MORERES, &Conn::cn_hasMoreRes},
    {CAP_PARAMOP, INFO_PARAMOP, &Conn::cn_hasParamOp},
    {CAP_SCROLL, INFO_SCROLL, &Conn::cn_hasScrlCurs},
    {CAP_DYNMIX, INFO_DYNMIX, &Conn::cn_hasDynMixCurs},
    {CAP_V2DAE, INFO_V2DAE, &Conn::cn_hasV2DAE},
    {CAP_SPOUT_DEFER, INFO_SPOUT_DEFER, &Conn::cn_spOutDeferFetch},
    {CAP_EXECUTE2, INFO_EXECUTE2, &Conn::cn_hasExecute2},
    {CAP_GETINFO_CVT, 0, &Conn::cn_getInfoCvt},
    {CAP_DESCRIBE2, 0, &Conn::cn_describe2},
    {CAP_EXECDIRECT2, 0, &Conn::cn_execDirect2},
    {CAP_MAX_LENGTH, 0, &Conn::cn_maxLength},
    {CAP_FAILOVER_CB, 0, &Conn::cn_failoverCb},
    {CAP_DTC, 0, &Conn::cn_dtc},
};

void FreeText(char **text) {
  free(*text);
  *text = nullptr;
}

int32_t GetInt(Conn *conn, uint32_t code, int32_t *value) {
  int16_t len = 0;
  *value = 0;
  return DrvCall<&DrvOps::DRV_GetInfo>(&conn->drv, conn->agentConn, code, value, uint16_t{4}, &len);
}

int32_t SetInt(Conn *conn, uint32_t code, int32_t value) {
  return DrvCall<&DrvOps::DRV_SetInfo>(&conn->drv, conn->agentConn, code, &value);
}

// A failed step of ConnOpen before the agent connection exists: the trace
// line and the message.
void OpenFailed(Conn *conn, const char *text) {
  if (TraceIsOn()) TraceODBC("ConnOpen: %s", text);
  ConnAddMsg(conn, text, 0);
}

// Gives the agent server context back and forgets both handles.
void ReleaseServer(Conn *conn) {
  if (conn->agentServer != 0) DrvCall<&DrvOps::DRV_Term>(&conn->drv, conn->agentServer);
  conn->agentServer = 0;
  conn->agentConn = 0;
}

// The host of the connect request: "host:port" when the port is a number
// from 1 to 65535 and both fit 254 characters, else the host alone.
const char *RequestHost(const Conn *conn, char *buf, size_t size) {
  const char *host = conn->dbHost;
  const char *port = conn->port;
  if (host == nullptr || port == nullptr || *port == '\0') return host;
  long n = 0;
  for (const char *p = port; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || n > 65535) return host;
    n = n * 10 + (*p - '0');
  }
  const size_t hostLen = strlen(host), portLen = strlen(port);
  if (n < 1 || n > 65535 || hostLen + portLen > 254 || hostLen + portLen + 2 > size) return host;
  memcpy(buf, host, hostLen);
  buf[hostLen] = ':';
  memcpy(buf + hostLen + 1, port, portLen + 1);
  return buf;
}

// The capability flags from the mask, or item by item when the agent does
// not answer the mask.
void ProbeCapabilities(Conn *conn) {
  for (const CapabilityItem &c : kCapabilities) conn->*c.flag = 0;
  conn->flags &= static_cast<uint16_t>(~CONNF_AUTOCOMMIT);
  int32_t mask = 0;
  if (GetInt(conn, INFO_CAPS_MASK, &mask) == 0) {
    const auto bits = static_cast<uint32_t>(mask);
    for (const CapabilityItem &c : kCapabilities)
      if (bits & c.bit) conn->*c.flag = 1;
    if (bits & CAP_AUTOCOMMIT) conn->flags |= CONNF_AUTOCOMMIT;
  } else {
    for (const CapabilityItem &c : kCapabilities) {
      int32_t v = 0;
      if (c.item != 0 && GetInt(conn, c.item, &v) == 0 && v != 0) conn->*c.flag = 1;
    }
    int32_t v = 0;
    if (GetInt(conn, INFO_AUTOCOMMIT, &v) == 0 && v != 0) conn->flags |= CONNF_AUTOCOMMIT;
  }
  if (TraceIsOn()) {
    TraceODBC("cn_needbind=%d", conn->cn_needbind);
    TraceODBC("cn_hasMoreRes=%d", conn->cn_hasMoreRes);
    TraceODBC("cn_hasParamOp=%d", conn->cn_hasParamOp);
    TraceODBC("cn_hasScrlCurs=%d", conn->cn_hasScrlCurs);
    TraceODBC("cn_hasDynMixCurs=%d", conn->cn_hasDynMixCurs);
    TraceODBC("cn_hasV2DAE=%d", conn->cn_hasV2DAE);
    TraceODBC("cn_spOutDeferFetch=%d", conn->cn_spOutDeferFetch);
    TraceODBC("cn_hasExecute2=%d", conn->cn_hasExecute2);
    TraceODBC("autocommit=%d", (conn->flags & CONNF_AUTOCOMMIT) ? 1 : 0);
  }
}

// An option the application set before connecting, sent to the opened
// connection; 0 or the agent's code. A changed value (75) counts as taken.
int32_t ApplyAskedOption(Conn *conn, uint32_t code, int32_t value) {
  int32_t rc = SetInt(conn, code, value);
  // Taken with the database's warning: its records go with the connect's.
  if (rc == E_IM902) ConnGetMsgs(conn, nullptr);
  return rc == E_01S02 || rc == E_IM902 ? 0 : rc;
}

// Autocommit and access mode that the application set while unconnected
// (the Driver Manager replays them before it connects): sent to the agent
// now, so that work the application means to roll back is never committed
// by the agent's default.
int32_t ApplyAskedOptions(Conn *conn) {
  if (conn->flags & CONNF_AUTOCOMMIT_ASKED) {
    const bool on = (conn->flags & CONNF_AUTOCOMMIT_VALUE) != 0;
    int32_t rc = ApplyAskedOption(conn, INFO_AUTOCOMMIT, on ? 1 : 0);
    if (rc != 0) return rc;
    if (on)
      conn->flags |= CONNF_AUTOCOMMIT;
    else
      conn->flags &= static_cast<uint16_t>(~CONNF_AUTOCOMMIT);
  }
  if (conn->flags & CONNF_ACCESS_ASKED) {
    const bool readOnly = (conn->flags & CONNF_ACCESS_VALUE) != 0;
    int32_t rc = ApplyAskedOption(conn, INFO_ACCESS_MODE, readOnly ? 1 : 0);
    if (rc != 0) return rc;
  }
  return 0;
}

// Explicit descriptors are in no list of the connection: they are found in
// the descriptor table under its own lock and each is destroyed after that
// lock is left.
Desc *FindExplicitDesc(Conn *conn) {
  HandleTable *t = &g_odbc.descs;
  Desc *found = nullptr;
  HandleTable_Lock(t);
  for (uint32_t i = 0; i < t->capacity && !found; ++i) {
    if (t->entries[i].tag == 0) continue;
    auto *desc = static_cast<Desc *>(t->entries[i].object);
    if (desc->alloc == DESC_ALLOC_USER && desc->conn == conn) found = desc;
  }
  HandleTable_Unlock(t);
  return found;
}

}  // namespace

void ConnOpen(Conn *conn, char mode) {
  if (conn->state != CONN_ALLOCATED) {
    conn->pending = E_S1010;
    return;
  }
  conn->agentServer = 0;
  conn->agentConn = 0;
  conn->pending = E_08004;

  if (ORA_Register(&conn->drv) != 0 || conn->drv.table == nullptr) {
    OpenFailed(conn, "Unable to initialize driver");
    return;
  }
  ThreadSafeFlagSet(&conn->drv);

  DrvInitReq init{conn->serverOptions, conn->serverType};
  DrvHandle server = 0;
  if (DrvCall<&DrvOps::DRV_Init>(&conn->drv, &init, &server) != 0) {
    OpenFailed(conn, "Unable to allocate server handle");
    return;
  }
  conn->agentServer = server;

  if (mode == 'W') {
    const char *old = conn->serverOptions != nullptr ? conn->serverOptions : "";
    const size_t len = strlen(old);
    auto *marked = static_cast<char *>(malloc(len + 5));
    if (marked == nullptr) {
      ConnAddMsg(conn, "Unable to allocate memory", 0);
      ReleaseServer(conn);
      return;
    }
    memcpy(marked, kWideMarker, sizeof kWideMarker);
    memcpy(marked + sizeof kWideMarker, old, len + 1);
    free(conn->serverOptions);
    conn->serverOptions = marked;
  }
  conn->narrowOnly = 0;

  char hostBuf[256];
  ConnectReq req{};
  req.host = RequestHost(conn, hostBuf, sizeof hostBuf);
  req.serverOptions = conn->serverOptions;
  req.serverType = conn->serverType;
  req.dbPath = conn->dbPath;
  req.dataSource = conn->dsn != nullptr && *conn->dsn != '\0' ? conn->dsn : "Default";
  req.dbOptions = conn->dbOptions;
  req.readOnly = (conn->flags & CONNF_READ_ONLY) ? 1 : 0;
  req.user = conn->user != nullptr ? conn->user : "";
  req.password = conn->password != nullptr ? conn->password : "";
  req.loginTimeout = conn->loginTimeout != 0 ? 99 : 0;
  req.extra = conn->extra;
  req.reserved = 0;
  req.flag40 = (conn->flags & CONNF_0x40) ? 1 : 0;
  req.programName = conn->programName;

  DrvHandle agentConn = 0;
  int32_t code = DrvCall<&DrvOps::DRV_Connect>(&conn->drv, conn->agentServer, &req, &agentConn);
  // A connect that the agent completed with a warning is a connect.
  if (code == E_IM902 && agentConn != 0) code = 0;
  if (code != 0) {
    conn->pending = code;
    if (TraceIsOn()) TraceODBC("ConnOpen: %s", "Unable to allocate connection handle");
    conn->agentConn = agentConn;
    ConnGetMsgs(conn, nullptr);
    ConnGetSrvMsgs(conn);
    ReleaseServer(conn);
    return;
  }
  conn->agentConn = agentConn;
  // Warnings of the connect (a password about to expire) stay with the
  // connection: its own messages, then the server context's.
  ConnGetMsgs(conn, nullptr);
  ConnGetSrvMsgs(conn);

  if (mode == 'W') {
    int32_t wide = 0;
    if (GetInt(conn, INFO_WIDE, &wide) != 0 || wide != 1) conn->narrowOnly = 1;
  }

  conn->state = CONN_CONNECTED;
  conn->pending = 0;
  conn->typeTable.valid = 1;
  GetOpTable(conn, &conn->typeTable);

  ProbeCapabilities(conn);

  if (conn->flags & CONNF_DEFER_LONG) SetInt(conn, INFO_DEFER_LONG, 1);

  bool isolationTaken = false;
  if (conn->isolation != 0) isolationTaken = SetInt(conn, INFO_ISOLATION, conn->isolation) == 0;
  if (!isolationTaken) {
    int32_t level = 0;
    if (GetInt(conn, INFO_ISOLATION, &level) == 0 && level != 0) conn->isolation = level;
  }

  SetInt(conn, INFO_ODBC_VERSION, conn->env != nullptr ? conn->env->odbcVersion : SQL_OV_ODBC3);

  code = ApplyAskedOptions(conn);
  if (code != 0) {
    // The connection cannot run as the application asked: it is not handed
    // out at all.
    ConnGetMsgs(conn, nullptr);
    DrvCall<&DrvOps::DRV_Disconnect>(&conn->drv, conn->agentConn);
    ReleaseServer(conn);
    conn->typeTable.valid = 0;
    conn->state = CONN_ALLOCATED;
    conn->pending = code;
  }
}

int32_t GetOpTable(Conn *conn, ConnTypeTable *table) {
  table->table = OpTableReq{};
  table->table.kind = 1;
  int32_t code = DrvCall<&DrvOps::DRV_GetOpTable>(&conn->drv, conn->agentConn, &table->table);
  if (code != 0 || table->table.rows == nullptr) {
    table->valid = 0;
    if (TraceIsOn()) TraceODBC("GetOpTable failed for type %d", table->valid);
  }
  return code;
}

int ConnClose(Conn *conn) {
  int closeCode = 0;
  if (conn->state == CONN_CONNECTED) {
    while (Stmt *stmt = conn->statements) {
      StmtClose(stmt);
      StmtDelete(stmt);
    }
    if (conn->dtcDispenser != nullptr) {
      // While the coordinator still holds the dispenser, its transaction
      // has not ended and will still reach this connection: the close is
      // refused and the enlistment kept, so that nothing the dispenser uses
      // goes away under it.
      if (g_dtcService.dispenserHeld(conn->dtcDispenser)) return E_25000;
      g_dtcService.releaseDispenser(conn->dtcDispenser);
      conn->dtcDispenser = nullptr;
      conn->dtcEnlisted = 0;
    }
    int32_t code = DrvCall<&DrvOps::DRV_Disconnect>(&conn->drv, conn->agentConn);
    // 01002: disconnected, but the logoff failed; its texts wait on the
    // server context.
    if (code == E_01002) {
      ConnGetSrvMsgs(conn);
    } else if (code != 0) {
      ConnGetMsgs(conn, nullptr);
      return code;
    }
    DrvCall<&DrvOps::DRV_Term>(&conn->drv, conn->agentServer);
    conn->state = CONN_ALLOCATED;
    conn->agentServer = 0;
    conn->agentConn = 0;
    if (code == E_01002) closeCode = code;
  }
  FreeText(&conn->traceFile);
  conn->typeTable.valid = 0;
  while (Desc *desc = FindExplicitDesc(conn)) DescDelete(desc);
  ConnInfoCacheReset(conn);
  return closeCode;
}

SQLRETURN ConnTransact(Conn *conn, uint16_t type) {
  if (TraceIsOn()) TraceODBC("%s", type == SQL_COMMIT ? "[Commit]" : "[Rollback]");
  if (conn->state != CONN_CONNECTED) {
    conn->pending = E_08003;
    return SQL_ERROR;
  }
  int32_t code;
  if (type == SQL_COMMIT)
    code = DrvCall<&DrvOps::DRV_Commit>(&conn->drv, conn->agentConn);
  else if (type == SQL_ROLLBACK)
    code = DrvCall<&DrvOps::DRV_Rollback>(&conn->drv, conn->agentConn);
  else {
    conn->pending = E_S1012;
    return SQL_ERROR;
  }
  conn->pending = code;
  // 183: done, and a failover completed on the way (reported with it).
  if (code == E_IM500) return SQL_SUCCESS_WITH_INFO;
  if (code == E_IM902) {  // done, with the database's warning
    conn->pending = 0;
    ConnGetMsgs(conn, nullptr);
    return SQL_SUCCESS_WITH_INFO;
  }
  if (code != 0) {
    ConnGetMsgs(conn, nullptr);
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

SQLRETURN odbc_Transact_Dbc(void *object, const ApiArgs &args) {
  return ConnTransact(static_cast<Conn *>(object), args.u16(0));
}

SQLRETURN odbc_Transact_Env(void *object, const ApiArgs &args) {
  auto *env = static_cast<Envr *>(object);
  const uint16_t type = args.u16(0);
  if (EnvrHasBusyConn(env)) {
    env->pending = E_S1010;
    return SQL_ERROR;
  }
  SQLRETURN result = SQL_SUCCESS;
  for (Conn *conn = env->connections; conn != nullptr; conn = conn->next) {
    const int32_t saved = conn->pending;
    conn->pending = 0;
    if (ConnTransact(conn, type) == SQL_ERROR) {
      env->pending = conn->pending;
      result = SQL_ERROR;
    }
    conn->pending = saved;
  }
  return result;
}

SQLRETURN odbc_Disconnect(void *object, const ApiArgs &) {
  auto *conn = static_cast<Conn *>(object);
  if (conn->state != CONN_CONNECTED) {
    conn->pending = E_08003;
    return SQL_ERROR;
  }
  int code = ConnClose(conn);
  if (code == E_01002 && conn->state == CONN_ALLOCATED) {
    if (!conn->messages) conn->pending = code;
    return SQL_SUCCESS_WITH_INFO;
  }
  if (code != 0) {
    conn->pending = code;
    return SQL_ERROR;
  }
  return conn->state == CONN_ALLOCATED ? SQL_SUCCESS : SQL_ERROR;
}

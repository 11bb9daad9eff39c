// The agent's XA operations: an agent connection becomes a resource manager
// through Oracle's XA library (the switch xaosw). Open and close build the
// library's open and close strings for the connection and move it onto the
// library's session and back; the other verbs go to the library unchanged.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "oci.h"
#include "xa/xaw.h"

namespace {

// The library's switch, copied once: its whole record, whatever its size on
// this platform.
xa_switch_t g_switch;
std::once_flag g_switchOnce;

const xa_switch_t &Switch() {
  std::call_once(g_switchOnce, [] { std::memcpy(&g_switch, &xaosw, sizeof g_switch); });
  return g_switch;
}

std::string XaDbName(const AgentConn *conn) {
  char name[32];
  std::snprintf(name, sizeof name, "DB%p", static_cast<const void *>(conn));
  return name;
}

constexpr size_t kMaxOpenString = 256;

std::string OpenString(const AgentConn *conn, const char *info) {
  std::string s = "ORACLE_XA+Threads=true+SesTm=60+Acc=P/";
  // The connection keeps the user name, the password and the connect string
  // apart already (a user text "user/password@alias" was split at connect).
  s += conn->user ? conn->user : "";
  s += "/";
  s += conn->password ? conn->password : "";
  s += "+DB=" + XaDbName(conn);
  if (conn->dbString && *conn->dbString) {
    s += "+SQLNET=";
    s += conn->dbString;
  }
  if (info && *info) {
    if (*info != '+') s += "+";
    s += info;
  }
  return s;
}

}  // namespace

int32_t ORA_XaOpen(DrvHandle h, int32_t /*threaded*/, const char *info, int32_t rmid, int32_t flags) {
  AgentConn *conn = Agent_Conn(h);
  if (!conn) return XAER_INVAL;
  const xa_switch_t &sw = Switch();
  std::string open = OpenString(conn, info);
  if (open.size() >= kMaxOpenString) return XAER_INVAL;
  int rc = sw.xa_open_entry(open.data(), rmid, flags);
  if (rc != XA_OK) return rc;
  // The connection's worker keeps what the library says of itself
  // (TMREGISTER, TMNOMIGRATE, TMUSEASYNC).
  xaw_SetSwitchFlags(conn->xaWorker, static_cast<int32_t>(sw.flags));
  return DB_ConnectXA(conn) == 0 ? XA_OK : XAER_RMERR;
}

int32_t ORA_XaClose(DrvHandle h, const char *info, int32_t rmid, int32_t flags) {
  AgentConn *conn = Agent_Conn(h);
  if (!conn) return XAER_INVAL;
  std::string close = info ? std::string(info, strnlen(info, 255)) : std::string();
  close += "+DB=" + XaDbName(conn);
  int rc = Switch().xa_close_entry(close.data(), rmid, flags);
  if (rc != XA_OK) return rc;
  return DB_LeaveXA(conn, 1) == 0 ? XA_OK : XAER_RMERR;
}

int32_t ORA_XaCommit(DrvHandle, xid_t *xid, int32_t rmid, int32_t flags) {
  return Switch().xa_commit_entry(xid, rmid, flags);
}

int32_t ORA_XaComplete(DrvHandle, int32_t *handle, int32_t *retval, int32_t rmid, int32_t flags) {
  return Switch().xa_complete_entry(handle, retval, rmid, flags);
}

int32_t ORA_XaEnd(DrvHandle, xid_t *xid, int32_t rmid, int32_t flags) { return Switch().xa_end_entry(xid, rmid, flags); }

int32_t ORA_XaForget(DrvHandle, xid_t *xid, int32_t rmid, int32_t flags) {
  return Switch().xa_forget_entry(xid, rmid, flags);
}

int32_t ORA_XaPrepare(DrvHandle, xid_t *xid, int32_t rmid, int32_t flags) {
  return Switch().xa_prepare_entry(xid, rmid, flags);
}

int32_t ORA_XaRecover(DrvHandle, xid_t *xids, int32_t count, int32_t rmid, int32_t flags) {
  return Switch().xa_recover_entry(xids, count, rmid, flags);
}

int32_t ORA_XaRollback(DrvHandle, xid_t *xid, int32_t rmid, int32_t flags) {
  return Switch().xa_rollback_entry(xid, rmid, flags);
}

int32_t ORA_XaStart(DrvHandle, xid_t *xid, int32_t rmid, int32_t flags) {
  return Switch().xa_start_entry(xid, rmid, flags);
}

XaWorker **ORA_XaWorkerOfConn(DrvHandle h) {
  AgentConn *conn = Agent_Conn(h);
  return conn ? &conn->xaWorker : nullptr;
}

XaWorker **ORA_XaWorkerOfCursor(DrvHandle h) {
  AgentCursor *cur = Agent_Cursor(h);
  return cur && cur->conn ? &cur->conn->xaWorker : nullptr;
}

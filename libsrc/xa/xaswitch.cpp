// The exported XA switch, its connections and its per-thread contexts.
#include "xa/xaswitch.h"

#include <sqlext.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "xa.h"

#include "odbc/connattr.h"
#include "odbc/dispatch.h"
#include "odbc/drvops.h"
#include "odbc/objects.h"
#include "odbc/odbcinst.h"
#include "odbc/trace.h"
#include "xa/xaw.h"

namespace {

constexpr int kXaOk = 0;
constexpr int kXaerRmerr = -3;
constexpr int kXaerProto = -6;
constexpr size_t kInfoMax = 256;

}  // namespace

// ---- Names ---------------------------------------------------------------------------

const char *xa_code_name(int code) {
  switch (code) {
    case 0: return "XA_OK";
    case 3: return "XA_RDONLY";
    case 4: return "XA_RETRY";
    case 5: return "XA_HEURMIX";
    case 6: return "XA_HEURRB";
    case 7: return "XA_HEURCOM";
    case 8: return "XA_HEURHAZ";
    case 9: return "XA_NOMIGRATE";
    case 100: return "XA_RBROLLBACK";
    case 101: return "XA_RBCOMMFAIL";
    case 102: return "XA_RBDEADLOCK";
    case 103: return "XA_RBINTEGRITY";
    case 105: return "XA_RBPROTO";
    case 106: return "XA_RBTIMEOUT";
    case 107: return "XA_RBTRANSIENT";
    case -2: return "XAER_ASYNC";
    case -3: return "XAER_RMERR";
    case -4: return "XAER_NOTA";
    case -5: return "XAER_INVAL";
    case -6: return "XAER_PROTO";
    case -7: return "XAER_RMFAIL";
    case -8: return "XAER_DUPID";
    case -9: return "XAER_OUTSIDE";
    default: return "Unknown";
  }
}

// The front end's own parser reads the string, so a "DSN=" inside another
// item's value (a password, say) is never taken for the data source.
bool xa_info_dsn(const char *xaInfo, char out[256]) {
  out[0] = '\0';
  if (!xaInfo) return false;
  const char *pos = xaInfo;
  char *key = nullptr, *value = nullptr;
  bool quoted = false, found = false;
  while (!found && ConnStrNextItem(&pos, &key, &value, &quoted, nullptr)) {
    if (key && std::strcmp(key, "DSN") == 0) {
      std::string v = value ? value : "";
      while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
      if (v.size() > 255) v.resize(255);
      std::memcpy(out, v.c_str(), v.size() + 1);
      found = true;
    }
    std::free(key);
    std::free(value);
  }
  return found;
}

// The data source's "XaInfo" value: empty when missing; false when too long.
bool xa_dsn_xainfo(const char *dsn, char *out, size_t size) {
  out[0] = '\0';
  char buf[256] = {};
  int len = OdbcInstGetPrivateProfileString(dsn, "XaInfo", "", buf, sizeof buf, "odbc.ini");
  if (len < 0) len = 0;
  if (static_cast<size_t>(len) >= size || static_cast<size_t>(len) >= sizeof buf - 1) return false;
  std::memcpy(out, buf, static_cast<size_t>(len));
  out[len] = '\0';
  return true;
}

namespace {

// ---- The shared environment -------------------------------------------------------

std::mutex g_envLock;
SQLHENV g_env = nullptr;
int g_envUsers = 0;

bool xa_env_acquire() {
  std::lock_guard<std::mutex> g(g_envLock);
  ++g_envUsers;
  if (g_env) return true;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &g_env))) {
    g_env = nullptr;
    return false;
  }
  if (!SQL_SUCCEEDED(SQLSetEnvAttr(g_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    SQLFreeHandle(SQL_HANDLE_ENV, g_env);
    g_env = nullptr;
    return false;
  }
  return true;
}

void xa_env_release() {
  std::lock_guard<std::mutex> g(g_envLock);
  if (g_envUsers > 0 && --g_envUsers == 0 && g_env) {
    SQLFreeHandle(SQL_HANDLE_ENV, g_env);
    g_env = nullptr;
  }
}

// ---- Connections -----------------------------------------------------------------------

struct XaConn {
  SQLHDBC hdbc = nullptr;
  Conn *conn = nullptr;
  bool envHeld = false;

  bool Connect(const char *xaInfo) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, g_env, &hdbc))) {
      hdbc = nullptr;
      return false;
    }
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR *>(const_cast<char *>(xaInfo)), SQL_NTS,
                                    out, sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
      SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
      hdbc = nullptr;
      return false;
    }
    {
      HandleLockGuard lock;
      conn = static_cast<Conn *>(HandleTable_Lookup(&g_odbc.conns, HandleOf(hdbc)));
    }
    if (!conn) return false;
    if (!conn->cn_dtc) {
      TraceXA(0, "Agent does not support XA");
      return false;
    }
    return true;
  }

  // Disconnects and gives the environment back.
  void Release() {
    if (hdbc) {
      SQLDisconnect(hdbc);
      SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
      hdbc = nullptr;
      conn = nullptr;
    }
    if (envHeld) xa_env_release();
    envHeld = false;
  }
  DrvObject *Drv() const { return conn ? &conn->drv : nullptr; }
  uint32_t AgentHandle() const { return conn ? conn->agentConn : 0; }
};

// ---- Contexts ------------------------------------------------------------------------

// One open XA connection of a thread: one per (thread, rmid). The contexts
// live in one process-wide list, each with its thread's id, rather than in
// thread-local storage, whose destructors would keep the library from being
// unloaded.
struct XaContext {
  std::thread::id thread;
  int rmid;
  std::string xaInfo;     // whole: a close must match it exactly
  std::string agentInfo;  // the data source's XaInfo the agent was opened with
  XaConn conn;
};

std::mutex g_ctxLock;
std::vector<std::unique_ptr<XaContext>> g_contexts;  // oldest first

XaContext *XaContext_Find(int rmid, const char *xaInfo) {
  std::lock_guard<std::mutex> g(g_ctxLock);
  const auto me = std::this_thread::get_id();
  for (auto &c : g_contexts)
    if (c->thread == me && c->rmid == rmid && (!xaInfo || c->xaInfo == xaInfo)) return c.get();
  return nullptr;
}

// The thread's latest context.
XaContext *XaContext_Current() {
  std::lock_guard<std::mutex> g(g_ctxLock);
  const auto me = std::this_thread::get_id();
  for (auto it = g_contexts.rbegin(); it != g_contexts.rend(); ++it)
    if ((*it)->thread == me) return it->get();
  return nullptr;
}

void XaContext_Add(std::unique_ptr<XaContext> ctx) {
  std::lock_guard<std::mutex> g(g_ctxLock);
  ctx->thread = std::this_thread::get_id();
  g_contexts.push_back(std::move(ctx));
}

void XaContext_Release(XaContext *ctx) {
  std::lock_guard<std::mutex> g(g_ctxLock);
  for (auto it = g_contexts.begin(); it != g_contexts.end(); ++it) {
    if (it->get() == ctx) {
      g_contexts.erase(it);
      return;
    }
  }
}

int Result(int rc) {
  TraceXA(1, "Call returned: %s(%d)", xa_code_name(rc), rc);
  return rc;
}

// ---- Switch entries ----------------------------------------------------------------------

int xa_switch_open(char *xaInfo, int rmid, long flags) {
  char dsn[256];
  if (!xa_info_dsn(xaInfo, dsn)) {
    TraceXA(1, "xa_switch_open(***, %d, %lX)", rmid, flags);
    TraceXA(1, "xa_switch_open: invalid xaInfo string format");
    return Result(kXaerRmerr);
  }
  TraceXA(1, "xa_switch_open(%s, %d, %lX)", dsn, rmid, flags);
  if (XaContext *old = XaContext_Find(rmid, nullptr))
    return Result(old->xaInfo == xaInfo ? kXaOk : kXaerProto);
  auto ctx = std::make_unique<XaContext>();
  ctx->rmid = rmid;
  ctx->xaInfo = xaInfo;
  ctx->conn.envHeld = true;
  if (!xa_env_acquire()) {
    ctx->conn.Release();
    return Result(kXaerRmerr);
  }
  char agentInfo[kInfoMax];
  if (!ctx->conn.Connect(xaInfo) || !xa_dsn_xainfo(dsn, agentInfo, sizeof agentInfo)) {
    ctx->conn.Release();
    return Result(kXaerRmerr);
  }
  ctx->agentInfo = agentInfo;
  int rc = DrvCall<&DrvOps::DRV_XaOpen>(ctx->conn.Drv(), ctx->conn.AgentHandle(), 1, agentInfo, rmid,
                                       static_cast<int32_t>(flags));
  if (rc != kXaOk) {
    ctx->conn.Release();
    return Result(rc);
  }
  XaContext_Add(std::move(ctx));
  return Result(kXaOk);
}

int xa_switch_close(char *xaInfo, int rmid, long flags) {
  char dsn[256];
  if (!xa_info_dsn(xaInfo, dsn)) {
    TraceXA(1, "xa_switch_close(***, %d, %lX)", rmid, flags);
    TraceXA(1, "xa_switch_close: invalid xaInfo string format");
    return Result(kXaerRmerr);
  }
  TraceXA(1, "xa_switch_close(%s, %d, %lX)", dsn, rmid, flags);
  XaContext *ctx = XaContext_Find(rmid, xaInfo);
  if (!ctx || !ctx->conn.conn) return Result(kXaerRmerr);
  // The agent gets the string it was opened with, never the caller's, which
  // may carry a password.
  int rc = DrvCall<&DrvOps::DRV_XaClose>(ctx->conn.Drv(), ctx->conn.AgentHandle(), ctx->agentInfo.c_str(), rmid,
                                        static_cast<int32_t>(flags));
  ctx->conn.Release();
  XaContext_Release(ctx);
  return Result(rc);
}

// Runs a call on the calling thread's connection of rmid; XAER_RMERR when
// the thread has opened none.
template <class F>
int Verb(int rmid, F &&call) {
  XaContext *ctx = XaContext_Find(rmid, nullptr);
  return Result(ctx && ctx->conn.conn ? call(ctx->conn) : kXaerRmerr);
}

// A verb on one branch: traced by its name, then the agent's slot.
template <auto Slot>
int XidVerb(const char *name, XID *xid, int rmid, long flags) {
  TraceXA(1, "%s(%p, %d, %lX)", name, static_cast<void *>(xid), rmid, flags);
  return Verb(rmid, [&](XaConn &c) {
    return DrvCall<Slot>(c.Drv(), c.AgentHandle(), xid, rmid, static_cast<int32_t>(flags));
  });
}

int xa_switch_start(XID *xid, int rmid, long flags) {
  return XidVerb<&DrvOps::DRV_XaStart>("xa_switch_start", xid, rmid, flags);
}
int xa_switch_end(XID *xid, int rmid, long flags) {
  return XidVerb<&DrvOps::DRV_XaEnd>("xa_switch_end", xid, rmid, flags);
}
int xa_switch_rollback(XID *xid, int rmid, long flags) {
  return XidVerb<&DrvOps::DRV_XaRollback>("xa_switch_rollback", xid, rmid, flags);
}
int xa_switch_prepare(XID *xid, int rmid, long flags) {
  return XidVerb<&DrvOps::DRV_XaPrepare>("xa_switch_prepare", xid, rmid, flags);
}
int xa_switch_commit(XID *xid, int rmid, long flags) {
  return XidVerb<&DrvOps::DRV_XaCommit>("xa_switch_commit", xid, rmid, flags);
}
int xa_switch_forget(XID *xid, int rmid, long flags) {
  return XidVerb<&DrvOps::DRV_XaForget>("xa_switch_forget", xid, rmid, flags);
}
int xa_switch_recover(XID *xids, long count, int rmid, long flags) {
  TraceXA(1, "xa_switch_recover(%p, %ld, %d, %lX)", static_cast<void *>(xids), count, rmid, flags);
  return Verb(rmid, [&](XaConn &c) {
    return DrvCall<&DrvOps::DRV_XaRecover>(c.Drv(), c.AgentHandle(), xids, static_cast<int32_t>(count), rmid,
                                           static_cast<int32_t>(flags));
  });
}
int xa_switch_complete(int *handle, int *retval, int rmid, long flags) {
  TraceXA(1, "xa_switch_complete(%d,, %d, %lX)", handle ? *handle : 0, rmid, flags);
  return Verb(rmid, [&](XaConn &c) {
    int32_t h = handle ? *handle : 0;
    int32_t result = 0;
    int rc = DrvCall<&DrvOps::DRV_XaComplete>(c.Drv(), c.AgentHandle(), &h, &result, rmid,
                                              static_cast<int32_t>(flags));
    if (retval) *retval = result;
    return rc;
  });
}

// ---- The record ----------------------------------------------------------------------------

xa_switch_t g_switch;
std::once_flag g_fillOnce;
std::atomic<bool> g_started{false};

void xa_switch_fill() {
  std::memset(&g_switch, 0, sizeof g_switch);
  std::strncpy(g_switch.name, "ZEZUZERU", sizeof g_switch.name - 1);
  g_switch.flags = TMNOFLAGS;
  g_switch.version = 0;
  g_switch.xa_open_entry = xa_switch_open;
  g_switch.xa_close_entry = xa_switch_close;
  g_switch.xa_start_entry = xa_switch_start;
  g_switch.xa_end_entry = xa_switch_end;
  g_switch.xa_rollback_entry = xa_switch_rollback;
  g_switch.xa_prepare_entry = xa_switch_prepare;
  g_switch.xa_commit_entry = xa_switch_commit;
  g_switch.xa_recover_entry = xa_switch_recover;
  g_switch.xa_forget_entry = xa_switch_forget;
  g_switch.xa_complete_entry = xa_switch_complete;
}

SQLRETURN GetHandle(const char *what, void **out, void *(*pick)(XaContext *)) {
  TraceXA(1, "%s(%p)", what, static_cast<void *>(out));
  if (!out) return SQL_ERROR;
  *out = nullptr;
  XaContext *ctx = XaContext_Current();
  if (!ctx || !ctx->conn.conn) {
    TraceXA(1, "Call returned: %s(%d)", xa_code_name(-1), -1);
    return SQL_ERROR;
  }
  *out = pick(ctx);
  TraceXA(1, "Call returned: %s(%d)", "XA_OK", 0);
  return SQL_SUCCESS;
}

}  // namespace

int xa_switch_init() {
  static std::once_flag once;
  std::call_once(once, [] {
    TraceOpen(TRACE_XA);
    std::call_once(g_fillOnce, xa_switch_fill);
    g_started.store(true);
  });
  return 0;
}

xa_switch_t *xa_switch_record() {
  xa_switch_init();
  return &g_switch;
}

void xa_switch_term() {
  if (!g_started.exchange(false)) return;
  TraceXA(0, "** normal end **");
  TraceClose(TRACE_XA);
  xaw_Term();
}

SQLRETURN xa_get_env(SQLHENV *out) {
  return GetHandle("SQLGetXaEnv", reinterpret_cast<void **>(out), [](XaContext *) -> void * {
    std::lock_guard<std::mutex> g(g_envLock);
    return g_env;
  });
}

SQLRETURN xa_get_connect(SQLHDBC *out) {
  return GetHandle("SQLGetXaConnect", reinterpret_cast<void **>(out),
                   [](XaContext *ctx) -> void * { return ctx->conn.hdbc; });
}

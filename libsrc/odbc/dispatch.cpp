// CallODBC, the ODBC layer's start and end, and SQLCancel.
#include "odbc/dispatch.h"

#include <sqlext.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "odbc/conn.h"
#include "odbc/envr.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"

constinit OdbcLayer g_odbc{};

namespace {

constexpr size_t kTraceArgMax = 250;

// The busy slot is tested and filled under the handle-table lock; emptying
// it after the call is one store made without that lock, so every access
// is atomic (SQLCancel from another thread reads it while a call ends).
void *BusyGet(Conn *conn) { return std::atomic_ref<void *>(conn->busy).load(std::memory_order_acquire); }
void BusySet(Conn *conn, void *obj) { std::atomic_ref<void *>(conn->busy).store(obj, std::memory_order_release); }
void BusyClear(Conn *conn) { BusySet(conn, nullptr); }

void ClearDiag(DiagMsg **messages, int32_t *pending) {
  MsgListFree(*messages);
  *messages = nullptr;
  *pending = 0;
}

// The connection's call lock, then the serialisation lock while the agent
// has not been found thread-safe; released in reverse order. The decision to
// take the serialisation lock is made once, from the flag before the call.
struct CallLocks {
  Conn *conn;
  bool serial;
  CallLocks(Conn *c, bool threadSafe) : conn(c), serial(!threadSafe) {
    conn->callLock.Wait();
    if (serial) g_odbc.serialLock.Enter();
  }
  ~CallLocks() {
    if (serial) g_odbc.serialLock.Leave();
    conn->callLock.Release();
  }
};

void TraceCall(const ApiRecord *rec, const char *handleName, const uint64_t *slots, int count) {
  unsigned long tid = TraceThreadId();
  if (handleName)
    TraceODBC("\n[%lX] SQL%s %s=%lX", tid, rec->name, handleName, static_cast<unsigned long>(static_cast<uint32_t>(slots[0])));
  else
    TraceODBC("\n[%lX] SQL%s", tid, rec->name);
  if (rec->traceFormat && rec->traceFormat[0]) {
    char line[kTraceArgMax + 1];
    int skip = handleName ? 1 : 0;
    FormatTraceArgs(rec->traceFormat, slots + skip, count - skip, line, sizeof line);
    TraceODBC("%s", line);
  }
}

// Which failover code a message list carries: 183 when a text contains the
// message of that row, else 184 likewise, else 0; each text is tested for
// 183 first.
int32_t FailoverCodeInMessages(const DiagMsg *msg) {
  const char *done = SqlStateTable[E_IM500].message;
  const char *aborted = SqlStateTable[E_IM501].message;
  for (; msg; msg = msg->next) {
    if (!msg->text) continue;
    if (strstr(msg->text, done)) return E_IM500;
    if (strstr(msg->text, aborted)) return E_IM501;
  }
  return 0;
}

SQLRETURN CallEnv(const ApiRecord *rec, const uint64_t *slots, int count) {
  HandleLockGuard lock;
  auto *env = static_cast<Envr *>(HandleTable_Lookup(&g_odbc.envs, static_cast<HandleValue>(slots[0])));
  if (!env || env->magic != MAGIC_ENVR) return SQL_INVALID_HANDLE;
  if (rec->clearsDiag) ClearDiag(&env->messages, &env->pending);
  return rec->impl(env, ApiArgs{slots + 1, count - 1});
}

SQLRETURN CallConn(const ApiRecord *rec, const uint64_t *slots, int count) {
  Conn *conn;
  bool threadSafe;
  {
    HandleLockGuard lock;
    conn = static_cast<Conn *>(HandleTable_Lookup(&g_odbc.conns, static_cast<HandleValue>(slots[0])));
    if (!conn || conn->magic != MAGIC_CONN) return SQL_INVALID_HANDLE;
    if (BusyGet(conn)) {
      conn->pending = E_S1010;
      return SQL_ERROR;
    }
    BusySet(conn, conn);
    threadSafe = g_odbc.threadSafe.load(std::memory_order_relaxed) != 0;
  }
  if (rec->clearsDiag) ClearDiag(&conn->messages, &conn->pending);
  SQLRETURN rc;
  {
    CallLocks locks(conn, threadSafe);
    rc = rec->impl(conn, ApiArgs{slots + 1, count - 1});
  }
  if (conn->magic == MAGIC_DEAD) {
    // The call freed its own connection: it is unregistered and no other
    // call can reach it any more; only its call lock and memory are left.
    ConnRelease(conn);
    return rc;
  }
  if ((rc != SQL_SUCCESS || conn->pending == E_IM500) && conn->failoverCallback && rec->clearsDiag)
    rc = FailoverNotify(conn, HK_DBC, rc);
  BusyClear(conn);
  return rc;
}

// Statement and descriptor calls: the busy slot of the owning connection
// decides; the same object already in it means the application called again
// while its first call runs.
template <class Obj>
SQLRETURN CallChild(const ApiRecord *rec, const uint64_t *slots, int count, HandleTable *table, int32_t magic) {
  Obj *obj;
  Conn *conn;
  bool threadSafe;
  {
    HandleLockGuard lock;
    obj = static_cast<Obj *>(HandleTable_Lookup(table, static_cast<HandleValue>(slots[0])));
    if (!obj || obj->magic != magic) return SQL_INVALID_HANDLE;
    if constexpr (std::is_same_v<Obj, Stmt>)
      conn = obj->conn;
    else
      conn = DescConn(obj);
    void *busy = BusyGet(conn);
    if (busy == obj) return SQL_STILL_EXECUTING;
    if (busy) {
      obj->pending = E_S1010;
      return SQL_ERROR;
    }
    BusySet(conn, obj);
    threadSafe = g_odbc.threadSafe.load(std::memory_order_relaxed) != 0;
  }
  if (rec->clearsDiag) ClearDiag(&obj->messages, &obj->pending);
  SQLRETURN rc;
  {
    CallLocks locks(conn, threadSafe);
    rc = rec->impl(obj, ApiArgs{slots + 1, count - 1});
  }
  // A success may carry 183 (a failover completed on the way) pending. The
  // call may have freed its object: it is read only while still registered.
  bool failedOver = false;
  if (rc == SQL_SUCCESS && conn->failoverCallback && rec->clearsDiag) {
    HandleLockGuard lock;
    failedOver = HandleTable_Lookup(table, static_cast<HandleValue>(slots[0])) == obj && obj->pending == E_IM500;
  }
  if ((rc != SQL_SUCCESS || failedOver) && conn->failoverCallback && rec->clearsDiag)
    rc = FailoverNotify(conn, std::is_same_v<Obj, Stmt> ? HK_STMT : HK_DESC, rc);
  BusyClear(conn);
  return rc;
}

}  // namespace

// ---------------------------------------------------------------------------

SQLRETURN CallODBCBlock(const ApiRecord *rec, const uint64_t *slots, int count) {
  if (!g_odbc.initialised.load(std::memory_order_acquire)) return SQL_ERROR;
  const bool tracing = TraceIsOn();
  SQLRETURN rc;
  switch (rec->kind) {
    case HK_NONE: {
      if (tracing) TraceCall(rec, nullptr, slots, count);
      HandleLockGuard lock;
      rc = rec->impl(nullptr, ApiArgs{slots, count});
      break;
    }
    case HK_ENV:
      if (tracing) TraceCall(rec, "hEnv", slots, count);
      rc = CallEnv(rec, slots, count);
      break;
    case HK_DBC:
      if (tracing) TraceCall(rec, "hDbc", slots, count);
      rc = CallConn(rec, slots, count);
      break;
    case HK_STMT:
      if (tracing) TraceCall(rec, "hStmt", slots, count);
      rc = CallChild<Stmt>(rec, slots, count, &g_odbc.stmts, MAGIC_STMT);
      break;
    case HK_DESC:
      if (tracing) TraceCall(rec, "hDesc", slots, count);
      rc = CallChild<Desc>(rec, slots, count, &g_odbc.descs, MAGIC_DESC);
      break;
    default:
      if (tracing) TraceODBC("CallODBC: internal error");
      return SQL_ERROR;
  }
  if (tracing) TraceODBC("[%lX] SQL%s: returning SQL_%s", TraceThreadId(), rec->name, ReturnCodeName(rc));
  return rc;
}

SQLRETURN FailoverNotify(Conn *conn, int32_t kind, SQLRETURN result) {
  if (!conn->failoverCallback) return result;
  int32_t pending;
  const DiagMsg *messages;
  switch (kind) {
    case HK_DBC:
      pending = conn->pending;
      messages = conn->messages;
      break;
    case HK_STMT: {
      auto *stmt = static_cast<Stmt *>(BusyGet(conn));
      if (!stmt) return result;
      pending = stmt->pending;
      messages = stmt->messages;
      break;
    }
    case HK_DESC: {
      auto *desc = static_cast<Desc *>(BusyGet(conn));
      if (!desc) return result;
      pending = desc->pending;
      messages = desc->messages;
      break;
    }
    default:
      return result;
  }
  int event = 0;
  if (pending == E_IM500) {
    event = 16;
    result = SQL_SUCCESS_WITH_INFO;
  } else if (pending == E_IM501) {
    event = 17;
    result = SQL_ERROR;
  } else {
    // The texts are searched once, also when the list holds one message:
    // a failover reported only in a text must still reach the application.
    switch (FailoverCodeInMessages(messages)) {
      case E_IM500:
        event = 16;
        result = SQL_ERROR;
        break;
      case E_IM501:
        event = 17;
        result = SQL_ERROR;
        break;
      default:
        break;
    }
  }
  if (event) conn->failoverCallback(event, conn->failoverContext, 0);
  return result;
}

void ConnRelease(Conn *conn) {
  conn->callLock.Close();
  free(conn);
}

// ---------------------------------------------------------------------------

bool OdbcLayerIsInitialised() { return g_odbc.initialised.load(std::memory_order_acquire) != 0; }

int OdbcLayerInit() {
  if (g_odbc.initialised.load()) return 0;
  if (g_odbc.retained) {
    // A previous end left its locks and tables to a call that was still
    // running; they are intact, so the layer simply resumes.
    g_odbc.retained = 0;
    g_odbc.initialised.store(1, std::memory_order_release);
    return 0;
  }
  g_odbc.handleLock.Init();
  g_odbc.connectLock.Init();
  g_odbc.serialLock.Init();
  HandleTable *tables[] = {&g_odbc.envs, &g_odbc.conns, &g_odbc.stmts, &g_odbc.descs};
  const uint16_t tags[] = {TAG_ENVR, TAG_CONN, TAG_STMT, TAG_DESC};
  for (int i = 0; i < 4; ++i) {
    if (HandleTable_Init(tables[i], tags[i]) != 0) {
      for (int j = 0; j < i; ++j) HandleTable_Destroy(tables[j]);
      g_odbc.handleLock.Delete();
      g_odbc.connectLock.Delete();
      g_odbc.serialLock.Delete();
      return -1;
    }
  }
  for (HandleTable *t : tables) HandleTable_EnableLocking(t);
  g_envrList = EnvrList{};
  g_odbc.initialised.store(1, std::memory_order_release);
  return 0;
}

int OdbcLayerTerm() {
  if (!g_odbc.initialised.load()) return 0;
  g_odbc.handleLock.Enter();
  bool busyLeft = false;
  while (Envr *env = g_envrList.first) {
    if (EnvrHasBusyConn(env)) {
      busyLeft = true;
      break;
    }
    EnvrCloseConns(env);
    EnvrDelete(env);
  }
  g_odbc.initialised.store(0, std::memory_order_release);
  if (busyLeft) {
    // A call still runs on another thread and will take the handle-table
    // lock and its call lock when it ends: leave every lock and table in
    // place rather than pull them from under it.
    g_odbc.retained = 1;
    g_odbc.handleLock.Leave();
    return 0;
  }
  g_odbc.handleLock.Leave();
  g_odbc.handleLock.Delete();
  g_odbc.connectLock.Delete();
  g_odbc.serialLock.Delete();
  HandleTable_Destroy(&g_odbc.stmts);
  HandleTable_Destroy(&g_odbc.conns);
  HandleTable_Destroy(&g_odbc.envs);
  HandleTable_Destroy(&g_odbc.descs);
  return 0;
}

void ThreadSafeFlagSet(const DrvObject *drv) {
  HandleLockGuard lock;
  if (g_odbc.threadSafeSet) return;
  g_odbc.threadSafe.store(drv ? (drv->flags & DRVOBJ_THREADSAFE) : 0);
  g_odbc.threadSafeSet = 1;
}

// ---------------------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT hstmt) {
  if (!OdbcLayerIsInitialised()) return SQL_ERROR;
  const bool tracing = TraceIsOn();
  if (tracing) TraceODBC("\nSQLCancel hStmt=%lX", static_cast<unsigned long>(HandleOf(hstmt)));
  SQLRETURN rc;
  {
    HandleLockGuard lock;
    auto *stmt = static_cast<Stmt *>(HandleTable_Lookup(&g_odbc.stmts, HandleOf(hstmt)));
    if (!stmt || stmt->magic != MAGIC_STMT) {
      if (tracing) TraceODBC("SQLCancel: returning SQL_INVALID_HANDLE");
      return SQL_INVALID_HANDLE;
    }
    Conn *conn = stmt->conn;
    void *busy = BusyGet(conn);
    if (busy == stmt) {
      // Its call runs on another thread: only the agent can stop it.
      rc = SQL_SUCCESS;
      if (StmtStateLoad(stmt) == STMT_PREPARED) {
        int32_t code = DrvCall<&DrvOps::DRV_Cancel>(stmt->drv, stmt->agentCursor);
        if (code != 0) {
          stmt->pending = code;
          rc = SQL_ERROR;
        }
      }
      StmtDaeStore(stmt, 0);
      if (tracing) TraceODBC("SQLCancel: returning %d", rc);
      return rc;
    }
    if (busy) {
      // Another object of the connection is in a call: closing this cursor
      // would be a second agent call on the connection at the same time.
      // Nothing of this statement runs, so there is nothing to cancel.
      if (tracing) TraceODBC("SQLCancel: returning SQL_SUCCESS");
      return SQL_SUCCESS;
    }
    StmtDaeStore(stmt, 0);
    StmtClose(stmt);
    stmt->pending = E_01S05;
  }
  if (tracing) TraceODBC("SQLCancel: returning SQL_SUCCESS_WITH_INFO");
  return SQL_SUCCESS_WITH_INFO;
}

// ---------------------------------------------------------------------------

const char *ReturnCodeName(SQLRETURN rc) {
  switch (rc) {
    case SQL_SUCCESS:
      return "SUCCESS";
    case SQL_SUCCESS_WITH_INFO:
      return "SUCCESS_WITH_INFO";
    case SQL_STILL_EXECUTING:
      return "STILL_EXECUTING";
    case SQL_NEED_DATA:
      return "NEED_DATA";
    case SQL_NO_DATA:
      return "NO_DATA_FOUND";
    case SQL_INVALID_HANDLE:
      return "INVALID_HANDLE";
    case SQL_ERROR:
      return "ERROR";
    default:
      return "UNKNOWN_ERROR";
  }
}

void FormatTraceArgs(const char *format, const uint64_t *slots, int count, char *out, size_t size) {
  if (size == 0) return;
  size_t used = 0;
  int next = 0;
  out[0] = '\0';
  auto append = [&](const char *text, size_t n) {
    if (used + 1 >= size) return;
    size_t room = size - 1 - used;
    if (n > room) n = room;
    memcpy(out + used, text, n);
    used += n;
    out[used] = '\0';
  };
  const char *p = format;
  while (*p && used + 1 < size) {
    if (*p != '%') {
      const char *q = strchr(p, '%');
      size_t n = q ? static_cast<size_t>(q - p) : strlen(p);
      append(p, n);
      p += n;
      continue;
    }
    if (p[1] == '%') {
      append("%", 1);
      p += 2;
      continue;
    }
    // One conversion: flags, width, precision, length, specifier.
    const char *start = p++;
    while (*p && strchr("-+ #0", *p)) ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
      ++p;
      while (*p >= '0' && *p <= '9') ++p;
    }
    int longs = 0;
    while (*p == 'l' || *p == 'h' || *p == 'z' || *p == 'j') {
      if (*p == 'l') ++longs;
      ++p;
    }
    char spec = *p;
    if (!spec) break;
    ++p;
    // Rebuild the conversion with a 64-bit length so that every slot is
    // read in full and in a defined way.
    char conv[32];
    size_t headLen = 1;
    while (start[headLen] && strchr("-+ #0123456789.", start[headLen])) ++headLen;
    if (headLen > 20) headLen = 20;
    memcpy(conv, start, headLen);
    uint64_t v = next < count ? slots[next] : 0;
    ++next;
    char piece[64];
    int n = 0;
    switch (spec) {
      case 'd':
      case 'i': {
        // %d reads a 32-bit int, %ld the whole slot.
        int64_t sv = longs ? static_cast<int64_t>(v) : static_cast<int64_t>(static_cast<int32_t>(v));
        memcpy(conv + headLen, "lld", 4);
        n = snprintf(piece, sizeof piece, conv, static_cast<long long>(sv));
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        uint64_t uv = longs ? v : static_cast<uint64_t>(static_cast<uint32_t>(v));
        conv[headLen] = 'l';
        conv[headLen + 1] = 'l';
        conv[headLen + 2] = spec;
        conv[headLen + 3] = '\0';
        n = snprintf(piece, sizeof piece, conv, static_cast<unsigned long long>(uv));
        break;
      }
      case 'p':
        conv[headLen] = 'p';
        conv[headLen + 1] = '\0';
        n = snprintf(piece, sizeof piece, conv, reinterpret_cast<void *>(static_cast<uintptr_t>(v)));
        break;
      default:
        // Nothing else appears in the records' formats; show the raw slot.
        n = snprintf(piece, sizeof piece, "%" PRIX64, v);
        break;
    }
    if (n > 0) append(piece, static_cast<size_t>(n) < sizeof piece ? static_cast<size_t>(n) : sizeof piece - 1);
  }
}

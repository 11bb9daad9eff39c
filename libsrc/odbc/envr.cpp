// Environments, handle allocation and freeing, environment attributes.
#include "odbc/envr.h"

#include <sqlext.h>

#include <atomic>
#include <cstdlib>

#include "odbc/conn.h"
#include "odbc/desc.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"

constinit EnvrList g_envrList{};

namespace {

constexpr int32_t kAttrUnknown1056 = 1056;  // answered with the constant 2

// The environment attributes kept in the environment: the field and the
// values a set takes (others are ignored without an error).
struct EnvAttr {
  int32_t attr;
  int32_t Envr::*field;
  int32_t lowest, highest;
};

constexpr EnvAttr kEnvAttrs[] = {
    {SQL_ATTR_ODBC_VERSION, &Envr::odbcVersion, SQL_OV_ODBC2, SQL_OV_ODBC3},
    {SQL_ATTR_CONNECTION_POOLING, &Envr::connPooling, 0, 2},
    {SQL_ATTR_CP_MATCH, &Envr::cpMatch, 0, 1},
    {SQL_ATTR_OUTPUT_NTS, &Envr::outputNts, 0, 1},
};

const EnvAttr *FindEnvAttr(int32_t attr) {
  for (const EnvAttr &a : kEnvAttrs)
    if (a.attr == attr) return &a;
  return nullptr;
}

// The output handle slot receives the 32-bit value zero-extended.
void PutHandle(void *out, HandleValue h) {
  *static_cast<SQLHANDLE *>(out) = reinterpret_cast<SQLHANDLE>(static_cast<uintptr_t>(h));
}

// Registers a new object in its handle table and hands its handle out.
// Returns 0, or the table's code; the caller then discards the object.
template <class T>
int Publish(HandleTable *table, T *obj, void *out) {
  HandleValue h;
  if (int code = HandleTable_Add(table, &h, obj)) return code;
  obj->handle = h;
  PutHandle(out, h);
  return 0;
}

SQLRETURN AllocEnvCommon(const ApiArgs &args, int32_t version) {
  void *out = args.ptr(0);
  if (!out) return SQL_ERROR;
  PutHandle(out, 0);
  Envr *env = EnvrNew();
  if (!env) return SQL_ERROR;
  env->odbcVersion = version;
  EnvrOpen(env);
  if (Publish(&g_odbc.envs, env, out) != 0) {
    // No object is left to carry a diagnostic.
    EnvrDelete(env);
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

// The start of a statement or descriptor allocation: the output slot must
// be there (it holds zero until the handle is known) and the connection open.
bool ConnChildAllowed(Conn *conn, void *out) {
  if (!out) {
    conn->pending = E_S1009;
    return false;
  }
  PutHandle(out, 0);
  if (conn->state != CONN_CONNECTED) {
    conn->pending = E_08003;
    return false;
  }
  return true;
}

SQLRETURN AllocConnCommon(Envr *env, const ApiArgs &args) {
  void *out = args.ptr(0);
  if (!out) {
    env->pending = E_S1009;
    return SQL_ERROR;
  }
  PutHandle(out, 0);
  Conn *conn = ConnNew(env);
  if (!conn) return SQL_ERROR;
  if (int code = Publish(&g_odbc.conns, conn, out)) {
    ConnClose(conn);
    ConnDelete(conn);
    ConnRelease(conn);
    env->pending = code;
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

SQLRETURN AllocStmtCommon(Conn *conn, const ApiArgs &args) {
  void *out = args.ptr(0);
  if (!ConnChildAllowed(conn, out)) return SQL_ERROR;
  Stmt *stmt = StmtNew(conn);
  if (!stmt) return SQL_ERROR;
  if (int code = Publish(&g_odbc.stmts, stmt, out)) {
    StmtDelete(stmt);
    conn->pending = code;
    return SQL_ERROR;
  }
  return conn->pending == E_IM500 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN FreeEnvCommon(Envr *env) {
  if (EnvrHasBusyConn(env)) {
    env->pending = E_S1010;
    return SQL_ERROR;
  }
  EnvrCloseConns(env);
  EnvrDelete(env);
  return SQL_SUCCESS;
}

SQLRETURN FreeConnCommon(Conn *conn) {
  int code = ConnClose(conn);
  if (code != 0 && !(code == E_01002 && conn->state != CONN_CONNECTED)) {
    conn->pending = code;
    return SQL_ERROR;
  }
  // The dispatcher leaves the call lock and frees the memory after the call.
  HandleLockGuard lock;
  ConnDelete(conn);
  return SQL_SUCCESS;
}

SQLRETURN PendingResult(const Stmt *stmt) {
  if (stmt->pending == E_IM500) return SQL_SUCCESS_WITH_INFO;
  return stmt->pending ? SQL_ERROR : SQL_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------------------

Envr *EnvrNew() {
  auto *env = static_cast<Envr *>(calloc(1, sizeof(Envr)));
  if (!env) return nullptr;
  env->magic = MAGIC_ENVR;
  env->state = ENVR_ALLOCATED;
  env->odbcVersion = SQL_OV_ODBC2;
  env->outputNts = 1;
  env->id = ++g_envrList.counter;
  env->next = g_envrList.first;
  g_envrList.first = env;
  return env;
}

void EnvrOpen(Envr *env) {
  if (env->state == ENVR_ALLOCATED) env->state = ENVR_OPEN;
}

void EnvrCloseConns(Envr *env) {
  if (env->state != ENVR_OPEN) return;
  while (Conn *conn = env->connections) {
    ConnClose(conn);
    ConnDelete(conn);
    ConnRelease(conn);
  }
  env->state = ENVR_ALLOCATED;
}

void EnvrDelete(Envr *env) {
  for (Envr **p = &g_envrList.first; *p; p = &(*p)->next) {
    if (*p == env) {
      *p = env->next;
      break;
    }
  }
  MsgListFree(env->messages);
  env->messages = nullptr;
  env->magic = MAGIC_DEAD;
  env->state = 0;
  HandleTable_Remove(&g_odbc.envs, env->handle);
  free(env);
}

char *EnvrGetMsg(Envr *env, int32_t *native) { return MsgListPop(&env->messages, native); }

bool EnvrHasBusyConn(const Envr *env) {
  // A call ending on another thread clears its slot without the lock held
  // here, so the slot is read the way the dispatcher writes it.
  for (Conn *c = env->connections; c; c = c->next)
    if (std::atomic_ref<void *>(c->busy).load(std::memory_order_acquire)) return true;
  return false;
}

// ---------------------------------------------------------------------------

SQLRETURN odbc_AllocHandle_Env(void *, const ApiArgs &args) { return AllocEnvCommon(args, SQL_OV_ODBC3); }
SQLRETURN odbc_AllocEnv(void *, const ApiArgs &args) { return AllocEnvCommon(args, SQL_OV_ODBC2); }

SQLRETURN odbc_AllocHandle_Dbc(void *object, const ApiArgs &args) {
  return AllocConnCommon(static_cast<Envr *>(object), args);
}
SQLRETURN odbc_AllocConnect(void *object, const ApiArgs &args) {
  return AllocConnCommon(static_cast<Envr *>(object), args);
}

SQLRETURN odbc_AllocHandle_Stmt(void *object, const ApiArgs &args) {
  return AllocStmtCommon(static_cast<Conn *>(object), args);
}
SQLRETURN odbc_AllocStmt(void *object, const ApiArgs &args) {
  return AllocStmtCommon(static_cast<Conn *>(object), args);
}

SQLRETURN odbc_AllocHandle_Desc(void *object, const ApiArgs &args) {
  auto *conn = static_cast<Conn *>(object);
  void *out = args.ptr(0);
  if (!ConnChildAllowed(conn, out)) return SQL_ERROR;
  Desc *desc = DescNew(DESC_EXPLICIT_KIND, DESC_ALLOC_USER, nullptr, conn);
  if (!desc) return SQL_ERROR;
  if (int code = Publish(&g_odbc.descs, desc, out)) {
    DescDelete(desc);
    conn->pending = code;
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

SQLRETURN odbc_FreeHandle_Env(void *object, const ApiArgs &) { return FreeEnvCommon(static_cast<Envr *>(object)); }
SQLRETURN odbc_FreeEnv(void *object, const ApiArgs &) { return FreeEnvCommon(static_cast<Envr *>(object)); }

SQLRETURN odbc_FreeHandle_Dbc(void *object, const ApiArgs &) { return FreeConnCommon(static_cast<Conn *>(object)); }
SQLRETURN odbc_FreeConnect(void *object, const ApiArgs &) { return FreeConnCommon(static_cast<Conn *>(object)); }

SQLRETURN odbc_FreeHandle_Stmt(void *object, const ApiArgs &) {
  auto *stmt = static_cast<Stmt *>(object);
  StmtClose(stmt);
  StmtDelete(stmt);
  return SQL_SUCCESS;
}

SQLRETURN odbc_FreeHandle_Desc(void *object, const ApiArgs &) {
  auto *desc = static_cast<Desc *>(object);
  if (desc->alloc != DESC_ALLOC_USER) {
    desc->pending = E_S1017;
    return SQL_ERROR;
  }
  DescDelete(desc);
  return SQL_SUCCESS;
}

SQLRETURN odbc_FreeStmt(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  switch (args.u16(0)) {
    case SQL_CLOSE:
      StmtClose(stmt);
      return PendingResult(stmt);
    case SQL_DROP:
      StmtClose(stmt);
      StmtDelete(stmt);
      return SQL_SUCCESS;
    case SQL_UNBIND:
      StmtUnbindAll(stmt);
      return PendingResult(stmt);
    case SQL_RESET_PARAMS:
      StmtResetParams(stmt);
      return PendingResult(stmt);
    default:
      stmt->pending = E_S1092;
      return SQL_ERROR;
  }
}

SQLRETURN odbc_SetEnvAttr(void *object, const ApiArgs &args) {
  auto *env = static_cast<Envr *>(object);
  // The value is an integer passed in the pointer-sized argument.
  const auto value = static_cast<int32_t>(args.u64(1));
  const EnvAttr *a = FindEnvAttr(args.i32(0));
  if (a && value >= a->lowest && value <= a->highest) env->*a->field = value;
  return SQL_SUCCESS;
}

SQLRETURN odbc_GetEnvAttr(void *object, const ApiArgs &args) {
  auto *env = static_cast<Envr *>(object);
  auto *out = args.ptr<int32_t>(1);
  if (!out) return SQL_SUCCESS;
  const int32_t attr = args.i32(0);
  if (const EnvAttr *a = FindEnvAttr(attr))
    *out = env->*a->field;
  else if (attr == kAttrUnknown1056)
    *out = 2;
  return SQL_SUCCESS;
}

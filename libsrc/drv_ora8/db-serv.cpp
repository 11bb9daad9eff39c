// The OCI level of the server context: its own OCI environment and error
// handle, and the OCI connection pools shared by connections to one connect
// string.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "drv_ora8/db-private.h"
#include "odbc/sqlstate.h"
#include "util/hashtab.h"
#include "util/log.h"
#include "util/md5.h"

namespace {

constexpr ub4 kEnvMode = OCI_THREADED | OCI_OBJECT;

// The message of the error handle's first pending record, for log lines.
void LogPendingError(OciErrWrap *err) {
  char text[512] = "";
  sb4 code = 0;
  if (err && err->errhp &&
      db_OciOk(OCIErrorGet(err->errhp, 1, nullptr, &code, reinterpret_cast<OraText *>(text), sizeof text,
                           OCI_HTYPE_ERROR))) {
    size_t n = strlen(text);
    if (n && text[n - 1] == '\n') text[n - 1] = '\0';
    LOG(LOG_ERR, "%s", text);
  }
}

int ociConnPool_destroy(OciConnPool *pool, OciErrWrap *err) {
  int ok = 1;
  sword st = OCIConnectionPoolDestroy(pool->handle, err->errhp, OCI_DEFAULT);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "ociConnPool_destroy failed");
    LogPendingError(err);
    ok = 0;
  }
  OCIHandleFree(pool->handle, OCI_HTYPE_CPOOL);
  free(pool->name);
  free(pool);
  return ok;
}

struct DestroyCtx {
  OciErrWrap *err;
};

void DestroyCb(void *value, const void *, void *user) {
  ociConnPool_destroy(static_cast<OciConnPool *>(value), static_cast<DestroyCtx *>(user)->err);
}

OciConnPool *PoolCreate(OciPoolList *list, DB_Conn *dbc, OciErrWrap *err, const char *connectString,
                        const char *user, const char *password) {
  const AgentOptions &o = dbc->conn->opts;
  void *handle = nullptr;
  if (!db_OciOk(OCIHandleAlloc(dbc->serv->env, &handle, OCI_HTYPE_CPOOL, 0, nullptr))) {
    LOG(LOG_ERR, "OciConnPool_Create: Couldn't allocate OCI connection pool handle.");
    return nullptr;
  }
  auto *cp = static_cast<OCICPool *>(handle);
  OraText *name = nullptr;
  sb4 nameLen = 0;
  const char *cs = connectString ? connectString : "";
  sword st = OCIConnectionPoolCreate(dbc->serv->env, err->errhp, cp, &name, &nameLen,
                                     reinterpret_cast<const OraText *>(cs), static_cast<sb4>(strlen(cs)),
                                     static_cast<ub4>(o.poolMin), static_cast<ub4>(o.poolMax),
                                     static_cast<ub4>(o.poolIncr), reinterpret_cast<const OraText *>(user),
                                     static_cast<sb4>(strlen(user)), reinterpret_cast<const OraText *>(password),
                                     static_cast<sb4>(strlen(password)), OCI_DEFAULT);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "OciConnPool_Create: OCIConnectionPoolCreate failed.");
    LogPendingError(err);
    OCIHandleFree(cp, OCI_HTYPE_CPOOL);
    return nullptr;
  }
  if (!o.poolWait) {
    ub1 noWait = 1;
    if (!db_OciOk(OCIAttrSet(cp, OCI_HTYPE_CPOOL, &noWait, sizeof noWait, OCI_ATTR_CONN_NOWAIT, err->errhp))) {
      LOG(LOG_ERR, "OciConnPool_Create: OCIAttrSet(OCI_ATTR_CONN_NOWAIT) failed.");
      LogPendingError(err);
      OCIConnectionPoolDestroy(cp, err->errhp, OCI_DEFAULT);
      OCIHandleFree(cp, OCI_HTYPE_CPOOL);
      return nullptr;
    }
  }
  auto *pool = static_cast<OciConnPool *>(calloc(1, sizeof(OciConnPool)));
  char *nameCopy = static_cast<char *>(malloc(static_cast<size_t>(nameLen) + 1));
  if (!pool || !nameCopy) {
    free(pool);
    free(nameCopy);
    OCIConnectionPoolDestroy(cp, err->errhp, OCI_DEFAULT);
    OCIHandleFree(cp, OCI_HTYPE_CPOOL);
    return nullptr;
  }
  memcpy(nameCopy, name, static_cast<size_t>(nameLen));
  nameCopy[nameLen] = '\0';
  OciConnPool_Key(pool->key, connectString);
  pool->handle = cp;
  pool->name = nameCopy;
  pool->nameLen = nameLen;
  pool->list = list;
  pool->users = 1;
  pool->linger = o.poolLinger;
  if (!hash_insert(list->pools, pool->key, pool)) {
    free(nameCopy);
    free(pool);
    OCIConnectionPoolDestroy(cp, err->errhp, OCI_DEFAULT);
    OCIHandleFree(cp, OCI_HTYPE_CPOOL);
    return nullptr;
  }
  return pool;
}

}  // namespace

// ---- Pools ------------------------------------------------------------------

int OciPoolList_Init(OciPoolList *list) {
  list->pools = hash_create(101, 16);
  if (!list->pools) return 0;
  list->lock.Init();
  return 1;
}

void OciPoolList_Free(OciPoolList *list, OciErrWrap *err) {
  if (!list->pools) return;
  DestroyCtx ctx{err};
  hash_walk(list->pools, DestroyCb, &ctx);
  hash_destroy(list->pools);
  list->pools = nullptr;
  list->lock.Delete();
}

void OciConnPool_Key(unsigned char key[16], const char *connectString) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  if (connectString) MD5Update(&ctx, connectString, static_cast<uint32_t>(strlen(connectString)));
  MD5Final(key, &ctx);
}

OciConnPool *OciConnPool_Acquire(OciPoolList *list, DB_Conn *dbc, OciErrWrap *err, const char *connectString,
                                 const char *user, const char *password) {
  unsigned char key[16];
  OciConnPool_Key(key, connectString);
  OsLock lock(list->lock);
  if (auto *pool = static_cast<OciConnPool *>(hash_find(list->pools, key))) {
    ++pool->users;
    return pool;
  }
  return PoolCreate(list, dbc, err, connectString, user, password);
}

int OciConnPool_Release(OciConnPool *pool, OciErrWrap *err) {
  OciPoolList *list = pool->list;
  list->lock.Enter();
  if (--pool->users > 0) {
    list->lock.Leave();
    return 1;
  }
  if (pool->linger > 0) {
    // Another user may come and leave within the linger time and linger
    // too: only the last release still lingering may destroy the pool.
    ++pool->lingering;
    list->lock.Leave();
    std::this_thread::sleep_for(std::chrono::seconds(pool->linger));
    list->lock.Enter();
    if (--pool->lingering > 0 || pool->users != 0) {
      list->lock.Leave();
      return 1;
    }
  }
  hash_delete(list->pools, pool->key);
  int ok = ociConnPool_destroy(pool, err);
  list->lock.Leave();
  return ok;
}

// ---- DB_Serv ------------------------------------------------------------------

int32_t DB_Serv_New(AgentServer *server, void *, DB_Serv **out) {
  *out = nullptr;
  auto *serv = static_cast<DB_Serv *>(calloc(1, sizeof(DB_Serv)));
  auto *err = static_cast<OciErrWrap *>(calloc(1, sizeof(OciErrWrap)));
  if (!serv || !err) {
    free(serv);
    free(err);
    return E_S1001;
  }
  serv->server = server;
  serv->err = err;
  int32_t rc = 0;
  void *errhp = nullptr;
  if (!db_OciOk(OCIEnvCreate(&serv->env, kEnvMode, nullptr, nullptr, nullptr, nullptr, 0, nullptr))) {
    LOG(LOG_ERR, "DB_Serv_New: Couldn't initialize OCI environment handle.");
    rc = E_S1001;
  } else if (!db_OciOk(OCIHandleAlloc(serv->env, &errhp, OCI_HTYPE_ERROR, 0, nullptr))) {
    LOG(LOG_ERR, "DB_Serv_New: Couldn't allocate OCI error handle.");
    rc = E_S1001;
  } else if (!OciPoolList_Init(&serv->pools)) {
    LOG(LOG_ERR, "DB_Serv_New: Couldn't allocate OCI connection pool list.");
    rc = E_S1000;
  }
  err->errhp = static_cast<OCIError *>(errhp);
  err->env = serv->env;
  err->nextRec = 1;
  if (rc != 0) {
    if (err->errhp) OCIHandleFree(err->errhp, OCI_HTYPE_ERROR);
    if (serv->env) OCIHandleFree(serv->env, OCI_HTYPE_ENV);
    free(err);
    free(serv);
    return rc;
  }
  *out = serv;
  return 0;
}

void DB_Serv_Free(DB_Serv *serv) {
  if (!serv) return;
  OciPoolList_Free(&serv->pools, serv->err);
  if (serv->err) {
    if (serv->err->errhp) OCIHandleFree(serv->err->errhp, OCI_HTYPE_ERROR);
    free(serv->err);
  }
  if (serv->env) OCIHandleFree(serv->env, OCI_HTYPE_ENV);
  free(serv);
}

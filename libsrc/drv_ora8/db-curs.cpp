// The OCI level's cursor object: creation with its own statement and error
// handles, deletion, and the release of what one execution leaves behind.
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-curs.h"
#include "drv_ora8/db-exec.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

namespace {

void FreeParamBinds(DB_Curs *c) {
  for (uint16_t i = 0; i < c->paramBindCount; ++i) {
    DbParamBind &p = c->paramBinds[i];
    if (p.timestamps && p.buffer) {
      auto **ts = static_cast<OCIDateTime **>(p.buffer);
      for (uint32_t k = 0; k < p.bufferCount; ++k)
        if (ts[k]) OCIDescriptorFree(ts[k], OCI_DTYPE_TIMESTAMP);
    }
    free(p.buffer);
    free(p.rowLengths);
  }
  free(c->paramBinds);
  c->paramBinds = nullptr;
  c->paramBindCount = 0;
  c->bindRows = 0;
}

}  // namespace

int32_t db_SetOCIPrefetching(DB_Curs *c) {
  const AgentOptions &o = c->conn->conn->opts;
  ub4 rows = o.ociPrefetchRows < 0 ? 0 : static_cast<ub4>(o.ociPrefetchRows);
  if (rows >= 65536) rows = 65536;
  ub4 memory = o.ociPrefetchMemory < 0 ? 0 : static_cast<ub4>(o.ociPrefetchMemory);
  // A warning is a success: the setting is made.
  auto ok = [](sword s) { return s == OCI_SUCCESS || s == OCI_SUCCESS_WITH_INFO; };
  bool warned = false;
  sword st = OCIAttrSet(c->stmt, OCI_HTYPE_STMT, &rows, 0, OCI_ATTR_PREFETCH_ROWS, c->err->errhp);
  if (st == OCI_SUCCESS_WITH_INFO) {
    warned = true;
    if (c->owner) ErrList_PushOCI(&c->owner->errs, c->err);
  }
  if (ok(st)) {
    st = OCIAttrSet(c->stmt, OCI_HTYPE_STMT, &memory, 0, OCI_ATTR_PREFETCH_MEMORY, c->err->errhp);
    if (st == OCI_SUCCESS_WITH_INFO) {
      if (c->owner) (warned ? ErrList_AppendOCI : ErrList_PushOCI)(&c->owner->errs, c->err);
      warned = true;
    }
  }
  if (!ok(st)) {
    LOG(LOG_ERR, "db_SetOCIPrefetching: OCIAttrSet(OCI_ATTR_PREFETCH_ROWS/_MEMORY) failed.");
    // A cursor being made has no list of its own yet: its connection's.
    return db_OciFail(st, c->owner ? &c->owner->errs : &c->conn->conn->errs, c->err);
  }
  if (warned && !c->owner) LOG(LOG_WARNING, "db_SetOCIPrefetching: OCIAttrSet() answered with a warning.");
  // A cursor being made has nobody to show the warning to yet; a prepare
  // reports it with its own result.
  return warned && c->owner ? E_IM902 : 0;
}

int32_t DB_Curs_New(DB_Conn *conn, AgentCursor *owner, DB_Curs **out) {
  *out = nullptr;
  if (!conn || !conn->env || !conn->conn) return E_S1000;
  auto *c = static_cast<DB_Curs *>(calloc(1, sizeof(DB_Curs)));
  auto *wrap = static_cast<OciErrWrap *>(calloc(1, sizeof(OciErrWrap)));
  if (!c || !wrap) {
    free(c);
    free(wrap);
    return E_S1001;
  }
  c->lock.Init();
  c->stmtCache = conn->conn->opts.ociStmtCacheSize > 0 ? 1 : 0;
  auto dropAll = [&] {
    if (c->stmt) OCIHandleFree(c->stmt, OCI_HTYPE_STMT);
    if (wrap->errhp) OCIHandleFree(wrap->errhp, OCI_HTYPE_ERROR);
    c->lock.Delete();
    free(wrap);
    free(c);
  };
  void *h = nullptr;
  if (!c->stmtCache) {
    sword st = OCIHandleAlloc(conn->env, &h, OCI_HTYPE_STMT, 0, nullptr);
    if (!db_OciOk(st)) {
      // No error handle holds a reason: out of memory.
      LOG(LOG_ERR, "DB_Curs_New: OCIHandleAlloc() failed");
      dropAll();
      return E_S1001;
    }
    c->stmt = static_cast<OCIStmt *>(h);
    c->stmtOrigin = DBSTMT_ALLOCATED;
  }
  h = nullptr;
  sword st = OCIHandleAlloc(conn->env, &h, OCI_HTYPE_ERROR, 0, nullptr);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "DB_Cursor: Couldn't allocate OCI error handle.");
    dropAll();
    return E_S1001;
  }
  wrap->errhp = static_cast<OCIError *>(h);
  wrap->nextRec = 1;
  wrap->env = conn->env;
  wrap->wide = conn->conn->wide;
  c->conn = conn;
  c->err = wrap;
  c->described = 0;
  if (!c->stmtCache && db_SetOCIPrefetching(c) != 0) {  // only failures: no owner yet
    dropAll();
    return E_S1000;
  }
  c->owner = owner;
  c->lobColumn = -1;
  *out = c;
  return 0;
}

void db_StmtDrop(DB_Curs *c) {
  if (!c->stmt) return;
  sword st = OCI_SUCCESS;
  const char *what = "OCIHandleFree";
  if (c->stmtOrigin == DBSTMT_CACHED) {
    what = "OCIStmtRelease";
    st = OCIStmtRelease(c->stmt, c->err->errhp, nullptr, 0, OCI_DEFAULT);
  } else {
    st = OCIHandleFree(c->stmt, OCI_HTYPE_STMT);
  }
  if (!db_OciOk(st)) LOG(LOG_ERR, "DB_Curs_Delete: %s() failed", what);
  // The binds belonged to the statement.
  c->stmt = nullptr;
  c->stmtOrigin = DBSTMT_NONE;
  if (c->binds) memset(c->binds, 0, c->bindCount * sizeof(OCIBind *));
}

void DB_RefCursorsFree(DB_Curs *c) {
  // REF CURSOR statements come from OCIHandleAlloc: they are freed, never
  // released to the statement cache.
  for (uint16_t i = 0; i < c->refCursorCount; ++i)
    if (c->refCursors[i]) OCIHandleFree(c->refCursors[i], OCI_HTYPE_STMT);
  free(c->refCursors);
  c->refCursors = nullptr;
  c->refCursorCount = 0;
  c->nextRefCursor = 0;
}

void DB_Curs_Delete(DB_Curs *c) {
  if (!c) return;
  DB_RefCursorsFree(c);
  db_StmtDrop(c);
  free(c->defines);
  c->defines = nullptr;
  c->defineCount = 0;
  DB_Curs_FreeBuffers(c);
  DB_Curs_FreeDescs(c);
  free(c->binds);
  if (c->err) {
    if (c->err->errhp) OCIHandleFree(c->err->errhp, OCI_HTYPE_ERROR);
    free(c->err);
  }
  if (c->owner) ErrList_Free(&c->owner->errs);
  ErrList_Free(&c->cancelErrs);
  c->lock.Delete();
  free(c);
}

int32_t DB_Curs_FreeBuffers(DB_Curs *c) {
  db_FreeRowArrays(c);
  free(c->retLengths);
  free(c->retReturnCodes);
  c->retLengths = nullptr;
  c->retReturnCodes = nullptr;
  free(c->binds);
  c->binds = nullptr;
  c->bindCount = 0;
  free(c->lobBinds);
  c->lobBinds = nullptr;
  c->lobBindCount = 0;
  for (uint16_t i = 0; i < c->lobNodeCount; ++i)
    if (c->lobNodes[i].chain && LobBindNode_FreeChain) LobBindNode_FreeChain(c->lobNodes[i].chain);
  free(c->lobNodes);
  c->lobNodes = nullptr;
  c->lobNodeCount = 0;
  free(c->lobCarry);
  c->lobCarry = nullptr;
  c->lobCarryLen = 0;
  c->lobCarryPos = 0;
  FreeParamBinds(c);
  return 0;
}

int32_t DB_Curs_FreeDescs(DB_Curs *c) {
  db_ResultDescsFree(c);
  db_BindDescsFree(c);
  db_ProcArgDescsFree(c);
  free(c->markerTable);
  c->markerTable = nullptr;
  c->markerCount = 0;
  free(c->procBlock);
  c->procBlock = nullptr;
  free(c->placeholders);
  c->placeholders = nullptr;
  c->placeholderCount = 0;
  c->refCursorArgCount = 0;
  c->described = 0;
  return 0;
}

// Prepare, bind and execute on the OCI level's cursor: the statement cache,
// default parameter descriptions, binds by position with array execution,
// commit on success, the query timeout by non-blocking polling, and the
// cancel handshake with DB_Cancel on another thread.
#include <malloc.h>
#include <strings.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "drv_ora8/db-exec.h"
#include "drv_ora8/db-lob.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

namespace {

using Clock = std::chrono::steady_clock;

AgentErrList *OwnerErrs(DB_Curs *c) { return c->owner ? &c->owner->errs : nullptr; }

uint32_t LoadWord(const uint32_t *w) { return __atomic_load_n(w, __ATOMIC_ACQUIRE); }
void StoreWord(uint32_t *w, uint32_t v) { __atomic_store_n(w, v, __ATOMIC_RELEASE); }

bool StartsWithWord(const char *text, const char *word) {
  while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
  return strncasecmp(text, word, strlen(word)) == 0;
}

bool IsWideType(int32_t type) { return type >= VT_WCHAR && type <= VT_WVARCHAR4; }

// The array *slot when it has room for n elements, cleared as a new one
// would be, and *slot emptied; else null (the slot stays for the caller to
// free).
template <class T>
T *TakeArray(T **slot, size_t n) {
  T *a = *slot;
  if (!a || malloc_usable_size(a) < n * sizeof(T)) return nullptr;
  memset(a, 0, n * sizeof(T));
  *slot = nullptr;
  return a;
}

// Binds parameter j (position j + 1) at data/size with the given arrays.
int32_t BindOne(DB_Curs *c, uint16_t j, const void *data, uint32_t size, int16_t *ind, uint16_t *lens,
                uint16_t *rcodes) {
  const DbParamBind &p = c->paramBinds[j];
  if (size > static_cast<uint32_t>(INT32_MAX)) {
    LOG(LOG_ERR, "DB_Bind: parameter %u is too long (%u bytes).", static_cast<unsigned>(j + 1),
        static_cast<unsigned>(size));
    return E_S1000;
  }
  if (p.position == 0) return 0;  // a LOB target: its value goes through the returned locator
  sword st = OCIBindByPos(c->stmt, &c->binds[j], c->err->errhp, p.position, const_cast<void *>(data),
                          static_cast<sb4>(size), static_cast<ub2>(p.extType), ind, lens, rcodes, 0, nullptr,
                          OCI_DEFAULT);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "DB_Bind: OCIBindByPos() failed");
    return db_OciFail(st, OwnerErrs(c), c->err);
  }
  if (IsWideType(p.valueType)) {
    ub2 csid = OCI_UTF16ID;
    st = OCIAttrSet(c->binds[j], OCI_HTYPE_BIND, &csid, 0, OCI_ATTR_CHARSET_ID, c->err->errhp);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "DB_Bind: OCIAttrSet() failed");
      return db_OciFail(st, OwnerErrs(c), c->err);
    }
  }
  return 0;
}

// Binds bound row r of every parameter as a single value.
int32_t BindRow(DB_Curs *c, uint32_t r) {
  for (uint16_t j = 0; j < c->paramBindCount; ++j) {
    const void *data = nullptr;
    uint32_t len = 0;
    db_ParamRow(c, j, &c->paramBinds[j], r, &data, &len);
    if (int32_t rc = BindOne(c, j, data, len, c->indicators + static_cast<size_t>(j) * c->bindRows + r, nullptr,
                             nullptr))
      return rc;
  }
  return 0;
}

// Binds all rows of every parameter as arrays.
int32_t BindArrays(DB_Curs *c) {
  const uint32_t rows = c->bindRows;
  for (uint16_t j = 0; j < c->paramBindCount; ++j) {
    const DbParamBind &p = c->paramBinds[j];
    const size_t at = static_cast<size_t>(j) * rows;
    uint16_t *lens = nullptr;
    if (p.needsLengths) {
      lens = c->lengths + at;
      for (uint32_t r = 0; r < rows; ++r) lens[r] = static_cast<uint16_t>(p.rowLengths[r]);  // each <= 0xFFFF
    }
    if (int32_t rc = BindOne(c, j, p.data, p.valueSize, c->indicators + at, lens, c->returnCodes + at)) return rc;
  }
  return 0;
}

// The LOB target columns of a rebuilt INSERT or UPDATE (db_Check4LOBParams).
bool HasLobTargets(const DB_Curs *c) {
  return (c->kind == DBCURS_KIND_INSERT || c->kind == DBCURS_KIND_UPDATE) && c->resultDescCount > 0 &&
         c->resultDescs[0].paramNumber > 0;
}

bool IsLobTarget(const DB_Curs *c, uint16_t j) {
  if (!HasLobTargets(c)) return false;
  for (uint16_t i = 0; i < c->resultDescCount; ++i)
    if (c->resultDescs[i].paramNumber == j + 1) return true;
  return false;
}

// LOB targets run one parameter row per execution: each row's locators
// come back from its own execution.
bool AnyRowByRow(const DB_Curs *c) {
  if (HasLobTargets(c)) return true;
  for (uint16_t j = 0; j < c->paramBindCount; ++j)
    if (c->paramBinds[j].rowByRow) return true;
  return false;
}

// Puts the server handle into non-blocking (want true) or blocking mode.
// Setting the attribute toggles the mode, so the server's own answer decides
// whether to set it: after a switch that failed, the mode is not what the
// last execution left in the handshake word. Under the cursor's lock.
bool SetNonBlocking(DB_Curs *c, bool want) {
  ub1 mode = 0;
  if (OCIAttrGet(c->conn->srv, OCI_HTYPE_SERVER, &mode, nullptr, OCI_ATTR_NONBLOCKING_MODE, c->err->errhp) !=
      OCI_SUCCESS)
    return false;
  if ((mode != 0) == want) return true;
  return OCIAttrSet(c->conn->srv, OCI_HTYPE_SERVER, nullptr, 0, OCI_ATTR_NONBLOCKING_MODE, c->err->errhp) ==
         OCI_SUCCESS;
}

// Breaks off the running execution on the service context and resets it.
void BreakAndReset(DB_Curs *c) {
  sword b = OCIBreak(c->conn->svc, c->err->errhp);
  sword r = OCIReset(c->conn->svc, c->err->errhp);
  if (!db_OciOk(b)) {
    LOG(LOG_ERR, "Cancellation of statement execution failed (OCIBreak: %d)", static_cast<int>(b));
    if (b == OCI_ERROR) ErrList_PushOCI(OwnerErrs(c), c->err);
  } else if (!db_OciOk(r)) {
    LOG(LOG_DEBUG, "OCIReset returned: %d", static_cast<int>(r));
    if (r == OCI_ERROR) ErrList_PushOCI(OwnerErrs(c), c->err);
  }
}

// One OCIStmtExecute, polled while it runs in non-blocking mode.
int32_t RunOnce(DB_Curs *c, ub4 iters, ub4 mode, bool timed, Clock::time_point deadline) {
  for (;;) {
    sword st = OCIStmtExecute(c->conn->svc, c->stmt, c->err->errhp, iters, 0, nullptr, nullptr, mode);
    if (st == OCI_SUCCESS || st == OCI_NO_DATA) return 0;  // NO_DATA: a DML that touched no row
    if (st == OCI_SUCCESS_WITH_INFO) {
      // The statement ran (and was committed when asked): a success whose
      // warnings stay for the caller.
      if (c->execWarning)
        ErrList_AppendOCI(OwnerErrs(c), c->err);  // a later row of a row-by-row array
      else
        ErrList_PushOCI(OwnerErrs(c), c->err);
      c->execWarning = 1;
      return 0;
    }
    if (st == OCI_STILL_EXECUTING) {
      const bool cancel = LoadWord(&c->cancelRequested) != 0;
      if (cancel || (timed && Clock::now() > deadline)) {
        BreakAndReset(c);
        return cancel ? E_S1008 : E_S1T00;
      }
      // The deadline and the cancel word are tested between polls; a short
      // pause keeps the poll from spinning a core.
      std::this_thread::sleep_for(std::chrono::microseconds(500));
      continue;
    }
    const int32_t rc = LoadWord(&c->cancelRequested) ? E_S1008 : E_S1000;
    if (rc == E_S1000 && st == OCI_ERROR) ErrList_PushOCI(OwnerErrs(c), c->err);
    return rc;
  }
}

// Ends the handshake of one execution, back in blocking mode. A cancel that failed meanwhile left
// its OCI errors aside (the list belongs to this thread while it runs): they
// follow the execution's own, and a successful execution reports them as
// warnings.
void EndExecution(DB_Curs *c, int32_t rc, bool timed) {
  OsLock lock(c->lock);
  if (timed) {
    // A failure is mended by the next execution, which asks the server.
    if (!SetNonBlocking(c, false)) LOG(LOG_ERR, "DB_Execute: Failed to switch OCI back to blocking mode.");
    StoreWord(&c->nonBlocking, 0);
  }
  StoreWord(&c->executing, 0);
  StoreWord(&c->cancelRequested, 0);
  if (!c->cancelErrs.first) return;
  AgentErrList *list = OwnerErrs(c);
  if (!list) {
    ErrList_Free(&c->cancelErrs);
    return;
  }
  if (rc == 0 && !c->execWarning) ErrList_Free(list);
  AgentErrRec **tail = &list->first;
  while (*tail) tail = &(*tail)->next;
  *tail = c->cancelErrs.first;
  c->cancelErrs.first = nullptr;
  if (rc == 0) c->execWarning = 1;
}

int64_t ReadRowCount(DB_Curs *c, bool *known) {
  ub4 n = 0;
  if (!db_OciOk(OCIAttrGet(c->stmt, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROW_COUNT, c->err->errhp))) {
    *known = false;
    return 0;
  }
  return n;
}

}  // namespace

int32_t db_PrepareText(DB_Curs *c, const char *text, const char *caller) {
  const ub4 len = static_cast<ub4>(strlen(text));
  const char *failed = nullptr;
  bool warned = false;
  sword st = OCI_SUCCESS;
  if (c->stmtCache) {
    db_StmtDrop(c);
    OCIStmt *stmt = nullptr;
    st = OCIStmtPrepare2(c->conn->svc, &stmt, c->err->errhp, reinterpret_cast<const OraText *>(text), len, nullptr,
                         0, OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (st == OCI_SUCCESS || st == OCI_SUCCESS_WITH_INFO) {
      c->stmt = stmt;
      c->stmtOrigin = DBSTMT_CACHED;
      // The prepare's warning is taken before the settings below reuse the
      // error handle; theirs follow it.
      AgentErrList *list = OwnerErrs(c);
      if (st == OCI_SUCCESS_WITH_INFO) {
        ErrList_PushOCI(list, c->err);
        warned = true;
      }
      // A statement from the cache may be another handle than the last
      // one: its prefetch settings are set each time.
      const int32_t keep = list ? list->keep : 0;
      if (list && warned) list->keep = 1;
      const int32_t rc = db_SetOCIPrefetching(c);
      if (list) list->keep = keep;
      if (rc == E_IM902)
        warned = true;
      else if (rc != 0)
        return rc;
    } else {
      failed = "OCIStmtPrepare2";
    }
  } else {
    st = OCIStmtPrepare(c->stmt, c->err->errhp, reinterpret_cast<const OraText *>(text), len, OCI_NTV_SYNTAX,
                        OCI_DEFAULT);
    if (st != OCI_SUCCESS && st != OCI_SUCCESS_WITH_INFO) failed = "OCIStmtPrepare";
  }
  if (failed) {
    LOG(LOG_ERR, "%s: %s() failed", caller, failed);
    db_OciFail(st, OwnerErrs(c), c->err);
    return E_37000;
  }
  // The bind handles of the statement's previous text are gone with it.
  if (c->binds) memset(c->binds, 0, c->bindCount * sizeof(OCIBind *));
  c->described = 0;
  // Prepared, with a warning the application gets to see.
  if (st == OCI_SUCCESS_WITH_INFO && !c->stmtCache) {
    ErrList_PushOCI(OwnerErrs(c), c->err);
    warned = true;
  }
  return warned ? E_IM902 : 0;
}

int32_t DB_Prepare(DB_Curs *c) {
  c->state &= static_cast<uint16_t>(~DBCURS_EXECUTED);
  const SqlRequest &req = c->owner->req;
  const char *text = req.translated ? req.translated : "";
  if (req.kind == REQ_KIND_SELECT)
    c->kind = DBCURS_KIND_SELECT;
  else if (req.kind == REQ_KIND_DML)
    c->kind = StartsWithWord(text, "INSERT") ? DBCURS_KIND_INSERT
              : StartsWithWord(text, "UPDATE") ? DBCURS_KIND_UPDATE
                                               : DBCURS_KIND_OTHER;
  else
    c->kind = DBCURS_KIND_OTHER;
  // Parameters that are whole values of LOB columns are written through
  // locators the statement returns: the text is rebuilt for that.
  if (c->kind == DBCURS_KIND_INSERT || c->kind == DBCURS_KIND_UPDATE) {
    if (!(req.flags & REQ_FLAG_MARKERS)) {
      db_ResultDescsFree(c);
    } else {
      std::string rebuilt;
      if (int32_t rc = db_Check4LOBParams(c, text, &rebuilt)) return rc;
      if (!rebuilt.empty()) {
        char *copy = strdup(rebuilt.c_str());
        if (!copy) {
          db_ResultDescsFree(c);
          return E_S1001;
        }
        free(c->owner->req.translated);
        c->owner->req.translated = copy;
        text = copy;
      }
    }
  }
  return db_PrepareText(c, text, "DB_Prepare");
}

int32_t DB_DefaultParamDescs(DB_Curs *c) {
  AgentCursor *cur = c->owner;
  const uint16_t n = cur->req.markerCount;
  ColDescFree(cur->pars, cur->parCount);
  cur->pars = nullptr;
  cur->parCount = 0;
  if (n == 0) return 0;
  ColDesc *pars = ColDescAlloc(n);
  if (!pars) return E_S1001;
  for (uint16_t i = 0; i < n; ++i) {
    ColDesc &d = pars[i];
    d.name[0] = '\0';
    d.oraType = -9999;
    d.sqlType = 12;  // SQL_VARCHAR
    d.displaySize = 255;
    d.valueType = VT_STRING;
    d.octetLength = 0;
    d.columnSize = 255;
    d.decimalDigits = 0;
    d.flags = 2;  // SQL_NULLABLE_UNKNOWN
  }
  cur->pars = pars;
  cur->parCount = n;
  return 0;
}

int32_t DB_Bind(DB_Curs *c) {
  AgentCursor *cur = c->owner;
  Dataset *ds = cur->params;
  // A query binds one parameter row per execution: the row of the
  // execution count.
  const bool query = cur->req.kind == REQ_KIND_SELECT;
  const uint32_t first = query ? cur->execCount : 0;
  if (!ds || ds->rows <= 0 || first >= static_cast<uint32_t>(ds->rows)) {
    LOG(LOG_WARNING, "execute without prior parameters set");
    return E_07001;
  }
  const uint16_t params = ds->columns;
  const uint32_t rows = query ? 1 : static_cast<uint32_t>(ds->rows);
  const size_t n = static_cast<size_t>(params) * rows;

  // Row-by-row executes of one statement bind the same shape each time: the
  // row arrays and the bind handles of the last bind serve again (the
  // handles belong to the statement until it is prepared anew, and
  // OCIBindByPos re-points a handle it is given).
  const size_t alloc = n ? n : 1;
  uint16_t *lengths = TakeArray(&c->lengths, alloc);
  int16_t *indicators = TakeArray(&c->indicators, alloc);
  uint16_t *returnCodes = TakeArray(&c->returnCodes, alloc);
  OCIBind **binds = c->binds;
  const uint16_t bindCount = c->bindCount;
  c->binds = nullptr;
  c->bindCount = 0;
  DB_Curs_FreeBuffers(c);
  c->binds = binds;
  c->bindCount = bindCount;
  c->lengths = lengths ? lengths : static_cast<uint16_t *>(calloc(alloc, sizeof(uint16_t)));
  c->indicators = indicators ? indicators : static_cast<int16_t *>(calloc(alloc, sizeof(int16_t)));
  c->returnCodes = returnCodes ? returnCodes : static_cast<uint16_t *>(calloc(alloc, sizeof(uint16_t)));
  c->paramBinds = static_cast<DbParamBind *>(calloc(params ? params : 1, sizeof(DbParamBind)));
  if (!c->binds || c->bindCount < params) {
    free(c->binds);
    c->binds = static_cast<OCIBind **>(calloc(params ? params : 1, sizeof(OCIBind *)));
    c->bindCount = c->binds ? params : 0;
  }
  if (!c->lengths || !c->indicators || !c->returnCodes || !c->paramBinds || !c->binds) {
    DB_Curs_FreeBuffers(c);
    return E_S1001;
  }
  c->bindRows = rows;
  for (uint16_t j = 0; j < params; ++j) {
    int32_t rc = db_ParamLayout(c, j, first, rows, c->indicators + static_cast<size_t>(j) * rows, &c->paramBinds[j]);
    c->paramBindCount = static_cast<uint16_t>(j + 1);  // what the layout made is freed with the buffers
    if (rc) return rc;
  }
  c->paramBindCount = params;
  // A rebuilt statement keeps each marker's place (a LOB target's flag
  // stands where its marker stood), so positions are the markers' own.
  for (uint16_t j = 0; j < params; ++j) c->paramBinds[j].position = IsLobTarget(c, j) ? 0 : static_cast<uint16_t>(j + 1);
  if (rows == 1 || AnyRowByRow(c)) return BindRow(c, 0);
  return BindArrays(c);
}

int32_t DB_Execute(DB_Curs *c, int commit) {
  AgentCursor *cur = c->owner;
  c->execWarning = 0;
  if (!c->stmt) return E_S1010;
  const bool query = cur->req.kind == REQ_KIND_SELECT;
  const bool markers = (cur->req.flags & REQ_FLAG_MARKERS) != 0;
  if (markers) {
    if (int32_t rc = DB_Bind(c)) return rc;
  }
  const bool timed = cur->queryTimeout > 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timed ? cur->queryTimeout : 0);
  {
    OsLock lock(c->lock);
    StoreWord(&c->cancelRequested, 0);
    if (!SetNonBlocking(c, timed)) {
      if (timed) {
        LOG(LOG_ERR, "DB_Execute: Failed to switch OCI to non-blocking mode.");
        return E_S1000;
      }
      // Still non-blocking after a failed switch: the poll runs the
      // statement, and a cancel breaks it off directly all the same.
      LOG(LOG_ERR, "DB_Execute: Failed to switch OCI back to blocking mode.");
    }
    StoreWord(&c->nonBlocking, timed ? 1 : 0);
    StoreWord(&c->executing, 1);
  }
  // The parameter rows count only when the text has markers: a Dataset left
  // from an earlier statement never repeats a statement without any.
  const uint32_t rows = markers ? c->bindRows : 1;
  // LOB values are written after the statement ran: it commits once they are.
  const bool lobs = markers && !query && HasLobTargets(c);
  const bool rowByRow = markers && (lobs || (rows > 1 && AnyRowByRow(c)));
  const ub4 iters = query ? 0 : (rows > 1 && !rowByRow ? rows : 1);
  const ub4 mode = commit && !lobs ? OCI_COMMIT_ON_SUCCESS : OCI_DEFAULT;

  int32_t rc = 0;
  bool countKnown = true;
  int64_t count = 0;
  if (!rowByRow) {
    rc = RunOnce(c, iters, mode, timed, deadline);
    // Also after a failure: an array stops at its failing row, and the rows
    // done before it are what the caller reports as processed.
    count = ReadRowCount(c, &countKnown);
  } else {
    // Rows whose lengths do not fit an array bind run one execution each;
    // only the last one commits, so the rows stand or fall as in one array.
    for (uint32_t r = 0; r < rows && rc == 0; ++r) {
      if (r > 0) rc = BindRow(c, r);
      if (rc == 0 && lobs)
        rc = db_BindLOBReturning(c, static_cast<uint16_t>(c->paramBindCount - c->resultDescCount), cur->params, r);
      if (rc == 0) rc = RunOnce(c, 1, r + 1 == rows ? mode : OCI_DEFAULT, timed, deadline);
      if (rc == 0) count += ReadRowCount(c, &countKnown);
      if (rc == 0 && lobs) rc = db_LOBPutCells(c, cur->params, r);
    }
    if (lobs && commit) {
      if (rc == 0 && !db_OciOk(OCITransCommit(c->conn->svc, c->err->errhp, OCI_DEFAULT))) {
        LOG(LOG_ERR, "DB_Execute: OCITransCommit() failed");
        ErrList_PushOCI(OwnerErrs(c), c->err);
        rc = E_S1000;
      }
      // Autocommit never leaves a row whose LOB was not written for a later
      // commit to keep.
      if (rc != 0) OCITransRollback(c->conn->svc, c->conn->err->errhp, OCI_DEFAULT);
    }
  }
  EndExecution(c, rc, timed);
  cur->rowsAffected = countKnown ? static_cast<int32_t>(count > INT32_MAX ? INT32_MAX : count) : -1;
  if (rc != 0) return rc;
  c->state |= DBCURS_EXECUTED;
  return 0;
}

int32_t DB_Cancel(DB_Curs *c) {
  if (!c) return 0;
  OsLock lock(c->lock);
  if (!LoadWord(&c->executing)) return 0;
  StoreWord(&c->cancelRequested, 1);
  // The polling loop sees the request and breaks off itself.
  if (LoadWord(&c->nonBlocking)) return 0;
  // The executing thread is inside an OCI call on the cursor's error handle
  // and owns the cursor's list: break and reset with an error handle of this
  // call's own, and leave its errors aside for that thread.
  void *errhp = nullptr;
  if (!db_OciOk(OCIHandleAlloc(c->conn->env, &errhp, OCI_HTYPE_ERROR, 0, nullptr))) {
    LOG(LOG_ERR, "DB_Cancel: Couldn't allocate OCI error handle.");
    ErrList_Append(&c->cancelErrs, ErrRec_New(E_S1001));
    return E_S1001;
  }
  OciErrWrap err{static_cast<OCIError *>(errhp), 1, c->conn->env, c->err->wide};
  int32_t rc = 0;
  sword b = OCIBreak(c->conn->svc, err.errhp);
  if (!db_OciOk(b)) {
    LOG(LOG_ERR, "Cancellation of statement execution failed (OCIBreak: %d)", static_cast<int>(b));
    if (b == OCI_ERROR) ErrList_AppendOCI(&c->cancelErrs, &err);
    rc = E_S1000;
  } else if (sword r = OCIReset(c->conn->svc, err.errhp); !db_OciOk(r)) {
    LOG(LOG_DEBUG, "OCIReset returned: %d", static_cast<int>(r));
    if (r == OCI_ERROR) ErrList_AppendOCI(&c->cancelErrs, &err);
    rc = E_S1000;
  }
  OCIHandleFree(errhp, OCI_HTYPE_ERROR);
  return rc;
}

// Transparent application failover: OCI's failover callback, which records
// each step of a failover in the connection's DB_Conn, and the wrappers that
// sit in front of 35 agent operations and turn a finished failover into the
// result 183 (IM500, completed) or 184 (IM501, aborted) of the first wrapped
// operation on that connection afterwards.
#include <chrono>
#include <thread>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

namespace {

int32_t LoadState(const DB_Conn *dbc) { return __atomic_load_n(&dbc->foState, __ATOMIC_ACQUIRE); }
void StoreState(DB_Conn *dbc, int32_t state) { __atomic_store_n(&dbc->foState, state, __ATOMIC_RELEASE); }

void ReleaseFailoverLock(DB_Conn *dbc) {
  // Released once per failover: an ABORT that OCI may report after the
  // callback gave up finds it released already.
  if (dbc->foLockHeld) {
    dbc->foLockHeld = 0;
    dbc->foLock.Leave();
  }
}

const char *FailoverTypeName(ub4 type) {
  switch (type) {
    case OCI_FO_NONE:
      return "NONE";
    case OCI_FO_SESSION:
      return "SESSION";
    case OCI_FO_SELECT:
      return "SELECT";
    case OCI_FO_TXNAL:
      return "TRANSACTION";
    default:
      return "UNKNOWN";
  }
}

enum class By { Conn, Cursor };

// The failover check on the connection that the handle leads to; a failover
// code is reported on the handle's own list, which its caller reads.
int32_t After(By how, DrvHandle h, int32_t result) {
  AgentConn *conn = nullptr;
  AgentErrList *list = nullptr;
  if (how == By::Conn) {
    conn = Agent_Conn(h);
    if (conn) list = &conn->errs;
  } else if (AgentCursor *cur = Agent_Cursor(h)) {
    conn = cur->conn;
    list = &cur->errs;
  }
  if (!conn || !conn->opts.tafEnable || !conn->failoverReport || !conn->dbConn) return result;
  if (LoadState(conn->dbConn) == 0) return result;
  return TAF_CheckResult(conn, result, list);
}

int32_t AfterInfo(DrvHandle h, uint32_t code, int32_t result) {
  switch (InfoCodeClass(code)) {
    case IC_CONN:
      return After(By::Conn, h, result);
    case IC_CURSOR:
      return After(By::Cursor, h, result);
    default:
      return result;
  }
}

// One wrapper per slot: the agent's operation, then the failover check.
template <auto Member, By How, class Fn>
struct Taf;
template <auto Member, By How, class... A>
struct Taf<Member, How, int32_t (*)(DrvHandle, A...)> {
  static int32_t Call(DrvHandle h, A... a) {
    int32_t rc = (ORA_BaseOps().*Member)(h, a...);
    return After(How, h, rc);
  }
};

int32_t taf_GetInfo(DrvHandle h, uint32_t code, void *buf, uint16_t bufLen, int16_t *outLen) {
  int32_t rc = ORA_BaseOps().DRV_GetInfo(h, code, buf, bufLen, outLen);
  return AfterInfo(h, code, rc);
}

int32_t taf_SetInfo(DrvHandle h, uint32_t code, const void *value) {
  int32_t rc = ORA_BaseOps().DRV_SetInfo(h, code, value);
  return AfterInfo(h, code, rc);
}

// A cancel comes from another thread, while the call it stops may be the
// one that meets the failover: waiting here for the failover's lock would
// stall the canceller (and every thread behind the handle-table lock it is
// called under), and taking the outcome would steal it from that call. The
// outcome stays for the connection's own calls.
int32_t taf_Cancel(DrvHandle h) { return ORA_BaseOps().DRV_Cancel(h); }

template <class F>
void Put(F &slot, F fn) {
  // Registration repeats: write only what differs, so a caller already
  // using the table never sees a slot change.
  if (slot != fn) slot = fn;
}

}  // namespace

#define KVD_TAF(name, how) Taf<&DrvOps::name, By::how, decltype(DrvOps::name)>::Call

void TAF_InstallWrappers(DrvObject *obj) {
  if (!obj || !obj->table) return;
  DrvOps &t = *obj->table;
  Put(t.DRV_GetInfo, &taf_GetInfo);
  Put(t.DRV_SetInfo, &taf_SetInfo);
  Put(t.DRV_AllocCursor, &KVD_TAF(DRV_AllocCursor, Conn));
  Put(t.DRV_FreeCursor, &KVD_TAF(DRV_FreeCursor, Cursor));
  Put(t.DRV_GetCursorName, &KVD_TAF(DRV_GetCursorName, Cursor));
  Put(t.DRV_SetCursorName, &KVD_TAF(DRV_SetCursorName, Cursor));
  Put(t.DRV_Prepare, &KVD_TAF(DRV_Prepare, Cursor));
  Put(t.DRV_SetParams, &KVD_TAF(DRV_SetParams, Cursor));
  Put(t.DRV_Execute, &KVD_TAF(DRV_Execute, Cursor));
  Put(t.DRV_DescribeColumns, &KVD_TAF(DRV_DescribeColumns, Cursor));
  Put(t.DRV_DescribeParams, &KVD_TAF(DRV_DescribeParams, Cursor));
  Put(t.DRV_NativeSql, &KVD_TAF(DRV_NativeSql, Conn));
  Put(t.DRV_SetParamInfo, &KVD_TAF(DRV_SetParamInfo, Cursor));
  Put(t.DRV_Fetch, &KVD_TAF(DRV_Fetch, Cursor));
  Put(t.DRV_CloseCursor, &KVD_TAF(DRV_CloseCursor, Cursor));
  Put(t.DRV_Commit, &KVD_TAF(DRV_Commit, Conn));
  Put(t.DRV_Rollback, &KVD_TAF(DRV_Rollback, Conn));
  Put(t.DRV_MoreResults, &KVD_TAF(DRV_MoreResults, Cursor));
  Put(t.DRV_DDColumnPrivileges, &KVD_TAF(DRV_DDColumnPrivileges, Cursor));
  Put(t.DRV_DDColumns, &KVD_TAF(DRV_DDColumns, Cursor));
  Put(t.DRV_DDForeignKeys, &KVD_TAF(DRV_DDForeignKeys, Cursor));
  Put(t.DRV_DDPrimaryKeys, &KVD_TAF(DRV_DDPrimaryKeys, Cursor));
  Put(t.DRV_DDProcedureColumns, &KVD_TAF(DRV_DDProcedureColumns, Cursor));
  Put(t.DRV_DDProcedures, &KVD_TAF(DRV_DDProcedures, Cursor));
  Put(t.DRV_DDSpecialColumns, &KVD_TAF(DRV_DDSpecialColumns, Cursor));
  Put(t.DRV_DDStatistics, &KVD_TAF(DRV_DDStatistics, Cursor));
  Put(t.DRV_DDTablePrivileges, &KVD_TAF(DRV_DDTablePrivileges, Cursor));
  Put(t.DRV_DDTables, &KVD_TAF(DRV_DDTables, Cursor));
  Put(t.DRV_DDTypeInfo, &KVD_TAF(DRV_DDTypeInfo, Cursor));
  Put(t.DRV_ParamData, &KVD_TAF(DRV_ParamData, Cursor));
  Put(t.DRV_PutData, &KVD_TAF(DRV_PutData, Cursor));
  Put(t.DRV_GetDataChunk, &KVD_TAF(DRV_GetDataChunk, Cursor));
  Put(t.DRV_ExecDirect, &KVD_TAF(DRV_ExecDirect, Cursor));
  Put(t.DRV_DescribeColumns2, &KVD_TAF(DRV_DescribeColumns2, Cursor));
  Put(t.DRV_Cancel, &taf_Cancel);
}

#undef KVD_TAF

int32_t TAF_GetCompletionState(DB_Conn *dbc) {
  switch (LoadState(dbc)) {
    case 0:
      return 0;
    case OCI_FO_END:
      return E_IM500;
    case OCI_FO_ABORT:
      return E_IM501;
    case OCI_FO_REAUTH:
    case OCI_FO_BEGIN:
    case OCI_FO_ERROR:
      LOG(LOG_ERR, "TAF_GetCompletionState: Unexpected failover state.");
      return E_S1000;
    default:
      LOG(LOG_ERR, "db_TAF_CheckCompletionState: Unknown failover state.");
      return E_S1000;
  }
}

int32_t TAF_TakeState(AgentConn *conn) {
  DB_Conn *dbc = conn->dbConn;
  if (!dbc) return 0;
  // The callback holds this lock while a failover runs: a wrapper on
  // another thread waits here for its end.
  OsLock lock(dbc->foLock);
  int32_t code = 0;
  if (LoadState(dbc) != 0) {
    code = TAF_GetCompletionState(dbc);
    StoreState(dbc, 0);
  }
  return code;
}

int32_t TAF_CheckResult(AgentConn *conn, int32_t result, AgentErrList *list) {
  int32_t code = TAF_TakeState(conn);
  if (code == 0) return result;
  if (!list) list = &conn->errs;
  if (result != 0) {
    // The operation's own errors stay in front; the failover code follows.
    int32_t keep = list->keep;
    list->keep = 1;
    ErrList_PushCode(list, code);
    list->keep = keep;
    return result;
  }
  if (code != E_IM500) ErrList_PushCode(list, code);
  return code;
}

sb4 TAF_FailoverCallback(void *svcctx, void *envctx, void *fo_ctx, ub4 fo_type, ub4 fo_event) {
  auto *dbc = static_cast<DB_Conn *>(fo_ctx);
  if (!dbc || !svcctx || !envctx) {
    LOG(LOG_ERR, "Failover callback: NULL pointer received.");
    return 0;
  }
  const AgentOptions &o = dbc->conn->opts;
  switch (fo_event) {
    case OCI_FO_BEGIN:
      // A BEGIN while this failover still holds the lock (no END or ABORT
      // came between) takes it no second time: END releases it once.
      if (!dbc->foLockHeld) {
        dbc->foLock.Enter();
        dbc->foLockHeld = 1;
      }
      StoreState(dbc, OCI_FO_BEGIN);
      dbc->foTries = 1;
      LOG(LOG_INFO, "Failover OCI_FO_BEGIN event. [Type = %s]", FailoverTypeName(fo_type));
      return 0;
    case OCI_FO_ERROR: {
      StoreState(dbc, OCI_FO_ERROR);
      LOG(LOG_INFO, "Failover OCI_FO_ERROR event.");
      uint32_t triesSoFar = dbc->foTries++;
      if (triesSoFar > static_cast<uint32_t>(o.tafMaxRetries)) {
        StoreState(dbc, OCI_FO_ABORT);
        LOG(LOG_INFO, "Failover - max. number of tries exceeded.");
        ReleaseFailoverLock(dbc);
        return 0;
      }
      if (o.tafRetryInterval > 0) std::this_thread::sleep_for(std::chrono::seconds(o.tafRetryInterval));
      return OCI_FO_RETRY;
    }
    case OCI_FO_END:
      StoreState(dbc, OCI_FO_END);
      LOG(LOG_INFO, "Failover OCI_FO_END event.");
      ReleaseFailoverLock(dbc);
      return 0;
    case OCI_FO_ABORT:
      StoreState(dbc, OCI_FO_ABORT);
      LOG(LOG_INFO, "Failover OCI_FO_ABORT event.");
      ReleaseFailoverLock(dbc);
      return 0;
    case OCI_FO_REAUTH:
      StoreState(dbc, OCI_FO_REAUTH);
      LOG(LOG_INFO, "Failover OCI_FO_REAUTH event.");
      return 0;
    default:
      LOG(LOG_WARNING, "Unknown failover event, %d", static_cast<int>(fo_event));
      return 0;
  }
}

// Registration of the agent: its own operation table and the three layers
// stacked above it (failover wrappers written into the agent's table in
// place, then the cursor layer, then the XA worker layer).
#include <mutex>

#include "drv_ora8/db-exec.h"
#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "scrs/sc_ext.h"
#include "scrs/sc_install.h"
#include "scrs/sc_pos.h"
#include "scrs/sc_s.h"
#include "xa.h"
#include "xa/xaw.h"

// Operations that other modules of the agent define. A module that is not
// part of the build leaves its address null; registration then puts a
// not-capable answer in the slot. Hidden, so that a missing one resolves to
// null at link time and never binds to a like-named symbol of another
// library in the process.
#define KVD_AGENT_OPTIONAL __attribute__((weak, visibility("hidden")))
KVD_AGENT_OPTIONAL int32_t ORA_AllocCursor(DrvHandle, DrvHandle *);
KVD_AGENT_OPTIONAL int32_t ORA_FreeCursor(DrvHandle);
KVD_AGENT_OPTIONAL int32_t ORA_GetCursorName(DrvHandle, char *, uint16_t, int16_t *);
KVD_AGENT_OPTIONAL int32_t ORA_SetCursorName(DrvHandle, const char *);
KVD_AGENT_OPTIONAL int32_t ORA_Prepare(DrvHandle, const char *);
KVD_AGENT_OPTIONAL int32_t ORA_SetParams(DrvHandle, Dataset *);
KVD_AGENT_OPTIONAL int32_t ORA_Execute(DrvHandle);
KVD_AGENT_OPTIONAL int32_t ORA_Reserved14(DrvHandle, uint16_t, uint16_t, void *);
KVD_AGENT_OPTIONAL int32_t ORA_DescribeColumns(DrvHandle, uint16_t *, ColDesc **);
KVD_AGENT_OPTIONAL int32_t ORA_DescribeParams(DrvHandle, uint16_t *, ColDesc **);
KVD_AGENT_OPTIONAL int32_t ORA_NativeSql(DrvHandle, const char *, char *, uint16_t, int16_t *);
KVD_AGENT_OPTIONAL int32_t ORA_SetParamInfo(DrvHandle, uint16_t, const ParamInfo *);
KVD_AGENT_OPTIONAL int32_t ORA_Fetch(DrvHandle, uint16_t, Dataset *);
KVD_AGENT_OPTIONAL int32_t ORA_CloseCursor(DrvHandle);
KVD_AGENT_OPTIONAL int32_t ORA_MoreResults(DrvHandle);
KVD_AGENT_OPTIONAL int32_t ORA_DDColumnPrivileges(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDColumns(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDForeignKeys(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDPrimaryKeys(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDProcedureColumns(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDProcedures(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDSpecialColumns(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDStatistics(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDTablePrivileges(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDTables(DrvHandle, CatalogArgs *);
KVD_AGENT_OPTIONAL int32_t ORA_DDTypeInfo(DrvHandle, int16_t);
KVD_AGENT_OPTIONAL int32_t ORA_ParamData(DrvHandle, int32_t *, int32_t *, int16_t **, int32_t *);
KVD_AGENT_OPTIONAL int32_t ORA_PutData(DrvHandle, uint32_t, int16_t, const void *, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_GetDataChunk(DrvHandle, int32_t, int32_t, int32_t, void **, int32_t *, int32_t *,
                                            int32_t *);
KVD_AGENT_OPTIONAL int32_t ORA_ExecDirect(DrvHandle, const char *, Dataset *, uint16_t, const ParamInfo *);
KVD_AGENT_OPTIONAL int32_t ORA_DescribeColumns2(DrvHandle, uint16_t *, int16_t *, ColDesc **, ColAttr **);
KVD_AGENT_OPTIONAL int32_t ORA_Cancel(DrvHandle);
KVD_AGENT_OPTIONAL int32_t ORA_XaClose(DrvHandle, const char *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaCommit(DrvHandle, xid_t *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaComplete(DrvHandle, int32_t *, int32_t *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaEnd(DrvHandle, xid_t *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaForget(DrvHandle, xid_t *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaOpen(DrvHandle, int32_t, const char *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaPrepare(DrvHandle, xid_t *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaRecover(DrvHandle, xid_t *, int32_t, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaRollback(DrvHandle, xid_t *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t ORA_XaStart(DrvHandle, xid_t *, int32_t, int32_t);
KVD_AGENT_OPTIONAL int32_t DescribeParamsByQuery(AgentCursor *);
#undef KVD_AGENT_OPTIONAL

namespace {

// XA verbs answer X/Open codes: an XA operation the build lacks is a
// resource manager error, never a success.
int32_t XaNotBuilt(DrvHandle, const char *, int32_t, int32_t) { return XAER_RMERR; }
int32_t XaNotBuiltXid(DrvHandle, xid_t *, int32_t, int32_t) { return XAER_RMERR; }
int32_t XaNotBuiltComplete(DrvHandle, int32_t *, int32_t *retval, int32_t, int32_t) {
  if (retval) *retval = 0;
  return XAER_RMERR;
}
int32_t XaNotBuiltOpen(DrvHandle, int32_t, const char *, int32_t, int32_t) { return XAER_RMERR; }
int32_t XaNotBuiltRecover(DrvHandle, xid_t *, int32_t, int32_t, int32_t) { return XAER_RMERR; }

template <class F>
F Or(F op, F fallback) {
  return op ? op : fallback;
}

DrvOps MakeBase() {
  DrvOps t{};
  t.DRV_GetInfo = ORA_GetInfo;
  t.DRV_SetInfo = ORA_SetInfo;
  t.DRV_GetErrors = ORA_GetErrors;
  t.DRV_Init = ORA_Init;
  t.DRV_Term = ORA_Term;
  t.DRV_Connect = ORA_Connect;
  t.DRV_Disconnect = ORA_Disconnect;
  t.DRV_AllocCursor = ORA_AllocCursor;
  t.DRV_FreeCursor = ORA_FreeCursor;
  t.DRV_GetCursorName = ORA_GetCursorName;
  t.DRV_SetCursorName = ORA_SetCursorName;
  t.DRV_Prepare = ORA_Prepare;
  t.DRV_SetParams = ORA_SetParams;
  t.DRV_Execute = ORA_Execute;
  t.DRV_Reserved14 = ORA_Reserved14;
  t.DRV_DescribeColumns = ORA_DescribeColumns;
  t.DRV_DescribeParams = ORA_DescribeParams;
  t.DRV_NativeSql = ORA_NativeSql;
  t.DRV_SetParamInfo = ORA_SetParamInfo;
  t.DRV_Fetch = ORA_Fetch;
  t.DRV_CloseCursor = ORA_CloseCursor;
  t.DRV_Commit = ORA_Commit;
  t.DRV_Rollback = ORA_Rollback;
  t.DRV_GetOpTable = ORA_GetOpTable;
  t.DRV_MoreResults = ORA_MoreResults;
  t.DRV_DDColumnPrivileges = ORA_DDColumnPrivileges;
  t.DRV_DDColumns = ORA_DDColumns;
  t.DRV_DDForeignKeys = ORA_DDForeignKeys;
  t.DRV_DDPrimaryKeys = ORA_DDPrimaryKeys;
  t.DRV_DDProcedureColumns = ORA_DDProcedureColumns;
  t.DRV_DDProcedures = ORA_DDProcedures;
  t.DRV_DDSpecialColumns = ORA_DDSpecialColumns;
  t.DRV_DDStatistics = ORA_DDStatistics;
  t.DRV_DDTablePrivileges = ORA_DDTablePrivileges;
  t.DRV_DDTables = ORA_DDTables;
  t.DRV_DDTypeInfo = ORA_DDTypeInfo;
  t.DRV_ParamData = ORA_ParamData;
  t.DRV_PutData = ORA_PutData;
  t.DRV_GetDataChunk = ORA_GetDataChunk;
  t.DRV_ExecDirect = ORA_ExecDirect;
  t.DRV_Savepoint = ORA_Savepoint;
  t.DRV_DescribeColumns2 = ORA_DescribeColumns2;
  t.DRV_Cancel = ORA_Cancel;
  t.DRV_XaClose = Or<DRV_XaClose_t>(ORA_XaClose, XaNotBuilt);
  t.DRV_XaCommit = Or<DRV_XaXid_t>(ORA_XaCommit, XaNotBuiltXid);
  t.DRV_XaComplete = Or<DRV_XaComplete_t>(ORA_XaComplete, XaNotBuiltComplete);
  t.DRV_XaEnd = Or<DRV_XaXid_t>(ORA_XaEnd, XaNotBuiltXid);
  t.DRV_XaForget = Or<DRV_XaXid_t>(ORA_XaForget, XaNotBuiltXid);
  t.DRV_XaOpen = Or<DRV_XaOpen_t>(ORA_XaOpen, XaNotBuiltOpen);
  t.DRV_XaPrepare = Or<DRV_XaXid_t>(ORA_XaPrepare, XaNotBuiltXid);
  t.DRV_XaRecover = Or<DRV_XaRecover_t>(ORA_XaRecover, XaNotBuiltRecover);
  t.DRV_XaRollback = Or<DRV_XaXid_t>(ORA_XaRollback, XaNotBuiltXid);
  t.DRV_XaStart = Or<DRV_XaXid_t>(ORA_XaStart, XaNotBuiltXid);
  // The slots that only the cursor layer serves (scroll fetch, SetPos, bulk
  // operations, ...), and operations not built yet: "not capable".
  DrvOpsFillEmpty(t);
  return t;
}

DrvOps g_agentTable;                      // the agent's own table (wrappers written in)
DrvObject g_agentObject = {DRVOBJ_THREADSAFE, &g_agentTable};
std::once_flag g_tableOnce;

}  // namespace

const DrvOps &ORA_BaseOps() {
  static const DrvOps base = MakeBase();
  return base;
}

DrvOps *ORA_AgentTable() {
  std::call_once(g_tableOnce, [] { g_agentTable = ORA_BaseOps(); });
  return &g_agentTable;
}

DrvObject *ORA_AgentObject() {
  ORA_AgentTable();
  return &g_agentObject;
}

int32_t ORA_Register(DrvObject *obj) {
  if (!obj) return 0;
  // The agent's own table, failover wrappers in place.
  obj->flags = DRVOBJ_THREADSAFE;
  obj->table = ORA_AgentTable();
  TAF_InstallWrappers(obj);
  // The cursor layer stacks its table on top and keeps the object as it is
  // now for its own calls down; then the XA worker layer does the same.
  scs_SetCursorLookup([](DrvHandle h) -> ScsCursor * {
    AgentCursor *cur = Agent_Cursor(h);
    return cur ? &cur->scs : nullptr;
  });
  scs_SetSetPosStarter(DAE_StartSetPos);
  scs_SetErrorMover([](DrvHandle from, DrvHandle to) {
    AgentCursor *cur = Agent_Cursor(from);
    AgentConn *conn = Agent_Conn(to);
    if (!cur || !conn) return;
    ErrList_Free(&conn->errs);
    conn->errs.first = cur->errs.first;
    cur->errs.first = nullptr;
  });
  scs_Install(obj);
  xaw_SetAgentLookups(ORA_XaWorkerOfConn, ORA_XaWorkerOfCursor);
  xaw_Init(obj);
  return 0;
}

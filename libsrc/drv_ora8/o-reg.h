#pragma once
// The agent's operations, one per DrvOps slot, and its registration.
//
// ORA_Register builds the agent's own table from the operations below. An
// operation whose module is not part of the build yet is missing from the
// link: registration finds its address null and the slot answers 43 (S1C00
// "Driver not capable") instead (XA slots: XAER_RMERR), so a module plugs in
// just by defining its ORA_* function with the signature given here.
//
// Because those references are weak, a static link does not pull a module
// out of libkvd_agent.a on their account: link the agent whole-archive (the
// drivers do, see cmake/KvdDriver.cmake; tests use
// "$<LINK_LIBRARY:WHOLE_ARCHIVE,kvd_agent>").
#include <cstdint>

#include "odbc/drvops.h"

struct AgentCursor;

// Slot 0..65 operations, in slot order (drvops.h gives each slot's contract).
int32_t ORA_GetInfo(DrvHandle h, uint32_t code, void *buf, uint16_t bufLen, int16_t *outLen);
int32_t ORA_SetInfo(DrvHandle h, uint32_t code, const void *value);
int32_t ORA_GetErrors(DrvHandle h, DrvMsgList *out);
int32_t ORA_Init(const DrvInitReq *req, DrvHandle *server);
int32_t ORA_Term(DrvHandle server);
int32_t ORA_Connect(DrvHandle server, const ConnectReq *req, DrvHandle *conn);
int32_t ORA_Disconnect(DrvHandle conn);
int32_t ORA_AllocCursor(DrvHandle conn, DrvHandle *cursor);
int32_t ORA_FreeCursor(DrvHandle cursor);
int32_t ORA_GetCursorName(DrvHandle cursor, char *buf, uint16_t bufSize, int16_t *outLen);
int32_t ORA_SetCursorName(DrvHandle cursor, const char *name);
int32_t ORA_Prepare(DrvHandle cursor, const char *sql);
int32_t ORA_SetParams(DrvHandle cursor, Dataset *params);
int32_t ORA_Execute(DrvHandle cursor);
int32_t ORA_Reserved14(DrvHandle h, uint16_t a, uint16_t b, void *p);
int32_t ORA_DescribeColumns(DrvHandle cursor, uint16_t *count, ColDesc **cols);
int32_t ORA_DescribeParams(DrvHandle cursor, uint16_t *count, ColDesc **params);
int32_t ORA_NativeSql(DrvHandle conn, const char *sql, char *buf, uint16_t bufLen, int16_t *outLen);
int32_t ORA_SetParamInfo(DrvHandle cursor, uint16_t count, const ParamInfo *info);
int32_t ORA_Fetch(DrvHandle cursor, uint16_t rows, Dataset *out);
int32_t ORA_CloseCursor(DrvHandle cursor);
int32_t ORA_Commit(DrvHandle conn);
int32_t ORA_Rollback(DrvHandle conn);
int32_t ORA_GetOpTable(DrvHandle conn, OpTableReq *req);
int32_t ORA_MoreResults(DrvHandle cursor);
int32_t ORA_DDColumnPrivileges(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDColumns(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDForeignKeys(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDPrimaryKeys(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDProcedureColumns(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDProcedures(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDSpecialColumns(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDStatistics(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDTablePrivileges(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDTables(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDTypeInfo(DrvHandle cursor, int16_t sqlType);
int32_t ORA_ParamData(DrvHandle cursor, int32_t *index, int32_t *row, int16_t **status, int32_t *count);
int32_t ORA_PutData(DrvHandle cursor, uint32_t valueType, int16_t indicator, const void *data, int32_t length);
int32_t ORA_GetDataChunk(DrvHandle cursor, int32_t column, int32_t row, int32_t maxBytes, void **piece,
                         int32_t *size, int32_t *valueType, int32_t *left);
int32_t ORA_ExecDirect(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info);
int32_t ORA_Savepoint(DrvHandle conn, int32_t action, const char *name);
int32_t ORA_DescribeColumns2(DrvHandle cursor, uint16_t *colCount, int16_t *attrCount, ColDesc **cols,
                             ColAttr **attrs);
int32_t ORA_Cancel(DrvHandle cursor);
int32_t ORA_XaClose(DrvHandle conn, const char *info, int32_t rmid, int32_t flags);
int32_t ORA_XaCommit(DrvHandle conn, xid_t *xid, int32_t rmid, int32_t flags);
int32_t ORA_XaComplete(DrvHandle conn, int32_t *handle, int32_t *retval, int32_t rmid, int32_t flags);
int32_t ORA_XaEnd(DrvHandle conn, xid_t *xid, int32_t rmid, int32_t flags);
int32_t ORA_XaForget(DrvHandle conn, xid_t *xid, int32_t rmid, int32_t flags);
int32_t ORA_XaOpen(DrvHandle conn, int32_t threaded, const char *info, int32_t rmid, int32_t flags);
int32_t ORA_XaPrepare(DrvHandle conn, xid_t *xid, int32_t rmid, int32_t flags);
int32_t ORA_XaRecover(DrvHandle conn, xid_t *xids, int32_t count, int32_t rmid, int32_t flags);
int32_t ORA_XaRollback(DrvHandle conn, xid_t *xid, int32_t rmid, int32_t flags);
int32_t ORA_XaStart(DrvHandle conn, xid_t *xid, int32_t rmid, int32_t flags);
// Where a connection keeps its XA worker, by connection or cursor handle
// (null for a handle the agent does not hold).
struct XaWorker;
XaWorker **ORA_XaWorkerOfConn(DrvHandle conn);
XaWorker **ORA_XaWorkerOfCursor(DrvHandle cursor);

// Description of a cursor's parameters by probe queries (statement option
// 0x3203000F); optional like the operations above.
int32_t DescribeParamsByQuery(AgentCursor *cursor);

// The agent's operations as registration installs them below the failover
// wrappers: every slot filled (missing operations answer 43, XA XAER_RMERR).
// The failover wrappers call down through this table.
const DrvOps &ORA_BaseOps();

// The agent's own table: the base operations with the failover wrappers
// written in. ORA_Register points objects at it before the upper layers
// stack themselves on top.
DrvOps *ORA_AgentTable();

// The object below the cursor layer ({2, the agent's own table}): what an
// agent cursor's ScsCursor names as its lower object until the cursor layer
// records its own.
DrvObject *ORA_AgentObject();

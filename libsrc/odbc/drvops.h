#pragma once
// The driver operation table: the one road from the front end (and the data
// exchange layer) down to the database agent.
//
// A DrvObject {flags, table} points at a DrvOps table of 66 typed operation
// slots. ORA_Register fills a DrvObject with the agent's own table and stacks
// the layers above it (failover wrappers written into the agent's table in
// place, then the cursor layer's copy, then the XA worker layer's copy); the
// object ends at the top table, so a call reaches, for each slot, the highest
// layer that fills it. Every layer keeps the same slot order and argument
// shapes, so a layer is installed by copying the table below and overwriting
// the slots it serves. A slot that no layer fills is a null pointer: call
// through DrvCall(), which answers E_S1C00 for it, or fill the holes with
// DrvOpsFillEmpty().
//
// Handles: every operation takes an agent handle value first, unsigned
// 32-bit, the agent table's tag in the high half (0xAAAA server, 0xBBBB
// connection, 0xCCCC cursor) and the slot in the low half. "S", "C" and "K"
// below say which kind a slot expects; a handle of another kind, or one the
// table does not hold, gives E_S1009 (21).
//
// Results: every operation but the XA ones returns 0 for success or a row
// number of SqlStateTable (odbc/sqlstate.h). Besides plain errors a few codes
// are signals: 1 (IM001) item not known to GetInfo/SetInfo, 73 (IM901) no more
// results, 74 (IM902) success with a warning, 75 (01S02) option value changed,
// 80 (IM906) output parameter values present, 82 (IM907) no rows,
// 102 (IM922) data at execution needed, 183/184 (IM500/IM501) failover
// completed/aborted. A failing operation may leave texts on the handle's error
// list, read once with DRV_GetErrors. The XA slots 55 to 64 return X/Open XA
// codes instead (XA_OK 0, XAER_RMERR -3, XAER_INVAL -5, ...).
//
// Ownership across the table: ColDesc arrays, ColAttr arrays, DrvMsgList
// texts, status arrays, Rowsets and data-chunk pieces handed up become the
// caller's; a parameter Dataset handed down through DRV_SetParams, DRV_SetPos
// or DRV_BulkOperations becomes the lower layer's unless bit 0 of the
// DrvObject's flags is set (the registered value 2 leaves it clear).
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "odbc/sqlstate.h"

// Records owned by other modules; the table only passes pointers to them.
struct Dataset;   // odbc/dataset.h: column-major row container
struct ColDesc;   // odbc/dataset.h: description of a result column or parameter
struct ColAttr;   // odbc/colattr.h: extended column attribute {column, id, kind, value}
struct Rowset;    // odbc/data: rowset of one scroll fetch {statuses, Dataset, count}
struct xid_t;     // X/Open XA transaction id (XID)

// An agent handle value: tag << 16 | slot.
using DrvHandle = uint32_t;

constexpr uint16_t kDrvTagServer = 0xAAAA;
constexpr uint16_t kDrvTagConn = 0xBBBB;
constexpr uint16_t kDrvTagCursor = 0xCCCC;

constexpr uint16_t DrvHandleTag(DrvHandle h) { return static_cast<uint16_t>(h >> 16); }

// ---------------------------------------------------------------------------
// InfoCode: the 32-bit question or option of DRV_GetInfo / DRV_SetInfo,
// 0xCKGGIIII: class C (1 server, 2 connection, 3 cursor), kind K (1 string,
// 2 32-bit integer), group GG (0x01 agent items, 0x03 connection and
// statement options, 0x04 SQLGetInfo information types), item IIII.

enum InfoClass : uint32_t { IC_SERVER = 1, IC_CONN = 2, IC_CURSOR = 3 };
enum InfoKind : uint32_t { IK_STRING = 1, IK_INT = 2 };
enum InfoGroup : uint32_t { IG_AGENT = 0x01, IG_OPTION = 0x03, IG_GETINFO = 0x04 };

constexpr uint32_t InfoCode(uint32_t cls, uint32_t kind, uint32_t group, uint32_t item) {
  return (cls & 0xF) << 28 | (kind & 0xF) << 24 | (group & 0xFF) << 16 | (item & 0xFFFF);
}
constexpr uint32_t InfoCodeClass(uint32_t code) { return code >> 28; }
constexpr uint32_t InfoCodeKind(uint32_t code) { return (code >> 24) & 0xF; }
constexpr uint32_t InfoCodeGroup(uint32_t code) { return (code >> 16) & 0xFF; }
constexpr uint32_t InfoCodeItem(uint32_t code) { return code & 0xFFFF; }

// Codes built by rule.
constexpr uint32_t InfoGetInfoInt(uint16_t infoType) { return InfoCode(IC_CONN, IK_INT, IG_GETINFO, infoType); }      // 0x22040000 + type
constexpr uint32_t InfoGetInfoStr(uint16_t infoType) { return InfoCode(IC_CONN, IK_STRING, IG_GETINFO, infoType); }   // 0x21040000 + type
constexpr uint32_t InfoStmtOption(uint16_t option) { return InfoCode(IC_CURSOR, IK_INT, IG_OPTION, option); }         // 0x32030000 + option
constexpr uint32_t InfoStmtOptionStr(uint16_t option) { return InfoCode(IC_CURSOR, IK_STRING, IG_OPTION, option); }   // 0x31030000 + option
constexpr uint32_t InfoConnOption(uint16_t option) { return InfoCode(IC_CONN, IK_INT, IG_OPTION, option); }           // 0x22030000 + option
constexpr uint32_t InfoConnOptionStr(uint16_t option) { return InfoCode(IC_CONN, IK_STRING, IG_OPTION, option); }     // 0x21030000 + option

// Named codes the layers ask.
enum : uint32_t {
  INFO_AGENT_NAME = 0x11010000,        // server: the agent's name ("oracle11")
  INFO_NEEDBIND = 0x22010002,          // single capability questions, asked when
  INFO_MORERES = 0x22010003,           //   the capability mask is not answered
  INFO_PARAMOP = 0x22010004,
  INFO_SPOUT_DEFER = 0x22010005,
  INFO_SCROLL = 0x22010006,
  INFO_LOCKS_ROWS = 0x22010007,
  INFO_DYNMIX = 0x22010008,
  INFO_MAX_PARAMS = 0x22010009,
  INFO_V2DAE = 0x2201000A,
  INFO_ROWVER = 0x2201000B,
  INFO_ODBC_VERSION = 0x2201000C,      // set: the environment's ODBC version
  INFO_CUR_QUALIFIER = 0x2101000D,     // string: the current catalog read back
  INFO_EXECUTE2 = 0x2201000E,
  INFO_DEFER_LONG = 0x2201000F,        // set: deferred long fetch
  INFO_CAPS_STRING = 0x21010010,       // string: the cursor layer's capabilities
  INFO_CAPS_MASK = 0x22010011,         // the 32-bit capability mask (DrvCaps)
  INFO_ITEM12 = 0x22010012,
  INFO_WIDE = 0x22010013,              // 1 when the connection runs in wide mode
  INFO_XA_KEEP_WORKER = 0x22010017,
  INFO_XA_KILL_WORKER = 0x22010018,
  INFO_AUTOCOMMIT = 0x22030000,        // connection option: autocommit
  INFO_ACCESS_MODE = 0x22030001,       // connection option: read-only access
  INFO_ISOLATION = 0x2203006C,         // connection option: transaction isolation
  INFO_SET_QUALIFIER = 0x2103006D,     // connection option: current catalog (text)
  INFO_FAILOVER_REPORT = 0x22030500,   // connection option: failover reporting
  INFO_ROW_COUNT = 0x32010000,         // cursor: rows affected (-1 unknown)
};

// Bits of the capability mask (INFO_CAPS_MASK); each sets one Conn flag.
enum DrvCaps : uint32_t {
  CAP_NEEDBIND = 0x1,          // cn_needbind: bind parameters before execute
  CAP_MORERES = 0x2,           // cn_hasMoreRes
  CAP_PARAMOP = 0x4,           // cn_hasParamOp: parameter arrays
  CAP_SCROLL = 0x8,            // cn_hasScrlCurs
  CAP_DYNMIX = 0x10,           // cn_hasDynMixCurs
  CAP_V2DAE = 0x20,            // cn_hasV2DAE: data at execution in the agent
  CAP_SPOUT_DEFER = 0x40,      // cn_spOutDeferFetch
  CAP_EXECUTE2 = 0x80,         // cn_hasExecute2: one-call DRV_ExecDirect
  CAP_AUTOCOMMIT = 0x100,      // autocommit on at connect
  CAP_GETINFO_CVT = 0x200,     // SQLGetInfo conversion types answered below
  CAP_DESCRIBE2 = 0x400,       // DRV_DescribeColumns2 with ColAttr rows
  CAP_EXECDIRECT2 = 0x800,     // DRV_ExecDirect2 with ParamDesc records
  CAP_MAX_LENGTH = 0x1000,     // SQL_MAX_LENGTH passed to the agent
  CAP_DTC = 0x2000,            // DTC enlistment
  CAP_FAILOVER_CB = 0x4000,    // failover callback attribute 1280
};

// ---------------------------------------------------------------------------
// Records passed through the table.

// The record of DRV_Init: taken from the connection, not read by the agent.
struct DrvInitReq {
  const char *serverOptions;
  const char *serverType;
};

// The 4 bytes in front of ConnectReq::serverOptions of a connection made
// through a W entry point: "W", DEL, 1, 1.
constexpr unsigned char kWideMarker[4] = {0x57, 0x7F, 0x01, 0x01};

// The connect request that the front end hands to DRV_Connect. The texts
// belong to the connection (or to the request's maker); the agent and the
// cursor layer copy what they keep. Fields in this order.
struct ConnectReq {
  const char *host;            // host, or "host:port" when the port is 1..65535
  const char *serverOptions;   // kWideMarker first for W connections; may be null
  const char *serverType;
  const char *dbPath;
  const char *dataSource;      // DSN, or "Default"
  const char *dbOptions;       // the SQLNET attribute
  int32_t readOnly;            // 1 read-only connection
  const char *user;            // "" when none
  const char *password;        // "" when none
  uint16_t loginTimeout;       // login-timeout marker: 99 when a timeout is set, else 0
  const char *extra;           // extra request text
  int32_t reserved;            // always 0
  int32_t flag40;              // connection flag 0x40 (never set): 0
  const char *programName;     // the running program's name
};

// True when the request came through a W entry point.
inline bool ConnectReqIsWide(const ConnectReq *req) {
  const char *o = req ? req->serverOptions : nullptr;
  if (!o) return false;
  for (int i = 0; i < 4; ++i)
    if (static_cast<unsigned char>(o[i]) != kWideMarker[i]) return false;
  return true;
}

// Error texts handed up by DRV_GetErrors; the receiver frees each text (C
// free) and the array. Each text reads "[Oracle Server]<message>[SQLSTATE:xxxxx]".
struct DrvMsgList {
  uint32_t native;    // native code of the first record
  uint32_t count;     // number of entries in messages (an entry may be null)
  char **messages;
};

// Per-parameter information sent with DRV_SetParamInfo / DRV_ExecDirect.
enum ParamDir : int16_t { PARAM_IN = 1, PARAM_INOUT = 2, PARAM_OUT = 4 };
struct ParamInfo {
  int32_t sqlType;        // ODBC SQL type (sign-extended)
  int32_t cType;          // ODBC C type (sign-extended)
  uint32_t columnSize;    // low 32 bits of the column size
  int16_t decimalDigits;
  int16_t paramType;      // ParamDir
};
static_assert(sizeof(ParamInfo) == 16, "ParamInfo is a 16-byte record");

// A ParamInfo with the parameter's name (DRV_ExecDirect2, DRV_SetParamInfo2).
struct ParamDesc {
  ParamInfo info;
  char *name;             // NUL-terminated UTF-8 owned by the record's maker, or null
};

// Arguments of the catalog slots 25 to 34: the name texts in the order of
// the ODBC call (NUL-terminated, UTF-8 on a W connection; absent ones already
// replaced by "%" or ""), then the options. The agent may change the texts in
// place. Unused entries are null / 0.
//   25 ColumnPrivileges, 26 Columns: catalog, schema, table, column
//   27 ForeignKeys: pk catalog, pk schema, pk table, fk catalog, fk schema, fk table
//   28 PrimaryKeys, 33 TablePrivileges: catalog, schema, table
//   29 ProcedureColumns: catalog, schema, procedure, column
//   30 Procedures: catalog, schema, procedure
//   31 SpecialColumns: catalog, schema, table; options identifier type, scope, nullable
//   32 Statistics: catalog, schema, table; options unique, accuracy
//   34 Tables: catalog, schema, table, table type list
struct CatalogArgs {
  char *names[6];
  uint16_t options[3];
};

// The conversion table of DRV_GetOpTable: rows end with a row of type 0.
struct OpTableRow {
  int32_t type;       // ODBC C type code
  int32_t second;     // 65533 in the SQL_C_CHAR and SQL_C_BINARY rows, else 0
  uint32_t mask;      // SQL_CVT_ bits of the SQL types the C type converts to
};
struct OpTableReq {
  uint16_t kind;            // the caller sets 1
  int32_t rowCount;         // written: rows before the terminating row
  const OpTableRow *rows;   // written: the agent's static rows (never freed)
};

// One statement of DRV_ExecBatch.
struct DrvBatchStmt {
  const char *text;         // null: the first statement runs as prepared
  uint16_t paramCount;
  ParamInfo *params;
  Dataset *values;
};

// ---------------------------------------------------------------------------
// Slot signatures, in slot order. Widths: u16/i16 16-bit, u32/i32 32-bit.

// 0 DRV_GetInfo(any handle, code, buffer, buffer length, out length).
// Answers an InfoCode: kind 1 copies a NUL-terminated text into the buffer
// (cut to buffer length - 1), kind 2 writes a 32-bit integer and 4 to *outLen.
// A null buffer or outLen is skipped. 0; 1 item not known; 21 dead handle or
// buffer too small; 43 known but not answerable.
using DRV_GetInfo_t = int32_t (*)(DrvHandle h, uint32_t code, void *buf, uint16_t bufLen, int16_t *outLen);
// 1 DRV_SetInfo(C or K, code, value): value points to the 32-bit integer
// (kind 2) or to a NUL-terminated text (kind 1). 0; 75 stored another value
// (read it back with DRV_GetInfo and the same code); 1 not known; 43 cannot
// be set; 21.
using DRV_SetInfo_t = int32_t (*)(DrvHandle h, uint32_t code, const void *value);
// 2 DRV_GetErrors(any handle, out list): hands up, once, the error texts that
// the last failed operation left on the handle (count 0 and null texts when
// none) and empties the handle's list. 0; 21; 16 (list unchanged).
using DRV_GetErrors_t = int32_t (*)(DrvHandle h, DrvMsgList *out);
// 3 DRV_Init(request, out server handle): references the agent's server
// context (made by the first call of the process). 0 or an error.
using DRV_Init_t = int32_t (*)(const DrvInitReq *req, DrvHandle *server);
// 4 DRV_Term(S): releases one reference; the last destroys the context.
using DRV_Term_t = int32_t (*)(DrvHandle server);
// 5 DRV_Connect(S, request, out connection): opens a database connection.
// Failure texts are left on the server handle's error list. 0 or an error
// (53 connect failed, 16, ...).
using DRV_Connect_t = int32_t (*)(DrvHandle server, const ConnectReq *req, DrvHandle *conn);
// 6 DRV_Disconnect(C): closes and frees the connection on success.
using DRV_Disconnect_t = int32_t (*)(DrvHandle conn);
// 7 DRV_AllocCursor(C, out cursor): 0; 16; 21.
using DRV_AllocCursor_t = int32_t (*)(DrvHandle conn, DrvHandle *cursor);
// 8 DRV_FreeCursor(K): frees the cursor with its parameters and Dataset.
using DRV_FreeCursor_t = int32_t (*)(DrvHandle cursor);
// 9 DRV_GetCursorName(K, buffer, buffer size, out length): 0; 19 cut; 16.
using DRV_GetCursorName_t = int32_t (*)(DrvHandle cursor, char *buf, uint16_t bufSize, int16_t *outLen);
// 10 DRV_SetCursorName(K, name): 0; 16.
using DRV_SetCursorName_t = int32_t (*)(DrvHandle cursor, const char *name);
// 11 DRV_Prepare(K, SQL text): translates and prepares. 0; 16; 68 syntax;
// 95 not a SELECT on a read-only connection; database codes.
using DRV_Prepare_t = int32_t (*)(DrvHandle cursor, const char *sql);
// 12 DRV_SetParams(K, parameter Dataset): one column per parameter, one row
// per parameter set; the Dataset becomes the lower layer's.
using DRV_SetParams_t = int32_t (*)(DrvHandle cursor, Dataset *params);
// 13 DRV_Execute(K): 0; 74 warning; 80 output parameters present (read with
// DRV_Fetch of 0 rows); 102 data at execution needed; 22 not prepared; errors.
using DRV_Execute_t = int32_t (*)(DrvHandle cursor);
// 14 DRV_Reserved14(handle, u16, u16, pointer): always 43.
using DRV_Reserved14_t = int32_t (*)(DrvHandle h, uint16_t a, uint16_t b, void *p);
// 15 DRV_DescribeColumns(K, out count, out array or null): the result
// columns as a new ColDesc array (the caller's; ColDescFree).
using DRV_DescribeColumns_t = int32_t (*)(DrvHandle cursor, uint16_t *count, ColDesc **cols);
// 16 DRV_DescribeParams(K, out count, out array or null): the parameters,
// likewise; an array is handed out even for 0 parameters.
using DRV_DescribeParams_t = int32_t (*)(DrvHandle cursor, uint16_t *count, ColDesc **params);
// 17 DRV_NativeSql(C, SQL text, buffer, buffer length, out length): the
// translated text. 0; 109 cut; errors.
using DRV_NativeSql_t = int32_t (*)(DrvHandle conn, const char *sql, char *buf, uint16_t bufLen, int16_t *outLen);
// 18 DRV_SetParamInfo(K, count, records): the cursor keeps a copy; count 0
// clears it.
using DRV_SetParamInfo_t = int32_t (*)(DrvHandle cursor, uint16_t count, const ParamInfo *info);
// 19 DRV_Fetch(K, rows wanted, Dataset): lays the Dataset out afresh and
// fills at most rows rows; an empty Dataset (no columns, no rows) means the
// end. rows 0 hands over the output parameter row, if any. Long cells may
// carry indicator -3 (read them with DRV_GetDataChunk).
using DRV_Fetch_t = int32_t (*)(DrvHandle cursor, uint16_t rows, Dataset *out);
// 20 DRV_CloseCursor(K): drops the open result.
using DRV_CloseCursor_t = int32_t (*)(DrvHandle cursor);
// 21 DRV_Commit(C), 22 DRV_Rollback(C): 0; 124 in a global transaction; errors.
using DRV_Commit_t = int32_t (*)(DrvHandle conn);
using DRV_Rollback_t = int32_t (*)(DrvHandle conn);
// 23 DRV_GetOpTable(C, request): fills rowCount and rows for kind 1. 0; 21;
// 43 other kind.
using DRV_GetOpTable_t = int32_t (*)(DrvHandle conn, OpTableReq *req);
// 24 DRV_MoreResults(K): 0 next result open; 73 no more results; 80 output
// parameters ready.
using DRV_MoreResults_t = int32_t (*)(DrvHandle cursor);
// 25..34 catalog operations (K, arguments): open the catalog result on the
// cursor, read with DRV_Fetch.
using DRV_Catalog_t = int32_t (*)(DrvHandle cursor, CatalogArgs *args);
// 35 DRV_DDTypeInfo(K, SQL type, 0 = all): arms the type catalogue result.
using DRV_DDTypeInfo_t = int32_t (*)(DrvHandle cursor, int16_t sqlType);
// 36 DRV_ExtendedFetch(K, out Rowset, target value, out rows fetched,
// in/out row count): scroll fetch of the cursor layer (no orientation). The
// Rowset becomes the caller's. 82 no rows; 85/86 before start/after end.
using DRV_ExtendedFetch_t = int32_t (*)(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount);
// 37 DRV_SetPos(K, row (-2 all), operation 0 position 1 refresh 2 update
// 3 delete 4 add, lock, out status array (new, the caller frees), out status
// count / rows affected (may be null), values or row-mark Dataset, column
// list, column count): 0; 91 no row changed; 92 some rows; 102 data needed.
using DRV_SetPos_t = int32_t (*)(DrvHandle cursor, int32_t row, uint16_t op, uint16_t lock, int16_t **status,
                                 int32_t *count, Dataset *values, uint16_t *columns, uint16_t columnCount);
// 38 DRV_ParamData(K, out parameter index, out row (both 0-based), out
// SetPos status array, out count): 102 with the next cell that needs data;
// when none is left, completes the pending execute or SetPos and returns its
// result; 22 when nothing is pending.
using DRV_ParamData_t = int32_t (*)(DrvHandle cursor, int32_t *index, int32_t *row, int16_t **status, int32_t *count);
// 39 DRV_PutData(K, ValueType of the piece, indicator (-1 NULL), data,
// length): appends a piece to the current cell. 22 second piece of a fixed type.
using DRV_PutData_t = int32_t (*)(DrvHandle cursor, uint32_t valueType, int16_t indicator, const void *data, int32_t length);
// 40 DRV_GetDataChunk(K, column from 1, row from 1, maximum bytes, out piece
// (new, C free), out size, out ValueType (1, 24 or 14), out bytes left
// including this piece (-1 NULL)): 0; 15 not a long column; 16; 21.
using DRV_GetDataChunk_t = int32_t (*)(DrvHandle cursor, int32_t column, int32_t row, int32_t maxBytes, void **piece,
                                       int32_t *size, int32_t *valueType, int32_t *left);
// 41 DRV_FetchScroll: as 36 with the orientation (1 NEXT .. 8 BOOKMARK).
using DRV_FetchScroll_t = int32_t (*)(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount,
                                      uint16_t orientation);
// 42 DRV_BulkOperations(K, operation 4 add 5 update 6 delete 7 fetch by
// bookmark, bookmarks, count, values (update), column list, column count,
// out status array (new, caller frees), out count, out Rowset (fetch)).
using DRV_BulkOperations_t = int32_t (*)(DrvHandle cursor, int16_t op, const int32_t *bookmarks, uint16_t count,
                                         Dataset *values, uint16_t *columns, uint16_t columnCount, int16_t **status,
                                         int16_t *outCount, Rowset **rowset);
// 43 DRV_ExecDirect(K, text or null, Dataset or null, count, records):
// prepares when a text is given, sets the values when a Dataset is given and
// the parameter information when count is not 0, executes; results as 13.
using DRV_ExecDirect_t = int32_t (*)(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count,
                                     const ParamInfo *info);
// 44 DRV_ExecDescribe(K, text, Dataset, count, records, in/out rowset size,
// out column count, out columns, out parameter count, out parameters, out
// row count): execute, then describe. 80 output parameters present.
using DRV_ExecDescribe_t = int32_t (*)(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count,
                                       const ParamInfo *info, uint32_t *rowsetSize, uint16_t *colCount,
                                       ColDesc **cols, uint16_t *parCount, ColDesc **pars, int32_t *rowCount);
// 45 DRV_AllocPrepare(C, text or null, concurrency, cursor type, out cursor).
using DRV_AllocPrepare_t = int32_t (*)(DrvHandle conn, const char *sql, int32_t concurrency, int32_t cursorType,
                                       DrvHandle *cursor);
// 46 DRV_DescribeColTypes(K, out count, out ColDesc array, Dataset): value
// types and octet lengths of the result columns by an empty fetch.
using DRV_DescribeColTypes_t = int32_t (*)(DrvHandle cursor, uint16_t *count, ColDesc **cols, Dataset *scratch);
// 47 DRV_FetchSnapshot: as 41, long values kept aside for 48.
using DRV_FetchSnapshot_t = DRV_FetchScroll_t;
// 48 DRV_GetSnapshotChunk: as 40, from the snapshot.
using DRV_GetSnapshotChunk_t = DRV_GetDataChunk_t;
// 49 DRV_ExecBatch(K, count, statements, out count done, out row counts (new
// array of count entries, the caller's)): DDL/DML only; 162 on a query; 74
// when every statement ran and one warned (its records wait on the cursor).
using DRV_ExecBatch_t = int32_t (*)(DrvHandle cursor, uint16_t count, const DrvBatchStmt *stmts, uint16_t *done,
                                    int32_t **rowCounts);
// 50 DRV_Savepoint(C, action 0 set 1 roll back to 2 release, name).
using DRV_Savepoint_t = int32_t (*)(DrvHandle conn, int32_t action, const char *name);
// 51 DRV_DescribeColumns2(K, out column count, out attribute count, out
// ColDesc array, out ColAttr array): 15 plus the extended attribute rows;
// all outputs required (21).
using DRV_DescribeColumns2_t = int32_t (*)(DrvHandle cursor, uint16_t *colCount, int16_t *attrCount, ColDesc **cols,
                                           ColAttr **attrs);
// 52 DRV_ExecDescribe2: as 44 with the attribute outputs of 51.
using DRV_ExecDescribe2_t = int32_t (*)(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count,
                                        const ParamInfo *info, uint32_t *rowsetSize, uint16_t *colCount,
                                        ColDesc **cols, uint16_t *parCount, ColDesc **pars, int16_t *attrCount,
                                        ColAttr **attrs, int32_t *rowCount);
// 53 DRV_Cancel(K): cancels the cursor's running execution (may arrive on
// another thread).
using DRV_Cancel_t = int32_t (*)(DrvHandle cursor);
// 54 DRV_ExecDirect2: as 43 with named parameter records.
using DRV_ExecDirect2_t = int32_t (*)(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count,
                                      const ParamDesc *desc);
// 55..64 XA verbs on a connection; X/Open XA results.
using DRV_XaClose_t = int32_t (*)(DrvHandle conn, const char *info, int32_t rmid, int32_t flags);
using DRV_XaXid_t = int32_t (*)(DrvHandle conn, xid_t *xid, int32_t rmid, int32_t flags);   // 56, 58, 59, 61, 63, 64
using DRV_XaComplete_t = int32_t (*)(DrvHandle conn, int32_t *handle, int32_t *retval, int32_t rmid, int32_t flags);
using DRV_XaOpen_t = int32_t (*)(DrvHandle conn, int32_t threaded, const char *info, int32_t rmid, int32_t flags);
using DRV_XaRecover_t = int32_t (*)(DrvHandle conn, xid_t *xids, int32_t count, int32_t rmid, int32_t flags);
// 65 DRV_SetParamInfo2(K, count, records): as 18 with named records.
using DRV_SetParamInfo2_t = int32_t (*)(DrvHandle cursor, uint16_t count, const ParamDesc *desc);

// The table. Member names are the slot names; the order is the slot order.
struct DrvOps {
  DRV_GetInfo_t DRV_GetInfo;                   // 0
  DRV_SetInfo_t DRV_SetInfo;                   // 1
  DRV_GetErrors_t DRV_GetErrors;               // 2
  DRV_Init_t DRV_Init;                         // 3
  DRV_Term_t DRV_Term;                         // 4
  DRV_Connect_t DRV_Connect;                   // 5
  DRV_Disconnect_t DRV_Disconnect;             // 6
  DRV_AllocCursor_t DRV_AllocCursor;           // 7
  DRV_FreeCursor_t DRV_FreeCursor;             // 8
  DRV_GetCursorName_t DRV_GetCursorName;       // 9
  DRV_SetCursorName_t DRV_SetCursorName;       // 10
  DRV_Prepare_t DRV_Prepare;                   // 11
  DRV_SetParams_t DRV_SetParams;               // 12
  DRV_Execute_t DRV_Execute;                   // 13
  DRV_Reserved14_t DRV_Reserved14;             // 14
  DRV_DescribeColumns_t DRV_DescribeColumns;   // 15
  DRV_DescribeParams_t DRV_DescribeParams;     // 16
  DRV_NativeSql_t DRV_NativeSql;               // 17
  DRV_SetParamInfo_t DRV_SetParamInfo;         // 18
  DRV_Fetch_t DRV_Fetch;                       // 19
  DRV_CloseCursor_t DRV_CloseCursor;           // 20
  DRV_Commit_t DRV_Commit;                     // 21
  DRV_Rollback_t DRV_Rollback;                 // 22
  DRV_GetOpTable_t DRV_GetOpTable;             // 23
  DRV_MoreResults_t DRV_MoreResults;           // 24
  DRV_Catalog_t DRV_DDColumnPrivileges;        // 25
  DRV_Catalog_t DRV_DDColumns;                 // 26
  DRV_Catalog_t DRV_DDForeignKeys;             // 27
  DRV_Catalog_t DRV_DDPrimaryKeys;             // 28
  DRV_Catalog_t DRV_DDProcedureColumns;        // 29
  DRV_Catalog_t DRV_DDProcedures;              // 30
  DRV_Catalog_t DRV_DDSpecialColumns;          // 31
  DRV_Catalog_t DRV_DDStatistics;              // 32
  DRV_Catalog_t DRV_DDTablePrivileges;         // 33
  DRV_Catalog_t DRV_DDTables;                  // 34
  DRV_DDTypeInfo_t DRV_DDTypeInfo;             // 35
  DRV_ExtendedFetch_t DRV_ExtendedFetch;       // 36
  DRV_SetPos_t DRV_SetPos;                     // 37
  DRV_ParamData_t DRV_ParamData;               // 38
  DRV_PutData_t DRV_PutData;                   // 39
  DRV_GetDataChunk_t DRV_GetDataChunk;         // 40
  DRV_FetchScroll_t DRV_FetchScroll;           // 41
  DRV_BulkOperations_t DRV_BulkOperations;     // 42
  DRV_ExecDirect_t DRV_ExecDirect;             // 43
  DRV_ExecDescribe_t DRV_ExecDescribe;         // 44
  DRV_AllocPrepare_t DRV_AllocPrepare;         // 45
  DRV_DescribeColTypes_t DRV_DescribeColTypes; // 46
  DRV_FetchSnapshot_t DRV_FetchSnapshot;       // 47
  DRV_GetSnapshotChunk_t DRV_GetSnapshotChunk; // 48
  DRV_ExecBatch_t DRV_ExecBatch;               // 49
  DRV_Savepoint_t DRV_Savepoint;               // 50
  DRV_DescribeColumns2_t DRV_DescribeColumns2; // 51
  DRV_ExecDescribe2_t DRV_ExecDescribe2;       // 52
  DRV_Cancel_t DRV_Cancel;                     // 53
  DRV_ExecDirect2_t DRV_ExecDirect2;           // 54
  DRV_XaClose_t DRV_XaClose;                   // 55
  DRV_XaXid_t DRV_XaCommit;                    // 56
  DRV_XaComplete_t DRV_XaComplete;             // 57
  DRV_XaXid_t DRV_XaEnd;                       // 58
  DRV_XaXid_t DRV_XaForget;                    // 59
  DRV_XaOpen_t DRV_XaOpen;                     // 60
  DRV_XaXid_t DRV_XaPrepare;                   // 61
  DRV_XaRecover_t DRV_XaRecover;               // 62
  DRV_XaXid_t DRV_XaRollback;                  // 63
  DRV_XaXid_t DRV_XaStart;                     // 64
  DRV_SetParamInfo2_t DRV_SetParamInfo2;       // 65
};

constexpr int kDrvSlots = 66;
static_assert(sizeof(DrvOps) == kDrvSlots * sizeof(void *), "DrvOps has 66 pointer slots");
static_assert(std::is_trivially_copyable_v<DrvOps>, "layers copy DrvOps tables by assignment");

// Every slot as (number, name), in order, for tables, logs and tests:
// #define X(n, name) ...; KVD_DRV_SLOTS(X)
#define KVD_DRV_SLOTS(X)                                                                               \
  X(0, DRV_GetInfo) X(1, DRV_SetInfo) X(2, DRV_GetErrors) X(3, DRV_Init) X(4, DRV_Term)                \
  X(5, DRV_Connect) X(6, DRV_Disconnect) X(7, DRV_AllocCursor) X(8, DRV_FreeCursor)                    \
  X(9, DRV_GetCursorName) X(10, DRV_SetCursorName) X(11, DRV_Prepare) X(12, DRV_SetParams)             \
  X(13, DRV_Execute) X(14, DRV_Reserved14) X(15, DRV_DescribeColumns) X(16, DRV_DescribeParams)        \
  X(17, DRV_NativeSql) X(18, DRV_SetParamInfo) X(19, DRV_Fetch) X(20, DRV_CloseCursor)                 \
  X(21, DRV_Commit) X(22, DRV_Rollback) X(23, DRV_GetOpTable) X(24, DRV_MoreResults)                   \
  X(25, DRV_DDColumnPrivileges) X(26, DRV_DDColumns) X(27, DRV_DDForeignKeys)                          \
  X(28, DRV_DDPrimaryKeys) X(29, DRV_DDProcedureColumns) X(30, DRV_DDProcedures)                       \
  X(31, DRV_DDSpecialColumns) X(32, DRV_DDStatistics) X(33, DRV_DDTablePrivileges)                     \
  X(34, DRV_DDTables) X(35, DRV_DDTypeInfo) X(36, DRV_ExtendedFetch) X(37, DRV_SetPos)                 \
  X(38, DRV_ParamData) X(39, DRV_PutData) X(40, DRV_GetDataChunk) X(41, DRV_FetchScroll)               \
  X(42, DRV_BulkOperations) X(43, DRV_ExecDirect) X(44, DRV_ExecDescribe) X(45, DRV_AllocPrepare)      \
  X(46, DRV_DescribeColTypes) X(47, DRV_FetchSnapshot) X(48, DRV_GetSnapshotChunk)                     \
  X(49, DRV_ExecBatch) X(50, DRV_Savepoint) X(51, DRV_DescribeColumns2) X(52, DRV_ExecDescribe2)      \
  X(53, DRV_Cancel) X(54, DRV_ExecDirect2) X(55, DRV_XaClose) X(56, DRV_XaCommit)                      \
  X(57, DRV_XaComplete) X(58, DRV_XaEnd) X(59, DRV_XaForget) X(60, DRV_XaOpen) X(61, DRV_XaPrepare)    \
  X(62, DRV_XaRecover) X(63, DRV_XaRollback) X(64, DRV_XaStart) X(65, DRV_SetParamInfo2)

// Slot numbers by name: SLOT_DRV_Prepare == 11.
enum DrvSlot : int {
#define KVD_DRV_SLOT_ENUM(n, name) SLOT_##name = n,
  KVD_DRV_SLOTS(KVD_DRV_SLOT_ENUM)
#undef KVD_DRV_SLOT_ENUM
};

#define KVD_DRV_SLOT_CHECK(n, name) \
  static_assert(offsetof(DrvOps, name) == (n) * sizeof(void *), #name " sits at its slot");
KVD_DRV_SLOTS(KVD_DRV_SLOT_CHECK)
#undef KVD_DRV_SLOT_CHECK

// The slot's name ("DRV_Prepare"), or nullptr outside 0..65.
inline const char *DrvSlotName(int slot) {
  static constexpr const char *kNames[kDrvSlots] = {
#define KVD_DRV_SLOT_NAME(n, name) #name,
      KVD_DRV_SLOTS(KVD_DRV_SLOT_NAME)
#undef KVD_DRV_SLOT_NAME
  };
  return slot >= 0 && slot < kDrvSlots ? kNames[slot] : nullptr;
}

// Whether a slot is filled, by number.
inline bool DrvOpsSlotFilled(const DrvOps &ops, int slot) {
  switch (slot) {
#define KVD_DRV_SLOT_FILLED(n, name) \
  case n:                            \
    return ops.name != nullptr;
    KVD_DRV_SLOTS(KVD_DRV_SLOT_FILLED)
#undef KVD_DRV_SLOT_FILLED
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// DrvObject: {flags; table}. Flags 2: the agent may be called on several
// threads at once; bit 0: the caller of SetParams/SetPos/BulkOperations frees
// what it hands down (never set by registration).
enum : int32_t { DRVOBJ_CALLER_FREES = 0x1, DRVOBJ_THREADSAFE = 0x2 };

struct DrvObject {
  int32_t flags;
  DrvOps *table;
};

// Calls a slot of the object's table; a missing table or an empty slot
// answers 43 (S1C00 "Driver not capable") instead of jumping through null.
//   DrvCall<&DrvOps::DRV_Prepare>(obj, cursor, sql)
template <auto Member, class... Args>
inline int32_t DrvCall(const DrvObject *obj, Args &&...args) {
  if (!obj || !obj->table) return E_S1C00;
  auto fn = obj->table->*Member;
  if (!fn) return E_S1C00;
  return fn(static_cast<Args &&>(args)...);
}

namespace drvops_detail {
template <class F>
struct NotCapable;
template <class... A>
struct NotCapable<int32_t (*)(A...)> {
  static int32_t Call(A...) { return E_S1C00; }
};
}  // namespace drvops_detail

// Puts an operation that answers 43 into every empty slot of a table, for
// callers that prefer a full table to DrvCall. (Layers above overwrite the
// slots they serve either way.)
inline void DrvOpsFillEmpty(DrvOps &ops) {
#define KVD_DRV_SLOT_FILL(n, name) \
  if (!ops.name) ops.name = &drvops_detail::NotCapable<decltype(ops.name)>::Call;
  KVD_DRV_SLOTS(KVD_DRV_SLOT_FILL)
#undef KVD_DRV_SLOT_FILL
}

// ---------------------------------------------------------------------------
// Registration. Fills the object with flags 2 and the agent's table, then
// stacks the failover wrappers, the cursor layer and the XA worker layer
// (each that exists). Called at library attach for the process's object and
// by ConnOpen for each connection's own object; every call writes the same
// contents. Returns 0. Defined by the agent library linked into the driver
// (the real agent, or the scripted fake in test builds).
int32_t ORA_Register(DrvObject *obj);

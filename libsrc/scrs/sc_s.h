#pragma once
// The cursor layer's state ScsCursor and the operations the front end, the
// data exchange layer and the agent call on it.
//
// One record type lives in three places: in every Conn (the default cursor
// options new statements inherit), in every Stmt (the front end's view of its
// cursor: options, position, the current Rowset) and in every agent cursor
// (the layer's working state for the cursor below). The Conn and Stmt
// instances use the option fields, the handles, position, first row, driver
// object, owner, flags, rowset, fetch status array, fetch directions and
// previous rowset size. The layer instance also holds the analysis of the
// cursor's statement, its tables, their columns, the ORDER BY and select
// lists and the keyset; scs_p_CursorStateInit sets them up and
// scs_p_CursorStateFree releases them (the Conn and Stmt instances leave them
// zero).
//
// Results are rows of SqlStateTable (0 = success).
#include <cstdint>

#include "scrs/scr.h"

struct DrvObject;
struct DrvOps;
struct Dataset;
struct ColDesc;
struct ColAttr;
struct Rowset;
struct ParamInfo;
struct KeySet;       // keyset of keyset-driven, mixed and dynamic cursors
struct StaticSet;    // cached result of a static cursor
struct ScsLayerState;  // the layer's own working structures
struct Stmt;

// Cursor types (statement option 6) and concurrencies (option 7).
enum : int32_t { SCS_FORWARD_ONLY = 0, SCS_KEYSET = 1, SCS_DYNAMIC = 2, SCS_STATIC = 3 };
enum : int32_t { SCS_READ_ONLY = 1, SCS_LOCK = 2, SCS_ROWVER = 3, SCS_VALUES = 4 };

// Position markers.
enum : int32_t { SCS_BEFORE_FIRST = 0, SCS_ALL_ROWS = -2, SCS_AFTER_LAST = -3 };

// ScsCursor::flags
enum : uint16_t {
  SCSF_ROWSET_CHANGED = 0x0001,
  SCSF_KEYQ_ORDERED = 0x0002,
  SCSF_KEYQ_PREPARED = 0x0004,
  SCSF_HAS_PARAMS = 0x0008,
  SCSF_TYPE_SET = 0x0040,
  SCSF_STATIC_CACHED = 0x0080,
  SCSF_KEYSET_CHANGED = 0x0100,
  SCSF_ANALYSED = 0x0200,
  SCSF_REPREPARE = 0x0400,
  SCSF_DOWNGRADED = 0x0800,
  SCSF_COLUMN_INFO = 0x1000,
  SCSF_VIA_LAYER = 0x8000,
};

struct ScsCursor {
  int32_t rowsetSize;        // option 9; 1
  int32_t keysetSize;        // option 8; 0 = the whole result
  int32_t rowCount;          // -1 = not counted yet
  int32_t cursorType;        // option 6
  int32_t savedCursorType;   // asked-for type before a downgrade
  int32_t concurrency;       // option 7
  int32_t savedConcurrency;  // asked-for concurrency before a downgrade
  int32_t simulateCursor;    // option 10
  int32_t useBookmarks;      // option 12
  int32_t retrieveData;      // option 11; 1
  uint32_t lowerConn;        // connection handle of the driver object below
  uint32_t lowerStmt;        // cursor handle of the driver object below
  int32_t position;          // SCS_BEFORE_FIRST, SCS_AFTER_LAST, SCS_ALL_ROWS or 1..n
  int32_t firstRow;          // absolute number of the rowset's first row
  DrvObject *drv;            // where this instance calls; none for a Conn
  void *owner;               // the Stmt, or the agent cursor of the layer instance
  int32_t selectColumnsMode; // driver option 1050; 1
  int32_t lowerParamArrays;
  int32_t mixedWindowState;
  KeySet *keyset;
  uint16_t flags;            // SCSF_*
  VArray *tables;            // TableRef of the FROM clause, resolved by the catalog
  VArray *tableCols;         // ScsColDesc of the columns of those tables
  VArray *orderCols;         // ScsOrderCol of the ORDER BY clause
  VArray *selectCols;        // ScsColDesc of the select list, resolved
  Dataset *userParams;
  Dataset *valuesCache;
  uint16_t selectFlags;
  char *sqlCopy;             // owned text of the last preparation
  AnalysedSQL stmt;          // analysis of the cursor's statement; kind -1 never analysed
  uint32_t aux1;             // first auxiliary lower cursor (catalog and key queries), 0 none
  AnalysedSQL keyStmt;       // analysis the key queries work on
  uint32_t aux2;             // second auxiliary lower cursor (rows by key, values), 0 none
  AnalysedSQL rereadStmt;    // analysis the second auxiliary cursor works on
  uint16_t aux2Contents;     // 0x10 rows-by-key, 0x20 values query; the agent clears 0x30
  uint16_t resultCount;
  ColDesc *resultCols;
  Rowset *rowset;            // the current rowset (front-end instance owns it)
  uint16_t *fetchStatus;     // row-status array of the fetch in progress
  int32_t setPosRow;
  uint16_t setPosOp;         // pending SetPos operation: 2 update, 4 insert
  uint32_t fetchDirections;  // SQL_FETCH_DIRECTION mask, 0 = not asked yet
  int32_t prevRowsetSize;
  int32_t needbind;
  uint16_t paramDescCount;
  ParamInfo *paramDescs;
  uint16_t userParamDescCount;
  ParamInfo *userParamDescs;
  int32_t rowLocks;
  char identQuote;
  uint32_t quotedIdentCase;
  uint32_t identCase;
  int32_t maxParams;
  char *userName;
  char *dbmsName;
  Dataset *boundaryKeys;
  int16_t nullCollation;
  uint16_t orderingColumns;
  StaticSet *staticSet;
  Dataset *setPosValues;
  int16_t *setPosColumns;
  int32_t rowsAffected;      // -1 none
  int32_t rowVersions;
  int32_t noCatalogs;
  int32_t private1052;
  int32_t private1054;
  Dataset *snapshot;
  int32_t wide;
  uint16_t maxOrderByColumns;
  int32_t factsAsked;        // the DBMS facts above have been asked of the lower connection
  ScsLayerState *layer;      // the layer instance's own structures, null elsewhere
};

// ---- Operations on the front-end instance -----------------------------------

// Defaults (rowset size 1, keyset size 0, row count -1, forward-only,
// read-only, simulate 0, bookmarks off, retrieve data on, select-columns
// mode 1, position and first row 0) plus the four arguments. Returns 0.
int scs_CursorInit(ScsCursor *cur, uint32_t lowerStmt, uint32_t lowerConn, DrvObject *drv, void *owner);
// scs_CursorInit, no rowset, no fetch status, fetch directions 0, then,
// when the statement has a connection, that connection's default cursor
// options (concurrency, cursor type, keyset size, retrieve data, rowset
// size, simulate cursor, use bookmarks). Returns 0.
int scs_StmtCursorInit(ScsCursor *cur, uint32_t lowerStmt, uint32_t lowerConn, DrvObject *drv, Stmt *owner);
// Row count -1, position before the first row.
void scs_ResetPosition(ScsCursor *cur);
// 0 or -3 set position and first row; -2 the position alone; other negative
// values and values beyond a known row count give 39 (S1107).
int scs_SetRowPosition(ScsCursor *cur, int32_t position);
// Frees the current Rowset.
void scs_FreeRowset(ScsCursor *cur);

int scs_GetRowStatus(const Rowset *rowset, int32_t row);
void scs_SetRowStatus(Rowset *rowset, int32_t row, int32_t status);
int scs_GetRowNumber(ScsCursor *cur, uint32_t index, int32_t *number);
int scs_p_GetRowNumber(ScsCursor *cur, uint32_t index, int32_t *number);
int scs_GetODBCInfo(const DrvObject *lower, uint32_t lowerConn, uint16_t infoType, void *buf, int16_t bufLen,
                    int16_t *outLen);
int scs_ScrollFetch(ScsCursor *cur, uint16_t orientation, int32_t offset, uint32_t *rowsFetched);
int scs_GetBaseColAttribs(ScsCursor *cur, uint32_t column, ColDesc *desc, uint32_t mask, uint32_t stride,
                          uint32_t rowCount, ColAttr *rows);
int scs_SetPosRun(ScsCursor *cur, int16_t **status, int32_t *count);

// Installs the cursor layer above the table the object points to.
void scs_Install(DrvObject *obj);

// ---- Parameter description by SQL analysis -----------------------------------
// Oracle does not describe parameter markers: the analysis builds probe
// statements "SELECT <columns> FROM <tables> WHERE 1=0 " whose result
// columns, described by the database, stand for the markers in order. A
// marker whose column cannot be told gets the default expression; markers
// the walks do not reach (select list, subqueries, GROUP BY, join
// conditions) are not counted, so that the caller, seeing fewer columns than
// markers, keeps its default descriptions rather than a wrong one.

struct DescParamSQL {
  AnalysedSQL stmt;
  char **probes;            // probe statement texts, in build order
  int32_t probeCount;
  int32_t total;            // probe columns that stand for parameters
  char *marker;             // INSERT ... VALUES without columns: "?" or "X" per value
  const char *defaultExpr;  // not owned
};

void SCR_DescParamSQLInit(DescParamSQL *d, const char *defaultExpr);
// 0, 68 when the text cannot be parsed, 16 no memory. What the walks could
// not serve is simply not described.
int SCR_DescParamSQLBuild(DescParamSQL *d, const char *sql);
void SCR_DescParamSQLFree(DescParamSQL *d);
void SCR_StrItemFree(void *elem);

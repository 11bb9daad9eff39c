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

#include "scrs/dsc.h"
#include "scrs/rvc.h"
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
  Dataset *fetchedRows;      // the rowset's rows as last fetched (values concurrency without a values cache)
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
  Rowset *rowset;            // the current rowset, owned by the instance that holds it
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
  // Concurrency (scrs/sc_conc.h): the lower cursor of the values query and
  // the key groups it is prepared for (0 not prepared, -1 a static
  // cursor's), the values cache of a static cursor past its memory rows and
  // the first row its window holds (-1 none loaded), and the row versions.
  uint32_t valuesStmt;
  int32_t valuesGroups;
  DSC valuesDsc;
  int32_t valuesWindowStart;
  RowVerCtl rvc;
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
// Fetches the rowset the orientation asks for: 0; 74 (IM902) the rowset
// came with the database's warning, its records moved to the statement; 82
// (IM907) no rows there; else the failure.
int scs_ScrollFetch(ScsCursor *cur, uint16_t orientation, int32_t offset, uint32_t *rowsFetched);
int scs_GetBaseColAttribs(ScsCursor *cur, uint32_t column, ColDesc *desc, uint32_t mask, uint32_t stride,
                          uint32_t rowCount, ColAttr *rows);
int scs_SetPosRun(ScsCursor *cur, int16_t **status, int32_t *count);

// Installs the cursor layer above the table the object points to.
void scs_Install(DrvObject *obj);

// ---- The layer instance and the functions its parts share ------------------------------

// The layer-only fields of a cursor state whose option head its maker has
// set: handles, driver object below, owner, defaults, a new keyset and the
// snapshot Dataset; 16 out of memory. The DBMS facts are asked on first
// need (scs_p_CursorFacts).
int scs_p_CursorStateInit(ScsCursor *cur, uint32_t lowerStmt, uint32_t lowerConn, DrvObject *lower, void *owner);
// Releases everything the layer instance owns, its auxiliary lower cursors included.
void scs_p_CursorStateFree(ScsCursor *cur);
// The first auxiliary lower cursor (catalog reads and the layer's own
// statements), allocated on first need; 15 when it cannot be had.
int scs_p_AuxCursor(ScsCursor *cur);
// Frees the results of the last analysis; every flag is cleared.
void scs_p_CursorReset(ScsCursor *cur);
// Asks the lower connection once for what the analysis needs to know of
// the DBMS: identifier quote and cases, user and DBMS names, parameter limits.
void scs_p_CursorFacts(ScsCursor *cur);
// The first column of arr named as key is (case-sensitive; its table, or
// alias, and owner too where the key has them); none when there is none.
ScsColDesc *scs_p_ColDescFind(const VArray *arr, const ScsColDesc *key, uint32_t *index);
// Refusals of a statement by its SELECT flags: 0 or the code of the first
// reason a keyset-driven (or an updatable) cursor cannot serve it.
int scs_p_KeysetRefusal(const ScsCursor *cur);
int scs_p_UpdatableRefusal(const ScsCursor *cur);
// Splits one rowset into blocks of key lookups, as many keys per statement
// as the parameter limit leaves room for beside the user's parameters. 15
// when there is no key column or no room for one key.
int scs_p_KeyBlocks(const ScsCursor *cur, int32_t *blocks, int32_t *lastRows, int32_t *rowsPerBlock);
// The result columns of the lower statement, described once per analysis.
int scs_p_ResultColDescsGet(ScsCursor *cur);
// One of them (from 1): 21 without an output, 17 for a column not there.
int scs_p_ResultColDescGet(ScsCursor *cur, uint32_t column, ColDesc **out);

// ---- Tables, columns and identifiers -------------------------------------------------------
// Names in ScsColDesc and TableRef records are kept as SQL accepts them
// (enclosed in the identifier quote character); none is ever cut: one that
// does not fit its field fails the step with 15.

// Resolves every table of the list by the catalog to its qualifier, owner
// and name: 10 (42S02) when it finds none, 97 (IM918) when the name is
// ambiguous also for the current user as owner.
int scs_p_GetTblDescs(ScsCursor *cur, VArray *tables);
// Appends the columns of count tables (long ones left out with skipLong).
int scs_p_GetTblColDescs(ScsCursor *cur, const TableRef *tables, uint32_t count, int skipLong, VArray *out);
// The select-list columns, "*" and "t.*" written out; the raw items handed
// out too when asked for.
int scs_p_SelectColsGet(ScsCursor *cur, VArray *out, VArray **raw);
// Case folding and requoting by the DBMS's identifier rules (case values
// of SQLGetInfo: 1 upper, 2 lower, 3 sensitive, 4 mixed).
int scs_p_IdentNormalize(char *name, char quote, uint32_t quotedCase, uint32_t identCase, int wide, int requote);
int scs_p_IdentEqual(const char *a, const char *b, char quote, uint32_t quotedCase, uint32_t identCase, int wide);
// 0 for Oracle's pseudo columns ROWID and ROWNUM, which are never quoted.
int scs_p_QuoteAllowed(const char *name, const char *dbmsName);
// The column's name, qualified by alias, owner.table or table when the
// statement has more than one table. A new string.
char *scs_p_ColNameQualify(uint32_t tableCount, const ScsColDesc *c);
void scs_p_ParamInfoFromColDesc(const ScsColDesc *c, ParamInfo *p);
// Appends one description per column (and the user's, with addUser) to the
// descriptions the layer sends with its statements.
int scs_p_ParamInfoAppend(ScsCursor *cur, const ScsColDesc *cols, uint32_t n, int addUser);

// ---- ORDER BY and the select list ------------------------------------------------------------

// The ORDER BY list of the analysed statement; numbers become the select
// list's columns (37000 beyond it, IM919 for an expression).
int scs_p_OrderColsGet(ScsCursor *cur);
int scs_p_OrderColsByNumber(ScsCursor *cur);
void scs_p_OrderColsNormalize(ScsCursor *cur);
// Each key column's position among the ORDER BY items (0 none).
void scs_p_KeyOrderMark(ScsCursor *cur);
// The ordering column count of a dynamic or mixed cursor.
int scs_p_MatchOrderKeys(ScsCursor *cur);
// Select-list columns take their table column's names.
int scs_p_SelectCol_ColDescComplete(ScsCursor *cur);
// Writes out a wildcard select list and (option 1054) adds missing key
// columns; *changed is 1 when the statement's text (stmt.text2) was rewritten.
int scs_p_SelListAddKeysnXpandWC(ScsCursor *cur, const VArray *raw, int *changed);
int scs_p_IsKeyColumn(const ScsCursor *cur, const ScsColDesc *c);
int scs_p_IsExpression(const ScsColDesc *c);

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

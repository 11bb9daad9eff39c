#pragma once
// DB_Curs: the OCI level's cursor. It owns the OCI statement handle of one
// agent cursor and everything OCI needs to prepare, bind, execute, describe
// and fetch that statement: its own error handle, the bind and define
// handles, the descriptor arrays (OciColDesc, owned by the describe/fetch
// module), the per-row length, indicator and return-code arrays shared by the
// binds of one execution and the defines of one fetch, the state of a
// procedure call, the REF CURSOR statements a call produced, the LOB piece
// read position, and the three words of the execute/cancel handshake.
//
// An agent cursor has one current DB_Curs; while it hands out the REF CURSOR
// results of a procedure call it keeps the call's own DB_Curs as the saved
// one and a fresh DB_Curs takes over one REF CURSOR statement after the other.
//
// Threads: a DB_Curs is used by the thread that holds its connection's call
// lock. The one exception is DB_Cancel, which may run on any thread while
// DB_Execute runs; it touches only the handshake words and cancelErrs, under
// `lock`, and breaks off with an OCI error handle of its own.
//
// Results are 0 or a row of SqlStateTable (odbc/sqlstate.h).
#include <cstdint>

#include "drv_ora8/db-private.h"
#include "oci.h"
#include "util/osthread.h"

struct OciColDesc;   // a described column, parameter or argument (the describe/fetch module)
struct LobBindNode;  // one LOB value written through a RETURNING locator (the LOB module)
struct Dataset;

// DB_Curs::state
enum : uint16_t { DBCURS_EXECUTED = 0x1 };  // executed since the last prepare

// DB_Curs::kind: set by every prepare.
enum : uint16_t { DBCURS_KIND_OTHER = 0, DBCURS_KIND_INSERT = 1, DBCURS_KIND_UPDATE = 2, DBCURS_KIND_SELECT = 4 };

// How DB_Curs::stmt was obtained, which decides how it is given back: a
// handle from OCIHandleAlloc (the cursor's own, or a REF CURSOR statement)
// is freed with OCIHandleFree; one from OCIStmtPrepare2 goes back to the
// session's statement cache with OCIStmtRelease.
enum : uint8_t { DBSTMT_NONE = 0, DBSTMT_ALLOCATED = 1, DBSTMT_CACHED = 2 };

// The LOB target columns of one rebuilt INSERT or UPDATE (the LOB module).
struct DbLobBindNodes {
  DB_Curs *owner;
  int16_t oraType;
  LobBindNode *chain;
  OCIBind *flagBind;           // the NULL flag of the row being executed
  int16_t flagInd;
};

// One bound parameter of an ordinary statement: what its bind points at
// beyond the parameter Dataset. Rebuilt by every DB_Bind, freed with the
// cursor's buffers.
struct DbParamBind {
  int16_t extType;             // OCI external type of the bind
  uint8_t rowByRow;            // the rows cannot travel in one array bind
  uint8_t timestamps;          // buffer holds OCIDateTime descriptors
  uint8_t needsLengths;        // an array bind passes per-row lengths
  int32_t valueType;           // the Dataset column's ValueType
  uint16_t position;           // bind position; 0: a LOB target, written through its locator
  uint32_t first;              // Dataset row of bound row 0
  uint32_t bufferCount;        // elements in buffer
  void *buffer;                // intermediate values (dates, timestamps, copied long values)
  uint32_t *rowLengths;        // per bound row: bytes of the value (never cut to 16 bits)
  uint32_t valueSize;          // element stride of an array bind
  const unsigned char *data;   // array base: bound row 0's element
};

struct DB_Curs {
  OsCritSec lock;              // the executing, non-blocking and cancel words
  DB_Conn *conn;               // not owned: environment, service context, server
  AgentCursor *owner;          // not owned: error list, options, Dataset, ColDescs
  OCIStmt *stmt;               // null with the statement cache until the first prepare
  uint8_t stmtOrigin;          // DBSTMT_*: how stmt is to be given back
  uint16_t state;              // DBCURS_EXECUTED
  uint16_t kind;               // DBCURS_KIND_*
  OciErrWrap *err;             // owned: the cursor's own OCI error handle

  uint16_t bindCount;          // bind handle slots
  OCIBind **binds;             // one per parameter or marker; kept across executions
  uint16_t lobBindCount;
  OCIBind **lobBinds;          // RETURNING ... INTO binds of LOB target columns
  OCIBind *retvalBind;         // the ":retval" bind of a function call
  uint16_t defineCount;
  OCIDefine **defines;         // one per result column

  uint16_t bindDescCount;
  OciColDesc *bindDescs;       // procedure call parameters
  uint16_t argDescCount;       // entries including entry 0 (the function result)
  OciColDesc *argDescs;        // described arguments of a called procedure
  int32_t *markerTable;        // argument position of each marker of a call
  uint32_t allArgsWritten;     // the call text lists every argument
  uint16_t resultDescCount;    // in use
  uint16_t resultDescSpare;    // allocated behind the used ones
  OciColDesc *resultDescs;     // result columns, or LOB target columns of a rebuilt DML
  uint16_t lobNodeCount;
  DbLobBindNodes *lobNodes;

  // One entry per parameter (or column) and row, column-major: all rows of
  // the first, then all rows of the second.
  uint16_t *lengths;
  int16_t *indicators;
  uint16_t *returnCodes;

  // Procedure calls.
  int32_t funcCallSyntax;
  int32_t describedAsFunction;
  int32_t markerCount;         // entries of markerTable in use
  const char *nameStart;       // into the call text
  int32_t nameLength;
  char procName[160];
  char packageOrSchema[31];
  char schema[37];
  Dataset *outParams;          // output values of a call
  Dataset *retValue;           // the discarded ":retval"
  uint16_t *retLengths;
  uint16_t *retReturnCodes;
  char *procBlock;             // the block that runs the call, built once at prepare
  int32_t *placeholders;       // what each placeholder of the block stands for (db-proc.h)
  uint16_t placeholderCount;

  int32_t described;           // result columns described since the last prepare
  uint16_t refCursorCount;
  OCIStmt **refCursors;        // produced by a procedure call (allocated handles)
  uint16_t nextRefCursor;
  uint16_t refCursorArgCount;

  int32_t lobColumn;           // column whose LOB is read in pieces, -1 none
  void *lobCarry;              // LOB carry-over buffer and its two counters
  uint32_t lobCarryLen;
  uint32_t lobCarryPos;
  uint8_t lobWarned;           // a LOB call of the current read warned; its records are on the list

  // Execute/cancel handshake (see DB_Execute and DB_Cancel).
  uint32_t executing;
  uint32_t nonBlocking;
  uint32_t cancelRequested;
  AgentErrList cancelErrs;     // a failed cancel's OCI errors, for the execution to report
  uint32_t stmtCache;          // the connection's OSTMTCACHE is above 0

  // Ordinary statement parameters bound by the last DB_Bind.
  uint16_t paramBindCount;
  DbParamBind *paramBinds;
  uint32_t bindRows;           // rows bound per parameter by the last DB_Bind
  int32_t execWarning;         // the last execution succeeded with OCI warnings (kept on the list)
};

// ---- The cursor object ------------------------------------------------------

// A new cursor on the connection for the agent cursor owner. 0, 15 (OCI
// failed; the connection's OCI errors are on the agent connection's list) or
// 16; *out stays null on failure.
int32_t DB_Curs_New(DB_Conn *conn, AgentCursor *owner, DB_Curs **out);
// Gives back the statement the way it was obtained, frees the REF CURSOR
// statements, the defines, the error handle, and empties the owner's list.
void DB_Curs_Delete(DB_Curs *c);
// Frees what one execution left: the row arrays, the bind handle arrays, the
// LOB bind nodes and carry-over buffer, and the parameter bind records.
int32_t DB_Curs_FreeBuffers(DB_Curs *c);
// Frees the result, bind and argument descriptor arrays and the marker table.
int32_t DB_Curs_FreeDescs(DB_Curs *c);
// Gives back the cursor's statement (see DBSTMT_*) and clears it.
void db_StmtDrop(DB_Curs *c);
// Frees the REF CURSOR statement list (each an allocated handle).
void DB_RefCursorsFree(DB_Curs *c);

// ---- Prepare, bind, execute, cancel --------------------------------------------

// Prepares the owner's translated request: 0, 68 (OCI errors on the list),
// or the LOB rebuild's failure.
int32_t DB_Prepare(DB_Curs *c);
// One default description per parameter marker: 0 or 16.
int32_t DB_DefaultParamDescs(DB_Curs *c);
// Binds the owner's parameter Dataset by position: 0, 15, 16, 43, 48, 49.
int32_t DB_Bind(DB_Curs *c);
// Runs the statement. commit 1 commits on success (autocommit DML). 0
// (execWarning set when OCI succeeded with warnings, which stay on the
// owner's list), 15, 16, 20 cancelled, 45 timeout, or a bind failure.
int32_t DB_Execute(DB_Curs *c, int commit);
// Breaks off a running execution; callable from any thread. 0 or 15.
int32_t DB_Cancel(DB_Curs *c);

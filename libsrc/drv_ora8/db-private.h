#pragma once
// The Oracle agent's shared records and the functions that work on them.
//
// The agent has two levels. The operation level (ORA_*, o-*.cpp) keeps the
// ODBC-side state of the agent's three kinds of objects, which the layers
// above see only as handle values: the server context AgentServer, the
// connection AgentConn and the cursor AgentCursor, each in its own handle
// table (tags 0xAAAA, 0xBBBB, 0xCCCC). The OCI level (DB_*, db-*.cpp) owns
// the OCI handles beneath them: DB_Serv (the server context's environment,
// error handle and connection pools), DB_Conn (a connection's environment,
// server, session, service context and transaction) and DB_Curs (a cursor's
// statement).
//
// Every record is zero-filled when made; strings are owned by their record.
// Results are 0 or a row of SqlStateTable (odbc/sqlstate.h).
//
// Errors: each record has an AgentErrList. A failed operation pushes either
// its result code or the pending records of an OCI error handle onto the list
// of the object it failed on; DRV_GetErrors hands the list up once, as texts
// "[Oracle Server]<message>[SQLSTATE:<state>]". OCI records are copied only
// after OCI_ERROR, and after OCI_SUCCESS_WITH_INFO where a warning is worth
// keeping (a logon whose password is about to expire).
#include <cstddef>
#include <cstdint>

#include "drv_ora8/agentopts.h"
#include "drv_ora8/o-sql.h"
#include "oci.h"
#include "odbc/drvops.h"
#include "scrs/sc_s.h"
#include "util/handletab.h"
#include "util/osthread.h"

struct XaWorker;     // xa/xaw.h: the XA worker of an XA-bound connection
struct DB_Curs;      // the OCI level's cursor (statement handle, binds, defines)
struct DB_Serv;
struct DB_Conn;
struct AgentCursor;
struct HashTable;

// ---------------------------------------------------------------------------
// Error lists.

constexpr size_t kAgentMsgSize = 2048;  // one record's message, NUL included

struct AgentErrRec {
  AgentErrRec *next;
  int32_t native;              // Oracle error number; 0 for a record made from a result code
  char message[kAgentMsgSize];
  const char *sqlState;        // five characters in SqlStateTable, never owned
};

struct AgentErrList {
  int32_t keep;                // 1: the next push appends instead of replacing
  AgentErrRec *first;
};

// An OCI error handle with the state needed to read its records: one in
// every DB_Serv, DB_Conn and DB_Curs.
struct OciErrWrap {
  OCIError *errhp;
  uint32_t nextRec;            // 1-based number of the next record to read
  OCIEnv *env;                 // the owner's environment (wide-mode conversion)
  int32_t wide;                // messages are converted to UTF-8
};

// Links rec at the tail (null list or record: nothing).
void ErrList_Append(AgentErrList *list, AgentErrRec *rec);
// Frees every record; the list becomes empty.
void ErrList_Free(AgentErrList *list);
// Replaces the list's records (appends while keep is set) by one record
// made from a result code.
void ErrList_PushCode(AgentErrList *list, int32_t code);
// Replaces the list's records (appends while keep is set) by the pending
// records of the wrapper's error handle, in OCI's order.
void ErrList_PushOCI(AgentErrList *list, OciErrWrap *wrap);
// The same, always appending (warnings of a call that succeeded).
void ErrList_AppendOCI(AgentErrList *list, OciErrWrap *wrap);
// A record from a result code (its SqlStateTable message and state); null
// when out of memory.
AgentErrRec *ErrRec_New(int32_t code);
// The wrapper's next OCI record, or null when there is none (or when the
// wide-mode conversion of its text failed).
AgentErrRec *ErrRec_FromOCI(OciErrWrap *wrap);
// Oracle error number -> result code (dflt for numbers the table lacks),
// and -> the SQLSTATE of OraErrToCode(number, 15).
int32_t OraErrToCode(int32_t oraError, int32_t dflt);
const char *OraErrToState(int32_t oraError);
// Fills out with the list's texts and empties the list (see DRV_GetErrors).
int32_t ErrList_Hand(AgentErrList *list, DrvMsgList *out);

// Reports an OCI failure status: after OCI_ERROR the error handle's records
// go onto list; other statuses add nothing. Returns 15 (S1000) for every
// failing status so call sites can write `return db_Fail(...)`.
int32_t db_OciFail(sword status, AgentErrList *list, OciErrWrap *wrap);
// An OCI status that did the call's work: OCI_SUCCESS_WITH_INFO is a success
// with a warning, never a failure.
inline bool db_OciOk(sword status) { return status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO; }

// ---------------------------------------------------------------------------
// The operation level.

// The server context: one per process while any DRV_Init reference lives.
struct AgentServer {
  void *scsConnInfo;           // the cursor layer's list of connect information
  void *scsRowVerConns;        // the cursor layer's shared row-version connections
  OsCritSec lock;              // this record's error list; pool find-or-create
  AgentErrList errs;           // errors of failed connects
  DB_Serv *dbServ;
  DrvHandle handle;
};

// One database connection.
struct AgentConn {
  AgentErrList errs;
  uint32_t scsServer;          // kept by the cursor layer: its server-context handle
  void *scsKeyCache;           // kept by the cursor layer: its key-column cache
  XaWorker *xaWorker;          // set by the XA worker layer at an XA open
  AgentServer *server;
  DrvHandle handle;
  int32_t readOnly;            // from the connect request; transaction control does nothing
  int32_t accessReadOnly;      // SQL_ACCESS_MODE as set through DRV_SetInfo
  int32_t autocommit;
  // Credentials and targets, each kept whole and apart: the user name alone,
  // the password actually sent, the connect string actually used (the
  // alias after an '@' in the user text, else the request's database
  // options), and the request's database path and options as given.
  char *user;
  char *password;
  char *dbString;
  char *dbPath;
  char *dbOptions;
  int32_t capsAsked;           // the capability mask has been asked
  DB_Conn *dbConn;             // null only after a failed switch to or from XA
  int32_t optionWord;          // agent item 0x0C; 2 at connect
  char version[16];            // "11.02.0004": major.minor.third fourth
  uint16_t verMajor;
  uint16_t verMinor;
  int32_t deferLong;           // deferred long fetch (agent item 0x0F)
  int32_t isolation;           // 2 read committed, 8 serializable
  AgentOptions opts;           // this connection's copy, taken at connect
  int32_t wide;                // the request carried the wide marker (Unicode build)
  int32_t failoverReport;      // connection attribute 1280 is set
  int32_t odbcVersion;         // the environment's ODBC version (agent item 0x0C)
  int32_t dynCursorOk;         // dynamic cursors allowed: item 0x08 or the mask was asked
  int32_t item12;              // agent item 0x12 was asked
};

// Collected data-at-execution values of one Dataset column.
struct DaeColBuf {
  int32_t valueType;
  int32_t rows;
  void **pieces;
  uint32_t *lengths;
  int16_t *indicators;
};

// State flags of an agent cursor.
enum : uint16_t {
  CURS_PREPARED = 0x1,
  CURS_EXECUTED = 0x4,
  CURS_NO_MORE_ROWS = 0x8,
  CURS_PROC_CALL = 0x10,
  CURS_DESCRIBED = 0x80,
  CURS_RESULT_OPEN = 0x100,
};

using AgentPostFetchFn = int32_t (*)(AgentCursor *cursor, Dataset *rows);

// One statement of a connection.
struct AgentCursor {
  AgentConn *conn;
  AgentErrList errs;
  uint16_t state;              // CURS_* and the procedure path's bits
  SqlRequest req;              // the prepared request (kind 1 SELECT, 2 DML, 3 other)
  // The prepared request while the connection moves to another session (XA
  // open and close): prepared again on the remade cursor.
  SqlRequest kept;
  int32_t daeState;            // data at execution: 0 idle, 1/2 collecting, 4/5 complete
  uint32_t maxLength;          // statement option 3
  // The cursor layer's state for this cursor. Its head holds the ODBC 2
  // cursor options that DRV_GetInfo/DRV_SetInfo read and write; its lowerConn
  // and drv name the connection and the object below the cursor layer, to
  // which the option negotiation puts its capability questions.
  ScsCursor scs;
  int32_t deferLong;           // long data of this statement is fetched on demand
  char *name;                  // "CN%lX" unless set
  DrvHandle handle;
  Dataset *params;             // parameter rows from DRV_SetParams (owned)
  uint16_t colCount;
  ColDesc *cols;               // result columns
  uint16_t parCount;
  ColDesc *pars;               // parameters
  uint16_t execCount;
  AgentPostFetchFn postFetch;  // set by catalog operations
  uint16_t typeInfoState;      // 2 while the type catalogue is served
  uint32_t typeInfoPos;        // position in the type catalogue
  int16_t typeInfoType;        // SQL type asked of the type catalogue (0 all)
  int32_t catalogRowCounter;   // rows seen by the SpecialColumns post-fetch step
  int32_t noScan;              // statement option 2
  int32_t rowsAffected;
  uint32_t rowsFetched;
  uint32_t maxRows;            // statement option 1; MAXROWS at allocation
  ParamInfo *paramInfo;        // copy of the last DRV_SetParamInfo records
  uint16_t paramInfoCount;
  Dataset *saved;              // output parameters of a procedure call
  // Data at execution.
  uint32_t daeNextRow, daeNextCol;
  uint32_t daeCurRow, daeCurCol;
  int32_t daePieces;
  uint32_t daeBufRows;
  DaeColBuf *daeExec;
  uint32_t daeExecCount;
  DaeColBuf *daeSetPos;
  uint32_t daeSetPosCount;
  int32_t queryTimeout;
  DB_Curs *dbCurs;
  DB_Curs *savedDbCurs;        // the procedure's own cursor while a REF CURSOR result is current
  int32_t describedByQuery;
};

// The agent's handle tables, made by the first DRV_Init and destroyed by the
// last DRV_Term.
extern HandleTable g_agentServers;
extern HandleTable g_agentConns;
extern HandleTable g_agentCursors;

// Lookups by handle value: null for a handle that the table of that kind
// does not hold (another kind's handle included).
AgentServer *Agent_Server(DrvHandle h);
AgentConn *Agent_Conn(DrvHandle h);
AgentCursor *Agent_Cursor(DrvHandle h);

// The agent mutex: serialises DRV_Init and DRV_Term against each other.
extern OsCritSec g_agentMutex;

// Transaction control. Actions: 1 autocommit on, 2 autocommit off, 3 begin
// (a serializable transaction), 4 commit, 5 rollback.
enum : int32_t { TXN_AUTOCOMMIT_ON = 1, TXN_AUTOCOMMIT_OFF = 2, TXN_BEGIN = 3, TXN_COMMIT = 4, TXN_ROLLBACK = 5 };
int32_t AgentConn_TxnControl(AgentConn *conn, int32_t action);
// 2 read committed or 8 serializable (0), anything else 43; takes effect
// at the next transaction begin.
int32_t AgentConn_SetIsolation(AgentConn *conn, int32_t level);
// The capability mask (DrvCaps); allows dynamic cursors from now on.
uint32_t AgentConn_CapabilityMask(AgentConn *conn);
// SQL_SCROLL_OPTIONS: 0x1F, every cursor type; 0x11 (forward-only and
// static) when the data source disables dynamic cursors.
uint32_t AgentConn_ScrollOptions(const AgentConn *conn);
// Frees a connection record with its strings, options and error list (not
// its DB_Conn).
void AgentConn_Release(AgentConn *conn);

// The initial SQL file: 0 when it ran, -1 otherwise (logged).
int32_t InitialSQL_Run(DB_Conn *dbc, const char *fileName);

// ---------------------------------------------------------------------------
// Statement option negotiation.

constexpr int32_t kOptNegEnd = -999;

struct OptNegRow {
  int32_t option;              // 6 cursor type, 7 concurrency; 0 ends the table
  int32_t infoType;            // SQLGetInfo type asked for the capability mask
  const int32_t *fallback;     // values, ended by kOptNegEnd
  const int32_t *bits;         // {bit, value} pairs, ended by kOptNegEnd
};

const OptNegRow *OptNeg_Lookup(int32_t option);
int32_t OptNeg_Next(int32_t value, const int32_t *fallback, int *pos);
uint32_t OptNeg_MaskBit(int32_t value, const int32_t *bits);
// The chain walk on a known capability mask: 0 supported as asked, 75 the
// value replaced by the first supported fallback, 43 none supported (the
// value left as asked).
int32_t OptNeg_NegotiateMask(int32_t option, uint32_t mask, int32_t *value);
// Asks the capability mask through the cursor layer (scs_GetODBCInfo on the
// lower object and connection that the cursor state holds), then walks the
// chain. When the question fails the value stands (0).
int32_t OptNeg_Negotiate(ScsCursor *cursor, int32_t option, int32_t *value);

// ---------------------------------------------------------------------------
// Wide mode (the Unicode build, on connections made through a W entry
// point): texts between UTF-8 and the OCI environment's character set.

// Source in the environment's character set into dst (dstSize bytes) as
// UTF-8: 0 whole, -1 cut at a character boundary (or a null argument), -2
// out of memory or OCI failed. src and dst may be the same buffer.
int db_CharsetToUTF8(OCIEnv *env, const char *src, char *dst, uint16_t dstSize, int16_t *outLen);
// A new text in the environment's character set (free()), or null.
char *db_UTF8ToCharset(OCIEnv *env, const char *utf8);

// ---------------------------------------------------------------------------
// The OCI level.

struct OciPoolList {
  OsCritSec lock;              // the hash table and every pool's use count
  HashTable *pools;            // 16-byte MD5 of the connect string -> OciConnPool
};

struct OciConnPool {
  OCICPool *handle;
  char *name;                  // the pool name OCI gave; connections attach with it
  int32_t nameLen;
  unsigned char key[16];
  OciPoolList *list;
  int32_t users;               // DB_Conns attached through the pool
  int32_t linger;              // seconds the pool outlives its last user
  int32_t lingering;           // releases sleeping out the linger time now
};

struct DB_Serv {
  AgentServer *server;
  OCIEnv *env;                 // the server context's environment (pools)
  OciErrWrap *err;             // connects run on this error handle
  OciPoolList pools;
};

// DB_Conn::txnFlags
enum : uint16_t { DBC_TXN_SERIALIZABLE = 0x2 };

struct DB_Conn {
  DB_Serv *serv;
  AgentConn *conn;
  OCIEnv *env;                 // the connection's own, or the XA library's
  OCISvcCtx *svc;
  OciErrWrap *err;
  OCIStmt *initStmt;           // only when INITSQL is set
  OCITrans *trans;
  uint16_t txnFlags;
  OCIServer *srv;
  OCISession *session;
  int32_t foState;             // last failover event (OCI_FO_*), 0 none
  uint32_t foTries;
  OsCritSec foLock;            // held by the failover callback from BEGIN to END/ABORT
  int32_t foLockHeld;          // the callback holds foLock now
  OciConnPool *pool;           // attached through this pool, or null
  int32_t xa;                  // environment and service context belong to the XA library
};

int32_t DB_Serv_New(AgentServer *server, void *unused, DB_Serv **out);
void DB_Serv_Free(DB_Serv *serv);

int32_t DB_Conn_New(DB_Serv *serv, AgentConn *conn, DB_Conn **out);
int32_t DB_ConnXA_New(DB_Serv *serv, AgentConn *conn, const char *dbName, DB_Conn **out);
void DB_Conn_Free(DB_Conn *dbc);
// Attaches (through a pool when OCPMIN is set) and begins the session.
// user, password and connect string are used as given. Failures leave their
// OCI records on the server context's list and give 53; warnings of a
// successful logon are kept on the connection's list.
int32_t DB_Connect(DB_Conn *dbc, const char *user, const char *password, const char *dbPath,
                   const char *connectString, int needStmt);
// Ends the session and detaches: 0; 74 (IM902) done, with warnings on the
// connection's list; 15 when the logoff failed (its records there too).
int32_t DB_Disconnect(DB_Conn *dbc);
int32_t DB_TransControl(DB_Conn *dbc, int32_t action);
int32_t DB_Break(DB_Conn *dbc);
// Prepares and executes text once on the connection's initial-SQL statement
// handle, committing on success.
int32_t DB_Conn_ExecSQL(DB_Conn *dbc, const char *sql);
// Prepares and executes text once on a statement handle of its own, without
// commit (savepoints). Errors go to the connection's list.
int32_t DB_Conn_ExecOnce(DB_Conn *dbc, const char *sql);
int32_t DB_ConnectXA(AgentConn *conn);
int32_t DB_LeaveXA(AgentConn *conn, int reconnect);

// Connection pools.
int OciPoolList_Init(OciPoolList *list);
void OciPoolList_Free(OciPoolList *list, OciErrWrap *err);
void OciConnPool_Key(unsigned char key[16], const char *connectString);
// The pool of the connect string with one more user, or a new pool with one
// user; null when none can be made. One hold of the list's lock covers the
// find and the count, so a release cannot destroy the pool in between.
OciConnPool *OciConnPool_Acquire(OciPoolList *list, DB_Conn *dbc, OciErrWrap *err, const char *connectString,
                                 const char *user, const char *password);
// Drops one user; the last one (after the linger time, when nobody took the
// pool meanwhile) destroys it. 1 fine, 0 when OCI failed to destroy it.
int OciConnPool_Release(OciConnPool *pool, OciErrWrap *err);

// Version text of OCIServerVersion -> "11.02.0004" and the numbers. 0, or -1
// when the text has no "release " (case-insensitive).
int db_ParseServerVersion(const char *text, char out[16], uint16_t *major, uint16_t *minor);

// ---------------------------------------------------------------------------
// Transparent application failover.

sb4 TAF_FailoverCallback(void *svcctx, void *envctx, void *fo_ctx, ub4 fo_type, ub4 fo_event);
int32_t TAF_GetCompletionState(DB_Conn *dbc);
int32_t TAF_TakeState(AgentConn *conn);
// The operation's result after taking the failover state; the failover code
// goes onto the list of the operation's own handle (the cursor's for a
// cursor operation, else the connection's).
int32_t TAF_CheckResult(AgentConn *conn, int32_t result, AgentErrList *list = nullptr);
// Writes the failover wrappers into the table the object points to.
void TAF_InstallWrappers(DrvObject *obj);

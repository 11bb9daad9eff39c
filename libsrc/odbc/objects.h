#pragma once
// The four ODBC handle objects: environment (Envr), connection (Conn),
// statement (Stmt) and descriptor (Desc), with the records they hold.
//
// Every object is a zero-filled heap record (calloc/free) that begins with
// its magic word; the magic word becomes -1 when the object is destroyed, so
// a dispatcher that still holds the pointer can tell. Applications only ever
// see the 32-bit handle values of the front end's handle tables (tags 1 to 4).
//
// Tree and ownership: the process's environments own their connections; a
// connection owns its statements and explicit descriptors; a statement owns
// its four implicit descriptors. Freeing a parent frees its children.
//
// Locks: the process-wide handle-table lock (odbc/dispatch.h) guards handle
// lookup, every busy slot and the lists of environments and connections.
// Each connection has a call lock that the dispatcher holds around every
// call of the connection and its children; it is a semaphore because the
// distributed-transaction layer may take it on one thread and give it back
// on another.
#include <atomic>
#include <cstdint>

#include "odbc/dataset.h"
#include "odbc/drvops.h"
#include "scrs/sc_s.h"
#include "util/osthread.h"

struct HashTable;  // util/hashtab.h
struct COdbcResourceDispenser;  // xa/oletx.h
struct Envr;
struct Conn;
struct Stmt;
struct Desc;

// Magic words; every object's first field.
enum : int32_t {
  MAGIC_ENVR = 0x3144,
  MAGIC_CONN = 0x3244,
  MAGIC_STMT = 0x3344,
  MAGIC_DESC = 0x3444,
  MAGIC_DEAD = -1,
};

// Tags of the front end's handle tables.
enum : uint16_t { TAG_ENVR = 1, TAG_CONN = 2, TAG_STMT = 3, TAG_DESC = 4 };

// One diagnostic message of a handle: appended at the tail, popped at the head.
struct DiagMsg {
  DiagMsg *next;
  char *text;      // owned, NUL-terminated
  int32_t native;  // native error code
};

// Frees every node of a list and its text.
void MsgListFree(DiagMsg *first);
// Appends a node holding a copy of text to *head; nothing when out of memory.
void MsgListAppend(DiagMsg **head, const char *text, int32_t native);
// Pops the first node: returns its text (the caller frees it) and its native
// code through native (when given); NULL when the list is empty.
char *MsgListPop(DiagMsg **head, int32_t *native);

// ---------------------------------------------------------------------------
// Environment

enum : int32_t { ENVR_ALLOCATED = 1, ENVR_OPEN = 2 };

struct Envr {
  int32_t magic;            // MAGIC_ENVR
  uint32_t handle;          // own handle value (tag 1)
  int32_t pending;          // SqlStateTable row to report, 0 none
  int32_t state;            // ENVR_ALLOCATED, ENVR_OPEN; 0 once destroyed
  Envr *next;               // next environment of the process
  Conn *connections;        // first connection (list through Conn::next)
  DiagMsg *messages;
  int32_t id;
  int32_t connPooling;      // SQL_ATTR_CONNECTION_POOLING 0..2
  int32_t cpMatch;          // SQL_ATTR_CP_MATCH 0..1
  int32_t odbcVersion;      // 2 or 3
  int32_t outputNts;        // SQL_ATTR_OUTPUT_NTS 0..1
  int32_t connCounter;      // ids of the environment's connections
};

// ---------------------------------------------------------------------------
// Connection

enum : int32_t { CONN_ALLOCATED = 1, CONN_CONNECTED = 2 };

// Conn::flags
enum : uint16_t {
  CONNF_NO_LOGIN_BOX = 0x01,
  CONNF_READ_ONLY = 0x02,
  CONNF_AUTOCOMMIT = 0x04,
  CONNF_ASYNC = 0x08,        // asynchronous enable (ODBC 2 environments)
  CONNF_DEFER_LONG = 0x20,   // defer long fetch
  CONNF_0x40 = 0x40,         // never set
  CONNF_INCLUDE_VIEWS = 0x100,
  CONNF_INCLUDE_ALL = 0x200,
};

constexpr int kConnInfoNumbers = 120;
constexpr int kConnInfoShorts = 40;
constexpr int kConnInfoTexts = 40;

// The application's failover callback (connection attribute 1280); called
// with (event, the failover context of attribute 1281, 0).
using FailoverCallbackFn = int (*)(int event, void *context, int reserved);

// The agent's conversion table of DRV_GetOpTable, kept while connected.
struct ConnTypeTable {
  int16_t valid;
  OpTableReq table;  // its rows are the agent's memory
};

struct Conn {
  int32_t magic;      // MAGIC_CONN
  uint32_t handle;    // own handle value (tag 2)
  int32_t pending;    // SqlStateTable row to report, 0 none
  int32_t state;      // CONN_ALLOCATED, CONN_CONNECTED; 0 once destroyed
  Conn *next;         // next connection of the same environment
  Stmt *statements;   // first statement (list through Stmt::next)
  DiagMsg *messages;
  Envr *env;

  // What the connect logic gathered; all owned texts.
  char *dsn;
  char *user;
  char *password;
  char *dbPath;       // cn_dbpath
  char *dbOptions;    // cn_dbopts (the SQLNET attribute)
  char *dbHost;       // cn_dbhost
  char *port;
  char *serverType;   // cn_svtype
  char *serverOptions;  // the wide marker in front for W connections
  char *extra;        // extra request text
  uint16_t flags;     // CONNF_*
  char *programName;
  char *furtherText;
  char *optionTexts[4];
  char *traceFile;    // trace file name of SQL_OPT_TRACEFILE, freed at close

  int32_t loginTimeout;     // 120 when made
  int32_t bindTypeDefault;  // statement option 5
  int64_t maxLengthDefault; // statement option 3
  int64_t maxRowsDefault;   // statement option 1
  int32_t noScanDefault;    // statement option 2
  int32_t queryTimeoutDefault;  // statement option 0
  ScsCursor cursorDefaults; // statement options 6 to 12 for new statements
  char *translateLib;       // SQL_TRANSLATE_DLL
  int32_t translateOption;
  int32_t isolation;        // 0 until set
  uint32_t cn_fetchSize;    // rows per fetch block

  DrvObject drv;            // filled by ORA_Register when connecting
  uint32_t agentServer;     // DRV_Init, 0 none
  uint32_t agentConn;       // DRV_Connect, 0 none
  int32_t id;               // sequence number within the environment
  int32_t stmtCounter;      // ids of the connection's statements
  ConnTypeTable typeTable;

  // The dispatcher's busy slot: the Conn itself, one of its Stmts or Descs,
  // or null. Tested and filled only under the handle-table lock; emptied
  // with one atomic store after the call.
  void *busy;

  // Capability flags, set from the agent's capability mask at connect.
  int32_t cn_needbind;
  int32_t cn_hasMoreRes;
  int32_t cn_hasParamOp;
  int32_t cn_spOutDeferFetch;
  int32_t cn_hasScrlCurs;
  int32_t cn_hasDynMixCurs;
  int32_t cn_hasV2DAE;
  int32_t narrowOnly;       // a W connection whose agent has no wide mode
  int32_t asyncDefault;     // statement option 4 for new statements
  int32_t cn_hasExecute2;
  int32_t cn_getInfoCvt;    // mask bit 0x200
  int32_t cn_describe2;     // 0x400
  int32_t cn_execDirect2;   // 0x800
  int32_t cn_maxLength;     // 0x1000
  int32_t cn_failoverCb;    // 0x4000
  int32_t cn_dtc;           // 0x2000 (XA-capable)

  COdbcResourceDispenser *dtcDispenser;  // null when none
  int32_t dtcEnlisted;
  OsCritSec connLock;       // handed to the distributed-transaction layer
  OsSemaphore callLock;     // binary semaphore; any thread may give it back

  int32_t infoNumbers[kConnInfoNumbers];  // -1 = not asked yet
  uint16_t infoShorts[kConnInfoShorts];   // 0xFFFF = not asked yet
  char *infoTexts[kConnInfoTexts];        // null = not asked yet

  FailoverCallbackFn failoverCallback;
  void *failoverContext;
  int32_t odbc3Async;       // ODBC 3 asynchronous value of SQLSetConnectAttr
};

// ---------------------------------------------------------------------------
// Statement

enum : int32_t { STMT_IDLE = 1, STMT_PREPARED = 2 };

// Stmt::flags
enum : uint16_t {
  STMTF_PREPARED = 0x1,
  STMTF_RESULT_OPEN = 0x2,
  STMTF_NEEDBIND = 0x4,      // the connection's cn_needbind
  STMTF_PARAMINFO_SENT = 0x8,
  STMTF_INHERITED_SENT = 0x10,  // the connection's statement options reached the agent cursor
  STMTF_PIECE_WARNED = 0x20,    // a piece of the value being read came with the database's warning
};

constexpr uint16_t kMaxParams = 1024;

// What GetColumn converts into. Every BoundCol carries one right after its
// link.
struct ColumnBinding {
  uint16_t column;      // 1-based; 0 is the bookmark column
  int16_t cType;        // ODBC C type, 99 SQL_C_DEFAULT, -99 SQL_ARD_TYPE
  int16_t scale;        // read only in parameter mode
  void *data;
  uint64_t bufferLength;
  int64_t *lengthPtr;
  int64_t *indicatorPtr;
  uint16_t param;       // parameter mode: the parameter's number (0: not known)
};

struct BoundCol {
  BoundCol *next;
  ColumnBinding bind;
  int32_t pieceCount;
  void **pieces;          // per-row data-at-execution buffers
  int64_t *pieceLengths;  // per-row lengths
};

struct ParamBinding {
  uint16_t number;
  int16_t cType;
  int64_t elemSize;     // -3 for CHAR, WCHAR and BINARY, else the C type's size
  int16_t sqlType;
  uint64_t columnSize;
  int16_t decimalDigits;
  void *data;
  int64_t *lengthPtr;
  int64_t *indicatorPtr;
  int64_t bufferLength;
  int16_t paramType;    // ParamDir; 1 when the buffer length is -1
  int32_t pieceCount;
  void **pieces;
  int64_t *pieceLengths;
};

// The statement's record of the cell last converted, so that repeated
// SQLGetData calls return the rest of a value.
struct GetDataContinuation {
  uint16_t column;      // 1-based, 0 none
  uint32_t row;         // 0-based row + 1, 0 none
  void *value;          // the unreturned rest, or the current piece buffer
  uint32_t valueType;
  uint32_t remaining;   // bytes
  int32_t total;        // for pieces: bytes still to come; -1 NULL long value
  int32_t cType;        // resolved C type of the last cut conversion
  int32_t pieceOwned;   // 1 while value holds a piece buffer of the statement
  // Text read in the other encoding: the bytes of a character that a small
  // buffer took only in part, and whether anything follows them.
  uint8_t spill[4];
  uint8_t spillLen;
  uint8_t spillMore;
  // A value held whole and read in the other encoding: the bytes still to
  // come in the C type, counted once; -1 not counted.
  int64_t outLeft;
};

struct Stmt {
  int32_t magic;      // MAGIC_STMT
  uint32_t handle;    // own handle value (tag 3)
  int32_t pending;    // SqlStateTable row to report, 0 none
  int32_t state;      // STMT_IDLE, STMT_PREPARED; 0 once destroyed
  DiagMsg *messages;
  Stmt *next;         // next statement of the same connection
  Conn *conn;
  int32_t id;
  DrvObject *drv;     // the connection's DrvObject
  uint32_t agentCursor;
  int32_t queryTimeout;   // statement option 0
  int64_t maxLength;      // option 3
  int64_t maxRows;        // option 1
  int32_t bindType;       // option 5 (row bind type; 0 column-wise)
  int32_t noScan;         // option 2
  int32_t asyncEnable;    // option 4
  uint16_t flags;         // STMTF_*
  int32_t isSelect;
  int32_t paramDescsRead;
  uint16_t paramCount;
  ColDesc *paramDescs;
  uint16_t resultCount;
  ColDesc *resultDescs;
  Dataset fetched;        // the current block of fetched rows
  uint16_t rowsPerBlock;
  uint16_t rowsInBlock;
  BoundCol *boundCols;    // in the order of first binding
  ParamBinding *params;   // indexed by parameter number - 1
  uint16_t paramCapacity;
  ParamInfo *paramShadow; // one per parameter entry

  // Data at execution.
  uint16_t daeState;      // 0 none
  uint16_t daeScanIndex, daeCurIndex;
  int32_t daeScanRow, daeCurRow;
  int32_t daeAgentIndex, daeAgentRow;
  int16_t *setPosStatus;  // agent SetPos path, kept between calls
  Dataset *setPosValues;
  uint16_t *setPosColumns;  // the statement's own copy of the column list
  uint16_t setPosColumnCount;
  int16_t bulkOp;         // saved bulk operation
  int32_t *bulkBookmarks;
  uint16_t *bulkColumns;
  uint16_t bulkColumnCount;
  Dataset *paramData;     // built at execution, handed to the agent
  uint16_t daeCounters[2];
  // The rows a SetPos or bulk dialogue scans end here: its own count, so
  // that the paramset size of the statement's parameter arrays stays.
  int32_t daeRowEnd;
  // The dialogue in progress collects its pieces here (the generic path)
  // rather than in the agent: fixed when it starts, so that a connection
  // switching paths meanwhile does not strand it.
  uint8_t daeLocal;
  char *daeText;          // date/time text of the current cell, converted once whole
  int64_t daeTextLen;
  uint64_t paramsetSize;  // 1 when made
  uint64_t *rowsProcessed;
  GetDataContinuation getData;
  uint16_t inCount, outCount, inOutCount;
  int32_t hasUnknownParam;  // a "*U" parameter
  int32_t classU;

  ScsCursor cursor;       // cursor options, position and rowsets
  Desc *implicitArd;
  Desc *implicitApd;
  Desc *ard;              // current application descriptors
  Desc *apd;
  Desc *ird;
  Desc *ipd;
  int64_t rowNumber;      // SQL_ROW_NUMBER, forward-only row counter
  HashTable *colAttrs;    // ColAttr records by key, null when none
  uint64_t *rowsFetched;  // SQL_ATTR_ROWS_FETCHED_PTR target
  void *fetchBookmark;    // SQL_ATTR_FETCH_BOOKMARK_PTR
};

// SQLCancel reads a statement's state and ends its data-at-execution
// sequence from another thread while a call runs on the statement, without
// the connection's call lock: every write of these two fields, and every
// read of daeState, goes through these.
inline int32_t StmtStateLoad(Stmt *s) { return std::atomic_ref<int32_t>(s->state).load(std::memory_order_acquire); }
inline void StmtStateStore(Stmt *s, int32_t v) {
  std::atomic_ref<int32_t>(s->state).store(v, std::memory_order_release);
}
inline uint16_t StmtDaeLoad(Stmt *s) { return std::atomic_ref<uint16_t>(s->daeState).load(std::memory_order_acquire); }
inline void StmtDaeStore(Stmt *s, uint16_t v) {
  std::atomic_ref<uint16_t>(s->daeState).store(v, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// Descriptor

enum : int16_t {
  DESC_EXPLICIT_KIND = 0,  // application descriptor of any use
  DESC_IRD = 1,
  DESC_ARD = 2,
  DESC_IPD = 3,
  DESC_APD = 4,
};
enum : int16_t { DESC_ALLOC_AUTO = 1, DESC_ALLOC_USER = 2 };

struct DescRecord {
  int16_t conciseType;
  void *dataPtr;
  int16_t datetimeIntervalCode;
  int32_t datetimeIntervalPrecision;
  int64_t *indicatorPtr;
  int64_t length;
  char *name;                 // owned
  int32_t numPrecRadix;
  int64_t octetLength;
  int64_t *octetLengthPtr;
  int16_t parameterType;
  int16_t precision;
  int16_t scale;
  int16_t type;
  int16_t unnamed;
  int16_t fixedPrecScale;
  int16_t isUnsigned;
  int16_t nullable;
};

struct DescRec {
  DescRec *next;
  DescRecord rec;
};

struct Desc {
  int32_t magic;       // MAGIC_DESC
  DiagMsg *messages;
  int32_t pending;     // SqlStateTable row to report, 0 none
  uint32_t handle;     // own handle value (tag 4)
  Conn *conn;          // owner of an explicit descriptor
  Stmt *stmt;          // owner of an implicit descriptor
  int16_t kind;        // DESC_EXPLICIT_KIND, DESC_IRD .. DESC_APD
  int16_t alloc;       // DESC_ALLOC_AUTO, DESC_ALLOC_USER
  uint64_t arraySize;  // 1 when made
  uint16_t *arrayStatus;
  int64_t *bindOffset;
  int32_t bindType;
  uint16_t count;      // records after record 0
  uint64_t *rowsProcessed;
  DescRec *records;    // record 0 (the bookmark record) first
};

// The connection whose call lock covers a descriptor: its owner, or for an
// implicit descriptor its statement's connection.
inline Conn *DescConn(const Desc *d) { return d->stmt ? d->stmt->conn : d->conn; }

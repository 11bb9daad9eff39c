#pragma once
// Column description and fetch on the OCI level's cursor (DB_Curs).
//
// A DB_Curs describes what it handles with OciColDesc records: one per result
// column (result descriptors), per bound parameter of a procedure call (bind
// descriptors) and per argument of a called procedure (argument descriptors).
// DB_DescribeOutput describes a statement's result columns and builds the
// agent cursor's ColDesc array from them; DB_Fetch fills a Dataset laid out
// from that array with one OCI fetch per block, and DB_PostProcess turns what
// OCI delivered into the Dataset's cells.
//
// Columns whose values OCI can deliver in the Dataset's own layout are
// defined straight into the Dataset's value arrays (no copy); DATE values are
// defined into the 16-byte timestamp cell and converted there. Only
// TIMESTAMP, LOB, LONG and, in the wide mode, CHAR and VARCHAR columns pass
// through an intermediate buffer owned by their descriptor, kept from one
// fetch to the next while its shape stays the same.
//
// Results are 0 or a row of SqlStateTable (odbc/sqlstate.h).
#include <cstdint>

#include "drv_ora8/db-curs.h"
#include "oci.h"

struct Dataset;
struct ColDesc;
struct AgentCursor;

constexpr uint32_t kOciColNameSize = 1025;  // name cut to 1024 bytes plus NUL
constexpr uint32_t kOciArgNameSize = 4100;  // argument name cut to 4096 bytes plus NUL

struct OciColDesc {
  char name[kOciColNameSize];  // UTF-8 in the wide mode
  uint16_t oraType;            // OCI_ATTR_DATA_TYPE
  uint16_t size;               // OCI_ATTR_DATA_SIZE in bytes; 0 is stored as 1
  int16_t precision;           // OCI_ATTR_PRECISION
  int8_t scale;                // OCI_ATTR_SCALE; -127 marks a binary-precision NUMBER
  uint8_t nullable;            // OCI_ATTR_IS_NULL: 1 when NULL is allowed
  uint8_t charUsed;            // character data: its length counts characters (OCI_ATTR_CHAR_USED, NCHAR)
  uint16_t charSize;           // character data: OCI_ATTR_CHAR_SIZE, the declared length in characters
  uint16_t charsetId;          // read back from the column's define handle
  uint8_t charsetForm;         // read back from the define handle
  int32_t bindFlag;            // 1: a parameter's descriptor; its LOB locators are not its own
  // LOB target columns of a rebuilt INSERT or UPDATE (the LOB module).
  uint16_t tablePos;           // position of the column in its table
  uint16_t paramNumber;        // 1-based parameter the column stands for
  uint16_t lobOrdinal;         // place in the RETURNING list
  int16_t extType;             // OCI external type of the define or bind
  uint32_t needsBuffer;        // 1: an intermediate buffer and post-processing are needed
  int32_t bufferCount;         // elements in buffer
  int32_t elemSize;            // bytes per element of buffer
  void *buffer;                // intermediate buffer, owned (see OciColDesc_FreeBuffer)
  int32_t quotedName;          // LOB module: the column name was written in double quotes
  uint16_t position;           // procedure argument: OCI_ATTR_POSITION (0 = function result)
  int32_t ioMode;              // 0 input, 1 output, 2 input/output
  char argName[kOciArgNameSize];
  // A LOB value read in pieces (DB_GetDataChunk). Counted in 64 bits: a wide
  // CLOB's byte count is twice its character count.
  int64_t lobBytesRead;
  int64_t lobBytesLeft;        // -1: unknown (a narrow CLOB's bytes until its end is read)
  uint64_t lobReadPos;         // where OCI reads next, in the LOB's units
  uint64_t lobUnits;           // the LOB's length in those units
  int32_t lobRow;              // row being read, -1 none
};

// ---- Descriptor arrays of a DB_Curs -------------------------------------------

// Frees the cursor's lengths, indicators and return codes arrays.
void db_FreeRowArrays(DB_Curs *c);

// Frees the element descriptors of the intermediate buffer (LOB locators
// unless bindFlag is set, timestamp descriptors), then the buffer.
void OciColDesc_FreeBuffer(OciColDesc *r);
// Frees the old result array and makes n zeroed descriptors; spare = n, used
// 0 (the caller sets the counts). 0 or 16.
int32_t db_ResultDescsAlloc(DB_Curs *c, uint16_t n);
// Frees every used descriptor's buffer and the array; both counts 0.
void db_ResultDescsFree(DB_Curs *c);
// Room for k more descriptors behind the used and spare ones; the used ones
// are kept. On failure the old array stays. 0, 15 (over 65535) or 16.
int32_t db_ResultDescsGrow(DB_Curs *c, uint16_t k);
void db_BindDescsFree(DB_Curs *c);
void db_ProcArgDescsFree(DB_Curs *c);

// The agent cursor's result ColDesc array.
int32_t AgentCursor_ResultDescsAlloc(AgentCursor *cur, uint16_t n);
void AgentCursor_ResultDescsFree(AgentCursor *cur);
ColDesc *AgentCursor_ResultDesc(AgentCursor *cur, uint16_t n);  // 1-based

// ---- Description ---------------------------------------------------------------------

// Describes the result columns of the cursor's prepared or executed
// statement (once per prepare): the result descriptors, the define slots and
// the agent cursor's ColDesc array. A statement whose describe-only execution
// fails has no result columns (its OCI errors stay on the cursor's list).
// 0, 15, 16 or the mapping's failure.
int32_t DB_DescribeOutput(DB_Curs *c);

// ---- Fetch ---------------------------------------------------------------------------

// Bytes per intermediate element of an external type: 7 DATE, 8 LOB
// locators and timestamp descriptors, 4096 LONG and LONG RAW first pieces;
// else 0.
int32_t db_IntermElemSize(int16_t extType);

// The intermediate buffer of one column for `rows` rows (or none: *noBuffer
// set, the value goes straight into the Dataset cell). *mode is the define
// mode (OCI_DYNAMIC_FETCH for LONG columns) and *maxSize the value size to
// define with in that mode. 0, 15 (a type without a buffer rule, a failed
// descriptor allocation) or 16.
int32_t db_IntermBuffAlloc(DB_Curs *c, OciColDesc *r, int32_t rows, int *noBuffer, void **buffer,
                           int32_t *elemSize, ub4 *mode, int32_t *maxSize);

// Defines every result column before a fetch into d (laid out from the
// result ColDesc array): the lengths, indicators and return codes arrays of
// d's capacity, straight into d's value arrays or into the intermediate
// buffers. 0, 15 or 16.
int32_t db_BindFetchCols(DB_Curs *c, Dataset *d);

// One OCI fetch of as many rows as d holds (its capacity); d's row count
// becomes the rows fetched, counted in 32 bits. *endOfData (may be null)
// becomes 1 when the result is exhausted. readLobs: read the values of CLOB
// and BLOB columns into their cells (else the locators stay for
// DB_GetDataChunk). 0, 15, 16, 43 (a LONG or LOB column whose reader this
// build lacks: nothing is fetched) or the failure of the piece or LOB reader.
int32_t DB_Fetch(DB_Curs *c, Dataset *d, int readLobs, int *endOfData);
// Cancels a query's open result (a fetch of no rows); the result of the
// cancel is not reported, the result is gone either way.
void DB_CancelFetch(DB_Curs *c);

// Turns what OCI delivered into d's cells: indicators (-1 NULL, 1
// truncated, 0), DATE and TIMESTAMP values, wide CHAR and VARCHAR values.
// parameters 1: d holds a procedure call's output parameters (the bind
// descriptors, skipping inputs). Frees the fetch's row arrays. 0 or 15.
int32_t DB_PostProcess(DB_Curs *c, Dataset *d, int parameters);

// The next piece of the CLOB or BLOB value at (column, row), both 0-based,
// of the last fetch: at most maxBytes bytes (UTF-16 characters for a wide
// CLOB) in a new buffer (*piece, C free; null when no data), its length, its
// value type (1 CLOB, 24 wide CLOB, 14 BLOB) and the bytes left before this
// piece (-1 NULL with EMPTY_STRING_ISNT_NULL, -4 unknown). A request for
// another row or column starts that value from its beginning. 0; 74
// (IM902) the piece came with the database's warning, its records on the
// cursor's list; 15, 16 or the LOB reader's failure.
int32_t DB_GetDataChunk(DB_Curs *c, int32_t column, int32_t row, int32_t maxBytes, void **piece, int32_t *size,
                        int32_t *valueType, int32_t *left);

// ---- Operations of the LOB module ----------------------------------------------------
// Reading LONG and LOB values is the LOB module's. Its operations are
// referenced weakly: while the module is not linked they are null, and the
// fetch refuses such columns with 43 (S1C00) before it fetches anything.
#define KVD_LOB_MODULE __attribute__((weak, visibility("hidden")))
// After OCI_NEED_DATA: reads the pieces of LONG and LONG RAW values into
// their cells and finishes the fetch. 74 (IM902): read, and a piece call
// warned; its records are on the cursor's list.
KVD_LOB_MODULE int32_t db_ColsGetPieces(DB_Curs *c, Dataset *d);
// Reads the CLOB and BLOB values of the first `rows` rows into their cells.
KVD_LOB_MODULE int32_t db_LOBFetchCells(DB_Curs *c, Dataset *d, int32_t rows);
// Reads up to *count bytes (in) of a LOB into buf; *count (out) is what
// came, *shortRead whether that is less than asked. *pos is where OCI reads
// next, in the LOB's units (bytes of a BLOB, UTF-16 units of a CLOB), moved
// on by what was read; endPos is the LOB's length in those units. carry 1
// serves bytes read ahead first and keeps the rest of a read-ahead block for
// the next piece.
KVD_LOB_MODULE int32_t db_LOBGetChunk(int wide, DB_Curs *c, OCILobLocator *loc, OciColDesc *r, uint64_t *pos,
                                      uint64_t endPos, void *buf, uint32_t *count, int *shortRead, int carry);
#undef KVD_LOB_MODULE

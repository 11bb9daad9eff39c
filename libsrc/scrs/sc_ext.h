#pragma once
// The cursor layer's extended statement operations: slots that only the
// layer fills (the agent leaves them empty). No ODBC call reaches them; they
// serve callers of the operation table.
//
//   45 scs_AllocPrepare: a cursor, its type and concurrency when a type is
//      given, and the text prepared; a failed preparation frees the cursor
//      and leaves its messages on the connection.
//   44/52 scs_ExecDescribe(2): rowset size (read back when the cursor
//      lowers it), prepare, values, parameter information, execute (80,
//      output parameters present, counts as success and is returned), then
//      the result columns, the parameters and the row count (0 when
//      negative).
//   46 scs_DescribeColTypes: value types and octet lengths of the result
//      columns from an empty fetch.
//   47 scs_FetchSnapshot: a scroll fetch whose long values longer than
//      60000 bytes move into the cursor's snapshot (the rowset's cell reads
//      -3, long data to be read in pieces); 48 scs_GetSnapshotChunk reads
//      them in pieces of at most the maximum (twice it for wide values),
//      reported as value types 1, 24 or 14, with the bytes left before the
//      piece. A forward-only cursor reads from the cursor below instead.
//   49 scs_ExecBatch: DDL and DML statements one after the other with a row
//      count each; a query (or a call that returns a result set) stops the
//      batch with 162 (S1000 "Only DDL and DML command can be executed").
//
// Results are rows of SqlStateTable.
#include <cstdint>

#include "odbc/drvops.h"

int32_t scs_AllocPrepare(DrvHandle conn, const char *sql, int32_t concurrency, int32_t cursorType, DrvHandle *out);
int32_t scs_ExecDescribe(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info,
                         uint32_t *rowsetSize, uint16_t *colCount, ColDesc **cols, uint16_t *parCount, ColDesc **pars,
                         int32_t *rowCount);
int32_t scs_ExecDescribe2(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info,
                          uint32_t *rowsetSize, uint16_t *colCount, ColDesc **cols, uint16_t *parCount,
                          ColDesc **pars, int16_t *attrCount, ColAttr **attrs, int32_t *rowCount);
int32_t scs_DescribeColTypes(DrvHandle cursor, uint16_t *count, ColDesc **cols, Dataset *scratch);
int32_t scs_FetchSnapshot(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount,
                          uint16_t orientation);
int32_t scs_GetSnapshotChunk(DrvHandle cursor, int32_t column, int32_t row, int32_t maxBytes, void **piece,
                             int32_t *size, int32_t *valueType, int32_t *left);
int32_t scs_ExecBatch(DrvHandle cursor, uint16_t count, const DrvBatchStmt *stmts, uint16_t *done,
                      int32_t **rowCounts);

// Moves the messages of a cursor that is about to be freed to its
// connection (emptying the connection's first); the agent registers it.
using ScsErrorMover = void (*)(DrvHandle cursor, DrvHandle conn);
void scs_SetErrorMover(ScsErrorMover mover);

// Puts the operations above into the layer's table (scs_Install calls it);
// the layer's free is wrapped so that a cursor's snapshot goes with it.
void scs_InstallExtended(DrvOps &table);

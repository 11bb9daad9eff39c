#pragma once
// SQLSetPos and SQLBulkOperations: the checks against the cursor state, the
// value Datasets built from the bound columns, the hand-over to the layer
// below (DrvOps slots 37 and 42), the write-back of row statuses, and the
// data-at-execution dialogue of bound columns.
//
// Value Dataset of UPDATE, ADD and UPDATE_BY_BOOKMARK: one column per
// selected bound column (not column 0, not read-only, not SQL_COLUMN_IGNORE
// in every addressed row), one row per addressed row (the given row, every
// row of the rowset for row 0, every row of the bound arrays for a bulk
// update); the column list holds each column's result-column number, in
// the order of the bound-column list. Cell indicators:
//   0 a value; -1 NULL;
//   -2 (agent path) the agent collects the value as data at execution;
//   -4 the row is not acted on: the application ignores it in its
//      row-operation array, or (row 0) the rowset has no row there;
//   -6 this column of this row is left as it is (its length was
//      SQL_COLUMN_IGNORE in that row only).
// The row-mark Dataset of DELETE: one column of value type 2, NULL in every
// row but -4 in the rows not acted on.
//
// Values travel as parameters do (odbc/data/appval.h): NUMERIC as exact
// text, SBIGINT/UBIGINT as decimal text blank-padded to 31 characters, GUID
// as text, SQL_C_BINARY as a long binary value; fixed C types are read at
// their own size, column-wise as well. On the generic path a CHAR or WCHAR
// column whose every present value is a date, time or timestamp escape of
// one kind travels as that structure; when plain text is mixed in, the
// column stays text and the escapes go as ISO text.
//
// Data at execution: the generic path collects every piece here (states 2
// SetPos / 3 bulk while collecting, 8 / 9 when every value is in; the next
// SQLParamData runs the operation). The agent path (SetPos only, while the
// connection has cn_hasV2DAE) marks the cells -2 and lets the agent ask for
// them (state 2). The dialogue keeps the path it began on, and it counts
// its own rows: the statement's paramset size is never changed here.
//
// SQLSetPos and SQLBulkOperations reach them through odbc_SetPos and
// odbc_BulkOperations; the cursor layer carries the operations out.
#include <sql.h>

#include <cstdint>

struct Stmt;
struct Dataset;
struct BoundCol;

constexpr int16_t kIndRowIgnored = -4;
constexpr int16_t kIndColumnIgnored = -6;

// Data-at-execution states of the column dialogues.
enum : uint16_t { DAE_SETPOS = 2, DAE_BULK = 3, DAE_SETPOS_READY = 8, DAE_BULK_READY = 9 };
inline bool DaeIsColumnState(uint16_t s) {
  return s == DAE_SETPOS || s == DAE_BULK || s == DAE_SETPOS_READY || s == DAE_BULK_READY;
}

SQLRETURN StmtSetPos(Stmt *stmt, uint64_t row, uint16_t op, uint16_t lock);
SQLRETURN SetPosLocal(Stmt *stmt, uint64_t row, uint16_t op);
SQLRETURN SetPosAgent(Stmt *stmt, uint64_t row, uint16_t op);
// Completes an agent-path operation whose result is the statement's pending
// code and whose statuses are on the statement.
SQLRETURN SetPosFinish(Stmt *stmt);
void SetPosFreeBuffers(Stmt *stmt);

SQLRETURN StmtBulkOperations(Stmt *stmt, uint16_t op);
// n = the ARD's ARRAY_SIZE bookmarks (32-bit row numbers) read from the
// bookmark column at the stride the fetch writes them; each must lie in the
// current rowset (IM925). 0 or a code.
int BulkGetBookmarks(Stmt *stmt, int32_t **out);
int BulkUpdatableColumns(Stmt *stmt, uint16_t **list, uint16_t *count);

// row: 1-based, or -2 for every row of the rowset. 0 or a code (S1000 a
// selected column without description, 21S02 no column to send, S1001).
int SetPosBuildRows(Stmt *stmt, int32_t row, Dataset *ds, uint16_t **columns, uint16_t *count);
int SetPosBuildRowsAgent(Stmt *stmt, int32_t row, Dataset *ds, uint16_t **columns, uint16_t *count);
int SetPosDeleteRows(Stmt *stmt, int32_t row, Dataset **out);
int BulkBuildRows(Stmt *stmt, const uint16_t *columns, uint16_t count, Dataset *ds);

// Byte length of the value of application row k (0 NULL, no value); the
// generic form counts a data-at-execution cell by its collected pieces, the
// agent form as 0.
int64_t BindingValueLength(Stmt *stmt, const BoundCol *bc, uint64_t k);
int64_t BindingValueLength2(Stmt *stmt, const BoundCol *bc, uint64_t k);
// The largest value length of application rows 0 to count - 1.
int64_t BindingMaxLength(Stmt *stmt, const BoundCol *bc, uint64_t count);
int64_t BindingMaxLength2(Stmt *stmt, const BoundCol *bc, uint64_t count);

// Generic path: starts the dialogue when a bound value asks for data at
// execution (list given: a bulk update). SQL_SUCCESS, SQL_NEED_DATA or
// SQL_ERROR.
SQLRETURN SetPosNeedData(Stmt *stmt, int32_t row, const uint16_t *columns, uint16_t count);
// 1 when a bound value waits for data at execution at or after the scan
// position (which then names it), else 0 with the scan position reset.
int DAEFindColumn(Stmt *stmt, const uint16_t *columns, uint16_t count);

// SQLParamData and SQLPutData in the states of the column dialogues.
SQLRETURN ParamDataColumns(Stmt *stmt, void **token);
SQLRETURN PutDataColumns(Stmt *stmt, const void *data, int64_t length);

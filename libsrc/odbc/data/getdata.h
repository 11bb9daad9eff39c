#pragma once
// GetColumn: the one road by which a Dataset cell reaches an application
// buffer (bound columns of fetched rows, SQLGetData, output parameters), and
// SQLGetData with its continuation, so that a value that does not fit comes
// back in parts over repeated calls.
//
// Results are SQLRETURNs; SQLSTATEs are left as the statement's pending code
// (SqlStateTable rows).
#include <sql.h>

#include <cstdint>

#include "odbc/objects.h"

struct Dataset;

// Converts the cell at (row, binding's column) of ds into the binding's
// buffer. row is 0-based in ds. Column 0 is the bookmark column. A caller
// that converts an output parameter stores E_IM906 (80) in the statement's
// pending code just before the call (parameter mode). A binding with
// SQL_C_DEFAULT and buffer length 0 gets the resolved C type's size as its
// buffer length. A piece of a long value that came with the database's
// warning makes a success SQL_SUCCESS_WITH_INFO, with the warning's records.
SQLRETURN GetColumn(Stmt *stmt, uint32_t row, ColumnBinding *binding, const Dataset *ds);

// The C type GetColumn would convert a column into for a binding's C type
// (SQL_C_DEFAULT and SQL_ARD_TYPE resolved from the column's description and
// the ARD; BINARY on a BIGINT column is SBIGINT); the binding's own type
// when it cannot be resolved. For the strides of bound arrays.
int16_t GetColumnCType(Stmt *stmt, uint16_t column, int16_t cType);

// The next piece of the deferred long value of the continuation's cell, of
// at most maxLen units (bytes, or UTF-16 units for wide values), into the
// continuation. Bytes of the previous piece that the application's buffer
// could not take yet come first. 0 (a piece, or with maxLen 0 only the
// total), 82 (nothing more) or the agent's code (its messages collected).
int GetColumnPiece(Stmt *stmt, uint32_t maxLen, int16_t cType);
// Frees a piece buffer the continuation owns; the value pointer becomes null.
void FreeColumnPiece(GetDataContinuation *g);
// Zeroes the application buffer of a NULL value (the C type's size, or the
// buffer length for variable-length types).
void ClearTarget(const ColumnBinding *binding, int16_t cType);

// SQLGetData on the current row: of the cursor's rowset when there is one,
// else the row last handed out of the fetch block.
SQLRETURN GetDataCol(Stmt *stmt, uint16_t column, int16_t cType, void *data, int64_t bufferLength,
                     int64_t *strLenOrInd);
